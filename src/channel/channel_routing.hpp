// Explicit routing of the channel network over one channel time step.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Creates the routing's working tables with the node tables (at set-up, so
// that nothing is allocated in the time loop) and sets the discharges of
// the predictor and corrector to the initial discharges.
bool alloc_routing_tables(model_state& m);

// Advances the network over dt seconds: lakes capture the channel nodes
// they flood and release those they leave, then sub-steps no longer than
// what keeps the Courant number sqrt(g y) h / dx of every open-channel node
// at or below `courant_limit` route it. A sub-step is a predictor-corrector
// pair on the node flow areas, made a second time from the corrected state
// while the corrector moves an area by more than 0.01 m2; one that leaves
// an area below -1e-8 m2 is repeated at half its length. The lakes' volumes
// take what the links and structures beside them move (booked in
// `lake_in_dv` and `lake_out_dv`), and `outlet_volume` receives the volume
// that left the last node of the outlet link (m3). Returns 0, or -1 after
// a failure that stops the run (message printed, code reported).
int ex_flow_route(model_state& m, double dt, double courant_limit, double& outlet_volume);

// maxima[j][l] = max(maxima[j][l], values[j][l]) over nodes 1..nx[l] of
// links 1..nlinks.
void track_max_2d(const node_table<double>& values, node_table<double>& maxima, const vec1<int>& nx, int nlinks);

}  // namespace kesta
