// The book key of a position, the move encoding of book entries and the entry bytes.

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "book/book_support.h"
#include "core/fen.h"
#include "core/notation.h"
#include "support/test_support.h"

namespace tarn {
namespace {

struct KeyRecord {
    std::string fen;
    std::uint64_t key = 0;
    std::string note;
};

std::vector<KeyRecord> key_records() {
    const std::string path = test::test_data_path("polyglot-keys.tsv");
    std::ifstream in(path);
    std::vector<KeyRecord> records;
    if (!in) {
        ADD_FAILURE() << "missing test data file " << path;
        return records;
    }
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        KeyRecord r;
        std::string hex;
        if (!std::getline(fields, r.fen, '\t') || !std::getline(fields, hex, '\t'))
            continue;
        std::getline(fields, r.note);
        r.key = std::strtoull(hex.c_str(), nullptr, 16);
        records.push_back(r);
    }
    return records;
}

// The key table is the published one, entry for entry.
TEST(BookKey, RandomKeysAreThePublishedTable) {
    const std::vector<std::string> lines =
        test::read_lines(test::test_data_path("polyglot-random64.txt"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(BOOK_RANDOM_KEYS));
    for (int i = 0; i < BOOK_RANDOM_KEYS; ++i)
        EXPECT_EQ(BOOK_RANDOM64[i], std::strtoull(lines[i].c_str(), nullptr, 16)) << "key " << i;
}

TEST(BookKey, MatchesEveryPublishedKey) {
    const std::vector<KeyRecord> records = key_records();
    ASSERT_EQ(records.size(), 41u);
    test::ThreadDataHandle td;
    for (const KeyRecord& r : records) {
        const Position& pos = test::set_fen(*td, r.fen.c_str());
        EXPECT_EQ(book_key(pos), r.key) << r.fen << " (" << r.note << ")";
    }
}

TEST(BookKey, FollowsTheMovesOfAGame) {
    // The last published vector, reached by making the moves: the en-passant file counts only
    // while a pawn of the side to move stands beside the pawn that advanced two squares.
    test::ThreadDataHandle td;
    test::set_fen(*td, START_FEN);
    test::play(*td, {"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"});
    EXPECT_EQ(book_key(td->board.pos), 0x5c3f9b829b279560ULL);
}

struct MoveCase {
    const char* fen;
    const char* coord;  // the engine move in coordinate text
    const char* stored; // from- and to-square of the book entry
    int promotion;      // promotion field of the book entry
};

const MoveCase MOVE_CASES[] = {
    {START_FEN, "e2e4", "e2e4", 0},
    {START_FEN, "g1f3", "g1f3", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1g1", "e1h1", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1c1", "e1a1", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8g8", "e8h8", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8c8", "e8a8", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1f1", "e1f1", 0},
    {"8/4P3/8/8/8/8/8/k6K w - -", "e7e8n", "e7e8", 1},
    {"8/4P3/8/8/8/8/8/k6K w - -", "e7e8b", "e7e8", 2},
    {"8/4P3/8/8/8/8/8/k6K w - -", "e7e8r", "e7e8", 3},
    {"8/4P3/8/8/8/8/8/k6K w - -", "e7e8q", "e7e8", 4},
    {"k6K/8/8/8/8/8/1p6/2N5 b - -", "b2c1q", "b2c1", 4},
};

int square_named(const char* text) {
    return (text[0] - 'a') + 8 * (text[1] - '1');
}

// to_polyglot writes each kind of move as the format wants it; from_polyglot reads it back.
TEST(BookMoveEncoding, ConvertsEveryKindOfMoveBothWays) {
    test::ThreadDataHandle td;
    for (const MoveCase& c : MOVE_CASES) {
        Position& pos   = test::set_fen(*td, c.fen);
        const Move move = find_legal_move(pos, parse_coord_move(pos, c.coord));
        ASSERT_NE(move, NULL_MOVE) << c.coord;
        const int expected =
            c.promotion << 12 | square_named(c.stored) << 6 | square_named(c.stored + 2);
        EXPECT_EQ(to_polyglot(move), expected) << c.coord;
        EXPECT_EQ(from_polyglot(static_cast<std::uint16_t>(expected)), move) << c.coord;
    }
}

TEST(BookMoveEncoding, PromotionFieldsPastTheQueenNameNoMove) {
    for (int field = 5; field < 8; ++field)
        EXPECT_EQ(from_polyglot(static_cast<std::uint16_t>(field << 12 | 52 << 6 | 60)), NULL_MOVE);
    EXPECT_EQ(from_polyglot(0), NULL_MOVE);
}

TEST(BookEntryBytes, AreBigEndianInFieldOrder) {
    const BookEntry e{0x0102030405060708ULL, 0x090A, 0x0B0C, 0x0D0E0F10};
    unsigned char bytes[BOOK_ENTRY_BYTES];
    book_encode_entry(e, bytes);
    for (int i = 0; i < BOOK_ENTRY_BYTES; ++i)
        EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
    const BookEntry back = book_decode_entry(bytes);
    EXPECT_EQ(back.key, e.key);
    EXPECT_EQ(back.move, e.move);
    EXPECT_EQ(back.weight, e.weight);
    EXPECT_EQ(back.learn, e.learn);
}

} // namespace
} // namespace tarn
