#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/cube_root.hpp"

using namespace kesta;

namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double relative(double v, long double exact) { return static_cast<double>(std::fabs(v / exact - 1.0L)); }

// How far std::pow(d, p) may lie from the exact power d^(exact): its own
// rounding (within an ulp) and the rounding of the exponent p.
double library_offset(double d, double p, long double exact) {
    return 2.3e-16 + std::fabs(std::log(d)) * static_cast<double>(std::fabs(static_cast<long double>(p) - exact));
}

}  // namespace

// Across the core's range and beyond it on both sides: within the stated
// bound of the exact power where the core works, the library's own numbers
// where it does not.
TEST(CubeRoot, PowersOfThirdsKeepTheirBoundOfTheExactPower) {
    double worst23 = 0.0, worst53 = 0.0;
    int core = 0, library = 0;
    for (double e = -130.0; e <= 130.0; e += 0.00731) {
        const double d = std::pow(10.0, e);
        if (!inv_cbrt_in_range(d)) {
            EXPECT_TRUE(same_bits(pow_two_thirds(d), std::pow(d, 2.0 / 3.0))) << d;
            EXPECT_TRUE(same_bits(pow_five_thirds(d), std::pow(d, 5.0 / 3.0))) << d;
            ++library;
            continue;
        }
        ++core;
        worst23 = std::max(worst23, relative(pow_two_thirds(d), std::pow(static_cast<long double>(d), 2.0L / 3.0L)));
        worst53 = std::max(worst53, relative(pow_five_thirds(d), std::pow(static_cast<long double>(d), 5.0L / 3.0L)));
    }
    EXPECT_LT(worst23, kTwoThirdsBound);
    EXPECT_LT(worst53, kFiveThirdsBound);
    EXPECT_GT(core, 20000);
    EXPECT_GT(library, 2000);
}

// Where the channel raises its hydraulic radii, depths and level spacings
// (1e-12 m to 10 km), finely: within the bound plus the library's own offset
// from the exact power of std::pow, which the powers replace.
TEST(CubeRoot, PowersOfThirdsMatchTheLibraryPowerOverTheChannelsArguments) {
    for (double d = 1e-12; d < 1e4; d *= 1.0001373) {
        const double two = std::pow(d, 2.0 / 3.0), five = std::pow(d, 5.0 / 3.0);
        EXPECT_LE(std::fabs(pow_two_thirds(d) / two - 1.0), kTwoThirdsBound + library_offset(d, 2.0 / 3.0, 2.0L / 3.0L))
            << d;
        EXPECT_LE(std::fabs(pow_five_thirds(d) / five - 1.0),
                  kFiveThirdsBound + library_offset(d, 5.0 / 3.0, 5.0L / 3.0L))
            << d;
    }
}

// A dry section gives 0; the tiniest and hugest numbers, infinities,
// negatives and NaN give the library's results; the core's first numbers
// inside its range are bounded like the rest.
TEST(CubeRoot, EdgesGiveTheLibraryResults) {
    using limits = std::numeric_limits<double>;
    for (double d : {0.0, -0.0, limits::denorm_min(), limits::min(), 1e-300, kInvCbrtLow, kInvCbrtHigh, 1e300,
                     limits::max(), limits::infinity(), -1.0, -limits::infinity(), limits::quiet_NaN()}) {
        const double two = std::pow(d, 2.0 / 3.0), five = std::pow(d, 5.0 / 3.0);
        EXPECT_TRUE(same_bits(pow_two_thirds(d), two) || (std::isnan(two) && std::isnan(pow_two_thirds(d)))) << d;
        EXPECT_TRUE(same_bits(pow_five_thirds(d), five) || (std::isnan(five) && std::isnan(pow_five_thirds(d)))) << d;
    }
    EXPECT_EQ(pow_two_thirds(0.0), 0.0);
    EXPECT_EQ(pow_five_thirds(0.0), 0.0);
    for (double d : {std::nextafter(kInvCbrtLow, 1.0), std::nextafter(kInvCbrtHigh, 0.0)}) {
        EXPECT_LT(relative(pow_two_thirds(d), std::pow(static_cast<long double>(d), 2.0L / 3.0L)), kTwoThirdsBound);
        EXPECT_LT(relative(pow_five_thirds(d), std::pow(static_cast<long double>(d), 5.0L / 3.0L)), kFiveThirdsBound);
    }
}
