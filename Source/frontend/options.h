#pragma once
// The UCI options as the protocol sees them: the "uci" announcement and the setter that
// validates a value, stores it in the live options (frontend/engine_options.h) and triggers
// what the option reloads (the table, the threads, the network, the tablebases).

#include "frontend/engine_options.h"

namespace tarn {

constexpr int OPTION_NAME_MAX  = 99;  // longest option name read from a command
constexpr int OPTION_VALUE_MAX = 199; // longest option value read from a command

// The highest UCI_Elo offered: the calibrated ceiling, held within the option's range.
int uci_elo_ceiling();
// Prints the option lines of the "uci" answer, defaults from the saved options.
void announce_options();
// Validates, stores and confirms one option in the live options and triggers its reload. Names
// compare exactly; unknown names do nothing. Check options are true when the value contains
// "true"; spin options are read as integers and clamped into their range. Setting
// ConfigFilePath also loads the file it names.
void set_option(const char* name, const char* value);
// set_option without loading a file for ConfigFilePath: what a configuration file applies
// line by line.
void apply_option(const char* name, const char* value);

} // namespace tarn
