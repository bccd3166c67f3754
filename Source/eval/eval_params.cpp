#include "eval/eval_params.h"

#include <cmath>
#include <cstring>

#include "core/board.h"
#include "core/see.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"

namespace tarn {

EvalParamTable eval_param_table;

namespace {

constexpr int WEIGHT_GROUPS  = 13;
constexpr int GROUP_PATTERNS = 6;
constexpr double PERCENT     = 0.01;

// Record names in table order: the named weights, then the spare slots and the tables.
constexpr const char* PARAM_NAMES[NAMED_PARAMS] = {
    "mtl_pawn",        "mtl_knight",          "mtl_bishop",
    "mtl_rook",        "mtl_queen",           "bishop_pair",
    "knight_mobility", "bishop_mobility",     "rook_mobility",
    "queen_mobility",  "ppawn_base",          "ppawn_mobile",
    "ppawn_free",      "ppawn_connected",     "ppawn_fkprox",
    "ppawn_ekprox",    "ppawn_candidate",     "pawn_isolated",
    "pawn_weak",       "pawn_blocked",        "pawn_doubled",
    "knight_outpost",  "bishop_infiltration", "bishop_outpost",
    "bishop_rampawns", "rook_infiltration",   "rook_openfile",
    "rook_7th",        "pawn_shield",         "enemy_checks",
    "king_danger1",    "king_danger2",        "king_trapped",
    "king_pawn_dist",  "hung_pawn",           "attacked_pawn",
    "hung_minor",      "attacked_minor",      "hung_major",
    "ppush_threat",    "pinned_piece",        "mtl_imbalance",
    "stm_bonus"};
constexpr const char* TTUNE_NAME            = "ttune";
constexpr const char* PST_NAMES[PST_TABLES] = {"PST_P1", "PST_CP", "PST_DP", "PST_N1", "PST_B1",
                                               "PST_R1", "PST_Q1", "PST_K",  "PST_P2", "PST_N2",
                                               "PST_B2", "PST_R2", "PST_Q2"};

// A built-in default: the record name it belongs to and its two halves in centipawns.
struct ParamDefault {
    const char* name;
    int mid;
    int end;
};

constexpr ParamDefault NAMED_DEFAULTS[NAMED_PARAMS] = {
    {"mtl_pawn", 100, 100},       {"mtl_knight", 385, 412},      {"mtl_bishop", 385, 422},
    {"mtl_rook", 543, 767},       {"mtl_queen", 1173, 1402},     {"bishop_pair", 29, 70},
    {"knight_mobility", 60, 61},  {"bishop_mobility", 31, 88},   {"rook_mobility", 30, 96},
    {"queen_mobility", 24, 203},  {"ppawn_base", 85, 206},       {"ppawn_mobile", 145, 276},
    {"ppawn_free", 138, 383},     {"ppawn_connected", -7, 23},   {"ppawn_fkprox", -24, -96},
    {"ppawn_ekprox", 13, 156},    {"ppawn_candidate", 17, 105},  {"pawn_isolated", -9, -10},
    {"pawn_weak", -6, 4},         {"pawn_blocked", -7, -9},      {"pawn_doubled", -2, -6},
    {"knight_outpost", 35, 29},   {"bishop_infiltration", 7, 4}, {"bishop_outpost", 29, 29},
    {"bishop_rampawns", -7, -19}, {"rook_infiltration", 6, 6},   {"rook_openfile", 18, -3},
    {"rook_7th", 8, 22},          {"pawn_shield", 36, -16},      {"enemy_checks", -42, -11},
    {"king_danger1", -241, 21},   {"king_danger2", -132, 37},    {"king_trapped", -4, -40},
    {"king_pawn_dist", -1, -97},  {"hung_pawn", -16, -54},       {"attacked_pawn", -1, -23},
    {"hung_minor", -64, -58},     {"attacked_minor", -8, -32},   {"hung_major", -69, -32},
    {"ppush_threat", -17, -23},   {"pinned_piece", -48, -85},    {"mtl_imbalance", 32, -29},
    {"stm_bonus", 30, 20}};

// Each pair of evaluation weights (mid and end percentages) scales every record whose name
// contains one of its patterns. Some patterns match no record; they are kept so that the
// groups read the same as the option list.
constexpr const char* WEIGHT_PATTERNS[WEIGHT_GROUPS][GROUP_PATTERNS] = {
    {"mtl_pawn"},
    {"mtl_knight"},
    {"mtl_bishop"},
    {"mtl_rook"},
    {"mtl_queen"},
    {"knight_mobility", "knight_outpost", "knight_outpost_atk", "PST_N1", "PST_N2"},
    {"bishop_mobility", "bishop_outpost", "bishop_outpost_atk", "PST_B1", "PST_B2"},
    {"rook_mobility", "PST_R1", "PST_R2"},
    {"queen_mobility", "PST_Q1", "PST_Q2"},
    {"PST_P1", "PST_P2", "PST_CP", "PST_DP"},
    {"ppawn_base", "ppawn_mobile", "ppawn_free"},
    {"king_danger", "enemy_checks"},
    {"hung_pawn", "attacked_pawn", "hung_minor", "attacked_minor", "hung_major", "pinned_piece"}};

void create_record(int index, const char* name) {
    EvalParam& p = eval_param_table.records[index];
    p            = EvalParam{};
    std::strncpy(p.name, name, PARAM_NAME_CHARS - 1);
    eval_param_table.count = index + 1;
}

void create_records() {
    eval_param_table.count = 0;
    for (int i = 0; i < NAMED_PARAMS; ++i)
        create_record(i, PARAM_NAMES[i]);
    for (int i = 0; i < TTUNE_SLOTS; ++i)
        create_record(TTUNE_FIRST + i, TTUNE_NAME);
    for (int t = 0; t < PST_TABLES; ++t)
        for (int sq = 0; sq < 64; ++sq)
            create_record(PST_FIRST + 64 * t + sq, PST_NAMES[t]);
}

int apply_defaults() {
    int mismatches = 0;
    for (int i = 0; i < NAMED_PARAMS; ++i) {
        const ParamDefault& d = NAMED_DEFAULTS[i];
        mismatches += apply_param_default(i, d.name, d.mid, d.end);
    }
    for (int i = 0; i < TTUNE_SLOTS; ++i)
        mismatches += apply_param_default(TTUNE_FIRST + i, TTUNE_NAME, 0, 0);
    for (int t = 0; t < PST_TABLES; ++t) {
        const PstDefault& table = PST_DEFAULTS[t];
        for (int sq = 0; sq < 64; ++sq) {
            const int row = 7 - rank_of(sq);
            const int col = 2 * file_of(sq);
            mismatches += apply_param_default(PST_FIRST + 64 * t + sq, table.name,
                                              table.rows[row][col], table.rows[row][col + 1]);
        }
    }
    return mismatches;
}

// Scales one record's float halves by percentages and repacks them, halves rounded away from
// zero.
void scale_record(EvalParam& p, int pct_mid, int pct_end) {
    p.mid_f = static_cast<float>(pct_mid * PERCENT * p.mid_f);
    p.end_f = static_cast<float>(pct_end * PERCENT * p.end_f);
    p.value = pack(static_cast<int>(std::lround(p.mid_f)), static_cast<int>(std::lround(p.end_f)));
}

void apply_weights() {
    const std::int16_t* weights = live_options.eval_weights;
    for (int g = 0; g < WEIGHT_GROUPS; ++g) {
        for (const char* pattern : WEIGHT_PATTERNS[g]) {
            if (!pattern)
                break;
            for (int i = 0; i < eval_param_table.count; ++i) {
                EvalParam& p = eval_param_table.records[i];
                if (std::strstr(p.name, pattern))
                    scale_record(p, weights[2 * g], weights[2 * g + 1]);
            }
        }
    }
}

} // namespace

void init_eval_params() {
    create_records();
    apply_defaults();
    apply_weights();
    see_value = SEE_DEFAULT_VALUES;
}

int apply_param_default(int index, const char* name, int mid, int end) {
    EvalParam& p       = eval_param_table.records[index];
    const int mismatch = std::strcmp(name, p.name) != 0 ? 1 : 0;
    if (mismatch)
        print_direct("error %s  %s\n", name, p.name);
    p.value = pack(mid, end);
    p.mid_f = static_cast<float>(mid);
    p.end_f = static_cast<float>(end);
    return mismatch;
}

bool refresh_eval_params() {
    if (!live_options.options_changed)
        return false;
    print_line("info string setting eval params...");
    init_eval_params();
    live_options.options_changed = 0;
    return true;
}

} // namespace tarn
