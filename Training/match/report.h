#pragma once
// The text a match prints: the line after each game and the summary at the end (score, Elo
// with its interval, likelihood of superiority, draw ratio, pentanomial counts, SPRT state,
// engine failures, and a table of all engines when more than two play).

#include <string>
#include <vector>

#include "match/config.h"
#include "match/tournament.h"

namespace tarn {

// "Score of A vs B: 12 - 8 - 20  [0.550] 40"
std::string score_line(const std::string& first, const std::string& second,
                       const MatchCounts& counts);
// "Elo difference: 34.9 +/- 61.2 [-26.3, 96.1], LOS: 86.9 %, DrawRatio: 50.0 %"
std::string elo_line(const MatchCounts& counts, bool paired);
// "LLR: 1.23 (41.8%) [-2.94, 2.94] elo0 0.0 elo1 5.0"
std::string sprt_line(double llr, const SprtConfig& sprt);
// The summary at the end of a match.
std::vector<std::string> summary_lines(const MatchConfig& config, const MatchSummary& summary);

} // namespace tarn
