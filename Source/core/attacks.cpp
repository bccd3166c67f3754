#include "core/attacks.h"

#include <cstdlib>

namespace tarn {

AttackTables attack_tables;

namespace {

constexpr int STEP[DIRECTIONS]      = {8, -8, 1, -1, 9, 7, -7, -9};
constexpr int FILE_STEP[DIRECTIONS] = {0, 0, 1, -1, 1, -1, 1, -1};
constexpr int RANK_STEP[DIRECTIONS] = {1, -1, 0, 0, 1, 1, -1, -1};

bool on_board(int file, int rank) {
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

Bitboard offsets_from(int sq, const int (*offsets)[2], int count) {
    Bitboard b = 0;
    for (int i = 0; i < count; ++i) {
        const int f = file_of(sq) + offsets[i][0], r = rank_of(sq) + offsets[i][1];
        if (on_board(f, r))
            b |= bit(r * 8 + f);
    }
    return b;
}

// Shared candidate search of least_valuable_attacker and first_attacker: `mask` limits the
// candidates (occ, or every square), occ blocks the sliders.
int cheapest_attacker(const Position& pos, int sq, int colour, Bitboard occ, Bitboard mask) {
    const Bitboard* p = pos.pieces + 8 * colour;
    Bitboard b        = p[PAWN] & mask & pawn_attacks(colour ^ 1, sq);
    if (b)
        return lsb(b);
    b = p[KNIGHT] & mask & knight_attacks(sq);
    if (b)
        return lsb(b);
    const Bitboard diag = bishop_attacks(sq, occ), line = rook_attacks(sq, occ);
    b = p[BISHOP] & mask & diag;
    if (b)
        return lsb(b);
    b = p[ROOK] & mask & line;
    if (b)
        return lsb(b);
    b = p[QUEEN] & mask & (diag | line);
    if (b)
        return lsb(b);
    b = p[KING] & mask & king_attacks(sq);
    if (b)
        return lsb(b);
    return NO_SQUARE;
}

} // namespace

void attack_tables_init() {
    AttackTables& t = attack_tables;
    for (int sq = 0; sq < 64; ++sq) {
        t.bishop_rays[sq] = t.rook_rays[sq] = 0;
        for (int d = 0; d < DIRECTIONS; ++d) {
            Bitboard ray = 0;
            int f = file_of(sq) + FILE_STEP[d], r = rank_of(sq) + RANK_STEP[d];
            for (; on_board(f, r); f += FILE_STEP[d], r += RANK_STEP[d])
                ray |= bit(r * 8 + f);
            t.ray[d][sq] = ray;
            (FILE_STEP[d] && RANK_STEP[d] ? t.bishop_rays[sq] : t.rook_rays[sq]) |= ray;
        }
        static constexpr int KNIGHT_OFFSETS[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                                     {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
        static constexpr int KING_OFFSETS[8][2]   = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                                     {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        static constexpr int WHITE_PAWN[2][2]     = {{-1, 1}, {1, 1}};
        static constexpr int BLACK_PAWN[2][2]     = {{-1, -1}, {1, -1}};
        t.knight_attacks[sq]                      = offsets_from(sq, KNIGHT_OFFSETS, 8);
        t.king_attacks[sq]                        = offsets_from(sq, KING_OFFSETS, 8);
        t.pawn_attacks[sq]                        = offsets_from(sq, WHITE_PAWN, 2);
        t.pawn_attacks[64 + sq]                   = offsets_from(sq, BLACK_PAWN, 2);
    }
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            Bitboard bb = 0;
            for (int d = 0; d < DIRECTIONS; ++d) {
                if (!(t.ray[d][a] & bit(b)))
                    continue;
                for (int s = a + STEP[d]; s != b; s += STEP[d])
                    bb |= bit(s);
            }
            t.between[a * 64 + b] = bb;
        }
    }
}

bool attacked(const Position& pos, int sq, int colour) {
    const Bitboard* p = pos.pieces + 8 * colour;
    if (p[PAWN] & pawn_attacks(colour ^ 1, sq))
        return true;
    if (p[KNIGHT] & knight_attacks(sq))
        return true;
    if (p[KING] & king_attacks(sq))
        return true;
    const Bitboard occ = occupancy(pos);
    Bitboard b         = (p[BISHOP] | p[QUEEN]) & attack_tables.bishop_rays[sq];
    while (b)
        if (!(between(pop_lsb(b), sq) & occ))
            return true;
    b = (p[ROOK] | p[QUEEN]) & attack_tables.rook_rays[sq];
    while (b)
        if (!(between(pop_lsb(b), sq) & occ))
            return true;
    return false;
}

int least_valuable_attacker(const Position& pos, int sq, int colour, Bitboard occ) {
    return cheapest_attacker(pos, sq, colour, occ, occ);
}

int first_attacker(const Position& pos, int sq, int colour, Bitboard occ) {
    return cheapest_attacker(pos, sq, colour, occ, ~Bitboard{0});
}

} // namespace tarn
