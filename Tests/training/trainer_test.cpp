#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "eval/nn_file.h"
#include "eval/nn_support.h"
#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "search/thread_data.h"
#include "support/test_support.h"
#include "tools/tune_data.h"
#include "trainer/train_export.h"
#include "trainer/train_loop.h"
#include "trainer/train_synthetic.h"

namespace tarn {
namespace {

using test::scratch_path;

// Records of positions from random play, labelled by material, packed as the converter packs
// them; the FENs are kept to compare positions after decoding.
struct RecordFile {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> fens;
};

RecordFile random_records(int count, std::uint32_t seed) {
    RecordFile f;
    random_play(count, seed, [&](const Position& pos) {
        const int score = synthetic_score(pos);
        const TrainingRecord r =
            record_of(pos, score, result_value(win_probability(score + (pos.side ? 40 : -40))));
        f.bytes.resize(f.bytes.size() + TRAINING_RECORD_BYTES);
        pack_training_record(r, f.bytes.data() + f.bytes.size() - TRAINING_RECORD_BYTES);
        f.fens.push_back(write_fen(pos, false));
    });
    return f;
}

std::string write_scratch(const std::string& tag, const std::vector<std::uint8_t>& bytes) {
    const std::string path = scratch_path(tag);
    std::string error;
    EXPECT_TRUE(write_network_file(path, bytes, error)) << error;
    return path;
}

class NetworkTrainer : public test::NetworkTest {
protected:
    void SetUp() override {
        NetworkTest::SetUp();
        test::StdoutCapture quiet;
        ASSERT_TRUE(train_prepare_engine());
    }
};

// Compares the engine's nn_evaluate with the trainer's integer pass on every record of a file;
// returns the number of positions compared.
int expect_engine_agrees(const std::string& net_path, const std::string& data_path,
                         const QuantNet& q, int* saturated = nullptr) {
    {
        test::StdoutCapture quiet;
        copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, net_path.c_str());
        EXPECT_EQ(load_network(live_options.NN_File), NN_LOADED);
    }
    test::ThreadDataHandle td;
    int compared = 0;
    for_each_record(data_path, UINT64_MAX, [&](const std::uint8_t* bytes) {
        TrainingRecord record;
        if (record_position(bytes, *td, record) != RECORD_KEPT)
            return;
        std::uint16_t features[NN_MAX_FEATURES];
        std::uint16_t wings  = 0;
        const int n          = nn_features(td->board.pos, features, wings);
        const QuantEval e    = quantised_eval(q, features, n, nn_bucket(td->board.pos));
        td->board.search_ply = 1;
        EXPECT_EQ(nn_evaluate(td->board.pos, td->eval, td->board.search_ply), e.score)
            << write_fen(td->board.pos, false);
        if (saturated)
            *saturated += e.saturated;
        ++compared;
    });
    return compared;
}

TEST_F(NetworkTrainer, RecordsSurviveThePackerAndDecoder) {
    const RecordFile f = random_records(300, 7);
    test::ThreadDataHandle td;
    for (std::size_t i = 0; i < f.fens.size(); ++i) {
        TrainingRecord r;
        ASSERT_EQ(record_position(f.bytes.data() + i * TRAINING_RECORD_BYTES, *td, r), RECORD_KEPT);
        EXPECT_EQ(write_fen(td->board.pos, false), f.fens[i]);
        EXPECT_EQ(training_record_fen(r), f.fens[i]);
    }
}

TEST_F(NetworkTrainer, BadRecordsAreCountedNotKept) {
    RecordFile f                        = random_records(4, 3);
    f.bytes[0]                          = 0x77; // piece code 7 on a1 and b1: no such piece
    f.bytes[TRAINING_RECORD_BYTES + 32] = 0x20; // side 2
    // The side not to move in check cannot come from a game; the side to move in check is
    // skipped as such, since the engine never evaluates it.
    test::ThreadDataHandle td;
    parse_fen(td->board.pos, "4k3/8/8/8/8/8/8/4R1K1 b - - 0 1");
    Position flipped = td->board.pos;
    flipped.side     = WHITE;
    pack_training_record(record_of(flipped, 0, 0), f.bytes.data() + 3 * TRAINING_RECORD_BYTES);
    f.bytes.resize(5 * TRAINING_RECORD_BYTES + 5); // and a torn tail
    pack_training_record(record_of(td->board.pos, 0, 0),
                         f.bytes.data() + 4 * TRAINING_RECORD_BYTES);

    const std::string path = write_scratch("records", f.bytes);
    TrainingSet set;
    LoadCounts counts;
    std::string error;
    {
        test::StdoutCapture quiet;
        ASSERT_TRUE(load_training_files({path}, set, counts, error)) << error;
    }
    EXPECT_EQ(counts.records, 5u);
    EXPECT_EQ(counts.damaged, 2u);
    EXPECT_EQ(counts.unusable, 1u);
    EXPECT_EQ(counts.in_check, 1u);
    EXPECT_EQ(counts.kept, 1u);
    EXPECT_EQ(set_size(set), 1u);
    EXPECT_FALSE(load_training_files({path + ".missing"}, set, counts, error));
    EXPECT_NE(error.find("can't open"), std::string::npos);
    // A folder of record files is not itself a record file: named, not read as empty.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    EXPECT_FALSE(load_training_files({folder}, set, counts, error));
    EXPECT_EQ(error, "can't open " + folder + ": it is a directory (name its record files)");
    std::filesystem::remove(path);
}

// The relabelling search's score is the default label; the game's can be asked for.
TEST_F(NetworkTrainer, LabelsComeFromTheChosenScore) {
    test::ThreadDataHandle td;
    parse_fen(td->board.pos, "4k3/8/8/8/8/8/3P4/4K3 w - - 0 1");
    TrainingRecord r = record_of(td->board.pos, 0, 0);
    r.score_first    = 120;
    r.score_second   = -35;
    std::vector<std::uint8_t> bytes(TRAINING_RECORD_BYTES);
    pack_training_record(r, bytes.data());
    const std::string path = write_scratch("scores", bytes);
    for (const bool first : {false, true}) {
        TrainingSet set;
        LoadCounts counts;
        std::string error;
        test::StdoutCapture quiet;
        LoadSettings how;
        how.first_score = first;
        ASSERT_TRUE(load_training_files({path}, set, counts, error, how)) << error;
        ASSERT_EQ(set.scores.size(), 1u);
        EXPECT_EQ(set.scores[0], first ? 120 : -35);
    }
    std::filesystem::remove(path);
}

// Records labelled by the hand-crafted evaluation: their own scores and results are ignored,
// and every blend of score and result aims at that evaluation's win probability.
TEST_F(NetworkTrainer, HandCraftedLabelsReplaceTheRecordsLabels) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "4k3/8/8/3q4/8/8/8/4K3 w - - 0 1",                                     // a queen down
        "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 0 1", // black to move
        "8/5k2/8/8/8/2K5/1P6/8 w - - 0 1",
    };
    test::ThreadDataHandle td;
    std::vector<std::uint8_t> bytes;
    std::vector<int> expected;
    for (const char* fen : fens) {
        ASSERT_EQ(parse_fen(td->board.pos, fen), FEN_OK) << fen;
        td->board.search_ply = 1;
        expected.push_back(hce_evaluate(td->board.pos, td->eval, td->board.pos.side, 1));
        bytes.resize(bytes.size() + TRAINING_RECORD_BYTES);
        pack_training_record(record_of(td->board.pos, 777, -RESULT_VALUE_WIN),
                             bytes.data() + bytes.size() - TRAINING_RECORD_BYTES);
    }
    EXPECT_LT(expected[1], -500);
    const std::string path = write_scratch("hce", bytes);
    TrainingSet set;
    LoadCounts counts;
    std::string error;
    LoadSettings how;
    how.hce_labels = true;
    {
        test::StdoutCapture quiet;
        ASSERT_TRUE(load_training_files({path}, set, counts, error, how)) << error;
    }
    ASSERT_EQ(set_size(set), std::size(fens));
    for (std::size_t i = 0; i < set_size(set); ++i) {
        EXPECT_EQ(set.scores[i], std::clamp(expected[i], -NN_SCORE_LIMIT, NN_SCORE_LIMIT)) << i;
        for (const double lambda : {0.0, 0.5, 1.0})
            EXPECT_NEAR(training_target(set.scores[i], set.results[i], lambda),
                        win_probability(set.scores[i]), 0.002)
                << i << " " << lambda;
    }
    std::filesystem::remove(path);
}

// Positions where the mover wins material by a capture are left out on request: their
// scores count an exchange that the static evaluation cannot see.
TEST_F(NetworkTrainer, QuietOnlyLeavesOutWinningCaptures) {
    struct Case {
        const char* fen;
        bool capture_wins;
    };
    const Case cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false},
        {"4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1", true},    // the queen hangs
        {"4k3/8/4p3/3p4/8/8/3R4/4K3 w - - 0 1", false}, // rook for a defended pawn
        {"4k3/8/4p3/3n4/2P5/8/8/4K3 w - - 0 1", true},  // pawn takes a defended knight
        {"4k3/8/8/3q4/8/8/3R4/K7 b - - 0 1", true},     // black's queen takes the rook
        {"4k3/8/8/3q4/8/8/3R4/4K3 b - - 0 1", false},   // but not when the king guards it
        {"3rk3/8/8/8/8/8/8/3QK3 b - - 0 1", true},      // rook takes the undefended queen
        {"3rk3/8/8/8/8/8/3R4/3QK3 b - - 0 1", false},   // the rook would be lost for nothing
    };
    test::ThreadDataHandle td;
    std::vector<std::uint8_t> bytes;
    int winning = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(parse_fen(td->board.pos, c.fen), FEN_OK) << c.fen;
        EXPECT_EQ(capture_wins_material(td->board.pos), c.capture_wins) << c.fen;
        winning += c.capture_wins;
        bytes.resize(bytes.size() + TRAINING_RECORD_BYTES);
        pack_training_record(record_of(td->board.pos, 0, 0),
                             bytes.data() + bytes.size() - TRAINING_RECORD_BYTES);
    }
    const std::string path = write_scratch("quiet", bytes);
    for (const bool quiet_only : {false, true}) {
        TrainingSet set;
        LoadCounts counts;
        std::string error;
        test::StdoutCapture quiet;
        LoadSettings how;
        how.quiet_only = quiet_only;
        ASSERT_TRUE(load_training_files({path}, set, counts, error, how)) << error;
        const std::size_t all = std::size(cases);
        EXPECT_EQ(counts.records, all);
        EXPECT_EQ(counts.not_quiet, quiet_only ? static_cast<std::size_t>(winning) : 0u);
        EXPECT_EQ(set_size(set), quiet_only ? all - winning : all);
    }
    std::filesystem::remove(path);
}

TEST(TrainingTarget, BlendsScoreAndResult) {
    EXPECT_EQ(result_probability(RESULT_VALUE_WIN), 1.0);
    EXPECT_EQ(result_probability(-RESULT_VALUE_WIN), 0.0);
    EXPECT_DOUBLE_EQ(result_probability(0), 0.5);
    for (const double r : {0.1, 0.3, 0.75, 0.9})
        EXPECT_NEAR(result_probability(result_value(r)), r, 0.002) << r;
    EXPECT_DOUBLE_EQ(training_target(0, RESULT_VALUE_WIN, 0.25), 0.25 * 0.5 + 0.75);
    EXPECT_DOUBLE_EQ(training_target(300, -RESULT_VALUE_WIN, 1.0), win_probability(300));
}

// A batch of the first positions of a set, with targets far from the start so that every
// gradient is clearly non-zero.
Batch first_batch(const TrainingSet& set, std::size_t n) {
    std::vector<std::uint32_t> idx(n);
    for (std::size_t i = 0; i < n; ++i)
        idx[i] = static_cast<std::uint32_t>(i);
    Batch b;
    gather_batch(set, idx.data(), n, 0.5, false, b);
    for (std::size_t i = 0; i < n; ++i)
        b.targets[i] = i % 2 ? 0.95f : 0.05f;
    return b;
}

double mean_loss(const Model& m, const Batch& b) {
    BatchWork w;
    work_prepare(w, b);
    forward_tiles(m, b, 0, TRAIN_TILES, w);
    return finish_forward(b, w) / static_cast<double>(batch_size(b));
}

// Gradients of the batch's loss by the kernels, single-threaded, with the bias's summed in.
Gradients batch_gradients(const Model& m, const Batch& b) {
    BatchWork w;
    work_prepare(w, b);
    forward_tiles(m, b, 0, TRAIN_TILES, w);
    finish_forward(b, w);
    Gradients g = gradients_zero(m);
    backward_tiles(m, b, 0, TRAIN_TILES, w, g);
    for (const float x : w.tile_bias)
        g.bias += x;
    return g;
}

TEST_F(NetworkTrainer, GradientsMatchFiniteDifferences) {
    TrainingSet set;
    ASSERT_TRUE(add_random_play(set, 24, 11));
    Model m = model_random(5);
    // Hidden sums of a few units in size: few of them lie within the step of the kink at 0,
    // and the negative bias puts many on the leaky side.
    for (float& w : m.w1)
        w *= 10.0f;
    m.bias            = -0.5f;
    const Batch b     = first_batch(set, 24);
    const Gradients g = batch_gradients(m, b);

    const float eps    = 1e-3f;
    const auto numeric = [&](float& param) {
        const float keep = param;
        param            = keep + eps;
        const double up  = mean_loss(m, b);
        param            = keep - eps;
        const double dn  = mean_loss(m, b);
        param            = keep;
        return (up - dn) / (2.0 * eps);
    };
    const auto expect_close = [](double analytic, double num, const char* what, int at) {
        EXPECT_NEAR(analytic, num, 0.03 * std::abs(num) + 2e-5) << what << " " << at;
    };
    const int row = b.features[0]; // a piece of the first position
    for (int j : {0, 5, 100, 450, 895})
        expect_close(g.w1[w1_index(row, j)], numeric(m.w1[w1_index(row, j)]), "w1", j);
    const std::size_t bucket = b.buckets[0];
    for (int j : {3, 77, 500, 894})
        expect_close(g.w2[bucket * TRAIN_HIDDEN + j], numeric(m.w2[bucket * TRAIN_HIDDEN + j]),
                     "w2", j);
    expect_close(g.bias, numeric(m.bias), "bias", 0);
    // A row no position uses gets no gradient at all.
    const int unused = TRAIN_INPUTS - 1;
    for (int j = 0; j < TRAIN_HIDDEN; ++j)
        ASSERT_EQ(g.w1[w1_index(unused, j)], 0.0f) << j;
}

// Adam written out plainly, one weight at a time, with a row's moments decayed by the steps
// it missed when it comes back (its weights stay as they were meanwhile).
struct ReferenceAdam {
    Model model;
    std::vector<float> m1, v1, m2, v2;
    float mb = 0.0f, vb = 0.0f;
    std::vector<int> last; // step of each row's last update
    int step = 0;

    explicit ReferenceAdam(Model start)
        : model(std::move(start)), m1(model.w1.size()), v1(model.w1.size()), m2(model.w2.size()),
          v2(model.w2.size()), last(TRAIN_INPUTS, 0) {}

    static void update(float& w, float& m, float& v, double g, double lr, float limit) {
        m = static_cast<float>(0.9 * m + 0.1 * g);
        v = static_cast<float>(0.999 * v + 0.001 * g * g);
        w = static_cast<float>(
            std::clamp(w - lr * m / (std::sqrt(double{v}) + 1e-8), double{-limit}, double{limit}));
    }

    void train(const Batch& b, double lr) {
        const Gradients g = batch_gradients(model, b);
        ++step;
        const double rate =
            lr * std::sqrt(1.0 - std::pow(0.999, step)) / (1.0 - std::pow(0.9, step));
        std::vector<bool> used(TRAIN_INPUTS, false);
        for (const std::uint16_t f : b.features)
            used[f] = true;
        for (int f = 0; f < TRAIN_INPUTS; ++f) {
            if (!used[f])
                continue;
            const int missed = step - last[f] - 1;
            last[f]          = step;
            for (int j = 0; j < TRAIN_HIDDEN; ++j) {
                const std::size_t k = w1_index(f, j);
                m1[k]               = static_cast<float>(m1[k] * std::pow(0.9, missed));
                v1[k]               = static_cast<float>(v1[k] * std::pow(0.999, missed));
                update(model.w1[k], m1[k], v1[k], g.w1[k], rate, TRAIN_W1_LIMIT);
            }
        }
        for (std::size_t k = 0; k < model.w2.size(); ++k)
            update(model.w2[k], m2[k], v2[k], g.w2[k], rate, TRAIN_W2_LIMIT);
        update(model.bias, mb, vb, g.bias, rate, TRAIN_W1_LIMIT);
    }
};

void expect_close(const std::vector<float>& got, const std::vector<float>& want, float tolerance,
                  const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t k = 0; k < got.size(); ++k)
        ASSERT_NEAR(got[k], want[k], tolerance * (1.0f + std::fabs(want[k]))) << what << " " << k;
}

TEST_F(NetworkTrainer, StepsAreAdamWithLazyRows) {
    TrainingSet set;
    ASSERT_TRUE(add_random_play(set, 40, 17));
    std::vector<std::uint32_t> idx(set_size(set));
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = static_cast<std::uint32_t>(i);
    Trainer t;
    trainer_init(t, model_random(9), 2);
    ReferenceAdam ref(model_random(9));
    // Batches of different positions, then the first again: rows used by the first batch and
    // not the second come back after a missed step.
    const int order[] = {0, 1, 0, 1, 1, 0};
    const float lr    = 0.01f;
    for (const int k : order) {
        gather_batch(set, idx.data() + 20 * k, 20, 0.6, false, t.batch);
        const Batch b = t.batch;
        train_step(t, lr);
        ref.train(b, lr);
    }
    expect_close(t.model.w1, ref.model.w1, 1e-5f, "w1");
    expect_close(t.model.w2, ref.model.w2, 1e-5f, "w2");
    expect_close(t.adam.m1, ref.m1, 1e-5f, "m1");
    expect_close(t.adam.v1, ref.v1, 1e-5f, "v1");
    EXPECT_NEAR(t.model.bias, ref.model.bias, 1e-5f);
    // The weights moved: the comparison is not of two untouched models.
    const Model start = model_random(9);
    float moved       = 0.0f;
    for (std::size_t k = 0; k < start.w1.size(); ++k)
        moved = std::max(moved, std::fabs(t.model.w1[k] - start.w1[k]));
    EXPECT_GT(moved, 1e-3f);
}

TEST_F(NetworkTrainer, StepsDependOnNeitherThreadsNorResume) {
    TrainingSet set;
    ASSERT_TRUE(add_random_play(set, 600, 21));
    std::vector<std::uint32_t> idx(set_size(set));
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = static_cast<std::uint32_t>(i);
    const auto step = [&](Trainer& t, int k) {
        gather_batch(set, idx.data() + 300 * k, 300, 0.7, false, t.batch);
        train_step(t, 0.01f);
    };
    Trainer one, two;
    trainer_init(one, model_random(3), 1);
    trainer_init(two, model_random(3), 2);
    step(one, 0);
    step(two, 0);
    const std::string path = scratch_path("ckpt");
    std::string error;
    ASSERT_TRUE(save_checkpoint(two, path, error)) << error;
    // A plain model's checkpoint keeps its layout: one step counter per engine row, so files
    // written before factor rows existed still load.
    const std::size_t w1 = static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN;
    const std::size_t w2 = static_cast<std::size_t>(TRAIN_BUCKETS) * TRAIN_HIDDEN;
    EXPECT_EQ(std::filesystem::file_size(path), 44 + 4 * (3 * (w1 + w2)) + 4 * TRAIN_INPUTS);
    Trainer resumed;
    trainer_init(resumed, model_zero(), 2);
    ASSERT_TRUE(load_checkpoint(resumed, path, error)) << error;
    step(one, 1);
    step(two, 1);
    step(resumed, 1);
    EXPECT_TRUE(one.model.w1 == two.model.w1 && one.model.w2 == two.model.w2);
    EXPECT_TRUE(two.model.w1 == resumed.model.w1 && two.model.w2 == resumed.model.w2);
    EXPECT_EQ(two.model.bias, resumed.model.bias);
    EXPECT_EQ(two.adam.row_step, resumed.adam.row_step);

    // A row no batch used keeps its starting weights.
    const Model start = model_random(3);
    for (int j = 0; j < TRAIN_HIDDEN; ++j)
        ASSERT_EQ(one.model.w1[w1_index(TRAIN_INPUTS - 1, j)],
                  start.w1[w1_index(TRAIN_INPUTS - 1, j)]);

    // A cut checkpoint is refused with a message.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 4);
    EXPECT_FALSE(load_checkpoint(resumed, path, error));
    EXPECT_NE(error.find("truncated"), std::string::npos);
    std::filesystem::remove(path);
}

TEST(Quantisation, EveryIntegerWeightHasAStoredValueWithinTheLimit) {
    EXPECT_EQ(nn_scale_weight(NN_EMBEDDED_WEIGHT_LIMIT), QUANT_WEIGHT_LIMIT);
    for (int e = -QUANT_WEIGHT_LIMIT; e <= QUANT_WEIGHT_LIMIT; ++e) {
        const int s = stored_weight(e);
        ASSERT_EQ(nn_scale_weight(s), e) << e;
        ASSERT_LE(std::abs(s), NN_EMBEDDED_WEIGHT_LIMIT) << e;
    }
}

TEST(Quantisation, ScalesRespectWeightAndAccumulatorRanges) {
    Model m                = model_random(9);
    m.w1[w1_index(0, 123)] = 4.0f; // the largest first-layer weight decides the hidden scale
    m.w2[7]                = 0.9f;
    HiddenStats stats;
    stats.max_abs = 10.0;
    QuantScales s = choose_scales(m, stats);
    EXPECT_NEAR(s.hidden * s.output, QUANT_SCALE_PRODUCT, 1e-6);
    EXPECT_LE(4.0 * s.hidden, QUANT_WEIGHT_LIMIT + 1e-9);
    EXPECT_LE(10.0 * s.hidden, QUANT_ACCUMULATOR_TARGET + 1e-9);
    QuantNet q = quantise(m, s);
    EXPECT_EQ(s.clipped_output, 0);
    EXPECT_EQ(q.w1[123], QUANT_WEIGHT_LIMIT);
    // Sums of 1000 force a small hidden scale, which the large output weight cannot follow.
    stats.max_abs = 1000.0;
    s             = choose_scales(m, stats);
    q             = quantise(m, s);
    EXPECT_EQ(s.clipped_output, 1);
    EXPECT_EQ(q.w2[7], QUANT_WEIGHT_LIMIT);
    const auto in_range = [](std::int16_t w) { return std::abs(w) <= QUANT_WEIGHT_LIMIT; };
    EXPECT_TRUE(std::all_of(q.w1.begin(), q.w1.end(), in_range));
    EXPECT_TRUE(std::all_of(q.w2.begin(), q.w2.end(), in_range));
}

TEST_F(NetworkTrainer, TrainedNetworkScoresExactlyAsTheEngine) {
    const RecordFile f        = random_records(2000, 5);
    const std::string data    = write_scratch("data", f.bytes);
    const std::string netfile = scratch_path("net");
    TrainingSet set;
    LoadCounts counts;
    std::string error;
    ASSERT_TRUE(load_training_files({data}, set, counts, error)) << error;
    // Trained with factor rows, which the export folds into the engine's rows.
    Trainer t;
    trainer_init(t, model_random(1, true), 2);
    std::vector<std::uint32_t> idx(set_size(set));
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = static_cast<std::uint32_t>(i);
    gather_batch(set, idx.data(), idx.size(), 0.75, true, t.batch);
    const double before = batch_error(t);
    for (int epoch = 0; epoch < 3; ++epoch)
        for (std::size_t at = 0; at < idx.size(); at += 500) {
            gather_batch(set, idx.data() + at, std::min<std::size_t>(500, idx.size() - at), 0.75,
                         true, t.batch);
            train_step(t, 0.002f);
        }
    gather_batch(set, idx.data(), idx.size(), 0.75, true, t.batch);
    const double after = batch_error(t);
    EXPECT_LT(after, 0.7 * before);                             // material is easy to learn
    const int king           = factor_row(t.batch.features[0]); // the side to move's king
    const auto factor_weight = [&](int j) { return t.model.w1[w1_index(king, j, TRAIN_ROWS)]; };
    EXPECT_NE(factor_weight(0), 0.0f);
    EXPECT_NE(factor_weight(TRAIN_HIDDEN - 1), 0.0f);
    // The folded model on the engine's features computes what the trained one did.
    Trainer folded;
    trainer_init(folded, model_folded(t.model), 1);
    gather_batch(set, idx.data(), idx.size(), 0.75, false, folded.batch);
    EXPECT_NEAR(batch_error(folded), after, 1e-4 * after);
    EXPECT_FALSE(has_factors(folded.model)); // the engine's rows alone, as the file holds them
    // A factorised run's checkpoint resumes factorised.
    const std::string ckpt = scratch_path("fckpt");
    ASSERT_TRUE(save_checkpoint(t, ckpt, error)) << error;
    Trainer resumed;
    trainer_init(resumed, model_zero(), 1);
    ASSERT_TRUE(load_checkpoint(resumed, ckpt, error)) << error;
    EXPECT_TRUE(has_factors(resumed.model));
    EXPECT_TRUE(resumed.model.w1 == t.model.w1);
    std::filesystem::remove(ckpt);

    const std::vector<std::uint32_t> sample = spread_sample(idx.size(), 400);
    {
        test::StdoutCapture quiet;
        ASSERT_TRUE(export_network(t.model, t.max_hidden, set, sample, netfile, error)) << error;
    }
    QuantNet q;
    ASSERT_TRUE(read_network_file(netfile, q, error)) << error;
    const Model& m    = folded.model;
    const Agreement a = measure_agreement(m, q, set, idx);
    EXPECT_EQ(a.saturated, 0u);
    EXPECT_LT(a.mean_abs, 1.0);
    // The balanced hidden scale follows the float model more closely than the largest one.
    HiddenStats stats    = hidden_stats(m, set, sample);
    QuantScales balanced = choose_scales(m, stats);
    stats.mean_square    = 0.0;
    QuantScales largest  = choose_scales(m, stats);
    EXPECT_LT(balanced.hidden, largest.hidden);
    EXPECT_LT(measure_agreement(m, quantise(m, balanced), set, sample).mean_abs,
              measure_agreement(m, quantise(m, largest), set, sample).mean_abs);
    EXPECT_EQ(expect_engine_agrees(netfile, data, q), static_cast<int>(set_size(set)));
    {
        test::StdoutCapture quiet;
        EXPECT_EQ(run_check(netfile, data, 300), 0);
    }
    std::filesystem::remove(data);
    std::filesystem::remove(netfile);
}

TEST_F(NetworkTrainer, SaturatingNetworkStillScoresExactlyAsTheEngine) {
    const RecordFile f     = random_records(500, 8);
    const std::string data = write_scratch("data", f.bytes);
    // Large random integers make the 16-bit sums clamp on the way, in list order.
    QuantNet q;
    std::uint64_t state = 12345;
    const auto draw     = [&]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::int16_t>(static_cast<int>((state >> 33) % 10803) - 5401);
    };
    q.w1.resize(static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN);
    q.w2.resize(static_cast<std::size_t>(TRAIN_BUCKETS) * TRAIN_HIDDEN);
    std::generate(q.w1.begin(), q.w1.end(), draw);
    std::generate(q.w2.begin(), q.w2.end(),
                  [&]() { return static_cast<std::int16_t>(draw() / 64); });
    q.bias                    = 3000;
    const std::string netfile = write_scratch("net", network_file_bytes(q));
    QuantNet back;
    std::string error;
    ASSERT_TRUE(read_network_file(netfile, back, error)) << error;
    EXPECT_TRUE(back.w1 == q.w1 && back.w2 == q.w2 && back.bias == q.bias);
    int saturated = 0;
    EXPECT_EQ(expect_engine_agrees(netfile, data, q, &saturated), 500);
    EXPECT_GT(saturated, 100);
    std::filesystem::remove(data);
    std::filesystem::remove(netfile);
}

TEST_F(NetworkTrainer, DamagedNetworkFilesAreRefused) {
    QuantNet q;
    q.w1.assign(static_cast<std::size_t>(TRAIN_INPUTS) * TRAIN_HIDDEN, 1);
    q.w2.assign(static_cast<std::size_t>(TRAIN_BUCKETS) * TRAIN_HIDDEN, 1);
    std::vector<std::uint8_t> bytes = network_file_bytes(q);
    EXPECT_EQ(bytes.size(), NN_STANDARD_FILE_BYTES);
    bytes.pop_back();
    const std::string path = write_scratch("net", bytes);
    QuantNet back;
    std::string error;
    EXPECT_FALSE(read_network_file(path, back, error));
    EXPECT_NE(error.find("standard size"), std::string::npos);
    std::filesystem::remove(path);
}

} // namespace
} // namespace tarn
