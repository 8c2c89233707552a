#include "overland/overland_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_event_precip(model_state&) {}
void step_precip_period(model_state&) {}
void apply_precip(model_state&) {}
void step_overland_flow(model_state&) {}

}  // namespace kesta
