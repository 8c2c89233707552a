// The channel network at the start and the end of an event: its clocks,
// its initial state and the water it holds.
#include <cmath>

#include "channel/channel_steps.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"

namespace kesta {

double channel_lake_storage(const model_state& m) {
    double lakes = 0.0;
    for (int l = 1; l <= m.nlakes && l <= m.lake_volume.n(); ++l) lakes += m.lake_volume[l];
    return lakes;
}

namespace {

// The channels start from a backwater profile or a hotstart.
bool initial_channel_state_given(const model_state& m) {
    const project_options& po = m.project_options;
    return po.explic_backwater_given || po.explic_hotstart_given || po.read_chan_hotstart_given;
}

// No flow and no lateral inflow, every water surface at the bed.
void empty_channel_network(model_state& m) {
    for (int link = 1; link <= m.nlinks && link <= m.link_nodes.n(); ++link) {
        for (int node = 1; node <= m.link_nodes[link]; ++node) {
            if (node <= m.qp.nrows() && link <= m.qp.ncols()) m.qp[node][link] = 0.0;
            if (node <= m.qlat.nrows() && link <= m.qlat.ncols()) m.qlat[node][link] = 0.0;
            if (node <= m.yp.nrows() && link <= m.yp.ncols() && node <= m.bel.nrows() &&
                link <= m.bel.ncols())
                m.yp[node][link] = m.bel[node][link];
        }
    }
    if (m.head_bound) set_chan_point_value(m);
}

// The flow areas of the nodes, and the channels' and lakes' water as the
// event starts (and, the first time, as the run starts).
void initial_channel_volume(model_state& m) {
    ex_section(m, 2);
    for (int link = 1; link <= m.nlinks && link <= m.nx.n(); ++link) {
        if (link_is_lake_struct_or_overtaken(m.ltype[link])) continue;
        for (int node = 1; node <= m.nx[link]; ++node) {
            if (node > m.area.nrows() || link > m.area.ncols()) continue;
            if (std::isnan(m.area[node][link]))
                warn(format_text("Negative Area Computed At Startup for [Node][Link]: [%d][%d] ltype: %d\n",
                                 node, link, link <= m.ltype.n() ? m.ltype[link] : 0));
        }
    }
    m.initial_volume_in_channels = channel_storage(m);
    if (m.chan_lakes_on) m.initial_volume_in_lakes = channel_lake_storage(m);
    if (!m.chan_run.initial_taken) {
        m.chan_run.initial_taken = 1;
        m.chan_run.initial_in_channels = m.initial_volume_in_channels;
        m.chan_run.initial_in_lakes = m.initial_volume_in_lakes;
    }
}

}  // namespace

void start_channel(model_state& m) {
    if (!m.chan_routing) return;
    m.chan_active_in_event = 1;
    m.chan_next = m.ov_next_time;
    m.chan_last = m.ov_last_time;
    if (m.chan_con_trans) {
        m.chan_con_next = m.chan_next;
        m.chan_con_last = m.chan_last;
    }
    const bool first_step = m.clock_calls <= 1;
    const bool drains_between = m.inf_richards_on || m.gw_simulation || m.soil_et_accounting;
    if (!initial_channel_state_given(m) && (!drains_between || first_step)) empty_channel_network(m);
    initial_channel_volume(m);
}

void channels_at_event_end(model_state& m) {
    m.final_volume_in_channels = channel_storage(m);
}

}  // namespace kesta
