// The channel hotstart: the water surfaces written at the end of a run are
// the starting state of the next, with flow areas that hold the water.
#include <gtest/gtest.h>

#include <string>

#include "channel/channel_fixture.hpp"
#include "support/test_outputs.hpp"

namespace {

using namespace kesta;
using kesta_test::ChannelNetwork;

TEST_F(ChannelNetwork, HotstartRoundTripsThroughTheWrittenFiles) {
    ASSERT_TRUE(set_up_ok());
    m->yp[1][1] = m->bel[1][1] + 0.5;
    m->qp[1][1] = 0.7;
    for (int j = 1; j <= 3; ++j) {
        m->yp[j][4] = m->bel[j][4] + 0.1 * j;
        m->qp[j][4] = 1.0 + j;
    }
    m->chan_hotstart_write = 1;
    std::string depth_name = "end.dht", discharge_name = "end.qht";
    kesta_test::open_output(*m, m->write_chan_hotstart_depth_fp, depth_name);
    kesta_test::open_output(*m, m->write_chan_hotstart_discharge_fp, discharge_name);
    write_chan_hotstart(*m);
    kesta::close_output(*m, m->write_chan_hotstart_depth_fp);
    kesta::close_output(*m, m->write_chan_hotstart_discharge_fp);
    // The lake and the structure carry no hotstart lines.
    EXPECT_EQ(kesta_test::read_file("end.dht"),
              "1 1 10.300000 \n1 4 9.000000 \n2 4 8.900000 \n3 4 8.800000 \n");
    EXPECT_EQ(kesta_test::read_file("end.qht"), "1 1 0.700000\n1 4 2.000000\n2 4 3.000000\n3 4 4.000000\n");

    const std::string written = dir.file("end.dht");
    ASSERT_TRUE(set_up_ok([&](model_state& s) {
        s.chan_hotstart_read = 1;
        s.chan_hotstart_depth_in = written;
        s.read_chan_hotstart_depth_fp = open(written);
    }));
    EXPECT_NEAR(m->yp[1][1], 10.3, 1e-9);
    EXPECT_NEAR(m->chan_depth[1][1], 0.5, 1e-9);
    EXPECT_NEAR(m->area[1][1], 1.25, 1e-9);        // trapezoid b = 2, z = 1
    EXPECT_NEAR(m->area[2][4], 1.5 * 0.2 * 0.2, 1e-9);  // the V between the surveyed ones
    EXPECT_NEAR(m->topw[3][4], 4.0 * 0.3, 1e-9);
}

struct hotstart_case {
    const char* what;
    const char* text;
    bool stops;
    const char* message;
};

const hotstart_case kHotstarts[] = {
    {"below the bed, with an area", "1 1 9.0 55.0\n1 4 8.9\n2 4 8.7\n3 4 8.5\n", false,
     "the water surface 9.000000 of node 1, link 1 lies below its bed 9.800000; the node starts dry"},
    {"another node's line", "1 1 9.9\n2 4 9.0\n", true,
     "line 2: the line is for node 2 of link 4, where node 1 of link 4 was expected"},
    {"too short", "1 1 9.9\n1 4 9.0\n", true, "line 3: the file ends before node 2 of link 4"},
    {"no water surface", "1 1\n", true, "line 1: \"1 1\" does not read as node, link and water surface"},
};

TEST_F(ChannelNetwork, HotstartLinesMustMatchTheNetwork) {
    for (const hotstart_case& c : kHotstarts) {
        const std::string file = dir.write("start.dht", c.text);
        const std::string out = set_up([&](model_state& s) {
            s.chan_hotstart_read = 1;
            s.chan_hotstart_depth_in = file;
            s.read_chan_hotstart_depth_fp = open(file);
        });
        EXPECT_EQ(stopped(), c.stops) << c.what;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.what << "\n" << out;
        if (c.stops) continue;
        EXPECT_DOUBLE_EQ(m->yp[1][1], m->bel[1][1]);
        EXPECT_DOUBLE_EQ(m->area[1][1], 0.0);  // from the level, not the file
    }
}

}  // namespace
