// Between the end-of-event decision and the model's state: the grids traded
// with the ecological model through the exchange folder, the clock's move to
// the next event, the cross-sections after bed change; and at start-up the
// exchange grids, the head boundary and the initial per-cell state.
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_steps.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "input/time_series.hpp"
#include "model/event_steps.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "output/grid_writers.hpp"
#include "output/output_registry.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kTiny = 1e-16;
// Saturated conductivity: the model holds m/s, the ecological model cm/h.
constexpr double kMetresPerSecondToCmPerHour = 360000.0;
constexpr double kDefaultRoughness = 0.04;
// Land-management day numbers count from 1:00 on 31 December of the year
// before the current date's.
constexpr int kDayNumberHour = 1;

// An exchange file written as a whole at every event end, in the exchange
// folder and never numbered; `card` names it.
output_request exchange_output(const char* card, const std::string& path) {
    output_request request;
    request.words = std::string("card ") + card;
    request.name = path;
    request.group = output_group::written_whole;
    request.what = "exchange file";
    request.add_run_number = 0;
    return request;
}

// Writes one exchange grid; false after the message when the file cannot be
// opened or written.
bool write_exchange_grid(model_state& m, const char* card, const std::string& path, const vec1<double>& values,
                         const char* message) {
    if (!grid_finite(m, values, "the exchange value", path)) return false;
    const opened_output o = open_output(m, exchange_output(card, path));
    if (o.refused) return false;
    if (!o.fp) {
        store_refusal(format_text(message, path.c_str()));
        return false;
    }
    write_grass_ascii_grid(o.fp, m.mask, m.north, m.south, m.east, m.west, m.grid_rows, m.grid_cols, values);
    return close_output(m, o.fp);
}

// Reads one exchange grid into the mask cells of `dest`; false after the
// message when the file cannot be opened or the grid not read.
bool read_exchange_grid(model_state& m, std::string path, vec1<double>& dest, const char* message) {
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        store_refusal(format_text(message, path.c_str()));
        return false;
    }
    if (dest.n() < m.ncells) dest = vec1<double>(m.ncells);
    if (!read_real_map(m, fp.get(), path, dest)) {
        if (g_error_record.code == 0) g_error_record.fail(4000);
        return false;
    }
    return true;
}

bool write_to_grids(model_state& m) {
    if (m.moist_to_olma_given &&
        !write_exchange_grid(m, "MOIST_TO_OLMA", m.moist_to_olma, m.infdep_all,
                             "Can't open soil moisture exchange file %s for writing\n"))
        return false;
    if (m.rough_to_olma_given &&
        !write_exchange_grid(m, "ROUGH_TO_OLMA", m.rough_to_olma, m.dist_rough,
                             "Can't open roughness exchange file %s for writing\n"))
        return false;
    if (m.ksat_to_olma_given) {
        vec1<double> scratch(m.ncells);
        for (int k = 1; k <= m.ncells && k <= m.ks_map.n(); ++k)
            scratch[k] = m.ks_map[k] * kMetresPerSecondToCmPerHour;
        if (!write_exchange_grid(m, "KSAT_TO_OLMA", m.ksat_to_olma, scratch,
                                 "Can't open Ksat exchange file %s for writing\n"))
            return false;
    }
    if (m.poros_to_olma_given &&
        !write_exchange_grid(m, "POROS_TO_OLMA", m.poros_to_olma, m.phi_map,
                             "Can't open porosity exchange file %s for writing\n"))
        return false;
    return true;
}

bool write_olma_event_file(model_state& m) {
    const opened_output o = open_output(m, exchange_output("OLMA", m.olma));
    if (o.refused) return false;
    if (!o.fp) {
        store_refusal("unable to open olma exchange file for writing\n");
        return false;
    }
    if (!has_next_event(m)) {
        std::fprintf(o.fp, "999 999\n");
    } else {
        std::fprintf(o.fp, "%3d %3d\n", olma_day_number(m.time, m.year), olma_day_number(next_event_start(m), m.year));
    }
    return close_output(m, o.fp);
}

void correct_moisture(model_state& m) {
    for (int k = 1; k <= m.ncells && k <= m.thi.n(); ++k) {
        const double phi = k <= m.phi_map.n() ? m.phi_map[k] : 0.0;
        const double thr = k <= m.thr_map.n() ? m.thr_map[k] : 0.0;
        double& thi = m.thi[k];
        if (m.long_term) {
            if (thi > phi) thi = thr + 0.99 * (phi - thr);
            else if (thi <= thr) thi = thr + 0.01 * (phi - thr);
        } else {
            if (thi > phi) thi = 0.99 * phi;
            else if (thi < 0.1) thi = 0.1;
        }
    }
}

// Reads the grids the ecological model sends back. `prefix` starts each
// message ("1 " at start-up, "2 " at an event end).
bool read_from_grids(model_state& m, const std::string& prefix, bool limit_values) {
    if (m.moist_from_olma_given) {
        const std::string msg = prefix + "Can't open soil moisture exchange file %s for reading\n";
        if (!read_exchange_grid(m, m.moist_from_olma, m.thi, msg.c_str())) return false;
        if (limit_values) correct_moisture(m);
    }
    if (m.rough_from_olma_given) {
        const std::string msg = prefix + "Can't open roughness exchange file %s for reading\n";
        if (!read_exchange_grid(m, m.rough_from_olma, m.dist_rough, msg.c_str())) return false;
        if (limit_values)
            for (int k = 1; k <= m.ncells; ++k)
                if (m.dist_rough[k] <= 0.0) m.dist_rough[k] = kDefaultRoughness;
        m.ov_inv_rough_ready = 0;
    }
    if (m.ksat_from_olma_given) {
        const std::string msg = prefix + "Can't open Ksat exchange file %s for reading\n";
        if (!read_exchange_grid(m, m.ksat_from_olma, m.ks_map, msg.c_str())) return false;
        for (int k = 1; k <= m.ncells; ++k) m.ks_map[k] /= kMetresPerSecondToCmPerHour;
    }
    return true;
}

// The dry time between two land-management events is skipped: the clock
// moves to one step before the next event. The step counter moves with it,
// since the clock recomputes the time from the step. The series line of the
// step that ended the event is written first, at the time it belongs to. A
// next event that does not begin a whole number of steps after the run start
// could never be met by the clock: the run stops instead.
void jump_to_next_event(model_state& m) {
    if (!has_next_event(m) || !(m.dt_days > 0.0)) return;
    const double exact = (next_event_start(m) - m.start_time) / m.dt_days;
    const double whole = std::round(exact);
    if (std::fabs(exact - whole) * m.dt_days >= m.time_tol) {
        store_refusal(format_text("\nERROR:\nHTP event %d begins at %s, which is not a whole number "
                                  "of time steps (%.2lf s) after the start of the run.\nThe run cannot move to "
                                  "it.  Program exiting on error.\n\n",
                                  m.event_index + 1, date_time_text(next_event_start(m)).c_str(), m.timestep));
        return;
    }
    const double steps = whole - 1.0;
    if (!(steps > m.step) || steps > static_cast<double>(INT_MAX - 1)) return;
    write_timeseries_output(m);
    m.series_written_early = 1;
    m.step = static_cast<int>(steps);
    m.time = m.start_time + m.step * m.dt_days;
    arm_clock(m.ov_last_time, m.ov_next_time, m.time, m.dt_days);
    arm_clock(m.inf_last, m.inf_next, m.time, m.dt_days);
    if (m.chan_routing) {
        arm_clock(m.chan_last, m.chan_next, m.time, m.dt_days);
        if (m.chan_con_trans) arm_clock(m.chan_con_last, m.chan_con_next, m.time, m.dt_days);
    }
    if (m.ov_con_trans) {
        m.wq_next = m.ov_next_time;
        m.wq_last = m.ov_last_time;
        if (!m.chan_routing) m.chan_con_next = m.ov_next_time;
    }
}

void exchange_at_event_end(model_state& m) {
    if (!write_to_grids(m)) return;
    if (!write_olma_event_file(m)) return;
    const bool last = !has_next_event(m);
    if (!last && !m.htp_event_num_given) {
        std::fprintf(stderr, "reading OLMA exchange maps\n");
        if (!read_from_grids(m, "2 ", true)) return;
    }
    if (m.htp_event_num_given) {
        std::printf("End of HTP event %d\n", m.event_index);
        m.running = 0;
        return;
    }
    if (m.inf_richards_on || m.gw_simulation || m.inf_redist_on || m.chan_lake_flag) return;
    m.running = last ? 0 : 1;
    if (!last) jump_to_next_event(m);
}

// A node of an erodible breakpoint link whose water now stands above the
// highest it stood before (its bed rose under it) takes the sand it holds
// as the volume its section is fitted to.
void refit_sand_references(model_state& m) {
    if (m.ch_sand_vol.empty()) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_erodible_breakpoint(m.ltype[l])) continue;
        const int b = m.bplink[l];
        for (int j = 1; j <= m.nx[l]; ++j) {
            if (m.yp[j][l] > m.max_yp[b][j]) m.ch_sand_vol0[b][j] = m.ch_sand_vol[l][j][0];
        }
    }
}

}  // namespace

int olma_day_number(double julian, int year) {
    const double origin = julday(year - 1, 12, 31, kDayNumberHour, 0, 0.0);
    return static_cast<int>(julian - origin);
}

void update_at_event_end(model_state& m) {
    if (m.event_ended != 1) return;
    if (m.htp && m.olma_given) {
        exchange_at_event_end(m);
        if (g_error_record.code != 0) return;
    }
    if (m.xsec_update_flag >= 1) {
        xsec_update(m);
        if (g_error_record.stop) return;
        ex_section(m, 1);
        if (g_error_record.stop) return;
        refit_sand_references(m);
    }
    m.event_ended = 0;
    m.event_done = 1;
}

void read_exchange_files(model_state& m) {
    if (m.htp_event_num_given) {
        m.ov_next_time = m.time;
        m.ov_last_time = m.time - m.dt_days;
        arm_clock(m.inf_last, m.inf_next, m.time, m.dt_days);
        arm_clock(m.chan_last, m.chan_next, m.time, m.dt_days);
        if (m.ov_con_trans) {
            m.wq_next = m.ov_next_time;
            m.wq_last = m.ov_last_time;
        }
    }
    if (m.htp && m.olma_given && m.olma_first) read_from_grids(m, "1 ", false);
}

namespace {

void zero_infiltration_state(model_state& m, int k) {
    if (!any_infiltration(m)) return;
    zero_at(m.fav, k);
    zero_at(m.infdep, k);
    zero_at(m.infdep_prev, k);
    zero_at(m.bottomfav, k);
    zero_at(m.bottomfav_prev, k);
    zero_at(m.infdep_all, k);
    if (m.inf_richards_on) {
        if (k <= m.bound_type.n()) m.bound_type[k] = 1;
        zero_at(m.inf_rich, k);
    }
    if (m.inf_redist_on) {
        zero_at(m.iter_pond_1, k);
        zero_at(m.iter_n, k);
        zero_at(m.no_wat_prof, k);
        zero_at(m.iter_i_less_k, k);
        zero_at(m.vinf_n, k);
    }
}

// The soil stores of the accounting methods (depths in cm). A multi-layer
// cell keeps its own layer moistures; its layer 2 store spans from the bottom
// of layer 1 to the bottom of the soil.
void init_soil_store(model_state& m, int k, double area) {
    const double* s = soil_class_of(m, k);
    double* theta = m.inf_layered_on && k <= m.layer_theta.n() ? m.layer_theta[k].theta : nullptr;
    if (!theta) s = nullptr;
    zero_at(m.yes_exfil, k);
    zero_at(m.L1L2_Flux, k);
    if (k > m.soil_depth.n()) return;
    double& depth = m.soil_depth[k];
    if (m.inf_redist_on) depth = m.soil_moist_depth;
    else if (m.inf_layered_on && s) depth = s[22] + s[23];

    if (m.water_table_given) {
        zero_at(m.exfiltrate, k);
        const double ground = value_at(m.elev, k);
        const double table = value_at(m.elevgw, k);
        if (ground <= table) {
            if (m.inf_redist_on && k <= m.thi.n()) m.thi[k] = value_at(m.phi_map, k);
            else if (m.inf_layered_on && s) {
                for (int j = 0; j < 3; ++j) theta[j] = s[7 + j];
            }
            depth = 0.0;
            if (!in_channel_lake(m, k)) {
                if (k <= m.yes_exfil.n()) m.yes_exfil[k] = 1;
                m.exfil_present = 1;
            }
        } else {
            if (m.inf_layered_on && s) m.soil_moist_depth = s[22] + s[23];
            if (m.soil_moist_depth / 100.0 > ground - table) depth = (ground - table) * 100.0;
        }
    }
    if (m.gw_simulation && k <= m.gw_inf_redist_theta.n())
        m.gw_inf_redist_theta[k] = value_at(m.gw_array_porosity, k) * m.single_unsat_sat;

    double l1 = 0.0, l2 = 0.0;
    if (m.inf_redist_on) {
        const double thi = value_at(m.thi, k);
        if (m.top_layer_depth < depth) {
            l1 = thi * m.top_layer_depth;
            l2 = (depth - m.top_layer_depth) * thi;
        } else {
            l1 = thi * depth;
        }
    } else if (m.inf_layered_on && s) {
        if (s[22] >= depth || !(s[22] > 0.0)) {
            l1 = theta[0] * depth;
        } else if (s[22] + s[23] <= depth) {
            l1 = theta[0] * s[22];
            l2 = theta[1] * s[23];
        } else {
            l1 = theta[0] * s[22];
            l2 = (depth - s[22]) * theta[1];
        }
    }
    if (k <= m.Ws1_L1.n()) m.Ws1_L1[k] = l1;
    if (k <= m.Ws1_L2.n()) m.Ws1_L2[k] = l2;
    const double total = m.inf_redist_on ? value_at(m.thi, k) * depth : l1 + l2;
    if (k <= m.Ws1.n()) m.Ws1[k] = total;
    m.soil_water_total += total / 100.0 * area;
}

// Starting totals of the run; false after the message when a lake cell's
// ground lies above its lake's level.
bool starting_totals(model_state& m, double area) {
    for (int k = 1; k <= m.ncells; ++k) {
        const double ground = value_at(m.elev, k);
        if (m.gw_simulation)
            m.initial_gw_volume += (value_at(m.elevgw, k) - value_at(m.bottom_elev, k)) *
                                   value_at(m.gw_array_porosity, k) * area;
        if (m.water_table_given && m.soil_et_accounting) {
            const double unsaturated = ground - value_at(m.elevgw, k);
            const double stores = soil_stores_depth(m, k) / 100.0;  // m
            if (unsaturated > stores)
                m.initial_soil_volume_wt += (unsaturated - stores) * value_at(m.gw_inf_redist_theta, k) * area;
        }
        if (m.inf_richards_on) m.initial_richards_volume += richards_column_water(m, k) * area;
        if (!m.overland_lake_map_given || k > m.oland_lake_new.n()) continue;
        const int lake = m.oland_lake_new[k];
        if (lake <= 0 || static_cast<std::size_t>(lake) >= m.oland_lakes.size()) continue;
        const double level = m.oland_lakes[static_cast<std::size_t>(lake)].level;
        if (ground > level) {
            store_refusal(
                format_text("\nWARNING: initial water surface elevation in lake %d is %f which is\n", lake, level) +
                format_text("less than the land surface elevation in grid cell %d, %f.\n", k, ground) +
                "You should either raise your initial lake elevation or lower that grid\n"
                "cell elevation.  Program stopped.\n");
            return false;
        }
        m.initial_oland_lake_volume += (level - ground) * area;
    }
    return true;
}

}  // namespace

void init_cell_state(model_state& m) {
    const double area = m.gridsize * m.gridsize;
    if (m.green_ampt_on || m.inf_redist_on) {
        if (m.top_layer_depth < kTiny) m.top_layer_depth = m.soil_moist_depth;
        if (m.mixing_layer_depth < kTiny) m.mixing_layer_depth = m.top_layer_depth;
    }
    m.soil_water_total = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        zero_infiltration_state(m, k);
        if (m.soil_et_accounting) init_soil_store(m, k, area);
    }
    if (m.soil_et_accounting) m.soil_water_at_start = m.soil_water_total;
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.inf_layered_on) zero_at(m.wetdep, k);
        if (m.long_term) {
            zero_at(m.snowdepth, k);
            zero_at(m.CFGI, k);
        }
    }
    m.initial_gw_volume = 0.0;
    m.initial_soil_volume_wt = 0.0;
    m.initial_richards_volume = 0.0;
    m.initial_oland_lake_volume = 0.0;
    starting_totals(m, area);
}

}  // namespace kesta
