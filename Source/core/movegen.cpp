#include "core/movegen.h"

#include "core/attacks.h"
#include "core/thread_board.h"

namespace tarn {

namespace {

constexpr Bitboard RANKS_2_TO_7   = 0x00FFFFFFFFFFFF00ULL;
constexpr Bitboard RANKS_3_TO_6   = 0x0000FFFFFFFF0000ULL;
constexpr Bitboard RANK_4         = 0x00000000FF000000ULL;
constexpr Bitboard RANK_5         = 0x000000FF00000000ULL;
constexpr Bitboard RANK_7_OF[2]   = {0x00FF000000000000ULL, 0x000000000000FF00ULL};
constexpr Bitboard RANK_6_OF[2]   = {0x0000FF0000000000ULL, 0x0000000000FF0000ULL};
constexpr Move PROMOTION_FLAGS[4] = {PROMOTE_QUEEN, PROMOTE_KNIGHT, PROMOTE_BISHOP, PROMOTE_ROOK};

inline MoveEntry* add(MoveEntry* list, const Position& pos, int from, int to, Move flags = 0) {
    list->move     = make_move_code(from, to, flags);
    list->score    = 0;
    list->piece    = pos.board[from];
    list->captured = pos.board[to];
    return list + 1;
}

// In Chess960 the king's destination may hold the castling rook: castling captures nothing.
inline MoveEntry* add_castling(MoveEntry* list, const Position& pos, int king, int to, Move flag) {
    list              = add(list, pos, king, to, flag);
    list[-1].captured = 0;
    return list;
}

// Pawn moves by destination set: each destination came from to - delta.
inline MoveEntry* add_pawn_moves(MoveEntry* list, const Position& pos, Bitboard dests, int delta) {
    while (dests) {
        const int to = pop_lsb(dests);
        list         = add(list, pos, to - delta, to);
    }
    return list;
}

inline MoveEntry* add_four(MoveEntry* list, const Position& pos, int from, int to, int count) {
    for (int i = 0; i < count; ++i)
        list = add(list, pos, from, to, PROMOTION_FLAGS[i]);
    return list;
}

} // namespace

MoveEntry* gen_captures(const Position& pos, int colour, MoveEntry* list, int target) {
    const Bitboard enemies = pos.pieces[8 * (colour ^ 1)];
    const Bitboard occ     = occupancy(pos);
    const Bitboard targets = target == NO_SQUARE ? enemies : bit(target);
    const Bitboard pawns   = pieces_of(pos, colour, PAWN);
    Bitboard pawn_targets  = targets;
    if (pos.ep_square != NO_SQUARE)
        pawn_targets |= bit(pos.ep_square);
    pawn_targets &= RANKS_2_TO_7;
    if (colour == WHITE) {
        list = add_pawn_moves(list, pos, (pawns << 7) & ~FILE_H & pawn_targets, 7);
        list = add_pawn_moves(list, pos, (pawns << 9) & ~FILE_A & pawn_targets, 9);
    } else {
        list = add_pawn_moves(list, pos, (pawns >> 9) & ~FILE_H & pawn_targets, -9);
        list = add_pawn_moves(list, pos, (pawns >> 7) & ~FILE_A & pawn_targets, -7);
    }
    for (int type = KNIGHT; type <= QUEEN; ++type) {
        Bitboard b = pieces_of(pos, colour, type);
        while (b) {
            const int from = pop_lsb(b);
            Bitboard dests = piece_attacks(type, colour, from, occ) & targets;
            while (dests)
                list = add(list, pos, from, pop_lsb(dests));
        }
    }
    const int k = pos.king_sq[colour];
    if (k != NO_SQUARE) {
        Bitboard dests = king_attacks(k) & enemies;
        while (dests)
            list = add(list, pos, k, pop_lsb(dests));
    }
    return list;
}

MoveEntry* gen_quiets(const Position& pos, int colour, MoveEntry* list, int target) {
    const Bitboard occ   = occupancy(pos);
    const Bitboard empty = ~occ;
    const int k          = pos.king_sq[colour];
    Bitboard allowed     = empty;
    if (target != NO_SQUARE)
        allowed &= k == NO_SQUARE ? 0 : between(k, target);
    const Bitboard pawns = pieces_of(pos, colour, PAWN);
    if (colour == WHITE) {
        const Bitboard single = (pawns << 8) & empty;
        list                  = add_pawn_moves(list, pos, single & RANKS_3_TO_6 & allowed, 8);
        list = add_pawn_moves(list, pos, (single << 8) & empty & RANK_4 & allowed, 16);
    } else {
        const Bitboard single = (pawns >> 8) & empty;
        list                  = add_pawn_moves(list, pos, single & RANKS_3_TO_6 & allowed, -8);
        list = add_pawn_moves(list, pos, (single >> 8) & empty & RANK_5 & allowed, -16);
    }
    for (int type = KNIGHT; type <= QUEEN; ++type) {
        Bitboard b = pieces_of(pos, colour, type);
        while (b) {
            const int from = pop_lsb(b);
            Bitboard dests = piece_attacks(type, colour, from, occ) & allowed;
            while (dests)
                list = add(list, pos, from, pop_lsb(dests));
        }
    }
    if (k == NO_SQUARE)
        return list;
    Bitboard dests = king_attacks(k) & empty;
    while (dests)
        list = add(list, pos, k, pop_lsb(dests));
    const int base = rank_of(k) * 8;
    if ((pos.castle_rights & (1 << (2 * colour))) && !(pos.castle_path[2 * colour] & occ)) {
        list = add_castling(list, pos, k, base + 6, CASTLE_KING);
    }
    if ((pos.castle_rights & (2 << (2 * colour))) && !(pos.castle_path[2 * colour + 1] & occ)) {
        list = add_castling(list, pos, k, base + 2, CASTLE_QUEEN);
    }
    return list;
}

MoveEntry* gen_promotions(const Position& pos, int colour, MoveEntry* list, bool all_pieces) {
    const int count        = all_pieces ? 4 : 1;
    const int dir          = PAWN_DIRECTION[colour];
    const Bitboard enemies = pos.pieces[8 * (colour ^ 1)];
    Bitboard b             = pieces_of(pos, colour, PAWN) & RANK_7_OF[colour];
    while (b) {
        const int from  = pop_lsb(b);
        const int ahead = from + dir;
        if (!pos.board[ahead])
            list = add_four(list, pos, from, ahead, count);
        if (file_of(from) != 0 && (enemies & bit(ahead - 1)))
            list = add_four(list, pos, from, ahead - 1, count);
        if (file_of(from) != 7 && (enemies & bit(ahead + 1)))
            list = add_four(list, pos, from, ahead + 1, count);
    }
    return list;
}

MoveEntry* gen_seventh_pushes(const Position& pos, int colour, MoveEntry* list) {
    const int dir = PAWN_DIRECTION[colour];
    Bitboard b    = pieces_of(pos, colour, PAWN) & RANK_6_OF[colour];
    while (b) {
        const int from = pop_lsb(b);
        if (!pos.board[from + dir])
            list = add(list, pos, from, from + dir);
    }
    return list;
}

MoveEntry* gen_all(Position& pos) {
    ThreadBoard& td = *pos.owner;
    PlyFrame& frame = current_frame(td);
    frame.cursor    = frame.list_start;
    MoveEntry* list = frame.list_start;
    list            = gen_captures(pos, pos.side, list, NO_SQUARE);
    list            = gen_promotions(pos, pos.side, list, true);
    list            = gen_seventh_pushes(pos, pos.side, list);
    list            = gen_quiets(pos, pos.side, list, NO_SQUARE);
    terminate_list(td, list);
    return frame.list_start;
}

bool is_legal(const Position& pos, int colour, Move move) {
    const int from  = move_from(move);
    const int to    = move_to(move);
    const int mover = type_of(pos.board[from]);
    const int enemy = colour ^ 1;
    if (move_flags(move) && mover == KING) {
        const int wing = (move & CASTLE_KING) ? 0 : 1;
        const int dest = rank_of(from) * 8 + (wing == 0 ? 6 : 2);
        const int step = dest > from ? 1 : -1;
        // The castling rook leaves its square, so it must not shield the king's path (in
        // Chess960 it can stand between an enemy rook and the king's destination).
        const int rook     = pos.castle_rook[2 * colour + wing];
        const Bitboard occ = occupancy(pos) & ~(rook == NO_SQUARE ? 0 : bit(rook));
        for (int sq = from;; sq += step) {
            if (attacked_within(pos, sq, enemy, occ, ~Bitboard{0}))
                return false;
            if (sq == dest)
                break;
        }
        return true;
    }
    const int test_sq = mover == KING ? to : pos.king_sq[colour];
    if (test_sq == NO_SQUARE)
        return true;
    Bitboard occ = (occupancy(pos) & ~bit(from)) | bit(to);
    if (mover == PAWN && to == pos.ep_square)
        occ &= ~bit(to - PAWN_DIRECTION[colour]);
    // A piece captured on `to` must not count as an attacker; the pawn taken en passant has
    // already left the occupancy, which limits the candidates too.
    return !attacked_within(pos, test_sq, enemy, occ, occ & ~bit(to));
}

Bitboard pinned_pieces(const Position& pos, int colour) {
    const int k = pos.king_sq[colour];
    if (k == NO_SQUARE)
        return 0;
    const Bitboard* e  = pos.pieces + 8 * (colour ^ 1);
    const Bitboard occ = occupancy(pos);
    Bitboard snipers   = (attack_tables.rook_rays[k] & (e[ROOK] | e[QUEEN])) |
                       (attack_tables.bishop_rays[k] & (e[BISHOP] | e[QUEEN]));
    Bitboard pinned = 0;
    while (snipers) {
        const Bitboard blockers = between(k, pop_lsb(snipers)) & occ;
        if (blockers && !(blockers & (blockers - 1)))
            pinned |= blockers & pos.pieces[8 * colour];
    }
    return pinned;
}

std::vector<Move> legal_moves(Position& pos) {
    std::vector<Move> moves;
    for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e)
        if (e->move && is_legal(pos, pos.side, e->move))
            moves.push_back(e->move);
    return moves;
}

} // namespace tarn
