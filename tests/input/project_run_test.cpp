// The built program loads a small project and steps it to its end.
#include <gtest/gtest.h>

#include <string>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_text;

std::string project(int outrow) {
    return "KESTAPROJECT\n"
           "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
           "GRIDSIZE 30\nROWS 3\nCOLS 3\nTOT_TIME 30\nTIMESTEP 10\n"
           "OUTROW " + std::to_string(outrow) + "\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
           "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\n"
           "START_DATE 2020 6 1\nSTART_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";
}

class ProjectRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(30.0));
        dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    }
    kesta_test::temp_dir dir;
};

TEST_F(ProjectRun, SmallUniformRainProjectLoadsAndRunsToItsEnd) {
    dir.write("project.prj", project(3));
    const auto r = kesta_test::run_kesta("project.prj", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("number of grid cells in watershed: 5\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("outlet is in grid cell: 5\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Running....\n"), std::string::npos) << r.output;
    EXPECT_EQ(kesta_test::read_file(dir.file("maskmap")).substr(0, 6), "north:");
}

TEST_F(ProjectRun, OutletOutsideTheWatershedStopsTheRun) {
    dir.write("project.prj", project(1) + "OUTCOL 1\n");
    const auto r = kesta_test::run_kesta("project.prj", dir.path().string());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("inside the watershed mask."), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Running....\n"), std::string::npos) << r.output;
}

}  // namespace
