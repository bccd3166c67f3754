#pragma once
// Helpers of the evaluation tests: one-time table set-up, scores of FEN positions, and the
// colour-flipped and file-mirrored forms of a FEN.

#include <string>

#include "eval/hce.h"
#include "search/thread_data.h"

namespace tarn::test {

// Builds the start-up tables once and the parameter table with the default weights every
// time.
void init_eval();
// Zeroes every weight except one, which becomes `mid` / 0, so that a colour's packed score
// counts that term alone (1000 per unit by default). init_eval restores the defaults.
void isolate_param(int index, int mid = 1000);
// What an isolated weight adds when weighted by w.
int isolated_weight(float w);
// Sets the position and returns its hand-crafted score from the side to move's view, made
// afresh (ply 1).
int hce_of(ThreadData& td, const char* fen);
// Sets the position and fills the scratch with its packed scores (no endings, no blend).
HceScratch terms_of(ThreadData& td, const char* fen);
// The same position with colours swapped: board turned top-bottom, side, castling and en
// passant mirrored.
std::string flip_colours(const std::string& fen);
// The same position mirrored left-right (castling rights dropped).
std::string mirror_files(const std::string& fen);

} // namespace tarn::test
