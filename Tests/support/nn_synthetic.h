#pragma once
// Synthetic networks for the tests and the network benchmark: random weights of chosen
// dimensions in the network file format. They exercise the loader and the evaluation (small
// ranges keep the 16-bit sums clear of saturation, large ones force it); they play no chess.

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::test {

// Dimensions and weight ranges of a synthetic network. Stored (unscaled) first-layer weights
// and the bias are drawn from -first_layer..first_layer, output weights from -output..output.
struct SyntheticNet {
    int n_inputs          = 1536;
    int n_material_inputs = 36;
    int hidden1           = 896;
    int hidden2           = 0;
    int n_buckets         = 7;
    int first_layer       = 600;
    int output            = 2000;
    std::uint32_t seed    = 1;
    std::uint16_t id      = 564;
    std::uint16_t version = 1;
};

// Number of weights the dimensions call for (W1, W2, W3 and the tail).
std::size_t synthetic_weight_count(const SyntheticNet& net);
// Stored weights in file order, from a fixed-seed generator.
std::vector<std::int16_t> synthetic_weights(const SyntheticNet& net);
// A whole network file: header, the weight-count field (count_field, or the true count when
// negative) and the weights.
std::vector<unsigned char> network_file_bytes(const SyntheticNet& net,
                                              const std::vector<std::int16_t>& weights,
                                              std::int64_t count_field = -1);
// Writes bytes to path, replacing the file; false when it cannot.
bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace tarn::test
