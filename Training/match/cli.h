#pragma once
// The runner's command line, in the form tournament managers use so that testers' scripts
// carry over: "-engine cmd=PATH name=NAME option.Hash=16 tc=40/60+0.6", "-each ..." for what
// every engine shares, "-games", "-rounds", "-repeat", "-concurrency", "-openings", "-pgnout",
// "-epdout", "-sprt", "-draw", "-resign", "-maxmoves", "-srand", "-variant". Anything not
// understood is an error with a message, never silently ignored.

#include <string>
#include <vector>

#include "match/config.h"

namespace tarn {

// Reads the arguments (without the program name) into config. False with a message in error.
// has_seed tells whether -srand was given.
bool parse_match_args(const std::vector<std::string>& args, MatchConfig& config, bool& has_seed,
                      std::string& error);
// The usage text printed by -help and after an error.
const char* match_usage();

} // namespace tarn
