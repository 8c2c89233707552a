// The storm-drain step against independent results: Moody's equivalent
// depth and Hooghoudt's drainage of one tile drain, the pipe datasets'
// blocks, and a whole run in which rain runs over a slope into grates, tile
// drains take water from under a water table, pipes carry it to a channel
// and onto a cell, and every volume is booked once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "channel/superlink/storm_drain_steps.hpp"
#include "channel/superlink/tile_drains.hpp"
#include "channel/slope_drains.hpp"
#include "channel/superlink_network.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "output/linknode_output.hpp"
#include "support/run_program.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using kesta_test::build_pipe_network;
using kesta_test::pipe_network_spec;
using namespace kesta_test;

TEST(TileDrains, MoodyDepthAndHooghoudtDischargeOfOneDrainUnderOneCell) {
    EXPECT_NEAR(moody_equivalent_depth(1.0, 20.0, 0.05), 0.827902, 5e-7);
    EXPECT_EQ(moody_equivalent_depth(0.0, 20.0, 0.05), 0.0);  // a drain on the aquifer bottom
    // x = d / L = 0.3 takes the far-drain form: pi L / (8 (ln(L / r0) - 1.15)).
    EXPECT_NEAR(moody_equivalent_depth(6.0, 20.0, 0.05), 3.14 * 20.0 / (8.0 * (std::log(400.0) - 1.15)), 1e-12);

    // A drain of 100 m (one pipe) wholly under cell 1, 0.5 m of water table
    // above its empty pipe, 1 m above the aquifer bottom, drains 20 m apart.
    storm_drain_state s;
    pipe_network_spec p;
    p.links = {{1, 2}};
    p.fixed_head = {2};
    p.bottom = {10.0, 9.0};
    p.pipes = 1;
    p.length = 100.0;
    p.diameter = 0.1;
    build_pipe_network(s, p);
    s.superlink_pipe_conductivity[1][1] = 0.01;  // m/h
    s.drain_spacing[1][1] = 20.0;
    s.n_pipecells = 1;
    s.gpi_ncellsingrid = vec1<int>(1);
    s.gpi_ncellsingrid[1] = 1;
    for (mat2<int>* t : {&s.gpi_link, &s.gpi_node, &s.gpi_gnum}) *t = mat2<int>(1, 1);
    s.gpi_pct = mat2<double>(1, 1);
    s.gpi_link[1][1] = s.gpi_node[1][1] = s.gpi_gnum[1][1] = 1;
    s.gpi_pct[1][1] = 1.0;
    s.Q_tile_grid = vec1<double>(1);
    s.tilerecharge_to_gw = vec1<double>(1);
    s.tilerecharge_to_gw[1] = 7.0;
    vec1<double> table(1), bottom(1);
    table[1] = 10.5;
    bottom[1] = 9.0;
    EXPECT_EQ(tile_drain_inflow(s, table, bottom), 1);
    EXPECT_NEAR(s.superlink_tile_flow[1][1], 5.98835e-5, 5e-11);
    EXPECT_DOUBLE_EQ(s.Q_tile_grid[1], s.superlink_tile_flow[1][1]);
    EXPECT_EQ(s.tilerecharge_to_gw[1], 0.0);

    // A water table 0.0001 m above the drain gives nothing; one below the
    // aquifer bottom's drain stops the run.
    s.Q_tile_grid[1] = s.superlink_tile_flow[1][1] = 0.0;
    table[1] = 10.0001;
    tile_drain_inflow(s, table, bottom);
    EXPECT_EQ(s.Q_tile_grid[1], 0.0);
    g_error_record.clear_for_run();
    table[1] = 10.5;
    bottom[1] = 10.2;
    testing::internal::CaptureStdout();
    tile_drain_inflow(s, table, bottom);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(said.find("Pipe invert must be above"), std::string::npos) << said;
    EXPECT_EQ(s.Q_tile_grid[1], 0.0);
    g_error_record.clear_for_run();

    // Drains spaced within a few diameters leave Moody's fit (an infinite
    // or negative equivalent depth): the run stops instead of booking it.
    bottom[1] = 9.0;
    s.diameter[1][1] = 0.2;
    for (double spacing : {std::exp(1.15) * 0.1, 0.3}) {
        s.drain_spacing[1][1] = spacing;
        testing::internal::CaptureStdout();
        tile_drain_inflow(s, table, bottom);
        const std::string told = testing::internal::GetCapturedStdout();
        EXPECT_EQ(g_error_record.stop, 1) << spacing;
        EXPECT_NE(told.find("drain spacing"), std::string::npos) << told;
        EXPECT_EQ(s.Q_tile_grid[1], 0.0) << spacing;
        g_error_record.clear_for_run();
    }
}

TEST(PipeDatasets, AFlowBlockWritesItsPipesThenNoValueForTheLastNode) {
    vec1<int> count(2);
    count[1] = 2;
    count[2] = 1;
    mat2<double> values(2, 3);
    values[1][1] = 0.5;
    values[1][2] = 0.25;
    values[1][3] = 9.0;  // no pipe 3: never shown in a flow block
    values[2][1] = 1.0;
    values[2][2] = 2.0;
    const std::string text = written_by([&](std::FILE* fp) {
        write_linknode_simple_ts(fp, 2, count, 4, values, true);
        write_linknode_simple_ts(fp, 2, count, 5, values, false);
    });
    EXPECT_EQ(text,
              "TS    4\n3   1  0.50000   1  0.25000   0  -999.999   \n2   1  1.00000   0  -999.999   \n\n"
              "TS    5\n3   1  0.50000   1  0.25000   1  9.00000   \n2   1  1.00000   1  2.00000   \n\n");
}

// ---- A whole run ----

TEST(StormDrainRuns, RainGratesTilesPipesAndChannelBalanceAndEveryPipeVolumeIsBookedOnce) {
    kesta_test::temp_dir dir(true);
    write_slope_drains(dir, [](int r, int c) { return ground(r, c) - 0.5; });
    dir.write("run.prj", slope_drains_project(120, "PIPE_FLOW flow.lnd\nPIPE_HEAD head.lnd\nPIPE_TILE tile.lnd\n"));
    const model_run run = run_in_process("run.prj");
    ASSERT_EQ(run.rc, 0) << run.out;
    // The summary's values, each NaN (failing every check) when its line is missing.
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    auto v = [&](const char* label) { return value_after(summary, label); };
    const double in = v("total inputs to superlink:"), to_channels = v("volume of superlink to channels:");
    const double to_overland = v("volume of superlink to overland:"), tiles = v("volume of gw to tile drains:");
    EXPECT_GT(in, 20.0) << summary;
    EXPECT_GT(to_channels, 10.0) << summary;
    EXPECT_GT(to_overland, 5.0) << summary;
    EXPECT_GT(tiles, 1.0) << summary;
    EXPECT_LT(tiles, in);
    // What entered less what left is what the pipes hold (each line to 0.05).
    EXPECT_NEAR(v("initial volume in sub-surface drains:") + in + v("volume of drain solver clean-up:") -
                    to_channels - to_overland - v("volume of superlink to boundaries:"),
                v("volume remaining in drains:"), 0.35)
        << summary;
    EXPECT_LT(std::fabs(v("mass conservation error:")), 1e-6) << summary;
    // The end-of-run drain balance closes.
    EXPECT_LT(std::fabs(v("Subsurface drain mass bal error m^3=")), 0.01) << summary;

    const std::string flow = kesta_test::read_file(dir.file("flow.lnd"));
    EXPECT_EQ(flow.find("KESTA_LINKNODE_SUPERLINK_FLOW\nNUM_LINKS     3\n"), 0u) << flow.substr(0, 200);
    EXPECT_NE(flow.find("\nTS    24\n3   1  "), std::string::npos);
    const std::string head = kesta_test::read_file(dir.file("head.lnd"));
    EXPECT_EQ(head.find("0  -999.999"), std::string::npos);
    EXPECT_EQ(kesta_test::read_file(dir.file("tile.lnd")).find("KESTA_LINKNODE_SUPERLINK_TILE_FLOW\n"), 0u);
}

}  // namespace
