// Random channel trees and storm-drain networks on random sites, run whole
// by the model: each run ends as tests/support/random_runs.hpp says (keeps
// its water and its constituents, or warns of the drain solver, or stops
// with a message); the channel trees carry a tracer. The
// projects come from a seed, so a failing one is reproduced by its seed.
//
// By hand, more seeds: KESTA_RANDOM_PROJECTS=<count per kind> and
// KESTA_RANDOM_FIRST_SEED=<seed> (the CI run takes 250 of each kind from 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "support/random_channels.hpp"
#include "support/random_draws.hpp"
#include "support/random_runs.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::format_text;
using namespace kesta_test;

// A storm drain: a tree of 1-4 superlinks of 1-3 circular or box pipes at
// 0.1-10 % (flatter where the ground would not cover them) between
// superjunctions with grates, ending in an outfall into a channel node (code
// 999) or onto a cell (888); sometimes tile pipes under cells over a water
// table, with or without the aquifer simulated, and the subdivision of the
// pipes into computational pipes.
void add_drains(draws& d, site& s, const temp_dir& dir) {
    const bool to_channel = d.chance(0.6);
    const stream_net net = to_channel ? add_channels(d, s, dir) : stream_net{};
    const auto ground = [&s](int k) { return s.z[k]; };
    struct junction {
        int cell;
        double bottom;  // m
    };
    std::vector<junction> junctions;
    std::string sew;
    if (to_channel) {
        const int k = net.cells[d.whole(0, static_cast<int>(net.cells.size()) - 1)];
        junctions.push_back({k, net.bed[k] + d.between(0.0, 0.1)});
        sew += format_text("SJUNC 1 %.4f %.4f 0 999 %d %d 0 0\n", ground(k), junctions[0].bottom, net.link[k],
                           net.node[k]);
    } else {
        const int k = d.whole(0, s.rows * s.cols - 1);
        junctions.push_back({k, ground(k) - d.between(1.0, 3.0)});
        sew += format_text("SJUNC 1 %.4f %.4f 0 888 %d %d 0 0\n", ground(k), junctions[0].bottom, s.col_of(k),
                           s.row_of(k));
    }
    const bool tiles = d.chance(0.5);
    std::map<int, std::string> tile_cells;  // cell -> its SPIPE lines
    std::map<int, int> tile_entries;        // cell -> their count
    std::string slinks;
    double lowest = ground(junctions[0].cell) - 3.0;  // m, under every drain and the ground
    const int superlinks = d.whole(1, 4);
    for (int l = 1; l <= superlinks; ++l) {
        // A new junction up to 4 cells from one of the others, or anywhere
        // when 30 tries find none, with room for a pipe of 0.15 m at 0.1 %
        // under 0.3 m of ground; without one the network ends.
        const int to_number = d.whole(1, l);
        const junction to = junctions[to_number - 1];
        const auto length = [&](int k) {  // m
            return std::hypot(s.row_of(k) - s.row_of(to.cell), s.col_of(k) - s.col_of(to.cell)) * s.dx;
        };
        const auto room = [&](int k) {  // m, for the pipe's height
            const bool taken = std::any_of(junctions.begin(), junctions.end(),
                                           [k](const junction& j) { return j.cell == k; });
            return taken ? 0.0 : ground(k) - 0.3 - to.bottom - 0.001 * length(k);
        };
        int from = -1;
        for (int tries = 0; tries < 30 && from < 0; ++tries) {
            const int r = s.row_of(to.cell) + d.whole(-4, 4), c = s.col_of(to.cell) + d.whole(-4, 4);
            if (s.inside(r, c) && room(s.cell(r, c)) >= 0.15) from = s.cell(r, c);
        }
        const int start = d.whole(0, s.rows * s.cols - 1);
        for (int i = 0; i < s.rows * s.cols && from < 0; ++i)
            if (room((start + i) % (s.rows * s.cols)) >= 0.15) from = (start + i) % (s.rows * s.cols);
        if (from < 0) break;
        const int pipes = d.whole(1, 3);
        const bool box = d.chance(0.2);
        const double diameter = round3(d.log_between(0.15, std::min(1.5, room(from))));  // m
        double slope = d.log_between(0.001, 0.1);
        if (to.bottom + slope * length(from) + diameter + 0.3 > ground(from))
            slope = std::max(0.001, (ground(from) - diameter - 0.3 - to.bottom) / length(from));
        junctions.push_back({from, to.bottom + slope * length(from)});
        const double top = junctions.back().bottom;
        lowest = std::min(lowest, to.bottom - 1.0);
        const double area = round3(d.between(0.5, 3.0));  // m2, the junction's plan
        const int grates = d.whole(1, 9);
        const double side = round3(d.between(0.3, 1.0)), dia = round3(d.between(0.3, 1.0));  // m
        sew += format_text("SJUNC %d %.4f %.4f %g %d %d %d %g %g\n", l + 1, ground(from), top, area, grates,
                           s.col_of(from), s.row_of(from), side, dia);
        sew += format_text("CONNECT %d %d %d\n", l, l + 1, to_number);
        const bool tile = tiles && d.chance(0.7);
        const double conductivity = tile ? round3(d.log_between(0.005, 0.5)) : 0.0;  // m/h
        const double spacing = tile ? round3(d.between(5.0, 40.0)) : 0.0;            // m
        slinks += format_text("SLINK %d %d\n", l, pipes);
        std::vector<int> node_cells;
        for (int k = 0; k <= pipes; ++k) {
            const double f = double(k) / pipes;
            const int r = static_cast<int>(std::lround(s.row_of(from) + f * (s.row_of(to.cell) - s.row_of(from))));
            const int c = static_cast<int>(std::lround(s.col_of(from) + f * (s.col_of(to.cell) - s.col_of(from))));
            const int cell = s.cell(r, c), inlets = k > 0 && k < pipes && d.chance(0.5) ? d.whole(1, 3) : 0;
            node_cells.push_back(cell);
            slinks += format_text("NODE %d %.4f %.4f %g %d %d %d %g %g\n", k + 1, ground(cell),
                                  top - f * slope * length(from), round3(d.between(0.1, 1.0)), inlets, c, r,
                                  inlets ? 0.5 : 0.0, inlets ? 0.5 : 0.0);
        }
        for (int k = 1; k <= pipes; ++k) {
            const double width = box ? round3(d.between(0.3, 2.0)) : 0.0;  // m
            const double n = round3(d.between(0.011, 0.024));
            slinks += format_text("PIPE %d %d %g %g %.6f %g %.4f %g %g\n", k, box ? 3 : 1, diameter, width, slope, n,
                                  length(from) / pipes, conductivity, spacing);
            if (!tile) continue;
            const int cell = node_cells[k - 1];
            tile_cells[cell] += format_text("SPIPE %d %d %g\n", l, k, round3(d.between(0.1, 1.0)));
            ++tile_entries[cell];
        }
    }
    std::string gpi = format_text("GRIDPIPEFILE\nPIPECELLS %d\n", std::max(1, static_cast<int>(tile_cells.size())));
    for (const auto& [cell, lines] : tile_cells)
        gpi += format_text("CELLIJ %d %d\nNUMPIPES %d\n", s.col_of(cell), s.row_of(cell), tile_entries[cell]) + lines;
    if (tile_cells.empty())  // the file needs a cell; a pipe without a wall conductivity takes nothing from it
        gpi += format_text("CELLIJ %d %d\nNUMPIPES 1\nSPIPE 1 1 1\n", s.col_of(junctions[0].cell),
                           s.row_of(junctions[0].cell));
    dir.write("net.sew", sew + slinks);
    dir.write("net.gpi", gpi);
    s.cards += "STORM_SEWER net.sew\nGRID_PIPE net.gpi\nPIPE_FLOW pflow.lnd\nPIPE_HEAD phead.lnd\n";
    if (d.chance(0.5)) s.cards += "SUPERLINK_C_OPT\n";
    if (tile_cells.empty()) return;
    // The water table 0.1-3 m under the ground, above some drains and under
    // others; the aquifer's bottom under every drain.
    for (double z : s.z) lowest = std::min(lowest, z - 3.0);
    s.grid(dir, "table.asc", [&](int k) { return ground(k) - d.between(0.1, 3.0); });
    s.grid(dir, "bottom.asc", [&](int) { return lowest - 2.0; });
    s.cards += "WATER_TABLE table.asc\nAQUIFER_BOTTOM bottom.asc\nPIPE_TILE ptile.lnd\n";
    if (d.chance(0.5)) {
        add_stream_aquifer(d, s, dir, net);
    }
}

// A tracer that a cell point source (0.01 m3/s at 50 g/m3 on the cell in
// the north-west corner) and a channel point source (0.01 m3/s at 30 g/m3
// at the head of link 1) bring, and that decays and disperses over land and
// in the channels.
void add_tracer(site& s, const temp_dir& dir) {
    dir.write("cell_points.ts", "KESTA_TS\n1 1 0\nRELATIVE\n0 0 0 0 0 0.01\nEND_TS\n"
                                "KESTA_TS\n1 1 1\nRELATIVE\n0 0 0 0 0 50\nEND_TS\n");
    dir.write("chan_points.txt", "NUMPTS 1\nPOINT 1 1 0.01 30\nNRPDS 0\n");
    s.cards += "OV_POINT_SOURCE cell_points.ts\nCHAN_POINT_INPUT chan_points.txt\nOV_CON_TRANS\nCHAN_CON_TRANS\n"
               "OV_DISP_COEF 0.1\nOV_DECAY_COEF 0.3\nINIT_CHAN_CONC 5\nCHAN_DECAY_COEF 0.5\nCHAN_DISP_COEF 1\n";
}

enum kind { channels, drains };
constexpr int kBlocks = 4;  // tests per kind, so that ctest spreads the runs over cores

// Test i runs block i % kBlocks of kind i / kBlocks.
class RandomNetworks : public ::testing::TestWithParam<int> {};

TEST_P(RandomNetworks, EveryRunKeepsItsWaterWarnsOrStopsWithAMessage) {
    const kind what = GetParam() / kBlocks == 0 ? channels : drains;
    run_random_seeds(what == channels ? "channels" : "drains", GetParam() % kBlocks, kBlocks,
                     [what](std::uint64_t seed, const temp_dir& dir) {
                         draws d(seed * 5 + static_cast<std::uint64_t>(what));
                         site s = random_site(d, dir, what == drains ? 20.0 : 1.0);  // mm/h, a storm for the drains
                         if (what == channels) {
                             add_channels(d, s, dir);
                             add_tracer(s, dir);
                         } else
                             add_drains(d, s, dir);
                         write_site(s, dir);
                     });
}

INSTANTIATE_TEST_SUITE_P(Kinds, RandomNetworks, ::testing::Range(0, 2 * kBlocks),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param / kBlocks == 0 ? "channels_" : "drains_") +
                                    std::to_string(info.param % kBlocks + 1);
                         });

}  // namespace
