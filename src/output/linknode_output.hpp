// Link/node datasets: one value per node of every channel link for a series
// of output times, which the graphical product animates along the network.
// A header names the dataset type; then one "TS" block per output time.
#pragma once

#include <cstdio>

#include "core/arrays.hpp"

namespace kesta {

// Dataset types of the channel network (index of the type name).
enum linknode_type : int {
    linknode_stream_depth = 0,
    linknode_stream_flow = 1,
    linknode_stream_stage = 2,
    linknode_stream_velocity = 3,
    linknode_flood_stream_depth = 4,
    linknode_superlink_flow = 5,
    linknode_superlink_head = 6,
    linknode_superlink_tile_flow = 7,
    linknode_no2_mass = 8,   // the nine nutrient species' masses follow in species order
    linknode_no2_conc = 17,  // and their concentrations
    linknode_mass = 26,
    linknode_concentration = 27,
    linknode_total_nitrogen = 28,
    linknode_total_kjeldahl_nitrogen = 29,
    linknode_total_phosphorus = 30,
    linknode_stream_sed_flux = 31,
};

// The type name line (none for an index outside 0..31), then the link
// count, the output interval (whole minutes), the number of output times
// and the start date and time.
void write_linknode_header(std::FILE* fp, int type, int nlinks, int time_step, int num_ts, int day, int month,
                           int year, int hour, int minute, int second);

// How a block shows the node values: as they are, as values less
// `second`, or as values over `second` (0 where `second` is at most 1e-7).
// Lake links show their lake's value (its water surface) in the last two
// modes, and in the first only with `lakes_when_plain` (a lake's own
// quantity); structure links the value of their node 1 in the first.
enum linknode_mode : int { linknode_plain = 0, linknode_difference = 1, linknode_ratio = 2 };

// What one block reads: node tables [node][link] and per-link counts.
struct linknode_source {
    int nlinks = 0;
    const vec1<int>* ltype = nullptr;
    const vec1<int>* nodes = nullptr;          // nodes a link shows now
    const vec1<int>* dataset_nodes = nullptr;  // nodes each line declares, or none: `nodes`
    const vec1<int>* lake_of_link = nullptr;   // lake number of a lake link
    const vec1<double>* lake_values = nullptr; // by lake
    bool lakes_when_plain = false;
    const node_table<double>* values = nullptr;
    const node_table<double>* second = nullptr;
};

// One "TS" block: "TS <step>", one line per link, and a blank line.
void write_linknode_ts(std::FILE* fp, const linknode_source& s, int step, linknode_mode mode);

// One "TS" block of a pipe network: "TS <step>", then per superlink l its
// node count count[l] + 1 and a flag and value per node from values[l][k],
// and a blank line. With `per_pipe` the values are the count[l] pipes', and
// node count[l] + 1 shows no value.
void write_linknode_simple_ts(std::FILE* fp, int nlinks, const vec1<int>& count, int step, const mat2<double>& values,
                              bool per_pipe);

}  // namespace kesta
