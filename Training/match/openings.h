#pragma once
// Opening positions for the games: the FEN of each line of an EPD file, or the start position
// and the moves of each game of a PGN file (at most `plies` of them). Every opening is played
// through on the board while it is read, so only playable ones are kept; each line or game
// that is not is reported with its place in the file and skipped. Chess960 start positions
// are numbered 0..959 in the usual way (bishops, queen, knights, then rook, king, rook).

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

constexpr int OPENINGS_EPD       = 0;
constexpr int OPENINGS_PGN       = 1;
constexpr int CHESS960_POSITIONS = 960;

// Where the openings come from and in which order they are used.
struct OpeningsConfig {
    std::string file; // empty: the start position (or random Chess960 positions)
    int format       = OPENINGS_EPD;
    bool random      = false; // shuffled with the match seed, else in file order
    int plies        = 0;     // PGN: moves taken from each game; 0 = all
    int start        = 1;     // first opening used (1-based, after shuffling)
    int random_plies = 0;     // random legal moves added to each opening, the same for both colours
};

// One start of a game: a position and the moves played from it before the engines take over.
struct Opening {
    std::string fen;                // six-field FEN of the first position
    std::vector<std::string> moves; // coordinate text of the opening moves
    std::vector<std::string> sans;  // the same moves in algebraic text
};

// Reads an opening file. Lines or games that cannot be played are reported in warnings and
// skipped. False with a message in error when the file cannot be read or holds no opening.
bool load_openings(const OpeningsConfig& config, std::vector<Opening>& openings,
                   std::vector<std::string>& warnings, std::string& error);
// Order in which the openings are used: 0..count-1, shuffled with seed when random, rotated so
// that it begins at the 1-based start.
std::vector<int> opening_order(int count, bool random, std::uint32_t seed, int start);
// The opening followed by up to plies random legal moves drawn with seed (fewer when a move
// would end the game), so that repeated openings lead to different games.
Opening extend_opening(const Opening& base, int plies, std::uint64_t seed);
// The FEN of Chess960 start position index (0..959; 518 is the standard array). Castling is
// written KQkq: each side has one rook on either wing of its king, so the letters name them.
std::string chess960_fen(int index);

} // namespace tarn
