// The tablebases in a running engine: root scores, the table move played at once, pruning of
// moves that spoil the root result, and SyzygyPath handling.

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "frontend/engine_process.h"
#include "frontend/live_engine.h"
#include "support/test_support.h"
#include "tb/tb_probe.h"
#include "tb/tb_test_support.h"

namespace tarn {
namespace {

constexpr const char* KQK_START = "7k/8/8/8/8/8/8/K2Q4";
// Ten shuffling plies from KQK_START with white to move: white to move again at rule50 10.
constexpr const char* TEN_PLIES = "a1b1 h8g8 b1a1 g8h8 a1b1 h8g8 b1a1 g8h8 a1b1 h8g8";
// Nine shuffling plies from KQK_START with black to move: white to move at rule50 9.
constexpr const char* NINE_PLIES = "h8g8 a1b1 g8h8 b1a1 h8g8 a1b1 g8h8 b1a1 h8g8";

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Info lines that carry a score.
std::vector<std::string> scored_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (starts_with(l, "info") && l.find(" score ") != std::string::npos)
            out.push_back(l);
    return out;
}

std::string field_after(const std::string& line, const std::string& word) {
    const std::size_t at = line.find(" " + word + " ");
    if (at == std::string::npos)
        return "";
    const std::size_t start = at + word.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

std::string bestmove_of(const std::vector<std::string>& lines) {
    return lines.empty() ? "" : field_after(" " + lines.back() + " ", "bestmove");
}

// An engine with the shared tables loaded.
struct TableEngine {
    test::LiveEngine engine{{"-hash", "1"}};
    TableEngine() {
        engine.send("setoption name SyzygyPath value " + test::syzygy_dir());
        engine.send("isready");
        lines = engine.read_until("readyok");
    }
    std::vector<std::string> search(const std::string& position, int depth) {
        engine.send("position " + position);
        engine.send("go depth " + std::to_string(depth));
        return engine.read_until("bestmove");
    }
    ~TableEngine() {
        engine.send("quit");
        engine.finish();
    }
    std::vector<std::string> lines;
};

// Loads the shared tables into this process, without printing.
void load_tables(const std::string& path) {
    test::StdoutCapture quiet;
    tb_init(path.c_str());
}

// Result of the position after a coordinate move, from the tables in this process.
int result_after(ThreadData& td, const std::string& fen_and_moves, const std::string& move) {
    Position& pos = test::set_fen(td, fen_and_moves.c_str());
    Move m        = 0;
    EXPECT_TRUE(parse_move(pos, move.c_str(), m, run_move_style())) << move;
    make_move(pos, m);
    return tb_probe_node(pos, 10);
}

// Searches with the shared tables; skipped without them.
class TbSearch : public test::SyzygyTest {};

TEST_F(TbSearch, SettingThePathLoadsTheTables) {
    TableEngine t;
    const std::string want = "info string found 41 tablebases";
    bool found             = false;
    for (const std::string& l : t.lines)
        found |= l == want;
    EXPECT_TRUE(found);
}

TEST_F(TbSearch, StartUpLoadsTheTablesOfTheTbpathSwitch) {
    test::LiveEngine engine({"-hash", "1", "-tbpath", test::syzygy_dir()});
    engine.send("isready");
    const std::vector<std::string> lines = engine.read_until("readyok");
    bool found                           = false;
    for (const std::string& l : lines)
        found |= l == "info string found 41 tablebases";
    EXPECT_TRUE(found);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(TbSearch, WonRootScoresATableWinOrAMate) {
    TableEngine t;
    const auto lines  = t.search(std::string("fen ") + KQK_START + " w - - 0 1", 10);
    const auto scored = scored_lines(lines);
    ASSERT_FALSE(scored.empty());
    const std::string score = field_after(scored.back(), "score");
    const std::string value = field_after(scored.back(), score);
    EXPECT_TRUE((score == "cp" && value == "9800") || score == "mate") << scored.back();
    EXPECT_GT(std::atof(field_after(scored.back(), "tbhits").c_str()), 0.0);
}

TEST_F(TbSearch, DrawnRootScoresZero) {
    TableEngine t;
    const auto scored = scored_lines(t.search("fen 8/8/8/4k3/8/8/8/KB6 w - - 0 1", 10));
    ASSERT_FALSE(scored.empty());
    for (const std::string& l : scored)
        EXPECT_NE(l.find(" score cp 0 "), std::string::npos) << l;
}

TEST_F(TbSearch, WinAtRule50TenPlaysTheTableMoveAtOnce) {
    TableEngine t;
    const std::string position = std::string("fen ") + KQK_START + " w - - 0 1 moves " + TEN_PLIES;
    const auto lines           = t.search(position, 10);
    const auto scored          = scored_lines(lines);
    ASSERT_FALSE(scored.empty());
    for (const std::string& l : scored)
        EXPECT_EQ(field_after(l, "depth"), "99") << l;
    EXPECT_EQ(field_after(scored.front(), "score"), "cp");
    EXPECT_EQ(field_after(scored.front(), "cp"), "9800");

    load_tables(test::syzygy_dir());
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "6k1/8/8/8/8/8/8/1K1Q4 w - - 0 1");
    pos.rule50    = 10;
    Move move     = 0;
    int dtz       = 0;
    ASSERT_EQ(tb_probe_root(pos, move, dtz), TB_WIN);
    EXPECT_EQ(bestmove_of(lines), move_to_coord(pos, WHITE, move, run_move_style()));
    load_tables("");
}

TEST_F(TbSearch, WinAtRule50NineIsSearchedAndKeepsTheWin) {
    TableEngine t;
    const std::string position = std::string("fen ") + KQK_START + " b - - 0 1 moves " + NINE_PLIES;
    const auto lines           = t.search(position, 8);
    const auto scored          = scored_lines(lines);
    ASSERT_FALSE(scored.empty());
    for (const std::string& l : scored) {
        EXPECT_NE(field_after(l, "depth"), "99") << l;
        const std::string score = field_after(l, "score");
        EXPECT_TRUE(score == "mate" || field_after(l, "cp") == "9800") << l;
    }
    load_tables(test::syzygy_dir());
    test::ThreadDataHandle td;
    EXPECT_EQ(result_after(*td, "6k1/8/8/8/8/8/8/K2Q4 w - - 0 1", bestmove_of(lines)), TB_LOSS);
    load_tables("");
}

TEST_F(TbSearch, PathChangesAreRefusedWhileSearching) {
    test::LiveEngine engine({"-hash", "1"});
    engine.send("position startpos");
    engine.send("go infinite");
    ASSERT_FALSE(engine.read_until("info depth 2").empty());
    engine.send("setoption name SyzygyPath value " + test::syzygy_dir());
    engine.send("isready");
    const std::vector<std::string> lines = engine.read_until("readyok");
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines)
        EXPECT_EQ(l.find("SyzygyPath"), std::string::npos) << l;
    engine.send("stop");
    EXPECT_FALSE(engine.read_until("bestmove").empty());
    engine.send("setoption name SyzygyPath value " + test::syzygy_dir());
    engine.send("isready");
    bool found = false;
    for (const std::string& l : engine.read_until("readyok"))
        found |= l == "info string found 41 tablebases";
    EXPECT_TRUE(found);
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

} // namespace
} // namespace tarn
