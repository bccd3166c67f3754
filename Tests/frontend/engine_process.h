#pragma once
// Helpers for the front-end tests. run_engine starts the built engine as a child process, the
// way a GUI does: the script goes to its standard input through a pipe (closed once written)
// and everything it prints is collected. The child works in a fresh temporary directory, so a
// log file it may open never lands in the source or build tree. StdoutCapture and StdinPipe
// swap file descriptors 1 and 0 for in-process tests of the output routine and the input poll.

#include <string>
#include <vector>

namespace tarn::test {

// What one run of the engine left behind.
struct EngineRun {
    int exit_status = -1; // the process's exit code; -1 when it ended by a signal
    std::string output;   // all of standard output
};

// A started engine: its process, the write end of its standard input, the read end of its
// standard output, and the temporary directory it works in.
struct EngineChild {
    int pid     = -1;
    int to_fd   = -1;
    int from_fd = -1;
    std::string work_dir;
};
// Starts the engine binary with the switches in args in a fresh temporary directory; an alarm
// ends it after alarm_seconds so that a hung engine cannot block a test run.
EngineChild spawn_engine(const std::vector<std::string>& args, unsigned alarm_seconds);

// Runs the engine binary with the switches in args, feeding script on standard input. A child
// that hangs is ended by an alarm after a generous delay so the test fails instead of waiting.
EngineRun run_engine(const std::vector<std::string>& args, const std::string& script);
// The lines the engine printed in answer to script, without what it printed on start-up. A UCI
// session gets an "isready" in front of its script, and its answers start after the first
// "readyok"; a console session's answers start after the start diagram (its "white" line).
struct Session {
    int exit_status = -1;
    std::vector<std::string> lines;
};
Session run_uci_session(const std::vector<std::string>& args, const std::string& script);
Session run_console_session(const std::vector<std::string>& args, const std::string& script);

// Output split at line feeds; a final unterminated piece counts as a line.
std::vector<std::string> output_lines(const std::string& output);
// Index of the first line equal to text at or after `from`, or -1.
int find_line(const std::vector<std::string>& lines, const std::string& text, int from = 0);

// Sends standard output to a temporary file until take() or destruction.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&)            = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    // Restores standard output and returns what was written meanwhile.
    std::string take();

private:
    int saved_fd_ = -1;
    int file_fd_  = -1;
};

// Puts the read end of a fresh pipe on standard input and clears the input poll's buffers;
// the destructor restores the original standard input and clears the buffers again.
class StdinPipe {
public:
    StdinPipe();
    ~StdinPipe();
    StdinPipe(const StdinPipe&)            = delete;
    StdinPipe& operator=(const StdinPipe&) = delete;
    // Writes all of text to the pipe in one write call.
    void write(const std::string& text);
    // Closes the write end: the reader sees the end of input.
    void close_writer();

private:
    int saved_fd_  = -1;
    int writer_fd_ = -1;
};

} // namespace tarn::test
