// Detachment of overland soil by particle size class over one step: on
// every cell outside the lakes, by rain splash and by the shear of the
// flow, from the loose deposit when it can give what is detached, else the
// whole deposit and, for the rest, the parent soil by its class shares (a
// cell under a channel gives up nothing then). No cell gives more than
// kErodibleDepth of parent soil over a run. The cells go a block at a
// time: their rain splash and flow shear volumes first, in whole vectors,
// then what each cell gives, eight cells side by side where the machine
// and the class count allow (each cell's own operations in its order),
// else in order.
#include <algorithm>
#include <cmath>

#include "transport/erosion_step.hpp"

namespace kesta {

namespace erosion_detail {

namespace {

// Rain splash by band of intensity (from `from` mm/h): a I^b.
struct splash_band {
    double from, a, b;
};
constexpr splash_band kSplashBands[] = {
    {100.0, 1.175e-7, 1.2821}, {50.0, 6.12e-8, 1.4242}, {10.0, 3.75e-8, 1.5545}, {0.0, 2.69e-8, 1.6896}};
// Drop diameter 0.00124 I^0.182 (m, I in mm/h).
constexpr double kDropCoefficient = 0.00124;
constexpr double kDropExponent = 0.182;
// Defaults of the soil parameters a cell gives as 0 or less.
constexpr double kDefaultSplashK = 60.0;
constexpr double kDefaultDetachK = 2e-5;
constexpr double kDefaultDetachExponent = 1.0;

const splash_band& band_of(double intensity) {
    for (const splash_band& b : kSplashBands) {
        if (intensity >= b.from) return b;
    }
    return kSplashBands[3];
}

}  // namespace

void splash_rain::set(double i) {
    if (i == intensity) return;
    intensity = i;
    const splash_band& b = band_of(i);
    rate = b.a * std::pow(i, b.b);
    drop = rain_drop_diameter(i);
}

namespace {

// Splash volume of a rate a I^b (m3).
double splash_of(double rate, double drop, double h, double dt, double dx, double k) {
    const double damping = drop < h ? std::exp(1.0 - h / drop) : 1.0;
    return k * damping * rate * dt * dx * dx / kSoilDensity;
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

// The soil of cell i as the detachment sees it.
template <int Classes>
cell_soil soil_of(const step_view& v, int i) {
    return {v.parent_fract.row<Classes>(i), v.deposit_fract.row<Classes>(i), v.parent.row<Classes>(i),
            v.suspended.row<Classes>(i),    v.deposited.row<Classes>(i),     v.eroded.row<Classes>(i),
            v.classes,                      v.s.channel_cells[i] != 0,       kErodibleDepth * v.dx * v.dx};
}

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

}  // namespace

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
        cell_soil soil = soil_of<Classes>(v, i);
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

template void detach_block<0>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<1>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<2>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<3>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<4>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<5>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);
template void detach_block<6>(step_view&, int, int, int, const vec1<double>&, splash_rain&, block_scratch&);

}  // namespace erosion_detail

double rain_drop_diameter(double intensity) { return erosion_detail::kDropCoefficient * std::pow(intensity, erosion_detail::kDropExponent); }

double splash_volume(double intensity, double h, double dt, double dx, double k) {
    using namespace erosion_detail;
    if (!(intensity > kTiny)) return 0.0;
    const splash_band& b = band_of(intensity);
    return splash_of(b.a * std::pow(intensity, b.b), rain_drop_diameter(intensity), h, dt, dx, k);
}

}  // namespace kesta
