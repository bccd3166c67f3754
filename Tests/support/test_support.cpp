#include "support/test_support.h"

#include <mutex>

#include "core/fen.h"
#include "frontend/startup.h"

namespace tarn::test {

namespace {
std::once_flag tables_once;
}

ThreadData* new_thread_data() {
    std::call_once(tables_once, init_engine_tables);
    return thread_data_create();
}

Position& set_fen(ThreadData& td, const char* fen) {
    parse_fen(td.pos, fen);
    return td.pos;
}

std::string shared_data(const char* name) {
    return std::string(TARN_SHARED_DATA_DIR) + "/" + name;
}

} // namespace tarn::test
