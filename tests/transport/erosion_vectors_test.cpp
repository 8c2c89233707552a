// The erosion step's batches of exponentials and logarithms: each value
// within a few units in the last place of the scalar functions, and the
// same wherever it stands in a batch, so that a face's capacity does not
// depend on the faces queued before it.
#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
