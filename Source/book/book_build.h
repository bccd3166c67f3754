#pragma once
// Building a book from PGN games ("-mkbook"): one pass over the games counts, for every
// position of each game's opening and every move played there, how often the mover won, drew
// and lost. The counts live in 16384 bucket lists chosen by the key's top 14 bits and kept in
// key order, so walking the buckets in order visits the keys in file order and writing the
// book needs no global sort; only the moves of one key are sorted, heaviest first.
//
// Statistics node:
//   key     64 bits  book key of the position before the move
//   wins    32 bits  games the mover won
//   losses  32 bits  games the mover lost
//   draws   32 bits  drawn games
//   move    16 bits  engine encoding
//   next    32 bits  index of the next node of the bucket, or BOOK_NO_NODE

#include <cstdint>
#include <vector>

#include "book/book.h"
#include "core/board.h"

namespace tarn {

struct ThreadBoard;

constexpr const char* BOOK_BUILD_FILE = "tmp_book.bin";
constexpr int BOOK_BUCKETS            = 16384;
constexpr int BOOK_BUCKET_SHIFT       = 50; // key >> 50 is the bucket
constexpr int BOOK_GAME_PLIES         = 36; // moves taken from the start of each game
constexpr int BOOK_MIN_SCORE          = 4;  // wins + draws must exceed max(losses, this)
constexpr int BOOK_MAX_WEIGHT         = 60000;
constexpr int BOOK_TOKEN_CHARS        = 255;  // longer PGN tokens are cut
constexpr int BOOK_DOT_GAMES          = 1024; // a progress dot per this many games
constexpr std::uint32_t BOOK_NO_NODE  = 0xFFFFFFFF;

// Counts of one (position, move) pair.
struct BookStatNode {
    std::uint64_t key    = 0;
    std::uint32_t wins   = 0;
    std::uint32_t losses = 0;
    std::uint32_t draws  = 0;
    Move move            = 0;
    std::uint32_t next   = BOOK_NO_NODE;
};

// What one build did.
struct BookBuildCounts {
    int games    = 0;     // "[Result " lines seen
    int nodes    = 0;     // statistics nodes created
    int entries  = 0;     // entries written
    bool written = false; // the book file was written completely
};

// The entries written for the nodes of one key: moves whose wins and draws exceed
// max(losses, BOOK_MIN_SCORE), weighted 4 wins - 2 losses + draws scaled down so that the
// heaviest stays within BOOK_MAX_WEIGHT, heaviest first, at most BOOK_MAX_CANDIDATES.
std::vector<BookEntry> book_entries_of_key(const std::vector<BookStatNode>& nodes);
// Reads the games of pgn_path on the game record td and writes the book to out_path.
BookBuildCounts build_book_file(ThreadBoard& td, const char* pgn_path, const char* out_path);
// The "-mkbook" run mode: builds "tmp_book.bin" from pgn_path on the game record given.
void build_book(ThreadBoard& game, const char* pgn_path);

} // namespace tarn
