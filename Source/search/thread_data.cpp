#include "search/thread_data.h"

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
    td->board.pos.owner = &td->board;
    thread_board_reset_lists(td->board);
    return td;
}

void thread_data_destroy(ThreadData* td) {
    if (!td)
        return;
    td->~ThreadData();
    ::operator delete(td);
}

} // namespace tarn
