#pragma once
// Match statistics. Games are counted from the first engine's side: wins, losses, draws, and
// for games played in pairs (one opening, colours swapped) the pentanomial counts of pair
// scores 0, 1/2, 1, 3/2, 2. Elo, its 95% interval, the likelihood of superiority and the SPRT
// log-likelihood ratio come from the mean and variance of the sample's scores: per pair when
// pairs are played, so that the opening's bias cancels, else per game. The SPRT uses the
// normal approximation of the generalised SPRT with logistic Elo bounds.

#include <cstdint>
#include <string>

namespace tarn {

constexpr double Z_95 = 1.959963984540054; // two-sided 95% quantile of the normal law
// Count added to every outcome before the SPRT's variance is taken, so that a sample whose
// results are all alike (every pair won, say) still gives a finite ratio.
constexpr double SPRT_PRIOR = 1e-3;
// Samples (pairs, or games when unpaired) before the SPRT's ratio counts: the variance of a
// handful of results says nothing, and one lost pair alone would otherwise end a test.
constexpr int SPRT_MIN_SAMPLES = 20;

// Counts of one pairing, from the first engine's side.
struct MatchCounts {
    int wins     = 0;
    int losses   = 0;
    int draws    = 0;
    int penta[5] = {0, 0, 0, 0, 0}; // finished pairs by pair score 0, 0.5, 1, 1.5, 2
};

// Elo difference with its 95% interval; infinite values when a bound reaches 0 or 1.
struct EloEstimate {
    double elo   = 0.0;
    double lower = 0.0;
    double upper = 0.0;
    double los   = 0.5;   // probability that the first engine is the stronger
    bool valid   = false; // false without enough games to say anything
};

// The SPRT's hypotheses and error rates.
struct SprtConfig {
    bool on      = false;
    double elo0  = 0.0;
    double elo1  = 5.0;
    double alpha = 0.05;
    double beta  = 0.05;
};

constexpr int SPRT_CONTINUE = 0;
constexpr int SPRT_H0       = 1; // the lower bound was crossed: not elo1 better
constexpr int SPRT_H1       = 2; // the upper bound was crossed: elo1 better

// --- conversions ---

// Elo difference of an expected score in (0, 1), and back.
double elo_from_score(double score);
double score_from_elo(double elo);

// --- queries ---

int games_played(const MatchCounts& c);
int pairs_played(const MatchCounts& c);
// Mean score of the first engine over all games.
double match_score(const MatchCounts& c);
// Mean and variance of one sample's score: over pairs (pentanomial) when `paired`, else over
// games. Scores are per game (a pair's score is halved). False when there is no sample.
bool sample_moments(const MatchCounts& c, bool paired, double& mean, double& variance, int& n);
EloEstimate estimate_elo(const MatchCounts& c, bool paired);
// Log-likelihood ratio of H1 (elo1) against H0 (elo0); 0 before SPRT_MIN_SAMPLES samples.
double sprt_llr(const MatchCounts& c, bool paired, const SprtConfig& sprt);
// Lower and upper stopping bounds: log(beta / (1 - alpha)) and log((1 - beta) / alpha).
double sprt_lower_bound(const SprtConfig& sprt);
double sprt_upper_bound(const SprtConfig& sprt);
int sprt_decision(double llr, const SprtConfig& sprt);

// "12.3" or "inf" / "-inf".
std::string elo_text(double elo);

} // namespace tarn
