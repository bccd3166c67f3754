#include "eval/nn_reference.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tarn::test {

namespace {

constexpr double STORED_TO_USED = 0.18000000000000002;
constexpr int CACHE_ENTRIES     = 32768;

int clamp16(int v, bool& saturated) {
    if (v > 32767 || v < -32768)
        saturated = true;
    return std::clamp(v, -32768, 32767);
}

int scaled(std::int16_t stored) {
    return static_cast<int>(std::trunc(stored * STORED_TO_USED));
}

bool is_passed(const Position& pos, int sq, int colour) {
    const int enemy_pawn = make_code(colour ^ 1, PAWN);
    for (int other = 0; other < 64; ++other) {
        if (pos.board[other] != enemy_pawn || std::abs(file_of(other) - file_of(sq)) > 1)
            continue;
        if (colour == WHITE ? rank_of(other) > rank_of(sq) : rank_of(other) < rank_of(sq))
            return false;
    }
    return true;
}

std::vector<int> sums_of(const ReferenceNet& net, const std::vector<int>& features,
                         bool& saturated) {
    const int h1 = net.dims.hidden1;
    std::vector<int> sums(static_cast<std::size_t>(h1), net.bias);
    for (const int f : features)
        for (int i = 0; i < h1; ++i)
            sums[i] = clamp16(sums[i] + net.w1[static_cast<std::size_t>(f) * h1 + i], saturated);
    return sums;
}

} // namespace

ReferenceNet reference_net(const SyntheticNet& dims, const std::vector<std::int16_t>& stored) {
    ReferenceNet net;
    net.dims = dims;
    const std::size_t first =
        static_cast<std::size_t>(dims.n_inputs + dims.n_material_inputs) * dims.hidden1;
    const std::size_t second = static_cast<std::size_t>(8) * dims.hidden1;
    for (std::size_t i = 0; i < first; ++i)
        net.w1.push_back(scaled(stored[i]));
    for (std::size_t i = 0; i < second; ++i)
        net.w2.push_back(scaled(stored[first + i]));
    net.bias = scaled(stored[stored.size() - 8 + 1]);
    return net;
}

ReferenceEvaluator reference_evaluator(const ReferenceNet& net) {
    ReferenceEvaluator r;
    r.net = net;
    r.cached_keys.assign(CACHE_ENTRIES, 0);
    r.cached_scores.assign(CACHE_ENTRIES, 0);
    r.cached.assign(CACHE_ENTRIES, false);
    return r;
}

std::vector<int> reference_features(const SyntheticNet& dims, const Position& pos,
                                    int& opposite_wings) {
    int king[2]     = {0, 0};
    int count[2][8] = {};
    for (int sq = 0; sq < 64; ++sq) {
        const int code = pos.board[sq];
        if (!code)
            continue;
        ++count[colour_of(code)][type_of(code)];
        if (type_of(code) == KING)
            king[colour_of(code)] = sq;
    }
    const int side = pos.side, other = side ^ 1;
    const bool queen_wing[2] = {file_of(king[WHITE]) <= 3, file_of(king[BLACK]) <= 3};
    opposite_wings           = queen_wing[WHITE] != queen_wing[BLACK];
    std::vector<int> out;
    const auto block = [&](int c) {
        return (c == side ? 0 : dims.n_inputs / 4) + (opposite_wings ? dims.n_inputs / 2 : 0);
    };
    const auto square = [&](int c, int sq) {
        if (queen_wing[c])
            sq = rank_of(sq) * 8 + (7 - file_of(sq));
        if (side == BLACK)
            sq = (7 - rank_of(sq)) * 8 + file_of(sq);
        return sq;
    };
    for (const int c : {WHITE, BLACK})
        for (const int type : {KING, PAWN, KNIGHT, BISHOP, ROOK, QUEEN})
            for (int sq = 0; sq < 64; ++sq)
                if (pos.board[sq] == make_code(c, type))
                    out.push_back(block(c) + 64 * (type == KING ? 0 : type) + square(c, sq));
    if (dims.n_inputs == 1792)
        for (const int c : {WHITE, BLACK})
            for (int sq = 0; sq < 64; ++sq)
                if (pos.board[sq] == make_code(c, PAWN) && is_passed(pos, sq, c))
                    out.push_back(block(c) + 64 * 6 + square(c, sq));
    int material[2];
    for (const int c : {WHITE, BLACK})
        material[c] =
            3 * count[c][KNIGHT] + 3 * count[c][BISHOP] + 5 * count[c][ROOK] + 10 * count[c][QUEEN];
    const int n = dims.n_inputs;
    if (dims.n_material_inputs == 32) {
        out.push_back(n + 16 + std::clamp(material[side] - material[other], -13, 13));
    } else if (dims.n_material_inputs == 36) {
        const int d = count[side][PAWN] + material[side] - count[other][PAWN] - material[other];
        out.push_back(n + 18 + std::clamp(d, -16, 16));
    } else if (dims.n_material_inputs == 40) {
        for (const int c : {WHITE, BLACK}) {
            const int b      = n + (c == side ? 0 : 20);
            const int minors = count[c][KNIGHT] + count[c][BISHOP];
            out.push_back(b + count[c][PAWN]);
            out.push_back(b + 9 + std::min(minors, 4));
            out.push_back(b + 14 + std::min(count[c][ROOK], 2));
            out.push_back(b + 17 + std::min(count[c][QUEEN], 1));
            if (count[c][QUEEN] > 1 || count[c][ROOK] > 2 || minors > 4)
                out.push_back(b + 19);
        }
    }
    return out;
}

std::vector<int> reference_sums(const ReferenceNet& net, const std::vector<int>& features) {
    bool saturated = false;
    return sums_of(net, features, saturated);
}

ReferenceResult reference_evaluate(ReferenceEvaluator& r, const Position& pos, int ply) {
    ReferenceResult result;
    const std::size_t index = (pos.key & 0x7FFE) + pos.side;
    if (r.cached[index] && r.cached_keys[index] == pos.key && ply >= 2) {
        result.cache_hit = true;
        result.score     = r.cached_scores[index];
        return result;
    }
    int wings                       = 0;
    const std::vector<int> features = reference_features(r.net.dims, pos, wings);
    std::uint64_t occupied          = 0;
    int material[2]                 = {0, 0};
    for (int sq = 0; sq < 64; ++sq) {
        const int code = pos.board[sq];
        if (!code)
            continue;
        occupied |= std::uint64_t{1} << sq;
        const int values[8] = {0, 0, 3, 3, 5, 10, 0, 0};
        material[colour_of(code)] += values[type_of(code)];
    }
    ReferenceCache& c = r.caches[pos.side];
    const int h1      = r.net.dims.hidden1;
    const int count_change =
        static_cast<int>(features.size()) - static_cast<int>(c.features.size());
    result.incremental = c.filled && count_change >= -8 && count_change <= 8 &&
                         std::popcount(c.occupancy ^ occupied) <= 8 && c.opposite_wings == wings &&
                         (ply & 0xFF) > 2;
    std::vector<int> sums;
    if (result.incremental) {
        sums = c.sums;
        for (const int f : c.features)
            if (std::find(features.begin(), features.end(), f) == features.end())
                for (int i = 0; i < h1; ++i)
                    sums[i] = clamp16(sums[i] - r.net.w1[static_cast<std::size_t>(f) * h1 + i],
                                      result.saturated);
        for (const int f : features)
            if (std::find(c.features.begin(), c.features.end(), f) == c.features.end())
                for (int i = 0; i < h1; ++i)
                    sums[i] = clamp16(sums[i] + r.net.w1[static_cast<std::size_t>(f) * h1 + i],
                                      result.saturated);
    } else {
        sums = sums_of(r.net, features, result.saturated);
    }
    c = ReferenceCache{true, features, sums, wings, occupied};

    const int m        = std::max(material[WHITE], material[BLACK]);
    result.bucket      = m > 25    ? 0
                         : m >= 21 ? 1
                         : m >= 16 ? 2
                         : m >= 11 ? 3
                         : m >= 6  ? 4
                         : m >= 1  ? 5
                                   : 6;
    std::int64_t total = 0;
    for (int i = 0; i < h1; ++i) {
        const int active = sums[i] < 0 ? sums[i] / 16 : sums[i];
        total += static_cast<std::int64_t>(active) *
                 r.net.w2[static_cast<std::size_t>(result.bucket) * h1 + i];
    }
    const auto sum = static_cast<std::int32_t>(static_cast<std::uint32_t>(total));
    if (h1 <= 0) {
        result.probability = 0.5f;
    } else {
        const float x =
            static_cast<float>(static_cast<double>(static_cast<float>(sum)) * 3.08641975308642e-7);
        result.probability = static_cast<float>(1.0 / (1.0 + std::exp(-static_cast<double>(x))));
    }
    const double p         = result.probability;
    result.score           = p < 0.00001   ? -1919
                             : p > 0.99999 ? 1919
                                           : static_cast<int>(-166.6666717529297 * std::log(1.0 / p - 1.0));
    r.cached[index]        = true;
    r.cached_keys[index]   = pos.key;
    r.cached_scores[index] = result.score;
    return result;
}

} // namespace tarn::test
