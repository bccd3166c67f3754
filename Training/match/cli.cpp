#include "match/cli.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tarn {

namespace {

constexpr int MAX_CONCURRENCY = 64;

using Settings = std::vector<std::string>; // "key=value" words of one -engine or -each

bool read_long(const std::string& text, long long lo, long long hi, long long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno     = 0;
    value     = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size() && value >= lo && value <= hi;
}

bool read_int(const std::string& text, int lo, int hi, int& value) {
    long long v = 0;
    if (!read_long(text, lo, hi, v))
        return false;
    value = static_cast<int>(v);
    return true;
}

bool read_double(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value     = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool read_bool(const std::string& text, bool& value) {
    if (text == "true" || text == "1" || text == "yes")
        value = true;
    else if (text == "false" || text == "0" || text == "no")
        value = false;
    else
        return false;
    return true;
}

// Splits "key=value"; false when there is no '='.
bool split_setting(const std::string& word, std::string& key, std::string& value) {
    const std::size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    key   = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

std::string bad_value(const std::string& option, const std::string& word) {
    return "bad value in " + option + ": '" + word + "'";
}

// Applies one engine setting.
bool apply_engine_setting(EngineConfig& e, const std::string& word, std::string& error) {
    std::string key, value;
    if (!split_setting(word, key, value)) {
        error = "engine setting without '=': '" + word + "'";
        return false;
    }
    long long n = 0;
    double d    = 0;
    if (key == "cmd") {
        e.command = value;
    } else if (key == "name") {
        e.name = value;
    } else if (key == "arg") {
        e.args.push_back(value);
    } else if (key == "dir") {
        e.dir = value;
    } else if (key == "proto") {
        if (value != "uci") {
            error = "only the uci protocol is spoken (proto=" + value + ")";
            return false;
        }
    } else if (key.rfind("option.", 0) == 0 && key.size() > 7) {
        const std::string name = key.substr(7);
        bool replaced          = false;
        for (auto& o : e.options)
            if (o.first == name) {
                o.second = value;
                replaced = true;
            }
        if (!replaced)
            e.options.emplace_back(name, value);
    } else if (key == "tc") {
        return parse_clock_control(value, e.tc, error);
    } else if (key == "st") {
        if (!read_double(value, d) || d <= 0) {
            error = bad_value("st", word);
            return false;
        }
        e.tc.move_time = d;
    } else if (key == "nodes") {
        if (!read_long(value, 1, 1LL << 50, n)) {
            error = bad_value("nodes", word);
            return false;
        }
        e.tc.nodes = static_cast<std::uint64_t>(n);
    } else if (key == "depth") {
        if (!read_long(value, 1, 1000, n)) {
            error = bad_value("depth", word);
            return false;
        }
        e.tc.depth = static_cast<int>(n);
    } else if (key == "timemargin") {
        if (!read_long(value, 0, 3600000, n)) {
            error = bad_value("timemargin (milliseconds)", word);
            return false;
        }
        e.tc.margin = static_cast<double>(n) / 1000.0;
    } else if (key == "timeout") {
        if (!read_double(value, d) || d <= 0) {
            error = bad_value("timeout (seconds)", word);
            return false;
        }
        e.tc.hang_limit = d;
    } else {
        error = "unknown engine setting '" + key + "'";
        return false;
    }
    return true;
}

// Reads "key=value" words of an option with named fields; each is handed to take.
template <typename Take>
bool read_fields(const std::string& option, const Settings& words, std::string& error, Take take) {
    for (const std::string& word : words) {
        std::string key, value;
        if (!split_setting(word, key, value)) {
            error = option + ": expected key=value, got '" + word + "'";
            return false;
        }
        if (!take(key, value)) {
            if (error.empty())
                error = option + ": bad or unknown field '" + word + "'";
            return false;
        }
    }
    return true;
}

bool read_openings(const Settings& words, MatchConfig& c, std::string& error) {
    const bool ok =
        read_fields("-openings", words, error, [&c](const std::string& k, const std::string& v) {
            OpeningsConfig& o = c.openings;
            if (k == "file")
                o.file = v;
            else if (k == "format" && (v == "epd" || v == "pgn"))
                o.format = v == "pgn" ? OPENINGS_PGN : OPENINGS_EPD;
            else if (k == "order" && (v == "random" || v == "sequential"))
                o.random = v == "random";
            else if (k == "plies")
                return read_int(v, 0, 1000, o.plies);
            else if (k == "start")
                return read_int(v, 1, 1 << 30, o.start);
            else if (k == "randomplies")
                return read_int(v, 0, 40, o.random_plies);
            else
                return false;
            return true;
        });
    if (ok && c.openings.file.empty()) {
        error = "-openings needs file=";
        return false;
    }
    return ok;
}

bool read_sprt(const Settings& words, MatchConfig& c, std::string& error) {
    c.sprt.on = true;
    return read_fields("-sprt", words, error, [&c](const std::string& k, const std::string& v) {
        double d = 0;
        if (!read_double(v, d))
            return false;
        if (k == "elo0")
            c.sprt.elo0 = d;
        else if (k == "elo1")
            c.sprt.elo1 = d;
        else if (k == "alpha" && d > 0 && d < 0.5)
            c.sprt.alpha = d;
        else if (k == "beta" && d > 0 && d < 0.5)
            c.sprt.beta = d;
        else
            return false;
        return true;
    });
}

bool read_draw(const Settings& words, MatchConfig& c, std::string& error) {
    c.draw.on = true;
    return read_fields("-draw", words, error, [&c](const std::string& k, const std::string& v) {
        if (k == "movenumber")
            return read_int(v, 0, 10000, c.draw.move_number);
        if (k == "movecount")
            return read_int(v, 1, 10000, c.draw.move_count);
        if (k == "score")
            return read_int(v, 0, 100000, c.draw.score);
        return false;
    });
}

bool read_resign(const Settings& words, MatchConfig& c, std::string& error) {
    c.resign.on = true;
    return read_fields("-resign", words, error, [&c](const std::string& k, const std::string& v) {
        if (k == "movecount")
            return read_int(v, 1, 10000, c.resign.move_count);
        if (k == "score")
            return read_int(v, 1, 100000, c.resign.score);
        if (k == "twosided")
            return read_bool(v, c.resign.two_sided);
        return false;
    });
}

bool read_epdout(const Settings& words, MatchConfig& c, std::string& error) {
    return read_fields("-epdout", words, error, [&c](const std::string& k, const std::string& v) {
        if (k == "file")
            c.epd_out.file = v;
        else if (k == "skipcheck")
            return read_bool(v, c.epd_out.skip_check);
        else if (k == "skipmate")
            return read_bool(v, c.epd_out.skip_mate);
        else
            return false;
        return true;
    });
}

// A single number after an option; false with a message when it is missing or out of range.
bool read_count(const std::string& option, const Settings& words, int lo, int hi, int& value,
                std::string& error) {
    if (words.size() != 1 || !read_int(words[0], lo, hi, value)) {
        error =
            option + " takes one number from " + std::to_string(lo) + " to " + std::to_string(hi);
        return false;
    }
    return true;
}

// True when an engine before engine i has its name.
bool name_taken(const MatchConfig& c, std::size_t i) {
    for (std::size_t j = 0; j < i; ++j)
        if (c.engines[j].name == c.engines[i].name)
            return true;
    return false;
}

// Everything else about the engines once all options are read: settings, names, limits.
bool finish_engines(const std::vector<Settings>& engines, const Settings& each, MatchConfig& c,
                    std::string& error) {
    for (const Settings& own : engines) {
        EngineConfig e;
        for (const std::string& word : each)
            if (!apply_engine_setting(e, word, error))
                return false;
        for (const std::string& word : own)
            if (!apply_engine_setting(e, word, error))
                return false;
        if (e.command.empty()) {
            error = "an -engine has no cmd=";
            return false;
        }
        if (e.name.empty())
            e.name = e.command.substr(e.command.find_last_of('/') + 1);
        if (!has_search_limit(e.tc)) {
            error = "engine " + e.name + " has no limit: give tc=, st=, nodes= or depth=";
            return false;
        }
        c.engines.push_back(e);
    }
    // Two engines of one name would be one player in the statistics: "tarn", "tarn-2", ...
    for (std::size_t i = 1; i < c.engines.size(); ++i) {
        const std::string base = c.engines[i].name;
        for (int copy = 2; name_taken(c, i); ++copy)
            c.engines[i].name = base + "-" + std::to_string(copy);
    }
    if (c.engines.size() < 2) {
        error = "a match needs at least two -engine definitions";
        return false;
    }
    if (c.sprt.on && c.engines.size() != 2) {
        error = "-sprt needs exactly two engines";
        return false;
    }
    if (c.sprt.on && !(c.sprt.elo0 < c.sprt.elo1)) {
        error = "-sprt needs elo0 below elo1";
        return false;
    }
    if (c.draw.on && c.draw.move_count == 0) {
        error = "-draw needs movecount=";
        return false;
    }
    if (c.resign.on && (c.resign.move_count == 0 || c.resign.score == 0)) {
        error = "-resign needs movecount= and score=";
        return false;
    }
    return true;
}

} // namespace

const char* match_usage() {
    return "usage: tarn-match -engine cmd=PATH [name=NAME] [arg=WORD ...] [dir=DIR]\n"
           "                  [option.NAME=VALUE ...] [tc=[MOVES/]SECONDS[+INC]] [st=SECONDS]\n"
           "                  [nodes=N] [depth=N] [timemargin=MS] [timeout=SECONDS]\n"
           "                  -engine ... [-each SETTINGS...]\n"
           "                  [-games N] [-rounds N] [-repeat [2]] [-concurrency N]\n"
           "                  [-openings file=F [format=epd|pgn] [order=random|sequential]\n"
           "                             [plies=N] [start=N] [randomplies=N]]\n"
           "                  [-pgnout file=F] [-epdout file=F [skipcheck=true] [skipmate=true]]\n"
           "                  [-sprt elo0=A elo1=B alpha=X beta=Y]\n"
           "                  [-draw movenumber=N movecount=N score=CP]\n"
           "                  [-resign movecount=N score=CP [twosided=true|false]]\n"
           "                  [-maxmoves N] [-srand N] [-variant standard|fischerandom]\n"
           "                  [-event NAME] [-recover] [-strict]\n";
}

bool parse_match_args(const std::vector<std::string>& args, MatchConfig& c, bool& has_seed,
                      std::string& error) {
    std::vector<Settings> engines;
    Settings each;
    has_seed = false;
    for (std::size_t i = 0; i < args.size();) {
        const std::string option = args[i++];
        Settings words;
        while (i < args.size() && !(args[i].size() > 1 && args[i][0] == '-' &&
                                    !std::isdigit(static_cast<unsigned char>(args[i][1]))))
            words.push_back(args[i++]);
        bool ok = true;
        if (option == "-engine") {
            engines.push_back(words);
        } else if (option == "-each") {
            each.insert(each.end(), words.begin(), words.end());
        } else if (option == "-games") {
            ok = read_count(option, words, 1, 1000000, c.games, error);
        } else if (option == "-rounds") {
            ok = read_count(option, words, 1, 1000000, c.rounds, error);
        } else if (option == "-repeat") {
            c.repeat = 2;
            ok       = words.empty() || read_count(option, words, 1, 2, c.repeat, error);
        } else if (option == "-concurrency") {
            ok = read_count(option, words, 1, MAX_CONCURRENCY, c.concurrency, error);
        } else if (option == "-maxmoves") {
            ok = read_count(option, words, 1, 100000, c.max_moves, error);
        } else if (option == "-srand") {
            long long seed = 0;
            ok             = words.size() == 1 && read_long(words[0], 0, 0xFFFFFFFFLL, seed);
            if (!ok)
                error = "-srand takes one number from 0 to 4294967295";
            c.seed   = static_cast<std::uint32_t>(seed);
            has_seed = true;
        } else if (option == "-openings") {
            ok = read_openings(words, c, error);
        } else if (option == "-pgnout") {
            std::string key, value;
            ok = words.size() == 1;
            if (ok)
                c.pgn_file =
                    split_setting(words[0], key, value) && key == "file" ? value : words[0];
            else
                error = "-pgnout takes file=F";
        } else if (option == "-epdout") {
            ok = read_epdout(words, c, error);
        } else if (option == "-sprt") {
            ok = read_sprt(words, c, error);
        } else if (option == "-draw") {
            ok = read_draw(words, c, error);
        } else if (option == "-resign") {
            ok = read_resign(words, c, error);
        } else if (option == "-variant") {
            ok = words.size() == 1 && (words[0] == "standard" || words[0] == "fischerandom");
            if (ok)
                c.chess960 = words[0] == "fischerandom";
            else
                error = "-variant takes standard or fischerandom";
        } else if (option == "-event") {
            ok = words.size() == 1;
            if (ok)
                c.event = words[0];
            else
                error = "-event takes one name";
        } else if (option == "-strict") {
            ok       = words.empty();
            c.strict = true;
            if (!ok)
                error = "-strict takes no value";
        } else if (option == "-recover") {
            // Engines are always started again after a failure; accepted for old scripts.
            ok = words.empty();
            if (!ok)
                error = "-recover takes no value";
        } else {
            error = "unknown argument '" + option + "'";
            return false;
        }
        if (!ok) {
            if (error.empty())
                error = "bad arguments to " + option;
            return false;
        }
    }
    if (c.epd_out.file.empty() && (c.epd_out.skip_check || c.epd_out.skip_mate)) {
        error = "-epdout needs file=";
        return false;
    }
    return finish_engines(engines, each, c, error);
}

} // namespace tarn
