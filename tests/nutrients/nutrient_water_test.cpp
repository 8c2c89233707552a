// Nutrients in overland water: the aquatic environment file and a run whose
// cells nitrify their ammonium.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/lake_valley.hpp"
#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/input_steps.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "nutrients/aquatic_env.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_soils.hpp"
#include "support/one_based.hpp"
#include "support/run_program.hpp"
#include "support/grid_text.hpp"
#include "support/temp_dir.hpp"
#include "transport/constituent_books.hpp"
#include "transport/transport_steps.hpp"

namespace {

using kesta_test::temp_dir;

std::string grid(const std::string& values) {
    return "north: 300\nsouth: 0\neast: 300\nwest: 0\nrows: 3\ncols: 3\n" + values;
}
const std::string kMask = "0 1 0\n1 1 1\n0 1 0\n";

// Ten value lines of a block whose first value of line 3 (the ammonium
// oxidation rate) is `nh4_rate` and second of line 5 (the reaeration rate)
// `reaeration`; the oxygen used per ammonium and per nitrite oxidised are
// 3 and 1.
std::string value_lines(const std::string& nh4_rate, const std::string& reaeration = "10") {
    return "10 0.07 0.01 1.4 1.6 3 1\n1 1 1 1 1 1 1\n" + nh4_rate +
           " 0.2 0.2 0.01\n1.083 1.047 1.047 1.047\n0.02 " + reaeration + " 0 0\n1.047 1.0159 1.047 1.06\n"
           "1 0.05 0 0 0 0.001 0.001\n1.047 1.047 1.024 1.074 1.074 1.024 1.024\n0.02 0.01 0.01 0\n"
           "0.01 0.002 0.0165\n";
}

struct env_case {
    temp_dir dir{true};
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
    kesta::aquatic_env env;

    env_case() {
        m->rows = 3;
        m->cols = 3;
        m->mask = kesta::mat2<int>(4, 4);
        const int cells[3][3] = {{0, 1, 0}, {2, 3, 4}, {0, 5, 0}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m->mask[r + 1][c + 1] = cells[r][c];
        m->ncells = 5;
        m->super_quiet = 1;
    }
    // Reads `body` after the header; the overland map gives the centre cell
    // `centre` and the others id 1. The error record's code afterwards
    // (4000 for a refusal).
    int read(const std::string& body, int centre = 2) {
        dir.write("ov.asc", grid("1 1 1\n1 " + std::to_string(centre) + " 1\n1 1 1\n"));
        env.file_name = dir.write("aq.env", "AQUATIC_ENV_ZEP10 version 1\n" + body);
        testing::internal::CaptureStdout();
        kesta::read_aquatic_env(env, *m);
        out = testing::internal::GetCapturedStdout();
        // A refusal is reported at once: the code is then cleared, the stop
        // flag stays.
        const int code = kesta::g_error_record.code != 0 ? kesta::g_error_record.code
                         : kesta::g_error_record.stop   ? 4000
                                                        : 0;
        kesta::g_error_record.clear_for_run();
        return code;
    }
    std::string out;
};

}  // namespace

TEST(AquaticEnvFile, BlocksByIdDefaultsAndTheOverlandIds) {
    env_case t;
    // The maps after NUM_IDS, the line after NUM_IDS skipped even as an id.
    ASSERT_EQ(t.read("NUM_IDS 2\n1\n\n2\n" + value_lines("0.3") + "\n1\nDEFAULT\nOV_MAP ov.asc\n"), 0) << t.out;
    EXPECT_EQ(t.env.num_ids, 2);
    EXPECT_EQ(t.env.block(1).pair[aq_nh4_oxidation].rate, 0.1);
    EXPECT_EQ(t.env.block(2).pair[aq_nh4_oxidation].rate, 0.3);
    EXPECT_EQ(t.env.block(2).unused[aq_unused_rate_count - 1], 0.0);  // missing at the end of its line
    EXPECT_EQ(t.env.overland_ids[3], 2);
    EXPECT_EQ(t.env.overland_ids[5], 1);
}

TEST(AquaticEnvFile, BadIdsValuesAndHeadersAreRefusedNamingWhere) {
    {
        env_case t;
        EXPECT_EQ(t.read("NUM_IDS 2\nx\n3\nDEFAULT\nOV_MAP ov.asc\n"), 78);
    }
    {
        env_case t;  // the centre cell's id 2 has no block
        EXPECT_EQ(t.read("NUM_IDS 2\nx\n1\nDEFAULT\nOV_MAP ov.asc\n"), 4000);
        EXPECT_NE(t.out.find("row 2, column 2 has id 2"), std::string::npos) << t.out;
    }
    {
        env_case t;
        EXPECT_EQ(t.read("NUM_IDS 1\nx\n1\n" + value_lines("0.1x") + "OV_MAP ov.asc\n", 1), 4000);
        EXPECT_NE(t.out.find("line 7: value \"0.1x\" is not a number"), std::string::npos) << t.out;
    }
    {
        env_case t;  // a block cut short by the end of the file
        EXPECT_EQ(t.read("OV_MAP ov.asc\nNUM_IDS 1\nx\n1\n0 0 0\n", 1), 4000);
        EXPECT_NE(t.out.find("after 1 of its ten value lines"), std::string::npos) << t.out;
    }
    {
        env_case t;  // a loss taken as a gain
        EXPECT_EQ(t.read("NUM_IDS 1\nx\n1\n" + value_lines("-0.1") + "OV_MAP ov.asc\n", 1), 4000);
        EXPECT_NE(t.out.find("line 7: value 1, the ammonium oxidation rate, is -0.1; it must be 0 or more"),
                  std::string::npos)
            << t.out;
    }
    {
        env_case t;  // 0^(T - 20) is no factor
        std::string lines = value_lines("0.1");
        lines.replace(lines.find("1.083"), 5, "0");
        EXPECT_EQ(t.read("NUM_IDS 1\nx\n1\n" + lines + "OV_MAP ov.asc\n", 1), 4000);
        EXPECT_NE(t.out.find("line 8: value 1, the theta of the ammonium oxidation rate, is 0; it must be above 0"),
                  std::string::npos)
            << t.out;
    }
    {
        env_case t;
        EXPECT_EQ(t.read("NUM_IDS 100001\nx\n"), 4000);
        EXPECT_NE(t.out.find("NUM_IDS \"100001\""), std::string::npos) << t.out;
    }
}

namespace {

// Nitrogen of the carried species over the grid with what left it (g),
// before the first and after the last constituent step of the run.
double g_first_n = -1.0, g_last_n = 0.0, g_first_nh4 = 0.0, g_last_nh4 = 0.0, g_last_no2 = 0.0;  // g_last_no2: NO2 + NO3

// The mass of a species over the grid and what left it at the outlet (g).
double grid_sum(const kesta::model_state& m, int species) {
    const int slot = m.first_nutrient_constituent + species;
    const kesta::vec1<double>& mass = m.contam_mass[static_cast<std::size_t>(slot)];
    double s = m.OV_MASS_OUT.value(slot) * 1000.0;
    for (int c = 1; c <= m.ncells; ++c) s += mass[c];
    return s;
}

// What the reactions used of ammonium and dissolved oxygen and made of
// nitrate over the run (kg).
double g_nh4_used = 0.0, g_no3_made = 0.0, g_do_used = 0.0;

bool watch_nitrogen(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "trigger_analyzers(normal)") == 0 && m.zep) {
        const int first = m.first_nutrient_constituent;
        g_nh4_used = m.OV_ZEP_MASS_OUT.value(first + aq_nh4) - m.OV_ZEP_MASS_IN.value(first + aq_nh4);
        g_no3_made = m.OV_ZEP_MASS_IN.value(first + aq_no3) - m.OV_ZEP_MASS_OUT.value(first + aq_no3);
        g_do_used = m.OV_ZEP_MASS_OUT.value(first + aq_do) - m.OV_ZEP_MASS_IN.value(first + aq_do);
    }
    if (std::strcmp(step, "react_overland_nutrients") != 0 || !m.zep) return true;
    const double n = grid_sum(m, aq_no2) + grid_sum(m, aq_no3) + grid_sum(m, aq_nh4) + grid_sum(m, aq_on);
    if (g_first_n < 0.0 && n > 0.0) {
        g_first_n = n;
        g_first_nh4 = grid_sum(m, aq_nh4);
    }
    g_last_n = n;
    g_last_nh4 = grid_sum(m, aq_nh4);
    g_last_no2 = grid_sum(m, aq_no2) + grid_sum(m, aq_no3);
    return true;
}

}  // namespace

// A 3 x 3 grid of five cells ponded 0.1 m deep under a short rain, with the
// cards `cards` after NUTRIENTS.
void write_ponded_project(const temp_dir& dir, const std::string& cards) {
    dir.write("mask.asc", grid(kMask));
    dir.write("elev.asc", grid("10 10 10\n10 10 10\n10 10 10\n"));
    dir.write("ov.asc", grid("1 1 1\n1 1 1\n1 1 1\n"));
    dir.write("depth.asc", grid("0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n"));
    dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP ov.asc\nNUM_IDS 1\n\n1\n" + value_lines("24"));
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
                       "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.0001\nMANNING_N 0.05\nRETEN_DEPTH 100\nSUMMARY summ.out\n"
                       "OUTLET_HYDRO hyd.out\nSUPER_QUIET\nTOT_TIME 60\nTIMESTEP 10\nRAIN_INTENSITY 60\n"
                       "RAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nWATER_TEMP 20\n"
                       "READ_OV_HOTSTART depth.asc\nNUTRIENTS\nAQ_ENV aq.env\n" + cards);
}

// The ammonium that the ponded water of the closed, impervious grid holds
// nitrifies, and the grid's nitrogen with what left at the outlet stays
// what it was. Without reaeration the oxygen used is 3 times the ammonium
// and once the nitrite oxidised (the nitrate made).
TEST(OverlandNutrients, PondedAmmoniumNitrifiesAndNitrogenIsKept) {
    temp_dir dir(true);
    write_ponded_project(dir, "OV_INIT_NH4 1.0\nOV_INIT_DO 8\n");
    dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP ov.asc\nNUM_IDS 1\n\n1\n" + value_lines("24", "0"));
    g_first_n = -1.0;
    g_do_used = 0.0;
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_nitrogen);
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_GT(g_first_n, 0.0) << r.out;
    EXPECT_LT(g_last_nh4, 0.99 * g_first_nh4);
    EXPECT_NEAR(g_last_no2, g_first_nh4 - g_last_nh4, 1e-9 * g_first_n);
    EXPECT_NEAR(g_last_n, g_first_n, 1e-9 * g_first_n);
    ASSERT_GT(g_no3_made, 0.0);
    EXPECT_NEAR(g_do_used, 3.0 * g_nh4_used + 1.0 * g_no3_made, 1e-9 * g_do_used);
}

// A water temperature is that of liquid water, a colder one counts as 0,
// with a warning in the summary (the rates then are those of 0 degrees,
// not of a power of a negative temperature), and a pH lies on its scale; the cards are refused naming
// their values.
TEST(OverlandNutrients, WaterTemperatureAndPhAreThoseOfWater) {
    const auto run = [](const std::string& from, const std::string& to) {
        temp_dir dir;
        write_ponded_project(dir, "OV_INIT_NH4 1.0\nOV_INIT_DO 8\n");
        std::string text = kesta_test::read_file(dir.file("p.prj"));
        text.replace(text.find(from), from.size(), to);
        dir.write("p.prj", text);
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        return std::make_pair(r, kesta_test::read_file(dir.file("summ.out")));
    };
    const struct {
        const char *to, *says;
    } refused[] = {
        {"WATER_TEMP 1e5\n", "Error: WATER_TEMP 100000 in project file p.prj: the water temperature is in degrees C "
                             "and at most 100"},
        {"WATER_TEMP 200\n", "WATER_TEMP 200 in project file p.prj"},
        {"WATER_TEMP 20\nCHAN_PH 100\n", "Error: CHAN_PH 100 in project file p.prj: the pH of water lies from 0 to 14."},
        {"WATER_TEMP 20\nCHAN_PH -5\n", "CHAN_PH -5 in project file p.prj"},
    };
    for (const auto& c : refused) {
        const auto r = run("WATER_TEMP 20\n", c.to);
        EXPECT_NE(r.first.status, 0) << c.to;
        EXPECT_NE(r.first.output.find(c.says), std::string::npos) << r.first.output;
    }
    const auto frozen = run("WATER_TEMP 20\n", "WATER_TEMP -300\n");
    const auto freezing = run("WATER_TEMP 20\n", "WATER_TEMP 0\n");
    const auto warm = run("WATER_TEMP 20\n", "WATER_TEMP 20\n");
    ASSERT_EQ(frozen.first.status, 0) << frozen.first.output;
    ASSERT_EQ(freezing.first.status, 0) << freezing.first.output;
    const std::string cold =
        "Warning: WATER_TEMP -300 in project file p.prj is below 0: the water counts as 0 degrees C for the nutrient "
        "reactions.";
    EXPECT_NE(frozen.second.find(cold), std::string::npos) << frozen.second;
    EXPECT_EQ(freezing.second.find("WATER_TEMP"), std::string::npos) << freezing.second;
    // The summaries' figures from the first kinetics line, the warnings left out.
    const auto figures = [](const std::string& summary) {
        const std::size_t from = summary.find("Loss to ZEP kinetics");
        const std::size_t warnings = summary.find("THE FOLLOWING WARNINGS");
        return summary.substr(from, warnings - from) + summary.substr(summary.find("THE FOLLOWING INPUTS"));
    };
    EXPECT_EQ(figures(frozen.second), figures(freezing.second));
    EXPECT_NE(figures(warm.second), figures(freezing.second));
}

namespace {

// The number after `label` (and the dots of its line) in `text`; NaN when
// there is none.
double number_after(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    const std::size_t number = text.find_first_of("-0123456789", at + label.size());
    return number == std::string::npos ? std::nan("") : std::stod(text.substr(number));
}

std::string section(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t a = text.find(from);
    if (a == std::string::npos) return std::string();
    return text.substr(a, text.find(to, a + from.size()) - a);
}

}  // namespace

// Nitrate alone (no nitrite or algae to change it) rides the water down the
// plus-shaped plane and out of its outlet; the rain brings it at 2 g/m3,
// the concentration of the ZEP_N table's PRECIP_CONC. The books of every
// species close, the dissolved oxygen's with what the reaeration made.
// With OV_CON_TRANS the uniform contaminant takes slot 1 and the species
// follow it, its books closing beside theirs.
TEST(OverlandNutrients, NitrateRidesTheWaterOutAndTheBooksClose) {
    for (const bool contaminant : {false, true}) {
        SCOPED_TRACE(contaminant ? "with a contaminant" : "nutrients alone");
        temp_dir dir(true);
        dir.write("mask.asc", kesta_test::cross_mask(100.0));
        dir.write("elev.asc", kesta_test::cross_elevation(100.0));
        dir.write("ov.asc", grid("1 1 1\n1 1 1\n1 1 1\n"));
        dir.write("depth.asc", grid("0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n"));
        dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP ov.asc\nNUM_IDS 1\n\n1\n" + value_lines("0.1"));
        dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP ov.asc \"Zone\"\nZEP_N \"Zone\"\nNUM_IDS 1\n"
                           "PRECIP_CONC 0 2 0 0\nhdr\n" + kesta_test::table_row(1, "0 0 0 0"));
        dir.write("p.prj", std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\n"
                                       "ROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                                       "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSUPER_QUIET\nTOT_TIME 120\n"
                                       "TIMESTEP 10\nRAIN_INTENSITY 60\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\n"
                                       "START_TIME 12 0\nWATER_TEMP 20\nREAD_OV_HOTSTART depth.asc\n"
                                       "MAPPING_TABLE t.cmt\nNUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO3 1.0\n") +
                               (contaminant ? "OV_CON_TRANS\nOV_MASS_LOAD 1\n" : ""));
        const kesta_test::model_run r = kesta_test::run_in_process("p.prj");
        const std::string s = kesta_test::read_file(dir.file("summ.out"));
        ASSERT_EQ(r.rc, 0) << r.out << s;
        const int first = contaminant ? 2 : 1;
        const std::string run = "Overland Constituent Transport Summary for ";
        // 1 g/m3 in 0.1 m over five cells of 1 ha; 2 g/m3 in 30 mm of rain on them.
        const std::string no3 = section(s, run + "Nitrate (NO3-)", run);
        EXPECT_NEAR(number_after(no3, "Initial Dissolved mass on ov"), 5.0, 1e-9) << no3;
        EXPECT_NEAR(number_after(no3, "Precipitation mass gain"), 3.0, 1e-9) << no3;
        EXPECT_EQ(number_after(no3, "Mass gained from ZEP kinetics"), 0.0) << no3;
        EXPECT_EQ(number_after(no3, "Mass lost to ZEP kinetics"), 0.0) << no3;
        const double out = number_after(no3, "Outlet mass flux");
        EXPECT_GT(out, 1.0) << no3;
        EXPECT_NEAR(number_after(no3, "Final Dissolved mass on ov") + out, 8.0, 0.011) << no3;
        const std::string oxygen = section(s, run + "Dissolved Oxygen (O2)", "*****");
        EXPECT_GT(number_after(oxygen, "Mass gained from ZEP kinetics"), 0.0) << oxygen;
        if (contaminant) {
            const std::string c = section(s, run + "Constituent     1 (uniform contaminant)", run + "Nitrite");
            EXPECT_NEAR(number_after(c, "Initial undissolved mass"), 5.0, 1e-9) << c;
        }
        int balances = 0;
        for (const std::string label : {"Dissolved mass balance error", "Contam mass balance error"}) {
            for (std::size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1), ++balances)
                EXPECT_NEAR(number_after(s.substr(at), label), 0.0, 1e-6) << s.substr(at, 80);
        }
        // The event's and the run's overland, the basin's.
        EXPECT_EQ(balances, 3 * (kesta::kNutrientSpecies + first - 1));
    }
}

TEST(OverlandNutrients, InitialValuesThatCannotBeHadStopTheSetUp) {
    const std::pair<const char*, const char*> cases[] = {
        {"OV_INIT_NO2\n", "takes the initial Nitrite (NO2-) from the ZEP_N table of a mapping-table file, but no "
                          "MAPPING_TABLE card names one."},
        {"OV_INIT_NH4 -0.5\n", "Ammonium (NH4+)"},
        {"OV_INIT_DO nowhere.asc\n", "Given filename: nowhere.asc"},
        // Water over land disperses no more than 100 m2/s.
        {"OV_DISPERSION 1e6\n", "Dispersion coefficient 1e+06 m2/s at cell 1 (row 1, column 2), from the uniform "
                                 "value of its OV_* card: it must be from 0 to 100 m2/s."}};
    for (const auto& [card, said] : cases) {
        temp_dir dir(true);
        write_ponded_project(dir, card);
        const kesta_test::model_run r = kesta_test::run_in_process("p.prj");
        EXPECT_NE(r.out.find(said), std::string::npos) << card << r.out;
        EXPECT_NE(r.rc, 0) << card;
    }
}

namespace {

double g_seen_dispersion = -1.0;

bool watch_dispersion(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "step_contam_processes") == 0 && m.zep)
        g_seen_dispersion = m.contam_disp[static_cast<std::size_t>(m.first_nutrient_constituent + aq_no3)][3];
    return true;
}

}  // namespace

// Without an OV_DISPERSION card the DISPERSION table of the mapping-table
// file gives the species their dispersion coefficient.
TEST(OverlandNutrients, ADispersionTableWithoutItsCardGivesTheCoefficient) {
    temp_dir dir(true);
    write_ponded_project(dir, "OV_INIT_NO3 1.0\nMAPPING_TABLE t.cmt\n");
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP ov.asc \"Zone\"\nDISPERSION \"Zone\"\nNUM_IDS 1\nhdr\n" +
                           kesta_test::table_row(1, "0.3"));
    g_seen_dispersion = -1.0;
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_dispersion);
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(g_seen_dispersion, 0.3);
}

// A sorption constant is kept, and the summary says it changes nothing.
TEST(OverlandNutrients, SorptionConstantsAreKeptWithAWarning) {
    temp_dir dir(true);
    write_ponded_project(dir, "OV_INIT_NO3 1.0\nDP_KOC 3\n");
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj");
    ASSERT_EQ(r.rc, 0) << r.out;
    const std::string s = kesta_test::read_file(dir.file("summ.out"));
    EXPECT_NE(s.find("sorption constants (NO2_KM ... DP_KM, NO2_KOC ... DP_KOC) are kept but do not change"),
              std::string::npos)
        << s;
}

// The weather's dew point is that of the air's vapour pressure: 50 %
// relative humidity at 20 °C holds 11.69 hPa.
TEST(OverlandNutrients, WeatherDewPointFromTheVapourPressure) {
    auto m = std::make_unique<kesta::model_state>();
    m->zep = std::make_shared<kesta::zep_container>();
    m->zep->environment = vegso_env_create();
    m->hmet_kvl_given = 1;
    m->hmet_air_temp = 20.0;
    m->hmet_rel_humidity = 50.0;
    m->hmet_pressure = 1013.0;
    kesta::zep_set_weather(*m, 1.0 / 24.0);
    EXPECT_NEAR(m->zep->environment->dew_point.value, 9.25, 0.01);
    EXPECT_EQ(m->zep->environment->pressure.value, 101.3);
}

// A negative concentration reaching the kinetics stops the run through the
// error record with its diagnostics; the process goes on.
TEST(OverlandNutrients, ANegativeConcentrationStopsTheRunNotTheProcess) {
    auto m = std::make_unique<kesta::model_state>();
    m->ncells = 1;
    m->gridsize = 10.0;
    m->super_quiet = 1;
    m->h = kesta::vec1<double>(1);
    m->h[1] = 0.1;
    m->zep = std::make_shared<kesta::zep_container>();
    kesta::zep_container& z = *m->zep;
    testing::internal::CaptureStdout();
    kesta::zep_overland_allocate(*m);
    kesta::alloc_overland_contam_arrays(*m, 0, 1, 1, 0);
    m->contam_water[1] = 0.1;
    z.environment = vegso_env_create();
    z.aquatic.num_ids = 1;
    z.aquatic.rates.assign(2, aq_rate_block());
    z.aquatic.given.assign(2, 1);
    z.aquatic.overland_ids = kesta::vec1<int>(1);
    z.aquatic.overland_ids[1] = 1;
    const std::size_t no3 = static_cast<std::size_t>(m->first_nutrient_constituent + aq_no3);
    m->contam_mass[no3][1] = -2.0;
    kesta::zep_overland_step(*m, 0.01);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(kesta::g_error_record.code, 4000);
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    kesta::g_error_record.clear_for_run();
    EXPECT_NE(out.find("ZEPOverlandKinetics ERROR: aqSpecies.aquatic_NO3.conc is negative!"), std::string::npos) << out;
    EXPECT_NE(out.find("Execution terminated!"), std::string::npos) << out;
    EXPECT_EQ(m->contam_mass[no3][1], -2.0);
}

// A channel link of two nodes, the second dry, and a lake 2 m deep (its
// volume over its surface): ammonium nitrifies in the water of the wet node
// and of the lake, the rows of the nutrient slots of chan_mass; the dry
// node keeps its mass; what the reactions made and used is booked.
TEST(ChannelNutrients, StreamNodesAndLakesReactInTheirWater) {
    using kesta::kLinkLake;
    using kesta::kLinkTrapezoid;
    auto m = std::make_unique<kesta::model_state>();
    m->super_quiet = 1;
    m->project_options.water_temp = 20.0;
    m->project_options.chan_ph = 7.0;
    m->nlinks = 2;
    m->maxnodes = 2;
    m->ltype = kesta_test::one_based<int>({kLinkTrapezoid, kLinkLake});
    m->nx = kesta_test::one_based<int>({2, 1});
    m->chan_dx = kesta_test::one_based<double>({50.0, 50.0});
    m->area = kesta::node_table<double>(2, 2);
    m->yp = kesta::node_table<double>(2, 2);
    m->bel = kesta::node_table<double>(2, 2);
    m->area[1][1] = 2.0;
    m->yp[1][1] = 10.5;
    m->bel[1][1] = 10.0;
    m->nlakes = 1;
    m->chan_lakes_on = 1;
    m->lake2link = kesta_test::one_based<int>({2});
    m->lake_volume = kesta_test::one_based<double>({1000.0});
    m->lake_area = kesta_test::one_based<double>({500.0});
    // The nine species in slots 1 to 9; nodes at rows link x 2 + node, the
    // lake at row 7.
    m->ncontam = kesta::kNutrientSpecies;
    m->first_nutrient_constituent = 1;
    m->add_slot_totals(kesta::kNutrientSpecies);
    m->constituent_type.append_fill(kesta::kNutrientSpecies, kesta::constituent_kind::water_nutrient);
    m->chan_stride = 2;
    m->chan_lake_row0 = 6;
    m->chan_rows = 7;
    m->chan_mass = kesta::mat2<double>(kesta::kNutrientSpecies, 7);
    m->chan_conc = kesta::mat2<double>(kesta::kNutrientSpecies, 7);
    m->chan_water = kesta::vec1<double>(7);
    const int wet = 3, dry = 4, lake = 7;
    m->chan_water[wet] = 100.0;
    m->chan_water[lake] = 1000.0;
    m->zep = std::make_shared<kesta::zep_container>();
    kesta::zep_container& z = *m->zep;
    z.environment = vegso_env_create();
    z.aquatic.num_ids = 1;
    z.aquatic.rates.assign(2, aq_rate_block());
    z.aquatic.given.assign(2, 1);
    z.aquatic.stream_ids = kesta::mat2<int>(2, 2);
    z.aquatic.stream_ids.fill(1);
    kesta::zep_streams_allocate(*m);
    kesta::zep_lakes_allocate(*m);
    kesta::zep_streams_init(*m);
    kesta::zep_lakes_init(*m);
    const auto mass = [&](int species, int row) -> double& { return m->chan_mass[1 + species][row]; };
    mass(aq_nh4, wet) = 100.0;  // 1 g/m3 in 100 m3
    mass(aq_do, wet) = 800.0;
    mass(aq_nh4, dry) = 5.0;
    mass(aq_nh4, lake) = 1000.0;  // 1 g/m3 in 1000 m3
    mass(aq_do, lake) = 8000.0;

    const double hour = 1.0 / 24.0;
    kesta::zep_streams_step(*m, hour);
    kesta::zep_lakes_step(*m, hour);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    // 0.1/day x (1 - exp(-0.6 x 8)) of 1 g/m3, over an hour.
    const double nitrified = 0.1 * (1.0 - std::exp(-4.8)) * 3600.0 / 86400.0;
    EXPECT_NEAR(mass(aq_nh4, wet), 100.0 * (1.0 - nitrified), 1e-9);
    EXPECT_NEAR(mass(aq_no2, wet), 100.0 * nitrified, 1e-9);
    EXPECT_EQ(mass(aq_nh4, dry), 5.0);
    EXPECT_NEAR(mass(aq_nh4, lake), 1000.0 * (1.0 - nitrified), 1e-8);
    // What the reactions made and used is what the node and the lake lost,
    // booked per slot, the node's and the lake's apart.
    double left = 0.0, booked = 0.0;
    for (int k = 0; k < kesta::kNutrientSpecies; ++k) {
        left += mass(k, wet) + mass(k, dry) + mass(k, lake);
        booked += m->CHAN_ZEP_MASS_OUT.at(1 + k) - m->CHAN_ZEP_MASS_IN.at(1 + k) + m->LAKE_ZEP_MASS_OUT.at(1 + k) -
                  m->LAKE_ZEP_MASS_IN.at(1 + k);
    }
    EXPECT_NEAR(z.chan_lost - z.chan_gained, 9905.0 - left, 1e-8);
    EXPECT_NEAR(booked * 1000.0, 9905.0 - left, 1e-8);
    EXPECT_NEAR(m->LAKE_ZEP_MASS_OUT.at(1 + aq_nh4) * 1000.0, 1000.0 * nitrified, 1e-8);

    // Kjeldahl nitrogen leaves out the nitrite and nitrate that total
    // nitrogen holds.
    kesta::zep_lakes_totals(*m);
    const kesta::zep_lakes& lk = z.lakes;
    EXPECT_NEAR(lk.total_n[1] - lk.total_kn[1], mass(aq_no2, lake) + mass(aq_no3, lake), 1e-12);
    EXPECT_GT(lk.total_n[1] - lk.total_kn[1], 0.0);
}

// A stream map of one value per link gives every node of a channel link
// its initial concentration; the lake link gets none.
TEST(ChannelNutrients, StreamMapGivesTheNodesTheirInitialConcentration) {
    temp_dir dir(true);
    dir.write("nh4.map", "STREAM_MAP\nLINKS 2\n0.5\n0.7\n");
    auto m = std::make_unique<kesta::model_state>();
    m->super_quiet = 1;
    m->nlinks = 2;
    m->maxnodes = 2;
    m->ltype = kesta_test::one_based<int>({kesta::kLinkTrapezoid, kesta::kLinkLake});
    m->nx = kesta_test::one_based<int>({2, 1});
    m->zep = std::make_shared<kesta::zep_container>();
    m->project_options.st_init[aq_nh4].kind = 1;
    m->project_options.st_init[aq_nh4].map_name = "nh4.map";
    kesta::zep_streams_allocate(*m);
    kesta::assign_stream_constituents(*m);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    const kesta::zep_streams& st = m->zep->streams;
    EXPECT_EQ(st.init_conc[aq_nh4][st.index(1, 1)], 0.5);
    EXPECT_EQ(st.init_conc[aq_nh4][st.index(1, 2)], 0.5);
    EXPECT_EQ(st.init_conc[aq_nh4][st.index(2, 1)], 0.0);
}

// The stream ZEP_C and DISPERSION tables give the nodes of the links their
// maps name the organic carbon and the species' dispersion; the other
// links keep the defaults, CHAN_DISP_COEF for the dispersion.
TEST(ChannelNutrients, StreamTablesGiveCarbonAndDispersion) {
    temp_dir dir(true);
    const auto row = [](const std::string& values) {
        std::string r = "     1  reach";
        r.resize(86, ' ');
        return r + values + "\n";
    };
    dir.write("reaches.smap", "STREAM_MAP\nNLINKS 2\n1\n0\n");
    const std::string table = dir.write("stream.tab", "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP reaches.smap \"r\"\n"
                                                      "ZEP_C \"r\"\nNUM_IDS 1\nID  description  doc foc\n" +
                                                          row("3 0.25") + "DISPERSION \"r\"\nNUM_IDS 1\nID  d\n" +
                                                          row("0.4"));
    auto m = std::make_unique<kesta::model_state>();
    m->super_quiet = 1;
    m->nlinks = 2;
    m->maxnodes = 2;
    m->chan_disp_coef = 0.1;
    m->ltype = kesta_test::one_based<int>({kesta::kLinkTrapezoid, kesta::kLinkTrapezoid});
    m->nx = kesta_test::one_based<int>({2, 2});
    m->st_mapping_table_given = 1;
    m->st_mapping_table = table;
    m->st_mapping_table_info.zep_c = 1;
    m->st_mapping_table_info.dispersion = 1;
    m->zep = std::make_shared<kesta::zep_container>();
    kesta::zep_streams_allocate(*m);
    const kesta::zep_streams& st = m->zep->streams;
    const double default_doc = st.doc[st.index(2, 1)];
    kesta::assign_stream_constituents(*m);
    ASSERT_EQ(kesta::g_error_record.stop, 0);
    for (int j = 1; j <= 2; ++j) {
        EXPECT_EQ(st.doc[st.index(1, j)], 3.0);
        EXPECT_EQ(st.foc[st.index(1, j)], 0.25);
        EXPECT_EQ(st.dispersion[st.index(1, j)], 0.4);
        EXPECT_EQ(st.doc[st.index(2, j)], default_doc);
        EXPECT_EQ(st.dispersion[st.index(2, j)], 0.1);
    }
    // No river disperses 10^4 m2/s.
    dir.write("stream.tab", "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP reaches.smap \"r\"\nDISPERSION \"r\"\n"
                            "NUM_IDS 1\nID  d\n" + row("1e4"));
    m->st_mapping_table_info.zep_c = 0;
    testing::internal::CaptureStdout();
    kesta::assign_stream_constituents(*m);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(kesta::g_error_record.stop, 1);
    EXPECT_NE(out.find("stream mapping table " + table + ", table DISPERSION: 10000 m2/s for link 1 (ID 1); it must "
                       "be at most 2000 m2/s"),
              std::string::npos)
        << out;
    kesta::g_error_record.clear_for_run();
}

// The outlet values are those of the last node of the last link, whose
// row follows the other nodes', and of each species' own slot.
TEST(ChannelNutrients, OutletValuesAreTheLastNodesOfTheLastLink) {
    auto m = std::make_unique<kesta::model_state>();
    m->nlinks = 2;
    m->ltype = kesta_test::one_based<int>({kesta::kLinkTrapezoid, kesta::kLinkTrapezoid});
    m->nx = kesta_test::one_based<int>({2, 2});
    m->chan_stride = 2;
    m->chan_lake_row0 = 6;
    m->chan_rows = 6;
    m->first_nutrient_constituent = 2;
    m->ncontam = 1 + kesta::kNutrientSpecies;
    m->chan_mass = kesta::mat2<double>(m->ncontam + 1, 7);
    m->chan_conc = kesta::mat2<double>(m->ncontam + 1, 7);
    for (int c = 1; c <= m->ncontam; ++c)
        for (int row = 1; row <= 6; ++row) {
            m->chan_mass[c][row] = 100.0 * c + row;
            m->chan_conc[c][row] = c + 0.1 * row;
        }
    m->zep = std::make_shared<kesta::zep_container>();
    kesta::zep_outlet_values(*m);
    const kesta::zep_container& z = *m->zep;
    EXPECT_EQ(z.outlet_mass[aq_no3], 100.0 * (2 + aq_no3) + 6);
    EXPECT_EQ(z.outlet_conc[aq_do], 2 + aq_do + 0.6);
}

namespace {

// The nitrate of the channels and the lake after every step: what their
// books say came in and went out against what the nodes and the lake hold
// (g).
struct nitrate_watch {
    double chan_misfit = 0.0, lake_misfit = 0.0, scale = 0.0;
    double initial_nodes = -1.0, initial_water = 0.0;
    double lat = 0.0, into_lake = 0.0, out_of_lake = 0.0, outlet = 0.0, reacted = 0.0;
};
nitrate_watch* g_nitrate = nullptr;

bool watch_channel_nitrate(kesta::model_state& m, const char* name) {
    if (std::strcmp(name, "report_progress") != 0 || m.chan_mass.empty()) return true;
    nitrate_watch& w = *g_nitrate;
    const int c = m.first_nutrient_constituent + aq_no3;
    const kesta::held_mass h = kesta::mass_held(m, c);
    const auto g = [c](const kesta::array1d<double>& a) { return a.value(c) * 1000.0; };
    const double chan_in = g(m.CHAN_MASS_INIT) + g(m.CHAN_LAT_MASS) + g(m.LAKE_CHAN_OUTFLOW_MASS) +
                           g(m.CHAN_ZEP_MASS_IN);
    const double chan_out = h.channels + g(m.CHAN_MASS_OUT) + g(m.LAKE_CHAN_EXCHANGE_MASS) +
                            g(m.LAKE_CHAN_INFLOW_MASS) + g(m.CHAN_ZEP_MASS_OUT);
    const double lake_in = g(m.LAKE_MASS_INIT) + g(m.LAKE_PRECIP_MASS) + g(m.LAKE_CHAN_INFLOW_MASS) +
                           g(m.LAKE_OV_INFLOW_MASS) + g(m.LAKE_CHAN_EXCHANGE_MASS) + g(m.LAKE_ZEP_MASS_IN);
    const double lake_out = h.lakes + g(m.LAKE_CHAN_OUTFLOW_MASS) + g(m.LAKE_ZEP_MASS_OUT);
    w.chan_misfit = std::max(w.chan_misfit, std::fabs(chan_in - chan_out));
    w.lake_misfit = std::max(w.lake_misfit, std::fabs(lake_in - lake_out));
    w.scale = std::max({w.scale, chan_in, lake_in});
    if (w.initial_nodes < 0.0 && m.chan_con_started) {
        w.initial_nodes = g(m.CHAN_MASS_INIT);
        for (int row = 1; row <= m.chan_lake_row0; ++row) w.initial_water += m.chan_water[row];
    }
    w.lat = g(m.CHAN_LAT_MASS);
    w.into_lake = g(m.LAKE_CHAN_INFLOW_MASS);
    w.out_of_lake = g(m.LAKE_CHAN_OUTFLOW_MASS);
    w.outlet = g(m.CHAN_MASS_OUT);
    w.reacted = g(m.CHAN_ZEP_MASS_IN) + g(m.CHAN_ZEP_MASS_OUT) + g(m.LAKE_ZEP_MASS_IN) + g(m.LAKE_ZEP_MASS_OUT);
    return true;
}

}  // namespace

// The lake valley of one aquatic zone with every rate entry `rate` and the
// rain carrying the ZEP_N concentrations `rain` (NO2 NO3 NH4 ON, g/m3).
void write_nutrient_valley(const temp_dir& dir, const std::string& rate, const std::string& rain) {
    namespace valley = kesta_test::lake_valley;
    dir.write("mask.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", valley::grid(valley::ground, "%.3f "));
    dir.write("net.chan", valley::channel_file());
    dir.write("net.gst", valley::grid_stream_file());
    dir.write("st.map", "STREAM_MAP\nLINKS 4\n1\n1\n1\n1\n");
    dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP mask.asc\nST_MAP st.map\nNUM_IDS 1\n\n1\n" + value_lines(rate));
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP mask.asc \"Zone\"\nZEP_N \"Zone\"\nNUM_IDS 1\nPRECIP_CONC " + rain +
                           "\nhdr\n" + kesta_test::table_row(1, "0 0 0 0"));
}

namespace {

// Whether the model state held the nutrient container when the run control
// was set up (the first start-up step that reads it).
int g_container_at_control = -1;

bool watch_container(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "setup_run_control") == 0) g_container_at_control = m.zep != nullptr;
    return true;
}

}  // namespace

// The container is there, with NUTRIENTS only, before any start-up step
// that reads it; the streams and lakes are set up once the channel network
// is read and before the network is checked, as the summary tells.
TEST(ChannelNutrients, TheContainerComesFirstAndTheStreamsBetweenTheNetworkAndItsChecks) {
    namespace valley = kesta_test::lake_valley;
    for (const bool nutrients : {true, false}) {
        SCOPED_TRACE(nutrients ? "NUTRIENTS" : "no NUTRIENTS");
        temp_dir dir(true);
        write_nutrient_valley(dir, "0.1", "0 5 0 0");
        dir.write("run.prj", valley::project("EXPLICIT") + "MAPPING_TABLE t.cmt\nCHAN_CON_TRANS\nWATER_TEMP 20\n" +
                                 (nutrients ? "NUTRIENTS\nAQ_ENV aq.env\n" : ""));
        g_container_at_control = -1;
        const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_container);
        const std::string s = kesta_test::read_file(dir.file("run.sum"));
        ASSERT_EQ(r.rc, 0) << r.out << s;
        EXPECT_EQ(g_container_at_control, nutrients ? 1 : 0);
        const std::size_t network = s.find("reading channel input data"),
                          streams = s.find("Allocating memory for ZEP Streams...Done\n"),
                          lakes = s.find("Allocating memory for ZEP Lakes...Done\n"),
                          checks = s.find("Setting up the grid-stream data... done.\n");
        ASSERT_NE(network, std::string::npos) << s;
        ASSERT_NE(checks, std::string::npos) << s;
        if (!nutrients) {
            EXPECT_EQ(streams, std::string::npos) << s;
            continue;
        }
        ASSERT_NE(streams, std::string::npos) << s;
        EXPECT_TRUE(network < streams && streams < lakes && lakes < checks) << s;
    }
}

// Nitrate in the rain (5 g/m3) and 2 g/m3 in the stream at the start runs
// over the land into the stream, into the lake, over the weir and out of
// the outlet; nothing changes it (no nitrite or algae). The channels' and
// the lake's books close after every step to round-off, the nodes that
// hold water at the first channel step start with 2 g/m3 of it, and every
// balance of the summary closes. Run again with a stream DISPERSION table
// (no CHAN_DISP_COEF), the nitrate disperses and less or more leaves.
TEST(ChannelNutrients, NitrateRunsThroughTheLinksAndTheLakeAndTheBooksClose) {
    namespace valley = kesta_test::lake_valley;
    double outlet[2] = {0.0, 0.0};
    for (const bool dispersed : {false, true}) {
        SCOPED_TRACE(dispersed ? "stream DISPERSION table" : "no dispersion");
        temp_dir dir(true);
        write_nutrient_valley(dir, "0.1", "0 5 0 0");
        dir.write("run.prj", valley::project("EXPLICIT") + "MAPPING_TABLE t.cmt\nCHAN_CON_TRANS\nWATER_TEMP 20\n"
                                                           "NUTRIENTS\nAQ_ENV aq.env\nST_INIT_NO3 2\n" +
                                       (dispersed ? "ST_MAPPING_TABLE st.tab\n" : ""));
        std::string row = "     1  reach";
        row.resize(86, ' ');
        dir.write("st.tab", "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP st.map \"r\"\nDISPERSION \"r\"\nNUM_IDS 1\n"
                            "ID  d\n" + row + "50\n");
        nitrate_watch w;
        g_nitrate = &w;
        const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_channel_nitrate);
        g_nitrate = nullptr;
        const std::string s = kesta_test::read_file(dir.file("run.sum"));
        ASSERT_EQ(r.rc, 0) << r.out << s;

        EXPECT_LT(w.chan_misfit, 1e-12 * w.scale);
        EXPECT_LT(w.lake_misfit, 1e-12 * w.scale);
        EXPECT_GT(w.initial_water, 0.0);
        EXPECT_NEAR(w.initial_nodes, 2.0 * w.initial_water, 1e-12 * w.initial_nodes);
        for (double v : {w.lat, w.into_lake, w.out_of_lake, w.outlet}) EXPECT_GT(v, 0.0);
        EXPECT_EQ(w.reacted, 0.0);
        int balances = 0;
        for (const std::string label :
             {"Soil mass balance error", "Dissolved mass balance error", "Contam mass balance error"}) {
            for (std::size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1), ++balances)
                EXPECT_NEAR(number_after(s.substr(at), label), 0.0, 1e-4) << s.substr(at, 80);
        }
        EXPECT_GT(balances, 4 * kesta::kNutrientSpecies);
        outlet[dispersed ? 1 : 0] = w.outlet;
    }
    // Without CHAN_DISP_COEF only the table's coefficient disperses the
    // nitrate, and that changes what leaves.
    EXPECT_GT(std::fabs(outlet[1] - outlet[0]), 1e-6 * outlet[0]);
}

// An initial-value card given without a value takes its species from a
// table; when the run cannot have that table the refusal names the card,
// its line in the project file, the table file and what is missing.
TEST(ChannelNutrients, ATableTheCardNeedsButCannotHaveIsNamedWithTheCardAndTheFile) {
    namespace valley = kesta_test::lake_valley;
    std::string row = "     1  reach";
    row.resize(86, ' ');
    const std::string zep_n = "ZEP_N \"r\"\nNUM_IDS 1\nID  hdr\n" + row + "0 2 0 0\n";
    const std::string head = "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP st.map \"r\"\n";
    const std::string stream = "from the ZEP_N table of stream mapping table file st.tab, but ";
    const struct {
        const char* card;
        std::string st_tab;  // empty: no ST_MAPPING_TABLE card
        std::string said;
    } cases[] = {
        {"ST_INIT_NO3", "KESTA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP reaches.map \"r\"\n" + zep_n,
         stream + "its index map reaches.map (st.tab, line 2) cannot be opened"},
        {"ST_INIT_NO3", "KESTA_STREAM_TABLES\nST_INDEX_MAP st.map \"r\"\n" + zep_n,
         stream + "line 1 of st.tab reads \"KESTA_STREAM_TABLES\" where KESTA_STREAM_INDEX_MAP_TABLES must begin it."},
        {"ST_INIT_NO3", head + "ZEP_P \"r\"\nNUM_IDS 1\nID  hdr\n" + row + "0 0 0\n",
         stream + "st.tab has no ZEP_N table."},
        {"ST_INIT_NO3", "",
         "from the ZEP_N table of a stream mapping table, but no ST_MAPPING_TABLE card names a stream mapping table."},
        {"OV_INIT_NO3", head + zep_n,
         "from the ZEP_N table of mapping-table file t.cmt, but the file holds no ZEP_N table."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        temp_dir dir(true);
        write_nutrient_valley(dir, "0.1", "0 0 0 0");
        if (c.card[0] == 'O') dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP mask.asc \"Zone\"\n");
        dir.write("st.tab", c.st_tab);
        const std::string project = valley::project("EXPLICIT") + "MAPPING_TABLE t.cmt\nCHAN_CON_TRANS\n" +
                                    (c.st_tab.empty() ? "" : "ST_MAPPING_TABLE st.tab\n") +
                                    "WATER_TEMP 20\nNUTRIENTS\nAQ_ENV aq.env\n" + c.card + "\n";
        dir.write("run.prj", project);
        const kesta_test::model_run r = kesta_test::run_in_process("run.prj");
        EXPECT_NE(r.rc, 0);
        const int line = static_cast<int>(std::count(project.begin(), project.end(), '\n'));
        const std::string card = kesta::format_text(
            "Error: card %s on line %d of project file run.prj takes the initial Nitrate (NO3-) ", c.card, line);
        EXPECT_NE(r.out.find(card + c.said), std::string::npos) << r.out;
    }
}

namespace {

// What the nutrient soil held when the soil step first ran: ammonium and
// nitrate of cell 1's layers (g), the bottom depths of its library layers
// (m), and the largest change that a push into the library and a pull back
// made to any pool.
struct soil_start {
    double nh4[4] = {}, no3[4] = {}, bottom[4] = {};
    double round_trip = -1.0;
};
soil_start g_soil;

bool watch_soil_start(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "react_soil_nutrients") != 0 || !m.zep || g_soil.round_trip >= 0.0) return true;
    const int first = m.first_nutrient_constituent;
    const vegso_schema& records = *m.zep->soils.cells[0]->schema;
    for (int l = 1; l <= m.soil_layer_count[1]; ++l) {
        g_soil.nh4[l] = m.soil_mass[static_cast<std::size_t>(first + 2)][1][l];
        g_soil.no3[l] = m.soil_mass[static_cast<std::size_t>(first + 3)][1][l];
        g_soil.bottom[l] = records.layers[l - 1]->v[vegso_bottom_depth];
    }
    std::vector<double> before;
    for (int p = 0; p < kesta::kSoilPools; ++p)
        for (int k = 1; k <= m.ncells; ++k)
            for (int l = 1; l <= m.soil_layer_count[k]; ++l)
                before.push_back(m.soil_mass[static_cast<std::size_t>(first + p)][k][l]);
    kesta::zep_soils_push_state(m);
    kesta::zep_soils_pull_state(m);
    g_soil.round_trip = 0.0;
    std::size_t i = 0;
    for (int p = 0; p < kesta::kSoilPools; ++p) {
        const kesta::mat2<double>& pool = m.soil_mass[static_cast<std::size_t>(first + p)];
        for (int k = 1; k <= m.ncells; ++k)
            for (int l = 1; l <= m.soil_layer_count[k]; ++l, ++i)
                g_soil.round_trip = std::max(g_soil.round_trip, std::fabs(pool[k][l] - before[i]));
    }
    return true;
}

}  // namespace

namespace {

// The project of the soil nutrient runs below, with `more_tables` at the end
// of its mapping-table file and `more_cards` at the end of its project file.
void write_soil_nutrient_plane(const temp_dir& dir, const std::string& more_tables = "",
                               const std::string& more_cards = "") {
    const auto plane_grid = [](const char* v) { return kesta_test::grid_text(3, 3, 100.0, v); };
    dir.write("mask.asc", kesta_test::cross_mask(100.0));
    dir.write("elev.asc", kesta_test::cross_elevation(100.0));
    dir.write("soils.idx", plane_grid("0 1 0\n1 1 2\n0 2 0\n"));
    dir.write("wt.asc", plane_grid("8 9.5 8\n9.5 9 9.5\n8 6.9 8\n"));
    dir.write("bot.asc", plane_grid("0 0 0\n0 0 0\n0 0 0\n"));
    dir.write("bound.asc", plane_grid("1 1 1\n1 1 1\n1 2 1\n"));
    dir.write("depth.asc", plane_grid("0.05 0.05 0.05\n0.05 0.05 0.05\n0.05 0.05 0.05\n"));
    dir.write("ov.asc", grid("1 1 1\n1 1 1\n1 1 1\n"));
    dir.write("aq.env", "AQUATIC_ENV_ZEP10\nOV_MAP ov.asc\nNUM_IDS 1\n\n1\n" + value_lines("0.1"));
    using kesta_test::table_row;
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                       "NUM_IDS 2\nhdr\n" + table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
                           table_row(2, "1.09 11.01 0.453 0.322 0.041 0.2 0.08") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.15") +
                           table_row(2, "0.2") + "ZEP_N \"Soil\"\nNUM_IDS 2\nPRECIP_CONC 0 2 0 0\nhdr\n" +
                           table_row(1, "0 0 0 0") + table_row(2, "0 0 0 0") + "ZEP_GW_N \"Soil\"\nNUM_IDS 2\nhdr\n" +
                           table_row(1, "0 5 0 0") + table_row(2, "0 5 0 0") +
                           "ZEP_SOIL_N \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.5 0.02 1 0 3") +
                           table_row(2, "0.25 0.01 1 0 3") + more_tables);
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
                       "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"
                       "SUPER_QUIET\nTOT_TIME 120\nTIMESTEP 10\nRAIN_INTENSITY 40\nRAIN_DURATION 60\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\nINF_REDIST\nMAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.3\n"
                       "SOIL_MOIST_DEPTH 1.0\nWATER_TABLE wt.asc\nAQUIFER_BOTTOM bot.asc\nGW_SIMULATION\n"
                       "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n"
                       "SOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.01\nREAD_OV_HOTSTART depth.asc\nWATER_TEMP 20\n"
                       "NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO3 1.0\nSOILS_ZEP_N\nSOILS_ZEP_P\n" + more_cards);
}

}  // namespace

// The plus-shaped plane over a soil with redistribution and a water table
// that stands above the ground of three cells. The ZEP_SOIL_N table gives
// the top layer's ammonium and nitrate (kg); the other layers start with
// the library's initial pools (nitrate 7 kg exp(-bottom / 1000)), the
// layers' bottoms 0.01, 0.30 and 1.00 m. Nitrate of the ponded water and
// of the rain infiltrates into the soil's nitrate, and the groundwater of
// the ZEP_GW_N table (5 g/m3 of nitrate) rises into it with the
// exfiltrated water. The library nitrifies the soil's ammonium. The soil,
// overland and basin books of every species and pool close.
TEST(SoilNutrients, PoolsStartFromTheTablesReactAndTheBooksClose) {
    temp_dir dir(true);
    write_soil_nutrient_plane(dir);
    g_soil = soil_start();
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_soil_start);
    const std::string s = kesta_test::read_file(dir.file("summ.out"));
    ASSERT_EQ(r.rc, 0) << r.out << s;
    ASSERT_EQ(g_soil.round_trip, 0.0) << s;
    EXPECT_NEAR(g_soil.nh4[1], 500.0, 1e-9);
    EXPECT_NEAR(g_soil.no3[1], 20.0, 1e-9);
    EXPECT_EQ(g_soil.nh4[2], 0.0);
    EXPECT_NEAR(g_soil.no3[2], 7000.0 * std::exp(-0.30 / 1000.0), 1e-9);
    EXPECT_NEAR(g_soil.bottom[1], 0.01, 1e-12);
    EXPECT_NEAR(g_soil.bottom[2], 0.30, 1e-12);
    EXPECT_NEAR(g_soil.bottom[3], 1.00, 1e-12);

    const std::string run = "Soil Constituent Transport Summary for ";
    const std::string no3 = section(s, run + "Nitrate (NO3-)", run);
    EXPECT_GT(number_after(no3, "Mass added by infiltration"), 0.0) << no3;
    EXPECT_GT(number_after(no3, "Mass seepage up from GW"), 0.0) << no3;
    EXPECT_GT(number_after(no3, "Mass gained from ZEP kinetics"), 0.0) << no3;
    // Carbon is sorbed: none of it leaves with the water.
    const std::string carbon = section(s, run + "Organic Active Carbon", run);
    EXPECT_EQ(number_after(carbon, "Mass seepage down to GW"), 0.0) << carbon;
    const std::string nh4 = section(s, run + "Ammonium (NH4+)", run);
    EXPECT_EQ(number_after(nh4, "Mass seepage up from GW"), 0.0) << nh4;
    EXPECT_GT(number_after(nh4, "Mass lost to ZEP kinetics"), 0.0) << nh4;
    // A pool card without its table leaves the pools as they start.
    EXPECT_NE(s.find("SOILS_ZEP_P: the mapping-table file t.cmt has no ZEP_SOIL_P table"), std::string::npos);
    // A soil-only pool's run totals show what the library made and used.
    const std::string stable_p = section(s, "Global Summary for Mineral Stable Phosphorus", "percent");
    EXPECT_LT(number_after(stable_p, "ZEP gain/loss"), 0.0) << stable_p;
    // A slot's run totals hold its water species and its soil pool.
    EXPECT_NE(s.find("Global Summary for Organic Nitrogen (Organic N) and, in the soil, Nitrate (NO3-) \n"),
              std::string::npos);
    int balances = 0;
    for (const std::string label :
         {"Soil mass balance error", "Dissolved mass balance error", "Contam mass balance error"}) {
        for (std::size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1), ++balances)
            EXPECT_NEAR(number_after(s.substr(at), label), 0.0, 1e-6) << s.substr(at, 80);
    }
    EXPECT_GT(balances, 4 * kesta::kSoilPools);
}

// The outlet hydrographs read the channel network's outlet node: a run
// without channels says so and writes no file, rather than one of zeros.
TEST(SoilNutrients, OutletHydrographsWithoutChannelsAreWarnedAndNotWritten) {
    temp_dir dir(true);
    write_soil_nutrient_plane(dir, "", "OUT_HYD_NO3 no3\n");
    const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string says =
        "OUT_HYD_NO3 has no effect without channel routing (CHAN_EXPLIC): no3.conc and no3.mass are not written.";
    EXPECT_NE(kesta_test::read_file(dir.file("summ.out")).find("-" + says + " (given 1 time)\n"), std::string::npos);
    EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir.file("no3.conc")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no3.mass")));
}

namespace {

// What the reaction books say the nutrient reactions made and used over
// the run (kg), per slot over land, in the channel nodes and in the lakes,
// and the container's own count (g), at the end of the run.
struct reaction_books {
    double ov_in[kesta::kNutrientSpecies + 1] = {}, ov_out[kesta::kNutrientSpecies + 1] = {};
    double chan_in[kesta::kNutrientSpecies + 1] = {}, chan_out[kesta::kNutrientSpecies + 1] = {};
    double lake_in[kesta::kNutrientSpecies + 1] = {}, lake_out[kesta::kNutrientSpecies + 1] = {};
    double made = 0.0, used = 0.0;
    bool taken = false;
};
reaction_books g_books;

// The time and the container's outlet concentration and mass of ammonium
// after each output step.
std::vector<std::array<double, 3>> g_outlet;

bool take_reaction_books(kesta::model_state& m, const char* name) {
    if (std::strcmp(name, "write_timeseries_maps") == 0 && m.zep && m.step % m.hyd_freq == 0)
        g_outlet.push_back({m.elapsed_min, m.zep->outlet_conc[aq_nh4], m.zep->outlet_mass[aq_nh4]});
    if (std::strcmp(name, "trigger_analyzers(normal)") != 0 || !m.zep) return true;
    g_books = reaction_books();
    for (int k = 0; k < kesta::kNutrientSpecies; ++k) {
        const int c = m.first_nutrient_constituent + k;
        g_books.ov_in[k] = m.OV_ZEP_MASS_IN.value(c);
        g_books.ov_out[k] = m.OV_ZEP_MASS_OUT.value(c);
        g_books.chan_in[k] = m.CHAN_ZEP_MASS_IN.value(c);
        g_books.chan_out[k] = m.CHAN_ZEP_MASS_OUT.value(c);
        g_books.lake_in[k] = m.LAKE_ZEP_MASS_IN.value(c);
        g_books.lake_out[k] = m.LAKE_ZEP_MASS_OUT.value(c);
    }
    g_books.made = m.zep->overland.gained + m.zep->chan_gained;
    g_books.used = m.zep->overland.lost + m.zep->chan_lost;
    g_books.taken = true;
    return true;
}

}  // namespace

// An initial soil pool is a mass the land of a cell can hold: at most 1e4
// kg per m2 of the cell (1e8 kg over the plane's 100 m cells); one beyond
// it, whose grams would not stay a finite number, stops the set-up naming
// the table, the cell and the value.
TEST(SoilNutrients, InitialPoolsBeyondWhatTheLandHoldsAreRefused) {
    using kesta_test::table_row;
    const auto carbon = [](const char* stable) {
        return "ZEP_SOIL_C \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "25 480") + table_row(2, std::string("20 ") + stable);
    };
    {
        temp_dir dir;
        write_soil_nutrient_plane(dir, carbon("1e308"), "SOILS_ZEP_C\n");
        const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.output.find("Error: nutrient soil table: pool of column 2 1e+308 kg at cell 4 (row 2, column 3), "
                                "from the ZEP_SOIL_C table of mapping-table file t.cmt: it must be from 0 to 1e+08 kg, "
                                "10000 kg per m2 of the cell's 10000 m2."),
                  std::string::npos)
            << r.output;
    }
    temp_dir dir;
    write_soil_nutrient_plane(dir, carbon("1e8"), "SOILS_ZEP_C\n");
    const kesta_test::program_result r = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.output;
}

// Ammonium nitrifies fast over land, in the stream and in the lake of the
// valley. The summary's reaction lines of every species are its books',
// the ZEP dm/dt totals are the container's count and equal the books'
// sums, and every balance closes. The outlet hydrographs of ammonium hold
// the outlet's concentration and mass of every output step; one that
// cannot be opened stops the run naming the species and the file.
TEST(NutrientSummary, ReactionLinesAreTheBooksTheBalancesCloseAndTheOutletIsWritten) {
    namespace valley = kesta_test::lake_valley;
    temp_dir dir(true);
    write_nutrient_valley(dir, "24", "0 0 5 0");
    dir.write("run.prj", valley::project("EXPLICIT") + "MAPPING_TABLE t.cmt\nCHAN_CON_TRANS\nWATER_TEMP 20\n"
                                                       "NUTRIENTS\nAQ_ENV aq.env\nST_INIT_NH4 1\nST_INIT_DO 8\n"
                                                       "OUT_HYD_NH4 nh4\n");
    g_books = reaction_books();
    g_outlet.clear();
    const kesta_test::model_run r = kesta_test::run_in_process("run.prj", take_reaction_books);
    const std::string s = kesta_test::read_file(dir.file("run.sum"));
    ASSERT_EQ(r.rc, 0) << r.out << s;
    ASSERT_TRUE(g_books.taken);

    double made = 0.0, used = 0.0;
    for (int k = 0; k < kesta::kNutrientSpecies; ++k) {
        SCOPED_TRACE(kesta::zep_species_name(k));
        const std::string name = kesta::zep_species_name(k);
        const std::string ov = section(s, "Overland Constituent Transport Summary for " + name, "Summary for");
        EXPECT_NEAR(number_after(ov, "Mass gained from ZEP kinetics"), g_books.ov_in[k], 6e-5) << ov;
        EXPECT_NEAR(number_after(ov, "Mass lost to ZEP kinetics"), g_books.ov_out[k], 6e-5) << ov;
        const std::string chan = section(
            s, "Channel Contaminant Transport Summary for " + name + " \nAmounts are total for simulations",
            "Attached");
        EXPECT_NEAR(number_after(chan, "Mass gained from ZEP kinetics"), g_books.chan_in[k], 6e-7) << chan;
        EXPECT_NEAR(number_after(chan, "Mass lost to ZEP kinetics"), g_books.chan_out[k], 6e-7) << chan;
        made += g_books.ov_in[k] + g_books.chan_in[k] + g_books.lake_in[k];
        used += g_books.ov_out[k] + g_books.chan_out[k] + g_books.lake_out[k];
    }
    // The ammonium the overland water, the stream nodes and the lake
    // oxidised.
    EXPECT_GT(g_books.ov_out[aq_nh4], 1e-3);
    EXPECT_GT(g_books.chan_out[aq_nh4], 1e-3);
    EXPECT_GT(g_books.lake_out[aq_nh4], 1e-3);
    const std::string nh4 = section(s, "Contaminant Transport Global Summary for Ammonium (NH4+)", "percent");
    EXPECT_NEAR(number_after(nh4, "ZEP gain/loss"),
                g_books.ov_in[aq_nh4] + g_books.chan_in[aq_nh4] + g_books.lake_in[aq_nh4] - g_books.ov_out[aq_nh4] -
                    g_books.chan_out[aq_nh4] - g_books.lake_out[aq_nh4],
                0.006)
        << nh4;
    EXPECT_LT(number_after(nh4, "ZEP gain/loss"), 0.0) << nh4;
    // The event's channel lines.
    const std::string event = section(s, "Channel Contaminant Transport Summary for Ammonium (NH4+) \nAmounts are "
                                         "total for event", "Contam mass balance error");
    EXPECT_GT(number_after(event, "Mass lost in ZEP kinetics"), 0.0) << event;
    EXPECT_FALSE(std::isnan(number_after(event, "Mass gained in ZEP kinetics"))) << event;

    const std::string zep = section(s, "ZEP dm/dt Summary\n", "\n\n");
    ASSERT_FALSE(zep.empty()) << s;
    EXPECT_NEAR(number_after(zep, "Total dm/dt in:"), made, 6e-5 + 1e-12 * made) << zep;
    EXPECT_NEAR(number_after(zep, "Total dm/dt out:"), used, 6e-5 + 1e-12 * used) << zep;
    EXPECT_NEAR(g_books.made / 1000.0, made, 1e-12 * made);
    EXPECT_NEAR(g_books.used / 1000.0, used, 1e-12 * used);

    int balances = 0;
    for (const std::string label :
         {"Soil mass balance error", "Dissolved mass balance error", "Contam mass balance error"}) {
        for (std::size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1), ++balances)
            EXPECT_NEAR(number_after(s.substr(at), label), 0.0, 1e-4) << s.substr(at, 80);
    }
    EXPECT_GT(balances, 4 * kesta::kNutrientSpecies);

    // The run's outlet hydrographs, a line per output step.
    const std::string conc = kesta_test::read_file(dir.file("nh4.conc"));
    const std::string mass = kesta_test::read_file(dir.file("nh4.mass"));
    std::size_t lines = 0;
    double peak = 0.0;
    for (std::size_t at_c = 0, at_m = 0; at_c < conc.size() && at_m < mass.size(); ++lines) {
        ASSERT_LT(lines, g_outlet.size()) << conc;
        const std::array<double, 3>& o = g_outlet[lines];
        double t = 0.0, v = 0.0, tm = 0.0, vm = 0.0;
        ASSERT_EQ(std::sscanf(conc.c_str() + at_c, "%lf %lf", &t, &v), 2) << conc;
        ASSERT_EQ(std::sscanf(mass.c_str() + at_m, "%lf %lf", &tm, &vm), 2) << mass;
        EXPECT_NEAR(t, o[0], 1e-8);
        EXPECT_EQ(tm, t);
        EXPECT_NEAR(v, o[1], 6e-5);
        EXPECT_NEAR(vm, o[2], 6e-5);
        peak = std::max(peak, v);
        at_c = conc.find('\n', at_c) + 1;
        at_m = mass.find('\n', at_m) + 1;
    }
    EXPECT_EQ(lines, g_outlet.size());
    EXPECT_GT(lines, 2u);
    EXPECT_GT(peak, 0.1);

    dir.write("run.prj", kesta_test::read_file(dir.file("run.prj")) + "OUT_HYD_NO3 nowhere/no3\n");
    const kesta_test::model_run bad = kesta_test::run_in_process("run.prj");
    EXPECT_NE(bad.rc, 0);
    EXPECT_NE(bad.out.find("Error opening nutrient concentration output file (hydrograph style )\nfor the Nitrate "
                           "(NO3-) hydrograph file. \nGiven filename: nowhere/no3.conc"),
              std::string::npos)
        << bad.out;
}

namespace {

// Per active cell at the second map frame: the totals the module forms and
// the sum of the nitrogen species' masses (g), and the NH4 concentration.
std::vector<double> g_map_total_n, g_map_n_sum, g_map_nh4;
int g_map_frames = 0;

bool watch_map_frames(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "write_timeseries_maps") != 0 || !m.zep) return true;
    const int every = m.map_freq > 0 ? m.map_freq : 1;
    if ((m.step - 1) % every != 0 || ++g_map_frames != 2) return true;
    kesta::zep_overland_totals(m);
    const int first = m.first_nutrient_constituent;
    for (int c = 1; c <= m.ncells; ++c) {
        g_map_total_n.push_back(m.zep->overland.total_n[c]);
        double n = 0.0;
        for (int s : {aq_no2, aq_no3, aq_nh4, aq_on}) n += m.contam_mass[static_cast<std::size_t>(first + s)][c];
        g_map_n_sum.push_back(n);
        g_map_nh4.push_back(m.contam_conc[static_cast<std::size_t>(first + aq_nh4)][c]);
    }
    return true;
}

// The active cells' values of time step `frame` (from 1) of an ASCII
// gridded dataset.
std::vector<double> dataset_frame(const std::string& text, int frame) {
    std::size_t at = 0;
    for (int f = 0; f < frame; ++f) {
        at = text.find("TS 1 ", at);
        if (at == std::string::npos) return {};
        at += 5;
    }
    std::istringstream in(text.substr(text.find('\n', at) + 1));
    std::vector<int> on(9);
    for (int& s : on) in >> s;
    std::vector<double> values;
    for (int s : on) {
        double v = 0.0;
        in >> v;
        if (s) values.push_back(v);
    }
    return values;
}

}  // namespace

// The total-nitrogen map and a species map are one dataset each, written
// at the map interval and ended; a species map that cannot be created
// stops the set-up.
TEST(NutrientMaps, TotalNitrogenIsTheSpeciesSumAndSpeciesMapsTheirValues) {
    temp_dir dir(true);
    std::filesystem::create_directory(dir.path() / "maps");
    write_ponded_project(dir, "OV_INIT_NH4 1.0\nOV_INIT_NO3 0.5\nOV_INIT_DO 8\nMAP_TYPE 1\nMAP_FREQ 1\n"
                              "TOTAL_OV_N maps/totn.dat\nOUT_OV_NH4 maps/nh4\n");
    g_map_frames = 0;
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_map_frames);
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(g_map_total_n.size(), 5u);
    const std::string total = kesta_test::read_file(dir.file("maps/totn.dat"));
    EXPECT_NE(total.find("OBJID 1053\n"), std::string::npos);
    EXPECT_NE(total.find("NAME Total_ov_N\n"), std::string::npos);
    EXPECT_EQ(total.substr(total.size() - 6), "ENDDS\n");
    const std::vector<double> frame = dataset_frame(total, 2);
    ASSERT_EQ(frame.size(), 5u);
    for (std::size_t c = 0; c < 5; ++c) {
        EXPECT_NEAR(g_map_total_n[c], g_map_n_sum[c], 1e-9 * g_map_n_sum[c]);
        EXPECT_GT(g_map_n_sum[c], 0.0);
        EXPECT_NEAR(frame[c], g_map_n_sum[c], 1e-6) << c;
    }
    const std::string nh4 = kesta_test::read_file(dir.file("maps/nh4.conc"));
    EXPECT_NE(nh4.find("NAME OV_nh4_conc\n"), std::string::npos);
    const std::vector<double> conc = dataset_frame(nh4, 2);
    ASSERT_EQ(conc.size(), 5u);
    for (std::size_t c = 0; c < 5; ++c) EXPECT_NEAR(conc[c], g_map_nh4[c], 1e-6);
    EXPECT_NE(kesta_test::read_file(dir.file("maps/nh4.mass")).find("OBJID 1029\n"), std::string::npos);

    write_ponded_project(dir, "OV_INIT_NO3 0.5\nMAP_TYPE 1\nOUT_OV_NO3 nowhere/no3\n");
    const kesta_test::model_run bad = kesta_test::run_in_process("p.prj");
    EXPECT_NE(bad.rc, 0);
    EXPECT_NE(bad.out.find("Can't open output file: nowhere/no3.mass"), std::string::npos) << bad.out;
}

namespace {

// At the last map frame, per node of links 1 and 4 and for the lake: NO2
// + NO3 + NH4 + ON, and the NO3 mass and concentration (g, g/m3).
struct channel_frame {
    std::vector<double> total_n[2], no3_mass[2], no3_conc[2];
    double lake_total_n = 0.0, lake_no3_mass = 0.0;
    int frames = 0;
};
channel_frame g_chan_frame;

bool watch_channel_frames(kesta::model_state& m, const char* step) {
    if (std::strcmp(step, "write_timeseries_maps") != 0 || m.chan_mass.empty()) return true;
    if ((m.step - 1) % m.map_freq != 0) return true;
    channel_frame& f = g_chan_frame;
    ++f.frames;
    const int first = m.first_nutrient_constituent;
    const auto total_n = [&](int row) {
        double n = 0.0;
        for (int s : {aq_no2, aq_no3, aq_nh4, aq_on}) n += m.chan_mass[first + s][row];
        return n;
    };
    const int links[2] = {1, 4};
    for (int i = 0; i < 2; ++i) {
        f.total_n[i].clear();
        f.no3_mass[i].clear();
        f.no3_conc[i].clear();
        for (int j = 1; j <= m.nx[links[i]]; ++j) {
            const int row = links[i] * m.chan_stride + j;
            f.total_n[i].push_back(total_n(row));
            f.no3_mass[i].push_back(m.chan_mass[first + aq_no3][row]);
            f.no3_conc[i].push_back(m.chan_conc[first + aq_no3][row]);
        }
    }
    f.lake_total_n = total_n(m.chan_lake_row0 + 1);
    f.lake_no3_mass = m.chan_mass[first + aq_no3][m.chan_lake_row0 + 1];
    return true;
}

// The values of each link line of the last block of a link/node dataset:
// a channel's node values, a lake's or a structure's one value.
std::vector<std::vector<double>> last_block(const std::string& text) {
    std::istringstream in(text.substr(text.rfind("TS    ")));
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<double>> links;
    while (std::getline(in, line) && !line.empty()) {
        std::istringstream words(line);
        std::vector<double> w;
        for (double v; words >> v;) w.push_back(v);
        std::vector<double> values;
        for (std::size_t k = w[0] < 0.0 ? 1 : 2; k < w.size(); k += 2) values.push_back(w[k]);
        links.push_back(values);
    }
    return links;
}

}  // namespace

// The lake valley with the four nitrogen species in the rain and NH4 in
// the stream: the total-nitrogen dataset shows NO2 + NO3 + NH4 + ON of
// every node and of the lake, the NO3 datasets its mass and
// concentration, each with its type, a block per map frame; a dataset that
// cannot be created stops the set-up.
TEST(NutrientLinknodes, TotalNitrogenIsTheSpeciesSumAndSpeciesShowTheirNodes) {
    namespace valley = kesta_test::lake_valley;
    temp_dir dir(true);
    write_nutrient_valley(dir, "0.1", "0.5 5 1 2");
    const std::string project = valley::project("EXPLICIT") +
                                "MAPPING_TABLE t.cmt\nCHAN_CON_TRANS\nWATER_TEMP 20\nNUTRIENTS\nAQ_ENV aq.env\n"
                                "ST_INIT_NH4 1\nMAP_FREQ 10\nOUT_ST_NO3 no3\n";
    dir.write("run.prj", project + "TOTAL_CHAN_N tn.dat\n");
    g_chan_frame = channel_frame();
    const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_channel_frames);
    ASSERT_EQ(r.rc, 0) << r.out;
    const channel_frame& f = g_chan_frame;

    const std::string tn = kesta_test::read_file(dir.file("tn.dat"));
    EXPECT_EQ(tn.substr(0, tn.find('\n')), "KESTA_LINKNODE_TOTAL_NITROGEN");
    std::size_t blocks = 0;
    for (std::size_t at = tn.find("\nTS "); at != std::string::npos; at = tn.find("\nTS ", at + 1)) ++blocks;
    EXPECT_EQ(blocks, static_cast<std::size_t>(f.frames));
    const auto total = last_block(tn);
    const auto mass = last_block(kesta_test::read_file(dir.file("no3.mass")));
    const auto conc = last_block(kesta_test::read_file(dir.file("no3.conc")));
    ASSERT_EQ(total.size(), 4u);
    ASSERT_EQ(mass.size(), 4u);
    ASSERT_EQ(conc.size(), 4u);
    EXPECT_GT(f.lake_total_n, f.lake_no3_mass);
    EXPECT_NEAR(total[1][0], f.lake_total_n, 1e-5);
    EXPECT_NEAR(mass[1][0], f.lake_no3_mass, 1e-5);
    for (int i = 0; i < 2; ++i) {
        const std::size_t line = i == 0 ? 0 : 3;
        ASSERT_FALSE(f.total_n[i].empty());
        ASSERT_GE(total[line].size(), f.total_n[i].size());
        for (std::size_t j = 0; j < f.total_n[i].size(); ++j) {
            EXPECT_GT(f.total_n[i][j], f.no3_mass[i][j]) << i << " " << j;
            EXPECT_NEAR(total[line][j], f.total_n[i][j], 1e-5) << i << " " << j;
            EXPECT_NEAR(mass[line][j], f.no3_mass[i][j], 1e-5) << i << " " << j;
            EXPECT_NEAR(conc[line][j], f.no3_conc[i][j], 1e-5) << i << " " << j;
        }
    }
    EXPECT_EQ(kesta_test::read_file(dir.file("no3.mass")).find("KESTA_LINKNODE_NO3_MASS\n"), 0u);
    EXPECT_EQ(kesta_test::read_file(dir.file("no3.conc")).find("KESTA_LINKNODE_NO3_CONC\n"), 0u);

    dir.write("run.prj", project + "TOTAL_CHAN_N nowhere/tn.dat\n");
    const kesta_test::model_run bad = kesta_test::run_in_process("run.prj");
    EXPECT_NE(bad.rc, 0);
    EXPECT_NE(bad.out.find("Unable to open output total channel nitrogen file.\n  (File: nowhere/tn.dat)"),
              std::string::npos)
        << bad.out;
    // The outlet series of a species and its channel datasets share no file.
    dir.write("run.prj", project + "OUT_HYD_NO3 no3\n");
    const kesta_test::model_run shared = kesta_test::run_in_process("run.prj");
    EXPECT_NE(shared.rc, 0);
    EXPECT_NE(shared.out.find("OUT_HYD_NO3"), std::string::npos) << shared.out;
}

// Every value of a block's ten lines lands in its named pair's rate or
// theta, or among the unused values: value j of line k is 100 k + j here,
// so a value read into the wrong place shows which.
TEST(AquaticEnvFile, EachValueOfABlockLandsInItsNamedPair) {
    const int counts[10] = {7, 7, 4, 4, 4, 4, 7, 7, 4, 4};
    std::string lines;
    for (int k = 1; k <= 10; ++k) {
        for (int j = 1; j <= counts[k - 1]; ++j) lines += std::to_string(100 * k + j) + " ";
        lines += "\n";
    }
    env_case t;
    ASSERT_EQ(t.read("NUM_IDS 1\n1\n1\n" + lines + "OV_MAP ov.asc\n", 1), 0) << t.out;
    const aq_rate_block& b = t.env.block(1);
    const struct {
        aq_rate_pair pair;
        double rate;
        double theta;
    } expected[] = {{aq_chlorophyll_ratio, 101, 201}, {aq_o2_per_no2, 107, 207},  {aq_nh4_oxidation, 301, 401},
                    {aq_op_decay, 304, 404},          {aq_cbod_deoxygenation, 501, 601},
                    {aq_sediment_o2_demand, 504, 604}, {aq_algal_growth_max, 701, 801},
                    {aq_benthic_nh4, 705, 805},       {aq_op_settling, 707, 807}};
    for (const auto& e : expected) {
        EXPECT_EQ(b.pair[e.pair].rate, e.rate) << e.pair;
        EXPECT_EQ(b.pair[e.pair].theta, e.theta) << e.pair;
    }
    EXPECT_EQ(b.unused[0], 901);
    EXPECT_EQ(b.unused[4], 1001);
    EXPECT_EQ(b.unused[aq_unused_rate_count - 1], 1004);
    // Twenty-two pairs and eight unused values: every value read once.
    double sum = 0.0;
    for (const aq_rate_value& v : b.pair) sum += v.rate + v.theta;
    for (double v : b.unused) sum += v;
    double given = 0.0;
    for (int k = 1; k <= 10; ++k)
        for (int j = 1; j <= counts[k - 1]; ++j) given += 100 * k + j;
    EXPECT_EQ(sum, given);
}
