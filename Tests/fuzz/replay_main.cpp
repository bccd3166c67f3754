// Runs the inputs of a fuzz target's corpus once each, without a fuzzer: the normal test run
// replays every corpus this way, so a fault once found stays found with any compiler.
//   tarn_fuzz_replay TARGET FILE_OR_FOLDER...
// Folders are read in name order. The exit status is 0 when every input ran; a broken property
// or a sanitizer report ends the program on that input, which it names first.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace {

using tarn::fuzz::FUZZ_TARGETS;
using tarn::fuzz::FuzzEntry;

const unsigned char EMPTY_INPUT = 0;

std::vector<std::string> input_files(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path p(argv[i]);
        if (!std::filesystem::is_directory(p)) {
            files.push_back(p.string());
            continue;
        }
        std::vector<std::string> in_dir;
        for (const auto& e : std::filesystem::directory_iterator(p))
            if (e.is_regular_file())
                in_dir.push_back(e.path().string());
        std::sort(in_dir.begin(), in_dir.end());
        files.insert(files.end(), in_dir.begin(), in_dir.end());
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    FuzzEntry run = nullptr;
    for (const auto& t : FUZZ_TARGETS)
        if (std::strcmp(t.name, argv[1]) == 0)
            run = t.run;
    if (!run) {
        std::fprintf(stderr, "no fuzz target named %s\n", argv[1]);
        return 2;
    }
    const std::vector<std::string> files = input_files(argc, argv);
    for (const std::string& file : files) {
        std::fprintf(stderr, "%s\n", file.c_str());
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        // A non-null pointer even for an empty input, as the fuzzer passes it.
        run(bytes.empty() ? &EMPTY_INPUT : bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs of %s replayed\n", files.size(), argv[1]);
    return files.empty() ? 1 : 0;
}
