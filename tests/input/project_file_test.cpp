// The project file reader: defaults, the card table's rules and every way a
// project file is refused, every mistake of a file in one read.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "calibration/replace_params.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "input/project_file.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;

const std::string kGrid = "KESTAPROJECT\nGRIDSIZE 30\nROWS 4\nCOLS 5\nTOT_TIME 60\nTIMESTEP 10\n";

class ProjectFile : public ::testing::Test {
protected:
    void TearDown() override {
        g_error_record = kesta::error_record();
        kesta::reset_file_opener_settings();
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
        kesta::set_replace_line(0);
    }
    // Reads `text` as the project file "p.prj" from a clean error record;
    // keeps what it printed.
    void read(const std::string& text) {
        g_error_record = kesta::error_record();
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
    EXPECT_EQ(std::make_tuple(rp.rows, rp.cols, rp.gridsize, rp.timestep), std::make_tuple(4, 5, 30.0, 10.0));
    // The constructor presets do not reach a run.
    EXPECT_EQ(std::make_tuple(rp.latitude, rp.longitude, rain.rain_interp, po.calib_comp_data, po.calib_obj_func),
              std::make_tuple(0.0, 0.0, 0, 2, 2));
    EXPECT_EQ(std::make_tuple(rain.precip_source, rp.infiltration, rp.chan_routing, po.overtype, po.x_freq,
                              po.xwin_width, po.xwin_height, po.richards_k_option, po.richards_upper_option,
                              po.htp_event_num, po.soil_erosion),
              std::make_tuple(0, 0, 0, 2, -1, 1000, 660, 2, 1, -1, 1));
    EXPECT_EQ(std::make_tuple(po.m_river, po.m_lake, po.event_min_q, po.soil_moist_depth, po.richards_dtheta_max,
                              po.aquifer_delta_z, po.max_courant_number, po.gw_lsor_con, po.single_unsat_sat,
                              po.chan_ph),
              std::make_tuple(1.0, 10.0, 0.1, 0.4, 0.0025, -999.9, 0.2, 1e-5, 0.75, 7.2));
    EXPECT_TRUE(po.sorption_constants.empty());
    EXPECT_EQ(std::make_tuple(po.nutrients, po.aq_env, po.ov_init[0].kind, po.out_hyd[8].flag),
              std::make_tuple(0, "", 0, 0));
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_error_record.stop, 0);
}

TEST_F(ProjectFile, LaterCardWinsForValuesAndSelectors) {
    read(kGrid + "ROWS 9\nINF_RICHARDS\nGREEN_AMPT\nCHAN_MESH\nCHAN_EXPLIC\nSUMMARY a.sum\nSUMMARY b.sum\n"
                 "RAIN_THIESSEN\nRAIN_INV_DISTANCE\n");
    EXPECT_EQ(std::make_tuple(rp.rows, rp.infiltration, rp.chan_routing, po.summary, rain.rain_interp),
              std::make_tuple(9, 1, 3, "b.sum", 0));
}

TEST_F(ProjectFile, CommentsBlankLinesAndIgnoredCardsAreSkippedAndUnknownCardsWarned) {
    read(kGrid + "\n   # ROWS 7\n#ROWS 8\n\t\nrOwS 6\nTvm\nmetric\nSIMULATION_INPUT x\nLAKE 3\nFLINE\n"
                 "Quiet\n");
    EXPECT_EQ(std::make_tuple(rp.rows, rp.quiet, out), std::make_tuple(6, 1, ""));

    // An unknown card is named as written, with its line, and skipped; a
    // garbled keyword is cut short.
    read(kGrid + "NO_SUCH_Card 5\nCOLS 7\n" + std::string(300, 'x') + "\n");
    EXPECT_EQ(out, "Warning: unknown card found in the project file: NO_SUCH_Card\n"
                   "  (line 7 of project file " + dir.file("p.prj") + "; the line is skipped)\n"
                   "Warning: unknown card found in the project file: " + std::string(80, 'x') + "...\n"
                   "  (line 9 of project file " + dir.file("p.prj") + "; the line is skipped)\n");
    EXPECT_EQ(rp.cols, 7);
    EXPECT_EQ(g_error_record.stop, 0);
}

// A misspelt card is named with the cards of the table nearest to it: a
// letter dropped, swapped or changed in any case; a short keyword takes
// one edit only, a long one two; equally near cards are all named.
TEST_F(ProjectFile, UnknownCardsNameTheNearestCards) {
    const std::pair<std::string, std::string> cases[] = {
        {"Rain_Intensty 5", " (did you mean RAIN_INTENSITY?)"},
        {"WATERSHED_MAKS mask.asc", " (did you mean WATERSHED_MASK?)"},
        {"TIMSTEPP 5", " (did you mean TIMESTEP?)"},
        {"OUT_HYD_NO 5", " (did you mean OUT_HYD_NO2, OUT_HYD_NO3 or OUT_HYD_ON?)"},
        {"GMTT -6", " (did you mean GMT?)"},
        {"ROWSS 5", " (did you mean ROWS?)"},
        {"RWSS 5", ""},
        {"TIMEOUT 5", ""},
    };
    for (const auto& [line, says] : cases) {
        read(kGrid + line + "\n");
        const std::string keyword = line.substr(0, line.find(' '));
        EXPECT_EQ(out, "Warning: unknown card found in the project file: " + keyword + says + "\n  (line 7 of project file " +
                           dir.file("p.prj") + "; the line is skipped)\n")
            << "case " << line;
        ASSERT_EQ(po.unknown_cards.size(), 1u) << "case " << line;
        EXPECT_EQ(std::make_tuple(po.unknown_cards[0].line, po.unknown_cards[0].keyword), std::make_tuple(7, keyword));
    }

    // An input the run lacks is traced to the line that meant to give it.
    read(kGrid + "WATERSHED_MAKS mask.asc\nRain_Intensty 5\n");
    EXPECT_EQ(kesta::misspelling_of(po, "WATERSHED_MASK"),
              "line 7 has the unknown card WATERSHED_MAKS: write WATERSHED_MASK there");
    EXPECT_EQ(kesta::misspelling_of(po, "RAIN_INTENSITY"),
              "line 8 has the unknown card Rain_Intensty: write RAIN_INTENSITY there");
    EXPECT_EQ(kesta::misspelling_of(po, "ELEVATION"), "");
}

TEST_F(ProjectFile, CardIdTakesTheKeywordOffTheLine) {
    kesta::line_cursor line("  Rows\t12 , x");
    const int rows_id = kesta::get_card_id(line);
    EXPECT_NE(rows_id, kesta::kIgnoredCard);
    EXPECT_EQ(line.rest(), "\t12 , x");

    auto id = [](const char* text) {
        kesta::line_cursor l(text);
        return kesta::get_card_id(l);
    };
    EXPECT_EQ(id("  #ROWS 3"), kesta::kIgnoredCard);
    EXPECT_EQ(id(" \t"), kesta::kIgnoredCard);
    // Synonyms share the id of the card they stand for; other cards do not.
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
    EXPECT_EQ(std::make_tuple(po.dike_map, po.dike_map_given, po.ov_init_depth, po.ov_init_depth_given),
              std::make_tuple("dikes.txt", 1, "ov.hot", 1));
    EXPECT_EQ(std::make_tuple(po.explic_hotstart, po.explic_hotstart_given, po.read_chan_hotstart_given),
              std::make_tuple("in.hot", 1, 0));
    EXPECT_EQ(std::make_tuple(po.explic_backwater, po.write_chan_hotstart_given, po.explic_backwater_given),
              std::make_tuple("out", 1, 0));
    EXPECT_EQ(std::make_tuple(po.hmet_file, po.hmet_samson, po.hmet_kvl + po.hmet_surfaways),
              std::make_tuple("met.txt", 1, 0));
    EXPECT_EQ(std::make_tuple(po.gw_fluxboundtable, rp.gw_flux_boundary), std::make_tuple("flux.tab", 1));
    EXPECT_EQ(std::make_tuple(rain.precip_file, rain.precip_source), std::make_tuple("rain.gag", 1));
    EXPECT_EQ(std::make_tuple(po.soil_contam, rp.chan_routing, po.non_ortho_channels,
                              po.interception_coeff_given + po.storage_capacity_given, po.soils_zep_n),
              std::make_tuple(1, 3, 1, 2, 2));
}

TEST_F(ProjectFile, NamesAreKeptWholeAndQuotedNamesMayHoldBlanks) {
    const std::string long_name(600, 'n');
    read(kGrid + "ELEVATION \"my maps/elev.asc\"\nWATERSHED_MASK " + long_name +
         "\nMOISTURE\nAREA_REDUCTION\nGW_BOUNDFILE\n");
    EXPECT_EQ(po.elevation, "my maps/elev.asc");
    EXPECT_EQ(po.watershed_mask, long_name);
    // A name card with no value still counts as given, except GW_BOUNDFILE.
    EXPECT_EQ(std::make_tuple(po.moisture_given, po.area_reduction_given, po.gw_boundfile_given),
              std::make_tuple(1, 1, 0));
}

TEST_F(ProjectFile, WordSelectorsAndTheirNames) {
    const auto selectors = [this] {
        return std::make_tuple(po.overtype, po.richards_k_option, po.richards_c_option, po.richards_upper_option,
                               po.calib_comp_data, po.calib_obj_func);
    };
    read(kGrid + "OVERTYPE ADE-pc\nRICHARDS_K_OPTION ARITHMETIC\nRICHARDS_C_OPTION brooks_corey\n"
                 "RICHARDS_UPPER_OPTION no_such\nCALIB_COMP_DATA DAILY_VALUES\nCALIB_OBJ_FUNC HMLE\n");
    EXPECT_EQ(selectors(), std::make_tuple(3, 1, 1, 0, 0, 1));
    read(kGrid + "OVERTYPE 1\nRICHARDS_K_OPTION Geometric\nRICHARDS_C_OPTION Havercamp\n"
                 "RICHARDS_UPPER_OPTION average\nCALIB_COMP_DATA EVENT\nCALIB_OBJ_FUNC RMSE\n");
    EXPECT_EQ(selectors(), std::make_tuple(1, 2, 2, 3, 1, 0));
}

TEST_F(ProjectFile, CardsWithRulesOfTheirOwn) {
    read(kGrid +
         "RETEN_DEPTH 0.02\nHTP_EVENT_NUM\nNO3_KM 0.5\nDP_KOC 7\nUNITS 1\nALPHA 0.5\nN_LINKS 12\n"
         "START_DATE 2020 2 29\nSTART_TIME 24 0\nEND_TIME 2020 12 31 23 59\nGMT -6\nROWS 100000\nNUM_THREADS 4\n"
         "RAIN_INTENSITY 0\nRAIN_DURATION 0\n");
    // The thread count is not the project's to set: the warning says how the
    // threads are chosen.
    EXPECT_EQ(out,
              "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
              "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 0.020000 for the uniform retention depth\n\n"
              "Units flag = 1\nAlpha = 0.500000\nNumber of links = 12\n"
              "Warning: card NUM_THREADS on line 19 of project file " + dir.file("p.prj") +
                  " is ignored: the project does not set the number of threads.\n"
                  "  Each loop over a grid takes one thread per 65536 cells (fewer for the soil erosion and the soil "
                  "nutrients,\n  whose work per cell is heavier), at most the threads OpenMP may use\n"
                  "  (one per core, or OMP_NUM_THREADS when it is set).\n");
    EXPECT_EQ(std::make_tuple(po.retention_given, po.retention, po.reten_depth_given), std::make_tuple(1, 0.02, 0));
    EXPECT_EQ(std::make_tuple(po.htp_event_num, po.htp_event_num_given), std::make_tuple(-1, 1));
    ASSERT_EQ(po.sorption_constants.size(), 12u);
    const std::vector<double>& k = po.sorption_constants;
    EXPECT_EQ(std::make_tuple(k[kesta::sorption_no3_km], k[kesta::sorption_dp_koc], k[kesta::sorption_no2_km]),
              std::make_tuple(0.5, 7.0, 0.0));
    // A leap day, midnight at the end of a day, the last minute of a year,
    // the largest grid.
    EXPECT_EQ(std::make_tuple(rp.start_year, rp.start_month, rp.start_day, rp.start_hour, rp.start_minute),
              std::make_tuple(2020, 2, 29, 24, 0));
    EXPECT_EQ(std::make_tuple(rp.end_year, rp.end_month, rp.end_day, rp.end_hour, rp.end_minute, rp.gmt_given),
              std::make_tuple(2020, 12, 31, 23, 59, 1));
    EXPECT_EQ(rp.rows, 100000);

    read(kGrid + "RETEN_DEPTH reten.asc\n");
    EXPECT_EQ(std::make_tuple(po.reten_depth, po.reten_depth_given, po.retention_given),
              std::make_tuple("reten.asc", 1, 0));
}

// Soil depths from 0 (a layer that takes the one below's place) to the
// deepest soil are kept as given, in metres.
TEST_F(ProjectFile, SoilDepthsFromZeroToTheDeepestSoilAreKept) {
    read(kGrid + "SOIL_MOIST_DEPTH 1000\nTOP_LAYER_DEPTH 0\nMIXING_LAYER_DEPTH 9.9e-19\nTOP_LAYER_DEPTH 1e-18\n"
                 "SOIL_MOIST_DEPTH 0\nMIXING_LAYER_DEPTH 1e-17\nSOIL_MOIST_DEPTH 1000\nTOP_LAYER_DEPTH 0\n");
    // A top or mixing layer of no depth is the same as no card, which the
    // reader says: the soil puts another depth in its place.
    const std::string p = dir.file("p.prj"), same = " m, the same as no card: where the run needs this layer, it "
                                                    "takes the depth of the layer below it or of the soil class's "
                                                    "first layer in its place.\n";
    EXPECT_EQ(out, "Warning: card TOP_LAYER_DEPTH on line 8 of project file " + p + " gives the depth 0" + same +
                       "Warning: card MIXING_LAYER_DEPTH on line 9 of project file " + p + " gives the depth 9.9e-19" +
                       same + "Warning: card TOP_LAYER_DEPTH on line 14 of project file " + p + " gives the depth 0" +
                       same);
    EXPECT_EQ(g_error_record.stop, 0);
    EXPECT_EQ(std::make_tuple(po.soil_moist_depth, po.top_layer_depth, po.mixing_layer_depth),
              std::make_tuple(1000.0, 0.0, 1e-17));
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

    // Replacement files that cannot be read are named, with their card.
    read(kGrid + "REPLACE_PARAMS nowhere.par\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(kesta_test::has(out, "Error: unable to open the replace parameter file.\n  (File: nowhere.par)\n"
                                     "Error: card REPLACE_PARAMS on line 7 of project file " + dir.file("p.prj") +
                                     " names the replacement parameter file \"nowhere.par\", which could not be "
                                     "read.\n"))
        << out;
    read(kGrid + "REPLACE_VALS nowhere.val\n");
    EXPECT_EQ(g_error_record.stop, 1);
    EXPECT_TRUE(kesta_test::has(out, "Error: unable to open the value file nowhere.val\nError: card REPLACE_VALS"))
        << out;
    EXPECT_TRUE(kesta_test::has(out, "names the replacement value file \"nowhere.val\", which could not be read."))
        << out;
}

// The series the file was to hold would be missing from every input that
// names them: the run stops on the file, with its card and line.
TEST_F(ProjectFile, SeriesFilesThatCannotBeOpenedStopTheRunWithTheirCard) {
    read(kGrid + "TIME_SERIES_FILE nowhere.ts\nELEV_SERIES_FILE \"nowhere.es\"\n");
    const std::string file = dir.file("p.prj");
    for (const auto& [card, kind, name, line] :
         {std::make_tuple("TIME_SERIES_FILE", "time series", "nowhere.ts", 7),
          std::make_tuple("ELEV_SERIES_FILE", "elevation series", "nowhere.es", 8)}) {
        EXPECT_TRUE(kesta_test::has(out, kesta::format_text("Error: Unable to open %s file.\n  (File: %s)\n  Card %s (project "
                                                     "file %s, line %d) names %s, which cannot be opened (No such file",
                                                     kind, name, card, file.c_str(), line, name)))
            << out;
    }
    EXPECT_TRUE(kesta_test::has(out, " has 2 errors (lines 7 and 8); the run stops.\n")) << out;
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(ProjectFile, NutrientCardsFillTheProjectOptionsAfterNutrients) {
    read(kGrid + "NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO3\nOV_INIT_NH4 2.5\nOV_INIT_ON 2010_on.asc\n"
                 "OV_DISPERSION 0.1\nST_INIT_DO do.asc\nOUT_HYD_CBOD cbod.out\n");
    EXPECT_EQ(po.nutrients, 1);
    EXPECT_EQ(po.aq_env, "aq.env");
    // Kinds: 2 mapping table, 3 uniform, 1 map (a name that begins with digits is still a map).
    EXPECT_EQ(std::make_tuple(po.ov_init[1].kind, po.ov_init[2].kind, po.ov_init[2].value, po.ov_init[3].kind,
                              po.ov_init[3].map_name, po.ov_init[11].value),
              std::make_tuple(2, 3, 2.5, 1, "2010_on.asc", 0.1));
    EXPECT_EQ(po.st_init[8].map_name, "do.asc");
    EXPECT_EQ(std::make_tuple(po.out_hyd[7].flag, po.out_hyd[7].file_name, po.out_ov[7].flag),
              std::make_tuple(1, "cbod.out", 0));
}

// Codes stored by the reader itself are said at once with the card's line;
// reading goes on to the end of the file, and the run is then to stop.
TEST_F(ProjectFile, StoredCodesAreSaidWithTheirLineAndReadingGoesOn) {
    const std::tuple<std::string, std::string> cases[] = {
        {"OV_INIT_NO3 1.0", "Error: The NUTRIENTS card in the project file must be specified before the OV_INIT_XXX card\n"},
        {"OUT_ST_DO do.out", "Error: The NUTRIENTS card in the project file must be specified before the OUT_ST_XXX card\n"},
        {"AQ_ENV aq.env", "Error: The NUTRIENTS card in the project file must be specified before the AQ_ENV card\n"},
        {"CALIB_COMP_DATA daily", "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n"},
        {"CALIB_OBJ_FUNC RMSEX", "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n"},
    };
    for (const auto& [card, message] : cases) {
        read(kGrid + card + "\nCOLS 99\n");
        const std::string keyword = card.substr(0, card.find(' '));
        EXPECT_EQ(out, "\n" + message + "  (card " + keyword + " on line 7 of project file " + dir.file("p.prj") +
                           ")\nError: project file " + dir.file("p.prj") + " has 1 error (line 7); the run stops.\n")
            << "case " << card;
        EXPECT_EQ(std::make_tuple(g_error_record.stop, g_error_record.code, rp.cols), std::make_tuple(1, 0, 99))
            << "case " << card;
    }
    EXPECT_EQ(po.calib_obj_func, 2);
}

TEST_F(ProjectFile, OnlyAFileWithTheProjectHeaderIsRead) {
    for (const std::string header : {"KESTAPROJECT ", "kestaproject", "", "PROJECT"}) {
        po = kesta::project_options();
        read(header + "\nROWS 3\n");
        EXPECT_EQ(err,
                  "File Does not Appear to be a Valid KESTA/TALVIK Project file\n"
                  "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n"
                  "KESTA Terminating....\n")
            << header;
        // Reported at once; nothing read, not even the defaults set.
        EXPECT_EQ(std::make_tuple(g_error_record.stop, g_error_record.code, rp.rows, po.calib_comp_data),
                  std::make_tuple(1, 0, 0, 1))
            << header;
    }

    // The older header and Windows line ends are accepted.
    read("TALVIKPROJECT\r\nROWS 3\r\nSUMMARY s.out\r\n");
    EXPECT_EQ(std::make_tuple(err, rp.rows, po.summary), std::make_tuple("", 3, "s.out"));

    // A missing file sets only the open-failed field.
    g_error_record = kesta::error_record();
    testing::internal::CaptureStderr();
    kesta::read_project_file(dir.file("none.prj"), po, rp, rain);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening project file named: " + dir.file("none.prj") + "\n");
    EXPECT_EQ(std::make_tuple(rp.open_failed, g_error_record.code), std::make_tuple(1, 0));
}

// A value that is missing, malformed or out of range is refused with the
// card, the line and the value; the lines after it are still read. A
// refused date is not kept, not even in part.
TEST_F(ProjectFile, BadValuesAreRefusedWithCardLineAndValue) {
    const std::pair<std::string, std::string> cases[] = {
        {"TIMESTEP abc", "needs a number, not \"abc\"."},
        {"ROWS 1O", "needs a whole number, not \"1O\"."},
        {"ROWS", "has no value."},
        {"COLS 0", "needs a value greater than zero, not \"0\"."},
        {"GRIDSIZE -30", "needs a value greater than zero, not \"-30\"."},
        {"TOT_TIME -1", "needs a value greater than zero, not \"-1\"."},
        {"TIMESTEP nan", "needs a number, not \"nan\"."},
        {"OVERTYPE 7", "does not accept \"7\"."},
        {"OVERTYPE fast", "does not accept \"fast\"."},
        {"MAP_TYPE 3", "does not accept \"3\"."},
        {"RICHARDS_K_OPTION harmonic", "does not accept \"harmonic\"."},
        {"START_DATE 1999 6", "has no value."},
        {"HTP_EVENT_NUM two", "needs a whole number, not \"two\"."},
        {"MANNING_N 0.03x", "needs a number, not \"0.03x\"."},
        {"MANNING_N 0,035", "gives \"0,035\", with a comma (a comma separates values): write a decimal with a point "
                            "(0.035)."},
        // A NUL byte would silently shorten the name the file system sees.
        {std::string("ELEVATION maps/el") + '\0' + "ev.asc",
         "has a control character (byte 0x00) at character 8 of its value \"maps/el\\x00ev.asc\"."},
        {"TIME_SERIES_FILE \"a\tb.ts\"", "has a control character (byte 0x09) at character 2 of its value \"a\\x09b.ts\"."},
        {"ROWS " + std::string(5000, '9'), "needs a whole number, not \"" + std::string(80, '9') + "...\"."},
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
        // A soil column of negative depth holds negative water; one deeper
        // than any soil overflows its centimetres.
        {"SOIL_MOIST_DEPTH -1", "needs a depth from 0 to 1000 m, not \"-1\"."},
        {"SOIL_MOIST_DEPTH 1e308", "needs a depth from 0 to 1000 m, not \"1e308\"."},
        {"TOP_LAYER_DEPTH -1e-300", "needs a depth from 0 to 1000 m, not \"-1e-300\"."},
        {"MIXING_LAYER_DEPTH -0.01", "needs a depth from 0 to 1000 m, not \"-0.01\"."},
        // Rain that would take water away.
        {"RAIN_INTENSITY -25", "needs a value of zero or more, not \"-25\"."},
        {"RAIN_DURATION -1", "needs a value of zero or more, not \"-1\"."},
        // An output map with no name would be found wanting only when the run ends.
        {"ADJUST_ELEV", "has no value."},
        {"ADJUST_ELEV \"\"", "has no value."},
    };
    for (const auto& [card, says] : cases) {
        read(kGrid + card + "\nSUMMARY late.out\n");
        EXPECT_EQ(out, "Error: card " + card.substr(0, card.find(' ')) + " on line 7 of project file " +
                           dir.file("p.prj") + " " + says + "\n\nError: project file " + dir.file("p.prj") +
                           " has 1 error (line 7); the run stops.\n")
            << "case " << card;
        EXPECT_EQ(std::make_tuple(g_error_record.stop, g_error_record.code, po.summary),
                  std::make_tuple(1, 0, "late.out"))
            << "case " << card;
        EXPECT_EQ(std::make_tuple(rain.rain_intensity, rain.rain_duration), std::make_tuple(0.0, 0))
            << "case " << card;
        EXPECT_EQ(std::make_tuple(rp.start_year, rp.start_month, rp.start_hour, rp.end_year, rp.end_day),
                  std::make_tuple(0, 0, 0, 0, 0))
            << "case " << card;
    }
}

// A concentration in water a card gives lies from 0 to 1e6 g/m3, what a
// cubic metre of water weighs; the refusal names the card, its line and the
// value (and the species). 1e6 itself, a map name and the organic-carbon
// fraction (no concentration) are taken.
TEST_F(ProjectFile, ConcentrationCardsLieWithinWhatWaterWeighs) {
    const std::string rule = "; it must be from 0 to 1e+06 g/m3, what a cubic metre of water weighs.";
    const std::pair<std::string, std::string> cases[] = {
        {"INIT_CHAN_CONC 1e20", "gives the concentration 1e+20 g/m3"},
        {"INIT_CHAN_CONC -0.5", "gives the concentration -0.5 g/m3"},
        {"OV_INIT_NO3 1e308", "gives Nitrate (NO3-) the concentration 1e+308 g/m3"},
        {"OV_INIT_NH4 -0.5", "gives Ammonium (NH4+) the concentration -0.5 g/m3"},
        {"OV_DOC_INIT 2e6", "gives Dissolved Org. Carbon the concentration 2e+06 g/m3"},
        {"ST_INIT_NO3 1e308", "gives Nitrate (NO3-) the concentration 1e+308 g/m3"},
        {"ST_INIT_DO -1", "gives Dissolved Oxygen (O2) the concentration -1 g/m3"},
        // Just past the bound, as written.
        {"INIT_CHAN_CONC 1000001", "gives the concentration 1000001 g/m3"},
        {"ST_INIT_NO2 1000000.25", "gives Nitrite (NO2-) the concentration 1000000.25 g/m3"},
    };
    for (const auto& [card, says] : cases) {
        read(kGrid + "NUTRIENTS\n" + card + "\n");
        EXPECT_NE(out.find("Error: card " + card.substr(0, card.find(' ')) + " on line 8 of project file " +
                           dir.file("p.prj") + " " + says + rule + "\n"),
                  std::string::npos)
            << card << "\n" << out;
        EXPECT_EQ(g_error_record.stop, 1) << card;
    }
    read(kGrid + "NUTRIENTS\nINIT_CHAN_CONC 1e6\nOV_INIT_NO3 1e6\nST_INIT_DO 1e6\nOV_DOC_FOC 2\nST_INIT_NH4 1e6.map\n");
    EXPECT_EQ(g_error_record.stop, 0) << out;
    EXPECT_EQ(std::make_tuple(po.init_chan_conc, po.ov_init[1].value, po.st_init[8].value, po.ov_init[10].value,
                              po.st_init[2].map_name),
              std::make_tuple(1e6, 1e6, 1e6, 2.0, "1e6.map"));
}

// One read shows every mistake of the file, in file order, each with its
// line; the cards between them are read; the closing line counts the errors,
// and the stop message holds every error and the closing line, to be said
// again when the run ends.
TEST_F(ProjectFile, EveryMistakeOfTheFileIsSaidInOneRead) {
    read(kGrid + "WATERSHED_MAKS mask.asc\nTIMESTEP 5s\nSUMMARY s.out\nAQ_ENV aq.env\nRAIN_INTENSITY -25\n"
                 "COLS 8\n");
    const std::string file = dir.file("p.prj");
    const std::string timestep =
        "Error: card TIMESTEP on line 8 of project file " + file + " needs a number, not \"5s\".\n";
    const std::string aq_env = "Error: The NUTRIENTS card in the project file must be specified before the AQ_ENV "
                               "card\n  (card AQ_ENV on line 10 of project file " + file + ")\n";
    const std::string rain =
        "Error: card RAIN_INTENSITY on line 11 of project file " + file + " needs a value of zero or more, not \"-25\".\n";
    const std::string closing = "Error: project file " + file + " has 3 errors (lines 8, 10 and 11); the run stops.\n";
    EXPECT_EQ(out, "Warning: unknown card found in the project file: WATERSHED_MAKS (did you mean WATERSHED_MASK?)\n"
                   "  (line 7 of project file " + file + "; the line is skipped)\n" +
                       timestep + "\n\n" + aq_env + rain + "\n" + closing);
    EXPECT_EQ(g_error_record.stop_message, timestep + aq_env + rain + closing);
    EXPECT_EQ(std::make_tuple(g_error_record.stop, po.summary, rp.cols, rp.timestep), std::make_tuple(1, "s.out", 8, 10.0));

    // A file without a mistake leaves nothing to stop the run, whatever it warns.
    read(kGrid + "WATERSHED_MAKS mask.asc\n");
    EXPECT_EQ(std::make_tuple(g_error_record.stop, g_error_record.stop_message), std::make_tuple(0, ""));
}

}  // namespace
