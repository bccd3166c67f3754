#include "tools/batch_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "frontend/engine_options.h"
#include "frontend/run_settings.h"
#include "frontend/switches.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn::test {

void BatchTool::SetUp() {
    work_dir_ = (std::filesystem::temp_directory_path() / "tarn_batch_XXXXXX").string();
    ASSERT_NE(mkdtemp(work_dir_.data()), nullptr);
    saved_dir_ = std::filesystem::current_path().string();
    std::filesystem::current_path(work_dir_);
    saved_main_ = main_thread;
    main_thread = new_thread_data();
    write_startup_defaults();
    live_options.options_changed = 0; // as after start-up, which has set the parameters
    run_settings.noise           = NOISE_SILENT;
    search_state.threads         = 1;
    search_state.hash_mb         = 1;
    search_state.use_hash        = 1;
    {
        StdoutCapture quiet;
        tt_allocate(search_state.hash_mb);
    }
    input_ = std::make_unique<StdinPipe>();
}

void BatchTool::TearDown() {
    input_.reset();
    release_thread_records(0);
    tt_free();
    thread_data_destroy(main_thread);
    main_thread = saved_main_;
    write_startup_defaults();
    search_state.use_hash = 1;
    search_control.mode   = MODE_IDLE;
    search_control.stop   = 0;
    std::filesystem::current_path(saved_dir_);
    std::error_code ignored;
    std::filesystem::remove_all(work_dir_, ignored);
}

namespace {

bool like_from(const char* t, const char* p) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!*p)
        return !*t;
    if (*p == '#') {
        t += *t == '-';
        if (!digit(*t))
            return false;
        while (digit(*t))
            ++t;
        return like_from(t, p + 1);
    }
    if (*p == '*') {
        for (const char* end = t; *end && *end != ' '; ++end)
            if (like_from(end + 1, p + 1))
                return true;
        return false;
    }
    return *t == *p && like_from(t + 1, p + 1);
}

} // namespace

bool like(const std::string& text, const std::string& pattern) {
    return like_from(text.c_str(), pattern.c_str());
}

void write_text_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "missing file " << path;
        return "";
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tarn::test
