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
//
// A nutrient slot's soil holds a soil pool of the nutrient module, which
// steps its pools first. Only the pool's dissolved share is in the pore
// water. The groundwater brings a pool the concentration of the water
// species that feeds it, and the pore water rising to the surface joins
// that species; a pool no species feeds (carbon, the other organic and
// mineral pools) takes nothing from the groundwater and gives nothing to the
// surface water.
#include <algorithm>
#include <cmath>

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/zep_soils.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/soil_constituent_kernels.hpp"
#include "subsurface/subsurface_steps.hpp"
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
    // Each way below writes every entry q[0..n].
    if (m.water_table_given && k <= m.yes_exfil.n() && m.yes_exfil[k] == 1) {
        const double rise = m.ov_exfil_vol[k] / area;
        for (int l = 0; l <= n; ++l) q[l] = -rise;
        return true;
    }
    q[0] = 0.0;
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

// What every slot of one cell shares in a soil step.
struct soil_cell {
    int k = 0;
    int n = 0;                      // layers
    const double* theta = nullptr;  // [1..n] volumetric water content
    const double* q = nullptr;      // [0..n] water across the interfaces (interface_water)
    bool rising = false;            // the water rises (and some moves)
    bool moving = false;            // some water crosses an interface
    double solids[kMaxContamLayers + 2] = {};  // [1..n] kg of solids per layer
};

// Decay and movement of slot c in the cell.
void move_cell(model_state& m, int c, const soil_cell& cell, double dt) {
    const std::size_t s = static_cast<std::size_t>(c);
    const int k = cell.k;
    const int n = cell.n;
    const double* t = m.soil_thickness[k];
    double* mass = m.soil_mass[s][k];
    double* conc = m.soil_conc[s][k];
    const double area = m.gridsize * m.gridsize;
    const double rate = m.contam_decay_per_s[s][k];
    double held[kMaxContamLayers + 2];
    for (int l = 1; l <= n; ++l) held[l] = mass[l];
    // Without water crossing an interface nothing moves (every amount below
    // is 0); without decay nothing else changes the held masses.
    if (cell.moving || rate > 0.0) {
        const double* theta = cell.theta;
        const double* q = cell.q;
        double f[kMaxContamLayers + 2];
        const double kd = m.soil_partition_coef[s][k];
        const double lost = rate > 0.0 ? -std::expm1(-rate * dt) : 0.0;
        double decayed = 0.0;
        for (int l = 1; l <= n; ++l) {
            f[l] = solids_factor(kd, theta[l]) * zep_soil_dissolved(m, c, k, l);
            if (rate > 0.0) decayed += soil_layer_constituent_loss(held[l], theta[l] * f[l], lost);
        }
        double a[kMaxContamLayers + 2];  // g across each interface, positive downward
        // The slot whose water a nutrient pool exchanges with (-1: none);
        // a contaminant's own.
        const int feeder = nutrient_species_index(m.first_nutrient_constituent, c, false, m.zep != nullptr);
        if (!cell.rising) {
            a[0] = 0.0;
            for (int l = 1; l <= n; ++l) a[l] = leached_mass(q[l], f[l], held[l], t[l]);
        } else {
            const std::size_t g = static_cast<std::size_t>(feeder);
            const double gw = feeder >= 1 && g < m.gw_conc.size() ? m.gw_conc[g][k] : 0.0;
            a[0] = 0.0;
            a[n] = q[n] * gw * area;
            for (int l = feeder >= 1 ? 0 : 1; l < n; ++l) a[l] = -leached_mass(-q[l], f[l + 1], held[l + 1], t[l + 1]);
        }
        for (int l = 1; l <= n; ++l) held[l] += a[l - 1] - a[l];
        if (decayed > 0.0) book_soil_decay(m, c, decayed);
        if (a[n] > 0.0) book_soil_leached(m, c, a[n]);
        if (a[n] < 0.0) book_soil_from_wt(m, c, -a[n]);
        if (a[0] < 0.0) {
            m.contam_mass[static_cast<std::size_t>(feeder)][k] -= a[0];
            book_soil_exfil(m, c, feeder, -a[0]);
        }
    }
    if (m.soil_static_conc) return;
    double sum = 0.0;
    for (int l = 1; l <= n; ++l) {
        mass[l] = held[l] > 0.0 ? held[l] : 0.0;
        const double solids = cell.solids[l];
        conc[l] = solids > 0.0 ? mass[l] / solids * kGramsPerKilogram : 0.0;
        sum += mass[l];
    }
    m.contam_land_mass[s][k] = sum;
}

// The water content of every constituent soil layer of every cell into
// the soil step's moisture table (nutrient_grid).
void fill_layer_moisture(model_state& m) {
    mat2<double>& theta = m.nutrient_grid.table;
    for (int k = 1; k <= m.ncells; ++k) constituent_layer_moistures(m, k, m.soil_layer_count[k], theta[k]);
}

}  // namespace

void step_soil_nutrients(model_state& m) {
    if (!m.soil_con_trans || m.ncontam <= 0 || m.soil_layer_count.empty() ||
        !clock_due(m.soil_con_next, m.time, m.time_tol))
        return;
    const double dt = (m.time - m.soil_con_last) * kSecondsPerDay;
    fill_layer_moisture(m);
    const double area = m.gridsize * m.gridsize;
    soil_cell cell;
    double* q = m.nutrient_grid.first.data();
    cell.q = q;
    for (int k = 1; k <= m.ncells; ++k) {
        const int n = m.soil_layer_count[k];
        // Under a channel lake no water crosses the layers: their
        // constituents only decay.
        const bool lake = in_channel_lake(m, k);
        if (lake) std::fill(q, q + n + 1, 0.0);
        const bool rising = !lake && interface_water(m, k, n, q);
        bool moving = false;
        for (int l = 0; l <= n; ++l) moving = moving || std::fabs(q[l]) > kNoWater;
        cell.k = k;
        cell.n = n;
        cell.theta = m.nutrient_grid.table[k];
        cell.rising = rising && moving;
        cell.moving = moving;
        const double* t = m.soil_thickness[k];
        for (int l = 1; l <= n; ++l)
            cell.solids[l] = (1.0 - m.soil_porosity[k][l]) * t[l] * kSolidSpecificGravity * kGramsPerKilogram * area;
        // Every slot, the soil-only nutrient pools among them, moves with
        // the water by its dissolved share.
        for (int c = 1; c <= m.ncontam; ++c) move_cell(m, c, cell, dt);
        m.soil_interflow[k] = 0.0;
        m.soil_drainage[k] = 0.0;
        m.soil_infil_depth[k] = 0.0;
        m.ov_exfil_vol[k] = 0.0;
    }
    m.soil_con_last = m.time;
    m.soil_con_next = m.soil_et_accounting ? m.soil_et_next : m.inf_next;
}

}  // namespace kesta
