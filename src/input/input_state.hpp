// Members of the model state owned by project input and model set-up.
#pragma once

#include <string>

#include "core/arrays.hpp"
#include "input/mapping_tables.hpp"
#include "input/run_params.hpp"
#include "input/stream_mapping_tables.hpp"

namespace kesta {

struct input_state {
    // The blocks exactly as the project file gives them.
    kesta::project_options project_options;
    kesta::run_params run_params;
    kesta::rain_params rain_params;

    int float_maps = 1;  // the maps read are floating-point grids

    vec1<double> event_start_times;  // Julian start of each precipitation event, from 1
    // Working copies of the input cards.
    std::string elevation, watershed_mask, materials;
    int mapping_table_given = 0;
    std::string mapping_table;
    kesta::mapping_table_info mapping_table_info;  // all 0 until the file is checked
    int st_mapping_table_given = 0;
    std::string st_mapping_table;
    stream_table_info st_mapping_table_info;  // all 0 until the file is checked
    // The run's mapping-table file, read once on its first use.
    mapping_table_file mapping_tables;

    // Soil-moisture output cells (IN_THETA_LOCATION), entries 1..cell_loc_count.
    int cell_loc_count = 0;
    vec1<int> cell_loc;    // active cell
    vec1<int> cell_num;    // soil nodes listed (Richards runs)
    mat2<int> cell_nodes;  // [entry][k], k to cell_num[entry]: the soil nodes listed (Richards runs)
};

// Grid members at the tail of the state.
struct grid_state {
    int ncells = 0;       // active cells, numbered row by row from 1
    mat2<int> mask;       // cell number by [row][col], 0 outside, with a border of zeros
    mat2<int> data;       // scratch integer grid, shaped like the mask
    vec1<double> elev;    // ground elevation per cell (m)
    double gridsize = 0;  // cell size (m)
    int rows = 0, cols = 0;
    // Edges (map units, m) and size of the grid as the mask file gives them.
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    int grid_rows = 0, grid_cols = 0;
    double watershed_area = 0.0;  // m2
    vec1<double> tmpv;  // scratch value per cell
};

}  // namespace kesta
