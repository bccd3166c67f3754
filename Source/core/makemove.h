#pragma once
// Making and unmaking moves with incremental keys, the null move, the Zobrist key table and
// the draw test. The game history is the undo stack of the Position's ThreadBoard, which also
// serves the repetition test. There is no side-to-move key: bit 32 of every key is forced to
// the side to move after each change.

#include <cstdint>

#include "core/board.h"

namespace tarn {

constexpr int ZOBRIST_KEYS = 1024; // piece code * 64 + square; row 0 holds castling and e.p.

// Filled once by generate_keys; read-only afterwards.
extern std::uint64_t zobrist_keys[ZOBRIST_KEYS];

inline std::uint64_t with_side_bit(std::uint64_t key, int side) {
    return (key & ~(std::uint64_t{1} << 32)) | (static_cast<std::uint64_t>(side) << 32);
}

// Fills the key table from a fixed generator state, so every start gets the same table.
void generate_keys();
// Plays a pseudo-legal move that is_legal accepted.
void make_move(Position& pos, Move move);
// Key of the position after a pseudo-legal move, without making it, so that the search can
// start loading the child's table window before it decides whether to search the move.
std::uint64_t key_after(const Position& pos, Move move);
// Takes back the last move made with make_move.
void unmake_move(Position& pos);
// A move of the game rather than of a search (a protocol or console move, a move read from a
// file, a move of a line being labelled): made with the frame index at the root, where it
// stays, so that a search or a move generation from the new position starts at the bottom of
// the move storage. Outside a search these are the only changes of the frame index.
void make_game_move(Position& pos, Move move);
// Takes back the last game move; the frame index stays at the root.
void unmake_game_move(Position& pos);
// Passes the move to the other side, and takes that back.
void make_null(Position& pos);
void unmake_null(Position& pos);
// Draw by the fifty-move rule or repetition. ply is the search ply of the node (1 at the
// root); callers outside the search pass 0.
bool is_draw(Position& pos, int ply);

} // namespace tarn
