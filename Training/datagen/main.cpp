// tarn-datagen: self-play training records made inside one process. See --help.

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform.h"
#include "datagen/datagen.h"
#include "eval/nn_file.h"
#include "frontend/engine_options.h"
#include "frontend/run_settings.h"
#include "frontend/switches.h"
#include "match/openings.h"
#include "match/rules.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace {

constexpr double PROGRESS_SECONDS = 30.0;

constexpr const char* USAGE =
    "usage: tarn-datagen --out DIR --chunks FIRST-LAST [options]\n"
    "Plays chunks FIRST..LAST of self-play games and writes each as DIR/chunk-K.bin (40-byte\n"
    "training records) with the marker DIR/chunk-K.done; chunks already done are skipped, so\n"
    "a stopped run resumes where it was. Run one process per core with different chunks.\n"
    "options:\n"
    "  --seed N            names the run; chunk K of seed N always plays the same games (1)\n"
    "  --games N           games per chunk (100)\n"
    "  --nodes N           soft node limit per move, checked between iterations (5000)\n"
    "  --hard-nodes N      node limit that ends a search at once (8 x --nodes)\n"
    "  --hash MB           transposition table, cleared before every game (16)\n"
    "  --openings FILE     FEN or EPD lines to start from (the start position)\n"
    "  --random-plies N    random legal plies after each opening (4)\n"
    "  --chess960 X        share of games from Chess960 start positions (0.1)\n"
    "  --chess960-plies N  random plies after a Chess960 start position (4)\n"
    "  --opening-limit CP  drop an opening whose first search scores beyond this (400)\n"
    "  --win CP,PLIES      a win once both sides agree on CP for PLIES plies (1000,8)\n"
    "  --draw CP,PLIES,MOVE  a draw once the score stays within CP for PLIES plies from\n"
    "                      full move MOVE on (10,12,40)\n"
    "  --max-plies N       a game this long is a draw (400)\n"
    "  --tbpath DIRS       tablebases: adjudicate the endings they hold, label their results\n"
    "  --net FILE          network file to play with; \"embedded\" (default) the built-in one,\n"
    "                      \"none\" the hand-crafted evaluation\n";

bool parse_u64(const char* text, std::uint64_t lo, std::uint64_t hi, std::uint64_t& out) {
    const char* end = text + std::strlen(text);
    const auto r    = std::from_chars(text, end, out);
    return r.ec == std::errc{} && r.ptr == end && out >= lo && out <= hi;
}

bool parse_int(const char* text, int lo, int hi, int& out) {
    std::uint64_t v = 0;
    if (text[0] == '-') {
        if (!parse_u64(text + 1, 0, static_cast<std::uint64_t>(-static_cast<long long>(lo)), v))
            return false;
        out = -static_cast<int>(v);
        return out >= lo;
    }
    if (!parse_u64(text, 0, static_cast<std::uint64_t>(hi), v))
        return false;
    out = static_cast<int>(v);
    return out >= lo;
}

// Comma-separated integers, exactly `count` of them.
bool parse_ints(const char* text, int count, int* out) {
    std::string rest = text;
    for (int i = 0; i < count; ++i) {
        const std::size_t comma = rest.find(',');
        if ((comma == std::string::npos) != (i == count - 1))
            return false;
        if (!parse_int(rest.substr(0, comma).c_str(), 0, 100000, out[i]))
            return false;
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return true;
}

struct Args {
    tarn::DatagenConfig config;
    std::string out;
    std::string openings_file;
    std::string tbpath;
    std::string net = tarn::NN_EMBEDDED_NAME;
    int first_chunk = 0;
    int last_chunk  = -1;
};

bool parse_args(int argc, char** argv, Args& a) {
    tarn::DatagenConfig& c = a.config;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h")
            return false;
        if (i + 1 >= argc) {
            std::fprintf(stderr, "tarn-datagen: %s needs a value\n", flag.c_str());
            return false;
        }
        const char* v = argv[++i];
        bool ok       = true;
        double share  = 0;
        int triple[3] = {};
        if (flag == "--out") {
            a.out = v;
        } else if (flag == "--chunks") {
            const char* dash = std::strchr(v, '-');
            ok = dash && parse_int(std::string(v, dash).c_str(), 0, 1 << 30, a.first_chunk) &&
                 parse_int(dash + 1, a.first_chunk, 1 << 30, a.last_chunk);
        } else if (flag == "--seed") {
            ok = parse_u64(v, 0, UINT64_MAX, c.seed);
        } else if (flag == "--games") {
            ok = parse_int(v, 1, 1000000, c.games_per_chunk);
        } else if (flag == "--nodes") {
            ok = parse_u64(v, 1, UINT64_MAX / 16, c.soft_nodes);
        } else if (flag == "--hard-nodes") {
            ok = parse_u64(v, 1, UINT64_MAX / 16, c.hard_nodes);
        } else if (flag == "--hash") {
            ok = parse_int(v, 1, 4096, c.hash_mb);
        } else if (flag == "--openings") {
            a.openings_file = v;
        } else if (flag == "--random-plies") {
            ok = parse_int(v, 0, 100, c.random_plies);
        } else if (flag == "--chess960") {
            char* end        = nullptr;
            share            = std::strtod(v, &end);
            ok               = end && *end == 0 && share >= 0 && share <= 1;
            c.chess960_share = share;
        } else if (flag == "--chess960-plies") {
            ok = parse_int(v, 0, 100, c.chess960_plies);
        } else if (flag == "--opening-limit") {
            ok = parse_int(v, 0, 100000, c.opening_score_limit);
        } else if (flag == "--win") {
            ok          = parse_ints(v, 2, triple);
            c.win_score = triple[0];
            c.win_plies = triple[1];
        } else if (flag == "--draw") {
            ok                = parse_ints(v, 3, triple);
            c.draw_score      = triple[0];
            c.draw_plies      = triple[1];
            c.draw_after_move = triple[2];
        } else if (flag == "--max-plies") {
            ok = parse_int(v, 1, tarn::MAX_GAME_PLY - 200, c.max_plies);
        } else if (flag == "--tbpath") {
            a.tbpath = v;
        } else if (flag == "--net") {
            a.net = v;
        } else {
            std::fprintf(stderr, "tarn-datagen: unknown option %s\n", flag.c_str());
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "tarn-datagen: bad value for %s: %s\n", flag.c_str(), v);
            return false;
        }
    }
    if (a.out.empty() || a.last_chunk < a.first_chunk) {
        std::fprintf(stderr, "tarn-datagen: --out and --chunks are needed\n");
        return false;
    }
    return true;
}

double start_time    = 0.0;
double last_progress = 0.0;

void print_progress(const tarn::DatagenCounts& c) {
    const double now = tarn::platform_now();
    if (now - last_progress < PROGRESS_SECONDS)
        return;
    last_progress       = now;
    const double passed = now - start_time;
    std::printf("games %" PRIu64 " positions %" PRIu64 " (%.0f/s) nodes %.0f/s  +%" PRIu64
                " =%" PRIu64 " -%" PRIu64 " (white's view), %" PRIu64 " openings dropped\n",
                c.games, c.positions, static_cast<double>(c.positions) / passed,
                static_cast<double>(c.nodes) / passed, c.white_wins, c.draws, c.black_wins,
                c.dropped);
    std::fflush(stdout);
}

// Loads the network, the tablebases and the openings; false with a message when one fails.
bool prepare(Args& a) {
    using namespace tarn;
    if (a.net == "none") {
        run_settings.use_nn = 0;
    } else {
        if (load_network(a.net.c_str()) != NN_LOADED) {
            std::fprintf(stderr, "tarn-datagen: cannot load the network %s\n", a.net.c_str());
            return false;
        }
        run_settings.use_nn = 1;
    }
    if (!a.tbpath.empty()) {
        copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, a.tbpath.c_str());
        tb_init(live_options.SyzygyPath);
        a.config.tablebases = tb_largest() > 0;
    }
    if (!a.openings_file.empty()) {
        OpeningsConfig oc;
        oc.file   = a.openings_file;
        oc.format = OPENINGS_EPD;
        std::vector<Opening> openings;
        std::vector<std::string> warnings;
        std::string error;
        if (!load_openings(oc, openings, warnings, error)) {
            std::fprintf(stderr, "tarn-datagen: %s\n", error.c_str());
            return false;
        }
        for (const std::string& w : warnings)
            std::fprintf(stderr, "tarn-datagen: %s\n", w.c_str());
        for (const Opening& o : openings)
            a.config.openings.push_back(o.fen);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tarn;
    Args args;
    if (!parse_args(argc, argv, args)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    rules_setup(true);
    write_startup_defaults();
    main_thread = thread_data_create();
    if (!main_thread)
        return 1;
    std::error_code error;
    std::filesystem::create_directories(args.out, error);
    if (!prepare(args) || !datagen_setup(args.config)) {
        thread_data_destroy(main_thread);
        return 1;
    }
    std::printf("tarn-datagen: chunks %d-%d of seed %" PRIu64 " into %s, %" PRIu64
                " nodes a move, %d games a chunk, %zu openings%s\n",
                args.first_chunk, args.last_chunk, args.config.seed, args.out.c_str(),
                args.config.soft_nodes, args.config.games_per_chunk, args.config.openings.size(),
                args.config.tablebases ? ", tablebases" : "");
    std::fflush(stdout);
    start_time = last_progress = platform_now();
    DatagenCounts counts;
    int status = 0;
    for (int k = args.first_chunk; k <= args.last_chunk; ++k) {
        if (!run_datagen_chunk(args.config, args.out, k, counts, print_progress)) {
            std::fprintf(stderr, "tarn-datagen: cannot write %s\n",
                         chunk_file(args.out, k).c_str());
            status = 1;
            break;
        }
    }
    last_progress = 0.0;
    print_progress(counts);
    std::printf("tarn-datagen: done\n");
    release_thread_records(0);
    tt_free();
    thread_data_destroy(main_thread);
    return status;
}
