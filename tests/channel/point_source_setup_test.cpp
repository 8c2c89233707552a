// The downstream head boundary of the channel network, and the cells a
// channel runs through, whose soil erosion spares the parent soil.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "channel/channel_steps.hpp"
#include "model/model_state.hpp"
#include "support/one_based.hpp"

namespace {

TEST(ChanPointValue, OutletNodeTakesTheBoundaryDepth) {
    kesta::model_state m;
    m.nlinks = 2;
    m.link_nodes = kesta_test::one_based({4, 3});
    m.yp = kesta::node_table<double>(4, 2);
    m.bel = kesta::node_table<double>(4, 2);
    m.chan_depth = kesta::node_table<double>(4, 2);
    m.bel[3][2] = 12.0;
    m.bound_depth = 1.5;
    kesta::set_chan_point_value(m);
    EXPECT_DOUBLE_EQ(m.yp[3][2], 13.5);
    EXPECT_DOUBLE_EQ(m.chan_depth[3][2], 1.5);
    EXPECT_DOUBLE_EQ(m.yp[4][1], 0.0);
}

TEST(ChanPointSources, EveryCellOfTheGridStreamFileIsAChannelCellForErosion) {
    kesta::model_state m;
    m.ov_sed = std::make_unique<kesta::sed_record>();
    m.ov_sed->channel_cells = kesta::vec1<int>(6);
    m.stream_cell_given = 1;
    m.nstreamcells = 2;
    m.gst_ncellsingrid = kesta_test::one_based({1, 2});
    m.gst_gnum = kesta::mat2<int>(2, 2);
    m.gst_gnum[1][1] = 2;
    m.gst_gnum[2][1] = 5;
    m.gst_gnum[2][2] = 6;
    kesta::setup_chan_point_sources(m);
    const kesta::vec1<int>& c = m.ov_sed->channel_cells;
    EXPECT_EQ(std::vector<int>(c.data() + 1, c.data() + 7), std::vector<int>({0, 1, 0, 0, 1, 1}));
}

}  // namespace
