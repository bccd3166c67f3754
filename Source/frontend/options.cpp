#include "frontend/options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "eval/eval_params.h"
#include "eval/nn_file.h"
#include "frontend/config_file.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn {

namespace {

constexpr int ELO_MIN = 1500;
constexpr int ELO_MAX = 3300;

// A spin option kept in a 16-bit field of the record.
struct SpinOption {
    const char* name;
    std::int16_t EngineOptions::*field;
    int min;
    int max;
};

constexpr SpinOption PLAIN_SPINS[] = {
    {"MoveOverhead", &EngineOptions::MoveOverhead, 0, 5000},
    {"Contempt", &EngineOptions::Contempt, -150, 150},
    {"Selectivity", &EngineOptions::Selectivity, 0, 200},
    {"MultiPV", &EngineOptions::MultiPV, 1, 255},
    {"OwnBook_Variety", &EngineOptions::OwnBook_Variety, 0, 100},
    {"OwnBook_Depth", &EngineOptions::OwnBook_Depth, 0, 60},
    {"OwnBook2_Depth", &EngineOptions::OwnBook2_Depth, 0, 60},
    {"SyzygyProbeDepth6", &EngineOptions::SyzygyProbeDepth6, -5, 100},
    {"UCI_Elo", &EngineOptions::UCI_Elo, ELO_MIN, ELO_MAX},
};

// A check option kept in a 16-bit field of the record.
struct CheckOption {
    const char* name;
    std::int16_t EngineOptions::*field;
};

constexpr CheckOption PLAIN_CHECKS[] = {
    {"Ponder", &EngineOptions::Ponder},
    {"OwnBook", &EngineOptions::OwnBook},
    {"UCI_LimitStrength", &EngineOptions::UCI_LimitStrength},
};

int read_spin(const char* value, int lo, int hi) {
    const long v = std::strtol(value, nullptr, 10);
    return static_cast<int>(v < lo ? lo : v > hi ? hi : v);
}

bool read_check(const char* value) {
    return std::strstr(value, "true") != nullptr;
}

bool searching() {
    return search_control.mode != MODE_IDLE;
}

void confirm(const char* name, int value) {
    print_format("info string %s set to %d", name, value);
}

void spin_line(const char* name, int value, int lo, int hi) {
    print_format("option name %s type spin default %d min %d max %d", name, value, lo, hi);
}

void check_line(const char* name, bool value) {
    print_format("option name %s type check default %s", name, value ? "true" : "false");
}

} // namespace

int uci_elo_ceiling() {
    // The strongest level the machine can play is known after the speed calibration; the
    // range never falls below the lowest level.
    return std::clamp(static_cast<int>(search_state.elo_ceiling), ELO_MIN, ELO_MAX);
}

void announce_options() {
    const EngineOptions& s = saved_options;
    print_format("option name ConfigFilePath type string default %s", s.ConfigFilePath);
    spin_line("Hash", s.Hash, 0, 32768);
    spin_line("Threads", s.Threads, 1, 160);
    print_line("option name Clear_Hash type button");
    print_format("option name NN_File type string default %s", live_options.NN_File);
    check_line("Use_NN_eval", run_settings.use_nn);
    check_line("OwnBook", s.OwnBook);
    print_format("option name OwnBook_File type string default %s", s.OwnBook_File);
    spin_line("OwnBook_Depth", s.OwnBook_Depth, 0, 60);
    print_format("option name OwnBook2_File type string default %s", s.OwnBook2_File);
    spin_line("OwnBook2_Depth", s.OwnBook2_Depth, 0, 60);
    spin_line("OwnBook_Variety", s.OwnBook_Variety, 0, 100);
    print_format("option name SyzygyPath type string default %s", s.SyzygyPath);
    spin_line("SyzygyProbeDepth6", s.SyzygyProbeDepth6, -5, 100);
    check_line("Log", s.Log);
    check_line("Ponder", s.Ponder);
    spin_line("MultiPV", s.MultiPV, 1, 255);
    check_line("UCI_Chess960", run_settings.chess960);
    spin_line("MoveOverhead", s.MoveOverhead, 0, 5000);
    check_line("UCI_LimitStrength", s.UCI_LimitStrength);
    const int ceiling = uci_elo_ceiling();
    if (saved_options.UCI_Elo == 0)
        saved_options.UCI_Elo = static_cast<std::int16_t>(ceiling);
    spin_line("UCI_Elo", saved_options.UCI_Elo, ELO_MIN, ceiling);
    spin_line("Contempt", s.Contempt, -150, 150);
    spin_line("Selectivity", s.Selectivity, 0, 200);
}

void apply_option(const char* name, const char* value) {
    EngineOptions& o = live_options;
    for (const SpinOption& spin : PLAIN_SPINS) {
        if (std::strcmp(name, spin.name) == 0) {
            o.*spin.field = static_cast<std::int16_t>(read_spin(value, spin.min, spin.max));
            confirm(name, o.*spin.field);
            return;
        }
    }
    for (const CheckOption& check : PLAIN_CHECKS) {
        if (std::strcmp(name, check.name) == 0) {
            o.*check.field = read_check(value) ? 1 : 0;
            confirm(name, o.*check.field);
            return;
        }
    }
    if (std::strcmp(name, "Hash") == 0) {
        if (searching())
            return;
        o.Hash = read_spin(value, 0, 32768);
        confirm(name, o.Hash);
        if (o.Hash != search_state.hash_mb) {
            // A table raised from nothing is used again (a search with Hash 0 switched it off).
            if (search_state.hash_mb < 1 && o.Hash >= 1)
                search_state.use_hash = 1;
            if (!tt_resize(o.Hash))
                o.Hash = search_state.hash_mb;
        }
    } else if (std::strcmp(name, "Threads") == 0) {
        if (searching())
            return;
        const int threads = read_spin(value, 1, 160);
        confirm(name, threads);
        if (threads != search_state.threads) {
            search_state.threads = threads;
            o.Threads            = static_cast<std::int16_t>(threads);
        }
    } else if (std::strcmp(name, "Use_NN_eval") == 0) {
        run_settings.use_nn = read_check(value) ? 1 : 0;
        confirm(name, run_settings.use_nn);
    } else if (std::strcmp(name, "UCI_Chess960") == 0) {
        run_settings.chess960 = read_check(value) ? 1 : 0;
        confirm(name, run_settings.chess960);
    } else if (std::strcmp(name, "Log") == 0) {
        const bool on = read_check(value);
        confirm(name, on ? 1 : 0);
        o.Log = on ? 1 : 0;
        if (on && !log_is_open())
            open_log();
    } else if (std::strcmp(name, "Clear_Hash") == 0) {
        if (searching())
            return;
        if (search_state.use_hash)
            tt_clear();
        print_line("info string Hash table cleared");
    } else if (std::strcmp(name, "ConfigFilePath") == 0) {
        if (searching())
            return;
        copy_option_text(o.ConfigFilePath, OPTION_PATH_CHARS, value);
        print_format("info string ConfigFilePath set to '%s'", o.ConfigFilePath);
    } else if (std::strcmp(name, "NN_File") == 0) {
        // The search threads read the network without a lock.
        if (searching()) {
            print_line("info string NN_File can't be changed while searching");
            return;
        }
        copy_option_text(o.NN_File, OPTION_NAME_CHARS, value);
        print_format("info string NN_File set to '%s'", o.NN_File);
        if (load_network(o.NN_File) == NN_NO_MEMORY)
            std::exit(1);
        clear_thread_caches();
    } else if (std::strcmp(name, "OwnBook_File") == 0) {
        copy_option_text(o.OwnBook_File, OPTION_PATH_CHARS, value);
        print_format("info string OwnBook_File set to '%s'", o.OwnBook_File);
    } else if (std::strcmp(name, "OwnBook2_File") == 0) {
        copy_option_text(o.OwnBook2_File, OPTION_PATH_CHARS, value);
        print_format("info string OwnBook2_File set to '%s'", o.OwnBook2_File);
    } else if (std::strcmp(name, "SyzygyPath") == 0) {
        // The search threads read the mapped tables without a lock: never swap them mid-search.
        if (searching())
            return;
        copy_option_text(o.SyzygyPath, OPTION_PATH_CHARS, value);
        print_format("info string SyzygyPath set to '%s'", o.SyzygyPath);
        tb_init(o.SyzygyPath);
    }
}

void set_option(const char* name, const char* value) {
    apply_option(name, value);
    if (std::strcmp(name, "ConfigFilePath") == 0 && !searching())
        load_config(live_options.ConfigFilePath);
}

} // namespace tarn
