#include "subsurface/snow_interception.hpp"

#include <cmath>

#include "model/model_state.hpp"
#include "transport/constituents.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kMillimetresPerMetre = 1000.0;
// Heat (cal/cm2/h) to melt depth (m) over seconds: / latent heat (cal/cm3)
// gives cm/h; times seconds / 3600 gives cm; / 100 gives m.
constexpr double kMeltDivisor = 360000.0;

}  // namespace

canopy_share intercept_rain(double rate, double dt, double free_storage, double coefficient) {
    canopy_share s;
    const double rain = rate * dt / kSecondsPerHour;  // mm
    if (free_storage > rain) {
        s.intercepted = rain;
        return s;
    }
    const double filled = free_storage > 0.0 ? free_storage : 0.0;
    const double through = rain - filled;
    const double held = coefficient * through;
    s.intercepted = filled + held;
    s.net_rate = dt > 0.0 ? (through - held) / dt * kSecondsPerHour : 0.0;
    return s;
}

double snow_heat(const melt_weather& w, double rain_rate, double longwave_loss) {
    const double t = w.air_temp;
    const double es = 2.749e8 * std::exp(-4278.6 / (t + 242.8));  // mbar
    const double wind_function = 0.0002 * w.wind / 1000.0 * 3600.0;
    const double condensation = 600.0 * wind_function * (w.humidity / 100.0 * es - 6.11);
    const double rain = rain_rate / 10.0 * t;
    return rain + 4.956e-9 * std::pow(t + 273.15, 4) - longwave_loss + condensation +
           0.00061 * w.pressure * 600.0 * wind_function * t;
}

void apply_interception(model_state& m, double seconds) {
    const double f = seasonal_month_factor(m.month, m.latitude);
    const double area = m.gridsize * m.gridsize;
    const int n = m.ncells;
    if (!holds(m.ri, n) || !holds(m.ri_eff, n) || !holds(m.icep_stor, n) || !holds(m.icep_coef, n) ||
        !holds(m.icep_dep, n))
        return;
    for (int k = 1; k <= n; ++k) {
        const double rate = m.ri[k];
        if (!(rate > 0.0)) {
            m.ri_eff[k] = 0.0;
            continue;
        }
        // A lake takes its rain as it falls.
        if (in_channel_lake(m, k)) {
            m.ri_eff[k] = rate;
            continue;
        }
        double free_storage = m.icep_stor[k] / f - m.icep_dep[k];
        if (free_storage < 0.0) free_storage = 0.0;
        const canopy_share s = intercept_rain(rate, seconds, free_storage, m.icep_coef[k] / f);
        m.ri_eff[k] = s.net_rate;
        m.icep_dep[k] += s.intercepted;
        book_water(m, water_flow::interception, s.intercepted * area / kMillimetresPerMetre);
    }
}

int snowmelt_energy_balance(model_state& m, double seconds) {
    const melt_weather w{m.hmet_air_temp, m.hmet_wind_speed, m.hmet_rel_humidity, m.hmet_pressure};
    const double dry_heat = snow_heat(w, 0.0, m.snow_longwave_loss);
    const bool net_rain = m.interception == 1 && holds(m.ri_eff, m.ncells);
    int snow_left = 0;
    for (int k = 1; k <= m.ncells && k <= m.snowdepth.n(); ++k) {
        double& snow = m.snowdepth[k];
        if (!(snow > 0.0) || in_overland_lake(m, k) || in_channel_lake(m, k)) continue;
        double heat = dry_heat;
        if (m.event_active) heat += (net_rain ? value_at(m.ri_eff, k) : value_at(m.ri, k)) / 10.0 * w.air_temp;
        double melt = heat / m.snow_latent_heat * seconds / kMeltDivisor;
        if (melt < 0.0) melt = 0.0;
        if (melt >= snow) {
            melt = snow;
            snow = 0.0;
        } else {
            snow -= melt;
            snow_left = 1;
        }
        if (k <= m.h.n()) m.h[k] += melt;
        if (m.ov_con_trans) book_melt_on_cell(m, k, melt);
    }
    return snow_left;
}

}  // namespace kesta
