#include "transport/transport_state.hpp"

namespace kesta {

namespace {

using totals_member = array1d<double> transport_state::*;

// Every per-constituent array of totals, rates and coefficients: one entry
// per slot, each named after its member.
#define KESTA_TOTAL(name) {&transport_state::name, #name}
const struct {
    totals_member member;
    const char* name;
} kPerSlotTotals[] = {
    KESTA_TOTAL(OV_MASS_INIT), KESTA_TOTAL(OV_MASS_FINAL), KESTA_TOTAL(OV_MASS_OUT), KESTA_TOTAL(OV_QLAT_MASS),
    KESTA_TOTAL(OV_MASS_DECAY), KESTA_TOTAL(OV_POINT_MASS), KESTA_TOTAL(OV_EXFIL_MASS),
    KESTA_TOTAL(OV_PRECIP_MASS), KESTA_TOTAL(OV_INFIL_MASS), KESTA_TOTAL(OV_MASS_ERROR),
    KESTA_TOTAL(OV_LAND_MASS), KESTA_TOTAL(OV_LAND_MASS_INIT), KESTA_TOTAL(OV_LAND_MASS_FINAL),
    KESTA_TOTAL(OV_UPTAKE_MASS), KESTA_TOTAL(event_ov_mass_init), KESTA_TOTAL(event_ov_decay_mass),
    KESTA_TOTAL(event_ov_uptake_mass), KESTA_TOTAL(event_ov_infil_mass), KESTA_TOTAL(event_ov_exfil_mass),
    KESTA_TOTAL(event_ov_qlat_mass), KESTA_TOTAL(event_ov_mass_out), KESTA_TOTAL(event_ov_point_mass),
    KESTA_TOTAL(event_ov_precip_mass), KESTA_TOTAL(event_ov_land_mass), KESTA_TOTAL(event_ov_neg_mass),
    KESTA_TOTAL(ov_out_dmt), KESTA_TOTAL(ov_point_dmt), KESTA_TOTAL(ov_decay_dmt), KESTA_TOTAL(ov_infil_dmt),
    KESTA_TOTAL(ov_qlat_dmt), KESTA_TOTAL(ov_uptake_dmt), KESTA_TOTAL(ov_precip_dmt), KESTA_TOTAL(ov_zep_dmt),
    KESTA_TOTAL(ov_zep_dmt_in), KESTA_TOTAL(ov_zep_dmt_out), KESTA_TOTAL(GLOBAL_MASS_CON_ERROR),
    KESTA_TOTAL(GLOBAL_MASS_DECAY), KESTA_TOTAL(GLOBAL_MASS_INIT), KESTA_TOTAL(GLOBAL_MASS_FINAL),
    KESTA_TOTAL(GLOBAL_POINT_SOURCE), KESTA_TOTAL(GLOBAL_MASS_OUT), KESTA_TOTAL(GLOBAL_GW_MASS),
    KESTA_TOTAL(ov_exit_mass), KESTA_TOTAL(precip_conc), KESTA_TOTAL(water_soil_partition_coef),
    KESTA_TOTAL(event_ov_to_soil_mass), KESTA_TOTAL(event_ov_from_soil_mass), KESTA_TOTAL(OV_TO_SOIL_MASS),
    KESTA_TOTAL(OV_FROM_SOIL_MASS), KESTA_TOTAL(GLOBAL_PRECIP_MASS), KESTA_TOTAL(event_soil_mass_init),
    KESTA_TOTAL(event_soil_mass_final), KESTA_TOTAL(event_soil_infil_mass), KESTA_TOTAL(event_soil_to_wt_mass),
    KESTA_TOTAL(event_soil_from_wt_mass), KESTA_TOTAL(event_soil_exfil_mass),
    KESTA_TOTAL(event_soil_decay_mass), KESTA_TOTAL(event_soil_sed_mass), KESTA_TOTAL(SOIL_MASS_INIT),
    KESTA_TOTAL(SOIL_MASS_FINAL), KESTA_TOTAL(SOIL_INFIL_MASS), KESTA_TOTAL(SOIL_TO_WT_MASS),
    KESTA_TOTAL(SOIL_FROM_WT_MASS), KESTA_TOTAL(SOIL_EXFIL_MASS), KESTA_TOTAL(SOIL_DECAY_MASS),
    KESTA_TOTAL(SOIL_SED_MASS), KESTA_TOTAL(event_ov_sed_source_mass), KESTA_TOTAL(event_ov_sed_outlet_mass),
    KESTA_TOTAL(OV_SED_SOURCE_MASS), KESTA_TOTAL(OV_SED_OUTLET_MASS), KESTA_TOTAL(ov_sed_contam_final_mass),
    KESTA_TOTAL(ov_total_contam_final_mass), KESTA_TOTAL(OV_SED_CONTAM_FINAL),
    KESTA_TOTAL(soil_mass_balance_error), KESTA_TOTAL(SOIL_MASS_ERROR), KESTA_TOTAL(OV_RUN_MASS_ERROR),
    KESTA_TOTAL(OV_ZEP_MASS_IN), KESTA_TOTAL(OV_ZEP_MASS_OUT), KESTA_TOTAL(event_ov_zep_mass_in),
    KESTA_TOTAL(event_ov_zep_mass_out), KESTA_TOTAL(CHAN_ZEP_MASS_IN), KESTA_TOTAL(CHAN_ZEP_MASS_OUT),
    KESTA_TOTAL(event_chan_zep_mass_in), KESTA_TOTAL(event_chan_zep_mass_out), KESTA_TOTAL(LAKE_ZEP_MASS_IN),
    KESTA_TOTAL(LAKE_ZEP_MASS_OUT), KESTA_TOTAL(event_lake_zep_mass_in), KESTA_TOTAL(event_lake_zep_mass_out),
    KESTA_TOTAL(SOIL_ZEP_MASS_IN), KESTA_TOTAL(SOIL_ZEP_MASS_OUT), KESTA_TOTAL(event_soil_zep_mass_in),
    KESTA_TOTAL(event_soil_zep_mass_out), KESTA_TOTAL(ZEP_SPECIES_IN), KESTA_TOTAL(ZEP_SPECIES_OUT),
    KESTA_TOTAL(CHAN_MASS_INIT), KESTA_TOTAL(CHAN_MASS_FINAL), KESTA_TOTAL(CHAN_POINT_MASS),
    KESTA_TOTAL(CHAN_GW_MASS), KESTA_TOTAL(CHAN_LAT_MASS), KESTA_TOTAL(CHAN_MASS_OUT), KESTA_TOTAL(CHAN_MASS_DECAY),
    KESTA_TOTAL(CHAN_MASS_BALANCE), KESTA_TOTAL(CHAN_RUN_MASS_ERROR), KESTA_TOTAL(event_chan_mass_init),
    KESTA_TOTAL(event_chan_lat_mass), KESTA_TOTAL(event_chan_point_mass), KESTA_TOTAL(event_chan_gw_mass),
    KESTA_TOTAL(event_chan_decay_mass), KESTA_TOTAL(event_chan_mass_out), KESTA_TOTAL(LAKE_MASS_INIT),
    KESTA_TOTAL(LAKE_MASS_FINAL), KESTA_TOTAL(LAKE_MASS_BALANCE), KESTA_TOTAL(LAKE_DECAY_MASS),
    KESTA_TOTAL(LAKE_POINT_MASS), KESTA_TOTAL(LAKE_GW_MASS), KESTA_TOTAL(LAKE_PRECIP_MASS),
    KESTA_TOTAL(LAKE_CHAN_OUTFLOW_MASS), KESTA_TOTAL(LAKE_CHAN_INFLOW_MASS), KESTA_TOTAL(LAKE_OV_INFLOW_MASS),
    KESTA_TOTAL(LAKE_CHAN_EXCHANGE_MASS), KESTA_TOTAL(event_lake_mass_init), KESTA_TOTAL(event_lake_mass_final),
    KESTA_TOTAL(event_lake_mass_balance), KESTA_TOTAL(event_lake_decay_mass), KESTA_TOTAL(event_lake_precip_mass),
    KESTA_TOTAL(event_lake_gw_mass), KESTA_TOTAL(event_lake_point_mass), KESTA_TOTAL(event_lake_chan_inflow_mass),
    KESTA_TOTAL(event_lake_chan_outflow_mass), KESTA_TOTAL(event_lake_ov_inflow_mass),
    KESTA_TOTAL(event_lake_chan_exchange_mass), KESTA_TOTAL(CHAN_QLAT_SED_MASS), KESTA_TOTAL(CHAN_OUTLET_SED_MASS),
    KESTA_TOTAL(CHAN_LAKE_SED_CONTAM_MASS), KESTA_TOTAL(OV_LAKE_SED_CONTAM_MASS), KESTA_TOTAL(LAKE_SETTLED_SED_MASS),
    KESTA_TOTAL(CHAN_SED_SOURCE_MASS), KESTA_TOTAL(LAKE_SED_CONTAM_SOURCE_MASS), KESTA_TOTAL(event_chan_qlat_sed_mass),
    KESTA_TOTAL(event_chan_outlet_sed_mass), KESTA_TOTAL(event_chan_lake_sed_contam_mass),
    KESTA_TOTAL(event_ov_lake_sed_contam_mass), KESTA_TOTAL(event_lake_settled_sed_mass),
    KESTA_TOTAL(event_chan_sed_source_mass), KESTA_TOTAL(event_lake_sed_contam_source_mass),
    KESTA_TOTAL(event_chan_attached_init), KESTA_TOTAL(event_lake_attached_init),
};
#undef KESTA_TOTAL

}  // namespace

transport_state::transport_state() {
    // The mass-balance arrays carry their own names into their messages.
    for (const auto& t : kPerSlotTotals) (this->*t.member).set_name(t.name);
    constituent_type.set_name("constituent_type");
}

void transport_state::add_slot_totals(int k) {
    for (const auto& t : kPerSlotTotals) (this->*t.member).append_fill(k, 0.0);
}

}  // namespace kesta
