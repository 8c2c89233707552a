// Start-up steps of the nutrient module.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void open_nutrient_outputs(model_state& m);

}  // namespace kesta
