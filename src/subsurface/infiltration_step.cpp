// The infiltration step of the time loop: the one infiltration method of the
// run, exfiltration where the water table has reached the ground, and the
// infiltrated-depth and volume totals that the summaries, the Sacramento
// step, the soil accounting and the constituent code read.
#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/green_ampt.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

enum class method { none, redistribution, green_ampt, layered, richards };

constexpr double kSecondsPerHour = 3600.0;
constexpr double kDry = 1e-16;  // m; a shallower cell holds no water
constexpr double kCmPerHourToMetresPerSecond = 360000.0;  // divide by it
constexpr double kCmPerMetre = 100.0;

method run_method(const model_state& m) {
    if (m.inf_redist_on) return method::redistribution;
    if (m.green_ampt_on) return method::green_ampt;
    if (m.inf_layered_on) return method::layered;
    if (m.inf_richards_on) return method::richards;
    return method::none;
}

// Depth (m) that the head difference drives up through the soil of cell k
// over dt seconds: positive when the water table stands above the ground
// and its water. A method whose soil has no thickness to drive it through
// (an unset depth) passes nothing.
double gradient_depth(model_state& m, method how, int k, double rise, double dt) {
    switch (how) {
    case method::redistribution: {
        const double depth = m.soil_moist_depth / kCmPerMetre;
        return depth > 0.0 ? rise * value_at(m.ks_map, k) / depth * dt : 0.0;
    }
    case method::layered: {
        const double* s = k <= m.soiltype.n() ? soil_class_of(m, k) : nullptr;
        if (!s) return 0.0;
        const double depth = s[22] + s[23];  // cm, layers 1 and 2
        m.soil_moist_depth = depth;
        return depth > 0.0 ? rise * s[4] / depth * (dt / kSecondsPerHour) : 0.0;
    }
    case method::richards:
        if (m.gw_simulation)
            return m.gw_interval_sec > 0.0 ? rise * dt / m.gw_interval_sec * value_at(m.STOR, k) : 0.0;
        return value_at(m.totaldz, k) > 0.0
                   ? rise * value_at(m.avgks, k) / m.totaldz[k] * dt / kSecondsPerHour
                   : 0.0;
    default:
        return 0.0;
    }
}

// Groundwater leaves the ground in the cells where the water table has
// reached it; with groundwater simulation a cell whose water stands above the
// table leaks to it instead. The surface never gives more than it holds.
void exfiltrate(model_state& m, method how, double dt) {
    if (!m.any_exfil) return;
    const double area = m.gridsize * m.gridsize;
    const bool richards = how == method::richards;
    const bool constituents = m.ov_con_trans || m.soil_con_trans;
    const int n = m.ncells < m.yes_exfil.n() ? m.ncells : m.yes_exfil.n();
    for (int k = 1; k <= n; ++k) {
        if (richards ? m.yes_exfil[k] != 1 : m.yes_exfil[k] < 1) continue;
        if (in_overland_lake(m, k)) continue;
        if (!richards && in_channel_lake(m, k)) continue;
        if (k > m.h.n() || k > m.elevgw.n() || k > m.elev.n()) continue;

        double& h = m.h[k];
        const double rise = m.elevgw[k] - (m.elev[k] + h);  // m
        double exfil_depth = 0.0;
        if (m.gw_simulation) {
            exfil_depth = rise > 0.0 ? gradient_depth(m, how, k, rise, dt)
                                     : -m.gw_leakage_rate / kCmPerHourToMetresPerSecond * dt;
        } else {
            exfil_depth = gradient_depth(m, how, k, rise, dt);
            if (!richards && exfil_depth < 0.0) exfil_depth = 0.0;
        }
        if (-exfil_depth <= h) {
            h += exfil_depth;
        } else {
            exfil_depth = -h;
            h = 0.0;
        }
        if (k <= m.exfiltrate.n()) m.exfiltrate[k] += exfil_depth;
        book_water(m, water_flow::exfiltration, exfil_depth * area);
        if (constituents) book_exfiltrated_water(m, k, exfil_depth * area, richards);
    }
}

// Richards: the evaporation of the step joins the soil and run totals, and
// the surface moisture follows the top of each column.
void richards_evaporation(model_state& m, double evaporated) {
    const double area = m.gridsize * m.gridsize;
    m.soil_et_step_depth = evaporated;
    m.volume_of_total_evaporation += evaporated * area;
    m.soil_et_volume += evaporated * area;
    richards_surface_moisture(m);
}

// The depth each cell took in since the last step moves into the totals.
void book_infiltration(model_state& m) {
    if (m.infdep.empty()) return;
    const double area = m.gridsize * m.gridsize;
    const int n = m.ncells < m.infdep_prev.n() ? m.ncells : m.infdep_prev.n();
    const bool maps = m.infdep_all.n() >= n;
    const bool accounting = m.soil_et_accounting && m.sm_inf_depth.n() >= n;
    double volume = 0.0;
    for (int k = 1; k <= n && k <= m.infdep.n(); ++k) {
        const double dF = m.infdep[k] - m.infdep_prev[k];
        volume += dF * area;
        if (maps) m.infdep_all[k] += dF;
        if (m.sacramento_given) m.sac_infil_depth += dF;
        if (accounting) m.sm_inf_depth[k] += dF;
        if (m.ov_con_trans) book_infiltrated_water(m, k, dF * area);
        m.infdep_prev[k] = m.infdep[k];
    }
    book_water(m, water_flow::infiltration, volume);
}

// Water standing on a cell outside the lakes, which the soil still has to
// take in.
bool surface_wet(const model_state& m) {
    const int n = m.ncells < m.h.n() ? m.ncells : m.h.n();
    for (int k = 1; k <= n; ++k)
        if (m.h[k] > kDry && !in_overland_lake(m, k) && !in_channel_lake(m, k)) return true;
    return false;
}

// Between events of a run with soil accounting, once the surface is dry and
// nothing exfiltrates, the soil waits for the next event and takes its first
// step one time step after the event begins. After the last event it waits
// for good. Water left on the surface keeps the soil working: no step marks
// it pending yet, and an event whose rain has stopped is no longer active.
void defer_between_events(model_state& m) {
    if (!m.soil_et_accounting || m.water_pending || m.any_exfil || m.event_active) return;
    if (surface_wet(m)) return;
    const double next = next_event_start(m);
    m.inf_next = next == kParkedTime ? kParkedTime : next + m.dt_days;
    if (m.inf_redist_on) m.redist_event_init = 0;
}

}  // namespace

bool any_infiltration(const model_state& m) {
    return run_method(m) != method::none;
}

double* soil_class_of(model_state& m, int k) {
    const int c = k <= m.soiltype.n() ? m.soiltype[k] : 0;
    if (c < 0 || static_cast<std::size_t>(c) >= m.soil_class.size()) return nullptr;
    return m.soil_class[static_cast<std::size_t>(c)].v;
}

const double* soil_class_of(const model_state& m, int k) {
    return soil_class_of(const_cast<model_state&>(m), k);
}

double soil_stores_depth(const model_state& m, int k) {
    if (!m.inf_layered_on) return m.soil_moist_depth;
    const double* s = soil_class_of(m, k);
    return s ? s[22] + s[23] : 0.0;
}

void step_infiltration(model_state& m) {
    if (!clock_due(m.inf_next, m.time, m.time_tol)) return;
    const double dt = (m.time - m.inf_last) * kSecondsPerDay;

    const method how = run_method(m);
    double evaporated = 0.0;
    switch (how) {
    case method::redistribution:
        green_ampt_redist(m, dt);
        ++m.gar_step_count;
        break;
    case method::green_ampt:
        green_ampt_infil(m, dt);
        break;
    case method::layered:
        green_ampt_multilayer(m, dt);
        break;
    case method::richards:
        evaporated = richards_unsat_step(m, dt);
        break;
    case method::none:
        break;
    }
    if (how != method::green_ampt && how != method::none) exfiltrate(m, how, dt);
    if (how == method::richards) richards_evaporation(m, evaporated);
    book_infiltration(m);

    advance_interval_clock(m.inf_last, m.inf_next, m.time, m.inf_interval);
    defer_between_events(m);
}

}  // namespace kesta
