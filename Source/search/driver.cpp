#include "search/driver.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/random.h"
#include "core/score.h"
#include "core/see.h"
#include "eval/evaluate.h"
#include "frontend/run_settings.h"
#include "search/info_line.h"
#include "search/picker.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn {

namespace {

// Guards SearchResults.nodes_by_depth, to which every thread adds its nodes of an iteration.
std::mutex counters_lock;

constexpr int MAX_ITERATION      = 68;
constexpr int GAME_PLY_HORIZON   = 883;
constexpr int ROOT_SEARCHED_BASE = -11000;
constexpr int ASPIRATION_OPEN    = 5001;

// The tablebase step of the root.
constexpr int TB_MOVE_RULE50 = 10; // fifty-move counter from which the table move is played
constexpr int TB_MOVE_DEPTH  = 99; // depth shown for a table move
constexpr int TB_ROOT_WIN    = TB_WIN_SCORE - 1; // root score of a table win for the side to move
constexpr int TB_ROOT_LOSS   = -TB_WIN_SCORE;    // and of a table loss

// Perturbation generator of the secondary threads' root order; the threads share it without
// a lock, and a lost update only changes the perturbation.
std::atomic<std::uint32_t> perturb_z{1}, perturb_w{1};

// Root list entries from `first` to the terminator.
MoveEntry* list_end(MoveEntry* first) {
    while (first->move != END_OF_LIST)
        ++first;
    return first;
}

// Legal root moves in generation order, scored for ordering. Returns the entry count.
int build_root_list(ThreadData& td) {
    Position& pos    = td.board.pos;
    MoveEntry* first = gen_all(pos);
    MoveEntry* out   = first;
    for (MoveEntry* e = first; e->move != END_OF_LIST; ++e) {
        if (!e->move || !is_legal(pos, pos.side, e->move))
            continue;
        MoveEntry m = *e;
        if (m.captured) {
            m.score = static_cast<std::int16_t>(
                see(pos, pos.side, move_from(m.move), move_to(m.move)) < -50
                    ? type_of(m.captured) + 4
                    : capture_score(m.captured) - type_of(m.piece));
        } else {
            m.score = static_cast<std::int16_t>(td.history[m.piece][move_to(m.move)] / 256 +
                                                (move_flags(m.move) ? 60 : 0));
        }
        *out++ = m;
    }
    terminate_list(td.board, out);
    return static_cast<int>(out - first);
}

void publish(ThreadData& td, int depth) {
    if (td.root_pv[1] != search_results.pv[1])
        search_results.change_depth = depth;
    search_results.best_score = td.root_score.load();
    search_results.best_depth = depth;
    std::memcpy(search_results.pv, td.root_pv, sizeof search_results.pv);
    if (depth < DEPTH_SLOTS) {
        search_results.score_by_depth[depth] = static_cast<std::int16_t>(td.root_score.load());
        search_results.move_by_depth[depth]  = search_results.pv[1];
    }
}

// One pass over the root moves of a line with the window (alpha, beta). Returns best.
int root_pass(ThreadData& td, MoveEntry* first, int line, int depth, int alpha, int beta,
              bool in_check) {
    SearchState& s    = search_state;
    Position& pos     = td.board.pos;
    const int side    = pos.side;
    const int alpha0  = alpha;
    const bool master = td.thread_id == 0;
    SearchFrame& f    = td.frames[1];
    PlyFrame& list    = td.board.frames[1];
    int best          = -INFINITY_SCORE;
    Move child_pv[PV_LENGTH];
    for (MoveEntry* at = first; at->move != END_OF_LIST; ++at) {
        MoveEntry* pick = at;
        for (MoveEntry* e = at + 1; e->move != END_OF_LIST; ++e)
            if (e->score > pick->score)
                pick = e;
        std::swap(*at, *pick);
        MoveEntry& entry = *at;
        const Move m     = entry.move;
        list.cursor      = at;
        const int cls    = move_class(pos, entry);
        f.move_class     = static_cast<std::uint16_t>(cls);
        entry.score      = static_cast<std::int16_t>(ROOT_SEARCHED_BASE - f.move_count);

        if (master && line == 0)
            print_root_move(f.move_count, m);
        // Root reduction of late quiet moves once a good line exists.
        int search_depth = depth;
        if (master && depth >= 4 && f.move_count >= 5 && !in_check && !(cls & CLASS_TACTICAL) &&
            search_results.score_by_depth[depth - 1] - 49 <= best && alpha0 < best &&
            best >= -MATE_BOUND && pos.piece_material[side] >= 1 &&
            (pos.material_sig[side] & 15) >= 1)
            search_depth = depth - 1;

        make_move(pos, m);
        int score;
        if (f.move_count > 0 && !(depth < 2 && s.target_nps > 1000)) {
            score = -node_search(td, side ^ 1, 2, search_depth - 1, -alpha - 1, -alpha, NODE_CUT,
                                 child_pv);
            if (score > alpha && !search_control.stop) {
                score = -node_search(td, side ^ 1, 2, depth - 1, -beta, -alpha, NODE_PV, child_pv);
                if (score > alpha0)
                    entry.score = static_cast<std::int16_t>(score);
            }
        } else {
            score = -node_search(td, side ^ 1, 2, depth - 1, -beta, -alpha, NODE_PV, child_pv);
            entry.score = static_cast<std::int16_t>(score);
        }
        unmake_move(pos);
        if (search_control.stop)
            return 0;
        f.move_count += 1;
        if (score > best) {
            td.root_score = score;
            td.root_pv[1] = m;
            for (int i = 2; i < PV_LENGTH; ++i) {
                td.root_pv[i] = child_pv[i];
                if (!child_pv[i])
                    break;
            }
            alpha              = std::max(alpha, score);
            td.best_move_depth = depth;
            best               = score;
            if (master && line == 0) {
                publish(td, depth);
                if (depth >= 2 && s.multipv == 1 && info_noise_passed() && search_results.pv[1] &&
                    run_settings.noise != NOISE_SILENT)
                    print_pv_line(0, 1, depth, search_results.best_score, search_results.pv);
            }
        }
        if (best <= alpha0) {
            td.root_fail = 1;
        } else if (best >= beta) {
            td.root_fail = 2;
            reorder_after_fail_high(first, at);
            return best;
        } else {
            td.root_fail = 0;
        }
    }
    return best;
}

// The tablebase step of thread 0: sets the root's result and scores, and returns true when
// the table move has been published and the search is over.
bool root_tablebases(ThreadData& td, const MoveEntry* first, int side) {
    SearchState& s = search_state;
    Position& pos  = td.board.pos;
    Move move      = 0;
    int dtz        = 0;
    int r          = tb_probe_root(pos, move, dtz);
    if (r == TB_NONE) {
        move = 0;
        r    = tb_probe_node(pos, TB_ROOT_PROBE_DEPTH);
    }
    const int score                   = r == TB_WIN ? TB_ROOT_WIN : r == TB_LOSS ? TB_ROOT_LOSS : 0;
    search_results.root_tb_result     = r;
    search_results.tb_score[side]     = static_cast<std::int16_t>(score);
    search_results.tb_score[side ^ 1] = static_cast<std::int16_t>(-score);
    search_results.tb_move            = move;
    bool legal                        = false;
    for (const MoveEntry* e = first; e->move != END_OF_LIST; ++e)
        legal |= move && e->move == move;
    if (!legal || pos.rule50 < TB_MOVE_RULE50)
        return false;
    td.tbhits += 1;
    td.root_pv[1]      = move;
    td.root_pv[2]      = 0;
    td.root_score      = score;
    td.best_move_depth = TB_MOVE_DEPTH;
    td.seldepth        = TB_MOVE_DEPTH;
    publish(td, TB_MOVE_DEPTH);
    if (s.multipv == 1 && info_noise_passed() && run_settings.noise != NOISE_SILENT)
        print_pv_line(0, 1, TB_MOVE_DEPTH, search_results.best_score, search_results.pv);
    search_control.stop = 1;
    return true;
}

} // namespace

void reorder_after_fail_high(MoveEntry* first, MoveEntry* failing) {
    // The sorted part ends at the failing move's place in the list, wherever the sorting
    // carries the move itself.
    const MoveEntry* last_sorted = failing;
    const int s                  = failing->score;
    for (MoveEntry* at = first; at->move != END_OF_LIST; ++at) {
        if (at <= last_sorted) {
            MoveEntry* best = at;
            for (MoveEntry* e = at + 1; e->move != END_OF_LIST; ++e)
                if (e->score > best->score)
                    best = e;
            std::swap(*at, *best);
        } else {
            at->score = static_cast<std::int16_t>(s - 1);
        }
    }
}

void search_driver(int t) {
    SearchState& s        = search_state;
    ThreadData& td        = *thread_records[t];
    Position& pos         = td.board.pos;
    const int side        = pos.side;
    const bool master     = t == 0;
    Move qs_pv[PV_LENGTH] = {};

    // Step 1. Fresh ordering tables.
    ordering_reset(td);
    // Step 2. Frame 1 and the root evaluation.
    SearchFrame& f1          = td.frames[1];
    const int checker        = checker_of(pos, side);
    const bool in_check      = checker != NO_SQUARE;
    f1.in_check              = in_check;
    f1.alpha                 = -INFINITY_SCORE;
    f1.beta                  = INFINITY_SCORE;
    f1.node_type             = NODE_PV;
    f1.checker               = NO_SQUARE;
    f1.hash_move             = 0;
    f1.tb_result             = TB_NONE;
    td.seed                  = static_cast<std::uint32_t>(std::rand());
    const int root_eval      = evaluate(pos, td.eval, side, 1, in_check);
    td.root_static_eval      = static_cast<std::int16_t>(root_eval);
    td.root_score            = root_eval;
    f1.static_eval           = static_cast<std::int16_t>(root_eval);
    td.frames[0].static_eval = static_cast<std::int16_t>(-root_eval);
    // Step 3. Thread 0: selectivity tables, root values.
    if (master) {
        selectivity_init();
        search_results.root_eval = search_results.root_qsearch = root_eval;
        search_results.best_score                              = root_eval;
        if (!in_check && !s.throttle_on) {
            search_results.root_qsearch =
                qsearch(td, side, 1, 0, -INFINITY_SCORE, INFINITY_SCORE, NODE_PV, td.root_pv);
            std::memcpy(qs_pv, td.root_pv, sizeof qs_pv);
        }
        search_results.root_tb_result = TB_NONE;
    }
    // Step 4. No legal move: mate or stalemate.
    MoveEntry* first = td.board.frames[1].list_start;
    const int count  = build_root_list(td);
    if (count == 0) {
        td.root_score      = in_check ? mated_at(1) : 0;
        td.best_move_depth = 1;
        if (master) {
            search_results.best_score = td.root_score.load();
            search_results.best_depth = 1;
            if (td.root_pv[1] != search_results.pv[1])
                search_results.change_depth = 1;
            std::memcpy(search_results.pv, td.root_pv, sizeof search_results.pv);
            search_control.stop = 1;
        }
        return;
    }
    // Step 5. Depth 0: the quiescence line (the console's evaluation asks for it); secondary
    // threads have nothing to add to it.
    if (s.limits.max_depth < 1) {
        if (master) {
            if (s.limits.max_depth == 0 && !in_check)
                std::memcpy(search_results.pv, qs_pv, sizeof search_results.pv);
            search_control.stop = 1;
        }
        return;
    }
    if (master)
        search_results.single_reply = count == 1;
    // Step 7. Thread 0: the tablebases give the root's result and may name the move, which is
    // played without a search once the fifty-move counter makes the fastest win matter.
    if (master && root_tablebases(td, first, side))
        return;
    // Step 8. Secondary threads have nothing to add to a root the tables have decided.
    if (!master && search_results.root_tb_result != TB_NONE)
        return;

    // Step 9. Iterative deepening.
    f1.tb_result = search_results.root_tb_result;
    for (int depth = 1; depth <= MAX_ITERATION;) {
        if (master) {
            search_results.iteration_depth = depth;
            if (depth == 2)
                release_helpers();
        } else {
            if (depth > 5 && depth < s.limits.max_depth && s.multipv == 1) {
                int at_depth = 0;
                for (int i = 0; i < s.threads; ++i)
                    if (thread_records[i] && thread_records[i]->iteration_depth >= depth)
                        ++at_depth;
                const int q = (s.threads + 14) / 4;
                if (at_depth >= q)
                    depth += 1;
                if (at_depth >= 3 * q)
                    depth += 1;
            }
            depth = std::max(depth, search_results.iteration_depth.load());
            depth = std::max(1, std::min(depth, s.limits.max_depth));
            for (MoveEntry* e = first + 1; e->move != END_OF_LIST; ++e) {
                MwcState r{perturb_z.load(std::memory_order_relaxed),
                           perturb_w.load(std::memory_order_relaxed)};
                td.seed += mwc_next(r);
                perturb_z.store(r.z, std::memory_order_relaxed);
                perturb_w.store(r.w, std::memory_order_relaxed);
                e->score = static_cast<std::int16_t>(e->score - static_cast<int>(td.seed & 15));
            }
        }
        td.iteration_depth = depth;

        const int lines = s.multipv;
        for (int line = 0; line < lines && line < count; ++line) {
            MoveEntry* start = first + line;
            td.root_fail     = 0;
            const int rs     = td.root_score;
            int width        = std::abs(rs) / 16 + 25;
            if (depth < 6)
                width += (6 - depth) * 10;
            int alpha = depth < 2 ? -INFINITY_SCORE : rs - width;
            int beta  = depth < 2 ? INFINITY_SCORE : rs + width;
            for (;;) {
                if (alpha <= -ASPIRATION_OPEN)
                    alpha = -INFINITY_SCORE;
                if (beta >= ASPIRATION_OPEN)
                    beta = INFINITY_SCORE;
                f1.checker     = static_cast<std::uint8_t>(checker);
                f1.in_check    = in_check;
                f1.depth       = static_cast<std::int16_t>(depth);
                f1.move_count  = 0;
                const int best = root_pass(td, start, line, depth, alpha, beta, in_check);
                if (search_control.stop || (alpha < best && best < beta))
                    break;
                if (best <= alpha)
                    alpha -= width;
                if (best >= beta)
                    beta += width;
                width *= 2;
            }
            if (!search_control.stop)
                std::stable_sort(
                    start, list_end(start),
                    [](const MoveEntry& a, const MoveEntry& b) { return a.score > b.score; });
            if (td.nodes > td.node_limit / 4 * 3 && depth > 1)
                search_control.stop = 1;
            if (search_control.stop)
                break;
            if (s.multipv >= 2 && master && info_noise_passed() &&
                run_settings.noise != NOISE_SILENT && td.root_pv[1])
                print_pv_line(0, line + 1, depth, td.root_score, td.root_pv);
        }
        {
            std::lock_guard<std::mutex> lock(counters_lock);
            if (depth < DEPTH_SLOTS)
                search_results.nodes_by_depth[depth] += td.nodes;
        }
        if (master && !search_control.stop) {
            search_results.last_time  = s.elapsed;
            search_results.last_depth = depth;
        }
        const int rs = td.root_score;
        if (search_control.stop || rs >= -mated_at(depth + 1) || rs < mated_at(depth + 1) ||
            s.limits.max_depth <= depth || main_thread->board.game_ply + depth > GAME_PLY_HORIZON)
            break;
        depth += 1;
    }
    if (master)
        search_control.stop = 1;
}

} // namespace tarn
