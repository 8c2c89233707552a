// Precipitation input: events read and turned into rates, the limits and
// dates an event must keep, the rate each cell takes from its gauge; radar
// grids mapped onto the model cells, their inches per hour read as
// millimetres per hour, and the event steps with radar files.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "model/event_steps.hpp"
#include "overland/overland_grid.hpp"
#include "overland/precipitation.hpp"
#include "overland/radar.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta_test::has;

// An event of one gauge and `count` data lines.
std::string event(const char* title, const std::string& lines, int count) {
    return std::string("EVENT ") + title + "\nNRGAG 1\nNRPDS " + std::to_string(count) + "\nCOORD 5 995\n" + lines;
}

// An event of one gauge with `n` RATES lines a minute apart from 2020-06-01 00:00.
std::string minute_rates(int n) {
    std::string text = "EVENT long\nNRGAG 1\nNRPDS " + std::to_string(n) + "\nCOORD 0 0\n";
    for (int p = 0; p < n; ++p)
        text += "RATES 2020 6 " + std::to_string(1 + p / 1440) + " " + std::to_string(p % 1440 / 60) + " " +
                std::to_string(p % 60) + " 1.5\n";
    return text;
}

struct PrecipFile : ::testing::Test {
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Reads the first event of `text`; returns the reader's result.
    int read(const std::string& text) {
        g_error_record = kesta::error_record{};
        std::string name = dir.write("rain.dat", text);
        kesta::file_ptr fp = kesta::open_file(name, "r", 0);
        kesta::precip_cursor in;
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
    kesta::precip_event ev;
    std::string out;
};

const char* kGages =
    "EVENT storm of May\nNRGAG 1\nNRPDS 3\nCOORD 100.0 200.0 gauge one\n"
    "GAGES 2001 5 10 10 0 0.0\nGAGES 2001 5 10 10 30 5.0\nGAGES 2001 5 10 11 0 2.5\n";
const std::string kMonthEnd = event("m", "GAGES 99 1 31 23 0 0.0\nGAGES 99 2 1 1 0 4.0\n", 2);
const std::string kRadar = "EVENT r\nNRGAG FILES\nNRPDS 1\nRADAR 2020 6 1 12 0 ";

TEST_F(PrecipFile, EventCardsGiveItsTitleGaugesAndLineTimesUpToTheLimits) {
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

    ASSERT_EQ(read("EVENT radar\nNRGAG FILES\nNRPDS 2\n"
                   "RADAR 2001 5 10 10 0 first.asc\nRADAR 2001 5 10 10 15 second file.asc\n"),
              1);
    EXPECT_EQ(ev.radar, 2);
    EXPECT_EQ(ev.ngauges, 1);
    EXPECT_EQ(ev.radar_files[1], "first.asc");
    EXPECT_EQ(ev.radar_files[2], "second file.asc");

    // Events at the limits.
    EXPECT_EQ(read(minute_rates(1999)), 1);
    EXPECT_DOUBLE_EQ(ev.values[1][1999], 1.5);
    EXPECT_EQ(read(kRadar + std::string(149, 'a') + "\n"), 1);
    EXPECT_EQ(read("EVENT leap\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2000 2 29 12 0 1.0\n"), 1);
    // Lines are ordered by their time: 24:00 is midnight of the next day.
    EXPECT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nRATES 2001 6 1 23 0 1.0\n"
                   "RATES 2001 6 2 0 0 2.0\nRATES 2001 6 1 24 0 3.0\n"),
              1);
    EXPECT_DOUBLE_EQ(ev.line_time(3), ev.line_time(2));
}

TEST_F(PrecipFile, EachKindOfDataBecomesTheRateOfItsIntervals) {
    struct rate_case {
        const char* what;
        std::string text;
        std::vector<std::vector<double>> rates;  // [gauge][period], mm/h
    };
    // Gauge depths, the depth of the line that ends the interval, are stepped in the rain step tests.
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

TEST_F(PrecipFile, EndsOfFileAndRefusalsAreToldApart) {
    struct read_case {
        std::string text;
        int result;
        int code;  // 4000 for a refusal, which stops the run
        std::vector<std::string> says;
    };
    const std::string dated = "EVENT \"d\"\nNRGAG 1\nNRPDS 2\nCOORD 0 0\nGAGES 2001 6 1 12 0 1.0\nGAGES ";
    const std::string head = "In precipitation file rain.dat, event 1 titled:\n";
    const read_case cases[] = {
        {"nothing to read here\n", 0, 0, {}},
        {event("cut", "GAGES 2001 5 10 10 0 0.0\n", 3), -1, 0,
         {"last year 2001 last month 5 last day 10 last hour 10 last minute 0"}},
        {event("back", "RATES 2001 5 10 10 30 1.0\nRATES 2001 5 10 10 29 1.0\n", 2), 0, 4000,
         {"Which is earlier than the date/time on the previous line"}},
        {event("late", "RATES 2001 6 1 24 0 1.0\nRATES 2001 6 1 23 59 2.0\n", 2), 0, 4000,
         {"Which is earlier than the date/time on the previous line:  6/1/2001 24:00"}},
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
        {event("odd", "DEPTH 2001 5 10 10 0 1.0\n", 1), 0, 4000, {"At least one precipitation data card type"}},
        // A data line beyond NRPDS would be dropped; the next event is no such line.
        {std::string(kGages) + "GAGES 2001 5 10 11 30 1.0\n", 0, 4000,
         {"rain.dat, event 1", "line 8: a GAGES data line follows the event's 3 data lines (NRPDS 3)"}},
        {std::string(kGages) + event("next", "RATES 2001 5 11 10 0 1.0\n", 1), 1, 0, {}},
        // Events beyond the limits or off the calendar, with their line and value.
        {minute_rates(2000), 0, 4000,
         {head, " long\nline 3: the event has 2000 data lines (NRPDS); at most 1999 are accepted."}},
        // Nothing follows the counts: a table of that size is never attempted.
        {"EVENT huge\nNRPDS 2000000000\nNRGAG 1\n", 0, 4000, {head, " huge\nline 2: "}},
        {"EVENT wide\nNRGAG 2000000000\nNRPDS 3\n", 0, 4000,
         {head, "line 2: the event has 2000000000 gauges; at most 5000 are accepted."}},
        {kRadar + std::string(150, 'a') + "\n", 0, 4000,
         {head, "line 4: the radar file name of data line 1 has 150 characters; at most 149"}},
        {dated + "2001 6 31 12 0 1.0\n", 0, 4000,
         {head, " \"d\"\nline 6: data line 2 has the date 2001 6 31 12 0, whose day 31 is not a valid day."}},
        {dated + "2001 13 1 12 0 1.0\n", 0, 4000, {head, "whose month 13 is not a valid month."}},
        {dated + "2001 2 29 12 0 1.0\n", 0, 4000, {head, "whose day 29 is not a valid day."}},
        {dated + "2001 6 1 25 0 1.0\n", 0, 4000, {head, "whose hour 25 is not a valid hour."}},
        {dated + "2001 6 1 24 30 1.0\n", 0, 4000, {head, "whose hour 24 is not a valid hour."}},
        {dated + "2001 6 1 12 60 1.0\n", 0, 4000, {head, "whose minute 60 is not a valid minute."}},
        {dated + "2001 6 0 12 0 1.0\n", 0, 4000, {head, "whose day 0 is not a valid day."}},
        {dated + "2001 6 1 12 10 nan\n", 0, 4000,
         {head, " \"d\"\nline 6: gauge 1 has the value \"nan\" on data line 2, which is not a number.\n"}},
    };
    for (const read_case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 70));
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

std::string radar_header(int cols, int rows, double west, double south, double size) {
    return "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) + "\nxllcorner " +
           std::to_string(west) + "\nyllcorner " + std::to_string(south) + "\ncellsize " +
           std::to_string(size) + "\nNODATA_value -9999\n";
}

// A model grid of 2 rows by 3 columns of 10 m, north-west corner (0, 20),
// every cell active, with its radar record set up.
struct Radar : ::testing::Test {
    void SetUp() override {
        kesta_test::make_plane(m, {2, 3}, 600.0);
        m.north = 20.0;
        kesta::init_precip_grid(g, m);
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }
    bool map(const std::string& header) {
        const std::string file = dir.write("r.asc", header);
        bool ok = false;
        out = kesta_test::printed_by([&] { ok = kesta::map_cells_to_radar(file, g, m.mask); });
        return ok;
    }

    kesta_test::temp_dir dir;
    kesta::model_state m;
    kesta::precip_grid& g = m.precip_radar;
    std::string out;
};

TEST_F(Radar, EveryCellTakesTheRadarCellHoldingItsCentre) {
    // 20 m cells, 1 row by 2 columns covering x 0..40, y 0..20: centres (5, 15)
    // and (15, 15) lie in column 0, (25, 15) in column 1, and the last row and
    // column map like any other.
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    EXPECT_DOUBLE_EQ(g.radar_north, 20.0);
    EXPECT_EQ((std::vector<int>{g.kesta_to_precip[1], g.kesta_to_precip[2], g.kesta_to_precip[3],
                                g.kesta_to_precip[6]}),
              (std::vector<int>{0, 0, 1, 1}));
    // The radar's north edge runs through the centres of model row 1: row 0;
    // model row 2 lies in radar row 1, column 0.
    ASSERT_TRUE(map(radar_header(3, 2, 0.0, -5.0, 10.0)));
    EXPECT_EQ(g.kesta_to_precip[1], 0);
    EXPECT_EQ(g.kesta_to_precip[4], 3);
}

TEST_F(Radar, GridsThatDoNotCoverTheModelOrCannotBeReadStopTheRun) {
    const std::pair<std::string, bool> refused[] = {
        // header, whether the header itself is unreadable
        {radar_header(3, 1, 0.0, 10.0, 10.0), false},   // model row 2 lies south of it
        {radar_header(3, 2, 0.0, -20.0, 10.0), false},  // model row 1 lies north of it
        {radar_header(3, 2, 0.0, 0.0, 0.0), true},      // no cell size
        {radar_header(0, 2, 0.0, 0.0, 10.0), true},     // no column
    };
    for (const auto& [header, unreadable] : refused) {
        SCOPED_TRACE(header);
        g_error_record = kesta::error_record{};
        EXPECT_FALSE(map(header));
        EXPECT_EQ(g_error_record.code, 102);
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_EQ(has(out, "Error: unable to read radar header in file"), unreadable);
    }
}

TEST_F(Radar, InchesBecomeMillimetresWithNoDataAndCap) {
    ASSERT_TRUE(map(radar_header(2, 2, 0.0, -20.0, 20.0)));
    const std::string file =
        dir.write("v.asc", radar_header(2, 2, 0.0, -20.0, 20.0) + "1.0 5.0\n-9999 -9999.005\n");
    int read = -1;
    out = kesta_test::printed_by([&] { read = kesta::read_radar_values(file, g); });
    ASSERT_EQ(read, 0);
    EXPECT_EQ(g.precip_data, (std::vector<double>{25.4, 100.0, 0.0, 0.0}));
    EXPECT_TRUE(has(out, "Warning: really big precip value (127.000000) in cell (0,1)")) << out;
    EXPECT_TRUE(has(out, "Peak rainfall rate read: 100.000000 mm/hr")) << out;

    kesta::vec1<double> ri(6);
    kesta_test::printed_by([&] { kesta::apply_radar_precip(g, ri); });
    EXPECT_DOUBLE_EQ(ri[1], 25.4);  // model row 1 lies in radar row 0
    EXPECT_DOUBLE_EQ(ri[3], 100.0);
}

// A missing file is the event test's case below.
TEST_F(Radar, FilesOfAnotherGridOrCutShortLeaveTheHeldValues) {
    ASSERT_TRUE(map(radar_header(2, 1, 0.0, 0.0, 20.0)));
    g.precip_data = {1.0, 2.0};
    const std::string files[] = {
        dir.write("o.asc", radar_header(3, 1, 0.0, 0.0, 20.0) + "1 1 1\n"),  // another grid
        dir.write("s.asc", radar_header(2, 1, 0.0, 0.0, 20.0) + "3.0\n"),    // cut short
    };
    for (const std::string& file : files) {
        int read = 0;
        kesta_test::printed_by([&] { read = kesta::read_radar_values(file, g); });
        EXPECT_EQ(read, -1) << file;
        EXPECT_EQ(g.precip_data, (std::vector<double>{1.0, 2.0})) << file;
    }
}

TEST_F(Radar, MissingRadarFileOfAnEventIsNamedAndThePreviousRatesStay) {
    dir.write("a.asc", radar_header(2, 1, 0.0, 0.0, 20.0) + "0.5 0.5\n");
    std::string rain = dir.write("rain.dat", "EVENT r\nNRGAG FILES\nNRPDS 3\nRADAR 2001 5 10 10 0 " +
                                                 dir.file("a.asc") + "\nRADAR 2001 5 10 10 10 " + dir.file("a.asc") +
                                                 "\nRADAR 2001 5 10 10 20 " + dir.file("gone.asc") + "\n");
    m.rain_from_file = m.nevents = 1;
    m.precip_file_fp = kesta::open_file(rain, "r", 0);
    m.precip_in.fp = m.precip_file_fp.get();
    m.event_start_times = kesta::vec1<double>(1);
    m.event_start_times[1] = m.time = kesta::julday(2001, 5, 10, 10, 0, 0.0);
    double first = 0.0;
    out = kesta_test::printed_by([&] {
        kesta::step_event_precip(m);
        m.precip_period = 1;
        kesta::step_precip_period(m);  // 10:00: the file of line 2
        first = m.ri[1];
        m.time = kesta::julday(2001, 5, 10, 10, 10, 0.0);
        kesta::step_precip_period(m);  // 10:10: line 3's file is missing
    });
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_DOUBLE_EQ(first, 12.7);
    EXPECT_DOUBLE_EQ(m.ri[1], 12.7);
    EXPECT_TRUE(has(out, "Warning: unable to read radar precip file " + dir.file("gone.asc"))) << out;
}

}  // namespace
