#include "frontend/console.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "book/book.h"
#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "core/perft.h"
#include "core/platform.h"
#include "core/see.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "frontend/engine_options.h"
#include "frontend/game_record.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "frontend/uci.h"
#include "search/picker.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace tarn {

namespace {

constexpr int CONSOLE_WORDS      = 10;
constexpr int CONSOLE_WORD_CHARS = 127;

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (static_cast<int>(words.size()) < CONSOLE_WORDS && in >> w)
        words.push_back(w.substr(0, CONSOLE_WORD_CHARS));
    words.resize(CONSOLE_WORDS);
    return words;
}

std::uint32_t play_flag      = 0; // "mv": the engine plays its moves on the game
std::uint32_t self_play_flag = 0; // "self": the engine plays both sides

Position& game() {
    return main_thread->board.pos;
}

// Share of the 1000 entries around the middle of the table written by this search.
double hash_fill_percent() {
    if (!transposition_table.words || transposition_table.entry_count < 3000)
        return 0.0;
    tt_hashfull();
    return transposition_table.hashfull * 100.0;
}

void start_console_search() {
    search_control.mode = MODE_REQUESTED;
}

void console_analyse(const std::string& depth_word) {
    SearchLimits& limits = game_limits;
    limits.max_depth     = MAX_DEPTH;
    limits.time_mode     = TIME_FIXED_MOVE;
    limits.move_time     = 99999.0;
    live_options.OwnBook = 0;
    const int depth      = static_cast<int>(std::strtol(depth_word.c_str(), nullptr, 10));
    if (depth >= 1 && depth <= 65)
        limits.max_depth = depth;
    if (search_state.use_hash == 1)
        tt_clear();
    start_console_search();
}

void console_fen(const std::string& line) {
    std::size_t start = line.find("fen") + 3;
    while (start < line.size() && line[start] == ' ')
        ++start;
    if (set_game_fen(line.c_str() + std::min(start, line.size())))
        show_board(game());
}

// The evaluation display: the last move, a depth-0 search, then the evaluators' details.
// The network's view of the thread's position: which network, its score, and the values
// behind it (output bucket, win probability, material phase, active inputs).
void show_network_evaluation(ThreadData& td) {
    if (!nn_ready()) {
        print_line("network: none loaded");
        return;
    }
    const int score =
        nn_evaluate(td.board.pos, td.eval, 1); // ply 1: never a cache hit, sums afresh
    const NnThreadState& nn = td.eval.nn;
    print_format("network: %s, %d inputs, %d hidden, %d buckets", live_options.NN_File,
                 network.inputs_total, network.hidden1, network.n_buckets);
    if (score == NN_NO_STATE) {
        print_line("network: no memory for its state");
        return;
    }
    print_format("nn= %d, probability= %0.4f, bucket= %d, phase= %0.2f, features= %d", score,
                 static_cast<double>(nn_probability(nn.last_sum, network.hidden1)), nn.bucket,
                 static_cast<double>(nn.phase), nn.count);
}

void show_evaluation() {
    const Position& pos = game();
    if (main_thread->board.last_move) {
        const Move last = main_thread->board.last_move;
        print_direct("last move was ");
        print_direct(pos.side == BLACK ? "%d. %s%s\n" : "%d... %s%s\n",
                     (main_thread->board.game_ply + 1) / 2, SQUARE_NAMES[move_from(last)],
                     SQUARE_NAMES[move_to(last)]);
    }
    // A depth-0 search gives the quiescence line the evaluators are shown at.
    SearchLimits limits = game_limits;
    limits.max_depth    = 0;
    const float noise   = run_settings.noise;
    run_settings.noise  = NOISE_SILENT;
    if (!search_on_this_thread(limits))
        return;
    run_settings.noise = noise;
    ThreadData& td     = *thread_records[0];
    if (run_settings.use_nn)
        show_network_evaluation(td);
    hce_evaluate_traced(td.board.pos, td.eval, td.board.pos.side, TRACE_TERMS,
                        search_results.root_qsearch);
}

void show_board_with_eval() {
    if (run_settings.eval_debug)
        show_evaluation();
    show_board(game());
}

void take_back() {
    if (game_take_back())
        show_board_with_eval();
}

void replay_kept_move() {
    const Move kept = main_thread->board.undo[main_thread->board.game_ply].move;
    const int ply   = main_thread->board.game_ply;
    const int side  = game().side;
    const std::string text =
        kept ? move_to_coord(game(), side, find_legal_move(game(), kept), run_move_style())
             : std::string();
    if (game_replay_kept() == NULL_MOVE)
        return;
    print_format("%d%s move %s", ply / 2 + 1, side == WHITE ? "." : "...", text.c_str());
    show_board_with_eval();
}

// Seconds of a "level" time word: seconds, or minutes and seconds as "m:s".
double level_seconds(const std::string& word) {
    const std::size_t colon = word.find(':');
    if (colon == std::string::npos)
        return std::strtod(word.c_str(), nullptr);
    return 60.0 * std::strtod(word.substr(0, colon).c_str(), nullptr) +
           std::strtod(word.c_str() + colon + 1, nullptr);
}

void console_set(const std::vector<std::string>& w) {
    SearchState& s         = search_state;
    SearchLimits& limits   = game_limits;
    EngineOptions& o       = live_options;
    const std::string name = w[1].substr(0, 31);
    const int value        = static_cast<int>(std::strtol(w[2].c_str(), nullptr, 10));
    const auto store       = [&](std::int16_t& field) {
        field = static_cast<std::int16_t>(value);
        print_format("%s set to %d", name.c_str(), value);
    };
    if (name == "hash") {
        s.use_hash = value;
    } else if (name == "noise") {
        run_settings.noise = static_cast<float>(std::strtod(w[2].c_str(), nullptr));
    } else if (name.find("multipv") != std::string::npos) {
        o.MultiPV = static_cast<std::int16_t>(value);
    } else if (name == "debug") {
        run_settings.eval_debug = static_cast<std::uint8_t>(value);
    } else if (name == "frc") {
        run_settings.chess960 = static_cast<std::uint8_t>(value);
    } else if (name == "level") {
        limits.time_mode    = value;
        const double t      = level_seconds(w[3]);
        limits.move_time    = t;
        limits.increment    = std::strtod(w[4].c_str(), nullptr);
        limits.clock[WHITE] = limits.clock[BLACK] = t;
        print_format("set level to %d moves in %0.2f seconds, inc %0.2f", value, t,
                     limits.increment);
    } else if (name == "depth") {
        limits.max_depth = search_depth_limit(value);
    } else if (name == "nodes") {
        const long long n = std::strtoll(w[2].c_str(), nullptr, 10);
        limits.node_limit = n > 0 ? static_cast<std::uint64_t>(n) : 0;
        limits.max_depth  = MAX_DEPTH;
    } else if (name == "target_nps") {
        s.target_nps        = std::strtod(w[2].c_str(), nullptr);
        o.UCI_LimitStrength = 1;
        o.UCI_Elo =
            static_cast<std::int16_t>(std::min(32767.0, elo_of_nps(std::max(s.target_nps, 16.0))));
        print_format("target_nps set to %.0f", s.target_nps);
    } else if (name == "ss") {
        if (value == 1) {
            live_options = saved_options;
            print_line("set default personality");
        } else {
            o.NMP_depth = 99;
            o.SEP_depth = 0;
            o.LMP_depth = 0;
            o.LMR_depth = 99;
            print_line("selectivity set to OFF");
        }
    } else if (name == "NMP_depth") {
        store(o.NMP_depth);
    } else if (name == "SEP_depth") {
        store(o.SEP_depth);
    } else if (name == "FP_depth") {
        store(o.FP_depth);
    } else if (name == "LMP_depth") {
        store(o.LMP_depth);
    } else if (name == "LMR_depth") {
        store(o.LMR_depth);
    } else if (name == "Selectivity") {
        store(o.Selectivity);
    } else if (name == "ponder") {
        store(o.Ponder);
    }
}

void console_move(const std::string& text) {
    if (main_thread->board.game_ply >= MAX_GAME_PLY) {
        print_line("info string game too long");
        return;
    }
    Move move = NULL_MOVE;
    if (!parse_move(game(), text.c_str(), move, run_move_style())) {
        print_direct("invalid: %s%s\n", SQUARE_NAMES[move_from(move)], SQUARE_NAMES[move_to(move)]);
        return;
    }
    print_format("%d. move %s", main_thread->board.game_ply / 2 + 1, text.c_str());
    game_play(move);
    // A new move starts a new line: moves taken back from the old one are not replayed.
    main_thread->board.undo[main_thread->board.game_ply].move = 0;
    show_board_with_eval();
}

void console_perft(const std::string& arg) {
    int depth = static_cast<int>(std::strtol(arg.c_str(), nullptr, 10));
    depth     = std::clamp(depth, 0, PERFT_MAX_DEPTH);
    // Prepared as a search is, so the position lines of a search come first.
    search_setup(game_limits);
    search_state.start_time = platform_now();
    const double nodes      = static_cast<double>(perft_through_picker(*main_thread, depth));
    const double elapsed    = platform_now() - search_state.start_time + 0.0001;
    print_format("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, elapsed,
                 nodes / (elapsed + 0.001));
}

void console_swap() {
    for (int sq = 0; sq < 64; ++sq) {
        const int code = game().board[sq];
        if (!code)
            continue;
        const int c = colour_of(code) ^ 1;
        if (attacked(game(), sq, c))
            print_direct("sq= %s, swap1= %4d\n", SQUARE_NAMES[sq], see(game(), c, NO_SQUARE, sq));
    }
}

} // namespace

void print_search_report() {
    const SearchState& s = search_state;
    const Position& pos  = game();
    const double nodes   = static_cast<double>(search_results.nodes);
    print_format("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f",
                 move_to_coord(pos, pos.side, search_results.pv[1], run_move_style()).c_str(),
                 s.elapsed.load(), search_results.best_score.load(), nodes,
                 nodes / (s.elapsed + 0.001) / 1000, branching_factor());
    const auto rate = [](std::uint64_t hits, std::uint64_t probes) {
        return 100.0 * static_cast<double>(hits) / static_cast<double>(probes + 1);
    };
    print_format("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, "
                 "TB=%0.0fK",
                 hash_fill_percent(), rate(search_results.tt_hits, search_results.tt_probes),
                 rate(search_results.pawn_hits, search_results.pawn_probes),
                 rate(search_results.eval_hits, search_results.eval_probes),
                 static_cast<double>(search_results.tbhits) / 1000);
    print_line("");
}

void console_after_search() {
    if (!play_flag && !self_play_flag)
        return;
    const int side = game().side;
    game_limits.clock[side] += game_limits.increment - search_state.elapsed;
    const Move move = search_results.pv[1];
    if (move == NULL_MOVE || main_thread->board.game_ply >= MAX_GAME_PLY) {
        play_flag = self_play_flag = 0;
        return;
    }
    game_play(move);
    show_board(game());
    if (self_play_flag)
        start_console_search();
}

void dispatch_console(const std::string& line) {
    const std::vector<std::string> w = split_words(line);
    const std::string& cmd           = w[0];
    if (cmd.empty())
        return;
    if (search_control.mode != MODE_IDLE && cmd != "quit" && cmd != ".")
        return;
    if (cmd == "quit") {
        if (search_control.mode != MODE_IDLE) {
            search_control.stop = 1;
            wait_for_search();
        }
        run_settings.quit = 1;
    } else if (cmd == ".") {
        search_control.stop = 1;
    } else if (cmd == "uci") {
        run_settings.protocol_mode = PROTOCOL_UCI;
        dispatch_line(line);
    } else if (cmd == "new") {
        parse_fen(game(), START_FEN);
        game_limits.clock[0] = game_limits.clock[1] = game_limits.move_time;
        show_board(game());
    } else if (cmd == "fen") {
        console_fen(line);
    } else if (cmd == "mv") {
        play_flag            = 1;
        live_options.OwnBook = 1;
        start_console_search();
    } else if (cmd == "go" || cmd == "an") {
        console_analyse(w[1]);
    } else if (cmd == "self") {
        self_play_flag      = 1;
        live_options.Ponder = 0;
        start_console_search();
    } else if (cmd == "lmr") {
        show_selectivity();
    } else if (cmd == "bd") {
        show_board_with_eval();
    } else if (cmd == "get") {
        get_epd(w[1]);
    } else if (cmd == "pv") {
        show_table_pv();
    } else if (cmd == "trace") {
        // accepted; the search trace is chosen with "tag"
    } else if (cmd == "ev") {
        show_evaluation();
    } else if (cmd == "sp") {
        hce_evaluate_traced(main_thread->board.pos, main_thread->eval, game().side, TRACE_PARAMS,
                            search_results.root_qsearch);
    } else if (cmd == "undo" || cmd == "[") {
        take_back();
    } else if (cmd == "]") {
        replay_kept_move();
    } else if (cmd == "load") {
        load_game(w[1], w[2]);
    } else if (cmd == "save") {
        save_game();
    } else if (cmd == "jump") {
        jump_to(static_cast<int>(std::strtol(w[1].c_str(), nullptr, 10)));
    } else if (cmd == "edit") {
        edit_position();
    } else if (cmd == "tag") {
        run_settings.tag_key = game().key;
    } else if (cmd == "book") {
        book_show_candidates(game());
    } else if (cmd == "perft") {
        console_perft(w[1]);
    } else if (cmd == "swap") {
        console_swap();
    } else if (cmd == "set") {
        console_set(w);
    } else if (cmd == "move") {
        console_move(w[1]);
    } else {
        console_move(cmd);
    }
}

} // namespace tarn
