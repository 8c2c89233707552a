// Stream-aquifer exchange: Darcy flow through the stream bed, a bed
// conductivity times the head difference over the bed thickness, spread
// over the wetted top width of the node's section; and the same through
// the bed of a channel lake, over the whole of each cell it covers.
#include "channel/stream_aquifer.hpp"

#include <algorithm>
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
constexpr int kLakeBoundary = 7;         // gwbound of the cells that trade with lakes
constexpr double kTinyHead = 1e-16;      // m; a lake this close above its ground leaks nothing

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

bool lake_leakage_on(const model_state& m) {
    return m.chan_routing == 1 && m.chan_lakes_on && m.nlakes > 0 && m.lake_source.n() >= m.ncells;
}

double lake_cell_leakage(const model_state& m, int cell) {
    const int lake = value_at(m.lake_num, cell);
    if (lake < 1 || lake > m.nlakes) return 0.0;
    const double t = m.Mlake[lake];  // m: the reader echoes it in metres and refuses t <= 0
    if (!(t > 0.0)) return 0.0;
    const double K = value_at(m.ks_map, cell);
    const double w = m.gridsize;
    const double E = m.lake_elev[lake];
    const double g = value_at(m.elev, cell);
    const double loss = E - g > kTinyHead ? -K * (E - g) / t * w : 0.0;
    if (!m.water_table_given) return loss;
    if (m.gw_simulation && value_at(m.gwbound, cell) != kLakeBoundary) return 0.0;
    const double H = value_at(m.elevgw, cell);
    const double B = value_at(m.bottom_elev, cell);
    if (H > g && H - B > kEmptyAquifer) return (H - E) * K / t * w;
    return B < E ? loss : 0.0;
}

void book_lake_leakage(model_state& m, double h) {
    const double per_rate = h * m.gridsize;  // m3 per m2/s of leakage
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        if (!m.calc_loss[lake]) continue;
        const int cells = m.lake_cells[lake];
        auto cell_at = [&](int k) { return m.mask[m.lake_search_row[lake][k]][m.lake_search_col[lake][k]]; };
        double gains = 0.0, losses = 0.0;  // m3, both positive
        for (int k = 1; k <= cells; ++k) {
            const double v = lake_cell_leakage(m, cell_at(k)) * per_rate;
            (v > 0.0 ? gains : losses) += std::fabs(v);
        }
        // The lake gives at most what it holds once the aquifer's water is in.
        const double held = std::max(0.0, m.lake_volume[lake] + gains);
        const double scale = losses > held ? held / losses : 1.0;
        double gained = 0.0, lost = 0.0;
        for (int k = 1; k <= cells; ++k) {
            const int cell = cell_at(k);
            double v = lake_cell_leakage(m, cell) * per_rate;
            if (v < 0.0) v *= scale;
            m.lake_source[cell] -= v;
            if (!m.lake_gw_vol.empty()) m.lake_gw_vol[cell] += v;
            (v > 0.0 ? gained : lost) += std::fabs(v);
        }
        // A lake whose losses were cut is empty: exactly, not to rounding.
        if (scale < 1.0) lost = m.lake_volume[lake] + gained;
        m.lake_volume[lake] += gained - lost;
        book_water(m, water_flow::gw_to_lakes, gained);
        book_water(m, water_flow::lakes_to_gw, lost);
    }
}

}  // namespace kesta
