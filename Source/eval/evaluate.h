#pragma once
// The one static-evaluation call of the search: no value in check, the choice between the
// network and the hand-crafted evaluation by material, a small bonus for the side the engine
// plays, and damping toward 0 as the fifty-move counter grows.

#include "core/score.h"

namespace tarn {

struct ThreadData;

// Score of the thread's Position from side's view; ply is the distance from the root (1).
int evaluate(ThreadData& td, int side, int ply, bool in_check);

} // namespace tarn
