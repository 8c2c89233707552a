// Batches of the erosion step's exponentials and logarithms: plain loops
// that the compiler vectorises at each width of KESTA_WIDEST_VECTORS,
// calling glibc's vector exp and log (libmvec) for whole vectors; and the
// detachment of eight cells side by side in AVX-512's own operations.
#include "transport/erosion_vectors.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "overland/widest_vectors.hpp"

#if defined(KESTA_OVERLAND_SIMD) && defined(__GLIBC__)
#include <immintrin.h>

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

#ifdef KESTA_VECTOR_MATH
#pragma GCC push_options
#pragma GCC target("avx512f")
namespace {

// Eight cells side by side, one lane each; a mask has bit l for lane l.
// Each lane makes the operations of the scalar detachment in its order;
// where the scalar code takes one branch or the other, the lane computes
// both and keeps the one its mask picks, so that every kept value is
// rounded as before.
constexpr int kSoilLanes = 8;
typedef __m512d lanes;
typedef __mmask8 lane_mask;

[[gnu::always_inline]] inline lanes splat(double x) { return _mm512_set1_pd(x); }
[[gnu::always_inline]] inline lane_mask lt(lanes a, lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
[[gnu::always_inline]] inline lane_mask le(lanes a, lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
[[gnu::always_inline]] inline lane_mask eq(lanes a, lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
[[gnu::always_inline]] inline lane_mask not_of(lane_mask m) { return static_cast<lane_mask>(~m); }
// m ? a : b, lane by lane.
[[gnu::always_inline]] inline lanes pick(lane_mask m, lanes a, lanes b) { return _mm512_mask_blend_pd(m, b, a); }

// The soil rows of eight cells in lanes, class by class (class 0 first).
template <int Classes>
struct lane_soil {
    lanes parent_fract[Classes + 1], deposit_fract[Classes + 1], parent[Classes + 1], suspended[Classes + 1],
        deposited[Classes + 1], eroded[Classes + 1];
};

// The sum of a class row from its first class, as the scalar detachment
// adds it.
template <int Classes>
[[gnu::always_inline]] inline lanes sum_rows(const lanes* v) {
    lanes s = v[1];
#pragma GCC unroll 8
    for (int k = 2; k <= Classes; ++k) s = _mm512_add_pd(s, v[k]);
    return s;
}

// The rows of eight cells from r (stride values a row, class 0 first)
// into lanes by class, v[k] for class k, and back: rows of 2 or 4 values
// load and store whole and are transposed in registers. (Gathers and
// scatters, for other row lengths, cost what the lanes save.)
template <int stride>
[[gnu::always_inline]] inline void load_rows(lanes* v, const double* r) {
    if constexpr (stride == 4) {
        const lanes a = _mm512_loadu_pd(r), b = _mm512_loadu_pd(r + 8), c = _mm512_loadu_pd(r + 16),
                    d = _mm512_loadu_pd(r + 24);
        // Classes 0 and 1 of cells 0-3 (of 4-7), classes 2 and 3 of them.
        const __m512i low = _mm512_setr_epi64(0, 4, 8, 12, 1, 5, 9, 13);
        const __m512i high = _mm512_setr_epi64(2, 6, 10, 14, 3, 7, 11, 15);
        const lanes t0 = _mm512_permutex2var_pd(a, low, b), t1 = _mm512_permutex2var_pd(a, high, b);
        const lanes t2 = _mm512_permutex2var_pd(c, low, d), t3 = _mm512_permutex2var_pd(c, high, d);
        const __m512i first = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
        const __m512i second = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
        v[0] = _mm512_permutex2var_pd(t0, first, t2);
        v[1] = _mm512_permutex2var_pd(t0, second, t2);
        v[2] = _mm512_permutex2var_pd(t1, first, t3);
        v[3] = _mm512_permutex2var_pd(t1, second, t3);
    } else {
        static_assert(stride == 2, "rows of 2 or 4 values");
        const lanes a = _mm512_loadu_pd(r), b = _mm512_loadu_pd(r + 8);
        v[0] = _mm512_permutex2var_pd(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
        v[1] = _mm512_permutex2var_pd(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
    }
}

template <int stride>
[[gnu::always_inline]] inline void store_rows(double* r, const lanes* v) {
    if constexpr (stride == 4) {
        // Cells 0-3 (of 4-7) of classes 0 and 2, of classes 1 and 3.
        const __m512i low = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
        const __m512i high = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
        const lanes t0 = _mm512_permutex2var_pd(v[0], low, v[2]), t1 = _mm512_permutex2var_pd(v[1], low, v[3]);
        const lanes t2 = _mm512_permutex2var_pd(v[0], high, v[2]), t3 = _mm512_permutex2var_pd(v[1], high, v[3]);
        // t0 = class 0 of cells 0-3, class 2 of cells 0-3; t1 the same of classes 1 and 3.
        const __m512i first = _mm512_setr_epi64(0, 8, 4, 12, 1, 9, 5, 13);
        const __m512i second = _mm512_setr_epi64(2, 10, 6, 14, 3, 11, 7, 15);
        _mm512_storeu_pd(r, _mm512_permutex2var_pd(t0, first, t1));
        _mm512_storeu_pd(r + 8, _mm512_permutex2var_pd(t0, second, t1));
        _mm512_storeu_pd(r + 16, _mm512_permutex2var_pd(t2, first, t3));
        _mm512_storeu_pd(r + 24, _mm512_permutex2var_pd(t2, second, t3));
    } else {
        static_assert(stride == 2, "rows of 2 or 4 values");
        _mm512_storeu_pd(r, _mm512_permutex2var_pd(v[0], _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), v[1]));
        _mm512_storeu_pd(r + 8, _mm512_permutex2var_pd(v[0], _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), v[1]));
    }
}

// One detachment on each lane: `v` from the deposit of total p where
// `from_deposit`, else the whole deposit and e of parent soil where
// `from_parent` (no more than the cell has left); other lanes keep their
// soil. `exhausted` gains the lanes that asked for more than was left.
template <int Classes>
[[gnu::always_inline]] inline void detach_lanes(lane_soil<Classes>& c, lane_mask from_deposit, lane_mask from_parent,
                                                lanes v, lanes p, lanes e, double erodible, lane_mask& exhausted) {
    const lanes zero = _mm512_setzero_pd();
    if (from_parent) {
        const lanes share = sum_rows<Classes>(c.parent_fract);
        const lanes sum = _mm512_add_pd(splat(erodible), sum_rows<Classes>(c.parent));
        const lanes left = pick(lt(zero, sum), sum, zero);
        const lane_mask short_of = from_parent & not_of(le(_mm512_mul_pd(share, e), left));
        if (short_of) {
            const lane_mask gives = lt(zero, share);
            e = pick(short_of, pick(gives, _mm512_div_pd(left, share), zero), e);
            exhausted = (exhausted & not_of(short_of)) | (short_of & gives);
        }
    }
    const lane_mask either = from_deposit | from_parent;
    lanes total = c.eroded[0];
#pragma GCC unroll 8
    for (int k = 1; k <= Classes; ++k) {
        const lanes d = c.deposited[k];
        const lanes from_soil = _mm512_mul_pd(c.parent_fract[k], e);
        lanes x = _mm512_add_pd(from_soil, d);
        lanes left = pick(from_parent, zero, d);
        if (from_deposit) {
            const lanes f = _mm512_div_pd(d, p);
            c.deposit_fract[k] = pick(from_deposit, f, c.deposit_fract[k]);
            const lanes taken = _mm512_mul_pd(v, f);
            x = pick(from_deposit, taken, x);
            left = pick(from_deposit, _mm512_sub_pd(d, taken), left);
        }
        c.deposited[k] = left;
        c.parent[k] = _mm512_mask_sub_pd(c.parent[k], from_parent, c.parent[k], from_soil);
        c.suspended[k] = _mm512_mask_add_pd(c.suspended[k], either, c.suspended[k], x);
        c.eroded[k] = _mm512_mask_add_pd(c.eroded[k], either, c.eroded[k], x);
        total = _mm512_add_pd(total, x);
    }
    c.eroded[0] = pick(either, total, c.eroded[0]);
}

// Lanes whose int has any of `bits`.
[[gnu::always_inline]] inline lane_mask with_bits(const int* p, int bits) {
    // The masked form: the plain one trips GCC 12's uninitialised-value warning.
    const __m512i v = _mm512_maskz_cvtepi32_epi64(0xFF, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    return _mm512_test_epi64_mask(v, _mm512_set1_epi64(bits));
}

// Cells ahead whose rows are asked for: the rows come from main memory,
// and the lanes' work hides their wait.
constexpr int kAhead = 96;

template <int Classes>
int detach_cells_of(const soil_rows& rows, const detach_sources& from, int n) {
    static_assert(kBatchLanes % kSoilLanes == 0, "whole batches are whole lanes");
    constexpr int stride = Classes + 1;
    const double erodible = from.erodible;
    const lanes zero = _mm512_setzero_pd(), one = splat(1.0), least = splat(from.least);
    int first_exhausted = -1;
    for (int c0 = 0; c0 < n; c0 += kSoilLanes) {
        const lanes splash = _mm512_loadu_pd(from.splash + c0), shear = _mm512_loadu_pd(from.shear + c0);
        const lane_mask going = not_of(with_bits(from.state + c0, 1));
        const lane_mask rained = going & lt(least, _mm512_loadu_pd(from.rain + c0)) & lt(zero, splash);
        const lane_mask sheared = going & with_bits(from.state + c0, 2) & lt(zero, shear);
        if (!(rained | sheared)) continue;
        const lane_mask soil_only = not_of(with_bits(from.channel + c0, -1));
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(c0) * stride;
        if (c0 + kAhead + kSoilLanes <= rows.cells) {
            const std::ptrdiff_t next = at + kAhead * stride;
            const double* const tables[] = {rows.parent_fract, rows.deposit_fract, rows.parent,
                                            rows.suspended,    rows.deposited,     rows.eroded};
            for (const double* t : tables)
#pragma GCC unroll 4
                for (int line = 0; line < stride; ++line)
                    _mm_prefetch(reinterpret_cast<const char*>(t + next + line * kSoilLanes), _MM_HINT_T0);
        }
        lane_soil<Classes> soil;
        load_rows<stride>(soil.parent_fract, rows.parent_fract + at);
        load_rows<stride>(soil.deposit_fract, rows.deposit_fract + at);
        load_rows<stride>(soil.parent, rows.parent + at);
        load_rows<stride>(soil.suspended, rows.suspended + at);
        load_rows<stride>(soil.deposited, rows.deposited + at);
        load_rows<stride>(soil.eroded, rows.eroded + at);
        lane_mask exhausted = 0;
        if (rained) {
            const lanes p = sum_rows<Classes>(soil.deposited);
            const lane_mask deposit = lt(least, p) & lt(splash, p);
            const lanes rest = _mm512_sub_pd(splash, p);
            detach_lanes<Classes>(soil, rained & deposit, rained & not_of(deposit) & soil_only, splash, p,
                                  pick(lt(rest, zero), zero, rest), erodible, exhausted);
        }
        if (sheared) {
            const lanes p = sum_rows<Classes>(soil.deposited);
            const lane_mask deposit = lt(shear, p);
            const lanes beyond = _mm512_loadu_pd(from.beyond + c0);
            const lane_mask none = eq(p, zero);
            lane_mask bare = eq(beyond, zero) & none;
#pragma GCC unroll 8
            for (int k = 1; k <= Classes; ++k) bare &= eq(soil.deposited[k], zero);
            // Without deposit 1 - p / v is 1: no division.
            const lanes share = pick(none, one, _mm512_sub_pd(one, _mm512_div_pd(p, shear)));
            detach_lanes<Classes>(soil, sheared & deposit, sheared & not_of(deposit) & soil_only & not_of(bare),
                                  shear, p, _mm512_mul_pd(share, beyond), erodible, exhausted);
        }
        store_rows<stride>(rows.deposit_fract + at, soil.deposit_fract);
        store_rows<stride>(rows.parent + at, soil.parent);
        store_rows<stride>(rows.suspended + at, soil.suspended);
        store_rows<stride>(rows.deposited + at, soil.deposited);
        store_rows<stride>(rows.eroded + at, soil.eroded);
        if (exhausted && first_exhausted < 0) first_exhausted = c0 + __builtin_ctz(exhausted);
    }
    return first_exhausted;
}

}  // namespace
#pragma GCC pop_options
#endif

bool detach_cells(const soil_rows& rows, const detach_sources& from, int classes, int n, int& exhausted) {
#ifdef KESTA_VECTOR_MATH
    static const bool wide = __builtin_cpu_supports("avx512f");
    if (wide) {
        switch (classes) {
            case 1: exhausted = detach_cells_of<1>(rows, from, n); return true;
            case 3: exhausted = detach_cells_of<3>(rows, from, n); return true;
            default: break;
        }
    }
#else
    (void)rows, (void)from, (void)classes, (void)n, (void)exhausted;
#endif
    return false;
}

KESTA_WIDEST_VECTORS
double sum_of(const double* a, const double* b, const double* c, std::ptrdiff_t n) {
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (std::ptrdiff_t e = 0; e < n; ++e) sum += a[e] + b[e] + c[e];
    return sum;
}

}  // namespace kesta
