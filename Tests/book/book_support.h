#pragma once
// Helpers for the book tests: a scratch directory per test, book files written from entry
// lists and read back, and book entries named by coordinate text.

#include <string>
#include <vector>

#include "book/book.h"
#include "search/thread_data.h"

namespace tarn::test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&)            = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Path of a file inside the directory.
    std::string file(const char* name) const;

private:
    std::string path_;
};

// Writes entries in the given order (sorting is the caller's business).
void write_book(const std::string& path, const std::vector<BookEntry>& entries);
// Writes raw bytes (damaged books).
void write_bytes(const std::string& path, const std::string& bytes);
void write_text(const std::string& path, const std::string& text);
// Every entry of a book file; fails the test when the size is not a multiple of 16.
std::vector<BookEntry> read_book(const std::string& path);
// Entry for the position of td and a move in coordinate text (e1g1 is written as e1h1).
BookEntry entry_for(ThreadData& td, const char* move_text, int weight);
// Plays coordinate moves on td; fails the test at the first one that is not legal.
void play(ThreadData& td, const std::vector<const char*>& moves);

} // namespace tarn::test
