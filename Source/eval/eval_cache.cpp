#include "eval/eval_cache.h"

#include <algorithm>
#include <iterator>

#include "eval/eval_state.h"

namespace tarn {

namespace {

std::uint64_t eval_index(const Position& pos, int side) {
    return (pos.key & EVAL_INDEX_MASK) + static_cast<std::uint64_t>(side);
}

EvalCacheEntry& eval_entry(const Position& pos, EvalState& state, int side) {
    return state.eval_cache.entries[eval_index(pos, side)];
}

} // namespace

bool eval_cache_probe(const Position& pos, EvalState& state, int side, EvalSlot slot, int ply,
                      int& score) {
    const EvalCacheEntry& e = eval_entry(pos, state, side);
    count(state.eval_probes);
    const int stored = slot == SLOT_HCE ? e.hce_score : e.nn_score;
    if (e.key != pos.key || ply < CACHE_MIN_PLY || stored == EMPTY_SLOT)
        return false;
    count(state.eval_hits);
    score = stored;
    return true;
}

void eval_cache_prefetch(const Position& pos, const EvalState& state, int side) {
    __builtin_prefetch(&state.eval_cache.entries[eval_index(pos, side)]);
}

std::uint64_t pawn_hash_of(const Position& pos) {
    std::uint64_t hash = pos.pawn_key;
    if (file_of(pos.king_sq[WHITE]) < 4)
        hash ^= PAWN_WING_WHITE;
    if (file_of(pos.king_sq[BLACK]) < 4)
        hash ^= PAWN_WING_BLACK;
    return hash;
}

bool pawn_hash_probe(EvalState& state, std::uint64_t pawn_hash, int ply, int& white_pawns,
                     int& black_pawns) {
    const PawnHashEntry& e = state.pawn_table.entries[pawn_hash & PAWN_INDEX_MASK];
    count(state.pawn_probes);
    if (e.pawn_hash != pawn_hash || ply < CACHE_MIN_PLY)
        return false;
    count(state.pawn_hits);
    white_pawns = e.white_pawns;
    black_pawns = e.black_pawns;
    return true;
}

void eval_cache_store(const Position& pos, EvalState& state, int side, EvalSlot slot, int score) {
    EvalCacheEntry& e = eval_entry(pos, state, side);
    if (e.key != pos.key) {
        e.key       = pos.key;
        e.hce_score = EMPTY_SLOT;
        e.nn_score  = EMPTY_SLOT;
    }
    if (slot == SLOT_HCE)
        e.hce_score = static_cast<std::int16_t>(score);
    else
        e.nn_score = static_cast<std::int16_t>(score);
}

void pawn_hash_store(EvalState& state, std::uint64_t pawn_hash, int white_pawns, int black_pawns) {
    PawnHashEntry& e = state.pawn_table.entries[pawn_hash & PAWN_INDEX_MASK];
    e.pawn_hash      = pawn_hash;
    e.white_pawns    = white_pawns;
    e.black_pawns    = black_pawns;
}

void eval_caches_clear(EvalState& state) {
    std::fill(std::begin(state.eval_cache.entries), std::end(state.eval_cache.entries),
              EvalCacheEntry{});
    std::fill(std::begin(state.pawn_table.entries), std::end(state.pawn_table.entries),
              PawnHashEntry{});
}

} // namespace tarn
