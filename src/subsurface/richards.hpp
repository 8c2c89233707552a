// The Richards soil columns: their set-up from the soil table, the services
// the groundwater, output and summary code call, and the solver pieces the
// tests check. The loop step and the set-up driver are in
// subsurface_steps.hpp (richards_unsat_step, read_soil_table).
#pragma once

#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// The most nodes a column may take to reach down through its soil layers
// and, with a water table, on to the aquifer bottom: 100 m of column at 1 cm
// spacing, far past any soil profile. A table or card that implies more is
// refused before anything is allocated.
constexpr int kMostColumnNodes = 10000;

// Reads the soil table from its own file: the number of classes and one
// unused integer, then per class its ID (0..9999), in long-term runs its
// albedo, vegetation height, transmission coefficient and canopy resistance
// (slots 46-49), and three layers of 10 (Brooks and Corey) or 12 (Havercamp)
// values as read_soil_layer_table takes them. Every layer is checked before
// it is stored (values within physical ranges, at most kMostColumnNodes
// layer nodes per class); a refusal names the file, line and value. Returns
// the number of classes; -1 after a refusal (code 4000, reported).
int read_richards_soil_file(model_state& m, std::FILE* fp, const std::string& name);

// Builds every cell's column from the records of the classes the soil table
// gave (richards.defined) and the cell's soiltype, with the retention model
// richards.model: layer nodes of the layers' spacings, and with a water table
// nodes of AQUIFER_DELTA_Z below them down to the aquifer bottom, the water
// table placed with hydrostatic heads (a table at or above the ground leaves
// one saturated node and an exfiltrating cell). Also numcells, numtot, avgks,
// totaldz, dtr, theta_all, the run's largest node count, and in long-term runs
// thi from the root-zone water; prints the initial water volumes to the
// summary file. False after a refusal (reported): a cell of a class the table
// does not give, or a water table below the aquifer bottom.
bool init_richards_columns(model_state& m);

// Solves the tridiagonal system of rows first..last in place, without
// pivoting: upper[i] couples row i to i+1, lower[i] to i-1. The diagonal is
// overwritten and the right-hand side becomes the solution.
void tridiag_solve(int first, int last, const double* upper, double* diag, const double* lower, double* rhs);

// The groundwater step moved the water table of `cell` (elevgw): its column
// is rebuilt down to the new table. Nodes above both the old and the new
// table keep their water; the others take hydrostatic heads; a table at or
// above the ground leaves an exfiltrating one-node column. column_water[cell]
// receives the column's new water (cm). Cells of groundwater boundary type 2
// or 5 are left alone. Returns 0; -1 when the table lies below the nodes the
// column stores (refused, naming the cell).
int unsat_update_in_gw(model_state& m, int cell, vec1<double>& column_water);

// Moisture of soil node `node` (1..richards_node_limit) of a cell; nodes
// below the water table are saturated.
double richards_node_theta(const model_state& m, int cell, int node);
// The deepest node a cell's column stores; 0 before the columns are built.
int richards_node_limit(const model_state& m, int cell);

// After the time loop: the soil water left in the columns (soil_totals) and
// the direct evaporation still held by the cells.
void finish_richards_run_totals(model_state& m);

}  // namespace kesta
