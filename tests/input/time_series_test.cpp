// Time series, elevation series and pumps: reading, refusal of records that
// would break the lookups, and the lookups themselves.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "channel/channel_pumps.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "input/time_series.hpp"
#include "model/model_state.hpp"
#include "overland/overland_pumps.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using kesta_test::printed_by;
using std::make_tuple;

class SeriesTest : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        ts_free_all();
        g_error_record.clear_for_run();
    }

    // Reads a time-series (or elevation-series) file of `text` from a clean
    // error record and returns what was printed.
    std::string read_ts(const std::string& text, const std::string& name = "series.ts") {
        return read(name, text, ts_read_file);
    }
    std::string read_es(const std::string& text) { return read("levels.es", text, read_elev_series_file); }
    std::string read(const std::string& name, const std::string& text, void (*reader)(const std::string&)) {
        g_error_record.clear_for_run();
        path = dir.write(name, text);
        return printed_by([&] { reader(path); });
    }

    kesta_test::temp_dir dir;
    std::string path;
};

// Julian times carry about 1e-9 of a day, so values agree to about 1e-7.
double at(int h, int mi) { return julday(2000, 1, 1, h, mi, 0.0); }

TEST_F(SeriesTest, InterpolatesBetweenRecordsHoldsTheEndValuesAndIsFoundByPrefix) {
    const std::string out = read_ts(
        "header text\nKESTA_TS\n  \"inflow\"  \nABSOLUTE\n2000 1 1 0 0 10.0\n2000 1 1 1 0 20.0\n\n"
        "2000,1,1,3,0,0.0\nEND_TS\nKESTA_TS\nconst\nABSOLUTE\n1999 5 5 5 5 7.5\nEND_TS\n"
        "KESTA_TS\nin\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\nKESTA_TS\n\nABSOLUTE\n2000 1 1 0 0 3\nEND_TS\n");
    EXPECT_EQ(out.rfind("Read time series inflow\nRead time series const\n", 0), 0u) << out;
    EXPECT_NE(out.find("4 time series read from file " + path + "\n"), std::string::npos) << out;
    time_series* s = ts_find_by_name("inflow");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->count(), 3);
    EXPECT_NEAR(ts_value_at(at(0, 30), s), 15.0, 1e-6);
    EXPECT_NEAR(ts_value_at(at(2, 0), s), 10.0, 1e-6);
    EXPECT_EQ(make_tuple(ts_value_at(at(0, 0) - 1.0, s), ts_value_at(at(5, 0), s)), make_tuple(10.0, 0.0));
    time_series* c = ts_find_by_name("const");
    EXPECT_EQ(make_tuple(ts_value_at(0.0, c), ts_value_at(3e6, c)), make_tuple(7.5, 7.5));

    // The first series whose name begins with the one asked for, before one
    // of that very name; a longer or an empty name finds nothing.
    EXPECT_EQ(ts_find_by_name("in"), s);
    EXPECT_EQ(ts_find_by_name("inflows"), nullptr);
    EXPECT_EQ(ts_find_by_name(""), nullptr);
}

TEST_F(SeriesTest, BracketCacheFollowsForwardAndBackwardQueries) {
    read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 0 0 0\n2000 1 1 1 0 1\n2000 1 1 2 0 2\n"
            "2000 1 1 3 0 3\n2000 1 1 4 0 8\nEND_TS\n");
    time_series* s = ts_find_by_name("q");
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(ts_value_at(at(1, 30), s), 1.5, 1e-6);
    EXPECT_EQ(s->cached, 1u);
    EXPECT_NEAR(ts_value_at(at(3, 15), s), 4.25, 1e-6);
    EXPECT_EQ(s->cached, 3u);
    EXPECT_NEAR(ts_value_at(at(0, 30), s), 0.5, 1e-6);  // behind the cache
    EXPECT_EQ(s->cached, 0u);
}

TEST_F(SeriesTest, RelativeTimesCountFromTheOriginUntilShifted) {
    read_ts("KESTA_TS\nrel\nRELATIVE\n0 0 0 0 0 1\n0 0 1 6 0 2\nEND_TS\n"
            "KESTA_TS\nabs\nABSOLUTE\n2000 1 1 12 0 1\nEND_TS\n");
    time_series* rel = ts_find_by_name("rel");
    time_series* abs = ts_find_by_name("abs");
    ASSERT_TRUE(rel && abs);
    EXPECT_EQ(make_tuple(rel->relative, rel->times[0], rel->times[1]), make_tuple(1, 0.0, 1.25));
    ts_shift_relative(2451545.0);
    EXPECT_EQ(make_tuple(rel->times[0], rel->times[1], abs->times[0]), make_tuple(2451545.0, 2451546.25, 2451545.0));
}

// A refused series is not kept, and the run stops.
TEST_F(SeriesTest, RecordsThatWouldBreakTheLookupsAreRefusedByFileAndLine) {
    EXPECT_EQ(read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 0 0 1\n2000 1 1 0 x 2\nEND_TS\n"),
              "Error: in time series file " + dir.file("series.ts") +
                  ", line 5, the record \"2000 1 1 0 x 2\" of series [q] does not scan as "
                  "year month day hour minute value.\n\n");
    EXPECT_EQ(make_tuple(g_error_record.stop, ts_find_by_name("q")), make_tuple(1, nullptr));
    // A time equal to or before the one above it.
    for (const char* record : {"2000 1 1 1 0 2", "2000 1 1 0 0 2"}) {
        const std::string out = read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 1 0 1\n" + std::string(record) + "\nEND_TS\n");
        EXPECT_NE(out.find("series.ts, line 5, the time " + std::string(record, 12) + " of series [q] is not later"),
                  std::string::npos)
            << out;
        EXPECT_EQ(make_tuple(g_error_record.stop, ts_find_by_name("q")), make_tuple(1, nullptr));
    }
    const std::string out = read_es("KESTA_ES\nweir\n0 0\n1 10\n1 12\nEND_ES\n");
    EXPECT_NE(out.find(path + ", line 5, the value 1 of series [weir] is not greater"), std::string::npos) << out;
    EXPECT_EQ(make_tuple(g_error_record.stop, find_elev_series("weir")), make_tuple(1, nullptr));
}

TEST_F(SeriesTest, MissingFilesAndLookupsOfMissingSeriesStopTheRun) {
    EXPECT_EQ(printed_by([] { ts_read_file("\"nowhere.ts\""); }),
              "\nError: Unable to open time series file.\n  (File: nowhere.ts)\n");
    EXPECT_EQ(g_error_record.stop, 1);
    g_error_record.clear_for_run();
    EXPECT_EQ(printed_by([] { read_elev_series_file("nowhere.es"); }),
              "\nError: Unable to open elevation series file.\n  (File: nowhere.es)\n");
    EXPECT_EQ(g_error_record.stop, 1);

    read_ts("KESTA_TS\nempty\nABSOLUTE\nEND_TS\n");
    EXPECT_EQ(printed_by([] {
                  EXPECT_EQ(ts_value_at(1.0, nullptr), 0.0);
                  EXPECT_EQ(ts_value_at(1.0, ts_find_by_name("empty")), 0.0);
                  EXPECT_EQ(elev_series_interp(1.0, nullptr), 0.0);
              }),
              "Error: attempting to extract a value from a time series that does not exist.\n\n"
              "Error: attempting to extract a value from a time series [empty] with no entries.\n\n"
              "Error: attempting to extract a value from an elevation series that does not exist.\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(SeriesTest, IndexEntriesFindTheNewestSeriesOfTheirIdentifier) {
    read_ts("KESTA_TS\nlow\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\nKESTA_TS\nhigh\nABSOLUTE\n2000 1 1 0 0 9\nEND_TS\n");
    EXPECT_EQ(printed_by([] {
                  ts_add_index_entry(4, "low");
                  ts_add_index_entry(4, "high");
                  ts_add_index_entry(5, "none");
              }),
              "Adding table to list: low... Success!\nAdding table to list: high... Success!\n"
              "Adding table to list: none... Failure, table not found.\n");
    EXPECT_EQ(make_tuple(ts_value_by_index(4, 0.0), g_error_record.stop), make_tuple(9.0, 0));

    EXPECT_EQ(printed_by([] { EXPECT_EQ(ts_value_by_index(7, 0.0), 0.0); }),
              "Error: attempting to extract a value from an unknown time series in the time series "
              "table.    Check the mapping table file (.cmt). The specified time series index is 7, "
              "but the \nindex is not found in the time series index table.\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(SeriesTest, ElevationSeriesStepAndInterpolate) {
    EXPECT_EQ(read_es("KESTA_ES\n\"rating curve\" extra\n0 0\n1 10\n3 30\nEND_ES\n"),
              "1 elevation series read from file " + dir.file("levels.es") + "\n");
    elev_series* s = find_elev_series("rating");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->name, "rating curve");
    EXPECT_DOUBLE_EQ(elev_series_value(2.0, s), 10.0);
    EXPECT_DOUBLE_EQ(elev_series_interp(2.0, s), 20.0);
    EXPECT_DOUBLE_EQ(elev_series_lookup(0.5, s), 5.0);
    EXPECT_DOUBLE_EQ(elev_series_interp(-1.0, s), 0.0);
    EXPECT_DOUBLE_EQ(elev_series_value(4.0, s), 30.0);
}

TEST_F(SeriesTest, PumpCardsTakeTheirSeriesByFlowType) {
    read_ts("KESTA_TS\nschedule\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\n");
    read_es("KESTA_ES\nrating\n0 0\n1 1\nEND_ES\n");
    line_cursor ts_card("3 7 TS schedule");
    pump* p = read_pump_card(ts_card, 12, 4);
    ASSERT_NE(p, nullptr);
    // Link type 4 is a plain trapezoidal link: its second value becomes 1.
    EXPECT_EQ(make_tuple(p->card_value1, p->card_value2, p->flow_type, p->ts),
              make_tuple(3, 1, pump_ts, ts_find_by_name("schedule")));
    line_cursor es_card("3 7 ELEV rating");
    p = read_pump_card(es_card, 12, 8);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(make_tuple(p->card_value2, p->es), make_tuple(7, find_elev_series("rating")));

    line_cursor bad("3 7 FLOW rating");
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(read_pump_card(bad, 12, 8), nullptr); }),
              "\n\nError in the channel input file: Flow type for pump is incorrectly\n"
              "defined for link 12. Must be ELEV or TS.\n\n");
    EXPECT_EQ(series_store().chan_pumps.size(), 2u);
}

TEST_F(SeriesTest, OverlandPumpRemovesNoMoreThanTheCellHolds) {
    read_es("KESTA_ES\nconstant\n0 1.0\n10 1.0\nEND_ES\n");  // 1 m3/s at any depth
    for (int cell : {1, 2}) {
        auto p = std::make_unique<pump>();
        p->index = cell;
        p->flow_type = pump_elev;
        p->es = find_elev_series("constant");
        series_store().ov_pumps.push_back(std::move(p));
    }
    vec1<double> depth(2);
    depth[1] = 0.001;
    depth[2] = 1.0;
    apply_overland_pumps(depth, 60.0, 0.0, 10.0);  // 0.6 m over the cell
    EXPECT_EQ(depth[1], 0.0);
    EXPECT_DOUBLE_EQ(depth[2], 0.4);
}

TEST_F(SeriesTest, ANewRunStartsWithoutTheSeriesOfTheRunBefore) {
    read_ts("KESTA_TS\nold\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\n");
    ts_add_index_entry(1, "old");
    ASSERT_NE(ts_find_by_name("old"), nullptr);
    auto m = std::make_unique<model_state>();
    EXPECT_EQ(ts_find_by_name("old"), nullptr);
    EXPECT_TRUE(series_store().index.empty());
}

}  // namespace
