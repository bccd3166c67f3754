// The engine binary driven over standard input and output, as a GUI drives it.

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "frontend/engine_process.h"

namespace tarn {
namespace {

using test::find_line;
using test::output_lines;
using test::run_engine;

constexpr const char* HELLO = "info string Hello from Tarn 6.00";

using Lines = std::vector<std::string>;

// Switches of every session below: a small hash table keeps each start quick.
const Lines SMALL = {"-hash", "1"};

TEST(UciSession, GreetsBeforeAnythingElse) {
    for (const char* mode : {"-uci", "-c"}) {
        const test::EngineRun run = run_engine({mode, "-hash", "1"}, "quit\n");
        const auto lines          = output_lines(run.output);
        ASSERT_FALSE(lines.empty()) << mode;
        EXPECT_EQ(lines[0], HELLO) << mode;
        EXPECT_EQ(run.exit_status, 0) << mode;
    }
}

TEST(UciSession, UciIdentifiesTheEngineAndListsItsOptions) {
    const test::Session s = test::run_uci_session(SMALL, "uci\nquit\n");
    ASSERT_GE(s.lines.size(), 3u);
    EXPECT_EQ(s.lines[0], "id name Tarn 6.00");
    EXPECT_EQ(s.lines[1], "id author Merrow");
    EXPECT_EQ(s.lines.back(), "uciok");
    for (std::size_t i = 2; i + 1 < s.lines.size(); ++i)
        EXPECT_EQ(s.lines[i].rfind("option name ", 0), 0u) << s.lines[i];
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, IsreadyAnswersReadyok) {
    const test::Session s = test::run_uci_session(SMALL, "isready\nisready\nquit\n");
    EXPECT_EQ(s.lines, (Lines{"readyok", "readyok"}));
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, QuitEndsAtOnce) {
    const test::Session s = test::run_uci_session(SMALL, "quit\nisready\nuci\n");
    EXPECT_EQ(s.lines, Lines{});
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, EndOfInputActsAsQuit) {
    test::Session s = test::run_uci_session(SMALL, "isready\n");
    EXPECT_EQ(s.lines, Lines{"readyok"});
    EXPECT_EQ(s.exit_status, 0);

    // A last line without a line feed still counts.
    s = test::run_uci_session(SMALL, "isready");
    EXPECT_EQ(s.lines, Lines{"readyok"});
    EXPECT_EQ(s.exit_status, 0);

    EXPECT_EQ(run_engine({"-c", "-hash", "1"}, "").exit_status, 0);
}

TEST(UciSession, WindowsLineEndsAreAccepted) {
    const test::Session s = test::run_uci_session(SMALL, "isready\r\nquit\r\n");
    EXPECT_EQ(s.lines, Lines{"readyok"});
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, IllegalMoveIsReportedAndTheRestDropped) {
    const test::Session s =
        test::run_uci_session(SMALL, "position startpos moves e2e4 zz99 e7e5\nisready\nquit\n");
    EXPECT_EQ(s.lines, (Lines{"info string illegal move zz99", "readyok"}));
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, InvalidFensAreReported) {
    const char* bad[] = {"4k3/8/8/8/8/8/8/K6K w - -", "4k3/8/8/8/8/8/8/4R1K1 w - -",
                         "P3k3/8/8/8/8/8/8/4K3 w - -", "4k3/ppppppppp/8/8/8/8/8/4K3 w - -",
                         "rnbqkbnr/ppp"};
    std::string script;
    for (const char* fen : bad)
        script += std::string("position fen ") + fen + "\n";
    script += "position fen 4k3/8/8/8/8/8/8/4K3 w - -\nisready\nquit\n";
    const test::Session s = test::run_uci_session(SMALL, script);
    Lines expected(std::size(bad), "info string invalid position");
    expected.push_back("readyok");
    EXPECT_EQ(s.lines, expected);
    EXPECT_EQ(s.exit_status, 0);
}

TEST(UciSession, TuningIsRefusedInThisBuild) {
    const test::EngineRun run = run_engine({"-tune", "f", "0.001", "0.001", "5"}, "quit\n");
    EXPECT_EQ(run.output, "Need to compile with 'make ttune'\n\n");
    EXPECT_EQ(run.exit_status, 1);
}

TEST(UciSession, BadSwitchArgumentsEndAtOnce) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-mktraindata"},
          std::vector<std::string>{"-tune", "f", "0.1", "0.001", "5"}}) {
        const test::EngineRun run = run_engine(args, "quit\n");
        EXPECT_EQ(run.output, "") << args[0];
        EXPECT_EQ(run.exit_status, 1) << args[0];
    }
}

TEST(UciSession, SetoptionWithoutAValueOnlyWorksTheButton) {
    const test::Session s = test::run_uci_session(SMALL, "setoption name Hash\n"
                                                         "setoption name Ponder\n"
                                                         "setoption name OwnBook_File value b.bin\n"
                                                         "setoption name OwnBook_File\n"
                                                         "setoption name Clear_Hash\n"
                                                         "uci\nquit\n");
    ASSERT_GE(s.lines.size(), 5u);
    EXPECT_EQ(s.lines[0], "info string no value for Hash, left unchanged");
    EXPECT_EQ(s.lines[1], "info string no value for Ponder, left unchanged");
    EXPECT_EQ(s.lines[2], "info string OwnBook_File set to 'b.bin'");
    EXPECT_EQ(s.lines[3], "info string no value for OwnBook_File, left unchanged");
    EXPECT_EQ(s.lines[4], "info string Hash table cleared");
    // The announced defaults are the values in force.
    EXPECT_NE(find_line(s.lines, "option name Hash type spin default 1 min 0 max 32768"), -1);
    EXPECT_NE(find_line(s.lines, "option name Ponder type check default true"), -1);
    EXPECT_NE(find_line(s.lines, "option name OwnBook_File type string default b.bin"), -1);
    EXPECT_EQ(s.exit_status, 0);
}

// Random bytes other than a line feed (a zero byte ends a line as a line feed does).
std::string random_bytes(std::mt19937& rng, int length) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s;
    while (static_cast<int>(s.size()) < length) {
        const char c = static_cast<char>(byte(rng));
        if (c != '\n')
            s += c;
    }
    return s;
}

// A line built from words the engine knows, in random order, with random junk mixed in.
// Options that resize the hash table or load files are left out: a random value could ask
// for gigabytes or write into the working directory.
std::string random_command(std::mt19937& rng) {
    static const char* const WORDS[] = {"uci",
                                        "ucinewgame",
                                        "position",
                                        "startpos",
                                        "fen",
                                        "moves",
                                        "stop",
                                        "ponderhit",
                                        "debug",
                                        "setoption",
                                        "name",
                                        "value",
                                        "MultiPV",
                                        "Contempt",
                                        "UCI_Elo",
                                        "Ponder",
                                        "Clear_Hash",
                                        "true",
                                        "e2e4",
                                        "e7e5",
                                        "g1f3",
                                        "zz99",
                                        "a7a8q",
                                        "e1g1",
                                        "e8c8",
                                        "0000",
                                        "8/8/8",
                                        "rnbqkbnr/ppp",
                                        "w",
                                        "b",
                                        "-",
                                        "KQkq",
                                        "-1",
                                        "99999999999999999999",
                                        "k7/8/8/8/8/8/8/K7",
                                        "\t",
                                        "\r",
                                        "position fen"};
    std::uniform_int_distribution<int> count(1, 12);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(WORDS)) - 1);
    std::string line;
    for (int n = count(rng); n > 0; --n)
        line += std::string(WORDS[pick(rng)]) + (rng() % 4 ? " " : "");
    return line;
}

TEST(UciSession, SurvivesGarbageAndStillAnswers) {
    std::mt19937 rng(20240611);
    std::string script;
    for (int i = 0; i < 150; ++i) {
        switch (rng() % 8) {
        case 0:
            script += random_bytes(rng, 1 + static_cast<int>(rng() % 80));
            break;
        case 1:
            script += "position fen rnbqkbnr/ppp";
            break;
        case 2:
            script += "position startpos moves e2e4 e7e5 e1e8 a1a9 " + random_bytes(rng, 6);
            break;
        case 3:
            script += "";
            break;
        case 4:
            script += "\r";
            break;
        default:
            script += random_command(rng);
            break;
        }
        script += "\n";
    }
    script += "position fen " + std::string(10000, 'k') + "\n";
    script += std::string(10240, 'x') + "\n";
    script += "position startpos moves" + std::string(2000, ' ') + "e2e4\n";
    script += "\n\n\r\n";
    script += "isready\nquit\n";

    // Random bytes must not happen to spell a command that ends the session early.
    ASSERT_EQ(script.find("quit"), script.size() - 5);
    ASSERT_EQ(script.find("isready"), script.size() - 13);

    const test::EngineRun run = run_engine(SMALL, script);
    const auto lines          = output_lines(run.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), HELLO);
    EXPECT_EQ(lines.back(), "readyok");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "readyok"), 1);
    // The garbage was read, not skipped: its bad positions and moves were answered.
    EXPECT_NE(find_line(lines, "info string invalid position"), -1);
    EXPECT_NE(find_line(lines, "info string illegal move e1e8"), -1);
    EXPECT_EQ(run.exit_status, 0);
}

} // namespace
} // namespace tarn
