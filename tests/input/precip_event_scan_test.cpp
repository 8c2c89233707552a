// Start-up: the optimisation output and the scan of the precipitation file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;

const char* kTwoEvents =
    "EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
    "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 30 0.0\n"
    "EVENT second\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
    "RATES 2001 6 2 8 15 1.0\nRATES 2001 6 2 9 0 0.0\n";

struct EventScan : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.rain_from_file = 1;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }
    void scan(const std::string& text) {
        m.precip_file = dir.write("rain.dat", text);
        std::string name = m.precip_file;
        m.precip_file_fp = kesta::open_file(name, "r", 0);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        kesta::setup_optim_and_precip_events(m);
        err = testing::internal::GetCapturedStderr();
        out = testing::internal::GetCapturedStdout();
    }
    kesta_test::temp_dir dir{true};
    kesta::model_state m;
    std::string out, err;
};

TEST_F(EventScan, EventRunKeepsEveryStartButSimulatesTheFirst) {
    scan(kTwoEvents);
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(m.nevents, 1);
    ASSERT_EQ(m.event_start_times.n(), 2);
    EXPECT_DOUBLE_EQ(m.event_start_times[2], kesta::julday(2001, 6, 2, 8, 15, 0.0));
    EXPECT_NE(out.find("Precip. file contains 2 events, simulating first event only\n"), std::string::npos);
    // The file is read again from its start by the event steps.
    EXPECT_EQ(std::ftell(m.precip_file_fp.get()), 0);
}

TEST_F(EventScan, UniformRainIsOneEvent) {
    m.rain_from_file = 0;
    m.uniform_rain = 1;
    kesta::setup_optim_and_precip_events(m);
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(m.nevents, 1);
}

TEST_F(EventScan, FrameworkRunListsTheEventStartsOrRefusesAnEventTheFileDoesNotHold) {
    std::filesystem::create_directory("exchange");
    m.htp = 1;
    m.htp_event_num_given = 1;
    m.htp_event_num = 0;  // no event: only the summary, then the run ends
    scan(kTwoEvents);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(kesta_test::read_file("exchange/HTP_PRECIP.SUM"), "2\n2001  5 10 10  0\n2001  6  2  8 15\n");
    EXPECT_NE(out.find("No simulations performed.  KESTA terminated.\n"), std::string::npos);

    g_error_record = kesta::error_record{};
    m.htp_event_num = 3;
    scan(kTwoEvents);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("contains only 2 events.  PROGRAM TERMINATED."), std::string::npos);
}

TEST_F(EventScan, RefusesAFileWithoutEventsOrEndingInsideOne) {
    scan("nothing here\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("Data was not correctly read from the rainfall input file."), std::string::npos);
    g_error_record = kesta::error_record{};
    scan("EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 5 10 10 0 4.0\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("Check rain event 1, event after 0 0 0"), std::string::npos);
}

TEST_F(EventScan, OptimisationOutputTakesItsDefaultName) {
    m.optimize_given = 1;
    scan(kTwoEvents);
    EXPECT_EQ(m.optimize, "kesta_optim.out");
    EXPECT_TRUE(m.optim_fp);
    EXPECT_EQ(err, "writing output for optimization to file kesta_optim.out\n");
}

// The end of the rain of the run's last event: the last data line of the
// first event in an event run, of the last event in a run of every event.
TEST_F(EventScan, TheRainOfTheRunsLastEventEndsAtItsLastDataLine) {
    scan(kTwoEvents);
    EXPECT_DOUBLE_EQ(m.last_rain_time, kesta::julday(2001, 5, 10, 10, 30, 0.0));
    m.htp = 1;
    scan(kTwoEvents);
    ASSERT_EQ(g_error_record.code, 0) << out;
    ASSERT_EQ(m.nevents, 2);
    EXPECT_DOUBLE_EQ(m.last_rain_time, kesta::julday(2001, 6, 2, 9, 0, 0.0));
}

}  // namespace
