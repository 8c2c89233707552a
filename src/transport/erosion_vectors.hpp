// The exponentials and logarithms of the overland erosion step in batches,
// several at a time: eight with AVX-512, four with AVX2, two with SSE2, the
// widest the machine runs, chosen at run time (overland/widest_vectors.hpp),
// by glibc's vector forms of exp and log (libmvec, within a few units in
// the last place of the scalar functions). A batch holds a multiple of
// kBatchLanes values, so that every value goes through the widest form and
// its result does not depend on where in the batch it stands. Other
// compilers and libraries compute the same loops one value at a time.
// Internal to src/transport.
#pragma once

namespace kesta {

constexpr int kBatchLanes = 8;
// Faces a batch of the step's capacities holds at most (a multiple of
// kBatchLanes): their values stay in the nearest cache.
constexpr int kFaceBatch = 256;

// Values to hold `n` in whole batches.
inline int batch_size(int n) { return (n + kBatchLanes - 1) / kBatchLanes * kBatchLanes; }

// rate[f] = c exp(a log(q[f]) + b log(s[f])) for f in [0, n), n a
// multiple of kBatchLanes; q and s above 0.
void power_products(const double* q, const double* s, double a, double b, double c, double* rate, int n);

}  // namespace kesta
