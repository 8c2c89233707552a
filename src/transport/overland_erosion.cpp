// Overland erosion, transport and deposition by particle size class over
// one overland step.
//
// Pass 1 detaches soil into suspension on every cell outside the lakes, by
// rain splash and by the shear of the flow: from the loose deposit when it
// can give what is detached, else the whole deposit and, for the rest, the
// parent soil by its class shares (a cell under a channel gives up nothing
// then). Pass 2 visits the cells in order and moves sediment across each
// cell's right and lower face, from the cell upstream of the face to the
// one downstream, up to the face's transport capacity: suspended sediment
// first, then loose deposit; the receiving cell then lets a share of its
// suspended sediment settle. Volumes move at once, so a face sees what the
// faces before it moved. Without a channel network the outlet passes its
// sediment into a bucket outside the grid, which empties out of the grid at
// the end of the outlet's turn. Every class's volume is conserved: what the
// parent soil lost is suspended, deposited, gone through the outlet, or
// given to the channels or the lakes. No cell gives more than
// kErodibleDepth of parent soil over a run: a step that would take more
// takes what is left and stops the run, naming the cell and its parameters.
//
// Cost: the step's time goes to the exponentials and logarithms of the
// capacities and of settling, and to the short loops over the classes.
// So the second formula's capacities, which depend on the water alone,
// are worked out as the detachment passes the cells, for all the faces of
// a block of cells together, in whole vectors (erosion_vectors.hpp); with
// the other formulas a face whose source holds no sediment skips its
// capacity. The detachment takes the cells a block at a time: their rain
// splash and flow shear volumes first, in whole vectors, then what each
// cell gives, eight cells side by side where the machine and the class
// count allow (each cell's own operations in its order), else in order. The transport too takes the cells a block at a
// time: the share of each class that settles at each face depends on the
// water alone, so the shares of all the block's faces are worked out
// first, in whole vectors, and the ordered moves only read them. An
// exponent of 1 skips its power, and the detachment and the transport have
// a copy for each usual class count, whose loops the compiler unrolls; a
// cell takes what a face brings and lets it settle in one pass over its
// classes, and the class totals are summed in registers. With the second
// formula the detachment runs only a few blocks ahead of the transport, as
// far as the faces reach, so that the transport finds the soil of its
// cells still in the cache. On a grid large enough for a team of threads,
// with the same results: the faces of a cell touch only it and its right
// and lower neighbours, so with the second formula and no lakes bands of
// rows move their faces on every thread, each row close behind the row
// above (move_in_bands); else the detachment and the settling shares,
// which depend on a cell's own soil and the water alone, run on the other
// threads beside the ordered moves (move_on_team).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

#include "core/error_record.hpp"
#include "core/thread_team.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/erosion_step.hpp"
#include "transport/erosion_vectors.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace erosion_detail {

namespace {
// A face carrying less water per unit width moves no sediment (m2/s).
constexpr double kLeastUnitDischarge = 1e-6;
// The second capacity formula: 25500 x 1000 q^2.035 S^1.6667 (the slope
// exponent 1.6667 as the model has always used it).
constexpr double kSecondCoefficient = 25500.0 * 1000.0;
constexpr double kSecondFlowExponent = 2.035;
constexpr double kSecondSlopeExponent = 1.6667;
// A class lets 1 - exp(-x) of its suspension settle: exp(-x) below exp(-40)
// (4e-18) is less than half the spacing of doubles below 1, so the share
// is 1 exactly, without the exponential.
constexpr double kAllSettles = 40.0;
// A capacity not yet worked out.
constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// Whether a face out of cell `src`, whose water is h deep, at unit
// discharge q (m2/s) down the water-surface slope, can carry sediment;
// `excess` then receives the share of its unit stream power above the
// cell's threshold (1 for none).
bool carries(const sed_record& s, int src, double slope, double h, double q, double& excess) {
    if (q < kLeastUnitDischarge || h < kTiny) return false;
    const double power = slope * q / h;  // unit stream power (m/s)
    const double threshold = s.tc_R[src];
    if (!(power > 0.0) || threshold > power) return false;
    excess = threshold == 0.0 ? 1.0 : (power - threshold) / power;
    return true;
}

}  // namespace

// The capacities of the right and lower faces of the cells lo .. lo +
// count - 1 by the second formula, in whole vectors; the outlet's face out
// of the grid carries its discharge.
void block_capacities(step_view& v, int lo, int count, const capacity_work& work) {
    static_assert(kCellBlock <= kFaceBatch, "a block's faces towards one side fit in a batch");
    const model_state& m = v.m;
    sed_record& s = v.s;
    const second_formula formula{kSecondCoefficient, kSecondFlowExponent, kSecondSlopeExponent, kLeastUnitDischarge,
                                 kTiny, v.dx, v.to_volume};
    const face_sources cells{m.h.data(), s.tc_R.data(), s.sed_K.data(), v.lakes ? m.lake_num.data() : nullptr};
    second_capacities({lo, m.qx.data() + lo, s.Sfx.data() + lo, m.rightcon.data() + lo}, cells, formula, work,
                      s.cap_x.data() + lo, count);
    second_capacities({lo, m.qy.data() + lo, s.Sfy.data() + lo, m.belowcon.data() + lo}, cells, formula, work,
                      s.cap_y.data() + lo, count);
    const int out = v.outlet;
    if (out < lo || out >= lo + count || (v.exit != exit_face::right && v.exit != exit_face::lower)) return;
    const bool right = v.exit == exit_face::right;
    const int outside = -1;
    second_capacities({out, &v.q_out, &(right ? s.Sfx : s.Sfy)[out], &outside}, cells, formula, work,
                      &(right ? s.cap_x : s.cap_y)[out], 1);
}

namespace {


// The rate of the second formula, 25500 x 1000 q^2.035 S^1.6667, as one
// exponential of the two logarithms (within 1e-14 of the two powers, at
// about half their cost).
double second_rate(double q, double slope) {
    return kSecondCoefficient * std::exp(kSecondFlowExponent * std::log(q) + kSecondSlopeExponent * std::log(slope));
}

// The capacity (m3) of a face whose rate of transport is `rate` (kg/(m s)).
double capacity_of_rate(const step_view& v, int src, double rate, double excess) {
    return rate * v.s.sed_K[src] * excess * v.to_volume;
}

// Volume (m3) one face can carry in dt out of cell `src`, whose water is
// h deep, at unit discharge q (m2/s) down the water-surface slope.
double capacity(const step_view& v, int src, double slope, double h, double q) {
    const sed_record& s = v.s;
    double excess = 0.0;
    if (!carries(s, src, slope, h, q, excess)) return 0.0;
    const double power = slope * q / h;  // unit stream power (m/s)
    const double rho_g = kWaterDensity * kGravity;
    double rate = 0.0;
    switch (s.erosion_method) {
        case 1: {
            double share = 0.0;
            const double* fract = s.sed_fract.parent[src];
            for (int k = 1; k <= v.classes; ++k) share += fract[k] * s.eh_coef[k];
            const double velocity = q / h;
            return share * v.dx * velocity * velocity * std::pow(h * slope, 1.5) * v.dt;
        }
        case 2: rate = second_rate(q, slope); break;
        case 3: rate = s.tc_C[src] * power_of(rho_g * slope * q, s.tc_I[src]); break;
        case 4: rate = s.tc_C[src] * power_of(std::pow(rho_g * slope * q, 1.5), s.tc_I[src]); break;
        case 5: rate = s.tc_C[src] * power_of(power, s.tc_I[src]); break;
        case 6: rate = s.tc_C[src] * power_of(rho_g * h * slope, s.tc_I[src]); break;
        default: return 0.0;
    }
    return capacity_of_rate(v, src, rate, excess);
}

// Cell r takes `moved` (m3 by class; nullptr: nothing) into its
// suspension, then lets share[(k - 1) x kCellBlock] of class k of its
// suspended sediment settle (settle_shares). A class with nothing in
// suspension has nothing to settle.
template <int Classes>
[[gnu::always_inline]] inline void receive_and_settle(step_view& v, int r, const double* share, const double* moved) {
    const int classes = class_count<Classes>(v.classes);
    double* row = v.suspended.row<Classes>(r);
    // For a class count fixed when compiled, the suspension is held in
    // registers from what arrives to what settles, stored once.
    double fixed[Classes + 1];
    double* suspended = Classes > 0 ? fixed : row;
    if (Classes > 0) {
#pragma GCC unroll 8
        for (int k = 1; k <= classes; ++k) fixed[k] = moved ? row[k] + moved[k] : row[k];
    } else if (moved) {
        for (int k = 1; k <= classes; ++k) row[k] += moved[k];
    }
    const auto store = [&] {
        if (Classes == 0) return;
#pragma GCC unroll 8
        for (int k = 1; k <= classes; ++k) row[k] = fixed[k];
    };
    if (!(sum_classes<Classes>(suspended, v.classes) > 0.0)) {
        if (moved) store();
        return;
    }
    double* deposited = v.deposited.row<Classes>(r);
    double* settled = v.settled.row<Classes>(r);
    double total = settled[0];
#pragma GCC unroll 8
    for (int k = 1; k <= classes; ++k) {
        double held = suspended[k];
        if (held != 0.0) {
            const double x = held * share[(k - 1) * kCellBlock];
            held -= x;
            deposited[k] += x;
            settled[k] += x;
            total += x;
        }
        row[k] = held;  // each class stored by itself, as it is worked out
    }
    settled[0] = total;
}

// What the face moves by class, into `moved` (m3), taken from the source
// whose suspended and deposited volumes add up to a and b.
template <int Classes>
[[gnu::always_inline]] inline void take_from_source(step_view& v, int src, double t, double a, double b, double* moved) {
    const int classes = class_count<Classes>(v.classes);
    double* suspended = v.suspended.row<Classes>(src);
    double* deposited = v.deposited.row<Classes>(src);
    double* eroded = v.eroded.row<Classes>(src);
#pragma GCC unroll 8
    for (int k = 1; k <= classes; ++k) moved[k] = 0.0;
    if (t <= a) {
        if (!(a > 0.0)) return;
        const double share = t / a;  // of every class, at most 1
#pragma GCC unroll 8
        for (int k = 1; k <= classes; ++k) {
            moved[k] = share * suspended[k];
            suspended[k] -= moved[k];
        }
    } else if (t <= a + b) {
        const double share = (t - a) / b;  // of the deposit, at most 1
        double total = eroded[0];
#pragma GCC unroll 8
        for (int k = 1; k <= classes; ++k) {
            const double x = share * deposited[k];
            moved[k] = suspended[k] + x;
            suspended[k] = 0.0;
            deposited[k] -= x;
            eroded[k] += x;
            total += x;
        }
        eroded[0] = total;
    } else {
        double total = eroded[0];
#pragma GCC unroll 8
        for (int k = 1; k <= classes; ++k) {
            moved[k] = suspended[k] + deposited[k];
            eroded[k] += deposited[k];
            total += deposited[k];
            suspended[k] = 0.0;
            deposited[k] = 0.0;
        }
        eroded[0] = total;
    }
}

// Puts the moved volumes into the receiver: into the suspension of a cell
// (or of the bucket outside the grid), or into a lake, where sand settles
// on the edge cell's deposit and the fine classes join the lake.
template <int Classes>
void deliver(step_view& v, int rcv, int lake, const double* moved) {
    const int classes = class_count<Classes>(v.classes);
    sed_record& s = v.s;
    if (lake) {
        mat2<double>& to_lake = s.sed_vol_overland_to_lake;
        for (int k = 1; k <= classes; ++k) {
            if (s.sand[k]) s.vol_sed.deposited[rcv][k] += moved[k];
            to_lake[lake][k] += moved[k];
            to_lake[0][k] += moved[k];
        }
        return;
    }
    double* suspended = v.suspended.row<Classes>(rcv);
#pragma GCC unroll 8
    for (int k = 1; k <= classes; ++k) suspended[k] += moved[k];
}

// A lake's outflow over the face carries its suspended fine classes into
// cell `rcv`; `moved` receives what it carried by class.
void lake_outflow(step_view& v, int lake, int src, int rcv, double q, double* moved) {
    sed_record& s = v.s;
    double out = 0.0;
    for (int k = 1; k <= v.classes; ++k) moved[k] = 0.0;
    for (int pos = 1; pos <= s.n_fine_classes; ++pos) {
        const int k = s.sed_class[pos];
        const double x = std::fabs(s.SS_conc_vol_lake[lake][pos]) * std::fabs(q) * v.dt;
        moved[k] = x;
        s.vol_sed.suspended[rcv][k] += x;
        s.SS_vol_lake_to_overland[lake][pos] += x;
        s.sed_vol_overland_to_lake[lake][k] -= x;
        s.sed_vol_overland_to_lake[0][k] -= x;
        out += x;
    }
    if (v.fluxes) s.ov_qsmax[src] += out / v.dt;
}

enum class axis { x, y, none };

// With SEDIMENT_CONTAM the face of cell i records what it moved towards
// the neighbour (`sign` -1: from it).
void record_face(step_view& v, int i, bool x_face, double sign, const double* moved) {
    double* face = (x_face ? v.s.ov_sed_vol_qsx : v.s.ov_sed_vol_qsy)[i];
    for (int k = 1; k <= v.classes; ++k) {
        face[k] += sign * moved[k];
        face[0] += sign * moved[k];
    }
}

}  // namespace

// The capacities of the faces whose sources hold sediment when the step's
// transport begins, worked out from the water alone in a pass of their
// own, away from the ordered moves (their exponentials then overlap); the
// other faces are left as nan, to their own turn.
void face_capacities(step_view& v) {
    const model_state& m = v.m;
    sed_record& s = v.s;
    const auto one = [&](int i, int j, double q, double slope) {
        const int src = q >= 0.0 ? i : j;
        if (src == 0 || v.lake_of(src)) return kUnknown;
        const double* suspended = s.vol_sed.suspended[src];
        const double* deposited = s.vol_sed.deposited[src];
        if (!(sum_classes(suspended, v.classes) > 0.0 || sum_classes(deposited, v.classes) > 0.0)) return kUnknown;
        return capacity(v, src, std::fabs(slope), m.h[src], std::fabs(q) / v.dx);
    };
    for (int i = 1; i <= v.n; ++i) {
        const bool out = i == v.outlet;
        const int right = m.rightcon[i], below = m.belowcon[i];
        s.cap_x[i] = right || (out && v.exit == exit_face::right) ? one(i, right, v.qx(i), s.Sfx[i]) : kUnknown;
        s.cap_y[i] = below || (out && v.exit == exit_face::lower) ? one(i, below, v.qy(i), s.Sfy[i]) : kUnknown;
    }
}

namespace {

// Moves sediment across the face of cell i towards j (0: out of the grid)
// that carries `q` m3/s (positive towards j) down the slope `slope`, with
// the capacity `known` worked out before (nan: not yet); a receiving cell
// then lets `share` of its suspension settle (receive_and_settle). A source that
// holds no sediment moves nothing, whatever the face could carry: its
// capacity is kept as 0.
template <int Classes>
void move_across(step_view& v, int i, int j, double q, double slope, axis along, double known = kUnknown,
                 const double* share = nullptr) {
    model_state& m = v.m;
    sed_record& s = v.s;
    // What the face moves by class: on the stack for a class count fixed
    // when compiled, where the compiler keeps it in registers.
    double fixed[Classes + 1];
    double* moved = Classes > 0 ? fixed : s.moved.data();
    const int src = q >= 0.0 ? i : j;
    const int rcv = q >= 0.0 ? j : i;
    if (src == 0) return;  // nothing comes in from outside the grid
    const int src_lake = v.lake_of(src), rcv_lake = v.lake_of(rcv);
    if (src_lake) {
        if (rcv_lake || rcv == 0) return;
        lake_outflow(v, src_lake, src, rcv, q, moved);
        // The attached mass follows the lake's sediment onto the land.
        if (v.faces && along != axis::none) record_face(v, i, along == axis::x, q >= 0.0 ? 1.0 : -1.0, moved);
        return;
    }
    const double* suspended = v.suspended.row<Classes>(src);
    const double* deposited = v.deposited.row<Classes>(src);
    const double a = sum_classes<Classes>(suspended, v.classes);
    const double b = sum_classes<Classes>(deposited, v.classes);
    const bool empty = a == 0.0 && b == 0.0 && holds_none<Classes>(suspended, v.classes) &&
                       holds_none<Classes>(deposited, v.classes);
    const double t = empty                ? 0.0
                     : known == known     ? known
                                          : capacity(v, src, std::fabs(slope), m.h[src], std::fabs(q) / v.dx);
    if (along == axis::x) s.qsx[src] = t;
    if (along == axis::y) s.qsy[src] = t;
    // A face that can carry nothing out of a source holding no negative
    // suspension moves nothing, and what it would add is zero.
    const bool moves = !(t == 0.0 && a >= 0.0);
    // Cells settle what they hold at each face's turn; the bucket outside the grid and lakes settle nothing.
    const bool settles = rcv != 0 && !rcv_lake && along != axis::none;
    if (moves) {
        take_from_source<Classes>(v, src, t, a, b, moved);
        if (!settles) deliver<Classes>(v, rcv, rcv_lake, moved);
        if (v.faces && j != 0 && along != axis::none)
            record_face(v, i, along == axis::x, q >= 0.0 ? 1.0 : -1.0, moved);
        if (v.fluxes) s.ov_qsmax[src] += sum_classes<Classes>(moved, v.classes) * v.inv_dt;
    }
    if (settles) receive_and_settle<Classes>(v, rcv, share, moves ? moved : nullptr);
}

// Whether the face of cell i towards j (0: out of the grid) carrying q
// (positive towards j) would change nothing but its source's capacity in
// `cap` (qsx or qsy), which is then set to 0, as move_across would: its
// source holds no sediment, not even a negative volume, and its receiver,
// if a cell, has no suspension to settle. Such faces (a dry or bare source
// below the critical shear, as after the rain) are many, and the test is
// cheaper than the move. Lakes always take the move.
template <int Classes>
[[gnu::always_inline]] inline bool quiet_face(step_view& v, int i, int j, double q, vec1<double>& cap) {
    if (v.lakes) return false;
    const int src = q >= 0.0 ? i : j, rcv = q >= 0.0 ? j : i;
    if (src == 0) return true;
    if (!holds_none<Classes>(v.suspended.row<Classes>(src), v.classes) ||
        !holds_none<Classes>(v.deposited.row<Classes>(src), v.classes))
        return false;
    if (rcv != 0 && sum_classes<Classes>(v.suspended.row<Classes>(rcv), v.classes) > 0.0) return false;
    cap[src] = 0.0;
    return true;
}

// The right (x_face) or lower face of cell i towards cell j (neither in a
// lake, j a cell) carrying q (positive towards j), as quiet_face and
// move_across together: the source's rows are tested and summed once, and
// a face whose source holds no sediment goes straight to its receiver's
// settling.
template <int Classes>
[[gnu::always_inline]] inline void plain_face(step_view& v, int i, int j, double q, double slope, double known,
                                              const double* share, vec1<double>& cap, bool x_face) {
    const int src = q >= 0.0 ? i : j;
    const int rcv = q >= 0.0 ? j : i;
    const double* suspended = v.suspended.row<Classes>(src);
    const double* deposited = v.deposited.row<Classes>(src);
    if (holds_none<Classes>(suspended, Classes) && holds_none<Classes>(deposited, Classes)) {
        // The sum of the suspension is +0 or -0: nothing moves.
        cap[src] = 0.0;
        receive_and_settle<Classes>(v, rcv, share, nullptr);
        return;
    }
    const double a = sum_classes<Classes>(suspended, Classes);
    const double b = sum_classes<Classes>(deposited, Classes);
    const double t = known == known ? known : capacity(v, src, std::fabs(slope), v.m.h[src], std::fabs(q) / v.dx);
    cap[src] = t;
    if (t == 0.0 && a >= 0.0) {
        receive_and_settle<Classes>(v, rcv, share, nullptr);
        return;
    }
    double moved[Classes + 1];
    take_from_source<Classes>(v, src, t, a, b, moved);
    if (v.faces) record_face(v, i, x_face, q >= 0.0 ? 1.0 : -1.0, moved);
    if (v.fluxes) v.s.ov_qsmax[src] += sum_classes<Classes>(moved, Classes) * v.inv_dt;
    receive_and_settle<Classes>(v, rcv, share, moved);
}

// The bucket outside the grid empties through the outlet.
void empty_bucket(step_view& v) {
    sed_record& s = v.s;
    double* suspended = s.vol_sed.suspended[0];
    double* deposited = s.vol_sed.deposited[0];
    for (int k = 1; k <= v.classes; ++k) {
        const double x = suspended[k] + deposited[k];
        s.outlet_vol[k] += x;
        s.outlet_vol[0] += x;
        s.sed_out_vol += x;
        if (v.faces) {
            s.outlet_vol_step[k] += x;
            s.outlet_vol_step[0] += x;
        }
        suspended[k] = 0.0;
        deposited[k] = 0.0;
    }
}

}  // namespace

// The shares that settle at the right and lower faces of the cells lo ..
// lo + count - 1, into `block` (2 x kCellBlock x (classes + 1) values; see
// block_share; `work` holds kCellBlock values): the water crosses the
// receiving cell at u = |q| / (dx h) in dx / u, while a particle falls
// through its depth h in h / fall, so the share that settles is 1 -
// exp(-x), x = dx fall / (h u) = dx^2 fall / |q|, q the receiver's own
// discharge along the face's axis. Still or vanishing water lets
// everything settle. Worked out in whole vectors before the block's
// ordered moves, from the water alone.
void block_settle_shares(step_view& v, int lo, int count, double* block, double* work) {
    const model_state& m = v.m;
    sed_record& s = v.s;
    const double none = std::numeric_limits<double>::quiet_NaN();
    const double dx2 = v.dx * v.dx;
    const std::ptrdiff_t axis_span = static_cast<std::ptrdiff_t>(v.classes + 1) * kCellBlock;
    double* per_fall_x = block;
    double* per_fall_y = per_fall_x + axis_span;
    const int exit_x = v.exit == exit_face::right ? v.outlet : 0;
    const int exit_y = v.exit == exit_face::lower ? v.outlet : 0;
    receiver_per_fall(lo, m.qx.data() + lo, m.rightcon.data() + lo, m.qx.data(), m.h.data(), exit_x, v.q_out, kTiny,
                      dx2, per_fall_x, count);
    receiver_per_fall(lo, m.qy.data() + lo, m.belowcon.data() + lo, m.qy.data(), m.h.data(), exit_y, v.q_out, kTiny,
                      dx2, per_fall_y, count);
    const int size = batch_size(count);
    for (int c = count; c < size; ++c) per_fall_x[c] = per_fall_y[c] = none;
    settle_shares(per_fall_x, s.sed_fall.data(), v.classes, kAllSettles, work, per_fall_x + kCellBlock, kCellBlock,
                  size);
    settle_shares(per_fall_y, s.sed_fall.data(), v.classes, kAllSettles, work, per_fall_y + kCellBlock, kCellBlock,
                  size);
}

namespace {


// The last cell the faces of the cells lo .. lo + count - 1 touch; `behind`
// tells whether a right or lower neighbour of one of them comes before it.
int reach_of_cells(const model_state& m, int lo, int count, bool& behind) {
    int back = 0;
    int reach = lo + count - 1;
#pragma omp simd reduction(| : back) reduction(max : reach)
    for (int c = 0; c < count; ++c) {
        const int i = lo + c, right = m.rightcon[i], below = m.belowcon[i];
        back |= ((right != 0) & (right <= i)) | ((below != 0) & (below <= i));
        reach = std::max(reach, std::max(right, below));
    }
    behind = back != 0;
    return reach;
}

// Fills the table of reach_of_cells of every block of cells (sed_record's
// block_last and blocks_behind), once: the neighbours do not change.
void know_block_reaches(step_view& v) {
    sed_record& s = v.s;
    if (s.blocks_known) return;
    s.blocks_behind = false;
    for (int b = 1, first = 1; first <= v.n; ++b, first += kCellBlock) {
        bool back = false;
        s.block_last[b] = reach_of_cells(v.m, first, std::min(kCellBlock, v.n - first + 1), back);
        s.blocks_behind = s.blocks_behind || back;
    }
    s.blocks_known = true;
}

}  // namespace

// The last cell the faces of the block of cells that begins at `lo` (a
// block's first cell) touch, from the table of know_block_reaches.
int block_reach(const step_view& v, int lo) { return v.s.block_last[(lo - 1) / kCellBlock + 1]; }

namespace {


// Moves sediment across the right and lower faces of cell i, with their
// settling shares at share_x[0] and share_y[0] (block_settle_shares). Writes
// the soil of cell i and of its right and lower neighbours alone (and, for
// the outlet, the bucket outside the grid; with lakes, their books).
template <int Classes>
[[gnu::always_inline]] inline void move_cell(step_view& v, int i, const double* share_x, const double* share_y) {
    model_state& m = v.m;
    sed_record& s = v.s;
    // Without lakes, a face between two cells takes plain_face.
    const bool plain = Classes > 0 && !v.lakes;
    const int right = m.rightcon[i], below = m.belowcon[i];
    const bool out = i == v.outlet;
    if (plain && !out) {
        if (right) plain_face<Classes>(v, i, right, m.qx[i], s.Sfx[i], s.cap_x[i], share_x, s.qsx, true);
        if (below) plain_face<Classes>(v, i, below, m.qy[i], s.Sfy[i], s.cap_y[i], share_y, s.qsy, false);
        return;
    }
    if (right || (out && v.exit == exit_face::right)) {
        const double q = v.qx(i);
        if (!quiet_face<Classes>(v, i, right, q, s.qsx))
            move_across<Classes>(v, i, right, q, s.Sfx[i], axis::x, s.cap_x[i], share_x);
    }
    if (below || (out && v.exit == exit_face::lower)) {
        const double q = v.qy(i);
        if (!quiet_face<Classes>(v, i, below, q, s.qsy))
            move_across<Classes>(v, i, below, q, s.Sfy[i], axis::y, s.cap_y[i], share_y);
    }
    if (out && v.exit == exit_face::own) move_across<Classes>(v, i, 0, v.q_out, m.outslope, axis::none);
    if (out && v.exit != exit_face::none) empty_bucket(v);
}

}  // namespace

// Moves sediment across the faces of the cells lo .. lo + count - 1, cell
// by cell in order, with the block's settling shares in `block`
// (block_settle_shares). Writes the soil of no cell beyond the block's
// reach (block_reach).
template <int Classes>
void move_block(step_view& v, int lo, int count, const double* block) {
    const std::ptrdiff_t axis_span = static_cast<std::ptrdiff_t>(v.classes + 1) * kCellBlock;
    const double* share_x = block + kCellBlock;
    const double* share_y = share_x + axis_span;
    for (int c = 0; c < count; ++c) move_cell<Classes>(v, lo + c, share_x + c, share_y + c);
}

template void move_block<0>(step_view&, int, int, const double*);
template void move_block<1>(step_view&, int, int, const double*);
template void move_block<2>(step_view&, int, int, const double*);
template void move_block<3>(step_view&, int, int, const double*);
template void move_block<4>(step_view&, int, int, const double*);
template void move_block<5>(step_view&, int, int, const double*);
template void move_block<6>(step_view&, int, int, const double*);

// The sum of the suspended, parent and deposited rows of the cells lo ..
// lo + count - 1, the class slot 0 of each (0 in these tables) included,
// in whole vectors (in any order: the sum only tells whether every volume
// is a number).
double block_held(const step_view& v, int lo, int count) {
    const std::ptrdiff_t values = static_cast<std::ptrdiff_t>(count) * (v.classes + 1);
    return sum_of(v.suspended[lo], v.parent[lo], v.deposited[lo], values);
}

namespace {


// Books what the step eroded and deposited on the cells lo .. hi, which no
// later face of the step touches, into each cell's net volume over the run
// and, with ADJUST_ELEV, into its ground, which the soil below the stores
// follows over an aquifer (and with SEDIMENT_CONTAM for the sediment-bound
// constituents), and clears their rows for the next step.
// Booked as soon as their faces are done, the rows are still in the cache
// of the thread that moved them. A cell's ground is read by no later face
// or detachment of the step: those read the ground of their own cells and
// of the cells after them.
void book_cells(step_view& v, int lo, int hi) {
    model_state& m = v.m;
    sed_record& s = v.s;
    const double area = v.dx * v.dx;
    const bool adjust = m.project_options.adjust_elev_given != 0;
    // The sediment-bound constituents take what moved at their own step.
    const bool contam = !s.eroded_step.empty();
    for (int i = lo; i <= hi; ++i) {
        const double* eroded = v.eroded[i];
        const double* deposited = v.settled[i];
        const double net = deposited[0] - eroded[0];
        s.ov_qsvol[i] += net;
        if (adjust) {
            const double ground = m.elev[i];
            m.elev[i] += net / area;
            soil_follows_ground(m, i, ground);
        }
        if (contam) {
            for (int k = 0; k <= v.classes; ++k) {
                s.eroded_step[i][k] += eroded[k];
                s.deposited_step[i][k] += deposited[k];
            }
        }
    }
    // The next step starts from nothing moved.
    std::fill(v.eroded[lo], v.eroded[hi + 1], 0.0);
    std::fill(v.settled[lo], v.settled[hi + 1], 0.0);
}

// The detachment of the step, a block of cells at a time in the grid's
// order, run ahead of the transport as far as it needs.
struct detachment {
    const vec1<double>& rain;
    splash_rain splash;
    block_scratch scratch;
    int done = 0;  // the cells 1 .. done are detached

    explicit detachment(step_view& v) : rain(splashing_rain(v)), scratch(v.s, 0) {}

    // Detaches the blocks of cells up to the one that holds `cell`.
    template <int Classes>
    void up_to(step_view& v, int cell) {
        while (done < std::min(cell, v.n)) {
            const int lo = done + 1, count = std::min(kCellBlock, v.n - lo + 1);
            detach_block<Classes>(v, lo, count, v.n, rain, splash, scratch);
            done = lo + count - 1;
        }
    }
};

// Visits the cells in order, moving sediment across each cell's faces, on
// the calling thread. Returns the sum of the suspended, parent and
// deposited volumes of every cell, each taken once no later face can touch
// the cell: when every right and lower neighbour comes after its cell (the
// grid's order), that is once the faces of the cell's block are done.
// Otherwise `summed` is false, and the volumes are summed again after the
// step.
template <int Classes>
double move_in_order(step_view& v, bool& summed) {
    sed_record& s = v.s;
    detachment detach(v);
    if (!v.batched) {
        // These capacities are worked out from what the sources hold once
        // every cell is detached.
        detach.up_to<Classes>(v, v.n);
        face_capacities(v);
    }
    double held = 0.0;
    // Where every neighbour comes after its cell, no later face touches a
    // block whose faces are done: the block is summed and booked at once.
    summed = v.booked = !s.blocks_behind;
    double* block = s.block_share.data();
    for (int lo = 1; lo <= v.n; lo += kCellBlock) {
        const int count = std::min(kCellBlock, v.n - lo + 1);
        const int reach = block_reach(v, lo);
        // Every cell the block's faces touch is detached before they touch
        // it: a cell's detachment reads its own soil and the water alone,
        // so it gives what it would give with the whole grid detached first.
        detach.up_to<Classes>(v, reach);
        block_settle_shares(v, lo, count, block, detach.scratch.work);
        move_block<Classes>(v, lo, count, block);
        if (summed) {
            held += block_held(v, lo, count);
            book_cells(v, lo, lo + count - 1);
        }
    }
    v.exhausted = detach.scratch.exhausted;
    return held;
}

// Works out the rows and bands of the step on a team (sed_record): each
// row of the grid that holds cells must hold a run of cell numbers, the
// rows in order from the first cell; a cell's right neighbour must lie
// after it in its row, its lower one in the next row that holds cells.
// Else row_count is 0.
void know_bands(step_view& v) {
    const model_state& m = v.m;
    sed_record& s = v.s;
    s.row_count = 0;
    if (m.mask.nrows() < m.rows || m.mask.ncols() < m.cols || s.row_first.n() < m.rows + 1 ||
        s.row_detached.n() < m.rows || s.row_need.n() < v.n || s.band_first.n() < m.rows + 1 ||
        s.band_done.n() < (m.rows + 1) * kBandDoneStride ||
        s.band_share.n() + 1 < kErosionSlots * kBandRowsMost * 2 * kCellBlock * (v.classes + 1))
        return;
    int rows = 0, next = 1;
    for (int r = 1; r <= m.rows; ++r) {
        int cells = 0, least = 0, most = 0;
        for (int c = 1; c <= m.cols; ++c) {
            const int k = m.mask[r][c];
            if (k == 0) continue;
            least = cells ? std::min(least, k) : k;
            most = cells ? std::max(most, k) : k;
            ++cells;
        }
        if (cells == 0) continue;
        if (least != next || most != next + cells - 1) return;
        s.row_first[++rows] = next;
        next += cells;
    }
    if (next != v.n + 1) return;
    s.row_first[rows + 1] = next;
    int* need = s.row_need.data();
    std::fill(need, need + v.n + 1, 0);
    int reach = 0;
    for (int r = 1; r <= rows; ++r) {
        const int end = s.row_first[r + 1], below_end = r < rows ? s.row_first[r + 2] : end;
        for (int i = s.row_first[r]; i < end; ++i) {
            const int right = m.rightcon[i], below = m.belowcon[i];
            if ((right != 0 && (right <= i || right >= end)) || (below != 0 && (below < end || below >= below_end)))
                return;
            if (below) need[below] = std::max(need[below], i);
            reach = std::max(reach, std::max({i, right, below}));
        }
        s.row_detached[r] = block_end(v, reach);
    }
    // The faces of a cell touch it, its right and its lower neighbour: they
    // follow the faces above the cell and above its right neighbour, the
    // cell's own row above it. (need of the right neighbour, which lies
    // after the cell, still holds the cell above that neighbour.)
    for (int i = 1; i <= v.n; ++i) need[i] = std::max(need[i], m.rightcon[i] ? need[m.rightcon[i]] : 0);
    int bands = 0;
    s.band_first[1] = 1;
    for (int r = 1; r <= rows; ++r) {
        const int first = s.band_first[bands + 1];
        if (r == rows || r + 1 - first >= kBandRowsMost || s.row_first[r + 1] - s.row_first[first] >= kBandCells)
            s.band_first[++bands + 1] = r + 1;
    }
    s.band_count = bands;
    s.row_count = rows;
}

// Cells of a row a band moves before it turns to its next row.
constexpr int kBandStride = 8;
// Milliseconds the bands stay off the team after a step in which a thread
// waited long, doubled with each such step in a row, up to 2^8 times.
constexpr long long kBandRestMilliseconds = 50;
constexpr int kBandRefusalsMost = 8;

// The step of move_in_order, with the same results, bit for bit, on a team
// of `team` threads, for a grid of rows (know_bands) without lakes and the
// second formula. The result of the ordered moves depends only on the
// order in which the faces touch each cell, and the faces of a cell touch
// it, its right and its lower neighbour. So a cell's faces may move as
// soon as those of the cells before it in its row, above it and above its
// right neighbour have. A thread takes the next band of rows not yet
// taken, detaches the blocks of cells up to the band's reach (a cell's
// detachment reads its own soil and the water alone), and moves the
// band's faces a few cells of each row in turn, each row behind the row
// above, the band's first row behind the band above, whose last row it
// watches (band_done). A band's soil thus stays in the caches of the
// thread that detached it, and only its first row is handed over by
// another. A band is taken only after the bands before it, and waits for
// those alone, so none waits for a band not yet taken, whatever the team
// and the order of its parts. A thread that loses its core holds up every
// band below its own: so once a thread has waited long, it takes the
// step's remaining bands alone (the others end with the band in hand),
// and the next steps keep to move_on_team for a while (bands_refused_until).
template <int Classes>
double move_in_bands(step_view& v, bool& summed, int team) {
    sed_record& s = v.s;
    const vec1<double>& rain = splashing_rain(v);
    const std::ptrdiff_t axis_span = static_cast<std::ptrdiff_t>(v.classes + 1) * kCellBlock;
    const std::ptrdiff_t block_span = 2 * axis_span;
    int* const done = s.band_done.data();
    for (int b = 1; b <= s.band_count; ++b) done[b * kBandDoneStride] = -1;
    std::atomic<int> next_band{1};
    std::atomic<int> alone{-1};  // the part that takes the bands alone after a long wait
    splash_rain splash[kErosionSlots];
    int exhausted[kErosionSlots] = {};
    double held[kErosionSlots] = {};
    const auto part = [&](int p, int) {
        block_scratch scratch(s, p);
        double* const shares = s.band_share.data() + p * kBandRowsMost * block_span;
        bool waited_long = false;
        for (;;) {
            const int lone = alone.load(std::memory_order_relaxed);
            if (lone >= 0 && lone != p) break;
            const int band = next_band.fetch_add(1, std::memory_order_relaxed);
            if (band > s.band_count) break;
            const int r0 = s.band_first[band], rows = s.band_first[band + 1] - r0;
            const int detached = s.row_detached[r0 + rows - 1];
            for (int lo = r0 == 1 ? 1 : s.row_detached[r0 - 1] + 1; lo <= detached; lo += kCellBlock)
                detach_block<Classes>(v, lo, std::min(kCellBlock, v.n - lo + 1), detached, rain, splash[p], scratch);
            const int* above = done + (band - 1) * kBandDoneStride;
            int* const last = done + band * kBandDoneStride;
            int seen = v.n;
            const auto wait = [&](int cell) {
                seen = wait_at_least(above, cell, s.bands_patience, waited_long);
                int none = -1;
                if (waited_long && lone < 0) alone.compare_exchange_strong(none, p);
            };
            // The band above says when every cell up to its reach is
            // detached; then so is every cell up to this band's.
            if (band > 1) wait(0);
            __atomic_store_n(last, 0, __ATOMIC_RELEASE);
            // Of each row: the next cell to move, the cell after the row,
            // and the first cell of the block whose shares it holds.
            int at[kBandRowsMost], end[kBandRowsMost], held_from[kBandRowsMost];
            for (int j = 0; j < rows; ++j) {
                at[j] = s.row_first[r0 + j];
                end[j] = s.row_first[r0 + j + 1];
                held_from[j] = -kCellBlock;
            }
            for (int open = rows; open > 0;) {
                open = 0;
                for (int j = 0; j < rows; ++j) {
                    double* const row_shares = shares + j * block_span;
                    const int stop = std::min(end[j], at[j] + kBandStride);
                    int i = at[j];
                    for (; i < stop; ++i) {
                        const int need = s.row_need[i];
                        if (j == 0) {
                            if (need > seen) wait(need);
                        } else if (need >= at[j - 1]) {
                            break;
                        }
                        if (i >= held_from[j] + kCellBlock) {
                            held_from[j] = i;
                            block_settle_shares(v, i, std::min(kCellBlock, end[j] - i), row_shares, scratch.work);
                        }
                        const double* share = row_shares + kCellBlock + (i - held_from[j]);
                        move_cell<Classes>(v, i, share, share + axis_span);
                    }
                    at[j] = i;
                    open += i < end[j];
                }
                __atomic_store_n(last, at[rows - 1] - 1, __ATOMIC_RELEASE);
            }
            // No later face touches the band's cells.
            const int first = s.row_first[r0];
            held[p] += block_held(v, first, s.row_first[r0 + rows] - first);
            book_cells(v, first, s.row_first[r0 + rows] - 1);
        }
        keep_lowest(exhausted[p], scratch.exhausted);
    };
    run_parts_on_team(team, team, part);
    v.booked = true;
    if (alone.load() >= 0) {
        s.bands_refusals = std::min(kBandRefusalsMost, s.bands_refusals + 1);
        s.bands_refused_until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kBandRestMilliseconds << (s.bands_refusals - 1));
    } else {
        s.bands_refusals = 0;
    }
    summed = true;
    double sum = 0.0;
    for (int p = 0; p < team; ++p) {
        sum += held[p];
        keep_lowest(v.exhausted, exhausted[p]);
    }
    return sum;
}

// The threads of the erosion step of n cells. A cell's erosion costs some
// 30 times what a cell of one of the water's loops does (its
// exponentials, logarithms and class loops: 60 to 90 ns a step), so a
// thread is worth its start, its wait at the job's end and the water it
// pulls into its caches on a 32nd of the cells thread_team gives a thread
// of those loops: a share of 2048 cells by default, some 150 us of
// erosion, about twice the time a sleeping thread takes to wake. The
// ordered moves, on one thread, take about 40 % of the step, and the rest
// keeps at most three more threads busy beside them: a larger team would
// only wait.
constexpr long long kErosionCellWeight = 32;
constexpr int kErosionTeamMost = 4;
static_assert(kErosionTeamMost <= kErosionSlots, "each thread of the team has a scratch slot");

int erosion_team(int n) { return std::min(kErosionTeamMost, thread_team(kErosionCellWeight * n)); }

// The threads of the erosion step of n cells in bands (move_in_bands),
// which moves faces on every thread: one for each 64th of the cells
// thread_team gives a thread of the water's loops (1024 cells by default,
// two bands), and at most kBandTeamMost. Every band waits for the one
// above: a team that takes every core of a machine that runs anything
// else loses one of them to it in most steps (on 8 cores beside one other
// busy process, 8 threads took 26-70 ns a cell-step where 4 took 34-37).
constexpr long long kBandCellWeight = 64;
constexpr int kBandTeamMost = 4;
static_assert(kBandTeamMost <= kErosionSlots, "each thread of the team has a scratch slot");
// How long the threads of the bands wait for the erosion step, spinning,
// once woken before the water's routing (wake_erosion_team): a sleeping
// thread takes some 100 us to wake, and the routing of a grid of up to
// kWakeCellsMost cells takes at most about 300 us (some 20 ns a cell on
// one thread). Woken for a longer routing, they would spin through it and
// be asleep again when the erosion begins.
constexpr double kWakeMicroseconds = 300.0;
constexpr int kWakeCellsMost = 16384;

int band_team(int n) { return std::min(kBandTeamMost, thread_team(kBandCellWeight * n)); }

// The threads the step's faces move on in bands (move_in_bands); 1: not
// in bands, which needs the second formula, no lakes, a class count that
// has its own copy of the transport (1 to 6), more than a block of cells
// and a grid of rows (know_bands).
int bands_team(step_view& v) {
    if (v.classes < 1 || v.classes > 6 || !v.batched || v.lakes || v.n <= kCellBlock ||
        std::chrono::steady_clock::now() < v.s.bands_refused_until)
        return 1;
    const int team = band_team(v.n);
    if (team <= 1) return 1;
    if (v.s.row_count < 0) know_bands(v);
    return v.s.row_count > 0 ? std::min(team, v.s.band_count) : 1;
}

// Moves the sediment of the step: in bands on a team where the grid, the
// formula and the class count allow and the team has more than one thread;
// else beside the ordered moves on the erosion's team where it has more
// than one thread and the grid more than one segment; else in order on the
// calling thread. Returns what move_in_order does.
template <int Classes>
double move_sediment(step_view& v, bool& summed) {
    know_block_reaches(v);
    if (v.n <= kCellBlock) return move_in_order<Classes>(v, summed);
    if (const int team = bands_team(v); Classes > 0 && team > 1) return move_in_bands<Classes>(v, summed, team);
    const int team = erosion_team(v.n);
    if (team > 1) return move_on_team<Classes>(v, summed, team);
    return move_in_order<Classes>(v, summed);
}

// Moves the sediment of the step; the sum of the volumes the cells hold
// afterwards, and whether it is known, as move_sediment.
double transport_all(step_view& v, bool& summed) {
    switch (v.classes) {
        case 1: return move_sediment<1>(v, summed);
        case 2: return move_sediment<2>(v, summed);
        case 3: return move_sediment<3>(v, summed);
        case 4: return move_sediment<4>(v, summed);
        case 5: return move_sediment<5>(v, summed);
        case 6: return move_sediment<6>(v, summed);
        default: return move_sediment<0>(v, summed);
    }
}

// Cell i and its row of the SOIL_EROSION_PROPS table.
std::string cell_and_parameters(const step_view& v, int i) {
    const model_state& m = v.m;
    const sed_record& s = v.s;
    int row = 0, col = 0;
    cell_row_col(m, i, row, col);
    return format_text("cell %d (row %d, column %d), to which the SOIL_EROSION_PROPS table of mapping-table file %s "
                       "gives TC_C %g, TC_I %g, TC_R %g, SPLASH_K %g, DETACH_K %g, DETACH_I %g, DETACH_C %g, SED_K %g",
                       i, row, col, m.mapping_table.c_str(), s.tc_C[i], s.tc_I[i], s.tc_R[i], s.splash_K[i],
                       s.detach_K[i], s.detach_I[i], s.detach_C[i], s.sed_K[i]);
}

// A cell that had no more parent soil to give stops the run.
void refuse_exhausted(const step_view& v) {
    refuse(format_text("Error: the soil erosion cannot stay physical: at %.2f minutes rain splash and flow would take "
                       "more than the %g m of parent soil a cell gives in a run from %s%s. The run stops.\n",
                       v.m.elapsed_min, kErodibleDepth, cell_and_parameters(v, v.exhausted).c_str(),
                       v.m.project_options.adjust_elev_given
                           ? "; with ADJUST_ELEV the ground it loses steepens its slopes, and so its erosion"
                           : ""));
}

// A volume that is not a number stops the run, naming the first cell and
// class that holds one. `held`, when `summed`, is the sum of the volumes
// transport_all found.
bool volumes_are_real(const step_view& v, double held, bool summed) {
    if (summed && std::isfinite(held)) return true;
    const sed_record& s = v.s;
    const struct {
        const mat2<double>* table;
        const char* what;
    } kTables[] = {{&s.vol_sed.suspended, "suspended"}, {&s.vol_sed.parent, "eroded"},
                   {&s.vol_sed.deposited, "deposited"}};
    double sum = 0.0;
    for (const auto& t : kTables) {
        const mat2<double>& table = *t.table;
        for (int i = 1; i <= v.n; ++i) sum += sum_classes(table[i], v.classes);
    }
    if (std::isfinite(sum)) return true;
    for (int i = 1; i <= v.n; ++i) {
        for (const auto& t : kTables) {
            for (int k = 1; k <= v.classes; ++k) {
                if (std::isfinite((*t.table)[i][k])) continue;
                refuse_on_stderr(format_text("PT 3 %s soil particle %2d=Nan at grid %d\n(%s)\n", t.what, k, i,
                                             cell_and_parameters(v, i).c_str()));
                return false;
            }
        }
    }
    refuse_on_stderr("PT 3 the overland sediment volumes have grown beyond any number\n");
    return false;
}

}  // namespace

}  // namespace erosion_detail

void wake_erosion_team(model_state& m, double dt) {
    using namespace erosion_detail;
    if (!m.ov_sed || !(dt > 0.0) || m.ncells > kWakeCellsMost) return;
    step_view v(m, dt);
    if (const int team = bands_team(v); team > 1) wake_team(team, kWakeMicroseconds);
}

void overland_sediment_transport(model_state& m, double dt) {
    using namespace erosion_detail;
    if (!m.ov_sed || !(dt > 0.0)) return;
    step_view v(m, dt);
    m.ov_sed->sed_out_vol = 0.0;
    bool summed = false;
    const double held = transport_all(v, summed);
    if (!v.booked) book_cells(v, 1, v.n);
    if (volumes_are_real(v, held, summed) && v.exhausted) refuse_exhausted(v);
}

}  // namespace kesta
