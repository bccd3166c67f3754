#pragma once
// One thread's evaluation state: the engine-side bias of the current search, the two
// evaluation caches, the network's first-layer sums and buffers, and the caches' probe and hit
// counts. A search thread keeps one in its record and hands it to the evaluators beside the
// Position they score, so evaluation needs nothing of the search. Zero-filled with its record;
// kept across searches.

#include "core/thread_board.h"
#include "eval/eval_cache.h"
#include "eval/nn.h"

namespace tarn {

// The engine's own side and whether its bonus for it counts. The search set-up decides it
// before every search and hands it to each thread's state; analysis, with its practically
// unlimited time, gets no bonus.
struct EvalBias {
    bool active = true;  // the bonus applies
    int side    = WHITE; // added for this side's evaluations, subtracted for the other's
};

// The evaluators' per-thread memory and its statistics.
struct EvalState {
    EvalBias bias;            // of the current search
    EvalCache eval_cache;     // whole evaluations; zero-filled, cleared when evaluators change
    PawnHashTable pawn_table; // pawn-structure terms; likewise
    NnThreadState nn;         // buffers made by the first network evaluation
    Counter eval_probes{0};
    Counter eval_hits{0};
    Counter pawn_probes{0};
    Counter pawn_hits{0};
};

} // namespace tarn
