// The console command set ("-c"), driven through the engine binary.

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/engine_process.h"

namespace tarn {
namespace {

using test::find_line;
using test::output_lines;
using Lines = std::vector<std::string>;

constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";

// The start-position diagram the console prints when it starts.
const Lines START_BOARD = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0",
                           "  r n b q k b n r",
                           "  o o o o o o o o",
                           "  - + - + - + - +",
                           "  + - + - + - + -",
                           "  - + - + - + - +",
                           "  + - + - + - + -",
                           "  P P P P P P P P",
                           "  R N B Q K B N R",
                           "white"};

const Lines AFTER_E4_BOARD = {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                              "  r n b q k b n r",
                              "  o o o o o o o o",
                              "  - + - + - + - +",
                              "  + - + - + - + -",
                              "  - + - + P + - +",
                              "  + - + - + - + -",
                              "  P P P P - P P P",
                              "  R N B Q K B N R",
                              "black"};

// Lines a console session printed after its start-up (which ends with the start diagram).
Lines console_session(const std::string& script, int* exit_status = nullptr) {
    const test::Session s = test::run_console_session({"-c", "-hash", "1"}, script);
    if (exit_status)
        *exit_status = s.exit_status;
    return s.lines;
}

Lines concat(const Lines& a, const Lines& b) {
    Lines all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

// Leaf count from a perft report line, or -1 when the line is not one.
double perft_nodes(const std::string& line) {
    double nodes = -1, seconds = 0, nps = 0;
    if (std::sscanf(line.c_str(), "visited %lf nodes in %lf seconds, nps= %lf", &nodes, &seconds,
                    &nps) != 3)
        return -1;
    return nodes;
}

TEST(Console, StartsWithTheBoardAndQuits) {
    const Lines lines = output_lines(test::run_engine({"-c", "-hash", "1"}, "quit\n").output);
    ASSERT_GE(lines.size(), START_BOARD.size());
    EXPECT_EQ(Lines(lines.end() - static_cast<long>(START_BOARD.size()), lines.end()), START_BOARD);
    int status = -1;
    EXPECT_EQ(console_session("quit\n", &status), Lines{});
    EXPECT_EQ(status, 0);
}

TEST(Console, BoardDiagram) {
    const Lines kiwipete = {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 0",
                            "  r + - + k + - r",
                            "  o - o o q o b -",
                            "  b n - + o n o +",
                            "  + - + P N - + -",
                            "  - o - + P + - +",
                            "  + - N - + Q + o",
                            "  P P P B B P P P",
                            "  R - + - K - + R",
                            "white"};
    EXPECT_EQ(console_session(std::string("fen ") + KIWIPETE + "\nbd\nquit\n"),
              concat(kiwipete, kiwipete));

    const Lines black = {"7k/8/8/8/8/8/8/K7 b - - 0 0", "  - + - + - + - k",
                         "  + - + - + - + -",           "  - + - + - + - +",
                         "  + - + - + - + -",           "  - + - + - + - +",
                         "  + - + - + - + -",           "  - + - + - + - +",
                         "  K - + - + - + -",           "black"};
    EXPECT_EQ(console_session("fen 7k/8/8/8/8/8/8/K7 b - -\nquit\n"), black);
}

TEST(Console, PerftCountsTheLeaves) {
    const Lines out = console_session(std::string("fen ") + KIWIPETE +
                                      "\nperft 3\nfen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -\n"
                                      "perft 4\nperft 0\nquit\n");
    std::vector<double> counts;
    for (const std::string& line : out)
        if (perft_nodes(line) >= 0)
            counts.push_back(perft_nodes(line));
    EXPECT_EQ(counts, (std::vector<double>{97862, 43238, 1}));
}

TEST(Console, NegativePerftDepthCountsOnlyTheRoot) {
    const Lines out = console_session("perft -3\nquit\n");
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(perft_nodes(out[2]), 1);
}

TEST(Console, PerftIsPreparedAsASearchIs) {
    const Lines out = console_session("e4\nperft 1\nquit\n");
    const int fen   = find_line(out, "fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    ASSERT_NE(fen, -1);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(fen) + 3);
    EXPECT_EQ(out[static_cast<std::size_t>(fen) + 1].rfind("Ply= 1, cnt50= 0, Clock= ", 0), 0u);
    EXPECT_EQ(perft_nodes(out[static_cast<std::size_t>(fen) + 2]), 20);
}

TEST(Console, UndoAtTheStartDoesNothing) {
    EXPECT_EQ(console_session("undo\n[\n]\nquit\n"), Lines{});
}

TEST(Console, MovePrintsItsNumberAndTheBoard) {
    const Lines out = console_session("e4\nquit\n");
    EXPECT_EQ(out, concat({"1. move e4"}, AFTER_E4_BOARD));

    const Lines three = console_session("e4\ne5\nNf3\nquit\n");
    EXPECT_NE(find_line(three, "2. move Nf3"), -1);
}

TEST(Console, UndoTakesBackAndBracketReplays) {
    const Lines out      = console_session("e4\nundo\n]\nquit\n");
    const Lines expected = concat(concat(concat({"1. move e4"}, AFTER_E4_BOARD), START_BOARD),
                                  concat({"1. move e2e4"}, AFTER_E4_BOARD));
    EXPECT_EQ(out, expected);
}

TEST(Console, ReplayingABlackMoveUsesAnEllipsis) {
    const Lines out  = console_session("e4\ne5\n[\n]\nquit\n");
    const int replay = find_line(out, "1... move e7e5");
    ASSERT_NE(replay, -1);
    ASSERT_GT(out.size(), static_cast<std::size_t>(replay + 1));
    EXPECT_EQ(out[static_cast<std::size_t>(replay) + 1],
              "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
}

TEST(Console, ReplayWithNothingKeptDoesNothing) {
    EXPECT_EQ(console_session("e4\n]\nquit\n"), concat({"1. move e4"}, AFTER_E4_BOARD));
}

TEST(Console, UnknownWordIsReportedInvalid) {
    // The report names the squares of the move as the reader left it: none was read.
    const Lines out = console_session("xyzzy\ne5\nposition startpos\nbd\nquit\n");
    ASSERT_EQ(out.size(), 3 + START_BOARD.size());
    EXPECT_EQ(out[0], "invalid: a1a1");
    EXPECT_EQ(out[1], "invalid: a1a1"); // black's move while white is to move
    EXPECT_EQ(out[2], "invalid: a1a1");
    EXPECT_EQ(Lines(out.begin() + 3, out.end()), START_BOARD);
}

TEST(Console, InvalidFenKeepsThePosition) {
    const char* bad[]  = {"4k3/8/8/8/8/8/8/K6K w - -", "4k3/8/8/8/8/8/8/4R1K1 w - -",
                          "P3k3/8/8/8/8/8/8/4K3 w - -", "4k3/ppppppppp/8/8/8/8/8/4K3 w - -",
                          "rnbqkbnr/ppp"};
    std::string script = "e4\n";
    for (const char* fen : bad)
        script += std::string("fen ") + fen + "\n";
    script += "bd\nquit\n";
    const Lines out = console_session(script);
    Lines expected  = concat({"1. move e4"}, AFTER_E4_BOARD);
    for (std::size_t i = 0; i < std::size(bad); ++i)
        expected.push_back("info string invalid position");
    EXPECT_EQ(out, concat(expected, AFTER_E4_BOARD));
}

TEST(Console, NewRestoresTheStartPosition) {
    EXPECT_EQ(console_session("e4\nnew\nquit\n"),
              concat(concat({"1. move e4"}, AFTER_E4_BOARD), START_BOARD));
}

TEST(Console, UciSwitchesToTheUciProtocol) {
    const Lines out = console_session("uci\nbd\nisready\nquit\n");
    const int ok    = find_line(out, "uciok");
    ASSERT_NE(ok, -1);
    EXPECT_EQ(out.front(), "id name Tarn 6.00");
    // "bd" is no UCI command: only the readyok follows.
    EXPECT_EQ(Lines(out.begin() + ok + 1, out.end()), Lines{"readyok"});
}

} // namespace
} // namespace tarn
