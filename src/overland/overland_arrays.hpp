#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Makes the per-cell working vectors of the overland, soil, groundwater,
// evapotranspiration and lake computations that the run's options need, each
// of ncells + 1 zeros. Runs once, after the mask has fixed ncells.
void alloc_overland_arrays(model_state& m);

}  // namespace kesta
