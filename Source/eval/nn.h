#pragma once
// Network evaluation. The first layer (hidden1 16-bit sums over the board features) is kept per
// thread and per side to move in an AccumulatorCache and brought up to date by the difference
// between the cached feature list and the new one, so a quiet move by each side costs four
// weight rows instead of thirty-odd. Sums saturate at 16 bits and are applied in list order, which
// makes the order visible; the vector loops chosen at build time give the same bits as the plain
// loop. The lists are kept as the squares of their feature groups, whose differences come out in
// list order without the lists being written. One of seven output buckets is chosen by material,
// and the output sum becomes a win probability and then centipawns.

#include <cstdint>

#include "eval/nn_file.h"

namespace tarn {

struct EvalState;
struct Position;

// A feature list holds every piece, every passed pawn and the material inputs; 64 is enough
// for any game position, the rest keeps set-up positions with extra pieces in bounds.
constexpr int NN_MAX_FEATURES       = 144;
constexpr int NN_MAX_CHANGES        = 8;  // larger changes since the cached position refresh
constexpr int NN_REFRESH_PLIES      = 2;  // plies whose sums are always computed from scratch
constexpr std::int16_t NN_UNFILLED  = -1; // count of a cache that matches nothing
constexpr int NN_SCORE_LIMIT        = 1919;
constexpr int NN_NO_STATE           = -10001; // the thread's buffers could not be allocated
constexpr double NN_OUTPUT_SCALE    = 3.08641975308642e-7; // 1 / 3,240,000
constexpr double NN_SCORE_SCALE     = -166.6666717529297;
constexpr double NN_PROBABILITY_MIN = 1e-5;
constexpr double NN_PROBABILITY_MAX = 0.99999;
constexpr double NN_PHASE_PER_UNIT  = 0.016;
constexpr int NN_BUCKETS_USED       = 7;
static_assert(NN_MAX_FEATURES >= 64 + 64 + 10); // pieces, passed pawns, material inputs

constexpr int NN_MAX_MATERIAL_FEATURES = 10; // material inputs of one position, at most
// A feature list in groups, in list order: the king, pawns, knights, bishops, rooks and queens
// of white, the same of black, then the passed pawns of white and of black (empty unless the
// network has passer inputs); the material inputs follow the groups.
constexpr int NN_PIECE_GROUPS = 12;
constexpr int NN_GROUPS       = 14;

// A position's feature list as squares per group, and its material inputs.
struct FeatureGroups {
    std::uint64_t squares[NN_GROUPS]                 = {};
    std::uint16_t material[NN_MAX_MATERIAL_FEATURES] = {};
    std::int16_t material_count                      = 0;
    std::uint8_t wings                               = 0; // bit c: colour c's king on a-d
};

// The first-layer sums of the last position evaluated with one side to move.
struct AccumulatorCache {
    std::int16_t* accumulator    = nullptr;     // hidden1 sums, before activation
    FeatureGroups groups         = {};          // the features the sums hold
    std::int16_t count           = NN_UNFILLED; // length of their list
    std::uint16_t opposite_wings = 0;
    std::uint64_t occupancy      = 0; // pieces[0] | pieces[8]
};

// One thread's network state; the buffers are made by the thread's first network evaluation.
// The side's cache accumulator doubles as the working accumulator: the update writes into it
// and the activation is applied on the fly by the output sum, which saves two copies.
struct NnThreadState {
    NnBuffer buffer                         = nullptr; // both caches' accumulators
    std::int32_t hidden1                    = 0;       // size the buffer was made for
    std::uint32_t generation                = 0;  // network the caches and cached scores belong to
    AccumulatorCache caches[2]              = {}; // by side to move
    FeatureGroups groups                    = {}; // of the position being evaluated
    std::uint16_t features[NN_MAX_FEATURES] = {}; // its list, written only when kings change wings
    std::int16_t count                      = 0;  // length of its list
    std::uint16_t opposite_wings            = 0;  // kings on different halves of the board
    std::uint8_t marks[NN_MAX_INPUTS]       = {}; // all 0 between evaluations
    std::int16_t last_nn_score              = 0;
    std::int32_t last_sum                   = 0;    // output sum of the last evaluation made
    float phase                             = 0.0f; // 1 with full material, toward 0 later
    std::int16_t bucket                     = 0;
    std::uint64_t refreshes                 = 0; // first layers computed from scratch
    std::uint64_t incremental_updates       = 0; // first layers updated by difference
};

// --- queries ---

// Score of a position in centipawns from the side to move's view, within
// -1919..1919; NN_NO_STATE when the thread's buffers cannot be allocated, 0 when no network
// is in force. ply is the node's distance from the root (1): the frame of the first-layer sums
// kept by difference in the state, and the key of its EvalCache (no hits below ply 2); at ply 1
// the sums are made from scratch.
int nn_evaluate(const Position& pos, EvalState& state, int ply);
// Writes the feature list of a position for the network in force and returns its length;
// opposite_wings is set when the kings stand on different halves of the board.
int nn_features(const Position& pos, std::uint16_t* features, std::uint16_t& opposite_wings);
// Output bucket 0..6 of a position, by the larger non-pawn material of the two colours.
int nn_bucket(const Position& pos);
// Win probability of an output sum; 0.5 for a network without hidden units.
float nn_probability(std::int32_t sum, int hidden1);
// Centipawns of a win probability, clamped to -1919..1919.
int nn_score_of(float probability);
// The same as nn_score_of(nn_probability(sum, hidden1)) for a network with hidden units,
// without the exponential and the logarithm.
int nn_score_of_sum(std::int32_t sum);

} // namespace tarn
