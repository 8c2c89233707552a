// KESTA_WIDEST_VECTORS before a function of plain per-cell loops compiles it
// for AVX-512, for AVX2 and for the base x86-64 target, the widest that the
// machine runs chosen when the program loads. A loop vectorised at any width
// makes the same correctly rounded operations in the same order (the library
// is built with -ffp-contract=off), so the results do not depend on the
// machine. Other compilers and targets compile the function once.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KESTA_WIDEST_VECTORS __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KESTA_WIDEST_VECTORS
#endif
