#pragma once
// How the batch tools search: one position at a time, on a search thread (with its helpers
// when Threads is above 1), while the calling thread sleeps in steps of a millisecond, keeps
// the clock and, when asked, takes typed commands so that "stop" ends the search and "quit"
// the run. The interactive time check leaves benchmark-mode searches alone, so the wait
// itself ends a search that has used up a fixed time per move ("-t").

#include <string>

namespace tarn {

struct SearchLimits;

// What a tool does with a line typed while it runs: the front end passes its command
// dispatcher; nullptr leaves typed lines unread.
using TypedLineHandler = void (*)(const std::string& line);

// Searches the game position within `limits`; the result is in SearchResults (best_score, pv,
// nodes, last_depth) and SearchState (elapsed), and mode is idle again on return. Typed lines
// go to on_typed_line during the wait.
void search_tool_position(const SearchLimits& limits, TypedLineHandler on_typed_line);
// Hands at most one typed line to on_typed_line (nothing when it is nullptr). Once standard
// input has ended there are no more lines: a tool started without a terminal or pipe runs to
// the end of its file.
void poll_tool_input(TypedLineHandler on_typed_line);

} // namespace tarn
