// Opening files: EPD lines and PGN games played through on the board, refused lines reported
// with their place, the order of use, and the Chess960 start positions.

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "match/match_support.h"
#include "match/openings.h"
#include "match/rules.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class MatchOpenings : public test::MatchTest {
protected:
    void SetUp() override {
        MatchTest::SetUp();
        rules_setup(false);
    }
    // Loads a file; a file that cannot be read fails the test.
    std::vector<Opening> load(const std::string& path, int format, int plies = 0) {
        OpeningsConfig config;
        config.file   = path;
        config.format = format;
        config.plies  = plies;
        std::vector<Opening> openings;
        std::string error;
        warnings_.clear();
        EXPECT_TRUE(load_openings(config, openings, warnings_, error)) << error;
        return openings;
    }
    std::vector<std::string> warnings_;
};

const std::string DATA = TARN_TEST_DATA_DIR;

TEST_F(MatchOpenings, EpdLinesAreCheckedAndBadOnesReported) {
    const auto openings = load(DATA + "/match_openings.epd", OPENINGS_EPD);
    ASSERT_EQ(openings.size(), 3u);
    EXPECT_EQ(openings[0].fen, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(openings[1].fen, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    EXPECT_EQ(openings[2].fen, "rnbqkb1r/pppppppp/5n2/8/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_TRUE(openings[0].moves.empty());
    ASSERT_EQ(warnings_.size(), 4u);
    // Each refusal names the line.
    const char* lines[] = {":4: ", ":5: ", ":6: ", ":7: "};
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(warnings_[static_cast<std::size_t>(i)].find(lines[i]), std::string::npos)
            << warnings_[static_cast<std::size_t>(i)];
    EXPECT_NE(warnings_[3].find("already over"), std::string::npos) << warnings_[3];
}

TEST_F(MatchOpenings, PgnGamesGiveTheirMoves) {
    const auto openings = load(DATA + "/match_openings.pgn", OPENINGS_PGN);
    ASSERT_EQ(openings.size(), 3u);
    EXPECT_EQ(openings[0].moves, (std::vector<std::string>{"e2e4", "e7e5", "g1f3", "b8c6", "f1b5",
                                                           "a7a6", "b5a4", "g8f6"}));
    EXPECT_EQ(openings[0].sans[4], "Bb5");
    EXPECT_EQ(openings[1].fen, "4k3/8/8/8/8/8/4P3/4K3 b - - 0 30");
    EXPECT_EQ(openings[1].moves, (std::vector<std::string>{"e8d7", "e2e4", "d7e6"}));
    EXPECT_EQ(openings[2].moves, (std::vector<std::string>{"d2d4", "d7d5", "c2c4"}));
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("game 2"), std::string::npos) << warnings_[0];
    EXPECT_NE(warnings_[0].find("Ke3"), std::string::npos) << warnings_[0];

    const auto short_ones = load(DATA + "/match_openings.pgn", OPENINGS_PGN, 2);
    EXPECT_EQ(short_ones[0].moves, (std::vector<std::string>{"e2e4", "e7e5"}));
}

TEST_F(MatchOpenings, RealOpeningFilesLoadWhole) {
    for (const char* file : {"openings-uho-50.txt", "openings-noob-50.txt"}) {
        EXPECT_EQ(load(test::test_data_path(file), OPENINGS_EPD).size(), 50u) << file;
        EXPECT_TRUE(warnings_.empty()) << file;
    }
}

TEST_F(MatchOpenings, MissingOrEmptyFilesAreErrors) {
    OpeningsConfig config;
    std::vector<Opening> openings;
    std::string error;
    config.file = DATA + "/no_such_file.epd";
    EXPECT_FALSE(load_openings(config, openings, warnings_, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    // A PGN file read as EPD has no playable line.
    config.file = DATA + "/match_openings.pgn";
    EXPECT_FALSE(load_openings(config, openings, warnings_, error));
    EXPECT_NE(error.find("no playable opening"), std::string::npos);
}

TEST(MatchOpeningOrder, SequentialRandomAndStart) {
    EXPECT_EQ(opening_order(4, false, 1, 1), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(opening_order(4, false, 1, 3), (std::vector<int>{2, 3, 0, 1}));
    const std::vector<int> a = opening_order(50, true, 7, 1);
    EXPECT_EQ(a, opening_order(50, true, 7, 1)) << "a seed gives one order";
    EXPECT_NE(a, opening_order(50, true, 8, 1));
    std::vector<int> sorted = a;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, opening_order(50, false, 0, 1)) << "a permutation";
    EXPECT_TRUE(opening_order(0, true, 1, 1).empty());
}

TEST(MatchOpeningOrder, Chess960StartPositions) {
    EXPECT_EQ(chess960_fen(518), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(chess960_fen(0), "bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w KQkq - 0 1");
    EXPECT_EQ(chess960_fen(959), "rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w KQkq - 0 1");
    std::set<std::string> distinct;
    for (int i = 0; i < CHESS960_POSITIONS; ++i)
        distinct.insert(chess960_fen(i));
    EXPECT_EQ(distinct.size(), 960u);
}

class MatchChess960 : public test::MatchTest {};

TEST_F(MatchChess960, EveryStartPositionIsPlayable) {
    rules_setup(true);
    GameBoard board;
    std::string error;
    for (int i = 0; i < CHESS960_POSITIONS; ++i) {
        ASSERT_TRUE(board_set(board, chess960_fen(i), error)) << i << ": " << error;
        // 16 pawn moves, one or two per knight, and castling where king and rook stand
        // side by side next to the corner.
        const std::size_t moves = board_legal_moves(board).size();
        EXPECT_TRUE(moves >= 18 && moves <= 21) << chess960_fen(i);
    }
    board_free(board);
}

TEST_F(MatchOpenings, RandomPliesAreLegalRepeatableAndVaryWithTheSeed) {
    Opening base;
    base.fen   = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    base.moves = {"e2e4"};
    base.sans  = {"e4"};
    std::set<std::vector<std::string>> lines;
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const Opening a = extend_opening(base, 4, seed);
        EXPECT_EQ(a.fen, base.fen);
        ASSERT_EQ(a.moves.size(), 5u);
        ASSERT_EQ(a.sans.size(), 5u);
        EXPECT_EQ(a.moves[0], "e2e4");
        EXPECT_EQ(extend_opening(base, 4, seed).moves, a.moves) << "same seed, same moves";
        // Every move is legal where it is played, and its two texts agree.
        GameBoard board;
        std::string error;
        ASSERT_TRUE(board_set(board, a.fen, error)) << error;
        for (std::size_t i = 0; i < a.moves.size(); ++i) {
            const Move m = board_find_coord(board, a.moves[i]);
            ASSERT_NE(m, NULL_MOVE) << a.moves[i];
            EXPECT_EQ(board_san(board, m), a.sans[i]);
            board_play(board, m);
        }
        board_free(board);
        lines.insert(a.moves);
    }
    EXPECT_GT(lines.size(), 15u) << "random plies hardly vary with the seed";
    EXPECT_EQ(extend_opening(base, 0, 7).moves, base.moves);
}

TEST_F(MatchOpenings, RandomPliesNeverEndTheGame) {
    // Black's only move is Kg8, after which White has mates (Qc8#, Qb1-b8#...) and stalemates
    // among few moves; the extension stops before any move that would end the game.
    Opening base;
    base.fen = "7k/8/6K1/8/8/8/8/5Q2 b - - 0 1";
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const Opening a = extend_opening(base, 6, seed);
        GameBoard board;
        std::string error;
        ASSERT_TRUE(board_set(board, a.fen, error)) << error;
        for (const std::string& text : a.moves)
            board_play(board, board_find_coord(board, text));
        EXPECT_EQ(board_rule_end(board), RULE_NONE);
        EXPECT_FALSE(board_legal_moves(board).empty());
        board_free(board);
    }
}

} // namespace
} // namespace tarn
