// Whole matches: the scripted fake engine plays games to every kind of end (mate, crash,
// illegal move, no move, hang, failed start, adjudication) and the match goes on after each;
// the SPRT stops a match; Tarn behind wrapper scripts that end it mid-game or falsify its third
// move loses those games; and Tarn plays itself for a few moves a side at a tiny node count.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "match/match_support.h"
#include "match/rules.h"
#include "match/tournament.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using Script = std::vector<std::string>;

// Fool's mate, the game the fake engines play unless told otherwise.
const Script FOOLS_MATE = {"f2f3", "e7e5", "g2g4", "d8h4"};

class MatchGames : public test::MatchTest {
protected:
    // Plays a match between a and b with the settings of config, the PGN going to the
    // scratch directory, and reads the games back.
    MatchSummary play(const MatchConfig& settings, const EngineConfig& a, const EngineConfig& b,
                      int games) {
        MatchConfig config = settings;
        config.engines     = {a, b};
        config.games       = games;
        config.pgn_file    = dir_.file("games.pgn");
        config.quiet       = true;
        std::filesystem::remove(config.pgn_file); // the runner appends
        MatchSummary summary;
        std::string error;
        EXPECT_TRUE(run_match(config, summary, error)) << error;
        games_ = test::read_pgn_file(config.pgn_file);
        return summary;
    }
    MatchSummary play(const EngineConfig& a, const EngineConfig& b, int games) {
        return play(defaults_, a, b, games);
    }
    const std::string& tag(std::size_t game, const std::string& name) {
        EXPECT_LT(game, games_.size());
        tag_ = game < games_.size() ? pgn_tag(games_[game], name) : "";
        return tag_;
    }
    const MatchConfig defaults_;
    test::MatchDir dir_;
    std::vector<PgnGame> games_;
    std::string tag_;
};

TEST_F(MatchGames, ScriptedGameEndsInMate) {
    const MatchSummary s =
        play(test::fake_engine("A", FOOLS_MATE), test::fake_engine("B", FOOLS_MATE), 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(s.games_played, 2);
    // Black mates in both games: one win each.
    EXPECT_EQ(s.pairings[0].counts.wins, 1);
    EXPECT_EQ(s.pairings[0].counts.losses, 1);
    EXPECT_EQ(tag(0, "White"), "A");
    EXPECT_EQ(tag(1, "White"), "B");
    for (const PgnGame& g : games_) {
        EXPECT_EQ(g.result, "0-1");
        EXPECT_EQ(g.final_comment, "Black mates");
        EXPECT_EQ(pgn_tag(g, "Termination"), "normal");
        EXPECT_EQ(pgn_tag(g, "PlyCount"), "4");
        EXPECT_EQ(pgn_tag(g, "TimeControl"), "-");
        ASSERT_EQ(g.moves.size(), 4u);
        EXPECT_EQ(g.moves[3].san, "Qh4#");
        EXPECT_EQ(g.moves[3].comment.rfind("+0.15/2 ", 0), 0u) << g.moves[3].comment;
    }
}

TEST_F(MatchGames, CrashLosesAndTheEngineIsStartedAgain) {
    // White's copy of the crasher ends at its second move; as black it plays on to mate.
    const MatchSummary s = play(test::fake_engine("Crasher", {"f2f3", "e7e5", "crash", "d8h4"}),
                                test::fake_engine("Fake", FOOLS_MATE), 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(games_[0].result, "0-1");
    EXPECT_EQ(tag(0, "Termination"), "abandoned");
    EXPECT_EQ(games_[0].final_comment, "White disconnects");
    EXPECT_EQ(games_[1].result, "0-1");
    EXPECT_EQ(games_[1].final_comment, "Black mates");
    EXPECT_EQ(s.failures[0][FAILURE_CRASH], 1);
    EXPECT_EQ(failure_count(s), 1) << "counted for -strict";
    EXPECT_EQ(s.pairings[0].counts.wins, 1);
    EXPECT_EQ(s.pairings[0].counts.losses, 1);
}

TEST_F(MatchGames, IllegalAndMissingMovesLose) {
    play(test::fake_engine("Bad", {"f2f3", "e7e5", "e1e3"}), test::fake_engine("Fake", FOOLS_MATE),
         1);
    EXPECT_EQ(tag(0, "Termination"), "illegal move");
    EXPECT_EQ(games_[0].final_comment, "White makes an illegal move: e1e3");
    EXPECT_EQ(games_[0].result, "0-1");

    play(test::fake_engine("Fake", FOOLS_MATE), test::fake_engine("Mute", {"f2f3", "nomove"}), 1);
    EXPECT_EQ(tag(0, "Termination"), "illegal move");
    EXPECT_EQ(games_[0].final_comment, "Black sends no move");
    EXPECT_EQ(games_[0].result, "1-0");
}

TEST_F(MatchGames, HangLosesOnTimeOrStalls) {
    EngineConfig hang = test::fake_engine("Hang", {"f2f3", "e7e5", "hang"});
    hang.tc.nodes     = 0;
    hang.tc.move_time = 0.05;
    hang.tc.margin    = 0.05;
    EngineConfig fake = test::fake_engine("Fake", FOOLS_MATE);
    play(hang, fake, 1);
    EXPECT_EQ(tag(0, "Termination"), "time forfeit");
    EXPECT_EQ(games_[0].final_comment, "White loses on time");
    EXPECT_EQ(tag(0, "WhiteTimeControl"), "0.05/move");

    // Without a time limit the hang limit ends the wait.
    hang.tc              = TimeControl{};
    hang.tc.depth        = 3;
    hang.tc.hang_limit   = 0.1;
    const MatchSummary s = play(hang, fake, 1);
    EXPECT_EQ(tag(0, "Termination"), "stalled connection");
    EXPECT_EQ(games_[0].final_comment, "White does not answer");
    EXPECT_EQ(s.failures[0][FAILURE_TIME], 1);
}

TEST_F(MatchGames, EngineThatCannotStartLosesEveryGame) {
    EngineConfig missing = test::fake_engine("Missing", FOOLS_MATE);
    missing.command      = dir_.file("no-such-engine");
    missing.args.clear();
    const MatchSummary s = play(missing, test::fake_engine("Fake", FOOLS_MATE), 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(games_[0].final_comment, "White cannot play");
    EXPECT_EQ(games_[1].final_comment, "Black cannot play");
    EXPECT_EQ(tag(1, "Termination"), "abandoned");
    EXPECT_EQ(s.pairings[0].counts.losses, 2);
    EXPECT_EQ(s.failures[0][FAILURE_START], 2);
    EXPECT_EQ(failure_count(s), 2);
}

TEST_F(MatchGames, ResignAdjudication) {
    MatchConfig config;
    config.resign = ResignRule{true, 1, 500, true};
    // Black's reply scores -900 for itself and white's next move +900: black loses at once.
    const Script script = {"e2e4", "e7e5:-900", "d1h5:900", "g8f6", "h5f7"};
    play(config, test::fake_engine("A", script), test::fake_engine("B", script), 1);
    EXPECT_EQ(games_[0].result, "1-0");
    EXPECT_EQ(games_[0].final_comment, "White wins by adjudication");
    EXPECT_EQ(tag(0, "Termination"), "adjudication");
    EXPECT_EQ(tag(0, "PlyCount"), "3");
}

TEST_F(MatchGames, SessionFollowsTheProtocol) {
    const std::string log = dir_.file("engine.log");
    EngineConfig logged   = test::fake_engine("Logged", FOOLS_MATE);
    logged.args.insert(logged.args.begin() + 1, "--log=" + log);
    logged.options = {{"Hash", "8"}, {"NoSuchOption", "1"}};
    logged.tc      = TimeControl{};
    std::string error;
    ASSERT_TRUE(parse_clock_control("40/10+0.1", logged.tc, error));
    play(logged, test::fake_engine("Fake", FOOLS_MATE), 1);
    const std::vector<std::string> lines = test::read_lines(log);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "uci");
    EXPECT_EQ(lines[1], "setoption name Hash value 8");
    EXPECT_EQ(lines[2], "isready");
    EXPECT_EQ(lines[3], "ucinewgame");
    EXPECT_EQ(lines[4], "isready");
    EXPECT_EQ(lines[5], "position startpos");
    EXPECT_EQ(lines[6].rfind("go wtime 10000 btime ", 0), 0u) << lines[6];
    EXPECT_NE(lines[6].find(" winc 100 "), std::string::npos) << lines[6];
    EXPECT_NE(lines[6].find(" movestogo 40"), std::string::npos) << lines[6];
    EXPECT_EQ(lines[7], "position startpos moves f2f3 e7e5");
    EXPECT_NE(lines[8].find(" movestogo 39"), std::string::npos) << lines[8];
    EXPECT_EQ(lines.back(), "quit");
    EXPECT_EQ(tag(0, "WhiteTimeControl"), "40/10+0.1");
}

TEST_F(MatchGames, SprtStopsTheMatch) {
    // Every game is won by A: the fake B crashes on its first move.
    MatchConfig config;
    config.repeat        = 2;
    config.sprt          = SprtConfig{true, 0.0, 5.0, 0.05, 0.05};
    const MatchSummary s = play(config, test::fake_engine("A", FOOLS_MATE),
                                test::fake_engine("B", {"crash", "crash"}), 60);
    EXPECT_EQ(s.sprt_decision, SPRT_H1);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.games_played, 2 * SPRT_MIN_SAMPLES) << "the first pair that may decide does";
    EXPECT_EQ(s.pairings[0].counts.penta[4], SPRT_MIN_SAMPLES);
    EXPECT_GT(s.llr, 2.94);
}

// Tarn itself with a 1 MB table at a fixed number of nodes a move.
EngineConfig tarn_engine(const std::string& name, int nodes) {
    EngineConfig e;
    e.name     = name;
    e.command  = TARN_BINARY;
    e.options  = {{"Hash", "1"}};
    e.tc.nodes = nodes;
    return e;
}

TEST_F(MatchGames, TarnPlaysItselfFromOpenings) {
    const EngineConfig tarn = tarn_engine("Tarn", 200);
    EngineConfig low        = tarn;
    low.name                = "Tarn-sel0";
    low.options.push_back({"Selectivity", "0"});
    MatchConfig config;
    config.openings.file = test::test_data_path("openings-noob-50.txt");
    config.repeat        = 2;
    config.max_moves     = 6;
    config.concurrency   = 2;
    config.epd_out.file  = dir_.file("train.epd");
    const MatchSummary s = play(config, tarn, low, 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(s.games_played, 2);
    EXPECT_EQ(failure_count(s), 0);
    EXPECT_EQ(pairs_played(s.pairings[0].counts), 1);

    // Every game replays legally from its FEN tag, and both used the first opening.
    rules_setup(false);
    GameBoard board;
    std::string error;
    for (const PgnGame& g : games_) {
        EXPECT_EQ(pgn_tag(g, "FEN"),
                  "r1bqkbnr/p1p1pppp/1pn5/3p4/P2P4/7P/1PP1PPP1/RNBQKBNR w KQkq - 0 4");
        ASSERT_TRUE(board_set(board, pgn_tag(g, "FEN"), error)) << error;
        for (const PgnMove& m : g.moves) {
            const Move move = board_find_san(board, m.san);
            ASSERT_NE(move, NULL_MOVE) << m.san;
            board_play(board, move);
        }
        EXPECT_EQ(pgn_tag(g, "PlyCount"), std::to_string(g.moves.size()));
    }
    board_free(board);
    // One training line per engine move, in the engine's EPD form.
    const std::vector<std::string> train = test::read_lines(config.epd_out.file);
    EXPECT_EQ(train.size(), games_[0].moves.size() + games_[1].moves.size());
    for (const std::string& line : train) {
        EXPECT_NE(line.find(" ce "), std::string::npos) << line;
        const std::size_t gr = line.find("; gr ");
        ASSERT_NE(gr, std::string::npos) << line;
        const std::string r = line.substr(gr + 5);
        EXPECT_TRUE(r == "1.0;" || r == "0.5;" || r == "0.0;") << line;
    }
}

// Tarn behind a shell wrapper that passes its output through and, at the third best move,
// either kills it and ends (the engine vanishes mid-game) or sends an illegal move instead.
EngineConfig wrapped_tarn(const test::MatchDir& dir, const std::string& name, bool crash) {
    const std::string script = dir.file(name + ".sh"), fifo = dir.file(name + ".out");
    std::ofstream(script) << "rm -f '" << fifo << "'; mkfifo '" << fifo
                          << "'\n"
                          // A background job reads /dev/null unless given another
                          // descriptor of standard input.
                          << "exec 3<&0\n"
                          << "\"" << TARN_BINARY << "\" <&3 >'" << fifo << "' &\n"
                          << "engine=$!\n"
                          << "n=0\n"
                          << "while IFS= read -r line; do\n"
                          << "    case $line in \"bestmove \"*) n=$((n + 1));; esac\n"
                          << "    if [ \"$n\" -eq 3 ]; then\n"
                          << (crash ? "        kill -9 $engine; exit 0\n"
                                    : "        line=\"bestmove e1e5\"; n=4\n")
                          << "    fi\n"
                          << "    printf '%s\\n' \"$line\"\n"
                          << "done <'" << fifo << "'\n";
    EngineConfig e = tarn_engine(name, 300);
    e.command      = "/bin/sh";
    e.args         = {script};
    return e;
}

TEST_F(MatchGames, WrappedTarnThatVanishesOrCheatsLosesAndTheMatchGoesOn) {
    const EngineConfig tarn = tarn_engine("Tarn", 300);
    MatchConfig config;
    config.repeat = 2;

    MatchSummary s = play(config, wrapped_tarn(dir_, "Vanisher", true), tarn, 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(games_[0].final_comment, "White disconnects");
    EXPECT_EQ(games_[1].final_comment, "Black disconnects");
    EXPECT_EQ(tag(1, "Termination"), "abandoned");
    EXPECT_EQ(s.failures[0][FAILURE_CRASH], 2) << "restarted for the second game";
    EXPECT_EQ(failure_count(s), 2);

    s = play(config, wrapped_tarn(dir_, "Cheat", false), tarn, 2);
    ASSERT_EQ(games_.size(), 2u);
    EXPECT_EQ(games_[0].final_comment, "White makes an illegal move: e1e5");
    EXPECT_EQ(games_[1].final_comment, "Black makes an illegal move: e1e5");
    EXPECT_EQ(tag(0, "Termination"), "illegal move");
    EXPECT_EQ(s.failures[0][FAILURE_ILLEGAL], 2);
    EXPECT_EQ(s.failures[1][FAILURE_ILLEGAL] + s.failures[1][FAILURE_CRASH], 0);
}

} // namespace
} // namespace tarn
