// The exponentials and logarithms of the overland erosion step in batches,
// several at a time: eight with AVX-512, four with AVX2, two with SSE2, the
// widest the machine runs, chosen at run time (overland/widest_vectors.hpp),
// by glibc's vector forms of exp and log (libmvec, within a few units in
// the last place of the scalar functions). A batch holds a multiple of
// kBatchLanes values, so that every value goes through the widest form and
// its result does not depend on where in the batch it stands. Other
// compilers and libraries compute the same loops one value at a time.
// The detachment of the cells' soil goes eight cells side by side where
// the machine runs AVX-512, each cell's values rounded as one at a time.
// Internal to src/transport.
#pragma once

#include <cstddef>

namespace kesta {

constexpr int kBatchLanes = 8;
// Faces a batch of the step's capacities holds at most (a multiple of
// kBatchLanes): their values stay in the nearest cache.
constexpr int kFaceBatch = 128;

// Values to hold `n` in whole batches.
inline int batch_size(int n) { return (n + kBatchLanes - 1) / kBatchLanes * kBatchLanes; }

// rate[f] = c exp(a log(q[f]) + b log(s[f])) for f in [0, n), n a
// multiple of kBatchLanes; q and s above 0.
void power_products(const double* q, const double* s, double a, double b, double c, double* rate, int n);

// The second capacity formula over land: a face carries sediment when its
// unit discharge q = |discharge| / dx is at least least_q (m2/s), the water
// of its source cell is at least least_h deep (m), and the unit stream
// power S q / h (m/s, S the slope's size) is above 0 and not below the
// source's threshold; its capacity (m3) is then coefficient q^flow_exponent
// S^slope_exponent x sed_k x excess x to_volume, excess being the share of
// the power above the threshold (1 for a threshold of 0), else 0.
struct second_formula {
    double coefficient, flow_exponent, slope_exponent;
    double least_q, least_h;
    double dx, to_volume;  // m; m3 per kg/(m s)
};

// The faces of n cells from cell `first`, each towards one neighbour:
// element e is the face of cell first + e.
struct face_block {
    int first;
    const double* q;        // discharge (m3/s), positive towards the neighbour
    const double* slope;    // water-surface slope across the face
    const int* neighbour;   // the neighbour's cell; 0: no face; below 0: out of the grid
};

// What the cells hold, by cell number (element i for cell i).
struct face_sources {
    const double* h;          // water depth (m)
    const double* threshold;  // unit stream power the flow must pass (m/s)
    const double* sed_k;      // the soil's factor on the rate
    const int* lake;          // the cell's lake (0: none); nullptr without lakes
};

// Room for second_capacities: kFaceBatch values each.
struct capacity_work {
    double *q, *slope, *excess, *rate, *sed_k, *state, *h, *threshold;
};

// The capacities (m3) of the n faces of `faces` (n at most kFaceBatch) by
// the second formula, into cap (element e for face e): nan for a face that
// does not exist, whose source is outside the grid or in a lake; 0 for a
// face that carries nothing. The powers go through power_products, so a
// face's capacity does not depend on the other faces of the call.
void second_capacities(const face_block& faces, const face_sources& cells, const second_formula& formula,
                       const capacity_work& work, double* cap, int n);

// Cells the detachment works out together (a multiple of kBatchLanes):
// their values, and the rows of the block's cells, which the transport
// takes soon after, stay in the nearest caches (128 cells suit 1 to 6
// classes).
constexpr int kCellBlock = 128;
// Below this exponent exp is left to 0 (exp(-708) is 3e-308): the vector
// forms take the scalar path for lower arguments.
constexpr double kLeastExponent = -708.0;

// Rain splash volumes (m3) of n cells from element 0, under water h deep
// (m), for rain whose a I^b is rate (0: none) and whose drops are drop
// wide (m, above 0): volume = k x damping x rate x dt x dx x dx / density,
// the damping exp(1 - h / drop) under water deeper than a drop (0 where
// that exponent is below kLeastExponent), else 1; k is splash_k where that
// is above 0, else k_default. `work` holds n values.
void splash_volumes(const double* h, const double* drop, const double* rate, const double* splash_k,
                    double k_default, double dt, double dx, double density, double* work, double* volume, int n);

// Flow shear detachment of n cells from element 0 at an exponent of 1:
// tau = rho_g h slope (Pa), slope = sqrt(sx^2 + sy^2), and scale = coef dt
// dx dx / density, coef being detach_k where above 0, else coef_default;
// volume = scale tau, and beyond = scale (tau - critical) where tau is
// above the critical shear (detach_c where above 0, else 0), else 0. Both
// are 0 where h or slope is not above `least`.
void shear_volumes(const double* h, const double* sx, const double* sy, const double* detach_k,
                   const double* detach_c, double coef_default, double rho_g, double least, double dt, double dx,
                   double density, double* volume, double* beyond, int n);

// The soil of n cells from element 0 as the detachment sees it: the rows
// of the cell-by-class tables (classes + 1 values a cell, class 0 first;
// eroded[0] the total), each cell reading and writing only its own.
struct soil_rows {
    const double* parent_fract;
    double *deposit_fract, *parent, *suspended, *deposited, *eroded;
    // Cells from element 0 on whose rows may be asked into the cache ahead
    // of use, n or more: those of the cells some way ahead are, while these
    // work.
    int cells;
};

// What detaches the n cells (element c for cell c): rain splash of volume
// splash (m3) where rain is above `least`, and flow shear of volume
// shear (m3, beyond of it above the critical shear) where state has bit 2
// (water flows out); a cell whose state has bit 1 (finished) detaches
// nothing, and a channel cell (channel not 0) gives no parent soil.
struct detach_sources {
    const double *rain, *splash, *shear, *beyond;
    const int *state, *channel;
    double least;     // a rain rate or a deposit (m3) not above it is none
    double erodible;  // m3 of parent soil a cell may lose over the run
};

// Rain splash, then flow shear, on each of n cells (a multiple of
// kBatchLanes), each from the loose deposit when it holds more than is
// detached (and, for the rain, more than `least`), else the whole deposit
// and, for the rest (the splash beyond the deposit, or the shear's beyond
// by the share 1 - deposit / shear), the parent soil by its class shares;
// where a cell holds no deposit (every class 0) and the shear nothing
// beyond the critical, the shear takes nothing. No cell gives more parent soil than erodible + the
// sum of its parent row (the parent rows fall from 0). Eight cells at a
// time, each lane making the operations of one cell in its order, where
// the machine runs AVX-512 and the class count has such a form (1 and 3);
// false, having changed nothing, elsewhere. `exhausted` receives the first
// element whose cell asked for more parent soil than it had left, or -1.
bool detach_cells(const soil_rows& rows, const detach_sources& from, int classes, int n, int& exhausted);

// The per_fall of settle_shares (s/m) of the faces of n cells from cell
// `first`, each towards one neighbour (0: none), carrying q (m3/s, element
// e for the face of cell first + e, positive towards the neighbour): the
// face's receiver r (the neighbour, or the cell itself where q is below 0)
// gives -dx2 / |q_of[r]|, from its own discharge along the axis, where it
// is a cell whose water is deeper than least_h and moves; nan otherwise.
// Cell `exit` (none where below 1) takes exit_q in place of its q and
// q_of. q_of and h by cell number.
void receiver_per_fall(int first, const double* q, const int* neighbour, const double* q_of, const double* h,
                       int exit, double exit_q, double least_h, double dx2, double* per_fall, int n);

// The shares of their suspension that the receivers of n faces let settle,
// by class: for face f and class k (1..classes), share[(k - 1) x stride +
// f] = 1 - exp(fall[k] x per_fall[f]) (fall from element 1, m/s), or 1
// exactly where that exponent is below -all_settles; 1 where per_fall[f]
// is nan (still or vanishing water). per_fall (s/m) is at most 0 where it
// is a number; n a multiple of kBatchLanes, at most stride; `work` holds n
// values.
void settle_shares(const double* per_fall, const double* fall, int classes, double all_settles, double* work,
                   double* share, int stride, int n);

// The sum of a[0 .. n), b[0 .. n) and c[0 .. n), added in whatever order
// the vectors take: it tells whether every value is a number, not a total
// to book.
double sum_of(const double* a, const double* b, const double* c, std::ptrdiff_t n);

}  // namespace kesta
