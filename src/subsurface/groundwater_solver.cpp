// The implicit head solve of the aquifer. Each step gathers the sources and
// sinks of every cell into one rate, then solves the heads over sub-steps
// (shortened only under Richards columns, where the storage coefficient
// comes from the soil nodes the water table crosses) by Picard iteration on
// the transmissivity, each pass a five-point system solved by the conjugate
// gradient (groundwater_system.cpp). Fixed-head cells keep their heads; the
// flux through their faces is the solver's own face flux, so the aquifer's
// balance closes. No solved cell ends a sub-step below the 1 mm floor: what
// its faces gave beyond what it held is taken back, and what whole-taken
// sinks overdrew is added and booked as the floor's own volume.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kCmPerMetre = 100.0;
constexpr double kPicardTolerance = 0.001;  // m of head change between iterates
constexpr int kPicardWarnFrom = 49;         // tries from which each one warns
constexpr int kPicardMaxTries = 1000;
constexpr double kShallowCell = 0.01;      // m of saturated thickness; thinner cells neither pump nor leak
constexpr double kSecondsPerHour = 3600.0;
constexpr double kShortestSubstep = 1.0;   // s

bool solved(const model_state& m, int k) { return !gw_fixed_head(value_at(m.gwbound, k)); }

double cell_area(const model_state& m, int k) { return m.DELX[k] * m.DELY[k]; }

// Face coefficient (1/s) of cell i towards a neighbour n across a face of
// the cells' sizes di and dn in the direction of the neighbour: the harmonic
// transmissivity over the distance between the centres, divided by di. Two
// cells without transmissivity share no flow (no 0/0).
double face_coefficient(double ti, double tn, double di, double dn) {
    const double den = tn * di + ti * dn;
    return den > 0.0 ? 2.0 * ti * tn / den / di : 0.0;
}

// ---- sources and sinks of one step ---------------------------------------

// Moves the exchange volume of a per-cell vector out of it (m3 or the
// vector's own unit); 0 when the vector is absent.
double take(vec1<double>& v, int k) {
    if (k > v.n()) return 0.0;
    const double x = v[k];
    v[k] = 0.0;
    return x;
}

// Sets `source` of every cell for the step (m/s, positive out of the
// aquifer) and returns the net volume (m3) added to the aquifer. Sinks the
// aquifer draws itself (pumping and leakage) are limited to the water its
// cell holds above the floor; the exchanges that other processes have
// already applied (streams, lakes, drains, exfiltration) are taken whole.
double gather_sources(model_state& m, double dt) {
    const double leakage_rate = m.gw_leakage_rate / kCmPerMetre / kSecondsPerHour;  // cm/h to m/s
    gw_run_totals& t = m.gw_totals;
    double added = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        const double area = cell_area(m, k);
        const surface_exchange x = take_surface_exchange(m, k);
        const double exfil = take(m.exfiltrate, k);                       // m out
        const double unsat = take(m.gw_unsat_exchange, k) / kCmPerMetre;  // m in
        const double drained = value_at(m.bottomfav, k) / kCmPerMetre;    // m in
        t.unsat_into_gw += unsat * area;
        // Water the other processes have moved already (m/s, out of the aquifer).
        double fixed = (x.tile - x.lake - x.stream) / dt / area + (exfil - unsat - drained) / dt;
        if (!solved(m, k)) {
            // A held head passes whatever reaches its cell on to the boundary.
            m.source[k] = 0.0;
            const double in = -fixed * dt * area;
            added += in;
            m.gw_flux[k] -= in;
            continue;
        }
        const double d = m.elevgw[k] - m.bottom_elev[k];
        double pump = m.well_table_given ? m.qwell[k] : m.qwell_static[k];
        if (d < kShallowCell && pump > 0.0) pump = 0.0;
        double leak = d < kShallowCell ? 0.0 : leakage_rate;
        if (pump < 0.0) fixed += pump;  // injection
        const double drawn = std::max(pump, 0.0) + leak;
        if (drawn > 0.0) {
            const double room = std::max(d - kGwFloor, 0.0) * m.STOR[k] / dt - fixed;
            const double f = room <= 0.0 ? 0.0 : std::min(1.0, room / drawn);
            if (pump > 0.0) pump *= f;
            leak *= f;
        }
        t.pumping += pump * dt * area;
        t.leakage += leak * dt * area;
        m.source[k] = fixed + std::max(pump, 0.0) + leak;
        added -= m.source[k] * dt * area;
    }
    return added;
}

// ---- the five-point system ---------------------------------------------

// Transmissivities at the current heads and every solved cell's face
// coefficients towards its neighbours (1/s; 0 where there is none).
void fill_coefficients(model_state& m) {
    for (int k = 1; k <= m.ncells; ++k) {
        double gwh = m.elevgw[k] - m.bottom_elev[k];
        if (gwh <= kGwFloor) gwh = kGwFloor;
        m.TXX[k] = m.gw_Kx_hycond[k] * gwh;
        m.TYY[k] = m.gw_Ky_hycond[k] * gwh;
    }
    for (int k = 1; k <= m.ncells; ++k) {
        if (!solved(m, k)) {
            m.Bdummy[k] = m.Ddummy[k] = m.Fdummy[k] = m.Hdummy[k] = 0.0;
            continue;
        }
        auto toward = [&](int n, const vec1<double>& t, const vec1<double>& size) {
            return n > 0 ? face_coefficient(t[k], t[n], size[k], size[n]) : 0.0;
        };
        m.Bdummy[k] = toward(m.abovecon[k], m.TYY, m.DELY);
        m.Hdummy[k] = toward(m.belowcon[k], m.TYY, m.DELY);
        m.Ddummy[k] = toward(m.leftcon[k], m.TXX, m.DELX);
        m.Fdummy[k] = toward(m.rightcon[k], m.TXX, m.DELX);
    }
}

// The four neighbours of cell k and its coefficients towards them.
struct faces {
    int n[4];
    double c[4];
};

faces faces_of(const model_state& m, int k) {
    return faces{{m.abovecon[k], m.belowcon[k], m.leftcon[k], m.rightcon[k]},
                 {m.Bdummy[k], m.Hdummy[k], m.Ddummy[k], m.Fdummy[k]}};
}

// The flux (m3) through every face between a held cell and a solved one
// over the sub-step, from the solved cell's own equation: its coefficient
// towards the held cell times the head difference times its area.
void book_fixed_head_flux(model_state& m, double sub) {
    for (int k = 1; k <= m.ncells; ++k) {
        if (!solved(m, k)) continue;
        const faces f = faces_of(m, k);
        for (int j = 0; j < 4; ++j) {
            const int n = f.n[j];
            if (n == 0 || solved(m, n)) continue;
            m.gw_flux[n] += f.c[j] * (m.elevgw[n] - m.elevgw[k]) * cell_area(m, k) * sub;
        }
    }
}

// The water the heads just solved hold beyond the aquifer's porosity, over
// the sub-step (see gw_run_totals::beyond_porosity); booked before the floor
// lifts any head, which it does at the porosity.
void book_beyond_porosity(model_state& m) {
    for (int k = 1; k <= m.ncells; ++k) {
        if (!solved(m, k)) continue;
        m.gw_totals.beyond_porosity += (m.STOR[k] - m.gw_array_porosity[k]) * (m.elevgw[k] - m.elevgw_substep[k]) *
                                       cell_area(m, k);
    }
}

// ---- the floor ---------------------------------------------------------

// Cell k gave more water through its faces than it held above the floor:
// up to `excess` (m3) of what it gave over the sub-step goes back, from
// each neighbour it flowed to in proportion to that flow. A held neighbour
// passes that much less to its boundary; a solved one gives it out of its
// own volume. Returns the volume taken back.
double take_back_outflow(model_state& m, int k, double excess, double sub) {
    const faces f = faces_of(m, k);
    double q[4] = {};
    double out = 0.0;
    for (int j = 0; j < 4; ++j) {
        if (f.n[j] == 0) continue;
        q[j] = std::max(f.c[j] * (m.elevgw[k] - m.elevgw[f.n[j]]) * cell_area(m, k) * sub, 0.0);
        out += q[j];
    }
    if (!(out > 0.0)) return 0.0;
    const double back = std::min(excess, out);
    for (int j = 0; j < 4; ++j) {
        const int n = f.n[j];
        if (q[j] == 0.0) continue;
        const double v = back * q[j] / out;
        if (solved(m, n))
            m.elevgw[n] -= v / (m.gw_array_porosity[n] * cell_area(m, n));
        else
            m.gw_flux[n] += v;
    }
    return back;
}

// No solved cell ends a sub-step below the floor. Sideways flow cannot
// take more than a cell held: what the faces of a cell pulled below the
// floor gave beyond that is taken back from where it went, which may pull
// a cell further down the flow below the floor in turn. What a cell lost
// to sinks taken whole (drains, exfiltration, the streams) stays lost;
// lifting the cell back to the floor adds that water, booked in its own
// total at the porosity the aquifer's volume is counted with.
void hold_floor(model_state& m, double sub) {
    constexpr int kMostPasses = 100;  // the last pass only lifts, so no new cell falls below
    for (int pass = 1; pass <= kMostPasses; ++pass) {
        bool lifted = false;
        for (int k = 1; k <= m.ncells; ++k) {
            const double floor_head = m.bottom_elev[k] + kGwFloor;
            if (!solved(m, k) || m.elevgw[k] >= floor_head) continue;
            lifted = true;
            double added = (floor_head - m.elevgw[k]) * m.gw_array_porosity[k] * cell_area(m, k);
            if (pass < kMostPasses) added -= take_back_outflow(m, k, added, sub);
            m.elevgw[k] = floor_head;
            m.gw_totals.floor_added += added;
            m.gw_floor_added_this_event += added;
        }
        if (!lifted) return;
    }
}

// ---- storage of Richards cells -----------------------------------------

// A column of a cell as the water-table walks see it: node j's saturated
// moisture and thickness (cm), continued above the ground by water of the
// first layer's spacing and below the stored nodes by the aquifer's spacing
// and the last node's saturated moisture.
struct column_view {
    const model_state& m;
    const richards_node* nd;
    int last;
    double top_dz;      // cm, spacing of soil layer 1
    double deep_dz;     // cm, AQUIFER_DELTA_Z
    double thetas(int j) const {
        if (j < 1) return 1.0;
        const int i = std::min(j, last);
        return m.richards.soils[static_cast<std::size_t>(nd[i].soil)].thetas;
    }
    double theta(int j) const { return j < 1 ? 1.0 : nd[std::min(j, last)].theta; }
    double dz(int j) const {
        if (j < 1) return top_dz;
        return j <= last ? nd[j].dz : deep_dz;
    }
};

column_view view_of(const model_state& m, int cell) {
    const richards_class& cl = m.richards.classes[static_cast<std::size_t>(m.soiltype[cell])];
    return column_view{m, m.richards.column(cell), m.richards.last_node(cell), cl.dz[0],
                       m.aquifer_delta_z * kCmPerMetre};
}

// Walks from node `start` in steps of `step` (-1 up, +1 down), each node
// offering `offer(j)` cm, until `want` cm are taken (the last node in part).
// Returns the nodes walked and sets the thickness-weighted mean of THETAS
// over what was taken; `last_offer` is the offer of the last node reached.
template <class Offer>
int walk(const column_view& c, int start, int step, double want, Offer offer, double& mean_thetas,
         double& taken, double& last_offer) {
    int walked = 0;
    double weighted = 0.0;
    taken = 0.0;
    last_offer = 0.0;
    constexpr int kMostNodes = 100000;  // a table far outside the column stops the walk
    for (int j = start; taken < want && walked < kMostNodes; j += step) {
        last_offer = offer(j);
        if (!(last_offer > 0.0)) break;
        const double part = std::min(last_offer, want - taken);
        weighted += part * c.thetas(j);
        taken += part;
        ++walked;
    }
    mean_thetas = taken > 0.0 ? weighted / taken : c.thetas(start);
    return walked;
}

// STOR of a Richards cell at the start of a sub-step, and the nodes its
// water table would cross in it; may shorten the sub-step.
int substep_storage(model_state& m, int k, double& sub) {
    const column_view c = view_of(m, k);
    const int n = m.numcells[k];
    const int kk = n - 1;
    if (m.elevgw[k] >= m.elev[k]) {
        m.STOR[k] = c.thetas(1);
        return 0;
    }
    const double s = m.source[k];
    if (n < 3) {
        m.STOR[k] = c.thetas(kk);
        const double room = c.thetas(kk) - c.theta(kk);
        if (s != 0.0 && room > 0.0) {
            const double q = -(s * kCmPerMetre * sub) / (room * c.dz(kk));
            if (c.dz(kk) < q) sub = std::max(-room * c.dz(kk) / (s * kCmPerMetre), kShortestSubstep);
        }
        return 0;
    }
    if (s > 0.0) {
        m.STOR[k] = c.thetas(kk);
        return static_cast<int>(s * sub * kCmPerMetre / m.STOR[k] / c.dz(n));
    }
    const double r = -s * sub * kCmPerMetre;
    double mean = 0.0, taken = 0.0, last = 0.0;
    const int walked = walk(c, kk, -1, r, [&](int j) { return c.thetas(j) * c.dz(j); }, mean, taken, last);
    const bool past_top = kk - walked + 1 < 1;
    m.STOR[k] = past_top || taken > last ? mean : c.thetas(kk);
    return walked;
}

void richards_substep_storage(model_state& m, double& sub) {
    for (;;) {
        int most = 0;
        for (int k = 1; k <= m.ncells; ++k)
            if (solved(m, k)) most = std::max(most, substep_storage(m, k, sub));
        if (most <= 2 || sub <= kShortestSubstep) return;
        sub *= 0.5;
    }
}

// The unsaturated columns follow the new water table. The water they give
// up (cm, positive into the aquifer) is pending in gw_unsat_exchange; while
// time remains in the step it becomes a source over that time.
bool follow_water_table(model_state& m, double remaining, gw_solve& r) {
    vec1<double>& column = m.Adummy;  // new column water (cm), per cell
    for (int k = 1; k <= m.ncells; ++k) {
        if (!solved(m, k)) continue;
        const double before = richards_column_water(m, k) * kCmPerMetre;
        if (unsat_update_in_gw(m, k, column) != 0) return false;
        const double exchange = before - column[k];
        m.gw_unsat_exchange[k] += exchange;
        r.unsat_exchange += exchange;
        if (remaining > 0.0) {
            const double into = m.gw_unsat_exchange[k] / kCmPerMetre;  // m
            m.source[k] -= into / remaining;
            r.added += into * cell_area(m, k);
            m.gw_totals.unsat_into_gw += into * cell_area(m, k);
            m.gw_unsat_exchange[k] = 0.0;
        }
    }
    return true;
}

// ---- Picard iteration --------------------------------------------------

// The head system of a pass did not converge: the step, the residual
// reached and what to change.
bool refuse_unconverged(const model_state& m, double sub, const gw_system_solve& r) {
    const std::string step = date_time_text(m.time);
    if (r.not_a_number) {
        return refuse(format_text("Error: the groundwater heads of the step ending %s cannot be solved: the storage, "
                                  "sources and sinks, face transmissivities or head of cell %d are not all numbers.\n",
                                  step.c_str(), r.not_a_number));
    }
    return refuse(format_text(
        "Error: the groundwater heads of the step ending %s did not converge: after %ld conjugate-gradient "
        "iterations the water the heads leave unbalanced over the sub-step of %g s is %g m3 (%g %% of the "
        "%g m3 the aquifer holds), above the %g m3 allowed. Shorten GW_TIMESTEP, or look for cells whose "
        "conductivity or porosity differs from their neighbours' by many orders of magnitude.\n",
        step.c_str(), r.iterations, sub, r.residual, r.volume > 0.0 ? r.residual / r.volume * 100.0 : 0.0, r.volume,
        r.allowed));
}

void count(model_state& m, const gw_system_solve& r) {
    m.gw_counts.iterations += r.iterations;
    m.gw_counts.factorisations += r.factorisations;
}

double largest_change(const model_state& m) {
    double change = 0.0;
    for (int k = 1; k <= m.ncells; ++k) change = std::max(change, std::fabs(m.elevgw[k] - m.elevgw_iter1[k]));
    return change;
}

// False after a refusal (reported). Each pass solves its system only as
// far as the next pass's transmissivities need; the pass whose heads no
// longer move is solved on until it balances.
bool picard(model_state& m, double sub, bool richards) {
    for (int tries = 1;; ++tries) {
        if (tries >= kPicardWarnFrom) warn("GW IS NOT CONVERGING \n");
        for (int k = 1; k <= m.ncells; ++k) m.elevgw_iter1[k] = m.elevgw[k];
        fill_coefficients(m);
        gw_system_solve r = solve_head_system(m, sub);
        ++m.gw_counts.picard_tries;
        count(m, r);
        if (!r.converged) return refuse_unconverged(m, sub, r);
        double change = largest_change(m);
        if (!(change > kPicardTolerance) && !r.balanced) {
            r = balance_head_system(m, sub);
            count(m, r);
            if (!r.converged) return refuse_unconverged(m, sub, r);
            change = largest_change(m);
        }
        if (!(change > kPicardTolerance)) return true;
        if (tries >= kPicardMaxTries) {
            return refuse(format_text("Error: Non-convergence in the groundwater after %d tries.\n", kPicardMaxTries));
        }
        if (richards) {
            for (int k = 1; k <= m.ncells; ++k)
                if (solved(m, k)) m.STOR[k] = water_table_layer_value(m, k, m.elevgw_substep[k]);
        }
    }
}

}  // namespace

surface_exchange take_surface_exchange(model_state& m, int k) {
    gw_run_totals& t = m.gw_totals;
    surface_exchange x;
    if (m.storm_sewer_given) x.tile = take(m.vol_tile_grid, k);
    if (m.chan_lakes_on && k <= m.lake_source.n()) {
        x.lake = take(m.lake_source, k);
        (x.lake > 0.0 ? t.lakes_to_gw : t.gw_to_lakes) += std::fabs(x.lake);
    }
    if (m.chan_routing && k <= m.river_source.n()) {
        x.stream = take(m.river_source, k);
        (x.stream > 0.0 ? t.river_to_gw : t.gw_to_river) += std::fabs(x.stream);
    }
    t.tile_drains += x.tile;
    return x;
}

double water_table_layer_value(const model_state& m, int cell, double substep_head) {
    const column_view c = view_of(m, cell);
    const int kk = m.numcells[cell] - 1;
    if (m.elevgw[cell] > m.elev[cell]) return c.thetas(1);
    const double r = (m.elevgw[cell] - substep_head) * kCmPerMetre;
    if (r == 0.0) return c.thetas(kk);
    double mean = 0.0, taken = 0.0, last = 0.0;
    if (r > 0.0) {
        walk(c, kk, -1, r, [&](int j) { return c.dz(j); }, mean, taken, last);
        return c.dz(kk) >= taken ? c.thetas(kk) : mean;
    }
    // The node spacing at the water table: the layer it lies in, or the
    // aquifer's below the soil layers.
    const double* s = m.soil_class[static_cast<std::size_t>(m.soiltype[cell])].v;
    const double depth = (m.elev[cell] - m.elevgw[cell]) * kCmPerMetre;
    double spacing = c.deep_dz;
    double bottom = 0.0;
    for (int layer = 0; layer < 3; ++layer) {
        bottom += s[22 + layer];
        if (depth <= bottom) {
            spacing = s[31 + layer];
            break;
        }
    }
    walk(c, kk + 1, 1, -r, [&](int j) { return c.dz(j); }, mean, taken, last);
    return 1.5 * spacing >= taken + c.dz(kk) ? c.thetas(kk) : mean;
}

gw_solve gw_head_iterate(model_state& m, double dt) {
    if (m.well_table_given) update_well_rates(m, m.time);
    const bool richards = m.inf_richards_on && m.richards.built();
    gw_solve r;
    r.added = gather_sources(m, dt);

    double remaining = dt;
    double sub = dt;
    while (remaining > 0.0) {
        for (int k = 1; k <= m.ncells; ++k) m.elevgw_substep[k] = m.elevgw[k];
        if (richards) richards_substep_storage(m, sub);
        sub = std::min(sub, remaining);
        remaining -= sub;
        if (!picard(m, sub, richards)) return gw_solve{};
        // The face fluxes are those of the heads the system was solved for,
        // before the floor lifts any of them.
        book_fixed_head_flux(m, sub);
        book_beyond_porosity(m);
        hold_floor(m, sub);
        if (richards && !follow_water_table(m, remaining, r)) return gw_solve{};
    }
    return r;
}

double groundwater_volume(const model_state& m) {
    double v = 0.0;
    for (int k = 1; k <= m.ncells; ++k)
        v += (m.elevgw[k] - m.bottom_elev[k]) * m.gw_array_porosity[k] * m.DELX[k] * m.DELY[k];
    return v;
}

double groundwater_balance_error(const model_state& m) {
    // An aquifer that starts (almost) empty gives no percentage to speak of.
    constexpr double kLeastStartVolume = 1e-9;  // m3
    const double start = m.initial_gw_volume;
    if (!(start >= kLeastStartVolume)) return 0.0;
    const gw_run_totals& t = m.gw_totals;
    return (groundwater_volume(m) + t.beyond_porosity - start - t.sources - t.head_boundary - t.floor_added) / start *
           100.0;
}

}  // namespace kesta
