// ASCII grids and gridded datasets: headers, cell order and the binary
// layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "output/grid_writers.hpp"
#include "output/output_objects.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::written_by;

// A 2 x 2 grid whose upper-right cell is inactive; active cells numbered
// row by row, holding 1.5, 2.5 and 3.5.
struct two_by_two {
    two_by_two() : mask(3, 3), values(3) {
        mask[1][1] = 1;
        mask[2][1] = 2;
        mask[2][2] = 3;
        for (int k = 1; k <= 3; ++k) values[k] = k + 0.5;
    }
    kesta::mat2<int> mask;
    kesta::vec1<double> values;
};

std::int32_t i32_at(const std::string& bytes, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(u);
}

TEST(GridWriters, GrassGridsPlaceTheirHeaderAndZeroInactiveCells) {
    const two_by_two g;
    EXPECT_EQ(written_by([&](std::FILE* fp) {
                  kesta::write_grass_ascii_grid(fp, g.mask, 700.0, 500.0, 1000.0, 500.0, 2, 2, g.values);
              }),
              "north:    700.00\nsouth:    500.00\neast:   1000.00\nwest:    500.00\nrows:     2\ncols:     2\n"
              "1.500000 0.000000 \n2.500000 3.500000 \n");
}

TEST(GridWriters, CellValuesReadAsPrintfWouldPrintThem) {
    // Halves at the last decimal, values just either side of them, signs,
    // zeros and magnitudes far from a depth's.
    const double cases[] = {0.00005, 0.00015, 0.000249999, 1.00005, -0.00004, -0.0, 2.675e-5, 0.1234567,
                            123456.78905, 1e-300, -7.5e9, 1e20};
    const int n = static_cast<int>(sizeof cases / sizeof cases[0]);
    kesta::mat2<int> mask(2, n + 1);
    kesta::vec1<double> values(n);
    std::string esri_cells, dataset_values;
    char text[64];
    for (int k = 1; k <= n; ++k) {
        mask[1][k] = k;
        values[k] = cases[k - 1];
        std::snprintf(text, sizeof text, "%6.4lf ", values[k]);
        esri_cells += text;
        std::snprintf(text, sizeof text, "%lf\n", values[k]);
        dataset_values += text;
    }
    const std::string esri =
        written_by([&](std::FILE* fp) { kesta::write_esri_ascii_grid(fp, mask, 1, 0, n, 0, 1, n, values, 1.0); });
    EXPECT_EQ(esri.substr(esri.rfind("-9999.99\n") + 9), esri_cells + "\n");
    const std::string step =
        written_by([&](std::FILE* fp) { kesta::write_grid_dataset_ts(fp, 0.0, 1, n, mask, values, false); });
    EXPECT_EQ(step.substr(step.size() - dataset_values.size()), dataset_values);
}

TEST(GridWriters, DatasetStepHasOneFlagAndOneValuePerCell) {
    const two_by_two g;
    EXPECT_EQ(written_by([&](std::FILE* fp) { kesta::write_grid_dataset_ts(fp, 1.5, 2, 2, g.mask, g.values, false); }),
              "TS 1 1.500000\n1\n0\n1\n1\n1.500000\n0.000000\n2.500000\n3.500000\n");

    // Binary: little-endian fields by cell.
    const std::string bytes =
        written_by([&](std::FILE* fp) { kesta::write_grid_dataset_ts(fp, 2.0, 2, 2, g.mask, g.values, true); });
    ASSERT_EQ(bytes.size(), 4u + 2u + 8u + 4u * 2u + 4u * 8u);
    EXPECT_EQ(i32_at(bytes, 0), 200);
    EXPECT_EQ(bytes.substr(4, 2), std::string("\x01\x00", 2));
    double t = 0.0;
    std::memcpy(&t, bytes.data() + 6, 8);  // the test host is little-endian
    EXPECT_EQ(t, 2.0);
    EXPECT_EQ(bytes.substr(14, 8), std::string("\x01\x00\x00\x00\x01\x00\x01\x00", 8));
    double v[4];
    std::memcpy(v, bytes.data() + 22, sizeof v);
    EXPECT_EQ(v[0], 1.5);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_EQ(v[3], 3.5);
}

TEST(GridWriters, BinaryDatasetHeaderIsOneHundredBytesOrStopsTheRunWithCode59) {
    kesta::g_error_record = kesta::error_record();
    kesta_test::temp_dir dir;
    kesta::file_ptr out(std::fopen(dir.file("depth.dat").c_str(), "wb"));
    ASSERT_TRUE(out);
    kesta::write_binary_dataset_header(out.get(), 1010, "depth");
    out.reset();
    const std::string bytes = kesta_test::read_file(dir.file("depth.dat"));
    ASSERT_EQ(bytes.size(), 100u);
    const std::int32_t expected[] = {3000, 100, 4, 110, 8, 120, 2, 130, 160, 1010, 170, 6, 180, 6, 190};
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(i32_at(bytes, 4 * i), expected[i]) << i;
    EXPECT_EQ(bytes.substr(60), std::string("depth") + std::string(35, '\0'));

    // A map dataset that cannot be created.
    const std::string name = dir.file("no_such_folder/d.dat");
    kesta::model_state m;
    kesta::map_series series;
    EXPECT_FALSE(series.open(kesta::map_format_binary_dataset, "", "d", ".asc", name, 1, "d", "card DEPTH", m));
    EXPECT_FALSE(series.dataset_open());
    EXPECT_EQ(kesta::g_error_record.code, 59);
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    EXPECT_EQ(kesta::g_error_record.file_name, name);
    kesta::g_error_record = kesta::error_record();
}

}  // namespace
