// Console searches driven line by line: analysis with its report, and self-play to the end.

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/live_engine.h"

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

} // namespace
} // namespace tarn
