// Readers of the ASCII grid files: every raster input of a run (mask,
// elevation, parameter maps, hotstart map, index maps) is a six-line header
// (north, south, east, west, rows, cols) followed by one value per cell.
// Both readers take a stream the caller opened and closes.
//
// Failures are reported at once through g_error_record (report_error), and
// the reader returns false; the caller looks at the stop flag.
#pragma once

#include <cstdio>
#include <string>

#include "core/arrays.hpp"

namespace kesta {

struct grid_header {
    double north = 0.0;  // edges in map units (m)
    double south = 0.0;
    double east = 0.0;
    double west = 0.0;
    int rows = 0;
    int cols = 0;
};

// Modes of read_ascii_map.
constexpr int kMapRealA = 1;     // reals, one grid row per line, mask cells into `a`
constexpr int kMapIntGrid = 2;   // integers, free format, every cell into `grid`
constexpr int kMapRealB = 3;     // reals, one grid row per line, mask cells into `b`
constexpr int kMapCategory = 4;  // integer IDs 0..10000, free format, mask cells into `cells`

constexpr int kMaxMapCategory = 10000;

// Watershed cells (non-zero entries) of rows x cols of a mask that holds them.
int count_mask_cells(const mat2<int>& mask, int rows, int cols);

// Reads one map. `map_name` is used only in messages. `grid` is the mask in
// modes 1, 3 and 4 (a cell belongs to the watershed when non-zero; only read)
// and the destination of every cell in mode 2; it must hold rows by cols.
// Compact vectors (a, b, cells) receive the k-th mask cell in row-major order
// at element k, from 1. The header goes to `header` whatever happens after it.
//
// Refused without storing a value: a header whose north does not exceed its
// south or whose east does not exceed its west, and one whose size differs
// from expected_rows by expected_cols ("Incorrect number of rows and columns
// in map: %s\n" and the like, with the expected and found counts on a second
// line). Refused on the way: an unreadable value (a word, a real in an
// integer map, a value missing from a short row), an ID outside 0..10000 in a
// mask cell in mode 4, the end of the file before the last cell ("Unexpected
// end of file in file: %s\n", then the row and column it ends before), and
// any value beyond the last cell: after the last column of a row (modes 1
// and 3), on a line after the last row, or after rows x cols values (modes 2
// and 4, whose values may wrap lines). All with code 4000.
// After a complete read: "category" counts (mode 4) and the zero-value
// warnings go to the console.
bool read_ascii_map(std::FILE* fp, const std::string& map_name, int mode, grid_header& header,
                    mat2<int>& grid, vec1<double>& a, vec1<double>& b, vec1<int>& cells,
                    int expected_rows, int expected_cols);

// Reads an index map of the mapping-table file: the ID of every mask cell goes
// into id_grid[row][col] (other cells are left as they are). IDs of mask cells
// must lie in 0..max_table_id (code 71 otherwise, with the row and column);
// wrong size: codes 72 to 74; end of file: code 70 (each with its detail on a
// second line); an unreadable value, a header that encloses no area and
// values beyond the last cell: code 4000 with its own message. The count of each ID 1..max_table_id found is
// printed to the console and written to `summary` (when given).
bool read_index_map(std::FILE* fp, const std::string& map_name, grid_header& header,
                    const mat2<int>& mask, mat2<int>& id_grid, int max_table_id,
                    int expected_rows, int expected_cols, std::FILE* summary);

}  // namespace kesta
