// Names of the nutrient species and soil pools, and the map from the
// model's constituent numbers to them.
#pragma once

#include <string>

namespace kesta {

// The species' part of the names of their cards (OUT_OV_NO3 ...), in
// species order.
inline constexpr const char* kNutrientSpeciesCards[9] = {"NO2", "NO3", "NH4", "ON", "OP", "DP", "ALG", "CBOD", "DO"};

// The display name of aquatic species or entry `index` (0..11), "" outside.
const char* nutrient_display_name(int index);

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
