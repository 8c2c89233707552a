// Alternating-direction explicit overland routing. The grid is swept along
// the rows (each cell with its right neighbour) and along the columns (each
// cell with its lower neighbour), one direction at a time: each sweep takes
// the face discharges from the current depths and updates the depths before
// the other direction is swept.
//
// "ade" works in sub-steps that are halved, and the step restarted from the
// depths at the start of the call, whenever a sweep fails the acceptance
// test. "ade-pc" makes one predictor-corrector pass per direction over the
// whole step, or over its halves, quarters ... while a pass would take more
// water from some cell than it has. With lakes both make one untested pass
// over the whole step. On a plain grid whose neighbours are numbered after
// their cells, a sweep (or a predictor, a corrector) is one pass over the
// cells, with the numbers of the separate passes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "overland/dikes_lowspots.hpp"
#include "overland/overland_faces.hpp"
#include "overland/overland_route.hpp"
#include "overland/overland_simd.hpp"

namespace kesta {

namespace {

using overland_detail::grid_view;
using overland_detail::lake_mode;
using overland_detail::kAdeChangeShare;
using overland_detail::kAdeNegativeDepthLimit;
using overland_detail::kAdeTestedDepth;
using overland_detail::pow53;

constexpr double kSmallestSubstep = 0.001;    // s; below it the step gives up, however long the step
constexpr double kRemainderLimit = 0.001;     // s; a shorter remainder joins the last sub-step
constexpr double kDone = 1e-16;               // s
constexpr double kTestedSubstep = 0.01;       // s; shorter sub-steps are not tested for change
constexpr double kOutletExponent = 5.0 / 3.0;

// to[0..n] = from[0..n], over threads on large grids.
void copy_cells(const double* from, double* to, int n) {
    to[0] = from[0];
    overland_detail::for_blocks(n, [from, to](int lo, int hi) { std::copy(from + lo, from + hi + 1, to + lo); });
}

// v[0..n] = 0, over threads on large grids.
void clear_cells(double* v, int n) {
    v[0] = 0.0;
    overland_detail::for_blocks(n, [v](int lo, int hi) { std::fill(v + lo, v + hi + 1, 0.0); });
}

// One sweep direction: neighbour across the face, upstream neighbour, face
// discharges, and the dike side that closes the face.
struct direction {
    const int* nb;
    const int* up;
    double* q;
    int dike_bit;
};

direction rows(const grid_view& g) { return {g.right, g.left, g.qx, 2}; }
direction columns(const grid_view& g) { return {g.below, g.above, g.qy, 4}; }

// The gap between a cell that grid_view::interior marks and its neighbour
// across the faces of `dir`; 0 when no cell is marked.
int interior_gap(const grid_view& g, const direction& dir) {
    if (!g.interior) return 0;
    return dir.nb == g.right ? 1 : g.stride;
}

// face_flux (below) of faces lo..hi, on any grid.
template <lake_mode M>
void face_flux_cells(const grid_view& g, const double* h, const direction& dir, int lo, int hi) {
    double* q = dir.q;
    const double dx = g.dx;
    for (int i = lo; i <= hi; ++i) {
        const int r = dir.nb[i];
        if (r == 0 || (g.dike && (g.dike[i] & dir.dike_bit))) {
            q[i] = 0.0;
            continue;
        }
        int li = 0, lr = 0;
        double wi, wr;
        if constexpr (M != lake_mode::none) {
            li = g.lake(i);
            lr = g.lake(r);
            if (li && lr) {
                q[i] = 0.0;
                continue;
            }
            wi = li ? g.lake_level(li) : g.elev[i] + h[i];
            wr = lr ? g.lake_level(lr) : g.elev[r] + h[r];
        } else {
            wi = g.elev[i] + h[i];
            wr = g.elev[r] + h[r];
        }
        const double s = (wi - wr) * g.inv_dx;
        if (s == 0.0) {
            q[i] = 0.0;
            continue;
        }
        const int u = s > 0.0 ? i : r;
        const int lake_up = s > 0.0 ? li : lr;
        const int land = lake_up ? (s > 0.0 ? r : i) : u;
        const double depth = lake_up ? g.lake_level(lake_up) - g.elev[land] : h[u];
        const double root = std::copysign(std::sqrt(std::fabs(s)), s);
        const int w = g.wet_mask ? g.wetland(land) : 0;
        if (w) {
            const auto& f = g.wet[w].field;
            const double berm = f[1], transition = f[3], linear = f[4], n_w = f[6];
            if (depth <= berm) {
                q[i] = 0.0;
                continue;
            }
            const double d = depth - berm;
            const double overflow = root / n_w * pow53(d) * dx;
            if (d < transition) {
                const double share = d / transition;
                q[i] = (1.0 - share) * (d * s * linear * dx) + share * overflow;
            } else {
                q[i] = overflow;
            }
            continue;
        }
        const double retention = lake_up ? 0.0 : g.ret[u];
        if (retention >= depth) {
            q[i] = 0.0;
            continue;
        }
        q[i] = root * pow53(depth - retention) * g.inv_rough[land] * dx;
    }
}

// Face discharges (m3/s, positive from i to its neighbour) from the depths
// `h`, into dir.q. The water moves down the water-surface slope (a lake cell standing at
// its lake's level) from the upwind cell, above its retention depth or,
// for a wetland, above its berm; from a lake it is the level above the
// neighbour's ground, with the neighbour's roughness.
template <lake_mode M>
void face_flux(const grid_view& g, const double* h, const direction& dir) {
    const int n = g.n;
    if constexpr (M == lake_mode::none) {
        if (!g.dike && !g.wet_mask) {
            overland_detail::for_blocks(n, [&g, h, &dir](int lo, int hi) {
                overland_detail::ade_plain_fluxes(g, h, dir.nb, dir.q, lo, hi);
            });
            return;
        }
    }
    overland_detail::for_blocks(n, [&](int lo, int hi) { face_flux_cells<M>(g, h, dir, lo, hi); });
}

// Books the volume of every land-lake face over dt to its lake.
void book_lake_faces(const grid_view& g, const direction& dir, double dt) {
    for (int i = 1; i <= g.n; ++i) {
        const int r = dir.nb[i];
        if (r == 0 || dir.q[i] == 0.0) continue;
        const int li = g.lake(i), lr = g.lake(r);
        if ((li != 0) == (lr != 0)) continue;
        const double volume = dir.q[i] * dt;  // from i to r
        if (lr) g.book_lake(lr, volume);
        else g.book_lake(li, -volume);
    }
}

// Outlet of the ADE schemes: Manning outflow with the exact 5/3 power.
double outlet_q(const grid_view& g, int out, double h, double slope) {
    return outlet_discharge(h, g.rough[out], slope, g.dx, kOutletExponent);
}

struct outlet_info {
    int cell = 0;  // 0: no outlet outflow (a channel network takes it)
    double slope = 0.0;
};

// The stop of a step that would need sub-steps below 0.001 s: the message,
// code 4000 reported, and the result -1.0 of the routing call.
double stop_below_floor() {
    // The sub-step a step needs does not depend on the model time step,
    // only on how fast water leaves the shallowest cells.
    print_both("The ADE overland routing time step is getting really small\n");
    print_both("less than 1/1000 of a second\n");
    refuse("Water leaves some cell faster than a sub-step of 0.001 s can follow, whatever the\n"
           "model time step: use OVERTYPE EXPLICIT, larger cells or a larger Manning's n.\n"
           "Program stopped.\n");
    return -1.0;
}

// What the last pass of a fused step (the second sweep of an "ade" step
// made in one sub-step, the last corrector of an "ade-pc" step) needs and
// leaves besides the depths and its faces: the first direction's faces
// (q_other) and the marks its pass left of them (other_flows, see
// ade_pass::flows), and the counts of the cells. The faces of both are the
// step's discharges.
struct step_finish {
    const double* q_other = nullptr;
    const unsigned char* other_flows = nullptr;
    overland_detail::wet_flow_count counts;
};

// How an "ade" step left its face arrays: volx, voly holding the volumes
// its faces moved; the step made in one sub-step, its faces the step's
// discharges; or that step finished by its second sweep (step_finish), the
// cells counted too. An "ade-pc" step is `finished` when its last corrector
// counted the cells.
struct ade_step_faces {
    enum { volumes, one_substep, finished } kind = volumes;
    overland_detail::wet_flow_count counts;
};

// Of cells 1..n shared out in `blocks` blocks, the cells whose faces reach
// into a later block, whose depths a fused pass over threads may have moved
// by the time it gets to them: the last `reach` cells of every block but
// the last. Calls f(lo, hi) on each such run, before the threads start.
template <class F>
void for_faces_ahead(int n, int blocks, int reach, F f) {
    for (int b = 0; b + 1 < blocks; ++b) {
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        if (lo <= hi) f(std::max(lo, hi - reach + 1), hi);
    }
}

// for_faces_ahead with the runs of cells shared out over a team of `team`
// threads, all at once: for an f that writes nothing outside cells
// lo - reach .. hi + reach (nor anything another run reads), which are apart
// on grids whose blocks hold more than 3 reach cells. On others the runs are
// made one after another.
template <class F>
void for_faces_ahead_on_team(int n, int team, int blocks, int reach, F f) {
    if (blocks < 3 || !overland_detail::blocks_hold_reach(n, blocks, reach)) {
        for_faces_ahead(n, blocks, reach, f);
        return;
    }
    run_parts_on_team(team, blocks - 1, [n, blocks, reach, &f](int b, int) {
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        f(std::max(lo, hi - reach + 1), hi);
    });
}

// The first cell of block b of `blocks` (lo..hi) whose face for_faces_ahead
// made; hi + 1 for the last block.
int first_face_ahead(int b, int blocks, int lo, int hi, int reach) {
    return b + 1 < blocks ? std::max(lo, hi - reach + 1) : hi + 1;
}

// A sweep whose changes dh overdrew some cell, h being the depths after
// them: the depths go back to the start of the sweep, the faces of `line`
// and the changes are cut as limit_overdraws does, and the changes applied.
void limit_sweep_overdraws(double* h, double* dh, const overland_detail::face_line& line, int n, double k) {
    for (int i = 1; i <= n; ++i) h[i] -= dh[i];
    overland_detail::limit_overdraws(h, dh, n, &line, 1, k);
    for (int i = 1; i <= n; ++i) h[i] += dh[i];
}

// One direction of an "ade" sub-step on a grid that one_pass_grid
// accepts: the faces, the depths, the tests and the volumes in one pass
// over the cells in increasing order, each face made from the depths before the sweep (its
// neighbour comes after it) and each cell moved once the face into it
// (from a cell before it) is made. The results are those of face_flux,
// ade_stability_check and the volume loop one after the other, bit for
// bit: the volumes go from vol_from (unless first_volume) into another
// vector, vol, so that faces cut for an overdraw can be booked again; with
// no vol, nowhere.
// Over threads, a few blocks of cells a thread, the faces that reach into the
// next block (the cells within `reach` of a block's end) are made first, by
// the team, before any depth changes, and the passes leave them
// as they are; the faces into a block's first cells are among those of the
// block before. No thread then waits for another. The depths before the
// sweep are those of g; those after it go to `to`, which may be g.h itself.
// With `finish` (the second sweep of a step made in one sub-step), the
// discharges over the step and the counts of the cells are counted too (see
// ade_pass::other_flows); with `flows` (the first sweep of such a step),
// the marks of its faces are left there. With `start_bad` (the first sweep
// of a step, first_volume), the depths before the sweep that are not finite
// numbers are counted there, whatever the sweep finds. Returns 1 when some
// cell rejects the sub-step, as ade_stability_check.
int fused_direction(const grid_view& g, const direction& dir, const double* vol_from, double* vol,
                    bool first_volume, double* to, double dt_sub, int reach, step_finish* finish,
                    unsigned char* flows, int* start_bad) {
    const int n = g.n;
    const double k = dt_sub / (g.dx * g.dx);
    const overland_detail::ade_pass p{dir.nb, dir.up, dir.q, vol_from, vol, to, k, dt_sub, first_volume,
                                      dt_sub < kSmallestSubstep, dt_sub > kTestedSubstep, interior_gap(g, dir),
                                      finish ? finish->other_flows : nullptr, flows, start_bad != nullptr};
    const int team = thread_team(n);
    const int blocks = overland_detail::fused_blocks(n, team, reach);
    for_faces_ahead_on_team(n, team, blocks, reach, [&g, &dir](int lo, int hi) {
        overland_detail::ade_plain_fluxes(g, g.h, dir.nb, dir.q, lo, hi);
    });
    // Flag 0: some cell rejects the sub-step; flag 1: some cell overdrew.
    overland_detail::found_by_team found;
    run_parts_on_team(team, blocks, [&](int b, int) {
        overland_detail::ade_verdict v;
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        const int ahead = first_face_ahead(b, blocks, lo, hi, reach);
        overland_detail::ade_fused_cells(g, p, true, lo, ahead - 1, v);
        overland_detail::ade_fused_cells(g, p, false, ahead, hi, v);
        found.add({v.rejected, v.overdrawn}, v.counts);
    });
    if (start_bad) *start_bad = found.counts().bad;
    if (found.flag(0)) return 1;
    if (finish) finish->counts = found.counts();
    if (!found.flag(1)) return 0;
    // Rare: as in ade_stability_check, from the changes made again (the
    // same operations on the same faces), and the cut faces' volumes.
    double* h = to;
    double* dh = g.dh;
    const double* q = dir.q;
    for (int i = 1; i <= n; ++i) {
        const int up = dir.up[i];
        const double in = up ? q[up] : 0.0;
        dh[i] = (in - q[i]) * k;
    }
    limit_sweep_overdraws(h, dh, {dir.q, dir.nb, dir.up}, n, k);
    if (flows) {  // the marks of the cut faces
        for (int i = 1; i <= n; ++i) flows[i] = overland_detail::flow_mark(q[i]);
    }
    if (vol) {
        for (int i = 1; i <= n; ++i) vol[i] = first_volume ? 0.0 + q[i] * dt_sub : vol_from[i] + q[i] * dt_sub;
    }
    if (finish) {  // the cells counted anew, with the cut faces
        overland_detail::wet_flow_count c;
        for (int i = 1; i <= n; ++i) {
            overland_detail::count_depth(h[i], overland_detail::kWetDepth, c);
            overland_detail::count_flow(finish->q_other[i], q[i], overland_detail::kFlowing, c);
        }
        finish->counts = c;
    }
    return 0;
}

// "ade" without lakes. Returns the outlet volume, or -1.0 when the sub-step
// fell below 0.001 s. With `fused` (see one_pass_grid) the first sweep of
// every attempt reads the depths at the start of the call in m.h and writes
// its depths into m.h_old, where the attempt goes on; once the step is made
// the two swap, so that m.h holds the depths after the step and m.h_old
// those at its start, and an attempt that fails needs no copy. Otherwise
// the depths at the start must be in m.h_old already, and the sweeps move
// m.h in place. `faces` tells how the step left its face arrays; with
// `finish_in_sweep`, a step made in one fused sub-step is finished by its
// second sweep. With `start_bad` (and `fused`), the first sweep counts there
// the depths at the start that are not finite numbers; when there are any,
// the call returns 0.0 at once, m.h as it was.
double ade_substeps(model_state& m, const grid_view& g, double dt, const outlet_info& out, bool fused,
                    bool finish_in_sweep, ade_step_faces& faces, int* start_bad) {
    const bool rows_first = m.ade_sweep_order != 2;
    const direction first = rows_first ? rows(g) : columns(g);
    const direction second = rows_first ? columns(g) : rows(g);
    double* h_old = m.h_old.data();
    // The depths as the attempt goes on.
    double* h = fused ? h_old : g.h;
    grid_view from_start = g, from_work = g;
    from_work.h = h;
    const int n = g.n;
    // The fused sweeps take turns between the face volumes and a spare
    // vector of each direction.
    vec1<double>* vols[2][2] = {{&m.volx, &m.hdummy}, {&m.voly, &m.qdummy}};
    int at[2] = {0, 0};

    double dt_sub = dt;
    while (dt_sub >= kSmallestSubstep) {
        if (!fused && dt_sub < dt) copy_cells(h_old, g.h, n);  // the first attempt starts from them
        double volume = 0.0;
        double remaining = dt;
        int substeps = 0;
        bool rejected = false;
        step_finish finish;
        bool finished = false;
        while (remaining > kDone) {
            remaining -= dt_sub;
            if (remaining < kRemainderLimit) {
                dt_sub += remaining;
                remaining = 0.0;
            }
            for (const direction* dir : {&first, &second}) {
                const int d = dir->q == g.qx ? 0 : 1;
                double* vol = vols[d][at[d]]->data();
                if (fused) {
                    const bool starts = substeps == 0 && dir == &first;
                    const int to = substeps == 0 ? at[d] : 1 - at[d];
                    // A step made in one sub-step leaves its volumes as
                    // its faces times dt: they need not be kept.
                    const bool one_substep = substeps == 0 && remaining == 0.0;
                    finished = one_substep && finish_in_sweep && dir == &second;
                    const bool marks = one_substep && finish_in_sweep && dir == &first;
                    if (finished) finish = {first.q, m.ov_flow_marks.data(), {}};
                    int* check = starts ? start_bad : nullptr;
                    start_bad = starts ? nullptr : start_bad;  // the first attempt's first sweep alone
                    const int rejects = fused_direction(starts ? from_start : from_work, *dir, vol,
                                                        one_substep ? nullptr : vols[d][to]->data(), substeps == 0,
                                                        h, dt_sub, m.ov_face_reach, finished ? &finish : nullptr,
                                                        marks ? m.ov_flow_marks.data() : nullptr, check);
                    if (check && *check > 0) return 0.0;
                    if (rejects) {
                        rejected = true;
                        break;
                    }
                    at[d] = to;
                    continue;
                }
                face_flux<lake_mode::none>(g, g.h, *dir);
                if (ade_stability_check(n, g.h, g.dh, dir->q, dir->nb, dir->up, g.dx, dt_sub)) {
                    rejected = true;
                    break;
                }
                const double* q = dir->q;
                if (substeps == 0) {  // the attempt's first sub-step starts the volumes from 0
                    overland_detail::for_blocks(n, [vol, q, dt_sub](int lo, int hi) {
#pragma omp simd
                        for (int i = lo; i <= hi; ++i) vol[i] = 0.0 + q[i] * dt_sub;
                    });
                } else {
                    overland_detail::for_blocks(n, [vol, q, dt_sub](int lo, int hi) {
#pragma omp simd
                        for (int i = lo; i <= hi; ++i) vol[i] += q[i] * dt_sub;
                    });
                }
            }
            if (rejected) break;
            if (out.cell) {
                double& depth = h[out.cell];
                const double swept = depth;
                volume += overland_detail::drain_outlet(depth, outlet_q(g, out.cell, depth, out.slope), dt_sub,
                                                        g.area);
                // The sweep counted the outlet at its depth before the drain.
                if (finished) overland_detail::recount_depth(swept, depth, finish.counts.bad, finish.counts.wet);
            }
            ++substeps;
        }
        if (!rejected) {
            for (int d = 0; d < 2; ++d) {
                if (substeps == 0) clear_cells(vols[d][at[d]]->data(), n);
                if (at[d] == 1) std::swap(*vols[d][0], *vols[d][1]);
            }
            if (fused) std::swap(m.h, m.h_old);
            faces = {};
            if (finished) faces = {ade_step_faces::finished, finish.counts};
            else if (substeps == 1) faces.kind = ade_step_faces::one_substep;
            m.ov_substeps_last = substeps;
            return volume;
        }
        dt_sub /= 2.0;
    }
    return stop_below_floor();
}

// The counts of the cells as a step left them, for the overland step's
// scans to take instead of a pass of their own.
void keep_step_counts(model_state& m, const overland_detail::wet_flow_count& c) {
    m.ov_route_counted = 1;
    m.ov_route_bad = c.bad;
    m.ov_route_wet = c.wet;
    m.ov_route_flowing = c.flowing;
}

// qx, qy of cells lo..hi (m3/s) from the volumes (m3) their faces moved
// over dt s.
KESTA_WIDEST_VECTORS void discharges_from_volumes(double* qx, double* qy, const double* volx, const double* voly,
                                                  double dt, int lo, int hi) {
#pragma omp simd
    for (int i = lo; i <= hi; ++i) {
        qx[i] = volx[i] / dt;
        qy[i] = voly[i] / dt;
    }
}

// The face discharges of an "ade" step (m3/s): the volumes its faces moved
// over dt, or the faces themselves when the step was made in one sub-step.
// Counts, tile by tile while the tile is in the cache, what the cells then
// hold into m.ov_route_*. A step its second sweep finished has counted
// them already.
void ade_step_discharges(model_state& m, double dt, const ade_step_faces& faces) {
    if (faces.kind == ade_step_faces::finished) {
        keep_step_counts(m, faces.counts);
        return;
    }
    const bool in_faces = faces.kind == ade_step_faces::one_substep;
    constexpr int kTile = 2048;
    const int n = m.ncells;
    double* qx = m.qx.data();
    double* qy = m.qy.data();
    const double* h = m.h.data();
    const double* volx = m.volx.data();
    const double* voly = m.voly.data();
    overland_detail::found_by_team found;
    overland_detail::for_blocks(n, [&](int lo, int hi) {
        overland_detail::wet_flow_count c;
        for (int t0 = lo; t0 <= hi; t0 += kTile) {
            const int t1 = std::min(hi, t0 + kTile - 1);
            if (!in_faces) discharges_from_volumes(qx, qy, volx, voly, dt, t0, t1);
            overland_detail::wet_flow_counts(h, qx, qy, overland_detail::kWetDepth, overland_detail::kFlowing, t0,
                                             t1, c);
        }
        found.add({}, c);
    });
    keep_step_counts(m, found.counts());
}

// Moves the water of the faces of `dir` over dt: to = from + the change.
// Returns false when that took more water from some cell than `from` and
// its inflow hold: `to` is then of no use. The two depth vectors may be the
// same.
bool apply_within_water(const grid_view& g, const direction& dir, double dt, const double* from, double* to) {
    const double k = dt / g.area;
    const double* q = dir.q;
    overland_detail::found_by_team found;
    overland_detail::for_blocks(g.n, [&](int lo, int hi) {
        bool below = false;
        for (int i = lo; i <= hi; ++i) {
            const int up = dir.up[i];
            to[i] = from[i] + ((up ? q[up] : 0.0) - q[i]) * k;
            below = below || to[i] < 0.0;  // a depth that is no number is the step's checks' to find
        }
        found.add({below});
    });
    return !found.flag(0);
}

// The lake form of the move: to = from + the change, no land cell giving
// more than `from` and its inflow hold and no lake more than it has to give
// (limit_lake_giving; the faces are cut to match). The two may be the same
// vector. Lake cells keep their depths: their lakes give and take the water
// of their faces.
void apply_limited_with_lakes(model_state& m, const grid_view& g, const direction& dir, double dt,
                              const double* from, double* to) {
    const double k = dt / g.area;
    double* dh = m.dh.data();
    const double* q = dir.q;
    const int n = g.n;
    overland_detail::for_blocks(n, [&](int lo, int hi) {
        for (int i = lo; i <= hi; ++i) {
            const int up = dir.up[i];
            dh[i] = g.lake(i) ? 0.0 : ((up ? q[up] : 0.0) - q[i]) * k;
        }
    });
    // Lakes first: a land cell fed less by one may then give too much.
    const overland_detail::face_line line{dir.q, dir.nb, dir.up};
    overland_detail::limit_lake_giving(g, &line, 1, k, m.lake_scratch.data());
    overland_detail::limit_overdraws(from, dh, n, &line, 1, k, g.lake_of, g.nlakes);
    overland_detail::for_blocks(n, [&](int lo, int hi) {
        for (int i = lo; i <= hi; ++i) to[i] = g.lake(i) ? from[i] : from[i] + dh[i];
    });
}

// One predictor-corrector pass of one direction over dt. In the column
// direction the outlet loses the mean of the outflows at the depth before
// the pass and at the predicted depth (which the outflow leaves at 0 m at
// least); the volume removed is added to `volume`.
//
// Without lakes a pass whose prediction or correction would take more water
// from a cell than it has is not made (false returned): a predicted depth
// past the water there is feeds the mean a flux out of all proportion.
template <lake_mode M>
bool pc_direction(model_state& m, const grid_view& g, const direction& dir, double dt, const outlet_info& out,
                  bool with_outlet, double& volume) {
    double* hdummy = m.hdummy.data();
    double* qdummy = m.qdummy.data();
    const int n = g.n;
    face_flux<M>(g, g.h, dir);
    if constexpr (M == lake_mode::none) {
        if (!apply_within_water(g, dir, dt, g.h, hdummy)) return false;
    } else {
        apply_limited_with_lakes(m, g, dir, dt, g.h, hdummy);
    }
    copy_cells(dir.q, qdummy, n);  // the predictor's faces
    double q_before = 0.0;
    if (with_outlet) {
        q_before = outlet_q(g, out.cell, g.h[out.cell], out.slope);
        overland_detail::drain_outlet(hdummy[out.cell], q_before, dt, g.area);
    }
    face_flux<M>(g, hdummy, dir);
    double* q = dir.q;
    overland_detail::for_blocks(n, [q, qdummy](int lo, int hi) {
        for (int i = lo; i <= hi; ++i) q[i] = (q[i] + qdummy[i]) * 0.5;
    });
    if constexpr (M == lake_mode::none) {
        if (!apply_within_water(g, dir, dt, g.h, g.h)) return false;
    } else {
        apply_limited_with_lakes(m, g, dir, dt, g.h, g.h);
        book_lake_faces(g, dir, dt);
    }
    if (!with_outlet) return true;
    const double q_predicted = outlet_q(g, out.cell, hdummy[out.cell], out.slope);
    volume += overland_detail::drain_outlet(g.h[out.cell], 0.5 * (q_before + q_predicted), dt, g.area);
    return true;
}

// Cells per tile of a fused predictor-corrector direction: the predictor
// runs `reach` cells ahead of the corrector, so that the depths and faces
// it makes are still in the core's cache when the corrector reads them.
constexpr int kPcTileCells = 2048;

// pc_fused_cell of cells lo..hi, the faces of those from `ahead` on already
// made.
void pc_cells_split(const grid_view& g, const overland_detail::pc_pass& p, int lo, int hi, int ahead,
                    overland_detail::pc_verdict& v) {
    const int last_made = std::min(hi, ahead - 1), first_given = std::max(lo, ahead);
    if (lo <= last_made) overland_detail::pc_fused_cells(g, p, true, lo, last_made, v);
    if (first_given <= hi) overland_detail::pc_fused_cells(g, p, false, first_given, hi, v);
}

// Cells of each of the two windows (predicted depths, predicted faces) of a
// thread of a fused "ade-pc" pass, for face reach `reach`: a tile of the
// corrector and the predictions `reach` cells each side of it.
long long pc_window_cells(int reach) { return kPcTileCells + 2LL * reach; }

// Whether the blocks of a fused "ade-pc" pass over n cells in `team`
// blocks keep their predictions in windows of their own (m.ov_pc_windows):
// unless the windows, on a grid whose faces reach far, would hold more than
// hdummy and qdummy and half a MB more. Otherwise the predictions go to
// hdummy and qdummy.
bool pc_in_windows(int n, int reach, int team) {
    constexpr long long kSpareCells = 1 << 16;
    return pc_window_cells(reach) * team <= n + 1LL + kSpareCells;
}

// Where a thread of a fused "ade-pc" pass keeps the predicted depths and
// faces of cells base .. base + cells - 1: h() and q() index them by cell
// number. Cells before `base` that the corrector reads no more are let go
// as the pass moves on. Over whole arrays (base 0, a cell for each) nothing
// moves.
class pc_window {
public:
    pc_window(double* h, double* q, long long cells, int base) : h_(h), q_(q), cells_(cells), base_(base) {}
    // Pointers indexed by cell number: only cells in the window are read
    // or written through them (a face to no neighbour is never read).
    double* h() const { return h_ - base_; }
    double* q() const { return q_ - base_; }
    // Makes room for cells up to `last`, keeping cells keep_from .. kept.
    void reach_to(int last, int keep_from, int kept) {
        if (last - base_ + 1 <= cells_) return;
        keep_from = std::max(keep_from, base_);
        const int count = kept - keep_from + 1;
        if (count > 0) {
            std::memmove(h_, h_ + (keep_from - base_), sizeof(double) * static_cast<std::size_t>(count));
            std::memmove(q_, q_ + (keep_from - base_), sizeof(double) * static_cast<std::size_t>(count));
        }
        base_ = keep_from;
    }
    // q of cells lo..hi from `faces`, indexed by cell number.
    void take_faces(const double* faces, int lo, int hi) {
        if (faces == q_) return;  // the window is that array
        for (int i = lo; i <= hi; ++i) q_[i - base_] = faces[i];
    }

private:
    double* h_;
    double* q_;
    long long cells_;
    int base_;
};

// pc_direction without lakes on a grid that one_pass_grid accepts, the
// predictor (from the depths, its depths and faces into a window of each
// thread's own) and the corrector (from the predicted depths and faces, the
// depths into `to`) each a pass in increasing order, as pc_pass describes:
// the same numbers. The two passes go tile by tile, the predictor `reach`
// cells ahead (a corrected face reads the predicted depth of its neighbour
// across; the predictor reads only depths the corrector has not reached),
// so the grid is read from memory once and the predictions never leave the
// core's cache. Over threads, a few blocks of cells a thread, the cells within
// `reach` of each block's end (on both sides of it) are predicted (into
// hdummy, qdummy) and the corrected faces of those before it made first,
// before the threads start, as in fused_direction; a thread then predicts
// its block (those cells again, the same numbers, the faces taken from
// qdummy) and corrects it. The depths before the pass are those of g; the
// corrector writes the depths after it into `to`, which may be g.h itself.
// Returns false when some cell ends below 0 m: the depths and faces are
// then of no use (the caller starts again from the depths at the start of
// the step). With `finish` (the last pass of a step), the corrector counts
// the cells it leaves (see pc_pass::other_flows); with `flows` (the
// corrector before that one), the corrector leaves the marks of its faces
// there. With `start_bad` (the first pass of a step), the corrector counts
// there the depths before the pass that are not finite numbers, whatever
// the pass finds.
bool pc_direction_fused(model_state& m, const grid_view& g, const direction& dir, double dt, const outlet_info& out,
                        bool with_outlet, double& volume, double* to, step_finish* finish, unsigned char* flows,
                        int* start_bad) {
    double* hdummy = m.hdummy.data();
    double* qdummy = m.qdummy.data();
    const int n = g.n;
    const int reach = m.ov_face_reach;
    const double k = dt / g.area;
    const int gap = interior_gap(g, dir);
    const unsigned char* other_flows = finish ? finish->other_flows : nullptr;
    // The outlet loses its outflow at the depth before the pass from its
    // predicted depth, each time that is made.
    const int outlet = with_outlet ? out.cell : 0;
    const double q_before = with_outlet ? outlet_q(g, out.cell, g.h[out.cell], out.slope) : 0.0;
    double outlet_predicted = 0.0;
    // Predicts cells lo..hi into h_pred, q_pred (the faces from `ahead` on
    // already there); false when some cell ends below 0 m.
    auto predict = [&](double* h_pred, double* q_pred, int lo, int hi, int ahead) {
        const overland_detail::pc_pass predictor{dir.nb, dir.up, g.h, g.h, h_pred, q_pred, nullptr, k, gap};
        overland_detail::pc_verdict v;
        pc_cells_split(g, predictor, lo, hi, ahead, v);
        if (outlet >= lo && outlet <= hi) {
            overland_detail::drain_outlet(h_pred[outlet], q_before, dt, g.area);
            outlet_predicted = h_pred[outlet];
        }
        return v.within;
    };
    const int team = thread_team(n);
    const int blocks = overland_detail::fused_blocks(n, team, reach);
    for_faces_ahead_on_team(n, team, blocks, reach, [&](int lo, int hi) {
        // The predicted depths these faces read, and the predictor's faces
        // those depths take (cells lo - reach .. hi + reach).
        const int last = std::min(n, hi + reach);
        overland_detail::ade_plain_fluxes(g, g.h, dir.nb, qdummy, std::max(1, lo - reach), last);
        predict(hdummy, qdummy, lo, last, lo);
        overland_detail::ade_plain_fluxes(g, hdummy, dir.nb, dir.q, lo, hi);
        for (int i = lo; i <= hi; ++i) dir.q[i] = (dir.q[i] + qdummy[i]) * 0.5;
    });
    const bool in_windows = pc_in_windows(n, reach, blocks);
    const long long window_cells = pc_window_cells(reach);
    double* windows = m.ov_pc_windows.data();
    // Flag 0: some cell predicted below 0 m; flag 1: corrected below it.
    overland_detail::found_by_team found;
    run_parts_on_team(team, blocks, [&](int b, int) {
        overland_detail::pc_verdict v;
        double* storage = in_windows ? windows + 2 * window_cells * b : nullptr;
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        const int ahead = first_face_ahead(b, blocks, lo, hi, reach);
        // The predictor's faces into the block's first cells come from
        // the cells before it, made before the threads started.
        const int first_read = std::max(1, lo - reach);
        pc_window w = in_windows ? pc_window(storage, storage + window_cells, window_cells, first_read)
                                 : pc_window(hdummy, qdummy, n + 1LL, 0);
        w.take_faces(qdummy, first_read, lo - 1);
        bool predicted = true;
        int made = lo - 1;  // cells predicted
        for (int c0 = lo; c0 <= hi; c0 += kPcTileCells) {
            const int c1 = std::min(hi, c0 + kPcTileCells - 1);
            const int needed = c1 < ahead ? std::min(hi, c1 + reach) : hi;
            if (needed > made) {
                // The predictor reads faces from `reach` cells back, the
                // corrector from the tile's first cell on.
                w.reach_to(needed, std::min(c0, made + 1 - reach), made);
                w.take_faces(qdummy, std::max(ahead, made + 1), needed);
                predicted = predict(w.h(), w.q(), made + 1, needed, ahead) && predicted;
                made = needed;
            }
            const overland_detail::pc_pass corrector{dir.nb, dir.up, w.h(),       g.h,   to,
                                                     dir.q,  w.q(),  k,           gap,   other_flows,
                                                     flows,  start_bad != nullptr};
            pc_cells_split(g, corrector, c0, c1, ahead, v);
        }
        found.add({!predicted, !v.within}, v.counts);
    });
    if (start_bad) *start_bad = found.counts().bad;
    if (found.flag(0) || found.flag(1)) return false;
    if (finish) finish->counts = found.counts();
    if (!with_outlet) return true;
    const double q_predicted = outlet_q(g, out.cell, outlet_predicted, out.slope);
    double& h = to[out.cell];
    const double corrected_depth = h;
    volume += overland_detail::drain_outlet(h, 0.5 * (q_before + q_predicted), dt, g.area);
    // The corrector counted the outlet at its depth before the drain.
    if (finish) overland_detail::recount_depth(corrected_depth, h, finish->counts.bad, finish->counts.wet);
    return true;
}

// Order 1 sweeps the columns first, order 2 the rows first.
void pass_order(const model_state& m, const grid_view& g, direction (&order)[2]) {
    const bool columns_first = m.ade_sweep_order == 1;
    order[0] = columns_first ? columns(g) : rows(g);
    order[1] = columns_first ? rows(g) : columns(g);
}

// "ade-pc" without lakes: one predictor-corrector pass per direction over
// the step, or, while some pass would take more water from a cell than it
// has, over halves, quarters ... of it, each attempt from the depths at the
// start of the call. Returns the outlet volume, or -1.0 when the sub-step
// fell below 0.001 s. With `fused` (see one_pass_grid) the first pass of
// every attempt reads the depths at the start of the call in m.h and writes
// its depths into m.h_old, where the attempt goes on; once the step is made
// the two swap, so that m.h holds the depths after the step and m.h_old
// those at its start, and an attempt that fails needs no copy. Otherwise the
// depths at the start must be in m.h_old already, and the passes move m.h
// in place. With `finish_in_pass` and `fused`, the last corrector of the
// step counts the cells (`faces` then says so). With `start_bad` (and
// `fused`), the first corrector counts there the depths at the start that
// are not finite numbers; when there are any, the call returns 0.0 at once,
// m.h as it was.
double pc_substeps(model_state& m, const grid_view& g, double dt, const outlet_info& out, bool fused,
                   bool finish_in_pass, ade_step_faces& faces, int* start_bad) {
    direction order[2];
    pass_order(m, g, order);
    double* h_old = m.h_old.data();
    grid_view from_work = g;
    from_work.h = h_old;
    const int n = g.n;
    for (double dt_sub = dt; dt_sub >= kSmallestSubstep; dt_sub /= 2.0) {
        bool made = true;
        double volume = 0.0;
        double remaining = dt;
        int substeps = 0;
        step_finish finish;
        bool finished = false;
        if (!fused && dt_sub < dt) copy_cells(h_old, g.h, n);  // the first attempt starts from them
        while (made && remaining > kDone) {
            double this_sub = std::min(dt_sub, remaining);
            if (remaining - this_sub < kRemainderLimit) this_sub = remaining;  // the last absorbs the rest
            for (const direction& dir : order) {
                const bool with_outlet = out.cell != 0 && dir.q == g.qy;
                if (!made) break;
                if (fused) {
                    const bool starts = substeps == 0 && &dir == &order[0];
                    finished = finish_in_pass && this_sub == remaining && &dir == &order[1];
                    const bool marks = finish_in_pass && this_sub == remaining && &dir == &order[0];
                    if (finished) finish = {order[0].q, m.ov_flow_marks.data(), {}};
                    int* check = starts ? start_bad : nullptr;
                    start_bad = starts ? nullptr : start_bad;  // the first attempt's first pass alone
                    made = pc_direction_fused(m, starts ? g : from_work, dir, this_sub, out, with_outlet, volume, h_old,
                                              finished ? &finish : nullptr, marks ? m.ov_flow_marks.data() : nullptr,
                                              check);
                    if (check && *check > 0) return 0.0;
                } else {
                    made = pc_direction<lake_mode::none>(m, g, dir, this_sub, out, with_outlet, volume);
                }
            }
            remaining -= this_sub;
            ++substeps;
        }
        if (!made) continue;
        if (fused) std::swap(m.h, m.h_old);
        faces = {};
        if (finished) faces = {ade_step_faces::finished, finish.counts};
        m.ov_substeps_last = substeps;
        return volume;
    }
    return stop_below_floor();
}

// The one-pass form of both schemes with lakes: "ade-pc" one
// predictor-corrector pass per direction, "ade" one plain pass.
template <lake_mode M>
double ade_one_pass(model_state& m, const grid_view& g, double dt, const outlet_info& out) {
    direction order[2];
    pass_order(m, g, order);
    double volume = 0.0;
    if (m.overtype == 3) {
        for (const direction& dir : order) {
            const bool with_outlet = out.cell != 0 && dir.q == g.qy;
            pc_direction<M>(m, g, dir, dt, out, with_outlet, volume);
        }
    } else {
        for (const direction& dir : order) {
            face_flux<M>(g, g.h, dir);
            apply_limited_with_lakes(m, g, dir, dt, g.h, g.h);
            book_lake_faces(g, dir, dt);
        }
        if (out.cell) {
            double& h = g.h[out.cell];
            volume = overland_detail::drain_outlet(h, outlet_q(g, out.cell, h, out.slope), dt, g.area);
        }
    }
    m.ov_substeps_last = 1;
    return volume;
}

// The face discharges of one direction into q, with the lakes the ADE scheme
// routes with.
void ade_flux(model_state& m, const double* h, double* q, direction (*sweep)(const grid_view&)) {
    const grid_view g = overland_detail::make_grid_view(m, overland_detail::routing_lake_mode(m, false));
    direction dir = sweep(g);
    dir.q = q;
    if (g.lakes == lake_mode::none) face_flux<lake_mode::none>(g, h, dir);
    else if (g.lakes == lake_mode::overland) face_flux<lake_mode::overland>(g, h, dir);
    else face_flux<lake_mode::channel>(g, h, dir);
}

}  // namespace

void ade_flux_x(model_state& m, const double* h, double* q) { ade_flux(m, h, q, rows); }

void ade_flux_y(model_state& m, const double* h, double* q) { ade_flux(m, h, q, columns); }

int ade_stability_check(int ncells, double* h, double* dh, double* q, const int* nb, const int* upcon,
                        double dx, double dt_sub) {
    const double k = dt_sub / (dx * dx);
    // Flag 0: some cell rejects the sub-step; flag 1: some cell overdrew.
    overland_detail::found_by_team found;
    overland_detail::for_blocks(ncells, [&](int lo, int hi) {
        bool overdrawn = false, rejected = false;
        for (int i = lo; i <= hi; ++i) {
            const double before = h[i];
            const int up = upcon[i];
            const double in = up ? q[up] : 0.0;
            dh[i] = (in - q[i]) * k;
            h[i] += dh[i];
            if (h[i] < 0.0) {
                if (dt_sub < kSmallestSubstep || h[i] <= kAdeNegativeDepthLimit) rejected = true;
                overdrawn = true;
            } else if (std::fabs(dh[i]) > kAdeChangeShare * before && before > kAdeTestedDepth &&
                       dt_sub > kTestedSubstep) {
                rejected = true;
            }
        }
        found.add({rejected, overdrawn});
    });
    const bool rejected = found.flag(0), overdrawn = found.flag(1);
    if (rejected) return 1;
    if (!overdrawn) return 0;
    // A cell a little below 0 m is accepted as empty: what it gave beyond
    // its depth stays with it, rather than being made from nothing. Rare.
    limit_sweep_overdraws(h, dh, {q, nb, upcon}, ncells, k);
    return 0;
}

double ade_overland_route(model_state& m, double dt) {
    const lake_mode mode = overland_detail::routing_lake_mode(m, false);
    grid_view g = overland_detail::make_grid_view(m, mode);
    const int n = g.n;
    m.ov_route_counted = 0;
    const bool check_start = m.ov_check_start != 0;
    m.ov_check_start = 0;
    m.ov_start_bad = 0;
    ade_step_faces faces;
    // The lake variants leave their faces as discharges.
    const bool no_lakes = !m.chan_lakes_on && !m.overland_lake_map_given;
    const bool step_discharges = m.overtype == 2 && no_lakes;
    // The scratch is made with the arrays for a run that chose an ADE
    // scheme; a caller that chose it afterwards gets it here.
    for (vec1<double>* v : {&m.h_old, &m.volx, &m.voly, &m.hdummy, &m.qdummy}) {
        if (v->n() < n) *v = vec1<double>(n);
    }
    if (m.ov_flow_marks.n() < n) m.ov_flow_marks = vec1<unsigned char>(n);
    // The fused passes leave the depths at the start in m.h_old; the
    // others find them there.
    const bool fused = (m.overtype == 2 || m.overtype == 3) && overland_detail::one_pass_grid(m, g);
    // The depths at the start that are no numbers: found by the first fused
    // pass, which reads them all, or else here, before anything is written.
    const bool fused_passes = fused && g.lakes == lake_mode::none && (m.overtype == 2 || m.overtype == 3);
    int* start_bad = check_start && fused_passes ? &m.ov_start_bad : nullptr;
    if (check_start && !fused_passes) {
        overland_detail::found_by_team found;
        const double* h = g.h;
        overland_detail::for_blocks(n, [h, &found](int lo, int hi) {
            overland_detail::wet_flow_count c;
            for (int i = lo; i <= hi; ++i) c.bad += std::isfinite(h[i]) ? 0 : 1;
            found.add({}, c);
        });
        m.ov_start_bad = found.counts().bad;
        if (m.ov_start_bad > 0) return 0.0;
    }
    if (!fused) copy_cells(g.h, m.h_old.data(), n);
    const int pc_blocks = overland_detail::fused_blocks(n, thread_team(n), m.ov_face_reach);
    if (fused && m.overtype == 3 && pc_in_windows(n, m.ov_face_reach, pc_blocks)) {
        const long long cells = 2 * pc_window_cells(m.ov_face_reach) * pc_blocks;
        if (m.ov_pc_windows.n() + 1LL < cells) m.ov_pc_windows = vec1<double>(static_cast<int>(cells));
    }

    outlet_info out;
    if (m.chan_routing == 0 && m.outlet_cell >= 1 && m.outlet_cell <= n) {
        out.cell = m.outlet_cell;
        out.slope = m.outslope;
    }

    double volume = 0.0;
    if (m.overtype == 2 || m.overtype == 3) {
        if (g.lakes == lake_mode::overland) {
            if (m.lake_scratch.n() < g.nlakes) m.lake_scratch = vec1<double>(g.nlakes);
            volume = ade_one_pass<lake_mode::overland>(m, g, dt, out);
        } else if (g.lakes == lake_mode::channel) {
            // What the lakes exchange with the overland flow is counted
            // from the start of each call: the overland step books it.
            std::fill(g.lake_in_dv, g.lake_in_dv + g.nlakes + 1, 0.0);
            std::fill(g.lake_out_dv, g.lake_out_dv + g.nlakes + 1, 0.0);
            if (m.lake_scratch.n() < g.nlakes) m.lake_scratch = vec1<double>(g.nlakes);
            volume = ade_one_pass<lake_mode::channel>(m, g, dt, out);
        } else if (m.overtype == 3) {
            // Dike flow after the passes moves depths they would have counted.
            volume = pc_substeps(m, g, dt, out, fused, no_lakes && !m.lowspot_file_given, faces, start_bad);
            if (volume < 0.0 || m.ov_start_bad > 0) return volume;
        } else {
            // Dike flow after the sweeps moves depths they would have counted.
            volume = ade_substeps(m, g, dt, out, fused, step_discharges && !m.lowspot_file_given, faces, start_bad);
            if (volume < 0.0 || m.ov_start_bad > 0) return volume;
        }
    } else {
        m.ov_substeps_last = 0;
    }

    if (m.lowspot_file_given) dike_flow(m, dt);
    if (step_discharges) ade_step_discharges(m, dt, faces);
    else if (faces.kind == ade_step_faces::finished) keep_step_counts(m, faces.counts);
    return volume;
}

}  // namespace kesta
