#pragma once
// The benchmark: twenty fixed positions searched with fixed limits, the time of each and the
// total speed. "-bench" searches on search threads while the main thread polls input;
// "-pbench" searches on the main thread itself.

namespace tarn {

// Runs the benchmark; sets RunSettings.quit when done.
void run_benchmark(bool inline_search);

} // namespace tarn
