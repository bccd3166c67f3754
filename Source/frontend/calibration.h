#pragma once
// The measurement of this machine's search speed that the interactive engine makes at
// start-up: a fixed 35,000-node search on one thread from a fixed middle-game position. The
// speed found is the basis of the strength limit (UCI_Elo and its ceiling).

namespace tarn {

// Measures the speed into SearchState (calibration_nps, elo_ceiling). The measuring search
// runs without the strength limit, and its set-up would resolve the limit from a speed not yet
// known: the Elo and node rate asked for before it ("-nps") are put back afterwards, and an Elo
// not yet set becomes the machine's ceiling.
void calibrate();

} // namespace tarn
