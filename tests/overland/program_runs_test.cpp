// The built program on small planes and on the bundled valley example:
// event after event, the water of each is accounted for in its summary; an
// explicit scheme that gives up dividing its sub-step lets out only the water
// there is; an overland lake drained hard gives only the water above its
// initial level; and the valley's rain runs off through its stream and
// outlet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::grid_text;
using kesta_test::has;

// The values after every occurrence of `label` in `text`.
std::vector<double> values_after(const std::string& text, const std::string& label) {
    std::vector<double> v;
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
        v.push_back(std::stod(text.substr(at + label.size())));
    return v;
}

const char* const kBalance = "mass conservation error:";
const char* const kRain = "volume of rainfall to overland:";
const char* const kLeft = "volume remaining on surface:";

// Two events of 5 mm on the 50000 m2 plane (250 m3 each), three hours apart.
const char* const kTwoEvents =
    "EVENT one\nNRGAG 1\nNRPDS 3\nCOORD 150 150\n"
    "RATES 2020 6 1 12 0 20.0\nRATES 2020 6 1 12 10 10.0\nRATES 2020 6 1 12 20 0.0\n"
    "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 150 150\n"
    "RATES 2020 6 1 15 0 30.0\nRATES 2020 6 1 15 10 0.0\n";

// By default a 100 m plane of five cells in a cross, draining south to its
// outlet; `plane` gives its cards.
class PlaneRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(100.0));
        dir.write("elev.asc", kesta_test::cross_elevation(100.0));
        fs::create_directory(dir.file("exchange"));
    }
    kesta_test::program_result run(const std::string& cards) {
        dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nMAP_FREQ 1000\n"
                           "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\n" + plane + cards);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        summary = kesta_test::read_file(dir.file("summ.out"));
        return r;
    }
    // The values of `label` in the summary, event by event, are `expected`.
    void expect_values(const char* label, const std::vector<double>& expected, double tolerance) const {
        const std::vector<double> v = values_after(summary, label);
        ASSERT_EQ(v.size(), expected.size()) << label << "\n" << summary;
        for (std::size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], expected[i], tolerance) << label << " " << i;
    }

    kesta_test::temp_dir dir;
    std::string plane = "GRIDSIZE 100\nROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                        "SUPER_QUIET\nHYD_FREQ 5\n";
    std::string summary;
};

// Event one still runs off when event two begins with the lower cut-off, and
// ends on its own (the clock then jumps to event two) with the higher one.
TEST_F(PlaneRuns, TwoLandManagementEventsEachBalanceFromTheWaterTheyFind) {
    dir.write("rain.dat", kTwoEvents);
    for (const char* cut_off : {"0.001", "0.01"}) {
        SCOPED_TRACE(cut_off);
        const auto r = run(std::string("TOT_TIME 300\nTIMESTEP 10\nPRECIP_FILE rain.dat\nRAIN_THIESSEN\nHTP\n"
                                       "OLMA olma.txt\nEVENT_MIN_Q ") + cut_off + "\n");
        ASSERT_EQ(r.status, 0) << r.output;
        expect_values(kBalance, {0.0, 0.0}, 1e-4);
        expect_values(kRain, {250.0, 250.0}, 0.05);
        // Event two starts from what event one left on the ground.
        const std::vector<double> left = values_after(summary, kLeft);
        ASSERT_FALSE(left.empty());
        EXPECT_GT(left[0], 1.0);
        expect_values("initial volume of overland flow:", {0.0, left[0]}, 0.05);
        EXPECT_TRUE(has(summary, "Event began on 06/01/2020 at 12:00\n"));
        EXPECT_TRUE(has(summary, "Event began on 06/01/2020 at 15:00\n"));
        EXPECT_EQ(kesta_test::read_file(dir.file("exchange/olma.txt")), "999 999\n");
    }
}

TEST_F(PlaneRuns, TwoGaugesByDefaultInterpolationGiveTheFileTotalOverLongSteps) {
    // Depths a minute apart and one over five minutes, with 5-minute steps.
    // The gauges sit on the centres of the north-west and south-east corner
    // cells, outside the watershed: each cell's rain is weighted by inverse
    // squared distance, 25 mm over the five cells in all.
    dir.write("rain.dat",
              "EVENT two gauges\nNRGAG 2\nNRPDS 4\nCOORD 50 250 north-west\nCOORD 250 50 south-east\n"
              "GAGES 2020 6 1 12 0 0.0 0.0\nGAGES 2020 6 1 12 1 1.0 3.0\n"
              "GAGES 2020 6 1 12 2 1.0 3.0\nGAGES 2020 6 1 12 7 2.0 0.0\n");
    const auto r = run("TOT_TIME 120\nTIMESTEP 300\nPRECIP_FILE rain.dat\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(summary, "With raingage data using inverse-distance squared interpolation.\n"));
    expect_values(kRain, {250.0}, 0.05);
    expect_values(kBalance, {0.0}, 1e-4);
}

TEST_F(PlaneRuns, WaterLeavingAtAnOverlandBoundaryIsInTheBalance) {
    dir.write("ids.idx", grid_text(3, 3, 100.0, "0 1 0\n1 1 2\n0 1 0\n"));
    const std::string pad(80, ' ');
    dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"Land\"\nOVERLAND_BOUNDARY \"Land\"\n"
                            "NUM_IDS 2\nID DESCRIPTION TYPE VALUE\n     1" + pad + "0 0\n     2" + pad + "1 0.01\n");
    // 7 s steps: the rain's 20 minutes end three sevenths into a step, whose share still falls.
    const auto r = run("TOT_TIME 60\nTIMESTEP 7\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 20\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\nMAPPING_TABLE tables.cmt\nOV_BOUNDARY\n");
    ASSERT_EQ(r.status, 0) << r.output;
    expect_values(kRain, {500.0}, 0.05);
    expect_values(kBalance, {0.0}, 1e-4);
    const double out = values_after(summary, "volume of discharge:").at(0);
    EXPECT_GT(500.0 - out - values_after(summary, kLeft).at(0), 10.0);  // what the east edge let out
    // The run's global table books the edge's outflow as lost to the slope boundary.
    EXPECT_NEAR(values_after(summary, "Volume lost to specified slope boundary:").at(0),
                500.0 - out - values_after(summary, kLeft).at(0), 0.1);
    EXPECT_NEAR(values_after(summary, "Overall mass balance error =").at(0), 0.0, 1e-6);
    EXPECT_NEAR(values_after(summary, "Mass balance error of surface components =").at(0), 0.0, 1e-6);
}

// Two 5 m cells holding 1 m of water, 30 s steps: the explicit scheme gives
// up dividing its sub-step. The outlet lets out the water there is, not
// more, and the summary counts the give-up even in a QUIET run.
TEST_F(PlaneRuns, ExplicitGiveUpLetsOutOnlyTheWaterThereIsAndTheSummaryWarns) {
    dir.write("mask.asc", grid_text(1, 2, 5.0, "1 1\n"));
    dir.write("elev.asc", grid_text(1, 2, 5.0, "100 99.5\n"));
    dir.write("depth.asc", grid_text(1, 2, 5.0, "1 1\n"));
    plane = "GRIDSIZE 5\nROWS 1\nCOLS 2\nOUTROW 1\nOUTCOL 2\nOUTSLOPE 0.1\nMANNING_N 0.01\nQUIET\nHYD_FREQ 1\n";
    const auto r = run("TOT_TIME 10\nTIMESTEP 30\nOVERTYPE EXPLICIT\nOV_INIT_DEPTH depth.asc\nPRECIP_UNIF\n"
                       "RAIN_INTENSITY 0.001\nRAIN_DURATION 1\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n");
    ASSERT_EQ(r.status, 0) << r.output;
    expect_values("volume of discharge:", {50.0}, 0.05);
    expect_values(kLeft, {0.0}, 0.05);
    expect_values(kBalance, {0.0}, 1e-6);
    EXPECT_TRUE(has(summary, "-The overland routing could not shorten its sub-step enough in 1 time step(s)\n"))
        << summary;
    EXPECT_FALSE(has(summary, "No Warnings.")) << summary;
}

// What the steps of a run showed of its overland lake 1.
struct lake_watch {
    double lowest = 0.0;   // lowest level after an extent update, less the initial level (m)
    double spilled = 0.0;  // largest flow over the low spot (m3/s)
    double event_error = std::nan("");  // the event's balance error (a ratio)
    double update_error = std::nan("");  // the extent updates' volume error in the run (m3)
};
lake_watch g_lake;

bool watch_lake(kesta::model_state& m, const char* step) {
    const std::string name = step;
    if (name == "step_channel_routing") {  // just after the extent update
        const kesta::lake_record& lake = m.oland_lakes.at(1);
        g_lake.lowest = std::min(g_lake.lowest, lake.level - lake.initial_level);
        g_lake.spilled = std::max(g_lake.spilled, m.lowspots.at(1).flow);
    }
    if (name == "write_timeseries_output" && m.finished_events > 0) {
        g_lake.event_error = m.mass_conservation_error;
        g_lake.update_error = m.olake_balance_error;
    }
    return true;
}

// A lake standing at its initial level of 100 m, 5 m deep, with a hotstart
// depth on its cell: land 1 m below it to the south and, behind a dike, to
// the east, where a low spot with its crest at 99.5 m lets water through.
// The rain on it and on the land that drains to it is all it has to give;
// the land drains to the outlet in the south-east corner.
TEST(OverlandLakeRuns, ALakeDrainedHardGivesOnlyTheWaterAboveItsInitialLevel) {
    for (const char* scheme : {"EXPLICIT", "ADE", "ADE-PC"}) {
        SCOPED_TRACE(scheme);
        kesta_test::temp_dir dir(true);
        dir.write("mask.asc", grid_text(3, 4, 10.0, "1 1 1 1\n1 1 1 1\n1 1 1 1\n"));
        dir.write("elev.asc", grid_text(3, 4, 10.0, "101 101 101 101\n101 95 99 98\n101 99 98.5 97\n"));
        dir.write("depth.asc", grid_text(3, 4, 10.0, "0 0 0 0\n0 0.1 0 0\n0 0 0 0\n"));
        dir.write("uniform.asc", grid_text(3, 4, 10.0, "1 1 1 1\n1 1 1 1\n1 1 1 1\n"));
        dir.write("moisture.asc", grid_text(3, 4, 10.0, "0.2 0.2 0.2 0.2\n0.2 0.2 0.2 0.2\n0.2 0.2 0.2 0.2\n"));
        dir.write("porosity.asc", grid_text(3, 4, 10.0, "0.4 0.4 0.4 0.4\n0.4 0.4 0.4 0.4\n0.4 0.4 0.4 0.4\n"));
        dir.write("lakes.asc", grid_text(3, 4, 10.0, "0 0 0 0\n0 1 0 0\n0 0 0 0\n"));
        dir.write("lakes.txt", "KESTA_OVERLAND_LAKE_FILE\nLAKE 1 100.0 500.0\n");
        dir.write("dikes.asc", grid_text(3, 4, 10.0, "0 0 0 0\n0 2 8 0\n0 0 0 0\n"));
        dir.write("spots.txt", "LOWSPOT\nSPOT 2 2 2 1.0 99.5\n");
        dir.write("p.prj", std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\n"
                                       "ROWS 3\nCOLS 4\nOUTROW 3\nOUTCOL 4\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                                       "TOT_TIME 30\nTIMESTEP 10\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
                                       "PRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 10\n"
                                       "OV_INIT_DEPTH depth.asc\nGREEN_AMPT\nCONDUCTIVITY uniform.asc\n"
                                       "CAPILLARY uniform.asc\nPOROSITY porosity.asc\nMOISTURE moisture.asc\n"
                                       "OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n"
                                       "DIKE_MAP dikes.asc\nLOWSPOT_FILE spots.txt\n"
                                       "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nHYD_FREQ 1\nMAP_FREQ 1000\n"
                                       "SUPER_QUIET\nOVERTYPE ") +
                               scheme + "\n");
        g_lake = lake_watch();
        const kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch_lake);
        ASSERT_EQ(run.rc, 0) << run.out;
        EXPECT_GT(g_lake.spilled, 0.0);
        EXPECT_GE(g_lake.lowest, 0.0);
        EXPECT_LE(std::fabs(g_lake.event_error), 1e-8);
        EXPECT_LE(std::fabs(g_lake.update_error), 1e-9);
        const std::string summary = kesta_test::read_file(dir.file("summ.out"));
        EXPECT_GT(values_after(summary, "volume of discharge:").at(0), 1.0);
        // The run's global table keeps the lake apart from the surface and closes.
        EXPECT_NEAR(values_after(summary, "Initial volume in overland lakes=").at(0), 500.0, 1e-6) << summary;
        EXPECT_NEAR(values_after(summary, "Overall mass balance error =").at(0), 0.0, 1e-6) << summary;
        EXPECT_NEAR(values_after(summary, "Mass balance error of surface components =").at(0), 0.0, 1e-6) << summary;
        // The overland lakes' block of the table: nothing evaporates them,
        // and its lines keep one column for their values.
        std::istringstream table(summary.substr(summary.find("Volume of flow into overland lakes:")));
        std::vector<std::string> block(4);
        for (std::string& line : block) std::getline(table, line);
        const char* const labels[] = {"Volume of flow into overland lakes:", "Volume of flow from overland lakes:",
                                      "Volume of evaporation from lakes:", "Overland lake mass bal error m^3:"};
        for (std::size_t i = 0; i < block.size(); ++i) {
            EXPECT_EQ(block[i].rfind(labels[i], 0), 0u) << block[i];
            EXPECT_EQ(block[i].size(), block[0].size()) << block[i];
        }
        EXPECT_EQ(block[2].substr(block[2].size() - 5), " 0.00");
    }
}

const fs::path kExample = fs::path(KESTA_SOURCE_DIR) / "examples" / "valley";

TEST(ValleyExample, RainDrainsThroughTheOutletTheSummaryClosesTheBalanceAndTheOutputsAreWritten) {
    kesta_test::temp_dir dir;
    for (const char* name :
         {"valley.prj", "valley.cmt", "valley.chan", "valley.gst", "valley.ana", "mask.asc", "elevation.asc",
          "landuse.asc"})
        fs::copy_file(kExample / name, dir.path() / name);
    fs::create_directory(dir.path() / "maps");
    const kesta_test::program_result run = kesta_test::run_kesta("valley.prj", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string summary = kesta_test::read_file(dir.file("valley.sum"));
    std::vector<std::pair<double, double>> points;  // (elapsed minutes, discharge in m3/s) at the outlet
    std::istringstream hydrograph(kesta_test::read_file(dir.file("outlet.hyd")));
    for (double t = 0.0, q = 0.0; hydrograph >> t >> q;) points.emplace_back(t, q);
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
    for (const char* error : {"Mass balance error of surface components =", "Overall mass balance error ="})
        EXPECT_LE(std::fabs(kesta_test::value_after(summary, error)), 1e-6) << error;

    // The analyzer's hourly reports, from the start to the end of the run.
    const std::string checks = kesta_test::read_file(dir.file("depth_check.txt"));
    std::size_t reports = 0;
    for (std::size_t at = checks.find("====> "); at != std::string::npos; at = checks.find("====> ", at + 1)) ++reports;
    EXPECT_EQ(reports, 6u) << checks;
    // The hydrograph file for the graphical product holds the 61 outlet values.
    EXPECT_EQ(kesta_test::read_file(dir.file("valley.tvm")).find("KESSTA_TVM_HYDROGRAPH_FILE\n0\n20210714\n1400\n60\n61\n"),
              0u);

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
    // The summary names each file the run wrote, in its format, and nothing else.
    EXPECT_NE(summary.find("EVERY 360 TIMESTEP(S):\nESRI ASCII grids, one file per map time:\n"
                           "     overland flow depth (maps/depth.0001.asc to maps/depth.0010.asc).\n\n"
                           " THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 60 TIMESTEP(S):\n"
                           "     hydrograph at the catchment outlet (outlet.hyd).\n"
                           "     channel depth, a link/node dataset (chan_depth.lnd).\n"
                           "     channel discharge, a link/node dataset (chan_flow.lnd).\n"),
              std::string::npos)
        << summary;
    // The six-line header, then one value per cell, no-data outside the 5053 watershed cells.
    std::istringstream frame(kesta_test::read_file(dir.file("maps/depth.0004.asc")));
    std::vector<std::string> words{std::istream_iterator<std::string>(frame), std::istream_iterator<std::string>()};
    ASSERT_EQ(words.size(), 12u + 100u * 80u);
    EXPECT_EQ(std::count(words.begin(), words.end(), "-9999.9900"), 100 * 80 - 5053);
}

}  // namespace
