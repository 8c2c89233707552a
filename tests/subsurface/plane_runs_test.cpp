// The built program on a plus-shaped plane of five 100 m cells: the
// soil-column methods, alone or above a simulated aquifer, account for every
// drop; long-term runs follow their hourly weather and end at TOT_TIME or
// with it; and the bundled spring month lays its snow on the valley.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/calendar.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta_test::has;
using kesta_test::lines_of;
using kesta_test::table_row;
using kesta_test::value_after;

// The plane with soils 1 and 2 on the cells of `soils` and an aquifer below
// whose outlet cell holds its head. t.cmt gives both soils to Green and Ampt
// (Ks cm/h, Hc cm, porosity, pore index, residual, field capacity, wilting
// point; then the initial moisture) and ends with `more`; layers.txt gives
// them three layers for layered Green and Ampt, richards.txt for Richards.
struct plus_plane {
    kesta_test::temp_dir dir;

    explicit plus_plane(const char* soils, const std::string& more = "") {
        auto grid = [](const char* v) { return kesta_test::grid_text(3, 3, 100.0, v); };
        dir.write("mask.asc", kesta_test::cross_mask(100.0));
        dir.write("elev.asc", kesta_test::cross_elevation(100.0));
        dir.write("soils.idx", grid(soils));
        dir.write("wt.asc", grid("8 8 8\n8 7.5 8\n8 6.9 8\n"));
        dir.write("bot.asc", grid("0 0 0\n0 0 0\n0 0 0\n"));
        dir.write("bound.asc", grid("1 1 1\n1 1 1\n1 2 1\n"));
        std::filesystem::create_directory(dir.file("exchange"));
        dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                           "NUM_IDS 2\nhdr\n" + table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
                               table_row(2, "1.09 11.01 0.453 0.322 0.041 0.2 0.08") +
                               "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.15") +
                               table_row(2, "0.2") + more);
        // Per layer: Ks, pore index, Hc, porosity, field capacity, wilting
        // point, residual, initial moisture, depth (none for layer 3).
        const std::string loam = "0.34 0.252 8.89 0.434 0.27 0.12 0.027 0.15 10\n";
        const std::string clay = "0.05 0.2 20 0.4 0.3 0.15 0.05 0.25 20\n";
        const std::string sand = "1.0 0.3 5 0.45 0.2 0.08 0.04 0.2\n";
        dir.write("layers.txt", "2 0\n1\n" + loam + clay + sand + "2\n" + clay + loam + sand);
        // Ks, porosity, residual, initial, wilting point, field capacity,
        // depth, lambda, bubbling head, spacing.
        const std::string bc_loam = "1.0 0.45 0.05 0.2 0.1 0.25 30 0.5 20 5\n";
        const std::string bc_clay = "0.1 0.40 0.08 0.3 0.15 0.3 20 0.2 40 5\n";
        dir.write("richards.txt", "2 0\n1\n" + bc_loam + bc_clay + bc_loam + "2\n" + bc_clay + bc_loam + bc_clay);
    }

    // Runs the plane's project, ended by `cards`.
    kesta_test::program_result run(const std::string& cards) const {
        dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
                           "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\nMANNING_N 0.05\nSUMMARY summ.out\n"
                           "OUTLET_HYDRO hyd.out\n" + cards);
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    std::string read(const char* name) const { return kesta_test::read_file(dir.file(name)); }
};

// 40 mm/h for an hour (2000 m3), routed for three hours, with each method
// alone and with redistribution or Richards above the aquifer: the soil takes
// its share and the event's balance closes; the aquifer's closes with the
// water its heads hold at the Richards nodes' saturated moisture beyond its
// porosity; Richards columns close their own, free-draining or above the
// aquifer, and the soil-moisture locations write the moistures of their
// listed nodes.
TEST(SoilColumnRuns, EachMethodAccountsForEveryDropAloneOrAboveTheAquifer) {
    const plus_plane plane("0 1 0\n1 1 2\n0 2 0\n");
    plane.dir.write("theta.txt", "2 3\n2 2 3 1 2 7\n3 2 1 12\n");
    const std::string storm = "SUPER_QUIET\nHYD_FREQ 5\nTOT_TIME 180\nTIMESTEP 10\nRAIN_INTENSITY 40\n"
                              "RAIN_DURATION 60\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n";
    const std::string redist = "INF_REDIST\nMAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.1\n";
    const std::string richards = "INF_RICHARDS\nRICHARDS_C_OPTION brooks\nRICHARDS_K_OPTION arithmetic\n"
                                 "RICHARDS_UPPER_OPTION average\nSOIL_TYPE_MAP soils.idx\n"
                                 "SOIL_LAYER_INPUT_FILE richards.txt\n";
    const std::string aquifer = "WATER_TABLE wt.asc\nAQUIFER_BOTTOM bot.asc\nGW_SIMULATION\nGW_BOUNDFILE bound.asc\n"
                                "GW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n";
    const struct {
        std::string cards;
        const char* method;
    } runs[] = {
        {redist, "Infiltration with redistribution."},
        {"INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.idx\nSOIL_LAYER_INPUT_FILE layers.txt\n",
         "G&A Infiltration through layered soils."},
        {richards + "IN_THETA_LOCATION theta.txt\nOUT_THETA_LOCATION theta.out\n", "Infiltration by Richards Eq."},
        {redist + aquifer, "Infiltration with redistribution."},
        {richards + "AQUIFER_DELTA_Z 0.5\n" + aquifer, "Infiltration by Richards Eq."},
    };
    for (const auto& c : runs) {
        SCOPED_TRACE(c.cards);
        const auto r = plane.run(storm + c.cards);
        const std::string s = plane.read("summ.out");
        ASSERT_EQ(r.status, 0) << r.output << s;
        EXPECT_TRUE(has(s, c.method)) << s;
        EXPECT_FALSE(has(s, "nan")) << s;
        EXPECT_NEAR(value_after(s, "mass conservation error:"), 0.0, 1e-4) << s;
        const double infiltrated = value_after(s, "volume of infiltrated water:");
        EXPECT_GT(infiltrated, 200.0) << s;
        const bool columns = has(c.cards, "INF_RICHARDS"), below = has(c.cards, "GW_SIMULATION");
        // The run's global table closes as the event does.
        EXPECT_NEAR(value_after(s, "Mass balance error of surface components ="), 0.0, 1e-6) << s;
        EXPECT_NEAR(value_after(s, "Overall mass balance error ="), 0.0, 1e-6) << s;
        if (columns) {
            EXPECT_NEAR(value_after(s, "net vol infiltrated to soil (cu. m.):"), infiltrated, 0.1) << s;
            // Also above the aquifer, whose held outlet cell takes its
            // column's drainage too.
            EXPECT_NEAR(value_after(s, "Richard equation mass balance error"), 0.0, 1e-6) << s;
        }
        if (below) {
            EXPECT_GT(value_after(s, "vol groundwater recharge (cu. m):"), 0.0) << s;
            // To the rounding of the printed volumes.
            EXPECT_NEAR(value_after(s, "GW volume end =") + value_after(s, "Held beyond the aquifer porosity=") -
                            value_after(s, "GW volume start ="),
                        value_after(s, "Total inputs to groundwater=") + value_after(s, "Flux across head boundaries="),
                        0.03)
                << s;
            EXPECT_NEAR(value_after(s, "Mass Balance error ="), 0.0, 0.005) << s;
        } else if (!columns) {
            EXPECT_GE(value_after(s, "volume ground water recharge:"), 0.0) << s;
        }
    }

    // 37 lines (every 5 minutes of 180) of the time and 3 + 1 node moistures:
    // loam, loam and clay of cell 3, clay of cell 5; the rain wets the top.
    const std::string theta = plane.read("theta.out");
    EXPECT_EQ(std::count(theta.begin(), theta.end(), '\n'), 37) << theta;
    double t = 0.0, first = 0.0, second = 0.0, seventh = 0.0, twelfth = 0.0;
    ASSERT_EQ(std::sscanf(theta.c_str(), "%lf %lf %lf %lf %lf", &t, &first, &second, &seventh, &twelfth), 5);
    EXPECT_EQ(std::make_tuple(first, second, seventh, twelfth), std::make_tuple(0.2, 0.2, 0.3, 0.3));
    const std::string last = theta.substr(theta.rfind('\n', theta.size() - 2) + 1);
    ASSERT_EQ(std::sscanf(last.c_str(), "%lf %lf", &t, &first), 2);
    EXPECT_GT(first, 0.3);
}

// Long-term runs of soil 1 under redistribution, its evapotranspiration
// driven by hourly weather, through 20 mm/h for two hours from 3:00 (2000 m3
// on the 50000 m2) and a second event the next day.
TEST(LongTermRun, EndsAtTotTimeOrWithItsWeatherAndBalancesEachEvent) {
    const plus_plane plane("0 1 0\n1 1 1\n0 1 0\n",
                           "EVAPOTRANSPIRATION \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.2 0.3 1.0 100"));
    plane.dir.write("rain.dat", "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 150 150\n"
                                "RATES 2020 6 1 3 0 20.0\nRATES 2020 6 1 5 0 0.0\n"
                                "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 150 150\n"
                                "RATES 2020 6 2 12 0 20.0\nRATES 2020 6 2 12 30 0.0\n");
    const char* const warm = "29.92 50 2 8 77 300.0 600.0";
    const struct {
        const char* what;
        const char* weather;
        int hours;  // of weather from 0:00
        const char* tot_time;
        int hours_run;  // 0:00 to the last step
        double rain;    // m3 of event 1
        const char* says;
    } cases[] = {
        {"TOT_TIME ends the run", warm, 48, "TOT_TIME 780\n", 13, 2000.0, ""},
        // The pass at 4:00 still rains, then finds no weather.
        {"the end of the weather ends the run and the event under way", warm, 4, "", 4, 1000.0 * 61 / 60,
         "End of meteorology data reached.  KESTA terminated"},
        {"cold rain stays as snow", "29.92 50 2 8 20 0.0 0.0", 48, "TOT_TIME 600\n", 10, 2000.0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        plane.dir.write("weather.kvl", kesta_test::kvl_hours(2020, 6, 1, 0, c.hours, c.weather));
        const auto r = plane.run(std::string("QUIET\nHYD_FREQ 60\nTIMESTEP 60\nPRECIP_FILE rain.dat\n"
                                             "RAIN_INV_DISTANCE\nLONG_TERM\nSTRICT_JULIAN_DATE\nHMET_KVL weather.kvl\n"
                                             "ET_CALC_DEARDORFF\nLATITUDE 40\nLONGITUDE 105\nGMT -7\nINF_REDIST\n"
                                             "MAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.1\n") +
                                 c.tot_time);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;

        // One outlet line an hour from the first step, the last at the end.
        const std::vector<std::string> hydrograph = lines_of(plane.read("hyd.out"));
        ASSERT_EQ(hydrograph.size(), static_cast<std::size_t>(c.hours_run + 1));
        EXPECT_NEAR(std::stod(hydrograph.back()), kesta::julday(2020, 6, 1, c.hours_run, 0, 0.0), 1e-6);
        // After its header, one basin line for each hour with weather.
        EXPECT_EQ(lines_of(plane.read("evap_out")).size(),
                  static_cast<std::size_t>(std::min(c.hours_run + 1, c.hours) + 1));

        const std::string summary = plane.read("summ.out");
        EXPECT_TRUE(has(summary, "SIMULATION SUMMARY- EVENT 1\n")) << summary;
        EXPECT_FALSE(has(summary, "EVENT 2\n"));
        EXPECT_TRUE(has(summary, "Hydrometeorology data began on: 06/01/2020 at  0:00\n"
                                 "and ended on:                   06/0"));
        EXPECT_TRUE(has(summary, "The following number of hydromet. data points were repaired:0\n"));
        EXPECT_NEAR(value_after(summary, "mass conservation error:"), 0.0, 1e-4) << summary;
        EXPECT_FALSE(has(summary, "nan")) << summary;
        const double rain = value_after(summary, "volume of rainfall to overland:");
        EXPECT_NEAR(rain, c.rain, 0.5);
        if (c.weather == warm) EXPECT_GT(value_after(summary, "volume of infiltrated water:"), 100.0);
        else EXPECT_NEAR(value_after(summary, "final volume of snow (cu. m):"), rain, 0.5);
    }
}

// The bundled month of spring, cut to its first ten days: both snowfalls
// lie on the valley, each event balances, and the weather is read whole.
TEST(SpringExample, SnowOfTheFirstTenDaysLiesOnTheValley) {
    namespace fs = std::filesystem;
    const fs::path examples = fs::path(KESTA_SOURCE_DIR) / "examples";
    kesta_test::temp_dir dir;
    for (const char* name : {"mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(examples / "valley" / name, dir.path() / name);
    for (const char* name : {"spring.cmt", "weather.kvl", "rain.dat"})
        fs::copy_file(examples / "valley-spring" / name, dir.path() / name);
    dir.write("spring.prj", kesta_test::read_file((examples / "valley-spring" / "spring.prj").string()) +
                                "TOT_TIME 14400\n");
    const auto r = kesta_test::run_kesta("spring.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string summary = kesta_test::read_file(dir.file("spring.sum"));
    EXPECT_TRUE(has(summary, "SIMULATION SUMMARY- EVENT 2\n") && !has(summary, "EVENT 3\n")) << summary;
    EXPECT_TRUE(has(summary, "The following number of hydromet. data points were repaired:0\n"));
    // Event 2 starts on event 1's snow and ends with both.
    const std::string second = summary.substr(summary.find("EVENT 2\n"));
    EXPECT_NEAR(value_after(second, "initial liquid-equiv. volume of snow:"),
                value_after(summary, "final volume of snow (cu. m):"), 0.05);
    EXPECT_NEAR(value_after(second, "final volume of snow (cu. m):"), 149399.1, 0.5);
    EXPECT_EQ(lines_of(kesta_test::read_file(dir.file("evap_out"))).size(), 10u * 24 + 2);
    EXPECT_FALSE(has(summary, "nan"));
}

}  // namespace
