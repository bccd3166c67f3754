#include "core/board.h"

#include "core/makemove.h"
#include "core/thread_board.h"

namespace tarn {

void reset_position(Position& pos) {
    pos.king_sq[WHITE] = pos.king_sq[BLACK] = NO_SQUARE;
    pos.ep_square                           = NO_SQUARE;
    pos.castle_rights                       = 0;
    pos.rule50                              = 0;
    pos.touched                             = 0;
    pos.material_sig[WHITE] = pos.material_sig[BLACK] = 0;
    pos.piece_material[WHITE] = pos.piece_material[BLACK] = 0;
    if (pos.owner) {
        pos.owner->game_ply   = 0;
        pos.owner->search_ply = 1;
        pos.owner->last_move  = 0;
    }
    for (Bitboard& b : pos.pieces)
        b = 0;
    for (std::uint8_t& c : pos.board)
        c = 0;
}

void set_piece(Position& pos, int colour, int type, int sq) {
    const int code = make_code(colour, type & 7);
    pos.board[sq]  = static_cast<std::uint8_t>(code);
    if (type == KING)
        pos.king_sq[colour] = static_cast<std::uint8_t>(sq);
    pos.piece_material[colour] += PIECE_MATERIAL[type];
    pos.material_sig[colour] += MATERIAL_SIG_STEP[type];
    pos.pieces[8 * colour] |= bit(sq);
    pos.pieces[code] |= bit(sq);
}

void clear_square(Position& pos, int sq) {
    const int code = pos.board[sq];
    if (code == 0)
        return;
    const int colour = colour_of(code), type = type_of(code);
    pos.board[sq] = 0;
    if (type == KING && pos.king_sq[colour] == sq)
        pos.king_sq[colour] = NO_SQUARE;
    pos.piece_material[colour] -= PIECE_MATERIAL[type];
    pos.material_sig[colour] -= MATERIAL_SIG_STEP[type];
    pos.pieces[8 * colour] &= ~bit(sq);
    pos.pieces[code] &= ~bit(sq);
}

void compute_keys(Position& pos) {
    std::uint64_t key = 0, pawn_key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const int c = pos.board[sq];
        if (c == 0)
            continue;
        key ^= zobrist_keys[c * 64 + sq];
        if (type_of(c) == PAWN)
            pawn_key ^= zobrist_keys[c * 64 + sq];
    }
    if (pos.ep_square != NO_SQUARE)
        key ^= zobrist_keys[pos.ep_square];
    key ^= zobrist_keys[pos.castle_rights];
    pos.key      = with_side_bit(key, pos.side);
    pos.pawn_key = pawn_key;
}

bool position_is_consistent(const Position& pos) {
    Position fresh = pos;
    for (Bitboard& b : fresh.pieces)
        b = 0;
    fresh.material_sig[WHITE] = fresh.material_sig[BLACK] = 0;
    fresh.piece_material[WHITE] = fresh.piece_material[BLACK] = 0;
    std::uint8_t kings[2]                                     = {NO_SQUARE, NO_SQUARE};
    for (int sq = 0; sq < 64; ++sq) {
        const int c = pos.board[sq];
        if (c == 0)
            continue;
        if (type_of(c) == 0 || type_of(c) == 7)
            return false;
        const int colour = colour_of(c), type = type_of(c);
        fresh.pieces[c] |= bit(sq);
        fresh.pieces[8 * colour] |= bit(sq);
        fresh.material_sig[colour] += MATERIAL_SIG_STEP[type];
        fresh.piece_material[colour] += PIECE_MATERIAL[type];
        if (type == KING)
            kings[colour] = static_cast<std::uint8_t>(sq);
    }
    for (int c = 0; c < PIECE_CODES; ++c)
        if (c != 7 && c != 15 && fresh.pieces[c] != pos.pieces[c])
            return false;
    for (int colour = 0; colour < 2; ++colour) {
        if (fresh.material_sig[colour] != pos.material_sig[colour] ||
            fresh.piece_material[colour] != pos.piece_material[colour])
            return false;
        if (pos.pieces[make_code(colour, KING)] && kings[colour] != pos.king_sq[colour])
            return false;
    }
    compute_keys(fresh);
    return fresh.key == pos.key && fresh.pawn_key == pos.pawn_key;
}

} // namespace tarn
