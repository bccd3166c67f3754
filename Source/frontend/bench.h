#pragma once
// The benchmark: twenty fixed positions searched with fixed limits, the time of each and the
// total speed. "-bench" searches on search threads while the main thread polls input;
// "-pbench" searches on the main thread itself. Its node total on one thread at the signature
// depth is the bench signature; "bench" alone runs that and adds a last line in the form test
// frameworks read ("3072168 nodes 1251698 nps").

namespace tarn {

struct SearchLimits;

constexpr int BENCH_SIGNATURE_DEPTH = 12;

// Runs the benchmark within `limits`, its depth capped at the benchmark's own; sets
// RunSettings.quit when done. With summary_line the last line is the node total and speed as
// "N nodes M nps".
void run_benchmark(const SearchLimits& limits, bool inline_search, bool summary_line = false);

} // namespace tarn
