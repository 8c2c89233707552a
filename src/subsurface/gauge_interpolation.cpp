// Spreading gauge values over the active cells: inverse-distance-squared
// weighting, and the nearest gauge of every cell for Thiessen polygons.
// Distances are in the grid's coordinates (m); a cell is represented by its
// centre.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

// A cell farther than this from every gauge has no nearest gauge.
constexpr double kFarthestGauge = 900000.0;
// Distance a search starts from; above kFarthestGauge, so no gauge at all fails.
constexpr double kNoGaugeYet = 1e6;

double centre_x(int col, double dx, double west) { return col * dx + west - dx / 2.0; }
double centre_y(int row, double dx, double north) { return north - row * dx + dx / 2.0; }

// Value of gauge g in period p; 0 where the table has no such entry.
double gauge_value(const mat2<double>& values, int g, int p) {
    if (g < 1 || g > values.nrows() || p < 0 || p > values.ncols()) return 0.0;
    return values[g][p];
}

}  // namespace

void idw_points_to_grid(double dx, int period, const mat2<int>& mask, int ngauges,
                        const vec1<double>& northing, const vec1<double>& easting, double north,
                        double west, const mat2<double>& values, vec1<double>& ri, int rows,
                        int cols) {
    const int gauges = std::min({ngauges, northing.n(), easting.n()});
    for (int i = 1; i <= rows && i <= mask.nrows(); ++i) {
        for (int j = 1; j <= cols && j <= mask.ncols(); ++j) {
            const int cell = mask[i][j];
            if (cell < 1 || cell > ri.n()) continue;
            if (ngauges == 1) {
                ri[cell] = gauge_value(values, 1, period);
                continue;
            }
            const double x = centre_x(j, dx, west), y = centre_y(i, dx, north);
            double weights = 0.0, weighted = 0.0;
            bool copied = false;
            for (int k = 1; k <= gauges; ++k) {
                const double d = std::hypot(x - easting[k], y - northing[k]);
                if (d < dx) {
                    // A gauge within one cell size stands for the cell.
                    ri[cell] = gauge_value(values, k, period);
                    copied = true;
                    break;
                }
                weights += 1.0 / (d * d);
                weighted += gauge_value(values, k, period) / (d * d);
            }
            if (!copied) ri[cell] = weights > 0.0 ? weighted / weights : 0.0;
        }
    }
}

void find_neighbor(int ngauges, const mat2<int>& mask, const vec1<double>& easting,
                   const vec1<double>& northing, double north, double west, vec1<int>& nearest,
                   double dx, int rows, int cols) {
    const int gauges = std::min({ngauges, northing.n(), easting.n()});
    for (int i = 1; i <= rows && i <= mask.nrows(); ++i) {
        for (int j = 1; j <= cols && j <= mask.ncols(); ++j) {
            const int cell = mask[i][j];
            if (cell < 1 || cell > nearest.n()) continue;
            const double x = centre_x(j, dx, west), y = centre_y(i, dx, north);
            double smallest = kNoGaugeYet;
            for (int k = 1; k <= gauges; ++k) {
                const double d = std::hypot(x - easting[k], y - northing[k]);
                // On equal distances the later gauge wins.
                if (d <= smallest) {
                    nearest[cell] = k;
                    smallest = d;
                }
            }
            if (smallest > kFarthestGauge) {
                refuse("Failure to identify closest raingauge in find_neighbor\n"
                       "check rain gage data file, particularly gage coordinates\n");
                return;
            }
        }
    }
}

}  // namespace kesta
