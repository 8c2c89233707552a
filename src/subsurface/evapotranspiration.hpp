// Potential evapotranspiration of every cell from the hydrometeorological
// record of the hour: the sun's position gives the direct shortwave on each
// cell's slope, a surface energy balance gives the surface temperature, and
// either the Penman-Monteith equation (vegetation) or the Deardorff bulk
// formula (bare soil) gives the rate. The pieces are exposed for the tests.
#pragma once

#include "model/model_state_fwd.hpp"

namespace kesta {

// Saturation vapour pressure (kPa) at `kelvin`: 0.6108 exp(17.27 t / (t +
// 237.3)), t in deg C.
double sat_vapor_pressure_kpa(double kelvin);
// Slope of the saturation vapour pressure curve (kPa/K) at `kelvin`.
double sat_vapor_slope_kpa(double kelvin);
// Psychrometric constant (kPa/K) at an air pressure in kPa.
double psychrometric_constant_kpa(double pressure_kpa);

// Solar declination (radians) on a day of the year: +23.45 deg on day 172.
double solar_declination(int day_of_year);
// Ratio of the solar constant at the earth's distance on a day of the year
// to its mean.
double eccentricity_factor(int day_of_year);

// The sun at an hour of a day, solar noon being hour 12.
struct sun_position {
    bool up = false;           // altitude above the horizon
    double altitude = 0.0;     // radians
    double azimuth = 0.0;      // radians from south, positive west
    double air_mass = 0.0;     // relative optical air mass (when up)
    double extinction = 0.0;   // extinction coefficient (when up)
    double eccentricity = 1.0;
};
sun_position sun_at(double latitude_deg, int day_of_year, int hour);

// Direct shortwave (W/m2) on a cell of slopes sox (ground falling to the
// east) and soy (falling to the south) under a cloud fraction 0..1, before
// the cell's radiation factor; 0 when the sun is down or behind the slope.
double direct_shortwave(const sun_position& sun, double sox, double soy, double cloud);

// Seasonal factor of a month at a latitude (deg): 1 in the growing season,
// up to 4 in winter. It raises the stomatal resistance of the vegetation and
// divides the canopy's interception storage and coefficient.
double seasonal_month_factor(int month, double latitude);

// Continuous frozen-ground index after one hour at `air_temp` (deg C) under
// `snow_depth` (m): 0.99875 cfgi - exp(-0.4 k snow_cm) air_temp / 24, k 0.5
// at or above 0 deg C and 0.08 below, never below 0.
double frozen_ground_index(double cfgi, double air_temp, double snow_depth);

// What the evapotranspiration parameters of a cell can be, in the order of
// the EVAPOTRANSPIRATION table's columns: albedo and transmission
// coefficient 0 to 1 (a coefficient of 0 is taken as 1), vegetation height 0
// to 150 m, canopy resistance 0 to 1e5 s/m.
struct et_parameter_bound {
    const char* what;
    const char* unit;  // "" for none
    double low, high;
};
constexpr et_parameter_bound kEtParameterBounds[4] = {{"albedo", "", 0.0, 1.0},
                                                      {"vegetation height", "m", 0.0, 150.0},
                                                      {"transmission coefficient", "", 0.0, 1.0},
                                                      {"canopy resistance", "s/m", 0.0, 1e5}};
// True when `value` lies within the bound (NaN never does).
constexpr bool et_parameter_holds(const et_parameter_bound& b, double value) {
    return value >= b.low && value <= b.high;
}

// Fills Ts, fTs, pot_et and pot_aet (cm/s) of every cell from the current
// hydrometeorological record; under Penman-Monteith a vegetation height of 0
// or less is raised to 0.001 m in `veg`. A cell whose rate comes out as no
// number stops the run (code 4000 stored) naming the cell and its inputs.
void evapo_trans(model_state& m);

}  // namespace kesta
