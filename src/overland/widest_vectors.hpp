// Where the overland code is built for several vector widths: x86-64 under
// GCC, whose lane kernels (overland_simd.hpp) and KESTA_WIDEST_VECTORS
// functions are made for AVX-512, AVX2 and the base target, the widest the
// machine runs chosen at run time. KESTA_WIDEST_VECTORS before a function of
// plain per-cell loops has the compiler vectorise it at each width; the
// operations and their order are those of the scalar loop (see
// overland_simd.hpp on fused multiply-adds), so the results do not depend on
// the machine. Other compilers and targets build one scalar form. A build
// for the thread sanitizer has no clones: the loader runs a clone's chooser
// before the sanitizer's runtime is up, and the instrumented chooser then
// crashes the program before main.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KESTA_OVERLAND_SIMD 1
#endif
#if defined(KESTA_OVERLAND_SIMD) && !defined(__SANITIZE_THREAD__)
#define KESTA_WIDEST_VECTORS __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KESTA_WIDEST_VECTORS
#endif
