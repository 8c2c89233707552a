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
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "core/error_record.hpp"
#include "core/thread_team.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "transport/erosion_vectors.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

constexpr double kTiny = 1e-16;  // a depth (m), volume (m3) or slope below this is none
// A face carrying less water per unit width moves no sediment (m2/s).
constexpr double kLeastUnitDischarge = 1e-6;

// Rain splash by band of intensity (from `from` mm/h): a I^b.
struct splash_band {
    double from, a, b;
};
constexpr splash_band kSplashBands[] = {
    {100.0, 1.175e-7, 1.2821}, {50.0, 6.12e-8, 1.4242}, {10.0, 3.75e-8, 1.5545}, {0.0, 2.69e-8, 1.6896}};
// Drop diameter 0.00124 I^0.182 (m, I in mm/h).
constexpr double kDropCoefficient = 0.00124;
constexpr double kDropExponent = 0.182;
// Parent soil a cell gives over a run at most (m of ground). Sheet and rill
// erosion, which these laws describe, strip millimetres to centimetres in a
// storm; a cell that loses a metre has been cut by a gully or by parameters
// that drive the laws beyond any soil, and with ADJUST_ELEV the ground it
// loses would steepen its slopes and its erosion without end.
constexpr double kErodibleDepth = 1.0;
// Defaults of the soil parameters a cell gives as 0 or less.
constexpr double kDefaultSplashK = 60.0;
constexpr double kDefaultDetachK = 2e-5;
constexpr double kDefaultDetachExponent = 1.0;
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

// x^e; x itself for the exponent 1 (the default of the detachment and the
// usual value of the tables), which the library's power returns exactly too.
double power_of(double x, double e) { return e == 1.0 ? x : std::pow(x, e); }

const splash_band& band_of(double intensity) {
    for (const splash_band& b : kSplashBands) {
        if (intensity >= b.from) return b;
    }
    return kSplashBands[3];
}

// The splash rate a I^b of one intensity and its drop diameter, kept while
// the cells share the intensity (rain from one gauge falls alike on all).
struct splash_rain {
    double intensity = -1.0;
    double rate = 0.0;  // a I^b
    double drop = 0.0;  // m

    void set(double i) {
        if (i == intensity) return;
        intensity = i;
        const splash_band& b = band_of(i);
        rate = b.a * std::pow(i, b.b);
        drop = rain_drop_diameter(i);
    }
};

// Splash volume of a rate a I^b (m3).
double splash_of(double rate, double drop, double h, double dt, double dx, double k) {
    const double damping = drop < h ? std::exp(1.0 - h / drop) : 1.0;
    return k * damping * rate * dt * dx * dx / kSoilDensity;
}

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

// The soil of one cell as the detachment sees it.
struct cell_soil {
    const double* parent_fract;
    double* deposit_fract;
    double* parent;
    double* suspended;
    double* deposited;
    double* eroded;  // this step's detachment, class 0 the total
    int classes;
    bool channel;
    double erodible;         // m3 of parent soil the cell may lose over the run
    bool exhausted = false;  // a detachment asked for more than was left of it
};

// The loose deposit (of total `p`) gives `v` by its class shares.
template <int Classes>
[[gnu::always_inline]] inline void detach_from_deposit(cell_soil& c, double v, double p) {
    const int classes = class_count<Classes>(c.classes);
    double total = c.eroded[0];  // summed class by class, held apart from the rows it might alias
#pragma GCC unroll 8
    for (int k = 1; k <= classes; ++k) {
        const double f = c.deposited[k] / p;
        c.deposit_fract[k] = f;
        const double x = v * f;
        c.deposited[k] -= x;
        c.suspended[k] += x;
        c.eroded[k] += x;
        total += x;
    }
    c.eroded[0] = total;
}

// The whole deposit and `e` of parent soil, by the parent shares; no more
// parent soil than the cell has left to give.
template <int Classes>
[[gnu::always_inline]] inline void detach_parent(cell_soil& c, double e) {
    const int classes = class_count<Classes>(c.classes);
    const double share = sum_classes<Classes>(c.parent_fract, c.classes);
    const double left = std::max(0.0, c.erodible + sum_classes<Classes>(c.parent, c.classes));  // parent slots fall from 0
    if (!(share * e <= left)) {
        e = share > 0.0 ? left / share : 0.0;
        c.exhausted = share > 0.0;
    }
    double total = c.eroded[0];
#pragma GCC unroll 8
    for (int k = 1; k <= classes; ++k) {
        const double from_parent = c.parent_fract[k] * e;
        const double x = from_parent + c.deposited[k];
        c.suspended[k] += x;
        c.deposited[k] = 0.0;
        c.parent[k] -= from_parent;
        c.eroded[k] += x;
        total += x;
    }
    c.eroded[0] = total;
}

template <int Classes>
void detach_by_rain(cell_soil& c, double v) {
    if (!(v > 0.0)) return;
    const double p = sum_classes<Classes>(c.deposited, c.classes);
    if (p > kTiny && v < p)
        detach_from_deposit<Classes>(c, v, p);
    else if (!c.channel)
        detach_parent<Classes>(c, std::max(v - p, 0.0));
}

// Flow shear detaches coef x tau^exponent, the deposit first; the parent
// soil only yields to the shear above the critical one.
template <int Classes>
void detach_by_flow(cell_soil& c, double slope, double h, double dt, double dx, double coef, double exponent,
                    double critical) {
    if (!(h > kTiny && slope > kTiny)) return;
    const double tau = kWaterDensity * kGravity * h * slope;
    const double scale = coef * dt * dx * dx / kSoilDensity;
    const double v = scale * power_of(tau, exponent);
    if (!(v > 0.0)) return;
    const double p = sum_classes<Classes>(c.deposited, c.classes);
    if (v < p) {
        detach_from_deposit<Classes>(c, v, p);
    } else if (!c.channel) {
        const double beyond = tau > critical ? scale * power_of(tau - critical, exponent) : 0.0;
        detach_parent<Classes>(c, (1.0 - p / v) * beyond);
    }
}

// Detachment by the shear of the flow of volume v and, from the parent
// soil, `beyond` (m3), worked out before: the deposit first.
template <int Classes>
void detach_by_shear(cell_soil& c, double v, double beyond) {
    if (!(v > 0.0)) return;
    const double p = sum_classes<Classes>(c.deposited, c.classes);
    if (v < p) {
        detach_from_deposit<Classes>(c, v, p);
    } else if (!c.channel) {
        // Below the critical shear, a cell without deposit (where the
        // shear alone flows, as after the rain) gives nothing.
        if (beyond == 0.0 && p == 0.0 && holds_none<Classes>(c.deposited, c.classes)) return;
        // Without deposit (as after the rain took it) 1 - p / v is 1: no division.
        detach_parent<Classes>(c, (p == 0.0 ? 1.0 : 1.0 - p / v) * beyond);
    }
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

    template <int Classes>
    cell_soil soil(int i) {
        return {parent_fract.row<Classes>(i), deposit_fract.row<Classes>(i), parent.row<Classes>(i),
                suspended.row<Classes>(i), deposited.row<Classes>(i), eroded.row<Classes>(i), classes,
                s.channel_cells[i] != 0, kErodibleDepth * dx * dx};
    }
};

// The water-surface slope across the face from cell i to neighbour j (0
// for none), with a lake's level on its cells. `finished` when either cell
// lies in a lake: cell i then detaches nothing.
double face_slope(const step_view& v, int i, int j, bool& finished) {
    const model_state& m = v.m;
    const int li = v.lake_of(i), lj = j ? v.lake_of(j) : 0;
    if (li) {
        finished = true;
        return j && !lj ? (m.lake_elev[li] - m.elev[j] - m.h[j]) / v.dx : 0.0;
    }
    if (lj) {
        finished = true;
        return (m.h[i] + m.elev[i] - m.lake_elev[lj]) / v.dx;
    }
    return j ? (m.h[i] + m.elev[i] - m.h[j] - m.elev[j]) / v.dx : 0.0;
}

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

void block_capacities(step_view& v, int lo, int count, const capacity_work& work);

// Detaches soil on the cells lo .. lo + count - 1: their slopes, then
// their splash and shear volumes together in whole vectors, then what each
// cell gives, in order. With batched capacities, works out those of the
// block's faces after their slopes. Reads and writes nothing of other
// cells but their water, and nothing shared but what the water gives, so
// blocks may be detached at the same time, each with its own scratch `w`.
// The soil of the cells up to `last` (at least lo + count - 1) is asked
// into the cache ahead of use: on a team, the cells the thread itself
// detaches next, and none that another thread is working on, whose lines
// the request would take from under it.
template <int Classes>
void detach_block(step_view& v, int lo, int count, int last, const vec1<double>& rain, splash_rain& splash,
                  block_scratch& w) {
    model_state& m = v.m;
    sed_record& s = v.s;
    double* rate = w.rate;
    double* drop = w.drop;
    int* state = w.state;  // bit 1: finished, bit 2: water flows out
    bool unit_exponents = true, rain_falls = false;
    for (int c = 0; c < count; ++c) {
        const int i = lo + c;
        bool finished = false;
        if (v.lakes) {
            s.Sfx[i] = face_slope(v, i, m.rightcon[i], finished);
            s.Sfy[i] = face_slope(v, i, m.belowcon[i], finished);
        } else {
            // face_slope's own sums, without lakes.
            const int right = m.rightcon[i], below = m.belowcon[i];
            const double level = m.h[i] + m.elev[i];
            s.Sfx[i] = right ? (level - m.h[right] - m.elev[right]) / v.dx : 0.0;
            s.Sfy[i] = below ? (level - m.h[below] - m.elev[below]) / v.dx : 0.0;
        }
        if (i == v.outlet && v.exit == exit_face::right) s.Sfx[i] = m.outslope;
        if (i == v.outlet && v.exit == exit_face::lower) s.Sfy[i] = m.outslope;
        const double qx = v.qx(i), qy = v.qy(i);
        state[c] = (finished ? 1 : 0) | (qx * qx + qy * qy > 0.0 ? 2 : 0);
        const double intensity = rain[i];
        rate[c] = 0.0;
        drop[c] = 1.0;
        if (!finished && intensity > kTiny) {
            splash.set(intensity);
            rate[c] = splash.rate;
            drop[c] = splash.drop;
            rain_falls = true;
        }
        unit_exponents = unit_exponents && !(s.detach_I[i] > 0.0 && s.detach_I[i] != 1.0);
    }
    if (v.batched) block_capacities(v, lo, count, w.batch);
    // Each cell's outgoing flux of the step: its faces touch it only once
    // it is detached.
    if (v.fluxes) std::fill(s.ov_qsmax.data() + lo, s.ov_qsmax.data() + lo + count, 0.0);
    const double* h = m.h.data() + lo;
    double* splashed = w.splash;
    double* sheared = w.shear;
    double* beyond = w.beyond;
    if (rain_falls)  // else no cell of the block reads its splash
        splash_volumes(h, drop, rate, s.splash_K.data() + lo, kDefaultSplashK, v.dt, v.dx, kSoilDensity, w.work,
                       splashed, count);
    if (unit_exponents)
        shear_volumes(h, s.Sfx.data() + lo, s.Sfy.data() + lo, s.detach_K.data() + lo, s.detach_C.data() + lo,
                      kDefaultDetachK, kWaterDensity * kGravity, kTiny, v.dt, v.dx, kSoilDensity, sheared, beyond,
                      count);
    // The whole vectors of the block's cells side by side where the machine
    // and the class count have that form; the rest, and soils of other
    // exponents, a cell at a time.
    int from = 0;
    if constexpr (Classes > 0) {
        if (unit_exponents) {
            const int whole = count / kBatchLanes * kBatchLanes;
            const soil_rows rows{v.parent_fract.row<Classes>(lo), v.deposit_fract.row<Classes>(lo),
                                 v.parent.row<Classes>(lo),       v.suspended.row<Classes>(lo),
                                 v.deposited.row<Classes>(lo),    v.eroded.row<Classes>(lo),
                                 last - lo + 1};
            const detach_sources sources{rain.data() + lo, splashed, sheared, beyond, state,
                                         s.channel_cells.data() + lo, kTiny, kErodibleDepth * v.dx * v.dx};
            int short_of = -1;
            if (detach_cells(rows, sources, Classes, whole, short_of)) from = whole;
            if (short_of >= 0 && w.exhausted == 0) w.exhausted = lo + short_of;
        }
    }
    for (int c = from; c < count; ++c) {
        if (state[c] & 1) continue;
        const int i = lo + c;
        cell_soil soil = v.soil<Classes>(i);
        if (rain[i] > kTiny) detach_by_rain<Classes>(soil, splashed[c]);
        if (state[c] & 2) {
            if (unit_exponents) {
                detach_by_shear<Classes>(soil, sheared[c], beyond[c]);
            } else {
                const double slope = std::sqrt(s.Sfx[i] * s.Sfx[i] + s.Sfy[i] * s.Sfy[i]);
                const double coef = s.detach_K[i] > 0.0 ? s.detach_K[i] : kDefaultDetachK;
                const double exponent = s.detach_I[i] > 0.0 ? s.detach_I[i] : kDefaultDetachExponent;
                const double critical = s.detach_C[i] > 0.0 ? s.detach_C[i] : 0.0;
                detach_by_flow<Classes>(soil, slope, m.h[i], v.dt, v.dx, coef, exponent, critical);
            }
        }
        if (soil.exhausted && w.exhausted == 0) w.exhausted = i;
    }
}

// The rain (mm/h) that splashes: what passes the interception when it is on.
const vec1<double>& splashing_rain(const step_view& v) {
    return v.m.interception == 1 && holds(v.m.ri_eff, v.n) ? v.m.ri_eff : v.m.ri;
}

// The last cell of the block that holds `cell`: the detachment takes whole
// blocks.
int block_end(const step_view& v, int cell) {
    return std::min(v.n, (std::max(cell, 1) - 1) / kCellBlock * kCellBlock + kCellBlock);
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
// block_last and block_back), once: the neighbours do not change.
void know_block_reaches(step_view& v) {
    sed_record& s = v.s;
    if (s.blocks_known) return;
    s.blocks_behind = false;
    for (int b = 1, first = 1; first <= v.n; ++b, first += kCellBlock) {
        bool back = false;
        s.block_last[b] = reach_of_cells(v.m, first, std::min(kCellBlock, v.n - first + 1), back);
        s.block_back[b] = back ? 1 : 0;
        s.blocks_behind = s.blocks_behind || back;
    }
    s.blocks_known = true;
}

// reach_of_cells of the block of cells that begins at `lo` (a block's first
// cell), from the table of know_block_reaches.
int block_reach(const step_view& v, int lo, bool& behind) {
    const sed_record& s = v.s;
    const int b = (lo - 1) / kCellBlock + 1;
    behind = s.block_back[b] != 0;
    return s.block_last[b];
}

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

// The sum of the suspended, parent and deposited rows of the cells lo ..
// lo + count - 1, the class slot 0 of each (0 in these tables) included,
// in whole vectors (in any order: the sum only tells whether every volume
// is a number).
double block_held(const step_view& v, int lo, int count) {
    const std::ptrdiff_t values = static_cast<std::ptrdiff_t>(count) * (v.classes + 1);
    return sum_of(v.suspended[lo], v.parent[lo], v.deposited[lo], values);
}

// Books what the step eroded and deposited on the cells lo .. hi, which no
// later face of the step touches, into each cell's net volume over the run
// and, with ADJUST_ELEV, into its ground (and with SEDIMENT_CONTAM for the
// sediment-bound constituents), and clears their rows for the next step.
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
        if (adjust) m.elev[i] += net / area;
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
        bool behind = false;
        const int reach = block_reach(v, lo, behind);
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

// Blocks of cells a part of the erosion's team job detaches or works out
// the shares of: short, so that a thread that wakes late finds most of the
// work taken by the threads that run, and leaves none of it for them to
// wait for.
constexpr int kPartBlocks = 2;

// The scratch slots of the parts of a team job that run at once: a part
// takes a free slot and gives it back when it ends. At most as many parts
// run at once as the team has threads (kErosionTeamMost, below
// kErosionSlots).
class slot_pool {
public:
    int take() {
        unsigned taken = taken_.load(std::memory_order_relaxed);
        for (;;) {
            const int slot = __builtin_ctz(~taken);
            if (taken_.compare_exchange_weak(taken, taken | 1u << slot, std::memory_order_acquire)) return slot;
        }
    }
    void give(int slot) { taken_.fetch_and(~(1u << slot), std::memory_order_release); }

private:
    std::atomic<unsigned> taken_{0};
};

// A segment of blocks of cells.
struct segment {
    int first = 1, last = 0;  // its cells
    int reach = 0;            // the last cell the faces of it or of a segment before it touch
    int detached = 0;         // its faces move once the cells 1 .. detached are detached
    bool behind[kSegmentBlocksMost] = {};  // of each block, as block_reach
    int blocks() const { return (last - first) / kCellBlock + 1; }
};

// The segment of `size` blocks from block `first` (0 the grid's first),
// after segments that reach `reach_before`.
segment segment_of(const step_view& v, int first, int size, int reach_before) {
    segment g;
    g.first = first * kCellBlock + 1;
    g.last = std::min(v.n, g.first + size * kCellBlock - 1);
    g.reach = reach_before;
    for (int b = 0; b < g.blocks(); ++b) {
        const int lo = g.first + b * kCellBlock;
        g.reach = std::max(g.reach, block_reach(v, lo, g.behind[b]));
    }
    g.detached = block_end(v, g.reach);
    return g;
}

// `first` becomes `cell` where `cell` is a cell (not 0) before it, or
// `first` is none yet (0).
void keep_lowest(int& first, int cell) {
    if (cell && (first == 0 || cell < first)) first = cell;
}

// The step of move_in_order, with the same results, bit for bit, on a team
// of `team` threads (above 1). Only the faces must be taken in order; a
// cell's detachment reads its own soil and the water alone, and the
// settling shares the water alone. So the grid is cut into a few
// segments, and while the faces of one segment move, in order, as one part
// of a team job, the other parts detach the cells beyond the segment's
// reach that the next segment's faces touch and work out the next
// segment's shares: the parts write the soil of disjoint cells, and each
// has its own scratch slot (and its own splash cache, which holds what the
// intensity alone gives). The part of the first segment's faces detaches
// the cells they touch first, so that the step's first job begins at once
// on the calling thread while the team wakes; the last segment's faces
// move on the calling thread alone. The first cell to run out of parent
// soil is the lowest any part found.
template <int Classes>
double move_on_team(step_view& v, bool& summed, int team) {
    sed_record& s = v.s;
    const vec1<double>& rain = splashing_rain(v);
    const int blocks = (v.n + kCellBlock - 1) / kCellBlock;
    // The first segment's faces wait for its detachment, which nothing
    // runs beside, while the rest of the team wakes (which takes up to a
    // hundred microseconds) and detaches the cells the next segment
    // touches, more slowly than the calling thread, whose caches hold the
    // water: a share of the grid of 2 / (team + 2) keeps both about even
    // (the detachment and the shares cost about 1.5 times the ordered
    // moves). The other segments are as long as the caches allow, so that
    // a small grid's step is one team job.
    const int lead_size = std::max(1, std::min(kSegmentBlocksMost, 2 * blocks / (team + 2)));
    const int size = std::min(kSegmentBlocksMost, blocks);
    const std::ptrdiff_t block_span = 2 * static_cast<std::ptrdiff_t>(v.classes + 1) * kCellBlock;
    splash_rain splash[kErosionSlots];
    int exhausted[kErosionSlots] = {};
    slot_pool slots;
    double held = 0.0;
    summed = true;
    int done = 0;  // the cells 1 .. done are detached when a stage ends

    // Detaches the cells from .. to (whole blocks) and works out the shares
    // of the blocks of `g` (none: nullptr) into `shares`, items `first` ..
    // `end` - 1 of that work, with the scratch of `slot`.
    const auto work = [&](int from, int to, const segment* g, double* shares, int first, int end, int slot) {
        const int detach_blocks = (std::max(to - from + 1, 0) + kCellBlock - 1) / kCellBlock;
        // The last cell this part detaches.
        const int last = std::min(v.n, from + std::min(end, detach_blocks) * kCellBlock - 1);
        block_scratch scratch(s, slot);
        for (int item = first; item < end; ++item) {
            if (item < detach_blocks) {
                const int lo = from + item * kCellBlock;
                detach_block<Classes>(v, lo, std::min(kCellBlock, v.n - lo + 1), last, rain, splash[slot], scratch);
            } else {
                const int b = item - detach_blocks, lo = g->first + b * kCellBlock;
                block_settle_shares(v, lo, std::min(kCellBlock, g->last - lo + 1), shares + b * block_span,
                                    scratch.work);
            }
        }
        keep_lowest(exhausted[slot], scratch.exhausted);
    };
    const auto items_of = [](int from, int to, const segment* g) {
        return (std::max(to - from + 1, 0) + kCellBlock - 1) / kCellBlock + (g ? g->blocks() : 0);
    };

    // One stage: the faces of `moving` (none: nullptr), with its shares in
    // `moving_shares` (worked out first when `lead`, after the detachment
    // of the cells they touch), beside the detachment of the cells up to
    // `to` and the shares of `next` (none: nullptr) into `next_shares`.
    const auto stage = [&](const segment* moving, double* moving_shares, bool lead, int to, const segment* next,
                           double* next_shares) {
        const int led = lead ? moving->detached : done;
        const int items = items_of(led + 1, to, next);
        const int workers = (items + kPartBlocks - 1) / kPartBlocks;
        const int first_worker = moving ? 1 : 0;
        const int from = done;
        const auto part = [&](int p, int) {
            if (p < first_worker) {
                if (lead) {
                    const int slot = slots.take();
                    work(from + 1, led, moving, moving_shares, 0, items_of(from + 1, led, moving), slot);
                    slots.give(slot);
                }
                for (int b = 0; b < moving->blocks(); ++b) {
                    const int lo = moving->first + b * kCellBlock, count = std::min(kCellBlock, moving->last - lo + 1);
                    move_block<Classes>(v, lo, count, moving_shares + b * block_span);
                    summed = summed && !moving->behind[b];
                    if (summed) held += block_held(v, lo, count);
                }
                return;
            }
            const int w = p - first_worker, slot = slots.take();
            work(led + 1, to, next, next_shares, w * kPartBlocks, std::min(items, (w + 1) * kPartBlocks), slot);
            slots.give(slot);
        };
        run_parts_on_team(team, first_worker + workers, part);
        done = std::max(led, to);
    };

    double* const shares[2] = {s.team_share.data(), s.team_share.data() + size * block_span};
    segment next = segment_of(v, 0, lead_size, 0);
    if (!v.batched) {
        // The capacities of the other formulas are worked out from what the
        // sources hold once every cell is detached.
        stage(nullptr, nullptr, false, v.n, &next, shares[0]);
        face_capacities(v);
    }
    for (int k = 0;; ++k) {
        const segment moving = next;
        const bool more = moving.last < v.n;
        if (more) next = segment_of(v, moving.last / kCellBlock, size, moving.reach);
        stage(&moving, shares[k % 2], k == 0 && v.batched, more ? next.detached : moving.detached,
              more ? &next : nullptr, shares[(k + 1) % 2]);
        if (!more) break;
    }
    for (const int cell : exhausted) keep_lowest(v.exhausted, cell);
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

double rain_drop_diameter(double intensity) { return kDropCoefficient * std::pow(intensity, kDropExponent); }

double splash_volume(double intensity, double h, double dt, double dx, double k) {
    if (!(intensity > kTiny)) return 0.0;
    const splash_band& b = band_of(intensity);
    return splash_of(b.a * std::pow(intensity, b.b), rain_drop_diameter(intensity), h, dt, dx, k);
}

void wake_erosion_team(model_state& m, double dt) {
    if (!m.ov_sed || !(dt > 0.0) || m.ncells > kWakeCellsMost) return;
    step_view v(m, dt);
    if (const int team = bands_team(v); team > 1) wake_team(team, kWakeMicroseconds);
}

void overland_sediment_transport(model_state& m, double dt) {
    if (!m.ov_sed || !(dt > 0.0)) return;
    step_view v(m, dt);
    m.ov_sed->sed_out_vol = 0.0;
    bool summed = false;
    const double held = transport_all(v, summed);
    if (!v.booked) book_cells(v, 1, v.n);
    if (volumes_are_real(v, held, summed) && v.exhausted) refuse_exhausted(v);
}

}  // namespace kesta
