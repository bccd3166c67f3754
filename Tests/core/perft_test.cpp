#include <gtest/gtest.h>

#include "search/picker.h"
#include "support/test_support.h"

namespace tarn {
namespace {

TEST(Perft, StartPositionCounts) {
    test::ThreadDataHandle td;
    test::set_fen(*td, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    const std::uint64_t expected[] = {1, 20, 400, 8902, 197281};
    for (int d = 0; d <= 4; ++d)
        EXPECT_EQ(perft_through_picker(*td, d), expected[d]) << "depth " << d;
}

} // namespace
} // namespace tarn
