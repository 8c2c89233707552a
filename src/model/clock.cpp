// The model clock: arming the interval clocks of a run, advancing the clock
// one time step per pass, and the small steps the driver calls around them.
#include "model/clock_steps.hpp"

#include <climits>

#include "calibration/optim_record.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kHour = 3600.0;  // s

double record_time(const date_record& d) {
    return julday(d.year, d.month, d.day, d.hour, 0, 0.0);
}

// The run start: the first hydrometeorological record of a long-term run,
// the first precipitation event of a run with rain from a file, or the
// START_DATE that the run options turned into `time` for uniform rain.
double first_time_of(const model_state& m) {
    if (m.long_term) return record_time(m.hmet_first_record);
    if (m.rain_from_file) return event_start_time(m, 1, m.time);
    return m.time;
}

bool lake_below_threshold(const model_state& m) {
    if (!m.chan_lakes_on) return false;
    int n = m.nlakes;
    if (m.lake_elev.n() < n) n = m.lake_elev.n();
    if (m.minwse.n() < n) n = m.minwse.n();
    for (int k = 1; k <= n; ++k) {
        if (m.lake_elev[k] < m.minwse[k]) return true;
    }
    return false;
}

// Whole time steps in `seconds`, clamped to the int range.
int whole_steps(double seconds, double timestep) {
    if (timestep <= 0.0) return 0;
    const double steps = seconds / timestep;
    if (!(steps > 0.0)) return 0;
    if (steps >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(steps);
}

// Uniform rain falls for the whole steps of its duration and, when the
// duration ends within a step, for that share of one more step. A duration
// within the due tolerance of a step boundary counts as whole steps.
void split_rain_duration(model_state& m) {
    const double seconds = m.rain_duration * 60.0;
    m.rain_steps = whole_steps(seconds + kTimeTolerance * kSecondsPerDay, m.timestep);
    m.rain_last_step_fraction = 0.0;
    if (m.rain_steps == INT_MAX || m.timestep <= 0.0) return;
    const double rest = seconds - m.rain_steps * m.timestep;
    if (rest > kTimeTolerance * kSecondsPerDay) m.rain_last_step_fraction = rest / m.timestep;
}

void fail_without_start_date() {
    refuse("You did not specify the starting date and time in the\n"
           "project file.  You must do this for simulations with\n"
           "uniform precipitation using the START_DATE and START_TIME\n"
           "cards.  Edit the project file.   Program terminated.\n");
}

// A run whose END_TIME lies before its start would end at its first step
// with nothing simulated.
void fail_end_before_start(const model_state& m) {
    const run_params& rp = m.run_params;
    refuse(format_text("Error: END_TIME %d/%d/%d %d:%2.2d of project file %s lies before the start of "
                       "the run, %s.\n",
                       rp.end_month, rp.end_day, rp.end_year, rp.end_hour, rp.end_minute,
                       m.project_file.c_str(), date_time_text(m.time).c_str()));
}

}  // namespace

double run_start_time(const model_state& m) {
    const double first = first_time_of(m);
    if (!m.htp) return first;
    const int event = m.htp_event_num_given ? m.htp_event_num : 1;
    return event_start_time(m, event, first);
}

void advance_clock(model_state& m) {
    if (m.clock_calls != 0) {
        ++m.step;
        // From the step, never summed, so no rounding error builds up.
        m.time = m.step * m.dt_days + m.start_time;
        m.elapsed_min = m.step * m.timestep / 60.0;
        ++m.event_step;
        ++m.step_count;
    }
    ++m.clock_calls;

    const calendar_time c = caldat(m.time);
    m.year = c.year;
    m.month = c.month;
    m.day = c.day;
    m.hour = c.hour;
    m.minute = c.minute;
    m.seconds = c.seconds;
    m.second = static_cast<int>(c.seconds);
    m.day_of_year = day_of_year(c.year, c.month, c.day);
}

void init_run_times(model_state& m) {
    // Run start.
    m.first_time = first_time_of(m);
    if (m.long_term) {
        const date_record& d = m.hmet_first_record;
        m.start_hhmm = d.hour * 100;
        m.start_yyyymmdd = d.year * 10000 + d.month * 100 + d.day;
        m.end_time = record_time(m.hmet_last_record);
    }

    m.volume_of_water_exfiltrated = 0.0;
    m.beginning_vol_water_exfiltrated_this_event = 0.0;
    m.total_vol_water_exfiltrated_this_run = 0.0;
    m.q_out = 0.0;
    m.event_ended = 0;
    m.event_active = 0;
    m.time_tol = kTimeTolerance;
    m.dt_days = m.timestep / kSecondsPerDay;
    m.time = run_start_time(m);

    const double start = m.time;
    const double first_event = event_start_time(m, 1, start);
    // A long-term run that starts dry lets its clocks wait for the first event.
    const bool ordinary_long_term = m.long_term && !m.ov_water_at_start && !m.richards_water_table;
    const bool htp_event = m.htp && m.htp_event_num_given;

    // The overland clock is due on the first pass.
    set_clock_interval(m.ov_interval_sec, m.ov_interval, m.timestep);
    m.ov_next_time = ordinary_long_term ? first_event : start;
    m.ov_last_time = m.ov_next_time - m.ov_interval;
    if (m.zep) {
        m.zep->ov_interval_sec = m.ov_interval_sec;
        m.zep->ov_interval = m.ov_interval;
        m.zep->ov_last_time = m.ov_last_time;
        m.zep->ov_next_time = m.ov_next_time;
    }

    if (m.storm_sewer_given) {
        set_clock_interval(m.storm_drain_interval_sec, m.storm_drain_interval, m.timestep);
        const bool wait = m.long_term && !m.richards_water_table;
        arm_clock(m.storm_drain_last, m.storm_drain_next, wait ? first_event : start,
                  m.storm_drain_interval);
    }

    if (m.long_term) {
        set_clock_interval(m.hmet_interval_sec, m.hmet_interval, kHour);
        m.hmet_next = start;
        m.hmet_last = start - m.hmet_interval;
    }

    if (m.gw_simulation) {
        set_clock_interval(m.gw_interval_sec, m.gw_interval, m.gw_timestep);
        arm_clock(m.gw_last, m.gw_next, start, m.gw_interval);
    }

    if (m.sacramento_given) {
        set_clock_interval(m.sacramento_interval_sec, m.sacramento_interval, kHour);
        m.sacramento_next = start;
    }

    if (any_infiltration(m)) {
        double seconds = m.timestep;
        if (ordinary_long_term && m.inf_richards_on) {
            seconds = kHour;
            if (m.gw_simulation && m.gw_interval_sec < seconds) seconds = m.gw_interval_sec;
        }
        set_clock_interval(m.inf_interval_sec, m.inf_interval, seconds);
        const bool wait = ordinary_long_term && !m.inf_richards_on;
        arm_clock(m.inf_last, m.inf_next, wait ? first_event : start, m.inf_interval);
        if (m.inf_redist_on) m.redist_event_init = 1;
        if (htp_event) arm_clock(m.inf_last, m.inf_next, m.time, m.dt_days);
        if (m.gw_simulation && m.inf_interval < m.gw_interval && !m.soil_et_accounting) {
            m.gw_interval_sec = m.inf_interval_sec;
            m.gw_interval = m.inf_interval;
        }
    }

    if (m.soil_et_accounting) {
        if (ordinary_long_term) {
            set_clock_interval(m.soil_et_interval_sec, m.soil_et_interval, kHour);
            arm_clock(m.soil_et_last, m.soil_et_next, start, m.soil_et_interval);
        } else {
            m.soil_et_interval_sec = m.inf_interval_sec;
            m.soil_et_interval = m.inf_interval;
            m.soil_et_last = m.inf_last;
            m.soil_et_next = m.inf_next;
        }
    }

    // The rain clock.
    if (m.uniform_rain) {
        split_rain_duration(m);
        m.event_index = 1;
        m.precip_event_started = 1;
        m.precip_next_time = m.time;
    } else if (m.rain_from_file) {
        m.precip_next_time = htp_event ? event_start_time(m, m.htp_event_num, first_event) : first_event;
    }

    m.event_done = 0;
    if (m.uniform_rain && m.year == 0) {
        fail_without_start_date();
        return;
    }
    if (m.end_time_given && m.end_time_julian < m.time - m.time_tol) {
        fail_end_before_start(m);
        return;
    }

    if (m.chan_routing) {
        // The channel steps with the model; its own time step is kept in minutes.
        set_clock_interval(m.chan_interval_sec, m.chan_interval, m.timestep);
        m.chan_timestep = m.timestep / 60.0;
        const bool wait = m.long_term && !m.chan_restart;
        arm_clock(m.chan_last, m.chan_next, wait ? first_event : start, m.chan_interval);
        if (lake_below_threshold(m)) {
            set_clock_interval(m.chan_interval_sec, m.chan_interval,
                               m.timestep >= 60.0 ? m.timestep : 60.0);
            arm_clock(m.chan_last, m.chan_next, m.time, m.chan_interval);
            m.chan_restart = 1;
        }
        if (htp_event) {
            arm_clock(m.chan_last, m.chan_next, m.time, m.dt_days);
            m.chan_restart = 1;
        }
        if (m.chan_con_trans) {
            m.chan_con_next = m.chan_next;
            m.chan_con_last = m.chan_last;
        }
    }

    if (m.ov_con_trans) {
        m.wq_next = m.ov_next_time;
        m.wq_last = m.ov_last_time;
        if (m.ov_point_source_given) arm_clock(m.wq_last, m.wq_next, m.time, m.dt_days);
    }
    if (m.soil_con_trans) {
        m.soil_con_next = m.soil_et_accounting ? m.soil_et_next : m.inf_next;
        m.soil_con_last = m.soil_et_accounting ? m.soil_et_last : m.inf_last;
    }

    m.event_step = 0;
    m.step_count = 0;
    m.chan_step_count = 0;
    m.precip_event_read = 0;
    m.step = 0;
    m.clock_calls = 0;
    m.running = 1;
    m.start_time = m.time;
}

void shift_relative_series(model_state& m) {
    // The clocks are armed later in start-up, but the run start is already
    // known from the inputs read: shift by it, as the armed clock will start.
    ts_shift_relative(run_start_time(m));
}

void init_surface_volume(model_state& m) {
    const double cell_area = m.gridsize * m.gridsize;
    // With overland lakes their cells are left out, else the channel-lake cells.
    const bool overland_lakes = m.overland_lake_map_given != 0;
    int n = m.ncells;
    if (m.h.n() < n) n = m.h.n();
    double volume = 0.0;
    for (int k = 1; k <= n; ++k) {
        if (overland_lakes ? in_overland_lake(m, k) : in_channel_lake(m, k)) continue;
        volume += m.h[k] * cell_area;
    }
    m.initial_surface_volume = volume;
}

void track_peak_flow(model_state& m) {
    // Strictly greater: of equal peaks the first keeps its date.
    if (m.q_out > m.peak_q) {
        m.peak_q = m.q_out;
        m.peak_date = date_record{m.year, m.month, m.day, m.hour, m.minute, m.second};
        m.peak_time = m.time;
    }

    if (!(m.optimize_given && m.in_hyd_location_given && m.chan_routing && m.run_result)) return;
    optim_record& r = *m.run_result;
    for (int k = 1; k <= m.hyd_loc_count && k <= m.hlink.n() && k <= m.hnode.n(); ++k) {
        const int link = m.hlink[k];
        const int node = m.hnode[k];
        if (node < 1 || node > m.qp.nrows() || link < 1 || link > m.qp.ncols()) continue;
        const double q = m.qp[node][link];
        const std::size_t slot = static_cast<std::size_t>(k);
        if (slot < r.location_volume.size()) r.location_volume[slot] += q * m.chan_interval_sec;
        if (slot < r.location_peak.size() && q >= r.location_peak[slot]) r.location_peak[slot] = q;
    }
}

}  // namespace kesta
