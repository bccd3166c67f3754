#include "eval/nn.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "eval/eval_cache.h"
#include "eval/eval_state.h"
#include "eval/nn_simd.h"
#include "eval/pawns.h"
#include "frontend/output.h"

namespace tarn {

namespace {

// Lowest larger non-pawn material of buckets 0..5; less than the last is bucket 6.
constexpr int BUCKET_FLOORS[NN_BUCKETS_USED - 1] = {26, 21, 16, 11, 6, 1};
// Material-input encodings chosen by n_material_inputs; inputs counted from n_inputs:
//   32  one input: 16 + non-pawn material difference, clamped to -13..13
//   36  one input: 18 + material difference with pawns, clamped to -16..16
//   40  per colour, from 0 for the side to move and 20 for the other: pawns (0-8), 9 +
//       minors (up to 4), 14 + rooks (up to 2), 17 + queens (up to 1), 19 when there are more
constexpr int MATERIAL_DIFFERENCE = 32;
constexpr int DIFFERENCE_CENTRE   = 16;
constexpr int DIFFERENCE_LIMIT    = 13;
constexpr int MATERIAL_BALANCE    = 36;
constexpr int BALANCE_CENTRE      = 18;
constexpr int BALANCE_LIMIT       = 16;
constexpr int MATERIAL_COUNTS     = 40;
constexpr int COUNTS_BLOCK        = 20;
constexpr int COUNT_MINORS        = 9;
constexpr int COUNT_ROOKS         = 14;
constexpr int COUNT_QUEENS        = 17;
constexpr int COUNT_EXCESS        = 19;
constexpr int MAX_MINORS          = 4;
constexpr int MAX_ROOKS           = 2;
constexpr int MAX_QUEENS          = 1;

// Weight rows to take away from and add to a first layer, in order. src null means starting
// from the bias in every unit; dst may equal src. The row lists are left unset beyond their
// counts, since an update is made for every evaluation.
struct RowUpdate {
    std::int16_t* dst       = nullptr;
    const std::int16_t* src = nullptr;
    std::int16_t bias       = 0;
    const std::int16_t* subs[NN_MAX_FEATURES]; // first n_subs entries used
    int n_subs = 0;
    const std::int16_t* adds[NN_MAX_FEATURES]; // first n_adds entries used
    int n_adds = 0;
};

// The score of an output sum never falls as the sum rises (every step from the sum to the
// centipawns is monotonic, the roundings included), so it is read from the smallest sum that
// reaches each score instead of through an exponential and a logarithm per evaluation.
// floors[s + NN_SCORE_LIMIT] is the smallest sum whose score is s or more.
struct ScoreFloors {
    std::int32_t floors[2 * NN_SCORE_LIMIT + 1];
};

int score_of_sum_exactly(std::int32_t sum) {
    return nn_score_of(nn_probability(sum, 1));
}

ScoreFloors make_score_floors() {
    ScoreFloors t{};
    t.floors[0] = INT32_MIN;
    for (int s = -NN_SCORE_LIMIT + 1; s <= NN_SCORE_LIMIT; ++s) {
        std::int64_t lo = INT32_MIN, hi = INT32_MAX; // score(lo) < s <= score(hi)
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (score_of_sum_exactly(static_cast<std::int32_t>(mid)) >= s)
                hi = mid;
            else
                lo = mid;
        }
        t.floors[s + NN_SCORE_LIMIT] = static_cast<std::int32_t>(hi);
    }
    return t;
}

// Output sum per centipawn without the roundings (19,440 today), from the two scales: the first
// guess of the score search.
constexpr std::int32_t SUM_PER_CENTIPAWN =
    static_cast<std::int32_t>(-1.0 / (NN_OUTPUT_SCALE * NN_SCORE_SCALE) + 0.5);

int saturate(int v) {
    return std::clamp(v, -32768, 32767);
}

int nibble(std::uint32_t signature, int type) {
    return static_cast<int>((signature >> (4 * (type - 1))) & 15);
}

// Pawns of a colour with no enemy pawn ahead of them on their own or a neighbouring file.
Bitboard passed_pawns_of(const Position& pos, int colour) {
    const Bitboard enemy = pieces_of(pos, colour ^ 1, PAWN);
    return pieces_of(pos, colour, PAWN) &
           ~(pawn_fronts(enemy, colour ^ 1) | pawn_attack_span(enemy, colour ^ 1));
}

// Appends the material inputs of the counts encoding for one colour.
int add_material_counts(const Position& pos, int colour, int b, std::uint16_t* out, int n) {
    const std::uint32_t sig = pos.material_sig[colour];
    const int minors        = nibble(sig, KNIGHT) + nibble(sig, BISHOP);
    const int rooks         = nibble(sig, ROOK);
    const int queens        = nibble(sig, QUEEN);
    out[n++]                = static_cast<std::uint16_t>(b + nibble(sig, PAWN));
    out[n++] = static_cast<std::uint16_t>(b + COUNT_MINORS + std::min(minors, MAX_MINORS));
    out[n++] = static_cast<std::uint16_t>(b + COUNT_ROOKS + std::min(rooks, MAX_ROOKS));
    out[n++] = static_cast<std::uint16_t>(b + COUNT_QUEENS + std::min(queens, MAX_QUEENS));
    if (queens > MAX_QUEENS || rooks > MAX_ROOKS || minors > MAX_MINORS)
        out[n++] = static_cast<std::uint16_t>(b + COUNT_EXCESS);
    return n;
}

int add_material_inputs(const Position& pos, std::uint16_t* out, int n) {
    const int side = pos.side, other = side ^ 1;
    const int base    = network.n_inputs;
    const int pm_side = pos.piece_material[side], pm_other = pos.piece_material[other];
    switch (network.n_material_inputs) {
    case MATERIAL_DIFFERENCE:
        out[n++] = static_cast<std::uint16_t>(
            base + DIFFERENCE_CENTRE +
            std::clamp(pm_side - pm_other, -DIFFERENCE_LIMIT, DIFFERENCE_LIMIT));
        break;
    case MATERIAL_BALANCE: {
        const int d = (nibble(pos.material_sig[side], PAWN) + pm_side) -
                      (nibble(pos.material_sig[other], PAWN) + pm_other);
        out[n++] = static_cast<std::uint16_t>(base + BALANCE_CENTRE +
                                              std::clamp(d, -BALANCE_LIMIT, BALANCE_LIMIT));
        break;
    }
    case MATERIAL_COUNTS:
        for (const int c : {WHITE, BLACK})
            n = add_material_counts(pos, c, base + (c == side ? 0 : COUNTS_BLOCK), out, n);
        break;
    default:
        break;
    }
    return n;
}

// Colour and input slot of each feature group (see NN_GROUPS).
constexpr int GROUP_COLOUR[NN_GROUPS] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 1};
constexpr int GROUP_SLOT[NN_GROUPS]   = {
      0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, NN_PASSER_SLOT, NN_PASSER_SLOT};

// Where each colour's features start and how its squares are turned, for one side to move and
// one pair of king wings. Each side's pieces are mirrored so that its own king stands on files
// e-h, and the board is turned when black is to move, so the side to move always plays up the
// board.
struct GroupLayout {
    int base[2];
    int flip[2];
};

GroupLayout group_layout(int side, int wings) {
    const int quarter = network.n_inputs / 4, half = network.n_inputs / 2;
    const int wing[2] = {wings & 1, (wings >> 1) & 1};
    GroupLayout l;
    for (const int c : {WHITE, BLACK}) {
        l.base[c] = (c == side ? 0 : quarter) + (wing[WHITE] != wing[BLACK] ? half : 0);
        l.flip[c] = (wing[c] ? 7 : 0) | (side == BLACK ? 56 : 0);
    }
    return l;
}

// The feature list of a position as groups of squares, with its material inputs.
void feature_groups(const Position& pos, FeatureGroups& fg) {
    for (const int c : {WHITE, BLACK}) {
        fg.squares[6 * c] = pieces_of(pos, c, KING);
        for (int type = PAWN; type <= QUEEN; ++type)
            fg.squares[6 * c + type] = pieces_of(pos, c, type);
    }
    const bool passers = network.n_inputs == NN_PASSER_INPUTS;
    for (const int c : {WHITE, BLACK})
        fg.squares[NN_PIECE_GROUPS + c] = passers ? passed_pawns_of(pos, c) : 0;
    fg.wings          = static_cast<std::uint8_t>((file_of(pos.king_sq[WHITE]) < 4 ? 1 : 0) |
                                         (file_of(pos.king_sq[BLACK]) < 4 ? 2 : 0));
    fg.material_count = static_cast<std::int16_t>(add_material_inputs(pos, fg.material, 0));
}

inline bool kings_on_opposite_wings(const FeatureGroups& fg) {
    return fg.wings == 1 || fg.wings == 2;
}

// Writes the list of a group's squares from index n on and returns the new length.
inline int add_group(std::uint16_t* features, int n, const GroupLayout& l, int g,
                     Bitboard squares) {
    const int c     = GROUP_COLOUR[g];
    const int start = l.base[c] + 64 * GROUP_SLOT[g];
    while (squares)
        features[n++] = static_cast<std::uint16_t>(start + (pop_lsb(squares) ^ l.flip[c]));
    return n;
}

// The feature list of groups, for the side to move; returns its length.
int expand_groups(const FeatureGroups& fg, int side, std::uint16_t* features) {
    const GroupLayout l = group_layout(side, fg.wings);
    int n               = 0;
    for (int g = 0; g < NN_GROUPS; ++g)
        n = add_group(features, n, l, g, fg.squares[g]);
    for (int i = 0; i < fg.material_count; ++i)
        features[n++] = fg.material[i];
    return n;
}

inline const std::int16_t* weight_row(int feature) {
    return network.w1 + static_cast<std::size_t>(feature) * network.hidden1;
}

// Appends the weight rows of a group's squares to rows from index n on; returns the new count.
inline int add_group_rows(const std::int16_t** rows, int n, const GroupLayout& l, int g,
                          Bitboard squares) {
    const int c     = GROUP_COLOUR[g];
    const int start = l.base[c] + 64 * GROUP_SLOT[g];
    while (squares)
        rows[n++] = weight_row(start + (pop_lsb(squares) ^ l.flip[c]));
    return n;
}

// Appends the rows of the material inputs of `from` that `other` lacks, in list order.
inline int add_material_rows(const std::int16_t** rows, int n, const FeatureGroups& from,
                             const FeatureGroups& other) {
    for (int i = 0; i < from.material_count; ++i) {
        const std::uint16_t f = from.material[i];
        bool shared           = false;
        for (int j = 0; j < other.material_count; ++j)
            shared |= other.material[j] == f;
        if (!shared)
            rows[n++] = weight_row(f);
    }
    return n;
}

// Lanes [from, to) of an update in plain loops: the definition the vector loops follow. Each
// lane gets its steps in the same order whether rows or lanes form the outer loop; rows outside
// keep the reads sequential.
void scalar_apply(const RowUpdate& u, int from, int to) {
    std::int16_t* dst = u.dst;
    for (int i = from; i < to; ++i)
        dst[i] = u.src ? u.src[i] : u.bias;
    for (int s = 0; s < u.n_subs; ++s)
        for (int i = from; i < to; ++i)
            dst[i] = static_cast<std::int16_t>(saturate(dst[i] - u.subs[s][i]));
    for (int a = 0; a < u.n_adds; ++a)
        for (int i = from; i < to; ++i)
            dst[i] = static_cast<std::int16_t>(saturate(dst[i] + u.adds[a][i]));
}

#ifdef TARN_NN_VECTOR
// Runs an update over tiles of REGS vectors held in registers while every row passes over
// them, from lane `from` for as long as whole tiles fit in n; returns the first lane not done.
template <int REGS> int vector_apply(const RowUpdate& u, int from, int n) {
    constexpr int WIDTH = REGS * NN_VEC_LANES;
    int base            = from;
    for (; base + WIDTH <= n; base += WIDTH) {
        NnVec r[REGS];
        for (int k = 0; k < REGS; ++k)
            r[k] = u.src ? nn_load(u.src + base + k * NN_VEC_LANES) : nn_splat(u.bias);
        for (int s = 0; s < u.n_subs; ++s)
            for (int k = 0; k < REGS; ++k)
                r[k] = nn_subs(r[k], nn_load(u.subs[s] + base + k * NN_VEC_LANES));
        for (int a = 0; a < u.n_adds; ++a)
            for (int k = 0; k < REGS; ++k)
                r[k] = nn_adds(r[k], nn_load(u.adds[a] + base + k * NN_VEC_LANES));
        for (int k = 0; k < REGS; ++k)
            nn_store(u.dst + base + k * NN_VEC_LANES, r[k]);
    }
    return base;
}
#endif

void apply_rows(const RowUpdate& u, int n) {
    int done = 0;
#ifdef TARN_NN_VECTOR
    // Every tile passes over all the rows, so the lanes left after the wide tiles go in as few
    // tiles as possible (896 units are three tiles of 8 and one of 4 with AVX-512).
    constexpr int TILE_REGS = 8;
    done                    = vector_apply<TILE_REGS>(u, done, n);
    done                    = vector_apply<TILE_REGS / 2>(u, done, n);
    done                    = vector_apply<TILE_REGS / 4>(u, done, n);
    done                    = vector_apply<1>(u, done, n);
#endif
    scalar_apply(u, done, n);
}

// Sum over the units of activated first-layer value times output weight, wrapping in 32 bits.
std::int32_t output_sum(const std::int16_t* acc, const std::int16_t* weights, int n) {
    int done          = 0;
    std::uint32_t sum = 0;
#ifdef TARN_NN_VECTOR
    NnVec even = nn_zero(), odd = nn_zero();
    for (; done + 2 * NN_VEC_LANES <= n; done += 2 * NN_VEC_LANES) {
        even = nn_dot(even, nn_activate(nn_load(acc + done)), nn_load(weights + done));
        odd  = nn_dot(odd, nn_activate(nn_load(acc + done + NN_VEC_LANES)),
                      nn_load(weights + done + NN_VEC_LANES));
    }
    for (; done + NN_VEC_LANES <= n; done += NN_VEC_LANES)
        even = nn_dot(even, nn_activate(nn_load(acc + done)), nn_load(weights + done));
    sum = nn_total(even) + nn_total(odd);
#endif
    for (int i = done; i < n; ++i) {
        const int x      = acc[i];
        const int active = x < 0 ? (x + NN_ACTIVATION_ROUND) >> NN_ACTIVATION_SHIFT : x;
        sum += static_cast<std::uint32_t>(active * weights[i]);
    }
    return static_cast<std::int32_t>(sum);
}

// Makes the state's buffers for the network in force, and forgets everything computed with
// another network: cached sums and the network scores of the EvalCache.
bool state_ready(EvalState& state) {
    NnThreadState& nn = state.nn;
    if (nn.buffer && nn.generation == network.generation)
        return true;
    const int hidden1 = network.hidden1;
    if (!nn.buffer || nn.hidden1 != hidden1) {
        NnBuffer buffer = nn_allocate(2 * static_cast<std::size_t>(hidden1));
        if (!buffer)
            return false;
        nn.buffer                = std::move(buffer);
        nn.hidden1               = hidden1;
        nn.caches[0].accumulator = nn.buffer.get();
        nn.caches[1].accumulator = nn.buffer.get() + hidden1;
    }
    for (AccumulatorCache& c : nn.caches)
        c.count = NN_UNFILLED;
    for (EvalCacheEntry& e : state.eval_cache.entries)
        e.nn_score = EMPTY_SLOT;
    nn.generation = network.generation;
    return true;
}

// True when the side's cached sums may be updated by difference: the cache is filled, close
// to the new position, on the same king wings, and the node is deep enough that a new search
// has refreshed the sums at least once.
bool can_update(const AccumulatorCache& c, const NnThreadState& nn, Bitboard occupied, int ply) {
    return c.count != NN_UNFILLED && std::abs(nn.count - c.count) <= NN_MAX_CHANGES &&
           popcount(c.occupancy ^ occupied) <= NN_MAX_CHANGES &&
           c.opposite_wings == nn.opposite_wings &&
           static_cast<std::uint8_t>(ply) > NN_REFRESH_PLIES;
}

// The update between two feature lists written out, for kings that both changed wings: a
// feature is taken away when the new list lacks it and added when the old one lacks it, each
// in its list's order.
void update_by_lists(NnThreadState& nn, const AccumulatorCache& c, int side, RowUpdate& u) {
    std::uint16_t old_list[NN_MAX_FEATURES];
    const int old_count = expand_groups(c.groups, side, old_list);
    const int new_count = expand_groups(nn.groups, side, nn.features);
    for (int i = 0; i < new_count; ++i)
        nn.marks[nn.features[i]] = 1;
    // Each row is written in place and kept by counting it only when it belongs to the
    // list: few features change, and a branch per feature would be mispredicted often.
    for (int i = 0; i < old_count; ++i) {
        const int f      = old_list[i];
        u.subs[u.n_subs] = weight_row(f);
        u.n_subs += nn.marks[f] ^ 1;
        nn.marks[f] = 0;
    }
    for (int i = 0; i < new_count; ++i) {
        const int f      = nn.features[i];
        u.adds[u.n_adds] = weight_row(f);
        u.n_adds += nn.marks[f];
        nn.marks[f] = 0;
    }
}

// Brings the side's cached sums to the thread's new feature groups and files the groups with
// them. With the kings' wings unchanged every feature keeps its place in the inputs, so the
// squares a group lost or gained are the features the list lost or gained, and a group's
// squares come in list order.
void update_first_layer(NnThreadState& nn, AccumulatorCache& c, Bitboard occupied, int ply,
                        int side) {
    const FeatureGroups& now = nn.groups;
    const FeatureGroups& was = c.groups;
    RowUpdate u;
    u.dst = c.accumulator;
    if (can_update(c, nn, occupied, ply)) {
        ++nn.incremental_updates;
        u.src = c.accumulator;
        if (was.wings != now.wings) {
            update_by_lists(nn, c, side, u);
        } else {
            const GroupLayout l = group_layout(side, now.wings);
            for (int g = 0; g < NN_GROUPS; ++g)
                u.n_subs = add_group_rows(u.subs, u.n_subs, l, g, was.squares[g] & ~now.squares[g]);
            u.n_subs = add_material_rows(u.subs, u.n_subs, was, now);
            for (int g = 0; g < NN_GROUPS; ++g)
                u.n_adds = add_group_rows(u.adds, u.n_adds, l, g, now.squares[g] & ~was.squares[g]);
            u.n_adds = add_material_rows(u.adds, u.n_adds, now, was);
        }
    } else {
        ++nn.refreshes;
        u.bias              = network.tail[NN_BIAS_INDEX];
        const GroupLayout l = group_layout(side, now.wings);
        for (int g = 0; g < NN_GROUPS; ++g)
            u.n_adds = add_group_rows(u.adds, u.n_adds, l, g, now.squares[g]);
        for (int i = 0; i < now.material_count; ++i)
            u.adds[u.n_adds++] = weight_row(now.material[i]);
    }
    apply_rows(u, network.hidden1);
    c.groups         = now;
    c.count          = nn.count;
    c.opposite_wings = nn.opposite_wings;
    c.occupancy      = occupied;
}

} // namespace

int nn_evaluate(const Position& pos, EvalState& state, int ply) {
    if (!nn_ready())
        return 0;
    if (!state_ready(state)) {
        print_line("error initializing NN!");
        return NN_NO_STATE;
    }
    NnThreadState& nn = state.nn;
    int score         = 0;
    if (eval_cache_probe(pos, state, pos.side, SLOT_NN, ply, score)) {
        nn.last_nn_score = static_cast<std::int16_t>(score);
        return score;
    }
    nn.phase = static_cast<float>(
        std::min(1.0, (pos.piece_material[WHITE] + pos.piece_material[BLACK]) * NN_PHASE_PER_UNIT));
    feature_groups(pos, nn.groups);
    const Bitboard occupied = occupancy(pos);
    nn.opposite_wings       = kings_on_opposite_wings(nn.groups) ? 1 : 0;
    // Every piece is in one of the piece groups.
    nn.count = static_cast<std::int16_t>(
        popcount(occupied) + popcount(nn.groups.squares[NN_PIECE_GROUPS]) +
        popcount(nn.groups.squares[NN_PIECE_GROUPS + 1]) + nn.groups.material_count);
    AccumulatorCache& c = nn.caches[pos.side];
    update_first_layer(nn, c, occupied, ply, pos.side);

    const int hidden1      = network.hidden1;
    nn.bucket              = static_cast<std::int16_t>(nn_bucket(pos));
    const std::int32_t sum = output_sum(
        c.accumulator, network.w2 + static_cast<std::size_t>(nn.bucket) * hidden1, hidden1);
    nn.last_sum      = sum;
    score            = hidden1 > 0 ? nn_score_of_sum(sum) : 0;
    nn.last_nn_score = static_cast<std::int16_t>(score);
    eval_cache_store(pos, state, pos.side, SLOT_NN, score);
    return score;
}

int nn_features(const Position& pos, std::uint16_t* features, std::uint16_t& opposite_wings) {
    FeatureGroups fg;
    feature_groups(pos, fg);
    opposite_wings = kings_on_opposite_wings(fg) ? 1 : 0;
    return expand_groups(fg, pos.side, features);
}

int nn_bucket(const Position& pos) {
    const int m = std::max(pos.piece_material[WHITE], pos.piece_material[BLACK]);
    int bucket  = 0;
    while (bucket < NN_BUCKETS_USED - 1 && m < BUCKET_FLOORS[bucket])
        ++bucket;
    return bucket;
}

float nn_probability(std::int32_t sum, int hidden1) {
    if (hidden1 <= 0)
        return 0.5f;
    const float x =
        -static_cast<float>(static_cast<double>(static_cast<float>(sum)) * NN_OUTPUT_SCALE);
    return static_cast<float>(1.0 / (1.0 + std::exp(static_cast<double>(x))));
}

int nn_score_of(float probability) {
    const double p = probability;
    if (p < NN_PROBABILITY_MIN)
        return -NN_SCORE_LIMIT;
    if (p > NN_PROBABILITY_MAX)
        return NN_SCORE_LIMIT;
    return static_cast<int>(std::log(1.0 / p - 1.0) * NN_SCORE_SCALE);
}

int nn_score_of_sum(std::int32_t sum) {
    static const ScoreFloors table = make_score_floors(); // made by the first evaluation
    const std::int32_t* floors     = table.floors + NN_SCORE_LIMIT;
    int s = std::clamp(sum / SUM_PER_CENTIPAWN, -NN_SCORE_LIMIT, NN_SCORE_LIMIT);
    while (s < NN_SCORE_LIMIT && floors[s + 1] <= sum)
        ++s;
    while (s > -NN_SCORE_LIMIT && floors[s] > sum)
        --s;
    return s;
}

} // namespace tarn
