#pragma once
// The records of the current search shared by the main thread and the search threads, by
// owner: SearchControl is the hand-shake (mode and stop), SearchLimits what one search is
// asked to do, SearchState the resources, the running search's limits, its clock and the
// strength setting, SearchResults what the search leaves behind (the published line, the
// per-depth history, the counter sums). The main thread writes requests, limits and stop;
// only the master search thread (thread 0) publishes results and sets the finished bit of
// mode. Fields read by other threads while a search runs are atomics.

#include <atomic>
#include <cstdint>

#include "core/board.h"
#include "eval/eval_state.h"
#include "tb/tb_probe.h"

namespace tarn {

constexpr int MAX_DEPTH         = 66;
constexpr int PV_LENGTH         = 70;
constexpr int DEPTH_SLOTS       = 70;
constexpr int MODE_IDLE         = 0;
constexpr int MODE_REQUESTED    = 1;
constexpr int MODE_PONDER_REQ   = 2;
constexpr int MODE_SEARCHING    = 3;
constexpr int MODE_PONDERING    = 4;
constexpr int MODE_BENCHMARK    = 5;
constexpr int MODE_FINISHED     = 16; // or-ed in when the search has left its result
constexpr int TIME_SUDDEN_DEATH = 0;  // time_mode: whole game on the clock
constexpr int TIME_FIXED_MOVE   = 1;  // fixed time per move (depth, nodes, infinite too)
constexpr double TIME_UNLIMITED = 10000000.0;

// The hand-shake between the main thread and a running search: the main thread writes requests
// and stop, the master search thread sets only the finished bit of mode. Single bytes that the
// threads share without a lock.
struct SearchControl {
    std::atomic<std::uint8_t> mode{MODE_IDLE};
    std::atomic<std::uint8_t> stop{0};
};

extern SearchControl search_control;

// What the front end asks of one search: the deepest iteration, the clock or the time a move,
// and the node budgets. A value handed to search_setup, which keeps a copy for the running
// search; the front end keeps its own from move to move.
struct SearchLimits {
    std::int32_t max_depth   = MAX_DEPTH;
    std::int32_t time_mode   = TIME_FIXED_MOVE; // 0 sudden death, 1 per move, N moves per control
    double move_time         = 5.0;             // seconds
    double increment         = 0.0;             // seconds, side to move
    double clock[2]          = {5.0, 5.0};      // seconds per colour
    std::int32_t moves_to_go = 0;
    std::uint64_t node_limit = 0;      // per thread, checked between iterations; 0 = none
    std::uint64_t hard_node_limit = 0; // per thread, ends the search at once; 0 = none
};

struct SearchState {
    // --- resources ---
    std::int32_t threads     = 1;
    std::int32_t hash_mb     = 64;
    std::int32_t use_hash    = 1;
    std::uint16_t search_age = 0;
    // --- limits of the running search (a copy of what search_setup was handed) ---
    SearchLimits limits;
    // --- per-search settings (search_setup) ---
    std::uint16_t ponder_enabled = 1;
    double move_overhead         = 0.05; // seconds
    std::uint8_t root_side       = WHITE;
    std::int32_t multipv         = 1;
    double target_time           = 0.0; // seconds this move should take
    EvalBias eval_bias;                 // handed to every thread's evaluation state
    // --- clock ---
    double start_time = 0.0;          // monotonic seconds at clock_start
    std::atomic<double> elapsed{0.0}; // seconds since start_time, read by the search threads
    // --- strength ---
    double target_nps         = 0.0;
    double calibration_nps    = 0.0;
    double elo_ceiling        = 0.0;
    std::uint16_t throttle_on = 0;
    // --- the main loop's book probe ---
    Move book_move = 0;
};

extern SearchState search_state;

// What a search leaves behind: the line and scores thread 0 publishes, its per-depth history,
// and the counters summed over all threads. Written by the search (the summing under the
// counters lock), read by the front end, the time check and the tools.
struct SearchResults {
    std::atomic<int> iteration_depth{0};
    std::atomic<int> best_depth{0};
    std::atomic<int> best_score{0};
    std::atomic<int> change_depth{0};
    std::atomic<int> single_reply{0};
    Move pv[PV_LENGTH]                        = {}; // pv[1] best move, pv[2] expected reply
    std::int32_t root_eval                    = 0;
    std::int32_t root_qsearch                 = 0;
    std::int32_t last_depth                   = 0;
    double last_time                          = 0.0;
    std::int16_t score_by_depth[DEPTH_SLOTS]  = {};
    Move move_by_depth[DEPTH_SLOTS]           = {};
    std::uint64_t nodes_by_depth[DEPTH_SLOTS] = {};
    std::int32_t root_tb_result               = TB_NONE; // the root's table result
    std::int16_t tb_score[2]                  = {};
    Move tb_move                              = 0;
    // --- counter sums over all threads ---
    std::uint64_t nodes       = 0;
    std::uint64_t eval_probes = 0;
    std::uint64_t eval_hits   = 0;
    std::uint64_t tt_probes   = 0;
    std::uint64_t tt_hits     = 0;
    std::uint64_t pawn_probes = 0;
    std::uint64_t pawn_hits   = 0;
    std::uint64_t tbhits      = 0;
    std::int32_t seldepth     = 0;
};

extern SearchResults search_results;

// Limits of a search to `depth` with no clock and no node budget: analysis, tools and tests.
SearchLimits depth_limits(int depth);

// Effective branching factor of the last search: the fourth root of the node growth over its
// last four completed iterations, 2.0 when fewer than six were completed.
double branching_factor();

} // namespace tarn
