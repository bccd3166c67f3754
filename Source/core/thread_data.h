#pragma once
// The per-thread record: a Position with its undo stack, the per-ply frames whose move lists
// form one stack in the thread's MoveEntry storage, and the move-ordering tables. The main
// thread's record also holds the game. Records are large, so they live on the heap and are
// created zero-filled by thread_data_create.

#include <atomic>
#include <cstdint>

#include "core/board.h"
#include "eval/eval_cache.h"
#include "eval/nn.h"

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

// Everything one search thread owns.
struct ThreadData {
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

    // --- move ordering, reset at the start of every search ---
    std::int16_t history[PIECE_CODES][64];
    Move counter1[PIECE_CODES][64];
    Move counter2[PIECE_CODES][64];
    Move followup[PIECE_CODES][64];

    // --- evaluation caches ---
    EvalCache eval_cache;     // whole evaluations; zero-filled, cleared when evaluators change
    PawnHashTable pawn_table; // pawn-structure terms; likewise

    // --- network state: buffers made by the first network evaluation, kept across searches ---
    NnThreadState nn;

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
    Counter eval_probes{0};
    Counter eval_hits{0};
    Counter tt_probes{0};
    Counter tt_hits{0};
    Counter pawn_probes{0};
    Counter pawn_hits{0};
};

// The main thread's record; it holds the game. Created at start-up.
extern ThreadData* main_thread;

// Allocates a zero-filled record with the Position owned by it, game_ply 0, search_ply 1 and
// the two terminator entries at the bottom of the move stack; nullptr when memory is short.
ThreadData* thread_data_create();
void thread_data_destroy(ThreadData* td);
// Points frames 0 and 1 at the bottom of the move stack again (two terminator entries).
void thread_data_reset_lists(ThreadData& td);
// Copies a Position and its game history from one record into another.
void thread_data_copy_game(ThreadData& dst, const ThreadData& src);

// The frame of the node currently being searched.
inline PlyFrame& current_frame(ThreadData& td) {
    return td.frames[td.search_ply];
}

// Ends the list whose last entry is just before `end`: writes the terminator and sets the
// list starts of the next two frames behind it. Returns the terminator.
inline MoveEntry* terminate_list(ThreadData& td, MoveEntry* end) {
    end->move                               = END_OF_LIST;
    td.frames[td.search_ply + 1].list_start = end + 1;
    td.frames[td.search_ply + 2].list_start = end + 2;
    return end;
}

} // namespace tarn
