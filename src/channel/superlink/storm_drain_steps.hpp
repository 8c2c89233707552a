// Loop step of the storm-drain and tile-drain network.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void step_storm_drain(model_state& m);

}  // namespace kesta
