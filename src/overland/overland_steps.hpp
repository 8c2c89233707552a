// Start-up and loop steps of rainfall and overland flow.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void build_cell_connectivity(model_state& m);
void init_overland_slopes(model_state& m);
// Starts each precipitation event at its time; an event still running when
// the next begins is ended and closed first. An event whose start the clock
// has passed stops the run (code 4000).
void step_event_precip(model_state& m);
// Sets the rain rate (mm/h) of every cell for the step: the rain of the
// periods that fall within the step over its length, so an event gives the
// file's total whatever the time step; ends the rain at the last line.
void step_precip_period(model_state& m);
void apply_precip(model_state& m);
void step_overland_flow(model_state& m);
void step_overland_lake_extent(model_state& m);
// New levels and extents of the channel-network lakes from their volumes.
void update_lake_extent(model_state& m);

// Moves water over the low spots of the overland dikes for dt seconds; called
// by both routing schemes once per routing call when the low-spot file is given.
void dike_flow(model_state& m, double dt);

}  // namespace kesta
