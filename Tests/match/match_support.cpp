#include "match/match_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace tarn::test {

MatchDir::MatchDir() {
    path = (std::filesystem::temp_directory_path() / "tarn_match_XXXXXX").string();
    if (!mkdtemp(path.data()))
        ADD_FAILURE() << "cannot make a scratch directory";
}

MatchDir::~MatchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

EngineConfig fake_engine(const std::string& name, const std::vector<std::string>& script) {
    EngineConfig e;
    e.name    = name;
    e.command = "/bin/sh";
    e.args    = {std::string(TARN_TEST_DATA_DIR) + "/fake_uci_engine.sh"};
    e.args.insert(e.args.end(), script.begin(), script.end());
    e.tc.nodes = 1;
    return e;
}

std::vector<PgnGame> read_pgn_file(const std::string& path) {
    std::vector<PgnGame> games;
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "missing PGN file " << path;
        return games;
    }
    PgnGame game;
    std::string error;
    int line = 0;
    while (pgn_read(in, game, error, line)) {
        EXPECT_EQ(error, "") << path;
        games.push_back(game);
    }
    return games;
}

} // namespace tarn::test
