// The angles of circular pipe sections in batches, several at a time: eight
// with AVX-512, four with AVX2, two with SSE2, the widest the machine runs,
// chosen at run time (overland/widest_vectors.hpp), by glibc's vector form
// of acos (libmvec, within a few units in the last place of the scalar
// function). A batch holds a multiple of kAngleLanes values, so that every
// value goes through the widest form and its angle does not depend on where
// in the batch it stands. Other compilers and libraries compute the same
// loop one value at a time. Internal to src/channel/superlink.
#pragma once

namespace kesta {

constexpr int kAngleLanes = 8;

// Values to hold `n` in whole batches.
inline int angle_batch(int n) { return (n + kAngleLanes - 1) / kAngleLanes * kAngleLanes; }

// angle[i] = acos(c[i]) (radians) for i in [0, n), n a multiple of
// kAngleLanes; every c[i] in [-1, 1].
void circle_angles(const double* c, double* angle, int n);

}  // namespace kesta
