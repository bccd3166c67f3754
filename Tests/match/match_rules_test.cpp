// The runner's game rules: how games end on the board, which engine moves are accepted, the
// PGN move text, and the score rules for draw and resign adjudication.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "match/match_support.h"
#include "match/rules.h"
#include "search/thread_data.h"

namespace tarn {
namespace {

class MatchRules : public test::MatchTest {
protected:
    void SetUp() override {
        MatchTest::SetUp();
        rules_setup(false);
    }
    void TearDown() override {
        board_free(board_);
        MatchTest::TearDown();
    }
    // Sets the board; a FEN the rules refuse fails the test.
    void set(const std::string& fen) {
        std::string error;
        ASSERT_TRUE(board_set(board_, fen, error)) << error;
    }
    // Plays coordinate moves; one that is not legal fails the test.
    void play(const std::vector<std::string>& moves) {
        for (const std::string& text : moves) {
            const Move m = board_find_coord(board_, text);
            ASSERT_NE(m, NULL_MOVE) << text;
            board_play(board_, m);
        }
    }
    std::string san(const std::string& coord) {
        return board_san(board_, board_find_coord(board_, coord));
    }
    GameBoard board_;
};

TEST_F(MatchRules, CheckmateAndStalemateEndTheGame) {
    set(std::string(START_FEN) + " 0 1");
    play({"f2f3", "e7e5", "g2g4"});
    EXPECT_EQ(board_rule_end(board_), RULE_NONE);
    play({"d8h4"});
    EXPECT_EQ(board_rule_end(board_), RULE_CHECKMATE);

    set("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(board_rule_end(board_), RULE_STALEMATE);
}

TEST_F(MatchRules, ThirdRepetitionIsADraw) {
    set(std::string(START_FEN) + " 0 1");
    const std::vector<std::string> shuffle = {"g1f3", "g8f6", "f3g1", "f6g8"};
    play(shuffle);
    EXPECT_EQ(board_rule_end(board_), RULE_NONE) << "second occurrence";
    play(shuffle);
    EXPECT_EQ(board_rule_end(board_), RULE_REPETITION);
}

// After a double step the en-passant square makes a different position only when a pawn can
// take en passant.
TEST_F(MatchRules, EnPassantSquareCountsOnlyWhenTheCaptureIsLegal) {
    const std::vector<std::string> shuffle = {"g8f6", "g1f3", "f6g8", "f3g1"};
    set(std::string(START_FEN) + " 0 1");
    play({"e2e4"});
    play(shuffle);
    EXPECT_EQ(board_rule_end(board_), RULE_NONE) << "second occurrence";
    play(shuffle);
    EXPECT_EQ(board_rule_end(board_), RULE_REPETITION) << "no black pawn can take on e3";

    set("rnbqkbnr/pppppppp/8/4P3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2");
    play({"d7d5"});
    const std::vector<std::string> white_first = {"g1f3", "g8f6", "f3g1", "f6g8"};
    play(white_first);
    play(white_first);
    EXPECT_EQ(board_rule_end(board_), RULE_NONE) << "e5xd6 was possible only the first time";
    play(white_first);
    EXPECT_EQ(board_rule_end(board_), RULE_REPETITION);
}

TEST_F(MatchRules, FiftyMoveRuleUnlessTheLastMoveMates) {
    set("7k/8/8/8/8/8/8/K5R1 w - - 99 80");
    play({"g1g2"});
    EXPECT_EQ(board_rule_end(board_), RULE_FIFTY_MOVES);

    set("7k/8/6K1/8/8/8/8/R7 w - - 99 80");
    play({"a1a8"});
    EXPECT_EQ(board_rule_end(board_), RULE_CHECKMATE);

    set("7k/8/8/8/8/8/8/K5R1 w - - 98 80");
    play({"g1g2"});
    EXPECT_EQ(board_rule_end(board_), RULE_NONE);
}

TEST_F(MatchRules, InsufficientMaterial) {
    const struct {
        const char* fen;
        bool dead;
    } cases[] = {
        {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", true},      // bare kings
        {"8/8/4k3/8/8/3K4/5B2/8 w - - 0 1", true},    // one bishop
        {"8/8/4k3/8/8/3K4/5N2/8 b - - 0 1", true},    // one knight
        {"8/2b5/4k3/8/8/3K4/5B2/8 w - - 0 1", true},  // bishops on dark squares only
        {"8/8/2b1k3/8/8/3K4/5B2/8 w - - 0 1", false}, // bishops on both colours
        {"8/8/4k3/8/8/3K4/4NN2/8 w - - 0 1", false},  // two knights can mate with help
        {"8/8/4k3/8/8/3K4/4P3/8 w - - 0 1", false},   // a pawn
        {"8/8/4kn2/8/8/3K4/5B2/8 w - - 0 1", false},  // knight against bishop
    };
    for (const auto& c : cases) {
        set(c.fen);
        EXPECT_EQ(board_rule_end(board_) == RULE_MATERIAL, c.dead) << c.fen;
    }
}

TEST_F(MatchRules, EngineMovesMustBeExactCoordinateText) {
    set("4k3/P7/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_NE(board_find_coord(board_, "a7a8q"), NULL_MOVE);
    EXPECT_NE(board_find_coord(board_, "a7a8n"), NULL_MOVE);
    EXPECT_EQ(board_find_coord(board_, "a7a8"), NULL_MOVE) << "promotion without a piece";
    EXPECT_EQ(board_find_coord(board_, "a7a8Q"), NULL_MOVE);
    EXPECT_NE(board_find_coord(board_, "e1g1"), NULL_MOVE);
    EXPECT_EQ(board_find_coord(board_, "e1h1"), NULL_MOVE) << "king takes rook is Chess960 only";
    EXPECT_EQ(board_find_coord(board_, "e1e3"), NULL_MOVE);
    EXPECT_EQ(board_find_coord(board_, "0000"), NULL_MOVE);
    EXPECT_EQ(board_find_coord(board_, "xyzzy"), NULL_MOVE);
    EXPECT_EQ(board_find_coord(board_, ""), NULL_MOVE);
}

TEST_F(MatchRules, Chess960CastlingIsKingTakesRook) {
    rules_setup(true);
    set("bqrbkrnn/pppppppp/8/8/8/8/PPPPPPPP/BQRBKRNN w KQkq - 0 1");
    play({"g1h3", "g8h6", "g2g3", "g7g6"});
    const Move castle = board_find_coord(board_, "e1f1");
    ASSERT_NE(castle, NULL_MOVE);
    EXPECT_EQ(board_san(board_, castle), "O-O");
    EXPECT_EQ(board_find_coord(board_, "e1g1"), NULL_MOVE);
}

TEST_F(MatchRules, AlgebraicTextForPgn) {
    set("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(san("e1g1"), "O-O");
    EXPECT_EQ(san("e1c1"), "O-O-O");
    EXPECT_EQ(san("b7a8q"), "bxa8=Q+");
    EXPECT_EQ(san("b7b8n"), "b8=N");
    EXPECT_EQ(san("a1a8"), "Rxa8+");
    set(std::string(START_FEN) + " 0 1");
    play({"f2f3", "e7e5", "g2g4"});
    EXPECT_EQ(san("d8h4"), "Qh4#");
    // Reading takes what writing gives, with annotation marks.
    EXPECT_EQ(board_find_san(board_, "Qh4#!"), board_find_coord(board_, "d8h4"));
    EXPECT_EQ(board_find_san(board_, "Qh5"), board_find_coord(board_, "d8h5"));
    EXPECT_EQ(board_find_san(board_, "Qh9"), NULL_MOVE);
}

TEST_F(MatchRules, FenKeepsTheGamesMoveCounters) {
    set("4k3/8/8/8/8/8/4P3/4K3 b - - 7 31");
    EXPECT_EQ(board_fullmove(board_), 31);
    play({"e8d8", "e2e4"});
    EXPECT_EQ(board_fen(board_, true), "3k4/8/8/8/4P3/8/8/4K3 b - e3 0 32");
    EXPECT_EQ(board_fen(board_, false), "3k4/8/8/8/4P3/8/8/4K3 b - e3");
}

TEST_F(MatchRules, RefusesPositionsThatCannotBePlayed) {
    std::string error;
    EXPECT_FALSE(board_set(board_, "8/8/8/8/8/8/8/8 w - - 0 1", error)) << "no kings";
    EXPECT_FALSE(board_set(board_, "4k3/8/8/8/8/8/8/4K3 x - - 0 1", error)) << "no side";
    EXPECT_FALSE(board_set(board_, "4k3/8/8/8/8/8/8/4K3 w -", error)) << "three fields";
    EXPECT_FALSE(board_set(board_, "4k3/8/8/8/8/8/8/4K3 w - - x 1", error)) << "counter";
    EXPECT_FALSE(board_set(board_, "4k3/8/8/8/8/8/8/4RK2 w - - 0 1", error))
        << "side not to move in check";
    EXPECT_NE(error, "");
}

TEST_F(MatchRules, LongGamesOutgrowTheUndoStack) {
    // Knights out and back, 96 plies at a time, then a pawn step each to reset the counter.
    set(std::string(START_FEN) + " 0 1");
    const std::vector<std::string> pawns = {"a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "b7b6",
                                            "b3b4", "b6b5", "c2c3", "c7c6", "c3c4", "c6c5",
                                            "d2d3", "d7d6", "d3d4", "d6d5", "h2h3", "h7h6",
                                            "h3h4", "h6h5", "g2g3", "g7g6", "g3g4", "g6g5"};
    int played                           = 0;
    for (std::size_t p = 0; p + 1 < pawns.size(); p += 2) {
        for (int lap = 0; lap < 24; ++lap) {
            play({"g1f3", "g8f6", "f3g1", "f6g8"});
            played += 4;
        }
        EXPECT_EQ(board_rule_end(board_), RULE_REPETITION);
        play({pawns[p], pawns[p + 1]});
        played += 2;
        EXPECT_EQ(board_rule_end(board_), RULE_NONE);
    }
    EXPECT_GT(played, UNDO_RECORDS);
    EXPECT_EQ(board_.plies, played);
    EXPECT_EQ(board_fullmove(board_), 1 + played / 2);
}

// --- score rules ---

struct ScoreMove {
    int side;
    int score;
};

// Feeds moves to the score rules and returns the first verdict with the move's index.
ScoreVerdict first_verdict(const DrawRule& draw, const ResignRule& resign,
                           const std::vector<ScoreMove>& moves, int first_fullmove, int& at) {
    ScoreWatch watch;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const int fullmove = first_fullmove + static_cast<int>(i) / 2;
        const ScoreVerdict v =
            watch_score(watch, draw, resign, moves[i].side, true, moves[i].score, fullmove);
        if (v != VERDICT_NONE) {
            at = static_cast<int>(i);
            return v;
        }
    }
    at = -1;
    return VERDICT_NONE;
}

std::vector<ScoreMove> alternate(const std::vector<int>& scores) {
    std::vector<ScoreMove> moves;
    for (std::size_t i = 0; i < scores.size(); ++i)
        moves.push_back({static_cast<int>(i % 2), scores[i]});
    return moves;
}

TEST(MatchScoreRules, DrawAfterMoveCountQuietMovesFromMoveNumber) {
    const DrawRule draw{true, 40, 3, 10};
    int at = 0;
    // Six quiet plies from move 40: drawn at the sixth.
    EXPECT_EQ(first_verdict(draw, {}, alternate({5, -5, 10, -10, 0, 3}), 40, at), VERDICT_DRAW);
    EXPECT_EQ(at, 5);
    // One score outside the bound starts the count again.
    EXPECT_EQ(first_verdict(draw, {}, alternate({5, -5, 11, -10, 0, 3, 1}), 40, at), VERDICT_NONE);
    // Before the move number nothing is drawn.
    EXPECT_EQ(first_verdict(draw, {}, alternate({0, 0, 0, 0, 0, 0}), 30, at), VERDICT_NONE);
}

TEST(MatchScoreRules, ResignNeedsBothEnginesWhenTwoSided) {
    const ResignRule two_sided{true, 3, 500, true};
    int at = 0;
    // White sees itself lost but black does not agree: no verdict.
    EXPECT_EQ(first_verdict({}, two_sided, alternate({-600, 100, -600, 100, -600, 100}), 1, at),
              VERDICT_NONE);
    // Both agree for three moves each: black wins at black's third confirming move.
    EXPECT_EQ(first_verdict({}, two_sided, alternate({-600, 600, -700, 650, -800, 900}), 1, at),
              VERDICT_BLACK_WINS);
    EXPECT_EQ(at, 5);

    const ResignRule one_sided{true, 3, 500, false};
    EXPECT_EQ(first_verdict({}, one_sided, alternate({100, -600, 100, -600, 100, -600}), 1, at),
              VERDICT_WHITE_WINS);
    EXPECT_EQ(at, 5);
}

TEST(MatchScoreRules, MovesWithoutScoreBreakEveryRun) {
    const ResignRule resign{true, 2, 500, false};
    ScoreWatch watch;
    EXPECT_EQ(watch_score(watch, {}, resign, WHITE, true, -900, 1), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, BLACK, true, 0, 1), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, WHITE, false, 0, 2), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, BLACK, true, 0, 2), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, WHITE, true, -900, 3), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, BLACK, true, 0, 3), VERDICT_NONE);
    EXPECT_EQ(watch_score(watch, {}, resign, WHITE, true, -900, 4), VERDICT_BLACK_WINS);
}

TEST(MatchScoreRules, MateScoresCountAsLargeScores) {
    EXPECT_EQ(mate_to_cp(3), MATE_CP - 3);
    EXPECT_EQ(mate_to_cp(-2), -MATE_CP + 2);
    EXPECT_EQ(mate_to_cp(0), -MATE_CP);
}

} // namespace
} // namespace tarn
