#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/eval_support.h"
#include "eval/hce.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// Positions of the perft suites and positions reached from them by random legal moves.
std::vector<std::string> sample_positions(ThreadData& td) {
    std::vector<std::string> fens;
    for (const char* file : {"perft-standard.txt", "perft-impossible.txt", "perft-chess960.txt"})
        for (const std::string& fen : test::suite_fens(file))
            fens.push_back(fen);
    std::mt19937 rng(12345);
    const std::size_t starts = fens.size();
    for (std::size_t i = 0; i < starts; i += 3) {
        test::set_fen(td, fens[i].c_str());
        for (int ply = 0; ply < 40; ++ply) {
            std::vector<Move> moves;
            for (MoveEntry* m = gen_all(td.board.pos); m->move != END_OF_LIST; ++m)
                if (is_legal(td.board.pos, td.board.pos.side, m->move))
                    moves.push_back(m->move);
            if (moves.empty())
                break;
            make_move(td.board.pos, moves[rng() % moves.size()]);
            if (ply % 8 == 7)
                fens.push_back(write_fen(td.board.pos, false));
        }
    }
    return fens;
}

class HceSymmetry : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    test::ThreadDataHandle td;
};

TEST_F(HceSymmetry, FlippedColoursScoreTheSame) {
    const std::vector<std::string> fens = sample_positions(*td);
    ASSERT_GT(fens.size(), 2000u);
    for (const std::string& fen : fens) {
        const int score           = test::hce_of(*td, fen.c_str());
        const std::string flipped = test::flip_colours(fen);
        const int mirror          = test::hce_of(*td, flipped.c_str());
        EXPECT_LE(std::abs(score - mirror), 2) << fen << " / " << flipped;
    }
}

TEST_F(HceSymmetry, MirroredFilesScoreTheSame) {
    const std::vector<std::string> fens = sample_positions(*td);
    for (const std::string& fen : fens) {
        const Position& pos = test::set_fen(*td, fen.c_str());
        // With two queens of a colour on one rank the pinning term picks a different queen.
        if (popcount(pos.pieces[make_code(WHITE, QUEEN)]) > 1 ||
            popcount(pos.pieces[make_code(BLACK, QUEEN)]) > 1)
            continue;
        const int score = test::hce_of(*td, fen.c_str());
        EXPECT_EQ(score, test::hce_of(*td, test::mirror_files(fen).c_str())) << fen;
    }
}

TEST_F(HceSymmetry, ExtremeMaterialStaysInRange) {
    for (const char* fen :
         {"QQQQQQQQ/Q7/8/8/8/8/8/k6K w - -", "k6K/8/8/8/8/8/q7/qqqqqqqq b - -",
          "K7/8/8/8/8/8/8/rrrrkrrr w - -", "7k/8/8/8/8/8/8/K7 w - -",
          "rnbqkbnr/8/8/8/8/8/8/RNBQKBNR w - -", "k7/PPPPPPPP/8/8/8/8/pppppppp/7K w - -",
          "1k6/8/8/8/8/8/8/QQQQQQQK b - -"}) {
        const int score = test::hce_of(*td, fen);
        EXPECT_LT(std::abs(score), 30000) << fen;
    }
}

} // namespace
} // namespace tarn
