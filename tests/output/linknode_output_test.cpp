// Link/node dataset blocks of a lake, a structure and a channel link in each
// mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "channel/channel_network.hpp"
#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/warnings.hpp"
#include "output/linknode_output.hpp"
#include "output/output_objects.hpp"
#include "output/output_steps.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using namespace kesta;
using kesta_test::RoutedNetwork;
using kesta_test::read_file;
using kesta_test::temp_dir;
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

// A constituent dataset over a lake, a weir and a channel of 3 nodes whose
// last node a lake holds now: the mass file shows each node's and the
// lake's mass over the factor, the concentration file a node's mass over
// its volume (0 for a dry node and for the node the lake holds), block
// after block.
TEST(LinknodeOutput, WritesBlocksOfAFlatOrAPerNodeSource) {
    temp_dir dir;
    vec1<int> ltype(3), nodes(3), declared(3), lake_of_link(3);
    ltype[1] = kLinkLake;
    ltype[2] = kLinkStructure;
    ltype[3] = kLinkTrapezoid;
    nodes[3] = 2;  // the lake holds node 3
    declared[3] = 3;
    lake_of_link[1] = 1;
    linknode_output::network net;
    net.nlinks = 3;
    net.nlakes = 1;
    net.stride = 4;
    net.ltype = &ltype;
    net.nodes = &nodes;
    net.dataset_nodes = &declared;
    net.lake_of_link = &lake_of_link;
    double mass[17] = {0.0};  // rows 0..16: nodes at 3 * 4 + j, lake 1 at 16
    double volume[17] = {0.0};
    mass[13] = 50.0;
    volume[13] = 10.0;
    mass[14] = 2.0;  // a node with too little water to show a concentration
    volume[14] = 1e-9;
    mass[15] = 7.0;
    volume[15] = 1.0;
    mass[16] = 900.0;

    // The files are outputs of a run, held in its registry.
    kesta::model_state m;
    linknode_output out;
    out.init_flat(net, mass, mass + 15);
    out.mass_and_conc = true;
    out.volumes = volume;
    ASSERT_TRUE(out.open_mass_conc(m, "tracer", "tracer dataset", dir.path().string() + "/", "tracer", ".chan",
                                   1000.0));
    out.write_step();
    mass[13] = 25.0;
    out.write_step();
    EXPECT_EQ(out.steps(), 2);
    EXPECT_DOUBLE_EQ(out.lake_values()[1], 0.9);

    const std::string header = "NUM_LINKS     3\nTIME_STEP     15\nNUM_TS        15\n"
                               "START_TIME     0  0    0  0  0  0\n";
    EXPECT_EQ(read_file(dir.file("tracer.chan.mass")),
              "KESTA_LINKNODE_MASS\n" + header +
                  "TS    0\n-1 0.90000   \n-2  0.00000   \n3   1  0.05000   1  0.00200   0  -999.999   \n\n"
                  "TS    1\n-1 0.90000   \n-2  0.00000   \n3   1  0.02500   1  0.00200   0  -999.999   \n\n");
    EXPECT_EQ(read_file(dir.file("tracer.chan.conc")),
              "KESTA_LINKNODE_CONCENTRATION\n" + header +
                  "TS    0\n0  -999.999   \n-2  0.00000   \n3   1  5.00000   1  0.00000   0  -999.999   \n\n"
                  "TS    1\n0  -999.999   \n-2  0.00000   \n3   1  2.50000   1  0.00000   0  -999.999   \n\n");

    // A per-node source is multiplied by the factor; the node the lake
    // holds shows 0 whatever the table holds there.
    node_table<double> per_node(4, 3);
    per_node[1][3] = 0.5;
    per_node[3][3] = 9.0;
    linknode_output nodes_out;
    nodes_out.init_nodes(net, per_node, nullptr);
    EXPECT_EQ(nodes_out.mode(), 2);
    ASSERT_TRUE(nodes_out.open_mass_conc(m, "species", "species dataset", dir.path().string() + "/", "species",
                                         ".chan", 1000.0));
    nodes_out.write_step();
    EXPECT_DOUBLE_EQ(nodes_out.output()[1][3], 500.0);
    EXPECT_DOUBLE_EQ(nodes_out.output()[3][3], 0.0);

    // A file that cannot be created is named in a warning, and so is every
    // block that has nowhere to go.
    forget_warnings();
    linknode_output lost;
    lost.init_flat(net, mass, nullptr);
    EXPECT_FALSE(lost.open_mass_conc(m, "lost tracer", "tracer dataset", dir.path().string() + "/no such folder/",
                                     "tracer", ".chan", 1.0));
    lost.write_step();
    EXPECT_EQ(lost.steps(), 1);
    const warning_list w = take_warnings();
    ASSERT_EQ(w.listed.size(), 2u);
    EXPECT_NE(w.listed[0].text.find("unable to open file " + dir.path().string() + "/no such folder/tracer.chan"),
              std::string::npos);
    EXPECT_EQ(w.listed[1].text, "Error writing to link/node file...");
}

// A block with a value that is not finite is not written: the run stops
// naming the quantity, the node and the file, and the blocks before it
// stand.
TEST_F(RoutedNetwork, ABlockWithAValueThatIsNotFiniteIsNotWritten) {
    set_up_lake_weir();  // link 1 lake, link 2 weir, link 3 channel of 9 nodes
    temp_dir dir;
    const std::string path = dir.file("flow.lnd");
    kesta_test::open_output(*m, m->chan_discharge_fp, path);
    m->chan_discharge_given = 1;
    m->chan_routing = 1;
    g_error_record.clear_for_run();
    write_channel_datasets(*m);
    EXPECT_EQ(g_error_record.stop, 0);
    m->qp[4][3] = std::nan("");
    testing::internal::CaptureStdout();
    write_channel_datasets(*m);
    const std::string says = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(says.find("Error: the discharge at node 4 of link 3 is not a finite number (not a number)"),
              std::string::npos)
        << says;
    std::fflush(m->chan_discharge_fp.get());
    const std::string written = read_file(path);
    g_error_record.clear_for_run();
    EXPECT_EQ(written.find("TS"), written.rfind("TS")) << written;  // one block
    EXPECT_EQ(written.find("nan"), std::string::npos) << written;

    // A constituent dataset of the same network.
    vec1<double> flat(40);
    flat[3 * 10 + 2] = std::numeric_limits<double>::infinity();
    linknode_output::network net;
    net.nlinks = 3;
    net.nlakes = 1;
    net.stride = 10;
    net.ltype = &m->ltype;
    net.nodes = &m->nx;
    net.lake_of_link = &m->ldex;
    linknode_output out;
    out.init_flat(net, flat.data(), nullptr);
    ASSERT_TRUE(out.open_mass_conc(*m, "tracer", "tracer dataset", dir.path().string() + "/", "tracer", ".chan", 1.0));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(out.write_step(*m));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.steps(), 0);
    EXPECT_EQ(g_error_record.stop, 1);
    g_error_record.clear_for_run();
    EXPECT_EQ(read_file(dir.file("tracer.chan")).find("\nTS "), std::string::npos);
}

}  // namespace
