#include "match/rules.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/run_settings.h"
#include "frontend/startup.h"
#include "search/thread_data.h"

namespace tarn {

namespace {

// The undo stack holds MAX_GAME_PLY moves. A longer game is set up again from its FEN after
// an irreversible move, where the history no longer matters for repetitions; the fifty-move
// rule ends any game long before the stack runs out from here.
constexpr int REBASE_PLY = MAX_GAME_PLY - 150;

constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAull;

// Whole number field of a FEN, or -1.
int counter_field(const std::string& text) {
    int value            = 0;
    const char* last     = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value);
    return !text.empty() && ec == std::errc() && end == last && value >= 0 ? value : -1;
}

MoveEntry* first_move(GameBoard& board) {
    return gen_all(board.td->board.pos);
}

// The position's key with its en-passant square left out when no en-passant capture is legal:
// the square is set after every double step, and a position differs only when it changes the
// moves that can be played.
std::uint64_t repetition_key(GameBoard& board) {
    const Position& pos = board.td->board.pos;
    const int ep        = pos.ep_square;
    if (ep == NO_SQUARE)
        return pos.key;
    for (const Move m : board_legal_moves(board))
        if (move_to(m) == ep && type_of(pos.board[move_from(m)]) == PAWN)
            return pos.key;
    return pos.key ^ zobrist_keys[ep];
}

bool has_legal_move(GameBoard& board) {
    Position& pos = board.td->board.pos;
    for (MoveEntry* e = first_move(board); e->move != END_OF_LIST; ++e)
        if (e->move && is_legal(pos, pos.side, e->move))
            return true;
    return false;
}

} // namespace

void rules_setup(bool chess960) {
    init_engine_tables();
    run_settings.protocol_mode = PROTOCOL_UCI;
    run_settings.chess960      = chess960 ? 1 : 0;
}

bool board_set(GameBoard& board, const std::string& fen, std::string& error) {
    std::istringstream words(fen);
    std::vector<std::string> fields;
    for (std::string w; words >> w;)
        fields.push_back(w);
    if (fields.size() < 4 || fields.size() > 6 || (fields[1] != "w" && fields[1] != "b")) {
        error = "not a FEN: '" + fen + "'";
        return false;
    }
    const int rule50   = fields.size() > 4 ? counter_field(fields[4]) : 0;
    const int fullmove = fields.size() > 5 ? counter_field(fields[5]) : 1;
    if (rule50 < 0 || fullmove < 0) {
        error = "bad move counters in FEN: '" + fen + "'";
        return false;
    }
    if (!board.td)
        board.td = thread_data_create();
    if (!board.td) {
        error = "out of memory";
        return false;
    }
    Position& pos = board.td->board.pos;
    if (parse_fen(pos, fen.c_str()) != FEN_OK || !position_is_searchable(pos)) {
        error = "not a playable position: '" + fen + "'";
        return false;
    }
    pos.rule50           = static_cast<std::uint8_t>(std::min(rule50, 150));
    board.start_fullmove = std::max(fullmove, 1);
    board.start_side     = pos.side;
    board.plies          = 0;
    board.keys.assign(1, repetition_key(board));
    return true;
}

void board_free(GameBoard& board) {
    if (board.td)
        thread_data_destroy(board.td);
    board.td = nullptr;
}

std::vector<Move> board_legal_moves(GameBoard& board) {
    return legal_moves(board.td->board.pos);
}

Move board_find_coord(GameBoard& board, const std::string& text) {
    Position& pos = board.td->board.pos;
    for (const Move m : board_legal_moves(board))
        if (move_to_coord(pos, pos.side, m, run_move_style()) == text)
            return m;
    return NULL_MOVE;
}

Move board_find_san(GameBoard& board, const std::string& text) {
    std::string core = text;
    while (!core.empty() &&
           (core.back() == '+' || core.back() == '#' || core.back() == '!' || core.back() == '?'))
        core.pop_back();
    Move move = NULL_MOVE;
    if (core.empty() || !parse_move(board.td->board.pos, core.c_str(), move, run_move_style()))
        return NULL_MOVE;
    return move;
}

std::string board_coord(GameBoard& board, Move move) {
    return move_to_coord(board.td->board.pos, board.td->board.pos.side, move, run_move_style());
}

std::string board_san(GameBoard& board, Move move) {
    Position& pos    = board.td->board.pos;
    std::string text = move_to_san(pos, move, run_move_style()).san;
    if (text.rfind("o-o", 0) == 0)
        for (char& c : text)
            if (c == 'o')
                c = 'O';
    if (!text.empty() && text.back() == '+') {
        make_game_move(pos, move);
        const bool mate = !has_legal_move(board);
        unmake_game_move(pos);
        if (mate)
            text.back() = '#';
    }
    return text;
}

void board_play(GameBoard& board, Move move) {
    Position& pos = board.td->board.pos;
    make_game_move(pos, move);
    ++board.plies;
    if (board.td->board.game_ply >= REBASE_PLY && pos.rule50 == 0) {
        const std::string fen = write_fen(pos, false);
        parse_fen(pos, fen.c_str());
    }
    if (pos.rule50 == 0)
        board.keys.clear();
    board.keys.push_back(repetition_key(board));
}

int board_side(const GameBoard& board) {
    return board.td->board.pos.side;
}

bool board_in_check(const GameBoard& board) {
    const Position& pos = board.td->board.pos;
    return attacked(pos, pos.king_sq[pos.side], pos.side ^ 1);
}

int board_fullmove(const GameBoard& board) {
    return board.start_fullmove + (board.plies + (board.start_side == BLACK ? 1 : 0)) / 2;
}

std::string board_fen(const GameBoard& board, bool with_counters) {
    std::string fen = write_fen(board.td->board.pos, false);
    if (with_counters)
        fen.append(" ")
            .append(std::to_string(board.td->board.pos.rule50))
            .append(" ")
            .append(std::to_string(board_fullmove(board)));
    return fen;
}

RuleEnd board_rule_end(GameBoard& board) {
    Position& pos = board.td->board.pos;
    if (!has_legal_move(board))
        return board_in_check(board) ? RULE_CHECKMATE : RULE_STALEMATE;
    if (pos.rule50 >= 100)
        return RULE_FIFTY_MOVES;
    if (is_insufficient_material(pos))
        return RULE_MATERIAL;
    constexpr long THIRD_OCCURRENCE = 3;
    if (std::count(board.keys.begin(), board.keys.end(), board.keys.back()) >= THIRD_OCCURRENCE)
        return RULE_REPETITION;
    return RULE_NONE;
}

bool is_insufficient_material(const Position& pos) {
    for (const int type : {PAWN, ROOK, QUEEN})
        if (pieces_of(pos, WHITE, type) | pieces_of(pos, BLACK, type))
            return false;
    const Bitboard knights = pieces_of(pos, WHITE, KNIGHT) | pieces_of(pos, BLACK, KNIGHT);
    const Bitboard bishops = pieces_of(pos, WHITE, BISHOP) | pieces_of(pos, BLACK, BISHOP);
    if (popcount(knights | bishops) <= 1)
        return true;
    return !knights && ((bishops & LIGHT_SQUARES) == 0 || (bishops & ~LIGHT_SQUARES) == 0);
}

int mate_to_cp(int mate_moves) {
    return mate_moves > 0 ? MATE_CP - mate_moves : -MATE_CP - mate_moves;
}

ScoreVerdict watch_score(ScoreWatch& watch, const DrawRule& draw, const ResignRule& resign,
                         int side, bool has_score, int score, int fullmove) {
    if (!has_score) {
        watch = ScoreWatch{};
        return VERDICT_NONE;
    }
    watch.draw_plies    = std::abs(score) <= draw.score ? watch.draw_plies + 1 : 0;
    watch.losing[side]  = score <= -resign.score ? watch.losing[side] + 1 : 0;
    watch.winning[side] = score >= resign.score ? watch.winning[side] + 1 : 0;

    if (resign.on && resign.move_count > 0) {
        for (const int loser : {side, side ^ 1}) {
            const bool lost = watch.losing[loser] >= resign.move_count &&
                              (!resign.two_sided || watch.winning[loser ^ 1] >= resign.move_count);
            if (lost)
                return loser == WHITE ? VERDICT_BLACK_WINS : VERDICT_WHITE_WINS;
        }
    }
    if (draw.on && fullmove >= draw.move_number && watch.draw_plies >= 2 * draw.move_count)
        return VERDICT_DRAW;
    return VERDICT_NONE;
}

} // namespace tarn
