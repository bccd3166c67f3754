#include <gtest/gtest.h>

#include "core/fen.h"
#include "search/thread_data.h"
#include "support/test_support.h"

namespace tarn {
namespace {

TEST(Fen, StartPosition) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, START_FEN);
    EXPECT_EQ(pos.castle_rook[0], 7);
    EXPECT_EQ(pos.castle_rook[1], 0);
    EXPECT_EQ(pos.castle_rook[2], 63);
    EXPECT_EQ(pos.castle_rook[3], 56);
    EXPECT_EQ(pos.castle_rights, 15);
    EXPECT_EQ(pos.ep_square, NO_SQUARE);
    EXPECT_EQ(pos.rule50, 0);
    EXPECT_EQ(td->board.game_ply, 0);
    EXPECT_EQ(write_fen(pos, true), std::string(START_FEN) + " 0 0");
}

TEST(Fen, CountersAreNotRead) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K3 b - - 5 20");
    EXPECT_EQ(pos.rule50, 0);
    EXPECT_EQ(td->board.game_ply, 0);
    EXPECT_EQ(pos.side, BLACK);
}

TEST(Fen, EnPassantField) {
    test::ThreadDataHandle td;
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/8/4P3/8/8/4K3 b - e3").ep_square, 20);
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/8/4P3/8/8/4K3 b - -").ep_square, NO_SQUARE);
    // A square no double push can have crossed is not taken.
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/8/8/8/8/4K3 w - e6").ep_square, NO_SQUARE);
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/4p3/8/8/8/4K3 w - e5").ep_square, NO_SQUARE);
}

TEST(Castling, OneRookPerSide) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(pos.castle_rights, 1);
    EXPECT_EQ(pos.castle_path[0], bit(5) | bit(6));
    EXPECT_EQ(pos.castle_loss[0], bit(4) | bit(7));
}

TEST(Castling, WingLetterTakesTheOutermostRook) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K1RR w K -");
    EXPECT_EQ(pos.castle_rights, 1);
    EXPECT_EQ(pos.castle_rook[0], 7);
    const Position& q = test::set_fen(*td, "4k3/8/8/8/8/8/8/RR2K3 w Q -");
    EXPECT_EQ(q.castle_rook[1], 0);
}

TEST(Castling, FileLetters) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, "r3k2r/8/8/8/8/8/8/R3K2R w HAha -");
    EXPECT_EQ(pos.castle_rights, 15);
    EXPECT_EQ(pos.castle_rook[0], 7);
    EXPECT_EQ(pos.castle_rook[3], 56);
    // "B" with the king on d1: file b lies west of the king, so it is the queen side.
    const Position& b = test::set_fen(*td, "3k4/8/8/8/8/8/8/1R1K2R1 w B -");
    EXPECT_EQ(b.castle_rights, 2);
    EXPECT_EQ(b.castle_rook[1], 1);
    // The named file must hold a rook.
    EXPECT_EQ(test::set_fen(*td, "3k4/8/8/8/8/8/8/1R1K2R1 w C -").castle_rights, 0);
}

TEST(Castling, RightsNeedKingOnHomeRank) {
    test::ThreadDataHandle td;
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/8/8/8/4K3/7R w K -").castle_rights, 0);
    EXPECT_EQ(test::set_fen(*td, "4k3/8/8/8/8/8/8/4K3 w KQkq -").castle_rights, 0);
}

TEST(Fen, RoundTripsOfTheSuites) {
    test::ThreadDataHandle td;
    for (const char* file : {"perft-standard.txt", "perft-impossible.txt"}) {
        for (const std::string& fen : test::suite_fens(file)) {
            test::set_fen(*td, fen.c_str());
            std::string first_four = fen;
            std::size_t cut        = 0;
            for (int field = 0; field < 4; ++field)
                cut = first_four.find(' ', cut + 1);
            first_four                = first_four.substr(0, cut);
            const std::string written = write_fen(td->board.pos, false);
            // An en-passant square that no pawn can use is kept; compare the other fields.
            EXPECT_EQ(written, first_four) << fen;
        }
    }
}

TEST(Fen, Chess960RoundTripsKeepTheRights) {
    test::ThreadDataHandle td;
    for (const std::string& fen : test::suite_fens("perft-chess960.txt")) {
        const Position& pos        = test::set_fen(*td, fen.c_str());
        const std::string castling = fen.substr(fen.find(' ', fen.find(' ') + 1) + 1);
        int expected               = 0;
        for (char c : castling.substr(0, castling.find(' ')))
            if (c != '-')
                expected += 1;
        EXPECT_EQ(popcount(pos.castle_rights), expected) << fen;
        ThreadData& other = *test::new_thread_data();
        parse_fen(other.board.pos, write_fen(pos, false).c_str());
        // KQkq letters name the outermost rooks; the suites have one rook per side.
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(other.board.pos.castle_rook[r], pos.castle_rook[r]) << fen;
        EXPECT_EQ(other.board.pos.key, pos.key) << fen;
        thread_data_destroy(&other);
    }
}

// A right whose rook is not the outermost of its wing must keep its file letter, or the FEN
// reads back with the outer rook instead.
TEST(Fen, InnerCastlingRookIsWrittenByItsFile) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, "rr2k1rr/8/8/8/8/8/8/1R2KR1R w FBhb -");
    ASSERT_EQ(pos.castle_rights, 15);
    EXPECT_EQ(write_fen(pos, false), "rr2k1rr/8/8/8/8/8/8/1R2KR1R w FQkb -");
    ThreadData& other = *test::new_thread_data();
    parse_fen(other.board.pos, write_fen(pos, false).c_str());
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(other.board.pos.castle_rook[r], pos.castle_rook[r]) << r;
    EXPECT_EQ(other.board.pos.key, pos.key);
    thread_data_destroy(&other);
}

TEST(Fen, SquaresOffTheBoardAreIgnored) {
    test::ThreadDataHandle td;
    EXPECT_EQ(parse_fen(td->board.pos, "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"),
              FEN_OFF_BOARD);
    EXPECT_EQ(parse_fen(td->board.pos, "8/8/8/8/8/8/8/8/k7/K7 w - -"), FEN_OFF_BOARD);
    EXPECT_EQ(parse_fen(td->board.pos, "8k/8/8/8/8/8/8/K7 w - -"), FEN_OFF_BOARD);
    EXPECT_TRUE(position_is_consistent(td->board.pos));
    EXPECT_EQ(parse_fen(td->board.pos, START_FEN), FEN_OK);
    // Unknown characters are skipped without advancing.
    EXPECT_EQ(parse_fen(td->board.pos, "4k3/8/8/8/8/8/8/4xK3 w - -"), FEN_OK);
    EXPECT_EQ(td->board.pos.king_sq[WHITE], 4);
}

TEST(Fen, SearchablePositions) {
    test::ThreadDataHandle td;
    EXPECT_TRUE(position_is_searchable(test::set_fen(*td, START_FEN)));
    EXPECT_FALSE(position_is_searchable(test::set_fen(*td, "4k3/8/8/8/8/8/8/4KK2 w - -")));
    EXPECT_FALSE(position_is_searchable(test::set_fen(*td, "8/8/8/8/8/8/8/4K3 w - -")));
    EXPECT_FALSE(position_is_searchable(test::set_fen(*td, "4k2P/8/8/8/8/8/8/4K3 w - -")));
    // The side not to move is in check.
    EXPECT_FALSE(position_is_searchable(test::set_fen(*td, "4k3/4R3/8/8/8/8/8/4K3 w - -")));
    EXPECT_TRUE(position_is_searchable(test::set_fen(*td, "4k3/4R3/8/8/8/8/8/4K3 b - -")));
}

TEST(BoardDisplay, Layout) {
    test::ThreadDataHandle td;
    const std::string text     = board_text(test::set_fen(*td, "4k3/p7/8/8/8/8/8/4K3 w - -"));
    const std::string expected = "4k3/p7/8/8/8/8/8/4K3 w - - 0 0\n"
                                 "  - + - + k + - +\n"
                                 "  o - + - + - + -\n"
                                 "  - + - + - + - +\n"
                                 "  + - + - + - + -\n"
                                 "  - + - + - + - +\n"
                                 "  + - + - + - + -\n"
                                 "  - + - + - + - +\n"
                                 "  + - + - K - + -\n"
                                 "white";
    EXPECT_EQ(text, expected);
}

} // namespace
} // namespace tarn
