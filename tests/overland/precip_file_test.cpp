// Reading precipitation events and turning their data lines into rates.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "overland/precipitation.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::precip_event;

struct PrecipFile : ::testing::Test {
    void SetUp() override { g_error_record = kesta::error_record{}; }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Reads the first event of `text`; returns the reader's result.
    int read(const std::string& text) {
        name = dir.write("rain.dat", text);
        fp = kesta::open_file(name, "r", 0);
        in.fp = fp.get();
        in.file_name = "rain.dat";
        kesta::rewind_precip(in);
        testing::internal::CaptureStdout();
        const int result = kesta::read_precip_event(in, ev);
        out = testing::internal::GetCapturedStdout();
        return result;
    }
    bool refused() const { return g_error_record.code == 4000 && g_error_record.stop == 1; }

    kesta_test::temp_dir dir;
    std::string name;
    kesta::file_ptr fp;
    kesta::precip_cursor in;
    precip_event ev;
    std::string out;
};

const char* kGages =
    "EVENT storm of May\n"
    "NRGAG 1\nNRPDS 3\n"
    "COORD 100.0 200.0 gauge one\n"
    "GAGES 2001 5 10 10 0 0.0\n"
    "GAGES 2001 5 10 10 30 5.0\n"
    "GAGES 2001 5 10 11 0 2.5\n";

TEST_F(PrecipFile, GaugeDepthsBecomeRatesOverTheIntervalThatEndsAtTheirLine) {
    ASSERT_EQ(read(kGages), 1);
    EXPECT_EQ(ev.title, "storm of May");
    EXPECT_EQ(ev.ngauges, 1);
    EXPECT_EQ(ev.nlines, 3);
    EXPECT_DOUBLE_EQ(ev.easting[1], 100.0);
    EXPECT_DOUBLE_EQ(ev.line_time(1), kesta::julday(2001, 5, 10, 10, 0, 0.0));
    kesta::precip_values_to_rates(ev);
    EXPECT_DOUBLE_EQ(ev.values[1][1], 10.0);  // 5 mm in half an hour
    EXPECT_DOUBLE_EQ(ev.values[1][2], 5.0);   // 2.5 mm in half an hour
}

TEST_F(PrecipFile, RatesHoldFromTheirLineAndAccumulationsRiseOverTheInterval) {
    ASSERT_EQ(read("EVENT r\nNRPDS 3 NRGAG 1\nCOORD 0 0\n"
                   "RATES 2001 5 10 10 0 4.0\nRATES 2001 5 10 10 30 2.0\nRATES 2001 5 10 11 0 6.0\n"),
              1);
    kesta::precip_values_to_rates(ev);
    EXPECT_DOUBLE_EQ(ev.values[1][1], 4.0);
    EXPECT_DOUBLE_EQ(ev.values[1][2], 2.0);

    ASSERT_EQ(read("EVENT a\nNRGAG 2\nNRPDS 3\nCOORD 0 0\nCOORD 10 10\n"
                   "ACCUM 2001 5 10 10 0 0.0 1.0\nACCUM 2001 5 10 10 30 3.0 1.0\n"
                   "ACCUM 2001 5 10 11 30 4.5 4.0\n"),
              1);
    kesta::precip_values_to_rates(ev);
    EXPECT_DOUBLE_EQ(ev.values[1][1], 6.0);  // 3 mm in 0.5 h
    EXPECT_DOUBLE_EQ(ev.values[1][2], 1.5);  // 1.5 mm in 1 h
    EXPECT_DOUBLE_EQ(ev.values[2][1], 0.0);
    EXPECT_DOUBLE_EQ(ev.values[2][2], 3.0);
}

TEST_F(PrecipFile, IntervalsCountTheDaysOfTheMonthTheyCross) {
    ASSERT_EQ(read("EVENT m\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "GAGES 99 1 31 23 0 0.0\nGAGES 99 2 1 1 0 4.0\n"),
              1);
    EXPECT_EQ(ev.dates[1].year, 1999);  // two-digit years are of the 1900s
    kesta::precip_values_to_rates(ev);
    EXPECT_DOUBLE_EQ(ev.values[1][1], 2.0);  // 4 mm over 2 h
}

TEST_F(PrecipFile, KeywordsMatchOnTheirFirstFourLettersInAnyCase) {
    ASSERT_EQ(read("some words first\nevents Mixed case\nNrGaGes 1\nnrpds 1\ncoordinate 5 6\n"
                   "gagesx 2001 5 10 10 0 1.0\n"),
              1);
    EXPECT_EQ(ev.title, "Mixed case");
    EXPECT_EQ(ev.gages, 1);
    EXPECT_DOUBLE_EQ(ev.northing[1], 6.0);
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

TEST_F(PrecipFile, EndOfFileOutsideAndInsideAnEvent) {
    EXPECT_EQ(read("nothing to read here\n"), 0);
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(read("EVENT cut\nNRGAG 1\nNRPDS 3\nCOORD 0 0\nGAGES 2001 5 10 10 0 0.0\n"), -1);
    EXPECT_NE(out.find("last year 2001 last month 5 last day 10 last hour 10 last minute 0"),
              std::string::npos);
}

TEST_F(PrecipFile, RefusesDatesThatGoBackOrGaugeDataWithoutAnInterval) {
    EXPECT_EQ(read("EVENT back\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "RATES 2001 5 10 10 30 1.0\nRATES 2001 5 10 10 29 1.0\n"),
              0);
    EXPECT_TRUE(refused());
    EXPECT_NE(out.find("Which is earlier than the date/time on the previous line"), std::string::npos);

    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT same\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "GAGES 2001 5 10 10 30 1.0\nGAGES 2001 5 10 10 30 2.0\n"),
              0);
    EXPECT_TRUE(refused());
    EXPECT_NE(out.find("event 1 titled:\n same\nline 6:"), std::string::npos);

    // Rates with the same time are no interval of rain: accepted.
    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT same\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "RATES 2001 5 10 10 30 1.0\nRATES 2001 5 10 10 30 2.0\n"),
              1);
}

TEST_F(PrecipFile, RefusesFallingAccumulationsAndNegativeValues) {
    EXPECT_EQ(read("EVENT acc\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "ACCUM 2001 5 10 10 0 1.0\nACCUM 2001 5 10 10 30 0.5\n"),
              0);
    EXPECT_TRUE(refused());
    EXPECT_NE(out.find("Accumulated precip is CUMULATIVE"), std::string::npos);

    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT neg\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2001 5 10 10 0 -2.0\n"), 0);
    EXPECT_TRUE(refused());
    EXPECT_NE(out.find("rain.dat, event 1"), std::string::npos);
    EXPECT_NE(out.find("line 5: gauge 1 has the negative value -2.0"), std::string::npos);
}

TEST_F(PrecipFile, RefusesEventsWithoutGaugesOrLinesAndKindsItCannotUse) {
    EXPECT_EQ(read("EVENT none\nNRGAG 0\nNRPDS 2\n"), 0);
    EXPECT_TRUE(refused());
    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT none\nNRGAG 1\nNRPDS 0\n"), 0);
    EXPECT_TRUE(refused());
    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT files\nNRGAG files\nNRPDS 1\nGAGES 2001 5 10 10 0 a.asc\n"), 0);
    EXPECT_TRUE(refused());
    EXPECT_NE(out.find("must give its lines as RADAR"), std::string::npos);
    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT mixed\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
                   "GAGES 2001 5 10 10 0 1.0\nRATES 2001 5 10 10 30 1.0\n"),
              0);
    EXPECT_NE(out.find("More than one precipitation data card type"), std::string::npos);
    g_error_record = kesta::error_record{};
    EXPECT_EQ(read("EVENT odd\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nDEPTH 2001 5 10 10 0 1.0\n"), 0);
    EXPECT_NE(out.find("At least one precipitation data card type"), std::string::npos);
}

TEST_F(PrecipFile, NearestGaugeGivesEachCellItsGaugesRate) {
    kesta::mat2<double> values(2, 1);
    values[1][1] = 3.0;
    values[2][1] = 7.0;
    kesta::vec1<int> nearest(3);
    nearest[1] = 2;
    nearest[2] = 1;
    nearest[3] = 0;  // no gauge found for this cell
    kesta::vec1<double> ri(3);
    kesta::nearest_gauge_rain(1, 2, nearest, values, ri, 3);
    EXPECT_DOUBLE_EQ(ri[1], 7.0);
    EXPECT_DOUBLE_EQ(ri[2], 3.0);
    EXPECT_DOUBLE_EQ(ri[3], 0.0);
    kesta::nearest_gauge_rain(1, 1, nearest, values, ri, 3);  // one gauge: every cell
    EXPECT_DOUBLE_EQ(ri[1], 3.0);
    EXPECT_DOUBLE_EQ(ri[3], 3.0);
}

}  // namespace
