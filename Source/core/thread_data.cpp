#include "core/thread_data.h"

#include <cstring>
#include <new>

namespace tarn {

ThreadData* main_thread = nullptr;

ThreadData* thread_data_create() {
    void* memory = ::operator new(sizeof(ThreadData), std::nothrow);
    if (!memory)
        return nullptr;
    std::memset(memory, 0, sizeof(ThreadData));
    ThreadData* td = new (memory) ThreadData;
    std::memset(td->history, 0, sizeof td->history);
    std::memset(td->counter1, 0, sizeof td->counter1);
    std::memset(td->counter2, 0, sizeof td->counter2);
    std::memset(td->followup, 0, sizeof td->followup);
    td->pos.owner = td;
    thread_data_reset_lists(*td);
    return td;
}

void thread_data_destroy(ThreadData* td) {
    if (!td)
        return;
    td->~ThreadData();
    ::operator delete(td);
}

void thread_data_reset_lists(ThreadData& td) {
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

void thread_data_copy_game(ThreadData& dst, const ThreadData& src) {
    dst.pos       = src.pos;
    dst.pos.owner = &dst;
    std::memcpy(dst.undo, src.undo,
                sizeof(UndoRecord) * static_cast<std::size_t>(src.game_ply + 1));
    dst.game_ply   = src.game_ply;
    dst.search_ply = src.search_ply;
    dst.last_move  = src.last_move;
}

} // namespace tarn
