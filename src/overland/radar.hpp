// Radar precipitation: each active model cell takes the rain rate of the
// radar cell that contains its centre. Radar files are ASCII grids with their
// own extent and cell size, in inches per hour.
#pragma once

#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

struct precip_grid {
    // The model grid, copied at set-up.
    int grid_cols = 0, grid_rows = 0;
    double west = 0.0, north = 0.0;  // model grid edges (m)
    double cellsize = 0.0;           // m
    int ncells = 0;
    // Radar cell index (row-major from the north-west corner, from 0) of every
    // active cell, 1-based by cell.
    vec1<int> kesta_to_precip;

    // Header of the radar grid.
    int radar_cols = 0, radar_rows = 0;
    double radar_west = 0.0, radar_south = 0.0;
    double radar_cellsize = 0.0;
    double nodata = 0.0;
    double radar_north = 0.0;  // radar_south + radar_rows * radar_cellsize

    std::vector<double> precip_data;  // mm/h, radar_rows * radar_cols
};

// Copies the model grid into the record and sizes "kesta_to_precip".
void init_precip_grid(precip_grid& g, const model_state& m);

// Reads the six-line header (cols, rows, west, south, cell size, no-data;
// each a label and a value). Returns 0, or -1 when the file cannot be opened
// or its header is unreadable, or holds a size, row or column count of 0 or
// less; the held header is then unchanged. "precip_data" is resized when the
// rows or columns change.
int read_radar_header(precip_grid& g, const std::string& file);

// Maps every active cell to its radar cell, reading the header of `file`.
// False, with code 102 and the stop flag stored, when the header cannot be
// read or an active cell's centre lies outside the radar grid.
bool map_cells_to_radar(const std::string& file, precip_grid& g, const mat2<int>& mask);

// Reads one radar grid into "precip_data" (mm/h, capped at 100). Returns 0, or
// -1 when the file cannot be opened, its size differs from the held header or
// a value is unreadable; "precip_data" is then unchanged.
int read_radar_values(const std::string& file, precip_grid& g);

// Copies each active cell's radar rate into `ri` (negative rates as 0).
void apply_radar_precip(const precip_grid& g, vec1<double>& ri);

// Centre of model cell (row, col), both from 1.
void cell_center_coords(double north, double west, int row, int col, double& easting,
                        double& northing, double size);
// Radar row and column (from 0) that hold a point. False when the point lies
// north or west of the radar grid.
bool coord_to_radar_cell(double radar_north, double radar_west, double easting, double northing,
                         int& row, int& col, double size);

}  // namespace kesta
