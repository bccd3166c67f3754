#include <gtest/gtest.h>

#include "eval/eval_params.h"
#include "eval/eval_support.h"
#include "eval/hce.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// Term tests: most isolate one weight (1000 / 0, every other weight 0), so that a colour's
// packed score counts exactly the occurrences of that term.
class HceTermTest : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    void TearDown() override { init_eval_params(); }
    test::ThreadDataHandle td;

    // Packed score of each colour with only `param` in force.
    int white_only(int param, const char* fen) {
        test::isolate_param(param);
        return test::terms_of(*td, fen).score[WHITE];
    }
    int black_only(int param, const char* fen) {
        test::isolate_param(param);
        return test::terms_of(*td, fen).score[BLACK];
    }
};

class HceMaterial : public HceTermTest {};
class HceMobility : public HceTermTest {};
class HceKingSafety : public HceTermTest {};
class HceThreats : public HceTermTest {};

TEST_F(HceMaterial, BishopPairNeedsBothSquareColours) {
    EXPECT_EQ(white_only(BISHOP_PAIR, "4k3/8/8/8/8/8/8/2B1KB2 w - -"), 1000);
    EXPECT_EQ(white_only(BISHOP_PAIR, "4k3/8/8/8/8/8/8/2B1K1B1 w - -"), 0);
}

TEST_F(HceMaterial, ImbalanceGoesToTheLonePiece) {
    EXPECT_EQ(white_only(MTL_IMBALANCE, "4k3/8/8/2nb4/8/8/8/R3K3 w - -"), 1000);
    EXPECT_EQ(black_only(MTL_IMBALANCE, "4k3/8/8/2nb4/8/8/8/R3K3 w - -"), 0);
    EXPECT_EQ(white_only(MTL_IMBALANCE, "4k3/8/8/2n5/8/8/8/R3K3 w - -"), 0);
}

TEST_F(HceMaterial, SideToMoveGetsTheBonus) {
    EXPECT_EQ(black_only(STM_BONUS, "4k3/8/8/8/8/8/8/4K3 b - -"), 1000);
    EXPECT_EQ(white_only(STM_BONUS, "4k3/8/8/8/8/8/8/4K3 b - -"), 0);
}

TEST_F(HceMaterial, PieceTablesFollowTheKingsWings) {
    const int same = test::terms_of(*td, "6k1/8/8/8/3N4/8/8/6K1 w - -").section[SEC_KNIGHTS][WHITE];
    const int other =
        test::terms_of(*td, "1k6/8/8/8/3N4/8/8/6K1 w - -").section[SEC_KNIGHTS][WHITE];
    const int d4 = 27;
    EXPECT_EQ(other - same, pst_value(PST_N2, d4) - pst_value(PST_N1, d4));
}

TEST_F(HceMobility, KnightCountsOnlySafeSquares) {
    EXPECT_EQ(white_only(KNIGHT_MOBILITY, "4k3/8/8/8/8/8/8/N3K3 w - -"), 0); // b3, c2
    EXPECT_EQ(white_only(KNIGHT_MOBILITY, "4k3/8/8/8/p7/8/8/N3K3 w - -"),
              test::isolated_weight(-0.16f)); // b3 is held by a pawn
    EXPECT_EQ(white_only(KNIGHT_MOBILITY, "4k3/8/8/8/p7/8/2P5/N3K3 w - -"),
              test::isolated_weight(-0.53f)); // and c2 is taken
}

TEST_F(HceMobility, SlidersSeeThroughTheirBatteries) {
    // Each rook sees the whole a-file in the enemy half through the other.
    EXPECT_EQ(white_only(ROOK_INFILTRATION, "4k3/8/8/8/8/8/R7/R3K3 w - -"), 8000);
    // The bishop sees c3-f6 through its queen.
    EXPECT_EQ(white_only(BISHOP_INFILTRATION, "4k3/8/8/8/8/2Q5/1B6/4K3 w - -"), 4000);
}

TEST_F(HceMobility, RookOnAnOpenFileAndOnTheSeventh) {
    EXPECT_EQ(white_only(ROOK_7TH, "6k1/R7/8/8/8/8/8/4K3 w - -"), 1000);
    EXPECT_EQ(white_only(ROOK_7TH, "8/R7/6k1/8/8/8/8/4K3 w - -"), 0);
    EXPECT_EQ(white_only(ROOK_OPENFILE, "6k1/R7/8/8/8/8/8/4K3 w - -"), 1000);
    EXPECT_EQ(white_only(ROOK_OPENFILE, "6k1/R7/8/p7/8/8/8/4K3 w - -"), 0);
}

TEST_F(HceMobility, QueenBatteriesCountTwice) {
    const HceScratch e = test::terms_of(*td, "4k3/8/8/8/8/8/2B5/3QK3 w - -");
    EXPECT_TRUE(e.twice[WHITE] & bit(17));  // b3: bishop, and the queen behind it
    EXPECT_FALSE(e.twice[WHITE] & bit(35)); // d5: the queen alone
}

TEST_F(HceKingSafety, ShieldCountsCoveredSquaresAhead) {
    EXPECT_EQ(white_only(PAWN_SHIELD, "3qk3/8/8/8/8/8/5PPP/6K1 w - -"), 0);
    EXPECT_EQ(white_only(PAWN_SHIELD, "3qk3/8/8/8/8/8/5PP1/6K1 w - -"),
              test::isolated_weight(static_cast<float>(-3 * 0.111)));
    // Against little material the shield does not count.
    EXPECT_EQ(white_only(PAWN_SHIELD, "3rk3/8/8/8/8/8/5PP1/6K1 w - -"), 0);
}

TEST_F(HceKingSafety, CountsSafeChecks) {
    // The knight can check on f3 and h3 once g2 has gone.
    EXPECT_EQ(white_only(ENEMY_CHECKS, "b3k3/8/8/6n1/8/8/5P1P/n5K1 w - -"), 2000);
    EXPECT_EQ(white_only(ENEMY_CHECKS, "b3k3/8/8/6n1/8/8/5PPP/n5K1 w - -"), 0);
}

TEST_F(HceKingSafety, DangerWeightDependsOnTheAttackersQueen) {
    const char* no_queen   = "6k1/8/8/8/6n1/7r/5PPP/6K1 w - -";
    const char* with_queen = "q5k1/8/8/8/6n1/7r/5PPP/6K1 w - -";
    EXPECT_GT(white_only(KING_DANGER2, no_queen), 0);
    EXPECT_EQ(white_only(KING_DANGER1, no_queen), 0);
    EXPECT_GT(white_only(KING_DANGER1, with_queen), 0);
    EXPECT_EQ(white_only(KING_DANGER2, with_queen), 0);
    init_eval_params();
    const auto king = [&](const char* fen) {
        const HceScratch e = test::terms_of(*td, fen);
        return hce_blend(e.section[SEC_KING][WHITE], e.phase);
    };
    EXPECT_LT(king("6k1/8/8/8/6nq/8/5PPP/6K1 w - -"), king("qn4k1/8/8/8/8/8/5PPP/6K1 w - -"));
}

TEST_F(HceKingSafety, PawnsNextToTheZoneAddDanger) {
    // g4 stands one step from the zone f1-h3; g5 two.
    const int near = white_only(KING_DANGER1, "q5k1/8/8/8/5np1/8/6P1/6K1 w - -");
    const int far  = white_only(KING_DANGER1, "q5k1/8/8/6p1/5n2/8/6P1/6K1 w - -");
    EXPECT_GT(far, 0);
    EXPECT_GT(near, far);
}

TEST_F(HceKingSafety, TrappedKingAndDistanceToPawnPaths) {
    EXPECT_EQ(white_only(KING_TRAPPED, "4k3/8/8/8/8/8/6PP/6RK w - -"), 1000);
    EXPECT_EQ(white_only(KING_TRAPPED, "4k3/8/8/8/8/8/6PP/7K w - -"), 0);
    EXPECT_EQ(white_only(KING_PAWN_DIST, "7k/8/8/8/8/8/7P/K7 w - -"), 1000);
    EXPECT_EQ(white_only(KING_PAWN_DIST, "7k/8/8/8/8/8/7P/6K1 w - -"), test::isolated_weight(0.2f));
    EXPECT_EQ(black_only(KING_PAWN_DIST, "7k/8/8/8/8/8/7P/K7 w - -"), 0); // on the path
}

TEST_F(HceThreats, HangingAndAttackedPawns) {
    const char* hanging  = "4k3/8/5n2/8/4P3/8/8/4K3 w - -";
    const char* defended = "4k3/8/5n2/8/4P3/8/5N2/4K3 w - -";
    EXPECT_EQ(white_only(HUNG_PAWN, hanging), 1000);
    EXPECT_EQ(test::terms_of(*td, hanging).hung, bit(28));
    EXPECT_EQ(white_only(HUNG_PAWN, defended), 0);
    EXPECT_EQ(white_only(ATTACKED_PAWN, defended), 1000);
}

TEST_F(HceThreats, MinorsAttackedByPawnsHangEvenWhenDefended) {
    const char* fen = "4k3/8/4p3/3N4/2P5/8/8/4K3 w - -";
    EXPECT_EQ(white_only(HUNG_MINOR, fen), 1000);
    EXPECT_EQ(white_only(ATTACKED_MINOR, fen), 0);
    const char* piece_cover = "2r1k3/8/8/8/2B5/8/1N6/4K3 w - -";
    EXPECT_EQ(white_only(HUNG_MINOR, piece_cover), 0);
    EXPECT_EQ(white_only(ATTACKED_MINOR, piece_cover), 1000);
}

TEST_F(HceThreats, MajorAttackedByAMinorHangs) {
    EXPECT_EQ(white_only(HUNG_MAJOR, "4k3/8/8/8/8/2b5/8/R4K2 w - -"), 1000);
}

TEST_F(HceThreats, SafePawnPushesThreatenPieces) {
    EXPECT_EQ(black_only(PPUSH_THREAT, "4k3/8/3r1r2/8/4P3/8/8/4K3 w - -"), 2000);
    EXPECT_EQ(black_only(PPUSH_THREAT, "4k3/8/2nr1r2/8/4P3/8/8/4K3 w - -"), 0); // e5 unsafe
    // A double step counts even when the square it passes is attacked.
    EXPECT_EQ(black_only(PPUSH_THREAT, "4k3/8/8/3n1n2/8/8/4P3/4K3 w - -"), 2000);
}

TEST_F(HceThreats, PinsToTheKingAndTheQueen) {
    EXPECT_EQ(white_only(PINNED_PIECE, "4r1k1/8/8/8/8/8/4N3/4K3 w - -"), 1000);
    EXPECT_EQ(white_only(PINNED_PIECE, "4r1k1/8/8/8/8/4P3/4N3/4K3 w - -"), 0);
    EXPECT_EQ(white_only(PINNED_PIECE, "3r2k1/8/8/8/8/3B4/8/3QK3 w - -"), 1000);
    // Of several queens the one nearest its own back rank counts, for either colour.
    EXPECT_EQ(black_only(PINNED_PIECE, "q3k3/8/8/n7/8/8/8/R3K2q w - -"), 1000);
    EXPECT_EQ(white_only(PINNED_PIECE, "r3k2Q/8/8/8/N7/8/8/Q3K3 b - -"), 1000);
    // Only bishops and rooks pin to a queen.
    EXPECT_EQ(white_only(PINNED_PIECE, "3q2k1/8/8/8/8/3B4/8/3QK3 w - -"), 0);
}

} // namespace
} // namespace tarn
