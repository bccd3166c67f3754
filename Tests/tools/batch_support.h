#pragma once
// The set-up shared by the batch-tool tests: each test runs in a fresh temporary directory
// (the tools write fixed file names such as "tmpX.epd" into the current one) with a game
// record, a 1 MB hash table, one search thread, quiet searches and a standard input of its
// own, so that nothing typed at the terminal reaches a tool under test.

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "frontend/engine_process.h"
#include "search/thread_data.h"
#include "support/test_support.h"

namespace tarn::test {

class BatchTool : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Path of a file in the test's directory.
    std::string path(const std::string& name) const { return work_dir_ + "/" + name; }
    std::unique_ptr<StdinPipe> input_;

private:
    std::string work_dir_;
    std::string saved_dir_;
    ThreadData* saved_main_ = nullptr;
};

// True when text has the form of pattern: "#" stands for an integer (a minus sign allowed),
// "*" for a word without blanks; every other character stands for itself.
bool like(const std::string& text, const std::string& pattern);
void write_text_file(const std::string& path, const std::string& text);
// Contents of a file; a missing file fails the calling test.
std::string read_text(const std::string& path);

} // namespace tarn::test
