#pragma once
// Material-driven parts of the hand-crafted evaluation: the trivial endings that are scored
// by formula before anything else (bare minor pieces, king and pawn against king, bishop and
// knight against king, a major piece against a bare king), and the scale factor that pulls
// drawish material combinations toward 0 after the blend.

#include "core/board.h"

namespace tarn {

constexpr int KPK_WIN_BONUS     = 800;
constexpr int KBNK_BASE         = 700;
constexpr int MATING_BASE       = 100;
constexpr float SF_WRONG_BISHOP = 0.05f;

// Piece counts read from a material signature.
struct MaterialCounts {
    int pawns   = 0;
    int knights = 0;
    int bishops = 0;
    int rooks   = 0;
    int queens  = 0;
};

MaterialCounts material_counts(const Position& pos, int colour);

// --- queries ---

// True for a trivial ending, with its score from side's view in `score`.
bool trivial_ending(const Position& pos, int side, int& score);
// Scale factor for the blended score s (white's view) of the position.
float scale_factor(const Position& pos, int s);

} // namespace tarn
