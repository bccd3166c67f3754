#pragma once
// The command-line switches: the defaults they start from, and their effect on RunSettings,
// SearchState and the live options, with the run mode they choose. Switches are read left to
// right and a later one overrides an earlier one; a switch's value is itself tested against
// the switches further down the table.

namespace tarn {

constexpr int HASH_MAX_MB = 32768;
constexpr int THREADS_MAX = 160;

enum RunMode {
    RUN_ENGINE      = 1,
    RUN_ANEPD       = 2,
    RUN_SCAN_PGN1   = 3,
    RUN_SCAN_PGN4   = 6,
    RUN_BENCH       = 8,
    RUN_MKBOOK      = 9,
    RUN_MKCONFIG    = 10,
    RUN_MKTUNE1     = 11,
    RUN_MKTUNE2     = 12,
    RUN_TUNE_FIRST  = 13,
    RUN_MKTRAINDATA = 17,
    RUN_EPD2BIN     = 18,
};

// What the switches chose: a run mode, or an exit status when start-up must end at once.
struct SwitchResult {
    int run_mode       = RUN_ENGINE;
    bool bench_inline  = false; // "-pbench": benchmark searches on the calling thread
    bool bench_summary = false; // "bench": the benchmark ends with "N nodes M nps"
    int exit_status    = -1;    // >= 0: end with this status
};

// Writes the defaults that precede the switches into the process-wide records.
void write_startup_defaults();
// Reads the switches into RunSettings, SearchState and the live options.
SwitchResult parse_switches(int argc, const char* const* argv);

} // namespace tarn
