#include "subsurface/subsurface_steps.hpp"

#include "subsurface/wells.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_sacramento(model_state&) {}
void step_groundwater(model_state&) {}
void open_sacramento_file(model_state&) {}

double sacramento_storage_volume(const model_state&) { return 0.0; }
double sacramento_et_volume(const model_state&) { return 0.0; }
void sacramento_start_event(model_state&) {}

// Set-up services of the well list, not built yet: no well is recorded.
void add_well_record(model_state&, int, int, double, int) {}
void assign_wells_to_cells(model_state&, const mat2<int>&, const mat2<int>&, int, int) {}

}  // namespace kesta
