#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/nn_support.h"
#include "support/test_support.h"
#include "trainer/train_vary.h"

namespace tarn {
namespace {

using test::scratch_path;

constexpr const char* MIDDLE_GAME =
    "r1bqkb1r/ppp1pp1p/5np1/3pn3/3P4/3QB3/PPP1PPPP/RN1K1BNR w kq - ce 329; gr 0.0;";
constexpr const char* STALEMATE = "7k/5Q2/6K1/8/8/8/8/8 b - -";

// FENs (without counters) of every position one or two legal moves from fen.
std::vector<std::string> reachable(ThreadData& td, const std::string& fen) {
    std::vector<std::string> out;
    Position& pos       = test::set_fen(td, fen.c_str());
    td.board.search_ply = 1;
    for (const Move first : legal_moves(pos)) {
        test::set_fen(td, fen.c_str());
        td.board.search_ply = 1;
        make_move(td.board.pos, first);
        out.push_back(write_fen(td.board.pos, false));
        const std::string after = write_fen(td.board.pos, true);
        td.board.search_ply     = 1;
        for (const Move second : legal_moves(td.board.pos)) {
            test::set_fen(td, after.c_str());
            td.board.search_ply = 1;
            make_move(td.board.pos, second);
            out.push_back(write_fen(td.board.pos, false));
        }
    }
    return out;
}

std::string write_input(const std::string& tag, const std::vector<std::string>& lines) {
    const std::string path = scratch_path(tag);
    std::ofstream out(path);
    for (const std::string& line : lines)
        out << line << "\n";
    return path;
}

TEST(PositionVariations, AreLegalQuietAndOneOrTwoMovesAway) {
    const std::string in =
        write_input("vary-in.epd", {MIDDLE_GAME, "# a remark", "not a position at all", STALEMATE});
    const std::string out = scratch_path("vary-out.epd");
    VaryCount count;
    ASSERT_TRUE(vary_positions(in, out, 12, 5, count));
    EXPECT_EQ(count.read, 2U);    // the game position and the stalemate
    EXPECT_EQ(count.skipped, 1U); // the line without a position
    const std::vector<std::string> lines = test::read_lines(out);
    EXPECT_EQ(lines.size(), count.written);
    ASSERT_GE(lines.size(), 6U);  // most random moves leave a quiet position
    EXPECT_LE(lines.size(), 12U); // the stalemate has none

    test::ThreadDataHandle td;
    const std::string source = "r1bqkb1r/ppp1pp1p/5np1/3pn3/3P4/3QB3/PPP1PPPP/RN1K1BNR w kq - 0 1";
    const std::vector<std::string> near = reachable(*td, source);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        EXPECT_NE(std::find(near.begin(), near.end(), line), near.end());
        Position& pos        = test::set_fen(*td, line.c_str());
        td->board.search_ply = 1;
        EXPECT_EQ(checker_of(pos, pos.side), NO_SQUARE);
        EXPECT_FALSE(legal_moves(pos).empty());
    }
}

TEST(PositionVariations, TheSeedFixesTheRun) {
    const std::string in = write_input("vary-seed.epd", {MIDDLE_GAME});
    const auto run       = [&](std::uint32_t seed) {
        const std::string out = scratch_path("vary-seed-out.epd");
        VaryCount count;
        EXPECT_TRUE(vary_positions(in, out, 8, seed, count));
        return test::read_lines(out);
    };
    EXPECT_EQ(run(3), run(3));
    EXPECT_NE(run(3), run(4));
}

TEST(PositionVariations, MissingInputIsReported) {
    VaryCount count;
    EXPECT_FALSE(vary_positions(scratch_path("no-such-file.epd"), scratch_path("vary-none.epd"), 2,
                                1, count));
    EXPECT_EQ(count.written, 0U);
}

} // namespace
} // namespace tarn
