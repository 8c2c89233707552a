#include "subsurface/subsurface_steps.hpp"

#include "subsurface/wells.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_groundwater(model_state&) {}

// Set-up services of the well list, not built yet: no well is recorded.
void add_well_record(model_state&, int, int, double, int) {}
void assign_wells_to_cells(model_state&, const mat2<int>&, const mat2<int>&, int, int) {}

}  // namespace kesta
