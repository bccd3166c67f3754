#pragma once
// Pawn terms of the hand-crafted evaluation. The pawn-only part (material, tables, isolated,
// backward and doubled pawns) depends on nothing but the pawns and the wing of each king, so
// it is kept per thread in the PawnHashTable; the passed and candidate pawn terms depend on
// the pieces and the attack maps and are computed every time. Pawn sets come from whole-board
// shifts and fills.

#include "core/board.h"
#include "eval/hce.h"

namespace tarn {

// Whole-board shifts and fills.
inline Bitboard shift_east(Bitboard b) {
    return (b << 1) & ~FILE_A;
}
inline Bitboard shift_west(Bitboard b) {
    return (b >> 1) & ~FILE_H;
}
inline Bitboard north_fill(Bitboard b) {
    b |= b << 8;
    b |= b << 16;
    return b | (b << 32);
}
inline Bitboard south_fill(Bitboard b) {
    b |= b >> 8;
    b |= b >> 16;
    return b | (b >> 32);
}
// Squares ahead of the colour's pawns on their files (toward promotion).
inline Bitboard pawn_fronts(Bitboard pawns, int colour) {
    return colour == WHITE ? north_fill(pawns << 8) : south_fill(pawns >> 8);
}
// Squares on the files beside the colour's pawns, ahead of them: every square those pawns
// could ever attack while advancing.
inline Bitboard pawn_attack_span(Bitboard pawns, int colour) {
    const Bitboard front = pawn_fronts(pawns, colour);
    return shift_east(front) | shift_west(front);
}
// Squares attacked by the colour's pawns.
inline Bitboard pawn_attack_map(Bitboard pawns, int colour) {
    const Bitboard up = colour == WHITE ? pawns << 8 : pawns >> 8;
    return shift_east(up) | shift_west(up);
}
// Larger of the file and rank distances.
int king_distance(int a, int b);

// --- queries ---

// Adds the pawn-structure terms to e.score, from the thread's PawnHashTable on a hit (ply 2 or
// more) or computed and stored. Needs e.flip and e.same_wing.
void pawn_structure(const Position& pos, EvalState& state, HceScratch& e, int ply);
// Packed pawn-structure score of one colour, without the cache.
int pawn_structure_score(const Position& pos, const HceScratch& e, int colour);
// Adds the passed and candidate pawn terms to e.score; needs the final attack maps. Marks
// free passed pawns in e.free_passers.
void passed_pawns(const Position& pos, HceScratch& e);

} // namespace tarn
