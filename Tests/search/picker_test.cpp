#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/picker.h"
#include "support/test_support.h"

namespace tarn {
namespace {

struct Picked {
    Move move;
    int score;
};

// Prepares the current frame the way a node does and drains the picker.
std::vector<Picked> pick_all(ThreadData& td, std::uint16_t stage, Move hash_move = 0) {
    SearchFrame& f = td.frames[td.board.search_ply];
    f.checker      = static_cast<std::uint8_t>(checker_of(td.board.pos, td.board.pos.side));
    f.in_check     = f.checker != NO_SQUARE;
    f.hash_move    = hash_move;
    f.pick_stage   = stage;
    std::vector<Picked> out;
    while (MoveEntry* e = next_move(td))
        out.push_back({e->move, e->score});
    return out;
}

// A fresh record at ply 1 with reset ordering tables.
void start(ThreadData& td, const char* fen) {
    test::set_fen(td, fen);
    thread_board_reset_lists(td.board);
    ordering_reset(td);
}

// Plays a move at ply 1 as the root move loop would: it is the frame's current entry, and the
// next frame's list starts behind the root list.
void play_root_move(ThreadData& td, Move move) {
    MoveEntry* root               = td.board.frames[1].list_start;
    root[0]                       = MoveEntry{move, 0, td.board.pos.board[move_from(move)], 0};
    root[1].move                  = END_OF_LIST;
    td.board.frames[1].cursor     = root;
    td.board.frames[2].list_start = root + 2;
    make_move(td.board.pos, move);
}

int index_of(const std::vector<Picked>& v, Move m) {
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i].move == m)
            return static_cast<int>(i);
    return -1;
}

TEST(Picker, HashMoveFirstEvenWhenGeneratedAgain) {
    test::ThreadDataHandle td;
    start(*td, START_FEN);
    const Move hash                 = make_move_code(6, 21); // Nf3
    const std::vector<Picked> moves = pick_all(*td, PICK_NODE, hash);
    ASSERT_EQ(moves.size(), 21u);
    EXPECT_EQ(moves[0].move, hash);
    EXPECT_EQ(moves[0].score, 255);
    int copies = 0;
    for (const Picked& p : moves)
        copies += p.move == hash;
    EXPECT_EQ(copies, 2);
}

TEST(Picker, PerftStageYieldsEveryPseudoLegalMove) {
    test::ThreadDataHandle td;
    start(*td, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    std::vector<Move> from_gen;
    for (MoveEntry* e = gen_all(td->board.pos); e->move != END_OF_LIST; ++e)
        from_gen.push_back(e->move);
    std::vector<Move> from_picker;
    for (const Picked& p : pick_all(*td, PICK_PERFT))
        from_picker.push_back(p.move);
    std::sort(from_gen.begin(), from_gen.end());
    std::sort(from_picker.begin(), from_picker.end());
    EXPECT_EQ(from_gen, from_picker);
}

TEST(Picker, CaptureScoresFollowTheExchange) {
    test::ThreadDataHandle td;
    // dxc4 wins a knight for a pawn (the d5 bishop recaptures).
    start(*td, "4k3/8/2p5/1r1b4/2n5/3P4/2B5/Q3K3 w - -");
    const std::vector<Picked> moves = pick_all(*td, PICK_NODE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves[0].move, make_move_code(19, 26)); // dxc4: knight for pawn
    EXPECT_EQ(moves[0].score, 230 - PAWN);
}

TEST(Picker, EvenAndLosingCaptures) {
    test::ThreadDataHandle td;
    // Rxd5 is even (the c6 pawn recaptures rook for rook); Qxb5 gives the queen for a rook.
    start(*td, "4k3/8/2p5/1r1r4/8/8/8/1Q1RK3 w - -");
    const std::vector<Picked> moves = pick_all(*td, PICK_NODE);
    const int even                  = index_of(moves, make_move_code(3, 35));
    const int lose                  = index_of(moves, make_move_code(1, 33));
    ASSERT_GE(even, 0);
    ASSERT_GE(lose, 0);
    EXPECT_EQ(moves[even].score, 240 - ROOK - 6);
    EXPECT_EQ(moves[lose].score, ROOK + 4);
    // The even capture is handed out with the good ones, the losing one after them.
    EXPECT_GT(lose, even);
}

TEST(Picker, QuietChecksOnlyAtQuiescenceDepthZero) {
    test::ThreadDataHandle td;
    start(*td, "4k3/8/8/8/8/8/8/R3K3 w - -");
    const std::vector<Picked> with_checks = pick_all(*td, PICK_QS_CHECKS);
    ASSERT_EQ(with_checks.size(), 1u);
    EXPECT_EQ(with_checks[0].move, make_move_code(0, 56)); // Ra8+
    EXPECT_EQ(with_checks[0].score, 100);
    start(*td, "4k3/8/8/8/8/8/8/R3K3 w - -");
    EXPECT_TRUE(pick_all(*td, PICK_QS).empty());
}

TEST(Picker, QuiescenceCapturesComeBestFirstThenChecks) {
    test::ThreadDataHandle td;
    start(*td, "4k3/8/8/3q4/8/1n6/P7/4K2R w - -");
    const std::vector<Picked> moves = pick_all(*td, PICK_QS_CHECKS);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].move, make_move_code(8, 17)); // axb3
    EXPECT_EQ(moves[1].move, make_move_code(7, 63)); // Rh8+
    EXPECT_EQ(moves[1].score, 100);
}

TEST(Picker, LowScoredQuietsComeInGenerationOrder) {
    test::ThreadDataHandle td;
    start(*td, START_FEN);
    // Below ply 1 the quiets are scored: history 2048 / 256 = 8 for every move, so they
    // come by selection with ties in generation order.
    play_root_move(*td, make_move_code(12, 28));
    std::vector<Move> picked;
    for (const Picked& p : pick_all(*td, PICK_NODE))
        picked.push_back(p.move);
    std::vector<Move> generated;
    for (MoveEntry* e = gen_all(td->board.pos); e->move != END_OF_LIST; ++e)
        generated.push_back(e->move);
    EXPECT_EQ(picked, generated);
    // With every history at 0 the scores are 0 and generation order holds too.
    for (auto& row : td->history)
        for (auto& h : row)
            h = 0;
    picked.clear();
    for (const Picked& p : pick_all(*td, PICK_NODE))
        picked.push_back(p.move);
    EXPECT_EQ(picked, generated);
}

TEST(Picker, KillersAndCountersLeadTheQuiets) {
    test::ThreadDataHandle td;
    start(*td, START_FEN);
    play_root_move(*td, make_move_code(12, 28));
    const Move killer                        = make_move_code(62, 45); // Nf6
    const Move counter                       = make_move_code(57, 42); // Nc6
    td->frames[2].killer1                    = killer;
    td->counter1[make_code(WHITE, PAWN)][28] = counter;
    const std::vector<Picked> moves          = pick_all(*td, PICK_NODE);
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[0].move, killer);
    EXPECT_EQ(moves[0].score, 8 + 60);
    EXPECT_EQ(moves[1].move, counter);
    EXPECT_EQ(moves[1].score, 8 + 50);
}

TEST(Picker, NoCounterBonusAfterNullMove) {
    test::ThreadDataHandle td;
    start(*td, START_FEN);
    gen_all(td->board.pos);
    make_null(td->board.pos); // frame 1's cursor is the null entry
    td->counter1[0][0]              = make_move_code(57, 42);
    const std::vector<Picked> moves = pick_all(*td, PICK_NODE);
    for (const Picked& p : moves)
        EXPECT_EQ(p.score, 8) << p.move;
}

TEST(History, FactorTablesAreRoundedSquareRoots) {
    for (int d = 0; d < 70; ++d) {
        const double r = std::sqrt(static_cast<double>(std::min(d, 16)));
        EXPECT_EQ(history_decay(d), static_cast<int>(std::lround(8 * r))) << d;
        EXPECT_EQ(history_boost(d), static_cast<int>(std::lround(16 * r))) << d;
    }
}

TEST(History, StaysWithinRange) {
    test::ThreadDataHandle td;
    ordering_reset(*td);
    const MoveEntry e{make_move_code(12, 28), 0, static_cast<std::uint8_t>(make_code(WHITE, PAWN)),
                      0};
    for (int i = 0; i < 500; ++i)
        history_update(*td, e, 20, true);
    EXPECT_LE(td->history[e.piece][28], 16383);
    EXPECT_GT(td->history[e.piece][28], 16000);
    for (int i = 0; i < 500; ++i)
        history_update(*td, e, 20, false);
    EXPECT_GE(td->history[e.piece][28], 0);
    EXPECT_LT(td->history[e.piece][28], 100);
}

TEST(Killers, UpdateRules) {
    test::ThreadDataHandle td;
    ordering_reset(*td);
    killer_update(*td, 3, 100, false);
    killer_update(*td, 3, 200, false);
    killer_update(*td, 3, 200, false); // same move again: no shift
    EXPECT_EQ(td->frames[3].killer1, 200);
    EXPECT_EQ(td->frames[3].killer2, 100);
    killer_update(*td, 3, 300, true);
    EXPECT_EQ(td->frames[3].check_killer, 300);
    EXPECT_EQ(td->frames[3].killer1, 200);
}

} // namespace
} // namespace tarn
