#pragma once
// Helpers of the match runner's tests: a scratch directory per test, the scripted fake
// engine, and a fixture that keeps the process-wide move-text settings as it found them.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/run_settings.h"
#include "match/config.h"
#include "match/pgn.h"
#include "support/test_support.h"

namespace tarn::test {

// A fresh directory under the system's temporary directory, removed with its contents.
struct MatchDir {
    std::string path;
    MatchDir();
    ~MatchDir();
    MatchDir(const MatchDir&)            = delete;
    MatchDir& operator=(const MatchDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Restores RunSettings, which the rules set-up changes (protocol and Chess960).
class MatchTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = run_settings; }
    void TearDown() override { run_settings = saved_; }
    RunSettings saved_;
};

// An engine that plays the scripted fake engine with the given move list (see the script).
EngineConfig fake_engine(const std::string& name, const std::vector<std::string>& script);
// Every game of a PGN file; a missing file or a damaged game fails the calling test.
std::vector<PgnGame> read_pgn_file(const std::string& path);

} // namespace tarn::test
