// Start-up and loop steps of the channel network.
#pragma once

#include "channel/cross_section.hpp"
#include "channel/link_types.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Start-up of the outlet's head boundary and of the channel point-source
// file (open_chan_point_input).
void setup_chan_point_sources(model_state& m);
// With channel routing and CHAN_POINT_INPUT: opens the point-source file and
// reads its points, their first discharges (chan_point_Q, m3/s) and
// concentrations (chan_point_conc) and the time of the first change. A
// point on a structure link, or on a node or link the network does not
// have, and a malformed value stop the run (code 4000 reported, with the
// file, line and value). A file that cannot be opened stops the run
// (code 4 stored).
void open_chan_point_input(model_state& m);
// Sets the downstream head boundary of the channel network from its series
// or BOUND_DEPTH.
void set_chan_point_value(model_state& m);
// Set-up of the channel network during the model-input loading: the
// channel file, the grid-stream file, the initial state and the network
// diagnostics, in a fixed order. Does nothing without channel routing.
void setup_channel(model_state& m);
// The same in two parts, between which the nutrient module sets up its
// streams and lakes. The first reads the network and makes the node state,
// the hotstart state, the channel constituent arrays and the exchange
// tables; it returns true when the second may follow (false without channel
// routing, or when it stopped or stored a code). The second checks the
// network and makes the rest of the channel state.
bool setup_channel_network(model_state& m);
void finish_channel_setup(model_state& m);
void step_channel_routing(model_state& m);
// Hands the channels the Sacramento outflow of dt seconds as lateral inflow
// of the grid-stream entries' nodes; returns the volume (m3).
double sacramento_channel_inflow(model_state& m, double dt);
// Reads the block of every change whose time the run has reached (within
// the time tolerance), and then the time of the change after it; after
// the last change its values hold to the end of the run.
void step_chan_point_input(model_state& m);

// Water in the channel network (m3): flow area times node spacing over the
// nodes no lake holds of the links routed as channels.
double channel_storage(const model_state& m);
// Water in the channel-network lakes (m3): their volumes.
double channel_lake_storage(const model_state& m);
// With channel routing, as an event starts: the channel clocks from the
// overland ones; the network emptied (no flow, water surfaces at the bed)
// unless a backwater profile or hotstart gives its state or water drains
// into it between events (after the first step); then the flow areas and
// the event's initial channel and lake volumes.
void start_channel(model_state& m);
// The water the channels hold as an event ends (final_volume_in_channels).
void channels_at_event_end(model_state& m);
// The channel and lake storages and flows of the run for the end-of-run
// water balance (`chan_run`), at the end of a run.
void finish_channel_run_totals(model_state& m);

// The channel hotstart of the end of the run (WRITE_CHAN_HOTSTART): the
// water surface of every node into the ".dht" file and its discharge into
// the ".qht" file, in the form a READ_CHAN_HOTSTART file is read.
void write_chan_hotstart(const model_state& m);

}  // namespace kesta
