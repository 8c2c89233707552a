#include <gtest/gtest.h>

#include <string>

#include "nutrients/nutrient_species.hpp"

using kesta::nutrient_species_index;

TEST(NutrientSpecies, ConstituentNumbersMapToTheirSpeciesAndPools) {
    const int first = 4;  // three contaminants before the nutrients
    const int aquatic[13] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
    const int soil[13] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(nutrient_species_index(first, first + k, false, true), aquatic[k] < 0 ? -1 : aquatic[k] + first)
            << k;
        EXPECT_EQ(nutrient_species_index(first, first + k, true, true), soil[k] < 0 ? -1 : soil[k] + first) << k;
    }
    // Past the table, before the nutrients or with the module off: the number itself.
    EXPECT_EQ(nutrient_species_index(first, first + 13, false, true), first + 13);
    EXPECT_EQ(nutrient_species_index(first, 2, false, true), 2);
    EXPECT_EQ(nutrient_species_index(first, first + 2, false, false), first + 2);

    double values[20] = {};
    values[first + 2] = 7.5;  // NH4
    EXPECT_EQ(kesta::nutrient_species_value(values, first, first + 2, false, true), 7.5);
    EXPECT_EQ(kesta::nutrient_species_value(values, first, first + 1, false, true), 0.0);

    std::string name = "kept";
    kesta::nutrient_constituent_name(12, false, name);
    EXPECT_EQ(name, "kept");
    kesta::nutrient_constituent_name(12, true, name);
    EXPECT_EQ(name, "Organic Stable Phosphorus");
    kesta::nutrient_constituent_name(2, false, name);
    EXPECT_EQ(name, "Ammonium (NH4+)");
}
