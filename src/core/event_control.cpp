// The end-of-event decision: whether the current event, and with it the run,
// has ended.
#include <cstdio>

#include "core/event_steps.hpp"
#include "core/event_times.hpp"
#include "core/model_state.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

void end_event(model_state& m) {
    m.event_active = 0;
    m.event_ended = 1;
    m.event_done = 1;
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
        if (last_event(m) && (m.water_table_given || m.sacramento_given) && m.hmet_next == -10.0) {
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

void check_event_end(model_state& m) {
    if (m.end_time_given && m.end_time_julian < m.time) {
        m.running = 0;
        end_event(m);
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
