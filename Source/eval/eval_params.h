#pragma once
// The table of named, tunable weights that the hand-crafted evaluation reads (the
// configuration file that sets options lives in frontend/config_file.h). Every weight is a packed
// score (mid + 65536 * end) with single-precision copies of both halves for fractional weighting.
// The table is rebuilt from the built-in defaults, scaled by the option record's evaluation
// weights, and is read-only between rebuilds; the evaluation reaches a record by its fixed
// index (the enumerators below) and a square table by table and square.

#include <cstdint>

namespace tarn {

constexpr int PARAM_NAME_CHARS = 24; // 23 characters and the terminator
constexpr int TTUNE_SLOTS      = 32; // spare records that nothing reads
constexpr int PST_TABLES       = 13;
constexpr int PACK_END         = 65536; // packed score = mid + PACK_END * end

// Indices of the named records, in table order.
enum NamedParam {
    MTL_PAWN,
    MTL_KNIGHT,
    MTL_BISHOP,
    MTL_ROOK,
    MTL_QUEEN,
    BISHOP_PAIR,
    KNIGHT_MOBILITY,
    BISHOP_MOBILITY,
    ROOK_MOBILITY,
    QUEEN_MOBILITY,
    PPAWN_BASE,
    PPAWN_MOBILE,
    PPAWN_FREE,
    PPAWN_CONNECTED,
    PPAWN_FKPROX,
    PPAWN_EKPROX,
    PPAWN_CANDIDATE,
    PAWN_ISOLATED,
    PAWN_WEAK,
    PAWN_BLOCKED,
    PAWN_DOUBLED,
    KNIGHT_OUTPOST,
    BISHOP_INFILTRATION,
    BISHOP_OUTPOST,
    BISHOP_RAMPAWNS,
    ROOK_INFILTRATION,
    ROOK_OPENFILE,
    ROOK_7TH,
    PAWN_SHIELD,
    ENEMY_CHECKS,
    KING_DANGER1,
    KING_DANGER2,
    KING_TRAPPED,
    KING_PAWN_DIST,
    HUNG_PAWN,
    ATTACKED_PAWN,
    HUNG_MINOR,
    ATTACKED_MINOR,
    HUNG_MAJOR,
    PPUSH_THREAT,
    PINNED_PIECE,
    MTL_IMBALANCE,
    STM_BONUS,
    NAMED_PARAMS
};

// Square tables, in table order. Each is written from white's point of view with the own
// king on files e-h and read at square ^ flip.
enum PstTable {
    PST_P1, // pawns, kings on the same wing
    PST_CP, // pawn with a friendly pawn beside it
    PST_DP, // pawn defended by a pawn
    PST_N1,
    PST_B1,
    PST_R1,
    PST_Q1,
    PST_K,
    PST_P2, // pawns, kings on different wings
    PST_N2,
    PST_B2,
    PST_R2,
    PST_Q2
};

constexpr int TTUNE_FIRST = NAMED_PARAMS;
constexpr int PST_FIRST   = TTUNE_FIRST + TTUNE_SLOTS;
constexpr int EVAL_PARAMS = PST_FIRST + PST_TABLES * 64;
static_assert(EVAL_PARAMS == 907);

// One weight: the packed score and float copies of its halves.
struct EvalParam {
    std::int32_t value          = 0; // mid + 65536 * end
    float mid_f                 = 0.0f;
    float end_f                 = 0.0f;
    char name[PARAM_NAME_CHARS] = {};
};

// All weights in their fixed order; `count` records are in use.
struct EvalParamTable {
    EvalParam records[EVAL_PARAMS];
    int count = 0;
};

extern EvalParamTable eval_param_table;

// Built-in default of a square table, drawn as the board is seen from white's side: row 0 is
// rank 8 and row 7 rank 1; each row holds mid, end pairs from the a-file to the h-file.
struct PstDefault {
    const char* name;
    std::int16_t rows[8][16];
};

// The thirteen tables in table order; the values live in their own file so that a fitted set
// replaces them in one place.
extern const PstDefault PST_DEFAULTS[PST_TABLES];

// Packed-score helpers. A packed total reads back its end half shifted arithmetically, so the
// end reads one less whenever the mid half is negative.
constexpr int pack(int mid, int end) {
    return mid + PACK_END * end;
}
constexpr int packed_mid(int packed) {
    return static_cast<std::int16_t>(packed & 0xFFFF);
}
constexpr int packed_end(int packed) {
    return packed >> 16;
}

// --- set-up ---

// Rebuilds the whole table from the defaults and the option record's evaluation weights, and
// writes the exchange values of the static exchange evaluation.
void init_eval_params();
// Sets record `index` to a default triple; prints "error <name>  <record name>" on the console
// and still sets it when the names differ. Returns 1 on such a mismatch, else 0.
int apply_param_default(int index, const char* name, int mid, int end);
// At a search start: rebuilds the table when a configuration file was loaded since the last
// rebuild, announcing it first. Returns true when it rebuilt.
bool refresh_eval_params();

// --- queries (hot) ---

inline int param_value(int index) {
    return eval_param_table.records[index].value;
}
inline int pst_value(int table, int sq) {
    return eval_param_table.records[PST_FIRST + 64 * table + sq].value;
}
// A parameter weighted by a fraction: each half of the float copies truncated toward zero.
inline int param_weighted(int index, float w) {
    const EvalParam& p = eval_param_table.records[index];
    return pack(static_cast<int>(p.mid_f * w), static_cast<int>(p.end_f * w));
}

} // namespace tarn
