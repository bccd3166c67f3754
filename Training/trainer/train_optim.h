#pragma once
// One training step: the batch gathered into contiguous arrays, the forward and backward
// passes split by hidden tiles over the threads, and Adam. First-layer rows are updated
// lazily: a row absent from a batch is left alone, and when it comes back its moments are
// first decayed by the steps it missed, as a dense update with zero gradients would have done.

#include <cstdint>
#include <vector>

#include "trainer/train_data.h"
#include "trainer/train_model.h"

namespace tarn {

constexpr float ADAM_BETA1     = 0.9f;
constexpr float ADAM_BETA2     = 0.999f;
constexpr float ADAM_EPSILON   = 1e-8f;
constexpr float TRAIN_W1_LIMIT = 8.0f; // weights are kept inside these so that they quantise
constexpr float TRAIN_W2_LIMIT = 1.0f;

// Adam's moments; row_step[f] is the step at which first-layer row f was last updated.
struct AdamState {
    std::vector<float> m1, v1, m2, v2;
    float mb = 0.0f, vb = 0.0f;
    std::vector<std::uint32_t> row_step;
    std::uint32_t step = 0;
};

// Everything a run keeps between batches.
struct Trainer {
    // --- saved in checkpoints ---
    Model model;
    AdamState adam;
    std::uint32_t epoch = 0; // epochs completed
    float max_hidden    = 0; // largest |hidden sum| during the last epoch
    // --- scratch ---
    Gradients grads;
    Batch batch;
    BatchWork work;
    std::vector<std::uint8_t> touched; // first-layer rows in the batch
    std::vector<std::uint16_t> touched_rows;
    int threads = 2;
};

// --- set-up ---

void trainer_init(Trainer& t, Model model, int threads);

// --- changes ---

// Puts positions idx[0 .. count) of the set into the trainer's batch, with the factor rows of
// their board features when factorising.
void gather_batch(const TrainingSet& set, const std::uint32_t* idx, std::size_t count,
                  double lambda, bool factorise, Batch& b);
// One step of Adam on the trainer's batch; returns the summed squared error before the step.
double train_step(Trainer& t, float lr);
// Summed squared error of the trainer's batch, without training.
double batch_error(Trainer& t);
// Runs `fn(from, to)` on tile ranges split over the trainer's threads.
void for_tiles(int threads, void (*fn)(void*, int, int), void* context);

} // namespace tarn
