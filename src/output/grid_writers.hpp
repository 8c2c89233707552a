// Writers of gridded output: two ASCII grid formats and the gridded dataset
// in its ASCII and binary forms.
//
// The cell values leave in large blocks, formatted without printf, so that
// writing a frame costs little beside the step that computed it.
//
// Every writer takes the grid as its row and column counts, a numbered mask
// [row][col] (non-zero for an active cell, rows and columns from 1) and a
// packed 1-based vector of one value per active cell in row-major order.
// Cells outside the mask's extent count as inactive; an active cell past
// the end of the packed vector is written as 0.0.
#pragma once

#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Map output format codes.
enum map_format : int {
    map_format_grids = 1,           // numbered ASCII grid files
    map_format_ascii_dataset = 2,
    map_format_binary_dataset = 3,
    map_format_pexlo_dataset = 4,
};

// True when the run takes its grids from a PEXLO file (a PEXLO base grid is
// named).
bool grids_from_pexlo(const model_state& m);

// The format of the run's map outputs, tested in the order numbered grids
// (MAP_TYPE 0), binary datasets, PEXLO datasets, ASCII datasets.
int map_output_format(const model_state& m);

// Six-line header ("north: ", "south: ", "east: ", "west: ", "rows: ",
// "cols: "), then one line per grid row of "%lf " values, 0.0 for an
// inactive cell.
void write_grass_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                            double east, double west, int rows, int cols,
                            const vec1<double>& values);

// Header ncols, nrows, xllcenter, yllcenter (the centre of the lower-left
// cell: the smaller of west and east, and of north and south, plus half the
// cell size), cellsize and NODATA_value -9999.99, then one line per grid row
// of "%6.4lf " values, the no-data value for an inactive cell.
void write_esri_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                           double east, double west, int rows, int cols,
                           const vec1<double>& values, double cell_size);

// The header of a dataset file: ASCII (opened "w") with ND and NC the
// grid's rows x columns, or binary (opened "wb", 100 bytes, the name cut or
// zero-padded to 40 bytes).
void write_ascii_dataset_header(std::FILE* fp, int object_id, const std::string& dataset_name,
                                const model_state& m);
void write_binary_dataset_header(std::FILE* fp, int object_id, const std::string& dataset_name);

// One time step of a dataset. ASCII: "TS 1 %lf\n", one "%d\n" activity flag
// per cell of the whole grid, then one "%lf\n" value per cell. Binary,
// little-endian: the 32-bit card 200, a 16-bit 1, the time as an 8-byte
// double, one 16-bit flag per cell, one 8-byte double per cell.
void write_grid_dataset_ts(std::FILE* fp, double time, int rows, int cols, const mat2<int>& mask,
                           const vec1<double>& values, bool binary);

// The end mark of a dataset: "ENDDS\n", or the 32-bit card 210 in a binary one.
void write_dataset_end(std::FILE* fp, bool binary);

}  // namespace kesta
