// Precipitation: events read from their file and turned into rates, the
// rain steps that change the rates at every period, and the step's rain put
// on the cells.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <omp.h>
#include <utility>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "input/input_steps.hpp"
#include "model/clock_steps.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "overland/overland_steps.hpp"
#include "overland/precipitation.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;
using kesta_test::has;

// An event of one gauge and `count` data lines.
std::string event(const char* title, const std::string& lines, int count) {
    return std::string("EVENT ") + title + "\nNRGAG 1\nNRPDS " + std::to_string(count) + "\nCOORD 5 995\n" + lines;
}

struct PrecipFile : ::testing::Test {
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Reads the first event of `text`; returns the reader's result.
    int read(const std::string& text) {
        g_error_record = kesta::error_record{};
        name = dir.write("rain.dat", text);
        fp = kesta::open_file(name, "r", 0);
        in.fp = fp.get();
        in.file_name = "rain.dat";
        kesta::rewind_precip(in);
        int result = 0;
        out = kesta_test::printed_by([&] { result = kesta::read_precip_event(in, ev); });
        return result;
    }
    // The rate (mm/h) of every gauge over every period of the event.
    std::vector<std::vector<double>> rates() {
        kesta::precip_values_to_rates(ev);
        std::vector<std::vector<double>> r(static_cast<std::size_t>(ev.ngauges));
        for (int g = 1; g <= ev.ngauges; ++g)
            for (int p = 1; p < ev.nlines; ++p) r[static_cast<std::size_t>(g - 1)].push_back(ev.values[g][p]);
        return r;
    }

    kesta_test::temp_dir dir;
    std::string name;
    kesta::file_ptr fp;
    kesta::precip_cursor in;
    kesta::precip_event ev;
    std::string out;
};

const char* kGages =
    "EVENT storm of May\nNRGAG 1\nNRPDS 3\nCOORD 100.0 200.0 gauge one\n"
    "GAGES 2001 5 10 10 0 0.0\nGAGES 2001 5 10 10 30 5.0\nGAGES 2001 5 10 11 0 2.5\n";
const std::string kMonthEnd = event("m", "GAGES 99 1 31 23 0 0.0\nGAGES 99 2 1 1 0 4.0\n", 2);

TEST_F(PrecipFile, EventCardsGiveItsTitleGaugesAndLineTimes) {
    ASSERT_EQ(read(kGages), 1);
    EXPECT_EQ(ev.title, "storm of May");
    EXPECT_EQ(ev.ngauges, 1);
    EXPECT_EQ(ev.nlines, 3);
    EXPECT_DOUBLE_EQ(ev.easting[1], 100.0);
    EXPECT_DOUBLE_EQ(ev.line_time(1), kesta::julday(2001, 5, 10, 10, 0, 0.0));
    ASSERT_EQ(read(kMonthEnd), 1);
    EXPECT_EQ(ev.dates[1].year, 1999);  // two-digit years are of the 1900s

    // Keywords match on their first four letters in any case.
    ASSERT_EQ(read("some words first\nevents Mixed case\nNrGaGes 1\nnrpds 1\ncoordinate 5 6\n"
                   "gagesx 2001 5 10 10 0 1.0\n"),
              1);
    EXPECT_EQ(ev.title, "Mixed case");
    EXPECT_EQ(ev.gages, 1);
    EXPECT_DOUBLE_EQ(ev.northing[1], 6.0);
}

TEST_F(PrecipFile, EachKindOfDataBecomesTheRateOfItsIntervals) {
    struct rate_case {
        const char* what;
        std::string text;
        std::vector<std::vector<double>> rates;  // [gauge][period], mm/h
    };
    // Gauge depths, the depth of the line that ends the interval, are stepped in RainSteps below.
    const rate_case cases[] = {
        {"rates hold from their line", "EVENT r\nNRPDS 3 NRGAG 1\nCOORD 0 0\nRATES 2001 5 10 10 0 4.0\n"
                                       "RATES 2001 5 10 10 30 2.0\nRATES 2001 5 10 11 0 6.0\n",
         {{4.0, 2.0}}},
        // 3 mm in 0.5 h, 1.5 mm in 1 h; the second gauge 3 mm in 1 h.
        {"accumulations rise over the interval", "EVENT a\nNRGAG 2\nNRPDS 3\nCOORD 0 0\nCOORD 10 10\n"
                                                 "ACCUM 2001 5 10 10 0 0.0 1.0\nACCUM 2001 5 10 10 30 3.0 1.0\n"
                                                 "ACCUM 2001 5 10 11 30 4.5 4.0\n",
         {{6.0, 1.5}, {0.0, 3.0}}},
        {"intervals count the days of the month they cross", kMonthEnd, {{2.0}}},  // 4 mm over 2 h
    };
    for (const rate_case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(read(c.text), 1) << out;
        EXPECT_EQ(rates(), c.rates);
    }
}

TEST_F(PrecipFile, EventOfRadarFilesKeepsOneFileALine) {
    ASSERT_EQ(read("EVENT radar\nNRGAG FILES\nNRPDS 2\n"
                   "RADAR 2001 5 10 10 0 first.asc\nRADAR 2001 5 10 10 15 second file.asc\n"),
              1);
    EXPECT_EQ(ev.radar, 2);
    EXPECT_EQ(ev.ngauges, 1);
    EXPECT_EQ(ev.radar_files[1], "first.asc");
    EXPECT_EQ(ev.radar_files[2], "second file.asc");
}

TEST_F(PrecipFile, EndsOfFileAndRefusalsAreToldApart) {
    struct read_case {
        std::string text;
        int result;
        int code;  // 4000 for a refusal, which stops the run
        std::vector<std::string> says;
    };
    const read_case cases[] = {
        {"nothing to read here\n", 0, 0, {}},
        {event("cut", "GAGES 2001 5 10 10 0 0.0\n", 3), -1, 0,
         {"last year 2001 last month 5 last day 10 last hour 10 last minute 0"}},
        {event("back", "RATES 2001 5 10 10 30 1.0\nRATES 2001 5 10 10 29 1.0\n", 2), 0, 4000,
         {"Which is earlier than the date/time on the previous line"}},
        // Gauge depths need an interval; rates with the same time are no interval of rain.
        {event("same", "GAGES 2001 5 10 10 30 1.0\nGAGES 2001 5 10 10 30 2.0\n", 2), 0, 4000,
         {"event 1 titled:\n same\nline 6:"}},
        {event("same", "RATES 2001 5 10 10 30 1.0\nRATES 2001 5 10 10 30 2.0\n", 2), 1, 0, {}},
        {event("acc", "ACCUM 2001 5 10 10 0 1.0\nACCUM 2001 5 10 10 30 0.5\n", 2), 0, 4000,
         {"Accumulated precip is CUMULATIVE"}},
        {event("neg", "RATES 2001 5 10 10 0 -2.0\n", 1), 0, 4000,
         {"rain.dat, event 1", "line 5: gauge 1 has the negative value -2.0"}},
        {"EVENT none\nNRGAG 0\nNRPDS 2\n", 0, 4000, {}},
        {"EVENT none\nNRGAG 1\nNRPDS 0\n", 0, 4000, {}},
        {"EVENT files\nNRGAG files\nNRPDS 1\nGAGES 2001 5 10 10 0 a.asc\n", 0, 4000,
         {"must give its lines as RADAR"}},
        {event("mixed", "GAGES 2001 5 10 10 0 1.0\nRATES 2001 5 10 10 30 1.0\n", 2), 0, 4000,
         {"More than one precipitation data card type"}},
        {event("odd", "DEPTH 2001 5 10 10 0 1.0\n", 1), 0, 4000,
         {"At least one precipitation data card type"}},
        // A data line beyond NRPDS would be dropped; the next event is no such line.
        {std::string(kGages) + "GAGES 2001 5 10 11 30 1.0\n", 0, 4000,
         {"rain.dat, event 1", "line 8: a GAGES data line follows the event's 3 data lines (NRPDS 3)"}},
        {std::string(kGages) + event("next", "RATES 2001 5 11 10 0 1.0\n", 1), 1, 0, {}},
    };
    for (const read_case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.text), c.result);
        EXPECT_EQ(g_error_record.code, c.code);
        EXPECT_EQ(g_error_record.stop, c.code != 0);
        for (const std::string& part : c.says) EXPECT_TRUE(has(out, part)) << out;
    }
}

TEST(NearestGauge, EachCellTakesItsGaugesRate) {
    kesta::mat2<double> values(2, 1);
    values[1][1] = 3.0;
    values[2][1] = 7.0;
    kesta::vec1<int> nearest(3);
    nearest[1] = 2;
    nearest[2] = 1;
    nearest[3] = 0;  // no gauge found for this cell
    kesta::vec1<double> ri(3);
    kesta::nearest_gauge_rain(1, 2, nearest, values, ri, 3);
    EXPECT_EQ((std::vector<double>{ri[1], ri[2], ri[3]}), (std::vector<double>{7.0, 3.0, 0.0}));
    kesta::nearest_gauge_rain(1, 1, nearest, values, ri, 3);  // one gauge: every cell
    EXPECT_EQ((std::vector<double>{ri[1], ri[2], ri[3]}), (std::vector<double>{3.0, 3.0, 3.0}));
}

// A watershed of two cells, 10 m square, stepped every 10 minutes.
struct rain_watershed {
    rain_watershed() {
        g_error_record = kesta::error_record{};
        kesta_test::plane p;
        p.cols = 2;
        kesta_test::make_plane(m, p, 600.0);
        m.grid_rows = 1;
        m.grid_cols = 2;
        m.north = 1000.0;
        m.timestep = 600.0;
        m.dt_days = 600.0 / 86400.0;
        m.rain_from_file = m.rain_thiessen = 1;
        m.run_params.tot_time = 120;
    }
    ~rain_watershed() { g_error_record = kesta::error_record{}; }

    // Scans the precipitation file and starts the clock at its first event.
    void load(const std::string& text) {
        m.precip_file = dir.write("rain.dat", text);
        std::string name = m.precip_file;
        m.precip_file_fp = kesta::open_file(name, "r", 0);
        kesta_test::printed_by([&] { kesta::setup_optim_and_precip_events(m); });
        ASSERT_EQ(g_error_record.code, 0);
        m.start_time = m.time = m.event_start_times[1];
    }
    // Passes of the rain steps; returns the rate of cell 1 after each.
    std::vector<double> rates(int passes) {
        std::vector<double> r;
        for (int i = 0; i < passes; ++i) {
            kesta_test::printed_by([&] {
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

TEST(RainSteps, EventsRainEachIntervalAndStopAfterTheirLastLine) {
    struct rain_case {
        const char* what;
        bool long_term;
        std::string file;
        std::vector<double> rates;  // mm/h of cell 1, pass by pass
        int rain_steps;             // of the last event
        double rain_began;          // elapsed minutes at the last event's first step with rain
    };
    const rain_case cases[] = {
        {"gauge depths rain over the interval that ends at their line", false,
         event("g", "GAGES 2001 5 10 10 0 0.0\nGAGES 2001 5 10 10 30 5.0\nGAGES 2001 5 10 11 0 2.5\n", 3),
         {10, 10, 10, 5, 5, 5, 0, 0}, 6, 0.0},
        {"a rate event ignores the rate of its last line", false,
         event("r", "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 30 2.0\nRATES 2001 5 10 11 0 6.0\n", 3),
         {4, 4, 4, 2, 2, 2, 0}, 6, 0.0},
        // The later of two equal lines holds; the step from 10:10 rains
        // 5 min at 3 and 5 min at 2.
        {"lines at the same time or between steps do not stall the event", false,
         event("r", "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 0 3.0\n"
                    "RATES 2001 5 10 10 15 2.0\nRATES 2001 5 10 10 40 0.0\n", 4),
         {3, 2.5, 2, 2, 0, 0}, 4, 0.0},
        {"a single-line event gives no rain", false, event("one", "RATES 2001 5 10 10 0 4.0\n", 1), {0}, 0, 0.0},
        // Event b's count and start are its own, from the step that starts at 10:30.
        {"a long-term run starts each event at its time and counts its rain afresh", true,
         event("a", "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 20 0.0\n", 2) +
             event("b", "RATES 2001 5 10 10 30 9.0\nRATES 2001 5 10 10 50 0.0\n", 2),
         {4, 4, 0, 9, 9, 0}, 2, 30.0},
    };
    for (const rain_case& c : cases) {
        SCOPED_TRACE(c.what);
        rain_watershed w;
        model_state& m = w.m;
        m.long_term = c.long_term;
        if (c.long_term) kesta_test::use_kvl_weather(m, w.dir, kesta_test::kvl_hours(2001, 5, 10, 10, 2));
        w.load(c.file);
        EXPECT_EQ(w.rates(static_cast<int>(c.rates.size())), c.rates);
        EXPECT_EQ(m.event_index, m.nevents);
        EXPECT_EQ(m.raining, 0);
        EXPECT_EQ(m.precip_state, 0);
        EXPECT_EQ(m.number_timesteps_rain, c.rain_steps);
        EXPECT_DOUBLE_EQ(m.elapsed_min_rain_began, c.rain_began);
        // Each 10 min pass at r mm/h puts r / 6 mm on both cells of 100 m2;
        // the rain volume is the last event's own.
        double depth = 0.0, event_depth = 0.0, before = 0.0;
        for (double r : c.rates) {
            if (c.long_term && before == 0.0) event_depth = 0.0;  // a new event's rain begins
            depth += r / 6000.0;
            event_depth += r / 6000.0;
            before = r;
        }
        EXPECT_NEAR(m.h[1], depth, 1e-15);
        EXPECT_NEAR(m.volume_rainfall_overland, 2 * 100.0 * event_depth, 1e-12);
    }
}

// Three 10 m cells under 36 mm/h (0.01 mm/s) in 100 s steps: 1 mm a step.
struct ApplyRain : ::testing::Test {
    void SetUp() override {
        kesta_test::plane p;
        p.cols = 3;
        kesta_test::make_plane(m, p, 100.0);
        for (int k = 1; k <= 3; ++k) m.ri[k] = 36.0;
        m.timestep = 100.0;
        m.dt_days = 100.0 / 86400.0;
        m.precip_state = 1;
    }
    model_state m;
};

TEST_F(ApplyRain, RainRaisesTheDepthOfOrdinaryCells) {
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
    EXPECT_NEAR(m.volume_rainfall_overland, 3 * 0.1, 1e-12);
    m.precip_state = 0;  // between events nothing falls
    m.time += m.dt_days;
    kesta::apply_precip(m);
    EXPECT_DOUBLE_EQ(m.h[1], 0.001);
}

// Rain on a plane of three blocks of cells, under uneven rates, on one
// thread and on four: the same depths and volumes, bit for bit, the volumes
// summed by blocks in order; a depth that is no number stops the rain
// there, the volumes running to its cell.
TEST(ApplyRainOnLargeGrids, BlocksSumInOrderOnAnyThreadCount) {
    constexpr int kCells = 2 * kesta::kRainBlockCells + 100;
    auto rain = [](int threads, int bad_cell, std::vector<double>& h) {
        omp_set_num_threads(threads);
        model_state m;
        kesta_test::plane p;
        p.cols = kCells;
        kesta_test::make_plane(m, p, 100.0);
        for (int k = 1; k <= kCells; ++k) m.ri[k] = 1.0 + (k * 7919 % 1000) / 37.0;
        if (bad_cell) m.h[bad_cell] = std::numeric_limits<double>::infinity();
        m.timestep = 100.0;
        m.precip_state = 1;
        m.volume_rainfall_overland = 1234.5678;
        const std::string said = kesta_test::printed_by([&m] { kesta::apply_precip(m); });
        omp_set_num_threads(omp_get_num_procs());
        h.assign(m.h.data(), m.h.data() + kCells + 1);
        EXPECT_EQ(g_error_record.stop != 0, bad_cell != 0);
        g_error_record = kesta::error_record{};
        return std::make_pair(m.volume_rainfall_overland, said);
    };
    // The volumes by blocks: the first added to the running volume, each
    // later one summed on its own.
    auto by_blocks = [](int last) {
        double total = 1234.5678, block = 0.0;
        for (int k = 1; k <= last; ++k) {
            const double v = (1.0 + (k * 7919 % 1000) / 37.0) * 100.0 * 100.0 / 3600000.0;
            if (k <= kesta::kRainBlockCells) total += v;
            else block += v;
            if (k > kesta::kRainBlockCells && (k % kesta::kRainBlockCells == 0 || k == last)) {
                total += block;
                block = 0.0;
            }
        }
        return total;
    };
    std::vector<double> one, four;
    const auto [volume, said] = rain(1, 0, one);
    EXPECT_EQ(rain(4, 0, four).first, volume);
    EXPECT_TRUE(one == four);
    EXPECT_EQ(volume, by_blocks(kCells));
    EXPECT_EQ(said, "");
    // Every cell's depth is its rate times the step over 3.6e6, as one cell
    // alone would have it (the grid started dry).
    int wrong = 0;
    for (int k = 1; k <= kCells; ++k) wrong += one[k] != (1.0 + (k * 7919 % 1000) / 37.0) * 100.0 / 3600000.0;
    EXPECT_EQ(wrong, 0);

    const int bad = kesta::kRainBlockCells + 5000;
    const auto [cut, stop] = rain(4, bad, four);
    EXPECT_EQ(cut, by_blocks(bad));
    EXPECT_NE(stop.find("overland cell " + std::to_string(bad) + " after applying rainfall"), std::string::npos);
}

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
}

TEST_F(ApplyRain, UniformRainStopsAfterItsSteps) {
    m.uniform_rain = 1;
    m.rain_intensity = 36.0;
    m.rain_steps = 2;
    m.start_time = m.time;
    for (int k = 1; k <= 3; ++k) m.ri[k] = 0.0;
    for (int i = 0; i < 4; ++i) {
        kesta::advance_clock(m);
        kesta::step_event_precip(m);
        kesta::step_precip_period(m);
        kesta::apply_precip(m);
    }
    EXPECT_DOUBLE_EQ(m.h[2], 0.002);
    EXPECT_EQ(m.precip_state, 3);
    EXPECT_EQ(m.event_active, 0);
    EXPECT_DOUBLE_EQ(m.ri[2], 0.0);
}

}  // namespace
