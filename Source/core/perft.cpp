#include "core/perft.h"

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/thread_data.h"
#include "search/picker.h"

namespace tarn {

void perft(ThreadData& td, int side, int ply, int depth) {
    Position& pos    = td.pos;
    PlyFrame& frame  = td.frames[ply];
    frame.checker    = static_cast<std::uint8_t>(checker_of(pos, side));
    frame.hash_move  = 0;
    frame.in_check   = frame.checker != NO_SQUARE;
    frame.pick_stage = PICK_PERFT;
    while (MoveEntry* e = next_move(pos)) {
        const Move m = e->move;
        if (m == NULL_MOVE || !is_legal(pos, side, m))
            continue;
        if (depth <= 1) {
            count(td.nodes);
            continue;
        }
        make_move(pos, m);
        perft(td, side ^ 1, ply + 1, depth - 1);
        unmake_move(pos);
    }
}

std::uint64_t perft_count(ThreadData& td, int depth) {
    if (depth > PERFT_MAX_DEPTH)
        depth = PERFT_MAX_DEPTH;
    td.nodes = 0;
    if (depth <= 0)
        return 1;
    thread_data_reset_lists(td);
    ordering_reset(td);
    perft(td, td.pos.side, td.search_ply, depth);
    return td.nodes;
}

} // namespace tarn
