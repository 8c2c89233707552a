#include "nutrients/nutrient_species.hpp"

#include <iterator>

namespace kesta {

namespace {

const char* const kAquaticNames[] = {
    "Nitrite (NO2-)", "Nitrate (NO3-)", "Ammonium (NH4+)", "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)", "Dissolved Phosphorous (Dissolved P)", "Algae",
    "Carbonaceous Biochemical Oxygen Demand", "Dissolved Oxygen (O2)", "Dissolved Org. Carbon",
    "Dissolved Org. Carbon, Fraction Org. C.", "Dispersion coefficient"};

const char* const kSoilNames[] = {
    "Organic Active Carbon",      "Organic Stable Carbon",       "Ammonium (NH4+)",
    "Nitrate (NO3-)",            "Organic Active Nitrogen",     "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",   "Mineral Active Phosphorus",   "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus", "Organic Active Phosphorus",   "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus"};

constexpr int kOffsets = 13;
// Species (aquatic) or pool (soil) of each offset from the first nutrient
// constituent, -1 for none.
constexpr int kAquaticOfOffset[kOffsets] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
constexpr int kSoilOfOffset[kOffsets] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};

}  // namespace

const char* nutrient_display_name(int index) {
    return index >= 0 && index < static_cast<int>(std::size(kAquaticNames)) ? kAquaticNames[index] : "";
}

void nutrient_constituent_name(int index, bool soil, std::string& name) {
    const int count = soil ? static_cast<int>(std::size(kSoilNames)) : static_cast<int>(std::size(kAquaticNames));
    if (index >= 0 && index < count) name = soil ? kSoilNames[index] : kAquaticNames[index];
}

int nutrient_species_index(int first, int number, bool soil, bool enabled) {
    const int offset = number - first;
    if (!enabled || offset < 0 || offset >= kOffsets) return number;
    const int to = soil ? kSoilOfOffset[offset] : kAquaticOfOffset[offset];
    return to < 0 ? -1 : to + first;
}

double nutrient_species_value(const double* values, int first, int number, bool soil, bool enabled) {
    const int index = nutrient_species_index(first, number, soil, enabled);
    return index < 0 ? 0.0 : values[index];
}

}  // namespace kesta
