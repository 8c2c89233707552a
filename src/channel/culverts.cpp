// Culvert hydraulics. A barrel runs under inlet control while its entrance
// is not drowned and its outlet is free (the flow passes critical depth at
// the inlet), under outlet control otherwise: part full from the tailwater,
// or full with friction and exit losses. Short or steep barrels (at most 40
// diameters long, or a slope of 1 % or more) use entrance relations; long
// mild barrels a Manning friction relation over the whole barrel.
#include "channel/culverts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "channel/channel_state.hpp"
#include "core/error_record.hpp"
#include "core/warnings.hpp"

namespace kesta {

namespace {

constexpr double kTwoG = 19.62;              // 2 g (m/s2)
constexpr double kGravity = 9.81;            // m/s2
constexpr double kPi = 3.1415926;
constexpr double kNoFlowHead = 0.01;         // m of head below which an inlet passes nothing
constexpr double kMinInletFlow = 0.0001;     // m3/s: lower end of the inlet-control search
constexpr double kInletTolerance = 0.0001;   // m3/s
constexpr double kSteepSlope = 0.01;         // barrel slope from which the inlet invert governs
constexpr double kShortBarrel = 40.0;        // barrel lengths per diameter of a short barrel
constexpr double kFrictionLength = 15.0;     // m: shorter submerged barrels lose no friction head
constexpr double kOvalFloor = 1e-6;          // smallest oval area and radius, per d w and per d
constexpr double kCritMargin = 0.001;        // m a critical depth keeps inside a circle
constexpr int kCritRounds = 1000;
constexpr double kCritChange = 1e-8;         // m
constexpr double kBrentEps = 6e-08;          // relative precision of the root finder
constexpr int kBrentIterations = 100;

// Full barrel: area (m2) and hydraulic radius (m).
struct full_barrel {
    double area, radius;
};

full_barrel full_of(double d, double w, int shape) {
    switch (shape) {
        case culvert_circle: return {kPi * d * d / 4.0, d / 4.0};
        case culvert_oval: return {0.788 * w * d, 0.299 * d};
        default: return {d * w, d * w / (2.0 * d + 2.0 * w)};
    }
}

// Inlet control of a circle: the discharge that passes critical depth at
// the entrance with head h (m) above the governing invert, coefficient c.
culvert_flow circle_inlet(double d, double h, double c) {
    culvert_flow r;
    const double full_area = kPi * d * d / 4.0;
    const double area_at_head = culvert_section_props(d, h, 0.0, culvert_circle).area;
    const double upper =
        h >= d ? c * full_area * std::sqrt(kTwoG * 0.4 * h) : c * area_at_head * std::sqrt(kTwoG * h / 3.0);
    bool failed = false;
    // Discharge less what critical flow at the entrance passes; a critical
    // depth above the head passes nothing.
    auto residual = [&](double q) {
        double yc = 0.0;
        if (!crit_calc(q, d, 0.0, culvert_circle, yc)) {
            failed = true;
            return std::numeric_limits<double>::quiet_NaN();
        }
        const double a = culvert_section_props(d, yc, 0.0, culvert_circle).area;
        return q - c * a * std::sqrt(kTwoG * std::max(h - yc, 0.0));
    };
    // An inlet that cannot pass the search's smallest discharge passes a
    // negligible one: no flow, rather than a search without a root.
    const double at_least = residual(kMinInletFlow);
    if (failed) {
        r.ok = false;
        return r;
    }
    if (upper <= kMinInletFlow || at_least >= 0.0) return r;
    r.q = zbrent(residual, kMinInletFlow, upper, kInletTolerance);
    if (failed || std::isnan(r.q) || !crit_calc(r.q, d, 0.0, culvert_circle, r.yc)) {
        r = culvert_flow();
        r.ok = false;
        return r;
    }
    r.area = culvert_section_props(d, r.yc, 0.0, culvert_circle).area;
    return r;
}

// Flow through a long barrel (m3/s) at depth y with head dh (m) across it:
// friction (Manning) and exit losses.
double long_barrel_flow(double d, double w, int shape, double n, double length, double y, double dh) {
    const barrel_section s = culvert_section_props(d, y, w, shape);
    if (!(s.area > 0.0 && s.perimeter > 0.0)) return 0.0;
    const double radius = s.area / s.perimeter;
    return s.area * std::sqrt(dh / (n * n * length / std::pow(radius, 4.0 / 3.0) + 1.0 / kTwoG));
}

}  // namespace

int culvert_shape_of(const struct_element& e) {
    switch (e.type) {
        case struct_oval_culvert: return culvert_oval;
        case struct_rect_culvert: return culvert_box;
        default: return culvert_circle;
    }
}

barrel_section culvert_section_props(double d, double y, double w, int shape) {
    barrel_section s;
    switch (shape) {
        case culvert_circle: {
            if (y < 0.0) return s;
            if (y >= d) return {kPi * d * d / 4.0, kPi * d, 0.0};
            const double r = d / 2.0, a = r - y;
            const double theta = std::acos(a / r);
            return {r * r * theta - a * r * std::sin(theta), d * theta, d * std::sin(theta)};
        }
        case culvert_oval: {
            if (y <= 0.0) return s;
            const double q = y >= d ? 1.0 : y / d;
            const double area = std::max(
                (-0.0265118802 + 0.850625935 * q + 0.450552317 * q * q - 0.48046422 * q * q * q) * d * w,
                kOvalFloor * d * w);
            const double radius = std::max((-0.0382820242 + 1.1666329 * q - 1.32389992 * q * q +
                                            1.04200851 * q * q * q - 0.526837711 * q * q * q * q) *
                                               d,
                                           kOvalFloor * d);
            const double top = (0.656758295 + 3.13077957 * q - 9.66782176 * q * q + 11.9256017 * q * q * q -
                                5.88560436 * q * q * q * q) *
                               w;
            return {area, area / radius, top};
        }
        default:
            if (y < 0.0) return {0.0, w, w};
            if (y >= d) return {d * w, 2.0 * d + 2.0 * w, 0.0};
            return {y * w, 2.0 * y + w, w};
    }
}

bool crit_calc(double q, double d, double w, int shape, double& yc) {
    if (shape == culvert_box) {
        yc = std::pow((q / w) * (q / w) / kGravity, 0.3333333333333);
        return true;
    }
    if (shape != culvert_circle) {
        g_error_record.fail(123);
        return false;
    }
    // Newton on the section factor A^3 / T = q^2 / g, which rises with the
    // depth; the depth stays a little inside the circle, where T > 0.
    const double margin = std::min(kCritMargin, d / 4.0);
    const double target = q * q / kGravity;
    double y = d / 2.0 - margin;
    for (int round = 1; round <= kCritRounds; ++round) {
        const barrel_section s = culvert_section_props(d, y, 0.0, culvert_circle);
        const double dtdy = (d - 2.0 * y) / std::sqrt(y * (d - y));
        const double f = s.area * s.area * s.area / s.top_width - target;
        const double df = 3.0 * s.area * s.area - s.area * s.area * s.area * dtdy / (s.top_width * s.top_width);
        const double next = std::clamp(y - f / df, margin, d - margin);
        const double change = std::fabs(next - y);
        y = next;
        if (change <= kCritChange) {
            yc = y;
            return true;
        }
    }
    g_error_record.fail(122);
    return false;
}

double zbrent(const std::function<double(double)>& f, double x1, double x2, double tol) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // b is the best estimate, a the previous one, c the end of the bracket
    // opposite b; d the last step and e the one before it.
    double a = x1, b = x2, c = x2;
    double fa = f(a), fb = f(b);
    if (std::isnan(fa) || std::isnan(fb)) return nan;
    if ((fa > 0.0 && fb > 0.0) || (fa < 0.0 && fb < 0.0)) {
        g_error_record.fail(124);
        return nan;
    }
    double fc = fb, d = b - a, e = d;
    for (int iter = 1; iter <= kBrentIterations; ++iter) {
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            c = a;
            fc = fa;
            d = e = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = 2.0 * kBrentEps * std::fabs(b) + 0.5 * tol;
        const double half = 0.5 * (c - b);
        if (std::fabs(half) <= tol1 || fb == 0.0) return b;
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            // Interpolate: secant with two points, inverse quadratic with three.
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * half * s;
                q = 1.0 - s;
            } else {
                const double qa = fa / fc, r = fb / fc;
                p = s * (2.0 * half * qa * (qa - r) - (b - a) * (r - 1.0));
                q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0) q = -q;
            p = std::fabs(p);
            if (2.0 * p < std::min(3.0 * half * q - std::fabs(tol1 * q), std::fabs(e * q))) {
                e = d;
                d = p / q;
            } else {
                d = half;  // the interpolation would not shrink the bracket enough: bisect
                e = d;
            }
        } else {
            d = half;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : std::copysign(tol1, half);
        fb = f(b);
        if (std::isnan(fb)) return nan;
    }
    warn("Maximum number of iterations exceeded in ZBRENT\n");
    return b;
}

culvert_flow culv_flow(const struct_element& e, double h_up, double h_down) {
    const int shape = culvert_shape_of(e);
    const double d = e.dim1, w = e.dim2, length = e.length, n = e.roughness;
    double z_up = e.crest, z_dn = e.down_invert, s0 = e.slope;
    if (e.down_invert_given) s0 = (z_up - z_dn) / length;
    else z_dn = z_up - s0 * length;
    const double cd = h_down < h_up ? e.coeff_forward : e.coeff_reverse;
    int sign = 1;
    if (h_up <= h_down) {
        std::swap(h_up, h_down);
        std::swap(z_up, z_dn);
        s0 = -s0;
        sign = -1;
    }
    culvert_flow r;
    r.yc = d;
    r.area = 3.14 * d * d / 2.0;
    auto result = [&](double q, int type) {
        r.q = sign * q;
        r.flow_type = sign * type;
        return r;
    };
    if (!(h_up >= z_up && h_up >= z_dn)) return result(0.0, 0);
    const bool steep = s0 > kSteepSlope;
    const double hr = (h_up - (steep ? z_up : z_dn)) / d;  // head in barrel depths
    const full_barrel full = full_of(d, w, shape);
    const double dh = h_up - h_down;

    if (length <= kShortBarrel * d || s0 >= kSteepSlope) {
        if (hr < 1.5 && h_down < z_dn + 0.7 * (h_up - z_up)) {
            // Inlet control: the outlet is free.
            const int type = steep ? 1 : 2;
            const double h = steep ? h_up - z_up : h_up - z_dn;
            if (h < kNoFlowHead) return result(0.0, 0);
            if (shape == culvert_circle) {
                const double c = e.culvert_coeff <= 0.01 ? cd
                                                         : (1.0 - hr / 1.5) * cd + e.culvert_coeff * hr / 1.5;
                const culvert_flow inlet = circle_inlet(d, h, c);
                if (!inlet.ok) return inlet;
                if (inlet.q > 0.0) {
                    r.yc = inlet.yc;
                    r.area = inlet.area;
                }
                return result(inlet.q, type);
            }
            if (shape == culvert_box) {
                r.yc = 2.0 * h / 3.0;
                r.area = r.yc * w;
                return result(e.culvert_coeff * r.area * std::sqrt(kTwoG) * std::sqrt(h - r.yc), type);
            }
            return result(0.0, type);  // no inlet-control relation for the oval
        }
        if (hr < 1.5 && h_down < z_dn + d) {
            // Outlet control, part full from the tailwater.
            const double a = culvert_section_props(d, h_down - z_dn, w, shape).area;
            return result(cd * a * std::sqrt(kTwoG * dh), 3);
        }
        if (h_down - z_dn >= d) {
            // Submerged outlet, full barrel: entrance, friction and exit.
            const double k = length > kFrictionLength
                                 ? 1.0 + kTwoG * cd * cd * n * n * length / std::pow(full.radius, 4.0 / 3.0)
                                 : 1.0;
            return result(cd * full.area * std::sqrt(kTwoG * dh / k), 4);
        }
        // Drowned inlet, free outlet: an orifice, or a barrel flowing full
        // to its outlet crown, whichever passes less.
        const double q5 = cd * full.area * std::sqrt(kTwoG) * std::sqrt(h_up - z_up);
        const double q6 = cd * full.area * std::sqrt(kTwoG * (h_up - z_dn - d));
        return q6 <= q5 ? result(q6, 6) : result(q5, 5);
    }

    // Long mild barrel.
    if (hr < 1.5 && h_down - z_dn < d && z_dn < h_down)
        return result(long_barrel_flow(d, w, shape, n, length, ((h_up - z_up) * 0.7 + (h_down - z_dn)) / 2.0, dh),
                      3);
    if (hr < 1.5 && z_dn + 1e-6 >= h_down)
        return result(long_barrel_flow(d, w, shape, n, length, 0.5 * (h_up - z_up), dh), 2);
    // Full barrel: to the tailwater when it stands above mid-height at the
    // outlet, else to mid-height.
    const double loss = n * n * length / std::pow(full.radius, 4.0 / 3.0) + 1.0 / kTwoG;
    if (z_dn + d / 2.0 < h_down) return result(full.area * std::sqrt(dh / loss), 4);
    return result(full.area * std::sqrt((h_up - z_dn - d / 2.0) / loss), 6);
}

bool set_culvert_coefficient(struct_element& e) {
    e.culvert_coeff = 1.07;
    const double d = e.dim1;
    const double z_up = e.crest;
    const double z_dn = e.down_invert_given ? e.down_invert : z_up - e.slope * e.length;
    const double tail = std::min(z_up, z_dn) - d;  // below both inverts: a free outlet
    const culvert_flow drowned = culv_flow(e, z_up + 1.5 * d, tail);
    if (!drowned.ok) return false;
    const culvert_flow inlet = culv_flow(e, z_up + 1.49 * d, tail);
    if (!inlet.ok) return false;
    const double c = drowned.q / (inlet.area * std::sqrt(kTwoG * (1.49 * d - inlet.yc)));
    e.culvert_coeff = c > 1.0 ? 0.99 : c;
    return true;
}

}  // namespace kesta
