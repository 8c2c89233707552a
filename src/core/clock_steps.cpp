#include "core/clock_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void advance_clock(model_state&) {}
void init_run_times(model_state&) {}
void shift_relative_series(model_state&) {}
void init_surface_volume(model_state&) {}
void track_peak_flow(model_state&) {}

}  // namespace kesta
