#include "eval/pawns.h"

#include <algorithm>
#include <cstdlib>

#include "core/attacks.h"
#include "core/see.h"
#include "eval/eval_cache.h"
#include "eval/eval_params.h"
#include "eval/eval_state.h"

namespace tarn {

namespace {

// Weights by the pawn's rank counted from its own side.
constexpr float PASSER_RANK_WEIGHT[8]    = {0, 0.09f, 0.09f, 0.24f, 0.40f, 0.64f, 1.0f, 0};
constexpr float KING_PROXIMITY_WEIGHT[8] = {0, 0.2f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 0};
constexpr float CONNECTED_WEIGHT[8]      = {0, 0, 0, 0.4f, 0.8f, 1.0f, 0, 0};
constexpr float CANDIDATE_RANK_WEIGHT[8] = {0, 0, 0, 0.4f, 0.7f, 1.0f, 0, 0};
// Candidate factor by the enemy king's distance to the pawn's seventh-rank square; 1 beyond.
constexpr float CANDIDATE_KING_FACTOR[5] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f};
constexpr float PROXIMITY_SCALE          = 0.25f;
constexpr int PROXIMITY_CAP              = 6; // king distances beyond this count as this
constexpr int PROXIMITY_BASE             = 2; // distance that scores nothing
constexpr int KING_ON_TARGET             = -1;
constexpr int SEVENTH_RANK               = 6; // rank index counted from the pawn's side
constexpr int CANDIDATE_MIN_RANK         = 3;

int relative_rank(int colour, int sq) {
    return colour == WHITE ? rank_of(sq) : 7 - rank_of(sq);
}

// Squares strictly ahead of sq on its file, toward the colour's promotion.
Bitboard squares_ahead(int colour, int sq) {
    return attack_tables.ray[colour == WHITE ? DIR_N : DIR_S][sq];
}

void score_passer(const Position& pos, HceScratch& e, int c, int s) {
    const int o          = c ^ 1;
    const int dir        = PAWN_DIRECTION[c];
    const int rank       = relative_rank(c, s);
    const Bitboard occ   = occupancy(pos);
    const Bitboard ahead = squares_ahead(c, s);
    if (ahead & (pos.pieces[make_code(WHITE, PAWN)] | pos.pieces[make_code(BLACK, PAWN)]))
        return;
    int stop = s + dir;
    if (rank == 1 && !(occ & bit(stop)))
        stop += dir;

    int kind = PPAWN_BASE;
    if (!(occ & bit(stop)) && see(pos, c, s, stop) == 0) {
        kind                = PPAWN_MOBILE;
        const Bitboard held = (e.all[o] | pos.pieces[8 * o]) & ~(e.all[c] & ~e.twice[o]);
        if (!(e.pnb[o] & ahead) && !(ahead & held)) {
            kind = PPAWN_FREE;
            e.free_passers |= bit(s);
        }
    }
    e.score[c] += param_weighted(kind, PASSER_RANK_WEIGHT[rank]);

    const int target = rank < SEVENTH_RANK ? stop + dir : stop;
    const float f    = KING_PROXIMITY_WEIGHT[rank] * PROXIMITY_SCALE;
    const int own =
        pos.king_sq[c] == target
            ? KING_ON_TARGET
            : std::min(king_distance(pos.king_sq[c], target), PROXIMITY_CAP) - PROXIMITY_BASE;
    const int enemy =
        std::min(king_distance(pos.king_sq[o], target), PROXIMITY_CAP) - PROXIMITY_BASE;
    e.score[c] += param_weighted(PPAWN_FKPROX, static_cast<float>(own) * f);
    e.score[c] += param_weighted(PPAWN_EKPROX, static_cast<float>(enemy) * f);

    if (e.by_type[c][PAWN] & bit(stop))
        e.score[c] += param_weighted(PPAWN_CONNECTED, CONNECTED_WEIGHT[rank]);
}

void score_candidate(const Position& pos, HceScratch& e, int c, int s) {
    const int o          = c ^ 1;
    const int rank       = relative_rank(c, s);
    const Bitboard ahead = squares_ahead(c, s);
    if (rank < CANDIDATE_MIN_RANK || (ahead & occupancy(pos)))
        return;
    const Bitboard pawns = pos.pieces[make_code(c, PAWN)];
    const int helpers    = popcount(pawns & (shift_east(bit(s)) | shift_west(bit(s))));
    const int sentries   = popcount(ahead & e.all[o]) + ((ahead & e.twice[o]) ? 1 : 0);
    if (helpers < sentries)
        return;
    const int seventh = file_of(s) + 8 * (c == WHITE ? SEVENTH_RANK : 7 - SEVENTH_RANK);
    const int d       = king_distance(pos.king_sq[o], seventh);
    const float g     = d < 5 ? CANDIDATE_KING_FACTOR[d] : 1.0f;
    e.score[c] += param_weighted(PPAWN_CANDIDATE, CANDIDATE_RANK_WEIGHT[rank] * g);
}

} // namespace

int king_distance(int a, int b) {
    return std::max(std::abs(file_of(a) - file_of(b)), std::abs(rank_of(a) - rank_of(b)));
}

int pawn_structure_score(const Position& pos, const HceScratch& e, int colour) {
    const Bitboard pawns   = pos.pieces[make_code(colour, PAWN)];
    const Bitboard defence = pawn_attack_map(pawns, colour);
    const int table        = e.same_wing ? PST_P1 : PST_P2;
    // Pawns whose front square a friendly pawn attacks stand beside a friendly pawn.
    const Bitboard beside_friend = colour == WHITE ? defence >> 8 : defence << 8;
    int score                    = 0;
    for (Bitboard b = pawns; b;) {
        const int s = pop_lsb(b);
        const int t = s ^ e.flip[colour];
        score += param_value(MTL_PAWN) + pst_value(table, t);
        if (defence & bit(s))
            score += pst_value(PST_DP, t);
        if (beside_friend & bit(s))
            score += pst_value(PST_CP, t);
    }
    const Bitboard files     = north_fill(south_fill(pawns));
    const Bitboard isolated  = pawns & ~(shift_east(files) | shift_west(files));
    const Bitboard beside    = shift_east(pawns) | shift_west(pawns);
    const Bitboard supported = colour == WHITE ? north_fill(beside) : south_fill(beside);
    const Bitboard backward  = pawns & ~isolated & ~supported;
    const Bitboard doubled   = pawns & pawn_fronts(pawns, colour);
    score += popcount(isolated) * param_value(PAWN_ISOLATED);
    score += popcount(backward) * param_value(PAWN_WEAK);
    score += popcount(doubled) * param_value(PAWN_DOUBLED);
    return score;
}

void pawn_structure(const Position& pos, EvalState& state, HceScratch& e, int ply) {
    const std::uint64_t hash = pawn_hash_of(pos);
    int white = 0, black = 0;
    if (!pawn_hash_probe(state, hash, ply, white, black)) {
        white = pawn_structure_score(pos, e, WHITE);
        black = pawn_structure_score(pos, e, BLACK);
        pawn_hash_store(state, hash, white, black);
    }
    e.score[WHITE] += white;
    e.score[BLACK] += black;
}

void passed_pawns(const Position& pos, HceScratch& e) {
    const Bitboard white     = pos.pieces[make_code(WHITE, PAWN)];
    const Bitboard black     = pos.pieces[make_code(BLACK, PAWN)];
    const Bitboard passed[2] = {
        white & ~(pawn_fronts(black, BLACK) | pawn_attack_span(black, BLACK)),
        black & ~(pawn_fronts(white, WHITE) | pawn_attack_span(white, WHITE))};
    const Bitboard open[2] = {white & ~pawn_fronts(black, BLACK),
                              black & ~pawn_fronts(white, WHITE)};
    for (Bitboard b = passed[WHITE] | passed[BLACK]; b;) {
        const int s = pop_lsb(b);
        score_passer(pos, e, colour_of(pos.board[s]), s);
    }
    for (Bitboard b = (open[WHITE] & ~passed[WHITE]) | (open[BLACK] & ~passed[BLACK]); b;) {
        const int s = pop_lsb(b);
        score_candidate(pos, e, colour_of(pos.board[s]), s);
    }
}

} // namespace tarn
