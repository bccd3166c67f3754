#include "tools/tool_search.h"

#include <string>

#include "core/platform.h"
#include "frontend/output.h"
#include "search/search_state.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace tarn {

namespace {

// Searches this shallow finish within microseconds: yield instead of sleeping.
constexpr int SHALLOW_DEPTH = 2;

} // namespace

void search_tool_position(const SearchLimits& limits, TypedLineHandler on_typed_line) {
    const SearchState& s = search_state;
    search_setup(limits);
    if (!start_search(MODE_BENCHMARK))
        end_on_thread_failure(THREAD_START_FAILED);
    // A typed command may change mode: "stop" and "quit" wait for the search and leave mode
    // idle, a typed "go" leaves a request that a tool has no use for.
    while (search_control.mode == MODE_BENCHMARK) {
        platform_sleep_ms(limits.max_depth > SHALLOW_DEPTH ? 1 : 0);
        time_check();
        if (limits.time_mode == TIME_FIXED_MOVE && s.elapsed >= limits.move_time)
            search_control.stop = 1;
        if (on_typed_line)
            poll_tool_input(on_typed_line);
    }
    if (search_control.mode & MODE_FINISHED)
        wait_for_search();
    search_control.mode = MODE_IDLE;
    search_control.stop = 0;
    clock_update();
    // A search can end before the loop above has looked at the input even once: look once
    // more, so that a typed command is seen after every position however short its search.
    if (on_typed_line)
        poll_tool_input(on_typed_line);
}

void poll_tool_input(TypedLineHandler on_typed_line) {
    if (!on_typed_line)
        return;
    std::string line;
    if (!poll_input(line))
        return;
    // The end of the input stream reads as "quit"; only a typed one counts here.
    if (line == "quit" && input_has_ended())
        return;
    on_typed_line(line);
}

} // namespace tarn
