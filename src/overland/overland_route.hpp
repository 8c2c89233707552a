// Overland routing: the two schemes that move surface water between cells,
// and the pieces of the overland step around them (edge boundary, flood
// maxima, outlet law).
//
// Units: depths and elevations in m, cell size in m, step lengths in s,
// discharges in m3/s, volumes in m3. Per-cell vectors are 1-based over the
// active cells 1..ncells; a neighbour number 0 means no active neighbour.
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Manning outflow over the outlet cell's edge (m3/s): (1/n) h^exponent
// sqrt(slope) dx. A depth of 0 or less gives 0.
double outlet_discharge(double h, double n, double slope, double dx, double exponent);

// Explicit scheme (OVERTYPE 1) over dt seconds: upwind Manning fluxes across
// every right and lower face in adaptive sub-steps; a sub-step that moves too
// much water is divided by 3 and the step recomputed from the depths at the
// start of the call. Leaves qx, qy in m3/s and returns the outlet volume (m3;
// 0 with a channel network).
double explicit_overland_route(model_state& m, double dt);

// Alternating-direction scheme over dt seconds: OVERTYPE 2 ("ade") in
// sub-steps halved on rejection, OVERTYPE 3 ("ade-pc") in one
// predictor-corrector pass, or in passes over halves, quarters ... of the
// step while a pass would take more water from a cell than it has. Returns
// the outlet volume (m3), or -1.0 when the sub-step fell below 0.001 s
// (message printed, code 4000 reported).
double ade_overland_route(model_state& m, double dt);

// Face discharges (m3/s, positive towards the right / lower neighbour) of
// every cell from the depths `h`, for the row faces (x) or the column faces
// (y). q[i] is 0 where the face carries nothing.
void ade_flux_x(model_state& m, const double* h, double* q);
void ade_flux_y(model_state& m, const double* h, double* q);

// Applies one ADE sweep to h, dh[i] = (q[upcon[i]] - q[i]) dt_sub / dx^2
// (q[i] is the face from cell i to nb[i]), and returns 1 when some cell
// rejects the sub-step, leaving h of no use (a depth below -1e-6 m, any
// negative depth below a 0.001 s sub-step, or a change above half of a
// depth over 0.001 m with a sub-step above 0.01 s), else 0. A cell that
// would end between -1e-6 m and 0 gives that much less (q and dh change to
// match) and ends at 0.
int ade_stability_check(int ncells, double* h, double* dh, double* q, const int* nb, const int* upcon,
                        double dx, double dt_sub);

// Refreshes, for every type-3 boundary cell, the boundary level from the
// time series whose index is the cell's boundary value, at model time `time`.
void ov_boundary_ts(int ncells, const vec1<double>& boundary_val, const vec1<int>& boundary_type,
                    vec1<double>& boundary_temp, double time);

// Applies the grid-edge boundary over dt seconds to the depths and adds to
// the three boundary volume totals; nothing when OV_BOUNDARY is off.
void ov_boundary_outflow(model_state& m, double dt);

// maxima[i] = max(maxima[i], depths[i]) for cells 1..ncells.
void track_max(const vec1<double>& depths, vec1<double>& maxima, int ncells);

// Wetland faces divide by the wetland's Manning's n: a wetland category
// whose record gives no positive n is refused with a message and code 4000
// (reported). Returns true when every category in use is fit.
bool check_wetland_roughness(model_state& m);

}  // namespace kesta
