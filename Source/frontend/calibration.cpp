#include "frontend/calibration.h"

#include <cstdint>

#include "core/fen.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace tarn {

namespace {

constexpr const char* CALIBRATION_FEN =
    "rnb1k2r/1pq1bppp/p2p1n2/4p3/4P3/2N1BN2/PPP1BPPP/R2QK2R w KQkq -";
constexpr std::uint64_t CALIBRATION_NODES = 35000;

} // namespace

void calibrate() {
    SearchState& s = search_state;
    parse_fen(main_thread->board.pos, CALIBRATION_FEN);
    const int threads              = s.threads;
    const int limit                = live_options.UCI_LimitStrength;
    const int elo                  = live_options.UCI_Elo;
    const double target_nps        = s.target_nps;
    const float noise              = run_settings.noise;
    s.threads                      = 1;
    live_options.UCI_LimitStrength = 0;
    run_settings.noise             = 99999.0f;
    // Its own limits: a depth or time chosen by switches must not shorten the measurement.
    SearchLimits limits;
    limits.node_limit = CALIBRATION_NODES;
    if (!search_on_this_thread(limits))
        end_on_thread_failure(THREAD_RECORD_FAILED);
    clock_update();
    const double elapsed = s.elapsed;
    s.calibration_nps    = static_cast<double>(thread_records[0]->nodes) / (elapsed + 0.001) * 1.2;
    s.threads            = threads;
    live_options.UCI_LimitStrength = static_cast<std::int16_t>(limit);
    run_settings.noise             = noise;
    search_control.stop            = 0;
    search_control.mode            = MODE_IDLE;
    s.elo_ceiling                  = elo_of_nps(s.calibration_nps);
    s.target_nps                   = target_nps;
    live_options.UCI_Elo           = static_cast<std::int16_t>(elo);
    if (live_options.UCI_Elo == 0)
        live_options.UCI_Elo = saved_options.UCI_Elo = static_cast<std::int16_t>(uci_elo_ceiling());
    print_format("info string et= %.3f, calibration nps= %0.0f", elapsed, s.calibration_nps);
}

} // namespace tarn
