#pragma once
// Positions from random legal play, for the speed benchmark and the tests: real feature lists
// (kings, pawns and pieces where games put them) without needing a data file. Labels follow
// the material balance, which a network can learn, so a short run has something to fit.

#include <cstdint>
#include <functional>

#include "trainer/train_data.h"

namespace tarn {

constexpr int SYNTHETIC_GAME_PLIES = 160; // a game starts again after this many moves
constexpr int SYNTHETIC_SKIP_PLIES = 6;   // opening plies not kept
constexpr int SYNTHETIC_PAWN_CP    = 100; // label per pawn of material balance

// Calls take with `count` positions (side to move not in check) from seeded random games.
bool random_play(int count, std::uint32_t seed, const std::function<void(const Position&)>& take);
// Label of a random-play position: the material balance in centipawns.
int synthetic_score(const Position& pos);
// The training record of a position, as the converter would write it.
TrainingRecord record_of(const Position& pos, int score, int result);
// Appends `count` positions (side to move not in check) from seeded random games.
bool add_random_play(TrainingSet& set, int count, std::uint32_t seed);

} // namespace tarn
