// The ADE sub-steps of one time step are bounded: a step that would need
// more than a million of them stops the run instead of running on.
#include <gtest/gtest.h>

#include <string>

#include "overland/overland_route.hpp"
#include "overland_grid.hpp"

namespace {

using kesta::g_error_record;

// A 50 m deep cell 10 m above its neighbour loses about 27 times its depth
// a second, so only sub-steps under 0.02 s pass the acceptance test: a
// day-long step would need more than four million of them, a 10 s step a
// few hundred.
TEST(AdeSubStepCap, AStepThatWouldNeedTooManySubStepsStopsTheRun) {
    kesta::model_state day, short_step;
    std::string out;
    const auto route = [&out](kesta::model_state& m, double dt) {
        kesta_test::make_strip(m, 2, 10.0, 0.0, dt);
        m.overtype = 2;
        m.outslope = 1e-4;
        m.h[1] = 50.0;
        m.h[2] = 0.1;
        double outflow = 0.0;
        out = kesta_test::printed_by([&] { outflow = kesta::ade_overland_route(m, dt); });
        return outflow;
    };
    EXPECT_EQ(route(day, 86400.0), -1.0);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(kesta_test::has(out, "The ADE overland routing would need more than 1000000 sub-steps of")) << out;
    EXPECT_TRUE(kesta_test::has(out, "the time step of 86400 s.\n")) << out;

    EXPECT_GE(route(short_step, 10.0), 0.0);
    EXPECT_EQ(g_error_record.stop, 0);
    EXPECT_GT(short_step.ov_substeps_last, 100);
    g_error_record = kesta::error_record();
}

}  // namespace
