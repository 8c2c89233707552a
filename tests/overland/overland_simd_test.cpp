// The overland face kernels that work on several cells at a time must give
// the scalar code's numbers bit for bit, with either instruction set, on
// every kind of face: both flow directions, dry and held cells, depths that
// leave pow53's fast range, a NaN, and odd cells left for the scalar code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

#include "overland/overland_grid.hpp"
#include "overland/overland_simd.hpp"

#ifdef KESTA_OVERLAND_SIMD
namespace {

namespace od = kesta::overland_detail;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every field of a verdict or count, to compare lanes and scalar cells at once.
auto fields(const od::regular_verdict& v) { return std::make_tuple(v.fail1, v.fail2, v.overdrawn); }
auto fields(const od::wet_flow_count& c) { return std::make_tuple(c.bad, c.wet, c.flowing); }
auto fields(const od::ade_verdict& v) {
    return std::tuple_cat(std::make_tuple(v.rejected, v.overdrawn), fields(v.counts));
}

// A 23 x 37 grid with every kind of cell; arrays index 0..n.
struct grid {
    static constexpr int rows = 23, cols = 37, n = rows * cols;
    std::vector<double> h, elev, ret, inv_rough, sox, soy, qx, qy, dh;
    std::vector<int> right, below, left, above;
    od::grid_view g;
    grid() : h(n + 1), elev(n + 1), ret(n + 1), inv_rough(n + 1), sox(n + 1), soy(n + 1), qx(n + 1), qy(n + 1),
             dh(n + 1), right(n + 1), below(n + 1), left(n + 1), above(n + 1) {
        std::uint64_t x = 99;
        auto next = [&x] {  // a fixed sequence in [0, 1)
            x = x * 6364136223846793005ull + 1442695040888963407ull;
            return static_cast<double>(x >> 11) / 9007199254740992.0;
        };
        for (int k = 1; k <= n; ++k) {
            const int r = (k - 1) / cols, c = (k - 1) % cols;
            right[k] = c + 1 < cols ? k + 1 : 0;
            left[k] = c > 0 ? k - 1 : 0;
            below[k] = r + 1 < rows ? k + cols : 0;
            above[k] = r > 0 ? k - cols : 0;
            const double u = next();
            h[k] = u < 0.15 ? 0.0 : u < 0.2 ? 1e-120 * next() : u < 0.22 ? 1e60 : 0.08 * next();
            elev[k] = 0.3 * next();
            ret[k] = next() < 0.3 ? 0.0 : 0.01 * next();
            inv_rough[k] = 1.0 / (0.02 + 0.08 * next());
            // The first rows slope steeply down to the right and down, so
            // that both faces of a cell take the same depth.
            sox[k] = r < 4 ? 0.05 : 0.04 * (next() - 0.5);
            soy[k] = r < 4 ? 0.05 : 0.04 * (next() - 0.5);
        }
        h[n / 2] = std::numeric_limits<double>::quiet_NaN();
        g.n = n;
        g.dx = 5.0;
        g.inv_dx = 0.2;
        g.area = 25.0;
        g.h = h.data();
        g.dh = dh.data();
        g.elev = elev.data();
        g.ret = ret.data();
        g.inv_rough = inv_rough.data();
        g.sox = sox.data();
        g.soy = soy.data();
        g.right = right.data();
        g.below = below.data();
        g.left = left.data();
        g.above = above.data();
        g.qx = qx.data();
        g.qy = qy.data();
    }
    // Gives the cells six pairs of retention depth and roughness, in runs
    // of one pair and mixed cell by cell, read through the surface classes
    // (the vectors keep the same values).
    std::vector<unsigned char> classes;
    std::vector<double> table;
    void use_classes() {
        const double rets[6] = {0.0, 0.004, 0.0, 0.01, 0.002, -0.0};
        const double ns[6] = {0.03, 0.05, 0.1, 0.02, 0.07, 0.03};
        for (int k = 1; k <= n; ++k) {
            const int c = (k / 24) % 3 == 0 ? (k * 7) % 6 : (k / 40) % 6;
            ret[k] = rets[c];
            inv_rough[k] = 1.0 / ns[c];
        }
        ASSERT_TRUE(od::make_surface_classes(ret.data(), inv_rough.data(), n, classes, table));
        ASSERT_EQ(table.size(), 12u);
        g.surface_class = classes.data();
        g.class_table = table.data();
    }
};

// With `classes`, the lanes read the cells' retention and roughness through
// the surface classes and the scalar code from the cell vectors.
template <class Explicit, class Ade, class Changes>
void expect_scalar_results(Explicit explicit_block, Ade ade_block, Changes changes_block, bool classes = false) {
    grid m;
    if (classes) m.use_classes();
    const od::grid_view& g = m.g;
    od::grid_view s = m.g;  // the scalar code's view
    s.surface_class = nullptr;
    s.class_table = nullptr;
    // Blocks of odd length starting at odd and even cells leave tails too.
    for (const int lo : {1, 2}) {
        const int hi = grid::n - 3;
        int i = explicit_block(g, lo, hi);
        EXPECT_GT(i, hi - 8);  // at most one group of the widest lanes is left
        for (int k = lo; k < i; ++k) {
            ASSERT_TRUE(same_bits(m.qx[k], od::explicit_plain_flux(s, g.right, g.sox, k))) << "x face " << k;
            ASSERT_TRUE(same_bits(m.qy[k], od::explicit_plain_flux(s, g.below, g.soy, k))) << "y face " << k;
        }
        std::vector<double> q(grid::n + 1);
        i = ade_block(g, g.h, g.below, q.data(), lo, hi);
        for (int k = lo; k < i; ++k) {
            ASSERT_TRUE(same_bits(q[k], od::ade_plain_flux(s, g.h, g.below, k))) << "ADE face " << k;
        }
    }
    od::explicit_plain_fluxes(g, 1, grid::n);
    for (const bool y_first : {false, true}) {
        const od::change_lines l = y_first ? od::change_lines{g.below, g.qy, g.above, g.right, g.qx, g.left}
                                           : od::change_lines{g.right, g.qx, g.left, g.below, g.qy, g.above};
        int clean = 0, failing = 0;
        for (const double k : {0.002, 0.4}) {  // the long sub-step fails more tests
            // Blocks of 9 cells, each with its own verdict.
            for (int lo = 1; lo + 8 <= grid::n; lo += 9) {
                od::regular_verdict lanes, scalar;
                const int i = changes_block(g, l, k, lo, lo + 8, lanes);
                const std::vector<double> dh = m.dh;
                for (int j = lo; j < i; ++j) od::explicit_cell_change(s, l, k, j, scalar);
                for (int j = lo; j < i; ++j) ASSERT_TRUE(same_bits(dh[j], m.dh[j])) << "cell " << j;
                ASSERT_EQ(fields(lanes), fields(scalar)) << "cells from " << lo;
                ++(scalar.fail1 || scalar.fail2 ? failing : clean);
            }
        }
        EXPECT_GT(clean, 10);
        EXPECT_GT(failing, 10);
    }
}

TEST(OverlandSimd, EveryLaneGivesTheScalarNumbers) {
    expect_scalar_results(od::simd_sse2::explicit_block, od::simd_sse2::ade_block, od::simd_sse2::changes_block);
    if (od::have_avx2()) {
        expect_scalar_results(od::simd_avx2::explicit_block, od::simd_avx2::ade_block,
                              od::simd_avx2::changes_block);
    }
    if (od::have_avx512()) {
        expect_scalar_results(od::simd_avx512::explicit_block, od::simd_avx512::ade_block,
                              od::simd_avx512::changes_block);
    }
}

// The same through the surface classes, in runs of one class and mixed;
// the scalar code given the classes reads the vectors' own bits; a grid of
// more than 256 pairs has none.
TEST(OverlandSimd, SurfaceClassesGiveTheNumbersOfTheCellVectors) {
    expect_scalar_results(od::simd_sse2::explicit_block, od::simd_sse2::ade_block, od::simd_sse2::changes_block,
                          true);
    if (od::have_avx2()) {
        expect_scalar_results(od::simd_avx2::explicit_block, od::simd_avx2::ade_block,
                              od::simd_avx2::changes_block, true);
    }
    if (od::have_avx512()) {
        expect_scalar_results(od::simd_avx512::explicit_block, od::simd_avx512::ade_block,
                              od::simd_avx512::changes_block, true);
    }
    grid m;
    m.use_classes();
    for (int k = 1; k <= grid::n; ++k) {
        ASSERT_TRUE(same_bits(m.g.ret_of(k), m.ret[k])) << k;
        ASSERT_TRUE(same_bits(m.g.inv_rough_of(k), m.inv_rough[k])) << k;
    }
    for (int k = 1; k <= grid::n; ++k) {
        m.ret[k] = 0.001 * (k % 257);
        m.inv_rough[k] = 20.0;
    }
    EXPECT_FALSE(od::make_surface_classes(m.ret.data(), m.inv_rough.data(), grid::n, m.classes, m.table));
    EXPECT_TRUE(m.classes.empty() && m.table.empty());
    for (int k = 1; k <= grid::n; ++k) m.ret[k] = 0.001 * (k % 256);
    EXPECT_TRUE(od::make_surface_classes(m.ret.data(), m.inv_rough.data(), grid::n, m.classes, m.table));
}

// Discharges scaled and cells counted in one pass, the lanes of each width
// and the whole call with its scalar tail: the numbers of the scaling and
// the counting done one after the other.
TEST(OverlandSimd, ScaledCountsGiveTheNumbersOfTheSeparatePasses) {
    using block_fn = int (*)(const double*, double*, double*, double, double, double, int, int, od::wet_flow_count&);
    std::vector<block_fn> kernels{od::simd_sse2::scale_counts_block};
    if (od::have_avx2()) kernels.push_back(od::simd_avx2::scale_counts_block);
    if (od::have_avx512()) kernels.push_back(od::simd_avx512::scale_counts_block);
    kernels.push_back(nullptr);  // the whole call
    for (const block_fn kernel : kernels) {
        grid m;
        od::explicit_plain_fluxes(m.g, 1, grid::n);
        // Twice the median face: many faces lie above it once scaled, below
        // it as they were.
        std::vector<double> faces;
        for (int k = 1; k <= grid::n; ++k) {
            if (m.qx[k] != 0.0 && std::isfinite(m.qx[k])) faces.push_back(std::fabs(m.qx[k]));
        }
        std::nth_element(faces.begin(), faces.begin() + faces.size() / 2, faces.end());
        const double flowing_q = 2.0 * faces[faces.size() / 2];
        od::wet_flow_count unscaled;
        od::wet_flow_counts(m.h.data(), m.qx.data(), m.qy.data(), od::kWetDepth, flowing_q, 1, grid::n, unscaled);
        for (const int lo : {1, 2}) {
            std::vector<double> qx = m.qx, qy = m.qy;
            const int hi = grid::n - 3;
            od::wet_flow_count got, want;
            int i = hi + 1;
            if (kernel) i = kernel(m.h.data(), qx.data(), qy.data(), m.g.dx, od::kWetDepth, flowing_q, lo, hi, got);
            else od::scale_and_count(m.h.data(), qx.data(), qy.data(), m.g.dx, od::kWetDepth, flowing_q, lo, hi, got);
            std::vector<double> sx = m.qx, sy = m.qy;
            for (int k = lo; k < i; ++k) {
                sx[k] *= m.g.dx;
                sy[k] *= m.g.dx;
            }
            od::wet_flow_counts(m.h.data(), sx.data(), sy.data(), od::kWetDepth, flowing_q, lo, i - 1, want);
            for (int k = 0; k <= grid::n; ++k) {
                ASSERT_TRUE(same_bits(qx[k], sx[k]) && same_bits(qy[k], sy[k])) << "cell " << k;
            }
            EXPECT_EQ(fields(got), fields(want));
            EXPECT_EQ(want.bad, 1);  // the grid's NaN
            EXPECT_GT(want.flowing, unscaled.flowing + 100);
        }
    }
}

// The fused ADE and ADE-PC sweeps, the lanes against the scalar cells, in
// blocks of 19 cells in increasing order, along the rows, the columns and
// columns narrower than two vectors (the face into a cell made in the same
// group of lanes): the same depths, faces, volumes and verdicts.
template <class AdeFused, class PcFused>
void expect_fused_scalar_results(AdeFused ade_fused_block, PcFused pc_fused_block) {
    constexpr int n = grid::n, block = 19;
    std::vector<int> nb5(n + 1), up5(n + 1);
    for (int k = 1; k <= n; ++k) {
        nb5[k] = k + 5 <= n ? k + 5 : 0;
        up5[k] = k > 5 ? k - 5 : 0;
    }
    const grid layout;
    const int* lines[3][2] = {{layout.right.data(), layout.left.data()},
                              {layout.below.data(), layout.above.data()},
                              {nb5.data(), up5.data()}};
    int rejecting = 0, clean = 0, below_zero = 0, counted = 0;
    for (const auto& line : lines) {
        for (const bool make_q : {true, false}) {
            for (const double k : {0.002, 0.4, 0.003}) {
                grid a, b;  // lanes, scalar cells
                std::vector<double> vol_from(n + 1), qa(n + 1), qb(n + 1), va(n + 1), vb(n + 1);
                std::vector<double> hda(n + 1), hdb(n + 1), qda(n + 1), qdb(n + 1), olda(n + 1), oldb(n + 1);
                for (int j = 1; j <= n; ++j) {
                    vol_from[j] = 0.001 * j;
                    qa[j] = qb[j] = od::ade_plain_flux(a.g, a.g.h, line[0], j);
                    qda[j] = qdb[j] = 0.5 * qa[j];
                    hda[j] = hdb[j] = a.h[j] + 0.01;
                }
                // The first kind is a first sweep, its depths into a second
                // array (old), leaving the marks of its faces. The third
                // kind is the second sweep of a step made in one sub-step:
                // it counts the cells, with the marks of the other
                // direction's faces in hd.
                const bool first = k < 0.0025, finish = k < 0.1 && !first;
                od::ade_pass pa{line[0], line[1], qa.data(), vol_from.data(), va.data(), olda.data(),
                                k,       finish ? 0.7 : 2.0, first || finish, !first, first};
                od::ade_pass pb = pa;
                pb.q = qb.data();
                pb.vol = vb.data();
                pb.to = oldb.data();
                if (!first) {  // in place
                    pa.to = a.g.h;
                    pb.to = b.g.h;
                }
                std::vector<unsigned char> other(n + 1), fa(n + 1, 7), fb(n + 1, 9);
                for (int j = 1; j <= n; ++j) other[j] = od::flow_mark(hda[j]);
                if (finish) {
                    pa.other_flows = other.data();
                    pb.other_flows = other.data();
                } else if (first) {
                    pa.flows = fa.data();
                    pb.flows = fb.data();
                }
                // The predictor into hdummy; the corrector from hdummy and the
                // predictor's faces, into a second depth array (old) or in
                // place, counting the cells as the last one of a step, with
                // the marks of the other direction's faces, or else leaving
                // the marks of its own.
                std::vector<unsigned char> volume_marks(n + 1), ca_flows(n + 1, 5), cb_flows(n + 1, 3);
                for (int j = 1; j <= n; ++j) volume_marks[j] = od::flow_mark(vol_from[j]);
                const unsigned char* other_marks = finish ? volume_marks.data() : nullptr;
                const od::pc_pass ca =
                    first ? od::pc_pass{line[0], line[1], a.g.h, a.g.h, hda.data(), qda.data(), nullptr, k}
                          : od::pc_pass{line[0],   line[1], hda.data(), a.g.h, finish ? a.g.h : olda.data(),
                                        qa.data(), qda.data(), k, 0, other_marks, finish ? nullptr : ca_flows.data()};
                const od::pc_pass cb =
                    first ? od::pc_pass{line[0], line[1], b.g.h, b.g.h, hdb.data(), qdb.data(), nullptr, k}
                          : od::pc_pass{line[0],   line[1], hdb.data(), b.g.h, finish ? b.g.h : oldb.data(),
                                        qb.data(), qdb.data(), k, 0, other_marks, finish ? nullptr : cb_flows.data()};
                for (int lo = 1; lo <= n; lo += block) {
                    const int hi = std::min(n, lo + block - 1);
                    od::ade_verdict lanes, scalar;
                    od::ade_fused_cells_by(ade_fused_block, a.g, pa, make_q, lo, hi, lanes);
                    for (int j = lo; j <= hi; ++j) od::ade_fused_cell(b.g, pb, make_q, j, scalar);
                    ASSERT_EQ(fields(lanes), fields(scalar)) << "cells from " << lo;
                    ++(scalar.rejected ? rejecting : clean);
                    counted += scalar.counts.wet + scalar.counts.flowing;
                }
                for (int lo = 1; lo <= n; lo += block) {
                    const int hi = std::min(n, lo + block - 1);
                    od::pc_verdict lanes, scalar;
                    int i = pc_fused_block(a.g, ca, make_q, lo, hi, lanes);
                    for (; i <= hi; ++i) od::pc_fused_cell(a.g, ca, make_q, i, lanes);
                    for (int j = lo; j <= hi; ++j) od::pc_fused_cell(b.g, cb, make_q, j, scalar);
                    ASSERT_EQ(lanes.within, scalar.within) << "cells from " << lo;
                    ASSERT_EQ(fields(lanes.counts), fields(scalar.counts)) << "cells from " << lo;
                    below_zero += scalar.within ? 0 : 1;
                    counted += scalar.counts.wet + scalar.counts.flowing;
                }
                for (int j = 1; j <= n; ++j) {
                    ASSERT_TRUE(same_bits(a.h[j], b.h[j])) << "depth " << j;
                    ASSERT_TRUE(same_bits(qa[j], qb[j])) << "face " << j;
                    ASSERT_TRUE(same_bits(va[j], vb[j])) << "volume " << j;
                    ASSERT_TRUE(same_bits(olda[j], oldb[j])) << "kept depth " << j;
                    ASSERT_TRUE(same_bits(hda[j], hdb[j])) << "predicted depth or other discharge " << j;
                    ASSERT_TRUE(same_bits(qda[j], qdb[j])) << "predicted face or discharge " << j;
                    ASSERT_EQ(fa[j], first ? od::flow_mark(qb[j]) : 7) << "mark " << j;
                    ASSERT_EQ(fb[j], first ? od::flow_mark(qb[j]) : 9) << "mark " << j;
                    ASSERT_EQ(ca_flows[j], first || finish ? 5 : od::flow_mark(qb[j])) << "corrector mark " << j;
                    ASSERT_EQ(cb_flows[j], first || finish ? 3 : od::flow_mark(qb[j])) << "corrector mark " << j;
                }
            }
        }
    }
    EXPECT_GT(rejecting, 20);
    EXPECT_GT(clean, 20);
    EXPECT_GT(below_zero, 20);
    EXPECT_GT(counted, 20);
}

// The marks of the cells whose neighbours lie at the grid's fixed gaps, as
// the lanes read them a vector at a time: on a grid with holes, a vector's
// cells read as marked exactly when each has its four neighbours one cell
// and one row's stride away, wherever the vector starts.
TEST(OverlandSimd, LanesReadTheInteriorMarksOfEachCell) {
    constexpr int rows = 7, cols = 29;
    std::vector<int> active(rows * cols, 1);
    for (const int hole : {92, 93, 107}) active[hole] = 0;  // in the fourth row
    auto m = kesta_test::connected_grid(rows, cols, active);
    od::grid_view g = od::make_grid_view(*m, od::lake_mode::none);
    od::find_face_layout(*m, g);
    ASSERT_NE(g.interior, nullptr);
    ASSERT_EQ(g.stride, cols);
    auto inside = [&g](int i) {
        return g.right[i] == i + 1 && g.left[i] == i - 1 && g.below[i] == i + g.stride && g.above[i] == i - g.stride;
    };
    int marked = 0, unmarked = 0;
    for (int i = 1; i + 1 <= g.n; ++i) {
        const bool both = inside(i) && inside(i + 1);
        ASSERT_EQ(od::simd_sse2::all_interior(g, i), both) << "cells " << i << " and " << i + 1;
        ++(both ? marked : unmarked);
    }
    EXPECT_GT(marked, 50);
    EXPECT_GT(unmarked, 50);
}

TEST(OverlandSimd, FusedSweepLanesGiveTheScalarNumbers) {
    expect_fused_scalar_results(od::simd_sse2::ade_fused_block, od::simd_sse2::pc_fused_block);
    if (od::have_avx2()) expect_fused_scalar_results(od::simd_avx2::ade_fused_block, od::simd_avx2::pc_fused_block);
    if (od::have_avx512()) {
        expect_fused_scalar_results(od::simd_avx512::ade_fused_block, od::simd_avx512::pc_fused_block);
    }
}

// The Manning depth power to a few units in the last place, across the fast
// range and beyond it, where the library's cube root takes over.
TEST(OverlandSimd, Pow53IsTheFiveThirdsPower) {
    double worst = 0.0;
    for (double e = -120.0; e <= 120.0; e += 0.00731) {
        const double d = std::pow(10.0, e);
        const long double exact = std::pow(static_cast<long double>(d), 5.0L / 3.0L);
        const double rel = static_cast<double>(std::fabs(od::pow53(d) / exact - 1.0L));
        worst = std::max(worst, rel);
    }
    EXPECT_LT(worst, 1e-15);
    EXPECT_EQ(od::pow53(0.0), 0.0);
    EXPECT_TRUE(std::isnan(od::pow53(std::numeric_limits<double>::quiet_NaN())));
}

// The lanes' first guess divides the high word by 3 exactly, by a multiply
// and shift: the same bits as the integer division of the scalar guess, at
// the ends of the range and where the remainder changes. (The wider lanes
// are held to the scalar numbers through their kernels.)
TEST(OverlandSimd, FirstGuessDividesTheHighWordExactly) {
    std::vector<double> d;
    for (std::uint64_t hi : {0ull, 1ull, 2ull, 3ull, 4ull, 0x3FF00000ull, 0x3FF00001ull, 0x3FF00002ull, 0x7FEFFFFDull,
                             0x7FEFFFFEull, 0x7FEFFFFFull}) {
        for (std::uint64_t lo : {0ull, 1ull, 0xFFFFFFFFull}) {
            const std::uint64_t bits = hi << 32 | lo;
            double v = 0.0;
            std::memcpy(&v, &bits, sizeof v);
            d.push_back(v);
        }
    }
    for (std::size_t k = 0; k + 1 < d.size(); k += 2) {
        const od::simd_sse2::vd g = od::simd_sse2::inv_cbrt_guess(od::simd_sse2::vd{d[k], d[k + 1]});
        EXPECT_TRUE(same_bits(g[0], od::inv_cbrt_guess(d[k]))) << d[k];
        EXPECT_TRUE(same_bits(g[1], od::inv_cbrt_guess(d[k + 1]))) << d[k + 1];
    }
}

}  // namespace
#endif
