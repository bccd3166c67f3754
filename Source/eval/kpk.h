#pragma once
// King and pawn against king: a table that tells, for every placement and side to move,
// whether the side with the pawn wins with best play. It is solved once at start-up by
// retrograde passes over a normalised layout in which the pawn belongs to the attacker, moves
// up the board and stands on files a-d; a position of either colour is first brought into that
// layout. A promotion counts as a win when the new queen or rook can neither be taken nor
// leaves the defender stalemated.

#include <cstdint>

namespace tarn {

constexpr int KPK_PAWN_SQUARES = 32; // pawn index = file (0-3) + 4 * rank
constexpr int KPK_ENTRIES      = 2 * KPK_PAWN_SQUARES * 64 * 64;
constexpr std::uint8_t KPK_WIN = 2; // win for the pawn side; every other entry reads 1

// Squares of a king-and-pawn ending in the normalised layout.
struct KpkSquares {
    int attacker_king = 0;
    int defender_king = 0;
    int pawn          = 0;
};

// --- set-up ---

// Solves the table; called once at start-up, read-only afterwards.
void kpk_init();

// --- queries ---

// Index of a normalised placement: defender_to_move * 131072 + pawn index * 4096 +
// attacker king * 64 + defender king.
int kpk_index(const KpkSquares& sq, bool defender_to_move);
// The table entry (KPK_WIN or 1) at an index.
std::uint8_t kpk_entry(int index);
// Brings a position whose only pawn belongs to `strong` into the normalised layout: for a
// black pawn the board is turned half round, then mirrored left-right when the pawn stands on
// files e-h.
KpkSquares kpk_normalise(int strong, int strong_king, int weak_king, int pawn);
// True when the side with the pawn wins; side is the colour to move.
bool kpk_is_win(int strong, int strong_king, int weak_king, int pawn, int side);

} // namespace tarn
