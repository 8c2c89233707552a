// The paired face-flux kernels of overland_simd.hpp for W lanes of doubles.
// Included once per instruction set, each time inside its own namespace with
// KESTA_LANES (2, 4 or 8) defined; deliberately no include guard. Internal to
// src/overland.

constexpr int W = KESTA_LANES;
typedef double vd __attribute__((vector_size(8 * W)));
typedef long long vi __attribute__((vector_size(8 * W)));

[[gnu::always_inline]] inline vd load(const double* p) {
    vd v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
[[gnu::always_inline]] inline void store(double* p, vd v) { std::memcpy(p, &v, sizeof v); }
[[gnu::always_inline]] inline vd splat(double c) { return vd{} + c; }

// The cell numbers nb[0..W-1] of a gather, and whether they run on one by
// one from the first, a cell, as across the faces of a row: the gather is
// then one load.
struct cells {
    const int* nb;
    bool run;
};
[[gnu::always_inline]] inline cells cells_at(const int* nb) {
#if KESTA_LANES == 8
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nb));
    const __m256i from_first = _mm256_add_epi32(_mm256_set1_epi32(nb[0]), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    return {nb, nb[0] != 0 && _mm256_movemask_epi8(_mm256_cmpeq_epi32(v, from_first)) == -1};
#elif KESTA_LANES == 2
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(nb));
    const __m128i from_first = _mm_add_epi32(_mm_set1_epi32(nb[0]), _mm_setr_epi32(0, 1, 0, 0));
    return {nb, nb[0] != 0 && (_mm_movemask_epi8(_mm_cmpeq_epi32(v, from_first)) & 0xFF) == 0xFF};
#else
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nb));
    const __m128i from_first = _mm_add_epi32(_mm_set1_epi32(nb[0]), _mm_setr_epi32(0, 1, 2, 3));
    return {nb, nb[0] != 0 && _mm_movemask_epi8(_mm_cmpeq_epi32(v, from_first)) == 0xFFFF};
#endif
}

// a[nb[k]] of each lane, 0 for number 0 (no neighbour, a lane the caller
// masks): a gather reads only cells, so that `a` may be a window that holds
// some cells alone (see the predictions of a fused "ade-pc" pass).
[[gnu::always_inline]] inline double at_cell(const double* a, int k) { return k ? a[k] : 0.0; }
// The vector of lane(0) .. lane(W - 1), built in registers: lanes stored
// one by one and loaded as a vector would wait for every store before them
// to reach the cache. `lane` must be always_inline.
template <class Lane>
[[gnu::always_inline]] inline vd lanes_of(Lane lane) {
#if KESTA_LANES == 8
    return vd{lane(0), lane(1), lane(2), lane(3), lane(4), lane(5), lane(6), lane(7)};
#elif KESTA_LANES == 2
    return vd{lane(0), lane(1)};
#else
    return vd{lane(0), lane(1), lane(2), lane(3)};
#endif
}
[[gnu::always_inline]] inline vd gather(const double* a, const cells& c) {
    const int* nb = c.nb;
    if (c.run) return load(a + nb[0]);
    return lanes_of([&](int k) __attribute__((always_inline)) { return at_cell(a, nb[k]); });
}
[[gnu::always_inline]] inline vd gather(const double* a, const int* nb) { return gather(a, cells{nb, false}); }
[[gnu::always_inline]] inline vi has_neighbour(const int* nb) {
#if KESTA_LANES == 8
    // The masked form: the plain one trips GCC 12's uninitialised-value warning.
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nb));
    return reinterpret_cast<vi>(_mm512_maskz_cvtepi32_epi64(0xFF, v)) != 0;
#elif KESTA_LANES == 2
    return vi{nb[0], nb[1]} != 0;
#else
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nb));
    return reinterpret_cast<vi>(_mm256_cvtepi32_epi64(v)) != 0;
#endif
}
// One bit per lane whose mask is set.
[[gnu::always_inline]] inline int lane_bits(vi m) {
#if KESTA_LANES == 8
    return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(m), reinterpret_cast<__m512i>(m));
#elif KESTA_LANES == 2
    return _mm_movemask_pd(reinterpret_cast<__m128d>(m));
#else
    return _mm256_movemask_pd(reinterpret_cast<__m256d>(m));
#endif
}
// Whether cells i .. i + W - 1 all have their neighbours at the grid's
// fixed offsets (grid_view::interior).
[[gnu::always_inline]] inline bool all_interior(const grid_view& g, int i) {
    if (!g.interior) return false;
    constexpr unsigned kAll = (1u << W) - 1;
    std::uint16_t marks = 0;  // the bits of cells i - i % 8 .. i - i % 8 + 15 (x86 is little-endian)
    std::memcpy(&marks, g.interior + i / 8, sizeof marks);
    return ((static_cast<unsigned>(marks) >> (i % 8)) & kAll) == kAll;
}
// all_interior of cells i .. i + 2W - 1 in one test (bits i .. i + 2W - 1
// lie in the 3 bytes from i / 8, all within the marks when i + 2W - 1 is a
// cell).
[[gnu::always_inline]] inline bool pair_interior(const grid_view& g, int i) {
    if (!g.interior) return false;
    constexpr unsigned kAll = (1u << (2 * W)) - 1;
    // Loaded as they are, not gathered in memory first: a wide load of
    // narrow stores just made waits for them to reach the cache.
    const unsigned char* m = g.interior + i / 8;
    std::uint16_t low = 0;  // x86 is little-endian
    std::memcpy(&low, m, sizeof low);
    const std::uint32_t marks = low | (2 * W + 7 > 16 ? static_cast<std::uint32_t>(m[2]) << 16 : 0u);
    return ((marks >> (i % 8)) & kAll) == kAll;
}
// A vector with a cell on the mask's edge reads the neighbour numbers,
// which no other vector reads: on a large grid their lines have left the
// cache by then, about once a row. The lines of the cells one row on, where
// the next edge most likely lies, are asked for now, a row ahead of use.
[[gnu::always_inline]] inline void fetch_next_edge(const grid_view& g, int i) {
    const int j = i + g.stride;
    if (g.stride <= 0 || j + 2 * W - 1 > g.n) return;
    for (const int* a : {g.right, g.left, g.below, g.above}) {
        __builtin_prefetch(a + j);
        __builtin_prefetch(a + j + 2 * W - 1);
    }
}
// Cells ahead of the one in hand whose lines a streaming loop asks for:
// far enough that they arrive from memory before the loop gets there, near
// enough that they are still in the core's cache when it does.
constexpr int kFetchAhead = 256;
// Asks for the line of a[i + kFetchAhead] (to read, or with Write to
// write); the caller keeps i + kFetchAhead within the array.
template <bool Write = false, class T>
[[gnu::always_inline]] inline void fetch_ahead(T* a, int i) {
    __builtin_prefetch(a + i + kFetchAhead, Write ? 1 : 0);
}
// Retention depths (which 0) or reciprocal roughness (which 1) of the
// cells whose classes are cls[0..W-1], from the grid's class table: one
// value for the whole vector where the cells share a class, as they mostly
// do.
[[gnu::always_inline]] inline vd class_values(const grid_view& g, const unsigned char* cls, int which) {
    constexpr unsigned long long kEach = 0x0101010101010101ull >> (8 * (8 - W));
    unsigned long long bytes = 0;
    std::memcpy(&bytes, cls, W);
    const double* t = g.class_table + which;
    if (bytes == (bytes & 0xFF) * kEach) return splat(t[2 * (bytes & 0xFF)]);
    return lanes_of([&](int k) __attribute__((always_inline)) { return t[2 * cls[k]]; });
}
// Whether the 2W bytes from p all equal c.
[[gnu::always_inline]] inline bool bytes_all(const unsigned char* p, unsigned char c) {
#if KESTA_LANES == 8
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)))) == 0xFFFF;
#else
    constexpr unsigned long long kEach = 0x0101010101010101ull >> (8 * (8 - 2 * W));
    unsigned long long bytes = 0;
    std::memcpy(&bytes, p, 2 * W);
    return bytes == c * kEach;
#endif
}
// The class table's pair (retention depth, reciprocal roughness) that cells
// i .. i + 2W - 1 and the cells `off` on from them all share, as the cells
// of a plane mostly do: then neither the upwind side nor the lanes need
// telling apart. Null where they differ or the grid has no classes. Every
// cell read must be a cell (i + off + 2W - 1 <= n).
[[gnu::always_inline]] inline const double* shared_class(const grid_view& g, int i, int off) {
    if (!g.surface_class) return nullptr;
    const unsigned char* cls = g.surface_class;
    const unsigned char c = cls[i];
    if (!bytes_all(cls + i, c) || !bytes_all(cls + i + off, c)) return nullptr;
    return g.class_table + 2 * c;
}
// The same values of cells i .. i + W - 1 (a the cell vector, retent_dep
// or the reciprocal roughness, when the grid has no classes).
[[gnu::always_inline]] inline vd surface_at(const grid_view& g, const double* a, int which, int i) {
    if (!g.surface_class) return load(a + i);
    return class_values(g, g.surface_class + i, which);
}
[[gnu::always_inline]] inline vd ret_at(const grid_view& g, int i) { return surface_at(g, g.ret, 0, i); }
[[gnu::always_inline]] inline vd inv_rough_at(const grid_view& g, int i) {
    return surface_at(g, g.inv_rough, 1, i);
}
// The same values of the cells c names, as gather gives them.
[[gnu::always_inline]] inline vd surface_gather(const grid_view& g, const double* a, int which, const cells& c) {
    if (!g.surface_class) return gather(a, c);
    if (c.run) return class_values(g, g.surface_class + c.nb[0], which);
    const double* t = g.class_table + which;
    return lanes_of(
        [&](int k) __attribute__((always_inline)) { return c.nb[k] ? t[2 * g.surface_class[c.nb[k]]] : 0.0; });
}
// Asks for the lines of what surface_at will read of cell i + kFetchAhead.
[[gnu::always_inline]] inline void fetch_surface_ahead(const grid_view& g, int i) {
    if (g.surface_class) {
        fetch_ahead(g.surface_class, i);
    } else {
        fetch_ahead(g.ret, i);
        fetch_ahead(g.inv_rough, i);
    }
}
[[gnu::always_inline]] inline vd root(vd v) {
#if KESTA_LANES == 8
    // The masked form: the plain one trips GCC 12's uninitialised-value warning.
    const __m512d x = reinterpret_cast<__m512d>(v);
    return reinterpret_cast<vd>(_mm512_mask_sqrt_pd(x, 0xFF, x));
#elif KESTA_LANES == 2
    return reinterpret_cast<vd>(_mm_sqrt_pd(reinterpret_cast<__m128d>(v)));
#else
    return reinterpret_cast<vd>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(v)));
#endif
}

constexpr long long kSignBit = static_cast<long long>(0x8000000000000000ull);
typedef unsigned long long vu __attribute__((vector_size(8 * W)));

// Integer constants of the face kernels in every lane, and the cell size.
// A kernel makes them once before its loop, held (see `held`) so that the
// compiler keeps them in registers instead of building each one again at
// every use, as it otherwise does inside a long loop.
struct lane_constants {
    vi sign;       // kSignBit
    vu third_mul;  // 0xAAAAAAAB (inv_cbrt_guess)
    vu magic;      // kInvCbrtMagicHigh
    vd dx, inv_dx;
};
// v, its value hidden from the compiler.
template <class V>
[[gnu::always_inline]] inline V held(V v) {
    asm("" : "+v"(v));
    return v;
}
[[gnu::always_inline]] inline lane_constants make_constants(double dx = 0.0, double inv_dx = 0.0) {
    return {vi{} + kSignBit, vu{} + 0xAAAAAAABull, vu{} + kInvCbrtMagicHigh, splat(dx), splat(inv_dx)};
}
[[gnu::always_inline]] inline lane_constants held_constants(const grid_view& g) {
    const lane_constants c = make_constants(g.dx, g.inv_dx);
    return {held(c.sign), held(c.third_mul), held(c.magic), held(c.dx), held(c.inv_dx)};
}

[[gnu::always_inline]] inline vd magnitude(vd v, vi sign) {
    return reinterpret_cast<vd>(reinterpret_cast<vi>(v) & ~sign);
}
[[gnu::always_inline]] inline vd magnitude(vd v) { return magnitude(v, vi{} + kSignBit); }

// copysign(sqrt(|s|), s) of every lane.
[[gnu::always_inline]] inline vd signed_root(vd s, vi sign) {
    return reinterpret_cast<vd>(reinterpret_cast<vi>(root(magnitude(s, sign))) | (reinterpret_cast<vi>(s) & sign));
}
[[gnu::always_inline]] inline vd signed_root(vd s) { return signed_root(s, vi{} + kSignBit); }

// overland_detail::inv_cbrt_guess of every lane of d > 0: floor(w / 3) of
// the high word w of the bits as (w 0xAAAAAAAB) >> 33, exact for any w
// below 2^32, by the multiply of the low 32 bits of each lane.
[[gnu::always_inline]] inline vd inv_cbrt_guess(vd d, const lane_constants& c) {
    const vu w = reinterpret_cast<vu>(d) >> 32;
    const vu third = c.third_mul;
#if KESTA_LANES == 8
    // The masked form: the plain one trips GCC 12's uninitialised-value warning.
    const __m512i wt = _mm512_maskz_mul_epu32(0xFF, reinterpret_cast<__m512i>(w), reinterpret_cast<__m512i>(third));
#elif KESTA_LANES == 2
    const __m128i wt = _mm_mul_epu32(reinterpret_cast<__m128i>(w), reinterpret_cast<__m128i>(third));
#else
    const __m256i wt = _mm256_mul_epu32(reinterpret_cast<__m256i>(w), reinterpret_cast<__m256i>(third));
#endif
    return reinterpret_cast<vd>((c.magic - (reinterpret_cast<vu>(wt) >> 33)) << 32);
}
[[gnu::always_inline]] inline vd inv_cbrt_guess(vd d) { return inv_cbrt_guess(d, make_constants()); }

// overland_detail::pow53 of every lane, each in (1e-100, 1e100): the same
// operations in the same order.
[[gnu::always_inline]] inline vd pow53(vd d, const lane_constants& c) {
    vd r = inv_cbrt_guess(d, c);
    const vd third = d * (1.0 / 3.0);
#pragma GCC unroll 4
    for (int k = 0; k < kPow53NewtonSteps; ++k) r *= 4.0 / 3.0 - (third * r) * (r * r);
    return d * d * r;
}

// pow53 of the lanes of d that `need` selects: the lane form where d lies in
// its range, the scalar one elsewhere.
[[gnu::noinline]] inline vd pow53_lanes_out_of_range(vd p, vd d, int out) {
    for (int k = 0; k < W; ++k) {
        if (out & (1 << k)) p[k] = overland_detail::pow53(d[k]);
    }
    return p;
}
// pow53 of the lanes of d in its lane range; the lanes that `need` selects
// outside it are OR-ed into out, for the caller to make another way.
[[gnu::always_inline]] inline vd pow53_in_range(vd d, vi need, int& out, const lane_constants& c) {
    const vi in_range = (d > 1e-100) & (d < 1e100);
    out |= lane_bits(need & ~in_range);
    return pow53(in_range ? d : splat(1.0), c);
}
[[gnu::always_inline]] inline vd pow53_where(vd d, vi need, const lane_constants& c) {
    int out = 0;
    const vd p = pow53_in_range(d, need, out, c);
    return out ? pow53_lanes_out_of_range(p, d, out) : p;
}
[[gnu::always_inline]] inline vd pow53_where(vd d, vi need) { return pow53_where(d, need, make_constants()); }

// The parts of explicit_plain_flux of faces i .. i + W - 1 before the depth
// power: the slope, the depth above retention and the lanes that carry
// water (none: nothing flows); hi and ret are the cells' depths and
// retention depths.
struct face_parts {
    vd sf, d;
    vi need;
};
// With Interior, every cell's neighbour across the face is `off` cells on.
template <bool Interior>
[[gnu::always_inline]] inline face_parts explicit_face_parts(const grid_view& g, const int* nb, int off,
                                                             const double* so, int i, vd hi, vd ret) {
    vi active = ~(ret > hi);
    if constexpr (!Interior) active &= has_neighbour(nb + i);
    if (!lane_bits(active)) return {vd{}, vd{}, vi{}};
    vd hr;
    if constexpr (Interior) hr = load(g.h + i + off);
    else hr = gather(g.h, cells_at(nb + i));
    vd sf = load(so + i) - (hr - hi) * g.inv_dx + kExplicitSlopeOffset;
    sf = magnitude(sf) < kExplicitMinSlope ? splat(kExplicitMinSlope) : sf;
    const vd d = (sf < 0.0 ? hr : hi) - ret;
    return {sf, d, active & (d > 0.0)};
}
// The flux of faces whose parts are f, with the cells' reciprocal roughness
// and the depth power of f.d.
[[gnu::always_inline]] inline vd explicit_face_flux(const face_parts& f, vd inv_n, vd power) {
    const vd flux = signed_root(f.sf) * inv_n * power;
    return reinterpret_cast<vd>(f.need & reinterpret_cast<vi>(flux));
}

// Both faces of cells i .. i + W - 1 into qx, qy. Where every lane the y
// face needs takes the same depth as the x face (water leaving the cell
// through both, the common case on a slope), the one power serves both:
// the same function of the same number. x holds the x faces' parts, made
// from the cells' depths h and retention depths ret.
template <bool Interior>
[[gnu::always_inline]] inline void explicit_cell_faces(const grid_view& g, int i, vd h, vd ret, const face_parts& x) {
    const face_parts y = explicit_face_parts<Interior>(g, g.below, g.stride, g.soy, i, h, ret);
    const int need_x = lane_bits(x.need), need_y = lane_bits(y.need);
    if (!(need_x | need_y)) {
        store(g.qx + i, vd{});
        store(g.qy + i, vd{});
        return;
    }
    const vd inv_n = inv_rough_at(g, i);
    const vd px = need_x ? pow53_where(x.d, x.need) : vd{};
    store(g.qx + i, need_x ? explicit_face_flux(x, inv_n, px) : vd{});
    if (!need_y) {
        store(g.qy + i, vd{});
        return;
    }
    const bool shared = !lane_bits(y.need & ~(x.need & (y.d == x.d)));
    const vd py = shared ? px : pow53_where(y.d, y.need);
    store(g.qy + i, explicit_face_flux(y, inv_n, py));
}
template <bool Interior>
[[gnu::always_inline]] inline void explicit_cell_faces(const grid_view& g, int i) {
    const vd h = load(g.h + i), ret = ret_at(g, i);
    explicit_cell_faces<Interior>(g, i, h, ret, explicit_face_parts<Interior>(g, g.right, 1, g.sox, i, h, ret));
}

// ade_plain_flux of faces i .. i + W - 1. With Interior every cell's
// neighbour across the face is `off` cells on. With `out`, the lanes whose
// depth power lies outside the lane range are OR-ed into it and their faces
// left wrong, for the caller to make by the scalar code.
// With `shared` (see shared_class), every cell's retention depth and
// reciprocal roughness are shared[0] and shared[1].
// The constants c are those of held_constants(g).
template <bool Interior = false>
[[gnu::always_inline]] inline vd ade_faces(const grid_view& g, const lane_constants& c, const double* h,
                                           const int* nb, int i, int off = 0, int* out = nullptr,
                                           const double* shared = nullptr) {
    const int across = i + off;
    const cells r = Interior ? cells{&across, true} : cells_at(nb + i);
    const vd hi = load(h + i);
    const vd hr = gather(h, r);
    const vd s = (load(g.elev + i) + hi - (gather(g.elev, r) + hr)) * c.inv_dx;
    const vi from_i = s > 0.0;
    const vd depth = from_i ? hi : hr;
    const vd ret = shared ? splat(shared[0]) : from_i ? ret_at(g, i) : surface_gather(g, g.ret, 0, r);
    vi need = ~((s == 0.0) | (ret >= depth));
    if constexpr (!Interior) need &= has_neighbour(nb + i);
    if (!lane_bits(need)) return vd{};
    const vd inv_n = shared ? splat(shared[1])
                     : from_i ? inv_rough_at(g, i)
                              : surface_gather(g, g.inv_rough, 1, r);
    const vd power = out ? pow53_in_range(depth - ret, need, *out, c) : pow53_where(depth - ret, need, c);
    const vd flux = signed_root(s, c.sign) * power * inv_n * c.dx;
    return reinterpret_cast<vd>(need & reinterpret_cast<vi>(flux));
}

// pow53_where of two vectors at once: the two Newton chains, each a wait on
// the one before, interleave.
[[gnu::always_inline]] inline void pow53_where2(vd da, vi need_a, vd db, vi need_b, vd& pa, vd& pb) {
    const vi in_a = (da > 1e-100) & (da < 1e100), in_b = (db > 1e-100) & (db < 1e100);
    const vd a = in_a ? da : splat(1.0), b = in_b ? db : splat(1.0);
    vd ra = inv_cbrt_guess(a), rb = inv_cbrt_guess(b);
    const vd third_a = a * (1.0 / 3.0), third_b = b * (1.0 / 3.0);
#pragma GCC unroll 4
    for (int k = 0; k < kPow53NewtonSteps; ++k) {
        ra *= 4.0 / 3.0 - (third_a * ra) * (ra * ra);
        rb *= 4.0 / 3.0 - (third_b * rb) * (rb * rb);
    }
    pa = a * a * ra;
    pb = b * b * rb;
    const int out_a = lane_bits(need_a & ~in_a), out_b = lane_bits(need_b & ~in_b);
    if (out_a) pa = pow53_lanes_out_of_range(pa, da, out_a);
    if (out_b) pb = pow53_lanes_out_of_range(pb, db, out_b);
}

// explicit_cell_faces of cells i .. i + 2W - 1, the depth powers of the two
// vectors made side by side. Where either vector has no x face that carries
// water, each goes its own way, which spares the powers of dry cells.
template <bool Interior>
[[gnu::always_inline]] inline void explicit_pair_faces(const grid_view& g, int i) {
    const int j = i + W;
    const vd ha = load(g.h + i), ra = ret_at(g, i), hb = load(g.h + j), rb = ret_at(g, j);
    const face_parts xa = explicit_face_parts<Interior>(g, g.right, 1, g.sox, i, ha, ra);
    const face_parts xb = explicit_face_parts<Interior>(g, g.right, 1, g.sox, j, hb, rb);
    if (!lane_bits(xa.need) || !lane_bits(xb.need)) {
        explicit_cell_faces<Interior>(g, i, ha, ra, xa);
        explicit_cell_faces<Interior>(g, j, hb, rb, xb);
        return;
    }
    const face_parts ya = explicit_face_parts<Interior>(g, g.below, g.stride, g.soy, i, ha, ra);
    const face_parts yb = explicit_face_parts<Interior>(g, g.below, g.stride, g.soy, j, hb, rb);
    const vd na = inv_rough_at(g, i), nb = inv_rough_at(g, j);
    vd pxa, pxb;
    pow53_where2(xa.d, xa.need, xb.d, xb.need, pxa, pxb);
    store(g.qx + i, explicit_face_flux(xa, na, pxa));
    store(g.qx + j, explicit_face_flux(xb, nb, pxb));
    // A lane's power is the same function of the same depth whichever
    // vector's chain makes it.
    const bool shared_a = !lane_bits(ya.need & ~(xa.need & (ya.d == xa.d)));
    const bool shared_b = !lane_bits(yb.need & ~(xb.need & (yb.d == xb.d)));
    vd pya = pxa, pyb = pxb;
    if (!shared_a && !shared_b) pow53_where2(ya.d, ya.need, yb.d, yb.need, pya, pyb);
    else if (!shared_a) pya = pow53_where(ya.d, ya.need);
    else if (!shared_b) pyb = pow53_where(yb.d, yb.need);
    store(g.qy + i, explicit_face_flux(ya, na, pya));
    store(g.qy + j, explicit_face_flux(yb, nb, pyb));
}

// Both directions' explicit_plain_flux for cells lo..hi; returns the first
// cell left for the scalar code.
inline int explicit_block(const grid_view& view, int lo, int hi) {
    const grid_view g = view;  // a copy the loop's stores cannot reach
    int i = lo;
    for (; i + 2 * W - 1 <= hi; i += 2 * W) {
        if (i + kFetchAhead + g.stride + 2 * W - 1 <= g.n) {
            for (const int k : {0, W}) {
                fetch_ahead(g.h, i + g.stride + k);
                fetch_surface_ahead(g, i + k);
                fetch_ahead(g.sox, i + k);
                fetch_ahead(g.soy, i + k);
                fetch_ahead<true>(g.qx, i + k);
                fetch_ahead<true>(g.qy, i + k);
            }
        }
        if (all_interior(g, i) && all_interior(g, i + W)) {
            explicit_pair_faces<true>(g, i);
        } else {
            fetch_next_edge(g, i);
            explicit_pair_faces<false>(g, i);
        }
    }
    for (; i + W - 1 <= hi; i += W) {
        if (all_interior(g, i)) explicit_cell_faces<true>(g, i);
        else explicit_cell_faces<false>(g, i);
    }
    return i;
}

// Whether a face moving c of depth, leaving `after` in its donor, fails the
// explicit scheme's tests.
[[gnu::always_inline]] inline vi failing(vd c, vd after) {
    const vd celerity = magnitude(c);
    return ~((celerity < kExplicitCelerityLimit) & (celerity <= kExplicitHeightLimit) &
             (after >= kExplicitDepthFloor));
}

// Whether the plain explicit sweep computes the faces of cells idx[0..W-1],
// whose neighbours across them are nb[0..W-1].
[[gnu::always_inline]] inline vi computed(const grid_view& g, const cells& idx, const int* nb) {
    return has_neighbour(nb) & ~(surface_gather(g, g.ret, 0, idx) > gather(g.h, idx));
}
[[gnu::always_inline]] inline vi computed(const grid_view& g, const int* idx, const int* nb) {
    return computed(g, cells{idx, false}, nb);
}

// The first direction's depth change of cells r[0..W-1] (see
// explicit_first_change).
[[gnu::always_inline]] inline vd first_change_at(const grid_view& g, const change_lines& l, const int* r, double k) {
    int u[W], nbr[W];
    for (int m = 0; m < W; ++m) {
        u[m] = l.up1[r[m]];
        nbr[m] = l.nb1[r[m]];
    }
    const vd in = computed(g, u, u) ? gather(l.q1, u) * k : vd{};  // u's face leads to r
    const vd out = computed(g, r, nbr) ? gather(l.q1, r) * k : vd{};
    return 0.0 + in - out;
}

// explicit_cell_change for cells lo..hi, OR-ing the verdicts into v; returns
// the first cell left for the scalar code. The terms of faces not computed
// are +0 here, which leaves every sum as the scalar code leaves it (no sum
// is -0 before such a term is added). The grid is regular: the face of cell
// up1[j] leads to j, so a number that is not 0 has its neighbour there.
// explicit_cell_change of cells i .. i + W - 1. With Interior the
// neighbours of every cell lie l.off1 and l.off2 cells on and back.
template <bool Interior>
[[gnu::always_inline]] inline void change_group(const grid_view& g, const change_lines& l, double k, int i,
                                                vi& fail1, vi& fail2, vi& over) {
    // The neighbours across the faces: whether there are any, their depths.
    auto exists = [i](const int* nb) __attribute__((always_inline)) {
        if constexpr (Interior) return ~vi{};
        else return has_neighbour(nb + i);
    };
    auto depth_across = [&g, i](const int* nb, int off) __attribute__((always_inline)) {
        if constexpr (Interior) return load(g.h + i + off);
        else return gather(g.h, cells_at(nb + i));
    };
    // The change the face into each cell brings, from the cell `off` back.
    // Inside the grid that face is there, and when it is not computed it
    // carries +0 (as explicit_plain_fluxes leaves it), whose change, +0,
    // is the term the sum then takes.
    auto inflow = [&g, k, i](const int* up, const double* q, int off) __attribute__((always_inline)) {
        if constexpr (Interior) {
            return load(q + i - off) * k;
        } else {
            const cells u = cells_at(up + i);
            return computed(g, u, up + i) ? gather(q, u) * k : vd{};
        }
    };
    const vd hj = load(g.h + i);
    const vi holds = ret_at(g, i) > hj;
    // First direction: the face into the cell, then its own.
    const vi act1 = exists(l.nb1) & ~holds;
    const vd c1 = load(l.q1 + i) * k;
    vd a = 0.0 + inflow(l.up1, l.q1, l.off1);
    a = a - (act1 ? c1 : vd{});
    const vd after1 = c1 >= 0.0 ? hj + a : depth_across(l.nb1, l.off1) + (0.0 + c1);
    over |= act1 & (after1 < 0.0);
    fail1 |= act1 & failing(c1, after1);
    // Second direction, on top of the first.
    const vi act2 = exists(l.nb2) & ~holds;
    const vd c2 = load(l.q2 + i) * k;
    vd b = a + inflow(l.up2, l.q2, l.off2);
    b = b - (act2 ? c2 : vd{});
    const vi ahead = c2 >= 0.0;
    vd after2 = hj + b;
    if (lane_bits(act2 & ~ahead)) {
        const vd back_after = depth_across(l.nb2, l.off2) + (first_change_at(g, l, l.nb2 + i, k) + c2);
        after2 = ahead ? after2 : back_after;
    }
    over |= act2 & (after2 < 0.0);
    fail2 |= act2 & failing(c2, after2);
    store(g.dh + i, l.with_depth ? hj + b : b);
}

inline int changes_block(const grid_view& view, const change_lines& lines, double k, int lo, int hi,
                         regular_verdict& v) {
    const grid_view g = view;  // copies the loop's stores cannot reach
    const change_lines l = lines;
    vi fail1{}, fail2{}, over{};
    int i = lo;
    for (; i + W - 1 <= hi; i += W) {
        // The faces these changes read are in the cache (made just before);
        // the depths they write are not.
        if (i + kFetchAhead + W - 1 <= g.n) fetch_ahead<true>(g.dh, i);
        if (all_interior(g, i)) {
            change_group<true>(g, l, k, i, fail1, fail2, over);
        } else {
            fetch_next_edge(g, i);
            change_group<false>(g, l, k, i, fail1, fail2, over);
        }
    }
    v.fail1 = v.fail1 || lane_bits(fail1);
    v.fail2 = v.fail2 || lane_bits(fail2);
    v.overdrawn = v.overdrawn || lane_bits(over);
    return i;
}

// The counts of wet_flow_count, lane by lane (a set mask is -1, so each
// is subtracted).
struct lane_counts {
    vi bad{}, wet{}, flowing{};
};
// count_depth and count_flow of every lane.
[[gnu::always_inline]] inline void count_depths(vd d, double wet_depth, lane_counts& c) {
    c.bad -= ~(magnitude(d) <= 1.7976931348623157e308);
    c.wet -= d > wet_depth;
}
[[gnu::always_inline]] inline void count_flows(vd x, vd y, double flowing_q, lane_counts& c) {
    c.flowing -= (magnitude(x) > flowing_q) | (magnitude(y) > flowing_q);
}
// The lanes whose bit is set in `bits` (bit k: lane k).
[[gnu::always_inline]] inline vi lanes_of_bits(int bits) {
#if KESTA_LANES == 8
    const vi lane_bit{1, 2, 4, 8, 16, 32, 64, 128};
#elif KESTA_LANES == 2
    const vi lane_bit{1, 2};
#else
    const vi lane_bit{1, 2, 4, 8};
#endif
    return ((vi{} + bits) & lane_bit) != 0;
}
// The lanes (bit k: lane k) of cells i..i+W-1 whose marks in `other` are
// set.
[[gnu::always_inline]] inline int marked_lanes(const unsigned char* other, int i) {
    long long word = 0;
    std::memcpy(&word, other + i, W);
    const int zero = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_cvtsi64_si128(word), _mm_setzero_si128()));
    return ~zero & ((1 << W) - 1);
}
// count_marked_flow of every lane: the marks of cells i..i+W-1 in `other`.
[[gnu::always_inline]] inline void count_marked_flows(const unsigned char* other, int i, vd q, lane_counts& c) {
    c.flowing -= lanes_of_bits(marked_lanes(other, i)) | (magnitude(q) > kFlowing);
}
// The number of set bits of b < 256.
inline constexpr unsigned char kOnesOf4Bits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
[[gnu::always_inline]] inline int ones(int b) { return kOnesOf4Bits[b & 15] + kOnesOf4Bits[b >> 4]; }
// count_marked_flows as a number, counted by the scalar units: the lanes'
// bits OR-ed there rather than as vectors.
[[gnu::always_inline]] inline int marked_flows(const unsigned char* other, int i, vd q) {
    return ones(marked_lanes(other, i) | lane_bits(magnitude(q) > kFlowing));
}
// flow_mark of the faces q of cells i..i+W-1 into flows.
[[gnu::always_inline]] inline void store_flow_marks(unsigned char* flows, int i, vd q) {
    const int bits = lane_bits(magnitude(q) > kFlowing);
    const std::uint64_t bytes = kBitBytes[bits & 15] | static_cast<std::uint64_t>(kBitBytes[bits >> 4]) << 32;
    std::memcpy(flows + i, &bytes, W);
}
// Adds the lanes' counts to c.
inline void add_counts(const lane_counts& l, wet_flow_count& c) {
    for (int k = 0; k < W; ++k) {
        c.bad += static_cast<int>(l.bad[k]);
        c.wet += static_cast<int>(l.wet[k]);
        c.flowing += static_cast<int>(l.flowing[k]);
    }
}

// wet_flow_counts for cells lo..hi; returns the first cell left for the
// scalar code. With Scale, each discharge is first multiplied by `scale`
// and stored, and counted as it then is.
template <bool WithQ, bool Scale = false, class Q = const double*>
[[gnu::always_inline]] inline int counts_lanes(const double* h, Q qx, Q qy, double wet_depth, double flowing_q,
                                               int lo, int hi, wet_flow_count& c, double scale = 1.0) {
    lane_counts l;
    int i = lo;
    for (; i + W - 1 <= hi; i += W) {
        count_depths(load(h + i), wet_depth, l);
        if (WithQ) {
            vd x = load(qx + i), y = load(qy + i);
            if constexpr (Scale) {
                x *= scale;
                y *= scale;
                store(qx + i, x);
                store(qy + i, y);
            }
            count_flows(x, y, flowing_q, l);
        }
    }
    add_counts(l, c);
    return i;
}
inline int counts_block(const double* h, const double* qx, const double* qy, double wet_depth, double flowing_q,
                        int lo, int hi, wet_flow_count& c) {
    return qx ? counts_lanes<true>(h, qx, qy, wet_depth, flowing_q, lo, hi, c)
              : counts_lanes<false>(h, qx, qy, wet_depth, flowing_q, lo, hi, c);
}
inline int scale_counts_block(const double* h, double* qx, double* qy, double scale, double wet_depth,
                              double flowing_q, int lo, int hi, wet_flow_count& c) {
    return counts_lanes<true, true>(h, qx, qy, wet_depth, flowing_q, lo, hi, c, scale);
}

// ade_plain_flux into q for cells lo..hi; returns the first cell left for
// the scalar code.
inline int ade_block(const grid_view& g, const double* h, const int* nb, double* q, int lo, int hi) {
    const lane_constants c = held_constants(g);
    int i = lo;
    for (; i + 2 * W - 1 <= hi; i += 2 * W) {
        const vd a = ade_faces(g, c, h, nb, i);
        const vd b = ade_faces(g, c, h, nb, i + W);
        store(q + i, a);
        store(q + i + W, b);
    }
    for (; i + W - 1 <= hi; i += W) store(q + i, ade_faces(g, c, h, nb, i));
    return i;
}

// {prev[W-1], cur[0], ..., cur[W-2]}: the faces ending at cells i..i+W-1
// when each one's upstream cell is the cell before it and cur holds the
// faces of those cells, prev those of the W cells before.
[[gnu::always_inline]] inline vd shift_in(vd prev, vd cur) {
#if KESTA_LANES == 8
    return __builtin_shuffle(prev, cur, vi{7, 8, 9, 10, 11, 12, 13, 14});
#elif KESTA_LANES == 2
    return __builtin_shuffle(prev, cur, vi{1, 2});
#else
    return __builtin_shuffle(prev, cur, vi{3, 4, 5, 6});
#endif
}

// q[up[k]] of cells i..i+W-1 (0 where up[k] is 0), whose own faces are cur;
// prev holds the faces of the W cells before i when has_prev. With
// Interior every up[k] is `off` cells back.
template <bool Interior = false>
[[gnu::always_inline]] inline vd inflow(const int* up, const double* q, int i, bool has_prev, vd prev, vd cur,
                                        int off = 0) {
    if constexpr (Interior) {
        if (off == 1 && has_prev) return shift_in(prev, cur);
        return load(q + i - off);
    }
    const cells u = cells_at(up + i);
    const int u0 = up[i];
    if (u.run && u0 != 0) {
        // Rows: taken from the registers, not from the stores just made.
        if (u0 == i - 1 && has_prev) return shift_in(prev, cur);
        return load(q + u0);
    }
    return has_neighbour(up + i) ? gather(q, u) : vd{};
}

// What the lanes of a fused ADE sweep found so far (see ade_verdict): the
// masks of lanes below 0 m (over), at kAdeNegativeDepthLimit or below
// (deep) and of lanes at 0 m or above that change by more than the share
// of their depth the change test allows (big), and with
// ade_pass::other_flows the lanes' counts (the flowing cells in `flowing`).
// Whether the sub-step is under 0.001 s or tested is the same for every
// cell: the pass rejects it when some lane is deep, or over and the
// sub-step tiny, or big and the sub-step tested.
struct ade_lanes_found {
    vi over{}, deep{}, big{};
    lane_counts counts;
    int flowing = 0;
};

// The depth change, tests and volumes of cells i..i+W-1 (ade_fused_cell
// after the face), whose faces are qi and inflows in; with Finish, their
// counts; with Mark, the marks of their faces; with Check, the depths
// before that are not finite numbers, into counts.bad.
template <bool FirstVolume, bool Finish, bool Mark, bool Check>
[[gnu::always_inline]] inline void ade_cells_update(const grid_view& g, const ade_pass& p, int i, vd qi, vd in,
                                                    ade_lanes_found& f) {
    const vd before = load(g.h + i);
    const vd dh = (in - qi) * p.k;
    const vd after = before + dh;
    store(p.to + i, after);
    const vi below = after < 0.0;
    f.over |= below;
    f.deep |= after <= kAdeNegativeDepthLimit;
    f.big |= ~below & (magnitude(dh) > kAdeChangeShare * before) & (before > kAdeTestedDepth);
    if (p.vol) store(p.vol + i, FirstVolume ? 0.0 + qi * p.dt : load(p.vol_from + i) + qi * p.dt);
    if constexpr (Mark) store_flow_marks(p.flows, i, qi);
    if constexpr (Finish) {
        count_depths(after, kWetDepth, f.counts);
        f.flowing += marked_flows(p.other_flows, i, qi);
    }
    if constexpr (Check) f.counts.bad -= ~(magnitude(before) <= 1.7976931348623157e308);
}

// Pairs of vectors whose faces an "ade" pass makes before their changes.
constexpr int kTilePairs = 8;

// The faces of cells i..i+2W-1 into p.q; false, with nothing stored, when a
// face's depth power lies outside the lane range.
template <bool Interior>
[[gnu::always_inline]] inline bool ade_pair_faces(const grid_view& g, const lane_constants& c, const ade_pass& p,
                                                  int i) {
    int out = 0;
    const double* shared = Interior ? shared_class(g, i, p.off) : nullptr;
    const vd a = ade_faces<Interior>(g, c, g.h, p.nb, i, p.off, &out, shared);
    const vd b = ade_faces<Interior>(g, c, g.h, p.nb, i + W, p.off, &out, shared);
    if (out) return false;
    store(p.q + i, a);
    store(p.q + i + W, b);
    return true;
}

// The changes of cells i..i+2W-1, their faces made; prev holds the faces of
// the W cells before i when has_prev, and then those of the last W.
template <bool Interior, bool FirstVolume, bool Finish, bool Mark, bool Check>
[[gnu::always_inline]] inline void ade_pair_update(const grid_view& g, const ade_pass& p, int i, bool has_prev,
                                                   vd& prev, ade_lanes_found& f) {
    const vd a = load(p.q + i), b = load(p.q + i + W);
    ade_cells_update<FirstVolume, Finish, Mark, Check>(g, p, i, a,
                                                       inflow<Interior>(p.up, p.q, i, has_prev, prev, a, p.off), f);
    ade_cells_update<FirstVolume, Finish, Mark, Check>(g, p, i + W, b,
                                                       inflow<Interior>(p.up, p.q, i + W, true, a, b, p.off), f);
    prev = b;
}
// ade_fused_cell of cells lo..hi, W at a time, the faces of a tile of
// kTilePairs pairs of vectors made before the depths of any of their cells
// change (a face reads the depth of its right neighbour, which may be in
// the same vector, and of the cell a row on). Returns the first cell
// left for the scalar code; with fewer than W cells left, the pass is done,
// otherwise the scalar code makes cells up to `scalar_to` (a face there
// needs the scalar depth power) and calls again. The loop makes no call,
// so its constants stay in registers.
template <bool MakeQ, bool FirstVolume, bool Finish = false, bool Mark = false, bool Check = false>
inline int ade_fused_lanes(const grid_view& view, const ade_pass& pass, int lo, int hi, ade_verdict& v,
                           int& scalar_to) {
    const grid_view g = view;  // copies the loop's stores cannot reach
    const ade_pass p = pass;
    const lane_constants c = held_constants(g);
    ade_lanes_found f;
    vd prev{};
    int i = lo;
    bool stopped = false;
    // A face reads the cells `off` on (a row on for the y faces) before the
    // cells themselves: depth, ground, retention and roughness alike, as it
    // does not know yet which side is upwind.
    const int across = p.off > 0 ? p.off : 1;
    while (i + 2 * W - 1 <= hi) {
        // The faces of a tile of pairs first, then the cells' changes: the
        // long wait of each face on its depth power then holds back few
        // other operations, and the faces of many cells are on their way at
        // once. A face reads only depths the tile's changes have not yet
        // moved, as in a pair.
        int end = i;
        for (int t = 0; t < kTilePairs && end + 2 * W - 1 <= hi; ++t, end += 2 * W) {
            if (end + kFetchAhead + across + 2 * W - 1 <= g.n) {
                for (const int k : {0, W}) {
                    if (MakeQ) {
                        fetch_ahead(g.h, end + across + k);
                        fetch_ahead(g.elev, end + across + k);
                        fetch_surface_ahead(g, end + across + k);
                        fetch_ahead<true>(p.q, end + k);
                    }
                    fetch_ahead<true>(p.to, end + k);
                    if (p.vol) fetch_ahead<true>(p.vol, end + k);
                    if (p.vol && !FirstVolume) fetch_ahead(p.vol_from, end + k);
                    if (Finish && (end + k) % 64 < 2 * W) fetch_ahead(p.other_flows, end + k);
                    if (Mark && (end + k) % 64 < 2 * W) fetch_ahead<true>(p.flows, end + k);
                }
            }
            if (!MakeQ) continue;
            bool made;
            if (p.off > 0 && pair_interior(g, end)) {
                made = ade_pair_faces<true>(g, c, p, end);
            } else {
                fetch_next_edge(g, end);
                made = ade_pair_faces<false>(g, c, p, end);
            }
            if (!made) {
                scalar_to = end + 2 * W - 1;
                stopped = true;
                break;
            }
        }
        for (; i < end; i += 2 * W) {
            if (p.off > 0 && pair_interior(g, i)) {
                ade_pair_update<true, FirstVolume, Finish, Mark, Check>(g, p, i, i > lo, prev, f);
            } else {
                ade_pair_update<false, FirstVolume, Finish, Mark, Check>(g, p, i, i > lo, prev, f);
            }
        }
        if (stopped) break;
    }
    for (; !stopped && i + W - 1 <= hi; i += W) {
        vd a;
        if (MakeQ) {
            int out = 0;
            a = ade_faces(g, c, g.h, p.nb, i, 0, &out);
            if (out) {
                scalar_to = i + W - 1;
                break;
            }
            store(p.q + i, a);
        } else {
            a = load(p.q + i);
        }
        ade_cells_update<FirstVolume, Finish, Mark, Check>(g, p, i, a, inflow(p.up, p.q, i, i > lo, prev, a), f);
        prev = a;
    }
    const int over = lane_bits(f.over);
    v.rejected = v.rejected || lane_bits(f.deep) || (p.tiny && over) || (p.tested && lane_bits(f.big));
    v.overdrawn = v.overdrawn || over;
    if constexpr (Finish || Check) add_counts(f.counts, v.counts);
    v.counts.flowing += f.flowing;
    return i;
}

// ade_fused_cells for cells lo..hi; returns the first cell left for the
// scalar code. The sweeps of a step's only sub-step, the first leaving
// flows and the second counting (other_flows), keep no volumes.
inline int ade_fused_block(const grid_view& g, const ade_pass& p, bool make_q, int lo, int hi, ade_verdict& v,
                           int& scalar_to) {
    if (p.other_flows) {
        return make_q ? ade_fused_lanes<true, true, true>(g, p, lo, hi, v, scalar_to)
                      : ade_fused_lanes<false, true, true>(g, p, lo, hi, v, scalar_to);
    }
    if (p.check_before) {  // the first sweep of a step: its volumes start from 0
        const int checks = (make_q ? 2 : 0) + (p.flows ? 1 : 0);
        switch (checks) {
            case 0: return ade_fused_lanes<false, true, false, false, true>(g, p, lo, hi, v, scalar_to);
            case 1: return ade_fused_lanes<false, true, false, true, true>(g, p, lo, hi, v, scalar_to);
            case 2: return ade_fused_lanes<true, true, false, false, true>(g, p, lo, hi, v, scalar_to);
            default: return ade_fused_lanes<true, true, false, true, true>(g, p, lo, hi, v, scalar_to);
        }
    }
    if (p.flows) {
        return make_q ? ade_fused_lanes<true, true, false, true>(g, p, lo, hi, v, scalar_to)
                      : ade_fused_lanes<false, true, false, true>(g, p, lo, hi, v, scalar_to);
    }
    const int kinds = (make_q ? 2 : 0) + (p.first_volume ? 1 : 0);
    switch (kinds) {
        case 0: return ade_fused_lanes<false, false>(g, p, lo, hi, v, scalar_to);
        case 1: return ade_fused_lanes<false, true>(g, p, lo, hi, v, scalar_to);
        case 2: return ade_fused_lanes<true, false>(g, p, lo, hi, v, scalar_to);
        default: return ade_fused_lanes<true, true>(g, p, lo, hi, v, scalar_to);
    }
}

// The faces of a pc_pass for cells i..i+W-1.
template <bool Average, bool Interior = false>
[[gnu::always_inline]] inline vd pc_faces(const grid_view& g, const lane_constants& c, const pc_pass& p, int i,
                                          const double* shared = nullptr) {
    const vd face = ade_faces<Interior>(g, c, p.h_faces, p.nb, i, p.off, nullptr, shared);
    return Average ? (face + load(p.q_pred + i)) * 0.5 : face;
}

// The depths of a pc_pass for cells i..i+W-1, whose faces are qi and
// inflows in; the lanes that end below 0 m OR-ed into below. With Finish,
// their counts; with Mark, the marks of their faces; with Check, the depths
// before that are not finite numbers, into counts.bad.
template <bool Finish, bool Mark, bool Check>
[[gnu::always_inline]] inline void pc_cells_update(const pc_pass& p, int i, vd qi, vd in, vi& below,
                                                   lane_counts& counts) {
    const vd before = load(p.from + i);
    const vd to = before + (in - qi) * p.k;
    store(p.to + i, to);
    below |= to < 0.0;
    if constexpr (Mark) store_flow_marks(p.flows, i, qi);
    if constexpr (Finish) {
        count_depths(to, kWetDepth, counts);
        count_marked_flows(p.other_flows, i, qi, counts);
    }
    if constexpr (Check) counts.bad -= ~(magnitude(before) <= 1.7976931348623157e308);
}

// Cells i..i+2W-1 of pc_fused_lanes; prev holds the faces of the W cells
// before i when has_prev. Returns the faces of the last W.
template <bool Interior, bool MakeQ, bool Average, bool Finish, bool Mark, bool Check>
[[gnu::always_inline]] inline vd pc_fused_pair(const grid_view& g, const lane_constants& c, const pc_pass& p, int i,
                                               bool has_prev, vd prev, vi& below, lane_counts& counts) {
    vd a, b;
    if (MakeQ) {
        const double* shared = Interior ? shared_class(g, i, p.off) : nullptr;
        a = pc_faces<Average, Interior>(g, c, p, i, shared);
        b = pc_faces<Average, Interior>(g, c, p, i + W, shared);
        store(p.q + i, a);
        store(p.q + i + W, b);
    } else {
        a = load(p.q + i);
        b = load(p.q + i + W);
    }
    pc_cells_update<Finish, Mark, Check>(p, i, a, inflow<Interior>(p.up, p.q, i, has_prev, prev, a, p.off), below,
                                  counts);
    pc_cells_update<Finish, Mark, Check>(p, i + W, b, inflow<Interior>(p.up, p.q, i + W, true, a, b, p.off), below,
                                  counts);
    return b;
}

// pc_fused_cell of cells lo..hi, W at a time, the faces of 2 W cells made
// before any of their depths; returns the first cell left for the scalar
// code.
template <bool MakeQ, bool Average, bool Finish = false, bool Mark = false, bool Check = false>
inline int pc_fused_lanes(const grid_view& view, const pc_pass& pass, int lo, int hi, pc_verdict& v) {
    const grid_view g = view;  // copies the loop's stores cannot reach
    const pc_pass p = pass;
    const lane_constants c = held_constants(g);
    vi below{};
    lane_counts counts;
    vd prev{};
    int i = lo;
    // The predictor (its faces from the depths it moves) streams the
    // grid's arrays, a face reading the cells `off` on first (see
    // ade_fused_lanes), into a window that stays in the cache; the
    // corrector reads them again from the cache and streams its depths and
    // faces out to whole arrays.
    const bool predictor = p.h_faces == p.from;
    const int across = p.off > 0 ? p.off : 1;
    for (; i + 2 * W - 1 <= hi; i += 2 * W) {
        if (i + kFetchAhead + across + 2 * W - 1 <= g.n) {
            for (const int k : {0, W}) {
                if (predictor) {
                    if (!MakeQ) continue;
                    fetch_ahead(p.h_faces, i + across + k);
                    fetch_ahead(g.elev, i + across + k);
                    fetch_surface_ahead(g, i + across + k);
                } else {
                    fetch_ahead<true>(p.to, i + k);
                    fetch_ahead<true>(p.q, i + k);
                    if (Finish && (i + k) % 64 < 2 * W) fetch_ahead(p.other_flows, i + k);
                    if (Mark && (i + k) % 64 < 2 * W) fetch_ahead<true>(p.flows, i + k);
                }
            }
        }
        if (p.off > 0 && pair_interior(g, i)) {
            prev = pc_fused_pair<true, MakeQ, Average, Finish, Mark, Check>(g, c, p, i, i > lo, prev, below, counts);
        } else {
            fetch_next_edge(g, i);
            prev = pc_fused_pair<false, MakeQ, Average, Finish, Mark, Check>(g, c, p, i, i > lo, prev, below, counts);
        }
    }
    for (; i + W - 1 <= hi; i += W) {
        vd a;
        if (MakeQ) {
            a = pc_faces<Average>(g, c, p, i);
            store(p.q + i, a);
        } else {
            a = load(p.q + i);
        }
        pc_cells_update<Finish, Mark, Check>(p, i, a, inflow(p.up, p.q, i, i > lo, prev, a), below, counts);
        prev = a;
    }
    v.within = v.within && !lane_bits(below);
    if constexpr (Finish || Check) add_counts(counts, v.counts);
    return i;
}

// pc_fused_cells for cells lo..hi; returns the first cell left for the
// scalar code.
inline int pc_fused_block(const grid_view& g, const pc_pass& p, bool make_q, int lo, int hi, pc_verdict& v) {
    if (p.check_before) {  // a corrector, the first of a step
        const int checks = (make_q ? 2 : 0) + (p.flows ? 1 : 0);
        switch (checks) {
            case 0: return pc_fused_lanes<false, false, false, false, true>(g, p, lo, hi, v);
            case 1: return pc_fused_lanes<false, false, false, true, true>(g, p, lo, hi, v);
            case 2: return pc_fused_lanes<true, true, false, false, true>(g, p, lo, hi, v);
            default: return pc_fused_lanes<true, true, false, true, true>(g, p, lo, hi, v);
        }
    }
    if (p.flows) {  // a pass that leaves its marks counts nothing
        if (!make_q) return pc_fused_lanes<false, false, false, true>(g, p, lo, hi, v);
        return p.q_pred ? pc_fused_lanes<true, true, false, true>(g, p, lo, hi, v)
                        : pc_fused_lanes<true, false, false, true>(g, p, lo, hi, v);
    }
    const int kinds = (make_q ? 4 : 0) + (p.q_pred ? 2 : 0) + (p.other_flows ? 1 : 0);
    switch (kinds) {
        case 0:
        case 2: return pc_fused_lanes<false, false, false>(g, p, lo, hi, v);
        case 1:
        case 3: return pc_fused_lanes<false, false, true>(g, p, lo, hi, v);
        case 4: return pc_fused_lanes<true, false, false>(g, p, lo, hi, v);
        case 5: return pc_fused_lanes<true, false, true>(g, p, lo, hi, v);
        case 6: return pc_fused_lanes<true, true, false>(g, p, lo, hi, v);
        default: return pc_fused_lanes<true, true, true>(g, p, lo, hi, v);
    }
}
