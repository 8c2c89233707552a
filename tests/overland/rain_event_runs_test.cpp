// The built program on a five-cell plane with rain from a file: event after
// event, the water of each is accounted for in its summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_text;
using kesta_test::read_file;

// The values after every occurrence of `label` in `text`.
std::vector<double> values_after(const std::string& text, const std::string& label) {
    std::vector<double> v;
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
        v.push_back(std::stod(text.substr(at + label.size())));
    return v;
}

// A 100 m plane of five cells in a cross, draining south to its outlet.
std::string project(const std::string& cards) {
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
           "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMAP_FREQ 1000\nMANNING_N 0.05\n"
           "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\n" +
           cards;
}

// Two events of 5 mm on the 50000 m2 plane (250 m3 each), three hours apart.
const char* const kTwoEvents =
    "EVENT one\nNRGAG 1\nNRPDS 3\nCOORD 150 150\n"
    "RATES 2020 6 1 12 0 20.0\nRATES 2020 6 1 12 10 10.0\nRATES 2020 6 1 12 20 0.0\n"
    "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 150 150\n"
    "RATES 2020 6 1 15 0 30.0\nRATES 2020 6 1 15 10 0.0\n";

class RainEventRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", grid_text(3, 3, 100.0, "0 1 0\n1 1 1\n0 1 0\n"));
        dir.write("elev.asc", grid_text(3, 3, 100.0, "10 9 10\n9 8 9\n10 7 10\n"));
        std::filesystem::create_directory(dir.file("exchange"));
    }
    kesta_test::program_result run(const std::string& cards) {
        dir.write("p.prj", project(cards));
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    std::string summary() const { return read_file(dir.file("summ.out")); }

    kesta_test::temp_dir dir;
};

// Event one still runs off when event two begins with the lower cut-off, and
// ends on its own (the clock then jumps to event two) with the higher one.
TEST_F(RainEventRuns, TwoLandManagementEventsEachBalanceFromTheWaterTheyFind) {
    dir.write("rain.dat", kTwoEvents);
    for (const char* cut_off : {"0.001", "0.01"}) {
        SCOPED_TRACE(cut_off);
        const auto r = run(std::string("TOT_TIME 300\nTIMESTEP 10\nHYD_FREQ 5\nPRECIP_FILE rain.dat\n"
                                       "RAIN_THIESSEN\nHTP\nOLMA olma.txt\nEVENT_MIN_Q ") +
                           cut_off + "\n");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::string s = summary();
        const std::vector<double> errors = values_after(s, "mass conservation error:");
        ASSERT_EQ(errors.size(), 2u) << s;
        EXPECT_NEAR(errors[0], 0.0, 1e-4) << s;
        EXPECT_NEAR(errors[1], 0.0, 1e-4) << s;
        const std::vector<double> rain = values_after(s, "volume of rainfall to overland:");
        ASSERT_EQ(rain.size(), 2u);
        EXPECT_NEAR(rain[0], 250.0, 0.05);
        EXPECT_NEAR(rain[1], 250.0, 0.05);
        // Event two starts from what event one left on the ground.
        const std::vector<double> initial = values_after(s, "initial volume of overland flow:");
        const std::vector<double> left = values_after(s, "volume remaining on surface:");
        ASSERT_EQ(initial.size(), 2u);
        EXPECT_EQ(initial[0], 0.0);
        EXPECT_GT(initial[1], 1.0);
        EXPECT_NEAR(initial[1], left[0], 0.05);
        EXPECT_NE(s.find("Event began on 06/01/2020 at 12:00\n"), std::string::npos);
        EXPECT_NE(s.find("Event began on 06/01/2020 at 15:00\n"), std::string::npos);
        EXPECT_EQ(read_file(dir.file("exchange/olma.txt")), "999 999\n");
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
    const auto r = run("TOT_TIME 120\nTIMESTEP 300\nHYD_FREQ 5\nPRECIP_FILE rain.dat\n");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string s = summary();
    EXPECT_NE(s.find("With raingage data using inverse-distance squared interpolation.\n"), std::string::npos);
    const std::vector<double> rain = values_after(s, "volume of rainfall to overland:");
    ASSERT_EQ(rain.size(), 1u) << s;
    EXPECT_NEAR(rain[0], 250.0, 0.05);
    const std::vector<double> errors = values_after(s, "mass conservation error:");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NEAR(errors[0], 0.0, 1e-4) << s;
}

TEST_F(RainEventRuns, WaterLeavingAtAnOverlandBoundaryIsInTheBalance) {
    dir.write("ids.idx", grid_text(3, 3, 100.0, "0 1 0\n1 1 2\n0 1 0\n"));
    const auto row = [](int id, const std::string& values) {
        std::string desc = "cells";
        desc.resize(80, ' ');
        char idf[8];
        std::snprintf(idf, sizeof idf, "%6d", id);
        return std::string(idf) + desc + values + "\n";
    };
    dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP ids.idx \"Land\"\nOVERLAND_BOUNDARY \"Land\"\n"
                            "NUM_IDS 2\nID DESCRIPTION TYPE VALUE\n" +
                                row(1, "0 0") + row(2, "1 0.01"));
    const auto r = run("TOT_TIME 60\nTIMESTEP 10\nHYD_FREQ 5\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 20\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\nMAPPING_TABLE tables.cmt\nOV_BOUNDARY\n");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string s = summary();
    const double rain = values_after(s, "volume of rainfall to overland:").at(0);
    const double out = values_after(s, "volume of discharge:").at(0);
    const double left = values_after(s, "volume remaining on surface:").at(0);
    EXPECT_NEAR(rain, 500.0, 0.05);
    EXPECT_GT(rain - out - left, 10.0);  // what the east edge let out
    EXPECT_NEAR(values_after(s, "mass conservation error:").at(0), 0.0, 1e-4) << s;
}

TEST_F(RainEventRuns, UniformRainShorterThanAStepStillFalls) {
    const auto r = run("TOT_TIME 30\nTIMESTEP 300\nHYD_FREQ 5\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 4\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\n");
    ASSERT_EQ(r.status, 0) << r.output;
    // 30 mm/h for 4 minutes on 50000 m2.
    EXPECT_NEAR(values_after(summary(), "volume of rainfall to overland:").at(0), 100.0, 0.05);
}

TEST_F(RainEventRuns, EventBetweenTwoStepsIsRefusedBeforeTheRunStarts) {
    dir.write("rain.dat",
              "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 150 150\nRATES 2020 6 1 12 0 20.0\nRATES 2020 6 1 12 10 0.0\n"
              "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 150 150\nRATES 2020 6 1 15 2 30.0\nRATES 2020 6 1 15 10 0.0\n");
    const auto r = run("TOT_TIME 300\nTIMESTEP 300\nHYD_FREQ 5\nPRECIP_FILE rain.dat\nHTP\nOLMA olma.txt\n");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("In precipitation file rain.dat, event 2 (line 11): the event begins at 6/1/2020 "
                            "15:02, which is not a whole number of time steps (300.00 s)"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("Running...."), std::string::npos);
}

}  // namespace
