#pragma once
// The training run: epochs of minibatches with a step-decay learning rate, a validation split
// fixed by the seed, per-epoch checkpoints of the whole float state (weights, moments, step
// counters) so that a run can be resumed, and a network file exported after every epoch.

#include <cstdint>
#include <string>
#include <vector>

#include "trainer/train_optim.h"

namespace tarn {

// Settings of a run, from the command line.
struct TrainConfig {
    std::vector<std::string> data;
    std::vector<std::string> hce_data; // files labelled by the hand-crafted evaluation
    std::vector<std::string> val_data; // validation files; none: a share of data is held out
    std::string out_dir  = "train-out";
    std::string init_net = ""; // network file to start from instead of random weights
    int epochs           = 10;
    int batch            = 16384;
    int lr_drop          = 4; // epochs between learning-rate drops
    int threads          = 2;
    double lr            = 0.001;
    double lr_gamma      = 0.3; // factor of each drop
    double lambda        = 0.75;
    double val           = 0.02; // share of positions held out
    std::uint32_t seed   = 1;
    bool resume          = false;
    bool first_score     = false; // label with the records' first score instead of the second
    bool quiet_only      = false; // leave out positions where a capture wins material
    bool factorise       = false; // train shared factor rows (a resumed run: as its checkpoint)
};

// --- runs ---

// A whole run with its progress lines; returns the process exit status.
int run_training(const TrainConfig& config);
// Training speed on positions from random play; returns the exit status.
int run_train_bench(int threads, int positions);

// --- checkpoints ---

bool save_checkpoint(const Trainer& t, const std::string& path, std::string& error);
bool load_checkpoint(Trainer& t, const std::string& path, std::string& error);

} // namespace tarn
