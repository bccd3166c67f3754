// tarn_load: the engine under load, driven over the protocol as a GUI drives it, with the
// worst reply times and the memory it keeps. Three checks, each on a fresh engine process:
//   responsiveness  with many search threads on few cores and a search running, "isready"
//                   must answer within 50 ms and "stop" must bring "bestmove" within 100 ms
//                   (the worst of every try counts);
//   quit            "quit" during such a search ends the process with status 0 within 1 s;
//   memory          thousands of short games' worth of "ucinewgame" / "position" / "go nodes"
//                   and of hash resizes leave the resident set where it was after warming up.
// A sanitizer build of the engine reports leaks at exit, which shows as a non-zero status.
//
//   tarn_load ENGINE [--threads 160] [--tries 100] [--cycles 10000] [--resizes 1000]
//                    [--max-hash 1024] [--rss-slack-mb 8]
// Prints one line per figure and "load check: passed" or "load check: FAILED" (exit 1).

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "match/process.h"

namespace {

using tarn::ChildProcess;

constexpr double ISREADY_LIMIT   = 0.050;
constexpr double STOP_LIMIT      = 0.100;
constexpr double QUIT_LIMIT      = 1.0;
constexpr double ANSWER_DEADLINE = 30.0; // a reply later than this counts as a hang
constexpr int WARMUP_CYCLES      = 200;

struct Settings {
    std::string engine;
    int threads      = 160;
    int tries        = 100;
    int cycles       = 10000;
    int resizes      = 1000;
    int max_hash     = 1024;
    int rss_slack_mb = 8;
};

bool failed = false;

void verdict(bool ok, const char* what) {
    if (!ok) {
        failed = true;
        std::printf("  FAILED: %s\n", what);
    }
}

bool start(ChildProcess& proc, const Settings& s) {
    std::string error;
    if (!tarn::proc_start(proc, {s.engine}, "", error)) {
        std::printf("cannot start %s: %s\n", s.engine.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Sends a line and waits for a line that starts with `answer`; returns the seconds it took, or
// a negative value when the engine ended or the deadline passed.
double ask(ChildProcess& proc, const std::string& line, const char* answer) {
    const double sent = tarn::proc_now();
    if (!tarn::proc_write_line(proc, line))
        return -1.0;
    std::string reply;
    while (tarn::proc_read_line(proc, reply, sent + ANSWER_DEADLINE) == tarn::PROC_LINE)
        if (reply.rfind(answer, 0) == 0)
            return tarn::proc_now() - sent;
    return -1.0;
}

// Resident set of a process in kilobytes, from /proc; -1 when it cannot be read.
long resident_kb(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void check_responsiveness(const Settings& s) {
    ChildProcess proc;
    if (!start(proc, s))
        return verdict(false, "engine did not start");
    verdict(ask(proc, "uci", "uciok") >= 0, "no uciok");
    tarn::proc_write_line(proc, "setoption name Threads value " + std::to_string(s.threads));
    verdict(ask(proc, "isready", "readyok") >= 0, "no readyok after setting the threads");
    std::mt19937 random(7);
    double worst_ready = 0, worst_stop = 0;
    for (int i = 0; i < s.tries; ++i) {
        tarn::proc_write_line(proc, "position startpos moves e2e4 e7e5");
        tarn::proc_write_line(proc, "go infinite");
        // Let the threads get going, for a different time each try.
        const double settle = tarn::proc_now() + 0.02 + (random() % 180) / 1000.0;
        std::string line;
        while (tarn::proc_read_line(proc, line, settle) == tarn::PROC_LINE) {
        }
        const double ready = ask(proc, "isready", "readyok");
        const double stop  = ask(proc, "stop", "bestmove");
        if (ready < 0 || stop < 0) {
            verdict(false, "the engine stopped answering under load");
            break;
        }
        if (std::getenv("TARN_LOAD_TRACE"))
            std::printf("try %d: isready %.1f ms, stop %.1f ms\n", i, 1000 * ready, 1000 * stop);
        worst_ready = std::max(worst_ready, ready);
        worst_stop  = std::max(worst_stop, stop);
    }
    std::printf("responsiveness, %d threads, %d tries: worst isready %.1f ms, worst stop %.1f ms\n",
                s.threads, s.tries, 1000 * worst_ready, 1000 * worst_stop);
    verdict(worst_ready <= ISREADY_LIMIT, "isready answered later than 50 ms");
    verdict(worst_stop <= STOP_LIMIT, "bestmove came later than 100 ms after stop");
    tarn::proc_write_line(proc, "quit");
    verdict(tarn::proc_stop(proc, QUIT_LIMIT) == 0, "quit after the tries did not exit with 0");
}

void check_quit(const Settings& s) {
    ChildProcess proc;
    if (!start(proc, s))
        return verdict(false, "engine did not start");
    ask(proc, "uci", "uciok");
    tarn::proc_write_line(proc, "setoption name Threads value " + std::to_string(s.threads));
    ask(proc, "isready", "readyok");
    tarn::proc_write_line(proc, "position startpos");
    tarn::proc_write_line(proc, "go infinite");
    std::string line;
    const double settle = tarn::proc_now() + 0.3;
    while (tarn::proc_read_line(proc, line, settle) == tarn::PROC_LINE) {
    }
    const double sent = tarn::proc_now();
    tarn::proc_write_line(proc, "quit");
    // The engine leaves by itself: its output ends, then it is reaped.
    while (tarn::proc_read_line(proc, line, sent + QUIT_LIMIT) == tarn::PROC_LINE) {
    }
    const double took = tarn::proc_now() - sent;
    const int status  = tarn::proc_stop(proc, QUIT_LIMIT);
    std::printf("quit during a %d-thread search: status %d after %.0f ms\n", s.threads, status,
                1000 * took);
    verdict(status == 0, "quit did not end the process with status 0");
    verdict(took <= QUIT_LIMIT, "quit took longer than 1 s");
}

void check_memory(const Settings& s) {
    ChildProcess proc;
    if (!start(proc, s))
        return verdict(false, "engine did not start");
    ask(proc, "uci", "uciok");
    tarn::proc_write_line(proc, "setoption name Hash value 16");
    ask(proc, "isready", "readyok");
    const auto game_cycle = [&](int i) {
        static const char* const LINES[] = {"position startpos",
                                            "position startpos moves e2e4 c7c5 g1f3",
                                            "position fen 8/8/8/4k3/8/8/2r5/KQ6 w - - 0 1",
                                            "position startpos moves d2d4 d7d5 c2c4 e7e6"};
        tarn::proc_write_line(proc, "ucinewgame");
        tarn::proc_write_line(proc, LINES[i % 4]);
        return ask(proc, "go nodes 1000", "bestmove") >= 0;
    };
    bool alive = true;
    for (int i = 0; i < WARMUP_CYCLES && alive; ++i)
        alive = game_cycle(i);
    const long start_kb = resident_kb(proc.pid);
    for (int i = 0; i < s.cycles && alive; ++i)
        alive = game_cycle(i);
    const long after_games_kb = resident_kb(proc.pid);
    verdict(alive, "the engine stopped answering during the game cycles");
    std::mt19937 random(11);
    for (int i = 0; i < s.resizes && alive; ++i) {
        const int mb = 1 + static_cast<int>(random() % static_cast<unsigned>(s.max_hash));
        tarn::proc_write_line(proc, "setoption name Hash value " + std::to_string(mb));
        alive = ask(proc, "isready", "readyok") >= 0;
    }
    tarn::proc_write_line(proc, "setoption name Hash value 16");
    alive             = alive && ask(proc, "isready", "readyok") >= 0 && game_cycle(0);
    const long end_kb = resident_kb(proc.pid);
    verdict(alive, "the engine stopped answering during the hash resizes");
    std::printf("memory: resident %.1f MB after %d warm-up cycles, %.1f MB after %d more, "
                "%.1f MB after %d hash resizes and back to 16 MB\n",
                start_kb / 1024.0, WARMUP_CYCLES, after_games_kb / 1024.0, s.cycles,
                end_kb / 1024.0, s.resizes);
    const long slack = 1024L * s.rss_slack_mb;
    verdict(start_kb > 0 && after_games_kb - start_kb <= slack, "the game cycles kept memory");
    verdict(start_kb > 0 && end_kb - start_kb <= slack, "the hash resizes kept memory");
    tarn::proc_write_line(proc, "quit");
    const int status = tarn::proc_stop(proc, 5.0);
    std::printf("memory: exit status %d\n", status);
    verdict(status == 0, "the engine did not exit cleanly (a sanitizer build exits non-zero on "
                         "a leak)");
}

bool read_int(const char* text, int lo, int hi, int& out) {
    const char* end = text + std::strlen(text);
    const auto r    = std::from_chars(text, end, out);
    return r.ec == std::errc{} && r.ptr == end && out >= lo && out <= hi;
}

} // namespace

int main(int argc, char** argv) {
    Settings s;
    bool ok = argc >= 2;
    if (ok)
        s.engine = argv[1];
    for (int i = 2; ok && i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        int* field             = flag == "--threads"        ? &s.threads
                                 : flag == "--tries"        ? &s.tries
                                 : flag == "--cycles"       ? &s.cycles
                                 : flag == "--resizes"      ? &s.resizes
                                 : flag == "--max-hash"     ? &s.max_hash
                                 : flag == "--rss-slack-mb" ? &s.rss_slack_mb
                                                            : nullptr;
        ok                     = field && read_int(argv[i + 1], 0, 1000000, *field);
    }
    if (!ok || argc % 2 != 0) {
        std::fprintf(stderr, "usage: tarn_load ENGINE [--threads N] [--tries N] [--cycles N] "
                             "[--resizes N] [--max-hash MB] [--rss-slack-mb MB]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    check_responsiveness(s);
    check_quit(s);
    check_memory(s);
    std::printf("load check: %s\n", failed ? "FAILED" : "passed");
    return failed ? 1 : 0;
}
