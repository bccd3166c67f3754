#pragma once
// The Syzygy probes: win/draw/loss with captures and en passant resolved, distance to zeroing,
// and the root probe that ranks the moves under the fifty-move rule. Probes work on a bare
// probe position with a small move generator of their own, so any search thread can probe
// without touching its Position. Tables are registered by name; a file is mapped and parsed
// the first time a probe needs it, under one mutex, and is only read after that.

#include <cstdint>
#include <string>
#include <vector>

#include "core/board.h"
#include "tb/probe_board.h"

namespace tarn {

constexpr int TB_CAPACITY_PAWNLESS = 254; // tables without pawns the registry holds
constexpr int TB_CAPACITY_PAWNS    = 256; // tables with pawns

// The root probe's answer.
struct RootProbe {
    int wdl       = 0; // 0 loss, 1 blessed loss, 2 draw, 3 cursed win, 4 win (fifty-move rule)
    int dtz       = 0; // distance to zeroing of the chosen move, counted from the root
    int root_dtz  = 0; // distance to zeroing of the root position itself
    int from      = 0;
    int to        = 0;
    int promotion = 0; // piece type of a promotion, 0 for none
};

// Forgets every table (unmapping its files) and takes a new list of directories.
void syzygy_reset(const std::vector<std::string>& directories);
// Registers the table `name` whose WDL file lies in directory number `dir`. False, with an
// "info string" message, when the registry for its kind is full; false for a bad name.
bool syzygy_register(const char* name, int dir);

// WDL value -2..2 for the side to move, as if the fifty-move counter were 0.
bool probe_wdl(const ProbePosition& pos, int& wdl);
// Distance to zeroing, signed like WDL (0 for a draw), as if the fifty-move counter were 0.
bool probe_dtz(const ProbePosition& pos, int& dtz);
// Result under the fifty-move rule with the position's counter, and the move to play.
// False when any table needed is missing or corrupt, or when there is no legal move.
bool probe_root(const ProbePosition& pos, RootProbe& result);

} // namespace tarn
