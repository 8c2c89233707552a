#include "transport/transport_steps.hpp"

// Steps of processes that this build does not simulate yet: each has no
// work to do in any pass.

namespace kesta {

void init_contam_soil_state(model_state&) {}
void add_cell_point_sources(model_state&) {}
void step_soil_nutrients(model_state&) {}
void step_overland_contam_sediment(model_state&) {}
void step_contam_processes(model_state&) {}
void step_overland_contam_transport(model_state&) {}
void step_channel_contam_transport(model_state&) {}
void step_channel_wq_reactions(model_state&) {}
void step_channel_lake_contam_mass(model_state&) {}
void read_contam_tables(model_state&) {}
void alloc_chan_contam_arrays(model_state&) {}
void alloc_overland_contam_arrays(model_state&, int, int, int, int) {}
void start_event_constituent_totals(model_state&) {}
void reset_event_sediment_contam(model_state&) {}
void book_infiltrated_water(model_state&, int, double) {}
void book_exfiltrated_water(model_state&, int, double, bool) {}

}  // namespace kesta
