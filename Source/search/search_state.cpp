#include "search/search_state.h"

#include <cmath>

namespace tarn {

SearchControl search_control;
SearchState search_state;

double branching_factor() {
    const SearchState& s = search_state;
    const int d          = s.last_depth;
    if (d < 6 || d >= DEPTH_SLOTS || s.nodes_by_depth[d] == 0 || s.nodes_by_depth[d - 4] == 0)
        return 2.0;
    return std::pow(static_cast<double>(s.nodes_by_depth[d]) /
                        static_cast<double>(s.nodes_by_depth[d - 4]),
                    0.25);
}

} // namespace tarn
