// The channel hotstart: the water surfaces written at the end of a run are
// the starting state of the next, with flow areas that hold the water.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "channel/channel_fixture.hpp"
#include "channel/lake_valley.hpp"
#include "support/run_program.hpp"
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

// The valley with its lake walled in (sides and dam out of its reach) and
// its search list going on up the stream of link 1, the lake starting at
// `level`: at 111.5 m it overtakes the whole link, at 109.5 m it holds the
// link's last node. The water surfaces of the nodes at the end of the first
// run are the start of the second, and what the lake holds starts dry.
TEST(ChannelHotstartRuns, ALinkUnderALakeIsWrittenDryAndTheFileReadsBack) {
    namespace lv = kesta_test::lake_valley;
    struct levels {
        std::vector<double> yp, bel;
        std::vector<int> routed;
    };
    static levels* seen = nullptr;
    static const char* at_step = nullptr;
    const auto look = [](model_state& m, const char* step) {
        if (std::string(step) != at_step) return true;
        *seen = levels();
        for (int l : {1, 4}) {
            seen->routed.push_back(m.nx[l]);
            for (int j = 1; j <= m.link_nodes[l]; ++j) {
                seen->yp.push_back(m.yp[j][l]);
                seen->bel.push_back(m.bel[j][l]);
            }
        }
        return true;
    };
    for (const char* level : {"111.5", "109.5"}) {
        SCOPED_TRACE(level);
        kesta_test::temp_dir dir(true);
        std::filesystem::create_directory(dir.path() / "maps");
        dir.write("mask.asc", lv::grid([](int, int) { return 1.0; }, "%.0f "));
        dir.write("elev.asc", lv::grid(
                                  [](int r, int c) {
                                      const bool lake = (r == 4 || r == 5) && c >= 3 && c <= 5;
                                      if (r == 6 && c >= 3 && c <= 5) return 113.0;
                                      return lv::ground(r, c) + (r <= 5 && c != 4 && !lake ? 5.0 : 0.0);
                                  },
                                  "%.3f "));
        std::string chan = kesta_test::replaced(lv::channel_file(), "INITWSE 107.0\nMAXWSE 109.0\nNUMPTS 6\n",
                                                std::string("INITWSE ") + level + "\nMAXWSE 113.0\nNUMPTS 9\n");
        chan = kesta_test::replaced(chan, "5 3 5 5\n", "5 3 5 5 3 4 2 4 1 4\n");
        dir.write("net.chan", kesta_test::replaced(chan, "CREST_LOW_ELEV 107.1", "CREST_LOW_ELEV 111.4"));
        dir.write("net.gst", lv::grid_stream_file());
        dir.write("one.prj", lv::project("EXPLICIT") + "WRITE_CHAN_HOTSTART end\n");
        dir.write("two.prj", lv::project("EXPLICIT") + "READ_CHAN_HOTSTART end.dht\n");

        levels end, start;
        seen = &end;
        at_step = "close_output_files";
        const kesta_test::model_run one = kesta_test::run_in_process("one.prj", look);
        ASSERT_EQ(one.rc, 0) << one.out;
        ASSERT_EQ(end.routed[0], std::string(level) == "111.5" ? 0 : 2);  // the lake holds them to the end
        seen = &start;
        at_step = "trigger_analyzers(init)";
        const kesta_test::model_run two = kesta_test::run_in_process("two.prj", look);
        seen = nullptr;
        EXPECT_EQ(two.rc, 0) << two.out;
        EXPECT_EQ(two.out.find("below its bed"), std::string::npos) << two.out;
        if (two.rc != 0 || start.yp.size() != end.yp.size()) continue;
        for (std::size_t k = 0; k < end.yp.size(); ++k) {
            const bool held = k < 3 && static_cast<int>(k) >= end.routed[0];
            EXPECT_NEAR(start.yp[k], held ? end.bel[k] : end.yp[k], 5e-7) << "node " << k;
        }
    }
}

}  // namespace
