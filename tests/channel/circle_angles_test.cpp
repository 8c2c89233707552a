// The batches of circular sections' angles: each within a few units in the
// last place of the scalar acos, over the whole range of cosines, and the
// same wherever it stands in a batch, so that a node's water does not
// depend on the sections queued before it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "channel/superlink/circle_angles.hpp"

namespace {

TEST(CircleAngles, MatchTheScalarAcosWhereverTheyStand) {
    constexpr int kValues = 6 * kesta::kAngleLanes;
    // Cosines from -1 to 1, crowded toward both ends (nearly full and
    // nearly empty pipes), then the same one place further on.
    std::vector<double> c(kValues + kesta::kAngleLanes, 1.0), angle(c.size()), moved(c.size());
    for (int i = 0; i < kValues; ++i) {
        const double u = -1.0 + 2.0 * i / (kValues - 1);
        c[i] = std::sin(0.5 * M_PI * u);
    }
    c[1] = -1.0 + 1e-15;
    c[kValues - 2] = 1.0 - 1e-15;
    kesta::circle_angles(c.data(), angle.data(), kValues);
    std::vector<double> c1(c.size(), 0.3);
    for (int i = 0; i < kValues; ++i) c1[i + 1] = c[i];
    kesta::circle_angles(c1.data(), moved.data(), kValues + kesta::kAngleLanes);
    for (int i = 0; i < kValues; ++i) {
        const double scalar = std::acos(c[i]);
        EXPECT_NEAR(angle[i], scalar, 4.0 * std::numeric_limits<double>::epsilon() * std::fmax(scalar, 1e-300)) << c[i];
        EXPECT_EQ(moved[i + 1], angle[i]) << c[i];
    }
    EXPECT_EQ(angle[0], M_PI);
    EXPECT_EQ(angle[kValues - 1], 0.0);
    EXPECT_EQ(kesta::angle_batch(0), 0);
    EXPECT_EQ(kesta::angle_batch(1), kesta::kAngleLanes);
    EXPECT_EQ(kesta::angle_batch(kesta::kAngleLanes + 1), 2 * kesta::kAngleLanes);
}

}  // namespace
