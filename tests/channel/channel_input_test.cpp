// The channel network read from its files: every pass of the channel file,
// the grid-stream file, the set-up order and the refusals of a network that
// cannot be routed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channel/channel_fixture.hpp"
#include "channel/link_types.hpp"
#include "core/warnings.hpp"

namespace {

using namespace kesta;
using kesta_test::ChannelNetwork;
using kesta_test::replaced;

TEST_F(ChannelNetwork, ReadsTheNetworkAndWritesItsShortLinksAndBadThalwegs) {
    ASSERT_TRUE(set_up_ok());
    const model_state& s = *m;
    EXPECT_EQ(s.nlinks, 4);
    EXPECT_DOUBLE_EQ(s.theta, 0.8);
    const int types[] = {0, kLinkTrapezoid, kLinkLake, kLinkStructure, kLinkBreakpoint};
    const int nodes[] = {0, 1, 1, 2, 3};
    for (int l = 1; l <= 4; ++l) {
        EXPECT_EQ(s.ltype[l], types[l]) << l;
        EXPECT_EQ(s.nx[l], nodes[l]) << l;
    }
    EXPECT_EQ(s.ldex[2], 1);  // lake number
    EXPECT_EQ(s.ndep[4], 2);
    EXPECT_EQ(s.uslinks[4][2], 3);
    EXPECT_EQ(s.dslink[2], 3);
    // Open channels take segment midpoints; a structure keeps its nodes.
    EXPECT_DOUBLE_EQ(s.bel[1][1], 9.8);
    EXPECT_DOUBLE_EQ(s.bel[3][4], 8.5);
    EXPECT_DOUBLE_EQ(s.bel[2][3], 9.1);
    EXPECT_DOUBLE_EQ(s.yp[3][4], 8.5);
    // The XSEC of node 2 gives the whole link its trapezoid.
    EXPECT_DOUBLE_EQ(s.bottom[1][1], 2.0);
    EXPECT_DOUBLE_EQ(s.strick[4], 25.0);

    ASSERT_EQ(s.struct_elements.size(), 3u);
    EXPECT_EQ(s.struct_links[3].first, 1);
    EXPECT_EQ(s.struct_links[3].last, 2);
    EXPECT_EQ(s.struct_elements[1].type, struct_weir);  // "weir2" begins with weir
    EXPECT_DOUBLE_EQ(s.struct_elements[1].coeff_forward, 1.7);
    EXPECT_EQ(s.struct_elements[2].type, struct_round_culvert);
    EXPECT_DOUBLE_EQ(s.struct_elements[2].dim1, 1.0);
    EXPECT_DOUBLE_EQ(s.struct_elements[2].roughness, 0.013);

    // The lake's point source attaches to its first node; its NUMPTS list
    // stands ten pairs to a line, and the card after it is read as a card.
    ASSERT_NE(s.stream_pointsource[1][2], nullptr);
    EXPECT_EQ(s.stream_pointsource[1][2]->name, "spring");
    EXPECT_EQ(s.numpts[1], 11);
    EXPECT_EQ(s.lake_cells[1], 3);
    EXPECT_NEAR(s.lake_volume[1], (0.5 + 0.3 + 0.4) * 100.0, 1e-9);
    EXPECT_DOUBLE_EQ(s.lake_area[1], 300.0);
    const int flooded_first[][2] = {{1, 3}, {2, 4}, {3, 4}, {1, 2}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(s.lake_search_row[1][k + 1], flooded_first[k][0]) << k;
        EXPECT_EQ(s.lake_search_col[1][k + 1], flooded_first[k][1]) << k;
    }
    EXPECT_EQ(s.lake_num[3], 1);
    EXPECT_EQ(s.lake_num[2], 0);
    EXPECT_EQ(s.chan_lakes_on, 1);
    EXPECT_EQ(s.og_uslinks[3][1], 2);

    EXPECT_EQ(s.nstreamcells, 3);
    EXPECT_EQ(s.gst_ncellsingrid[3], 2);
    EXPECT_EQ(s.gst_gnum[3][2], 11);
    EXPECT_EQ(s.gst_node[3][2], 3);
    EXPECT_DOUBLE_EQ(s.gst_pct[3][1], 0.5);
    EXPECT_EQ(s.gst_row[2], 2);
    EXPECT_EQ(s.gst_col[2], 2);

    EXPECT_EQ(kesta_test::read_file("short_links.out"), "Links with 1 node:\n1\n2\n");  // link 2: the lake
    EXPECT_EQ(kesta_test::read_file("bad_thalweg.out"),
              "Problem    link    node    thalweg     cell    elev\n"
              "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n"
              "0        1       1   9.800000   1   9.500000\n");
}

// V sections: at depth d the one at node 1 holds d^2 m2 of water, the one at
// node 3 (twice as wide) 2 d^2; node 2, halfway, takes the mean, and node 4
// the table of node 3.
TEST_F(ChannelNetwork, BuildsBreakpointTablesAndConvertsWaterLevelsToSections) {
    ASSERT_TRUE(set_up_ok());
    model_state& s = *m;
    EXPECT_EQ(s.ntables, 3);
    const int t1 = s.table_num[1][4];
    EXPECT_EQ(s.table_num[2][4], t1 + 1);
    EXPECT_EQ(s.table_num[4][4], t1 + 2);
    EXPECT_NEAR(s.ht_spc[t1], 0.05, 1e-12);
    for (int k : {1, 7, 20}) {
        const double d = 0.05 * k;
        EXPECT_NEAR(s.xarea[k][t1], d * d, 1e-9) << k;
        EXPECT_NEAR(s.xtw[k][t1], 2.0 * d, 1e-9) << k;
        EXPECT_NEAR(s.xarea[k][t1 + 1], 1.5 * d * d, 1e-9) << k;
        EXPECT_NEAR(s.xarea[k][t1 + 2], 2.0 * d * d, 1e-9) << k;
    }
    s.yp[1][4] = s.bel[1][4] + 0.175;  // halfway between levels 3 and 4
    s.yp[3][4] = s.bel[3][4] + 0.02;   // below the first level
    ex_section(s, 2);
    EXPECT_NEAR(s.area[1][4], 0.5 * (0.15 * 0.15 + 0.2 * 0.2), 1e-9);
    EXPECT_NEAR(s.area[3][4], 2.0 * 0.0025 * std::pow(0.4, 5.0 / 3.0), 1e-9);
    EXPECT_EQ(s.xsec_above_table, 0);
}

// An erodible link keeps resampled pairs at every node and a table of each
// node's own: node 2 lies halfway between the V of node 1 and that of node 3.
TEST_F(ChannelNetwork, ErodibleBreakpointLinkGetsATablePerNode) {
    chan = replaced(chan, "BREAKPOINT\n", "BREAKPOINT_ERODE\n");
    ASSERT_TRUE(set_up_ok());
    model_state& s = *m;
    EXPECT_EQ(s.xsec_update_flag, 1);
    EXPECT_EQ(s.bplink[4], 1);
    EXPECT_EQ(s.ntables, 4);
    const int t2 = s.table_num[2][4];
    EXPECT_EQ(s.table_num[4][4], t2 + 2);
    EXPECT_DOUBLE_EQ(s.xbp_lnn[1][2][2], 1.5);
    EXPECT_DOUBLE_EQ(s.ybp_lnn[1][2][2], 8.8);
    EXPECT_DOUBLE_EQ(s.xbp_lnn[1][4][3], 4.0);
    EXPECT_NEAR(s.xarea[20][t2], 1.5, 1e-9);
    EXPECT_NEAR(s.xarea[20][t2 + 2], 2.0, 1e-9);
}

TEST_F(ChannelNetwork, SetsUpInItsFixedOrderAndWeighsTheChannelCells) {
    const std::string locations = dir.write("hyd.loc", "2\n4 3\n1 1\n");
    const std::string out = set_up([&](model_state& s) {
        s.sacramento_given = 1;
        s.in_hyd_location_given = 1;
        s.in_hyd_location = locations;
        s.in_hyd_location_fp = open(locations);
    });
    ASSERT_FALSE(stopped()) << out;
    const char* order[] = {"reading channel input data from file", "Channel input data:",
                           "Reading and interpolating break-point cross-sections .\n",
                           "Finished reading non-orthogonal channel information",
                           "Minimum Water Surface Elevation Lake #1: 8.00",
                           "Simulating Lake Losses for Lake #1, Bed Thickness: 0.5 m",
                           "Setting up the grid-stream data... done.", "Sac Weights: 1.000000"};
    std::size_t at = 0;
    for (const char* text : order) {
        const std::size_t found = out.find(text, at);
        ASSERT_NE(found, std::string::npos) << text << "\n" << out;
        at = found;
    }
    EXPECT_EQ(m->hyd_loc_count, 2);
    EXPECT_EQ(m->hlink[1], 4);
    EXPECT_EQ(m->hnode[1], 3);
    EXPECT_EQ(m->nsource_links, 2);
    // Channel lengths 10, 10, 5 and 5 m over three equally weighted cells.
    EXPECT_NEAR(m->gst_sac_weight[1][1], 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(m->gst_sac_weight[3][2], 1.0 / 6.0, 1e-12);
}

struct refusal {
    const char* what;
    bool in_gst;  // the edit is to the grid-stream file
    const char* from;
    const char* to;
    const char* message;
};

const refusal kRefusals[] = {
    {"no header", false, "KESTA_CHAN\n", "CHANNELS\n", "must begin with its header kesta_chan"},
    {"link 1 drains nowhere", false, "CONNECT 1 4 0", "CONNECT 1 0 0", "link 1 has downstream link 0"},
    {"listed by a link it does not drain into", false, "CONNECT 3 4 1 2", "CONNECT 3 4 2 2 1",
     "link 3 lists upstream link 1, whose downstream link is 4"},
    {"a loop", false, "CONNECT 1 4 0\nCONNECT 2 3 0\nCONNECT 3 4 1 2\nCONNECT 4 0 2 1 3",
     "CONNECT 1 2 1 2\nCONNECT 2 1 1 1\nCONNECT 3 4 0\nCONNECT 4 0 1 3", "never reaches the outlet"},
    {"untyped structure element", false, "STRUCTTYPE weir2", "STRUCTTYPE culvert_x", "names \"culvert_x\""},
    {"no Manning's n", false, "mannings_n 0.035\n", "", "open-channel link 1 has no MANNINGS_N card"},
    {"node beyond NODES", false, "NODE 3\nELEV 8.6", "NODE 5\nELEV 8.6", "gives a node of link 4 5"},
    {"too few X1 cards", false, "X1 4.0 9.6\n", "", "NPAIRS 3 of link 4, node 3 is followed by 2 X1"},
    {"a repeated lake cell", false, "\n3 4\n", "\n2 4\n", "cell (2, 4) stands twice in the NUMPTS list"},
    {"a lake cell off the grid", false, "\n3 4\n", "\n4 4\n", "lies outside the watershed mask"},
    {"structure without upstream link", false, "CONNECT 2 3 0\nCONNECT 3 4 1 2\nCONNECT 4 0 2 1 3",
     "CONNECT 2 4 0\nCONNECT 3 4 0\nCONNECT 4 0 3 1 2 3", "structure link 3 has no upstream link"},
    {"a header card missing", false, "MAXNODES 4\n", "", "ends at line 73 without: MAXNODES"},
    {"a CONNECT card missing", false, "CONNECT 2 3 0\n", "", "contains 4 links, and 3 CONNECT cards"},
    {"21 upstream links", false, "CONNECT 4 0 2 1 3", "CONNECT 4 0 21 1 3", "more than 20"},
    {"NUMSTRUCTS disagrees", false, "NUMSTRUCTS 2", "NUMSTRUCTS 3", "The sum of NUMSTRUCTS arguments is 3"},
    {"a Manning's n of 0", false, "mannings_n 0.035", "mannings_n 0", "Manning's Roughness is 0.000"},
    {"a decimal comma", false, "mannings_n 0.035", "mannings_n 0,035",
     "net.chan gives \"0,035\", with a comma (a comma separates "
     "values): write a decimal with a point (0.035)."},
    {"a node card before NODE", false, "NODES 2\n", "NODES 2\nELEV 3.0\n", "before any NODE card of link 1"},
    {"an undefined series", false, "\"spring\"", "\"well\"", "names time series \"well\""},
    {"a point source on a structure", false, "STRUCTTYPE weir2", "POINTSOURCE \"spring\"\nSTRUCTTYPE weir2",
     "belongs to structure link 3"},
    {"a point source past the routed nodes", false, "NODE 2\nELEV 9.6\nXSEC", "NODE 2\nELEV 9.6\nPOINTSOURCE "
     "\"spring\"\nXSEC", "stands under NODE 2, the last node of link 1"},
    {"a rating curve without series", false, "STRUCTTYPE weir2", "STRUCTTYPE rating_curve",
     "Incorrect usage of the RATING_CURVE card"},
    {"a flat section", false, "X1 1.0 9.0", "X1 1.0 10.0", "The interpolation distance [0.00000]"},
    {"a section of one pair", false, "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 10.0\nX1 1.0 9.0\nX1 2.0 10.0",
     "NPAIRS 1\nNUM_INTERP 20\nX1 0.0 10.0", "gives a pair count 1"},
    {"no levels", false, "NUM_INTERP 20\nX1 0.0 10.0", "NUM_INTERP 0\nX1 0.0 10.0",
     "gives an interpolation count 0"},
    {"a trapezoid of no width", false, "BOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0", "BOTTOM_WIDTH 0\nSIDE_SLOPE 0",
     "line 20: the section of link 1 (node 2) has BOTTOM_WIDTH 0 and SIDE_SLOPE 0"},
    {"a negative side slope", false, "SIDE_SLOPE 1.0", "SIDE_SLOPE -1", "gives a side slope of -1"},
    // Lengths and elevations no channel has, which would overflow the bed's volumes.
    {"a bottom width of no channel", false, "BOTTOM_WIDTH 2.0", "BOTTOM_WIDTH 1e308",
     "net.chan gives a bottom width of 1e+308 m; it must be at most 100000 m"},
    {"a node spacing of no link", false, "DX 10.0", "DX 1e308", "gives a node spacing of 1e+308 m"},
    {"a bed elevation beyond any ground", false, "ELEV 10.0", "ELEV 1e15",
     "net.chan gives the bed elevation 1e+15 m; it must lie from -100000 to 100000 m"},
    {"a section elevation beyond any ground", false, "X1 1.0 9.0", "X1 1.0 -2e5", "gives the elevation -200000 m"},
    {"a bed elevation just past the bound", false, "ELEV 10.0", "ELEV 100000.5",
     "net.chan gives the bed elevation 100000.5 m; it must lie from -100000 to 100000 m"},
    {"a bottom width just past the bound", false, "BOTTOM_WIDTH 2.0", "BOTTOM_WIDTH 100000.01",
     "gives a bottom width of 100000.01 m; it must be at most 100000 m"},
    {"a section wider than any channel", false, "X1 2.0 10.0", "X1 1e308 10.0",
     "gives the station 1e+308 m; it must lie within 100000 m of the section's first station, 0 m"},
    {"a culvert of no length", false, "LENGTH 8.0", "LENGTH 0",
     "line 46: culvert element 2 of link 3 has barrel LENGTH 0 m"},
    {"a culvert of no diameter", false, "DIAMETER 1.0", "DIAMETER 0", "has a diameter (WIDTH or DIAMETER card) of 0 m"},
    {"a sag weir opening downward", false, "STRUCTTYPE weir2\nCREST_LENGTH 5.0",
     "STRUCTTYPE sag_weir\nSTEEP_SLOPE 0.2\nSHALLOW_SLOPE 0.1\nCREST_LENGTH 5.0", "not above its STEEP_SLOPE 0.2"},
    {"no stream cells", true, "STREAMCELLS 3", "STREAMCELLS 0", "must be greater than 0"},
    {"a stream cell off the grid", true, "CELLIJ 3 3", "CELLIJ 4 3", "gives row 4; it must be between 1 and 3"},
    {"a stream node beyond the link", true, "LINKNODE 4 3 0.5", "LINKNODE 4 4 0.5", "gives a node of link 4 4"},
    // A share is a part of the cell's exchange: an 8.0 took eight times the cell's sediment.
    {"a share above 1", true, "LINKNODE 4 3 0.5", "LINKNODE 4 3 8.0",
     "card LINKNODE on line 12 of grid-stream file "},
    {"a share above 1, its value", true, "LINKNODE 4 3 0.5", "LINKNODE 4 3 8.0",
     "net.gst gives node 3 of link 4 the share 8 of the cell's exchange; a share lies from 0 to 1."},
    {"a negative share", true, "LINKNODE 4 3 0.5", "LINKNODE 4 3 -0.5", "the share -0.5 of the cell's exchange"},
    {"shares short of the whole", true, "LINKNODE 4 3 0.5", "LINKNODE 4 3 0.3",
     "net.gst, line 9: the LINKNODE shares of stream cell 3 add up to 0.8; the shares of a cell's exchange with its nodes "
     "must add up to 1 (within 0.02)"},
    {"shares beyond the whole", true, "LINKNODE 4 3 0.5", "LINKNODE 4 3 0.53", "stream cell 3 add up to 1.03"},
    {"entries short of NUMNODES", true, "NUMNODES 1\nLINKNODE 4 1 1.0\nCELLIJ 3 3\nNUMNODES 2",
     "NUMNODES 2\nLINKNODE 4 1 1.0\nCELLIJ 3 3\nNUMNODES 1", "stream cell 2 has 1 LINKNODE entries"},
    // Counts that would size tables beyond what they count.
    {"node counts beyond the LINKNODE lines", true, "NUMNODES 2", "NUMNODES 3", "the file holds 4 LINKNODE lines"},
    {"a node count beyond the network", true, "NUMNODES 2", "NUMNODES 2147483647",
     "gives stream cell 3 2147483647 nodes; the channel network has 7 nodes in all"},
    {"more links than CONNECT cards", false, "LINKS 4", "LINKS 2000000000",
     "contains 2000000000 links, and 4 CONNECT cards"},
    {"a pair count beyond the file", false, "NPAIRS 3\nNUM_INTERP 20\nX1 0.0 9.6", "NPAIRS 2000000\nNUM_INTERP 20\nX1 0.0 9.6",
     "gives a pair count 2000000; it must be between 2 and 6"},
    {"an element count beyond the file", false, "NUMSTRUCTS 2", "NUMSTRUCTS 2147483647",
     "gives an element count 2147483647"},
    {"too many levels", false, "NUM_INTERP 20\nX1 0.0 10.0", "NUM_INTERP 30001\nX1 0.0 10.0",
     "gives an interpolation count 30001; it must be between 1 and 30000"},
    {"a lake list longer than the grid", false, "NUMPTS 11", "NUMPTS 13",
     "gives a search-list length 13; it must be between 1 and 12"},
};

TEST_F(ChannelNetwork, RefusesNetworksThatCannotBeRouted) {
    for (const refusal& r : kRefusals) {
        chan = kesta_test::kChannelFile;
        gst = kesta_test::kGridStreamFile;
        std::string& text = r.in_gst ? gst : chan;
        text = replaced(text, r.from, r.to);
        const std::string out = set_up();
        EXPECT_TRUE(stopped()) << r.what;
        EXPECT_NE(out.find(r.message), std::string::npos) << r.what << "\n" << out;
    }
}

// The sand under an erodible bed lies from 0 to 1000 m deep, at the XSEC
// node of a trapezoid and at each node of a surveyed section; a link that
// is not erodible does not use the value.
TEST_F(ChannelNetwork, RefusesErodibleBedDepthsNoAlluviumHas) {
    const std::string xsec = "NODE 2\nELEV 9.6\nXSEC\r\n", survey = "NODE 3\nELEV 8.6\n";
    const struct {
        const char* type;  // of link 1 ("TRAPEZOID" as read) or, with ERODIBLE, link 4
        std::string edit;  // under `xsec`, or under `survey` when link 4 is erodible
        const char* message;  // nullptr: taken
    } cases[] = {
        {"TRAP_ERODE", "MAX_EROSION 1000\n", nullptr},
        {"TRAPEZOID", "MAX_EROSION 1e308\n", nullptr},
        {"TRAP_ERODE", "MAX_EROSION 1e308\n",
         "net.chan, line 21: node 2 of erodible link 1 has the erodible bed depth (MAX_EROSION) "
         "1e+308 m; it must lie from 0 to 1000 m"},
        {"TRAP_ERODE", "MAX_EROSION -0.1\n", "(MAX_EROSION) -0.1 m; it must lie from 0 to 1000 m"},
        {"ERODIBLE", "MAX_EROSION 1001\n", "node 3 of erodible link 4 has the erodible bed depth (MAX_EROSION) 1001 m"},
        {"TRAP_ERODE", "MAX_EROSION 1000.001\n", "(MAX_EROSION) 1000.001 m; it must lie from 0 to 1000 m"},
    };
    for (const auto& c : cases) {
        const bool surveyed = std::string(c.type) == "ERODIBLE";
        chan = kesta_test::kChannelFile;
        if (surveyed) {
            chan = replaced(replaced(chan, "BREAKPOINT\n", "BREAKPOINT\nERODIBLE\n"), survey, survey + c.edit);
        } else {
            chan = replaced(replaced(chan, "TRAPEZOID\r", std::string(c.type) + "\r"), xsec, xsec + c.edit);
        }
        const std::string out = set_up();
        EXPECT_EQ(stopped(), c.message != nullptr) << c.edit << "\n" << out;
        EXPECT_TRUE(!c.message || out.find(c.message) != std::string::npos) << c.edit << "\n" << out;
    }
}

// Shares written to two decimals (three of 0.33 add up to 0.99) are the
// whole cell.
TEST_F(ChannelNetwork, TakesSharesThatAddUpToOneWithinRounding) {
    gst = replaced(gst, "LINKNODE 4 2 0.5", "LINKNODE 4 2 0.49");
    const std::string out = set_up();
    ASSERT_FALSE(stopped()) << out;
    EXPECT_DOUBLE_EQ(m->gst_pct[3][1], 0.49);
}

TEST_F(ChannelNetwork, SizesTheNodeTablesByTheLongestLinkWhateverMaxnodesSays) {
    chan = replaced(chan, "MAXNODES 4", "MAXNODES 1000");
    const std::string out = set_up();
    ASSERT_FALSE(stopped()) << out;
    EXPECT_EQ(m->maxnodes, 4);
    EXPECT_EQ(m->yp.nrows(), 4);
    EXPECT_NE(out.find("Note: MAXNODES 1000 (channel input file"), std::string::npos) << out;
}

// The outlet's own refusal, once the node numbers of its cards are in range.
TEST_F(ChannelNetwork, RefusesAnOutletWithOneComputationalNode) {
    chan = replaced(replaced(chan, "LINK 4\nNODES 4", "LINK 4\nNODES 2"), "NODE 3\nELEV 8.6", "NODE 2\nELEV 8.6");
    chan = replaced(chan, "NODE 2\nELEV 8.8\n", "");
    chan = replaced(chan, "NODE 4\nELEV 8.4\n", "");
    const std::string out = set_up();
    EXPECT_TRUE(stopped());
    EXPECT_NE(out.find("the outlet link 4 has 1 computational node(s)"), std::string::npos) << out;
}

// With STREAM_LOSS the bed values a link gives are its own once any link
// gives K_RIVER; otherwise every link takes the project's. The subsurface
// attribute changes nothing. Warned only where the file's values leave a
// link that asks for exchange without it, or go unused.
TEST_F(ChannelNetwork, WarnsOfBedValuesThatLeaveALinkWithoutExchange) {
    const struct {
        const char* link1;  // type card of link 1
        const char* link4;  // cards under link 4's BREAKPOINT
        int stream_loss;
        const char* warning;  // nullptr: none
        double k1, m1, k4;    // bed conductivity and thickness of link 1, conductivity of link 4
    } cases[] = {
        {"TRAPEZOID", "K_RIVER 3.6\nM_RIVER 0.5\n", 1, nullptr, 0.0, 0.0, 3.6},
        {"TRAPEZOID_SUBSURFACE", "", 1, nullptr, 2.0, 1.5, 2.0},
        {"TRAPEZOID_SUBSURFACE", "K_RIVER 3.6\nM_RIVER 0.5\n", 1,
         "net.chan, line 11: subsurface link 1 gives no K_RIVER while link 4 does; its bed conductivity is 0",
         0.0, 0.0, 3.6},
        {"TRAPEZOID", "K_RIVER 3.6\n", 1,
         "net.chan, line 55: link 4 gives K_RIVER but no M_RIVER; its bed thickness is 0, so it exchanges no water",
         0.0, 0.0, 3.6},
        {"TRAPEZOID", "M_RIVER 0.5\n", 1,
         "net.chan, line 55: link 4 gives M_RIVER, but no link gives K_RIVER; every link takes the project's "
         "K_RIVER and M_RIVER, and this M_RIVER is not used.",
         2.0, 1.5, 2.0},
        {"TRAPEZOID_SUBSURFACE", "K_RIVER 3.6\n", 0, nullptr, 0.0, 0.0, 3.6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.link1) + " / " + c.link4);
        chan = replaced(replaced(kesta_test::kChannelFile, "TRAPEZOID\r", std::string(c.link1) + "\r"),
                        "BREAKPOINT\n", std::string("BREAKPOINT\n") + c.link4);
        forget_warnings();
        const std::string out = set_up([&](model_state& s) {
            s.stream_loss = c.stream_loss;
            s.k_river = 2.0;
            s.m_river = 1.5;
        });
        ASSERT_FALSE(stopped()) << out;
        EXPECT_EQ(out.find("Error"), std::string::npos) << out;
        const warning_list given = take_warnings();
        if (c.warning) {
            ASSERT_EQ(given.listed.size(), 1u) << out;
            EXPECT_NE(given.listed[0].text.find(c.warning), std::string::npos) << given.listed[0].text;
        } else {
            EXPECT_TRUE(given.empty()) << out;
        }
        if (!c.stream_loss) continue;
        EXPECT_EQ(m->Krb[1][1], c.k1);
        EXPECT_EQ(m->Mrb[1][1], c.m1);
        EXPECT_EQ(m->Krb[2][4], c.k4);
    }
}

TEST(LinkTypes, OvertakingNeedsAnOpenChannelAndBit16IsNoErodibleKind) {
    int w = kLinkTrapezoid | kLinkOvertaken;
    EXPECT_TRUE(link_is_overtaken(w) && link_is_lake_or_overtaken(w) && link_is_lake_struct_or_overtaken(w));
    EXPECT_FALSE(link_is_open_channel(w));
    link_clear_overtaken(w);
    EXPECT_EQ(w, kLinkTrapezoid);
    EXPECT_FALSE(link_is_overtaken(kLinkLake | kLinkOvertaken));
    EXPECT_FALSE(link_is_open_channel(kLinkStructure | kLinkOvertaken) ||
                 link_is_channel(kLinkStructure | kLinkOvertaken));
    EXPECT_TRUE(link_is_channel(kLinkBit16) && link_is_open_channel(kLinkBit16));
    EXPECT_FALSE(link_is_erodible_channel(kLinkBit16 | kLinkErodible));
}

}  // namespace
