#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "frontend/game_record.h"
#include "frontend/run_settings.h"
#include "frontend/switches.h"
#include "search/search_state.h"
#include "tools/tune_data.h"

namespace tarn {
namespace {

// Every switch test starts from the start-up defaults and leaves them behind.
class Switches : public ::testing::Test {
protected:
    void SetUp() override { write_startup_defaults(); }
    void TearDown() override { write_startup_defaults(); }

    static SwitchResult parse(std::initializer_list<const char*> args) {
        std::vector<const char*> argv{"tarn"};
        argv.insert(argv.end(), args.begin(), args.end());
        const int argc = static_cast<int>(argv.size());
        argv.push_back(nullptr);
        return parse_switches(argc, argv.data());
    }

    // Parses args and returns what they left in field, a field of the process-wide records.
    template <class T> static T after(std::initializer_list<const char*> args, const T& field) {
        parse(args);
        return field;
    }

    // Parses args with the time mode cleared first, so that the test sees whether they set it.
    static void parse_timed(std::initializer_list<const char*> args) {
        game_limits.time_mode = 0;
        parse(args);
    }
};

// The state that any switch may change, as one comparable text.
std::string switch_state(const SwitchResult& r) {
    const RunSettings& rs  = run_settings;
    const EngineOptions& o = live_options;
    const SearchLimits& sl = game_limits;
    return "mode " + std::to_string(r.run_mode) + " inline " + std::to_string(r.bench_inline) +
           " exit " + std::to_string(r.exit_status) + " protocol " +
           std::to_string(rs.protocol_mode) + " noise " + std::to_string(rs.noise) + " nn " +
           std::to_string(rs.use_nn) + " in '" + rs.input_file + "' pgn '" + rs.pgn_file +
           "' out '" + rs.output_file + "' count " + std::to_string(rs.tune_count) + " hash " +
           std::to_string(o.Hash) + " threads " + std::to_string(o.Threads) + " log " +
           std::to_string(o.Log) + " limit " + std::to_string(o.UCI_LimitStrength) + " elo " +
           std::to_string(o.UCI_Elo) + " cfg '" + o.ConfigFilePath + "' book '" + o.OwnBook_File +
           "' tb '" + o.SyzygyPath + "' depth " + std::to_string(sl.max_depth) + " tmode " +
           std::to_string(sl.time_mode) + " mtime " + std::to_string(sl.move_time) + " nodes " +
           std::to_string(sl.node_limit) + " nps " + std::to_string(search_state.target_nps);
}

TEST_F(Switches, NoSwitchesRunTheEngineOverUci) {
    const SwitchResult r = parse({});
    EXPECT_EQ(r.run_mode, RUN_ENGINE);
    EXPECT_EQ(r.exit_status, -1);
    EXPECT_EQ(run_settings.protocol_mode, PROTOCOL_UCI);
    EXPECT_EQ(live_options.Hash, 64);
    EXPECT_EQ(live_options.Threads, 1);
}

TEST_F(Switches, LaterProtocolSwitchWins) {
    EXPECT_EQ(after({"-uci", "-c"}, run_settings.protocol_mode), PROTOCOL_CONSOLE);
    EXPECT_EQ(after({"-c", "-uci"}, run_settings.protocol_mode), PROTOCOL_UCI);
}

TEST_F(Switches, LaterValueOverridesEarlierOne) {
    EXPECT_EQ(after({"-hash", "10", "-threads", "3", "-hash", "20"}, live_options.Hash), 20);
    EXPECT_EQ(live_options.Threads, 3);
    EXPECT_EQ(after({"-use_hce", "-use_nn"}, run_settings.use_nn), 1);
    EXPECT_EQ(after({"-use_nn", "-use_hce"}, run_settings.use_nn), 0);
}

TEST_F(Switches, AreWholeCaseSensitiveWords) {
    const std::string before = switch_state(parse({}));
    const SwitchResult r = parse({"-C", "-HASH", "5", "-hash5", "--hash", "7", "-Bench", "-benchx",
                                  "bench", "-cf", "x", "-quiet2", "-d1"});
    EXPECT_EQ(switch_state(r), before);
}

TEST_F(Switches, BenchAloneIsTheSignatureBenchmark) {
    const std::string signature = switch_state(parse({"-pbench", "-d", "12"}));
    const SwitchResult r        = parse({"bench"});
    EXPECT_EQ(switch_state(r), signature);
    EXPECT_TRUE(r.bench_summary);
    EXPECT_FALSE(parse({"-pbench", "-d", "12"}).bench_summary);
    // Among other arguments the word is ignored, as any unknown argument is.
    EXPECT_EQ(parse({"bench", "-hash", "1"}).run_mode, RUN_ENGINE);
    EXPECT_EQ(parse({"-c", "bench"}).run_mode, RUN_ENGINE);
}

TEST_F(Switches, UnknownArgumentsAreIgnored) {
    const SwitchResult r = parse({"hello", "-frobnicate", "-hash", "32", "--", "-c"});
    EXPECT_EQ(live_options.Hash, 32);
    EXPECT_EQ(run_settings.protocol_mode, PROTOCOL_CONSOLE);
    EXPECT_EQ(r.run_mode, RUN_ENGINE);
    EXPECT_EQ(r.exit_status, -1);
}

// A value word is tested against the switches below the one that took it, never those above.
TEST_F(Switches, ValueWordIsTestedAgainstLaterSwitchesOnly) {
    SwitchResult r = parse({"-hash", "-bench"});
    EXPECT_EQ(live_options.Hash, 0);
    EXPECT_EQ(r.run_mode, RUN_BENCH);

    r = parse({"-o", "-mkconfig"});
    EXPECT_STREQ(run_settings.output_file, "-mkconfig");
    EXPECT_EQ(r.run_mode, RUN_MKCONFIG);

    // "-c" sits above "-hash" in the table, so as the hash value it selects nothing.
    parse({"-hash", "-c"});
    EXPECT_EQ(live_options.Hash, 0);
    EXPECT_EQ(run_settings.protocol_mode, PROTOCOL_UCI);
}

TEST_F(Switches, HashIsClampedToItsRange) {
    EXPECT_EQ(after({"-hash", "100000"}, live_options.Hash), HASH_MAX_MB);
    EXPECT_EQ(after({"-hash", "-5"}, live_options.Hash), 0);
    EXPECT_EQ(after({"-hash", "256"}, live_options.Hash), 256);
    EXPECT_EQ(after({"-hash", "junk"}, live_options.Hash), 0);
}

TEST_F(Switches, ThreadsAreClampedToTheirRange) {
    EXPECT_EQ(after({"-threads", "0"}, live_options.Threads), 1);
    EXPECT_EQ(after({"-threads", "500"}, live_options.Threads), THREADS_MAX);
    EXPECT_EQ(after({"-threads", "7"}, live_options.Threads), 7);
}

// A request far beyond the largest size must still give the largest size, not wrap around.
TEST_F(Switches, ValuesBeyondIntRangeClampToTheMaximum) {
    EXPECT_EQ(after({"-hash", "4294967296"}, live_options.Hash), HASH_MAX_MB);
    EXPECT_EQ(after({"-threads", "4294967296"}, live_options.Threads), THREADS_MAX);
}

TEST_F(Switches, DepthLimitsDepthAndSetsAFixedMoveTime) {
    parse_timed({"-d", "70"});
    EXPECT_EQ(game_limits.max_depth, 66);
    EXPECT_EQ(game_limits.time_mode, TIME_FIXED_MOVE);
    EXPECT_DOUBLE_EQ(game_limits.move_time, 10000.0);
    EXPECT_EQ(after({"-d", "12"}, game_limits.max_depth), 12);
}

TEST_F(Switches, TimeAndNodeLimits) {
    parse_timed({"-t", "2.5"});
    EXPECT_EQ(game_limits.time_mode, TIME_FIXED_MOVE);
    EXPECT_DOUBLE_EQ(game_limits.move_time, 2.5);

    parse_timed({"-n", "100000"});
    EXPECT_EQ(game_limits.node_limit, 100000u);
    EXPECT_EQ(game_limits.time_mode, TIME_FIXED_MOVE);
    EXPECT_DOUBLE_EQ(game_limits.move_time, 1000.0);

    EXPECT_EQ(after({"-n", "-3"}, game_limits.node_limit), 0u);
}

TEST_F(Switches, TargetSpeedLimitsStrengthAndPrintsTheElo) {
    test::StdoutCapture capture;
    parse({"-nps", "20015"});
    const std::string printed = capture.take();
    EXPECT_EQ(printed, "Elo= 2623\n");
    EXPECT_EQ(live_options.UCI_LimitStrength, 1);
    EXPECT_EQ(live_options.UCI_Elo, 2623);
    EXPECT_DOUBLE_EQ(search_state.target_nps, 20015.0);
}

TEST_F(Switches, TinyTargetSpeedGivesTheLowestElo) {
    test::StdoutCapture capture;
    const int low = after({"-nps", "10"}, live_options.UCI_Elo);
    EXPECT_EQ(after({"-nps", "16"}, live_options.UCI_Elo), low);
    EXPECT_GT(after({"-nps", "1000"}, live_options.UCI_Elo), low);
}

TEST_F(Switches, LoggingAndQuietness) {
    EXPECT_EQ(after({"-log"}, live_options.Log), 1);
    EXPECT_FLOAT_EQ(after({"-log", "-noise", "3.5"}, run_settings.noise), 3.5f);
    parse({"-log", "-noise", "3.5", "-quiet"});
    EXPECT_EQ(live_options.Log, 0);
    EXPECT_FLOAT_EQ(run_settings.noise, NOISE_SILENT);
}

TEST_F(Switches, PathsAndFiles) {
    parse({"-cfg", "my.cfg", "-book", "b.bin", "-tbpath", "/tb", "-o", "out.txt"});
    EXPECT_STREQ(live_options.ConfigFilePath, "my.cfg");
    EXPECT_STREQ(live_options.OwnBook_File, "b.bin");
    EXPECT_STREQ(live_options.SyzygyPath, "/tb");
    EXPECT_STREQ(run_settings.output_file, "out.txt");
    parse({"-tbpath", "/tb", "-tbx"});
    EXPECT_STREQ(live_options.SyzygyPath, TBX_PATH);
}

TEST_F(Switches, LongTextIsCutToItsField) {
    const std::string long_text(400, 'x');
    parse({"-cfg", long_text.c_str()});
    EXPECT_EQ(std::strlen(live_options.ConfigFilePath), 143u);

    // Tool file names keep a prefix that fits their field.
    const std::string named = "abcdefghij" + long_text;
    parse({"-o", named.c_str(), "-scan_pgn3", named.c_str(), "-epd2bin", named.c_str()});
    for (const char* field :
         {run_settings.output_file, run_settings.pgn_file, run_settings.input_file}) {
        const std::size_t len = std::strlen(field);
        EXPECT_GE(len, 100u);
        EXPECT_LT(len, sizeof run_settings.output_file);
        EXPECT_EQ(named.compare(0, len, field), 0);
    }
    parse({"-mkbook", named.c_str()});
    EXPECT_LT(std::strlen(run_settings.pgn_file), sizeof run_settings.pgn_file);
}

TEST_F(Switches, ScanPgnNeedsANumberToSelectARunMode) {
    SwitchResult r = parse({"-scan_pgn", "file.pgn"});
    EXPECT_EQ(r.run_mode, RUN_ENGINE);
    EXPECT_STREQ(run_settings.pgn_file, "file.pgn");

    const struct {
        const char* word;
        int mode;
    } numbered[] = {{"-scan_pgn1", RUN_SCAN_PGN1},
                    {"-scan_pgn2", RUN_SCAN_PGN1 + 1},
                    {"-scan_pgn3", RUN_SCAN_PGN1 + 2},
                    {"-scan_pgn4", RUN_SCAN_PGN4}};
    for (const auto& c : numbered) {
        r = parse({c.word, "g.pgn"});
        EXPECT_EQ(r.run_mode, c.mode) << c.word;
        EXPECT_STREQ(run_settings.pgn_file, "g.pgn") << c.word;
    }
    EXPECT_EQ(parse({"-scan_pgn3", "f"}).run_mode, 5);
}

TEST_F(Switches, ToolSwitchesSelectTheirRunMode) {
    SwitchResult r = parse({"-anepd", "a.epd"});
    EXPECT_EQ(r.run_mode, RUN_ANEPD);
    EXPECT_STREQ(run_settings.input_file, "a.epd");
    EXPECT_FLOAT_EQ(run_settings.noise, NOISE_SILENT);

    r = parse({"-mkbook", "f"});
    EXPECT_EQ(r.run_mode, 9);
    EXPECT_STREQ(run_settings.pgn_file, "f");

    r = parse({"-bench"});
    EXPECT_EQ(r.run_mode, RUN_BENCH);
    EXPECT_FALSE(r.bench_inline);
    r = parse({"-pbench"});
    EXPECT_EQ(r.run_mode, RUN_BENCH);
    EXPECT_TRUE(r.bench_inline);

    EXPECT_EQ(parse({"-mkconfig"}).run_mode, RUN_MKCONFIG);
    EXPECT_EQ(parse({"-mktune1", "f"}).run_mode, RUN_MKTUNE1);
    EXPECT_EQ(parse({"-mktune2", "f"}).run_mode, RUN_MKTUNE2);
    r = parse({"-epd2bin", "e.epd"});
    EXPECT_EQ(r.run_mode, RUN_EPD2BIN);
    EXPECT_STREQ(run_settings.input_file, "e.epd");
}

TEST_F(Switches, TrainingDataSwitch) {
    EXPECT_EQ(parse({"-mktraindata"}).exit_status, 1);

    SwitchResult r = parse({"-mktraindata", "games.pgn", "2"});
    EXPECT_EQ(r.exit_status, -1);
    EXPECT_EQ(r.run_mode, RUN_MKTRAINDATA);
    EXPECT_STREQ(run_settings.input_file, "games.pgn");
    EXPECT_EQ(run_settings.tune_count, 2000000u);

    EXPECT_EQ(after({"-mktraindata", "games.pgn", "500"}, run_settings.tune_count), 100000000u);
}

TEST_F(Switches, TuningSwitchesCheckTheirArguments) {
    SwitchResult r = parse({"-tune", "f", "0.001", "0.001", "5"});
    EXPECT_EQ(r.exit_status, -1);
    EXPECT_EQ(r.run_mode, RUN_TUNE_FIRST);
    EXPECT_STREQ(run_settings.input_file, "f");
    EXPECT_EQ(run_settings.tune_count, 5000000u);
    EXPECT_EQ(live_options.Hash, 0);
    EXPECT_STREQ(live_options.SyzygyPath, TBX_PATH);

    EXPECT_EQ(parse({"-tune4", "f", "0.001", "0.001", "5"}).run_mode, RUN_TUNE_FIRST + 3);

    // The optional flag after the count is consumed; later switches still count.
    r = parse({"-tune2", "f", "0.001", "0.001", "5", "1", "-c"});
    EXPECT_EQ(r.run_mode, RUN_TUNE_FIRST + 1);
    EXPECT_EQ(run_settings.protocol_mode, PROTOCOL_CONSOLE);

    EXPECT_EQ(parse({"-tune", "f", "0.1", "0.001", "5"}).exit_status, 1);
    EXPECT_EQ(parse({"-tune", "f", "0.001", "0.00001", "5"}).exit_status, 1);
    EXPECT_EQ(parse({"-tune", "f", "0.001", "0.001", "0.5"}).exit_status, 1);
    EXPECT_EQ(parse({"-tune", "f", "0.001", "0.001"}).exit_status, 1);
}

// Each switch that takes a value, as the last argument, with a sentinel word placed just past
// argv[argc - 1]: reading it would change the state.
class SwitchAtEnd : public Switches, public ::testing::WithParamInterface<const char*> {};

TEST_P(SwitchAtEnd, DoesNotReadPastTheArguments) {
    const std::string before = switch_state(parse({}));
    const char* argv[]       = {"tarn", GetParam(), "777", nullptr};
    const SwitchResult r     = parse_switches(2, argv);
    EXPECT_EQ(switch_state(r), before);
}

INSTANTIATE_TEST_SUITE_P(ValueSwitches, SwitchAtEnd,
                         ::testing::Values("-noise", "-cfg", "-d", "-t", "-n", "-nps", "-hash",
                                           "-threads", "-book", "-tbpath", "-o", "-anepd",
                                           "-scan_pgn", "-scan_pgn2", "-mkbook", "-mktune1",
                                           "-mktune2", "-epd2bin"));

TEST_F(Switches, MultiValueSwitchesDoNotReadPastTheArguments) {
    const char* tune[] = {"tarn", "-tune", "f", "0.001", "0.001", "5", nullptr};
    EXPECT_EQ(parse_switches(5, tune).exit_status, 1);

    const char* traindata[] = {"tarn", "-c", "-mktraindata", "f", "3", nullptr};
    const SwitchResult r    = parse_switches(4, traindata);
    EXPECT_EQ(r.run_mode, RUN_MKTRAINDATA);
    EXPECT_STREQ(run_settings.input_file, "f");
    EXPECT_EQ(run_settings.tune_count, 0u);
}

} // namespace
} // namespace tarn
