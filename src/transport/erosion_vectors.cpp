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

}  // namespace kesta
