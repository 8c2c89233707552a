// The bundled valley example, run by the built program in a scratch copy:
// one hour of uniform rain on a 100 x 80 cell watershed runs off into the
// valley's stream and leaves through the outlet link, and the event summary
// closes its water balance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kExample = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "valley";

// (elapsed minutes, discharge in m3/s) pairs of an outlet hydrograph.
std::vector<std::pair<double, double>> hydrograph(const std::string& text) {
    std::vector<std::pair<double, double>> points;
    std::istringstream in(text);
    double t = 0.0, q = 0.0;
    while (in >> t >> q) points.emplace_back(t, q);
    return points;
}

TEST(ValleyExample, RainDrainsThroughTheOutletTheSummaryClosesTheBalanceAndTheOutputsAreWritten) {
    kesta_test::temp_dir dir;
    for (const char* name :
         {"valley.prj", "valley.cmt", "valley.chan", "valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExample / name, dir.path() / name);
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("valley.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string summary = kesta_test::read_file(dir.file("valley.sum"));
    const std::vector<std::pair<double, double>> points = hydrograph(kesta_test::read_file(dir.file("outlet.hyd")));
    EXPECT_NE(run.output.find("finished event"), std::string::npos) << run.output;

    // 300 minutes written every 5 minutes, the first pass included.
    ASSERT_EQ(points.size(), 61u);
    EXPECT_DOUBLE_EQ(points.front().first, 0.0);
    EXPECT_DOUBLE_EQ(points.back().first, 300.0);
    const auto peak = std::max_element(points.begin(), points.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_GT(peak, points.begin());
    ASSERT_LT(peak, points.end() - 1);
    EXPECT_EQ(points.front().second, 0.0);
    EXPECT_LT(points.back().second, 0.1 * peak->second);
    // Rising up to the peak, falling after it, sample by sample.
    for (auto p = points.begin() + 1; p != points.end(); ++p) {
        if (p <= peak)
            EXPECT_GE(p->second, (p - 1)->second) << "at minute " << p->first;
        else
            EXPECT_LT(p->second, (p - 1)->second) << "at minute " << p->first;
    }
    // The rain stops at minute 60; the water of the far hillslopes still arrives after it.
    EXPECT_GT(peak->first, 60.0);

    // The summary's peak is the largest discharge of any step, so never below a sample.
    const double summary_peak = kesta_test::value_after(summary, "Event peak discharge (cubic meters per second):");
    EXPECT_GE(summary_peak, peak->second - 0.0005);
    EXPECT_LT(summary_peak, 1.1 * peak->second);

    // The event summary closes the water balance.
    const double cells = kesta_test::value_after(run.output, "number of grid cells in watershed:");
    ASSERT_GT(cells, 0.0) << run.output;

    // 25 mm/h for 60 minutes in 5 s steps on 30 m cells.
    EXPECT_NE(summary.find("number of timesteps with rain:             720\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("elapsed time when rain began:               0.00\n"), std::string::npos) << summary;
    const double rain = kesta_test::value_after(summary, "volume of rainfall to overland:");
    EXPECT_NEAR(rain, 0.025 * cells * 30.0 * 30.0, 0.05);

    // The rain runs off over the banks into the stream and out at the outlet.
    const double discharge = kesta_test::value_after(summary, "volume of discharge:");
    const double remaining = kesta_test::value_after(summary, "volume remaining on surface:");
    const double in_channels = kesta_test::value_after(summary, "final volume in channels (cu. m):");
    const double lateral = kesta_test::value_after(summary, "volume of lateral inflow:");
    EXPECT_GT(discharge, 0.9 * rain);
    EXPECT_NEAR(discharge + remaining + in_channels, rain, 0.2);
    EXPECT_NEAR(lateral, discharge + in_channels, 0.2);
    EXPECT_NE(summary.find("Explicit diffusive-wave channel routing.\n"), std::string::npos);

    const double error_percent = kesta_test::value_after(summary, "mass conservation error:");
    ASSERT_FALSE(std::isnan(error_percent)) << summary;
    EXPECT_LE(std::fabs(error_percent), 1e-6);
    EXPECT_NE(summary.find("THE FOLLOWING WARNINGS ARE GIVEN:\nNo Warnings.\n"), std::string::npos);
    EXPECT_NE(summary.find("Distributed overland roughness.\n"), std::string::npos);

    // The channel depths and discharges every five minutes.
    for (const char* name : {"chan_depth.lnd", "chan_flow.lnd"}) {
        const std::string d = kesta_test::read_file(dir.file(name));
        std::size_t blocks = 0;
        for (std::size_t at = d.find("\nTS    "); at != std::string::npos; at = d.find("\nTS    ", at + 1)) ++blocks;
        EXPECT_EQ(blocks, 61u) << name;
        EXPECT_NE(d.find("NUM_LINKS     5\nTIME_STEP     5\nNUM_TS        60\n"), std::string::npos) << name;
    }

    // A depth map every thirty minutes: steps 1, 361 ... 3241 of the 3600 five-second steps.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "maps"), fs::directory_iterator()), 10);
    EXPECT_TRUE(fs::exists(dir.path() / "maps" / "depth.0010.asc"));
    EXPECT_NE(summary.find("Floating point GRASS output maps were written.\n     overland flow depth.\n"),
              std::string::npos);
    // The six-line header, then one value per cell, no-data outside the 5053 watershed cells.
    std::istringstream frame(kesta_test::read_file(dir.file("maps/depth.0004.asc")));
    std::vector<std::string> words{std::istream_iterator<std::string>(frame), std::istream_iterator<std::string>()};
    ASSERT_EQ(words.size(), 12u + 100u * 80u);
    EXPECT_EQ(std::count(words.begin(), words.end(), "-9999.9900"), 100 * 80 - 5053);
}

}  // namespace
