// The powers of thirds that Manning's equation raises depths and hydraulic
// radii to, made from one inverse cube root without a division or a call to
// the library's pow: d^(-1/3) from a first guess made on the high word of
// d's bits (within 3.5 %), refined by four Newton steps
// r <- r (4/3 - d/3 r^3), each squaring the error. The core keeps to
// 1e-100 < d < 1e100, where every intermediate stays a normal number.
//
// Bound, relative to the exact power (the worst of 2e7 arguments sampled
// across the core's range: 4.3e-16 and 5.1e-16): kTwoThirdsBound for
// d^(2/3) = d r, kFiveThirdsBound for d^(5/3) = d^2 r. std::pow(d, 2.0 / 3.0)
// is itself, besides its own rounding, |ln d| 3.7e-17 from the exact power
// (its exponent is 2/3 rounded; 7.4e-17 for 5/3), so the two differ by at
// most the sum of the two.
//
// Callers that compute the core in vector lanes must repeat its operations in
// the same order (and the build keeps -ffp-contract=off) to get its bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace kesta {

constexpr std::uint32_t kInvCbrtMagicHigh = 0x553EF0FFu;
constexpr int kInvCbrtNewtonSteps = 4;
constexpr double kInvCbrtLow = 1e-100;  // the core's range, both ends excluded
constexpr double kInvCbrtHigh = 1e100;
constexpr double kTwoThirdsBound = 5e-16;
constexpr double kFiveThirdsBound = 6e-16;

// The first guess of d^(-1/3) for a normal d > 0.
inline double inv_cbrt_guess(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    bits = static_cast<std::uint64_t>(kInvCbrtMagicHigh - static_cast<std::uint32_t>(bits >> 32) / 3u) << 32;
    double r = 0.0;
    std::memcpy(&r, &bits, sizeof r);
    return r;
}

inline bool inv_cbrt_in_range(double d) { return d > kInvCbrtLow && d < kInvCbrtHigh; }

// d^(-1/3) for d in the core's range (outside it, no bound holds).
inline double inv_cbrt(double d) {
    double r = inv_cbrt_guess(d);
    const double third = d * (1.0 / 3.0);
#pragma GCC unroll 4
    for (int k = 0; k < kInvCbrtNewtonSteps; ++k) r *= 4.0 / 3.0 - (third * r) * (r * r);
    return r;
}

// d^(2/3) and d^(5/3) for any d: the core in its range, std::pow outside it
// (0, the tiniest and hugest numbers, infinities, negatives and NaN give
// std::pow's results there).
inline double pow_two_thirds(double d) {
    return inv_cbrt_in_range(d) ? d * inv_cbrt(d) : std::pow(d, 2.0 / 3.0);
}
inline double pow_five_thirds(double d) {
    return inv_cbrt_in_range(d) ? d * d * inv_cbrt(d) : std::pow(d, 5.0 / 3.0);
}

}  // namespace kesta
