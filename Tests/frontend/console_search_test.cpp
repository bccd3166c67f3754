// Console searches driven line by line: analysis with its report, self-play to the end, and
// the evaluation display after its depth-0 search.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "frontend/engine_process.h"
#include "frontend/live_engine.h"
#include "support/nn_synthetic.h"

namespace tarn {
namespace {

TEST(ConsoleSearch, AnalysisEndsWithTheReport) {
    test::LiveEngine engine({"-c", "-hash", "1", "-quiet"});
    engine.send("fen 6k1/5ppp/8/8/8/8/8/R5K1 w - -");
    engine.send("go 4");
    const std::vector<std::string> lines = engine.read_until("move= ");
    ASSERT_FALSE(lines.empty());
    char move[16];
    double time = 0, nps = 0, ebf = 0, nodes = 0;
    int score = 0;
    ASSERT_EQ(std::sscanf(lines.back().c_str(),
                          "move= %15[^,], time= %lf, score= %d, nodes= %lf, nps= %lfK ebf= %lf",
                          move, &time, &score, &nodes, &nps, &ebf),
              6)
        << lines.back();
    EXPECT_STREQ(move, "a1a8");
    EXPECT_EQ(score, 9998);
    EXPECT_DOUBLE_EQ(ebf, 2.0); // fewer than six iterations
    const std::vector<std::string> rest = engine.read_until("Hash fill= ");
    ASSERT_FALSE(rest.empty());
    EXPECT_NE(rest.back().find(", Hash hits: main= "), std::string::npos);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(ConsoleSearch, SelfPlayStopsByItself) {
    test::LiveEngine engine({"-c", "-hash", "1", "-quiet"});
    // A short ending: the engine mates with king and queen, or the game is drawn.
    engine.send("fen 8/8/8/4k3/8/8/8/3QK3 w - -");
    engine.send("set depth 3");
    engine.send("self");
    const std::vector<std::string> lines = engine.read_until("move= null", 110);
    ASSERT_FALSE(lines.empty()) << "self-play did not end";
    int moves = 0;
    for (const std::string& l : lines)
        moves += l.rfind("move= ", 0) == 0;
    EXPECT_GT(moves, 1);
    ASSERT_FALSE(engine.read_until("Hash fill= ").empty()); // the rest of the last report
    ASSERT_FALSE(engine.read_until("").empty());
    engine.send("bd"); // the console answers again once the game is over: the diagram's FEN
    const std::vector<std::string> board = engine.read_until("");
    ASSERT_FALSE(board.empty());
    EXPECT_NE(board.back().find('/'), std::string::npos) << board.back();
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(ConsoleSearch, LevelAndStrengthLines) {
    test::LiveEngine engine({"-c", "-hash", "1"});
    engine.send("set level 40 5:00 2");
    std::vector<std::string> lines = engine.read_until("set level");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "set level to 40 moves in 300.00 seconds, inc 2.00");
    engine.send("set target_nps 20015");
    lines = engine.read_until("target_nps");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "target_nps set to 20015");
    engine.send("set LMR_depth 7");
    lines = engine.read_until("LMR_depth");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "LMR_depth set to 7");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

// Number after "key= " in a line, or -99999 when the line has no such key.
int value_after(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(key + "= ");
    return at == std::string::npos ? -99999 : std::atoi(line.c_str() + at + key.size() + 2);
}

// "ev" shows the network's score and what it rests on before the hand-crafted breakdown, whose
// "nne" is that same score; without a network only the breakdown follows a short notice.
TEST(ConsoleSearch, EvaluationShowsTheNetworkThenTheBreakdown) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarn_ev_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string net = (dir / "net.nnue").string(), cfg = (dir / "tarn.cfg").string();
    test::SyntheticNet shape;
    ASSERT_TRUE(
        test::write_bytes(net, test::network_file_bytes(shape, test::synthetic_weights(shape))));
    std::ofstream(cfg) << "NN_File=" << net << "\n";

    const test::Session with =
        test::run_console_session({"-c", "-hash", "1", "-cfg", cfg}, "e4\nev\nquit\n");
    const int head =
        test::find_line(with.lines, "network: " + net + ", 1572 inputs, 896 hidden, 7 buckets");
    ASSERT_GE(head, 0) << "no network line";
    const std::string& detail = with.lines[static_cast<std::size_t>(head + 1)];
    const int nn              = value_after(detail, "nn");
    EXPECT_GE(nn, -1919) << detail;
    EXPECT_LE(nn, 1919) << detail;
    EXPECT_GE(value_after(detail, "bucket"), 0) << detail;
    EXPECT_GE(value_after(detail, "features"), 32) << "every piece is an input: " << detail;
    int trace = -1;
    for (std::size_t i = static_cast<std::size_t>(head); i < with.lines.size(); ++i)
        if (with.lines[i].rfind("nne= ", 0) == 0)
            trace = static_cast<int>(i);
    ASSERT_GE(trace, 0) << "no breakdown after the network lines";
    EXPECT_EQ(value_after(with.lines[static_cast<std::size_t>(trace)], "nne"), nn);

    const test::Session without =
        test::run_console_session({"-c", "-hash", "1", "-use_hce"}, "ev\nquit\n");
    bool breakdown = false;
    for (const std::string& line : without.lines) {
        EXPECT_NE(line.rfind("network", 0), 0u) << "network lines with -use_hce: " << line;
        breakdown = breakdown || value_after(line, "nne") == 0;
    }
    EXPECT_TRUE(breakdown);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tarn
