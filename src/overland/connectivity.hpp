// Neighbours of the active cells and the cell slopes.
#pragma once

#include "core/arrays.hpp"

namespace kesta {

// For each active cell k of the numbered mask (rows by cols, border of zeros
// around it), the cell number of its neighbour to the east, south, north and
// west, 0 where that neighbour is off the grid or outside the watershed. Each
// vector needs room for every active cell.
void build_neighbor_index(int rows, int cols, vec1<int>& east, vec1<int>& south, vec1<int>& north,
                          vec1<int>& west, const mat2<int>& mask);

}  // namespace kesta
