#include "input/input_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void assign_zep_soil_tables(model_state&) {}

}  // namespace kesta
