// Books made from the shared self-play games: the book this engine builds is sorted and holds
// only legal moves of the positions it names, and books are read the same way by the engine
// and by Debian's book tool (package polyglot), in both directions.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "book/book.h"
#include "book/book_build.h"
#include "book/book_support.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/engine_process.h"
#include "support/test_support.h"

namespace tarn {
namespace {

constexpr const char* GAMES        = "games-engine-selfplay.pgn";
constexpr int SLICE_GAMES          = 800; // enough for some 90 entries, quick to build
constexpr int REPLAY_PLIES         = 42;  // beyond the builder's window and its line overrun
constexpr const char* TOOL_MISSING = "Debian's book tool is not installed (apt-get install "
                                     "polyglot); the books cannot be checked against it";

// The book tool of the Debian package, or empty.
std::string book_tool() {
    for (const char* path : {"/usr/games/polyglot", "/usr/bin/polyglot", "/usr/local/bin/polyglot"})
        if (access(path, X_OK) == 0)
            return path;
    return std::string();
}

// Runs a shell command line; true when it exited with status 0.
bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

void make_move_at_root(ThreadData& td, Move move) {
    td.board.search_ply = 1;
    make_move(td.board.pos, move);
    td.board.search_ply = 1;
}

// The first `games` games of the shared file, written to path.
void write_slice(const std::string& path, int games) {
    std::ifstream in(test::shared_data(GAMES));
    ASSERT_TRUE(in) << "missing test data file " << test::shared_data(GAMES);
    std::ofstream out(path);
    std::string line;
    int seen = 0;
    while (std::getline(in, line)) {
        if (line.rfind("[Event ", 0) == 0 && ++seen > games)
            break;
        out << line << '\n';
    }
    ASSERT_EQ(seen, games + 1) << "the shared file has fewer games than the slice";
}

// A book this engine builds from the first games of the shared file.
class BookFromGames : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::has_shared_data(GAMES))
            GTEST_SKIP() << test::no_shared_data(GAMES);
        ASSERT_NO_FATAL_FAILURE(write_slice(games_, SLICE_GAMES));
        test::StdoutCapture quiet;
        counts_ = build_book_file(td_->board, games_.c_str(), book_.c_str());
        quiet.take();
        ASSERT_TRUE(counts_.written);
    }

    test::ThreadDataHandle td_;
    test::ScratchDir dir_;
    const std::string games_ = dir_.file("slice.pgn");
    const std::string book_  = dir_.file("built.bin");
    BookBuildCounts counts_;
};

// Legal moves (book encoding) of every position of the games' openings whose key is in `keys`,
// found by replaying the games with a reader of their own.
std::map<std::uint64_t, std::set<std::uint16_t>> replay_games(const std::string& games,
                                                              const std::set<std::uint64_t>& keys) {
    std::map<std::uint64_t, std::set<std::uint16_t>> legal;
    std::ifstream in(games);
    test::ThreadDataHandle td;
    std::string line;
    int ply = REPLAY_PLIES;
    while (std::getline(in, line)) {
        if (line.rfind("[Result ", 0) == 0) {
            test::set_fen(*td, START_FEN);
            ply = 0;
            continue;
        }
        if (line.empty() || line[0] == '[' || ply >= REPLAY_PLIES)
            continue;
        std::string bare; // the games keep every comment on one line
        int depth = 0;
        for (const char c : line) {
            depth += c == '{';
            if (!depth)
                bare += c;
            depth -= c == '}' && depth > 0;
        }
        std::istringstream words(bare);
        std::string word;
        while (ply < REPLAY_PLIES && words >> word) {
            if (word.back() == '.' || word == "1-0" || word == "0-1" || word == "1/2-1/2" ||
                word == "*")
                continue;
            if (word.back() == '#')
                word.pop_back();
            const std::uint64_t key = book_key(td->board.pos);
            if (keys.count(key)) {
                td->board.search_ply = 1;
                for (MoveEntry* e = gen_all(td->board.pos); e->move != END_OF_LIST; ++e)
                    if (is_legal(td->board.pos, td->board.pos.side, e->move))
                        legal[key].insert(to_polyglot(e->move));
            }
            Move move = NULL_MOVE;
            if (!parse_move(td->board.pos, word.c_str(), move, run_move_style())) {
                ADD_FAILURE() << "cannot read " << word;
                return legal;
            }
            make_move_at_root(*td, move);
            ++ply;
        }
    }
    return legal;
}

TEST_F(BookFromGames, BuiltBookIsSortedAndLegal) {
    const std::vector<BookEntry> entries = test::read_book(book_);
    EXPECT_EQ(counts_.games, SLICE_GAMES);
    EXPECT_EQ(static_cast<int>(entries.size()), counts_.entries);
    ASSERT_GT(entries.size(), 50u);
    std::set<std::uint64_t> keys;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        keys.insert(entries[i].key);
        if (i == 0)
            continue;
        ASSERT_LE(entries[i - 1].key, entries[i].key) << "entry " << i;
        if (entries[i - 1].key == entries[i].key) {
            EXPECT_GE(entries[i - 1].weight, entries[i].weight) << "entry " << i;
        }
    }
    const auto legal = replay_games(games_, keys);
    for (const BookEntry& e : entries) {
        const auto it = legal.find(e.key);
        ASSERT_NE(it, legal.end()) << "no game reaches key " << std::hex << e.key;
        EXPECT_TRUE(it->second.count(e.move))
            << "move " << std::hex << e.move << " is not legal at key " << e.key;
        EXPECT_GT(e.weight, 0); // these games have no move kept with a negative weight
    }
}

// Percentages that the tool's dump of a book shows per position and move (book encoding).
using Shown = std::map<std::uint64_t, std::map<std::uint16_t, int>>;

// Reads a dump of the tool ("3: 1. d4{37%} d6 2. e4{40%} ..."): the moves with a percentage
// are book moves of the dumped colour in the position where they stand, and every book move
// of that colour on the way is shown on some line.
void read_dump(const std::string& path, Shown& shown) {
    std::ifstream in(path);
    ASSERT_TRUE(in) << "the tool wrote no dump " << path;
    test::ThreadDataHandle td;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos || line.rfind("Dump of", 0) == 0)
            continue;
        // A line may end in a note such as "{trans: line=2, ply=8}" or "{cycle: ply=10}".
        line = line.substr(colon + 2, line.find(" {") - colon - 2);
        test::set_fen(*td, START_FEN);
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word.back() == '.')
                continue;
            const std::size_t brace = word.find('{');
            std::string san         = word.substr(0, brace);
            if (!san.empty() && san.back() == '#')
                san.pop_back();
            Move move = NULL_MOVE;
            ASSERT_TRUE(parse_move(td->board.pos, san.c_str(), move, run_move_style()))
                << san << " in " << line;
            if (brace != std::string::npos) {
                const int percent = std::atoi(word.c_str() + brace + 1);
                shown[book_key(td->board.pos)][to_polyglot(move)] = percent;
            }
            make_move_at_root(*td, move);
        }
    }
}

// Every position in the dumps has exactly the moves the engine's probe finds, with the same
// shares. Returns the number of positions compared.
int compare_with_dumps(const std::string& tool, const std::string& book, const std::string& work) {
    Shown shown;
    for (const char* colour : {"white", "black"}) {
        const std::string dump = work + "/dump-" + colour + ".txt";
        EXPECT_TRUE(run("\"" + tool + "\" dump-book -bin \"" + book + "\" -color " + colour +
                        " -out \"" + dump + "\" > /dev/null 2>&1"));
        read_dump(dump, shown);
    }
    for (const auto& [key, moves] : shown) {
        BookCandidates found;
        EXPECT_EQ(book_lookup(book.c_str(), key, found), BOOK_FOUND) << std::hex << key;
        std::int64_t total = 0;
        for (int i = 0; i < found.count; ++i)
            total += found.entry[i].weight;
        std::map<std::uint16_t, double> ours;
        for (int i = 0; i < found.count; ++i)
            if (found.entry[i].weight)
                ours[found.entry[i].move] = 100.0 * found.entry[i].weight / total;
        EXPECT_EQ(ours.size(), moves.size()) << "key " << std::hex << key;
        for (const auto& [move, percent] : moves) {
            const auto it = ours.find(move);
            if (it == ours.end()) {
                ADD_FAILURE() << "key " << std::hex << key << ": no move " << move;
                continue;
            }
            EXPECT_LE(std::fabs(it->second - percent), 1.0) << "key " << std::hex << key;
        }
    }
    return static_cast<int>(shown.size());
}

TEST(BookToolOracle, ProbeReadsTheToolsBookAsTheToolDoes) {
    const std::string tool = book_tool();
    if (tool.empty())
        GTEST_SKIP() << TOOL_MISSING;
    if (!test::has_shared_data(GAMES))
        GTEST_SKIP() << test::no_shared_data(GAMES);
    test::ScratchDir work;
    const std::string book = work.file("tool.bin");
    ASSERT_TRUE(run("cd \"" + work.file("") + "\" && \"" + tool + "\" make-book -pgn \"" +
                    test::shared_data(GAMES) + "\" -bin \"" + book + "\" > make.log 2>&1"));
    EXPECT_GT(compare_with_dumps(tool, book, work.file("")), 600);
}

TEST_F(BookFromGames, ToolReadsTheBuiltBookAsTheProbeDoes) {
    const std::string tool = book_tool();
    if (tool.empty())
        GTEST_SKIP() << TOOL_MISSING;
    test::ScratchDir work;
    EXPECT_GT(compare_with_dumps(tool, book_, work.file("")), 40);
}

} // namespace
} // namespace tarn
