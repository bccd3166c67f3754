#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/notation.h"
#include "frontend/engine_process.h"
#include "frontend/run_settings.h"
#include "frontend/uci.h"
#include "search/search_state.h"
#include "support/test_support.h"
#include "tools/anepd.h"
#include "tools/batch_support.h"

namespace tarn {
namespace {

// White wins the queen with Rxd4; nothing is mated within four plies.
const std::string QUEEN_UP = "4k3/8/8/8/3q4/8/8/3RK3 w - -";

Move move_in(Position& pos, const char* text) {
    Move m = 0;
    EXPECT_TRUE(parse_move(pos, text, m, run_move_style())) << text;
    return m;
}

TEST(JudgeAnswer, AnyListedBestMoveCountsOnce) {
    test::ThreadDataHandle td;
    Position& pos    = test::set_fen(*td, "k7/8/6n1/8/8/8/8/K2Q2R1 w - -");
    EpdRecord record = parse_epd_record("k7/8/6n1/8/8/8/8/K2Q2R1 w - - bm Qg6 Rxg6;");
    const Move rxg6  = move_in(pos, "Rxg6");
    const Move qh5   = move_in(pos, "Qh5");
    EXPECT_EQ(judge_answer(pos, record, rxg6), 1);
    EXPECT_EQ(judge_answer(pos, record, qh5), 0);
    record.bm = "Rxg6, g1g6";
    EXPECT_EQ(judge_answer(pos, record, rxg6), 1);
    record.bm = "Zz9";
    EXPECT_EQ(judge_answer(pos, record, rxg6), 0);
}

TEST(JudgeAnswer, AvoidingTheListedMoveIsCorrect) {
    test::ThreadDataHandle td;
    Position& pos          = test::set_fen(*td, "k7/8/8/1Q6/8/8/1p6/7K w - -");
    const EpdRecord record = parse_epd_record("k7/8/8/1Q6/8/8/1p6/7K w - - am Qxb2;");
    EXPECT_EQ(judge_answer(pos, record, move_in(pos, "Qxb2")), 0);
    EXPECT_EQ(judge_answer(pos, record, move_in(pos, "Qc4")), 1);
    EXPECT_EQ(judge_answer(pos, record, move_in(pos, "Kg1")), 1);
    EpdRecord unreadable = record;
    unreadable.am        = "Qxb9";
    EXPECT_EQ(judge_answer(pos, unreadable, move_in(pos, "Qc4")), 0);
    EpdRecord neither = record;
    neither.am.clear();
    EXPECT_EQ(judge_answer(pos, neither, move_in(pos, "Qc4")), 0);
}

TEST(ScoreAnswer, CommentItemsGiveThePoints) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "4k3/8/8/8/8/8/P7/3Q3K w - -");
    const EpdRecord record =
        parse_epd_record("4k3/8/8/8/8/8/P7/3Q3K w - - c0 \"Qd2=10, Qe1=6, a3=3\";");
    int earned = 0, possible = 0;
    score_answer(pos, record, move_in(pos, "Qe1"), earned, possible);
    EXPECT_EQ(earned, 6);
    EXPECT_EQ(possible, 10);
    score_answer(pos, record, move_in(pos, "Qd2"), earned, possible);
    EXPECT_EQ(earned, 16);
    EXPECT_EQ(possible, 20);
    score_answer(pos, record, move_in(pos, "Kg1"), earned, possible);
    EXPECT_EQ(earned, 16);
    EXPECT_EQ(possible, 30);
    EpdRecord plain = record;
    plain.c0        = "\"a remark\"";
    score_answer(pos, plain, move_in(pos, "Qd2"), earned, possible);
    EXPECT_EQ(possible, 30);
}

using AnalyseEpd = test::BatchTool;

// Two right answers (bm, am), a wrong one, a scored comment and a record with a game result.
const std::string SUITE = "# remark\nshort\n" + QUEEN_UP + " bm Rxd4; id \"wins\";\n" + QUEEN_UP +
                          " am Rd2;\n" + QUEEN_UP + " 0 1 bm Ke2;\n" + QUEEN_UP +
                          " c0 \"Rxd4=10, Ke2=2\";\n" + QUEEN_UP + " gr 1.0; id \"kept\";\n";

std::vector<std::string> analyse(const std::string& input, const std::string& output, int depth) {
    test::StdoutCapture capture;
    analyse_epd_file(input, output, depth_limits(depth), dispatch_line);
    return test::output_lines(capture.take());
}

// The summary's figures that depend on the search are checked for their form and against
// each other; the counts are exact.
void expect_summary(const std::vector<std::string>& lines, std::size_t from, const char* correct,
                    const char* depth, const char* score, int records) {
    ASSERT_EQ(lines.size(), from + 9);
    EXPECT_EQ(lines[from], correct);
    const std::uint64_t nodes = std::strtoull(lines[from + 1].c_str() + 13, nullptr, 10);
    char expected[64];
    std::snprintf(expected, sizeof expected, "total nodes= %" PRIu64, nodes);
    EXPECT_EQ(lines[from + 1], expected);
    EXPECT_TRUE(test::like(lines[from + 2], "total time= #.# seconds")) << lines[from + 2];
    EXPECT_EQ(lines[from + 2].substr(lines[from + 2].find('.') + 3), " seconds"); // two places
    EXPECT_EQ(lines[from + 3], depth);
    std::snprintf(expected, sizeof expected, "avg nodes= %" PRIu64 ".0",
                  records ? nodes / static_cast<std::uint64_t>(records) : 0);
    EXPECT_EQ(lines[from + 4], expected);
    EXPECT_TRUE(test::like(lines[from + 5], "node_rate= #")) << lines[from + 5];
    EXPECT_EQ(lines[from + 6], records ? "avg bf= 2.00" : "avg bf= 0.00");
    EXPECT_EQ(lines[from + 7], score);
    EXPECT_EQ(lines[from + 8], "");
}

TEST_F(AnalyseEpd, PrintsTheSummaryAndOneResultPerPosition) {
    test::write_text_file(path("suite.epd"), SUITE);
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 4);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Analyzing " + path("suite.epd") + "...");
    expect_summary(lines, 1, "2 / 5 correct best moves", "avg depth= 4.0", "score= 10 / 10", 5);
    const std::vector<std::string> results = test::read_lines(path("result.epd"));
    ASSERT_EQ(results.size(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(test::like(results[i], QUEEN_UP + " bm d1d4; ce #;")) << results[i];
    EXPECT_TRUE(test::like(results[4], QUEEN_UP + " gr 1.0; id \"kept\"; sc #;")) << results[4];
}

TEST_F(AnalyseEpd, ShallowSearchesRunWithoutTheHashTable) {
    test::write_text_file(path("suite.epd"), SUITE);
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 3);
    EXPECT_EQ(search_state.use_hash, 0);
    expect_summary(lines, 1, "2 / 5 correct best moves", "avg depth= 3.0", "score= 10 / 10", 5);
}

TEST_F(AnalyseEpd, WritesAnalysisEpdByDefault) {
    test::write_text_file(path("suite.epd"), QUEEN_UP + " bm Rxd4;\n");
    analyse("suite.epd", "", 2);
    EXPECT_EQ(test::read_lines(path(ANALYSIS_FILE)).size(), 1u);
}

TEST_F(AnalyseEpd, QuitEndsTheRunAfterTheCurrentPosition) {
    test::write_text_file(path("suite.epd"), SUITE);
    input_->write("quit\n");
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 4);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(test::like(lines[1], "# / 1 correct best moves")) << lines[1];
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(run_settings.quit, 1);
}

TEST_F(AnalyseEpd, ClosedInputIsNoQuit) {
    test::write_text_file(path("suite.epd"), SUITE);
    input_->close_writer();
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 2);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "2 / 5 correct best moves");
}

TEST_F(AnalyseEpd, BadRecordsAreReportedAndSkipped) {
    test::write_text_file(path("suite.epd"), "8/8/8/8/8/8/8/8 w - - bm e4;\n" + QUEEN_UP +
                                                 " bm Rxd4; " + std::string(600, 'x') + ";\n");
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 2);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "info string line 1 has no valid position, skipped");
    EXPECT_EQ(lines[2], "info string line 2 is too long, skipped");
    expect_summary(lines, 3, "0 / 0 correct best moves", "avg depth= 0.0", "score= 0 / 0", 0);
}

TEST_F(AnalyseEpd, MissingInputAnalysesNothing) {
    const std::vector<std::string> lines = analyse(path("missing.epd"), "", 2);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "info string can't open " + path("missing.epd"));
    EXPECT_FALSE(std::filesystem::exists(path(ANALYSIS_FILE)));
}

TEST_F(AnalyseEpd, ReportsEachPositionWhenNotQuiet) {
    test::write_text_file(path("suite.epd"), QUEEN_UP + " bm Rxd4;\n");
    run_settings.noise                   = 0.0f;
    const std::vector<std::string> lines = analyse(path("suite.epd"), path("result.epd"), 2);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "pos= 1");
    EXPECT_EQ(lines[2], QUEEN_UP + " bm Rxd4;");
    EXPECT_GE(test::find_line(lines, "1 / 1 correct best moves"), 0);
    int move_lines = 0;
    for (const std::string& line : lines)
        move_lines += line.rfind("move= d1d4, time= ", 0) == 0;
    EXPECT_EQ(move_lines, 1);
}

// The tools search on a thread of their own that the clock check of the main loop leaves
// alone: a time per position must still end each search, or "-t" would never return.
TEST_F(AnalyseEpd, TimePerPositionEndsEachSearch) {
    test::write_text_file(path("suite.epd"),
                          std::string(START_FEN) + " bm e4;\n" + START_FEN + " bm d4;\n");
    const test::EngineRun run = test::run_engine(
        {"-anepd", path("suite.epd"), "-t", "0.2", "-hash", "1", "-o", path("out.epd")}, "");
    EXPECT_EQ(run.exit_status, 0);
    const std::vector<std::string> lines = test::output_lines(run.output);
    const int at = test::find_line(lines, "Analyzing " + path("suite.epd") + "...");
    ASSERT_GE(at, 0) << run.output;
    double depth = -1;
    for (std::size_t i = static_cast<std::size_t>(at); i < lines.size(); ++i)
        if (std::sscanf(lines[i].c_str(), "avg depth= %lf", &depth) == 1)
            break;
    EXPECT_GE(depth, 1);
    EXPECT_LT(depth, 40); // ended by the clock, not by the depth limit
    EXPECT_EQ(test::read_lines(path("out.epd")).size(), 2u);
}

TEST_F(AnalyseEpd, EngineRunsTheSuiteFromTheCommandLine) {
    test::write_text_file(path("suite.epd"), SUITE);
    const test::EngineRun run =
        test::run_engine({"-anepd", path("suite.epd"), "-d", "4", "-o", path("out.epd")}, "");
    EXPECT_EQ(run.exit_status, 0);
    const std::vector<std::string> lines = test::output_lines(run.output);
    const int at = test::find_line(lines, "Analyzing " + path("suite.epd") + "...");
    ASSERT_GE(at, 0) << run.output;
    expect_summary(lines, static_cast<std::size_t>(at) + 1, "2 / 5 correct best moves",
                   "avg depth= 4.0", "score= 10 / 10", 5);
    EXPECT_EQ(test::read_lines(path("out.epd")).size(), 5u);
}

} // namespace
} // namespace tarn
