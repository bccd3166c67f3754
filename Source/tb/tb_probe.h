#pragma once
// The engine's view of the endgame tablebases. tb_init finds the tables in the directories of
// the "SyzygyPath" option; tb_probe_node gives the node search a win/draw/loss result and
// tb_probe_root gives the search driver the result under the fifty-move rule and the move to
// play. Results share one scale from the side to move's view: 0 loss, 1 loss saved by the
// fifty-move rule, 2 draw, 3 win spoilt by the fifty-move rule, 4 win; -1 when not probed.

#include "core/board.h"
#include "tb/syzygy_probe.h"

namespace tarn {

constexpr int TB_NONE             = -1;
constexpr int TB_LOSS             = 0;
constexpr int TB_BLESSED_LOSS     = 1;
constexpr int TB_DRAW             = 2;
constexpr int TB_CURSED_WIN       = 3;
constexpr int TB_WIN              = 4;
constexpr int TB_PATH_CHARS       = 259; // longest file path looked at
constexpr const char* TB_NO_PATH  = "<empty>";
constexpr int TB_ROOT_PROBE_DEPTH = 70; // a depth at which tb_probe_node always probes

// (Re)loads the tablebase set from a ";"-separated list of directories; an empty list or
// "<empty>" means none. Prints "info string found %d tablebases" unless the list is empty.
// Must not run while a search probes.
void tb_init(const char* path);
// Largest piece count (kings included) among the tables found; 0 when none.
int tb_largest();

// What the probes see of a Position, with the given fifty-move counter.
ProbePosition tb_probe_position(const Position& pos, unsigned rule50);
// Result of a node in the search at remaining depth `depth`, or TB_NONE.
int tb_probe_node(const Position& pos, int depth);
// Result of the root with its fifty-move counter, the move to play and that move's distance
// to zeroing; TB_NONE (and move 0) when the tables cannot answer.
int tb_probe_root(const Position& pos, Move& move, int& dtz);

} // namespace tarn
