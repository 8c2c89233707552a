// Whole runs of a valley with a stream, a lake on it and a weir below the
// lake, under rain, with either overland scheme: after every step the water
// of the network (channels and lake) has changed by exactly what entered it
// (bank exchange, rain on the lake, overland flow into and out of the lake,
// the water of cells the lake took, less its evaporation and its leakage)
// less what left at the outlet, and the event balances.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "channel/channel_steps.hpp"
#include "core/text_format.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "channel/lake_valley.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::format_text;

using kesta_test::lake_valley::grid;
using kesta_test::lake_valley::ground;
using kesta_test::lake_valley::channel_file;
using kesta_test::lake_valley::grid_stream_file;
using kesta_test::lake_valley::project;

struct network_watch {
    double worst = 0.0;   // largest misfit of the network balance (m3)
    double largest = 0.0; // largest volume that entered (m3)
    double lake_rain = 0.0;
    double through_weir = 0.0;
    int finished = 0;
    double event_error = 1.0;
    double stream_points = 0.0, lake_points = 0.0, to_gw = 0.0;  // the event's
    double lake_to_gw = 0.0;       // the event's
    double lowest_lake = 1e300;    // m3
    double left_in_lake_source = 0.0;  // largest |lake_source| of a cell after a step (m3)
};
network_watch* g_watch = nullptr;

// Checked after every pass, before the event is closed.
bool watch(kesta::model_state& m, const char* name) {
    if (std::string(name) == "report_progress" && m.chan_run.initial_taken) {
        const double entered = m.run_sums.chan_lateral_inflow + m.run_sums.first_order_chan_inflow +
                               m.run_sums.stream_point_sources - m.run_sums.stream_point_sinks +
                               m.run_sums.lake_point_sources - m.run_sums.lake_point_sinks +
                               m.run_sums.gw_to_channels - m.run_sums.channels_to_gw +
                               m.volume_precip_to_lake + m.lake_total_in_from_overland -
                               m.lake_total_out_to_overland + m.lake_taken_from_cells - m.run_sums.lake_evaporation +
                               m.run_sums.gw_to_lakes - m.run_sums.lakes_to_gw;
        const double stored = kesta::channel_storage(m) + kesta::channel_lake_storage(m) -
                              m.chan_run.initial_in_channels - m.chan_run.initial_in_lakes;
        g_watch->worst = std::max(g_watch->worst, std::fabs(entered - m.discharge_volume_run - stored));
        g_watch->largest = std::max(g_watch->largest, entered);
        g_watch->lake_rain = m.volume_precip_to_lake;
        g_watch->through_weir = m.lake_out_to_channels;
        g_watch->lowest_lake = std::min(g_watch->lowest_lake, m.lake_volume[1]);
        for (int k = 1; k <= m.lake_source.n(); ++k)
            g_watch->left_in_lake_source = std::max(g_watch->left_in_lake_source, std::fabs(m.lake_source[k]));
    }
    if (std::string(name) == "write_timeseries_output" && m.finished_events > g_watch->finished) {
        g_watch->finished = m.finished_events;
        g_watch->event_error = m.mass_conservation_error;
        g_watch->stream_points = m.volume_stream_point_sources;
        g_watch->lake_points = m.volume_lake_point_sources;
        g_watch->to_gw = m.volume_water_chan_gw;
        g_watch->lake_to_gw = m.volume_water_lakes_gw;
    }
    return true;
}

// Writes the valley with `chan` as its network and the project of
// `overtype` with the cards `extra`, runs it under the watch, and checks
// that its one event finished with the network's water kept to round-off and
// the event balanced to `event_error` (%).
network_watch run_valley(const kesta_test::temp_dir& dir, const std::string& chan, const std::string& extra,
                         const char* overtype = "EXPLICIT", double event_error = 1e-6) {
    dir.write("mask.asc", grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", grid(ground, "%.3f "));
    dir.write("net.chan", chan);
    dir.write("net.gst", grid_stream_file());
    dir.write("run.prj", project(overtype) + extra);
    network_watch w;
    g_watch = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj", watch);
    g_watch = nullptr;
    EXPECT_EQ(run.rc, 0) << run.out;
    EXPECT_EQ(w.finished, 1) << run.out;
    EXPECT_LT(w.worst, 1e-9 * w.largest);
    EXPECT_LT(std::fabs(w.event_error) * 100.0, event_error);
    // The run's global table closes as the event does.
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    for (const char* error : {"Mass balance error of surface components =", "Overall mass balance error ="})
        EXPECT_LT(std::fabs(kesta_test::value_after(summary, error)), event_error) << error;
    return w;
}

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ChannelRuns : public testing::TestWithParam<const char*> {};

// With every channel and lake output asked for.
TEST_P(ChannelRuns, TheNetworkKeepsItsWaterTheEventBalancesAndTheOutputsAreWritten) {
    kesta_test::temp_dir dir(true);
    std::filesystem::create_directory(dir.path() / "maps");
    const network_watch w = run_valley(dir, channel_file(),
                                       "LAKE_OUTPUT lake.out\nCHAN_DEPTH depth.lnd\nCHAN_DISCHARGE flow.lnd\n"
                                       "CHAN_VELOCITY speed.lnd\nCHAN_STAGE stage.lnd\nFLOOD_STREAM flood.lnd\n"
                                       "MAP_FREQ 60\nMAP_TYPE 0\nDEPTH maps\n",
                                       GetParam(), 1e-8);
    ASSERT_FALSE(HasFailure());
    EXPECT_GT(w.lake_rain, 0.0);
    EXPECT_GT(w.through_weir, 100.0);
    EXPECT_GT(w.largest, 100.0);

    // 120 minutes every 5 minutes, the start included: elapsed minutes,
    // then level and volume (the first step's rain is on the lake).
    const std::string lake = kesta_test::read_file(dir.file("lake.out"));
    EXPECT_EQ(count_of(lake, "\n"), 25);
    EXPECT_EQ(lake.substr(0, 24), "    0.00000000   107.000");
    for (const char* name : {"depth.lnd", "flow.lnd", "speed.lnd", "stage.lnd"}) {
        const std::string d = kesta_test::read_file(dir.file(name));
        EXPECT_EQ(count_of(d, "\nTS    "), 25) << name;
        EXPECT_NE(d.find("NUM_LINKS     4\nTIME_STEP     5\nNUM_TS        24\nSTART_TIME    14  7 2021 14  0  0\n"),
                  std::string::npos)
            << name;
    }
    const std::string flood = kesta_test::read_file(dir.file("flood.lnd"));
    EXPECT_EQ(flood.find("KESTA_LINKNODE_FLOOD_STREAM_DEPTH\n"), 0u);
    EXPECT_EQ(count_of(flood, "\nTS    "), 1);
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    for (const char* line : {"initial volume in lakes                   900.0\n", "volume of lateral inflow:",
                             "volume precip to lake:", "volume remaining in lakes"})
        EXPECT_NE(summary.find(line), std::string::npos) << line;
    // The lake floor (4, 4) is 106.5 m: the depth map shows the lake above it.
    const std::vector<std::string> map = kesta_test::lines_of(kesta_test::read_file(dir.file("maps/depth.0002.asc")));
    double cell[4] = {0, 0, 0, 0};
    ASSERT_GT(map.size(), 9u);  // the header, then row 4
    ASSERT_EQ(std::sscanf(map[9].c_str(), "%lf %lf %lf %lf", &cell[0], &cell[1], &cell[2], &cell[3]), 4);
    EXPECT_GE(cell[3], 0.5);
    // No channel hotstart is written: no card names one.
    std::vector<std::string> files;
    for (const auto& f : std::filesystem::directory_iterator(dir.path())) files.push_back(f.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"bad_thalweg.out", "depth.lnd", "elev.asc", "flood.lnd", "flow.lnd", "lake.out", "maps",
                                               "mask.asc", "maskmap", "net.chan", "net.gst", "out.hyd", "out_time.out",
                                               "run.prj", "run.sum", "short_links.out", "speed.lnd", "stage.lnd"}));
}

INSTANTIATE_TEST_SUITE_P(Schemes, ChannelRuns, testing::Values("EXPLICIT", "ADE", "ADE-PC"));

// 2 m3/s for the first hour into the lake, into the stream below the weir,
// whose bed leaks, and into its outlet node, held at a fixed depth: each
// point source delivers 7200 m3 to the balance, the leak is booked as it
// left the nodes, and the network and the event balance.
TEST(ChannelRunsWithSources, PointSourcesAndSeepageAreBookedAsDelivered) {
    kesta_test::temp_dir dir(true);
    std::string chan = channel_file();
    chan.insert(chan.find("LINK 4\nNODES 8\nTRAPEZOID\n") + 25, "K_RIVER 3.6\nM_RIVER 0.5\n");
    dir.write("pts.txt", "numpts 3\npoint 1 2 2.0\npoint 3 4 2.0\npoint 7 4 2.0\nnrpds 1\n"
                         "input 2021 7 14 15 0\n0.0 0.0 0.0\n");
    const network_watch w =
        run_valley(dir, chan, "STREAM_LOSS\nCHAN_POINT_INPUT pts.txt\nHEAD_BOUND\nBOUND_DEPTH 0.2\n");
    ASSERT_FALSE(HasFailure());
    EXPECT_NEAR(w.stream_points, 14400.0, 2e-3);  // the steps are Julian-time differences
    EXPECT_NEAR(w.lake_points, 7200.0, 1e-3);
    EXPECT_GT(w.to_gw, 1.0);
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    for (const char* line : {"volume of stream point sources:        14400.0\n",
                             "volume of lake point sources:           7200.0\n",
                             "volume of gw to chan:                      0.0\n", "volume of water from chan to gw:"})
        EXPECT_NE(summary.find(line), std::string::npos) << line;
}

// The lake's bed leaks through 1 cm at 3600 cm/h (0.01 m/s): 900 m3/s per
// m of depth over each 30 m cell, which would empty it within any sub-step
// of a second or more; the lake gives what it holds, never more, and the
// event books exactly what it lost.
TEST(ChannelRunsWithSources, ALeakyLakeLosesWhatTheBalanceBooks) {
    kesta_test::temp_dir dir(true);
    dir.write("ks.asc", grid([](int r, int c) { return (r == 4 || r == 5) && c >= 3 && c <= 5 ? 3600.0 : 0.1; },
                             "%.1f "));
    dir.write("hc.asc", grid([](int, int) { return 5.0; }, "%.1f "));
    dir.write("phi.asc", grid([](int, int) { return 0.4; }, "%.1f "));
    dir.write("th.asc", grid([](int, int) { return 0.1; }, "%.1f "));
    std::string chan = channel_file();
    chan.insert(chan.find("LAKE\nMINWSE") + 5, "MLAKE 0.01\n");
    const network_watch w =
        run_valley(dir, chan, "GREEN_AMPT\nCONDUCTIVITY ks.asc\nCAPILLARY hc.asc\nPOROSITY phi.asc\nMOISTURE th.asc\n");
    ASSERT_FALSE(HasFailure());
    EXPECT_GT(w.lake_to_gw, 900.0);  // more than the lake held at the start
    EXPECT_GE(w.lowest_lake, 0.0);
    EXPECT_EQ(w.left_in_lake_source, 0.0);  // no aquifer takes it: it is cleared, never gathered
}

}  // namespace
