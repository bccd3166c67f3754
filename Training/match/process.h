#pragma once
// Child processes of the match runner: an engine started with its standard input and output
// on two pipes, written and read one line at a time. A read waits on poll up to a deadline of
// the monotonic clock, so a hung child costs at most the caller's limit; a child that has
// ended shows as the end of its output. The child's standard error stays ours.

#include <string>
#include <vector>

namespace tarn {

// Longest line kept whole; a child that writes more without a line feed gets it cut here.
constexpr std::size_t PROC_MAX_LINE = 1 << 20;

// Outcome of proc_read_line.
constexpr int PROC_LINE    = 0; // a line was read
constexpr int PROC_TIMEOUT = 1; // the deadline passed first
constexpr int PROC_ENDED   = 2; // the child closed its output (it has ended or crashed)

// One running child.
struct ChildProcess {
    int pid     = -1;
    int to_fd   = -1;    // the child's standard input
    int from_fd = -1;    // the child's standard output
    std::string pending; // bytes read but not yet handed out as a line
    bool ended = false;  // end of output seen or a write failed
};

// Seconds of a monotonic clock; deadlines below are points on it.
double proc_now();

// Starts argv[0] (looked up in PATH when it has no '/') with the remaining words as its
// arguments, in the working directory dir when dir is not empty. A relative command with a '/'
// is taken from the runner's own directory. False with a message in error when it cannot
// start; a command that exists but fails later shows as PROC_ENDED on the first read.
bool proc_start(ChildProcess& proc, const std::vector<std::string>& argv, const std::string& dir,
                std::string& error);
// Sends text and a line feed; false when the child no longer reads.
bool proc_write_line(ChildProcess& proc, const std::string& text);
// Reads the next line (without its line end) unless the deadline passes or the child ends.
int proc_read_line(ChildProcess& proc, std::string& line, double deadline);
// True while the child has been started and not yet stopped.
inline bool proc_is_open(const ChildProcess& proc) {
    return proc.pid > 0;
}
// proc_stop's answer for a child that had to be killed.
constexpr int PROC_KILLED = -1000;

// Closes the child's input, gives it grace_seconds to leave, then kills it (with whatever it
// started); reaps it in any case. Returns how it ended: its exit status when it left by itself
// within the grace, minus the signal's number when a signal ended it, or PROC_KILLED.
int proc_stop(ChildProcess& proc, double grace_seconds);

} // namespace tarn
