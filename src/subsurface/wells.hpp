// The well records of the groundwater solution, filled from the WELL_TABLE
// of the mapping-table file.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Adds one WELL_TABLE row: its ID, whether it follows a time series
// (uses_series non-zero, series_index naming the series) or pumps a constant
// rate (volume per second).
void add_well_record(model_state& m, int id, int uses_series, double rate, int series_index);

// Gives every mask cell of the well index map (ID grid by [row][col], 0 for
// none) the well of its ID.
void assign_wells_to_cells(model_state& m, const mat2<int>& id_grid, const mat2<int>& mask, int rows,
                           int cols);

}  // namespace kesta
