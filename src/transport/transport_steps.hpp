// Start-up and loop steps of sediment and contaminant transport.
#pragma once

#include "core/model_state_fwd.hpp"

namespace kesta {

void init_contam_soil_state(model_state& m);
void add_cell_point_sources(model_state& m);
void step_soil_nutrients(model_state& m);
void step_overland_contam_sediment(model_state& m);
void step_contam_processes(model_state& m);
void step_overland_contam_transport(model_state& m);
void step_channel_contam_transport(model_state& m);
void step_channel_wq_reactions(model_state& m);
void step_channel_lake_contam_mass(model_state& m);

// Overland erosion, transport and deposition by size class over one overland
// step of dt seconds; leaves the per-cell volumes in ov_sed_vol_eroded and
// ov_sed_vol_deposited.
void overland_sediment_transport(model_state& m, double dt);

}  // namespace kesta
