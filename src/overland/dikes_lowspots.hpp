// Overland dikes and the low spots through them.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Checks every low spot against the grid, the dike map and the ground, in
// file order, and zeroes its flow. The first bad low spot prints its message,
// reports code 4000 (the run stops) and ends the checks; returns false then.
bool validate_lowspots(model_state& m);

// Called by both routing schemes once per routing call when the low-spot file
// is given. Passes water over every low spot for dt seconds by the weir law
// Q = 1.48 H^1.5 (fraction x cell size), H being the upstream water surface
// above the crest. A side inside an overland lake takes the lake's level and
// books its volume to the lake's step volume; an ordinary cell changes its
// depth. No low spot moves more than the water standing above its crest, nor
// so much that the downstream surface would rise above the upstream one.
void dike_flow(model_state& m, double dt);

}  // namespace kesta
