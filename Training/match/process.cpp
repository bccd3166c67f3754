#include "match/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarn {

namespace {

constexpr int EXEC_STEP_CHDIR = 1; // what the child failed at, sent with errno
constexpr int EXEC_STEP_EXEC  = 2;

void close_fd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// The child side of proc_start: wire the pipes, change directory, run the program. Only
// async-signal-safe calls, since the runner has threads.
[[noreturn]] void run_child(int in_fd, int out_fd, int report_fd, const char* dir, char** argv) {
    // A group of its own: the child's own children go with it when it is killed, and a
    // Ctrl-C at the terminal reaches the runner only, which then ends the engines itself.
    setpgid(0, 0);
    dup2(in_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    int report[2] = {EXEC_STEP_CHDIR, 0};
    if (dir[0] && chdir(dir) != 0) {
        report[1]                  = errno;
        [[maybe_unused]] ssize_t n = write(report_fd, report, sizeof report);
        _exit(127);
    }
    execvp(argv[0], argv);
    report[0]                  = EXEC_STEP_EXEC;
    report[1]                  = errno;
    [[maybe_unused]] ssize_t n = write(report_fd, report, sizeof report);
    _exit(127);
}

// Takes one complete line off the front of pending, if there is one.
bool take_line(ChildProcess& proc, std::string& line) {
    const std::size_t end = proc.pending.find('\n');
    if (end == std::string::npos) {
        if (proc.pending.size() < PROC_MAX_LINE)
            return false;
        line = proc.pending;
        proc.pending.clear();
        return true;
    }
    line = proc.pending.substr(0, end);
    proc.pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

double proc_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool proc_start(ChildProcess& proc, const std::vector<std::string>& argv, const std::string& dir,
                std::string& error) {
    // A child that dies while we write to it must not take the runner with it.
    std::signal(SIGPIPE, SIG_IGN);
    proc = ChildProcess{};
    if (argv.empty() || argv[0].empty()) {
        error = "no command";
        return false;
    }
    std::vector<std::string> words = argv;
    if (!dir.empty() && words[0].find('/') != std::string::npos && words[0][0] != '/') {
        std::error_code ec;
        const auto path = std::filesystem::absolute(words[0], ec);
        if (!ec)
            words[0] = path.string();
    }
    std::vector<char*> args;
    for (std::string& w : words)
        args.push_back(w.data());
    args.push_back(nullptr);

    int to_child[2], from_child[2], report[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(from_child, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(to_child[0]);
        close(to_child[1]);
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0)
        run_child(to_child[0], from_child[1], report[1], dir.c_str(), args.data());
    close(to_child[0]);
    close(from_child[1]);
    close(report[1]);
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(to_child[1]);
        close(from_child[0]);
        close(report[0]);
        return false;
    }
    // The report pipe closes empty on a successful exec.
    int failure[2] = {0, 0};
    ssize_t n      = 0;
    while ((n = read(report[0], failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    proc.pid     = pid;
    proc.to_fd   = to_child[1];
    proc.from_fd = from_child[0];
    if (n == static_cast<ssize_t>(sizeof failure)) {
        error = (failure[0] == EXEC_STEP_CHDIR ? "cannot enter " + dir + ": "
                                               : "cannot run " + argv[0] + ": ") +
                std::strerror(failure[1]);
        proc_stop(proc, 0);
        return false;
    }
    return true;
}

bool proc_write_line(ChildProcess& proc, const std::string& text) {
    if (proc.to_fd < 0 || proc.ended)
        return false;
    const std::string line = text + '\n';
    const char* data       = line.data();
    std::size_t left       = line.size();
    while (left > 0) {
        const ssize_t n = write(proc.to_fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            proc.ended = true;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

int proc_read_line(ChildProcess& proc, std::string& line, double deadline) {
    for (;;) {
        if (take_line(proc, line))
            return PROC_LINE;
        if (proc.ended || proc.from_fd < 0)
            return PROC_ENDED;
        const double left = deadline - proc_now();
        if (left <= 0)
            return PROC_TIMEOUT;
        pollfd pfd{proc.from_fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left * 1000.0) + 1);
        if (ready < 0 && errno != EINTR) {
            proc.ended = true;
            continue;
        }
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(proc.from_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A last line without a line feed still counts.
            proc.ended = true;
            if (!proc.pending.empty()) {
                line = proc.pending;
                proc.pending.clear();
                return PROC_LINE;
            }
            continue;
        }
        proc.pending.append(buffer, static_cast<std::size_t>(n));
    }
}

int proc_stop(ChildProcess& proc, double grace_seconds) {
    close_fd(proc.to_fd);
    int outcome = PROC_KILLED;
    if (proc.pid > 0) {
        // Wait for the child to leave without reaping it, so that its process group id stays
        // ours while the rest of the group is killed.
        const double until = proc_now() + grace_seconds;
        siginfo_t info{};
        while (waitid(P_PID, static_cast<id_t>(proc.pid), &info, WEXITED | WNOHANG | WNOWAIT) ==
                   0 &&
               info.si_pid == 0 && proc_now() < until)
            usleep(2000);
        const bool left = info.si_pid != 0;
        kill(-proc.pid, SIGKILL);
        int status = 0;
        while (waitpid(proc.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (left)
            outcome = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    close_fd(proc.from_fd);
    proc.pid   = -1;
    proc.ended = true;
    proc.pending.clear();
    return outcome;
}

} // namespace tarn
