#include "core/notation.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/thread_board.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"

namespace tarn {

namespace {

inline bool on_back_rank(int sq) {
    return rank_of(sq) == 0 || rank_of(sq) == 7;
}

// True when the move leaves the opponent's king attacked (direct or discovered check).
bool gives_check(Position& pos, Move move) {
    const int side = pos.side;
    make_move(pos, move);
    const int king   = pos.king_sq[side ^ 1];
    const bool check = king != NO_SQUARE && attacked(pos, king, side);
    unmake_move(pos);
    return check;
}

} // namespace

MoveStyle run_move_style() {
    return MoveStyle{run_settings.protocol_mode == PROTOCOL_UCI, run_settings.chess960 != 0};
}

std::string move_to_coord(const Position& pos, int side, Move move, MoveStyle style) {
    if (move == NULL_MOVE)
        return "null";
    const int from   = move_from(move);
    std::string text = std::string(SQUARE_NAMES[from]) + SQUARE_NAMES[move_to(move)];
    if (!move_flags(move))
        return text;
    if (!on_back_rank(from)) {
        const bool uci = style.uci;
        const int type = promotion_type(move);
        if (!uci)
            text += '=';
        text += uci ? "  nbrq"[type] : "  NBRQ"[type];
        return text;
    }
    if (style.chess960) {
        const int rook = pos.castle_rook[2 * side + ((move & CASTLE_KING) ? 0 : 1)];
        if (rook != NO_SQUARE)
            text = std::string(SQUARE_NAMES[from]) + SQUARE_NAMES[rook];
    }
    return text;
}

namespace {

// The four texts without the check mark.
MoveTexts plain_texts(Position& pos, Move move, MoveStyle style) {
    MoveTexts t;
    const int side  = pos.side;
    const int from  = move_from(move);
    const int to    = move_to(move);
    const int piece = type_of(pos.board[from]);
    t.coord         = move_to_coord(pos, side, move, style);
    if (move_flags(move) && piece == KING) {
        const int wing = (move & CASTLE_KING) ? 0 : 1;
        t.san          = wing == 0 ? "o-o" : "o-o-o";
        t.file_form    = wing == 0 ? "O-O" : "O-O-O";
        const int rook = pos.castle_rook[2 * side + wing];
        const int dest = rank_of(from) * 8 + (wing == 0 ? 6 : 2);
        t.rank_form    = std::string(SQUARE_NAMES[from]) +
                      SQUARE_NAMES[style.chess960 || rook == NO_SQUARE ? dest : rook];
    } else if (piece != PAWN) {
        const char letter = PIECE_LETTERS[piece];
        t.san             = letter;
        t.file_form       = std::string(1, letter) + static_cast<char>('a' + file_of(from));
        t.rank_form       = std::string(1, letter) + static_cast<char>('1' + rank_of(from));
        // Other pieces of the same kind that could legally go to the same square.
        const Bitboard occ = occupancy(pos) | bit(to);
        Bitboard others =
            piece_attacks(piece, side ^ 1, to, occ) & pieces_of(pos, side, piece) & ~bit(from);
        Bitboard rivals = 0;
        while (others) {
            const int sq = pop_lsb(others);
            if (is_legal(pos, side, make_move_code(sq, to)))
                rivals |= bit(sq);
        }
        if (rivals) {
            const Bitboard same_file = rivals & (FILE_A << file_of(from));
            const Bitboard same_rank = rivals & (Bitboard{0xFF} << (8 * rank_of(from)));
            if (!same_file)
                t.san += static_cast<char>('a' + file_of(from));
            else if (!same_rank)
                t.san += static_cast<char>('1' + rank_of(from));
            else
                t.san += SQUARE_NAMES[from];
        }
        if (pos.board[to]) {
            t.san += 'x';
            t.file_form += 'x';
            t.rank_form += 'x';
        }
        t.san += SQUARE_NAMES[to];
        t.file_form += SQUARE_NAMES[to];
        t.rank_form += SQUARE_NAMES[to];
    } else {
        std::string suffix;
        if (move_flags(move))
            suffix = std::string("=") + " PNBRQK"[promotion_type(move)];
        t.coord = t.coord.substr(0, 4) + suffix;
        if (pos.board[to] || to == pos.ep_square) {
            t.san = std::string(1, static_cast<char>('a' + file_of(from))) + 'x' +
                    SQUARE_NAMES[to] + suffix;
            t.file_form = std::string(1, static_cast<char>('a' + file_of(from))) +
                          static_cast<char>('a' + file_of(to)) + suffix;
        } else {
            t.san       = SQUARE_NAMES[to] + suffix;
            t.file_form = suffix;
        }
    }
    return t;
}

// True when text may name the move: it holds the destination square, or the move is castling,
// or it is a pawn move and text has no rank digit (the "ed" capture form).
bool may_name(const Position& pos, const std::string& text, Move move) {
    const int type = type_of(pos.board[move_from(move)]);
    if (type == KING && move_flags(move))
        return true;
    if (text.find(SQUARE_NAMES[move_to(move)]) != std::string::npos)
        return true;
    return type == PAWN && text.find_first_of("12345678") == std::string::npos;
}

} // namespace

MoveTexts move_to_san(Position& pos, Move move, MoveStyle style) {
    MoveTexts t = plain_texts(pos, move, style);
    if (gives_check(pos, move)) {
        t.coord += '+';
        t.san += '+';
        t.file_form += '+';
        t.rank_form += '+';
    }
    return t;
}

Move parse_coord_move(const Position& pos, const char* text) {
    const std::size_t len = std::strlen(text);
    if (len < 4 || len > 5 || text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8' ||
        text[2] < 'a' || text[2] > 'h' || text[3] < '1' || text[3] > '8')
        return NULL_MOVE;
    const int from = (text[0] - 'a') + 8 * (text[1] - '1');
    const int to   = (text[2] - 'a') + 8 * (text[3] - '1');
    Move move      = make_move_code(from, to);
    const int code = pos.board[from];
    const int side = pos.side;
    if (code == make_code(side, KING) && rank_of(from) * 8 == HOME_RANK_BASE[side] &&
        rank_of(to) * 8 == HOME_RANK_BASE[side] &&
        (std::abs(to - from) > 1 || pos.board[to] == make_code(side, ROOK)))
        return static_cast<Move>(move | (to > from ? CASTLE_KING : CASTLE_QUEEN));
    if (len == 5) {
        switch (text[4]) {
        case 'q':
            move |= PROMOTE_QUEEN;
            break;
        case 'n':
            move |= PROMOTE_KNIGHT;
            break;
        case 'b':
            move |= PROMOTE_BISHOP;
            break;
        case 'r':
            move |= PROMOTE_ROOK;
            break;
        default:
            break;
        }
    }
    return move;
}

Move find_legal_move(Position& pos, Move candidate) {
    if (candidate == NULL_MOVE)
        return NULL_MOVE;
    const int from     = move_from(candidate);
    const int to       = move_to(candidate);
    const bool castles = move_flags(candidate) && type_of(pos.board[from]) == KING;
    Move wanted        = candidate;
    if (!castles && type_of(pos.board[from]) == PAWN && on_back_rank(to) && !move_flags(wanted))
        wanted |= PROMOTE_QUEEN;
    for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e) {
        const Move m = e->move;
        if (move_from(m) != from)
            continue;
        const bool match = castles ? (move_flags(m) && type_of(e->piece) == KING &&
                                      move_flags(m) == move_flags(candidate))
                                   : m == wanted;
        if (match && is_legal(pos, pos.side, m))
            return m;
    }
    return NULL_MOVE;
}

bool parse_move(Position& pos, const char* text, Move& result, MoveStyle style) {
    result = NULL_MOVE;
    std::string in(text);
    in = in.substr(0, in.find('+'));
    if (in.empty())
        return false;
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(in.back())));
    if (last == 'B' || last == 'N' || last == 'Q' || last == 'R') {
        if (in.size() >= 2 && in[in.size() - 2] == '=') {
            in.back() = last;
        } else {
            in.back() = '=';
            in += last;
        }
    }
    for (char& c : in)
        if (c == 'O' || c == '0')
            c = 'o';
    ThreadBoard& td = *pos.owner;
    td.search_ply   = 1;
    int matches = 0, coord_matches = 0;
    Move found = NULL_MOVE, coord_found = NULL_MOVE;
    for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e) {
        const Move m = e->move;
        if (m == NULL_MOVE)
            continue;
        if (!may_name(pos, in, m))
            continue;
        // Check marks are never compared, so the texts are built without them.
        const MoveTexts t   = plain_texts(pos, m, style);
        const bool by_coord = in == t.coord;
        if (!by_coord && in != t.san && in != t.file_form && in != t.rank_form)
            continue;
        if (!is_legal(pos, pos.side, m))
            continue;
        ++matches;
        found = m;
        if (by_coord) {
            ++coord_matches;
            coord_found = m;
        }
    }
    // In Chess960 a king step onto g1 or c1 reads like the king-destination form of castling;
    // the move whose own coordinate text it is wins.
    if (matches == 2 && coord_matches == 1) {
        matches = 1;
        found   = coord_found;
    }
    if (matches == 1) {
        result = found;
        return true;
    }
    if (matches == 2)
        print_direct("ambiguous move\n");
    return false;
}

} // namespace tarn
