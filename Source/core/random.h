#pragma once
// The engine's own pseudo-random generator: a pair of 16-bit multiply-with-carry generators
// whose states combine into one 32-bit output. It draws the hash keys at start-up and the
// perturbation of the helper threads' root order; both need the same sequence on every
// platform, which the C library's generator does not promise.

#include <cstdint>

namespace tarn {

// The two halves of the state; both start at 1.
struct MwcState {
    std::uint32_t z = 1;
    std::uint32_t w = 1;
};

// Advances both halves one step and returns the combined output.
inline std::uint32_t mwc_next(MwcState& r) {
    r.z = 36969 * (r.z & 0xFFFF) + (r.z >> 16);
    r.w = 18000 * (r.w & 0xFFFF) + (r.w >> 16);
    return (r.z << 16) + r.w;
}

} // namespace tarn
