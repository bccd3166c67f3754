#include "trainer/train_quant.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "core/staged_file.h"
#include "eval/nn_file.h"
#include "eval/nn_simd.h"

namespace tarn {

namespace {

// Hidden scale a dequantised network is given: any value is exact, this one keeps the float
// weights near 1.
constexpr double DEQUANT_HIDDEN_SCALE = 1800.0;
constexpr std::uint64_t FNV_OFFSET    = 0xcbf29ce484222325ULL;
constexpr std::uint64_t FNV_PRIME     = 0x100000001b3ULL;
constexpr int TAG_HEX_DIGITS          = 12;

int quantise_value(double w, double scale) {
    const double q = std::round(w * scale);
    return static_cast<int>(std::clamp(q, double{-QUANT_WEIGHT_LIMIT}, double{QUANT_WEIGHT_LIMIT}));
}

double largest_magnitude(const std::vector<float>& w) {
    double m = 0.0;
    for (const float x : w)
        m = std::max(m, static_cast<double>(std::abs(x)));
    return m;
}

void put_u16(std::vector<std::uint8_t>& out, int v) {
    const auto bits = static_cast<std::uint16_t>(v);
    out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
    out.push_back(static_cast<std::uint8_t>(bits >> 8));
}

int get_u16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

} // namespace

std::int16_t stored_weight(int effective) {
    // The scaling multiplies by a little over 0.18 and truncates toward zero, so the stored
    // values that give `effective` lie within one step of effective / 0.18.
    const int guess = static_cast<int>(std::lround(effective / 0.18));
    int best        = guess;
    bool found      = false;
    for (int s = guess - 6; s <= guess + 6; ++s) {
        if (s < INT16_MIN || s > INT16_MAX || nn_scale_weight(s) != effective)
            continue;
        if (!found || std::abs(s) < std::abs(best))
            best = s;
        found = true;
    }
    return static_cast<std::int16_t>(best);
}

QuantScales choose_scales(const Model& m, const HiddenStats& stats) {
    const double first = std::max(largest_magnitude(m.w1), static_cast<double>(std::abs(m.bias)));
    double upper       = QUANT_ACCUMULATOR_TARGET / std::max(stats.max_abs, 1e-6);
    if (first > 0.0)
        upper = std::min(upper, QUANT_WEIGHT_LIMIT / first);
    // Below this the largest output weight would fall outside the range.
    const double lower = QUANT_SCALE_PRODUCT * largest_magnitude(m.w2) / QUANT_WEIGHT_LIMIT;
    double mean_w2     = 0.0;
    for (const float w : m.w2)
        mean_w2 += static_cast<double>(w) * w;
    mean_w2 /= static_cast<double>(m.w2.size());
    // Output error variance: n * E[w2^2] / (12 s^2) from the first layer, E[a^2] s^2 / (12 P^2)
    // from the output weights (per hidden unit); their sum is least at s^4 = P^2 n E[w2^2] /
    // E[a^2].
    double hidden = upper;
    if (stats.mean_square > 0.0 && mean_w2 > 0.0)
        hidden = std::sqrt(QUANT_SCALE_PRODUCT *
                           std::sqrt(stats.mean_features * mean_w2 / stats.mean_square));
    hidden = std::min(std::max(hidden, lower), upper);
    QuantScales s;
    s.hidden = hidden;
    s.output = QUANT_SCALE_PRODUCT / hidden;
    return s;
}

QuantNet quantise(const Model& m, QuantScales& scales) {
    QuantNet q;
    q.w1.resize(static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN);
    q.w2.resize(m.w2.size());
    for (int f = 0; f < TRAIN_INPUTS; ++f)
        for (int j = 0; j < TRAIN_HIDDEN; ++j)
            q.w1[static_cast<std::size_t>(f) * TRAIN_HIDDEN + j] =
                static_cast<std::int16_t>(quantise_value(m.w1[w1_index(f, j)], scales.hidden));
    scales.clipped_output = 0;
    for (std::size_t i = 0; i < m.w2.size(); ++i) {
        const int v = quantise_value(m.w2[i], scales.output);
        scales.clipped_output += std::abs(m.w2[i] * scales.output) > QUANT_WEIGHT_LIMIT + 0.5;
        q.w2[i] = static_cast<std::int16_t>(v);
    }
    q.bias = static_cast<std::int16_t>(quantise_value(m.bias, scales.hidden));
    return q;
}

Model dequantise(const QuantNet& q) {
    const double output = QUANT_SCALE_PRODUCT / DEQUANT_HIDDEN_SCALE;
    Model m             = model_zero();
    for (int f = 0; f < TRAIN_INPUTS; ++f)
        for (int j = 0; j < TRAIN_HIDDEN; ++j)
            m.w1[w1_index(f, j)] = static_cast<float>(
                q.w1[static_cast<std::size_t>(f) * TRAIN_HIDDEN + j] / DEQUANT_HIDDEN_SCALE);
    for (std::size_t i = 0; i < q.w2.size(); ++i)
        m.w2[i] = static_cast<float>(q.w2[i] / output);
    m.bias = static_cast<float>(q.bias / DEQUANT_HIDDEN_SCALE);
    return m;
}

QuantEval quantised_eval(const QuantNet& q, const std::uint16_t* features, int n, int bucket) {
    QuantEval r;
    int acc[TRAIN_HIDDEN];
    for (int& a : acc)
        a = q.bias;
    r.peak = std::abs(int{q.bias});
    for (int k = 0; k < n; ++k) {
        const std::int16_t* row =
            q.w1.data() + static_cast<std::size_t>(features[k]) * TRAIN_HIDDEN;
        for (int j = 0; j < TRAIN_HIDDEN; ++j) {
            const int v = acc[j] + row[j];
            acc[j]      = std::clamp(v, -QUANT_ACCUMULATOR_MAX - 1, QUANT_ACCUMULATOR_MAX);
            r.saturated = r.saturated || acc[j] != v;
            r.peak      = std::max(r.peak, std::abs(v));
        }
    }
    // The output sum wraps in 32 bits, as the engine's does.
    const std::int16_t* w2 = q.w2.data() + static_cast<std::size_t>(bucket) * TRAIN_HIDDEN;
    std::uint32_t sum      = 0;
    for (int j = 0; j < TRAIN_HIDDEN; ++j) {
        const int x      = acc[j];
        const int active = x < 0 ? (x + NN_ACTIVATION_ROUND) >> NN_ACTIVATION_SHIFT : x;
        sum += static_cast<std::uint32_t>(active * w2[j]);
    }
    r.score = nn_score_of(nn_probability(static_cast<std::int32_t>(sum), TRAIN_HIDDEN));
    return r;
}

std::vector<std::uint8_t> network_file_bytes(const QuantNet& q) {
    std::vector<std::uint8_t> out;
    out.reserve(NN_STANDARD_FILE_BYTES);
    put_u16(out, NN_STANDARD_ID);
    put_u16(out, NN_STANDARD_VERSION);
    put_u16(out, NN_STANDARD_INPUTS);
    put_u16(out, NN_STANDARD_MATERIAL_INPUTS);
    put_u16(out, NN_STANDARD_HIDDEN1);
    put_u16(out, 0); // no second hidden layer
    put_u16(out, NN_STANDARD_BUCKETS);
    const auto count = static_cast<std::uint32_t>(NN_STANDARD_WEIGHTS);
    put_u16(out, static_cast<int>(count & 0xFFFF));
    put_u16(out, static_cast<int>(count >> 16));
    for (const std::int16_t w : q.w1)
        put_u16(out, stored_weight(w));
    // W2 holds NN_OUTPUT_ROWS rows; the ones past the buckets stay 0. W3 is empty.
    for (int row = 0; row < NN_OUTPUT_ROWS; ++row)
        for (int j = 0; j < TRAIN_HIDDEN; ++j)
            put_u16(out, row < TRAIN_BUCKETS
                             ? stored_weight(q.w2[static_cast<std::size_t>(row) * TRAIN_HIDDEN + j])
                             : 0);
    for (int t = 0; t < NN_TAIL_VALUES; ++t)
        put_u16(out, t == NN_BIAS_INDEX ? stored_weight(q.bias) : 0);
    return out;
}

std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = FNV_OFFSET;
    for (const std::uint8_t b : bytes) {
        h ^= b;
        h *= FNV_PRIME;
    }
    return h;
}

std::string content_tag(const std::vector<std::uint8_t>& bytes) {
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIx64, fnv1a(bytes));
    return std::string(text, TAG_HEX_DIGITS);
}

bool write_network_file(const std::string& path, const std::vector<std::uint8_t>& bytes,
                        std::string& error) {
    StagedFile out;
    if (!staged_open(out, path, true)) {
        error = "can't write " + path;
        return false;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), out.file);
    if (!staged_commit(out)) {
        error = "can't write " + path;
        return false;
    }
    return true;
}

bool read_network_file(const std::string& path, QuantNet& q, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "can't open " + path;
        return false;
    }
    std::vector<char> raw(NN_STANDARD_FILE_BYTES + 1);
    in.read(raw.data(), static_cast<std::streamsize>(raw.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got != NN_STANDARD_FILE_BYTES) {
        error = path + " is not a network of the standard size (" +
                std::to_string(NN_STANDARD_FILE_BYTES) + " bytes)";
        return false;
    }
    std::vector<std::uint8_t> bytes(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(got));
    const int dims[]     = {get_u16(&bytes[4]), get_u16(&bytes[6]), get_u16(&bytes[8]),
                            get_u16(&bytes[10]), get_u16(&bytes[12])};
    const int standard[] = {NN_STANDARD_INPUTS, NN_STANDARD_MATERIAL_INPUTS, NN_STANDARD_HIDDEN1, 0,
                            NN_STANDARD_BUCKETS};
    if (!std::equal(std::begin(dims), std::end(dims), std::begin(standard))) {
        error = path + " does not have the standard dimensions";
        return false;
    }
    std::size_t at   = NN_HEADER_BYTES;
    const auto taken = [&]() {
        const int v = static_cast<std::int16_t>(get_u16(&bytes[at]));
        at += 2;
        return nn_scale_weight(v);
    };
    q.w1.resize(static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN);
    q.w2.resize(static_cast<std::size_t>(TRAIN_BUCKETS) * TRAIN_HIDDEN);
    for (std::int16_t& w : q.w1)
        w = taken();
    for (int row = 0; row < NN_OUTPUT_ROWS; ++row)
        for (int j = 0; j < TRAIN_HIDDEN; ++j) {
            const std::int16_t w = taken();
            if (row < TRAIN_BUCKETS)
                q.w2[static_cast<std::size_t>(row) * TRAIN_HIDDEN + j] = w;
        }
    for (int t = 0; t < NN_TAIL_VALUES; ++t) {
        const std::int16_t w = taken();
        if (t == NN_BIAS_INDEX)
            q.bias = w;
    }
    return true;
}

} // namespace tarn
