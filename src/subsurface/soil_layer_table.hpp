// The Richards soil-layer table in its mapping-table form.
#pragma once

#include "input/mapping_tables.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Reads the Richards soil table (Brooks and Corey or Havercamp) from the
// lines after its keyword line; returns the largest number of nodes of a
// cell column.
int read_soil_layer_table(model_state& m, table_cursor& table);

}  // namespace kesta
