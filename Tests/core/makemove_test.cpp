#include <gtest/gtest.h>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/run_settings.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// Makes a move the way the search does: the ply's list exists first, so the frames above it
// have their list starts (a null move writes its one-entry list there).
void play(Position& pos, Move m) {
    gen_all(pos);
    make_move(pos, m);
}

// Makes and unmakes every legal move to `depth` plies, checking the incremental state
// against a recomputation and the key predicted by key_after after every make, and the exact
// restore after every unmake.
void walk(ThreadData& td, int depth, const std::string& fen) {
    for (Move m : legal_moves(td.board.pos)) {
        const Position before = td.board.pos;
        const int game_ply = td.board.game_ply, search_ply = td.board.search_ply;
        const std::uint64_t predicted = key_after(td.board.pos, m);
        make_move(td.board.pos, m);
        ASSERT_TRUE(position_is_consistent(td.board.pos)) << fen << " move " << m;
        ASSERT_EQ(td.board.pos.key, predicted) << fen << " move " << m;
        if (depth > 1)
            walk(td, depth - 1, fen);
        unmake_move(td.board.pos);
        ASSERT_TRUE(test::same_position(before, td.board.pos)) << fen << " move " << m;
        ASSERT_EQ(td.board.game_ply, game_ply);
        ASSERT_EQ(td.board.search_ply, search_ply);
    }
}

TEST(MakeMove, StandardSuiteRoundTripsTwoPlies) {
    test::ThreadDataHandle td;
    run_settings.chess960 = 0;
    for (const std::string& fen : test::suite_fens("perft-standard.txt")) {
        test::set_fen(*td, fen.c_str());
        walk(*td, 2, fen);
    }
}

TEST(MakeMove, Chess960SuiteRoundTrips) {
    test::ThreadDataHandle td;
    for (const std::string& fen : test::suite_fens("perft-chess960.txt")) {
        test::set_fen(*td, fen.c_str());
        walk(*td, 1, fen);
    }
}

TEST(MakeMove, CastlingResetsFiftyMoveCounterNullMoveDoesNot) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K2R w K -");
    play(pos, make_move_code(7, 15)); // Rh2
    play(pos, make_move_code(60, 59));
    EXPECT_EQ(pos.rule50, 2);
    gen_all(pos);
    make_null(pos);
    EXPECT_EQ(pos.rule50, 2);
    unmake_null(pos);
    test::set_fen(*td, "4k3/8/8/8/8/8/8/4K2R w K -");
    play(pos, make_move_code(60 - 56, 6, CASTLE_KING));
    EXPECT_EQ(pos.rule50, 0);
    EXPECT_EQ(pos.board[6], make_code(WHITE, KING));
    EXPECT_EQ(pos.board[5], make_code(WHITE, ROOK));
}

TEST(MakeMove, RookLeavingAndReturningLosesTheRightForGood) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "r3k3/8/8/8/8/8/8/4K2R w Kq -");
    make_move(pos, make_move_code(7, 15));
    make_move(pos, make_move_code(60, 59));
    make_move(pos, make_move_code(15, 7));
    EXPECT_EQ(pos.castle_rights & 1, 0);
    EXPECT_EQ(pos.castle_rights & 8, 0); // black's king moved too
    EXPECT_TRUE(position_is_consistent(pos));
    // Capturing the rook on its square removes the opponent's right as well.
    test::set_fen(*td, "r3k3/8/8/8/8/8/8/R3K2R b KQq -");
    make_move(pos, make_move_code(56, 0));
    EXPECT_EQ(pos.castle_rights, 1); // only white king side is left
}

TEST(MakeMove, Chess960KingAlreadyOnItsDestination) {
    test::ThreadDataHandle td;
    // King g1, rook h1: castling moves only the rook, to f1.
    Position& pos = test::set_fen(*td, "6k1/8/8/8/8/8/8/6KR w H -");
    ASSERT_EQ(pos.castle_rights, 1);
    const Position before = pos;
    make_move(pos, make_move_code(6, 6, CASTLE_KING));
    EXPECT_EQ(pos.board[6], make_code(WHITE, KING));
    EXPECT_EQ(pos.board[5], make_code(WHITE, ROOK));
    EXPECT_EQ(pos.board[7], 0);
    EXPECT_TRUE(position_is_consistent(pos));
    unmake_move(pos);
    EXPECT_TRUE(test::same_position(before, pos));
    // Rook on the king's destination: king b1, rook c1 castles queen side to c1/d1.
    test::set_fen(*td, "6k1/8/8/8/8/8/8/1KR5 w C -");
    ASSERT_EQ(pos.castle_rights, 1); // file c lies east of the king: king side
    test::set_fen(*td, "6k1/8/8/8/8/8/8/RK6 w A -");
    ASSERT_EQ(pos.castle_rights, 2);
    make_move(pos, make_move_code(1, 2, CASTLE_QUEEN));
    EXPECT_EQ(pos.board[2], make_code(WHITE, KING));
    EXPECT_EQ(pos.board[3], make_code(WHITE, ROOK));
    EXPECT_EQ(pos.board[0], 0);
    EXPECT_TRUE(position_is_consistent(pos));
}

TEST(MakeMove, EnPassantSquareAfterEveryDoublePush) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, START_FEN);
    make_move(pos, make_move_code(12, 28));
    EXPECT_EQ(pos.ep_square, 20);
    EXPECT_TRUE(position_is_consistent(pos));
    make_move(pos, make_move_code(52, 44)); // single push clears it
    EXPECT_EQ(pos.ep_square, NO_SQUARE);
    EXPECT_TRUE(position_is_consistent(pos));
}

TEST(Draw, RepetitionInsideTheSearchLineCountsOnce) {
    test::ThreadDataHandle td;
    Position& pos     = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K1N1 w - -");
    const Move out[4] = {make_move_code(6, 21), make_move_code(60, 59), make_move_code(21, 6),
                         make_move_code(59, 60)};
    // Played before the root: one repetition is not enough...
    for (Move m : out)
        make_move(pos, m);
    EXPECT_FALSE(is_draw(pos, 1));
    // ...but a third occurrence is.
    for (Move m : out)
        make_move(pos, m);
    EXPECT_TRUE(is_draw(pos, 1));
    // Inside the search line (ply 5: the four moves lie after the root), the first return is.
    test::set_fen(*td, "4k3/8/8/8/8/8/8/4K1N1 w - -");
    for (Move m : out)
        make_move(pos, m);
    EXPECT_TRUE(is_draw(pos, 5));
}

TEST(Draw, NullMoveStopsTheRepetitionScan) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K1N1 w - -");
    play(pos, make_move_code(6, 21));
    play(pos, make_move_code(60, 59));
    gen_all(pos);
    make_null(pos);
    play(pos, make_move_code(59, 60));
    play(pos, make_move_code(21, 6));
    gen_all(pos);
    make_null(pos); // same position as two plies ago only through null moves
    EXPECT_FALSE(is_draw(pos, 6));
}

TEST(Draw, FiftyMoveRule) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K1N1 w - -");
    pos.rule50    = 100;
    EXPECT_FALSE(is_draw(pos, 1));
    pos.rule50 = 101;
    EXPECT_TRUE(is_draw(pos, 1));
    // Outside the search with a legal move available only repetitions count.
    EXPECT_FALSE(is_draw(pos, 0));
    // Without a legal move it is a draw.
    test::set_fen(*td, "k7/2Q5/1K6/8/8/8/8/8 b - -");
    pos.rule50 = 101;
    EXPECT_TRUE(is_draw(pos, 0));
}

} // namespace
} // namespace tarn
