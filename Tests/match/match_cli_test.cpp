// The runner's command line: the tournament managers' forms, what -each shares, the checks
// made before a match starts, and errors for anything it does not understand.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "match/cli.h"

namespace tarn {
namespace {

using Args = std::vector<std::string>;

// Parses args that must be accepted.
MatchConfig parsed(const Args& args) {
    MatchConfig config;
    bool has_seed = false;
    std::string error;
    EXPECT_TRUE(parse_match_args(args, config, has_seed, error)) << error;
    return config;
}

// The error message of args that must be refused.
std::string refusal(const Args& args) {
    MatchConfig config;
    bool has_seed = false;
    std::string error;
    EXPECT_FALSE(parse_match_args(args, config, has_seed, error));
    return error;
}

const Args TWO = {"-engine", "cmd=./tarn", "-engine", "cmd=/usr/games/stockfish", "name=SF"};

Args with(Args extra) {
    Args args = TWO;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(MatchCommandLine, EnginesAndWhatEachShares) {
    const MatchConfig c = parsed(
        {"-engine", "cmd=./tarn", "name=Tarn", "arg=-hash", "arg=1", "option.Hash=8",
         "option.Use NN=false", "tc=40/60+0.6", "-engine", "cmd=/usr/games/stockfish", "dir=/tmp",
         "nodes=5000", "option.Hash=64", "-each", "option.Hash=16", "timemargin=50", "depth=9"});
    ASSERT_EQ(c.engines.size(), 2u);
    const EngineConfig& a = c.engines[0];
    EXPECT_EQ(a.name, "Tarn");
    EXPECT_EQ(a.command, "./tarn");
    EXPECT_EQ(a.args, (Args{"-hash", "1"}));
    // The engine's own option wins over the shared one and keeps its place.
    ASSERT_EQ(a.options.size(), 2u);
    EXPECT_EQ(a.options[0], (std::pair<std::string, std::string>{"Hash", "8"}));
    EXPECT_EQ(a.options[1], (std::pair<std::string, std::string>{"Use NN", "false"}));
    EXPECT_TRUE(a.tc.has_clock);
    EXPECT_EQ(a.tc.moves, 40);
    EXPECT_DOUBLE_EQ(a.tc.margin, 0.05);
    EXPECT_EQ(a.tc.depth, 9);
    const EngineConfig& b = c.engines[1];
    EXPECT_EQ(b.name, "stockfish") << "named after the command when no name is given";
    EXPECT_EQ(b.dir, "/tmp");
    EXPECT_EQ(b.tc.nodes, 5000u);
    EXPECT_EQ(b.options[0].second, "64");
}

TEST(MatchCommandLine, MatchSettings) {
    bool has_seed = false;
    MatchConfig c;
    std::string error;
    ASSERT_TRUE(parse_match_args(with({"-each",
                                       "st=0.5",
                                       "-games",
                                       "10",
                                       "-rounds",
                                       "3",
                                       "-repeat",
                                       "-concurrency",
                                       "2",
                                       "-openings",
                                       "file=o.pgn",
                                       "format=pgn",
                                       "order=random",
                                       "plies=8",
                                       "start=5",
                                       "randomplies=3",
                                       "-pgnout",
                                       "file=out.pgn",
                                       "-epdout",
                                       "file=out.epd",
                                       "skipcheck=true",
                                       "-sprt",
                                       "elo0=-1.5",
                                       "elo1=3",
                                       "alpha=0.05",
                                       "beta=0.1",
                                       "-draw",
                                       "movenumber=40",
                                       "movecount=8",
                                       "score=10",
                                       "-resign",
                                       "movecount=3",
                                       "score=600",
                                       "twosided=false",
                                       "-maxmoves",
                                       "200",
                                       "-srand",
                                       "42",
                                       "-variant",
                                       "fischerandom",
                                       "-event",
                                       "Test",
                                       "-recover",
                                       "-strict"}),
                                 c, has_seed, error))
        << error;
    EXPECT_EQ(c.games, 10);
    EXPECT_EQ(c.rounds, 3);
    EXPECT_EQ(c.repeat, 2);
    EXPECT_EQ(c.concurrency, 2);
    EXPECT_EQ(c.openings.file, "o.pgn");
    EXPECT_EQ(c.openings.format, OPENINGS_PGN);
    EXPECT_TRUE(c.openings.random);
    EXPECT_EQ(c.openings.plies, 8);
    EXPECT_EQ(c.openings.start, 5);
    EXPECT_EQ(c.openings.random_plies, 3);
    EXPECT_EQ(c.pgn_file, "out.pgn");
    EXPECT_EQ(c.epd_out.file, "out.epd");
    EXPECT_TRUE(c.epd_out.skip_check);
    EXPECT_FALSE(c.epd_out.skip_mate);
    EXPECT_TRUE(c.sprt.on);
    EXPECT_DOUBLE_EQ(c.sprt.elo0, -1.5);
    EXPECT_DOUBLE_EQ(c.sprt.beta, 0.1);
    EXPECT_TRUE(c.draw.on);
    EXPECT_EQ(c.draw.move_number, 40);
    EXPECT_EQ(c.draw.move_count, 8);
    EXPECT_EQ(c.draw.score, 10);
    EXPECT_TRUE(c.resign.on);
    EXPECT_FALSE(c.resign.two_sided);
    EXPECT_EQ(c.max_moves, 200);
    EXPECT_TRUE(has_seed);
    EXPECT_EQ(c.seed, 42u);
    EXPECT_TRUE(c.chess960);
    EXPECT_EQ(c.event, "Test");
    EXPECT_TRUE(c.strict);
    EXPECT_FALSE(parsed(with({"-each", "depth=3"})).strict);
    EXPECT_DOUBLE_EQ(c.engines[0].tc.move_time, 0.5);

    EXPECT_EQ(parsed(with({"-each", "depth=3", "-repeat", "1"})).repeat, 1);
    EXPECT_EQ(parsed(with({"-each", "depth=3", "-pgnout", "plain.pgn"})).pgn_file, "plain.pgn");
    EXPECT_TRUE(
        parsed(with({"-each", "depth=3", "-resign", "movecount=3", "score=500"})).resign.two_sided)
        << "both engines confirm unless told otherwise";
}

TEST(MatchCommandLine, SameNamesAreMadeDistinct) {
    const MatchConfig c = parsed({"-engine", "cmd=./tarn", "-engine", "cmd=./tarn", "-engine",
                                  "cmd=./tarn", "-each", "nodes=100"});
    EXPECT_EQ(c.engines[0].name, "tarn");
    EXPECT_EQ(c.engines[1].name, "tarn-2");
    EXPECT_EQ(c.engines[2].name, "tarn-3");
}

TEST(MatchCommandLine, RefusesWhatItCannotUse) {
    const struct {
        Args args;
        const char* says;
    } cases[] = {
        {with({"-each", "depth=3", "-gmaes", "10"}), "unknown argument '-gmaes'"},
        {with({"-each", "depth=3", "colour=red"}), "unknown engine setting 'colour'"},
        {with({"-each", "depth=3", "cmd"}), "without '='"},
        {TWO, "has no limit"},
        {with({"-each", "tc=40/"}), "bad time control"},
        {with({"-each", "nodes=-5"}), "nodes"},
        {with({"-each", "depth=3", "-games", "many"}), "-games"},
        {with({"-each", "depth=3", "-concurrency", "0"}), "-concurrency"},
        {with({"-each", "depth=3", "-openings", "format=pgn"}), "file="},
        {with({"-each", "depth=3", "-openings", "file=a", "order=sorted"}), "order=sorted"},
        {with({"-each", "depth=3", "-sprt", "elo0=5", "elo1=0"}), "elo0 below elo1"},
        {with({"-each", "depth=3", "-sprt", "alpha=2"}), "alpha=2"},
        {with({"-each", "depth=3", "-draw", "score=10"}), "movecount"},
        {with({"-each", "depth=3", "-variant", "crazyhouse"}), "fischerandom"},
        {with({"-each", "depth=3", "-strict", "yes"}), "-strict takes no value"},
        {with({"-each", "depth=3", "-epdout", "skipmate=true"}), "file="},
        {with({"-each", "depth=3", "proto=xboard"}), "uci"},
        {{"-engine", "cmd=./tarn", "depth=3"}, "two -engine"},
        {{"-engine", "name=x", "depth=3", "-engine", "cmd=y", "depth=3"}, "no cmd="},
        {{"-engine", "cmd=a", "-engine", "cmd=b", "-engine", "cmd=c", "-each", "depth=1", "-sprt",
          "elo0=0", "elo1=5"},
         "exactly two"},
    };
    for (const auto& c : cases) {
        const std::string error = refusal(c.args);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

} // namespace
} // namespace tarn
