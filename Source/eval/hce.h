#pragma once
// The hand-crafted evaluation: a tapered score over the named weights of the parameter table.
// Trivial endings are answered first; otherwise one pass builds the attack maps of both
// colours, which every later term (mobility, king safety, passed pawns, threats) shares, and
// accumulates one packed middle-game/end-game score per colour. The difference is blended by
// game phase and scaled toward 0 for drawish material. Pawn-structure terms come from the
// thread's PawnHashTable and whole results from its EvalCache.

#include <cstdint>

#include "core/board.h"

namespace tarn {

struct EvalState;

// Score sections shown by the trace, in printing order.
enum HceSection {
    SEC_PAWNS,
    SEC_KNIGHTS,
    SEC_BISHOPS,
    SEC_ROOKS,
    SEC_QUEENS,
    SEC_KING,
    SEC_PASSERS,
    SEC_THREATS,
    SEC_SPECIAL,
    HCE_SECTIONS
};

constexpr int TRACE_OFF    = 0;
constexpr int TRACE_TERMS  = 1; // breakdown by section
constexpr int TRACE_PARAMS = 2; // breakdown plus every parameter and table

// Scratch of one evaluation, rebuilt unless the result comes from a cache. Attack maps are
// indexed by colour; `by_type` by colour and piece type 1..6.
struct HceScratch {
    int score[2]                 = {};    // packed, per colour
    Bitboard all[2]              = {};    // squares attacked by the colour
    Bitboard twice[2]            = {};    // squares attacked at least twice
    Bitboard by_type[2][8]       = {};    // squares attacked by each piece type
    Bitboard pnb[2]              = {};    // by pawns, knights and bishops
    Bitboard pnbr[2]             = {};    // ... and rooks
    Bitboard pnbrq[2]            = {};    // ... and queens
    Bitboard king_zone[2]        = {};    // 3 x 3 block around the king, kept off the edge
    int attack_units[2]          = {};    // danger counter of the colour's own king
    int flip[2]                  = {};    // square transform for table lookups
    bool same_wing               = false; // both kings on files a-d or both on e-h
    Bitboard hung                = 0;     // pieces found hanging
    Bitboard free_passers        = 0;     // passed pawns with a free path
    float phase                  = 0.0f;  // 1 with full material, toward 0 in the ending
    float scale                  = 1.0f;  // drawish-material factor
    int section[HCE_SECTIONS][2] = {};    // packed change of score[] per section
};

// --- set-up ---

// Builds the evaluation's start-up tables (the king-and-pawn result table).
void eval_tables_init();

// --- queries ---

// Score of a position from side's view; side is the colour to move. Cache hits
// need ply 2 or more.
int hce_evaluate(const Position& pos, EvalState& state, int side, int ply);
// The same evaluation made afresh and printed: TRACE_TERMS the breakdown, TRACE_PARAMS also
// every parameter and table, with root_qsearch (the last search's root quiescence score)
// beside the result.
int hce_evaluate_traced(const Position& pos, EvalState& state, int side, int trace,
                        int root_qsearch);
// Fills e with the packed scores of both colours before the blend (no trivial endings, no
// EvalCache); the pawn-structure terms use the PawnHashTable as hce_evaluate does.
void hce_score_terms(const Position& pos, EvalState& state, HceScratch& e, int side, int ply);
// Blends a packed score by phase: trunc(mid * phase + end * (1 - phase)).
int hce_blend(int packed, float phase);
// Prints the breakdown of an evaluation that has just been made, beside the thread's last
// network score and the root quiescence score given.
void hce_print_trace(const Position& pos, const HceScratch& e, int result, int trace,
                     int last_nn_score, int root_qsearch);

} // namespace tarn
