#pragma once
// Commands for a person at a terminal ("-c"): set up positions, make and take back moves,
// show the board, count perft leaves and exchange values. The game is the main thread's
// record; a line that is no command is read as a move in any notation the engine writes.

#include <string>

namespace tarn {

// Executes one console line.
void dispatch_console(const std::string& line);

} // namespace tarn
