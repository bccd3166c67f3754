#include "core/fen.h"

#include <cstring>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/thread_board.h"
#include "frontend/output.h"

namespace tarn {

const char* const SQUARE_NAMES[64] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8"};

namespace {

constexpr const char* WHITE_LETTERS = "PNBRQK";
constexpr const char* BLACK_LETTERS = "pnbrqk";

const char* skip_blanks(const char* p) {
    while (*p == ' ')
        ++p;
    return p;
}

// Grants right `index` (2 * colour + wing) with the rook on rook_sq.
void grant_castling(Position& pos, int colour, int wing, int rook_sq) {
    const int index     = 2 * colour + wing;
    const int king      = pos.king_sq[colour];
    const int base      = HOME_RANK_BASE[colour];
    const int king_dest = base + (wing == 0 ? 6 : 2);
    const int rook_dest = base + (wing == 0 ? 5 : 3);
    Bitboard path =
        between(king, king_dest) | bit(king_dest) | bit(rook_dest) | between(rook_sq, rook_dest);
    path &= ~(bit(king) | bit(rook_sq));
    pos.castle_rook[index] = static_cast<std::uint8_t>(rook_sq);
    pos.castle_loss[index] = bit(king) | bit(rook_sq);
    pos.castle_path[index] = path;
    pos.castle_rights |= static_cast<std::uint8_t>(1 << index);
}

// Rook for a castling request: the outermost rook on that side of the king for a wing letter
// (file -1), or the rook on the named file. 64 when there is none.
int castling_rook(const Position& pos, int colour, int wing, int file) {
    const int king            = pos.king_sq[colour];
    const int base            = HOME_RANK_BASE[colour];
    const Bitboard rank_rooks = pieces_of(pos, colour, ROOK) & (Bitboard{0xFF} << base);
    if (file >= 0)
        return (rank_rooks & bit(base + file)) ? base + file : NO_SQUARE;
    const Bitboard side_mask =
        wing == 0 ? ~((bit(king) << 1) - 1) : (bit(king) - 1); // east or west of the king
    const Bitboard candidates = rank_rooks & side_mask;
    if (!candidates)
        return NO_SQUARE;
    return wing == 0 ? msb(candidates) : lsb(candidates);
}

// An en-passant square must sit behind a pawn of the side that just moved, on the square
// that pawn crossed; anything else would let a pawn "capture" a pawn that is not there.
bool ep_square_is_plausible(const Position& pos, int ep) {
    const int mover = pos.side ^ 1; // the side that made the double push
    if (rank_of(ep) != (mover == WHITE ? 2 : 5))
        return false;
    const int pawn_sq = ep + PAWN_DIRECTION[mover];
    return pos.board[ep] == 0 && pos.board[ep - PAWN_DIRECTION[mover]] == 0 &&
           pos.board[pawn_sq] == make_code(mover, PAWN);
}

} // namespace

int parse_fen(Position& pos, const char* text) {
    reset_position(pos);
    int status    = FEN_OK;
    const char* p = text;
    int rank = 7, file = 0;
    for (; *p && *p != ' '; ++p) {
        const char c = *p;
        if (c == '/') {
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else if (const char* w = std::strchr(WHITE_LETTERS, c); w && c) {
            if (rank >= 0 && rank < 8 && file < 8)
                set_piece(pos, WHITE, static_cast<int>(w - WHITE_LETTERS) + 1, rank * 8 + file);
            else
                status = FEN_OFF_BOARD;
            ++file;
        } else if (const char* b = std::strchr(BLACK_LETTERS, c); b && c) {
            if (rank >= 0 && rank < 8 && file < 8)
                set_piece(pos, BLACK, static_cast<int>(b - BLACK_LETTERS) + 1, rank * 8 + file);
            else
                status = FEN_OFF_BOARD;
            ++file;
        }
        if (file > 8 || rank < 0)
            status = FEN_OFF_BOARD;
    }
    p = skip_blanks(p);
    if (*p == 'w')
        pos.side = WHITE;
    else if (*p == 'b')
        pos.side = BLACK;
    if (*p)
        ++p;
    p = skip_blanks(p);
    char field[32];
    std::size_t len = 0;
    for (; *p && *p != ' '; ++p)
        if (len + 1 < sizeof field)
            field[len++] = *p;
    field[len] = 0;
    set_castling(pos, field);
    pos.ep_square = NO_SQUARE;
    p             = skip_blanks(p);
    int ep        = NO_SQUARE;
    for (; *p && *p != ' '; ++p) {
        if (*p >= 'a' && *p <= 'h')
            ep = *p - 'a';
        else if (*p >= '1' && *p <= '8' && ep != NO_SQUARE)
            ep += (*p - '1') * 8;
    }
    if (ep >= 0 && ep < 64 && ep_square_is_plausible(pos, ep))
        pos.ep_square = static_cast<std::uint8_t>(ep);
    compute_keys(pos);
    ThreadBoard& td = *pos.owner;
    td.undo[0]      = UndoRecord{};
    td.undo[1]      = UndoRecord{};
    td.game_ply     = 0;
    return status;
}

void set_castling(Position& pos, const char* field) {
    for (int i = 0; i < 4; ++i) {
        pos.castle_loss[i] = pos.castle_path[i] = 0;
        pos.castle_rook[i]                      = NO_SQUARE;
    }
    for (const char* p = field; *p; ++p) {
        const char c = *p;
        int colour, wing, file = -1;
        if (c == 'K' || c == 'Q' || c == 'k' || c == 'q') {
            colour = (c == 'k' || c == 'q') ? BLACK : WHITE;
            wing   = (c == 'K' || c == 'k') ? 0 : 1;
        } else if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h')) {
            colour         = (c >= 'a') ? BLACK : WHITE;
            file           = c - (colour == BLACK ? 'a' : 'A');
            const int king = pos.king_sq[colour];
            if (king == NO_SQUARE)
                continue;
            wing = file > file_of(king) ? 0 : 1;
        } else {
            continue;
        }
        const int king = pos.king_sq[colour];
        if (king == NO_SQUARE || rank_of(king) * 8 != HOME_RANK_BASE[colour])
            continue;
        const int rook = castling_rook(pos, colour, wing, file);
        if (rook == NO_SQUARE || rook == king)
            continue;
        grant_castling(pos, colour, wing, rook);
    }
}

std::string write_fen(const Position& pos, bool with_counters) {
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int code = pos.board[rank * 8 + file];
            if (!code) {
                ++empty;
                continue;
            }
            if (empty)
                fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += (colour_of(code) == WHITE ? WHITE_LETTERS : BLACK_LETTERS)[type_of(code) - 1];
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        if (rank)
            fen += '/';
    }
    fen += pos.side == WHITE ? " w " : " b ";
    if (!pos.castle_rights)
        fen += '-';
    // X-FEN: a right whose rook is not the outermost one on its wing names the rook's file.
    for (int r = 0; r < 4; ++r) {
        if (!(pos.castle_rights & (1 << r)))
            continue;
        const int colour = r / 2, rook = pos.castle_rook[r];
        if (rook == castling_rook(pos, colour, r % 2, -1))
            fen += "KQkq"[r];
        else
            fen += static_cast<char>((colour == WHITE ? 'A' : 'a') + file_of(rook));
    }
    fen += ' ';
    fen += pos.ep_square == NO_SQUARE ? "-" : SQUARE_NAMES[pos.ep_square];
    if (with_counters) {
        fen += ' ' + std::to_string(pos.rule50) + ' ' +
               std::to_string(pos.owner ? pos.owner->game_ply : 0);
    }
    return fen;
}

std::string board_text(const Position& pos) {
    std::string text = write_fen(pos, true) + "\n";
    for (int rank = 7; rank >= 0; --rank) {
        text += ' ';
        for (int file = 0; file < 8; ++file) {
            const int code = pos.board[rank * 8 + file];
            text += ' ';
            if (code)
                text += (colour_of(code) == WHITE ? "-PNBRQK" : "-onbrqk")[type_of(code)];
            else
                text += ((file ^ rank) & 1) ? '-' : '+';
        }
        text += '\n';
    }
    text += pos.side == WHITE ? "white" : "black";
    return text;
}

void show_board(const Position& pos) {
    print_line(board_text(pos));
}

bool position_is_searchable(const Position& pos) {
    for (int colour = 0; colour < 2; ++colour)
        if (popcount(pieces_of(pos, colour, KING)) != 1)
            return false;
    constexpr Bitboard BACK_RANKS = 0xFF000000000000FFULL;
    if ((pieces_of(pos, WHITE, PAWN) | pieces_of(pos, BLACK, PAWN)) & BACK_RANKS)
        return false;
    const int other = pos.side ^ 1;
    return !attacked(pos, pos.king_sq[other], pos.side);
}

} // namespace tarn
