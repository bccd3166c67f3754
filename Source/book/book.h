#pragma once
// Opening books in the Polyglot format: the book key of a position, the move conversion and
// the probe that picks a weighted random book move. A book is never loaded: every probe opens
// the file, binary-searches it for the position's first entry, reads that position's entries
// and closes it again, so memory use does not depend on the size of the book. A file that
// turns out truncated or out of order while being searched gives no move.
//
// Book entry, 16 bytes, big-endian, sorted by key:
//   offset 0   key     8 bytes  book key of the position before the move
//   offset 8   move    2 bytes  to-file 3 | to-rank 3 | from-file 3 | from-rank 3 | promotion 3
//   offset 10  weight  2 bytes  unsigned
//   offset 12  learn   4 bytes  written as 0, never read
// Castling is stored as the king taking its own rook (e1h1, e1a1, e8h8, e8a8); the promotion
// field is 0 none, 1 knight, 2 bishop, 3 rook, 4 queen.

#include <cstdint>
#include <type_traits>

#include "core/board.h"

namespace tarn {

constexpr int BOOK_RANDOM_KEYS            = 781;
constexpr int BOOK_CASTLE_KEY             = 768; // + 0 white king side .. 3 black queen side
constexpr int BOOK_EP_KEY                 = 772; // + file of the en-passant square
constexpr int BOOK_WHITE_KEY              = 780; // white to move
constexpr int BOOK_ENTRY_BYTES            = 16;
constexpr int BOOK_MAX_CANDIDATES         = 128; // entries of one position read by a probe
constexpr int BOOK_VARIETY_NEUTRAL        = 25;  // OwnBook_Variety that keeps the stored weights
constexpr int BOOK_WEIGHT_SCALE           = 10000;
constexpr int BOOK_PROMOTION_SHIFT        = 12;
constexpr std::uint16_t BOOK_SQUARES_MASK = 0x0FFF;

// The published random keys of the format; BOOK_RANDOM64[i] is key i.
extern const std::uint64_t BOOK_RANDOM64[BOOK_RANDOM_KEYS];

// One book entry as read from or written to a file.
struct BookEntry {
    std::uint64_t key    = 0;
    std::uint16_t move   = 0; // book encoding, see above
    std::uint16_t weight = 0;
    std::uint32_t learn  = 0;
};
static_assert(sizeof(BookEntry) == BOOK_ENTRY_BYTES);
static_assert(std::is_trivially_copyable_v<BookEntry>);

// The entries of one position in file order, as a probe reads them.
struct BookCandidates {
    BookEntry entry[BOOK_MAX_CANDIDATES];
    int count = 0;
};

// What a search of a book file found.
enum BookLookup { BOOK_FOUND, BOOK_ABSENT, BOOK_DAMAGED };

// --- set-up ---

// Sets the probe's random state, as if the first probe had already seeded it (tests and
// repeatable sessions). Without it the first probe seeds from the calendar time.
void book_seed_random(std::uint32_t seed);

// --- queries ---

// The book key of a position (independent of the engine's own Zobrist key).
std::uint64_t book_key(const Position& pos);
// A book move in the engine's encoding; castling and promotions get their flags.
Move from_polyglot(std::uint16_t move);
// An engine move in the book encoding: castling as king takes rook, promotion field set. A
// flagged move from the first or last rank is castling, since no pawn stands there.
std::uint16_t to_polyglot(Move move);
// Entry bytes in file order, and back.
void book_encode_entry(const BookEntry& entry, unsigned char* bytes);
BookEntry book_decode_entry(const unsigned char* bytes);
// Reads the entries of key from the book at path (at most BOOK_MAX_CANDIDATES). BOOK_ABSENT
// also covers a missing or unreadable file and one shorter than an entry; BOOK_DAMAGED (with a
// message) a size that is not a whole number of entries or keys found out of order.
BookLookup book_lookup(const char* path, std::uint64_t key, BookCandidates& found);
// Picks a book move for the side to move from the book at path and prints the candidates
// (UCI: one "info string" line; console: a line per candidate and the choice). Returns 0 when
// path is empty, the file cannot be read or is damaged, the position is not in the book, or
// the chosen move is not legal here.
Move probe_book(Position& pos, const char* path);

// --- use by the front end ---

// The book move for the game position under the OwnBook options, or 0. A move that would
// leave a drawn position is refused; an accepted one is announced ("book move is").
Move book_move_for_game(Position& pos);
// The console "book" command: both books probed with their candidate lists shown.
void book_show_candidates(Position& pos);

} // namespace tarn
