// The implicit dynamic-wave solver of the storm-drain network: inside each
// superlink the pipe momentum and node continuity equations reduce, by a
// forward and a backward recurrence, to the two end flows as linear
// functions of the heads of its two superjunctions; the superjunctions'
// continuity then forms one sparse system in their heads.
#pragma once

#include "channel/superlink/storm_drain_state.hpp"
#include "core/arrays.hpp"

namespace kesta {

// Flow (m3/s) that `grates` identical grate inlets of side `side` and
// diameter `dia` (m) take under `depth` m of water: weir flow up to 0.4 ft,
// orifice flow from 1 ft, the lesser of the two between.
double grate_inflow(int grates, double side, double dia, double depth);

// Section of a pipe at depth y (m): area (m2), wetted perimeter (m), top
// width (m). A polynomial section keeps its area and hydraulic radius above
// small positive values at shallow depths.
struct pipe_section_values {
    double area = 0.0, perimeter = 0.0, top_width = 0.0;
};
pipe_section_values pipe_section_props(int type, double d, double w, double y);

// Critical depth (m) of flow q (m3/s) in a pipe of section `type`, rise d
// and width w (m): the depth y at which q = A sqrt(g A / T). A box's in
// closed form; a closed section's stays 1 mm inside its invert and crown,
// within 1e-9 m.
double pipe_critical_depth(int type, double d, double w, double q);

// Flow (m3/s) out of a pipe end that falls freely into a junction, at end
// depth y (m), and its change per m of depth (m2/s), for a pipe of section
// `type`, rise d, width w (m), Manning's n and bed slope `slope`: the flow
// whose critical depth, or on a steep pipe whose normal depth, is y; the
// greater of the two, as the end stands at the lesser of the two depths.
// Above 0.95 of the rise, where a closing section's critical flow grows
// without bound and its normal flow falls, it grows with the square root of
// the depth, as an orifice's flow with its head.
struct free_fall_rating {
    double flow = 0.0, slope = 0.0;
};
free_fall_rating pipe_free_fall(int type, double d, double w, double n, double slope, double y);

// Water in the network (m3): at every node its plan area times its depth and
// half of each adjacent pipe with the section at its depth (a full pipe's
// slot included), and superjunction plan areas times the head above the
// bottom.
double superlink_storage(const storm_drain_state& s);

// Advances the network over `dt` s in sub-steps no longer than the pipes'
// wave-travel time (at least 0.001 s), each halved, down to 1/1024 of it,
// where it would make water or its storage iteration stalls; what is made
// all the same is counted in `drain_cleanup_volume`,
// `drain_linearisation_volume` and `superlink_volume_drawn_in`. `h` is the
// overland depth per active cell (m) that grates take water from and 888
// outlets put it on; `cell_size` the cell side (m). The first call sets the
// initial state. Returns 0, or -1 when the junction system cannot be solved
// (refusal stored, saying what to change where it can; the run stops after
// the step).
int superlink_step(storm_drain_state& s, vec1<double>& h, double cell_size, double dt);

// Flow (m3/s) of computational pipe k of superlink l after the last solve;
// 0 before the first.
double superlink_pipe_flow(const storm_drain_state& s, int l, int k);

}  // namespace kesta
