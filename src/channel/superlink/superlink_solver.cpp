// The superlink solver. Per sub-step: grate and tile inflows, then for each
// superlink the pipe sections at the mean node depths, the upwind momentum
// and the node continuity coefficients, the forward and backward
// recurrences and the end relations; then the superjunction system,
// factorised numerically by a sparse LU whose ordering and symbolic
// analysis were done once for the network; then the end flows, the end
// depths and the back-substitution through every superlink. The node
// storage is not linear in depth, so this is repeated in passes, each with
// the storage linearised at the last pass's depths, the first at the depths
// the nodes' trends carry them to; only the first pass of a piece
// factorises the junction system, and the later ones, whose systems differ
// from it only by the re-linearised storage, refine their heads with its
// factors. A superlink whose nodes all met the tolerance keeps its
// linearisation, and so its recurrences, in the later passes.
//
// Nearly empty pipes, steep ones above all, are where a linearised step
// makes water: a pipe leaving a dry node would carry what the mean section
// of a deeper downstream node allows, and an end node forced to a depth
// drawn from its junction would take its water from the junction. So a
// pipe's pressure, gravity and friction terms take its upstream node's
// section as the flow turns supercritical, a pipe below a node that has run
// dry loses its pressure and gravity, an end falling freely into its
// junction discharges by the free-fall rating of its own depth, and a
// sub-step that still makes water (floors, water drawn in at outlets) or
// whose storage iteration stalls is solved again in halves. Inner node
// depths come from each node's own continuity, so that errors do not grow
// along a superlink; and the water a sub-step made all the same is measured
// at every node and junction and booked.
#include "channel/superlink/superlink_solver.hpp"

#include <Eigen/SparseCore>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "channel/superlink/junction_lu.hpp"
#include "core/cube_root.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

constexpr double kG = 9.81;
constexpr double kPi = 3.1415926;
constexpr double kMinNodeDepth = 0.0001;   // m, least depth at which a sub-step takes a node's sections
constexpr double kNegativeDepth = 0.0;     // m, what a negative back-substituted depth becomes
constexpr double kHeadSlack = 0.001;       // m a head may lie below its junction bottom
constexpr double kMinSubstep = 0.001;      // s
constexpr double kSlot = 0.01;             // slot width of a full pipe, per diameter
constexpr double kMaxSplit = 1024.0;       // most pieces a sub-step is halved into where it makes water
constexpr double kMadeShare = 1e-3;        // water a piece may make, per m3 it moves between superlinks and junctions
constexpr double kMadeFloor = 1e-6;        // m3 a piece may make in any case
constexpr int kMaxPasses = 40;             // passes of a sub-step's storage iteration
constexpr double kStorageTol = 1e-13;      // m: accepted storage residual of a node per m2 of its plan
constexpr double kFreeTop = 0.95;          // share of a pipe's rise up to which its free-fall rating is exact
constexpr double kPolyFloor = 1e-6;        // least polynomial area (per D W) and radius (per D)
constexpr double kCritMargin = 0.001;      // m a closed section's critical depth stays inside its invert and crown
constexpr double kDepthTol = 1e-9;         // m: accepted error of a critical depth
constexpr int kMaxDepthSteps = 60;         // steps of the critical-depth iteration
constexpr double kLeastCarry = 1e-8;       // m: least change by which a node's first linearisation is carried on
constexpr double kHeadTol = 1e-14;         // per m of the largest head: a refined head's accepted last change
constexpr int kMaxSweeps = 4;              // refinements of a pass's heads before its system is factorised
constexpr double kSweepShrink = 1e-2;      // least shrinking of a refinement's change from the one before
constexpr double kNearStep = 1e-10;        // m: a node depth change over which a circle node's water is carried by its width
// Fitted polynomial section at relative depth s = y / D: area per D W, the
// sum of kPolyArea[i] s^i; hydraulic radius per D and top width per W, the
// same with kPolyRadius and kPolyTop.
constexpr double kPolyArea[4] = {-0.0265118802, 0.850625935, 0.450552317, -0.48046422};
constexpr double kPolyRadius[5] = {-0.0382820242, 1.1666329, -1.32389992, 1.04200851, -0.526837711};
constexpr double kPolyTop[5] = {0.656758295, 3.13077957, -9.66782176, 11.9256017, -5.88560436};

// The sum of c[i] s^i, and of its slope per unit of s.
template <int N>
double poly(const double (&c)[N], double s) {
    double v = c[N - 1];
    for (int i = N - 2; i >= 0; --i) v = v * s + c[i];
    return v;
}
template <int N>
double poly_slope(const double (&c)[N], double s) {
    double v = (N - 1) * c[N - 1];
    for (int i = N - 2; i >= 1; --i) v = v * s + i * c[i];
    return v;
}

// A pipe section at depth y and its change per m of depth: area (m2, m),
// wetted perimeter (m, 1) and top width (m, 1), by pipe_section_props'
// formulas. A circle's top width is the chord 2 sqrt(y (D - y)), which is
// D sin t for the angle t = acos((D/2 - y) / (D/2)) its area needs, without a
// second transcendental call.
struct section_slopes {
    pipe_section_values at;
    double area = 0.0, perimeter = 0.0, top_width = 0.0;
};
section_slopes section_with_slopes(int type, double d, double w, double y) {
    section_slopes v;
    if (type == pipe_box) {
        if (y <= 0.0) v.at = {0.0, w, w};
        else if (y >= d) v.at = {d * w, 2.0 * d + 2.0 * w, 0.0};
        else {
            v.at = {y * w, 2.0 * y + w, w};
            v.area = w;
            v.perimeter = 2.0;
        }
        return v;
    }
    if (y <= 0.0) return v;
    if (type == pipe_polynomial) {
        const double s = y >= d ? 1.0 : y / d, inside = y >= d ? 0.0 : 1.0;
        const double fit_area = poly(kPolyArea, s), fit_radius = poly(kPolyRadius, s), fit_top = poly(kPolyTop, s);
        const double area = std::max(fit_area, kPolyFloor) * d * w;
        const double radius = std::max(fit_radius, kPolyFloor) * d;
        v.at = {area, area / radius, std::max(fit_top * w, 0.0)};
        v.area = fit_area > kPolyFloor ? inside * poly_slope(kPolyArea, s) * w : 0.0;
        const double dradius = fit_radius > kPolyFloor ? inside * poly_slope(kPolyRadius, s) : 0.0;
        v.perimeter = (v.area * radius - area * dradius) / (radius * radius);
        v.top_width = fit_top > 0.0 ? inside * poly_slope(kPolyTop, s) * w / d : 0.0;
        return v;
    }
    if (y >= d) {
        v.at = {kPi * d * d / 4.0, kPi * d, 0.0};
        return v;
    }
    const double r = d / 2.0, t = std::acos((r - y) / r), half_chord = std::sqrt(y * (d - y));
    v.at = {r * r * t - (r - y) * half_chord, d * t, 2.0 * half_chord};
    v.area = v.at.top_width;
    v.perimeter = half_chord > 0.0 ? d / half_chord : 0.0;
    v.top_width = half_chord > 0.0 ? (d - 2.0 * y) / half_chord : 0.0;
    return v;
}

// A computational pipe's section for the solver's hot loops: type, rise and
// width (m), and its full area (m2) and perimeter (m); its half rise and its
// slot width (m) are one product of the rise each, made where used rather
// than read.
struct pipe_shape {
    int type = 0;
    double d = 0.0, w = 0.0, full_area = 0.0, full_perimeter = 0.0;
    double r() const { return d / 2.0; }
    double slot() const { return kSlot * d; }
};

// A node's share of its pipes: its plan area (m2), the pipe above it (or
// the first pipe, for the upstream end node) and half its length (m), the
// pipe below it (0 for none) and half its length (m), and whether the pipe
// below has the section of the one above.
struct node_shape {
    double plan_area = 0.0, half_first = 0.0, half_second = 0.0;
    int first = 0, second = 0;
    bool same = false;
    bool circles = false;  // every pipe of the node circular
};

// The depth (m) a node's first and second pipe sections were last computed
// at (not a number before the first), and those sections, where it lies
// inside them (above 0, below the pipe's rise): one record, as they are
// read together.
struct section_memo {
    double depth = std::nan("");
    pipe_section_values first, second;
};

// A table of the solver by [superlink][pipe or node]: elements 1..per_link
// of superlinks 1..links, one row after another in one zero-filled block
// (one element before the first row, so that row 1 starts inside it), each
// superlink's row found from its index. A sweep over the superlinks then
// reads neither a table of row pointers nor unused elements 0 beside the
// rows. Index 0 of a row is not the row's: it is never used.
template <class T>
class link_rows {
public:
    link_rows() = default;
    link_rows(int links, int per_link)
        : width_(static_cast<std::size_t>(per_link)), data_(static_cast<std::size_t>(links) * width_ + 1) {}
    // Row of superlink l >= 1, addressed 1..per_link.
    T* operator[](int l) { return data_.data() + static_cast<std::size_t>(l - 1) * width_; }
    const T* operator[](int l) const { return data_.data() + static_cast<std::size_t>(l - 1) * width_; }

private:
    std::size_t width_ = 0;
    block_vector<T> data_;
};

}  // namespace

struct superlink_work {
    // [superlink][pipe] and [superlink][node]: the pipes' and nodes' shapes.
    link_rows<pipe_shape> shape;
    link_rows<node_shape> node;
    // [superlink][pipe]: flow (m3/s); [superlink][node]: the velocity (m/s)
    // of the sub-step's momentum, whose upwind coefficients a and c
    // (upwind_a, upwind_c) are taken from it.
    link_rows<double> Q, l_veloc;
    // [superlink][pipe]: a + b + c, the sum the recurrences use (m/s), and
    // the momentum's other terms and the recurrences' coefficients.
    link_rows<double> abc, P, U, V, W, X, Y, Z, qlat;
    // [superlink][pipe]: g times the area (m3/s2) of the momentum's pressure
    // and gravity terms.
    link_rows<double> gAg;
    // Per node, for the storage iteration of a sub-step: the depth the
    // pass's storage is linearised at (m), the water at the sub-step start
    // and at that depth (m3), the storage width the pass used (m2), and the
    // storage residual of the latest pass (m3), whose sign the next pass
    // compares.
    link_rows<double> ym, S0, Sm, Wm, last_res;
    // [superlink]: 1 where every node's water at the pass's depths lay
    // within the tolerance of the pass's linear storage (and a free end's
    // flow of its linear rating), which the next pass then keeps, so that
    // the superlink's recurrences and end relations stand as they are.
    vec1<int> settled;
    // [superlink]: the heads (m) of its upstream and downstream junction
    // that its last back-substitution used.
    vec1<double> used_hu, used_hd;
    // One superlink's storage residuals of the pass (m3), by node.
    vec1<double> residual;
    // One superlink's sub-step start, by pipe or node, made afresh for each:
    // node depths no less than kMinNodeDepth, at which a sub-step takes the
    // sections of its coefficients (m; the water stays at the true depths);
    // each pipe's area (m2) and velocity (m/s) at its mean depth, the
    // area (m2) and hydraulic radius (m) of its friction term, and that mean
    // depth (m).
    vec1<double> y_floor, A, n_veloc, Af, Rg, mid_depth;
    // Per node, the depth (m) whose water (m3) and storage width (m2) were
    // last computed (not a number before the first), so that a sub-step
    // starting from the depths its last pass ended with does not compute
    // them again; and its sections at the depth they were last computed at.
    link_rows<double> known_depth, known_volume, known_width;
    link_rows<section_memo> sections;
    // One superlink's node continuity of the pass: E(k) y(k) - D(k) is the
    // flow node k takes in (E in m2/s, D in m3/s).
    vec1<double> E, D;
    // One superlink's upwind coefficients a and c of the pass (m/s), by pipe.
    vec1<double> ua, uc;
    // Shortest wave-travel time (s) of any pipe at the mean depths and
    // velocities of the last prepared piece; 100000 when none is shorter.
    double least_travel = 100000.0;
    // Water in the network (m3) after the last accepted piece.
    double network_volume = 0.0;
    vec1<double> Q_us, Q_ds, us_kap, ds_kap, us_gam, ds_gam, us_mu, ds_mu;
    vec1<double> us_alpha, us_beta, us_chi, ds_alpha, ds_beta, ds_chi;
    // The same for the flows between each end node and its superjunction
    // (the end flow plus or minus the end node's storage change), and
    // those flows after the solve (m3/s, positive downstream).
    vec1<double> us_jalpha, us_jbeta, us_jchi, ds_jalpha, ds_jbeta, ds_jchi, Q_us_junc, Q_ds_junc;
    // Ends that fall freely into their junction (1) for the sub-step, and
    // the pass's linear rating of such an end node: flow into the junction
    // = r x depth + s (m2/s, m3/s).
    vec1<int> us_free, ds_free;
    vec1<double> us_r, us_s, ds_r, ds_s;
    // Per node, the change of its depth over the last piece and over the one
    // before, per s (m/s); and the lengths of those pieces (s).
    link_rows<double> trend, trend_before;
    double last_piece = 0.0, piece_before = 0.0;
    // Per node, 1 over its plan: half of each adjacent pipe's diameter x
    // length, plus its plan area (1/m2).
    link_rows<double> per_plan;
    // The state at a piece's start, restored when the piece is rejected.
    link_rows<double> y_kept, Q_kept;
    vec1<double> Q_us_kept, Q_ds_kept, H_kept;
    // Junction system: where each coefficient lands in F's value array.
    Eigen::SparseMatrix<double> F;
    Eigen::VectorXd G, H, R;  // right side, heads (m), and a refinement's residual (m3/s), then change (m)
    junction_lu lu;
    std::vector<int> diag_at;             // [junction]
    std::vector<int> us_row_at, ds_row_at;  // [superlink]: entry (us, ds) and (ds, us); -1 for a boundary row
};

void superlink_work_deleter::operator()(superlink_work* w) const { delete w; }

double grate_inflow(int grates, double side, double dia, double depth) {
    const double d = 3.28 * depth;  // ft
    const double weir = 3.0 * (3.0 * 3.28 * side) * std::pow(d, 1.5);
    const double orifice = 0.67 * (0.785 * dia * dia * 10.764) * std::sqrt(64.4 * d);
    double cfs = weir;
    if (d >= 1.0) cfs = orifice;
    else if (d > 0.4) cfs = std::min(weir, orifice);
    return cfs * 0.02832 * grates;
}

pipe_section_values pipe_section_props(int type, double d, double w, double y) {
    if (type == pipe_box) {
        if (y <= 0.0) return {0.0, w, w};
        if (y >= d) return {d * w, 2.0 * d + 2.0 * w, 0.0};
        return {y * w, 2.0 * y + w, w};
    }
    if (y <= 0.0) return {};
    if (type == pipe_polynomial) return section_with_slopes(type, d, w, y).at;
    if (y >= d) return {kPi * d * d / 4.0, kPi * d, 0.0};
    const double r = d / 2.0, t = std::acos((r - y) / r), half_chord = std::sqrt(y * (d - y));
    return {r * r * t - (r - y) * half_chord, d * t, 2.0 * half_chord};
}

double pipe_critical_depth(int type, double d, double w, double q) {
    if (type == pipe_box) return std::pow((q / w) * (q / w) / kG, 1.0 / 3.0);
    const double target = q / std::sqrt(kG);
    double lo = kCritMargin, hi = d - kCritMargin;
    auto excess = [&](double y) {
        const pipe_section_values p = pipe_section_props(type, d, w, y);
        return p.area * std::sqrt(p.area / p.top_width) - target;
    };
    if (excess(hi) <= 0.0) return hi;
    if (excess(lo) >= 0.0) return lo;
    // Newton's method on A sqrt(A / T) = q / sqrt(g), whose slope per m is
    // A sqrt(A / T) (1.5 A' / A - 0.5 T' / T), inside a bracket [lo, hi]
    // with the root above lo and at or below hi that every step narrows; a
    // step that would leave the bracket (or has no slope) halves it instead.
    double y = 0.5 * (lo + hi);
    for (int it = 0; it < kMaxDepthSteps; ++it) {
        const section_slopes p = section_with_slopes(type, d, w, y);
        const double f = p.at.area * std::sqrt(p.at.area / p.at.top_width), e = f - target;
        if (e == 0.0) return y;
        (e < 0.0 ? lo : hi) = y;
        const double slope = f * (1.5 * p.area / p.at.area - 0.5 * p.top_width / p.at.top_width);
        double next = y - e / slope;
        if (!(next >= lo && next <= hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - y) <= kDepthTol) return next;
        y = next;
    }
    return y;
}

free_fall_rating pipe_free_fall(int type, double d, double w, double n, double slope, double y) {
    // Flow and its slope per m at depth z <= d: the critical flow
    // A sqrt(g A / T), whose slope is the flow times 1.5 A' / A - 0.5 T' / T,
    // or, where greater, the normal flow A (A / P)^(2/3) sqrt(S) / n, whose
    // slope is the flow times 5/3 A' / A - 2/3 P' / P.
    const double root_slope = std::sqrt(std::fabs(slope));
    auto flow = [&](double z) -> free_fall_rating {
        if (z <= 0.0) return {};
        const section_slopes p = section_with_slopes(type, d, w, z);
        const double a = p.at.area, t = p.at.top_width, per = p.at.perimeter;
        if (a <= 0.0) return {};
        free_fall_rating f;
        if (t > 0.0) {
            f.flow = a * std::sqrt(kG * a / t);
            f.slope = f.flow * (1.5 * p.area / a - 0.5 * p.top_width / t);
        }
        if (per > 0.0 && n > 0.0) {
            const double normal = a * pow_two_thirds(a / per) * root_slope / n;
            if (normal > f.flow) f = {normal, normal * (5.0 / 3.0 * p.area / a - 2.0 / 3.0 * p.perimeter / per)};
        }
        return f;
    };
    const double top = kFreeTop * d;
    if (y <= top) return flow(y);
    const double q = flow(top).flow * std::sqrt(y / top);
    return {q, 0.5 * q / y};
}

namespace {

pipe_shape shape_of(int type, double d, double w) {
    pipe_shape p;
    p.type = type;
    p.d = d;
    p.w = w;
    const pipe_section_values full = pipe_section_props(type, d, w, d);
    p.full_area = full.area;
    p.full_perimeter = full.perimeter;
    return p;
}
pipe_shape shape_of(const storm_drain_state& s, int l, int k) {
    return shape_of(s.sec_type[l][k], s.diameter[l][k], s.width[l][k]);
}

node_shape node_shape_of(const storm_drain_state& s, int l, int k) {
    const int n = s.superlink_cnodes[l];
    node_shape g;
    g.plan_area = s.Asc[l][k];
    g.first = std::max(k - 1, 1);
    g.half_first = 0.5 * s.dxc[l][g.first];
    if (k > 1 && k <= n) {
        g.second = k;
        g.half_second = 0.5 * s.dxc[l][k];
        g.same = s.sec_type[l][k] == s.sec_type[l][k - 1] && s.diameter[l][k] == s.diameter[l][k - 1] &&
                 s.width[l][k] == s.width[l][k - 1];
    }
    g.circles = s.sec_type[l][g.first] == pipe_circle && (g.second == 0 || s.sec_type[l][g.second] == pipe_circle);
    return g;
}

// pipe_section_props of a pipe shape; a circle's in line.
inline pipe_section_values section_in(const pipe_shape& p, double y) {
    if (p.type == pipe_circle && y > 0.0 && y < p.d) {
        const double r = p.r(), t = std::acos((r - y) / r), half_chord = std::sqrt(y * (p.d - y));
        return {r * r * t - (r - y) * half_chord, p.d * t, 2.0 * half_chord};
    }
    return pipe_section_props(p.type, p.d, p.w, y);
}

// Section of a pipe at the mean depth of its nodes; a full pipe keeps its
// own full area with a narrow slot for its top width.
pipe_section_values pipe_at(const pipe_shape& p, double y) {
    if (y >= p.d) return {p.full_area, p.full_perimeter, p.slot()};
    return section_in(p, y);
}

// Change of a pipe's area per m of depth y (0 < y < d) (m): the top width,
// but for the polynomial section the slope of its fitted area, whose fitted
// top width is not that slope (and 0 where the area is held at its floor).
double storage_width(int type, double d, double w, double y, const pipe_section_values& q) {
    if (type != pipe_polynomial) return q.top_width;
    const double t = y / d;
    if (q.area <= kPolyFloor * d * w) return 0.0;
    return poly_slope(kPolyArea, t) * w;
}

// Water (m3) held by node k of superlink l at depth y, and its change per m
// of depth (m2): the node's plan area, and half of each adjacent pipe with
// the pipe's section at the node's depth.
// Why per node: the node continuity that the recurrences solve has one
// storage term per node, in that node's own depth. A storage that depends on
// the node's depth alone keeps that form exact, so the storage iteration of a
// sub-step is a set of scalar equations whose Newton slopes are exact and
// converge in a few passes; a pipe's water at the mean depth of its two nodes
// couples neighbours, and the per-node linearisation of it converges slowly
// or not at all at a wetting front.
// A full pipe goes on storing in its slot, so that a surcharged node keeps a
// storage width and that water is counted; below the invert the slot width
// continues the storage as a deficit, which the depth floor fills and books.
// The width is never taken narrower than the slot: near the crown a circle's
// top width vanishes, and a vanishing width would send the next pass's depth
// far off.
struct node_store {
    double volume, width;
};
// A pipe's area at depth y (m2) and its change per m of depth (m); the
// section inside the pipe goes to `section`.
node_store pipe_store(const pipe_shape& p, double y, pipe_section_values& section) {
    if (y < 0.0) return {p.slot() * y, p.slot()};
    if (y >= p.d) return {p.full_area + p.slot() * (y - p.d), p.slot()};
    section = section_in(p, y);
    return {section.area, std::max(storage_width(p.type, p.d, p.w, y, section), p.slot())};
}
node_store node_storage(const node_shape& g, const pipe_shape& first, const pipe_shape& second, double y,
                        pipe_section_values& first_section, pipe_section_values& second_section) {
    node_store v{g.plan_area * y, g.plan_area};
    node_store pipe = pipe_store(first, y, first_section);
    v.volume += g.half_first * pipe.volume;
    v.width += g.half_first * pipe.width;
    if (g.second == 0) return v;
    if (!g.same) pipe = pipe_store(second, y, second_section);
    v.volume += g.half_second * pipe.volume;
    v.width += g.half_second * pipe.width;
    return v;
}
node_store node_storage(const superlink_work& w, int l, int k, double y) {
    const node_shape& g = w.node[l][k];
    pipe_section_values first, second;
    return node_storage(g, w.shape[l][g.first], w.shape[l][g.second], y, first, second);
}
node_store node_storage(const storm_drain_state& s, int l, int k, double y) {
    const node_shape g = node_shape_of(s, l, k);
    pipe_section_values first, second;
    return node_storage(g, shape_of(s, l, g.first), g.second ? shape_of(s, l, g.second) : pipe_shape(), y, first,
                        second);
}

// node_storage, taken from what was last computed at the node when its
// depth is the same.
node_store node_water(superlink_work& w, int l, int k, double y) {
    if (w.known_depth[l][k] == y) return {w.known_volume[l][k], w.known_width[l][k]};
    const node_shape& g = w.node[l][k];
    section_memo& m = w.sections[l][k];
    const node_store v = node_storage(g, w.shape[l][g.first], w.shape[l][g.second], y, m.first, m.second);
    w.known_depth[l][k] = m.depth = y;
    w.known_volume[l][k] = v.volume;
    w.known_width[l][k] = v.width;
    return v;
}

// Whether the storage width of pipe p at depth `from` (section `at`, where
// it lies inside the pipe) is its area's slope, and stays so up to depth y
// within kNearStep of it: below the invert and in a full pipe (the slot),
// and inside where the top width is wider than the slot (which keeps the
// depth 2.5e-5 of the rise from the invert and the crown, where the slot's
// floor would hold the width above the slope).
bool width_is_slope(const pipe_shape& p, const pipe_section_values& at, double from, double y) {
    if (from < 0.0) return y < 0.0;
    if (from >= p.d) return y >= p.d;
    return at.top_width > p.slot() && y > 0.0 && y < p.d;
}

// node_water, but a node of circular pipes whose depth lies within
// kNearStep of the depth its water was last computed at (its sections'
// depth), where the width computed with it is the slope of its water, has
// that water carried on by that width; the sections stay at that depth. A
// circle's top width is continuous with a slope of at most about 200 there
// (where it meets the slot), so the water's error, half that slope times
// the step squared per m of pipe, stays below 1e-18 m3 per m: below the
// water's own round-off. The passes after a superlink settles move most of
// its nodes by less than that.
node_store node_water_near(superlink_work& w, int l, int k, double y) {
    const section_memo& m = w.sections[l][k];
    const double step = y - w.known_depth[l][k], from = m.depth;
    const node_shape& g = w.node[l][k];
    if (step == 0.0 || std::fabs(y - from) > kNearStep || !g.circles ||
        !width_is_slope(w.shape[l][g.first], m.first, from, y) ||
        (g.second && !g.same && !width_is_slope(w.shape[l][g.second], m.second, from, y)))
        return node_water(w, l, k, y);
    w.known_depth[l][k] = y;
    w.known_volume[l][k] += w.known_width[l][k] * step;
    return {w.known_volume[l][k], w.known_width[l][k]};
}

// Water in the network (m3) at its depths and heads, with `node(l, k, y)`
// the water of node k of superlink l at depth y.
template <class NodeWater>
double network_water(const storm_drain_state& s, NodeWater node) {
    double v = 0.0;
    for (int l = 1; l <= s.n_superlinks; ++l) {
        double link = 0.0;
        for (int k = 1; k <= s.superlink_cnodes[l] + 1; ++k) link += node(l, k, s.slink_node_depth[l][k]);
        v += link;
    }
    for (int j = 1; j <= s.n_sjunc; ++j)
        if (!s.bound[j]) v += s.As_sjunc[j] * (s.sjunc_head[j] - s.junc_bottom[j]);
    return v;
}

// Whether an end of pipe (l, k) carrying flow q (m3/s), whose junction
// stands `over` m above the end's invert, stands below the flow's critical
// depth (taken as no less than kMinNodeDepth). A circle's critical depth
// stays 1 mm inside its invert and crown, and its critical flow grows with
// depth: between those bounds `over` lies below the critical depth exactly
// where the critical flow at `over` is less than q, so no depth is solved.
bool below_critical(const superlink_work& work, int l, int k, double q, double over) {
    const pipe_shape& shape = work.shape[l][k];
    const int type = shape.type;
    const double d = shape.d, w = shape.w;
    if (type != pipe_circle) return over < std::max(pipe_critical_depth(type, d, w, q), kMinNodeDepth);
    if (over < kCritMargin) return true;
    if (over >= d - kCritMargin) return false;
    const pipe_section_values p = pipe_section_props(type, d, w, over);
    return p.area * std::sqrt(p.area / p.top_width) < q / std::sqrt(kG);
}

// The free-fall rating of the end of pipe (l, k) at end depth y (m).
free_fall_rating free_fall(const storm_drain_state& s, const superlink_work& w, int l, int k, double y) {
    const pipe_shape& p = w.shape[l][k];
    return pipe_free_fall(p.type, p.d, p.w, s.M_n[l][k], s.S0[l][k], y);
}

// Least depth (m) at which an end's rating is linearised, per m of its pipe's rise.
constexpr double kLeastRatedDepth = 1e-9;

// The free-fall rating of the end node at pipe `pipe` of superlink l at
// depth y (m), at no less than kLeastRatedDepth of the rise: the depth it is
// taken at, and the rating there.
struct rated_end {
    double at;
    free_fall_rating f;
};
rated_end rate_end(const storm_drain_state& s, const superlink_work& w, int l, int pipe, double y) {
    const double at = std::max(y, kLeastRatedDepth * w.shape[l][pipe].d);
    return {at, free_fall(s, w, l, pipe, at)};
}

// A rating linearised at its depth: its tangent there, q = r y + q0, never
// falling with depth.
void linear_rating(const rated_end& e, double& r, double& q0) {
    r = std::max(e.f.slope, 0.0);
    q0 = e.f.flow - r * e.at;
}

void make_work(storm_drain_state& s) {
    s.superlink_solver.reset(new superlink_work);
    superlink_work& w = *s.superlink_solver;
    const int nl = s.n_superlinks, nj = s.n_sjunc, rows = s.max_nodes_per_link + 1;
    for (link_rows<double>* t : {&w.Q, &w.l_veloc, &w.abc, &w.P, &w.U, &w.V, &w.W, &w.X, &w.Y, &w.Z, &w.qlat,
                                 &w.ym, &w.S0, &w.Sm, &w.Wm, &w.last_res, &w.Q_kept, &w.trend, &w.trend_before,
                                 &w.per_plan, &w.gAg, &w.known_depth, &w.known_volume, &w.known_width})
        *t = link_rows<double>(nl, rows);
    for (vec1<double>* v :
         {&w.y_floor, &w.A, &w.n_veloc, &w.Af, &w.Rg, &w.mid_depth, &w.residual, &w.E, &w.D, &w.ua, &w.uc})
        *v = vec1<double>(rows);
    w.y_kept = link_rows<double>(s.slink_node_depth.nrows(), s.slink_node_depth.ncols());
    w.shape = link_rows<pipe_shape>(nl, rows);
    w.node = link_rows<node_shape>(nl, rows);
    w.sections = link_rows<section_memo>(nl, rows);
    for (int l = 1; l <= nl; ++l) {
        const int n = s.superlink_cnodes[l];
        for (int k = 1; k <= n; ++k) w.shape[l][k] = shape_of(s, l, k);
        for (int k = 1; k <= n + 1; ++k) w.node[l][k] = node_shape_of(s, l, k);
        std::fill(w.known_depth[l] + 1, w.known_depth[l] + rows + 1, std::nan(""));
        for (int k = 1; k <= n + 1; ++k)
            w.per_plan[l][k] = 1.0 / (0.5 * ((k > 1 ? s.diameter[l][k - 1] * s.dxc[l][k - 1] : 0.0) +
                                             (k <= n ? s.diameter[l][k] * s.dxc[l][k] : 0.0)) + s.Asc[l][k]);
    }
    for (vec1<double>* v : {&w.Q_us, &w.Q_ds, &w.us_kap, &w.ds_kap, &w.us_gam, &w.ds_gam, &w.us_mu, &w.ds_mu,
                            &w.us_alpha, &w.us_beta, &w.us_chi, &w.ds_alpha, &w.ds_beta, &w.ds_chi, &w.us_jalpha,
                            &w.us_jbeta, &w.us_jchi, &w.ds_jalpha, &w.ds_jbeta, &w.ds_jchi, &w.Q_us_junc, &w.Q_ds_junc,
                            &w.us_r, &w.us_s, &w.ds_r, &w.ds_s, &w.Q_us_kept, &w.Q_ds_kept,
                            &w.used_hu, &w.used_hd})
        *v = vec1<double>(nl);
    w.us_free = vec1<int>(nl);
    w.ds_free = vec1<int>(nl);
    w.settled = vec1<int>(nl);
    w.H_kept = vec1<double>(s.sjunc_head.n());
    // The pattern of the junction system: a diagonal, and for a junction of
    // free head the junction at the other end of each of its superlinks.
    std::vector<Eigen::Triplet<double>> pattern;
    for (int j = 1; j <= nj; ++j) pattern.emplace_back(j - 1, j - 1, 1.0);
    for (int l = 1; l <= nl; ++l) {
        const int u = s.us_sjunc[l], d = s.ds_sjunc[l];
        if (!s.bound[u]) pattern.emplace_back(u - 1, d - 1, 1.0);
        if (!s.bound[d]) pattern.emplace_back(d - 1, u - 1, 1.0);
    }
    w.F.resize(nj, nj);
    w.F.setFromTriplets(pattern.begin(), pattern.end());
    w.F.makeCompressed();
    const double* base = w.F.valuePtr();
    w.diag_at.assign(static_cast<std::size_t>(nj) + 1, 0);
    for (int j = 1; j <= nj; ++j) w.diag_at[static_cast<std::size_t>(j)] = &w.F.coeffRef(j - 1, j - 1) - base;
    w.us_row_at.assign(static_cast<std::size_t>(nl) + 1, -1);
    w.ds_row_at.assign(static_cast<std::size_t>(nl) + 1, -1);
    for (int l = 1; l <= nl; ++l) {
        const int u = s.us_sjunc[l], d = s.ds_sjunc[l];
        if (!s.bound[u]) w.us_row_at[static_cast<std::size_t>(l)] = &w.F.coeffRef(u - 1, d - 1) - base;
        if (!s.bound[d]) w.ds_row_at[static_cast<std::size_t>(l)] = &w.F.coeffRef(d - 1, u - 1) - base;
    }
    w.G.resize(nj);
    w.H.setZero(nj);
    w.R.resize(nj);
    w.lu.analyse(w.F);
}

// The first call: every node nearly dry, every head at its junction bottom.
void initialise(storm_drain_state& s) {
    make_work(s);
    for (int j = 1; j <= s.n_sjunc; ++j) {
        s.Q_junc[j] = 0.0;
        s.sjunc_head[j] = s.junc_bottom[j];
    }
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int n = s.superlink_cnodes[l];
        s.us_Zinv[l] = s.slink_node_Zinv[l][1];
        s.ds_Zinv[l] = s.slink_node_Zinv[l][s.nnodes[l] + 1];
        for (int k = 1; k <= n + 1; ++k) s.slink_node_depth[l][k] = kMinNodeDepth;
    }
    s.superlink_volume_in = s.superlink_volume_out = s.superlink_volume_boundary = s.superlink_volume_drawn_in = 0.0;
    s.drain_cleanup_volume = s.drain_linearisation_volume = 0.0;
    s.initial_volume_sub_surface_drains = superlink_storage(s);
    s.superlink_solver->network_volume = s.initial_volume_sub_surface_drains;
}

// Grate flow into the inlet of cell `cell` over sub-step dt, taken from the
// cell's water and never more than it holds.
double take_from_cell(vec1<double>& h, int cell, int grates, double side, double dia, double area, double dt) {
    if (cell <= 0 || h[cell] <= 1e-16) return 0.0;
    const double q = std::min(grate_inflow(grates, side, dia, h[cell]), h[cell] * area / dt);
    h[cell] = std::max(h[cell] - q * dt / area, 0.0);
    return q;
}

void gather_inflows(storm_drain_state& s, superlink_work& w, vec1<double>& h, double area, double dt) {
    double in = 0.0;
    for (int j = 1; j <= s.n_sjunc; ++j) {
        const int code = s.sjunc_inlet_type[j];
        s.Q_junc[j] = code >= 1 && code <= kMaxGrates
                          ? take_from_cell(h, s.superlink_junc_gnum[j], code, s.grate_sidelength_sjunc[j],
                                           s.grate_dia_sjunc[j], area, dt)
                          : 0.0;
    }
    for (int l = 1; l <= s.n_superlinks; ++l) {
        // Tile water of every node of the superlink enters at its upstream superjunction.
        if (s.tile_drains_present)
            for (int k = 1; k <= s.nnodes[l]; ++k) s.Q_junc[s.us_sjunc[l]] += s.superlink_tile_flow[l][k];
        double* qlat = w.qlat[l];
        std::fill(qlat + 1, qlat + s.superlink_cnodes[l] + 2, 0.0);
        for (int k = 2; k <= s.nnodes[l]; ++k) {
            const int code = s.inlet_type[l][k];
            double q = 0.0;
            if (code >= 1 && code <= kMaxGrates && s.flow_to_superlink[l][k] > 0.0)
                q = take_from_cell(h, s.superlink_node_gnum[l][k], code, s.grate_sidelength_node[l][k],
                                   s.grate_dia_node[l][k], area, dt);
            s.Q_node[l][k] = q;
            qlat[s.inflow_cnode[l][k]] += q;
            in += q;
        }
    }
    for (int j = 1; j <= s.n_sjunc; ++j) in += s.Q_junc[j];
    s.superlink_volume_in += in * dt;
}

// Section of the pressure, gravity and friction terms of pipe k of
// superlink l, whose flow is q, section at its mean depth `mid`, node depths
// y: area (m2) and hydraulic radius (m). The mean section's, but for a pipe
// not full at both ends whose water surface falls along its flow, weighted
// toward its upstream node's section as the flow turns supercritical at the
// middle or at that node (all of it from a Froude number of 1 on). A pipe
// running fast from a nearly dry node then carries what that node's depth
// carries, not what a deeper downstream node gives the mean section.
struct driving_section {
    double area, radius;
};
// Section of pipe k of superlink l at the sub-step's floored depth y of its
// node `at` (k or k + 1): the one the node's water was last computed with,
// where that depth is the node's own and lies inside the pipe.
pipe_section_values section_at_node(const storm_drain_state& s, const superlink_work& w, int l, int k, int at,
                                      const double* y) {
    const pipe_shape& p = w.shape[l][k];
    const section_memo& m = w.sections[l][at];
    if (y[at] == s.slink_node_depth[l][at] && m.depth == y[at] && y[at] < p.d) {
        const node_shape& g = w.node[l][at];
        return g.first == k || g.same ? m.first : m.second;
    }
    return pipe_at(p, y[at]);
}

driving_section driving(const storm_drain_state& s, const superlink_work& w, int l, int k, const double* y, double q,
                        const pipe_section_values& mid) {
    const driving_section at_mid{mid.area, mid.perimeter > 0.0 ? mid.area / mid.perimeter : 0.0};
    if (q == 0.0 || mid.area <= 0.0 || std::min(y[k], y[k + 1]) >= w.shape[l][k].d) return at_mid;
    const double drop = s.S0[l][k] * s.dxc[l][k] + y[k] - y[k + 1];  // water-surface fall from node k to k+1 (m)
    if (q > 0.0 ? drop < 0.0 : drop > 0.0) return at_mid;
    const pipe_section_values up = section_at_node(s, w, l, k, q > 0.0 ? k : k + 1, y);
    // The Froude number's square q^2 T / (g A^3), and its root only where sigma needs it.
    auto froude2 = [q](const pipe_section_values& p) {
        return p.area > 0.0 && p.top_width > 0.0 ? q * q * p.top_width / (kG * p.area * p.area * p.area) : 1.0;
    };
    const double fr2 = std::max(froude2(mid), froude2(up));
    const double sigma = fr2 <= 0.25 ? 1.0 : fr2 >= 1.0 ? 0.0 : 2.0 * (1.0 - std::sqrt(fr2));
    const double up_radius = up.perimeter > 0.0 ? up.area / up.perimeter : 0.0;
    return {up.area + (at_mid.area - up.area) * sigma, up_radius + (at_mid.radius - up_radius) * sigma};
}

// Share (0..1) of its driving section by which the pressure and gravity of
// pipe k of superlink l act: 1, but where the node whose water surface
// stands higher holds less than kMinNodeDepth, that node's depth per
// kMinNodeDepth. Sections are taken at no less than that depth, so a pipe
// below a node that has run dry would go on drawing from it the flow of
// that depth, water the node does not hold: sub-step after sub-step its
// depth would fall below 0 and the floor would make the water up. Friction
// keeps the whole section, so the flow such a pipe still carries dies away.
double head_share(const storm_drain_state& s, int l, int k) {
    const double* y = s.slink_node_depth[l];
    const double fall = s.S0[l][k] * s.dxc[l][k] + y[k] - y[k + 1];  // water surface, node k over node k+1 (m)
    const double top = fall >= 0.0 ? y[k] : y[k + 1];
    return top >= kMinNodeDepth ? 1.0 : std::max(top, 0.0) / kMinNodeDepth;
}

// The momentum's upwind coefficients of pipe k from the node velocities lv
// (m/s): a from its upstream node's, c from its downstream node's.
inline double upwind_a(const double* lv, int k) { return lv[k] > 0.0 ? -lv[k] : 0.0; }
inline double upwind_c(const double* lv, int k) { return lv[k + 1] < 0.0 ? lv[k + 1] : 0.0; }

// Sub-step start of superlink l: each node's water at the start depths, the
// pipe sections at the start depths (floored), the momentum coefficients and
// the end relations; all are held through the sub-step's passes but a
// free-falling end's rating.
void prepare_superlink(storm_drain_state& s, superlink_work& w, int l, double dt) {
    const int n = s.superlink_cnodes[l];
    double* y = w.y_floor.data();
    for (int k = 1; k <= n + 1; ++k) {
        const node_store v = node_water(w, l, k, s.slink_node_depth[l][k]);
        w.y_kept[l][k] = s.slink_node_depth[l][k];
        w.S0[l][k] = w.Sm[l][k] = v.volume;
        w.last_res[l][k] = 0.0;
        w.Wm[l][k] = v.width;
        w.ym[l][k] = s.slink_node_depth[l][k];
        y[k] = std::max(s.slink_node_depth[l][k], kMinNodeDepth);
    }
    w.settled[l] = 0;
    w.Q_us_kept[l] = w.Q_us[l];
    w.Q_ds_kept[l] = w.Q_ds[l];
    const double* dxc = s.dxc[l];
    double *Q = w.Q[l], *A = w.A.data(), *nv = w.n_veloc.data(), *lv = w.l_veloc[l];
    double *abc = w.abc[l], *P = w.P[l], *gAg = w.gAg[l], *mid = w.mid_depth.data();
    double *Af = w.Af.data(), *Rg = w.Rg.data();
    for (int k = 1; k <= n; ++k) {
        w.Q_kept[l][k] = Q[k];
        mid[k] = 0.5 * (y[k] + y[k + 1]);
        const pipe_section_values p = pipe_at(w.shape[l][k], mid[k]);
        A[k] = p.area;
        nv[k] = A[k] > 0.0 ? Q[k] / A[k] : 0.0;
        const driving_section g = driving(s, w, l, k, y, Q[k], p);
        Af[k] = g.area;
        Rg[k] = g.radius;
        gAg[k] = kG * (g.area * head_share(s, l, k));
    }
    lv[1] = nv[1];
    lv[n + 1] = nv[n];
    for (int k = 2; k <= n; ++k) lv[k] = (dxc[k] * nv[k] + dxc[k - 1] * nv[k - 1]) / (dxc[k - 1] + dxc[k]);
    for (int k = 1; k <= n; ++k) {
        const double a = upwind_a(lv, k), c = upwind_c(lv, k);
        const double q = std::fabs(Q[k]), nm = s.M_n[l][k];
        // R^(4/3) as the square of R^(2/3), from the cube-root core.
        const double r23 = Af[k] > 0.0 && Rg[k] > 0.0 ? pow_two_thirds(Rg[k]) : 0.0;
        const double friction = r23 > 0.0 ? kG * nm * nm * q * dxc[k] / (r23 * r23 * Af[k]) : 0.0;
        const double loss = A[k] > 0.0 ? q / A[k] : 0.0;  // |Q| A / (C^2 Ac^2) with C = 1, Ac = A
        const double b = dxc[k] / dt + friction + loss - a - c;
        abc[k] = a + b + c;
        P[k] = gAg[k] * s.S0[l][k] * dxc[k] + Q[k] * dxc[k] / dt;
        const double travel = dxc[k] / (std::sqrt(kG * std::max(mid[k], 0.0)) + std::fabs(lv[k]));
        if (travel > 1e-16 && travel < w.least_travel) w.least_travel = travel;
    }
    // End relations. An end whose flow falls freely into a junction standing
    // below the end's critical depth (or an empty end) discharges by the
    // free-fall rating of its node's depth, linearised each pass
    // (reduce_superlink); otherwise the end node stands at the junction's
    // head, downstream above it by the velocity head of the end flow, with
    // the end section taken at no less than the junction's depth over the
    // invert, below which the node does not fall.
    const double qu = w.Q_us[l], qd = w.Q_ds[l];
    const double over_u = s.sjunc_head[s.us_sjunc[l]] - s.us_Zinv[l];
    const double over_d = s.sjunc_head[s.ds_sjunc[l]] - s.ds_Zinv[l];
    w.us_free[l] = qu < 0.0 && below_critical(w, l, 1, -qu, over_u);
    w.ds_free[l] = qd >= 0.0 && below_critical(w, l, n, qd, over_d);
    // The first pass linearises each node's storage (and a free end's
    // rating) at its depth carried on by the last piece's trend, where that
    // stays above 0: the storage iteration then starts nearer its end and
    // needs fewer passes; each pass then linearises them again at its new
    // depths (back_substitute). Where the last two pieces were as long as
    // this one and their trends differ by no more than half the last, the
    // trend is carried on with its own change. A node carried on by
    // kLeastCarry or less keeps its start, whose tangent is then as near.
    const bool even = w.last_piece == dt && w.piece_before == dt;
    double* guess = w.ym[l];
    for (int k = 1; k <= n + 1; ++k) {
        const double last = w.trend[l][k], before = w.trend_before[l][k];
        const bool smooth = even && last * before > 0.0 && std::fabs(last - before) <= 0.5 * std::fabs(last);
        const double ahead = guess[k] + (smooth ? 2.0 * last - before : last) * dt;
        if (std::fabs(ahead - guess[k]) <= kLeastCarry || ahead < 0.0) continue;
        const node_store v = node_water(w, l, k, ahead);
        guess[k] = ahead;
        w.Sm[l][k] = v.volume;
        w.Wm[l][k] = v.width;
    }
    if (w.us_free[l]) linear_rating(rate_end(s, w, l, 1, guess[1]), w.us_r[l], w.us_s[l]);
    if (w.ds_free[l]) linear_rating(rate_end(s, w, l, n, guess[n + 1]), w.ds_r[l], w.ds_s[l]);
    double ku = 0.0, gu = 1.0, mu_u = -s.us_Zinv[l];
    double kd = 0.0, gd = 1.0, mu_d = -s.ds_Zinv[l];
    if (!w.ds_free[l]) {
        const double ds_A = y[n + 1] >= over_d ? section_at_node(s, w, l, n, n + 1, y).area
                                               : pipe_section_props(w.shape[l][n].type, w.shape[l][n].d,
                                                                    w.shape[l][n].w, over_d).area;
        const double den = 2.0 * ds_A * ds_A * kG;
        kd = std::fabs(den) < 1e-9 ? 0.0 : std::fabs(qd) / den;
    }
    w.us_kap[l] = ku; w.us_gam[l] = gu; w.us_mu[l] = mu_u;
    w.ds_kap[l] = kd; w.ds_gam[l] = gd; w.ds_mu[l] = mu_d;
}

// Node continuity of superlink l for the pass (w.E, w.D), with each node's
// water taken as its water at the depth its storage is linearised at plus
// the pass's storage width times the change from it. Made again where it is
// used rather than kept per superlink: it is a few products of what the
// pass keeps.
void node_continuity(const storm_drain_state& s, superlink_work& w, int l, double dt) {
    const int n = s.superlink_cnodes[l];
    const double *y = w.ym[l], *S0 = w.S0[l], *Sm = w.Sm[l], *Wm = w.Wm[l], *qlat = w.qlat[l];
    double *D = w.D.data(), *E = w.E.data();
    const double per_dt = 1.0 / dt;
    for (int k = 1; k <= n + 1; ++k) {
        E[k] = Wm[k] * per_dt;
        D[k] = (Wm[k] * y[k] - (Sm[k] - S0[k])) * per_dt + qlat[k];
    }
}

// One pass of superlink l: node continuity, then the recurrences and the
// end relations.
void reduce_superlink(storm_drain_state& s, superlink_work& w, int l, double dt) {
    const int n = s.superlink_cnodes[l];
    const double *gAg = w.gAg[l], *lv = w.l_veloc[l];
    const double *abc = w.abc[l], *P = w.P[l];
    double *a = w.ua.data(), *c = w.uc.data();
    for (int k = 1; k <= n; ++k) {
        a[k] = upwind_a(lv, k);
        c[k] = upwind_c(lv, k);
    }
    node_continuity(s, w, l, dt);
    const double *D = w.D.data(), *E = w.E.data();
    double *U = w.U[l], *V = w.V[l], *W = w.W[l], *X = w.X[l], *Y = w.Y[l], *Z = w.Z[l];
    // A free-falling end: its node's continuity with the rating in place of
    // the junction's head. Downstream Q(n+1) = Q(n) - E y + D = r y + s, so
    // y = Q(n) / (E + r) + (D - s) / (E + r); upstream the flow into node 1,
    // Q(0) = Q(1) + E y - D, is -(r y + s).
    if (w.ds_free[l]) {
        const double e = 1.0 / (E[n + 1] + w.ds_r[l]);
        w.ds_gam[l] = 0.0;
        w.ds_kap[l] = e;
        w.ds_mu[l] = (D[n + 1] - w.ds_s[l]) * e;
    }
    if (w.us_free[l]) {
        const double e = 1.0 / (E[1] + w.us_r[l]);
        w.us_gam[l] = 0.0;
        w.us_kap[l] = -e;
        w.us_mu[l] = (D[1] - w.us_s[l]) * e;
    }
    // Both recurrences keep continuity at every node, end nodes included:
    // the flow upstream of pipe 1 is Q(0) = Q(1) + E(1) y(1) - D(1), the
    // flow from the upstream superjunction into node 1, and downstream of
    // pipe n Q(n+1) = Q(n) - E(n+1) y(n+1) + D(n+1). The forward and the
    // backward recurrence then describe one system, so the back-substitution
    // reproduces both end flows and every node's continuity holds. Each
    // step divides once and multiplies by the reciprocal.
    // Forward: Q(k) = U(k) y(k+1) + V(k) + W(k) y(1).
    double t = 1.0 / abc[1];
    U[1] = (E[2] * c[1] - gAg[1]) * t;
    V[1] = (a[1] * D[1] + P[1] - D[2] * c[1]) * t;
    W[1] = (gAg[1] - E[1] * a[1]) * t;
    for (int k = 2; k <= n; ++k) {
        const double q = (gAg[k] - E[k] * a[k]) / (U[k - 1] - E[k]);
        t = 1.0 / (abc[k] - q);
        U[k] = (E[k + 1] * c[k] - gAg[k]) * t;
        V[k] = (a[k] * D[k] + P[k] - D[k + 1] * c[k] - (V[k - 1] + D[k]) * q) * t;
        W[k] = -q * W[k - 1] * t;
    }
    // Backward: Q(k) = X(k) y(k) + Y(k) + Z(k) y(n+1).
    double o = 1.0 / abc[n];
    X[n] = (gAg[n] - E[n] * a[n]) * o;
    Y[n] = (D[n] * a[n] + P[n] - D[n + 1] * c[n]) * o;
    Z[n] = (E[n + 1] * c[n] - gAg[n]) * o;
    for (int k = n - 1; k >= 1; --k) {
        const double r = (gAg[k] - E[k + 1] * c[k]) / (X[k + 1] + E[k + 1]);
        o = 1.0 / (r + abc[k]);
        X[k] = (gAg[k] - E[k] * a[k]) * o;
        Y[k] = (a[k] * D[k] + P[k] - D[k + 1] * c[k] - (D[k + 1] - Y[k + 1]) * r) * o;
        Z[k] = r * Z[k + 1] * o;
    }
    const double ku = w.us_kap[l], gu = w.us_gam[l], mu_u = w.us_mu[l];
    const double kd = w.ds_kap[l], gd = w.ds_gam[l], mu_d = w.ds_mu[l];
    const double X1 = X[1], Y1 = Y[1], Z1 = Z[1], Un = U[n], Vn = V[n], Wn = W[n];
    const double det = 1.0 / ((1.0 - Un * kd) * (1.0 - X1 * ku) - Z1 * kd * Wn * ku);
    w.us_alpha[l] = (Z1 * kd * Wn * gu + (1.0 - Un * kd) * X1 * gu) * det;
    w.us_beta[l] = (Z1 * kd * Un * gd + (1.0 - Un * kd) * Z1 * gd) * det;
    w.us_chi[l] = ((Un * mu_d + Wn * mu_u + Vn) * Z1 * kd + (Z1 * mu_d + X1 * mu_u + Y1) * (1.0 - Un * kd)) * det;
    w.ds_alpha[l] = (X1 * ku * Wn * gu + (1.0 - X1 * ku) * Wn * gu) * det;
    w.ds_beta[l] = (Wn * ku * Z1 * gd + (1.0 - X1 * ku) * Un * gd) * det;
    w.ds_chi[l] = ((Z1 * mu_d + X1 * mu_u + Y1) * Wn * ku + (Un * mu_d + Wn * mu_u + Vn) * (1.0 - X1 * ku)) * det;
    // Junction-side flows: Q(0) = Q(1) + E(1) y(1) - D(1) with y(1) = gu Hu + ku Q(1) + mu_u, and
    // Q(n+1) = Q(n) - E(n+1) y(n+1) + D(n+1) with y(n+1) = gd Hd + kd Q(n) + mu_d.
    const double fu = 1.0 + E[1] * ku, fd = 1.0 - E[n + 1] * kd;
    w.us_jalpha[l] = fu * w.us_alpha[l] + E[1] * gu;
    w.us_jbeta[l] = fu * w.us_beta[l];
    w.us_jchi[l] = fu * w.us_chi[l] + E[1] * mu_u - D[1];
    w.ds_jalpha[l] = fd * w.ds_alpha[l];
    w.ds_jbeta[l] = fd * w.ds_beta[l] - E[n + 1] * gd;
    w.ds_jchi[l] = fd * w.ds_chi[l] - E[n + 1] * mu_d + D[n + 1];
}

// How a pass's junction solve ended.
enum junction_solve : int { heads_solved, heads_singular, heads_not_finite };

// Fills the junction system of the pass (F's values and G).
void assemble_junctions(const storm_drain_state& s, superlink_work& w, double dt) {
    double* F = w.F.valuePtr();
    double* G = w.G.data();  // the vectors' own storage: no bounds check per entry in the hot loops
    std::fill(F, F + w.F.nonZeros(), 0.0);
    for (int j = 1; j <= s.n_sjunc; ++j) {
        const std::size_t at = static_cast<std::size_t>(w.diag_at[static_cast<std::size_t>(j)]);
        if (s.bound[j]) {
            F[at] = 1.0;
            G[j - 1] = s.junc_bottom[j];
        } else {
            F[at] = s.As_sjunc[j] / dt;
            G[j - 1] = s.As_sjunc[j] / dt * s.sjunc_head[j] + s.Q_junc[j];
        }
    }
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int u = s.us_sjunc[l], d = s.ds_sjunc[l];
        const int at_u = w.us_row_at[static_cast<std::size_t>(l)], at_d = w.ds_row_at[static_cast<std::size_t>(l)];
        if (at_u >= 0) {
            F[w.diag_at[static_cast<std::size_t>(u)]] += w.us_jalpha[l];
            F[at_u] += w.us_jbeta[l];
            G[u - 1] -= w.us_jchi[l];
        }
        if (at_d >= 0) {
            F[w.diag_at[static_cast<std::size_t>(d)]] -= w.ds_jbeta[l];
            F[at_d] -= w.ds_jalpha[l];
            G[d - 1] += w.ds_jchi[l];
        }
    }
}

junction_solve solve_anew(superlink_work& w) {
    if (!w.lu.factorise(w.F)) return heads_singular;
    w.H = w.G;
    if (!w.lu.solve(w.H)) return heads_singular;
    return w.H.allFinite() ? heads_solved : heads_not_finite;
}

// The superjunction heads of the pass (in w.H). The first pass of a piece
// factorises its system; a later pass, whose system differs from the first
// one's only by the storage widths and ratings the pass re-linearised,
// refines the last pass's heads with the first pass's factors,
// H += LU^-1 (G - F H), until a correction is below kHeadTol of the largest
// head (each correction some orders below the last), and factorises its own
// system when they do not shrink so.
junction_solve solve_junctions(const storm_drain_state& s, superlink_work& w, double dt, bool first) {
    assemble_junctions(s, w, dt);
    if (first) return solve_anew(w);
    const double tol = kHeadTol * std::max(1.0, w.H.cwiseAbs().maxCoeff());
    double last = 0.0;
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
        w.R = w.G;
        w.R.noalias() -= w.F * w.H;
        if (!w.lu.solve(w.R) || !w.R.allFinite()) break;
        const double change = w.R.cwiseAbs().maxCoeff();
        if (sweep > 0 && change > kSweepShrink * last) break;
        w.H += w.R;
        if (change <= tol) return heads_solved;
        last = change;
    }
    return solve_anew(w);
}

// A junction whose head nothing in the junction system depends on (its
// column is empty: no plan area, and no superlink whose flow depends on its
// head); 0 when none.
int unset_junction(const storm_drain_state& s, const superlink_work& w) {
    for (int j = 1; j <= s.n_sjunc; ++j) {
        bool used = false;
        for (Eigen::SparseMatrix<double>::InnerIterator it(w.F, j - 1); it && !used; ++it) used = it.value() != 0.0;
        if (!used) return j;
    }
    return 0;
}

// The refusal of a junction system that cannot be solved.
void refuse_junction_solve(const storm_drain_state& s, const superlink_work& w, junction_solve how) {
    if (how == heads_not_finite) {
        int j = 1;
        while (j < s.n_sjunc && std::isfinite(w.H[j - 1])) ++j;
        store_refusal(format_text("Error: the superlink solver's heads of its %d superjunctions are not numbers "
                                  "(superjunction %d the first); the pipe network's water cannot be followed.\n",
                                  s.n_sjunc, j));
        return;
    }
    const int j = unset_junction(s, w);
    const int line = j > 0 && static_cast<std::size_t>(j) < s.sjunc_card_line.size()
                         ? s.sjunc_card_line[static_cast<std::size_t>(j)]
                         : 0;
    const std::string card = line > 0 ? format_text(" (SJUNC card on line %d of the storm-sewer file)", line) : "";
    if (j > 0)
        store_refusal(format_text("Error: the superlink solver's system of %d superjunction heads is singular: "
                                  "superjunction %d%s has no plan area and no superlink whose flow depends on its "
                                  "head, so nothing sets its head. Give it a plan area above 0, or join it to the "
                                  "network by a superlink that leaves it.\n",
                                  s.n_sjunc, j, card.c_str()));
    else
        store_refusal(format_text("Error: the superlink solver's sparse LU factorisation found the system of %d "
                                  "superjunction heads singular; the heads cannot be solved for. Superjunctions "
                                  "without a plan area make it so where their superlinks fall freely into them: "
                                  "give such superjunctions a plan area above 0 on their SJUNC cards.\n",
                                  s.n_sjunc));
}

// End flows and depths, then every node depth and pipe flow of superlink l
// for the pass's heads. Keeps each node's storage residual (its water at the
// new depth less what the pass's continuity put there, m3) and returns the
// largest residual of a node per m2 of its plan (half of each adjacent
// pipe's diameter x length, plus its plan area): a depth (m); a free-falling
// end adds, the same way, the water its linearised rating let out wrongly
// over dt at the new depth. Where every node of the superlink lies within
// kStorageTol, the superlink is settled: the next pass keeps its
// linearisation, which the new depths satisfy. Otherwise each node's water
// and storage width (and a free end's rating) are taken at its new depth
// for the next pass.
// The width is the tangent (Newton); where a node's residual changed sign
// since the last pass the step overshot a bend of the storage curve (the
// crown, the slot, the invert), and the chord through the last two depths
// takes its place, which brackets the depth and stops Newton's cycling.
// A settled superlink whose two heads lie within `head_tol` m of the ones
// its last back-substitution used (the junction solve's own accepted last
// correction) stands as it is: 0.
double back_substitute(storm_drain_state& s, superlink_work& w, int l, double dt, double head_tol) {
    const int n = s.superlink_cnodes[l];
    const double hu = w.H.data()[s.us_sjunc[l] - 1], hd = w.H.data()[s.ds_sjunc[l] - 1];
    if (w.settled[l] && std::fabs(hu - w.used_hu[l]) <= head_tol && std::fabs(hd - w.used_hd[l]) <= head_tol)
        return 0.0;
    w.used_hu[l] = hu;
    w.used_hd[l] = hd;
    double* Q = w.Q[l];
    double* y = s.slink_node_depth[l];
    const double qu = w.us_beta[l] * hd + w.us_alpha[l] * hu + w.us_chi[l];
    const double qd = w.ds_beta[l] * hd + w.ds_alpha[l] * hu + w.ds_chi[l];
    w.Q_us[l] = qu;
    w.Q_ds[l] = qd;
    w.Q_us_junc[l] = w.us_jbeta[l] * hd + w.us_jalpha[l] * hu + w.us_jchi[l];
    w.Q_ds_junc[l] = w.ds_jbeta[l] * hd + w.ds_jalpha[l] * hu + w.ds_jchi[l];
    double* ym = w.ym[l];
    y[1] = w.us_gam[l] * hu + w.us_kap[l] * qu + w.us_mu[l];
    y[n + 1] = w.ds_gam[l] * hd + w.ds_kap[l] * qd + w.ds_mu[l];
    Q[1] = qu;
    Q[n] = qd;
    // Each inner node's depth from its own continuity, with the flow of the
    // pipe above by the forward relation and of the pipe below by the
    // backward one: E(k) y(k) - D(k) = Q(k-1) - Q(k) with
    // Q(k-1) = U(k-1) y(k) + V(k-1) + W(k-1) y(1) and
    // Q(k) = X(k) y(k) + Y(k) + Z(k) y(n+1). The divisor E(k) + X(k) - U(k-1)
    // is no less than E(k) (X >= 0 >= U), so the depth is as good as its
    // data. Solving the backward relation alone for y(k) would divide by
    // X(k), which is tiny where a nearly dry pipe's momentum barely feels
    // its depths (small area, large friction or dx/dt, no upwind flow); an
    // error in Q(k) then grew by 1/X(k) node after node, broke the nodes'
    // continuity (water made or lost, by tens of m3 on a few metres of pipe)
    // and could end in heads that are not numbers.
    const double *U = w.U[l], *V = w.V[l], *W = w.W[l], *X = w.X[l], *Y = w.Y[l], *Z = w.Z[l];
    node_continuity(s, w, l, dt);
    const double *E = w.E.data(), *D = w.D.data();
    for (int k = 2; k <= n; ++k)
        y[k] = (V[k - 1] + W[k - 1] * y[1] - Y[k] - Z[k] * y[n + 1] + D[k]) / (E[k] + X[k] - U[k - 1]);
    for (int k = 2; k < n; ++k) Q[k] = U[k] * y[k + 1] + V[k] + W[k] * y[1];
    double worst = 0.0;
    double *Sm = w.Sm[l], *Wm = w.Wm[l], *residual = w.residual.data(), *last_res = w.last_res[l];
    const double* per_plan = w.per_plan[l];
    // What the pass's rating of a free end let out wrongly at the end's new
    // depth; the rating there, for the next pass.
    rated_end ends[2] = {};
    auto rating_off = [&](int k, int pipe, double r, double q0, rated_end& e) {
        e = rate_end(s, w, l, pipe, y[k]);
        const double flow = y[k] <= 0.0 ? 0.0 : y[k] == e.at ? e.f.flow : free_fall(s, w, l, pipe, y[k]).flow;
        return std::fabs(flow - (r * std::max(y[k], 0.0) + q0)) * dt * per_plan[k];
    };
    for (int k = 1; k <= n + 1; ++k) {
        const node_store v = node_water_near(w, l, k, y[k]);
        residual[k] = v.volume - Sm[k] - Wm[k] * (y[k] - ym[k]);
        worst = std::max(worst, std::fabs(residual[k]) * per_plan[k]);
    }
    if (w.us_free[l]) worst = std::max(worst, rating_off(1, 1, w.us_r[l], w.us_s[l], ends[0]));
    if (w.ds_free[l]) worst = std::max(worst, rating_off(n + 1, n, w.ds_r[l], w.ds_s[l], ends[1]));
    w.settled[l] = worst <= kStorageTol;
    if (w.settled[l]) {
        std::copy(residual + 1, residual + n + 2, last_res + 1);
        return worst;
    }
    for (int k = 1; k <= n + 1; ++k) {
        // node_water at y[k] above: its water and width are the node's known ones.
        const double volume = w.known_volume[l][k], step = y[k] - ym[k];
        const bool chord = residual[k] * last_res[k] < 0.0;
        last_res[k] = residual[k];
        Wm[k] = chord && std::fabs(step) > 1e-12 ? (volume - Sm[k]) / step : w.known_width[l][k];
        Sm[k] = volume;
        ym[k] = y[k];
    }
    if (w.us_free[l]) linear_rating(ends[0], w.us_r[l], w.us_s[l]);
    if (w.ds_free[l]) linear_rating(ends[1], w.ds_r[l], w.ds_s[l]);
    return worst;
}

// The accepted pass of a piece of dt s: the water it made, booked as the
// residual, then heads and negative node depths floored (the water booked as
// clean-up). What it made is measured, not derived from the equations: at
// each node its water at the new depth less its water at the piece's start
// and the flows in and out over dt, at each junction of free head the same
// with its plan area; so the solve's own errors (the storage iteration's
// residual, the round-off of the recurrences and the junction solve) are
// all counted, and the network's balance closes whatever they are.
void finish_substep(storm_drain_state& s, superlink_work& w, double dt) {
    double stored = 0.0;  // the water in the network at the new depths and heads, as network_water sums it
    w.piece_before = w.last_piece;
    w.last_piece = dt;
    for (int j = 1; j <= s.n_sjunc; ++j) {
        double head = w.H.data()[j - 1];
        if (!s.bound[j]) s.drain_linearisation_volume += s.As_sjunc[j] * (head - w.H_kept[j]) - s.Q_junc[j] * dt;
        if (head < s.junc_bottom[j] - kHeadSlack) {
            if (!s.bound[j]) s.drain_cleanup_volume += s.As_sjunc[j] * (s.junc_bottom[j] - head);
            head = s.junc_bottom[j];
        }
        s.sjunc_head[j] = head;
    }
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int n = s.superlink_cnodes[l], u = s.us_sjunc[l], d = s.ds_sjunc[l];
        if (!s.bound[u]) s.drain_linearisation_volume += w.Q_us_junc[l] * dt;
        if (!s.bound[d]) s.drain_linearisation_volume -= w.Q_ds_junc[l] * dt;
        double* y = s.slink_node_depth[l];
        // The last pass took each node's water at its new depth: the node's known water.
        const double *Q = w.Q[l], *qlat = w.qlat[l], *S0 = w.S0[l];
        const double* water = w.known_volume[l];
        double link = 0.0;
        for (int k = 1; k <= n + 1; ++k) {
            const double in = k == 1 ? w.Q_us_junc[l] : Q[k - 1], out = k == n + 1 ? w.Q_ds_junc[l] : Q[k];
            s.drain_linearisation_volume += water[k] - S0[k] - (in - out + qlat[k]) * dt;
            double now = water[k];
            if (y[k] < 0.0) {
                y[k] = kNegativeDepth;
                now = node_storage(w, l, k, y[k]).volume;
                s.drain_cleanup_volume += now - water[k];
            }
            link += now;
            w.trend_before[l][k] = w.trend[l][k];
            w.trend[l][k] = (y[k] - w.y_kept[l][k]) / dt;
        }
        stored += link;
    }
    for (int j = 1; j <= s.n_sjunc; ++j)
        if (!s.bound[j]) stored += s.As_sjunc[j] * (s.sjunc_head[j] - s.junc_bottom[j]);
    w.network_volume = stored;
}

// An outlet onto a cell or into a channel: what it draws into the network
// is made, as the solver does not see the cell's or the channel's water.
bool outlet(const storm_drain_state& s, int j) {
    return s.sjunc_inlet_type[j] == kOutletToCell || s.sjunc_inlet_type[j] == kOutletToChannel;
}

// Volume v (m3, negative: into the network) leaving at fixed-head junction
// j: into the channel (999, kept for the channel step), onto the cell (888)
// or out of the model at any other fixed head. What an outlet draws into
// the network comes from its fixed head, never from the channel or the
// cell, whose levels the solver does not see.
void deliver(storm_drain_state& s, vec1<double>& h, double area, int j, double v) {
    s.superlink_volume_out += v;
    if (v > 0.0 && s.sjunc_inlet_type[j] == kOutletToChannel) {
        s.superlink_q_to_channel[j] += v;
    } else if (v > 0.0 && s.sjunc_inlet_type[j] == kOutletToCell && s.superlink_junc_gnum[j] > 0) {
        h[s.superlink_junc_gnum[j]] += v / area;
        s.superlink_q_to_cell[j] += v;
    } else {
        s.superlink_volume_boundary += v;
        if (v < 0.0 && outlet(s, j)) s.superlink_volume_drawn_in -= v;
    }
}

// What leaves the network at its fixed-head junctions over sub-step dt:
// the flows of the superlinks that end or start there and the tile water
// that enters there.
void deliver_outlets(storm_drain_state& s, superlink_work& w, vec1<double>& h, double area, double dt) {
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int d = s.ds_sjunc[l], u = s.us_sjunc[l];
        if (s.bound[u]) deliver(s, h, area, u, -w.Q_us_junc[l] * dt);
        if (s.bound[d]) deliver(s, h, area, d, w.Q_ds_junc[l] * dt);
    }
    for (int j = 1; j <= s.n_sjunc; ++j)
        if (s.bound[j] && s.Q_junc[j] != 0.0) deliver(s, h, area, j, s.Q_junc[j] * dt);
}

// The state a rejected piece returns to: node depths, heads and flows.
// The heads are kept here, each superlink's depths and flows by its
// preparation (prepare_superlink), which reads them then.
void keep_heads(const storm_drain_state& s, superlink_work& w) {
    std::copy(s.sjunc_head.data(), s.sjunc_head.data() + s.sjunc_head.n() + 1, w.H_kept.data());
}

void restore_state(storm_drain_state& s, superlink_work& w) {
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int n = s.superlink_cnodes[l];
        std::copy(w.y_kept[l] + 1, w.y_kept[l] + n + 2, s.slink_node_depth[l] + 1);
        std::copy(w.Q_kept[l] + 1, w.Q_kept[l] + n + 1, w.Q[l] + 1);
        w.Q_us[l] = w.Q_us_kept[l];
        w.Q_ds[l] = w.Q_ds_kept[l];
    }
    std::copy(w.H_kept.data(), w.H_kept.data() + w.H_kept.n() + 1, s.sjunc_head.data());
}

// Water (m3) the pass would make over dt: what the floors of finish_substep
// would add and what outlets would draw in; and the water it moves between
// superlinks and junctions (m3).
void made_and_moved(const storm_drain_state& s, const superlink_work& w, double dt, double& made, double& moved) {
    made = moved = 0.0;
    for (int j = 1; j <= s.n_sjunc; ++j) {
        const double below = s.junc_bottom[j] - kHeadSlack - w.H.data()[j - 1];
        if (!s.bound[j] && below > 0.0) made += s.As_sjunc[j] * (below + kHeadSlack);
    }
    for (int l = 1; l <= s.n_superlinks; ++l) {
        const int n = s.superlink_cnodes[l];
        const double* y = s.slink_node_depth[l];
        for (int k = 1; k <= n + 1; ++k)
            if (y[k] < 0.0) made += node_storage(w, l, k, kNegativeDepth).volume - node_storage(w, l, k, y[k]).volume;
        const double qu = w.Q_us_junc[l], qd = w.Q_ds_junc[l];
        if (qu > 0.0 && outlet(s, s.us_sjunc[l])) made += qu * dt;
        if (qd < 0.0 && outlet(s, s.ds_sjunc[l])) made -= qd * dt;
        moved += (std::fabs(qu) + std::fabs(qd)) * dt;
    }
}

// Solves one piece of dt s from the kept state: 0 when done, 1 when its
// storage iteration stalled or it made more water than kMadeShare of what
// it moved, -1 when the junction system cannot be solved (refusal stored).
int solve_piece(storm_drain_state& s, superlink_work& w, double dt) {
    w.least_travel = 100000.0;
    // Each superlink's first pass follows its preparation while its tables
    // are still in cache.
    for (int l = 1; l <= s.n_superlinks; ++l) {
        prepare_superlink(s, w, l, dt);
        reduce_superlink(s, w, l, dt);
    }
    // The storage is not linear in depth (a circle narrows toward its
    // crown), so continuity taken with the start's widths creates or
    // loses water whenever depths change. The piece is solved again with
    // each node's storage (and a free-falling end's rating) linearised at
    // the last pass's depths, momentum held, until every node's water
    // matches its depth.
    int pass = 0;
    double worst = 1.0;
    for (; worst > kStorageTol && pass < kMaxPasses; ++pass) {
        if (pass > 0)
            for (int l = 1; l <= s.n_superlinks; ++l)
                if (!w.settled[l]) reduce_superlink(s, w, l, dt);
        const junction_solve how = solve_junctions(s, w, dt, pass == 0);
        if (how != heads_solved) {
            refuse_junction_solve(s, w, how);
            return -1;
        }
        worst = 0.0;
        const double head_tol = kHeadTol * std::max(1.0, w.H.cwiseAbs().maxCoeff());
        for (int l = 1; l <= s.n_superlinks; ++l) worst = std::max(worst, back_substitute(s, w, l, dt, head_tol));
    }
    s.superlink_passes += pass;
    if (worst > kStorageTol) return 1;
    double made, moved;
    made_and_moved(s, w, dt, made, moved);
    return made > kMadeShare * moved + kMadeFloor ? 1 : 0;
}

}  // namespace

double superlink_storage(const storm_drain_state& s) {
    return network_water(s, [&s](int l, int k, double y) { return node_storage(s, l, k, y).volume; });
}

double superlink_pipe_flow(const storm_drain_state& s, int l, int k) {
    return s.superlink_solver ? s.superlink_solver->Q[l][k] : 0.0;
}

int superlink_step(storm_drain_state& s, vec1<double>& h, double cell_size, double dt) {
    if (!s.superlink_solver) initialise(s);
    superlink_work& w = *s.superlink_solver;
    const double area = cell_size * cell_size;
    double sub = dt;
    if (s.superlink_calls > 0) {
        const double least = w.least_travel;
        if (least > 1e-16 && least < dt) sub = std::max(least, kMinSubstep);
    }
    s.superlink_substeps = s.superlink_passes = 0;
    double t = 0.0;
    while (t < dt) {
        const double step = t + sub > dt ? dt - t : sub;
        t += step;
        gather_inflows(s, w, h, area, step);
        // The inflows hold over the sub-step; it is solved in pieces, each
        // halved while it makes water or stalls (solve_piece), down to
        // 1/kMaxSplit of the sub-step but not below kMinSubstep; the next
        // piece tries twice the last.
        const double least_piece = std::min(step, std::max(kMinSubstep, step / kMaxSplit));
        double done = 0.0, piece = step;
        while (done < step) {
            keep_heads(s, w);
            bool last = false;
            for (;;) {
                last = piece >= (step - done) * (1.0 - 1e-12);
                if (last) piece = step - done;
                const int r = solve_piece(s, w, piece);
                if (r < 0) return -1;
                if (r == 0 || 0.5 * piece < least_piece) break;
                restore_state(s, w);
                piece *= 0.5;
            }
            ++s.superlink_substeps;
            finish_substep(s, w, piece);
            deliver_outlets(s, w, h, area, piece);
            done = last ? step : done + piece;
            piece *= 2.0;
        }
    }
    ++s.superlink_calls;
    s.volume_remaining_in_drains = w.network_volume;
    return 0;
}

}  // namespace kesta
