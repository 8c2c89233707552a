// Per-cell sediment values filled from the mapping-table file.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Stores the parent-soil fraction of sediment class `sed_class` (from 1) of
// active cell `cell` (from 1), from the SOIL_EROSION_PROPS table.
void set_sed_parent_fraction(model_state& m, int cell, int sed_class, double fraction);

}  // namespace kesta
