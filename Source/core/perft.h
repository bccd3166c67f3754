#pragma once
// Leaf counts of the legal move tree, taken through the same staged picker the search uses, so
// a wrong count points at generation, the picker, legality or make/unmake. Leaves are counted
// without making the last move; nothing else is shortened.

#include <cstdint>

namespace tarn {

struct ThreadData;

constexpr int PERFT_MAX_DEPTH = 20;

// Adds the leaves below the thread's Position at `depth` to the thread's node counter.
void perft(ThreadData& td, int side, int ply, int depth);
// Resets the thread's move lists and ordering tables and returns the leaf count at depth
// (clamped to 0..20; depth 0 counts the root as one leaf).
std::uint64_t perft_count(ThreadData& td, int depth);

} // namespace tarn
