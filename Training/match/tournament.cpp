#include "match/tournament.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "core/fen.h"
#include "match/report.h"
#include "match/rules.h"

namespace tarn {

namespace {

// Set by a stop request; polled by every game before each move.
std::atomic<bool> stop_requested{false};

// Everything the workers share; guarded by `lock` except the read-only parts.
struct MatchRun {
    const MatchConfig& config;
    std::vector<Opening> openings;
    std::vector<int> order;
    std::vector<std::pair<int, int>> pairings;
    int total = 0;

    std::mutex lock;
    int next_game      = 0;
    int aborted        = 0; // games cut short by a stop request
    std::FILE* pgn_out = nullptr;
    std::FILE* epd_out = nullptr;
    MatchSummary summary;
    std::map<int, double> half_pairs; // slot -> first engine's points in the pair's first game
    std::set<std::string> warned;     // messages already printed once
};

void say(const MatchRun& run, const std::string& text) {
    if (!run.config.quiet) {
        std::fputs((text + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y.%m.%d", &local);
    return buffer;
}

// Points of the pairing's first engine in a game.
double first_points(int result, bool first_is_white) {
    if (result == RESULT_DRAW)
        return 0.5;
    const bool white_won = result == RESULT_WHITE_WINS;
    return white_won == first_is_white ? 1.0 : 0.0;
}

// Appends one whole record (a game's PGN, or all its training lines) in a single write, so that
// a runner killed at any moment leaves the file with whole records only.
void append_record(std::FILE* file, const std::string& record) {
    std::fwrite(record.data(), 1, record.size(), file);
}

// Counts a finished game, writes its records and prints progress. Caller holds the lock.
void record_game(MatchRun& run, const GameJob& job, const ScheduleEntry& entry,
                 const GameOutcome& out) {
    const MatchConfig& config = run.config;
    for (const std::string& w : out.warnings)
        if (run.warned.insert(w).second)
            say(run, "Warning: " + w);
    const int engine_of[2] = {job.white, job.black};
    for (int side = 0; side < 2; ++side) {
        const std::size_t engine = static_cast<std::size_t>(engine_of[side]);
        ++run.summary.failures[engine][static_cast<std::size_t>(out.failure[side])];
        run.summary.least_left[engine] =
            std::min(run.summary.least_left[engine], out.least_left[side]);
    }
    if (run.pgn_out)
        append_record(run.pgn_out, pgn_write(out.pgn));
    if (run.epd_out && !out.training.empty()) {
        std::string lines;
        for (const std::string& line : out.training)
            lines += line + "\n";
        append_record(run.epd_out, lines);
    }
    const EngineConfig& white = config.engines[static_cast<std::size_t>(job.white)];
    const EngineConfig& black = config.engines[static_cast<std::size_t>(job.black)];
    say(run, "Finished game " + std::to_string(job.number) + " (" + white.name + " vs " +
                 black.name + "): " + result_text(out.result) + " {" + out.reason + "}");
    if (out.result == RESULT_NONE)
        return;

    PairingResult& pr = run.summary.pairings[static_cast<std::size_t>(entry.pairing)];
    const double pts  = first_points(out.result, entry.first_is_white);
    ++run.summary.games_played;
    if (pts == 1.0)
        ++pr.counts.wins;
    else if (pts == 0.0)
        ++pr.counts.losses;
    else
        ++pr.counts.draws;
    if (config.repeat == 2) {
        const auto half = run.half_pairs.find(entry.slot);
        if (half == run.half_pairs.end()) {
            run.half_pairs[entry.slot] = pts;
        } else {
            ++pr.counts.penta[static_cast<int>((half->second + pts) * 2 + 0.5)];
            run.half_pairs.erase(half);
        }
    }
    const std::string& first  = config.engines[static_cast<std::size_t>(pr.first)].name;
    const std::string& second = config.engines[static_cast<std::size_t>(pr.second)].name;
    std::string progress      = score_line(first, second, pr.counts);
    if (config.sprt.on) {
        run.summary.llr           = sprt_llr(pr.counts, config.repeat == 2, config.sprt);
        run.summary.sprt_decision = sprt_decision(run.summary.llr, config.sprt);
        progress += "  " + sprt_line(run.summary.llr, config.sprt);
        if (run.summary.sprt_decision != SPRT_CONTINUE)
            match_request_stop();
    }
    say(run, progress);
}

// Takes the next game off the schedule; false when there is none or the match is stopping.
bool take_game(MatchRun& run, GameJob& job, ScheduleEntry& entry) {
    std::lock_guard<std::mutex> hold(run.lock);
    if (run.next_game >= run.total || stop_requested.load())
        return false;
    const int index             = run.next_game++;
    entry                       = schedule_entry(run.config, index);
    const auto& [first, second] = run.pairings[static_cast<std::size_t>(entry.pairing)];
    job.number                  = index + 1;
    job.round                   = entry.round + 1;
    job.white                   = entry.first_is_white ? first : second;
    job.black                   = entry.first_is_white ? second : first;
    const std::size_t pick      = static_cast<std::size_t>(entry.slot) % run.order.size();
    job.opening                 = &run.openings[static_cast<std::size_t>(run.order[pick])];
    if (run.config.openings.random_plies > 0) {
        // Both games of a pair share a slot and so the same random moves.
        const std::uint64_t seed = (static_cast<std::uint64_t>(run.config.seed) << 32) ^
                                   static_cast<std::uint64_t>(entry.slot);
        job.played_opening = extend_opening(*job.opening, run.config.openings.random_plies, seed);
        job.opening        = &job.played_opening;
    }
    job.date = today();
    return true;
}

void worker(MatchRun& run) {
    std::vector<UciEngine> engines(run.config.engines.size());
    GameJob job;
    ScheduleEntry entry;
    while (take_game(run, job, entry)) {
        UciEngine* players[2] = {&engines[static_cast<std::size_t>(job.white)],
                                 &engines[static_cast<std::size_t>(job.black)]};
        const GameOutcome out = play_game(run.config, job, players, stop_requested);
        for (int side = 0; side < 2; ++side)
            if (out.restart[side])
                engine_kill(*players[side]);
        std::lock_guard<std::mutex> hold(run.lock);
        if (out.aborted)
            ++run.aborted;
        else
            record_game(run, job, entry, out);
    }
    for (UciEngine& e : engines)
        engine_quit(e);
}

// Fills the opening list: the file's, every Chess960 start position, or the start position.
bool prepare_openings(MatchRun& run, std::string& error) {
    const MatchConfig& config = run.config;
    if (!config.openings.file.empty()) {
        std::vector<std::string> warnings;
        if (!load_openings(config.openings, run.openings, warnings, error))
            return false;
        for (const std::string& w : warnings)
            say(run, "Warning: " + w);
        run.order = opening_order(static_cast<int>(run.openings.size()), config.openings.random,
                                  config.seed, config.openings.start);
        return true;
    }
    if (config.chess960) {
        for (int i = 0; i < CHESS960_POSITIONS; ++i)
            run.openings.push_back(Opening{chess960_fen(i), {}, {}});
        run.order = opening_order(CHESS960_POSITIONS, true, config.seed, config.openings.start);
        return true;
    }
    run.openings.push_back(Opening{std::string(START_FEN) + " 0 1", {}, {}});
    run.order = {0};
    return true;
}

std::FILE* open_output(const std::string& path, std::string& error) {
    if (path.empty())
        return nullptr;
    // Appended to, as tournament managers do; "e" keeps the file out of the engines. Without a
    // buffer every record goes out in the one write of append_record.
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (!file)
        error = "cannot open " + path + " for writing";
    else
        std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

} // namespace

int failure_count(const MatchSummary& summary) {
    int total = 0;
    for (const std::array<int, FAILURE_KINDS>& kinds : summary.failures)
        for (int kind = FAILURE_NONE + 1; kind < FAILURE_KINDS; ++kind)
            total += kinds[static_cast<std::size_t>(kind)];
    return total;
}

void match_request_stop() {
    stop_requested.store(true);
}

int schedule_length(const MatchConfig& config) {
    const int n = static_cast<int>(config.engines.size());
    return config.rounds * config.games * (n * (n - 1) / 2);
}

ScheduleEntry schedule_entry(const MatchConfig& config, int index) {
    const int n         = static_cast<int>(config.engines.size());
    const int pairings  = n * (n - 1) / 2;
    const int per_round = pairings * config.games;
    const int within    = index % per_round;
    const int k         = within % config.games; // game of this encounter
    ScheduleEntry e;
    e.round             = index / per_round;
    e.pairing           = within / config.games;
    const int encounter = e.round * pairings + e.pairing;
    const int slots     = (config.games + config.repeat - 1) / config.repeat;
    e.slot              = encounter * slots + k / config.repeat;
    e.first_is_white    = (k + e.round * config.games) % 2 == 0;
    return e;
}

bool run_match(const MatchConfig& config, MatchSummary& summary, std::string& error) {
    if (config.engines.size() < 2) {
        error = "a match needs at least two engines";
        return false;
    }
    stop_requested.store(false);
    rules_setup(config.chess960);
    MatchRun run{config, {}, {}, {}, 0, {}, 0, 0, nullptr, nullptr, {}, {}, {}};
    const int n = static_cast<int>(config.engines.size());
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            run.pairings.emplace_back(i, j);
            run.summary.pairings.push_back(PairingResult{i, j, {}});
        }
    run.summary.failures.assign(config.engines.size(), {});
    run.summary.least_left.assign(config.engines.size(), NO_DEADLINE);
    run.total = schedule_length(config);
    if (!prepare_openings(run, error))
        return false;
    run.pgn_out = open_output(config.pgn_file, error);
    run.epd_out = error.empty() ? open_output(config.epd_out.file, error) : nullptr;
    if (!error.empty()) {
        if (run.pgn_out)
            std::fclose(run.pgn_out);
        return false;
    }
    say(run, "Playing " + std::to_string(run.total) + " games, concurrency " +
                 std::to_string(config.concurrency) + ", " + std::to_string(run.openings.size()) +
                 " openings, seed " + std::to_string(config.seed));

    std::vector<std::thread> workers;
    for (int i = 0; i < std::max(1, std::min(config.concurrency, run.total)); ++i)
        workers.emplace_back(worker, std::ref(run));
    for (std::thread& t : workers)
        t.join();

    if (run.pgn_out)
        std::fclose(run.pgn_out);
    if (run.epd_out)
        std::fclose(run.epd_out);
    run.summary.stopped = run.next_game < run.total || run.aborted > 0;
    summary             = run.summary;
    for (const std::string& line : summary_lines(config, summary))
        say(run, line);
    return true;
}

} // namespace tarn
