// Event boundaries: the start of each rainfall event (closing the one
// before it) and the end-of-event decision, whether the current event, and
// with it the run, has ended.
#include <cstdio>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_steps.hpp"

namespace kesta {

namespace {

void end_event(model_state& m) {
    m.event_active = 0;
    m.event_ended = 1;
    m.event_done = 1;
}

// An event whose start the clock has passed without starting it never can:
// the run would go on for ever waiting for it.
bool refuse_passed_event(model_state& m, int next) {
    if (next > m.event_start_times.n()) return false;
    const double start = m.event_start_times[next];
    if (!(m.time > start + m.time_tol)) return false;
    print_both(m.summary_fp.get(),
               format_text("\nERROR:\nPrecipitation event %d of file %s begins at %s, but the run "
                           "reached %s without meeting its start on a time step.\n"
                           "The event can never start.  Program exiting on error.\n\n",
                           next, m.precip_file.c_str(), date_time_text(start).c_str(),
                           date_time_text(m.time).c_str()));
    fail_and_report();
    return true;
}

// The previous event ends when the next one begins, if its runoff has not
// ended it already: the same end as check_event_end gives it, with the
// analyzers told and the event-end updates made, then it is closed.
void close_previous_event(model_state& m) {
    if (m.event_active) {
        end_event(m);
        trigger_analyzers(m, notice_event_end);
        update_at_event_end(m);
        if (g_error_record.code != 0) return;
    }
    finish_event(m);
}

bool last_event(const model_state& m) { return m.event_index >= m.nevents; }

double surface_volume(const model_state& m) {
    double v = 0.0;
    const double area = m.gridsize * m.gridsize;
    for (int k = 1; k <= m.ncells && k <= m.h.n(); ++k) v += m.h[k] * area;
    return v;
}

bool channel_still_carries(const model_state& m) {
    if (!m.chan_routing || m.qp.empty()) return false;
    for (int node = 1; node <= m.qp.nrows(); ++node)
        for (int link = 1; link <= m.qp.ncols(); ++link)
            if (m.qp[node][link] > m.event_min_q) return true;
    return false;
}

// Between events the processes that only act during an event wait for the
// next one. After the last event there is none to wait for: the clocks are
// parked instead of reaching past the table of event starts.
void rearm_for_next_event(model_state& m) {
    if (m.inf_richards_on || m.gw_simulation || m.ov_point_source_given || m.inf_redist_on ||
        m.chan_lake_flag)
        return;
    const double next = next_event_start(m);
    const double last = has_next_event(m) ? next - m.ov_interval : kParkedTime;
    m.ov_next_time = next;
    m.ov_last_time = last;
    if (m.chan_routing) {
        m.chan_next = next;
        m.chan_last = last;
        if (m.chan_con_trans) {
            m.chan_con_next = m.chan_next;
            m.chan_con_last = m.chan_last;
        }
    }
    if (m.ov_con_trans) {
        m.wq_next = next;
        m.wq_last = last;
        if (!m.chan_routing) m.chan_con_next = next;
    }
}

// A long-term or land-management event whose rain has stopped: it ends when
// the outlet runs below the event's minimum discharge, unless the last
// event's surface still holds a good share of its rain or the channels still
// carry water.
void end_after_rain(model_state& m) {
    if (m.q_out >= m.event_min_q) {
        if (last_event(m) && (m.water_table_given || m.sacramento_given) && m.hmet_next == kHmetDataEnded) {
            m.running = 0;
            end_event(m);
        }
        return;
    }
    if (last_event(m)) {
        m.volume_remaining_on_surface = surface_volume(m);
        const bool draining = m.volume_rainfall_overland > 0.0 &&
                              m.volume_remaining_on_surface - m.initial_volume_overland_flow >=
                                  0.05 * m.volume_rainfall_overland &&
                              !m.water_table_given && !m.sacramento_given;
        if (draining) {
            m.running = 1;
            return;
        }
    }
    if (m.event_min_q <= m.peak_q) {
        end_event(m);
        if (last_event(m)) {
            m.running = 0;
            if (!m.super_quiet) std::printf("simulation ended normally; end of data for last event reached\n");
        }
        rearm_for_next_event(m);
        return;
    }
    if (channel_still_carries(m)) {
        m.running = 1;
        return;
    }
    end_event(m);
    if (last_event(m)) {
        m.running = 0;
        if (!m.super_quiet)
            std::printf("simulation ended normally; peak flow after last event fell below cutoff value.\n");
    }
    if (m.soil_et_accounting) m.soil_et_event_end = 1;
    if (m.chan_routing) m.chan_active_in_event = 0;
    rearm_for_next_event(m);
}

}  // namespace

void step_event_precip(model_state& m) {
    if (m.uniform_rain) {
        start_uniform_rain(m);
        return;
    }
    if (!m.rain_from_file || m.precip_event_count >= m.nevents) return;
    const int next = m.precip_event_count + 1;
    const bool one_htp_event = m.htp && m.htp_event_num_given;
    const bool htp_search = one_htp_event && m.precip_event_count < m.htp_event_num;
    // A run of one land-management event starts no other: the events around
    // it need not follow it in time.
    if (!one_htp_event && refuse_passed_event(m, next)) return;
    const bool due = htp_search || (next <= m.event_start_times.n() &&
                                    clock_due(m.event_start_times[next], m.time, m.time_tol));
    if (!due) return;

    if (m.precip_event_count > 0) {
        close_previous_event(m);
        if (g_error_record.code != 0) return;
        // A land-management run that asked for one event ends with it.
        if (one_htp_event) {
            m.running = 0;
            return;
        }
    }
    trigger_analyzers(m, notice_event_start);
    begin_precip_event(m);
}

void check_event_end(model_state& m) {
    if (m.end_time_given && m.end_time_julian < m.time) {
        m.running = 0;
        end_event(m);
        return;
    }
    // A long-term run ends TOT_TIME after its start, whatever weather and
    // rain remain; the event under way ends with it.
    if (m.long_term && m.tot_time > 0 && m.time >= m.start_time + m.tot_time / 1440.0 - m.time_tol) {
        m.running = 0;
        if (m.event_active) {
            end_event(m);
            trigger_analyzers(m, notice_event_end);
        }
        return;
    }
    if (!m.long_term && !m.htp) {
        if (m.event_end_time <= m.time) {
            m.running = 0;
            m.event_done = 1;
        }
    } else if (m.event_active && (m.precip_state == 0 || m.precip_state == 3)) {
        end_after_rain(m);
    }
    if (m.event_ended) trigger_analyzers(m, notice_event_end);
}

}  // namespace kesta
