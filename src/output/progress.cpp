// The progress line of each routing step on the console, and on request the
// extreme channel depths and discharges with where they occur.
#include <algorithm>
#include <cstdio>

#include "core/parallel_env.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

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

void report_progress(model_state& m) {
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
