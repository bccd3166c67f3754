#pragma once
// The one record of the current search shared by the main thread and the search threads:
// limits and control fields, the published result and the table size. The main thread writes
// requests and `stop`; the master search thread sets only the finished bit of `mode`.

#include <atomic>
#include <cstdint>

#include "core/board.h"

namespace tarn {

constexpr int MAX_DEPTH         = 66;
constexpr int PV_LENGTH         = 70;
constexpr int MODE_IDLE         = 0;
constexpr int MODE_REQUESTED    = 1;
constexpr int MODE_PONDER_REQ   = 2;
constexpr int MODE_SEARCHING    = 3;
constexpr int MODE_PONDERING    = 4;
constexpr int MODE_BENCHMARK    = 5;
constexpr int MODE_FINISHED     = 16; // or-ed in when the search has left its result
constexpr int TIME_FIXED_MOVE   = 1;  // time_mode: fixed time per move
constexpr double TIME_UNLIMITED = 10000000.0;

struct SearchState {
    // --- control (main thread writes requests and stop) ---
    std::atomic<std::uint8_t> mode{MODE_IDLE};
    std::atomic<std::uint8_t> stop{0};
    // --- limits ---
    std::int32_t max_depth   = MAX_DEPTH;
    std::int32_t time_mode   = TIME_FIXED_MOVE; // 0 clock, 1 fixed per move, N moves in time
    double move_time         = 5.0;             // seconds
    double increment         = 0.0;             // seconds
    double clock[2]          = {5.0, 5.0};      // seconds per colour
    std::int32_t moves_to_go = 0;
    std::uint64_t node_limit = 0; // 0 = none
    double target_nps        = 0.0;
    double calibration_nps   = 0.0;
    double elo_ceiling       = 0.0;
    // --- resources ---
    std::int32_t threads    = 1;
    std::int32_t hash_mb    = 64;
    std::int32_t use_hash   = 1;
    std::uint8_t search_age = 0;
    // --- clock and result ---
    double start_time       = 0.0; // monotonic seconds at the start of the search
    double elapsed          = 0.0; // seconds since start_time
    Move pv[PV_LENGTH]      = {};  // pv[1] best move, pv[2] expected reply
    std::int32_t best_score = 0;
    std::int32_t best_depth = 0;
    Move book_move          = 0;
};

extern SearchState search_state;

} // namespace tarn
