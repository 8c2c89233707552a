// Members of the model state owned by project input and model set-up.
#pragma once

#include <string>

#include "core/arrays.hpp"
#include "input/mapping_tables.hpp"
#include "input/run_params.hpp"

namespace kesta {

struct input_state {
    // The blocks exactly as the project file gives them.
    kesta::project_options project_options;
    kesta::run_params run_params;
    kesta::rain_params rain_params;

    int float_maps = 1;  // the maps read are floating-point grids

    // The run's mapping-table file, read once on its first use.
    mapping_table_file mapping_tables;
};

// Grid members at the tail of the state.
struct grid_state {
    int ncells = 0;       // active cells, numbered row by row from 1
    mat2<int> mask;       // cell number by [row][col], 0 outside, with a border of zeros
    double gridsize = 0;  // cell size (m)
};

}  // namespace kesta
