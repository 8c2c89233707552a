// Precipitation files: events read and turned into rates, the limits and
// dates an event must keep, and the rate each cell takes from its gauge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "overland/overland_grid.hpp"
#include "overland/precipitation.hpp"
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

    ASSERT_EQ(read("EVENT radar\nNRGAG FILES\nNRPDS 2\n"
                   "RADAR 2001 5 10 10 0 first.asc\nRADAR 2001 5 10 10 15 second file.asc\n"),
              1);
    EXPECT_EQ(ev.radar, 2);
    EXPECT_EQ(ev.ngauges, 1);
    EXPECT_EQ(ev.radar_files[1], "first.asc");
    EXPECT_EQ(ev.radar_files[2], "second file.asc");
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

TEST_F(PrecipFile, EventsAtTheLimitsAreReadAndLinesAreOrderedByTheirTime) {
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

}  // namespace
