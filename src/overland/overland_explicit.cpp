// Explicit overland routing with an adaptive sub-step. Each sub-step sweeps
// the right faces (x) and the lower faces (y) of every cell in an order that
// alternates between calls, gathering the depth change of each face in `dh`
// and applying it once both directions are swept. A sub-step in which some
// face moves too much water is thrown away: the sub-step is divided by 3 and
// the whole step is computed again from the depths at the start of the call.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "model/model_state.hpp"
#include "overland/dikes_lowspots.hpp"
#include "overland/overland_faces.hpp"
#include "overland/overland_route.hpp"
#include "overland/overland_simd.hpp"

namespace kesta {

namespace {

using overland_detail::grid_view;
using overland_detail::lake_mode;
using overland_detail::pow53;

constexpr double kCelerityLimit = overland_detail::kExplicitCelerityLimit;  // m of depth per face per sub-step
constexpr double kHeightLimit = overland_detail::kExplicitHeightLimit;      // m
constexpr double kDepthFloor = overland_detail::kExplicitDepthFloor;        // m; lowest depth a donor may reach
constexpr double kSmallestSubstep = 0.005;  // s; at or below it failures are accepted
constexpr double kStepTolerance = 0.0001;   // s
constexpr int kMaxDivisions = 5;            // per call
constexpr int kReuseCalls = 4;              // calls that start with a reduced sub-step
constexpr double kMinSlope = overland_detail::kExplicitMinSlope;
constexpr double kPlainSlopeOffset = overland_detail::kExplicitSlopeOffset;
constexpr double kLakeSlopeOffset = 1e-20;
// Exponent of the explicit scheme's outlet law: 1.666667, a shade above 5/3,
// kept so that results match earlier runs of the model.
constexpr double kOutletExponent = 1.666667;

// One sweep direction: neighbour across the face, ground slope towards it,
// flux of the face, and the dike side that closes it.
struct direction {
    const int* nb;
    const double* so;
    double* q;
    int dike_bit;
    bool x;
};

direction x_direction(const grid_view& g) { return {g.right, g.sox, g.qx, 2, true}; }
direction y_direction(const grid_view& g) { return {g.below, g.soy, g.qy, 4, false}; }

double signed_root(double sf) { return std::copysign(std::sqrt(std::fabs(sf)), sf); }

// Flux (m2/s, positive from i to r) of a face whose cell i is a wetland of
// category w. Spilling over the berm onto ordinary land, the plain routing
// takes the land's roughness for outflow; the channel-lake variant takes, in
// both directions, cell i's roughness across x faces and the neighbour's
// across y faces.
double wetland_flux(const grid_view& g, int i, int r, int w, double sf, bool x, bool lake_variant) {
    const auto& f = g.wet[w].field;
    const double berm = f[1], seepage = f[2], transition = f[3], linear = f[4], n_w = f[6];
    const bool r_wet = g.wetland(r) != 0;
    const double* h = g.h;
    double d;
    if (sf >= 0.0) d = h[i] - berm;
    else d = r_wet ? h[r] - berm : h[r] - g.ret[r];
    if (d <= 0.0) {
        if (sf < 0.0 && !r_wet) return 0.0;
        return h[sf < 0.0 ? r : i] * sf * seepage;
    }
    if (!r_wet) {
        const double inv_n = x ? g.inv_rough[i] : g.inv_rough[r];
        if (sf >= 0.0 && !lake_variant) return std::sqrt(sf) * g.inv_rough[r] * pow53(d);
        return signed_root(sf) * inv_n * pow53(d);
    }
    const double manning = signed_root(sf) / n_w * pow53(d);
    const double seep = berm * sf * seepage;
    if (d > transition) return seep + manning;
    // d <= transition, so transition > 0 here.
    const double share = d / transition;
    return seep + (1.0 - share) * (d * sf * linear) + share * manning;
}

// Flux (m2/s, positive from i to r) of a face between a land cell and a lake
// cell; `land_is_i` tells which side is land. The slope is taken between the
// land's water surface and the lake level; the water moved is the depth of
// the side it leaves (from a channel-network lake, the lake level above the
// land's ground).
double lake_face_flux(const grid_view& g, int i, int r, bool land_is_i, double level) {
    const int land = land_is_i ? i : r;
    const double surface = g.elev[land] + g.h[land];
    double sf = land_is_i ? (surface - level) * g.inv_dx + kLakeSlopeOffset
                          : (level - surface) * g.inv_dx;
    if (std::fabs(sf) < kMinSlope) sf = kMinSlope;
    const bool leaves_land = land_is_i ? sf >= 0.0 : sf < 0.0;
    double depth = g.h[land];
    if (!leaves_land && g.lakes == lake_mode::channel) depth = level - g.elev[land];
    const int w = g.wetland(land);
    if (w) {
        const auto& f = g.wet[w].field;
        const double d = depth - f[1];
        if (d <= 0.0) return leaves_land ? g.h[land] * sf * f[2] : 0.0;
        return signed_root(sf) / f[6] * pow53(d);
    }
    const double d = (leaves_land || g.lakes == lake_mode::overland) ? depth - g.ret[land] : depth;
    if (d <= 0.0) return 0.0;
    return signed_root(sf) * g.inv_rough[land] * pow53(d);
}

// Messages of the channel-lake variant for a failing face.
void report_failing_face(bool x, double celerity, double c, double after, double q, double sub,
                         int cell) {
    const char* tag = x ? "x" : "y";
    if (!(celerity < kCelerityLimit)) {
        std::printf("  ]%s:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", tag, celerity, c, q, sub, cell);
        std::printf("    -> Cell Exceded Celerity Check\n");
    } else if (std::fabs(c) <= kHeightLimit) {
        std::printf("  ]%s: h+dh < 0.00   (h+dh=%lf)  j:%d\n", tag, after, cell);
        std::printf("    -> Outflow Exceeded Water Depth\n");
    } else {
        std::printf("  ]%s:U%2.4lf _H_%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", tag, celerity, c, q, sub, cell);
        std::printf("    -> Cell Exceeded Max Height Change\n");
    }
}

struct sweep_state {
    bool too_small = false;    // failures are accepted from now on in this call
    bool can_divide = true;    // the call may still divide its sub-step
    bool quiet = false;
    bool blank_printed = false;
    bool overdrawn = false;    // a face left its donor below 0 m in this sub-step
    double cleanup = 0.0;      // m3 of negative depth set to 0 in this attempt
};

// Sweeps one direction with a sub-step of `sub` seconds. Plain routing
// (lake_mode::none) returns the number of failing faces; the channel-lake
// variant stops at the first failing face outside a lake and returns 1
// while the sub-step may still be divided, and otherwise gives up dividing
// and sweeps on, as plain routing does; the overland-lake variant tests
// nothing and returns 0. The lake variants book their lake faces once the
// faces are final (book_channel_lake_faces, book_overland_lake_faces).
//
// A face that is not computed (no neighbour, a dike side, water held by
// retention, two lake cells) gets flux 0. A face fails when it moves
// 0.06 m or more of depth, more than 0.1 m, or leaves its donor cell below
// -0.0001 m once the changes gathered so far in the sub-step are counted.
template <lake_mode M>
int sweep(const grid_view& g, const direction& dir, double sub, sweep_state& st) {
    double* h = g.h;
    double* dh = g.dh;
    double* q = dir.q;
    const double k = sub * g.inv_dx;
    constexpr double offset = M == lake_mode::none ? kPlainSlopeOffset : kLakeSlopeOffset;
    int failures = 0;
    for (int i = 1; i <= g.n; ++i) {
        int li = 0;
        if constexpr (M == lake_mode::channel) {
            li = g.lake(i);
            if (!li && h[i] < 0.0) {
                st.cleanup -= h[i] * g.area;
                h[i] = 0.0;
            }
        }
        const int r = dir.nb[i];
        if (r == 0 || (g.dike && (g.dike[i] & dir.dike_bit))) {
            q[i] = 0.0;
            continue;
        }
        double qi = 0.0, c = 0.0, after = 0.0;
        int lake_face = 0;  // 1: land-lake face, 2: its lake side is cell i
        if constexpr (M != lake_mode::none) {
            if constexpr (M == lake_mode::overland) li = g.lake(i);
            const int lr = g.lake(r);
            if (li && lr) {
                q[i] = 0.0;
                continue;
            }
            if (li || lr) {
                const bool land_is_i = li == 0;
                const int lake = land_is_i ? lr : li;
                const int land = land_is_i ? i : r;
                qi = lake_face_flux(g, i, r, land_is_i, g.lake_level(lake));
                c = qi * k;
                dh[land] += land_is_i ? -c : c;
                const bool leaves_land = land_is_i ? c >= 0.0 : c < 0.0;
                after = leaves_land ? h[land] + dh[land] : 0.0;
                lake_face = land_is_i ? 1 : 2;
            }
        }
        if (!lake_face) {
            const int w = g.wet_mask ? g.wetland(i) : 0;
            if (w) {
                double sf = dir.so[i] - (h[r] - h[i]) * g.inv_dx + offset;
                if (std::fabs(sf) < kMinSlope) sf = kMinSlope;
                qi = wetland_flux(g, i, r, w, sf, dir.x, M == lake_mode::channel);
            } else {
                if (M != lake_mode::overland && g.ret[i] > h[i]) {
                    q[i] = 0.0;
                    continue;
                }
                double sf = dir.so[i] - (h[r] - h[i]) * g.inv_dx + offset;
                if (std::fabs(sf) < kMinSlope) sf = kMinSlope;
                const int up = sf < 0.0 ? r : i;
                // Plain routing takes the water above cell i's retention in
                // both directions, the lake variants above the upwind cell's.
                const double d = h[up] - g.ret[M == lake_mode::none ? i : up];
                qi = d > 0.0 ? signed_root(sf) * g.inv_rough[i] * pow53(d) : 0.0;
            }
            c = qi * k;
            dh[i] -= c;
            dh[r] += c;
            after = c >= 0.0 ? h[i] + dh[i] : h[r] + dh[r];
        }
        q[i] = qi;
        if constexpr (M == lake_mode::overland) continue;
        if (after < 0.0) st.overdrawn = true;
        if (lake_face == 2) continue;  // a failing face of a lake cell is ignored

        const double celerity = std::fabs(c);
        const bool ok = celerity < kCelerityLimit && celerity <= kHeightLimit && after >= kDepthFloor;
        if (ok || st.too_small) continue;
        if (sub <= kSmallestSubstep) {
            st.too_small = true;
            continue;
        }
        if constexpr (M == lake_mode::channel) {
            if (!st.quiet) {
                if (!st.blank_printed) std::printf("\n");
                st.blank_printed = true;
                report_failing_face(dir.x, celerity, c, after, qi, sub, i);
            }
            if (st.can_divide) return 1;
            st.too_small = true;
            if (!st.quiet) std::printf(" *Time step to small to divide, continuing with current time step\n");
            continue;
        }
        ++failures;
    }
    return failures;
}

// Applies the gathered changes: h += dh outside the lakes of the call, and
// clears dh everywhere.
template <lake_mode M>
void apply_changes(const grid_view& g) {
    double* h = g.h;
    double* dh = g.dh;
    for (int i = 1; i <= g.n; ++i) {
        if (M == lake_mode::none || !g.lake(i)) h[i] += dh[i];
        dh[i] = 0.0;
    }
}

// The volumes of the land-lake faces of one sub-step go to their lakes, by
// the side of the land's water surface against the lake level (none when
// the two stand level); a face a dike closes carries none.
void book_channel_lake_faces(const grid_view& g, double sub) {
    for (const direction& dir : {x_direction(g), y_direction(g)}) {
        for (int i = 1; i <= g.n; ++i) {
            const int r = dir.nb[i];
            if (r == 0 || (g.dike && (g.dike[i] & dir.dike_bit))) continue;
            const int li = g.lake(i), lr = g.lake(r);
            if ((li != 0) == (lr != 0)) continue;
            const int land = li ? r : i, lake = li ? li : lr;
            const double volume = std::fabs(dir.q[i] * g.dx * sub);
            const double surface = g.elev[land] + g.h[land], level = g.lake_level(lake);
            if (surface > level) g.book_lake(lake, volume);
            else if (surface < level) g.book_lake(lake, -volume);
        }
    }
}

// The plain routing of a grid whose faces are regular (no dikes, no
// wetlands, every neighbour numbered after its cell and naming it back) in
// a form that splits over threads: the faces of both directions are
// computed from the depths first (a face reads only the depths), then each
// cell gathers its changes from its faces in the order of the cell-by-cell
// sweep, so that every sum, every test and so every result is the same,
// bit for bit, as the sweep's and whatever the number of threads.

// Cells per tile of the fused sub-step: the faces of a tile and of the
// `reach` cells after it stay in the core's cache while its changes read
// them.
constexpr int kTileCells = 2048;
// The largest finite double: a depth whose magnitude passes it (or a NaN,
// which compares false) is no finite number.
constexpr double kLargestFinite = std::numeric_limits<double>::max();

// q *= dx for both directions' faces of cells lo..hi.
void scale_discharges(const grid_view& g, int lo, int hi) {
    double* qx = g.qx;
    double* qy = g.qy;
    const double dx = g.dx;
#pragma omp simd
    for (int i = lo; i <= hi; ++i) {
        qx[i] *= dx;
        qy[i] *= dx;
    }
}

// Calls f(lo, hi) on the runs of cells that lie within `reach` of a
// boundary between `blocks` blocks of cells 1..n (the cells of one block
// whose faces the changes of another read), each cell once, in order.
template <class F>
void for_boundary_cells(int n, int blocks, int reach, F f) {
    int done = 0;
    for (int b = 0; b + 1 < blocks; ++b) {
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        const int from = std::max(done + 1, hi - reach + 1), to = std::min(n, hi + reach);
        if (from <= to) {
            f(from, to);
            done = to;
        }
    }
}

// for_boundary_cells with the runs of cells shared out over a team of
// `team` threads, all at once: for an f that writes nothing outside its
// run's cells, on grids whose blocks hold more than 3 reach cells, where the
// runs lie apart. On others the runs are made one after another.
template <class F>
void for_boundary_cells_on_team(int n, int team, int blocks, int reach, F f) {
    if (blocks < 3 || !overland_detail::blocks_hold_reach(n, blocks, reach)) {
        for_boundary_cells(n, blocks, reach, f);
        return;
    }
    run_parts_on_team(team, blocks - 1, [n, blocks, reach, &f](int b, int) {
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        f(hi - reach + 1, std::min(n, hi + reach));
    });
}

// One sub-step of `sub` s of a regular plain grid from the depths `from`:
// the fluxes into qx, qy, the depths after it into `to`, and the verdict
// of the tests the sweep makes face by face, each with the changes gathered
// up to that face. The cells are shared out in blocks, a few a thread; each
// block is walked in tiles, making the faces a tile's changes read just
// before them, so the grid is read from memory once. A change reads faces
// within `reach` cells of its own: the faces near a boundary between blocks
// are made first, by the team, before any change, so that no thread waits
// for another. With `last`, the fluxes become the discharges the call leaves
// (x dx) once no change reads them any more, those near a boundary once
// the threads are done. Every face and change is computed as the separate
// passes computed it, so the numbers are the same, bit for bit, for any
// thread count. The last sub-step also counts, into `counts`, the depths and
// discharges it leaves as it finishes them. With `from_bad`, the depths
// `from` that are not finite numbers are counted there, each tile's while
// the changes have just read them.
overland_detail::regular_verdict fused_substep(const grid_view& g0, const overland_detail::change_lines& l,
                                               double sub, const double* from, double* to, bool last, int reach,
                                               overland_detail::wet_flow_count& counts, int* from_bad = nullptr) {
    grid_view g = g0;
    g.h = const_cast<double*>(from);  // the faces and changes only read it
    g.dh = to;
    const int n = g.n;
    const double k = sub * g.inv_dx;
    // Scales the discharges of cells lo..hi, whose depths are final, and
    // counts the cells.
    auto finish = [&g, to](int lo, int hi, overland_detail::wet_flow_count& c) {
        overland_detail::scale_and_count(to, g.qx, g.qy, g.dx, overland_detail::kWetDepth,
                                         overland_detail::kFlowing, lo, hi, c);
    };
    const int team = thread_team(n);
    const int blocks = overland_detail::fused_blocks(n, team, reach);
    for_boundary_cells_on_team(n, team, blocks, reach,
                               [&g](int lo, int hi) { overland_detail::explicit_plain_fluxes(g, lo, hi); });
    overland_detail::found_by_team found;
    std::atomic<int> bad_from{0};
    run_parts_on_team(team, blocks, [&](int b, int) {
        overland_detail::regular_verdict v;
        overland_detail::wet_flow_count c;
        int bad = 0;
        int lo = 0, hi = 0;
        overland_detail::block_of(n, b, blocks, lo, hi);
        // The faces of cells own..own_end are read by this block alone.
        const int own = b > 0 ? lo + reach : lo;
        const int own_end = b + 1 < blocks ? hi - reach : hi;
        int made = own - 1;    // faces made up to this cell
        int scaled = own - 1;  // discharges made up to this cell (last sub-step)
        for (int c0 = lo; c0 <= hi; c0 += kTileCells) {
            const int c1 = std::min(hi, c0 + kTileCells - 1);
            const int needed = std::min(own_end, c1 + reach);
            if (needed > made) {
                overland_detail::explicit_plain_fluxes(g, made + 1, needed);
                made = needed;
            }
            overland_detail::explicit_cell_changes(g, l, k, c0, c1, v);
            if (from_bad) {
#pragma omp simd reduction(+ : bad)
                for (int i = c0; i <= c1; ++i) bad += std::fabs(from[i]) <= kLargestFinite ? 0 : 1;
            }
            // No change reads the faces of cells `reach` before the
            // tile's end again.
            const int free_to = std::min(own_end, c1 - reach);
            if (last && free_to > scaled) {
                finish(scaled + 1, free_to, c);
                scaled = free_to;
            }
        }
        if (last && own_end > scaled) finish(scaled + 1, own_end, c);
        found.add({v.fail1, v.fail2, v.overdrawn}, c);
        if (bad) bad_from.fetch_add(bad, std::memory_order_relaxed);
    });
    if (from_bad) *from_bad = bad_from.load();
    if (last) {
        for_boundary_cells_on_team(n, team, blocks, reach, [&finish, &found](int lo, int hi) {
            overland_detail::wet_flow_count c;
            finish(lo, hi, c);
            found.add({}, c);
        });
    }
    counts = found.counts();
    return {found.flag(0), found.flag(1), found.flag(2)};
}

// The rare sub-step in which a face left its donor below 0 m, again from
// `from` as separate passes: fluxes, changes into `to`, the overdraw
// limiter, then to = from + change (and, with `last`, the discharges).
void limited_substep(const grid_view& g0, const overland_detail::change_lines& changes, double sub,
                     const double* from, double* to, bool last) {
    grid_view g = g0;
    g.h = const_cast<double*>(from);
    g.dh = to;
    const int n = g.n;
    const double k = sub * g.inv_dx;
    overland_detail::change_lines l = changes;
    l.with_depth = false;
    overland_detail::for_blocks(n, [&g](int lo, int hi) { overland_detail::explicit_plain_fluxes(g, lo, hi); });
    overland_detail::for_blocks(n, [&g, &l, k](int lo, int hi) {
        overland_detail::regular_verdict unused;
        overland_detail::explicit_cell_changes(g, l, k, lo, hi, unused);
    });
    const overland_detail::face_line lines[2] = {{g.qx, g.right, g.left}, {g.qy, g.below, g.above}};
    overland_detail::limit_overdraws(from, to, n, lines, 2, k);
    overland_detail::for_blocks(n, [&g, from, to, last](int lo, int hi) {
        for (int i = lo; i <= hi; ++i) to[i] = from[i] + to[i];
        if (last) scale_discharges(g, lo, hi);
    });
}

// Plain routing over dt of a regular grid, starting with a sub-step of `sub`
// s; the same decisions, messages and results as substep_route. Each
// sub-step reads the depths of one buffer and writes the next: the depths
// at the start of the call stay in m.h for a later attempt, and the others
// take turns in m.dh and m.h_old; the final depths are swapped into m.h.
// Returns the sub-steps of the final attempt. With `start_bad`, the first
// sub-step counts there the depths at the start that are not finite
// numbers; when there are any, the call returns at once, m.h as it was.
// With `reset_to`, the message that the sub-step is reset to it is printed
// after that first sub-step (so that a call that returns at once prints
// nothing), before any of its own.
int regular_substep_route(model_state& m, grid_view& g, double dt, double sub, bool y_first, int* start_bad,
                          double reset_to) {
    const direction dirs[2] = {y_first ? y_direction(g) : x_direction(g),
                               y_first ? x_direction(g) : y_direction(g)};
    const int* up1 = y_first ? g.above : g.left;
    const int* up2 = y_first ? g.left : g.above;
    overland_detail::change_lines lines{dirs[0].nb, dirs[0].q, up1, dirs[1].nb, dirs[1].q, up2, true};
    lines.off1 = y_first ? g.stride : 1;
    lines.off2 = y_first ? 1 : g.stride;
    vec1<double>* depths[3] = {&m.h, &m.dh, &m.h_old};
    const bool quiet = m.quiet != 0;
    int divisions = 0;
    for (;;) {
        bool too_small = false;
        double elapsed = 0.0;
        int substeps = 0;
        bool restart = false;
        int at = 0;  // the buffer holding the depths of the sub-step's start
        for (;;) {
            const double this_sub = std::min(sub, dt - elapsed);
            const double end = elapsed + this_sub;
            const bool last = std::fabs(end - dt) < kStepTolerance || end > dt;
            const int next = at == 1 ? 2 : 1;
            const double* from = depths[at]->data();
            double* to = depths[next]->data();
            overland_detail::wet_flow_count counts;
            const overland_detail::regular_verdict v = fused_substep(g, lines, this_sub, from, to, last,
                                                                     m.ov_face_reach, counts, start_bad);
            if (start_bad && *start_bad > 0) return 0;
            start_bad = nullptr;  // the first attempt's first sub-step alone
            if (reset_to > 0.0) {
                if (!quiet) std::printf("Resetting time step to %4.2lf for overland flow...\n", reset_to);
                reset_to = 0.0;
            }
            for (const bool fail : {v.fail1, v.fail2}) {
                if (!fail || too_small) continue;
                if (this_sub <= kSmallestSubstep) {
                    too_small = true;
                    continue;
                }
                if (divisions < kMaxDivisions) {
                    sub /= 3.0;
                    if (!quiet) std::printf(" *Changing overland time step to %4.2lf seconds...\n", sub);
                    m.ov_reduced_substep = sub;
                    m.ov_reduced_reuse = kReuseCalls;
                    ++divisions;
                    restart = true;
                    break;
                }
                too_small = true;
                if (!quiet) std::printf(" *Time step to small to divide, continuing with current time step\n");
            }
            if (restart) break;  // the next attempt starts again from m.h
            if (v.overdrawn) {
                limited_substep(g, lines, this_sub, from, to, last);
            } else if (last) {
                m.ov_route_counted = 1;
                m.ov_route_bad = counts.bad;
                m.ov_route_wet = counts.wet;
                m.ov_route_flowing = counts.flowing;
            }
            elapsed = end;
            ++substeps;
            at = next;
            if (last) break;
        }
        if (!restart) {
            std::swap(m.h, *depths[at]);
            g.h = m.h.data();
            g.dh = m.dh.data();
            book_water(m, water_flow::overland_cleanup, 0.0);  // nothing to clean up, as in substep_route
            if (too_small) ++m.ov_substep_giveups;
            return substeps;
        }
    }
}

// Sub-stepped routing (plain and channel-lake variants) over dt seconds,
// starting with a sub-step of `sub` s. Returns the sub-steps of the final
// attempt.
template <lake_mode M>
int substep_route(model_state& m, const grid_view& g, double dt, double sub, bool y_first) {
    const direction dirs[2] = {y_first ? y_direction(g) : x_direction(g),
                               y_first ? x_direction(g) : y_direction(g)};
    const double* h_old = m.h_old.data();
    sweep_state st;
    st.quiet = m.quiet != 0;
    int divisions = 0;
    for (bool first_attempt = true;; first_attempt = false) {
        // The first attempt starts from the depths as they stand (h_old is
        // their copy and dh is clear); a later one from the copy.
        if (!first_attempt) {
            std::fill(g.dh, g.dh + g.n + 1, 0.0);
            std::copy(h_old, h_old + g.n + 1, g.h);
        }
        st.cleanup = 0.0;
        st.overdrawn = false;
        if constexpr (M == lake_mode::channel) {
            std::fill(g.qx, g.qx + g.n + 1, 0.0);
            std::fill(g.qy, g.qy + g.n + 1, 0.0);
            for (int k = 1; k <= g.nlakes; ++k) {
                g.lake_elev[k] = m.lakeelev_old[k];
                g.lake_volume[k] = m.lakevol_old[k];
                g.lake_in_dv[k] = m.lakeindv_old[k];
                g.lake_out_dv[k] = m.lakeoutdv_old[k];
            }
        }
        double elapsed = 0.0;
        int substeps = 0;
        bool restart = false;
        for (;;) {
            // The last sub-step ends the step exactly where dt ends.
            const double this_sub = std::min(sub, dt - elapsed);
            for (const direction& dir : dirs) {
                st.can_divide = divisions < kMaxDivisions;
                const int failures = sweep<M>(g, dir, this_sub, st);
                if (failures == 0 || st.too_small) continue;
                if (divisions < kMaxDivisions) {
                    sub /= 3.0;
                    if (!st.quiet) std::printf(" *Changing overland time step to %4.2lf seconds...\n", sub);
                    m.ov_reduced_substep = sub;
                    m.ov_reduced_reuse = kReuseCalls;
                    ++divisions;
                    restart = true;
                    break;
                }
                st.too_small = true;
                if (!st.quiet) std::printf(" *Time step to small to divide, continuing with current time step\n");
            }
            if (restart) break;
            // The tests allow a donor a little below 0 m, and a give-up
            // allows anything: no cell gives more than it has, nor a lake.
            if constexpr (M == lake_mode::channel) {
                const overland_detail::face_line lines[2] = {{g.qx, g.right, g.left}, {g.qy, g.below, g.above}};
                overland_detail::limit_lake_giving(g, lines, 2, this_sub * g.inv_dx, m.lake_scratch.data());
                st.overdrawn = true;  // a land cell fed less may now be below 0 m
            }
            if (st.overdrawn) {
                const overland_detail::face_line lines[2] = {{g.qx, g.right, g.left}, {g.qy, g.below, g.above}};
                overland_detail::limit_overdraws(g.h, g.dh, g.n, lines, 2, this_sub * g.inv_dx,
                                                 M == lake_mode::channel ? g.lake_of : nullptr, g.nlakes);
            }
            if constexpr (M == lake_mode::channel) book_channel_lake_faces(g, this_sub);
            st.overdrawn = false;
            apply_changes<M>(g);
            elapsed += this_sub;
            ++substeps;
            if (std::fabs(elapsed - dt) < kStepTolerance || elapsed > dt) break;
        }
        if (!restart) {
            book_water(m, water_flow::overland_cleanup, st.cleanup);
            // Faces that failed the tests were accepted: the event summary
            // warns of it, whatever the console shows.
            if (st.too_small) ++m.ov_substep_giveups;
            return substeps;
        }
    }
}

// The volume of each land-lake face of `dir` over `sub` s goes to its
// overland lake, positive into the lake.
void book_overland_lake_faces(const grid_view& g, const direction& dir, double sub) {
    const double k = sub * g.inv_dx;
    for (int i = 1; i <= g.n; ++i) {
        const int r = dir.nb[i];
        if (r == 0 || dir.q[i] == 0.0) continue;
        const int li = g.lake(i), lr = g.lake(r);
        if ((li != 0) == (lr != 0)) continue;
        const double c = dir.q[i] * k;  // depth moved from i to r
        if (lr) g.book_lake(lr, c * g.area);
        else g.book_lake(li, -c * g.area);
    }
}

// Overland-lake variant: one untested pass over dt, the x faces and then the
// y faces, each direction's changes applied before the next is swept. No
// land cell gives more water than it has, and no lake more than it has to
// give above its initial level (the faces are cut to match).
void overland_lake_route(const grid_view& g, double dt, double* scratch) {
    sweep_state st;
    const double k = dt * g.inv_dx;
    for (const direction& dir : {x_direction(g), y_direction(g)}) {
        sweep<lake_mode::overland>(g, dir, dt, st);
        const overland_detail::face_line line{dir.q, dir.nb, dir.x ? g.left : g.above};
        overland_detail::limit_lake_giving(g, &line, 1, k, scratch);
        overland_detail::limit_overdraws(g.h, g.dh, g.n, &line, 1, k, g.lake_of, g.nlakes);
        book_overland_lake_faces(g, dir, dt);
        apply_changes<lake_mode::overland>(g);
    }
}

void save_copy(vec1<double>& copy, const vec1<double>& from, int n) {
    if (copy.n() < n) copy = vec1<double>(n);
    for (int k = 0; k <= n; ++k) copy[k] = from[k];
}

}  // namespace

double explicit_overland_route(model_state& m, double dt) {
    const lake_mode mode = overland_detail::routing_lake_mode(m, true);
    grid_view g = overland_detail::make_grid_view(m, mode);
    const int n = g.n;
    m.ov_route_counted = 0;
    const bool regular = overland_detail::one_pass_grid(m, g);
    // The depths at the start that are no numbers: found by the first
    // sub-step of the regular form, which reads them all, or else here,
    // before anything changes.
    const bool check_start = m.ov_check_start != 0;
    m.ov_check_start = 0;
    m.ov_start_bad = 0;
    const bool checked_in_route = check_start && regular && g.lakes == lake_mode::none;
    if (check_start && !checked_in_route) {
        for (int i = 1; i <= n; ++i) m.ov_start_bad += std::isfinite(g.h[i]) ? 0 : 1;
        if (m.ov_start_bad > 0) return 0.0;
    }

    m.ov_explicit_calls = (m.ov_explicit_calls + 1) % 2;
    const bool y_first = m.ov_explicit_calls == 1;
    // The regular form writes dh before it reads it.
    if (!regular) std::fill(g.dh, g.dh + n + 1, 0.0);

    double sub;
    double reset_to = 0.0;  // the message of a reset, made by the regular form after its check
    if (m.ov_reduced_reuse < 1) {
        sub = dt;
        if (m.ov_reduced_in_use) {
            if (checked_in_route) reset_to = dt;
            else if (!m.quiet) std::printf("Resetting time step to %4.2lf for overland flow...\n", dt);
            m.ov_reduced_in_use = 0;
        }
    } else {
        sub = m.ov_reduced_substep;
        --m.ov_reduced_reuse;
        m.ov_reduced_in_use = 1;
    }

    if (m.h_old.n() < n) m.h_old = vec1<double>(n);
    if (!regular) std::copy(g.h, g.h + n + 1, m.h_old.data());

    switch (g.lakes) {
        case lake_mode::none:
            m.ov_substeps_last =
                regular ? regular_substep_route(m, g, dt, sub, y_first, checked_in_route ? &m.ov_start_bad : nullptr,
                                                reset_to)
                        : substep_route<lake_mode::none>(m, g, dt, sub, y_first);
            if (m.ov_start_bad > 0) return 0.0;
            break;
        case lake_mode::channel:
            // What the lakes exchange with the overland flow is counted
            // from the start of each call: the overland step books it.
            std::fill(g.lake_in_dv, g.lake_in_dv + g.nlakes + 1, 0.0);
            std::fill(g.lake_out_dv, g.lake_out_dv + g.nlakes + 1, 0.0);
            if (m.lake_scratch.n() < g.nlakes) m.lake_scratch = vec1<double>(g.nlakes);
            save_copy(m.lakeelev_old, m.lake_elev, g.nlakes);
            save_copy(m.lakevol_old, m.lake_volume, g.nlakes);
            save_copy(m.lakeindv_old, m.lake_in_dv, g.nlakes);
            save_copy(m.lakeoutdv_old, m.lake_out_dv, g.nlakes);
            m.ov_substeps_last = substep_route<lake_mode::channel>(m, g, dt, sub, y_first);
            break;
        case lake_mode::overland:
            if (m.lake_scratch.n() < g.nlakes) m.lake_scratch = vec1<double>(g.nlakes);
            overland_lake_route(g, dt, m.lake_scratch.data());
            m.ov_substeps_last = 1;
            break;
    }

    if (m.lowspot_file_given) {
        dike_flow(m, dt);
        m.ov_route_counted = 0;
    }

    double volume = 0.0;
    const int out = m.outlet_cell;
    if (m.chan_routing == 0 && out >= 1 && out <= n) {
        const double q = outlet_discharge(g.h[out], g.rough[out], m.outslope, g.dx, kOutletExponent);
        const double before = g.h[out];
        volume = overland_detail::drain_outlet(g.h[out], q, dt, g.area);
        // The outlet's depth is counted as it is now.
        overland_detail::recount_depth(before, g.h[out], m.ov_route_bad, m.ov_route_wet);
    }

    // The regular form's last sub-step has made the discharges.
    if (!regular) overland_detail::for_blocks(n, [&g](int lo, int hi) { scale_discharges(g, lo, hi); });
    return volume;
}

}  // namespace kesta
