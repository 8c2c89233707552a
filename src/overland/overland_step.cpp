// The overland flow step of the time loop: edge boundary and pumps, depth
// checks, one routing call, outlet volume, flood maxima, erosion, lake
// bookkeeping, and the end-of-rain and long-term dry decisions.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_steps.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "overland/overland_faces.hpp"
#include "overland/overland_pumps.hpp"
#include "overland/overland_route.hpp"
#include "overland/overland_simd.hpp"
#include "overland/overland_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

using overland_detail::kFlowing;
using overland_detail::kWetDepth;
// Exponent of the normal-depth edge law: 1.666667, a shade above 5/3, kept so
// that results match earlier runs of the model.
constexpr double kEdgeExponent = 1.666667;

// The message of a depth (or a discharge or outlet volume) that is not a
// finite number, in cell `cell`.
std::string non_real_depth_message(int cell, const char* when) {
    return format_text("A non-real overland flow water depth has been detected in cell %d %s.\n"
                       "Check the inputs of that cell and its neighbours, or use a shorter time step "
                       "(TIMESTEP).\n",
                       cell, when);
}

// Scans the cells outside the lakes for water, flow and depths that are not
// numbers. Returns false, after the message and the reported code, at the
// first such depth. `flowing` receives the number of cells passing water and
// `counted` the cells it is a fraction of: every cell but the channel-lake
// cells (overland-lake cells are skipped but still counted). `known`, when
// given, holds the counts of every cell as they stand; `q_flowing`, when not
// negative, the number of cells passing water by the discharges as they
// stand, so that only the depths need a look.
bool scan_cells(model_state& m, const char* when, int& counted, int& flowing,
                const overland_detail::wet_flow_count* known = nullptr, int q_flowing = -1) {
    const int n = m.ncells;
    const int* olake = m.overland_lake_map_given && m.oland_lake_new.n() >= n ? m.oland_lake_new.data() : nullptr;
    const int* clake = m.chan_lakes_on && m.lake_num.n() >= n ? m.lake_num.data() : nullptr;
    const double* h = m.h.data();
    const double* qx = m.qx.data();
    const double* qy = m.qy.data();
    // The scan stops at the first depth that is not a number: the cells
    // before it are what it has seen.
    int first_bad = n + 1;
    int lake_cells = 0, wet = 0;
    flowing = 0;
    if (!olake && !clake) {
        // One pass counts every cell; in the rare case of a bad depth the
        // cells up to it are counted again.
        int bad = 0;
        if (known) {
            bad = known->bad;
            wet = known->wet;
            flowing = known->flowing;
        } else {
            overland_detail::found_by_team found;
            const bool with_q = q_flowing < 0;
            overland_detail::for_blocks(n, [&](int lo, int hi) {
                overland_detail::wet_flow_count c;
                overland_detail::wet_flow_counts(h, with_q ? qx : nullptr, with_q ? qy : nullptr, kWetDepth,
                                                 kFlowing, lo, hi, c);
                found.add({}, c);
            });
            const overland_detail::wet_flow_count c = found.counts();
            bad = c.bad;
            wet = c.wet;
            flowing = with_q ? c.flowing : q_flowing;
        }
        wet = wet > 0 ? 1 : 0;
        if (bad > 0) {
            first_bad = 1;
            while (std::isfinite(h[first_bad])) ++first_bad;
            wet = 0;
            flowing = 0;
            for (int i = 1; i <= first_bad; ++i) {
                if (h[i] > kWetDepth) wet = 1;
                if (std::fabs(qx[i]) > kFlowing || std::fabs(qy[i]) > kFlowing) ++flowing;
            }
        }
    } else {
        std::atomic<int> lowest_bad{first_bad};
        overland_detail::for_blocks(n, [&](int lo, int hi) {
            for (int i = lo; i <= hi; ++i) {
                if (!std::isfinite(h[i]) && !(olake && olake[i] > 0) && !(clake && clake[i] >= 1)) {
                    overland_detail::lower_to(lowest_bad, i);
                    break;
                }
            }
        });
        first_bad = lowest_bad.load();
        const int seen = std::min(first_bad, n);
        // Counts: bad, the lake cells; wet, the wet cells; flowing, as named.
        overland_detail::found_by_team found;
        overland_detail::for_blocks(seen, [&](int lo, int hi) {
            overland_detail::wet_flow_count c;
            for (int i = lo; i <= hi; ++i) {
                if (olake && olake[i] > 0) continue;
                if (clake && clake[i] >= 1) {
                    ++c.bad;
                    continue;
                }
                if (h[i] > kWetDepth) ++c.wet;
                if (std::fabs(qx[i]) > kFlowing || std::fabs(qy[i]) > kFlowing) ++c.flowing;
            }
            found.add({}, c);
        });
        const overland_detail::wet_flow_count c = found.counts();
        lake_cells = c.bad;
        wet = c.wet > 0 ? 1 : 0;
        flowing = c.flowing;
    }
    counted = n - lake_cells;
    if (wet) m.ov_wet = 1;
    if (flowing > 0) m.ov_flowing = 1;
    if (first_bad <= n) return refuse(non_real_depth_message(first_bad, when));
    return true;
}

// The first cell of 1..n that holds water or whose depth is not a finite
// number; n + 1 when there is none. Each block of cells stops at its first
// such cell: under rain, at once.
int first_wet_or_bad(const double* h, int n) {
    std::atomic<int> first{n + 1};
    overland_detail::for_blocks(n, [h, &first](int lo, int hi) {
        for (int i = lo; i <= hi; ++i) {
            if (!std::isfinite(h[i]) || h[i] > kWetDepth) {
                overland_detail::lower_to(first, i);
                break;
            }
        }
    });
    return first.load();
}

// The scan before the routing, with the search for depths that are not
// numbers left to the routing's first pass, which reads every depth anyway
// (m.ov_check_start): when the discharges are counted, no lake takes cells
// out of the count, and some cell holds water before any depth that is no
// number. Sets what scan_cells sets and returns true then; otherwise false,
// and scan_cells is to be made.
bool scan_left_to_routing(model_state& m, double dt, int& counted, int& flowing) {
    if (!(m.overtype >= 1 && m.overtype <= 3) || !(dt > 0.0) || !m.ov_route_counted || m.chan_lakes_on ||
        m.overland_lake_map_given) {
        return false;
    }
    const int n = m.ncells;
    const int first = first_wet_or_bad(m.h.data(), n);
    if (first > n || !std::isfinite(m.h[first])) return false;
    counted = n;
    flowing = m.ov_route_flowing;
    m.ov_wet = 1;
    if (flowing > 0) m.ov_flowing = 1;
    m.ov_check_start = 1;
    return true;
}

// The depths after routing and the outlet volume of the step are finite
// numbers; otherwise the message, the reported code and false. A face
// discharge that is not a finite number leaves such a depth on its cells, so
// one pass over the depths, every routing step, finds it too (unless the
// routing counted them in `known`).
bool routing_left_reals(model_state& m, double outlet_volume, const overland_detail::wet_flow_count* known) {
    const double* h = m.h.data();
    const int n = m.ncells;
    bool finite = std::isfinite(outlet_volume) && !(known && known->bad > 0);
    if (!known) {
        overland_detail::found_by_team found;  // flag 0: a depth that is no finite number
        overland_detail::for_blocks(n, [h, &found](int lo, int hi) {
            bool bad = false;
            for (int i = lo; i <= hi; ++i) bad = bad || !std::isfinite(h[i]);
            found.add({bad});
        });
        finite = finite && !found.flag(0);
    }
    if (finite) return true;
    int bad = 1;
    while (bad < m.ncells && std::isfinite(h[bad])) ++bad;
    if (std::isfinite(h[bad])) bad = m.outlet_cell;
    return refuse(non_real_depth_message(bad, "after overland flow routing"));
}

// In a long-term run a dry overland waits for the next event: its clock
// jumps to the event's start, and the soil clocks fall back to the
// hydrometeorological interval (or the groundwater interval).
void switch_to_dry(model_state& m) {
    m.overland_active = 0;
    const double next = next_event_start(m);  // no later event: never due again
    m.ov_next_time = next;
    m.ov_last_time = next - m.ov_interval;
    m.q_out = 0.0;

    if (!(m.inf_richards_on || m.gw_simulation || m.inf_redist_on)) return;
    set_clock_interval(m.inf_interval_sec, m.inf_interval, m.hmet_interval_sec);
    m.inf_next = m.hmet_next;
    m.soil_et_next = m.inf_next;
    if (m.soil_con_trans) m.soil_con_next = m.inf_next;
    m.soil_et_interval_sec = m.inf_interval_sec;
    m.soil_et_interval = m.inf_interval;
    if (!m.gw_simulation) return;
    // The groundwater clock restarts at its own step unless the event keeps
    // it running with the channel.
    if (!m.chan_active_in_event) {
        set_clock_interval(m.gw_interval_sec, m.gw_interval, m.gw_timestep);
        m.gw_next = m.time;
        if (m.inf_interval_sec > m.gw_timestep && m.hmet_next < m.gw_next) m.gw_next = m.hmet_next;
    }
    m.inf_interval_sec = m.gw_interval_sec;
    m.inf_interval = m.gw_interval;
    m.inf_next = m.time + m.inf_interval;
}

}  // namespace

bool in_channel_lake(const model_state& m, int k) {
    return m.chan_lakes_on && k <= m.lake_num.n() && m.lake_num[k] >= 1;
}

bool in_overland_lake(const model_state& m, int k) {
    return m.overland_lake_map_given && k <= m.oland_lake_new.n() && m.oland_lake_new[k] > 0;
}

surface_water surface_storage(const model_state& m) {
    surface_water w;
    const double area = m.gridsize * m.gridsize;
    for (int k = 1; k <= m.ncells; ++k) {
        if (in_channel_lake(m, k)) continue;
        const int lake = m.overland_lake_map_given && k <= m.oland_lake_new.n() ? m.oland_lake_new[k] : 0;
        if (lake > 0 && static_cast<std::size_t>(lake) < m.oland_lakes.size()) {
            const double v = (m.oland_lakes[static_cast<std::size_t>(lake)].level - value_at(m.elev, k)) * area;
            w.total += v;
            w.in_overland_lakes += v;
        } else {
            const double v = value_at(m.h, k) * area;
            w.total += v;
            w.on_ground += v;
        }
        if (k <= m.snowdepth.n()) w.snow += m.snowdepth[k] * area;
    }
    return w;
}

double outlet_discharge(double h, double n, double slope, double dx, double exponent) {
    if (!(h > 0.0)) return 0.0;
    return (1.0 / n) * std::pow(h, exponent) * std::sqrt(slope) * dx;
}

void ov_boundary_ts(int ncells, const vec1<double>& boundary_val, const vec1<int>& boundary_type,
                    vec1<double>& boundary_temp, double time) {
    const int n = std::min({ncells, boundary_val.n(), boundary_type.n(), boundary_temp.n()});
    for (int i = 1; i <= n; ++i) {
        if (boundary_type[i] != 3) continue;
        boundary_temp[i] = ts_value_by_index(static_cast<int>(boundary_val[i]), time);
    }
}

void ov_boundary_outflow(model_state& m, double dt) {
    if (!m.ov_boundary) return;
    const int n = std::min({m.ncells, m.boundary_type.n(), m.boundary_val.n(), m.boundary_temp.n()});
    const double dx = m.gridsize;
    const double area = dx * dx;
    double out = 0.0, fixed_in = 0.0, fixed_out = 0.0;
    for (int i = 1; i <= n; ++i) {
        double& h = m.h[i];
        const int type = m.boundary_type[i];
        if (type == 1) {
            const int open_sides = (m.rightcon[i] == 0) + (m.leftcon[i] == 0) +
                                   (m.abovecon[i] == 0) + (m.belowcon[i] == 0);
            const double slope = m.boundary_val[i];
            if (open_sides == 0 || !(h > 0.0) || !(slope > 0.0)) continue;
            // One share leaves the cell; the test keeps every open side's
            // share within the depth.
            const double share =
                outlet_discharge(h, m.dist_rough[i], slope, dx, kEdgeExponent) * dt / area;
            if (open_sides * share <= h) {
                h -= share;
                out += share * area;
            } else {
                out += h * area;
                h = 0.0;
            }
        } else if (type == 2 || type == 3) {
            const double level = type == 2 ? m.boundary_val[i] : m.boundary_temp[i];
            const double target = std::max(0.0, level - m.elev[i]);
            const double change = (target - h) * area;
            if (change >= 0.0) fixed_in += change;
            else fixed_out -= change;
            h = target;
        }
    }
    book_water(m, water_flow::boundary_outflow, out);
    book_water(m, water_flow::boundary_fixed_inflow, fixed_in);
    book_water(m, water_flow::boundary_fixed_outflow, fixed_out);
}

void track_max(const vec1<double>& depths, vec1<double>& maxima, int ncells) {
    const int n = std::min({ncells, depths.n(), maxima.n()});
    for (int i = 1; i <= n; ++i) {
        if (maxima[i] < depths[i]) maxima[i] = depths[i];
    }
}

void step_overland_flow(model_state& m) {
    if (!clock_due(m.ov_next_time, m.time, m.time_tol)) return;
    const double dt = (m.time - m.ov_last_time) * kSecondsPerDay;
    m.ov_flowing = 0;
    m.ov_wet = 0;
    // The arrays, neighbours and wetland records are made at set-up and
    // checked once in the run.
    if (!m.ov_inputs_checked) {
        if (!overland_detail::overland_arrays_ready(m) || !overland_detail::neighbours_in_range(m) ||
            !check_wetland_roughness(m)) {
            return;
        }
        m.ov_inputs_checked = 1;
    }

    if (m.ov_boundary) {
        ov_boundary_ts(m.ncells, m.boundary_val, m.boundary_type, m.boundary_temp, m.time);
        if (g_error_record.stop) return;  // a level series is missing
        ov_boundary_outflow(m, dt);
    }
    if (m.project_options.ov_pump_given) apply_overland_pumps(m.h, dt, m.time, m.gridsize);

    int counted = 0, flowing = 0;
    // Only the routing writes the discharges: what it counted of them holds
    // until it runs again.
    const int q_flowing = m.ov_route_counted ? m.ov_route_flowing : -1;
    const char* const before_routing = "after applying overland boundary conditions and overland pumping";
    m.ov_check_start = 0;
    if (!scan_left_to_routing(m, dt, counted, flowing) &&
        !scan_cells(m, before_routing, counted, flowing, nullptr, q_flowing)) {
        return;
    }
    // Every cell may be a lake cell: then nothing is counted and nothing flows.
    const double flowing_fraction = counted > 0 ? static_cast<double>(flowing) / counted : 0.0;

    m.q_out = 0.0;
    // The counts the routing made of what it left, while nothing has
    // changed the depths and discharges since.
    overland_detail::wet_flow_count route_counts;
    const overland_detail::wet_flow_count* known = nullptr;
    // Classes carried as constituents move with the constituents instead.
    const bool erodes = flowing_fraction > kFlowing && m.ov_sed && m.sed_as_constituents != 2;
    if (m.ov_wet && dt > 0.0) {
        if (erodes) wake_erosion_team(m, dt);
        const double volume =
            m.overtype == 1 ? explicit_overland_route(m, dt) : ade_overland_route(m, dt);
        if (g_error_record.stop) return;  // the scheme has stopped the run
        // A depth at the start that is no number, found by the routing
        // before it moved any: the scan names it.
        if (m.ov_start_bad > 0) {
            m.ov_start_bad = 0;
            m.ov_wet = 0;
            m.ov_flowing = 0;
            scan_cells(m, before_routing, counted, flowing, nullptr, q_flowing);
            return;
        }
        if (m.ov_route_counted) {
            route_counts = {m.ov_route_bad, m.ov_route_wet, m.ov_route_flowing};
            known = &route_counts;
        }
        if (!routing_left_reals(m, volume, known)) return;
        m.q_out = volume;
        if (m.flood_grid_given) track_max(m.h, m.h_max_flood, m.ncells);
        m.ade_sweep_order = m.ade_sweep_order == 1 ? 2 : 1;
        if (m.chan_routing == 0) {
            m.discharge_volume_sum += volume;
            m.discharge_volume_run += volume;
            if (m.ov_con_trans) m.discharge_volume_contam += volume;
            m.q_out = volume / dt;
        }
    }

    // The sediment that leaves the grid is that of this step only.
    if (m.ov_sed) m.ov_sed->sed_out_vol = 0.0;
    if (erodes) {
        overland_sediment_transport(m, dt);
        known = nullptr;
        if (g_error_record.stop) return;
    }

    if (m.overland_lake_map_given) m.olake_update_due = 1;

    if (m.chan_lakes_on) {
        const int lakes = std::min({m.nlakes, m.lake_in_dv.n(), m.lake_out_dv.n()});
        for (int k = 1; k <= lakes; ++k) {
            m.lake_total_in_from_overland += m.lake_in_dv[k];
            m.volume_overland_to_lake += m.lake_in_dv[k];
            m.lake_total_out_to_overland += m.lake_out_dv[k];
            m.volume_overland_from_lake += m.lake_out_dv[k];
            m.lake_in_dv[k] = 0.0;
            m.lake_out_dv[k] = 0.0;
        }
    }

    advance_interval_clock(m.ov_last_time, m.ov_next_time, m.time, m.ov_interval);

    if (m.raining) return;

    m.ov_wet = 0;
    m.ov_flowing = 0;
    if (!scan_cells(m, "after overland flow routing", counted, flowing, known)) return;

    if (!m.long_term && !m.ov_wet && !m.htp && m.chan_routing == 1) {
        m.final_volume_in_channels = channel_storage(m);
        if (m.final_volume_in_channels < 0.0001 * m.volume_rainfall_overland) {
            if (!m.super_quiet) std::printf("Rainfall for this event has ended.\n");
            if (m.summary_fp) {
                std::fputs("Rainfall for this event ended. Runoff is complete\n", m.summary_fp.get());
                std::fflush(m.summary_fp.get());
            }
            m.event_active = 0;
            m.event_done = 1;
            m.running = 0;
        }
    }

    if (m.long_term && !m.gw_exfiltration && !m.project_options.ov_pump_given && !m.overbank_flow &&
        !(m.ov_wet && m.ov_flowing)) {
        switch_to_dry(m);
    }
}

}  // namespace kesta
