// The overland constituents' gains and losses besides their transport: the
// rain, melt and groundwater that bring them, the water that carries them
// into the ground, their exchange with the soil's mixing layer (or the
// land) and their first-order decay.
//
// Each process moves mass at once and books it: a cell never gives more
// than it holds. Between two transport steps a cell's mass is taken to be
// dissolved in `contam_water`: the water the transport left it with, plus
// the rain, melt, point-source and groundwater water since, less what
// infiltrated.
#include <algorithm>
#include <cmath>

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "subsurface/soil_constituent_kernels.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kRateToMetres = 3.6e6;  // mm/h times s to m
constexpr double kNoWater = 1e-16;       // m3; a smaller volume moves no mass
constexpr double kCmPerMetre = 100.0;

double cell_area(const model_state& m) { return m.gridsize * m.gridsize; }

// The slot whose soil takes the infiltrating mass of slot c: a nutrient
// species feeds the soil pool its species maps to (none, -1, for the
// species no pool holds); a contaminant its own.
int soil_slot_of(const model_state& m, int c) {
    return m.zep ? nutrient_species_index(m.first_nutrient_constituent, c, true, true) : c;
}

// Mass g of slot c that infiltrated from cell k into the soil's top layer.
void infiltrate(model_state& m, int c, int k, double g) {
    const int into = soil_slot_of(m, c);
    if (into >= 1 && !m.soil_static_conc) m.soil_mass[static_cast<std::size_t>(into)][k][1] += g;
    book_ov_infil_into(m, c, into, g);
}

// The overland mass of every cell follows the water that entered the ground
// since the last transfer: the share of the cell's water that left, all of
// it when the cell has run dry.
void transfer_infiltrated(model_state& m) {
    const double area = cell_area(m);
    for (int k = 1; k <= m.ncells; ++k) {
        const double v = m.ov_infil_vol[k];
        m.ov_infil_vol[k] = 0.0;
        if (!(v > kNoWater)) continue;
        const double water = m.contam_water[k] * area;
        // A cell that ran dry gives all it holds.
        const bool dry = m.h[k] < kDryDepth;
        m.contam_water[k] = std::max(0.0, m.contam_water[k] - v / area);
        for (int c = 1; c <= m.ncontam; ++c) {
            if (!carried_by_water(m, c)) continue;
            const std::size_t s = static_cast<std::size_t>(c);
            double& mass = m.contam_mass[s][k];
            const double g = dry ? mass : scale_by_ratio(v, 0.0, water, mass);
            if (!(g > 0.0)) continue;
            mass -= g;
            if (m.soil_con_trans)
                infiltrate(m, c, k, g);
            else
                book_ov_infil(m, c, g);
        }
    }
}

// Mixing-layer water depth of cell k (m): the layer's water content times
// its thickness; 0 for dry soil.
double mixing_water(const model_state& m, int k) {
    if (m.soil_con_trans) {
        const double t = m.soil_thickness[k][1];
        return std::max(0.0, constituent_layer_theta(m, k, 1)) * t;
    }
    const double theta = k <= m.theta_all.n() ? m.theta_all[k] : 0.0;
    return std::max(0.0, theta) * m.mixing_layer_depth / kCmPerMetre;
}

// The mixing layer's side of an exchange over dt seconds between the water
// of wet cell k and its mixing layer at the rate of contam_uptake (m/s),
// driven by the difference of concentration: with SOIL_CON_TRANS both ways
// with the pore water of the soil's top layer; else only from the land's
// load into the water, the load dissolved in the mixing layer's water.
// Never past the concentrations meeting, never more than the layer holds
// (what the water may give, the cell's budget limits). Returns the grams
// the water asks to gain (negative: to give); 0 where nothing is exchanged.
double mixing_layer_exchange(const model_state& m, std::size_t s, int k, double mass, double dt) {
    const double rate = m.contam_uptake[s][k];
    if (!(rate > 0.0)) return 0.0;
    const double area = cell_area(m);
    const double water = m.contam_water[k] * area;  // m3
    if (!(water > kNoWater)) return 0.0;
    const double w = mixing_water(m, k);
    if (!(w > kDryDepth)) return 0.0;
    const bool soil = m.soil_con_trans != 0;
    const double conc = mass / water;
    double held = 0.0;  // g the other side holds
    double pore = 0.0;  // its pore-water volume: held / pore is its concentration (m3)
    if (soil) {
        held = m.soil_mass[s][k][1];
        const double f = solids_factor(m.soil_partition_coef[s][k], constituent_layer_theta(m, k, 1));
        if (!(f > 0.0)) return 0.0;
        pore = m.soil_thickness[k][1] * area / f;
    } else {
        held = m.contam_land_mass[s][k];
        pore = w * area;
    }
    if (!(pore > 0.0)) return 0.0;
    const double other = held / pore;
    double e = (other - conc) * rate * area * dt;
    const double balanced = (other - conc) / (1.0 / water + 1.0 / pore);
    if (std::fabs(e) > std::fabs(balanced)) e = balanced;
    if (e > 0.0) return std::min(e, held);
    return soil ? e : 0.0;
}

// Over dt seconds, in the water of every wet cell: each contaminant's
// exchange with the mixing layer, then its first-order decay.
void exchange_and_decay(model_state& m, double dt) {
    enum { exchange, decay, terms };
    budget_term t[terms];
    t[exchange].kind = budget_kind::amount;
    t[decay].kind = budget_kind::first_order;
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c)) continue;
        const std::size_t s = static_cast<std::size_t>(c);
        const vec1<double>& rate = m.contam_decay_per_s[s];
        vec1<double>& mass = m.contam_mass[s];
        double booked = 0.0, lost = 0.0;
        for (int k = 1; k <= m.ncells; ++k) {
            if (m.h[k] < kDryDepth) continue;
            t[exchange].value = mixing_layer_exchange(m, s, k, mass[k], dt);
            t[exchange].on = t[exchange].value != 0.0;
            t[decay].on = rate[k] > 0.0;
            if (t[decay].on) t[decay].value = -std::expm1(-rate[k] * dt);
            if (!t[exchange].on && !t[decay].on) continue;
            mass[k] = soil_contam_cell_budget(t, terms, mass[k]);
            const double e = t[exchange].moved;
            if (e != 0.0) {
                if (!m.soil_con_trans) m.contam_land_mass[s][k] -= e;
                else if (!m.soil_static_conc) m.soil_mass[s][k][1] -= e;
                booked += e;
            }
            lost -= t[decay].moved;
        }
        if (booked != 0.0) book_ov_exchange(m, c, booked);
        if (lost > 0.0) book(m, con_flow::ov_decay, c, lost);
    }
}

}  // namespace

void add_rain_constituents(model_state& m, const double* rates, double dt) {
    if (m.ncontam <= 0) return;
    const double area = cell_area(m);
    const int n = m.ncells;
    // The rain on a channel-network lake is the lake's, as its water is.
    const int* lake_of = !m.chan_mass.empty() && m.chan_lakes_on && m.lake_num.n() >= n ? m.lake_num.data() : nullptr;
    const auto lake_at = [&](int k) {
        const int lake = lake_of ? lake_of[k] : 0;
        return lake >= 1 && lake <= m.nlakes ? lake : 0;
    };
    for (int k = 1; k <= n; ++k) {
        const double depth = rates[k] * dt / kRateToMetres;
        if (depth > 0.0 && !lake_at(k)) m.contam_water[k] += depth;
    }
    for (int c = 1; c <= m.ncontam; ++c) {
        const double conc = m.precip_conc.at(c);
        if (!carried_by_water(m, c) || !(conc > 0.0)) continue;
        vec1<double>& mass = m.contam_mass[static_cast<std::size_t>(c)];
        double added = 0.0, on_lakes = 0.0;
        for (int k = 1; k <= n; ++k) {
            const double depth = rates[k] * dt / kRateToMetres;
            if (!(depth > 0.0)) continue;
            const double g = depth * area * conc;
            if (const int lake = lake_at(k)) {
                m.chan_mass[c][m.chan_lake_row0 + lake] += g;
                on_lakes += g;
                continue;
            }
            mass[k] += g;
            added += g;
        }
        book(m, con_flow::ov_precip, c, added);
        if (on_lakes > 0.0) book(m, con_flow::lake_precip, c, on_lakes);
    }
}

void book_melt_on_cell(model_state& m, int cell, double depth) {
    if (!(depth > 0.0) || m.ncontam <= 0) return;
    m.contam_water[cell] += depth;
    const double volume = depth * cell_area(m);
    for (int c = 1; c <= m.ncontam; ++c) {
        const double g = volume * m.precip_conc.at(c);
        if (!carried_by_water(m, c) || !(g > 0.0)) continue;
        m.contam_mass[static_cast<std::size_t>(c)][cell] += g;
        book(m, con_flow::ov_precip, c, g);
    }
}

void book_infiltrated_water(model_state& m, int cell, double volume) {
    if (m.ncontam <= 0 || !(volume > 0.0)) return;
    m.ov_infil_vol[cell] += volume;
    if (m.soil_con_trans) m.soil_infil_depth[cell] += volume / cell_area(m);
}

void book_exfiltrated_water(model_state& m, int cell, double volume, bool) {
    if (m.ncontam <= 0 || volume == 0.0) return;
    // Surface water the ground takes back leaves as infiltrated water does.
    if (volume < 0.0) {
        m.ov_infil_vol[cell] -= volume;
        return;
    }
    m.contam_water[cell] += volume / cell_area(m);
    if (m.soil_con_trans) {
        m.ov_exfil_vol[cell] += volume;
        return;
    }
    for (int c = 1; c <= m.ncontam; ++c) {
        const std::size_t s = static_cast<std::size_t>(c);
        if (!carried_by_water(m, c) || s >= m.gw_conc.size()) continue;
        const double g = volume * m.gw_conc[s][cell];
        if (!(g > 0.0)) continue;
        m.contam_mass[s][cell] += g;
        book(m, con_flow::ov_exfil, c, g);
    }
}

void leave_dry_cell(model_state& m, int c, int cell) {
    const std::size_t s = static_cast<std::size_t>(c);
    double& mass = m.contam_mass[s][cell];
    const double g = mass;
    mass = 0.0;
    if (m.soil_con_trans) {
        infiltrate(m, c, cell, g);
        return;
    }
    m.contam_land_mass[s][cell] += g;
    book_ov_exchange(m, c, -g);
}

void step_contam_processes(model_state& m) {
    if (!m.ov_con_trans || !clock_due(m.wq_next, m.time, m.time_tol)) return;
    if (m.ncontam <= 0) return;
    transfer_infiltrated(m);
    // The exchange and the decay run every KINETICS_TIMESTEP_FACTOR intervals.
    m.kinetics_seconds += (m.wq_next - m.wq_last) * kSecondsPerDay;
    if (++m.kinetics_steps < m.kinetics_interval_steps) return;
    const double dt = m.kinetics_seconds;
    m.kinetics_steps = 0;
    m.kinetics_seconds = 0.0;
    if (!(dt > 0.0)) return;
    exchange_and_decay(m, dt);
}

}  // namespace kesta
