#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

#include "eval/nn.h"
#include "eval/nn_support.h"
#include "support/test_support.h"

namespace tarn {
namespace {

constexpr const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

class NetworkFeatures : public test::NetworkTest {
protected:
    // Loads a small network with the given input layout.
    void use_inputs(int n_inputs, int n_material_inputs) {
        test::SyntheticNet net;
        net.n_inputs          = n_inputs;
        net.n_material_inputs = n_material_inputs;
        net.hidden1           = 16;
        test::load_synthetic(net);
    }
    std::vector<int> features_of(const char* fen) {
        test::set_fen(*td, fen);
        std::uint16_t list[NN_MAX_FEATURES];
        const int n = nn_features(td->board.pos, list, wings);
        return std::vector<int>(list, list + n);
    }
    test::ThreadDataHandle td;
    std::uint16_t wings = 0;
};

// Features of the start position's pieces when white is to move: white's own pieces in block
// 0 and black's in block 1, both unflipped. With black to move the roles swap exactly.
std::vector<int> own_start_pieces() {
    std::vector<int> f = {4}; // king e1
    for (int sq = 8; sq < 16; ++sq)
        f.push_back(64 + sq); // pawns a2-h2
    for (const int v : {128 + 1, 128 + 6, 192 + 2, 192 + 5, 256 + 0, 256 + 7, 320 + 3})
        f.push_back(v);
    return f;
}
std::vector<int> other_start_pieces() {
    std::vector<int> f = {384 + 60}; // king e8
    for (int sq = 48; sq < 56; ++sq)
        f.push_back(384 + 64 + sq); // pawns a7-h7
    for (const int v : {128 + 57, 128 + 62, 192 + 58, 192 + 61, 256 + 56, 256 + 63, 320 + 59})
        f.push_back(384 + v);
    return f;
}

std::vector<int> joined(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(NetworkFeatures, StartPositionWhiteToMove) {
    use_inputs(1536, 36);
    // White in block 0 unflipped, black in block 1 from 384, the even material input 1554.
    EXPECT_EQ(features_of(START), joined(joined(own_start_pieces(), other_start_pieces()), {1554}));
    EXPECT_EQ(wings, 0);
}

TEST_F(NetworkFeatures, StartPositionBlackToMoveTurnsTheBoard) {
    use_inputs(1536, 36);
    // Black now fills block 0 with squares flipped by 56, and the white pieces, still listed
    // first, take block 1: the white king on e1 becomes 384 + (4 ^ 56) = 444.
    const std::vector<int> f = features_of("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(f, joined(joined(other_start_pieces(), own_start_pieces()), {1554}));
    EXPECT_EQ(f[0], 444);
}

TEST_F(NetworkFeatures, KingCrossingTheCentreMovesEveryFeature) {
    use_inputs(1536, 36);
    EXPECT_EQ(features_of("4k3/8/8/8/8/8/4P3/4K3 w - -"), (std::vector<int>{4, 76, 444, 1555}));
    EXPECT_EQ(wings, 0);
    // On d1 the white pieces are mirrored left-right and everything moves to the second half.
    EXPECT_EQ(features_of("4k3/8/8/8/8/8/4P3/3K4 w - -"),
              (std::vector<int>{768 + 4, 768 + 64 + 11, 768 + 384 + 60, 1555}));
    EXPECT_EQ(wings, 1);
    // Both kings on the queen side: same half again, both mirrored.
    EXPECT_EQ(features_of("3k4/8/8/8/8/8/4P3/3K4 w - -"), (std::vector<int>{4, 75, 444, 1555}));
    EXPECT_EQ(wings, 0);
}

struct MaterialCase {
    int n_material_inputs;
    const char* fen;
    std::vector<int> tail; // the last features of the list
};

void PrintTo(const MaterialCase& c, std::ostream* os) {
    *os << c.n_material_inputs << " inputs, " << c.fen;
}

class NetworkMaterialInputs : public NetworkFeatures,
                              public ::testing::WithParamInterface<MaterialCase> {};

TEST_P(NetworkMaterialInputs, FollowTheEncoding) {
    use_inputs(1536, GetParam().n_material_inputs);
    const std::vector<int> f    = features_of(GetParam().fen);
    const std::vector<int> tail = GetParam().tail;
    ASSERT_GE(f.size(), tail.size());
    EXPECT_EQ(std::vector<int>(f.end() - static_cast<long>(tail.size()), f.end()), tail);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, NetworkMaterialInputs,
    ::testing::Values(
        // 32: non-pawn material difference, clamped to 13.
        MaterialCase{32, "4k3/8/8/8/8/8/PPP5/R3K3 w - -", {444, 1536 + 21}},
        MaterialCase{32, "4k3/8/8/8/8/8/PPP5/R3K3 b - -", {1536 + 11}},
        MaterialCase{32, "4k3/8/8/8/8/8/8/QQQ1K3 w - -", {1536 + 29}},
        // 36: pawns count too, clamped to 16.
        MaterialCase{36, "4k3/8/8/8/8/8/PPP5/R3K3 b - -", {1536 + 10}},
        MaterialCase{36, "4k3/8/8/8/8/8/PPPPPPPP/QQ2K3 w - -", {1536 + 34}},
        // 40: counts per colour, white first, the side to move's block at 1536.
        MaterialCase{40, START, {1544, 1549, 1552, 1554, 1564, 1569, 1572, 1574}},
        MaterialCase{40,
                     "4k3/8/8/8/8/8/8/QQ2K3 b - -",
                     {1556, 1565, 1570, 1574, 1575, 1536, 1545, 1550, 1553}},
        // Any other count: no material input.
        MaterialCase{0, "4k3/8/8/8/8/8/8/R3K3 w - -", {4, 256, 444}}));

TEST_F(NetworkFeatures, PassedPawnsTakeASeventhSlotWith1792Inputs) {
    use_inputs(1792, 36);
    // d5 and b2 are passed; g4 and h5 hold each other. Colour blocks are 448 inputs.
    EXPECT_EQ(features_of("4k3/8/8/3P3p/6P1/8/1p6/4K3 w - -"),
              (std::vector<int>{4, 64 + 30, 64 + 35, 448 + 60, 448 + 64 + 9, 448 + 64 + 39,
                                384 + 35, 448 + 384 + 9, 1792 + 18}));
    use_inputs(1536, 36);
    EXPECT_EQ(
        features_of("4k3/8/8/3P3p/6P1/8/1p6/4K3 w - -"),
        (std::vector<int>{4, 64 + 30, 64 + 35, 384 + 60, 384 + 64 + 9, 384 + 64 + 39, 1536 + 18}));
}

TEST_F(NetworkFeatures, BucketFollowsTheLargerMaterial) {
    const int table[][2] = {{40, 0}, {26, 0}, {25, 1}, {21, 1}, {20, 2}, {16, 2}, {15, 3},
                            {11, 3}, {10, 4}, {6, 4},  {5, 5},  {1, 5},  {0, 6}};
    for (const auto& [m, bucket] : table) {
        td->board.pos.piece_material[WHITE] = static_cast<std::uint16_t>(m);
        td->board.pos.piece_material[BLACK] = 0;
        EXPECT_EQ(nn_bucket(td->board.pos), bucket) << "material " << m;
        std::swap(td->board.pos.piece_material[WHITE], td->board.pos.piece_material[BLACK]);
        EXPECT_EQ(nn_bucket(td->board.pos), bucket) << "black material " << m;
    }
}

TEST(NetworkOutput, ProbabilityAndScoreConversion) {
    EXPECT_EQ(nn_probability(0, 16), 0.5f);
    EXPECT_EQ(nn_score_of(0.5f), 0);
    EXPECT_EQ(nn_probability(123456789, 0), 0.5f); // no hidden units
    EXPECT_EQ(nn_score_of(0.0f), -NN_SCORE_LIMIT);
    EXPECT_EQ(nn_score_of(0.000009f), -NN_SCORE_LIMIT);
    EXPECT_EQ(nn_score_of(0.999995f), NN_SCORE_LIMIT);
    EXPECT_EQ(nn_score_of(nn_probability(2000000000, 16)), NN_SCORE_LIMIT);
    EXPECT_EQ(nn_score_of(nn_probability(-2000000000, 16)), -NN_SCORE_LIMIT);
    // Without the roundings the score is sum / 19440 centipawns.
    for (int cp = -1800; cp <= 1800; cp += 7) {
        const int score = nn_score_of(nn_probability(cp * 19440, 16));
        EXPECT_LE(std::abs(score - cp), 1) << cp;
    }
}

// The evaluation reads scores from a table of the sums where they change; it must give the
// conversion's score for every sum, through the whole unsaturated range and beyond it.
TEST(NetworkOutput, ScoreOfSumMatchesTheConversionForEverySum) {
    std::int64_t mismatches     = 0;
    std::int32_t first_mismatch = 0;
    for (std::int32_t sum = -38000000; sum <= 38000000; ++sum) {
        if (nn_score_of_sum(sum) != nn_score_of(nn_probability(sum, 16)) && mismatches++ == 0)
            first_mismatch = sum;
    }
    EXPECT_EQ(mismatches, 0) << "first at sum " << first_mismatch;
    for (const std::int32_t sum : {INT32_MIN, INT32_MIN + 1, -2000000000, 2000000000, INT32_MAX})
        EXPECT_EQ(nn_score_of_sum(sum), nn_score_of(nn_probability(sum, 16))) << sum;
    EXPECT_EQ(nn_score_of_sum(INT32_MIN), -NN_SCORE_LIMIT);
    EXPECT_EQ(nn_score_of_sum(INT32_MAX), NN_SCORE_LIMIT);
}

} // namespace
} // namespace tarn
