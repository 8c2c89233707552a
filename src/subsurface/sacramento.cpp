// The Sacramento soil-moisture accounting: once an hour the water that
// infiltrated anywhere in the basin enters one set of upper and lower zone
// stores; evapotranspiration, percolation, interflow and baseflow move it
// on, and the outflow is handed to the channels over the next hour.
//
// Water bookkeeping: the infiltrated water leaves the event balance's
// surface terms and enters these stores; until the next interval it waits
// as "pending" infiltration, and the outflow waits "in transit" until the
// channel steps have taken it. Both count as stored water
// (sacramento_storage_volume), so the event balance closes at any moment.
// An interval's outflow that no channel step took (the channels wait
// between the events of a long-term run) leaves the basin unrouted at the
// next interval: it is booked as outlet discharge.
#include "subsurface/sacramento.hpp"

#include <algorithm>
#include <cmath>

#include "core/interval_clock.hpp"
#include "model/model_state.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kMmPerMetre = 1000.0;
constexpr double kIncrementDepth = 5.0;       // mm of upper free water and excess per increment
constexpr double kIncrementRounding = 1.00001;
constexpr double kPercolationFloor = 0.01;    // mm of upper free water and input below which nothing percolates

// Evapotranspiration from the upper zone: the tension water in proportion to
// its fullness, and what a demand beyond its capacity leaves from the free
// water.
double upper_zone_evaporation(sacramento_params& p, double demand) {
    double e1 = demand * p.uztwc / p.uztwm;
    const double held = p.uztwc;
    p.uztwc -= e1;
    if (p.uztwc >= 0.0) return e1;
    e1 = held;
    p.uztwc = 0.0;
    const double rest = demand - e1;
    const double e2 = std::min(p.uzfwc, rest);
    p.uzfwc -= e2;
    return e1 + e2;
}

// Tension water is never relatively drier than free water of the same zone:
// the upper zone shares its water in proportion to the capacities, and the
// lower zone's tension store is refilled from the supplementary store.
void balance_zones(sacramento_params& p) {
    if (p.uzfwc / p.uzfwm >= p.uztwc / p.uztwm) {
        const double ratio = (p.uztwc + p.uzfwc) / (p.uztwm + p.uzfwm);
        p.uztwc = p.uztwm * ratio;
        p.uzfwc = p.uzfwm * ratio;
    }
    const double ratio =
        (p.lzfpc + p.lzfsc + p.lztwc - p.saved) / (p.lzfpm + p.lzfsm + p.lztwm - p.saved);
    const double tension = p.lztwc / p.lztwm;
    if (ratio < tension) return;
    const double moved = (ratio - tension) * p.lztwm;
    p.lztwc += moved;
    p.lzfsc -= moved;
    if (p.lzfsc < 0.0) {
        p.lzfpc += p.lzfsc;
        p.lzfsc = 0.0;
    }
}

// Percolated water: the tension store first (but for the pfree share), the
// rest between the free stores by their relative deficits. The primary
// store takes at most all of it, and what overfills it goes to the tension
// store, or to the supplementary store when the tension store is full, so
// no store passes its capacity.
void distribute_percolation(sacramento_params& p, double perc) {
    double to_free = 0.0;
    const double to_tension = perc * (1.0 - p.pfree);
    if (p.lztwc + to_tension > p.lztwm) {
        to_free = p.lztwc + to_tension - p.lztwm;
        p.lztwc = p.lztwm;
    } else {
        p.lztwc += to_tension;
    }
    to_free += perc * p.pfree;
    if (!(to_free > 0.0)) return;
    const double primary_share = p.lzfpm / (p.lzfpm + p.lzfsm);
    const double primary_deficit = 1.0 - p.lzfpc / p.lzfpm;
    const double supplementary_deficit = 1.0 - p.lzfsc / p.lzfsm;
    const double deficits = primary_deficit + supplementary_deficit;
    const double fracp =
        deficits > 0.0 ? std::min(1.0, 2.0 * primary_share * primary_deficit / deficits) : 1.0;
    double to_supplementary = to_free * (1.0 - fracp);
    p.lzfsc += to_supplementary;
    if (p.lzfsc > p.lzfsm) {
        to_supplementary -= p.lzfsc - p.lzfsm;
        p.lzfsc = p.lzfsm;
    }
    p.lzfpc += to_free - to_supplementary;
    if (p.lzfpc > p.lzfpm) {
        // The tension store takes the overflow; what it has no room for goes
        // to the supplementary store (the deficiency check left room).
        double excess = p.lzfpc - p.lzfpm;
        p.lzfpc = p.lzfpm;
        const double to_tension = std::min(excess, std::max(0.0, p.lztwm - p.lztwc));
        p.lztwc += to_tension;
        excess -= to_tension;
        p.lzfsc += excess;
    }
}

// Input to the upper free water; what the full store cannot take runs off.
double fill_upper_free(sacramento_params& p, double input) {
    const double room = p.uzfwm - p.uzfwc;
    if (room < input) {
        p.uzfwc = p.uzfwm;
        return input - room;
    }
    p.uzfwc += input;
    return 0.0;
}

}  // namespace

sacramento_fluxes sacramento_step(sacramento_params& p, double demand, double input) {
    sacramento_fluxes f;
    const double before = p.storage();
    f.evaporation = upper_zone_evaporation(p, demand);
    balance_zones(p);

    double excess = input - (p.uztwm - p.uztwc);  // beyond the upper tension store
    if (excess <= 0.0) {
        p.uztwc += input;
        excess = 0.0;
    } else {
        p.uztwc = p.uztwm;
    }

    const int ninc = static_cast<int>((p.uzfwc + excess) / kIncrementDepth + kIncrementRounding);
    const double dinc = 1.0 / ninc;
    const double pinc = excess * dinc;
    const double duz = ninc > 1 ? 1.0 - std::pow(1.0 - p.uzk, dinc) : p.uzk;
    const double dlzp = ninc > 1 ? 1.0 - std::pow(1.0 - p.lzpk, dinc) : p.lzpk;
    const double dlzs = ninc > 1 ? 1.0 - std::pow(1.0 - p.lzsk, dinc) : p.lzsk;
    const double lower_capacity = p.lzfpm + p.lzfsm + p.lztwm;
    const double perc_base = p.lzfpm * p.lzpk + p.lzfsm * p.lzsk;  // mm per interval

    for (int i = 0; i < ninc; ++i) {
        const double primary = p.lzfpc * dlzp, supplementary = p.lzfsc * dlzs;
        p.lzfpc -= primary;
        p.lzfsc -= supplementary;
        f.baseflow += primary + supplementary;
        if (pinc + p.uzfwc <= kPercolationFloor) {
            f.surface += fill_upper_free(p, pinc);
            continue;
        }
        const double deficit = std::max(0.0, (lower_capacity - p.lzfpc - p.lzfsc - p.lztwc) / lower_capacity);
        double perc = p.uzfwc / p.uzfwm * perc_base * dinc * (1.0 + p.zperc * std::pow(deficit, p.rexp));
        perc = std::min(perc, p.uzfwc);
        p.uzfwc -= perc;
        // The lower zone takes no more than its deficiency, whether or not the
        // demand emptied the upper free water; the rest stays there.
        const double check = p.lzfpc + p.lzfsc + p.lztwc + perc - lower_capacity;
        if (check > 0.0) {
            perc -= check;
            p.uzfwc += check;
        }
        f.percolation += perc;
        const double interflow = p.uzfwc * duz;
        f.interflow += interflow;
        p.uzfwc -= interflow;
        distribute_percolation(p, perc);
        if (pinc > 0.0) f.surface += fill_upper_free(p, pinc);
    }
    p.residual += before - p.storage() + input - f.evaporation - f.outflow();
    return f;
}

void step_sacramento(model_state& m) {
    if (!m.sacramento_given || !clock_due(m.sacramento_next, m.time, m.time_tol)) return;
    sacramento_state& s = m.sac;
    advance_interval_clock(s.last_time, m.sacramento_next, m.time, m.sacramento_interval);

    const double to_volume = m.watershed_area / kMmPerMetre;  // mm over the basin to m3
    // The evapotranspiration of the last weather hour (cm over the basin).
    const double demand = std::max(0.0, m.basin_aet_depth * 10.0);
    const double input = (m.sac_infil_depth - s.infil_depth_taken) / m.ncells * kMmPerMetre;
    s.infil_depth_taken = m.sac_infil_depth;
    s.input += input;
    s.volume_infil_water_sac_recieves += input * to_volume;

    const sacramento_fluxes f = sacramento_step(s.p, demand, input);
    s.demand += demand;
    s.evaporation += f.evaporation;
    s.volume_evaporation += f.evaporation * to_volume;
    s.outflow += f.outflow();

    const double volume = f.outflow() * to_volume;
    s.volume_base_flow_sacramento += volume;
    // Only the channel step takes the outflow; without channels the outflow
    // has no receiver, and the event balance books the infiltrated water as
    // leaving the surface instead.
    if (m.chan_routing == 1 || m.chan_alt_routing == 1) {
        if (!s.channels_ran) {
            m.discharge_volume_sum += s.in_transit;
            m.discharge_volume_run += s.in_transit;
            s.in_transit = 0.0;
        }
        s.channels_ran = false;
        s.in_transit += volume;
        s.baseflow_q = s.in_transit / m.sacramento_interval_sec;
    } else {
        s.baseflow_q = volume / m.sacramento_interval_sec;
    }
}

double sacramento_storage_volume(const model_state& m) {
    const sacramento_state& s = m.sac;
    const double pending = (m.sac_infil_depth - s.infil_depth_taken) * m.gridsize * m.gridsize;
    return s.p.storage() * m.watershed_area / kMmPerMetre + pending + s.in_transit;
}

double sacramento_et_volume(const model_state& m) {
    return m.sac.volume_evaporation - m.sac.evaporation_at_event_start;
}

double sacramento_event_infiltration(const model_state& m) {
    return m.sac.volume_infil_water_sac_recieves - m.sac.infil_at_event_start;
}

double sacramento_event_base_flow(const model_state& m) {
    return m.sac.volume_base_flow_sacramento - m.sac.base_flow_at_event_start;
}

void sacramento_open_event_books(model_state& m) {
    sacramento_state& s = m.sac;
    s.infil_at_event_start = s.volume_infil_water_sac_recieves;
    s.base_flow_at_event_start = s.volume_base_flow_sacramento;
    s.evaporation_at_event_start = s.volume_evaporation;
}

void sacramento_start_event(model_state& m) {
    // What is on its way now is the event's channels' to take.
    m.sac.channels_ran = true;
}

}  // namespace kesta
