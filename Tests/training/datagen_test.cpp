#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/movegen.h"
#include "datagen/datagen.h"
#include "eval/nn_support.h"
#include "frontend/engine_options.h"
#include "frontend/run_settings.h"
#include "frontend/startup.h"
#include "match/rules.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "support/test_support.h"
#include "tb/tb_probe.h"
#include "tools/tune_data.h"
#include "trainer/train_data.h"

namespace tarn {
namespace {

// Short games at a few hundred nodes a move on a game record of the test's own; every
// process-wide setting the generator changes is put back afterwards.
class Datagen : public ::testing::Test {
protected:
    void SetUp() override {
        saved_main_ = main_thread;
        saved_live_ = live_options;
        saved_run_  = run_settings;
        rules_setup(true);
        main_thread             = test::new_thread_data();
        config_.soft_nodes      = 300;
        config_.games_per_chunk = 3;
        config_.max_plies       = 90;
        config_.hash_mb         = 1;
        config_.chess960_share  = 0.3;
        testing::internal::CaptureStdout();
        const bool ready = datagen_setup(config_);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ready);
    }
    void TearDown() override {
        release_thread_records(0);
        tt_free();
        tb_init("");
        thread_data_destroy(main_thread);
        main_thread         = saved_main_;
        live_options        = saved_live_;
        run_settings        = saved_run_;
        search_control.mode = MODE_IDLE;
        search_control.stop = 0;
    }
    // Plays the game of a seed; its records are appended to records.
    DatagenGame play(std::uint64_t seed, std::vector<TrainingRecord>& records) {
        DatagenGame game;
        play_datagen_game(config_, seed, game, records);
        return game;
    }
    bool load_tables() {
        const std::string path = test::shared_data("syzygy");
        if (!test::has_shared_data("syzygy"))
            return false;
        testing::internal::CaptureStdout();
        tb_init(path.c_str());
        testing::internal::GetCapturedStdout();
        return tb_largest() >= 4;
    }
    DatagenConfig config_;
    ThreadData* saved_main_ = nullptr;
    EngineOptions saved_live_;
    RunSettings saved_run_;
};

// Replays a game from its start position, calling visit(board, ply) before every move and at
// the end (ply = number of moves).
template <typename Visit> void replay(const DatagenGame& game, GameBoard& board, Visit visit) {
    std::string error;
    ASSERT_TRUE(board_set(board, game.start_fen, error)) << error;
    for (std::size_t ply = 0; ply < game.moves.size(); ++ply) {
        visit(board, ply);
        bool legal = false;
        for (const Move m : board_legal_moves(board))
            legal = legal || m == game.moves[ply];
        ASSERT_TRUE(legal) << "move " << ply << " of " << game.start_fen;
        board_play(board, game.moves[ply]);
    }
    visit(board, game.moves.size());
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(Datagen, RecordsDecodeToThePositionsPlayedBeforeQuietMoves) {
    int records_seen = 0, chess960_games = 0;
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        std::vector<TrainingRecord> records;
        const DatagenGame game = play(datagen_game_seed(5, 1, static_cast<int>(seed)), records);
        if (game.end == END_OPENING_DROPPED)
            continue;
        chess960_games += game.start_fen.rfind("rnbqkbnr/", 0) != 0;
        // Pack and decode with the trainer's reader, then find each record, in order, among the
        // positions searched (after the random plies) whose move was quiet.
        std::size_t next = 0;
        GameBoard board;
        replay(game, board, [&](GameBoard& b, std::size_t ply) {
            if (next == records.size() || static_cast<int>(ply) < game.random_plies)
                return;
            std::uint8_t bytes[TRAINING_RECORD_BYTES];
            pack_training_record(records[next], bytes);
            TrainingRecord decoded;
            ASSERT_TRUE(decode_training_record(bytes, decoded));
            const Position& pos = b.td->board.pos;
            if (!std::equal(pos.board, pos.board + 64, decoded.board) || decoded.side != pos.side)
                return;
            EXPECT_EQ(decoded.castle_rights, pos.castle_rights);
            EXPECT_FALSE(board_in_check(b));
            EXPECT_LT(std::abs(decoded.score_first), 9000);
            ThreadData* td = test::new_thread_data();
            EXPECT_EQ(record_position(bytes, *td, decoded), RECORD_KEPT);
            thread_data_destroy(td);
            ++next;
            if (ply == game.moves.size()) // searched, then the game was adjudicated
                return;
            const Move m    = game.moves[ply];
            const bool pawn = type_of(pos.board[move_from(m)]) == PAWN;
            const bool quiet =
                is_castling(pos, m) || (pos.board[move_to(m)] == 0 &&
                                        !(pawn && (move_flags(m) || move_to(m) == pos.ep_square)));
            EXPECT_TRUE(quiet) << "the position before a capture or promotion was recorded";
        });
        board_free(board);
        EXPECT_EQ(next, records.size()) << "records that are no position of " << game.start_fen;
        records_seen += static_cast<int>(records.size());
    }
    EXPECT_GT(records_seen, 50);
    EXPECT_GT(chess960_games, 0);
}

TEST_F(Datagen, ResultsAgreeWithHowTheGameEnded) {
    config_.max_plies = 300;
    config_.win_plies = 4;
    for (int g = 0; g < 10; ++g) {
        std::vector<TrainingRecord> records;
        const DatagenGame game = play(datagen_game_seed(7, 2, g), records);
        if (game.end == END_OPENING_DROPPED)
            continue;
        GameBoard board;
        replay(game, board, [](GameBoard&, std::size_t) {});
        const RuleEnd rule = board_rule_end(board);
        switch (game.end) {
        case END_CHECKMATE:
            ASSERT_EQ(rule, RULE_CHECKMATE);
            EXPECT_EQ(game.result, board_side(board) == WHITE ? 0.0 : 1.0);
            break;
        case END_STALEMATE:
        case END_REPETITION:
        case END_FIFTY_MOVES:
        case END_MATERIAL:
            EXPECT_NE(rule, RULE_NONE);
            EXPECT_EQ(game.result, 0.5);
            break;
        case END_MOVE_CAP:
            EXPECT_EQ(static_cast<int>(game.moves.size()), config_.max_plies);
            EXPECT_EQ(game.result, 0.5);
            break;
        default:
            EXPECT_EQ(rule, RULE_NONE) << "the rules had ended the game already";
        }
        board_free(board);
        // Without tablebases every record carries the game's result from its mover's view.
        for (const TrainingRecord& r : records) {
            const double mover = r.side == WHITE ? game.result : 1.0 - game.result;
            EXPECT_EQ(r.result_value, result_value(mover));
        }
        // A won adjudication agrees with the last scores.
        if (game.end == END_WIN_ADJUDICATED && !records.empty()) {
            const TrainingRecord& last = records.back();
            const int white_score      = last.side == WHITE ? last.score_first : -last.score_first;
            EXPECT_EQ(white_score > 0, game.result == 1.0);
        }
    }
}

TEST_F(Datagen, TablebasesDecideTheEndingsTheyHold) {
    if (!load_tables())
        GTEST_SKIP() << test::no_shared_data("syzygy");
    config_.tablebases     = true;
    config_.random_plies   = 0;
    config_.chess960_share = 0;
    struct Case {
        const char* fen;
        double white_result;
    };
    // Won, lost and drawn for the side to move, and a five-man position whose best move takes
    // the rook into a four-man table the run holds.
    const Case cases[] = {{"8/8/8/4k3/8/8/8/KQ6 w - - 0 1", 1.0},
                          {"8/8/8/4k3/8/8/7q/K7 w - - 0 1", 0.0},
                          {"8/8/4r3/4k3/8/8/8/KR6 w - - 0 1", 0.5},
                          {"8/8/8/4k3/8/8/2r5/KQ6 w - - 0 1", 1.0}};
    for (const Case& c : cases) {
        config_.openings = {c.fen};
        std::vector<TrainingRecord> records;
        const DatagenGame game = play(11, records);
        EXPECT_EQ(game.end, END_TABLEBASE) << c.fen;
        EXPECT_EQ(game.result, c.white_result) << c.fen;
        EXPECT_TRUE(records.empty()) << c.fen << ": a capture or a table score was recorded";
    }
}

TEST_F(Datagen, AResumedRunWritesWhatAnUninterruptedOneWrites) {
    const std::string whole = test::scratch_path("whole");
    const std::string parts = test::scratch_path("parts");
    for (const std::string& d : {whole, parts}) {
        std::filesystem::remove_all(d);
        std::filesystem::create_directories(d);
    }
    config_.seed = 21;
    DatagenCounts counts;
    ASSERT_TRUE(run_datagen_chunk(config_, whole, 1, counts));
    ASSERT_TRUE(run_datagen_chunk(config_, whole, 2, counts));
    // The interrupted run: chunk 1 done, chunk 2 killed while its records were being written
    // (a torn side file, and a stale record file without its marker), and a fresh process.
    ASSERT_TRUE(run_datagen_chunk(config_, parts, 1, counts));
    std::ofstream(chunk_file(parts, 2) + ".part") << "torn";
    std::ofstream(chunk_file(parts, 2)) << "stale";
    release_thread_records(0);
    DatagenCounts resumed;
    ASSERT_TRUE(run_datagen_chunk(config_, parts, 1, resumed));
    EXPECT_EQ(resumed.games + resumed.dropped, 0u) << "a done chunk was played again";
    ASSERT_TRUE(run_datagen_chunk(config_, parts, 2, resumed));
    EXPECT_EQ(resumed.games + resumed.dropped, 3u);
    for (int k = 1; k <= 2; ++k) {
        const std::vector<std::uint8_t> a = file_bytes(chunk_file(whole, k));
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a.size() % TRAINING_RECORD_BYTES, 0u);
        EXPECT_EQ(a, file_bytes(chunk_file(parts, k))) << "chunk " << k;
        EXPECT_TRUE(std::filesystem::exists(chunk_done_file(parts, k)));
    }
    EXPECT_NE(file_bytes(chunk_file(whole, 1)), file_bytes(chunk_file(whole, 2)));
    EXPECT_FALSE(std::filesystem::exists(chunk_file(parts, 2) + ".part"));
    std::filesystem::remove_all(whole);
    std::filesystem::remove_all(parts);
}

TEST_F(Datagen, HardNodeLimitEndsASearchWithinItsIteration) {
    // A soft limit far above the hard one: only the hard limit can stop the search.
    config_.soft_nodes = 1000000;
    config_.hard_nodes = 2000;
    ASSERT_TRUE(datagen_setup(config_));
    config_.chess960_share = 0;
    config_.random_plies   = 0;
    config_.max_plies      = 4;
    std::vector<TrainingRecord> records;
    const DatagenGame game = play(3, records);
    ASSERT_EQ(game.end, END_MOVE_CAP);
    // Four searches, each stopped at its first node past the limit.
    EXPECT_GE(game.nodes, 4u * 2000u);
    EXPECT_LE(game.nodes, 4u * 2100u);
}

} // namespace
} // namespace tarn
