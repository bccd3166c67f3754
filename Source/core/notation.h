#pragma once
// Move text. Moves are written in coordinate form (the UCI wire form; "=Q" style promotions on
// the console; king-takes-rook castling in Chess960) and in algebraic notation with two
// qualified forms beside it. Reading algebraic text generates the legal moves and compares
// texts, so the reader accepts exactly what the writer produces.

#include <string>

#include "core/board.h"

namespace tarn {

// The four texts of one move; each carries "+" when the move gives check.
struct MoveTexts {
    std::string coord;     // e2e4, e7e8=Q; castling as king destination and king takes rook
    std::string san;       // Nf3, exd5, e8=Q, o-o
    std::string file_form; // piece + from-file (Ngf3); pawns: from-file + to-file (ed)
    std::string rank_form; // piece + from-rank (N1f3); castling: the other coordinate form
};

// How moves are written: the protocol's form of a promotion and the variant's form of castling.
struct MoveStyle {
    bool uci      = true;  // promotions as e7e8q; false: e7e8=Q, as the console writes them
    bool chess960 = false; // castling as king takes rook
};

// The style of this run: its protocol and whether it plays Chess960 (RunSettings).
MoveStyle run_move_style();

// Coordinate text of a move by side ("null" for the null move).
std::string move_to_coord(const Position& pos, int side, Move move, MoveStyle style);
// The four texts of a move of the side to move, written before the move is made.
MoveTexts move_to_san(Position& pos, Move move, MoveStyle style);
// Move named by coordinate text, without a legality test; 0 when the text is not four to five
// characters naming squares on the board.
Move parse_coord_move(const Position& pos, const char* text);
// The legal move of the side to move that `candidate` (as parse_coord_move reads it) names:
// castling matches on king and wing, a pawn reaching the last rank without a piece letter
// promotes to a queen. 0 when no legal move matches.
Move find_legal_move(Position& pos, Move candidate);
// Reads any of the four forms. Returns true and sets result when exactly one legal move of the
// side to move matches; prints "ambiguous move" when two match. The texts compared are the
// ones move_to_san writes in the given style.
bool parse_move(Position& pos, const char* text, Move& result, MoveStyle style);

} // namespace tarn
