#pragma once
// Operations on the game record kept in the main thread's record: setting a position that
// the engine can search, playing and taking back moves with the kept moves of "]", and the
// console's game files (a game from a PGN file, "tmp.pgn", "test.epd") and position editor.

#include <istream>
#include <string>

#include "core/board.h"
#include "search/search_state.h"

namespace tarn {

// The limits the front end hands to each search of the game: the clocks carried from move to
// move and the depth, nodes or time a move that switches, "go" and the console's settings
// choose. search_setup takes a copy, so a search never changes them.
extern SearchLimits game_limits;

constexpr const char* SAVE_FILE_NAME = "tmp.pgn";
constexpr const char* EPD_FILE_NAME  = "test.epd";

// Sets the game from FEN text when the engine can search that position; otherwise prints
// "info string invalid position" and keeps the game as it was.
bool set_game_fen(const char* fen);
// Plays a legal move on the game record.
void game_play(Move move);
// Takes the last move of the game back; the move stays kept for "]". False at the start.
bool game_take_back();
// Replays the move kept at the current ply, if any legal one is kept. Returns it, or 0.
Move game_replay_kept();
// Loads the first game of a PGN file, or the game whose text contains tag.
void load_game(const std::string& file, const std::string& tag);
// Reads the first game of a PGN text, or the game whose text contains tag, onto the game
// record. False when it stopped at a move it could not read ("can't parse move '%s'") or at
// a position the engine cannot search.
bool read_game(std::istream& in, const std::string& tag);
// Appends the game's moves in algebraic notation to "tmp.pgn".
void save_game();
// Sets the position from the record of "test.epd" with the given id, shows the board and
// clears the transposition table.
void get_epd(const std::string& id);
// Reads edit lines from standard input until "." or the end of input.
void edit_position();
// Takes every move back, then replays kept moves up to the position before move number n.
void jump_to(int n);
// Prints the principal variation stored in the transposition table, then the board at its
// end.
void show_table_pv();

} // namespace tarn
