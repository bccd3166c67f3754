#include "eval/hce.h"

#include <algorithm>

#include "core/attacks.h"
#include "eval/eval_cache.h"
#include "eval/eval_params.h"
#include "eval/eval_state.h"
#include "eval/hce_endings.h"
#include "eval/kpk.h"
#include "eval/pawns.h"

namespace tarn {

namespace {

// Mobility curves by the number of safe squares.
constexpr float KNIGHT_CURVE[9] = {-0.53f, -0.16f, 0, 0.12f, 0.22f, 0.31f, 0.39f, 0.47f, 0.47f};
constexpr float BISHOP_ROOK_CURVE[15] = {-0.47f, -0.14f, 0,     0.11f, 0.20f, 0.27f, 0.35f, 0.41f,
                                         0.47f,  0.53f,  0.53f, 0.53f, 0.53f, 0.53f, 0.53f};
constexpr float QUEEN_CURVE[28]       = {-0.47f, -0.24f, -0.14f, -0.06f, 0,     0.06f, 0.11f,
                                         0.15f,  0.20f,  0.24f,  0.27f,  0.31f, 0.35f, 0.38f,
                                         0.41f,  0.41f,  0.41f,  0.41f,  0.41f, 0.41f, 0.41f,
                                         0.41f,  0.41f,  0.41f,  0.41f,  0.41f, 0.41f, 0.41f};
// Weight of a king's distance to the nearest square ahead of a pawn, by ring.
constexpr float KING_PAWN_DIST_WEIGHT[8] = {0, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f, 1.0f};

constexpr double PHASE_PER_UNIT    = 0.017;
constexpr float OUTPOST_DEFENDED   = 1.0f;
constexpr float OUTPOST_UNDEFENDED = 0.67f;
constexpr float OUTPOST_REACHABLE  = 0.33f;
constexpr int FULL_SHIELD          = 9;
constexpr double SHIELD_STEP       = 0.111;
constexpr double DANGER_SCALE      = 0.0015;
constexpr int DANGER_MATERIAL      = 6; // king danger counts while the attacker has more
constexpr int PAWN_UNITS           = 2;
constexpr int KNIGHT_UNITS         = 4;
constexpr int BISHOP_UNITS         = 3;
constexpr int ROOK_UNITS           = 4;
constexpr int QUEEN_UNITS          = 5;
constexpr Bitboard LIGHT_SQUARES   = 0x55AA55AA55AA55AAULL;
constexpr Bitboard CENTRE_SQUARES  = 0x00003C3C3C3C0000ULL;   // c3-f6
constexpr Bitboard OUTPOST_ZONE[2] = {0x00007E7E7E000000ULL,  // b4-g6
                                      0x0000007E7E7E0000ULL}; // b3-g5
constexpr Bitboard ENEMY_HALF[2]   = {0xFFFFFFFF00000000ULL, 0x00000000FFFFFFFFULL};
constexpr Bitboard THIRD_RANK[2]   = {0x0000000000FF0000ULL, 0x0000FF0000000000ULL};

Bitboard forward(Bitboard b, int colour) {
    return colour == WHITE ? b << 8 : b >> 8;
}

int relative_rank(int colour, int sq) {
    return colour == WHITE ? rank_of(sq) : 7 - rank_of(sq);
}

Bitboard file_squares(int sq) {
    return FILE_A << file_of(sq);
}

// Records the attacks of one piece of colour c, and its weight in the danger count of the
// enemy king when they reach its zone.
void add_attacks(HceScratch& e, int c, int type, Bitboard a, int units) {
    e.twice[c] |= e.all[c] & a;
    e.all[c] |= a;
    e.by_type[c][type] |= a;
    if (a & e.king_zone[c ^ 1])
        e.attack_units[c ^ 1] += units;
}

// Step 2: phase, king zones, flips and the pawn and king attack maps.
void set_up(const Position& pos, HceScratch& e) {
    e.phase = static_cast<float>(
        std::min(1.0, (pos.piece_material[WHITE] + pos.piece_material[BLACK]) * PHASE_PER_UNIT));
    for (const int c : {WHITE, BLACK}) {
        const int k           = pos.king_sq[c];
        const int centre      = std::clamp(file_of(k), 1, 6) + 8 * std::clamp(rank_of(k), 1, 6);
        e.king_zone[c]        = king_attacks(centre) | bit(centre);
        const bool queen_wing = file_of(k) < 4;
        e.flip[c]             = c == WHITE ? (queen_wing ? 7 : 0) : (queen_wing ? 63 : 56);

        const Bitboard up   = forward(pos.pieces[make_code(c, PAWN)], c);
        const Bitboard east = shift_east(up);
        const Bitboard west = shift_west(up);
        e.by_type[c][PAWN]  = east | west;
        e.by_type[c][KING]  = king_attacks(k);
        e.all[c]            = e.by_type[c][PAWN] | e.by_type[c][KING];
        e.twice[c]          = (east & west) | (e.by_type[c][PAWN] & e.by_type[c][KING]);
    }
    e.same_wing = (file_of(pos.king_sq[WHITE]) < 4) == (file_of(pos.king_sq[BLACK]) < 4);
    for (const int c : {WHITE, BLACK}) {
        const Bitboard enemy_pawns = pos.pieces[make_code(c ^ 1, PAWN)];
        e.attack_units[c] = PAWN_UNITS * popcount(forward(enemy_pawns, c ^ 1) & e.king_zone[c]);
    }
}

// Step 4: pawns with any piece directly in front.
void blocked_pawns(const Position& pos, HceScratch& e) {
    const Bitboard occ = occupancy(pos);
    for (const int c : {WHITE, BLACK}) {
        const Bitboard pawns = pos.pieces[make_code(c, PAWN)];
        e.score[c] += popcount(pawns & forward(occ, c ^ 1)) * param_value(PAWN_BLOCKED);
    }
}

// Outpost squares of colour c: in its outpost zone and out of reach of every enemy pawn.
Bitboard outposts(const Position& pos, int c) {
    return OUTPOST_ZONE[c] & ~pawn_attack_span(pos.pieces[make_code(c ^ 1, PAWN)], c ^ 1);
}

float outpost_weight(const HceScratch& e, Bitboard posts, int c, int s, Bitboard a) {
    if (posts & bit(s))
        return (e.by_type[c][PAWN] & bit(s)) ? OUTPOST_DEFENDED : OUTPOST_UNDEFENDED;
    return (a & posts) ? OUTPOST_REACHABLE : 0.0f;
}

// Steps 5 and 6: knights and bishops, with the bishop pair and the rammed-pawn term.
void minor_pieces(const Position& pos, HceScratch& e) {
    const Bitboard occ = occupancy(pos);
    const Bitboard queens =
        pos.pieces[make_code(WHITE, QUEEN)] | pos.pieces[make_code(BLACK, QUEEN)];
    const int knight_table     = e.same_wing ? PST_N1 : PST_N2;
    const int bishop_table     = e.same_wing ? PST_B1 : PST_B2;
    const Bitboard posts[2]    = {outposts(pos, WHITE), outposts(pos, BLACK)};
    const int start_knights[2] = {e.score[WHITE], e.score[BLACK]};
    for (const int c : {WHITE, BLACK}) {
        const int o           = c ^ 1;
        const Bitboard unsafe = e.by_type[o][PAWN] | pos.pieces[8 * c];
        for (Bitboard b = pos.pieces[make_code(c, KNIGHT)]; b;) {
            const int s      = pop_lsb(b);
            const Bitboard a = knight_attacks(s);
            add_attacks(e, c, KNIGHT, a, KNIGHT_UNITS);
            e.score[c] += param_value(MTL_KNIGHT) +
                          param_weighted(KNIGHT_MOBILITY, KNIGHT_CURVE[popcount(a & ~unsafe)]) +
                          pst_value(knight_table, s ^ e.flip[c]) +
                          param_weighted(KNIGHT_OUTPOST, outpost_weight(e, posts[c], c, s, a));
        }
    }
    for (const int c : {WHITE, BLACK})
        e.section[SEC_KNIGHTS][c] = e.score[c] - start_knights[c];

    for (const int c : {WHITE, BLACK}) {
        const int start       = e.score[c];
        const int o           = c ^ 1;
        const Bitboard unsafe = e.by_type[o][PAWN] | pos.pieces[8 * c];
        const Bitboard own    = pos.pieces[make_code(c, BISHOP)];
        for (Bitboard b = own; b;) {
            const int s      = pop_lsb(b);
            const Bitboard a = bishop_attacks(s, occ & ~queens);
            add_attacks(e, c, BISHOP, a, BISHOP_UNITS);
            e.score[c] +=
                param_value(MTL_BISHOP) +
                param_weighted(BISHOP_MOBILITY, BISHOP_ROOK_CURVE[popcount(a & ~unsafe)]) +
                pst_value(bishop_table, s ^ e.flip[c]) +
                popcount(a & CENTRE_SQUARES) * param_value(BISHOP_INFILTRATION) +
                param_weighted(BISHOP_OUTPOST, outpost_weight(e, posts[c], c, s, a));
        }
        if ((own & LIGHT_SQUARES) && (own & ~LIGHT_SQUARES))
            e.score[c] += param_value(BISHOP_PAIR);
        const Bitboard rammed =
            pos.pieces[make_code(c, PAWN)] & forward(pos.pieces[make_code(o, PAWN)], o);
        int count = 0;
        if (own & LIGHT_SQUARES)
            count += popcount(rammed & LIGHT_SQUARES);
        if (own & ~LIGHT_SQUARES)
            count += popcount(rammed & ~LIGHT_SQUARES);
        e.score[c] += count * param_value(BISHOP_RAMPAWNS);
        e.section[SEC_BISHOPS][c] = e.score[c] - start;
    }
    for (const int c : {WHITE, BLACK})
        e.pnb[c] = e.by_type[c][PAWN] | e.by_type[c][KNIGHT] | e.by_type[c][BISHOP];
}

// Step 7: rooks, seeing through queens and their own rooks.
void rooks(const Position& pos, HceScratch& e) {
    const Bitboard occ = occupancy(pos);
    const Bitboard queens =
        pos.pieces[make_code(WHITE, QUEEN)] | pos.pieces[make_code(BLACK, QUEEN)];
    const Bitboard pawns = pos.pieces[make_code(WHITE, PAWN)] | pos.pieces[make_code(BLACK, PAWN)];
    const int table      = e.same_wing ? PST_R1 : PST_R2;
    for (const int c : {WHITE, BLACK}) {
        const int start       = e.score[c];
        const int o           = c ^ 1;
        const Bitboard own    = pos.pieces[make_code(c, ROOK)];
        const Bitboard unsafe = e.pnb[o] | pos.pieces[8 * c];
        for (Bitboard b = own; b;) {
            const int s      = pop_lsb(b);
            const Bitboard a = rook_attacks(s, occ & ~queens & ~own);
            add_attacks(e, c, ROOK, a, ROOK_UNITS);
            e.score[c] +=
                param_value(MTL_ROOK) +
                param_weighted(ROOK_MOBILITY, BISHOP_ROOK_CURVE[popcount(a & ~unsafe)]) +
                pst_value(table, s ^ e.flip[c]) +
                popcount(a & file_squares(s) & ENEMY_HALF[c]) * param_value(ROOK_INFILTRATION);
            if (!(pawns & file_squares(s)))
                e.score[c] += param_value(ROOK_OPENFILE);
            if (relative_rank(c, s) == 6 && relative_rank(c, pos.king_sq[o]) >= 6)
                e.score[c] += param_value(ROOK_7TH);
        }
        e.section[SEC_ROOKS][c] = e.score[c] - start;
    }
    for (const int c : {WHITE, BLACK})
        e.pnbr[c] = e.pnb[c] | e.by_type[c][ROOK];
}

// Step 8: queens. Squares behind the queen's own bishops and rooks on its lines count as
// doubly attacked and as reaching the enemy king zone.
void queens(const Position& pos, HceScratch& e) {
    const Bitboard occ = occupancy(pos);
    const int table    = e.same_wing ? PST_Q1 : PST_Q2;
    for (const int c : {WHITE, BLACK}) {
        const int start       = e.score[c];
        const int o           = c ^ 1;
        const Bitboard unsafe = e.pnbr[o] | pos.pieces[8 * c];
        for (Bitboard b = pos.pieces[make_code(c, QUEEN)]; b;) {
            const int s             = pop_lsb(b);
            const Bitboard diagonal = bishop_attacks(s, occ);
            const Bitboard straight = rook_attacks(s, occ);
            const Bitboard q        = diagonal | straight;
            const Bitboard x =
                bishop_attacks(s, occ & ~(diagonal & pos.pieces[make_code(c, BISHOP)])) |
                rook_attacks(s, occ & ~(straight & pos.pieces[make_code(c, ROOK)]));
            e.twice[c] |= e.all[c] & x;
            e.all[c] |= q;
            e.by_type[c][QUEEN] |= q;
            if (x & e.king_zone[o])
                e.attack_units[o] += QUEEN_UNITS;
            e.score[c] += param_value(MTL_QUEEN) +
                          param_weighted(QUEEN_MOBILITY, QUEEN_CURVE[popcount(q & ~unsafe)]) +
                          pst_value(table, s ^ e.flip[c]);
        }
        e.section[SEC_QUEENS][c] = e.score[c] - start;
    }
    for (const int c : {WHITE, BLACK})
        e.pnbrq[c] = e.pnbr[c] | e.by_type[c][QUEEN];
}

// Step 9.2: shield, safe checks and the attack count around the king of colour c.
void king_danger(const Position& pos, HceScratch& e, int c) {
    const int o          = c ^ 1;
    const int k          = pos.king_sq[c];
    const Bitboard z     = e.king_zone[c];
    const Bitboard occ   = occupancy(pos);
    const Bitboard pawns = pos.pieces[make_code(c, PAWN)];
    const Bitboard cover = pawns | forward(pawns, c) | forward(forward(pawns, c), c);
    const int m          = std::min(popcount(forward(z, c) & cover), FULL_SHIELD);
    e.score[c] += param_weighted(PAWN_SHIELD, static_cast<float>((m - FULL_SHIELD) * SHIELD_STEP));

    const Bitboard n        = e.by_type[o][KNIGHT] & ~e.pnb[c];
    const Bitboard bsh      = e.by_type[o][BISHOP] & ~e.pnb[c];
    const Bitboard r        = e.by_type[o][ROOK] & ~e.pnbr[c];
    const Bitboard q        = e.by_type[o][QUEEN] & ~e.pnbrq[c];
    const Bitboard excluded = (e.all[c] & ~e.twice[o]) | pos.pieces[8 * o];
    const Bitboard nk       = knight_attacks(k) & n & ~excluded;
    const Bitboard bk       = bishop_attacks(k, occ) & ~excluded;
    const Bitboard rk       = rook_attacks(k, occ) & ~excluded;
    const int q1            = (q & bk) ? 1 : 0;
    const int q2            = (q & rk) ? 1 : 0;
    const int checks        = popcount((bsh & bk) | (r & rk) | nk) + q1 + q2;
    e.score[c] += checks * param_value(ENEMY_CHECKS);

    const int units = popcount(z & e.by_type[o][PAWN] & ~e.by_type[c][PAWN]) +
                      KNIGHT_UNITS * popcount((nk | z) & n) +
                      BISHOP_UNITS * popcount(((bsh & bk) | z) & bsh) +
                      ROOK_UNITS * popcount(((r & rk) | z) & r) + 4 * (popcount(z & q) + q1 + q2) +
                      e.attack_units[c] - m;
    if (units > 0) {
        const float k2  = static_cast<float>(units * units * DANGER_SCALE);
        const int param = pos.pieces[make_code(o, QUEEN)] ? KING_DANGER1 : KING_DANGER2;
        e.score[c] += param_weighted(param, k2);
    }
}

// King distance from sq to the nearest square of a non-empty set (7 at most).
int distance_to_set(int sq, Bitboard set) {
    Bitboard reach = bit(sq);
    int d          = 0;
    while (!(reach & set) && d < 7) {
        reach |= shift_east(reach) | shift_west(reach);
        reach |= (reach << 8) | (reach >> 8);
        ++d;
    }
    return d;
}

// Step 9: king table, danger, trapped king and distance to the pawns' paths.
void king_safety(const Position& pos, HceScratch& e) {
    const Bitboard white = pos.pieces[make_code(WHITE, PAWN)];
    const Bitboard black = pos.pieces[make_code(BLACK, PAWN)];
    const Bitboard paths = pawn_fronts(white, WHITE) | pawn_fronts(black, BLACK);
    for (const int c : {WHITE, BLACK}) {
        const int start = e.score[c];
        const int o     = c ^ 1;
        const int k     = pos.king_sq[c];
        e.score[c] += pst_value(PST_K, k ^ e.flip[c]);
        if (pos.piece_material[o] > DANGER_MATERIAL)
            king_danger(pos, e, c);
        if (!(king_attacks(k) & ~(e.all[o] | pos.pieces[8 * c])))
            e.score[c] += param_value(KING_TRAPPED);
        if (paths) {
            const int d = distance_to_set(k, paths);
            if (d >= 2)
                e.score[c] += param_weighted(KING_PAWN_DIST, KING_PAWN_DIST_WEIGHT[d - 1]);
        }
        e.section[SEC_KING][c] = e.score[c] - start;
    }
}

// Step 11, first part: hanging and attacked pieces; marks them in e.hung.
void hanging_pieces(const Position& pos, HceScratch& e) {
    const Bitboard hang[2] = {(e.twice[BLACK] & ~(e.by_type[WHITE][PAWN] | e.twice[WHITE])) |
                                  (e.all[BLACK] & ~e.all[WHITE]),
                              (e.twice[WHITE] & ~(e.by_type[BLACK][PAWN] | e.twice[BLACK])) |
                                  (e.all[WHITE] & ~e.all[BLACK])};
    for (const int c : {WHITE, BLACK}) {
        const int o                = c ^ 1;
        const Bitboard defended    = e.by_type[c][PAWN];
        const Bitboard pawn_attack = e.by_type[o][PAWN];
        const Bitboard pawns = pos.pieces[make_code(c, PAWN)] & e.all[o] & ~defended & ~pawn_attack;
        e.score[c] += popcount(pawns & hang[c]) * param_value(HUNG_PAWN) +
                      popcount(pawns & ~hang[c]) * param_value(ATTACKED_PAWN);
        e.hung |= pawns & hang[c];

        const Bitboard minors =
            (pos.pieces[make_code(c, KNIGHT)] | pos.pieces[make_code(c, BISHOP)]) & e.all[o];
        const Bitboard hung_minors = minors & (hang[c] | pawn_attack);
        e.score[c] += popcount(hung_minors) * param_value(HUNG_MINOR) +
                      popcount(minors & ~hang[c] & ~defended) * param_value(ATTACKED_MINOR);
        e.hung |= hung_minors;

        const Bitboard majors =
            (pos.pieces[make_code(c, ROOK)] | pos.pieces[make_code(c, QUEEN)]) & e.pnb[o];
        e.score[c] += popcount(majors) * param_value(HUNG_MAJOR);
        e.hung |= majors;
    }
}

// Step 11, second part: pieces a safe pawn push would attack.
void push_threats(const Position& pos, HceScratch& e) {
    const Bitboard empty = ~occupancy(pos);
    for (const int c : {WHITE, BLACK}) {
        const int o            = c ^ 1;
        const Bitboard single  = forward(pos.pieces[make_code(c, PAWN)], c) & empty;
        const Bitboard jump    = forward(single & THIRD_RANK[c], c) & empty;
        const Bitboard unsafe  = (e.all[o] & ~e.by_type[c][PAWN]) | e.by_type[o][PAWN];
        const Bitboard pushes  = (single | jump) & ~unsafe;
        const Bitboard targets = pos.pieces[8 * o] & ~pos.pieces[make_code(o, PAWN)] & ~e.hung;
        e.score[o] += popcount(pawn_attack_map(pushes, c) & targets) * param_value(PPUSH_THREAT);
    }
}

// Pieces standing alone between `target` and an enemy slider on one of the given rays.
Bitboard pinned_toward(const Position& pos, int target, Bitboard diagonal_snipers,
                       Bitboard straight_snipers) {
    const Bitboard occ = occupancy(pos);
    Bitboard snipers   = (attack_tables.bishop_rays[target] & diagonal_snipers) |
                       (attack_tables.rook_rays[target] & straight_snipers);
    Bitboard marked = 0;
    while (snipers) {
        const Bitboard b = between(pop_lsb(snipers), target) & occ;
        if (popcount(b) == 1)
            marked |= b;
    }
    return marked;
}

// Step 11, last part: pieces pinned to their king or to their colour's first queen. The first
// queen is the one nearest the colour's own back rank, so that both colours are treated alike.
void pins(const Position& pos, HceScratch& e) {
    for (const int c : {WHITE, BLACK}) {
        const int o            = c ^ 1;
        const Bitboard bishops = pos.pieces[make_code(o, BISHOP)];
        const Bitboard rooks   = pos.pieces[make_code(o, ROOK)];
        const Bitboard queens  = pos.pieces[make_code(o, QUEEN)];
        Bitboard marked = pinned_toward(pos, pos.king_sq[c], bishops | queens, rooks | queens);
        const Bitboard own_queens = pos.pieces[make_code(c, QUEEN)];
        if (own_queens)
            marked |=
                pinned_toward(pos, c == WHITE ? lsb(own_queens) : msb(own_queens), bishops, rooks);
        const Bitboard pieces = pos.pieces[8 * c] & ~pos.pieces[make_code(c, PAWN)];
        e.score[c] += popcount(marked & pieces) * param_value(PINNED_PIECE);
    }
}

// Step 12: side to move, and one piece against two or more.
void special_terms(const Position& pos, HceScratch& e, int side) {
    e.score[side] += param_value(STM_BONUS);
    int pieces[2];
    for (const int c : {WHITE, BLACK}) {
        const MaterialCounts m = material_counts(pos, c);
        pieces[c]              = m.knights + m.bishops + m.rooks + m.queens;
    }
    if (pieces[WHITE] == 1 && pieces[BLACK] >= 2)
        e.score[WHITE] += param_value(MTL_IMBALANCE);
    else if (pieces[BLACK] == 1 && pieces[WHITE] >= 2)
        e.score[BLACK] += param_value(MTL_IMBALANCE);
}

// Runs a step and records the change of each colour's score as a trace section.
template <typename Step> void run_section(HceScratch& e, int section, Step step) {
    const int start[2] = {e.score[WHITE], e.score[BLACK]};
    step();
    for (const int c : {WHITE, BLACK})
        e.section[section][c] = e.score[c] - start[c];
}

} // namespace

void eval_tables_init() {
    kpk_init();
}

// Steps 2-12: the packed scores of both colours.
void hce_score_terms(const Position& pos, EvalState& state, HceScratch& e, int side, int ply) {
    set_up(pos, e);
    run_section(e, SEC_PAWNS, [&] {
        pawn_structure(pos, state, e, ply);
        blocked_pawns(pos, e);
    });
    minor_pieces(pos, e);
    rooks(pos, e);
    queens(pos, e);
    king_safety(pos, e);
    run_section(e, SEC_PASSERS, [&] { passed_pawns(pos, e); });
    run_section(e, SEC_THREATS, [&] {
        hanging_pieces(pos, e);
        push_threats(pos, e);
        pins(pos, e);
    });
    run_section(e, SEC_SPECIAL, [&] { special_terms(pos, e, side); });
}

int hce_blend(int packed, float phase) {
    const float a  = static_cast<float>(packed_mid(packed)) * phase;
    const double b = packed_end(packed) * (1.0 - static_cast<double>(phase));
    return static_cast<int>(static_cast<double>(a) + b);
}

namespace {

// The evaluation, printed when trace is not TRACE_OFF.
int evaluate_hce(const Position& pos, EvalState& state, int side, int ply, int trace,
                 int root_qsearch) {
    int result = 0;
    if (trivial_ending(pos, side, result))
        return result;
    // A traced evaluation is always made afresh so that every term gets printed.
    const int cache_ply = trace == TRACE_OFF ? ply : 1;
    if (eval_cache_probe(pos, state, side, SLOT_HCE, cache_ply, result))
        return result;

    HceScratch e;
    hce_score_terms(pos, state, e, side, cache_ply);
    const int s = hce_blend(e.score[WHITE] - e.score[BLACK], e.phase);
    e.scale     = scale_factor(pos, s);
    result      = static_cast<int>(static_cast<float>(s) * e.scale);
    if (side == BLACK)
        result = -result;
    eval_cache_store(pos, state, side, SLOT_HCE, result);
    if (trace != TRACE_OFF)
        hce_print_trace(pos, e, result, trace, state.nn.last_nn_score, root_qsearch);
    return result;
}

} // namespace

int hce_evaluate(const Position& pos, EvalState& state, int side, int ply) {
    return evaluate_hce(pos, state, side, ply, TRACE_OFF, 0);
}

int hce_evaluate_traced(const Position& pos, EvalState& state, int side, int trace,
                        int root_qsearch) {
    return evaluate_hce(pos, state, side, 1, trace, root_qsearch);
}

} // namespace tarn
