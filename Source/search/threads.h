#pragma once
// Search threads: a master, handed each search by the front end, which hands it on to the
// helper threads (they join in once it has finished its first iteration), runs the driver
// as thread 0, sets the finished bit of SearchControl.mode and waits for the helpers to be
// back. The master and the helpers live between searches. Threads share only the
// transposition table and SearchState (lazy SMP). Thread records are kept between searches so
// that the main thread's time check can read them safely while a search runs; thread_init
// resets what a search counts in them, and their evaluation caches are emptied whenever the
// evaluators change.

#include <cstdint>

namespace tarn {

struct SearchLimits;
struct ThreadData;

constexpr int MAX_THREADS = 160;

// Messages of the failures that end the process (end_on_thread_failure).
constexpr const char* THREAD_START_FAILED  = "can't start a search thread";
constexpr const char* THREAD_RECORD_FAILED = "no memory for a search thread's record";

// Records of the search threads by index; null until first used.
extern ThreadData* thread_records[MAX_THREADS];

// Prepares thread t's record for a search from the game record. False when memory is short.
bool thread_init(int t);
// Waits for the master to be back from any earlier search, then stop = 0, mode = code, and
// hands the search to the master (started the first time). False when it cannot be started.
bool start_search(int code);
// Searches the game position within `limits` on the calling thread, as thread 0 without
// helpers: search_setup, a fresh thread record, the clock started once the record is ready,
// the driver, and the counter sums. mode is MODE_BENCHMARK while it runs; on return mode is idle
// and stop clear, and the results are in SearchState and thread_records[0]. False when the thread
// record cannot be made; nothing is searched then.
bool search_on_this_thread(const SearchLimits& limits);
// Lets the helper threads of the running search start searching; thread 0 calls it when its
// first iteration is done, and once more when it leaves the search.
void release_helpers();
// Waits until the running search has finished, then stop = 0 and mode = 0.
void wait_for_search();
// Ends the process with status -1 and the message as an "info string": a search thread could
// not be prepared, started or joined, and the search cannot go on without it. Safe to call
// from a search thread, where a normal exit would meet the still running master thread.
[[noreturn]] void end_on_thread_failure(const char* message);
// Ends a finished search without waiting for its threads to leave: mode = 0, stop stays set so
// that they leave at once. With many more threads than cores that takes a while, and the front
// end answers meanwhile; join_search_threads must come before anything else touches the game,
// the table or the thread records.
void release_search();
// Waits for the threads of a released search to leave, then stop = 0; nothing while a search
// runs or when none was released.
void join_search_threads();
// With more search threads than processors the helpers take turns; helper t calls this every
// so many nodes, and hands its turn to the next in line when it has had it long enough.
// Nothing for thread 0 or while every helper has a processor.
void helper_pass_turn(int t);
// Recomputes the counter sums of SearchState (nothing once the search has finished).
void sum_counters();
// Empties the evaluation caches of every kept search record and of the game's record, after
// the evaluators changed: the records outlive searches, and their caches would hand out the
// old evaluators' scores.
void clear_thread_caches();
// Ends the helper threads and frees every search-thread record from keep on (shutdown, or a
// lower thread count between searches).
void release_thread_records(int keep);

} // namespace tarn
