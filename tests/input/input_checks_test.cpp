// Inputs whose values or counts the model cannot take: card values out of
// their range, intervals and run lengths the step counters cannot hold,
// counts in files that promise more than the file holds, and the messages
// that must say which file, line and value were wrong.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "calibration/replace_params.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/model_state.hpp"
#include "core/overland_arrays.hpp"
#include "input/input_steps.hpp"
#include "input/mapping_tables.hpp"
#include "input/model_inputs.hpp"
#include "input/project_file.hpp"
#include "overland/precipitation.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;
using kesta_test::grid_text;
using std::make_tuple;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---------------------------------------------------------------------------
// Card values.

const std::string kGrid = "KESTAPROJECT\nGRIDSIZE 30\nROWS 4\nCOLS 5\nTOT_TIME 60\nTIMESTEP 10\n";

class ProjectCardLimits : public ::testing::Test {
protected:
    void TearDown() override {
        g_error_record = kesta::error_record();
        kesta::set_replace_line(0);
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
    }
    // Reads `cards` after the grid cards (line 7 on); true when accepted.
    bool read(const std::string& cards) {
        g_error_record = kesta::error_record();
        const std::string path = dir.write("p.prj", kGrid + cards);
        testing::internal::CaptureStdout();
        kesta::read_project_file(path, po, rp, rain);
        out = testing::internal::GetCapturedStdout();
        return g_error_record.stop == 0;
    }
    // The refusal of the card on line 7.
    std::string refusal(const std::string& card, const std::string& says) const {
        return "Error: card " + card + " on line 7 of project file " + dir.file("p.prj") + " " + says + "\n";
    }
    kesta_test::temp_dir dir;
    kesta::project_options po;
    kesta::run_params rp;
    kesta::rain_params rain;
    std::string out;
};

TEST_F(ProjectCardLimits, DatesAndTimesMustBeOnTheCalendar) {
    const std::pair<std::string, std::string> refused[] = {
        {"START_DATE 2020 13 45", "needs a month from 1 to 12, not \"13\"."},
        {"START_DATE 2021 2 29", "needs a day from 1 to 28 in month 2 of 2021, not \"29\"."},
        {"START_DATE 2020 4 0", "needs a day from 1 to 30 in month 4 of 2020, not \"0\"."},
        {"START_DATE 300000 1 1", "needs a year from 1 to 9999, not \"300000\"."},
        {"START_TIME 25 70", "needs a hour from 0 to 24, not \"25\"."},
        {"START_TIME 12 60", "needs a minute from 0 to 59, not \"60\"."},
        {"START_TIME 24 30", "needs a minute from 0 to 0 after hour 24, not \"30\"."},
        {"END_TIME 2020 6 31 0 0", "needs a day from 1 to 30 in month 6 of 2020, not \"31\"."},
        {"END_TIME 2020 6 1 -1 0", "needs a hour from 0 to 24, not \"-1\"."},
    };
    for (const auto& [card, says] : refused) {
        EXPECT_FALSE(read(card + "\n")) << card;
        EXPECT_EQ(out.substr(0, out.find('\n') + 1), refusal(card.substr(0, card.find(' ')), says)) << out;
        // A refused date is not kept, not even in part: the run options are
        // made from the blocks all the same.
        EXPECT_EQ(make_tuple(rp.start_year, rp.start_month, rp.start_hour, rp.end_year, rp.end_day),
                  make_tuple(0, 0, 0, 0, 0))
            << card;
    }

    // A leap day, midnight at the end of a day and the last minute of a year.
    ASSERT_TRUE(read("START_DATE 2020 2 29\nSTART_TIME 24 0\nEND_TIME 2020 12 31 23 59\n")) << out;
    EXPECT_EQ(make_tuple(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute),
              make_tuple(2020, 2, 29, 24, 0));
    EXPECT_EQ(make_tuple(rp.end_month, rp.end_day, rp.end_hour, rp.end_minute), make_tuple(12, 31, 23, 59));
}

TEST_F(ProjectCardLimits, GridDimensionsAndReplacementLineStayInRange) {
    const std::pair<std::string, std::string> refused[] = {
        {"ROWS 2147483647", "needs a value of at most 100000, not \"2147483647\"."},
        {"COLS 100001", "needs a value of at most 100000, not \"100001\"."},
        {"REPLACE_LINE 0", "needs a line number of 1 or more, not \"0\"."},
        {"REPLACE_LINE -2147483648", "needs a line number of 1 or more, not \"-2147483648\"."},
    };
    for (const auto& [card, says] : refused) {
        EXPECT_FALSE(read(card + "\n")) << card;
        EXPECT_EQ(out, refusal(card.substr(0, card.find(' ')), says) + "\n") << card;
    }
    EXPECT_TRUE(read("ROWS 100000\nREPLACE_LINE 2\n"));
    EXPECT_EQ(make_tuple(rp.rows, kesta::replace_line()), make_tuple(100000, 1));
}

TEST_F(ProjectCardLimits, ReplacementFilesThatCannotBeReadAreNamed) {
    EXPECT_FALSE(read("REPLACE_PARAMS nowhere.par\n"));
    EXPECT_TRUE(has(out, "Error: unable to open the replace parameter file.\n  (File: nowhere.par)\n")) << out;
    EXPECT_TRUE(has(out, refusal("REPLACE_PARAMS",
                                 "names the replacement parameter file \"nowhere.par\", which could not be read.")))
        << out;

    EXPECT_FALSE(read("REPLACE_VALS nowhere.val\n"));
    EXPECT_TRUE(has(out, "Error: unable to open the value file nowhere.val\nError: card REPLACE_VALS")) << out;
    EXPECT_TRUE(has(out, "names the replacement value file \"nowhere.val\", which could not be read.")) << out;
}

// ---------------------------------------------------------------------------
// The run control: intervals, step counts, grid size and outlet.

class RunControlLimits : public ::testing::Test {
protected:
    void TearDown() override { g_error_record = kesta::error_record(); }
    // A 4 x 5 grid, 10 s steps, a 60 min run, outlet at row 3, column 2;
    // `change` applied before the copy. True when the run may go on.
    template <class F>
    bool set_up(F change) {
        g_error_record = kesta::error_record();
        m = std::make_unique<model_state>();
        m->project_file = "p.prj";
        kesta::run_params& rp = m->run_params;
        rp.timestep = 10.0;
        rp.tot_time = 60;
        rp.hyd_freq = 1.0;
        rp.map_freq = 60;
        rp.outslope = 0.01;
        rp.rows = 4;
        rp.cols = 5;
        rp.outrow = 3;
        rp.outcol = 2;
        change(*m);
        testing::internal::CaptureStdout();
        kesta::setup_run_control(*m);
        out = testing::internal::GetCapturedStdout();
        return g_error_record.stop == 0;
    }
    std::unique_ptr<model_state> m;
    std::string out;
};

TEST_F(RunControlLimits, IntervalsLongerThanAnIntCanCountNeverComeDue) {
    ASSERT_TRUE(set_up([](model_state& s) {
        s.run_params.hyd_freq = 1e10;
        s.run_params.map_freq = 2000000000;
    }));
    EXPECT_EQ(make_tuple(m->hyd_freq, m->map_freq), make_tuple(INT_MAX, INT_MAX));
    // Long intervals that fit are counted exactly.
    ASSERT_TRUE(set_up([](model_state& s) { s.run_params.hyd_freq = 40000000.0; }));
    EXPECT_EQ(m->hyd_freq, 240000000);
}

TEST_F(RunControlLimits, RefusesStepsAndGridsTheRunCannotCount) {
    const struct {
        void (*change)(model_state&);
        const char* says;
    } refused[] = {
        {[](model_state& s) { s.run_params.timestep = 86400.5; },
         "time step of 86400.5 s given by card TIMESTEP of project file p.prj is longer than one day"},
        {[](model_state& s) { s.run_params.timestep = 1e308; }, "is longer than one day (86400 s)"},
        {[](model_state& s) {
             s.run_params.tot_time = 1;
             s.run_params.timestep = 3000.0;
         },
         "time step of 3000 s given by card TIMESTEP of project file p.prj is longer than the run of 1 min given "
         "by card TOT_TIME"},
        {[](model_state& s) {
             s.run_params.tot_time = INT_MAX;
             s.run_params.timestep = 0.002;
         },
         "a run of 2147483647 min (card TOT_TIME) in time steps of 0.002 s (card TIMESTEP)"},
        {[](model_state& s) { s.run_params.rows = s.run_params.cols = 100000; },
         "the grid of 100000 rows (card ROWS) and 100000 columns (card COLS) of project file p.prj has "
         "10000000000 cells; at most 100000000 are accepted."},
        {[](model_state& s) { s.run_params.outrow = INT_MAX; },
         "The outlet row 2147483647 and column 2 given by the OUTROW and OUTCOL cards"},
        {[](model_state& s) { s.run_params.outrow = INT_MIN; }, "The outlet row -2147483648 and column 2"},
        {[](model_state& s) { s.run_params.outcol = 6; }, "lie outside the grid of 4 rows and 5 columns"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(set_up(r.change)) << r.says;
        EXPECT_EQ(g_error_record.code, 4000);
        EXPECT_TRUE(has(out, r.says)) << out;
    }

    // A step as long as the run, and the longest step, are taken; a
    // long-term run ends with its data, whatever TOT_TIME says.
    EXPECT_TRUE(set_up([](model_state& s) { s.run_params.timestep = 3600.0; })) << out;
    EXPECT_TRUE(set_up([](model_state& s) {
        s.run_params.tot_time = 0;
        s.run_params.timestep = 86400.0;
    })) << out;
    EXPECT_TRUE(set_up([](model_state& s) {
        s.long_term = 1;
        s.run_params.latitude = s.run_params.longitude = 45.0;
        s.run_params.gmt_given = 1;
        s.run_params.tot_time = 1;
        s.run_params.timestep = 3000.0;
    })) << out;
}

// ---------------------------------------------------------------------------
// Counts in the mapping-table file.

std::string row(int id, const std::string& values) {
    char idf[16];
    std::snprintf(idf, sizeof idf, "%6d", id);
    return std::string(idf) + std::string(80, ' ') + values + "\n";
}

class TableCounts : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        mask = kesta::mat2<int>(2, 2);
        for (int k = 1; k <= 4; ++k) mask[(k + 1) / 2][2 - k % 2] = k;
        dir.write("lu.asc", grid_text(2, 2, 1.0, "1 1\n2 2\n"));
    }
    void TearDown() override { g_error_record = kesta::error_record(); }
    template <class F>
    bool captured(F f) {
        testing::internal::CaptureStdout();
        const bool ok = f();
        out = testing::internal::GetCapturedStdout();
        return ok;
    }
    // ROUGHNESS through the index map, spread to four cells.
    bool roughness(const std::string& text, kesta::vec1<double>& v) {
        dir.write("t.cmt", text);
        const std::string name = "t.cmt";
        kesta::mapping_table_file f;
        kesta::grid_header h;
        std::array<kesta::vec1<double>*, 7> cols{};
        cols[0] = &v;
        return captured(
            [&] { return kesta::read_mapping_table(f, name, kesta::table_roughness, cols, h, mask, 2, 2, nullptr); });
    }
    kesta_test::temp_dir dir{true};
    kesta::mat2<int> mask;
    std::string out;
};

TEST_F(TableCounts, CountsBeyondTheLinesOfTheFileAreRefusedBeforeAnythingIsSized) {
    kesta::vec1<double> n(4);
    const std::string head = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS \"Land use\"\n";
    EXPECT_FALSE(roughness(head + "NUM_IDS 20000000\nID DESC N\n" + row(1, "0.03") + row(2, "0.08"), n));
    EXPECT_TRUE(has(out, "Error: mapping table file t.cmt, table ROUGHNESS, line 4: NUM_IDS gives 20000000 "
                         "entries, but only 3 lines follow in the file\n"))
        << out;
    EXPECT_EQ(g_error_record.stop, 1);

    kesta::mapping_table_file f;
    kesta::sediment_classes sed;
    const std::string sed_file =
        dir.write("s.cmt", "KESTA_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 20000000\nhdr\n" +
                               std::string(40, ' ') + "2.65 0.1 0.0 sand.out\n");
    EXPECT_FALSE(captured([&] { return kesta::read_sediment_table(f, sed_file, sed); }));
    EXPECT_TRUE(has(out, "table SEDIMENTS, line 3: NUM_SED gives 20000000 entries, but only 2 lines follow"))
        << out;

    // Three constituents promised, one given: refused before the per-cell
    // tables are made for three.
    kesta::mapping_table_file cf;
    kesta::mat2<double> first;
    std::array<kesta::mat2<double>*, 8> columns{};
    columns[0] = &first;
    kesta::contaminant_tables ct;
    kesta::array1d<double> precip, partition;
    kesta::grid_header h;
    const std::string contam_file = dir.write(
        "c.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 3\n"
                 "\"salt\" \"Land use\" \"salt.out\"\nPRECIP_CONC 0.0\nNUM_IDS 2\nhdr\n" +
                     row(1, "1 2 3 4 5 6 7 8") + row(2, "1 2 3 4 5 6 7 8"));
    EXPECT_FALSE(captured([&] {
        return kesta::read_contaminant_table(cf, contam_file, columns, ct, precip, partition, h, mask, 4, 2, 2,
                                             nullptr);
    }));
    EXPECT_TRUE(has(out, "NUM_CONTAM gives 3 constituents, but only 1 PRECIP_CONC lines follow")) << out;
    EXPECT_TRUE(first.empty());
}

TEST_F(TableCounts, IndexMapNamesMatchWhateverSeparatorsEndTheirLines) {
    kesta::vec1<double> n(4);
    ASSERT_TRUE(roughness("KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\" , \t\nROUGHNESS \"Land use\"  \n"
                          "NUM_IDS 2\nID DESC N\n" +
                              row(1, "0.03") + row(2, "0.08"),
                          n))
        << out;
    EXPECT_EQ(make_tuple(n[1], n[2], n[3], n[4]), make_tuple(0.03, 0.03, 0.08, 0.08));
}

TEST_F(TableCounts, AnUnusableTableSaysWhatStandsInTheWay) {
    const std::string good = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS \"Land use\"\n"
                             "NUM_IDS 1\nhdr\n" + row(1, "0.03");
    std::filesystem::create_directory(dir.path() / "folder.cmt");
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file is empty"},
        {"KESTA_TABLES\n", "its first line does not begin with KESTA_INDEX_MAP_TABLES"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nRETENTION \"Land use\"\n",
         "the file holds no ROUGHNESS table"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS\n",
         "the ROUGHNESS line (line 3) names no index map"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS \"Land use\n",
         "the ROUGHNESS line (line 3) names the index map \"Land use, which no INDEX_MAP line at the head of the "
         "file names"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP gone.asc \"Land use\"\nROUGHNESS \"Land use\"\n",
         "the index map file gone.asc of its ROUGHNESS table (line 3) could not be opened (No such file or "
         "directory)"},
        {good, ""},
    };
    for (const auto& [text, says] : cases) {
        kesta::mapping_table_file f;
        EXPECT_EQ(kesta::mapping_table_problem(f, dir.write("t.cmt", text), kesta::table_roughness), says);
    }
    kesta::mapping_table_file f;
    EXPECT_EQ(kesta::mapping_table_problem(f, "folder.cmt", kesta::table_roughness),
              "the file could not be opened (Is a directory)");
}

// ---------------------------------------------------------------------------
// Location lists: their counts size nothing.

class LocationLists : public ::testing::Test {
protected:
    void SetUp() override {
        g_error_record = kesta::error_record();
        m->rows = 1;
        m->cols = 2;
        m->gridsize = 10.0;
        m->watershed_mask = dir.write("mask.asc", grid_text(1, 2, 10.0, "1 1\n"));
        kesta::alloc_imatrix(m->mask, 2, 3, "mask");
        kesta::alloc_imatrix(m->data, 2, 3, "data");
        ASSERT_TRUE(run([&] { kesta::read_watershed_mask(*m); })) << out;
        kesta::alloc_dvector(m->elev, m->ncells, "elev");
        kesta::alloc_overland_arrays(*m);
    }
    void TearDown() override { g_error_record = kesta::error_record(); }
    template <class F>
    bool run(F f) {
        g_error_record = kesta::error_record();
        testing::internal::CaptureStdout();
        f();
        out = testing::internal::GetCapturedStdout();
        return g_error_record.stop == 0;
    }
    kesta_test::temp_dir dir{true};
    std::unique_ptr<model_state> m = std::make_unique<model_state>();
    std::string out;
};

TEST_F(LocationLists, MoistureCellCountLargerThanTheFileEndsAtItsEnd) {
    m->in_theta_location_given = 1;
    m->in_theta_location = dir.write("theta.txt", "20000000\n1 2\n");
    EXPECT_FALSE(run([&] { kesta::read_cell_list(*m); }));
    EXPECT_TRUE(has(out, "End of file reached in file " + m->in_theta_location + ", exiting\n")) << out;
    EXPECT_TRUE(m->cell_loc.empty());
    EXPECT_EQ(m->cell_loc_count, 0);

    // A Richards list keeps as many node columns as an entry uses, not the
    // largest count its head allows.
    m->inf_richards_on = 1;
    m->in_theta_location = dir.write("theta.txt", "1 20000000\n1 2 2 4 5\n");
    ASSERT_TRUE(run([&] { kesta::read_cell_list(*m); })) << out;
    EXPECT_EQ(make_tuple(m->cell_loc_count, m->cell_loc[1], m->cell_num[1], m->cell_nodes.ncols()),
              make_tuple(1, 2, 2, 2));
    EXPECT_EQ(make_tuple(m->cell_nodes[1][1], m->cell_nodes[1][2]), make_tuple(4, 5));
}

TEST_F(LocationLists, WellCountLargerThanTheFileEndsAtItsEnd) {
    m->gw_simulation = 1;
    m->water_table_given = 1;
    kesta::alloc_overland_arrays(*m);  // now with the groundwater arrays
    m->gw_boundfile = dir.write("bound.asc", grid_text(1, 2, 10.0, "0 0\n"));
    m->gw_unif_hycond_given = m->gw_unif_porosity_given = 1;
    m->gw_unif_hycond = 1.0;
    m->gw_unif_porosity = 0.3;
    m->gw_well_level_given = 1;
    m->out_well_location = dir.write("wells.txt", "20000000\n1 1\n");
    EXPECT_FALSE(run([&] { kesta::read_groundwater_inputs(*m); }));
    EXPECT_TRUE(has(out, "End of file reached in file " + m->out_well_location + ", exiting\n")) << out;
    EXPECT_TRUE(m->well_row.empty());

    m->out_well_location = dir.write("wells.txt", "2\n1 1\n1 2\n");
    ASSERT_TRUE(run([&] { kesta::read_groundwater_inputs(*m); })) << out;
    EXPECT_EQ(make_tuple(m->well_count, m->well_row[2], m->well_column[2]), make_tuple(2, 1, 2));
}

// ---------------------------------------------------------------------------
// Precipitation values.

TEST(PrecipValues, AValueThatIsNotANumberIsNamedWithItsFileAndLine) {
    g_error_record = kesta::error_record();
    kesta_test::temp_dir dir;
    const std::string name = dir.write("rain.gag", "EVENT \"first\"\nNRGAG 1\nNRPDS 2\nCOORD 45 45 \"g1\"\n"
                                                   "GAGES 2020 6 1 12 0 10.0\nGAGES 2020 6 1 12 10 nan\n");
    std::string path = name;
    kesta::file_ptr fp = kesta::open_file(path, "r", 0);
    ASSERT_TRUE(fp);
    kesta::precip_cursor in;
    in.fp = fp.get();
    in.file_name = name;
    kesta::precip_event ev;
    testing::internal::CaptureStdout();
    const int result = kesta::read_precip_event(in, ev);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(make_tuple(g_error_record.code, g_error_record.stop), make_tuple(4000, 1));
    EXPECT_TRUE(has(out, "In precipitation file " + name + ", event 1 titled:\n \"first\"\nline 6: gauge 1 has "
                         "the value \"nan\" on data line 2, which is not a number.\n"))
        << out;
    g_error_record = kesta::error_record();
}

// ---------------------------------------------------------------------------
// Whole runs.

std::string project(const std::string& extra) {
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
           "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
           "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
           "START_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n" +
           extra;
}

class InputRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", grid_text(3, 3, 30.0, "0 1 0\n1 1 1\n0 1 0\n"));
        dir.write("elev.asc", grid_text(3, 3, 30.0, "10 9 10\n9 8 9\n10 7 10\n"));
    }
    kesta_test::program_result run(const std::string& text) {
        dir.write("p.prj", text);
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    kesta_test::temp_dir dir;
};

TEST_F(InputRuns, EndTimeBeforeTheStartStopsTheRun) {
    const auto r = run(project("END_TIME 2019 1 1 0 0\n"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error: END_TIME 1/1/2019 0:00 of project file p.prj lies before the start of the "
                              "run, 6/1/2020 12:00.\n"))
        << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;
    EXPECT_EQ(run(project("END_TIME 2020 6 1 12 10\n")).status, 0);
}

TEST_F(InputRuns, AYearBeyondTheCalendarStopsTheRunAtItsCard) {
    std::string text = project("");
    text.replace(text.find("START_DATE 2020 6 1"), 19, "START_DATE 2147483647 1 1");
    const auto r = run(text);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "needs a year from 1 to 9999, not \"2147483647\".")) << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;
}

TEST_F(InputRuns, NegativeUniformRainIsRefused) {
    std::string text = project("");
    text.replace(text.find("RAIN_INTENSITY 10"), 17, "RAIN_INTENSITY -10");
    const auto r = run(text);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "uniform rain of -10 mm/h for 20 min: RAIN_INTENSITY and RAIN_DURATION must both be "
                              "greater than zero.\n"))
        << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;
}

}  // namespace
