// Start-up of the channel point inputs and the head boundary at the
// outlet, and, with soil erosion, the marking of the cells a channel runs
// through. The initial channel volume and masses belong with the channel
// network and are not set up here.
#include "channel/channel_steps.hpp"
#include "core/error_record.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"

namespace kesta {

// The depth at the downstream head boundary: from its time series when one
// is named, else the fixed BOUND_DEPTH, set on the last node of the last link.
void set_chan_point_value(model_state& m) {
    if (m.bound_ts_given) {
        time_series* series = ts_find_by_name(m.bound_ts);
        if (series) m.bound_depth = ts_value_at(m.time, series);
    }
    const int link = m.nlinks;
    if (link < 1 || link > m.link_nodes.n()) return;
    const int node = m.link_nodes[link];
    if (node < 1 || node > m.yp.nrows() || link > m.yp.ncols() || node > m.bel.nrows() ||
        link > m.bel.ncols())
        return;
    m.yp[node][link] = m.bel[node][link] + m.bound_depth;
    if (node <= m.chan_depth.nrows() && link <= m.chan_depth.ncols())
        m.chan_depth[node][link] = m.bound_depth;
}

namespace {

// Every cell the grid-stream file lists holds a channel: its soil gives up
// only its loose deposit.
void mark_channel_cells(model_state& m) {
    if (!m.stream_cell_given || !m.ov_sed) return;
    vec1<int>& channel = m.ov_sed->channel_cells;
    for (int s = 1; s <= m.nstreamcells && s <= m.gst_ncellsingrid.n(); ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            const int cell = m.gst_gnum[s][k];
            if (cell >= 1 && cell <= channel.n()) channel[cell] = 1;
        }
    }
}

}  // namespace

void setup_chan_point_sources(model_state& m) {
    if (m.head_bound && m.bound_ts_given) {
        if (!ts_find_by_name(m.bound_ts)) {
            g_error_record.fail(127, m.bound_ts);
            return;
        }
        set_chan_point_value(m);
    }
    open_chan_point_input(m);
    if (g_error_record.stop) return;
    mark_channel_cells(m);
}

}  // namespace kesta
