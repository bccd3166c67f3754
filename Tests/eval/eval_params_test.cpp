#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "core/see.h"
#include "eval/eval_params.h"
#include "eval/eval_support.h"
#include "frontend/engine_options.h"

namespace tarn {
namespace {

class EvalParams : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    void TearDown() override {
        live_options = EngineOptions{};
        init_eval_params();
    }
};

int mid_of(int index) {
    return packed_mid(param_value(index));
}
int end_of(int index) {
    return (param_value(index) - mid_of(index)) / PACK_END;
}
int pst_index(int table, const char* square) {
    return PST_FIRST + 64 * table + (square[0] - 'a') + 8 * (square[1] - '1');
}

TEST_F(EvalParams, TableHoldsEveryRecordInOrder) {
    EXPECT_EQ(eval_param_table.count, 907);
    EXPECT_STREQ(eval_param_table.records[MTL_PAWN].name, "mtl_pawn");
    EXPECT_STREQ(eval_param_table.records[STM_BONUS].name, "stm_bonus");
    EXPECT_STREQ(eval_param_table.records[TTUNE_FIRST].name, "ttune");
    EXPECT_STREQ(eval_param_table.records[PST_FIRST - 1].name, "ttune");
    EXPECT_STREQ(eval_param_table.records[PST_FIRST].name, "PST_P1");
    EXPECT_STREQ(eval_param_table.records[pst_index(PST_K, "a1")].name, "PST_K");
    EXPECT_STREQ(eval_param_table.records[EVAL_PARAMS - 1].name, "PST_Q2");
}

TEST_F(EvalParams, DefaultsArePackedWithFloatCopies) {
    EXPECT_EQ(param_value(MTL_QUEEN), 1173 + 65536 * 1402);
    EXPECT_EQ(mid_of(HUNG_MAJOR), -69);
    EXPECT_EQ(end_of(HUNG_MAJOR), -32);
    EXPECT_EQ(eval_param_table.records[PPAWN_FKPROX].mid_f, -24.0f);
    EXPECT_EQ(eval_param_table.records[PPAWN_FKPROX].end_f, -96.0f);
    EXPECT_EQ(param_value(TTUNE_FIRST + 5), 0);
    EXPECT_EQ(see_value[KNIGHT], 350);
    EXPECT_EQ(see_value[KING], 9000);
}

TEST_F(EvalParams, SquareTablesHaveTheGivenRowsAndZeroSquares) {
    EXPECT_EQ(param_value(pst_index(PST_P1, "a7")), pack(77, 62));
    EXPECT_EQ(param_value(pst_index(PST_P1, "g2")), pack(19, 14));
    EXPECT_EQ(param_value(pst_index(PST_K, "h1")), pack(9, -87));
    EXPECT_EQ(param_value(pst_index(PST_K, "e8")), pack(-3, 14));
    EXPECT_EQ(param_value(pst_index(PST_N1, "e4")), pack(31, 26));
    EXPECT_EQ(param_value(pst_index(PST_N1, "a1")), pack(-46, -30));
    EXPECT_EQ(param_value(pst_index(PST_P2, "g7")), pack(53, 119));
    EXPECT_EQ(param_value(pst_index(PST_DP, "d6")), pack(65, 61));
    for (int file = 0; file < 8; ++file) {
        for (const int table : {PST_P1, PST_P2, PST_CP, PST_DP}) {
            EXPECT_EQ(param_value(PST_FIRST + 64 * table + file), 0);
            EXPECT_EQ(param_value(PST_FIRST + 64 * table + 56 + file), 0);
        }
        EXPECT_EQ(param_value(PST_FIRST + 64 * PST_DP + 8 + file), 0);
    }
    for (int sq = 0; sq < 64; ++sq) {
        if (sq % 8 < 4) {
            EXPECT_EQ(param_value(PST_FIRST + 64 * PST_K + sq), 0) << sq;
        }
    }
}

TEST_F(EvalParams, WeightsScaleTheirGroupsOnly) {
    live_options.eval_weights[2 * 5]      = 200; // knights: mid
    live_options.eval_weights[2 * 5 + 1]  = 50;  // knights: end
    live_options.eval_weights[2 * 11]     = 50;  // king danger and checks
    live_options.eval_weights[2 * 11 + 1] = 100;
    init_eval_params();
    EXPECT_EQ(param_value(KNIGHT_MOBILITY), pack(120, 31)); // 61 * 0.5 = 30.5 rounds to 31
    EXPECT_EQ(param_value(KNIGHT_OUTPOST), pack(70, 15));   // 29 * 0.5 = 14.5 rounds to 15
    EXPECT_EQ(param_value(pst_index(PST_N1, "a1")), pack(-92, -15));
    EXPECT_EQ(param_value(KING_DANGER1), pack(-121, 21)); // -120.5 rounds away from zero
    EXPECT_EQ(param_value(KING_DANGER2), pack(-66, 37));
    EXPECT_EQ(param_value(ENEMY_CHECKS), pack(-21, -11));
    EXPECT_EQ(eval_param_table.records[KING_DANGER1].mid_f, -120.5f);
    EXPECT_EQ(param_value(MTL_KNIGHT), pack(385, 412));
    EXPECT_EQ(param_value(pst_index(PST_B1, "a1")), pack(-22, -14));
}

TEST_F(EvalParams, MismatchedDefaultIsReportedAndStillSet) {
    testing::internal::CaptureStdout();
    const int mismatches = apply_param_default(MTL_ROOK, "mtl_castle", 500, 700);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error mtl_castle  mtl_rook\n");
    EXPECT_EQ(mismatches, 1);
    EXPECT_EQ(param_value(MTL_ROOK), pack(500, 700));
    testing::internal::CaptureStdout();
    init_eval_params();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); // the built-in list matches
}

TEST_F(EvalParams, NextSearchStartRebuildsOnceAfterAConfigurationLoad) {
    live_options.options_changed = 1;  // what loading a configuration file leaves
    live_options.eval_weights[0] = 50; // visible only after a rebuild
    testing::internal::CaptureStdout();
    EXPECT_TRUE(refresh_eval_params());
    EXPECT_FALSE(refresh_eval_params());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string setting eval params...\n");
    EXPECT_EQ(param_value(MTL_PAWN), pack(50, 100));
}

} // namespace
} // namespace tarn
