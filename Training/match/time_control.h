#pragma once
// Search limits of one engine and the clock the runner keeps for it. A clock control
// ("40/60+0.6": moves per period / seconds + increment) is charged with the time between
// sending "go" and reading "bestmove"; the flag falls when that exceeds the time left plus the
// engine's margin. Fixed time per move, nodes and depth may stand alone or join a clock. A
// search without any time limit still has a hang limit, past which the engine is given up.

#include <cstdint>
#include <string>

namespace tarn {

constexpr double DEFAULT_HANG_SECONDS = 30.0;
// What time_left_after() gives when nothing limits a side's time.
constexpr double NO_DEADLINE = 1e30;

// What limits an engine's searches; everything 0 is "not set".
struct TimeControl {
    bool has_clock      = false; // a clock control was given
    int moves           = 0;     // moves per period; 0 = the whole game is one period
    double base         = 0.0;   // seconds per period
    double increment    = 0.0;   // seconds added after each move
    double move_time    = 0.0;   // fixed seconds per move ("st")
    std::uint64_t nodes = 0;     // "go nodes"
    int depth           = 0;     // "go depth"
    double margin       = 0.0;   // seconds past a time limit before the flag falls
    double hang_limit   = DEFAULT_HANG_SECONDS; // searches without a time limit
};

// The runner's clock of one side in one game.
struct Clock {
    double remaining = 0.0; // seconds on the clock
    int moves_left   = 0;   // moves until the period ends; 0 when there are no periods
};

// Reads a clock control: "40/60+0.6", "40/1:30", "60+0.6", "60", "inf". "inf" clears the clock.
// False with a message when the text is not one of these.
bool parse_clock_control(const std::string& text, TimeControl& tc, std::string& error);
// True when a search under tc ends by itself (a clock, a move time, nodes or depth).
bool has_search_limit(const TimeControl& tc);
// Text for the PGN TimeControl tag: "40/60+0.6", "60+0.6", "0.5/move", or "-" when only nodes
// or depth limit the search.
std::string time_control_tag(const TimeControl& tc);

// A full clock at the start of a game.
Clock clock_start(const TimeControl& tc);
// The "go" command for side (0 white, 1 black) to move, with both clocks.
std::string go_command(const TimeControl tcs[2], const Clock clocks[2], int side);
// Seconds the side under tc may take before it has lost on time or is taken to hang.
double think_limit(const TimeControl& tc, const Clock& clock);
// Seconds that were left before the time limit when a move took `seconds` (negative: past it,
// within the margin or beyond); a very large number when no clock or move time limits the side.
double time_left_after(const TimeControl& tc, const Clock& clock, double seconds);
// Charges a move that took `seconds`; false when the flag fell (the clock is left at 0).
// Otherwise adds the increment and starts the next period when this one is used up.
bool clock_charge(Clock& clock, const TimeControl& tc, double seconds);

} // namespace tarn
