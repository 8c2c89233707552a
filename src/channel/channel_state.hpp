// Members of the model state owned by the channel and storm-drain networks.
#pragma once

namespace kesta {

struct channel_state {
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
