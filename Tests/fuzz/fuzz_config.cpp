// The configuration file: "name = value" lines applied through the option setter, then the
// parameter table rebuilt as the next search would rebuild it. Files whose Hash lines ask for
// more than 16 MB, or that name files under /dev, /proc or /sys, are left out: they measure the
// machine, not the reader.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "eval/eval_params.h"
#include "frontend/config_file.h"
#include "frontend/engine_options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"

namespace tarn::fuzz {

namespace {

constexpr std::int64_t MAX_HASH_MB = 16;

bool harness_skips(const std::string& text) {
    for (std::size_t at = text.find("Hash"); at != std::string::npos;
         at             = text.find("Hash", at + 1)) {
        const std::size_t digit = text.find_first_of("0123456789", at);
        if (digit != std::string::npos &&
            std::strtoll(text.c_str() + digit, nullptr, 10) > MAX_HASH_MB)
            return true;
    }
    for (const char* dir : {"/dev", "/proc", "/sys"})
        if (text.find(dir) != std::string::npos)
            return true;
    return false;
}

} // namespace

int fuzz_config(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    if (harness_skips(as_text(data, size)))
        return 0;
    reset_engine();
    const std::string path = write_scratch("engine.cfg", data, size);
    copy_option_text(live_options.ConfigFilePath, OPTION_PATH_CHARS, path.c_str());
    load_config(path.c_str());
    refresh_eval_params();
    reset_engine();
    reset_search_tables();
    return 0;
}

} // namespace tarn::fuzz
