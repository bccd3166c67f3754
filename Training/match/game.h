#pragma once
// One game between two engines: the opening is played onto the board, then the engines are
// asked for moves in turn with their own clocks until the rules, a score rule, the move limit
// or an engine's failure ends it. An engine that crashes, hangs, runs out of time or sends a
// move that is not legal loses; the reason goes into the PGN's Termination tag and final
// comment, and the engine is marked to be started afresh for its next game.

#include <atomic>
#include <string>
#include <vector>

#include "match/config.h"
#include "match/pgn.h"
#include "match/uci_engine.h"

namespace tarn {

constexpr int RESULT_WHITE_WINS = 0;
constexpr int RESULT_BLACK_WINS = 1;
constexpr int RESULT_DRAW       = 2;
constexpr int RESULT_NONE       = 3; // no result: neither engine could play

// How an engine failed a game (counted in the summary).
constexpr int FAILURE_NONE    = 0;
constexpr int FAILURE_TIME    = 1; // lost on time, or no answer within its limit
constexpr int FAILURE_ILLEGAL = 2; // an illegal, malformed or missing move
constexpr int FAILURE_CRASH   = 3; // ended or stopped answering outside a search
constexpr int FAILURE_START   = 4; // could not be started
constexpr int FAILURE_KINDS   = 5;

// Engine moves whose mate score is written into the training file get this value for a mate
// in one ply, one less per further ply, as the engine scores mates.
constexpr int TRAINING_MATE = 10000;

// What the tournament hands to one game.
struct GameJob {
    int number             = 0; // 1-based, in schedule order
    int round              = 0; // 1-based
    int white              = 0; // engine indexes into MatchConfig::engines
    int black              = 1;
    const Opening* opening = nullptr; // points at played_opening or at the run's list
    Opening played_opening;           // the opening with its random plies, when there are any
    std::string date;                 // "YYYY.MM.DD" for the Date tag
};

// What a game left behind.
struct GameOutcome {
    PgnGame pgn;
    int result = RESULT_NONE;
    std::string reason;               // "White mates", "Black loses on time", ...
    bool aborted    = false;          // the match was stopped; the game does not count
    bool restart[2] = {false, false}; // white's and black's engine must be restarted
    int failure[2]  = {FAILURE_NONE, FAILURE_NONE};
    // White's and black's closest call: the least time left before a limit after any move
    // (seconds, negative when past it; NO_DEADLINE when no move had a time limit).
    double least_left[2] = {NO_DEADLINE, NO_DEADLINE};
    std::vector<std::string> training; // EPD lines for the training file
    std::vector<std::string> warnings; // engine messages for the console
};

// Plays the game. engines[0] plays white and engines[1] black; either is started first when it
// is not running. stop is polled before every move.
GameOutcome play_game(const MatchConfig& config, const GameJob& job, UciEngine* engines[2],
                      const std::atomic<bool>& stop);

// The comment written after an engine move: "+0.35/12 0.41s", "-M3/20 0.05s", "0.41s" when
// the engine gave no score.
std::string move_comment(const SearchReport& report);
// Text of a result code: "1-0", "0-1", "1/2-1/2" or "*".
const char* result_text(int result);

} // namespace tarn
