// The end-of-run summaries and final files: the global water table against
// volumes known beforehand, its two errors, and the files written as a run
// ends.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "output/final_files.hpp"
#include "model/model_state.hpp"
#include "output/global_balance.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::read_file;
using kesta_test::value_after;

// A bowl of 10 x 10 cells of 30 m whose outlet stands 990 m above its
// rim on a slope of 1e-9: what falls on the outlet cell runs into the bowl,
// and no water that matters (below 0.005 m3) leaves.
std::string closed_basin_project(const kesta_test::temp_dir& dir) {
    dir.write("mask.asc", kesta_test::grid_of(10, 10, 30.0, [](int, int) { return 1; }, "%d "));
    dir.write("elev.asc", kesta_test::grid_of(
                              10, 10, 30.0,
                              [](int r, int c) {
                                  return r == 1 && c == 1 ? 1000.0 : 10.0 + std::fabs(r - 5.5) + std::fabs(c - 5.5);
                              },
                              "%g "));
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 10\nCOLS 10\n"
           "TOT_TIME 120\nTIMESTEP 10\nOUTROW 1\nOUTCOL 1\nOUTSLOPE 1e-9\nHYD_FREQ 5\nMAP_FREQ 1000\n"
           "PRECIP_UNIF\nRAIN_INTENSITY 100\nRAIN_DURATION 60\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
           "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nQUIET\n";
}

// 100 mm on 9 ha with no infiltration stays on the surface.
TEST(GlobalBalance, ClosedBasinKeepsItsRainOnTheSurface) {
    kesta_test::temp_dir dir;
    dir.write("p.prj", closed_basin_project(dir));
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string sum = read_file(dir.file("summ.out"));
    EXPECT_EQ(value_after(sum, "Total amount of precip="), 9000.0);
    EXPECT_EQ(value_after(sum, "Final volume on surface="), 9000.0);
    EXPECT_EQ(value_after(sum, "Mass balance error of surface components ="), 0.0);
    EXPECT_EQ(value_after(sum, "Overall mass balance error ="), 0.0);
}

// One cell of 100 m2 that starts with 1000 m3 and ends with what every
// flow of the run left on it: rain, point sources, the grid's edge, the
// outlet, infiltration (no soil store keeps it), exfiltration, the direct
// evaporation and the streams' and lakes' exchange with the ground. With no
// aquifer every term counts in both balances, so both close; a term left
// out of either, or counted with the wrong sign, opens it.
void run_of_every_flow(kesta::model_state& m) {
    m.ncells = 1;
    m.gridsize = 10.0;
    m.initial_surface_volume = 1000.0;
    m.total_rainfall_volume = 500.0;
    kesta::book_water(m, kesta::water_flow::overland_point_sources, 100.0);
    kesta::book_water(m, kesta::water_flow::boundary_fixed_inflow, 50.0);
    kesta::book_water(m, kesta::water_flow::boundary_outflow, 30.0);
    kesta::book_water(m, kesta::water_flow::boundary_fixed_outflow, 20.0);
    kesta::book_water(m, kesta::water_flow::infiltration, 300.0);
    m.discharge_volume_run = 200.0;
    m.total_vol_water_exfiltrated_this_run = 100.0;
    m.total_direct_evap_volume = 70.0;
    m.chan_run.gw_to_river = 40.0;
    m.chan_run.river_to_gw = 10.0;
    m.chan_run.gw_to_lakes = 5.0;
    m.chan_run.lakes_to_gw = 15.0;
    m.chan_run.channel_point_sources = 60.0;
    m.chan_run.first_order_inflow = 20.0;
    const double left = 1000.0 + 500.0 + 100.0 + 50.0 - 30.0 - 20.0 - 300.0 - 200.0 + 100.0 - 70.0 + 40.0 - 10.0 +
                        5.0 - 15.0 + 60.0 + 20.0;
    m.h = kesta::vec1<double>(1);
    m.h[1] = left / 100.0;
}

TEST(GlobalBalance, EveryFlowOfTheRunCountsOnItsSideOfBothBalances) {
    kesta::model_state m;
    run_of_every_flow(m);
    kesta::global_water_totals t = kesta::global_water_balance(m);
    EXPECT_NEAR(t.final_surface, 1230.0, 1e-9);
    EXPECT_NEAR(t.overall_error, 0.0, 1e-12);
    EXPECT_NEAR(t.surface_error, 0.0, 1e-12);

    // With an aquifer the exfiltration and the streams' and lakes' exchange
    // stay within the basin, and what the wells and the deep aquifer took
    // left it: the balance over every store counts those instead (the
    // aquifer holding no store here, it opens by what they moved), the one
    // over the surface stores is unchanged.
    m.gw_simulation = 1;
    m.gw_totals.leakage = 25.0;
    m.gw_totals.pumping = 35.0;
    t = kesta::global_water_balance(m);
    const double start_and_in = 1000.0 + 500.0 + 100.0 + 60.0 + 20.0;
    const double end_and_out = 1230.0 + 70.0 + 200.0 + 300.0 + 25.0 + 35.0;
    EXPECT_NEAR(t.overall_error, 100.0 * (start_and_in - end_and_out) / start_and_in, 1e-9);
    EXPECT_NEAR(t.surface_error, 0.0, 1e-12);
}

// The overland hotstart holds the depths the run ends with; a final file
// that cannot be opened is reported and the others are still written.
TEST(FinalFiles, OverlandHotstartHoldsTheFinalDepthsAndAFailureStopsNoOtherFile) {
    kesta_test::temp_dir dir;
    dir.write("p.prj", closed_basin_project(dir) + "WRITE_OV_HOTSTART ov.hot\nTVM_HYDRO tvm.out\nOPTIMIZE opt.out\n");
    ASSERT_EQ(kesta_test::run_kesta("p.prj", dir.path().string()).status, 0);
    // The optimisation output ends with the line of the run's discharge.
    const std::vector<std::string> opt = kesta_test::lines_of(read_file(dir.file("opt.out")));
    ASSERT_EQ(opt.size(), 2u);
    EXPECT_EQ(opt[1].substr(0, 2), "2 ");
    EXPECT_NEAR(kesta_test::numbers(opt[1])[1],
                value_after(read_file(dir.file("summ.out")), "Total amount of discharge="), 0.005);
    const std::vector<double> grid = kesta_test::numbers(read_file(dir.file("ov.hot")).substr(
        read_file(dir.file("ov.hot")).find("cols:") + 5));
    ASSERT_EQ(grid.size(), 101u);  // the column count, then the depths
    double volume = 0.0;
    for (std::size_t i = 1; i < grid.size(); ++i) volume += grid[i] * 900.0;
    EXPECT_NEAR(volume, 9000.0, 0.01);

    dir.write("p.prj", closed_basin_project(dir) + "ADJUST_ELEV no/adj.asc\nTVM_HYDRO tvm2.out\n");
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_TRUE(kesta_test::has(read_file(dir.file("summ.out")), "Can't open adjusted elevation map for writing: no/adj.asc"))
        << r.output;
    EXPECT_EQ(read_file(dir.file("tvm2.out")), read_file(dir.file("tvm.out")));
}

// The storage at the start counts with the inputs, as in every balance,
// and a balance with nothing in it is 0.
TEST(GlobalBalance, ErrorsCountStartingStorageAsInput) {
    EXPECT_NEAR(kesta::surface_balance_error(2000.0, 8000.0, 6000.0, 3900.0), 1.0, 1e-12);
    EXPECT_NEAR(kesta::overall_balance_error(2000.0, 8000.0, 3900.0, 6000.0), 1.0, 1e-12);
    EXPECT_EQ(kesta::surface_balance_error(0.0, 0.0, 0.0, 0.0), 0.0);
    EXPECT_EQ(kesta::overall_balance_error(0.0, 0.0, 10.0, 0.0), 0.0);
}

// The location count comes from the run's list; the outlet block is ten
// values to a line, the last line of five ending in a blank, and each
// location follows as a block of its own.
TEST(GuiHydrograph, RepackagesTheOutletAndLocationSeries) {
    kesta_test::temp_dir dir;
    std::string outlet, locations;
    for (int i = 1; i <= 25; ++i) {
        outlet += std::to_string(5 * i) + ".00 " + std::to_string(i) + ".000\n";
        locations += std::to_string(5 * i) + " " + std::to_string(100 + i) + " " + std::to_string(200 + i) + "\n";
    }
    dir.write("hyd.out", outlet);
    dir.write("loc.out", locations);
    std::FILE* in = std::fopen(dir.file("hyd.out").c_str(), "r");
    std::FILE* loc = std::fopen(dir.file("loc.out").c_str(), "r");
    std::FILE* out = std::fopen(dir.file("tvm.out").c_str(), "w");
    ASSERT_TRUE(in && loc && out);
    kesta::write_gui_hydrograph(in, out, loc, {{3, 7}, {5, 2}}, 20200601, 1200, 30, 25);
    std::fclose(in);
    std::fclose(loc);
    std::fclose(out);

    std::string values;
    auto block = [&values](int first) {
        for (int i = 1; i <= 25; ++i) {
            char v[32];
            std::snprintf(v, sizeof v, "%11.4f", static_cast<double>(first + i));
            values += v;
            values += i % 10 == 0 ? "\n" : " ";
        }
    };
    block(0);
    values += "\n";
    block(100);
    values += "\n";
    block(200);
    EXPECT_EQ(read_file(dir.file("tvm.out")),
              "KESSTA_TVM_HYDROGRAPH_FILE\n2\n20200601\n1200\n30\n25\n3 7\n5 2\n" + values);
}

}  // namespace
