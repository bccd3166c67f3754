// Building a book from PGN games: which moves are counted, how counts become weights, and the
// file that comes out.

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "book/book.h"
#include "book/book_build.h"
#include "book/book_support.h"
#include "core/fen.h"
#include "core/notation.h"
#include "frontend/engine_process.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using Lines = std::vector<std::string>;

// --- from counts to entries ---

BookStatNode node(Move move, std::uint32_t wins, std::uint32_t draws, std::uint32_t losses) {
    return BookStatNode{42, wins, losses, draws, move, BOOK_NO_NODE};
}

TEST(BookBuildSelection, KeepsMovesThatWonOrDrewOftenEnough) {
    const Move e4 = make_move_code(12, 28), d4 = make_move_code(11, 27);
    // 3 wins + 1 draw = 4 is not above max(1 loss, 4); 4 wins + 1 draw is, raw 4 * 4 + 1.
    const std::vector<BookEntry> out = book_entries_of_key({node(e4, 3, 1, 1), node(d4, 4, 1, 0)});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].key, 42u);
    EXPECT_EQ(out[0].move, to_polyglot(d4));
    EXPECT_EQ(out[0].weight, 17);
    EXPECT_EQ(out[0].learn, 0u);
    // Losses above four raise the bar: 6 wins + 0 draws against 6 losses is not enough.
    EXPECT_TRUE(book_entries_of_key({node(e4, 6, 0, 6)}).empty());
    EXPECT_EQ(book_entries_of_key({node(e4, 6, 1, 6)}).size(), 1u);
}

TEST(BookBuildSelection, ScalesTheHeaviestMoveTo60000) {
    const Move a = make_move_code(12, 28), b = make_move_code(11, 27);
    // raw 4 * 30000 = 120000 gives scale 0.5; raw 4 + 6 = 10 becomes 5.
    const std::vector<BookEntry> out =
        book_entries_of_key({node(b, 1, 6, 0), node(a, 30000, 0, 0)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].move, to_polyglot(a));
    EXPECT_EQ(out[0].weight, BOOK_MAX_WEIGHT);
    EXPECT_EQ(out[1].weight, 5);
}

TEST(BookBuildSelection, NegativeRawWeightIsStoredAsZero) {
    // 10 draws beat 9 losses, but 4 * 0 - 2 * 9 + 10 = -8.
    const std::vector<BookEntry> out =
        book_entries_of_key({node(make_move_code(12, 28), 0, 10, 9)});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].weight, 0);
}

TEST(BookBuildSelection, HeaviestFirstAndNoMoreThanAProbeReads) {
    std::vector<BookStatNode> nodes;
    for (int i = 0; i < 130; ++i) // wins 5..134: raw 20..536, lightest first
        nodes.push_back(node(static_cast<Move>(i + 1), static_cast<std::uint32_t>(5 + i), 0, 0));
    nodes.push_back(node(500, 5, 0, 0)); // ties with the lightest keep their order
    const std::vector<BookEntry> out = book_entries_of_key(nodes);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(BOOK_MAX_CANDIDATES));
    EXPECT_EQ(out.front().weight, 4 * 134);
    for (std::size_t i = 1; i < out.size(); ++i)
        EXPECT_GT(out[i - 1].weight, out[i].weight);
    EXPECT_EQ(out.back().weight, 4 * 7); // the three lightest (two ties among them) are cut
}

// --- reading games ---

std::string game(const std::string& result, const std::string& moves,
                 const std::string& extra_tags = "") {
    return "[Event \"test\"]\n[Result \"" + result + "\"]\n" + extra_tags + "\n" + moves + " " +
           result + "\n\n";
}

std::string times(int n, const std::string& text) {
    std::string all;
    for (int i = 0; i < n; ++i)
        all += text;
    return all;
}

class BookBuild : public ::testing::Test {
protected:
    // Builds a book from PGN text; what it printed goes to `printed`.
    BookBuildCounts build(const std::string& pgn, Lines* printed = nullptr) {
        test::write_text(pgn_path, pgn);
        test::StdoutCapture capture;
        const BookBuildCounts counts =
            build_book_file(td->board, pgn_path.c_str(), book_path.c_str());
        const Lines lines = test::output_lines(capture.take());
        if (printed)
            *printed = lines;
        return counts;
    }
    // Stored squares and weights of the book entries of the position after `moves`.
    std::vector<std::pair<std::string, int>> book_moves(const std::vector<const char*>& moves) {
        test::set_fen(*td, START_FEN);
        test::play(*td, moves);
        const std::uint64_t key = book_key(td->board.pos);
        std::vector<std::pair<std::string, int>> out;
        for (const BookEntry& e : test::read_book(book_path)) {
            if (e.key != key)
                continue;
            std::string text =
                std::string(SQUARE_NAMES[(e.move >> 6) & 63]) + SQUARE_NAMES[e.move & 63];
            if (e.move >> 12)
                text += "nbrq"[(e.move >> 12) - 1];
            out.emplace_back(text, e.weight);
        }
        return out;
    }
    bool mentions(const Lines& lines, const std::string& text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    test::ThreadDataHandle td;
    test::ScratchDir dir;
    const std::string pgn_path  = dir.file("games.pgn");
    const std::string book_path = dir.file("book.bin");
};

using Weights = std::vector<std::pair<std::string, int>>;

TEST_F(BookBuild, CountsResultsFromTheMoversSide) {
    const BookBuildCounts c =
        build(times(5, game("1-0", "1. e4 e5")) + times(5, game("0-1", "1. d4 d5")));
    EXPECT_EQ(c.games, 10);
    EXPECT_EQ(c.nodes, 4);
    EXPECT_EQ(c.entries, 2);
    EXPECT_TRUE(c.written);
    EXPECT_EQ(book_moves({}), (Weights{{"e2e4", 20}})); // white won 5 with e4, lost 5 with d4
    EXPECT_EQ(book_moves({"e2e4"}), Weights{});         // black lost all five
    EXPECT_EQ(book_moves({"d2d4"}), (Weights{{"d7d5", 20}}));

    build(times(5, game("1/2-1/2", "1. e4 e5")) + times(6, game("1-0", "1. d4 d5")) +
          times(5, game("0-1", "1. d4 d5")));
    // e4: 5 draws, raw 5; d4: 6 wins and 5 losses, 6 > max(5, 4), raw 24 - 10 = 14.
    EXPECT_EQ(book_moves({}), (Weights{{"d2d4", 14}, {"e2e4", 5}}));
    EXPECT_EQ(book_moves({"e2e4"}), (Weights{{"e7e5", 5}}));
    EXPECT_EQ(book_moves({"d2d4"}), Weights{}); // d5: 5 wins against 6 losses
}

TEST_F(BookBuild, SetUpAndUnfinishedGamesOnlyCount) {
    const std::string fen_after = "[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n";
    const std::string fen_game  = "[Event \"set up\"]\n[FEN \"8/8/8/8/8/8/8/8 w - - 0 1\"]\n" +
                                 std::string("[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n");
    const BookBuildCounts c =
        build(times(5, game("1-0", "1. e4 e5", fen_after)) + times(5, fen_game) +
              times(5, game("*", "1. e4 e5")) + times(5, game("1-0", "1. c4 e5")));
    EXPECT_EQ(c.games, 20);
    EXPECT_EQ(c.nodes, 2); // c4 and e5 of the last five games
    EXPECT_EQ(book_moves({}), (Weights{{"c2c4", 20}}));
}

TEST_F(BookBuild, CommentsVariationsAndAnnotationsAreNotMoves) {
    const std::string moves = "1. e4 {1... c5 2. Nf3} e5 (1... d5 2. exd5) 2. Nf3 $1 Nc6! 3. Bb5 "
                              "; 3... Nf6 4. O-O\n{ a comment\n[over three lines]\nd6 } 3... a6?!";
    Lines printed;
    const BookBuildCounts c = build(times(5, game("1-0", moves)), &printed);
    EXPECT_EQ(c.nodes, 6); // e4 e5 Nf3 Nc6 Bb5 a6
    EXPECT_FALSE(mentions(printed, "can't parse"));
    EXPECT_EQ(book_moves({"e2e4", "e7e5", "g1f3", "b8c6", "f1b5"}), Weights{});
    EXPECT_EQ(book_moves({"e2e4", "e7e5", "g1f3", "b8c6"}), (Weights{{"f1b5", 20}}));
}

TEST_F(BookBuild, TabsSeparateMovesAsBlanksDo) {
    Lines printed;
    const BookBuildCounts c = build(times(5, game("1-0", "1.\te4\te5\t2.\tNf3")), &printed);
    EXPECT_EQ(c.nodes, 3);
    EXPECT_FALSE(mentions(printed, "can't parse"));
    EXPECT_EQ(book_moves({"e2e4", "e7e5"}), (Weights{{"g1f3", 20}}));
}

TEST_F(BookBuild, MoveNumbersResultsAndMateSignsAreHandled) {
    const std::string moves = "1.e4 1...e5 2.Bc4 Nc6 3. Qh5 3...Nf6 4.Qxf7#";
    Lines printed;
    const BookBuildCounts c = build(times(5, game("1-0", moves)), &printed);
    EXPECT_EQ(c.nodes, 7);
    EXPECT_FALSE(mentions(printed, "can't parse"));
    EXPECT_EQ(book_moves({"e2e4", "e7e5", "f1c4", "b8c6", "d1h5", "g8f6"}),
              (Weights{{"h5f7", 20}}));
}

TEST_F(BookBuild, CastlingIsStoredAsKingTakesRook) {
    const std::string moves = "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O d6 5. d3 Be6 6. Nc3 Qd7 "
                              "7. a3 0-0-0";
    build(times(5, game("1/2-1/2", moves)));
    EXPECT_EQ(book_moves({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "f8c5"}), (Weights{{"e1h1", 5}}));
    EXPECT_EQ(book_moves({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "f8c5", "e1g1", "d7d6", "d2d3",
                          "c8e6", "b1c3", "d8d7", "a2a3"}),
              (Weights{{"e8a8", 5}}));
}

TEST_F(BookBuild, PromotionsKeepTheirPiece) {
    const std::string line = "1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 ";
    build(times(5, game("1-0", line + "5. bxa8=N")) + times(6, game("1-0", line + "5. bxa8=Q+")));
    EXPECT_EQ(book_moves({"e2e4", "d7d5", "e4d5", "c7c6", "d5c6", "g8f6", "c6b7", "b8d7"}),
              (Weights{{"b7a8q", 24}, {"b7a8n", 20}}));
}

TEST_F(BookBuild, TakesThirtySixPliesButReadsTheLastLineToItsEnd) {
    // 34 plies on the first line, 4 on the second (which starts below the limit), more after.
    const std::string moves = "1. c4 Nf6 2. Nc3 e6 3. d4 Bb4 4. e3 O-O 5. Bd3 d5 6. a3 dxc4 "
                              "7. Bxh7+ Kxh7 8. axb4 Nc6 9. Nf3 Nxb4 10. Ne5 Kg8 11. O-O b6 "
                              "12. e4 c5 13. dxc5 Nd7 14. Nxc4 Ba6 15. Rxa6 Nxa6 16. c6 Ndb8 "
                              "17. Qh5 Nxc6\n18. e5 Qd3 19. Nd6 Qg6\n20. Qe2 Nc5 21. Rd1 Rad8";
    const BookBuildCounts c = build(game("1-0", moves));
    EXPECT_EQ(c.nodes, 38);
}

TEST_F(BookBuild, UnreadableMoveEndsItsGameOnly) {
    Lines printed;
    const BookBuildCounts c =
        build(game("1-0", "1. e4 e5 2. Ke3 Nc6 3. Nf3") + game("1-0", "1. d4 d5 2. c4"), &printed);
    EXPECT_EQ(c.nodes, 5); // e4 e5, then d4 d5 c4
    EXPECT_TRUE(
        mentions(printed, "game 1: can't parse move 'Ke3', the rest of the game is skipped"));
}

TEST_F(BookBuild, OverlongTokensAreCut) {
    Lines printed;
    const BookBuildCounts c =
        build(game("1-0", "1. e4 " + std::string(300, 'x') + " e5"), &printed);
    EXPECT_EQ(c.nodes, 1);
    EXPECT_TRUE(mentions(printed, "can't parse move '" + std::string(BOOK_TOKEN_CHARS, 'x') + "'"));
    EXPECT_FALSE(mentions(printed, std::string(BOOK_TOKEN_CHARS + 1, 'x')));
}

TEST_F(BookBuild, WindowsLineEndsReadTheSame) {
    std::string pgn = times(5, game("1-0", "1. e4 e5 2. Nf3 {a\ncomment} Nc6"));
    std::string crlf;
    for (const char ch : pgn)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const BookBuildCounts c = build(crlf);
    EXPECT_EQ(c.games, 5);
    EXPECT_EQ(c.nodes, 4);
    EXPECT_EQ(book_moves({}), (Weights{{"e2e4", 20}}));
}

TEST_F(BookBuild, ReportsProgressAndTotals) {
    Lines printed;
    build(times(2048, "[Result \"*\"]\n") + times(5, game("1-0", "1. e4 e5")), &printed);
    EXPECT_EQ(printed, (Lines{" Creating file " + book_path + " from games in " + pgn_path, "..",
                              "writing book file ...", "ngames= 2053, nmoves= 2",
                              "book contains 1 moves", "done"}));
}

TEST_F(BookBuild, MissingGamesFileIsReported) {
    Lines printed;
    test::StdoutCapture capture;
    const std::string missing = dir.file("absent.pgn");
    const BookBuildCounts c   = build_book_file(td->board, missing.c_str(), book_path.c_str());
    printed                   = test::output_lines(capture.take());
    EXPECT_FALSE(c.written);
    EXPECT_EQ(c.games, 0);
    EXPECT_EQ(printed.back(), "info string can't open " + missing);
}

// A directory or a file without games leaves the book that is already there.
TEST_F(BookBuild, NoGamesLeaveThePreviousBook) {
    build(times(5, game("1-0", "1. e4 e5")));
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes(book_path);
    ASSERT_FALSE(before.empty());

    const std::string folder = dir.file(".");
    BookBuildCounts c;
    Lines printed;
    {
        test::StdoutCapture capture;
        c       = build_book_file(td->board, folder.c_str(), book_path.c_str());
        printed = test::output_lines(capture.take());
    }
    EXPECT_FALSE(c.written);
    EXPECT_EQ(printed.back(), "info string can't open " + folder + ": it is a directory");

    const std::string empty = dir.file("empty.pgn");
    test::write_text(empty, "; nothing here\n[Event \"?\"]\n");
    {
        test::StdoutCapture capture;
        c       = build_book_file(td->board, empty.c_str(), book_path.c_str());
        printed = test::output_lines(capture.take());
    }
    EXPECT_FALSE(c.written);
    EXPECT_EQ(printed.back(), "info string no games in " + empty + ", no book written");
    EXPECT_EQ(bytes(book_path), before);
}

} // namespace
} // namespace tarn
