// Members of the model state owned by the channel and storm-drain networks.
#pragma once

#include "core/arrays.hpp"
#include <string>

namespace kesta {

struct channel_state {
    // Channel clock (Julian days; interval also in seconds).
    double chan_timestep = 0.0;  // as given (s); minutes once the clock is armed
    double chan_interval_sec = 0.0;
    double chan_interval = 0.0;
    double chan_last = 0.0;
    double chan_next = 0.0;
    int chan_active_in_event = 0;  // channel routing runs in the current event
    int chan_restart = 0;     // the channel clock counts from the current time, not the next event
    int chan_step_count = 0;  // channel steps since the clocks were armed

    // Storm-drain clock.
    double storm_drain_interval_sec = 0.0;
    double storm_drain_interval = 0.0;
    double storm_drain_last = 0.0;
    double storm_drain_next = 0.0;

    // Node tables [node][link].
    mat2<double> qp;          // discharge (m3/s)
    mat2<double> yp;          // water-surface elevation (m)
    mat2<double> bel;         // bed elevation (m)
    mat2<double> chan_depth;  // flow depth (m)
    vec1<int> nx;             // computational nodes of each link, 1-based by link

    // Channel lakes, 1-based by lake.
    vec1<double> lake_elev;  // water-surface level (m)
    vec1<double> minwse;     // lowest water-surface level (m)

    // Hydrograph locations (IN_HYD_LOCATION), 1-based.
    int hyd_loc_count = 0;
    vec1<int> hlink, hnode;

    int nlinks = 0;
    int nlakes = 0;
    int chan_routing = 0;   // 1: explicit diffusive-wave routing
    int chan_alt_routing = 0;       // mesh routing
    int chan_implicit_routing = 0;  // the Preissmann implicit scheme
    int chan_drain_init = 0;        // initialise the implicit scheme by draining
    int chan_lakes_on = 0;  // the network has lakes
    int chan_discharge_given = 0;
    int chan_depth_given = 0;
    int chan_stage_given = 0;
    int chan_velocity_given = 0;
    int chan_sed_flux_given = 0;
    double max_courant_number = 0.0;
    int stream_loss = 0;
    int chan_first_pass = 1;  // the routing step does its first-pass work once
    int storm_sewer_given = 0;
    std::string storm_sewer;
    std::string grid_pipe;
    int superlink_c_opt = 0;

    // Explicit routing options.
    int overbank_flow = 0;
    int overland_backwater = 0;
    int head_bound = 0;
    double bound_depth = 0.0;  // m
    int bound_ts_given = 0;
    std::string bound_ts;
    double k_river = 0.0;
    double m_river = 0.0;
    double m_lake = 0.0;
    int hotstart_is_depth = 0;
    double first_order_chan_q = 0.0;
    int stream_cell_given = 0;
    std::string stream_cell;
    int chan_hotstart_write = 0;
    int chan_hotstart_read = 0;
    std::string chan_hotstart_depth_in;      // the two hotstart inputs
    std::string chan_hotstart_discharge_in;
    std::string chan_hotstart_depth_out;     // the WRITE_CHAN_HOTSTART name + ".dht"
    std::string chan_hotstart_discharge_out;  // the WRITE_CHAN_HOTSTART name + ".qht"
    int flood_stream_given = 0;
    std::string flood_stream;

    // Channel input files.
    std::string channel_input, links, nodes, section_table, chan_point_input;
};

}  // namespace kesta
