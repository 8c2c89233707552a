// The weather the run reads: the hourly weather file in its three layouts
// (the scan's dates and counts, the records with their conversions and
// repairs, the lines refused), and gauge values spread over the cells by
// inverse distance squared or to the nearest gauge of every cell.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/arrays.hpp"
#include "core/error_record.hpp"
#include "overland/overland_grid.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta::date_record;
using kesta::g_error_record;
using kesta_test::has;
using kesta::vec1;

struct HmetFile : ::testing::Test {
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Scans `text` as the run's weather file in the layout of `flag`; what it
    // printed. `result` holds what the scan returned.
    std::string scan(int kesta::model_state::*flag, const std::string& text) {
        g_error_record = kesta::error_record{};
        kesta_test::use_kvl_weather(m, dir, text);
        m.hmet_kvl_given = 0;
        m.*flag = 1;
        m.hmet_call_count = 1;
        return kesta_test::printed_by([&] { result = kesta::read_hmet_record(m); });
    }
    int read() {
        m.hmet_call_count = 2;
        int r = 0;
        kesta_test::printed_by([&] { r = kesta::read_hmet_record(m); });
        return r;
    }
    bool dated(const date_record& d, int year, int month, int day, int hour) {
        return d.year == year && d.month == month && d.day == day && d.hour == hour;
    }

    kesta::model_state m;
    kesta_test::temp_dir dir;
    int result = -5;
};

using M = kesta::model_state;

// A KVL record of June 2020 with plain values.
std::string kvl_hour(int day, int hour) {
    return "2020 6 " + std::to_string(day) + " " + std::to_string(hour) + " 29.92 80 2 4 41 0 0\n";
}

TEST_F(HmetFile, KvlRecordsAreConvertedAndMissingValuesTakeTheirHoursLastGoodOne) {
    std::string text = "2020 6 1 4 999 60 5 10 50 100.0 300.0\n"         // no pressure yet: the standard one
                       "2020 6 1 5 30.00 70 999 999 68 10000.0 200.0\n"  // sky, wind, direct radiation missing
                       "\n";
    for (int h = 6; h <= 23; ++h) text += kvl_hour(1, h);
    for (int h = 0; h <= 4; ++h) text += kvl_hour(2, h);
    text += "2020 6 2 5 29.92 999 2 4 999 50.0 50.0\n";  // hour 5 takes hour 5's, not the last read
    scan(&M::hmet_kvl_given, text);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(m.hmet_record_count, 26);
    EXPECT_TRUE(dated(m.hmet_first_record, 2020, 6, 1, 4));
    EXPECT_TRUE(dated(m.hmet_last_record, 2020, 6, 2, 5));

    EXPECT_EQ(read(), 11);
    EXPECT_DOUBLE_EQ(m.hmet_pressure, 1013.25);
    EXPECT_EQ(read(), 11);
    EXPECT_DOUBLE_EQ(m.hmet_pressure, 30.0 * 1013.25 / 29.92);
    EXPECT_DOUBLE_EQ(m.hmet_sky_cover, 0.5);
    EXPECT_DOUBLE_EQ(m.hmet_wind_speed, 10 * 0.514444);
    EXPECT_DOUBLE_EQ(m.hmet_direct_rad, 0.0);
    for (int k = 0; k < 24; ++k) read();
    EXPECT_TRUE(dated(m.hmet_record_date, 2020, 6, 2, 5));
    EXPECT_NEAR(m.hmet_air_temp, 20.0, 1e-12);
    EXPECT_DOUBLE_EQ(m.hmet_rel_humidity, 70.0);
    EXPECT_EQ(m.hmet_points_repaired, 6);
    EXPECT_EQ(read(), -1);

    // Hour 24 is hour 0 of the next day: the scan keeps it, the read rolls it.
    scan(&M::hmet_kvl_given, kvl_hour(2, 23) + kvl_hour(2, 24));
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(dated(m.hmet_last_record, 2020, 6, 2, 24));  // the start-up rolls it
    read();
    read();
    EXPECT_TRUE(dated(m.hmet_record_date, 2020, 6, 3, 0));
    EXPECT_EQ(read(), -1);
}

// One Surface Airways element line of 6 June 2020 + `day` - 1.
std::string sa_line(const char* element, int day, const std::vector<int>& values) {
    char head[40];
    std::snprintf(head, sizeof head, "HPD12345678%sXX202006XX%02d%03d", element, day, static_cast<int>(values.size()));
    std::string line = head;
    for (std::size_t k = 0; k < values.size(); ++k) {
        char v[48];
        std::snprintf(v, sizeof v, "%02zu00 %05d  ", k + 1, values[k]);
        line += v;
    }
    return line + "\n";
}

std::string sa_day(int day, bool direct, int temperature_3) {
    const std::vector<int> flat(24, 100);
    std::vector<int> temperature(24, 50);
    temperature[2] = temperature_3;
    return (direct ? sa_line("DRAD", day, flat) : "") + sa_line("GRAD", day, flat) +
           sa_line("PRES", day, std::vector<int>(24, 29920)) + sa_line("RHUM", day, flat) +
           sa_line("TMPD", day, temperature) + sa_line("TSKC", day, std::vector<int>(24, 508)) +
           sa_line("WIND", day, std::vector<int>(24, 12010));
}

TEST_F(HmetFile, BadLinesStopTheRunNamingFileLineAndValue) {
    const std::string good = "2020 6 1 4 29.92 60 5 10 50 100.0 300.0\n";
    const struct {
        int M::*flag;
        std::string text;
        std::vector<std::string> says;
    } cases[] = {
        {&M::hmet_kvl_given, good + "2020 6 1 5 29.92 60 5 10 50 100.0\n",
         {"hmet_KVL file, line 2, near parameter 11", "weather.kvl (KVL layout), line 2"}},
        {&M::hmet_kvl_given, good + "2020 6 1 5 29.92 60 5 10 50.5 1 1\n", {"near parameter 9"}},
        {&M::hmet_kvl_given, good + "2020 6 1 25 29.92 60 5 10 50 1 1\n", {"line 2: the hour 25 lies outside 0 to 24."}},
        {&M::hmet_kvl_given, "2020 13 1 4 29.92 60 5 10 50 1 1\n", {"line 1: the month 13 lies outside 1 to 12."}},
        {&M::hmet_kvl_given, "\n", {"the file holds no record."}},
        // Each record is the hour after the one before it.
        {&M::hmet_kvl_given, good + "1999 6 1 5 29.92 60 5 10 50 1 1\n",
         {"line 2: the record dated 6/1/1999 5:00 is not the hour after the record before it (6/1/2020 4:00, line 1); "
          "6/1/2020 5:00 was expected"}},
        {&M::hmet_kvl_given, good + "2020 6 1 6 29.92 60 5 10 50 1 1\n", {"line 2: the record dated 6/1/2020 6:00"}},
        {&M::hmet_kvl_given, good + "-2147483648 6 1 5 29.92 60 5 10 50 1 1\n",
         {"line 2: the record dated 6/1/-2147483648 5:00 has the year -2147483648, outside 1 to 9999."}},
        {&M::hmet_samson_given, "~94018 BOULDER\n",
         {"line 1: the header line \"~94018 BOULDER\" has 14 characters; the station's longitude ends in column 53."}},
        {&M::hmet_surfaways_given, "HPD12345678TMPDHF202006XX01025\n",
         {"line 1: the value count 25 lies outside 0 to 24"}},
        {&M::hmet_surfaways_given, "HPD12345678TMPDHF202006XX01002 0100 00068  \n",
         {"the line has 43 characters; its 2 values end in column 52."}},
        {&M::hmet_surfaways_given, sa_day(1, true, 50) + sa_day(3, true, 50),
         {"line 8: the line of 6/3/2020 belongs neither to the day of the line before it (6/1/2020, line 7) nor to "
          "the day after, 6/2/2020"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string out = scan(c.flag, c.text);
        EXPECT_NE(result, 0);
        EXPECT_EQ(g_error_record.stop, 1);
        for (const std::string& part : c.says) EXPECT_TRUE(has(out, part)) << out;
    }
}

// A SAMSON data line: its date ("yy mm dd hh") and temperature and wind
// fields in their columns (end-exclusive, from 0), the other fields fixed.
std::string samson_line(const std::string& date, const std::string& temperature, const std::string& wind) {
    std::string line(86, ' ');
    const auto put = [&line](std::size_t end, const std::string& v) { line.replace(end - v.size(), v.size(), v); };
    put(12, date);
    put(37, "100");
    put(45, "300");
    put(51, "5");
    put(60, temperature);
    put(70, "55");
    put(75, "850");
    put(85, wind);
    return line + "\n";
}

TEST_F(HmetFile, SamsonTurnsHour24IntoTheNextDayAndReadsEveryLineThenEnds) {
    const std::string header = "~94018 BOULDER                 CO  -7 N40 30  W105 15  1634\nsecond header line\n";
    std::string text = header + samson_line("96  2 28 23", "-3.9", "2.5") + samson_line("96  2 28 24", "1.5", "3.0");
    for (int h = 1; h <= 23; ++h) text += samson_line((h < 10 ? "96  2 29  " : "96  2 29 ") + std::to_string(h), "0.5", "3.0");
    text += samson_line("96  2 29 24", "999.9", "99.0");
    scan(&M::hmet_samson_given, text);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(m.hmet_station_name, "BOULDER");
    EXPECT_DOUBLE_EQ(m.hmet_station_lat, 40.5);
    EXPECT_DOUBLE_EQ(m.hmet_station_lon, 105.25);
    EXPECT_TRUE(dated(m.hmet_first_record, 1996, 2, 28, 23));
    EXPECT_TRUE(dated(m.hmet_last_record, 1996, 3, 1, 0));

    read();
    EXPECT_EQ(read(), 1);
    EXPECT_TRUE(dated(m.hmet_record_date, 1996, 2, 29, 0));
    for (int k = 0; k < 24; ++k) EXPECT_EQ(read(), 1);
    EXPECT_TRUE(dated(m.hmet_record_date, 1996, 3, 1, 0));
    // Missing: the temperature of hour 24 a day before, and the last wind.
    EXPECT_DOUBLE_EQ(m.hmet_air_temp, 1.5);
    EXPECT_DOUBLE_EQ(m.hmet_wind_speed, 3.0);
    EXPECT_DOUBLE_EQ(m.hmet_pressure, 850.0);
    EXPECT_EQ(m.hmet_points_repaired, 2);
    EXPECT_EQ(read(), -1);

    // No leap day in 1997.
    scan(&M::hmet_samson_given, header + samson_line("97  2 28 23", "1.0", "2.0") + samson_line("97  2 28 24", "1.0", "2.0"));
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(dated(m.hmet_last_record, 1997, 3, 1, 0));
}

TEST_F(HmetFile, SurfaceAirwaysGivesTheDaysHourByHourFromTheirElementLines) {
    const std::string out = scan(&M::hmet_surfaways_given, sa_day(1, true, 68) + sa_day(2, false, 99999));
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(has(out, "DRAD GRAD PRES RHUM TMPD TSKC WIND\n 1  2  2  2  2  2  2\n")) << out;
    EXPECT_EQ(m.hmet_record_count, 48);
    EXPECT_TRUE(dated(m.hmet_first_record, 2020, 6, 1, 0));
    EXPECT_TRUE(dated(m.hmet_last_record, 2020, 6, 2, 23));
    for (int k = 0; k < 26; ++k) EXPECT_EQ(read(), 0);
    // Day 2, 1:00: no direct radiation line that day; its missing 3rd
    // temperature is day 1's.
    EXPECT_TRUE(dated(m.hmet_record_date, 2020, 6, 2, 1));
    EXPECT_DOUBLE_EQ(m.hmet_direct_rad, 0.0);
    EXPECT_DOUBLE_EQ(m.hmet_global_rad, 10.0);
    EXPECT_DOUBLE_EQ(m.hmet_pressure, 29920 * 33.86530748663101 / 1000.0);
    EXPECT_DOUBLE_EQ(m.hmet_sky_cover, 8.0);
    EXPECT_DOUBLE_EQ(m.hmet_wind_speed, 10 * 0.514444);
    read();
    EXPECT_NEAR(m.hmet_air_temp, 20.0, 1e-12);
    EXPECT_EQ(m.hmet_points_repaired, 1);
    for (int k = 0; k < 21; ++k) EXPECT_EQ(read(), 0);
    EXPECT_EQ(read(), -1);

    // A day without its humidity line.
    std::string short_day = sa_day(1, true, 50);
    short_day.erase(short_day.find("HPD12345678RHUM"), short_day.find("HPD12345678TMPD") - short_day.find("HPD12345678RHUM"));
    const std::string refused = scan(&M::hmet_surfaways_given, short_day + sa_day(2, true, 50));
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(has(refused, "days of rel. humidity data than temperature data.")) << refused;
}

TEST(HmetDates, EventsMustStartWithinTheWeatherData) {
    const date_record begin{2001, 6, 1, 1, 0, 0}, end{2002, 12, 31, 23, 0, 0};
    const struct {
        date_record rain;
        int ok;
        const char* says;
    } cases[] = {
        {{2002, 3, 5, 10, 0, 0}, 1, ""},  // March of the second year of data begun in June
        {{2000, 7, 1, 0, 0, 0}, 0, "hydromet data doesn't start until 2001"},
        {{2001, 5, 20, 0, 0, 0}, 0, "while hmet data starts in\nmonth 6 of 2001"},
        {{2001, 6, 1, 0, 0, 0}, 0, "while the hmet data begins on hour 1 day 1 of month 6 in year 2001"},
        {{2002, 12, 31, 24, 0, 0}, 0, "while the hmet data ends on hour 23 day 31 of month 12 in year 2002"},
        {{2003, 1, 1, 0, 0, 0}, 0, "hydromet data ends in 2002"},
    };
    for (const auto& c : cases) {
        int ok = -1;
        const std::string out = kesta_test::printed_by(
            [&] { ok = kesta::check_hmet_dates(begin, end, c.rain.year, c.rain.month, c.rain.day, c.rain.hour); });
        EXPECT_EQ(ok, c.ok) << out;
        EXPECT_TRUE(has(out, c.says)) << out;
    }
}

// One row of three 10 m cells whose centres lie at x = 5, 15, 25 and y = 5;
// the middle cell is outside the watershed.
struct GaugeGrid : ::testing::Test {
    void SetUp() override {
        g_error_record = kesta::error_record{};
        mask[1][1] = 1;
        mask[1][3] = 2;
    }
    void TearDown() override { g_error_record = kesta::error_record{}; }

    // Gauges at (x, 5) with one value each, for period 1.
    void gauges(const std::vector<std::pair<double, double>>& at) {
        const int n = static_cast<int>(at.size());
        easting = vec1<double>(n);
        northing = vec1<double>(n);
        values = kesta::mat2<double>(n, 1);
        for (int k = 1; k <= n; ++k) {
            easting[k] = at[k - 1].first;
            northing[k] = 5.0;
            values[k][1] = at[k - 1].second;
        }
    }
    std::string neighbours() {
        return kesta_test::printed_by([&] {
            kesta::find_neighbor(easting.n(), mask, easting, northing, 10.0, 0.0, nearest, 10.0, 1, 3);
        });
    }

    kesta::mat2<int> mask{1, 3};
    vec1<double> ri{2}, easting, northing;
    vec1<int> nearest{2};
    kesta::mat2<double> values;
};

TEST_F(GaugeGrid, InverseDistanceSquaredCopiesAGaugeWithinOneCellSizeAndWeightsTheRest) {
    const double w1 = 1.0 / (10.1 * 10.1), w2 = 1.0 / (10.0 * 10.0);
    const struct {
        const char* what;
        std::vector<std::pair<double, double>> at;
        double cell1, cell2;
    } cases[] = {
        // Cell 1: gauge 1 at 9.9 m, copied. Cell 2: gauge 2 at exactly
        // 10 m and gauge 1 at 10.1 m, both weighted.
        {"one cell size is weighted", {{14.9, 6.0}, {35.0, 3.0}}, 6.0, (6.0 * w1 + 3.0 * w2) / (w1 + w2)},
        // Cell 1: 10 at 2 dx and 20 at 4 dx weigh 4:1, giving 12.
        {"weights 4:1 at 20 m and 40 m", {{25.0, 10.0}, {45.0, 20.0}}, 12.0, 10.0},
        {"a single gauge however far", {{5000.0, 7.5}}, 7.5, 7.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gauges(c.at);
        kesta::idw_points_to_grid(10.0, 1, mask, easting.n(), northing, easting, 10.0, 0.0, values, ri, 1, 3);
        EXPECT_NEAR(ri[1], c.cell1, 1e-12);
        EXPECT_NEAR(ri[2], c.cell2, 1e-12);
    }
}

// A gauge at exactly 900000 m is still the nearest; one farther stops the run.
TEST_F(GaugeGrid, NearestGaugeOfEachCellTheHigherNumberOnATieAndNoneBeyond900000) {
    gauges({{0.0, 1.0}, {30.0, 2.0}, {20.0, 3.0}});
    EXPECT_EQ(neighbours(), "");
    EXPECT_EQ(nearest[1], 1);  // 5 m against 25 and 15
    EXPECT_EQ(nearest[2], 3);  // 5 m from both gauge 2 and gauge 3: the later wins
    EXPECT_EQ(g_error_record.code, 0);

    nearest[1] = nearest[2] = 0;
    gauges({{900005.0, 1.0}});
    neighbours();
    EXPECT_EQ(nearest[1], 1);
    EXPECT_EQ(g_error_record.code + g_error_record.stop, 0);

    nearest[1] = nearest[2] = 0;
    gauges({{900005.5, 1.0}});
    const std::string out = neighbours();
    EXPECT_TRUE(has(out, "Failure to identify closest raingauge in find_neighbor\n"
                                     "check rain gage data file, particularly gage coordinates\n"));
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(nearest[2], 0);  // cells after the failing one are left alone
}

}  // namespace
