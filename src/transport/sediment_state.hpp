// The sediment of a run with soil erosion: the particle size classes, the
// soil parameters and sediment volumes of every cell, and what the overland
// moves to the outlet, the channels and the channel-network lakes.
//
// Volumes are m3 of solids. Classes are numbered 1..num_sed; where a row
// or vector has an element 0 "for the total", it holds the sum over the
// classes. Per-cell rows are [cell][class] over cells 1..ncells; row 0 of
// the three volume tables of vol_sed is the bucket outside the grid that
// the outlet fills and the overland step empties into outlet_vol.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "core/arrays.hpp"

namespace kesta {

// Parts of the overland erosion step that may run at the same time, each
// with its own work space.
constexpr int kErosionSlots = 8;
// Arrays of a slot of the team's work space (team_scratch), and the values
// of each: the 128 of a block or a batch, and 8 more.
constexpr int kTeamScratchArrays = 14;
constexpr int kTeamScratchStride = 136;
// The overland erosion step on a team of threads cuts the grid into
// segments of blocks of cells (kCellBlock of erosion_vectors.hpp), at most
// kSegmentBlocksMost blocks each: small enough on a large grid that a
// segment's soil stays in the caches.
constexpr int kSegmentBlocksMost = 32;
// The step on a team takes the faces of a band of rows at a time, at most
// kBandRowsMost rows and kBandCells cells or the first row beyond: small
// enough that a band's soil stays in the caches of the thread that
// detached it, large enough that few of a band's cells are touched by
// another thread's faces.
constexpr int kBandRowsMost = 8;
constexpr int kBandCells = 512;
// Ints between two bands' counts of band_done: a cache line.
constexpr int kBandDoneStride = 16;

// What the soil of each cell holds of each class (m3).
struct sed_volumes {
    // Parent soil eroded: 0 at the start, falls by what is detached from
    // the undisturbed soil (so its negation is the run's erosion).
    mat2<double> parent;
    mat2<double> suspended;  // carried by the overland water
    mat2<double> deposited;  // loose deposit on the surface
};

// The share of each class in the soil of a cell.
struct sed_fractions {
    mat2<double> parent;   // of the undisturbed soil, from the SOIL_EROSION_PROPS table
    mat2<double> deposit;  // of the loose deposit, as the last detachment from it found it
};

// Run totals of one class over the grid, formed when an event or the run
// ends (m3).
struct sed_class_totals {
    double eroded = 0.0;     // parent soil detached
    double suspended = 0.0;
    double deposited = 0.0;
    double outlet = 0.0;     // left the grid through the overland outlet
};

// Sediment volumes the channel network moved over an event or over the run
// (m3). The vectors by lake hold the sum over the lakes in element 0.
struct chan_sed_books {
    vec1<double> to_chan;  // from the overland by class; 0 the fine classes
    double sand_out = 0.0;  // sand through the outlet
    double wash_out = 0.0;  // wash load through the outlet
    vec1<double> sand_to_lake;      // sand the channels carried onto each lake's bed
    vec1<double> edge_sand;         // sand the overland carried to each lake's edge cells
    vec1<double> chan_to_lake;      // wash load from the channels
    vec1<double> lake_to_chan;      // wash load into the channels
    vec1<double> overland_to_lake;  // net wash load from the overland
    vec1<double> settled;           // wash load settled onto each lake's cells

    // Every volume back to 0.
    void clear();
};

// One face of the channel network over which wash load moves: between two
// rows of `ch_wash_vol` (0 for outside the network, beyond the outlet),
// with the water that crossed it in the step (m3, positive from `up` to
// `down`). `owner` is the node row whose downstream face it is (0 for a
// lake's outflow face), whose sand it moves too.
struct wash_face {
    int up = 0, down = 0, owner = 0;
    double water = 0.0;
};

// The channels' sand grain in the water of the run, as Yang's formula
// reads it: what the grain's diameter and the water's viscosity alone give,
// worked out once (sand_grain_of).
struct sand_grain {
    double d = 0.0;              // diameter, m
    double nu = 0.0;             // kinematic viscosity, m2/s
    double settling = 0.0;       // settling velocity w, m/s
    double log_settling = 0.0;   // log10(w d / nu)
    bool moves = false;          // diameter and viscosity above 0: the formula applies
};

struct sed_record {
    // Classes 1..num_sed.
    int num_sed = 0;
    int n_fine_classes = 0;
    int n_sand_classes = 0;
    int erosion_method = 0;        // transport-capacity formula, 1..6
    double water_viscosity = 0.0;  // kinematic, m2/s, at WATER_TEMP
    sand_grain grain;              // of SAND_SIZE in water at WATER_TEMP
    vec1<double> spec_grav;        // specific gravity
    vec1<double> part_diam;        // particle diameter (mm)
    vec1<double> f_bind;           // binding fraction, as read
    std::vector<std::string> output_filename;  // element 0 unused
    vec1<double> sed_fall;         // settling velocity (m/s)
    vec1<double> sed_density;      // g/m3
    vec1<int> sand;                // 1 for a class at least SAND_SIZE
    // Class numbers by position: the fine classes in ascending order in
    // positions 1..n_fine_classes, then the sand classes.
    vec1<int> sed_class;
    // Per class, 0.05 / (sqrt(g) (s - 1)^2 d) of the first transport
    // formula (s/m^1.5).
    vec1<double> eh_coef;

    // Per-cell soil parameters from the SOIL_EROSION_PROPS table: the
    // transport capacity's coefficient, exponent and unit-stream-power
    // threshold (m/s); the splash coefficient; the flow detachment's
    // coefficient, exponent and critical shear stress (Pa); the
    // erodibility factor of the capacity. A splash or detachment value
    // not above 0 takes the default of the process.
    vec1<double> tc_C, tc_I, tc_R, splash_K, detach_K, detach_I, detach_C, sed_K;
    // 1 for a cell the grid-stream file lists: it gives up its loose
    // deposit but never its parent soil.
    vec1<int> channel_cells;
    sed_fractions sed_fract;
    sed_volumes vol_sed;

    // Moved in the last overland sediment step, by [cell][class] (class 0
    // the total): detached into suspension (from the parent soil or the
    // deposit), and settled into the deposit.
    mat2<double> ov_sed_vol_eroded, ov_sed_vol_deposited;
    // With SEDIMENT_CONTAM, what the overland steps moved since the
    // constituents last took it, by [cell][class] (class 0 the total):
    // through each cell's right (x) and lower (y) face to its neighbour
    // (m3, negative when the neighbour sent it), eroded and deposited on
    // each cell, and by class what left through the outlet (element 0 the
    // total); and by [cell][fine position] the suspended volume when the
    // constituents last took them.
    mat2<double> ov_sed_vol_qsx, ov_sed_vol_qsy, eroded_step, deposited_step;
    vec1<double> outlet_vol_step;
    mat2<double> ov_vol_sed_susp;
    // Net volume deposited (positive) or eroded (negative) on each cell
    // over the run, all classes.
    vec1<double> ov_qsvol;
    // Transport capacity of each cell's right (qsx) and lower (qsy) face in
    // the last step, of the face's source cell (m3); 0 where the source held
    // no sediment, which the face then could not carry (whatever its water
    // could).
    vec1<double> qsx, qsy;
    // With MAX_SED_FLUX: the sediment leaving each cell in the last step,
    // all classes (m3/s).
    vec1<double> ov_qsmax;
    // Values of the sediment maps, formed when a frame is written: flux
    // (cm3/s), net volume as a depth (mm, deposition positive), suspended
    // volume (m3).
    vec1<double> flux_map, ov_net_sed, ov_conc;

    // The volume of every class that left through the outlet in the last
    // overland sediment step, and by class over the run (0 the total).
    double sed_out_vol = 0.0;
    vec1<double> outlet_vol;

    // Work space of the step: the water-surface slope of each cell's right
    // and lower face, and what one face moves by class (m3).
    vec1<double> Sfx, Sfy, moved;
    // Work space of the step: the capacity of each cell's right and lower
    // face (m3), worked out from the water before any sediment moves; nan
    // where it is left to the face's turn.
    vec1<double> cap_x, cap_y;
    // Work space of the step: a batch of faces whose capacity the second
    // formula gives, worked out together (from element 0, kFaceBatch of
    // erosion_vectors.hpp): the unit discharge (m2/s), slope and share of
    // the stream power above the threshold of each, its rate, its source's
    // sed_K, whether it carries, its source's depth and threshold
    // (capacity_work).
    vec1<double> batch_q, batch_slope, batch_excess, batch_rate, batch_sed_k, batch_state, batch_h, batch_threshold;
    // Work space of the detachment: a block of cells (from element 0,
    // kCellBlock of erosion_vectors.hpp), with the splash rate a I^b and
    // drop diameter (m) of each cell's rain, its splash volume, its shear
    // volumes from the deposit and beyond the critical shear (m3), room for
    // the exponentials, and whether it is finished (1) and its water flows
    // out (2).
    vec1<double> block_rate, block_drop, block_splash, block_shear, block_beyond, block_work;
    vec1<int> block_state;
    // Work space of the transport: for the right and then the lower faces
    // of a block of cells (kCellBlock each), the per_fall of each face's
    // receiver (settle_shares of erosion_vectors.hpp), then the share of
    // its suspension that settles, class by class.
    vec1<double> block_share;
    // Work space of the step on a team of threads (slot 0 of the parts that
    // run at once is the work space above): for slots 1 .. kErosionSlots -
    // 1 in turn, the six block arrays and then the eight batch arrays
    // (kTeamScratchArrays), kTeamScratchStride values each (the room a
    // block or batch needs, and a cache line more, so that no two of a
    // slot's arrays lie a multiple of 4 kB apart, where the processor
    // would take a store to one for a load from the other); the block
    // states of each slot, kTeamScratchStride each; and the settling
    // shares of two segments (the one whose faces move and the next,
    // kSegmentBlocksMost blocks each at most, and no more than the grid's
    // blocks), the values of block_share for each block.
    vec1<double> team_scratch;
    vec1<int> team_state;
    vec1<double> team_share;
    // Of each block of kCellBlock cells (1 the first), the last cell its
    // faces touch (`block_last`), and whether a right or lower neighbour of
    // any cell comes before that cell (`blocks_behind`): they follow from
    // the neighbours alone, so they are worked out at the first step
    // (`blocks_known`) and kept.
    bool blocks_known = false, blocks_behind = false;
    vec1<int> block_last;
    // The step on a team in bands of rows (known at the first step; see
    // kBandRowsMost): `row_count` the grid's rows that hold cells (0: the
    // grid has not that form, -1: not known yet); `row_first` the first
    // cell of each row 1 .. row_count, and the cell after the last;
    // `row_detached` of each row, the cells 1 .. row_detached[r] detached
    // before its faces move; `row_need` of each cell, the last cell of the
    // row above whose faces move before its own (0: none); `band_first` the
    // first row of each band 1 .. band_count, and the row after the last;
    // `band_done`, a cache line (kBandDoneStride ints) for each band, the
    // last cell of its last row whose faces have moved in the step (-1:
    // none, and the cells up to its row_detached not yet known to be
    // detached; 0: none); `band_share`, for each slot (kErosionSlots),
    // the settling shares of kBandRowsMost rows, those of a block of cells
    // each (band_share has no element past them). A step in which a thread
    // waited long for a band (its thread lost its core) keeps the bands
    // off the team until `bands_refused_until`, for a time that doubles
    // with each such step in a row (`bands_refusals`).
    int row_count = -1, band_count = 0;
    vec1<int> row_first, row_detached, row_need, band_first, band_done;
    vec1<double> band_share;
    std::chrono::steady_clock::time_point bands_refused_until{};
    int bands_refusals = 0;
    // Microseconds a thread waits for the band above, spinning, before it
    // takes the band's thread to have lost its core: far longer than the
    // moves of a band take.
    double bands_patience = 1000.0;

    // Filled when an event or the run ends, by class.
    std::vector<sed_class_totals> tot_sed;

    // ------------------------------------------------ channel sediment
    // Made with channel routing (chan_sed_on). Node j of link l has the row
    // l N + j of the node tables below (N = `node_stride`, the largest node
    // count of a link); lake k the row `lake_row0` + k of ch_wash_vol.
    int node_stride = 0;
    int lake_row0 = 0;
    // Wash load (the fine classes) in suspension by [row][fine position],
    // position 0 the total: at the nodes, then in the lakes. A dry node
    // keeps what it holds until water comes to carry it.
    mat2<double> ch_wash_vol;
    // Sand on the lake beds by [lake][sand position], position 0 the total.
    mat2<double> lake_depo_vol;
    // What left each node through its downstream face in the last channel
    // step by [node row][position] (m3/s, negative upstream): the fine
    // positions, then the sand positions; position 0 the sand total.
    mat2<double> qsmax;
    // With CHAN_SED_FLUX, by [node][link]: the running total over the run
    // of the node's qsmax over every class, x 1e6.
    node_table<double> qsmax_total;
    // Wash-load concentration of every node (g/m3; 0 at a dry node).
    vec1<double> chan_sed_conc;
    // What the stream cells gave each node since the run began, by [node
    // row][class] (m3, class 0 unused): the table of the FYSSI file.
    mat2<double> qlat_tot_sed;
    // Through the outlet in the last channel step (m3/s), by fine and by
    // sand position; sand position 0 the sand of the initial bed, which
    // has no class.
    vec1<double> qs_out_chan_wash, qs_out_chan_sand;
    // With erodible trapezoidal links, by [node][link]: the bed elevation
    // after the bed change (m).
    mat2<double> new_bel;
    chan_sed_books event_books, run_books;
    // Channel sand and wash load at the start of the event and of the run,
    // and by lake the wash load suspended at the start of the event (m3).
    double initial_sand_event = 0.0, initial_sand_run = 0.0, initial_wash_event = 0.0;
    vec1<double> initial_lake_wash;
    // Work space of the channel step, made with the arrays: the faces of
    // the network, the water of every row (m3), and by row and position
    // the concentrations, the predicted volumes and the outflow asked of
    // each row; by face and position the two face volumes of the step; by
    // node row the sand asked of it; by face and sand position the sand
    // each face moves (position 0 the total, negative upstream).
    std::vector<wash_face> faces;
    vec1<double> water, sand_asked;
    mat2<double> wash_conc, wash_predicted, wash_asked, face_flux, face_flux2, sand_move;
    // With channel sediment and channel-network lakes, by [lake][class]:
    // the net volume the overland moved into each lake since the lake
    // budget last took it (sand classes are recorded too, though they lie
    // in the deposit of the lake's edge cells); row 0 is the run total
    // over all lakes and is never taken.
    mat2<double> sed_vol_overland_to_lake;
    // By [lake][fine position]: the lake's suspended volume concentration
    // (m3/m3), and what its outflow over land carried since the lake
    // budget last took it (m3).
    mat2<double> SS_conc_vol_lake, SS_vol_lake_to_overland;
};

}  // namespace kesta
