#pragma once
// Pruning depths and margins, the late-move-reduction tables and the strength limit, turned
// from the live options into the read-only values the node search uses. The master thread
// rebuilds them at the start of every search, before the other threads start searching.

#include <cstdint>

namespace tarn {

constexpr int MARGIN_DEPTHS = 12; // margin and count tables cover depths 0..11
constexpr int LMR_SIZE      = 32;

struct Selectivity {
    int bp_margin                             = 15;
    int fp_depth                              = 3;
    int sep_depth                             = 3;
    int nmp_depth                             = 3;
    int lmp_depth                             = 6;
    int lmr_depth                             = 3;
    int fp_margin[MARGIN_DEPTHS]              = {};
    int sep_margin[MARGIN_DEPTHS]             = {};
    int lmp_count[MARGIN_DEPTHS]              = {};
    std::int8_t lmr_pv[LMR_SIZE][LMR_SIZE]    = {};
    std::int8_t lmr_nonpv[LMR_SIZE][LMR_SIZE] = {};
    int lmr_built_for                         = -1; // Selectivity value the LMR tables belong to
};

extern Selectivity selectivity;

// Rebuilds the values from the live options (the LMR tables only when Selectivity changed).
void selectivity_init();
// Prints the values ("_show", console "lmr") to standard output.
void show_selectivity();
// Elo that a node rate stands for: 150 ln(n - 15) + 1138.
double elo_of_nps(double nps);
// Turns UCI_LimitStrength / UCI_Elo into SearchState.target_nps.
void resolve_strength();

} // namespace tarn
