#pragma once
// The principal-variation node search below the root and the quiescence search. node_search
// does everything before moves are tried (draw and mate-distance tests, extensions, table and
// tablebase probes, static evaluation, pruning, internal iterative deepening); move_loop tries
// the moves with late-move pruning, exchange pruning and reductions. qsearch resolves captures
// and checks below the horizon and sends every child back through node_search.

#include <cstdint>

#include "core/board.h"
#include "core/score.h"

namespace tarn {

struct ThreadData;

constexpr int NODE_PV  = 0;
constexpr int NODE_CUT = 1;
constexpr int NODE_ALL = -1;

// move_class bits: what a move is, decided before it is made.
constexpr int CLASS_CAPTURE  = 1;
constexpr int CLASS_CHECK    = 2;
constexpr int CLASS_ADVANCE  = 32; // promotion, or a free push of a passed pawn to the 6th
constexpr int CLASS_SEVENTH  = 40; // push to the seventh rank
constexpr int CLASS_QUEENING = 48; // promotion to a queen
constexpr int CLASS_TACTICAL = 63;

int node_search(ThreadData& td, int side, int ply, int depth, int alpha, int beta, int node_type,
                Move* pv);
int move_loop(ThreadData& td, int side, int ply, int depth, int alpha, int beta, bool in_check,
              int node_type, Move* pv);
int qsearch(ThreadData& td, int side, int ply, int depth, int alpha, int beta, int node_type,
            Move* pv);

// What a move of the side to move needs to give check, worked out once for a node.
struct CheckSquares {
    Bitboard direct[8]   = {};    // by piece type: squares that attack the enemy king
    Bitboard discoverers = 0;     // our pieces that alone block a line of ours onto the king
    bool usable          = false; // false when our sliders already attack the king
};

// Classification of a pseudo-legal move of the side to move.
int move_class(const Position& pos, const MoveEntry& entry);
// The same with the node's check squares.
int move_class(const Position& pos, const CheckSquares& checks, const MoveEntry& entry);
// True when the move leaves the opponent's king attacked (direct or discovered).
bool move_gives_check(const Position& pos, Move move);
// The same answer from the node's check squares; castling, promotions and en passant, and
// positions where the squares are not usable, take the full test.
bool move_gives_check(const Position& pos, const CheckSquares& checks, Move move);
// The check squares of the side to move.
CheckSquares check_squares(const Position& pos);

} // namespace tarn
