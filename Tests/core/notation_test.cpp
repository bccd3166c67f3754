#include <gtest/gtest.h>
#include <string>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/run_settings.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// Restores the protocol and Chess960 settings that a test changes.
class Notation : public ::testing::Test {
protected:
    void SetUp() override { saved_ = run_settings; }
    void TearDown() override { run_settings = saved_; }
    void mode(int protocol, int chess960) {
        run_settings.protocol_mode = static_cast<std::uint16_t>(protocol);
        run_settings.chess960      = static_cast<std::uint8_t>(chess960);
    }
    Move parsed(ThreadData& td, const char* text) {
        Move m = NULL_MOVE;
        return parse_move(td.board.pos, text, m, run_move_style()) ? m : NULL_MOVE;
    }
    RunSettings saved_;
    test::ThreadDataHandle td_;
};

TEST_F(Notation, CoordinateForms) {
    mode(PROTOCOL_UCI, 0);
    Position& pos    = test::set_fen(*td_, "4k3/4P3/8/8/8/8/8/4K2R w K -");
    const Move promo = make_move_code(52, 60, PROMOTE_QUEEN);
    EXPECT_EQ(move_to_coord(pos, WHITE, promo, run_move_style()), "e7e8q");
    EXPECT_EQ(move_to_coord(pos, WHITE, make_move_code(52, 60, PROMOTE_KNIGHT), run_move_style()),
              "e7e8n");
    EXPECT_EQ(move_to_coord(pos, WHITE, NULL_MOVE, run_move_style()), "null");
    mode(PROTOCOL_CONSOLE, 0);
    EXPECT_EQ(move_to_coord(pos, WHITE, promo, run_move_style()), "e7e8=Q");
    const Move castle = make_move_code(4, 6, CASTLE_KING);
    EXPECT_EQ(move_to_coord(pos, WHITE, castle, run_move_style()), "e1g1");
    mode(PROTOCOL_UCI, 1);
    EXPECT_EQ(move_to_coord(pos, WHITE, castle, run_move_style()), "e1h1");
}

TEST_F(Notation, CastlingTextsInBothModes) {
    for (int frc = 0; frc < 2; ++frc) {
        mode(PROTOCOL_UCI, frc);
        for (const char* text : {"e1g1", "e1h1", "O-O", "o-o", "0-0"}) {
            test::set_fen(*td_, "4k3/8/8/8/8/8/8/4K2R w K -");
            EXPECT_EQ(parsed(*td_, text), make_move_code(4, 6, CASTLE_KING)) << text << frc;
        }
    }
    mode(PROTOCOL_UCI, 1);
    Position& pos     = test::set_fen(*td_, "4k3/8/8/8/8/8/8/4K2R w K -");
    const MoveTexts t = move_to_san(pos, make_move_code(4, 6, CASTLE_KING), run_move_style());
    EXPECT_EQ(t.san, "o-o");
    EXPECT_EQ(t.file_form, "O-O");
    EXPECT_EQ(t.coord, "e1h1");
    EXPECT_EQ(t.rank_form, "e1g1");
}

TEST_F(Notation, PieceQualifiers) {
    mode(PROTOCOL_UCI, 0);
    Position& pos = test::set_fen(*td_, "4k3/8/8/8/8/8/3N4/4K1N1 w - -");
    MoveTexts t   = move_to_san(pos, make_move_code(6, 21), run_move_style());
    EXPECT_EQ(t.san, "Ngf3");
    EXPECT_EQ(t.file_form, "Ngf3");
    EXPECT_EQ(t.rank_form, "N1f3");
    test::set_fen(*td_, "4k3/8/8/6N1/8/8/8/4K1N1 w - -");
    t = move_to_san(pos, make_move_code(6, 21), run_move_style());
    EXPECT_EQ(t.san, "N1f3");
    // Both knights have the file form Ngf3.
    testing::internal::CaptureStdout();
    EXPECT_EQ(parsed(*td_, "Ngf3"), NULL_MOVE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
    EXPECT_EQ(parsed(*td_, "N1f3"), make_move_code(6, 21));
    EXPECT_EQ(parsed(*td_, "N5f3"), make_move_code(38, 21));
}

TEST_F(Notation, PinnedRivalNeedsNoQualifier) {
    mode(PROTOCOL_UCI, 0);
    // The d2 knight is pinned by the a5 bishop, so g1-f3 is the only knight move to f3.
    Position& pos = test::set_fen(*td_, "4k3/8/8/b7/8/8/3N4/4K1N1 w - -");
    EXPECT_EQ(move_to_san(pos, make_move_code(6, 21), run_move_style()).san, "Nf3");
    EXPECT_EQ(parsed(*td_, "Nf3"), make_move_code(6, 21));
}

TEST_F(Notation, PawnForms) {
    mode(PROTOCOL_UCI, 0);
    Position& pos = test::set_fen(*td_, "4k3/8/8/3p4/4P3/8/8/4K3 w - -");
    MoveTexts t   = move_to_san(pos, make_move_code(28, 35), run_move_style());
    EXPECT_EQ(t.coord, "e4d5");
    EXPECT_EQ(t.san, "exd5");
    EXPECT_EQ(t.file_form, "ed");
    EXPECT_EQ(t.rank_form, "");
    test::set_fen(*td_, "8/4P3/8/8/8/8/8/k3K3 w - -");
    for (const char* text : {"e8q", "e8=Q", "e7e8q", "e8Q", "e8=q"})
        EXPECT_EQ(parsed(*td_, text), make_move_code(52, 60, PROMOTE_QUEEN)) << text;
    EXPECT_EQ(parsed(*td_, "e8=N"), make_move_code(52, 60, PROMOTE_KNIGHT));
}

TEST_F(Notation, CheckMarks) {
    mode(PROTOCOL_UCI, 0);
    Position& pos     = test::set_fen(*td_, "4k3/8/8/8/8/8/8/R3K3 w - -");
    const MoveTexts t = move_to_san(pos, make_move_code(0, 56), run_move_style());
    EXPECT_EQ(t.san, "Ra8+");
    EXPECT_EQ(t.coord, "a1a8+");
    EXPECT_EQ(t.file_form, "Raa8+");
    EXPECT_EQ(t.rank_form, "R1a8+");
    EXPECT_EQ(parsed(*td_, "Ra8+"), make_move_code(0, 56));
    EXPECT_EQ(parsed(*td_, "Ra8"), make_move_code(0, 56));
    // Discovered check, and castling that checks with the rook.
    test::set_fen(*td_, "4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    EXPECT_EQ(move_to_san(pos, make_move_code(28, 45), run_move_style()).san, "Nf6+");
    test::set_fen(*td_, "5k2/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(move_to_san(pos, make_move_code(4, 6, CASTLE_KING), run_move_style()).san, "o-o+");
}

TEST_F(Notation, CoordinateReading) {
    mode(PROTOCOL_UCI, 0);
    Position& pos = test::set_fen(*td_, START_FEN);
    EXPECT_EQ(parse_coord_move(pos, "e2e4"), make_move_code(12, 28));
    EXPECT_EQ(parse_coord_move(pos, "e2"), NULL_MOVE);
    EXPECT_EQ(parse_coord_move(pos, "i2e4"), NULL_MOVE);
    EXPECT_EQ(parse_coord_move(pos, "e2e9"), NULL_MOVE);
    test::set_fen(*td_, "4k3/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(parse_coord_move(pos, "e1g1"), make_move_code(4, 6, CASTLE_KING));
    EXPECT_EQ(parse_coord_move(pos, "e1h1"), make_move_code(4, 7, CASTLE_KING));
    EXPECT_EQ(parse_coord_move(pos, "e1f1"), make_move_code(4, 5));
    // find_legal_move maps both castling texts onto the generated move.
    EXPECT_EQ(find_legal_move(pos, parse_coord_move(pos, "e1h1")),
              make_move_code(4, 6, CASTLE_KING));
    EXPECT_EQ(find_legal_move(pos, parse_coord_move(pos, "e1e3")), NULL_MOVE);
    test::set_fen(*td_, "8/4P3/8/8/8/8/8/k3K3 w - -");
    EXPECT_EQ(find_legal_move(pos, parse_coord_move(pos, "e7e8")),
              make_move_code(52, 60, PROMOTE_QUEEN));
    EXPECT_EQ(find_legal_move(pos, parse_coord_move(pos, "e7e8r")),
              make_move_code(52, 60, PROMOTE_ROOK));
}

// Every legal move of every suite position reads back from each of its four texts, or is
// reported ambiguous only where another legal move has the same text.
void round_trip_suite(ThreadData& td, const char* file) {
    for (const std::string& fen : test::suite_fens(file)) {
        Position& pos = test::set_fen(td, fen.c_str());
        std::vector<Move> legal;
        for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e)
            if (is_legal(pos, pos.side, e->move))
                legal.push_back(e->move);
        for (Move m : legal) {
            const MoveTexts t = move_to_san(pos, m, run_move_style());
            for (const std::string* text : {&t.coord, &t.san}) {
                Move back = NULL_MOVE;
                testing::internal::CaptureStdout();
                const bool ok = parse_move(pos, text->c_str(), back, run_move_style());
                testing::internal::GetCapturedStdout();
                ASSERT_TRUE(ok) << fen << " " << *text;
                ASSERT_EQ(back, m) << fen << " " << *text;
            }
        }
    }
}

TEST_F(Notation, SuiteRoundTripStandard) {
    mode(PROTOCOL_UCI, 0);
    round_trip_suite(*td_, "perft-standard.txt");
    mode(PROTOCOL_CONSOLE, 0);
    round_trip_suite(*td_, "perft-standard.txt");
}

TEST_F(Notation, SuiteRoundTripChess960) {
    mode(PROTOCOL_UCI, 1);
    round_trip_suite(*td_, "perft-chess960.txt");
}

} // namespace
} // namespace tarn
