// Batches of the erosion step's exponentials and logarithms: plain loops
// that the compiler vectorises at each width of KESTA_WIDEST_VECTORS,
// calling glibc's vector exp and log (libmvec) for whole vectors.
#include "transport/erosion_vectors.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

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

namespace {

// Each w[c] replaced by exp(w[c]), in whole vectors where the build has
// them. Inlined, it is vectorised at the width of its caller's clone.
[[gnu::always_inline]] inline void exp_each(double* w, int n) {
#ifdef KESTA_VECTOR_MATH
#pragma omp simd
#endif
    for (int c = 0; c < n; ++c) w[c] = exp(w[c]);
}

}  // namespace

KESTA_WIDEST_VECTORS
void power_products(const double* q, const double* s, double a, double b, double c, double* rate, int n) {
#ifdef KESTA_VECTOR_MATH
#pragma omp simd
#endif
    for (int f = 0; f < n; ++f) rate[f] = c * exp(a * log(q[f]) + b * log(s[f]));
}

KESTA_WIDEST_VECTORS
void second_capacities(const face_block& faces, const face_sources& cells, const second_formula& formula,
                       const capacity_work& work, double* cap, int n) {
    // The pointers held apart from the structures, which the stores might
    // otherwise reach.
    const int first = faces.first;
    const double *fq = faces.q, *fslope = faces.slope, *ch = cells.h, *cthreshold = cells.threshold;
    const double* csed_k = cells.sed_k;
    const int *neighbour = faces.neighbour, *lake = cells.lake;
    const double per_dx = 1.0 / formula.dx, least_q = formula.least_q, least_h = formula.least_h;
    const double to_volume = formula.to_volume;
    double *q = work.q, *slope = work.slope, *excess = work.excess, *rate = work.rate, *sed_k = work.sed_k;
    double *state = work.state, *h = work.h, *threshold = work.threshold;
    const double none = std::numeric_limits<double>::quiet_NaN();
    // Each face's source, one at a time: what it holds, and whether the
    // face is open (1) or not (nan: no face, or its source is outside the
    // grid or in a lake).
    if (lake) {
        for (int e = 0; e < n; ++e) {
            const int i = first + e, j = neighbour[e];
            const int src = fq[e] >= 0.0 ? i : j;
            const bool face = j != 0 && src >= 1;
            const int at = face ? src : i;  // a cell to read where the face has no source
            h[e] = ch[at];
            threshold[e] = cthreshold[at];
            sed_k[e] = csed_k[at];
            state[e] = face && lake[at] == 0 ? 1.0 : none;
        }
    } else {
        // The same without lakes, in two loops the compiler vectorises:
        // the cells to read, then what they hold.
        int at[kFaceBatch];
#pragma omp simd
        for (int e = 0; e < n; ++e) {
            const int i = first + e, j = neighbour[e];
            const int src = fq[e] >= 0.0 ? i : j;
            const bool face = j != 0 && src >= 1;
            at[e] = face ? src : i;
            state[e] = face ? 1.0 : none;
        }
#pragma omp simd
        for (int e = 0; e < n; ++e) {
            h[e] = ch[at[e]];
            threshold[e] = cthreshold[at[e]];
            sed_k[e] = csed_k[at[e]];
        }
    }
    // Whether each open face carries (state 1, else 0), the inputs of its
    // powers (1 where it carries nothing), and the share of its stream
    // power above the threshold, which takes a division a face that faces
    // without a threshold (the usual case) do without.
    int thresholds = 0;
#pragma omp simd reduction(| : thresholds)
    for (int e = 0; e < n; ++e) thresholds |= threshold[e] != 0.0;
    if (thresholds) {
#pragma omp simd
        for (int e = 0; e < n; ++e) {
            const double unit_q = std::fabs(fq[e]) * per_dx, s = std::fabs(fslope[e]);
            const double power = s * unit_q / h[e];  // unit stream power (m/s)
            const bool open = state[e] == 1.0;
            const bool carries =
                open & !(unit_q < least_q) & !(h[e] < least_h) & (power > 0.0) & !(threshold[e] > power);
            q[e] = carries ? unit_q : 1.0;
            slope[e] = carries ? s : 1.0;
            excess[e] = threshold[e] == 0.0 ? 1.0 : (power - threshold[e]) / power;
            state[e] = carries ? 1.0 : open ? 0.0 : none;
        }
    } else {
        // Without thresholds the stream power only has to be above 0: its
        // numerator S q is, over a depth that is a number from least_h up
        // (least_h above 0). Where S q is so small that S q / h would
        // underflow to 0, S^slope_exponent underflows too (S is then below
        // 1e-300), and the face carries 0 either way.
        const double most = std::numeric_limits<double>::max();
#pragma omp simd
        for (int e = 0; e < n; ++e) {
            const double unit_q = std::fabs(fq[e]) * per_dx, s = std::fabs(fslope[e]);
            const bool open = state[e] == 1.0;
            const bool carries =
                open & !(unit_q < least_q) & (h[e] >= least_h) & (h[e] <= most) & (s * unit_q > 0.0);
            q[e] = carries ? unit_q : 1.0;
            slope[e] = carries ? s : 1.0;
            excess[e] = 1.0;
            state[e] = carries ? 1.0 : open ? 0.0 : none;
        }
    }
    const int size = batch_size(n);
    for (int e = n; e < size; ++e) {
        q[e] = 1.0;
        slope[e] = 1.0;
    }
    power_products(q, slope, formula.flow_exponent, formula.slope_exponent, formula.coefficient, rate, size);
#pragma omp simd
    for (int e = 0; e < n; ++e) {
        const double carried = rate[e] * sed_k[e] * excess[e] * to_volume;
        cap[e] = state[e] == 1.0 ? carried : state[e];
    }
}

// Three plain loops: GCC does not vectorise a loop that both calls a
// function and selects values.
KESTA_WIDEST_VECTORS
void splash_volumes(const double* h, const double* drop, const double* rate, const double* splash_k,
                    double k_default, double dt, double dx, double density, double* work, double* volume, int n) {
    // The exponent is kept in `volume` until the last loop.
#pragma omp simd
    for (int c = 0; c < n; ++c) {
        const double x = 1.0 - h[c] / drop[c];
        volume[c] = x;
        work[c] = drop[c] < h[c] ? (x < kLeastExponent ? kLeastExponent : x) : 0.0;
    }
    exp_each(work, n);
#pragma omp simd
    for (int c = 0; c < n; ++c) {
        const double x = volume[c];
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

KESTA_WIDEST_VECTORS
void receiver_per_fall(int first, const double* q, const int* neighbour, const double* q_of, const double* h,
                       int exit, double exit_q, double least_h, double dx2, double* per_fall, int n) {
    const double none = std::numeric_limits<double>::quiet_NaN();
#pragma omp simd
    for (int e = 0; e < n; ++e) {
        const int i = first + e, j = neighbour[e];
        const double own = q[e];
        const double qf = i == exit ? exit_q : own;
        const int r = qf >= 0.0 ? j : i;
        const int at = r >= 1 ? r : i;  // a cell to read where the face has no receiver
        const double q_at = q_of[at], h_at = h[at];
        const double qr = std::fabs(at == exit ? exit_q : q_at);
        // Divided on every face and then chosen: the compiler does not move
        // a division out of a condition, which would leave the loop scalar.
        const double per = -dx2 / qr;
        per_fall[e] = (r >= 1) & (h_at > least_h) & (qr > 0.0) ? per : none;
    }
}

// Per class, the exponents, their exponentials and the shares in three
// plain loops, as splash_volumes.
KESTA_WIDEST_VECTORS
void settle_shares(const double* per_fall, const double* fall, int classes, double all_settles, double* work,
                   double* share, int stride, int n) {
    for (int k = 1; k <= classes; ++k) {
        const double f = fall[k];
        double* out = share + static_cast<std::ptrdiff_t>(k - 1) * stride;
        // A class that settles whole at every face of the batch (as sand
        // under thin sheet flow does) needs no exponential: the last loop
        // then gives 1 everywhere. The faces that settle in part are
        // counted in doubles, which stay in the lanes of the exponents.
        double partial = 0.0;
#pragma omp simd reduction(+ : partial)
        for (int c = 0; c < n; ++c) {
            const double x = f * per_fall[c];
            work[c] = x < -all_settles || x != x ? 0.0 : x;
            const bool flows = per_fall[c] == per_fall[c], whole = x < -all_settles;
            partial += flows & !whole ? 1.0 : 0.0;
        }
        if (partial > 0.0) exp_each(work, n);
#pragma omp simd
        for (int c = 0; c < n; ++c) {
            const double x = f * per_fall[c];
            out[c] = per_fall[c] != per_fall[c] || x < -all_settles ? 1.0 : 1.0 - work[c];
        }
    }
}

KESTA_WIDEST_VECTORS
double sum_of(const double* a, const double* b, const double* c, std::ptrdiff_t n) {
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (std::ptrdiff_t e = 0; e < n; ++e) sum += a[e] + b[e] + c[e];
    return sum;
}

}  // namespace kesta
