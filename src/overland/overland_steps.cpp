#include "overland/overland_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void build_cell_connectivity(model_state&) {}
void init_overland_slopes(model_state&) {}
void step_overland_flow(model_state&) {}
void step_overland_lake_extent(model_state&) {}
void update_lake_extent(model_state&) {}

}  // namespace kesta
