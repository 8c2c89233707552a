// The end-of-event and end-of-run decision.
#include <gtest/gtest.h>

#include <string>

#include "core/allocators.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "support/stream_capture.hpp"

namespace {

using kesta::model_state;

// Event 1 of 2 (starting at 99 and 101 days) is under way at day 100.
struct EventEnd : ::testing::Test {
    void SetUp() override {
        m.running = m.event_active = m.event_index = 1;
        m.nevents = 2;
        m.event_min_q = 0.05;
        m.time = 100.0;
        m.ov_interval = 10.0 / 86400.0;
        kesta::alloc_dvector(m.event_start_times, 2, "event_start_times");
        m.event_start_times[1] = 99.0;
        m.event_start_times[2] = 101.0;
    }
    // A long-term run in event `index` whose outlet peaked at `peak`.
    void long_term(int index, double peak) {
        m.long_term = 1;
        m.event_index = index;
        m.peak_q = peak;
    }
    void decide() { out = kesta_test::printed_by([&] { kesta::check_event_end(m); }); }
    model_state m;
    std::string out;
};

TEST_F(EventEnd, SingleEventRunEndsAtItsDurationWithoutADischargeTest) {
    m.event_end_time = 100.5;
    m.q_out = 10.0;
    decide();
    EXPECT_EQ(m.running, 1);
    m.time = 100.5;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, EndTimeStopsTheRunMidEvent) {
    long_term(1, 0.0);
    m.end_time_given = 1;
    m.end_time_julian = 99.9;
    m.q_out = 10.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_active, 0);
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, LongTermEventEndsBelowTheCutOffAfterItsPeakAndTheClocksWaitForTheNext) {
    long_term(1, 1.0);
    m.q_out = 0.01;
    decide();
    EXPECT_EQ(m.event_active, 0);
    EXPECT_EQ(m.event_done, 1);
    EXPECT_EQ(m.running, 1);  // another event follows
    EXPECT_DOUBLE_EQ(m.ov_next_time, 101.0);
    EXPECT_DOUBLE_EQ(m.ov_last_time, 101.0 - m.ov_interval);
}

TEST_F(EventEnd, LastEventEndsTheRunAndParksTheClocks) {
    long_term(2, 1.0);
    m.q_out = 0.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_NE(out.find("simulation ended normally; end of data for last event reached\n"), std::string::npos);
    EXPECT_GT(m.ov_next_time, 1e300);  // never due again; no read past the event table
}

TEST_F(EventEnd, SurfaceHoldingFivePercentOfTheRainKeepsTheLastEventGoing) {
    long_term(2, 1.0);
    m.ncells = 1;
    m.gridsize = 10.0;
    kesta::alloc_dvector(m.h, 1, "h");
    m.h[1] = 0.01;  // 1 m3 on the surface
    m.volume_rainfall_overland = 10.0;
    decide();
    EXPECT_EQ(m.running, 1);
    EXPECT_EQ(m.event_done, 0);
    m.h[1] = 0.004;  // 0.4 m3: below 5 % of the rain
    decide();
    EXPECT_EQ(m.running, 0);
}

TEST_F(EventEnd, ChannelStillCarryingTheEventKeepsItGoing) {
    long_term(1, 0.0);  // the outlet never rose above the cut-off
    m.chan_routing = 1;
    kesta::alloc_dmatrix(3, 2, m.qp, "qp");
    m.qp[2][1] = 0.2;
    decide();
    EXPECT_EQ(m.event_done, 0);
    m.qp[2][1] = 0.01;
    decide();
    EXPECT_EQ(m.event_done, 1);
}

TEST_F(EventEnd, WaterTableRunEndsWhenWeatherDataRunOut) {
    long_term(2, 0.0);
    m.water_table_given = 1;
    m.q_out = 5.0;
    decide();
    EXPECT_EQ(m.running, 1);
    m.hmet_next = -10.0;
    decide();
    EXPECT_EQ(m.running, 0);
    EXPECT_EQ(m.event_ended, 1);
}

}  // namespace
