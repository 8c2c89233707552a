// Overland sediment: the settling and splash laws against hand-computed
// values, a whole run on a small tilted grid whose every class keeps its
// volume to round-off and whose outputs agree with the books, and the
// inputs the set-up refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace {

using kesta_test::grid_of;
using kesta_test::table_row;

// Viscosity (7.1179e-6 / 9990) x (6025.52 / 65.28)^1.6012 at 20 C;
// Stokes (s - 1) g d^2 / (18 nu) for 0.05 mm; Julien for 0.5 mm with D* =
// (1.65 x 9.81 / nu^2)^0.3333333 d = 12.656. Splash of 50 mm/h with K 60
// on a dry 10 m cell over 60 s: 60 x 6.12e-8 x 50^1.4242 x 60 x 100 /
// (2.65 x 998.2).
TEST(SedimentLaws, ViscositySettlingAndSplashGiveTheHandComputedValues) {
    const double nu = kesta::water_viscosity(20.0);
    EXPECT_NEAR(nu, 9.98821e-7, 1e-11);
    EXPECT_NEAR(kesta::settling_velocity(0.05, 2.65, nu), 2.25078e-3, 1e-8);
    EXPECT_NEAR(kesta::settling_velocity(0.5, 2.65, nu), 7.03620e-2, 1e-7);
    EXPECT_NEAR(kesta::splash_volume(50.0, 0.0, 60.0, 10.0, 60.0), 2.18909e-3, 1e-8);
    // Water twice a drop deep damps the splash by exp(-1); up to a drop deep not at all.
    const double drop = kesta::rain_drop_diameter(50.0);
    EXPECT_NEAR(kesta::splash_volume(50.0, 2.0 * drop, 60.0, 10.0, 60.0), 2.18909e-3 * std::exp(-1.0), 1e-8);
    EXPECT_EQ(kesta::splash_volume(50.0, drop, 60.0, 10.0, 60.0), kesta::splash_volume(50.0, 0.0, 60.0, 10.0, 60.0));
    // A class of which nothing was eroded balances at 0 %, not at a division by nothing.
    EXPECT_EQ(kesta::sediment_balance_error(1e-16, 0.0), 0.0);
}

constexpr int kRows = 4, kCols = 5;
constexpr double kCell = 10.0;

double ground(int r, int c) { return 100.0 + 0.2 * (c - 1) + 0.1 * (r - 1); }

// Three classes (clay, silt, sand). The ground rises to the south-east, so
// the water runs north-west, against the order the faces are visited, to
// the outlet in the north-west corner, which has neighbours on its right
// and below. Zone 2 (the two eastern columns) has a critical shear no flow
// reaches and almost no splash: its parent soil must stay whole.
std::string mapping_tables() {
    const std::string pad(40 - 4, ' ');
    return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Soils\"\n"
           "SEDIMENTS\nNUM_SED 3\nclass specific_gravity diameter binding file\n"
           "clay" + pad + "2.65 0.002 0.1 a.out\nsilt" + pad + "2.65 0.02 0.1 b.out\n"
           "sand" + pad + "2.65 0.5 0 c.out\n"
           "SOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 2\nNUM_SED 3\nID tc_C tc_I tc_R K Kd Id Cd sed_K f1 f2 f3\n" +
           table_row(1, "0.5 1.0 0.0 0 0 0 0 1.0 0.3 0.4 0.3") +
           table_row(2, "0.5 1.0 0.0 1e-30 3e-5 1.5 1e6 1.0 0.2 0.5 0.3");
}

std::string project(const std::string& extra) {
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 4\nCOLS 5\n"
           "OUTROW 1\nOUTCOL 1\nOUTSLOPE 0.02\nMANNING_N 0.05\nTOT_TIME 60\nTIMESTEP 6\nPRECIP_UNIF\n"
           "RAIN_INTENSITY 50\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nSUMMARY summ.out\n"
           "OUTLET_HYDRO hyd.out\nHYD_FREQ 0.1\nMAPPING_TABLE tables.cmt\nSOIL_EROSION 2\nSAND_SIZE 0.1\n"
           "OUTLET_SED_FLUX sed.out\nSUPER_QUIET\n" +
           extra;
}

void write_inputs(const kesta_test::temp_dir& dir, const std::string& tables, const std::string& extra) {
    dir.write("mask.asc", grid_of(kRows, kCols, kCell, [](int, int) { return 1; }, "%d "));
    dir.write("elev.asc", grid_of(kRows, kCols, kCell, ground, "%.3f "));
    dir.write("zones.asc", grid_of(kRows, kCols, kCell, [](int, int c) { return c >= 4 ? 2 : 1; }, "%d "));
    dir.write("tables.cmt", tables);
    dir.write("p.prj", project(extra));
}

// What the run left, seen before the end-of-run summaries.
struct sediment_watch {
    std::vector<double> eroded, kept;  // by class: parent soil detached; suspended + deposited + outlet
    double outlet = 0.0;               // m3 through the outlet, all classes
    double zone2_parent = 0.0;         // largest parent-soil change of a zone-2 cell
    std::vector<double> elev, net;     // by cell, ground and net deposition
    int fluxes_checked = 0, cells_without_flux = 0;
    double flux_most = 0.0, flux_last = 0.0;  // the grid's outgoing fluxes added up, at any step and at the last
};
sediment_watch* g_watch = nullptr;

bool watch(kesta::model_state& m, const char* name) {
    const std::string step = name;
    if (!m.ov_sed) return true;
    const kesta::sed_record& s = *m.ov_sed;
    if (step == "step_storm_drain" && !s.ov_qsmax.empty()) {
        double flux = 0.0;
        for (int i = 1; i <= m.ncells; ++i) flux += s.ov_qsmax[i];
        g_watch->flux_most = std::max(g_watch->flux_most, flux);
        g_watch->flux_last = flux;
    }
    // In the rain, every zone-1 cell passes sediment on towards the outlet.
    if (step == "step_storm_drain" && m.elapsed_min > 15.0 && m.elapsed_min < 25.0) {
        ++g_watch->fluxes_checked;
        for (int r = 1; r <= kRows; ++r)
            for (int c = 1; c <= 3; ++c)
                if (!(s.ov_qsmax[m.mask[r][c]] > 0.0)) ++g_watch->cells_without_flux;
    }
    if (step != "write_final_summaries") return true;
    for (int k = 1; k <= s.num_sed; ++k) {
        double eroded = 0.0, kept = s.outlet_vol[k];
        for (int i = 1; i <= m.ncells; ++i) {
            eroded -= s.vol_sed.parent[i][k];
            kept += s.vol_sed.suspended[i][k] + s.vol_sed.deposited[i][k];
        }
        g_watch->eroded.push_back(eroded);
        g_watch->kept.push_back(kept);
    }
    g_watch->outlet = s.outlet_vol[0];
    for (int r = 1; r <= kRows; ++r)
        for (int c = 4; c <= kCols; ++c)
            for (int k = 1; k <= s.num_sed; ++k)
                g_watch->zone2_parent = std::max(g_watch->zone2_parent, std::fabs(s.vol_sed.parent[m.mask[r][c]][k]));
    for (int i = 1; i <= m.ncells; ++i) {
        g_watch->elev.push_back(m.elev[i]);
        g_watch->net.push_back(s.ov_qsvol[i]);
    }
    return true;
}

using kesta_test::numbers;

// Grid values after the six header lines.
std::vector<double> grid_values(const std::string& text) {
    std::size_t at = 0;
    for (int line = 0; line < 6; ++line) at = text.find('\n', at) + 1;
    return numbers(text.substr(at));
}

TEST(OverlandSediment, EveryClassKeepsItsVolumeAndTheOutputsAgreeWithTheBooks) {
    kesta_test::temp_dir dir(true);
    write_inputs(dir, mapping_tables(),
                 "MAP_TYPE 1\nMAP_FREQ 10\nMAX_SED_FLUX flux.dat\nNET_SED_VOLUME net.dat\n"
                 "VOL_SED_SUSP susp.dat\nADJUST_ELEV adjusted.asc\n");
    sediment_watch w;
    g_watch = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch);
    g_watch = nullptr;
    ASSERT_EQ(run.rc, 0) << run.out;

    // Detached parent soil = suspended + deposited + out of the outlet, class by class.
    ASSERT_EQ(w.eroded.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_GT(w.eroded[k], 1e-3) << k;
        EXPECT_NEAR(w.kept[k], w.eroded[k], 1e-12 * w.eroded[k]) << k;
    }
    EXPECT_GT(w.outlet, 1e-3);
    EXPECT_LT(w.zone2_parent, 1e-25);  // what the splash of K 1e-30 takes
    EXPECT_GT(w.fluxes_checked, 0);
    EXPECT_EQ(w.cells_without_flux, 0);
    // A cell's flux is that of the step alone: it falls as the flow recedes
    // after the rain.
    EXPECT_LT(w.flux_last, 0.5 * w.flux_most) << w.flux_last << " of " << w.flux_most;

    // The outlet series carries every class: its rates over the 6 s steps
    // add up to what left.
    const std::vector<double> series = numbers(kesta_test::read_file("sed.out"));
    ASSERT_EQ(series.size(), 2u * 601u);
    double left = 0.0;
    for (std::size_t i = 1; i < series.size(); i += 2) left += series[i] * 6.0;
    EXPECT_NEAR(left, w.outlet, 0.02 * w.outlet);

    // The ground as the run leaves it: each cell's net deposition over its 100 m2.
    const std::vector<double> adjusted = grid_values(kesta_test::read_file("adjusted.asc"));
    ASSERT_EQ(adjusted.size(), w.elev.size());
    for (std::size_t i = 0; i < adjusted.size(); ++i) {
        const int r = static_cast<int>(i) / kCols + 1, c = static_cast<int>(i) % kCols + 1;
        EXPECT_NEAR(adjusted[i], ground(r, c) + w.net[i] / (kCell * kCell), 2e-6) << i;
        EXPECT_NEAR(adjusted[i], w.elev[i], 1e-6) << i;
    }

    // Each map is one dataset, its header once, ended once.
    for (const char* file : {"flux.dat", "net.dat", "susp.dat"}) {
        const std::string text = kesta_test::read_file(file);
        EXPECT_EQ(text.rfind("DATASET\n", 0), 0u) << file;
        EXPECT_EQ(text.find("DATASET\n", 1), std::string::npos) << file;
        EXPECT_EQ(text.find("ENDDS\n"), text.size() - 6) << file;
        EXPECT_NE(text.find("TS 1 "), std::string::npos) << file;
    }

    const std::string summary = kesta_test::read_file("summ.out");
    EXPECT_NE(summary.find("Overland soil erosion.\n"), std::string::npos);
    EXPECT_NE(summary.find("     sediment outflow at the catchment outlet (sed.out).\n"), std::string::npos);
    // The event's section and the run's: each class's error, in percent.
    const std::string label = "Mass balance error for sediment ";
    int errors = 0;
    for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1), ++errors)
        EXPECT_LT(std::fabs(std::stod(summary.substr(at + label.size() + 2))), 1e-4) << summary.substr(at, 60);
    EXPECT_EQ(errors, 6);
    EXPECT_NE(summary.find("Total sediment 2 routed through outlet       "), std::string::npos);
}

// The transport capacities the last step left, checked after every step:
// a face's capacity (m3) is that of its source cell, the cell upstream of
// it, and with one SED_K and no TC_R on the grid every capacity is the same
// multiple of q^2.035 S^1.6667 (q the face's unit discharge, S its
// water-surface slope), whichever way the water crosses the face.
struct capacity_watch {
    int compared = 0;          // capacities found and compared
    int upstream_sources = 0;  // of them, sources that were the neighbour of the face's own cell
    int not_real = 0;          // capacities that are not a number
    double worst = 0.0;        // largest relative departure from the step's first multiple
};
capacity_watch* g_capacity = nullptr;

bool watch_capacity(kesta::model_state& m, const char* name) {
    if (std::string(name) != "step_storm_drain" || !m.ov_sed || m.ov_sed->qsx.empty()) return true;
    const kesta::sed_record& s = *m.ov_sed;
    capacity_watch& w = *g_capacity;
    double multiple = 0.0;
    for (const bool x : {true, false}) {
        const kesta::vec1<double>& q = x ? m.qx : m.qy;
        const kesta::vec1<double>& slope = x ? s.Sfx : s.Sfy;
        const kesta::vec1<double>& cap = x ? s.qsx : s.qsy;
        // The face that wrote each source's capacity last: faces are taken
        // cell by cell in order.
        std::vector<int> writer(m.ncells + 1, 0);
        for (int i = 1; i <= m.ncells; ++i) {
            const int j = x ? m.rightcon[i] : m.belowcon[i];
            if (j) writer[q[i] >= 0.0 ? i : j] = i;
        }
        for (int src = 1; src <= m.ncells; ++src) {
            if (!std::isfinite(cap[src])) ++w.not_real;
            const int face = writer[src];
            if (!face || !(cap[src] > 0.0)) continue;
            const double unit = std::fabs(q[face]) / m.gridsize;
            const double here = cap[src] / (std::pow(unit, 2.035) * std::pow(std::fabs(slope[face]), 1.6667));
            if (multiple == 0.0) multiple = here;
            w.worst = std::max(w.worst, std::fabs(here / multiple - 1.0));
            ++w.compared;
            if (face != src) ++w.upstream_sources;
        }
    }
    return true;
}

// What a run whose erosion outgrows the soil left, seen after every step.
struct runaway_watch {
    double most_lost = 0.0;     // m of parent soil the worst cell lost
    double most_fallen = 0.0;   // m the ground of the worst cell fell
    double misfit = 0.0;        // m3: parent soil lost less what is suspended, deposited or gone
    bool all_real = true;
    int steps = 0;
};
runaway_watch* g_runaway = nullptr;

bool watch_runaway(kesta::model_state& m, const char*) {
    if (!m.ov_sed || m.ov_sed->vol_sed.parent.empty() || m.elev.n() < m.ncells) return true;
    const kesta::sed_record& s = *m.ov_sed;
    runaway_watch& w = *g_runaway;
    ++w.steps;
    double lost = 0.0, kept = s.outlet_vol[0];
    for (int r = 1; r <= kRows; ++r) {
        for (int c = 1; c <= kCols; ++c) {
            const int i = m.mask[r][c];
            double cell = 0.0;
            for (int k = 1; k <= s.num_sed; ++k) {
                cell -= s.vol_sed.parent[i][k];
                kept += s.vol_sed.suspended[i][k] + s.vol_sed.deposited[i][k];
            }
            lost += cell;
            w.most_lost = std::max(w.most_lost, cell / (kCell * kCell));
            w.most_fallen = std::max(w.most_fallen, ground(r, c) - m.elev[i]);
            w.all_real = w.all_real && std::isfinite(cell) && std::isfinite(m.elev[i]);
        }
    }
    w.misfit = std::max(w.misfit, std::fabs(lost - kept));
    w.all_real = w.all_real && std::isfinite(kept);
    return true;
}

// Flow detachment strong enough to dig a metre of soil in minutes (DETACH_K
// 10, DETACH_I 3) where nothing carries the soil away (SED_K 0), with
// ADJUST_ELEV, which lowers the ground as it erodes and so steepens the
// flow: no cell ever gives more than 1 m of parent soil, its ground never
// falls further, every volume stays a number and every class keeps its
// volume; the run stops naming the table, the cell and its parameters.
TEST(OverlandSediment, ErosionBeyondTheSoilStopsTheRunNamingTheCellAndItsParameters) {
    kesta_test::temp_dir dir(true);
    std::string tables = mapping_tables();
    for (const char* row : {"0.5 1.0 0.0 0 0 0 0 1.0", "0.5 1.0 0.0 1e-30 3e-5 1.5 1e6 1.0"})
        tables.replace(tables.find(row), std::string(row).size(), "0 0 0 0 10 3 0 0");
    write_inputs(dir, tables, "ADJUST_ELEV adjusted.asc\n");
    runaway_watch w;
    g_runaway = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch_runaway);
    g_runaway = nullptr;
    EXPECT_NE(run.rc, 0);
    EXPECT_TRUE(kesta_test::has(run.out, "Error: the soil erosion cannot stay physical: at ")) << run.out;
    EXPECT_TRUE(kesta_test::has(run.out, " minutes rain splash and flow would take more than the 1 m of parent soil "
                                         "a cell gives in a run from cell "))
        << run.out;
    EXPECT_TRUE(kesta_test::has(run.out, "to which the SOIL_EROSION_PROPS table of mapping-table file tables.cmt "
                                         "gives TC_C 0, TC_I 0, TC_R 0, SPLASH_K 0, DETACH_K 10, DETACH_I 3, "
                                         "DETACH_C 0, SED_K 0; with ADJUST_ELEV the ground it loses steepens"))
        << run.out;
    EXPECT_GT(w.steps, 0);
    EXPECT_TRUE(w.all_real);
    EXPECT_GT(w.most_lost, 0.5);  // the run went on while the soil held
    EXPECT_LE(w.most_lost, 1.0 + 1e-12);
    EXPECT_LE(w.most_fallen, 1.0 + 1e-9);
    EXPECT_LT(w.misfit, 1e-9);
    EXPECT_TRUE(kesta_test::has(kesta_test::read_file("summ.out"), "cannot stay physical"));
}

capacity_watch capacities_of_run() {
    capacity_watch w;
    g_capacity = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch_capacity);
    g_capacity = nullptr;
    EXPECT_EQ(run.rc, 0) << run.out;
    return w;
}

// Water running against the cell order (to the north-west), so that every
// source passes its sediment on before it receives any; then with the
// order (to the south-east) through two columns whose soil holds nothing
// (class shares 0), which carry only the sediment they received earlier
// in the same step.
TEST(OverlandSediment, EachFaceCarriesTheCapacityOfItsUpstreamCell) {
    {
        kesta_test::temp_dir dir(true);
        write_inputs(dir, mapping_tables(), "");
        const capacity_watch w = capacities_of_run();
        EXPECT_GT(w.compared, 1000);
        EXPECT_GT(w.upstream_sources, 100);
        EXPECT_EQ(w.not_real, 0);
        EXPECT_LT(w.worst, 1e-12);
    }
    {
        kesta_test::temp_dir dir(true);
        std::string tables = mapping_tables();
        const std::string shares = "1e6 1.0 0.2 0.5 0.3";
        tables.replace(tables.find(shares), shares.size(), "1e6 1.0 0 0 0");
        write_inputs(dir, tables, "");
        dir.write("elev.asc",
                  grid_of(kRows, kCols, kCell, [](int r, int c) { return ground(kRows + 1 - r, kCols + 1 - c); },
                          "%.3f "));
        std::string prj = project("");
        prj.replace(prj.find("OUTROW 1\nOUTCOL 1"), 17, "OUTROW 4\nOUTCOL 5");
        dir.write("p.prj", prj);
        const capacity_watch w = capacities_of_run();
        EXPECT_GT(w.compared, 1000);
        EXPECT_EQ(w.not_real, 0);
        EXPECT_LT(w.worst, 1e-12);
    }
}

// Each class erodes as the share of the soil its row gives it: shares that
// add up to more than the whole soil are refused naming the row and the
// sum; shares that add up to clearly less run, with a warning in the
// summary.
TEST(OverlandSediment, ClassSharesOfARowMakeUpAtMostTheWholeSoil) {
    const auto with_shares = [](const std::string& shares) {
        std::string t = mapping_tables();
        const std::string from = "0.2 0.5 0.3";
        t.replace(t.find(from), from.size(), shares);
        return t;
    };
    {
        kesta_test::temp_dir dir;
        write_inputs(dir, with_shares("0.9 0.9 0.0"), "");
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.output.find("table SOIL_EROSION_PROPS, line 14: the row of ID 2 gives its sediment classes shares "
                                "of the parent soil that add up to 1.8; together they make up at most the whole "
                                "soil, 1 (within 0.02)"),
                  std::string::npos)
            << r.output;
    }
    // Two decimals of three thirds pass; half the soil runs with the warning.
    for (const char* shares : {"0.33 0.33 0.33", "0.1 0.2 0.2"}) {
        kesta_test::temp_dir dir;
        write_inputs(dir, with_shares(shares), "");
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string summary = kesta_test::read_file(dir.file("summ.out"));
        const bool half = std::string(shares) == "0.1 0.2 0.2";
        EXPECT_EQ(summary.find("line 14: the row of ID 2 gives its sediment classes shares of the parent soil that "
                               "add up to 0.5: a share 0.5 of the soil erodes as no class.") != std::string::npos,
                  half)
            << summary;
    }
}

// The index map and the SEDIMENTS table of `classes` classes of the given
// diameters (mm), the head of a mapping-table file.
std::string sediment_classes(int classes, const char* const* diameters) {
    std::string t = "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Soils\"\nSEDIMENTS\nNUM_SED " +
                    std::to_string(classes) + "\nclass specific_gravity diameter binding file\n";
    for (int k = 0; k < classes; ++k) {
        std::string name = "class " + std::to_string(k + 1);
        name.resize(40, ' ');
        t += name + "2.65 " + diameters[k] + " 0 c" + std::to_string(k + 1) + ".out\n";
    }
    return t;
}

// The tables of six classes (four fine, two sand) or of those six and a
// seventh (0.05 mm) of which neither soil holds any. Zone 2 detaches by
// the flow above a critical shear, with an exponent that is not 1.
std::string tables_of_classes(int classes) {
    const char* const diameters[] = {"0.002", "0.005", "0.01", "0.02", "0.2", "0.5", "0.05"};
    const std::string t = sediment_classes(classes, diameters);
    const std::string none = classes > 6 ? " 0" : "";
    return t + "SOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 2\nNUM_SED " + std::to_string(classes) +
           "\nID tc_C tc_I tc_R K Kd Id Cd sed_K shares\n" +
           table_row(1, "0.5 1.0 0.0 0 0 0 0 1.0 0.2 0.15 0.1 0.2 0.2 0.15" + none) +
           table_row(2, "0.5 1.0 0.0 30 3e-5 1.5 2 1.0 0.1 0.2 0.2 0.1 0.3 0.1" + none);
}

// Every volume of classes 1..6 of every cell and the outlet's, and the
// flux leaving each cell, when the run ends.
std::vector<double>* g_volumes = nullptr;

bool keep_volumes(kesta::model_state& m, const char* name) {
    if (!m.ov_sed || std::string(name) != "write_final_summaries") return true;
    const kesta::sed_record& s = *m.ov_sed;
    for (int i = 1; i <= m.ncells; ++i) {
        for (int k = 1; k <= 6; ++k) {
            for (const kesta::mat2<double>* t : {&s.vol_sed.parent, &s.vol_sed.suspended, &s.vol_sed.deposited})
                g_volumes->push_back((*t)[i][k]);
        }
        g_volumes->push_back(s.ov_qsmax[i]);
    }
    for (int k = 1; k <= 6; ++k) g_volumes->push_back(s.outlet_vol[k]);
    return true;
}

// A class that the soil does not hold changes nothing of the others: six
// classes, whose step is compiled for their count, and the same six with a
// seventh of no share, stepped for any count, end with the same volumes,
// bit for bit (a class with nothing adds exact zeros to every sum).
TEST(OverlandSediment, AClassTheSoilDoesNotHoldChangesNothingOfTheOthers) {
    std::vector<double> runs[2];
    for (int r = 0; r < 2; ++r) {
        kesta_test::temp_dir dir(true);
        write_inputs(dir, tables_of_classes(6 + r), "MAP_TYPE 1\nMAP_FREQ 10\nMAX_SED_FLUX flux.dat\n");
        g_volumes = &runs[r];
        const kesta_test::model_run run = kesta_test::run_in_process("p.prj", keep_volumes);
        g_volumes = nullptr;
        ASSERT_EQ(run.rc, 0) << run.out;
    }
    ASSERT_EQ(runs[0].size(), static_cast<std::size_t>(kRows * kCols * 19 + 6));
    ASSERT_EQ(runs[1].size(), runs[0].size());
    double moved = 0.0;
    for (std::size_t k = 0; k < runs[0].size(); ++k) {
        EXPECT_EQ(runs[1][k], runs[0][k]) << k;
        moved += std::fabs(runs[0][k]);
    }
    EXPECT_GT(moved, 1e-3);
    EXPECT_GT(runs[0].back(), 0.0);  // sand left through the outlet
}

// The cell whose parent soil of class 2 becomes not a number once the
// rain has wet the grid, as another process might leave it (0 once done).
int g_poisoned_cell = 0;

bool poison_parent(kesta::model_state& m, const char* name) {
    if (!m.ov_sed || std::string(name) != "step_storm_drain" || m.elapsed_min < 10.0 || g_poisoned_cell == 0)
        return true;
    m.ov_sed->vol_sed.parent[g_poisoned_cell][2] = std::nan("");
    g_poisoned_cell = 0;
    return true;
}

// A volume that is not a number stops the run at the next erosion step,
// which names the class and the cell, the grid's last cell too.
TEST(OverlandSediment, AVolumeThatIsNotANumberStopsTheRunNamingItsCell) {
    for (const int cell : {7, kRows * kCols}) {
        kesta_test::temp_dir dir(true);
        write_inputs(dir, mapping_tables(), "");
        g_poisoned_cell = cell;
        const kesta_test::model_run run = kesta_test::run_in_process("p.prj", poison_parent);
        EXPECT_EQ(g_poisoned_cell, 0) << cell;  // the volume was poisoned
        g_poisoned_cell = 0;
        EXPECT_NE(run.rc, 0) << cell;
        const std::string message = "PT 3 eroded soil particle  2=Nan at grid " + std::to_string(cell) + "\n";
        EXPECT_TRUE(kesta_test::has(kesta_test::read_file("summ.out"), message)) << message;
    }
}

// One erosion step on still water (no face carries, every receiver lets all
// it holds settle) where every cell is bare but X, in suspension, and Y,
// with a negative trace of class 1: what X and Y hold after it, and the
// faces whose capacity was not written (stale).
struct bare_step {
    std::vector<double> x_before, x_suspended, x_deposited;
    double y_suspended = 1.0;
    int stale = -1;
};
bare_step* g_bare = nullptr;

bool step_on_bare_cells(kesta::model_state& m, const char* name) {
    if (g_bare->stale >= 0 || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    kesta::sed_record& s = *m.ov_sed;
    const int x = m.mask[2][3], y = m.mask[3][2];
    for (int i = 1; i <= m.ncells; ++i) {
        for (int k = 1; k <= s.num_sed; ++k) s.vol_sed.suspended[i][k] = s.vol_sed.deposited[i][k] = 0.0;
        m.qx[i] = m.qy[i] = 0.0;
        s.qsx[i] = s.qsy[i] = 1.0;
    }
    for (kesta::vec1<double>* rain : {&m.ri, &m.ri_eff}) rain->fill(0.0);
    for (int k = 1; k <= s.num_sed; ++k) g_bare->x_before.push_back(s.vol_sed.suspended[x][k] = 1e-3 * k);
    s.vol_sed.suspended[y][1] = -1e-30;
    kesta::overland_sediment_transport(m, 6.0);
    for (int k = 1; k <= s.num_sed; ++k) {
        g_bare->x_suspended.push_back(s.vol_sed.suspended[x][k]);
        g_bare->x_deposited.push_back(s.vol_sed.deposited[x][k]);
    }
    g_bare->y_suspended = s.vol_sed.suspended[y][1];
    g_bare->stale = 0;
    for (int i = 1; i <= m.ncells; ++i)
        g_bare->stale += (m.rightcon[i] && s.qsx[i] != 0.0) + (m.belowcon[i] && s.qsy[i] != 0.0);
    return true;
}

// A face whose source holds nothing moves nothing, but its receiver still
// lets its suspension settle and the face's capacity is still written (0);
// a source that holds a negative trace is not bare: the trace moves on.
TEST(OverlandSediment, BareSourcesMoveNothingWhileTheirReceiversSettle) {
    kesta_test::temp_dir dir(true);
    write_inputs(dir, mapping_tables(), "");
    bare_step w;
    g_bare = &w;
    kesta_test::run_in_process("p.prj", step_on_bare_cells);
    g_bare = nullptr;
    ASSERT_EQ(w.x_suspended.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(w.x_suspended[k], 0.0) << k;
        EXPECT_EQ(w.x_deposited[k], w.x_before[k]) << k;
    }
    EXPECT_EQ(w.y_suspended, 0.0);
    EXPECT_EQ(w.stale, 0);
}

// One erosion step taken three times from the same state in the rain: as
// a run without books or lakes takes it; with the channel lakes on but no
// cell in a lake, which moves every face by the general path; and keeping
// each cell's outgoing flux and each face's volumes. What every cell holds
// after each.
struct three_steps {
    std::vector<double> plain, general, booked;
    double moved = 0.0;  // |change| over the plain step
};
three_steps* g_steps = nullptr;

std::vector<double> cell_volumes(const kesta::model_state& m) {
    const kesta::sed_record& s = *m.ov_sed;
    std::vector<double> v;
    for (int i = 1; i <= m.ncells; ++i) {
        for (int k = 0; k <= s.num_sed; ++k) {
            for (const kesta::mat2<double>* t : {&s.vol_sed.parent, &s.vol_sed.suspended, &s.vol_sed.deposited,
                                                  &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &s.sed_fract.deposit})
                v.push_back((*t)[i][k]);
        }
        v.push_back(s.qsx[i]);
        v.push_back(s.qsy[i]);
    }
    for (int k = 1; k <= s.num_sed; ++k) v.push_back(s.outlet_vol[k]);
    return v;
}

bool step_three_ways(kesta::model_state& m, const char* name) {
    if (!g_steps->plain.empty() || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    kesta::sed_record& s = *m.ov_sed;
    // Beside the cells the rain has loaded: a source whose suspension is a
    // negative trace, without deposit, in still water (no face of it
    // carries anything), and a bare source.
    const int trace = m.mask[2][4], bare = m.mask[3][5];
    for (int k = 1; k <= s.num_sed; ++k) {
        s.vol_sed.suspended[trace][k] = k == 1 ? -1e-30 : 0.0;
        s.vol_sed.deposited[trace][k] = 0.0;
        s.vol_sed.suspended[bare][k] = s.vol_sed.deposited[bare][k] = 0.0;
    }
    m.qx[trace] = m.qy[trace] = m.qx[m.mask[2][3]] = m.qy[m.mask[1][4]] = 0.0;
    // What the step changes, kept to take it again from the same state.
    kesta::mat2<double>* const tables[] = {&s.vol_sed.parent,    &s.vol_sed.suspended,   &s.vol_sed.deposited,
                                           &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &s.sed_fract.deposit};
    std::vector<std::vector<double>> kept;
    const std::size_t values = static_cast<std::size_t>(m.ncells + 1) * (s.num_sed + 1);
    for (kesta::mat2<double>* t : tables) kept.emplace_back(t->data(), t->data() + values);
    const std::vector<double> outlet(s.outlet_vol.data(), s.outlet_vol.data() + s.num_sed + 1);
    const auto restore = [&] {
        for (std::size_t t = 0; t < kept.size(); ++t) std::copy(kept[t].begin(), kept[t].end(), tables[t]->data());
        std::copy(outlet.begin(), outlet.end(), s.outlet_vol.data());
    };
    const std::vector<double> start = cell_volumes(m);
    kesta::overland_sediment_transport(m, 6.0);
    g_steps->plain = cell_volumes(m);
    for (std::size_t e = 0; e < start.size(); ++e) g_steps->moved += std::fabs(g_steps->plain[e] - start[e]);

    restore();
    m.chan_lakes_on = 1;
    m.lake_num = kesta::vec1<int>(m.ncells);  // no cell in a lake
    s.sed_vol_overland_to_lake = kesta::mat2<double>(1, s.num_sed);
    kesta::overland_sediment_transport(m, 6.0);
    g_steps->general = cell_volumes(m);
    m.chan_lakes_on = 0;
    m.lake_num = kesta::vec1<int>();
    s.sed_vol_overland_to_lake = kesta::mat2<double>();

    restore();
    s.ov_qsmax = kesta::vec1<double>(m.ncells);
    s.ov_sed_vol_qsx = kesta::mat2<double>(m.ncells, s.num_sed);
    s.ov_sed_vol_qsy = kesta::mat2<double>(m.ncells, s.num_sed);
    s.outlet_vol_step = kesta::vec1<double>(s.num_sed);
    kesta::overland_sediment_transport(m, 6.0);
    g_steps->booked = cell_volumes(m);
    return true;
}

// Faces between cells without lakes take a lean path of their own: it
// moves, settles and records capacities exactly as the general one, with
// or without books.
TEST(OverlandSediment, FacesWithoutLakesMoveAsTheGeneralPathDoes) {
    kesta_test::temp_dir dir(true);
    write_inputs(dir, mapping_tables(), "");
    three_steps w;
    g_steps = &w;
    kesta_test::run_in_process("p.prj", step_three_ways);
    g_steps = nullptr;
    ASSERT_FALSE(w.plain.empty());
    ASSERT_EQ(w.general.size(), w.plain.size());
    ASSERT_EQ(w.booked.size(), w.plain.size());
    EXPECT_GT(w.moved, 0.0);
    for (std::size_t e = 0; e < w.plain.size(); ++e) {
        EXPECT_EQ(w.general[e], w.plain[e]) << e;
        EXPECT_EQ(w.booked[e], w.plain[e]) << e;
    }
}

// Tables of clay, silt and sand, and for 7 classes four more of which no
// soil holds any; every detachment exponent 1, and the shares of zone 2
// 0.9 of its soil.
std::string tables_of_three(int classes) {
    const char* const diameters[] = {"0.002", "0.02", "0.5", "0.005", "0.05", "0.1", "0.2"};
    const std::string t = sediment_classes(classes, diameters);
    const std::string none = classes > 3 ? " 0 0 0 0" : "";
    return t + "SOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 2\nNUM_SED " + std::to_string(classes) +
           "\nID tc_C tc_I tc_R K Kd Id Cd sed_K shares\n" +
           table_row(1, "0.5 1.0 0.0 0 0 0 0 1.0 0.3 0.4 0.3" + none) +
           table_row(2, "0.5 1.0 0.0 30 3e-5 1 0.5 1.0 0.2 0.5 0.2" + none);
}

// One erosion step in the rain from a state set cell by cell: deposits
// none, smaller than what splash or shear detach, between the two, larger,
// and of negative zeros; cells without rain, without flow, on a channel;
// critical shears of 0, within and beyond the flow's; two cells, one in
// each zone (whose class shares make up the whole soil and 0.9 of it),
// with almost no parent soil left. The bits of what every cell holds after
// it (classes 0 to 3), and the message that stops the run.
struct varied_step {
    std::vector<std::uint64_t> bits;
    std::string message;
};
varied_step* g_varied = nullptr;

bool step_varied_cells(kesta::model_state& m, const char* name) {
    if (!g_varied->bits.empty() || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    kesta::sed_record& s = *m.ov_sed;
    const double erodible = 1.0 * kCell * kCell;  // m3 of parent soil a cell gives over a run
    const double deposits[] = {0.0, 1e-7, 1e-4, 1e-2, -0.0};
    for (int i = 1; i <= m.ncells; ++i) {
        const int c = i - 1;
        const bool drained = i == 9 || i == 13;
        for (int k = 1; k <= 3; ++k) {
            s.vol_sed.deposited[i][k] = drained ? 0.0 : deposits[c % 5];
            s.vol_sed.parent[i][k] = drained ? 1e-6 - erodible / 3.0 : -1e-3 * c;
        }
        s.channel_cells[i] = c % 6 == 3;
        if (c % 7 == 2) m.qx[i] = m.qy[i] = 0.0;
        if (c % 3 == 1 && !drained) {
            m.ri[i] = 0.0;
            if (m.ri_eff.n() >= m.ncells) m.ri_eff[i] = 0.0;
        }
        s.detach_C[i] = drained || c % 3 == 0 ? 0.0 : c % 3 == 1 ? 1e6 : 0.2;
    }
    kesta::overland_sediment_transport(m, 6.0);
    const auto keep = [](double x) {
        std::uint64_t b;
        std::memcpy(&b, &x, sizeof b);
        g_varied->bits.push_back(b);
    };
    for (int i = 1; i <= m.ncells; ++i) {
        for (int k = 0; k <= 3; ++k) {
            for (const kesta::mat2<double>* t : {&s.vol_sed.parent, &s.vol_sed.suspended, &s.vol_sed.deposited,
                                                  &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &s.sed_fract.deposit})
                if (k > 0 || t == &s.ov_sed_vol_eroded) keep((*t)[i][k]);
        }
        keep(s.qsx[i]);
        keep(s.qsy[i]);
    }
    return true;
}

// Three classes, whose detachment takes the cells eight at a time in
// vectors where the machine has them, and the same three with four more of
// no share, which take the cells one at a time, detach every one of the
// varied cells alike, bit for bit, and name the same first cell that ran
// out of parent soil.
TEST(OverlandSediment, CellsDetachedSideBySideGiveWhatEachGivesAlone) {
    varied_step runs[2];
    for (int r = 0; r < 2; ++r) {
        kesta_test::temp_dir dir(true);
        write_inputs(dir, tables_of_three(r == 0 ? 3 : 7), "");
        g_varied = &runs[r];
        runs[r].message = kesta_test::run_in_process("p.prj", step_varied_cells).out;
        g_varied = nullptr;
    }
    ASSERT_EQ(runs[0].bits.size(), static_cast<std::size_t>(kRows * kCols * 21));
    ASSERT_EQ(runs[1].bits.size(), runs[0].bits.size());
    for (std::size_t e = 0; e < runs[0].bits.size(); ++e) EXPECT_EQ(runs[1].bits[e], runs[0].bits[e]) << e;
    for (const varied_step& run : runs)
        EXPECT_TRUE(kesta_test::has(run.message, "parent soil a cell gives in a run from cell 9 ")) << run.message;
}

// Each input the set-up cannot simulate stops the run naming the file,
// line or card and the value; so does an output the run cannot write.
TEST(OverlandSediment, BadSedimentInputsAreRefusedNamingWhereAndWhat) {
    const std::string tables = mapping_tables();
    const auto replaced = [&tables](const std::string& from, const std::string& to) {
        std::string t = tables;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const struct {
        std::string tables, extra, message;
    } cases[] = {
        {tables, "SED_POROSITY 1\n", "SED_POROSITY 1 in project file p.prj"},
        {tables, "SOIL_EROSION 17\n", "SOIL_EROSION 17 in project file p.prj names no transport-capacity formula"},
        {tables, "SOIL_EROSION 7\n", "SOIL_EROSION 7 in project file p.prj names no transport-capacity formula"},
        // The classes carried as constituents: nothing erodes them for a
        // contaminant to bind to, the soil would move them as dissolved,
        // and the land holds none of them.
        {tables, "SOIL_EROSION 12\nOV_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\n",
         "SOIL_EROSION 12 in project file p.prj carries the sediment classes as constituents with the overland "
         "water, together with SEDIMENT_CONTAM"},
        {tables, "SOIL_EROSION 12\nSOIL_CON_TRANS\n", "together with SOIL_CON_TRANS: the soil layers would move"},
        {tables, "SOIL_EROSION 12\nCONTAM_MAP zones.asc\n",
         "CONTAM_MAP zones.asc in project file p.prj gives the land load of the first contaminant, and the project "
         "carries none"},
        {replaced("2.65 0.002", "2.65 0"), "", "line 6: class 1 has the particle diameter 0 mm"},
        {replaced("2.65 0.02", "1 0.02"), "", "line 7: class 2 has the specific gravity 1; it must be above 1"},
        // A grain no solid is dense enough to make would settle and load the
        // outlet's series with values beyond any number.
        {replaced("2.65 0.002", "1e308 0.002"), "",
         "line 6: class 1 has the specific gravity 1e+308; it must be above 1 (water) and at most 22.6"},
        {replaced("0.2 0.5 0.3", "0.2 0.5 1.5"), "",
         "line 14: the row of ID 2 gives sediment class 3 a share of 1.5 of the parent soil"},
        {replaced("SEDIMENTS\n", "NO_SEDIMENTS\n"), "",
         "sediments table missing in the .cmt file.\n  (mapping table file tables.cmt holds no SEDIMENTS table"},
        {replaced("SOIL_EROSION_PROPS", "SOIL_EROSION_PROP"), "",
         "Unable to read the soil erosion properties table"},
        {tables, "OUTLET_SED_FLUX \"\"\n", "no card OUTLET_SED_FLUX in project file p.prj names it"},
        {tables, "ADJUST_ELEV elev.asc\n", "card ADJUST_ELEV names elev.asc as its output file, but that file is"},
    };
    for (const auto& c : cases) {
        kesta_test::temp_dir dir;
        write_inputs(dir, c.tables, c.extra);
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.message << "\n" << r.output;
        EXPECT_EQ(kesta_test::read_file(dir.file("summ.out")).find("Overland Sediment Summary"), std::string::npos);
    }
}

}  // namespace

