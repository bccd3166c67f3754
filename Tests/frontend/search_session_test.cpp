#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "core/fen.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/platform.h"
#include "frontend/live_engine.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn {
namespace {

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.compare(0, prefix.size(), prefix) == 0;
    }));
}

// The deepest "depth N" of the info lines.
int deepest(const std::vector<std::string>& lines) {
    int best = 0;
    for (const std::string& l : lines) {
        const std::size_t at = l.find(" depth ");
        if (l.rfind("info", 0) == 0 && at != std::string::npos)
            best = std::max(best, std::atoi(l.c_str() + at + 7));
    }
    return best;
}

TEST(SearchSession, InfiniteUntilStopGivesOneBestmove) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos moves e2e4");
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 3").empty());
    engine.send("isready"); // answered while the search runs
    std::vector<std::string> lines = engine.read_until("readyok");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(count_prefix(lines, "bestmove"), 0);
    engine.send("stop");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    engine.send("quit");
    std::vector<std::string> rest;
    EXPECT_EQ(engine.finish(&rest), 0);
    EXPECT_EQ(count_prefix(rest, "bestmove"), 0);
}

TEST(SearchSession, DepthLimitSurvivesALaterClockSearch) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos");
    engine.send("go depth 5");
    std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(deepest(lines), 5);
    engine.send("go wtime 1000 btime 1000");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(deepest(lines), 5);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, PonderhitTurnsPonderingIntoATimedSearch) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos moves e2e4 e7e5");
    engine.send("go ponder wtime 300 btime 300");
    ASSERT_FALSE(engine.read_until("info depth 2").empty());
    engine.send("ponderhit");
    const std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(count_prefix(lines, "bestmove"), 1);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, SecondGoDropsTheFirstSearch) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos");
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 2").empty());
    engine.send("go depth 3");
    std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(count_prefix(lines, "bestmove"), 1);
    engine.send("isready");
    lines = engine.read_until("readyok");
    EXPECT_EQ(count_prefix(lines, "bestmove"), 0);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, QuitDuringASearchPrintsNoBestmove) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 2").empty());
    engine.send("quit");
    std::vector<std::string> rest;
    EXPECT_EQ(engine.finish(&rest), 0);
    EXPECT_EQ(count_prefix(rest, "bestmove"), 0);
}

TEST(SearchSession, NodesZeroSearchesOneNodeRatherThanForever) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos");
    engine.send("go nodes 0");
    const std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty()); // a budget of no nodes at all would never end
    EXPECT_NE(lines.back(), "bestmove null");
    EXPECT_LE(deepest(lines), 2);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, MatedRootAnswersNull) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - -");
    engine.send("go depth 3");
    const std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "bestmove null");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, MateScoresInInfoLines) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - -");
    engine.send("go depth 4");
    std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.find("score mate 1 ") != std::string::npos;
                           }),
              lines.end());
    EXPECT_EQ(lines.back(), "bestmove a1a8");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

} // namespace
} // namespace tarn

namespace tarn {
namespace {

TEST(SearchSession, HashOffThenOnAgain) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name Hash value 0");
    engine.send("position startpos");
    engine.send("go depth 4");
    ASSERT_FALSE(engine.read_until("bestmove").empty());
    engine.send("setoption name Hash value 2");
    engine.send("go depth 4");
    const std::vector<std::string> lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    // A used table fills: hashfull is reported above 0 at depth 7 and beyond.
    engine.send("go depth 9");
    const std::vector<std::string> deep = engine.read_until("bestmove");
    ASSERT_FALSE(deep.empty());
    bool filled = false;
    for (const std::string& l : deep)
        filled |=
            l.find(" depth 9 ") != std::string::npos && l.find(" hashfull 0 ") == std::string::npos;
    EXPECT_TRUE(filled);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(SearchSession, IsreadyWhileFourThreadsSearch) {
    test::LiveEngine engine({"-hash", "8", "-threads", "4"});
    engine.send("position startpos moves d2d4");
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 4").empty());
    engine.send("isready");
    std::vector<std::string> lines = engine.read_until("readyok");
    ASSERT_FALSE(lines.empty());
    engine.send("stop");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    engine.send("quit");
    std::vector<std::string> rest;
    EXPECT_EQ(engine.finish(&rest), 0);
    EXPECT_EQ(count_prefix(rest, "bestmove"), 0);
}

// With many more threads than processors the helpers of a stopped search are still leaving
// when the next commands arrive: those are carried out in order once they have left, and
// "isready" answers after them.
TEST(SearchSession, CommandsWhileHelpersLeaveKeepTheirOrder) {
    test::LiveEngine engine({"-hash", "8", "-threads", "64"});
    for (int round = 0; round < 3; ++round) {
        engine.send("position startpos");
        engine.send("go infinite");
        ASSERT_FALSE(engine.read_until("info depth 3").empty()) << round;
        engine.send("stop");
        ASSERT_FALSE(engine.read_until("bestmove").empty()) << round;
        engine.send("position startpos moves e2e4");
        engine.send("go depth 2");
        engine.send("isready");
        std::vector<std::string> lines = engine.read_until("readyok");
        ASSERT_FALSE(lines.empty()) << round;
        if (count_prefix(lines, "bestmove") == 0)
            lines = engine.read_until("bestmove");
        ASSERT_FALSE(lines.empty()) << round;
        // The search was of the position after 1. e4: Black's move.
        std::string best;
        for (const std::string& l : lines)
            if (l.rfind("bestmove ", 0) == 0)
                best = l.substr(9, 4);
        ASSERT_EQ(best.size(), 4u) << round;
        EXPECT_TRUE(best[1] == '7' || best[1] == '8') << round << ": " << best;
    }
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

} // namespace
} // namespace tarn

namespace tarn {
namespace {

// Address space a process has mapped, in bytes (0 when /proc does not say).
std::uint64_t mapped_bytes(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            return std::strtoull(line.c_str() + 7, nullptr, 10) * 1024;
    return 0;
}

TEST(SearchSession, ThreadThatCannotStartEndsWithStatusMinusOne) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name Threads value 160");
    engine.send("position startpos");
    engine.send("isready");
    ASSERT_FALSE(engine.read_until("readyok").empty());
    // Room for the master thread, not for the stacks of 159 more: a worker cannot start.
    const std::uint64_t mapped = mapped_bytes(engine.pid());
    ASSERT_GT(mapped, 0u);
    const rlimit limit{mapped + (64u << 20), mapped + (64u << 20)};
    ASSERT_EQ(prlimit(engine.pid(), RLIMIT_AS, &limit, nullptr), 0);
    engine.send("go depth 3");
    EXPECT_FALSE(engine.read_until("info string can't start a search thread").empty());
    std::vector<std::string> rest;
    EXPECT_EQ(engine.finish(&rest), 255); // -1 as the parent sees it
    EXPECT_EQ(count_prefix(rest, "bestmove"), 0);
}

// The move of a "bestmove" line, checked against the legal moves of the start position.
bool is_legal_start_move(const std::string& bestmove_line) {
    const std::string prefix = "bestmove ";
    if (bestmove_line.rfind(prefix, 0) != 0)
        return false;
    const std::string word = bestmove_line.substr(prefix.size(), 4);
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, START_FEN);
    for (const Move m : legal_moves(pos))
        if (move_to_coord(pos, pos.side, m, run_move_style()) == word)
            return true;
    return false;
}

TEST(SearchSession, DepthBelowOneSearchesDepthOne) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos");
    for (const char* go : {"go depth 0", "go depth -1"}) {
        engine.send(go);
        const std::vector<std::string> lines = engine.read_until("bestmove");
        ASSERT_FALSE(lines.empty()) << go;
        EXPECT_EQ(deepest(lines), 1) << go;
        EXPECT_TRUE(is_legal_start_move(lines.back())) << go << ": " << lines.back();
    }
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

// A depth beyond the integer range is the deepest search there is, on one thread or many, and
// leaves nothing behind that upsets the next search.
TEST(SearchSession, HugeDepthIsClampedOnOneOrManyThreads) {
    for (const char* threads : {"1", "2", "64"}) {
        test::LiveEngine engine({"-hash", "1"});
        engine.send(std::string("setoption name Threads value ") + threads);
        engine.send("position startpos");
        engine.send("go depth 99999999999");
        ASSERT_FALSE(engine.read_until("info depth 3").empty()) << threads;
        engine.send("stop");
        std::vector<std::string> lines = engine.read_until("bestmove");
        ASSERT_FALSE(lines.empty()) << threads;
        EXPECT_TRUE(is_legal_start_move(lines.back())) << threads << ": " << lines.back();
        engine.send("setoption name Threads value 2");
        engine.send("go depth 2");
        lines = engine.read_until("bestmove");
        ASSERT_FALSE(lines.empty()) << threads;
        EXPECT_EQ(deepest(lines), 2) << threads;
        EXPECT_TRUE(is_legal_start_move(lines.back())) << threads << ": " << lines.back();
        engine.send("quit");
        EXPECT_EQ(engine.finish(), 0) << threads;
    }
}

// The announced maximum of Hash may be more than the machine has: the engine says so, keeps
// the table it has and goes on.
TEST(SearchSession, HashBeyondTheMachineKeepsThePreviousTable) {
    constexpr int LARGEST      = 32768;
    const std::size_t physical = platform_physical_memory();
    if (physical == 0 || tt_table_bytes(LARGEST) <= physical / 10 * 9)
        GTEST_SKIP() << "this machine could hold the largest table";
    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name Hash value " + std::to_string(LARGEST));
    engine.send("isready");
    std::vector<std::string> lines = engine.read_until("readyok");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "info string Hash set to 32768"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "info string can't allocate 32768 Mbytes for hash table, keeping 1"),
              lines.end());
    engine.send("uci");
    lines = engine.read_until("uciok");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "option name Hash type spin default 1 min 0 max 32768"),
              lines.end());
    engine.send("position startpos");
    engine.send("go depth 3");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(is_legal_start_move(lines.back())) << lines.back();
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

} // namespace
} // namespace tarn
