#include "tb/syzygy_decode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace tarn {

namespace {

constexpr int BINOMIAL_K              = 7;
constexpr int PAWN_SQUARES            = 48; // a2..h7
constexpr int PAWN_SLOTS              = 24; // six ranks on each of four file groups
constexpr int MAX_LEAD_PAWNS          = 5;
constexpr int LEAF                    = 0xFFF;
constexpr int MAX_SYMBOLS             = 4095;
constexpr std::uint32_t MAX_EXPANSION = 65536; // a block holds at most this many values
constexpr int MAX_BLOCK_BITS          = 20;
constexpr int MAX_SPAN_BITS           = 40;
constexpr int TRAILER_BYTES           = 16;
constexpr int REFILL_SLACK            = 8; // bytes the decoder may read beyond a block's end

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

std::uint32_t read_u16(const std::uint8_t* d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at] | (d[at + 1] << 8));
}
std::uint32_t read_u32(const std::uint8_t* d, std::size_t at) {
    return read_u16(d, at) | (read_u16(d, at + 2) << 16);
}
std::uint64_t read_be32(const std::uint8_t* p) {
    return (std::uint64_t{p[0]} << 24) | (std::uint64_t{p[1]} << 16) | (std::uint64_t{p[2]} << 8) |
           std::uint64_t{p[3]};
}
std::size_t align_to(std::size_t at, std::size_t unit) {
    return (at + unit - 1) / unit * unit;
}

int symbol_left(const std::uint8_t* sym) {
    return sym[0] | ((sym[1] & 15) << 8);
}
int symbol_right(const std::uint8_t* sym) {
    return (sym[1] >> 4) | (sym[2] << 4);
}

// Places the groups of one piece list and gives each its digit multiplier.
bool parse_layout(TbSubTable& st, const TbMaterial& m, const std::uint8_t* codes, int order,
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

// Symbol expansion lengths by a depth-first walk that rejects cycles and overlong symbols.
bool count_symbols(TbSubTable& st, const std::uint8_t* symbols) {
    const int n = st.nsym;
    st.sym_count.assign(static_cast<std::size_t>(n), 0);
    std::vector<std::uint8_t> state(static_cast<std::size_t>(n), 0); // 0 new, 1 open, 2 done
    std::vector<int> stack;
    for (int s = 0; s < n; ++s) {
        stack.push_back(s);
        while (!stack.empty()) {
            const int x = stack.back();
            if (state[x] == 2) {
                stack.pop_back();
                continue;
            }
            const std::uint8_t* rec = symbols + 3 * x;
            const int l = symbol_left(rec), r = symbol_right(rec);
            if (r == LEAF) {
                st.sym_count[x] = 1;
                state[x]        = 2;
                stack.pop_back();
                continue;
            }
            if (l >= n || r >= n)
                return false;
            if (state[x] == 0) {
                state[x] = 1;
                for (const int child : {l, r}) {
                    if (state[child] == 1)
                        return false;
                    if (state[child] == 0)
                        stack.push_back(child);
                }
                continue;
            }
            const std::uint32_t total = st.sym_count[l] + st.sym_count[r];
            if (state[l] != 2 || state[r] != 2 || total > MAX_EXPANSION)
                return false;
            st.sym_count[x] = total;
            state[x]        = 2;
            stack.pop_back();
        }
    }
    return true;
}

// Reads one sub-table descriptor at `at` and moves `at` past it.
bool parse_descriptor(TbSubTable& st, const std::uint8_t* d, std::size_t size, std::size_t& at) {
    if (at + 2 > size)
        return false;
    st.flags = d[at];
    if (st.flags & TB_SINGLE_VALUE) {
        st.single_value = d[at + 1];
        at += 2;
        return true;
    }
    if (at + 12 > size)
        return false;
    st.blockbits  = d[at + 1];
    st.spanbits   = d[at + 2];
    st.pad_blocks = d[at + 3];
    st.nblocks    = read_u32(d, at + 4);
    st.max_len    = d[at + 8];
    st.min_len    = d[at + 9];
    if (st.blockbits < 1 || st.blockbits > MAX_BLOCK_BITS || st.spanbits < 1 ||
        st.spanbits > MAX_SPAN_BITS || st.nblocks == 0 || st.min_len < 1 ||
        st.max_len > TB_MAX_CODE_BITS || st.min_len > st.max_len)
        return false;
    const int h  = st.max_len - st.min_len + 1;
    st.lowest_at = at + 10;
    if (st.lowest_at + 2 * static_cast<std::size_t>(h) + 2 > size)
        return false;
    st.nsym               = static_cast<int>(read_u16(d, st.lowest_at + 2 * h));
    st.symbols_at         = st.lowest_at + 2 * h + 2;
    const std::size_t end = st.symbols_at + 3 * static_cast<std::size_t>(st.nsym) + (st.nsym & 1);
    if (st.nsym < 1 || st.nsym > MAX_SYMBOLS || end > size)
        return false;
    st.base[st.max_len] = 0;
    for (int len = st.max_len - 1; len >= st.min_len; --len) {
        const std::uint32_t lo      = read_u16(d, st.lowest_at + 2 * (len - st.min_len));
        const std::uint32_t lo_next = read_u16(d, st.lowest_at + 2 * (len + 1 - st.min_len));
        if (lo < lo_next)
            return false;
        st.base[len] = (st.base[len + 1] + lo - lo_next) / 2;
    }
    at = end;
    return count_symbols(st, d + st.symbols_at);
}

// The four value maps of a DTZ sub-table at `at`; moves `at` past them.
bool parse_maps(TbSubTable& st, std::size_t size, const std::uint8_t* d, std::size_t& at) {
    st.wide_maps = (st.flags & TB_DTZ_WIDE_MAPS) != 0;
    if (st.wide_maps)
        at = align_to(at, 2);
    for (int i = 0; i < 4; ++i) {
        const std::size_t unit = st.wide_maps ? 2 : 1;
        if (at + unit > size)
            return false;
        st.map_len[i] = static_cast<int>(st.wide_maps ? read_u16(d, at) : d[at]);
        st.map_at[i]  = at + unit;
        at            = st.map_at[i] + unit * static_cast<std::size_t>(st.map_len[i]);
        if (at > size)
            return false;
    }
    return true;
}

} // namespace

bool tb_material_from_name(const char* name, TbMaterial& material) {
    material    = TbMaterial{};
    int side    = 0;
    int letters = 0;
    std::string_view text(name);
    if (text.size() < 3 || text.size() >= TB_NAME_CHARS)
        return false;
    bool side_start = true;
    for (const char ch : text) {
        if (ch == 'v') {
            if (side == 1 || side_start)
                return false;
            side       = 1;
            side_start = true;
            continue;
        }
        const char* at = std::strchr(PIECE_LETTERS, ch);
        if (ch == ' ' || !at || *at == 0)
            return false;
        const int type = static_cast<int>(at - PIECE_LETTERS);
        if ((type == KING) != side_start)
            return false;
        side_start = false;
        material.count[side][type] += 1;
        ++letters;
    }
    if (side != 1 || side_start || letters < 3 || letters > TB_MAX_PIECES)
        return false;
    material.pieces    = letters;
    material.has_pawns = material.count[0][PAWN] + material.count[1][PAWN] > 0;
    material.symmetric = std::memcmp(material.count[0], material.count[1], 8) == 0;
    return true;
}

bool tb_parse_file(TbFile& file, const std::uint8_t* data, std::size_t size,
                   const TbMaterial& material, bool dtz) {
    file = TbFile{};
    if (size < 64 + TRAILER_BYTES || size % 64 != TRAILER_BYTES || material.pieces < 3 ||
        material.pieces > TB_MAX_PIECES)
        return false;
    if (read_u32(data, 0) != (dtz ? TB_DTZ_MAGIC : TB_WDL_MAGIC))
        return false;
    const int flags = data[4];
    if (((flags & 2) != 0) != material.has_pawns)
        return false;
    if (!dtz && ((flags & 1) != 0) == material.symmetric)
        return false;
    file.data        = data;
    file.size        = size;
    file.is_dtz      = dtz;
    file.file_groups = material.has_pawns ? 4 : 1;
    file.sides       = !dtz && !material.symmetric ? 2 : 1;
    const bool both  = material.count[0][PAWN] > 0 && material.count[1][PAWN] > 0;
    const int n      = material.pieces;
    const int count  = file.file_groups * file.sides;

    // Piece records, one per leading-pawn file.
    std::size_t at = 5;
    for (int f = 0; f < file.file_groups; ++f) {
        if (at + 1 + (both ? 1 : 0) + static_cast<std::size_t>(n) > size)
            return false;
        const int order_byte  = data[at++];
        const int order2_byte = both ? data[at++] : 0xFF;
        for (int s = 0; s < file.sides; ++s) {
            std::uint8_t codes[TB_MAX_PIECES];
            for (int i = 0; i < n; ++i)
                codes[i] = static_cast<std::uint8_t>((data[at + i] >> (4 * s)) & 15);
            if (!parse_layout(file.sub[f * file.sides + s], material, codes,
                              (order_byte >> (4 * s)) & 15, (order2_byte >> (4 * s)) & 15, f))
                return false;
        }
        at += static_cast<std::size_t>(n);
    }
    at = align_to(at, 2);

    for (int k = 0; k < count; ++k)
        if (!parse_descriptor(file.sub[k], data, size, at))
            return false;
    if (dtz) {
        for (int k = 0; k < count; ++k)
            if ((file.sub[k].flags & TB_DTZ_MAPPED) && !parse_maps(file.sub[k], size, data, at))
                return false;
        at = align_to(at, 2);
    }
    // Sparse indexes, block-length tables and data, each in sub-table order.
    for (int k = 0; k < count; ++k) {
        TbSubTable& st = file.sub[k];
        if (st.flags & TB_SINGLE_VALUE)
            continue;
        st.sparse_at = at;
        at += 6 * ((st.size + (std::uint64_t{1} << st.spanbits) - 1) >> st.spanbits);
        if (at > size)
            return false;
    }
    for (int k = 0; k < count; ++k) {
        TbSubTable& st = file.sub[k];
        if (st.flags & TB_SINGLE_VALUE)
            continue;
        st.blocklen_at = at;
        at += 2 * (std::uint64_t{st.nblocks} + static_cast<std::uint64_t>(st.pad_blocks));
        if (at > size)
            return false;
    }
    for (int k = 0; k < count; ++k) {
        TbSubTable& st = file.sub[k];
        if (st.flags & TB_SINGLE_VALUE)
            continue;
        st.data_at = align_to(at, 64);
        at         = st.data_at + (std::uint64_t{st.nblocks} << st.blockbits);
        if (at > size)
            return false;
    }
    return align_to(at, 64) + TRAILER_BYTES == size;
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
    int i = 0, g = 0;
    if (st.lead_kind == TB_LEAD_PAWNS) {
        const int lp = st.lead_pawns, op = st.other_pawns;
        int lead = 0;
        for (int j = 1; j < lp; ++j)
            if (pawn_slot(p[j]) < pawn_slot(p[lead]))
                lead = j;
        std::swap(p[0], p[lead]);
        if (file_of(p[0]) >= 4)
            for (int j = 0; j < n; ++j)
                p[j] ^= 7;
        if (file_of(p[0]) != st.file)
            return false;
        sort_squares(p + 1, lp - 1, ptw_key);
        std::uint64_t g0 = PAWN_TABLES.offset[lp][pawn_slot(p[0])];
        for (int j = 1; j < lp; ++j)
            g0 += choose(PTW[p[j]], j);
        idx += g0 * st.factor[g++];
        i = lp;
        if (op > 0) {
            sort_squares(p + lp, op, square_key);
            std::uint64_t g1 = 0;
            for (int j = 0; j < op; ++j) {
                const int q = p[lp + j];
                int below   = 0;
                for (int k = 0; k < lp; ++k)
                    below += p[k] < q;
                g1 += choose(q - below - 8, j + 1);
            }
            idx += g1 * st.factor[g++];
            i += op;
        }
    } else {
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
        std::uint64_t g0;
        if (st.lead_kind == TB_LEAD_KINGS) {
            const int kk = KK[TRI[p[0]]][p[1]];
            if (kk < 0)
                return false;
            g0 = static_cast<std::uint64_t>(kk);
        } else {
            const int i1 = p[1] > p[0];
            const int i2 = (p[2] > p[0]) + (p[2] > p[1]);
            int v;
            if (!on_diagonal(p[0]))
                v = (TRI[p[0]] * 63 + (p[1] - i1)) * 62 + (p[2] - i2);
            else if (!on_diagonal(p[1]))
                v = 23436 + (rank_of(p[0]) * 28 + LOWER[p[1]]) * 62 + (p[2] - i2);
            else if (!on_diagonal(p[2]))
                v = 23436 + 6944 + rank_of(p[0]) * 196 + (rank_of(p[1]) - i1) * 28 + LOWER[p[2]];
            else
                v = 23436 + 6944 + 784 + rank_of(p[0]) * 42 + (rank_of(p[1]) - i1) * 6 +
                    (rank_of(p[2]) - i2);
            if (v < 0 || v >= TB_TRIPLE_SIZE)
                return false;
            g0 = static_cast<std::uint64_t>(v);
        }
        idx += g0 * st.factor[g++];
        i = lead_n;
    }
    // Later groups: each square numbered among the squares the earlier pieces left free.
    for (; i < n; ++g) {
        const int t = st.group_len[g];
        sort_squares(p + i, t, square_key);
        std::uint64_t gk = 0;
        for (int j = 0; j < t; ++j) {
            const int q = p[i + j];
            int below   = 0;
            for (int k = 0; k < i; ++k)
                below += p[k] < q;
            gk += choose(q - below, j + 1);
        }
        idx += gk * st.factor[g];
        i += t;
    }
    if (idx >= st.size)
        return false;
    index = idx;
    return true;
}

int tb_read_value(const TbFile& file, int sub, std::uint64_t index) {
    const TbSubTable& st = file.sub[sub];
    if (st.flags & TB_SINGLE_VALUE)
        return st.single_value;
    if (index >= st.size)
        return TB_READ_FAILED;
    const std::uint8_t* d = file.data;
    // Sparse index: the block and offset of the middle of the span, then walk to the value.
    const std::size_t entry = st.sparse_at + 6 * (index >> st.spanbits);
    std::uint64_t block     = read_u32(d, entry);
    std::int64_t offset =
        static_cast<std::int64_t>(read_u16(d, entry + 4)) +
        static_cast<std::int64_t>(index & ((std::uint64_t{1} << st.spanbits) - 1)) -
        (std::int64_t{1} << (st.spanbits - 1));
    // The entry may name a padding block past the last one when the walk goes backwards.
    const std::uint64_t lengths = std::uint64_t{st.nblocks} + st.pad_blocks;
    if (block >= lengths)
        return TB_READ_FAILED;
    while (offset < 0) {
        if (block == 0)
            return TB_READ_FAILED;
        --block;
        offset += read_u16(d, st.blocklen_at + 2 * block) + 1;
    }
    while (offset > static_cast<std::int64_t>(read_u16(d, st.blocklen_at + 2 * block))) {
        offset -= read_u16(d, st.blocklen_at + 2 * block) + 1;
        if (++block >= lengths)
            return TB_READ_FAILED;
    }
    if (block >= st.nblocks)
        return TB_READ_FAILED;
    // Canonical Huffman codes, most significant bit first, in a 64-bit window.
    const std::uint8_t* p     = d + st.data_at + (block << st.blockbits);
    const std::uint8_t* limit = p + (std::size_t{1} << st.blockbits) + REFILL_SLACK;
    std::uint64_t window      = (read_be32(p) << 32) | read_be32(p + 4);
    int bits                  = 64;
    p += 8;
    const std::uint8_t* symbols = d + st.symbols_at;
    int sym;
    for (;;) {
        int len = st.min_len;
        while (len < st.max_len && window < (st.base[len] << (64 - len)))
            ++len;
        const std::uint64_t code = window >> (64 - len);
        if (code < st.base[len])
            return TB_READ_FAILED;
        const std::uint64_t s =
            read_u16(d, st.lowest_at + 2 * (len - st.min_len)) + (code - st.base[len]);
        if (s >= static_cast<std::uint64_t>(st.nsym))
            return TB_READ_FAILED;
        sym = static_cast<int>(s);
        if (offset < static_cast<std::int64_t>(st.sym_count[sym]))
            break;
        offset -= st.sym_count[sym];
        window <<= len;
        bits -= len;
        if (bits <= 32) {
            if (p + 4 > limit)
                return TB_READ_FAILED;
            window |= read_be32(p) << (32 - bits);
            p += 4;
            bits += 32;
        }
    }
    // Pair symbols stand for their left expansion followed by their right one.
    while (symbol_right(symbols + 3 * sym) != LEAF) {
        const int l = symbol_left(symbols + 3 * sym);
        if (offset < static_cast<std::int64_t>(st.sym_count[l])) {
            sym = l;
        } else {
            offset -= st.sym_count[l];
            sym = symbol_right(symbols + 3 * sym);
        }
    }
    return symbol_left(symbols + 3 * sym);
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
