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
#include <vector>

#include "channel/link_types.hpp"
#include "core/cube_root.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr int kMaxStretches = 49;          // wetted stretches one level may cross
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
// links) opens on a level at the first point too. A stretch that opens or
// closes on flat ground lying exactly at the level takes the flat's end as
// its edge: the water there has no depth, and the ground line does not
// cross the level at one station.
struct build_rules {
    bool surveyed;
};

// The station where the ground line from point i-1 to point i meets level L.
double crossing(const section_view& s, int i, double level) {
    const double dy = s.y[i] - s.y[i - 1];
    return s.x[i - 1] + (s.x[i] - s.x[i - 1]) * (level - s.y[i - 1]) / dy;
}

// The columns of the mesh routing for table t: the first moment of the
// area about the water surface (m3 per m of channel) and dK/dA, the mean
// of the slopes on either side of a level and one-sided at the ends.
void fill_alt_columns(model_state& m, int t) {
    const int n = m.numhts[t];
    const double h = m.ht_spc[t];
    auto slope = [&](int lo) {
        const double da = m.xarea[lo + 1][t] - m.xarea[lo][t];
        return da > 0.0 ? (m.xk[lo + 1][t] - m.xk[lo][t]) / da : 0.0;
    };
    // Level k: the sum over the levels i below it of h xtw[i] (k - i) h,
    // which grows from level k to k + 1 by h^2 times the widths up to k.
    m.xi1[1][t] = h * h * m.xtw[1][t] / 2.0;
    double widths = 0.0, moment = 0.0;
    for (int k = 2; k <= n; ++k) {
        widths += m.xtw[k - 1][t];
        moment += h * h * widths;
        m.xi1[k][t] = moment;
    }
    for (int k = 1; k <= n; ++k) {
        if (n == 1) m.xdkda[k][t] = 0.0;
        else if (k == 1) m.xdkda[k][t] = slope(1);
        else if (k == n) m.xdkda[k][t] = slope(n - 1);
        else m.xdkda[k][t] = 0.5 * (slope(k) + slope(k - 1));
    }
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
                        edge = s.x[i];
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
        m.xk[k][t] = perimeter > 0.0 ? strick * area * pow_two_thirds(area / perimeter) : 0.0;
    }
    if (m.xi1) fill_alt_columns(m, t);
    return true;
}

// NUM_INTERP and the spacing it gives must lie in their ranges.
bool levels_valid(int link, int table, int levels, const section_view& s) {
    if (levels < 1 || levels > kMaxInterpLevels)
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
    mat2<double>* columns[] = {&m.xarea, &m.xtw, &m.xp, &m.xk, &m.xdkda, &m.xi1};
    for (int k = 1; k <= levels; ++k) {
        const double d = k * h;
        for (mat2<double>* col : columns) {
            if (!*col) continue;  // the mesh-routing columns exist only with that routing
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
        warn(format_text("\nUsing the greater of the two number of interpolation points \nfor both cross-section in "
                         "link %d.\n",
                         link));
    if (sections.size() == 2 && sections[0].npairs != sections[1].npairs) {
        const int longer = sections[0].npairs > sections[1].npairs ? 0 : 1;
        const int fewer = sections[1 - longer].npairs;
        warn(format_text("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
                         "            must be equal, which they are not for link %d.\n\n"
                         "  ---> Disregarding the last %d pairs of the %s cross-section. <---\n\n",
                         link, sections[longer].npairs - fewer, longer == 0 ? "first" : "second"));
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

namespace {

// Exponents of the compound (two-slope) trapezoid, kept as that kind has
// always written them so that its conveyances do not move. They are not
// thirds, so the cube-root powers cannot stand in for std::pow here.
constexpr double kCompoundConvA = 1.666667, kCompoundConvP = 0.666667;
constexpr double kCompoundDkAbove5 = 1.6666667, kCompoundDkAbove2 = 0.6666667;
constexpr double kCompoundDkBelow5 = 1.66667, kCompoundDkBelow4 = 1.33333;
constexpr double kAreaDeficit = 0.0001;  // m2: a smaller negative area is rounding, read as dry

bool refuse_negative_depth(int variant, int j, int l) {
    return refuse(format_text("In ex_section.c - %d\nprogram stopped for negative depth, node %d, link %d\n",
                              variant, j, l));
}

// Depth of a trapezoid (bottom b, side slope z) holding area a: the root of
// z y^2 + b y = a in the form that loses no digits when z a is small next
// to b^2, and that is a / b for a rectangle.
double trapezoid_depth(double a, double b, double z) { return 2.0 * a / (b + std::sqrt(b * b + 4.0 * z * a)); }

// A smaller negative area is rounding of the routing's volume sums, read as
// a dry node; a larger one stops the run.
bool area_usable(double& a, const char* what, int j, int l) {
    if (a >= 0.0) return true;
    if (a > -kAreaDeficit) {
        a = 0.0;
        return true;
    }
    return refuse(format_text(what, j, l));
}

level_section trapezoid_at_depth(const model_state& m, int j, int l, double y) {
    const double s = m.strick[l];
    const double b = m.bottom[j][l], z = m.sslope[j][l];
    const double side = std::sqrt(z * z + 1.0);
    level_section r;
    r.topw = 2.0 * y * z + b;
    const double p = 2.0 * y * side + b;
    r.area = (y * z + b) * y;
    // A dry section has no conveyance (and a dry V has no perimeter).
    if (r.area > 0.0 && p > 0.0) {
        const double r23 = pow_two_thirds(r.area / p);
        r.conv = s * r.area * r23;
        r.dconv = s * (kFiveThirds * r23 * r.topw - kTwoThirds * r.area * r23 / p * 2.0 * side);
    }
    return r;
}

[[gnu::always_inline]] inline area_section trapezoid_of_area(const model_state& m, int j, int l, double a) {
    const double b = m.bottom[j][l], z = m.sslope[j][l];
    area_section r;
    r.depth = a > 0.0 ? std::max(trapezoid_depth(a, b, z), 0.0) : 0.0;
    if (r.depth > 0.0)
        r.conv = m.strick[l] * a * pow_two_thirds(a / (b + 2.0 * r.depth * std::sqrt(z * z + 1.0)));
    return r;
}

// Compound trapezoid: bottom b and side slope z1 up to the bankfull depth
// d, side slope z2 above it.
struct compound_shape {
    double b, z1, z2, d;
};

compound_shape compound_at(const model_state& m, int j, int l) {
    return {m.bottom[j][l], m.sslope[j][l], m.sslope2[j][l], m.bankfull_dep[j][l]};
}

double compound_conv(double s, double a, double p) {
    return a > 0.0 && p > 0.0 ? s * std::pow(a, kCompoundConvA) / std::pow(p, kCompoundConvP) : 0.0;
}

level_section compound_at_depth(const model_state& m, int j, int l, double y) {
    const compound_shape c = compound_at(m, j, l);
    const double s = m.strick[l];
    const double side1 = std::sqrt(c.z1 * c.z1 + 1.0), side2 = std::sqrt(c.z2 * c.z2 + 1.0);
    double p;
    level_section r;
    if (y <= c.d) {
        r.topw = 2.0 * y * c.z1 + c.b;
        p = 2.0 * y * side1 + c.b;
        r.area = (y * c.z1 + c.b) * y;
    } else {
        const double bank_width = 2.0 * c.d * c.z1 + c.b;
        r.topw = bank_width + 2.0 * c.z2 * (y - c.d);
        p = 2.0 * c.d * side1 + c.b + 2.0 * (y - c.d) * side2;
        r.area = (c.d * c.z1 + c.b) * c.d + 0.5 * (y - c.d) * (bank_width + r.topw);
    }
    r.conv = compound_conv(s, r.area, p);
    if (!(r.area > 0.0 && p > 0.0)) return r;
    const double rh = r.area / p;
    r.dconv = y <= c.d ? s * ((2.0 * c.z1 * y + c.b) * kCompoundDkBelow5 * std::pow(rh, kCompoundConvP) -
                              kCompoundDkBelow4 * side1 * std::pow(rh, kCompoundConvA))
                       : kFiveThirds * s * std::pow(rh, kCompoundDkAbove2) * r.topw -
                             4.0 / 3.0 * s * std::pow(rh, kCompoundDkAbove5) * side2;
    return r;
}

bool refuse_compound(const char* what, int j, int l) {
    return refuse(format_text("%s\nlink %d node %d\n", what, l, j));
}

bool compound_of_area(const model_state& m, int j, int l, double a, area_section& r) {
    const compound_shape c = compound_at(m, j, l);
    const double bank_area = (c.d * c.z1 + c.b) * c.d;
    double y, p;
    if (a <= bank_area) {
        if (c.b * c.b + 4.0 * c.z1 * a < 0.0)
            return refuse_compound("in ex_section.c - 1, negative square root at:", j, l);
        y = a > 0.0 ? trapezoid_depth(a, c.b, c.z1) : 0.0;
        if (y < 0.0) return refuse_compound("in ex_section - 2, negative depth at:", j, l);
        p = c.b + 2.0 * y * std::sqrt(c.z1 * c.z1 + 1.0);
    } else {
        const double bank_width = 2.0 * c.d * c.z1 + c.b;
        const double above = a - bank_area;
        if (bank_width * bank_width + 4.0 * c.z2 * above < 0.0)
            return refuse_compound("in ex_section.c - 3, negative square root at:", j, l);
        const double u = trapezoid_depth(above, bank_width, c.z2);  // depth above bankfull
        if (u < 0.0) return refuse_compound("in ex_section - 4, negative yabf at:", j, l);
        y = c.d + u;
        if (y < 0.0) return refuse_compound("in ex_section - 4, negative depth at:", j, l);
        p = 2.0 * c.d * std::sqrt(c.z1 * c.z1 + 1.0) + c.b + 2.0 * u * std::sqrt(c.z2 * c.z2 + 1.0);
    }
    r.depth = y;
    r.conv = compound_conv(m.strick[l], a, p);
    return true;
}

bool table_in_range(const model_state& m, int t) {
    if (t >= 1 && t <= m.ntables) return true;
    refuse_on_stderr("Error in section: Request for table beyond max. table number.\n");
    return false;
}

// Between levels i and i + 1 of table t (level 0 is the dry bed), at the
// fraction f of the way; f above 1 extrapolates along the same line.
double between(const mat2<double>& v, int t, int i, double f) { return f * (v[i + 1][t] - v[i][t]) + v[i][t]; }

bool breakpoint_at_depth(model_state& m, int j, int l, double y, level_section& r) {
    const int t = m.table_num[j][l];
    if (!table_in_range(m, t)) return false;
    const double h = m.ht_spc[t];
    const int n = m.numhts[t];
    if (y >= h) {
        // At n h exactly the top level is read; above it the last interval
        // is extended.
        const bool above = y > n * h;
        if (above) m.xsec_above_table = 1;
        const int i = above ? n - 1 : std::min(static_cast<int>(y / h), n - 1);
        const double f = (y - i * h) / h;
        r.area = between(m.xarea, t, i, f);
        r.topw = between(m.xtw, t, i, f);
        r.conv = between(m.xk, t, i, f);
        r.dconv = (m.xk[i + 1][t] - m.xk[i][t]) / h;
        return true;
    }
    // Below the first level the section fills as a power law through it.
    const double scale = pow_five_thirds(y / h);
    r.area = m.xarea[1][t] * scale;
    r.topw = m.xtw[1][t] * scale;
    r.conv = m.xk[1][t] * scale;
    r.dconv = kFiveThirds * m.xk[1][t] / pow_five_thirds(h) * pow_two_thirds(y);
    return true;
}

bool breakpoint_of_area(model_state& m, int j, int l, double a, area_section& r) {
    const int t = m.table_num[j][l];
    if (!table_in_range(m, t)) return false;
    const double h = m.ht_spc[t];
    const int n = m.numhts[t];
    if (a == 0.0) return true;
    if (a > m.xarea[n][t]) {
        m.xsec_above_table = 1;
        r.depth = (a - m.xarea[n][t]) * h / (m.xarea[n][t] - m.xarea[n - 1][t]) + n * h;
        r.conv = between(m.xk, t, n - 1, (r.depth - (n - 1) * h) / h);
    } else if (a >= m.xarea[1][t]) {
        // The last level lo in 1..n-1 whose area is not above a (areas rise
        // with the level); a one-level table brackets from the dry bed.
        int lo = std::min(1, n - 1), hi = n - 1;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (m.xarea[mid][t] <= a) lo = mid;
            else hi = mid - 1;
        }
        r.depth = (a - m.xarea[lo][t]) / ((m.xarea[lo + 1][t] - m.xarea[lo][t]) / h) + lo * h;
        r.conv = between(m.xk, t, lo, (r.depth - lo * h) / h);
    } else {
        r.depth = h * std::pow(a / m.xarea[1][t], 0.6);
        r.conv = m.xk[1][t] / pow_five_thirds(h) * pow_five_thirds(r.depth);
    }
    return true;
}

// The section kind of an open-channel link.
enum class section_kind { trapezoid, breakpoint, compound };

section_kind kind_of(int type) {
    if (link_is_trapezoid(type)) return section_kind::trapezoid;
    return link_is_breakpoint(type) ? section_kind::breakpoint : section_kind::compound;
}

bool at_depth(model_state& m, section_kind kind, int j, int l, double y, level_section& r) {
    switch (kind) {
        case section_kind::trapezoid: r = trapezoid_at_depth(m, j, l, y); return true;
        case section_kind::breakpoint: return breakpoint_at_depth(m, j, l, y, r);
        case section_kind::compound: r = compound_at_depth(m, j, l, y); return true;
    }
    return true;
}

// Inlined, with trapezoid_of_area, into the node loop of ex_section: a call
// per node cost a sixth of the routing's time once the conveyance's power
// was cheap.
[[gnu::always_inline]] inline bool of_area(model_state& m, section_kind kind, int j, int l, double a, area_section& r) {
    static const char* const kNegativeArea[] = {
        "In ex_section.c - 1\nprogram stopped for negative area, node %d, link %d\n",
        "In ex_section.c - 4\nprogram stopped for negative area, node %d, link %d\n",
        "In ex_section.c - 5\nstopped for negative area, node %d, link %d\n"};
    if (!area_usable(a, kNegativeArea[static_cast<int>(kind)], j, l)) return false;
    r = area_section{};
    switch (kind) {
        case section_kind::trapezoid: r = trapezoid_of_area(m, j, l, a); return true;
        case section_kind::breakpoint: return breakpoint_of_area(m, j, l, a, r);
        case section_kind::compound: return compound_of_area(m, j, l, a, r);
    }
    return true;
}

}  // namespace

bool node_section_at_depth(model_state& m, int j, int l, double y, level_section& r) {
    if (y < 0.0) return refuse_negative_depth(link_is_breakpoint(m.ltype[l]) ? 3 : 1, j, l);
    return at_depth(m, kind_of(m.ltype[l]), j, l, y, r);
}

bool node_section_of_area(model_state& m, int j, int l, double a, area_section& r) {
    return of_area(m, kind_of(m.ltype[l]), j, l, a, r);
}

void ex_section(model_state& m, int mode) { ex_section(m, mode, m.area); }

void ex_section(model_state& m, int mode, node_table<double>& areas) {
    if (mode != 1 && mode != 2) return;
    for (int l = 1; l <= m.nlinks; ++l) {
        const int type = m.ltype[l];
        if (!link_is_channel(type)) continue;
        const section_kind kind = kind_of(type);
        const int breakpoint_variant = kind == section_kind::breakpoint ? 3 : 1;
        double* a = areas.link(l);
        double* yp = m.yp.link(l);
        const double* bel = m.bel.link(l);
        double* conv = m.conv.link(l);
        for (int j = 1; j <= m.nx[l]; ++j) {
            if (mode == 2) {
                const double y = yp[j] - bel[j];
                if (y < 0.0) {
                    refuse_negative_depth(breakpoint_variant, j, l);
                    return;
                }
                level_section r;
                if (!at_depth(m, kind, j, l, y, r)) return;
                a[j] = r.area;
                m.topw[j][l] = r.topw;
                conv[j] = r.conv;
                m.dconv[j][l] = r.dconv;
            } else {
                area_section r;
                if (!of_area(m, kind, j, l, a[j], r)) return;
                m.chan_depth[j][l] = r.depth;
                yp[j] = bel[j] + r.depth;
                conv[j] = r.conv;
            }
        }
    }
}

// ---------------------------------------------------------------- bed change

namespace {

constexpr double kBedTolerance = 1e-5;  // relative misfit of the moved bed volume
constexpr int kMaxBedIterations = 500;

// The present bed sand volume of a node (m3); without channel sediment the
// bed keeps the volume its section was fitted to.
double present_sand(model_state& m, int j, int l, double reference) {
    if (!m.ch_sand_vol) return reference;
    return m.ch_sand_vol[l][j][0];
}

// Moves the pairs y[1..n] (stored elevations ys) of node j of link l so
// that the bed between them takes up or gives back the volume v (m3, > 0
// eroded) over the node spacing dx, the wetted stretches at `level` moving
// most at their lowest points. False when refused.
bool move_bed(int j, int l, const double* x, const double* ys, double* y, int n, double z0, double depth_scale,
              double v, double dx, double dz) {
    const double level = z0 + depth_scale;
    int left[kMaxStretches + 1], right[kMaxStretches + 1];
    int count = 0;
    bool open = false;
    for (int i = 1; i <= n; ++i) {
        if (!open && ys[i] <= level) {
            if (count == kMaxStretches) return refuse_jagged(l, false);
            left[++count] = i > 1 ? i - 1 : 1;
            open = true;
        } else if (open && ys[i] >= level) {
            right[count] = i;
            open = false;
        }
    }
    if (open) right[count] = n;
    // A point's weight falls from 1 at the lowest point to 0 at the level
    // (relative height q in the flow): linearly under erosion, as 1 -
    // sqrt(q) under deposition. Points at or above the level do not move.
    auto weight = [&](int i) {
        const double q = std::clamp((ys[i] - z0) / depth_scale, 0.0, 1.0);
        return v >= 0.0 ? 1.0 - q : 1.0 - std::sqrt(q);
    };
    for (int iter = 1;; ++iter) {
        if (iter > kMaxBedIterations)
            return refuse(format_text("In xsec_update- \nprogram stopped for difficulty in convergence, node %d, "
                                      "link %d\n",
                                      j, l));
        double a = 0.0, p = 0.0;
        for (int s = 1; s <= count; ++s) {
            y[left[s]] = ys[left[s]];
            for (int i = left[s] + 1; i <= right[s]; ++i) {
                y[i] -= weight(i) * dz;
                a += 0.5 * (x[i] - x[i - 1]) * ((ys[i - 1] - y[i - 1]) + (ys[i] - y[i])) * dx;
                p += std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]);
            }
        }
        dz = (v - a) / (dx * p);
        if (!(std::fabs((a - v) / v) > kBedTolerance)) return true;
    }
}

}  // namespace

void xsec_update(model_state& m) {
    std::vector<double> y2;  // the moving elevations of one node
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_erodible_breakpoint(m.ltype[l])) continue;
        const int b = m.bplink[l];
        const double dx = m.chan_dx[l];
        for (int j = 1; j <= m.nx[l]; ++j) {
            const int t = m.table_num[j][l];
            const int n = m.numpairs[t];
            const double h = m.ht_spc[t];
            const double* xs = m.xbp_lnn[b][j];
            double* ys = m.ybp_lnn[b][j];
            const double depth = m.max_yp[b][j] - m.bel[j][l];  // deepest water seen at the node
            if (depth < 0.0) {
                refuse_negative_depth(3, j, l);
                return;
            }
            const double v = (m.ch_sand_vol0[b][j] - present_sand(m, j, l, m.ch_sand_vol0[b][j])) /
                             (1.0 - m.project_options.sed_porosity);
            if (v == 0.0) continue;  // the bed has not changed
            double z0 = ys[1];
            for (int i = 2; i <= n; ++i) z0 = std::min(z0, ys[i]);
            const int k = std::min(static_cast<int>(depth / h) + 1, m.numhts[t]);
            const double dz = v / (dx * m.xp[k][t]);
            if (std::fabs(dz) > depth) {
                refuse("In xsec_update.c - 3\n"
                       "it is impossible that change of stream bed elevation is greater than maximum water depth\n");
                return;
            }
            y2.assign(ys, ys + n + 1);
            if (!move_bed(j, l, xs, ys, y2.data(), n, z0, k * h, v, dx, dz)) return;
            double lowest = y2[1];
            for (int i = 1; i <= n; ++i) {
                ys[i] = y2[i];
                lowest = std::min(lowest, y2[i]);
            }
            m.bel[j][l] += lowest - z0;
            if (!xsec_props(m, l, j)) return;
        }
    }
}

}  // namespace kesta
