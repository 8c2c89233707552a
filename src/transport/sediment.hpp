// Sediment by particle size class: the physical laws of settling and of
// soil detachment, and the sediment side of the steps of other processes
// (the set-up and loop steps themselves are in transport_steps.hpp).
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Fixed constants of the sediment code.
constexpr double kWaterDensity = 998.2;  // kg/m3
constexpr double kSedimentSpecificGravity = 2.65;  // of the soil detached and carried (mass to volume)
constexpr double kGravity = 9.81;  // m/s2
// kg of detached soil per m3 of it.
constexpr double kSoilDensity = kSedimentSpecificGravity * kWaterDensity;

// Soil erosion is on and its sediment routines move the classes (not a
// SOIL_EROSION value of 10 or more, which carries them as constituents).
bool sediment_routed(const model_state& m);

// Kinematic viscosity of water at `celsius` (m2/s): about 1.0e-6 at 20 C.
double water_viscosity(double celsius);

// Settling velocity (m/s) of a particle of diameter `d_mm` (mm, above 0)
// and specific gravity `s` (above 1) in water of kinematic viscosity `nu`
// (m2/s): Stokes' law up to 0.1 mm, the law of Julien above.
double settling_velocity(double d_mm, double s, double nu);

// Diameter of the rain drops of a rain of `intensity` mm/h (m).
double rain_drop_diameter(double intensity);

// Soil volume (m3) rain of `intensity` mm/h splashes loose in `dt` seconds
// on a square cell of side `dx` m under `h` m of water, with splash
// coefficient `k`: water deeper than a drop damps the splash exponentially.
double splash_volume(double intensity, double h, double dt, double dx, double k);

// The sand grain of diameter `d_mm` (mm) in water of kinematic viscosity
// `nu` (m2/s), as Yang's formula reads it.
struct sand_grain;
sand_grain sand_grain_of(double d_mm, double nu);

// Sand discharge (m3/s) of Yang's unit-stream-power formula for `grain`
// at the discharge `q` (m3/s, either sign) through a flow area `area` (m2)
// of wetted perimeter `perimeter` (m) down the water-surface slope `slope`.
// 0 when the flow is below the critical velocity (or its shear Reynolds
// number below 1.2).
double yang_sand_discharge(double q, double area, double perimeter, double slope, const sand_grain& grain);

// Vertical shift (m) of the bed of a trapezoid of bottom width b (m) and
// side slope z, of erodible depth e (m), whose bed took on `change` m2 of
// cross-section (negative: lost it): a deposit raises the bed by d with
// b d + z d^2 = change; a scour lowers it by -change / b, at most e.
double trapezoid_bed_shift(double change, double b, double z, double e);

// Flow area (m2) and wetted perimeter (m) of breakpoint table `table` at
// depth y (m): interpolated in the table, extrapolated above it, and a
// 5/3 power below its first height. False for a table the network does
// not have.
bool xsec_table_lookup(const model_state& m, int table, double y, double& area, double& perimeter);

// The overland sediment of the cell `cell` that a channel-network lake is
// taking: its suspended fine classes go into the lake, its suspended sand
// settles on the cell's deposit (the edge of the lake).
void give_cell_sediment_to_lake(model_state& m, int lake, int cell);

// Sums the sediment of every cell into the run totals by class (tot_sed of
// the sediment record).
void total_sediment_by_class(model_state& m);

// Sand on the beds of the channels and wash load suspended in them (m3),
// the lakes' not counted.
double channel_sand_volume(const model_state& m);
double channel_wash_volume(const model_state& m);

// Percent of the input `in` that the output `out` misses: 100 (in - out) /
// in, and 0 when nothing (1e-16 m3 or less) came in.
double sediment_balance_error(double in, double out);

}  // namespace kesta
