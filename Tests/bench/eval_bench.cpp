// Hand-crafted evaluation speed.
//   tarn_evalbench FILE... [--roots N]
// Each FILE holds one FEN per line (text after the first ';' is ignored). From each of the
// first N positions (all by default) a two-ply tree of legal moves is walked twice, as
// iterative deepening would revisit it, and every node not in check is evaluated. The walk is
// timed once with the caches bypassed (every evaluation at the root ply) and once with them
// in use (ply 2), each on a fresh thread record; both must give the same score total.

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_positions.h"
#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/platform.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "frontend/startup.h"
#include "search/thread_data.h"

namespace {

using namespace tarn;

constexpr int TREE_DEPTH = 2;
constexpr int VISITS     = 2;

struct WalkTotals {
    std::uint64_t evaluations = 0;
    std::int64_t score_sum    = 0;
};

void walk(ThreadData& td, int depth, int ply, WalkTotals& totals) {
    Position& pos = td.pos;
    if (checker_of(pos, pos.side) == NO_SQUARE) {
        totals.score_sum += hce_evaluate(td.pos, td.eval, pos.side, ply);
        ++totals.evaluations;
    }
    if (depth == 0)
        return;
    std::vector<Move> moves;
    for (MoveEntry* m = gen_all(pos); m->move != END_OF_LIST; ++m)
        if (is_legal(pos, pos.side, m->move))
            moves.push_back(m->move);
    for (const Move m : moves) {
        make_move(pos, m);
        walk(td, depth - 1, ply, totals);
        unmake_move(pos);
    }
}

void run(const std::vector<std::string>& fens, bool caches) {
    ThreadData* td = thread_data_create();
    if (!td) {
        std::printf("out of memory\n");
        std::exit(1);
    }
    const int ply = caches ? 2 : 1;
    WalkTotals totals;
    const double start = platform_now();
    for (const std::string& fen : fens) {
        parse_fen(td->pos, fen.c_str());
        if (!position_is_searchable(td->pos))
            continue;
        for (int v = 0; v < VISITS; ++v)
            walk(*td, TREE_DEPTH, ply, totals);
    }
    const double seconds = platform_now() - start;
    std::printf("%-15s %10" PRIu64 " evals  %7.3f s  %8.0f evals/s  eval hits %5.1f%%  pawn hits "
                "%5.1f%%  score sum %" PRId64 "\n",
                caches ? "with caches:" : "without caches:", totals.evaluations, seconds,
                static_cast<double>(totals.evaluations) / (seconds + 1e-9),
                100.0 * static_cast<double>(td->eval.eval_hits) /
                    static_cast<double>(td->eval.eval_probes + 1),
                100.0 * static_cast<double>(td->eval.pawn_hits) /
                    static_cast<double>(td->eval.pawn_probes + 1),
                totals.score_sum);
    thread_data_destroy(td);
}

} // namespace

int main(int argc, char** argv) {
    BenchArguments args;
    if (!read_bench_arguments(argc, argv, false, args))
        return 1;
    if (args.fens.empty()) {
        std::printf("usage: tarn_evalbench FILE... [--roots N]\n");
        return 1;
    }
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
