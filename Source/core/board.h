#pragma once
// The shared vocabulary of the engine: square, colour and piece numbering, the 16-bit Move,
// the six-byte MoveEntry of the move lists, and the Position with its incrementally kept
// bitboards, keys and material sums. A Position always belongs to a ThreadBoard (see
// core/thread_board.h): its undo stack and move lists live there, reached through `owner`.

#include <bit>
#include <cstdint>
#include <type_traits>

namespace tarn {

struct ThreadBoard;

// ---------------------------------------------------------------------------------------------
// Squares, colours, pieces
// ---------------------------------------------------------------------------------------------

using Bitboard = std::uint64_t;

constexpr int NO_SQUARE = 64; // no en-passant square, no king, no castling rook
constexpr int WHITE     = 0;
constexpr int BLACK     = 1;

constexpr int NO_PIECE_TYPE = 0;
constexpr int PAWN          = 1;
constexpr int KNIGHT        = 2;
constexpr int BISHOP        = 3;
constexpr int ROOK          = 4;
constexpr int QUEEN         = 5;
constexpr int KING          = 6;

constexpr int PIECE_CODES = 16; // piece code = type + 8 * colour; 0 = empty square

constexpr int make_code(int colour, int type) {
    return type + 8 * colour;
}
constexpr int type_of(int code) {
    return code & 7;
}
constexpr int colour_of(int code) {
    return (code >> 3) & 1;
}
constexpr int file_of(int sq) {
    return sq & 7;
}
constexpr int rank_of(int sq) {
    return sq >> 3;
}
constexpr Bitboard bit(int sq) {
    return Bitboard{1} << sq;
}

constexpr Bitboard FILE_A = 0x0101010101010101ULL; // a1 .. a8; FILE_A << f is file f
constexpr Bitboard FILE_H = FILE_A << 7;

// Pawn step per colour: +8 for white, -8 for black.
constexpr int PAWN_DIRECTION[2] = {8, -8};
// First-rank base square per colour.
constexpr int HOME_RANK_BASE[2] = {0, 56};

// Piece letters indexed by type; index 0 is a blank.
constexpr const char* PIECE_LETTERS = " PNBRQK";

// Material tables indexed by piece type 0..7.
constexpr std::uint32_t MATERIAL_SIG_STEP[8] = {0, 1, 16, 256, 4096, 65536, 0, 0};
constexpr std::uint16_t PIECE_MATERIAL[8]    = {0, 0, 3, 3, 5, 10, 0, 0};

// Bit helpers; the caller guarantees a non-empty board for the scans.
inline int lsb(Bitboard b) {
    return std::countr_zero(b);
}
inline int msb(Bitboard b) {
    return 63 - std::countl_zero(b);
}
inline int pop_lsb(Bitboard& b) {
    int sq = std::countr_zero(b);
    b &= b - 1;
    return sq;
}
inline int popcount(Bitboard b) {
    return std::popcount(b);
}

// ---------------------------------------------------------------------------------------------
// Moves
// ---------------------------------------------------------------------------------------------

// Move layout (16 bits):
//   bits 0-5   to-square
//   bit  6     flag A 0x0040  king: castle king side   pawn: promote to queen
//   bit  7     flag B 0x0080  king: castle queen side  pawn: promote to knight
//   bits 8-13  from-square
//   bit  14    flag C 0x4000  pawn: promote to bishop
//   bit  15    flag D 0x8000  pawn: promote to rook
// 0 is the null move (and "no move"); 0xFFFF ends a move list.
using Move = std::uint16_t;

constexpr Move NULL_MOVE      = 0;
constexpr Move END_OF_LIST    = 0xFFFF;
constexpr Move FLAG_A         = 0x0040;
constexpr Move FLAG_B         = 0x0080;
constexpr Move FLAG_C         = 0x4000;
constexpr Move FLAG_D         = 0x8000;
constexpr Move FLAG_MASK      = 0xC0C0;
constexpr Move CASTLE_KING    = FLAG_A;
constexpr Move CASTLE_QUEEN   = FLAG_B;
constexpr Move PROMOTE_QUEEN  = FLAG_A;
constexpr Move PROMOTE_KNIGHT = FLAG_B;
constexpr Move PROMOTE_BISHOP = FLAG_C;
constexpr Move PROMOTE_ROOK   = FLAG_D;

constexpr int move_to(Move m) {
    return m & 0x3F;
}
constexpr int move_from(Move m) {
    return (m >> 8) & 0x3F;
}
constexpr Move move_flags(Move m) {
    return m & FLAG_MASK;
}
constexpr Move make_move_code(int from, int to, Move flags = 0) {
    return static_cast<Move>((from << 8) | to | flags);
}

// Promotion piece type named by a promotion flag (queen when no other flag is set).
constexpr int promotion_type(Move m) {
    return (m & FLAG_B) ? KNIGHT : (m & FLAG_C) ? BISHOP : (m & FLAG_D) ? ROOK : QUEEN;
}

// One entry of a move list; lists end with an entry whose move is END_OF_LIST.
//   move      2 bytes
//   score     2 bytes  ordering score, written by the move picker
//   piece     1 byte   piece code of the mover
//   captured  1 byte   piece code on the to-square before the move (0 for en passant)
struct MoveEntry {
    Move move             = 0;
    std::int16_t score    = 0;
    std::uint8_t piece    = 0;
    std::uint8_t captured = 0;
};
static_assert(sizeof(MoveEntry) == 6);
static_assert(std::is_trivially_copyable_v<MoveEntry>);

// ---------------------------------------------------------------------------------------------
// Position
// ---------------------------------------------------------------------------------------------

// Castling right index r = 2 * colour + wing (wing 0 king side, 1 queen side); bit 1 << r of
// castle_rights. The same index selects castle_loss, castle_path and castle_rook.
constexpr int CASTLE_WK = 0;
constexpr int CASTLE_WQ = 1;
constexpr int CASTLE_BK = 2;
constexpr int CASTLE_BQ = 3;

// The board with everything kept incrementally by make_move and unmake_move.
struct Position {
    ThreadBoard* owner              = nullptr; // whose undo stack and move lists this Position uses
    std::uint8_t board[64]          = {};      // piece code per square
    Bitboard pieces[PIECE_CODES]    = {};      // by piece code; [0] all white, [8] all black
    Bitboard touched                = 0;       // from/to squares of every move since set-up
    Bitboard castle_loss[4]         = {};      // king square + rook square per right
    Bitboard castle_path[4]         = {};      // squares that must be empty to castle
    std::uint64_t key               = 0;       // Zobrist key; bit 32 = side to move (set for black)
    std::uint64_t pawn_key          = 0;       // key over pawns only
    std::uint32_t material_sig[2]   = {};      // 4-bit piece counters per type
    std::uint16_t piece_material[2] = {};      // non-pawn material in pawn units
    std::uint8_t castle_rook[4]     = {NO_SQUARE, NO_SQUARE, NO_SQUARE, NO_SQUARE};
    std::uint8_t king_sq[2]         = {NO_SQUARE, NO_SQUARE};
    std::uint8_t side               = WHITE;
    std::uint8_t ep_square          = NO_SQUARE; // square a capturing pawn moves to, or 64
    std::uint8_t castle_rights      = 0;         // bits K=1, Q=2, k=4, q=8
    std::uint8_t rule50             = 0;         // half-moves since capture, pawn move or castling
};
static_assert(std::is_trivially_copyable_v<Position>);

// What make_move saves per move made since the Position was set up.
struct UndoRecord {
    std::uint64_t key          = 0;
    std::uint64_t pawn_key     = 0;
    Move move                  = 0; // castling in king-destination form; 0 for a null move
    std::uint8_t captured      = 0; // captured piece type; 0 for none, en passant and castling
    std::uint8_t ep_square     = NO_SQUARE;
    Bitboard touched           = 0;
    std::uint8_t rule50        = 0;
    std::uint8_t castle_rights = 0;
};
static_assert(std::is_trivially_copyable_v<UndoRecord>);

inline Bitboard occupancy(const Position& pos) {
    return pos.pieces[0] | pos.pieces[8];
}
inline Bitboard pieces_of(const Position& pos, int colour, int type) {
    return pos.pieces[make_code(colour, type)];
}

// Empties the Position; side, keys and castling data are left for the FEN reader to set.
void reset_position(Position& pos);
// Puts a piece of type 1..6 on an empty square (board, bitboards, king square, material).
void set_piece(Position& pos, int colour, int type, int sq);
// Removes whatever stands on a square (board, bitboards, material; not the keys).
void clear_square(Position& pos, int sq);
// Recomputes key and pawn_key from scratch.
void compute_keys(Position& pos);
// Recomputes every derived field from the board array and compares; for asserts and tests.
bool position_is_consistent(const Position& pos);

} // namespace tarn
