// A whole run in which the simulated aquifer trades with a stream and tile
// drains: rain runs over a slope into grates and a channel whose bed lies
// under the water table upstream (the stream gains) and over it downstream
// (the stream loses), and tile drains under the top row take water from the
// aquifer into pipes that end in the channel and on a cell. Each exchange
// must leave one side and reach the other once.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/slope_drains.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "subsurface/groundwater.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using namespace kesta_test;

// 0.4 m above the stream bed (1 m below ground) in the upper half, 0.8 m
// under it in the lower half.
double table(int r, int c) { return ground(r, c) - (r <= 5 ? 0.6 : 1.8); }

// What the streams, the aquifer and the pipes booked, as the run ends.
struct booked {
    double stream_loss = 0.0, stream_gain = 0.0;  // the streams' sums
    double aquifer_in = 0.0, aquifer_out = 0.0;   // the aquifer's stream totals
    double pending_streams = 0.0;                 // left in river_source after the run
    double tiles_to_pipes = 0.0, tiles_from_aquifer = 0.0, pending_tiles = 0.0;
    double event_error = 1.0;                     // fraction
    double aquifer_gained = 0.0;                  // its volume at the end less at the start
    double gw_error = 1.0;                        // percent
};
booked g_booked;

bool capture(model_state& m, const char* step) {
    if (std::string(step) != "trigger_analyzers(normal)") return true;
    booked& b = g_booked;
    b.stream_loss = m.run_sums.channels_to_gw;
    b.stream_gain = m.run_sums.gw_to_channels;
    b.aquifer_in = m.gw_totals.river_to_gw;
    b.aquifer_out = m.gw_totals.gw_to_river;
    b.tiles_to_pipes = m.run_gw_to_tile_drains;
    b.tiles_from_aquifer = m.gw_totals.tile_drains;
    for (int k = 1; k <= m.ncells; ++k) {
        b.pending_streams += m.river_source[k];
        b.pending_tiles += m.vol_tile_grid[k];
    }
    b.event_error = m.mass_conservation_error;
    b.aquifer_gained = groundwater_volume(m) - m.initial_gw_volume;
    b.gw_error = groundwater_balance_error(m);
    return true;
}

TEST(CoupledRuns, StreamAndTileExchangesWithTheAquiferAreBookedOnceAndTheBalancesClose) {
    kesta_test::temp_dir dir(true);
    write_slope_drains(dir, table);
    dir.write("bound.asc", grid([](int, int c) { return c == 3 ? 4.0 : 1.0; }, "%.0f "));
    dir.write("run.prj", slope_drains_project(180,
                                              "STREAM_LOSS\nK_RIVER 0.36\nM_RIVER 0.5\nGW_SIMULATION\n"
                                              "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.3\n"
                                              "GW_TIMESTEP 60\n"));
    g_booked = booked{};
    const model_run run = run_in_process("run.prj", capture);
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    ASSERT_EQ(run.rc, 0) << run.out << summary;
    EXPECT_EQ(summary.find("nan"), std::string::npos) << summary;
    EXPECT_EQ(kesta_test::read_file(dir.file("out.hyd")).find("nan"), std::string::npos);

    const booked& b = g_booked;
    EXPECT_LT(std::fabs(b.event_error * 100.0), 1e-6) << summary;
    EXPECT_LT(std::fabs(value_after(summary, "mass conservation error:")), 1e-6) << summary;
    // Both kinds of exchange happened, and the pipes took tile water.
    EXPECT_GT(b.stream_loss, 1.0) << summary;
    EXPECT_GT(b.stream_gain, 1.0) << summary;
    EXPECT_GT(b.tiles_to_pipes, 0.1) << summary;

    // The aquifer takes each cell's exchange net of the step: a node that
    // gains in some routing sub-steps and loses in others leaves the same
    // volume out of both of its totals, and nothing else may differ.
    const double moved = b.stream_loss + b.stream_gain;
    const double netted = b.stream_loss - b.aquifer_in;
    EXPECT_GE(netted, -1e-9 * moved);
    EXPECT_LT(netted, 1e-3 * moved);
    EXPECT_NEAR(b.stream_gain - b.aquifer_out, netted, 1e-9 * moved);
    // The tile water the storm-drain step booked left the aquifer; the event
    // balance above holds the pipes to having received that same water.
    EXPECT_NEAR(b.tiles_from_aquifer, b.tiles_to_pipes, 1e-9 * b.tiles_to_pipes);
    // Nothing waits after the run: the aquifer's volume changed by exactly
    // what the streams and the tile drains moved.
    EXPECT_EQ(b.pending_streams, 0.0);
    EXPECT_EQ(b.pending_tiles, 0.0);
    EXPECT_NEAR(b.aquifer_gained, b.stream_loss - b.stream_gain - b.tiles_to_pipes, 1e-9 * moved);

    // Its own balance: nothing crosses a held head, so only round-off is left.
    EXPECT_EQ(value_after(summary, "Flux across head boundaries="), 0.0) << summary;
    EXPECT_EQ(value_after(summary, "Mass Balance error ="), 0.0) << summary;
    EXPECT_LT(std::fabs(b.gw_error), 1e-9);
}

}  // namespace
