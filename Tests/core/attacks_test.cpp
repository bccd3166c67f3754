// Sliding attacks: the magic-indexed tables must give exactly the attacks traced along the
// rays for every blocker set that matters, whatever stands elsewhere on the board.

#include <gtest/gtest.h>
#include <random>

#include "core/attacks.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class SlidingAttacks : public ::testing::Test {
protected:
    void SetUp() override { thread_data_destroy(test::new_thread_data()); } // builds the tables
};

TEST_F(SlidingAttacks, EveryRelevantBlockerSetMatchesTheRays) {
    std::mt19937_64 noise(7);
    for (int sq = 0; sq < 64; ++sq) {
        for (const bool rook : {true, false}) {
            const SliderMagic& m =
                rook ? attack_tables.rook_magic[sq] : attack_tables.bishop_magic[sq];
            ASSERT_NE(m.mask, 0u);
            ASSERT_EQ(m.shift, 64 - popcount(m.mask));
            Bitboard blockers = 0;
            do {
                // Pieces off the lines (and on the edge squares) must not change the answer.
                const Bitboard occ = blockers | (noise() & ~m.mask);
                const Bitboard want =
                    rook ? rook_attacks_traced(sq, occ) : bishop_attacks_traced(sq, occ);
                const Bitboard got = rook ? rook_attacks(sq, occ) : bishop_attacks(sq, occ);
                ASSERT_EQ(got, want)
                    << (rook ? "rook" : "bishop") << " on " << sq << " occupancy " << occ;
                blockers = (blockers - m.mask) & m.mask;
            } while (blockers);
        }
    }
}

TEST_F(SlidingAttacks, SlicesDoNotOverlap) {
    // Each square's slice ends where the next begins, and the last fills its table exactly.
    const Bitboard* rook_next   = attack_tables.rook_sets;
    const Bitboard* bishop_next = attack_tables.bishop_sets;
    for (int sq = 0; sq < 64; ++sq) {
        EXPECT_EQ(attack_tables.rook_magic[sq].sets, rook_next) << sq;
        EXPECT_EQ(attack_tables.bishop_magic[sq].sets, bishop_next) << sq;
        rook_next += std::size_t{1} << (64 - attack_tables.rook_magic[sq].shift);
        bishop_next += std::size_t{1} << (64 - attack_tables.bishop_magic[sq].shift);
    }
    EXPECT_EQ(rook_next, attack_tables.rook_sets + ROOK_ATTACK_ENTRIES);
    EXPECT_EQ(bishop_next, attack_tables.bishop_sets + BISHOP_ATTACK_ENTRIES);
}

} // namespace
} // namespace tarn
