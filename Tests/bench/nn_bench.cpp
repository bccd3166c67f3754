// Network evaluation speed, beside the hand-crafted evaluation's on the same positions.
//   tarn_nnbench FILE... [--roots N] [--net NETWORK]
// Each FILE holds one FEN per line (text after the first ';' is ignored). From each of the
// first N positions (all by default) a two-ply tree of legal moves is walked, and every node
// not in check is evaluated; each walk runs on a fresh thread record:
//   hand-crafted  at the root ply, so no cache answers;
//   from scratch  the network at the root ply: every first layer computed from all features;
//   incremental   the network from ply 3 on: first layers updated by difference.
// The network is NETWORK, else the built-in one, else a synthetic network of the standard
// dimensions with random weights, which is as fast as a trained one but plays no chess.

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_positions.h"
#include "bench/bench_walk.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "frontend/engine_options.h"
#include "frontend/startup.h"
#include "search/thread_data.h"
#include "support/nn_synthetic.h"

namespace {

using namespace tarn;

constexpr int TREE_DEPTH         = 2;
constexpr int INCREMENTAL_PLY    = 3;
constexpr std::uint32_t NET_SEED = 20240601;

enum Evaluator { WALK_ONLY, HAND_CRAFTED, NETWORK_SCRATCH, NETWORK_INCREMENTAL };

int evaluate(ThreadData& td, Evaluator which) {
    if (which == WALK_ONLY)
        return td.board.pos.rule50;
    if (which == HAND_CRAFTED)
        return hce_evaluate(td.board.pos, td.eval, td.board.pos.side, 1);
    if (which == NETWORK_SCRATCH) {
        // Every node evaluated as a root: no cache hit, and a fresh first layer.
        const std::int16_t ply = td.board.search_ply;
        td.board.search_ply    = 1;
        const int score        = nn_evaluate(td.board.pos, td.eval, td.board.search_ply);
        td.board.search_ply    = ply;
        return score;
    }
    return nn_evaluate(td.board.pos, td.eval, td.board.search_ply);
}

struct RunResult {
    WalkRun walk;
    std::uint64_t by_difference = 0; // first layers updated by difference
    std::uint64_t from_scratch  = 0;
};

RunResult run(const std::vector<std::string>& fens, Evaluator which) {
    ThreadData* td     = bench_thread_data();
    const auto at_root = [which](ThreadData& t) {
        t.board.search_ply =
            static_cast<std::int16_t>(which == NETWORK_INCREMENTAL ? INCREMENTAL_PLY : 1);
    };
    RunResult r;
    r.walk          = bench_time_walks(*td, fens, TREE_DEPTH, 1, at_root,
                                       [which](ThreadData& t) { return evaluate(t, which); });
    r.by_difference = td->eval.nn.incremental_updates;
    r.from_scratch  = td->eval.nn.refreshes;
    thread_data_destroy(td);
    return r;
}

// One line per evaluator: evaluations per second, and the time of one evaluation alone, the
// tree walk's share taken off.
void report(const char* label, const RunResult& r, const RunResult& walk_only) {
    const double n     = static_cast<double>(r.walk.totals.evaluations);
    const double alone = (r.walk.seconds - walk_only.walk.seconds) / (n + 1e-9) * 1e9;
    bench_print_rate(label, r.walk);
    std::printf("  %6.0f ns per evaluation", alone);
    const std::uint64_t updates = r.by_difference + r.from_scratch;
    if (updates)
        std::printf("  (%.1f%% by difference)",
                    100.0 * static_cast<double>(r.by_difference) / static_cast<double>(updates));
    std::printf("\n");
}

// Loads the network to time; false when there is none to load.
bool load_bench_network(const char* path) {
    if (path) {
        copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, path);
        return load_network(live_options.NN_File) == NN_LOADED;
    }
    if (nn_has_embedded()) {
        copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, NN_EMBEDDED_NAME);
        return load_network(live_options.NN_File) == NN_LOADED;
    }
    test::SyntheticNet net;
    net.seed = NET_SEED;
    const std::string file =
        (std::filesystem::temp_directory_path() / "tarn_nnbench_synthetic.net").string();
    if (!test::write_bytes(file, test::network_file_bytes(net, test::synthetic_weights(net))))
        return false;
    std::printf("synthetic network of the standard dimensions (random weights)\n");
    copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, file.c_str());
    const bool loaded = load_network(live_options.NN_File) == NN_LOADED;
    std::filesystem::remove(file);
    return loaded;
}

} // namespace

int main(int argc, char** argv) {
    BenchArguments args;
    if (!read_bench_arguments(argc, argv, true, "tarn_nnbench FILE... [--roots N] [--net NETWORK]",
                              args))
        return 1;
    const std::vector<std::string>& fens = args.fens;
    const char* net                      = args.net;
    init_engine_tables();
    init_eval_params();
    if (!load_bench_network(net))
        return 1;
    std::printf("network %d+%d inputs, %d hidden; %zu root positions, %d-ply trees\n",
                network.n_inputs, network.n_material_inputs, network.hidden1, fens.size(),
                TREE_DEPTH);
    const RunResult walk_only   = run(fens, WALK_ONLY);
    const RunResult hce         = run(fens, HAND_CRAFTED);
    const RunResult scratch     = run(fens, NETWORK_SCRATCH);
    const RunResult incremental = run(fens, NETWORK_INCREMENTAL);
    std::printf("%-17s %9" PRIu64 " nodes  %7.3f s\n",
                "tree walk alone:", walk_only.walk.totals.evaluations, walk_only.walk.seconds);
    report("hand-crafted:", hce, walk_only);
    report("nn from scratch:", scratch, walk_only);
    report("nn incremental:", incremental, walk_only);
    // Without saturation both ways of keeping the first layer give the same scores.
    std::printf("network score sums: from scratch %" PRId64 ", incremental %" PRId64 " (%s)\n",
                scratch.walk.totals.score_sum, incremental.walk.totals.score_sum,
                scratch.walk.totals.score_sum == incremental.walk.totals.score_sum ? "equal"
                                                                                   : "different");
    return 0;
}
