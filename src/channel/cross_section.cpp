// Cross-section geometry. A trapezoid is given by its bottom width and side
// slope and has closed forms. A surveyed section (station and elevation
// pairs) becomes a level table once: at N levels spaced evenly between its
// lowest and highest point, the wetted stretches of the section give the
// flow area, top width, wetted perimeter and conveyance, and depths between
// levels are interpolated in the table.
#include "channel/cross_section.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/reader_support.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr int kMaxStretches = 49;          // wetted stretches one level may cross
constexpr int kMaxInterp = 30000;          // levels of one table
constexpr double kMinSpacing = 0.0001;     // m between levels
constexpr double kMaxSpacing = 1.0;        // m
constexpr double kTwoThirds = 2.0 / 3.0;
constexpr double kFiveThirds = 5.0 / 3.0;

bool refuse_jagged(int link, bool leading_newlines) {
    return refuse(format_text("%sThere is a serious problem with a channel cross-section in\n"
                              "link %d.  The cross-section interpolation routine has found\n"
                              "that this cross-section is very jagged, with over 50 'islands'\n"
                              "for certain depths.  Calculating cross-section properties in\n"
                              "this case is very dubious.  Check your cross section, smooth\n"
                              "it if necessary and try again.\n",
                              leading_newlines ? "\n\n" : "", link));
}

// One section to tabulate: pairs x[1..n], y[1..n] in station order.
struct section_view {
    const double* x;
    const double* y;
    int n;
};

// How the two builders differ: a surveyed table opens the first stretch
// only on a level strictly above the first point and refuses a stretch
// that opens on a flat stretch of ground; a node's own table (erodible
// links) opens on a level at the first point too and takes the flat
// stretch's start as the edge.
struct build_rules {
    bool surveyed;
};

// The station where the ground line from point i-1 to point i meets level L.
double crossing(const section_view& s, int i, double level) {
    const double dy = s.y[i] - s.y[i - 1];
    return s.x[i - 1] + (s.x[i] - s.x[i - 1]) * (level - s.y[i - 1]) / dy;
}

// Level table t of one section with N levels (N validated by the caller)
// and the link's 1 / Manning's n.
bool build_levels(model_state& m, int link, int t, const section_view& s, int levels, build_rules rules) {
    double zlo = s.y[1], zhi = s.y[1];
    for (int i = 2; i <= s.n; ++i) {
        zlo = std::min(zlo, s.y[i]);
        zhi = std::max(zhi, s.y[i]);
    }
    const double h = (zhi - zlo) / levels;
    m.ht_spc[t] = h;
    m.numhts[t] = levels;
    const double strick = m.strick[link];
    int a[kMaxStretches + 1], b[kMaxStretches + 1];
    double xl[kMaxStretches + 1], xr[kMaxStretches + 1];
    for (int k = 1; k <= levels; ++k) {
        const double L = zlo + k * h;
        int opened = 0, opener = 0;
        bool open = false;
        auto open_at = [&](int left, double edge, int by) {
            if (opened == kMaxStretches) return false;
            ++opened;
            a[opened] = left;
            xl[opened] = edge;
            opener = by;
            open = true;
            return true;
        };
        if ((rules.surveyed ? L > s.y[1] : L >= s.y[1]) && !open_at(1, s.x[1], 1))
            return refuse_jagged(link, rules.surveyed);
        for (int i = 1; i <= s.n; ++i) {
            if (!open) {
                if (s.y[i] > L) continue;
                double edge = s.x[1];
                if (i > 1) {
                    if (s.y[i] == s.y[i - 1]) {
                        if (rules.surveyed)
                            return refuse(format_text("Error in your channel (%d). Each Z values must be different "
                                                      "from it's neighbor\n",
                                                      link));
                        edge = s.x[i - 1];
                    } else {
                        edge = crossing(s, i, L);
                    }
                }
                if (!open_at(i > 1 ? i - 1 : 1, edge, i)) return refuse_jagged(link, rules.surveyed);
            } else if (i != opener && s.y[i] >= L) {
                b[opened] = i;
                xr[opened] = s.y[i] == s.y[i - 1] ? s.x[i] : crossing(s, i, L);
                open = false;
            }
        }
        if (open) {
            b[opened] = s.n;
            xr[opened] = s.x[s.n];
        }
        double width = 0.0, area = 0.0, perimeter = 0.0;
        for (int q = 1; q <= opened; ++q) {
            const int lo = a[q] + 1, hi = b[q] - 1;
            width += xr[q] - xl[q];
            perimeter += std::hypot(s.x[lo] - xl[q], L - s.y[lo]) + std::hypot(xr[q] - s.x[hi], L - s.y[hi]);
            area += 0.5 * (s.x[lo] - xl[q]) * (L - s.y[lo]) + 0.5 * (xr[q] - s.x[hi]) * (L - s.y[hi]);
            for (int i = a[q] + 2; i <= hi; ++i) {
                perimeter += std::hypot(s.x[i] - s.x[i - 1], s.y[i] - s.y[i - 1]);
                area += 0.5 * (s.x[i] - s.x[i - 1]) * ((L - s.y[i]) + (L - s.y[i - 1]));
            }
        }
        m.xtw[k][t] = width;
        m.xarea[k][t] = area;
        m.xp[k][t] = perimeter;
        m.xk[k][t] = perimeter > 0.0 ? strick * area * std::pow(area / perimeter, kTwoThirds) : 0.0;
    }
    return true;
}

// NUM_INTERP and the spacing it gives must lie in their ranges.
bool levels_valid(int link, int table, int levels, const section_view& s) {
    if (levels < 1 || levels > kMaxInterp)
        return refuse(format_text("\n\nError: The number of interpolation points [%d] for table %d in link %d is "
                                  "invalid. (Range is 1-30000.) \n",
                                  levels, table, link));
    double zlo = s.y[1], zhi = s.y[1];
    for (int i = 2; i <= s.n; ++i) {
        zlo = std::min(zlo, s.y[i]);
        zhi = std::max(zhi, s.y[i]);
    }
    const double h = (zhi - zlo) / levels;
    if (h >= kMinSpacing && h <= kMaxSpacing) return true;
    return refuse(format_text("\n\nError: The interpolation distance [%6.5lf] produced by the number of "
                              "interpolation points [%d]\nfor table %d in link %d is invalid. (Range is 0.0001 to "
                              "1.0)\n",
                              h, levels, table, link));
}

section_view view_of(const bp_section& s) { return {s.x.data(), s.y.data(), s.npairs}; }

// Table t of a node between surveyed nodes p and q, read from their tables
// tp and tq at the node's own level depths.
void interpolate_table(model_state& m, int j, int p, int q, int t, int tp, int tq) {
    const int levels = m.numhts[t];
    const double w = static_cast<double>(j - p) / (q - p);
    const double h = m.ht_spc[tp] + w * (m.ht_spc[tq] - m.ht_spc[tp]);
    m.ht_spc[t] = h;
    m.numpairs[t] = m.numpairs[tp];
    mat2<double>* columns[] = {&m.xarea, &m.xtw, &m.xp, &m.xk};
    for (int k = 1; k <= levels; ++k) {
        const double d = k * h;
        for (mat2<double>* col : columns) {
            auto at = [&](int table) {
                const double ht = m.ht_spc[table];
                const mat2<double>& v = *col;
                if (d > levels * ht) return v[levels - 1][table] + (d - (levels - 1) * ht) *
                                                                       (v[levels][table] - v[levels - 1][table]) / ht;
                if (d < ht) return d / ht * v[1][table];
                const int i = std::min(static_cast<int>(d / ht), levels - 1);
                return v[i][table] + (d - i * ht) * (v[i + 1][table] - v[i][table]) / ht;
            };
            const double vp = at(tp);
            (*col)[k][t] = vp + w * (at(tq) - vp);
        }
    }
}

// A surveyed section resampled to its own number of stations, evenly spaced
// between its first and last station, into the node's pairs.
void resample(model_state& m, int b, const bp_section& s) {
    const int n = s.npairs;
    double xmin = s.x[1], xmax = s.x[1];
    for (int i = 2; i <= n; ++i) {
        xmin = std::min(xmin, s.x[i]);
        xmax = std::max(xmax, s.x[i]);
    }
    const double dx = (xmax - xmin) / (n - 1);
    for (int i = 1; i <= n; ++i) {
        const double st = xmin + (i - 1) * dx;
        int k = 1;
        while (k < n && s.x[k] < st) ++k;
        double y = s.y[k];
        if (i == n) y = s.y[n];
        else if (i > 1 && k > 1 && s.x[k] != s.x[k - 1])
            y = s.y[k - 1] + (st - s.x[k - 1]) * (s.y[k] - s.y[k - 1]) / (s.x[k] - s.x[k - 1]);
        m.xbp_lnn[b][s.node][i] = st;
        m.ybp_lnn[b][s.node][i] = y;
    }
}

// Pairs of every node of an erodible link from the resampled pairs of its
// surveyed nodes: the end sections hold beyond the first and last, nodes
// between take pair by pair the interpolation by node number.
void spread_pairs(model_state& m, int link, const std::vector<bp_section>& sections, int pairs) {
    const int b = m.bplink[link];
    const int first = sections.front().node, last = sections.back().node;
    std::size_t next = 0;  // first section at or after node j
    for (int j = 1; j <= m.nx1[link]; ++j) {
        while (next < sections.size() && sections[next].node < j) ++next;
        if (next < sections.size() && sections[next].node == j) continue;
        const int from = j < first ? first : j > last ? last : 0;
        for (int i = 1; i <= pairs; ++i) {
            if (from != 0) {
                m.xbp_lnn[b][j][i] = m.xbp_lnn[b][from][i];
                m.ybp_lnn[b][j][i] = m.ybp_lnn[b][from][i];
                continue;
            }
            const int p = sections[next - 1].node, q = sections[next].node;
            const double w = static_cast<double>(j - p) / (q - p);
            m.xbp_lnn[b][j][i] = m.xbp_lnn[b][p][i] + w * (m.xbp_lnn[b][q][i] - m.xbp_lnn[b][p][i]);
            m.ybp_lnn[b][j][i] = m.ybp_lnn[b][p][i] + w * (m.ybp_lnn[b][q][i] - m.ybp_lnn[b][p][i]);
        }
    }
}

// Sections of one link share their pair count when there are two, and
// always their level count (the greater).
bool harmonise(int link, bool erodible, std::vector<bp_section>& sections, int& levels) {
    levels = 0;
    bool unequal_levels = false;
    for (const bp_section& s : sections) {
        if (levels != 0 && s.num_interp != levels) unequal_levels = true;
        levels = std::max(levels, s.num_interp);
    }
    if (unequal_levels)
        std::printf("\nUsing the greater of the two number of interpolation points \nfor both cross-section in "
                    "link %d.\n",
                    link);
    if (sections.size() == 2 && sections[0].npairs != sections[1].npairs) {
        const int longer = sections[0].npairs > sections[1].npairs ? 0 : 1;
        const int fewer = sections[1 - longer].npairs;
        std::printf("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
                    "            must be equal, which they are not for link %d.\n\n",
                    link);
        std::printf("  ---> Disregarding the last %d pairs of the %s cross-section. <---\n\n",
                    sections[longer].npairs - fewer, longer == 0 ? "first" : "second");
        sections[longer].npairs = fewer;
    }
    if (!erodible) return true;
    for (const bp_section& s : sections) {
        if (s.npairs != sections.front().npairs)
            return refuse(format_text("Error: the sections of erodible breakpoint link %d must have equal "
                                      "NPAIRS; the section of node %d has %d, that of node %d has %d.\n",
                                      link, sections.front().node, sections.front().npairs, s.node, s.npairs));
    }
    return true;
}

}  // namespace

int bp_link_table_count(const model_state& m, int link, const std::vector<bp_section>& sections) {
    if (link_is_erodible(m.ltype[link])) return m.nx1[link];
    if (sections.size() <= 1) return 1;
    return sections.back().node - sections.front().node + 1;
}

bool interp_breakpoint_xsec(model_state& m, int link, std::vector<bp_section>& sections, int first_table) {
    const bool erodible = link_is_erodible(m.ltype[link]);
    int levels = 0;
    if (!harmonise(link, erodible, sections, levels)) return false;
    const int first = sections.front().node, last = sections.back().node;
    if (!m.first.empty()) {
        m.first[link] = first;
        m.last[link] = last;
    }
    for (int j = 1; j <= m.nx1[link]; ++j) {
        int t = first_table;
        if (erodible) t = first_table + j - 1;
        else if (sections.size() > 1) t = first_table + std::clamp(j, first, last) - first;
        m.table_num[j][link] = t;
        m.numhts[t] = levels;
        m.numpairs[t] = sections.front().npairs;
    }
    if (erodible) {
        for (const bp_section& s : sections) resample(m, m.bplink[link], s);
        spread_pairs(m, link, sections, sections.front().npairs);
        for (int j = 1; j <= m.nx1[link]; ++j) {
            if (!xsec_props(m, link, j)) return false;
        }
        return true;
    }
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const bp_section& s = sections[k];
        const int t = m.table_num[s.node][link];
        m.numpairs[t] = s.npairs;
        if (!levels_valid(link, static_cast<int>(k) + 1, levels, view_of(s))) return false;
        if (!build_levels(m, link, t, view_of(s), levels, build_rules{true})) return false;
    }
    for (std::size_t k = 1; k < sections.size(); ++k) {
        const int p = sections[k - 1].node, q = sections[k].node;
        for (int j = p + 1; j < q; ++j)
            interpolate_table(m, j, p, q, m.table_num[j][link], m.table_num[p][link], m.table_num[q][link]);
    }
    return true;
}

bool xsec_props(model_state& m, int link, int node) {
    const int t = m.table_num[node][link];
    const int b = m.bplink[link];
    const section_view s{m.xbp_lnn[b][node], m.ybp_lnn[b][node], m.numpairs[t]};
    if (!levels_valid(link, t, m.numhts[t], s)) return false;
    return build_levels(m, link, t, s, m.numhts[t], build_rules{false});
}

void ex_section(model_state& m, int mode) {
    if (mode != 2) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int type = m.ltype[l];
        const bool trapezoid = link_is_trapezoid(type);
        if (!trapezoid && !link_is_breakpoint(type)) continue;
        const double s = m.strick[l];
        for (int j = 1; j <= m.nx[l]; ++j) {
            const double y = m.yp[j][l] - m.bel[j][l];
            if (y < 0.0) {
                refuse(format_text("In ex_section.c - %d\nprogram stopped for negative depth, node %d, link %d\n",
                                   trapezoid ? 1 : 3, j, l));
                return;
            }
            if (trapezoid) {
                const double b = m.bottom[j][l], z = m.sslope[j][l];
                const double side = std::sqrt(z * z + 1.0);
                const double tw = 2.0 * y * z + b;
                const double p = 2.0 * y * side + b;
                const double a = (y * z + b) * y;
                m.topw[j][l] = tw;
                m.area[j][l] = a;
                // A dry section has no conveyance (and a dry V has no perimeter).
                const bool wet = a > 0.0 && p > 0.0;
                m.conv[j][l] = wet ? s * a * std::pow(a / p, kTwoThirds) : 0.0;
                m.dconv[j][l] = wet ? s * (kFiveThirds * std::pow(a, kTwoThirds) * std::pow(p, -kTwoThirds) * tw -
                                           kTwoThirds * std::pow(a, kFiveThirds) * std::pow(p, -kFiveThirds) * 2.0 *
                                               side)
                                    : 0.0;
                continue;
            }
            const int t = m.table_num[j][l];
            if (t < 1 || t > m.ntables) {
                refuse_on_stderr("Error in section: Request for table beyond max. table number.\n");
                return;
            }
            const double h = m.ht_spc[t];
            const int n = m.numhts[t];
            if (y >= h && y > n * h) {
                m.xsec_above_table = 1;
                const double f = (y - n * h) / h;
                m.area[j][l] = f * (m.xarea[n][t] - m.xarea[n - 1][t]) + m.xarea[n][t];
                m.topw[j][l] = f * (m.xtw[n][t] - m.xtw[n - 1][t]) + m.xtw[n][t];
                m.conv[j][l] = f * (m.xk[n][t] - m.xk[n - 1][t]) + m.xk[n][t];
                m.dconv[j][l] = (m.xk[n][t] - m.xk[n - 1][t]) / h;
            } else if (y >= h) {
                const int i = std::min(static_cast<int>(y / h), n - 1);
                const double f = (y - i * h) / h;
                m.area[j][l] = f * (m.xarea[i + 1][t] - m.xarea[i][t]) + m.xarea[i][t];
                m.topw[j][l] = f * (m.xtw[i + 1][t] - m.xtw[i][t]) + m.xtw[i][t];
                m.conv[j][l] = f * (m.xk[i + 1][t] - m.xk[i][t]) + m.xk[i][t];
                m.dconv[j][l] = (m.xk[i + 1][t] - m.xk[i][t]) / h;
            } else {
                // Below the first level the section fills as a power law through it.
                const double scale = std::pow(y / h, kFiveThirds);
                m.area[j][l] = m.xarea[1][t] * scale;
                m.topw[j][l] = m.xtw[1][t] * scale;
                m.conv[j][l] = m.xk[1][t] * scale;
                m.dconv[j][l] = m.xk[1][t] / std::pow(h, kFiveThirds) * std::pow(y, kTwoThirds);
            }
        }
    }
}

}  // namespace kesta
