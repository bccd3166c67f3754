#include <gtest/gtest.h>

#include "frontend/calibration.h"
#include "frontend/engine_options.h"
#include "frontend/game_record.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// The speed measurement at start-up searches its own node budget: a depth or time that the
// switches chose for the engine's searches ("-d 2", "-t") must neither shorten it nor be
// changed by it.
TEST(Calibration, MeasuresItsOwnBudgetWhateverTheSwitchesChose) {
    ThreadData* saved_main            = main_thread;
    const EngineOptions saved_options = live_options;
    const double saved_nps            = search_state.calibration_nps;
    const double saved_ceiling        = search_state.elo_ceiling;
    const SearchLimits saved_limits   = game_limits;
    main_thread                       = test::new_thread_data();
    ASSERT_TRUE(tt_allocate(1));
    game_limits           = SearchLimits{};
    game_limits.max_depth = 2;
    game_limits.move_time = 0.001;

    testing::internal::CaptureStdout();
    calibrate();
    const std::string printed = testing::internal::GetCapturedStdout();

    ASSERT_NE(thread_records[0], nullptr);
    // The node budget ends the search after the iteration that passes three quarters of it.
    EXPECT_GT(thread_records[0]->nodes, 35000u * 3 / 4);
    EXPECT_GT(thread_records[0]->iteration_depth, 2);
    EXPECT_GT(search_state.calibration_nps, 0.0);
    EXPECT_NE(printed.find("calibration nps= "), std::string::npos) << printed;
    EXPECT_EQ(game_limits.max_depth, 2);
    EXPECT_EQ(game_limits.node_limit, 0u);
    EXPECT_EQ(search_control.mode, MODE_IDLE);

    release_thread_records(0);
    tt_free();
    thread_data_destroy(main_thread);
    main_thread                  = saved_main;
    live_options                 = saved_options;
    game_limits                  = saved_limits;
    search_state.calibration_nps = saved_nps;
    search_state.elo_ceiling     = saved_ceiling;
}

} // namespace
} // namespace tarn
