#include "eval/eval_cache.h"

#include <algorithm>
#include <iterator>

#include "core/thread_data.h"

namespace tarn {

namespace {

std::uint64_t eval_index(const ThreadData& td, int side) {
    return (td.pos.key & EVAL_INDEX_MASK) + static_cast<std::uint64_t>(side);
}

EvalCacheEntry& eval_entry(ThreadData& td, int side) {
    return td.eval_cache.entries[eval_index(td, side)];
}

} // namespace

bool eval_cache_probe(ThreadData& td, int side, EvalSlot slot, int ply, int& score) {
    const EvalCacheEntry& e = eval_entry(td, side);
    count(td.eval_probes);
    const int stored = slot == SLOT_HCE ? e.hce_score : e.nn_score;
    if (e.key != td.pos.key || ply < CACHE_MIN_PLY || stored == EMPTY_SLOT)
        return false;
    count(td.eval_hits);
    score = stored;
    return true;
}

void eval_cache_prefetch(const ThreadData& td, int side) {
    __builtin_prefetch(&td.eval_cache.entries[eval_index(td, side)]);
}

std::uint64_t pawn_hash_of(const Position& pos) {
    std::uint64_t hash = pos.pawn_key;
    if (file_of(pos.king_sq[WHITE]) < 4)
        hash ^= PAWN_WING_WHITE;
    if (file_of(pos.king_sq[BLACK]) < 4)
        hash ^= PAWN_WING_BLACK;
    return hash;
}

bool pawn_hash_probe(ThreadData& td, std::uint64_t pawn_hash, int ply, int& white_pawns,
                     int& black_pawns) {
    const PawnHashEntry& e = td.pawn_table.entries[pawn_hash & PAWN_INDEX_MASK];
    count(td.pawn_probes);
    if (e.pawn_hash != pawn_hash || ply < CACHE_MIN_PLY)
        return false;
    count(td.pawn_hits);
    white_pawns = e.white_pawns;
    black_pawns = e.black_pawns;
    return true;
}

void eval_cache_store(ThreadData& td, int side, EvalSlot slot, int score) {
    EvalCacheEntry& e = eval_entry(td, side);
    if (e.key != td.pos.key) {
        e.key       = td.pos.key;
        e.hce_score = EMPTY_SLOT;
        e.nn_score  = EMPTY_SLOT;
    }
    if (slot == SLOT_HCE)
        e.hce_score = static_cast<std::int16_t>(score);
    else
        e.nn_score = static_cast<std::int16_t>(score);
}

void pawn_hash_store(ThreadData& td, std::uint64_t pawn_hash, int white_pawns, int black_pawns) {
    PawnHashEntry& e = td.pawn_table.entries[pawn_hash & PAWN_INDEX_MASK];
    e.pawn_hash      = pawn_hash;
    e.white_pawns    = white_pawns;
    e.black_pawns    = black_pawns;
}

void eval_caches_clear(ThreadData& td) {
    std::fill(std::begin(td.eval_cache.entries), std::end(td.eval_cache.entries), EvalCacheEntry{});
    std::fill(std::begin(td.pawn_table.entries), std::end(td.pawn_table.entries), PawnHashEntry{});
}

} // namespace tarn
