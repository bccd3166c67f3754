#pragma once
// Helpers shared by the tablebase tests: the shared table directory, reading the oracle files,
// probe positions from FEN text and scratch directories that hold copies of table files.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tb/syzygy_probe.h"

namespace tarn::test {

// The shared directory of table files.
std::string syzygy_dir();
// True when the shared data folder holds the tables and their two oracle files.
bool has_syzygy_data();

// Base of the tests that read the shared tables: each one is skipped, saying why, when the
// shared data folder lacks them.
class SyzygyTest : public ::testing::Test {
protected:
    void SetUp() override;
};
// Rows of a tab-separated file under the shared data folder, header dropped, each split at
// tabs. Fails the calling test with a clear message when the file is missing.
std::vector<std::vector<std::string>> read_tsv(const char* name);
// Probe position of a FEN, with the given fifty-move counter.
ProbePosition probe_position_from_fen(const std::string& fen, unsigned rule50 = 0);
// Coordinate text of a probe move (promotions with a lower-case letter).
std::string probe_move_text(int from, int to, int promotion);

// A fresh directory under the system's temporary folder, removed with everything in it when
// the handle goes.
class TableDir {
public:
    TableDir();
    ~TableDir();
    TableDir(const TableDir&)            = delete;
    TableDir& operator=(const TableDir&) = delete;
    const std::string& path() const { return path_; }
    // Copies a file of the shared table directory into this one.
    void copy_table(const std::string& file_name) const;
    // Writes bytes as a file of this directory.
    void write(const std::string& file_name, const std::vector<unsigned char>& bytes) const;

private:
    std::string path_;
};

// All bytes of a file; empty (and a test failure) when it cannot be read.
std::vector<unsigned char> read_bytes(const std::string& path);

} // namespace tarn::test
