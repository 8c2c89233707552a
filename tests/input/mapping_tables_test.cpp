// The mapping-table file: keywords, spreading a column through its index
// map, the refusals of rows that do not read, and the special tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/temp_dir.hpp"

using namespace kesta;

namespace {

const char* kGridHeader = "north 2\nsouth 0\neast 2\nwest 0\nrows 2\ncols 2\n";

// A table row: ID in characters 1-6, a description up to character 86,
// values from character 87.
std::string row(int id, const std::string& values) {
    return kesta_test::table_row(id, values).replace(6, 10, "land class");
}

// The file header and one INDEX_MAP line tying `map` to `name`, then `body`.
std::string tables(const std::string& map, const std::string& name, const std::string& body) {
    return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " " + name + "\n" + body;
}

// One table over the map `name`: keyword line, NUM_IDS, a header line, rows.
std::string table(const std::string& keyword, const std::string& name, int ids, const std::string& rows) {
    return keyword + " " + name + "\nNUM_IDS " + std::to_string(ids) + "\nhdr\n" + rows;
}

class MappingTables : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = error_record();
        for (int k = 1; k <= 4; ++k) mask[(k + 1) / 2][2 - k % 2] = k;  // cells 1 to 4 row by row
    }
    void TearDown() override { g_error_record = error_record(); }

    // Writes an index map of a 2 x 2 grid with the IDs in row-major order.
    std::string index_map(const std::string& name, const std::string& ids) {
        return dir.write(name, std::string(kGridHeader) + ids + "\n");
    }

    // Reads one column into `v` (4 cells), capturing the console; from a
    // fresh file object unless one is given.
    bool read_column(const std::string& name, int table_id, vec1<double>& v, int nconst = 0,
                     vec1<double>* precip = nullptr, mapping_table_file* held = nullptr) {
        mapping_table_file fresh;
        mapping_table_file& f = held ? *held : fresh;
        grid_header h;
        std::array<vec1<double>*, 7> cols{};
        cols[0] = &v;
        return captured(
            [&] { return read_mapping_table(f, name, table_id, cols, h, mask, 2, 2, nullptr, nconst, precip); });
    }
    bool read_wetlands(const std::string& text) {
        mapping_table_file f;
        grid_header h;
        const std::string name = dir.write("w.cmt", text);
        return captured([&] { return read_wetland_table(f, name, props, categories, wet, h, mask, 2, 2, nullptr); });
    }
    template <class F>
    bool captured(F f) {
        testing::internal::CaptureStdout();
        const bool ok = f();
        out = testing::internal::GetCapturedStdout();
        return ok;
    }
    bool printed(const std::string& part) const { return out.find(part) != std::string::npos; }

    kesta_test::temp_dir dir;
    mat2<int> mask{2, 2};
    std::string out;
    std::vector<wetland_props> props;
    int categories = 0;
    vec1<int> wet{4};
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
    // Names match whatever separators end their lines.
    const std::string f = dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES written by hand\nINDEX_MAP " + map +
                                                 " \"Land use\" , \t\nROUGHNESS \"Land use\"  \nNUM_IDS 3\n"
                                                 "ID   DESCRIPTION                      VALUE\n" +
                                                 row(3, "0.03") + row(12, "0.12") + row(7, "0.07"));
    vec1<double> n(4);
    n.fill(-1.0);
    ASSERT_TRUE(read_column(f, table_roughness, n)) << out;
    // ID 5 has no row; ID 0 keeps what the cell held; "    12" in characters 1-6.
    EXPECT_EQ(std::make_tuple(n[1], n[2], n[3], n[4]), std::make_tuple(0.03, 0.0, -1.0, 0.12));
    EXPECT_EQ(out,
              "In map " + map + " category 3 has 1 values\n"
              "In map " + map + " category 5 has 1 values\n"
              "In map " + map + " category 12 has 1 values\n");

    // The last INDEX_MAP line of a name wins; quotes of the file are removed.
    const std::string other = index_map("b.idx", "1 0\n0 1");
    const std::string body = "INDEX_MAP \"" + other + "\" \"A\"\n" + table("ROUGHNESS", "\"A\"", 1, row(1, "0.5"));
    n.fill(-1.0);
    ASSERT_TRUE(read_column(dir.write("both.cmt", tables(map, "\"A\"", body)), table_roughness, n)) << out;
    EXPECT_EQ(std::make_tuple(n[1], n[2]), std::make_tuple(0.5, -1.0));
}

// Each refusal prints why, with the table and line where it has them.
TEST_F(MappingTables, TablesThatDoNotReadAreRefusedWithTheirReason) {
    const std::string map = index_map("a.idx", "1 1\n1 1");
    const std::string head = tables(map, "soil", "RETENTION soil\n");
    const std::string one_row = "NUM_IDS 1\nhdr\n" + row(1, "2.0");
    const std::string hi = index_map("hi.idx", "1 2\n1 1");
    const std::string empty = "no entries found in table RETENTION (NUM_IDS is 0)\n  (File: " + dir.file("r.cmt");
    const std::pair<std::string, std::string> cases[] = {
        // Line 1 must begin with the header keyword; INDEX_MAP lines after
        // the first table line are not collected.
        {" " + head + one_row, empty + ": its first line does not begin with KESTA_INDEX_MAP_TABLES)\n"},
        {"KESTA_INDEX_MAP_TABLES\nROUGHNESS x\nINDEX_MAP " + map + " soil\nRETENTION soil\n" + one_row,
         empty + ", line 4: no INDEX_MAP line at the head of the file names the index map \"soil\")\n"},
        {head + "NUM_IDS 0\nhdr\n", empty + ", line 4)\n"},
        // A file cut short after the keyword line, or before the count.
        {head, empty + " ends at line 3, the RETENTION line, without the count and rows of the table)\n"},
        {head + "hdr\n" + row(1, "2.0"), empty + ", line 4: \"hdr\" stands where NUM_IDS was expected)\n"},
        {head + "NUM_IDS three\nhdr\n" + row(1, "2.0"), "line 4: the count of \"NUM_IDS three\""},
        {head + "NUM_IDS 3\nhdr\n" + row(1, "2.0") + row(2, "3.0"),
         "table RETENTION, line 7: the file ends after 2 of the 3 rows"},
        // A count beyond the lines of the file is refused before anything is sized.
        {head + "NUM_IDS 20000000\nhdr\n" + row(1, "2.0") + row(2, "3.0"),
         "table RETENTION, line 4: NUM_IDS gives 20000000 entries, but only 3 lines follow in the file\n"},
        {head + "NUM_IDS 1\nhdr\n" + row(1, "2.O"), "line 6: value 1 (\"2.O\") is not a number"},
        // A value starting before character 87 lies in the description.
        {head + "NUM_IDS 1\nhdr\n     1 forest" + std::string(67, ' ') + "2.0\n", "ends before character 87"},
        {head + "NUM_IDS 1\nhdr\n" + row(0, "2.0"), "row ID 0 is below 1"},
        {head + "NUM_IDS 1\nhdr\n12abcd" + row(1, "2.0").substr(6), "(\"12abcd\") is not an integer"},
        {tables(dir.file("gone.idx"), "soil", "RETENTION soil\n" + one_row),
         "\nUnable to open index file " + dir.file("gone.idx") + "\n"},
        {tables(hi, "soil", "RETENTION soil\n" + one_row),
         "\nIndex ID exceeds table limit, file: " + hi + " [row 1:col 2]\n"},
    };
    vec1<double> v(4);
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + c.second);
        g_error_record = error_record();
        EXPECT_FALSE(read_column(dir.write("r.cmt", c.first), table_retention, v));
        EXPECT_EQ(g_error_record.stop, 1);
        if (c.second[0] == '\n') {
            EXPECT_EQ(out, c.second);  // a catalogue message is all that is printed
        } else {
            EXPECT_TRUE(printed(c.second)) << out;
        }
    }
    // The ID's own word ends at a blank: a description may begin within characters 1-6.
    g_error_record = error_record();
    ASSERT_TRUE(read_column(dir.write("r.cmt", head + "NUM_IDS 1\nhdr\n1 Fore" + row(1, "2.0").substr(6)),
                            table_retention, v))
        << out;
    EXPECT_DOUBLE_EQ(v[1], 2.0);

    // A file that does not open is left for the run driver.
    EXPECT_FALSE(read_column(dir.file("absent.cmt"), table_roughness, v));
    EXPECT_EQ(std::make_tuple(g_error_record.code, g_error_record.file_name),
              std::make_tuple(64, dir.file("absent.cmt")));
}

TEST_F(MappingTables, PrecipitationConcentrationsPrecedeTheHeader) {
    const std::string map = index_map("z.idx", "1 2\n2 1");
    const auto file = [&](const std::string& name, const std::string& precip, const std::string& rows) {
        return dir.write(name,
                         tables(map, "zone", "ZEP_N zone\nNUM_IDS 2\nPRECIP_CONC " + precip + "\nheader\n" + rows));
    };
    const std::string f = file("z.cmt", "0.5 1.0", row(1, "10 11 12 13") + row(2, "20 21 22 23"));
    vec1<double> no2(4), precip(2);
    ASSERT_TRUE(read_column(f, table_zep_n, no2, 2, &precip)) << out;
    EXPECT_EQ(std::make_tuple(precip[1], precip[2], no2[2]), std::make_tuple(0.5, 1.0, 20.0));

    // Without a request the keyword line is skipped with the header.
    no2.fill(0.0);
    ASSERT_TRUE(read_column(f, table_zep_n, no2));
    EXPECT_DOUBLE_EQ(no2[1], 10.0);

    EXPECT_FALSE(read_column(file("bad.cmt", "0.5", row(1, "1 1 1 1") + row(2, "2 2 2 2")), table_zep_n, no2, 2,
                             &precip));
    EXPECT_TRUE(printed("line 5: PRECIP_CONC value 2 of 2")) << out;
}

TEST_F(MappingTables, FileIsReadOnceAndItsTimeSeriesIndexOncePerRun) {
    const std::string f = dir.write(
        "t.cmt", tables(index_map("a.idx", "1 1\n1 1"), "m",
                        "TIME_SERIES_INDEX\nNUM_IDS 2\nID NAME\n     1 \"inflow a\"\n     2 pump_b\n" +
                            table("ROUGHNESS", "m", 1, row(1, "0.1")) + table("RETENTION", "m", 1, row(1, "4.0"))));
    mapping_table_file tables;
    vec1<double> v(4);
    ASSERT_TRUE(read_column(f, table_roughness, v, 0, nullptr, &tables)) << out;
    EXPECT_TRUE(printed("Adding table to list: inflow a... ")) << out;
    EXPECT_TRUE(printed("Adding table to list: pump_b... ")) << out;

    // Served from memory: the file on disk no longer matters, and the index
    // is not registered again.
    dir.write("t.cmt", "garbage\n");
    ASSERT_TRUE(read_column(f, table_retention, v, 0, nullptr, &tables)) << out;
    EXPECT_DOUBLE_EQ(v[4], 4.0);
    EXPECT_FALSE(printed("Adding table to list")) << out;

    // A new run reads its file afresh.
    EXPECT_FALSE(read_column(f, table_retention, v));
}

TEST_F(MappingTables, WetlandIdsAreRenumberedInOrderOfFirstOccurrence) {
    const std::string head = tables(index_map("wet.idx", "10 20\n10 30"), "wet", "");
    const std::string rows3 = row(30, "1000 2000 86400 4000 172800 6 7000") + row(10, "1 2 3 4 5 6 7") +
                              row(20, "0 0 0 0 0 0 0");
    ASSERT_TRUE(read_wetlands(head + table("WETLAND_PROPERTIES", "wet", 3, rows3))) << out;
    EXPECT_EQ(categories, 3);
    EXPECT_EQ(std::make_tuple(wet[1], wet[2], wet[3], wet[4]), std::make_tuple(1, 2, 1, 3));
    ASSERT_EQ(props.size(), 31u);
    // Depths and heights in m, rates per second.
    const std::array<double, 8> expect{1.0, 2.0, 1.0, 4.0, 2.0, 0.0, 6.0, 7.0};
    EXPECT_EQ(props[3].field, expect);
    EXPECT_DOUBLE_EQ(props[1].field[0], 0.001);
    EXPECT_DOUBLE_EQ(props[0].field[0], 0.0);

    const std::string ones = "1 1 1 1 1 1 1";
    EXPECT_FALSE(read_wetlands(head + table("WETLAND_PROPERTIES", "wet", 4, rows3 + row(40, ones))));
    EXPECT_TRUE(printed("It contains\n3 ID's, while the mapping table file contains 4 ID's.")) << out;

    EXPECT_FALSE(read_wetlands(
        head + table("WETLAND_PROPERTIES", "wet", 3, row(30, ones) + row(10, ones) + row(25, ones))));
    EXPECT_TRUE(printed("row 3: wetland ID 25 does not occur in its index map")) << out;

    EXPECT_FALSE(read_wetlands(tables(index_map("big.idx", "301 301\n301 301"), "wet",
                                      table("WETLAND_PROPERTIES", "wet", 1, row(301, ones)))));
    EXPECT_TRUE(printed("is over 300!")) << out;
}

TEST_F(MappingTables, ErosionTableChecksItsSedimentCount) {
    const std::string f =
        dir.write("t.cmt", tables(index_map("soil.idx", "1 1\n2 0"), "soil",
                                  "SOIL_EROSION_PROPS soil\nNUM_IDS 2\nNUM_SED 2\nhdr\n" +
                                      row(1, "1 2 3 4 5 6 7 8 0.4 0.6") + row(2, "9 9 9 9 9 9 9 88 0.5 0.5")));
    model_state m;
    mapping_table_file tables;
    grid_header h;
    vec1<double> sed_k(4);
    std::array<vec1<double>*, 8> cols{};
    cols[7] = &sed_k;
    EXPECT_FALSE(captured([&] { return read_erosion_table(m, tables, f, 3, cols, h, mask, 2, 2, nullptr); }));
    // Left for the run driver, with both counts.
    EXPECT_EQ(std::make_tuple(g_error_record.code, g_error_record.value1, g_error_record.value2),
              std::make_tuple(91, 3, 2));

    g_error_record = error_record();
    EXPECT_TRUE(captured([&] { return read_erosion_table(m, tables, f, 2, cols, h, mask, 2, 2, nullptr); }));
    EXPECT_EQ(std::make_tuple(sed_k[1], sed_k[3]), std::make_tuple(8.0, 88.0));
}

TEST_F(MappingTables, SedimentClassesComeFromCharacter41) {
    std::string desc = "clay";
    desc.resize(40, ' ');
    const std::string f = dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 2\nheader\n" + desc +
                                                 "2.65 0.002 0.1 clay.out\n" + desc + "2.6,0.5,0\n");
    mapping_table_file tables;
    sediment_classes s;
    ASSERT_TRUE(read_sediment_table(tables, f, s));
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(std::make_tuple(s.spec_grav[1], s.part_diam[1], s.f_bind[1], s.output_filename[1], s.part_diam[2]),
              std::make_tuple(2.65, 0.002, 0.1, std::string("clay.out"), 0.5));

    mapping_table_file none;
    sediment_classes empty;
    ASSERT_TRUE(read_sediment_table(none, dir.write("n.cmt", "KESTA_INDEX_MAP_TABLES\nROUGHNESS x\n"), empty));
    EXPECT_EQ(empty.count, 0);

    mapping_table_file big;
    const std::string many =
        dir.write("s.cmt", "KESTA_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 20000000\nhdr\n" + desc + "2.65 0.1 0.0 a\n");
    EXPECT_FALSE(captured([&] { return read_sediment_table(big, many, empty); }));
    EXPECT_TRUE(printed("table SEDIMENTS, line 3: NUM_SED gives 20000000 entries, but only 2 lines follow")) << out;
}

TEST_F(MappingTables, ContaminantsReadTheirOwnTablesAndCoefficients) {
    const std::string text = tables(
        index_map("c.idx", "1 2\n2 1"), "\"Zones\"",
        "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n\"Atrazine\" \"Zones\" \"atr.out\"\nPRECIP_CONC 0.25\nPARTITION 3.5\n"
        "NUM_IDS 2\nhdr\n" + row(1, "1 2 3 4 5 6 7 8") + row(2, "10 20 30 40 50 60 70 80") +
            "\"Tracer\" \"Zones\" \"tr.out\"\nPRECIP_CONC 1.5\nNUM_IDS 1\nhdr\n" + row(2, "9 9 9 9 9 9 9 9"));
    mat2<double> disp, last;
    std::array<mat2<double>*, 8> cols{};
    cols[0] = &disp;
    cols[7] = &last;
    array1d<double> precip, partition;
    grid_header h;
    const auto read = [&](const std::string& name, const std::string& body, contaminant_tables& info) {
        mapping_table_file f;
        const std::string path = dir.write(name, body);
        return captured([&] {
            return read_contaminant_table(f, path, cols, info, precip, partition, h, mask, 4, 2, 2, nullptr);
        });
    };
    // Three constituents promised, one given: refused before the per-cell
    // tables are made for three.
    contaminant_tables info, refused;
    std::string short_of_two = text.substr(0, text.find("\"Tracer\""));
    short_of_two.replace(short_of_two.find("NUM_CONTAM 2"), 12, "NUM_CONTAM 3");
    EXPECT_FALSE(read("s.cmt", short_of_two, refused));
    EXPECT_TRUE(printed("NUM_CONTAM gives 3 constituents, but only 1 PRECIP_CONC lines follow")) << out;
    EXPECT_TRUE(disp.empty());

    ASSERT_TRUE(read("c.cmt", text, info)) << out;
    EXPECT_EQ(info.count, 2);
    EXPECT_EQ(std::make_tuple(info.descriptions[1], info.index_map_names[1], info.output_file_names[2]),
              std::make_tuple("Atrazine", "\"Zones\"", "tr.out"));
    ASSERT_EQ(std::make_tuple(precip.size(), partition.size()), std::make_tuple(2, 2));
    // The tracer gives no PARTITION (0) and has no row for ID 1 (0).
    EXPECT_EQ(std::make_tuple(precip.at(1), precip.at(2), partition.at(1), partition.at(2)),
              std::make_tuple(0.25, 1.5, 3.5, 0.0));
    EXPECT_EQ(std::make_tuple(disp[1][1], disp[1][2], last[1][3], last[2][1], last[2][2]),
              std::make_tuple(1.0, 10.0, 80.0, 0.0, 9.0));
    EXPECT_TRUE(printed("\nReading contaminant table...  2 contaminants found\n"
                        "  Checking Atrazine" + std::string(35 - 8, '.') + "In map "))
        << out;
    EXPECT_TRUE(printed("found and read index map\n"));

    // A constituent whose map name matches no INDEX_MAP line fails the table,
    // after the others were checked.
    std::string unmatched = text;
    unmatched.replace(unmatched.find("\"Tracer\" \"Zones\""), 16, "\"Tracer\" \"Other\"");
    EXPECT_FALSE(read("u.cmt", unmatched, refused));
    EXPECT_TRUE(printed("unable to match index map\n\nError reading the contaminant transport tables")) << out;
}

TEST_F(MappingTables, StartUpCheckListsEveryTable) {
    const std::string f = dir.write(
        "t.cmt", tables(index_map("a.idx", "1 1\n1 1"), "a",
                        "INDEX_MAP " + dir.file("gone.idx") + " gone\n" + table("ROUGHNESS", "a", 1, row(1, "0.1")) +
                            table("RETENTION", "gone", 1, row(1, "1")) +
                            "GROUNDWATER_BOUNDARY a\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP a\n"
                            "CONTAMINANT_TRANSPORT\nNUM_CONTAM 0\nSEDIMENTS\nNUM_SED 3\n"));
    mapping_table_info info;
    info.retention = 1;
    ASSERT_TRUE(captured([&] { return check_mapping_tables(f, info); }));
    // Retention: its index map does not open.
    EXPECT_EQ(std::make_tuple(info.roughness, info.retention, info.gw_boundary, info.groundwater,
                              info.richards_havercamp, info.contaminants, info.sediments),
              std::make_tuple(1, 0, 1, 0, 1, 0, 1));
    // Two blanks, the label, dots up to column 37, then Y or N.
    const auto line = [](const std::string& label, char yn) {
        return "  " + label + std::string(35 - label.size(), '.') + yn + "\n";
    };
    EXPECT_EQ(out.rfind("\nChecking 2D grid mapping tables...\n" + line("Roughness", 'Y') +
                            line("Interception", 'N') + line("Retention", 'N'),
                        0),
              0u)
        << out;
    EXPECT_TRUE(printed(line("Groundwater Boundary", 'Y')));
    EXPECT_TRUE(printed(line("Richards Havercamp", 'Y')));
    // The ZEP tables are listed with Other before Carbon.
    EXPECT_TRUE(printed(line("ZEP Other", 'N') + line("ZEP Carbon", 'N')));
    EXPECT_TRUE(printed(line("ZEP Soil Km", 'N') + line("ZEP Soil Koc", 'N')));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 32);

    EXPECT_FALSE(check_mapping_tables(dir.file("nothing.cmt"), info));
    EXPECT_EQ(g_error_record.code, 64);
}

TEST_F(MappingTables, AnUnusableTableSaysWhatStandsInTheWay) {
    const std::string land = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + index_map("lu.asc", "1 1\n2 2") + " \"Land use\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file is empty"},
        {"KESTA_TABLES\n", "its first line does not begin with KESTA_INDEX_MAP_TABLES"},
        {land + "RETENTION \"Land use\"\n", "the file holds no ROUGHNESS table"},
        {land + "ROUGHNESS\n", "the ROUGHNESS line (line 3) names no index map"},
        {land + "ROUGHNESS \"Land use\n",
         "the ROUGHNESS line (line 3) names the index map \"Land use, which no INDEX_MAP line at the head of the "
         "file names"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP gone.asc \"Land use\"\nROUGHNESS \"Land use\"\n",
         "the index map file gone.asc of its ROUGHNESS table (line 3) could not be opened (No such file or "
         "directory)"},
        {land + table("ROUGHNESS", "\"Land use\"", 1, row(1, "0.03")), ""},
    };
    for (const auto& [text, says] : cases) {
        mapping_table_file f;
        EXPECT_EQ(mapping_table_problem(f, dir.write("t.cmt", text), table_roughness), says) << "case " << says;
    }
    mapping_table_file f;
    EXPECT_EQ(mapping_table_problem(f, dir.path().string(), table_roughness),
              "the file could not be opened (Is a directory)");
}

TEST_F(MappingTables, RichardsTablesAreFoundByKind) {
    const std::string map = index_map("s.idx", "1 1\n1 1");
    const std::string f =
        dir.write("t.cmt", tables(map, "soils", "RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils\nNUM_IDS 0\n"));
    mapping_table_file tables;
    std::string found;
    EXPECT_TRUE(find_richards_map(tables, f, 2, found));
    EXPECT_EQ(found, map);
    EXPECT_FALSE(find_richards_map(tables, f, 1, found));

    model_state m;
    int nodes = 0;
    captured([&] { return (nodes = read_richards_table(m, tables, f, 1)) > 0; });
    EXPECT_EQ(nodes, -1);
    EXPECT_TRUE(printed("no entries found in table RICHARDS_EQN_INFILTRATION_BROOKS"));
}

// A concentration in water of the nutrient tables (rows and PRECIP_CONC) and
// of the contaminant table's PRECIP_CONC lies from 0 to 1e6 g/m3, what a
// cubic metre of water weighs: beyond it the table is refused, naming the
// line, the species and the value; 1e6 itself is taken.
TEST_F(MappingTables, ConcentrationsLieWithinWhatWaterWeighs) {
    const std::string map = index_map("z.idx", "1 2\n2 1");
    const std::string rule = "; it must be from 0 to 1e+06 g/m3, what a cubic metre of water weighs\n";
    const struct {
        const char* keyword;
        int table_id;
        std::string precip, row1, row2, says;
    } cases[] = {
        {"ZEP_N", table_zep_n, "0 1e308 0.3 0.2", "0 0 0 0", "0 0 0 0",
         "table ZEP_N, line 5: PRECIP_CONC value 2 of 4, of Nitrate (NO3-), the concentration in rain, is 1e+308 g/m3"},
        {"ZEP_N", table_zep_n, "0 0 0 0", "0 0 0 0", "0 0 2e6 0",
         "table ZEP_N, line 8: the row of ID 2 gives the Ammonium (NH4+) concentration (column 3) 2e+06 g/m3"},
        {"ZEP_C", table_zep_c, "", "2e6 0.5", "0 0",
         "table ZEP_C, line 6: the row of ID 1 gives the Dissolved Org. Carbon concentration (column 1) 2e+06 g/m3"},
        {"ZEP_GW_N", table_zep_gw_n, "", "0 1e308 0 0", "0 0 0 0",
         "table ZEP_GW_N, line 6: the row of ID 1 gives the Nitrate (NO3-) concentration (column 2) 1e+308 g/m3"},
        {"ZEP_GW_OTH", table_zep_gw_oth, "", "0 -1", "0 0",
         "table ZEP_GW_OTH, line 6: the row of ID 1 gives the Dissolved Oxygen (O2) concentration (column 2) -1 g/m3"},
        // A value just past the bound reads as written, not rounded onto it.
        {"ZEP_N", table_zep_n, "0 0 0 0", "1000001 0 0 0", "0 0 0 0",
         "table ZEP_N, line 7: the row of ID 1 gives the Nitrite (NO2-) concentration (column 1) 1000001 g/m3"},
        {"ZEP_N", table_zep_n, "0 1000000.5 0 0", "0 0 0 0", "0 0 0 0",
         "table ZEP_N, line 5: PRECIP_CONC value 2 of 4, of Nitrate (NO3-), the concentration in rain, is "
         "1000000.5 g/m3"},
        // What water weighs, and no more, is taken.
        {"ZEP_N", table_zep_n, "1e6 1e6 1e6 1e6", "1e6 1e6 1e6 1e6", "0 0 0 0", ""},
    };
    for (const auto& c : cases) {
        const std::string precip = c.precip.empty() ? "" : "PRECIP_CONC " + c.precip + "\n";
        const std::string f = dir.write("z.cmt", tables(map, "zone", std::string(c.keyword) + " zone\nNUM_IDS 2\n" +
                                                                         precip + "header\n" + row(1, c.row1) +
                                                                         row(2, c.row2)));
        vec1<double> v(4), rain(4);
        const int n = c.precip.empty() ? 0 : table_ncols(c.table_id);
        g_error_record = error_record();
        const bool read = read_column(f, c.table_id, v, n, c.precip.empty() ? nullptr : &rain);
        EXPECT_EQ(read, c.says.empty()) << c.row1 << "\n" << out;
        if (!c.says.empty()) {
            EXPECT_TRUE(printed("Error: mapping table file " + f + ", " + c.says + rule)) << c.says << "\n" << out;
        }
    }

    // The contaminant table's PRECIP_CONC.
    const std::string contaminant = "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Atrazine\" \"zone\" \"atr.out\"\n"
                                    "PRECIP_CONC %s\nNUM_IDS 2\nhdr\n" + row(1, "0 0 0 0 0 0 0 0") +
                                    row(2, "0 0 0 0 0 0 0 0");
    for (const char* precip : {"1e308", "1e6"}) {
        mat2<double> disp;
        std::array<mat2<double>*, 8> cols{};
        cols[0] = &disp;
        array1d<double> rain, partition;
        contaminant_tables info;
        grid_header h;
        mapping_table_file file;
        const std::string f = dir.write("c.cmt", tables(map, "\"zone\"", format_text(contaminant.c_str(), precip)));
        const bool read = captured(
            [&] { return read_contaminant_table(file, f, cols, info, rain, partition, h, mask, 4, 2, 2, nullptr); });
        const bool bounded = std::string(precip) == "1e6";
        EXPECT_EQ(read, bounded) << precip << "\n" << out;
        if (!bounded) {
            EXPECT_TRUE(printed("Error: mapping table file " + f + ", table CONTAMINANT_TRANSPORT, line 6: the "
                                "PRECIP_CONC of contaminant 1 (Atrazine), its concentration in rain, is " +
                                format_text("%g", std::stod(precip)) + " g/m3" + rule))
                << out;
        }
    }
}
