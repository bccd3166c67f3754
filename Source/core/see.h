#pragma once
// Static exchange evaluation: the material outcome of a sequence of captures on one square,
// worked out on an occupancy bitboard without making moves. Each side captures with its least
// valuable attacker, x-ray attackers join as pieces leave the occupancy, and every capture
// after the first is optional. The top two plies are unrolled; longer sequences recurse.

#include <array>
#include <cstdint>

#include "core/board.h"

namespace tarn {

constexpr int SEE_KING_CAPTURE = 9999; // capturing a king or stepping onto a defended square

// Exchange values by piece type: the values the engine starts with, and the table the exchange
// evaluation reads (evaluation-parameter set-up writes it again).
constexpr std::array<std::int16_t, 8> SEE_DEFAULT_VALUES = {0, 100, 350, 350, 550, 1050, 9000, 0};
extern std::array<std::int16_t, 8> see_value;

// Value for side of side's move from -> to (the first capture is forced, so it may be
// negative). With from = 64: the threat form, the gain (0 or more) from starting captures
// against the piece on `to`.
int see(const Position& pos, int side, int from, int to);
// Gain (0 or more) for side capturing a piece of victim_type on sq within occ.
int swap(const Position& pos, int side, int sq, int victim_type, Bitboard occ);

} // namespace tarn
