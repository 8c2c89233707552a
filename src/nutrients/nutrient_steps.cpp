#include "nutrients/nutrient_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void open_nutrient_outputs(model_state&) {}

}  // namespace kesta
