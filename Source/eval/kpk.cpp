#include "eval/kpk.h"

#include <algorithm>
#include <cstdlib>

#include "core/attacks.h"
#include "core/board.h"

namespace tarn {

namespace {

constexpr std::uint8_t UNKNOWN    = 0;
constexpr std::uint8_t KPK_OTHER  = 1;
constexpr std::uint8_t ILLEGAL    = 3;
constexpr int PROMOTION_RANK      = 7;
constexpr int DEFENDER_TO_MOVE    = KPK_PAWN_SQUARES * 64 * 64;
constexpr Bitboard KPK_PAWN_FILES = 0x0F0F0F0F0F0F0F0FULL; // files a-d

std::uint8_t kpk_table[KPK_ENTRIES];

int distance(int a, int b) {
    return std::max(std::abs(file_of(a) - file_of(b)), std::abs(rank_of(a) - rank_of(b)));
}

int index_of(int pawn, int attacker_king, int defender_king, bool defender_to_move) {
    return kpk_index(KpkSquares{attacker_king, defender_king, pawn}, defender_to_move);
}

bool is_illegal(int pawn, int ak, int dk, bool defender_to_move) {
    if (ak == dk || ak == pawn || dk == pawn || distance(ak, dk) <= 1)
        return true;
    return !defender_to_move && (pawn_attacks(WHITE, pawn) & bit(dk));
}

// The defender to move just after a promotion on `sq`: a win when the new piece cannot be
// taken and the defender, for a queen or else for a rook, is not stalemated.
std::uint8_t promotion_value(int sq, int ak, int dk) {
    if (distance(dk, sq) == 1 && distance(ak, sq) > 1)
        return KPK_OTHER;
    const Bitboard occ   = bit(ak); // the defender's king does not shield squares behind it
    const Bitboard rook  = rook_attacks(sq, occ);
    const Bitboard queen = rook | bishop_attacks(sq, occ);
    const Bitboard exits = king_attacks(dk) & ~king_attacks(ak) & ~bit(sq);
    for (const Bitboard piece : {queen, rook})
        if ((exits & ~piece) || (piece & bit(dk)))
            return KPK_WIN;
    return KPK_OTHER;
}

std::uint8_t attacker_move_value(int pawn, int ak, int dk) {
    bool pending        = false;
    const auto consider = [&](std::uint8_t v) {
        pending |= v == UNKNOWN;
        return v == KPK_WIN;
    };
    for (Bitboard to = king_attacks(ak) & ~bit(pawn) & ~king_attacks(dk); to;)
        if (consider(kpk_table[index_of(pawn, pop_lsb(to), dk, true)]))
            return KPK_WIN;
    const int push = pawn + 8;
    if (push != ak && push != dk) {
        if (consider(kpk_table[index_of(push, ak, dk, true)]))
            return KPK_WIN;
        const int jump = pawn + 16;
        if (rank_of(pawn) == 1 && jump != ak && jump != dk &&
            consider(kpk_table[index_of(jump, ak, dk, true)]))
            return KPK_WIN;
    }
    return pending ? UNKNOWN : KPK_OTHER;
}

std::uint8_t defender_move_value(int pawn, int ak, int dk) {
    bool pending = false;
    Bitboard to  = king_attacks(dk) & ~king_attacks(ak) & ~pawn_attacks(WHITE, pawn);
    if (!to)
        return KPK_OTHER; // stalemate
    if (to & bit(pawn))
        return KPK_OTHER; // the pawn falls
    while (to) {
        const std::uint8_t v = kpk_table[index_of(pawn, ak, pop_lsb(to), false)];
        if (v == KPK_OTHER)
            return KPK_OTHER;
        pending |= v == UNKNOWN;
    }
    return pending ? UNKNOWN : KPK_WIN;
}

void set_promotions() {
    for (int file = 0; file < 4; ++file) {
        const int sq = PROMOTION_RANK * 8 + file;
        for (int ak = 0; ak < 64; ++ak)
            for (int dk = 0; dk < 64; ++dk) {
                kpk_table[index_of(sq, ak, dk, false)] =
                    is_illegal(sq, ak, dk, false) ? ILLEGAL : KPK_WIN;
                kpk_table[index_of(sq, ak, dk, true)] =
                    is_illegal(sq, ak, dk, true) ? ILLEGAL : promotion_value(sq, ak, dk);
            }
    }
}

// Pushes only lead up the board, so each pawn square is solved on its own, top rank first.
void solve_pawn_square(int pawn) {
    for (int ak = 0; ak < 64; ++ak)
        for (int dk = 0; dk < 64; ++dk)
            for (const bool dtm : {false, true})
                kpk_table[index_of(pawn, ak, dk, dtm)] =
                    is_illegal(pawn, ak, dk, dtm) ? ILLEGAL : UNKNOWN;
    for (bool changed = true; changed;) {
        changed = false;
        for (int ak = 0; ak < 64; ++ak)
            for (int dk = 0; dk < 64; ++dk)
                for (const bool dtm : {false, true}) {
                    std::uint8_t& e = kpk_table[index_of(pawn, ak, dk, dtm)];
                    if (e != UNKNOWN)
                        continue;
                    e = dtm ? defender_move_value(pawn, ak, dk) : attacker_move_value(pawn, ak, dk);
                    changed |= e != UNKNOWN;
                }
    }
}

} // namespace

void kpk_init() {
    std::fill(kpk_table, kpk_table + KPK_ENTRIES, UNKNOWN);
    set_promotions();
    for (int rank = PROMOTION_RANK - 1; rank >= 1; --rank)
        for (int file = 0; file < 4; ++file)
            solve_pawn_square(rank * 8 + file);
    for (std::uint8_t& e : kpk_table)
        e = e == KPK_WIN ? KPK_WIN : KPK_OTHER;
}

int kpk_index(const KpkSquares& sq, bool defender_to_move) {
    const int pawn_index = file_of(sq.pawn) + 4 * rank_of(sq.pawn);
    return (defender_to_move ? DEFENDER_TO_MOVE : 0) + pawn_index * 4096 + sq.attacker_king * 64 +
           sq.defender_king;
}

std::uint8_t kpk_entry(int index) {
    return kpk_table[index];
}

KpkSquares kpk_normalise(int strong, int strong_king, int weak_king, int pawn) {
    KpkSquares sq{strong_king, weak_king, pawn};
    if (strong == BLACK) {
        sq.attacker_king ^= 63;
        sq.defender_king ^= 63;
        sq.pawn ^= 63;
    }
    if (!(bit(sq.pawn) & KPK_PAWN_FILES)) {
        sq.attacker_king ^= 7;
        sq.defender_king ^= 7;
        sq.pawn ^= 7;
    }
    return sq;
}

bool kpk_is_win(int strong, int strong_king, int weak_king, int pawn, int side) {
    const KpkSquares sq = kpk_normalise(strong, strong_king, weak_king, pawn);
    return kpk_table[kpk_index(sq, side != strong)] == KPK_WIN;
}

} // namespace tarn
