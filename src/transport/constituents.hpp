// Dissolved constituents over land and in the soil: the laws of sorption
// and leaching, the advection-dispersion kernel of the overland transport,
// and the constituent side of the steps of other processes (the set-up and
// loop steps themselves are in transport_steps.hpp).
//
// Masses are g, concentrations g/m3 of water (mg per kg of solids in the
// soil), volumes m3, depths m, times s. Every total that the summaries
// print is booked in kg at the moment the mass moves.
#pragma once

#include <algorithm>
#include <string>

#include "model/model_state_fwd.hpp"

namespace kesta {

// Density of soil solids relative to water.
constexpr double kSolidSpecificGravity = 2.65;
// Water of a cell shallower than this (m) carries no concentration.
constexpr double kDryDepth = 1e-16;
// The largest dispersion coefficients surface water has (m2/s). The
// longitudinal dispersion measured in large rivers reaches about 1,500
// m2/s; the shallow water over land, a flooded plain included, disperses
// far less. A larger coefficient is an error of input, and it would cut
// every constituent interval into as many more explicit sub-steps.
constexpr double kMostOverlandDispersion = 100.0;
constexpr double kMostChannelDispersion = 2000.0;

// The most a concentration in water can be (g/m3): what a cubic metre of
// water weighs. A concentration given beyond it, or below 0, is an error of
// input: the masses it makes would not stay finite numbers through the
// run's sums.
constexpr double kMostWaterConc = 1e6;
// True for a concentration in water from 0 to kMostWaterConc (NaN is not).
constexpr bool water_conc_holds(double c) { return c >= 0.0 && c <= kMostWaterConc; }
// What a refused concentration must be, for the end of its message ("...; it
// must be " + this + "."): "from 0 to 1e+06 g/m3, what a cubic metre of
// water weighs".
std::string water_conc_rule();

// Factor f of linear sorption in a soil layer of water content theta whose
// solids hold the partition coefficient kd (L/kg): 1 / ((1 - theta) kd 2.65
// + theta). The layer's pore water holds f m / t of the mass m of a layer t
// m thick per m2, and its dissolved share of m is theta f. A layer without
// water holds no pore water: 0. (Inline: the soil step takes it for every
// slot, cell and layer.)
inline double solids_factor(double kd, double theta) {
    if (!(theta > 0.0)) return 0.0;
    return 1.0 / ((1.0 - theta) * kd * kSolidSpecificGravity + theta);
}

// Mass (g) the water crossing the bottom of a layer carries down: the layer
// of thickness t (m) holds m g with solids factor f; q m of water (per unit
// area) leave it. At most the layer's mass; nothing when no water goes down.
inline double leached_mass(double q, double f, double m, double t) {
    if (!(q > 1e-16) || !(t > 0.0) || !(m > 0.0)) return 0.0;
    return std::min(m, q * f * m / t);
}

// Share of a constituent left dissolved in water that holds suspended
// sediment of `classes` classes at conc[1..classes] (g/m3), each holding the
// partition coefficient kd[k] (L/kg) of its class: 1 / (1 + sum kd c / 1e6).
// attached[1..classes] (when given) receives each class's share.
double dissolved_share(int classes, const double* conc, const double* kd, double* attached);

// One constituent's overland grid for the transport kernel. Pointers are
// not owned; arrays hold cells 1..n. Neighbours are 0 where there is none.
struct transport_grid {
    int n = 0;
    double dx = 0.0;  // cell size (m)
    const int *left = nullptr, *right = nullptr, *above = nullptr, *below = nullptr;
    // Discharge through each cell's right (qx) and lower (qy) face (m3/s,
    // positive towards that neighbour).
    const double *qx = nullptr, *qy = nullptr;
    // Water in each cell at the start and the end of the interval (m3).
    const double *vol0 = nullptr, *vol1 = nullptr;
    // The outlet cell (0: none) and what leaves the grid through it (m3/s).
    int outlet = 0;
    double q_out = 0.0;
};

// Work vectors of n + 1 elements each, not owned.
struct transport_work {
    double *conc = nullptr, *mstar = nullptr, *limit = nullptr, *face_pred = nullptr, *face = nullptr;
};

// Moves one constituent's mass (g per cell) over dt seconds by advection
// with the face discharges and dispersion with the coefficients disp (m2/s
// per cell), in two passes per sub-step, one per axis (`order` 1: y then x;
// 2: x then y), each an upwind predictor and an averaged corrector. The
// water of each cell goes linearly from vol0 to vol1 over the interval. The
// interval is cut into sub-steps in which no cell gives more than half its
// mass (at most max_substeps of them); a cell that would still give more
// than it holds gives what it holds, so no mass is made or lost: the grid's
// mass changes only by what leaves through the outlet, which `outlet_mass`
// receives (g). A cell without water (kDryDepth) has no concentration and
// gives nothing. Returns the number of sub-steps; `flow_substeps`, when
// given, receives the number the flow alone would have needed (the rest the
// dispersion's limit added).
int advect_disperse(const transport_grid& g, const double* disp, double* mass, double dt, int order,
                    transport_work& w, int max_substeps, double& outlet_mass, int* flow_substeps = nullptr);

// Constituent side of the steps of other processes, each with overland
// constituent transport on.

// The rain of the precipitation step that reached the surface as water,
// rates[k] mm/h on cell k for dt seconds, brings each constituent's
// precipitation concentration.
void add_rain_constituents(model_state& m, const double* rates, double dt);
// Snow melt of `depth` m on `cell` brings each constituent's precipitation
// concentration with it.
void book_melt_on_cell(model_state& m, int cell, double depth);

// The overland mass of slot c on `cell`, which holds no water, leaves the
// surface: into the soil's top layer with SOIL_CON_TRANS (as infiltration),
// else onto the land (as an exchange with it).
void leave_dry_cell(model_state& m, int c, int cell);

// Slot c carries a sediment class as a constituent (SOIL_EROSION of 10 or
// more): it is carried as a contaminant is, but the channels start without
// it and it does not decay.
bool sediment_class_slot(const model_state& m, int c);

// Water content of the constituent soil layers 1..last of cell k into
// theta[1..last]: with single-layer Green and Ampt the cell's soil moisture;
// with redistribution the moisture of the soil-water accounting's store
// that holds the layer, never above the layer's porosity; with the layered
// soil its layers' moisture (zep_soil_layer_moisture). With a water table
// (WATER_TABLE) the soil below it is saturated: a layer under the table
// holds its porosity, a layer the table crosses holds both in proportion.
void constituent_layer_moistures(const model_state& m, int k, int last, double* theta);
// The same for layer l alone.
double constituent_layer_theta(const model_state& m, int k, int l);

// With SEDIMENT_CONTAM: the mass of slot c sorbed to `volume` m3 of the
// fine deposit of cell k, taken from its mixing layer (the soil's top
// layer or the land's load) at the mass per volume of fine solids that
// erosion takes, never more than it holds (g); and `grams` that settle
// onto cell k joining it.
double take_sorbed_with_deposit(model_state& m, int c, int k, double volume);
void give_sorbed_to_cell(model_state& m, int c, int k, double grams);

// OV_POINT_SOURCE: the cell point sources read and checked (refused naming
// the file, line and value), and their relative series moved to the run's
// start once it is known.
void read_cell_point_sources(model_state& m);
void shift_cell_point_sources(model_state& m);

}  // namespace kesta
