#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "core/fen.h"
#include "frontend/engine_process.h"
#include "support/test_support.h"
#include "tools/batch_support.h"
#include "tools/epd.h"
#include "tools/scan_pgn.h"

namespace tarn {
namespace {

TEST(CommentEvaluation, ScoreDepthPairsAreWhitesViewUnlessTheSiteFlagIsSet) {
    EXPECT_EQ(comment_evaluation("+0.35/12 0.4s", false, false), 35);
    EXPECT_EQ(comment_evaluation("+0.35/12 0.4s", true, false), 35);
    EXPECT_EQ(comment_evaluation("+0.35/12 0.4s", true, true), -35);
    EXPECT_EQ(comment_evaluation("+0.35/12 0.4s", false, true), 35);
    EXPECT_EQ(comment_evaluation("-1.20/9", false, false), -120);
}

TEST(CommentEvaluation, BookMatesAndRounding) {
    EXPECT_EQ(comment_evaluation("book", true, true), 0);
    EXPECT_EQ(comment_evaluation("-M5/20 0.1s", false, false), -EVAL_MATE);
    EXPECT_EQ(comment_evaluation("+M3/15", false, false), EVAL_MATE);
    EXPECT_EQ(comment_evaluation("+M3/15", true, true), -EVAL_MATE);
    EXPECT_EQ(comment_evaluation("+0.57/9", false, false), 57);
    EXPECT_EQ(comment_evaluation("-0.29/9", false, false), -29);
    EXPECT_EQ(comment_evaluation("+999.00/9", false, false), EVAL_LIMIT);
}

TEST(CommentEvaluation, EvalWordsAreTheMoversView) {
    EXPECT_EQ(comment_evaluation("eval 120, depth 5", false, false), 120);
    EXPECT_EQ(comment_evaluation("eval 120, depth 5", true, false), -120);
    EXPECT_EQ(comment_evaluation("eval -45", true, true), 45);
}

TEST(CommentEvaluation, TextsWithoutAScoreAreUnreadable) {
    EXPECT_EQ(comment_evaluation("eval ", true, false), EVAL_UNREADABLE);
    EXPECT_EQ(comment_evaluation("a plain remark", false, false), EVAL_UNREADABLE);
    EXPECT_EQ(comment_evaluation("+1/5", true, true), EVAL_UNREADABLE);
    EXPECT_EQ(comment_evaluation("/5", false, false), EVAL_UNREADABLE);
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The knight game: white Nf3/Ng1, black Nf6/Ng8, over and over. Its moves, and the position
// before each (board, side, castling, en passant), by ply modulo 4.
const char* const KNIGHT_MOVES[4]     = {"Nf3", "Nf6", "Ng1", "Ng8"};
const char* const KNIGHT_POSITIONS[4] = {START_FEN,
                                         "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq -",
                                         "rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq -",
                                         "rnbqkb1r/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"};

// The knight game with one comment per ply.
std::string knight_game(const std::vector<std::string>& comments, const char* result,
                        const std::string& extra_tags = "") {
    std::string text = "[Event \"t\"]\n[Site \"?\"]\n[Round \"1\"]\n" + extra_tags + "[Result \"" +
                       result + "\"]\n\n";
    for (std::size_t k = 0; k < comments.size(); ++k) {
        if (k % 2 == 0)
            text += std::to_string(k / 2 + 1) + ". ";
        text += KNIGHT_MOVES[k % 4];
        text += comments[k].empty() ? " " : " {" + comments[k] + "} ";
        if (k % 6 == 5)
            text += "\n";
    }
    return text + result + "\n\n";
}

// The position before ply of the knight game, with both move counters at ply as the best-move
// labels write them.
std::string knight_position(int ply) {
    const std::string count = std::to_string(ply);
    return std::string(KNIGHT_POSITIONS[ply % 4]) + " " + count + " " + count;
}

// The result label of ply of the knight game: the mover's score and result.
std::string knight_result_label(int ply, int ce, const char* result) {
    return std::string(KNIGHT_POSITIONS[ply % 4]) + " ce " + std::to_string(ce) + "; gr " + result +
           ";";
}

// The best-move label of ply of the knight game with the mover's score.
std::string knight_best_move_label(int ply, int ce) {
    return knight_position(ply) + " bm " + KNIGHT_MOVES[ply % 4] + "; ce " + std::to_string(ce) +
           ";";
}

std::vector<std::string> score_comments(const std::vector<int>& centipawns) {
    std::vector<std::string> comments;
    for (int cp : centipawns) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.2f/10 0.1s", cp / 100.0);
        comments.push_back(text);
    }
    return comments;
}

class ScanPgn : public test::BatchTool {
protected:
    // Scans text as a PGN file with one variant; returns the lines of the output file.
    std::vector<std::string> scan(const std::string& text, int variant) {
        test::write_text_file(path("games.pgn"), text);
        test::StdoutCapture capture;
        scan_pgn(path("games.pgn"), path("out.epd"), variant);
        printed_ = test::output_lines(capture.take());
        return test::read_lines(path("out.epd"));
    }
    // Lists 30 plies of the knight game whose score comments are 0.00 but for the given
    // (ply, centipawns) pairs; the mistakes the listing marks are left in mistakes_.
    std::vector<std::string> listing(const std::vector<std::pair<int, int>>& ply_evals) {
        std::vector<int> evals(30, 0);
        for (const auto& [ply, cp] : ply_evals)
            evals[ply] = cp;
        const std::vector<std::string> out = scan(knight_game(score_comments(evals), "1-0"), 1);
        mistakes_                          = test::read_lines(path(SCAN_MISTAKES_FILE));
        return out;
    }
    std::vector<std::string> printed_;
    std::vector<std::string> mistakes_;
};

TEST_F(ScanPgn, ResultLabelsAreFromTheSideToMove) {
    const std::vector<std::string> out =
        scan(knight_game(score_comments({50, 20, 40, 30, 10, 60, 70, 80, 90, 15}), "0-1"), 2);
    // Ten plies; the last four get no label.
    ASSERT_EQ(out.size(), 7u);
    EXPECT_EQ(out[0], knight_result_label(0, 50, "0.0"));
    EXPECT_EQ(out[1], knight_result_label(1, -20, "1.0"));
    EXPECT_EQ(out[2], knight_result_label(2, 40, "0.0"));
    EXPECT_EQ(out[5], knight_result_label(5, -60, "1.0"));
    EXPECT_EQ(out[6], "");
    EXPECT_EQ(printed_.back(), "games= 1, positions= 6");
    EXPECT_TRUE(std::filesystem::exists(path(SCAN_MISTAKES_FILE)));
}

TEST_F(ScanPgn, DrawnGamesLabelEveryPositionAHalf) {
    const std::vector<std::string> out = scan(
        knight_game(score_comments({5, -5, 10, -10, 15, -15, 5, 5, 5, 5, 5, 5}), "1/2-1/2"), 2);
    ASSERT_EQ(out.size(), 9u);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(ends_with(out[i], " gr 0.5;")) << out[i];
}

TEST_F(ScanPgn, ResultLabelFilters) {
    // Book moves (0.00 in the first 20 plies), moves without a score and unfinished games give
    // no labels; a forfeited game is skipped altogether.
    std::vector<std::string> comments = score_comments({0, 0, 30, 30, 30, 30, 30, 30, 30, 30});
    comments[0]                       = "book";
    comments[3]                       = "";
    comments[4]                       = "a remark";
    std::string text                  = knight_game(comments, "1-0");
    text += knight_game(score_comments({30, 30, 30, 30, 30, 30, 30, 30}), "*");
    text += knight_game(score_comments({30, 30, 30, 30, 30, 30, 30, 30}), "1-0",
                        "[Termination \"time forfeit\"]\n");
    const std::vector<std::string> out = scan(text, 2);
    ASSERT_EQ(out.size(), 3u); // plies 2 and 5 (the others are filtered) and the line feed
    EXPECT_EQ(out[0], knight_result_label(2, 30, "1.0"));
    EXPECT_EQ(out[1], knight_result_label(5, -30, "0.0"));
    EXPECT_EQ(printed_.back(), "games= 2, positions= 2");
}

TEST_F(ScanPgn, BestMovesUntilTheGameIsDecided) {
    const std::vector<std::string> out =
        scan(knight_game(score_comments({10, 20, 600, 30, 40}), "1-0"), 3);
    EXPECT_EQ(out, (std::vector<std::string>{knight_best_move_label(0, 10),
                                             knight_best_move_label(1, -20),
                                             knight_best_move_label(2, 600), ""}));
}

TEST_F(ScanPgn, BestMovesSkipChecksAndReadMateMarks) {
    const std::string mate   = "[Event \"m\"]\n[Result \"1-0\"]\n\n1. e4 {+0.10/5} e5 {+0.10/5} "
                               "2. Bc4 {+0.20/5} Nc6 {+0.10/5} 3. Qh5 {+0.30/5} Nf6 {+4.00/5} "
                               "4. Qxf7# {+M1/5} 1-0\n";
    const std::string checks = "[Event \"c\"]\n[Result \"1-0\"]\n\n1. e4 {+0.10/5} d5 {+0.10/5} "
                               "2. Bb5+ {+0.10/5} c6 {+0.10/5} 3. Bxc6+ {+0.10/5} "
                               "Nxc6 {+0.10/5} 4. Nf3 {+0.10/5} 1-0\n";
    const std::vector<std::string> out = scan(mate + checks, 3);
    ASSERT_EQ(out.size(), 13u); // seven plies, five of the other game, the line feed
    EXPECT_EQ(out[6], "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 6 bm "
                      "Qxf7#; ce 9000;");
    EXPECT_TRUE(ends_with(out[10], " bm Bxc6+; ce 10;")) << out[10];
    EXPECT_TRUE(ends_with(out[11], " bm Nf3; ce 10;")) << out[11];
}

TEST_F(ScanPgn, RookEndingsWithOnePawn) {
    const std::vector<std::string> out =
        scan("[Event \"r\"]\n[Result \"1-0\"]\n[FEN \"r7/8/4k3/8/8/4K3/4P3/7R w - - 0 1\"]\n\n"
             "1. Kd3 {+1.00/9} Kd5 {+0.80/9} 2. Ke3 1-0\n",
             4);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], "r7/8/4k3/8/8/4K3/4P3/7R w - - 0 0 bm Kd3; ce 100; tune 1.00000;");
    EXPECT_EQ(out[1], "r7/8/4k3/8/8/3K4/4P3/7R b - - 1 1 bm Kd5; ce -80; tune 0.00000;");
    EXPECT_EQ(out[2], "r7/8/8/3k4/8/3K4/4P3/7R w - - 2 2 bm Ke3; tune 1.00000;");
}

TEST_F(ScanPgn, GamesWithoutAKnownResultGiveNoResultLabels) {
    const std::string ending = "[FEN \"r7/8/4k3/8/8/4K3/4P3/7R w - - 0 1\"]\n\n"
                               "1. Kd3 {+1.00/9} Kd5 {+0.80/9} 2. Ke3 {+0.50/9} Ke5 {+0.50/9} ";
    for (const char* result : {"*", "?"}) {
        const std::string text =
            std::string("[Event \"r\"]\n[Result \"") + result + "\"]\n" + ending + result + "\n";
        EXPECT_EQ(scan(text, 4), std::vector<std::string>{""}) << result;
        EXPECT_EQ(scan(knight_game(score_comments({10, 20, 30, 40, 50, 60, 70, 80}), result), 2),
                  std::vector<std::string>{""})
            << result;
    }
}

TEST_F(ScanPgn, TabsSeparateMovesAndComments) {
    const std::vector<std::string> out =
        scan("[Event \"t\"]\n[Result \"1-0\"]\n\n1.\tNf3\t{+0.10/5}\tNf6\t{+0.20/5}\t1-0\n", 3);
    EXPECT_EQ(out, (std::vector<std::string>{knight_best_move_label(0, 10),
                                             knight_best_move_label(1, -20), ""}));
}

TEST_F(ScanPgn, VariationsAndLineCommentsAreNotMoves) {
    const std::vector<std::string> out =
        scan("[Event \"v\"]\n[Result \"1-0\"]\n\n1. Nf3 {+0.10/5} (1. e4 {+0.90/5} e5) Nf6 "
             "{+0.20/5} ; 2. Nc3 {+5.00/5} a remark\n2. Ng1 {+0.30/5} 1-0\n",
             3);
    EXPECT_EQ(out, (std::vector<std::string>{knight_best_move_label(0, 10),
                                             knight_best_move_label(1, -20),
                                             knight_best_move_label(2, 30), ""}));
}

TEST_F(ScanPgn, ListingMarksMistakesOfEitherSide) {
    // Black's ply 13 lets white's evaluation rise for good; white's ply 16 lets black's rise.
    const std::vector<std::string> out =
        listing({{14, 100}, {16, 100}, {20, 100}, {17, -150}, {19, -150}, {23, -150}});
    ASSERT_EQ(mistakes_.size(), 2u);
    EXPECT_EQ(mistakes_[0], knight_position(14) + " bm Ng1;");
    EXPECT_EQ(mistakes_[1], knight_position(17) + " bm Nf6;");
    ASSERT_GE(out.size(), 5u + 30u);
    EXPECT_EQ(out[2], "[Round \"1\"]");
    EXPECT_EQ(out[3], "[Tag \"game_0\"]");
    EXPECT_EQ(out[4], "[Result \"1-0\"]");
    EXPECT_EQ(out[5], "  1.  Nf3     {  0.00}");
    EXPECT_EQ(out[6], "      Nf6     {  0.00}");
    EXPECT_EQ(out[5 + 13], "      Nf6     {  0.00 ? " + knight_position(13) + " am Nf6;}");
    EXPECT_EQ(out[5 + 14], "  8.  Ng1     {  1.00 ! " + knight_position(14) + " bm Ng1;}");
    EXPECT_EQ(out[5 + 16], "  9.  Nf3     {  1.00 ? " + knight_position(16) + " am Nf3;}");
    EXPECT_EQ(out[5 + 17], "      Nf6     {  1.50 ! " + knight_position(17) + " bm Nf6;}");
    EXPECT_EQ(out[5 + 18], " 10.  Ng1     {  0.00}");
    // The count covers labelled positions only, and a listing labels none.
    EXPECT_EQ(printed_.back(), "games= 1, positions= 0");
}

TEST_F(ScanPgn, ListingLeavesAGoodMoveOfWhiteUnmarked) {
    // After white's ply 16 white's evaluation rises for good: a rise in white's own view is no
    // mistake of white's, so nothing is marked.
    const std::vector<std::string> out = listing({{17, 150}, {19, 150}, {23, 150}});
    EXPECT_TRUE(mistakes_.empty());
    for (const std::string& line : out)
        EXPECT_EQ(line.find(" ? "), std::string::npos) << line;
    ASSERT_GE(out.size(), 5u + 30u);
    EXPECT_EQ(out[5 + 16], "  9.  Nf3     {  0.00}");
}

TEST_F(ScanPgn, MovesBeyondTheLimitAreIgnored) {
    const std::vector<std::string> out =
        scan(knight_game(std::vector<std::string>(SCAN_MAX_PLIES + 9), "1/2-1/2"), 1);
    int moves = 0;
    for (const std::string& line : out)
        moves += line.size() > 5 && line[5] == ' ' && line[6] == 'N';
    EXPECT_EQ(moves, SCAN_MAX_PLIES);
}

TEST_F(ScanPgn, AnOpenCommentEndsWithItsGame) {
    const std::string broken = "[Event \"a\"]\n[Result \"1-0\"]\n\n1. Nf3 {+0.10/5 Nf6 {\n";
    const std::vector<std::string> out =
        scan(broken + knight_game(score_comments({10, 20, 30, 40, 50, 60}), "1-0"), 2);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], knight_result_label(0, 10, "1.0"));
}

TEST_F(ScanPgn, UnreadableMovesEndTheirGameOnly) {
    const std::string bad = "[Event \"a\"]\n[Result \"1-0\"]\n\n1. Nf3 {+0.10/5} Ke5 {+0.10/5} "
                            "2. Nc3 {+0.10/5} 1-0\n";
    const std::vector<std::string> out =
        scan(bad + knight_game(score_comments({10, 20, 30, 40, 50, 60}), "1-0"), 3);
    ASSERT_EQ(out.size(), 8u); // one from the first game, six from the second, the line feed
    EXPECT_EQ(out[1], knight_best_move_label(0, 10));
}

TEST_F(ScanPgn, MissingFileWritesNothing) {
    test::StdoutCapture capture;
    scan_pgn(path("none.pgn"), "", 2);
    EXPECT_EQ(capture.take(), "info string can't open " + path("none.pgn") + "\n");
    EXPECT_FALSE(std::filesystem::exists(path(SCAN_FILE)));
    EXPECT_FALSE(std::filesystem::exists(path(SCAN_MISTAKES_FILE)));

    // A directory opens as an empty stream on some systems: named, and nothing written either.
    const std::string folder = path("games");
    std::filesystem::create_directory(folder);
    test::StdoutCapture again;
    scan_pgn(folder, "", 2);
    EXPECT_EQ(again.take(), "info string can't open " + folder + ": it is a directory\n");
    EXPECT_FALSE(std::filesystem::exists(path(SCAN_FILE)));
}

TEST_F(ScanPgn, SelfPlayGamesGiveOneLabelPerQualifyingPosition) {
    const std::string games = test::test_data_head(test::GAMES_FILE, 200);
    ASSERT_FALSE(games.empty());
    const std::vector<std::string> out = scan(games, 2);
    ASSERT_GT(out.size(), 50u);
    test::ThreadDataHandle td;
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        ASSERT_TRUE(test::like(out[i], "* * * * ce #; gr #.#;")) << out[i];
        const EpdRecord record = parse_epd_record(out[i]);
        EXPECT_TRUE(set_epd_position(td->board.pos, record.position)) << out[i];
        EXPECT_LT(std::abs(std::atoi(record.ce.c_str())), EVAL_VALID_LIMIT);
        EXPECT_TRUE(record.gr == "0.0" || record.gr == "0.5" || record.gr == "1.0") << out[i];
    }
    EXPECT_EQ(out.back(), "");
}

} // namespace
} // namespace tarn
