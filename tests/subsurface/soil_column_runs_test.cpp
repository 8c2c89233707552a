// The built program with the soil-column methods: an hour of rain soaks in
// or runs off, and every drop is accounted for in the event summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_text;
using kesta_test::table_row;
using kesta_test::has;

// A five-cell plane of two soils, in a Green and Ampt table and in a layered
// soil table, under 40 mm/h for an hour (2000 m3), routed for three hours.
TEST(SoilColumnRuns, BothMethodsAccountForEveryDrop) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
    dir.write("elev.asc", grid_text(3, 3, 100.0, "10 9 10\n9 8 9\n10 7 10\n"));
    dir.write("soils.idx", grid_text(3, 3, 100.0, "0 1 0\n1 1 2\n0 2 0\n"));
    std::filesystem::create_directory(dir.file("exchange"));
    // Ks (cm/h), Hc (cm), porosity, pore index, residual, field capacity,
    // wilting point; then the initial moisture.
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\n"
                       "GREEN_AMPT_INFILTRATION \"Soil\"\nNUM_IDS 2\nhdr\n" +
                           table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
                           table_row(2, "1.09 11.01 0.453 0.322 0.041 0.2 0.08") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.15") +
                           table_row(2, "0.2"));
    // Per layer: Ks, pore index, Hc, porosity, field capacity, wilting
    // point, residual, initial moisture, depth (none for layer 3).
    const std::string loam = "0.34 0.252 8.89 0.434 0.27 0.12 0.027 0.15 10\n";
    const std::string clay = "0.05 0.2 20 0.4 0.3 0.15 0.05 0.25 20\n";
    const std::string sand = "1.0 0.3 5 0.45 0.2 0.08 0.04 0.2\n";
    dir.write("soils.txt", "2 0\n1\n" + loam + clay + sand + "2\n" + clay + loam + sand);
    const std::pair<const char*, const char*> methods[] = {
        {"INF_REDIST\nMAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.1\n", "Infiltration with redistribution."},
        {"INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.idx\nSOIL_LAYER_INPUT_FILE soils.txt\n",
         "G&A Infiltration through layered soils."},
    };
    for (const auto& [cards, method] : methods) {
        dir.write("p.prj", std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\n"
                                       "ROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\n"
                                       "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\n"
                                       "HYD_FREQ 5\nTOT_TIME 180\nTIMESTEP 10\nRAIN_INTENSITY 40\n"
                                       "RAIN_DURATION 60\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n") +
                               cards);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        const std::string summary = kesta_test::read_file(dir.file("summ.out"));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(has(summary, method)) << summary;
        EXPECT_NEAR(kesta_test::value_after(summary, "mass conservation error:"), 0.0, 1e-4) << summary;
        EXPECT_GT(kesta_test::value_after(summary, "volume of infiltrated water:"), 200.0) << summary;
        EXPECT_GE(kesta_test::value_after(summary, "volume ground water recharge:"), 0.0) << summary;
        EXPECT_FALSE(has(summary, "nan")) << summary;
    }
}

// The same plane with Richards columns of Brooks and Corey soils: the soil
// takes its share, the columns' own balance and the event's close, and the
// soil-moisture locations write the moistures of their listed nodes.
TEST(SoilColumnRuns, RichardsColumnsAccountForEveryDrop) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
    dir.write("elev.asc", grid_text(3, 3, 100.0, "10 9 10\n9 8 9\n10 7 10\n"));
    dir.write("soils.idx", grid_text(3, 3, 100.0, "0 1 0\n1 1 2\n0 2 0\n"));
    std::filesystem::create_directory(dir.file("exchange"));
    // Ks, porosity, residual, initial, wilting point, field capacity, depth,
    // lambda, bubbling head, spacing.
    const std::string loam = "1.0 0.45 0.05 0.2 0.1 0.25 30 0.5 20 5\n";
    const std::string clay = "0.1 0.40 0.08 0.3 0.15 0.3 20 0.2 40 5\n";
    dir.write("soils.txt", "2 0\n1\n" + loam + clay + loam + "2\n" + clay + loam + clay);
    dir.write("theta.txt", "2 3\n2 2 3 1 2 7\n3 2 1 12\n");
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\n"
                       "ROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\n"
                       "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\n"
                       "HYD_FREQ 5\nTOT_TIME 180\nTIMESTEP 10\nRAIN_INTENSITY 40\n"
                       "RAIN_DURATION 60\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nINF_RICHARDS\n"
                       "RICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\nRICHARDS_UPPER_OPTION average\n"
                       "SOIL_TYPE_MAP soils.idx\nSOIL_LAYER_INPUT_FILE soils.txt\n"
                       "IN_THETA_LOCATION theta.txt\nOUT_THETA_LOCATION theta.out\n");
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    const std::string summary = kesta_test::read_file(dir.file("summ.out"));
    ASSERT_EQ(r.status, 0) << r.output << summary;
    EXPECT_TRUE(has(summary, "Infiltration by Richards Eq.")) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "mass conservation error:"), 0.0, 1e-4) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "Richard equation mass balance error"), 0.0, 1e-6) << summary;
    const double infiltrated = kesta_test::value_after(summary, "volume of infiltrated water:");
    EXPECT_GT(infiltrated, 200.0) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "net vol infiltrated to soil (cu. m.):"), infiltrated, 0.1) << summary;
    EXPECT_FALSE(has(summary, "nan")) << summary;

    // 37 lines (every 5 minutes of 180) of the time and 3 + 1 node moistures:
    // loam, loam and clay of cell 3, clay of cell 5; the rain wets the top.
    const std::string theta = kesta_test::read_file(dir.file("theta.out"));
    EXPECT_EQ(std::count(theta.begin(), theta.end(), '\n'), 37) << theta;
    double t = 0.0, first = 0.0, second = 0.0, seventh = 0.0, twelfth = 0.0;
    ASSERT_EQ(std::sscanf(theta.c_str(), "%lf %lf %lf %lf %lf", &t, &first, &second, &seventh, &twelfth), 5);
    EXPECT_EQ(std::make_tuple(first, second, seventh, twelfth), std::make_tuple(0.2, 0.2, 0.3, 0.3));
    const std::string last = theta.substr(theta.rfind('\n', theta.size() - 2) + 1);
    ASSERT_EQ(std::sscanf(last.c_str(), "%lf %lf", &t, &first), 2);
    EXPECT_GT(first, 0.3);
}

}  // namespace
