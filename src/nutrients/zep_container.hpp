// The nutrient container: the four domain wrappers, their index block and
// their outputs. Built when the project file has the NUTRIENTS card.
#pragma once

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

// Where one kind of initial value comes from.
struct zep_initial_source {
    int kind = 0;  // 1 map file, 2 mapping table, 3 uniform
    double value = 0.0;
    std::string map_name;
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
    zep_initial_source overland_init[kOverlandInitialKinds + 1];  // 1-based
    zep_initial_source stream_init[kNutrientSpecies + 1];
    zep_output_request overland_output[kNutrientSpecies + 1];
    zep_output_request stream_output[kNutrientSpecies + 1];
    zep_output_request location_output[kNutrientSpecies + 1];

    zep_index_block index;
    zep_overland overland;
    zep_streams streams;
    zep_lakes lakes;
    zep_soils soils;
    zep_map_outputs maps;
    zep_linknode_outputs linknode;
};

}  // namespace kesta
