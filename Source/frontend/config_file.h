#pragma once
// The configuration file: lines "name = value" applied as option settings, at start-up
// ("-cfg", or ConfigFilePath from the command line) and whenever ConfigFilePath is set. A "#"
// starts a comment; lines without "=" or of three characters or fewer are skipped, and the
// tail of an overlong line is dropped. The values loaded become the announced defaults.

namespace tarn {

// Reads the file at path and applies each line through apply_option (so a ConfigFilePath line
// inside it names a file without loading it). False when path is empty, or with an
// "info string" when the file cannot be opened.
bool load_config(const char* path);

} // namespace tarn
