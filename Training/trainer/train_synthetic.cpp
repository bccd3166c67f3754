#include "trainer/train_synthetic.h"

#include <algorithm>
#include <random>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/thread_data.h"

namespace tarn {

namespace {} // namespace

int synthetic_score(const Position& pos) {
    const int side = pos.side, other = side ^ 1;
    const auto pawns = [&](int c) { return popcount(pieces_of(pos, c, PAWN)); };
    return SYNTHETIC_PAWN_CP *
           (pos.piece_material[side] + pawns(side) - pos.piece_material[other] - pawns(other));
}

TrainingRecord record_of(const Position& pos, int score, int result) {
    TrainingRecord r;
    std::copy(pos.board, pos.board + 64, r.board);
    r.side          = pos.side;
    r.castle_rights = pos.castle_rights;
    r.ep_square     = pos.ep_square;
    r.result_value  = static_cast<std::int16_t>(result);
    r.score_first   = static_cast<std::int16_t>(score);
    r.score_second  = static_cast<std::int16_t>(score);
    return r;
}

bool add_random_play(TrainingSet& set, int count, std::uint32_t seed) {
    return random_play(count, seed, [&](const Position& pos) {
        const int score = synthetic_score(pos);
        add_position(set, pos, score, result_value(win_probability(score)));
    });
}

bool random_play(int count, std::uint32_t seed, const std::function<void(const Position&)>& take) {
    ThreadData* td = thread_data_create();
    if (!td)
        return false;
    std::mt19937 rng(seed);
    Position& pos = td->board.pos;
    int added = 0, ply = SYNTHETIC_GAME_PLIES;
    while (added < count) {
        if (ply >= SYNTHETIC_GAME_PLIES) {
            parse_fen(pos, START_FEN);
            ply = 0;
        }
        const std::vector<Move> legal = legal_moves(pos);
        if (legal.empty()) {
            ply = SYNTHETIC_GAME_PLIES;
            continue;
        }
        if (ply >= SYNTHETIC_SKIP_PLIES && checker_of(pos, pos.side) == NO_SQUARE) {
            take(pos);
            ++added;
        }
        // A move of a game, not of a search: every generation uses the first frame, so a
        // long game never runs past the search's frames.
        make_game_move(pos, legal[rng() % legal.size()]);
        ++ply;
    }
    thread_data_destroy(td);
    return true;
}

} // namespace tarn
