// Stream-aquifer exchange: Darcy flow through the stream bed, a bed
// conductivity times the head difference over the bed thickness, spread
// over the wetted top width of the node's section.
#include "channel/stream_aquifer.hpp"

#include <cmath>

#include "channel/cross_section.hpp"
#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kDryDepth = 1e-6;       // m; a shallower stream has no water to lose
constexpr double kEmptyAquifer = 0.01;   // m of saturated thickness below which the aquifer gives nothing
constexpr double kTinyRate = 1e-16;      // m2/s
constexpr int kRiverBoundary = 4;        // gwbound of the cells that trade with streams

// The seepage of one grid-stream entry (m2/s per metre of channel, positive
// into the channel). False when the run stops.
bool entry_seepage(model_state& m, int cell, int j, int l, double& seepage) {
    seepage = 0.0;
    const double t = m.Mrb[j][l];
    const double k = m.Krb[j][l] / kSecondsPerHour;
    if (!(t > 0.0) || !(k > 0.0)) return true;
    const double bed = m.bel[j][l];
    const double depth = m.chan_depth[j][l];
    const double surface = bed + depth;
    const bool table = m.water_table_given != 0;
    const double H = table ? value_at(m.elevgw, cell) : 0.0;
    const bool above_bed = table && H > bed;

    double y;  // seepage depth (m)
    if (above_bed) y = surface < H ? H - bed : depth;
    else y = depth > kDryDepth ? depth : 0.0;
    if (!above_bed && y <= 0.0) return true;  // a dry stream over a low table

    // The top width at the seepage depth: a water table deeper than the
    // stream's surveyed table is no depth of the channel, so the warning
    // flag of the sections is left as it was.
    const int above_table_before = m.xsec_above_table;
    level_section s;
    const bool ok = node_section_at_depth(m, j, l, y, s);
    m.xsec_above_table = above_table_before;
    if (!ok) return false;
    const double width = s.topw;

    if (!above_bed) {
        seepage = -y * k / t * width;
        return true;
    }
    const double saturated = H - value_at(m.bottom_elev, cell);
    if (surface < H && saturated <= kEmptyAquifer) return true;   // an empty aquifer gives nothing
    if (H > value_at(m.elev, cell) && surface > H) return true;  // ponded ground under a higher stream
    seepage = k / t * (H - surface) * width;
    return true;
}

}  // namespace

bool stream_exchange_on(const model_state& m) {
    return m.chan_routing == 1 && m.stream_loss && !m.qriv.empty() && !m.qriv_old.empty() && !m.Krb.empty() &&
           !m.Mrb.empty() && !m.gst_qriv.empty() && m.nstreamcells > 0;
}

int chan_gw_exchange(model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.qriv.nrows(); ++j) m.qriv[j][l] = 0.0;
    }
    bool gain = false, loss = false;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int e = 1; e <= m.gst_ncellsingrid[s]; ++e) {
            m.gst_qriv[s][e] = 0.0;
            const int l = m.gst_link[s][e];
            const int j = m.gst_node[s][e];
            const int cell = m.gst_gnum[s][e];
            if (link_is_lake_struct_or_overtaken(m.ltype[l]) || j > m.nx[l]) continue;
            if (m.gw_simulation && value_at(m.gwbound, cell) != kRiverBoundary) continue;
            double seepage = 0.0;
            if (!entry_seepage(m, cell, j, l, seepage)) return stream_exchange_none;
            m.gst_qriv[s][e] = seepage;
            m.qriv[j][l] += seepage * m.gst_pct[s][e];
        }
    }
    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.nx[l] && j <= m.qriv.nrows(); ++j) {
            if (m.qriv[j][l] > 0.0) gain = true;
            else if (m.qriv[j][l] < 0.0 && m.chan_depth[j][l] > 0.0) loss = true;
        }
    }
    return gain ? stream_exchange_gain : loss ? stream_exchange_loss : stream_exchange_none;
}

void book_stream_exchange(model_state& m, double h) {
    const bool to_cells = !m.river_source.empty();
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int e = 1; e <= m.gst_ncellsingrid[s]; ++e) {
            const int l = m.gst_link[s][e];
            const int j = m.gst_node[s][e];
            if (link_is_lake_struct_or_overtaken(m.ltype[l]) || j > m.nx[l]) continue;
            const double planned = m.qriv_old[j][l];
            double& q = m.gst_qriv[s][e];
            q = std::fabs(planned) >= kTinyRate ? q * (m.qriv[j][l] / planned) : 0.0;
            if (to_cells) m.river_source[m.gst_gnum[s][e]] -= q * m.gst_pct[s][e] * m.chan_dx[l] * h;
        }
    }
}

}  // namespace kesta
