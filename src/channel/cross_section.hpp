// Cross-section geometry of the channel nodes: the level tables of surveyed
// (breakpoint) sections, built once while the channel file is read, and the
// conversion of water-surface elevations into flow areas, top widths and
// conveyances for the whole network.
#pragma once

#include <vector>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Most levels (NUM_INTERP) of one breakpoint table.
constexpr int kMaxInterpLevels = 30000;

// One surveyed section of a breakpoint link as the channel file gives it:
// the node whose NODE card stands above its NPAIRS card, NUM_INTERP, and
// the station and elevation pairs x[1..npairs], y[1..npairs] (m).
struct bp_section {
    int node = 0;
    int line = 0;  // line of its NPAIRS card
    int npairs = 0;
    int num_interp = 0;
    std::vector<double> x{0.0}, y{0.0};
};

// Number of tables a breakpoint link needs: one per input node when it is
// erodible, else one per node from its first to its last surveyed node.
int bp_link_table_count(const model_state& m, int link, const std::vector<bp_section>& sections);

// Builds the tables of one breakpoint link from its sections (sorted by
// node), numbering them from `first_table`, and sets `table_num` of its
// nodes. An erodible link keeps the resampled pairs of every node in
// `xbp_lnn` / `ybp_lnn` and gets one table per node from them. False when
// refused (message printed, code 4000 reported).
bool interp_breakpoint_xsec(model_state& m, int link, std::vector<bp_section>& sections, int first_table);
// Rebuilds the level table of node `node` of an erodible breakpoint link
// (its spacing included) from the node's pairs. False when refused.
bool xsec_props(model_state& m, int link, int node);

// Mode 2: from `yp` to the flow areas, `topw`, `conv` and `dconv`; mode 1:
// from the flow areas to `chan_depth`, `yp` and `conv`; at every
// computational node of every open-channel link (trapezoid, surveyed and
// compound sections). The flow areas are `area`, or the node table `areas`
// given (the routing converts its trial areas so). Any other mode does
// nothing. A negative depth, an area below -0.0001 m2 (a smaller deficit is
// read as a dry node), or a table number beyond the tables stops the run
// (code 4000 reported) and ends the call. A depth above a surveyed table
// raises `xsec_above_table`.
void ex_section(model_state& m, int mode);
void ex_section(model_state& m, int mode, node_table<double>& areas);

// The section of one node at a depth, and the depth of one node holding a
// flow area: the conversions of ex_section for node j of open-channel link
// l alone, leaving the node tables as they are. False after the refusals of
// ex_section (code 4000 reported).
struct level_section {
    double area = 0.0;   // m2
    double topw = 0.0;   // m
    double conv = 0.0;   // m3/s
    double dconv = 0.0;  // m2/s
};
struct area_section {
    double depth = 0.0;  // m
    double conv = 0.0;   // m3/s
};
bool node_section_at_depth(model_state& m, int j, int l, double depth, level_section& out);
bool node_section_of_area(model_state& m, int j, int l, double area, area_section& out);

// At the end of an event: moves the section pairs and the bed of every node
// of the erodible breakpoint links by the bed sand the node lost or gained
// since its section was fitted (`ch_sand_vol0`), within the deepest water
// seen there (`max_yp`), and rebuilds the node's table. A change that cannot
// be fitted stops the run (code 4000 reported); nodes already moved keep
// their new sections.
void xsec_update(model_state& m);

}  // namespace kesta
