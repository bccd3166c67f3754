#pragma once
// Reading Syzygy table files: material from a table name, the parse of a mapped ".rtbw" or
// ".rtbz" file into sub-tables and the value stored at an index. A parsed file keeps byte offsets
// into the mapping; every offset is checked against the file size when the file is parsed, and the
// value reader checks block numbers, code lengths and symbols as it goes, so a corrupt file makes a
// read fail instead of reading outside the mapping.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/board.h"
#include "tb/probe_board.h"

namespace tarn {

constexpr int TB_NAME_CHARS          = 16;
constexpr int TB_MAX_SUBTABLES       = 8; // four leading-pawn files times two sides to move
constexpr int TB_MAX_CODE_BITS       = 32;
constexpr int TB_LEAD_TRIPLE         = 0; // three unique pieces lead (31332 placements)
constexpr int TB_LEAD_KINGS          = 1; // the two kings lead (462 placements)
constexpr int TB_LEAD_PAWNS          = 2; // the pawns of the leading colour lead
constexpr int TB_READ_FAILED         = -1;
constexpr std::uint32_t TB_WDL_MAGIC = 0x5D23E871;
constexpr std::uint32_t TB_DTZ_MAGIC = 0xA50C66D7;

// DTZ descriptor flags.
constexpr int TB_DTZ_STORED_SIDE = 0x01;
constexpr int TB_DTZ_MAPPED      = 0x02;
constexpr int TB_DTZ_WIN_PLIES   = 0x04;
constexpr int TB_DTZ_LOSS_PLIES  = 0x08;
constexpr int TB_DTZ_WIDE_MAPS   = 0x10;
constexpr int TB_SINGLE_VALUE    = 0x80;

// Material of a table in its own colours: colour 0 is the side named first.
struct TbMaterial {
    std::uint8_t count[2][8] = {}; // pieces per colour and type (kings included)
    int pieces               = 0;
    bool has_pawns           = false;
    bool symmetric           = false;
};

// One sub-table: the values of one leading-pawn file and side to move.
//   descriptor  flags u8 | blockbits u8 | spanbits u8 | pad u8 | nblocks u32 | maxlen u8 |
//               minlen u8 | lowest u16 x (maxlen - minlen + 1) | nsym u16 | symbols 3 bytes
//               x nsym | pad byte when nsym is odd
//   symbol      left 12 bits | right 12 bits; right 0xFFF marks a leaf whose value is left
struct TbSubTable {
    // --- index layout ---
    std::uint8_t codes[TB_MAX_PIECES]     = {}; // piece codes in placement order
    std::uint8_t group_len[TB_MAX_PIECES] = {}; // pieces per group, in placement order
    std::uint64_t factor[TB_MAX_PIECES]   = {}; // multiplier of each group's digit
    int pieces                            = 0;
    int groups                            = 0;
    int lead_kind                         = TB_LEAD_TRIPLE;
    int lead_pawns                        = 0; // pawns of the leading colour
    int other_pawns                       = 0; // pawns of the other colour
    int file                              = 0; // leading-pawn file group 0..3
    std::uint64_t size                    = 0; // number of index values
    // --- descriptor ---
    int flags                                = 0;
    int single_value                         = 0; // the value of every position when flagged
    int blockbits                            = 0;
    int spanbits                             = 0;
    std::uint32_t nblocks                    = 0;
    int pad_blocks                           = 0; // extra block-length entries after the last
    int min_len                              = 0;
    int max_len                              = 0;
    int nsym                                 = 0;
    std::uint64_t base[TB_MAX_CODE_BITS + 1] = {}; // smallest code of each length
    std::vector<std::uint32_t> sym_count;          // values each symbol expands to
    std::size_t lowest_at   = 0;
    std::size_t symbols_at  = 0;
    std::size_t sparse_at   = 0;
    std::size_t blocklen_at = 0;
    std::size_t data_at     = 0;
    // --- DTZ value maps: win, loss, cursed win, blessed loss ---
    std::size_t map_at[4] = {};
    int map_len[4]        = {};
    bool wide_maps        = false;
};

// A parsed table file; the bytes stay owned by whoever mapped them.
struct TbFile {
    const std::uint8_t* data = nullptr;
    std::size_t size         = 0;
    bool is_dtz              = false;
    int file_groups          = 1; // 4 with pawns
    int sides                = 1; // 2 for a WDL file of unequal material
    TbSubTable sub[TB_MAX_SUBTABLES];
};

// Material of a table name such as "KQRvKR"; false when the name is not one.
bool tb_material_from_name(const char* name, TbMaterial& material);
// Parses a mapped file of the given material. False when the file is corrupt or does not
// match the material; `file` must not be used then.
bool tb_parse_file(TbFile& file, const std::uint8_t* data, std::size_t size,
                   const TbMaterial& material, bool dtz);

// Value stored at an index (0..4 in WDL files, the raw 12-bit value in DTZ files), or
// TB_READ_FAILED when the data is corrupt.
int tb_read_value(const TbFile& file, int sub, std::uint64_t index);

} // namespace tarn
