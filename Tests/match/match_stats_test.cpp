// Match statistics against values worked out by hand from the formulas: Elo from score, the
// 95% interval and likelihood of superiority of a trinomial and a pentanomial sample, and the
// SPRT's log-likelihood ratio, bounds and decisions.

#include <cmath>
#include <gtest/gtest.h>

#include "match/report.h"
#include "match/stats.h"
#include "match/tournament.h"

namespace tarn {
namespace {

MatchCounts trinomial(int wins, int losses, int draws) {
    MatchCounts c;
    c.wins   = wins;
    c.losses = losses;
    c.draws  = draws;
    return c;
}

MatchCounts pentanomial(int a, int b, int c, int d, int e) {
    MatchCounts m;
    const int pairs[5] = {a, b, c, d, e};
    for (int i = 0; i < 5; ++i)
        m.penta[i] = pairs[i];
    // Games consistent with the pairs (not used by the paired statistics).
    m.wins   = 2 * e + d;
    m.losses = 2 * a + b;
    m.draws  = b + 2 * c + d;
    return m;
}

TEST(MatchStats, EloAndScoreConvert) {
    EXPECT_NEAR(elo_from_score(0.75), 190.848501887865, 1e-9);
    EXPECT_NEAR(elo_from_score(0.25), -190.848501887865, 1e-9);
    EXPECT_DOUBLE_EQ(elo_from_score(0.5), 0.0);
    EXPECT_NEAR(score_from_elo(100), 0.6400649998028851, 1e-12);
    EXPECT_NEAR(elo_from_score(score_from_elo(-237.5)), -237.5, 1e-9);
}

TEST(MatchStats, TrinomialIntervalAndLos) {
    const MatchCounts c = trinomial(60, 40, 100);
    double mean = 0, variance = 0;
    int n = 0;
    ASSERT_TRUE(sample_moments(c, false, mean, variance, n));
    EXPECT_EQ(n, 200);
    EXPECT_NEAR(mean, 0.55, 1e-12);
    EXPECT_NEAR(variance, 0.1225, 1e-12);
    const EloEstimate e = estimate_elo(c, false);
    ASSERT_TRUE(e.valid);
    EXPECT_NEAR(e.elo, 34.86007028756008, 1e-9);
    EXPECT_NEAR(e.lower, 1.037700169527114, 1e-9);
    EXPECT_NEAR(e.upper, 69.35623785672156, 1e-9);
    EXPECT_NEAR(e.los, 0.9783241243695687, 1e-9);
}

TEST(MatchStats, PentanomialIntervalAndLos) {
    const EloEstimate e = estimate_elo(pentanomial(2, 15, 40, 30, 13), true);
    ASSERT_TRUE(e.valid);
    EXPECT_NEAR(e.elo, 65.02429664245847, 1e-9);
    EXPECT_NEAR(e.lower, 31.82927408301472, 1e-9);
    EXPECT_NEAR(e.upper, 99.43978019098988, 1e-9);
    EXPECT_NEAR(e.los, 0.9999460412482091, 1e-9);
    EXPECT_EQ(pairs_played(pentanomial(2, 15, 40, 30, 13)), 100);
}

TEST(MatchStats, EdgesOfTheSample) {
    EXPECT_FALSE(estimate_elo(MatchCounts{}, false).valid);
    const EloEstimate all_won = estimate_elo(trinomial(5, 0, 0), false);
    EXPECT_TRUE(std::isinf(all_won.elo) && all_won.elo > 0);
    EXPECT_DOUBLE_EQ(all_won.los, 1.0);
    EXPECT_EQ(elo_text(all_won.elo), "inf");
    EXPECT_EQ(elo_text(-1e-9), "0.0");
    EXPECT_EQ(elo_text(-12.34), "-12.3");
    EXPECT_DOUBLE_EQ(match_score(trinomial(3, 1, 2)), 4.0 / 6.0);
}

TEST(MatchStats, SprtLogLikelihoodRatio) {
    const SprtConfig sprt{true, 0.0, 5.0, 0.05, 0.05};
    EXPECT_NEAR(sprt_llr(pentanomial(2, 15, 40, 30, 13), true, sprt), 1.120726008043861, 1e-6);
    // An even sample speaks for H0: (s1 - s0)^2 * pairs / (2 * variance), negated.
    EXPECT_NEAR(sprt_llr(pentanomial(5, 20, 50, 20, 5), true, sprt), -0.05176531859514192, 1e-6);
    const SprtConfig wide{true, 0.0, 10.0, 0.05, 0.05};
    EXPECT_NEAR(sprt_llr(trinomial(60, 40, 100), false, wide), 1.0054683508193751, 1e-6);
    EXPECT_DOUBLE_EQ(sprt_llr(MatchCounts{}, true, sprt), 0.0);
    // Every pair won: the prior keeps the ratio finite and decisive.
    EXPECT_NEAR(sprt_llr(pentanomial(0, 0, 0, 0, 20), true, sprt), 762.0789351119647, 1e-6);
    // Too few samples to judge a variance: one lost pair, or a few won ones, decide nothing
    // (a single 0.5 pair used to give -3.95 and end a test after two games).
    EXPECT_DOUBLE_EQ(sprt_llr(pentanomial(0, 1, 0, 0, 0), true, wide), 0.0);
    EXPECT_DOUBLE_EQ(sprt_llr(pentanomial(0, 0, 0, 0, SPRT_MIN_SAMPLES - 1), true, sprt), 0.0);
    EXPECT_DOUBLE_EQ(sprt_llr(trinomial(0, 0, SPRT_MIN_SAMPLES - 1), false, sprt), 0.0);
    EXPECT_EQ(sprt_decision(sprt_llr(pentanomial(0, 1, 0, 0, 0), true, wide), wide), SPRT_CONTINUE);
    // From the minimum on the ratio counts as usual.
    EXPECT_NEAR(sprt_llr(pentanomial(1, 4, 8, 5, 2), true, wide), 0.1357184788009727, 1e-6);
}

TEST(MatchStats, SprtBoundsAndDecisions) {
    const SprtConfig sprt{true, 0.0, 5.0, 0.05, 0.05};
    EXPECT_NEAR(sprt_lower_bound(sprt), -2.9444389791664403, 1e-12);
    EXPECT_NEAR(sprt_upper_bound(sprt), 2.9444389791664403, 1e-12);
    EXPECT_EQ(sprt_decision(2.9, sprt), SPRT_CONTINUE);
    EXPECT_EQ(sprt_decision(2.95, sprt), SPRT_H1);
    EXPECT_EQ(sprt_decision(-2.95, sprt), SPRT_H0);
    const SprtConfig lopsided{true, 0.0, 5.0, 0.01, 0.1};
    EXPECT_NEAR(sprt_lower_bound(lopsided), std::log(0.1 / 0.99), 1e-12);
    EXPECT_NEAR(sprt_upper_bound(lopsided), std::log(0.9 / 0.01), 1e-12);
}

// The summary names each engine's failures and its closest call with the clock.
TEST(MatchStats, SummaryNamesFailuresAndClosestCalls) {
    MatchConfig config;
    config.engines.resize(3);
    config.engines[0].name = "one";
    config.engines[1].name = "two";
    config.engines[2].name = "three";
    MatchSummary summary;
    summary.failures.assign(3, {});
    summary.failures[1][FAILURE_TIME]    = 2;
    summary.least_left                   = {0.1534, -0.012, NO_DEADLINE};
    const std::vector<std::string> lines = summary_lines(config, summary);
    auto has                             = [&lines](const std::string& text) {
        for (const std::string& line : lines)
            if (line == text)
                return true;
        return false;
    };
    EXPECT_TRUE(has("Failures of one: none; closest call 153 ms left"));
    EXPECT_TRUE(has("Failures of two: 2 time losses; closest call 12 ms past the deadline"));
    EXPECT_TRUE(has("Failures of three: none")) << "no move had a time limit";
}

} // namespace
} // namespace tarn
