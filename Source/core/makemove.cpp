#include "core/makemove.h"

#include <bit>
#include <cassert>

#include "core/movegen.h"
#include "core/random.h"
#include "core/thread_board.h"
#include "frontend/output.h"

namespace tarn {

std::uint64_t zobrist_keys[ZOBRIST_KEYS];

namespace {

constexpr int MIN_KEY_BITS     = 24; // candidates with fewer set bits are drawn again
constexpr int MIN_KEY_DISTANCE = 6;  // pairs closer than this are reported

inline void lift(Position& pos, int code, int sq) {
    pos.board[sq] = 0;
    pos.pieces[code] ^= bit(sq);
    pos.pieces[code & 8] ^= bit(sq);
}

inline void drop(Position& pos, int code, int sq) {
    pos.board[sq] = static_cast<std::uint8_t>(code);
    pos.pieces[code] ^= bit(sq);
    pos.pieces[code & 8] ^= bit(sq);
}

inline void relocate(Position& pos, int code, int from, int to) {
    pos.board[from]  = 0;
    pos.board[to]    = static_cast<std::uint8_t>(code);
    const Bitboard m = bit(from) | bit(to);
    pos.pieces[code] ^= m;
    pos.pieces[code & 8] ^= m;
}

inline void remove_material(Position& pos, int code) {
    pos.material_sig[colour_of(code)] -= MATERIAL_SIG_STEP[type_of(code)];
    pos.piece_material[colour_of(code)] -= PIECE_MATERIAL[type_of(code)];
}

inline void add_material(Position& pos, int code) {
    pos.material_sig[colour_of(code)] += MATERIAL_SIG_STEP[type_of(code)];
    pos.piece_material[colour_of(code)] += PIECE_MATERIAL[type_of(code)];
}

inline std::uint64_t z(int code, int sq) {
    return zobrist_keys[code * 64 + sq];
}

// A move read against the board it is played on, shared by make_move and key_after so that the
// predicted key follows the made move exactly. A castling move names its wing in a flag; here
// `to` is the king's real destination on the g- or c-file, whatever square the code names.
struct PlayedMove {
    int from;
    int to;
    int code; // piece code of the mover
    int type;
    bool castling;
};

inline PlayedMove played_move(const Position& pos, Move move) {
    PlayedMove m;
    m.from     = move_from(move);
    m.to       = move_to(move);
    m.code     = pos.board[m.from];
    m.type     = type_of(m.code);
    m.castling = move_flags(move) && m.type == KING;
    if (m.castling)
        m.to = rank_of(m.from) * 8 + ((move & CASTLE_KING) ? 6 : 2);
    return m;
}

// Where the rook of a castling move stands before and after it; king_to is the king's
// destination.
struct CastlingRook {
    int from;
    int to;
    int code;
};

inline CastlingRook castling_rook(const Position& pos, int side, Move move, int king_to) {
    const int wing = (move & CASTLE_KING) ? 0 : 1;
    return {pos.castle_rook[2 * side + wing], wing == 0 ? king_to - 1 : king_to + 1,
            make_code(side, ROOK)};
}

// Moves the king and the rook of a castling move, or takes them back with the squares swapped.
// The rook is lifted first: in Chess960 either piece may stand on the other's destination.
inline void shift_castling_pieces(Position& pos, int side, int king_code, int king_from,
                                  int king_to, int rook_code, int rook_from, int rook_to) {
    lift(pos, rook_code, rook_from);
    if (king_from != king_to)
        relocate(pos, king_code, king_from, king_to);
    drop(pos, rook_code, rook_to);
    pos.king_sq[side] = static_cast<std::uint8_t>(king_to);
}

// Castling rights that survive once every square of touched has been moved from or to.
inline int rights_after(const Position& pos, Bitboard touched) {
    int rights = pos.castle_rights;
    for (int r = 0; r < 4; ++r)
        if (pos.castle_loss[r] & touched)
            rights &= ~(1 << r);
    return rights;
}

} // namespace

void generate_keys() {
    MwcState random;
    for (int i = 0; i < ZOBRIST_KEYS; ++i) {
        std::uint64_t candidate;
        do {
            const std::uint64_t high = mwc_next(random);
            candidate                = (high << 32) | mwc_next(random);
        } while (std::popcount(candidate) < MIN_KEY_BITS);
        zobrist_keys[i] = candidate;
        for (int j = 0; j < i; ++j) {
            if (std::popcount(candidate ^ zobrist_keys[j]) < MIN_KEY_DISTANCE) {
                print_line("bad hashcode");
                break;
            }
        }
    }
}

void make_move(Position& pos, Move move) {
    ThreadBoard& td = *pos.owner;
    assert(td.game_ply < UNDO_RECORDS && td.search_ply < PLY_FRAMES);
    UndoRecord& rec = td.undo[td.game_ply];
    td.game_ply += 1;
    td.search_ply += 1;

    const int side      = pos.side;
    const PlayedMove m  = played_move(pos, move);
    const int from      = m.from;
    const int to        = m.to;
    const int code      = m.code;
    const int type      = m.type;
    const bool castling = m.castling;
    int captured_code   = 0;
    if (castling)
        move = make_move_code(from, to, move_flags(move));
    else
        captured_code = pos.board[to];

    td.last_move      = move;
    rec.key           = pos.key;
    rec.pawn_key      = pos.pawn_key;
    rec.move          = move;
    rec.captured      = static_cast<std::uint8_t>(type_of(captured_code));
    rec.ep_square     = pos.ep_square;
    rec.touched       = pos.touched;
    rec.rule50        = pos.rule50;
    rec.castle_rights = pos.castle_rights;

    std::uint64_t key = pos.key;
    const int old_ep  = pos.ep_square;
    pos.ep_square     = NO_SQUARE;
    pos.touched |= bit(from) | bit(to);
    const int old_rights = pos.castle_rights;
    pos.castle_rights    = static_cast<std::uint8_t>(rights_after(pos, pos.touched));
    pos.side ^= 1;
    pos.rule50 += 1;
    if (old_ep != NO_SQUARE)
        key ^= zobrist_keys[old_ep];
    if (pos.castle_rights != old_rights)
        key ^= zobrist_keys[old_rights] ^ zobrist_keys[pos.castle_rights];

    if (castling) {
        const CastlingRook rook = castling_rook(pos, side, move, to);
        shift_castling_pieces(pos, side, code, from, to, rook.code, rook.from, rook.to);
        pos.rule50 = 0;
        key ^= z(code, from) ^ z(code, to) ^ z(rook.code, rook.from) ^ z(rook.code, rook.to);
        pos.key = with_side_bit(key, pos.side);
        return;
    }

    if (captured_code) {
        lift(pos, captured_code, to);
        remove_material(pos, captured_code);
        key ^= z(captured_code, to);
        if (type_of(captured_code) == PAWN)
            pos.pawn_key ^= z(captured_code, to);
        pos.rule50 = 0;
    }
    if (from != to) {
        relocate(pos, code, from, to);
        key ^= z(code, from) ^ z(code, to);
        if (type == PAWN)
            pos.pawn_key ^= z(code, from) ^ z(code, to);
    }

    if (type == KING) {
        pos.king_sq[side] = static_cast<std::uint8_t>(to);
    } else if (type == PAWN) {
        const int dir = PAWN_DIRECTION[side];
        pos.rule50    = 0;
        if (to == from + 2 * dir) {
            pos.ep_square = static_cast<std::uint8_t>(from + dir);
            key ^= zobrist_keys[pos.ep_square];
        } else if (to == old_ep) {
            const int victim_sq   = to - dir;
            const int victim_code = make_code(side ^ 1, PAWN);
            lift(pos, victim_code, victim_sq);
            remove_material(pos, victim_code);
            key ^= z(victim_code, victim_sq);
            pos.pawn_key ^= z(victim_code, victim_sq);
        } else if (rank_of(to) == 0 || rank_of(to) == 7) {
            const int new_code = make_code(side, promotion_type(move));
            lift(pos, code, to);
            remove_material(pos, code);
            key ^= z(code, to);
            pos.pawn_key ^= z(code, to);
            drop(pos, new_code, to);
            add_material(pos, new_code);
            key ^= z(new_code, to);
        }
    }
    pos.key = with_side_bit(key, pos.side);
}

std::uint64_t key_after(const Position& pos, Move move) {
    const int side     = pos.side;
    const PlayedMove m = played_move(pos, move);
    std::uint64_t key  = pos.key;
    const int old_ep   = pos.ep_square;
    if (old_ep != NO_SQUARE)
        key ^= zobrist_keys[old_ep];
    if (pos.castle_rights) {
        const int rights = rights_after(pos, pos.touched | bit(m.from) | bit(m.to));
        if (rights != pos.castle_rights)
            key ^= zobrist_keys[pos.castle_rights] ^ zobrist_keys[rights];
    }
    key ^= z(m.code, m.from) ^ z(m.code, m.to);
    if (m.castling) {
        const CastlingRook rook = castling_rook(pos, side, move, m.to);
        key ^= z(rook.code, rook.from) ^ z(rook.code, rook.to);
        return with_side_bit(key, side ^ 1);
    }
    if (const int captured_code = pos.board[m.to])
        key ^= z(captured_code, m.to);
    if (m.type == PAWN) {
        const int dir = PAWN_DIRECTION[side];
        if (m.to == m.from + 2 * dir)
            key ^= zobrist_keys[m.from + dir];
        else if (m.to == old_ep)
            key ^= z(make_code(side ^ 1, PAWN), m.to - dir);
        else if (rank_of(m.to) == 0 || rank_of(m.to) == 7)
            key ^= z(m.code, m.to) ^ z(make_code(side, promotion_type(move)), m.to);
    }
    return with_side_bit(key, side ^ 1);
}

void unmake_move(Position& pos) {
    ThreadBoard& td = *pos.owner;
    td.game_ply -= 1;
    td.search_ply -= 1;
    const UndoRecord& rec = td.undo[td.game_ply];
    td.last_move          = td.game_ply > 0 ? td.undo[td.game_ply - 1].move : 0;

    pos.ep_square     = rec.ep_square;
    pos.castle_rights = rec.castle_rights;
    pos.touched       = rec.touched;
    pos.rule50        = rec.rule50;
    pos.side ^= 1;
    const int side = pos.side;

    const Move move = rec.move;
    const int from  = move_from(move);
    const int to    = move_to(move);
    int code        = pos.board[to];

    if (move_flags(move) && type_of(code) == KING) {
        const CastlingRook rook = castling_rook(pos, side, move, to);
        shift_castling_pieces(pos, side, code, to, from, rook.code, rook.to, rook.from);
    } else {
        if (from != to)
            relocate(pos, code, to, from);
        if (move_flags(move)) {
            lift(pos, code, from);
            remove_material(pos, code);
            code = make_code(side, PAWN);
            drop(pos, code, from);
            add_material(pos, code);
        }
        if (rec.captured) {
            const int captured_code = make_code(side ^ 1, rec.captured);
            drop(pos, captured_code, to);
            add_material(pos, captured_code);
        }
        if (type_of(code) == KING) {
            pos.king_sq[side] = static_cast<std::uint8_t>(from);
        } else if (type_of(code) == PAWN && to == pos.ep_square) {
            const int victim_code = make_code(side ^ 1, PAWN);
            const int victim_sq   = pos.ep_square - PAWN_DIRECTION[side];
            drop(pos, victim_code, victim_sq);
            add_material(pos, victim_code);
        }
    }
    pos.key      = rec.key;
    pos.pawn_key = rec.pawn_key;
}

void make_game_move(Position& pos, Move move) {
    ThreadBoard& td = *pos.owner;
    td.search_ply   = 1;
    make_move(pos, move);
    td.search_ply = 1;
}

void unmake_game_move(Position& pos) {
    ThreadBoard& td = *pos.owner;
    td.search_ply   = 2;
    unmake_move(pos);
    td.search_ply = 1;
}

void make_null(Position& pos) {
    ThreadBoard& td                         = *pos.owner;
    PlyFrame& frame                         = current_frame(td);
    MoveEntry* entry                        = frame.list_start;
    entry[0]                                = MoveEntry{};
    entry[1].move                           = END_OF_LIST;
    frame.cursor                            = entry;
    td.frames[td.search_ply + 1].list_start = entry + 2;
    td.frames[td.search_ply + 2].list_start = entry + 3;

    td.search_ply += 1;
    UndoRecord& rec = td.undo[td.game_ply];
    td.game_ply += 1;
    rec.move      = 0;
    rec.captured  = 0;
    rec.ep_square = pos.ep_square;
    rec.rule50    = pos.rule50;
    rec.key       = pos.key;

    pos.side ^= 1;
    std::uint64_t key = pos.key;
    if (pos.ep_square != NO_SQUARE)
        key ^= zobrist_keys[pos.ep_square];
    pos.ep_square = NO_SQUARE;
    td.last_move  = 0;
    pos.key       = with_side_bit(key, pos.side);
}

void unmake_null(Position& pos) {
    ThreadBoard& td = *pos.owner;
    td.game_ply -= 1;
    td.search_ply -= 1;
    const UndoRecord& rec = td.undo[td.game_ply];
    pos.ep_square         = rec.ep_square;
    pos.rule50            = rec.rule50;
    pos.key               = rec.key;
    pos.side ^= 1;
    td.last_move = td.game_ply > 0 ? td.undo[td.game_ply - 1].move : 0;
}

bool is_draw(Position& pos, int ply) {
    if (pos.rule50 < 4)
        return false;
    ThreadBoard& td = *pos.owner;
    if (pos.rule50 > 100) {
        if (ply > 0)
            return true;
        // Outside the search the counter alone is not taken as a draw here (the main loop
        // handles it); only a position without a legal move ends the test.
        bool any_legal = false;
        for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e)
            if (e->move && is_legal(pos, pos.side, e->move)) {
                any_legal = true;
                break;
            }
        if (!any_legal)
            return true;
    }
    const int n    = td.game_ply;
    const int root = n - ply;
    bool seen_once = false;
    for (int i = n - 2; i >= 0 && td.undo[i].move != 0; i -= 2) {
        if (td.undo[i].key != pos.key)
            continue;
        if (i > root || seen_once)
            return true;
        seen_once = true;
    }
    return false;
}

} // namespace tarn
