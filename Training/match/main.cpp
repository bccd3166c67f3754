// tarn-match: plays games between UCI engines and says which is stronger. See match/cli.h
// for the command line and the README for examples.

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "match/cli.h"
#include "match/tournament.h"

namespace {

// Ctrl-C stops the match at the next move of every running game and prints the summary; a
// second one ends the runner at once.
void on_interrupt(int) {
    tarn::match_request_stop();
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args)
        if (a == "-help" || a == "--help" || a == "-h") {
            std::fputs(tarn::match_usage(), stdout);
            return 0;
        }
    tarn::MatchConfig config;
    bool has_seed = false;
    std::string error;
    if (!tarn::parse_match_args(args, config, has_seed, error)) {
        std::fprintf(stderr, "tarn-match: %s\n%s", error.c_str(), tarn::match_usage());
        return 1;
    }
    if (!has_seed)
        config.seed = static_cast<std::uint32_t>(std::time(nullptr));
    std::signal(SIGINT, on_interrupt);
    tarn::MatchSummary summary;
    if (!tarn::run_match(config, summary, error)) {
        std::fprintf(stderr, "tarn-match: %s\n", error.c_str());
        return 1;
    }
    if (config.strict && tarn::failure_count(summary) > 0) {
        std::fprintf(stderr, "tarn-match: %d games lost by engine failures\n",
                     tarn::failure_count(summary));
        return 3;
    }
    return 0;
}
