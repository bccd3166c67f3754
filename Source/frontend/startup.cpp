#include "frontend/startup.h"

#include <cstdlib>

#include "book/book_build.h"
#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/platform.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "eval/nn_file.h"
#include "frontend/bench.h"
#include "frontend/calibration.h"
#include "frontend/config_file.h"
#include "frontend/engine_options.h"
#include "frontend/game_record.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "frontend/switches.h"
#include "frontend/uci.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"
#include "tools/anepd.h"
#include "tools/scan_pgn.h"
#include "tools/tune_data.h"

namespace tarn {

RunSettings run_settings;

namespace {

void size_hash_for_small_searches() {
    const int depth = game_limits.max_depth;
    if (depth < 8)
        live_options.Hash = 1;
    else if (depth < 13)
        live_options.Hash = 1 << (depth - 7);
    const std::uint64_t n = game_limits.node_limit;
    if (n == 0)
        return;
    live_options.Hash = n <= 32000     ? 1
                        : n <= 64000   ? 2
                        : n <= 128000  ? 4
                        : n <= 256000  ? 8
                        : n <= 512000  ? 16
                        : n <= 1024000 ? 32
                                       : 64;
}

int run_interactive() {
    calibrate();
    tb_init(live_options.SyzygyPath);
    parse_fen(main_thread->board.pos, START_FEN);
    if (run_settings.protocol_mode == PROTOCOL_CONSOLE)
        show_board(main_thread->board.pos);
    run_settings.quit = 0;
    main_loop();
    return 0;
}

} // namespace

void init_engine_tables() {
    attack_tables_init();
    eval_tables_init();
    generate_keys();
    init_eval_params();
}

int tarn_main(int argc, const char* const* argv) {
    std::srand(static_cast<unsigned>(static_cast<long long>(platform_now() * 1000.0)));
    main_thread = thread_data_create();
    if (!main_thread)
        return 1;
    attack_tables_init();
    eval_tables_init();
    write_startup_defaults();

    const SwitchResult choice = parse_switches(argc, argv);
    if (choice.exit_status >= 0) {
        thread_data_destroy(main_thread);
        return choice.exit_status;
    }
    if (choice.run_mode >= RUN_TUNE_FIRST && choice.run_mode <= RUN_MKTRAINDATA) {
        print_direct("Need to compile with 'make ttune'\n\n");
        thread_data_destroy(main_thread);
        return 1;
    }
    search_state.threads = live_options.Threads;
    print_format("info string Hello from %s", ENGINE_NAME);
    size_hash_for_small_searches();
    if (!tt_resize(live_options.Hash))
        live_options.Hash = search_state.hash_mb;
    if (live_options.Log && !log_is_open())
        open_log();
    const int timer_period =
        (choice.run_mode == RUN_MKTUNE1 || choice.run_mode == RUN_MKTUNE2) ? 1 : 5;
    const bool timer_set = platform_timer_begin(timer_period);
    saved_options        = live_options;
    if (live_options.ConfigFilePath[0])
        load_config(live_options.ConfigFilePath);
    init_eval_params();
    live_options.options_changed = 0;
    // A network file named by the configuration that cannot be opened, or a network that does
    // not fit in memory, ends the run as a start-up failure instead of playing without it.
    const NnLoadResult loaded = load_network(live_options.NN_File);

    int status = 0;
    if (loaded == NN_CANT_OPEN || loaded == NN_NO_MEMORY) {
        status = 1;
    } else {
        switch (choice.run_mode) {
        case RUN_ENGINE:
            status = run_interactive();
            break;
        case RUN_MKCONFIG:
            status = 0;
            break;
        case RUN_BENCH:
            run_benchmark(game_limits, choice.bench_inline, choice.bench_summary);
            status = 0;
            break;
        case RUN_MKBOOK:
            build_book(main_thread->board, run_settings.pgn_file);
            status = 0;
            break;
        case RUN_ANEPD:
            analyse_epd_file(run_settings.input_file, run_settings.output_file, game_limits,
                             dispatch_line);
            break;
        case RUN_SCAN_PGN1:
        case RUN_SCAN_PGN1 + 1:
        case RUN_SCAN_PGN1 + 2:
        case RUN_SCAN_PGN4:
            scan_pgn(run_settings.pgn_file, run_settings.output_file,
                     choice.run_mode - RUN_SCAN_PGN1 + 1);
            break;
        case RUN_MKTUNE1:
        case RUN_MKTUNE2:
            build_tuning_set(run_settings.input_file, run_settings.output_file,
                             choice.run_mode - RUN_MKTUNE1 + 1, game_limits, dispatch_line);
            break;
        case RUN_EPD2BIN:
            convert_training_data(run_settings.input_file);
            break;
        default:
            print_line("info string this run mode is not available in this build");
            status = 1;
            break;
        }
    }

    release_thread_records(0);
    tt_free();
    if (timer_set)
        platform_timer_end(timer_period);
    close_log();
    thread_data_destroy(main_thread);
    main_thread = nullptr;
    return status;
}

} // namespace tarn
