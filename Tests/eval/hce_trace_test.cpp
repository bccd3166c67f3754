#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "eval/eval_support.h"
#include "eval/hce.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class HceTrace : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    test::ThreadDataHandle td;
    int root_qsearch = 0; // the last search's root quiescence score the trace shows

    std::vector<std::string> trace_lines(const char* fen, int mode) {
        test::set_fen(*td, fen);
        testing::internal::CaptureStdout();
        hce_evaluate_traced(td->board.pos, td->eval, td->board.pos.side, mode, root_qsearch);
        std::istringstream in(testing::internal::GetCapturedStdout());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
};

TEST_F(HceTrace, PrintsSectionsWithoutMaterialAndASummary) {
    root_qsearch     = 17;
    const auto lines = trace_lines("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 1);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "           white  black");
    EXPECT_EQ(lines[1].substr(0, 12), "pawns:      ");
    EXPECT_EQ(lines[1].substr(12), lines[1].substr(12, 4) + "   " + lines[1].substr(12, 4));
    EXPECT_EQ(lines[9], "special:      30      0");
    EXPECT_EQ(lines[10], "nne= 0, hce= 30, qscore= 17, mtl= 0, phase= 1.00, sf= 1.00, rule50= 0");
    EXPECT_EQ(lines[11], "");
}

TEST_F(HceTrace, ListsHangingPieces) {
    const auto lines =
        trace_lines("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 1);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[10], "hung pieces on:  c3 a6");
}

TEST_F(HceTrace, FullModeListsParametersAndTables) {
    const auto lines = trace_lines("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 2);
    ASSERT_EQ(lines.size(), 12u + 75u + 13u * 10u);
    EXPECT_EQ(lines[12], "mtl_pawn                 100 ,  100");
    EXPECT_EQ(lines[12 + 36], "hung_minor               -64 ,  -58");
    EXPECT_EQ(lines[12 + 43], "ttune                      0 ,    0");
    EXPECT_EQ(lines[87], "Pawn1");
    EXPECT_EQ(lines[89], "  77  68  70  74  64  32   5  -9       62  75  64  42  32  24  33  20");
    EXPECT_EQ(lines[87 + 10 * 12], "King");
}

} // namespace
} // namespace tarn
