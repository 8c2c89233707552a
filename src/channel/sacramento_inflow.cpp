// The outflow of the Sacramento accounting enters the channels through the
// grid-stream entries, each taking its share of the basin's outflow (by
// reach length, or by reach length and topographic index).
#include <algorithm>

#include "channel/channel_steps.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

// Entries of links the routing does not carry, and of nodes or cells a lake
// holds, take nothing: the others share their weights.
bool entry_takes_inflow(const model_state& m, bool lakes, int s, int k) {
    const int l = m.gst_link[s][k], j = m.gst_node[s][k], c = m.gst_gnum[s][k];
    if (link_is_lake_struct_or_overtaken(m.ltype[l])) return false;
    if (lakes && (m.lake_num[c] >= 1 || j > m.nx[l])) return false;
    return m.gst_sac_weight[s][k] > 0.0;
}

}  // namespace

double sacramento_channel_inflow(model_state& m, double dt) {
    sacramento_state& sac = m.sac;
    sac.channels_ran = true;
    if (!m.sacramento_given || !(sac.in_transit > 0.0) || !(dt > 0.0) || m.gst_sac_weight.empty()) return 0.0;
    const bool lakes = m.chan_lakes_on && m.lake_num.n() >= m.ncells;
    double weights = 0.0;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            if (entry_takes_inflow(m, lakes, s, k)) weights += m.gst_sac_weight[s][k];
        }
    }
    if (!(weights > 0.0)) return 0.0;
    // Never more than is on its way: the last step of an hour takes what
    // rounding left.
    const double volume = std::min(sac.baseflow_q * dt, sac.in_transit);
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            if (!entry_takes_inflow(m, lakes, s, k)) continue;
            const int l = m.gst_link[s][k], j = m.gst_node[s][k];
            m.qlat[j][l] += volume * m.gst_sac_weight[s][k] / weights / dt / m.chan_dx[l];
        }
    }
    sac.in_transit -= volume;
    return volume;
}

}  // namespace kesta
