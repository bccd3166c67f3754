#pragma once
// The search driver that every search thread runs for one "go": it prepares the thread's
// tables, builds and orders the root moves, deepens iteratively with aspiration windows and
// MultiPV lines, and (thread 0 only) publishes the best line; search/info_line.h prints it.

#include "core/board.h"

namespace tarn {

// Runs one search in the calling thread; thread 0 sets stop when it ends.
void search_driver(int thread_id);
// The root list after a fail high of the entry at `failing`: the places from `first` up to
// that one are selection-sorted by score, and every later entry scores one below the failing
// move's search score, so the re-search starts with the failing move.
void reorder_after_fail_high(MoveEntry* first, MoveEntry* failing);

} // namespace tarn
