#pragma once
// Self-play training data made inside one process: games of the engine against itself with
// its own search at a fixed number of nodes a move, written straight to 40-byte training
// records with no protocol text and no second process. Work comes in chunks of games; a chunk
// is played from its own seed, written under a temporary name, renamed into place when whole
// and then marked done, so a run stopped at any moment resumes at the first chunk not done and
// writes the same records an uninterrupted run would have written.
//
// One game: an opening (a line of the openings file, the start position, or a Chess960 start
// position for a share of games) plus random legal plies; an opening whose first search is
// already decisive is dropped. The game ends by the rules (mate, stalemate, repetition, the
// fifty-move rule, bare material), by the tablebases once few enough men are left, by score
// adjudication (both sides agree that one of them is winning, or that a long game is level)
// or at the move cap, which counts as a draw. Every position searched goes into the records
// unless it is in check, its best move is a capture or promotion, or its score is a mate or
// tablebase score; results and tablebase results are those the EPD converter writes.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tune_data.h"

namespace tarn {

// What a run plays; every game of a chunk is fixed by these and the chunk's number.
struct DatagenConfig {
    std::uint64_t seed       = 1;      // names the run; chunks and games draw from it
    int games_per_chunk      = 100;    //
    std::uint64_t soft_nodes = 5000;   // checked between iterations
    std::uint64_t hard_nodes = 0;      // ends a search at once; 0 = 8 * soft_nodes
    int hash_mb              = 16;     // transposition table, cleared before every game
    std::vector<std::string> openings; // FENs; empty = the start position
    int random_plies        = 4;       // random legal plies after each opening
    double chess960_share   = 0.1;     // share of games from a Chess960 start position
    int chess960_plies      = 4;       // random plies after a Chess960 start position
    int opening_score_limit = 400;     // centipawns; a first search beyond this drops the opening
    int win_score           = 1000;    // centipawns both sides must report for a win
    int win_plies           = 8;       // consecutive plies at or beyond win_score
    int draw_score          = 10;      // centipawns within which a long game counts as level
    int draw_plies          = 12;      // consecutive plies within draw_score
    int draw_after_move     = 40;      // full-move number from which the draw rule counts
    int max_plies           = 400;     // a game this long is a draw
    bool tablebases         = false;   // adjudicate by the tables once tb_largest() men remain
};

// How a game ended.
enum GameEnd {
    END_NONE,
    END_CHECKMATE,
    END_STALEMATE,
    END_REPETITION,
    END_FIFTY_MOVES,
    END_MATERIAL,
    END_TABLEBASE,
    END_WIN_ADJUDICATED,
    END_DRAW_ADJUDICATED,
    END_MOVE_CAP,
    END_OPENING_DROPPED, // decisive opening: no game, no records
    END_KINDS,
};

// One game as played: its opening position, the moves from there (random plies first), the
// result from White's view (1, 0.5, 0) and how it ended.
struct DatagenGame {
    std::string start_fen;
    std::vector<Move> moves;
    int random_plies    = 0;
    double result       = 0.5;
    GameEnd end         = END_NONE;
    std::uint64_t nodes = 0;
};

// Counts over a run, for the progress line and the chunk's done marker.
struct DatagenCounts {
    std::uint64_t games           = 0;
    std::uint64_t positions       = 0;
    std::uint64_t nodes           = 0;
    std::uint64_t white_wins      = 0;
    std::uint64_t black_wins      = 0;
    std::uint64_t draws           = 0;
    std::uint64_t dropped         = 0; // openings dropped as decisive
    std::uint64_t ends[END_KINDS] = {};
};

// Seed of game `game` of chunk `chunk` of a run seeded with `seed`.
std::uint64_t datagen_game_seed(std::uint64_t seed, int chunk, int game);
// Prepares the process-wide search settings for data generation (one thread, fixed nodes, no
// output, the hash size of config). False when the table cannot be had.
bool datagen_setup(const DatagenConfig& config);
// Plays one game with game_seed and appends its records; the game itself goes into game.
void play_datagen_game(const DatagenConfig& config, std::uint64_t game_seed, DatagenGame& game,
                       std::vector<TrainingRecord>& records);
// File names of chunk K in dir.
std::string chunk_file(const std::string& dir, int chunk);
std::string chunk_done_file(const std::string& dir, int chunk);
// Plays chunk K into dir unless its done marker exists (returns true at once then). The
// records appear under their name only when the chunk is whole. False when a file cannot be
// written. progress, when given, is called after every game with the counts so far.
bool run_datagen_chunk(const DatagenConfig& config, const std::string& dir, int chunk,
                       DatagenCounts& counts, void (*progress)(const DatagenCounts&) = nullptr);
// Adds a finished game to the counts.
void count_game(DatagenCounts& counts, const DatagenGame& game, std::size_t records);

} // namespace tarn
