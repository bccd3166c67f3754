#pragma once
// Turning the float model into the engine's network file, and the engine's integer arithmetic
// written again for the trainer. Hidden sums are scaled by `hidden` and output weights by
// `output`, with hidden * output = 3,240,000 so that the engine's output sum is the model's
// logit on the engine's scale; the leaky activation commutes with a positive scale, so the
// split between the two is free and is chosen to keep the 16-bit sums clear of saturation
// while giving the first layer as many steps as the weight range allows. A stored weight is
// chosen so that the loader's scaling (about 0.18, truncated) gives exactly the integer wanted.

#include <cstdint>
#include <string>
#include <vector>

#include "trainer/train_model.h"

namespace tarn {

// Largest weight the evaluation computes with: the loader's scaling of the largest stored
// weight an embedded network may carry.
constexpr int QUANT_WEIGHT_LIMIT = 5401;
// Scale of the output sum: the engine's logit is the sum times 1 / 3,240,000.
constexpr double QUANT_SCALE_PRODUCT = 3240000.0;
// Hidden sums are planned to stay below this, leaving room for the partial sums on the way.
constexpr double QUANT_ACCUMULATOR_TARGET = 24000.0;
constexpr int QUANT_ACCUMULATOR_MAX       = 32767;
// Each retry after a saturation found on real positions shrinks the hidden scale this much.
constexpr double QUANT_RETRY_SHRINK = 0.9;
constexpr int QUANT_RETRIES         = 8;

// Integer weights as the engine computes with them (after the loader's scaling).
struct QuantNet {
    std::vector<std::int16_t> w1; // TRAIN_INPUTS rows of TRAIN_HIDDEN
    std::vector<std::int16_t> w2; // TRAIN_BUCKETS rows of TRAIN_HIDDEN
    std::int16_t bias = 0;
};

// Scales of a quantisation and what it had to give up.
struct QuantScales {
    double hidden      = 0.0;
    double output      = 0.0;
    int clipped_output = 0; // output weights beyond the range, set to its end
};

// What the hidden layer does on real positions, measured before quantising.
struct HiddenStats {
    double max_abs       = 0.0; // largest |hidden sum|
    double mean_square   = 0.0; // mean squared activated sum; 0 when not measured
    double mean_features = 0.0; // features per position
};

// Result of the integer forward pass of one position.
struct QuantEval {
    int score      = 0;     // centipawns, side to move's view, as nn_evaluate gives them
    int peak       = 0;     // largest |sum| of any hidden unit on the way
    bool saturated = false; // some sum was clamped to 16 bits
};

// --- queries ---

// Stored value that the loader turns into `effective` (|effective| <= 5401), smallest in size.
std::int16_t stored_weight(int effective);
// Scales for a model whose hidden layer behaves as `stats` says. Rounding the first layer
// costs more output error the smaller the hidden scale, rounding the output weights the larger
// it is; the scale balancing the two is taken when the measurements allow, kept inside the
// range where sums stay below the accumulator target and first-layer weights in range.
QuantScales choose_scales(const Model& m, const HiddenStats& stats);
// The engine's rows of a folded model (factor rows are not part of the network).
QuantNet quantise(const Model& m, QuantScales& scales);
// The float model equal to a quantised network (hidden scale picked freely).
Model dequantise(const QuantNet& q);
// The engine's evaluation of one feature list, computed from the bias up in list order.
QuantEval quantised_eval(const QuantNet& q, const std::uint16_t* features, int n, int bucket);
// The whole network file.
std::vector<std::uint8_t> network_file_bytes(const QuantNet& q);
// 64-bit FNV-1a of some bytes.
std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes);
// First 12 hex digits of the FNV-1a hash, to name a network file by its content.
std::string content_tag(const std::vector<std::uint8_t>& bytes);

// --- files ---

// Writes the network file under a side name and puts it in place once complete, so that an
// interrupted write keeps the previous file; false with a message in `error` when it cannot.
bool write_network_file(const std::string& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error);
// Reads a network file of the standard dimensions into the integers the engine would use.
bool read_network_file(const std::string& path, QuantNet& q, std::string& error);

} // namespace tarn
