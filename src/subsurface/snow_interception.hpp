// Two per-cell kernels of the vertical water budget: the canopy takes its
// share of the rain before it reaches the ground, and snow melts by an
// hourly energy balance onto the cell's surface. The model steps are
// apply_interception and snowmelt_energy_balance (with the loop steps).
#pragma once

namespace kesta {

// Rain through one cell's canopy over dt seconds.
struct canopy_share {
    double intercepted = 0.0;  // mm held back
    double net_rate = 0.0;     // mm/h reaching the ground
};

// Rain of `rate` (mm/h) for dt seconds meets a canopy with `free_storage` mm
// left and interception coefficient `coefficient`: the free storage fills
// first, then the coefficient's share of the rest is held back. What is held
// back and what reaches the ground add up to the rain.
canopy_share intercept_rain(double rate, double dt, double free_storage, double coefficient);

// The weather a snow pack melts under.
struct melt_weather {
    double air_temp = 0.0;  // deg C
    double wind = 0.0;      // m/s
    double humidity = 0.0;  // percent
    double pressure = 0.0;  // mbar
};

// Heat reaching a snow pack (cal/cm2 per hour) from longwave radiation (less
// `longwave_loss`), condensation, sensible heat and rain of `rain_rate`
// (mm/h) at the air temperature.
double snow_heat(const melt_weather& w, double rain_rate, double longwave_loss);

}  // namespace kesta
