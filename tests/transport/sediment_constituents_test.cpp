// Sediment classes carried as constituents (a SOIL_EROSION value of 10 or
// more): no sediment routine runs, the classes ride with the water as
// constituents from the point sources that bring them, and their mass
// balances close over land and in the channels and the lake.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "channel/lake_valley.hpp"
#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_of;
using kesta_test::read_file;
using kesta_test::table_row;
namespace valley = kesta_test::lake_valley;

// The number after `label` and the blanks or dots of its line.
double number_after(const std::string& text, std::size_t at, const std::string& label) {
    return std::stod(text.substr(text.find_first_not_of(" .", at + label.size())));
}

// Every "Contam mass balance error" and "Dissolved mass balance error" of
// the summary, in percent.
std::vector<double> balance_errors(const std::string& summary) {
    std::vector<double> errors;
    for (const std::string label : {"Contam mass balance error", "Dissolved mass balance error"}) {
        for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1))
            errors.push_back(number_after(summary, at, label));
    }
    return errors;
}

// One fine class.
std::string one_class() {
    return "SEDIMENTS\nNUM_SED 1\nclass specific_gravity diameter binding file\nsilt" + std::string(36, ' ') +
           "2.65 0.02 0.1 silt\n";
}

// One fine class over a whole grid of zone 1.
std::string one_class_tables() {
    return one_class() + "SOIL_EROSION_PROPS \"Zones\"\nNUM_IDS 1\nNUM_SED 1\n"
                         "ID tc_C tc_I tc_R K Kd Id Cd sed_K f1\n" +
           table_row(1, "0.5 1.0 0.0 60 2e-5 1.0 0 1.0 1.0");
}

// What a run left of the class, seen before the end-of-run summaries (g).
struct plane_watch {
    double entered = 0.0, left = 0.0, overland = 0.0, land = 0.0;
    double eroded = 0.0;  // |volume| the sediment routines moved, m3
    int slots = 0, first_class = 0, formula = 0;
    std::string name;
};
plane_watch* g_plane = nullptr;

bool watch_plane(kesta::model_state& m, const char* name) {
    if (std::string(name) != "write_final_summaries" || m.ncontam < 1) return true;
    plane_watch& w = *g_plane;
    w.slots = m.ncontam;
    w.first_class = m.first_sed_constituent;
    w.formula = m.ov_sed ? m.ov_sed->erosion_method : 0;
    w.name = m.contam_names[1];
    w.entered = m.OV_POINT_MASS.value(1) * 1000.0;
    w.left = m.OV_MASS_OUT.value(1) * 1000.0;
    for (int k = 1; k <= m.ncells; ++k) {
        w.overland += m.contam_mass[1][k];
        w.land += m.contam_land_mass[1][k];
        w.eroded += std::fabs(m.ov_sed->vol_sed.parent[k][1]) + m.ov_sed->vol_sed.suspended[k][1] +
                    m.ov_sed->vol_sed.deposited[k][1];
    }
    return true;
}

// A plane of 4 x 5 cells of 10 m tilted to its north-west corner, the
// outlet, under 50 mm/h of rain for half an hour, with SOIL_EROSION 12, the
// mapping tables `tables` and the project cards `cards` besides. A point
// source on the south-east corner gives 0.002 m3/s of water carrying
// 500 g/m3 of the class for 20 minutes, then falls to nothing over a
// minute: 2.46 m3 and 1230 g.
void write_plane(kesta_test::temp_dir& dir, const std::string& tables, const std::string& cards) {
    dir.write("mask.asc", grid_of(4, 5, 10.0, [](int, int) { return 1; }, "%d "));
    dir.write("elev.asc", grid_of(4, 5, 10.0, [](int r, int c) { return 100.0 + 0.2 * (c - 1) + 0.1 * (r - 1); },
                                  "%.3f "));
    dir.write("zones.asc", grid_of(4, 5, 10.0, [](int, int) { return 1; }, "%d "));
    dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Zones\"\n" + tables);
    dir.write("points.ts",
              "KESTA_TS\n4 5 0\nABSOLUTE\n2020 6 1 12 0 0.002\n2020 6 1 12 20 0.002\n2020 6 1 12 21 0\nEND_TS\n"
              "KESTA_TS\n4 5 1\nRELATIVE\n0 0 0 0 0 500\nEND_TS\n");
    dir.write("p.prj",
              "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 4\nCOLS 5\n"
              "OUTROW 1\nOUTCOL 1\nOUTSLOPE 0.02\nMANNING_N 0.05\nTOT_TIME 30\nTIMESTEP 6\nPRECIP_UNIF\n"
              "RAIN_INTENSITY 50\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nSUMMARY summ.out\n"
              "OUTLET_HYDRO hyd.out\nHYD_FREQ 0.1\nMAPPING_TABLE tables.cmt\nSOIL_EROSION 12\nSAND_SIZE 0.1\n"
              "OV_DISP_COEF 0.01\nOV_POINT_SOURCE points.ts\nMAP_TYPE 1\nMAP_FREQ 100\nSUPER_QUIET\n" + cards);
}

// Runs the plane of write_plane in `dir`, watched into `w`.
kesta_test::model_run run_plane(kesta_test::temp_dir& dir, const std::string& tables, const std::string& cards,
                                plane_watch& w) {
    write_plane(dir, tables, cards);
    g_plane = &w;
    kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch_plane);
    g_plane = nullptr;
    return run;
}

// In half an hour the class mass that entered equals what left at the
// outlet plus what stays in the water and on the land, to 1e-6 %; no soil
// was eroded; the class is reported as a constituent, its maps under its
// SEDIMENTS output name, and the sediment outputs it cannot have are said
// to have no effect.
TEST(SedimentAsConstituents, OneFineClassFromAPointSourceKeepsItsMassOnATiltedPlane) {
    kesta_test::temp_dir dir(true);
    plane_watch w;
    const kesta_test::model_run run = run_plane(dir, one_class_tables(), "OUTLET_SED_FLUX sed.out\n", w);
    ASSERT_EQ(run.rc, 0) << run.out;

    EXPECT_EQ(w.slots, 1);
    EXPECT_EQ(w.first_class, 1);
    EXPECT_EQ(w.formula, 2);
    EXPECT_EQ(w.name, "sediment class 1");
    EXPECT_NEAR(w.entered, 2.46 * 500.0, 1e-7 * w.entered);
    EXPECT_GT(w.left, 0.01 * w.entered);
    EXPECT_GT(w.overland + w.land, 0.01 * w.entered);
    EXPECT_NEAR(w.entered, w.left + w.overland + w.land, 1e-8 * w.entered);
    EXPECT_EQ(w.eroded, 0.0);

    const std::string summary = read_file(dir.file("summ.out"));
    const std::vector<double> errors = balance_errors(summary);
    EXPECT_EQ(errors.size(), 3u);  // the event's overland, the run's overland and global
    for (double e : errors) EXPECT_LT(std::fabs(e), 1e-6) << summary;
    EXPECT_NE(summary.find("Sediment classes carried as constituents.\n"), std::string::npos);
    EXPECT_EQ(summary.find("Overland Sediment Summary"), std::string::npos);
    EXPECT_NE(summary.find("Overland Contaminant Transport Summary for sediment class 1"), std::string::npos);
    EXPECT_NE(summary.find("OUTLET_SED_FLUX has no effect with SOIL_EROSION 12"), std::string::npos) << summary;
    EXPECT_FALSE(std::filesystem::exists(dir.file("sed.out")));
    for (const char* map : {"silt.conc", "silt.mass"})
        EXPECT_EQ(read_file(dir.file(map)).rfind("DATASET\n", 0), 0u) << map;
}

// Classes that nothing erodes need no SOIL_EROSION_PROPS table; FYSSI, a
// channel sediment output, is said to have no effect for that reason.
TEST(SedimentAsConstituents, RunsWithoutErosionPropertiesAndSaysWhyFyssiIsNotWritten) {
    kesta_test::temp_dir dir(true);
    plane_watch w;
    const kesta_test::model_run run = run_plane(dir, one_class(), "FYSSI fyssi.out\n", w);
    ASSERT_EQ(run.rc, 0) << run.out;
    EXPECT_EQ(w.first_class, 1);
    EXPECT_NEAR(w.entered, w.left + w.overland + w.land, 1e-8 * w.entered);
    const std::string summary = read_file(dir.file("summ.out"));
    EXPECT_NE(summary.find("FYSSI has no effect with SOIL_EROSION 12, which carries the sediment classes as "
                           "constituents"),
              std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("no channel sediment"), std::string::npos) << summary;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fyssi.out")));
}

// The lake valley with a tracer (INIT_CHAN_CONC 2, CHAN_DECAY_COEF 1) and
// the one class, which a point source brings onto the head of the valley:
// the class rides over land into the stream, the lake and out, the
// channels start without it and it does not decay, while the tracer does
// both; every balance of the summary closes.
TEST(SedimentAsConstituents, TheClassRidesThroughTheChannelsAndTheLakeAsItCameIn) {
    kesta_test::temp_dir dir(true);
    dir.write("mask.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", valley::grid(valley::ground, "%.3f "));
    dir.write("zones.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Zones\"\nCONTAMINANT_TRANSPORT\n"
                            "NUM_CONTAM 1\n\"Tracer\" \"Zones\" \"\"\nPRECIP_CONC 5\nNUM_IDS 1\nhdr\n" +
                                table_row(1, "0.01 0 0 0 0 0 0.3 0") + one_class_tables());
    dir.write("net.chan", valley::channel_file());
    dir.write("net.gst", valley::grid_stream_file());
    dir.write("points.ts", "KESTA_TS\n1 3 0\nRELATIVE\n0 0 0 0 0 0.01\nEND_TS\nKESTA_TS\n1 3 2\nRELATIVE\n"
                           "0 0 0 0 0 800\nEND_TS\n");
    dir.write("run.prj", valley::project("EXPLICIT") +
                             "MAPPING_TABLE tables.cmt\nCHAN_CON_TRANS\nINIT_CHAN_CONC 2\nCHAN_DECAY_COEF 1\n"
                             "SOIL_EROSION 11\nOV_POINT_SOURCE points.ts\n");
    // By slot (1 the tracer, 2 the class), before the end-of-run summaries
    // (kg): the channels' and the lake's initial mass, what decayed in
    // them, what the stream cells gave them, what left the outlet, and
    // what the point source brought.
    static std::vector<std::vector<double>> books;
    books.clear();
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj", [](kesta::model_state& m, const char* n) {
        if (std::string(n) != "write_final_summaries") return true;
        for (int c = 1; c <= m.ncontam; ++c)
            books.push_back({m.CHAN_MASS_INIT.value(c) + m.LAKE_MASS_INIT.value(c),
                             m.CHAN_MASS_DECAY.value(c) + m.LAKE_DECAY_MASS.value(c), m.CHAN_LAT_MASS.value(c),
                             m.CHAN_MASS_OUT.value(c), m.OV_POINT_MASS.value(c)});
        return true;
    });
    ASSERT_EQ(run.rc, 0) << run.out;
    ASSERT_EQ(books.size(), 2u);
    const std::vector<double>& tracer = books[0];
    const std::vector<double>& silt = books[1];
    EXPECT_GT(tracer[0], 0.0);
    EXPECT_GT(tracer[1], 0.0);
    EXPECT_EQ(silt[0], 0.0);
    EXPECT_EQ(silt[1], 0.0);
    EXPECT_GT(silt[2], 0.0);
    EXPECT_GT(silt[3], 0.0);
    EXPECT_NEAR(silt[4], 0.01 * 7200.0 * 800.0 / 1000.0, 1e-6);
    const std::string summary = read_file(dir.file("run.sum"));
    const std::vector<double> errors = balance_errors(summary);
    EXPECT_GT(errors.size(), 8u);
    for (double e : errors) EXPECT_LT(std::fabs(e), 1e-6) << summary;
}

}  // namespace
