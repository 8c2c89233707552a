// The readers that load the run's grids, maps and tables into the model
// state. read_model_inputs (input_steps.hpp) calls them in a fixed order;
// each takes the model state, returns nothing and leaves any failure in the
// error record (the stop flag set).
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// The watershed mask: numbers the active cells 1..ncells row by row into
// `mask`, checks the cell size against the header, writes "maskmap".
void read_watershed_mask(model_state& m);
// The ground elevation of every cell and the outlet cell.
void read_elevation_map(model_state& m);
// The overland hotstart depths and the initial water-surface head.
void read_overland_hotstart(model_state& m);
// The water table and the aquifer bottom (with WATER_TABLE).
void read_water_table_maps(model_state& m);
// The dike map and the low-spot file (with DIKE_MAP).
void read_dike_mask(model_state& m);
// The overland lake map and the lake file (with OVERLAND_LAKE_MAP).
void read_lake_map(model_state& m);
// The soil-moisture output cells (with IN_THETA_LOCATION).
void read_cell_list(model_state& m);

// Per-cell parameters: map, mapping table or uniform value.
void read_roughness(model_state& m);
void read_retention(model_state& m);
void read_interception(model_state& m);
void read_overland_boundary(model_state& m);
void read_area_reduction(model_state& m);
void read_infiltration_params(model_state& m);
void read_et_maps(model_state& m);
void read_groundwater_inputs(model_state& m);

}  // namespace kesta
