#include <gtest/gtest.h>

#include "eval/eval_params.h"
#include "eval/eval_support.h"
#include "eval/hce.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class HcePawnTest : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    void TearDown() override { init_eval_params(); }
    test::ThreadDataHandle td;

    int only(int param, const char* fen, int colour) {
        test::isolate_param(param);
        return test::terms_of(*td, fen).score[colour];
    }
};

class HcePawns : public HcePawnTest {};
class HcePassers : public HcePawnTest {};

constexpr int D4 = 27;
constexpr int E4 = 28;

TEST_F(HcePawns, CountsIsolatedBackwardAndDoubledPawns) {
    const char* scattered = "4k3/8/8/8/4P3/2P5/P1P5/4K3 w - -";
    EXPECT_EQ(only(PAWN_ISOLATED, scattered, WHITE), 4000);
    EXPECT_EQ(only(PAWN_DOUBLED, scattered, WHITE), 1000); // the front pawn of the pair
    EXPECT_EQ(only(PAWN_WEAK, scattered, WHITE), 0);
    EXPECT_EQ(only(PAWN_WEAK, "4k3/8/8/8/3P4/4P3/8/4K3 w - -", WHITE), 1000); // e3
    EXPECT_EQ(only(PAWN_WEAK, "4k3/8/4p3/3p4/8/8/8/4K3 b - -", BLACK), 1000); // e6
    EXPECT_EQ(only(PAWN_BLOCKED, "4k3/8/8/8/4n3/4P3/8/4K3 w - -", WHITE), 1000);
}

TEST_F(HcePawns, StartingPositionHasNoWeakOrPassedPawns) {
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
    for (const int p : {PAWN_ISOLATED, PAWN_WEAK, PAWN_DOUBLED, PAWN_BLOCKED, PPAWN_BASE,
                        PPAWN_MOBILE, PPAWN_FREE, PPAWN_CANDIDATE})
        for (const int c : {WHITE, BLACK})
            EXPECT_EQ(only(p, start, c), 0) << eval_param_table.records[p].name;
}

TEST_F(HcePawns, DefendedAndConnectedTablesFollowTheKingsWing) {
    EXPECT_EQ(only(PST_FIRST + 64 * PST_DP + D4, "6k1/8/8/8/3P4/4P3/8/6K1 w - -", WHITE), 1000);
    EXPECT_EQ(only(PST_FIRST + 64 * PST_DP + D4, "6k1/8/8/8/3P4/4P3/8/1K6 w - -", WHITE), 0);
    EXPECT_EQ(only(PST_FIRST + 64 * PST_DP + E4, "6k1/8/8/8/3P4/4P3/8/1K6 w - -", WHITE), 1000);
    EXPECT_EQ(only(PST_FIRST + 64 * PST_DP + D4, "6k1/8/4p3/3p4/8/8/8/6K1 b - -", BLACK), 1000);
    EXPECT_EQ(only(PST_FIRST + 64 * PST_CP + E4, "6k1/8/8/8/3PP3/8/8/6K1 w - -", WHITE), 1000);
}

TEST_F(HcePassers, PasserOnItsSecondRankLooksPastItsDoubleStep) {
    const float f = 0.2f * 0.25f;
    // Stop square a4, proximity target a5: own king 4 away, enemy king 6 (capped).
    HceScratch e = test::terms_of(*td, "7k/8/8/8/8/8/P7/K7 w - -");
    EXPECT_EQ(e.section[SEC_PASSERS][WHITE], param_weighted(PPAWN_FREE, 0.09f) +
                                                 param_weighted(PPAWN_FKPROX, 2 * f) +
                                                 param_weighted(PPAWN_EKPROX, 4 * f));
    EXPECT_EQ(e.free_passers, bit(8));
    // The enemy king 3 from a5 (4 from a4) guards a7: mobile, not free.
    e = test::terms_of(*td, "1k6/8/8/8/8/8/P7/K7 w - -");
    EXPECT_EQ(e.section[SEC_PASSERS][WHITE], param_weighted(PPAWN_MOBILE, 0.09f) +
                                                 param_weighted(PPAWN_FKPROX, 2 * f) +
                                                 param_weighted(PPAWN_EKPROX, 1 * f));
    EXPECT_EQ(e.free_passers, 0u);
}

TEST_F(HcePassers, OnlyTheFrontOfDoubledPassersScores) {
    const char* doubled = "7k/8/8/8/8/P7/P7/K7 w - -";
    const int pair      = test::terms_of(*td, doubled).section[SEC_PASSERS][WHITE];
    EXPECT_EQ(pair, test::terms_of(*td, "7k/8/8/8/8/P7/8/K7 w - -").section[SEC_PASSERS][WHITE]);
    EXPECT_EQ(only(PAWN_DOUBLED, doubled, WHITE), 1000);
}

TEST_F(HcePassers, PushThatLosesThePawnIsBase) {
    const char* lost    = "4n2k/8/8/3P4/8/8/8/K7 w - -";
    const char* covered = "4n2k/8/8/3P4/5B2/8/8/K7 w - -";
    EXPECT_EQ(only(PPAWN_BASE, lost, WHITE), test::isolated_weight(0.40f));
    EXPECT_EQ(only(PPAWN_MOBILE, lost, WHITE), 0);
    EXPECT_EQ(only(PPAWN_BASE, covered, WHITE), 0);
    EXPECT_EQ(only(PPAWN_MOBILE, covered, WHITE), test::isolated_weight(0.40f));
}

TEST_F(HcePassers, CandidateNeedsAsManyHelpersAsSentries) {
    // d5 with c5 beside it; d6 attacked once, by e7; the enemy king 4 from d7.
    EXPECT_EQ(only(PPAWN_CANDIDATE, "7k/4p3/8/2PP4/8/8/8/K7 w - -", WHITE),
              test::isolated_weight(0.7f * 0.9f));
    // c7 makes d6 doubly attacked: two sentries against one helper.
    EXPECT_EQ(only(PPAWN_CANDIDATE, "7k/2p1p3/8/2PP4/8/8/8/K7 w - -", WHITE), 0);
}

} // namespace
} // namespace tarn
