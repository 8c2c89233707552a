// Input texts for tests: ASCII grid files (the six-line header of a grid of
// square cells whose south-west corner is at (0, 0), then the values as
// given) and rows of the mapping tables.
#pragma once

#include <cstdio>
#include <string>

namespace kesta_test {

inline std::string grid_text(int rows, int cols, double cell_size, const std::string& values) {
    char head[256];
    std::snprintf(head, sizeof head, "north: %g\nsouth: 0\neast: %g\nwest: 0\nrows: %d\ncols: %d\n",
                  rows * cell_size, cols * cell_size, rows, cols);
    return head + values;
}

// A mapping-table row: the id in six columns, an 80-character description
// field, then the values.
inline std::string table_row(int id, const std::string& values) {
    char idf[16];
    std::snprintf(idf, sizeof idf, "%6d", id);
    return std::string(idf) + std::string(80, ' ') + values + "\n";
}

}  // namespace kesta_test
