#pragma once
// Helpers shared by the unit tests: one-time table set-up, a fresh game record per test, and
// the locations of the test data.

#include <string>
#include <vector>

#include "search/thread_data.h"

namespace tarn::test {

// Builds the attack and key tables once and returns a zeroed record owned by the caller.
ThreadData* new_thread_data();
// Sets td's position from FEN and returns it.
Position& set_fen(ThreadData& td, const char* fen);
// The shared test data folder (perft suites, tablebases, games, openings): the environment
// variable TARN_SHARED_DATA when set, else the build's default, ../shared/data beside the
// repository. A fresh clone has no such folder; the tests that need it skip, saying so.
std::string shared_data_dir();
// Path of a file under the shared test data folder.
std::string shared_data(const char* name);
// True when the shared data folder holds name (a file or a folder).
bool has_shared_data(const char* name);
// Why a test that needs name is skipped when has_shared_data(name) is false.
std::string no_shared_data(const char* name);

// FENs of a perft suite file under the shared data folder (the text before the first ';').
// Fails the calling test with a clear message when the file is missing; tests check
// has_shared_data first and skip without it.
std::vector<std::string> suite_fens(const char* name);
// True when two positions agree in every field except the owner pointer.
bool same_position(const Position& a, const Position& b);

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
