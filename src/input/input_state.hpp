// Members of the model state owned by project input and model set-up.
#pragma once

#include <string>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
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

    // The run's input files, one per project card (suffix _fp), opened by
    // open_run_files in the order of the run's files; empty when not open.
    // A reader done with its file closes it and leaves the slot empty.
    file_ptr watershed_mask_fp, elevation_fp;
    file_ptr gw_boundfile_fp, out_well_location_fp, gw_hycond_map_fp, gw_porosity_map_fp, water_table_fp,
        aquifer_bottom_fp;
    file_ptr soil_type_map_fp, soil_layer_input_file_fp;
    file_ptr moisture_fp, conductivity_fp, capillary_fp, porosity_fp, pore_index_fp, residual_sat_fp;
    file_ptr hmet_fp;  // whichever of HMET_SURFAWAYS, HMET_SAMSON, HMET_KVL names it
    file_ptr albedo_fp, vheight_fp, tcoeff_fp, canopy_fp, wilting_point_fp;
    file_ptr precip_file_fp, stream_cell_fp, storage_capacity_fp, interception_coeff_fp, overland_lake_map_fp,
        overland_lake_file_fp, reten_depth_fp, roughness_fp, area_reduction_fp;
    file_ptr channel_input_fp;
    file_ptr read_chan_hotstart_depth_fp, read_chan_hotstart_discharge_fp;  // READ_CHAN_HOTSTART opened twice
    file_ptr read_ov_hotstart_fp;
    file_ptr in_hyd_location_fp, in_theta_location_fp;
    file_ptr in_sed_loc_fp;  // the sediment locations (IN_SED_LOC)
    file_ptr contam_map_fp;

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
