// The model clock steps of the run driver.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void advance_clock(model_state& m);
void init_run_times(model_state& m);
void shift_relative_series(model_state& m);
void init_surface_volume(model_state& m);
void track_peak_flow(model_state& m);

// The model time at which the time loop starts (Julian days): the first
// hydrometeorological record of a long-term run, the first precipitation
// event of a run with rain from a file (under the land-management framework
// the event it asked for), or the start date of uniform rain. Needs the event
// start times when the rain comes from a file.
double run_start_time(const model_state& m);

}  // namespace kesta
