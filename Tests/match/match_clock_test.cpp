// Time controls and the runner's clocks: reading controls, the PGN tag, the go command each
// side is sent, and charging moves with increments, periods and the margin before the flag.

#include <gtest/gtest.h>
#include <string>

#include "match/time_control.h"

namespace tarn {
namespace {

TimeControl clock_control(const std::string& text) {
    TimeControl tc;
    std::string error;
    EXPECT_TRUE(parse_clock_control(text, tc, error)) << text << ": " << error;
    return tc;
}

TEST(MatchClock, ReadsClockControls) {
    const TimeControl periods = clock_control("40/60+0.6");
    EXPECT_TRUE(periods.has_clock);
    EXPECT_EQ(periods.moves, 40);
    EXPECT_DOUBLE_EQ(periods.base, 60);
    EXPECT_DOUBLE_EQ(periods.increment, 0.6);
    const TimeControl minutes = clock_control("1:30+1");
    EXPECT_EQ(minutes.moves, 0);
    EXPECT_DOUBLE_EQ(minutes.base, 90);
    EXPECT_DOUBLE_EQ(clock_control("10").base, 10);
    EXPECT_DOUBLE_EQ(clock_control("0+0.1").increment, 0.1);
    TimeControl tc = clock_control("5");
    std::string error;
    ASSERT_TRUE(parse_clock_control("inf", tc, error));
    EXPECT_FALSE(tc.has_clock);
    for (const char* bad : {"", "abc", "40/", "/60", "0/60", "60+", "60+x", "-5", "0", "40/60/2"})
        EXPECT_FALSE(parse_clock_control(bad, tc, error)) << bad;
    EXPECT_NE(error, "");
}

TEST(MatchClock, PgnTagText) {
    EXPECT_EQ(time_control_tag(clock_control("40/60+0.6")), "40/60+0.6");
    EXPECT_EQ(time_control_tag(clock_control("1:30")), "90");
    TimeControl st;
    st.move_time = 0.25;
    EXPECT_EQ(time_control_tag(st), "0.25/move");
    TimeControl nodes;
    nodes.nodes = 1000;
    EXPECT_EQ(time_control_tag(nodes), "-");
    EXPECT_TRUE(has_search_limit(nodes));
    EXPECT_FALSE(has_search_limit(TimeControl{}));
}

TEST(MatchClock, GoCommandCarriesBothClocks) {
    const TimeControl tcs[2] = {clock_control("40/60+0.6"), clock_control("40/60+0.6")};
    Clock clocks[2]          = {clock_start(tcs[0]), clock_start(tcs[1])};
    clocks[1].remaining      = 59.5;
    clocks[1].moves_left     = 39;
    EXPECT_EQ(go_command(tcs, clocks, 0),
              "go wtime 60000 btime 59500 winc 600 binc 600 movestogo 40");
    EXPECT_EQ(go_command(tcs, clocks, 1),
              "go wtime 60000 btime 59500 winc 600 binc 600 movestogo 39");

    TimeControl fixed[2];
    fixed[0].move_time = 0.5;
    fixed[1].nodes     = 5000;
    fixed[1].depth     = 7;
    const Clock none[2];
    EXPECT_EQ(go_command(fixed, none, 0), "go movetime 500");
    EXPECT_EQ(go_command(fixed, none, 1), "go nodes 5000 depth 7");
}

TEST(MatchClock, ChargesIncrementsAndStartsNewPeriods) {
    TimeControl tc = clock_control("2/10+1");
    Clock c        = clock_start(tc);
    ASSERT_TRUE(clock_charge(c, tc, 3));
    EXPECT_DOUBLE_EQ(c.remaining, 8);
    EXPECT_EQ(c.moves_left, 1);
    ASSERT_TRUE(clock_charge(c, tc, 4));
    EXPECT_DOUBLE_EQ(c.remaining, 15) << "4 left, the increment and a new period";
    EXPECT_EQ(c.moves_left, 2);
}

TEST(MatchClock, FlagFallsPastTheMargin) {
    TimeControl tc = clock_control("1");
    tc.margin      = 0.05;
    Clock c        = clock_start(tc);
    EXPECT_DOUBLE_EQ(think_limit(tc, c), 1.05);
    Clock late = c;
    EXPECT_TRUE(clock_charge(late, tc, 1.04)) << "inside the margin";
    EXPECT_DOUBLE_EQ(late.remaining, 0);
    EXPECT_DOUBLE_EQ(time_left_after(tc, c, 0.25), 0.75);
    EXPECT_NEAR(time_left_after(tc, c, 1.04), -0.04, 1e-12) << "past the deadline";
    EXPECT_FALSE(clock_charge(c, tc, 1.06));

    TimeControl st;
    st.move_time = 0.2;
    st.margin    = 0.01;
    Clock unused;
    EXPECT_DOUBLE_EQ(think_limit(st, unused), 0.21);
    EXPECT_NEAR(time_left_after(st, unused, 0.205), -0.005, 1e-12);
    EXPECT_TRUE(clock_charge(unused, st, 0.205));
    EXPECT_FALSE(clock_charge(unused, st, 0.25));

    TimeControl depth;
    depth.depth      = 5;
    depth.hang_limit = 3;
    EXPECT_DOUBLE_EQ(think_limit(depth, unused), 3);
    EXPECT_TRUE(clock_charge(unused, depth, 100)) << "no clock to run out";
    EXPECT_EQ(time_left_after(depth, unused, 100), NO_DEADLINE);
}

} // namespace
} // namespace tarn
