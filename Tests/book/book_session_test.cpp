// The book in the running engine: UCI "go" answered from the book, the console "book" and
// "mv" commands, and the "-mkbook" run mode.

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "book/book.h"
#include "book/book_support.h"
#include "core/fen.h"
#include "frontend/engine_process.h"
#include "frontend/live_engine.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using Lines = std::vector<std::string>;

bool has_line(const Lines& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}
bool has_prefix(const Lines& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class BookSession : public ::testing::Test {
protected:
    void SetUp() override { test::set_fen(*td, START_FEN); }
    // A book with e2e4 for the start position and f6g8 after g1f3 g8f6 f3g1.
    std::string write_opening_book() {
        std::vector<BookEntry> entries = {test::entry_for(*td, "e2e4", 10)};
        test::play(*td, {"g1f3", "g8f6", "f3g1"});
        entries.push_back(test::entry_for(*td, "f6g8", 10));
        std::sort(entries.begin(), entries.end(),
                  [](const BookEntry& a, const BookEntry& b) { return a.key < b.key; });
        const std::string path = dir.file("opening.bin");
        test::write_book(path, entries);
        return path;
    }
    // Turns the book on in a running engine.
    static void use_book(test::LiveEngine& engine, const std::string& book) {
        engine.send("setoption name OwnBook value true");
        engine.send("setoption name OwnBook_File value " + book);
    }
    test::ThreadDataHandle td;
    test::ScratchDir dir;
};

TEST_F(BookSession, GoIsAnsweredFromTheBookWithoutASearch) {
    const std::string book = write_opening_book();
    test::LiveEngine engine({"-hash", "1"});
    use_book(engine, book);
    engine.send("position startpos");
    engine.send("go wtime 60000 btime 60000");
    const Lines lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty()) << "no bestmove";
    EXPECT_EQ(lines.back(), "bestmove e2e4");
    const auto at = std::find(lines.begin(), lines.end(), "info string ( book moves are: e2e4  )");
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_EQ(*(at + 1), "info string book move is e2e4");
    EXPECT_EQ(at + 2, lines.end() - 1);
    EXPECT_FALSE(has_prefix(lines, "info depth"));
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(BookSession, BookMoveIntoARepetitionDrawIsRefused) {
    const std::string book = write_opening_book();
    test::LiveEngine engine({"-hash", "1"});
    use_book(engine, book);
    // The first time f6g8 brings the start position back, it is a book move.
    engine.send("position startpos moves g1f3 g8f6 f3g1");
    engine.send("go depth 2");
    Lines lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty()) << "no bestmove";
    EXPECT_TRUE(has_line(lines, "info string book move is f6g8"));
    EXPECT_EQ(lines.back(), "bestmove f6g8");
    // The third time would be a draw: the engine searches instead.
    engine.send("position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1");
    engine.send("go depth 2");
    lines = engine.read_until("bestmove");
    ASSERT_FALSE(lines.empty()) << "no bestmove";
    EXPECT_TRUE(has_line(lines, "info string ( book moves are: f6g8  )"));
    EXPECT_FALSE(has_line(lines, "info string book move is f6g8"));
    EXPECT_TRUE(has_prefix(lines, "info depth"));
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

TEST_F(BookSession, ConsoleBookCommandListsBothBooks) {
    const std::string book = write_opening_book();
    const test::Session s =
        test::run_console_session({"-c", "-hash", "1", "-book", book}, "book\nquit\n");
    EXPECT_EQ(s.lines,
              (Lines{"  e2e4  cnt=    10, weight= 100.00% -> 100.00%", "selecting e2e4", "", ""}));
    EXPECT_EQ(s.exit_status, 0);
}

TEST_F(BookSession, ConsoleMovePlaysFromTheBook) {
    const std::string book = write_opening_book();
    const test::Session s =
        test::run_console_session({"-c", "-hash", "1", "-book", book}, "mv\nquit\n");
    EXPECT_TRUE(has_line(s.lines, " book move is e2e4"));
    EXPECT_TRUE(has_prefix(s.lines, "move= e2e4"));
    EXPECT_TRUE(has_line(s.lines, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
}

TEST_F(BookSession, MkbookBuildsTheBookAndEnds) {
    std::string pgn;
    for (int i = 0; i < 5; ++i)
        pgn += "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n\n";
    const std::string path = dir.file("games.pgn");
    test::write_text(path, pgn);
    const test::EngineRun run = test::run_engine({"-mkbook", path}, "");
    const Lines lines         = test::output_lines(run.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_TRUE(has_line(lines, " Creating file tmp_book.bin from games in " + path));
    EXPECT_TRUE(has_line(lines, "ngames= 5, nmoves= 3"));
    EXPECT_TRUE(has_line(lines, "book contains 2 moves"));
    EXPECT_EQ(lines.back(), "done");
}

} // namespace
} // namespace tarn
