#pragma once
// The float model of the engine's network and its batch kernels. The shape is the engine's:
// sparse inputs summed into 896 hidden units with one shared bias, the engine's leaky
// activation (negative sums divided by 16), one output row per material bucket and no output
// bias. The output is a logit: the win probability is its sigmoid and centipawns are the logit
// divided by the win-probability slope, which is how the engine reads its integer output sum.
//
// The kernels walk the hidden units in tiles of 32 so that a tile's slice of the first layer
// and of its gradient stay in the core's cache while a whole batch passes over them; threads
// own disjoint tiles, so gradients never need a reduction and the result does not depend on
// the thread count.

#include <cstdint>
#include <vector>

#include "eval/nn.h"
#include "eval/nn_file.h"

namespace tarn {

constexpr int TRAIN_INPUTS = NN_STANDARD_INPUTS + NN_STANDARD_MATERIAL_INPUTS;
// Factor rows: the board features come in two halves, kings on the same wing and on opposite
// wings, that mean the same piece on the same square. When factorising, every board feature
// also sums a factor row shared by its two halves, so what one half learns carries over to the
// other (opposite wings are the rarer case). Folding adds the factor rows into the rows the
// engine has; the folded model computes the same outputs.
constexpr int TRAIN_FACTORS = NN_STANDARD_INPUTS / 2;
constexpr int TRAIN_ROWS    = TRAIN_INPUTS + TRAIN_FACTORS;
constexpr int TRAIN_HIDDEN  = NN_STANDARD_HIDDEN1;
constexpr int TRAIN_BUCKETS = NN_STANDARD_BUCKETS;
constexpr int TRAIN_TILE    = 32; // hidden units a kernel keeps in registers
constexpr int TRAIN_TILES   = TRAIN_HIDDEN / TRAIN_TILE;
constexpr float TRAIN_LEAK  = 1.0f / 16.0f; // slope below 0: the engine's x / 16
static_assert(TRAIN_HIDDEN % TRAIN_TILE == 0);

// Place of first-layer weight (input f, hidden unit j) in Model::w1 of a model with `rows`
// rows (TRAIN_INPUTS, or TRAIN_ROWS with factor rows). The weights are stored tile by tile, so
// one tile's weights of every input lie together: with plain rows the tile slices sit a row
// apart, a stride that maps them onto a few cache sets. A model without factor rows is exactly
// the engine's rows, no larger (a larger one trains measurably slower).
inline std::size_t w1_index(int f, int j, int rows = TRAIN_INPUTS) {
    return (static_cast<std::size_t>(j / TRAIN_TILE) * static_cast<std::size_t>(rows) +
            static_cast<std::size_t>(f)) *
               TRAIN_TILE +
           static_cast<std::size_t>(j % TRAIN_TILE);
}

// The trainable parameters.
struct Model {
    std::vector<float> w1; // TRAIN_INPUTS or TRAIN_ROWS rows of TRAIN_HIDDEN, at w1_index
    std::vector<float> w2; // TRAIN_BUCKETS rows of TRAIN_HIDDEN
    float bias = 0.0f;     // added to every hidden unit
};

// A minibatch gathered into contiguous arrays.
struct Batch {
    std::vector<std::uint16_t> features;
    std::vector<std::uint32_t> starts = {0};
    std::vector<std::uint8_t> buckets;
    std::vector<float> targets; // win probability to reach
};

// Per-batch results of the kernels. Partial sums are kept per tile and added in tile order,
// so the same batch gives the same bits with any number of threads.
struct BatchWork {
    std::vector<float> partial;   // TRAIN_TILES x batch size: output sum of the tile's units
    std::vector<float> hidden;    // TRAIN_TILES x batch size x TRAIN_TILE: hidden sums of the
                                  // forward pass, which the backward pass reads again
    std::vector<float> outputs;   // logit per position
    std::vector<float> grad_out;  // d loss / d logit per position
    float tile_max[TRAIN_TILES];  // largest |hidden sum| seen in the tile
    float tile_bias[TRAIN_TILES]; // bias gradient of the tile
};

// Gradients of the parameters; first-layer rows are only valid where the batch touched them.
struct Gradients {
    std::vector<float> w1;
    std::vector<float> w2;
    float bias = 0.0f;
};

// --- set-up ---

// A model with every weight 0, with or without factor rows.
Model model_zero(bool factors = false);
// A model with small random weights from the seed; factor rows start at 0.
Model model_random(std::uint32_t seed, bool factors = false);
// The model with factor rows added, at 0 (itself when it has them).
Model model_with_factors(Model m);
// The model without factor rows, which are added into the engine's rows.
Model model_folded(const Model& m);
// Gradients shaped like the model.
Gradients gradients_zero(const Model& m);
inline std::size_t batch_size(const Batch& b) {
    return b.buckets.size();
}
void batch_clear(Batch& b);

// --- queries ---

inline bool has_factors(const Model& m) {
    return m.w1.size() > static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN;
}
// Rows of the model's first layer, for w1_index.
inline int rows_of(const Model& m) {
    return has_factors(m) ? TRAIN_ROWS : TRAIN_INPUTS;
}
// Factor row of board feature f (below NN_STANDARD_INPUTS).
inline std::uint16_t factor_row(std::uint16_t f) {
    return static_cast<std::uint16_t>(TRAIN_INPUTS + f % TRAIN_FACTORS);
}

float sigmoid(float x);
// Logit of one position.
float model_output(const Model& m, const std::uint16_t* features, int n, int bucket);
// Centipawns of a logit, clamped as the engine clamps its scores.
double logit_centipawns(double logit);
// Mean squared error between sigmoid(logit) and a target.
double batch_loss(const BatchWork& w, const Batch& b);

// --- kernels ---

// Sizes the work buffers for the batch; the kernels of one step need it done first.
void work_prepare(BatchWork& w, const Batch& b);

// Output sums of tiles [from, to) for every position of the batch, and their largest sums.
void forward_tiles(const Model& m, const Batch& b, int from, int to, BatchWork& w);
// Adds the tile partials into logits, and the loss gradient into grad_out. Returns the summed
// squared error.
double finish_forward(const Batch& b, BatchWork& w);
// Gradients of tiles [from, to) from grad_out and the forward pass's hidden sums; rows of w1
// are added to, never cleared.
void backward_tiles(const Model& m, const Batch& b, int from, int to, BatchWork& w, Gradients& g);

} // namespace tarn
