#include <gtest/gtest.h>

#include <set>
#include <string>

#include "input/project_file.hpp"
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

// A species row is all a new species needs of the cards' side: each
// species' card token names its five cards in the card table, and its
// overland map datasets are its own.
TEST(NutrientSpecies, EverySpeciesRowHasItsCardsAndItsOwnMaps) {
    std::set<std::string> keywords;
    for (const kesta::project_card& c : kesta::project_cards()) keywords.insert(c.keyword);
    std::set<std::string> maps;
    std::set<int> ids;
    for (const kesta::water_species_row& r : kesta::kWaterSpecies) {
        for (const char* card : {"OV_INIT_", "ST_INIT_", "OUT_OV_", "OUT_ST_", "OUT_HYD_"})
            EXPECT_EQ(keywords.count(card + std::string(r.card)), 1u) << card << r.card;
        EXPECT_TRUE(maps.insert(r.map_mass).second && maps.insert(r.map_conc).second) << r.card;
        EXPECT_TRUE(ids.insert(r.map_mass_id).second && ids.insert(r.map_conc_id).second) << r.card;
        std::string name;
        kesta::nutrient_constituent_name(r.species, false, name);
        EXPECT_EQ(name, r.display);
    }
    // The soil pools a species feeds give it back: the two maps are inverse.
    const int first = 1;
    for (const kesta::water_species_row& r : kesta::kWaterSpecies) {
        const int pool = nutrient_species_index(first, first + r.species, true, true);
        EXPECT_EQ(pool, r.soil_pool < 0 ? -1 : first + r.soil_pool) << r.card;
        if (pool >= 0) {
            EXPECT_EQ(nutrient_species_index(first, pool, false, true), first + r.species) << r.card;
        }
    }
}
