// The progress line of each routing step on the console, and on request the
// extreme channel depths and discharges with where they occur; or, on a
// terminal when the run prints no line per step, one line that rewrites
// itself with how far the run is.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/calendar.hpp"
#include "core/parallel_env.hpp"
#include "core/status_line.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "output/progress_line.hpp"

namespace kesta {

namespace {

using steady = std::chrono::steady_clock;

// The progress line of a terminal is rewritten at most this often.
constexpr std::chrono::seconds kProgressLineInterval{1};

constexpr double kMinutesPerDay = 1440.0;

// The largest share of the run the line shows, so that it never reads
// "100.0% done" while the run goes on.
constexpr double kMostShareShown = 0.999;

// Wall time as h:mm:ss.
std::string clock_text(double seconds) {
    const long s = std::max(0L, static_cast<long>(seconds + 0.5));
    return format_text("%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

void show_progress_line(model_state& m, steady::time_point now) {
    const double wall = std::chrono::duration<double>(now - m.progress_line.began).count();
    show_status_line(progress_text(position_of(m, wall)));
    m.progress_line.next_due = now + kProgressLineInterval;
}

// The step reports only in a pass in which the routing ran: the channel
// routing with a channel routing kind, the overland routing otherwise. The
// routing records its run at exactly `time`, so equality is the test.
bool routing_ran(const model_state& m) {
    const bool channels = m.chan_routing || m.chan_alt_routing;
    return (channels ? m.chan_last : m.ov_last_time) == m.time;
}

void print_line(const model_state& m) {
    if (m.qout_cfs)
        std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
                    m.event_index, m.elapsed_min, m.month, m.day, m.year, m.hour, m.minute, m.second,
                    m.q_out * m.cms_to_cfs);
    else
        std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
                    m.event_index, m.elapsed_min, m.month, m.day, m.year, m.hour, m.minute, m.second,
                    m.q_out);
}

// Depth ties go to the later node for the maximum, discharge ties to the
// later node for the minimum. Nodes outside the node tables are skipped.
channel_extremes scan_channel(const model_state& m) {
    channel_extremes e;
    const int links = std::min({m.nlinks, m.nx.n(), m.yp.ncols(), m.bel.ncols(), m.qp.ncols()});
    for (int link = 1; link <= links; ++link) {
        const int nodes = std::min({m.nx[link], m.yp.nrows(), m.bel.nrows(), m.qp.nrows()});
        for (int node = 1; node <= nodes; ++node) {
            const double depth = m.yp[node][link] - m.bel[node][link];
            const double q = m.qp[node][link];
            if (depth < e.min_depth) {
                e.min_depth = depth;
                e.min_depth_node = node;
                e.min_depth_link = link;
            }
            if (depth >= e.max_depth) {
                e.max_depth = depth;
                e.max_depth_node = node;
                e.max_depth_link = link;
            }
            if (q <= e.min_q) {
                e.min_q = q;
                e.min_q_node = node;
                e.min_q_link = link;
            }
            if (q > e.max_q) {
                e.max_q = q;
                e.max_q_node = node;
                e.max_q_link = link;
            }
        }
    }
    return e;
}

void print_extremes(const channel_extremes& e) {
    std::printf("    ==> Max Yp (N %d, L %d) = %lf\n", e.max_depth_node, e.max_depth_link, e.max_depth);
    std::printf("    ==> Min Yp (N %d, L %d) = %lf\n", e.min_depth_node, e.min_depth_link, e.min_depth);
    std::printf("    ==> Max Qp (N %d, L %d) = %lf\n", e.max_q_node, e.max_q_link, e.max_q);
    std::printf("    ==> Min Qp (N %d, L %d) = %lf\n", e.min_q_node, e.min_q_link, e.min_q);
}

}  // namespace

run_position position_of(const model_state& m, double wall_seconds) {
    run_position p;
    p.time = m.time;
    p.start = m.start_time;
    p.wall_seconds = wall_seconds;
    double end = kParkedTime;
    if (m.end_time_given) end = std::min(end, m.end_time_julian);
    if (m.long_term) {
        if (m.tot_time > 0) end = std::min(end, m.start_time + m.tot_time / kMinutesPerDay);
        if (m.end_time > m.start_time) end = std::min(end, m.end_time);
        if (m.last_rain_time > m.start_time && m.last_rain_time < end) {
            end = m.last_rain_time;
            p.end_is_last_rain = true;
        }
    } else if (!m.htp) {
        end = std::min(end, m.start_time + m.tot_time / kMinutesPerDay);
    }
    p.end = end == kParkedTime ? p.start : end;
    return p;
}

std::string progress_text(const run_position& p) {
    std::string text = "Simulated to " + date_time_text(p.time);
    const std::string wall = clock_text(p.wall_seconds) + " elapsed";
    if (p.end <= p.start) return text + ", " + wall;
    if (p.end_is_last_rain && p.time > p.end) return text + ", last event draining, " + wall;
    // A run that is still going is not done, however close it is.
    const double share = std::clamp((p.time - p.start) / (p.end - p.start), 0.0, kMostShareShown);
    text += format_text(", %.1f%% done, ", 100.0 * share) + wall;
    if (share > 0.0 && p.wall_seconds > 0.0)
        text += ", about " + clock_text(p.wall_seconds * (1.0 - share) / share) + " left";
    return text;
}

void start_progress_line(model_state& m) {
    // The per-step lines say how far the run is, unless QUIET or SUPER_QUIET
    // silences them (SUPER_QUIET keeps the channel extremes of STREAM_INFO).
    const bool silent = m.quiet || (m.super_quiet && !m.project_options.stream_info);
    if (!silent || g_parallel_env.world_rank() != 0 || !begin_status_line()) return;
    m.progress_line.on = true;
    m.progress_line.began = steady::now();
    m.progress_line.next_due = m.progress_line.began;
}

void end_progress_line(model_state& m) {
    if (!m.progress_line.on) return;
    end_status_line();
    m.progress_line.on = false;
}

void report_progress(model_state& m) {
    if (m.progress_line.on) {
        const steady::time_point now = steady::now();
        if (now >= m.progress_line.next_due) show_progress_line(m, now);
    }
    if (!routing_ran(m)) return;
    if (m.quiet) return;
    if (!m.super_quiet && g_parallel_env.world_rank() == 0) print_line(m);

    if (m.flush_buffer_given) {
        ++m.flush_count;
        // A count below one flushes after every line rather than never.
        if (m.flush_count >= std::max(1, m.flush_buffer)) {
            std::fflush(stdout);
            m.flush_count = 0;
        }
    }

    if (m.project_options.stream_info) {
        m.chan_extremes = scan_channel(m);
        print_extremes(m.chan_extremes);
    }
}

}  // namespace kesta
