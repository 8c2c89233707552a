#include "overland/overland_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void update_lake_extent(model_state&) {}

}  // namespace kesta
