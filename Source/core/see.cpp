#include "core/see.h"

#include <algorithm>

#include "core/attacks.h"

namespace tarn {

std::array<std::int16_t, 8> see_value = SEE_DEFAULT_VALUES;

int swap(const Position& pos, int side, int sq, int victim, Bitboard occ) {
    const int a = least_valuable_attacker(pos, sq, side, occ);
    if (a == NO_SQUARE)
        return 0;
    if (victim == KING)
        return SEE_KING_CAPTURE;
    const int gain = see_value[victim];
    occ &= ~bit(a);
    const int r = least_valuable_attacker(pos, sq, side ^ 1, occ);
    if (r == NO_SQUARE)
        return std::max(0, gain);
    const int attacker_type = type_of(pos.board[a]);
    if (attacker_type == KING)
        return std::max(0, gain - SEE_KING_CAPTURE);
    const int reply = std::max(0, see_value[attacker_type] -
                                      swap(pos, side, sq, type_of(pos.board[r]), occ & ~bit(r)));
    return std::max(0, gain - reply);
}

int see(const Position& pos, int side, int from, int to) {
    if (from == NO_SQUARE)
        return swap(pos, side, to, type_of(pos.board[to]), occupancy(pos));
    const int captured  = see_value[type_of(pos.board[to])];
    const int mover     = type_of(pos.board[from]);
    const Bitboard occ1 = occupancy(pos) & ~bit(from);
    const int r1        = least_valuable_attacker(pos, to, side ^ 1, occ1);
    if (r1 == NO_SQUARE)
        return captured;
    if (mover == KING)
        return captured - SEE_KING_CAPTURE;
    const Bitboard occ2 = occ1 & ~bit(r1);
    const int a2        = least_valuable_attacker(pos, to, side, occ2);
    if (a2 == NO_SQUARE)
        return captured - see_value[mover];
    if (type_of(pos.board[r1]) == KING)
        return captured;
    int ours            = see_value[type_of(pos.board[r1])];
    const Bitboard occ3 = occ2 & ~bit(a2);
    const int r2        = least_valuable_attacker(pos, to, side ^ 1, occ3);
    if (r2 != NO_SQUARE) {
        if (type_of(pos.board[a2]) == KING)
            ours -= SEE_KING_CAPTURE;
        else
            ours -= std::max(0, see_value[type_of(pos.board[a2])] -
                                    swap(pos, side, to, type_of(pos.board[r2]), occ3 & ~bit(r2)));
    }
    const int theirs = see_value[mover] - std::max(0, ours);
    return captured - std::max(0, theirs);
}

} // namespace tarn
