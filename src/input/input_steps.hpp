// Start-up steps of project input and model set-up.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

void setup_run_control(model_state& m);
void read_model_inputs(model_state& m);
void setup_optim_and_precip_events(model_state& m);

// Initial nutrient values of the cells, the groundwater and the soils.
void assign_grid_constituents(model_state& m);
void assign_zep_gw_tables(model_state& m);
void assign_zep_soil_tables(model_state& m);
// Element j of row i of `rows` takes values[i], for i = 1 to count.
void copy_vector_to_column(const vec1<double>& values, mat2<double>& rows, int j, int count);
// Initial nutrient values of the stream nodes from the nutrient mapping tables.
void assign_stream_constituents(model_state& m);

}  // namespace kesta
