#pragma once
// Pseudo-legal move generation into the thread's per-ply move stack, and the legality test.
// Generators never allocate and never test the own king's safety: is_legal does that for each
// move before it is made. Captures onto the last rank are promotions and come from the
// promotion step (gen_promotions), not from gen_captures.

#include <vector>

#include "core/board.h"

namespace tarn {

// Appends captures for colour at list and returns the new end. target 64 means every capture;
// otherwise only captures of the piece on target, plus every king capture and en passant.
MoveEntry* gen_captures(const Position& pos, int colour, MoveEntry* list, int target);
// Appends non-captures (castling included). target 64 means all; otherwise non-king moves
// only onto squares between the own king and target.
MoveEntry* gen_quiets(const Position& pos, int colour, MoveEntry* list, int target);
// Appends promotions by push and by capture; all four pieces when `all_pieces`, else queens.
MoveEntry* gen_promotions(const Position& pos, int colour, MoveEntry* list, bool all_pieces);
// Appends single pushes from the sixth rank to the seventh (seen from colour).
MoveEntry* gen_seventh_pushes(const Position& pos, int colour, MoveEntry* list);
// Complete pseudo-legal list of the side to move in the current ply's frame, terminated.
// Returns the first entry (the frame's list_start).
MoveEntry* gen_all(Position& pos);
// True when a pseudo-legal move of colour does not leave its own king attacked.
bool is_legal(const Position& pos, int colour, Move move);
// Pieces of colour that alone stand between their king and an enemy slider's line.
Bitboard pinned_pieces(const Position& pos, int colour);
// is_legal for a colour that is not in check, with its pinned pieces given: a move of a piece
// that is not pinned is legal unless the king moves or the move is en passant.
inline bool is_legal_not_in_check(const Position& pos, int colour, Move move, Bitboard pinned) {
    const int from = move_from(move);
    const int type = type_of(pos.board[from]);
    if (!(pinned & bit(from)) && type != KING && (type != PAWN || move_to(move) != pos.ep_square))
        return true;
    return is_legal(pos, colour, move);
}
// The legal moves of the side to move, generated in the current ply's frame. For the tools
// and tests that walk games move by move; the search keeps to the frames and never allocates.
std::vector<Move> legal_moves(Position& pos);
// True when the move is castling (flags set and a king moves).
inline bool is_castling(const Position& pos, Move move) {
    return move_flags(move) && type_of(pos.board[move_from(move)]) == KING;
}

} // namespace tarn
