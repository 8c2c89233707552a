#include "subsurface/subsurface_steps.hpp"

#include "subsurface/soil_layer_table.hpp"
#include "subsurface/wells.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void step_sacramento(model_state&) {}
void step_groundwater(model_state&) {}
void setup_wetlands(model_state&) {}
void open_sacramento_file(model_state&) {}
void read_soil_table(model_state&) {}

double richards_unsat_step(model_state&, double) { return 0.0; }
void richards_surface_moisture(model_state&) {}
double richards_column_water(const model_state&, int) { return 0.0; }
double richards_top_saturation(const model_state&, int) { return 0.0; }
double sacramento_storage_volume(const model_state&) { return 0.0; }
double sacramento_et_volume(const model_state&) { return 0.0; }
void sacramento_start_event(model_state&) {}

// Set-up services of the well list and the Richards soil table, not built
// yet: no well is recorded and no soil column is set up.
void add_well_record(model_state&, int, int, double, int) {}
void assign_wells_to_cells(model_state&, const mat2<int>&, const mat2<int>&, int, int) {}
int read_soil_layer_table(model_state&, table_cursor&) { return 0; }

}  // namespace kesta
