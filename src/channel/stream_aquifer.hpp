// Seepage between the channel network and the aquifer beneath it, through
// the stream bed of every channel node that lies over a grid-stream cell
// and through the bed of every channel lake with an MLAKE card.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// What chan_gw_exchange found.
enum stream_exchange_result : int {
    stream_exchange_none = 0,  // no node exchanges water (or the run stopped)
    stream_exchange_gain = 1,  // some node gains water from the aquifer
    stream_exchange_loss = 2,  // none gains, and some node with water in it loses water
};

// True when the run exchanges water between its streams and the aquifer:
// STREAM_LOSS (or groundwater simulation) with the channel routing, the bed
// tables and the grid-stream table in place.
bool stream_exchange_on(const model_state& m);

// The seepage rates of the present channel depths. For every grid-stream
// entry (cell c, link l, node j) of an open-channel link that no lake holds,
// with j within the link's computational nodes, a bed thickness Mrb above 0
// and a bed conductivity Krb (m/h) above 0, the seepage per metre of channel
// (m2/s, positive into the channel) is
//     K / t x (H - s) x P
// with K = Krb / 3600, t = Mrb, s = bel + chan_depth, H the cell's water
// table and P the node's top width at the seepage depth (H - bel when the
// stream stands below H, else the flow depth). A stream over a water table
// at or below its bed, or run without a water table, loses y K / t x P at
// flow depth y (nothing when dry, y <= 1e-6 m); an aquifer within 0.01 m of
// its bottom gives nothing; a water table above the ground under a stream
// standing higher exchanges nothing. With groundwater simulated only the
// river-boundary cells (gwbound 4) take part.
// Writes the entry's seepage into gst_qriv[s][k] and qriv[j][l] (zeroed for
// every node first) gathers the entries' seepages times their shares
// gst_pct. Leaves the node state as it was. A table error stops the run
// (code 4000 reported) and gives stream_exchange_none.
int chan_gw_exchange(model_state& m);

// After a routing sub-step of h seconds whose lateral inflows applied
// `qriv` (the rates of chan_gw_exchange, saved in qriv_old, with each loss
// cut to the water the node held): scales every entry's gst_qriv by its
// node's qriv / qriv_old (0 when |qriv_old| < 1e-16) and moves the volume
// that entry traded, gst_qriv x gst_pct x chan_dx x h, out of the cell's
// river_source (m3, positive into the aquifer). So the aquifer gives or
// takes exactly what the channels took or gave.
void book_stream_exchange(model_state& m, double h);

// True when some channel lake leaks through its bed: the MLAKE cards with
// the explicit routing (lake_source is made exactly then).
bool lake_leakage_on(const model_state& m);

// The leakage through the lake bed under cell `cell` (m2/s, positive into
// the lake; times the cell size it is m3/s), from the level E of the lake
// that covers the cell, the ground g, the soil's conductivity K = ks_map
// (m/s) and the lake's bed thickness t = Mlake (m):
//   without a water table: -K (E - g) / t x w while E - g > 1e-16, else 0;
//   with a water table H over an aquifer bottom B: (H - E) K / t x w when H
//   stands above the ground with more than 0.01 m of aquifer, else
//   -K (E - g) / t x w when B < E and E - g > 1e-16, else 0; with
//   groundwater simulated only lake-boundary cells (gwbound 7) leak.
// 0 for a cell no lake covers (lake_num < 1).
double lake_cell_leakage(const model_state& m, int cell);

// After a routing sub-step of h seconds: every leaking lake (calc_loss 1)
// gains or loses the leakage of its covered cells times h x gridsize. A
// lake loses no more than it holds (with what the aquifer gives it in the
// sub-step): its losses are scaled down together. What each cell traded
// goes out of (gain) or into (loss) the cell's lake_source (m3, positive
// into the aquifer), and the lake's volume change is booked once, into
// run_sums.gw_to_lakes / lakes_to_gw (the event's volume_gw_lakes and
// volume_water_lakes_gw are their differences over the event).
void book_lake_leakage(model_state& m, double h);

}  // namespace kesta
