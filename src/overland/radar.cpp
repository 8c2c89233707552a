// Radar precipitation grids: header, mapping of model cells onto radar cells,
// values (inches per hour converted to millimetres per hour), application.
#include "overland/radar.hpp"

#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kMaxRadarRate = 100.0;  // mm/h
constexpr double kNoDataTolerance = 0.01;

// One header line: a label, then the value.
bool header_int(std::FILE* fp, int& v) {
    line_cursor line;
    std::string label;
    return read_line(line, fp) && pop_string(line, label) && pop_int_strict(line, v);
}

bool header_double(std::FILE* fp, double& v) {
    line_cursor line;
    std::string label;
    return read_line(line, fp) && pop_string(line, label) && pop_double_strict(line, v);
}

}  // namespace

void init_precip_grid(precip_grid& g, const model_state& m) {
    g.grid_cols = m.grid_cols > 0 ? m.grid_cols : m.cols;
    g.grid_rows = m.grid_rows > 0 ? m.grid_rows : m.rows;
    g.west = m.west;
    g.north = m.north;
    g.cellsize = m.gridsize;
    g.ncells = m.ncells;
    g.kesta_to_precip = vec1<int>(m.ncells);
}

int read_radar_header(precip_grid& g, const std::string& file) {
    std::string name = file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) return -1;
    int cols = 0, rows = 0;
    double west = 0.0, south = 0.0, size = 0.0, nodata = 0.0;
    const bool ok = header_int(fp.get(), cols) && header_int(fp.get(), rows) &&
                    header_double(fp.get(), west) && header_double(fp.get(), south) &&
                    header_double(fp.get(), size) && header_double(fp.get(), nodata);
    if (!ok || cols <= 0 || rows <= 0 || !(size > 0.0)) return -1;
    const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    // The grid is sized from its header: the file must have room for a
    // value of a digit and a separator per radar cell.
    const long bytes = file_size(fp.get());
    if (bytes >= 0 && cells > static_cast<std::size_t>(bytes + 1) / 2) {
        std::printf("Error: radar file %s gives %d columns (line 1) and %d rows (line 2), %zu cells; its %ld bytes "
                    "cannot hold a value per cell\n",
                    name.c_str(), cols, rows, cells, bytes);
        return -1;
    }
    if (cols != g.radar_cols || rows != g.radar_rows || g.precip_data.size() != cells)
        g.precip_data.assign(cells, 0.0);
    g.radar_cols = cols;
    g.radar_rows = rows;
    g.radar_west = west;
    g.radar_south = south;
    g.radar_cellsize = size;
    g.nodata = nodata;
    g.radar_north = rows * size + south;
    return 0;
}

void cell_center_coords(double north, double west, int row, int col, double& easting,
                        double& northing, double size) {
    easting = west + size / 2.0 + (col - 1) * size;
    northing = north - size / 2.0 - (row - 1) * size;
}

bool coord_to_radar_cell(double radar_north, double radar_west, double easting, double northing,
                         int& row, int& col, double size) {
    if (northing > radar_north || easting < radar_west) return false;
    const double r = std::floor((radar_north - northing) / size);
    const double c = std::floor((easting - radar_west) / size);
    if (r > 2e9 || c > 2e9) return false;
    row = static_cast<int>(r);
    col = static_cast<int>(c);
    return true;
}

bool map_cells_to_radar(const std::string& file, precip_grid& g, const mat2<int>& mask) {
    if (read_radar_header(g, file) != 0) {
        std::printf("Error: unable to read radar header in file %s\n", file.c_str());
        g_error_record.fail(102);
        return false;
    }
    if (g.kesta_to_precip.n() < g.ncells) g.kesta_to_precip = vec1<int>(g.ncells);
    for (int i = 1; i <= g.grid_rows && i <= mask.nrows(); ++i) {
        for (int j = 1; j <= g.grid_cols && j <= mask.ncols(); ++j) {
            const int k = mask[i][j];
            if (k <= 0 || k > g.ncells) continue;
            double e = 0.0, n = 0.0;
            cell_center_coords(g.north, g.west, i, j, e, n, g.cellsize);
            int ri = -1, rj = -1;
            const bool inside = coord_to_radar_cell(g.radar_north, g.radar_west, e, n, ri, rj,
                                                    g.radar_cellsize);
            if (!inside || ri > g.radar_rows - 1 || rj > g.radar_cols - 1) {
                std::printf("Error!! p_I=%d, p_J=%d\n", ri, rj);
                g_error_record.fail(102);
                return false;
            }
            g.kesta_to_precip[k] = ri * g.radar_cols + rj;
        }
    }
    return true;
}

int read_radar_values(const std::string& file, precip_grid& g) {
    std::string name = file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) return -1;
    int cols = 0, rows = 0;
    if (!header_int(fp.get(), cols) || !header_int(fp.get(), rows)) return -1;
    for (int i = 0; i < 4; ++i) {
        line_cursor skip;
        if (!read_line(skip, fp.get())) return -1;
    }
    if (cols != g.radar_cols || rows != g.radar_rows) return -1;

    // Values are kept only when the whole grid was read.
    std::vector<double> data(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    double peak = 0.0;
    std::size_t n = 0;
    std::string rest_of_row;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            double v = 0.0;
            if (std::fscanf(fp.get(), "%lf", &v) != 1) {
                std::printf("Error in reading radar precip file %s\n", file.c_str());
                return -1;
            }
            if (std::fabs(v - g.nodata) <= kNoDataTolerance || !(v > 0.0)) {
                v = 0.0;
            } else {
                v *= kMmPerInch;
            }
            if (v > kMaxRadarRate) {
                warn(format_text("Warning: really big precip value (%lf) in cell (%d,%d) from radar rainfall.\n"
                                 " resetting value to 100.0\n",
                                 v, i, j));
                v = kMaxRadarRate;
            }
            if (v > peak) peak = v;
            data[n++] = v;
        }
        read_text_line(fp.get(), rest_of_row);
    }
    g.precip_data.swap(data);
    std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
    return 0;
}

void apply_radar_precip(const precip_grid& g, vec1<double>& ri) {
    const int total = static_cast<int>(g.precip_data.size());
    double peak = 0.0;
    for (int k = 1; k <= g.ncells && k <= ri.n() && k <= g.kesta_to_precip.n(); ++k) {
        const int index = g.kesta_to_precip[k];
        if (index < 0 || index > total - 1) {
            std::printf("Error: cellnum=%d, totcells=%d\n", index, total);
            break;
        }
        double v = g.precip_data[static_cast<std::size_t>(index)];
        if (v < 0.0) v = 0.0;
        ri[k] = v;
        if (v > peak) peak = v;
    }
    std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
}

}  // namespace kesta
