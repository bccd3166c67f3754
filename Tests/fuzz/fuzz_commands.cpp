// Command lines as a GUI or a person would type them, run through the dispatcher and the main
// loop's search turns. The first byte picks the protocol the session starts in (console when
// odd); every further line is one command. Searches are cut to depth 2 and a few thousand
// nodes, and a search still running after half a second is stopped, so one input stays fast.
// The harness leaves out the few lines that would only measure the machine: Hash above 16 MB
// and Threads above 4 (memory and threads the fuzzer's limits do not allow), "perft" deeper
// than 3, the console's "self" (a whole game) and "load" (the PGN targets read games), and
// file names under /dev, /proc and /sys.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/platform.h"
#include "frontend/game_record.h"
#include "frontend/run_settings.h"
#include "frontend/uci.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/search_state.h"

namespace tarn::fuzz {

namespace {

constexpr int SEARCH_DEPTH           = 2;
constexpr std::uint64_t SEARCH_NODES = 4000;
constexpr double SEARCH_SECONDS      = 0.5;
constexpr int MAX_HASH_MB            = 16;
constexpr int MAX_THREADS            = 4;
constexpr int MAX_PERFT_DEPTH        = 3;
constexpr std::size_t MAX_LINES      = 64;

// The first number after `word` in line, or -1 when there is none.
std::int64_t number_after(const std::string& line, const char* word) {
    const std::size_t at = line.find(word);
    if (at == std::string::npos)
        return -1;
    const std::size_t digit = line.find_first_of("0123456789", at);
    if (digit == std::string::npos)
        return -1;
    return std::strtoll(line.c_str() + digit, nullptr, 10);
}

bool harness_skips(const std::string& line) {
    const std::size_t start = line.find_first_not_of(' ');
    const std::string first =
        start == std::string::npos ? "" : line.substr(start, line.find(' ', start) - start);
    if (first == "self" || first == "load")
        return true;
    if (first == "perft" && number_after(line, "perft") > MAX_PERFT_DEPTH)
        return true;
    if (number_after(line, "Hash") > MAX_HASH_MB || number_after(line, "hash") > MAX_HASH_MB)
        return true;
    if (number_after(line, "Threads") > MAX_THREADS)
        return true;
    for (const char* dir : {"/dev", "/proc", "/sys"})
        if (line.find(dir) != std::string::npos)
            return true;
    return false;
}

// Cuts a requested search down to its few nodes.
void cap_request() {
    SearchLimits& s = game_limits;
    if (search_control.mode != MODE_REQUESTED && search_control.mode != MODE_PONDER_REQ)
        return;
    s.max_depth = std::min(s.max_depth, SEARCH_DEPTH);
    if (s.node_limit == 0 || s.node_limit > SEARCH_NODES)
        s.node_limit = SEARCH_NODES;
}

// Runs main-loop turns until the requested or running search has been reported.
void finish_search() {
    const double start = platform_now();
    while (search_control.mode != MODE_IDLE) {
        cap_request();
        main_loop_turn();
        if (platform_now() - start > SEARCH_SECONDS)
            search_control.stop = 1;
    }
}

} // namespace

int fuzz_commands(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    reset_search_tables();
    if (size == 0)
        return 0;
    run_settings.protocol_mode           = (data[0] & 1) ? PROTOCOL_CONSOLE : PROTOCOL_UCI;
    const std::vector<std::string> lines = split_lines(as_text(data + 1, size - 1));
    for (std::size_t i = 0; i < lines.size() && i < MAX_LINES && !run_settings.quit; ++i) {
        if (harness_skips(lines[i]))
            continue;
        dispatch_line(lines[i]);
        finish_search();
    }
    reset_engine();
    return 0;
}

} // namespace tarn::fuzz
