#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "support/test_support.h"

namespace tarn {
namespace {

std::vector<std::string> all_moves(ThreadData& td) {
    std::vector<std::string> out;
    for (MoveEntry* e = gen_all(td.board.pos); e->move != END_OF_LIST; ++e) {
        std::string text = SQUARE_NAMES[move_from(e->move)];
        text += SQUARE_NAMES[move_to(e->move)];
        if (move_flags(e->move)) {
            text += '*';
            text += std::to_string(move_flags(e->move));
        }
        out.push_back(text);
    }
    return out;
}

Move find(ThreadData& td, int from, int to) {
    for (MoveEntry* e = gen_all(td.board.pos); e->move != END_OF_LIST; ++e)
        if (move_from(e->move) == from && move_to(e->move) == to)
            return e->move;
    return NULL_MOVE;
}

TEST(MoveGen, StartPositionOrder) {
    test::ThreadDataHandle td;
    test::set_fen(*td, START_FEN);
    const std::vector<std::string> moves = all_moves(*td);
    ASSERT_EQ(moves.size(), 20u);
    // Pawn single pushes in square order, then double pushes, then knights.
    EXPECT_EQ(moves[0], "a2a3");
    EXPECT_EQ(moves[7], "h2h3");
    EXPECT_EQ(moves[8], "a2a4");
    EXPECT_EQ(moves[15], "h2h4");
    EXPECT_EQ(moves[16], "b1a3");
    EXPECT_EQ(moves[19], "g1h3");
}

TEST(MoveGen, PromotionGroupsInOrder) {
    test::ThreadDataHandle td;
    test::set_fen(*td, "n1n1k3/1P6/8/8/8/8/8/4K3 w - -");
    const std::vector<std::string> moves    = all_moves(*td);
    const std::vector<std::string> expected = {"b7b8*64", "b7b8*128", "b7b8*16384", "b7b8*32768",
                                               "b7a8*64", "b7a8*128", "b7a8*16384", "b7a8*32768",
                                               "b7c8*64", "b7c8*128", "b7c8*16384", "b7c8*32768"};
    ASSERT_GE(moves.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(moves.begin(), moves.begin() + 12), expected);
}

TEST(MoveGen, TargetedCapturesKeepKingCapturesAndEnPassant) {
    test::ThreadDataHandle td;
    // White in check from the knight on d3; e.p. on d6 is open; the king can take on f2.
    Position& pos = test::set_fen(*td, "4k3/8/8/3pP3/8/3n4/5r2/4K1N1 w - d6");
    ASSERT_EQ(checker_of(pos, WHITE), 19);
    MoveEntry list[64];
    MoveEntry* end = gen_captures(pos, WHITE, list, 19);
    std::vector<std::string> got;
    for (MoveEntry* e = list; e != end; ++e)
        got.push_back(std::string(SQUARE_NAMES[move_from(e->move)]) +
                      SQUARE_NAMES[move_to(e->move)]);
    EXPECT_EQ(got, (std::vector<std::string>{"e5d6", "e1f2"}));
    EXPECT_EQ(list[0].captured, 0); // en passant records no captured piece
}

TEST(Legality, CastlingGeneratedThroughCheckButRejected) {
    test::ThreadDataHandle td;
    Position& pos     = test::set_fen(*td, "4k3/8/8/8/8/8/5r2/4K2R w K -");
    const Move castle = find(*td, 4, 6);
    ASSERT_NE(castle, NULL_MOVE);
    EXPECT_EQ(move_flags(castle), CASTLE_KING);
    EXPECT_FALSE(is_legal(pos, WHITE, castle));
    test::set_fen(*td, "4k3/8/8/8/8/8/4r3/4K2R w K -"); // in check
    const Move in_check = find(*td, 4, 6);
    ASSERT_NE(in_check, NULL_MOVE);
    EXPECT_FALSE(is_legal(td->board.pos, WHITE, in_check));
}

TEST(Legality, Chess960CastlingRookDoesNotShieldTheKing) {
    test::ThreadDataHandle td;
    // King e1, queen-side rook b1, enemy rook a1: after castling the king stands on c1 in
    // the a1 rook's line, which the castling rook no longer blocks.
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/rR2K3 w B -");
    ASSERT_EQ(pos.castle_rights, 2);
    const Move castle = find(*td, 4, 2);
    ASSERT_NE(castle, NULL_MOVE);
    EXPECT_FALSE(is_legal(pos, WHITE, castle));
}

TEST(Legality, EnPassantExposingKingAlongRank) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "8/8/8/K2pP2r/8/8/8/7k w - d6");
    const Move ep = find(*td, 36, 43);
    ASSERT_NE(ep, NULL_MOVE);
    EXPECT_FALSE(is_legal(pos, WHITE, ep));
}

TEST(Legality, KingMoves) {
    test::ThreadDataHandle td;
    // The king cannot take the defended rook, nor step back along the checking rook's line.
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/3r4/3rK3 w - -");
    EXPECT_FALSE(is_legal(pos, WHITE, make_move_code(4, 3)));
    test::set_fen(*td, "4k3/8/8/8/8/8/8/r3K3 w - -");
    EXPECT_FALSE(is_legal(td->board.pos, WHITE, make_move_code(4, 5)));
    EXPECT_TRUE(is_legal(td->board.pos, WHITE, make_move_code(4, 12)));
    test::set_fen(*td, "4k3/8/8/8/8/8/8/3rK3 w - -");
    EXPECT_TRUE(is_legal(td->board.pos, WHITE, make_move_code(4, 3)));
}

// The pin shortcut gives is_legal's answer for every pseudo-legal move of a side not in check,
// over the perft suites and every position one legal move later.
TEST(Legality, PinShortcutAgreesWithTheFullTest) {
    test::ThreadDataHandle td;
    int compared = 0, by_pinned = 0;
    const auto compare = [&](Position& pos) {
        if (checker_of(pos, pos.side) != NO_SQUARE)
            return;
        const Bitboard pinned = pinned_pieces(pos, pos.side);
        for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e) {
            if (!e->move)
                continue;
            ASSERT_EQ(is_legal_not_in_check(pos, pos.side, e->move, pinned),
                      is_legal(pos, pos.side, e->move))
                << write_fen(pos, false) << " move " << e->move;
            ++compared;
            by_pinned += (pinned & bit(move_from(e->move))) != 0;
        }
    };
    test::visit_suite_positions_and_children(*td, {"perft-standard.txt", "perft-chess960.txt"},
                                             compare);
    EXPECT_GT(compared, 100000);
    EXPECT_GT(by_pinned, 1000);
}

TEST(Legality, PinnedPiecesAlongLinesAndDiagonals) {
    test::ThreadDataHandle td;
    // The e4 knight (rook behind it) and the d2 bishop (queen behind it) are pinned; the g3
    // and f2 pawns together shield the king from the h4 bishop, so neither is.
    Position& pos = test::set_fen(*td, "4r2k/8/8/q7/4N2b/6P1/3B1P2/4K3 w - -");
    EXPECT_EQ(pinned_pieces(pos, WHITE), bit(28) | bit(11));
    EXPECT_EQ(pinned_pieces(pos, BLACK), Bitboard{0});
}

TEST(Attacks, FirstAttackerPrefersPawnOverQueen) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/2p5/3K4/8/8/3q4 w - -");
    EXPECT_EQ(first_attacker(pos, 27, BLACK, occupancy(pos)), 34);
    // least_valuable_attacker ignores pieces outside the occupancy given.
    EXPECT_EQ(least_valuable_attacker(pos, 27, BLACK, occupancy(pos) & ~bit(34)), 3);
}

TEST(Attacks, SliderRaysStopAtBlockers) {
    test::ThreadDataHandle td;
    EXPECT_EQ(rook_attacks(0, 0), (Bitboard{0x01010101010101FE}));
    EXPECT_EQ(rook_attacks(0, bit(16) | bit(2)), bit(8) | bit(16) | bit(1) | bit(2));
    EXPECT_EQ(bishop_attacks(63, 0), (Bitboard{0x0040201008040201}));
    EXPECT_EQ(bishop_attacks(27, bit(45)), bishop_attacks(27, 0) & ~bit(54) & ~bit(63));
    EXPECT_EQ(between(0, 63), (Bitboard{0x0040201008040200}));
    EXPECT_EQ(between(0, 17), 0u);
    EXPECT_EQ(between(0, 1), 0u);
}

} // namespace
} // namespace tarn
