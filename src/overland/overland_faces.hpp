// Shared inner pieces of the two overland schemes: a flat view of the
// per-cell arrays for the hot loops, the lake view, and small flux helpers.
// Internal to src/overland.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/arrays.hpp"
#include "core/cube_root.hpp"
#include "core/thread_team.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_state_fwd.hpp"
#include "overland/overland_state.hpp"

namespace kesta {
namespace overland_detail {

// Every loop over the cells runs on thread_team(cells) threads (run_on_team):
// one on grids of fewer than two shares of cells per thread.

// Calls f(lo, hi) on consecutive blocks that share out cells 1..n, a few
// blocks per thread of the team. Work that gives each cell its own results
// gives the same ones for any thread count.
// block_of gives block b (from 0) of `blocks` such blocks.
inline void block_of(int n, int b, int blocks, int& lo, int& hi) {
    lo = static_cast<int>(1 + static_cast<long long>(n) * b / blocks);
    hi = static_cast<int>(static_cast<long long>(n) * (b + 1) / blocks);
}
// Blocks of a loop on a team of `team` threads: several a thread, taken by
// whichever thread is free, so that a thread that finishes early, or that
// the machine holds back, evens out; one on a team of one.
constexpr int kBlocksPerThread = 4;
inline int team_blocks(int team) { return team > 1 ? team * kBlocksPerThread : 1; }
// Blocks of a fused pass over cells 1..n whose faces reach `reach` cells on
// a team of `team`: team_blocks where each block then holds more than 3
// reach cells (the cells near its ends, made before the pass, are then a
// small share of it), else one a thread.
// Whether `blocks` blocks of cells 1..n each hold more than 3 reach cells:
// the runs of cells within `reach` of their boundaries then lie apart.
inline bool blocks_hold_reach(int n, int blocks, int reach) { return n / blocks > 3LL * reach; }
inline int fused_blocks(int n, int team, int reach) {
    const int blocks = team_blocks(team);
    return blocks_hold_reach(n, blocks, reach) ? blocks : team;
}
template <class F>
void for_blocks(int n, F f) {
    const int team = thread_team(n);
    run_parts_on_team(team, std::min(n, team_blocks(team)), [n, &f](int b, int blocks) {
        int lo = 0, hi = 0;
        block_of(n, b, blocks, lo, hi);
        if (lo <= hi) f(lo, hi);
    });
}

// a = min(a, v), from any thread at any time.
inline void lower_to(std::atomic<int>& a, int v) {
    int now = a.load(std::memory_order_relaxed);
    while (v < now && !a.compare_exchange_weak(now, v, std::memory_order_relaxed)) {
    }
}

// Which lakes a routing call treats as lakes.
enum class lake_mode { none, overland, channel };

// d^(5/3) for d > 0, within about 5e-16 of the exact power: d^2 times the
// inverse cube root of core/cube_root.hpp. The library's cube root takes
// over outside the core's range 1e-100..1e100 (where d^2 would leave the
// normal range) and for a NaN. The lanes of overland_simd.hpp make the same
// operations in the same order, so the bits are the same whichever code
// computes a cell.
// The core's guess and step count, as the lanes repeat them.
using ::kesta::inv_cbrt_guess;
constexpr int kPow53NewtonSteps = kInvCbrtNewtonSteps;
inline double pow53(double d) {
    if (!inv_cbrt_in_range(d)) return d * std::cbrt(d * d);
    return d * d * inv_cbrt(d);
}

// Raw pointers of the per-cell arrays of one routing call, index = cell.
// Optional data (dikes, wetlands, lakes) are null when off.
struct grid_view {
    int n = 0;
    double dx = 0.0, inv_dx = 0.0, area = 0.0;
    double* h = nullptr;
    double* dh = nullptr;
    const double* elev = nullptr;
    const double* ret = nullptr;
    const double* rough = nullptr;
    const double* inv_rough = nullptr;  // 1 / rough, made once per run
    const double* sox = nullptr;
    const double* soy = nullptr;
    // With surface_class, the class of each cell, whose retention depth and
    // reciprocal roughness are class_table[2c] and [2c + 1]: the same values
    // as ret and inv_rough, read by the plain flux loops (ret_of,
    // inv_rough_of). Null when the grid has no classes.
    const unsigned char* surface_class = nullptr;
    const double* class_table = nullptr;
    const int* right = nullptr;
    const int* below = nullptr;
    const int* left = nullptr;
    const int* above = nullptr;
    // Cells whose right, left, lower and upper neighbours are the cells 1,
    // -1, `stride` and -stride on, a bit a cell (see interior_marks_top);
    // null when not found.
    const unsigned char* interior = nullptr;
    int stride = 0;
    double* qx = nullptr;
    double* qy = nullptr;
    const int* dike = nullptr;
    const int* wet_mask = nullptr;
    const wetland_props* wet = nullptr;
    int wet_count = 0;  // records in `wet`

    // Lakes of the call: the lake of each cell, the lake count and, by lake,
    // the level and where the volumes go.
    lake_mode lakes = lake_mode::none;
    const int* lake_of = nullptr;
    int nlakes = 0;
    lake_record* olake = nullptr;  // overland lakes
    // Per overland lake, the water above its initial level when the call
    // began (m3).
    const double* olake_above = nullptr;
    double* lake_elev = nullptr;    // channel-network lakes
    double* lake_volume = nullptr;
    double* lake_in_dv = nullptr;
    double* lake_out_dv = nullptr;

    // Lake of cell c, 0 when c lies in none (or names no lake of the call).
    int lake(int c) const {
        if (lakes == lake_mode::none) return 0;
        const int k = lake_of[c];
        return (k >= 1 && k <= nlakes) ? k : 0;
    }
    double lake_level(int k) const {
        return lakes == lake_mode::overland ? olake[k].level : lake_elev[k];
    }
    // Books `into` m3 of water entering lake k (negative: leaving it).
    void book_lake(int k, double into) const {
        if (lakes == lake_mode::overland) {
            olake[k].step_volume += into;
        } else if (into > 0.0) {
            lake_volume[k] += into;
            lake_in_dv[k] += into;
        } else if (into < 0.0) {
            lake_volume[k] += into;
            lake_out_dv[k] -= into;
        }
    }
    double ret_of(int c) const { return surface_class ? class_table[2 * surface_class[c]] : ret[c]; }
    double inv_rough_of(int c) const {
        return surface_class ? class_table[2 * surface_class[c] + 1] : inv_rough[c];
    }
    int wetland(int c) const {
        if (!wet_mask) return 0;
        const int w = wet_mask[c];
        return (w >= 1 && w < wet_count) ? w : 0;
    }
};

// Builds the view of a routing call. Vectors the call needs must hold ncells
// cells (see overland_arrays_ready); optional data shorter than that are off.
grid_view make_grid_view(model_state& m, lake_mode lakes);

// The surface classes of cells 1..n (grid_view::surface_class): of_cell[k]
// the class of cell k (of_cell[0] = 0), and ret[k], inv_rough[k] at
// table[2c], table[2c + 1] of its class c, pairs told apart by their bits.
// False, with of_cell and table empty, when the cells hold more than 256
// distinct pairs.
bool make_surface_classes(const double* ret, const double* inv_rough, int n, std::vector<unsigned char>& of_cell,
                          std::vector<double>& table);

// True when every vector the routing reads or writes holds ncells cells and
// the cell size is positive; otherwise prints a message, stores code 4000 and
// reports it.
bool overland_arrays_ready(model_state& m);
// True when every neighbour number lies in 0..ncells (same failure path).
bool neighbours_in_range(model_state& m);

// Sets m.ov_faces_regular (every neighbour numbered after its cell and
// naming it back) and m.ov_face_reach (the largest gap between the numbers
// of a cell and of a neighbour, at least 1) the first time it is called in
// the run; on a regular grid, also the cells whose neighbours lie at fixed
// gaps (m.ov_interior, m.ov_row_stride), which g then points at (on every
// call).
void find_face_layout(model_state& m, grid_view& g);

// Whether a scheme may make each pass of a direction as one pass over the
// cells: a plain grid (no lakes, dikes or wetland mask) whose neighbours are
// regular. Finds the face layout first (find_face_layout).
bool one_pass_grid(model_state& m, grid_view& g);

// Lake mode of a scheme when both kinds of lake may be on: the explicit
// scheme gives channel-network lakes the precedence (channel_first), the ADE
// scheme overland lakes. Lakes whose cell vector is missing are off.
lake_mode routing_lake_mode(const model_state& m, bool channel_first);

// The faces of one sweep direction: face i joins cell i to nb[i] (0: no
// face) and carries q[i], positive towards nb[i]; up[i] is the cell whose
// face ends at cell i (0: none).
struct face_line {
    double* q;
    const int* nb;
    const int* up;
};

// Keeps a sub-step from taking more water out of a cell than it has. `h` are
// the depths at the start of the sub-step and `dh` the changes its faces
// make, each face moving q x k of depth from its donor to the other cell
// (k = sub-step / dx for fluxes per unit width, sub-step / dx^2 for
// discharges). A cell that h + dh would leave below 0 m gives that much less
// through the faces it gives through, in proportion, and the cells they feed
// receive that much less; q and dh change to match, and the cell ends at 0.
// Repeated while a cell fed less is left below 0; should that not settle,
// every cell then gives at most its depth at the start. Water is neither
// made nor lost.
//
// With `lake_of`, cells whose entry lies in 1..nlakes are lake cells: the
// lake holds their water, so they are never cut and their depths neither
// limit nor change anything (their faces' volumes are booked to the lake
// from the faces as they stand afterwards).
void limit_overdraws(const double* h, double* dh, int n, const face_line* lines, int nlines, double k,
                     const int* lake_of = nullptr, int nlakes = 0);

// Keeps each lake of the call from giving the land more water in one pass
// than it has to give: a channel-network lake its volume, an overland lake
// the water above its initial level and what it gained since its last
// extent update (olake_above plus its step volume), so that it never falls
// below that level. The faces of `lines` through which a lake gives water
// (q x k of depth to the land cell, q x k x area m3 from the lake) are
// scaled down together so that the lake gives at most that, and the land
// cells they feed receive that much less (dh). `given` is scratch of at
// least nlakes + 1 values.
void limit_lake_giving(const grid_view& g, const face_line* lines, int nlines, double k, double* given);

// Removes the outlet outflow Q (m3/s) over dt from depth h (at most all of
// it) and returns the volume removed (m3). Nothing leaves a dry cell.
inline double drain_outlet(double& h, double q, double dt, double area) {
    if (!(h > 0.0) || !(q > 0.0)) return 0.0;
    const double removed = q * dt;
    if (removed / area <= h) {
        h -= removed / area;
        return removed;
    }
    const double all = h * area;
    h = 0.0;
    return all;
}

}  // namespace overland_detail
}  // namespace kesta
