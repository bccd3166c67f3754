#include "core/thread_board.h"

#include <cstring>

namespace tarn {

void thread_board_reset_lists(ThreadBoard& td) {
    td.move_stack[0].move = END_OF_LIST;
    td.move_stack[1].move = END_OF_LIST;
    td.dummy_entries[0] = td.dummy_entries[1] = MoveEntry{END_OF_LIST, 0, 0, 0};
    td.frames[0].list_start = td.frames[0].cursor = &td.move_stack[0];
    td.frames[1].list_start                       = &td.move_stack[1];
    // Every ply gets a list area of its own by default, so a list can be written at any ply
    // even when the plies below it generated none (set-up code, tests); generation at a ply
    // moves the next plies' starts right behind its own list.
    constexpr int SHARE = MOVE_STACK_ENTRIES / PLY_FRAMES;
    for (int p = 2; p < PLY_FRAMES; ++p) {
        td.frames[p].list_start       = &td.move_stack[SHARE * (p - 1)];
        td.frames[p].list_start->move = END_OF_LIST;
    }
    td.frames[1].cursor = &td.dummy_entries[1];
    td.frames[0].cursor = &td.dummy_entries[0];
}

void thread_board_copy_game(ThreadBoard& dst, const ThreadBoard& src) {
    dst.pos       = src.pos;
    dst.pos.owner = &dst;
    std::memcpy(dst.undo, src.undo,
                sizeof(UndoRecord) * static_cast<std::size_t>(src.game_ply + 1));
    dst.game_ply   = src.game_ply;
    dst.search_ply = src.search_ply;
    dst.last_move  = src.last_move;
}

} // namespace tarn
