// Perft suite runner and perft benchmark.
//   tarn_perft suite FILE [--chess960] [--max-nodes N]   check every record of a suite file
//   tarn_perft bench                                     leaf speed on two standard positions
// Suite lines are "FEN;D1 n;D2 n;...". Depths whose published count exceeds --max-nodes are
// skipped (0 = run every depth).

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/platform.h"
#include "frontend/run_settings.h"
#include "frontend/startup.h"
#include "search/picker.h"
#include "search/thread_data.h"

namespace {

struct PerftRecord {
    std::string fen;
    std::vector<std::uint64_t> counts; // index d - 1
};

bool parse_record(const std::string& line, PerftRecord& rec) {
    const std::size_t semi = line.find(';');
    if (semi == std::string::npos)
        return false;
    rec.fen = line.substr(0, semi);
    rec.counts.clear();
    std::size_t at = semi;
    while (at != std::string::npos) {
        const std::size_t next = line.find(';', at + 1);
        const std::string field =
            line.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        const std::size_t blank = field.find(' ');
        if (field.size() < 3 || field[0] != 'D' || blank == std::string::npos)
            return false;
        rec.counts.push_back(std::strtoull(field.c_str() + blank + 1, nullptr, 10));
        at = next;
    }
    return !rec.counts.empty();
}

int run_suite(const char* path, bool chess960, std::uint64_t max_nodes) {
    std::ifstream in(path);
    if (!in) {
        std::printf("cannot open perft suite %s\n", path);
        return 2;
    }
    tarn::run_settings.chess960 = chess960 ? 1 : 0;
    tarn::ThreadData* td        = tarn::thread_data_create();
    int passed = 0, failed = 0, line_no = 0;
    std::uint64_t total = 0;
    const double start  = tarn::platform_now();
    std::string line;
    while (std::getline(in, line)) {
        ++line_no;
        if (line.empty() || line[0] == '#')
            continue;
        PerftRecord rec;
        if (!parse_record(line, rec)) {
            std::printf("line %d: unreadable record\n", line_no);
            ++failed;
            continue;
        }
        for (std::size_t d = 1; d <= rec.counts.size(); ++d) {
            const std::uint64_t expected = rec.counts[d - 1];
            if (max_nodes && expected > max_nodes)
                break;
            tarn::parse_fen(td->board.pos, rec.fen.c_str());
            const std::uint64_t got = tarn::perft_through_picker(*td, static_cast<int>(d));
            total += got;
            if (got == expected) {
                ++passed;
            } else {
                ++failed;
                std::printf("FAIL line %d depth %zu: expected %" PRIu64 " got %" PRIu64 "  %s\n",
                            line_no, d, expected, got, rec.fen.c_str());
            }
        }
    }
    const double elapsed = tarn::platform_now() - start;
    tarn::thread_data_destroy(td);
    std::printf("%s: %" PRIu64 " leaves in %.2f s (%.0f leaves/s)\n", path, total, elapsed,
                total / (elapsed + 1e-9));
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

int run_bench() {
    struct Case {
        const char* name;
        const char* fen;
        int depth;
    };
    const Case cases[] = {
        {"start position", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6},
        {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5},
    };
    tarn::ThreadData* td = tarn::thread_data_create();
    std::uint64_t all    = 0;
    double all_time      = 0;
    for (const Case& c : cases) {
        tarn::parse_fen(td->board.pos, c.fen);
        const double start    = tarn::platform_now();
        const std::uint64_t n = tarn::perft_through_picker(*td, c.depth);
        const double elapsed  = tarn::platform_now() - start;
        all += n;
        all_time += elapsed;
        std::printf("%-15s depth %d: %12" PRIu64 " leaves  %7.3f s  %6.2f M leaves/s\n", c.name,
                    c.depth, n, elapsed, n / elapsed / 1e6);
    }
    std::printf("%-15s        : %12" PRIu64 " leaves  %7.3f s  %6.2f M leaves/s\n", "total", all,
                all_time, all / all_time / 1e6);
    tarn::thread_data_destroy(td);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    tarn::init_engine_tables();
    if (argc >= 3 && std::strcmp(argv[1], "suite") == 0) {
        bool chess960           = false;
        std::uint64_t max_nodes = 0;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--chess960") == 0)
                chess960 = true;
            else if (std::strcmp(argv[i], "--max-nodes") == 0 && i + 1 < argc)
                max_nodes = std::strtoull(argv[++i], nullptr, 10);
        }
        return run_suite(argv[2], chess960, max_nodes);
    }
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0)
        return run_bench();
    std::printf("usage: tarn_perft suite FILE [--chess960] [--max-nodes N] | bench\n");
    return 2;
}
