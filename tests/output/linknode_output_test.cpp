// Link/node dataset blocks of a lake, a structure and a channel link in each
// mode.
#include <gtest/gtest.h>

#include <string>

#include "channel/channel_network.hpp"
#include "output/linknode_output.hpp"
#include "output/output_steps.hpp"
#include "support/stream_capture.hpp"

namespace {

using namespace kesta;
using kesta_test::RoutedNetwork;
using kesta_test::written_by;

TEST_F(RoutedNetwork, BlocksShowLakesByTheirLevelStructuresByNodeOneAndChannelsByNode) {
    set_up_lake_weir();  // link 1 lake at 101 m, link 2 weir, link 3 channel of 9 nodes
    for (int j = 1; j <= 9; ++j) m->qp[j][3] = 0.5 * j;
    m->qp[1][2] = 0.25;
    m->yp[2][3] = m->bel[2][3] + 0.4;
    ex_section(*m, 2);
    linknode_source s;
    s.nlinks = 3;
    s.ltype = &m->ltype;
    s.nodes = &m->nx;
    s.lake_of_link = &m->ldex;
    s.lake_values = &m->lake_elev;
    s.values = &m->qp;
    const std::string flow = written_by([&](std::FILE* fp) { write_linknode_ts(fp, s, 7, linknode_plain); });
    EXPECT_EQ(flow, "TS    7\n0  -999.999   \n-2  0.25000   \n9   1  0.50000   1  1.00000   1  1.50000   "
                    "1  2.00000   1  2.50000   1  3.00000   1  3.50000   1  4.00000   1  4.50000   \n\n");
    s.second = &m->area;
    const std::string speed = written_by([&](std::FILE* fp) { write_linknode_ts(fp, s, 0, linknode_ratio); });
    EXPECT_NE(speed.find("-1 101.00000   \n0  -999.999   \n9   1  0.00000   1  "), std::string::npos) << speed;
    // Node 2 holds water: its velocity is its discharge over its area.
    EXPECT_NE(speed.find(format_text("1  %6.5lf   1  0.00000", 1.0 / m->area[2][3])), std::string::npos) << speed;
}

}  // namespace
