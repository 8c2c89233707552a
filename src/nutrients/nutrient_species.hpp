// The identities of the nutrient module: one row per water species and one
// per soil pool, with everything the model names them by (cards, messages,
// tables and their columns, outputs), and the map from the model's
// constituent numbers to them. A new species or pool is one row here (and
// its physics); the readers, outputs and couplings walk the rows.
#pragma once

#include <array>
#include <string>

#include "nutrients/source/aquatic_kinetics.hpp"
#include "nutrients/source/vegso_interface.hpp"

namespace kesta {

// The soil pools, in the order of their constituent slots (pool p is the
// soil of slot first_nutrient_constituent + p).
enum soil_pool_index : int {
    soil_active_carbon = 0,
    soil_stable_carbon,
    soil_ammonium,
    soil_nitrate,
    soil_active_n,
    soil_fresh_n,
    soil_stable_n,
    soil_mineral_active_p,
    soil_solution_p,
    soil_mineral_stable_p,
    soil_active_p,
    soil_fresh_p,
    soil_stable_p,
    soil_pool_count
};

// The groups of the mapping tables: ZEP_N, ZEP_P and ZEP_OTH (and their
// stream, rain and groundwater twins) for the water species; ZEP_SOIL_N,
// ZEP_SOIL_P and ZEP_SOIL_C for the soil pools.
enum class nutrient_table_group { nitrogen, phosphorus, other, carbon };

// What a water species counts in: the total nitrogen, of which the total
// Kjeldahl nitrogen, or the total phosphorus.
enum class nutrient_total { none, nitrogen, kjeldahl, phosphorus };

struct water_species_row {
    aq_species_index species;
    const char* card;     // the species' part of its cards (OV_INIT_NO2, OUT_OV_NO2 ...)
    const char* display;  // its name in messages and the summary
    nutrient_table_group group;
    int column;     // 1-based: its column of its group's overland, stream and rain tables
    int gw_column;  // 1-based: its column of its group's groundwater table; 0 when groundwater carries none
    int soil_pool;  // the soil pool it joins on infiltrating (and gives back to); -1 for none
    nutrient_total total;
    // Its overland map datasets: names and object ids of the mass and the
    // concentration maps.
    const char* map_mass;
    int map_mass_id;
    const char* map_conc;
    int map_conc_id;
};

inline constexpr water_species_row kWaterSpecies[] = {
    {aq_no2, "NO2", "Nitrite (NO2-)", nutrient_table_group::nitrogen, 1, 1, -1, nutrient_total::nitrogen,
     "OV_no2_mass", 1023, "OV_no2_conc", 1024},
    {aq_no3, "NO3", "Nitrate (NO3-)", nutrient_table_group::nitrogen, 2, 2, soil_nitrate, nutrient_total::nitrogen,
     "OV_no3_mass", 1026, "OV_no3_conc", 1027},
    {aq_nh4, "NH4", "Ammonium (NH4+)", nutrient_table_group::nitrogen, 3, 3, soil_ammonium, nutrient_total::kjeldahl,
     "OV_nh4_mass", 1029, "OV_nh4_conc", 1030},
    {aq_on, "ON", "Organic Nitrogen (Organic N)", nutrient_table_group::nitrogen, 4, 4, soil_active_n,
     nutrient_total::kjeldahl, "OV_on_mass", 1032, "OV_on_conc", 1033},
    {aq_op, "OP", "Organic Phosphorous (Organic P)", nutrient_table_group::phosphorus, 1, 1, soil_active_p,
     nutrient_total::phosphorus, "OV_op_mass", 1035, "OV_op_conc", 1036},
    {aq_dp, "DP", "Dissolved Phosphorous (Dissolved P)", nutrient_table_group::phosphorus, 2, 2, soil_solution_p,
     nutrient_total::phosphorus, "OV_dp_mass", 1038, "OV_dp_conc", 1039},
    // Algae live only in the light: groundwater carries none.
    {aq_alg, "ALG", "Algae", nutrient_table_group::other, 1, 0, -1, nutrient_total::none, "OV_alg_mass", 1044,
     "OV_alg_conc", 1045},
    {aq_cbod, "CBOD", "Carbonaceous Biochemical Oxygen Demand", nutrient_table_group::other, 2, 1, -1,
     nutrient_total::none, "OV_cbod_mass", 1047, "OV_cbod_conc", 1048},
    {aq_do, "DO", "Dissolved Oxygen (O2)", nutrient_table_group::other, 3, 2, -1, nutrient_total::none, "OV_do_mass",
     1050, "OV_do_conc", 1051},
};
inline constexpr int kWaterSpeciesCount = static_cast<int>(std::size(kWaterSpecies));

struct soil_pool_row {
    soil_pool_index pool;
    const char* display;
    int position;  // of its mass in a library layer record (vegso_layer_index)
    nutrient_table_group group;
    int column;  // 1-based: its column of its group's soil pool table
};

inline constexpr soil_pool_row kSoilPoolRows[] = {
    {soil_active_carbon, "Organic Active Carbon", vegso_active_carbon, nutrient_table_group::carbon, 1},
    {soil_stable_carbon, "Organic Stable Carbon", vegso_stable_carbon, nutrient_table_group::carbon, 2},
    {soil_ammonium, "Ammonium (NH4+)", vegso_ammonium, nutrient_table_group::nitrogen, 1},
    {soil_nitrate, "Nitrate (NO3-)", vegso_nitrate, nutrient_table_group::nitrogen, 2},
    {soil_active_n, "Organic Active Nitrogen", vegso_active_n, nutrient_table_group::nitrogen, 3},
    {soil_fresh_n, "Organic Fresh Nitrogen", vegso_fresh_n, nutrient_table_group::nitrogen, 4},
    {soil_stable_n, "Organic Stable Nitrogen", vegso_stable_n, nutrient_table_group::nitrogen, 5},
    {soil_mineral_active_p, "Mineral Active Phosphorus", vegso_mineral_active_p, nutrient_table_group::phosphorus, 1},
    {soil_solution_p, "Mineral Solution Phosphorus", vegso_solution_p, nutrient_table_group::phosphorus, 2},
    {soil_mineral_stable_p, "Mineral Stable Phosphorus", vegso_mineral_stable_p, nutrient_table_group::phosphorus, 3},
    {soil_active_p, "Organic Active Phosphorus", vegso_active_p, nutrient_table_group::phosphorus, 4},
    {soil_fresh_p, "Organic Fresh Phosphorus", vegso_fresh_p, nutrient_table_group::phosphorus, 5},
    {soil_stable_p, "Organic Stable Phosphorus", vegso_stable_p, nutrient_table_group::phosphorus, 6},
};

namespace species_checks {
constexpr bool water_rows_in_order() {
    for (int i = 0; i < kWaterSpeciesCount; ++i)
        if (kWaterSpecies[i].species != i) return false;
    return true;
}
constexpr bool soil_rows_in_order() {
    for (int i = 0; i < static_cast<int>(std::size(kSoilPoolRows)); ++i)
        if (kSoilPoolRows[i].pool != i) return false;
    return true;
}
// Every species feeds a soil pool or none, and no pool has two feeders.
constexpr bool soil_pools_fed_once() {
    for (int i = 0; i < kWaterSpeciesCount; ++i) {
        const int p = kWaterSpecies[i].soil_pool;
        if (p < -1 || p >= soil_pool_count) return false;
        for (int j = 0; j < i; ++j)
            if (p >= 0 && kWaterSpecies[j].soil_pool == p) return false;
    }
    return true;
}
// The columns of a group's table count 1, 2, ... in row order (the readers
// read a table's columns in that order); groundwater columns skip the
// species it does not carry.
constexpr bool columns_count_up() {
    for (int g = 0; g <= static_cast<int>(nutrient_table_group::carbon); ++g) {
        int column = 0, gw = 0, pool = 0;
        for (const water_species_row& r : kWaterSpecies) {
            if (static_cast<int>(r.group) != g) continue;
            if (r.column != ++column) return false;
            if (r.gw_column != 0 && r.gw_column != ++gw) return false;
        }
        for (const soil_pool_row& r : kSoilPoolRows)
            if (static_cast<int>(r.group) == g && r.column != ++pool) return false;
    }
    return true;
}
}  // namespace species_checks
static_assert(kWaterSpeciesCount == aq_species_count, "one row per species of the kinetics");
static_assert(species_checks::water_rows_in_order(), "water species row i holds species i");
static_assert(std::size(kSoilPoolRows) == soil_pool_count, "one row per soil pool");
static_assert(species_checks::soil_rows_in_order(), "soil pool row i holds pool i");
static_assert(species_checks::soil_pools_fed_once(), "a soil pool is fed by at most one species");
static_assert(species_checks::columns_count_up(), "a table's columns are its rows in order");
static_assert(soil_pool_count >= kWaterSpeciesCount, "the soil pools' slots hold the species' slots");

// The species' part of the names of their cards, in species order.
constexpr std::array<const char*, kWaterSpeciesCount> water_species_cards() {
    std::array<const char*, kWaterSpeciesCount> cards{};
    for (int i = 0; i < kWaterSpeciesCount; ++i) cards[static_cast<std::size_t>(i)] = kWaterSpecies[i].card;
    return cards;
}
inline constexpr std::array<const char*, kWaterSpeciesCount> kNutrientSpeciesCards = water_species_cards();

// The display name of aquatic species or entry `index` (0..11), "" outside.
const char* nutrient_display_name(int index);

// The display name of the water species whose concentration (g/m3) column
// `column` (1-based) of group g's overland, stream and rain tables holds
// (with `groundwater`, of its groundwater table); null for a column that
// holds no species.
const char* species_in_column(nutrient_table_group g, int column, bool groundwater);

// The name of what column `column` (1-based) of the nutrient table
// `keyword` holds when it is a concentration in water (g/m3), else null:
// the water species of ZEP_N, ZEP_P and ZEP_OTH (overland, stream and rain
// alike) and of their groundwater twins ZEP_GW_*, and the dissolved organic
// carbon of ZEP_C (column 1).
const char* concentration_in_column(const std::string& keyword, int column);

// Sets `name` to the display name of aquatic species `index` (0..8, then 9
// to 11 for the organic carbon and dispersion entries) or of soil pool
// `index` (0..12) when `soil`; an index outside the list leaves it unchanged.
void nutrient_constituent_name(int index, bool soil, std::string& name);

// The constituents from `first` on hold the nutrients: for offsets 0..12
// from `first`, the constituent number of the species the aquatic (or,
// with `soil`, the soil) table maps that offset to, or -1 where it maps to
// none. `number` itself when it lies below `first`, when `enabled` is false
// or when its offset is 13 or more. The aquatic table is the soil table's
// inverse: it maps a soil pool to the species that feeds it.
int nutrient_species_index(int first, int number, bool soil, bool enabled);


// values[nutrient_species_index(...)], or 0 where that is -1.
double nutrient_species_value(const double* values, int first, int number, bool soil, bool enabled);

}  // namespace kesta
