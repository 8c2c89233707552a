// Batches of the erosion step's exponentials and logarithms: plain loops
// that the compiler vectorises at each width of KESTA_WIDEST_VECTORS,
// calling glibc's vector exp and log (libmvec) for whole vectors.
#include "transport/erosion_vectors.hpp"

#include <cmath>

#include "overland/widest_vectors.hpp"

#if defined(KESTA_OVERLAND_SIMD) && defined(__GLIBC__)
#define KESTA_VECTOR_MATH 1
// glibc's declarations of its vector forms, which its math.h makes only
// under -ffast-math: each lane is the scalar function's value within a few
// units in the last place, and sets no errno.
extern "C" {
__attribute__((simd("notinbranch"))) double exp(double) noexcept;
__attribute__((simd("notinbranch"))) double log(double) noexcept;
}
#endif

namespace kesta {

KESTA_WIDEST_VECTORS
void power_products(const double* q, const double* s, double a, double b, double c, double* rate, int n) {
#ifdef KESTA_VECTOR_MATH
#pragma omp simd
#endif
    for (int f = 0; f < n; ++f) rate[f] = c * exp(a * log(q[f]) + b * log(s[f]));
}

// Three plain loops: GCC does not vectorise a loop that both calls a
// function and selects values.
KESTA_WIDEST_VECTORS
void splash_volumes(const double* h, const double* drop, const double* rate, const double* splash_k,
                    double k_default, double dt, double dx, double density, double* work, double* volume, int n) {
#pragma omp simd
    for (int c = 0; c < n; ++c) {
        const double x = 1.0 - h[c] / drop[c];
        work[c] = drop[c] < h[c] ? (x < kLeastExponent ? kLeastExponent : x) : 0.0;
    }
#ifdef KESTA_VECTOR_MATH
#pragma omp simd
#endif
    for (int c = 0; c < n; ++c) work[c] = exp(work[c]);
#pragma omp simd
    for (int c = 0; c < n; ++c) {
        const double x = 1.0 - h[c] / drop[c];
        const double damping = drop[c] < h[c] ? (x < kLeastExponent ? 0.0 : work[c]) : 1.0;
        const double k = splash_k[c] > 0.0 ? splash_k[c] : k_default;
        volume[c] = k * damping * rate[c] * dt * dx * dx / density;
    }
}

KESTA_WIDEST_VECTORS
void shear_volumes(const double* h, const double* sx, const double* sy, const double* detach_k,
                   const double* detach_c, double coef_default, double rho_g, double least, double dt, double dx,
                   double density, double* volume, double* beyond, int n) {
#pragma omp simd
    for (int c = 0; c < n; ++c) {
        const double slope = std::sqrt(sx[c] * sx[c] + sy[c] * sy[c]);
        const double tau = rho_g * h[c] * slope;
        const double coef = detach_k[c] > 0.0 ? detach_k[c] : coef_default;
        const double critical = detach_c[c] > 0.0 ? detach_c[c] : 0.0;
        const double scale = coef * dt * dx * dx / density;
        const bool shears = h[c] > least && slope > least;
        volume[c] = shears ? scale * tau : 0.0;
        beyond[c] = shears && tau > critical ? scale * (tau - critical) : 0.0;
    }
}

}  // namespace kesta
