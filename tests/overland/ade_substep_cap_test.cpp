// The ADE sub-steps of one time step are bounded: a step that would need
// more than a million of them stops the run instead of running on.
#include <gtest/gtest.h>

#include <string>

#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "overland/overland_route.hpp"
#include "overland_grid.hpp"

namespace {

using kesta::g_error_record;

// A 50 m deep cell 10 m above its neighbour loses about 27 times its depth
// a second, so only sub-steps under 0.02 s pass the acceptance test: a
// day-long step would need more than four million of them.
TEST(AdeSubStepCap, AStepThatWouldNeedTooManySubStepsStopsTheRun) {
    kesta::model_state m;
    kesta_test::make_strip(m, 2, 10.0, 0.0, 86400.0);
    m.overtype = 2;
    m.outslope = 1e-4;
    m.h[1] = 50.0;
    m.h[2] = 0.1;
    testing::internal::CaptureStdout();
    const double outflow = kesta::ade_overland_route(m, 86400.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(outflow, -1.0);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("The ADE overland routing would need more than 1000000 sub-steps of"), std::string::npos)
        << out;
    EXPECT_NE(out.find("the time step of 86400 s.\n"), std::string::npos) << out;

    // The same cell over a 10 s step finishes in a few hundred sub-steps.
    kesta::model_state short_step;
    kesta_test::make_strip(short_step, 2, 10.0, 0.0, 10.0);
    short_step.overtype = 2;
    short_step.outslope = 1e-4;
    short_step.h[1] = 50.0;
    short_step.h[2] = 0.1;
    testing::internal::CaptureStdout();
    EXPECT_GE(kesta::ade_overland_route(short_step, 10.0), 0.0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.stop, 0);
    EXPECT_GT(short_step.ov_substeps_last, 100);
    g_error_record = kesta::error_record();
}

}  // namespace
