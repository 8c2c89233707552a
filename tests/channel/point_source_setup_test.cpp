// The downstream head boundary of the channel network.
#include <gtest/gtest.h>

#include "channel/channel_steps.hpp"
#include "model/model_state.hpp"
#include "support/one_based.hpp"

namespace {

TEST(ChanPointValue, OutletNodeTakesTheBoundaryDepth) {
    kesta::model_state m;
    m.nlinks = 2;
    m.link_nodes = kesta_test::one_based({4, 3});
    m.yp = kesta::mat2<double>(4, 2);
    m.bel = kesta::mat2<double>(4, 2);
    m.chan_depth = kesta::mat2<double>(4, 2);
    m.bel[3][2] = 12.0;
    m.bound_depth = 1.5;
    kesta::set_chan_point_value(m);
    EXPECT_DOUBLE_EQ(m.yp[3][2], 13.5);
    EXPECT_DOUBLE_EQ(m.chan_depth[3][2], 1.5);
    EXPECT_DOUBLE_EQ(m.yp[4][1], 0.0);
}

}  // namespace
