#include "core/perft.h"

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/thread_board.h"

namespace tarn {

std::uint64_t perft(ThreadBoard& td, const MoveSource& moves, int side, int ply, int depth) {
    Position& pos = td.pos;
    moves.begin(moves.context, side, ply);
    std::uint64_t leaves = 0;
    while (MoveEntry* e = moves.next(moves.context)) {
        const Move m = e->move;
        if (m == NULL_MOVE || !is_legal(pos, side, m))
            continue;
        if (depth <= 1) {
            ++leaves;
            continue;
        }
        make_move(pos, m);
        leaves += perft(td, moves, side ^ 1, ply + 1, depth - 1);
        unmake_move(pos);
    }
    return leaves;
}

std::uint64_t perft_count(ThreadBoard& td, const MoveSource& moves, int depth) {
    if (depth > PERFT_MAX_DEPTH)
        depth = PERFT_MAX_DEPTH;
    if (depth <= 0)
        return 1;
    thread_board_reset_lists(td);
    return perft(td, moves, td.pos.side, td.search_ply, depth);
}

} // namespace tarn
