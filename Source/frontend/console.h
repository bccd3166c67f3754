#pragma once
// Commands for a person at a terminal ("-c"): set up positions, make and take back moves,
// show the board, count perft leaves and exchange values. The game is the main thread's
// record; a line that is no command is read as a move in any notation the engine writes.

#include <string>

namespace tarn {

// Executes one console line.
void dispatch_console(const std::string& line);
// The console's report of a finished search: best move, time, score, speed, branching factor
// and the hit rates of the tables.
void print_search_report();
// After a search: with "mv" or "self" in force, the engine's move is played on the game.
void console_after_search();

} // namespace tarn
