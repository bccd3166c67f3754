#pragma once
// An engine child process driven line by line, for protocol tests whose next command depends
// on what the engine has answered (stop a running search, ponderhit, a second "go"). Waiting
// for an answer has a generous time limit so that a hung engine fails the test instead of
// blocking it; nothing is asserted about how long an answer takes.

#include <string>
#include <vector>

namespace tarn::test {

class LiveEngine {
public:
    explicit LiveEngine(const std::vector<std::string>& args);
    ~LiveEngine();
    LiveEngine(const LiveEngine&)            = delete;
    LiveEngine& operator=(const LiveEngine&) = delete;

    // Sends one line (a line feed is added).
    void send(const std::string& line);
    // Reads lines until one starts with prefix; returns every line read, that one last. An
    // empty result means the prefix did not come within the limit or the engine ended.
    std::vector<std::string> read_until(const std::string& prefix, double limit_seconds = 30);
    // Closes the engine's standard input and returns its exit status (-1 after a signal), with
    // every line it printed meanwhile in `rest`.
    int finish(std::vector<std::string>* rest = nullptr);
    // The engine's process id (for limits a test puts on the running engine).
    int pid() const { return pid_; }

private:
    bool read_line(std::string& line, double limit_seconds);
    int pid_     = -1;
    int to_fd_   = -1;
    int from_fd_ = -1;
    std::string buffer_;
    std::string work_dir_;
};

} // namespace tarn::test
