// Stream mapping tables: the check of which tables a file holds, and the
// ROUGHNESS table giving the Manning's n of the links its map names.
#include <gtest/gtest.h>

#include <string>

#include "channel/channel_fixture.hpp"
#include "core/text_format.hpp"
#include "input/stream_mapping_tables.hpp"

namespace {

using namespace kesta;
using kesta_test::ChannelNetwork;

// A row: the ID in characters 1-6, a description, the values from 87.
std::string row(const std::string& id, const std::string& values) {
    std::string r = id + "  description";
    r.resize(86, ' ');
    return r + values + "\n";
}

class StreamTables : public ChannelNetwork {
protected:
    // The table file over a stream map of `ids` (one per line); returns what
    // the check printed.
    std::string write(const std::string& ids, const std::string& rows) {
        dir.write("reaches.smap", "STREAM_MAP\nNLINKS " + ids);
        table = dir.write("stream.tab", "KESTA_STREAM_INDEX_MAP_TABLES\n"
                                        "ST_INDEX_MAP reaches.smap \"reach ids with a long name\"\n"
                                        "ROUGHNESS \"reach ids with a long name\"\n"
                                        "NUM_IDS 2\nID  description                 n\n" +
                                            rows + "DISPERSION missing_map\nNUM_IDS 1\n");
        testing::internal::CaptureStdout();
        check_stream_mapping_table(table, info);
        return testing::internal::GetCapturedStdout();
    }
    std::string set_up_with_table() {
        return set_up([&](model_state& s) {
            s.st_mapping_table_given = 1;
            s.st_mapping_table = table;
            s.st_mapping_table_info = info;
        });
    }

    std::string table;
    stream_table_info info;
};

TEST_F(StreamTables, RoughnessTableSetsTheLinksItsMapNamesAndTheCheckSaysWhichTablesExist) {
    const std::string check = write("4\n0\n0\n0\n7\n", row("     3", "0.02") + row("     7", "0.05"));
    // Labels are dotted to column 35.
    EXPECT_NE(check.find("  Roughness" + std::string(26, '.') + "Y\n"), std::string::npos) << check;
    EXPECT_NE(check.find("  Dispersion" + std::string(25, '.') + "N\n"), std::string::npos) << check;
    ASSERT_EQ(info.roughness, 1);
    const std::string setup_out = set_up_with_table();
    ASSERT_FALSE(stopped()) << setup_out;
    EXPECT_DOUBLE_EQ(m->chan_roughness[4], 0.05);
    EXPECT_DOUBLE_EQ(m->strick[4], 20.0);
    EXPECT_DOUBLE_EQ(m->chan_roughness[1], 0.035);  // ID 0: its MANNINGS_N
}

TEST_F(StreamTables, RefusesMapsAndRowsThatDoNotFit) {
    struct {
        const char* ids;
        std::string rows;
        const char* message;
    } cases[] = {
        {"4\n0\n0\n0\n5\n", row("     3", "0.02") + row("     7", "0.05"), "link 4 has ID 5, which no row"},
        {"4\n0\n-1\n0\n7\n", row("     3", "0.02") + row("     7", "0.05"), "link 2 has ID -1, below 0"},
        {"3\n0\n0\n7\n", row("     3", "0.02") + row("     7", "0.05"), "does not match channel input file"},
        {"4\n0\n0\n0\n7\n", row("     3", "0.02") + "     7  too short\n", "has 0 of its 1 values"},
    };
    for (const auto& c : cases) {
        write(c.ids, c.rows);
        const std::string out = set_up_with_table();
        EXPECT_TRUE(stopped()) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.message << "\n" << out;
    }
}

// A concentration in water of the nutrient stream tables, and of a
// STREAM_MAP of initial concentrations, lies from 0 to 1e6 g/m3, what a
// cubic metre of water weighs: beyond it the file is refused, naming the
// line, the species and the value; 1e6 itself is taken.
TEST(StreamConcentrations, LieWithinWhatWaterWeighs) {
    kesta_test::temp_dir dir;
    const std::string reaches = dir.write("reaches.smap", "STREAM_MAP\nNLINKS 2\n1\n2\n");
    const std::string rule = "; it must be from 0 to 1e+06 g/m3, what a cubic metre of water weighs\n";
    const struct {
        const char* keyword;
        int code;
        std::string row1, row2, says;
    } cases[] = {
        {"ZEP_N", stream_table_zep_n, "0 1e308 0 0", "0 0 0 0",
         "line 6: the row of ID 1 in table ZEP_N gives the Nitrate (NO3-) concentration (column 2) 1e+308 g/m3"},
        {"ZEP_C", stream_table_zep_c, "1e9 0.5", "0 0",
         "line 6: the row of ID 1 in table ZEP_C gives the Dissolved Org. Carbon concentration (column 1) 1e+09 g/m3"},
        {"ZEP_N", stream_table_zep_n, "0 0 0 0", "0 0 1000001 0",
         "line 7: the row of ID 2 in table ZEP_N gives the Ammonium (NH4+) concentration (column 3) 1000001 g/m3"},
        {"ZEP_N", stream_table_zep_n, "1e6 1e6 1e6 1e6", "0 0 0 0", ""},
    };
    for (const auto& c : cases) {
        const std::string table =
            dir.write("stream.tab", "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP " + reaches + " \"r\"\n" +
                                        std::string(c.keyword) + " \"r\"\nNUM_IDS 2\nID  description  values\n" +
                                        row("     1", c.row1) + row("     2", c.row2));
        g_error_record.clear_for_run();
        vec1<int> ids;
        mat2<double> values;
        testing::internal::CaptureStdout();
        const bool read = read_stream_table_by_link(table, c.code, 2, ids, values);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(read, c.says.empty()) << c.row1 << "\n" << out;
        if (!c.says.empty()) {
            EXPECT_NE(out.find("Error: stream mapping table file " + table + ", " + c.says + rule), std::string::npos)
                << c.says << "\n" << out;
        }
    }
    for (const char* value : {"1e20", "1e6"}) {
        const std::string map = dir.write("no3.map", std::string("STREAM_MAP\nLINKS 2\n0.5\n") + value + "\n");
        g_error_record.clear_for_run();
        vec1<double> by_link;
        testing::internal::CaptureStdout();
        const bool read = read_stream_value_map(map, 2, by_link, "Nitrate (NO3-)");
        const std::string out = testing::internal::GetCapturedStdout();
        const bool bounded = std::string(value) == "1e6";
        EXPECT_EQ(read, bounded) << value << "\n" << out;
        if (!bounded) {
            EXPECT_NE(out.find("Error: stream map " + map + ", line 4: the Nitrate (NO3-) concentration of link 2 is " +
                               format_text("%g", std::stod(value)) + " g/m3" + rule),
                      std::string::npos)
                << out;
        }
    }
    g_error_record.clear_for_run();
}

}  // namespace
