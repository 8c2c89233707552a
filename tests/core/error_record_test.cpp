#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "support/stream_capture.hpp"

namespace kesta {
namespace {

// Field values used for every catalogue message below.
const char* const kItem = "watershed mask";
const char* const kFile = "maps/basin 2.msk";
constexpr int kValue1 = 7;
constexpr int kValue2 = 1234;

struct catalogue_case {
    int code;
    const char* text;  // message with the fields above in place, no leading line break
};

const catalogue_case kExpected[] = {
    {1, "Error: Can't open file debug.out\n"},
    {2, "Error: You must give the name of a valid KESTA project file as a command line\n"
        "argument.\n"},
    {3, "Error: The specified project file was not found.\n"},
    {4, "Error: Unable to open watershed mask file.\n  (File: maps/basin 2.msk)\n"},
    {5, "Error: KESTA not compiled with PEXLO, but PEXLO file format specified\n"},
    {6, "Error: You have specified both spatially-varied and uniform Manning roughness\n"
        "using both the ROUGHNESS and MANNING_N project file cards.  Only one of\n"
        "these may be specified.  Select only one option.\n"},
    {7, "Error: You have specified both the Penman Montieth and Deardorff\n"
        "evapo-transpiration calculation methods.  Only one may be \n"
        "specified for long-term simulations.  Select only one method.\n"},
    {8, "Error: You have specified two of either the Surface Airways, SAMSON, or KVL\n"
        "hydromet. file input type.  Only one file type may be specified for GINT-\n"
        "term simulations.  Select only one method.  Check your project file.\n"},
    {9, "Error: You have specified neither the Penman Montieth or Deardorff\n"
        "evapo-transpiration calculation methods.  One method must be \n"
        "specified for long-term simulations.  Select only one method.\n"},
    {10, "Error: You have specified both a rain gage file, and uniform rainfall\n"
         "options.  These options are mutually exclusive.  Please select\n"
         "only one option.\n"},
    {11, "Error: You have an error in your input due to one of the following:\n\n"
         " - You have not specified a precipitation card in your project file.\n"
         "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
         "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
         "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
         "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
         " - You have specified spatially-uniform rainfall with either a zero\n"
         "   rate or duration.  Please check that your rain rate in mm/h or\n"
         "   rain duration in minutes are both non-zero.\n"},
    {12, "Error: The number of X-windows plot ordinates 7 is greater than the dimension of the "
         "array 1234\n"},
    {13, "Error: The project file specifies X-Windows plotting, but does not specify what to "
         "plot.\nYou must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n"},
    {14, "Warning: X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of channel flow depth, but does\n"
         "not specify a channel routing method card.  This plotting routine\n"
         "can only plot channel flow depth when using channel routing.  Plotting of\n"
         "channel flow depth disabled.\n"
         "You must include the one of the following cards: CHAN_EXPLIC to enable\n"
         "plotting of channel flow depth in an X-window.\n\n"},
    {15, "Error: The project file specifies X-Windows plotting, but does not specify how often "
         "to plot.\nYou must include the following card: X_FREQ  N, where N is the plotting "
         "frequency.\n"},
    {16, "Warning: X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of infiltrated depth, but does\n"
         "not specify an infiltration method card.  This plotting routine\n"
         "currently only plots infiltrated depth when using the Green & Ampt or\n"
         "Green & Ampt with redistribution methods.  Plotting of infiltrated depth\n"
         "disabled.\n"
         "You must include the one of the following cards: INF_REDIST or GREEN_AMPT\n"
         "to enable plotting of infiltrated depth in an X-window.\n\n"},
    {17, "X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of soil surface moisture, but\n"
         "does not specify an infiltration method card.  This plotting routine\n"
         "currently plots soil surface water content when using the Green & Ampt,\n"
         "Green & Ampt with redistribution or Richards Equation.  Plotting of soil\n"
         "surface water content disabled.\n"
         "You must include the one of the following cards: INF_REDIST, GREEN_AMPT\n"
         "or INF_RICHARDS to enable plotting of surface water content in an X-window.\n\n"},
    {18, "Error: The project file specifies both plotting of cumulative infiltrated depth via "
         "the\nXINFDEP card and plotting of soil surface water content via the XSURF card.\n"
         "Only one of the cards may be present in the project, because they are drawn\n"
         "in the same region of the X-Window.  Remove one of the cards.\n"},
    {19, "Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 "
         "pixels.\nThese are the minimum values that allow legible plotting in the X-Window.  "
         "Make\nthe values in your project file at least as large as these lower limits.\n"
         "Advanced apologies to those executing this program on a Palm Pilot.\n"},
    {20, "Error: For long-term simulations, you must specify the redistribution form\n"
         "of the Green and Ampt infiltration equation.  Redistribution requires\n"
         "values of pore distribution index and residual saturation in addition\n"
         "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n"
         "capillary head, porosity, and initial soil moisture content).\n\n"
         "Change the infiltration option to Green & Ampt with redistribution\n"
         "and specify the 6 required parameters.\n"},
    {21, "Error: Albedo values not specified for long term simulation. Check project file.\n"},
    {22, "Error: Vegetation height values not specified for Penman-Montieth long term "
         "simulation.\n Check project file.\n"},
    {23, "Error: Transmission coeff. values not specified for Penman-Montieth long term "
         "simulation.\n Check project file.\n"},
    {24, "Error: tomatal resistance values not specified for Penman-Montieth long term "
         "simulation.\n Check project file.\n"},
    {25, "Error: Wilting point values not specified for Penman-Montieth long term "
         "simulation.\n Check project file.\n"},
    {26, "Error: You have specified both Green and Ampt and multi-layered\n"
         "soil infiltration.  Please select only one in the \nproject file.\n"},
    {27, "Error: You have specified both redistribution and multi-layered\n"
         "soil infiltration.  Please select only one in the \nproject file. \n"},
    {28, "Error: You have specified both Green and Ampt and Richards\n"
         "soil infiltration.  Please select only one in the \nproject file. \n"},
    {29, "Error: You have specified both Green and Ampt and Richards\n"
         "soil infiltration.  Please select only one in the \nproject file. \n"},
    {30, "Error: You have specified both redistribution and Richards\n"
         "soil infiltration.  Please select only one in the \nproject file. \n"},
    {31, "Error: You have specified both Layered Soil and Richards\n"
         "soil infiltration.  Please select only one in the \nproject file. \n"},
    {32, "Error: Groundwater cell vertical grid size not specified in project file.\n"
         "If you are simulating the influence of the water table on Richards\n"
         "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n"},
    {33, "Error: You have chosen both Green and Ampt and Redististribution\n"
         "Choose one or the other and try again\n"},
    {34, "Error: Both the drain and backwater channel initialization methods have been\n"
         "selected.  Only one method may be specified. \n"},
    {35, "Error: card watershed mask of project file maps/basin 2.msk chooses a channel routing that this "
         "program does not have.\nCHAN_EXPLIC is the channel routing this program has: select it instead.\n"},
    {36, "Error: Both the implicit and explicit channel routing methods have been\n"
         "selected.  Only one method may be specified. \n"},
    {37, "Error: Both the explicit and mesh channel routing methods have been\n"
         "selected.  Only one method may be specified.  Program terminated\n"},
    {38, "You have specified both spatially-varied and uniform porosity for\n"
         "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n"
         "project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {39, "Warning: You have specified neither spatially-varied, uniform, or mapping table "
         "porosity for\ngroundwater soil without using both the gw_unif_porosity and\n"
         "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
         "same as those in the last layer of your soil input table.\n"},
    {40, "You have specified both spatially-varied and uniform hydraulic\n"
         "conductivity for groundwater soil using both the gw_unif_hycond and\n"
         "gw_hycond_map project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {41, "Warning: You have specified neither spatially-varied, uniform, or mapping table "
         "hydraulic \nconductivity for groundwater soil without using both the gw_unif_hycond\n"
         "and gw_hycond_map project file cards. Groundwater hydraulic conductivies \n"
         "will be taken from the soil input table.\n"},
    {42, "Error: You have specified both groundwater routing and Sacramento soil moisture\n"
         "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n"},
    {43, "Error: You have specified that KESTA is being run within HTP, but you did\n"
         "not specify the model(s) that are being co-run.  The present options are:\n"
         "OLMA.  If you want to run with OLMA for instance, you must place the OLMA\n"
         "project file card in the project file. \n"},
    {44, "Error: KESTA is running within HTP in event mode.  The HTP_EVENT_NUM card\n"
         "was placed in the KESTA project file without an argument.  The\n"
         "HTP_EVENT_NUM card must be followed by a GINT int argument that specifies\n"
         "the event number to be simulated.  If 'HTP_EVENT_NUM 0' is specified,\n"
         "then KESTA writes out all available precip. events into the file named\n"
         "HTP_PRECIP.SUM, and terminates.  If the HTP_EVENT_NUM argument is greater than\n"
         "0, then that particular event is simulated.  Check the project file. \n"},
    {45, "Error: Groundwater simulations in KESTA within the HTP environment\n"
         "are not yet supported. \n"},
    {46, "Error: You have specified that KESTA is being run with OLMA, but you did\n"
         "not specify that KESTA is being run within the HTP environment.\n"
         "KESTA only runs with OLMA in the HTP environment.  You must place the\n"
         "HTP project file card in the project file, and pay close attention to\n"
         "start-up conditions. (e.g. HTP_EVENT_NUM card). \n"},
    {47, "Error: Unable to open PEXLO data source watershed mask, maps/basin 2.msk.\n"},
    {48, "Error: Can't open theta location output file: maps/basin 2.msk\n"
         "You specify the name of the output file which will contain the soil moisture\n"
         "ordinates at the points specified in the file watershed mask\n"
         "This is done by using the OUT_THETA_LOCATION card in the project file.\n"},
    {49, "Error: Can't open concentration location output file: watershed mask\n"
         "You specify the name of the output file which will contain the concentration\n"
         "ordinates at the points specified in the file maps/basin 2.msk\n"
         "This is done by using the OUT_CON_LOCATION card in the project file.\n"},
    {50, "Error: Can't open depth location output file: watershed mask\n"
         "You specify the name of the output file which will contain the depth\n"
         "ordinates at the points specified in the file maps/basin 2.msk\n"
         "This is done by using the OUT_DEP_LOCATION card in the project file.\n"},
    {51, "Error: Can't open hydrograph location output file: watershed mask\n"
         "You specify the name of the output file which will contain the hydrograph\n"
         "ordinates at the points specified in the file maps/basin 2.msk\n"
         "This is done by using the OUT_HYD_LOCATION card in the project file.\n"},
    {52, "Error: Time step is 0 seconds.\n"},
    {53, "Error: Time step is greater than 60 seconds.\n"},
    {54, "Error: The time step (7) must be evenly divisible into 60 seconds.\n"},
    {55, "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"},
    {56, "Error: Outlet slope not specified.\n"},
    {57, "Error: Latitude and longitude of basin centroid required for long-term simulations.\n"
         "Specify these in the project file using keywords 'latitude' and 'longitude'\n"},
    {58, "Error: GMT time offset required for long-term simulations.\n"
         "Specify the offset in the project file using keyword 'GMT'\n"},
    {59, "Error: Can't open output file: maps/basin 2.msk\n"},
    {60, "Error: Unable to open the PEXLO file maps/basin 2.msk for output.\n"},
    {61, "Error: Unable to open output data set group maps/basin 2.msk for writing in the grid "
         "watershed mask of the PEXLO file."},
    {62, "Error: Unable to create maps/basin 2.msk map in the PEXLO file\n"},
    {63, "Error: Unable to open output data set group maps/basin 2.msk for writing in the stream "
         "watershed mask of the PEXLO file."},
    {64, "Unable to open Mapping Table file: maps/basin 2.msk\n"},
    {65, "Unable to open index file maps/basin 2.msk\n"},
    {66, "Problem reading mapping table file -- no entries found in table watershed mask "
         "(NUM_IDS is 0)\n"},
    {67, "There is a problem with the wetlands index map.  It contains\n"
         "7 ID's, while the mapping table file contains 1234 ID's.\n"
         "The index map and mapping table file must have the same number\nof ID's. \n"},
    {68, "The number of wetland ids specified in the master table file \n"
         "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
         "dazed and confused state.  So many wetlands!\n"},
    {69, "Error reading the contaminant transport tables in the mapping table file.\n"},
    {70, "Unexpected end of file in file: maps/basin 2.msk\n"},
    {71, "Index ID exceeds table limit, file: maps/basin 2.msk [row 7:col 1234]\n"},
    {72, "Incorrect number of rows and columns in map: maps/basin 2.msk\n"},
    {73, "Incorrect number of rows in map: maps/basin 2.msk\n"},
    {74, "Incorrect number of columns in map: maps/basin 2.msk\n"},
    {75, "Error: There were 7 errors trying to open the nutrient output files.\n"
         "The last error was: unable to open nutrient output file maps/basin 2.msk.\n"},
    {76, "Error: unable to open the aquatic environment file maps/basin 2.msk.\n"},
    {77, "Error: The header for the aquatic environment file is invalid or does not match \n"
         " the current version. \n"
         " The aquatic environment file specified is: maps/basin 2.msk\n"
         " The header should be : watershed mask"},
    {78, "Error: An index [7] in the aquatic environment table is greater than the\n"
         "number of IDs specified [1234]\n"},
    {79, "Error: The NUTRIENTS card in the project file must be specified before the "
         "watershed mask card\n"},
    {80, "Error: Unable to open the nutrient file maps/basin 2.msk\n"},
    {81, "Error: Unable to open the overland Aquatic Environment map.\n"},
    {82, "Error: Unable to open the nutrient summary file\n"},
    {83, "Error: Unable to open the overland pump file\n"},
    {84, "Error: The OV_BOUNDARY card has been specified in the project file but the \n"
         "       OVERLAND_BOUNDARY table was not found...\n"},
    {85, "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE "
         "\"elev series name\"\nThe elevation series is missing\n"},
    {86, "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the "
         "elevation series\n file is in the project file before the channel input file and "
         "that the elevation series is defined."},
    {87, "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE "
         "SCHEDULED_RELEASE \"time series name\"\nThe time series is missing\n"},
    {88, "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the "
         "time series\n file is in the project file before the channel input file and that "
         "the time series is defined."},
    {89, "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE "
         "\"elev series name\"\nThe elevation series is missing\n"},
    {90, "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the "
         "elevation series\n file is in the project file before the channel input file and "
         "that the elevation series is defined."},
    {91, "Error: The number of sediments specified in the SEDIMENTS table is 7 while the number "
         "of sediments \nspecified in the SED_EROS_PROPS table is 1234. The values must match.\n"},
    {92, "Error: Sediment transport specified but sediments table missing in the .cmt file.\n"},
    {93, "Error: Unable to read the soil erosion properties table from mapping table file\n"},
    {94, "Error: 0.0 values for roughness found. Check the roughness map/table\n"},
    {95, "Warning: There are no segments in the VQ segment map.\n"},
    {96, "Warning: The KESTA to VQ internal segment flux option is turned on\n"
         "But there are no segments in the VQ segment map or in the link-node to segment "
         "file.\n"},
    {97, "Error: In the VQ internal stream flux to segment file, some link/node pairs \n"
         "refer to a segment of 0 or a segment that is not in the segment map file.\n"},
    {98, "Error: Unable to open the VQ internal flux output file [maps/basin 2.msk].\n"},
    {99, "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n"},
    {100, "Too many nodes (>50!) in one link in superlink.  Your network is too large.\n"},
    {101, "Too many superlinks (>1000!) in superlink.  Your network is too large.\n"},
    {102, "Error in creating radar mapping to grid.\n"},
    {103, "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, "
          "EVENT. \n"},
    {104, "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, "
          "HMLE. \n"},
    {105, "Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, "
          "CALIB_OBJ_FUNC are invalid.\n"},
    {106, "Error: Unable to calibration observed data file (CALIB_OBS_DATA) : "
          "maps/basin 2.msk.\n"},
    {107, "Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n"},
    {108, "Error: Invalid NUM_LOCATIONS line in the observed data file. \n"
          "It should be the second line in the file.\n"},
    {109, "Error: Invalid NUM_DATA_POINTS line in the observed data file. \n"
          "It should be the third line in the file.\n"},
    {110, "Error: The number of output locations in the observed data file \n"
          "does not match the number of output locations in the outlet \nhydrograph file.\n"},
    {111, "Error: Invalid data line in the observed data file. Check file.\n"},
    {112, "Error: More event/daily values in the observed data file than specified by the "
          "NUM_DATA_POINTS value. Check file.\n"},
    {113, "Error: A location number is not valid in the observed data file. Check file.\n"},
    {114, "Error: Reached end of observed data file before finding all of the data values. "
          "Check file.\n"},
    {115, "Unable to open stream map file maps/basin 2.msk\n"},
    {116, "Stream map file does not use correct header (file: maps/basin 2.msk)\n"},
    {117, "NLINKS or MAXNODES card in stream map file does not match channel input file "
          "(file: maps/basin 2.msk)\n"},
    {118, "Error reading data from stream map file. Check to make sure that the correct "
          "number of \ndata points exist for each link. (file: maps/basin 2.msk)\n"},
    {119, "Error: Nutrient constituent to use mapping table for input value but no mapping "
          "table exists (Grid): watershed mask\n"},
    {120, "Error: Nutrient constituent to use mapping table for input value but no mapping "
          "table exists (Stream): watershed mask\n"},
    {121, "Error: Unable to open the stream Aquatic Environment map.\n"},
    {122, "no convergence in culvert critical depth routine\n"},
    {123, "arch culverts not yet supported in subroutine crit_calc() \n"},
    {124, "Root must be bracketed in ZBRENT\n"},
    {125, "Error: The number of contaminants is not a positive value.\n"},
    {126, "Error: the mapping table for the groundwater table is not set up correctly. Check "
          "index map file names.\n"},
    {127, "Error: Stream head boundary time series (watershed mask) can not be found. Check "
          "project file.\n"},
    {128, ""},
    {129, ""},
    {130, "Error: unable to open the nutrient summary file.\n"},
    {131, "Error: Pipe invert must be above the botth of the aquifer\n"},
};
static_assert(sizeof(kExpected) / sizeof(kExpected[0]) == kErrorCatalogueSize,
              "one expected text per catalogue code");

const std::set<int> kWarnings = {14, 16, 17, 39, 41, 55, 95, 96};

error_record record_for(int code) {
    error_record rec;
    rec.code = code;
    rec.item = kItem;
    rec.file_name = kFile;
    rec.value1 = kValue1;
    rec.value2 = kValue2;
    return rec;
}

struct report_text {
    std::string console, summary;
};

// Reports `rec` with a fresh summary file (or none) and returns what reached each.
report_text reported(error_record& rec, bool to_summary = true) {
    report_text r;
    testing::internal::CaptureStdout();
    if (to_summary) {
        r.summary = kesta_test::written_by([&rec](std::FILE* fp) {
            rec.summary_file = fp;
            report_error(rec);
        });
        rec.summary_file = nullptr;
    } else {
        report_error(rec);
    }
    r.console = testing::internal::GetCapturedStdout();
    return r;
}

TEST(ErrorCatalogue, EveryCodePrintsItsMessageAfterALineBreakAndOnlyWarningsLetTheRunGoOn) {
    for (const catalogue_case& expected : kExpected) {
        SCOPED_TRACE("code " + std::to_string(expected.code));
        error_record rec = record_for(expected.code);
        const bool warning = kWarnings.count(expected.code) > 0;
        const std::string text = expected.text;
        EXPECT_EQ(error_message(rec), text);
        EXPECT_EQ(is_warning_code(expected.code), warning);
        const report_text r = reported(rec);
        // The last code's message goes to the summary file only.
        EXPECT_EQ(r.console, expected.code == 131 ? "\n" : "\n" + text);
        EXPECT_EQ(r.summary, "\n" + text);
        EXPECT_EQ(rec.stop, warning ? 0 : 1);
        EXPECT_EQ(rec.code, 0);
    }
}

// Reports beyond the catalogue: codes with no message or none to report, no
// summary file, texts that look like formats, and exit_now.
TEST(ReportError, PrintsWhatTheCodeAsksAndSetsStopAndCode) {
    const std::string item = "table %n " + std::string(100, 'y');
    const std::string file = "out%d_%s_100%/" + std::string(300, 'x') + ".dat";
    const std::string open4 = "\nError: Unable to open " + item + " file.\n  (File: " + file + ")\n";
    const std::string step0 = "\nError: Time step is 0 seconds.\n";
    const std::string warn55 = "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n";
    const struct {
        const char* name;
        int code, stop, exit_now;  // the record before the report
        bool to_summary;
        std::string console, summary;
        int stop_after, code_after;
    } cases[] = {
        {"past the catalogue", 132, 0, 0, true, "\n", "\n", 1, 0},
        {"caller's own message", 4000, 0, 0, true, "\n", "\n", 1, 0},
        {"negative code keeps stop", -3, 1, 1, true, "", "", 1, 0},
        {"no code", 0, 0, 1, true, "", "", 0, 0},
        {"format characters", 4, 0, 0, true, open4, open4, 1, 0},
        {"no summary file", 4, 0, 0, false, open4, "", 1, 0},
        {"summary-only code without summary file", 131, 0, 0, false, "\n", "", 1, 0},
        {"exit now", 52, 0, 1, true, step0 + "KESTA Terminated.\n", step0, 1, 52},
        {"exit now on a warning", 55, 0, 1, false, warn55, "", 0, 0},
    };
    for (const auto& c : cases) {
        error_record rec = record_for(c.code);
        rec.item = item;
        rec.file_name = file;
        rec.stop = c.stop;
        rec.exit_now = c.exit_now;
        const report_text r = reported(rec, c.to_summary);
        EXPECT_EQ(r.console, c.console) << "case " << c.name;
        EXPECT_EQ(r.summary, c.summary) << "case " << c.name;
        EXPECT_EQ(rec.stop, c.stop_after) << "case " << c.name;
        EXPECT_EQ(rec.code, c.code_after) << "case " << c.name;
    }
}

TEST(ErrorRecord, FailStoresTheMessageFieldsAndStopsAndClearForRunResetsTheRunState) {
    error_record rec;
    rec.summary_file = stdout;
    rec.exit_now = 1;
    rec.fail(71, "", kFile, 3, 40);
    EXPECT_EQ(rec.code, 71);
    EXPECT_EQ(rec.stop, 1);
    EXPECT_EQ(error_message(rec), "Index ID exceeds table limit, file: maps/basin 2.msk [row 3:col 40]\n");
    rec.clear_for_run();
    EXPECT_EQ((std::vector<int>{rec.code, rec.stop, rec.exit_now}), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rec.summary_file, nullptr);
}

}  // namespace
}  // namespace kesta
