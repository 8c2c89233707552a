// Batches of circular sections' angles: a plain loop that the compiler
// vectorises at each width of KESTA_WIDEST_VECTORS, calling glibc's vector
// acos (libmvec) for whole vectors.
#include "channel/superlink/circle_angles.hpp"

#include <cmath>

#include "overland/widest_vectors.hpp"

#if defined(KESTA_OVERLAND_SIMD) && defined(__GLIBC__)
#define KESTA_VECTOR_MATH 1
// glibc's declaration of its vector form, which its math.h makes only under
// -ffast-math: each lane is the scalar function's value within a few units
// in the last place, and sets no errno.
extern "C" {
__attribute__((simd("notinbranch"))) double acos(double) noexcept;
}
#endif

namespace kesta {

KESTA_WIDEST_VECTORS
void circle_angles(const double* c, double* angle, int n) {
#ifdef KESTA_VECTOR_MATH
#pragma omp simd
#endif
    for (int i = 0; i < n; ++i) angle[i] = acos(c[i]);
}

}  // namespace kesta
