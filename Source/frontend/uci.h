#pragma once
// The interactive engine: the main loop that never searches and never blocks on input, and
// the UCI command handlers. Each turn the loop checks the clock, hands a requested search to
// a search thread or reports a finished one, then takes at most one input line.

#include <string>

namespace tarn {

// Runs until RunSettings.quit is set.
void main_loop();
// One turn of the main loop without its input: the clock, the time check, the start of a
// requested search and the report of a finished one. False while the input must wait (a
// search in its first moments, or one that is stopping).
bool main_loop_turn();
// Takes at most one complete input line and executes it; returns at once when none waits.
void poll_and_dispatch();
// Executes one line in the current protocol.
void dispatch_line(const std::string& line);
// The UCI "position" command on the game record; `rest` is the text after the word.
void uci_position(const char* rest);
// Plays coordinate move words on the game record, stopping at the first one that is not a
// legal move ("info string illegal move %s") or when the history is full. Returns the number
// of moves made.
int play_move_list(const char* moves);

} // namespace tarn
