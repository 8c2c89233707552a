// The model clock steps of the run driver.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

void advance_clock(model_state& m);
void init_run_times(model_state& m);
void shift_relative_series(model_state& m);
void init_surface_volume(model_state& m);
void track_peak_flow(model_state& m);

}  // namespace kesta
