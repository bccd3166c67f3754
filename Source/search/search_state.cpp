#include "search/search_state.h"

#include <cmath>

namespace tarn {

SearchControl search_control;
SearchState search_state;
SearchResults search_results;

SearchLimits depth_limits(int depth) {
    SearchLimits limits;
    limits.max_depth = depth;
    limits.time_mode = TIME_FIXED_MOVE;
    limits.move_time = TIME_UNLIMITED;
    return limits;
}

double branching_factor() {
    const int d = search_results.last_depth;
    if (d < 6 || d >= DEPTH_SLOTS || search_results.nodes_by_depth[d] == 0 ||
        search_results.nodes_by_depth[d - 4] == 0)
        return 2.0;
    return std::pow(static_cast<double>(search_results.nodes_by_depth[d]) /
                        static_cast<double>(search_results.nodes_by_depth[d - 4]),
                    0.25);
}

} // namespace tarn
