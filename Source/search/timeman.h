#pragma once
// Search limits and time: the set-up that runs before every search (clock start, per-search
// resets, the target time from the clock, increment and moves to go) and the time check that
// the front end runs about every millisecond while a timed search is on. Search threads never
// read the clock themselves, except inside the strength throttle.

namespace tarn {

struct SearchLimits;

// Starts the search clock.
void clock_start();
// elapsed = seconds since clock_start.
void clock_update();
// Prepares one search of the game position within `limits` (main thread, before the threads
// start): keeps the limits for the running search, clears the last search's results, resolves
// the strength limit, rebuilds the evaluation parameters when a configuration changed them,
// and sets the target time.
void search_setup(const SearchLimits& limits);
// Sets stop when the time for this move is used up; acts only on timed searches (mode 3).
void time_check();

// The iteration limit of a requested depth: below 1 searches depth 1 (the shallowest search
// that yields a move), beyond MAX_DEPTH is clamped to it; anything not a number counts as 1.
int search_depth_limit(double requested);

} // namespace tarn
