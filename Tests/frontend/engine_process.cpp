#include "frontend/engine_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "frontend/output.h"

namespace tarn::test {

namespace {

constexpr unsigned CHILD_ALARM_SECONDS = 60;

void write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the reader has gone (EPIPE): the rest is of no interest
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void fail(const char* what) {
    std::perror(what);
    std::abort();
}

} // namespace

EngineChild spawn_engine(const std::vector<std::string>& args, unsigned alarm_seconds) {
    // An engine that quits before reading all of its input must not kill the test runner.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<char*> argv;
    std::string binary = TARN_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> words = args;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    EngineChild child;
    child.work_dir = (std::filesystem::temp_directory_path() / "tarn_engine_XXXXXX").string();
    if (!mkdtemp(child.work_dir.data()))
        fail("mkdtemp");
    int to_child[2], from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0)
        fail("pipe2");
    std::fflush(nullptr);
    child.pid = fork();
    if (child.pid < 0)
        fail("fork");
    if (child.pid == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        if (chdir(child.work_dir.c_str()) != 0)
            _exit(126);
        alarm(alarm_seconds);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    child.to_fd   = to_child[1];
    child.from_fd = from_child[0];
    return child;
}

EngineRun run_engine(const std::vector<std::string>& args, const std::string& script) {
    const EngineChild child = spawn_engine(args, CHILD_ALARM_SECONDS);
    std::thread writer([fd = child.to_fd, &script] {
        write_all(fd, script.data(), script.size());
        close(fd);
    });

    EngineRun run;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(child.from_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(child.from_fd);
    writer.join();

    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::error_code ignored;
    std::filesystem::remove_all(child.work_dir, ignored);
    return run;
}

namespace {

// The run's lines after the first one equal to marker; a missing marker fails the test.
Session lines_after(const EngineRun& run, const char* marker) {
    const std::vector<std::string> lines = output_lines(run.output);
    Session session;
    session.exit_status = run.exit_status;
    const int at        = find_line(lines, marker);
    if (at < 0) {
        ADD_FAILURE() << "no start-up end (\"" << marker << "\") in:\n" << run.output;
        return session;
    }
    session.lines.assign(lines.begin() + at + 1, lines.end());
    return session;
}

} // namespace

Session run_uci_session(const std::vector<std::string>& args, const std::string& script) {
    return lines_after(run_engine(args, "isready\n" + script), "readyok");
}

Session run_console_session(const std::vector<std::string>& args, const std::string& script) {
    return lines_after(run_engine(args, script), "white");
}

std::vector<std::string> output_lines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(output.substr(start));
            break;
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int find_line(const std::vector<std::string>& lines, const std::string& text, int from) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[static_cast<std::size_t>(i)] == text)
            return i;
    return -1;
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    std::FILE* file = std::tmpfile(); // unnamed; gone once the last descriptor closes
    if (!file)
        fail("tmpfile");
    file_fd_ = dup(fileno(file));
    std::fclose(file);
    saved_fd_ = dup(STDOUT_FILENO);
    dup2(file_fd_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    take();
}

std::string StdoutCapture::take() {
    if (saved_fd_ < 0)
        return {};
    std::fflush(stdout);
    dup2(saved_fd_, STDOUT_FILENO);
    close(saved_fd_);
    saved_fd_ = -1;
    std::string text;
    char buffer[4096];
    lseek(file_fd_, 0, SEEK_SET);
    for (ssize_t n; (n = read(file_fd_, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(file_fd_);
    file_fd_ = -1;
    return text;
}

StdinPipe::StdinPipe() {
    int fds[2];
    if (pipe(fds) != 0)
        fail("pipe");
    saved_fd_ = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
    writer_fd_ = fds[1];
    reset_input();
}

StdinPipe::~StdinPipe() {
    close_writer();
    dup2(saved_fd_, STDIN_FILENO);
    close(saved_fd_);
    reset_input();
}

void StdinPipe::write(const std::string& text) {
    write_all(writer_fd_, text.data(), text.size());
}

void StdinPipe::close_writer() {
    if (writer_fd_ >= 0)
        close(writer_fd_);
    writer_fd_ = -1;
}

} // namespace tarn::test
