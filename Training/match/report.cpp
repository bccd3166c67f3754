#include "match/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "match/game.h"

namespace tarn {

namespace {

constexpr const char* FAILURE_NAMES[FAILURE_KINDS] = {"", "time losses", "illegal moves", "crashes",
                                                      "failed starts"};

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

// Failure counts of one engine: "none" or "1 crashes, 2 time losses".
std::string failure_text(const std::array<int, FAILURE_KINDS>& counts) {
    std::string text;
    for (int kind = 1; kind < FAILURE_KINDS; ++kind)
        if (counts[static_cast<std::size_t>(kind)] > 0)
            text += (text.empty() ? "" : ", ") +
                    std::to_string(counts[static_cast<std::size_t>(kind)]) + " " +
                    FAILURE_NAMES[kind];
    return text.empty() ? "none" : text;
}

// "; closest call 153 ms left" or "; closest call 12 ms past the deadline".
std::string closest_call_text(double seconds_left) {
    const double ms = std::round(1000.0 * seconds_left);
    return ms >= 0 ? format("; closest call %.0f ms left", ms)
                   : format("; closest call %.0f ms past the deadline", -ms);
}

// Standings of every engine against the field when more than two play.
void add_table(const MatchConfig& config, const MatchSummary& summary,
               std::vector<std::string>& lines) {
    const std::size_t n = config.engines.size();
    std::vector<MatchCounts> own(n);
    for (const PairingResult& p : summary.pairings) {
        MatchCounts& a = own[static_cast<std::size_t>(p.first)];
        MatchCounts& b = own[static_cast<std::size_t>(p.second)];
        a.wins += p.counts.wins;
        a.losses += p.counts.losses;
        a.draws += p.counts.draws;
        b.wins += p.counts.losses;
        b.losses += p.counts.wins;
        b.draws += p.counts.draws;
    }
    std::vector<std::size_t> rank(n);
    for (std::size_t i = 0; i < n; ++i)
        rank[i] = i;
    std::stable_sort(rank.begin(), rank.end(), [&own](std::size_t a, std::size_t b) {
        return match_score(own[a]) > match_score(own[b]);
    });
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%-4s %-24s %7s %7s %6s %6s %6s", "Rank", "Name", "Elo",
                  "+/-", "Games", "Score", "Draw");
    lines.push_back(buffer);
    for (std::size_t r = 0; r < n; ++r) {
        const MatchCounts& c  = own[rank[r]];
        const EloEstimate e   = estimate_elo(c, false);
        const int games       = games_played(c);
        const double margin   = (e.upper - e.lower) / 2;
        const std::string err = std::isfinite(margin) ? format("%.1f", margin) : "inf";
        std::snprintf(buffer, sizeof buffer, "%-4zu %-24s %7s %7s %6d %5.1f%% %5.1f%%", r + 1,
                      config.engines[rank[r]].name.c_str(), elo_text(e.elo).c_str(), err.c_str(),
                      games, 100.0 * match_score(c), games ? 100.0 * c.draws / games : 0.0);
        lines.push_back(buffer);
    }
}

} // namespace

std::string score_line(const std::string& first, const std::string& second,
                       const MatchCounts& counts) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ": %d - %d - %d  [%.3f] %d", counts.wins, counts.losses,
                  counts.draws, match_score(counts), games_played(counts));
    return "Score of " + first + " vs " + second + buffer;
}

std::string elo_line(const MatchCounts& counts, bool paired) {
    const EloEstimate e = estimate_elo(counts, paired);
    if (!e.valid)
        return "Elo difference: no games yet";
    const double margin = (e.upper - e.lower) / 2;
    const int games     = games_played(counts);
    std::string text    = "Elo difference: " + elo_text(e.elo) + " +/- " +
                       (std::isfinite(margin) ? format("%.1f", margin) : "inf") + " [" +
                       elo_text(e.lower) + ", " + elo_text(e.upper) + "]";
    text += format(", LOS: %.1f %%, DrawRatio: %.1f %%", 100.0 * e.los,
                   games ? 100.0 * counts.draws / games : 0.0);
    return text;
}

std::string sprt_line(double llr, const SprtConfig& sprt) {
    const double upper = sprt_upper_bound(sprt);
    return format("LLR: %.2f (%.1f%%)", llr, 100.0 * llr / upper) +
           format(" [%.2f, %.2f]", sprt_lower_bound(sprt), upper) +
           format(" elo0 %.1f elo1 %.1f", sprt.elo0, sprt.elo1);
}

std::vector<std::string> summary_lines(const MatchConfig& config, const MatchSummary& summary) {
    std::vector<std::string> lines;
    const bool paired = config.repeat == 2;
    for (const PairingResult& p : summary.pairings) {
        const MatchCounts& c = p.counts;
        lines.push_back(score_line(config.engines[static_cast<std::size_t>(p.first)].name,
                                   config.engines[static_cast<std::size_t>(p.second)].name, c));
        lines.push_back(elo_line(c, paired));
        if (paired)
            lines.push_back("Ptnml(0-2): [" + std::to_string(c.penta[0]) + ", " +
                            std::to_string(c.penta[1]) + ", " + std::to_string(c.penta[2]) + ", " +
                            std::to_string(c.penta[3]) + ", " + std::to_string(c.penta[4]) + "]");
    }
    if (config.sprt.on) {
        const char* state = summary.sprt_decision == SPRT_H1   ? "H1 was accepted"
                            : summary.sprt_decision == SPRT_H0 ? "H0 was accepted"
                                                               : "no decision yet";
        lines.push_back("SPRT: " + sprt_line(summary.llr, config.sprt) + " - " + state);
    }
    if (config.engines.size() > 2)
        add_table(config, summary, lines);
    for (std::size_t i = 0; i < config.engines.size() && i < summary.failures.size(); ++i) {
        std::string line =
            "Failures of " + config.engines[i].name + ": " + failure_text(summary.failures[i]);
        if (i < summary.least_left.size() && summary.least_left[i] < NO_DEADLINE)
            line += closest_call_text(summary.least_left[i]);
        lines.push_back(line);
    }
    lines.push_back(summary.stopped
                        ? "Match stopped after " + std::to_string(summary.games_played) + " games"
                        : "Match finished: " + std::to_string(summary.games_played) + " games");
    return lines;
}

} // namespace tarn
