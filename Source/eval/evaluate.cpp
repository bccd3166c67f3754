#include "eval/evaluate.h"

#include <algorithm>

#include "eval/eval_state.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "frontend/engine_options.h"
#include "frontend/run_settings.h"

namespace tarn {

namespace {

constexpr double BONUS_TIME_LIMIT = 90000.0;

// True when the material is neither lopsided nor simple enough for the hand-crafted
// evaluation, which knows the trivial endings and scales drawish ones.
bool suits_network(int wp, int bp, int wn, int bn) {
    const bool white_dominates = wn + wp >= bn + 2 * bp + 4 && bn <= 10;
    const bool black_dominates = bn + bp >= wn + 2 * wp + 4 && wn <= 10;
    const bool few_pieces      = wp + bp == 0 && wn + bn <= 6;
    const bool king_pawn_king  = wp + bp == 1 && wn + bn == 0;
    return !white_dominates && !black_dominates && !few_pieces && !king_pawn_king;
}

} // namespace

EvalBias eval_bias_for(int root_side, double target_time) {
    return EvalBias{target_time < BONUS_TIME_LIMIT, root_side};
}

int evaluate(const Position& pos, EvalState& state, int side, int ply, bool in_check) {
    if (in_check)
        return EVAL_IN_CHECK;
    const int wp = static_cast<int>(pos.material_sig[WHITE] & 15);
    const int bp = static_cast<int>(pos.material_sig[BLACK] & 15);
    const int wn = pos.piece_material[WHITE], bn = pos.piece_material[BLACK];
    int score = NN_NO_STATE;
    if (run_settings.use_nn && nn_ready() && suits_network(wp, bp, wn, bn))
        score = nn_evaluate(pos, state, ply);
    // Without a network, or when the thread's network buffers could not be made, the
    // hand-crafted evaluation stands in rather than letting a failure code pass for a score.
    if (score == NN_NO_STATE)
        score = hce_evaluate(pos, state, side, ply);
    if (state.bias.active) {
        const int t     = std::max(6, wn + bn) + 2 * std::min(wp + bp, 12);
        const int bonus = (live_options.Contempt * (t - 6)) / 82 +
                          (live_options.material_contempt * (t - 47)) / 41;
        score += side == state.bias.side ? bonus : -bonus;
    }
    return score - (score * pos.rule50) / 256;
}

} // namespace tarn
