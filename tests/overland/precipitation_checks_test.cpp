// Rain that falls between the steps of the clock, the limits and dates the
// precipitation file must keep, events the clock could never meet, and the
// close of an event that the next one interrupts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/clock_steps.hpp"
#include "core/error_record.hpp"
#include "core/event_steps.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "core/model_state.hpp"
#include "input/input_steps.hpp"
#include "overland/overland_steps.hpp"
#include "overland/precipitation.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::julday;
using kesta::model_state;

// Two cells of 10 m square (100 m2 each) stepped every `step` seconds.
struct RainBetweenSteps : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        m.ncells = 2;
        m.rows = m.grid_rows = 1;
        m.cols = m.grid_cols = 2;
        m.gridsize = 10.0;
        m.mask = kesta::mat2<int>(1, 2);
        m.mask[1][1] = 1;
        m.mask[1][2] = 2;
        m.north = 10.0;
        m.ri = kesta::vec1<double>(2);
        m.h = kesta::vec1<double>(2);
        m.dh = kesta::vec1<double>(2);
        m.rain_from_file = 1;
        m.rain_thiessen = 1;
        m.super_quiet = 1;
        m.run_params.tot_time = 600;
        set_step(300.0);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    void set_step(double seconds) {
        m.timestep = seconds;
        m.dt_days = seconds / 86400.0;
        m.time_tol = kesta::kTimeTolerance;
        kesta::set_clock_interval(m.ov_interval_sec, m.ov_interval, seconds);
    }
    // Scans the file; on success the clock starts where the run would.
    std::string scan(const std::string& text) {
        m.precip_file = dir.write("rain.dat", text);
        std::string name = m.precip_file;
        m.precip_file_fp = kesta::open_file(name, "r", 0);
        testing::internal::CaptureStdout();
        kesta::setup_optim_and_precip_events(m);
        const std::string out = testing::internal::GetCapturedStdout();
        if (g_error_record.code == 0 && g_error_record.stop == 0)
            m.start_time = m.time = kesta::run_start_time(m);
        return out;
    }
    // One pass of the rain steps; the step's rate of cell 1.
    double pass() {
        testing::internal::CaptureStdout();
        kesta::advance_clock(m);
        kesta::step_event_precip(m);
        kesta::start_event(m);
        kesta::step_precip_period(m);
        kesta::apply_precip(m);
        testing::internal::GetCapturedStdout();
        return m.ri[1];
    }
    std::vector<double> rates(int passes) {
        std::vector<double> r;
        for (int i = 0; i < passes; ++i) r.push_back(pass());
        return r;
    }

    kesta_test::temp_dir dir;
    model_state m;
};

// Two events of 6 mm/h for 5 minutes, at 12:00 and 12:20.
const char* const kTwoEvents =
    "EVENT a\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 12 0 6.0\nRATES 2020 6 1 12 5 0.0\n"
    "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 12 20 6.0\nRATES 2020 6 1 12 25 0.0\n";

TEST_F(RainBetweenSteps, GaugeLinesOneMinuteApartGiveTheFileTotalWhateverTheStep) {
    scan("EVENT minutes\nNRGAG 1\nNRPDS 6\nCOORD 5 5\nGAGES 2020 6 1 12 0 0.0\n"
         "GAGES 2020 6 1 12 1 1.0\nGAGES 2020 6 1 12 2 1.0\nGAGES 2020 6 1 12 3 1.0\n"
         "GAGES 2020 6 1 12 4 1.0\nGAGES 2020 6 1 12 5 1.0\n");
    ASSERT_EQ(g_error_record.code, 0);
    // 5 mm in the one 5-minute step: 60 mm/h, then nothing.
    const std::vector<double> expected = {60.0, 0.0, 0.0};
    EXPECT_EQ(rates(3), expected);
    EXPECT_NEAR(m.h[1], 0.005, 1e-15);
    EXPECT_NEAR(m.volume_rainfall_overland, 2 * 100.0 * 0.005, 1e-12);
}

TEST_F(RainBetweenSteps, StepThatSpansTwoPeriodsTakesEachRateForItsShare) {
    scan("EVENT r\nNRGAG 1\nNRPDS 3\nCOORD 5 5\n"
         "RATES 2020 6 1 12 0 6.0\nRATES 2020 6 1 12 3 12.0\nRATES 2020 6 1 12 10 0.0\n");
    // 12:00-12:05: 3 min at 6 and 2 min at 12; 12:05-12:10 at 12.
    const std::vector<double> expected = {(3 * 6.0 + 2 * 12.0) / 5.0, 12.0, 0.0};
    EXPECT_EQ(rates(3), expected);
    EXPECT_NEAR(m.h[1], (6.0 * 3 + 12.0 * 7) / 60.0 / 1000.0, 1e-15);
}

TEST_F(RainBetweenSteps, EventEndingWithinAStepRainsOnlyUpToItsLastLine) {
    scan("EVENT short\nNRGAG 1\nNRPDS 2\nCOORD 5 5\n"
         "RATES 2020 6 1 12 0 6.0\nRATES 2020 6 1 12 2 0.0\n");
    EXPECT_DOUBLE_EQ(pass(), 6.0 * 2.0 / 5.0);
    EXPECT_EQ(pass(), 0.0);
    EXPECT_EQ(m.raining, 0);
    EXPECT_NEAR(m.h[1], 6.0 * 2.0 / 60.0 / 1000.0, 1e-15);
}

TEST_F(RainBetweenSteps, UniformRainShorterThanAStepFallsForItsShare) {
    m.rain_from_file = 0;
    m.uniform_rain = 1;
    m.rain_intensity = 30.0;
    m.rain_duration = 4.0;  // minutes, in 300 s steps
    m.time = julday(2020, 6, 1, 12, 0, 0.0);
    m.year = 2020;
    kesta::init_run_times(m);
    ASSERT_EQ(g_error_record.code, 0);
    EXPECT_EQ(m.rain_steps, 0);
    const std::vector<double> expected = {30.0 * 0.8, 0.0};
    EXPECT_EQ(rates(2), expected);
    EXPECT_NEAR(m.h[1], 30.0 * 4.0 / 60.0 / 1000.0, 1e-15);
    EXPECT_EQ(m.precip_state, 3);

    // 11 minutes: two whole steps and a fifth of a third; 10 minutes: two steps.
    m.rain_duration = 11.0;
    kesta::init_run_times(m);
    EXPECT_EQ(m.rain_steps, 2);
    EXPECT_NEAR(m.rain_last_step_fraction, 0.2, 1e-12);
    m.rain_duration = 10.0;
    kesta::init_run_times(m);
    EXPECT_EQ(m.rain_steps, 2);
    EXPECT_EQ(m.rain_last_step_fraction, 0.0);
}

// Mass conservation errors (percent) of the event summaries in `text`.
std::vector<double> balance_errors(const std::string& text) {
    std::vector<double> errors;
    const std::string label = "mass conservation error:";
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
        errors.push_back(std::stod(text.substr(at + label.size())));
    return errors;
}

// The first event still runs off when the second begins (no routing here,
// so its rain stays on the ground): it is ended and closed before the second
// is read, and the second starts from the water the first left.
void expect_interrupted_event_closed(RainBetweenSteps& t, const std::string& began) {
    model_state& m = t.m;
    std::string summary = t.dir.file("summ.out");
    m.summary_fp = kesta::open_file(summary, "w", 0);
    t.scan(kTwoEvents);
    ASSERT_EQ(g_error_record.code, 0);
    t.rates(4);  // 12:00 to 12:15
    EXPECT_EQ(m.event_active, 1);
    EXPECT_EQ(m.finished_events, 0);
    t.pass();  // 12:20: event b begins
    EXPECT_EQ(m.finished_events, 1);
    EXPECT_EQ(m.event_index, 2);
    EXPECT_EQ(m.event_ended, 0);
    EXPECT_EQ(m.event_done, 0);
    EXPECT_EQ(m.event_active, 1);
    EXPECT_NEAR(m.initial_volume_overland_flow, 2 * 100.0 * 0.0005, 1e-12);
    kesta::close_file(m.summary_fp);
    const std::string text = kesta_test::read_file(summary);
    const std::vector<double> errors = balance_errors(text);
    ASSERT_EQ(errors.size(), 1u) << text;
    EXPECT_NEAR(errors[0], 0.0, 1e-9);
    EXPECT_NE(text.find(began), std::string::npos) << text;
}

TEST_F(RainBetweenSteps, EventStillRunningWhenTheNextBeginsIsClosedInALandManagementRun) {
    m.htp = 1;
    expect_interrupted_event_closed(*this, "Event began on 06/01/2020 at 12:00\n");
}

TEST_F(RainBetweenSteps, EventStillRunningWhenTheNextBeginsIsClosedInALongTermRun) {
    m.long_term = 1;
    m.hmet_first_record = kesta::date_record{2020, 6, 1, 12, 0, 0};
    expect_interrupted_event_closed(*this, "Event began on 06/01/2020 at 12:00  GMT");
}

TEST_F(RainBetweenSteps, RunOfOneLandManagementEventEndsWhenTheNextEventBegins) {
    m.htp = 1;
    m.htp_event_num_given = 1;
    m.htp_event_num = 1;
    scan(kTwoEvents);
    m.running = 1;
    rates(5);
    EXPECT_EQ(m.finished_events, 1);
    EXPECT_EQ(m.event_index, 1);
    EXPECT_EQ(m.running, 0);
}

TEST_F(RainBetweenSteps, EventsTheClockCouldNeverMeetAreRefusedAtTheScan) {
    m.long_term = 1;
    m.hmet_first_record = kesta::date_record{2020, 6, 1, 12, 0, 0};
    const std::string head = "EVENT a\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 12 0 6.0\nRATES 2020 6 1 12 5 0.0\n";
    std::string out = scan(head + "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 12 22 6.0\nRATES 2020 6 1 12 25 0.0\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("In precipitation file " + m.precip_file + ", event 2 (line 11): the event begins at "
                       "6/1/2020 12:22, which is not a whole number of time steps (300.00 s) after the "
                       "start of the run at 6/1/2020 12:00."),
              std::string::npos)
        << out;

    g_error_record = kesta::error_record{};
    out = scan(head + "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 11 55 6.0\nRATES 2020 6 1 12 25 0.0\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("event 2 (line 11): the event begins at 6/1/2020 11:55, before the last data line of "
                       "event 1 at 6/1/2020 12:05"),
              std::string::npos)
        << out;

    // One second a step: 2090 lies beyond the steps the clock can count.
    g_error_record = kesta::error_record{};
    set_step(1.0);
    out = scan(head + "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2090 6 1 12 0 6.0\nRATES 2090 6 1 12 25 0.0\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_NE(out.find("event 2 (line 11): the event begins at 6/1/2090 12:00, more time steps (1.00 s) after "
                       "the start of the run"),
              std::string::npos)
        << out;
    set_step(300.0);

    // An event run simulates its first event only: later events are not its concern.
    g_error_record = kesta::error_record{};
    m.long_term = 0;
    scan(head + "EVENT b\nNRGAG 1\nNRPDS 2\nCOORD 5 5\nRATES 2020 6 1 12 22 6.0\nRATES 2020 6 1 12 25 0.0\n");
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(g_error_record.stop, 0);
}

TEST_F(RainBetweenSteps, EventWhoseStartThePassedClockMissedStopsTheRun) {
    m.long_term = 1;
    m.hmet_first_record = kesta::date_record{2020, 6, 1, 12, 0, 0};
    scan(kTwoEvents);
    ASSERT_EQ(g_error_record.code, 0);
    m.event_start_times[2] = julday(2020, 6, 1, 12, 12, 0.0);  // as if between steps
    testing::internal::CaptureStdout();
    for (int i = 0; i < 4 && g_error_record.stop == 0; ++i) {
        kesta::advance_clock(m);
        kesta::step_event_precip(m);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(m.step, 3);  // 12:15, the first step past 12:12
    EXPECT_NE(out.find("Precipitation event 2 of file " + m.precip_file +
                       " begins at 6/1/2020 12:12, but the run reached 6/1/2020 12:15"),
              std::string::npos)
        << out;
}

struct PrecipLimits : ::testing::Test {
    void SetUp() override { g_error_record = kesta::error_record{}; }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Reads the first event of `text`; the reader's result.
    int read(const std::string& text) {
        g_error_record = kesta::error_record{};
        std::string name = dir.write("rain.dat", text);
        kesta::file_ptr fp = kesta::open_file(name, "r", 0);
        kesta::precip_cursor in;
        in.fp = fp.get();
        in.file_name = "rain.dat";
        testing::internal::CaptureStdout();
        const int result = kesta::read_precip_event(in, ev);
        out = testing::internal::GetCapturedStdout();
        return result;
    }
    bool refused() const { return g_error_record.code == 4000 && g_error_record.stop == 1; }
    bool says(const std::string& text) const { return out.find(text) != std::string::npos; }

    kesta_test::temp_dir dir;
    kesta::precip_event ev;
    std::string out;
};

// `n` RATES lines a minute apart from 2020-06-01 00:00.
std::string rate_lines(int n) {
    std::string text;
    for (int p = 0; p < n; ++p)
        text += "RATES 2020 6 " + std::to_string(1 + p / 1440) + " " + std::to_string(p % 1440 / 60) + " " +
                std::to_string(p % 60) + " 1.5\n";
    return text;
}

TEST_F(PrecipLimits, CountsAboveTheLimitsAreRefusedBeforeAnyTableIsMade) {
    EXPECT_EQ(read("EVENT most\nNRGAG 1\nNRPDS 1999\nCOORD 0 0\n" + rate_lines(1999)), 1);
    EXPECT_DOUBLE_EQ(ev.values[1][1999], 1.5);

    EXPECT_EQ(read("EVENT long\nNRGAG 1\nNRPDS 2000\nCOORD 0 0\n" + rate_lines(2000)), 0);
    EXPECT_TRUE(refused());
    EXPECT_TRUE(says("In precipitation file rain.dat, event 1 titled:\n long\nline 3: the event has 2000 data "
                     "lines (NRPDS); at most 1999 are accepted."))
        << out;

    // Nothing follows the counts: a table of that size is never attempted.
    EXPECT_EQ(read("EVENT huge\nNRPDS 2000000000\nNRGAG 1\n"), 0);
    EXPECT_TRUE(refused());
    EXPECT_EQ(read("EVENT wide\nNRGAG 2000000000\nNRPDS 3\n"), 0);
    EXPECT_TRUE(refused());
    EXPECT_TRUE(says("line 2: the event has 2000000000 gauges; at most 5000 are accepted.")) << out;
}

TEST_F(PrecipLimits, RadarFileNamesLongerThan149CharactersAreRefused) {
    const std::string head = "EVENT r\nNRGAG FILES\nNRPDS 1\nRADAR 2020 6 1 12 0 ";
    EXPECT_EQ(read(head + std::string(149, 'a') + "\n"), 1);
    EXPECT_EQ(read(head + std::string(150, 'a') + "\n"), 0);
    EXPECT_TRUE(refused());
    EXPECT_TRUE(says("line 4: the radar file name of data line 1 has 150 characters; at most 149")) << out;
}

TEST_F(PrecipLimits, DatesThatAreNoCalendarDateAreRefusedWithTheirLineAndValue) {
    const std::string head = "EVENT d\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 6 1 12 0 1.0\n";
    const struct {
        const char* date;
        const char* says;
    } bad[] = {
        {"2001 6 31 12 0", "line 6: data line 2 has the date 2001 6 31 12 0, whose day 31 is not a valid day."},
        {"2001 13 1 12 0", "whose month 13 is not a valid month."},
        {"2001 2 29 12 0", "whose day 29 is not a valid day."},
        {"2001 6 1 25 0", "whose hour 25 is not a valid hour."},
        {"2001 6 1 24 30", "whose hour 24 is not a valid hour."},
        {"2001 6 1 12 60", "whose minute 60 is not a valid minute."},
        {"2001 6 0 12 0", "whose day 0 is not a valid day."},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.date);
        EXPECT_EQ(read(head + "RATES " + b.date + " 1.0\n"), 0);
        EXPECT_TRUE(refused());
        EXPECT_TRUE(says(b.says)) << out;
        EXPECT_TRUE(says("In precipitation file rain.dat, event 1")) << out;
    }
    EXPECT_EQ(read("EVENT leap\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2000 2 29 12 0 1.0\n"), 1);
}

TEST_F(PrecipLimits, LinesAreOrderedByTheirTimeSo2400IsMidnightOfTheNextDay) {
    EXPECT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nRATES 2001 6 1 23 0 1.0\n"
                   "RATES 2001 6 2 0 0 2.0\nRATES 2001 6 1 24 0 3.0\n"),
              1);
    EXPECT_DOUBLE_EQ(ev.line_time(3), ev.line_time(2));
    EXPECT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 6 1 24 0 1.0\nRATES 2001 6 1 23 59 2.0\n"),
              0);
    EXPECT_TRUE(says("Which is earlier than the date/time on the previous line:  6/1/2001 24:00")) << out;
}

}  // namespace
