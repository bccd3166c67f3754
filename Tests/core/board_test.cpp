#include <gtest/gtest.h>

#include "core/board.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "support/test_support.h"

namespace tarn {
namespace {

TEST(Board, ResetEmptiesButKeepsSideToMove) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K2R b K -");
    reset_position(pos);
    EXPECT_EQ(occupancy(pos), 0u);
    EXPECT_EQ(pos.king_sq[WHITE], NO_SQUARE);
    EXPECT_EQ(pos.king_sq[BLACK], NO_SQUARE);
    EXPECT_EQ(pos.castle_rights, 0);
    EXPECT_EQ(pos.ep_square, NO_SQUARE);
    EXPECT_EQ(td->board.game_ply, 0);
    EXPECT_EQ(td->board.search_ply, 1);
    EXPECT_EQ(pos.side, BLACK);
    for (int sq = 0; sq < 64; ++sq)
        EXPECT_EQ(pos.board[sq], 0);
}

TEST(Board, SetPieceKeepsMaterialAndKingSquare) {
    test::ThreadDataHandle td;
    Position& pos = td->board.pos;
    reset_position(pos);
    set_piece(pos, WHITE, KING, 4);
    EXPECT_EQ(pos.king_sq[WHITE], 4);
    EXPECT_EQ(pos.material_sig[WHITE], 0u);
    set_piece(pos, BLACK, PAWN, 52);
    EXPECT_EQ(pos.material_sig[BLACK], 1u);
    EXPECT_EQ(pos.piece_material[BLACK], 0);
    set_piece(pos, BLACK, QUEEN, 59);
    EXPECT_EQ(pos.material_sig[BLACK], 1u + 65536u);
    EXPECT_EQ(pos.piece_material[BLACK], 10);
    EXPECT_EQ(pos.pieces[8], bit(52) | bit(59));
    EXPECT_EQ(pos.pieces[make_code(BLACK, QUEEN)], bit(59));
}

TEST(Board, StartPositionMaterial) {
    test::ThreadDataHandle td;
    const Position& pos = test::set_fen(*td, START_FEN);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(pos.material_sig[c], 74280u);
        EXPECT_EQ(pos.piece_material[c], 32);
    }
    EXPECT_TRUE(position_is_consistent(pos));
}

TEST(Keys, SideToMoveIsBit32) {
    test::ThreadDataHandle td;
    const std::uint64_t white = test::set_fen(*td, "4k3/8/8/3p4/8/8/8/4K3 w - -").key;
    const std::uint64_t black = test::set_fen(*td, "4k3/8/8/3p4/8/8/8/4K3 b - -").key;
    EXPECT_EQ(white ^ black, std::uint64_t{1} << 32);
    EXPECT_EQ(black & (std::uint64_t{1} << 32), std::uint64_t{1} << 32);
}

TEST(Keys, NoRightsStillCarriesTheRightsKey) {
    test::ThreadDataHandle td;
    const Position& pos             = test::set_fen(*td, "4k3/8/8/8/8/8/8/4K3 w - -");
    const std::uint64_t pieces_only = zobrist_keys[make_code(WHITE, KING) * 64 + 4] ^
                                      zobrist_keys[make_code(BLACK, KING) * 64 + 60];
    EXPECT_EQ(pos.key, with_side_bit(pieces_only ^ zobrist_keys[0], WHITE));
    EXPECT_NE(pos.key, with_side_bit(pieces_only, WHITE));
}

TEST(Keys, PawnKeyCoversPawnsOnly) {
    test::ThreadDataHandle td;
    const std::uint64_t a = test::set_fen(*td, "4k3/p7/8/8/8/8/P7/4K2R w K -").pawn_key;
    const std::uint64_t b = test::set_fen(*td, "3k4/p7/8/8/8/8/P7/R3K3 b - -").pawn_key;
    EXPECT_EQ(a, b);
    EXPECT_NE(a, test::set_fen(*td, "4k3/1p6/8/8/8/8/P7/4K3 w - -").pawn_key);
}

TEST(Keys, GeneratorGivesTheSameTableEveryTime) {
    test::ThreadDataHandle td; // makes sure the table exists
    std::uint64_t first[ZOBRIST_KEYS];
    std::copy(std::begin(zobrist_keys), std::end(zobrist_keys), first);
    generate_keys();
    EXPECT_TRUE(std::equal(std::begin(first), std::end(first), std::begin(zobrist_keys)));
    for (std::uint64_t k : zobrist_keys)
        EXPECT_GE(popcount(k), 24);
}

} // namespace
} // namespace tarn
