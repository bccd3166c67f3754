#include "support/nn_synthetic.h"

#include <algorithm>
#include <fstream>
#include <random>

namespace tarn::test {

namespace {

constexpr int OUTPUT_ROWS = 8;
constexpr int TAIL_VALUES = 8;

void put_u16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

std::int16_t draw(std::mt19937& rng, int range) {
    return static_cast<std::int16_t>(static_cast<int>(rng() % (2u * range + 1)) - range);
}

} // namespace

std::size_t synthetic_weight_count(const SyntheticNet& net) {
    const std::size_t inputs = static_cast<std::size_t>(net.n_inputs + net.n_material_inputs);
    const std::size_t h1     = static_cast<std::size_t>(net.hidden1);
    const std::size_t h2     = static_cast<std::size_t>(net.hidden2);
    return inputs * h1 + static_cast<std::size_t>(std::max(OUTPUT_ROWS, net.hidden2)) * h1 +
           static_cast<std::size_t>(std::max(OUTPUT_ROWS, net.n_buckets)) * h2 + TAIL_VALUES;
}

std::vector<std::int16_t> synthetic_weights(const SyntheticNet& net) {
    std::mt19937 rng(net.seed);
    const std::size_t count = synthetic_weight_count(net);
    const std::size_t first =
        static_cast<std::size_t>(net.n_inputs + net.n_material_inputs) * net.hidden1;
    std::vector<std::int16_t> weights(count);
    for (std::size_t i = 0; i < count; ++i)
        weights[i] =
            draw(rng, i < first || i + TAIL_VALUES >= count ? net.first_layer : net.output);
    return weights;
}

std::vector<unsigned char> network_file_bytes(const SyntheticNet& net,
                                              const std::vector<std::int16_t>& weights,
                                              std::int64_t count_field) {
    std::vector<unsigned char> out;
    out.reserve(18 + 2 * weights.size());
    for (const int v : {int{net.id}, int{net.version}, net.n_inputs, net.n_material_inputs,
                        net.hidden1, net.hidden2, net.n_buckets})
        put_u16(out, static_cast<unsigned>(v));
    const std::uint32_t count = static_cast<std::uint32_t>(
        count_field < 0 ? static_cast<std::int64_t>(weights.size()) : count_field);
    put_u16(out, count & 0xFFFF);
    put_u16(out, count >> 16);
    for (const std::int16_t w : weights)
        put_u16(out, static_cast<std::uint16_t>(w));
    return out;
}

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace tarn::test
