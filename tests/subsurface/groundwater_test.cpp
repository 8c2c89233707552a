// The aquifer against known answers: the steady Dupuit strip between two
// held heads, a gravel aquifer whose daily steps still balance, a well that
// cannot pump more than its cell holds, the set-up values and solves a run
// refuses, and whole runs with wells.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "overland/overland_grid.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "subsurface/wells.hpp"

namespace {

using kesta::model_state;

// A rows x cols block of `dx` cells over a flat bottom at 0 m, every cell
// at head `head`, conductivity k (m/s) and porosity n.
void make_aquifer(model_state& m, int rows, int cols, double dx, double head, double k, double n, double dt) {
    m.gw_simulation = m.water_table_given = 1;
    kesta_test::plane p;
    p.rows = rows;
    p.cols = cols;
    p.dx = dx;
    kesta_test::make_plane(m, p, dt);
    m.timestep = m.gw_timestep = dt;
    for (int c = 1; c <= m.ncells; ++c) {
        m.elevgw[c] = head;
        m.bottom_elev[c] = 0.0;
        m.gw_Kx_hycond[c] = m.gw_Ky_hycond[c] = k;
        m.gw_array_porosity[c] = m.STOR[c] = n;
        m.DELX[c] = m.DELY[c] = dx;
    }
    ASSERT_TRUE(kesta::setup_groundwater(m, "test porosity", "test conductivity"));
    kesta::set_clock_interval(m.gw_interval_sec, m.gw_interval, dt);
    kesta::arm_clock(m.gw_last, m.gw_next, m.time, m.gw_interval);
}

// A 1 x cols strip, as make_aquifer.
void make_aquifer(model_state& m, int cols, double dx, double head, double k, double n, double dt) {
    make_aquifer(m, 1, cols, dx, head, k, n, dt);
}

// Starting volume as the run's start-up forms it.
void note_start(model_state& m) { m.initial_gw_volume = kesta::groundwater_volume(m); }

void gw_pass(model_state& m) {
    m.time = m.gw_next;
    kesta::step_groundwater(m);
}

// 11 cells of 100 m between held heads of 20 m and 10 m, K = 1e-4 m/s:
// Dupuit gives h(x) = sqrt(400 - 0.3 x) and 1.5e-3 m3/s through the strip;
// the harmonic-mean discrete system 18.4407 m at 200 m, 15.8154 m at 500 m
// and 1.4979e-3 m3/s. The balance of the run closes however long it runs.
TEST(Groundwater, DupuitStripBetweenHeldHeads) {
    model_state m;
    const double dt = 1e8;  // s; the strip settles in about 2e8 s
    make_aquifer(m, 11, 100.0, 15.0, 1e-4, 0.3, dt);
    m.gwbound[1] = m.gwbound[11] = kesta::kGwFixedHead;
    m.elevgw[1] = 20.0;
    m.elevgw[11] = 10.0;
    note_start(m);
    for (int i = 1; i <= 80; ++i) {
        gw_pass(m);
        ASSERT_EQ(kesta::g_error_record.stop, 0);
    }
    EXPECT_NEAR(m.elevgw[3], 18.4407, 1e-3);
    EXPECT_NEAR(m.elevgw[6], 15.8154, 1e-3);
    EXPECT_NEAR(m.elevgw[3], std::sqrt(400.0 - 0.3 * 200.0), 0.005);
    EXPECT_NEAR(m.elevgw[6], std::sqrt(400.0 - 0.3 * 500.0), 0.005);
    EXPECT_EQ(std::make_pair(m.elevgw[1], m.elevgw[11]), std::make_pair(20.0, 10.0));

    // Each step passes 1.5e5 m3 through 5e4 m3 of aquifer; booking the held
    // cells' own thickness instead of the face's would gain 1.2e4 m3 a step.
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(m)), 1e-6);

    // One more step at steady state: each held cell passes the strip's flow.
    for (int k = 1; k <= m.ncells; ++k) m.gw_flux[k] = 0.0;
    kesta::gw_head_iterate(m, dt);
    EXPECT_NEAR(m.gw_flux[1] / dt, 1.4979e-3, 1e-7);
    EXPECT_NEAR(m.gw_flux[11] / dt, -1.4979e-3, 1e-7);
    EXPECT_NEAR(m.gw_flux[1] + m.gw_flux[11], 0.0, 1e-9 * dt * 1.5e-3);
}

// A gravel aquifer of 30 x 30 cells of 30 m (K 0.1 m/s, 10 m saturated,
// storage 0.05) drains for two daily steps towards its west column and
// south row, held 2 m lower: a step's diffusion length is some 60 cells,
// so each step is close to its steady state. The heads must still balance
// the water that left through the held faces (solves stopped on a small
// change per pass leave 1e-3 % and more unbalanced), and the water table is
// symmetric about the diagonal that the held edges share.
TEST(Groundwater, GravelAquiferOnDailyStepsKeepsItsBalance) {
    constexpr int n = 30;
    model_state m;
    make_aquifer(m, n, n, 30.0, 10.0, 0.1, 0.05, 86400.0);
    for (int r = 1; r <= n; ++r) {
        for (int c = 1; c <= n; ++c) {
            const int k = m.mask[r][c];
            if (c > 1 && r < n) continue;
            m.gwbound[k] = kesta::kGwFixedHead;
            m.elevgw[k] = 8.0;
        }
    }
    note_start(m);
    const double start = kesta::groundwater_volume(m);
    gw_pass(m);
    gw_pass(m);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    // Most of the 18,000 m3 above the held level has left.
    EXPECT_LT(kesta::groundwater_volume(m) - 0.05 * 900.0 * 8.0 * n * n, 0.1 * (start - 0.05 * 900.0 * 8.0 * n * n));
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(m)), 1e-8);
    for (int r = 1; r <= n; ++r)
        for (int c = 1; c <= n; ++c)
            ASSERT_NEAR(m.elevgw[m.mask[r][c]], m.elevgw[m.mask[n + 1 - c][n + 1 - r]], 1e-6) << r << " " << c;

    // A conductivity a hundred times lower in the northern half leaves the
    // factorisation the solver kept from the steps before far from the new
    // system: the step still converges and balances.
    for (int k = 1; k <= m.ncells / 2; ++k) m.gw_Kx_hycond[k] = m.gw_Ky_hycond[k] = 0.001;
    const long long made = m.gw_counts.factorisations;
    gw_pass(m);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    EXPECT_GT(m.gw_counts.factorisations, made);
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(m)), 1e-8);
}

// Under redistribution with soil accounting each groundwater step keeps the
// kernel's initial moisture 0.01 inside the residual (0.05) and saturated
// (0.45) moistures, saying so per cell; a moisture inside is left alone.
TEST(Groundwater, StepKeepsTheRedistributionMoistureInsideItsLimits) {
    model_state m;
    make_aquifer(m, 3, 100.0, 5.0, 1e-4, 0.3, 60.0);
    m.inf_redist_on = m.soil_et_accounting = m.porosity_given = m.residual_sat_given = 1;
    for (auto* v : {&m.phi_map, &m.thr_map, &m.thi}) *v = kesta::vec1<double>(3);
    m.phi_map.fill(0.45);
    m.thr_map.fill(0.05);
    m.thi[1] = 0.055, m.thi[2] = 0.445, m.thi[3] = 0.2;
    const std::string out = kesta_test::printed_by([&] { gw_pass(m); });
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    EXPECT_DOUBLE_EQ(m.thi[1], 0.06);
    EXPECT_DOUBLE_EQ(m.thi[2], 0.44);
    EXPECT_EQ(m.thi[3], 0.2);
    EXPECT_EQ(out, "cell: 1  thi: 0.055000  thr: 0.050000   phi: 0.450000\n"
                   "Problem initializing inf_redist in main loop, thi<thr at grid cell 1, increasing it to 0.060000\n"
                   "Problem initializing inf_redist in main loop, thi>phi at grid cell 2, decreasing it to 0.440000\n");
}

// A cell of 1 m saturated thickness, porosity 0.25 and no conductivity (its
// faces carry nothing, and no 0/0), pumped at 1 m3/s for an hour from a
// 10 m cell: it gives the 24.975 m3 it holds above the 1 mm floor, the
// pumping booked is that, and the balance closes. Lake-bed leakage then
// refills it without STREAM_LOSS, in the aquifer's totals and heads alike.
TEST(Groundwater, PumpingWellTakesOnlyTheWaterItsCellHoldsAndALakeRefillsIt) {
    model_state m;
    make_aquifer(m, 3, 10.0, 1.0, 0.0, 0.25, 3600.0);
    kesta::add_well_record(m, 7, 0, 1.0, 0);
    kesta::mat2<int> ids(1 + 1, 3 + 1);
    ids[1][2] = 7;
    kesta::assign_wells_to_cells(m, ids, m.mask, 1, 3);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    note_start(m);
    gw_pass(m);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    EXPECT_NEAR(m.gw_totals.pumping, 0.999 * 0.25 * 100.0, 1e-9);
    EXPECT_NEAR(m.elevgw[2], kesta::kGwFloor, 1e-9);
    EXPECT_EQ(std::make_pair(m.elevgw[1], m.elevgw[3]), std::make_pair(1.0, 1.0));
    EXPECT_NEAR(m.gw_totals.floor_added, 0.0, 1e-12);  // the rounding of the head it reached
    EXPECT_NEAR(kesta::groundwater_balance_error(m), 0.0, 1e-9);
    // Dry now: the next hour pumps nothing.
    gw_pass(m);
    EXPECT_NEAR(m.gw_totals.pumping, 0.999 * 0.25 * 100.0, 1e-9);

    const double dry = m.elevgw[2];
    m.chan_lakes_on = 1;
    kesta::alloc_dvector(m.lake_source, m.ncells, "lake_source");
    m.lake_source[2] = 5.0;  // m3 from the lake
    kesta::settle_groundwater_exchanges(m);
    EXPECT_NEAR(m.gw_totals.lakes_to_gw, 5.0, 1e-12);
    EXPECT_NEAR(m.elevgw[2], dry + 5.0 / (100.0 * 0.25), 1e-12);
    EXPECT_NEAR(kesta::groundwater_balance_error(m), 0.0, 1e-9);
}

// Three 10 m cells 0.02 m deep (porosity 0.3, K 0.01 m/s) drain for an hour
// to a cell held at -5 m: the cell beside it falls to the 1 mm floor and
// then passes on only what reaches it, so the boundary takes what the strip
// lost (each step's solve may leave 1e-12 of the aquifer's volume
// unbalanced) and the floor adds nothing. A tile drain taking 5 m3 from
// a cell that holds 0.019 x 0.3 x 100 = 0.57 m3 above the floor overdraws
// it: the floor adds the 4.43 m3 back in its own total, and at the run's end
// the tile water left over adds its own. Both balances close.
TEST(Groundwater, TheFloorTakesBackSideFlowAndBooksWhatWholeSinksOverdrew) {
    model_state m;
    make_aquifer(m, 4, 10.0, 0.02, 0.01, 0.3, 10.0);
    m.gwbound[4] = kesta::kGwFixedHead;
    m.bottom_elev[4] = -10.0;
    m.elevgw[4] = -5.0;
    note_start(m);
    const double start = kesta::groundwater_volume(m);
    const std::string said = kesta_test::printed_by([&] {
        for (int i = 0; i < 360; ++i) gw_pass(m);
    });
    ASSERT_EQ(kesta::g_error_record.stop, 0) << said;
    EXPECT_EQ(m.elevgw[3], kesta::kGwFloor);
    for (int k = 1; k <= 3; ++k) EXPECT_GE(m.elevgw[k], kesta::kGwFloor);
    EXPECT_EQ(m.gw_totals.floor_added, 0.0);
    EXPECT_NEAR(m.gw_totals.head_boundary, kesta::groundwater_volume(m) - start, 360 * 1e-12 * start);
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(m)), 1e-6);

    model_state t;
    make_aquifer(t, 3, 10.0, 0.02, 0.0, 0.3, 3600.0);
    t.storm_sewer_given = 1;
    kesta::alloc_dvector(t.vol_tile_grid, t.ncells, "vol_tile_grid");
    t.vol_tile_grid[2] = 5.0;
    note_start(t);
    gw_pass(t);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    EXPECT_EQ(t.elevgw[2], kesta::kGwFloor);
    EXPECT_NEAR(t.gw_totals.floor_added, 5.0 - 0.019 * 0.3 * 100.0, 1e-12);
    EXPECT_EQ(t.gw_floor_added_this_event, t.gw_totals.floor_added);
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(t)), 1e-6);
    // The tile water left at the run's end overdraws the dry cell the same way.
    const double added = t.gw_totals.floor_added;
    t.vol_tile_grid[2] = 2.0;
    kesta::settle_groundwater_exchanges(t);
    EXPECT_EQ(t.elevgw[2], kesta::kGwFloor);
    EXPECT_NEAR(t.gw_totals.floor_added - added, 2.0, 1e-12);
    EXPECT_LT(std::fabs(kesta::groundwater_balance_error(t)), 1e-6);

    // An aquifer that started with next to no water has no balance to give.
    t.initial_gw_volume = 5e-10;
    EXPECT_EQ(kesta::groundwater_balance_error(t), 0.0);
}

struct refusal {
    const char* what;
    void (*spoil)(model_state&);
    const char* says;
};

// Each spoilt value is refused with a message naming it.
TEST(Groundwater, SetUpRefusesValuesTheSolverCannotTake) {
    const refusal cases[] = {
        {"step not a multiple", [](model_state& m) { m.gw_timestep = 25.0; },
         "GW_TIMESTEP 25 s is not a whole multiple of TIMESTEP 10 s"},
        {"step missing", [](model_state& m) { m.gw_timestep = 0.0; }, "GW_TIMESTEP is missing"},
        {"porosity 0", [](model_state& m) { m.gw_array_porosity[2] = 0.0; },
         "porosity 0 of cell 2 (row 1, column 2) from test porosity lies outside [1e-06, 1]"},
        {"porosity 5e-7", [](model_state& m) { m.gw_array_porosity[3] = 5e-7; },
         "porosity 5e-07 of cell 3 (row 1, column 3) from test porosity lies outside [1e-06, 1]"},
        {"porosity 1.2", [](model_state& m) { m.gw_array_porosity[1] = 1.2; }, "porosity 1.2 of cell 1"},
        {"conductivity", [](model_state& m) { m.gw_Kx_hycond[3] = -1.0 / 360000.0; },
         "conductivity -1 cm/h of cell 3 (row 1, column 3) from test conductivity is negative"},
    };
    for (const refusal& c : cases) {
        SCOPED_TRACE(c.what);
        model_state m;
        make_aquifer(m, 3, 10.0, 1.0, 1e-4, 0.3, 10.0);
        m.timestep = 10.0;
        m.gw_timestep = 30.0;
        c.spoil(m);
        bool ok = true;
        const std::string said = kesta_test::printed_by([&] {
            ok = kesta::groundwater_options_hold(m) && kesta::setup_groundwater(m, "test porosity", "test conductivity");
        });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(kesta_test::has(said, c.says)) << said;
        kesta::g_error_record.clear_for_run();
    }
}

// A head system with a sink that is not a number stops the run with a
// message naming the step and the cell; wells off the mask or on a missing
// series are refused.
TEST(Groundwater, HeadsThatCannotBeSolvedAndBadWellsStopTheRun) {
    model_state m;
    make_aquifer(m, 11, 100.0, 15.0, 1e-4, 0.3, 3600.0);
    m.gwbound[1] = kesta::kGwFixedHead;
    m.qwell_static[4] = std::nan("");
    const std::string said = kesta_test::printed_by([&] { gw_pass(m); });
    EXPECT_TRUE(kesta_test::has(said, "the groundwater heads of the step ending 1/1/2000 13:00 cannot be solved: the "
                                      "storage, sources and sinks, face transmissivities or head of cell 4 are not"))
        << said;
    EXPECT_NE(kesta::g_error_record.stop, 0);
    kesta::g_error_record.clear_for_run();
    m.qwell_static[4] = 0.0;

    kesta::mat2<int> ids(1 + 1, 11 + 1);
    kesta::mat2<int> mask(1 + 1, 11 + 1);
    for (int c = 1; c <= 10; ++c) mask[1][c] = c;  // column 11 outside the watershed
    const std::pair<int, const char*> wells[] = {{11, "lies at row 1, column 11, outside the watershed mask"},
                                                 {5, "follows time series 42, which the TIME_SERIES_INDEX"}};
    for (const auto& [col, says] : wells) {
        SCOPED_TRACE(says);
        ids[1][col] = 3;
        kesta::add_well_record(m, 3, 1, 0.0, 42);
        const std::string out = kesta_test::printed_by([&] { kesta::assign_wells_to_cells(m, ids, mask, 1, 11); });
        EXPECT_TRUE(kesta_test::has(out, says)) << out;
        EXPECT_NE(kesta::g_error_record.stop, 0);
        kesta::g_error_record.clear_for_run();
        ids[1][col] = 0;
    }
}

// Runs an hour on a 1 x cols strip of 10 m cells, ground at 20 m, under 1
// mm/h of rain for ten minutes, over an aquifer of porosity 0.3 and
// conductivity `hycond` (cm/h) whose water table, bottom and boundary types
// are the one-row grids `wt`, `bot` and `bound`; `more` ends the project.
kesta_test::program_result run_strip(const kesta_test::temp_dir& dir, int cols, const std::string& wt,
                                     const std::string& bot, const std::string& bound, double hycond,
                                     const std::string& more) {
    auto row = [&](const std::string& values) { return kesta_test::grid_text(1, cols, 10.0, values + "\n"); };
    auto flat = [&](double v) { return kesta_test::grid_of(1, cols, 10.0, [v](int, int) { return v; }, "%g "); };
    dir.write("mask.asc", flat(1.0));
    dir.write("elev.asc", flat(20.0));
    dir.write("wt.asc", row(wt));
    dir.write("bot.asc", row(bot));
    dir.write("bound.asc", row(bound));
    const std::string n = std::to_string(cols);
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 1\nCOLS " + n +
                           "\nOUTROW 1\nOUTCOL " + n + "\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                           "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\nHYD_FREQ 10\nTOT_TIME 60\n"
                           "TIMESTEP 10\nRAIN_INTENSITY 1\nRAIN_DURATION 10\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
                           "WATER_TABLE wt.asc\nAQUIFER_BOTTOM bot.asc\nGW_SIMULATION\nGW_BOUNDFILE bound.asc\n"
                           "GW_UNIF_HYCOND " + kesta::format_text("%g", hycond) +
                           "\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n" + more);
    return kesta_test::run_kesta("p.prj", dir.path().string());
}

// run_strip with an aquifer 15 m deep, closed all round, the well index row
// `ids` and the WELL_TABLE row `well` of well 3 (USES_SERIES RATE UNUSED).
kesta_test::program_result run_well_strip(const kesta_test::temp_dir& dir, int cols, const std::string& ids,
                                          const std::string& well, const std::string& more = "MAP_FREQ 1000\n") {
    dir.write("wells.idx", kesta_test::grid_text(1, cols, 10.0, ids + "\n"));
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP wells.idx \"Wells\"\nWELL_TABLE \"Wells\"\nNUM_IDS 1\n"
                       "ID DESCRIPTION USES_SERIES RATE UNUSED\n" + kesta_test::table_row(3, well));
    auto each = [cols](const char* v) {
        std::string r;
        for (int c = 1; c <= cols; ++c) r += std::string(v) + " ";
        return r;
    };
    return run_strip(dir, cols, each("15"), each("0"), each("1"), 36.0, "MAPPING_TABLE t.cmt\n" + more);
}

// A whole run: a well in the middle of a five-cell strip pumps 1 l/s for an
// hour from its WELL_TABLE; the well-level series follows its cell's head
// down every ten minutes, and the run's groundwater summary books the
// pumping and closes its balance.
TEST(GroundwaterRuns, PumpingWellLowersItsLevelSeries) {
    kesta_test::temp_dir dir;
    dir.write("wloc.txt", "2\n1 3\n1 1\n");
    const auto r = run_well_strip(dir, 5, "0 0 3 0 0", "0 0.001 0",
                                  "MAP_FREQ 1000\nGW_WELL_LEVEL wells.out\nOUT_WELL_LOCATION wloc.txt\n");
    const std::string summary = kesta_test::read_file(dir.file("summ.out"));
    ASSERT_EQ(r.status, 0) << r.output << summary;

    std::istringstream lines(kesta_test::read_file(dir.file("wells.out")));
    std::vector<double> well, edge;
    double t = 0.0, w = 0.0, e = 0.0;
    while (lines >> t >> w >> e) {
        well.push_back(w);
        edge.push_back(e);
    }
    ASSERT_GE(well.size(), 6u) << kesta_test::read_file(dir.file("wells.out"));
    EXPECT_EQ(well.front(), 15.0);
    for (std::size_t i = 1; i < well.size(); ++i) {
        EXPECT_LT(well[i], well[i - 1]);
        EXPECT_LT(well[i], edge[i]);  // the cone is deepest at the well
    }
    EXPECT_TRUE(kesta_test::has(summary, "GROUNDWATER CALCULATIONS")) << summary;
    // 1 l/s for the hour the groundwater ran.
    EXPECT_NEAR(kesta_test::value_after(summary, "Pumping  "), 3.6, 0.07) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "Mass Balance error ="), 0.0, 0.005) << summary;
    EXPECT_FALSE(kesta_test::has(summary, "nan")) << summary;
}

// A whole run with GW_OUTPUT, the well pumping 1 l/s: each frame of the
// head maps, every minute, shows the water table of the five cells: 15 m in
// the first and, from the third on, 0.06 m3 more drawn from the strip
// (porosity 0.3, 100 m2 cells) than in the frame before. The dataset holds
// the minutes 0.17 to 59.17 of the hour and its end mark; the numbered
// grids are as many and show the same heads.
TEST(GroundwaterRuns, HeadMapsFollowTheWaterTableAsDatasetStepsAndNumberedGrids) {
    kesta_test::temp_dir dir;
    auto r = run_well_strip(dir, 5, "0 0 3 0 0", "0 0.001 0", "MAP_TYPE 1\nMAP_FREQ 1\nGW_OUTPUT gw.dat\n");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> l = kesta_test::lines_of(kesta_test::read_file(dir.file("gw.dat")));
    ASSERT_EQ(l.size(), 7u + 60u * 11u + 1u);
    EXPECT_EQ(std::vector<std::string>({l[3], l[6], l[7], l.back()}),
              std::vector<std::string>({"OBJID 1016", "NAME groundwater_head", "TS 1 0.166667", "ENDDS"}));
    std::vector<std::vector<double>> frames;
    for (std::size_t i = 7; i + 11 <= l.size(); i += 11) {
        frames.emplace_back();
        for (std::size_t k = i + 6; k < i + 11; ++k) frames.back().push_back(std::stod(l[k]));
    }
    auto drawn = [](const std::vector<double>& h) {
        double v = 0.0;
        for (double x : h) v += (15.0 - x) * 0.3 * 100.0;
        return v;
    };
    EXPECT_EQ(frames.front(), std::vector<double>(5, 15.0));
    for (std::size_t f = 2; f < frames.size(); ++f)  // five values, each within 0.5e-6 m
        EXPECT_NEAR(drawn(frames[f]) - drawn(frames[f - 1]), 0.06, 2 * 5 * 0.5e-6 * 30.0) << "frame " << f + 1;
    EXPECT_EQ(l[l.size() - 12], "TS 1 59.166667");

    std::filesystem::create_directory(dir.file("maps"));
    r = run_well_strip(dir, 5, "0 0 3 0 0", "0 0.001 0", "MAP_TYPE 0\nMAP_FREQ 1\nGW_OUTPUT maps\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("maps/gw_head.0061.asc")));
    std::istringstream last(kesta_test::read_file(dir.file("maps/gw_head.0060.asc")));
    std::string word;
    for (int i = 0; i < 12; ++i) last >> word;  // the six header lines
    for (double h : frames.back()) {
        double v = 0.0;
        last >> v;
        EXPECT_NEAR(v, h, 0.5e-4);
    }
}

// A whole run over three cells 0.02 m deep draining to a fourth held at
// -5 m: the cell beside it drains to the floor and gives the boundary only
// the 0.57 m3 it held above it and what reaches it. The event's balance
// closes to 1e-6 %, the groundwater balance too, and the floor adds nothing.
// The line-sweep cards it gives steer nothing, and the summary says so once.
TEST(GroundwaterRuns, ACellDrainedToTheFloorGivesTheBoundaryOnlyWhatItHeld) {
    kesta_test::temp_dir dir;
    const auto r = run_strip(dir, 4, "0.02 0.02 0.02 -5", "0 0 0 -6", "1 1 1 2", 3600.0,
                             "MAP_FREQ 1000\nGW_LSOR_CON 0.1\nGW_RELAX_COEFF 1.9\n");
    const std::string summary = kesta_test::read_file(dir.file("summ.out"));
    ASSERT_EQ(r.status, 0) << r.output << summary;
    EXPECT_LE(std::fabs(kesta_test::value_after(summary, "mass conservation error:")), 1e-6) << summary;
    EXPECT_EQ(kesta_test::value_after(summary, "volume added by the aquifer floor (cu. m):"), 0.0) << summary;
    EXPECT_EQ(kesta_test::value_after(summary, "volume added by the aquifer floor   "), 0.0) << summary;
    EXPECT_NEAR(kesta_test::value_after(summary, "Flux across head boundaries="), -0.57, 0.005) << summary;
    EXPECT_EQ(kesta_test::value_after(summary, "Mass Balance error ="), 0.0) << summary;
    EXPECT_TRUE(kesta_test::has(summary, "-Warning: GW_RELAX_COEFF, GW_LSOR_CON no longer steer the groundwater "
                                         "solve: the heads of each step are solved by the conjugate gradient until "
                                         "the water they leave unbalanced is negligible. (given 1 time)"))
        << summary;
}

// A well of the WELL_TABLE that follows a series the run does not hold stops
// the run with a message naming the well, the series and the table's file.
TEST(GroundwaterRuns, WellOnAMissingSeriesNamesItsFile) {
    kesta_test::temp_dir dir;
    const auto r = run_well_strip(dir, 3, "0 3 0", "1 7 0");
    EXPECT_NE(r.status, 0);
    const std::size_t at = r.output.find("well 3 (row 1, column 2) follows time series 7");
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("WELL_TABLE of t.cmt", at), std::string::npos) << r.output;
}

}  // namespace
