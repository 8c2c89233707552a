// Radar grids: mapping model cells onto radar cells, reading inches per hour
// as millimetres per hour, and the event steps with radar files.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_steps.hpp"
#include "overland/radar.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::precip_grid;
using kesta_test::has;

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
        bool ok = false;
        out = kesta_test::printed_by([&] { ok = kesta::map_cells_to_radar(file, g, mask); });
        return ok;
    }

    kesta_test::temp_dir dir;
    kesta::mat2<int> mask;
    precip_grid g;
    std::string out;
};

TEST_F(Radar, EveryCellTakesTheRadarCellHoldingItsCentre) {
    // 20 m cells, 1 row by 2 columns covering x 0..40, y 0..20: centres (5, 15)
    // and (15, 15) lie in column 0, (25, 15) in column 1, and the last row and
    // column map like any other.
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    EXPECT_DOUBLE_EQ(g.radar_north, 20.0);
    EXPECT_EQ((std::vector<int>{g.kesta_to_precip[1], g.kesta_to_precip[2], g.kesta_to_precip[3],
                                g.kesta_to_precip[6]}),
              (std::vector<int>{0, 0, 1, 1}));
    // The radar's north edge runs through the centres of model row 1: row 0;
    // model row 2 lies in radar row 1, column 0.
    ASSERT_TRUE(map(radar_header(3, 2, 0.0, -5.0, 10.0)));
    EXPECT_EQ(g.kesta_to_precip[1], 0);
    EXPECT_EQ(g.kesta_to_precip[4], 3);
}

TEST_F(Radar, GridsThatDoNotCoverTheModelOrCannotBeReadStopTheRun) {
    const std::pair<std::string, bool> refused[] = {
        // header, whether the header itself is unreadable
        {radar_header(3, 1, 0.0, 10.0, 10.0), false},   // model row 2 lies south of it
        {radar_header(3, 2, 0.0, -20.0, 10.0), false},  // model row 1 lies north of it
        {radar_header(3, 2, 0.0, 0.0, 0.0), true},      // no cell size
        {radar_header(0, 2, 0.0, 0.0, 10.0), true},     // no column
    };
    for (const auto& [header, unreadable] : refused) {
        SCOPED_TRACE(header);
        g_error_record = kesta::error_record{};
        EXPECT_FALSE(map(header));
        EXPECT_EQ(g_error_record.code, 102);
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_EQ(has(out, "Error: unable to read radar header in file"), unreadable);
    }
}

TEST_F(Radar, InchesBecomeMillimetresWithNoDataAndCap) {
    ASSERT_TRUE(map(radar_header(2, 2, 0.0, -20.0, 20.0)));
    const std::string file =
        dir.write("v.asc", radar_header(2, 2, 0.0, -20.0, 20.0) + "1.0 5.0\n-9999 -9999.005\n");
    int read = -1;
    out = kesta_test::printed_by([&] { read = kesta::read_radar_values(file, g); });
    ASSERT_EQ(read, 0);
    EXPECT_EQ(g.precip_data, (std::vector<double>{25.4, 100.0, 0.0, 0.0}));
    EXPECT_TRUE(has(out, "Warning: really big precip value (127.000000) in cell (0,1)")) << out;
    EXPECT_TRUE(has(out, "Peak rainfall rate read: 100.000000 mm/hr")) << out;

    kesta::vec1<double> ri(6);
    kesta_test::printed_by([&] { kesta::apply_radar_precip(g, ri); });
    EXPECT_DOUBLE_EQ(ri[1], 25.4);  // model row 1 lies in radar row 0
    EXPECT_DOUBLE_EQ(ri[3], 100.0);
}

// A missing file is the event test's case below.
TEST_F(Radar, FilesOfAnotherGridOrCutShortLeaveTheHeldValues) {
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    g.precip_data = {1.0, 2.0};
    const std::string files[] = {
        dir.write("o.asc", radar_header(3, 1, 0.0, 0.0, 20.0) + "1 1 1\n"),  // another grid
        dir.write("s.asc", radar_header(2, 1, 0.0, 0.0, 20.0) + "3.0\n"),    // cut short
    };
    for (const std::string& file : files) {
        int read = 0;
        kesta_test::printed_by([&] { read = kesta::read_radar_values(file, g); });
        EXPECT_EQ(read, -1) << file;
        EXPECT_EQ(g.precip_data, (std::vector<double>{1.0, 2.0})) << file;
    }
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
    kesta_test::make_plane(m, kesta_test::plane(), 600.0);  // one 10 m cell
    m.grid_rows = m.grid_cols = 1;
    m.north = 20.0;
    m.rain_from_file = m.nevents = 1;
    std::string name = rain;
    m.precip_file_fp = kesta::open_file(name, "r", 0);
    m.precip_in.fp = m.precip_file_fp.get();
    m.event_start_times = kesta::vec1<double>(1);
    m.event_start_times[1] = m.time = kesta::julday(2001, 5, 10, 10, 0, 0.0);

    double first = 0.0;
    const std::string out = kesta_test::printed_by([&] {
        kesta::step_event_precip(m);
        m.precip_period = 1;
        kesta::step_precip_period(m);  // 10:00: the file of line 2
        first = m.ri[1];
        m.time = kesta::julday(2001, 5, 10, 10, 10, 0.0);
        kesta::step_precip_period(m);  // 10:10: line 3's file is missing
    });
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_DOUBLE_EQ(first, 12.7);
    EXPECT_DOUBLE_EQ(m.ri[1], 12.7);
    EXPECT_TRUE(has(out, "Warning: unable to read radar precip file " + dir.file("gone.asc"))) << out;
}

}  // namespace
