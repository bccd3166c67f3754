#pragma once
// Command line of the evaluation benchmarks: position files (the FEN before any ';' of each
// line that is not a '#' remark), "--roots N" to keep the first N, and "--net NETWORK" for the
// benchmarks that take a network.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace tarn {

struct BenchArguments {
    std::vector<std::string> fens;
    const char* net = nullptr; // network file named by --net
};

// Reads the arguments; false, after printing why, when a file cannot be opened or none names a
// position (then the usage line is printed).
inline bool read_bench_arguments(int argc, char** argv, bool takes_net, const char* usage,
                                 BenchArguments& args) {
    std::size_t roots = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--roots") == 0 && i + 1 < argc) {
            roots = static_cast<std::size_t>(std::strtoul(argv[++i], nullptr, 10));
            continue;
        }
        if (takes_net && std::strcmp(argv[i], "--net") == 0 && i + 1 < argc) {
            args.net = argv[++i];
            continue;
        }
        std::ifstream in(argv[i]);
        if (!in) {
            std::printf("can't open %s\n", argv[i]);
            return false;
        }
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '#')
                args.fens.push_back(line.substr(0, line.find(';')));
    }
    if (args.fens.empty()) {
        std::printf("usage: %s\n", usage);
        return false;
    }
    if (roots && roots < args.fens.size())
        args.fens.resize(roots);
    return true;
}

} // namespace tarn
