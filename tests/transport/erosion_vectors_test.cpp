// The erosion step's batches of exponentials and logarithms: each value
// within a few units in the last place of the scalar functions, and the
// same wherever it stands in a batch, so that a face's capacity does not
// depend on the faces queued before it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "transport/erosion_vectors.hpp"

namespace {

// Unit discharges (m2/s) and slopes over the range overland faces see:
// 1e-6 to 10 m2/s, 1e-7 to 1.
constexpr int kValues = 5 * kesta::kBatchLanes;
double discharge(int f) { return 1e-6 * std::pow(1e7, f / double(kValues - 1)); }
double slope(int f) { return 1e-7 * std::pow(1e7, ((f * 7) % kValues) / double(kValues - 1)); }

TEST(ErosionVectors, PowerProductsMatchTheScalarFunctionsWhereverTheyStand) {
    const double a = 2.035, b = 1.6667, c = 25500.0 * 1000.0;
    // The values, then the same values one place further on, behind a
    // value that fills the first place.
    std::vector<double> q(kValues + kesta::kBatchLanes, 1.0), s(q.size(), 1.0), rate(q.size()), moved(q.size());
    for (int f = 0; f < kValues; ++f) {
        q[f] = discharge(f);
        s[f] = slope(f);
    }
    kesta::power_products(q.data(), s.data(), a, b, c, rate.data(), kValues);
    std::vector<double> q1(q.size(), 0.5), s1(q.size(), 0.5);
    for (int f = 0; f < kValues; ++f) {
        q1[f + 1] = q[f];
        s1[f + 1] = s[f];
    }
    kesta::power_products(q1.data(), s1.data(), a, b, c, moved.data(), kValues + kesta::kBatchLanes);
    double worst = 0.0;
    for (int f = 0; f < kValues; ++f) {
        const double scalar = c * std::exp(a * std::log(q[f]) + b * std::log(s[f]));
        worst = std::fmax(worst, std::fabs(rate[f] - scalar) / scalar);
        EXPECT_EQ(moved[f + 1], rate[f]) << f;
    }
    EXPECT_LT(worst, 1e-13);
    EXPECT_EQ(kesta::batch_size(0), 0);
    EXPECT_EQ(kesta::batch_size(1), kesta::kBatchLanes);
    EXPECT_EQ(kesta::batch_size(kesta::kBatchLanes), kesta::kBatchLanes);
    EXPECT_EQ(kesta::batch_size(kesta::kBatchLanes + 1), 2 * kesta::kBatchLanes);
}

// The detachment's block kernels against the scalar laws, on a block
// whose length is not a whole number of vectors: splash under water
// shallower and deeper than a drop (to beyond any damping), without rain,
// with a soil parameter left to its default; shear below and above the
// critical value, on dry or flat cells.
TEST(ErosionVectors, DetachmentBlocksMatchTheScalarLaws) {
    constexpr int kCells = 4 * kesta::kBatchLanes + 3;
    const double dt = 5.0, dx = 30.0, density = 2650.0, rho_g = 998.2 * 9.81, least = 1e-16;
    std::vector<double> h(kCells), drop(kCells), rate(kCells), splash_k(kCells), sx(kCells), sy(kCells),
        detach_k(kCells), detach_c(kCells), work(kCells), splashed(kCells), sheared(kCells), beyond(kCells);
    for (int c = 0; c < kCells; ++c) {
        h[c] = c % 11 == 0 ? 0.0 : (c % 13 == 0 ? 5.0 : 1e-4 * std::pow(1e3, c / double(kCells)));
        drop[c] = 0.0015 + 1e-5 * c;
        rate[c] = c % 7 == 3 ? 0.0 : 2e-8 * (1 + c % 5);
        splash_k[c] = c % 4 == 1 ? 0.0 : 10.0 + c;
        sx[c] = c % 9 == 2 ? 0.0 : 1e-3 * (c % 6) - 2e-3;
        sy[c] = c % 9 == 2 ? 0.0 : 3e-3 - 1e-3 * (c % 5);
        detach_k[c] = c % 6 == 5 ? -1.0 : 1e-5 * (1 + c % 3);
        detach_c[c] = c % 3 == 0 ? 0.0 : 0.05 * c;
    }
    kesta::splash_volumes(h.data(), drop.data(), rate.data(), splash_k.data(), 60.0, dt, dx, density, work.data(),
                          splashed.data(), kCells);
    kesta::shear_volumes(h.data(), sx.data(), sy.data(), detach_k.data(), detach_c.data(), 2e-5, rho_g, least, dt,
                         dx, density, sheared.data(), beyond.data(), kCells);
    int damped = 0, drowned = 0, reaching = 0;
    for (int c = 0; c < kCells; ++c) {
        const double x = 1.0 - h[c] / drop[c];
        const double damping = drop[c] < h[c] ? std::exp(x) : 1.0;
        const double k = splash_k[c] > 0.0 ? splash_k[c] : 60.0;
        const double splash = k * damping * rate[c] * dt * dx * dx / density;
        damped += drop[c] < h[c] && splash > 0.0;
        drowned += x < kesta::kLeastExponent;
        if (x < kesta::kLeastExponent)
            EXPECT_EQ(splashed[c], 0.0) << c;
        else
            EXPECT_NEAR(splashed[c], splash, 1e-14 * splash) << c;
        const double slope = std::sqrt(sx[c] * sx[c] + sy[c] * sy[c]);
        const double tau = rho_g * h[c] * slope;
        const double scale = (detach_k[c] > 0.0 ? detach_k[c] : 2e-5) * dt * dx * dx / density;
        const bool shears = h[c] > least && slope > least;
        EXPECT_EQ(sheared[c], shears ? scale * tau : 0.0) << c;
        EXPECT_EQ(beyond[c], shears && tau > detach_c[c] ? scale * (tau - detach_c[c]) : 0.0) << c;
        reaching += shears && tau > detach_c[c] && detach_c[c] > 0.0;
    }
    // The cases above all arise.
    EXPECT_GT(damped, 5);
    EXPECT_GT(drowned, 0);
    EXPECT_GT(reaching, 0);
}

// The second formula's capacities of a block of faces against the formula
// worked out face by face, on a block whose length is not a whole number
// of vectors: flow towards and back from the neighbour, faces without a
// neighbour, out of the grid and out of a lake, faces whose unit discharge,
// depth or stream power is too small, sources with a threshold below and
// above their stream power; then one face again by itself, as the outlet's
// face out of the grid is worked out.
void check_second_capacities(bool lakes, bool thresholds) {
    constexpr int kFaces = 4 * kesta::kBatchLanes + 5, kCells = kFaces + 2, kFirst = 1;
    const kesta::second_formula formula{25500.0 * 1000.0, 2.035, 1.6667, 1e-6, 1e-16, 30.0, 5.0 * 30.0 / 2650.0};
    std::vector<double> q(kFaces), slope(kFaces), h(kCells + 1), threshold(kCells + 1), sed_k(kCells + 1);
    std::vector<int> neighbour(kFaces), lake(kCells + 1, 0);
    for (int i = 1; i <= kCells; ++i) {
        h[i] = i % 10 == 4 ? 1e-17 : 1e-3 * (1 + i % 7);
        // A depth that is not a number, or infinite, gives no stream power.
        if (i % 19 == 9) h[i] = i % 2 ? std::numeric_limits<double>::quiet_NaN() : HUGE_VAL;
        threshold[i] = !thresholds || i % 3 == 0 ? 0.0 : 2e-5 * (i % 5);
        sed_k[i] = 0.01 * (1 + i % 4);
        lake[i] = lakes && i % 17 == 8 ? 2 : 0;
    }
    for (int e = 0; e < kFaces; ++e) {
        const int i = kFirst + e;
        q[e] = (e % 4 == 1 ? -1.0 : 1.0) * (e % 8 == 6 ? 1e-5 : 3e-3 * (1 + e % 5));
        slope[e] = (e % 2 ? -1.0 : 1.0) * (e % 9 == 7 ? 0.0 : 1e-3 * (1 + e % 6));
        neighbour[e] = e % 11 == 10 ? 0 : e % 13 == 12 ? -1 : i + 1 + e % 2;
    }
    std::vector<double> room[8];
    for (auto& r : room) r.assign(kesta::kFaceBatch, -7.0);
    const kesta::capacity_work work{room[0].data(), room[1].data(), room[2].data(), room[3].data(),
                                    room[4].data(), room[5].data(), room[6].data(), room[7].data()};
    const kesta::face_sources cells{h.data(), threshold.data(), sed_k.data(), lakes ? lake.data() : nullptr};
    std::vector<double> cap(kFaces, -1.0);
    kesta::second_capacities({kFirst, q.data(), slope.data(), neighbour.data()}, cells, formula, work, cap.data(),
                             kFaces);
    int none = 0, zero = 0, carried = 0, over_threshold = 0, no_depth = 0;
    for (int e = 0; e < kFaces; ++e) {
        const int i = kFirst + e, j = neighbour[e];
        const int src = q[e] >= 0.0 ? i : j;
        if (j == 0 || src < 1 || lake[src] != 0) {
            EXPECT_TRUE(std::isnan(cap[e])) << e;
            ++none;
            continue;
        }
        const double unit_q = std::fabs(q[e]) / formula.dx, s = std::fabs(slope[e]);
        const double power = s * unit_q / h[src];
        if (unit_q < 1e-6 || h[src] < 1e-16 || !(power > 0.0) || threshold[src] > power) {
            EXPECT_EQ(cap[e], 0.0) << e;
            ++zero;
            no_depth += !(h[src] <= 1.0);
            continue;
        }
        const double excess = threshold[src] == 0.0 ? 1.0 : (power - threshold[src]) / power;
        const double rate = formula.coefficient * std::pow(unit_q, 2.035) * std::pow(s, 1.6667);
        EXPECT_NEAR(cap[e], rate * sed_k[src] * excess * formula.to_volume, 1e-13 * cap[e]) << e;
        ++carried;
        over_threshold += threshold[src] > 0.0;
    }
    EXPECT_GT(none, 3);
    EXPECT_GT(zero, 3);
    EXPECT_GT(no_depth, 1);
    EXPECT_GT(carried, 10);
    EXPECT_EQ(over_threshold > 3, thresholds);
    // Face by face, each face gives the same capacity as in the block.
    for (int e = 0; e < kFaces; ++e) {
        double one = -1.0;
        kesta::second_capacities({kFirst + e, &q[e], &slope[e], &neighbour[e]}, cells, formula, work, &one, 1);
        if (std::isnan(cap[e]))
            EXPECT_TRUE(std::isnan(one)) << e;
        else
            EXPECT_EQ(one, cap[e]) << e;
    }
}

TEST(ErosionVectors, SecondCapacitiesMatchTheFormulaFaceByFace) {
    // With and without lakes, and with thresholds on some sources or on none.
    for (const bool lakes : {true, false}) {
        for (const bool thresholds : {true, false}) {
            SCOPED_TRACE(std::string(lakes ? "lakes" : "no lakes") + (thresholds ? ", thresholds" : ", none"));
            check_second_capacities(lakes, thresholds);
        }
    }
}

// The shares that settle at the faces of a block, worked out from the
// water before any sediment moves: each face takes its receiver (the
// neighbour downstream, or the cell itself where the water runs back) and
// that receiver's own discharge along the axis; a face without a receiver,
// into dry or still water, lets everything settle; the outlet's exit
// discharge stands in for its own. Then 1 - exp(fall x per_fall) by class,
// 1 exactly beyond exp(-40), 0 for a class that does not fall.
TEST(ErosionVectors, SettleSharesTakeTheReceiversOwnDischarge) {
    constexpr int kFaces = 3 * kesta::kBatchLanes + 3, kCells = kFaces + 2, kFirst = 1, kExit = 9;
    const double dx2 = 900.0, exit_q = -0.07;
    std::vector<double> q(kCells + 1), h(kCells + 1);
    std::vector<int> neighbour(kFaces);
    for (int i = 1; i <= kCells; ++i) {
        q[i] = (i % 4 == 1 ? -1.0 : 1.0) * (i % 9 == 5 ? 0.0 : 1e-3 * (1 + i % 6));
        h[i] = i % 7 == 3 ? 1e-17 : 0.01 * (1 + i % 3);
    }
    for (int e = 0; e < kFaces; ++e) neighbour[e] = e % 10 == 6 ? 0 : kFirst + e + 1 + e % 2;
    std::vector<double> per_fall(kesta::batch_size(kFaces), std::nan(""));
    kesta::receiver_per_fall(kFirst, q.data() + kFirst, neighbour.data(), q.data(), h.data(), kExit, exit_q, 1e-16,
                             dx2, per_fall.data(), kFaces);
    int back = 0, none = 0;
    for (int e = 0; e < kFaces; ++e) {
        const int i = kFirst + e;
        const auto q_of = [&](int c) { return c == kExit ? exit_q : q[c]; };
        const int r = q_of(i) >= 0.0 ? neighbour[e] : i;
        back += r == i;
        if (r < 1 || !(h[r] > 1e-16) || q_of(r) == 0.0) {
            EXPECT_TRUE(std::isnan(per_fall[e])) << e;
            ++none;
        } else {
            EXPECT_EQ(per_fall[e], -dx2 / std::fabs(q_of(r))) << e;
        }
    }
    EXPECT_GT(back, 3);
    EXPECT_GT(none, 5);
    // Four classes: one that does not fall, fine silt, sand that settles
    // whole at some faces, and gravel that settles whole at every face.
    const double fall[] = {0.0, 0.0, 2e-5, 2e-4, 50.0};
    constexpr int kStride = kesta::kCellBlock;
    const int size = kesta::batch_size(kFaces);
    std::vector<double> work(size), share(4 * kStride, -1.0);
    kesta::settle_shares(per_fall.data(), fall, 4, 40.0, work.data(), share.data(), kStride, size);
    int whole = 0;
    for (int e = 0; e < kFaces; ++e) {
        for (int k = 1; k <= 4; ++k) {
            const double got = share[(k - 1) * kStride + e], x = fall[k] * per_fall[e];
            if (std::isnan(per_fall[e]) || x < -40.0) {
                EXPECT_EQ(got, 1.0) << e << " " << k;
                whole += !std::isnan(per_fall[e]);
            } else {
                EXPECT_NEAR(got, 1.0 - std::exp(x), 4e-16) << e << " " << k;
                EXPECT_TRUE(got >= 0.0 && got < 1.0) << e << " " << k;
            }
        }
    }
    EXPECT_GT(whole, kFaces - none);
}

}  // namespace
