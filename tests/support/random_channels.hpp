// Random channel networks on the random sites of random_runs.hpp: a tree
// of trapezoidal links grown up the slope from the outlet, with the channel
// input and grid-stream files that describe it.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "support/random_draws.hpp"
#include "support/random_runs.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

// The streams on a site: per cell (the site's index) its link and
// computational node (0 off the streams) and its bed elevation (m).
struct stream_net {
    std::vector<int> link, node;
    std::vector<double> bed;
    std::vector<int> cells;  // the stream cells, the outlet first
};

// A tree of streams grown up the slope from the outlet cell, one cell at a
// time into a free neighbour whose bed, 0.3-3 m under its ground, lies at
// least 1 mm above the bed it drains to. Every cell is a computational node
// of trapezoidal links that start at a head or a confluence; the links are
// numbered upstream first. With `sand_beds`, the outlet link and about
// half of the others are erodible, with 0.01-2 m of sand under their beds.
// Writes the channel input and grid-stream files.
inline stream_net add_channels(draws& d, site& s, const temp_dir& dir, bool sand_beds = false) {
    using kesta::format_text;
    const int cells = s.rows * s.cols, off = cells;  // `off`: below the outlet
    std::vector<int> down(cells, -1), ups(cells, 0);   // the cell each drains to, and how many drain to it
    stream_net net{std::vector<int>(cells, 0), std::vector<int>(cells, 0), std::vector<double>(cells, 0.0), {}};
    const double cut = d.between(0.3, 3.0);  // m
    // The outlet link needs two cells: the outlet and the one above, whose
    // bed the outlet's lies under by a cell's fall at least.
    const int root = s.cell(s.rows, s.outlet_col), above = s.cell(s.rows - 1, s.outlet_col);
    down[root] = off;
    down[above] = root;
    ups[root] = 1;
    net.bed[above] = s.z[above] - cut;
    net.bed[root] = std::min(s.z[root] - cut, net.bed[above] - std::max(0.001, s.fall * s.dx));
    net.cells = {root, above};
    const int want = d.whole(2, std::max(2, cells / 3));
    for (int tries = 0; tries < 20 * want && static_cast<int>(net.cells.size()) < want; ++tries) {
        const int from = net.cells[d.whole(1, static_cast<int>(net.cells.size()) - 1)];
        const int side = d.whole(0, 3);
        const int r = s.row_of(from) + (side == 0) - (side == 1), c = s.col_of(from) + (side == 2) - (side == 3);
        if (!s.inside(r, c)) continue;
        const int k = s.cell(r, c);
        if (down[k] >= 0 || s.z[k] - cut < net.bed[from] + 0.001) continue;
        down[k] = from;
        ++ups[from];
        net.bed[k] = s.z[k] - cut;
        net.cells.push_back(k);
    }
    // Links from each head or confluence down to the cell above the next
    // confluence or to the outlet, numbered by falling distance to the outlet.
    struct link_cells {
        std::vector<int> cells;
        int distance = 0;  // cells down to the outlet
    };
    std::vector<link_cells> links;
    for (int k : net.cells) {
        if (ups[k] == 1) continue;
        link_cells l;
        for (int c = k;; c = down[c]) {
            l.cells.push_back(c);
            if (down[c] == off || ups[down[c]] != 1) break;
        }
        for (int c = k; c != off; c = down[c]) ++l.distance;
        links.push_back(l);
    }
    std::stable_sort(links.begin(), links.end(),
                     [](const link_cells& a, const link_cells& b) { return a.distance > b.distance; });
    const int nlinks = static_cast<int>(links.size());
    int most = 1;  // input nodes of the longest link
    for (int i = 0; i < nlinks; ++i) {
        const std::vector<int>& lc = links[i].cells;
        most = std::max(most, static_cast<int>(lc.size()) + 1);
        for (int j = 0; j < static_cast<int>(lc.size()); ++j) {
            net.link[lc[j]] = i + 1;
            net.node[lc[j]] = j + 1;
        }
    }
    std::string chan = format_text("KESTA_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS %d\nMAXNODES %d\n", nlinks, most);
    std::string blocks, gst = format_text("GRIDSTREAMFILE\nSTREAMCELLS %d\n", static_cast<int>(net.cells.size()));
    for (int i = 0; i < nlinks; ++i) {
        const std::vector<int>& lc = links[i].cells;
        const int id = i + 1, last = lc.back(), below = down[last] == off ? 0 : net.link[down[last]];
        std::vector<int> up;
        for (const link_cells& u : links)
            if (down[u.cells.back()] == lc.front()) up.push_back(net.link[u.cells.front()]);
        chan += format_text("CONNECT %d %d %d", id, below, static_cast<int>(up.size()));
        for (int u : up) chan += format_text(" %d", u);
        chan += "\n";
        // Input node j + 1 ends cell j; the last one stands at the next
        // link's first cell, or a cell's fall beyond the outlet.
        const int nodes = static_cast<int>(lc.size()) + 1, xsec = d.whole(1, nodes);
        const bool erodible = sand_beds && (id == nlinks || d.chance(0.5));
        blocks += format_text("LINK %d\nNODES %d\n%s\nMANNINGS_N %g\nDX %g\n", id, nodes,
                              erodible ? "TRAP_ERODE" : "TRAPEZOID", round3(d.log_between(0.01, 0.2)), s.dx);
        for (int j = 1; j <= nodes; ++j) {
            const double bed = j < nodes ? net.bed[lc[j - 1]]
                               : below  ? net.bed[down[last]]
                                        : net.bed[last] - std::max(0.001, s.fall * s.dx);
            blocks += format_text("NODE %d\nELEV %.4f\n", j, bed);
            if (j != xsec) continue;
            const double bottom = round3(d.log_between(0.2, std::min(10.0, s.dx)));  // m
            const double side = round3(d.between(0.0, 4.0));                          // m across per m up
            const double bankfull = round3(d.between(0.3, 3.0));                      // m
            blocks += format_text("XSEC\nBOTTOM_WIDTH %g\nSIDE_SLOPE %g\nBANKFULL_DEPTH %g\n", bottom, side, bankfull);
            if (erodible) blocks += format_text("MAX_EROSION %g\n", round3(d.log_between(0.01, 2.0)));  // m
        }
        for (int j = 0; j < static_cast<int>(lc.size()); ++j)
            gst += format_text("CELLIJ %d %d\nNUMNODES 1\nLINKNODE %d %d 1.0\n", s.row_of(lc[j]), s.col_of(lc[j]), id,
                               j + 1);
    }
    dir.write("net.chan", chan + blocks);
    dir.write("net.gst", gst);
    s.cards += "CHAN_EXPLIC\nCHANNEL_INPUT net.chan\nSTREAM_CELL net.gst\nCHAN_DEPTH depth.lnd\n"
               "CHAN_DISCHARGE flow.lnd\n";
    if (d.chance(0.3)) s.card("MAX_COURANT_NUMBER", round3(d.between(0.05, 0.5)));
    return net;
}

// The aquifer under the streams, simulated: it trades with them through
// their beds (code 4), and its south edge is held at its head (code 2) or
// not; the boundary file and the aquifer's cards, with its bed, conductivity,
// porosity and time step drawn. The aquifer's bottom is the caller's.
inline void add_stream_aquifer(draws& d, site& s, const temp_dir& dir, const stream_net& net) {
    const bool held = d.chance(0.3);
    s.grid(dir, "bound.asc", [&](int k) {
        if (!net.link.empty() && net.link[k]) return 4;
        return held && s.row_of(k) == s.rows ? 2 : 1;
    }, "%.0f ");
    s.cards += "GW_SIMULATION\nGW_BOUNDFILE bound.asc\n";
    s.card("K_RIVER", round3(d.log_between(0.01, 1.0)));         // m/h, stream bed
    s.card("M_RIVER", round3(d.between(0.2, 1.0)));              // m, stream bed thickness
    s.card("GW_UNIF_HYCOND", round3(d.log_between(0.1, 50.0)));  // cm/h
    s.card("GW_UNIF_POROSITY", round3(d.between(0.2, 0.45)));
    s.card("GW_TIMESTEP", s.dt * d.whole(1, 4));  // s, whole model steps
}

}  // namespace kesta_test
