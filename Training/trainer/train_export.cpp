#include "trainer/train_export.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "eval/nn.h"
#include "eval/nn_file.h"
#include "frontend/engine_options.h"
#include "search/thread_data.h"
#include "trainer/train_loop.h"

namespace tarn {

HiddenStats hidden_stats(const Model& m, const TrainingSet& set,
                         const std::vector<std::uint32_t>& sample) {
    HiddenStats s;
    double squares = 0.0, features = 0.0;
    std::vector<float> h(TRAIN_HIDDEN);
    for (const std::uint32_t i : sample) {
        std::fill(h.begin(), h.end(), m.bias);
        for (std::uint32_t k = set.starts[i]; k < set.starts[i + 1]; ++k)
            for (int j = 0; j < TRAIN_HIDDEN; ++j)
                h[j] += m.w1[w1_index(set.features[k], j)];
        for (const float x : h) {
            const double a = x < 0.0f ? x * TRAIN_LEAK : x;
            s.max_abs      = std::max(s.max_abs, static_cast<double>(std::abs(x)));
            squares += a * a;
        }
        features += set.starts[i + 1] - set.starts[i];
    }
    if (!sample.empty()) {
        s.mean_square   = squares / (static_cast<double>(sample.size()) * TRAIN_HIDDEN);
        s.mean_features = features / static_cast<double>(sample.size());
    }
    return s;
}

std::vector<std::uint32_t> spread_sample(std::size_t size, std::size_t limit) {
    std::vector<std::uint32_t> idx;
    const std::size_t step = std::max<std::size_t>(1, size / std::max<std::size_t>(limit, 1));
    for (std::size_t i = 0; i < size && idx.size() < limit; i += step)
        idx.push_back(static_cast<std::uint32_t>(i));
    return idx;
}

Agreement measure_agreement(const Model& m, const QuantNet& q, const TrainingSet& set,
                            const std::vector<std::uint32_t>& idx) {
    Agreement a;
    double total = 0.0;
    for (const std::uint32_t i : idx) {
        const std::uint16_t* f = set.features.data() + set.starts[i];
        const int n            = static_cast<int>(set.starts[i + 1] - set.starts[i]);
        const QuantEval e      = quantised_eval(q, f, n, set.buckets[i]);
        // Truncated toward zero, as the engine turns its probability into centipawns.
        const double cp   = std::trunc(logit_centipawns(model_output(m, f, n, set.buckets[i])));
        const double diff = std::abs(cp - e.score);
        total += diff;
        a.max_abs = std::max(a.max_abs, static_cast<int>(std::ceil(diff)));
        a.within_1 += diff <= 1.0;
        a.within_5 += diff <= 5.0;
        a.peak = std::max(a.peak, e.peak);
        a.saturated += e.saturated;
        ++a.positions;
    }
    a.mean_abs = a.positions ? total / static_cast<double>(a.positions) : 0.0;
    return a;
}

void print_agreement(const Agreement& a) {
    const double n = a.positions ? static_cast<double>(a.positions) : 1.0;
    std::printf("float vs quantised on %zu positions: mean |diff| %.3f cp, max %d cp, "
                "within 1 cp %.2f%%, within 5 cp %.2f%%\n",
                a.positions, a.mean_abs, a.max_abs, 100.0 * a.within_1 / n, 100.0 * a.within_5 / n);
    std::printf("largest accumulator |sum| %d of %d; positions saturating: %zu\n", a.peak,
                QUANT_ACCUMULATOR_MAX, a.saturated);
}

bool export_network(const Model& trained, double max_hidden, const TrainingSet& set,
                    const std::vector<std::uint32_t>& sample, const std::string& path,
                    std::string& error) {
    const Model m     = model_folded(trained);
    HiddenStats stats = hidden_stats(m, set, sample);
    stats.max_abs     = std::max(stats.max_abs, max_hidden);
    std::printf("largest float hidden sum %.3f, mean squared activation %.4f\n", stats.max_abs,
                stats.mean_square);
    QuantScales scales = choose_scales(m, stats);
    QuantNet q         = quantise(m, scales);
    Agreement a        = measure_agreement(m, q, set, sample);
    // Partial sums in list order can run past the final ones: back off until none saturates.
    for (int retry = 0; retry < QUANT_RETRIES && a.saturated > 0; ++retry) {
        scales.hidden *= QUANT_RETRY_SHRINK;
        scales.output = QUANT_SCALE_PRODUCT / scales.hidden;
        q             = quantise(m, scales);
        a             = measure_agreement(m, q, set, sample);
    }
    std::printf("scales: hidden %.2f, output %.2f; output weights clipped: %d\n", scales.hidden,
                scales.output, scales.clipped_output);
    print_agreement(a);
    const std::vector<std::uint8_t> bytes = network_file_bytes(q);
    if (!write_network_file(path, bytes, error))
        return false;
    std::printf("wrote %s (%zu bytes), content tag %s\n", path.c_str(), bytes.size(),
                content_tag(bytes).c_str());
    return true;
}

int run_export(const std::string& checkpoint, const std::string& out,
               const std::vector<std::string>& data) {
    if (!train_prepare_engine()) {
        std::fprintf(stderr, "tarn-train: can't set up the engine's network tables\n");
        return 1;
    }
    Trainer t;
    trainer_init(t, Model{}, 1);
    std::string error;
    TrainingSet set;
    LoadCounts counts;
    if (!load_checkpoint(t, checkpoint, error) ||
        (!data.empty() && !load_training_files(data, set, counts, error))) {
        std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
        return 1;
    }
    const std::vector<std::uint32_t> sample = spread_sample(set_size(set), EXPORT_SAMPLE);
    if (!export_network(t.model, t.max_hidden, set, sample, out, error)) {
        std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int run_check(const std::string& net_path, const std::string& data_path, std::uint64_t n) {
    if (!train_prepare_engine()) {
        std::fprintf(stderr, "tarn-train: can't set up the engine's network tables\n");
        return 1;
    }
    std::string error;
    QuantNet q;
    if (net_path.size() + 1 > OPTION_NAME_CHARS) {
        std::fprintf(stderr, "tarn-train: network path longer than %d characters\n",
                     OPTION_NAME_CHARS - 1);
        return 1;
    }
    if (!read_network_file(net_path, q, error)) {
        std::fprintf(stderr, "tarn-train: %s\n", error.c_str());
        return 1;
    }
    if (load_network(net_path.c_str()) != NN_LOADED) {
        std::fprintf(stderr, "tarn-train: the engine did not load %s\n", net_path.c_str());
        return 1;
    }
    ThreadData* td = thread_data_create();
    if (!td) {
        std::fprintf(stderr, "tarn-train: out of memory\n");
        return 1;
    }
    LoadCounts counts;
    std::uint64_t compared = 0, mismatches = 0;
    const auto visit = [&](const std::uint8_t* bytes) {
        TrainingRecord record;
        const RecordVerdict verdict = record_position(bytes, *td, record);
        count_verdict(counts, verdict);
        if (verdict != RECORD_KEPT)
            return;
        std::uint16_t features[NN_MAX_FEATURES];
        std::uint16_t opposite_wings = 0;
        const int count              = nn_features(td->board.pos, features, opposite_wings);
        const QuantEval mine         = quantised_eval(q, features, count, nn_bucket(td->board.pos));
        // Ply 1 makes the engine compute the sums from scratch and skip its evaluation cache.
        const int engine = nn_evaluate(td->board.pos, td->eval, 1);
        ++compared;
        if (engine != mine.score && ++mismatches <= 10)
            std::printf("mismatch: %s engine %d trainer %d\n", training_record_fen(record).c_str(),
                        engine, mine.score);
    };
    const bool opened = for_each_record(data_path, n, visit);
    thread_data_destroy(td);
    if (!opened) {
        std::fprintf(stderr, "tarn-train: can't open %s\n", data_path.c_str());
        return 1;
    }
    std::printf("records %" PRIu64 ", compared %" PRIu64 ", skipped %" PRIu64 " (in check %" PRIu64
                ", unusable %" PRIu64 ", damaged %" PRIu64 ")\n",
                counts.records, compared, counts.records - compared, counts.in_check,
                counts.unusable, counts.damaged);
    std::printf("mismatches: %" PRIu64 "\n", mismatches);
    return mismatches == 0 ? 0 : 1;
}

} // namespace tarn
