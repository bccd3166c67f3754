#include "match/uci_engine.h"

#include <cctype>
#include <charconv>
#include <sstream>

namespace tarn {

namespace {

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool read_int(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec]  = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// Reads lines until one equal to `answer`, within limit seconds. Option lines met on the way
// are recorded. False with a message when the engine ends or the time runs out.
bool await_answer(UciEngine& engine, const std::string& answer, double limit, std::string& error) {
    const double deadline = proc_now() + limit;
    std::string line;
    for (;;) {
        const int got = proc_read_line(engine.proc, line, deadline);
        if (got == PROC_TIMEOUT) {
            error = "no \"" + answer + "\" within " + std::to_string(static_cast<int>(limit)) + "s";
            return false;
        }
        if (got == PROC_ENDED) {
            error = "the engine ended before \"" + answer + "\"";
            return false;
        }
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        if (line == answer)
            return true;
        if (line.rfind("option name ", 0) == 0) {
            const std::size_t type = line.find(" type ");
            engine.option_names.push_back(
                line.substr(12, type == std::string::npos ? std::string::npos : type - 12));
        } else if (line.rfind("id name ", 0) == 0) {
            engine.id_name = line.substr(8);
        }
    }
}

bool has_option(const UciEngine& engine, const std::string& name) {
    for (const std::string& o : engine.option_names)
        if (same_name(o, name))
            return true;
    return false;
}

} // namespace

bool engine_start(UciEngine& engine, const EngineConfig& config, bool chess960,
                  double handshake_seconds, std::string& error,
                  std::vector<std::string>& warnings) {
    engine = UciEngine{};
    std::vector<std::string> argv{config.command};
    argv.insert(argv.end(), config.args.begin(), config.args.end());
    if (!proc_start(engine.proc, argv, config.dir, error))
        return false;
    if (!proc_write_line(engine.proc, "uci") ||
        !await_answer(engine, "uciok", handshake_seconds, error)) {
        engine_kill(engine);
        return false;
    }
    for (const auto& [name, value] : config.options) {
        if (has_option(engine, name))
            proc_write_line(engine.proc, "setoption name " + name + " value " + value);
        else
            warnings.push_back(config.name + " has no option \"" + name + "\"; not sent");
    }
    if (chess960) {
        if (has_option(engine, "UCI_Chess960"))
            proc_write_line(engine.proc, "setoption name UCI_Chess960 value true");
        else
            warnings.push_back(config.name + " announces no UCI_Chess960 option");
    }
    if (!proc_write_line(engine.proc, "isready") ||
        !await_answer(engine, "readyok", handshake_seconds, error)) {
        engine_kill(engine);
        return false;
    }
    return true;
}

bool engine_new_game(UciEngine& engine, double handshake_seconds, std::string& error) {
    if (!proc_write_line(engine.proc, "ucinewgame") || !proc_write_line(engine.proc, "isready")) {
        error = "the engine no longer reads its input";
        return false;
    }
    return await_answer(engine, "readyok", handshake_seconds, error);
}

void read_info_line(const std::string& line, SearchReport& report) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word != "info")
        return;
    int depth = -1, value = 0, multipv = 1;
    bool score = false, mate = false;
    while (words >> word) {
        std::string text;
        if (word == "string")
            break;
        if (word == "depth" && words >> text) {
            read_int(text, depth);
        } else if (word == "multipv" && words >> text) {
            read_int(text, multipv);
        } else if (word == "score" && words >> word && words >> text) {
            score = (word == "cp" || word == "mate") && read_int(text, value);
            mate  = word == "mate";
        }
    }
    if (multipv != 1)
        return;
    if (depth >= 0)
        report.depth = depth;
    if (score) {
        report.has_score = true;
        report.is_mate   = mate;
        report.score_cp  = mate ? 0 : value;
        report.mate      = mate ? value : 0;
    }
}

SearchReport engine_search(UciEngine& engine, const std::string& position, const std::string& go,
                           double limit_seconds) {
    SearchReport report;
    const double start = proc_now();
    if (!proc_write_line(engine.proc, position) || !proc_write_line(engine.proc, go)) {
        report.status = SEARCH_ENDED;
        return report;
    }
    const double deadline = start + limit_seconds;
    std::string line;
    for (;;) {
        const int got = proc_read_line(engine.proc, line, deadline);
        if (got != PROC_LINE) {
            report.status  = got == PROC_TIMEOUT ? SEARCH_TIMEOUT : SEARCH_ENDED;
            report.seconds = proc_now() - start;
            return report;
        }
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "bestmove") {
            report.seconds = proc_now() - start;
            words >> report.bestmove;
            return report;
        }
        read_info_line(line, report);
    }
}

void engine_quit(UciEngine& engine) {
    if (!proc_is_open(engine.proc))
        return;
    proc_write_line(engine.proc, "quit");
    proc_stop(engine.proc, QUIT_GRACE_SECONDS);
}

void engine_kill(UciEngine& engine) {
    if (proc_is_open(engine.proc))
        proc_stop(engine.proc, 0);
}

} // namespace tarn
