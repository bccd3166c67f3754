#include "frontend/output.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/platform.h"
#include "frontend/engine_options.h"

namespace tarn {

namespace {

constexpr int TOKEN_CHARS = 127;
constexpr int READ_CHUNK  = 4999;

std::atomic_flag output_lock = ATOMIC_FLAG_INIT;
FILE* log_file               = nullptr;

// Input state, main thread only.
std::string partial_line;  // bytes since the last line end
std::string pending_lines; // complete lines, each ended by '\n'
bool input_ended = false;

void lock_output() {
    while (output_lock.test_and_set(std::memory_order_acquire))
        while (output_lock.test(std::memory_order_relaxed)) {
        }
}

void unlock_output() {
    output_lock.clear(std::memory_order_release);
}

void take_bytes(const char* bytes, long count) {
    for (long i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\n' || c == 0) {
            if (!partial_line.empty()) {
                pending_lines += partial_line;
                pending_lines += '\n';
                partial_line.clear();
            }
        } else if (static_cast<int>(partial_line.size()) < INPUT_LINE_CHARS) {
            partial_line += c;
        }
    }
}

} // namespace

void print_line(const char* text) {
    lock_output();
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (live_options.Log && log_file) {
        std::fputs(text, log_file);
        std::fputc('\n', log_file);
        std::fflush(log_file);
    }
    unlock_output();
}

void print_format(const char* format, ...) {
    char buffer[FORMAT_BUFFER_CHARS];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    print_line(buffer);
}

void print_direct(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

void log_line(const char* text) {
    if (!log_file)
        return;
    std::fputs(text, log_file);
    std::fputc('\n', log_file);
    std::fflush(log_file);
}

void open_log() {
    if (log_file)
        return;
    if (platform_file_exists(LOG_FILE_NAME) && !platform_remove_file(LOG_FILE_NAME)) {
        print_line("log file in use.");
        live_options.Log = 0;
        return;
    }
    log_file = std::fopen(LOG_FILE_NAME, "w");
}

void close_log() {
    if (log_file)
        std::fclose(log_file);
    log_file = nullptr;
}

bool log_is_open() {
    return log_file != nullptr;
}

bool poll_input(std::string& line) {
    // Read only while no complete line is queued: what is not read yet waits safely in the
    // system's pipe buffer, so a burst of commands is never cut.
    if (pending_lines.find('\n') == std::string::npos && !input_ended) {
        char chunk[READ_CHUNK];
        const long n = platform_read_input(chunk, sizeof chunk);
        if (n == INPUT_ENDED) {
            input_ended = true;
            take_bytes("\n", 1);
        } else if (n > 0) {
            take_bytes(chunk, n);
        }
    }
    const std::size_t end = pending_lines.find('\n');
    if (end == std::string::npos) {
        if (input_ended) {
            line = "quit";
            return true;
        }
        return false;
    }
    line = pending_lines.substr(0, end);
    pending_lines.erase(0, end + 1);
    const std::size_t cr = line.find('\r');
    if (cr != std::string::npos)
        line.resize(cr);
    return true;
}

bool input_line_waiting() {
    return input_ended || pending_lines.find('\n') != std::string::npos;
}

bool input_has_ended() {
    return input_ended && pending_lines.find('\n') == std::string::npos;
}

void reset_input() {
    partial_line.clear();
    pending_lines.clear();
    input_ended = false;
}

std::string next_token(const char* text) {
    while (*text == ' ')
        ++text;
    std::string word;
    while (*text && *text != '\n' && *text != '\r' && *text != ' ' &&
           static_cast<int>(word.size()) < TOKEN_CHARS)
        word += *text++;
    return word;
}

} // namespace tarn
