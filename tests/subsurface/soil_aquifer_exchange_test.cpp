// Whole runs in which the soil-accounting columns stand over a simulated
// aquifer whose water table lies within a metre of the ground: the table
// moves through the unsaturated soil below the stores (counted at
// porosity x SINGLE_UNSAT_SAT) and into the stores, and every move hands
// that soil's water to the aquifer or takes it back exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "output/global_balance.hpp"
#include "subsurface/groundwater.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace kesta;
using kesta_test::grid_of;
using kesta_test::table_row;
using kesta_test::value_after;

// ---- a hillslope of 6 x 9 cells of 30 m --------------------------------

// The ground falls 1.5 m a row to the south and 0.4 m a column to the east,
// with a few knolls 6 m high, so that the aquifer drains from the knolls
// and the upper rows into the hollows, where the table rises.
double slope_ground(int r, int c) {
    return 100.0 + 1.5 * (6 - r) + 0.4 * (9 - c) + ((r * 5 + c * 3) % 7 == 0 ? 6.0 : 0.0);
}

double g_overall = 1.0;  // percent, the run's global balance as its summaries were written
int g_risen = 0;         // cells whose table started below the stores and ended within them

std::vector<double> g_start_depth;  // m, ground to table at the start, per cell

bool watch_slope(model_state& m, const char* step) {
    const std::string s = step;
    if (s == "init_run_times") {
        g_start_depth.assign(static_cast<std::size_t>(m.ncells) + 1, 0.0);
        for (int k = 1; k <= m.ncells; ++k) g_start_depth[static_cast<std::size_t>(k)] = m.elev[k] - m.elevgw[k];
    }
    if (s == "close_output_files") {
        g_overall = global_water_balance(m).overall_error;
        for (int k = 1; k <= m.ncells; ++k) {
            // m: SOIL_MOIST_DEPTH, or layers 1 and 2 of the cell's class
            const double stores = !m.inf_layered_on ? 0.4 : m.soiltype[k] == 1 ? 0.4 : 0.5;
            if (g_start_depth[static_cast<std::size_t>(k)] > stores && m.elev[k] - m.elevgw[k] < stores) ++g_risen;
        }
    }
    return true;
}

// 30 mm/h for 30 minutes over four hours, by Green and Ampt with
// redistribution or through layered soils whose two classes keep stores of
// 0.4 and 0.5 m, over an aquifer 8 m deep whose table lies `depth` m down:
// the aquifer drains from the knolls into the hollows, and the run's global
// balance closes to 1e-6 percent wherever the table starts.
TEST(SoilAquiferExchange, ShallowTablesUnderTheSoilStoresCloseTheRunsBalance) {
    const struct {
        const char* method;
        double depth;  // m
        bool rises;    // some table rises from below the stores into them
    } runs[] = {
        {"INF_REDIST\n", 0.2, false}, {"INF_REDIST\n", 0.45, true},       {"INF_REDIST\n", 1.0, false},
        {"INF_REDIST\n", 3.0, false}, {"INF_LAYERED_SOIL\n", 0.45, true}, {"INF_LAYERED_SOIL\n", 3.0, false},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string(run.method) + " under a table " + std::to_string(run.depth) + " m down");
        kesta_test::temp_dir dir(true);
        const auto grid = [&](auto value, const char* format) {
            return grid_of(6, 9, 30.0, [&](int r, int c) { return double(value(r, c)); }, format);
        };
        dir.write("mask.asc", grid([](int, int) { return 1; }, "%.0f "));
        dir.write("elev.asc", grid(slope_ground, "%.4f "));
        dir.write("wt.asc", grid([&](int r, int c) { return slope_ground(r, c) - run.depth; }, "%.4f "));
        dir.write("bot.asc", grid([](int r, int c) { return slope_ground(r, c) - 8.0; }, "%.4f "));
        dir.write("bound.asc", grid([](int, int) { return 1; }, "%.0f "));
        dir.write("soils.asc", grid([](int r, int c) { return (r + c) % 3 ? 1 : 2; }, "%.0f "));
        dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.asc \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                           "NUM_IDS 2\nhdr\n" + table_row(1, "0.65 16.68 0.486 0.234 0.015 0.33 0.13") +
                               table_row(2, "1.09 11.01 0.453 0.322 0.041 0.21 0.09") +
                               "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.3") +
                               table_row(2, "0.18"));
        // Per layer: Ks, pore index, Hc, porosity, field capacity, wilting
        // point, residual, initial moisture, depth (cm; none for layer 3).
        dir.write("layers.txt", "2 0\n1\n0.65 0.234 16.68 0.486 0.33 0.13 0.015 0.3 10\n"
                                "0.34 0.252 8.89 0.434 0.27 0.12 0.027 0.22 30\n1.0 0.3 5 0.45 0.2 0.08 0.04 0.2\n"
                                "2\n0.34 0.252 8.89 0.434 0.27 0.12 0.027 0.22 15\n"
                                "1.09 0.322 11.01 0.453 0.21 0.09 0.041 0.18 35\n1.0 0.3 5 0.45 0.2 0.08 0.04 0.2\n");
        const bool layered = std::string(run.method) == "INF_LAYERED_SOIL\n";
        dir.write("run.prj",
                  std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 6\nCOLS 9\n"
                              "OUTROW 6\nOUTCOL 9\nOUTSLOPE 0.01\nTOT_TIME 240\nTIMESTEP 10\nOVERTYPE EXPLICIT\n"
                              "MANNING_N 0.05\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\nPRECIP_UNIF\n"
                              "RAIN_INTENSITY 30\nRAIN_DURATION 30\nSUPER_QUIET\nSUMMARY run.sum\n"
                              "OUTLET_HYDRO out.hyd\nWATER_TABLE wt.asc\nAQUIFER_BOTTOM bot.asc\nGW_SIMULATION\n"
                              "GW_UNIF_HYCOND 20\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\nGW_BOUNDFILE bound.asc\n") +
                      run.method +
                      (layered ? "SOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n"
                               : "MAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.1\nSOIL_MOIST_DEPTH 0.4\n"));
        g_overall = 1.0;
        g_risen = 0;
        const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_slope);
        const std::string summary = kesta_test::read_file(dir.file("run.sum"));
        ASSERT_EQ(r.rc, 0) << r.out << summary;
        EXPECT_LT(std::fabs(g_overall), 1e-6) << summary;
        EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 1e-6) << summary;
        EXPECT_LT(std::fabs(value_after(summary, "Simple soil moisture mass balance =")), 1e-6) << summary;
        EXPECT_LT(std::fabs(value_after(summary, "Mass Balance error =")), 0.005) << summary;
        // Downhill the aquifer lifted tables from below the stores into them.
        if (run.rises) {
            EXPECT_GT(g_risen, 0);
        }
    }
}

// ---- a column under steady rain ----------------------------------------

// Nine equal cells of 30 m on flat ground at 100 m, so that each is a column
// of its own: the aquifer has no gradient, and 30 mm/h falls on soil that
// takes 50 mm/h. Soil and aquifer share the porosity 0.4, so the aquifer
// holds 0.4 m of water per metre of head wherever the table stands below
// the ground; the soil below the 0.4 m stores holds 0.4 x 0.75 (the default
// SINGLE_UNSAT_SAT) per metre.
constexpr int kColumnCells = 9;
constexpr double kColumnArea = kColumnCells * 900.0;  // m2
constexpr double kRain = 0.030 / 3600.0;              // m/s
constexpr double kStep = 10.0;                        // s, model and groundwater step
constexpr double kPorosity = 0.4, kBand = 0.4 * 0.75;
constexpr double kStores = 0.4, kBottom = 95.0, kGround = 100.0;
constexpr double kStartTable = kGround - 0.55;
constexpr double kStartSoil = 0.3 * kStores;  // m, initial moisture 0.3 over the stores

// What the columns hold after a groundwater step (m3 over the nine cells,
// the head in m).
struct column_state {
    double time = 0.0;  // Julian day
    double head = 0.0;
    double stores = 0.0;   // soil stores, and infiltrated water they have not taken yet
    double surface = 0.0;  // water on the ground
    double drain = 0.0;    // drained from the stores, not yet in the aquifer
    double given = 0.0;    // given by the soil below the stores, not yet in the aquifer
};
std::vector<column_state> g_steps;
column_state g_end;

column_state column_now(const model_state& m) {
    column_state c;
    c.time = m.time;
    for (int k = 1; k <= m.ncells; ++k) {
        c.head += m.elevgw[k] / kColumnCells;
        c.stores += (m.Ws1[k] / 100.0 + m.sm_inf_depth[k]) * 900.0;
        c.surface += m.h[k] * 900.0;
        c.drain += m.bottomfav[k] / 100.0 * 900.0;
        c.given += m.gw_unsat_exchange[k] / 100.0 * 900.0;
    }
    return c;
}

bool watch_column(model_state& m, const char* step) {
    const std::string s = step;
    if (s == "step_overland_lake_extent") g_steps.push_back(column_now(m));  // just after the groundwater step
    if (s == "close_output_files") g_end = column_now(m);
    return true;
}

// Water held below the stores, above a table `table` m high (m3).
double band_water(double table) { return std::max(kGround - table - kStores, 0.0) * kBand * kColumnArea; }

// 100 minutes of steady rain on the columns, whose table starts 0.55 m
// down and rises into the stores. Every drop that fell is in the stores,
// in the soil below them, in the aquifer (0.4 per metre of head), on its
// way between them, on the ground or gone at the outlet; and while the table
// stays below the stores it rises by what drained out of them plus what the
// soil it rose through held, over the porosity.
TEST(SoilAquiferExchange, ARisingTableKeepsEveryDropOfAColumnUnderSteadyRain) {
    kesta_test::temp_dir dir(true);
    const auto flat = [](double v) { return grid_of(3, 3, 30.0, [v](int, int) { return v; }, "%.2f "); };
    const std::string ones = grid_of(3, 3, 30.0, [](int, int) { return 1; }, "%d ");
    dir.write("mask.asc", ones);
    dir.write("soil.asc", ones);
    dir.write("bound.asc", ones);
    dir.write("elev.asc", flat(kGround));
    dir.write("wt.asc", flat(kStartTable));
    dir.write("bot.asc", flat(kBottom));
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soil.asc \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                       "NUM_IDS 1\nhdr\n" + table_row(1, "5.0 5.0 0.4 0.3 0.03 0.2 0.08") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.3"));
    dir.write("run.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
                         "OUTROW 3\nOUTCOL 3\nOUTSLOPE 0.01\nTOT_TIME 100\nTIMESTEP 10\nMANNING_N 0.05\n"
                         "START_DATE 2021 7 14\nSTART_TIME 14 0\nPRECIP_UNIF\nRAIN_INTENSITY 30\nRAIN_DURATION 100\n"
                         "SUPER_QUIET\nSUMMARY run.sum\nOUTLET_HYDRO out.hyd\nWATER_TABLE wt.asc\n"
                         "AQUIFER_BOTTOM bot.asc\nGW_SIMULATION\nGW_UNIF_HYCOND 20\nGW_UNIF_POROSITY 0.4\n"
                         "GW_TIMESTEP 10\nGW_BOUNDFILE bound.asc\nINF_REDIST\nMAPPING_TABLE t.cmt\n"
                         "TOP_LAYER_DEPTH 0.1\nSOIL_MOIST_DEPTH 0.4\n");
    g_steps.clear();
    g_end = column_state{};
    const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_column);
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    ASSERT_EQ(r.rc, 0) << r.out << summary;
    // The passes of the time loop, 10 s apart, span the 100 minutes.
    ASSERT_GT(g_steps.size(), 500u);
    const double t0 = g_steps.front().time;
    EXPECT_NEAR((g_steps.back().time - t0) * 86400.0, 6000.0, 1e-3);

    // The table rose from below the stores into them, and stayed under the ground.
    EXPECT_LT(kGround - g_end.head, kStores);
    EXPECT_GT(kGround - g_end.head, 0.3);

    const double rain = kRain * 6000.0 * kColumnArea;  // m3, 100 minutes
    const double start = kStartSoil * kColumnArea + band_water(kStartTable) +
                         kPorosity * (kStartTable - kBottom) * kColumnArea;
    const double end = g_end.stores + band_water(g_end.head) + kPorosity * (g_end.head - kBottom) * kColumnArea +
                       g_end.drain + g_end.given + g_end.surface;
    const double discharge = value_after(summary, "Total amount of discharge=");
    EXPECT_NEAR(rain, end - start + discharge, 1e-6 * rain) << summary;
    EXPECT_LT(std::fabs(value_after(summary, "Overall mass balance error =")), 1e-6) << summary;

    // Step by step below the stores: the aquifer has taken what drained out
    // of the stores up to this step and the soil's water below the stores
    // the table had risen through by the step before.
    int below = 0;
    for (std::size_t n = 0; n < g_steps.size(); ++n) {
        const column_state& c = g_steps[n];
        if (kGround - c.head <= kStores) break;
        ++below;
        const double before = n > 0 ? g_steps[n - 1].head : kStartTable;
        const double seconds = std::min((c.time - t0) * 86400.0 + kStep, 6000.0);  // to the end of the pass
        const double fallen = kRain * seconds * kColumnArea;
        const double drained = fallen - (c.stores - kStartSoil * kColumnArea) - c.surface - c.drain;
        const double released = band_water(kStartTable) - band_water(before);
        EXPECT_NEAR(kPorosity * (c.head - kStartTable) * kColumnArea, drained + released, 1e-6 * rain) << n;
    }
    EXPECT_GT(below, 100);
    EXPECT_LT(below, static_cast<int>(g_steps.size()));
}

}  // namespace
