#include "output/grid_writers.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/error_record.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kNoData = -9999.99;
constexpr std::size_t kBinaryNameBytes = 40;

bool active(const mat2<int>& mask, int row, int col) {
    return row >= 0 && row <= mask.nrows() && col >= 0 && col <= mask.ncols() && mask[row][col] != 0;
}

// Hands out the packed values in order; past the end of the vector it gives
// 0.0 rather than reading beyond it.
class packed_values {
public:
    explicit packed_values(const vec1<double>& v) : v_(v) {}
    double next() {
        ++k_;
        return k_ <= v_.n() ? v_[k_] : 0.0;
    }

private:
    const vec1<double>& v_;
    int k_ = 0;
};

// Little-endian fields, byte by byte, whatever the host's byte order.
void put_u32(std::FILE* fp, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 24)};
    std::fwrite(b, 1, sizeof b, fp);
}

void put_i32(std::FILE* fp, std::int32_t v) { put_u32(fp, static_cast<std::uint32_t>(v)); }

void put_i16(std::FILE* fp, std::int16_t v) {
    const std::uint16_t u = static_cast<std::uint16_t>(v);
    const unsigned char b[2] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8)};
    std::fwrite(b, 1, sizeof b, fp);
}

void put_f64(std::FILE* fp, double v) {
    std::uint64_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
    std::fwrite(b, 1, sizeof b, fp);
}

bool create_dataset(std::string& file_name, const char* mode, file_ptr& out) {
    const std::string shown = file_name;
    out = open_file(file_name, mode, 1);
    if (out) return true;
    g_error_record.fail(59, std::string(), shown);
    return false;
}

}  // namespace

bool grids_from_pexlo(const model_state& m) { return !m.project_options.pexlo_base_grid.empty(); }

int map_output_format(const model_state& m) {
    if (m.map_grass) return map_format_grids;
    if (m.map_tvm_binary) return map_format_binary_dataset;
    if (grids_from_pexlo(m)) return map_format_pexlo_dataset;
    return map_format_ascii_dataset;
}

void write_grass_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                            double east, double west, int rows, int cols,
                            const vec1<double>& values) {
    std::fprintf(fp, "north: %9.2lf\n", north);
    std::fprintf(fp, "south: %9.2lf\n", south);
    std::fprintf(fp, "east: %9.2lf\n", east);
    std::fprintf(fp, "west: %9.2lf\n", west);
    std::fprintf(fp, "rows: %5d\n", rows);
    std::fprintf(fp, "cols: %5d\n", cols);
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j)
            std::fprintf(fp, "%lf ", active(mask, i, j) ? next.next() : 0.0);
        std::fputs("\n", fp);
    }
}

void write_esri_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                           double east, double west, int rows, int cols,
                           const vec1<double>& values, double cell_size) {
    std::fprintf(fp, "ncols \t%d\n", cols);
    std::fprintf(fp, "nrows \t%d\n", rows);
    std::fprintf(fp, "xllcorner %9.2lf\n", std::min(west, east));
    std::fprintf(fp, "yllcorner %9.2lf\n", std::min(north, south));
    std::fprintf(fp, "cellsize %9.2lf\n", cell_size);
    std::fputs("NODATA_value -9999.99\n", fp);
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j)
            std::fprintf(fp, "%6.4lf ", active(mask, i, j) ? next.next() : kNoData);
        std::fputs("\n", fp);
    }
}

bool write_ascii_dataset_header(std::string file_name, file_ptr& out, int object_id,
                                const std::string& dataset_name, const model_state& m) {
    if (!create_dataset(file_name, "w", out)) return false;
    // Rows x columns in a wide type: never a negative count from an overflow.
    const long long cells = static_cast<long long>(m.rows) * static_cast<long long>(m.cols);
    std::FILE* fp = out.get();
    std::fputs("DATASET\n", fp);
    std::fputs("OBJTYPE grid2d\n", fp);
    std::fputs("BEGSCL\n", fp);
    std::fprintf(fp, "OBJID %d\n", object_id);
    std::fprintf(fp, "ND %lld\n", cells);
    std::fprintf(fp, "NC %lld\n", cells);
    std::fprintf(fp, "NAME %s\n", dataset_name.c_str());
    return true;
}

bool write_binary_dataset_header(std::string file_name, file_ptr& out, int object_id,
                                 const std::string& dataset_name) {
    if (!create_dataset(file_name, "wb", out)) return false;
    std::FILE* fp = out.get();
    // The two values after the cards 170 and 180 are the constant 6.
    const std::int32_t cards[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160};
    for (std::int32_t c : cards) put_i32(fp, c);
    put_i32(fp, object_id);
    const std::int32_t tail[] = {170, 6, 180, 6, 190};
    for (std::int32_t c : tail) put_i32(fp, c);
    char name[kBinaryNameBytes] = {};
    std::memcpy(name, dataset_name.data(), std::min(dataset_name.size(), kBinaryNameBytes));
    std::fwrite(name, 1, kBinaryNameBytes, fp);
    return true;
}

void open_map_dataset(int object_id, const std::string& file_name, const std::string& dataset_name,
                      file_ptr& out, model_state& m) {
    switch (map_output_format(m)) {
        case map_format_grids:
        case map_format_pexlo_dataset:
            return;
        case map_format_binary_dataset:
            write_binary_dataset_header(file_name, out, object_id, dataset_name);
            return;
        default:
            write_ascii_dataset_header(file_name, out, object_id, dataset_name, m);
            return;
    }
}

void write_grid_dataset_ts(std::FILE* fp, double time, int rows, int cols, const mat2<int>& mask,
                           const vec1<double>& values, bool binary) {
    if (binary) {
        put_i32(fp, 200);
        put_i16(fp, 1);
        put_f64(fp, time);
    } else {
        std::fprintf(fp, "TS 1 %lf\n", time);
    }
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const int flag = active(mask, i, j) ? 1 : 0;
            if (binary)
                put_i16(fp, static_cast<std::int16_t>(flag));
            else
                std::fprintf(fp, "%d\n", flag);
        }
    }
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const double v = active(mask, i, j) ? next.next() : 0.0;
            if (binary)
                put_f64(fp, v);
            else
                std::fprintf(fp, "%lf\n", v);
        }
    }
}

}  // namespace kesta
