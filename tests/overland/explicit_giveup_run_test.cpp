// The built program on two 5 m cells holding 1 m of water, 30 s steps: the
// explicit scheme gives up dividing its sub-step. The outlet lets out the
// water there is, not more, and the summary counts the give-up even in a
// QUIET run.
#include <gtest/gtest.h>

#include <string>

#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_text;
using kesta_test::has;

TEST(ExplicitGiveUpRun, OutletLetsOutOnlyTheWaterThereIsAndTheSummaryWarns) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", grid_text(1, 2, 5.0, "1 1\n"));
    dir.write("elev.asc", grid_text(1, 2, 5.0, "100 99.5\n"));
    dir.write("depth.asc", grid_text(1, 2, 5.0, "1 1\n"));
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 5\nROWS 1\nCOLS 2\n"
                       "TOT_TIME 10\nTIMESTEP 30\nOVERTYPE EXPLICIT\nOUTROW 1\nOUTCOL 2\nOUTSLOPE 0.1\n"
                       "MANNING_N 0.01\nOV_INIT_DEPTH depth.asc\nPRECIP_UNIF\nRAIN_INTENSITY 0.001\n"
                       "RAIN_DURATION 1\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nHYD_FREQ 1\nMAP_FREQ 1000\n"
                       "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nQUIET\n");
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string summary = kesta_test::read_file(dir.file("summ.out"));
    EXPECT_NEAR(kesta_test::value_after(summary, "volume of discharge:"), 50.0, 0.05) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "volume remaining on surface:"), 0.0, 0.05) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "mass conservation error:"), 0.0, 1e-6) << summary;
    EXPECT_TRUE(has(summary, "-The overland routing could not shorten its sub-step enough in 1 time step(s)\n"))
        << summary;
    EXPECT_FALSE(has(summary, "No Warnings.")) << summary;
}

}  // namespace
