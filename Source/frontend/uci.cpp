#include "frontend/uci.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "core/platform.h"
#include "frontend/console.h"
#include "frontend/game_record.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "frontend/startup.h"
#include "search/info_line.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace tarn {

namespace {

constexpr double NEW_GAME_TIME          = 60.0;
constexpr int MOVE_WORD_CHARS           = 127;
constexpr std::int64_t MOVES_TO_GO_MAX  = 1000;
constexpr std::int64_t NODE_REQUEST_MAX = std::int64_t{1} << 50; // keeps the spread in range

std::uint32_t cmd_logging = 1; // "CMD:" lines in the log; "debug" turns it on

void uci_identify() {
    run_settings.protocol_mode = PROTOCOL_UCI;
    print_format("id name %s", ENGINE_NAME);
    print_format("id author %s", ENGINE_AUTHOR);
    announce_options();
    print_line("uciok");
}

std::string skip_blanks(const std::string& text, std::size_t at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    return at < text.size() ? text.substr(at) : std::string();
}

// "setoption name N [value V]": the name runs up to the blanks before "value". A line without
// a value only works a button; any other option keeps what it holds rather than reading the
// missing value as 0, false or empty.
void uci_setoption(const std::string& rest) {
    const std::size_t n = rest.find("name");
    if (n == std::string::npos)
        return;
    const std::size_t v = rest.find("value");
    std::string name, value;
    if (v != std::string::npos && n < v) {
        std::size_t name_end = v;
        while (name_end > n && rest[name_end - 1] == ' ')
            --name_end;
        name  = name_end > n + 5 ? skip_blanks(rest.substr(0, name_end), n + 5) : std::string();
        value = skip_blanks(rest, v + 6);
    } else {
        name = skip_blanks(rest, n + 5).substr(0, OPTION_NAME_MAX);
        if (name != "Clear_Hash") {
            print_format("info string no value for %s, left unchanged", name.c_str());
            return;
        }
    }
    name  = name.substr(0, OPTION_NAME_MAX);
    value = value.substr(0, OPTION_VALUE_MAX);
    set_option(name.c_str(), value.c_str());
    saved_options = live_options;
}

// Ends a running search and waits for its threads; its result is dropped.
void stop_running_search() {
    if (search_control.mode != MODE_IDLE) {
        search_control.stop = 1;
        wait_for_search();
    }
}

// Number after a keyword of the "go" line, or nothing when the keyword is absent.
bool go_value(const std::string& rest, const char* keyword, double& value) {
    const std::size_t at = rest.find(keyword);
    if (at == std::string::npos)
        return false;
    const std::size_t start = at + std::strlen(keyword) + 1;
    value =
        start < rest.size() ? std::strtod(next_token(rest.c_str() + start).c_str(), nullptr) : 0;
    if (std::isnan(value))
        value = 0;
    return true;
}

// A count of the "go" line (nodes, moves to go) as an integer within [0, most]; a double
// outside the integer range must never be converted as it is.
std::int64_t go_count(double value, std::int64_t most) {
    if (!(value > 0))
        return 0;
    return value >= static_cast<double>(most) ? most : static_cast<std::int64_t>(value);
}

// Seconds of a "go" time field given in milliseconds; negative reads as 0.
double go_seconds(double milliseconds) {
    return std::clamp(milliseconds / 1000, 0.0, TIME_UNLIMITED);
}

void uci_go(const std::string& rest) {
    SearchLimits& limits = game_limits;
    stop_running_search();
    limits.time_mode  = TIME_SUDDEN_DEATH;
    const int to_move = main_thread->board.pos.side;
    double v          = 0;
    if (go_value(rest, "wtime", v))
        limits.clock[WHITE] = go_seconds(v);
    if (go_value(rest, "btime", v))
        limits.clock[BLACK] = go_seconds(v);
    if (go_value(rest, "winc", v) && to_move == WHITE)
        limits.increment = go_seconds(v);
    if (go_value(rest, "binc", v) && to_move == BLACK)
        limits.increment = go_seconds(v);
    if (go_value(rest, "movestogo", v)) {
        limits.time_mode   = 40;
        limits.moves_to_go = static_cast<int>(go_count(v, MOVES_TO_GO_MAX));
        limits.max_depth   = MAX_DEPTH;
        limits.node_limit  = 0;
    }
    if (go_value(rest, "depth", v)) {
        limits.move_time = TIME_UNLIMITED;
        limits.max_depth = search_depth_limit(v);
        limits.time_mode = TIME_FIXED_MOVE;
    }
    if (go_value(rest, "nodes", v)) {
        const std::int64_t n     = go_count(v, NODE_REQUEST_MAX);
        const std::int64_t r     = std::rand();
        const std::int64_t limit = n + ((40 - r % 80) * n) / 1000;
        limits.node_limit        = limit > 0 ? static_cast<std::uint64_t>(limit) : 1;
        limits.time_mode         = TIME_FIXED_MOVE;
        limits.move_time         = TIME_UNLIMITED;
    }
    if (go_value(rest, "movetime", v)) {
        limits.move_time = go_seconds(v);
        limits.increment = 0;
        limits.time_mode = TIME_FIXED_MOVE;
    }
    if (rest.find("infinite") != std::string::npos) {
        limits.move_time  = TIME_UNLIMITED;
        limits.increment  = 0;
        limits.node_limit = 0;
        limits.max_depth  = MAX_DEPTH;
        limits.time_mode  = TIME_FIXED_MOVE;
    }
    search_control.mode =
        rest.find("ponder") != std::string::npos ? MODE_PONDER_REQ : MODE_REQUESTED;
}

void uci_new_game() {
    stop_running_search();
    game_limits.time_mode = TIME_SUDDEN_DEATH;
    game_limits.move_time = NEW_GAME_TIME;
    game_limits.increment = 0.0;
    game_limits.clock[0] = game_limits.clock[1] = NEW_GAME_TIME;
    main_thread->board.game_ply                 = 0;
    if (search_state.use_hash)
        tt_clear();
    search_state.search_age = 0;
}

void dispatch_uci(const std::string& line) {
    if (cmd_logging && live_options.Log) {
        const std::string logged = "CMD: " + line;
        log_line(logged.c_str());
    }
    const std::string word       = next_token(line.c_str());
    const std::size_t word_start = line.find_first_not_of(' ');
    const std::size_t rest_at    = word_start + word.size() + 1;
    const char* rest             = rest_at < line.size() ? line.c_str() + rest_at : "";
    // The threads of the last search may still be leaving; only "isready" is answered before
    // they have.
    if (word != "isready")
        join_search_threads();
    if (word == "uci")
        uci_identify();
    else if (word == "isready")
        print_line("readyok");
    else if (word == "setoption")
        uci_setoption(rest);
    else if (word == "debug")
        cmd_logging = 1;
    else if (word == "ucinewgame")
        uci_new_game();
    else if (word == "position")
        uci_position(rest);
    else if (word == "ponderhit") {
        if (search_control.mode == MODE_PONDERING)
            search_control.mode = MODE_SEARCHING;
    } else if (word == "stop") {
        if (search_control.mode != MODE_IDLE)
            search_control.stop = 1;
    } else if (word == "go") {
        uci_go(rest);
    } else if (word == "_show") {
        show_selectivity();
    } else if (word == "quit") {
        stop_running_search();
        run_settings.quit = 1;
    }
}

} // namespace

int play_move_list(const char* moves) {
    int made      = 0;
    const char* p = moves;
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        char word[MOVE_WORD_CHARS + 1];
        int len = 0;
        while (*p && *p != ' ') {
            if (len < MOVE_WORD_CHARS)
                word[len++] = *p;
            ++p;
        }
        word[len]     = 0;
        Position& pos = main_thread->board.pos;
        if (main_thread->board.game_ply >= MAX_GAME_PLY) {
            print_format("info string move list too long, stopped at %s", word);
            break;
        }
        const Move move = find_legal_move(pos, parse_coord_move(pos, word));
        if (move == NULL_MOVE) {
            print_format("info string illegal move %s", word);
            break;
        }
        make_game_move(pos, move);
        ++made;
    }
    return made;
}

void uci_position(const char* rest) {
    std::string text(rest);
    std::string moves;
    const std::size_t m = text.find("moves");
    if (m != std::string::npos) {
        moves = text.substr(m + 5);
        text  = text.substr(0, m == 0 ? 0 : m - 1);
    }
    if (text.find("startpos") != std::string::npos) {
        parse_fen(main_thread->board.pos, START_FEN);
    } else if (const std::size_t f = text.find("fen"); f != std::string::npos) {
        std::size_t start = f + 3;
        while (start < text.size() && text[start] == ' ')
            ++start;
        if (!set_game_fen(text.c_str() + start))
            return;
    } else {
        return;
    }
    if (m != std::string::npos)
        play_move_list(moves.c_str());
    main_thread->board.undo[main_thread->board.game_ply].move = 0;
}

void dispatch_line(const std::string& line) {
    const std::string cut = line.substr(0, line.find('\n'));
    if (cut.find_first_not_of(' ') == std::string::npos)
        return;
    if (run_settings.protocol_mode == PROTOCOL_UCI)
        dispatch_uci(cut);
    else
        dispatch_console(cut);
}

void poll_and_dispatch() {
    std::string line;
    if (poll_input(line))
        dispatch_line(line);
}

namespace {

// Reports a finished search: the final line and "bestmove", or the console report.
void report_search() {
    const Position& pos = main_thread->board.pos;
    print_final_line();
    const std::string best = move_to_coord(pos, pos.side, search_results.pv[1], run_move_style());
    const std::string reply =
        move_to_coord(pos, pos.side ^ 1, search_results.pv[2], run_move_style());
    if (run_settings.protocol_mode == PROTOCOL_UCI) {
        if (search_results.pv[2])
            print_format("bestmove %s ponder %s", best.c_str(), reply.c_str());
        else
            print_format("bestmove %s", best.c_str());
    } else {
        print_search_report();
    }
    // The search has finished. A GUI may ask "isready" at once, so its threads are joined only
    // when the next command needs them gone; the console plays on at once and joins them now.
    if (run_settings.protocol_mode == PROTOCOL_UCI) {
        release_search();
    } else {
        wait_for_search();
        console_after_search();
    }
}

} // namespace

namespace {

// Longest sleeps of the front end between its looks at the clock, while a search runs and
// while none does. Input and the end of a search wake it at once, so that it spends almost no
// processor time: with more busy threads than cores, a thread that keeps waking to look falls
// behind its share and waits long for its turn.
constexpr int SEARCH_WAIT_MS = 1;
constexpr int IDLE_WAIT_MS   = 50;

} // namespace

bool main_loop_turn() {
    SearchState& s = search_state;
    clock_update();
    time_check();
    const int mode = search_control.mode;
    if (mode == MODE_REQUESTED || mode == MODE_PONDER_REQ) {
        search_setup(game_limits);
        search_results.pv[1] = search_results.pv[2] = 0;
        s.book_move                                 = 0;
        if (mode == MODE_REQUESTED && live_options.OwnBook) {
            const Move book = book_move_for_game(main_thread->board.pos);
            if (book) {
                search_results.pv[1] = s.book_move = book;
                search_results.best_score          = 0;
                search_control.stop                = 1;
            }
        }
        const int running = mode == MODE_REQUESTED ? MODE_SEARCHING : MODE_PONDERING;
        if (main_thread->board.pos.rule50 > 100 || search_results.pv[1]) {
            search_control.mode = static_cast<std::uint8_t>(MODE_FINISHED | running);
        } else if (!start_search(running)) {
            end_on_thread_failure(THREAD_START_FAILED);
        }
    }
    const int now = search_control.mode;
    if (now != MODE_IDLE && !(now & MODE_FINISHED)) {
        // Commands wait while the search gets going or winds down; the master's finish ends
        // the wait at once.
        if (s.elapsed < 0.015 || search_control.stop) {
            platform_wait_input(SEARCH_WAIT_MS, false);
            return false;
        }
    } else if (now & MODE_FINISHED) {
        report_search();
    }
    return true;
}

void main_loop() {
    platform_favour_latency();
    while (!run_settings.quit) {
        if (!main_loop_turn())
            continue;
        if (!input_line_waiting())
            platform_wait_input(search_control.mode == MODE_IDLE ? IDLE_WAIT_MS : SEARCH_WAIT_MS,
                                true);
        poll_and_dispatch();
    }
}

} // namespace tarn
