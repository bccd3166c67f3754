#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/evaluate.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "eval/nn_reference.h"
#include "eval/nn_support.h"
#include "frontend/run_settings.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using test::SyntheticNet;

constexpr const char* START    = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";

SyntheticNet make_net(int n_inputs, int n_material_inputs, int hidden1, int first_layer, int output,
                      std::uint32_t seed = 1) {
    SyntheticNet net;
    net.n_inputs          = n_inputs;
    net.n_material_inputs = n_material_inputs;
    net.hidden1           = hidden1;
    net.first_layer       = first_layer;
    net.output            = output;
    net.seed              = seed;
    return net;
}

// The side to move's cached first-layer sums.
std::vector<int> cached_sums(ThreadData& td) {
    const std::int16_t* acc = td.eval.nn.caches[td.board.pos.side].accumulator;
    return std::vector<int>(acc, acc + td.eval.nn.hidden1);
}

// --- agreement with the reference over random play ---

struct NetCase {
    const char* name;
    SyntheticNet net;
    bool saturates; // weights large enough that the 16-bit sums clamp
    int steps;
};

void PrintTo(const NetCase& c, std::ostream* os) {
    *os << c.name;
}

class NetworkAgreement : public test::NetworkTest, public ::testing::WithParamInterface<NetCase> {};

TEST_P(NetworkAgreement, EngineMatchesTheReferenceOverRandomPlay) {
    const NetCase& c                       = GetParam();
    const std::vector<std::int16_t> stored = test::load_synthetic(c.net);
    const test::ReferenceNet net           = test::reference_net(c.net, stored);
    test::ReferenceEvaluator ref           = test::reference_evaluator(net);
    test::ThreadDataHandle td;
    std::mt19937 rng(7);
    int saturated = 0, hits = 0, evaluations = 0;
    const char* roots[]      = {START, KIWIPETE, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
                                "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -"};
    const int steps_per_root = c.steps / 4;
    for (const char* root : roots) {
        test::set_fen(*td, root);
        int depth = 0;
        for (int step = 0; step < steps_per_root; ++step) {
            std::vector<Move> moves = legal_moves(td->board.pos);
            const bool back         = depth > 0 && (moves.empty() || depth >= 40 || rng() % 4 == 0);
            if (back) {
                unmake_move(td->board.pos);
                --depth;
            } else if (!moves.empty()) {
                make_move(td->board.pos, moves[rng() % moves.size()]);
                ++depth;
            }
            const int ply              = td->board.search_ply;
            const std::uint64_t before = td->eval.eval_hits;
            const int score            = nn_evaluate(td->board.pos, td->eval, td->board.search_ply);
            const test::ReferenceResult r = test::reference_evaluate(ref, td->board.pos, ply);
            const bool hit                = td->eval.eval_hits != before;
            ASSERT_EQ(hit, r.cache_hit) << root << " step " << step;
            ASSERT_EQ(score, r.score) << root << " step " << step;
            ++evaluations;
            if (hit) {
                ++hits;
                continue;
            }
            saturated += r.saturated;
            ASSERT_EQ(nn_probability(td->eval.nn.last_sum, network.hidden1), r.probability)
                << root << " step " << step;
            ASSERT_EQ(td->eval.nn.bucket, r.bucket);
            int wings                       = 0;
            const std::vector<int> features = test::reference_features(c.net, td->board.pos, wings);
            std::uint16_t list[NN_MAX_FEATURES];
            std::uint16_t opposite = 0;
            const int n            = nn_features(td->board.pos, list, opposite);
            ASSERT_EQ(std::vector<int>(list, list + n), features);
            ASSERT_EQ(td->eval.nn.count, n);
            ASSERT_EQ(static_cast<int>(td->eval.nn.opposite_wings), wings);
            // The sums follow the saturating steps the update rules prescribe...
            ASSERT_EQ(cached_sums(*td), ref.caches[td->board.pos.side].sums)
                << root << " step " << step;
            // ...and without saturation, kept by difference or not, they are the sums made
            // from scratch.
            if (!c.saturates) {
                ASSERT_EQ(cached_sums(*td), test::reference_sums(net, features))
                    << root << " step " << step;
            }
        }
        while (depth-- > 0)
            unmake_move(td->board.pos);
    }
    EXPECT_GT(hits, 0);
    EXPECT_GT(td->eval.nn.incremental_updates, static_cast<std::uint64_t>(evaluations / 4));
    EXPECT_GT(td->eval.nn.refreshes, 4u);
    if (c.saturates)
        EXPECT_GT(saturated, evaluations / 10) << "the network never saturated";
    else
        EXPECT_EQ(saturated, 0);
}

INSTANTIATE_TEST_SUITE_P(
    SyntheticNetworks, NetworkAgreement,
    ::testing::Values(NetCase{"PawnsAndPieces36", make_net(1536, 36, 48, 600, 2000), false, 3000},
                      NetCase{"PieceDifference32", make_net(1536, 32, 16, 600, 2000), false, 3000},
                      NetCase{"Counts40", make_net(1536, 40, 80, 600, 2000), false, 2000},
                      NetCase{"PassedPawns1792", make_net(1792, 36, 32, 600, 2000), false, 3000},
                      NetCase{"NoMaterialInputs", make_net(1536, 0, 32, 600, 2000), false, 2000},
                      NetCase{"Standard", make_net(1536, 36, 896, 600, 2000), false, 600},
                      NetCase{"Saturating36", make_net(1536, 36, 64, 30000, 200), true, 3000},
                      NetCase{"Saturating40Passers", make_net(1792, 40, 48, 30000, 200), true,
                              3000}),
    [](const ::testing::TestParamInfo<NetCase>& param) { return std::string(param.param.name); });

// --- the first-layer caches and the EvalCache ---

class NetworkCaches : public test::NetworkTest {
protected:
    void SetUp() override {
        test::NetworkTest::SetUp();
        stored = test::load_synthetic(make_net(1536, 36, 32, 600, 2000));
    }
    // Evaluates a position as a node at the given ply.
    int evaluate_at(const char* fen, int ply) {
        test::set_fen(*td, fen);
        td->board.search_ply = static_cast<std::int16_t>(ply);
        return nn_evaluate(td->board.pos, td->eval, td->board.search_ply);
    }
    // Score of a position by the reference, made from scratch.
    int reference_score(const std::vector<std::int16_t>& weights, const SyntheticNet& net,
                        const char* fen) {
        test::ReferenceEvaluator ref = test::reference_evaluator(test::reference_net(net, weights));
        test::set_fen(*td, fen);
        return test::reference_evaluate(ref, td->board.pos, 1).score;
    }
    test::ThreadDataHandle td;
    std::vector<std::int16_t> stored;
};

constexpr const char* AFTER_NF3_NF6 = "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq -";
constexpr const char* AFTER_NC3_NC6 =
    "r1bqkb1r/pppppppp/2n2n2/8/8/2N2N2/PPPPPPPP/R1BQKB1R w KQkq -";
constexpr const char* AFTER_E4_E5 =
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq -";

TEST_F(NetworkCaches, RootEvaluationsNeverHit) {
    const int first = evaluate_at(KIWIPETE, 1);
    EXPECT_EQ(evaluate_at(KIWIPETE, 1), first);
    EXPECT_EQ(td->eval.eval_probes, 2u);
    EXPECT_EQ(td->eval.eval_hits, 0u);
    EXPECT_EQ(td->eval.nn.refreshes, 2u);
}

TEST_F(NetworkCaches, SecondEvaluationAtPlyTwoHitsAndReportsItsScore) {
    const int first           = evaluate_at(KIWIPETE, 2);
    td->eval.nn.last_nn_score = 0;
    const std::uint64_t rf    = td->eval.nn.refreshes;
    EXPECT_EQ(evaluate_at(KIWIPETE, 2), first);
    EXPECT_EQ(td->eval.eval_probes, 2u);
    EXPECT_EQ(td->eval.eval_hits, 1u);
    EXPECT_EQ(td->eval.nn.last_nn_score, first);
    EXPECT_EQ(td->eval.nn.refreshes, rf); // nothing recomputed
}

TEST_F(NetworkCaches, SumsAreKeptByDifferenceOnlyFromPlyThree) {
    evaluate_at(START, 5); // fills the cache
    EXPECT_EQ(td->eval.nn.refreshes, 1u);
    evaluate_at(AFTER_NF3_NF6, 2);
    EXPECT_EQ(td->eval.nn.refreshes, 2u);
    evaluate_at(AFTER_NC3_NC6, 3);
    EXPECT_EQ(td->eval.nn.incremental_updates, 1u);
    evaluate_at(AFTER_E4_E5, 258); // only the low byte of the ply counts
    EXPECT_EQ(td->eval.nn.refreshes, 3u);
    EXPECT_EQ(td->eval.nn.incremental_updates, 1u);
}

TEST_F(NetworkCaches, LargeChangesAndKingWingChangesRefresh) {
    evaluate_at(START, 5);
    evaluate_at("rnbqkbnr/8/8/8/8/8/8/RNBQKBNR w KQkq -", 5); // 16 pawns gone
    EXPECT_EQ(td->eval.nn.refreshes, 2u);
    evaluate_at("4k3/8/8/8/8/8/4P3/4K3 w - -", 5);
    EXPECT_EQ(td->eval.nn.refreshes, 3u);
    evaluate_at("4k3/8/8/8/8/8/4P3/5K2 w - -", 5); // one king step
    EXPECT_EQ(td->eval.nn.incremental_updates, 1u);
    evaluate_at("4k3/8/8/8/8/8/4P3/3K4 w - -", 5); // across the centre line
    EXPECT_EQ(td->eval.nn.refreshes, 4u);
    EXPECT_EQ(td->eval.nn.incremental_updates, 1u);
    // Every cache holds the sums of its side's last position.
    int wings              = 0;
    test::ReferenceNet net = test::reference_net(make_net(1536, 36, 32, 600, 2000), stored);
    EXPECT_EQ(cached_sums(*td),
              test::reference_sums(net, test::reference_features(net.dims, td->board.pos, wings)));
}

TEST_F(NetworkCaches, KingsChangingWingsTogetherAreKeptByDifference) {
    evaluate_at("4k3/8/8/8/8/8/4P3/4K3 w - -", 5);
    evaluate_at("3k4/8/8/8/8/8/4P3/3K4 w - -", 5); // both kings across the centre line
    EXPECT_EQ(td->eval.nn.refreshes, 1u);
    EXPECT_EQ(td->eval.nn.incremental_updates, 1u);
    evaluate_at("3k4/8/8/8/8/4P3/8/3K4 w - -", 5);
    EXPECT_EQ(td->eval.nn.incremental_updates, 2u);
    int wings              = 0;
    test::ReferenceNet net = test::reference_net(make_net(1536, 36, 32, 600, 2000), stored);
    EXPECT_EQ(cached_sums(*td),
              test::reference_sums(net, test::reference_features(net.dims, td->board.pos, wings)));
}

TEST_F(NetworkCaches, ANewNetworkForgetsSumsAndScores) {
    evaluate_at(KIWIPETE, 3);
    evaluate_at(START, 3);
    const SyntheticNet other                = make_net(1536, 36, 32, 600, 2000, 99);
    const std::vector<std::int16_t> weights = test::load_synthetic(other);
    const std::uint64_t hits                = td->eval.eval_hits;
    const int score                         = evaluate_at(KIWIPETE, 3);
    EXPECT_EQ(td->eval.eval_hits, hits);
    EXPECT_EQ(td->eval.nn.refreshes, 3u);
    EXPECT_EQ(score, reference_score(weights, other, KIWIPETE));
}

TEST_F(NetworkCaches, ANetworkOfAnotherSizeGetsBuffersOfItsSize) {
    evaluate_at(KIWIPETE, 3);
    const SyntheticNet wider                = make_net(1536, 36, 112, 600, 2000, 5);
    const std::vector<std::int16_t> weights = test::load_synthetic(wider);
    EXPECT_EQ(evaluate_at(START, 3), reference_score(weights, wider, START));
    EXPECT_EQ(evaluate_at(AFTER_NF3_NF6, 4 + 1), reference_score(weights, wider, AFTER_NF3_NF6));
    EXPECT_EQ(td->eval.nn.hidden1, 112);
}

TEST(NetworkState, WithoutANetworkNothingIsMade) {
    nn_unload();
    test::ThreadDataHandle td;
    test::set_fen(*td, KIWIPETE);
    EXPECT_EQ(nn_evaluate(td->board.pos, td->eval, td->board.search_ply), 0);
    EXPECT_EQ(td->eval.nn.buffer, nullptr);
    EXPECT_EQ(td->eval.eval_probes, 0u);
}

// --- the evaluation entry's choice ---

struct ChoiceCase {
    const char* fen;
    bool network;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.fen;
}

class EvaluationChoice : public test::NetworkTest,
                         public ::testing::WithParamInterface<ChoiceCase> {
protected:
    void SetUp() override {
        test::NetworkTest::SetUp();
        test::load_synthetic(make_net(1536, 36, 32, 600, 2000));
        td->eval.bias = eval_bias_for(WHITE, 1e7); // analysis: no bonus for the engine's side
    }
    test::ThreadDataHandle td;
};

TEST_P(EvaluationChoice, NetworkUnlessTheMaterialIsSimpleOrLopsided) {
    test::set_fen(*td, GetParam().fen);
    const int score = evaluate(td->board.pos, td->eval, td->board.pos.side, 1, false);
    EXPECT_EQ(td->eval.nn.refreshes, GetParam().network ? 1u : 0u);
    if (GetParam().network)
        EXPECT_EQ(score, td->eval.nn.last_nn_score);
    else
        EXPECT_EQ(score, hce_evaluate(td->board.pos, td->eval, td->board.pos.side, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Material, EvaluationChoice,
    ::testing::Values(ChoiceCase{START, true},
                      ChoiceCase{"4k3/8/8/8/8/8/8/3NK3 w - -", false},      // knight alone
                      ChoiceCase{"4k3/8/8/8/8/8/4P3/4K3 w - -", false},     // king and pawn
                      ChoiceCase{"4k3/8/8/8/8/8/4P3/3NK3 b - -", false},    // white dominates
                      ChoiceCase{"4k3/4r3/8/8/8/8/4P3/R3K3 w - -", true},   // rook and pawn
                      ChoiceCase{"3qk3/5ppp/8/8/8/8/PP6/4K3 w - -", false}, // black dominates
                      ChoiceCase{"4k3/8/8/8/8/8/8/2BNK3 w - -", false},     // no pawns, 6
                      ChoiceCase{"3rk3/8/8/8/8/8/8/2BNK3 w - -", true}));   // no pawns, 11

TEST_F(EvaluationChoice, HandCraftedWhenUseNnEvalIsOff) {
    run_settings.use_nn = 0;
    test::set_fen(*td, START);
    EXPECT_EQ(evaluate(td->board.pos, td->eval, WHITE, 1, false),
              hce_evaluate(td->board.pos, td->eval, WHITE, 1));
    EXPECT_EQ(td->eval.nn.refreshes, 0u);
}

TEST_F(EvaluationChoice, HandCraftedWhenNoNetworkIsInForce) {
    nn_unload();
    test::set_fen(*td, START);
    EXPECT_EQ(evaluate(td->board.pos, td->eval, WHITE, 1, false),
              hce_evaluate(td->board.pos, td->eval, WHITE, 1));
}

TEST_F(EvaluationChoice, NetworkScoresAreDampedAndGetTheEngineSideBonus) {
    test::set_fen(*td, "4k3/4r3/8/8/8/8/4P3/R3K3 w - -");
    td->board.pos.rule50 = 100;
    const int damped     = evaluate(td->board.pos, td->eval, WHITE, 1, false);
    const int nn         = td->eval.nn.last_nn_score;
    EXPECT_EQ(damped, nn - nn * 100 / 256);
    test::set_fen(*td, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
    td->eval.bias = eval_bias_for(BLACK, 1.0);
    const int own = evaluate(td->board.pos, td->eval, BLACK, 1, false) - td->eval.nn.last_nn_score;
    EXPECT_EQ(own, 15);
}

} // namespace
} // namespace tarn
