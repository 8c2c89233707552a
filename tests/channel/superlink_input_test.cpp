// The storm-drain network read from its storm-sewer and grid-pipe files, and
// the refusals of values it cannot use, each naming the file, line and value.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channel/superlink/storm_drain_steps.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;

const char* kSewer =
    "SJUNC 1 20.0 10.0 1.5 2 1 1 0.6 0.6\n"
    "SJUNC 2 19.0 9.0 1.5 0 0 0 0 0\n"
    "SJUNC 3 9.5 8.0 0 888 2 3 0 0\n"
    "CONNECT 1 1 2\n"
    "CONNECT 2 2 3\n"
    "SLINK 1 2\n"
    "NODE 1 20 10 0 0 0 0 0 0\n"
    "NODE 2 20 9.5 1 1 2 1 0.6 0.6\n"
    "PIPE 1 1 1.0 0 0.005 0.013 100 0 0\n"
    "NODE 3 19 9 0 0 0 0 0 0\n"
    "PIPE 2 1 1.0 0 0.005 0.013 100 0.1 5\n"
    "SLINK 2 1\n"
    "PIPE 1 3 1.0 2.0 0.01 0.015 100 0 0\n"
    "NODE 1 19 9 0 0 0 0 0 0\n"
    "NODE 2 17.5 8 0 0 0 0 0 0\n";
const char* kGridPipe = "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 2 2\nNUMPIPES 2\nSPIPE 1 2 0.5\nSPIPE 2 1 0.5\n";

struct loaded {
    std::unique_ptr<model_state> m;
    std::string out;
};

loaded load(const kesta_test::temp_dir& dir, const std::string& sewer, int c_opt = 0) {
    loaded r{std::make_unique<model_state>(), std::string()};
    model_state& m = *r.m;
    g_error_record.clear_for_run();
    m.rows = 3;
    m.cols = 3;
    m.ncells = 9;
    alloc_imatrix(m.mask, m.rows + 1, m.cols + 1, "mask");
    for (int k = 1; k <= 9; ++k) m.mask[(k - 1) / 3 + 1][(k - 1) % 3 + 1] = k;
    m.storm_sewer_given = 1;
    m.superlink_c_opt = c_opt;
    m.storm_sewer = dir.write("net.sew", sewer);
    m.grid_pipe = dir.write("net.gpi", kGridPipe);
    testing::internal::CaptureStdout();
    setup_superlink_network(m);
    if (g_error_record.code != 0) report_error(g_error_record);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

TEST(SuperlinkInput, ReadsJunctionsSuperlinksNodesPipesAndGridPipeCells) {
    kesta_test::temp_dir dir;
    loaded r = load(dir, kSewer);
    ASSERT_EQ(g_error_record.stop, 0) << r.out;
    const model_state& m = *r.m;
    EXPECT_EQ(m.n_sjunc, 3);
    EXPECT_EQ(m.n_superlinks, 2);
    EXPECT_EQ(m.bound[3], 1);
    EXPECT_EQ(m.superlink_junc_gnum[1], 1);
    EXPECT_EQ(m.superlink_junc_gnum[3], 8);  // column 2, row 3
    EXPECT_EQ(m.superlink_node_gnum[1][2], 2);
    EXPECT_EQ(m.sec_type[2][1], pipe_box);
    EXPECT_DOUBLE_EQ(m.width[2][1], 2.0);
    EXPECT_EQ(m.tile_drains_present, 1);
    EXPECT_EQ(m.gpi_gnum[1][2], 5);
    EXPECT_EQ(m.gpi_link[1][2], 2);
    EXPECT_NE(r.out.find("read superlink pipe file, 3 junctions, 2 links"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("less than 2.0m above node bottom. superjunction 3"), std::string::npos) << r.out;
}

TEST(SuperlinkInput, SubdivisionKeepsTheLengthAndSpreadsEveryInflowOnce) {
    kesta_test::temp_dir dir;
    loaded r = load(dir, kSewer, 1);
    ASSERT_EQ(g_error_record.stop, 0) << r.out;
    const model_state& m = *r.m;
    for (int l = 1; l <= 2; ++l) {
        double total = 0.0;
        for (int k = 1; k <= m.superlink_cnodes[l]; ++k) total += m.dxc[l][k];
        EXPECT_NEAR(total, 100.0 * m.nnodes[l], 1e-9) << l;
        EXPECT_GT(m.superlink_cnodes[l], m.nnodes[l]);
    }
    // Input node 2 of superlink 1 lies 100 m down; its inflow goes to the
    // inner computational node there.
    const int c = m.inflow_cnode[1][2];
    double x = 0.0;
    for (int k = 1; k < c; ++k) x += m.dxc[1][k];
    EXPECT_GT(c, 1);
    EXPECT_LT(c, m.superlink_cnodes[1] + 1);
    EXPECT_NEAR(x, 100.0, 30.0 + 1e-9);  // nodes at 70 and 130 m: the nearer of two
}

struct refusal {
    const char* from;
    const char* to;
    const char* said;  // with the line it names
};

TEST(SuperlinkInput, RefusesValuesItCannotUseNamingFileLineAndValue) {
    const refusal cases[] = {
        {"CONNECT 2 2 3", "CONNECT 2 3 3", "line 5: card CONNECT joins superjunction 3 to itself"},
        {"CONNECT 2 2 3", "CONNECT 3 2 3", "line 5: card CONNECT gives a superlink 3"},
        {"SJUNC 2 19.0", "SJUNC 1 19.0", "line 2: card SJUNC gives superjunction 1 a second time"},
        {"PIPE 2 1 1.0 0 0.005 0.013 100", "PIPE 2 1 1.0 0 0.005 0.013 0", "line 11: card PIPE gives a length 0"},
        // Sizes beyond any pipe, junction or node.
        {"PIPE 2 1 1.0", "PIPE 2 1 4294967296", "line 11: card PIPE gives a diameter 4294967296 m; it must be above 0 "
                                                 "and at most 20 m"},
        {"PIPE 1 3 1.0 2.0", "PIPE 1 3 1.0 20.5", "line 13: card PIPE gives pipe 1 of superlink 2 width 20.5 m"},
        {"PIPE 2 1 1.0 0 0.005 0.013 100", "PIPE 2 1 1.0 0 0.005 0.013 10000.5", "line 11: card PIPE gives a length "
                                                                                "10000.5 m"},
        {"SJUNC 1 20.0 10.0 1.5", "SJUNC 1 20.0 10.0 1e7", "line 1: card SJUNC gives superjunction 1 plan area "
                                                           "10000000 m2; it must be from 0 to 1e+06 m2"},
        {"NODE 2 20 9.5 1 1", "NODE 2 20 9.5 -1 1", "line 8: card NODE gives node 2 of superlink 1 plan area -1 m2"},
        {"PIPE 2 1 1.0 0 0.005 0.013", "PIPE 2 1 1.0 0 0.005 -0.013", "gives a roughness -0.013"},
        {"PIPE 1 3 1.0 2.0", "PIPE 1 3 1.0 0.0", "line 13: card PIPE gives pipe 1 of superlink 2 width 0"},
        {"PIPE 2 1 1.0", "PIPE 2 4 1.0", "line 11: card PIPE gives pipe 2 of superlink 1 section type 4"},
        {"PIPE 2 1 1.0 0", "PIPE 2 2 1.0 1", "line 11: card PIPE gives pipe 2 at an end of superlink 1"},
        {"NODE 3 19 9", "NODE 2 19 9", "line 10: card NODE gives node 2 of superlink 1 a second time"},
        {"NODE 2 17.5 8", "CONNECT 9 17.5 8", "starts the block of superlink 2, which gives no NODE 2"},
        {"SJUNC 1 20.0 10.0 1.5 2 1 1", "SJUNC 1 20.0 10.0 1.5 2 4 1", "column 4, row 1, which is not an active"},
        {"NODE 2 20 9.5 1 1 2 1", "NODE 2 20 9.5 1 1 2 x", "line 8: card NODE needs a whole number, not \"x\""},
        {"SLINK 2 1", "SLINK 2 51", "Too many nodes"},
        {"0.013 100 0.1 5", "0.013 100 0.1 0", "line 11: card PIPE gives tile pipe 2 of superlink 1 (conductivity "
                                                 "0.1) drain spacing 0"},
        {"SJUNC 3 9.5 8.0 0 888", "SJUNC 3 9.5 8.0 0 999", "line 3: card SJUNC makes superjunction 3 an outlet "
                                                            "into a channel (inlet code 999), which needs"},
        // A bottom above the ground, and a superlink's end outside its
        // superjunction: the solver would chase water heads metres or
        // kilometres apart through ever shorter sub-steps.
        {"NODE 1 20 10 0", "NODE 1 257.038 4294967296 0", "line 7: card NODE gives node 1 of superlink 1 the bottom "
                                                          "4294967296 m, above its ground 257.038 m."},
        {"SJUNC 2 19.0 9.0", "SJUNC 2 19.0 19.5", "line 2: card SJUNC gives superjunction 2 the bottom 19.5 m, above "
                                                  "its ground 19 m."},
        {"NODE 2 17.5 8 0", "NODE 2 17.5 9.6 0", "line 15: card NODE gives node 2 of superlink 2, its end in "
                                                 "superjunction 3, the bottom 9.6 m, above that superjunction's "
                                                 "ground 9.5 m (SJUNC on line 3)."},
        {"NODE 1 19 9 0", "NODE 1 19 8.9 0", "line 14: card NODE gives node 1 of superlink 2, its end in "
                                             "superjunction 2, the bottom 8.9 m, below that superjunction's bottom "
                                             "9 m (SJUNC on line 2)."},
    };
    for (const refusal& c : cases) {
        std::string sewer = kSewer;
        sewer.replace(sewer.find(c.from), std::string(c.from).size(), c.to);
        kesta_test::temp_dir dir;
        loaded r = load(dir, sewer);
        EXPECT_EQ(g_error_record.stop, 1) << c.to;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << c.to << "\n" << r.out;
        EXPECT_NE(r.out.find("net.sew"), std::string::npos) << c.to << "\n" << r.out;
    }
    g_error_record.clear_for_run();
}

}  // namespace
