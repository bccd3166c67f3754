#pragma once
// A network evaluator for the tests, written straight from the rules in plain scalar code and
// sharing nothing with the engine's but the Position it reads: features come from the board
// array, weights are scaled from the stored values, sums are ints clamped by hand, and the
// per-side caches and the EvalCache are modelled as simply as the rules allow. The engine's
// evaluation must agree with it bit for bit.

#include <cstdint>
#include <vector>

#include "core/board.h"
#include "support/nn_synthetic.h"

namespace tarn::test {

// A network as the reference computes with it: scaled weights by block.
struct ReferenceNet {
    SyntheticNet dims;
    std::vector<int> w1; // (inputs) x hidden1
    std::vector<int> w2; // 8 x hidden1
    int bias = 0;
};

// The first layer of one side to move.
struct ReferenceCache {
    bool filled = false;
    std::vector<int> features;
    std::vector<int> sums;
    int opposite_wings      = 0;
    std::uint64_t occupancy = 0;
};

struct ReferenceResult {
    int score         = 0;
    float probability = 0.0f;
    int bucket        = 0;
    bool cache_hit    = false;
    bool incremental  = false;
    bool saturated    = false; // some sum was clamped on the way
};

struct ReferenceEvaluator {
    ReferenceNet net;
    ReferenceCache caches[2];
    std::vector<std::uint64_t> cached_keys; // direct-mapped EvalCache model
    std::vector<int> cached_scores;
    std::vector<bool> cached;
};

ReferenceNet reference_net(const SyntheticNet& dims, const std::vector<std::int16_t>& stored);
ReferenceEvaluator reference_evaluator(const ReferenceNet& net);
// Feature list of a position, in production order, from the board array.
std::vector<int> reference_features(const SyntheticNet& dims, const Position& pos,
                                    int& opposite_wings);
// First-layer sums of a feature list computed from the bias up.
std::vector<int> reference_sums(const ReferenceNet& net, const std::vector<int>& features);
// Evaluates a position as a thread whose search_ply is `ply`.
ReferenceResult reference_evaluate(ReferenceEvaluator& r, const Position& pos, int ply);

} // namespace tarn::test
