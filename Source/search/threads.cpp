#include "search/threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "core/platform.h"
#include "eval/eval_cache.h"
#include "frontend/output.h"
#include "search/driver.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/timeman.h"

namespace tarn {

ThreadData* thread_records[MAX_THREADS] = {};

namespace {

constexpr std::uint64_t UNLIMITED_NODES = std::uint64_t{1} << 62;

// The helper threads (records 1 and up). They are started by the first search that needs
// them and then wait between searches, so that a search does not start and end the operating
// system's threads again: with many more threads than cores, threads started afresh would run
// ahead of the front end's thread until they had caught up with its processor time, leaving
// commands such as "isready" unanswered meanwhile. They end when the thread count falls or the
// program ends.
struct HelperPool {
    std::vector<std::thread> threads; // threads[i] searches with record i + 1
    std::mutex lock;
    std::condition_variable wake;  // a search has started, or the pool closes
    std::condition_variable start; // the helpers of the current search may search
    std::condition_variable done;  // the last busy helper has left its search
    std::uint64_t generation = 0;  // searches handed to the helpers so far
    std::uint64_t released   = 0;  // the last search whose helpers may search
    std::atomic<int> busy{0};      // helpers not yet back from the current search
    bool closing = false;
};

// Never destroyed: helper threads may still wait on it while the process exits, and waiting
// threads would keep its destructor from finishing.
HelperPool& pool = *new HelperPool;

// Turns of the helpers when there are more threads than processors: only as many helpers
// search at once as there are processors, the others wait asleep in arrival order, and one
// that has searched for a turn's length hands over to the first in line. Left to the
// operating system, a hundred busy threads on two processors kept the thread that answers
// the protocol waiting up to half a second for its turn, in spite of their lowest priority.
struct HelperTurns {
    std::mutex lock;
    std::condition_variable called[MAX_THREADS]; // helper t's turn has come
    bool granted[MAX_THREADS] = {};
    int line[MAX_THREADS]     = {};       // waiting helpers, a ring in arrival order
    int first                 = 0;        // index of the first in line
    std::atomic<int> waiting{0};          // how many are in line; changed under the lock only
    int free_slots                   = 0; // turns nobody holds
    double turn_started[MAX_THREADS] = {};
};
HelperTurns& turns = *new HelperTurns;

// True while the helpers take turns (set before a search is handed to them).
std::atomic<bool> turns_on{false};

constexpr double TURN_SECONDS = 0.010;

// Waits for helper t's turn to search.
void take_turn(int t) {
    std::unique_lock<std::mutex> hold(turns.lock);
    if (turns.free_slots > 0 && turns.waiting == 0) {
        --turns.free_slots;
    } else {
        turns.line[(turns.first + turns.waiting) % MAX_THREADS] = t;
        ++turns.waiting;
        turns.granted[t] = false;
        turns.called[t].wait(hold, [t] { return turns.granted[t]; });
    }
    turns.turn_started[t] = platform_now();
}

// Gives helper t's turn to the first in line, or back to the free turns.
void end_turn() {
    std::lock_guard<std::mutex> hold(turns.lock);
    if (turns.waiting == 0) {
        ++turns.free_slots;
        return;
    }
    const int next = turns.line[turns.first];
    turns.first    = (turns.first + 1) % MAX_THREADS;
    --turns.waiting;
    turns.granted[next] = true;
    turns.called[next].notify_one();
}

// Sets up the turns of a search: as many as there are processors, or none when every helper
// can have a processor of its own. Only while no helper searches.
void set_up_turns(int helpers) {
    const int processors = platform_cpu_count();
    std::lock_guard<std::mutex> hold(turns.lock);
    turns.first      = 0;
    turns.waiting    = 0;
    turns.free_slots = processors;
    turns_on         = helpers + 1 > processors;
}

// The master thread (record 0), started by the first search and then waiting between searches
// like the helpers: a thread created while many others are busy does not run, and does not let
// its creator run, until it has caught up with their processor time, which once held a
// "position" or "go" (and every command after it) for most of a second. Never destroyed, for
// the same reason as the pool.
struct MasterSeat {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake; // a search is handed to the master
    std::condition_variable back; // the master has left its search
    std::uint64_t handed   = 0;   // searches handed to the master so far
    std::uint64_t returned = 0;   // searches it has left
};
MasterSeat& seat = *new MasterSeat;

// One search of helper t: its record is prepared at once, and it searches (until stop) once
// the master has finished its first iteration. The helpers wait asleep rather than polling,
// which with many more threads than cores would keep the master from finishing it.
void helper_search(int t, std::uint64_t generation) {
    if (!thread_init(t))
        return;
    {
        std::unique_lock<std::mutex> hold(pool.lock);
        pool.start.wait(hold, [&] { return pool.released == generation; });
    }
    if (t < search_state.threads)
        search_driver(t);
}

void helper_loop(int t, std::uint64_t seen) {
    bool lowered = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(pool.lock);
            pool.wake.wait(hold, [&] { return pool.closing || pool.generation != seen; });
            if (pool.closing)
                return;
            seen = pool.generation;
        }
        // More searchers than processors: the helpers give way to the master and to the
        // thread that answers the protocol, which would otherwise wait their turn behind them.
        if (!lowered && turns_on) {
            platform_lower_thread_priority();
            lowered = true;
        }
        if (turns_on) {
            take_turn(t);
            helper_search(t, seen);
            end_turn();
        } else {
            helper_search(t, seen);
        }
        // Only the last one back takes the lock: with many helpers on few processors, one
        // that lost its processor while holding it would hold up all the others.
        if (pool.busy.fetch_sub(1) == 1) {
            std::lock_guard<std::mutex> hold(pool.lock);
            pool.done.notify_all();
        }
    }
}

// Hands the search to every helper, starting those the thread count now calls for.
void start_helpers() {
    std::lock_guard<std::mutex> hold(pool.lock);
    const std::uint64_t before = pool.generation++;
    try {
        while (static_cast<int>(pool.threads.size()) < search_state.threads - 1) {
            const int t = static_cast<int>(pool.threads.size()) + 1;
            pool.threads.emplace_back(helper_loop, t, before);
        }
    } catch (const std::system_error&) {
        end_on_thread_failure(THREAD_START_FAILED);
    }
    set_up_turns(static_cast<int>(pool.threads.size()));
    pool.busy = static_cast<int>(pool.threads.size());
    pool.wake.notify_all();
}

} // namespace

void release_helpers() {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.released = pool.generation;
    pool.start.notify_all();
}

namespace {

void wait_for_helpers() {
    std::unique_lock<std::mutex> hold(pool.lock);
    pool.done.wait(hold, [] { return pool.busy == 0; });
}

// Ends every helper thread (none is searching: the master has waited for them).
void close_helpers() {
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.closing = true;
        pool.wake.notify_all();
    }
    for (std::thread& h : pool.threads)
        h.join();
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.threads.clear();
    pool.closing = false;
}

void master() {
    if (!thread_init(0))
        end_on_thread_failure(THREAD_RECORD_FAILED);
    // Every record exists before any helper starts, so no thread writes the record table
    // while others read it.
    for (int t = 1; t < search_state.threads; ++t)
        if (!thread_records[t])
            thread_records[t] = thread_data_create();
    start_helpers();
    if (search_state.threads >= 1)
        search_driver(0);
    release_helpers();
    sum_counters();
    // The result is final once thread 0 is done (it has set stop for the others): it can be
    // reported while they leave.
    search_control.mode = static_cast<std::uint8_t>(search_control.mode | MODE_FINISHED);
    platform_wake_input_waiter();
    wait_for_helpers();
}

void master_loop() {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(seat.lock);
            seat.wake.wait(hold, [&] { return seat.handed != seen; });
            seen = seat.handed;
        }
        master();
        std::lock_guard<std::mutex> hold(seat.lock);
        seat.returned = seen;
        seat.back.notify_all();
    }
}

// True while the master has a search it has not left.
bool master_busy() {
    std::lock_guard<std::mutex> hold(seat.lock);
    return seat.returned != seat.handed;
}

// Waits until the master has left its search (at once when it has none).
void wait_for_master() {
    std::unique_lock<std::mutex> hold(seat.lock);
    seat.back.wait(hold, [] { return seat.returned == seat.handed; });
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
    thread_board_copy_game(td.board, main_thread->board);
    td.board.undo[td.board.game_ply].move = 0;
    const SearchLimits& limits            = search_state.limits;
    td.node_limit                         = limits.node_limit ? limits.node_limit : UNLIMITED_NODES;
    td.hard_node_limit = limits.hard_node_limit ? limits.hard_node_limit : UNLIMITED_NODES;
    td.eval.bias       = search_state.eval_bias;
    thread_board_reset_lists(td.board);
    td.frames[0].node_type = td.frames[1].node_type = 0;
    td.board.search_ply                             = 1;
    std::memset(td.root_pv, 0, sizeof td.root_pv);
    td.iteration_depth = 0;
    td.best_move_depth = 0;
    td.root_fail       = 0;
    td.seldepth        = 0;
    td.nodes = td.tbhits = td.eval.eval_probes = td.eval.eval_hits = 0;
    td.tt_probes = td.tt_hits = td.eval.pawn_probes = td.eval.pawn_hits = 0;
    return true;
}

bool search_on_this_thread(const SearchLimits& limits) {
    search_setup(limits);
    if (!thread_init(0))
        return false;
    clock_start();
    search_control.mode = MODE_BENCHMARK;
    search_control.stop = 0;
    search_driver(0);
    sum_counters();
    search_control.mode = MODE_IDLE;
    search_control.stop = 0;
    return true;
}

bool start_search(int code) {
    wait_for_master();
    if (!seat.thread.joinable()) {
        try {
            seat.thread = std::thread(master_loop);
        } catch (const std::system_error&) {
            return false;
        }
    }
    search_control.stop = 0;
    search_control.mode = static_cast<std::uint8_t>(code);
    std::lock_guard<std::mutex> hold(seat.lock);
    ++seat.handed;
    seat.wake.notify_one();
    return true;
}

void end_on_thread_failure(const char* message) {
    print_format("info string %s", message);
    std::fflush(nullptr);
    std::_Exit(-1);
}

void wait_for_search() {
    while (!(search_control.mode & MODE_FINISHED))
        platform_sleep_ms(1);
    wait_for_master();
    search_control.stop = 0;
    search_control.mode = MODE_IDLE;
}

void release_search() {
    search_control.stop = 1;
    search_control.mode = MODE_IDLE;
}

void join_search_threads() {
    if (search_control.mode != MODE_IDLE || !master_busy())
        return;
    wait_for_master();
    search_control.stop = 0;
}

void helper_pass_turn(int t) {
    if (!turns_on || t == 0 || turns.waiting.load(std::memory_order_relaxed) == 0 ||
        platform_now() - turns.turn_started[t] < TURN_SECONDS)
        return;
    end_turn();
    take_turn(t);
}

void sum_counters() {
    SearchState& s = search_state;
    if (search_control.mode & MODE_FINISHED)
        return;
    std::uint64_t sums[8] = {};
    if (thread_records[0])
        search_results.seldepth = thread_records[0]->seldepth;
    for (int t = 0; t < s.threads && t < MAX_THREADS; ++t) {
        const ThreadData* td = thread_records[t];
        if (!td)
            continue;
        sums[0] += td->nodes;
        sums[1] += td->eval.eval_probes;
        sums[2] += td->eval.eval_hits;
        sums[3] += td->tt_probes;
        sums[4] += td->tt_hits;
        sums[5] += td->eval.pawn_probes;
        sums[6] += td->eval.pawn_hits;
        sums[7] += td->tbhits;
    }
    search_results.nodes       = sums[0];
    search_results.eval_probes = sums[1];
    search_results.eval_hits   = sums[2];
    search_results.tt_probes   = sums[3];
    search_results.tt_hits     = sums[4];
    search_results.pawn_probes = sums[5];
    search_results.pawn_hits   = sums[6];
    search_results.tbhits      = sums[7];
}

void clear_thread_caches() {
    for (ThreadData* td : thread_records)
        if (td)
            eval_caches_clear(td->eval);
    if (main_thread)
        eval_caches_clear(main_thread->eval);
}

void release_thread_records(int keep) {
    wait_for_master();
    search_control.stop = 0;
    close_helpers();
    for (int t = keep; t < MAX_THREADS; ++t) {
        thread_data_destroy(thread_records[t]);
        thread_records[t] = nullptr;
    }
}

} // namespace tarn
