#pragma once
// Where a placement of pieces sits in a Syzygy sub-table. The index is a mixed-radix number:
// one digit per group of pieces (the leading group, the other colour's pawns, then each run of
// like pieces), numbered after the board has been folded by its symmetries; the piece records
// of the file fix the placement order and the significance of each digit.

#include <cstdint>

#include "core/board.h"
#include "tb/syzygy_decode.h"

namespace tarn {

constexpr int TB_TRIPLE_SIZE = 31332; // placements of three unique leading pieces
constexpr int TB_KINGS_SIZE  = 462;   // placements of the two kings

// Groups, digit multipliers and size of a sub-table from its piece list and digit orders.
// False when the list does not fit the material or the orders are impossible.
bool tb_set_layout(TbSubTable& sub, const TbMaterial& material, const std::uint8_t* codes,
                   int order, int order2, int file);
// Leading-pawn file group 0..3 of a placement, given the leading pawn code of the table.
// `by_code` holds the squares of each piece code in the table's colours and orientation.
int tb_pawn_file(const Bitboard by_code[PIECE_CODES], int lead_code);
// Index of a placement in a sub-table; false when the placement does not fit the layout.
bool tb_encode(const TbSubTable& sub, const Bitboard by_code[PIECE_CODES], std::uint64_t& index);

// The constant tables, for tests: triangle number of a square (-1 outside a1-d1-d4), number
// of a king pair (-1 when impossible), leading-pawn group size and slot offset.
int tb_tri_index(int square);
int tb_kk_index(int tri, int square);
std::uint64_t tb_pawn_group_size(int lead_pawns, int file);
std::uint64_t tb_pawn_slot_offset(int lead_pawns, int square);

} // namespace tarn
