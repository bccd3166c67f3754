#pragma once
// The runner's view of a game's position, kept by the engine's own rules code: legal moves,
// making them, move text in the protocol's coordinate form and in PGN algebraic notation, and
// the rules that end a game (mate, stalemate, threefold repetition, the fifty-move rule, too
// little material to mate). A move from an engine is accepted only when its text is exactly
// the coordinate text of one legal move. The score rules (draw and resign adjudication) watch
// the engines' reported scores move by move.

#include <cstdint>
#include <string>
#include <vector>

#include "core/board.h"

namespace tarn {

struct ThreadData;

// How the rules end a game; RULE_NONE while it goes on.
enum RuleEnd {
    RULE_NONE,
    RULE_CHECKMATE,
    RULE_STALEMATE,
    RULE_REPETITION,
    RULE_FIFTY_MOVES,
    RULE_MATERIAL,
};

// A game in progress: its position with the game history on the record's undo stack.
struct GameBoard {
    ThreadData* td     = nullptr;
    int start_fullmove = 1; // full-move number of the start position
    int start_side     = 0; // side to move in the start position
    int plies          = 0; // half-moves made since the start position
    // Repetition keys of the positions since the last irreversible move, oldest first. A
    // position's key counts its en-passant square only when an en-passant capture is legal,
    // as the rules of repetition have it.
    std::vector<std::uint64_t> keys;
};

// Builds the engine's fixed tables and sets the process-wide move-text mode: coordinate moves
// as the protocol writes them, castling as king takes rook when chess960 is set.
void rules_setup(bool chess960);

// Sets the board from a FEN (four to six fields). False with a message in error when the text
// is not a position the engines could play from.
bool board_set(GameBoard& board, const std::string& fen, std::string& error);
void board_free(GameBoard& board);
// Legal moves of the side to move.
std::vector<Move> board_legal_moves(GameBoard& board);
// The legal move whose coordinate text is exactly text, or NULL_MOVE.
Move board_find_coord(GameBoard& board, const std::string& text);
// The legal move named by algebraic text (check and annotation marks allowed), or NULL_MOVE.
Move board_find_san(GameBoard& board, const std::string& text);
// Coordinate text of a legal move ("e2e4", "e7e8q", castling per the variant).
std::string board_coord(GameBoard& board, Move move);
// PGN text of a legal move: "Nf3", "exd5", "e8=Q+", "O-O", "Qh4#".
std::string board_san(GameBoard& board, Move move);
// Makes a legal move.
void board_play(GameBoard& board, Move move);
// Side to move, check, and the FEN with the runner's own move counters.
int board_side(const GameBoard& board);
bool board_in_check(const GameBoard& board);
std::string board_fen(const GameBoard& board, bool with_counters);
// Full-move number of the position on the board.
int board_fullmove(const GameBoard& board);
// Whether the rules end the game in the position on the board.
RuleEnd board_rule_end(GameBoard& board);
// True when neither side has the material to mate: bare kings, one minor piece, or only
// bishops all standing on squares of one colour.
bool is_insufficient_material(const Position& pos);

// Draw adjudication: from full move move_number on, when for move_count moves of each side
// both engines' scores stay within score centipawns of 0.
struct DrawRule {
    bool on         = false;
    int move_number = 0;
    int move_count  = 0;
    int score       = 0;
};

// Resign adjudication: a side whose own score stays at -score or below for move_count of its
// moves loses; when two_sided, the opponent must also have reported +score or more for its
// last move_count moves.
struct ResignRule {
    bool on        = false;
    int move_count = 0;
    int score      = 0;
    bool two_sided = true;
};

// Outcome of a score rule.
enum ScoreVerdict {
    VERDICT_NONE,
    VERDICT_DRAW,
    VERDICT_WHITE_WINS,
    VERDICT_BLACK_WINS,
};

// Runs of moves counted by the score rules.
struct ScoreWatch {
    int draw_plies = 0;      // consecutive plies with the score inside the draw bound
    int losing[2]  = {0, 0}; // consecutive own moves at or below -resign score, per colour
    int winning[2] = {0, 0}; // consecutive own moves at or above +resign score, per colour
};

// Centipawn value of a mate score, for the score rules: mate in n (n < 0 mated) becomes
// +-(MATE_CP - |n|).
constexpr int MATE_CP = 30000;
int mate_to_cp(int mate_moves);

// Counts a move by side with its reported score (centipawns, the mover's view) and returns
// what the rules decide. fullmove is the number of the move just played. A move without a
// score breaks every run.
ScoreVerdict watch_score(ScoreWatch& watch, const DrawRule& draw, const ResignRule& resign,
                         int side, bool has_score, int score, int fullmove);

} // namespace tarn
