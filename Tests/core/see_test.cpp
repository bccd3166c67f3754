#include <gtest/gtest.h>

#include "core/see.h"
#include "support/test_support.h"

namespace tarn {
namespace {

struct SeeCase {
    const char* fen;
    int from; // 64: threat form on `to`
    int to;
    int expected;
};

class SeeValues : public ::testing::TestWithParam<SeeCase> {};

TEST_P(SeeValues, MatchesTheExchange) {
    test::ThreadDataHandle td;
    const SeeCase& c    = GetParam();
    const Position& pos = test::set_fen(*td, c.fen);
    EXPECT_EQ(see(pos, pos.side, c.from, c.to), c.expected) << c.fen;
}

// Squares: e4 28, d5 35, e5 36, f6 45, d4 27, c3 18, e6 44, e1 4.
INSTANTIATE_TEST_SUITE_P(
    Exchanges, SeeValues,
    ::testing::Values(
        // Pawn takes an undefended knight.
        SeeCase{"4k3/8/8/3n4/4P3/8/8/4K3 w - -", 28, 35, 350},
        // Queen takes a pawn defended by a pawn.
        SeeCase{"4k3/8/4p3/3p4/8/8/8/3QK3 w - -", 3, 35, -950},
        // Rook takes a defended rook with a second rook behind it (x-ray): RxR, rxR, RxR.
        SeeCase{"3r3k/3r4/8/8/8/8/3R4/3RK3 w - -", 11, 51, 550},
        // Without the x-ray rook the same capture loses the rook for a rook.
        SeeCase{"3r3k/3r4/8/8/8/8/3R4/4K3 w - -", 11, 51, 0},
        // With the king next to the square it recaptures last: the exchange comes out even.
        SeeCase{"3rk3/3r4/8/8/8/8/3R4/3RK3 w - -", 11, 51, 0},
        // King takes a defended piece / an undefended piece.
        SeeCase{"4k3/8/8/8/8/2b5/3p4/4K3 w - -", 4, 11, 100 - 9999},
        SeeCase{"4k3/8/8/8/8/8/3p4/4K3 w - -", 4, 11, 100},
        // A knight steps onto a square held by an enemy pawn: not covered / covered once.
        SeeCase{"4k3/8/3p4/8/8/5N2/8/4K3 w - -", 21, 36, -350},
        SeeCase{"4k3/8/3p4/8/3P4/5N2/8/4K3 w - -", 21, 36, -250},
        // Threat form: a piece side does not attack / an undefended queen attacked by a pawn.
        SeeCase{"4k3/8/8/3q4/8/8/8/4K3 w - -", 64, 35, 0},
        SeeCase{"4k3/8/8/3q4/4P3/8/8/4K3 w - -", 64, 35, 1050},
        // En passant is not modelled: the target square is empty.
        SeeCase{"4k3/8/8/3pP3/8/8/8/4K3 w - d6", 36, 43, 0}));

} // namespace
} // namespace tarn
