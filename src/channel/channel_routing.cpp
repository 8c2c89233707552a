// Explicit routing of the channel network. Node discharges follow Manning's
// equation with the water-surface slope between neighbouring nodes (the
// conveyance of the node the water leaves); structures pass the sum of
// their elements between the levels beside them; every node's flow area
// changes by what its neighbours, its lateral inflow and its point source
// give and take. One call covers one channel step in sub-steps, each a
// predictor-corrector pair; the corrector's discharges are the mean of the
// predictor's and those at the predicted depths, and both the node areas
// and the lakes are updated with them, so that what one node gives another
// receives.
//
// Lakes: a lake link holds its water as a volume at one level. Open-channel
// nodes whose cells a lake floods become part of the lake (their water goes
// to its volume) from the lake upstream, and are given back, with water
// from the lake, as it falls.
#include "channel/channel_routing.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/cross_section.hpp"
#include "channel/link_types.hpp"
#include "channel/stream_aquifer.hpp"
#include "channel/structures.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "transport/channel_constituents.hpp"

namespace kesta {

namespace {

constexpr double kGravity = 9.81;             // m/s2
constexpr double kDone = 1e-16;               // s
constexpr double kSmallestSubstep = 0.001;    // s
constexpr double kRemainderLimit = 0.001;     // s; a shorter remainder joins the last sub-step
constexpr double kAreaChangeLimit = 0.01;     // m2; a larger correction earns a second pass
constexpr int kMaxPasses = 2;
constexpr double kNegativeAreaLimit = -1e-8;  // m2; below it a sub-step is repeated at half length
constexpr double kTinyFlow = 1e-16;           // m3/s
constexpr double kFloodedLow = 0.999;         // share of a node's cells under a lake to be captured
constexpr double kFloodedHigh = 1.001;
constexpr double kDryShare = 1e-16;           // an overtaken link is given back below this share
constexpr double kReleaseDepth = 0.01;        // m; depth of a released node above its lake
constexpr double kFloodSumLimit = 1.001;

// The lake that holds link l: its own for a lake link, the one that
// overtook it for an overtaken link; 0 otherwise.
int lake_of_link(const model_state& m, int l) {
    if (l < 1) return 0;
    const int t = m.ltype[l];
    if (!link_is_lake(t) && !link_is_overtaken(t)) return 0;
    const int lake = m.ldex[l];
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

// Books v m3 into lake k (negative: out of it).
void move_lake(model_state& m, int k, double v) {
    m.lake_volume[k] += v;
    if (v >= 0.0) m.lake_in_dv[k] += v;
    else m.lake_out_dv[k] -= v;
}

// The water level beside a structure and the volume that side can give
// (m, m3): a lake's surface and volume, else the node's.
struct structure_side {
    double level = 0.0;
    double volume = 0.0;
};

structure_side side_of(const model_state& m, int link, int node) {
    const int lake = lake_of_link(m, link);
    if (lake) return {m.lake_elev[lake], std::max(0.0, m.lake_volume[lake])};
    if (node < 1) return {m.bel[1][link], 0.0};
    return {m.yp[node][link], m.area[node][link] * m.chan_dx[link]};
}

// Structure links first: their discharge depends on the levels beside them
// only, and an open channel above a structure takes it as its own.
bool route_structures(model_state& m, node_table<double>& q, double h) {
    for (int l = m.nlinks; l >= 1; --l) {
        if (!link_is_structure(m.ltype[l])) continue;
        const int up = m.uslinks[l][1], down = m.dslink[l];
        const structure_side above = side_of(m, up, m.nx[up]);
        const structure_side below = side_of(m, down, 1);
        double flow = structure_flow(m, l, above.level, below.level);
        if (g_error_record.stop) return false;
        // A structure passes no more than the side it draws from holds.
        if (flow > kTinyFlow && flow * h > above.volume) flow = above.volume / h;
        if (flow < -kTinyFlow && -flow * h > below.volume) flow = -below.volume / h;
        q[1][l] = flow;
        q[2][l] = flow;
    }
    return true;
}

// Discharge of the water-surface slope s between two nodes (m3/s), with
// the conveyance of the node the water leaves.
double manning_flow(double s, double k_from_upper, double k_from_lower) {
    return s >= 0.0 ? k_from_upper * std::sqrt(s) : -k_from_lower * std::sqrt(-s);
}

// The discharge of the point sources at node j of link l (m3/s, negative
// for a sink): a POINTSOURCE card's series and the point-source file's
// current value.
double point_source(const model_state& m, int j, int l) {
    double q = 0.0;
    if (!m.stream_pointsource.empty()) {
        time_series* ts = m.stream_pointsource[j][l];
        if (ts) q += ts_value_at(m.time, ts);
    }
    if (!m.chan_point_Q.empty()) q += m.chan_point_Q[j][l];
    return q;
}

bool has_point_sources(const model_state& m) { return !m.stream_pointsource.empty() || !m.chan_point_Q.empty(); }

// Discharges into q from the present depths (yp, conv) of every link that
// is neither a lake nor overtaken. False when the run stops.
bool route_link_step(model_state& m, node_table<double>& q, double h) {
    if (!route_structures(m, q, h)) return false;
    for (int l = m.nlinks; l >= 1; --l) {
        const int t = m.ltype[l];
        if (link_is_lake_struct_or_overtaken(t)) continue;
        const int n = m.nx[l];
        if (n < 1) continue;
        const double dx = m.chan_dx[l];
        const int d = m.dslink[l];
        const bool held = d == 0 && m.head_bound;
        if (held) {
            // Set below, from the discharge of the node above in this call.
        } else if (d != 0) {
            const int dt = m.ltype[d];
            if (link_is_structure(dt)) {
                q[n][l] = q[1][d];
            } else if (link_is_lake_or_overtaken(dt)) {
                // No flow back from a lake into the link.
                const int lake = lake_of_link(m, d);
                const double s = lake ? (m.yp[n][l] - m.lake_elev[lake]) / (2.0 * dx) : 0.0;
                q[n][l] = s > 0.0 ? m.conv[n][l] * std::sqrt(s) : 0.0;
            } else {
                const double s = (m.yp[n][l] - m.yp[1][d]) / ((dx + m.chan_dx[d]) / 2.0);
                q[n][l] = manning_flow(s, m.conv[n][l], m.conv[1][d]);
            }
        } else {
            const double s = (m.bel[n - 1][l] - m.bel[n][l]) / dx;
            if (s < 0.0)
                return refuse(format_text("The outlet slope is negative.  Make sure that the bed\n"
                                          "elevation of the most downstream node is lower than\n"
                                          "the bed elevation of the node just upstream from it.\n"
                                          "Program stopped.\n"
                                          "(link %d: bed %.4f m at node %d, %.4f m at node %d)\n",
                                          l, m.bel[n - 1][l], n - 1, m.bel[n][l], n));
            q[n][l] = m.conv[n][l] * std::sqrt(s);
        }
        const double* yp = m.yp.link(l);
        const double* conv = m.conv.link(l);
        double* ql = q.link(l);
        for (int j = n - 1; j >= 1; --j) ql[j] = manning_flow((yp[j] - yp[j + 1]) / dx, conv[j], conv[j + 1]);
        if (held) {
            // The outlet passes on what reaches it; its depth is held.
            q[n][l] = (n > 1 ? q[n - 1][l] : 0.0) + m.qlat[n][l] * dx + point_source(m, n, l);
            if (stream_exchange_on(m)) q[n][l] += m.qriv[n][l] * dx;
        }
    }
    return true;
}

// Volumes of one sub-step that enter from outside the network (m3).
struct entering_volumes {
    double first_order = 0.0;   // FIRST_ORDER_CHAN_Q into the head links
    double point_sources = 0.0;
    double point_sinks = 0.0;   // positive
    double gw_gain = 0.0;       // seepage from the aquifer
    double gw_loss = 0.0;       // seepage into the aquifer, positive
    double lake_sources = 0.0;  // point sources that feed a lake
    double lake_sinks = 0.0;    // positive
};

void book_point_source(entering_volumes* in, double volume) {
    if (in) (volume >= 0.0 ? in->point_sources : in->point_sinks) += std::fabs(volume);
}

void book_seepage(entering_volumes* in, double volume) {
    if (in) (volume >= 0.0 ? in->gw_gain : in->gw_loss) += std::fabs(volume);
}

// The flow areas `areas` of every open-channel node after h seconds of the
// discharges q: what enters from the node (or links) above, the lateral
// inflow, the point source and the seepage from the aquifer, less what
// leaves by the node's own discharge. The start areas are those in
// `areas`. A point sink, then a seepage loss, takes no more than the node
// holds (the loss is cut in `qriv`, which starts from `qriv_old`); `in`,
// when given, receives the volumes that entered from outside the network.
// The held outlet node keeps its area: what its sources and seepage bring
// leaves with its discharge, and is booked here all the same.
void chan_lateral_inflow(model_state& m, const node_table<double>& q, node_table<double>& areas, double h,
                         entering_volumes* in) {
    const bool sources = has_point_sources(m);
    const bool seepage = stream_exchange_on(m);
    // The constituents follow the point and seepage water of the final pass.
    const bool tracked = !m.vol_chan_point_step.empty();
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        const int n = m.nx[l];
        const double dx = m.chan_dx[l];
        const bool outlet = m.dslink[l] == 0;
        const double* ql = q.link(l);
        const double* lat = m.qlat.link(l);
        double* a = areas.link(l);
        double* riv = seepage ? m.qriv.link(l) : nullptr;
        if (seepage) std::copy_n(m.qriv_old.link(l) + 1, std::max(n, 0), riv + 1);
        for (int j = 1; j <= n; ++j) {
            if (outlet && j == n && m.head_bound) {  // its depth is held
                if (sources) book_point_source(in, point_source(m, j, l) * h);
                if (seepage) book_seepage(in, riv[j] * dx * h);
                if (in && tracked) {
                    if (sources) m.vol_chan_point_step[j][l] = point_source(m, j, l) * h;
                    if (seepage) m.chan_gw_vol_step[j][l] = riv[j] * dx * h;
                }
                continue;
            }
            double flow;
            if (j > 1) {
                flow = ql[j - 1];
            } else if (m.ndep[l] == 0) {
                flow = m.first_order_chan_q;
                if (in) in->first_order += flow * h;
            } else {
                flow = 0.0;
                for (int k = 1; k <= m.ndep[l]; ++k) {
                    const int u = m.uslinks[l][k];
                    // What a lake gives the link below it is what node 1
                    // passes on; the lake loses the same (lake balance).
                    if (link_is_lake(m.ltype[u])) flow += q[1][l];
                    else if (m.nx[u] >= 1 && !link_is_overtaken(m.ltype[u])) flow += q[m.nx[u]][u];
                }
            }
            const double volume = a[j] * dx;
            double gain = (flow - ql[j] + lat[j] * dx) * h;
            if (sources) {
                double ps = point_source(m, j, l);
                if (ps < 0.0 && volume + gain + ps * h < 0.0) ps = -std::max(0.0, volume + gain) / h;
                gain += ps * h;
                book_point_source(in, ps * h);
                if (in && tracked) m.vol_chan_point_step[j][l] = ps * h;
            }
            if (seepage) {
                double& r = riv[j];
                if (r < 0.0 && volume + gain + r * dx * h < 0.0) r = -std::max(0.0, volume + gain) / (dx * h);
                gain += r * dx * h;
                book_seepage(in, r * dx * h);
                if (in && tracked) m.chan_gw_vol_step[j][l] = r * dx * h;
            }
            a[j] = (volume + gain) / dx;
        }
    }
}

// The point and seepage water of an accepted sub-step joins what the
// constituents will take.
void commit_tracked_volumes(model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) {
            m.vol_chan_point[j][l] += m.vol_chan_point_step[j][l];
            m.chan_gw_vol[j][l] += m.chan_gw_vol_step[j][l];
            m.vol_chan_point_step[j][l] = 0.0;
            m.chan_gw_vol_step[j][l] = 0.0;
        }
    }
}

// The largest Courant number of the open-channel nodes at sub-step h.
// False (message printed, code reported) at a node whose area is not a
// number or whose depth is negative.
bool courant_number(const model_state& m, double h, double& courant) {
    courant = 0.0;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        const double k = h / m.chan_dx[l];
        const double* a = m.area.link(l);
        const double* yp = m.yp.link(l);
        const double* bel = m.bel.link(l);
        for (int j = 1; j <= m.nx[l]; ++j) {
            if (!std::isfinite(a[j]))
                return refuse(format_text("In ex_flow_route 1:  cross-sectional area is not a number at link %d "
                                          "node %d\n",
                                          l, j));
            const double y = yp[j] - bel[j];
            if (y < 0.0)
                return refuse(format_text("in ex_flow_route 2, negative depth at link %d node %d\nprogram stopped.\n",
                                          l, j));
            courant = std::max(courant, std::sqrt(kGravity * y) * k);
        }
    }
    return true;
}

// Calls f(j, l) for every computational node of every open-channel link.
template <class F>
void for_open_nodes(const model_state& m, F f) {
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) f(j, l);
    }
}


void copy_nodes(const model_state& m, const node_table<double>& from, node_table<double>& to) {
    for (int l = 1; l <= m.nlinks; ++l) std::copy_n(from.link(l) + 1, std::max(m.nx[l], 0), to.link(l) + 1);
}

bool depths_from(model_state& m, node_table<double>& areas) {
    ex_section(m, 1, areas);
    return !g_error_record.stop;
}

enum class substep_result { accepted, repeat, failed };

// One sub-step of h seconds from area_old and qp_old.
substep_result route_substep(model_state& m, double h, entering_volumes& in) {
    double change = 1.0;
    for (int pass = 0; change > kAreaChangeLimit && pass < kMaxPasses; ++pass) {
        // The first pass starts from the depths of area_old, which stand.
        if (pass > 0 && !depths_from(m, m.area)) return substep_result::failed;
        if (!route_link_step(m, m.qp_last, h)) return substep_result::failed;
        copy_nodes(m, m.area_old, m.area);
        copy_nodes(m, m.area_old, m.area_iter);
        chan_lateral_inflow(m, m.qp_last, m.area_iter, h, nullptr);
        for (int l = 1; l <= m.nlinks; ++l) {
            if (!link_is_open_channel(m.ltype[l])) continue;
            double* a = m.area_iter.link(l);
            for (int j = 1; j <= m.nx[l]; ++j) a[j] = std::max(a[j], 0.0);
        }
        if (!depths_from(m, m.area_iter)) return substep_result::failed;
        if (!route_link_step(m, m.qp_iter, h)) return substep_result::failed;
        for (int l = 1; l <= m.nlinks; ++l) {
            if (link_is_lake_or_overtaken(m.ltype[l])) continue;
            const double* last = m.qp_last.link(l);
            const double* iter = m.qp_iter.link(l);
            double* q = m.qp.link(l);
            for (int j = 1; j <= m.nx[l]; ++j) q[j] = 0.5 * (last[j] + iter[j]);
        }
        in = entering_volumes{};
        chan_lateral_inflow(m, m.qp, m.area, h, &in);
        change = 0.0;
        bool negative = false;
        for (int l = 1; l <= m.nlinks; ++l) {
            if (!link_is_open_channel(m.ltype[l])) continue;
            const double* a = m.area.link(l);
            const double* trial = m.area_iter.link(l);
            for (int j = 1; j <= m.nx[l]; ++j) {
                change = std::max(change, std::fabs(a[j] - trial[j]));
                if (a[j] < kNegativeAreaLimit) negative = true;
            }
        }
        if (negative) return substep_result::repeat;
    }
    for_open_nodes(m, [&](int j, int l) {
        if (m.area[j][l] < 0.0) m.area[j][l] = 0.0;
    });
    return depths_from(m, m.area) ? substep_result::accepted : substep_result::failed;
}

// What the links beside each lake moved in the sub-step goes into or out
// of its volume.
void lake_balance(model_state& m, double h) {
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        const int lake = lake_of_link(m, l);
        if (!lake) continue;
        if (link_is_lake(t)) {
            const int d = m.dslink[l];
            if (d != 0 && !link_is_lake_or_overtaken(m.ltype[d])) move_lake(m, lake, -m.qp[1][d] * h);
        }
        for (int k = 1; k <= m.ndep[l]; ++k) {
            const int u = m.uslinks[l][k];
            if (link_is_lake_or_overtaken(m.ltype[u]) || m.nx[u] < 1) continue;
            move_lake(m, lake, m.qp[m.nx[u]][u] * h);
        }
    }
}

// The point sources that deliver into a lake over h seconds: those of a
// lake link and those of the nodes a lake has captured. A sink takes no
// more than the lake holds.
void lake_point_sources(model_state& m, double h, entering_volumes& in) {
    if (!has_point_sources(m)) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int t = m.ltype[l];
        int first, last, lake;
        if (link_is_lake(t)) {
            first = 1;
            last = m.nx1[l];
            lake = lake_of_link(m, l);
        } else if (link_is_overtaken(t)) {
            // The routing skips the whole link: every node's source is the lake's.
            first = 1;
            last = m.link_nodes[l];
            lake = lake_of_link(m, l);
        } else if (link_is_open_channel(t)) {
            if (m.status_node.empty()) continue;
            first = m.nx[l] + 1;
            last = m.link_nodes[l];
            lake = lake_of_link(m, m.dslink[l]);
        } else {
            continue;
        }
        if (!lake) continue;
        for (int j = first; j <= last; ++j) {
            if (link_is_open_channel(t) && !m.status_node[j][l]) continue;
            double v = point_source(m, j, l) * h;
            if (v < 0.0) v = -std::min(-v, std::max(0.0, m.lake_volume[lake]));
            m.lake_volume[lake] += v;
            if (!m.vol_chan_point.empty()) m.vol_chan_point[j][l] += v;
            (v >= 0.0 ? in.lake_sources : in.lake_sinks) += std::fabs(v);
        }
    }
}

// The share of each node's cells that lie under a lake.
void flooded_shares(model_state& m) {
    for (int l = 1; l <= m.nlinks; ++l) {
        if (link_is_lake_or_structure(m.ltype[l])) continue;
        for (int j = 1; j <= m.link_nodes[l]; ++j) m.pct_flooded[j][l] = 0.0;
    }
    for (int s = 1; s <= m.nstreamcells; ++s) {
        for (int k = 1; k <= m.gst_ncellsingrid[s]; ++k) {
            const int l = m.gst_link[s][k];
            if (link_is_lake_or_structure(m.ltype[l]) || m.lake_num[m.gst_gnum[s][k]] < 1) continue;
            const int j = m.gst_node[s][k];
            m.pct_flooded[j][l] += m.gst_pct[s][k];
            if (m.pct_flooded[j][l] > kFloodSumLimit)
                warn(format_text("Problem with the stream capturing routine, verify channel setup [%d][%d]:%.10lf\n",
                                 j, l, m.pct_flooded[j][l]));
        }
    }
}

// A node taken in this step brings its water and the lateral inflow it was
// given for the step (`qlat` over dt seconds) into the lake: the routing
// no longer visits it, and the inflow would otherwise be lost.
void capture_nodes(model_state& m, double dt) {
    for (int l = m.nlinks - 1; l >= 1; --l) {
        if (!link_is_open_channel(m.ltype[l])) continue;
        const int d = m.dslink[l];
        for (int j = m.nx[l]; j >= 1; --j) {
            const double share = m.pct_flooded[j][l];
            if (!(share > kFloodedLow && share < kFloodedHigh) || m.status_node[j][l]) break;
            const bool below_taken = j < m.link_nodes[l]
                                         ? m.status_node[j + 1][l] != 0
                                         : (m.status_node[1][d] != 0 || link_is_lake_or_overtaken(m.ltype[d]));
            const int lake = lake_of_link(m, d);
            if (!below_taken || !lake) break;
            m.status_node[j][l] = 1;
            const double water = (m.area[j][l] + m.qlat[j][l] * dt) * m.chan_dx[l];
            lake_takes_node(m, lake, j, l, water);
            move_lake(m, lake, water);
            m.area[j][l] = m.qp[j][l] = m.yp[j][l] = m.chan_depth[j][l] = m.qlat[j][l] = 0.0;
            --m.nx[l];
            if (!m.quiet)
                std::printf("node taken: [%d][%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", j, l, m.lake_elev[lake], d,
                            m.nx[l]);
            if (m.nx[l] == 0) {
                if (!m.quiet) std::printf("***KESTA  has overtaken link: %d***\n", l);
                link_set_overtaken(m.ltype[l]);
                m.ldex[l] = lake;
            }
        }
    }
}

bool release_nodes(model_state& m) {
    for (int l = 1; l <= m.nlinks - 1; ++l) {
        const int t = m.ltype[l];
        if (link_is_lake_or_structure(t)) continue;
        if (link_is_overtaken(t) && m.pct_flooded[1][l] > kDryShare) continue;
        for (int j = m.nx[l] + 1; j <= m.link_nodes[l]; ++j) {
            if (!m.status_node[j][l] || m.pct_flooded[j][l] != 0.0) break;
            if (j > 1 && m.status_node[j - 1][l]) break;
            const int lake = link_is_overtaken(m.ltype[l]) ? m.ldex[l] : lake_of_link(m, m.dslink[l]);
            if (lake < 1 || lake > m.nlakes) break;
            m.status_node[j][l] = 0;
            if (m.nx[l] < m.link_nodes[l]) ++m.nx[l];
            if (link_is_overtaken(m.ltype[l])) {
                link_clear_overtaken(m.ltype[l]);
                m.ldex[l] = l;
            }
            double depth = m.lake_elev[lake] - m.bel[j][l];
            if (depth < 0.0) {
                depth = j == 1 ? kReleaseDepth : m.yp[j - 1][l] - m.bel[j][l];
                if (depth < 0.0) depth = kReleaseDepth;
            }
            level_section s;
            if (!node_section_at_depth(m, j, l, depth, s)) return false;
            m.chan_depth[j][l] = depth;
            m.yp[j][l] = m.bel[j][l] + depth;
            m.area[j][l] = s.area;
            m.topw[j][l] = s.topw;
            m.conv[j][l] = s.conv;
            m.dconv[j][l] = s.dconv;
            m.qp[j][l] = 0.0;
            move_lake(m, lake, -s.area * m.chan_dx[l]);
            lake_gives_node(m, lake, j, l, s.area * m.chan_dx[l]);
            if (!m.quiet)
                std::printf("node released:[%d][%d], elev:%.1lf, depth:%.3lf, lakeelev:%.1lf, dslink:%d,nx: %d, "
                            "nx1_og: %d\n",
                            j, l, m.bel[j][l], depth, m.lake_elev[lake], m.dslink[l], m.nx[l], m.link_nodes[l]);
        }
    }
    return true;
}

}  // namespace

bool alloc_routing_tables(model_state& m) {
    const int rows = m.maxnodes, cols = m.nlinks;
    alloc_dmatrix(rows, cols, m.area_iter, "area_iter");
    alloc_dmatrix(rows, cols, m.qp_old, "qp_old");
    alloc_dmatrix(rows, cols, m.qp_last, "qp_last");
    alloc_dmatrix(rows, cols, m.qp_iter, "qp_iter");
    if (m.chan_lakes_on) alloc_imatrix(m.status_node, rows, cols, "status_node");
    if (!m.qriv.empty()) alloc_dmatrix(rows, cols, m.qriv_old, "qriv_old");
    const char* what = "the routing tables of the channel nodes";
    if (!blocks_made(g_error_record, what, m.area_iter, m.qp_old, m.qp_last, m.qp_iter) ||
        (m.chan_lakes_on && !blocks_made(g_error_record, what, m.status_node)) ||
        (!m.qriv.empty() && !blocks_made(g_error_record, what, m.qriv_old)))
        return false;
    for (int l = 1; l <= cols; ++l) {
        for (int j = 1; j <= rows; ++j) m.qp_last[j][l] = m.qp_iter[j][l] = m.qp[j][l];
    }
    return true;
}

int ex_flow_route(model_state& m, double dt, double courant_limit, double& outlet_volume) {
    outlet_volume = 0.0;
    ++m.route_calls;
    m.route_substeps = 0;
    if (m.chan_lakes_on) {
        flooded_shares(m);
        capture_nodes(m, dt);
        if (!release_nodes(m)) return -1;
    }
    const int out_link = m.nlinks;
    double remaining = dt, h = dt;
    while (remaining > kDone) {
        double courant = 0.0;
        if (!courant_number(m, h, courant)) return -1;
        if (courant > courant_limit) h /= static_cast<int>(courant / courant_limit) + 1;
        // The seepage of the sub-step, from the depths at its start; a
        // repeated attempt keeps it.
        const bool seepage = stream_exchange_on(m);
        if (seepage) {
            chan_gw_exchange(m);
            if (g_error_record.stop) return -1;
            copy_nodes(m, m.qriv, m.qriv_old);
        }
        copy_nodes(m, m.area, m.area_old);
        copy_nodes(m, m.qp, m.qp_old);
        for (;;) {
            if (h < kSmallestSubstep) {
                refuse("The channel routing time step is getting really small\n"
                       "less than 1/1000 of a second\n"
                       "Reduce the model time step by a factor of 2 and try again.\n"
                       "Program stopped.\n");
                return -1;
            }
            remaining -= h;
            if (remaining <= kRemainderLimit) {
                h += remaining;
                remaining = 0.0;
            }
            entering_volumes in;
            const substep_result r = route_substep(m, h, in);
            if (r == substep_result::failed) return -1;
            if (r == substep_result::accepted) {
                book_water(m, water_flow::first_order_inflow, in.first_order);
                book_water(m, water_flow::stream_point_sources, in.point_sources);
                book_water(m, water_flow::stream_point_sinks, in.point_sinks);
                book_water(m, water_flow::gw_to_channels, in.gw_gain);
                book_water(m, water_flow::channels_to_gw, in.gw_loss);
                if (seepage) book_stream_exchange(m, h);
                if (!m.vol_chan_point_step.empty()) commit_tracked_volumes(m);
                break;
            }
            remaining += h;
            h /= 2.0;
            copy_nodes(m, m.area_old, m.area);
            copy_nodes(m, m.qp_old, m.qp);
            copy_nodes(m, m.qp_old, m.qp_last);
            copy_nodes(m, m.qp_old, m.qp_iter);
            if (!depths_from(m, m.area)) return -1;
        }
        if (m.chan_lakes_on) {
            lake_balance(m, h);
            if (lake_leakage_on(m)) book_lake_leakage(m, h);
            entering_volumes lake_in;
            lake_point_sources(m, h, lake_in);
            book_water(m, water_flow::lake_point_sources, lake_in.lake_sources);
            book_water(m, water_flow::lake_point_sinks, lake_in.lake_sinks);
        }
        outlet_volume += m.qp[m.nx[out_link]][out_link] * h;
        if (!m.qp_vol.empty()) {
            for (int l = 1; l <= m.nlinks; ++l) {
                if (link_is_lake_or_overtaken(m.ltype[l])) continue;
                for (int j = 1; j <= m.nx[l]; ++j) m.qp_vol[j][l] += m.qp[j][l] * h;
            }
        }
        if (m.chan_sed_on) {
            for (int l = 1; l <= m.nlinks; ++l) {
                if (link_is_lake_or_overtaken(m.ltype[l])) continue;
                for (int j = 1; j <= m.nx[l]; ++j) m.qp_vol_sed[j][l] += m.qp[j][l] * h;
            }
        }
        ++m.route_substeps;
    }
    return 0;
}

void track_max_2d(const node_table<double>& values, node_table<double>& maxima, const vec1<int>& nx, int nlinks) {
    for (int l = 1; l <= nlinks; ++l) {
        for (int j = 1; j <= nx[l]; ++j) maxima[j][l] = std::max(maxima[j][l], values[j][l]);
    }
}

}  // namespace kesta
