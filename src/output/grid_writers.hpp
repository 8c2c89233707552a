// Writers of gridded output.
#pragma once

#include <cstdio>

#include "core/arrays.hpp"

namespace kesta {

// Writes a GRASS-style ASCII grid to an open stream: the six-line header
// (north, south, east, west, rows, cols), then one line per grid row with
// "%lf " per cell: the next packed value (values[1], values[2], ... in
// row-major order) for a cell whose mask entry is non-zero, 0.0 for any other.
// A packed value missing from `values` is written as 0.0.
void write_grass_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                            double east, double west, int rows, int cols,
                            const vec1<double>& values);

}  // namespace kesta
