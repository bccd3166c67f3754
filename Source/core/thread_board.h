#pragma once
// The board part of a thread's record: a Position with its undo stack and ply counters, and the
// per-ply frames whose move lists form one stack in the thread's MoveEntry storage. A frame here
// holds only that list chain; move generation, make/unmake and perft work on this alone. The
// search's record, ThreadData, holds one as its `board`, beside its own per-ply search frames,
// the ordering tables, the evaluation state and the counters.

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

// One ply's place in the thread's move storage. The frames chain the lists into one stack: the
// next ply's list starts behind this one's terminator. What the search keeps per ply lives in
// its own frames (search/thread_data.h).
struct PlyFrame {
    MoveEntry* list_start = nullptr;
    MoveEntry* cursor     = nullptr; // entry the ply works on: the move last picked or made
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
