#pragma once
// The search thread's record: the thread's board (Position, undo stack, per-ply move lists; see
// core/thread_board.h) beside what the search adds: its per-ply frames, the move-ordering
// tables, the evaluation state (caches and network; see eval/eval_state.h), the root of the
// current search and the counters. A ply's search frame and its move-list frame in the board
// share one index, the board's search_ply. The main thread's record also holds the game.
// Records are large, so they live on the heap and are created zero-filled by
// thread_data_create. Board code below the search gets td.board; the board's Position points
// back at it through its owner.

#include <atomic>
#include <cstdint>

#include "core/thread_board.h"
#include "eval/eval_state.h"

namespace tarn {

// What the search keeps for one ply: the node's window and state, the picker's inputs and
// stage, and the killers of the ply.
struct SearchFrame {
    std::int16_t node_type   = 0; // -1 ALL, 0 PV, 1 CUT
    std::int16_t depth       = 0;
    std::int16_t static_eval = 0; // -9999 when in check
    std::int16_t alpha       = 0;
    std::int16_t beta        = 0;
    std::uint16_t in_check   = 0;
    std::uint8_t reduction   = 0;
    std::uint8_t iid_active  = 0;
    std::uint16_t move_class = 0;
    std::uint8_t razored     = 0;
    std::uint16_t move_count = 0;
    std::int32_t tb_result   = -1;
    Move hash_move           = 0;
    Move killer1             = 0;
    Move killer2             = 0;
    Move check_killer        = 0;
    std::uint8_t checker     = NO_SQUARE; // square of a checking piece, or 64
    std::uint16_t pick_stage = 0;         // STAGE_* in PICK_STAGE_MASK, PICK_* flags above it
};

// Everything one search thread owns.
struct ThreadData {
    // --- position, game history, per-ply move lists ---
    ThreadBoard board;

    // --- per-ply search frames, indexed like the board's frames; the root uses frame 1 ---
    SearchFrame frames[PLY_FRAMES];

    // --- move ordering, reset at the start of every search ---
    std::int16_t history[PIECE_CODES][64];
    Move counter1[PIECE_CODES][64];
    Move counter2[PIECE_CODES][64];
    Move followup[PIECE_CODES][64];

    // --- evaluation caches and network state, kept across searches ---
    EvalState eval;

    // --- root of the current search ---
    Move root_pv[PLY_FRAMES];       // [1] the thread's best move
    std::atomic<int> root_score{0}; // read by the time check
    std::int16_t root_static_eval = 0;
    std::atomic<int> iteration_depth{0}; // read by the other threads' depth choice
    std::atomic<int> best_move_depth{0}; // depth at which root_pv[1] was found
    std::atomic<int> root_fail{0};       // 0 none, 1 failing low, 2 failed high
    std::atomic<int> seldepth{0};        // highest ply reached

    // --- identity and counters ---
    std::uint8_t thread_id        = 0;
    std::uint32_t seed            = 0;
    std::uint64_t node_limit      = 0;
    std::uint64_t hard_node_limit = 0;
    Counter nodes{0};
    Counter tbhits{0};
    Counter tt_probes{0};
    Counter tt_hits{0};
};

// The main thread's record; it holds the game. Created at start-up.
extern ThreadData* main_thread;

// Allocates a zero-filled record with the Position owned by its board, game_ply 0, search_ply 1 and
// the two terminator entries at the bottom of the move stack; nullptr when memory is short.
ThreadData* thread_data_create();
void thread_data_destroy(ThreadData* td);

} // namespace tarn
