// Tile drains: pipes of the storm-drain network whose walls take water from
// the saturated soil above them, by Hooghoudt's drainage equation with
// Moody's equivalent depth.
#pragma once

#include "channel/superlink/storm_drain_state.hpp"
#include "core/arrays.hpp"

namespace kesta {

// Moody's equivalent depth (m) of a drain of radius r0 (m) at height d (m)
// above the aquifer bottom, with drains spaced L (m) apart; 0 at d <= 0.
double moody_equivalent_depth(double d, double L, double r0);

// Hooghoudt's drainage rate (m/h per unit of land) for conductivity K
// (m/h), equivalent depth de (m), water table m (m) above the drain and
// spacing L (m): (8 K de m + 4 K m^2) / L^2.
double hooghoudt_rate(double K, double de, double m, double L);

// Tile inflow of every grid-pipe entry whose water table `elevgw` (m, per
// active cell) stands more than 0.1 mm above the water level in its pipe:
// one discharge (m3/s), q L dx pct / 3600 over the land the drain serves,
// added both to `superlink_tile_flow` of the pipe (which the solver takes
// in at its superlink's upstream superjunction) and to `Q_tile_grid` of the
// cell (what leaves the aquifer). `tilerecharge_to_gw` is 0 for the pipe
// cells: drains give no water to the soil. A drain below the aquifer bottom
// `bottom_elev` stops the run (refusal stored, the run stops after the
// step). Returns 1 when some pipe cell's water table differed from its
// drain's water level, else 0.
int tile_drain_inflow(storm_drain_state& s, const vec1<double>& elevgw, const vec1<double>& bottom_elev);

}  // namespace kesta
