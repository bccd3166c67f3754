#pragma once
// Helpers shared by the unit tests: one-time table set-up, a fresh game record per test, and
// the locations of the test data. The small data the tests need (perft suites, book keys, a few
// dozen games and openings) travels with the repository in Tests/data; the large files
// (tablebases, the full game collection) stay in the shared data folder, and the tests that
// need them skip without it.

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "search/thread_data.h"

namespace tarn::test {

// Builds the attack and key tables once and returns a zeroed record owned by the caller.
ThreadData* new_thread_data();
// Sets td's position from FEN and returns it.
Position& set_fen(ThreadData& td, const char* fen);
// The first 36 games of the shared engine games, in Tests/data.
constexpr const char* GAMES_FILE = "games-selfplay-36.pgn";
// The full collection of 2,200 engine games, in the shared data folder.
constexpr const char* ALL_GAMES_FILE = "games-engine-selfplay.pgn";

// Path of a file in the repository's test data folder, Tests/data.
std::string test_data_path(const char* name);
// The first lines of a file in Tests/data, ending before the line whose number is `stop`
// (1-based) and at a game boundary; a missing file fails the calling test.
std::string test_data_head(const char* name, int stop);

// The shared test data folder (tablebases, the full game collection, openings): the environment
// variable TARN_SHARED_DATA when set, else the build's default, ../shared/data beside the
// repository. A fresh clone has no such folder; the tests that need it skip, saying so.
std::string shared_data_dir();
// Path of a file under the shared test data folder.
std::string shared_data(const char* name);
// True when the shared data folder holds name (a file or a folder).
bool has_shared_data(const char* name);
// Why a test that needs name is skipped when has_shared_data(name) is false.
std::string no_shared_data(const char* name);

// FENs of a perft suite file in Tests/data (the text before the first ';'). Fails the calling
// test with a clear message when the file is missing.
std::vector<std::string> suite_fens(const char* name);
// Calls visit on every position of the named perft suites and on every position one legal move
// after it (made with make_move, taken back after the call); stops at the first fatal failure.
void visit_suite_positions_and_children(ThreadData& td, std::initializer_list<const char*> suites,
                                        const std::function<void(Position&)>& visit);
// True when two positions agree in every field except the owner pointer.
bool same_position(const Position& a, const Position& b);

// Path of a scratch file for the running test, unique to the test and to the build, so that
// tests running side by side (CTest starts each in its own process) never share one.
std::string scratch_path(const std::string& tag);

// Lines of a text file (none when it cannot be read).
std::vector<std::string> read_lines(const std::string& path);

// Owning handle for a ThreadData in a test.
struct ThreadDataHandle {
    ThreadData* td                                       = new_thread_data();
    ThreadDataHandle()                                   = default;
    ThreadDataHandle(const ThreadDataHandle&)            = delete;
    ThreadDataHandle& operator=(const ThreadDataHandle&) = delete;
    ~ThreadDataHandle() { thread_data_destroy(td); }
    ThreadData& operator*() { return *td; }
    ThreadData* operator->() { return td; }
};

} // namespace tarn::test
