// The bundled water-quality example, run by the built program over its
// first day (before the first event): its files are read as a user's would
// be, the soil's top layer starts from the example's tables, every balance
// of the summary closes and the outlet series and total maps are written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::read_file;
using kesta_test::value_after;

const fs::path kExamples = fs::path(KESTA_SOURCE_DIR) / "examples";

TEST(NutrientExample, TheFirstDayStartsFromTheTablesAndBalances) {
    kesta_test::temp_dir dir;
    for (const char* name : {"valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExamples / "valley" / name, dir.path() / name);
    for (const char* name : {"weather.kvl", "rain.dat"})
        fs::copy_file(kExamples / "valley-spring" / name, dir.path() / name);
    for (const char* name : {"nutrients.cmt", "aq.env", "st.map"})
        fs::copy_file(kExamples / "valley-nutrients" / name, dir.path() / name);
    // The project with its run cut to one day: its TOT_TIME line replaced.
    std::string project = read_file((kExamples / "valley-nutrients" / "nutrients.prj").string());
    const std::size_t at = project.find("\nTOT_TIME ");
    ASSERT_NE(at, std::string::npos);
    project.replace(at + 1, project.find('\n', at + 1) - at - 1, "TOT_TIME 1440");
    dir.write("nutrients.prj", project);
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("nutrients.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string summary = read_file(dir.file("nutrients.sum"));

    // The soil's ammonium starts in the mixing layer only, from the
    // ZEP_SOIL_N table: 563 pasture cells of 0.12 kg, 2640 grass cells of
    // 0.1 kg and 1850 forest cells of 0.08 kg.
    const std::size_t nh4 = summary.find("Global Summary for Ammonium (NH4+)");
    ASSERT_NE(nh4, std::string::npos) << summary;
    EXPECT_NEAR(value_after(summary.substr(nh4), "Total initial mass"), 479.56, 0.005);

    int balances = 0;
    for (const std::string label :
         {"Soil mass balance error", "Dissolved mass balance error", "Contam mass balance error"}) {
        for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1)) {
            EXPECT_LT(std::fabs(value_after(summary.substr(at), label)), 1e-4) << summary.substr(at, 80);
            ++balances;
        }
    }
    EXPECT_GT(balances, 13);

    // Hourly outlet series from 0 to 24 h, and the day's total maps.
    for (const char* name : {"outlet_no3.conc", "outlet_no3.mass", "outlet_nh4.conc", "outlet_nh4.mass"}) {
        const std::string series = read_file(dir.file(name));
        EXPECT_EQ(std::count(series.begin(), series.end(), '\n'), 25) << name;
    }
    for (const char* name : {"maps/Total_ov_N.0001.asc", "maps/Total_ov_P.0001.asc"})
        EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
}

}  // namespace
