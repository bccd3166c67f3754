#pragma once
// Start-up and shutdown: the order in which tables, options and the game record are set up
// around the command-line switches (frontend/switches.h), and the run mode they chose (the
// interactive engine or a batch tool).

namespace tarn {

constexpr const char* ENGINE_NAME   = "Tarn 6.00";
constexpr const char* ENGINE_AUTHOR = "Merrow";

// Builds the fixed tables (attacks, keys) for programs that use the engine's rules code
// without the start-up sequence: tests and tools. Safe to call more than once.
void init_engine_tables();
// The whole program: start-up, one run mode, shutdown. Returns the exit status.
int tarn_main(int argc, const char* const* argv);

} // namespace tarn
