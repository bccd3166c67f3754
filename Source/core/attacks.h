#pragma once
// Fixed attack tables built once at start-up, and the attack queries on a Position. Sliding
// attacks are read from magic-indexed tables: the blockers on a square's lines, multiplied by
// the square's magic number, give a unique index into its slice of attack sets. The magics are
// searched at start-up with a fixed seed, checked against attacks traced along the
// per-direction rays (a sentinel square, h8 for rays running up the board and a1 for those
// running down, has empty rays there, so an unblocked ray keeps its length without a branch).

#include "core/board.h"

namespace tarn {

enum Direction { DIR_N, DIR_S, DIR_E, DIR_W, DIR_NE, DIR_NW, DIR_SE, DIR_SW, DIRECTIONS };

constexpr int ROOK_ATTACK_ENTRIES   = 102400; // sum over squares of 2^(relevant blockers)
constexpr int BISHOP_ATTACK_ENTRIES = 5248;

// Where one square's sliding attacks live in the magic-indexed table.
struct SliderMagic {
    Bitboard mask        = 0; // squares whose blockers matter (the lines without their ends)
    Bitboard magic       = 0;
    const Bitboard* sets = nullptr; // 2^(64 - shift) attack sets
    int shift            = 64;
};

// Read-only after attack_tables_init.
struct AttackTables {
    Bitboard ray[DIRECTIONS][64];
    Bitboard bishop_rays[64];
    Bitboard rook_rays[64];
    Bitboard knight_attacks[64];
    Bitboard king_attacks[64];
    Bitboard pawn_attacks[2 * 64]; // colour * 64 + square
    Bitboard between[64 * 64];     // strictly between two aligned squares
    SliderMagic bishop_magic[64];
    SliderMagic rook_magic[64];
    Bitboard bishop_sets[BISHOP_ATTACK_ENTRIES];
    Bitboard rook_sets[ROOK_ATTACK_ENTRIES];
};

extern AttackTables attack_tables;

// Builds every table; called once at start-up before any Position is used.
void attack_tables_init();

inline Bitboard between(int a, int b) {
    return attack_tables.between[a * 64 + b];
}
inline Bitboard knight_attacks(int sq) {
    return attack_tables.knight_attacks[sq];
}
inline Bitboard king_attacks(int sq) {
    return attack_tables.king_attacks[sq];
}
inline Bitboard pawn_attacks(int colour, int sq) {
    return attack_tables.pawn_attacks[colour * 64 + sq];
}

inline Bitboard slider_attacks(const SliderMagic& m, Bitboard occ) {
    return m.sets[((occ & m.mask) * m.magic) >> m.shift];
}

inline Bitboard bishop_attacks(int sq, Bitboard occ) {
    return slider_attacks(attack_tables.bishop_magic[sq], occ);
}

inline Bitboard rook_attacks(int sq, Bitboard occ) {
    return slider_attacks(attack_tables.rook_magic[sq], occ);
}

// The same attacks traced along the rays: the reference the magic tables are built from.
inline Bitboard bishop_attacks_traced(int sq, Bitboard occ) {
    const auto& r = attack_tables.ray;
    const int ne  = lsb((r[DIR_NE][sq] & occ) | bit(63));
    const int nw  = lsb((r[DIR_NW][sq] & occ) | bit(63));
    const int se  = msb((r[DIR_SE][sq] & occ) | bit(0));
    const int sw  = msb((r[DIR_SW][sq] & occ) | bit(0));
    return attack_tables.bishop_rays[sq] ^ r[DIR_NE][ne] ^ r[DIR_NW][nw] ^ r[DIR_SE][se] ^
           r[DIR_SW][sw];
}

inline Bitboard rook_attacks_traced(int sq, Bitboard occ) {
    const auto& r = attack_tables.ray;
    const int n   = lsb((r[DIR_N][sq] & occ) | bit(63));
    const int e   = lsb((r[DIR_E][sq] & occ) | bit(63));
    const int s   = msb((r[DIR_S][sq] & occ) | bit(0));
    const int w   = msb((r[DIR_W][sq] & occ) | bit(0));
    return attack_tables.rook_rays[sq] ^ r[DIR_N][n] ^ r[DIR_E][e] ^ r[DIR_S][s] ^ r[DIR_W][w];
}

// Squares a piece of `type` and `colour` on sq attacks with the given occupancy.
inline Bitboard piece_attacks(int type, int colour, int sq, Bitboard occ) {
    switch (type) {
    case PAWN:
        return pawn_attacks(colour, sq);
    case KNIGHT:
        return knight_attacks(sq);
    case BISHOP:
        return bishop_attacks(sq, occ);
    case ROOK:
        return rook_attacks(sq, occ);
    case QUEEN:
        return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
    default:
        return king_attacks(sq);
    }
}

// True when any piece of colour attacks sq with the Position's full occupancy.
bool attacked(const Position& pos, int sq, int colour);
// Square of the cheapest piece of colour attacking sq; only pieces inside occ count, and occ
// blocks the sliders. 64 when there is none.
int least_valuable_attacker(const Position& pos, int sq, int colour, Bitboard occ);
// As least_valuable_attacker, but every piece of colour on the board is a candidate.
int first_attacker(const Position& pos, int sq, int colour, Bitboard occ);
// True when a piece of colour standing inside `mask` attacks sq, with occ blocking sliders.
// Gives the same answer as least_valuable_attacker(...) != 64 with the candidates limited to
// mask, without ranking the attackers.
inline bool attacked_within(const Position& pos, int sq, int colour, Bitboard occ, Bitboard mask) {
    const Bitboard* p        = pos.pieces + 8 * colour;
    const Bitboard attackers = (p[PAWN] & pawn_attacks(colour ^ 1, sq)) |
                               (p[KNIGHT] & knight_attacks(sq)) | (p[KING] & king_attacks(sq)) |
                               ((p[BISHOP] | p[QUEEN]) & bishop_attacks(sq, occ)) |
                               ((p[ROOK] | p[QUEEN]) & rook_attacks(sq, occ));
    return (attackers & mask) != 0;
}
// Square of a piece giving check to colour's king, or 64.
inline int checker_of(const Position& pos, int colour) {
    return pos.king_sq[colour] == NO_SQUARE
               ? NO_SQUARE
               : first_attacker(pos, pos.king_sq[colour], colour ^ 1, occupancy(pos));
}

} // namespace tarn
