// Time series, elevation series and pumps: reading, refusal of records that
// would break the lookups, and the lookups themselves.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "input/time_series.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;

class SeriesTest : public testing::Test {
protected:
    void SetUp() override {
        ts_free_all();
        g_error_record.clear_for_run();
    }
    void TearDown() override {
        ts_free_all();
        g_error_record.clear_for_run();
    }

    // Reads a time-series file of `text` and returns what was printed.
    std::string read_ts(const std::string& text, const std::string& name = "series.ts") {
        path = dir.write(name, text);
        testing::internal::CaptureStdout();
        ts_read_file(path);
        return testing::internal::GetCapturedStdout();
    }
    std::string read_es(const std::string& text) {
        path = dir.write("levels.es", text);
        testing::internal::CaptureStdout();
        read_elev_series_file(path);
        return testing::internal::GetCapturedStdout();
    }

    kesta_test::temp_dir dir;
    std::string path;
};

// Julian times carry about 1e-9 of a day, so values agree to about 1e-7.
double at(int h, int mi) { return julday(2000, 1, 1, h, mi, 0.0); }

TEST_F(SeriesTest, InterpolatesBetweenRecordsAndHoldsTheEndValues) {
    const std::string out = read_ts(
        "header text\nKESTA_TS\n  \"inflow\"  \nABSOLUTE\n2000 1 1 0 0 10.0\n2000 1 1 1 0 20.0\n\n"
        "2000,1,1,3,0,0.0\nEND_TS\nKESTA_TS\nconst\nABSOLUTE\n1999 5 5 5 5 7.5\nEND_TS\n");
    EXPECT_EQ(out, "Read time series inflow\nRead time series const\n2 time series read from file " +
                       path + "\n");
    time_series* s = ts_find_by_name("inflow");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->count(), 3);
    EXPECT_NEAR(ts_value_at(at(0, 30), s), 15.0, 1e-6);
    EXPECT_NEAR(ts_value_at(at(2, 0), s), 10.0, 1e-6);
    EXPECT_DOUBLE_EQ(ts_value_at(at(0, 0) - 1.0, s), 10.0);
    EXPECT_DOUBLE_EQ(ts_value_at(at(5, 0), s), 0.0);
    time_series* c = ts_find_by_name("const");
    EXPECT_DOUBLE_EQ(ts_value_at(0.0, c), 7.5);
    EXPECT_DOUBLE_EQ(ts_value_at(3e6, c), 7.5);
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
    ASSERT_NE(rel, nullptr);
    ASSERT_NE(abs, nullptr);
    EXPECT_EQ(rel->relative, 1);
    EXPECT_EQ(rel->times[0], 0.0);
    EXPECT_EQ(rel->times[1], 1.25);
    ts_shift_relative(2451545.0);
    EXPECT_EQ(rel->times[0], 2451545.0);
    EXPECT_EQ(rel->times[1], 2451546.25);
    EXPECT_EQ(abs->times[0], 2451545.0);
}

TEST_F(SeriesTest, NamesAreFoundByPrefixAndAnEmptyNameFindsNothing) {
    read_ts("KESTA_TS\nriver_stage_long\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\n"
            "KESTA_TS\nriver\nABSOLUTE\n2000 1 1 0 0 2\nEND_TS\n"
            "KESTA_TS\n\nABSOLUTE\n2000 1 1 0 0 3\nEND_TS\n");
    ASSERT_NE(ts_find_by_name("river"), nullptr);
    EXPECT_EQ(ts_find_by_name("river")->name, "river_stage_long");
    EXPECT_EQ(ts_find_by_name("river_stage_longer"), nullptr);
    EXPECT_EQ(ts_find_by_name(""), nullptr);
}

TEST_F(SeriesTest, RecordsThatWouldBreakTheLookupsAreRefusedByFileAndLine) {
    std::string out = read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 0 0 1\n2000 1 1 0 x 2\nEND_TS\n");
    EXPECT_EQ(out, "Error: in time series file " + path +
                       ", line 5, the record \"2000 1 1 0 x 2\" of series [q] does not scan as "
                       "year month day hour minute value.\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_EQ(ts_find_by_name("q"), nullptr);

    g_error_record.clear_for_run();
    out = read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 1 0 1\n2000 1 1 1 0 2\nEND_TS\n", "equal.ts");
    EXPECT_NE(out.find("equal.ts, line 5, the time 2000 1 1 1 0 of series [q] is not later"),
              std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);

    g_error_record.clear_for_run();
    out = read_ts("KESTA_TS\nq\nABSOLUTE\n2000 1 1 1 0 1\n2000 1 1 0 0 2\nEND_TS\n", "back.ts");
    EXPECT_NE(out.find("back.ts, line 5"), std::string::npos);
    EXPECT_EQ(g_error_record.stop, 1);

    g_error_record.clear_for_run();
    out = read_es("KESTA_ES\nweir\n0 0\n1 10\n1 12\nEND_ES\n");
    EXPECT_NE(out.find(path + ", line 5, the value 1 of series [weir] is not greater"), std::string::npos);
    EXPECT_EQ(find_elev_series("weir"), nullptr);
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(SeriesTest, MissingFileIsOnlyReported) {
    testing::internal::CaptureStdout();
    ts_read_file("\"nowhere.ts\"");
    read_elev_series_file("nowhere.es");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Time series file not found [nowhere.ts]\n"
              "Error: Elevation series file not found [nowhere.es]\n");
    EXPECT_EQ(g_error_record.stop, 0);
}

TEST_F(SeriesTest, LookupsOfAMissingOrEmptySeriesStopTheRun) {
    read_ts("KESTA_TS\nempty\nABSOLUTE\nEND_TS\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ts_value_at(1.0, nullptr), 0.0);
    EXPECT_EQ(ts_value_at(1.0, ts_find_by_name("empty")), 0.0);
    EXPECT_EQ(elev_series_interp(1.0, nullptr), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: attempting to extract a value from a time series that does not exist.\n\n"
              "Error: attempting to extract a value from a time series [empty] with no entries.\n\n"
              "Error: attempting to extract a value from an elevation series that does not exist.\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(SeriesTest, IndexEntriesFindTheNewestSeriesOfTheirIdentifier) {
    read_ts("KESTA_TS\nlow\nABSOLUTE\n2000 1 1 0 0 1\nEND_TS\nKESTA_TS\nhigh\nABSOLUTE\n2000 1 1 0 0 9\nEND_TS\n");
    testing::internal::CaptureStdout();
    ts_add_index_entry(4, "low");
    ts_add_index_entry(4, "high");
    ts_add_index_entry(5, "none");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Adding table to list: low... Success!\nAdding table to list: high... Success!\n"
              "Adding table to list: none... Failure, table not found.\n");
    EXPECT_EQ(ts_value_by_index(4, 0.0), 9.0);
    EXPECT_EQ(g_error_record.stop, 0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(ts_value_by_index(7, 0.0), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: attempting to extract a value from an unknown time series in the time series "
              "table.    Check the mapping table file (.cmt). The specified time series index is 7, "
              "but the \nindex is not found in the time series index table.\n\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(SeriesTest, ElevationSeriesStepAndInterpolate) {
    const std::string out = read_es("KESTA_ES\n\"rating curve\" extra\n0 0\n1 10\n3 30\nEND_ES\n");
    EXPECT_EQ(out, "1 elevation series read from file " + path + "\n");
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
    EXPECT_EQ(p->card_value1, 3);
    EXPECT_EQ(p->card_value2, 1);  // a plain trapezoidal link
    EXPECT_EQ(p->flow_type, pump_ts);
    EXPECT_EQ(p->ts, ts_find_by_name("schedule"));
    line_cursor es_card("3 7 ELEV rating");
    p = read_pump_card(es_card, 12, 8);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->card_value2, 7);
    EXPECT_EQ(p->es, find_elev_series("rating"));

    line_cursor bad("3 7 FLOW rating");
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_pump_card(bad, 12, 8), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
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
