// The rain steps: events that change the rates at every period, rain that
// falls between the steps of the clock, events the clock could never meet,
// the close of an event that the next one interrupts, and the step's rain
// put on the cells, their lakes and their snow.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/file_opener.hpp"
#include "core/thread_team.hpp"
#include "input/input_steps.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/precipitation.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta::g_error_record;
using kesta::julday;
using kesta::model_state;
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

// Two cells of 10 m square (100 m2 each) stepped every `step` seconds, rain
// from a precipitation file.
struct rain_watershed {
    explicit rain_watershed(double step = 300.0) {
        g_error_record = kesta::error_record{};
        kesta_test::make_plane(m, {1, 2}, step);
        m.grid_rows = 1;
        m.grid_cols = 2;
        m.north = 10.0;
        m.rain_from_file = m.rain_thiessen = 1;
        m.run_params.tot_time = 600;
        set_step(step);
    }
    ~rain_watershed() { g_error_record = kesta::error_record{}; }

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
    model_state m;
};

struct RainBetweenSteps : ::testing::Test, rain_watershed {};

TEST(RainSteps, EventsRainEachIntervalAndStopAfterTheirLastLine) {
    struct rain_case {
        const char* what;
        double step;  // s
        bool long_term;
        std::string file;
        std::vector<double> rates;  // mm/h of cell 1, pass by pass
        int rain_steps;             // of the last event
        double rain_began;          // elapsed minutes at the last event's first step with rain
    };
    const char* may = "2001 5 10";
    const rain_case cases[] = {
        {"gauge depths rain over the interval that ends at their line", 600.0, false,
         event("GAGES", {"10 0 0.0", "10 30 5.0", "11 0 2.5"}, may), {10, 10, 10, 5, 5, 5, 0, 0}, 6, 0.0},
        // 5 mm in the one 5-minute step: 60 mm/h, then nothing.
        {"gauge lines a minute apart give the file total whatever the step", 300.0, false,
         event("GAGES", {"12 0 0.0", "12 1 1.0", "12 2 1.0", "12 3 1.0", "12 4 1.0", "12 5 1.0"}), {60, 0, 0}, 1,
         0.0},
        {"a rate event ignores the rate of its last line", 600.0, false,
         event("RATES", {"10 0 4.0", "10 30 2.0", "11 0 6.0"}, may), {4, 4, 4, 2, 2, 2, 0}, 6, 0.0},
        {"an event ending within a step rains only up to its last line", 300.0, false,
         event("RATES", {"12 0 6.0", "12 2 0.0"}), {6.0 * 2.0 / 5.0, 0}, 1, 0.0},
        // The later of two equal lines holds; the step from 10:10 rains
        // 5 min at 3 and 5 min at 2.
        {"lines at the same time or between steps do not stall the event", 600.0, false,
         event("RATES", {"10 0 4.0", "10 0 3.0", "10 15 2.0", "10 40 0.0"}, may), {3, 2.5, 2, 2, 0, 0}, 4, 0.0},
        {"a single-line event gives no rain", 600.0, false, event("RATES", {"10 0 4.0"}, may), {0}, 0, 0.0},
        // Event b's count and start are its own, from the step that starts at 10:30.
        {"a long-term run starts each event at its time and counts its rain afresh", 600.0, true,
         event("RATES", {"10 0 4.0", "10 20 0.0"}, may) + event("RATES", {"10 30 9.0", "10 50 0.0"}, may),
         {4, 4, 0, 9, 9, 0}, 2, 30.0},
    };
    for (const rain_case& c : cases) {
        SCOPED_TRACE(c.what);
        rain_watershed w(c.step);
        model_state& m = w.m;
        m.long_term = c.long_term;
        if (c.long_term) kesta_test::use_kvl_weather(m, w.dir, kesta_test::kvl_hours(2001, 5, 10, 10, 2));
        w.scan(c.file);
        ASSERT_EQ(g_error_record.code, 0);
        EXPECT_EQ(w.rates(static_cast<int>(c.rates.size())), c.rates);
        EXPECT_EQ(m.event_index, m.nevents);
        EXPECT_EQ(m.raining, 0);
        EXPECT_EQ(m.precip_state, 0);
        EXPECT_EQ(m.number_timesteps_rain, c.rain_steps);
        EXPECT_DOUBLE_EQ(m.elapsed_min_rain_began, c.rain_began);
        // Each pass at r mm/h puts r x step / 3.6e6 m on both cells of
        // 100 m2; the rain volume is the last event's own.
        double depth = 0.0, event_depth = 0.0, before = 0.0;
        for (double r : c.rates) {
            if (c.long_term && before == 0.0) event_depth = 0.0;  // a new event's rain begins
            depth += r * c.step / 3.6e6;
            event_depth += r * c.step / 3.6e6;
            before = r;
        }
        EXPECT_NEAR(m.h[1], depth, 1e-15);
        EXPECT_NEAR(m.volume_rainfall_overland, 2 * 100.0 * event_depth, 1e-12);
    }
}

// Uniform rain of 30 mm/h in 300 s steps falls for the whole steps of its
// duration, then at the share of a step its duration leaves, then stops: 4
// minutes are four fifths of a step, 11 minutes two steps and a fifth, 10
// minutes two steps.
TEST(UniformRain, FallsForItsWholeStepsThenItsShareOfOneMore) {
    const struct {
        double minutes;
        int steps;
        double fraction;
        std::vector<double> rates;  // mm/h, pass by pass
    } cases[] = {
        {4.0, 0, 0.8, {30.0 * (240.0 / 300.0), 0.0}},
        {11.0, 2, 0.2, {30.0, 30.0, 30.0 * (60.0 / 300.0), 0.0}},
        {10.0, 2, 0.0, {30.0, 30.0, 0.0, 0.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        rain_watershed w;
        model_state& m = w.m;
        m.rain_from_file = 0;
        m.uniform_rain = 1;
        m.rain_intensity = 30.0;
        m.start_time = m.time = julday(2020, 6, 1, 12, 0, 0.0);
        m.year = 2020;
        m.rain_duration = c.minutes;
        kesta::init_run_times(m);
        EXPECT_EQ(g_error_record.code, 0);
        EXPECT_EQ(m.rain_steps, c.steps);
        EXPECT_NEAR(m.rain_last_step_fraction, c.fraction, 1e-12);
        EXPECT_EQ(w.rates(static_cast<int>(c.rates.size())), c.rates);
        EXPECT_NEAR(m.h[2], 30.0 * c.minutes / 60.0 / 1000.0, 1e-15);
        EXPECT_EQ(m.precip_state, 3);
        EXPECT_EQ(m.event_active, 0);
    }
}

// The first event still runs off when the second begins (no routing here,
// so its rain stays on the ground): it is ended and closed before the second
// is read, and the second starts from the water the first left.
TEST_F(RainBetweenSteps, EventStillRunningWhenTheNextBeginsIsClosedInALongTermRun) {
    m.long_term = 1;
    kesta_test::use_kvl_weather(m, dir, kesta_test::kvl_hours(2020, 6, 1, 12, 2));
    std::string summary = dir.file("summ.out");
    kesta_test::open_output(m, m.summary_fp, summary);
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
    kesta::close_output(m, m.summary_fp);
    const std::string text = kesta_test::read_file(summary), label = "mass conservation error:";
    EXPECT_EQ(text.find(label), text.rfind(label)) << text;  // one event closed
    EXPECT_NEAR(kesta_test::value_after(text, label), 0.0, 1e-9) << text;
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

    // A land-management run refuses it too; an event run simulates its first
    // event only: later events are not its concern.
    set_step(300.0);
    m.long_term = 0;
    m.htp = 1;
    const std::string out = scan(first + cases[0].second);
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(has(out, cases[0].says)) << out;
    m.htp = 0;
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

// Three 10 m cells under 36 mm/h (0.01 mm/s) in 100 s steps: 1 mm a step.
struct ApplyRain : ::testing::Test {
    void SetUp() override {
        kesta_test::make_plane(m, {1, 3}, 100.0);
        for (int k = 1; k <= 3; ++k) m.ri[k] = 36.0;
        m.timestep = 100.0;
        m.dt_days = 100.0 / 86400.0;
        m.precip_state = 1;
    }
    model_state m;
};

TEST_F(ApplyRain, LakeCellsTakeTheRainIntoTheirLake) {
    m.chan_lakes_on = 1;
    m.lake_num = kesta::vec1<int>(3);
    m.lake_num[1] = 1;
    m.lake_precip_vol = kesta::vec1<double>(1);
    m.overland_lake_map_given = 1;
    m.oland_lake_new = kesta::vec1<int>(3);
    m.oland_lake_new[2] = 1;
    m.oland_lakes.resize(2);
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.0);
    EXPECT_DOUBLE_EQ(m.h[2], 0.0);
    EXPECT_DOUBLE_EQ(m.h[3], 0.001);
    EXPECT_NEAR(m.lake_precip_vol[1], 0.1, 1e-12);
    EXPECT_NEAR(m.volume_precip_to_lake, 0.1, 1e-12);
    EXPECT_NEAR(m.oland_lakes[1].step_volume, 0.1, 1e-12);
    EXPECT_EQ(m.olake_update_due, 1);
    EXPECT_NEAR(m.volume_rainfall_overland, 0.2, 1e-12);  // the overland lake is land surface
}

TEST_F(ApplyRain, BelowFreezingTheRainBecomesSnowOnlyInLongTermRuns) {
    m.long_term = 1;
    m.snowdepth = kesta::vec1<double>(3);
    m.hmet_air_temp = -0.5;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.snowdepth[1], 0.001);
    EXPECT_DOUBLE_EQ(m.h[1], 0.0);
    EXPECT_EQ(m.snow_present, 1);
    m.hmet_air_temp = 0.0;  // at 0 deg C it rains
    m.time += m.dt_days;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
    EXPECT_DOUBLE_EQ(m.snowdepth[1], 0.001);
    m.precip_state = 0;  // between events nothing falls
    m.time += m.dt_days;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
}

// The volume that `rate(k)` (mm/h) lays on cells 1..last of the plane of
// 100 m cells in a step, summed by blocks from the running volume `from`: the
// first block added to it cell by cell, each later one summed on its own.
template <class Rate>
double volume_by_blocks(const Rate& rate, double from, int last) {
    double total = from, block = 0.0;
    for (int k = 1; k <= last; ++k) {
        const double v = rate(k) * 100.0 * 100.0 / 3600000.0;
        if (k <= kesta::kRainBlockCells) total += v;
        else block += v;
        if (k > kesta::kRainBlockCells && (k % kesta::kRainBlockCells == 0 || k == last)) {
            total += block;
            block = 0.0;
        }
    }
    return total;
}

// Rain on a plane of three blocks of cells, under uneven rates, on one
// thread and on four: the same depths and volumes, bit for bit, the volumes
// summed by blocks in order; a depth that is no number stops the rain
// there, the volumes running to its cell.
TEST(ApplyRainOnLargeGrids, BlocksSumInOrderOnAnyThreadCount) {
    constexpr int kCells = 2 * kesta::kRainBlockCells + 100;
    const auto rate = [](int k) { return 1.0 + (k * 7919 % 1000) / 37.0; };  // mm/h
    struct rained {
        double volume;
        std::string said;
        std::vector<double> h;
    };
    auto rain = [&rate](int threads, int bad_cell) {
        omp_set_num_threads(threads);
        model_state m;
        kesta_test::make_plane(m, {1, kCells}, 100.0);
        for (int k = 1; k <= kCells; ++k) m.ri[k] = rate(k);
        if (bad_cell) m.h[bad_cell] = std::numeric_limits<double>::infinity();
        m.timestep = 100.0;
        m.precip_state = 1;
        m.volume_rainfall_overland = 1234.5678;
        const std::string said = printed_by([&m] { kesta::apply_precip(m); });
        omp_set_num_threads(omp_get_num_procs());
        EXPECT_EQ(g_error_record.stop != 0, bad_cell != 0);
        g_error_record = kesta::error_record{};
        return rained{m.volume_rainfall_overland, said, std::vector<double>(m.h.data(), m.h.data() + kCells + 1)};
    };
    const auto by_blocks = [&rate](int last) { return volume_by_blocks(rate, 1234.5678, last); };
    const int share = kesta::set_cells_per_thread(1000);  // the plane splits over four threads
    const rained one = rain(1, 0), four = rain(4, 0);
    EXPECT_EQ(four.volume, one.volume);
    EXPECT_TRUE(one.h == four.h);
    EXPECT_EQ(one.volume, by_blocks(kCells));
    EXPECT_EQ(one.said, "");
    // Every cell's depth is its rate times the step over 3.6e6, as one cell
    // alone would have it (the grid started dry).
    int wrong = 0;
    for (int k = 1; k <= kCells; ++k) wrong += one.h[static_cast<std::size_t>(k)] != rate(k) * 100.0 / 3600000.0;
    EXPECT_EQ(wrong, 0);

    const int bad = kesta::kRainBlockCells + 5000;
    const rained cut = rain(4, bad);
    EXPECT_EQ(cut.volume, by_blocks(bad));
    EXPECT_TRUE(has(cut.said, "overland cell " + std::to_string(bad) + " after applying rainfall")) << cut.said;
    kesta::set_cells_per_thread(share);
}

// A gauge's rain lies in runs of one rate, which the rain pass lays once a
// run: runs across the pass's chunks and blocks, rates that differ only in
// the sign of zero (on depths of -0 and +0), a lone rate in a run and a run
// of NaN, on a grid of several groups of blocks (parts of the team's job).
// Every depth has the bits the cell alone would give it and the volumes are
// the blocks' sums in order (the first block's cell by cell), on one thread
// or four. A depth that the rain leaves infinite, in the first block or a
// later one, is named and the volumes run to it; so is the first cell of a
// run of NaN rates.
TEST(ApplyRainOnLargeGrids, RunsOfOneRateLayWhatEachCellWould) {
    constexpr int kCells = 9 * kesta::kRainBlockCells + 300;
    const auto rate = [](int k) {
        if (k % 1000 == 999) return 3.25;  // a lone rate within a run
        const int run = k / 700 % 3;
        return run == 0 ? 12.5 : run == 1 ? 0.0 : -0.0;
    };
    const auto start = [](int k) { return k % 2 ? -0.0 : 0.0; };
    const auto bits = [](double v) {
        std::uint64_t b = 0;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    const auto by_blocks = [&rate](double from, int last) { return volume_by_blocks(rate, from, last); };
    const int share = kesta::set_cells_per_thread(1000);
    for (const int threads : {1, 4}) {
        for (const int bad : {0, 5000, 5 * kesta::kRainBlockCells + 4321, -(3 * kesta::kRainBlockCells + 77)}) {
            // bad > 0: an infinite depth there; bad < 0: NaN rates from -bad.
            SCOPED_TRACE(testing::Message() << threads << " threads, cell " << bad);
            omp_set_num_threads(threads);
            model_state m;
            kesta_test::make_plane(m, {1, kCells}, 100.0);
            for (int k = 1; k <= kCells; ++k) {
                const bool nan_rate = bad < 0 && k >= -bad && k <= -bad + 600;
                m.ri[k] = nan_rate ? std::numeric_limits<double>::quiet_NaN() : rate(k);
                m.h[k] = k == bad ? std::numeric_limits<double>::infinity() : start(k);
            }
            m.timestep = 100.0;
            m.precip_state = 1;
            m.volume_rainfall_overland = 1234.5678;
            const std::string said = printed_by([&m] { kesta::apply_precip(m); });
            if (bad < 0) {
                EXPECT_TRUE(std::isnan(m.volume_rainfall_overland));
            } else {
                EXPECT_EQ(m.volume_rainfall_overland, by_blocks(1234.5678, bad ? bad : kCells));
            }
            if (bad) {
                EXPECT_TRUE(has(said, "overland cell " + std::to_string(std::abs(bad)) + " after applying rainfall"))
                    << said;
                g_error_record = kesta::error_record{};
                continue;
            }
            EXPECT_EQ(said, "");
            int wrong = 0;
            for (int k = 1; k <= kCells; ++k) wrong += bits(m.h[k]) != bits(start(k) + rate(k) * 100.0 / 3600000.0);
            EXPECT_EQ(wrong, 0);
        }
    }
    omp_set_num_threads(omp_get_num_procs());
    kesta::set_cells_per_thread(share);
}

}  // namespace
