// The reservoir model's segment fluxes: what a pass adds to a segment, the
// output lines, and the pair file's checks.
#include <gtest/gtest.h>

#include <string>

#include "output/vq_fluxes.hpp"
#include "support/grid_text.hpp"
#include "support/one_based.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta_test::one_based;

// Three cells in a row, 1 and 2 of segment 3, cell 3 of none: the face 1|2
// carries 0.5 m3/s inside the segment, the face 2|3 0.02 m3/s out of it.
TEST(VqFluxes, OnlyFacesThatLeaveOrEnterASegmentCount) {
    kesta::vq_data vq;
    vq.max_segment = 3;
    vq.seg_map = one_based({3, 3, 0});
    vq.active = one_based({0, 0, 1});
    vq.qin = one_based({0.0, 0.0, 0.0});
    const auto qx = one_based({0.5, -0.02, 0.0});
    const auto qy = one_based({0.0, 0.0, 0.0});
    const auto right = one_based({2, 3, 0});
    const auto below = one_based({0, 0, 0});
    const kesta::node_table<double> no_nodes;
    kesta::vq_accumulate_fluxes(vq, qx, qy, 3, right, below, false, no_nodes);
    EXPECT_DOUBLE_EQ(vq.qin[3], 0.02);
    kesta::vq_accumulate_fluxes(vq, qx, qy, 3, right, below, false, no_nodes);
    EXPECT_EQ(vq.count, 2);

    kesta_test::temp_dir dir;
    kesta::model_state m;
    kesta_test::open_output(m, vq.out, dir.file("seg.out"));
    kesta::vq_write_segment_fluxes(vq, 200.5);  // the mean of the two passes
    kesta::vq_write_segment_fluxes(vq, 201.0);  // no pass since: nothing
    kesta::close_output(m, vq.out);
    EXPECT_EQ(kesta_test::read_file(dir.file("seg.out")), "1.000     0.02      \n");
    EXPECT_EQ(vq.qin[3], 0.0);
}

// A 3 x 3 cross whose middle row is segment 3.
class VqRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(30.0));
        dir.write("elev.asc", kesta_test::cross_elevation(30.0));
        dir.write("seg.asc", kesta_test::grid_text(3, 3, 30.0, "0 0 0\n3 3 3\n0 0 0\n"));
    }
    kesta_test::program_result run(const std::string& cards) {
        dir.write("p.prj",
                  "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
                  "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
                  "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
                  "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nQUIET\n"
                  "VQ_FLUXES\nVQ_SEGMENT_MAP seg.asc\nVQ_SEGMENT_FLUXES flux.out\n" +
                      cards);
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    kesta_test::temp_dir dir;
};

TEST_F(VqRuns, TheSegmentOfTheMiddleRowTakesTheFlowThatLeavesIt) {
    const auto r = run("");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> lines = kesta_test::lines_of(kesta_test::read_file(dir.file("flux.out")));
    ASSERT_EQ(lines.size(), 8u);  // the header, then 0 to 30 minutes every 5
    EXPECT_EQ(lines[0], "   jday   3         ");
    EXPECT_EQ(lines[1].substr(0, 10), "1.000     ");
    // The water of the middle row runs south to the outlet cell.
    EXPECT_GT(kesta_test::numbers(lines[4])[1], 0.0);
}

TEST_F(VqRuns, APairThatNamesNoNodeOfTheNetworkStopsTheRun) {
    dir.write("pairs.txt", "1\n1 2 3\n");
    const auto r = run("VQ_NODES_TO_SEGS pairs.txt\n");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(kesta_test::has(r.output, "pairs.txt, line 2: link 1 is not a link of the network")) << r.output;
    EXPECT_FALSE(kesta_test::has(r.output, "Running...."));
}

}  // namespace
