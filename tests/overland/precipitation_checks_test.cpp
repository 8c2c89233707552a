// Rain that falls between the steps of the clock, the limits and dates the
// precipitation file must keep, events the clock could never meet, and the
// close of an event that the next one interrupts.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "core/calendar.hpp"
#include "core/file_opener.hpp"
#include "input/input_steps.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/precipitation.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta::g_error_record;
using kesta::julday;
using kesta_test::has;
using kesta_test::printed_by;

// An event of one gauge at (5, 5) whose `kind` lines ("RATES" or "GAGES")
// give "hour minute value" on `date`.
std::string event(const char* kind, std::initializer_list<const char*> lines, const char* date = "2020 6 1") {
    std::string text = "EVENT e\nNRGAG 1\nNRPDS " + std::to_string(lines.size()) + "\nCOORD 5 5\n";
    for (const char* l : lines) text += std::string(kind) + " " + date + " " + l + "\n";
    return text;
}

// Two events of 6 mm/h for 5 minutes, at 12:00 and 12:20.
const std::string kTwoEvents = event("RATES", {"12 0 6.0", "12 5 0.0"}) + event("RATES", {"12 20 6.0", "12 25 0.0"});

// Two cells of 10 m square (100 m2 each) stepped every `step` seconds.
struct RainBetweenSteps : ::testing::Test {
    void SetUp() override {
        kesta_test::plane p;
        p.cols = 2;
        kesta_test::make_plane(m, p, 300.0);
        m.grid_rows = 1;
        m.grid_cols = 2;
        m.north = 10.0;
        m.rain_from_file = m.rain_thiessen = 1;
        m.run_params.tot_time = 600;
        set_step(300.0);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    void set_step(double seconds) {
        m.timestep = seconds;
        m.dt_days = seconds / 86400.0;
        kesta::set_clock_interval(m.ov_interval_sec, m.ov_interval, seconds);
    }
    // Scans the file; on success the clock starts where the run would.
    std::string scan(const std::string& text) {
        g_error_record = kesta::error_record{};
        m.precip_file = dir.write("rain.dat", text);
        std::string name = m.precip_file;
        m.precip_file_fp = kesta::open_file(name, "r", 0);
        const std::string out = printed_by([&] { kesta::setup_optim_and_precip_events(m); });
        if (g_error_record.code == 0 && g_error_record.stop == 0) m.start_time = m.time = kesta::run_start_time(m);
        return out;
    }
    // Passes of the rain steps; the rate of cell 1 in each.
    std::vector<double> rates(int passes) {
        std::vector<double> r;
        for (int i = 0; i < passes; ++i) {
            printed_by([&] {
                kesta::advance_clock(m);
                kesta::step_event_precip(m);
                kesta::start_event(m);
                kesta::step_precip_period(m);
                kesta::apply_precip(m);
            });
            r.push_back(m.ri[1]);
        }
        return r;
    }
    kesta_test::temp_dir dir;
    kesta::model_state m;
};

TEST_F(RainBetweenSteps, GaugeLinesOneMinuteApartGiveTheFileTotalWhateverTheStep) {
    scan(event("GAGES", {"12 0 0.0", "12 1 1.0", "12 2 1.0", "12 3 1.0", "12 4 1.0", "12 5 1.0"}));
    ASSERT_EQ(g_error_record.code, 0);
    // 5 mm in the one 5-minute step: 60 mm/h, then nothing.
    EXPECT_EQ(rates(3), (std::vector<double>{60.0, 0.0, 0.0}));
    EXPECT_NEAR(m.h[1], 0.005, 1e-15);
    EXPECT_NEAR(m.volume_rainfall_overland, 2 * 100.0 * 0.005, 1e-12);
}

TEST_F(RainBetweenSteps, EventEndingWithinAStepRainsOnlyUpToItsLastLine) {
    scan(event("RATES", {"12 0 6.0", "12 2 0.0"}));
    EXPECT_EQ(rates(2), (std::vector<double>{6.0 * 2.0 / 5.0, 0.0}));
    EXPECT_EQ(m.raining, 0);
    EXPECT_NEAR(m.h[1], 6.0 * 2.0 / 60.0 / 1000.0, 1e-15);
}

// Uniform rain falls for its whole steps, then at the share of a step its
// duration leaves (the program run on a plane sees that share fall).
TEST_F(RainBetweenSteps, UniformRainShorterThanAStepFallsForItsShare) {
    m.rain_from_file = 0;
    m.uniform_rain = 1;
    m.rain_intensity = 30.0;
    m.time = julday(2020, 6, 1, 12, 0, 0.0);
    m.year = 2020;
    // In 300 s steps: 4 minutes are four fifths of a step, 11 minutes two
    // steps and a fifth, 10 minutes two steps.
    for (const auto& [minutes, steps, fraction] :
         {std::tuple{4.0, 0, 0.8}, std::tuple{11.0, 2, 0.2}, std::tuple{10.0, 2, 0.0}}) {
        m.rain_duration = minutes;
        kesta::init_run_times(m);
        EXPECT_EQ(g_error_record.code, 0);
        EXPECT_EQ(m.rain_steps, steps) << minutes;
        EXPECT_NEAR(m.rain_last_step_fraction, fraction, 1e-12) << minutes;
    }
}

// The first event still runs off when the second begins (no routing here,
// so its rain stays on the ground): it is ended and closed before the second
// is read, and the second starts from the water the first left.
TEST_F(RainBetweenSteps, EventStillRunningWhenTheNextBeginsIsClosedInALongTermRun) {
    m.long_term = 1;
    kesta_test::use_kvl_weather(m, dir, kesta_test::kvl_hours(2020, 6, 1, 12, 2));
    std::string summary = dir.file("summ.out");
    m.summary_fp = kesta::open_file(summary, "w", 0);
    scan(kTwoEvents);
    ASSERT_EQ(g_error_record.code, 0);
    rates(4);  // 12:00 to 12:15
    EXPECT_EQ(m.event_active, 1);
    EXPECT_EQ(m.finished_events, 0);
    rates(1);  // 12:20: event 2 begins
    EXPECT_EQ(m.finished_events, 1);
    EXPECT_EQ(m.event_index, 2);
    EXPECT_EQ(m.event_ended + m.event_done, 0);
    EXPECT_EQ(m.event_active, 1);
    EXPECT_NEAR(m.initial_volume_overland_flow, 2 * 100.0 * 0.0005, 1e-12);
    kesta::close_file(m.summary_fp);
    const std::string text = kesta_test::read_file(summary);
    const std::string label = "mass conservation error:";
    const std::size_t at = text.find(label);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find(label, at + 1), std::string::npos) << text;  // one event closed
    EXPECT_NEAR(std::stod(text.substr(at + label.size())), 0.0, 1e-9);
    EXPECT_TRUE(has(text, "Event began on 06/01/2020 at 12:00  GMT")) << text;
}

TEST_F(RainBetweenSteps, RunOfOneLandManagementEventEndsWhenTheNextEventBegins) {
    m.htp = m.htp_event_num_given = m.htp_event_num = 1;
    scan(kTwoEvents);
    m.running = 1;
    rates(5);
    EXPECT_EQ(m.finished_events, 1);
    EXPECT_EQ(m.event_index, 1);
    EXPECT_EQ(m.running, 0);
}

TEST_F(RainBetweenSteps, EventsTheClockCouldNeverMeetAreRefusedAtTheScan) {
    m.long_term = 1;
    kesta_test::use_kvl_weather(m, dir, kesta_test::kvl_hours(2020, 6, 1, 12, 2));
    const std::string first = event("RATES", {"12 0 6.0", "12 5 0.0"});
    const struct {
        std::string second;
        double step;
        std::string says;
    } cases[] = {
        {event("RATES", {"12 22 6.0", "12 25 0.0"}), 300.0,
         "In precipitation file " + dir.file("rain.dat") + ", event 2 (line 11): the event begins at 6/1/2020 12:22, "
         "which is not a whole number of time steps (300.00 s) after the start of the run at 6/1/2020 12:00."},
        {event("RATES", {"11 55 6.0", "12 25 0.0"}), 300.0,
         "event 2 (line 11): the event begins at 6/1/2020 11:55, before the last data line of event 1 at "
         "6/1/2020 12:05"},
        // One second a step: 2090 lies beyond the steps the clock can count.
        {event("RATES", {"12 0 6.0", "12 25 0.0"}, "2090 6 1"), 1.0,
         "event 2 (line 11): the event begins at 6/1/2090 12:00, more time steps (1.00 s) after the start of the "
         "run"},
    };
    for (const auto& c : cases) {
        set_step(c.step);
        const std::string out = scan(first + c.second);
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_TRUE(has(out, c.says)) << out;
    }

    // An event run simulates its first event only: later events are not its concern.
    set_step(300.0);
    m.long_term = 0;
    scan(first + cases[0].second);
    EXPECT_EQ(g_error_record.code + g_error_record.stop, 0);
}

TEST_F(RainBetweenSteps, EventWhoseStartThePassedClockMissedStopsTheRun) {
    m.long_term = 1;
    kesta_test::use_kvl_weather(m, dir, kesta_test::kvl_hours(2020, 6, 1, 12, 2));
    scan(kTwoEvents);
    ASSERT_EQ(g_error_record.code, 0);
    m.event_start_times[2] = julday(2020, 6, 1, 12, 12, 0.0);  // as if between steps
    const std::string out = printed_by([&] {
        for (int i = 0; i < 4 && g_error_record.stop == 0; ++i) {
            kesta::advance_clock(m);
            kesta::step_event_precip(m);
        }
    });
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(m.step, 3);  // 12:15, the first step past 12:12
    EXPECT_TRUE(has(out, "Precipitation event 2 of file " + m.precip_file +
                             " begins at 6/1/2020 12:12, but the run reached 6/1/2020 12:15"))
        << out;
}

// Reads the first event of a precipitation file.
struct PrecipLimits : ::testing::Test {
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // The reader's result for `text`.
    int read(const std::string& text) {
        g_error_record = kesta::error_record{};
        std::string name = dir.write("rain.dat", text);
        kesta::file_ptr fp = kesta::open_file(name, "r", 0);
        kesta::precip_cursor in;
        in.fp = fp.get();
        in.file_name = "rain.dat";
        int result = -1;
        out = printed_by([&] { result = kesta::read_precip_event(in, ev); });
        return result;
    }

    kesta_test::temp_dir dir;
    kesta::precip_event ev;
    std::string out;
};

// An event of one gauge with `n` RATES lines a minute apart from 2020-06-01 00:00.
std::string minute_rates(int n) {
    std::string text = "EVENT long\nNRGAG 1\nNRPDS " + std::to_string(n) + "\nCOORD 0 0\n";
    for (int p = 0; p < n; ++p)
        text += "RATES 2020 6 " + std::to_string(1 + p / 1440) + " " + std::to_string(p % 1440 / 60) + " " +
                std::to_string(p % 60) + " 1.5\n";
    return text;
}

const std::string kRadar = "EVENT r\nNRGAG FILES\nNRPDS 1\nRADAR 2020 6 1 12 0 ";

TEST_F(PrecipLimits, EventsBeyondTheLimitsOrOffTheCalendarAreRefusedWithTheirLineAndValue) {
    const std::string dated = "EVENT \"d\"\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2001 6 1 12 0 1.0\nGAGES ";
    const std::pair<std::string, std::string> refused[] = {
        {minute_rates(2000), " long\nline 3: the event has 2000 data lines (NRPDS); at most 1999 are accepted."},
        // Nothing follows the counts: a table of that size is never attempted.
        {"EVENT huge\nNRPDS 2000000000\nNRGAG 1\n", " huge\nline 2: "},
        {"EVENT wide\nNRGAG 2000000000\nNRPDS 3\n",
         "line 2: the event has 2000000000 gauges; at most 5000 are accepted."},
        {kRadar + std::string(150, 'a') + "\n",
         "line 4: the radar file name of data line 1 has 150 characters; at most 149"},
        {dated + "2001 6 31 12 0 1.0\n",
         " \"d\"\nline 6: data line 2 has the date 2001 6 31 12 0, whose day 31 is not a valid day."},
        {dated + "2001 13 1 12 0 1.0\n", "whose month 13 is not a valid month."},
        {dated + "2001 2 29 12 0 1.0\n", "whose day 29 is not a valid day."},
        {dated + "2001 6 1 25 0 1.0\n", "whose hour 25 is not a valid hour."},
        {dated + "2001 6 1 24 30 1.0\n", "whose hour 24 is not a valid hour."},
        {dated + "2001 6 1 12 60 1.0\n", "whose minute 60 is not a valid minute."},
        {dated + "2001 6 0 12 0 1.0\n", "whose day 0 is not a valid day."},
        {dated + "2001 6 1 12 10 nan\n",
         " \"d\"\nline 6: gauge 1 has the value \"nan\" on data line 2, which is not a number.\n"},
    };
    for (const auto& [text, says] : refused) {
        SCOPED_TRACE(text.substr(0, 70));
        EXPECT_EQ(read(text), 0);
        EXPECT_EQ(g_error_record.code, 4000);
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_TRUE(has(out, "In precipitation file rain.dat, event 1 titled:\n")) << out;
        EXPECT_TRUE(has(out, says)) << out;
    }
}

TEST_F(PrecipLimits, EventsAtTheLimitsAreReadAndLinesAreOrderedByTheirTime) {
    EXPECT_EQ(read(minute_rates(1999)), 1);
    EXPECT_DOUBLE_EQ(ev.values[1][1999], 1.5);
    EXPECT_EQ(read(kRadar + std::string(149, 'a') + "\n"), 1);
    EXPECT_EQ(read("EVENT leap\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2000 2 29 12 0 1.0\n"), 1);
    // Lines are ordered by their time: 24:00 is midnight of the next day.
    EXPECT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nRATES 2001 6 1 23 0 1.0\n"
                   "RATES 2001 6 2 0 0 2.0\nRATES 2001 6 1 24 0 3.0\n"),
              1);
    EXPECT_DOUBLE_EQ(ev.line_time(3), ev.line_time(2));
    EXPECT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nRATES 2001 6 1 24 0 1.0\nRATES 2001 6 1 23 59 2.0\n"),
              0);
    EXPECT_TRUE(has(out, "Which is earlier than the date/time on the previous line:  6/1/2001 24:00")) << out;
}

}  // namespace
