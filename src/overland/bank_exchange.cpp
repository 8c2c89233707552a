// Water over the banks between the grid cells and the channel nodes that
// run through them. A broad-crested weir carries the water of a cell into
// the channel; with OVERBANK_FLOW a channel standing above the cell's
// ground spills back over its bank top (weir) or, once the cell stands
// above the bank top, flows by Manning's law into the cell, and the cell
// flows into a channel below its surface by Manning's law. With
// OVERLAND_BACKWATER a channel standing above the cell's ground takes water
// from the cell only while the cell's surface is at or above the channel's.
//
// The exchange of an entry is a rate over the channel step: the cell's
// depth changes at once and the node's lateral inflow by the rate per metre
// of channel, so the channel routing of the step moves the same volume.
#include <algorithm>
#include <cmath>

#include "channel/cross_section.hpp"
#include "channel/link_types.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"

namespace kesta {

namespace {

constexpr double kWeirCoefficient = 3.40978982734;  // 2 (2/3)^1.5 sqrt(9.81), m^0.5/s
constexpr double kSpillShare = 0.01;                 // of the channel water above the spill level, per step
constexpr double kEmptyCell = 1e-16;                 // m3
constexpr int kMaxPushBacks = 50;

enum class exchange_form { weir, manning };

struct exchange {
    bool to_cell = false;
    exchange_form form = exchange_form::weir;
    double head = 0.0;   // m: weir head
    double depth = 0.0;  // m: Manning flow depth
};

// How the water of one entry moves: cell surface W over ground Z, channel
// surface S over bed B, bank top T.
exchange choose(const model_state& m, double Z, double W, double hc, double B, double T, double S) {
    exchange e;
    e.head = hc;  // by default the cell spills over the bank into the channel
    const bool channel_above_ground = Z < S && B < Z;
    if (m.overbank_flow && channel_above_ground) {
        if (W < T && T < S) {
            e.to_cell = true;
            e.head = S - T;
        } else if (T < W && W < S) {
            e.to_cell = true;
            e.form = exchange_form::manning;
            e.depth = (S - Z + hc) / 2.0;
            e.head = S - Z;
        } else {
            e.form = exchange_form::manning;
            e.depth = hc;
        }
    }
    if (m.overland_backwater && channel_above_ground) {
        e = exchange{};
        if (W >= S) {
            e.form = exchange_form::manning;
            e.depth = hc;
        } else {
            e.head = 0.0;  // no exchange
        }
    }
    return e;
}

// Flow area of node j of link l at water level `level` (m2); 0 below the bed.
bool area_at_level(model_state& m, int j, int l, double level, double& area) {
    level_section s;
    if (!node_section_at_depth(m, j, l, std::max(0.0, level - m.bel[j][l]), s)) return false;
    area = s.area;
    return true;
}

// The channel feeds the cell at most `rate` (m3/s) over dt: no more than a
// small share of the channel water above the spill level in the entry's
// share of the reach, and the cell's surface never above the channel's.
// Returns the volume the cell gains (m3), or -1 after a refusal.
double channel_to_cell(model_state& m, int j, int l, int c, double length, double rate, double spill_level,
                       double dt) {
    const double cell_area = m.gridsize * m.gridsize;
    const double S = m.yp[j][l];
    double a_full = 0.0, a_spill = 0.0;
    if (!area_at_level(m, j, l, S, a_full) || !area_at_level(m, j, l, spill_level, a_spill)) return -1.0;
    const double above = (a_full - a_spill) * length;
    if (!(above > 0.0)) return 0.0;
    if ((above - rate * dt) / above < 1.0 - kSpillShare) rate = kSpillShare * above / dt;
    double given = rate * dt;
    double h = m.h[c] + given / cell_area;
    // Water that would stand above the channel goes back to it; the
    // channel rises by what it gets back.
    double level = S, node_area = a_full;
    for (int k = 0; k < kMaxPushBacks && m.elev[c] + h > level; ++k) {
        const double excess = (m.elev[c] + h - level) * cell_area;
        h -= excess / cell_area;
        given -= excess;
        node_area += excess / m.chan_dx[l];
        area_section r;
        if (!node_section_of_area(m, j, l, node_area, r)) return -1.0;
        level = m.bel[j][l] + r.depth;
    }
    m.h[c] += given / cell_area;
    return given;
}

}  // namespace

double overland_channel_exchange(model_state& m, double dt) {
    const double dx = m.gridsize;
    const double cell_area = dx * dx;
    const bool lakes = m.chan_lakes_on && m.lake_num.n() >= m.ncells;
    // With overland and channel constituents the exchanged water of every
    // entry is kept for the constituents to follow.
    const bool tracked = !m.ov_qlat_vol.empty();
    double total = 0.0;
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            const int l = m.gst_link[s][k], j = m.gst_node[s][k], c = m.gst_gnum[s][k];
            const double w = m.gst_pct[s][k];
            if (link_is_lake_struct_or_overtaken(m.ltype[l]) || !(w > 0.0)) continue;
            if (lakes && (m.lake_num[c] >= 1 || j > m.nx[l])) continue;
            const double L = m.chan_dx[l];
            const double hc = std::max(0.0, m.h[c]);
            const double Z = m.elev[c], W = Z + hc, B = m.bel[j][l], S = m.yp[j][l];
            const double T = B + m.bankfull_dep[j][l];
            const exchange e = choose(m, Z, W, hc, B, T, S);
            double rate;
            if (e.form == exchange_form::weir) {
                rate = L * w * kWeirCoefficient * std::pow(std::max(0.0, e.head), 1.5);
            } else {
                const double d = std::max(0.0, e.depth);
                rate = d > 0.0 ? std::pow(d, 2.0 / 3.0) * std::sqrt(std::fabs(S - W) / dx) * d * L * w /
                                     m.dist_rough[c]
                               : 0.0;
            }
            if (!(rate > 0.0)) continue;
            double into_channel;
            if (e.to_cell) {
                const double gained = channel_to_cell(m, j, l, c, L * w, rate, S - e.head, dt);
                if (gained < 0.0) return total;
                into_channel = -gained;
            } else if (hc * cell_area - rate * dt >= kEmptyCell) {
                m.h[c] = hc - rate * dt / cell_area;
                into_channel = rate * dt;
            } else {
                into_channel = hc * cell_area;
                m.h[c] = 0.0;
            }
            m.qlat[j][l] += into_channel / dt / L;
            if (tracked) m.ov_qlat_vol[s][k] += into_channel;
            total += into_channel;
        }
    }
    return total;
}

}  // namespace kesta
