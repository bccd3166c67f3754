#include "datagen/datagen.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/movegen.h"
#include "frontend/engine_options.h"
#include "frontend/run_settings.h"
#include "match/openings.h"
#include "match/rules.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn {

namespace {

// Scores at or beyond this are mate distances or tablebase results, not evaluations.
constexpr int DECISIVE_SCORE = 9000;
// A hard limit this many times the soft one when none is given.
constexpr std::uint64_t HARD_NODES_FACTOR = 8;
// Openings tried before a game gives up on finding a playable one.
constexpr int OPENING_TRIES = 16;

// Small, fast and fully determined by its seed.
struct SplitMix {
    std::uint64_t state = 0;
};

std::uint64_t next_random(SplitMix& r) {
    std::uint64_t z = (r.state += 0x9E3779B97F4A7C15ull);
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in 0..n-1 (n small: the bias of the modulo is far below what matters here).
int random_below(SplitMix& r, std::size_t n) {
    return static_cast<int>(next_random(r) % n);
}

double random_unit(SplitMix& r) {
    return static_cast<double>(next_random(r) >> 11) * (1.0 / 9007199254740992.0);
}

// One searched position kept for the records until the game's result is known.
struct PendingRecord {
    Position pos;
    int score = 0; // side to move's view
};

// The limits of every search: the configured node budgets and nothing else.
SearchLimits datagen_limits(const DatagenConfig& config) {
    SearchLimits limits = depth_limits(MAX_DEPTH);
    limits.node_limit   = config.soft_nodes;
    limits.hard_node_limit =
        config.hard_nodes ? config.hard_nodes : config.soft_nodes * HARD_NODES_FACTOR;
    return limits;
}

// Searches the game position on the calling thread within limits.
void search_game_position(const SearchLimits& limits, Move& best, int& score,
                          std::uint64_t& nodes) {
    if (!search_on_this_thread(limits)) {
        std::fprintf(stderr, "tarn-datagen: out of memory\n");
        std::exit(1);
    }
    best  = search_results.pv[1];
    score = search_results.best_score;
    nodes += search_results.nodes;
}

bool is_quiet_move(const Position& pos, Move move) {
    const int to    = move_to(move);
    const int piece = pos.board[move_from(move)];
    if (type_of(piece) == PAWN)
        return !move_flags(move) && to != pos.ep_square && pos.board[to] == 0;
    return is_castling(pos, move) || pos.board[to] == 0;
}

bool in_check(const Position& pos) {
    return attacked(pos, pos.king_sq[pos.side], pos.side ^ 1);
}

GameEnd rule_end_kind(RuleEnd end) {
    switch (end) {
    case RULE_CHECKMATE:
        return END_CHECKMATE;
    case RULE_STALEMATE:
        return END_STALEMATE;
    case RULE_REPETITION:
        return END_REPETITION;
    case RULE_FIFTY_MOVES:
        return END_FIFTY_MOVES;
    case RULE_MATERIAL:
        return END_MATERIAL;
    default:
        return END_NONE;
    }
}

// Sets the board to an opening drawn from r and plays the random plies; false when the
// opening cannot be played or a random ply ends the game.
bool set_opening(const DatagenConfig& config, SplitMix& r, GameBoard& board, DatagenGame& game) {
    int plies = config.random_plies;
    if (random_unit(r) < config.chess960_share) {
        game.start_fen = chess960_fen(random_below(r, CHESS960_POSITIONS));
        plies          = config.chess960_plies;
    } else if (!config.openings.empty()) {
        game.start_fen = config.openings[random_below(r, config.openings.size())];
    } else {
        game.start_fen = START_FEN;
    }
    std::string error;
    if (!board_set(board, game.start_fen, error))
        return false;
    game.moves.clear();
    for (int i = 0; i < plies; ++i) {
        const std::vector<Move> moves = board_legal_moves(board);
        if (moves.empty())
            return false;
        const Move m = moves[random_below(r, moves.size())];
        board_play(board, m);
        game.moves.push_back(m);
        if (board_rule_end(board) != RULE_NONE)
            return false;
    }
    game.random_plies = plies;
    return true;
}

// Result of the tablebases for the side to move, as a game end; END_NONE when they do not know.
GameEnd tablebase_end(const Position& pos, double& result_for_mover) {
    switch (tb_probe_node(pos, TB_ROOT_PROBE_DEPTH)) {
    case TB_WIN:
        result_for_mover = 1.0;
        return END_TABLEBASE;
    case TB_LOSS:
        result_for_mover = 0.0;
        return END_TABLEBASE;
    case TB_NONE:
        return END_NONE;
    default:
        result_for_mover = 0.5;
        return END_TABLEBASE;
    }
}

// Score adjudication: runs of plies that agree on a winner or on a level game.
struct Adjudication {
    int white_winning = 0;
    int black_winning = 0;
    int level         = 0;
};

GameEnd adjudicate(const DatagenConfig& config, Adjudication& a, int white_score, int fullmove,
                   double& white_result) {
    a.white_winning = white_score >= config.win_score ? a.white_winning + 1 : 0;
    a.black_winning = white_score <= -config.win_score ? a.black_winning + 1 : 0;
    const bool level =
        fullmove >= config.draw_after_move && std::abs(white_score) <= config.draw_score;
    a.level = level ? a.level + 1 : 0;
    if (a.white_winning >= config.win_plies) {
        white_result = 1.0;
        return END_WIN_ADJUDICATED;
    }
    if (a.black_winning >= config.win_plies) {
        white_result = 0.0;
        return END_WIN_ADJUDICATED;
    }
    if (a.level >= config.draw_plies) {
        white_result = 0.5;
        return END_DRAW_ADJUDICATED;
    }
    return END_NONE;
}

// Plays the game from the opening on the board; leaves its end and result in game and the
// positions worth recording in pending.
void play_out(const DatagenConfig& config, GameBoard& board, DatagenGame& game,
              std::vector<PendingRecord>& pending) {
    const SearchLimits limits = datagen_limits(config);
    Adjudication adjudication;
    for (bool first = true;; first = false) {
        Position& pos   = board.td->board.pos;
        const int mover = pos.side;
        if (const RuleEnd rule = board_rule_end(board); rule != RULE_NONE) {
            game.end    = rule_end_kind(rule);
            game.result = rule == RULE_CHECKMATE ? (mover == WHITE ? 0.0 : 1.0) : 0.5;
            return;
        }
        if (static_cast<int>(game.moves.size()) >= config.max_plies) {
            game.end    = END_MOVE_CAP;
            game.result = 0.5;
            return;
        }
        double mover_result = 0.5;
        if (config.tablebases && tablebase_end(pos, mover_result) != END_NONE) {
            game.end    = END_TABLEBASE;
            game.result = mover == WHITE ? mover_result : 1.0 - mover_result;
            return;
        }
        Move best = NULL_MOVE;
        int score = 0;
        search_game_position(limits, best, score, game.nodes);
        if (best == NULL_MOVE) { // cannot happen with a legal move on the board; end cleanly
            game.end    = END_MOVE_CAP;
            game.result = 0.5;
            return;
        }
        if (first && std::abs(score) > config.opening_score_limit) {
            game.end = END_OPENING_DROPPED;
            return;
        }
        if (!in_check(pos) && is_quiet_move(pos, best) && std::abs(score) < DECISIVE_SCORE)
            pending.push_back({pos, score});
        const int white_score = mover == WHITE ? score : -score;
        double white_result   = 0.5;
        const GameEnd verdict =
            adjudicate(config, adjudication, white_score, board_fullmove(board), white_result);
        if (verdict != END_NONE) {
            game.end    = verdict;
            game.result = white_result;
            return;
        }
        board_play(board, best);
        game.moves.push_back(best);
    }
}

bool write_all(std::FILE* out, const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

} // namespace

std::uint64_t datagen_game_seed(std::uint64_t seed, int chunk, int game) {
    SplitMix r{seed * 1000003ull + static_cast<std::uint64_t>(chunk)};
    next_random(r);
    r.state ^= static_cast<std::uint64_t>(game) * 0xD1B54A32D192ED03ull;
    return next_random(r);
}

bool datagen_setup(const DatagenConfig& config) {
    SearchState& s                 = search_state;
    run_settings.noise             = NOISE_SILENT;
    live_options.Log               = 0;
    live_options.MultiPV           = 1;
    live_options.Ponder            = 0;
    live_options.OwnBook           = 0;
    live_options.UCI_LimitStrength = 0;
    live_options.Threads           = 1;
    s.threads                      = 1;
    s.use_hash                     = 1;
    return tt_allocate(config.hash_mb);
}

void play_datagen_game(const DatagenConfig& config, std::uint64_t game_seed, DatagenGame& game,
                       std::vector<TrainingRecord>& records) {
    game = DatagenGame{};
    SplitMix r{game_seed};
    GameBoard board;
    bool opened = false;
    for (int attempt = 0; attempt < OPENING_TRIES && !opened; ++attempt)
        opened = set_opening(config, r, board, game);
    if (!opened) {
        game.end = END_OPENING_DROPPED;
        board_free(board);
        return;
    }
    // Every game starts from the same search state, so that a chunk's games depend on their
    // seeds alone and a resumed run repeats an uninterrupted one.
    ThreadData* const saved_main = main_thread;
    main_thread                  = board.td;
    search_state.search_age      = 0;
    tt_clear();
    std::vector<PendingRecord> pending;
    play_out(config, board, game, pending);
    main_thread = saved_main;
    board_free(board);
    if (game.end == END_OPENING_DROPPED)
        return;
    for (const PendingRecord& p : pending) {
        const double mover_result = p.pos.side == WHITE ? game.result : 1.0 - game.result;
        records.push_back(training_record_of(p.pos, p.score, p.score, mover_result));
    }
}

std::string chunk_file(const std::string& dir, int chunk) {
    return dir + "/chunk-" + std::to_string(chunk) + ".bin";
}

std::string chunk_done_file(const std::string& dir, int chunk) {
    return dir + "/chunk-" + std::to_string(chunk) + ".done";
}

void count_game(DatagenCounts& counts, const DatagenGame& game, std::size_t records) {
    counts.nodes += game.nodes;
    ++counts.ends[game.end];
    if (game.end == END_OPENING_DROPPED) {
        ++counts.dropped;
        return;
    }
    ++counts.games;
    counts.positions += records;
    if (game.result > 0.75)
        ++counts.white_wins;
    else if (game.result < 0.25)
        ++counts.black_wins;
    else
        ++counts.draws;
}

bool run_datagen_chunk(const DatagenConfig& config, const std::string& dir, int chunk,
                       DatagenCounts& counts, void (*progress)(const DatagenCounts&)) {
    std::error_code error;
    if (std::filesystem::exists(chunk_done_file(dir, chunk), error))
        return true;
    DatagenCounts mine;
    std::vector<TrainingRecord> records;
    for (int g = 0; g < config.games_per_chunk; ++g) {
        DatagenGame game;
        const std::size_t before = records.size();
        play_datagen_game(config, datagen_game_seed(config.seed, chunk, g), game, records);
        count_game(mine, game, records.size() - before);
        count_game(counts, game, records.size() - before);
        if (progress)
            progress(counts);
    }
    std::vector<std::uint8_t> bytes(records.size() * TRAINING_RECORD_BYTES);
    for (std::size_t i = 0; i < records.size(); ++i)
        pack_training_record(records[i], bytes.data() + i * TRAINING_RECORD_BYTES);
    // Whole or not at all: the records appear under their name once written and closed, and
    // the done marker only after that.
    const std::string name = chunk_file(dir, chunk);
    const std::string part = name + ".part";
    std::FILE* out         = std::fopen(part.c_str(), "wb");
    if (!out)
        return false;
    bool ok = write_all(out, bytes);
    ok      = std::fclose(out) == 0 && ok;
    if (ok)
        std::filesystem::rename(part, name, error);
    if (!ok || error) {
        std::filesystem::remove(part, error);
        return false;
    }
    const std::string done_part = chunk_done_file(dir, chunk) + ".part";
    std::FILE* done             = std::fopen(done_part.c_str(), "w");
    if (!done)
        return false;
    std::fprintf(done,
                 "games %" PRIu64 " positions %" PRIu64 " white %" PRIu64 " black %" PRIu64
                 " draws %" PRIu64 " dropped %" PRIu64 " nodes %" PRIu64 "\n",
                 mine.games, mine.positions, mine.white_wins, mine.black_wins, mine.draws,
                 mine.dropped, mine.nodes);
    ok = std::fclose(done) == 0;
    if (ok)
        std::filesystem::rename(done_part, chunk_done_file(dir, chunk), error);
    return ok && !error;
}

} // namespace tarn
