#include "eval/evaluate.h"

#include <algorithm>

#include "core/thread_data.h"
#include "eval/hce.h"
#include "frontend/options.h"
#include "search/search_state.h"

namespace tarn {

namespace {

constexpr double BONUS_TIME_LIMIT = 90000.0;

} // namespace

int evaluate(ThreadData& td, int side, int ply, bool in_check) {
    if (in_check)
        return EVAL_IN_CHECK;
    const Position& pos = td.pos;
    // TODO: the network takes the positions the material rule does not send here.
    int score    = hce_evaluate(td, side, ply, 0);
    const int wp = static_cast<int>(pos.material_sig[WHITE] & 15);
    const int bp = static_cast<int>(pos.material_sig[BLACK] & 15);
    const int wn = pos.piece_material[WHITE], bn = pos.piece_material[BLACK];
    if (search_state.target_time < BONUS_TIME_LIMIT) {
        const int t     = std::max(6, wn + bn) + 2 * std::min(wp + bp, 12);
        const int bonus = (live_options.Contempt * (t - 6)) / 82 +
                          (live_options.material_contempt * (t - 47)) / 41;
        score += side == search_state.root_side ? bonus : -bonus;
    }
    return score - (score * pos.rule50) / 256;
}

} // namespace tarn
