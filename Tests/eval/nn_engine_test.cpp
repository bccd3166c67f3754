#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "eval/nn_file.h"
#include "eval/nn_support.h"
#include "frontend/engine_process.h"
#include "frontend/live_engine.h"

namespace tarn {
namespace {

bool has_line(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// True when every info line with a score scores exactly 0 centipawns: what a search sees with
// the all-zero "new" network.
bool scores_all_zero(const std::vector<std::string>& lines) {
    int scored = 0;
    for (const std::string& l : lines) {
        if (l.rfind("info", 0) != 0 || l.find(" score ") == std::string::npos)
            continue;
        ++scored;
        if (l.find(" score cp 0 ") == std::string::npos)
            return false;
    }
    return scored > 0;
}

class NetworkEngine : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& p : paths)
            std::filesystem::remove(p);
    }
    std::string file(const std::string& tag, const std::vector<unsigned char>& bytes) {
        const std::string path = test::scratch_path(tag);
        EXPECT_TRUE(test::write_bytes(path, bytes));
        paths.push_back(path);
        return path;
    }
    std::vector<std::string> paths;
};

TEST_F(NetworkEngine, SaysWhichNetworkItUsesAndSearchesWithTheOneSetoptionLoads) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name NN_File value new");
    const std::vector<std::string> start = engine.read_until("creating new net...");
    ASSERT_FALSE(start.empty());
    if (nn_has_embedded())
        EXPECT_TRUE(has_line(start, "info string using embedded network"));
    else
        EXPECT_TRUE(has_line(start, "info string no embedded network in this build, using the "
                                    "hand-crafted evaluation"));
    engine.send("position startpos moves e2e4");
    engine.send("go depth 3");
    const std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(scores_all_zero(lines));
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(NetworkEngine, BadFilesAreReportedAndTheNetworkStays) {
    const std::string missing = test::scratch_path("missing");
    test::SyntheticNet net;
    net.hidden1                      = 32;
    std::vector<unsigned char> bytes = test::network_file_bytes(net, test::synthetic_weights(net));
    bytes.resize(bytes.size() / 2);
    const std::string truncated = file("truncated", bytes);

    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name NN_File value new");
    ASSERT_FALSE(engine.read_until("creating new net...").empty());
    engine.send("setoption name NN_File value " + missing);
    std::vector<std::string> lines = engine.read_until("info string can't open " + missing);
    ASSERT_FALSE(lines.empty());
    engine.send("setoption name NN_File value " + truncated);
    lines = engine.read_until("info string can't load " + truncated);
    ASSERT_FALSE(lines.empty());
    engine.send("position startpos");
    engine.send("go depth 3");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(scores_all_zero(lines)); // still the "new" network
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(NetworkEngine, NoNetworkChangeWhileSearching) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 2").empty());
    engine.send("setoption name NN_File value new");
    engine.send("isready");
    const std::vector<std::string> lines = engine.read_until("readyok");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(has_line(lines, "info string NN_File can't be changed while searching"));
    EXPECT_FALSE(has_line(lines, "creating new net..."));
    engine.send("stop");
    ASSERT_FALSE(engine.read_until("bestmove").empty());
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(NetworkEngine, AMissingNetworkFileAtStartUpIsAFailure) {
    const std::string missing = test::scratch_path("missing");
    const std::string text    = "NN_File = " + missing + "\n";
    const std::string config = file("config", std::vector<unsigned char>(text.begin(), text.end()));
    const test::EngineRun run = test::run_engine({"-cfg", config}, "quit\n");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(has_line(test::output_lines(run.output), "info string can't open " + missing));
}

TEST_F(NetworkEngine, StartUpLoadsTheNamedFile) {
    test::SyntheticNet net;
    net.hidden1 = 32;
    const std::string network =
        file("net", test::network_file_bytes(net, test::synthetic_weights(net)));
    const std::string text   = "NN_File = " + network + "\n";
    const std::string config = file("config", std::vector<unsigned char>(text.begin(), text.end()));
    const test::EngineRun run = test::run_engine({"-cfg", config}, "quit\n");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(has_line(test::output_lines(run.output), "info string loaded " + network));
}

} // namespace
} // namespace tarn
