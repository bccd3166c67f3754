#include <gtest/gtest.h>

#include "eval/eval_support.h"
#include "eval/hce.h"
#include "eval/hce_endings.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class HceEndings : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    test::ThreadDataHandle td;

    // True with the score when the position is a trivial ending.
    bool trivial(const char* fen, int& score) {
        const Position& pos = test::set_fen(*td, fen);
        return trivial_ending(pos, pos.side, score);
    }
    float scale(const char* fen, int s) { return scale_factor(test::set_fen(*td, fen), s); }
};

class HceScale : public HceEndings {};

TEST_F(HceEndings, BareMinorPiecesAreDraws) {
    int score = -1;
    EXPECT_TRUE(trivial("4k3/8/8/8/8/8/8/1N2KN2 w - -", score)); // two knights
    EXPECT_EQ(score, 0);
    score = -1;
    EXPECT_TRUE(trivial("4k3/8/8/3n4/8/8/8/2B1K3 b - -", score)); // bishop against knight
    EXPECT_EQ(score, 0);
    EXPECT_FALSE(trivial("4k3/8/8/8/8/8/8/2B1KB2 w - -", score)); // two bishops
    EXPECT_GT(test::hce_of(*td, "4k3/8/8/8/8/8/8/2B1KB2 w - -"), 300);
}

TEST_F(HceEndings, BishopAndKnightDriveTheKingToTheBishopsCorner) {
    int score = 0;
    // Dark bishop, weak king on a1: 700 + 16 * 9 + 8 * centre(c3) - 8 * 2.
    EXPECT_TRUE(trivial("4N3/8/8/8/8/2K5/8/k1B5 w - -", score));
    EXPECT_EQ(score, 700 + 144 + 16 - 16);
    EXPECT_TRUE(trivial("4N3/8/8/8/8/2K5/8/k1B5 b - -", score));
    EXPECT_EQ(score, -(700 + 144 + 16 - 16));
    // A light bishop aims at h1 and a8, so a1 is worth only 16 * 2.
    EXPECT_TRUE(trivial("4N3/8/8/8/8/2K5/8/k2B4 w - -", score));
    EXPECT_EQ(score, 700 + 32 + 16 - 16);
}

TEST_F(HceEndings, MajorPieceAgainstABareKing) {
    int score = 0;
    // 100 * 5 + 4 * (edge(a1) - 4 * distance) + 100.
    EXPECT_TRUE(trivial("8/8/8/8/8/2K5/8/k6R w - -", score));
    EXPECT_EQ(score, 500 + 4 * (60 - 8) + 100);
    EXPECT_TRUE(trivial("8/8/8/8/8/2K5/8/k6R b - -", score));
    EXPECT_EQ(score, -(500 + 4 * (60 - 8) + 100));
}

TEST_F(HceEndings, KingAndPawnUsesTheResultTable) {
    int score = 0;
    // Normalised to the d-file: prog 4, defender 0 from d8, attacker 2 from it; a win.
    EXPECT_TRUE(trivial("4k3/8/4K3/4P3/8/8/8/8 w - -", score));
    EXPECT_EQ(score, 0 - 2 + 16 + 800);
    EXPECT_TRUE(trivial("4k3/8/4K3/4P3/8/8/8/8 b - -", score));
    EXPECT_EQ(score, -(0 - 2 + 16 + 800));
    EXPECT_TRUE(trivial("k7/8/K7/P7/8/8/8/8 w - -", score)); // rook pawn: drawn
    EXPECT_EQ(score, 0 - 2 + 16);
    EXPECT_TRUE(trivial("8/8/8/8/p7/k7/8/K7 b - -", score)); // black pawn, same as above
    EXPECT_EQ(score, 0 - 2 + 16);
}

TEST_F(HceScale, WrongBishopWithRookPawns) {
    EXPECT_FLOAT_EQ(scale("k7/8/8/P7/8/8/8/2B1K3 w - -", 100), SF_WRONG_BISHOP);
    EXPECT_FLOAT_EQ(scale("8/1k6/8/P7/P7/8/8/2B1K3 w - -", 100), SF_WRONG_BISHOP);
    EXPECT_FLOAT_EQ(scale("k7/8/8/P7/8/8/8/3BK3 w - -", 100), 1.0f);   // light bishop
    EXPECT_FLOAT_EQ(scale("8/8/8/8/p7/8/8/K1b1k3 b - -", -100), 1.0f); // dark for black
    EXPECT_FLOAT_EQ(scale("8/8/8/8/p7/8/8/K2bk3 b - -", -100), SF_WRONG_BISHOP);
    EXPECT_LT(10 * test::hce_of(*td, "k7/8/8/P7/8/8/8/2B1K3 w - -"),
              test::hce_of(*td, "k7/8/8/P7/8/8/8/3BK3 w - -"));
}

TEST_F(HceScale, OppositeBishops) {
    EXPECT_FLOAT_EQ(scale("4k3/5ppp/8/3b4/8/8/5PPP/2B1K3 w - -", 50), 0.6f);
    EXPECT_FLOAT_EQ(scale("r3k3/5ppp/8/3b4/8/8/5PPP/2B1K2R w - -", 50), 0.9f);
    EXPECT_FLOAT_EQ(scale("4k3/5ppp/8/2b5/8/8/5PPP/2B1K3 w - -", 50), 1.0f); // same colour
}

TEST_F(HceScale, PawnlessAndFewPawns) {
    EXPECT_FLOAT_EQ(scale("4k3/8/8/3n4/8/8/8/R3K3 w - -", 50), static_cast<float>(5 * 0.007 + 0.1));
    EXPECT_FLOAT_EQ(scale("4k3/8/8/3n4/8/8/8/2B1KB2 w - -", 50), 0.75f);
    EXPECT_FLOAT_EQ(scale("4k3/r7/8/8/8/8/P7/R3K3 w - -", 50), 0.8f);
    EXPECT_FLOAT_EQ(scale("4k3/8/8/3n4/8/8/P7/2B1K3 w - -", 50), 0.6f);
    EXPECT_FLOAT_EQ(scale("4k3/p7/8/3n4/8/8/PP6/2B1K3 w - -", 50), 0.8f);
    EXPECT_FLOAT_EQ(scale("4k3/8/8/3n4/8/8/PP6/2B1K3 w - -", 50), 1.0f); // two pawns up
    EXPECT_FLOAT_EQ(scale("4k3/4p3/8/8/8/8/4P3/4K3 w - -", 50), 1.0f);   // no defending piece
}

} // namespace
} // namespace tarn
