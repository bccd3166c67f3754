#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/search_state.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// A 1 MB table in use, age 1, restored afterwards.
class TransTable : public ::testing::Test {
protected:
    void SetUp() override {
        saved_hash_             = search_state.hash_mb;
        saved_use_              = search_state.use_hash;
        saved_age_              = search_state.search_age;
        search_state.hash_mb    = 1;
        search_state.use_hash   = 1;
        search_state.search_age = 1;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(tt_allocate(search_state.hash_mb));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "info string allocated 1 Mbytes for hash table\n");
    }
    void TearDown() override {
        tt_free();
        search_state.hash_mb    = saved_hash_;
        search_state.use_hash   = saved_use_;
        search_state.search_age = saved_age_;
    }
    TTEntry probe(Position& pos) {
        TTEntry e;
        e.depth = TT_MISSING_DEPTH;
        tt_probe(pos, e);
        return e;
    }
    int saved_hash_ = 0, saved_use_ = 0, saved_age_ = 0;
    test::ThreadDataHandle td_;
};

TEST_F(TransTable, StoreAndProbeWithBounds) {
    Position& pos = test::set_fen(*td_, START_FEN);
    const Move e4 = make_move_code(12, 28);
    tt_store(pos, 1, 5, e4, 30, 0, 100);
    TTEntry e = probe(pos);
    EXPECT_EQ(e.move, e4);
    EXPECT_EQ(e.score, 30);
    EXPECT_EQ(e.depth, 5);
    EXPECT_EQ(e.bound, BOUND_EXACT);
    EXPECT_EQ(e.age, 1);
    tt_store(pos, 1, 6, e4, 0, 0, 100);
    EXPECT_EQ(probe(pos).bound, BOUND_UPPER);
    tt_store(pos, 1, 6, e4, 100, 0, 100);
    EXPECT_EQ(probe(pos).bound, BOUND_LOWER);
    // A position never stored keeps the caller's depth.
    Position& other = test::set_fen(*td_, "4k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(probe(other).depth, TT_MISSING_DEPTH);
}

TEST_F(TransTable, DeeperEntryOfTheSameKeyIsKept) {
    Position& pos = test::set_fen(*td_, START_FEN);
    tt_store(pos, 1, 10, 0, 50, 0, 100);
    tt_store(pos, 1, 6, 0, 20, 0, 100); // 4 plies shallower: skipped
    EXPECT_EQ(probe(pos).depth, 10);
    tt_store(pos, 1, 7, 0, 20, 0, 100); // exactly 3 shallower: overwritten
    EXPECT_EQ(probe(pos).depth, 7);
    tt_store(pos, 1, 12, 0, -5, 0, 100); // an upper bound may always be replaced
    EXPECT_EQ(probe(pos).bound, BOUND_UPPER);
    tt_store(pos, 1, 2, 0, 7, 0, 100);
    EXPECT_EQ(probe(pos).depth, 2);
}

TEST_F(TransTable, MateScoresAreStoredAsDistanceFromTheNode) {
    Position& pos = test::set_fen(*td_, START_FEN);
    tt_store(pos, 5, 3, 0, 9990, -10001, 10001);
    TTEntry e = probe(pos);
    EXPECT_EQ(e.score, 9995);
    EXPECT_EQ(tt_score_from_entry(e, 3, pos.rule50), 9992);
    tt_store(pos, 5, 3, 0, 9798, -10001, 10001);
    EXPECT_EQ(probe(pos).score, 9798);
    tt_store(pos, 5, 3, 0, -9799, -10001, 10001);
    EXPECT_EQ(probe(pos).score, -9799);
    tt_store(pos, 5, 3, 0, -9800, -10001, 10001);
    EXPECT_EQ(probe(pos).score, -9805);
}

TEST_F(TransTable, FiftyMoveDamping) {
    TTEntry e;
    e.score  = 200;
    e.rule50 = 10;
    EXPECT_EQ(tt_score_from_entry(e, 4, 42), 175);
    EXPECT_EQ(tt_score_from_entry(e, 4, 10), 200);
    e.score = -200;
    EXPECT_EQ(tt_score_from_entry(e, 4, 42), -175);
}

TEST_F(TransTable, IllegalHashMoveMakesTheEntryUnusable) {
    Position& pos = test::set_fen(*td_, START_FEN);
    tt_store(pos, 1, 5, make_move_code(12, 36), 30, 0, 100); // e2e5 is impossible
    EXPECT_EQ(probe(pos).depth, TT_INVALID_DEPTH);
    tt_store(pos, 1, 5, make_move_code(4, 6, CASTLE_KING), 30, 0, 100); // path not empty
    EXPECT_EQ(probe(pos).depth, TT_INVALID_DEPTH);
    tt_store(pos, 1, 5, make_move_code(12, 20, PROMOTE_QUEEN), 30, 0, 100);
    EXPECT_EQ(probe(pos).depth, TT_INVALID_DEPTH);
    tt_store(pos, 1, 5, make_move_code(6, 21), 30, 0, 100);
    EXPECT_EQ(probe(pos).depth, 5);
}

TEST(TTMoveValidation, AcceptsExactlyTheLegalGeneratedMoves) {
    test::ThreadDataHandle td;
    for (const char* file : {"perft-standard.txt", "perft-chess960.txt"}) {
        int checked = 0;
        for (const std::string& fen : test::suite_fens(file)) {
            if (++checked > 200)
                break;
            Position& pos = test::set_fen(*td, fen.c_str());
            std::vector<Move> legal;
            for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e)
                if (is_legal(pos, pos.side, e->move))
                    legal.push_back(e->move);
            std::sort(legal.begin(), legal.end());
            // Every from/to pair with every flag combination the encoding allows.
            static constexpr Move FLAGS[] = {0, FLAG_A, FLAG_B, FLAG_C, FLAG_D, FLAG_A | FLAG_B};
            for (int from = 0; from < 64; ++from)
                for (int to = 0; to < 64; ++to)
                    for (Move f : FLAGS) {
                        const Move m      = make_move_code(from, to, f);
                        const bool is_gen = std::binary_search(legal.begin(), legal.end(), m);
                        ASSERT_EQ(tt_move_is_valid(pos, m), is_gen) << fen << " " << m;
                    }
        }
    }
}

TEST_F(TransTable, ReplacementWithinAFullWindow) {
    // Fill one window with four keys of this search and check which slot the fifth takes.
    Position& pos             = test::set_fen(*td_, START_FEN);
    const std::uint64_t count = transposition_table.entry_count;
    const std::uint64_t base  = pos.key % count;
    Position probe_pos        = pos;
    int depths[4]             = {9, 4, 6, 8};
    std::uint64_t keys[5];
    for (int i = 0; i < 5; ++i) {
        // Same index, different upper halves.
        keys[i] = (pos.key % count) + count * static_cast<std::uint64_t>(1000003 * (i + 1));
        ASSERT_EQ(keys[i] % count, base);
    }
    for (int i = 0; i < 4; ++i) {
        probe_pos.key = keys[i];
        tt_store(probe_pos, 1, depths[i], 0, 10, 0, 100);
    }
    // The shallowest (depth 4, slot 1) gives way to a new depth-2 result...
    probe_pos.key = keys[4];
    tt_store(probe_pos, 1, 2, 0, 10, 0, 100);
    TTEntry e = probe(probe_pos);
    EXPECT_EQ(e.depth, 2);
    probe_pos.key = keys[1];
    EXPECT_EQ(probe(probe_pos).depth, TT_MISSING_DEPTH);
    // ...but not to a result more than 7 plies shallower than every slot.
    search_state.search_age = 2;
    for (int i = 0; i < 4; ++i) {
        probe_pos.key = keys[i];
        tt_store(probe_pos, 1, 20, 0, 10, 0, 100);
    }
    probe_pos.key = keys[4];
    tt_store(probe_pos, 1, 12, 0, 10, 0, 100);
    EXPECT_EQ(probe(probe_pos).depth, TT_MISSING_DEPTH);
}

TEST_F(TransTable, HashfullCountsTheCurrentAge) {
    Position& pos             = test::set_fen(*td_, START_FEN);
    const std::uint64_t count = transposition_table.entry_count;
    const std::uint64_t start = count / 2 - 500;
    // 100 entries of this search inside the sampled range.
    for (std::uint64_t j = 0; j < 100; ++j) {
        pos.key = (start + 10 * j) + count * (j + 7);
        tt_store(pos, 1, 3, 0, 0, -1, 1);
    }
    tt_hashfull();
    EXPECT_FLOAT_EQ(transposition_table.hashfull, 0.1f);
    search_state.search_age = 2;
    tt_hashfull();
    EXPECT_EQ(transposition_table.hashfull, 0.0f);
    search_state.search_age = 1;
    tt_clear();
    tt_hashfull();
    EXPECT_EQ(transposition_table.hashfull, 0.0f);
}

} // namespace
} // namespace tarn

namespace tarn {
namespace {

TEST(TTSizes, TooLargeForTheMachineFailsAsAnAllocation) {
    const int saved             = search_state.hash_mb;
    search_state.hash_mb        = 1 << 22; // 4 TB of entries
    const std::uint64_t* before = transposition_table.words;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tt_allocate(search_state.hash_mb));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(transposition_table.words, before);
    search_state.hash_mb = saved;
}

TEST(TTSizes, ResizeThatCannotBeHadKeepsTheTableInPlace) {
    const int saved      = search_state.hash_mb;
    search_state.hash_mb = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tt_allocate(search_state.hash_mb));
    const std::uint64_t* table = transposition_table.words;
    const std::uint32_t count  = transposition_table.entry_count;
    EXPECT_FALSE(tt_resize(1 << 22));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "info string allocated 1 Mbytes for hash table\n"
              "info string can't allocate 4194304 Mbytes for hash table, keeping 1\n");
    EXPECT_EQ(transposition_table.words, table);
    EXPECT_EQ(transposition_table.entry_count, count);
    EXPECT_EQ(search_state.hash_mb, 1);
    // A size that can be had still replaces it.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(tt_resize(2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "info string allocated 2 Mbytes for hash table\n");
    EXPECT_EQ(transposition_table.entry_count, 2u * TT_ENTRIES_PER_MB);
    EXPECT_EQ(search_state.hash_mb, 2);
    tt_free();
    search_state.hash_mb = saved;
}

TEST(TTSizes, LargestFitHalvesTheRequestUntilItFits) {
    const std::uint64_t gb = std::uint64_t{1} << 30;
    EXPECT_EQ(tt_table_bytes(1), 16u * (TT_ENTRIES_PER_MB + TT_SPARE_ENTRIES));
    EXPECT_EQ(tt_largest_fit(32768, 24 * gb / 10 * 9), 16384);
    EXPECT_EQ(tt_largest_fit(64, tt_table_bytes(64)), 64);
    EXPECT_EQ(tt_largest_fit(64, tt_table_bytes(64) - 1), 32);
    EXPECT_EQ(tt_largest_fit(100, tt_table_bytes(30)), 25);
    EXPECT_EQ(tt_largest_fit(64, 0), 0);
    EXPECT_EQ(tt_largest_fit(-5, gb), 0);
}

TEST(TTSizes, EmptyTableIsNeverIndexed) {
    test::ThreadDataHandle td;
    const int saved_hash = search_state.hash_mb, saved_use = search_state.use_hash;
    search_state.hash_mb  = 0;
    search_state.use_hash = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(tt_allocate(search_state.hash_mb));
    testing::internal::GetCapturedStdout();
    Position& pos = test::set_fen(*td, START_FEN);
    tt_prefetch(pos.key);
    tt_store(pos, 1, 3, 0, 10, 0, 100);
    TTEntry e;
    e.depth = TT_MISSING_DEPTH;
    tt_probe(pos, e);
    EXPECT_EQ(e.depth, TT_MISSING_DEPTH);
    Move pv[PV_LENGTH] = {};
    tt_pv_walk(pos, 1, pv);
    EXPECT_EQ(pv[1], NULL_MOVE);
    tt_free();
    search_state.hash_mb  = saved_hash;
    search_state.use_hash = saved_use;
}

} // namespace
} // namespace tarn
