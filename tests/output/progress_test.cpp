// The console progress line: when it is due, what QUIET and SUPER_QUIET
// keep back, and the channel extremes of STREAM_INFO.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "output/output_steps.hpp"

namespace {

using kesta::model_state;

class Progress : public ::testing::Test {
protected:
    void SetUp() override {
        m->time = 2453160.5;
        m->ov_last_time = m->time;
        m->event_index = 2;
        m->elapsed_min = 90.0;
        m->year = 2004;
        m->month = 6;
        m->day = 3;
        m->hour = 7;
        m->minute = 5;
        m->second = 9;
        m->q_out = 1.0;
    }
    std::string report() {
        testing::internal::CaptureStdout();
        kesta::report_progress(*m);
        return testing::internal::GetCapturedStdout();
    }
    // A network of one link with the given depths and discharges per node.
    void network(const std::vector<double>& depths, const std::vector<double>& q) {
        const int n = static_cast<int>(depths.size());
        m->nlinks = 1;
        m->nx = kesta::vec1<int>(1);
        m->nx[1] = n;
        m->yp = kesta::node_table<double>(n, 1);
        m->bel = kesta::node_table<double>(n, 1);
        m->qp = kesta::node_table<double>(n, 1);
        for (int node = 1; node <= n; ++node) {
            m->bel[node][1] = 100.0;
            m->yp[node][1] = 100.0 + depths[static_cast<std::size_t>(node - 1)];
            m->qp[node][1] = q[static_cast<std::size_t>(node - 1)];
        }
        m->project_options.stream_info = 1;
    }
    std::unique_ptr<model_state> m = std::make_unique<model_state>();
};

const char kLine[] = "event  2 elapsed time    90.00   6/03/2004 07:05:09 Qout=    1.00 cms\n";

TEST_F(Progress, ReportsWhenTheRoutingThatSetsTheClockRanInThisPass) {
    EXPECT_EQ(report(), kLine);
    m->ov_last_time = m->time - 1.0 / 1440.0;
    EXPECT_EQ(report(), "");

    // With channel routing the channel clock decides.
    m->chan_routing = 1;
    m->chan_last = m->time - 1.0 / 1440.0;
    m->ov_last_time = m->time;
    EXPECT_EQ(report(), "");
    m->chan_last = m->time;
    m->ov_last_time = 0.0;
    EXPECT_EQ(report(), kLine);
}

TEST_F(Progress, QuietPrintsNothingAndNeverCountsWhileSuperQuietCountsAndPrintsExtremes) {
    m->quiet = 1;
    m->flush_buffer_given = 1;
    m->flush_buffer = 2;
    network({0.5}, {2.0});
    EXPECT_EQ(report(), "");
    EXPECT_EQ(m->flush_count, 0);

    m->quiet = 0;
    m->super_quiet = 1;
    EXPECT_EQ(report(),
              "    ==> Max Yp (N 1, L 1) = 0.500000\n"
              "    ==> Min Yp (N 1, L 1) = 0.500000\n"
              "    ==> Max Qp (N 1, L 1) = 2.000000\n"
              "    ==> Min Qp (N 1, L 1) = 2.000000\n");
    EXPECT_EQ(m->flush_count, 1);
    report();
    EXPECT_EQ(m->flush_count, 0);  // flushed at the second line
}

TEST_F(Progress, ExtremeTiesGoToTheLaterDepthAndTheEarlierDischarge) {
    network({2.0, 1.0, 2.0, 1.0}, {3.0, 1.0, 3.0, 1.0});
    report();
    const kesta::channel_extremes& e = m->chan_extremes;
    EXPECT_EQ(e.max_depth_node, 3);
    EXPECT_EQ(e.min_depth_node, 2);
    EXPECT_EQ(e.max_q_node, 1);
    EXPECT_EQ(e.min_q_node, 4);

    // Depths that all exceed the starting minimum leave it unplaced.
    network({6000.0, 7000.0}, {0.0, 0.0});
    report();
    EXPECT_EQ(m->chan_extremes.min_depth, 5000.0);
    EXPECT_EQ(m->chan_extremes.min_depth_node, -1);
}

}  // namespace
