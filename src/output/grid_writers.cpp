#include "output/grid_writers.hpp"

namespace kesta {

void write_grass_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                            double east, double west, int rows, int cols,
                            const vec1<double>& values) {
    std::fprintf(fp, "north: %9.2lf\n", north);
    std::fprintf(fp, "south: %9.2lf\n", south);
    std::fprintf(fp, "east: %9.2lf\n", east);
    std::fprintf(fp, "west: %9.2lf\n", west);
    std::fprintf(fp, "rows: %5d\n", rows);
    std::fprintf(fp, "cols: %5d\n", cols);
    int k = 0;
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const bool active = i <= mask.nrows() && j <= mask.ncols() && mask[i][j] != 0;
            double v = 0.0;
            if (active) {
                ++k;
                if (k <= values.n()) v = values[k];
            }
            std::fprintf(fp, "%lf ", v);
        }
        std::fprintf(fp, "\n");
    }
}

}  // namespace kesta
