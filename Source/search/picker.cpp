#include "search/picker.h"

#include <cstring>

#include "core/attacks.h"
#include "core/movegen.h"
#include "core/perft.h"
#include "core/see.h"
#include "search/thread_data.h"

namespace tarn {

namespace {

constexpr int FACTOR_DEPTHS        = 17; // depths 16 and above share the last entry
constexpr int DECAY[FACTOR_DEPTHS] = {0,  8,  11, 14, 16, 18, 20, 21, 23,
                                      24, 25, 27, 28, 29, 30, 31, 32};
constexpr int BOOST[FACTOR_DEPTHS] = {0,  16, 23, 28, 32, 36, 39, 42, 45,
                                      48, 51, 53, 55, 58, 60, 62, 64};

// Ordering score of a capture by the captured piece code (both colours alike).
constexpr std::int16_t CAPTURE_SCORE[PIECE_CODES] = {210, 220, 230, 230, 240, 250, 0, 0,
                                                     210, 220, 230, 230, 240, 250, 0, 0};
constexpr int GOOD_TACTICAL     = 150; // STAGE_GOOD_TACTICAL hands out only entries above this
constexpr int SORTED_QUIET_MIN  = 2;   // below this the rest comes in generation order
constexpr int QUIET_CHECK_SCORE = 100;

constexpr Bitboard RANKS_3_TO_6 = 0x0000FFFFFFFF0000ULL;
constexpr Bitboard RANK_4       = 0x00000000FF000000ULL;
constexpr Bitboard RANK_5       = 0x000000FF00000000ULL;

// Score of the terminator of every list the picker selects from: above any real score, so
// the scan for the best entry meets the end only when it finds a better score.
constexpr std::int16_t TERMINATOR_SCORE = INT16_MAX;

// Ends a list for the picker's selection (see TERMINATOR_SCORE).
inline void end_list(ThreadData& td, MoveEntry* end) {
    terminate_list(td.board, end)->score = TERMINATOR_SCORE;
}

// Moves the best-scored entry between cursor and the terminator to the cursor (ties keep the
// earlier entry) and returns it; nullptr at the terminator. The list must end with end_list.
MoveEntry* select_best(MoveEntry* cursor) {
    if (cursor->move == END_OF_LIST)
        return nullptr;
    MoveEntry* best = cursor;
    int best_score  = cursor->score;
    for (MoveEntry* e = cursor + 1;; ++e) {
        if (e->score > best_score) {
            if (e->move == END_OF_LIST)
                break;
            best       = e;
            best_score = e->score;
        }
    }
    if (best != cursor) {
        const MoveEntry tmp = *cursor;
        *cursor             = *best;
        *best               = tmp;
    }
    return cursor;
}

MoveEntry* add_quiet(MoveEntry* list, const Position& pos, int from, int to) {
    list->move     = make_move_code(from, to);
    list->score    = QUIET_CHECK_SCORE;
    list->piece    = pos.board[from];
    list->captured = 0;
    return list + 1;
}

// Quiet moves that give direct check to the opponent's king.
MoveEntry* gen_quiet_checks(const Position& pos, int side, MoveEntry* list) {
    const int ksq = pos.king_sq[side ^ 1];
    if (ksq == NO_SQUARE)
        return list;
    const Bitboard occ         = occupancy(pos);
    const Bitboard empty       = ~occ;
    const int dir              = PAWN_DIRECTION[side];
    const Bitboard pawn_checks = pawn_attacks(side ^ 1, ksq) & empty;
    const Bitboard pawns       = pieces_of(pos, side, PAWN);
    const Bitboard single      = (side == WHITE ? pawns << 8 : pawns >> 8) & empty;
    const Bitboard dbl =
        (side == WHITE ? single << 8 : single >> 8) & empty & (side == WHITE ? RANK_4 : RANK_5);
    Bitboard b = single & RANKS_3_TO_6 & pawn_checks;
    while (b) {
        const int to = pop_lsb(b);
        list         = add_quiet(list, pos, to - dir, to);
    }
    b = dbl & pawn_checks;
    while (b) {
        const int to = pop_lsb(b);
        list         = add_quiet(list, pos, to - 2 * dir, to);
    }
    const Bitboard knight_checks = knight_attacks(ksq) & empty;
    const Bitboard diag_checks   = bishop_attacks(ksq, occ) & empty;
    const Bitboard line_checks   = rook_attacks(ksq, occ) & empty;
    for (int type = KNIGHT; type <= QUEEN; ++type) {
        const Bitboard checks = type == KNIGHT   ? knight_checks
                                : type == BISHOP ? diag_checks
                                : type == ROOK   ? line_checks
                                                 : diag_checks | line_checks;
        if (!checks)
            continue;
        Bitboard movers = pieces_of(pos, side, type);
        while (movers) {
            const int from       = pop_lsb(movers);
            const Bitboard reach = type == KNIGHT   ? knight_attacks(from)
                                   : type == BISHOP ? bishop_attacks(from, occ)
                                   : type == ROOK
                                       ? rook_attacks(from, occ)
                                       : bishop_attacks(from, occ) | rook_attacks(from, occ);
            Bitboard dests       = reach & checks;
            while (dests)
                list = add_quiet(list, pos, from, pop_lsb(dests));
        }
    }
    return list;
}

// The move a frame is working on, or 0 when it is the null move.
inline const MoveEntry& frame_move(const ThreadData& td, int ply) {
    return *td.board.frames[ply].cursor;
}

void score_quiets(ThreadData& td, MoveEntry* first, MoveEntry* end, int side) {
    const int ply            = td.board.search_ply;
    const SearchFrame& frame = td.frames[ply];
    Move cm1 = 0, cm2 = 0, fu = 0;
    const MoveEntry& parent = frame_move(td, ply - 1);
    if (parent.move != NULL_MOVE) {
        const int pto          = move_to(parent.move);
        cm1                    = td.counter1[parent.piece][pto];
        cm2                    = td.counter2[parent.piece][pto];
        const MoveEntry& grand = frame_move(td, ply - 2);
        if (grand.move != NULL_MOVE)
            fu = td.followup[grand.piece][move_to(grand.move)];
    }
    for (MoveEntry* e = first; e != end; ++e) {
        const Move m = e->move;
        int score    = td.history[e->piece][move_to(m)] / 256;
        if (frame.in_check) {
            score += m == frame.check_killer ? 60 : m == cm1 ? 55 : m == cm2 ? 50 : 0;
        } else if (m == frame.killer1) {
            score += 60;
        } else if (m == frame.killer2) {
            score += 55;
        } else if (m == cm1) {
            score += 50;
        } else if (m == cm2) {
            score += 45;
        } else if (m == fu) {
            score += 40;
        } else if (type_of(e->piece) == PAWN) {
            const int rank = rank_of(move_to(m));
            if ((side == WHITE ? rank : 7 - rank) >= 5)
                score += 30;
        }
        e->score = static_cast<std::int16_t>(score);
    }
}

// Perft's move source: the context is the ThreadData whose board perft walks. A perft node
// asks for every pseudo-legal move at full width, with no hash move to put first.
void begin_perft_node(void* context, int side, int ply) {
    ThreadData& td     = *static_cast<ThreadData*>(context);
    SearchFrame& frame = td.frames[ply];
    frame.checker      = static_cast<std::uint8_t>(checker_of(td.board.pos, side));
    frame.hash_move    = 0;
    frame.in_check     = frame.checker != NO_SQUARE;
    frame.pick_stage   = PICK_PERFT;
}

MoveEntry* next_move_in(void* context) {
    return next_move(*static_cast<ThreadData*>(context));
}

} // namespace

int capture_score(int captured_code) {
    return CAPTURE_SCORE[captured_code];
}

int history_decay(int depth) {
    return DECAY[depth < FACTOR_DEPTHS ? depth : FACTOR_DEPTHS - 1];
}
int history_boost(int depth) {
    return BOOST[depth < FACTOR_DEPTHS ? depth : FACTOR_DEPTHS - 1];
}

void ordering_reset(ThreadData& td) {
    for (auto& row : td.history)
        for (std::int16_t& h : row)
            h = HISTORY_START;
    std::memset(td.counter1, 0, sizeof td.counter1);
    std::memset(td.counter2, 0, sizeof td.counter2);
    std::memset(td.followup, 0, sizeof td.followup);
    for (SearchFrame& f : td.frames)
        f.hash_move = f.killer1 = f.killer2 = f.check_killer = 0;
}

MoveEntry* next_move(ThreadData& td) {
    Position& pos             = td.board.pos;
    PlyFrame& list            = current_frame(td.board); // the node's move list
    SearchFrame& frame        = td.frames[td.board.search_ply];
    const std::uint16_t flags = frame.pick_stage & ~PICK_STAGE_MASK;
    const int side            = pos.side;
    // A list that has not started has no cursor yet; the start stage sets it.
    if (frame.pick_stage & PICK_STAGE_MASK)
        ++list.cursor;
    for (;;) {
        switch (frame.pick_stage & PICK_STAGE_MASK) {
        case STAGE_START:
            list.cursor      = list.list_start;
            frame.pick_stage = flags | STAGE_GEN_TACTICAL;
            if ((flags & PICK_HASH_FIRST) && frame.hash_move) {
                MoveEntry* e = list.list_start;
                e->move      = frame.hash_move;
                e->score     = 255;
                e->piece     = pos.board[move_from(frame.hash_move)];
                e->captured  = pos.board[move_to(frame.hash_move)];
                terminate_list(td.board, e + 1);
                return e;
            }
            continue;
        case STAGE_GEN_TACTICAL: {
            const bool full  = flags & PICK_FULL_WIDTH;
            MoveEntry* first = list.cursor;
            MoveEntry* end   = gen_captures(pos, side, first, frame.checker);
            end              = gen_promotions(pos, side, end, full);
            end              = gen_seventh_pushes(pos, side, end);
            end_list(td, end);
            for (MoveEntry* e = first; e != end; ++e) {
                const int base = CAPTURE_SCORE[e->captured] - type_of(e->piece);
                if (!full) {
                    e->score = static_cast<std::int16_t>(base);
                    continue;
                }
                const int x = see(pos, side, move_from(e->move), move_to(e->move));
                e->score    = static_cast<std::int16_t>(x >= -49 ? base - (x <= 49 ? 6 : 0)
                                                                 : type_of(e->captured) + 4);
            }
            frame.pick_stage =
                flags | (full ? (first == end ? STAGE_GEN_QUIETS : STAGE_GOOD_TACTICAL)
                              : STAGE_QS_TACTICAL);
            continue;
        }
        case STAGE_QS_TACTICAL:
            if (MoveEntry* e = select_best(list.cursor))
                return e;
            frame.pick_stage = flags | STAGE_QUIET_CHECKS;
            continue;
        case STAGE_QUIET_CHECKS: {
            if (!(flags & PICK_QUIET_CHECKS))
                return nullptr;
            MoveEntry* end = gen_quiet_checks(pos, side, list.cursor);
            terminate_list(td.board, end);
            frame.pick_stage = flags | STAGE_REST;
            return list.cursor->move == END_OF_LIST ? nullptr : list.cursor;
        }
        case STAGE_GOOD_TACTICAL: {
            MoveEntry* e = select_best(list.cursor);
            if (e && e->score > GOOD_TACTICAL)
                return e;
            frame.pick_stage = flags | STAGE_GEN_QUIETS;
            continue;
        }
        case STAGE_GEN_QUIETS: {
            MoveEntry* first = list.cursor;
            while (first->move != END_OF_LIST)
                ++first;
            MoveEntry* end = gen_quiets(pos, side, first, frame.checker);
            end_list(td, end);
            if (end != first && td.board.search_ply > 1)
                score_quiets(td, first, end, side);
            frame.pick_stage = flags | STAGE_SORTED_QUIETS;
            continue;
        }
        case STAGE_SORTED_QUIETS: {
            MoveEntry* e = select_best(list.cursor);
            if (e && e->score <= SORTED_QUIET_MIN)
                frame.pick_stage = flags | STAGE_REST;
            return e;
        }
        case STAGE_REST:
            return list.cursor->move == END_OF_LIST ? nullptr : list.cursor;
        case STAGE_RESELECT_START: {
            list.cursor      = list.list_start;
            frame.pick_stage = flags | STAGE_RESELECT;
            MoveEntry* end   = list.cursor;
            while (end->move != END_OF_LIST)
                ++end;
            end->score = TERMINATOR_SCORE;
            continue;
        }
        default: // STAGE_RESELECT
            return select_best(list.cursor);
        }
    }
}

std::uint64_t perft_through_picker(ThreadData& td, int depth) {
    ordering_reset(td);
    return perft_count(td.board, MoveSource{begin_perft_node, next_move_in, &td}, depth);
}

void history_update(ThreadData& td, const MoveEntry& entry, int depth, bool raised_alpha) {
    std::int16_t& h = td.history[entry.piece][move_to(entry.move)];
    const int v     = h;
    if (raised_alpha)
        h = static_cast<std::int16_t>(v + ((HISTORY_MAX - v) * history_boost(depth)) / 1024);
    else
        h = static_cast<std::int16_t>(v - (v * history_decay(depth)) / 1024);
}

void killer_update(ThreadData& td, int ply, Move move, bool in_check) {
    SearchFrame& frame = td.frames[ply];
    if (in_check) {
        frame.check_killer = move;
    } else if (move != frame.killer1) {
        frame.killer2 = frame.killer1;
        frame.killer1 = move;
    }
}

void counter_update(ThreadData& td, int ply, Move move) {
    const MoveEntry& parent = frame_move(td, ply - 1);
    if (parent.move == NULL_MOVE)
        return;
    const int pto = move_to(parent.move);
    const Move c  = td.counter1[parent.piece][pto];
    if (move != c) {
        td.counter2[parent.piece][pto] = c;
        td.counter1[parent.piece][pto] = move;
    }
    const MoveEntry& grand = frame_move(td, ply - 2);
    if (grand.move != NULL_MOVE)
        td.followup[grand.piece][move_to(grand.move)] = move;
}

} // namespace tarn
