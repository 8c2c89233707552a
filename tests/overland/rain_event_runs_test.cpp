// The built program on a five-cell plane with rain from a file: event after
// event, the water of each is accounted for in its summary.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

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

// A 100 m plane of five cells in a cross, draining south to its outlet.
class RainEventRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
        dir.write("elev.asc", grid_text(3, 3, 100.0, "10 9 10\n9 8 9\n10 7 10\n"));
        std::filesystem::create_directory(dir.file("exchange"));
    }
    kesta_test::program_result run(const std::string& cards) {
        dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\n"
                           "COLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\nMANNING_N 0.05\n"
                           "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\nHYD_FREQ 5\n" + cards);
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
    std::string summary;
};

// Event one still runs off when event two begins with the lower cut-off, and
// ends on its own (the clock then jumps to event two) with the higher one.
TEST_F(RainEventRuns, TwoLandManagementEventsEachBalanceFromTheWaterTheyFind) {
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

TEST_F(RainEventRuns, TwoGaugesByDefaultInterpolationGiveTheFileTotalOverLongSteps) {
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

TEST_F(RainEventRuns, WaterLeavingAtAnOverlandBoundaryIsInTheBalance) {
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
}

TEST_F(RainEventRuns, EventBetweenTwoStepsIsRefusedBeforeTheRunStarts) {
    dir.write("rain.dat",
              "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 150 150\nRATES 2020 6 1 12 0 20.0\nRATES 2020 6 1 12 10 0.0\n"
              "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 150 150\nRATES 2020 6 1 15 2 30.0\nRATES 2020 6 1 15 10 0.0\n");
    const auto r = run("TOT_TIME 300\nTIMESTEP 300\nPRECIP_FILE rain.dat\nHTP\nOLMA olma.txt\n");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "In precipitation file rain.dat, event 2 (line 11): the event begins at 6/1/2020 "
                              "15:02, which is not a whole number of time steps (300.00 s)"))
        << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;
}

}  // namespace
