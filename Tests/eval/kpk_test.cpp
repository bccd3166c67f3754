#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/eval_support.h"
#include "eval/kpk.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// The table's verdict for a king-and-pawn position.
bool win_of(const Position& pos) {
    const int strong = pos.pieces[make_code(WHITE, PAWN)] ? WHITE : BLACK;
    const int pawn   = lsb(pos.pieces[make_code(strong, PAWN)]);
    return kpk_is_win(strong, pos.king_sq[strong], pos.king_sq[strong ^ 1], pawn, pos.side);
}

class KingPawnTable : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    test::ThreadDataHandle td;

    bool win_of(const char* fen) { return tarn::win_of(test::set_fen(*td, fen)); }
};

// The result once a move has left the king-and-pawn ending, the defender to move: a won queen
// or rook ending unless the new piece falls at once or the defender is stalemated; a drawn
// ending after a capture or an under-promotion to a minor piece.
bool wins_after_leaving(Position& pos) {
    const int attacker = pos.side ^ 1;
    if (!pos.pieces[make_code(attacker, QUEEN)] && !pos.pieces[make_code(attacker, ROOK)])
        return false;
    const std::vector<Move> moves = legal_moves(pos);
    for (const Move m : moves)
        if (pos.board[move_to(m)])
            return false;
    return !moves.empty() || checker_of(pos, pos.side) != NO_SQUARE;
}

// One ply of best play judged by the table on the successors. The engine's own move
// generator decides what is legal, so promotions, stalemates and captures follow the rules
// of the game rather than the solver's model of them.
bool wins_by_successors(Position& pos, int strong) {
    const std::vector<Move> moves = legal_moves(pos);
    int wins                      = 0;
    for (const Move m : moves) {
        make_move(pos, m);
        const bool still_kpk =
            popcount(pos.pieces[make_code(strong, PAWN)]) == 1 && pos.piece_material[strong] == 0;
        wins += (still_kpk ? win_of(pos) : wins_after_leaving(pos)) ? 1 : 0;
        unmake_move(pos);
    }
    if (pos.side == strong)
        return wins > 0;
    return !moves.empty() && wins == static_cast<int>(moves.size());
}

TEST_F(KingPawnTable, AgreesWithTablebaseRows) {
    const std::string path = test::test_data_path("kpk-oracle.tsv");
    std::ifstream in(path);
    ASSERT_TRUE(in) << "missing test data file " << path;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string fen;
        int wdl = 0;
        if (!std::getline(fields, fen, '\t') || !(fields >> wdl))
            continue;
        const std::string board = fen.substr(0, fen.find(' '));
        const auto pawns =
            std::count_if(board.begin(), board.end(), [](char c) { return c == 'p' || c == 'P'; });
        if (board.find_first_of("nbrqNBRQ") != std::string::npos || pawns != 1)
            continue;
        const Position& pos     = test::set_fen(*td, fen.c_str());
        const bool pawn_to_move = pos.pieces[make_code(pos.side, PAWN)] != 0;
        EXPECT_EQ(tarn::win_of(pos), pawn_to_move ? wdl == 2 : wdl == -2) << fen;
        ++checked;
    }
    EXPECT_GE(checked, 15);
}

TEST_F(KingPawnTable, KnowsTextbookPositions) {
    // King on the sixth in front of its pawn wins whoever moves.
    EXPECT_TRUE(win_of("4k3/8/4K3/4P3/8/8/8/8 w - -"));
    EXPECT_TRUE(win_of("4k3/8/4K3/4P3/8/8/8/8 b - -"));
    // The defender blocks a pawn on the sixth with its king on the pawn's front square.
    EXPECT_FALSE(win_of("4k3/8/4P3/4K3/8/8/8/8 w - -"));
    EXPECT_FALSE(win_of("4k3/8/4P3/4K3/8/8/8/8 b - -"));
    // Rook pawn with the defender in the corner.
    EXPECT_FALSE(win_of("k7/8/K7/P7/8/8/8/8 w - -"));
    // The king outside the pawn's square (the pawn still has its double step).
    EXPECT_TRUE(win_of("8/8/8/8/8/k7/6P1/7K w - -"));
    // Black pawn on the seventh: white to move is stalemated, black to move wins.
    EXPECT_FALSE(win_of("8/8/8/8/8/4k3/4p3/4K3 w - -"));
    EXPECT_TRUE(win_of("8/8/8/8/8/4k3/4p3/4K3 b - -"));
    // Pawn on the seventh with the defender on its square: Kb6 wins, but black to move is
    // stalemated; so is a king cornered by a rook pawn.
    EXPECT_TRUE(win_of("2k5/2P5/2K5/8/8/8/8/8 w - -"));
    EXPECT_FALSE(win_of("2k5/2P5/2K5/8/8/8/8/8 b - -"));
    EXPECT_FALSE(win_of("k7/P7/K7/8/8/8/8/8 b - -"));
}

TEST_F(KingPawnTable, PromotionWinsUnlessThePieceFallsOrStalemates) {
    const auto after_promotion = [](const char* ak, const char* dk, const char* sq) {
        const auto at = [](const char* s) { return (s[0] - 'a') + 8 * (s[1] - '1'); };
        return kpk_entry(kpk_index(KpkSquares{at(ak), at(dk), at(sq)}, true)) == KPK_WIN;
    };
    EXPECT_TRUE(after_promotion("c6", "a7", "c8"));  // a queen stalemates, a rook wins
    EXPECT_FALSE(after_promotion("e1", "d7", "c8")); // taken at once
    EXPECT_TRUE(after_promotion("b7", "d8", "c8"));  // protected, and the king has e7
}

TEST_F(KingPawnTable, MatchesOneStepOfBestPlayEverywhere) {
    std::mt19937 rng(20240611);
    int checked = 0;
    for (int n = 0; n < 4000; ++n) {
        const int pawn   = 8 + static_cast<int>(rng() % 48);
        const int wk     = static_cast<int>(rng() % 64);
        const int bk     = static_cast<int>(rng() % 64);
        const int strong = static_cast<int>(rng() % 2);
        const int side   = static_cast<int>(rng() % 2);
        if (wk == bk || wk == pawn || bk == pawn || (king_attacks(wk) & bit(bk)))
            continue;
        Position& pos = td->board.pos;
        reset_position(pos);
        set_piece(pos, WHITE, KING, wk);
        set_piece(pos, BLACK, KING, bk);
        set_piece(pos, strong, PAWN, pawn);
        pos.side = static_cast<std::uint8_t>(side);
        compute_keys(pos);
        if (checker_of(pos, side ^ 1) != NO_SQUARE)
            continue;
        test::set_fen(*td, write_fen(pos, false).c_str()); // a fresh game history
        EXPECT_EQ(tarn::win_of(td->board.pos), wins_by_successors(td->board.pos, strong))
            << write_fen(td->board.pos, false);
        ++checked;
    }
    EXPECT_GT(checked, 3000);
}

TEST_F(KingPawnTable, ColoursAndWingsGiveTheSameVerdict) {
    std::mt19937 rng(7);
    int wins = 0;
    for (int n = 0; n < 2000; ++n) {
        const int pawn = 8 + static_cast<int>(rng() % 48);
        const int wk = static_cast<int>(rng() % 64), bk = static_cast<int>(rng() % 64);
        if (wk == bk || wk == pawn || bk == pawn || (king_attacks(wk) & bit(bk)))
            continue;
        for (const int side : {WHITE, BLACK}) {
            const bool white = kpk_is_win(WHITE, wk, bk, pawn, side);
            wins += white ? 1 : 0;
            EXPECT_EQ(white, kpk_is_win(BLACK, wk ^ 56, bk ^ 56, pawn ^ 56, side ^ 1));
            EXPECT_EQ(white, kpk_is_win(WHITE, wk ^ 7, bk ^ 7, pawn ^ 7, side));
        }
    }
    EXPECT_GT(wins, 500); // neither all wins nor all draws
}

} // namespace
} // namespace tarn
