#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/platform.h"
#include "frontend/engine_process.h"
#include "frontend/options.h"
#include "frontend/run_settings.h"
#include "search/driver.h"
#include "search/info_line.h"
#include "search/search.h"
#include "search/search_state.h"
#include "search/selectivity.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// Runs searches on the calling thread, as "-pbench" does, on a game record of its own.
class Search : public ::testing::Test {
protected:
    void SetUp() override {
        saved_main_           = main_thread;
        main_thread           = test::new_thread_data();
        saved_noise_          = run_settings.noise;
        run_settings.noise    = NOISE_SILENT;
        search_state.threads  = 1;
        search_state.hash_mb  = 1;
        search_state.use_hash = 1;
        testing::internal::CaptureStdout();
        tt_allocate(search_state.hash_mb);
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        release_thread_records(0);
        tt_free();
        thread_data_destroy(main_thread);
        main_thread         = saved_main_;
        run_settings.noise  = saved_noise_;
        search_control.mode = MODE_IDLE;
        search_control.stop = 0;
    }
    // Searches the position to a fixed depth; returns the best score.
    int search(const char* fen, int depth) {
        parse_fen(main_thread->board.pos, fen);
        tt_clear();
        EXPECT_TRUE(search_on_this_thread(depth_limits(depth)));
        return search_results.best_score;
    }
    std::string best_move() const {
        return std::string(SQUARE_NAMES[move_from(search_results.pv[1])]) +
               SQUARE_NAMES[move_to(search_results.pv[1])];
    }
    ThreadData* saved_main_ = nullptr;
    float saved_noise_      = 0;
};

TEST_F(Search, FindsMateInOne) {
    EXPECT_EQ(search("6k1/5ppp/8/8/8/8/8/R5K1 w - -", 3), 9998);
    EXPECT_EQ(best_move(), "a1a8");
}

TEST_F(Search, FindsMateInTwo) {
    // 1. Kc7 Ka7 2. Ra1#.
    EXPECT_EQ(search("k7/8/2K5/8/8/8/8/7R w - -", 5), 9996);
}

// Forced mates: the score names the mate distance and the move starts the mate.
TEST_F(Search, ForcedMatesInTwoToSix) {
    struct Mate {
        const char* fen;
        int moves;
        const char* first; // "" when several first moves mate as fast
    };
    const Mate mates[] = {
        {"6k1/pp4p1/2p5/2bp4/8/P5Pb/1P3rrP/2BRRN1K b - - 0 1", 2, "g2g1"},
        {"r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 0", 2, "d5f6"},
        {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1", 3, "f8c5"},
        {"3r4/pR2N3/2pkb3/5p2/8/2B5/qP3PPP/4R1K1 w - - 1 0", 3, "c3e5"},
        {"6k1/3b3r/1p1p4/p1n2p2/1PPNpP1q/P3Q1p1/1R1RB1P1/5K2 b - - 0 1", 5, ""},
        {"r1k4r/ppp1bq1p/2n1N3/6B1/3p2Q1/8/PPP2PPP/R5K1 w - - 0 1", 6, ""},
    };
    for (const Mate& m : mates) {
        // Mated at ply 2n from the root (ply 1).
        EXPECT_EQ(search(m.fen, 2 * m.moves + 2), MATE_SCORE - 2 * m.moves) << m.fen;
        if (*m.first) {
            EXPECT_EQ(best_move(), m.first) << m.fen;
        }
    }
}

TEST_F(Search, MatedAndStalematedRoots) {
    EXPECT_EQ(search("R5k1/5ppp/8/8/8/8/8/6K1 b - -", 4), -9999);
    EXPECT_EQ(search_results.pv[1], NULL_MOVE);
    EXPECT_EQ(search("7k/5Q2/5K2/8/8/8/8/8 b - -", 4), 0);
    EXPECT_EQ(search_results.pv[1], NULL_MOVE);
}

TEST_F(Search, WinsHangingMaterial) {
    const int score = search("4k3/8/8/3q4/8/8/3R4/3K4 w - -", 4);
    EXPECT_EQ(best_move(), "d2d5");
    EXPECT_GT(score, 500);
}

TEST_F(Search, RepeatedSearchesAreDeterministic) {
    search(START_FEN, 6);
    const std::uint64_t first = search_results.nodes;
    const Move move           = search_results.pv[1];
    search(START_FEN, 6);
    EXPECT_EQ(search_results.nodes, first);
    EXPECT_EQ(search_results.pv[1], move);
    EXPECT_GT(first, 100u);
}

TEST_F(Search, DepthZeroGivesTheQuiescenceLine) {
    search("4k3/8/8/3q4/8/8/3R4/3K4 w - -", 0);
    EXPECT_EQ(best_move(), "d2d5");
}

TEST_F(Search, NodeLimitStopsAfterAnIteration) {
    parse_fen(main_thread->board.pos, START_FEN);
    SearchLimits limits = depth_limits(MAX_DEPTH);
    limits.node_limit   = 20000;
    ASSERT_TRUE(search_on_this_thread(limits));
    EXPECT_GT(search_results.nodes, 15000u);
    EXPECT_LT(search_results.best_depth, MAX_DEPTH);
}

TEST(MoveClass, ChecksCapturesAndPawnAdvances) {
    test::ThreadDataHandle td;
    const auto cls = [&](const char* fen, int from, int to, Move flags = 0) {
        Position& pos = test::set_fen(*td, fen);
        MoveEntry e{make_move_code(from, to, flags), 0, pos.board[from], pos.board[to]};
        return move_class(pos, e);
    };
    // Direct check, discovered check, a capture that checks.
    EXPECT_EQ(cls("4k3/8/8/8/8/8/8/R3K3 w - -", 0, 56), CLASS_CHECK);
    EXPECT_EQ(cls("4k3/8/8/8/4N3/8/8/4RK2 w - -", 28, 45), CLASS_CHECK);
    EXPECT_EQ(cls("4k3/8/8/8/8/8/4p3/R3K3 w - -", 0, 12) & CLASS_CAPTURE, CLASS_CAPTURE);
    // En passant that opens a line onto the king.
    EXPECT_EQ(cls("8/8/8/k2pP2R/8/8/8/4K3 w - d6", 36, 43), CLASS_CAPTURE | CLASS_CHECK);
    // Promotions and pushes.
    EXPECT_EQ(cls("8/4P3/8/8/8/8/8/k3K3 w - -", 52, 60, PROMOTE_QUEEN), CLASS_QUEENING);
    EXPECT_EQ(cls("8/4P3/8/8/8/8/8/7k w - -", 52, 60, PROMOTE_KNIGHT), CLASS_ADVANCE);
    EXPECT_EQ(cls("8/8/4P3/8/8/8/8/k6K w - -", 44, 52), CLASS_SEVENTH);
    EXPECT_EQ(cls("8/8/8/4P3/8/8/8/k6K w - -", 36, 44), CLASS_ADVANCE); // passed, free
    EXPECT_EQ(cls("8/5p2/8/4P3/8/8/8/k6K w - -", 36, 44), 0);           // not passed
    // Castling is judged by the king alone: the rook's check is not marked.
    EXPECT_EQ(cls("5k2/8/8/8/8/8/8/4K2R w K -", 4, 6, CASTLE_KING), 0);
}

// The check squares give move_gives_check's answer for every pseudo-legal move over the perft
// suites and every position one legal move later.
TEST(MoveClass, CheckSquaresAgreeWithTheFullTest) {
    test::ThreadDataHandle td;
    int compared = 0, checks = 0;
    const auto compare = [&](Position& pos) {
        const CheckSquares cs = check_squares(pos);
        for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e) {
            if (!e->move)
                continue;
            const bool full = move_gives_check(pos, e->move);
            ASSERT_EQ(move_gives_check(pos, cs, e->move), full)
                << write_fen(pos, false) << " move " << e->move;
            ++compared;
            checks += full;
        }
    };
    test::visit_suite_positions_and_children(*td, {"perft-standard.txt", "perft-chess960.txt"},
                                             compare);
    EXPECT_GT(compared, 100000);
    EXPECT_GT(checks, 2000);
}

TEST(MoveClass, CheckSquaresStandAsideWhenTheKingIsAlreadyAttacked) {
    test::ThreadDataHandle td;
    EXPECT_TRUE(check_squares(test::set_fen(*td, START_FEN)).usable);
    // Set up with black's king in check from the e1 rook: Re1-e2 stays on the line and still
    // checks, which the squares (stopped at the rook) would miss, so the full test decides.
    Position& pos         = test::set_fen(*td, "4k3/8/8/8/8/8/8/4R1K1 w - -");
    const CheckSquares cs = check_squares(pos);
    EXPECT_FALSE(cs.usable);
    EXPECT_TRUE(move_gives_check(pos, cs, make_move_code(4, 12)));
}

TEST(Selectivity, ReductionTableRows) {
    const EngineOptions saved = live_options;
    live_options.Selectivity  = 100;
    selectivity.lmr_built_for = -1;
    selectivity_init();
    const auto row = [](const std::int8_t* r) {
        std::string s;
        for (int m = 0; m < LMR_SIZE; ++m)
            s += static_cast<char>('0' + r[m]);
        return s;
    };
    EXPECT_EQ(row(selectivity.lmr_pv[3]), "00000000111111111111111111111111");
    EXPECT_EQ(row(selectivity.lmr_nonpv[3]), "01111122222222222222222222222222");
    EXPECT_EQ(row(selectivity.lmr_pv[6]), "00001111111112222222222222222222");
    EXPECT_EQ(row(selectivity.lmr_nonpv[6]), "01122222223333333333333333333333");
    EXPECT_EQ(row(selectivity.lmr_pv[10]), "00011111222222222222333333333333");
    EXPECT_EQ(row(selectivity.lmr_nonpv[10]), "01122233333333334444444444444444");
    EXPECT_EQ(row(selectivity.lmr_pv[20]), "00011222223333333333333333333333");
    EXPECT_EQ(row(selectivity.lmr_nonpv[20]), "01223333344444444444444444444444");
    EXPECT_EQ(row(selectivity.lmr_pv[30]), "00112222333333333333333333333333");
    EXPECT_EQ(row(selectivity.lmr_nonpv[30]), "01223334444444444444444444444444");
    for (int d = 0; d <= 2; ++d)
        EXPECT_EQ(row(selectivity.lmr_nonpv[d]), std::string(32, '0'));
    EXPECT_EQ(selectivity.bp_margin, 15);
    EXPECT_EQ(selectivity.fp_margin[2], 250);
    // Selectivity 0 switches every pruning and reduction off.
    live_options.Selectivity = 0;
    selectivity_init();
    EXPECT_EQ(selectivity.bp_margin, 5000);
    EXPECT_EQ(selectivity.nmp_depth, 100);
    EXPECT_EQ(selectivity.lmr_depth, 100);
    EXPECT_EQ(selectivity.fp_depth, 0);
    EXPECT_EQ(selectivity.lmp_depth, 0);
    // Selectivity 200 still clamps at 3 and 4.
    live_options.Selectivity = 200;
    selectivity_init();
    EXPECT_EQ(selectivity.lmr_pv[30][31], 3);
    EXPECT_EQ(selectivity.lmr_nonpv[30][31], 4);
    live_options.Selectivity = 50;
    selectivity_init();
    EXPECT_EQ(selectivity.bp_margin, 40);
    live_options = saved;
    selectivity_init();
}

// The moves of a line in coordinate text, as Moves played from fen.
std::vector<Move> line_moves(const char* fen, const std::vector<const char*>& texts) {
    test::ThreadDataHandle td;
    Position& pos = test::set_fen(*td, fen);
    std::vector<Move> moves(PV_LENGTH, NULL_MOVE);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        moves[i + 1] = find_legal_move(pos, parse_coord_move(pos, texts[i]));
        EXPECT_NE(moves[i + 1], NULL_MOVE) << texts[i];
        make_move(pos, moves[i + 1]);
    }
    return moves;
}

// Prints the UCI line of pv at the root reached by the game moves from the start position (its
// fifty-move counter set to rule50 unless that is negative) and returns the moves the line
// shows after "pv ".
std::string printed_pv(const std::vector<const char*>& game, int rule50,
                       const std::vector<const char*>& line) {
    parse_fen(main_thread->board.pos, START_FEN);
    for (const char* text : game) {
        main_thread->board.search_ply = 1;
        make_move(main_thread->board.pos,
                  find_legal_move(main_thread->board.pos,
                                  parse_coord_move(main_thread->board.pos, text)));
    }
    main_thread->board.search_ply = 1;
    const std::string root_fen    = write_fen(main_thread->board.pos, false);
    const std::vector<Move> pv    = line_moves(root_fen.c_str(), line);
    EXPECT_TRUE(thread_init(0));
    if (rule50 >= 0)
        thread_records[0]->board.pos.rule50 = static_cast<std::uint8_t>(rule50);
    const Position before = thread_records[0]->board.pos;
    test::StdoutCapture capture;
    print_pv_line(0, 1, 5, 0, pv.data());
    const std::string out = capture.take();
    // The walk along the line leaves the thread's root as it was.
    EXPECT_TRUE(test::same_position(before, thread_records[0]->board.pos));
    const std::size_t at = out.find(" pv ");
    return at == std::string::npos ? "" : out.substr(at + 4, out.find('\n') - at - 4);
}

TEST_F(Search, PrintedLineEndsWhereTheFiftyMoveRuleDrawsTheGame) {
    run_settings.protocol_mode = PROTOCOL_UCI;
    EXPECT_EQ(printed_pv({}, 98, {"g1f3", "g8f6", "f3g1", "f6g8"}), "g1f3 g8f6");
    // A pawn move starts the count again.
    EXPECT_EQ(printed_pv({}, 98, {"e2e4", "g8f6", "g1f3", "f6g4"}), "e2e4 g8f6 g1f3 f6g4");
    // The move that reaches 100 is shown even when it ends the line.
    EXPECT_EQ(printed_pv({}, 99, {"g1f3"}), "g1f3");
}

TEST_F(Search, PrintedLineEndsAtARepetitionAsTheSearchCountsIt) {
    run_settings.protocol_mode = PROTOCOL_UCI;
    // The root comes back after four moves: the search scores a repetition inside its line
    // as a draw.
    EXPECT_EQ(printed_pv({}, 0, {"g1f3", "g8f6", "f3g1", "f6g8", "e2e4", "e7e5"}),
              "g1f3 g8f6 f3g1 f6g8");
    // A position the game has seen once before the root is not yet a draw, one seen twice is.
    const std::vector<const char*> game = {"e2e4", "e7e5", "g1f3", "b8c6", "f3g1", "c6b8"};
    EXPECT_EQ(printed_pv(game, -1, {"g1f3", "b8c6", "d2d4", "e5d4"}), "g1f3 b8c6 d2d4 e5d4");
    const std::vector<const char*> twice = {"e2e4", "e7e5", "g1f3", "b8c6", "f3g1",
                                            "c6b8", "g1f3", "b8c6", "f3g1", "c6b8"};
    EXPECT_EQ(printed_pv(twice, -1, {"g1f3", "b8c6", "d2d4", "e5d4"}), "g1f3");
}

// Entries of the thread's two evaluation caches that hold something.
int cached_entries(const ThreadData& td) {
    int n = 0;
    for (const EvalCacheEntry& e : td.eval.eval_cache.entries)
        n += e.key != 0;
    for (const PawnHashEntry& e : td.eval.pawn_table.entries)
        n += e.pawn_hash != 0;
    return n;
}

TEST_F(Search, KeptRecordsStartEachSearchAfresh) {
    search("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -", 5);
    ThreadData& td = *thread_records[0];
    ASSERT_GT(td.nodes, 0u);
    ASSERT_GT(td.tt_probes, 0u);
    ASSERT_NE(td.root_pv[1], NULL_MOVE);
    ASSERT_GT(cached_entries(td), 0);
    // The next search's preparation clears what a search counts in the record it keeps.
    ASSERT_TRUE(thread_init(0));
    EXPECT_EQ(td.nodes + td.tbhits + td.eval.eval_probes + td.eval.eval_hits + td.tt_probes +
                  td.tt_hits + td.eval.pawn_probes + td.eval.pawn_hits,
              0u);
    EXPECT_EQ(td.seldepth, 0);
    EXPECT_EQ(td.iteration_depth, 0);
    EXPECT_EQ(td.best_move_depth, 0);
    EXPECT_EQ(td.root_fail, 0);
    for (const Move m : td.root_pv)
        EXPECT_EQ(m, NULL_MOVE);
    // The caches stay while the evaluators do: a position scores the same in every search.
    EXPECT_GT(cached_entries(td), 0);
    // A new network empties them, in every kept record.
    test::StdoutCapture capture;
    set_option("NN_File", "embedded");
    capture.take();
    EXPECT_EQ(cached_entries(td), 0);
}

// With more helpers than processors the helpers take turns: every one of them must get turns
// during a search, not only the first few, and a stop must still end them all.
TEST_F(Search, HelpersTakeTurnsWhenThreadsOutnumberProcessors) {
    const int threads = platform_cpu_count() + 4;
    parse_fen(main_thread->board.pos, START_FEN);
    search_state.threads = threads;
    tt_clear();
    search_setup(depth_limits(MAX_DEPTH));
    ASSERT_TRUE(start_search(MODE_SEARCHING));
    // Time for every helper to have several turns of its own.
    platform_sleep_ms(800);
    search_control.stop = 1;
    wait_for_search();
    // A turn ends only at a multiple of 1,024 nodes once it has lasted long enough; a helper
    // that never had one would have searched a node or two after the stop.
    for (int t = 1; t < threads; ++t) {
        ASSERT_NE(thread_records[t], nullptr) << t;
        EXPECT_GE(thread_records[t]->nodes, 1024u) << "helper " << t;
    }
    EXPECT_EQ(search_control.mode, MODE_IDLE);
}

// The order in which the root loop takes the entries: the highest score first, ties to the
// earlier entry.
std::vector<Move> selection_order(std::vector<MoveEntry> list) {
    std::vector<Move> order;
    for (std::size_t at = 0; list[at].move != END_OF_LIST; ++at) {
        std::size_t pick = at;
        for (std::size_t e = at + 1; list[e].move != END_OF_LIST; ++e)
            if (list[e].score > list[pick].score)
                pick = e;
        std::swap(list[at], list[pick]);
        order.push_back(list[at].move);
    }
    return order;
}

TEST(RootOrder, FailHighSortsUpToTheFailingMovesPlace) {
    // a was searched first and failed low; c failed high in the list's second place.
    constexpr Move A = 1, C = 2, D = 3, E = 4;
    std::vector<MoveEntry> list = {
        {A, -11000, 0, 0}, {C, 100, 0, 0}, {D, 20, 0, 0}, {E, 30, 0, 0}, {END_OF_LIST, 0, 0, 0}};
    reorder_after_fail_high(&list[0], &list[1]);
    // The first two places take the two best entries; the places after the second one rank
    // just below the failing move.
    EXPECT_EQ(list[0].move, C);
    EXPECT_EQ(list[0].score, 100);
    EXPECT_EQ(list[1].move, E);
    EXPECT_EQ(list[1].score, 30);
    EXPECT_EQ(list[2].move, D);
    EXPECT_EQ(list[2].score, 99);
    EXPECT_EQ(list[3].move, A);
    EXPECT_EQ(list[3].score, 99);
    EXPECT_EQ(selection_order(list), (std::vector<Move>{C, D, A, E}));
}

TEST(RootOrder, FailHighOfTheFirstMoveRanksTheRestBelowIt) {
    constexpr Move A = 1, B = 2, C = 3;
    std::vector<MoveEntry> list = {
        {A, 250, 0, 0}, {B, 40, 0, 0}, {C, 60, 0, 0}, {END_OF_LIST, 0, 0, 0}};
    reorder_after_fail_high(&list[0], &list[0]);
    EXPECT_EQ(selection_order(list), (std::vector<Move>{A, B, C}));
    EXPECT_EQ(list[1].score, 249);
    EXPECT_EQ(list[2].score, 249);
}

TEST(Strength, EloOfNodeRate) {
    EXPECT_NEAR(elo_of_nps(20015), 2623.5, 0.1);
    const EngineOptions saved      = live_options;
    const double saved_cal         = search_state.calibration_nps;
    search_state.calibration_nps   = 1000000;
    live_options.UCI_LimitStrength = 1;
    live_options.UCI_Elo           = 1500;
    resolve_strength();
    EXPECT_NEAR(elo_of_nps(search_state.target_nps), 1500, 0.5);
    EXPECT_NEAR(search_state.target_nps, 26, 1);
    EXPECT_EQ(live_options.UCI_LimitStrength, 1);
    live_options                 = saved;
    search_state.calibration_nps = saved_cal;
}

} // namespace
} // namespace tarn
