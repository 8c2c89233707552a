#include "nutrients/nutrient_species.hpp"

#include <iterator>

namespace kesta {

namespace {

// The overland initial-value entries after the species, in card order.
const char* const kExtraEntryNames[] = {"Dissolved Org. Carbon", "Dissolved Org. Carbon, Fraction Org. C.",
                                        "Dispersion coefficient"};

constexpr int kOffsets = soil_pool_count;
struct offset_maps {
    // Species (aquatic) or pool (soil) of each offset from the first
    // nutrient constituent, -1 for none.
    int aquatic[kOffsets];
    int soil[kOffsets];
};
constexpr offset_maps make_offset_maps() {
    offset_maps o{};
    for (int k = 0; k < kOffsets; ++k) o.aquatic[k] = o.soil[k] = -1;
    for (const water_species_row& r : kWaterSpecies) {
        if (r.soil_pool < 0) continue;
        o.soil[r.species] = r.soil_pool;
        o.aquatic[r.soil_pool] = r.species;
    }
    return o;
}
constexpr offset_maps kOffsetMaps = make_offset_maps();

}  // namespace

const char* nutrient_display_name(int index) {
    if (index >= 0 && index < kWaterSpeciesCount) return kWaterSpecies[index].display;
    const int extra = index - kWaterSpeciesCount;
    return extra >= 0 && extra < static_cast<int>(std::size(kExtraEntryNames)) ? kExtraEntryNames[extra] : "";
}

const char* species_in_column(nutrient_table_group g, int column, bool groundwater) {
    for (const water_species_row& r : kWaterSpecies)
        if (r.group == g && column >= 1 && (groundwater ? r.gw_column : r.column) == column) return r.display;
    return nullptr;
}

const char* concentration_in_column(const std::string& keyword, int column) {
    static constexpr struct {
        const char* keyword;
        nutrient_table_group group;
        bool groundwater;
    } kWaterTables[] = {{"ZEP_N", nutrient_table_group::nitrogen, false},
                        {"ZEP_P", nutrient_table_group::phosphorus, false},
                        {"ZEP_OTH", nutrient_table_group::other, false},
                        {"ZEP_GW_N", nutrient_table_group::nitrogen, true},
                        {"ZEP_GW_P", nutrient_table_group::phosphorus, true},
                        {"ZEP_GW_OTH", nutrient_table_group::other, true}};
    if (keyword == "ZEP_C") return column == 1 ? nutrient_display_name(kWaterSpeciesCount) : nullptr;
    for (const auto& t : kWaterTables)
        if (keyword == t.keyword) return species_in_column(t.group, column, t.groundwater);
    return nullptr;
}

void nutrient_constituent_name(int index, bool soil, std::string& name) {
    if (soil) {
        if (index >= 0 && index < soil_pool_count) name = kSoilPoolRows[index].display;
        return;
    }
    if (index >= 0 && index < kWaterSpeciesCount + static_cast<int>(std::size(kExtraEntryNames)))
        name = nutrient_display_name(index);
}

int nutrient_species_index(int first, int number, bool soil, bool enabled) {
    const int offset = number - first;
    if (!enabled || offset < 0 || offset >= kOffsets) return number;
    const int to = soil ? kOffsetMaps.soil[offset] : kOffsetMaps.aquatic[offset];
    return to < 0 ? -1 : to + first;
}

double nutrient_species_value(const double* values, int first, int number, bool soil, bool enabled) {
    const int index = nutrient_species_index(first, number, soil, enabled);
    return index < 0 ? 0.0 : values[index];
}

}  // namespace kesta
