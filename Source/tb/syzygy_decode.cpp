#include "tb/syzygy_decode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "tb/syzygy_index.h"

namespace tarn {

namespace {

constexpr int LEAF                    = 0xFFF;
constexpr int MAX_SYMBOLS             = 4095;
constexpr std::uint32_t MAX_EXPANSION = 65536; // a block holds at most this many values
constexpr int MAX_BLOCK_BITS          = 20;
constexpr int MAX_SPAN_BITS           = 40;
constexpr int TRAILER_BYTES           = 16;
constexpr int REFILL_SLACK            = 8; // bytes the decoder may read beyond a block's end

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

// Piece records, one per leading-pawn file, from `at`; leaves `at` aligned after them.
bool parse_records(TbFile& file, const TbMaterial& material, std::size_t& at) {
    const bool both = material.count[0][PAWN] > 0 && material.count[1][PAWN] > 0;
    const int n     = material.pieces;
    for (int f = 0; f < file.file_groups; ++f) {
        if (at + 1 + (both ? 1 : 0) + static_cast<std::size_t>(n) > file.size)
            return false;
        const int order_byte  = file.data[at++];
        const int order2_byte = both ? file.data[at++] : 0xFF;
        for (int s = 0; s < file.sides; ++s) {
            std::uint8_t codes[TB_MAX_PIECES];
            for (int i = 0; i < n; ++i)
                codes[i] = static_cast<std::uint8_t>((file.data[at + i] >> (4 * s)) & 15);
            if (!tb_set_layout(file.sub[f * file.sides + s], material, codes,
                               (order_byte >> (4 * s)) & 15, (order2_byte >> (4 * s)) & 15, f))
                return false;
        }
        at += static_cast<std::size_t>(n);
    }
    at = align_to(at, 2);
    return true;
}

// Sparse indexes, block-length tables and data of every sub-table, each section in sub-table
// order; true when they end exactly where the trailer begins.
bool place_sections(TbFile& file, std::size_t at) {
    const int count = file.file_groups * file.sides;
    for (int pass = 0; pass < 3; ++pass)
        for (int k = 0; k < count; ++k) {
            TbSubTable& st = file.sub[k];
            if (st.flags & TB_SINGLE_VALUE)
                continue;
            if (pass == 0) {
                st.sparse_at = at;
                at += 6 * ((st.size + (std::uint64_t{1} << st.spanbits) - 1) >> st.spanbits);
            } else if (pass == 1) {
                st.blocklen_at = at;
                at += 2 * (std::uint64_t{st.nblocks} + static_cast<std::uint64_t>(st.pad_blocks));
            } else {
                st.data_at = align_to(at, 64);
                at         = st.data_at + (std::uint64_t{st.nblocks} << st.blockbits);
            }
            if (at > file.size)
                return false;
        }
    return align_to(at, 64) + TRAILER_BYTES == file.size;
}

// The block holding value `index` and its position there, from the sparse index.
bool find_block(const TbSubTable& st, const std::uint8_t* d, std::uint64_t index,
                std::uint64_t& block, std::int64_t& offset) {
    const std::size_t entry = st.sparse_at + 6 * (index >> st.spanbits);
    block                   = read_u32(d, entry);
    offset                  = static_cast<std::int64_t>(read_u16(d, entry + 4)) +
             static_cast<std::int64_t>(index & ((std::uint64_t{1} << st.spanbits) - 1)) -
             (std::int64_t{1} << (st.spanbits - 1));
    // The entry may name a padding block past the last one when the walk goes backwards.
    const std::uint64_t lengths = std::uint64_t{st.nblocks} + st.pad_blocks;
    if (block >= lengths)
        return false;
    while (offset < 0) {
        if (block == 0)
            return false;
        --block;
        offset += read_u16(d, st.blocklen_at + 2 * block) + 1;
    }
    while (offset > static_cast<std::int64_t>(read_u16(d, st.blocklen_at + 2 * block))) {
        offset -= read_u16(d, st.blocklen_at + 2 * block) + 1;
        if (++block >= lengths)
            return false;
    }
    return block < st.nblocks;
}

// Walks the canonical Huffman codes of a block (most significant bit first, through a 64-bit
// window) to the symbol whose expansion holds value `offset`; leaves the offset within it.
bool find_symbol(const TbSubTable& st, const std::uint8_t* d, std::uint64_t block,
                 std::int64_t& offset, int& sym) {
    const std::uint8_t* p     = d + st.data_at + (block << st.blockbits);
    const std::uint8_t* limit = p + (std::size_t{1} << st.blockbits) + REFILL_SLACK;
    std::uint64_t window      = (read_be32(p) << 32) | read_be32(p + 4);
    int bits                  = 64;
    p += 8;
    for (;;) {
        int len = st.min_len;
        while (len < st.max_len && window < (st.base[len] << (64 - len)))
            ++len;
        const std::uint64_t code = window >> (64 - len);
        if (code < st.base[len])
            return false;
        const std::uint64_t s =
            read_u16(d, st.lowest_at + 2 * (len - st.min_len)) + (code - st.base[len]);
        if (s >= static_cast<std::uint64_t>(st.nsym))
            return false;
        sym = static_cast<int>(s);
        if (offset < static_cast<std::int64_t>(st.sym_count[sym]))
            return true;
        offset -= st.sym_count[sym];
        window <<= len;
        bits -= len;
        if (bits <= 32) {
            if (p + 4 > limit)
                return false;
            window |= read_be32(p) << (32 - bits);
            p += 4;
            bits += 32;
        }
    }
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
    const int count  = file.file_groups * file.sides;
    std::size_t at   = 5;
    if (!parse_records(file, material, at))
        return false;
    for (int k = 0; k < count; ++k)
        if (!parse_descriptor(file.sub[k], data, size, at))
            return false;
    if (dtz) {
        for (int k = 0; k < count; ++k)
            if ((file.sub[k].flags & TB_DTZ_MAPPED) && !parse_maps(file.sub[k], size, data, at))
                return false;
        at = align_to(at, 2);
    }
    return place_sections(file, at);
}

int tb_read_value(const TbFile& file, int sub, std::uint64_t index) {
    const TbSubTable& st = file.sub[sub];
    if (st.flags & TB_SINGLE_VALUE)
        return st.single_value;
    std::uint64_t block;
    std::int64_t offset;
    int sym;
    if (index >= st.size || !find_block(st, file.data, index, block, offset) ||
        !find_symbol(st, file.data, block, offset, sym))
        return TB_READ_FAILED;
    // Pair symbols stand for their left expansion followed by their right one.
    const std::uint8_t* symbols = file.data + st.symbols_at;
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

} // namespace tarn
