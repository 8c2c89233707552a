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

// What the moves of one slot share over the cells: its tables and the
// water species it exchanges with.
struct soil_slot {
    int c = 0;
    mat2<double>* mass = nullptr;  // [cell][layer] g
    mat2<double>* conc = nullptr;  // [cell][layer] mg/kg of solids
    const double* decay = nullptr;  // [cell] 1/s
    const double* kd = nullptr;     // [cell] L/kg
    double* land = nullptr;         // [cell] g over the layers
    // The dissolved shares of a nutrient pool (null: all of it dissolves).
    const mat2<double>* dissolved = nullptr;
    // The slot whose water a nutrient pool exchanges with (-1: none; a
    // contaminant's own), and that water's groundwater concentration
    // (null: none).
    int feeder = -1;
    const vec1<double>* gw = nullptr;
};

soil_slot slot_of(model_state& m, int c) {
    const std::size_t s = static_cast<std::size_t>(c);
    soil_slot v;
    v.c = c;
    v.mass = &m.soil_mass[s];
    v.conc = &m.soil_conc[s];
    v.decay = m.contam_decay_per_s[s].data();
    v.kd = m.soil_partition_coef[s].data();
    v.land = m.contam_land_mass[s].data();
    v.dissolved = zep_soil_dissolved(m, c);
    v.feeder = nutrient_species_index(m.first_nutrient_constituent, c, false, m.zep != nullptr);
    const std::size_t g = static_cast<std::size_t>(v.feeder);
    if (v.feeder >= 1 && g < m.gw_conc.size()) v.gw = &m.gw_conc[g];
    return v;
}

// Decay and movement of slot v in cell k, of Layers layers (0: the cell's
// count; a fixed count lets the layer loops unroll).
template <int Layers>
void move_cell(model_state& m, const soil_slot& v, int k, const soil_cell_water& cell, double dt) {
    const int c = v.c;
    const int n = Layers > 0 ? Layers : cell.layers;
    const double* t = m.soil_thickness[k];
    double* mass = (*v.mass)[k];
    double* conc = (*v.conc)[k];
    const double area = m.gridsize * m.gridsize;
    const double rate = v.decay[k];
    double held[kMaxContamLayers + 2];
    for (int l = 1; l <= n; ++l) held[l] = mass[l];
    const double* share = v.dissolved != nullptr && k <= v.dissolved->nrows() ? (*v.dissolved)[k] : nullptr;
    // Without water crossing an interface nothing moves (every amount below
    // is 0); without decay nothing else changes the held masses. A pool
    // none of which is dissolved in any layer has no pore water to move:
    // only the groundwater a rising water brings reaches it. (The shares
    // are read only where water moves: most cells and steps have none.)
    bool moves = cell.moving && (share == nullptr || (cell.rising && v.gw != nullptr));
    for (int l = 1; l <= n && cell.moving && !moves; ++l) moves = share[l] != 0.0;
    if (moves || rate > 0.0) {
        const double* theta = m.nutrient_grid.table[k];
        const double* q = cell.q;
        double f[kMaxContamLayers + 2];
        const double kd = v.kd[k];
        const double lost = rate > 0.0 ? -std::expm1(-rate * dt) : 0.0;
        double decayed = 0.0;
        for (int l = 1; l <= n; ++l) {
            const double sorbing = kd == 0.0 ? cell.unsorbed[l] : solids_factor(kd, theta[l]);
            f[l] = sorbing * (share != nullptr ? share[l] : 1.0);
            if (rate > 0.0) decayed += soil_layer_constituent_loss(held[l], theta[l] * f[l], lost);
        }
        double a[kMaxContamLayers + 2];  // g across each interface, positive downward
        const int feeder = v.feeder;
        if (!cell.rising) {
            // Each layer's amount is taken from what it held before any
            // move, as it leaves it for the layer below.
            double above = 0.0;
            for (int l = 1; l <= n; ++l) {
                const double out = leached_mass(q[l], f[l], held[l], t[l]);
                held[l] += above - out;
                above = out;
            }
            a[0] = 0.0;
            a[n] = above;
        } else {
            const double gw = v.gw != nullptr ? (*v.gw)[k] : 0.0;
            a[0] = 0.0;
            a[n] = q[n] * gw * area;
            for (int l = feeder >= 1 ? 0 : 1; l < n; ++l) a[l] = -leached_mass(-q[l], f[l + 1], held[l + 1], t[l + 1]);
            for (int l = 1; l <= n; ++l) held[l] += a[l - 1] - a[l];
        }
        if (decayed > 0.0) book(m, con_flow::soil_decay, c, decayed);
        if (a[n] > 0.0) book(m, con_flow::soil_leached, c, a[n]);
        if (a[n] < 0.0) book(m, con_flow::soil_from_wt, c, -a[n]);
        if (a[0] < 0.0) {
            m.contam_mass[static_cast<std::size_t>(feeder)][k] -= a[0];
            book_soil_exfil(m, c, feeder, -a[0]);
        }
    }
    if (m.soil_static_conc) return;
    double sum = 0.0;
    for (int l = 1; l <= n; ++l) {
        const double kept = held[l] > 0.0 ? held[l] : 0.0;
        const double per_solids = cell.per_solids[l];
        mass[l] = kept;
        conc[l] = per_solids > 0.0 ? kept * per_solids : 0.0;
        sum += kept;
    }
    v.land[k] = sum;
}

// The water content of every constituent soil layer of every cell into
// the soil step's moisture table (nutrient_grid).
void fill_layer_moisture(model_state& m) {
    mat2<double>& theta = m.nutrient_grid.table;
    for (int k = 1; k <= m.ncells; ++k) constituent_layer_moistures(m, k, m.soil_layer_count[k], theta[k]);
}

// The water that crosses every cell's layers over the interval, and their
// solids, into soil_water; the soil water's amounts of the interval are
// then spent.
void fill_cell_water(model_state& m) {
    const double area = m.gridsize * m.gridsize;
    for (int k = 1; k <= m.ncells; ++k) {
        soil_cell_water& w = m.soil_water[k];
        const int n = m.soil_layer_count[k];
        double* q = w.q;
        // Under a channel lake no water crosses the layers: their
        // constituents only decay.
        const bool lake = in_channel_lake(m, k);
        if (lake) std::fill(q, q + n + 1, 0.0);
        const bool rising = !lake && interface_water(m, k, n, q);
        bool moving = false;
        for (int l = 0; l <= n; ++l) moving = moving || std::fabs(q[l]) > kNoWater;
        w.layers = n;
        w.rising = rising && moving;
        w.moving = moving;
        const double* t = m.soil_thickness[k];
        const double* theta = m.nutrient_grid.table[k];
        for (int l = 1; l <= n; ++l) {
            const double solids = (1.0 - m.soil_porosity[k][l]) * t[l] * kSolidSpecificGravity * kGramsPerKilogram * area;
            w.per_solids[l] = solids > 0.0 ? kGramsPerKilogram / solids : 0.0;
            w.unsorbed[l] = solids_factor(0.0, theta[l]);
        }
        m.soil_interflow[k] = 0.0;
        m.soil_drainage[k] = 0.0;
        m.soil_infil_depth[k] = 0.0;
        m.ov_exfil_vol[k] = 0.0;
    }
}

}  // namespace

void step_soil_nutrients(model_state& m) {
    if (!m.soil_con_trans || m.ncontam <= 0 || m.soil_layer_count.empty() ||
        !clock_due(m.soil_con_next, m.time, m.time_tol))
        return;
    const double dt = (m.time - m.soil_con_last) * kSecondsPerDay;
    // The nutrient pools' reactions at this time took the same moisture
    // from the same water.
    if (m.nutrient_grid.moisture_time != m.time) fill_layer_moisture(m);
    fill_cell_water(m);
    // Every slot, the soil-only nutrient pools among them, moves with the
    // water by its dissolved share, one slot over all cells at a time: a
    // slot's moves touch only its own tables (and its water species' mass
    // and books, which no other slot's touch), and walk them in order.
    for (int c = 1; c <= m.ncontam; ++c) {
        const soil_slot v = slot_of(m, c);
        for (int k = 1; k <= m.ncells; ++k) {
            const soil_cell_water& w = m.soil_water[k];
            switch (w.layers) {
                case 3:
                    move_cell<3>(m, v, k, w, dt);
                    break;
                case 2:
                    move_cell<2>(m, v, k, w, dt);
                    break;
                default:
                    move_cell<0>(m, v, k, w, dt);
            }
        }
    }
    m.soil_con_last = m.time;
    m.soil_con_next = m.soil_et_accounting ? m.soil_et_next : m.inf_next;
}

}  // namespace kesta
