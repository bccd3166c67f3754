#include "search/selectivity.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "search/search_state.h"

namespace tarn {

Selectivity selectivity;

namespace {

constexpr int SELECTIVITY_OFF_DEPTH = 100;
constexpr int BP_MARGIN_OFF         = 5000;
constexpr int BP_MARGIN_BASE        = 15;

int clamp_depth(int d) {
    return std::clamp(d, 0, MARGIN_DEPTHS - 1);
}

void build_lmr_tables(int s) {
    const float f = static_cast<float>((s < 200 ? s : 200) * 0.01);
    for (int d = 0; d < LMR_SIZE; ++d) {
        for (int m = 0; m < LMR_SIZE; ++m) {
            if (d <= 2 || m == 0) {
                selectivity.lmr_pv[d][m] = selectivity.lmr_nonpv[d][m] = 0;
                continue;
            }
            float x = static_cast<float>(
                std::log(static_cast<double>(m)) * std::log(static_cast<double>(d)) * 0.44 - 0.5);
            x                           = x * f;
            x                           = x < 0.0f ? 0.0f : x > 3.0f ? 3.0f : x;
            const float y               = static_cast<float>(x + 1.2);
            selectivity.lmr_pv[d][m]    = static_cast<std::int8_t>(std::round(x));
            selectivity.lmr_nonpv[d][m] = static_cast<std::int8_t>(std::round(y));
        }
    }
    selectivity.lmr_built_for = s;
}

} // namespace

double elo_of_nps(double nps) {
    return 150.0 * std::log(nps - 15.0) + 1138.0;
}

void selectivity_init() {
    const EngineOptions& o = live_options;
    Selectivity& t         = selectivity;
    search_state.throttle_on =
        search_state.calibration_nps - 20.0 > search_state.target_nps ? 1 : 0;
    t.bp_margin = BP_MARGIN_BASE;
    t.fp_depth  = o.FP_depth;
    t.sep_depth = o.SEP_depth;
    t.nmp_depth = o.NMP_depth;
    t.lmp_depth = o.LMP_depth;
    t.lmr_depth = o.LMR_depth;
    for (int d = 0; d < MARGIN_DEPTHS; ++d) {
        t.fp_margin[d]  = o.FP_margin_step * d;
        t.sep_margin[d] = o.SEP_margin_step * d;
        t.lmp_count[d]  = o.LMP_count_step * d;
    }
    const int s = o.Selectivity;
    if (s <= 99)
        t.bp_margin = (100 - s) / 2 + BP_MARGIN_BASE;
    if (s == 0) {
        t.nmp_depth = t.lmr_depth = SELECTIVITY_OFF_DEPTH;
        t.lmp_depth = t.sep_depth = t.fp_depth = 0;
        t.bp_margin                            = BP_MARGIN_OFF;
    }
    if (s != t.lmr_built_for)
        build_lmr_tables(s);
}

void show_selectivity() {
    selectivity_init();
    const Selectivity& t = selectivity;
    std::printf("BP_margin= %d\n", t.bp_margin);
    std::printf("FP_depth= %d, margins=", t.fp_depth);
    for (int d = 1; d <= clamp_depth(t.fp_depth); ++d)
        std::printf(" %d", t.fp_margin[d]);
    std::printf("\nSEP_depth= %d, margins=", t.sep_depth);
    for (int d = 1; d <= clamp_depth(t.sep_depth); ++d)
        std::printf(" %d", t.sep_margin[d]);
    std::printf("\nNMP_depth= %d\n", t.nmp_depth);
    std::printf("LMP_depth= %d, count=", t.lmp_depth);
    for (int d = 1; d <= clamp_depth(t.lmp_depth); ++d)
        std::printf(" %d", t.lmp_count[d]);
    std::printf("\nLMR_depth= %d\n", t.lmr_depth);
    std::printf("LMR table:\n");
    for (const auto* table : {&t.lmr_pv, &t.lmr_nonpv}) {
        for (int d = 3; d < LMR_SIZE; ++d) {
            std::printf("%2d  ", d);
            for (int m = 0; m < LMR_SIZE; ++m)
                std::printf("%d ", (*table)[d][m]);
            std::printf("\n");
        }
        if (table == &t.lmr_pv)
            std::printf("\n");
    }
    std::fflush(stdout);
}

void resolve_strength() {
    EngineOptions& o = live_options;
    if (o.UCI_LimitStrength && o.UCI_Elo >= 1) {
        double lo = 10.0, hi = 10000000.0, n = lo;
        for (int i = 0; i < 200; ++i) {
            n              = (lo + hi) / 2;
            const double e = elo_of_nps(n);
            if (std::fabs(e - o.UCI_Elo) < 0.5)
                break;
            (e > o.UCI_Elo ? hi : lo) = n;
        }
        search_state.target_nps = n;
        if (n > search_state.calibration_nps - 30.0)
            o.UCI_LimitStrength = 0;
    }
    if (!o.UCI_LimitStrength) {
        search_state.target_nps = search_state.calibration_nps;
        o.UCI_Elo               = static_cast<std::int16_t>(search_state.elo_ceiling);
    }
}

} // namespace tarn
