// The console progress line: when it is due, what QUIET and SUPER_QUIET
// keep back, and the channel extremes of STREAM_INFO; and what the progress
// line of a terminal says.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "output/progress_line.hpp"

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

// The share done is the model time's; what is left is estimated at the pace
// of the wall time so far.
TEST(ProgressLine, SaysTheShareDoneAndEstimatesWhatIsLeftAtThePaceSoFar) {
    kesta::run_position p;
    p.start = kesta::julday(2021, 3, 1, 0, 0, 0.0);
    p.end = p.start + 10.0;
    p.time = p.start + 2.5;
    p.wall_seconds = 30.0;
    EXPECT_EQ(kesta::progress_text(p),
              "Simulated to 3/3/2021 12:00, 25.0% done, 0:00:30 elapsed, about 0:01:30 left");
    p.wall_seconds = 4000.0;
    EXPECT_EQ(kesta::progress_text(p),
              "Simulated to 3/3/2021 12:00, 25.0% done, 1:06:40 elapsed, about 3:20:00 left");
    // Nothing to estimate from before the model time moves, and never done
    // while the run goes on.
    p.time = p.start;
    EXPECT_EQ(kesta::progress_text(p), "Simulated to 3/1/2021 0:00, 0.0% done, 1:06:40 elapsed");
    p.time = p.end;
    EXPECT_EQ(kesta::progress_text(p),
              "Simulated to 3/11/2021 0:00, 99.9% done, 1:06:40 elapsed, about 0:00:04 left");
    // Past the end of the last event's rain the run goes on while its water
    // drains, for as long as that takes.
    p.end_is_last_rain = true;
    p.time = p.end + 0.25;
    EXPECT_EQ(kesta::progress_text(p), "Simulated to 3/11/2021 6:00, last event draining, 1:06:40 elapsed");
    // An end not known.
    p.end = p.start;
    EXPECT_EQ(kesta::progress_text(p), "Simulated to 3/11/2021 6:00, 1:06:40 elapsed");
}

// A run ends at the earliest of its bounds: END_TIME, and for a single event
// its TOT_TIME; for a long-term run TOT_TIME and the end of the weather
// data, or sooner, once the last event's rain has ended and its water has
// drained.
TEST(ProgressLine, TheRunEndsAtItsEarliestBoundOrAfterTheLastEventsRain) {
    auto m = std::make_unique<model_state>();
    const double start = kesta::julday(2021, 3, 1, 0, 0, 0.0);
    m->start_time = start;
    m->time = start + 1.0;
    m->tot_time = 2880;  // min
    kesta::run_position p = kesta::position_of(*m, 5.0);
    EXPECT_EQ(p.start, start);
    EXPECT_EQ(p.time, start + 1.0);
    EXPECT_EQ(p.wall_seconds, 5.0);
    EXPECT_DOUBLE_EQ(p.end, start + 2.0);
    EXPECT_FALSE(p.end_is_last_rain);
    m->end_time_given = 1;
    m->end_time_julian = start + 1.5;
    EXPECT_DOUBLE_EQ(kesta::position_of(*m, 5.0).end, start + 1.5);

    m->end_time_given = 0;
    m->long_term = 1;
    m->tot_time = 50400;  // 35 days
    m->end_time = start + 34.0;  // the last weather record
    EXPECT_DOUBLE_EQ(kesta::position_of(*m, 5.0).end, start + 34.0);
    m->tot_time = 0;  // no TOT_TIME
    EXPECT_DOUBLE_EQ(kesta::position_of(*m, 5.0).end, start + 34.0);
    m->last_rain_time = start + 32.5;
    p = kesta::position_of(*m, 5.0);
    EXPECT_DOUBLE_EQ(p.end, start + 32.5);
    EXPECT_TRUE(p.end_is_last_rain);
    // A bound before the last rain ends the run there.
    m->end_time_given = 1;
    m->end_time_julian = start + 20.0;
    p = kesta::position_of(*m, 5.0);
    EXPECT_DOUBLE_EQ(p.end, start + 20.0);
    EXPECT_FALSE(p.end_is_last_rain);

    // A land-management run ends with its events, which nothing bounds here.
    m = std::make_unique<model_state>();
    m->start_time = start;
    m->htp = 1;
    m->tot_time = 600;
    EXPECT_LE(kesta::position_of(*m, 5.0).end, start);
}

}  // namespace
