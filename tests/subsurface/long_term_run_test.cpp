// The built program on a long-term run of the five-cell plane: hourly
// weather drives the soil's evapotranspiration, rain falls as snow in the
// cold, and the run ends at TOT_TIME or with its weather, closing the event
// under way and writing one series line per output interval.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta_test::grid_text;
using kesta_test::table_row;
using kesta_test::has;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

TEST(LongTermRun, EndsAtTotTimeOrWithItsWeatherAndBalancesEachEvent) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
    dir.write("elev.asc", grid_text(3, 3, 100.0, "10 9 10\n9 8 9\n10 7 10\n"));
    dir.write("soils.idx", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
    std::filesystem::create_directory(dir.file("exchange"));
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\n"
                       "GREEN_AMPT_INFILTRATION \"Soil\"\nNUM_IDS 1\nhdr\n" +
                           table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.2") +
                           "EVAPOTRANSPIRATION \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.2 0.3 1.0 100"));
    // 20 mm/h for two hours from 3:00 (2000 m3 on the 50000 m2), and a
    // second event the next day.
    dir.write("rain.dat", "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 150 150\n"
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
        dir.write("weather.kvl", kesta_test::kvl_hours(2020, 6, 1, 0, c.hours, c.weather));
        dir.write("p.prj", std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\n"
                                       "ROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\n"
                                       "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nQUIET\n"
                                       "HYD_FREQ 60\nTIMESTEP 60\nPRECIP_FILE rain.dat\nRAIN_INV_DISTANCE\n"
                                       "LONG_TERM\nSTRICT_JULIAN_DATE\nHMET_KVL weather.kvl\nET_CALC_DEARDORFF\n"
                                       "LATITUDE 40\nLONGITUDE 105\nGMT -7\nINF_REDIST\nMAPPING_TABLE t.cmt\n"
                                       "TOP_LAYER_DEPTH 0.1\n") +
                               c.tot_time);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;

        // One outlet line an hour from the first step, the last at the end.
        const std::vector<std::string> hydrograph = lines_of(kesta_test::read_file(dir.file("hyd.out")));
        ASSERT_EQ(hydrograph.size(), static_cast<std::size_t>(c.hours_run + 1));
        EXPECT_NEAR(std::stod(hydrograph.back()), kesta::julday(2020, 6, 1, c.hours_run, 0, 0.0), 1e-6);
        // After its header, one basin line for each hour with weather.
        EXPECT_EQ(lines_of(kesta_test::read_file(dir.file("evap_out"))).size(),
                  static_cast<std::size_t>(std::min(c.hours_run + 1, c.hours) + 1));

        const std::string summary = kesta_test::read_file(dir.file("summ.out"));
        EXPECT_TRUE(has(summary, "SIMULATION SUMMARY- EVENT 1\n")) << summary;
        EXPECT_FALSE(has(summary, "EVENT 2\n"));
        EXPECT_TRUE(has(summary, "Hydrometeorology data began on: 06/01/2020 at  0:00\n"
                                 "and ended on:                   06/0"));
        EXPECT_TRUE(has(summary, "The following number of hydromet. data points were repaired:0\n"));
        EXPECT_NEAR(kesta_test::value_after(summary, "mass conservation error:"), 0.0, 1e-4) << summary;
        EXPECT_FALSE(has(summary, "nan")) << summary;
        const double rain = kesta_test::value_after(summary, "volume of rainfall to overland:");
        EXPECT_NEAR(rain, c.rain, 0.5);
        if (c.weather == warm) EXPECT_GT(kesta_test::value_after(summary, "volume of infiltrated water:"), 100.0);
        else EXPECT_NEAR(kesta_test::value_after(summary, "final volume of snow (cu. m):"), rain, 0.5);
    }
}

}  // namespace

// The bundled month of spring, cut to its first ten days: both snowfalls
// lie on the valley, each event balances, and the weather is read whole.
TEST(SpringExample, SnowOfTheFirstTenDaysLiesOnTheValley) {
    namespace fs = std::filesystem;
    const fs::path examples = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples";
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
    EXPECT_NEAR(kesta_test::value_after(summary.substr(summary.find("EVENT 2\n")), "initial liquid-equiv. volume of snow:"),
                kesta_test::value_after(summary, "final volume of snow (cu. m):"), 0.05);
    EXPECT_NEAR(kesta_test::value_after(summary.substr(summary.find("EVENT 2\n")), "final volume of snow (cu. m):"), 149399.1,
                0.5);
    EXPECT_EQ(lines_of(kesta_test::read_file(dir.file("evap_out"))).size(), 10u * 24 + 2);
    EXPECT_FALSE(has(summary, "nan"));
}
