#include "eval/nn.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/thread_data.h"
#include "eval/eval_cache.h"
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
    constexpr int TILE_REGS = 8;
    done                    = vector_apply<TILE_REGS>(u, done, n);
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

// Makes the thread's buffers for the network in force, and forgets everything computed with
// another network: cached sums and the network scores of the EvalCache.
bool state_ready(ThreadData& td) {
    NnThreadState& nn = td.nn;
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
    for (EvalCacheEntry& e : td.eval_cache.entries)
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

// Brings the side's cached sums to the thread's new feature list and files the list with them.
void update_first_layer(NnThreadState& nn, AccumulatorCache& c, Bitboard occupied, int ply) {
    const int hidden1 = network.hidden1;
    const auto row    = [&](int f) { return network.w1 + static_cast<std::size_t>(f) * hidden1; };
    RowUpdate u;
    u.dst = c.accumulator;
    if (can_update(c, nn, occupied, ply)) {
        ++nn.incremental_updates;
        u.src = c.accumulator;
        for (int i = 0; i < nn.count; ++i)
            nn.marks[nn.features[i]] = 1;
        // Each row is written in place and kept by counting it only when it belongs to the
        // list: few features change, and a branch per feature would be mispredicted often.
        for (int i = 0; i < c.count; ++i) {
            const int f      = c.features[i];
            u.subs[u.n_subs] = row(f);
            u.n_subs += nn.marks[f] ^ 1;
            nn.marks[f] = 0;
        }
        for (int i = 0; i < nn.count; ++i) {
            const int f      = nn.features[i];
            u.adds[u.n_adds] = row(f);
            u.n_adds += nn.marks[f];
            nn.marks[f] = 0;
        }
    } else {
        ++nn.refreshes;
        u.bias = network.tail[NN_BIAS_INDEX];
        for (int i = 0; i < nn.count; ++i)
            u.adds[u.n_adds++] = row(nn.features[i]);
    }
    apply_rows(u, hidden1);
    std::copy(nn.features, nn.features + nn.count, c.features);
    c.count          = nn.count;
    c.opposite_wings = nn.opposite_wings;
    c.occupancy      = occupied;
}

} // namespace

int nn_evaluate(ThreadData& td, int ply) {
    if (!nn_ready())
        return 0;
    if (!state_ready(td)) {
        print_line("error initializing NN!");
        return NN_NO_STATE;
    }
    NnThreadState& nn   = td.nn;
    const Position& pos = td.pos;
    int score           = 0;
    if (eval_cache_probe(td, pos.side, SLOT_NN, ply, score)) {
        nn.last_nn_score = static_cast<std::int16_t>(score);
        return score;
    }
    nn.phase = static_cast<float>(
        std::min(1.0, (pos.piece_material[WHITE] + pos.piece_material[BLACK]) * NN_PHASE_PER_UNIT));
    nn.count = static_cast<std::int16_t>(nn_features(pos, nn.features, nn.opposite_wings));
    AccumulatorCache& c = nn.caches[pos.side];
    update_first_layer(nn, c, occupancy(pos), ply);

    const int hidden1      = network.hidden1;
    nn.bucket              = static_cast<std::int16_t>(nn_bucket(pos));
    const std::int32_t sum = output_sum(
        c.accumulator, network.w2 + static_cast<std::size_t>(nn.bucket) * hidden1, hidden1);
    nn.last_probability = nn_probability(sum, hidden1);
    score               = nn_score_of(nn.last_probability);
    nn.last_nn_score    = static_cast<std::int16_t>(score);
    eval_cache_store(td, pos.side, SLOT_NN, score);
    return score;
}

int nn_features(const Position& pos, std::uint16_t* features, std::uint16_t& opposite_wings) {
    const int quarter = network.n_inputs / 4, half = network.n_inputs / 2;
    const int side = pos.side;
    int wing[2], base[2], flip[2];
    for (const int c : {WHITE, BLACK})
        wing[c] = file_of(pos.king_sq[c]) < 4 ? 1 : 0;
    opposite_wings = wing[WHITE] != wing[BLACK] ? 1 : 0;
    // Each side's pieces are mirrored so that its own king stands on files e-h, and the board
    // is turned when black is to move, so the side to move always plays up the board.
    for (const int c : {WHITE, BLACK}) {
        base[c] = (c == side ? 0 : quarter) + (opposite_wings ? half : 0);
        flip[c] = (wing[c] ? 7 : 0) | (side == BLACK ? 56 : 0);
    }
    int n          = 0;
    const auto add = [&](int c, int slot, Bitboard squares) {
        while (squares)
            features[n++] =
                static_cast<std::uint16_t>(base[c] + 64 * slot + (pop_lsb(squares) ^ flip[c]));
    };
    for (const int c : {WHITE, BLACK}) {
        add(c, 0, pieces_of(pos, c, KING));
        for (int type = PAWN; type <= QUEEN; ++type)
            add(c, type, pieces_of(pos, c, type));
    }
    if (network.n_inputs == NN_PASSER_INPUTS)
        for (const int c : {WHITE, BLACK})
            add(c, NN_PASSER_SLOT, passed_pawns_of(pos, c));
    return add_material_inputs(pos, features, n);
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

} // namespace tarn
