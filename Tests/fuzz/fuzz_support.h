#pragma once
// What the fuzz targets share. The engine is set up once per process as start-up would set it
// up (tables, a 1 MB hash table, the built-in network, the start position), with its output
// sent to /dev/null and its input at its end, so that a target's cost is the reader's own.
// Files a reader opens are written to a scratch folder of the process, removed at exit.
// Relative names that the engine itself writes (the log, "tmp.pgn") land in the working
// folder, which the fuzz runner and the replay test choose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/board.h"
#include "search/thread_data.h"

namespace tarn::fuzz {

// --- set-up ---
// Sets the engine up once; later calls do nothing.
void engine_setup();
// Puts back what a target may have changed in the process-wide records: options, settings,
// search limits, a 1 MB table, the built-in network, no tablebases, no log, and the start
// position on the game record.
void reset_engine();
// Also empties the hash table and rebuilds the parameter table, for targets that search or
// change evaluation weights (the rest never touch them, and skipping it keeps them fast).
void reset_search_tables();

// --- helpers ---
// The input as text (bytes after a NUL are kept; readers that take C strings stop there).
std::string as_text(const std::uint8_t* data, std::size_t size);
// The text split at line feeds (a final piece without one counts as a line).
std::vector<std::string> split_lines(const std::string& text);
// Writes the bytes to the scratch file `name` and returns its full path.
std::string write_scratch(const std::string& name, const std::uint8_t* data, std::size_t size);
// Full path of the scratch file `name` (nothing is written).
std::string scratch_path(const std::string& name);
// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::string& path);
// A record of our own with the tables built, for targets that need a position beside the game.
ThreadData& scratch_thread();
// True when two positions agree in every field that a FEN or a move can change.
bool same_position(const Position& a, const Position& b);
// True when `move` is one of the legal moves of the side to move.
bool is_legal_move(Position& pos, Move move);
// Reports a broken property with the input's context and aborts, so the fuzzer keeps it.
[[noreturn]] void fail(const std::string& what);

} // namespace tarn::fuzz
