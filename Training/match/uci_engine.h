#pragma once
// One engine of a match as the runner drives it over UCI: started as a child process with the
// "uci" / "isready" hand-shake and its options, told about each new game, asked for a move
// with "position" and "go", and stopped with "quit". Every wait has a limit; an engine that
// does not answer in time or has ended is reported as such and the caller decides the game.

#include <string>
#include <vector>

#include "match/config.h"
#include "match/process.h"

namespace tarn {

constexpr double QUIT_GRACE_SECONDS = 1.0; // an engine told to quit may take this long

// Outcome of a search request.
constexpr int SEARCH_DONE    = 0; // "bestmove" came (in time or not: see seconds)
constexpr int SEARCH_TIMEOUT = 1; // no "bestmove" within the limit
constexpr int SEARCH_ENDED   = 2; // the engine ended (crashed) before answering

// What one search produced: the move text and the last score and depth it reported.
struct SearchReport {
    int status = SEARCH_DONE;
    std::string bestmove; // the word after "bestmove"; empty when there was none
    bool has_score = false;
    bool is_mate   = false; // the score is a mate score
    int score_cp   = 0;     // centipawns from the mover's view, when not a mate score
    int mate       = 0;     // moves to mate; 0 or negative: the mover is mated
    int depth      = 0;
    double seconds = 0; // from sending "go" to reading "bestmove"
};

// A running engine.
struct UciEngine {
    ChildProcess proc;
    std::vector<std::string> option_names; // as the engine announced them
    std::string id_name;                   // its "id name"
};

// Starts the engine and completes the hand-shake: options the engine does not announce are
// not sent but reported in warnings. False with a message in error (the engine is stopped).
bool engine_start(UciEngine& engine, const EngineConfig& config, bool chess960,
                  double handshake_seconds, std::string& error, std::vector<std::string>& warnings);
// "ucinewgame" followed by the "isready" hand-shake.
bool engine_new_game(UciEngine& engine, double handshake_seconds, std::string& error);
// Sends the position and go commands and waits at most limit_seconds for "bestmove".
SearchReport engine_search(UciEngine& engine, const std::string& position, const std::string& go,
                           double limit_seconds);
// Reads the depth and score of an "info" line into report (the first line of a multi-line
// output only); other lines leave it alone.
void read_info_line(const std::string& line, SearchReport& report);
// "quit", a short grace, then the process is ended in any case.
void engine_quit(UciEngine& engine);
// Ends the process at once (after a crash, a hang or a broken rule).
void engine_kill(UciEngine& engine);
inline bool engine_is_running(const UciEngine& engine) {
    return proc_is_open(engine.proc) && !engine.proc.ended;
}

} // namespace tarn
