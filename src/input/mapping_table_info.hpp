// Which tables a mapping-table file holds: one presence flag per table, in
// the order the start-up check of the mapping-table file lists them.
#pragma once

#include <array>

namespace kesta {

enum mapping_table_kind : int {
    mt_roughness,
    mt_interception,
    mt_retention,
    mt_ga_infiltration,
    mt_ga_soil_moisture,
    mt_richards_havercamp,
    mt_richards_brooks,
    mt_evapotranspiration,
    mt_sediments,
    mt_sediment_erosion,
    mt_contaminants,
    mt_wetlands,
    mt_overland_boundary,
    mt_groundwater_wells,
    mt_groundwater,
    mt_groundwater_boundary,
    mt_area_reduction,
    mt_zep_nitrogen,
    mt_zep_phosphorus,
    mt_zep_other,
    mt_zep_carbon,
    mt_zep_dispersion,
    mt_zep_soil_carbon,
    mt_zep_soil_nitrogen,
    mt_zep_soil_phosphorus,
    mt_zep_gw_nitrogen,
    mt_zep_gw_phosphorus,
    mt_zep_gw_other,
    mt_zep_soil_km,
    mt_zep_soil_koc,
    kMappingTableKinds
};

// 1 where the table is present; all 0 when no mapping table is named.
using mapping_table_presence = std::array<int, kMappingTableKinds>;

}  // namespace kesta
