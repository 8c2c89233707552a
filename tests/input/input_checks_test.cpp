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
#include "input/input_steps.hpp"
#include "input/mapping_tables.hpp"
#include "input/model_inputs.hpp"
#include "input/project_file.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;
using kesta_test::grid_text;
using kesta_test::has;
using std::make_tuple;

// What `f` prints; g_error_record is cleared first.
template <class F>
std::string printed(F f) {
    g_error_record = kesta::error_record();
    return kesta_test::printed_by(f);
}

// Card values.

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
        const std::string path =
            dir.write("p.prj", "KESTAPROJECT\nGRIDSIZE 30\nROWS 4\nCOLS 5\nTOT_TIME 60\nTIMESTEP 10\n" + cards);
        out = printed([&] { kesta::read_project_file(path, po, rp, rain); });
        return g_error_record.stop == 0;
    }
    kesta_test::temp_dir dir;
    kesta::project_options po;
    kesta::run_params rp;
    kesta::rain_params rain;
    std::string out;
};

TEST_F(ProjectCardLimits, ValuesOutOfRangeAreRefusedWithTheirCardAndLineAndNotKept) {
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
        {"ROWS 2147483647", "needs a value of at most 100000, not \"2147483647\"."},
        {"COLS 100001", "needs a value of at most 100000, not \"100001\"."},
        {"REPLACE_LINE 0", "needs a line number of 1 or more, not \"0\"."},
        {"REPLACE_LINE -2147483648", "needs a line number of 1 or more, not \"-2147483648\"."},
    };
    for (const auto& [card, says] : refused) {
        EXPECT_FALSE(read(card + "\n")) << card;
        EXPECT_EQ(out, "Error: card " + card.substr(0, card.find(' ')) + " on line 7 of project file " +
                           dir.file("p.prj") + " " + says + "\n\n")
            << card;
        // A refused date is not kept, not even in part: the run options are
        // made from the blocks all the same.
        EXPECT_EQ(make_tuple(rp.start_year, rp.start_month, rp.start_hour, rp.end_year, rp.end_day),
                  make_tuple(0, 0, 0, 0, 0))
            << card;
    }

    // A leap day, midnight at the end of a day, the last minute of a year,
    // the largest grid.
    ASSERT_TRUE(read("START_DATE 2020 2 29\nSTART_TIME 24 0\nEND_TIME 2020 12 31 23 59\nROWS 100000\n"
                     "REPLACE_LINE 2\n"))
        << out;
    EXPECT_EQ(make_tuple(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute),
              make_tuple(2020, 2, 29, 24, 0));
    EXPECT_EQ(make_tuple(rp.end_month, rp.end_day, rp.end_hour, rp.end_minute), make_tuple(12, 31, 23, 59));
    EXPECT_EQ(make_tuple(rp.rows, kesta::replace_line()), make_tuple(100000, 1));
}

TEST_F(ProjectCardLimits, ReplacementFilesThatCannotBeReadAreNamed) {
    EXPECT_FALSE(read("REPLACE_PARAMS nowhere.par\n"));
    EXPECT_TRUE(has(out, "Error: unable to open the replace parameter file.\n  (File: nowhere.par)\nError: card "
                         "REPLACE_PARAMS on line 7 of project file " + dir.file("p.prj") + " names the replacement "
                         "parameter file \"nowhere.par\", which could not be read.\n"))
        << out;

    EXPECT_FALSE(read("REPLACE_VALS nowhere.val\n"));
    EXPECT_TRUE(has(out, "Error: unable to open the value file nowhere.val\nError: card REPLACE_VALS")) << out;
    EXPECT_TRUE(has(out, "names the replacement value file \"nowhere.val\", which could not be read.")) << out;
}

// The run control: intervals, step counts, grid size and outlet.

class RunControlLimits : public ::testing::Test {
protected:
    void TearDown() override { g_error_record = kesta::error_record(); }
    // A 4 x 5 grid, 10 s steps, a 60 min run, outlet at row 3, column 2;
    // `change` applied before the copy. True when the run may go on.
    bool set_up(void (*change)(kesta::run_params&), int long_term = 0) {
        m = std::make_unique<model_state>();
        m->project_file = "p.prj";
        m->long_term = long_term;
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
        change(rp);
        out = printed([&] { kesta::setup_run_control(*m); });
        return g_error_record.stop == 0;
    }
    std::unique_ptr<model_state> m;
    std::string out;
};

TEST_F(RunControlLimits, IntervalsLongerThanAnIntCanCountNeverComeDue) {
    ASSERT_TRUE(set_up([](kesta::run_params& rp) {
        rp.hyd_freq = 1e10;
        rp.map_freq = 2000000000;
    }));
    EXPECT_EQ(make_tuple(m->hyd_freq, m->map_freq), make_tuple(INT_MAX, INT_MAX));
    // Long intervals that fit are counted exactly.
    ASSERT_TRUE(set_up([](kesta::run_params& rp) { rp.hyd_freq = 40000000.0; }));
    EXPECT_EQ(m->hyd_freq, 240000000);
}

// The latitude, longitude and GMT offset a long-term run needs.
kesta::run_params& placed(kesta::run_params& rp) {
    rp.latitude = rp.longitude = 45.0;
    rp.gmt_given = 1;
    return rp;
}

TEST_F(RunControlLimits, RefusesStepsAndGridsTheRunCannotCount) {
    using rp_t = kesta::run_params;
    const struct {
        void (*change)(rp_t&);
        const char* says;
    } refused[] = {
        {[](rp_t& rp) { rp.timestep = 86400.5; },
         "time step of 86400.5 s given by card TIMESTEP of project file p.prj is longer than one day"},
        {[](rp_t& rp) { rp.timestep = 1e308; }, "is longer than one day (86400 s)"},
        {[](rp_t& rp) { rp.tot_time = 1; rp.timestep = 3000.0; },
         "time step of 3000 s given by card TIMESTEP of project file p.prj is longer than the run of 1 min given "
         "by card TOT_TIME"},
        {[](rp_t& rp) { rp.tot_time = INT_MAX; rp.timestep = 0.002; },
         "a run of 2147483647 min (card TOT_TIME) in time steps of 0.002 s (card TIMESTEP)"},
        {[](rp_t& rp) { rp.rows = rp.cols = 100000; },
         "the grid of 100000 rows (card ROWS) and 100000 columns (card COLS) of project file p.prj has "
         "10000000000 cells; at most 100000000 are accepted."},
        {[](rp_t& rp) { rp.outrow = INT_MAX; },
         "The outlet row 2147483647 and column 2 given by the OUTROW and OUTCOL cards"},
        {[](rp_t& rp) { rp.outrow = INT_MIN; }, "The outlet row -2147483648 and column 2"},
        {[](rp_t& rp) { rp.outcol = 6; }, "lie outside the grid of 4 rows and 5 columns"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(set_up(r.change)) << r.says;
        EXPECT_EQ(g_error_record.code, 4000);
        EXPECT_TRUE(has(out, r.says)) << out;
    }

    // A step as long as the run, and the longest step, are taken.
    EXPECT_TRUE(set_up([](rp_t& rp) { rp.timestep = 3600.0; })) << out;
    EXPECT_TRUE(set_up([](rp_t& rp) { rp.tot_time = 0; rp.timestep = 86400.0; })) << out;
    // A long-term run keeps to TOT_TIME as well, and its step must divide
    // the hour of its weather and soil clocks.
    const struct {
        void (*change)(rp_t&);
        const char* says;  // nullptr: taken
    } long_term[] = {
        {[](rp_t& rp) { placed(rp).tot_time = 1; rp.timestep = 3600.0; }, "is longer than the run of 1 min"},
        {[](rp_t& rp) { placed(rp).timestep = 3000.0; },
         "time step of 3000 s given by card TIMESTEP of project file p.prj does not divide the hour"},
        {[](rp_t& rp) { placed(rp).timestep = 900.0; }, nullptr},
    };
    for (const auto& c : long_term) {
        const bool taken = set_up(c.change, 1);
        EXPECT_EQ(taken, c.says == nullptr) << out;
        EXPECT_TRUE(!c.says || has(out, c.says)) << out;
    }
}

// Counts in the mapping-table file.

const std::string kLandUse = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\n";

std::string row(int id, const std::string& values) {
    char idf[16];
    std::snprintf(idf, sizeof idf, "%6d", id);
    return std::string(idf) + std::string(80, ' ') + values + "\n";
}

// Tables over a 2 x 2 grid whose index map lu.asc gives class 1 to the
// upper row and 2 to the lower.
class TableCounts : public ::testing::Test {
protected:
    void SetUp() override {
        for (int k = 1; k <= 4; ++k) mask[(k + 1) / 2][2 - k % 2] = k;
        dir.write("lu.asc", grid_text(2, 2, 1.0, "1 1\n2 2\n"));
    }
    void TearDown() override { g_error_record = kesta::error_record(); }
    // ROUGHNESS through the index map, spread to four cells.
    bool roughness(const std::string& text, kesta::vec1<double>& v) {
        dir.write("t.cmt", text);
        kesta::mapping_table_file f;
        kesta::grid_header h;
        std::array<kesta::vec1<double>*, 7> cols{};
        cols[0] = &v;
        bool ok = false;
        out = printed(
            [&] { ok = kesta::read_mapping_table(f, "t.cmt", kesta::table_roughness, cols, h, mask, 2, 2, nullptr); });
        return ok;
    }
    kesta_test::temp_dir dir{true};
    kesta::mat2<int> mask{2, 2};
    std::string out;
};

TEST_F(TableCounts, CountsBeyondTheLinesOfTheFileAreRefusedBeforeAnythingIsSized) {
    kesta::vec1<double> n(4);
    EXPECT_FALSE(roughness(kLandUse + "ROUGHNESS \"Land use\"\nNUM_IDS 20000000\nID DESC N\n" + row(1, "0.03") +
                               row(2, "0.08"),
                           n));
    EXPECT_TRUE(has(out, "Error: mapping table file t.cmt, table ROUGHNESS, line 4: NUM_IDS gives 20000000 "
                         "entries, but only 3 lines follow in the file\n"))
        << out;
    EXPECT_EQ(g_error_record.stop, 1);

    kesta::mapping_table_file f;
    kesta::sediment_classes sed;
    const std::string sed_file = dir.write("s.cmt", "KESTA_INDEX_MAP_TABLES\nSEDIMENTS\nNUM_SED 20000000\nhdr\n" +
                                                        std::string(40, ' ') + "2.65 0.1 0.0 sand.out\n");
    bool ok = true;
    out = printed([&] { ok = kesta::read_sediment_table(f, sed_file, sed); });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(has(out, "table SEDIMENTS, line 3: NUM_SED gives 20000000 entries, but only 2 lines follow")) << out;

    // Three constituents promised, one given: refused before the per-cell
    // tables are made for three.
    kesta::mat2<double> first;
    std::array<kesta::mat2<double>*, 8> columns{};
    columns[0] = &first;
    kesta::contaminant_tables ct;
    kesta::array1d<double> precip, partition;
    kesta::grid_header h;
    const std::string contam_file =
        dir.write("c.cmt", kLandUse + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 3\n\"salt\" \"Land use\" \"salt.out\"\n"
                                      "PRECIP_CONC 0.0\nNUM_IDS 2\nhdr\n" +
                               row(1, "1 2 3 4 5 6 7 8") + row(2, "1 2 3 4 5 6 7 8"));
    out = printed([&] {
        ok = kesta::read_contaminant_table(f, contam_file, columns, ct, precip, partition, h, mask, 4, 2, 2, nullptr);
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(has(out, "NUM_CONTAM gives 3 constituents, but only 1 PRECIP_CONC lines follow")) << out;
    EXPECT_TRUE(first.empty());
}

TEST_F(TableCounts, IndexMapNamesMatchWhateverSeparatorsEndTheirLines) {
    kesta::vec1<double> n(4);
    ASSERT_TRUE(roughness("KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\" , \t\nROUGHNESS \"Land use\"  \n"
                          "NUM_IDS 2\nID DESC N\n" + row(1, "0.03") + row(2, "0.08"),
                          n))
        << out;
    EXPECT_EQ(make_tuple(n[1], n[2], n[3], n[4]), make_tuple(0.03, 0.03, 0.08, 0.08));
}

TEST_F(TableCounts, AnUnusableTableSaysWhatStandsInTheWay) {
    std::filesystem::create_directory(dir.path() / "folder.cmt");
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file is empty"},
        {"KESTA_TABLES\n", "its first line does not begin with KESTA_INDEX_MAP_TABLES"},
        {kLandUse + "RETENTION \"Land use\"\n", "the file holds no ROUGHNESS table"},
        {kLandUse + "ROUGHNESS\n", "the ROUGHNESS line (line 3) names no index map"},
        {kLandUse + "ROUGHNESS \"Land use\n",
         "the ROUGHNESS line (line 3) names the index map \"Land use, which no INDEX_MAP line at the head of the "
         "file names"},
        {"KESTA_INDEX_MAP_TABLES\nINDEX_MAP gone.asc \"Land use\"\nROUGHNESS \"Land use\"\n",
         "the index map file gone.asc of its ROUGHNESS table (line 3) could not be opened (No such file or "
         "directory)"},
        {kLandUse + "ROUGHNESS \"Land use\"\nNUM_IDS 1\nhdr\n" + row(1, "0.03"), ""},
    };
    for (const auto& [text, says] : cases) {
        kesta::mapping_table_file f;
        EXPECT_EQ(kesta::mapping_table_problem(f, dir.write("t.cmt", text), kesta::table_roughness), says);
    }
    kesta::mapping_table_file f;
    EXPECT_EQ(kesta::mapping_table_problem(f, "folder.cmt", kesta::table_roughness),
              "the file could not be opened (Is a directory)");
}

// Location lists: their counts size nothing.

class LocationLists : public ::testing::Test {
protected:
    void SetUp() override {
        kesta_test::plane p;
        p.cols = 2;
        kesta_test::make_plane(*m, p, 10.0);
    }
    void TearDown() override { g_error_record = kesta::error_record(); }
    template <class F>
    bool run(F f) {
        out = printed(f);
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
    m->gw_simulation = m->water_table_given = 1;
    kesta::alloc_overland_arrays(*m);  // now with the groundwater arrays
    m->timestep = 10.0;  // the groundwater cards a run checks first
    m->gw_timestep = 60.0;
    m->gw_relax_coeff = 1.0;
    m->gw_lsor_con = 1e-5;
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

// Without a conductivity or porosity for the aquifer, a run with a soil
// table takes those of the last soil layer of each cell's class.
TEST_F(LocationLists, AquiferTakesTheLastSoilLayerWhenNothingElseGivesIt) {
    m->gw_simulation = m->water_table_given = m->inf_layered_on = 1;
    kesta::alloc_overland_arrays(*m);
    m->timestep = 10.0;  // the groundwater cards a run checks first
    m->gw_timestep = 60.0;
    m->gw_relax_coeff = 1.0;
    m->gw_lsor_con = 1e-5;
    m->gw_boundfile = dir.write("bound.asc", grid_text(1, 2, 10.0, "0 0\n"));
    m->soiltype[1] = 3;
    m->soiltype[2] = 4;
    m->soil_class[3].v[6] = 3.6;  // layer 3 conductivity (cm/h)
    m->soil_class[3].v[9] = 0.4;  // layer 3 porosity
    m->soil_class[4].v[6] = 7.2;
    m->soil_class[4].v[9] = 0.3;
    ASSERT_TRUE(run([&] { kesta::read_groundwater_inputs(*m); })) << out;
    EXPECT_EQ(make_tuple(m->gw_Kx_hycond[1], m->gw_Ky_hycond[2], m->gw_array_porosity[1], m->STOR[2]),
              make_tuple(1e-5, 2e-5, 0.4, 0.3));
}

// Whole runs: the program stops before it runs.

TEST(InputRuns, ValuesTheRunCannotTakeStopItBeforeItRuns) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    const std::string project =
        "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
        "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
        "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
        "START_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";
    // Each case replaces one card line of the project.
    const struct {
        const char *card, *with;
        int status;
        const char* says;
    } cases[] = {
        {"START_TIME 12 0\n", "START_TIME 12 0\nEND_TIME 2019 1 1 0 0\n", 1,
         "Error: END_TIME 1/1/2019 0:00 of project file p.prj lies before the start of the run, 6/1/2020 12:00.\n"},
        {"START_TIME 12 0\n", "START_TIME 12 0\nEND_TIME 2020 6 1 12 10\n", 0, ""},
        {"START_DATE 2020 6 1\n", "START_DATE 2147483647 1 1\n", 1, "needs a year from 1 to 9999, not \"2147483647\"."},
        {"RAIN_INTENSITY 10\n", "RAIN_INTENSITY -10\n", 1,
         "uniform rain of -10 mm/h for 20 min: RAIN_INTENSITY and RAIN_DURATION must both be greater than zero.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.with);
        std::string text = project;
        text.replace(text.find(c.card), std::string(c.card).size(), c.with);
        dir.write("p.prj", text);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;
        EXPECT_EQ(has(r.output, "Running...."), c.status == 0) << r.output;
    }
}

}  // namespace
