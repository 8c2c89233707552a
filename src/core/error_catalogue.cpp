// The message catalogue: one row per piece of a message, a piece being either
// literal text or one field of the error record. A message is the pieces of its
// code in table order; the texts are the program's vocabulary and are kept
// exactly as users and post-processors have always seen them, typos included.
#include <string>

#include "core/error_record.hpp"

namespace kesta {
namespace {

enum class field { text, item, file_name, value1, value2 };

struct piece {
    int code;
    field ref;         // field::text: the piece is `text`; otherwise that field
    const char* text;  // empty for a field reference

    constexpr piece(int c, const char* t) : code(c), ref(field::text), text(t) {}
    constexpr piece(int c, field f) : code(c), ref(f), text("") {}
};

// Codes 128 and 129 have no message and so no rows.
constexpr piece kCatalogue[] = {
    {1, "Error: Can't open file debug.out\n"},
    {2, "Error: You must give the name of a valid KESTA project file as a command line\n"
        "argument.\n"},
    {3, "Error: The specified project file was not found.\n"},
    {4, "Error: Unable to open "},
    {4, field::item},
    {4, " file.\n"
        "  (File: "},
    {4, field::file_name},
    {4, ")\n"},
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
    {11, "Error: You have an error in your input due to one of the following:\n"
         "\n"
         " - You have not specified a precipitation card in your project file.\n"
         "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
         "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
         "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
         "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
         " - You have specified spatially-uniform rainfall with either a zero\n"
         "   rate or duration.  Please check that your rain rate in mm/h or\n"
         "   rain duration in minutes are both non-zero.\n"},
    {12, "Error: The number of X-windows plot ordinates "},
    {12, field::value1},
    {12, " is greater than the dimension of the array "},
    {12, field::value2},
    {12, "\n"},
    {13, "Error: The project file specifies X-Windows plotting, but does not specify what to plot.\n"
         "You must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n"},
    {14, "Warning: X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of channel flow depth, but does\n"
         "not specify a channel routing method card.  This plotting routine\n"
         "can only plot channel flow depth when using channel routing.  Plotting of\n"
         "channel flow depth disabled.\n"
         "You must include the one of the following cards: CHAN_EXPLIC to enable\n"
         "plotting of channel flow depth in an X-window.\n"
         "\n"},
    {15, "Error: The project file specifies X-Windows plotting, but does not specify how often to plot.\n"
         "You must include the following card: X_FREQ  N, where N is the plotting frequency.\n"},
    {16, "Warning: X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of infiltrated depth, but does\n"
         "not specify an infiltration method card.  This plotting routine\n"
         "currently only plots infiltrated depth when using the Green & Ampt or\n"
         "Green & Ampt with redistribution methods.  Plotting of infiltrated depth\n"
         "disabled.\n"
         "You must include the one of the following cards: INF_REDIST or GREEN_AMPT\n"
         "to enable plotting of infiltrated depth in an X-window.\n"
         "\n"},
    {17, "X-Windows Graphics Warning:\n"
         "The project file specifies X-Windows plotting of soil surface moisture, but\n"
         "does not specify an infiltration method card.  This plotting routine\n"
         "currently plots soil surface water content when using the Green & Ampt,\n"
         "Green & Ampt with redistribution or Richards Equation.  Plotting of soil\n"
         "surface water content disabled.\n"
         "You must include the one of the following cards: INF_REDIST, GREEN_AMPT\n"
         "or INF_RICHARDS to enable plotting of surface water content in an X-window.\n"
         "\n"},
    {18, "Error: The project file specifies both plotting of cumulative infiltrated depth via the\n"
         "XINFDEP card and plotting of soil surface water content via the XSURF card.\n"
         "Only one of the cards may be present in the project, because they are drawn\n"
         "in the same region of the X-Window.  Remove one of the cards.\n"},
    {19, "Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 pixels.\n"
         "These are the minimum values that allow legible plotting in the X-Window.  Make\n"
         "the values in your project file at least as large as these lower limits.\n"
         "Advanced apologies to those executing this program on a Palm Pilot.\n"},
    {20, "Error: For long-term simulations, you must specify the redistribution form\n"
         "of the Green and Ampt infiltration equation.  Redistribution requires\n"
         "values of pore distribution index and residual saturation in addition\n"
         "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n"
         "capillary head, porosity, and initial soil moisture content).\n"
         "\n"
         "Change the infiltration option to Green & Ampt with redistribution\n"
         "and specify the 6 required parameters.\n"},
    {21, "Error: Albedo values not specified for long term simulation. Check project file.\n"},
    {22, "Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {23, "Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {24, "Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {25, "Error: Wilting point values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {26, "Error: You have specified both Green and Ampt and multi-layered\n"
         "soil infiltration.  Please select only one in the \n"
         "project file.\n"},
    {27, "Error: You have specified both redistribution and multi-layered\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {28, "Error: You have specified both Green and Ampt and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {29, "Error: You have specified both Green and Ampt and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {30, "Error: You have specified both redistribution and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {31, "Error: You have specified both Layered Soil and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {32, "Error: Groundwater cell vertical grid size not specified in project file.\n"
         "If you are simulating the influence of the water table on Richards\n"
         "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n"},
    {33, "Error: You have chosen both Green and Ampt and Redististribution\n"
         "Choose one or the other and try again\n"},
    {34, "Error: Both the drain and backwater channel initialization methods have been\n"
         "selected.  Only one method may be specified. \n"},
    {35, "Error: card "},
    {35, field::item},
    {35, " of project file "},
    {35, field::file_name},
    {35, " chooses a channel routing that this program does not have.\n"
         "CHAN_EXPLIC is the channel routing this program has: select it instead.\n"},
    {36, "Error: Both the implicit and explicit channel routing methods have been\n"
         "selected.  Only one method may be specified. \n"},
    {37, "Error: Both the explicit and mesh channel routing methods have been\n"
         "selected.  Only one method may be specified.  Program terminated\n"},
    {38, "You have specified both spatially-varied and uniform porosity for\n"
         "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n"
         "project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {39, "Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\n"
         "groundwater soil without using both the gw_unif_porosity and\n"
         "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
         "same as those in the last layer of your soil input table.\n"},
    {40, "You have specified both spatially-varied and uniform hydraulic\n"
         "conductivity for groundwater soil using both the gw_unif_hycond and\n"
         "gw_hycond_map project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {41, "Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n"
         "conductivity for groundwater soil without using both the gw_unif_hycond\n"
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
    {47, "Error: Unable to open PEXLO data source "},
    {47, field::item},
    {47, ", "},
    {47, field::file_name},
    {47, ".\n"},
    {48, "Error: Can't open theta location output file: "},
    {48, field::file_name},
    {48, "\n"
         "You specify the name of the output file which will contain the soil moisture\n"
         "ordinates at the points specified in the file "},
    {48, field::item},
    {48, "\n"
         "This is done by using the OUT_THETA_LOCATION card in the project file.\n"},
    {49, "Error: Can't open concentration location output file: "},
    {49, field::item},
    {49, "\n"
         "You specify the name of the output file which will contain the concentration\n"
         "ordinates at the points specified in the file "},
    {49, field::file_name},
    {49, "\n"
         "This is done by using the OUT_CON_LOCATION card in the project file.\n"},
    {50, "Error: Can't open depth location output file: "},
    {50, field::item},
    {50, "\n"
         "You specify the name of the output file which will contain the depth\n"
         "ordinates at the points specified in the file "},
    {50, field::file_name},
    {50, "\n"
         "This is done by using the OUT_DEP_LOCATION card in the project file.\n"},
    {51, "Error: Can't open hydrograph location output file: "},
    {51, field::item},
    {51, "\n"
         "You specify the name of the output file which will contain the hydrograph\n"
         "ordinates at the points specified in the file "},
    {51, field::file_name},
    {51, "\n"
         "This is done by using the OUT_HYD_LOCATION card in the project file.\n"},
    {52, "Error: Time step is 0 seconds.\n"},
    {53, "Error: Time step is greater than 60 seconds.\n"},
    {54, "Error: The time step ("},
    {54, field::value1},
    {54, ") must be evenly divisible into 60 seconds.\n"},
    {55, "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"},
    {56, "Error: Outlet slope not specified.\n"},
    {57, "Error: Latitude and longitude of basin centroid required for long-term simulations.\n"
         "Specify these in the project file using keywords 'latitude' and 'longitude'\n"},
    {58, "Error: GMT time offset required for long-term simulations.\n"
         "Specify the offset in the project file using keyword 'GMT'\n"},
    {59, "Error: Can't open output file: "},
    {59, field::file_name},
    {59, "\n"},
    {60, "Error: Unable to open the PEXLO file "},
    {60, field::file_name},
    {60, " for output.\n"},
    {61, "Error: Unable to open output data set group "},
    {61, field::file_name},
    {61, " for writing in the grid "},
    {61, field::item},
    {61, " of the PEXLO file."},
    {62, "Error: Unable to create "},
    {62, field::file_name},
    {62, " map in the PEXLO file\n"},
    {63, "Error: Unable to open output data set group "},
    {63, field::file_name},
    {63, " for writing in the stream "},
    {63, field::item},
    {63, " of the PEXLO file."},
    {64, "Unable to open Mapping Table file: "},
    {64, field::file_name},
    {64, "\n"},
    {65, "Unable to open index file "},
    {65, field::file_name},
    {65, "\n"},
    {66, "Problem reading mapping table file -- no entries found in table "},
    {66, field::item},
    {66, " (NUM_IDS is 0)\n"},
    {67, "There is a problem with the wetlands index map.  It contains\n"},
    {67, field::value1},
    {67, " ID's, while the mapping table file contains "},
    {67, field::value2},
    {67, " ID's.\n"
         "The index map and mapping table file must have the same number\n"
         "of ID's. \n"},
    {68, "The number of wetland ids specified in the master table file \n"
         "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
         "dazed and confused state.  So many wetlands!\n"},
    {69, "Error reading the contaminant transport tables in the mapping table file.\n"},
    {70, "Unexpected end of file in file: "},
    {70, field::file_name},
    {70, "\n"},
    {71, "Index ID exceeds table limit, file: "},
    {71, field::file_name},
    {71, " [row "},
    {71, field::value1},
    {71, ":col "},
    {71, field::value2},
    {71, "]\n"},
    {72, "Incorrect number of rows and columns in map: "},
    {72, field::file_name},
    {72, "\n"},
    {73, "Incorrect number of rows in map: "},
    {73, field::file_name},
    {73, "\n"},
    {74, "Incorrect number of columns in map: "},
    {74, field::file_name},
    {74, "\n"},
    {75, "Error: There were "},
    {75, field::value1},
    {75, " errors trying to open the nutrient output files.\n"
         "The last error was: unable to open nutrient output file "},
    {75, field::file_name},
    {75, ".\n"},
    {76, "Error: unable to open the aquatic environment file "},
    {76, field::file_name},
    {76, ".\n"},
    {77, "Error: The header for the aquatic environment file is invalid or does not match \n"
         " the current version. \n"
         " The aquatic environment file specified is: "},
    {77, field::file_name},
    {77, "\n"
         " The header should be : "},
    {77, field::item},
    {78, "Error: An index ["},
    {78, field::value1},
    {78, "] in the aquatic environment table is greater than the\n"
         "number of IDs specified ["},
    {78, field::value2},
    {78, "]\n"},
    {79, "Error: The NUTRIENTS card in the project file must be specified before the "},
    {79, field::item},
    {79, " card\n"},
    {80, "Error: Unable to open the nutrient file "},
    {80, field::file_name},
    {80, "\n"},
    {81, "Error: Unable to open the overland Aquatic Environment map.\n"},
    {82, "Error: Unable to open the nutrient summary file\n"},
    {83, "Error: Unable to open the overland pump file\n"},
    {84, "Error: The OV_BOUNDARY card has been specified in the project file but the \n"
         "       OVERLAND_BOUNDARY table was not found...\n"},
    {85, "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev series name\"\n"
         "The elevation series is missing\n"},
    {86, "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n"
         " file is in the project file before the channel input file and that the elevation series is defined."},
    {87, "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE \"time series name\"\n"
         "The time series is missing\n"},
    {88, "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n"
         " file is in the project file before the channel input file and that the time series is defined."},
    {89, "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev series name\"\n"
         "The elevation series is missing\n"},
    {90, "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n"
         " file is in the project file before the channel input file and that the elevation series is defined."},
    {91, "Error: The number of sediments specified in the SEDIMENTS table is "},
    {91, field::value1},
    {91, " while the number of sediments \n"
         "specified in the SED_EROS_PROPS table is "},
    {91, field::value2},
    {91, ". The values must match.\n"},
    {92, "Error: Sediment transport specified but sediments table missing in the .cmt file.\n"},
    {93, "Error: Unable to read the soil erosion properties table from mapping table file\n"},
    {94, "Error: 0.0 values for roughness found. Check the roughness map/table\n"},
    {95, "Warning: There are no segments in the VQ segment map.\n"},
    {96, "Warning: The KESTA to VQ internal segment flux option is turned on\n"
         "But there are no segments in the VQ segment map or in the link-node to segment file.\n"},
    {97, "Error: In the VQ internal stream flux to segment file, some link/node pairs \n"
         "refer to a segment of 0 or a segment that is not in the segment map file.\n"},
    {98, "Error: Unable to open the VQ internal flux output file ["},
    {98, field::file_name},
    {98, "].\n"},
    {99, "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n"},
    {100, "Too many nodes (>50!) in one link in superlink.  Your network is too large.\n"},
    {101, "Too many superlinks (>1000!) in superlink.  Your network is too large.\n"},
    {102, "Error in creating radar mapping to grid.\n"},
    {103, "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n"},
    {104, "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n"},
    {105, "Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, CALIB_OBJ_FUNC are invalid.\n"},
    {106, "Error: Unable to calibration observed data file (CALIB_OBS_DATA) : "},
    {106, field::file_name},
    {106, ".\n"},
    {107, "Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n"},
    {108, "Error: Invalid NUM_LOCATIONS line in the observed data file. \n"
          "It should be the second line in the file.\n"},
    {109, "Error: Invalid NUM_DATA_POINTS line in the observed data file. \n"
          "It should be the third line in the file.\n"},
    {110, "Error: The number of output locations in the observed data file \n"
          "does not match the number of output locations in the outlet \n"
          "hydrograph file.\n"},
    {111, "Error: Invalid data line in the observed data file. Check file.\n"},
    {112, "Error: More event/daily values in the observed data file than specified by the NUM_DATA_POINTS value. Check file.\n"},
    {113, "Error: A location number is not valid in the observed data file. Check file.\n"},
    {114, "Error: Reached end of observed data file before finding all of the data values. Check file.\n"},
    {115, "Unable to open stream map file "},
    {115, field::file_name},
    {115, "\n"},
    {116, "Stream map file does not use correct header (file: "},
    {116, field::file_name},
    {116, ")\n"},
    {117, "NLINKS or MAXNODES card in stream map file does not match channel input file (file: "},
    {117, field::file_name},
    {117, ")\n"},
    {118, "Error reading data from stream map file. Check to make sure that the correct number of \n"
          "data points exist for each link. (file: "},
    {118, field::file_name},
    {118, ")\n"},
    {119, "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): "},
    {119, field::item},
    {119, "\n"},
    {120, "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): "},
    {120, field::item},
    {120, "\n"},
    {121, "Error: Unable to open the stream Aquatic Environment map.\n"},
    {122, "no convergence in culvert critical depth routine\n"},
    {123, "arch culverts not yet supported in subroutine crit_calc() \n"},
    {124, "Root must be bracketed in ZBRENT\n"},
    {125, "Error: The number of contaminants is not a positive value.\n"},
    {126, "Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n"},
    {127, "Error: Stream head boundary time series ("},
    {127, field::item},
    {127, ") can not be found. Check project file.\n"},
    {130, "Error: unable to open the nutrient summary file.\n"},
    {131, "Error: Pipe invert must be above the botth of the aquifer\n"},

};

// The rows of one code must be adjacent and the codes inside the catalogue.
constexpr bool rows_grouped_in_order() {
    int previous = 1;
    for (const piece& p : kCatalogue) {
        if (p.code < previous || p.code > kErrorCatalogueSize) return false;
        previous = p.code;
    }
    return true;
}
static_assert(rows_grouped_in_order(), "catalogue rows must be grouped by code, in order");

}  // namespace

std::string error_message(const error_record& rec) {
    std::string message;
    for (const piece& p : kCatalogue) {
        if (p.code < rec.code) continue;
        if (p.code > rec.code) break;
        switch (p.ref) {
            case field::text: message += p.text; break;
            case field::item: message += rec.item; break;
            case field::file_name: message += rec.file_name; break;
            case field::value1: message += std::to_string(rec.value1); break;
            case field::value2: message += std::to_string(rec.value2); break;
        }
    }
    return message;
}

}  // namespace kesta
