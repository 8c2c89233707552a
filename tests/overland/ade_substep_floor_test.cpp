// The ADE sub-steps halve down to 0.001 s, however long the time step: a
// long step whose grid needs sub-steps of a few milliseconds runs, and a
// grid that needs less than 0.001 s stops the run with advice.
#include <gtest/gtest.h>

#include <string>

#include "overland/overland_route.hpp"
#include "overland_grid.hpp"

namespace {

using kesta::g_error_record;

// A 50 m deep cell 10 m above its neighbour, in 10 m cells: 7200 / 2^19 s
// sub-steps change it by more than half its depth, 7200 / 2^20 s (0.0069 s,
// below 7200 s / 1e6) sub-steps are accepted.
TEST(AdeSubStepFloor, ALongStepHalvesBelowAMillionthOfItself) {
    kesta::model_state m;
    kesta_test::make_strip(m, 2, 10.0, 0.0, 7200.0);
    m.overtype = 2;
    m.h[1] = 50.0;
    m.h[2] = 0.1;
    const std::string out = kesta_test::printed_by([&] { EXPECT_GE(kesta::ade_overland_route(m, 7200.0), 0.0); });
    EXPECT_EQ(g_error_record.stop, 0) << out;
    EXPECT_EQ(m.ov_substeps_last, 1 << 20);
    EXPECT_NEAR(m.h[1] + m.h[2], 50.1, 1e-9);
}

// One 1 m deep cell 100 m above its 1 m neighbour with n = 0.001 would lose
// ten times its depth in 0.001 s, in "ade" and in "ade-pc" alike.
TEST(AdeSubStepFloor, AGridThatNeedsLessThanAMillisecondStopsTheRunWithAdvice) {
    for (int overtype : {2, 3}) {
        kesta::model_state m;
        kesta_test::plane p;
        p.cols = 2;
        p.dx = 1.0;
        p.drop_x = 100.0;
        p.n = 0.001;
        kesta_test::make_plane(m, p, 1.0);
        m.chan_routing = 1;
        m.overtype = overtype;
        m.h[1] = 1.0;
        double volume = 0.0;
        const std::string out = kesta_test::printed_by([&] { volume = kesta::ade_overland_route(m, 1.0); });
        EXPECT_EQ(volume, -1.0) << overtype;
        EXPECT_EQ(g_error_record.stop, 1) << overtype;
        EXPECT_TRUE(kesta_test::has(out, "less than 1/1000 of a second\n")) << out;
        EXPECT_TRUE(kesta_test::has(out, "use OVERTYPE EXPLICIT, larger cells or a larger Manning's n")) << out;
        g_error_record = kesta::error_record();
    }
}

}  // namespace
