#pragma once
// Position variations for relabelling: from each position of an EPD file, a few positions one
// or two random legal moves away. Games alone give positions their players chose; a search
// also meets positions after odd moves, and a network that has seen them judges them better.
// The variations are written as bare FEN lines for the relabelling search ("-mktune2"), which
// drops those whose quiescence gain is large (a piece left hanging).

#include <cstdint>
#include <string>

namespace tarn {

constexpr int VARY_MAX_PER_POSITION = 64;

// Statistics of one run.
struct VaryCount {
    std::uint64_t read    = 0; // positions read
    std::uint64_t skipped = 0; // lines without a valid position
    std::uint64_t written = 0; // variations written
};

// Writes up to `per` variations of every position of input to output: variation i plays
// 1 + i % 2 random legal moves and is kept when the side to move then has a legal move and
// is not in check. Seeded, so a run can be repeated exactly. False when a file cannot be
// opened or written.
bool vary_positions(const std::string& input, const std::string& output, int per,
                    std::uint32_t seed, VaryCount& count);

} // namespace tarn
