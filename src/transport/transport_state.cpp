#include "transport/transport_state.hpp"

namespace kesta {

transport_state::transport_state() {
    // The mass-balance arrays carry their own names into their messages.
    const struct {
        array1d<double>* array;
        const char* name;
    } named[] = {
        {&OV_MASS_INIT, "OV_MASS_INIT"}, {&OV_MASS_FINAL, "OV_MASS_FINAL"},
        {&OV_MASS_OUT, "OV_MASS_OUT"}, {&OV_QLAT_MASS, "OV_QLAT_MASS"},
        {&OV_MASS_DECAY, "OV_MASS_DECAY"}, {&OV_POINT_MASS, "OV_POINT_MASS"},
        {&OV_EXFIL_MASS, "OV_EXFIL_MASS"}, {&OV_PRECIP_MASS, "OV_PRECIP_MASS"},
        {&OV_INFIL_MASS, "OV_INFIL_MASS"}, {&OV_MASS_ERROR, "OV_MASS_ERROR"},
        {&OV_LAND_MASS, "OV_LAND_MASS"}, {&OV_LAND_MASS_INIT, "OV_LAND_MASS_INIT"},
        {&OV_LAND_MASS_FINAL, "OV_LAND_MASS_FINAL"}, {&OV_UPTAKE_MASS, "OV_UPTAKE_MASS"},
        {&event_ov_mass_init, "event_ov_mass_init"}, {&event_ov_decay_mass, "event_ov_decay_mass"},
        {&event_ov_uptake_mass, "event_ov_uptake_mass"}, {&event_ov_infil_mass, "event_ov_infil_mass"},
        {&event_ov_exfil_mass, "event_ov_exfil_mass"}, {&event_ov_qlat_mass, "event_ov_qlat_mass"},
        {&event_ov_mass_out, "event_ov_mass_out"}, {&event_ov_point_mass, "event_ov_point_mass"},
        {&event_ov_precip_mass, "event_ov_precip_mass"}, {&event_ov_land_mass, "event_ov_land_mass"},
        {&event_ov_neg_mass, "event_ov_neg_mass"}, {&ov_out_dmt, "ov_out_dmt"},
        {&ov_point_dmt, "ov_point_dmt"}, {&ov_decay_dmt, "ov_decay_dmt"},
        {&ov_infil_dmt, "ov_infil_dmt"}, {&ov_qlat_dmt, "ov_qlat_dmt"},
        {&ov_uptake_dmt, "ov_uptake_dmt"}, {&ov_precip_dmt, "ov_precip_dmt"},
        {&ov_zep_dmt, "ov_zep_dmt"}, {&ov_zep_dmt_in, "ov_zep_dmt_in"},
        {&ov_zep_dmt_out, "ov_zep_dmt_out"}, {&GLOBAL_MASS_CON_ERROR, "GLOBAL_MASS_CON_ERROR"},
        {&GLOBAL_MASS_DECAY, "GLOBAL_MASS_DECAY"}, {&GLOBAL_MASS_INIT, "GLOBAL_MASS_INIT"},
        {&GLOBAL_MASS_FINAL, "GLOBAL_MASS_FINAL"}, {&GLOBAL_POINT_SOURCE, "GLOBAL_POINT_SOURCE"},
        {&GLOBAL_MASS_OUT, "GLOBAL_MASS_OUT"}, {&GLOBAL_GW_MASS, "GLOBAL_GW_MASS"},
        {&ov_exit_mass, "ov_exit_mass"}, {&precip_conc, "precip_conc"},
        {&water_soil_partition_coef, "water_soil_partition_coef"},
    };
    for (const auto& n : named) n.array->set_name(n.name);
    constituent_type.set_name("constituent_type");
    soil_mass.set_name("soil_mass");
    soil_conc.set_name("soil_conc");
}

}  // namespace kesta
