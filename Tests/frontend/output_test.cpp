// The input poll of the output unit, fed through a pipe put on standard input in-process.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "frontend/engine_process.h"
#include "frontend/output.h"

namespace tarn {
namespace {

// More polls than any test needs: bytes already in the pipe are seen on the first poll.
constexpr int POLL_BUDGET = 100;

// Polls until a line arrives or the budget is spent.
bool poll_line(std::string& line) {
    for (int i = 0; i < POLL_BUDGET; ++i)
        if (poll_input(line))
            return true;
    return false;
}

TEST(InputPoll, NothingWaitingGivesNothing) {
    test::StdinPipe in;
    std::string line = "unchanged";
    EXPECT_FALSE(poll_input(line));
    EXPECT_EQ(line, "unchanged");
}

TEST(InputPoll, TwoCommandsInOneWriteComeOutInOrder) {
    test::StdinPipe in;
    in.write("uci\nisready\n");
    std::string line;
    ASSERT_TRUE(poll_input(line));
    EXPECT_EQ(line, "uci");
    ASSERT_TRUE(poll_input(line));
    EXPECT_EQ(line, "isready");
    EXPECT_FALSE(poll_input(line));
}

TEST(InputPoll, SplitCommandIsHandedOutOnceAfterItsLineFeed) {
    test::StdinPipe in;
    std::string line;
    in.write("posi");
    EXPECT_FALSE(poll_line(line));
    in.write("tion startpos");
    EXPECT_FALSE(poll_line(line));
    in.write("\n");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "position startpos");
    EXPECT_FALSE(poll_line(line));
}

TEST(InputPoll, EmptyLinesAreNeverHandedOut) {
    test::StdinPipe in;
    in.write("\n\n\n");
    std::string line;
    EXPECT_FALSE(poll_line(line));
    in.write("go\n\n\nstop\n\n");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "go");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "stop");
    EXPECT_FALSE(poll_line(line));
}

// Only line ends split the input: an "@" inside a file name or option value stays in its line.
TEST(InputPoll, AtSignIsAnOrdinaryCharacter) {
    test::StdinPipe in;
    in.write("setoption name OwnBook_File value books/a@b.bin\nisready\n");
    std::string line;
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "setoption name OwnBook_File value books/a@b.bin");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "isready");
}

TEST(InputPoll, CarriageReturnEndsTheText) {
    test::StdinPipe in;
    in.write("\r\nisready\r\n");
    std::string line = "x";
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "isready");
}

TEST(InputPoll, OverlongLineIsCut) {
    test::StdinPipe in;
    const std::string head(INPUT_LINE_CHARS, 'a');
    in.write(head + std::string(3000, 'b') + "\nnext\n");
    std::string line;
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, head);
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "next");
}

TEST(InputPoll, BurstOfLinesLosesNothing) {
    test::StdinPipe in;
    constexpr int COUNT = 2000;
    std::string burst;
    for (int i = 0; i < COUNT; ++i)
        burst += "line " + std::to_string(i) + "\n";
    in.write(burst);

    std::vector<std::string> got;
    std::string line;
    for (int polls = 0; polls < 10 * COUNT && static_cast<int>(got.size()) < COUNT; ++polls)
        if (poll_input(line))
            got.push_back(line);
    ASSERT_EQ(got.size(), static_cast<std::size_t>(COUNT));
    for (int i = 0; i < COUNT; ++i)
        ASSERT_EQ(got[static_cast<std::size_t>(i)], "line " + std::to_string(i));
    EXPECT_FALSE(poll_line(line));
}

TEST(InputPoll, EndOfInputHandsOutQuit) {
    test::StdinPipe in;
    in.write("isready\nucinewgame");
    in.close_writer();
    std::string line;
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "isready");
    // The unterminated last line still arrives before the end.
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "ucinewgame");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "quit");
    ASSERT_TRUE(poll_input(line));
    EXPECT_EQ(line, "quit");
}

TEST(InputPoll, ZeroByteEndsALine) {
    test::StdinPipe in;
    in.write(std::string("uci\0isready\n", 12));
    std::string line;
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "uci");
    ASSERT_TRUE(poll_line(line));
    EXPECT_EQ(line, "isready");
}

TEST(NextToken, TakesTheFirstWordAfterBlanks) {
    EXPECT_EQ(next_token("   position startpos"), "position");
    EXPECT_EQ(next_token("isready\r\n"), "isready");
    EXPECT_EQ(next_token(""), "");
    EXPECT_EQ(next_token("     "), "");
    EXPECT_EQ(next_token(std::string(300, 'w').c_str()), std::string(127, 'w'));
}

} // namespace
} // namespace tarn
