#include "search/search_state.h"

namespace tarn {

SearchState search_state;

} // namespace tarn
