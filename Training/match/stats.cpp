#include "match/stats.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace tarn {

namespace {

// Elo of a score that may lie on or beyond the ends of (0, 1).
double bounded_elo(double score) {
    if (score <= 0)
        return -std::numeric_limits<double>::infinity();
    if (score >= 1)
        return std::numeric_limits<double>::infinity();
    return elo_from_score(score);
}

// Sample counts by score: pairs at 0, 1/4, .. 1 (a pair's score per game) when paired, else
// games at 0, 1/2, 1. Returns the number of kinds.
int sample_counts(const MatchCounts& c, bool paired, double counts[5]) {
    if (paired) {
        for (int i = 0; i < 5; ++i)
            counts[i] = c.penta[i];
        return 5;
    }
    counts[0] = c.losses;
    counts[1] = c.draws;
    counts[2] = c.wins;
    return 3;
}

// Mean and variance of scores spread evenly over 0..1 in `kinds` steps with the given counts.
bool moments(const double* counts, int kinds, double& mean, double& variance) {
    double n = 0, sum = 0;
    for (int i = 0; i < kinds; ++i) {
        n += counts[i];
        sum += counts[i] * i / (kinds - 1);
    }
    if (n <= 0)
        return false;
    mean     = sum / n;
    variance = 0;
    for (int i = 0; i < kinds; ++i) {
        const double d = static_cast<double>(i) / (kinds - 1) - mean;
        variance += counts[i] * d * d;
    }
    variance /= n;
    return true;
}

} // namespace

double elo_from_score(double score) {
    return -400.0 * std::log10(1.0 / score - 1.0);
}

double score_from_elo(double elo) {
    return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0));
}

int games_played(const MatchCounts& c) {
    return c.wins + c.losses + c.draws;
}

int pairs_played(const MatchCounts& c) {
    int n = 0;
    for (const int k : c.penta)
        n += k;
    return n;
}

double match_score(const MatchCounts& c) {
    const int n = games_played(c);
    return n ? (c.wins + 0.5 * c.draws) / n : 0.5;
}

bool sample_moments(const MatchCounts& c, bool paired, double& mean, double& variance, int& n) {
    double counts[5];
    const int kinds = sample_counts(c, paired, counts);
    n               = 0;
    for (int i = 0; i < kinds; ++i)
        n += static_cast<int>(counts[i]);
    return n > 0 && moments(counts, kinds, mean, variance);
}

EloEstimate estimate_elo(const MatchCounts& c, bool paired) {
    EloEstimate e;
    double mean = 0, variance = 0;
    int n = 0;
    if (!sample_moments(c, paired, mean, variance, n))
        return e;
    const double error = std::sqrt(variance / n);
    e.valid            = true;
    e.elo              = bounded_elo(mean);
    e.lower            = bounded_elo(mean - Z_95 * error);
    e.upper            = bounded_elo(mean + Z_95 * error);
    e.los              = error > 0 ? 0.5 * std::erfc(-(mean - 0.5) / (std::sqrt(2.0) * error))
                                   : (mean > 0.5   ? 1.0
                                      : mean < 0.5 ? 0.0
                                                   : 0.5);
    return e;
}

double sprt_llr(const MatchCounts& c, bool paired, const SprtConfig& sprt) {
    double counts[5];
    const int kinds = sample_counts(c, paired, counts);
    double n        = 0;
    for (int i = 0; i < kinds; ++i) {
        n += counts[i];
        counts[i] += SPRT_PRIOR;
    }
    double mean = 0, variance = 0;
    if (n < SPRT_MIN_SAMPLES || !moments(counts, kinds, mean, variance))
        return 0.0;
    const double s0 = score_from_elo(sprt.elo0);
    const double s1 = score_from_elo(sprt.elo1);
    // Log-likelihood ratio of two normal laws with means s1 and s0 and the sample's variance.
    return n * (s1 - s0) * (2 * mean - s0 - s1) / (2 * variance);
}

double sprt_lower_bound(const SprtConfig& sprt) {
    return std::log(sprt.beta / (1 - sprt.alpha));
}

double sprt_upper_bound(const SprtConfig& sprt) {
    return std::log((1 - sprt.beta) / sprt.alpha);
}

int sprt_decision(double llr, const SprtConfig& sprt) {
    if (llr >= sprt_upper_bound(sprt))
        return SPRT_H1;
    if (llr <= sprt_lower_bound(sprt))
        return SPRT_H0;
    return SPRT_CONTINUE;
}

std::string elo_text(double elo) {
    if (std::isinf(elo))
        return elo > 0 ? "inf" : "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", std::fabs(elo) < 0.05 ? 0.0 : elo); // no "-0.0"
    return buffer;
}

} // namespace tarn
