#pragma once
// The one output routine and the input poll. print_line writes a line to standard output and,
// when logging is on, to "tarn.log", as one indivisible step under the output lock, so lines
// of the main thread and the search threads never interleave. Input is gathered without ever
// blocking: each poll reads what is waiting and hands out at most one complete line.

#include <cstdarg>
#include <string>

namespace tarn {

constexpr const char* LOG_FILE_NAME = "tarn.log";
constexpr int INPUT_LINE_CHARS      = 4992; // longer lines are cut
constexpr int FORMAT_BUFFER_CHARS   = 4096;

// Writes text and a line feed to standard output (and the log when Log is on), flushed.
void print_line(const char* text);
inline void print_line(const std::string& text) {
    print_line(text.c_str());
}
// printf-style convenience over print_line; text beyond the buffer is cut.
void print_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes to standard output only, without the lock or the log (console and tool lines).
void print_direct(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes text and a line feed to the log file only; nothing when no log file is open.
void log_line(const char* text);
// Opens "tarn.log" (replacing it); prints "log file in use." and turns Log off if it cannot.
void open_log();
void close_log();
bool log_is_open();

// Next complete input line, or false when none has arrived yet. At the end of the input
// stream the line "quit" is handed out, so the engine ends as if it had been told to.
bool poll_input(std::string& line);
// True once standard input has ended and every line that came before the end is handed out.
bool input_has_ended();
// True when poll_input would hand out a line at once: one is queued, or the input has ended.
bool input_line_waiting();
// Drops any buffered input state (tests use it to start from a clean queue).
void reset_input();
// First blank-delimited word of text (at most 127 characters), after leading blanks.
std::string next_token(const char* text);

} // namespace tarn
