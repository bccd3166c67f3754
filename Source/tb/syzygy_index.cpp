#include "tb/syzygy_index.h"

#include <array>
#include <cstring>
#include <utility>

namespace tarn {

namespace {

constexpr int BINOMIAL_K     = 7;
constexpr int PAWN_SQUARES   = 48; // a2..h7
constexpr int PAWN_SLOTS     = 24; // six ranks on each of four file groups
constexpr int MAX_LEAD_PAWNS = 5;
constexpr int TRIPLE_OFF     = 23436; // placements with the first piece off the diagonal
constexpr int TRIPLE_SECOND  = 6944;  // first on the diagonal, second off it
constexpr int TRIPLE_THIRD   = 784;   // first two on the diagonal, third off it

constexpr int file_group(int sq) {
    return std::min(file_of(sq), 7 - file_of(sq));
}
constexpr bool on_diagonal(int sq) {
    return rank_of(sq) == file_of(sq);
}
constexpr bool above_diagonal(int sq) {
    return rank_of(sq) > file_of(sq);
}
constexpr int transpose(int sq) {
    return 8 * file_of(sq) + rank_of(sq);
}
constexpr int pawn_slot(int sq) {
    return 6 * file_group(sq) + rank_of(sq) - 1;
}

using BinomialTable = std::array<std::array<std::uint64_t, BINOMIAL_K>, 64>;
constexpr BinomialTable make_binomial() {
    BinomialTable c{};
    for (int n = 0; n < 64; ++n) {
        c[n][0] = 1;
        for (int k = 1; k < BINOMIAL_K; ++k)
            c[n][k] = n == 0 ? 0 : c[n - 1][k - 1] + c[n - 1][k];
    }
    return c;
}
constexpr BinomialTable BINOMIAL = make_binomial();

// n choose k; 0 when n < k or n < 0.
constexpr std::uint64_t choose(int n, int k) {
    return n < 0 || n < k || n > 63 || k >= BINOMIAL_K ? 0 : BINOMIAL[n][k];
}

// Triangle a1-d1-d4: the six squares below the diagonal, then the four on it; -1 elsewhere.
constexpr std::array<int, 64> make_tri() {
    std::array<int, 64> t{};
    for (int& v : t)
        v = -1;
    const int below[6] = {1, 2, 3, 10, 11, 19};
    const int diag[4]  = {0, 9, 18, 27};
    for (int i = 0; i < 6; ++i)
        t[below[i]] = i;
    for (int i = 0; i < 4; ++i)
        t[diag[i]] = 6 + i;
    return t;
}
constexpr std::array<int, 64> TRI = make_tri();

// The 28 squares below the diagonal, numbered in square order; -1 elsewhere.
constexpr std::array<int, 64> make_lower() {
    std::array<int, 64> t{};
    int code = 0;
    for (int sq = 0; sq < 64; ++sq)
        t[sq] = rank_of(sq) < file_of(sq) ? code++ : -1;
    return t;
}
constexpr std::array<int, 64> LOWER = make_lower();

constexpr bool king_step(int a, int b) {
    const int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
    return a != b && df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// Placement numbers of the two kings: first king by its triangle number, second by square.
using KingTable = std::array<std::array<int, 64>, 10>;
constexpr KingTable make_kk() {
    KingTable kk{};
    for (auto& row : kk)
        for (int& v : row)
            v = -1;
    int tri_square[10] = {};
    for (int sq = 0; sq < 64; ++sq)
        if (TRI[sq] >= 0)
            tri_square[TRI[sq]] = sq;
    int code           = 0;
    int deferred_t[64] = {}, deferred_s[64] = {}, deferred = 0;
    for (int t = 0; t < 10; ++t) {
        const int s1 = tri_square[t];
        for (int s2 = 0; s2 < 64; ++s2) {
            if (s2 == s1 || king_step(s1, s2))
                continue;
            if (on_diagonal(s1) && above_diagonal(s2))
                continue;
            if (on_diagonal(s1) && on_diagonal(s2)) {
                deferred_t[deferred]   = t;
                deferred_s[deferred++] = s2;
                continue;
            }
            kk[t][s2] = code++;
        }
    }
    for (int i = 0; i < deferred; ++i)
        kk[deferred_t[i]][deferred_s[i]] = code++;
    return kk;
}
constexpr KingTable KK = make_kk();

// Pawn ordering value: higher means more suitable as the leading pawn; 0 off ranks 2..7.
constexpr std::array<int, 64> make_ptw() {
    std::array<int, 64> t{};
    int v = PAWN_SQUARES - 1;
    for (int f = 0; f < 4; ++f)
        for (int r = 1; r <= 6; ++r) {
            t[8 * r + f]       = v--;
            t[8 * r + (7 - f)] = v--;
        }
    return t;
}
constexpr std::array<int, 64> PTW = make_ptw();

struct PawnTables {
    std::uint64_t offset[MAX_LEAD_PAWNS + 1][PAWN_SLOTS] = {};
    std::uint64_t size[MAX_LEAD_PAWNS + 1][4]            = {};
};
constexpr PawnTables make_pawn_tables() {
    PawnTables p{};
    for (int l = 1; l <= MAX_LEAD_PAWNS; ++l)
        for (int f = 0; f < 4; ++f) {
            std::uint64_t acc = 0;
            for (int r = 1; r <= 6; ++r) {
                const int sq               = 8 * r + f;
                p.offset[l][pawn_slot(sq)] = acc;
                acc += choose(PTW[sq], l - 1);
            }
            p.size[l][f] = acc;
        }
    return p;
}
constexpr PawnTables PAWN_TABLES = make_pawn_tables();

// Sorts the few squares of one group by a key, smallest first.
template <typename Key> void sort_squares(int* first, int count, Key key) {
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && key(first[j]) < key(first[j - 1]); --j)
            std::swap(first[j], first[j - 1]);
}
int square_key(int sq) {
    return sq;
}
int ptw_key(int sq) {
    return PTW[sq];
}

// Digit of a group of t like pieces at p[first..]: each square numbered among the squares
// that the pieces before the group (and `skip` squares below them) leave free.
std::uint64_t free_square_digit(int* p, int first, int t, int skip) {
    sort_squares(p + first, t, square_key);
    std::uint64_t digit = 0;
    for (int j = 0; j < t; ++j) {
        const int q = p[first + j];
        int below   = 0;
        for (int k = 0; k < first; ++k)
            below += p[k] < q;
        digit += choose(q - below - skip, j + 1);
    }
    return digit;
}

// Leading pawns (and the other colour's pawns) of a pawn table, after the file mirror.
bool index_pawns(const TbSubTable& st, int* p, std::uint64_t& idx) {
    const int lp = st.lead_pawns, op = st.other_pawns;
    int lead = 0;
    for (int j = 1; j < lp; ++j)
        if (pawn_slot(p[j]) < pawn_slot(p[lead]))
            lead = j;
    std::swap(p[0], p[lead]);
    if (file_of(p[0]) >= 4)
        for (int j = 0; j < st.pieces; ++j)
            p[j] ^= 7;
    if (file_of(p[0]) != st.file)
        return false;
    sort_squares(p + 1, lp - 1, ptw_key);
    std::uint64_t g0 = PAWN_TABLES.offset[lp][pawn_slot(p[0])];
    for (int j = 1; j < lp; ++j)
        g0 += choose(PTW[p[j]], j);
    idx += g0 * st.factor[0];
    // The other pawns are numbered among a2..h7 less the leading pawns below them.
    if (op > 0)
        idx += free_square_digit(p, lp, op, 8) * st.factor[1];
    return true;
}

// Leading group of a table without pawns, after folding the board into the a1-d1-d4 triangle.
bool index_leaders(const TbSubTable& st, int* p, std::uint64_t& idx) {
    const int n = st.pieces;
    if (file_of(p[0]) >= 4)
        for (int j = 0; j < n; ++j)
            p[j] ^= 7;
    if (rank_of(p[0]) >= 4)
        for (int j = 0; j < n; ++j)
            p[j] ^= 56;
    const int lead_n = st.lead_kind == TB_LEAD_TRIPLE ? 3 : 2;
    for (int j = 0; j < lead_n; ++j) {
        if (on_diagonal(p[j]))
            continue;
        if (above_diagonal(p[j]))
            for (int k = 0; k < n; ++k)
                p[k] = transpose(p[k]);
        break;
    }
    if (TRI[p[0]] < 0)
        return false;
    int v;
    if (st.lead_kind == TB_LEAD_KINGS) {
        v = KK[TRI[p[0]]][p[1]];
    } else {
        const int i1 = p[1] > p[0];
        const int i2 = (p[2] > p[0]) + (p[2] > p[1]);
        if (!on_diagonal(p[0]))
            v = (TRI[p[0]] * 63 + (p[1] - i1)) * 62 + (p[2] - i2);
        else if (!on_diagonal(p[1]))
            v = TRIPLE_OFF + (rank_of(p[0]) * 28 + LOWER[p[1]]) * 62 + (p[2] - i2);
        else if (!on_diagonal(p[2]))
            v = TRIPLE_OFF + TRIPLE_SECOND + rank_of(p[0]) * 196 + (rank_of(p[1]) - i1) * 28 +
                LOWER[p[2]];
        else
            v = TRIPLE_OFF + TRIPLE_SECOND + TRIPLE_THIRD + rank_of(p[0]) * 42 +
                (rank_of(p[1]) - i1) * 6 + (rank_of(p[2]) - i2);
    }
    if (v < 0 || v >= TB_TRIPLE_SIZE)
        return false;
    idx += static_cast<std::uint64_t>(v) * st.factor[0];
    return true;
}

} // namespace

bool tb_set_layout(TbSubTable& st, const TbMaterial& m, const std::uint8_t* codes, int order,
                   int order2, int file) {
    const int n             = m.pieces;
    std::uint8_t seen[2][8] = {};
    for (int i = 0; i < n; ++i) {
        const int t = type_of(codes[i]);
        if (t < PAWN || t > KING || (codes[i] & ~15))
            return false;
        seen[colour_of(codes[i])][t] += 1;
        st.codes[i] = codes[i];
    }
    if (std::memcmp(seen, m.count, sizeof seen) != 0)
        return false;
    st.pieces = n;
    st.file   = file;
    std::uint64_t group_size[TB_MAX_PIECES];
    int i = 0, g = 0;
    if (m.has_pawns) {
        const int lead = codes[0];
        if (type_of(lead) != PAWN)
            return false;
        const int other = lead ^ 8;
        st.lead_kind    = TB_LEAD_PAWNS;
        st.lead_pawns   = m.count[colour_of(lead)][PAWN];
        st.other_pawns  = m.count[colour_of(other)][PAWN];
        const int lp    = st.lead_pawns;
        const int op    = st.other_pawns;
        if (lp > MAX_LEAD_PAWNS)
            return false;
        for (int j = 0; j < lp + op; ++j)
            if (codes[j] != (j < lp ? lead : other))
                return false;
        st.group_len[g] = static_cast<std::uint8_t>(lp);
        group_size[g++] = PAWN_TABLES.size[lp][file];
        if (op > 0) {
            st.group_len[g] = static_cast<std::uint8_t>(op);
            group_size[g++] = choose(PAWN_SQUARES - lp, op);
        }
        i = lp + op;
    } else {
        bool unique = false;
        for (int c = 0; c < 2; ++c)
            for (int t = PAWN; t < KING; ++t)
                unique |= m.count[c][t] == 1;
        if (unique) {
            if (codes[0] == codes[1] || codes[0] == codes[2] || codes[1] == codes[2])
                return false;
            st.lead_kind  = TB_LEAD_TRIPLE;
            group_size[g] = TB_TRIPLE_SIZE;
            i             = 3;
        } else {
            if (type_of(codes[0]) != KING || type_of(codes[1]) != KING)
                return false;
            st.lead_kind  = TB_LEAD_KINGS;
            group_size[g] = TB_KINGS_SIZE;
            i             = 2;
        }
        st.group_len[g++] = static_cast<std::uint8_t>(i);
    }
    while (i < n) {
        int t = 1;
        while (i + t < n && codes[i + t] == codes[i])
            ++t;
        st.group_len[g] = static_cast<std::uint8_t>(t);
        group_size[g++] = choose(64 - i, t);
        i += t;
    }
    st.groups = g;
    // Digit positions: the leading group at `order`, the other pawns at `order2`, the rest in
    // list order into the free positions.
    const int fixed = st.other_pawns > 0 ? 2 : 1;
    if (order >= g || (fixed == 2 && (order2 >= g || order2 == order)))
        return false;
    int group_at[TB_MAX_PIECES];
    for (int k = 0; k < g; ++k)
        group_at[k] = -1;
    group_at[order] = 0;
    if (fixed == 2)
        group_at[order2] = 1;
    int next = fixed;
    for (int k = 0; k < g; ++k)
        if (group_at[k] < 0)
            group_at[k] = next++;
    std::uint64_t mult = 1;
    for (int k = 0; k < g; ++k) {
        st.factor[group_at[k]] = mult;
        mult *= group_size[group_at[k]];
    }
    st.size = mult;
    return mult > 0;
}

int tb_pawn_file(const Bitboard by_code[PIECE_CODES], int lead_code) {
    Bitboard pawns = by_code[lead_code & 15];
    int best       = -1;
    while (pawns) {
        const int sq = pop_lsb(pawns);
        if (best < 0 || pawn_slot(sq) < pawn_slot(best))
            best = sq;
    }
    return best < 0 ? 0 : file_group(best);
}

bool tb_encode(const TbSubTable& st, const Bitboard by_code[PIECE_CODES], std::uint64_t& index) {
    const int n          = st.pieces;
    int p[TB_MAX_PIECES] = {};
    Bitboard left[PIECE_CODES];
    std::memcpy(left, by_code, sizeof left);
    for (int i = 0; i < n; ++i) {
        if (!left[st.codes[i]])
            return false;
        p[i] = pop_lsb(left[st.codes[i]]);
        if (type_of(st.codes[i]) == PAWN && (p[i] < 8 || p[i] > 55))
            return false;
    }
    std::uint64_t idx = 0;
    if (st.lead_kind == TB_LEAD_PAWNS ? !index_pawns(st, p, idx) : !index_leaders(st, p, idx))
        return false;
    int next = st.lead_kind == TB_LEAD_PAWNS    ? st.lead_pawns + st.other_pawns
               : st.lead_kind == TB_LEAD_TRIPLE ? 3
                                                : 2;
    // Later groups: each square numbered among the squares the earlier pieces left free.
    int g = st.lead_kind == TB_LEAD_PAWNS && st.other_pawns > 0 ? 2 : 1;
    for (; next < n; ++g) {
        const int t = st.group_len[g];
        idx += free_square_digit(p, next, t, 0) * st.factor[g];
        next += t;
    }
    if (idx >= st.size)
        return false;
    index = idx;
    return true;
}

int tb_kk_index(int tri, int square) {
    return tri >= 0 && tri < 10 && square >= 0 && square < 64 ? KK[tri][square] : -1;
}

int tb_tri_index(int square) {
    return square >= 0 && square < 64 ? TRI[square] : -1;
}

std::uint64_t tb_pawn_group_size(int lead_pawns, int file) {
    return lead_pawns >= 1 && lead_pawns <= MAX_LEAD_PAWNS && file >= 0 && file < 4
               ? PAWN_TABLES.size[lead_pawns][file]
               : 0;
}

std::uint64_t tb_pawn_slot_offset(int lead_pawns, int square) {
    return lead_pawns >= 1 && lead_pawns <= MAX_LEAD_PAWNS && square >= 8 && square < 56
               ? PAWN_TABLES.offset[lead_pawns][pawn_slot(square)]
               : 0;
}

} // namespace tarn
