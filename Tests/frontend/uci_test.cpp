#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <utility>

#include "core/fen.h"
#include "frontend/engine_process.h"
#include "frontend/game_record.h"
#include "frontend/run_settings.h"
#include "frontend/switches.h"
#include "frontend/uci.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "support/test_support.h"

namespace tarn {
namespace {

constexpr const char* AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
constexpr const char* INVALID  = "info string invalid position\n";
constexpr const char* START_OUT = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// UCI lines run in-process against a game record of our own, with the output captured.
class UciCommands : public ::testing::Test {
protected:
    void SetUp() override {
        write_startup_defaults();
        main_thread = test::new_thread_data();
        parse_fen(main_thread->board.pos, START_FEN);
    }
    void TearDown() override {
        thread_data_destroy(main_thread);
        main_thread = nullptr;
        write_startup_defaults();
    }
    static std::string run(const std::string& line) {
        test::StdoutCapture capture;
        dispatch_line(line);
        return capture.take();
    }
    static std::string fen() { return write_fen(main_thread->board.pos, false); }
};

TEST_F(UciCommands, StartposPlaysTheMoveList) {
    EXPECT_EQ(run("position startpos moves e2e4 e7e5 g1f3"), "");
    EXPECT_EQ(fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -");
    EXPECT_EQ(main_thread->board.game_ply, 3);

    EXPECT_EQ(run("position startpos"), "");
    EXPECT_EQ(fen(), START_OUT);
    EXPECT_EQ(main_thread->board.game_ply, 0);
}

TEST_F(UciCommands, MoveListStopsAtTheFirstIllegalMove) {
    EXPECT_EQ(run("position startpos moves e2e4 zz99 e7e5"), "info string illegal move zz99\n");
    EXPECT_EQ(fen(), AFTER_E4);
    EXPECT_EQ(main_thread->board.game_ply, 1);

    // Well-formed but not legal here.
    EXPECT_EQ(run("position startpos moves e2e4 e2e4 e7e5"), "info string illegal move e2e4\n");
    EXPECT_EQ(fen(), AFTER_E4);
}

TEST_F(UciCommands, FenPositionWithMoves) {
    const std::string line = std::string("position fen ") + KIWIPETE + " moves e1g1 h3g2";
    EXPECT_EQ(run(line), "");
    EXPECT_EQ(fen(), "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q2/PPPBBPpP/R4RK1 w kq -");
}

TEST_F(UciCommands, SideToMoveMayBeInCheck) {
    EXPECT_EQ(run("position fen 4k3/8/8/8/8/8/8/r3K3 w - -"), "");
    EXPECT_EQ(fen(), "4k3/8/8/8/8/8/8/r3K3 w - -");
}

TEST_F(UciCommands, PositionWithoutStartposOrFenChangesNothing) {
    run("position startpos moves e2e4");
    EXPECT_EQ(run("position moves e7e5"), "");
    EXPECT_EQ(run("position"), "");
    EXPECT_EQ(run("position nonsense"), "");
    EXPECT_EQ(fen(), AFTER_E4);
    EXPECT_EQ(main_thread->board.game_ply, 1);
}

TEST_F(UciCommands, CommandsMayHaveLeadingBlanks) {
    EXPECT_EQ(run("   isready"), "readyok\n");
    EXPECT_EQ(run("  position startpos moves e2e4"), "");
    EXPECT_EQ(fen(), AFTER_E4);
}

TEST_F(UciCommands, UnknownCommandsAndBlankLinesPrintNothing) {
    EXPECT_EQ(run("hello world"), "");
    EXPECT_EQ(run(""), "");
    EXPECT_EQ(run("     "), "");
    EXPECT_EQ(run("isreadyx"), "");
    EXPECT_EQ(run("ISREADY"), "");
}

TEST_F(UciCommands, LongMoveListStopsAtTheGameLimit) {
    std::string line = "position startpos moves";
    for (int i = 0; i < 250; ++i)
        line += " g1f3 g8f6 f3g1 f6g8";
    const std::string printed = run(line);
    EXPECT_EQ(main_thread->board.game_ply, MAX_GAME_PLY);
    const char* words[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    EXPECT_EQ(printed, std::string("info string move list too long, stopped at ") +
                           words[MAX_GAME_PLY % 4] + "\n");
}

// "go" only sets the limits and requests the search; the main loop starts it, so nothing is
// searched here and the request is withdrawn after each line.
TEST_F(UciCommands, GoDepthBelowOneSearchesDepthOneAndBeyondTheMaximumIsClamped) {
    const std::pair<const char*, int> cases[] = {
        {"go depth 0", 1},
        {"go depth -1", 1},
        {"go depth 5", 5},
        {"go depth 66", MAX_DEPTH},
        {"go depth 67", MAX_DEPTH},
        {"go depth 99999999999", MAX_DEPTH},
        {"go depth 1e300", MAX_DEPTH},
        {"go depth nan", 1},
        {"go depth", 1},
    };
    for (const auto& [line, depth] : cases) {
        EXPECT_EQ(run(line), "") << line;
        EXPECT_EQ(game_limits.max_depth, depth) << line;
        EXPECT_EQ(search_control.mode, MODE_REQUESTED) << line;
        search_control.mode = MODE_IDLE;
    }
}

TEST_F(UciCommands, GoNumbersOutsideTheirRangeAreClamped) {
    const auto go = [](const char* line) {
        run(line);
        EXPECT_EQ(search_control.mode, MODE_REQUESTED) << line;
        search_control.mode = MODE_IDLE;
    };
    const double most = static_cast<double>(std::int64_t{1} << 50);
    go("go nodes 1e300");
    EXPECT_GE(static_cast<double>(game_limits.node_limit), most * 0.96);
    EXPECT_LE(static_cast<double>(game_limits.node_limit), most * 1.04);
    go("go nodes -5");
    EXPECT_EQ(game_limits.node_limit, 1u);
    go("go movestogo 99999999999");
    EXPECT_EQ(game_limits.moves_to_go, 1000);
    go("go movestogo -3");
    EXPECT_EQ(game_limits.moves_to_go, 0);
    go("go wtime nan btime -5 winc nan");
    EXPECT_EQ(game_limits.clock[WHITE], 0.0);
    EXPECT_EQ(game_limits.clock[BLACK], 0.0);
    EXPECT_EQ(game_limits.increment, 0.0);
    go("go movetime nan");
    EXPECT_EQ(game_limits.move_time, 0.0);
}

// Positions the engine cannot search; each must be refused and leave the game as it was.
class UciBadFen : public UciCommands, public ::testing::WithParamInterface<const char*> {};

TEST_P(UciBadFen, IsRefusedAndKeepsThePreviousPosition) {
    run("position startpos moves e2e4");
    // A move list after a refused FEN must not be played on the kept game either.
    EXPECT_EQ(run(std::string("position fen ") + GetParam() + " moves g8f6"), INVALID);
    EXPECT_EQ(fen(), AFTER_E4);
    EXPECT_EQ(main_thread->board.game_ply, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, UciBadFen,
    ::testing::Values("4k3/8/8/8/8/8/8/K6K w - -",         // two white kings
                      "8/8/8/8/8/8/8/4K3 w - -",           // no black king
                      "4k3/8/8/8/8/8/8/4R1K1 w - -",       // side not to move in check
                      "P3k3/8/8/8/8/8/8/4K3 w - -",        // pawn on the last rank
                      "4k3/8/8/8/8/8/8/p3K3 b - -",        // pawn on the first rank
                      "4k3/ppppppppp/8/8/8/8/8/4K3 w - -", // nine files in a rank
                      "4k4/8/8/8/8/8/8/4K3 w - -",         // nine files by a gap
                      "4k3/8/8/8/8/8/8/8/4K3 w - -",       // nine ranks
                      "rnbqkbnr/ppp",                      // truncated
                      "",                                  // empty
                      "xyz"));                             // not a FEN at all

} // namespace
} // namespace tarn
