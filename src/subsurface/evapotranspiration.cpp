#include "subsurface/evapotranspiration.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadiansPerDegree = kPi / 180.0;
constexpr double kKelvin = 273.15;
constexpr double kSolarConstant = 1353.0;     // W/m2
constexpr double kExtinctionPath = 2.0;       // path factor of the beam's extinction
constexpr double kSpecificHeatAir = 1.013;    // kJ/kg K
constexpr double kStefanBoltzmann = 5.67e-08;  // W/m2 K4
constexpr double kLatentHeat = 2500.36;       // kJ/kg
constexpr double kGasConstantVapour = 461.0;  // J/kg K
constexpr double kBulkTransfer = 0.0025;      // bulk transfer coefficient of heat and vapour
constexpr double kVonKarman = 0.41;
constexpr double kLowestWind = 1.0;           // m/s; calmer air still mixes
constexpr double kBareSoilHeight = 0.001;     // m, the roughness height of bare soil
constexpr double kWaterAlbedo = 0.08;
constexpr double kSnowAlbedo = 0.5;
// Surface temperature: the Newton passes end when a pass moves it by no more
// than this (K), or after kSurfaceTempPasses passes, for a cell where it does
// not settle.
constexpr double kSurfaceTempTolerance = 0.001;
constexpr int kSurfaceTempPasses = 50;
// cm of water per day from kW/m2 of latent heat.
constexpr double kCmPerDayPerKw = 86400.0 * 100.0 / (1000.0 * kLatentHeat);

// Stomatal resistance over the day: lowest around noon, four times higher at
// night (indexed by the hour 0..23).
constexpr double kHourRsFactor[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413,
    1.196049428, 1.066950368, 1.014336754, 0.995198325, 0.976059896, 0.976059896,
    1.0,         1.052613613, 1.167444189, 1.354095078, 1.636506383, 2.043283344,
    2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

double clamp_unit(double x) { return std::max(-1.0, std::min(1.0, x)); }

// Air and radiation of the hour, the same for every cell.
struct hour_air {
    double ta = 0.0;        // air temperature (K)
    double cloud = 0.0;     // fraction 0..1
    double wind = 0.0;      // m/s, at least kLowestWind
    double pressure = 0.0;  // kPa
    double ea = 0.0;        // vapour pressure (kPa)
    double sky_longwave = 0.0;  // emissivity of the air times sigma (W/m2 K4)
    double rho = 0.0;       // air density (kg/m3)
    double qa = 0.0;        // specific humidity of the air
};

// The energy balance of a surface at temperature ts (kW/m2).
struct surface_balance {
    double evaporation = 0.0;  // kg/m2 s
    double latent = 0.0;
    double sensible = 0.0;
    double radiation = 0.0;  // minus the net radiation
};

surface_balance balance_at(const hour_air& a, double ts, double net_shortwave) {
    surface_balance b;
    const double es = sat_vapor_pressure_kpa(ts);
    const double qs = 0.622 * es / (a.pressure - 0.378 * es);
    if (qs > a.qa) b.evaporation = (qs - a.qa) * a.rho * kBulkTransfer * a.wind;
    b.latent = kLatentHeat * b.evaporation;
    b.sensible = (ts - a.ta) * a.rho * kSpecificHeatAir * kBulkTransfer * a.wind;
    b.radiation = -(a.sky_longwave * std::pow(a.ta, 4) - kStefanBoltzmann * std::pow(ts, 4) + net_shortwave) /
                  1000.0;
    return b;
}

// Newton passes on the balance; the ground takes a third of the sensible
// heat. Leaves the last balance in `b` and its residual in `residual`.
double surface_temperature(const hour_air& a, double net_shortwave, surface_balance& b, double& residual) {
    double ts = a.ta;
    const double ch = a.rho * kSpecificHeatAir * kBulkTransfer * a.wind;
    for (int pass = 0; pass < kSurfaceTempPasses; ++pass) {
        b = balance_at(a, ts, net_shortwave);
        residual = -b.latent - b.sensible - b.radiation;
        const double es = sat_vapor_pressure_kpa(ts);
        const double qs = 0.622 * es / (a.pressure - 0.378 * es);
        const double slope = 4.0 * kStefanBoltzmann * std::pow(ts, 3) / 1000.0 + ch +
                             a.rho * kBulkTransfer * a.wind * kLatentHeat *
                                 (kLatentHeat / (ts * ts * kGasConstantVapour / 1000.0)) *
                                 (a.pressure / (a.pressure - 0.388 * es)) * qs +
                             ch / 3.0;
        const double next = ts - (b.sensible / 3.0 + b.latent + b.sensible + b.radiation) / slope;
        if (!std::isfinite(next)) break;
        const double change = std::fabs(next - ts);
        ts = next;
        if (change <= kSurfaceTempTolerance) break;
    }
    return ts;
}

// Penman-Monteith rate (cm/s) of a cell of vegetation height z (m) and
// stomatal resistance rs (s/m). The vapour pressure deficit is taken at the
// air temperature, as the equation defines it.
double penman_monteith(const hour_air& a, const surface_balance& b, double z, double rs, int cell) {
    const double delta = sat_vapor_slope_kpa(a.ta);
    const double gamma = psychrometric_constant_kpa(a.pressure);
    const double deficit = sat_vapor_pressure_kpa(a.ta) - a.ea;
    const double reference = z + 2.0 - 0.67 * z;  // 2 m above the canopy, over its displacement
    const double ra = std::log(reference / (0.123 * z)) * std::log(reference / (0.0123 * z)) /
                      (kVonKarman * kVonKarman * a.wind);
    if (ra < 0.0) std::printf("%d %lf %lf\n", cell, ra, a.wind);
    if (std::isnan(ra)) warn("Ra is not a number in evapo-trans.c \n");
    const double gamma_star = a.wind >= 0.0001 ? gamma * (rs / ra + 1.0) : gamma;
    const double radiation = delta * (-b.radiation - b.sensible / 3.0) / (delta + gamma_star) * kCmPerDayPerKw;
    const double aerodynamic =
        a.rho * kSpecificHeatAir * deficit / ra / (delta + gamma_star) * kCmPerDayPerKw;
    return (radiation + aerodynamic) / 86400.0;
}

}  // namespace

double sat_vapor_pressure_kpa(double kelvin) {
    const double t = kelvin - kKelvin;
    return 0.6108 * std::exp(17.27 * t / (t + 237.3));
}

double sat_vapor_slope_kpa(double kelvin) {
    const double t = kelvin - kKelvin;
    return 4098.0 * sat_vapor_pressure_kpa(kelvin) / ((t + 237.3) * (t + 237.3));
}

double psychrometric_constant_kpa(double pressure_kpa) {
    return 1.6286173633440513 * pressure_kpa / kLatentHeat;
}

double solar_declination(int day_of_year) {
    return kPi * 23.45 / 180.0 * std::cos((172 - day_of_year) * 2.0 * kPi / 365.0);
}

double eccentricity_factor(int day_of_year) {
    const double g = (day_of_year - 1) * 2.0 * kPi / 365.0;
    return 1.00011 + 0.034221 * std::cos(g) + 0.00128 * std::sin(g) + 0.000719 * std::cos(2.0 * g) +
           7.7e-05 * std::sin(2.0 * g);
}

sun_position sun_at(double latitude_deg, int day_of_year, int hour) {
    sun_position s;
    const double d = solar_declination(day_of_year);
    const double w = 15.0 * (hour <= 12 ? hour + 12 : hour - 12) * kRadiansPerDegree;
    const double lat = latitude_deg * kRadiansPerDegree;
    const double sin_alt = clamp_unit(std::cos(w) * std::cos(lat) * std::cos(d) + std::sin(lat) * std::sin(d));
    s.altitude = std::asin(sin_alt);
    s.eccentricity = eccentricity_factor(day_of_year);
    const double alt_deg = s.altitude / kRadiansPerDegree;
    if (!(alt_deg > 0.0)) return s;
    s.up = true;
    // The air mass formula takes the altitude in degrees in its power term.
    s.air_mass = 1.0 / (0.15 * std::pow(alt_deg + 3.885, -1.253) + sin_alt);
    s.extinction = 0.128 - 0.054 * std::log10(s.air_mass);
    const double cos_alt = std::cos(s.altitude);
    s.azimuth = cos_alt > 1e-12 ? std::asin(clamp_unit(std::sin(w) * std::cos(d) / cos_alt)) : 0.0;
    return s;
}

double direct_shortwave(const sun_position& sun, double sox, double soy, double cloud) {
    if (!sun.up) return 0.0;
    const double slope = std::atan(std::sqrt(sox * sox + soy * soy));
    // The direction the ground faces, in the azimuth's convention.
    const double aspect = std::atan2(-sox, soy);
    const double cos_incidence = std::cos(sun.azimuth - aspect) * std::sin(slope) * std::cos(sun.altitude) +
                                 std::cos(slope) * std::sin(sun.altitude);
    const double cloud_factor = 1.0 - (1.0 - (0.18 + 0.0853 * 0.4)) * cloud;
    const double s = cloud_factor * std::exp(-kExtinctionPath * sun.extinction * sun.air_mass) * cos_incidence *
                     kSolarConstant * sun.eccentricity;
    return s > 0.0 ? s : 0.0;
}

double seasonal_month_factor(int month, double latitude) {
    // Months 1..12; from latitude 37 on the growing season is shorter.
    static constexpr double kNorth[13] = {1.0, 4.0, 4.0, 4.0, 4.0, 3.0, 2.0, 1.0, 1.0, 1.0, 2.5, 4.0, 4.0};
    static constexpr double kSouth[13] = {1.0, 4.0, 4.0, 4.0, 2.5, 1.0, 1.0, 1.0, 1.0, 1.0, 2.5, 4.0, 4.0};
    if (month < 1 || month > 12) return 1.0;
    return latitude >= 37.0 ? kNorth[month] : kSouth[month];
}

double frozen_ground_index(double cfgi, double air_temp, double snow_depth) {
    const double k = air_temp >= 0.0 ? 0.5 : 0.08;
    const double next = 0.99875 * cfgi - std::exp(-0.4 * k * snow_depth * 100.0) * air_temp / 24.0;
    return next > 0.0 ? next : 0.0;
}

namespace {

// A rate that is no number would reach the soil and the hourly log: the
// run stops, naming the cell and what its rate was made from.
void refuse_rate(const model_state& m, int k, double rate, double ts, double albedo, double height) {
    int row = 0, col = 0;
    cell_row_col(m, k, row, col);
    const date_record& d = m.hmet_record_date;
    store_refusal(format_text("Error: the potential evapotranspiration of cell %d (row %d, column %d) at the weather "
                              "record of %d/%d/%d %d:00 is no number (%g cm/s, surface temperature %g K); it was made "
                              "from albedo %g, vegetation height %g m, transmission coefficient %g and canopy "
                              "resistance %g s/m, and air at %g C, %g %% humidity, %g mbar, wind %g m/s and sky cover "
                              "%g.  The run stops.\n",
                              k, row, col, d.month, d.day, d.year, d.hour, rate, ts, albedo, height,
                              value_at(m.Kt, k), value_at(m.Rs, k), m.hmet_air_temp, m.hmet_rel_humidity,
                              m.hmet_pressure, m.hmet_wind_speed, m.hmet_sky_cover));
}

}  // namespace

void evapo_trans(model_state& m) {
    const date_record& when = m.hmet_record_date;
    const int hour = when.hour >= 0 && when.hour < 24 ? when.hour : 0;
    const bool penman = m.et_calc_penman != 0;
    const double seasonal = m.seasonal_rs ? seasonal_month_factor(when.month, m.latitude) : 1.0;

    hour_air a;
    a.ta = m.hmet_air_temp + kKelvin;
    a.cloud = m.hmet_sky_cover / 10.0;
    if (a.cloud > 1.0) {
        warn("WARNING: Cloud cover > 1.0 in evapo_trans.c - possible problem with hmet file \n");
        a.cloud = 1.0;
    }
    a.wind = std::max(m.hmet_wind_speed, kLowestWind);
    a.pressure = m.hmet_pressure * 0.1;
    a.ea = sat_vapor_pressure_kpa(a.ta) * m.hmet_rel_humidity / 100.0;
    a.sky_longwave = (1.0 + 0.17 * a.cloud * a.cloud) * (0.74 + 0.0049 * a.ea) * kStefanBoltzmann;
    a.rho = a.pressure / ((a.ta - kKelvin) + 275.0) * 3.486;
    a.qa = 0.622 * a.ea / (a.pressure - 0.378 * a.ea);
    const sun_position sun = sun_at(m.latitude, day_of_year(when.year, when.month, when.day), hour);

    const int n = m.ncells;
    const bool reduce = m.area_reduction_given && m.area_redux.n() >= n;
    for (int k = 1; k <= n; ++k) {
        const double h = value_at(m.h, k);
        const double z = penman ? value_at(m.veg, k) : kBareSoilHeight;
        double albedo = value_at(m.alb, k);
        if (!(z > h)) albedo = m.snow_present && z <= value_at(m.snowdepth, k) ? kSnowAlbedo : kWaterAlbedo;

        double net_shortwave = 0.0;
        if (sun.up) {
            const double sox = value_at(m.sox, k), soy = value_at(m.soy, k);
            double direct = direct_shortwave(sun, sox, soy, a.cloud);
            if (direct > 0.0) {
                const double factor = penman ? value_at(m.Kt, k) : 1.0;
                direct *= factor == 0.0 ? 1.0 : factor;
            }
            const double half_slope = std::atan(std::sqrt(sox * sox + soy * soy)) / 2.0;
            net_shortwave = (1.0 - albedo) * (direct + std::pow(std::cos(half_slope), 2) * m.hmet_global_rad);
        }

        surface_balance b;
        double residual = 0.0;
        const double ts = surface_temperature(a, net_shortwave, b, residual);
        if (k <= m.Ts.n()) m.Ts[k] = ts;
        if (k <= m.fTs.n()) m.fTs[k] = residual;

        double rate = 0.0;
        if (penman) {
            double vegetation = z;
            if (vegetation <= 0.0) {
                vegetation = kBareSoilHeight;
                if (k <= m.veg.n()) m.veg[k] = vegetation;
            }
            const double rs = value_at(m.Rs, k) * kHourRsFactor[hour] * seasonal;
            rate = penman_monteith(a, b, vegetation, rs, k);
        } else {
            rate = b.evaporation / 1000.0 * 100.0;
        }
        if (reduce) rate *= m.area_redux[k];
        if (!std::isfinite(rate) || !std::isfinite(ts)) {
            refuse_rate(m, k, rate, ts, albedo, z);
            return;
        }
        if (!(rate > 0.0)) rate = 0.0;
        if (k <= m.pot_et.n()) m.pot_et[k] = rate;
        if (k <= m.pot_aet.n()) m.pot_aet[k] = rate;
    }
}

}  // namespace kesta
