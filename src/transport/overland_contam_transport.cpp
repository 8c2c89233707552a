// Overland transport of the dissolved constituents: at every constituent
// interval each constituent moves over the grid with the water the overland
// step routed (advection with the face discharges, dispersion between wet
// neighbours), then leaves the cells that dried to the soil or the land.
//
// The scheme works on masses. One pass moves mass along one axis: face
// amounts from the concentrations at the pass's start (upwind advection,
// dispersion by the smaller of the two cells' depth times coefficient) give
// a predicted mass; the amounts from the predicted concentrations are
// averaged with the first ones. Two passes, one per axis, make a sub-step;
// the axis that goes first alternates from one interval to the next. The
// overland step has already moved the water over the interval: a cell's
// water is taken to go linearly from what the constituent's mass was
// dissolved in to its new depth, so that mass and water end the interval
// together. The interval is cut into sub-steps short enough that no cell
// gives more than half its mass in one, which keeps the explicit scheme
// stable and every mass positive; a cell that would give more than it holds
// all the same (a sliver of water under a strong flow, past the most
// sub-steps) gives exactly what it holds, so mass is never made or lost.
#include <algorithm>
#include <cmath>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kMostGiven = 0.5;        // share of its mass a cell may give in a sub-step
constexpr double kCountedDepth = 1e-6;    // m; shallower cells are left to the limiter when counting sub-steps
constexpr int kMostSubsteps = 10000;      // per interval and constituent
constexpr double kStranded = 1e-16;       // g; less on a dry cell stays where it is

struct axis_view {
    const int* up;    // the neighbour across the face whose amounts a cell keeps
    const int* down;  // the neighbour across the other face of the axis
    const double* q;  // discharge of each cell's face towards `down`
    bool outlet;      // the outlet's outflow leaves in this pass
};

// Water of cell i at the fraction s of the interval (m3).
inline double volume_at(const transport_grid& g, int i, double s) {
    return g.vol0[i] + (g.vol1[i] - g.vol0[i]) * s;
}

// Concentration of every cell from its mass and its water at the fraction s.
void concentrations(const transport_grid& g, const double* mass, double s, double* conc) {
    const double dry = kDryDepth * g.dx * g.dx;
    for (int i = 1; i <= g.n; ++i) {
        const double v = volume_at(g, i, s);
        conc[i] = v > dry && mass[i] > 0.0 ? mass[i] / v : 0.0;
    }
}

// Amount (g/s) into cell i through the face it shares with its `up`
// neighbour j, from the concentrations and the water at the fraction s.
inline double face_amount(const transport_grid& g, const axis_view& a, const double* disp, const double* conc,
                          double s, double inv_area, int i, int j) {
    const double q = a.q[j];
    double amount = q >= 0.0 ? q * conc[j] : q * conc[i];
    const double hi = volume_at(g, i, s) * inv_area, hj = volume_at(g, j, s) * inv_area;
    if (hi > kDryDepth && hj > kDryDepth) amount += std::min(hi * disp[i], hj * disp[j]) * (conc[j] - conc[i]);
    return amount;
}

// The cut of each cell's giving once some cells give less than asked: a
// cell takes only what its givers give, so the cuts are refined until they
// hold; if they do not settle, every cell gives at most what it held at the
// start, which always holds.
void limit_givers(const axis_view& a, int n, const double* mass, const double* face, double dts,
                  const double* given, double* taken, double* limit) {
    constexpr int kMostRounds = 20;
    for (int i = 0; i <= n; ++i) limit[i] = 1.0;
    for (int round = 0; round < kMostRounds; ++round) {
        for (int i = 0; i <= n; ++i) taken[i] = 0.0;
        for (int i = 1; i <= n; ++i) {
            const int j = a.up[i];
            if (j == 0) continue;
            const double f = face[i] * dts;
            if (f > 0.0) taken[i] += f * limit[j];
            else taken[j] -= f * limit[i];
        }
        bool changed = false;
        for (int i = 1; i <= n; ++i) {
            if (!(given[i] > mass[i] + taken[i])) continue;
            const double cut = (mass[i] + taken[i]) / given[i];
            if (cut < limit[i]) {
                limit[i] = cut;
                changed = true;
            }
        }
        if (!changed) return;
    }
    for (int i = 1; i <= n; ++i) limit[i] = given[i] > mass[i] ? mass[i] / given[i] : 1.0;
}

// One pass along an axis from the fraction s0 to s1 of the interval, dts
// seconds long. Returns what left through the outlet (g).
double pass(const transport_grid& g, const axis_view& a, const double* disp, double* mass, double s0, double s1,
            double dts, transport_work& w) {
    const int n = g.n;
    const int outlet = a.outlet ? g.outlet : 0;
    const double inv_area = 1.0 / (g.dx * g.dx);
    const double dry = kDryDepth * g.dx * g.dx;
    double* conc = w.conc;
    double* pred = w.face_pred;
    double* face = w.face;
    concentrations(g, mass, s0, conc);
    pred[0] = face[0] = 0.0;
    for (int i = 1; i <= n; ++i) {
        const int j = a.up[i];
        pred[i] = j ? face_amount(g, a, disp, conc, s0, inv_area, i, j) : 0.0;
    }
    const double out_pred = outlet ? g.q_out * conc[outlet] : 0.0;
    // The predicted concentrations at the pass's end.
    for (int i = 1; i <= n; ++i) {
        const int d = a.down[i];
        double star = mass[i] + (pred[i] - (d ? pred[d] : 0.0)) * dts;
        if (i == outlet) star -= out_pred * dts;
        const double v = volume_at(g, i, s1);
        conc[i] = v > dry && star > 0.0 ? star / v : 0.0;
    }
    const double out = outlet ? 0.5 * (out_pred + g.q_out * conc[outlet]) : 0.0;
    // The averaged amounts, and what each cell gives over the pass (g).
    double* given = w.mstar;
    for (int i = 0; i <= n; ++i) given[i] = 0.0;
    for (int i = 1; i <= n; ++i) {
        const int j = a.up[i];
        if (j == 0) {
            face[i] = 0.0;
            continue;
        }
        const double f = 0.5 * (pred[i] + face_amount(g, a, disp, conc, s1, inv_area, i, j));
        face[i] = f;
        if (f > 0.0) given[j] += f * dts;
        else given[i] -= f * dts;
    }
    if (outlet) given[outlet] += out * dts;
    // A cell that would give more than it holds and takes has all it gives
    // cut in proportion.
    bool limited = false;
    for (int i = 1; i <= n && !limited; ++i) limited = given[i] > mass[i];
    double left = out * dts;
    if (limited) {
        double* limit = w.limit;
        double* taken = conc;
        limit_givers(a, n, mass, face, dts, given, taken, limit);
        for (int i = 1; i <= n; ++i) {
            const int j = a.up[i];
            if (j != 0) face[i] *= face[i] > 0.0 ? limit[j] : limit[i];
        }
        if (outlet) left *= limit[outlet];
    }
    for (int i = 1; i <= n; ++i) {
        const int d = a.down[i];
        double mi = mass[i] + (face[i] - (d ? face[d] : 0.0)) * dts;
        if (i == outlet) mi -= left;
        mass[i] = mi > 0.0 ? mi : 0.0;  // a limited cell ends at 0 up to round-off
    }
    return left;
}

// Sub-steps (at most `most`) in which no cell above kCountedDepth gives
// more than kMostGiven of its mass along either axis.
int substeps_for(double fastest, double dt, int most) {
    const double needed = std::ceil(fastest * dt / kMostGiven);
    if (!(needed >= 1.0)) return 1;
    return needed > most ? most : static_cast<int>(needed);
}

// The sub-steps of the interval; `flow` receives those the flow alone
// would need.
int count_substeps(const transport_grid& g, const double* disp, double dt, int most, int& flow) {
    const double area = g.dx * g.dx;
    double fastest = 0.0, fastest_flow = 0.0;  // 1/s
    for (int i = 1; i <= g.n; ++i) {
        const double v = std::min(g.vol0[i], g.vol1[i]);
        if (!(v > kCountedDepth * area)) continue;
        const int l = g.left[i], u = g.above[i];
        double x = std::max(g.qx[i], 0.0) + (l ? std::max(-g.qx[l], 0.0) : 0.0);
        const double y = std::max(g.qy[i], 0.0) + (u ? std::max(-g.qy[u], 0.0) : 0.0);
        if (i == g.outlet) x += g.q_out;
        const double carried = std::max(x, y) / v;
        const double rate = carried + 2.0 * disp[i] / area;
        if (rate > fastest) fastest = rate;
        if (carried > fastest_flow) fastest_flow = carried;
    }
    flow = substeps_for(fastest_flow, dt, most);
    return substeps_for(fastest, dt, most);
}

// True when no cell holds water at either end of the interval, with a
// margin that keeps every water at a fraction of the interval below the
// depth at which a cell takes part in a pass.
bool all_dry(const transport_grid& g) {
    const double dry = 0.5 * kDryDepth * g.dx * g.dx;
    for (int i = 1; i <= g.n; ++i)
        if (g.vol0[i] > dry || g.vol1[i] > dry) return false;
    return true;
}

// True when every cell holds exactly 0 g of the constituent.
bool holds_nothing(const transport_grid& g, const double* mass) {
    for (int i = 1; i <= g.n; ++i)
        if (mass[i] != 0.0) return false;
    return true;
}

// A mass that is not a number stops the run, naming the constituent and
// the first cell that holds one.
bool masses_are_real(const model_state& m, int c) {
    const vec1<double>& mass = m.contam_mass[static_cast<std::size_t>(c)];
    double sum = 0.0;
    for (int k = 1; k <= m.ncells; ++k) sum += mass[k];
    if (std::isfinite(sum)) return true;
    int bad = 1;
    while (bad < m.ncells && std::isfinite(mass[bad])) ++bad;
    return refuse(format_text("A non-real number for the overland mass of constituent %d (%s) has been detected "
                              "for overland cell %d after its transport\n",
                              c, m.contam_names[static_cast<std::size_t>(c)].c_str(), bad));
}

// The constituent interval ends now; the next is due with the overland
// step's.
void advance_wq_clock(model_state& m) {
    m.wq_last = m.time;
    m.wq_next = m.ov_next_time > m.time + m.time_tol ? m.ov_next_time : m.time + m.ov_interval;
}

}  // namespace

int advect_disperse(const transport_grid& g, const double* disp, double* mass, double dt, int order,
                    transport_work& w, int max_substeps, double& outlet_mass, int* flow_substeps) {
    outlet_mass = 0.0;
    if (flow_substeps) *flow_substeps = 0;
    if (g.n < 1 || !(dt > 0.0)) return 0;
    int flow = 0;
    const int steps = count_substeps(g, disp, dt, max_substeps > 0 ? max_substeps : 1, flow);
    if (flow_substeps) *flow_substeps = flow;
    if (all_dry(g) || holds_nothing(g, mass)) {
        // No cell holds water at any time of the interval, or none holds
        // mass: every amount is 0 and a pass only keeps each mass at 0 or
        // above.
        for (int i = 1; i <= g.n; ++i) mass[i] = mass[i] > 0.0 ? mass[i] : 0.0;
        return steps;
    }
    const double dts = dt / steps;
    const axis_view x{g.left, g.right, g.qx, g.outlet != 0};
    const axis_view y{g.above, g.below, g.qy, false};
    const axis_view& first = order == 1 ? y : x;
    const axis_view& second = order == 1 ? x : y;
    for (int s = 0; s < steps; ++s) {
        const double s0 = static_cast<double>(s) / steps;
        const double sm = (s + 0.5) / steps;
        const double s1 = static_cast<double>(s + 1) / steps;
        outlet_mass += pass(g, first, disp, mass, s0, sm, dts, w);
        outlet_mass += pass(g, second, disp, mass, sm, s1, dts, w);
    }
    return steps;
}

namespace {

// Channel-network lakes take part in the transport as the cells they
// cover: each covered cell holds an equal share of its lake's water and
// mass for the call (so it shows the lake's concentration to its
// neighbours), does not disperse, and gives its lake back what the cells
// hold after it. False without lakes.
bool lakes_in_transport(const model_state& m) {
    return m.chan_lakes_on && !m.chan_mass.empty() && m.lake_num.n() >= m.ncells && m.nlakes >= 1 &&
           m.tr_lake_share.n() >= m.nlakes;
}

int lake_of_cell(const model_state& m, int k) {
    const int lake = m.lake_num[k];
    return lake >= 1 && lake <= m.nlakes ? lake : 0;
}

// The share of its lake each covered cell holds (1 / the cells covered),
// and the covered cells' water.
void share_lakes(model_state& m) {
    vec1<double>& share = m.tr_lake_share;
    share.fill(0.0);
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = lake_of_cell(m, k);
        if (lake) share[lake] += 1.0;
    }
    for (int lake = 1; lake <= m.nlakes; ++lake) share[lake] = share[lake] > 0.0 ? 1.0 / share[lake] : 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = lake_of_cell(m, k);
        if (!lake) continue;
        m.tr_vol0[k] = m.tr_vol1[k] = std::max(0.0, m.lake_volume[lake]) * share[lake];
    }
}

void spread_lake_mass(model_state& m, int c, double* mass) {
    const int row0 = m.chan_lake_row0;
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = lake_of_cell(m, k);
        if (lake) mass[k] = m.chan_mass[c][row0 + lake] * m.tr_lake_share[lake];
    }
}

// The covered cells give their lakes what they hold; the lakes' gains are
// the overland's inflow to them.
void gather_lake_mass(model_state& m, int c, double* mass, double* conc) {
    const int row0 = m.chan_lake_row0;
    double* lake_mass = m.chan_mass[c];
    double before = 0.0, after = 0.0;
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        before += lake_mass[row0 + lake];
        lake_mass[row0 + lake] = 0.0;
    }
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = lake_of_cell(m, k);
        if (!lake) continue;
        lake_mass[row0 + lake] += mass[k];
        after += mass[k];
        mass[k] = 0.0;
        conc[k] = 0.0;
    }
    book(m, con_flow::lake_from_overland, c, after - before);
}

}  // namespace

void step_overland_contam_transport(model_state& m) {
    if (!m.ov_con_trans || !clock_due(m.wq_next, m.time, m.time_tol)) return;
    if (m.ncontam <= 0) {
        // No constituent (its arrays are not made): the clock goes on.
        advance_wq_clock(m);
        return;
    }
    const double dt = (m.wq_next - m.wq_last) * kSecondsPerDay;
    const int n = m.ncells;
    const double area = m.gridsize * m.gridsize;
    if (dt > 0.0) {
        for (int k = 1; k <= n; ++k) {
            m.tr_vol0[k] = m.contam_water[k] * area;
            m.tr_vol1[k] = m.h[k] * area;
        }
        transport_grid g;
        g.n = n;
        g.dx = m.gridsize;
        g.left = m.leftcon.data();
        g.right = m.rightcon.data();
        g.above = m.abovecon.data();
        g.below = m.belowcon.data();
        g.qx = m.qx.data();
        g.qy = m.qy.data();
        g.vol0 = m.tr_vol0.data();
        g.vol1 = m.tr_vol1.data();
        if (!m.chan_routing && m.outlet_cell >= 1 && m.outlet_cell <= n) {
            g.outlet = m.outlet_cell;
            g.q_out = m.discharge_volume_contam / dt;
        }
        transport_work w{m.tr_conc.data(), m.tr_mstar.data(), m.tr_limit.data(), m.tr_face_pred.data(),
                         m.tr_face.data()};
        const bool lakes = lakes_in_transport(m);
        if (lakes) share_lakes(m);
        for (int c = 1; c <= m.ncontam; ++c) {
            if (!carried_by_water(m, c)) continue;
            const std::size_t s = static_cast<std::size_t>(c);
            double* mass = m.contam_mass[s].data();
            double* conc = m.contam_conc[s].data();
            const double* disp = m.contam_disp[s].data();
            if (lakes) {
                // Lake cells do not disperse.
                for (int k = 1; k <= n; ++k) m.tr_disp[k] = lake_of_cell(m, k) ? 0.0 : disp[k];
                disp = m.tr_disp.data();
                spread_lake_mass(m, c, mass);
            }
            double out = 0.0;
            int flow = 0;
            const int steps = advect_disperse(g, disp, mass, dt, m.ov_con_buffer, w, kMostSubsteps, out, &flow);
            substep_stats& st = m.ov_route_stats;
            ++st.intervals;
            st.substeps += steps;
            st.set_by_flow += flow;
            st.most = std::max(st.most, steps);
            if (steps >= kMostSubsteps) ++st.at_most;
            if (out > 0.0) book(m, con_flow::ov_outlet, c, out);
            if (lakes) gather_lake_mass(m, c, mass, conc);
            for (int k = 1; k <= n; ++k) {
                if (lakes && lake_of_cell(m, k)) continue;
                const double h = m.h[k];
                if (h >= kDryDepth) {
                    conc[k] = mass[k] / (h * area);
                    continue;
                }
                conc[k] = 0.0;
                if (mass[k] < kStranded) continue;
                leave_dry_cell(m, c, k);
            }
            if (!masses_are_real(m, c)) return;
        }
    }
    m.discharge_volume_contam = 0.0;
    m.ov_con_buffer = m.ov_con_buffer == 1 ? 2 : 1;
    advance_wq_clock(m);
    for (int k = 1; k <= n; ++k) m.contam_water[k] = m.h[k];
}

}  // namespace kesta
