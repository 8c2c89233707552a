// The project file reader: defaults, the card table's rules and every way a
// project file is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/replace_params.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "input/project_file.hpp"
#include "nutrients/zep_container.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;

const std::string kGrid = "KESTAPROJECT\nGRIDSIZE 30\nROWS 4\nCOLS 5\nTOT_TIME 60\nTIMESTEP 10\n";

class ProjectFile : public ::testing::Test {
protected:
    void TearDown() override {
        g_error_record.clear_for_run();
        g_error_record.item.clear();
    }
    // Reads `text` as the project file "p.prj"; keeps what it printed.
    void read(const std::string& text) {
        const std::string path = dir.write("p.prj", text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        kesta::read_project_file(path, po, rp, rain);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
    }
    kesta_test::temp_dir dir;
    kesta::project_options po;
    kesta::run_params rp;
    kesta::rain_params rain;
    std::string out, err;
};

TEST_F(ProjectFile, GridCardsAloneLeaveTheProjectDefaults) {
    read(kGrid);
    EXPECT_EQ(rp.rows, 4);
    EXPECT_EQ(rp.cols, 5);
    EXPECT_DOUBLE_EQ(rp.gridsize, 30.0);
    EXPECT_DOUBLE_EQ(rp.timestep, 10.0);
    // The constructor presets do not reach a run.
    EXPECT_EQ(rp.latitude, 0.0);
    EXPECT_EQ(rp.longitude, 0.0);
    EXPECT_EQ(rain.rain_interp, 0);
    EXPECT_EQ(po.calib_comp_data, 2);
    EXPECT_EQ(po.calib_obj_func, 2);
    EXPECT_EQ(rain.precip_source, 0);
    EXPECT_EQ(rp.infiltration, 0);
    EXPECT_EQ(rp.chan_routing, 0);
    EXPECT_EQ(po.m_river, 1.0);
    EXPECT_EQ(po.m_lake, 10.0);
    EXPECT_EQ(po.event_min_q, 0.1);
    EXPECT_EQ(po.overtype, 2);
    EXPECT_EQ(po.soil_moist_depth, 0.4);
    EXPECT_EQ(po.richards_dtheta_max, 0.0025);
    EXPECT_EQ(po.richards_k_option, 2);
    EXPECT_EQ(po.richards_upper_option, 1);
    EXPECT_EQ(po.aquifer_delta_z, -999.9);
    EXPECT_EQ(po.max_courant_number, 0.2);
    EXPECT_EQ(po.x_freq, -1);
    EXPECT_EQ(po.xwin_width, 1000);
    EXPECT_EQ(po.xwin_height, 660);
    EXPECT_EQ(po.gw_lsor_con, 1e-5);
    EXPECT_EQ(po.single_unsat_sat, 0.75);
    EXPECT_EQ(po.htp_event_num, -1);
    EXPECT_EQ(po.soil_erosion, 1);
    EXPECT_EQ(po.chan_ph, 7.2);
    EXPECT_TRUE(po.sorption_constants.empty());
    EXPECT_EQ(po.zep_container, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_error_record.stop, 0);
}

TEST_F(ProjectFile, LaterCardWinsForValuesAndSelectors) {
    read(kGrid + "ROWS 9\nINF_RICHARDS\nGREEN_AMPT\nCHAN_MESH\nCHAN_EXPLIC\nSUMMARY a.sum\nSUMMARY b.sum\n"
                 "RAIN_THIESSEN\nRAIN_INV_DISTANCE\n");
    EXPECT_EQ(rp.rows, 9);
    EXPECT_EQ(rp.infiltration, 1);
    EXPECT_EQ(rp.chan_routing, 3);
    EXPECT_EQ(po.summary, "b.sum");
    EXPECT_EQ(rain.rain_interp, 0);
}

TEST_F(ProjectFile, CommentsBlankLinesIgnoredCardsAndCase) {
    read(kGrid + "\n   # ROWS 7\n#ROWS 8\n\t\nrOwS 6\nTvm\nmetric\nSIMULATION_INPUT x\nLAKE 3\nFLINE\n"
                 "Quiet\n");
    EXPECT_EQ(rp.rows, 6);
    EXPECT_EQ(rp.quiet, 1);
    EXPECT_EQ(out, "");
}

TEST_F(ProjectFile, UnknownCardWarnsWithItsLowerCaseNameAndIsSkipped) {
    read(kGrid + "NO_SUCH_Card 5\nCOLS 7\n");
    EXPECT_EQ(out, "Warning: unknown card found in the project file: no_such_card\n");
    EXPECT_EQ(rp.cols, 7);
}

TEST_F(ProjectFile, CardIdTakesTheKeywordOffTheLine) {
    kesta::line_cursor line("  Rows\t12 , x");
    const int rows_id = kesta::get_card_id(line);
    EXPECT_NE(rows_id, kesta::kIgnoredCard);
    EXPECT_EQ(line.rest(), "\t12 , x");

    kesta::line_cursor comment("  #ROWS 3");
    EXPECT_EQ(kesta::get_card_id(comment), kesta::kIgnoredCard);
    kesta::line_cursor blank(" \t");
    EXPECT_EQ(kesta::get_card_id(blank), kesta::kIgnoredCard);

    // Synonyms share the id of the card they stand for; other cards do not.
    auto id = [](const char* text) {
        kesta::line_cursor l(text);
        return kesta::get_card_id(l);
    };
    EXPECT_EQ(id("EMBANKMENT"), id("DIKE_MAP"));
    EXPECT_EQ(id("DIFFUSIVE_WAVE"), id("CHAN_EXPLIC"));
    EXPECT_EQ(id("SOIL_CON_TRANS"), id("SOIL_CONTAM"));
    EXPECT_NE(id("READ_CHAN_HOTSTART"), id("EXPLIC_HOTSTART"));
    EXPECT_NE(id("COLS"), rows_id);
    EXPECT_EQ(id("LAKES_MASK"), kesta::kIgnoredCard);
}

TEST_F(ProjectFile, SharedFieldsKeepTheirOwnFlags) {
    read(kGrid +
         "EMBANKMENT dikes.txt\nREAD_OV_HOTSTART ov.hot\nSOIL_CON_TRANS\nEXPLIC_HOTSTART in.hot\n"
         "WRITE_CHAN_HOTSTART out\nHMET_SAMSON met.txt\nGW_FLUX_BOUNDTABLE flux.tab\nDIFFUSIVE_WAVE\n"
         "INTERCEPTION\nPRECIP_FILE rain.gag\nSOILS_ZEP_N\n");
    EXPECT_EQ(po.dike_map, "dikes.txt");
    EXPECT_EQ(po.dike_map_given, 1);
    EXPECT_EQ(po.ov_init_depth, "ov.hot");
    EXPECT_EQ(po.ov_init_depth_given, 1);
    EXPECT_EQ(po.soil_contam, 1);
    EXPECT_EQ(po.explic_hotstart, "in.hot");
    EXPECT_EQ(po.explic_hotstart_given, 1);
    EXPECT_EQ(po.read_chan_hotstart_given, 0);
    EXPECT_EQ(po.explic_backwater, "out");
    EXPECT_EQ(po.write_chan_hotstart_given, 1);
    EXPECT_EQ(po.explic_backwater_given, 0);
    EXPECT_EQ(po.hmet_file, "met.txt");
    EXPECT_EQ(po.hmet_samson, 1);
    EXPECT_EQ(po.hmet_kvl + po.hmet_surfaways, 0);
    EXPECT_EQ(po.gw_fluxboundtable, "flux.tab");
    EXPECT_EQ(rp.gw_flux_boundary, 1);
    EXPECT_EQ(rp.chan_routing, 3);
    EXPECT_EQ(po.non_ortho_channels, 1);
    EXPECT_EQ(po.interception_coeff_given + po.storage_capacity_given, 2);
    EXPECT_EQ(rain.precip_source, 1);
    EXPECT_EQ(rain.precip_file, "rain.gag");
    EXPECT_EQ(po.soils_zep_n, 2);
}

TEST_F(ProjectFile, NamesAreKeptWholeAndQuotedNamesMayHoldBlanks) {
    const std::string long_name(600, 'n');
    read(kGrid + "ELEVATION \"my maps/elev.asc\"\nWATERSHED_MASK " + long_name +
         "\nMOISTURE\nAREA_REDUCTION\nGW_BOUNDFILE\n");
    EXPECT_EQ(po.elevation, "my maps/elev.asc");
    EXPECT_EQ(po.watershed_mask, long_name);
    EXPECT_EQ(po.moisture_given, 1);  // a name card with no value still counts as given
    EXPECT_EQ(po.area_reduction_given, 1);
    EXPECT_EQ(po.gw_boundfile_given, 0);  // this one only with a name
}

TEST_F(ProjectFile, WordSelectorsAndTheirNames) {
    read(kGrid + "OVERTYPE ADE-pc\nRICHARDS_K_OPTION ARITHMETIC\nRICHARDS_C_OPTION brooks_corey\n"
                 "RICHARDS_UPPER_OPTION no_such\nCALIB_COMP_DATA DAILY_VALUES\nCALIB_OBJ_FUNC HMLE\n");
    EXPECT_EQ(po.overtype, 3);
    EXPECT_EQ(po.richards_k_option, 1);
    EXPECT_EQ(po.richards_c_option, 1);
    EXPECT_EQ(po.richards_upper_option, 0);
    EXPECT_EQ(po.calib_comp_data, 0);
    EXPECT_EQ(po.calib_obj_func, 1);

    read(kGrid + "OVERTYPE 1\nRICHARDS_K_OPTION Geometric\nRICHARDS_C_OPTION Havercamp\n"
                 "RICHARDS_UPPER_OPTION average\nCALIB_COMP_DATA EVENT\nCALIB_OBJ_FUNC RMSE\n");
    EXPECT_EQ(po.overtype, 1);
    EXPECT_EQ(po.richards_k_option, 2);
    EXPECT_EQ(po.richards_c_option, 2);
    EXPECT_EQ(po.richards_upper_option, 3);
    EXPECT_EQ(po.calib_comp_data, 1);
    EXPECT_EQ(po.calib_obj_func, 0);
}

TEST_F(ProjectFile, CardsWithRulesOfTheirOwn) {
    read(kGrid +
         "RETEN_DEPTH 0.02\nHTP_EVENT_NUM\nNO3_KM 0.5\nDP_KOC 7\nUNITS 1\nALPHA 0.5\nN_LINKS 12\n"
         "START_DATE 1999 6 15\nSTART_TIME 12 30\nEND_TIME 2000 1 2 3 4\nGMT -6\n");
    EXPECT_EQ(out,
              "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
              "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 0.020000 for the uniform retention depth\n\n"
              "Units flag = 1\nAlpha = 0.500000\nNumber of links = 12\n");
    EXPECT_EQ(po.retention_given, 1);
    EXPECT_EQ(po.retention, 0.02);
    EXPECT_EQ(po.reten_depth_given, 0);
    EXPECT_EQ(po.htp_event_num, -1);
    EXPECT_EQ(po.htp_event_num_given, 1);
    ASSERT_EQ(po.sorption_constants.size(), 12u);
    EXPECT_EQ(po.sorption_constants[kesta::sorption_no3_km], 0.5);
    EXPECT_EQ(po.sorption_constants[kesta::sorption_dp_koc], 7.0);
    EXPECT_EQ(po.sorption_constants[kesta::sorption_no2_km], 0.0);
    EXPECT_EQ(rp.start_year * 10000 + rp.start_month * 100 + rp.start_day, 19990615);
    EXPECT_EQ(rp.start_hour * 100 + rp.start_minute, 1230);
    EXPECT_EQ(rp.end_year, 2000);
    EXPECT_EQ(rp.end_minute, 4);
    EXPECT_EQ(rp.gmt_given, 1);

    read(kGrid + "RETEN_DEPTH reten.asc\n");
    EXPECT_EQ(po.reten_depth, "reten.asc");
    EXPECT_EQ(po.reten_depth_given, 1);
    EXPECT_EQ(po.retention_given, 0);
}

TEST_F(ProjectFile, ReplacementAndFolderCardsActAtOnce) {
    const std::string params = dir.write("params.in", "1\n[N] \"%4.2f\"\n");
    const std::string values = dir.write("values.in", "0.10\n0.20\n0.30\n");
    // The cards after REPLACE_VALS already read the third value.
    read(kGrid + "REPLACE_PARAMS " + params + "\nREPLACE_LINE 3\nREPLACE_VALS " + values +
         "\nREPLACE_FOLDER run_out\nMANNING_N [N]\n");
    EXPECT_EQ(kesta::replace_line(), 2);
    EXPECT_TRUE(kesta::replace_mode_on());
    EXPECT_DOUBLE_EQ(po.manning_n, 0.30);
    EXPECT_EQ(kesta::output_subdir(), "run_out/");
    kesta::reset_file_opener_settings();
    kesta::free_replace_list();
    kesta::set_replace_mode(false);
    kesta::set_replace_line(0);
}

TEST_F(ProjectFile, NutrientCardsFillTheContainerThatNutrientsMakes) {
    read(kGrid + "NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO3\nOV_INIT_NH4 2.5\nOV_INIT_ON 2010_on.asc\n"
                 "OV_DISPERSION 0.1\nST_INIT_DO do.asc\nOUT_HYD_CBOD cbod.out\n");
    ASSERT_NE(po.zep_container, nullptr);
    EXPECT_EQ(po.nutrients, 1);
    const kesta::zep_container& z = *po.zep_container;
    EXPECT_EQ(z.aquatic_env_file, "aq.env");
    EXPECT_EQ(z.overland_init[1].kind, 2);  // mapping table
    EXPECT_EQ(z.overland_init[2].kind, 3);  // uniform
    EXPECT_EQ(z.overland_init[2].value, 2.5);
    // A map name that begins with digits is still a map.
    EXPECT_EQ(z.overland_init[3].kind, 1);
    EXPECT_EQ(z.overland_init[3].map_name, "2010_on.asc");
    EXPECT_EQ(z.overland_init[11].value, 0.1);
    EXPECT_EQ(z.stream_init[8].map_name, "do.asc");
    EXPECT_EQ(z.location_output[7].flag, 1);
    EXPECT_EQ(z.location_output[7].file_name, "cbod.out");
    EXPECT_EQ(z.overland_output[7].flag, 0);
}

// Codes stored by the reader itself; reading stops at the card.
TEST_F(ProjectFile, StoredCodesStopReading) {
    struct stored_case {
        std::string card;
        int code;
        std::string item;
    };
    const std::vector<stored_case> cases = {
        {"OV_INIT_NO3 1.0", 79, "OV_INIT_XXX"},
        {"OUT_ST_DO do.out", 79, "OUT_ST_XXX"},
        {"AQ_ENV aq.env", 79, "AQ_ENV"},
        {"CALIB_COMP_DATA daily", 103, ""},
        {"CALIB_OBJ_FUNC RMSEX", 104, ""},
    };
    for (const stored_case& c : cases) {
        g_error_record.item.clear();
        read(kGrid + c.card + "\nCOLS 99\n");
        EXPECT_EQ(g_error_record.code, c.code) << c.card;
        EXPECT_EQ(g_error_record.item, c.item) << c.card;
        EXPECT_EQ(rp.cols, 5) << c.card;
        g_error_record.code = 0;
    }
    EXPECT_EQ(po.calib_obj_func, 2);
}

TEST_F(ProjectFile, BadHeaderIsRefusedAndNothingIsRead) {
    for (const std::string header : {"KESTAPROJECT ", "kestaproject", "", "PROJECT"}) {
        kesta::project_options fresh;
        po = fresh;
        read(header + "\nROWS 3\n");
        EXPECT_EQ(err,
                  "File Does not Appear to be a Valid KESTA/TALVIK Project file\n"
                  "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
                  "KESTA Terminating....\n")
            << header;
        EXPECT_EQ(g_error_record.stop, 1);
        EXPECT_EQ(g_error_record.code, 0);  // reported at once
        EXPECT_EQ(rp.rows, 0);
        EXPECT_EQ(po.calib_comp_data, 1);  // not even the defaults are set
        g_error_record.stop = 0;
    }
}

TEST_F(ProjectFile, OlderHeaderAndWindowsLineEndsAreAccepted) {
    read("TALVIKPROJECT\r\nROWS 3\r\nSUMMARY s.out\r\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(rp.rows, 3);
    EXPECT_EQ(po.summary, "s.out");
}

TEST_F(ProjectFile, MissingFileSetsOnlyTheOpenFailedField) {
    testing::internal::CaptureStderr();
    kesta::read_project_file(dir.file("none.prj"), po, rp, rain);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening project file named: " + dir.file("none.prj") + "\n");
    EXPECT_EQ(rp.open_failed, 1);
    EXPECT_EQ(g_error_record.code, 0);
}

// A value that is missing, malformed or out of range is refused with the
// card, the line and the value, and reading stops.
TEST_F(ProjectFile, BadValuesAreRefusedWithCardLineAndValue) {
    struct refusal {
        std::string card;
        std::string says;
    };
    const std::vector<refusal> cases = {
        {"TIMESTEP abc", "TIMESTEP on line 7 of project file @ needs a number, not \"abc\"."},
        {"ROWS 1O", "ROWS on line 7 of project file @ needs a whole number, not \"1O\"."},
        {"ROWS", "ROWS on line 7 of project file @ has no value."},
        {"COLS 0", "COLS on line 7 of project file @ needs a value greater than zero, not \"0\"."},
        {"GRIDSIZE -30", "GRIDSIZE on line 7 of project file @ needs a value greater than zero, not \"-30\"."},
        {"TOT_TIME -1", "TOT_TIME on line 7 of project file @ needs a value greater than zero, not \"-1\"."},
        {"TIMESTEP nan", "TIMESTEP on line 7 of project file @ needs a number, not \"nan\"."},
        {"OVERTYPE 7", "OVERTYPE on line 7 of project file @ does not accept \"7\"."},
        {"OVERTYPE fast", "OVERTYPE on line 7 of project file @ does not accept \"fast\"."},
        {"MAP_TYPE 3", "MAP_TYPE on line 7 of project file @ does not accept \"3\"."},
        {"RICHARDS_K_OPTION harmonic", "RICHARDS_K_OPTION on line 7 of project file @ does not accept \"harmonic\"."},
        {"START_DATE 1999 6", "START_DATE on line 7 of project file @ has no value."},
        {"HTP_EVENT_NUM two", "HTP_EVENT_NUM on line 7 of project file @ needs a whole number, not \"two\"."},
        {"MANNING_N 0.03x", "MANNING_N on line 7 of project file @ needs a number, not \"0.03x\"."},
    };
    const std::string file = dir.file("p.prj");
    for (const refusal& c : cases) {
        read(kGrid + c.card + "\nSUMMARY late.out\n");
        std::string says = c.says;
        says.replace(says.find('@'), 1, file);
        EXPECT_EQ(out, "Error: card " + says + "\n\n") << c.card;
        EXPECT_EQ(g_error_record.stop, 1) << c.card;
        EXPECT_EQ(g_error_record.code, 0) << c.card;
        EXPECT_EQ(po.summary, "") << c.card;
        g_error_record.stop = 0;
    }
}

}  // namespace
