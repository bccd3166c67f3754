#pragma once
// What a match is told to do, as the command line sets it: the engines with their commands,
// options and limits, the schedule, the openings, the adjudication rules, the output files and
// the SPRT. run_match reads these records and never changes them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "match/openings.h"
#include "match/rules.h"
#include "match/stats.h"
#include "match/time_control.h"

namespace tarn {

constexpr double DEFAULT_HANDSHAKE_SECONDS = 10.0;

// One engine taking part.
struct EngineConfig {
    std::string name;
    std::string command;
    std::vector<std::string> args;
    std::string dir; // working directory; empty = the runner's
    std::vector<std::pair<std::string, std::string>> options; // UCI options in order
    TimeControl tc;
};

// Where the training positions go and which are left out.
struct EpdOutConfig {
    std::string file;
    bool skip_check = false; // positions where the side to move is in check
    bool skip_mate  = false; // positions where the mover reported a mate score
};

// The whole match.
struct MatchConfig {
    std::vector<EngineConfig> engines;
    int games          = 1; // games per pairing and round
    int rounds         = 1;
    int repeat         = 1; // games played from each opening, colours swapped (1 or 2)
    int concurrency    = 1;
    bool chess960      = false;
    std::uint32_t seed = 0;
    OpeningsConfig openings;
    std::string pgn_file;
    EpdOutConfig epd_out;
    SprtConfig sprt;
    DrawRule draw;
    ResignRule resign;
    int max_moves            = 0; // full moves after which a game is a draw; 0 = no limit
    std::string event        = "tarn-match";
    double handshake_seconds = DEFAULT_HANDSHAKE_SECONDS; // "uci" and "isready" answers
    bool quiet               = false;                     // no progress lines (the tests)
    bool strict              = false; // a failure of any engine makes the exit status 3
};

} // namespace tarn
