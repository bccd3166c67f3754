#pragma once
// Process-wide settings chosen by the command line and by commands: the protocol, the quiet
// level, the evaluator choice, Chess960 and the file names of the batch tools.

#include <cstdint>

namespace tarn {

constexpr int TOOL_FILE_CHARS  = 140;
constexpr int PROTOCOL_CONSOLE = 0;
constexpr int PROTOCOL_UCI     = 1;
constexpr float NOISE_SILENT   = 9999.0f; // info lines never printed

struct RunSettings {
    std::uint8_t quit                 = 0;
    float noise                       = 0.0f; // seconds a search runs before printing info lines
    std::uint8_t use_nn               = 1;
    std::uint8_t chess960             = 0;
    std::uint8_t eval_debug           = 0;
    std::uint32_t tune_count          = 0;
    float tune_rate_a                 = 0.0f;
    float tune_rate_b                 = 0.0f;
    char input_file[TOOL_FILE_CHARS]  = "";
    char pgn_file[TOOL_FILE_CHARS]    = "";
    char output_file[TOOL_FILE_CHARS] = "";
    std::uint16_t protocol_mode       = PROTOCOL_UCI;
    std::uint64_t tag_key             = 0;
};

extern RunSettings run_settings;

} // namespace tarn
