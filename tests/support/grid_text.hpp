// ASCII grid files for tests: the six-line header of a grid of square cells
// whose south-west corner is at (0, 0), then the values as given.
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

}  // namespace kesta_test
