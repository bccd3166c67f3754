// The probes against the independently computed answers of the shared oracle files.

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/fen.h"
#include "support/test_support.h"
#include "tb/syzygy_probe.h"
#include "tb/tb_probe.h"
#include "tb/tb_test_support.h"

namespace tarn {
namespace {

constexpr std::size_t ORACLE_ROWS = 851;
constexpr std::size_t ROOT_ROWS   = 47;

int number(const std::string& field) {
    return std::atoi(field.c_str());
}

class SyzygyOracle : public test::SyzygyTest {
protected:
    static void SetUpTestSuite() { tb_init(test::syzygy_dir().c_str()); }
    static void TearDownTestSuite() { tb_init(""); }
};

TEST_F(SyzygyOracle, EveryWdlAndDtzIsReproduced) {
    const auto rows = test::read_tsv("syzygy-oracle.tsv");
    ASSERT_EQ(rows.size(), ORACLE_ROWS);
    int failures = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const ProbePosition pos = test::probe_position_from_fen(row[0]);
        int wdl = 99, dtz = 9999;
        const bool wdl_ok = probe_wdl(pos, wdl);
        const bool dtz_ok = probe_dtz(pos, dtz);
        if (!wdl_ok || !dtz_ok || wdl != number(row[1]) || dtz != number(row[2])) {
            if (++failures <= 10)
                ADD_FAILURE() << row[0] << ": wdl " << (wdl_ok ? std::to_string(wdl) : "failed")
                              << " (want " << row[1] << "), dtz "
                              << (dtz_ok ? std::to_string(dtz) : "failed") << " (want " << row[2]
                              << ")";
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(SyzygyOracle, EveryRootResultMoveAndDistanceIsReproduced) {
    const auto rows = test::read_tsv("syzygy-root.tsv");
    ASSERT_EQ(rows.size(), ROOT_ROWS);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 6u);
        const unsigned h        = static_cast<unsigned>(number(row[1]));
        const ProbePosition pos = test::probe_position_from_fen(row[0], h);
        std::vector<std::string> allowed;
        std::istringstream moves(row[3]);
        for (std::string m; moves >> m;)
            allowed.push_back(m);
        RootProbe r;
        ASSERT_TRUE(probe_root(pos, r)) << row[0];
        EXPECT_EQ(r.wdl, number(row[2])) << row[0] << " at " << h;
        const std::string chosen = test::probe_move_text(r.from, r.to, r.promotion);
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), chosen), allowed.end())
            << row[0] << " chose " << chosen << ", allowed " << row[3];
        EXPECT_EQ(r.dtz, number(row[4])) << row[0];
        EXPECT_EQ(r.root_dtz, number(row[5])) << row[0];
    }
}

// Search threads probe at once, and the first probe of each file maps it under a lock.
TEST_F(SyzygyOracle, ConcurrentProbesFromAColdStartAgree) {
    constexpr int THREADS = 3;
    constexpr int STRIDE  = 3; // every table still appears
    std::vector<std::vector<std::string>> rows;
    std::vector<ProbePosition> positions;
    const auto all = test::read_tsv("syzygy-oracle.tsv");
    for (std::size_t i = 0; i < all.size(); i += STRIDE) {
        rows.push_back(all[i]);
        positions.push_back(test::probe_position_from_fen(all[i][0]));
    }
    tb_init(test::syzygy_dir().c_str()); // nothing mapped yet
    std::vector<int> mismatches(THREADS, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            for (std::size_t k = 0; k < positions.size(); ++k) {
                // Each thread starts at another place, so first uses of a file collide.
                const std::size_t i = (k + t * positions.size() / THREADS) % positions.size();
                int wdl             = 99;
                mismatches[t] += !probe_wdl(positions[i], wdl) || wdl != number(rows[i][1]);
            }
        });
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < THREADS; ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

// The engine's wrapper turns the chosen move into a Move whose flags name the promotion.
TEST_F(SyzygyOracle, RootMoveReachesTheEngineWithItsPromotionFlag) {
    const auto rows = test::read_tsv("syzygy-root.tsv");
    test::ThreadDataHandle td;
    for (const auto& row : rows) {
        Position& pos = test::set_fen(*td, row[0].c_str());
        pos.rule50    = static_cast<std::uint8_t>(number(row[1]));
        Move move     = 0;
        int dtz       = 0;
        ASSERT_EQ(tb_probe_root(pos, move, dtz), number(row[2])) << row[0];
        ASSERT_NE(move, 0) << row[0];
        const bool promotes = type_of(pos.board[move_from(move)]) == PAWN &&
                              (rank_of(move_to(move)) == 0 || rank_of(move_to(move)) == 7);
        const std::string text = test::probe_move_text(move_from(move), move_to(move),
                                                       promotes ? promotion_type(move) : 0);
        EXPECT_NE(row[3].find(text), std::string::npos) << row[0] << " chose " << text;
        EXPECT_EQ(move_flags(move) != 0, promotes) << row[0];
        EXPECT_EQ(dtz, number(row[4])) << row[0];
    }
}

// g8=Q stalemates the king on a1; only the rook wins at once.
TEST_F(SyzygyOracle, RootPromotesToARookWhenAQueenStalemates) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, "8/6P1/8/8/8/8/8/k1K5 w - - 0 1");
    Move move     = 0;
    int dtz       = 0;
    EXPECT_EQ(tb_probe_root(pos, move, dtz), TB_WIN);
    EXPECT_EQ(move, make_move_code(54, 62, PROMOTE_ROOK));
    EXPECT_EQ(dtz, 1);
    test::set_fen(*td, "8/8/8/8/8/6q1/1pK5/k7 b - - 0 1");
    EXPECT_EQ(tb_probe_root(pos, move, dtz), TB_WIN);
    EXPECT_EQ(move, make_move_code(9, 1, PROMOTE_QUEEN));
}

} // namespace
} // namespace tarn
