#include "search/threads.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "core/platform.h"
#include "core/thread_data.h"
#include "eval/eval_cache.h"
#include "frontend/output.h"
#include "search/driver.h"
#include "search/search_state.h"

namespace tarn {

ThreadData* thread_records[MAX_THREADS] = {};
std::mutex info_lock;
std::mutex counters_lock;

namespace {

constexpr std::uint64_t UNLIMITED_NODES = std::uint64_t{1} << 62;

std::thread master_thread;

void worker(int t) {
    if (!thread_init(t))
        return;
    while (search_state.iteration_depth < 2 && !search_state.stop)
        platform_sleep_ms(1);
    if (t < search_state.threads)
        search_driver(t);
}

void master() {
    if (!thread_init(0))
        end_on_thread_failure(THREAD_RECORD_FAILED);
    // Every record exists before any worker starts, so no thread writes the record table
    // while others read it.
    for (int t = 1; t < search_state.threads; ++t)
        if (!thread_records[t])
            thread_records[t] = thread_data_create();
    std::vector<std::thread> workers;
    try {
        for (int t = 1; t < search_state.threads; ++t)
            workers.emplace_back(worker, t);
    } catch (const std::system_error&) {
        end_on_thread_failure(THREAD_START_FAILED);
    }
    if (search_state.threads >= 1)
        search_driver(0);
    sum_counters();
    for (std::thread& w : workers) {
        try {
            w.join();
        } catch (const std::system_error&) {
            end_on_thread_failure("can't join a search thread");
        }
    }
    search_state.mode = static_cast<std::uint8_t>(search_state.mode | MODE_FINISHED);
}

} // namespace

bool thread_init(int t) {
    if (!thread_records[t]) {
        thread_records[t] = thread_data_create();
        if (!thread_records[t])
            return false;
    }
    ThreadData& td = *thread_records[t];
    td.thread_id   = static_cast<std::uint8_t>(t);
    td.seed        = 123u * static_cast<std::uint32_t>(t);
    thread_data_copy_game(td, *main_thread);
    td.undo[td.game_ply].move = 0;
    td.node_limit             = search_state.node_limit ? search_state.node_limit : UNLIMITED_NODES;
    td.hard_node_limit =
        search_state.hard_node_limit ? search_state.hard_node_limit : UNLIMITED_NODES;
    thread_data_reset_lists(td);
    td.frames[0].node_type = td.frames[1].node_type = 0;
    td.search_ply                                   = 1;
    std::memset(td.root_pv, 0, sizeof td.root_pv);
    td.iteration_depth = 0;
    td.best_move_depth = 0;
    td.root_fail       = 0;
    td.seldepth        = 0;
    td.nodes = td.tbhits = td.eval_probes = td.eval_hits = 0;
    td.tt_probes = td.tt_hits = td.pawn_probes = td.pawn_hits = 0;
    return true;
}

bool start_search(int code) {
    if (master_thread.joinable())
        master_thread.join();
    search_state.stop = 0;
    search_state.mode = static_cast<std::uint8_t>(code);
    try {
        master_thread = std::thread(master);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void end_on_thread_failure(const char* message) {
    print_format("info string %s", message);
    std::fflush(nullptr);
    std::_Exit(-1);
}

void wait_for_search() {
    while (!(search_state.mode & MODE_FINISHED))
        platform_sleep_ms(1);
    if (master_thread.joinable())
        master_thread.join();
    search_state.stop = 0;
    search_state.mode = MODE_IDLE;
}

void sum_counters() {
    SearchState& s = search_state;
    if (s.mode & MODE_FINISHED)
        return;
    std::uint64_t sums[8] = {};
    if (thread_records[0])
        s.seldepth = thread_records[0]->seldepth;
    for (int t = 0; t < s.threads && t < MAX_THREADS; ++t) {
        const ThreadData* td = thread_records[t];
        if (!td)
            continue;
        sums[0] += td->nodes;
        sums[1] += td->eval_probes;
        sums[2] += td->eval_hits;
        sums[3] += td->tt_probes;
        sums[4] += td->tt_hits;
        sums[5] += td->pawn_probes;
        sums[6] += td->pawn_hits;
        sums[7] += td->tbhits;
    }
    s.nodes       = sums[0];
    s.eval_probes = sums[1];
    s.eval_hits   = sums[2];
    s.tt_probes   = sums[3];
    s.tt_hits     = sums[4];
    s.pawn_probes = sums[5];
    s.pawn_hits   = sums[6];
    s.tbhits      = sums[7];
}

void clear_thread_caches() {
    for (ThreadData* td : thread_records)
        if (td)
            eval_caches_clear(*td);
    if (main_thread)
        eval_caches_clear(*main_thread);
}

void release_thread_records(int keep) {
    if (master_thread.joinable())
        master_thread.join();
    for (int t = keep; t < MAX_THREADS; ++t) {
        thread_data_destroy(thread_records[t]);
        thread_records[t] = nullptr;
    }
}

} // namespace tarn
