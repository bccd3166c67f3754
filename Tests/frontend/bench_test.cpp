// The benchmark through the engine binary, run the way test frameworks run an engine they have
// built: "bench" as the only argument and nothing on standard input. They read the node total
// and the speed from the words "nodes" and "nps" next to their numbers. The whole signature
// benchmark runs, so the test carries the "slow" label (a sanitizer build takes most of a
// minute).

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/engine_process.h"
#include "frontend/live_engine.h"

namespace tarn {
namespace {

TEST(BenchWord, RunsTheSignatureBenchmarkAndEndsWithNodesAndNps) {
    test::LiveEngine engine({"bench"});
    std::vector<std::string> lines;
    EXPECT_EQ(engine.finish(&lines), 0); // its standard input is closed at once
    ASSERT_GE(lines.size(), 23u);
    EXPECT_NE(test::find_line(lines, "Tarn 6.00 running benchmark using 1 threads"), -1);
    int positions = 0;
    for (const std::string& line : lines)
        positions += line.rfind("pos ", 0) == 0;
    EXPECT_EQ(positions, 20);

    const std::string& last  = lines.back();
    unsigned long long nodes = 0, nps = 0;
    char rest = 0;
    ASSERT_EQ(std::sscanf(last.c_str(), "%llu nodes %llu nps%c", &nodes, &nps, &rest), 2) << last;
    EXPECT_EQ(last, std::to_string(nodes) + " nodes " + std::to_string(nps) + " nps");
    EXPECT_GT(nodes, 0u);
    EXPECT_GT(nps, 0u);

    // The same total as the benchmark's own report on the line before.
    const std::string& total = lines[lines.size() - 2];
    double seconds = 0, total_nodes = 0, total_nps = 0;
    ASSERT_EQ(std::sscanf(total.c_str(), "total time= %lf seconds, nodes= %lf, nps= %lf", &seconds,
                          &total_nodes, &total_nps),
              3)
        << total;
    EXPECT_EQ(static_cast<double>(nodes), total_nodes);
    EXPECT_EQ(static_cast<double>(nps), total_nps);
}

} // namespace
} // namespace tarn
