// Routing of one dissolved constituent through the stores of the channel
// network over one channel constituent interval.
//
// The water that crossed each face in the interval is the routing's: a
// face passes its water evenly over the interval, and a store's water goes
// linearly from what it held at the start to what it holds at the end. A
// sub-step moves mass across the faces in an upwind predictor: each face
// carries its share of water at the concentration of the store the water
// leaves, and each pair of neighbouring wet nodes disperses by the smaller
// of their flow areas times dispersion coefficient over the concentration
// gradient. Corrector passes then take the mean of the predictor's amounts
// and those of the concentrations the last pass left at the sub-step's
// end, until those concentrations settle (at most kMostPasses passes; a
// sub-step that does not settle halves the next one).
//
// The sub-step is cut so that no store passes more than half its water in
// one (the Courant number over |water|, reverse flow included); a store
// that begins the interval dry but ends it wet counts as passing five
// times its water. A store that the amounts would leave below zero gives
// no more than it held at the sub-step's start: the amounts it gives are
// cut in proportion. So mass moves only from one store to another or out
// through the outlet, and no mass is made or lost; should a store fall
// below kNegativeMass all the same, the whole interval begins anew from
// the masses it started with, at half the sub-step.
#include <algorithm>
#include <cmath>

#include "core/error_record.hpp"
#include "transport/channel_constituents.hpp"

namespace kesta {

namespace {

constexpr double kCourantLimit = 0.5;     // share of its water a store may pass in a sub-step
constexpr double kDryStart = 5.0;         // Courant number of a store that fills from dry
constexpr double kWetWater = 1e-6;        // m3; less counts as dry for the Courant number
constexpr double kSubstepFloor = 0.1;     // s; the Courant limit cuts no further
constexpr double kSettled = 1e-6;         // g/m3; a corrector pass that changes less is the last
constexpr int kMostPasses = 100;          // corrector passes of a sub-step
constexpr double kNegativeMass = -1e-6;   // g
constexpr double kTimeLeft = 1e-16;       // s

inline double water_at(const chan_wq_network& n, int r, double tau) {
    return n.water0[r] + tau * (n.water1[r] - n.water0[r]);
}

void concentrations(const chan_wq_network& n, const double* mass, double tau, double* conc) {
    conc[0] = 0.0;
    for (int r = 1; r <= n.rows; ++r) conc[r] = store_conc(mass[r], water_at(n, r, tau));
}

inline int giver_of(const wash_face& f) { return f.water >= 0.0 ? f.up : f.down; }
inline int taker_of(const wash_face& f) { return f.water >= 0.0 ? f.down : f.up; }

// Amounts of one pass over a sub-step of s seconds (the share phi of the
// interval) from the concentrations at the fraction tau: advective amounts
// (g, from giver to taker) and dispersive ones (g, positive from a to b).
void face_amounts(const chan_wq_network& n, const double* conc, double tau, double phi, double s, double* adv,
                  double* disp) {
    for (int f = 0; f < n.nfaces; ++f) {
        const wash_face& face = n.faces[f];
        const int g = giver_of(face);
        adv[f] = g > 0 ? std::fabs(face.water) * phi * conc[g] : 0.0;
    }
    for (int d = 0; d < n.ndisp; ++d) {
        const disp_face& face = n.disp[d];
        const int a = face.a, b = face.b;
        const double area_a = water_at(n, a, tau) / n.length[a], area_b = water_at(n, b, tau) / n.length[b];
        if (!(area_a > 0.0) || !(area_b > 0.0)) {
            disp[d] = 0.0;
            continue;
        }
        const double k = std::min(area_a * n.disp_coef[a], area_b * n.disp_coef[b]);
        disp[d] = k * (conc[a] - conc[b]) / face.dx * s;
    }
}

// The masses after a sub-step of s seconds: the start masses, the sources
// and the amounts.
void apply(const chan_wq_network& n, const double* mass, const double* rate, double s, const double* adv,
           const double* disp, double* out) {
    for (int r = 0; r <= n.rows; ++r) out[r] = mass[r] + (rate ? rate[r] * s : 0.0);
    for (int f = 0; f < n.nfaces; ++f) {
        const wash_face& face = n.faces[f];
        out[giver_of(face)] -= adv[f];
        out[taker_of(face)] += adv[f];
    }
    for (int d = 0; d < n.ndisp; ++d) {
        out[n.disp[d].a] -= disp[d];
        out[n.disp[d].b] += disp[d];
    }
    out[0] = 0.0;  // the outside holds nothing
}

// A cut store gives all it held and keeps what it takes in (the sources
// add, never take): its cut amounts can round to a hair more than it held,
// which leaves it none.
void none_below_zero(const chan_wq_network& n, const double* cut, double* out) {
    for (int r = 1; r <= n.rows; ++r)
        if (cut[r] > 0.0 && out[r] < 0.0) out[r] = 0.0;
}

// The masses after the amounts, into `out`. A store the amounts would
// leave below zero gives no more than it held at the sub-step's start
// (`held`, g): the amounts it gives are cut in proportion, once; then so
// for any store the cuts above it would leave below zero. Amounts that
// leave every store at zero or more stand as they are. `cut` is work space
// (rows + 1).
void apply_limited(const chan_wq_network& n, const double* held, const double* rate, double s, double* adv,
                   double* disp, double* cut, double* out) {
    for (int r = 0; r <= n.rows; ++r) cut[r] = 0.0;
    const auto giver_of_disp = [&n, disp](int d) { return disp[d] > 0.0 ? n.disp[d].a : n.disp[d].b; };
    for (int round = 0; round <= n.rows; ++round) {
        apply(n, held, rate, s, adv, disp, out);
        // The stores to cut now, marked -1, and what they are asked for.
        bool any = false;
        for (int r = 1; r <= n.rows; ++r) {
            if (out[r] < 0.0 && cut[r] == 0.0) {
                cut[r] = -1.0;
                any = true;
            }
        }
        if (!any) {
            none_below_zero(n, cut, out);
            return;
        }
        for (int r = 1; r <= n.rows; ++r)
            if (cut[r] < 0.0) out[r] = 0.0;
        for (int f = 0; f < n.nfaces; ++f)
            if (cut[giver_of(n.faces[f])] < 0.0) out[giver_of(n.faces[f])] += adv[f];
        for (int d = 0; d < n.ndisp; ++d)
            if (cut[giver_of_disp(d)] < 0.0) out[giver_of_disp(d)] += std::fabs(disp[d]);
        for (int r = 1; r <= n.rows; ++r) {
            if (cut[r] >= 0.0) continue;
            const double h = std::max(0.0, held[r]);
            out[r] = out[r] > h ? h / out[r] : 1.0;  // the share it may give
        }
        for (int f = 0; f < n.nfaces; ++f) {
            const int g = giver_of(n.faces[f]);
            if (cut[g] < 0.0) adv[f] *= out[g];
        }
        for (int d = 0; d < n.ndisp; ++d) {
            const int g = giver_of_disp(d);
            if (cut[g] < 0.0) disp[d] *= out[g];
        }
        for (int r = 1; r <= n.rows; ++r)
            if (cut[r] < 0.0) cut[r] = 1.0;
    }
    apply(n, held, rate, s, adv, disp, out);
    none_below_zero(n, cut, out);
}

// Cuts the sub-step s (s) to the Courant limit of the stores' water at the
// fraction tau of the interval, given what each store passes per second
// (`out`, m3/s); true when it cut.
bool courant_cut(const chan_wq_network& n, const double* out, double tau, double& s) {
    double cmax = 0.0;
    for (int r = 1; r <= n.rows; ++r) {
        const double q = out[r];
        if (!(q > 0.0)) continue;
        const double water = water_at(n, r, tau);
        double c;
        if (water > kWetWater) c = q * s / water;
        else if (n.water1[r] > kWetWater) c = kDryStart;
        else c = q * s;
        cmax = std::max(cmax, c);
    }
    if (!(cmax > kCourantLimit && s > kSubstepFloor)) return false;
    s = std::max(kSubstepFloor, s * kCourantLimit / cmax);
    return true;
}

// A sub-step of s (s) taken from the `left` (s) of the interval: the
// step's length, the last one cut to what was left.
double take_substep(double& left, double s) {
    left -= s;
    if (!(left < 0.0)) return s;
    const double step = s + left;
    left = 0.0;
    return step;
}

// True when every store holds exactly +0 g and gains exactly +0 g/s: every
// concentration, amount and sum of the routing is then +0, so nothing can
// move, no pass can fail to settle and no mass can fall below zero.
bool holds_nothing(const chan_wq_network& n, const double* mass, const double* rate) {
    for (int r = 0; r <= n.rows; ++r)
        if (mass[r] != 0.0 || std::signbit(mass[r]) || (rate && (rate[r] != 0.0 || std::signbit(rate[r]))))
            return false;
    return true;
}

bool fail_small_step() {
    return refuse("The channel water quality routing time step is getting really small\n"
                  "less than 1/1000 of a second\n"
                  "Program stopped.\n");
}

}  // namespace

chan_wq_result chan_wq_route(const chan_wq_network& n, double* mass, const double* rate, double dt,
                             chan_wq_work& w, double* face_total) {
    chan_wq_result res;
    for (int f = 0; f < n.nfaces; ++f) face_total[f] = 0.0;
    if (!(dt > 0.0) || n.rows < 1) return res;
    // The water each store passes per second, whatever the direction.
    for (int r = 0; r <= n.rows; ++r) w.out[r] = 0.0;
    for (int f = 0; f < n.nfaces; ++f) w.out[giver_of(n.faces[f])] += std::fabs(n.faces[f].water) / dt;
    if (holds_nothing(n, mass, rate)) {
        // The masses stay at +0: only the sub-steps the flow's Courant limit
        // makes, each with its one corrector pass, are counted as a routing
        // of them would count them.
        double s = dt, left = dt, tau = 0.0;
        while (left > kTimeLeft) {
            courant_cut(n, w.out, tau, s);
            const double step = take_substep(left, s);
            tau = std::min(1.0, tau + step / dt);
            ++res.substeps;
            ++res.passes;
        }
        return res;
    }
    std::copy(mass, mass + n.rows + 1, w.m0);

    double s = dt;
    bool courant = true;  // the sub-step is the flow's: the whole interval or what its Courant limit left
    for (;;) {
        double left = dt, tau = 0.0;
        bool restart = false;
        while (left > kTimeLeft) {
            if (courant_cut(n, w.out, tau, s)) courant = true;
            const double step = take_substep(left, s);
            const double phi = step / dt, t1 = std::min(1.0, tau + phi);
            ++res.substeps;

            // Predictor.
            concentrations(n, mass, tau, w.conc);
            face_amounts(n, w.conc, tau, phi, step, w.pred, w.dpred);
            apply_limited(n, mass, rate, step, w.pred, w.dpred, w.asked, w.mstar);
            // Correctors.
            double change;
            int passes = 0;
            do {
                ++passes;
                ++res.passes;
                concentrations(n, w.mstar, t1, w.conc);
                face_amounts(n, w.conc, t1, phi, step, w.amount, w.damount);
                for (int f = 0; f < n.nfaces; ++f) w.amount[f] = 0.5 * (w.pred[f] + w.amount[f]);
                for (int d = 0; d < n.ndisp; ++d) w.damount[d] = 0.5 * (w.dpred[d] + w.damount[d]);
                apply_limited(n, mass, rate, step, w.amount, w.damount, w.asked, w.mnew);
                change = 0.0;
                for (int r = 1; r <= n.rows; ++r) {
                    const double c = store_conc(w.mnew[r], n.water0[r] + t1 * (n.water1[r] - n.water0[r]));
                    change = std::max(change, std::fabs(c - w.conc[r]));
                }
                std::copy(w.mnew, w.mnew + n.rows + 1, w.mstar);
            } while (change > kSettled && passes < kMostPasses);

            bool negative = false;
            for (int r = 1; r <= n.rows && !negative; ++r) negative = w.mnew[r] < kNegativeMass;
            if (negative) {
                s *= 0.5;
                courant = false;
                if (s < kChanWqSmallestStep) {
                    std::copy(w.m0, w.m0 + n.rows + 1, mass);
                    for (int f = 0; f < n.nfaces; ++f) face_total[f] = 0.0;
                    res.ok = fail_small_step();
                    return res;
                }
                restart = true;
                break;
            }
            // A sub-step whose passes did not settle makes the next one shorter.
            if (left > kTimeLeft && change > kSettled && s > kSubstepFloor) {
                s = std::max(kSubstepFloor, 0.5 * s);
                courant = false;
            }
            std::copy(w.mnew, w.mnew + n.rows + 1, mass);
            for (int f = 0; f < n.nfaces; ++f) face_total[f] += n.faces[f].water >= 0.0 ? w.amount[f] : -w.amount[f];
            tau = t1;
        }
        if (!restart) {
            res.set_by_flow = courant;
            return res;
        }
        ++res.restarts;
        std::copy(w.m0, w.m0 + n.rows + 1, mass);
        for (int f = 0; f < n.nfaces; ++f) face_total[f] = 0.0;
    }
}

}  // namespace kesta
