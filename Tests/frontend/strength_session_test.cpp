// The strength limit seen from a GUI: the engine binary with UCI_LimitStrength, UCI_Elo or
// "-nps", searching for a fixed time. The node rate a throttled search reports must be the one
// its Elo stands for; an unthrottled one must not crawl. The margins are wide, because the
// machine may be busy: a limited search that works is within a fifth of its rate, one that
// does not is hundreds of times off.

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/live_engine.h"

namespace tarn {
namespace {

using Lines = std::vector<std::string>;

// The number after `key` in line, or -1 when the key is absent.
double number_after(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(key);
    return at == std::string::npos ? -1.0 : std::atof(line.c_str() + at + key.size());
}

// The "nps" of the last info line before "bestmove".
double reported_nps(const Lines& lines) {
    double nps = -1.0;
    for (const std::string& l : lines)
        if (l.rfind("info ", 0) == 0 && l.find(" pv ") != std::string::npos)
            nps = number_after(l, " nps ");
    return nps;
}

// Node rate that an Elo stands for: the inverse of 150 * ln(n - 15) + 1138.
double nps_of_elo(double elo) {
    return std::exp((elo - 1138.0) / 150.0) + 15.0;
}

// Searches the start position for the given milliseconds and returns the reported rate.
double timed_search_nps(test::LiveEngine& engine, int milliseconds) {
    engine.send("position startpos");
    engine.send("go movetime " + std::to_string(milliseconds));
    const Lines lines = engine.read_until("bestmove");
    EXPECT_FALSE(lines.empty());
    return reported_nps(lines);
}

TEST(StrengthSession, LimitWithTheDefaultEloPlaysAtTheCeiling) {
    test::LiveEngine engine({"-hash", "1"});
    const Lines start = engine.read_until("info string et=");
    ASSERT_FALSE(start.empty());
    const double calibration = number_after(start.back(), "calibration nps= ");
    ASSERT_GT(calibration, 0.0);

    // The Elo offered by default is the top of the range: the machine's ceiling.
    engine.send("uci");
    const Lines announced = engine.read_until("uciok");
    std::string elo_line;
    for (const std::string& l : announced)
        if (l.rfind("option name UCI_Elo ", 0) == 0)
            elo_line = l;
    ASSERT_FALSE(elo_line.empty());
    EXPECT_EQ(number_after(elo_line, " default "), number_after(elo_line, " max ")) << elo_line;

    // A GUI that only ticks "limit strength" sends no UCI_Elo line.
    engine.send("setoption name UCI_LimitStrength value true");
    const double nps = timed_search_nps(engine, 1000);
    EXPECT_GT(nps, calibration / 10) << "calibration nps " << calibration;
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(StrengthSession, EloSetsTheNodeRateOfItsFormula) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("setoption name UCI_LimitStrength value true");
    engine.send("setoption name UCI_Elo value 2200");
    const double wanted = nps_of_elo(2200); // about 1200 nodes a second
    const double nps    = timed_search_nps(engine, 2000);
    EXPECT_NEAR(nps, wanted, 0.2 * wanted);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST(StrengthSession, NpsSwitchThrottlesToTheGivenRate) {
    test::LiveEngine engine({"-hash", "1", "-nps", "5015"});
    const Lines start = engine.read_until("Elo= ");
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.back(), "Elo= 2415");
    const double nps = timed_search_nps(engine, 2000);
    EXPECT_NEAR(nps, 5015, 0.2 * 5015);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

} // namespace
} // namespace tarn
