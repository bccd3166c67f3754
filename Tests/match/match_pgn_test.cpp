// PGN as the runner writes and reads it: the tournament form, line layout, round trips, the
// reader's tolerance of what other programs write, and the engine's own games read back.

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "core/fen.h"
#include "match/match_support.h"
#include "match/pgn.h"
#include "match/rules.h"
#include "support/test_support.h"

namespace tarn {
namespace {

PgnGame sample_game() {
    PgnGame g;
    for (const char* tag : {"Event", "Site", "Date", "Round", "White", "Black"})
        pgn_set_tag(g, tag, "?");
    pgn_set_tag(g, "White", "Tarn \"dev\"");
    pgn_set_tag(g, "Result", "0-1");
    g.moves         = {{"f3", "+0.15/2 0.01s"},
                       {"e5", "-0.20/3 0.02s"},
                       {"g4", "-3.00/4 1.25s"},
                       {"Qh4#", "+M1/5 0.30s"}};
    g.final_comment = "Black mates";
    g.result        = "0-1";
    return g;
}

std::vector<PgnGame> read_all(const std::string& text, std::vector<std::string>* errors = nullptr) {
    std::istringstream in(text);
    std::vector<PgnGame> games;
    PgnGame game;
    std::string error;
    int line = 0;
    while (pgn_read(in, game, error, line)) {
        games.push_back(game);
        if (errors)
            errors->push_back(error);
    }
    return games;
}

TEST(MatchPgn, WritesTheTournamentForm) {
    const std::string text = pgn_write(sample_game());
    EXPECT_EQ(text, "[Event \"?\"]\n[Site \"?\"]\n[Date \"?\"]\n[Round \"?\"]\n"
                    "[White \"Tarn \\\"dev\\\"\"]\n[Black \"?\"]\n[Result \"0-1\"]\n\n"
                    "1. f3 {+0.15/2 0.01s} e5 {-0.20/3 0.02s} 2. g4 {-3.00/4 1.25s}\n"
                    "Qh4# {+M1/5 0.30s} {Black mates} 0-1\n\n");
}

TEST(MatchPgn, NumbersMovesFromTheFenTag) {
    PgnGame g;
    pgn_set_tag(g, "FEN", "4k3/8/8/8/8/8/4P3/4K3 b - - 0 41");
    g.moves                = {{"Kd8", ""}, {"e4", ""}, {"Kc7", ""}};
    g.result               = "*";
    const std::string text = pgn_write(g);
    EXPECT_NE(text.find("\n41... Kd8 42. e4 Kc7 *\n"), std::string::npos) << text;
}

TEST(MatchPgn, LinesStayShortAndNeverSplitAMoveFromItsComment) {
    PgnGame g = sample_game();
    g.moves.clear();
    for (int i = 0; i < 120; ++i)
        g.moves.push_back({i % 2 ? "Nf6" : "Nf3", "-12.34/25 10.25s"});
    const std::string text = pgn_write(g);
    std::istringstream lines(text);
    int movetext_lines = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), PGN_LINE_WIDTH) << line;
        if (line.empty() || line[0] == '[')
            continue;
        ++movetext_lines;
        EXPECT_NE(line[0], '{') << "a comment away from its move: " << line;
        const bool last = line.size() >= 3 && line.substr(line.size() - 3) == "0-1";
        EXPECT_TRUE(last || line.back() == '}') << "a move away from its comment: " << line;
    }
    EXPECT_GT(movetext_lines, 20);
}

TEST(MatchPgn, RoundTripKeepsTagsMovesAndComments) {
    const PgnGame g  = sample_game();
    const auto games = read_all(pgn_write(g) + pgn_write(g));
    ASSERT_EQ(games.size(), 2u);
    for (const PgnGame& back : games) {
        EXPECT_EQ(back.tags, g.tags);
        ASSERT_EQ(back.moves.size(), g.moves.size());
        for (std::size_t i = 0; i < g.moves.size(); ++i) {
            EXPECT_EQ(back.moves[i].san, g.moves[i].san);
            EXPECT_EQ(back.moves[i].comment, g.moves[i].comment);
        }
        EXPECT_EQ(back.final_comment, g.final_comment);
        EXPECT_EQ(back.result, "0-1");
    }
}

TEST(MatchPgn, ReaderSkipsWhatItDoesNotNeed) {
    const std::string text = "% a line for another program\n"
                             "[Event \"x\"]\n[Result \"1/2-1/2\"]\n\n"
                             "{before the moves} 1.e4 $1 e5!? (1... c5 {Sicilian} 2. Nf3) 2.Nf3 ; "
                             "rest of line\nNc6 3... a6 {odd number} 1/2-1/2\n"
                             "[Event \"y\"]\n\n1. d4 *\n";
    std::vector<std::string> errors;
    const auto games = read_all(text, &errors);
    ASSERT_EQ(games.size(), 2u);
    std::vector<std::string> sans;
    for (const PgnMove& m : games[0].moves)
        sans.push_back(m.san);
    EXPECT_EQ(sans, (std::vector<std::string>{"e4", "e5", "Nf3", "Nc6", "a6"}));
    EXPECT_EQ(games[0].moves[4].comment, "odd number");
    EXPECT_EQ(games[0].result, "1/2-1/2");
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(pgn_tag(games[1], "Event"), "y");
    EXPECT_EQ(games[1].moves.size(), 1u);
}

TEST(MatchPgn, DamagedGamesAreReportedNotFatal) {
    std::vector<std::string> errors;
    const auto games =
        read_all("[Event \"a\"\n\n1. e4 e5\n[Event \"b\"]\n\n1. d4 d5 1-0\n", &errors);
    ASSERT_EQ(games.size(), 2u);
    EXPECT_NE(errors[0].find("bad tag"), std::string::npos) << errors[0];
    EXPECT_EQ(games[0].moves.size(), 2u);
    EXPECT_EQ(errors[1], "");
    EXPECT_EQ(games[1].result, "1-0");
    EXPECT_TRUE(read_all("").empty());
}

// The engine games of Tests/data, replayed with the rules: every move legal and the count right.
class MatchPgnGames : public test::MatchTest {};

TEST_F(MatchPgnGames, EngineGamesReplayMoveByMove) {
    rules_setup(false);
    const std::vector<PgnGame> games = test::read_pgn_file(test::test_data_path(test::GAMES_FILE));
    ASSERT_EQ(games.size(), 36u);
    GameBoard board;
    std::string error;
    for (std::size_t g = 0; g < games.size(); ++g) {
        ASSERT_TRUE(board_set(board, std::string(START_FEN) + " 0 1", error));
        for (const PgnMove& m : games[g].moves) {
            const Move move = board_find_san(board, m.san);
            ASSERT_NE(move, NULL_MOVE) << "game " << g + 1 << ": " << m.san;
            EXPECT_EQ(board_san(board, move), m.san) << "game " << g + 1;
            board_play(board, move);
        }
        EXPECT_EQ(std::to_string(games[g].moves.size()), pgn_tag(games[g], "PlyCount"));
    }
    board_free(board);
}

} // namespace
} // namespace tarn
