// The storm-drain step against independent results: Moody's equivalent
// depth and Hooghoudt's drainage of one tile drain, the pipe datasets'
// blocks, a whole run in which rain runs over a slope into grates, tile
// drains take water from under a water table, pipes carry it to a channel
// and onto a cell, and every volume is booked once; and the drains example.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "channel/superlink/storm_drain_steps.hpp"
#include "channel/superlink/tile_drains.hpp"
#include "channel/slope_drains.hpp"
#include "channel/superlink_network.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "output/linknode_output.hpp"
#include "support/one_based.hpp"
#include "support/run_program.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using kesta_test::build_pipe_network;
using kesta_test::pipe_network_layout;
using namespace kesta_test;

TEST(TileDrains, MoodyDepthAndHooghoudtDischargeOfOneDrainUnderOneCell) {
    EXPECT_NEAR(moody_equivalent_depth(1.0, 20.0, 0.05), 0.827902, 5e-7);
    EXPECT_EQ(moody_equivalent_depth(0.0, 20.0, 0.05), 0.0);  // a drain on the aquifer bottom
    // x = d / L = 0.3 takes the far-drain form: pi L / (8 (ln(L / r0) - 1.15)).
    EXPECT_NEAR(moody_equivalent_depth(6.0, 20.0, 0.05), 3.14 * 20.0 / (8.0 * (std::log(400.0) - 1.15)), 1e-12);

    // A drain of 100 m (one pipe) wholly under cell 1, 0.5 m of water table
    // above its empty pipe, 1 m above the aquifer bottom, drains 20 m apart.
    storm_drain_state s;
    pipe_network_layout p = pipe_network({{1, 2}}, {10.0, 9.0});
    p.pipes = 1;
    p.length = 100.0;
    p.diameter = 0.1;
    build_pipe_network(s, p);
    s.superlink_pipe_conductivity[1][1] = 0.01;  // m/h
    s.drain_spacing[1][1] = 20.0;
    s.n_pipecells = 1;
    s.gpi_ncellsingrid = one_based({1});
    for (mat2<int>* t : {&s.gpi_link, &s.gpi_node, &s.gpi_gnum}) *t = mat2<int>(1, 1);
    s.gpi_pct = mat2<double>(1, 1);
    s.gpi_link[1][1] = s.gpi_node[1][1] = s.gpi_gnum[1][1] = 1;
    s.gpi_pct[1][1] = 1.0;
    s.Q_tile_grid = vec1<double>(1);
    s.tilerecharge_to_gw = one_based({7.0});
    vec1<double> table = one_based({10.5}), bottom = one_based({9.0});
    EXPECT_EQ(tile_drain_inflow(s, table, bottom), 1);
    EXPECT_NEAR(s.superlink_tile_flow[1][1], 5.98835e-5, 5e-11);
    EXPECT_DOUBLE_EQ(s.Q_tile_grid[1], s.superlink_tile_flow[1][1]);
    EXPECT_EQ(s.tilerecharge_to_gw[1], 0.0);

    // A water table 0.0001 m above the drain gives nothing.
    s.Q_tile_grid[1] = s.superlink_tile_flow[1][1] = 0.0;
    table[1] = 10.0001;
    tile_drain_inflow(s, table, bottom);
    EXPECT_EQ(s.Q_tile_grid[1], 0.0);
    // An aquifer bottom above the drain, or drains spaced within a few
    // diameters (beyond Moody's fit: an infinite or negative equivalent
    // depth), stop the run instead of booking a flow.
    const struct {
        const char* name;
        double bottom, diameter, spacing;
        const char* message;
    } refused[] = {{"bottom above the drain", 10.2, 0.1, 20.0, "Pipe invert must be above"},
                   {"infinite depth", 9.0, 0.2, std::exp(1.15) * 0.1, "drain spacing"},
                   {"negative depth", 9.0, 0.2, 0.3, "drain spacing"}};
    table[1] = 10.5;
    for (const auto& c : refused) {
        g_error_record.clear_for_run();
        bottom[1] = c.bottom;
        s.diameter[1][1] = c.diameter;
        s.drain_spacing[1][1] = c.spacing;
        const std::string said = printed_by([&] { tile_drain_inflow(s, table, bottom); });
        EXPECT_EQ(g_error_record.stop, 1) << "case " << c.name;
        EXPECT_TRUE(has(said, c.message)) << "case " << c.name << "\n" << said;
        EXPECT_EQ(s.Q_tile_grid[1], 0.0) << "case " << c.name;
    }
    g_error_record.clear_for_run();
}

TEST(PipeDatasets, AFlowBlockWritesItsPipesThenNoValueForTheLastNode) {
    const vec1<int> count = one_based({2, 1});
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

// ---- Whole runs ----

// The storm drains' lines of the summary `s`: the drains hold what entered
// less what left (each line written to 0.05 m3) to `tol` m3, the end-of-run
// drain balance closes to `end_tol` m3, and the event balances.
void expect_drains_balance(const std::string& s, double tol, double end_tol) {
    auto v = [&](const char* label) { return value_after(s, label); };  // NaN, failing, when missing
    // Shown only for a network with other fixed heads or water drawn in.
    const char* to_boundaries = "volume of superlink to boundaries:";
    const double boundaries = has(s, to_boundaries) ? v(to_boundaries) : 0.0;
    EXPECT_NEAR(v("initial volume in sub-surface drains:") + v("total inputs to superlink:") +
                    v("volume of drain solver clean-up:") + v("volume of drain solver residual:") -
                    v("volume of superlink to channels:") - v("volume of superlink to overland:") - boundaries,
                v("volume remaining in drains:"), tol)
        << s;
    EXPECT_LT(std::fabs(v("Subsurface drain mass bal error m^3=")), end_tol) << s;
    EXPECT_LT(std::fabs(v("mass conservation error:")), 1e-6) << s;
}

TEST(StormDrainRuns, RainGratesTilesPipesAndChannelBalanceAndEveryPipeVolumeIsBookedOnce) {
    kesta_test::temp_dir dir(true);
    write_slope_drains(dir, [](int r, int c) { return ground(r, c) - 0.5; });
    dir.write("run.prj", slope_drains_project(120, "PIPE_FLOW flow.lnd\nPIPE_HEAD head.lnd\nPIPE_TILE tile.lnd\n"));
    const model_run run = run_in_process("run.prj");
    ASSERT_EQ(run.rc, 0) << run.out;
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    auto v = [&](const char* label) { return value_after(summary, label); };
    const double in = v("total inputs to superlink:"), tiles = v("volume of gw to tile drains:");
    EXPECT_GT(in, 20.0) << summary;
    EXPECT_GT(v("volume of superlink to channels:"), 10.0) << summary;
    EXPECT_GT(v("volume of superlink to overland:"), 5.0) << summary;
    EXPECT_GT(tiles, 1.0) << summary;
    EXPECT_LT(tiles, in);
    expect_drains_balance(summary, 0.35, 0.01);

    const std::string flow = kesta_test::read_file(dir.file("flow.lnd"));
    EXPECT_EQ(flow.find("KESTA_LINKNODE_SUPERLINK_FLOW\nNUM_LINKS     3\n"), 0u) << flow.substr(0, 200);
    EXPECT_NE(flow.find("\nTS    24\n3   1  "), std::string::npos);
    EXPECT_EQ(kesta_test::read_file(dir.file("head.lnd")).find("0  -999.999"), std::string::npos);
    EXPECT_EQ(kesta_test::read_file(dir.file("tile.lnd")).find("KESTA_LINKNODE_SUPERLINK_TILE_FLOW\n"), 0u);
}

// Steep pipes, nearly empty most of the time, under an hour of rain: the
// event balance closes and the solver makes no water worth a warning.
TEST(StormDrainRuns, SteepNearlyEmptyPipesBalanceWithoutMadeWater) {
    kesta_test::temp_dir dir(true);
    write_slope_drains(dir, [](int r, int c) { return ground(r, c) - 3.0; });
    dir.write("net.sew", kSteepSewer);
    dir.write("run.prj", slope_drains_project(120, ""));
    const model_run run = run_in_process("run.prj");
    ASSERT_EQ(run.rc, 0) << run.out;
    const std::string s = kesta_test::read_file(dir.file("run.sum"));
    const double in = value_after(s, "Total volume to subsurface drains");
    EXPECT_GT(in, 20.0) << s;
    expect_drains_balance(s, 0.35, 0.01);
    const double made = value_after(s, "Volume of subsurface drain solver clean-up") +
                        std::fabs(value_after(s, "Volume of subsurface drain solver residual"));
    EXPECT_LT(made, 0.01 * in) << s;
    EXPECT_FALSE(has(s, "volume of superlink to boundaries:")) << s;  // nothing drawn in at the outfall
    EXPECT_FALSE(has(s, "storm-drain solver made")) << s;
}

// The valley example with its storm drain, run by the built program in a
// scratch copy: the grates take water from the hillslope and the pipes
// deliver it to the stream.
TEST(StormDrainRuns, TheDrainsExampleFeedsTheStreamThroughThePipesAndBalances) {
    namespace fs = std::filesystem;
    const fs::path examples = fs::path(KESTA_SOURCE_DIR) / "examples";
    kesta_test::temp_dir dir;
    for (const char* name : {"valley.cmt", "valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(examples / "valley" / name, dir.path() / name);
    for (const char* name : {"drains.prj", "drains.sew", "drains.gpi"})
        fs::copy_file(examples / "valley-drains" / name, dir.path() / name);
    fs::create_directory(dir.path() / "maps");
    const program_result run = run_kesta("drains.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string s = kesta_test::read_file(dir.file("drains.sum"));
    EXPECT_GT(value_after(s, "total inputs to superlink:"), 100.0) << s;
    expect_drains_balance(s, 0.3, 0.005);
    EXPECT_NE(kesta_test::read_file(dir.file("pipe_flow.lnd")).find("\nTS    60\n"), std::string::npos);
}

}  // namespace
