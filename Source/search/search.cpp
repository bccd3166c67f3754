#include "search/search.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/platform.h"
#include "core/see.h"
#include "eval/evaluate.h"
#include "frontend/run_settings.h"
#include "search/picker.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn {

namespace {

// A helper looks whether its turn is over every 1,024 nodes (when helpers take turns).
constexpr std::uint64_t TURN_CHECK_NODES = 1023;
constexpr int COARSE_VALUE[8]            = {0, 1, 3, 3, 5, 10, 99, 0};
constexpr int EXCHANGE_THRESHOLD         = -70;
constexpr int TB_SPOILS           = 6; // child + parent result from here: the child spoils it
constexpr int QS_CHECK_GAIN       = 20000;
constexpr int QS_BARE_ENDING_GAIN = 5000;
constexpr int QS_PROMOTION_GAIN   = 1500;
constexpr int QS_RECAPTURE_DEPTH  = -3;
constexpr int SAFETY_PAWN_PUSH    = 350;

inline int pawn_count(const Position& pos, int colour) {
    return static_cast<int>(pos.material_sig[colour] & 15);
}

inline bool is_en_passant(const Position& pos, const MoveEntry& e) {
    return type_of(e.piece) == PAWN && move_to(e.move) == pos.ep_square;
}

// True when the moving piece is worth more than its victim and the exchange loses.
bool exchange_loses(const Position& pos, const MoveEntry& e) {
    if (COARSE_VALUE[type_of(e.piece)] <= COARSE_VALUE[type_of(pos.board[move_to(e.move)])] ||
        is_en_passant(pos, e))
        return false;
    return see(pos, pos.side, move_from(e.move), move_to(e.move)) < EXCHANGE_THRESHOLD;
}

// True when a, b and c lie on one line with one of them between the other two.
inline bool collinear(int a, int b, int c) {
    return (between(a, b) & bit(c)) || (between(a, c) & bit(b)) || (between(b, c) & bit(a));
}

// Squares a slider on `to` attacks that it did not attack from `from` along the same line.
Bitboard new_slider_targets(int type, int colour, int from, int to, Bitboard occ, Bitboard wanted) {
    Bitboard targets = piece_attacks(type, colour, to, occ) & wanted;
    Bitboard result  = 0;
    while (targets) {
        const int t = pop_lsb(targets);
        if (!collinear(from, to, t))
            result |= bit(t);
    }
    return result;
}

// A late quiet move escapes late-move pruning when it creates a threat.
bool creates_threat(const Position& pos, const MoveEntry& e) {
    const int side = pos.side, enemy = side ^ 1;
    const int from = move_from(e.move), to = move_to(e.move);
    const int type      = type_of(e.piece);
    const int eking     = pos.king_sq[enemy];
    const Bitboard zone = eking == NO_SQUARE ? 0 : king_attacks(eking);
    const Bitboard* p   = pos.pieces + 8 * enemy;
    const Bitboard occ  = (occupancy(pos) & ~bit(from)) | bit(to);
    switch (type) {
    case PAWN:
        return pawn_attacks(side, to) & (p[KNIGHT] | p[BISHOP] | p[ROOK] | p[QUEEN] | zone);
    case KNIGHT:
        return knight_attacks(to) & (p[ROOK] | p[QUEEN] | zone);
    case KING:
        return false;
    default:
        break;
    }
    const Bitboard majors = type == BISHOP ? p[ROOK] | p[QUEEN] : type == ROOK ? p[QUEEN] : 0;
    if (majors && new_slider_targets(type, side, from, to, occ, majors))
        return true;
    Bitboard squares      = new_slider_targets(type, side, from, to, occ, zone);
    const Bitboard others = pos.pieces[8 * side] & ~bit(from);
    while (squares)
        if (attacked_within(pos, pop_lsb(squares), side, occ, others))
            return true;
    return false;
}

// Static evaluation pruning may only cut when nothing of ours hangs beyond the margin.
bool safe_to_prune(const Position& pos, int eval, int beta) {
    const int s = pos.side, o = s ^ 1;
    const Bitboard seventh = o == WHITE ? 0x00FF000000000000ULL : 0x000000000000FF00ULL;
    const Bitboard o_pawns = pieces_of(pos, o, PAWN) & seventh;
    const Bitboard ahead   = o == WHITE ? (o_pawns << 8) : (o_pawns >> 8);
    const int count        = popcount(ahead & ~occupancy(pos));
    if (eval - SAFETY_PAWN_PUSH * count < beta)
        return false;
    Bitboard at_risk = pieces_of(pos, s, QUEEN);
    if (eval <= beta + 99)
        at_risk |= pieces_of(pos, s, PAWN);
    if (eval <= beta + 299)
        at_risk |= pieces_of(pos, s, KNIGHT) | pieces_of(pos, s, BISHOP);
    if (eval <= beta + 499)
        at_risk |= pieces_of(pos, s, ROOK);
    while (at_risk) {
        const int sq = pop_lsb(at_risk);
        if (beta > eval - see(pos, o, NO_SQUARE, sq))
            return false;
    }
    return true;
}

// Move text of the search trace.
std::string trace_move(const Position& pos, int side, Move m) {
    return move_to_coord(pos, side, m, run_move_style());
}

void print_trace(ThreadData& td, int ply) {
    static constexpr const char* TYPES[3] = {"ALL", "PV", "CUT"};
    std::printf("ply depth alpha    beta    eval type   move  red\n");
    for (int k = 1; k < ply; ++k) {
        const SearchFrame& f   = td.frames[k];
        const MoveEntry* entry = td.board.frames[k].cursor;
        const int mover        = (td.board.pos.side + (ply - k)) & 1;
        std::printf("%2d. %3d  %6d  %6d  %6d  %3s  %5s  %3d\n", k, f.depth, f.alpha, f.beta,
                    f.static_eval, TYPES[f.node_type + 1],
                    trace_move(td.board.pos, mover, entry ? entry->move : 0).c_str(), f.reduction);
    }
    std::printf("%s\n\n", board_text(td.board.pos).c_str());
    std::fflush(stdout);
}

// Strength throttle: hold the thread back while it runs faster than the target rate.
void throttle(ThreadData& td) {
    SearchState& s = search_state;
    while (s.throttle_on && search_results.iteration_depth >= 2 && !search_control.stop &&
           static_cast<double>(td.nodes) / (s.elapsed + 0.0001) > s.target_nps) {
        platform_sleep_ms(1);
        clock_update();
        time_check();
    }
}

inline void copy_pv(Move* pv, const Move* child, int ply) {
    for (int i = ply + 1; i < PV_LENGTH; ++i) {
        pv[i] = child[i];
        if (!child[i])
            break;
    }
}

// move_class with the check already decided.
int classify(const Position& pos, const MoveEntry& e, bool gives_check) {
    const int side  = pos.side;
    const int to    = move_to(e.move);
    int c           = 0;
    const bool pawn = type_of(e.piece) == PAWN;
    if (e.captured || (pawn && to == pos.ep_square))
        c |= CLASS_CAPTURE;
    if (gives_check)
        c |= CLASS_CHECK;
    if (!pawn)
        return c;
    if (move_flags(e.move))
        return c | ((e.move & PROMOTE_QUEEN) ? CLASS_QUEENING : CLASS_ADVANCE);
    if (c & CLASS_CAPTURE)
        return c; // the advance bits belong to pushes
    const int rel = side == WHITE ? rank_of(to) : 7 - rank_of(to);
    if (rel == 6)
        return c | CLASS_SEVENTH;
    if (rel == 5 && pos.board[to + PAWN_DIRECTION[side]] == 0) {
        const int f    = file_of(to);
        Bitboard files = FILE_A << f;
        if (f > 0)
            files |= FILE_A << (f - 1);
        if (f < 7)
            files |= FILE_A << (f + 1);
        const Bitboard ahead = side == WHITE ? ~Bitboard{0} << (8 * (rank_of(to) + 1))
                                             : (Bitboard{1} << (8 * rank_of(to))) - 1;
        if (!(pieces_of(pos, side ^ 1, PAWN) & files & ahead))
            c |= CLASS_ADVANCE;
    }
    return c;
}

} // namespace

bool move_gives_check(const Position& pos, Move move) {
    const int side  = pos.side;
    const int eking = pos.king_sq[side ^ 1];
    if (eking == NO_SQUARE)
        return false;
    const int from = move_from(move);
    int to         = move_to(move);
    const int code = pos.board[from];
    int type       = type_of(code);
    if (move_flags(move) && type == KING)
        to = rank_of(from) * 8 + ((move & CASTLE_KING) ? 6 : 2);
    else if (move_flags(move) && type == PAWN)
        type = promotion_type(move);
    Bitboard occ = (occupancy(pos) & ~bit(from)) | bit(to);
    if (type_of(code) == PAWN && to == pos.ep_square)
        occ &= ~bit(to - PAWN_DIRECTION[side]);
    if (type != KING && (piece_attacks(type, side, to, occ) & bit(eking)))
        return true;
    const Bitboard* p   = pos.pieces + 8 * side;
    const Bitboard diag = (p[BISHOP] | p[QUEEN]) & ~bit(from);
    const Bitboard line = (p[ROOK] | p[QUEEN]) & ~bit(from);
    return (bishop_attacks(eking, occ) & diag) || (rook_attacks(eking, occ) & line);
}

CheckSquares check_squares(const Position& pos) {
    CheckSquares cs;
    const int side  = pos.side;
    const int eking = pos.king_sq[side ^ 1];
    if (eking == NO_SQUARE)
        return cs;
    const Bitboard occ  = occupancy(pos);
    const Bitboard* p   = pos.pieces + 8 * side;
    const Bitboard diag = bishop_attacks(eking, occ), line = rook_attacks(eking, occ);
    // A slider of ours that already reaches the king (only in a set-up position) would make
    // the shortcuts below differ from the full test.
    if ((diag & (p[BISHOP] | p[QUEEN])) || (line & (p[ROOK] | p[QUEEN])))
        return cs;
    cs.direct[PAWN]   = pawn_attacks(side ^ 1, eking);
    cs.direct[KNIGHT] = knight_attacks(eking);
    cs.direct[BISHOP] = diag;
    cs.direct[ROOK]   = line;
    cs.direct[QUEEN]  = diag | line;
    Bitboard snipers  = (attack_tables.bishop_rays[eking] & (p[BISHOP] | p[QUEEN])) |
                       (attack_tables.rook_rays[eking] & (p[ROOK] | p[QUEEN]));
    while (snipers) {
        const Bitboard blockers = between(eking, pop_lsb(snipers)) & occ;
        if (blockers && !(blockers & (blockers - 1)))
            cs.discoverers |= blockers & pos.pieces[8 * side];
    }
    cs.usable = true;
    return cs;
}

bool move_gives_check(const Position& pos, const CheckSquares& checks, Move move) {
    const int from = move_from(move), to = move_to(move);
    const int type = type_of(pos.board[from]);
    if (!checks.usable || move_flags(move) || (type == PAWN && to == pos.ep_square))
        return move_gives_check(pos, move);
    if (checks.direct[type] & bit(to))
        return true;
    // A piece that uncovers a line gives check unless it stays on that line.
    const int eking = pos.king_sq[pos.side ^ 1];
    return (checks.discoverers & bit(from)) && !(between(eking, from) & bit(to)) &&
           !(between(eking, to) & bit(from));
}

int move_class(const Position& pos, const MoveEntry& e) {
    return classify(pos, e, move_gives_check(pos, e.move));
}

int move_class(const Position& pos, const CheckSquares& checks, const MoveEntry& e) {
    return classify(pos, e, move_gives_check(pos, checks, e.move));
}

int node_search(ThreadData& td, int side, int ply, int depth, int alpha, int beta, int node_type,
                Move* pv) {
    Position& pos          = td.board.pos;
    SearchState& s         = search_state;
    const Selectivity& sel = selectivity;

    // Step 1-3. Count the node, hold back a limited-strength search, poll the stop flag (set
    // here too when the thread has used up its hard node limit).
    count(td.nodes);
    if (td.nodes >= td.hard_node_limit)
        search_control.stop = 1;
    if (s.throttle_on)
        throttle(td);
    if ((td.nodes.load(std::memory_order_relaxed) & TURN_CHECK_NODES) == 0)
        helper_pass_turn(td.thread_id);
    if (search_control.stop)
        return 0;
    // Step 4-5. Selective depth and the trace of a tagged position.
    if (ply > td.seldepth.load(std::memory_order_relaxed))
        td.seldepth.store(ply, std::memory_order_relaxed);
    if (run_settings.tag_key && pos.key == run_settings.tag_key)
        print_trace(td, ply);
    // Step 6. Mate-distance pruning: no line from here can beat a mate found nearer the root.
    alpha = std::max(alpha, ply - MATE_SCORE);
    beta  = std::min(beta, MATE_SCORE - 1 - ply);
    if (alpha >= beta)
        return alpha;
    // Step 7. Start loading the table window and the evaluation cache entry early.
    if (depth >= 0)
        tt_prefetch(pos.key);
    eval_cache_prefetch(pos, td.eval, side);
    // Step 8-9. The frame of this ply, and the checking piece.
    SearchFrame& f    = td.frames[ply];
    f.node_type       = static_cast<std::int16_t>(node_type);
    f.alpha           = static_cast<std::int16_t>(alpha);
    f.beta            = static_cast<std::int16_t>(beta);
    f.static_eval     = 0;
    f.move_count      = 0;
    f.hash_move       = 0;
    f.reduction       = 0;
    f.iid_active      = 0;
    f.razored         = 0;
    f.move_class      = 0;
    f.tb_result       = TB_NONE;
    SearchFrame& next = td.frames[ply + 1];
    next.killer1 = next.killer2 = next.check_killer = 0;
    pv[ply] = pv[ply + 1] = 0;
    f.checker             = static_cast<std::uint8_t>(checker_of(pos, side));
    const bool in_check   = f.checker != NO_SQUARE;
    f.in_check            = in_check;
    // Step 10. Repetition and fifty-move draws, earlier occurrences in the line included.
    if (is_draw(pos, ply))
        return 0;
    // Step 11. Deepest ply: the static value.
    if (ply > MAX_PLY)
        return in_check ? 0 : evaluate(pos, td.eval, side, ply, false);
    // Step 12. Extensions: checks, a pawn ending reached by a piece capture, and advanced
    // pawn moves near the horizon.
    const SearchFrame& parent = td.frames[ply - 1];
    int ext                   = 0;
    if (in_check)
        ext = 1;
    else if (pos.piece_material[side] == 0 && td.board.game_ply > 0 &&
             td.board.undo[td.board.game_ply - 1].captured > PAWN)
        ext = 1;
    else if (depth < 3 && (parent.move_class & CLASS_ADVANCE))
        ext = 1;
    int d   = depth + ext;
    f.depth = static_cast<std::int16_t>(d);
    // Step 13. Transposition table: a non-PV node with a deep enough entry ends here.
    bool fails_low = false, fails_high = false;
    int tt_depth = 0;
    if (d >= 0) {
        count(td.tt_probes);
        TTEntry entry;
        entry.depth = TT_MISSING_DEPTH;
        if (s.use_hash)
            tt_probe(pos, entry);
        if (entry.depth >= 0) {
            count(td.tt_hits);
            f.hash_move  = entry.move;
            const int sc = tt_score_from_entry(entry, ply, pos.rule50);
            fails_low    = entry.bound != BOUND_LOWER && sc <= alpha;
            fails_high   = entry.bound != BOUND_UPPER && sc >= beta;
            if (d <= entry.depth && node_type != NODE_PV && pos.rule50 + entry.depth <= 99) {
                if (fails_low)
                    return alpha;
                if (fails_high)
                    return beta;
            }
            tt_depth = entry.depth;
        }
    }
    // Step 14. Tablebases, probed after a zeroing move and everywhere below a node that had a
    // result. A first result ends the node; below a result, a move whose result spoils the
    // parent's is refuted at once.
    if (pos.rule50 == 0 || parent.tb_result != TB_NONE) {
        const int r = tb_probe_node(pos, d);
        f.tb_result = r;
        if (r != TB_NONE) {
            td.tbhits += 1;
            if (parent.tb_result == TB_NONE) {
                const int score = r == TB_WIN    ? TB_WIN_SCORE - ply
                                  : r == TB_LOSS ? ply - TB_WIN_SCORE - 1
                                                 : 0;
                if (score <= alpha) {
                    f.beta = static_cast<std::int16_t>(score);
                    return alpha;
                }
                f.alpha = static_cast<std::int16_t>(score);
                if (score < beta)
                    f.beta = static_cast<std::int16_t>(score);
                return score;
            }
            if (r + parent.tb_result >= TB_SPOILS)
                return beta;
        }
    }
    // Step 15. Static evaluation.
    const int eval = evaluate(pos, td.eval, side, ply, in_check);
    f.static_eval  = static_cast<std::int16_t>(eval);
    // Step 16. In check every evasion is searched, whatever the depth.
    if (in_check)
        return move_loop(td, side, ply, d, alpha, beta, true, node_type, pv);
    // Step 17. Horizon.
    if (d < 1)
        return qsearch(td, side, ply, d, alpha, beta, node_type, pv);
    // Step 18. Futility drop: far below alpha near the horizon, only captures can help.
    if (d <= sel.fp_depth && d < MARGIN_DEPTHS && eval <= alpha - sel.fp_margin[d] && !fails_high &&
        alpha <= MATE_BOUND - 1 && node_type != NODE_PV) {
        f.razored   = 1;
        const int v = qsearch(td, side, ply, d, alpha, beta, node_type, pv);
        return v < alpha ? alpha : std::min(v, beta);
    }
    // Step 19. Far above beta: static pruning and the null move in expected cut nodes.
    int iid_depth = node_type == NODE_PV ? d - 3 : d < 9 ? d - 4 : d - 5;
    if (eval >= beta + sel.bp_margin) {
        const int mb = (pawn_count(pos, side) - pawn_count(pos, side ^ 1)) * 100 +
                       (pos.piece_material[side] - pos.piece_material[side ^ 1]) * 128;
        if (mb >= beta - 150 && node_type == NODE_CUT && !fails_low &&
            pos.piece_material[side] >= 1 && pawn_count(pos, side) >= 1 && beta >= -MATE_BOUND) {
            if (d <= sel.sep_depth && d < MARGIN_DEPTHS && eval >= beta + sel.sep_margin[d] &&
                safe_to_prune(pos, eval, beta))
                return beta;
            if (d >= sel.nmp_depth && td.board.frames[ply - 1].cursor->move != NULL_MOVE &&
                td.board.frames[ply - 2].cursor->move != NULL_MOVE) {
                int r = (d > 9 && pos.piece_material[side] > 3) ? 4 : 3;
                if (d - r < 1)
                    r = d - 1;
                f.reduction  = static_cast<std::uint8_t>(r);
                f.move_count = 0;
                Move child_pv[PV_LENGTH];
                make_null(pos);
                const int v = -node_search(td, side ^ 1, ply + 1, d - r - 1, -beta, -alpha,
                                           NODE_ALL, child_pv);
                unmake_null(pos);
                f.reduction = 0;
                if (search_control.stop)
                    return 0;
                if (v >= beta) {
                    if (d <= 5)
                        return beta;
                    d -= 5;
                    f.depth = static_cast<std::int16_t>(d);
                }
            }
            iid_depth = d < 9 ? d - 4 : d - 5;
        }
    }
    // Step 20. Internal iterative deepening finds a first move to try.
    if (tt_depth < iid_depth) {
        f.iid_active = 1;
        move_loop(td, side, ply, iid_depth, alpha, beta, false, node_type, pv);
        f.iid_active = 0;
        if (search_control.stop)
            return 0;
        f.hash_move = pv[ply];
    }
    // Step 21. The moves.
    return move_loop(td, side, ply, d, alpha, beta, false, node_type, pv);
}

int move_loop(ThreadData& td, int side, int ply, int depth, int alpha, int beta, bool in_check,
              int node_type, Move* pv) {
    Position& pos          = td.board.pos;
    const Selectivity& sel = selectivity;
    SearchFrame& f         = td.frames[ply];
    const int alpha0       = alpha;
    const bool lmp_on =
        depth <= sel.lmp_depth && !in_check && !f.iid_active && node_type != NODE_PV;
    int best       = -INFINITY_SCORE;
    Move best_move = 0;
    int hash_seen  = 0;
    f.pick_stage   = PICK_NODE;
    f.move_count   = 0;
    Move child_pv[PV_LENGTH];
    const int dd = std::min(depth, LMR_SIZE - 2); // row of the reduction tables
    // Pins and check squares serve every move of the node; they are worked out when the first
    // move needs them, since many nodes end with their first move.
    Bitboard pinned = 0;
    CheckSquares checks;
    bool node_info_known = false;

    while (MoveEntry* e = next_move(td)) {
        const Move m = e->move;
        // Step a. The hash move comes first; its generated copy is skipped.
        if (m == f.hash_move && m) {
            if (++hash_seen != 1)
                continue;
        }
        if (m == NULL_MOVE)
            continue;
        // The child's table window starts loading while the move is tested and classified.
        if (depth >= 1)
            tt_prefetch(key_after(pos, m));
        if (!node_info_known) {
            pinned          = pinned_pieces(pos, side);
            checks          = check_squares(pos);
            node_info_known = true;
        }
        // Step b. Legality, tested only for the moves reached.
        if (!(f.in_check ? is_legal(pos, side, m) : is_legal_not_in_check(pos, side, m, pinned)))
            continue;
        // Step c. Classification.
        const int cls       = move_class(pos, checks, *e);
        f.move_class        = static_cast<std::uint16_t>(cls);
        f.reduction         = 0;
        const bool tactical = (cls & CLASS_TACTICAL) != 0;
        int r               = 0;
        // Step d-f. Pruning and reductions once a move has a real score.
        if (best >= -MATE_BOUND) {
            bool exchange_checked = false;
            if (lmp_on && !(tactical && depth >= 2)) {
                const int lmp_index = std::min(depth, MARGIN_DEPTHS - 1);
                if (!tactical && f.move_count >= sel.lmp_count[lmp_index] + e->score / 4 &&
                    !creates_threat(pos, *e))
                    continue;
                if (exchange_loses(pos, *e))
                    continue;
                exchange_checked = true;
            }
            if (depth >= sel.lmr_depth) {
                int column = 1;
                if (!tactical && e->score < 2 * f.move_count + 30)
                    column = std::min<int>(f.move_count, 30);
                r = node_type == NODE_PV ? sel.lmr_pv[dd][column] : sel.lmr_nonpv[dd][column];
                // A move that survived the exchange pruning above does not lose material.
                if (!exchange_checked && exchange_loses(pos, *e))
                    r += 1;
                if (dd - r < 1)
                    r = dd - 1;
                if (r < 0)
                    r = 0;
                f.reduction = static_cast<std::uint8_t>(r);
            }
        }
        // Step g. Search: the first move with the full window, later ones with a zero window
        // (reduced), re-searched when they beat alpha.
        make_move(pos, m);
        int score;
        if (f.move_count == 0 || depth < 2) {
            score =
                -node_search(td, side ^ 1, ply + 1, depth - 1, -beta, -alpha, -node_type, child_pv);
        } else {
            score = -node_search(td, side ^ 1, ply + 1, depth - r - 1, -alpha - 1, -alpha, NODE_CUT,
                                 child_pv);
            if (score > alpha) {
                f.reduction = 0;
                score       = -node_search(td, side ^ 1, ply + 1, depth - 1, -beta, -alpha,
                                     node_type == NODE_PV ? NODE_PV : NODE_ALL, child_pv);
            }
        }
        unmake_move(pos);
        // Step h. A stopped search is discarded by every caller.
        if (search_control.stop)
            return 0;
        f.move_count += 1;
        // Step j. Ordering statistics for quiet moves.
        if (e->captured == 0 && depth >= 1) {
            const bool raised = score > alpha;
            history_update(td, *e, depth, raised);
            if (raised) {
                killer_update(td, ply, m, in_check);
                counter_update(td, ply, m);
            }
        }
        // Step k. Best move and principal variation.
        if (score > best) {
            best_move   = m;
            pv[ply]     = m;
            pv[ply + 1] = 0;
            if (score <= alpha) {
                best = score;
                continue;
            }
            if (score >= beta) {
                best = score;
                break;
            }
            pv[ply] = best_move;
            if (ply + 1 < PV_LENGTH)
                copy_pv(pv, child_pv, ply);
            best  = score;
            alpha = score;
        }
    }
    int store_alpha = alpha0, store_beta = beta;
    if (best_move == 0) {
        best        = in_check ? ply - MATE_SCORE : 0;
        store_alpha = -INFINITY_SCORE;
        store_beta  = INFINITY_SCORE;
    }
    if (depth < 0)
        return best;
    tt_store(pos, ply, depth, best_move, best, store_alpha, store_beta);
    return best;
}

int qsearch(ThreadData& td, int side, int ply, int depth, int alpha, int beta, int node_type,
            Move* pv) {
    Position& pos  = td.board.pos;
    SearchFrame& f = td.frames[ply];
    // Step 1. Stand pat.
    const int stand_pat = f.static_eval;
    if (stand_pat >= beta)
        return beta;
    // Step 2. The window stays (-beta, -floor) for every move.
    f.move_count      = 0;
    const int floor   = std::max(alpha, stand_pat);
    const int margin  = depth > 0 ? 450 : 150;
    f.pick_stage      = depth >= 0 ? PICK_QS_CHECKS : PICK_QS;
    int best          = stand_pat;
    Move best_move    = 0;
    const int last_to = move_to(td.board.last_move);
    Move child_pv[PV_LENGTH];
    Bitboard pinned = 0; // with the check squares, worked out for the first move picked
    CheckSquares checks;
    bool node_info_known = false;
    // Step 3. Captures, promotions, pushes to the seventh and (at depth 0) quiet checks.
    while (MoveEntry* e = next_move(td)) {
        const Move m   = e->move;
        const int from = move_from(m), to = move_to(m);
        if (depth < QS_RECAPTURE_DEPTH && to != last_to)
            continue;
        if (!node_info_known) {
            pinned          = pinned_pieces(pos, side);
            checks          = check_squares(pos);
            node_info_known = true;
        }
        int gain = see_value[type_of(e->captured)];
        if (from != to && move_gives_check(pos, checks, m)) {
            gain = QS_CHECK_GAIN;
        } else {
            bool bare = false;
            if (e->captured) {
                const int enemy = side ^ 1;
                int pawns       = pawn_count(pos, enemy);
                int material    = pos.piece_material[enemy];
                if (type_of(e->captured) == PAWN)
                    pawns -= 1;
                else
                    material -= PIECE_MATERIAL[type_of(e->captured)];
                if (pawns == 0 && material <= 3) {
                    gain = QS_BARE_ENDING_GAIN;
                    bare = true;
                }
            }
            if (!bare && type_of(e->piece) == PAWN) {
                const int rel = side == WHITE ? rank_of(to) : 7 - rank_of(to);
                if (rel >= 6)
                    gain = QS_PROMOTION_GAIN;
            }
        }
        // Step f-g. Delta and exchange pruning.
        if (gain + stand_pat <= floor - margin)
            continue;
        if (exchange_loses(pos, *e))
            continue;
        // Step h. Legality.
        if (m == NULL_MOVE ||
            !(f.in_check ? is_legal(pos, side, m) : is_legal_not_in_check(pos, side, m, pinned)))
            continue;
        // Step i. Children go back through the node search.
        make_move(pos, m);
        const int score =
            -node_search(td, side ^ 1, ply + 1, depth - 1, -beta, -floor, -node_type, child_pv);
        unmake_move(pos);
        if (search_control.stop)
            return 0;
        f.move_count += 1;
        if (score <= best)
            continue;
        best_move   = m;
        pv[ply]     = m;
        pv[ply + 1] = 0;
        if (score >= beta) {
            best = score;
            break;
        }
        copy_pv(pv, child_pv, ply);
        best = score;
    }
    // Step 4. Fail-high results at depth 0 and above are kept as lower bounds.
    if (depth >= 0 && best >= beta)
        tt_store(pos, ply, depth, best_move, best, floor, beta);
    return best;
}

} // namespace tarn
