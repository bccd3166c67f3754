#pragma once
// The timed tree walk of the evaluation benchmarks: from every searchable root position a tree
// of legal moves a few plies deep is walked on one thread record, and the caller's evaluator
// scores each node that is not in check. Templates, so that the evaluator is inlined into the
// walk and the timing measures the evaluation rather than a call through a pointer.

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/platform.h"
#include "search/thread_data.h"

namespace tarn {

struct WalkTotals {
    std::uint64_t evaluations = 0;
    std::int64_t score_sum    = 0;
};

// The totals of the walks from every root, and their time.
struct WalkRun {
    WalkTotals totals;
    double seconds = 0.0;
};

// A fresh thread record for one timed run; the benchmark ends when memory runs out.
inline ThreadData* bench_thread_data() {
    ThreadData* td = thread_data_create();
    if (!td) {
        std::printf("out of memory\n");
        std::exit(1);
    }
    return td;
}

// Walks the legal-move tree depth plies below td.board.pos; evaluate(td) scores every node not in
// check.
template <class Evaluate>
void bench_walk(ThreadData& td, int depth, const Evaluate& evaluate, WalkTotals& totals) {
    Position& pos = td.board.pos;
    if (checker_of(pos, pos.side) == NO_SQUARE) {
        totals.score_sum += evaluate(td);
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
        bench_walk(td, depth - 1, evaluate, totals);
        unmake_move(pos);
    }
}

// Times `visits` walks of depth plies below every searchable root of fens on td; at_root(td)
// prepares the record after each root is set up.
template <class AtRoot, class Evaluate>
WalkRun bench_time_walks(ThreadData& td, const std::vector<std::string>& fens, int depth,
                         int visits, const AtRoot& at_root, const Evaluate& evaluate) {
    WalkRun run;
    const double start = platform_now();
    for (const std::string& fen : fens) {
        parse_fen(td.board.pos, fen.c_str());
        if (!position_is_searchable(td.board.pos))
            continue;
        at_root(td);
        for (int v = 0; v < visits; ++v)
            bench_walk(td, depth, evaluate, run.totals);
    }
    run.seconds = platform_now() - start;
    return run;
}

// The start of a report line: the label, the evaluations, the time and the rate. The caller
// adds its own figures and ends the line.
inline void bench_print_rate(const char* label, const WalkRun& run) {
    const double n = static_cast<double>(run.totals.evaluations);
    std::printf("%-17s %9" PRIu64 " evals  %7.3f s  %9.0f evals/s", label, run.totals.evaluations,
                run.seconds, n / (run.seconds + 1e-9));
}

} // namespace tarn
