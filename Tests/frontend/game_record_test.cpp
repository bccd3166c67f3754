// The game record's files and editor, in-process: PGN reading, "tmp.pgn", "test.epd" and
// the position editor, each run in a temporary working directory.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/fen.h"
#include "core/notation.h"
#include "frontend/engine_process.h"
#include "frontend/game_record.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// A game record of its own and a scratch working directory for the files.
class GameRecord : public ::testing::Test {
protected:
    void SetUp() override {
        saved_main_ = main_thread;
        main_thread = test::new_thread_data();
        parse_fen(main_thread->board.pos, START_FEN);
        saved_dir_ = std::filesystem::current_path();
        dir_       = std::filesystem::temp_directory_path() /
               ("tarn_game_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(saved_dir_);
        std::filesystem::remove_all(dir_);
        thread_data_destroy(main_thread);
        main_thread = saved_main_;
    }
    std::string fen() const { return write_fen(main_thread->board.pos, false); }
    // Runs f with standard output captured; returns what it printed.
    template <class F> std::string quietly(F f) {
        test::StdoutCapture capture;
        f();
        return capture.take();
    }
    ThreadData* saved_main_ = nullptr;
    std::filesystem::path saved_dir_, dir_;
};

TEST_F(GameRecord, SavedGameLoadsBackToTheSamePosition) {
    const char* moves[] = {"e4", "c5",  "Nf3", "d6",  "d4",  "cxd4", "Nxd4", "Nf6", "Nc3",
                           "a6", "Be2", "e5",  "Nb3", "Be7", "O-O",  "O-O",  "Kh1"};
    for (const char* m : moves) {
        Move move = NULL_MOVE;
        ASSERT_TRUE(parse_move(main_thread->board.pos, m, move, run_move_style())) << m;
        game_play(move);
    }
    const std::string before = fen();
    quietly([] { save_game(); });
    quietly([] { save_game(); });
    std::ifstream saved(SAVE_FILE_NAME);
    std::stringstream text;
    text << saved.rdbuf();
    // Two games, each opening with its Event line, eleven moves to a line.
    EXPECT_EQ(text.str().find("[Event \"Unknown\"]\ne4 c5 Nf3 d6 d4 cxd4 Nxd4 Nf6 Nc3 a6 Be2 \n"),
              0u);
    EXPECT_NE(text.str().find("[Event \"Unknown\"]", 10), std::string::npos);
    parse_fen(main_thread->board.pos, START_FEN);
    const std::string out = quietly([] { load_game(SAVE_FILE_NAME, ""); });
    EXPECT_EQ(out.rfind("loading tmp.pgn, tag ", 0), 0u);
    EXPECT_EQ(fen(), before);
    EXPECT_EQ(main_thread->board.game_ply, 17);
}

// Reads every game of a PGN file one at a time; a game counts as loaded when it reads without
// error to the ply its PlyCount tag gives.
struct LoadedGames {
    int games  = 0;
    int loaded = 0;
};

LoadedGames load_every_game(const std::string& path) {
    LoadedGames result;
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "missing test data file " << path;
        return result;
    }
    std::string line, game_text;
    int expected_plies     = -1;
    const auto finish_game = [&] {
        if (game_text.empty())
            return;
        ++result.games;
        std::istringstream one(game_text);
        test::StdoutCapture capture;
        const bool ok         = read_game(one, "");
        const std::string out = capture.take();
        if (ok && main_thread->board.game_ply == expected_plies)
            ++result.loaded;
        else
            ADD_FAILURE() << path << " game " << result.games << ": " << out;
        game_text.clear();
    };
    while (std::getline(in, line)) {
        if (line.rfind("[Event ", 0) == 0)
            finish_game();
        if (line.rfind("[PlyCount \"", 0) == 0)
            expected_plies = std::atoi(line.c_str() + 11);
        game_text += line + "\n";
    }
    finish_game();
    return result;
}

TEST_F(GameRecord, EveryGameOfARealPgnFileLoads) {
    const LoadedGames r = load_every_game(test::test_data_path(test::GAMES_FILE));
    EXPECT_EQ(r.games, 36);
    EXPECT_EQ(r.loaded, r.games);
}

TEST_F(GameRecord, EveryGameOfTheFullCollectionLoads) {
    if (!test::has_shared_data(test::ALL_GAMES_FILE))
        GTEST_SKIP() << test::no_shared_data(test::ALL_GAMES_FILE);
    const LoadedGames r = load_every_game(test::shared_data(test::ALL_GAMES_FILE));
    EXPECT_EQ(r.games, 2200);
    EXPECT_EQ(r.loaded, r.games);
}

TEST_F(GameRecord, PgnReadingRules) {
    // Comments across lines, a variation, NAGs, annotations, a mate sign and the result.
    const std::string pgn = "[Event \"x\"]\n[Site \"y\"]\n\n"
                            "1. e4 {a comment\nover two lines} e5 2. Nf3 (2. f4 exf4) Nc6 $1\n"
                            "3. Bc4!? Nf6?? 4. Ng5 d5 5. exd5 Nxd5 6. Nxf7 Kxf7 7. Qf3+ Ke6 1-0\n";
    std::istringstream in(pgn);
    bool ok = false;
    quietly([&] { ok = read_game(in, ""); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(main_thread->board.game_ply, 14);
    // The first unreadable move stops the loading; the moves before it stay.
    std::istringstream bad("[Event \"x\"]\n1. e4 e5 2. Qh7 Nc6\n");
    const std::string out = quietly([&] { ok = read_game(bad, ""); });
    EXPECT_FALSE(ok);
    EXPECT_NE(out.find("can't parse move 'Qh7'"), std::string::npos);
    EXPECT_EQ(main_thread->board.game_ply, 2);
}

TEST_F(GameRecord, TabsSeparateMoves) {
    std::istringstream in("[Event \"x\"]\n1.\te4\te5\t2.\tNf3\t{a\tcomment}\tNc6\n");
    bool ok = false;
    quietly([&] { ok = read_game(in, ""); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(main_thread->board.game_ply, 4);
}

TEST_F(GameRecord, SemicolonCommentsOutTheRestOfTheLine) {
    std::istringstream in("[Event \"x\"]\n1. e4 e5 ; 2. Qh5 was the idea\n2. Nf3 Nc6 *\n");
    bool ok               = false;
    const std::string out = quietly([&] { ok = read_game(in, ""); });
    EXPECT_TRUE(ok) << out;
    EXPECT_EQ(main_thread->board.game_ply, 4);
}

TEST_F(GameRecord, TaggedGameAndFenTag) {
    const std::string pgn =
        "[Event \"a\"]\n[Round \"1\"]\n1. d4 d5 *\n"
        "[Event \"b\"]\n[Round \"2\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n"
        "1. e4 Kd7 *\n";
    std::istringstream in(pgn);
    quietly([&] { read_game(in, "[Round \"2\"]"); });
    EXPECT_EQ(fen(), "8/3k4/8/8/4P3/8/8/4K3 w - -");
    std::istringstream first(pgn);
    quietly([&] { read_game(first, ""); });
    EXPECT_EQ(main_thread->board.game_ply, 2);
}

TEST_F(GameRecord, EpdRecordById) {
    {
        std::ofstream epd(EPD_FILE_NAME);
        epd << "; a comment line id \"pos2\"\n"
            << "4k3/8/8/8/8/8/8/4K2R w K - bm O-O; id \"pos1\";\n"
            << "4k3/8/8/8/8/8/8/R3K3 b Q - id \"pos2\";\n";
    }
    const std::string out = quietly([] { get_epd("pos2"); });
    EXPECT_EQ(out.rfind("4k3/8/8/8/8/8/8/R3K3 b Q - id \"pos2\";\n", 0), 0u);
    EXPECT_EQ(fen(), "4k3/8/8/8/8/8/8/R3K3 b Q -");
    std::filesystem::remove(EPD_FILE_NAME);
    parse_fen(main_thread->board.pos, START_FEN);
    EXPECT_EQ(quietly([] { get_epd("pos1"); }).rfind("get\n", 0), 0u);
    EXPECT_EQ(fen(), START_FEN);
}

TEST_F(GameRecord, GetWithoutTheFileStillShowsTheBoardAndClearsTheTable) {
    search_state.hash_mb  = 1;
    search_state.use_hash = 1;
    quietly([] { tt_allocate(search_state.hash_mb); });
    Position& pos      = main_thread->board.pos;
    const auto in_hash = [&pos] {
        TTEntry entry;
        entry.depth = -10;
        tt_probe(pos, entry);
        return entry.depth >= 0;
    };
    tt_store(pos, 1, 5, make_move_code(12, 28), 30, -100, 100);
    ASSERT_TRUE(in_hash());
    search_state.use_hash = 0; // the console's "set hash 0": the searches leave the table alone
    const std::string out = quietly([] { get_epd("pos1"); });
    search_state.use_hash = 1;
    EXPECT_EQ(out.rfind("get\n" + write_fen(pos, true) + "\n", 0), 0u) << out;
    EXPECT_EQ(fen(), START_FEN);
    EXPECT_FALSE(in_hash());
    tt_free();
}

TEST_F(GameRecord, EditorSetsUpAPosition) {
    test::StdinPipe input;
    input.write("w Ke1 Rh1 Pe2\nb Ke8 Qd8 Zz9 Pa7\n#\nw Kg1 Ra1\nb kg8 pa7 xb2\n.\n");
    input.close_writer();
    const std::string out = quietly([] { edit_position(); });
    EXPECT_EQ(out.rfind("\n\n.                    end edit\n", 0), 0u);
    // The board was cleared by "#"; "xb2" names no piece, so b2 stays empty. Rights come
    // from "KQkq" for every king and rook that stand where a right can use them.
    EXPECT_EQ(fen(), "6k1/p7/8/8/8/8/8/R5K1 b Q -");
}

TEST_F(GameRecord, EditorRefusesAPositionWithoutKings) {
    game_play(make_move_code(12, 28));
    const std::string before = fen();
    test::StdinPipe input;
    input.write("#\nw Qd1\n.\n");
    input.close_writer();
    const std::string out = quietly([] { edit_position(); });
    EXPECT_NE(out.find("info string invalid position"), std::string::npos);
    EXPECT_EQ(fen(), before);
    EXPECT_EQ(main_thread->board.game_ply, 1);
}

TEST_F(GameRecord, JumpReplaysKeptMoves) {
    for (const char* m : {"e4", "e5", "Nf3", "Nc6", "Bb5"}) {
        Move move = NULL_MOVE;
        ASSERT_TRUE(parse_move(main_thread->board.pos, m, move, run_move_style()));
        game_play(move);
    }
    quietly([] { jump_to(1); });
    EXPECT_EQ(fen(), START_FEN);
    quietly([] { jump_to(2); });
    EXPECT_EQ(main_thread->board.game_ply, 2);
    quietly([] { jump_to(40); });
    EXPECT_EQ(main_thread->board.game_ply, 5);
}

} // namespace
} // namespace tarn
