#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/error_record.hpp"
#include "core/model_state.hpp"
#include "input/mapping_tables.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;

namespace {

const char* kGridHeader = "north 2\nsouth 0\neast 2\nwest 0\nrows 2\ncols 2\n";

// A table row: ID in characters 1-6, a description up to character 86,
// values from character 87.
std::string row(int id, const std::string& values, const std::string& description = "land class") {
    char idf[16];
    std::snprintf(idf, sizeof idf, "%6d", id);
    std::string desc = description;
    desc.resize(80, ' ');
    return std::string(idf) + desc + values + "\n";
}

class MappingTables : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = error_record();
        mask = mat2<int>(2, 2);
        mask[1][1] = 1;
        mask[1][2] = 2;
        mask[2][1] = 3;
        mask[2][2] = 4;
    }
    void TearDown() override { g_error_record = error_record(); }

    // Writes an index map of a 2 x 2 grid with the IDs in row-major order.
    std::string index_map(const std::string& name, const std::string& ids) {
        return dir.write(name, std::string(kGridHeader) + ids + "\n");
    }
    std::string table_file(const std::string& text) { return dir.write("tables.cmt", text); }

    // Reads one column into `v` (4 cells), capturing the console.
    bool read_column(mapping_table_file& f, const std::string& name, int table_id, vec1<double>& v,
                     std::string& out, int nconst = 0, vec1<double>* precip = nullptr) {
        grid_header h;
        std::array<vec1<double>*, 7> cols{};
        cols[0] = &v;
        testing::internal::CaptureStdout();
        const bool ok = read_mapping_table(f, name, table_id, cols, h, mask, 2, 2, nullptr, nconst, precip);
        out = testing::internal::GetCapturedStdout();
        return ok;
    }

    kesta_test::temp_dir dir;
    mat2<int> mask;
};

}  // namespace

TEST(MappingKeywords, MatchByPrefixInTheirFixedOrder) {
    EXPECT_EQ(get_table_id("GROUNDWATER_BOUNDARY \"soil\""), table_gw_boundary);
    EXPECT_EQ(get_table_id("GROUNDWATER \"soil\""), table_groundwater);
    EXPECT_EQ(get_table_id("RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils"), table_richards_havercamp);
    EXPECT_EQ(get_table_id("RICHARDS_EQN_INFILTRATION_HAVERCAMP soils"), table_none);
    EXPECT_EQ(get_table_id("ZEP_SOIL_KOC x"), table_zep_soil_koc);
    EXPECT_EQ(get_table_id("ZEP_N x"), table_zep_n);
    EXPECT_EQ(get_table_id("PRECIP_CONC 1 2"), key_precip_conc);
    EXPECT_EQ(get_table_id("  ROUGHNESS x"), table_none);
    EXPECT_EQ(get_table_id("ID  DESCRIPTION  VALUE"), table_none);
    EXPECT_EQ(table_ncols(table_green_ampt), 7);
    EXPECT_EQ(table_ncols(table_richards_brooks), 11);
    EXPECT_EQ(get_table_keyword(table_soil_erosion), "SOIL_EROSION_PROPS");
}

TEST_F(MappingTables, ColumnSpreadsThroughItsIndexMap) {
    const std::string map = index_map("land.idx", "3 5\n0 12");
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES written by hand\n"
                                     "INDEX_MAP " + map + " \"Land use\"\n"
                                     "ROUGHNESS \"Land use\"\n"
                                     "NUM_IDS 3\n"
                                     "ID   DESCRIPTION                      VALUE\n" +
                                     row(3, "0.03") + row(12, "0.12") + row(7, "0.07"));
    mapping_table_file tables;
    vec1<double> n(4);
    n.fill(-1.0);
    std::string out;
    ASSERT_TRUE(read_column(tables, f, table_roughness, n, out)) << out;
    EXPECT_DOUBLE_EQ(n[1], 0.03);
    EXPECT_DOUBLE_EQ(n[2], 0.0);   // ID 5 has no row
    EXPECT_DOUBLE_EQ(n[3], -1.0);  // ID 0 keeps what the cell held
    EXPECT_DOUBLE_EQ(n[4], 0.12);  // "    12" in characters 1-6
    EXPECT_EQ(out,
              "In map " + map + " category 3 has 1 values\n"
              "In map " + map + " category 5 has 1 values\n"
              "In map " + map + " category 12 has 1 values\n");
}

TEST_F(MappingTables, FileHeaderAndIndexMapLinesDecideWhatIsFound) {
    const std::string map = index_map("a.idx", "1 1\n1 1");
    const std::string body = "ROUGHNESS \"A\"\nNUM_IDS 1\nheader\n" + row(1, "0.5");
    vec1<double> n(4);
    std::string out;

    mapping_table_file blank_first;
    const std::string f1 = table_file(" KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " \"A\"\n" + body);
    EXPECT_FALSE(read_column(blank_first, f1, table_roughness, n, out));
    EXPECT_NE(out.find("no entries found in table ROUGHNESS (NUM_IDS is 0)"), std::string::npos) << out;

    // An INDEX_MAP line after the first table line is not collected.
    mapping_table_file late;
    const std::string f2 = dir.write("late.cmt", "KESTA_INDEX_MAP_TABLES\nRETENTION x\nINDEX_MAP " + map +
                                                     " \"A\"\n" + body);
    EXPECT_FALSE(read_column(late, f2, table_roughness, n, out));
    EXPECT_NE(out.find("no entries found in table ROUGHNESS"), std::string::npos);

    // The last INDEX_MAP line of a name wins; quotes of the file are removed.
    const std::string other = index_map("b.idx", "1 0\n0 1");
    mapping_table_file both;
    const std::string f3 = dir.write("both.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                                     " \"A\"\nINDEX_MAP \"" + other + "\" \"A\"\n" + body);
    n.fill(-1.0);
    ASSERT_TRUE(read_column(both, f3, table_roughness, n, out)) << out;
    EXPECT_DOUBLE_EQ(n[1], 0.5);
    EXPECT_DOUBLE_EQ(n[2], -1.0);
}

TEST_F(MappingTables, RowsThatDoNotReadAreRefusedWithTheirLine) {
    const std::string map = index_map("a.idx", "1 1\n1 1");
    const std::string head = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " soil\nRETENTION soil\n";
    vec1<double> v(4);
    std::string out;
    const auto refused = [&](const std::string& name, const std::string& rest) {
        mapping_table_file tables;
        g_error_record = error_record();
        const bool ok = read_column(tables, dir.write(name, head + rest), table_retention, v, out);
        return !ok && g_error_record.stop == 1;
    };

    EXPECT_TRUE(refused("short.cmt", "NUM_IDS 3\nhdr\n" + row(1, "2.0") + row(2, "3.0")));
    EXPECT_NE(out.find("table RETENTION, line 7: the file ends after 2 of the 3 rows"), std::string::npos)
        << out;
    EXPECT_TRUE(refused("word.cmt", "NUM_IDS 1\nhdr\n" + row(1, "2.O")));
    EXPECT_NE(out.find("line 6: value 1 (\"2.O\") is not a number"), std::string::npos) << out;
    // A value starting before character 87 lies in the description.
    EXPECT_TRUE(refused("early.cmt", "NUM_IDS 1\nhdr\n     1 forest" + std::string(67, ' ') + "2.0\n"));
    EXPECT_NE(out.find("ends before character 87"), std::string::npos) << out;
    EXPECT_TRUE(refused("id.cmt", "NUM_IDS 1\nhdr\n" + row(0, "2.0")));
    EXPECT_NE(out.find("row ID 0 is below 1"), std::string::npos) << out;
    EXPECT_TRUE(refused("badid.cmt", "NUM_IDS 1\nhdr\n12abcd" + row(1, "2.0").substr(6)));
    EXPECT_NE(out.find("(\"12abcd\") is not an integer"), std::string::npos) << out;
    EXPECT_TRUE(refused("count.cmt", "NUM_IDS three\nhdr\n" + row(1, "2.0")));
    EXPECT_NE(out.find("line 4: the count of \"NUM_IDS three\""), std::string::npos) << out;
    EXPECT_TRUE(refused("zero.cmt", "NUM_IDS 0\nhdr\n"));
    EXPECT_NE(out.find("no entries found in table RETENTION (NUM_IDS is 0)"), std::string::npos);
    // The ID's own word ends at a blank: a description may begin within characters 1-6.
    EXPECT_FALSE(refused("glued.cmt", "NUM_IDS 1\nhdr\n1 Fore" + row(1, "2.0").substr(6)));
    EXPECT_DOUBLE_EQ(v[1], 2.0);
}

TEST_F(MappingTables, MissingFilesAndIndexIdsAboveTheTable) {
    vec1<double> v(4);
    std::string out;
    mapping_table_file none;
    EXPECT_FALSE(read_column(none, dir.file("absent.cmt"), table_roughness, v, out));
    EXPECT_EQ(g_error_record.code, 64);  // left for the run driver
    EXPECT_EQ(g_error_record.file_name, dir.file("absent.cmt"));

    g_error_record = error_record();
    mapping_table_file no_map;
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + dir.file("gone.idx") +
                                     " m\nROUGHNESS m\nNUM_IDS 1\nhdr\n" + row(1, "0.1"));
    EXPECT_FALSE(read_column(no_map, f, table_roughness, v, out));
    EXPECT_EQ(out, "\nUnable to open index file " + dir.file("gone.idx") + "\n");

    g_error_record = error_record();
    const std::string map = index_map("hi.idx", "1 2\n1 1");
    mapping_table_file high;
    const std::string f2 = dir.write("hi.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                                   " m\nROUGHNESS m\nNUM_IDS 1\nhdr\n" + row(1, "0.1"));
    EXPECT_FALSE(read_column(high, f2, table_roughness, v, out));
    EXPECT_EQ(out, "\nIndex ID exceeds table limit, file: " + map + " [row 1:col 2]\n");
}

TEST_F(MappingTables, PrecipitationConcentrationsPrecedeTheHeader) {
    const std::string map = index_map("z.idx", "1 2\n2 1");
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                     " zone\nZEP_N zone\nNUM_IDS 2\nPRECIP_CONC 0.5 1.0\nheader\n" +
                                     row(1, "10 11 12 13") + row(2, "20 21 22 23"));
    mapping_table_file tables;
    vec1<double> no2(4), precip(2);
    std::string out;
    ASSERT_TRUE(read_column(tables, f, table_zep_n, no2, out, 2, &precip)) << out;
    EXPECT_DOUBLE_EQ(precip[1], 0.5);
    EXPECT_DOUBLE_EQ(precip[2], 1.0);
    EXPECT_DOUBLE_EQ(no2[2], 20.0);

    // Without a request the keyword line is skipped with the header.
    vec1<double> again(4);
    ASSERT_TRUE(read_column(tables, f, table_zep_n, again, out));
    EXPECT_DOUBLE_EQ(again[1], 10.0);

    const std::string bad = dir.write("bad.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                                     " zone\nZEP_N zone\nNUM_IDS 2\nPRECIP_CONC 0.5\nheader\n" +
                                                     row(1, "1 1 1 1") + row(2, "2 2 2 2"));
    mapping_table_file short_precip;
    EXPECT_FALSE(read_column(short_precip, bad, table_zep_n, no2, out, 2, &precip));
    EXPECT_NE(out.find("line 5: PRECIP_CONC value 2 of 2"), std::string::npos) << out;
}

TEST_F(MappingTables, FileIsReadOnceAndItsTimeSeriesIndexOncePerRun) {
    const std::string map = index_map("a.idx", "1 1\n1 1");
    const std::string text = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                             " m\nTIME_SERIES_INDEX\nNUM_IDS 2\nID NAME\n     1 \"inflow a\"\n     2 "
                             "pump_b\nROUGHNESS m\nNUM_IDS 1\nhdr\n" +
                             row(1, "0.1") + "RETENTION m\nNUM_IDS 1\nhdr\n" + row(1, "4.0");
    const std::string f = table_file(text);
    mapping_table_file tables;
    vec1<double> v(4);
    std::string out;
    ASSERT_TRUE(read_column(tables, f, table_roughness, v, out)) << out;
    EXPECT_NE(out.find("Adding table to list: inflow a... "), std::string::npos) << out;
    EXPECT_NE(out.find("Adding table to list: pump_b... "), std::string::npos) << out;

    // Served from memory: the file on disk no longer matters, and the index
    // is not registered again.
    table_file("garbage\n");
    ASSERT_TRUE(read_column(tables, f, table_retention, v, out)) << out;
    EXPECT_DOUBLE_EQ(v[4], 4.0);
    EXPECT_EQ(out.find("Adding table to list"), std::string::npos) << out;

    // A new run reads its file afresh.
    mapping_table_file next_run;
    EXPECT_FALSE(read_column(next_run, f, table_retention, v, out));
}

TEST_F(MappingTables, WetlandIdsAreRenumberedInOrderOfFirstOccurrence) {
    const std::string map = index_map("wet.idx", "10 20\n10 30");
    const std::string head = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " wet\nWETLAND_PROPERTIES wet\n";
    const std::string rows3 = row(30, "1000 2000 86400 4000 172800 6 7000") + row(10, "1 2 3 4 5 6 7") +
                              row(20, "0 0 0 0 0 0 0");
    std::vector<wetland_props> props;
    int categories = 0;
    vec1<int> wet(4);
    grid_header h;

    mapping_table_file tables;
    testing::internal::CaptureStdout();
    const bool ok = read_wetland_table(tables, dir.write("w.cmt", head + "NUM_IDS 3\nhdr\n" + rows3), props,
                                       categories, wet, h, mask, 2, 2, nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(categories, 3);
    EXPECT_EQ(wet[1], 1);
    EXPECT_EQ(wet[2], 2);
    EXPECT_EQ(wet[3], 1);
    EXPECT_EQ(wet[4], 3);
    ASSERT_EQ(props.size(), 31u);
    const std::array<double, 8> expect{1.0, 2.0, 1.0, 4.0, 2.0, 0.0, 6.0, 7.0};
    EXPECT_EQ(props[3].field, expect);
    EXPECT_DOUBLE_EQ(props[1].field[0], 0.001);
    EXPECT_DOUBLE_EQ(props[0].field[0], 0.0);

    mapping_table_file four;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_wetland_table(four, dir.write("w4.cmt", head + "NUM_IDS 4\nhdr\n" + rows3 +
                                                                  row(40, "1 1 1 1 1 1 1")),
                                    props, categories, wet, h, mask, 2, 2, nullptr));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("It contains\n3 ID's, while the mapping table file contains 4 ID's."),
              std::string::npos)
        << out;

    mapping_table_file stray;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_wetland_table(stray, dir.write("w5.cmt", head + "NUM_IDS 3\nhdr\n" +
                                                                   row(30, "1 1 1 1 1 1 1") +
                                                                   row(10, "1 1 1 1 1 1 1") +
                                                                   row(25, "1 1 1 1 1 1 1")),
                                    props, categories, wet, h, mask, 2, 2, nullptr));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("row 3: wetland ID 25 does not occur in its index map"), std::string::npos) << out;

    const std::string big = index_map("big.idx", "301 301\n301 301");
    mapping_table_file over;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_wetland_table(
        over, dir.write("w6.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + big +
                                      " wet\nWETLAND_PROPERTIES wet\nNUM_IDS 1\nhdr\n" + row(301, "1 1 1 1 1 1 1")),
        props, categories, wet, h, mask, 2, 2, nullptr));
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("is over 300!"), std::string::npos) << out;
}

TEST_F(MappingTables, ErosionTableChecksItsSedimentCount) {
    const std::string map = index_map("soil.idx", "1 1\n2 0");
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                     " soil\nSOIL_EROSION_PROPS soil\nNUM_IDS 2\nNUM_SED 2\nhdr\n" +
                                     row(1, "1 2 3 4 5 6 7 8 0.4 0.6") + row(2, "9 9 9 9 9 9 9 88 0.5 0.5"));
    model_state m;
    mapping_table_file tables;
    grid_header h;
    vec1<double> sed_k(4);
    std::array<vec1<double>*, 8> cols{};
    cols[7] = &sed_k;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_erosion_table(m, tables, f, 3, cols, h, mask, 2, 2, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_record.code, 91);  // left for the run driver
    EXPECT_EQ(g_error_record.value1, 3);
    EXPECT_EQ(g_error_record.value2, 2);

    g_error_record = error_record();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(read_erosion_table(m, tables, f, 2, cols, h, mask, 2, 2, nullptr));
    testing::internal::GetCapturedStdout();
    EXPECT_DOUBLE_EQ(sed_k[1], 8.0);
    EXPECT_DOUBLE_EQ(sed_k[3], 88.0);
}

TEST_F(MappingTables, SedimentClassesComeFromCharacter41) {
    std::string desc = "clay";
    desc.resize(40, ' ');
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 2\nheader\n" + desc +
                                     "2.65 0.002 0.1 clay.out\n" + desc + "2.6,0.5,0\n");
    mapping_table_file tables;
    sediment_classes s;
    ASSERT_TRUE(read_sediment_table(tables, f, s));
    ASSERT_EQ(s.count, 2);
    EXPECT_DOUBLE_EQ(s.spec_grav[1], 2.65);
    EXPECT_DOUBLE_EQ(s.part_diam[1], 0.002);
    EXPECT_DOUBLE_EQ(s.f_bind[1], 0.1);
    EXPECT_EQ(s.output_filename[1], "clay.out");
    EXPECT_DOUBLE_EQ(s.part_diam[2], 0.5);

    mapping_table_file none;
    sediment_classes empty;
    ASSERT_TRUE(read_sediment_table(none, dir.write("n.cmt", "KESTA_INDEX_MAP_TABLES\nROUGHNESS x\n"), empty));
    EXPECT_EQ(empty.count, 0);
}

TEST_F(MappingTables, ContaminantsReadTheirOwnTablesAndCoefficients) {
    const std::string map = index_map("c.idx", "1 2\n2 1");
    const std::string text =
        "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " \"Zones\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n"
        "\"Atrazine\" \"Zones\" \"atr.out\"\nPRECIP_CONC 0.25\nPARTITION 3.5\nNUM_IDS 2\nhdr\n" +
        row(1, "1 2 3 4 5 6 7 8") + row(2, "10 20 30 40 50 60 70 80") +
        "\"Tracer\" \"Zones\" \"tr.out\"\nPRECIP_CONC 1.5\nNUM_IDS 1\nhdr\n" + row(2, "9 9 9 9 9 9 9 9");
    mapping_table_file tables;
    mat2<double> disp, last;
    std::array<mat2<double>*, 8> cols{};
    cols[0] = &disp;
    cols[7] = &last;
    contaminant_tables info;
    array1d<double> precip, partition;
    grid_header h;
    testing::internal::CaptureStdout();
    const bool ok = read_contaminant_table(tables, table_file(text), cols, info, precip, partition, h, mask, 4,
                                           2, 2, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(info.count, 2);
    EXPECT_EQ(info.descriptions[1], "Atrazine");
    EXPECT_EQ(info.index_map_names[1], "\"Zones\"");
    EXPECT_EQ(info.output_file_names[2], "tr.out");
    ASSERT_EQ(precip.size(), 2);
    EXPECT_DOUBLE_EQ(precip.at(1), 0.25);
    EXPECT_DOUBLE_EQ(precip.at(2), 1.5);
    ASSERT_EQ(partition.size(), 2);
    EXPECT_DOUBLE_EQ(partition.at(1), 3.5);
    EXPECT_DOUBLE_EQ(partition.at(2), 0.0);  // none given
    EXPECT_DOUBLE_EQ(disp[1][1], 1.0);
    EXPECT_DOUBLE_EQ(disp[1][2], 10.0);
    EXPECT_DOUBLE_EQ(last[1][3], 80.0);
    EXPECT_DOUBLE_EQ(last[2][1], 0.0);  // ID 1 has no row for the tracer
    EXPECT_DOUBLE_EQ(last[2][2], 9.0);
    EXPECT_NE(out.find("\nReading contaminant table...  2 contaminants found\n"
                       "  Checking Atrazine" + std::string(35 - 8, '.') + "In map "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("found and read index map\n"), std::string::npos);

    // A constituent whose map name matches no INDEX_MAP line fails the table,
    // after the others were checked.
    std::string unmatched = text;
    unmatched.replace(unmatched.find("\"Tracer\" \"Zones\""), 16, "\"Tracer\" \"Other\"");
    mapping_table_file second;
    contaminant_tables info2;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_contaminant_table(second, dir.write("u.cmt", unmatched), cols, info2, precip, partition,
                                        h, mask, 4, 2, 2, nullptr));
    const std::string out2 = testing::internal::GetCapturedStdout();
    EXPECT_NE(out2.find("unable to match index map\n\nError reading the contaminant transport tables"),
              std::string::npos)
        << out2;
}

TEST_F(MappingTables, StartUpCheckListsEveryTable) {
    const std::string map = index_map("a.idx", "1 1\n1 1");
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " a\nINDEX_MAP " +
                                     dir.file("gone.idx") + " gone\n"
                                     "ROUGHNESS a\nNUM_IDS 1\nhdr\n" + row(1, "0.1") +
                                     "RETENTION gone\nNUM_IDS 1\nhdr\n" + row(1, "1") +
                                     "GROUNDWATER_BOUNDARY a\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP a\n"
                                     "CONTAMINANT_TRANSPORT\nNUM_CONTAM 0\nSEDIMENTS\nNUM_SED 3\n");
    mapping_table_info info;
    info.retention = 1;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(check_mapping_tables(f, info));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(info.roughness, 1);
    EXPECT_EQ(info.retention, 0);  // its index map does not open
    EXPECT_EQ(info.gw_boundary, 1);
    EXPECT_EQ(info.groundwater, 0);
    EXPECT_EQ(info.richards_havercamp, 1);
    EXPECT_EQ(info.contaminants, 0);
    EXPECT_EQ(info.sediments, 1);
    // Two blanks, the label, dots up to column 37, then Y or N.
    const auto line = [](const std::string& label, char yn) {
        return "  " + label + std::string(35 - label.size(), '.') + yn + "\n";
    };
    EXPECT_EQ(out.rfind("\nChecking 2D grid mapping tables...\n" + line("Roughness", 'Y') +
                            line("Interception", 'N') + line("Retention", 'N'),
                        0),
              0u)
        << out;
    EXPECT_NE(out.find(line("Groundwater Boundary", 'Y')), std::string::npos);
    EXPECT_NE(out.find(line("Richards Havercamp", 'Y')), std::string::npos);
    // The ZEP tables are listed with Other before Carbon.
    EXPECT_NE(out.find(line("ZEP Other", 'N') + line("ZEP Carbon", 'N')), std::string::npos);
    EXPECT_NE(out.find(line("ZEP Soil Km", 'N') + line("ZEP Soil Koc", 'N')), std::string::npos);
    int lines = 0;
    for (char c : out) lines += c == '\n';
    EXPECT_EQ(lines, 32);

    EXPECT_FALSE(check_mapping_tables(dir.file("nothing.cmt"), info));
    EXPECT_EQ(g_error_record.code, 64);
}

TEST_F(MappingTables, RichardsTablesAreFoundByKind) {
    const std::string map = index_map("s.idx", "1 1\n1 1");
    const std::string f = table_file("KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map +
                                     " soils\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP soils\nNUM_IDS 0\n");
    mapping_table_file tables;
    std::string found;
    EXPECT_TRUE(find_richards_map(tables, f, 2, found));
    EXPECT_EQ(found, map);
    EXPECT_FALSE(find_richards_map(tables, f, 1, found));

    model_state m;
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_richards_table(m, tables, f, 1), -1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("no entries found in table RICHARDS_EQN_INFILTRATION_BROOKS"), std::string::npos);
}
