#pragma once
// The one static-evaluation call of the search: no value in check, the choice between the
// network and the hand-crafted evaluation by material, a small bonus for the side the engine
// plays, and damping toward 0 as the fifty-move counter grows.

#include "core/board.h"
#include "core/score.h"
#include "eval/eval_state.h"

namespace tarn {

// The bias of a search for root_side that aims to take target_time seconds.
EvalBias eval_bias_for(int root_side, double target_time);

// Score of a Position from side's view with the thread's evaluation state; ply is the distance
// from the root (1).
int evaluate(const Position& pos, EvalState& state, int side, int ply, bool in_check);

} // namespace tarn
