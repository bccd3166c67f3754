#pragma once
// The engine's user-settable values. Two instances exist: the live options that every part of
// the engine reads, and the saved options that "uci" announces as defaults. Start-up fills the
// saved options with the defaults below, copies them to the live ones and lets the command
// line change the live ones; afterwards setoption keeps both equal. The record sits below
// every subsystem that reads it; the setter that changes it is frontend/options.h.

#include <cstdint>

namespace tarn {

constexpr int OPTION_PATH_CHARS = 144; // text fields hold at most this minus one characters
constexpr int OPTION_NAME_CHARS = 150;
constexpr int EVAL_WEIGHTS      = 26;

struct EngineOptions {
    std::int16_t options_changed           = 1; // set by the configuration loader
    std::int32_t Hash                      = 64;
    std::int16_t Threads                   = 1;
    std::int16_t MoveOverhead              = 50;
    std::int16_t Ponder                    = 1;
    std::int16_t MultiPV                   = 1;
    std::int16_t UCI_LimitStrength         = 0;
    std::int16_t UCI_Elo                   = 0; // 0 = not yet set
    std::int16_t Log                       = 0;
    std::int16_t OwnBook                   = 0;
    std::int16_t OwnBook_Variety           = 25;
    std::int16_t OwnBook_Depth             = 24;
    std::int16_t OwnBook2_Depth            = 0;
    char params_file[OPTION_NAME_CHARS]    = "params.txt";
    char NN_File[OPTION_NAME_CHARS]        = "embedded";
    char ConfigFilePath[OPTION_PATH_CHARS] = "";
    char OwnBook_File[OPTION_PATH_CHARS]   = "";
    char OwnBook2_File[OPTION_PATH_CHARS]  = "";
    char SyzygyPath[OPTION_PATH_CHARS]     = "";
    std::int16_t tb_probe_depth            = 0;
    std::int16_t SyzygyProbeDepth6         = 1;
    // --- personality ---
    std::int16_t Contempt                   = 0;
    std::int16_t material_contempt          = 15;
    std::int16_t Selectivity                = 100; // percent
    std::int16_t SEP_depth                  = 3;
    std::int16_t SEP_margin_step            = 75;
    std::int16_t NMP_depth                  = 3;
    std::int16_t FP_depth                   = 3;
    std::int16_t FP_margin_step             = 125;
    std::int16_t LMP_depth                  = 6;
    std::int16_t LMP_count_step             = 3;
    std::int16_t LMR_depth                  = 3;
    std::int16_t eval_weights[EVAL_WEIGHTS] = {100, 100, 100, 100, 100, 100, 100, 100, 100,
                                               100, 100, 100, 100, 100, 100, 100, 100, 100,
                                               100, 100, 100, 100, 100, 100, 100, 100};
};

extern EngineOptions live_options;
extern EngineOptions saved_options;

// Copies text into a fixed option field, cut to the field size minus one.
void copy_option_text(char* field, int field_size, const char* text);

} // namespace tarn
