#include "eval/hce_endings.h"

#include <algorithm>
#include <cstdlib>

#include "eval/kpk.h"
#include "eval/pawns.h"

namespace tarn {

namespace {

constexpr Bitboard LIGHT_SQUARES    = 0x55AA55AA55AA55AAULL;
constexpr int MAX_SCALED_MATERIAL   = 10; // scale factors apply while each side has at most this
constexpr int MAX_SCALED_GAP        = 3;
constexpr int MAX_FEW_PAWNS         = 2;
constexpr float SF_PAWNLESS_BISHOPS = 0.75f;
constexpr double SF_PAWNLESS_STEP   = 0.007;
constexpr double SF_PAWNLESS_BASE   = 0.1;

// Bare king driven to the edge; a1 = index 0, rank by rank.
constexpr std::int16_t EDGE_TABLE[64] = {
    60, 50, 40, 30, 30, 40, 50, 60, 50, 40, 30, 20, 20, 30, 40, 50, //
    40, 30, 20, 10, 10, 20, 30, 40, 30, 20, 10, 0,  0,  10, 20, 30, //
    30, 20, 10, 0,  0,  10, 20, 30, 40, 30, 20, 10, 10, 20, 30, 40, //
    50, 40, 30, 20, 20, 30, 40, 50, 60, 50, 40, 30, 30, 40, 50, 60};
// Bare king driven to a1 or h8, the corners of a dark-squared bishop.
constexpr std::int16_t DARK_CORNER_TABLE[64] = {9, 8, 7, 6, 5, 4, 3, 2, 8, 7, 6, 5, 4, 3, 2, 3, //
                                                7, 6, 4, 3, 2, 1, 3, 4, 6, 5, 3, 1, 0, 2, 4, 5, //
                                                5, 4, 2, 0, 1, 3, 5, 6, 4, 3, 1, 2, 3, 4, 6, 7, //
                                                3, 2, 3, 4, 5, 6, 7, 8, 2, 3, 4, 5, 6, 7, 8, 9};

// 0 on the edge, 1 on the ring b2-g7, 2 on c3-f6.
constexpr int centre_value(int sq) {
    const int f = file_of(sq), r = rank_of(sq);
    return std::min({2, f, 7 - f, r, 7 - r});
}

bool has_nothing(const Position& pos, const MaterialCounts& m, int colour) {
    return m.pawns == 0 && pos.piece_material[colour] == 0;
}

// Nothing, at most two knights, or a single bishop, and no pawns.
bool cannot_mate(const Position& pos, const MaterialCounts& m, int colour) {
    const int pm = pos.piece_material[colour];
    if (m.pawns)
        return false;
    return pm == 0 || (m.knights <= 2 && pm == 3 * m.knights) || (m.bishops == 1 && pm == 3);
}

int kpk_score(const Position& pos, int strong, int side) {
    const int pawn      = lsb(pos.pieces[make_code(strong, PAWN)]);
    const KpkSquares sq = kpk_normalise(strong, pos.king_sq[strong], pos.king_sq[strong ^ 1], pawn);
    const auto promotion_distance = [&](int k) {
        return std::max(std::abs(file_of(k) - file_of(sq.pawn)), 7 - rank_of(k));
    };
    int v = promotion_distance(sq.defender_king) - promotion_distance(sq.attacker_king) +
            4 * rank_of(sq.pawn);
    if (kpk_entry(kpk_index(sq, side != strong)) == KPK_WIN)
        v += KPK_WIN_BONUS;
    return side == strong ? v : -v;
}

int kbnk_score(const Position& pos, int strong) {
    const int s      = pos.king_sq[strong];
    const int w      = pos.king_sq[strong ^ 1];
    const bool dark  = !(pos.pieces[make_code(strong, BISHOP)] & LIGHT_SQUARES);
    const int corner = DARK_CORNER_TABLE[dark ? w : w ^ 7];
    return KBNK_BASE + 8 * centre_value(s) + 16 * corner - 8 * king_distance(s, w);
}

int mating_score(const Position& pos, int strong) {
    const int w = pos.king_sq[strong ^ 1];
    return 100 * pos.piece_material[strong] +
           4 * (EDGE_TABLE[w] - 4 * king_distance(pos.king_sq[strong], w)) + MATING_BASE;
}

// Rook pawns with the defending king in front of them and a bishop that cannot cover the
// promotion square.
bool is_wrong_bishop(const Position& pos, const MaterialCounts& m, int strong) {
    if (m.pawns == 0 || m.knights || m.rooks || m.queens)
        return false;
    const Bitboard pawns   = pos.pieces[make_code(strong, PAWN)];
    const Bitboard bishops = pos.pieces[make_code(strong, BISHOP)];
    const int defender     = pos.king_sq[strong ^ 1];
    for (const int file : {0, 7}) {
        if (pawns & ~(FILE_A << file))
            continue;
        const int corner       = file + (strong == WHITE ? 56 : 0);
        const int toward_pawns = strong == WHITE ? -8 : 8;
        const int inward       = file == 0 ? 1 : -1;
        const Bitboard guard   = bit(corner) | bit(corner + inward) | bit(corner + toward_pawns) |
                               bit(corner + toward_pawns + inward);
        const Bitboard corner_colour =
            (bit(corner) & LIGHT_SQUARES) ? LIGHT_SQUARES : ~LIGHT_SQUARES;
        if ((guard & bit(defender)) && !(bishops & corner_colour))
            return true;
    }
    return false;
}

} // namespace

MaterialCounts material_counts(const Position& pos, int colour) {
    const std::uint32_t sig = pos.material_sig[colour];
    return MaterialCounts{static_cast<int>(sig & 15), static_cast<int>((sig >> 4) & 15),
                          static_cast<int>((sig >> 8) & 15), static_cast<int>((sig >> 12) & 15),
                          static_cast<int>((sig >> 16) & 15)};
}

bool trivial_ending(const Position& pos, int side, int& score) {
    const MaterialCounts m[2] = {material_counts(pos, WHITE), material_counts(pos, BLACK)};
    if (cannot_mate(pos, m[WHITE], WHITE) && cannot_mate(pos, m[BLACK], BLACK)) {
        score = 0;
        return true;
    }
    for (const int strong : {WHITE, BLACK}) {
        const int weak = strong ^ 1;
        if (!has_nothing(pos, m[weak], weak))
            continue;
        const MaterialCounts& s = m[strong];
        const int pm            = pos.piece_material[strong];
        if (s.pawns == 1 && pm == 0) {
            score = kpk_score(pos, strong, side);
            return true;
        }
        int v = 0;
        if (s.pawns == 0 && s.knights == 1 && s.bishops == 1 && pm == 6)
            v = kbnk_score(pos, strong);
        else if (s.rooks + s.queens > 0)
            v = mating_score(pos, strong);
        else
            continue;
        score = side == strong ? v : -v;
        return true;
    }
    return false;
}

float scale_factor(const Position& pos, int s) {
    const int wn = pos.piece_material[WHITE], bn = pos.piece_material[BLACK];
    if (wn > MAX_SCALED_MATERIAL || bn > MAX_SCALED_MATERIAL || std::abs(wn - bn) > MAX_SCALED_GAP)
        return 1.0f;
    const MaterialCounts m[2] = {material_counts(pos, WHITE), material_counts(pos, BLACK)};
    const int strong          = s >= 0 ? WHITE : BLACK;
    const int weak            = strong ^ 1;
    if (is_wrong_bishop(pos, m[strong], strong))
        return SF_WRONG_BISHOP;

    float sf = 1.0f;
    if (wn == bn && m[WHITE].bishops == 1 && m[BLACK].bishops == 1 &&
        std::abs(m[WHITE].pawns - m[BLACK].pawns) <= 2) {
        const bool white_light = pos.pieces[make_code(WHITE, BISHOP)] & LIGHT_SQUARES;
        const bool black_light = pos.pieces[make_code(BLACK, BISHOP)] & LIGHT_SQUARES;
        if (white_light != black_light)
            sf = m[strong].rooks + m[strong].queens > 0 ? 0.9f : 0.6f;
    }
    const int ps = m[strong].pawns, pw = m[weak].pawns;
    const int ms = pos.piece_material[strong], mw = pos.piece_material[weak];
    if (ps == 0) {
        const bool bishops_vs_knight =
            m[strong].bishops == 2 && ms == 6 && m[weak].knights == 1 && mw == 3 && pw == 0;
        sf = bishops_vs_knight ? SF_PAWNLESS_BISHOPS
                               : static_cast<float>(ms * SF_PAWNLESS_STEP + SF_PAWNLESS_BASE);
    }
    if (ps <= MAX_FEW_PAWNS && (ms + ps) - (mw + pw) <= 1 && mw >= 1) {
        const bool weak_minor = m[weak].knights + m[weak].bishops > 0;
        if (ps == 1)
            sf *= weak_minor ? 0.6f : 0.8f;
        else
            sf *= weak_minor ? 0.8f : 0.9f;
    }
    return sf;
}

} // namespace tarn
