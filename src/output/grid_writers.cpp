#include "output/grid_writers.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "core/error_record.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kNoData = -9999.99;
constexpr std::size_t kBinaryNameBytes = 40;
constexpr std::int32_t kBinaryStepCard = 200;
constexpr std::int32_t kBinaryEndCard = 210;

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

// Gathers what a writer puts out in one block on the stack and hands it to
// the stream a block at a time: a grid of a million cells leaves in some
// hundred writes instead of millions of formatted ones, and nothing is
// allocated. Numbers are formatted by to_chars, which gives the same
// characters as printf's "%.Nf" for every double.
class block_out {
public:
    explicit block_out(std::FILE* fp) : fp_(fp) {}
    ~block_out() { flush(); }
    block_out(const block_out&) = delete;
    block_out& operator=(const block_out&) = delete;

    void text(const char* s) { bytes(s, std::strlen(s)); }
    void bytes(const void* p, std::size_t n) {
        const char* s = static_cast<const char*>(p);
        while (n > 0) {
            if (used_ == kSize) flush();
            const std::size_t take = std::min(n, kSize - used_);
            std::memcpy(buf_ + used_, s, take);
            used_ += take;
            s += take;
            n -= take;
        }
    }
    // The value as printf's "%.<decimals>lf" prints it, then `tail`.
    void fixed(double v, int decimals, char tail) {
        room(kLongestNumber);
        const std::to_chars_result r =
            std::to_chars(buf_ + used_, buf_ + kSize, v, std::chars_format::fixed, decimals);
        used_ = static_cast<std::size_t>(r.ptr - buf_);
        buf_[used_++] = tail;
    }
    // Little-endian fields, byte by byte, whatever the host's byte order.
    void u32(std::uint32_t v) {
        room(4);
        for (int i = 0; i < 4; ++i) buf_[used_++] = static_cast<char>(v >> (8 * i));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void i16(std::int16_t v) {
        room(2);
        const std::uint16_t u = static_cast<std::uint16_t>(v);
        buf_[used_++] = static_cast<char>(u);
        buf_[used_++] = static_cast<char>(u >> 8);
    }
    void f64(double v) {
        std::uint64_t u = 0;
        std::memcpy(&u, &v, sizeof u);
        room(8);
        for (int i = 0; i < 8; ++i) buf_[used_++] = static_cast<char>(u >> (8 * i));
    }
    void flush() {
        if (used_ > 0) std::fwrite(buf_, 1, used_, fp_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 1 << 16;
    // The widest fixed-point double: 309 digits before the point, a sign,
    // the point, the decimals and the character after it.
    static constexpr std::size_t kLongestNumber = 340;
    void room(std::size_t n) {
        if (kSize - used_ < n) flush();
    }

    std::FILE* fp_;
    std::size_t used_ = 0;
    char buf_[kSize];
};

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
    block_out out(fp);
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) out.fixed(active(mask, i, j) ? next.next() : 0.0, 6, ' ');
        out.text("\n");
    }
}

void write_esri_ascii_grid(std::FILE* fp, const mat2<int>& mask, double north, double south,
                           double east, double west, int rows, int cols,
                           const vec1<double>& values, double cell_size) {
    std::fprintf(fp, "ncols \t%d\n", cols);
    std::fprintf(fp, "nrows \t%d\n", rows);
    std::fprintf(fp, "xllcenter %9.2lf\n", std::min(west, east) + 0.5 * cell_size);
    std::fprintf(fp, "yllcenter %9.2lf\n", std::min(north, south) + 0.5 * cell_size);
    std::fprintf(fp, "cellsize %9.2lf\n", cell_size);
    std::fputs("NODATA_value -9999.99\n", fp);
    // "%6.4lf": four decimals always give at least six characters, so the
    // width never pads.
    block_out out(fp);
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) out.fixed(active(mask, i, j) ? next.next() : kNoData, 4, ' ');
        out.text("\n");
    }
}

void write_ascii_dataset_header(std::FILE* fp, int object_id, const std::string& dataset_name,
                                const model_state& m) {
    // Rows x columns in a wide type: never a negative count from an overflow.
    const long long cells = static_cast<long long>(m.rows) * static_cast<long long>(m.cols);
    std::fputs("DATASET\n", fp);
    std::fputs("OBJTYPE grid2d\n", fp);
    std::fputs("BEGSCL\n", fp);
    std::fprintf(fp, "OBJID %d\n", object_id);
    std::fprintf(fp, "ND %lld\n", cells);
    std::fprintf(fp, "NC %lld\n", cells);
    std::fprintf(fp, "NAME %s\n", dataset_name.c_str());
}

void write_binary_dataset_header(std::FILE* fp, int object_id, const std::string& dataset_name) {
    block_out b(fp);
    // The two values after the cards 170 and 180 are the constant 6.
    const std::int32_t cards[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160};
    for (std::int32_t c : cards) b.i32(c);
    b.i32(object_id);
    const std::int32_t tail[] = {170, 6, 180, 6, 190};
    for (std::int32_t c : tail) b.i32(c);
    char name[kBinaryNameBytes] = {};
    std::memcpy(name, dataset_name.data(), std::min(dataset_name.size(), kBinaryNameBytes));
    b.bytes(name, kBinaryNameBytes);
}

void write_grid_dataset_ts(std::FILE* fp, double time, int rows, int cols, const mat2<int>& mask,
                           const vec1<double>& values, bool binary) {
    block_out out(fp);
    if (binary) {
        out.i32(kBinaryStepCard);
        out.i16(1);
        out.f64(time);
    } else {
        out.text("TS 1 ");
        out.fixed(time, 6, '\n');
    }
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const bool on = active(mask, i, j);
            if (binary)
                out.i16(on ? 1 : 0);
            else
                out.text(on ? "1\n" : "0\n");
        }
    }
    packed_values next(values);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const double v = active(mask, i, j) ? next.next() : 0.0;
            if (binary)
                out.f64(v);
            else
                out.fixed(v, 6, '\n');
        }
    }
}

void write_dataset_end(std::FILE* fp, bool binary) {
    if (binary) {
        block_out out(fp);
        out.i32(kBinaryEndCard);
    } else {
        std::fputs("ENDDS\n", fp);
    }
}

}  // namespace kesta
