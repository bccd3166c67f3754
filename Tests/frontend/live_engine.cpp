#include "frontend/live_engine.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "frontend/engine_process.h"

namespace tarn::test {

namespace {

constexpr unsigned CHILD_ALARM_SECONDS = 120;

double seconds_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

LiveEngine::LiveEngine(const std::vector<std::string>& args) {
    const EngineChild child = spawn_engine(args, CHILD_ALARM_SECONDS);
    pid_                    = child.pid;
    to_fd_                  = child.to_fd;
    from_fd_                = child.from_fd;
    work_dir_               = child.work_dir;
}

LiveEngine::~LiveEngine() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        finish();
    }
    std::error_code ignored;
    std::filesystem::remove_all(work_dir_, ignored);
}

void LiveEngine::send(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done       = 0;
    while (to_fd_ >= 0 && done < text.size()) {
        const ssize_t n = write(to_fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

bool LiveEngine::read_line(std::string& line, double limit_seconds) {
    const double deadline = seconds_now() + limit_seconds;
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        const double left = deadline - seconds_now();
        if (left <= 0 || from_fd_ < 0)
            return false;
        pollfd pfd{from_fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left * 1000) + 1) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = read(from_fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> LiveEngine::read_until(const std::string& prefix, double limit_seconds) {
    std::vector<std::string> lines;
    std::string line;
    while (read_line(line, limit_seconds)) {
        lines.push_back(line);
        if (line.compare(0, prefix.size(), prefix) == 0)
            return lines;
    }
    return {};
}

int LiveEngine::finish(std::vector<std::string>* rest) {
    if (to_fd_ >= 0) {
        close(to_fd_);
        to_fd_ = -1;
    }
    std::string line;
    while (read_line(line, CHILD_ALARM_SECONDS))
        if (rest)
            rest->push_back(line);
    if (from_fd_ >= 0) {
        close(from_fd_);
        from_fd_ = -1;
    }
    int status = 0;
    while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tarn::test
