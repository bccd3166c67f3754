#include "trainer/train_optim.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "trainer/train_simd.h"

namespace tarn {

namespace {

// What the tile workers of one step share.
struct StepContext {
    Trainer* t = nullptr;
    float lr   = 0.0f;                 // step size with Adam's bias corrections folded in
    std::vector<float> decay1, decay2; // per touched row: moments' decay for missed steps
};

void forward_worker(void* context, int from, int to) {
    Trainer& t = *static_cast<StepContext*>(context)->t;
    forward_tiles(t.model, t.batch, from, to, t.work);
}

void adam_one(float& w, float& m, float& v, float g, float lr, float limit) {
    m = ADAM_BETA1 * m + (1.0f - ADAM_BETA1) * g;
    v = ADAM_BETA2 * v + (1.0f - ADAM_BETA2) * g * g;
    w = std::clamp(w - lr * m / (std::sqrt(v) + ADAM_EPSILON), -limit, limit);
}

// adam_one over `count` lanes (a multiple of FVEC_LANES), vectors at a time, with the moments
// first decayed by d1 and d2; clears the gradients. The same operations in the same order give
// the same bits as the scalar update, several times faster (the square root and division
// dominate the step when batches are small).
void adam_lanes(float* w, float* m, float* v, float* g, int count, float d1, float d2, float lr,
                float limit) {
    const FVec b1 = fv_splat(ADAM_BETA1), c1 = fv_splat(1.0f - ADAM_BETA1);
    const FVec b2 = fv_splat(ADAM_BETA2), c2 = fv_splat(1.0f - ADAM_BETA2);
    const FVec decay1 = fv_splat(d1), decay2 = fv_splat(d2), rate = fv_splat(lr);
    const FVec epsilon = fv_splat(ADAM_EPSILON), hi = fv_splat(limit), lo = fv_splat(-limit);
    const FVec zero = fv_splat(0.0f);
    for (int j = 0; j < count; j += FVEC_LANES) {
        const FVec gv = fv_load(g + j);
        const FVec mv = fv_add(fv_mul(b1, fv_mul(fv_load(m + j), decay1)), fv_mul(c1, gv));
        const FVec vv =
            fv_add(fv_mul(b2, fv_mul(fv_load(v + j), decay2)), fv_mul(fv_mul(c2, gv), gv));
        const FVec step = fv_div(fv_mul(rate, mv), fv_add(fv_sqrt(vv), epsilon));
        fv_store(w + j, fv_min(fv_max(fv_sub(fv_load(w + j), step), lo), hi));
        fv_store(m + j, mv);
        fv_store(v + j, vv);
        fv_store(g + j, zero);
    }
}

// Gradients and updates of tiles [from, to): the columns a worker owns in every row.
void backward_worker(void* context, int from, int to) {
    StepContext& c = *static_cast<StepContext*>(context);
    Trainer& t     = *c.t;
    backward_tiles(t.model, t.batch, from, to, t.work, t.grads);
    const int rows = rows_of(t.model);
    for (int tile = from; tile < to; ++tile) {
        for (std::size_t r = 0; r < t.touched_rows.size(); ++r) {
            const float d1 = c.decay1[r], d2 = c.decay2[r];
            const std::size_t base = w1_index(t.touched_rows[r], tile * TRAIN_TILE, rows);
            adam_lanes(t.model.w1.data() + base, t.adam.m1.data() + base, t.adam.v1.data() + base,
                       t.grads.w1.data() + base, TRAIN_TILE, d1, d2, c.lr, TRAIN_W1_LIMIT);
        }
    }
    const int lo = from * TRAIN_TILE, hi = to * TRAIN_TILE;
    for (int b = 0; b < TRAIN_BUCKETS; ++b) {
        const std::size_t base = static_cast<std::size_t>(b) * TRAIN_HIDDEN + lo;
        adam_lanes(t.model.w2.data() + base, t.adam.m2.data() + base, t.adam.v2.data() + base,
                   t.grads.w2.data() + base, hi - lo, 1.0f, 1.0f, c.lr, TRAIN_W2_LIMIT);
    }
}

// Marks the first-layer rows the batch uses.
void collect_touched(Trainer& t) {
    t.touched_rows.clear();
    for (const std::uint16_t f : t.batch.features)
        if (!t.touched[f]) {
            t.touched[f] = 1;
            t.touched_rows.push_back(f);
        }
    for (const std::uint16_t f : t.touched_rows)
        t.touched[f] = 0;
}

float largest_tile_sum(const BatchWork& w) {
    return *std::max_element(w.tile_max, w.tile_max + TRAIN_TILES);
}

} // namespace

void trainer_init(Trainer& t, Model model, int threads) {
    t.model = std::move(model);
    t.adam.m1.assign(t.model.w1.size(), 0.0f);
    t.adam.v1.assign(t.model.w1.size(), 0.0f);
    t.adam.m2.assign(t.model.w2.size(), 0.0f);
    t.adam.v2.assign(t.model.w2.size(), 0.0f);
    t.adam.row_step.assign(static_cast<std::size_t>(rows_of(t.model)), 0);
    t.grads = gradients_zero(t.model);
    t.touched.assign(static_cast<std::size_t>(rows_of(t.model)), 0);
    t.threads = std::clamp(threads, 1, TRAIN_TILES);
}

void gather_batch(const TrainingSet& set, const std::uint32_t* idx, std::size_t count,
                  double lambda, bool factorise, Batch& b) {
    batch_clear(b);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t i = idx[k];
        b.features.insert(b.features.end(), set.features.begin() + set.starts[i],
                          set.features.begin() + set.starts[i + 1]);
        if (factorise)
            for (std::uint32_t at = set.starts[i]; at < set.starts[i + 1]; ++at)
                if (set.features[at] < NN_STANDARD_INPUTS)
                    b.features.push_back(factor_row(set.features[at]));
        b.starts.push_back(static_cast<std::uint32_t>(b.features.size()));
        b.buckets.push_back(set.buckets[i]);
        b.targets.push_back(
            static_cast<float>(training_target(set.scores[i], set.results[i], lambda)));
    }
}

void for_tiles(int threads, void (*fn)(void*, int, int), void* context) {
    std::vector<std::thread> pool;
    const int n = std::clamp(threads, 1, TRAIN_TILES);
    for (int k = 1; k < n; ++k)
        pool.emplace_back(fn, context, k * TRAIN_TILES / n, (k + 1) * TRAIN_TILES / n);
    fn(context, 0, TRAIN_TILES / n);
    for (std::thread& th : pool)
        th.join();
}

double batch_error(Trainer& t) {
    work_prepare(t.work, t.batch);
    StepContext c;
    c.t = &t;
    for_tiles(t.threads, forward_worker, &c);
    t.max_hidden = std::max(t.max_hidden, largest_tile_sum(t.work));
    return finish_forward(t.batch, t.work);
}

double train_step(Trainer& t, float lr) {
    const double error = batch_error(t);
    collect_touched(t);
    AdamState& a     = t.adam;
    const auto steps = ++a.step;
    StepContext c;
    c.t  = &t;
    c.lr = static_cast<float>(lr * std::sqrt(1.0 - std::pow(double{ADAM_BETA2}, steps)) /
                              (1.0 - std::pow(double{ADAM_BETA1}, steps)));
    c.decay1.resize(t.touched_rows.size());
    c.decay2.resize(t.touched_rows.size());
    for (std::size_t r = 0; r < t.touched_rows.size(); ++r) {
        const std::uint32_t missed = steps - a.row_step[t.touched_rows[r]] - 1;
        c.decay1[r] = missed ? static_cast<float>(std::pow(double{ADAM_BETA1}, missed)) : 1.0f;
        c.decay2[r] = missed ? static_cast<float>(std::pow(double{ADAM_BETA2}, missed)) : 1.0f;
        a.row_step[t.touched_rows[r]] = steps;
    }
    for_tiles(t.threads, backward_worker, &c);
    float bias_grad = 0.0f;
    for (const float g : t.work.tile_bias)
        bias_grad += g;
    adam_one(t.model.bias, a.mb, a.vb, bias_grad, c.lr, TRAIN_W1_LIMIT);
    return error;
}

} // namespace tarn
