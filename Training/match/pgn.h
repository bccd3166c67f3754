#pragma once
// PGN games as the runner writes and reads them. A game is its tags in order, its moves in
// algebraic text each with an optional comment, and its result. The writer puts the move
// numbers in (from the FEN tag's side and move number when there is one), keeps lines within
// 79 characters and never splits a move from its comment. The reader takes any export-format
// game: it skips variations, NAGs, ';' and '%' comment lines, and leaves checking the moves to
// the caller.

#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace tarn {

constexpr std::size_t PGN_LINE_WIDTH = 79;

// One move of the movetext with the comment that follows it (without braces).
struct PgnMove {
    std::string san;
    std::string comment;
};

// One game.
struct PgnGame {
    std::vector<std::pair<std::string, std::string>> tags; // in the order they are written
    std::vector<PgnMove> moves;
    std::string final_comment; // after the last move, before the result
    std::string result = "*";
};

// --- set-up and queries ---

// Sets a tag, replacing an existing one of that name or adding it at the end.
void pgn_set_tag(PgnGame& game, const std::string& name, const std::string& value);
// Value of a tag, or "" when the game has none.
std::string pgn_tag(const PgnGame& game, const std::string& name);

// --- writing and reading ---

// The game in export form, ending with a blank line.
std::string pgn_write(const PgnGame& game);
// Reads the next game from in. False at the end of input; a game whose text is damaged is
// still returned as far as it could be read, with a message in error. line counts the lines
// read so far, for messages.
bool pgn_read(std::istream& in, PgnGame& game, std::string& error, int& line);

} // namespace tarn
