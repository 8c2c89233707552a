// Saturated flow in the one unconfined aquifer under the grid: its set-up
// checks, the implicit head solve and the wells that pump from it. The loop
// step itself is step_groundwater (subsurface_steps.hpp).
#pragma once

#include <string>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"
#include "subsurface/subsurface_state.hpp"

namespace kesta {

// Groundwater boundary types of gwbound.
constexpr int kGwFixedHead = 2;       // head held; its face fluxes are the boundary flux
constexpr int kGwRiverCell = 4;       // exchanges with the stream above it
constexpr int kGwFixedHeadQuiet = 5;  // head held, no soil-column coupling
constexpr int kGwLakeCell = 7;        // exchanges with the channel lake above it

// Lowest saturated thickness (m): a cell never drains below it, and a
// thinner one carries the transmissivity of this thickness.
constexpr double kGwFloor = 0.001;

// Lowest aquifer porosity: a smaller one holds no water the solver could
// move (and divides its volumes to nothing).
constexpr double kGwLeastPorosity = 1e-6;

inline bool gw_fixed_head(int type) { return type == kGwFixedHead || type == kGwFixedHeadQuiet; }

// Checks the groundwater cards before any groundwater input is read:
// GW_TIMESTEP given and a whole multiple of TIMESTEP (the clock would never
// find it due otherwise). False after a refusal naming the values. Warns
// once when GW_LSOR_DIR, GW_RELAX_COEFF or GW_LSOR_CON, which steer
// nothing, is given.
bool groundwater_options_hold(const model_state& m);

// Prepares the solver once the groundwater inputs are read: allocates its
// work vectors and checks every cell's porosity within [1e-6, 1] and
// conductivity at least 0 (`porosity_source` and `conductivity_source` name
// where the values came from) and its head not below the aquifer bottom.
// False after a refusal naming the cell and value.
bool setup_groundwater(model_state& m, const std::string& porosity_source,
                       const std::string& conductivity_source);

// The volumes (m3) the surface processes left for the aquifer in one cell:
// tile-drain inflow (out of the aquifer), lake and stream exchange (into it).
struct surface_exchange {
    double tile = 0.0;
    double lake = 0.0;
    double stream = 0.0;
};

// Takes the exchange volumes of cell k out of vol_tile_grid, lake_source and
// river_source (of the processes the run has) and books them in the run
// totals: the tile drains, and the lake and stream volumes by direction.
surface_exchange take_surface_exchange(model_state& m, int k);

// What one solve moved.
struct gw_solve {
    double added = 0.0;           // m3, net volume the sources and sinks added to the aquifer
    double unsat_exchange = 0.0;  // cm summed over the cells, into the aquifer from the Richards columns
};

// Solves the heads `elevgw` of every cell that is not of a fixed-head type
// over dt seconds, implicitly, from the sources and sinks of the step and
// the storage coefficients STOR. Books the fixed-head face fluxes into
// gw_flux of the fixed cells (m3, positive into the aquifer). After a
// failure (non-convergence, a head that is not a number) the code is
// reported and the result is all 0.
gw_solve gw_head_iterate(model_state& m, double dt);

// What one solve of the head system reached.
struct gw_system_solve {
    bool converged = false;  // the solve reached what it aimed at
    bool balanced = false;   // the residual is within what the sub-step may leave unbalanced
    long iterations = 0;     // conjugate-gradient iterations
    int factorisations = 0;  // complete factorisations made
    double residual = 0.0;   // m3 over the sub-step: the cells' residuals, magnitudes summed
    double allowed = 0.0;    // m3 the residual had to come below
    double volume = 0.0;     // m3 the solved cells held at the sub-step's start
    int not_a_number = 0;    // a cell whose storage, sinks, faces or head are not numbers (left unsolved)
};

// Solves the heads `elevgw` of every cell that is not of a fixed-head type
// for one Picard pass over a sub-step of `sub` seconds: storage STOR, the
// face coefficients Bdummy (above), Hdummy (below), Ddummy (left) and
// Fdummy (right) (1/s), the net sinks `source` (m/s) and the heads at the
// sub-step's start `elevgw_substep`; starts from the heads in `elevgw`.
// The pass's residual falls a thousandfold, or until balanced when that is
// nearer. Held cells keep their heads. The heads are written whether or
// not the solve converged, unless a row holds a value that is not a number.
gw_system_solve solve_head_system(model_state& m, double sub);

// Solves the system of the last solve_head_system further, from the heads
// it reached, until it is balanced.
gw_system_solve balance_head_system(model_state& m, double sub);

// Storage coefficient of a Richards cell from the column nodes its water
// table crossed since the start of the sub-step (substep_head).
double water_table_layer_value(const model_state& m, int cell, double substep_head);

// Every cell with a well gets its rate at model time `t` per unit area
// (m/s, positive out of the aquifer) in qwell; other cells keep theirs.
void update_well_rates(model_state& m, double t);

// Volume of the aquifer (m3): saturated thickness times porosity times area.
double groundwater_volume(const model_state& m);

// The aquifer's balance over the run, percent of its starting volume: the
// volume now and the water held beyond its porosity, less the start, the
// net sources and sinks, the flux through the fixed-head faces and the
// water the floor added. 0 when the aquifer started with less than 1e-9 m3.
double groundwater_balance_error(const model_state& m);

}  // namespace kesta
