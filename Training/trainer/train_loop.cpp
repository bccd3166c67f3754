#include "trainer/train_loop.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "trainer/train_export.h"
#include "trainer/train_synthetic.h"

namespace tarn {

namespace {

// Checkpoint file, little-endian:
//   offset  width        field
//   0       8            "TARNTRN1"
//   8       u32 x 3      rows (inputs, or inputs and factor rows), hidden units, buckets
//   20      u32          epochs completed
//   24      u32          Adam step
//   28      f32 x 4      largest hidden sum, bias, bias moments m and v
//   44      f32 ...      w1 (in w1_index order), w2, then moments m1, v1, m2, v2
//   ...     u32 x rows   step of each first-layer row's last update
constexpr char CHECKPOINT_MAGIC[]        = "TARNTRN1";
constexpr int CHECKPOINT_MAGIC_BYTES     = 8;
constexpr const char* CHECKPOINT_NAME    = "last.ckpt";
constexpr int BENCH_EPOCHS               = 2;
constexpr std::uint64_t SHUFFLE_SEED_MIX = 0x9E3779B97F4A7C15ULL;

// Deterministic generator for splits and shuffles (the standard shuffles differ by library).
std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += SHUFFLE_SEED_MIX);
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void shuffle(std::vector<std::uint32_t>& v, std::uint64_t seed) {
    std::uint64_t state = seed;
    for (std::size_t i = v.size(); i > 1; --i)
        std::swap(v[i - 1], v[splitmix(state) % i]);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Little-endian writer and reader over a byte vector.
void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}
void put_f32s(std::vector<std::uint8_t>& out, const float* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        put_u32(out, std::bit_cast<std::uint32_t>(v[i]));
}

struct ByteReader {
    const std::vector<std::uint8_t>* bytes = nullptr;
    std::size_t at                         = 0;
    bool ok                                = true; // false once a read ran past the end
};
std::uint32_t get_u32(ByteReader& r) {
    if (r.at + 4 > r.bytes->size()) {
        r.ok = false;
        return 0;
    }
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= static_cast<std::uint32_t>((*r.bytes)[r.at + k]) << (8 * k);
    r.at += 4;
    return v;
}
float get_f32(ByteReader& r) {
    return std::bit_cast<float>(get_u32(r));
}
void get_f32s(ByteReader& r, std::vector<float>& v) {
    for (float& x : v)
        x = get_f32(r);
}

// Sum of squared errors over positions idx of the set, forward passes only.
double set_error(Trainer& t, const TrainingSet& set, const std::vector<std::uint32_t>& idx,
                 const TrainConfig& c) {
    double total            = 0.0;
    const std::size_t batch = static_cast<std::size_t>(c.batch);
    for (std::size_t at = 0; at < idx.size(); at += batch) {
        gather_batch(set, idx.data() + at, std::min(batch, idx.size() - at), c.lambda,
                     has_factors(t.model), t.batch);
        total += batch_error(t);
    }
    return total;
}

// Trains one epoch over the shuffled training positions; returns the summed squared error.
double train_epoch(Trainer& t, const TrainingSet& set, std::vector<std::uint32_t>& order,
                   const TrainConfig& c, float lr) {
    shuffle(order, c.seed * SHUFFLE_SEED_MIX + t.epoch + 1);
    double total            = 0.0;
    t.max_hidden            = 0.0f;
    const std::size_t batch = static_cast<std::size_t>(c.batch);
    for (std::size_t at = 0; at < order.size(); at += batch) {
        gather_batch(set, order.data() + at, std::min(batch, order.size() - at), c.lambda,
                     has_factors(t.model), t.batch);
        total += train_step(t, lr);
    }
    return total;
}

// Loads training files and prints what was kept and skipped.
bool load_and_report(const std::vector<std::string>& files, const TrainConfig& c, bool hce_labels,
                     TrainingSet& set, std::chrono::steady_clock::time_point start,
                     std::string& error) {
    LoadCounts counts;
    LoadSettings how;
    how.first_score = c.first_score;
    how.quiet_only  = c.quiet_only;
    how.hce_labels  = hce_labels;
    if (!load_training_files(files, set, counts, error, how))
        return false;
    std::printf("records %" PRIu64 ", kept %" PRIu64 ", skipped: in check %" PRIu64
                ", unusable %" PRIu64 ", damaged %" PRIu64 ", not quiet %" PRIu64 " (%.1f s)\n",
                counts.records, counts.kept, counts.in_check, counts.unusable, counts.damaged,
                counts.not_quiet, seconds_since(start));
    if (counts.over_capacity > 0)
        std::printf("%" PRIu64 " records beyond the capacity of one training set ignored\n",
                    counts.over_capacity);
    return true;
}

bool start_model(Trainer& t, const TrainConfig& c, std::string& error) {
    const std::string last = (std::filesystem::path(c.out_dir) / CHECKPOINT_NAME).string();
    trainer_init(t, Model{}, c.threads);
    if (c.resume)
        return load_checkpoint(t, last, error);
    if (c.init_net.empty()) {
        trainer_init(t, model_random(c.seed, c.factorise), c.threads);
        return true;
    }
    QuantNet q;
    if (!read_network_file(c.init_net, q, error))
        return false;
    trainer_init(t, c.factorise ? model_with_factors(dequantise(q)) : dequantise(q), c.threads);
    return true;
}

} // namespace

bool save_checkpoint(const Trainer& t, const std::string& path, std::string& error) {
    std::vector<std::uint8_t> out(CHECKPOINT_MAGIC, CHECKPOINT_MAGIC + CHECKPOINT_MAGIC_BYTES);
    put_u32(out, has_factors(t.model) ? TRAIN_ROWS : TRAIN_INPUTS);
    for (const int v : {TRAIN_HIDDEN, TRAIN_BUCKETS})
        put_u32(out, static_cast<std::uint32_t>(v));
    put_u32(out, t.epoch);
    put_u32(out, t.adam.step);
    const float scalars[] = {t.max_hidden, t.model.bias, t.adam.mb, t.adam.vb};
    put_f32s(out, scalars, 4);
    for (const std::vector<float>* v :
         {&t.model.w1, &t.model.w2, &t.adam.m1, &t.adam.v1, &t.adam.m2, &t.adam.v2})
        put_f32s(out, v->data(), v->size());
    for (const std::uint32_t s : t.adam.row_step)
        put_u32(out, s);
    // Written beside the old one and renamed, so an interrupted save keeps the last good state.
    return write_network_file(path, out, error);
}

bool load_checkpoint(Trainer& t, const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "can't open checkpoint " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::vector<char> chunk(std::size_t{1} << 16);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
    if (bytes.size() < CHECKPOINT_MAGIC_BYTES ||
        !std::equal(bytes.begin(), bytes.begin() + CHECKPOINT_MAGIC_BYTES, CHECKPOINT_MAGIC)) {
        error = path + " is not a trainer checkpoint";
        return false;
    }
    ByteReader r{&bytes, CHECKPOINT_MAGIC_BYTES, true};
    const std::uint32_t inputs = get_u32(r), hidden = get_u32(r), buckets = get_u32(r);
    if ((inputs != TRAIN_INPUTS && inputs != TRAIN_ROWS) || hidden != TRAIN_HIDDEN ||
        buckets != TRAIN_BUCKETS) {
        error = path + " holds a network of other dimensions";
        return false;
    }
    Trainer fresh;
    trainer_init(fresh, model_zero(inputs == TRAIN_ROWS), t.threads);
    fresh.epoch      = get_u32(r);
    fresh.adam.step  = get_u32(r);
    fresh.max_hidden = get_f32(r);
    fresh.model.bias = get_f32(r);
    fresh.adam.mb    = get_f32(r);
    fresh.adam.vb    = get_f32(r);
    for (std::vector<float>* v : {&fresh.model.w1, &fresh.model.w2, &fresh.adam.m1, &fresh.adam.v1,
                                  &fresh.adam.m2, &fresh.adam.v2})
        get_f32s(r, *v);
    for (std::uint32_t& s : fresh.adam.row_step)
        s = get_u32(r);
    if (!r.ok || r.at != bytes.size()) {
        error = path + " is truncated or has extra bytes";
        return false;
    }
    t = std::move(fresh);
    return true;
}

int run_training(const TrainConfig& c) {
    if (!train_prepare_engine()) {
        std::fprintf(stderr, "tarn-train: can't set up the engine's network tables\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    TrainingSet set, held;
    std::string error;
    if (!load_and_report(c.data, c, false, set, start, error) ||
        (!c.hce_data.empty() && !load_and_report(c.hce_data, c, true, set, start, error)) ||
        (!c.val_data.empty() && !load_and_report(c.val_data, c, false, held, start, error))) {
        std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
        return 1;
    }
    if (set_size(set) < 2) {
        std::fprintf(stderr, "tarn-train: too few usable positions to train on\n");
        return 1;
    }
    // The split depends only on the seed and the data, so a resumed run holds out the same.
    std::vector<std::uint32_t> all(set_size(set));
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<std::uint32_t>(i);
    shuffle(all, c.seed);
    std::vector<std::uint32_t> val, order;
    if (c.val_data.empty()) {
        const std::size_t n_val = std::min(
            all.size() - 1,
            static_cast<std::size_t>(std::llround(c.val * static_cast<double>(all.size()))));
        val.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n_val));
        order.assign(all.begin() + static_cast<std::ptrdiff_t>(n_val), all.end());
        std::sort(val.begin(), val.end());
    } else {
        order = std::move(all);
        for (std::size_t i = 0; i < set_size(held); ++i)
            val.push_back(static_cast<std::uint32_t>(i));
    }
    const TrainingSet& val_set = c.val_data.empty() ? set : held;
    std::printf("training on %zu positions, validating on %zu\n", order.size(), val.size());

    Trainer t;
    std::error_code ec;
    std::filesystem::create_directories(c.out_dir, ec);
    if (!start_model(t, c, error)) {
        std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
        return 1;
    }
    if (c.resume)
        std::printf("resuming after epoch %u (step %u)\n", t.epoch, t.adam.step);
    // Exports are measured on held-out positions (or training ones when none are held out).
    const std::vector<std::uint32_t>& pool = val.empty() ? order : val;
    const TrainingSet& pool_set            = val.empty() ? set : val_set;
    std::vector<std::uint32_t> export_idx;
    for (const std::uint32_t k : spread_sample(pool.size(), EXPORT_SAMPLE))
        export_idx.push_back(pool[k]);
    while (t.epoch < static_cast<std::uint32_t>(c.epochs)) {
        const float lr     = static_cast<float>(c.lr * std::pow(c.lr_gamma, t.epoch / c.lr_drop));
        const auto begin   = std::chrono::steady_clock::now();
        const double train = train_epoch(t, set, order, c, lr) / static_cast<double>(order.size());
        const double took  = seconds_since(begin);
        const float seen_max = t.max_hidden;
        const double valid =
            val.empty() ? 0.0 : set_error(t, val_set, val, c) / static_cast<double>(val.size());
        t.max_hidden = seen_max;
        ++t.epoch;
        std::printf("epoch %u/%d  lr %.6f  train loss %.6f  val loss %.6f  %.0f pos/s  "
                    "elapsed %.1f s\n",
                    t.epoch, c.epochs, lr, train, valid, order.size() / took, seconds_since(start));
        const std::filesystem::path dir(c.out_dir);
        const std::string net = (dir / ("epoch-" + std::to_string(t.epoch) + ".net")).string();
        if (!save_checkpoint(t, (dir / CHECKPOINT_NAME).string(), error) ||
            !export_network(t.model, t.max_hidden, pool_set, export_idx, net, error)) {
            std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
            return 1;
        }
        std::fflush(stdout);
    }
    return 0;
}

int run_train_bench(int threads, int positions) {
    if (!train_prepare_engine()) {
        std::fprintf(stderr, "tarn-train: can't set up the engine's network tables\n");
        return 1;
    }
    TrainingSet set;
    if (!add_random_play(set, positions, 1)) {
        std::fprintf(stderr, "tarn-train: out of memory\n");
        return 1;
    }
    TrainConfig c;
    c.threads = threads;
    Trainer t;
    trainer_init(t, model_random(c.seed), threads);
    std::vector<std::uint32_t> order(set_size(set));
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    std::printf("training on %zu positions from random play, batch %d, %d threads\n", order.size(),
                c.batch, t.threads);
    double best = 0.0, best_cpu = 0.0;
    for (int e = 0; e < BENCH_EPOCHS; ++e) {
        const auto begin             = std::chrono::steady_clock::now();
        const std::clock_t cpu_begin = std::clock();
        const double error           = train_epoch(t, set, order, c, static_cast<float>(c.lr));
        const double rate            = order.size() / seconds_since(begin);
        const double cpu = static_cast<double>(std::clock() - cpu_begin) / CLOCKS_PER_SEC;
        best             = std::max(best, rate);
        best_cpu         = std::max(best_cpu, order.size() / cpu);
        ++t.epoch;
        std::printf("epoch %d: loss %.6f, %.0f positions/s, %.0f per CPU second\n", e + 1,
                    error / order.size(), rate, order.size() / cpu);
    }
    // Other processes on the machine slow the wall clock; the CPU figure times our own work.
    std::printf("training speed: %.0f positions/s on %d threads (%.0f per CPU second)\n", best,
                t.threads, best_cpu);
    return 0;
}

} // namespace tarn
