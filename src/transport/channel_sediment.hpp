// The parts of channel sediment transport that its files share: the rows of
// the node and lake tables, the faces of the network, and the sand and
// wash-load steps the channel step calls.
//
// Sediment reaches the channels from the stream cells. The fine classes
// (below SAND_SIZE) travel as wash load, suspended in the water: an upwind
// scheme moves them across the faces of the network with the water that
// crossed each face in the step, into and out of the channel-network
// lakes, which let them settle. The sand classes travel on the bed: Yang's
// formula gives each face's sand discharge, which moves within the sand the
// source node holds. Every volume is conserved: what the overland gives the
// channels is in suspension, on a bed, on a lake's cells or gone through
// the outlet.
#pragma once

#include "model/model_state_fwd.hpp"
#include "transport/network_faces.hpp"
#include "transport/sediment_state.hpp"

namespace kesta {

constexpr double kTinyWater = 1e-16;  // m3 (m of depth): less holds no concentration

// Row of node j of link l in the node tables of the sediment record, and
// the link and node of a node row.
inline int node_row(const sed_record& s, int j, int l) { return l * s.node_stride + j; }
inline int link_of_row(const sed_record& s, int row) { return (row - 1) / s.node_stride; }
inline int node_of_row(const sed_record& s, int row) { return row - link_of_row(s, row) * s.node_stride; }
// A row of ch_wash_vol that is a lake's, and the lake's row.
inline bool is_lake_row(const sed_record& s, int row) { return row > s.lake_row0; }
inline int lake_row(const sed_record& s, int lake) { return s.lake_row0 + lake; }

// The faces of the network as the routing left it (nodes a lake holds are
// not on any), with the water each passed in the step (qp_vol_sed).
void build_wash_faces(model_state& m);

// Sand: Yang's discharge at every face of an erodible channel, within the
// sand its source holds, moved at once (sand travels at most one face per
// step), and the bed of the erodible trapezoidal links after it.
void move_channel_sand(model_state& m, double dt);

// Wash load: one predictor-corrector step over the faces, then the lakes'
// gains from the overland, their settling and their concentrations.
void advect_wash_load(model_state& m, double dt);
void update_lake_sediment(model_state& m, double dt);

}  // namespace kesta
