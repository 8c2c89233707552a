// The nutrient container: the four domain wrappers, their index block and
// their outputs. Built when the project file has the NUTRIENTS card.
#pragma once

#include <array>
#include <string>

#include "core/arrays.hpp"
#include "output/output_objects.hpp"

namespace kesta {

constexpr int kNutrientSpecies = 9;      // NO2, NO3, NH4, ON, OP, DP, ALG, CBOD, DO
constexpr int kOverlandInitialKinds = 12;

struct zep_overland {};
struct zep_streams {};
struct zep_lakes {};
struct zep_soils {};

struct zep_index_block {
    array1d<int> first;
    array1d<int> second;
    array2d<double> table;
};

struct zep_map_outputs {
    map_series overland;
    map_series soil;
    array2d<map_series> rows;
};

struct zep_linknode_outputs {
    linknode_output streams;
    linknode_output lakes;
    linknode_output locations;
    array2d<linknode_output> rows;
};

// Where the initial value of one constituent comes from.
struct zep_initial_source {
    int kind = 0;  // 1 map file, 2 mapping table, 3 uniform
    double value = 0.0;  // the uniform value (kind 3)
    std::string map_name;  // the map file (kind 1)
};

struct zep_output_request {
    int flag = 0;
    std::string file_name;
};

// Members are destroyed in reverse order of declaration: the link/node
// outputs first, the index block last.
struct zep_container {
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    // A copy of the overland clock (Julian days; interval also in seconds).
    double ov_interval_sec = 0.0;
    double ov_interval = 0.0;
    double ov_last_time = 0.0;
    double ov_next_time = 0.0;
    std::string aquatic_env_file;
    // Indexed from 0 in card order: the species order, then (overland only)
    // DOC, the DOC organic-carbon fraction and the dispersion.
    std::array<zep_initial_source, kOverlandInitialKinds> overland_init;
    std::array<zep_initial_source, kNutrientSpecies> stream_init;
    // Indexed from 0 in the species order.
    std::array<zep_output_request, kNutrientSpecies> overland_output;
    std::array<zep_output_request, kNutrientSpecies> stream_output;
    std::array<zep_output_request, kNutrientSpecies> location_output;  // at the hydrograph locations

    zep_index_block index;
    zep_overland overland;
    zep_streams streams;
    zep_lakes lakes;
    zep_soils soils;
    zep_map_outputs maps;
    zep_linknode_outputs linknode;
};

}  // namespace kesta
