// The view of one overland erosion step that its detachment, its ordered
// moves and its team share: the step's tables addressed by cell, the
// scratch of a thread, and the pieces each file lends the others.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "model/model_state.hpp"
#include "transport/erosion_vectors.hpp"
#include "transport/sediment.hpp"
#include "transport/sediment_state.hpp"

namespace kesta::erosion_detail {

constexpr double kTiny = 1e-16;  // a depth (m), volume (m3) or slope below this is none
// Parent soil a cell gives over a run at most (m of ground). Sheet and rill
// erosion, which these laws describe, strip millimetres to centimetres in a
// storm; a cell that loses a metre has been cut by a gully or by parameters
// that drive the laws beyond any soil, and with ADJUST_ELEV the ground it
// loses would steepen its slopes and its erosion without end.
constexpr double kErodibleDepth = 1.0;

// x^e; x itself for the exponent 1 (the default of the detachment and the
// usual value of the tables), which the library's power returns exactly too.
inline double power_of(double x, double e) { return e == 1.0 ? x : std::pow(x, e); }

// The splash rate a I^b of one intensity and its drop diameter, kept while
// the cells share the intensity (rain from one gauge falls alike on all).
struct splash_rain {
    double intensity = -1.0;
    double rate = 0.0;  // a I^b
    double drop = 0.0;  // m

    void set(double i);
};

// The loops over the classes run to `Classes` when it is above 0, a count
// fixed when the code is compiled (the usual counts have their own copy of
// the detachment and the transport, whose loops the compiler unrolls),
// else to `classes`, the count of the run.
template <int Classes = 0>
int class_count(int classes) {
    return Classes > 0 ? Classes : classes;
}

// The sum starts from the first class rather than from 0: one addition
// less on the ordered moves' chain of dependent operations. It differs
// from a sum from 0 only in the sign of an all-zero sum, which no caller
// sees (they compare it with 0, divide by it only when above 0, or add it
// to a non-zero value).
template <int Classes = 0>
double sum_classes(const double* v, int classes) {
    const int count = class_count<Classes>(classes);
    if (count < 1) return 0.0;
    double s = v[1];
#pragma GCC unroll 8
    for (int k = 2; k <= count; ++k) s += v[k];
    return s;
}

// True when no class of `x` holds anything (not even a negative volume):
// every value is +0 or -0, which is what their bits left of the sign,
// taken together, tell without a branch a class.
template <int Classes = 0>
bool holds_none(const double* x, int classes) {
    const int count = class_count<Classes>(classes);
    std::uint64_t bits = 0;
#pragma GCC unroll 8
    for (int k = 1; k <= count; ++k) {
        std::uint64_t b;
        std::memcpy(&b, &x[k], sizeof b);
        bits |= b;
    }
    return (bits << 1) == 0;
}

// Which face of the outlet lets its sediment out of the grid: the right one
// when it has no right neighbour, else the lower one when it has no lower
// neighbour, else a face of its own beside its two.
enum class exit_face { none, right, lower, own };

struct step_view {
    model_state& m;
    sed_record& s;
    const int n, classes;
    const double dt, dx;
    const double inv_dt;  // 1/s
    // m3 of soil per kg/(m s) of transport rate carried over a face in dt.
    const double to_volume;
    const bool lakes;   // the channel-network lakes take part, with their sediment books
    const bool fluxes;  // each cell's outgoing flux is kept (MAX_SED_FLUX)
    const bool faces;   // what each face and the outlet moved is kept (SEDIMENT_CONTAM)
    const int outlet;
    // The faces' capacities are worked out in whole vectors (the second
    // formula) a block of cells at a time, as the detachment passes them.
    const bool batched;
    exit_face exit = exit_face::none;
    double q_out = 0.0;  // outlet discharge (m3/s)
    int exhausted = 0;   // the first cell that had no more parent soil to give
    bool booked = false;  // every cell's step is booked (book_cells) as its moves ended

    step_view(model_state& model, double step)
        : m(model),
          s(*model.ov_sed),
          n(model.ncells),
          classes(model.ov_sed->num_sed),
          dt(step),
          dx(model.gridsize),
          inv_dt(1.0 / step),
          to_volume(step * model.gridsize / kSoilDensity),
          lakes(model.chan_lakes_on && model.lake_num.n() >= model.ncells &&
                !model.ov_sed->sed_vol_overland_to_lake.empty()),
          fluxes(!model.ov_sed->ov_qsmax.empty()),
          faces(!model.ov_sed->ov_sed_vol_qsx.empty()),
          outlet(model.outlet_cell),
          batched(model.ov_sed->erosion_method == 2 && model.ov_sed->batch_state.n() >= kFaceBatch) {
        if (m.chan_routing != 0 || outlet < 1 || outlet > n) return;
        q_out = m.q_out;
        if (m.rightcon[outlet] == 0)
            exit = exit_face::right;
        else if (m.belowcon[outlet] == 0)
            exit = exit_face::lower;
        else
            exit = exit_face::own;
    }

    // The rows of a cell-by-class table, one block of classes + 1 values a
    // cell, addressed without the table's row pointers.
    struct rows {
        double* data;
        std::ptrdiff_t stride;
        double* operator[](int i) const { return data + i * stride; }
        // The same row, by a class count fixed when compiled (0: the run's).
        template <int Classes>
        double* row(int i) const {
            return data + (Classes > 0 ? static_cast<std::ptrdiff_t>(i) * (Classes + 1) : i * stride);
        }
    };
    rows rows_of(mat2<double>& t) const { return {t.data(), classes + 1}; }
    const rows parent_fract = rows_of(s.sed_fract.parent), deposit_fract = rows_of(s.sed_fract.deposit),
               parent = rows_of(s.vol_sed.parent), suspended = rows_of(s.vol_sed.suspended),
               deposited = rows_of(s.vol_sed.deposited), eroded = rows_of(s.ov_sed_vol_eroded),
               settled = rows_of(s.ov_sed_vol_deposited);

    int lake_of(int i) const { return lakes && i >= 1 ? m.lake_num[i] : 0; }
    // The face discharges of a cell, the outlet's exit carrying q_out.
    double qx(int i) const { return i == outlet && exit == exit_face::right ? q_out : m.qx[i]; }
    double qy(int i) const { return i == outlet && exit == exit_face::lower ? q_out : m.qy[i]; }
};

// The work space of one slot (kErosionSlots) of the step's scratch, and
// what the detachment that uses it found.
struct block_scratch {
    double *rate, *drop, *splash, *shear, *beyond, *work;
    int* state;
    capacity_work batch;
    int exhausted = 0;  // the first cell that had no more parent soil to give

    block_scratch(sed_record& s, int slot) {
        if (slot == 0) {
            rate = s.block_rate.data();
            drop = s.block_drop.data();
            splash = s.block_splash.data();
            shear = s.block_shear.data();
            beyond = s.block_beyond.data();
            work = s.block_work.data();
            state = s.block_state.data();
            batch = {s.batch_q.data(),    s.batch_slope.data(), s.batch_excess.data(), s.batch_rate.data(),
                     s.batch_sed_k.data(), s.batch_state.data(), s.batch_h.data(),      s.batch_threshold.data()};
            return;
        }
        double* a = s.team_scratch.data() +
                    static_cast<std::ptrdiff_t>(slot - 1) * kTeamScratchArrays * kTeamScratchStride;
        const auto next = [&a] { return std::exchange(a, a + kTeamScratchStride); };
        rate = next(), drop = next(), splash = next(), shear = next(), beyond = next(), work = next();
        batch = {next(), next(), next(), next(), next(), next(), next(), next()};
        state = s.team_state.data() + static_cast<std::ptrdiff_t>(slot - 1) * kTeamScratchStride;
    }
};

// `first` becomes `cell` where `cell` is a cell (not 0) before it, or
// `first` is none yet (0).
inline void keep_lowest(int& first, int cell) {
    if (cell && (first == 0 || cell < first)) first = cell;
}

// Detaches soil on the cells lo .. lo + count - 1, asking the soil of the
// cells up to `last` into the cache ahead of use.
template <int Classes>
void detach_block(step_view& v, int lo, int count, int last, const vec1<double>& rain, splash_rain& splash,
                  block_scratch& w);
// The rain (mm/h) that splashes.
const vec1<double>& splashing_rain(const step_view& v);
// The last cell of the block that holds `cell`.
int block_end(const step_view& v, int cell);

// The capacities of the right and lower faces of the cells lo .. lo +
// count - 1 by the second formula, in whole vectors.
void block_capacities(step_view& v, int lo, int count, const capacity_work& work);
// The capacities of the faces whose sources hold sediment when the step's
// transport begins, by any formula (the others are left unknown).
void face_capacities(step_view& v);
// The settling shares of the block of cells lo .. lo + count - 1 into
// `block` (2 x kCellBlock x (classes + 1) values; `work`: kCellBlock).
void block_settle_shares(step_view& v, int lo, int count, double* block, double* work);
// The last cell the faces of the block that begins at `lo` touch.
int block_reach(const step_view& v, int lo);
// Moves sediment across the faces of the cells lo .. lo + count - 1 in
// order, with the block's settling shares.
template <int Classes>
void move_block(step_view& v, int lo, int count, const double* block);
// The sum of the suspended, parent and deposited volumes of the cells lo
// .. lo + count - 1.
double block_held(const step_view& v, int lo, int count);

// The ordered moves of the step with the detachment and the settling
// shares beside them on a team of `team` threads.
template <int Classes>
double move_on_team(step_view& v, bool& summed, int team);

}  // namespace kesta::erosion_detail
