#pragma once
// The score scale every subsystem shares: centipawns from the side to move's view, with mate
// and tablebase results at the ends. The root is ply 1, so a side mated at ply p scores
// p - MATE_SCORE and a table win found at ply p scores TB_WIN_SCORE - p; everything from
// MATE_BOUND outward is therefore a mate distance, never an evaluation or a table result.

namespace tarn {

constexpr int MATE_SCORE     = 10000; // mate at ply 0; a mate at ply p is MATE_SCORE - p
constexpr int INFINITY_SCORE = 10001; // one beyond any score: the full window
constexpr int TB_WIN_SCORE   = 9800;  // table win at ply 0; at ply p it is TB_WIN_SCORE - p
constexpr int MATE_BOUND     = 9799;  // |score| at or beyond this is a mate distance
constexpr int EVAL_IN_CHECK  = -9999; // the static evaluation of a side in check (none)

// The info line shows a score as "mate N" from MATE_SHOWN_WIN up and below -MATE_SHOWN_WIN.
constexpr int MATE_SHOWN_WIN = 9900;

// Score of the side to move when it is mated at ply.
constexpr int mated_at(int ply) {
    return ply - MATE_SCORE;
}

} // namespace tarn
