#include "trainer/train_model.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "tools/tune_data.h"
#include "trainer/train_simd.h"

namespace tarn {

namespace {

// Initial weight ranges: a position's thirty-odd rows give hidden sums of about +-0.3, and the
// output starts near 0 so the first batches see every target as reachable.
constexpr float INIT_FIRST_LAYER = 0.1f;
constexpr float INIT_OUTPUT      = 0.03f;

const float* row_of(const std::vector<float>& w2, int bucket, int tile) {
    return w2.data() + static_cast<std::size_t>(bucket) * TRAIN_HIDDEN + tile * TRAIN_TILE;
}

constexpr int TILE_VECS = TRAIN_TILE / FVEC_LANES;
static_assert(TILE_VECS == 4);

// One tile of hidden values in registers.
struct TileVecs {
    FVec v[TILE_VECS];
};

// Hidden sums of one position over one tile.
TileVecs tile_sums(const Model& m, const std::uint16_t* features, int n, int tile) {
    const int rows = rows_of(m);
    TileVecs h;
    for (FVec& v : h.v)
        v = fv_splat(m.bias);
    for (int k = 0; k < n; ++k) {
        const float* row = m.w1.data() + w1_index(features[k], tile * TRAIN_TILE, rows);
        for (int q = 0; q < TILE_VECS; ++q)
            h.v[q] = fv_add(h.v[q], fv_load(row + q * FVEC_LANES));
    }
    return h;
}

// The activation: max(h, h / 16) is h for h >= 0 and h / 16 below.
FVec fv_activate(FVec h) {
    return fv_max(h, fv_mul(h, fv_splat(TRAIN_LEAK)));
}

// Sum of four vectors folded in halves (lanes j and j + 16, then j + 8, then within a vector).
float tile_sum(const TileVecs& t) {
    return fv_sum(fv_add(fv_add(t.v[0], t.v[2]), fv_add(t.v[1], t.v[3])));
}

// Output sum of a tile's hidden sums with one bucket's weights.
float tile_output(const TileVecs& h, const float* w2) {
    TileVecs p;
    for (int q = 0; q < TILE_VECS; ++q)
        p.v[q] = fv_mul(fv_activate(h.v[q]), fv_load(w2 + q * FVEC_LANES));
    return tile_sum(p);
}

} // namespace

Model model_zero(bool factors) {
    Model m;
    m.w1.assign(static_cast<std::size_t>(factors ? TRAIN_ROWS : TRAIN_INPUTS) * TRAIN_HIDDEN, 0.0f);
    m.w2.assign(static_cast<std::size_t>(TRAIN_BUCKETS) * TRAIN_HIDDEN, 0.0f);
    return m;
}

Model model_random(std::uint32_t seed, bool factors) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> first(-INIT_FIRST_LAYER, INIT_FIRST_LAYER);
    std::uniform_real_distribution<float> output(-INIT_OUTPUT, INIT_OUTPUT);
    Model m = model_zero();
    for (float& w : m.w1)
        w = first(rng);
    for (float& w : m.w2)
        w = output(rng);
    return factors ? model_with_factors(std::move(m)) : m;
}

Model model_with_factors(Model m) {
    if (has_factors(m))
        return m;
    Model wide = model_zero(true);
    for (int f = 0; f < TRAIN_INPUTS; ++f)
        for (int j = 0; j < TRAIN_HIDDEN; ++j)
            wide.w1[w1_index(f, j, TRAIN_ROWS)] = m.w1[w1_index(f, j)];
    wide.w2   = std::move(m.w2);
    wide.bias = m.bias;
    return wide;
}

Model model_folded(const Model& m) {
    if (!has_factors(m))
        return m;
    Model folded = model_zero();
    for (int f = 0; f < TRAIN_INPUTS; ++f) {
        const int r = f < NN_STANDARD_INPUTS ? factor_row(static_cast<std::uint16_t>(f)) : -1;
        for (int j = 0; j < TRAIN_HIDDEN; ++j)
            folded.w1[w1_index(f, j)] = m.w1[w1_index(f, j, TRAIN_ROWS)] +
                                        (r < 0 ? 0.0f : m.w1[w1_index(r, j, TRAIN_ROWS)]);
    }
    folded.w2   = m.w2;
    folded.bias = m.bias;
    return folded;
}

Gradients gradients_zero(const Model& m) {
    Gradients g;
    g.w1.assign(m.w1.size(), 0.0f);
    g.w2.assign(m.w2.size(), 0.0f);
    return g;
}

void batch_clear(Batch& b) {
    b.features.clear();
    b.starts.assign(1, 0);
    b.buckets.clear();
    b.targets.clear();
}

float sigmoid(float x) {
    return 1.0f / (1.0f + std::exp(-x));
}

float model_output(const Model& m, const std::uint16_t* features, int n, int bucket) {
    float out = 0.0f;
    for (int tile = 0; tile < TRAIN_TILES; ++tile) {
        const TileVecs h = tile_sums(m, features, n, tile);
        out += tile_output(h, row_of(m.w2, bucket, tile));
    }
    return out;
}

double logit_centipawns(double logit) {
    return std::clamp(logit / WIN_PROBABILITY_SLOPE, double{-NN_SCORE_LIMIT},
                      double{NN_SCORE_LIMIT});
}

double batch_loss(const BatchWork& w, const Batch& b) {
    double total = 0.0;
    for (std::size_t i = 0; i < batch_size(b); ++i) {
        const double e = sigmoid(w.outputs[i]) - b.targets[i];
        total += e * e;
    }
    return total;
}

void work_prepare(BatchWork& w, const Batch& b) {
    const std::size_t n = batch_size(b);
    w.partial.resize(static_cast<std::size_t>(TRAIN_TILES) * n);
    w.hidden.resize(static_cast<std::size_t>(TRAIN_HIDDEN) * n);
}

void forward_tiles(const Model& m, const Batch& b, int from, int to, BatchWork& w) {
    const std::size_t n = batch_size(b);
    for (int tile = from; tile < to; ++tile) {
        float* partial = w.partial.data() + static_cast<std::size_t>(tile) * n;
        float* hidden  = w.hidden.data() + static_cast<std::size_t>(tile) * n * TRAIN_TILE;
        FVec largest   = fv_splat(0.0f);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t s = b.starts[i];
            const TileVecs h =
                tile_sums(m, b.features.data() + s, static_cast<int>(b.starts[i + 1] - s), tile);
            for (int q = 0; q < TILE_VECS; ++q)
                fv_store(hidden + i * TRAIN_TILE + q * FVEC_LANES, h.v[q]);
            partial[i] = tile_output(h, row_of(m.w2, b.buckets[i], tile));
            for (const FVec v : h.v)
                largest = fv_max(largest, fv_abs(v));
        }
        w.tile_max[tile] = fv_max_lane(largest);
    }
}

double finish_forward(const Batch& b, BatchWork& w) {
    const std::size_t n = batch_size(b);
    w.outputs.assign(n, 0.0f);
    w.grad_out.resize(n);
    for (int tile = 0; tile < TRAIN_TILES; ++tile) {
        const float* partial = w.partial.data() + static_cast<std::size_t>(tile) * n;
        for (std::size_t i = 0; i < n; ++i)
            w.outputs[i] += partial[i];
    }
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const float p = sigmoid(w.outputs[i]);
        const float e = p - b.targets[i];
        total += static_cast<double>(e) * e;
        w.grad_out[i] = 2.0f * e * p * (1.0f - p) / static_cast<float>(n);
    }
    return total;
}

void backward_tiles(const Model& m, const Batch& b, int from, int to, BatchWork& w, Gradients& g) {
    const std::size_t n = batch_size(b);
    const int rows      = rows_of(m);
    const FVec leak = fv_splat(TRAIN_LEAK), one = fv_splat(1.0f);
    for (int tile = from; tile < to; ++tile) {
        const float* hidden = w.hidden.data() + static_cast<std::size_t>(tile) * n * TRAIN_TILE;
        TileVecs bias_grad;
        for (FVec& v : bias_grad.v)
            v = fv_splat(0.0f);
        for (std::size_t i = 0; i < n; ++i) {
            const float go = w.grad_out[i];
            if (go == 0.0f)
                continue;
            const std::uint32_t s  = b.starts[i];
            const int count        = static_cast<int>(b.starts[i + 1] - s);
            const std::uint16_t* f = b.features.data() + s;
            TileVecs h;
            for (int q = 0; q < TILE_VECS; ++q)
                h.v[q] = fv_load(hidden + i * TRAIN_TILE + q * FVEC_LANES);
            const float* w2 = row_of(m.w2, b.buckets[i], tile);
            float* gw2      = g.w2.data() + static_cast<std::size_t>(b.buckets[i]) * TRAIN_HIDDEN +
                         tile * TRAIN_TILE;
            const FVec gov = fv_splat(go);
            TileVecs gh;
            for (int q = 0; q < TILE_VECS; ++q) {
                float* at = gw2 + q * FVEC_LANES;
                fv_store(at, fv_add(fv_load(at), fv_mul(gov, fv_activate(h.v[q]))));
                gh.v[q]        = fv_mul(fv_mul(gov, fv_load(w2 + q * FVEC_LANES)),
                                        fv_select_negative(h.v[q], leak, one));
                bias_grad.v[q] = fv_add(bias_grad.v[q], gh.v[q]);
            }
            for (int k = 0; k < count; ++k) {
                float* row = g.w1.data() + w1_index(f[k], tile * TRAIN_TILE, rows);
                for (int q = 0; q < TILE_VECS; ++q)
                    fv_store(row + q * FVEC_LANES, fv_add(fv_load(row + q * FVEC_LANES), gh.v[q]));
            }
        }
        w.tile_bias[tile] = tile_sum(bias_grad);
    }
}

} // namespace tarn
