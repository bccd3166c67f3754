#include "search/info_line.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "core/score.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn {

namespace {

// Serialises the building and printing of info lines by the search threads.
std::mutex info_lock;

constexpr double CURRMOVE_TIME   = 3.5;
constexpr int PV_MOVES_RUNNING   = 8;
constexpr int PV_MOVES_STOPPED   = 32;
constexpr int PV_TEXT_LAST_INDEX = 66;
constexpr int FIFTY_MOVE_PLIES   = 100; // plies without capture or pawn move that draw a game

// With a table result at the root, a search score from these outward is a mate the search
// proved and is shown as it is; anything nearer 0 shows the table's own score.
constexpr int TB_SHOWN_MATE_WIN  = MATE_SHOWN_WIN - 1;
constexpr int TB_SHOWN_MATE_LOSS = -MATE_SHOWN_WIN;

std::string score_text(int score) {
    if (score >= MATE_SHOWN_WIN)
        return "mate " + std::to_string((MATE_SCORE - score) / 2);
    if (score < -MATE_SHOWN_WIN)
        return "mate -" + std::to_string((score + MATE_SCORE) / 2);
    return "cp " + std::to_string(score);
}

// Score shown for a root whose tablebase result is known.
int shown_score(int score) {
    switch (search_results.root_tb_result) {
    case TB_WIN:
        return score >= TB_SHOWN_MATE_WIN ? score : TB_WIN_SCORE;
    case TB_LOSS:
        return score <= TB_SHOWN_MATE_LOSS ? score : -TB_WIN_SCORE;
    case TB_DRAW:
        return 0;
    default:
        return score;
    }
}

// Moves of pv worth printing. A game drawn by rule after a move of the line (the fifty-move
// counter reaching 100 with a move still to play, or a repetition counted as the search
// counts it) is over, and a GUI warns about a line that goes on past it. The moves are played
// on the thread's own root position and taken back; nothing else uses that position while
// its line is printed.
int pv_moves_in_play(ThreadData& td, const Move* pv) {
    Position& pos = td.board.pos;
    int count     = 0;
    while (count < PV_TEXT_LAST_INDEX && pv[count + 1])
        ++count;
    int shown = count;
    int made  = 0;
    for (int i = 1; i < count; ++i) {
        if (td.board.game_ply + 1 >= UNDO_RECORDS || !tt_move_is_valid(pos, pv[i]))
            break;
        make_move(pos, pv[i]);
        ++made;
        if (pos.rule50 >= FIFTY_MOVE_PLIES || is_draw(pos, i + 1)) {
            shown = i;
            break;
        }
    }
    for (; made > 0; --made)
        unmake_move(pos);
    return shown;
}

} // namespace

bool info_noise_passed() {
    return search_control.stop || search_state.elapsed >= run_settings.noise;
}

void print_root_move(int move_index, Move move) {
    SearchState& s = search_state;
    if (run_settings.protocol_mode != PROTOCOL_UCI || !(s.elapsed > CURRMOVE_TIME) ||
        !(s.elapsed > run_settings.noise))
        return;
    std::lock_guard<std::mutex> lock(info_lock);
    sum_counters();
    if (move_index == 0) {
        tt_hashfull();
        const double nps = s.elapsed > 0.001 ? search_results.nodes / s.elapsed : 0.0;
        print_format("info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f",
                     search_results.iteration_depth.load(), s.elapsed * 1000,
                     static_cast<double>(search_results.nodes), nps,
                     transposition_table.hashfull * 1000.0);
    }
    if (live_options.MultiPV == 1)
        print_format("info currmove %s%s currmovenumber %d", SQUARE_NAMES[move_from(move)],
                     SQUARE_NAMES[move_to(move)], move_index + 1);
}

void print_pv_line(int thread_id, int multipv_index, int depth, int score, const Move* pv) {
    SearchState& s = search_state;
    std::lock_guard<std::mutex> lock(info_lock);
    sum_counters();
    if (depth > 6)
        tt_hashfull();
    else
        transposition_table.hashfull = 0.0f;
    score                = shown_score(score);
    ThreadData& td       = *thread_records[thread_id];
    const Position& root = td.board.pos;
    const int in_play    = pv_moves_in_play(td, pv);
    if (run_settings.protocol_mode == PROTOCOL_UCI) {
        std::string moves;
        int side = root.side;
        for (int i = 1; i <= in_play; ++i, side ^= 1) {
            if (i > 1)
                moves += ' ';
            moves += move_to_coord(root, side, pv[i], run_move_style());
        }
        const std::string multipv =
            live_options.MultiPV > 1 ? "multipv " + std::to_string(multipv_index) + " " : "";
        const double nps = s.elapsed > 0.001 ? search_results.nodes / s.elapsed : 0.0;
        print_format("info %s%sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f "
                     "tbhits %.0f hashfull %.0f pv %s",
                     multipv.c_str(), "", depth, search_results.seldepth - 1,
                     score_text(score).c_str(), s.elapsed * 1000,
                     static_cast<double>(search_results.nodes), nps,
                     static_cast<double>(search_results.tbhits),
                     transposition_table.hashfull * 1000.0, moves.c_str());
        return;
    }
    const int shown = search_control.stop ? PV_MOVES_STOPPED : PV_MOVES_RUNNING;
    std::string moves;
    int side = root.side;
    for (int i = 1; i <= shown && i <= in_play; ++i, side ^= 1) {
        if (i > 1)
            moves += (i - 1) % 8 == 0 ? "\n" + std::string(30, ' ') : " ";
        moves += move_to_coord(root, side, pv[i], run_move_style());
    }
    print_format("%02d] %02d%c %5.1f %7.0fK %5d  %s", thread_id, depth,
                 multipv_index > 1 ? '.' : ' ', s.elapsed.load(), search_results.nodes / 1000.0,
                 score, moves.c_str());
    if (thread_id == 0 && multipv_index >= std::min<int>(s.multipv, live_options.MultiPV))
        print_line("");
}

void print_final_line() {
    if (run_settings.noise >= NOISE_SILENT || (!info_noise_passed()) ||
        search_results.best_depth == 0 || !search_results.pv[1])
        return;
    if (!thread_records[0])
        return;
    print_pv_line(0, 1, search_results.best_depth, search_results.best_score, search_results.pv);
}

} // namespace tarn
