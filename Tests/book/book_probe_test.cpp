// Probing books: finding a position's entries, the weighted choice, the reports, damaged
// files, and the use of the two books for a game.

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "book/book.h"
#include "book/book_support.h"
#include "core/fen.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using Lines = std::vector<std::string>;

constexpr int REPEATS = 1000;

// Every test starts from the start position in UCI protocol with the option defaults and a
// fixed random state, and leaves the process-wide settings as it found them.
class BookProbe : public ::testing::Test {
protected:
    void SetUp() override {
        saved_run_                 = run_settings;
        saved_live_                = live_options;
        live_options               = EngineOptions{};
        run_settings.noise         = 0.0f;
        run_settings.protocol_mode = PROTOCOL_UCI;
        book_seed_random(1);
        test::set_fen(*td, START_FEN);
    }
    void TearDown() override {
        run_settings = saved_run_;
        live_options = saved_live_;
    }

    // Probes and returns the move; the printed lines go to `printed`.
    Move probe(const std::string& path, Lines* printed = nullptr) {
        test::StdoutCapture capture;
        const Move move   = probe_book(td->board.pos, path.c_str());
        const Lines lines = test::output_lines(capture.take());
        if (printed)
            *printed = lines;
        return move;
    }
    // How often each move text came out of `times` probes.
    std::map<std::string, int> tally(const std::string& path, int times) {
        std::map<std::string, int> counts;
        for (int i = 0; i < times; ++i)
            ++counts[move_to_coord(td->board.pos, td->board.pos.side, probe(path),
                                   run_move_style())];
        return counts;
    }
    // A book for the start position with the given moves and weights, in that order.
    std::string start_book(const std::vector<std::pair<const char*, int>>& moves) {
        std::vector<BookEntry> entries;
        for (const auto& [text, weight] : moves)
            entries.push_back(test::entry_for(*td, text, weight));
        const std::string path = dir.file("start.bin");
        test::write_book(path, entries);
        return path;
    }

    test::ThreadDataHandle td;
    test::ScratchDir dir;

private:
    RunSettings saved_run_;
    EngineOptions saved_live_;
};

// --- weights and variety ---

// Two moves of the start position, e2e4 heavier than d2d4, under one variety: the shares the
// console report shows and how often d2d4 comes out of REPEATS probes.
struct VarietyCase {
    const char* name;
    int heavy;
    int light;
    int variety;
    const char* heavy_line;
    const char* light_line;
    int light_min;
    int light_max;
};

const VarietyCase VARIETY_CASES[] = {
    // Variety 25 keeps the stored odds: 7500 and 2500.
    {"Neutral", 3, 1, 25, "  e2e4  cnt=     3, weight= 75.00% -> 75.00%",
     "  d2d4  cnt=     1, weight= 25.00% -> 25.00%", 200, 300},
    // adjust = trunc(75 * 0.03) = 2: 12500 and 7500.
    {"Flattened", 3, 1, 100, "  e2e4  cnt=     3, weight= 75.00% -> 62.50%",
     "  d2d4  cnt=     1, weight= 25.00% -> 37.50%", 320, 430},
    // adjust = -25: the lighter move's share drops to 0 and it is never chosen.
    {"Sharpened", 100, 10, 0, "  e2e4  cnt=   100, weight= 90.91% -> 100.00%",
     "  d2d4  cnt=    10, weight=  9.09% ->  0.00%", 0, 0},
};

void PrintTo(const VarietyCase& c, std::ostream* out) {
    *out << c.name;
}

class BookVariety : public BookProbe, public ::testing::WithParamInterface<VarietyCase> {};

TEST_P(BookVariety, ScalesTheStoredWeights) {
    const VarietyCase& c         = GetParam();
    const std::string path       = start_book({{"e2e4", c.heavy}, {"d2d4", c.light}});
    live_options.OwnBook_Variety = static_cast<std::int16_t>(c.variety);
    run_settings.protocol_mode   = PROTOCOL_CONSOLE;
    Lines printed;
    probe(path, &printed);
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[0], c.heavy_line);
    EXPECT_EQ(printed[1], c.light_line);

    run_settings.protocol_mode = PROTOCOL_UCI;
    auto counts                = tally(path, REPEATS);
    EXPECT_EQ(counts["e2e4"] + counts["d2d4"], REPEATS);
    EXPECT_GE(counts["d2d4"], c.light_min);
    EXPECT_LE(counts["d2d4"], c.light_max);
}

INSTANTIATE_TEST_SUITE_P(Examples, BookVariety, ::testing::ValuesIn(VARIETY_CASES),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(BookProbe, ZeroWeightIsNeitherListedNorChosen) {
    const std::string path = start_book({{"d2d4", 5}, {"e2e4", 0}, {"c2c4", 5}});
    Lines printed;
    probe(path, &printed);
    EXPECT_EQ(printed, Lines{"info string ( book moves are: d2d4 c2c4  )"});
    auto counts = tally(path, REPEATS);
    EXPECT_EQ(counts["e2e4"], 0);
    EXPECT_GT(counts["d2d4"], 400);
    EXPECT_GT(counts["c2c4"], 400);
}

TEST_F(BookProbe, AllWeightsZeroGiveNoMove) {
    const std::string path = start_book({{"e2e4", 0}, {"d2d4", 0}});
    EXPECT_EQ(probe(path), NULL_MOVE);
}

// --- reports ---

TEST_F(BookProbe, UciReportListsTheStoredSquares) {
    test::set_fen(*td, "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const std::string path = start_book({{"e1g1", 10}});
    Lines printed;
    const Move move = probe(path, &printed);
    EXPECT_EQ(printed, Lines{"info string ( book moves are: e1h1  )"});
    EXPECT_EQ(move_to_coord(td->board.pos, WHITE, move, run_move_style()), "e1g1");
    EXPECT_TRUE(is_castling(td->board.pos, move));
}

TEST_F(BookProbe, ConsoleReportEndsWithTheChoice) {
    const std::string path     = start_book({{"g1f3", 7}});
    run_settings.protocol_mode = PROTOCOL_CONSOLE;
    Lines printed;
    probe(path, &printed);
    EXPECT_EQ(printed, (Lines{"  g1f3  cnt=     7, weight= 100.00% -> 100.00%", "selecting g1f3"}));

    run_settings.noise = NOISE_SILENT;
    probe(path, &printed);
    EXPECT_EQ(printed, Lines{});
}

// --- finding the entries ---

// A book of synthetic keys, for searches that do not need positions.
std::vector<BookEntry> keyed(const std::vector<std::uint64_t>& keys) {
    std::vector<BookEntry> entries;
    for (std::size_t i = 0; i < keys.size(); ++i)
        entries.push_back(BookEntry{keys[i], static_cast<std::uint16_t>(i + 1), 1, 0});
    return entries;
}

// Every key of books of one to nine entries is found, the first and the last included; keys
// between, below and above them are not.
TEST_F(BookProbe, FindsKeysInBooksOfEverySmallSize) {
    for (int n = 1; n <= 9; ++n) {
        std::vector<std::uint64_t> keys;
        for (int i = 0; i < n; ++i)
            keys.push_back(100 + 10 * static_cast<std::uint64_t>(i));
        const std::string path = dir.file("sizes.bin");
        test::write_book(path, keyed(keys));
        BookCandidates found;
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(book_lookup(path.c_str(), keys[i], found), BOOK_FOUND) << n << " " << i;
            EXPECT_EQ(found.entry[0].move, i + 1);
            EXPECT_EQ(book_lookup(path.c_str(), keys[i] + 1, found), BOOK_ABSENT);
        }
        EXPECT_EQ(book_lookup(path.c_str(), keys[0] - 1, found), BOOK_ABSENT);
    }
}

TEST_F(BookProbe, ReadsAtMost128EntriesOfAKey) {
    std::vector<std::uint64_t> keys(130, 77);
    keys.push_back(78);
    const std::string path = dir.file("many.bin");
    test::write_book(path, keyed(keys));
    BookCandidates found;
    ASSERT_EQ(book_lookup(path.c_str(), 77, found), BOOK_FOUND);
    EXPECT_EQ(found.count, BOOK_MAX_CANDIDATES);
    EXPECT_EQ(found.entry[BOOK_MAX_CANDIDATES - 1].move, BOOK_MAX_CANDIDATES);
}

// --- bad files ---

TEST_F(BookProbe, MissingOrTinyFilesGiveNoMoveSilently) {
    const std::string tiny = dir.file("tiny.bin");
    test::write_bytes(tiny, std::string(15, '\x01'));
    const std::string empty = dir.file("empty.bin");
    test::write_bytes(empty, "");
    for (const std::string& path :
         {dir.file("absent.bin"), tiny, empty, dir.file(""), std::string()}) {
        Lines printed;
        EXPECT_EQ(probe(path, &printed), NULL_MOVE) << path;
        EXPECT_EQ(printed, Lines{}) << path;
    }
}

TEST_F(BookProbe, TruncatedBookGivesNoMoveAndSaysSo) {
    const std::string path = dir.file("cut.bin");
    test::write_bytes(path, std::string(BOOK_ENTRY_BYTES + 7, '\0')); // a torn second entry
    Lines printed;
    EXPECT_EQ(probe(path, &printed), NULL_MOVE);
    EXPECT_EQ(printed, Lines{"info string book " + path +
                             " is damaged: its size is not a multiple of 16 bytes"});
}

TEST_F(BookProbe, UnsortedBookGivesNoMoveAndSaysSo) {
    const std::string message = " is damaged: its entries are not sorted";
    // Disorder met by the binary search, and disorder right behind the run of a key.
    const std::vector<std::pair<std::vector<std::uint64_t>, std::uint64_t>> cases = {
        {{50, 40, 30, 20, 10}, 30}, {{10, 20, 20, 5}, 20}, {{1, 2, 3, 9, 2}, 9}};
    for (const auto& [keys, key] : cases) {
        const std::string path = dir.file("unsorted.bin");
        test::write_book(path, keyed(keys));
        BookCandidates found;
        test::StdoutCapture capture;
        EXPECT_EQ(book_lookup(path.c_str(), key, found), BOOK_DAMAGED) << key;
        EXPECT_EQ(test::output_lines(capture.take()), Lines{"info string book " + path + message});
    }
}

TEST_F(BookProbe, IllegalBookMoveGivesNoMove) {
    // A key collision or a corrupt entry: the move is not legal in the position.
    const std::uint64_t key = book_key(td->board.pos);
    const std::string path  = dir.file("illegal.bin");
    test::write_book(path, {BookEntry{key, static_cast<std::uint16_t>(12 << 6 | 36), 1, 0}});
    Lines printed;
    EXPECT_EQ(probe(path, &printed), NULL_MOVE); // e2e5
    EXPECT_EQ(printed, Lines{"info string ( book moves are: e2e5  )"});
    test::write_book(path, {BookEntry{key, static_cast<std::uint16_t>(5 << 12 | 12 << 6 | 28), 1,
                                      0}}); // e2e4 with a promotion field past the queen
    EXPECT_EQ(probe(path), NULL_MOVE);

    run_settings.protocol_mode = PROTOCOL_CONSOLE;
    probe(path, &printed);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back(), "selecting a1a1");
}

// --- the books of a game ---

class BookGame : public BookProbe {
protected:
    // First book: e2e4 for the start position; second book: d2d4.
    void write_books() {
        first_  = dir.file("first.bin");
        second_ = dir.file("second.bin");
        test::write_book(first_, {test::entry_for(*td, "e2e4", 1)});
        test::write_book(second_, {test::entry_for(*td, "d2d4", 1)});
        copy_option_text(live_options.OwnBook_File, OPTION_PATH_CHARS, first_.c_str());
        copy_option_text(live_options.OwnBook2_File, OPTION_PATH_CHARS, second_.c_str());
        live_options.OwnBook = 1;
    }
    Move game_move(Lines* printed) {
        test::StdoutCapture capture;
        const Move move = book_move_for_game(td->board.pos);
        *printed        = test::output_lines(capture.take());
        return move;
    }
    std::string first_, second_;
};

TEST_F(BookGame, FirstBookWhileTheGameIsYoung) {
    write_books();
    live_options.OwnBook2_Depth = 40;
    Lines printed;
    const Move move = game_move(&printed);
    EXPECT_EQ(move_to_coord(td->board.pos, WHITE, move, run_move_style()), "e2e4");
    EXPECT_EQ(printed,
              (Lines{"info string ( book moves are: e2e4  )", "info string book move is e2e4"}));
}

TEST_F(BookGame, OnlyTheSecondBookPastTheFirstBooksDepth) {
    write_books();
    live_options.OwnBook_Depth  = 24;
    live_options.OwnBook2_Depth = 40;
    td->board.game_ply          = 30; // thirty half-moves since the position was set
    Lines printed;
    const Move move = game_move(&printed);
    EXPECT_EQ(move_to_coord(td->board.pos, WHITE, move, run_move_style()), "d2d4");
    EXPECT_EQ(printed,
              (Lines{"info string ( book moves are: d2d4  )", "info string book move is d2d4"}));

    td->board.game_ply = 40; // past both books
    EXPECT_EQ(game_move(&printed), NULL_MOVE);
    EXPECT_EQ(printed, Lines{});
}

TEST_F(BookGame, SecondBookWhenTheFirstHasNothing) {
    write_books();
    test::write_book(first_, {});
    live_options.OwnBook2_Depth = 1;
    Lines printed;
    EXPECT_EQ(move_to_coord(td->board.pos, WHITE, game_move(&printed), run_move_style()), "d2d4");

    live_options.OwnBook2_Depth = 0; // the second book is not used at all
    EXPECT_EQ(game_move(&printed), NULL_MOVE);
    EXPECT_EQ(printed, Lines{});
}

TEST_F(BookGame, MoveThatRepeatsForADrawIsRefused) {
    // After g1f3 g8f6 f3g1 black's f6g8 restores the start position: the second time is
    // fine, the third would be a draw by repetition.
    test::play(*td, {"g1f3", "g8f6", "f3g1"});
    const std::string path = dir.file("repeat.bin");
    test::write_book(path, {test::entry_for(*td, "f6g8", 1)});
    copy_option_text(live_options.OwnBook_File, OPTION_PATH_CHARS, path.c_str());
    live_options.OwnBook = 1;
    Lines printed;
    EXPECT_EQ(move_to_coord(td->board.pos, BLACK, game_move(&printed), run_move_style()), "f6g8");

    test::play(*td, {"f6g8", "g1f3", "g8f6", "f3g1"});
    EXPECT_EQ(game_move(&printed), NULL_MOVE);
    EXPECT_EQ(printed, Lines{"info string ( book moves are: f6g8  )"});
    EXPECT_EQ(td->board.game_ply, 7); // the trial move was taken back
}

} // namespace
} // namespace tarn
