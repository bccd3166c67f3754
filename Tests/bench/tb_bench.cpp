// Tablebase probe speed.
//   tarn_tbbench SYZYGY_DIR ORACLE_TSV [--rounds N]
// Loads the tables of SYZYGY_DIR, probes every position of the oracle file once so that every
// file it needs is mapped and parsed, then times N rounds (20 by default) of WDL probes over
// all positions, and one round of DTZ probes. The value sums let two builds be compared.

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/platform.h"
#include "frontend/startup.h"
#include "search/thread_data.h"
#include "tb/syzygy_probe.h"
#include "tb/tb_probe.h"

namespace {

using namespace tarn;

constexpr int DEFAULT_ROUNDS = 20;

// The FEN column of a tab-separated file with a header line.
std::vector<std::string> read_fens(const char* path) {
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line))
        if (!line.empty())
            fens.push_back(line.substr(0, line.find('\t')));
    return fens;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = DEFAULT_ROUNDS;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else
            files.push_back(argv[i]);
    }
    if (files.size() != 2 || rounds < 1) {
        std::printf("usage: tarn_tbbench SYZYGY_DIR ORACLE_TSV [--rounds N]\n");
        return 1;
    }
    init_engine_tables();
    const std::vector<std::string> fens = read_fens(files[1]);
    if (fens.empty()) {
        std::printf("can't open %s\n", files[1]);
        return 1;
    }
    tb_init(files[0]);
    ThreadData* td = thread_data_create();
    if (!td) {
        std::printf("out of memory\n");
        return 1;
    }
    std::vector<ProbePosition> positions;
    for (const std::string& fen : fens) {
        parse_fen(td->board.pos, fen.c_str());
        positions.push_back(tb_probe_position(td->board.pos, 0));
    }
    thread_data_destroy(td);

    // Warm-up: maps every file these positions reach.
    int failures = 0;
    for (const ProbePosition& p : positions) {
        int v;
        failures += !probe_wdl(p, v);
        failures += !probe_dtz(p, v);
    }

    std::int64_t wdl_sum = 0;
    double start         = platform_now();
    for (int r = 0; r < rounds; ++r)
        for (const ProbePosition& p : positions) {
            int v = 0;
            probe_wdl(p, v);
            wdl_sum += v;
        }
    const double wdl_seconds = platform_now() - start;
    const double wdl_probes  = static_cast<double>(positions.size()) * rounds;

    std::int64_t dtz_sum = 0;
    start                = platform_now();
    for (const ProbePosition& p : positions) {
        int v = 0;
        probe_dtz(p, v);
        dtz_sum += v;
    }
    const double dtz_seconds = platform_now() - start;

    std::printf("%zu positions, %d failed probes in the warm-up\n", positions.size(), failures);
    std::printf("WDL: %.0f probes in %.3f s, %.0f probes/s, value sum %" PRId64 "\n", wdl_probes,
                wdl_seconds, wdl_probes / (wdl_seconds + 1e-9), wdl_sum);
    std::printf("DTZ: %zu probes in %.3f s, %.0f probes/s, value sum %" PRId64 "\n",
                positions.size(), dtz_seconds,
                static_cast<double>(positions.size()) / (dtz_seconds + 1e-9), dtz_sum);
    return failures ? 1 : 0;
}
