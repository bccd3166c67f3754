#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <utility>

#include "core/fen.h"
#include "core/notation.h"
#include "support/test_support.h"
#include "tools/epd.h"

namespace tarn {
namespace {

TEST(EpdRecord, KeepsTheFourPositionFieldsAndTheSevenOperands) {
    const EpdRecord r = parse_epd_record(
        "r1b1k2r/pp3ppp/8/8/8/8/PPP2PPP/R3K2R w KQkq - bm Qg6 Rxg6; am Qxb2; ce 35; sc -12; "
        "gr 0.5; id \"test 1\"; c0 \"Qd2=10, Qe1=6\";");
    EXPECT_EQ(r.position, "r1b1k2r/pp3ppp/8/8/8/8/PPP2PPP/R3K2R w KQkq -");
    EXPECT_EQ(r.bm, "Qg6 Rxg6");
    EXPECT_EQ(r.am, "Qxb2");
    EXPECT_EQ(r.ce, "35");
    EXPECT_EQ(r.sc, "-12");
    EXPECT_EQ(r.gr, "0.5");
    EXPECT_EQ(r.id, "\"test 1\"");
    EXPECT_EQ(r.c0, "\"Qd2=10, Qe1=6\"");
}

TEST(EpdRecord, SkipsCountersAndOtherOpcodesAndStopsAtAnOpenItem) {
    EpdRecord r =
        parse_epd_record("8/8/8/8/8/8/8/K6k  b\t- e3 12 40 acd 20; c0 \"a;b\"; bm  Kb1 ;");
    EXPECT_EQ(r.position, "8/8/8/8/8/8/8/K6k b - e3");
    EXPECT_EQ(r.bm, "Kb1");
    EXPECT_EQ(r.c0, "\"a;b\"");
    EXPECT_TRUE(r.am.empty());
    r = parse_epd_record("8/8/8/8/8/8/8/K6k w - - ce 10; bm Kb2");
    EXPECT_EQ(r.ce, "10");
    EXPECT_TRUE(r.bm.empty());
    EXPECT_TRUE(parse_epd_record("").position.empty());
}

TEST(EpdNumbers, IntegersAndResultsAreReadStrictly) {
    int i = 0;
    EXPECT_TRUE(epd_int(" -35 ", i));
    EXPECT_EQ(i, -35);
    EXPECT_TRUE(epd_int("+12", i));
    EXPECT_EQ(i, 12);
    for (const char* bad : {"12x", "", "99999999999"})
        EXPECT_FALSE(epd_int(bad, i)) << bad;
    double r                                       = -1;
    const std::pair<const char*, double> results[] = {
        {"0.5", 0.5}, {"1-0", 1.0}, {"\"0-1\"", 0.0}, {"1/2-1/2", 0.5}};
    for (const auto& [text, value] : results) {
        EXPECT_TRUE(epd_result(text, r)) << text;
        EXPECT_EQ(r, value) << text;
    }
    for (const char* bad : {"1.5", "-0.1", "win"})
        EXPECT_FALSE(epd_result(bad, r)) << bad;
}

TEST(EpdLines, RemarksAndLineEnds) {
    EXPECT_TRUE(is_epd_remark("# comment"));
    EXPECT_TRUE(is_epd_remark("; comment"));
    EXPECT_TRUE(is_epd_remark(" indented"));
    EXPECT_FALSE(is_epd_remark("8/8/8/8/8/8/8/K6k w - -"));
    EXPECT_FALSE(is_epd_remark(""));
    std::istringstream in("first\r\nsecond\nlast");
    std::string line;
    ASSERT_TRUE(read_text_line(in, line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(read_text_line(in, line));
    EXPECT_EQ(line, "second");
    ASSERT_TRUE(read_text_line(in, line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(read_text_line(in, line));
}

TEST(EpdPositions, RejectsPositionsTheEngineCannotSearch) {
    test::ThreadDataHandle td;
    EXPECT_TRUE(set_epd_position(td->board.pos, "4k3/8/8/8/8/8/8/4K3 w - -"));
    EXPECT_FALSE(set_epd_position(td->board.pos, "8/8/8/8/8/8/8/4K3 w - -"));    // one king
    EXPECT_FALSE(set_epd_position(td->board.pos, "4k3/8/8/8/8/8/8/4K3R w - -")); // nine files
    EXPECT_FALSE(set_epd_position(td->board.pos, "4k2P/8/8/8/8/8/8/4K3 w - -")); // pawn on rank 8
    EXPECT_FALSE(set_epd_position(td->board.pos, "4k3/8/8/8/8/8/8/4R2K w - -")); // king en prise
    EXPECT_FALSE(set_epd_position(td->board.pos, ""));
}

TEST(EpdMoves, WrittenMovesMayCarryCheckMateAndAnnotationMarks) {
    test::ThreadDataHandle td;
    Position& pos =
        test::set_fen(*td, "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq -");
    Move m = 0, expected = 0;
    ASSERT_TRUE(parse_move(pos, "f3f7", expected, run_move_style()));
    EXPECT_TRUE(read_written_move(pos, "Qxf7#", m));
    EXPECT_EQ(m, expected);
    EXPECT_TRUE(read_written_move(pos, "Qxf7+!!", m));
    EXPECT_EQ(m, expected);
    EXPECT_TRUE(read_written_move(pos, "Qxf7?", m));
    EXPECT_EQ(m, expected);
    EXPECT_FALSE(read_written_move(pos, "Qxf8", m));
    EXPECT_FALSE(read_written_move(pos, "#", m));
}

} // namespace
} // namespace tarn
