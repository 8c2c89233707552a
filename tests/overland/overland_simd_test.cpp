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
#include <vector>

#include "overland/overland_simd.hpp"

#ifdef KESTA_OVERLAND_SIMD
namespace {

namespace od = kesta::overland_detail;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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
};

template <class Explicit, class Ade, class Changes>
void expect_scalar_results(Explicit explicit_block, Ade ade_block, Changes changes_block) {
    grid m;
    const od::grid_view& g = m.g;
    // Blocks of odd length starting at odd and even cells leave tails too.
    for (const int lo : {1, 2}) {
        const int hi = grid::n - 3;
        int i = explicit_block(g, lo, hi);
        EXPECT_GT(i, hi - 8);  // at most one group of the widest lanes is left
        for (int k = lo; k < i; ++k) {
            ASSERT_TRUE(same_bits(m.qx[k], od::explicit_plain_flux(g, g.right, g.sox, k))) << "x face " << k;
            ASSERT_TRUE(same_bits(m.qy[k], od::explicit_plain_flux(g, g.below, g.soy, k))) << "y face " << k;
        }
        std::vector<double> q(grid::n + 1);
        i = ade_block(g, g.h, g.below, q.data(), lo, hi);
        for (int k = lo; k < i; ++k) {
            ASSERT_TRUE(same_bits(q[k], od::ade_plain_flux(g, g.h, g.below, k))) << "ADE face " << k;
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
                for (int j = lo; j < i; ++j) od::explicit_cell_change(g, l, k, j, scalar);
                for (int j = lo; j < i; ++j) ASSERT_TRUE(same_bits(dh[j], m.dh[j])) << "cell " << j;
                ASSERT_EQ(lanes.fail1, scalar.fail1) << "cells from " << lo;
                ASSERT_EQ(lanes.fail2, scalar.fail2) << "cells from " << lo;
                ASSERT_EQ(lanes.overdrawn, scalar.overdrawn) << "cells from " << lo;
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

// The lanes' first guess divides the high word by 3 exactly, in doubles:
// the same bits as the integer division of the scalar guess, at the ends of
// the range and where the remainder changes.
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
