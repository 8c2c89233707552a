// The Richards solver: each cell's column of nodes steps through the
// infiltration interval by implicit sub-steps in pressure head, with Picard
// passes in the mixed form (the moisture change of a node is the divergence
// of the fluxes through its faces, so the column's water always equals what
// entered minus what left). The surface water feeds the top node as a flux
// while the soil takes all of it and as a head once it ponds; evaporation
// draws first on the surface water and then on the root zone.
//
// A sub-step whose moistures leave the soil's range, or whose solution is not
// a number, is taken again at half its length down to a floor, so a column
// always reaches the end of its interval. A column that stays at the floor
// for kMostFloorSteps sub-steps in a row cannot advance: it stops the run.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kSecondsPerHour = 3600.0;
constexpr double kCmPerMetre = 100.0;
constexpr double kFrozenIndex = 83.0;           // frozen-ground index above which the soil takes nothing
constexpr double kFloorStep = 0.01 / 3600.0;    // h; the shortest sub-step
constexpr double kSaturatedStart = 5.0 / 3600.0;  // h; first sub-step under a saturated top node
constexpr double kLongStart = 0.001;            // h; a first sub-step above it is cut to kSaturatedStart
constexpr double kLimitedStep = 0.02;           // h; after a supply-limited or draining top
constexpr double kNoTime = 1e-16;               // h left that ends the interval
constexpr double kRemainderTaken = 1e-8;        // h; a shorter remainder joins the sub-step
constexpr double kMinChange = 1e-4;             // moisture change the next sub-step is scaled from
constexpr double kHeadChangeLimit = 0.1;        // percent; another Picard pass above it
constexpr double kHeadScale = 1.0;              // cm; relative head changes divide by at least it
constexpr int kHeadBoundaryPasses = 5;
constexpr double kWetSurface = 1e-10;  // cm of supply that ponds
constexpr double kDrySurface = 1e-16;  // m
constexpr double kOverfill = 1e-3;     // moisture above saturation a sub-step may leave in a node
constexpr double kUnderfill = 1e-9;    // moisture below residual a sub-step may leave
// Sub-steps in a row at the floor after which a column stops the run: ten
// minutes of model time, which no soil within the table's ranges spends
// there, and a bounded cost for one that does.
constexpr int kMostFloorSteps = 60000;

enum top_state { flux_top = 1, ponded_top = 2, saturated_top = 3 };

// Water moved by one sub-step (cm).
struct moved {
    double infiltrated = 0.0;  // into the top node
    double soil_et = 0.0;      // out through the top and by the roots
    double surface_et = 0.0;   // from the surface water
    double bottom = 0.0;       // out of the bottom node
};

enum class attempt { done, too_long, not_a_number };

class column_solver {
public:
    column_solver(model_state& m, int cell)
        : m_(m), r_(m.richards), w_(m.richards.work), c_(cell), nd_(m.richards.column(cell)),
          n_(m.numcells[cell]), water_table_(m.water_table_given != 0) {
        if (m.long_term && !(value_at(m.ri, cell) > 0.0)) {
            evap_rate_ = value_at(m.pot_et, cell) * kSecondsPerHour;
            demand_rate_ = value_at(m.pot_aet, cell) * kSecondsPerHour;
        }
        root_ = value_at(m.root_depth, cell) * kCmPerMetre;
    }

    // Steps the column through `hours`; returns the evaporated depth (m).
    // Stores a refusal (and steps no further) when the column cannot advance.
    double run(double hours);
    // An exfiltrating cell only loses its surface water to evaporation.
    double evaporate_surface(double hours);

private:
    attempt sub_step(double dts, double remaining, bool take_any, moved& out, double& next);
    void save_start();
    void restore_start();
    void root_extraction(double demand, double dts);
    void face_conductivities(int state, bool head_top);
    bool solve(double dts, bool head_top, double h0, double q);
    void fluxes();
    double update_moisture(double dts);
    void make_consistent();
    double head_change() const;
    double storage() const;

    const richards_soil& soil(int k) const { return r_.soils[static_cast<std::size_t>(nd_[k].soil)]; }
    double dzl(int k) const { return 0.5 * (nd_[k - 1].dz + nd_[k].dz); }

    model_state& m_;
    richards_columns& r_;
    richards_work& w_;
    int c_;
    richards_node* nd_;
    int n_;
    bool water_table_;
    double evap_rate_ = 0.0;    // cm/h
    double demand_rate_ = 0.0;  // cm/h; the most the root zone gives
    double root_ = 0.0;         // cm
};

void column_solver::save_start() {
    for (int k = 0; k <= n_; ++k) {
        w_.start_head[k] = nd_[k].head;
        w_.start_theta[k] = nd_[k].theta;
        w_.start_kr[k] = nd_[k].kr;
        w_.start_capacity[k] = nd_[k].capacity;
        w_.pass_head[k] = nd_[k].head;
    }
}

void column_solver::restore_start() {
    for (int k = 0; k <= n_; ++k) {
        nd_[k].head = w_.start_head[k];
        nd_[k].theta = w_.start_theta[k];
        nd_[k].kr = w_.start_kr[k];
        nd_[k].capacity = w_.start_capacity[k];
    }
}

double column_solver::storage() const {
    double water = 0.0;
    for (int k = 1; k < n_; ++k) water += nd_[k].theta * nd_[k].dz;
    return water;
}

// The evaporative demand left after the surface water (a depth over dts) is
// drawn from the nodes within the root depth, by their share of it and their
// moisture: whole at field capacity, none at the wilting point.
void column_solver::root_extraction(double demand, double dts) {
    for (int k = 0; k <= n_; ++k) w_.source[k] = 0.0;
    if (!(demand > 0.0) || !(root_ > 0.0)) return;
    double top = 0.0;
    for (int k = 1; k < n_ && top < root_; ++k) {
        const double inside = std::min(top + nd_[k].dz, root_) - top;
        top += nd_[k].dz;
        const richards_soil& s = soil(k);
        const double theta = w_.start_theta[k];
        const double dry = std::max(s.thetawp, s.thetar);
        double factor = 1.0;
        if (theta < s.thetafc) factor = theta > dry ? (theta - dry) / (s.thetafc - dry) : 0.0;
        w_.source[k] = -demand / dts * (inside / root_) / nd_[k].dz * factor;
    }
}

// Face conductivities KS (w Kr above + (1 - w) Kr below), or the geometric
// mean of the two Kr; a ponded top may take the saturated value at the ground
// (RICHARDS_UPPER_OPTION 2) or above it (3).
void column_solver::face_conductivities(int state, bool head_top) {
    const bool ponded = head_top && state == ponded_top;
    nd_[0].kr = ponded && m_.richards_upper_option == 3 ? 1.0 : nd_[1].kr;
    const double wgt = m_.richards_weight;
    for (int k = 1; k <= n_; ++k) {
        const double above = nd_[k - 1].kr, below = nd_[k].kr;
        const double kr = m_.richards_k_option == 1 ? wgt * above + (1.0 - wgt) * below : std::sqrt(above * below);
        w_.krinter[k] = nd_[k].ks * kr;
    }
    if (ponded && m_.richards_upper_option == 2) w_.krinter[1] = nd_[1].ks;
}

// One implicit solve for the heads of nodes 1..n-1 from the current heads
// and moistures (mixed form). The top is a head h0 (head_top) or a flux q
// into node 1; the bottom a fixed head at the water table or free drainage.
bool column_solver::solve(double dts, bool head_top, double h0, double q) {
    const int last = n_ - 1;
    for (int k = 1; k <= last; ++k) {
        const double dz = nd_[k].dz;
        const double dzu = 0.5 * (dz + nd_[k + 1].dz);
        const double ku = w_.krinter[k + 1] / (dz * dzu);
        const double kl = k == 1 && !head_top ? 0.0 : w_.krinter[k] / (dz * dzl(k));
        const double cap = nd_[k].capacity / dts;
        w_.upper[k] = -ku;
        w_.lower[k] = -kl;
        w_.diag[k] = cap + ku + kl;
        w_.rhs[k] = cap * nd_[k].head - (nd_[k].theta - w_.start_theta[k]) / dts - w_.krinter[k + 1] / dz +
                    (k == 1 && !head_top ? q : w_.krinter[k]) / dz + w_.source[k];
    }
    if (head_top) w_.rhs[1] -= w_.lower[1] * h0;
    if (water_table_) {
        w_.rhs[last] -= w_.upper[last] * nd_[n_].head;
    } else {
        w_.diag[last] += w_.upper[last];
        w_.upper[last] = 0.0;
    }
    tridiag_solve(1, last, w_.upper.data(), w_.diag.data(), w_.lower.data(), w_.rhs.data());
    r_.node_updates += static_cast<unsigned long long>(last);
    for (int k = 1; k <= last; ++k)
        if (!std::isfinite(w_.rhs[k])) return false;
    for (int k = 1; k <= last; ++k) nd_[k].head = w_.rhs[k];
    if (!water_table_) nd_[n_].head = nd_[last].head;
    return true;
}

// Downward fluxes through the faces above nodes 2..n (cm/h).
void column_solver::fluxes() {
    for (int k = 2; k <= n_; ++k)
        w_.flux[k] = w_.krinter[k] * (1.0 - (nd_[k].head - nd_[k - 1].head) / dzl(k));
}

// New moistures of nodes 1..n-1 from the start of the sub-step and the
// fluxes; returns the largest change.
double column_solver::update_moisture(double dts) {
    double largest = 0.0;
    for (int k = 1; k < n_; ++k) {
        const double theta =
            w_.start_theta[k] + ((w_.flux[k] - w_.flux[k + 1]) / nd_[k].dz + w_.source[k]) * dts;
        largest = std::max(largest, std::fabs(theta - w_.start_theta[k]));
        nd_[k].theta = theta;
    }
    if (!water_table_) nd_[n_].theta = nd_[n_ - 1].theta;
    return largest;
}

// An unsaturated node takes its head from its moisture, which holds its
// water; a saturated one keeps the solved head (at least 0). Then the
// conductivities and capacities follow.
void column_solver::make_consistent() {
    for (int k = 1; k < n_; ++k) {
        richards_node& node = nd_[k];
        const richards_soil& s = soil(k);
        hydraulic_props p;
        if (!unsaturated_state(s, r_.model, node.theta, node.head, p)) {
            // Saturated, or at the residual moisture where no head fits it:
            // the solved head stands (at least 0 when saturated).
            if (node.theta >= s.thetas && node.head < 0.0) node.head = 0.0;
            p = hydraulic_properties(s, r_.model, node.head, node.theta);
        }
        node.kr = p.kr;
        node.capacity = p.capacity;
    }
    if (!water_table_) {
        nd_[n_].head = nd_[n_ - 1].head;
        nd_[n_].kr = nd_[n_ - 1].kr;
        nd_[n_].capacity = nd_[n_ - 1].capacity;
    }
    nd_[0].theta = nd_[1].theta;
    nd_[0].capacity = nd_[1].capacity;
}

// Largest head change of a pass against the last, in percent of the head
// (of at least kHeadScale).
double column_solver::head_change() const {
    double largest = 0.0;
    for (int k = 1; k < n_; ++k) {
        const double before = w_.pass_head[k];
        largest = std::max(largest, std::fabs(nd_[k].head - before) / std::max(std::fabs(before), kHeadScale));
    }
    return largest * 100.0;
}

attempt column_solver::sub_step(double dts, double remaining, bool take_any, moved& out, double& next) {
    save_start();
    double& h = m_.h[c_];
    const double supply_left = kCmPerMetre * h - evap_rate_ * dts;  // cm
    const double supply = std::max(supply_left, 0.0);
    out.surface_et = supply_left > 0.0 ? evap_rate_ * dts : kCmPerMetre * h;
    const double demand = supply_left < 0.0 ? std::min(-supply_left, demand_rate_ * dts) : 0.0;

    int state = m_.bound_type[c_];
    bool head_top = false;
    double h0 = 0.0;  // head of node 0 (cm)
    if (state == ponded_top && supply_left > kWetSurface) {
        head_top = true;
        h0 = supply_left - 0.5 * nd_[0].dz;
    } else if ((state == ponded_top && nd_[1].head >= 0.0) || state == saturated_top) {
        head_top = true;
        h0 = -0.5 * nd_[0].dz;
    } else {
        state = flux_top;
    }
    root_extraction(head_top ? 0.0 : demand, dts);
    double q = head_top ? 0.0 : supply / remaining;  // cm/h offered to the top node
    bool tested = false, limited = false;
    int passes = head_top ? kHeadBoundaryPasses : m_.richards_iter_max;
    double change = 0.0;
    for (int p = 1; p <= passes; ++p) {
        face_conductivities(state, head_top);
        if (!solve(dts, head_top, h0, q)) {
            restore_start();
            return attempt::not_a_number;
        }
        fluxes();
        if (head_top) {
            w_.flux[1] = w_.krinter[1] * (1.0 - (nd_[1].head - h0) / dzl(1));
            if (w_.flux[1] > 0.0 && w_.flux[1] * dts >= supply) {
                w_.flux[1] = supply / dts;
                limited = true;
            }
        } else {
            w_.flux[1] = q;
            if (!tested && supply > kWetSurface) {
                // Can the soil take the supply? Its intake with a wet ground
                // (node 0 at a head of 0) decides; if not, the cell ponds and
                // the pass is solved again with the surface water as a head.
                tested = true;
                const double intake = w_.krinter[1] * (1.0 - nd_[1].head / dzl(1));
                if (!(q < intake)) {
                    restore_start();
                    state = ponded_top;
                    head_top = true;
                    h0 = supply_left - 0.5 * nd_[0].dz;
                    q = 0.0;
                    passes = kHeadBoundaryPasses;
                    p = 0;
                    continue;
                }
                limited = true;
            }
        }
        change = update_moisture(dts);
        make_consistent();
        if (p < passes && head_change() > kHeadChangeLimit) {
            for (int k = 1; k < n_; ++k) w_.pass_head[k] = nd_[k].head;
            continue;
        }
        break;
    }
    for (int k = 1; k < n_ && !take_any; ++k) {
        const richards_soil& s = soil(k);
        if (nd_[k].theta > s.thetas + kOverfill || nd_[k].theta < s.thetar - kUnderfill) {
            restore_start();
            return attempt::too_long;
        }
    }

    // The sub-step stands: book what moved and settle the surface.
    const double top = w_.flux[1];
    out.infiltrated = std::max(top, 0.0) * dts;
    double extracted = 0.0;
    for (int k = 1; k < n_; ++k) extracted -= w_.source[k] * nd_[k].dz * dts;
    out.soil_et = std::max(-top, 0.0) * dts + extracted;
    out.bottom = w_.flux[n_] * dts;
    m_.fav[c_] = extracted > 0.0 && top <= 0.0 ? -extracted / dts : top;

    next = dts * m_.richards_dtheta_max / std::max(change, kMinChange);
    if (limited) next = std::min(next, kLimitedStep);
    if (supply_left <= 0.0) {
        h = 0.0;
        state = flux_top;
    } else {
        const double left = (supply - out.infiltrated) / kCmPerMetre;  // m
        const double drain = evap_rate_ + std::max(top, 0.0);         // cm/h
        if (left > kDrySurface) {
            h = left;
            if (drain > 0.0) next = std::min(next, left * kCmPerMetre / drain);
        } else {
            h = 0.0;
            if (state == ponded_top && nd_[1].head >= 0.0) {
                state = saturated_top;
                next = std::min(next, kLimitedStep);
            } else {
                state = flux_top;
            }
        }
    }
    m_.bound_type[c_] = state;
    return attempt::done;
}

double column_solver::evaporate_surface(double hours) {
    double& h = m_.h[c_];
    const double wanted = evap_rate_ * hours;  // cm
    const double taken = std::min(wanted, kCmPerMetre * h);
    h -= taken / kCmPerMetre;
    if (h < 0.0) h = 0.0;
    if (c_ <= m_.DIRECT_EVAP.n()) m_.DIRECT_EVAP[c_] += taken;
    return taken / kCmPerMetre;
}

double column_solver::run(double hours) {
    double dts = std::min(m_.dtr[c_], hours);
    if (dts > kLongStart && nd_[1].head >= 0.0) dts = kSaturatedStart;
    dts = std::max(dts, kFloorStep);
    const double start = storage();
    moved total;
    double remaining = hours;
    double next = dts;
    bool reported = false;
    while (remaining > kNoTime) {
        if (dts >= remaining || remaining - dts < kRemainderTaken) dts = remaining;
        moved step;
        // Halving could not shorten a sub-step within a remainder of the floor.
        const bool at_floor = dts < kFloorStep + kRemainderTaken;
        const attempt a = sub_step(dts, remaining, at_floor, step, next);
        if (a != attempt::done && !at_floor) {
            dts = std::max(0.5 * dts, kFloorStep);
            continue;
        }
        int& floor_steps = r_.floor_steps[static_cast<std::size_t>(c_)];
        floor_steps = at_floor ? floor_steps + 1 : 0;
        if (a == attempt::not_a_number) {
            // Even the shortest sub-step gives no number: the column stands
            // still over it, its water untouched.
            if (!reported)
                warn(format_text("Richards column of cell %d: the heads are not numbers even over a sub-step of %g s; "
                                 "the column is held for it.\n",
                                 c_, dts * kSecondsPerHour));
            reported = true;
            next = dts;
        } else {
            total.infiltrated += step.infiltrated;
            total.soil_et += step.soil_et;
            total.surface_et += step.surface_et;
            total.bottom += step.bottom;
        }
        remaining -= dts;
        dts = std::max(next, kFloorStep);
        if (floor_steps >= kMostFloorSteps) {
            int row = 0, col = 0;
            cell_row_col(m_, c_, row, col);
            store_refusal(format_text("Error: the Richards column of cell %d (row %d, column %d), soil class %d, "
                                      "cannot advance: %d sub-steps in a row at the shortest sub-step of %g s. Check "
                                      "the soil table values of its class.\n",
                                      c_, row, col, value_at(m_.soiltype, c_), floor_steps,
                                      kFloorStep * kSecondsPerHour));
            break;
        }
    }
    m_.dtr[c_] = next;

    const double infiltrated = total.infiltrated / kCmPerMetre;  // m
    m_.infdep[c_] += infiltrated;
    m_.inf_rich[c_] += infiltrated;
    m_.bottomfav[c_] += total.bottom;
    if (c_ <= m_.DIRECT_EVAP.n()) m_.DIRECT_EVAP[c_] += total.surface_et;
    const double change = (storage() - start) / kCmPerMetre;
    m_.VOLCHANGE[c_] = change;
    m_.MASSERROR[c_] = change - (total.infiltrated - total.soil_et - total.bottom) / kCmPerMetre;
    book_water(m_, water_flow::soil_evaporation, total.soil_et / kCmPerMetre * m_.gridsize * m_.gridsize);
    return (total.surface_et + total.soil_et) / kCmPerMetre;
}

}  // namespace

void tridiag_solve(int first, int last, const double* upper, double* diag, const double* lower, double* rhs) {
    for (int i = first + 1; i <= last; ++i) {
        const double f = lower[i] / diag[i - 1];
        diag[i] -= f * upper[i - 1];
        rhs[i] -= f * rhs[i - 1];
    }
    rhs[last] /= diag[last];
    for (int i = last - 1; i >= first; --i) rhs[i] = (rhs[i] - upper[i] * rhs[i + 1]) / diag[i];
}

double richards_unsat_step(model_state& m, double seconds) {
    if (!m.richards.built() || !(seconds > 0.0)) return 0.0;
    const double hours = seconds / kSecondsPerHour;
    double evaporated = 0.0;
    for (int c = 1; c <= m.ncells; ++c) {
        if (value_at(m.CFGI, c) > kFrozenIndex) continue;
        if (m.chan_lakes_on && in_channel_lake(m, c)) continue;
        column_solver column(m, c);
        if (m.yes_exfil[c] == 1 || m.numcells[c] < 2) {
            if (m.long_term) evaporated += column.evaporate_surface(hours);
            continue;
        }
        evaporated += column.run(hours);
        if (run_stopped()) break;
    }
    return evaporated;
}

}  // namespace kesta
