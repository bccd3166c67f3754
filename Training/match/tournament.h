#pragma once
// The match itself: the schedule of games (each pairing of engines, rounds, games, openings
// and colours), worker threads that each own their engine processes and play one game at a
// time, and the record of finished games (PGN and training files, counts, progress lines, the
// SPRT). Results are recorded under one lock in the order games finish; a stop request (the
// SPRT deciding, or Ctrl-C) lets running games end at their next move without counting them.

#include <array>
#include <string>
#include <vector>

#include "match/config.h"
#include "match/game.h"

namespace tarn {

// Results of one pairing, from the first engine's side.
struct PairingResult {
    int first  = 0;
    int second = 1;
    MatchCounts counts;
};

// What a match ended with.
struct MatchSummary {
    std::vector<PairingResult> pairings;
    std::vector<std::array<int, FAILURE_KINDS>> failures; // per engine, by failure kind
    std::vector<double> least_left; // per engine, its closest call over all games (seconds)
    int games_played  = 0;          // games with a result
    int sprt_decision = SPRT_CONTINUE;
    double llr        = 0.0;
    bool stopped      = false; // ended before the schedule was through
};

// Plays the match. False with a message in error when it cannot begin (openings, output
// files, fewer than two engines); everything that goes wrong in a game is part of the result.
bool run_match(const MatchConfig& config, MatchSummary& summary, std::string& error);
// Number of games an engine lost by a failure (time, illegal move, crash, start) in a summary.
int failure_count(const MatchSummary& summary);
// Asks a running match to stop; safe to call from a signal handler.
void match_request_stop();

// The game with 0-based schedule index `index`: its pairing, round, colours and the opening
// slot (an index into the opening order; games from one opening share a slot).
struct ScheduleEntry {
    int pairing         = 0;
    int round           = 0;
    int slot            = 0;
    bool first_is_white = true;
};
int schedule_length(const MatchConfig& config);
ScheduleEntry schedule_entry(const MatchConfig& config, int index);

} // namespace tarn
