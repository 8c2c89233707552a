// The soil step of the constituents (SOIL_CON_TRANS), at the soil water's
// interval: in every cell each contaminant decays in each constituent soil
// layer, then each constituent carried in water (the nutrient species
// without sorption or decay) moves between the layers with the water that
// crossed their interfaces in the interval.
//
// A layer of thickness t holding m g with solids factor f (linear sorption,
// solids_factor) has the pore-water concentration f m / (t dx^2); water q
// (m) crossing its bottom carries q f m / t of it, at most m. The water is
// the soil-water accounting's over the interval: its flow from the upper to
// the lower store passes the layers within the upper store, its drainage
// leaves the bottom (single-layer Green and Ampt: the infiltrated depth
// passes the mixing layer). Where the water table stands at the ground the
// exfiltrated water rises through every interface instead: it brings the
// groundwater's concentration into the bottom layer and carries each
// layer's pore water up, the top layer's to the surface.
#include <algorithm>
#include <cmath>

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kGramsPerKilogram = 1000.0;
constexpr double kNoWater = 1e-16;  // m; less crossing an interface moves nothing

// The water depths crossing the interfaces of cell k over the interval (m,
// positive downward; entry 0 the top of layer 1); true when the water rises
// (the water table stands at the ground).
bool interface_water(const model_state& m, int k, int n, double* q) {
    const double area = m.gridsize * m.gridsize;
    for (int l = 0; l <= n; ++l) q[l] = 0.0;
    if (m.water_table_given && k <= m.yes_exfil.n() && m.yes_exfil[k] == 1) {
        const double rise = m.ov_exfil_vol[k] / area;
        for (int l = 0; l <= n; ++l) q[l] = -rise;
        return true;
    }
    if (m.green_ampt_on) {
        for (int l = 1; l <= n; ++l) q[l] = m.soil_infil_depth[k];
        return false;
    }
    const double between = m.soil_interflow[k] / kCmPerMetre;
    const double bottom = m.soil_drainage[k] / kCmPerMetre;
    for (int l = 1; l < n; ++l) q[l] = between;
    q[n] = bottom;
    return false;
}

// Decay and movement of slot c in cell k.
void move_cell(model_state& m, int c, int k, const double* theta, const double* q, bool rising, double dt) {
    const std::size_t s = static_cast<std::size_t>(c);
    const int n = m.soil_layer_count[k];
    const double* t = m.soil_thickness[k];
    double* mass = m.soil_mass[s][k];
    double* conc = m.soil_conc[s][k];
    const bool change = !m.soil_static_conc;
    const double area = m.gridsize * m.gridsize;
    double f[kMaxContamLayers + 2] = {};
    double held[kMaxContamLayers + 2] = {};
    const double kd = m.soil_partition_coef[s][k];
    const double rate = m.contam_decay[s][k];
    double decayed = 0.0;
    for (int l = 1; l <= n; ++l) {
        f[l] = solids_factor(kd, theta[l]);
        held[l] = mass[l];
        if (rate > 0.0 && held[l] > 0.0) {
            const double g = theta[l] * f[l] * held[l] * -std::expm1(-rate * dt);
            held[l] -= g;
            decayed += g;
        }
    }
    double* a = m.nutrient_grid.second.data();  // g across each interface, positive downward
    for (int l = 0; l <= n; ++l) a[l] = 0.0;
    if (!rising) {
        for (int l = 1; l <= n; ++l) a[l] = leached_mass(q[l], f[l], held[l], t[l]);
    } else {
        const double gw = s < m.gw_conc.size() ? m.gw_conc[s][k] : 0.0;
        a[n] = q[n] * gw * area;
        for (int l = 0; l < n; ++l) a[l] = -leached_mass(-q[l], f[l + 1], held[l + 1], t[l + 1]);
    }
    for (int l = 1; l <= n; ++l) held[l] += a[l - 1] - a[l];
    if (decayed > 0.0) book_soil_decay(m, c, decayed);
    if (a[n] > 0.0) book_soil_leached(m, c, a[n]);
    if (a[n] < 0.0) book_soil_from_wt(m, c, -a[n]);
    if (a[0] < 0.0) {
        m.contam_mass[s][k] -= a[0];
        book_soil_exfil(m, c, -a[0]);
    }
    if (!change) return;
    double sum = 0.0;
    for (int l = 1; l <= n; ++l) {
        mass[l] = held[l] > 0.0 ? held[l] : 0.0;
        const double solids = (1.0 - m.soil_porosity[k][l]) * t[l] * kSolidSpecificGravity * kGramsPerKilogram * area;
        conc[l] = solids > 0.0 ? mass[l] / solids * kGramsPerKilogram : 0.0;
        sum += mass[l];
    }
    m.contam_land_mass[s][k] = sum;
}

}  // namespace

void step_soil_nutrients(model_state& m) {
    if (!m.soil_con_trans || m.ncontam <= 0 || m.soil_layer_count.empty() ||
        !clock_due(m.soil_con_next, m.time, m.time_tol))
        return;
    const double dt = (m.time - m.soil_con_last) * kSecondsPerDay;
    mat2<double>& theta = m.nutrient_grid.table;
    for (int k = 1; k <= m.ncells; ++k) {
        for (int l = 1; l <= m.soil_layer_count[k]; ++l) theta[k][l] = constituent_layer_theta(m, k, l);
    }
    if (m.nutrients) {
        zep_soils_set_moisture(m, 0);
        zep_soils_step(m);
    }
    double* q = m.nutrient_grid.first.data();
    for (int k = 1; k <= m.ncells; ++k) {
        const int n = m.soil_layer_count[k];
        const bool rising = interface_water(m, k, n, q);
        bool moving = false;
        for (int l = 0; l <= n; ++l) moving = moving || std::fabs(q[l]) > kNoWater;
        for (int c = 1; c <= m.ncontam; ++c) {
            if (m.constituent_type.at(c) == 3) continue;
            move_cell(m, c, k, theta[k], q, rising && moving, dt);
        }
        m.soil_interflow[k] = 0.0;
        m.soil_drainage[k] = 0.0;
        m.soil_infil_depth[k] = 0.0;
        m.ov_exfil_vol[k] = 0.0;
    }
    m.soil_con_last = m.time;
    m.soil_con_next = m.soil_et_accounting ? m.soil_et_next : m.inf_next;
}

}  // namespace kesta
