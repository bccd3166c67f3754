#pragma once
// The board part of a thread's record: a Position with its undo stack and ply counters, and the
// per-ply frames whose move lists form one stack in the thread's MoveEntry storage. Move
// generation, make/unmake and perft work on this alone; the search's record, ThreadData, holds
// one as its `board`, beside the ordering tables, the evaluation state and the counters.

#include <atomic>
#include <cstdint>

#include "core/board.h"

namespace tarn {

constexpr int PLY_FRAMES = 70; // per-ply frames of a thread; the root uses frame 1
constexpr int MAX_PLY    = 65; // a node at ply 66 or deeper returns at once
// The history holds the game and a search line on top of it. Game moves stop at
// MAX_GAME_PLY so that a search from the last game position keeps its margin.
constexpr int UNDO_RECORDS = 1024;
constexpr int MAX_GAME_PLY = UNDO_RECORDS - PLY_FRAMES - 4;
// Move storage: a pseudo-legal list has at most a few hundred entries; every ply can have one.
constexpr int MOVE_STACK_ENTRIES = PLY_FRAMES * 320;

// A statistics counter written by its own thread and read by others while it runs.
using Counter = std::atomic<std::uint64_t>;

// Adds to a counter that only the calling thread writes: a plain load and store, no locked
// instruction.
inline void count(Counter& c, std::uint64_t n = 1) {
    c.store(c.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

// Search fields of one ply; list_start and cursor chain the per-ply move lists.
struct PlyFrame {
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
    std::uint16_t pick_stage = 0;         // low 4 bits stage, upper bits option flags
    MoveEntry* list_start    = nullptr;
    MoveEntry* cursor        = nullptr; // entry the picker returned last
};

// One thread's Position with its game history, per-ply frames and move lists.
struct ThreadBoard {
    // --- position and game history ---
    Position pos;
    UndoRecord undo[UNDO_RECORDS];
    std::int16_t game_ply   = 0; // undo records in use
    std::int16_t search_ply = 1; // frame index of the current node
    Move last_move          = 0; // move that led to the current position

    // --- per-ply frames and their move lists ---
    PlyFrame frames[PLY_FRAMES];
    MoveEntry move_stack[MOVE_STACK_ENTRIES];
    MoveEntry dummy_entries[2]; // cursors of frames 0 and 1 at search start
};

// Points frames 0 and 1 at the bottom of the move stack again (two terminator entries).
void thread_board_reset_lists(ThreadBoard& td);
// Copies a Position and its game history from one board into another.
void thread_board_copy_game(ThreadBoard& dst, const ThreadBoard& src);

// The frame of the node currently being searched.
inline PlyFrame& current_frame(ThreadBoard& td) {
    return td.frames[td.search_ply];
}

// Ends the list whose last entry is just before `end`: writes the terminator and sets the
// list starts of the next two frames behind it. Returns the terminator.
inline MoveEntry* terminate_list(ThreadBoard& td, MoveEntry* end) {
    end->move                               = END_OF_LIST;
    td.frames[td.search_ply + 1].list_start = end + 1;
    td.frames[td.search_ply + 2].list_start = end + 2;
    return end;
}

} // namespace tarn
