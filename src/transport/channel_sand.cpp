// Sand in the channels. At every face of an erodible channel, Yang's
// unit-stream-power formula gives the sand discharge of the water leaving
// the face's source node (the node above it, or below it where the water
// runs upstream) from the node's depth, the section's hydraulic radius and
// the water-surface slope across the face. The sand moves within what the
// source holds: by its classes' shares while the classed sand lasts, and
// beyond it the sand of the initial bed, which has no class. All faces take
// their sand from the bed as the step found it, so sand travels at most one
// face per step. Sand flowing into a lake settles on its bed whole.
//
// The bed of an erodible trapezoidal link then follows its sand: the area
// gained or lost since the initial bed, spread over the trapezoid, gives
// the bed elevation after the bed change.
#include <algorithm>
#include <cmath>

#include "channel/link_types.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "transport/channel_sediment.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

constexpr double kTinyFlow = 1e-16;   // m3/s: a smaller discharge has no direction
constexpr double kTinyDepth = 1e-16;  // m: a shallower node moves no sand
// Yang's formula: the sand's specific gravity, and the exponent of the
// dimensionless diameter in its settling velocity (0.33333333, a shade
// below 1/3, as the model has always computed it).
constexpr double kSandSpecificGravity = 2.65;
constexpr double kSandDstarExponent = 0.33333333;
// Critical velocity over settling velocity: 2.5 / (log10 Re* - 0.06) +
// 0.66 for 1.2 <= Re* < 70, as Yang published it (without the 0.66 the
// ratio would jump from 1.40 to 2.05 at Re* = 70), and 2.05 beyond.
constexpr double kLeastShearReynolds = 1.2;
constexpr double kRoughShearReynolds = 70.0;
constexpr double kRoughCriticalRatio = 2.05;

double critical_velocity_ratio(double re_star) {
    if (re_star >= kRoughShearReynolds) return kRoughCriticalRatio;
    return 2.5 / (std::log10(re_star) - 0.06) + 0.66;
}

}  // namespace

sand_grain sand_grain_of(double d_mm, double nu) {
    sand_grain g;
    g.moves = d_mm > 0.0 && nu > 0.0;
    if (!g.moves) return g;
    g.d = d_mm / 1000.0;
    g.nu = nu;
    const double dstar = std::pow((kSandSpecificGravity - 1.0) * kGravity / (nu * nu), kSandDstarExponent) * g.d;
    g.settling = (8.0 * nu / g.d) * (std::sqrt(1.0 + 0.0139 * dstar * dstar * dstar) - 1.0);
    g.log_settling = std::log10(g.settling * g.d / nu);
    return g;
}

double yang_sand_discharge(double q, double area, double perimeter, double slope, const sand_grain& grain) {
    if (!(area > 0.0 && perimeter > 0.0 && slope > 0.0 && grain.moves)) return 0.0;
    const double d = grain.d, nu = grain.nu, w = grain.settling;
    const double u_star = std::sqrt(kGravity * (area / perimeter) * slope);
    const double re_star = u_star * d / nu;
    if (re_star < kLeastShearReynolds) return 0.0;
    const double critical = critical_velocity_ratio(re_star);
    const double v = std::fabs(q) / area;
    const double excess_power = slope * (v / w - critical);  // V S / w - S Vcr / w
    if (!(excess_power > 0.0)) return 0.0;
    const double a = grain.log_settling;
    const double b = std::log10(u_star / w);
    const double log_ct = 5.435 - 0.286 * a - 0.457 * b + (1.799 - 0.409 * a - 0.314 * b) * std::log10(excess_power);
    const double ct = std::pow(10.0, log_ct);  // parts per million by weight
    return std::fabs(q) * ct / (1e6 * kSandSpecificGravity);
}

double trapezoid_bed_shift(double change, double b, double z, double e) {
    if (change > 0.0) {
        if (z <= 0.0) return b > 0.0 ? change / b : 0.0;
        if (b <= 0.0) return std::sqrt(change / z);
        return (-b + std::sqrt(b * b + 4.0 * z * change)) / (2.0 * z);
    }
    if (change < 0.0) return b > 0.0 ? -std::min(-change / b, std::max(e, 0.0)) : -std::max(e, 0.0);
    return 0.0;
}

bool xsec_table_lookup(const model_state& m, int table, double y, double& area, double& perimeter) {
    if (table < 1 || table > m.ntables) return false;
    const int n = m.numhts[table];
    const double h = m.ht_spc[table];
    if (n < 1 || !(h > 0.0)) return false;
    const auto a = [&](int i) { return m.xarea[i][table]; };
    const auto p = [&](int i) { return m.xp[i][table]; };
    if (y < h) {
        const double f = std::pow(std::max(y, 0.0) / h, 5.0 / 3.0);
        area = a(1) * f;
        perimeter = p(1) * f;
    } else if (y > n * h && n >= 2) {
        const double over = (y - n * h) / h;
        area = a(n) + over * (a(n) - a(n - 1));
        perimeter = p(n) + over * (p(n) - p(n - 1));
    } else {
        // At exactly n h the last interval of the table holds the depth.
        const int i = std::min(static_cast<int>(y / h), n - 1);
        if (i < 1) {
            area = a(1);
            perimeter = p(1);
            return true;
        }
        const double f = (y - i * h) / h;
        area = a(i) + f * (a(i + 1) - a(i));
        perimeter = p(i) + f * (p(i + 1) - p(i));
    }
    return true;
}

namespace {

// Flow area and wetted perimeter of node j of link l at depth y.
bool node_geometry(const model_state& m, int j, int l, double y, double& area, double& perimeter) {
    if (link_is_trapezoid(m.ltype[l])) {
        const double b = m.bottom[j][l], z = m.sslope[j][l];
        area = (b + z * y) * y;
        perimeter = b + 2.0 * y * std::sqrt(1.0 + z * z);
        return true;
    }
    return xsec_table_lookup(m, m.table_num[j][l], y, area, perimeter);
}

// The sand a face asks of its source (m3 over dt), or 0.
double sand_asked(model_state& m, const wash_face& f, int src, int rcv, double dt) {
    const sed_record& s = *m.ov_sed;
    const int js = node_of_row(s, src), ls = link_of_row(s, src);
    const double depth = m.yp[js][ls] - m.bel[js][ls];
    if (!(depth >= kTinyDepth)) return 0.0;
    const double held = std::max(0.0, m.ch_sand_vol[ls][js][0]);
    // Water running into a lake drops all the sand it carries there.
    if (rcv > 0 && is_lake_row(s, rcv)) return held;
    double slope;
    if (rcv > 0) {
        const int jr = node_of_row(s, rcv), lr = link_of_row(s, rcv);
        slope = std::fabs(m.yp[js][ls] - m.yp[jr][lr]) / (0.5 * (m.chan_dx[ls] + m.chan_dx[lr]));
    } else {
        // Out of the network: the bed slope of the outlet's last reach.
        slope = js >= 2 ? std::max(0.0, (m.bel[js - 1][ls] - m.bel[js][ls]) / m.chan_dx[ls]) : 0.0;
    }
    double area = 0.0, perimeter = 0.0;
    if (!node_geometry(m, js, ls, depth, area, perimeter)) return 0.0;
    const int jo = node_of_row(s, f.owner), lo = link_of_row(s, f.owner);
    double qs = yang_sand_discharge(m.qp[jo][lo], area, perimeter, slope, s.grain);
    if (!std::isfinite(qs)) {
        warn(format_text("bed load NaN\n(sand discharge at node %d of link %d is not a number; it moves no "
                         "sand)\n",
                         jo, lo));
        qs = 0.0;
    }
    return qs * dt;
}

// The bed after the bed change of every node of the erodible trapezoidal
// links, from the sand it holds against the initial bed: the area per
// metre of channel (over the cell size the initial sand was laid along).
void change_trapezoid_beds(model_state& m) {
    sed_record& s = *m.ov_sed;
    if (s.new_bel.empty()) return;
    const double solid = 1.0 - m.project_options.sed_porosity;
    const double length = m.gridsize;
    for (int l = 1; l <= m.nlinks; ++l) {
        if (!link_is_erodible_trapezoid(m.ltype[l]) || link_is_overtaken(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) {
            const double b = m.bottom[j][l], e = m.max_eros[j][l];
            const double change = m.ch_sand_vol[l][j][0] / (solid * length) - e * b;
            s.new_bel[j][l] = m.bel[j][l] + trapezoid_bed_shift(change, b, m.sslope[j][l], e);
        }
    }
}

}  // namespace

void move_channel_sand(model_state& m, double dt) {
    sed_record& s = *m.ov_sed;
    const int nf = s.n_fine_classes, ns = s.n_sand_classes;
    const int nfaces = static_cast<int>(s.faces.size());
    vec1<double>& asked = s.sand_asked;
    asked.fill(0.0);
    for (int f = 0; f < nfaces; ++f) s.sand_move[f][0] = 0.0;
    // What each face asks of its source, from the bed as the step found it.
    for (int f = 0; f < nfaces; ++f) {
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        if (face.owner <= 0 || !link_is_erodible_channel(m.ltype[link_of_row(s, face.owner)])) continue;
        const int jo = node_of_row(s, face.owner), lo = link_of_row(s, face.owner);
        const bool upstream = m.qp[jo][lo] < -kTinyFlow;
        const int src = upstream ? face.down : face.up;
        const int rcv = upstream ? face.up : face.down;
        if (src <= 0 || is_lake_row(s, src) || !link_is_erodible_channel(m.ltype[link_of_row(s, src)])) continue;
        const double v = sand_asked(m, face, src, rcv, dt);
        if (!(v > 0.0)) continue;
        s.sand_move[f][0] = upstream ? -v : v;
        asked[src] += v;
    }
    // Within what each source holds, shared by what its faces asked, its
    // classed sand going first by its classes' shares.
    for (int f = 0; f < nfaces; ++f) {
        const double signed_v = s.sand_move[f][0];
        if (signed_v == 0.0) continue;
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        const int src = signed_v < 0.0 ? face.down : face.up;
        const double* bed = m.ch_sand_vol[link_of_row(s, src)][node_of_row(s, src)];
        const double held = std::max(0.0, bed[0]);
        const double total_asked = asked[src];
        const double v = std::fabs(signed_v) * (total_asked > held ? held / total_asked : 1.0);
        s.sand_move[f][0] = signed_v < 0.0 ? -v : v;
        double classed = 0.0;
        for (int k = 1; k <= ns; ++k) classed += bed[k];
        // The classes hold `classed`; the faces of this source take
        // min(given, classed) of it, each by its share of what is given.
        const double given = std::min(total_asked, held);
        const double of_classes = given > 0.0 ? std::min(given, classed) * (v / given) : 0.0;
        for (int k = 1; k <= ns; ++k) s.sand_move[f][k] = classed > 0.0 ? of_classes * bed[k] / classed : 0.0;
    }
    s.qs_out_chan_sand.fill(0.0);
    for (int f = 0; f < nfaces; ++f) {
        const double signed_v = s.sand_move[f][0];
        if (signed_v == 0.0) continue;
        const wash_face& face = s.faces[static_cast<std::size_t>(f)];
        const int src = signed_v < 0.0 ? face.down : face.up;
        const int rcv = signed_v < 0.0 ? face.up : face.down;
        const double v = std::fabs(signed_v);
        const double* moved = s.sand_move[f];
        // The faces of a source share at most what it holds; when they take
        // it all, their shares can round to a hair more, which leaves none.
        double* from = m.ch_sand_vol[link_of_row(s, src)][node_of_row(s, src)];
        from[0] = std::max(0.0, from[0] - v);
        for (int k = 1; k <= ns; ++k) from[k] = std::max(0.0, from[k] - moved[k]);
        double* rates = s.qsmax[face.owner];
        rates[0] = signed_v / dt;
        for (int k = 1; k <= ns; ++k) rates[nf + k] = (signed_v < 0.0 ? -moved[k] : moved[k]) / dt;
        if (rcv == 0) {
            double classed = 0.0;
            for (int k = 1; k <= ns; ++k) {
                s.qs_out_chan_sand[k] += moved[k] / dt;
                classed += moved[k];
            }
            s.qs_out_chan_sand[0] += (v - classed) / dt;
            s.event_books.sand_out += v;
            s.run_books.sand_out += v;
        } else if (is_lake_row(s, rcv)) {
            const int lake = rcv - s.lake_row0;
            double* bed = s.lake_depo_vol[lake];
            bed[0] += v;
            for (int k = 1; k <= ns; ++k) bed[k] += moved[k];
            for (chan_sed_books* b : {&s.event_books, &s.run_books}) {
                b->sand_to_lake[lake] += v;
                b->sand_to_lake[0] += v;
            }
        } else {
            double* to = m.ch_sand_vol[link_of_row(s, rcv)][node_of_row(s, rcv)];
            to[0] += v;
            for (int k = 1; k <= ns; ++k) to[k] += moved[k];
        }
    }
    change_trapezoid_beds(m);
}

}  // namespace kesta
