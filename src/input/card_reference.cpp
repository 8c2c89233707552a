// The card reference: one description per card id (its section, the unit of
// its value and one line of meaning), joined with the card table's keywords
// and value kinds. Synonyms share an id and so one row of the reference.
#include "input/card_reference.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "core/text_format.hpp"
#include "input/project_file.hpp"

namespace kesta {

namespace {

// What a card does in this build.
enum class card_status {
    used,
    ignored,    // read and ignored (its value may be printed)
    not_built,  // stored, but the process it serves is not part of this build
};

struct card_doc {
    int id;
    const char* section;
    const char* unit;     // of the value, or of the values of the file it names; "" for none
    const char* meaning;  // one line
    card_status status;
    const char* value;    // what the card takes when the card table's kind does not say it all; null otherwise
};

constexpr card_status U = card_status::used;
constexpr card_status I = card_status::ignored;
constexpr card_status N = card_status::not_built;

const char* const kRun = "Run control";
const char* const kSurface = "Grid and overland surface";
const char* const kRain = "Rainfall";
const char* const kSoil = "Soil and infiltration";
const char* const kWeather = "Weather and evapotranspiration";
const char* const kChannel = "Channels";
const char* const kDrains = "Storm and tile drains";
const char* const kGround = "Groundwater";
const char* const kOutput = "Output files";
const char* const kCalib = "Calibration and multi-run";
const char* const kCoupled = "Coupled models";
const char* const kSediment = "Sediment";
const char* const kContam = "Contaminants";
const char* const kNutrient = "Nutrients";
const char* const kGraphics = "X-Windows graphics";
const char* const kIgnored = "Read and ignored";

// The sections in the order the reference lists them.
const char* const kSections[] = {kRun,    kSurface, kRain,     kSoil,    kWeather, kChannel,
                                 kDrains, kGround,  kOutput,   kCalib,   kCoupled, kSediment,
                                 kContam, kNutrient, kGraphics, kIgnored};

const card_doc kDocs[] = {
    // Run control.
    {0, kRun, "", "0: elevations and GRIDSIZE are in metres. Another value is only noted in the summary (\"converted from feet to meters\"); nothing is converted.", U, nullptr},
    {1, kRun, "m", "Width of a grid cell.", U, nullptr},
    {2, kRun, "", "Rows of the grid; every input grid must have as many. ROWS x COLS is at most 100,000,000.", U, "whole number, 1 to 100000"},
    {3, kRun, "", "Columns of the grid; every input grid must have as many.", U, "whole number, 1 to 100000"},
    {4, kRun, "min", "Length of the run (a long-term run ends with its last event, at the latest this long after its start).", U, nullptr},
    {5, kRun, "s", "Model time step.", U, nullptr},
    {18, kRun, "s", "A time step for the whole run when it is smaller than TIMESTEP (values below 0.01 are not taken).", U, nullptr},
    {15, kRun, "", "With uniform rain (PRECIP_UNIF): the date the run and its rain begin. A run with a precipitation file begins with its first event.", U, "year month day"},
    {16, kRun, "", "With uniform rain: the time of day the run begins (24 0 is the end of the day).", U, "hour minute"},
    {17, kRun, "", "Date and time at which the run ends at the latest.", U, "year month day hour minute"},
    {12, kRun, "degrees", "Latitude of the watershed (north positive); long-term runs need it.", U, nullptr},
    {13, kRun, "degrees", "Longitude of the watershed (west positive); long-term runs need it.", U, nullptr},
    {14, kRun, "h", "Time zone of the weather data: hours from Greenwich (west negative, -7 for Mountain Standard Time); long-term runs need it.", U, nullptr},
    {189, kRun, "", "A long-term run: hourly weather (HMET_* card) and a precipitation file of several events; the overland flow is routed during the events.", U, nullptr},
    {228, kRun, "m3/s", "Long-term runs: an event ends once the outlet discharge has fallen below this (default 0.1; below 1e-5 it is 0.05).", U, nullptr},
    {194, kRun, "", "Time columns give the Julian day: in the outlet hydrograph of an event run instead of the elapsed minutes, in the series of a long-term run instead of the decimal year.", U, nullptr},
    {20, kRun, "", "Fewer lines on the console: no progress line per step, no messages of the overland and channel steps and no map file names. On a terminal one line, rewritten at most once a second, shows the date reached, the share of the run done, the time taken and an estimate of the time left.", U, nullptr},
    {222, kRun, "", "Fewer lines on the console: no reading messages but the name of the project file read, the list of mapping tables found and the count of cells per class of each index map, no progress line per step (on a terminal, unless STREAM_INFO, the one line of QUIET), no initialisation time or \"Running....\" line; warnings, errors, the run time and, without QUIET, the messages of the overland and channel steps still show. The summary file still gets every message.", U, nullptr},
    {218, kRun, "", "After a fatal error, wait for a key before the program ends.", U, nullptr},
    {240, kRun, "", "Flush the console after every this many progress lines.", U, nullptr},
    {221, kRun, "", "Each progress line also gives the largest and smallest channel depths and discharges, with their nodes.", U, nullptr},
    {239, kRun, "", "Meant to thin the console output.", N, nullptr},
    {296, kRun, "", "Meant to set the number of threads; the program takes one thread per 65536 cells of a grid (per 1024 cells for the soil erosion, or per 2048 with lakes or a capacity formula other than the second, at most 4, and per about 1100 for the soil nutrients), at most as many as the machine has cores, or OMP_NUM_THREADS.", I, "whole number"},

    // Grid and overland surface.
    {47, kSurface, "", "The watershed mask: an integer grid, non-zero inside the watershed.", U, nullptr},
    {48, kSurface, "m", "Ground elevation grid; every cell from -100000 to 100000 m.", U, nullptr},
    {49, kSurface, "", "The mapping-table file: parameter tables per class of an index map (docs/inputs.md).", U, nullptr},
    {7, kSurface, "", "Grid row of the outlet cell (from 1, north to south).", U, nullptr},
    {8, kSurface, "", "Grid column of the outlet cell (from 1, west to east).", U, nullptr},
    {6, kSurface, "m/m", "Ground slope at the outlet cell, for the overland flow out of the grid there.", U, nullptr},
    {41, kSurface, "", "Overland flow scheme: 1 explicit (with its own sub-steps), 2 ADE (the default), 3 ADE with predictor-corrector.", U, "EXPLICIT, ADE or ADE-PC (or 1, 2, 3)"},
    {57, kSurface, "Manning's n", "Overland roughness: a map file, or, with no value, the ROUGHNESS table of the mapping-table file.", U, nullptr},
    {227, kSurface, "Manning's n", "One overland roughness for every cell (not with ROUGHNESS).", U, nullptr},
    {58, kSurface, "mm", "Retention depth of the surface: a map file, or with no value the RETENTION table. A number is taken as RETENTION, with a warning.", U, "file name, or nothing"},
    {236, kSurface, "mm", "One retention depth for every cell.", U, nullptr},
    {59, kSurface, "", "Area reduction of the cells: a map file, or with no value the AREA_REDUCTION table.", U, nullptr},
    {237, kSurface, "", "Meant to give one area reduction for every cell.", N, nullptr},
    {55, kSurface, "", "Canopy interception: storage and coefficient from STORAGE_CAPACITY and INTERCEPTION_COEFF, or from the INTERCEPTION table.", U, nullptr},
    {53, kSurface, "mm", "Map of the interception storage of the canopy.", U, nullptr},
    {54, kSurface, "", "Map of the interception coefficient.", U, nullptr},
    {61, kSurface, "", "Integer map of dikes: cells whose faces the overland flow does not cross.", U, nullptr},
    {62, kSurface, "", "Low-spot file: cells that store water in a depression (with DIKE_MAP).", U, nullptr},
    {63, kSurface, "", "Integer map of overland lakes. Refused with OV_CON_TRANS: the lakes keep no constituents.", U, nullptr},
    {64, kSurface, "", "The overland lake file: the levels of the lakes of OVERLAND_LAKE_MAP.", U, nullptr},
    {65, kSurface, "m", "Map of the initial overland water depth (an overland hotstart).", U, nullptr},
    {238, kSurface, "m", "Initial water surface elevation: every cell whose ground lies below it starts under water up to it.", U, nullptr},
    {219, kSurface, "", "Overland boundary conditions from the OVERLAND_BOUNDARY table of the mapping-table file. Refused with OV_CON_TRANS: the water crossing the boundary carries no constituents.", U, nullptr},
    {51, kSurface, "", "Meant to name a map of materials.", N, nullptr},
    {52, kSurface, "", "Meant to name a map of initial depths (use OV_INIT_DEPTH).", N, nullptr},
    {66, kSurface, "m", "Map of the ground elevations as the run leaves them, written when it ends; with SOIL_EROSION each step's net erosion and deposition lower or raise the ground the water flows over (a cell gives at most 1 m of its soil in a run; erosion beyond stops the run). A card that names no file is refused when the project file is read.", U, nullptr},
    {67, kSurface, "", "Meant to name a file of overland pumps (none are read, so the card also passes with OV_CON_TRANS).", N, nullptr},
    {135, kSurface, "m", "Overland hotstart map written at the end of the run: the depth of every cell, as a grid.", U, nullptr},

    // Rainfall.
    {30, kRain, "", "Uniform rain on every cell: RAIN_INTENSITY for RAIN_DURATION, from START_DATE and START_TIME.", U, nullptr},
    {32, kRain, "mm/h", "Intensity of the uniform rain.", U, nullptr},
    {33, kRain, "min", "Duration of the uniform rain.", U, nullptr},
    {31, kRain, "mm/h, mm", "The precipitation file: events of gauge rates, depths or accumulations, or radar files (docs/inputs.md).", U, nullptr},
    {34, kRain, "", "Gauges are interpolated by inverse distance squared (the default).", U, nullptr},
    {35, kRain, "", "Each cell takes the rain of its nearest gauge (Thiessen polygons).", U, nullptr},

    // Soil and infiltration.
    {21, kSoil, "", "Infiltration by Green and Ampt.", U, nullptr},
    {22, kSoil, "", "Infiltration by Green and Ampt with redistribution of the soil water between rains.", U, nullptr},
    {23, kSoil, "", "Green and Ampt infiltration through layered soils (SOIL_TYPE_MAP and SOIL_LAYER_INPUT_FILE).", U, nullptr},
    {24, kSoil, "", "Infiltration by the Richards equation in a column of soil nodes per cell.", U, nullptr},
    {196, kSoil, "", "With INF_REDIST: the wetted zone stops redistributing between events once the surface is dry.", U, nullptr},
    {68, kSoil, "cm/h", "Map of the saturated hydraulic conductivity (or, with no value, the GREEN_AMPT_INFILTRATION table).", U, nullptr},
    {69, kSoil, "cm", "Map of the capillary (wetting-front suction) head.", U, nullptr},
    {70, kSoil, "", "Map of the porosity.", U, nullptr},
    {71, kSoil, "", "Map of the pore distribution index.", U, nullptr},
    {72, kSoil, "", "Map of the residual water content.", U, nullptr},
    {73, kSoil, "", "Map of the initial soil water content (or, with no value, the GREEN_AMPT_INITIAL_SOIL_MOISTURE table).", U, nullptr},
    {74, kSoil, "", "Integer map of soil classes, for layered soils and the Richards equation.", U, nullptr},
    {75, kSoil, "cm, cm/h", "Soil layer table of each soil class (layered soils, Richards equation).", U, nullptr},
    {76, kSoil, "m", "Map of the water table elevation; every cell from -100000 to 100000 m.", U, nullptr},
    {244, kSoil, "m", "Depth of the soil column whose water is accounted (default 0.4).", U, "number from 0 to 1000"},
    {245, kSoil, "m", "Depth of the top layer of the soil water accounting.", U, "number from 0 to 1000"},
    {246, kSoil, "m", "Depth of the mixing layer: of the soil water accounting, and the soil's top layer that exchanges contaminants with the overland water.", U, "number from 0 to 1000"},
    {42, kSoil, "", "Richards equation: mean of the conductivities between nodes (default geometric).", U, "GEOMETRIC or ARITHMETIC"},
    {43, kSoil, "", "Richards equation: retention curves of Brooks and Corey, or of Havercamp.", U, "BROOKS or HAVERCAMP"},
    {44, kSoil, "", "Richards equation: condition at the top node (another word, or none, gives neither).", U, "GREEN_AMPT, AVERAGE or another word"},
    {247, kSoil, "", "Richards equation: weight of the upper node in the mean conductivity (default 1).", U, nullptr},
    {248, kSoil, "", "Richards equation: the change of water content a sub-step aims at (default 0.0025).", U, nullptr},
    {249, kSoil, "", "Richards equation: iterations of a sub-step (default 1).", U, nullptr},
    {250, kSoil, "m", "Richards equation with a water table: spacing of the nodes below the soil layers.", U, nullptr},
    {106, kSoil, "", "The Sacramento soil-moisture accounting file (README: Sacramento accounting).", U, nullptr},
    {216, kSoil, "", "The Sacramento outflow enters the channels shared also by the cells' topographic index.", U, nullptr},

    // Weather and evapotranspiration.
    {36, kWeather, "", "Hourly weather file in the NCDC Surface Airways layout.", U, nullptr},
    {37, kWeather, "", "Hourly weather file in the SAMSON layout.", U, nullptr},
    {38, kWeather, "", "Hourly weather file in the KVL layout (docs/inputs.md).", U, nullptr},
    {39, kWeather, "", "Evapotranspiration by Penman-Monteith (long-term runs need it or ET_CALC_DEARDORFF).", U, nullptr},
    {40, kWeather, "", "Bare-soil evaporation by Deardorff.", U, nullptr},
    {78, kWeather, "", "Map of the albedo (or, with no value, the EVAPOTRANSPIRATION table).", U, nullptr},
    {79, kWeather, "m", "Map of the vegetation height.", U, nullptr},
    {80, kWeather, "", "Map of the radiation transmission coefficient of the canopy.", U, nullptr},
    {81, kWeather, "s/m", "Map of the canopy (stomatal) resistance.", U, nullptr},
    {82, kWeather, "", "Map of the water content at the wilting point.", U, nullptr},
    {195, kWeather, "", "The canopy resistance follows the season (a factor by month and latitude).", U, nullptr},

    // Channels.
    {27, kChannel, "", "Explicit diffusive-wave routing of the channel network of CHANNEL_INPUT, tied to the cells by STREAM_CELL.", U, nullptr},
    {25, kChannel, "", "Implicit (Preissmann) channel routing, which this program does not have: the run stops with a message naming the card (CHAN_EXPLIC is the channel routing it has).", U, nullptr},
    {26, kChannel, "", "Implicit channel routing started by draining, which this program does not have: the run stops with a message naming the card.", U, nullptr},
    {28, kChannel, "", "Mesh channel routing, which this program does not have: the run stops with a message naming the card.", U, nullptr},
    {29, kChannel, "", "Implicit channel routing started by backwater, which this program does not have: the run stops with a message naming the card.", U, nullptr},
    {214, kChannel, "", "Channel cells are listed in the grid-stream file (STREAM_CELL); CHAN_EXPLIC sets it.", U, nullptr},
    {88, kChannel, "", "The channel input file: links, nodes, cross-sections and structures (docs/inputs.md); read only with CHAN_EXPLIC.", U, nullptr},
    {60, kChannel, "", "The grid-stream file: which channel nodes each stream cell holds (docs/inputs.md).", U, nullptr},
    {50, kChannel, "", "The stream mapping-table file: channel parameters per class of a stream index map.", U, nullptr},
    {92, kChannel, "", "Channel point sources and sinks: link, node and time series.", U, nullptr},
    {297, kChannel, "", "A file of time series (KESTA_TS ... END_TS), read where the card stands; point sources and boundaries name them.", U, "file name"},
    {298, kChannel, "", "A file of elevation series (KESTA_ES ... END_ES), read where the card stands.", U, "file name"},
    {232, kChannel, "", "Courant number the channel sub-steps keep to (default 0.2).", U, nullptr},
    {231, kChannel, "m3/s", "Inflow at the top node of every link that has no upstream link.", U, nullptr},
    {190, kChannel, "", "Channel water above the ground of its cell spills onto the cell.", U, nullptr},
    {192, kChannel, "", "Where a channel stands above the ground of its cell, water moves only from the cell into the channel, and only while the cell's water surface is at or above the channel's.", U, nullptr},
    {191, kChannel, "", "The depth of the outlet node is held at BOUND_DEPTH, or at the series BOUND_TS.", U, nullptr},
    {233, kChannel, "m", "Depth held at the outlet node with HEAD_BOUND.", U, nullptr},
    {234, kChannel, "m", "Name of the time series of the outlet depth with HEAD_BOUND.", U, "series name"},
    {193, kChannel, "", "Water seeps between streams and the aquifer through the stream bed (groundwater runs).", U, nullptr},
    {229, kChannel, "m/h", "Conductivity of the stream bed of every link, unless a link of the channel input gives its own K_RIVER (then each link takes its own).", U, nullptr},
    {230, kChannel, "m", "Thickness of the stream bed of every link, unless a link of the channel input gives its own K_RIVER (default 1).", U, nullptr},
    {94, kChannel, "m", "Channel hotstart to start from: the water surface of every channel node, as in a .dht file of WRITE_CHAN_HOTSTART.", U, nullptr},
    {95, kChannel, "m", "As EXPLIC_HOTSTART.", U, nullptr},
    {136, kChannel, "", "Channel hotstart written at the end of the run: the name with .dht (node water surfaces, m) and .qht (discharges, m3/s), a line for each computational node (n - 1 of a link of n input nodes); a node under a lake is written dry, and lake levels are not kept (a lake starts from INITWSE).", U, nullptr},
    {137, kChannel, "", "As WRITE_CHAN_HOTSTART.", U, nullptr},
    {215, kChannel, "", "Meant to say that the hotstart gives depths.", N, nullptr},
    {188, kChannel, "", "Meant to add the channel depth to the depth maps.", N, nullptr},
    {235, kChannel, "m", "Meant to give the thickness of channel lake beds (the channel input file's MLAKE cards give it).", N, nullptr},
    {89, kChannel, "", "Meant to name a links file.", N, nullptr},
    {90, kChannel, "", "Meant to name a nodes file.", N, nullptr},
    {91, kChannel, "", "Meant to name a cross-section table.", N, nullptr},
    {93, kChannel, "", "Meant to name a file of lake pumps.", N, nullptr},

    // Storm and tile drains.
    {96, kDrains, "", "The storm-sewer file: superjunctions, superlinks and their nodes and pipes (docs/inputs.md). Refused with OV_CON_TRANS: the drained water carries no constituents.", U, nullptr},
    {97, kDrains, "", "The grid-pipe file: which cells exchange water with which pipes (docs/inputs.md).", U, nullptr},
    {217, kDrains, "", "The pipes of a superlink are cut into computational pieces of about equal length.", U, nullptr},
    {173, kDrains, "m3/s", "Link/node dataset of the flow of every pipe.", U, nullptr},
    {174, kDrains, "m", "Link/node dataset of the head of every pipe node.", U, nullptr},
    {175, kDrains, "m3/s", "Link/node dataset of the tile drain flow (with tile pipes).", U, nullptr},

    // Groundwater.
    {197, kGround, "", "Saturated groundwater flow below the soil; only with WATER_TABLE.", U, nullptr},
    {77, kGround, "m", "Map of the aquifer bottom elevation; every cell from -100000 to 100000 m.", U, nullptr},
    {99, kGround, "", "Integer map of the groundwater boundary type of each cell.", U, nullptr},
    {98, kGround, "", "Table of groundwater flux boundaries.", U, nullptr},
    {100, kGround, "", "Map of the aquifer porosity.", U, nullptr},
    {263, kGround, "", "One aquifer porosity for every cell.", U, nullptr},
    {101, kGround, "cm/h", "Map of the aquifer hydraulic conductivity.", U, nullptr},
    {264, kGround, "cm/h", "One aquifer hydraulic conductivity for every cell.", U, nullptr},
    {258, kGround, "s", "Groundwater time step; required with GW_SIMULATION.", U, nullptr},
    {257, kGround, "", "Read and no longer used (it set the direction of the former line sweeps of the groundwater solver); a run that gives it says so once.", U, nullptr},
    {259, kGround, "m", "Read and no longer used (it was the tolerance of the former line sweeps); the groundwater heads are solved until the water they leave unbalanced is negligible. A run that gives it says so once.", U, nullptr},
    {262, kGround, "", "Read and no longer used (it was the relaxation of the former line sweeps); a run that gives it says so once.", U, nullptr},
    {261, kGround, "cm/h", "Leakage rate through the aquifer bottom.", U, nullptr},
    {260, kGround, "", "Water content of the unsaturated zone above the water table, as a fraction of the porosity (default 0.75); with GW_SIMULATION and the soil accounting of INF_REDIST or INF_LAYERED_SOIL, the soil between the accounting stores and the table holds the aquifer's porosity times it, and trades that water with the aquifer as the table or the ground moves.", U, nullptr},
    {148, kGround, "", "File of the well locations whose levels GW_WELL_LEVEL writes.", U, nullptr},
    {102, kGround, "m", "Output file of the water levels at the wells of OUT_WELL_LOCATION.", U, nullptr},
    {170, kGround, "m", "Groundwater head maps at the map interval (with GW_SIMULATION): with MAP_TYPE 0 the folder of the grid files (gw_head.0001.asc ...), which must exist; else the dataset file.", U, nullptr},
    {198, kGround, "", "Meant to set the soil water from the groundwater.", N, nullptr},
    {220, kGround, "", "Meant to switch wells on (the WELL_TABLE of the mapping-table file gives them).", N, nullptr},

    // Output files.
    {127, kOutput, "", "The summary file: start-up messages, each event's water balance and warnings.", U, nullptr},
    {128, kOutput, "m3/s", "The outlet hydrograph: time and discharge every HYD_FREQ.", U, nullptr},
    {129, kOutput, "m3/s", "A second outlet hydrograph with six decimals.", U, nullptr},
    {19, kOutput, "", "Discharges are written in cubic feet per second.", U, nullptr},
    {9, kOutput, "min", "Interval of the hydrographs, series and link/node datasets (default 60).", U, nullptr},
    {10, kOutput, "min", "Interval of the maps (default 360).", U, nullptr},
    {11, kOutput, "", "Format of the maps: 0 ESRI ASCII grids, one file per map and time; 1 ASCII datasets; 2 binary datasets; 4 (PEXLO datasets) is refused.", U, "0, 1, 2 or 4"},
    {150, kOutput, "m", "Overland water depth maps: with MAP_TYPE 0 the folder of the grid files (depth.0001.asc ...), which must exist; else the dataset file.", U, nullptr},
    {149, kOutput, "m3/s", "Overland discharge maps (folder or dataset, as DEPTH).", U, nullptr},
    {154, kOutput, "mm/h", "Rainfall rate maps (folder or dataset, as DEPTH).", U, nullptr},
    {151, kOutput, "m", "Infiltrated depth maps (folder or dataset, as DEPTH).", U, nullptr},
    {153, kOutput, "cm/h", "Infiltration rate maps (folder or dataset, as DEPTH).", U, nullptr},
    {152, kOutput, "", "Surface soil moisture maps (folder or dataset, as DEPTH).", U, nullptr},
    {171, kOutput, "m", "Dataset of the largest overland depth of every cell, written at the end of the run (MAP_TYPE 1 or 2).", U, nullptr},
    {155, kOutput, "m", "Link/node dataset of the depth of every channel node.", U, nullptr},
    {157, kOutput, "m3/s", "Link/node dataset of the discharge of every channel node.", U, nullptr},
    {158, kOutput, "m", "Link/node dataset of the water surface elevation of every channel node.", U, nullptr},
    {159, kOutput, "m/s", "Link/node dataset of the velocity of every channel node.", U, nullptr},
    {172, kOutput, "m", "Link/node dataset of the largest depth of every channel node, written at the end of the run.", U, nullptr},
    {138, kOutput, "", "File of the link and node locations of discharge hydrographs.", U, nullptr},
    {139, kOutput, "m3/s", "Output file of the discharge at the IN_HYD_LOCATION locations.", U, nullptr},
    {145, kOutput, "m", "Output file of the channel depth at the IN_HYD_LOCATION locations.", U, nullptr},
    {140, kOutput, "", "File of the cells (and soil nodes) whose soil moisture is written.", U, nullptr},
    {141, kOutput, "", "Output file of the soil moisture at the IN_THETA_LOCATION cells.", U, nullptr},
    {132, kOutput, "m, m3", "Output file of the level and volume of every channel lake.", U, nullptr},
    {130, kOutput, "m3/s", "Hydrograph file for the graphical product, written at the end of the run from the outlet and location hydrographs.", U, nullptr},
    {131, kOutput, "", "Meant to name a file of cell hydrographs.", N, nullptr},
    {133, kOutput, "", "Meant to name a daily output file.", N, nullptr},
    {160, kOutput, "", "Meant to name a discharge profile.", N, nullptr},
    {161, kOutput, "", "Meant to name a discharge profile output.", N, nullptr},
    {162, kOutput, "", "Meant to name a water surface profile.", N, nullptr},
    {164, kOutput, "", "Meant to name a water surface profile output.", N, nullptr},

    // Calibration and multi-run.
    {299, kCalib, "", "The replacement parameter file: the [NAME] placeholders and their formats (docs/inputs.md). Must come before REPLACE_VALS.", U, "file name"},
    {300, kCalib, "", "The line of the value file to use, from 1 (the batch mode sets it per run). Must come before REPLACE_VALS.", U, "whole number, 1 or more"},
    {301, kCalib, "", "The value file: its selected line replaces the placeholders in every line read after this card.", U, "file name"},
    {302, kCalib, "", "Folder for the numbered outputs of a multi-run.", U, "folder name"},
    {117, kCalib, "", "File of the peak and volume of every event, written for calibration (default kesta_optim.out).", U, nullptr},
    {45, kCalib, "", "Meant to choose daily or event comparison; another word stops the run.", N, "DAILY or EVENT"},
    {46, kCalib, "", "Meant to choose the objective function; another word stops the run.", N, "RMSE or HMLE"},
    {118, kCalib, "", "Meant to name the observations (the calibration control file names them).", N, nullptr},
    {119, kCalib, "", "Analyzer definition file: each line watches the depth, area or flow (2DS) or a contaminant's dissolved concentration or mass, point-source concentration, or what the stream cells and the aquifer gave (1DS) of the channel nodes and reports the nodes that pass a test.", U, nullptr},
    {120, kCalib, "", "Meant to name a source file.", N, nullptr},

    // Coupled models.
    {199, kCoupled, "", "The run is one event of a land-management framework, which calls it through the exchange/ folder; needs OLMA.", U, nullptr},
    {274, kCoupled, "", "The framework's event number (no number: none chosen, which stops the run).", U, "whole number, or nothing"},
    {107, kCoupled, "", "Exchange file of the ecological model, in the exchange/ folder (with HTP).", U, nullptr},
    {200, kCoupled, "", "The grids from the ecological model are read at the start of the run, before its event.", U, nullptr},
    {121, kCoupled, "", "Soil moisture grid from the ecological model.", U, nullptr},
    {122, kCoupled, "", "Conductivity grid from the ecological model.", U, nullptr},
    {123, kCoupled, "", "Roughness grid from the ecological model.", U, nullptr},
    {181, kCoupled, "", "Soil moisture grid to the ecological model.", U, nullptr},
    {182, kCoupled, "", "Conductivity grid to the ecological model.", U, nullptr},
    {183, kCoupled, "", "Roughness grid to the ecological model.", U, nullptr},
    {184, kCoupled, "", "Porosity grid to the ecological model.", U, nullptr},
    {124, kCoupled, "", "Meant to name an erosivity grid from the ecological model.", N, nullptr},
    {125, kCoupled, "", "Meant to name a crop factor grid from the ecological model.", N, nullptr},
    {126, kCoupled, "", "Meant to name an evapotranspiration demand grid from the ecological model.", N, nullptr},
    {185, kCoupled, "", "Meant to name an erosivity grid to the ecological model.", N, nullptr},
    {186, kCoupled, "", "Meant to name a crop factor grid to the ecological model.", N, nullptr},
    {187, kCoupled, "", "Meant to name a net erosion grid to the ecological model.", N, nullptr},
    {108, kCoupled, "m3/s", "Inflow file of the reservoir model: day of the year and outlet discharge every HYD_FREQ.", U, nullptr},
    {109, kCoupled, "", "The channel nodes that feed the reservoir model's segments: a pair count, then link, node and segment a line (VQ_FLUXES).", U, nullptr},
    {110, kCoupled, "", "Map of the reservoir model's segment of every cell, 0 for none (VQ_FLUXES).", U, nullptr},
    {111, kCoupled, "m3/s", "The reservoir model's segment fluxes: each segment's mean inflow every HYD_FREQ (VQ_FLUXES).", U, nullptr},
    {223, kCoupled, "", "Writes the reservoir model's segment fluxes from the flow over land and in the channels into each segment.", U, nullptr},
    {112, kCoupled, "", "Meant to name a PEXLO file.", N, nullptr},
    {113, kCoupled, "", "Grids from a PEXLO file, which this build cannot read: the run stops.", U, nullptr},
    {114, kCoupled, "", "Meant to name the PEXLO stream base.", N, nullptr},
    {115, kCoupled, "", "Meant to name a PEXLO dataset group.", N, nullptr},
    {116, kCoupled, "", "Meant to set the PEXLO compression.", N, nullptr},

    // Sediment: overland erosion and, with channel routing, channel sediment.
    {251, kSediment, "", "Overland soil erosion and sediment transport by particle size class, the classes from the SEDIMENTS table and the soil from the SOIL_EROSION_PROPS table of MAPPING_TABLE; the value chooses the transport-capacity formula; 10 more (11 to 16) carries the classes as constituents instead, which no sediment routine moves and which need no SOIL_EROSION_PROPS table (docs/inputs.md). With channel routing the channels carry the fine classes as wash load and the sand classes on the bed of their erodible links (TRAP_ERODE, BREAK_ERODE; a network without one is refused).", U, "1 to 6, 11 to 16"},
    {83, kSediment, "", "Map of the soil erodibility.", N, nullptr},
    {84, kSediment, "", "Map of the crop management factor.", N, nullptr},
    {85, kSediment, "", "Map of the conservation practice factor.", N, nullptr},
    {86, kSediment, "", "Map of the sand fraction.", N, nullptr},
    {87, kSediment, "", "Map of the silt fraction.", N, nullptr},
    {252, kSediment, "mm", "A sediment class of at least this diameter is sand: what reaches a channel-network lake settles at its edge, and in the channels it moves on the bed by Yang's formula for sand of this diameter (above 0 with channel routing).", U, nullptr},
    {253, kSediment, "", "Silt particle size.", N, nullptr},
    {254, kSediment, "", "Clay particle size.", N, nullptr},
    {255, kSediment, "degrees C", "Water temperature of the settling velocities and of the nutrient reactions, at most 100 (below 0 counts as 0).", U, nullptr},
    {256, kSediment, "", "Porosity of the channel bed sand (0 or more, below 1): the bed of an erodible link holds 1 - porosity of sand over its erodible depth (MAX_EROSION of the channel input file).", U, nullptr},
    {165, kSediment, "m3", "Maps of the volume of sediment in suspension on each cell.", U, nullptr},
    {166, kSediment, "cm3/s", "Maps of the sediment leaving each cell in the last overland step.", U, nullptr},
    {167, kSediment, "mm", "Maps of the net deposition on each cell since the run began, as a depth (erosion negative).", U, nullptr},
    {168, kSediment, "g/m3", "Series of the wash-load concentration at the channel outlet (with channel routing).", U, nullptr},
    {169, kSediment, "m3/s", "Series of the sediment leaving at the outlet (ft3/s with QOUT_CFS): over land, all classes; with channel routing, through the channel outlet in the last channel step, one column per fine class, then per sand class (the sand the beds start with has no class and is in no column). A run with SOIL_EROSION below 10 must name it.", U, nullptr},
    {142, kSediment, "", "Channel nodes of the sediment series (with channel routing): a count, then one \"link node\" pair per node of an open channel; OUT_SED_LOC must be given with it.", U, nullptr},
    {143, kSediment, "m3/s", "Sediment discharge through the downstream face of each IN_SED_LOC node, one column per fine class, then per sand class (ft3/s with QOUT_CFS; the sand the beds start with has no class and is in no column); the file starts with the list of nodes.", U, nullptr},
    {144, kSediment, "g/m3", "Wash-load concentration at each IN_SED_LOC node.", U, nullptr},
    {156, kSediment, "", "Link/node dataset of each channel node's sediment discharge (m3/s x 1e6, all classes) summed over the output times of the run (with SOIL_EROSION; its blocks take the numbers of the CHAN_DEPTH dataset's).", U, nullptr},
    {134, kSediment, "m3", "Table of the sediment the stream cells gave the channels over the run (with channel routing; a run without channel sediment says so among its warnings and writes nothing), appended to the file when the run ends: per sediment class one line of \"%6.2lf \" values, node by node of links 1, 2, ..., then a dashed line, so that each run of a series adds its table.", U, nullptr},

    // Contaminants.
    {201, kContam, "", "Contaminant transport in the channels and the channel-network lakes (with OV_CON_TRANS or NUTRIENTS, and CHAN_EXPLIC routing): the stream cells, point sources and the aquifer give or take their constituents, the network routes and disperses them to the outlet, they decay in the nodes and lakes, and the summary closes the channel, lake and whole-basin balances. A contaminant with an output name in the CONTAMINANT_TRANSPORT table gets two link/node datasets, that name followed by .chan.conc (g/m3) and by .chan.mass (g). Needed by OV_CON_TRANS and NUTRIENTS with channel routing.", U, nullptr},
    {202, kContam, "", "Contaminant transport over land: one contaminant from the OV_* cards, or those of the CONTAMINANT_TRANSPORT table of the mapping-table file. With channel routing it needs CHAN_CON_TRANS and CHAN_EXPLIC routing. Refused with overland lakes (OVERLAND_LAKE_MAP), OV_BOUNDARY and STORM_SEWER, whose water would move without its constituents. OV_PUMP passes: its pumps move no water. With NUTRIENTS the nutrient species follow the contaminants' slots.", U, nullptr},
    {204, kContam, "", "Contaminants in the soil layers (with OV_CON_TRANS and Green and Ampt infiltration of any kind): leaching, decay, exchange with the surface water. With NUTRIENTS the soil layers hold the thirteen soil pools of the nutrient library (see NUTRIENTS).", U, nullptr},
    {205, kContam, "", "The soil layers keep their contaminant masses; the soil balance then shows what that implies.", U, nullptr},
    {206, kContam, "", "Contaminants bind to the suspended fine sediment of SOIL_EROSION (by the PARTITION of the CONTAMINANT_TRANSPORT table), over land and, with CHAN_CON_TRANS, in the channels and lakes; the nutrient species of NUTRIENTS stay dissolved.", U, nullptr},
    {203, kContam, "", "Every contaminant output.", N, nullptr},
    {103, kContam, "kg per cell (mg/kg with SOIL_CON_TRANS)", "Map of the land load of the first contaminant: from 0 to 1e4 kg per m2 of the cell (1e6 mg/kg, the soil itself, with SOIL_CON_TRANS).", U, nullptr},
    {104, kContam, "m3/s, g/m3", "Time series of cell point sources of water and contaminants (docs/inputs.md).", U, nullptr},
    {105, kContam, "g/m3", "Maps of the overland concentration of the first contaminant (with OV_CON_TRANS).", U, nullptr},
    {146, kContam, "g/m3", "Concentration of every contaminant in the channels at each IN_HYD_LOCATION node, location by location (with CHAN_CON_TRANS).", U, nullptr},
    {147, kContam, "g/s", "Dissolved mass flux of every contaminant through the downstream face of each IN_HYD_LOCATION node, location by location (with CHAN_CON_TRANS); with SEDIMENT_CONTAM each followed by the flux attached to the wash load.", U, nullptr},
    {265, kContam, "1/day", "First-order decay of the contaminants in the channels and the channel-network lakes.", U, nullptr},
    {266, kContam, "m2/s", "Dispersion coefficient of the contaminants along the channels, and of the nutrient species on the links the DISPERSION table of ST_MAPPING_TABLE does not give (from 0 to 2000, the most a river has; so are the values of that table).", U, nullptr},
    {267, kContam, "g/m3", "Initial concentration of every contaminant in the channel-network lakes and in the channel nodes that hold water at the first channel step (from 0 to 1e6 g/m3, what a cubic metre of water weighs).", U, "number"},
    {268, kContam, "1/day", "Decay coefficient of the uniform contaminant, over land and in the soil.", U, nullptr},
    {269, kContam, "m2/s", "Overland dispersion coefficient of the uniform contaminant, and of the sediment classes carried as constituents (from 0 to 100: water over land disperses no more).", U, nullptr},
    {270, kContam, "m/day", "Rate of exchange of the uniform contaminant between the overland water and the mixing layer.", U, nullptr},
    {271, kContam, "", "The exchange with the mixing layer and the decay run every this many constituent steps (a whole number, default 1).", U, nullptr},
    {272, kContam, "kg per cell (mg/kg with SOIL_CON_TRANS)", "Land load of the uniform contaminant: from 0 to 1e4 kg per m2 of the cell (1e6 mg/kg, the soil itself, with SOIL_CON_TRANS).", U, nullptr},
    {273, kContam, "", "pH of the water the nutrients react in, over land, in streams and in lakes (default 7.2, from 0 to 14); sets the share of ammonium that is un-ionised ammonia.", U, nullptr},
    {275, kContam, "", "Sorption constant Km of NO2.", N, "number"},
    {276, kContam, "", "Sorption constant Km of NO3.", N, "number"},
    {277, kContam, "", "Sorption constant Km of NH4.", N, "number"},
    {278, kContam, "", "Sorption constant Km of organic N.", N, "number"},
    {279, kContam, "", "Sorption constant Km of organic P.", N, "number"},
    {280, kContam, "", "Sorption constant Km of dissolved P.", N, "number"},
    {281, kContam, "", "Sorption constant Koc of NO2.", N, "number"},
    {282, kContam, "", "Sorption constant Koc of NO3.", N, "number"},
    {283, kContam, "", "Sorption constant Koc of NH4.", N, "number"},
    {284, kContam, "", "Sorption constant Koc of organic N.", N, "number"},
    {285, kContam, "", "Sorption constant Koc of organic P.", N, "number"},
    {286, kContam, "", "Sorption constant Koc of dissolved P.", N, "number"},

    // Nutrients: the species are carried by the water over land, in the
    // channels and in the soil, and react in the water and, as the soil
    // pools, in the soil. NUTRIENTS must come before every other nutrient
    // card.
    {303, kNutrient, "", "Nutrient simulation: nine species (NO2, NO3, NH4, organic N and P, dissolved P, algae, CBOD, dissolved oxygen) are carried by the water over land and, with CHAN_CON_TRANS, in the channels and lakes, with the rain's concentrations (PRECIP_CONC of the ZEP_N, ZEP_P and ZEP_OTH tables), and react in it; what infiltrates leaves the model, except with SOIL_CON_TRANS: the soil layers then hold the library's thirteen soil pools (organic active and stable carbon, ammonium, nitrate, organic active, fresh and stable nitrogen, mineral active, solution and stable phosphorus, organic active, fresh and stable phosphorus), which start from the library's initial pools for each layer's depth (and from the tables of SOILS_ZEP_N, SOILS_ZEP_P and SOILS_ZEP_C), react in the library at the soil water's interval and leach with the water in their dissolved share; infiltrating NO3, NH4, ON, OP and DP join the soil's nitrate, ammonium, organic active nitrogen, organic active phosphorus and solution phosphorus, the other species leave the model, and pore water rising to the surface gives those five pools back to their species. With WATER_TABLE the ZEP_GW_N (NO2, NO3, NH4, ON), ZEP_GW_P (OP, DP) and ZEP_GW_OTH (CBOD, DO) tables give the groundwater's concentrations. Every concentration of a species (or of dissolved organic carbon) given by a card, a table, a map or a point source lies from 0 to 1e6 g/m3, what a cubic metre of water weighs. Channel routing needs CHAN_EXPLIC and CHAN_CON_TRANS; not with OVERLAND_LAKE_MAP, OV_BOUNDARY, OV_PUMP or STORM_SEWER. With SEDIMENT_CONTAM the contaminants bind to the eroded sediment and the nutrient species stay dissolved. Must come before the other nutrient cards.", U, "none"},
    {304, kNutrient, "", "The aquatic environment file: rate constants by environment id and the overland (OV_MAP) and stream (ST_MAP) id maps.", U, "file name"},
    {305, kNutrient, "", "Initial overland NO2: nothing (the mapping table), a number or a map file.", U, "nothing, a number or a file name"},
    {306, kNutrient, "", "Initial overland NO3 (as OV_INIT_NO2).", U, "nothing, a number or a file name"},
    {307, kNutrient, "", "Initial overland NH4.", U, "nothing, a number or a file name"},
    {308, kNutrient, "", "Initial overland organic N.", U, "nothing, a number or a file name"},
    {309, kNutrient, "", "Initial overland organic P.", U, "nothing, a number or a file name"},
    {310, kNutrient, "", "Initial overland dissolved P.", U, "nothing, a number or a file name"},
    {311, kNutrient, "", "Initial overland algae.", U, "nothing, a number or a file name"},
    {312, kNutrient, "", "Initial overland CBOD.", U, "nothing, a number or a file name"},
    {313, kNutrient, "", "Initial overland dissolved oxygen.", U, "nothing, a number or a file name"},
    {315, kNutrient, "", "Initial overland dissolved organic carbon.", N, "nothing, a number or a file name"},
    {316, kNutrient, "", "Overland fraction of organic carbon.", N, "nothing, a number or a file name"},
    {317, kNutrient, "m2/s", "Overland dispersion coefficient of the nutrient species: nothing (the DISPERSION table), a number or a map file; from 0 to 100.", U, "nothing, a number or a file name"},
    {318, kNutrient, "", "Initial stream NO2: nothing (the ZEP_N table of the ST_MAPPING_TABLE file), a number, or a STREAM_MAP file of one value per link.", U, "nothing, a number or a file name"},
    {319, kNutrient, "", "Initial stream NO3 (as ST_INIT_NO2).", U, "nothing, a number or a file name"},
    {320, kNutrient, "", "Initial stream NH4.", U, "nothing, a number or a file name"},
    {321, kNutrient, "", "Initial stream organic N.", U, "nothing, a number or a file name"},
    {322, kNutrient, "", "Initial stream organic P.", U, "nothing, a number or a file name"},
    {323, kNutrient, "", "Initial stream dissolved P.", U, "nothing, a number or a file name"},
    {324, kNutrient, "", "Initial stream algae.", U, "nothing, a number or a file name"},
    {325, kNutrient, "", "Initial stream CBOD.", U, "nothing, a number or a file name"},
    {326, kNutrient, "", "Initial stream dissolved oxygen.", U, "nothing, a number or a file name"},
    {327, kNutrient, "g, g/m3", "Overland maps of NO2 at the map interval: the mass (g) and the concentration (g/m3) of each cell's water, as the datasets (or folders of numbered grids) named by the value followed by .mass and by .conc.", U, "file name"},
    {328, kNutrient, "g, g/m3", "Overland maps of NO3 (as OUT_OV_NO2).", U, "file name"},
    {329, kNutrient, "g, g/m3", "Overland maps of NH4 (as OUT_OV_NO2).", U, "file name"},
    {330, kNutrient, "g, g/m3", "Overland maps of organic N (as OUT_OV_NO2).", U, "file name"},
    {331, kNutrient, "g, g/m3", "Overland maps of organic P (as OUT_OV_NO2).", U, "file name"},
    {332, kNutrient, "g, g/m3", "Overland maps of dissolved P (as OUT_OV_NO2).", U, "file name"},
    {333, kNutrient, "g, g/m3", "Overland maps of algae (as OUT_OV_NO2).", U, "file name"},
    {334, kNutrient, "g, g/m3", "Overland maps of CBOD (as OUT_OV_NO2).", U, "file name"},
    {335, kNutrient, "g, g/m3", "Overland maps of dissolved oxygen (as OUT_OV_NO2).", U, "file name"},
    {336, kNutrient, "g, g/m3", "Link/node datasets of NO2 in the channels at the map interval (with channel routing): the mass (g, type 8) and the concentration (g/m3, type 17) of the water of every node and channel-network lake, in the files named by the value followed by .mass and by .conc.", U, "file name"},
    {337, kNutrient, "g, g/m3", "Link/node datasets of NO3 in the channels (as OUT_ST_NO2; types 9 and 18).", U, "file name"},
    {338, kNutrient, "g, g/m3", "Link/node datasets of NH4 in the channels (as OUT_ST_NO2; types 10 and 19).", U, "file name"},
    {340, kNutrient, "g, g/m3", "Link/node datasets of organic N in the channels (as OUT_ST_NO2; types 11 and 20).", U, "file name"},
    {341, kNutrient, "g, g/m3", "Link/node datasets of organic P in the channels (as OUT_ST_NO2; types 12 and 21).", U, "file name"},
    {342, kNutrient, "g, g/m3", "Link/node datasets of dissolved P in the channels (as OUT_ST_NO2; types 13 and 22).", U, "file name"},
    {343, kNutrient, "g, g/m3", "Link/node datasets of algae in the channels (as OUT_ST_NO2; types 14 and 23).", U, "file name"},
    {344, kNutrient, "g, g/m3", "Link/node datasets of CBOD in the channels (as OUT_ST_NO2; types 15 and 24).", U, "file name"},
    {345, kNutrient, "g, g/m3", "Link/node datasets of dissolved oxygen in the channels (as OUT_ST_NO2; types 16 and 25).", U, "file name"},
    {346, kNutrient, "", "Outlet hydrographs of NO2: the name + \".conc\" receives at every output time the time and the concentration (g/m3) at the channel outlet (the last node of the last link, or the lake holding it), the name + \".mass\" the mass there (g). A run without channel routing writes neither and says so among its warnings.", U, "file name"},
    {347, kNutrient, "", "Outlet hydrographs of NO3 (as OUT_HYD_NO2).", U, "file name"},
    {348, kNutrient, "", "Outlet hydrographs of NH4 (as OUT_HYD_NO2).", U, "file name"},
    {349, kNutrient, "", "Outlet hydrographs of Organic N (as OUT_HYD_NO2).", U, "file name"},
    {350, kNutrient, "", "Outlet hydrographs of Organic P (as OUT_HYD_NO2).", U, "file name"},
    {351, kNutrient, "", "Outlet hydrographs of Dissolved P (as OUT_HYD_NO2).", U, "file name"},
    {352, kNutrient, "", "Outlet hydrographs of Algae (as OUT_HYD_NO2).", U, "file name"},
    {353, kNutrient, "", "Outlet hydrographs of CBOD (as OUT_HYD_NO2).", U, "file name"},
    {354, kNutrient, "", "Outlet hydrographs of Dissolved oxygen (as OUT_HYD_NO2).", U, "file name"},
    {224, kNutrient, "", "With NUTRIENTS and SOIL_CON_TRANS the ZEP_SOIL_P table of the mapping-table file gives the top soil layer's mineral active, solution and stable and organic active, fresh and stable phosphorus (kg per cell).", U, nullptr},
    {225, kNutrient, "", "With NUTRIENTS and SOIL_CON_TRANS the ZEP_SOIL_C table of the mapping-table file gives the top soil layer's organic active and stable carbon (kg per cell).", U, nullptr},
    {226, kNutrient, "", "With NUTRIENTS and SOIL_CON_TRANS the ZEP_SOIL_N table of the mapping-table file gives the top soil layer's ammonium, nitrate and organic active, fresh and stable nitrogen (kg per cell).", U, nullptr},
    {176, kNutrient, "g", "Maps of the total overland nitrogen (NO2 + NO3 + NH4 + organic N) of each cell's water at the map interval: the dataset named by the value, or with MAP_TYPE 0 the folder of its numbered grids.", U, nullptr},
    {177, kNutrient, "g", "Maps of the total overland phosphorus (organic P + dissolved P) of each cell's water at the map interval: the dataset named by the value, or with MAP_TYPE 0 the folder of its numbered grids.", U, nullptr},
    {178, kNutrient, "g", "Link/node dataset of the total nitrogen (NO2 + NO3 + NH4 + organic N, type 28) of the water of every channel node and channel-network lake at the map interval (with channel routing), in the file named by the value.", U, nullptr},
    {179, kNutrient, "g", "Link/node dataset of the total Kjeldahl nitrogen (NH4 + organic N, type 29) of every channel node and lake (as TOTAL_CHAN_N).", U, nullptr},
    {180, kNutrient, "g", "Link/node dataset of the total phosphorus (organic P + dissolved P, type 30) of every channel node and lake (as TOTAL_CHAN_N).", U, nullptr},

    // X-Windows graphics: not part of this build.
    {207, kGraphics, "", "Plots in an X window.", N, nullptr},
    {208, kGraphics, "", "Plot the rainfall.", N, nullptr},
    {209, kGraphics, "", "Plot the depths.", N, nullptr},
    {210, kGraphics, "", "Plot the infiltrated depths.", N, nullptr},
    {211, kGraphics, "", "Plot the channels.", N, nullptr},
    {212, kGraphics, "", "Large plots.", N, nullptr},
    {213, kGraphics, "", "Plot the surface.", N, nullptr},
    {241, kGraphics, "", "Plot interval.", N, nullptr},
    {242, kGraphics, "", "Window width.", N, nullptr},
    {243, kGraphics, "", "Window height.", N, nullptr},

    // Read and ignored.
    {287, kIgnored, "", "Printed as \"Alpha = ...\".", I, nullptr},
    {288, kIgnored, "", "Printed as \"Beta = ...\".", I, nullptr},
    {289, kIgnored, "", "Printed as \"Theta = ...\".", I, nullptr},
    {290, kIgnored, "m", "Printed as \"Channel grid size = ...\".", I, nullptr},
    {291, kIgnored, "", "Printed as \"Channel time step = ...\".", I, nullptr},
    {292, kIgnored, "", "Printed as \"Drainage time = ...\".", I, nullptr},
    {293, kIgnored, "", "Printed as \"Minimum channel flow = ...\".", I, nullptr},
    {294, kIgnored, "", "Printed as \"Number of links = ...\" (the channel input file gives the links).", I, nullptr},
    {295, kIgnored, "", "Printed as \"Number of nodes = ...\".", I, nullptr},
    {kIgnoredCard, kIgnored, "", "Nothing is read from the line.", I, nullptr},
};

const char* value_text(card_value v) {
    switch (v) {
        case card_value::none: return "none";
        case card_value::name: return "file name";
        case card_value::optional_name: return "file name, or nothing";
        case card_value::whole: return "whole number";
        case card_value::positive_whole: return "whole number above 0";
        case card_value::non_negative_whole: return "whole number, 0 or more";
        case card_value::number: return "number";
        case card_value::positive_number: return "number above 0";
        case card_value::non_negative_number: return "number, 0 or more";
        case card_value::ignored: return "anything";
        case card_value::own_rule: return "";
    }
    return "";
}

// A table cell: the text with its vertical bars escaped.
std::string cell(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

const char* const kIntroduction =
    "# Project file cards\n"
    "\n"
    "This file is written by the program `build/kesta_cards` from the card table the\n"
    "program reads project files with (`src/input/project_file.cpp`) and the\n"
    "descriptions in `src/input/card_reference.cpp`; a test fails when it differs\n"
    "from what that program writes. To change it, change those tables, build and\n"
    "run `build/kesta_cards > docs/cards.md`.\n"
    "\n"
    "A project file begins with the line `KESTAPROJECT` (or `TALVIKPROJECT`). Every\n"
    "other line is one card: a keyword, matched without regard to case, then its\n"
    "values, separated by blanks, tabs or commas (so a decimal is written with a\n"
    "point); a name that holds blanks is written in double quotes. A line whose\n"
    "first word begins with `#` is a comment. A card given twice keeps its later\n"
    "value, and of the cards that choose one method of a kind (the infiltration\n"
    "or channel routing cards) the last one given decides. A keyword that is no\n"
    "card is warned about, with its line and the nearest cards of the table, in\n"
    "the console and in the summary file, and the line is skipped. A value a card\n"
    "cannot take is an error that names the card, its line and the value; the\n"
    "whole file is read first, so that one run shows every such error, and the\n"
    "run then stops. Paths are relative to the folder the program runs in; an\n"
    "input file a card names that cannot be opened stops the run (an ANALYZERS\n"
    "file only warns), reported with the card, its line and that folder; the\n"
    "mapping table never stands in for a map a card names. The files the cards\n"
    "name are described in [inputs.md](inputs.md).\n"
    "\n"
    "Value: *none*, the card is a switch or chooses a method; *file name*, the next\n"
    "word (a card without it names no file); *whole number* or *number*, one\n"
    "value, which the run refuses when it is missing or malformed. Cards marked\n"
    "*Read and ignored* change nothing; cards marked *No effect in this build*\n"
    "are read and kept, but the process they serve is not part of this program.\n"
    "A run that gives one of either says so once among the warnings of its\n"
    "summary file (\"card X is read but has no effect in this program\").\n"
    "An output card whose file the other cards leave unwritten or without values\n"
    "(OUT_HYD_LOCATION without IN_HYD_LOCATION, PIPE_FLOW without STORM_SEWER,\n"
    "CHAN_DEPTH without channel routing ...) is said there once too, with what its\n"
    "file needs (\"X has no effect without Y: file is not written\"), and so is a\n"
    "process card another card leaves idle (CHANNEL_INPUT, OVERBANK_FLOW or\n"
    "CHAN_CON_TRANS without CHAN_EXPLIC, GW_SIMULATION without WATER_TABLE, the\n"
    "GW_* cards without GW_SIMULATION, a soil map with INF_LAYERED_SOIL or\n"
    "INF_RICHARDS or without any infiltration method, K_RIVER without STREAM_LOSS,\n"
    "BOUND_DEPTH without HEAD_BOUND, CHAN_DECAY_COEF without CHAN_CON_TRANS,\n"
    "GRID_PIPE without STORM_SEWER, the RICHARDS_* cards without INF_RICHARDS, the\n"
    "evapotranspiration maps without LONG_TERM ...: \"X has no effect without Y:\n"
    "what is not simulated\").\n"
    "Synonyms stand in one row.\n";

}  // namespace

std::vector<std::string> cards_without_effect(const std::vector<std::string>& given) {
    std::map<int, card_status> status;
    for (const card_doc& d : kDocs) status.emplace(d.id, d.status);
    std::map<std::string, bool> no_effect;  // by keyword
    for (const project_card& c : project_cards()) {
        const auto st = status.find(c.id);
        no_effect[c.keyword] = st != status.end() && st->second != card_status::used;
    }
    std::vector<std::string> out;
    std::set<std::string> listed;
    for (const std::string& k : given) {
        const auto it = no_effect.find(k);
        if (it != no_effect.end() && it->second && listed.insert(k).second) out.push_back(k);
    }
    return out;
}

std::string card_reference(std::vector<std::string>& problems) {
    const std::vector<project_card> cards = project_cards();
    std::map<int, std::vector<const project_card*>> by_id;
    for (const project_card& c : cards) by_id[c.id].push_back(&c);

    std::map<int, const card_doc*> docs;
    for (const card_doc& d : kDocs) {
        if (!docs.emplace(d.id, &d).second) problems.push_back(format_text("card id %d has two descriptions", d.id));
        if (by_id.count(d.id) == 0) problems.push_back(format_text("card id %d is described but no card has it", d.id));
    }
    for (const auto& [id, keywords] : by_id) {
        const auto d = docs.find(id);
        if (d == docs.end()) {
            problems.push_back(format_text("card %s (id %d) has no description", keywords.front()->keyword, id));
            continue;
        }
        for (const project_card* c : keywords) {
            if (c->value == card_value::own_rule && d->second->value == nullptr)
                problems.push_back(format_text("card %s (id %d) reads its values by its own rule, and its "
                                               "description does not say what it takes",
                                               c->keyword, id));
        }
    }

    std::string out = kIntroduction;
    for (const char* section : kSections) {
        std::string rows;
        for (const card_doc& d : kDocs) {
            if (d.section != section || by_id.count(d.id) == 0) continue;
            const std::vector<const project_card*>& keywords = by_id[d.id];
            std::string names;
            for (const project_card* c : keywords) names += std::string(names.empty() ? "" : ", ") + "`" + c->keyword + "`";
            std::string meaning = d.meaning;
            if (d.status == card_status::ignored) meaning = "*Read and ignored.* " + meaning;
            if (d.status == card_status::not_built) meaning = "*No effect in this build.* " + meaning;
            const std::string value = d.value ? d.value : value_text(keywords.front()->value);
            rows += "| " + names + " | " + cell(value) + " | " + cell(d.unit) + " | " + cell(meaning) + " |\n";
        }
        if (rows.empty()) continue;
        out += std::string("\n## ") + section + "\n\n| Card | Value | Unit | Meaning |\n|---|---|---|---|\n" + rows;
    }
    return out;
}

}  // namespace kesta
