#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "frontend/uci.h"
#include "search/search_state.h"
#include "tb/tb_probe.h"
#include "tools/batch_support.h"
#include "tools/epd.h"
#include "tools/scan_pgn.h"
#include "tools/tune_data.h"

namespace tarn {
namespace {

TEST(TuneLabels, WinProbabilityOfACentipawnValue) {
    EXPECT_DOUBLE_EQ(win_probability(0), 0.5);
    EXPECT_NEAR(win_probability(500), 1.0 / (1.0 + std::exp(-3.0)), 1e-12);
    EXPECT_NEAR(win_probability(-200) + win_probability(200), 1.0, 1e-12);
}

TEST(TuneLabels, ResultsThatContradictTheScoreAreFlagged) {
    EXPECT_TRUE(result_contradicts(0.0, win_probability(500))); // 0.95 > 0.75
    EXPECT_FALSE(result_contradicts(0.0, win_probability(150)));
    EXPECT_TRUE(result_contradicts(1.0, win_probability(-200))); // 0.23 < 0.25
    EXPECT_FALSE(result_contradicts(1.0, win_probability(-150)));
    EXPECT_TRUE(result_contradicts(0.5, win_probability(300))); // 0.86 > 0.85
    EXPECT_TRUE(result_contradicts(0.5, win_probability(-300)));
    EXPECT_FALSE(result_contradicts(0.5, win_probability(250)));
    EXPECT_FALSE(result_contradicts(0.7, win_probability(-900))); // only 0, 0.5 and 1 are judged
}

TEST(TuneLabels, ResultValueFormula) {
    EXPECT_EQ(result_value(0.5), 0);
    EXPECT_EQ(result_value(1.0), RESULT_VALUE_WIN);
    EXPECT_EQ(result_value(0.0), -RESULT_VALUE_WIN);
    EXPECT_EQ(result_value(0.999995), RESULT_VALUE_WIN);
    EXPECT_EQ(result_value(0.000005), -RESULT_VALUE_WIN);
    EXPECT_EQ(result_value(0.75), 183); // 166.67 * ln 3 = 183.1
    EXPECT_EQ(result_value(0.25), -183);
    // The value inverts the win probability, so a score without a result comes back.
    for (int cp : {-700, -100, 35, 400})
        EXPECT_NEAR(result_value(win_probability(cp)), cp, 1) << cp;
}

TEST(TuneLabels, ConversionOutputIsNamedAfterTheEpdInput) {
    EXPECT_EQ(training_file_name("data.txt"), "");
    EXPECT_EQ(training_file_name("games.epd"), "games.bin");
    EXPECT_EQ(training_file_name("/d/x.epd/set.epd"), "/d/x.epd/set.bin");
    EXPECT_EQ(training_file_name("a.epd.txt"), "a.bin.txt");
}

// A training record decoded byte by byte, independently of the writer.
struct Decoded {
    int board[64] = {};
    int side = 0, castling = 0, ep = 0, result = 0, first = 0, second = 0;
};

Decoded decode(const std::uint8_t* b) {
    Decoded d;
    for (int sq = 0; sq < 64; ++sq)
        d.board[sq] = sq % 2 ? b[sq / 2] >> 4 : b[sq / 2] & 15;
    d.side           = b[32] >> 4;
    d.castling       = b[32] & 15;
    d.ep             = b[33];
    const auto int16 = [&](int at) {
        return static_cast<int>(static_cast<std::int16_t>(b[at] | (b[at + 1] << 8)));
    };
    d.result = int16(34);
    d.first  = int16(36);
    d.second = int16(38);
    return d;
}

// The same fields read from FEN text: piece code = type + 8 * colour, a1 = 0.
Decoded from_fen(const std::string& fen) {
    Decoded d;
    std::size_t at = 0;
    for (int rank = 7, file = 0; at < fen.size() && fen[at] != ' '; ++at) {
        const char c = fen[at];
        if (c == '/') {
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            const char* type = std::strchr("PNBRQK", std::toupper(c));
            d.board[rank * 8 + file++] =
                static_cast<int>(type - "PNBRQK") + 1 + (std::islower(c) ? 8 : 0);
        }
    }
    d.side = fen[at + 1] == 'b';
    for (at += 3; fen[at] != ' '; ++at)
        d.castling |= fen[at] == 'K'   ? 1
                      : fen[at] == 'Q' ? 2
                      : fen[at] == 'k' ? 4
                      : fen[at] == 'q' ? 8
                                       : 0;
    ++at;
    d.ep = fen[at] == '-' ? 64 : (fen[at] - 'a') + 8 * (fen[at + 1] - '1');
    return d;
}

void expect_same_position(const Decoded& got, const Decoded& want, const std::string& line) {
    for (int sq = 0; sq < 64; ++sq)
        EXPECT_EQ(got.board[sq], want.board[sq]) << line << " square " << sq;
    EXPECT_EQ(got.side, want.side) << line;
    EXPECT_EQ(got.castling, want.castling) << line;
    EXPECT_EQ(got.ep, want.ep) << line;
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
    const std::string text = test::read_text(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

class TuneData : public test::BatchTool {
protected:
    std::vector<std::string> run_tuning(const std::string& text, int variant, int depth) {
        test::write_text_file(path("in.epd"), text);
        test::StdoutCapture capture;
        build_tuning_set(path("in.epd"), path("out.epd"), variant, depth_limits(depth),
                         dispatch_line);
        printed_ = test::output_lines(capture.take());
        return test::read_lines(path("out.epd"));
    }
    std::vector<std::uint8_t> convert(const std::string& name) {
        test::StdoutCapture capture;
        convert_training_data(path(name));
        printed_ = test::output_lines(capture.take());
        return read_bytes(path(training_file_name(name)));
    }
    std::vector<std::string> printed_;
};

const std::string START = START_FEN;

TEST_F(TuneData, ContradictingRecordsAreSkipped) {
    const std::vector<std::string> out =
        run_tuning(START + " ce 500; gr 0.0;\n" + START + " ce 20; gr 0.5;\n", 2, 2);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(test::like(out[0], START + " ce 20; sc #; gr 0.5;")) << out[0];
    EXPECT_EQ(printed_, (std::vector<std::string>{"Creating file " + path("out.epd"),
                                                  "info string found 0 tablebases", " n= 0"}));
}

// With tables found, a won or lost root is labelled beyond any evaluation.
TEST_F(TuneData, SearchLabelsTakeTheTablebaseResult) {
    if (!test::has_shared_data("syzygy"))
        GTEST_SKIP() << test::no_shared_data("syzygy");
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS,
                     test::shared_data("syzygy").c_str());
    const std::vector<std::string> out = run_tuning(
        "8/8/8/4k3/8/8/8/R3K3 w - - ce 500;\n8/8/8/4k3/8/8/8/R3K3 b - - ce -500;\n", 2, 2);
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, "");
    tb_init("");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(printed_[1], "info string found 0 tablebases");
    const auto score = [](const std::string& line) {
        return std::stoi(line.substr(line.find(" sc ") + 4));
    };
    EXPECT_GE(score(out[0]), TB_WIN_SCORE) << out[0];
    EXPECT_LE(score(out[1]), -TB_WIN_SCORE) << out[1];
}

TEST_F(TuneData, SearchLabelsSkipChecksAndQuiescenceGains) {
    const std::vector<std::string> out =
        run_tuning("4k3/8/8/8/3q4/8/8/3RK3 w - - ce 0;\n4k3/8/8/8/8/8/4r3/4K3 w - - ce 0;\n" +
                       START + " id \"plain\";\n",
                   2, 2);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(test::like(out[0], START + " sc #;")) << out[0];
}

TEST_F(TuneData, VariationEndsTakeTheLabelsFromTheMoversView) {
    const std::vector<std::string> out =
        run_tuning(START + " ce 20; gr 1.0;\n" + START + " ce 30;\n" + START + " gr 0.5;\n" +
                       START + " id \"none\";\n",
                   1, 1);
    ASSERT_EQ(out.size(), 4u);
    // One move deep: the quiet position after white's move, black to move.
    const std::string fen = "* b KQkq *";
    EXPECT_TRUE(test::like(out[0], fen + " ce -20; gr 0.0;")) << out[0];
    EXPECT_TRUE(test::like(out[1], fen + " ce -30;")) << out[1];
    EXPECT_TRUE(test::like(out[2], fen + " sc #; gr 0.5;")) << out[2];
    EXPECT_TRUE(test::like(out[3], fen + " sc #;")) << out[3];
}

TEST_F(TuneData, DrawnResultWrittenAsAScoreIsAHalfPoint) {
    const std::vector<std::string> out = run_tuning(START + " ce 20; gr 1/2-1/2;\n", 2, 2);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(test::like(out[0], START + " ce 20; sc #; gr 0.5;")) << out[0];

    test::write_text_file(path("draw.epd"),
                          START + " ce 35; gr 1/2-1/2;\n" + START + " ce 35; gr 1-0;\n");
    const std::vector<std::uint8_t> bytes = convert("draw.epd");
    ASSERT_EQ(bytes.size(), 2 * TRAINING_RECORD_BYTES);
    EXPECT_EQ(decode(bytes.data()).result, 0);
    EXPECT_EQ(decode(bytes.data() + TRAINING_RECORD_BYTES).result, RESULT_VALUE_WIN);
}

TEST_F(TuneData, InputIsNeverItsOwnOutput) {
    const std::string text = START + " ce 0;\n";
    test::write_text_file(path("set.epd"), text);
    test::StdoutCapture capture;
    build_tuning_set("set.epd", path("set.epd"), 1, depth_limits(1), dispatch_line);
    EXPECT_EQ(capture.take(),
              "info string " + path("set.epd") + " is the input file, nothing done\n");
    EXPECT_EQ(test::read_text(path("set.epd")), text);
}

TEST_F(TuneData, TablebasePathOfTheUserIsKept) {
    run_tuning(START + " ce 0;\n", 2, 1);
    EXPECT_STREQ(live_options.SyzygyPath, TBX_PATH);
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, "/data/syzygy");
    run_tuning(START + " ce 0;\n", 2, 1);
    EXPECT_STREQ(live_options.SyzygyPath, "/data/syzygy");
}

TEST_F(TuneData, QuitIsSeenAfterThe255thSearch) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += START + " ce 0;\n";
    input_->write("quit\n");
    EXPECT_EQ(run_tuning(text, 2, 1).size(), 255u);
}

TEST_F(TuneData, ConversionDecodesFieldByField) {
    const std::vector<std::string> records = {
        "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQq e3 0 3 ce 20; sc 15;",
        "4k3/8/8/8/8/8/8/4K2R w K - sc -300; gr 0.0;",
        "r3k2r/8/8/8/8/8/8/R3K2R w Qk - ce 35; gr 0.5;",
        "8/P7/8/8/8/8/7p/K6k b - - ce -1200; sc 31000; gr 1.0;"};
    std::string text = "# remark\n short\n8/8/8/8/8/8/8/K6k w - - gr 1.0; id \"no score\";\n";
    text += "8/8/8 w - - ce 5; id \"not a position\";\nK6k/8/8/8/8/8/8/8 w - - ce x1;\n";
    for (const std::string& r : records)
        text += r + "\n";
    test::write_text_file(path("set.epd"), text);
    const std::vector<std::uint8_t> bytes = convert("set.epd");
    ASSERT_EQ(bytes.size(), records.size() * TRAINING_RECORD_BYTES);
    const int first[4]  = {20, -300, 35, -1200};
    const int second[4] = {15, -300, 35, 31000};
    const int result[4] = {RESULT_VALUE_WIN, -RESULT_VALUE_WIN, 0, RESULT_VALUE_WIN};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Decoded d = decode(bytes.data() + i * TRAINING_RECORD_BYTES);
        expect_same_position(d, from_fen(records[i]), records[i]);
        EXPECT_EQ(d.first, first[i]);
        EXPECT_EQ(d.second, second[i]);
        if (i == 0)
            EXPECT_NEAR(d.result, 20, 1); // no result: the win probability of the score
        else
            EXPECT_EQ(d.result, result[i]);
    }
    EXPECT_EQ(printed_[0], "allocated 2 Mbytes for training data.");
    EXPECT_EQ(printed_[1], "reading positions from file " + path("set.epd") + ".");
    EXPECT_GE(test::find_line(printed_, "read 4 positions."), 0);
    EXPECT_GE(test::find_line(printed_, "stored 4 positions in " + path("set.bin") + "."), 0);
    EXPECT_FALSE(std::filesystem::exists(path("set.bin.part")));
}

// Positions the tablebases know take their result from them: a win or loss of the side to move
// and a draw override the game's result; cursed wins and blessed losses keep it.
TEST_F(TuneData, ConversionTakesKnownResultsFromTheTablebases) {
    for (const char* file : {"syzygy", "syzygy-oracle.tsv"})
        if (!test::has_shared_data(file))
            GTEST_SKIP() << test::no_shared_data(file);
    const std::vector<std::string> rows = test::read_lines(test::shared_data("syzygy-oracle.tsv"));
    ASSERT_GT(rows.size(), 800u) << "syzygy-oracle.tsv is missing or short";
    std::string text;
    std::vector<int> wdls;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::size_t tab = rows[i].find('\t');
        wdls.push_back(std::stoi(rows[i].substr(tab + 1)));
        text += rows[i].substr(0, tab) + " ce 0; gr 1.0;\n";
    }
    test::write_text_file(path("tb.epd"), text);
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS,
                     test::shared_data("syzygy").c_str());
    const std::vector<std::uint8_t> bytes = convert("tb.epd");
    copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, "");
    tb_init("");
    ASSERT_EQ(bytes.size(), wdls.size() * TRAINING_RECORD_BYTES);
    EXPECT_EQ(printed_[0].rfind("info string found ", 0), 0u) << printed_[0];
    int counts[5] = {};
    for (std::size_t i = 0; i < wdls.size(); ++i) {
        const int want = wdls[i] == -2 ? -RESULT_VALUE_WIN : wdls[i] == 0 ? 0 : RESULT_VALUE_WIN;
        EXPECT_EQ(decode(bytes.data() + i * TRAINING_RECORD_BYTES).result, want) << rows[i + 1];
        ++counts[wdls[i] + 2];
    }
    for (int c = 0; c < 5; ++c)
        EXPECT_GT(counts[c], 0) << "no oracle row with wdl " << c - 2;
}

TEST_F(TuneData, ConversionNeedsAnEpdName) {
    test::write_text_file(path("data.txt"), START + " ce 5;\n");
    test::StdoutCapture capture;
    convert_training_data(path("data.txt"));
    EXPECT_EQ(capture.take(),
              "info string " + path("data.txt") + " is not an .epd file, nothing done\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path("")))
        ++files;
    EXPECT_EQ(files, 1);
}

// Games to result labels, to search labels, to training records: every record decodes back to
// the position and labels of its line.
TEST_F(TuneData, SelfPlayGamesBecomeTrainingRecords) {
    const std::string games = test::test_data_head(test::GAMES_FILE, 60);
    ASSERT_FALSE(games.empty());
    test::write_text_file(path("games.pgn"), games);
    {
        test::StdoutCapture quiet;
        scan_pgn(path("games.pgn"), path("scan.epd"), 2);
    }
    {
        test::StdoutCapture quiet;
        build_tuning_set(path("scan.epd"), path("tune.epd"), 2, depth_limits(2), dispatch_line);
    }
    const std::vector<std::string> lines = test::read_lines(path("tune.epd"));
    ASSERT_GT(lines.size(), 20u);
    const std::vector<std::uint8_t> bytes = convert("tune.epd");
    ASSERT_EQ(bytes.size(), lines.size() * TRAINING_RECORD_BYTES);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(test::like(lines[i], "* * * * ce #; sc #; gr #.#;")) << lines[i];
        const EpdRecord r = parse_epd_record(lines[i]);
        const Decoded d   = decode(bytes.data() + i * TRAINING_RECORD_BYTES);
        expect_same_position(d, from_fen(r.position), lines[i]);
        EXPECT_EQ(d.first, std::atoi(r.ce.c_str())) << lines[i];
        EXPECT_EQ(d.second, std::atoi(r.sc.c_str())) << lines[i];
        const int expected = r.gr == "1.0"   ? RESULT_VALUE_WIN
                             : r.gr == "0.0" ? -RESULT_VALUE_WIN
                             : r.gr == "0.5" ? 0
                                             : -1; // no other result is written
        EXPECT_EQ(d.result, expected) << lines[i];
    }
}

} // namespace
} // namespace tarn
