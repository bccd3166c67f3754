// The engine's tablebase interface: finding tables from a path list, and the rules that decide
// whether a node or the root is probed.

#include <gtest/gtest.h>
#include <string>

#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "support/test_support.h"
#include "tb/tb_probe.h"
#include "tb/tb_test_support.h"

namespace tarn {
namespace {

constexpr int SHIPPED_TABLES = 41;

constexpr const char* KQ_V_K   = "8/8/8/4k3/8/8/8/KQ6 w - - 0 1";
constexpr const char* KR_V_K   = "8/8/8/4k3/8/8/8/KR6 w - - 0 1";
constexpr const char* KRR_V_KR = "7k/R7/8/3r4/8/8/8/1R4K1 b - - 0 1";
// Six pieces whose one capture (Rxa7) reaches a won KRRvKR ending.
constexpr const char* SIX_PIECES = "7k/n7/8/3r4/8/8/8/RR4K1 w - - 0 1";

std::string init_and_capture(const std::string& path) {
    test::StdoutCapture capture;
    tb_init(path.c_str());
    return capture.take();
}

class TbInterface : public test::SyzygyTest {
protected:
    void SetUp() override {
        test::SyzygyTest::SetUp();
        saved = live_options;
        td    = new test::ThreadDataHandle;
    }
    void TearDown() override {
        delete td;
        live_options = saved;
        init_and_capture("");
    }
    Position& position(const char* fen) { return test::set_fen(**td, fen); }
    int node(const char* fen, int depth) { return tb_probe_node(position(fen), depth); }

    EngineOptions saved;
    test::ThreadDataHandle* td = nullptr;
};

TEST_F(TbInterface, EmptyPathReportsNothingAndDisablesProbes) {
    for (const char* none : {"", TB_NO_PATH}) {
        init_and_capture(test::syzygy_dir());
        EXPECT_EQ(init_and_capture(none), "") << none;
        EXPECT_EQ(tb_largest(), 0);
        EXPECT_EQ(node(KQ_V_K, 10), TB_NONE);
    }
}

TEST_F(TbInterface, FindsEveryShippedTable) {
    EXPECT_EQ(init_and_capture(test::syzygy_dir()),
              "info string found " + std::to_string(SHIPPED_TABLES) + " tablebases\n");
    EXPECT_EQ(tb_largest(), 5);
    EXPECT_EQ(node(KQ_V_K, 1), TB_WIN);
    EXPECT_EQ(node(KRR_V_KR, 1), TB_LOSS);
}

TEST_F(TbInterface, SecondDirectoryFillsWhatTheFirstLacks) {
    test::TableDir empty;
    const std::string path = "/no/such/dir;" + empty.path() + ";;" + test::syzygy_dir();
    EXPECT_EQ(init_and_capture(path),
              "info string found " + std::to_string(SHIPPED_TABLES) + " tablebases\n");
    EXPECT_EQ(node(KQ_V_K, 1), TB_WIN);
}

TEST_F(TbInterface, FirstDirectoryHoldingAFileWins) {
    test::TableDir first;
    first.write("KQvK.rtbw", std::vector<unsigned char>(80, 0)); // not a table file
    init_and_capture(first.path() + ";" + test::syzygy_dir());
    EXPECT_EQ(node(KQ_V_K, 1), TB_NONE);
    EXPECT_EQ(node(KR_V_K, 1), TB_WIN);
}

TEST_F(TbInterface, ReinitialisingReplacesTheSet) {
    init_and_capture(test::syzygy_dir());
    test::TableDir only_kqk;
    only_kqk.copy_table("KQvK.rtbw");
    EXPECT_EQ(init_and_capture(only_kqk.path()), "info string found 1 tablebases\n");
    EXPECT_EQ(tb_largest(), 3);
    EXPECT_EQ(node(KQ_V_K, 1), TB_WIN);
    EXPECT_EQ(node(KR_V_K, 1), TB_NONE);
}

TEST_F(TbInterface, FullRegistryIsReportedAndTheEngineGoesOn) {
    init_and_capture(test::syzygy_dir());
    syzygy_reset({test::syzygy_dir()});
    for (int i = 0; i < TB_CAPACITY_PAWNLESS; ++i)
        ASSERT_TRUE(syzygy_register("KQvK", 0));
    test::StdoutCapture capture;
    EXPECT_FALSE(syzygy_register("KRvK", 0));
    EXPECT_EQ(capture.take(), "info string TBMAX_PIECE limit too low! KRvK ignored\n");
    EXPECT_TRUE(syzygy_register("KPvK", 0)); // the other kind still has room
    EXPECT_EQ(node(KQ_V_K, 1), TB_WIN);
    EXPECT_EQ(node(KR_V_K, 1), TB_NONE);
}

TEST_F(TbInterface, NodesBelowTheProbeDepthAreNotProbed) {
    init_and_capture(test::syzygy_dir());
    EXPECT_EQ(node(KRR_V_KR, 0), TB_LOSS); // five pieces at any depth from 0
    EXPECT_EQ(node(KRR_V_KR, -1), TB_NONE);
    live_options.tb_probe_depth = 3;
    EXPECT_EQ(node(KRR_V_KR, 2), TB_NONE);
    EXPECT_EQ(node(KRR_V_KR, 3), TB_LOSS);
}

TEST_F(TbInterface, SixPiecesAreProbedFromSyzygyProbeDepth6) {
    test::TableDir six;
    six.write("KRRvKRN.rtbw", std::vector<unsigned char>(80, 0)); // never read: Rxa7 wins
    init_and_capture(six.path() + ";" + test::syzygy_dir());
    ASSERT_EQ(tb_largest(), 6);
    EXPECT_EQ(node(SIX_PIECES, 0), TB_NONE);
    EXPECT_EQ(node(SIX_PIECES, 1), TB_WIN);
    live_options.SyzygyProbeDepth6 = 4;
    EXPECT_EQ(node(SIX_PIECES, 3), TB_NONE);
    EXPECT_EQ(node(SIX_PIECES, 4), TB_WIN);
}

TEST_F(TbInterface, PositionsWithCastlingRightsAreNeverProbed) {
    init_and_capture(test::syzygy_dir());
    const char* castling = "4k3/8/8/8/8/8/8/4K2R w K - 0 1";
    EXPECT_EQ(node(castling, 10), TB_NONE);
    Move move = 1;
    int dtz   = 0;
    EXPECT_EQ(tb_probe_root(position(castling), move, dtz), TB_NONE);
    EXPECT_EQ(move, 0);
    EXPECT_EQ(node("4k3/8/8/8/8/8/8/4K2R w - - 0 1", 10), TB_WIN);
}

TEST_F(TbInterface, PositionsLargerThanTheSetAreNotProbed) {
    test::TableDir three;
    three.copy_table("KQvK.rtbw");
    three.copy_table("KQvK.rtbz");
    init_and_capture(three.path());
    Move move;
    int dtz;
    EXPECT_EQ(node(KRR_V_KR, 5), TB_NONE);
    EXPECT_EQ(tb_probe_root(position(KRR_V_KR), move, dtz), TB_NONE);
    EXPECT_EQ(tb_probe_root(position(KQ_V_K), move, dtz), TB_WIN);
}

TEST_F(TbInterface, RootRefusesImpossiblePositions) {
    init_and_capture(test::syzygy_dir());
    for (const char* fen : {"7Q/8/8/8/8/8/8/Kk6 w - - 0 1",      // kings side by side
                            "P7/8/8/8/8/8/8/K1k5 w - - 0 1",     // pawn on the last rank
                            "8/8/8/8/8/8/8/KQK1k3 w - - 0 1",    // two white kings
                            "8/8/8/8/8/8/8/K2Q1k2 w - - 0 1"}) { // the king not to move in check
        Move move = 1;
        int dtz   = 0;
        EXPECT_EQ(tb_probe_root(position(fen), move, dtz), TB_NONE) << fen;
        EXPECT_EQ(move, 0) << fen;
    }
}

TEST_F(TbInterface, RootResultFollowsTheFiftyMoveCounter) {
    init_and_capture(test::syzygy_dir());
    // A KRBvKR win that needs exactly 100 plies to the next zeroing move.
    Position& pos = position("8/8/8/4B1r1/5R2/8/8/k1K5 b - - 0 1");
    Move move;
    int dtz;
    EXPECT_EQ(tb_probe_root(pos, move, dtz), TB_LOSS);
    pos.rule50 = 1;
    EXPECT_EQ(tb_probe_root(pos, move, dtz), TB_BLESSED_LOSS);
    EXPECT_EQ(node("8/8/8/4B1r1/5R2/8/8/k1K5 b - - 0 1", 10), TB_LOSS);
}

// With 99 half-moves gone, any move that does not zero the counter draws at once: a cursed
// win's quiet moves are worth a draw, not the distance they would have kept.
TEST_F(TbInterface, QuietRootMovesAtTheFiftyMoveLimitDraw) {
    init_and_capture(test::syzygy_dir());
    const char* fen = "8/1K3R2/8/8/8/1Q6/3r4/6k1 w - - 0 1";
    RootProbe r;
    ASSERT_TRUE(probe_root(test::probe_position_from_fen(fen, 98), r));
    EXPECT_EQ(r.wdl, TB_CURSED_WIN);
    EXPECT_EQ(r.dtz, 3);
    ASSERT_TRUE(probe_root(test::probe_position_from_fen(fen, 99), r));
    EXPECT_EQ(r.wdl, TB_CURSED_WIN);
    EXPECT_EQ(r.dtz, 0);
    EXPECT_EQ(r.root_dtz, 3);
}

} // namespace
} // namespace tarn
