// Hand-crafted evaluation speed.
//   tarn_evalbench FILE... [--roots N]
// Each FILE holds one FEN per line (text after the first ';' is ignored). From each of the
// first N positions (all by default) a two-ply tree of legal moves is walked twice, as
// iterative deepening would revisit it, and every node not in check is evaluated. The walk is
// timed once with the caches bypassed (every evaluation at the root ply) and once with them
// in use (ply 2), each on a fresh thread record; both must give the same score total.

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_positions.h"
#include "bench/bench_walk.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "frontend/startup.h"
#include "search/thread_data.h"

namespace {

using namespace tarn;

constexpr int TREE_DEPTH = 2;
constexpr int VISITS     = 2;

void run(const std::vector<std::string>& fens, bool caches) {
    ThreadData* td  = bench_thread_data();
    const int ply   = caches ? 2 : 1;
    const WalkRun r = bench_time_walks(
        *td, fens, TREE_DEPTH, VISITS, [](ThreadData&) {},
        [ply](ThreadData& t) { return hce_evaluate(t.board.pos, t.eval, t.board.pos.side, ply); });
    bench_print_rate(caches ? "with caches:" : "without caches:", r);
    std::printf("  eval hits %5.1f%%  pawn hits %5.1f%%  score sum %" PRId64 "\n",
                100.0 * static_cast<double>(td->eval.eval_hits) /
                    static_cast<double>(td->eval.eval_probes + 1),
                100.0 * static_cast<double>(td->eval.pawn_hits) /
                    static_cast<double>(td->eval.pawn_probes + 1),
                r.totals.score_sum);
    thread_data_destroy(td);
}

} // namespace

int main(int argc, char** argv) {
    BenchArguments args;
    if (!read_bench_arguments(argc, argv, false, "tarn_evalbench FILE... [--roots N]", args))
        return 1;
    const std::vector<std::string>& fens = args.fens;
    init_engine_tables();
    eval_tables_init();
    init_eval_params();
    std::printf("hand-crafted evaluation: %zu root positions, %d-ply trees visited %d times\n",
                fens.size(), TREE_DEPTH, VISITS);
    run(fens, false);
    run(fens, true);
    return 0;
}
