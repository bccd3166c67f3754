#pragma once
// Moves on a bare probe position. The tablebase probes resolve captures and en passant and
// search one ply by themselves; they use this small legal move generator so that they never
// touch a search thread's Position, and make a move by copying the position.

#include <cstdint>

#include "core/board.h"

namespace tarn {

constexpr int TB_MAX_PIECES   = 6;   // kings included
constexpr int TB_MAX_MOVES    = 256; // more than any position of up to six pieces has
constexpr int TB_MOVE_CAPTURE = 1;   // en passant and capturing promotions included
constexpr int TB_MOVE_EP      = 2;
constexpr int TB_MOVE_PAWN    = 4;

// What the probes receive. The piece sets are unions over both colours.
struct ProbePosition {
    Bitboard white     = 0;
    Bitboard black     = 0;
    Bitboard kings     = 0;
    Bitboard queens    = 0;
    Bitboard rooks     = 0;
    Bitboard bishops   = 0;
    Bitboard knights   = 0;
    Bitboard pawns     = 0;
    unsigned rule50    = 0; // half-moves since the last capture or pawn move
    unsigned ep        = 0; // square a capturing pawn moves to; 0 when none
    bool white_to_move = true;
};

// One move of the probe generator.
struct TbMove {
    std::uint8_t from      = 0;
    std::uint8_t to        = 0;
    std::uint8_t promotion = 0; // piece type, 0 for none
    std::uint8_t kind      = 0; // TB_MOVE_ bits
};

// Piece type on a square, 0 when empty.
int tb_type_on(const ProbePosition& pos, int sq);
// True when the side to move stands in check.
bool tb_in_check(const ProbePosition& pos);
// True when the side to move is checkmated.
bool tb_is_checkmate(const ProbePosition& pos);
// At most six pieces, one king per side, piece sets that do not overlap, no pawn on the first
// or last rank and the side not to move not in check.
bool tb_is_probeable(const ProbePosition& pos);
// Legal moves of the side to move (captures only when asked) into out; returns the count.
int tb_legal_moves(const ProbePosition& pos, TbMove* out, bool captures_only);
// The position after a legal move.
ProbePosition tb_play(const ProbePosition& pos, const TbMove& move);

} // namespace tarn
