#include <gtest/gtest.h>

#include "eval/eval_cache.h"
#include "eval/eval_support.h"
#include "eval/hce.h"
#include "support/test_support.h"

namespace tarn {
namespace {

constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";

class EvalCaches : public ::testing::Test {
protected:
    void SetUp() override {
        test::init_eval();
        test::set_fen(*td, KIWIPETE);
    }
    test::ThreadDataHandle td;
    int evaluate_at(int ply) {
        return hce_evaluate(td->board.pos, td->eval, td->board.pos.side, ply);
    }
};

TEST_F(EvalCaches, SecondEvaluationAtPlyTwoHits) {
    const int first = evaluate_at(2);
    EXPECT_EQ(evaluate_at(2), first);
    EXPECT_EQ(td->eval.eval_probes, 2u);
    EXPECT_EQ(td->eval.eval_hits, 1u);
    EXPECT_EQ(td->eval.pawn_probes, 1u); // the hit skipped the pawn terms
}

TEST_F(EvalCaches, RootPositionsNeverHit) {
    const int first = evaluate_at(1);
    EXPECT_EQ(evaluate_at(1), first);
    EXPECT_EQ(td->eval.eval_probes, 2u);
    EXPECT_EQ(td->eval.eval_hits, 0u);
    EXPECT_EQ(td->eval.pawn_hits, 0u);
}

TEST_F(EvalCaches, PawnTableHitsForTheSamePawnsAndWings) {
    evaluate_at(2);
    test::set_fen(*td, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N4p/PPPBBPPP/R3K2R b KQkq -");
    evaluate_at(2); // same pawns, no queen: a new position
    EXPECT_EQ(td->eval.pawn_probes, 2u);
    EXPECT_EQ(td->eval.pawn_hits, 1u);
    // The white king on the other wing changes the pawn terms, and so the hash.
    const std::uint64_t king_side = pawn_hash_of(td->board.pos);
    test::set_fen(*td, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R1K4R w kq -");
    EXPECT_NE(pawn_hash_of(td->board.pos), king_side);
}

TEST_F(EvalCaches, NetworkStoreKeepsTheHandCraftedScore) {
    const int hce = evaluate_at(2);
    eval_cache_store(td->board.pos, td->eval, td->board.pos.side, SLOT_NN, 77);
    int score = 0;
    EXPECT_TRUE(eval_cache_probe(td->board.pos, td->eval, td->board.pos.side, SLOT_HCE, 2, score));
    EXPECT_EQ(score, hce);
    EXPECT_TRUE(eval_cache_probe(td->board.pos, td->eval, td->board.pos.side, SLOT_NN, 2, score));
    EXPECT_EQ(score, 77);
}

TEST_F(EvalCaches, EntryTakenOverByAnotherPositionForgetsTheOtherSlot) {
    evaluate_at(2);
    td->board.pos.key ^= 0x10000; // same entry, another position
    eval_cache_store(td->board.pos, td->eval, td->board.pos.side, SLOT_NN, 77);
    int score = 0;
    EXPECT_FALSE(eval_cache_probe(td->board.pos, td->eval, td->board.pos.side, SLOT_HCE, 2, score));
    EXPECT_TRUE(eval_cache_probe(td->board.pos, td->eval, td->board.pos.side, SLOT_NN, 2, score));
}

TEST_F(EvalCaches, SidesNeverShareAnEntry) {
    eval_cache_store(td->board.pos, td->eval, WHITE, SLOT_HCE, 5);
    int score = 0;
    EXPECT_FALSE(eval_cache_probe(td->board.pos, td->eval, BLACK, SLOT_HCE, 2, score));
}

} // namespace
} // namespace tarn
