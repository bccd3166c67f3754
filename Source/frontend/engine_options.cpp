#include "frontend/engine_options.h"

#include <cstring>

namespace tarn {

EngineOptions live_options;
EngineOptions saved_options;

void copy_option_text(char* field, int field_size, const char* text) {
    std::strncpy(field, text, static_cast<std::size_t>(field_size - 1));
    field[field_size - 1] = 0;
}

} // namespace tarn
