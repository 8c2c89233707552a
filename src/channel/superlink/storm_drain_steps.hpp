// Steps of the storm-drain and tile-drain network, and what the event
// control, the channel step and the summaries need of it.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Loop step: at the storm-drain interval, the grates take ponded water,
// the solver advances the network over the time since the last step, the
// volumes that entered and left are booked, and the tile drains' inflow
// for the next step is computed from the water table.
void step_storm_drain(model_state& m);
// Set-up of the storm-drain network during the model-input loading.
void setup_superlink_network(model_state& m);
// Checks, once the channel network is read, that every pipe outlet into a
// channel (999) names an open-channel link and a node of it; one that does
// not stops the run.
void check_pipe_outlets_on_channels(model_state& m);

// Start of an event: the storm-drain clock.
void start_event_drains(model_state& m);
// Opening of an event's books: the network's event totals start from
// nothing and its water now is the event's starting water.
void open_drain_event_books(model_state& m);
// The channel step's share of the pipe outflow: what the 999 outlets passed
// since the last channel step becomes lateral inflow of their nodes over
// the dt s of this one (or goes to the lake that holds the node), and is
// cleared.
void take_pipe_outflow_into_channels(model_state& m, double dt);
// Water (m3) the 999 outlets have passed and the channels not yet taken in.
double drain_water_in_transit(const model_state& m);
// True when a superjunction holds a fixed head other than the outlets onto
// cells (888) and into channels (999).
bool drains_have_other_fixed_heads(const model_state& m);
// The drains' terms of the event water balance (m3): `in` the water in the
// network and in transit at the event start and what the solver made;
// `out` the same at the end and what left at fixed heads other than 888
// and 999. Both 0 without a network.
void drain_balance_terms(const model_state& m, double& in, double& out);

// What the pipe-network datasets show, [superlink][1..]: the flow of every
// input pipe (m3/s), the water-surface elevation of every input node (m), or
// the tile inflow of every pipe (m3/s). `out` has a row per superlink and a
// column per node.
enum pipe_dataset : int { pipe_flow_values, pipe_head_values, pipe_tile_values };
void pipe_dataset_values(const model_state& m, pipe_dataset kind, mat2<double>& out);

}  // namespace kesta
