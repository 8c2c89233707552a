// The water content of the nutrient soil layers of a layered soil, and the
// soil cells' step on one thread and on a team.
#include <gtest/gtest.h>
#include <omp.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/thread_team.hpp"
#include "model/model_state.hpp"
#include "nutrients/zep_container.hpp"
#include "nutrients/zep_soils.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

// Layers of 0.05, 0.25 and 0.7 m (the soil class's layers 30 cm and 70 cm
// deep, porosities 0.45 and 0.40). Over a water table 1.5 m deep the two
// layers of the upper store share its 6 cm of water by thickness; with the
// water table at the ground every layer is saturated at its class layer's
// porosity, whatever water the stores hold.
TEST(ZepSoilLayerMoisture, StoresShareTheirWaterAboveTheWaterTableAndSaturateBelow) {
    double soil[24] = {};
    soil[7] = 0.45;
    soil[8] = 0.40;
    soil[22] = 30.0;
    soil[23] = 70.0;
    const double t[4] = {0.0, 0.05, 0.25, 0.7};
    double theta[4] = {};
    kesta::zep_soil_layer_moisture(6.0, 14.0, 150.0, t, true, soil, 3, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
    EXPECT_NEAR(theta[2], 0.2, 1e-12);
    EXPECT_NEAR(theta[3], 0.2, 1e-12);  // the lower store's 14 cm over 70 cm

    kesta::zep_soil_layer_moisture(6.0, 14.0, 0.0, t, true, soil, 3, theta);
    EXPECT_EQ(theta[1], 0.45);
    EXPECT_EQ(theta[2], 0.45);
    EXPECT_EQ(theta[3], 0.40);
}

// A class with one layer 30 cm deep (porosity 0.45) split into a 5 cm
// mixing layer and the rest: both layers lie in the class's first layer
// and its upper store, whatever the second layer's porosity and store;
// unsplit, the one layer holds the upper store's water.
TEST(ZepSoilLayerMoisture, LayersOfAClassWithoutASecondLayerKeepToTheFirst) {
    double soil[24] = {};
    soil[7] = 0.45;
    soil[8] = 0.40;
    soil[22] = 30.0;
    const double t[3] = {0.0, 0.05, 0.25};
    double theta[3] = {};
    kesta::zep_soil_layer_moisture(6.0, 14.0, 150.0, t, true, soil, 2, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
    EXPECT_NEAR(theta[2], 0.2, 1e-12);
    kesta::zep_soil_layer_moisture(6.0, 14.0, 0.0, t, true, soil, 2, theta);
    EXPECT_EQ(theta[1], 0.45);
    EXPECT_EQ(theta[2], 0.45);
    const double whole[2] = {0.0, 0.3};
    kesta::zep_soil_layer_moisture(6.0, 0.0, 150.0, whole, true, soil, 1, theta);
    EXPECT_NEAR(theta[1], 0.2, 1e-12);
}

namespace {

// A plane of 18 x 18 cells of two soils, each cell's soil of three nutrient
// layers: 324 cells, the soil step's three parts (the last shorter).
void write_soil_plane(const kesta_test::temp_dir& dir) {
    using kesta_test::grid_of;
    using kesta_test::table_row;
    constexpr int n = 18;
    dir.write("mask.asc", grid_of(n, n, 100.0, [](int, int) { return 1; }, "%d "));
    dir.write("elev.asc", grid_of(n, n, 100.0, [](int r, int c) { return 20.0 - 0.5 * r + 0.01 * c; }, "%g "));
    dir.write("soils.idx", grid_of(n, n, 100.0, [](int r, int c) { return 1 + (r * 7 + c * 3) % 5 / 3; }, "%d "));
    dir.write("ov.asc", grid_of(n, n, 100.0, [](int, int) { return 1; }, "%d "));
    dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP ov.asc\nNUM_IDS 1\n\n1\n"
                        "10 0.07 0.01 1.4 1.6 3 1\n1 1 1 1 1 1 1\n0.1 0.2 0.2 0.01\n1.083 1.047 1.047 1.047\n"
                        "0.02 10 0 0\n1.047 1.0159 1.047 1.06\n1 0.05 0 0 0 0.001 0.001\n"
                        "1.047 1.047 1.024 1.074 1.074 1.024 1.024\n0.02 0.01 0.01 0\n0.01 0.002 0.0165\n");
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                       "NUM_IDS 2\nhdr\n" + table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
                           table_row(2, "1.09 11.01 0.453 0.322 0.041 0.2 0.08") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.15") +
                           table_row(2, "0.3") + "ZEP_SOIL_N \"Soil\"\nNUM_IDS 2\nhdr\n" +
                           table_row(1, "0.5 0.02 1 0 3") + table_row(2, "0.25 0.01 1 0 3"));
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 18\nCOLS 18\n"
                       "OUTROW 18\nOUTCOL 1\nOUTSLOPE 0.01\nMANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"
                       "TOT_TIME 180\nTIMESTEP 30\nRAIN_INTENSITY 20\nRAIN_DURATION 60\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\nINF_REDIST\nMAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.3\n"
                       "SOIL_MOIST_DEPTH 1.0\nSOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.01\nWATER_TEMP 20\n"
                       "NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO3 1.0\nSOILS_ZEP_N\n");
}

// What a soil run leaves: every nutrient pool of every cell and layer with
// its dissolved share, the library's last tallies and its run totals, and
// the soil steps seen.
struct soil_outcome {
    std::vector<double> pools;
    std::array<double, vegso_pool_count> made{}, used{};
    double gained = 0.0, lost = 0.0;
    int steps = 0;
};
soil_outcome g_outcome;

// Before the third soil step, ammonium below nothing in layer 2 of a cell
// of each part, the last part's first: the library repairs each and warns.
const int kOverdrawn[] = {300, 5, 200};

bool watch_soil_steps(kesta::model_state& m, const char* step) {
    if (!m.zep) return true;
    const int first = m.first_nutrient_constituent;
    if (std::strcmp(step, "react_soil_nutrients") == 0 && ++g_outcome.steps == 3)
        for (int k : kOverdrawn) m.soil_mass[static_cast<std::size_t>(first + 2)][k][2] = -1.0;
    if (std::strcmp(step, "trigger_analyzers(normal)") != 0) return true;
    const kesta::zep_soils& s = m.zep->soils;
    g_outcome.pools.clear();
    for (int p = 0; p < kesta::kSoilPools; ++p)
        for (int k = 1; k <= m.ncells; ++k)
            for (int l = 1; l <= m.soil_layer_count[k]; ++l) {
                g_outcome.pools.push_back(m.soil_mass[static_cast<std::size_t>(first + p)][k][l]);
                g_outcome.pools.push_back(s.dissolved[static_cast<std::size_t>(p)][k][l]);
            }
    g_outcome.made = s.made;
    g_outcome.used = s.used;
    g_outcome.gained = s.gained;
    g_outcome.lost = s.lost;
    return true;
}

// The lines of the run's output that tell of the library's repairs.
std::vector<std::string> repair_lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.find("holds less than nothing") != std::string::npos) lines.push_back(line);
    return lines;
}

}  // namespace

// The soil cells of a run stepped on one thread and in their parts on a
// team of threads leave the same pools and dissolved shares, bit for bit,
// the same tallies and books, and the library's warnings in the same
// order, that of the cells.
TEST(ZepSoilsStep, PartsOnATeamLeaveThePoolsBooksAndWarningsOfOneThread) {
    kesta_test::temp_dir dir(true);
    write_soil_plane(dir);
    g_outcome = soil_outcome();
    const kesta_test::model_run alone = kesta_test::run_in_process("p.prj", watch_soil_steps);
    ASSERT_EQ(alone.rc, 0) << alone.out;
    const soil_outcome one = g_outcome;

    // Every cell a thread's share, on up to four threads.
    const int threads = omp_get_max_threads();
    omp_set_num_threads(4);
    const int share = kesta::set_cells_per_thread(1);
    g_outcome = soil_outcome();
    const kesta_test::model_run team = kesta_test::run_in_process("p.prj", watch_soil_steps);
    kesta::set_cells_per_thread(share);
    omp_set_num_threads(threads);
    ASSERT_EQ(team.rc, 0) << team.out;

    ASSERT_GT(one.steps, 3);
    EXPECT_EQ(g_outcome.steps, one.steps);
    ASSERT_EQ(g_outcome.pools.size(), 2u * kesta::kSoilPools * 324 * 3);
    EXPECT_TRUE(g_outcome.pools == one.pools);
    EXPECT_TRUE(g_outcome.made == one.made);
    EXPECT_TRUE(g_outcome.used == one.used);
    EXPECT_EQ(g_outcome.gained, one.gained);
    EXPECT_EQ(g_outcome.lost, one.lost);
    EXPECT_GT(one.gained, 0.0);
    EXPECT_GT(one.lost, 0.0);

    const std::vector<std::string> told = repair_lines(alone.out);
    ASSERT_EQ(told.size(), 3u) << alone.out;
    EXPECT_NE(told[0].find("of cell 5 pool"), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("of cell 200 pool"), std::string::npos) << told[1];
    EXPECT_NE(told[2].find("of cell 300 pool"), std::string::npos) << told[2];
    EXPECT_EQ(repair_lines(team.out), told);
}
