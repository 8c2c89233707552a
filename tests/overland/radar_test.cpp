// Radar grids: mapping model cells onto radar cells, reading inches per hour
// as millimetres per hour, and the event steps with radar files.
#include <gtest/gtest.h>

#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "overland/radar.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::precip_grid;

std::string radar_header(int cols, int rows, double west, double south, double size) {
    return "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) + "\nxllcorner " +
           std::to_string(west) + "\nyllcorner " + std::to_string(south) + "\ncellsize " +
           std::to_string(size) + "\nNODATA_value -9999\n";
}

// A model grid of 2 rows by 3 columns of 10 m, north-west corner (0, 20),
// every cell active.
struct Radar : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        mask = kesta::mat2<int>(3, 4);
        int k = 0;
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= 3; ++j) mask[i][j] = ++k;
        g.grid_rows = 2;
        g.grid_cols = 3;
        g.north = 20.0;
        g.west = 0.0;
        g.cellsize = 10.0;
        g.ncells = 6;
        g.kesta_to_precip = kesta::vec1<int>(6);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }
    bool map(const std::string& header) {
        const std::string file = dir.write("r.asc", header);
        testing::internal::CaptureStdout();
        const bool ok = kesta::map_cells_to_radar(file, g, mask);
        out = testing::internal::GetCapturedStdout();
        return ok;
    }

    kesta_test::temp_dir dir;
    kesta::mat2<int> mask;
    precip_grid g;
    std::string out;
};

TEST_F(Radar, EveryCellTakesTheRadarCellHoldingItsCentre) {
    // Radar of 20 m cells: 1 row by 2 columns covering x 0..40, y 0..20.
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    EXPECT_DOUBLE_EQ(g.radar_north, 20.0);
    EXPECT_EQ(g.kesta_to_precip[1], 0);  // centre (5, 15)
    EXPECT_EQ(g.kesta_to_precip[2], 0);  // (15, 15)
    EXPECT_EQ(g.kesta_to_precip[3], 1);  // (25, 15)
    EXPECT_EQ(g.kesta_to_precip[6], 1);  // the last row and column like any other
}

TEST_F(Radar, CentreOnTheNorthEdgeMapsToRowZero) {
    // The radar's north edge runs through the centres of model row 1.
    ASSERT_TRUE(map(radar_header(3, 2, 0.0, -5.0, 10.0)));
    EXPECT_EQ(g.kesta_to_precip[1], 0);
    EXPECT_EQ(g.kesta_to_precip[4], 3);  // row 1 of the radar, column 0
}

TEST_F(Radar, GridsThatDoNotCoverTheModelStopTheRun) {
    EXPECT_FALSE(map(radar_header(3, 1, 0.0, 10.0, 10.0)));  // model row 2 lies south of it
    EXPECT_EQ(g_error_record.code, 102);
    EXPECT_EQ(g_error_record.stop, 1);
    g_error_record = kesta::error_record{};
    EXPECT_FALSE(map(radar_header(3, 2, 0.0, -20.0, 10.0)));  // model row 1 lies north of it
    EXPECT_EQ(g_error_record.code, 102);
    g_error_record = kesta::error_record{};
    EXPECT_FALSE(map(radar_header(3, 2, 0.0, 0.0, 0.0)));  // no cell size
    EXPECT_EQ(g_error_record.code, 102);
    EXPECT_NE(out.find("Error: unable to read radar header in file"), std::string::npos);
    g_error_record = kesta::error_record{};
    EXPECT_FALSE(map(radar_header(0, 2, 0.0, 0.0, 10.0)));
    EXPECT_EQ(g_error_record.code, 102);
}

TEST_F(Radar, InchesBecomeMillimetresWithNoDataAndCap) {
    ASSERT_TRUE(map(radar_header(2, 2, 0.0, -20.0, 20.0)));
    const std::string file =
        dir.write("v.asc", radar_header(2, 2, 0.0, -20.0, 20.0) + "1.0 5.0\n-9999 -9999.005\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(kesta::read_radar_values(file, g), 0);
    out = testing::internal::GetCapturedStdout();
    EXPECT_DOUBLE_EQ(g.precip_data[0], 25.4);
    EXPECT_DOUBLE_EQ(g.precip_data[1], 100.0);
    EXPECT_DOUBLE_EQ(g.precip_data[2], 0.0);
    EXPECT_DOUBLE_EQ(g.precip_data[3], 0.0);
    EXPECT_NE(out.find("Warning: really big precip value (127.000000) in cell (0,1)"), std::string::npos);
    EXPECT_NE(out.find("Peak rainfall rate read: 100.000000 mm/hr"), std::string::npos);

    kesta::vec1<double> ri(6);
    testing::internal::CaptureStdout();
    kesta::apply_radar_precip(g, ri);
    testing::internal::GetCapturedStdout();
    EXPECT_DOUBLE_EQ(ri[1], 25.4);  // model row 1 lies in radar row 0
    EXPECT_DOUBLE_EQ(ri[3], 100.0);
}

TEST_F(Radar, UnreadableFilesLeaveTheHeldValues) {
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    g.precip_data = {1.0, 2.0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(kesta::read_radar_values(dir.file("missing.asc"), g), -1);
    const std::string other = dir.write("o.asc", radar_header(3, 1, 0.0, 0.0, 20.0) + "1 1 1\n");
    EXPECT_EQ(kesta::read_radar_values(other, g), -1);
    const std::string short_file = dir.write("s.asc", radar_header(2, 1, 0.0, 0.0, 20.0) + "3.0\n");
    EXPECT_EQ(kesta::read_radar_values(short_file, g), -1);
    testing::internal::GetCapturedStdout();
    EXPECT_DOUBLE_EQ(g.precip_data[0], 1.0);
    EXPECT_DOUBLE_EQ(g.precip_data[1], 2.0);
}

TEST(RadarEvent, MissingRadarFileIsNamedAndThePreviousRatesStay) {
    g_error_record = kesta::error_record{};
    kesta_test::temp_dir dir;
    const std::string header = radar_header(1, 1, 0.0, 0.0, 20.0);
    dir.write("a.asc", header + "0.5\n");
    const std::string rain = dir.write(
        "rain.dat", "EVENT r\nNRGAG FILES\nNRPDS 3\nRADAR 2001 5 10 10 0 " + dir.file("a.asc") +
                        "\nRADAR 2001 5 10 10 10 " + dir.file("a.asc") + "\nRADAR 2001 5 10 10 20 " +
                        dir.file("gone.asc") + "\n");
    kesta::model_state m;
    m.ncells = 1;
    m.rows = m.cols = m.grid_rows = m.grid_cols = 1;
    m.mask = kesta::mat2<int>(2, 2);
    m.mask[1][1] = 1;
    m.north = 20.0;
    m.gridsize = 10.0;
    m.ri = kesta::vec1<double>(1);
    m.rain_from_file = 1;
    m.nevents = 1;
    m.time_tol = kesta::kTimeTolerance;
    std::string name = rain;
    m.precip_file_fp = kesta::open_file(name, "r", 0);
    m.precip_in.fp = m.precip_file_fp.get();
    m.event_start_times = kesta::vec1<double>(1);
    m.event_start_times[1] = m.time = kesta::julday(2001, 5, 10, 10, 0, 0.0);

    testing::internal::CaptureStdout();
    kesta::step_event_precip(m);
    m.precip_period = 1;
    kesta::step_precip_period(m);  // 10:00: the file of line 2
    const double first = m.ri[1];
    m.time = kesta::julday(2001, 5, 10, 10, 10, 0.0);
    kesta::step_precip_period(m);  // 10:10: line 3's file is missing
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_DOUBLE_EQ(first, 12.7);
    EXPECT_DOUBLE_EQ(m.ri[1], 12.7);
    EXPECT_NE(out.find("Warning: unable to read radar precip file " + dir.file("gone.asc")),
              std::string::npos);
}

}  // namespace
