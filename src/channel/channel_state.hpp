// Members of the model state owned by the channel and storm-drain networks.
#pragma once

#include "core/arrays.hpp"

namespace kesta {

struct channel_state {
    // Channel clock (Julian days; interval also in seconds).
    double chan_timestep = 0.0;  // as given (s); minutes once the clock is armed
    double chan_interval_sec = 0.0;
    double chan_interval = 0.0;
    double chan_last = 0.0;
    double chan_next = 0.0;
    int chan_restart = 0;     // the channel clock counts from the current time, not the next event
    int chan_step_count = 0;  // channel steps since the clocks were armed

    // Storm-drain clock.
    double storm_drain_interval_sec = 0.0;
    double storm_drain_interval = 0.0;
    double storm_drain_last = 0.0;
    double storm_drain_next = 0.0;

    mat2<double> qp;  // node discharge [node][link] (m3/s)

    // Channel lakes, 1-based by lake.
    vec1<double> lake_elev;  // water-surface level (m)
    vec1<double> minwse;     // lowest water-surface level (m)

    // Hydrograph locations (IN_HYD_LOCATION), 1-based.
    int in_hyd_location_given = 0;
    int hyd_loc_count = 0;
    vec1<int> hlink, hnode;

    int nlinks = 0;
    int nlakes = 0;
    int chan_routing = 0;   // 1: explicit diffusive-wave routing
    int chan_lakes_on = 0;  // the network has lakes
    int chan_discharge_given = 0;
    int stream_loss = 0;
    int chan_first_pass = 1;  // the routing step does its first-pass work once
    int storm_sewer_given = 0;
};

}  // namespace kesta
