// The hot per-cell work of the plain overland schemes (face fluxes, the
// explicit scheme's cell changes and tests, the ADE schemes' one-pass
// sweeps, the wet and flowing counts)
// several cells at a time: eight with AVX-512, four with AVX2, two with SSE2
// (part of every x86-64 target), the widest the machine runs, chosen at run
// time. Every lane makes the operations of the scalar code in the same
// order, each a correctly rounded IEEE operation, so the results are the
// scalar results bit for bit. No multiply-add may be fused: GCC contracts
// a * b + c wherever the target has the instruction (AVX-512 does), so the
// library is built with -ffp-contract=off. Where a lane would leave pow53's
// fast range, that lane is computed by the scalar pow53. Other targets use
// the scalar code. Internal to src/overland.
#pragma once

#include <atomic>
#include <initializer_list>

#include "overland/overland_faces.hpp"
#include "overland/widest_vectors.hpp"

#ifdef KESTA_OVERLAND_SIMD
#include <immintrin.h>
#endif

namespace kesta {
namespace overland_detail {

// Constants of the plain flux laws, shared by the scalar and the paired code.
constexpr double kExplicitMinSlope = 1e-20;
constexpr double kExplicitSlopeOffset = 1e-30;

// Flux (m2/s, positive from i to nb[i]) of the explicit scheme's face i on a
// plain grid (no lakes, dikes or wetlands): 0 for no neighbour or when the
// cell's retention holds its water.
inline double explicit_plain_flux(const grid_view& g, const int* nb, const double* so, int i) {
    const int r = nb[i];
    const double ret = g.ret_of(i);
    if (r == 0 || ret > g.h[i]) return 0.0;
    const double* h = g.h;
    double sf = so[i] - (h[r] - h[i]) * g.inv_dx + kExplicitSlopeOffset;
    if (std::fabs(sf) < kExplicitMinSlope) sf = kExplicitMinSlope;
    const int up = sf < 0.0 ? r : i;
    const double d = h[up] - ret;
    return d > 0.0 ? std::copysign(std::sqrt(std::fabs(sf)), sf) * g.inv_rough_of(i) * pow53(d) : 0.0;
}

// The explicit scheme's tests of a face: it fails when it moves 0.06 m or
// more of depth, more than 0.1 m, or leaves its donor below -0.0001 m.
constexpr double kExplicitCelerityLimit = 0.06;  // m
constexpr double kExplicitHeightLimit = 0.1;     // m
constexpr double kExplicitDepthFloor = -0.0001;  // m

// Whether the plain explicit sweep computes face i (a face with no
// neighbour, or whose cell holds its water in retention, is skipped and
// carries 0).
inline bool explicit_face_computed(const grid_view& g, const int* nb, int i) {
    return nb[i] != 0 && !(g.ret_of(i) > g.h[i]);
}

// The faces of a plain explicit sub-step in the order it sweeps them: the
// first direction (neighbour, flux, the cell whose face ends at each cell),
// then the second.
struct change_lines {
    const int* nb1;
    const double* q1;
    const int* up1;
    const int* nb2;
    const double* q2;
    const int* up2;
    // Whether dh receives the depth after the change (h + change) rather
    // than the change.
    bool with_depth = false;
    // The gaps to the first and the second direction's neighbours of the
    // cells grid_view::interior marks.
    int off1 = 0, off2 = 0;
};

// What the faces of one sub-step found: a failing face in the first or the
// second direction swept, and a face that left its donor below 0 m.
struct regular_verdict {
    bool fail1 = false, fail2 = false, overdrawn = false;
};

// Depth change (m) the first direction gives cell j: the face into j
// (swept first) and then j's own; k = sub-step / dx.
inline double explicit_first_change(const grid_view& g, const change_lines& l, double k, int j) {
    double a = 0.0;
    const int u = l.up1[j];
    if (u && explicit_face_computed(g, l.nb1, u)) a += l.q1[u] * k;
    if (explicit_face_computed(g, l.nb1, j)) a -= l.q1[j] * k;
    return a;
}

// The depth change of cell j in a sub-step of a regular plain grid into
// dh[j], and the tests of its faces, each with the changes gathered up to
// that face, OR-ed into v.
inline void explicit_cell_change(const grid_view& g, const change_lines& l, double k, int j, regular_verdict& v) {
    auto failing = [](double c, double after) {
        const double celerity = std::fabs(c);
        return !(celerity < kExplicitCelerityLimit && celerity <= kExplicitHeightLimit &&
                 after >= kExplicitDepthFloor);
    };
    const double* h = g.h;
    // First direction.
    double a = 0.0;
    const int u1 = l.up1[j];
    if (u1 && explicit_face_computed(g, l.nb1, u1)) a += l.q1[u1] * k;
    if (explicit_face_computed(g, l.nb1, j)) {
        const double c = l.q1[j] * k;
        a -= c;
        const double after = c >= 0.0 ? h[j] + a : h[l.nb1[j]] + (0.0 + c);
        v.overdrawn = v.overdrawn || after < 0.0;
        v.fail1 = v.fail1 || failing(c, after);
    }
    // Second direction, on top of the first.
    double b = a;
    const int u2 = l.up2[j];
    if (u2 && explicit_face_computed(g, l.nb2, u2)) b += l.q2[u2] * k;
    if (explicit_face_computed(g, l.nb2, j)) {
        const double c = l.q2[j] * k;
        b -= c;
        const int r = l.nb2[j];
        const double after = c >= 0.0 ? h[j] + b : h[r] + (explicit_first_change(g, l, k, r) + c);
        v.overdrawn = v.overdrawn || after < 0.0;
        v.fail2 = v.fail2 || failing(c, after);
    }
    g.dh[j] = l.with_depth ? h[j] + b : b;
}

constexpr double kWetDepth = 1e-16;  // m; a cell deeper than this holds water
constexpr double kFlowing = 1e-16;   // face flux above which a cell passes water

// Counts of cells with a depth that is not a finite number, with more than
// `wet_depth` of water and with a face flux above `flowing_q`.
struct wet_flow_count {
    int bad = 0, wet = 0, flowing = 0;
};

// Flags and counts that the parts of a team's loop find, gathered as each
// part ends, in whatever order they end: the flags OR-ed, the counts added.
struct found_by_team {
    std::atomic<unsigned> flags{0};  // bit k: some part found flag k
    std::atomic<int> bad{0}, wet{0}, flowing{0};
    void add(std::initializer_list<bool> part_flags, const wet_flow_count& c = {}) {
        unsigned bits = 0, bit = 1;
        for (const bool f : part_flags) {
            if (f) bits |= bit;
            bit <<= 1;
        }
        if (bits) flags.fetch_or(bits, std::memory_order_relaxed);
        if (c.bad) bad.fetch_add(c.bad, std::memory_order_relaxed);
        if (c.wet) wet.fetch_add(c.wet, std::memory_order_relaxed);
        if (c.flowing) flowing.fetch_add(c.flowing, std::memory_order_relaxed);
    }
    bool flag(int k) const { return (flags.load(std::memory_order_relaxed) >> k) & 1u; }
    wet_flow_count counts() const {
        return {bad.load(std::memory_order_relaxed), wet.load(std::memory_order_relaxed),
                flowing.load(std::memory_order_relaxed)};
    }
};

// Discharge (m3/s, positive from i to nb[i]) of the ADE schemes' face i on a
// plain grid, from the depths h: down the water-surface slope, from the
// upwind cell above its retention depth, with its roughness.
inline double ade_plain_flux(const grid_view& g, const double* h, const int* nb, int i) {
    const int r = nb[i];
    if (r == 0) return 0.0;
    const double s = (g.elev[i] + h[i] - (g.elev[r] + h[r])) * g.inv_dx;
    if (s == 0.0) return 0.0;
    const int u = s > 0.0 ? i : r;
    const double depth = h[u];
    const double retention = g.ret_of(u);
    if (retention >= depth) return 0.0;
    const double root = std::copysign(std::sqrt(std::fabs(s)), s);
    return root * pow53(depth - retention) * g.inv_rough_of(u) * g.dx;
}

// The tests of an ADE sweep: a cell rejects the sub-step when it ends
// below kAdeNegativeDepthLimit (any depth below 0 m after a sub-step under
// 0.001 s), or when it holds more than kAdeTestedDepth and changes by more
// than kAdeChangeShare of its depth in a sub-step over 0.01 s. A cell ending
// between the limit and 0 m has overdrawn.
constexpr double kAdeChangeShare = 0.5;
constexpr double kAdeTestedDepth = 0.001;        // m
constexpr double kAdeNegativeDepthLimit = -1e-6; // m

// One direction of an ADE sub-step on a plain regular grid, swept as one
// pass: the faces (q) from the depths before the sweep, the depths moved
// by k (sub-step / dx^2) times the discharges in and out, the tests, and
// the faces' volumes over dt into vol: vol_from plus the volume, or the
// volume alone when first_volume. The depths before the sweep are those of
// the grid_view; the depths after it go to `to`, which may be the same
// array.
//
// With other_flows, the pass is the second sweep of a step made in one
// sub-step of dt: its faces and the other direction's are then the step's
// discharges, and it counts the cells as wet_flow_counts would, each cell's
// other face read as the mark the first sweep left in other_flows. With
// flows, the pass is that first sweep: flows[i] = 1 when |q[i]| is above
// kFlowing, else 0 (a byte a cell read back instead of the 8 of the face).
// A pass has one of the two at most. With check_before (never with
// other_flows, and only with first_volume), the pass counts in
// ade_verdict::counts.bad the depths before it that are not finite numbers,
// so that the depths at the start of a step need no pass of their own.
struct ade_pass {
    const int* nb;
    const int* up;
    double* q;
    const double* vol_from;
    double* vol;  // null: the sweep's volumes are not kept
    double* to;   // the depths after the sweep
    double k, dt;
    bool first_volume;
    bool tiny;    // the sub-step is under 0.001 s: any depth below 0 m rejects it
    bool tested;  // the sub-step is over 0.01 s: the change test applies
    int off = 0;  // gap to nb of the cells grid_view::interior marks (0: none)
    const unsigned char* other_flows = nullptr;  // null: no counts
    unsigned char* flows = nullptr;              // null: no marks left
    bool check_before = false;
};

// What the cells of a sweep found: a rejecting cell, a cell below 0 m, and
// with ade_pass::other_flows the counts of the cells.
struct ade_verdict {
    bool rejected = false, overdrawn = false;
    wet_flow_count counts;
};

// Adds to c the counts of a cell's depth h (not a finite number; more than
// wet_depth of water), and of its face discharges qx, qy (either above
// flowing_q).
inline void count_depth(double h, double wet_depth, wet_flow_count& c) {
    c.bad += std::isfinite(h) ? 0 : 1;
    c.wet += h > wet_depth ? 1 : 0;
}
inline void count_flow(double qx, double qy, double flowing_q, wet_flow_count& c) {
    c.flowing += std::fabs(qx) > flowing_q || std::fabs(qy) > flowing_q ? 1 : 0;
}
// count_flow of a cell whose other face left the mark `other` (1: above
// kFlowing), its face being q.
inline void count_marked_flow(unsigned char other, double q, wet_flow_count& c) {
    c.flowing += other != 0 || std::fabs(q) > kFlowing ? 1 : 0;
}
// The mark a face q leaves for count_marked_flow.
inline unsigned char flow_mark(double q) { return std::fabs(q) > kFlowing ? 1 : 0; }

// Moves the counts bad and wet of a cell whose depth went from `before` to
// `after` after it was counted.
inline void recount_depth(double before, double after, int& bad, int& wet) {
    bad += !std::isfinite(after) - !std::isfinite(before);
    wet += (after > kWetDepth) - (before > kWetDepth);
}

// Cell i of a fused ADE sweep, its face q[i] made first when make_q
// (otherwise already made). Its own depth and the depth of nb[i] > i are
// those before the sweep; q[up[i]] (up[i] < i) is made.
inline void ade_fused_cell(const grid_view& g, const ade_pass& p, bool make_q, int i, ade_verdict& v) {
    double* h = g.h;
    double* q = p.q;
    if (make_q) q[i] = ade_plain_flux(g, h, p.nb, i);
    const double before = h[i];
    const int up = p.up[i];
    const double in = up ? q[up] : 0.0;
    const double dh = (in - q[i]) * p.k;
    const double after = before + dh;
    p.to[i] = after;
    if (after < 0.0) {
        if (p.tiny || after <= kAdeNegativeDepthLimit) v.rejected = true;
        v.overdrawn = true;
    } else if (std::fabs(dh) > kAdeChangeShare * before && before > kAdeTestedDepth && p.tested) {
        v.rejected = true;
    }
    if (p.vol) p.vol[i] = p.first_volume ? 0.0 + q[i] * p.dt : p.vol_from[i] + q[i] * p.dt;
    if (p.flows) p.flows[i] = flow_mark(q[i]);
    if (p.other_flows) {
        count_depth(after, kWetDepth, v.counts);
        count_marked_flow(p.other_flows[i], q[i], v.counts);
    }
    if (p.check_before) v.counts.bad += std::isfinite(before) ? 0 : 1;
}

// One pass of an "ade-pc" direction on a plain regular grid: the faces
// made from the depths h_faces into q (with q_pred, the mean of the face
// and q_pred's), and to = from plus k (dt / area) times the discharges in
// and out, cell after cell. The predictor makes its faces and depths from
// the depths before the pass into scratch; the corrector makes its faces
// from the predicted depths and moves the depths before the pass into `to`
// (which may be `from` itself).
//
// With other_flows, the pass is the last corrector of a step: its faces and
// the other direction's are the step's discharges, and it counts the cells
// it leaves as wet_flow_counts would, from the marks the other direction's
// corrector left (see ade_pass::flows); with flows, it is that corrector.
// With check_before (never with other_flows), the pass counts in
// pc_verdict::counts.bad the depths `from` that are not finite numbers.
struct pc_pass {
    const int* nb;
    const int* up;
    const double* h_faces;
    const double* from;
    double* to;
    double* q;
    const double* q_pred;  // null: the faces alone
    double k;
    int off = 0;  // gap to nb of the cells grid_view::interior marks (0: none)
    const unsigned char* other_flows = nullptr;  // null: no counts
    unsigned char* flows = nullptr;              // null: no marks left
    bool check_before = false;
};

// What the cells of a pc_pass found: whether every cell ends at 0 m or
// above, and with pc_pass::other_flows the counts of the cells.
struct pc_verdict {
    bool within = true;
    wet_flow_count counts;
};

// Cell i of a pc_pass, its face made first when make_q (otherwise already
// made); a cell that ends below 0 m clears v.within.
inline void pc_fused_cell(const grid_view& g, const pc_pass& p, bool make_q, int i, pc_verdict& v) {
    double* q = p.q;
    if (make_q) {
        const double face = ade_plain_flux(g, p.h_faces, p.nb, i);
        q[i] = p.q_pred ? (face + p.q_pred[i]) * 0.5 : face;
    }
    const double before = p.from[i];
    const int up = p.up[i];
    const double after = before + ((up ? q[up] : 0.0) - q[i]) * p.k;
    p.to[i] = after;
    v.within = v.within && !(after < 0.0);
    if (p.flows) p.flows[i] = flow_mark(q[i]);
    if (p.other_flows) {
        count_depth(after, kWetDepth, v.counts);
        count_marked_flow(p.other_flows[i], q[i], v.counts);
    }
    if (p.check_before) v.counts.bad += std::isfinite(before) ? 0 : 1;
}

#ifdef KESTA_OVERLAND_SIMD
// Entry b: the 4 bits of b spread over 4 bytes, bit k into byte k (0 or 1).
inline constexpr std::uint32_t kBitBytes[16] = {0x00000000, 0x00000001, 0x00000100, 0x00000101,
                                                0x00010000, 0x00010001, 0x00010100, 0x00010101,
                                                0x01000000, 0x01000001, 0x01000100, 0x01000101,
                                                0x01010000, 0x01010001, 0x01010100, 0x01010101};

namespace simd_sse2 {
#define KESTA_LANES 2
#include "overland/overland_simd_lanes.hpp"
#undef KESTA_LANES
}  // namespace simd_sse2

#pragma GCC push_options
#pragma GCC target("avx2")
namespace simd_avx2 {
#define KESTA_LANES 4
#include "overland/overland_simd_lanes.hpp"
#undef KESTA_LANES
}  // namespace simd_avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace simd_avx512 {
#define KESTA_LANES 8
#include "overland/overland_simd_lanes.hpp"
#undef KESTA_LANES
}  // namespace simd_avx512
#pragma GCC pop_options

// Whether the machine runs AVX2, and AVX-512 (its foundation).
inline bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
inline bool have_avx512() {
    static const bool yes = __builtin_cpu_supports("avx512f");
    return yes;
}

// Calls the kernel of the widest lane set the machine runs.
#define KESTA_LANE_CALL(kernel, ...)                                        \
    (have_avx512() ? simd_avx512::kernel(__VA_ARGS__)                       \
     : have_avx2() ? simd_avx2::kernel(__VA_ARGS__)                         \
                   : simd_sse2::kernel(__VA_ARGS__))
#endif

// qx[i], qy[i] = explicit_plain_flux of both directions for i in lo..hi.
inline void explicit_plain_fluxes(const grid_view& g, int lo, int hi) {
    int i = lo;
#ifdef KESTA_OVERLAND_SIMD
    i = KESTA_LANE_CALL(explicit_block, g, lo, hi);
#endif
    for (; i <= hi; ++i) {
        g.qx[i] = explicit_plain_flux(g, g.right, g.sox, i);
        g.qy[i] = explicit_plain_flux(g, g.below, g.soy, i);
    }
}

// explicit_cell_change of cells lo..hi of a regular grid.
inline void explicit_cell_changes(const grid_view& g, const change_lines& l, double k, int lo, int hi,
                                  regular_verdict& v) {
    int j = lo;
#ifdef KESTA_OVERLAND_SIMD
    j = KESTA_LANE_CALL(changes_block, g, l, k, lo, hi, v);
#endif
    for (; j <= hi; ++j) explicit_cell_change(g, l, k, j, v);
}

// Adds to c the counts of cells lo..hi; with qx null, only those of the
// depths (c.flowing is left as it is).
inline void wet_flow_counts(const double* h, const double* qx, const double* qy, double wet_depth,
                            double flowing_q, int lo, int hi, wet_flow_count& c) {
    int i = lo;
#ifdef KESTA_OVERLAND_SIMD
    i = KESTA_LANE_CALL(counts_block, h, qx, qy, wet_depth, flowing_q, lo, hi, c);
#endif
    for (; i <= hi; ++i) {
        count_depth(h[i], wet_depth, c);
        if (qx) count_flow(qx[i], qy[i], flowing_q, c);
    }
}

// qx[i], qy[i] *= scale for i in lo..hi, then wet_flow_counts of h and the
// scaled discharges, in one pass.
inline void scale_and_count(const double* h, double* qx, double* qy, double scale, double wet_depth,
                            double flowing_q, int lo, int hi, wet_flow_count& c) {
    int i = lo;
#ifdef KESTA_OVERLAND_SIMD
    i = KESTA_LANE_CALL(scale_counts_block, h, qx, qy, scale, wet_depth, flowing_q, lo, hi, c);
#endif
    for (int j = i; j <= hi; ++j) {
        qx[j] *= scale;
        qy[j] *= scale;
    }
    wet_flow_counts(h, qx, qy, wet_depth, flowing_q, i, hi, c);
}

// q[i] = ade_plain_flux(g, h, nb, i) for i in lo..hi.
inline void ade_plain_fluxes(const grid_view& g, const double* h, const int* nb, double* q, int lo, int hi) {
    int i = lo;
#ifdef KESTA_OVERLAND_SIMD
    i = KESTA_LANE_CALL(ade_block, g, h, nb, q, lo, hi);
#endif
    for (; i <= hi; ++i) q[i] = ade_plain_flux(g, h, nb, i);
}

// ade_fused_cell of cells lo..hi in increasing order, as many as it takes
// by `kernel` (an ade_fused_block), the cells it leaves by the scalar code.
template <class Kernel>
void ade_fused_cells_by(Kernel kernel, const grid_view& g, const ade_pass& p, bool make_q, int lo, int hi,
                        ade_verdict& v) {
    for (int i = lo; i <= hi;) {
        int scalar_to = 0;
        i = kernel(g, p, make_q, i, hi, v, scalar_to);
        const int last = scalar_to >= i ? scalar_to : hi;  // the cells it stopped at, or the tail
        for (; i <= last; ++i) ade_fused_cell(g, p, make_q, i, v);
    }
}

// ade_fused_cell of cells lo..hi in increasing order.
inline void ade_fused_cells(const grid_view& g, const ade_pass& p, bool make_q, int lo, int hi, ade_verdict& v) {
#ifdef KESTA_OVERLAND_SIMD
    ade_fused_cells_by(
        [](const grid_view& g, const ade_pass& p, bool make_q, int lo, int hi, ade_verdict& v, int& scalar_to) {
            return KESTA_LANE_CALL(ade_fused_block, g, p, make_q, lo, hi, v, scalar_to);
        },
        g, p, make_q, lo, hi, v);
#else
    for (int i = lo; i <= hi; ++i) ade_fused_cell(g, p, make_q, i, v);
#endif
}

// pc_fused_cell of cells lo..hi in increasing order.
inline void pc_fused_cells(const grid_view& g, const pc_pass& p, bool make_q, int lo, int hi, pc_verdict& v) {
    int i = lo;
#ifdef KESTA_OVERLAND_SIMD
    i = KESTA_LANE_CALL(pc_fused_block, g, p, make_q, lo, hi, v);
#endif
    for (; i <= hi; ++i) pc_fused_cell(g, p, make_q, i, v);
}

}  // namespace overland_detail
}  // namespace kesta
