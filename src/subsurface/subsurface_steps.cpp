#include "subsurface/subsurface_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_soil_et_accounting(model_state&) {}
void step_hydromet(model_state&) {}
void step_infiltration(model_state&) {}
void step_sacramento(model_state&) {}
void step_groundwater(model_state&) {}

}  // namespace kesta
