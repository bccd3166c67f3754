#include "frontend/switches.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frontend/bench.h"
#include "frontend/engine_options.h"
#include "frontend/game_record.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/timeman.h"
#include "tools/tune_data.h"

namespace tarn {

namespace {

constexpr int MAX_SEARCH_DEPTH     = 66;
constexpr double DEPTH_SWITCH_TIME = 10000.0;
constexpr double NODES_SWITCH_TIME = 1000.0;
constexpr int TOOL_NAME_CHARS      = 139;
constexpr int MKBOOK_NAME_CHARS    = 140;
constexpr std::uint32_t TUNE_MAX   = 100000000;
constexpr double ELO_LOWEST_NPS    = 16.0;    // the speed of the lowest Elo "-nps" gives
constexpr double ELO_HIGHEST       = 32767.0; // and the highest Elo

bool word_is(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

// Decimal integer, held within int range so that huge values clamp instead of wrapping.
int read_int(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return static_cast<int>(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v);
}
double read_double(const char* text) {
    return std::strtod(text, nullptr);
}

void copy_text(char* field, int max_chars, const char* text) {
    std::strncpy(field, text, static_cast<std::size_t>(max_chars));
    field[max_chars] = 0;
}

// Elo that a target speed stands for; speeds at or below 16 count as the lowest.
int elo_for_nps(double nps) {
    return static_cast<int>(std::fmin(elo_of_nps(std::fmax(nps, ELO_LOWEST_NPS)), ELO_HIGHEST));
}

// The tuning switches: file, two rates, millions [, flag]. Returns false when the arguments
// are missing or out of range.
bool read_tuning_arguments(int argc, const char* const* argv, int& i) {
    if (argc < 4 || i + 4 >= argc)
        return false;
    copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[i + 1]);
    run_settings.tune_rate_a = static_cast<float>(read_double(argv[i + 2]));
    run_settings.tune_rate_b = static_cast<float>(read_double(argv[i + 3]));
    const double millions    = read_double(argv[i + 4]);
    i += 4;
    if (i + 1 < argc && (argv[i + 1][0] == '0' || argv[i + 1][0] == '1'))
        ++i;
    live_options.Hash = 0;
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, TBX_PATH);
    const auto rate_ok = [](float r) { return r >= 0.0001f && r <= 0.01f; };
    if (!rate_ok(run_settings.tune_rate_a) || !rate_ok(run_settings.tune_rate_b))
        return false;
    const double count = millions * 1000000.0;
    if (!(count >= 1000000.0))
        return false;
    run_settings.tune_count = static_cast<std::uint32_t>(count > 4e9 ? 4e9 : count);
    return true;
}

} // namespace

void write_startup_defaults() {
    game_limits             = SearchLimits{};
    game_limits.max_depth   = MAX_SEARCH_DEPTH;
    search_state.use_hash   = 1;
    search_control.mode     = MODE_IDLE;
    search_control.stop     = 0;
    search_state.target_nps = 0.0;
    saved_options           = EngineOptions{};
    live_options            = saved_options;
    run_settings            = RunSettings{};
}

SwitchResult parse_switches(int argc, const char* const* argv) {
    SwitchResult r;
    // "bench" as the only argument runs the signature benchmark ("-pbench -d 12"), the way test
    // frameworks call an engine they have built.
    if (argc == 2 && word_is(argv[1], "bench")) {
        r.run_mode            = RUN_BENCH;
        r.bench_inline        = true;
        r.bench_summary       = true;
        game_limits.max_depth = BENCH_SIGNATURE_DEPTH;
        game_limits.time_mode = TIME_FIXED_MOVE;
        game_limits.move_time = DEPTH_SWITCH_TIME;
        return r;
    }
    for (int i = 1; i < argc; ++i) {
        const auto is        = [&](const char* sw) { return word_is(argv[i], sw); };
        const auto has_value = [&]() { return i + 1 < argc; };
        if (is("-uci"))
            run_settings.protocol_mode = PROTOCOL_UCI;
        if (is("-c"))
            run_settings.protocol_mode = PROTOCOL_CONSOLE;
        if (is("-log"))
            live_options.Log = 1;
        if (is("-noise") && has_value())
            run_settings.noise = static_cast<float>(read_double(argv[++i]));
        if (is("-quiet")) {
            live_options.Log   = 0;
            run_settings.noise = NOISE_SILENT;
        }
        if (is("-cfg") && has_value())
            copy_option_text(live_options.ConfigFilePath, OPTION_PATH_CHARS, argv[++i]);
        if (is("-d") && has_value()) {
            game_limits.max_depth = search_depth_limit(read_int(argv[++i]));
            game_limits.time_mode = TIME_FIXED_MOVE;
            game_limits.move_time = DEPTH_SWITCH_TIME;
        }
        if (is("-t") && has_value()) {
            game_limits.time_mode = TIME_FIXED_MOVE;
            game_limits.move_time = read_double(argv[++i]);
        }
        if (is("-n") && has_value()) {
            game_limits.time_mode  = TIME_FIXED_MOVE;
            game_limits.move_time  = NODES_SWITCH_TIME;
            const double n         = read_double(argv[++i]);
            game_limits.node_limit = n >= 1e18 ? std::uint64_t{1000000000000000000}
                                     : n > 0   ? static_cast<std::uint64_t>(n)
                                               : 0;
        }
        if (is("-nps") && has_value()) {
            const double nps               = read_double(argv[++i]);
            search_state.target_nps        = nps;
            live_options.UCI_LimitStrength = 1;
            live_options.UCI_Elo           = static_cast<std::int16_t>(elo_for_nps(nps));
            print_direct("Elo= %d\n", live_options.UCI_Elo);
        }
        if (is("-hash") && has_value())
            live_options.Hash = std::clamp(read_int(argv[++i]), 0, HASH_MAX_MB);
        if (is("-threads") && has_value())
            live_options.Threads =
                static_cast<std::int16_t>(std::clamp(read_int(argv[++i]), 1, THREADS_MAX));
        if (is("-book") && has_value())
            copy_option_text(live_options.OwnBook_File, OPTION_PATH_CHARS, argv[++i]);
        if (is("-tbpath") && has_value())
            copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, argv[++i]);
        if (is("-tbx"))
            copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, TBX_PATH);
        if (is("-use_hce"))
            run_settings.use_nn = 0;
        if (is("-use_nn"))
            run_settings.use_nn = 1;
        if (is("-o") && has_value())
            copy_text(run_settings.output_file, TOOL_NAME_CHARS, argv[++i]);
        if (is("-anepd") && has_value()) {
            r.run_mode = RUN_ANEPD;
            copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[++i]);
            run_settings.noise = NOISE_SILENT;
        }
        if (std::strstr(argv[i], "-scan_pgn") && has_value()) {
            int mode                                   = 0;
            static constexpr const char* SCAN_WORDS[4] = {"-scan_pgn1", "-scan_pgn2", "-scan_pgn3",
                                                          "-scan_pgn4"};
            for (int v = 0; v < 4; ++v)
                if (is(SCAN_WORDS[v]))
                    mode = RUN_SCAN_PGN1 + v;
            if (mode)
                r.run_mode = mode;
            copy_text(run_settings.pgn_file, TOOL_NAME_CHARS, argv[++i]);
        }
        if (is("-bench")) {
            r.run_mode     = RUN_BENCH;
            r.bench_inline = false;
        }
        if (is("-pbench")) {
            r.run_mode     = RUN_BENCH;
            r.bench_inline = true;
        }
        if (is("-mkconfig"))
            r.run_mode = RUN_MKCONFIG;
        if (is("-mkbook") && has_value()) {
            r.run_mode = RUN_MKBOOK;
            copy_text(run_settings.pgn_file, MKBOOK_NAME_CHARS - 1, argv[++i]);
        }
        if (is("-mktune1") && has_value()) {
            r.run_mode = RUN_MKTUNE1;
            copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[++i]);
        }
        if (is("-mktune2") && has_value()) {
            r.run_mode = RUN_MKTUNE2;
            copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[++i]);
        }
        if (is("-epd2bin") && has_value()) {
            r.run_mode = RUN_EPD2BIN;
            copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[++i]);
        }
        if (is("-mktraindata")) {
            if (argc == 2) {
                r.exit_status = 1;
                return r;
            }
            r.run_mode = RUN_MKTRAINDATA;
            if (has_value())
                copy_text(run_settings.input_file, TOOL_NAME_CHARS, argv[++i]);
            if (has_value()) {
                const double count      = read_double(argv[++i]) * 1000000.0;
                run_settings.tune_count = count > TUNE_MAX ? TUNE_MAX
                                          : count > 0      ? static_cast<std::uint32_t>(count)
                                                           : 0;
            }
        }
        for (int v = 0; v < 4; ++v) {
            static constexpr const char* TUNE_WORDS[4] = {"-tune", "-tune2", "-tune3", "-tune4"};
            if (!is(TUNE_WORDS[v]))
                continue;
            if (!read_tuning_arguments(argc, argv, i)) {
                r.exit_status = 1;
                return r;
            }
            r.run_mode = RUN_TUNE_FIRST + v;
            break;
        }
    }
    return r;
}

} // namespace tarn
