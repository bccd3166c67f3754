#pragma once
// Leaf counts of the legal move tree, taken through the same staged picker the search uses, so
// a wrong count points at generation, the picker, legality or make/unmake. The picker belongs to
// the search, a layer above, so the caller hands it in as a MoveSource. Leaves are counted
// without making the last move; nothing else is shortened.

#include <cstdint>

#include "core/board.h"

namespace tarn {

struct ThreadBoard;

constexpr int PERFT_MAX_DEPTH = 20;

// Where perft takes the moves of a node from: `begin(context, side, ply)` prepares the node at
// frame ply with `side` to move, then `next(context)` returns its next entry, or nullptr when it
// has no more. The context is the caller's: the record the picker works for, opaque to perft,
// which knows nothing of how the picker keeps its nodes.
struct MoveSource {
    void (*begin)(void* context, int side, int ply) = nullptr;
    MoveEntry* (*next)(void* context)               = nullptr;
    void* context                                   = nullptr;
};

// Leaves below the board's Position at `depth`, with side to move and the node at frame ply.
std::uint64_t perft(ThreadBoard& td, const MoveSource& moves, int side, int ply, int depth);
// Resets the board's move lists and returns the leaf count at depth (clamped to 0..20; depth
// 0 counts the root as one leaf).
std::uint64_t perft_count(ThreadBoard& td, const MoveSource& moves, int depth);

} // namespace tarn
