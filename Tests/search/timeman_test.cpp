#include <gtest/gtest.h>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/platform.h"
#include "eval/evaluate.h"
#include "frontend/engine_options.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// search_setup on a game record of its own with a strong, unlimited engine and no pondering.
class TimeControl : public ::testing::Test {
protected:
    void SetUp() override {
        saved_main_    = main_thread;
        saved_options_ = live_options;
        saved_run_     = run_settings;
        main_thread    = test::new_thread_data();
        parse_fen(main_thread->board.pos, START_FEN);
        run_settings.noise             = NOISE_SILENT;
        live_options.Ponder            = 0;
        live_options.UCI_LimitStrength = 0;
        live_options.MoveOverhead      = 50;
        search_state.calibration_nps   = 5e6;
        search_state.elo_ceiling       = 3000;
        limits_.time_mode              = TIME_SUDDEN_DEATH;
    }
    void TearDown() override {
        thread_data_destroy(main_thread);
        main_thread                    = saved_main_;
        live_options                   = saved_options_;
        run_settings                   = saved_run_;
        search_control.mode            = MODE_IDLE;
        search_control.stop            = 0;
        search_results.iteration_depth = 0;
        release_thread_records(0);
    }
    // Plays quiet knight moves until game_ply reaches n.
    void advance_to_ply(int n) {
        const Move shuffle[4] = {make_move_code(6, 21), make_move_code(62, 45),
                                 make_move_code(21, 6), make_move_code(45, 62)};
        for (int i = 0; main_thread->board.game_ply < n; ++i)
            make_move(main_thread->board.pos, shuffle[i % 4]);
    }
    SearchLimits limits_; // what each test hands to search_setup
    ThreadData* saved_main_ = nullptr;
    EngineOptions saved_options_;
    RunSettings saved_run_;
};

TEST_F(TimeControl, SuddenDeathAtTheStart) {
    limits_.clock[WHITE] = 60;
    search_setup(limits_);
    EXPECT_NEAR(search_state.target_time, 60.0 / 33, 1e-9);
}

TEST_F(TimeControl, EngineSideBonusFollowsTheTargetTime) {
    limits_.clock[WHITE] = 60;
    search_setup(limits_);
    EXPECT_TRUE(search_state.eval_bias.active);
    EXPECT_EQ(search_state.eval_bias.side, WHITE);
    limits_.time_mode = TIME_FIXED_MOVE;
    limits_.move_time = 1e7; // analysis
    search_setup(limits_);
    EXPECT_FALSE(search_state.eval_bias.active);
}

TEST_F(TimeControl, IncrementLaterInTheGame) {
    advance_to_ply(40);
    limits_.clock[WHITE] = 10;
    limits_.increment    = 0.1;
    search_setup(limits_);
    EXPECT_NEAR(search_state.target_time, 10.0 / 24 + 10.0 / 10.2 * 0.1, 1e-9);
}

TEST_F(TimeControl, PonderingAndWeakLevelsScaleTheTarget) {
    limits_.clock[WHITE] = 60;
    live_options.Ponder  = 1;
    search_setup(limits_);
    EXPECT_NEAR(search_state.target_time, 60.0 / 33 * 1.3, 1e-9);
    live_options.Ponder      = 0;
    search_state.elo_ceiling = 2300; // the engine's level falls below 2400
    search_setup(limits_);
    EXPECT_NEAR(search_state.target_time, 60.0 / 33 * 0.85, 1e-9);
}

TEST_F(TimeControl, EmptyClockStillGivesATarget) {
    limits_.clock[WHITE] = 0;
    search_setup(limits_);
    EXPECT_DOUBLE_EQ(search_state.target_time, 0.002);
}

TEST_F(TimeControl, FixedTimePerMove) {
    limits_.time_mode = TIME_FIXED_MOVE;
    limits_.move_time = 2.5;
    search_setup(limits_);
    EXPECT_DOUBLE_EQ(search_state.target_time, 2.5);
    EXPECT_DOUBLE_EQ(search_state.limits.clock[WHITE], 2.5);
    EXPECT_DOUBLE_EQ(limits_.clock[WHITE], 5.0); // the caller's limits stay as they were
}

TEST_F(TimeControl, SearchAgeWrapsAfterThirtyOne) {
    search_state.search_age = 30;
    search_setup(limits_);
    EXPECT_EQ(search_state.search_age, 31);
    search_setup(limits_);
    EXPECT_EQ(search_state.search_age, 1);
}

TEST_F(TimeControl, TimeCheckStopsAtTheLimit) {
    limits_.time_mode = TIME_FIXED_MOVE;
    limits_.move_time = 1.0;
    search_setup(limits_);
    ASSERT_TRUE(thread_init(0));
    search_control.mode            = MODE_SEARCHING;
    search_results.iteration_depth = 3;
    search_state.start_time        = platform_now() - 0.5;
    time_check();
    EXPECT_EQ(search_control.stop, 0);
    search_state.start_time = platform_now() - 1.01;
    time_check();
    EXPECT_EQ(search_control.stop, 1);
    // A pondering search never stops by time.
    search_control.stop = 0;
    search_control.mode = MODE_PONDERING;
    time_check();
    EXPECT_EQ(search_control.stop, 0);
}

TEST_F(TimeControl, FailingLowBuysTime) {
    limits_.clock[WHITE] = 60;
    search_setup(limits_);
    ASSERT_TRUE(thread_init(0));
    search_control.mode            = MODE_SEARCHING;
    search_results.iteration_depth = 8;
    const double target            = search_state.target_time;
    search_state.start_time        = platform_now() - (target + 0.5);
    thread_records[0]->root_fail   = 1; // a quarter of the remaining clock is added
    time_check();
    EXPECT_EQ(search_control.stop, 0);
    thread_records[0]->root_fail = 0;
    search_results.change_depth  = 1; // a best move stable for long: less time
    search_results.best_score    = 0;
    time_check();
    EXPECT_EQ(search_control.stop, 1);
}

// With a clock too short for the usual first wait, a move ends as soon as its target has
// passed, so that a small increment is not spent in full on every move; a comfortable clock
// still waits out the first 15 ms.
TEST_F(TimeControl, ShortClockStopsBeforeTheFirstWait) {
    limits_.clock[WHITE] = 0.3;
    limits_.increment    = 0.01;
    search_setup(limits_);
    ASSERT_LT(search_state.target_time, 0.01);
    ASSERT_TRUE(thread_init(0));
    search_control.mode            = MODE_SEARCHING;
    search_results.iteration_depth = 2;
    search_state.start_time        = platform_now() - (search_state.target_time + 0.001);
    time_check();
    EXPECT_EQ(search_control.stop, 1);

    search_control.stop  = 0;
    limits_.clock[WHITE] = 60;
    search_setup(limits_);
    search_control.mode            = MODE_SEARCHING;
    search_results.iteration_depth = 2;
    search_state.start_time        = platform_now() - 0.005;
    time_check();
    EXPECT_EQ(search_control.stop, 0);
}

// "go movetime" answers within the time asked for: the move overhead (at most a tenth of the
// time) is kept for the reply's way to the GUI. Other protocols search the full time.
TEST_F(TimeControl, FixedTimeLeavesTheOverheadToTheGui) {
    limits_.time_mode = TIME_FIXED_MOVE;
    limits_.move_time = 1.0;
    for (const int protocol : {PROTOCOL_UCI, PROTOCOL_CONSOLE}) {
        run_settings.protocol_mode = static_cast<std::uint8_t>(protocol);
        search_setup(limits_);
        ASSERT_TRUE(thread_init(0));
        search_control.stop            = 0;
        search_control.mode            = MODE_SEARCHING;
        search_results.iteration_depth = 3;
        search_state.start_time        = platform_now() - 0.96;
        time_check();
        EXPECT_EQ(search_control.stop, protocol == PROTOCOL_UCI ? 1 : 0) << protocol;
    }
    // A short fixed time keeps only a tenth of itself.
    run_settings.protocol_mode = PROTOCOL_UCI;
    limits_.move_time          = 0.2;
    search_setup(limits_);
    search_control.stop            = 0;
    search_control.mode            = MODE_SEARCHING;
    search_results.iteration_depth = 3;
    search_state.start_time        = platform_now() - 0.17;
    time_check();
    EXPECT_EQ(search_control.stop, 0);
    search_state.start_time = platform_now() - 0.185;
    time_check();
    EXPECT_EQ(search_control.stop, 1);
}

} // namespace
} // namespace tarn
