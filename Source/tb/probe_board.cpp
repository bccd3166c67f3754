#include "tb/probe_board.h"

#include <initializer_list>

#include "core/attacks.h"

namespace tarn {

namespace {

Bitboard own_pieces(const ProbePosition& pos) {
    return pos.white_to_move ? pos.white : pos.black;
}

Bitboard their_pieces(const ProbePosition& pos) {
    return pos.white_to_move ? pos.black : pos.white;
}

Bitboard& set_of(ProbePosition& pos, int type) {
    switch (type) {
    case PAWN:
        return pos.pawns;
    case KNIGHT:
        return pos.knights;
    case BISHOP:
        return pos.bishops;
    case ROOK:
        return pos.rooks;
    case QUEEN:
        return pos.queens;
    default:
        return pos.kings;
    }
}

// True when a piece of `by` (the set of one colour) attacks sq.
bool attacked_by(const ProbePosition& pos, int sq, Bitboard by, int by_colour) {
    const Bitboard occ = pos.white | pos.black;
    return ((pawn_attacks(by_colour ^ 1, sq) & pos.pawns) | (knight_attacks(sq) & pos.knights) |
            (king_attacks(sq) & pos.kings) |
            (bishop_attacks(sq, occ) & (pos.bishops | pos.queens)) |
            (rook_attacks(sq, occ) & (pos.rooks | pos.queens))) &
           by;
}

// True when the king of the side that is not to move stands attacked (an illegal position).
bool mover_king_attacked(const ProbePosition& pos) {
    const Bitboard king = pos.kings & their_pieces(pos);
    return !king || attacked_by(pos, lsb(king), own_pieces(pos), pos.white_to_move ? WHITE : BLACK);
}

// Appends a pawn move, as four promotions when it reaches the last rank.
TbMove* add_pawn_move(TbMove* out, int from, int to, int kind) {
    if (rank_of(to) == 0 || rank_of(to) == 7) {
        for (const int promotion : {QUEEN, ROOK, BISHOP, KNIGHT})
            *out++ = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to),
                            static_cast<std::uint8_t>(promotion), static_cast<std::uint8_t>(kind)};
    } else {
        *out++ = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), 0,
                        static_cast<std::uint8_t>(kind)};
    }
    return out;
}

} // namespace

int tb_type_on(const ProbePosition& pos, int sq) {
    const Bitboard b = bit(sq);
    return (pos.pawns & b)     ? PAWN
           : (pos.knights & b) ? KNIGHT
           : (pos.bishops & b) ? BISHOP
           : (pos.rooks & b)   ? ROOK
           : (pos.queens & b)  ? QUEEN
           : (pos.kings & b)   ? KING
                               : NO_PIECE_TYPE;
}

bool tb_in_check(const ProbePosition& pos) {
    const Bitboard king = pos.kings & own_pieces(pos);
    return king &&
           attacked_by(pos, lsb(king), their_pieces(pos), pos.white_to_move ? BLACK : WHITE);
}

bool tb_is_checkmate(const ProbePosition& pos) {
    TbMove moves[TB_MAX_MOVES];
    return tb_in_check(pos) && tb_legal_moves(pos, moves, false) == 0;
}

bool tb_is_probeable(const ProbePosition& pos) {
    const Bitboard sets[6] = {pos.pawns, pos.knights, pos.bishops,
                              pos.rooks, pos.queens,  pos.kings};
    Bitboard all           = 0;
    for (const Bitboard s : sets) {
        if (all & s)
            return false;
        all |= s;
    }
    constexpr Bitboard EDGE_RANKS = 0xFF000000000000FFULL;
    return popcount(all) <= TB_MAX_PIECES && !(pos.white & pos.black) &&
           all == (pos.white | pos.black) && popcount(pos.kings & pos.white) == 1 &&
           popcount(pos.kings & pos.black) == 1 && !(pos.pawns & EDGE_RANKS) &&
           !mover_king_attacked(pos);
}

int tb_legal_moves(const ProbePosition& pos, TbMove* out, bool captures_only) {
    const int us        = pos.white_to_move ? WHITE : BLACK;
    const int step      = us == WHITE ? 8 : -8;
    const Bitboard own  = own_pieces(pos);
    const Bitboard them = their_pieces(pos);
    const Bitboard occ  = own | them;
    TbMove pseudo[TB_MAX_MOVES];
    TbMove* end = pseudo;
    for (Bitboard b = own; b;) {
        const int from = pop_lsb(b);
        const int type = tb_type_on(pos, from);
        if (type == PAWN) {
            for (Bitboard t = pawn_attacks(us, from) & them; t;)
                end = add_pawn_move(end, from, pop_lsb(t), TB_MOVE_PAWN | TB_MOVE_CAPTURE);
            const int ep = static_cast<int>(pos.ep);
            if (ep > 0 && ep < 64 && (pawn_attacks(us, from) & bit(ep)) && !(occ & bit(ep)) &&
                (them & pos.pawns & bit(ep ^ 8)))
                end = add_pawn_move(end, from, ep, TB_MOVE_PAWN | TB_MOVE_CAPTURE | TB_MOVE_EP);
            const int to = from + step;
            if (captures_only || to < 0 || to > 63 || (occ & bit(to)))
                continue;
            end                  = add_pawn_move(end, from, to, TB_MOVE_PAWN);
            const int start_rank = us == WHITE ? 1 : 6;
            if (rank_of(from) == start_rank && !(occ & bit(to + step)))
                end = add_pawn_move(end, from, to + step, TB_MOVE_PAWN);
            continue;
        }
        Bitboard targets = type == KNIGHT   ? knight_attacks(from)
                           : type == BISHOP ? bishop_attacks(from, occ)
                           : type == ROOK   ? rook_attacks(from, occ)
                           : type == QUEEN  ? bishop_attacks(from, occ) | rook_attacks(from, occ)
                                            : king_attacks(from);
        targets &= captures_only ? them : ~own;
        while (targets) {
            const int to = pop_lsb(targets);
            *end++       = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), 0,
                            static_cast<std::uint8_t>((them & bit(to)) ? TB_MOVE_CAPTURE : 0)};
        }
    }
    int count = 0;
    for (const TbMove* m = pseudo; m < end; ++m)
        if (!mover_king_attacked(tb_play(pos, *m)))
            out[count++] = *m;
    return count;
}

ProbePosition tb_play(const ProbePosition& pos, const TbMove& m) {
    ProbePosition next    = pos;
    const Bitboard from   = bit(m.from);
    const Bitboard to     = bit(m.to);
    const Bitboard victim = (m.kind & TB_MOVE_EP) ? bit(m.to ^ 8) : to;
    const int type        = tb_type_on(pos, m.from);
    Bitboard& own         = pos.white_to_move ? next.white : next.black;
    Bitboard& theirs      = pos.white_to_move ? next.black : next.white;
    if (m.kind & TB_MOVE_CAPTURE) {
        theirs &= ~victim;
        for (int t = PAWN; t <= KING; ++t)
            set_of(next, t) &= ~victim;
    }
    own ^= from | to;
    set_of(next, type) ^= from;
    set_of(next, m.promotion ? m.promotion : type) |= to;
    next.ep = 0;
    if (type == PAWN && (m.to ^ m.from) == 16)
        next.ep = (m.from + m.to) / 2u;
    next.rule50        = (m.kind & (TB_MOVE_CAPTURE | TB_MOVE_PAWN)) ? 0 : pos.rule50 + 1;
    next.white_to_move = !pos.white_to_move;
    return next;
}

} // namespace tarn
