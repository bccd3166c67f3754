#pragma once
// The staged move picker and the per-thread ordering tables. Moves of a node are generated
// lazily in stages (hash move, tactical moves, quiet checks or quiet moves) and each call
// returns the best-scored remaining entry of the current stage by a linear scan, so a node cut
// off early never generates its quiet moves. The history, counter-move, follow-up and killer
// updates live here too; the move loop applies them after each searched quiet move.

#include <cstdint>

#include "core/board.h"

namespace tarn {

struct ThreadData;

// pick_stage: low four bits the stage, upper bits option flags fixed for the node.
constexpr std::uint16_t PICK_STAGE_MASK = 15;
// The stages, in the order a node passes through them.
constexpr std::uint16_t STAGE_START          = 0;   // the hash move first, when the node asks
constexpr std::uint16_t STAGE_GEN_TACTICAL   = 1;   // generate and score the tactical moves
constexpr std::uint16_t STAGE_QS_TACTICAL    = 2;   // tactical moves of the quiescence search
constexpr std::uint16_t STAGE_QUIET_CHECKS   = 3;   // quiet checks behind them, when asked
constexpr std::uint16_t STAGE_GOOD_TACTICAL  = 4;   // tactical moves of a full-width node
constexpr std::uint16_t STAGE_GEN_QUIETS     = 5;   // generate quiets behind the losing captures
constexpr std::uint16_t STAGE_SORTED_QUIETS  = 6;   // best quiet moves first
constexpr std::uint16_t STAGE_REST           = 7;   // everything left, in list order
constexpr std::uint16_t STAGE_RESELECT_START = 8;   // an existing list, picked again from its start
constexpr std::uint16_t STAGE_RESELECT       = 9;   // best first over that list
constexpr std::uint16_t PICK_HASH_FIRST      = 16;  // return the frame's hash_move first
constexpr std::uint16_t PICK_BASE            = 32;  // set in every starting value
constexpr std::uint16_t PICK_FULL_WIDTH      = 64;  // SEE-scored captures, under-promotions, quiets
constexpr std::uint16_t PICK_QUIET_CHECKS    = 128; // quiet checking moves after the captures
constexpr std::uint16_t PICK_NODE            = PICK_BASE | PICK_HASH_FIRST | PICK_FULL_WIDTH; // 112
constexpr std::uint16_t PICK_QS_CHECKS       = PICK_BASE | PICK_QUIET_CHECKS;                 // 160
constexpr std::uint16_t PICK_QS              = PICK_BASE;                                     // 32
constexpr std::uint16_t PICK_PERFT           = PICK_BASE | PICK_FULL_WIDTH;                   // 96

constexpr int HISTORY_START = 2048;
constexpr int HISTORY_MAX   = 16384;

// History factor tables by depth: round(8 * sqrt(min(d, 16))) and round(16 * sqrt(min(d, 16))).
int history_decay(int depth);
int history_boost(int depth);

// Ordering score of a capture by the captured piece's code.
int capture_score(int captured_code);

// Resets the thread's ordering tables and the hash and killer moves of every frame.
void ordering_reset(ThreadData& td);
// Next entry of the thread's node at its current search_ply, or nullptr when it has no more
// moves.
MoveEntry* next_move(ThreadData& td);
// Leaf count at depth (see core/perft.h) taken through this picker at full width, after the
// ordering tables are reset as for a search.
std::uint64_t perft_through_picker(ThreadData& td, int depth);

// After a searched quiet move at depth >= 1: history of (piece, to) decays when the move did
// not raise alpha, else it is boosted.
void history_update(ThreadData& td, const MoveEntry& entry, int depth, bool raised_alpha);
// A quiet move that raised alpha at ply becomes a killer (check_killer when in check).
void killer_update(ThreadData& td, int ply, Move move, bool in_check);
// A quiet move that raised alpha at ply becomes the counter move of the parent's move and the
// follow-up of the grandparent's move.
void counter_update(ThreadData& td, int ply, Move move);

} // namespace tarn
