#include "search/timeman.h"

#include <algorithm>
#include <cmath>

#include "core/fen.h"
#include "core/platform.h"
#include "core/score.h"
#include "eval/eval_params.h"
#include "eval/evaluate.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"

namespace tarn {

namespace {

constexpr double ELAPSED_EPSILON  = 0.0001;
constexpr double FIRST_CHECK_TIME = 0.015;
constexpr double MIN_TARGET       = 0.002;
constexpr int WEAK_ELO            = 2400;

// Moves left to plan the clock for.
int planned_moves(const SearchLimits& limits, int game_ply) {
    if (limits.time_mode == TIME_SUDDEN_DEATH)
        return game_ply < 20 ? 32 - game_ply / 2 : 23;
    if (run_settings.protocol_mode == PROTOCOL_CONSOLE)
        return limits.time_mode - (game_ply / 2) % limits.time_mode;
    return limits.moves_to_go;
}

// Clears what the last search left in SearchState and the game record: the published line,
// the per-depth history and the iteration counters; takes this search's settings from the live
// options and moves the table age on.
void reset_search_fields(SearchState& s, ThreadData& game) {
    const Position& p              = game.board.pos;
    game.board.search_ply          = 1;
    game.root_pv[1]                = 0;
    s.root_side                    = p.side;
    search_control.stop            = 0;
    search_results.best_score      = p.rule50 > 100 ? 0 : -MATE_SCORE;
    s.ponder_enabled               = static_cast<std::uint16_t>(live_options.Ponder);
    search_results.iteration_depth = 0;
    search_results.best_depth      = 0;
    search_results.change_depth    = 0;
    search_results.single_reply    = 0;
    search_results.last_depth      = 0;
    s.multipv                      = live_options.MultiPV;
    s.move_overhead                = live_options.MoveOverhead * 0.001;
    search_results.pv[1]           = 0;
    s.search_age = static_cast<std::uint16_t>(s.search_age + 1 > TT_MAX_AGE ? 1 : s.search_age + 1);
    if (s.hash_mb < 1)
        s.use_hash = 0;
    for (int d = 0; d < DEPTH_SLOTS; ++d) {
        search_results.score_by_depth[d] = -INFINITY_SCORE;
        search_results.move_by_depth[d]  = 0;
        search_results.nodes_by_depth[d] = 0;
    }
}

// The time this move aims to use: a share of the clock for the moves still to plan for, more
// when pondering, less below WEAK_ELO, plus part of the increment; the move time itself when
// the search has a fixed time.
void set_target_time(SearchState& s, int game_ply, int side) {
    SearchLimits& limits = s.limits;
    if (limits.time_mode != TIME_FIXED_MOVE) {
        const int moves  = planned_moves(limits, game_ply);
        const double clk = limits.clock[side];
        double target    = clk / (moves + 1);
        if (s.ponder_enabled && moves >= 3)
            target *= 1.3;
        if (live_options.UCI_Elo < WEAK_ELO)
            target *= 0.85;
        if (limits.increment > 0)
            target += clk / (2 * limits.increment + clk) * limits.increment;
        target        = std::min(target, 0.65 * clk - 5 * s.move_overhead);
        s.target_time = std::max(target, MIN_TARGET);
    } else {
        s.target_time      = limits.move_time;
        limits.clock[side] = limits.move_time;
    }
}

// The position and the target time, on the console or in the log; nothing when quiet.
void report_search_start(const SearchState& s, const ThreadData& game) {
    const Position& p = game.board.pos;
    const int side    = p.side;
    if (run_settings.noise < NOISE_SILENT) {
        const std::string fen = write_fen(p, false);
        if (run_settings.protocol_mode == PROTOCOL_CONSOLE) {
            print_format("fen %s", fen.c_str());
            print_format("Ply= %d, cnt50= %d, Clock= %0.2fs, Target time= %0.2fs",
                         game.board.game_ply, p.rule50, s.limits.clock[side], s.target_time);
        } else if (live_options.Log) {
            char line[FORMAT_BUFFER_CHARS];
            std::snprintf(line, sizeof line, "info string fen %s", fen.c_str());
            log_line(line);
            std::snprintf(line, sizeof line, "info string ply= %d, trg_time= %0.3f sec",
                          game.board.game_ply, s.target_time);
            log_line(line);
        }
    }
}

} // namespace

void clock_start() {
    search_state.start_time = platform_now();
    search_state.elapsed    = 0.0;
}

void clock_update() {
    search_state.elapsed = platform_now() - search_state.start_time + ELAPSED_EPSILON;
}

void search_setup(const SearchLimits& limits) {
    SearchState& s   = search_state;
    ThreadData& game = *main_thread;
    s.limits         = limits;
    clock_start();
    reset_search_fields(s, game);
    resolve_strength();
    if (refresh_eval_params())
        clear_thread_caches();
    set_target_time(s, game.board.game_ply, game.board.pos.side);
    s.eval_bias = eval_bias_for(s.root_side, s.target_time);
    report_search_start(s, game);
}

void time_check() {
    clock_update();
    SearchState& s     = search_state;
    ThreadData* master = thread_records[0];
    const int d        = search_results.iteration_depth;
    if (!master || search_control.stop || search_control.mode != MODE_SEARCHING || d < 2)
        return;
    // The first checks wait a little so that a move is not cut short by timer jitter, except
    // when the clock cannot afford the wait: with a short clock every move would otherwise
    // take more than a small increment gives back, until the flag falls.
    const SearchLimits& limits = s.limits;
    const bool short_clock =
        limits.time_mode != TIME_FIXED_MOVE && s.target_time < FIRST_CHECK_TIME;
    if (s.elapsed < FIRST_CHECK_TIME && !short_clock)
        return;
    const int side         = s.root_side;
    const double remaining = std::max(0.0, limits.clock[side] - s.elapsed);
    double margin          = 0.0;
    double limit           = s.target_time;
    if (limits.time_mode != TIME_FIXED_MOVE) {
        margin           = std::min(s.move_overhead, 0.025);
        const int best   = search_results.best_score;
        const int t      = std::abs(best) > 335 ? std::abs(best) / 16 : 20;
        const int change = search_results.change_depth;
        double extra     = 0.0;
        const int fail   = master->root_fail;
        if (fail == 1) {
            extra = 0.25 * remaining;
        } else if (fail == 2) {
            extra = 0.1 * remaining;
        } else if (d > 3) {
            if (best <= search_results.score_by_depth[d - 1] - t)
                extra += 0.03 * remaining;
            if (best <= search_results.score_by_depth[d - 2] - t)
                extra += 0.03 * remaining;
            if (d - change < 3)
                extra += 0.02 * remaining;
            if (d - change > 5)
                extra -= 0.25 * s.target_time;
        }
        if (extra < 0.06 * remaining && s.threads > 1) {
            for (int i = 1; i < s.threads; ++i) {
                const ThreadData* other = thread_records[i];
                if (other && other->root_score > best + t + 5 &&
                    other->best_move_depth >= search_results.best_depth) {
                    extra = 0.06 * remaining;
                    break;
                }
            }
        }
        limit += extra;
    } else if (run_settings.protocol_mode == PROTOCOL_UCI) {
        // The GUI times the reply on its way back too: a fixed time per move keeps the move
        // overhead for it, at most a tenth of the time.
        margin = std::min(s.move_overhead, 0.1 * s.target_time);
    }
    limit -= margin;
    const bool clock_low = limits.time_mode != TIME_FIXED_MOVE && 5 * margin > remaining;
    if ((d > 5 && search_results.single_reply) || clock_low || s.elapsed >= limit)
        search_control.stop = 1;
}

int search_depth_limit(double requested) {
    if (!(requested >= 1))
        return 1;
    return requested >= MAX_DEPTH ? MAX_DEPTH : static_cast<int>(requested);
}

} // namespace tarn
