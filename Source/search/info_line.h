#pragma once
// The lines a running search prints: the principal variation in its UCI form or its console
// form, the progress line with the root move being searched, and the final line. Only thread
// 0 prints. Every line is built under the info lock with freshly summed counters, and the
// "-noise" time holds lines back until the search has run that long or has stopped.

#include "core/board.h"

namespace tarn {

// True once lines may be printed: the search has stopped or has run past the noise time.
bool info_noise_passed();
// The UCI progress of thread 0 at root move number move_index (from 0): "currmove", and
// before the first move the depth, time and node counts; nothing in the first seconds.
void print_root_move(int move_index, Move move);
// The info line of a principal variation (UCI), or its console form.
void print_pv_line(int thread_id, int multipv_index, int depth, int score, const Move* pv);
// The final line after a search; nothing when the search was silent or found no move.
void print_final_line();

} // namespace tarn
