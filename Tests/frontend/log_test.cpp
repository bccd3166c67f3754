// The log file: protocol lines as printed, and the received commands as "CMD:" lines.

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "core/fen.h"
#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "frontend/uci.h"
#include "search/thread_data.h"
#include "support/test_support.h"

namespace tarn {
namespace {

TEST(LogFile, HoldsPrintedLinesAndReceivedCommands) {
    const std::filesystem::path saved_dir = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarn_log_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    ThreadData* saved_main = main_thread;
    main_thread            = test::new_thread_data();
    parse_fen(main_thread->board.pos, START_FEN);
    const EngineOptions saved_options = live_options;
    const RunSettings saved_run       = run_settings;
    run_settings.protocol_mode        = PROTOCOL_UCI;

    {
        std::ofstream old(LOG_FILE_NAME);
        old << "an older run\n";
    }
    live_options.Log = 1;
    test::StdoutCapture capture;
    open_log();
    dispatch_line("isready");
    dispatch_line("position startpos moves e2e4 e7e5");
    live_options.Log = 0; // switched off: nothing more is written
    dispatch_line("isready");
    close_log();
    const std::string printed = capture.take();

    std::ifstream in(LOG_FILE_NAME);
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_EQ(printed, "readyok\nreadyok\n");
    EXPECT_EQ(log.str(), "CMD: isready\nreadyok\nCMD: position startpos moves e2e4 e7e5\n");

    live_options = saved_options;
    run_settings = saved_run;
    thread_data_destroy(main_thread);
    main_thread = saved_main;
    std::filesystem::current_path(saved_dir);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tarn
