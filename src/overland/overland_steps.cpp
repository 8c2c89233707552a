#include "overland/overland_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void build_cell_connectivity(model_state&) {}
void init_overland_slopes(model_state&) {}
void step_event_precip(model_state&) {}
void step_precip_period(model_state&) {}
void apply_precip(model_state&) {}
void step_overland_lake_extent(model_state&) {}
void dike_flow(model_state&, double) {}

}  // namespace kesta
