// The nutrient container: the four domain wrappers and their index block.
// Built by setup_nutrient_container when the project file has the NUTRIENTS
// card; the cards' values stay in the project options and the outputs in the
// output state.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/arrays.hpp"
#include "nutrients/aquatic_env.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/source/vegso_interface.hpp"

namespace kesta {

constexpr int kNutrientSpecies = kWaterSpeciesCount;  // the rows of kWaterSpecies
constexpr int kZepSorptionConstants = 12;

// The overland cells. The species are the constituent slots from
// first_nutrient_constituent on (their overland mass and concentration),
// which the overland transport carries; each reaction changes them in
// place.
struct zep_overland {
    int ncells = 0;
    double cell_area = 0.0;  // m2
    // Per cell: water temperature (°C), dissolved organic carbon and its
    // fraction of organic carbon, dispersion coefficient (m2/s).
    vec1<double> water_temp, doc, foc, dispersion;
    // Mass the reactions made and used since the start of the run (g, both
    // 0 or more).
    double gained = 0.0;
    double lost = 0.0;
    double h_ion = 0.0;  // hydrogen ions (mol/L) at the pH of CHAN_PH
    double ka = 0.0;     // ammonia dissociation constant at WATER_TEMP
    // The cards NO2_KM ... DP_KM and NO2_KOC ... DP_KOC as given (0 when
    // absent), in card order. No reaction reads them.
    std::array<double, kZepSorptionConstants> sorption{};
    // Per cell: total nitrogen and phosphorus of the carried species, and
    // the un-ionised ammonia (g of NH3).
    vec1<double> total_n, total_p, ammonia;
};

// The channel nodes, by flat index link x stride + node (stride the most
// nodes of a link + 1). The species are the constituent slots from
// first_nutrient_constituent on (their mass in the nodes' rows of
// chan_mass), which the channel constituent transport carries; each
// reaction changes them in place.
struct zep_streams {
    int nlinks = 0;
    int stride = 0;
    vec1<double> water_temp;  // °C
    // Per node: dissolved organic carbon and its fraction of organic carbon
    // (the stream ZEP_C table's where it gives the link, else the library's
    // defaults), and the species' dispersion coefficient (m2/s; the stream
    // DISPERSION table's, else CHAN_DISP_COEF).
    vec1<double> doc, foc, dispersion;
    // Per species and node: the initial concentration of the ST_INIT_*
    // cards (g/m3), which the node's water holds at the first channel
    // constituent step.
    vec1<double> init_conc[kNutrientSpecies];
    double h_ion = 0.0;
    double ka = 0.0;
    // Per node: total nitrogen, total Kjeldahl nitrogen and total
    // phosphorus of the carried species, and the un-ionised ammonia.
    vec1<double> total_n, total_kn, total_p, ammonia;

    int index(int link, int node) const { return link * stride + node; }
};

// The channel lakes, by lake; their species are the lakes' rows of the
// nutrient slots of chan_mass.
struct zep_lakes {
    int nlakes = 0;
    vec1<double> water_temp;  // °C
    double h_ion = 0.0;
    double ka = 0.0;
    vec1<double> total_n, total_kn, total_p, ammonia;
};

constexpr int kSoilPools = soil_pool_count;  // the rows of kSoilPoolRows

struct vegso_cell_deleter {
    void operator()(vegso_cell_handle* h) const { vegso_cell_destroy(h); }
};
struct vegso_params_deleter {
    void operator()(vegso_cell_params* p) const { vegso_free_record(p); }
};
struct vegso_room_deleter {
    void operator()(vegso_step_room* r) const { vegso_step_room_destroy(r); }
};

// Cells of one part of the soil cells' step: consecutive cells that one
// thread steps at a time. The parts are fixed by the cell count alone, so
// that the tallies, summed part after part, do not depend on the threads.
// 128 cells, about 0.1 ms of work: enough to make a part's start and end
// negligible, few enough that a late thread leaves most of its work to the
// others.
constexpr int kSoilPartCells = 128;

// One part of the soil cells' step: its own room and its pools' gains and
// losses in its own tallies (per pool of the library's binding order,
// vegso_pool; g), which every layer of its cells adds to: on cache lines of
// their own, which no other part's thread writes.
struct alignas(64) zep_soil_part {
    std::array<double, vegso_pool_count> made{};
    std::array<double, vegso_pool_count> used{};
    std::unique_ptr<vegso_step_room, vegso_room_deleter> room;
};

// The soil of every cell as one library cell of the cell's constituent soil
// layers. Soil pool p of a cell and layer is the soil_mass table of
// constituent slot first_nutrient_constituent + p, in g per cell and layer;
// the library's layer records hold the same pools in kg (their mass factor
// is the cell's area in m2 and their solid density 2650 kg/m3, which makes
// their initial pools kg per cell and layer). Each library cell is bound to
// the pool tables (and the moisture table and the dissolved shares): its
// step reads its pools and moisture there and leaves its pools there. The
// records hold the layer values the cells take when bound, and what the
// last push wrote.
struct zep_soils {
    int ncells = 0;
    std::vector<std::unique_ptr<vegso_cell_handle, vegso_cell_deleter>> cells;   // [cell - 1]
    std::vector<std::unique_ptr<vegso_cell_params, vegso_params_deleter>> params;  // [cell - 1]; empty until set
    // Per pool, [cell][layer]: the share of the pool dissolved in the pore
    // water, which the percolating water can carry.
    std::array<mat2<double>, kSoilPools> dissolved;
    // Per pool of the library's binding order (vegso_pool): what the pools
    // gained and lost in the last step (g, both 0 or more).
    std::array<double, vegso_pool_count> made{};
    std::array<double, vegso_pool_count> used{};
    // The parts of the cells, kSoilPartCells cells each in cell order (the
    // last may have fewer); made and used are their sums, part after part.
    std::vector<zep_soil_part> parts;
    // Mass the library made and used in the soil since the start of the run
    // (g, both 0 or more).
    double gained = 0.0;
    double lost = 0.0;
};

struct zep_index_block {
    array1d<int> first;
    array1d<int> second;
    array2d<double> table;
};

// Members are destroyed in reverse order of declaration: the soils first,
// the index block last.
struct zep_container {
    zep_container() = default;
    ~zep_container();
    zep_container(const zep_container&) = delete;
    zep_container& operator=(const zep_container&) = delete;

    // The library's environment record (owned; freed with the container),
    // made by zep_overland_set_params and refreshed by each weather update.
    vegso_env_record* environment = nullptr;
    int ncells = 0;
    aquatic_env aquatic;
    // Mass the reactions of the streams and lakes made and used since the
    // start of the run (g, both 0 or more), and when they last reacted
    // (Julian days; below 0 before the first time).
    double chan_gained = 0.0;
    double chan_lost = 0.0;
    double chan_react_last = -1.0;
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    // A copy of the overland clock (Julian days; interval also in seconds).
    double ov_interval_sec = 0.0;
    double ov_interval = 0.0;
    double ov_last_time = 0.0;
    double ov_next_time = 0.0;
    // Per species at the channel outlet (the last node of the last link,
    // or the lake that holds that link) as of the last output step:
    // concentration (g/m3) and mass (g); 0 without channel constituents.
    std::array<double, kNutrientSpecies> outlet_conc{};
    std::array<double, kNutrientSpecies> outlet_mass{};

    zep_index_block index;
    zep_overland overland;
    zep_streams streams;
    zep_lakes lakes;
    zep_soils soils;
};

}  // namespace kesta
