#pragma once
// The transposition table shared by all search threads. Entries are 16 bytes; a key looks at
// a window of four consecutive entries starting at key mod entry_count, so neighbouring
// windows overlap and 16 spare entries keep the last window inside the array. Threads read and
// write without a lock: a check word over score, move and the lower key half, plus move
// validation at probe time, reject torn entries.
//
// Entry layout, two 64-bit words:
//   word 0: key_high (32) | check (32)
//   word 1: move (16) | score (16) | depth (8) | bound (8) | age (8) | rule50 (8)

#include <cstdint>
#include <type_traits>

#include "core/board.h"
#include "core/score.h"

namespace tarn {

constexpr int TT_WINDOW            = 4;
constexpr int TT_SPARE_ENTRIES     = 16;
constexpr int TT_ENTRIES_PER_MB    = 65536;
constexpr int TT_CHECK_OFFSET      = 15000;
constexpr int TT_MISSING_DEPTH     = -10; // callers preset this; a missing entry keeps it
constexpr int TT_TORN_DEPTH        = -98;
constexpr int TT_INVALID_DEPTH     = -99;
constexpr int TT_MAX_AGE           = 31;
constexpr std::uint8_t BOUND_UPPER = 1;
constexpr std::uint8_t BOUND_LOWER = 2;
constexpr std::uint8_t BOUND_EXACT = 3;

// One entry as a caller sees it.
struct TTEntry {
    std::uint32_t key_high = 0;
    std::uint32_t check    = 0;
    Move move              = 0;
    std::int16_t score     = 0;
    std::int8_t depth      = 0;
    std::uint8_t bound     = 0;
    std::uint8_t age       = 0;
    std::uint8_t rule50    = 0;
};
static_assert(sizeof(TTEntry) == 16);
static_assert(std::is_trivially_copyable_v<TTEntry>);

// The table itself; sized and owned by tt_allocate.
struct TranspositionTable {
    std::uint64_t* words      = nullptr; // two words per entry
    std::uint32_t entry_count = 0;
    std::uint64_t bytes       = 0; // size of the block words points to
    float hashfull            = 0.0f;
};

extern TranspositionTable transposition_table;

// (Re)creates the table with mb megabytes and records mb as SearchState.hash_mb, the size in
// force. Generates the key table on the first call. When the machine cannot give that much
// memory it returns false and the table in place stays, with its size.
bool tt_allocate(int mb);
// Makes the table mb megabytes. When that cannot be had it says so in an "info string" and
// keeps the table in place, or with none yet takes the largest halving of mb that fits;
// hash_mb then names the size in force and the result is false.
bool tt_resize(int mb);
// Releases the table.
void tt_free();
// Bytes of a table of mb megabytes, spare entries included.
std::uint64_t tt_table_bytes(int mb);
// The largest of mb, mb / 2, mb / 4, ... 0 whose table takes at most budget_bytes.
int tt_largest_fit(int mb, std::uint64_t budget_bytes);
// Zeroes the table, one slice per search thread.
void tt_clear();
// Records a search result of the node at ply (root 1); nothing unless use_hash is set.
void tt_store(const Position& pos, int ply, int depth, Move move, int score, int alpha, int beta);
// Copies the matching entry into `entry`, if any; a copy that fails the check word or whose
// move is not legal here gets a negative depth. The caller presets entry.depth to -10.
void tt_probe(Position& pos, TTEntry& entry);
// Recomputes hashfull from the 1000 entries around the middle of the table.
void tt_hashfull();
// Extends pv from index ply by following hash moves.
void tt_pv_walk(Position& pos, int ply, Move* pv);
// Starts loading the window of key into the cache.
void tt_prefetch(std::uint64_t key);
// Score of an entry read back at ply with the fifty-move damping.
int tt_score_from_entry(const TTEntry& entry, int ply, int rule50);
// True when move could have come from the generator in pos and is legal there.
bool tt_move_is_valid(const Position& pos, Move move);

} // namespace tarn
