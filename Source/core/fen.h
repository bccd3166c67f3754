#pragma once
// Setting a Position from FEN text, writing it back, deriving castling data from a castling
// field (standard letters, X-FEN letters and file letters alike), and the board diagram. The
// reader is lenient: it skips what it cannot read and never touches squares off the board.

#include <string>

#include "core/board.h"

namespace tarn {

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
constexpr int FEN_OK            = 0;
constexpr int FEN_OFF_BOARD     = 1; // the board field named squares beyond the board

// Two-character square names, a1 .. h8.
extern const char* const SQUARE_NAMES[64];

// Sets pos from text and clears the game history. Returns FEN_OK, or FEN_OFF_BOARD when the
// board field had more than eight files in a rank or more than eight ranks (those squares are
// ignored).
int parse_fen(Position& pos, const char* text);
// Derives castle_rights, castle_rook, castle_loss and castle_path from a castling field and
// the kings and rooks on the board.
void set_castling(Position& pos, const char* field);
// FEN of pos; with_counters adds rule50 and the number of recorded half-moves.
std::string write_fen(const Position& pos, bool with_counters);
// Board diagram text: the FEN with counters, eight rank lines and the side to move.
std::string board_text(const Position& pos);
// Prints board_text through the output routine.
void show_board(const Position& pos);
// True when the engine can search the position: one king per side, the side not to move not in
// check, no pawn on the first or last rank.
bool position_is_searchable(const Position& pos);

} // namespace tarn
