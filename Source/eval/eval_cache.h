#pragma once
// The two per-thread caches of the evaluators, kept in each thread's EvalState: the EvalCache holds
// whole evaluations (the network score and the hand-crafted score of one position side by
// side, each evaluator owning one slot) and the PawnHashTable holds the pawn-structure terms.
// Both are direct-mapped, always replaced on store, zero-filled with their thread record and
// cleared only when the evaluators change (a new network or parameter table), since what they
// hold is then another evaluation's. Nothing hits at the root (ply 1): root positions are
// always evaluated afresh.
// A store for a new key marks the other slot empty, so that one position's score is never
// handed out for another that happened to take over the entry.

#include <cstdint>

namespace tarn {

struct EvalState;
struct Position;

constexpr int EVAL_CACHE_ENTRIES        = 32768;
constexpr std::uint64_t EVAL_INDEX_MASK = 0x7FFE; // bit 0 of the index is the side to move
constexpr int PAWN_HASH_ENTRIES         = 16384;
constexpr std::uint64_t PAWN_INDEX_MASK = 0x3FFF;
constexpr std::uint64_t PAWN_WING_WHITE = 0x6C43EB52A; // xored in when the white king is on a-d
constexpr std::uint64_t PAWN_WING_BLACK = 0x3E2571CB4; // xored in when the black king is on a-d
constexpr int CACHE_MIN_PLY             = 2;           // plies below this never take a hit
constexpr std::int16_t EMPTY_SLOT       = -32768;      // no score of this evaluator stored

// Which evaluator's slot of an EvalCache entry is read or written.
enum EvalSlot { SLOT_HCE, SLOT_NN };

// One evaluated position:
//   key        8 bytes  Position key (its bit 32 is the side to move)
//   hce_score  2 bytes  hand-crafted score, side to move's view
//   nn_score   2 bytes  network score, side to move's view
struct EvalCacheEntry {
    std::uint64_t key      = 0;
    std::int16_t hce_score = 0;
    std::int16_t nn_score  = 0;
};

// One pawn structure; the scores are packed (mid + 65536 * end).
//   pawn_hash    8 bytes  pawn_key with the two king-wing marks
//   white_pawns  4 bytes
//   black_pawns  4 bytes
struct PawnHashEntry {
    std::uint64_t pawn_hash  = 0;
    std::int32_t white_pawns = 0;
    std::int32_t black_pawns = 0;
};

struct EvalCache {
    EvalCacheEntry entries[EVAL_CACHE_ENTRIES];
};

struct PawnHashTable {
    PawnHashEntry entries[PAWN_HASH_ENTRIES];
};

// --- queries ---

// Counts a probe of the EvalCache for a position with `side` to move. On a hit
// (same key, ply at least 2, slot not empty) counts it, writes the slot's score and returns
// true.
bool eval_cache_probe(const Position& pos, EvalState& state, int side, EvalSlot slot, int ply,
                      int& score);
// Starts loading the EvalCache entry of a position, so that the probe after the
// table lookup does not wait for memory.
void eval_cache_prefetch(const Position& pos, const EvalState& state, int side);
// The pawn_key of a position with the two king-wing marks.
std::uint64_t pawn_hash_of(const Position& pos);
// Counts a probe of the PawnHashTable; on a hit (same pawn_hash and ply at least 2)
// counts it, writes both packed scores and returns true.
bool pawn_hash_probe(EvalState& state, std::uint64_t pawn_hash, int ply, int& white_pawns,
                     int& black_pawns);

// --- changes ---

// Stores the key and one slot. The other evaluator's slot is kept when the key is the same and
// marked empty when the entry held another position.
void eval_cache_store(const Position& pos, EvalState& state, int side, EvalSlot slot, int score);
void pawn_hash_store(EvalState& state, std::uint64_t pawn_hash, int white_pawns, int black_pawns);
// Empties both caches of a thread.
void eval_caches_clear(EvalState& state);

} // namespace tarn
