#pragma once
// Export of a float model to a network file, with the checks that make it trustworthy: the
// largest hidden sum on real positions, float-versus-integer agreement, and a check mode that
// loads a file into the engine and compares nn_evaluate with the trainer's integer pass.

#include <cstdint>
#include <string>
#include <vector>

#include "trainer/train_data.h"
#include "trainer/train_quant.h"

namespace tarn {

constexpr std::size_t EXPORT_SAMPLE   = 50000; // positions measured when exporting
constexpr int CHECK_DEFAULT_POSITIONS = 10000;

// How closely the integer network follows the float model on a set of positions.
struct Agreement {
    std::size_t positions = 0;
    double mean_abs       = 0.0; // centipawns
    int max_abs           = 0;
    std::size_t within_1  = 0; // positions within 1 centipawn
    std::size_t within_5  = 0;
    int peak              = 0; // largest |hidden sum| of the integer pass
    std::size_t saturated = 0; // positions whose sums were clamped
};

// --- queries ---

// Compares model and network on positions idx of the set.
Agreement measure_agreement(const Model& m, const QuantNet& q, const TrainingSet& set,
                            const std::vector<std::uint32_t>& idx);
void print_agreement(const Agreement& a);
// Hidden-layer measurements of the float model over positions idx of the set.
HiddenStats hidden_stats(const Model& m, const TrainingSet& set,
                         const std::vector<std::uint32_t>& idx);
// Every max(1, size / limit)-th position of a set, up to limit of them.
std::vector<std::uint32_t> spread_sample(std::size_t size, std::size_t limit);

// --- runs ---

// Folds and quantises the model (shrinking the hidden scale while sample positions saturate),
// writes the file and prints scales, agreement and content tag; false with a message in `error`.
bool export_network(const Model& m, double max_hidden, const TrainingSet& set,
                    const std::vector<std::uint32_t>& sample, const std::string& path,
                    std::string& error);
// "--export": a checkpoint to a network file, measured on data files when given.
int run_export(const std::string& checkpoint, const std::string& out,
               const std::vector<std::string>& data);
// "--check": the engine's nn_evaluate against the integer pass on up to n records.
int run_check(const std::string& net_path, const std::string& data_path, std::uint64_t n);

} // namespace tarn
