#include "match/game.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/fen.h"
#include "match/rules.h"

namespace tarn {

namespace {

constexpr const char* COLOUR_NAMES[2] = {"White", "Black"};

// Termination tag values.
constexpr const char* TERM_NORMAL      = "normal";
constexpr const char* TERM_ADJUDICATED = "adjudication";
constexpr const char* TERM_TIME        = "time forfeit";
constexpr const char* TERM_ILLEGAL     = "illegal move";
constexpr const char* TERM_ABANDONED   = "abandoned";
constexpr const char* TERM_STALLED     = "stalled connection";

std::string seconds_text(double seconds) {
    char buffer[32];
    if (seconds >= 1.0) {
        std::snprintf(buffer, sizeof buffer, "%.2f", seconds);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
    std::string text = buffer;
    if (text.back() == '0')
        text.pop_back();
    return text;
}

// The game while it is played.
struct GameState {
    const MatchConfig& config;
    const GameJob& job;
    UciEngine** engines;
    GameOutcome out;
    GameBoard board;
    std::string position; // "position ... moves ..." for the current position
    bool has_moves = false;
    // Training positions waiting for the result: FEN, score and side to move.
    std::vector<std::string> fens;
    std::vector<int> scores;
    std::vector<int> sides;
};

void finish(GameState& g, int result, const std::string& reason, const char* termination) {
    g.out.result = result;
    g.out.reason = reason;
    pgn_set_tag(g.out.pgn, "Termination", termination);
}

// The side loses because of its engine; the engine is restarted for its next game.
void forfeit(GameState& g, int side, int failure, const std::string& what, const char* termination,
             bool restart) {
    g.out.failure[side] = failure;
    g.out.restart[side] = g.out.restart[side] || restart;
    finish(g, side == WHITE ? RESULT_BLACK_WINS : RESULT_WHITE_WINS,
           std::string(COLOUR_NAMES[side]) + " " + what, termination);
}

void add_move(GameState& g, Move move, const std::string& comment) {
    g.out.pgn.moves.push_back(PgnMove{board_san(g.board, move), comment});
    g.position.append(g.has_moves ? " " : " moves ").append(board_coord(g.board, move));
    g.has_moves = true;
    board_play(g.board, move);
}

void note_training(GameState& g, const SearchReport& report) {
    const EpdOutConfig& epd = g.config.epd_out;
    if (epd.file.empty() || !report.has_score)
        return;
    if ((epd.skip_check && board_in_check(g.board)) || (epd.skip_mate && report.is_mate))
        return;
    int score = report.score_cp;
    if (report.is_mate)
        score = report.mate > 0 ? TRAINING_MATE - (2 * report.mate - 1)
                                : -(TRAINING_MATE - 2 * -report.mate);
    g.fens.push_back(board_fen(g.board, false));
    g.scores.push_back(score);
    g.sides.push_back(board_side(g.board));
}

void write_training(GameState& g) {
    if (g.out.result == RESULT_NONE)
        return;
    const double white = g.out.result == RESULT_WHITE_WINS   ? 1.0
                         : g.out.result == RESULT_BLACK_WINS ? 0.0
                                                             : 0.5;
    char buffer[256];
    for (std::size_t i = 0; i < g.fens.size(); ++i) {
        const double mine = g.sides[i] == WHITE ? white : 1.0 - white;
        std::snprintf(buffer, sizeof buffer, " ce %d; gr %.1f;", g.scores[i], mine);
        g.out.training.push_back(g.fens[i] + buffer);
    }
}

// Starts an engine that is not running and begins its game. False when it cannot play.
bool ready_engine(GameState& g, int side) {
    UciEngine& engine = *g.engines[side];
    const EngineConfig& conf =
        g.config.engines[static_cast<std::size_t>(side ? g.job.black : g.job.white)];
    std::string error;
    if (!engine_is_running(engine)) {
        engine_kill(engine);
        if (!engine_start(engine, conf, g.config.chess960, g.config.handshake_seconds, error,
                          g.out.warnings)) {
            g.out.warnings.push_back("cannot start " + conf.name + ": " + error);
            g.out.failure[side] = FAILURE_START;
            return false;
        }
    }
    if (!engine_new_game(engine, g.config.handshake_seconds, error)) {
        g.out.warnings.push_back(conf.name + " does not start a new game: " + error);
        g.out.failure[side] = FAILURE_CRASH;
        g.out.restart[side] = true;
        return false;
    }
    return true;
}

void write_tags(GameState& g) {
    PgnGame& pgn                = g.out.pgn;
    const EngineConfig& white   = g.config.engines[static_cast<std::size_t>(g.job.white)];
    const EngineConfig& black   = g.config.engines[static_cast<std::size_t>(g.job.black)];
    const std::string start_fen = std::string(START_FEN) + " 0 1";
    pgn_set_tag(pgn, "Event", g.config.event);
    pgn_set_tag(pgn, "Site", "?");
    pgn_set_tag(pgn, "Date", g.job.date);
    pgn_set_tag(pgn, "Round", std::to_string(g.job.number));
    pgn_set_tag(pgn, "White", white.name);
    pgn_set_tag(pgn, "Black", black.name);
    pgn_set_tag(pgn, "Result", "*");
    if (g.job.opening->fen != start_fen || g.config.chess960) {
        pgn_set_tag(pgn, "SetUp", "1");
        pgn_set_tag(pgn, "FEN", g.job.opening->fen);
    }
    if (g.config.chess960)
        pgn_set_tag(pgn, "Variant", "Chess960");
    const std::string wtc = time_control_tag(white.tc), btc = time_control_tag(black.tc);
    pgn_set_tag(pgn, "TimeControl", wtc == btc ? wtc : "?");
    if (wtc != btc) {
        pgn_set_tag(pgn, "WhiteTimeControl", wtc);
        pgn_set_tag(pgn, "BlackTimeControl", btc);
    }
    // Filled in when the game ends.
    pgn_set_tag(pgn, "PlyCount", "0");
    pgn_set_tag(pgn, "Termination", "unterminated");
    g.position = g.job.opening->fen == start_fen ? "position startpos"
                                                 : "position fen " + g.job.opening->fen;
}

const char* RULE_REASONS[] = {"",
                              "",
                              "Draw by stalemate",
                              "Draw by 3-fold repetition",
                              "Draw by fifty moves rule",
                              "Draw by insufficient mating material"};

// Asks the side to move for its move and plays it; false when the game has ended.
bool engine_turn(GameState& g, const TimeControl tcs[2], Clock clocks[2], ScoreWatch& watch) {
    const int side       = board_side(g.board);
    UciEngine& engine    = *g.engines[side];
    const std::string go = go_command(tcs, clocks, side);
    const SearchReport r =
        engine_search(engine, g.position, go, think_limit(tcs[side], clocks[side]));
    const bool time_limit = tcs[side].has_clock || tcs[side].move_time > 0;
    if (r.status == SEARCH_ENDED) {
        forfeit(g, side, FAILURE_CRASH, "disconnects", TERM_ABANDONED, true);
        return false;
    }
    if (r.status == SEARCH_TIMEOUT) {
        if (time_limit)
            forfeit(g, side, FAILURE_TIME, "loses on time", TERM_TIME, true);
        else
            forfeit(g, side, FAILURE_TIME, "does not answer", TERM_STALLED, true);
        return false;
    }
    g.out.least_left[side] =
        std::min(g.out.least_left[side], time_left_after(tcs[side], clocks[side], r.seconds));
    if (!clock_charge(clocks[side], tcs[side], r.seconds)) {
        forfeit(g, side, FAILURE_TIME, "loses on time", TERM_TIME, false);
        return false;
    }
    const Move move = r.bestmove.empty() ? NULL_MOVE : board_find_coord(g.board, r.bestmove);
    if (move == NULL_MOVE) {
        const std::string what =
            r.bestmove.empty() ? "sends no move" : "makes an illegal move: " + r.bestmove;
        forfeit(g, side, FAILURE_ILLEGAL, what, TERM_ILLEGAL, true);
        return false;
    }
    note_training(g, r);
    const int fullmove = board_fullmove(g.board);
    add_move(g, move, move_comment(r));
    const int cp = r.is_mate ? mate_to_cp(r.mate) : r.score_cp;
    const ScoreVerdict v =
        watch_score(watch, g.config.draw, g.config.resign, side, r.has_score, cp, fullmove);
    if (v == VERDICT_DRAW) {
        finish(g, RESULT_DRAW, "Draw by adjudication", TERM_ADJUDICATED);
        return false;
    }
    if (v == VERDICT_WHITE_WINS || v == VERDICT_BLACK_WINS) {
        const int winner = v == VERDICT_WHITE_WINS ? WHITE : BLACK;
        finish(g, winner == WHITE ? RESULT_WHITE_WINS : RESULT_BLACK_WINS,
               std::string(COLOUR_NAMES[winner]) + " wins by adjudication", TERM_ADJUDICATED);
        return false;
    }
    return true;
}

void play_moves(GameState& g, const std::atomic<bool>& stop) {
    const TimeControl tcs[2] = {g.config.engines[static_cast<std::size_t>(g.job.white)].tc,
                                g.config.engines[static_cast<std::size_t>(g.job.black)].tc};
    Clock clocks[2]          = {clock_start(tcs[0]), clock_start(tcs[1])};
    ScoreWatch watch;
    for (;;) {
        const RuleEnd end = board_rule_end(g.board);
        if (end == RULE_CHECKMATE) {
            const int winner = board_side(g.board) ^ 1;
            finish(g, winner == WHITE ? RESULT_WHITE_WINS : RESULT_BLACK_WINS,
                   std::string(COLOUR_NAMES[winner]) + " mates", TERM_NORMAL);
            return;
        }
        if (end != RULE_NONE) {
            finish(g, RESULT_DRAW, RULE_REASONS[end], TERM_NORMAL);
            return;
        }
        if (g.config.max_moves > 0 && g.board.plies >= 2 * g.config.max_moves) {
            finish(g, RESULT_DRAW, "Draw by move limit", TERM_ADJUDICATED);
            return;
        }
        if (stop.load(std::memory_order_relaxed)) {
            g.out.aborted = true;
            return;
        }
        if (!engine_turn(g, tcs, clocks, watch))
            return;
    }
}

} // namespace

std::string move_comment(const SearchReport& report) {
    std::string text;
    if (report.has_score) {
        char buffer[48];
        if (report.is_mate)
            std::snprintf(buffer, sizeof buffer, "%sM%d/%d ", report.mate > 0 ? "+" : "-",
                          std::abs(report.mate), report.depth);
        else if (report.score_cp == 0)
            std::snprintf(buffer, sizeof buffer, "0.00/%d ", report.depth);
        else
            std::snprintf(buffer, sizeof buffer, "%c%.2f/%d ", report.score_cp > 0 ? '+' : '-',
                          std::abs(report.score_cp) / 100.0, report.depth);
        text = buffer;
    }
    return text + seconds_text(report.seconds) + "s";
}

const char* result_text(int result) {
    switch (result) {
    case RESULT_WHITE_WINS:
        return "1-0";
    case RESULT_BLACK_WINS:
        return "0-1";
    case RESULT_DRAW:
        return "1/2-1/2";
    default:
        return "*";
    }
}

GameOutcome play_game(const MatchConfig& config, const GameJob& job, UciEngine* engines[2],
                      const std::atomic<bool>& stop) {
    GameState g{config, job, engines, {}, {}, {}, false, {}, {}, {}};
    write_tags(g);
    std::string error;
    if (!board_set(g.board, job.opening->fen, error)) {
        // Openings are played through when they are read, so this is a broken invariant.
        g.out.warnings.push_back("opening not playable: " + error);
        finish(g, RESULT_NONE, "Opening not playable", TERM_ABANDONED);
    } else {
        for (const std::string& text : job.opening->moves) {
            const Move move = board_find_coord(g.board, text);
            if (move == NULL_MOVE)
                break;
            add_move(g, move, "book");
        }
        const bool white_ok = ready_engine(g, WHITE);
        const bool black_ok = ready_engine(g, BLACK);
        if (!white_ok && !black_ok)
            finish(g, RESULT_NONE, "Neither engine can play", TERM_ABANDONED);
        else if (!white_ok)
            forfeit(g, WHITE, g.out.failure[WHITE], "cannot play", TERM_ABANDONED, true);
        else if (!black_ok)
            forfeit(g, BLACK, g.out.failure[BLACK], "cannot play", TERM_ABANDONED, true);
        else
            play_moves(g, stop);
    }
    write_training(g);
    board_free(g.board);
    g.out.pgn.result        = result_text(g.out.result);
    g.out.pgn.final_comment = g.out.reason;
    pgn_set_tag(g.out.pgn, "Result", g.out.pgn.result);
    pgn_set_tag(g.out.pgn, "PlyCount", std::to_string(g.out.pgn.moves.size()));
    return g.out;
}

} // namespace tarn
