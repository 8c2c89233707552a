// The Sacramento accounting: one interval against a hand-worked state, the
// stores kept within their capacities, the topographic index of a strip
// against ln(a / tan b), and whole runs whose event balance closes, with the
// refusals of the set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/text_format.hpp"
#include "subsurface/sacramento.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta::sacramento_params;

// uztwm 50, uztwc 25, uzfwm 20, uzfwc 4, uzk 0.3, zperc 2, rexp 2, lztwm
// 100, lztwc 50, lzfsm 50, lzfsc 25, lzfpm 100, lzfpc 50, lzsk 0.05, lzpk
// 0.01, pfree 0.
sacramento_params hand_worked() {
    sacramento_params p;
    p.uztwm = 50.0, p.uztwc = 25.0, p.uzfwm = 20.0, p.uzfwc = 4.0, p.uzk = 0.3, p.zperc = 2.0, p.rexp = 2.0;
    p.lztwm = 100.0, p.lztwc = 50.0, p.lzfsm = 50.0, p.lzfsc = 25.0, p.lzfpm = 100.0, p.lzfpc = 50.0;
    p.lzsk = 0.05, p.lzpk = 0.01, p.pfree = 0.0;
    return p;
}

// Baseflow 0.5 + 1.25 mm; percolation 0.7 (1 + 2 x 0.507^2) into a lower
// zone 0.507 short of full; interflow 0.3 of what percolation leaves.
TEST(Sacramento, OneIntervalFromAHandWorkedState) {
    sacramento_params p = hand_worked();
    const kesta::sacramento_fluxes f = kesta::sacramento_step(p, 0.0, 0.0);
    EXPECT_NEAR(f.baseflow, 1.75, 1e-12);
    EXPECT_NEAR(f.percolation, 1.05987, 5e-6);
    EXPECT_NEAR(f.interflow, 0.88204, 5e-6);
    EXPECT_NEAR(f.outflow(), 2.63204, 5e-6);
    EXPECT_NEAR(p.uzfwc, (4.0 - f.percolation) * 0.7, 1e-12);
    EXPECT_NEAR(p.lztwc, 50.0 + f.percolation, 1e-12);  // pfree 0: the tension store first
    EXPECT_NEAR(p.residual, 0.0, 1e-12);
}

// All percolation is free (pfree 1) and empties the upper free water (2 mm);
// the supplementary store is full, so the primary one (19.8 of 100 after its
// drainage) takes all 2 mm. Uncapped, its share would be 4/3 and the full
// store would give up 0.667 mm to it.
TEST(Sacramento, FreePercolationIntoAFullSupplementaryStoreGoesToPrimary) {
    sacramento_params p = hand_worked();
    p.uztwc = 50.0, p.uzfwm = 2.0, p.uzfwc = 2.0, p.zperc = 5.0, p.lzfsc = 50.0, p.lzfpc = 20.0;
    p.lzsk = 0.0, p.pfree = 1.0;
    const kesta::sacramento_fluxes f = kesta::sacramento_step(p, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(f.percolation, 2.0);
    EXPECT_DOUBLE_EQ(p.lzfsc, 50.0);
    EXPECT_NEAR(p.lzfpc, 19.8 + 2.0, 1e-12);
    EXPECT_DOUBLE_EQ(p.uzfwc, 0.0);
}

// Whatever the state and input, every store stays within [0, capacity] and
// the stores account for every mm.
TEST(Sacramento, StoresStayWithinTheirCapacitiesAndBalance) {
    struct case_ {
        const char* what;
        double demand, input;
        void (*set)(sacramento_params&);
    };
    const case_ cases[] = {
        {"heavy rain over several increments", 0.0, 60.0, [](sacramento_params&) {}},
        {"a demand beyond the upper tension capacity", 80.0, 0.0, [](sacramento_params&) {}},
        // Percolation wants all of the upper free water (rexp 0: the full
        // multiplier), but the full lower zone has room for only what its
        // drainage freed.
        {"percolation taking all upper free water", 0.0, 40.0,
         [](sacramento_params& p) {
             p.zperc = 50.0, p.rexp = 0.0, p.lzsk = 0.1, p.lzpk = 0.02, p.uzfwc = 8.0;
             p.lztwc = 100.0, p.lzfsc = 50.0, p.lzfpc = 100.0;
         }},
        // Free water beyond the full primary store's room overflows to the
        // tension store.
        {"an overfilling primary store", 0.0, 40.0,
         [](sacramento_params& p) {
             p.zperc = 40.0, p.rexp = 0.0, p.lzpk = 0.02, p.pfree = 1.0, p.uztwc = 50.0, p.uzfwc = 20.0;
             p.lztwc = 75.0, p.lzfsc = 50.0, p.lzfpc = 100.0;
         }},
    };
    for (const case_& c : cases) {
        sacramento_params p = hand_worked();
        c.set(p);
        const double before = p.storage();
        const kesta::sacramento_fluxes f = kesta::sacramento_step(p, c.demand, c.input);
        const double stores[][2] = {{p.uztwc, p.uztwm}, {p.uzfwc, p.uzfwm}, {p.lztwc, p.lztwm},
                                    {p.lzfsc, p.lzfsm}, {p.lzfpc, p.lzfpm}};
        for (const auto& s : stores) {
            EXPECT_GE(s[0], -1e-12) << c.what;
            EXPECT_LE(s[0], s[1] + 1e-9) << c.what;
        }
        EXPECT_NEAR(before + c.input - f.evaporation - f.outflow(), p.storage(), 1e-9) << c.what;
        EXPECT_NEAR(p.residual, 0.0, 1e-9) << c.what;
    }
}

// A one-cell-wide strip of 30 m cells falling 0.3 m a row (slope 0.01):
// row r passes r cells of area on, ln(r dx^2 / (0.5 s dx)) = ln(2 r dx / s);
// the last row has no lower neighbour and takes the slope of the row above.
TEST(Sacramento, TopographicIndexOfAStrip) {
    const int rows = 12;
    kesta::mat2<int> mask(rows, 1);
    kesta::vec1<double> elev(rows);
    for (int r = 1; r <= rows; ++r) {
        mask[r][1] = r;
        elev[r] = 100.0 - 0.3 * (r - 1);
    }
    kesta::vec1<double> index;
    kesta::topographic_index(mask, elev, rows, 1, 30.0, index);
    ASSERT_EQ(index.n(), rows);
    for (int r = 1; r < rows; ++r) EXPECT_NEAR(index[r], std::log(2.0 * r * 30.0 / 0.01), 1e-9) << r;
    EXPECT_NEAR(index[rows], std::log(rows * 900.0 / (2.0 * 30.0 * 0.01)), 1e-9);

    // The same strip with its cells numbered from the bottom up: the cells
    // are taken by height, not in the order of their numbers.
    for (int r = 1; r <= rows; ++r) {
        mask[r][1] = rows + 1 - r;
        elev[rows + 1 - r] = 100.0 - 0.3 * (r - 1);
    }
    kesta::topographic_index(mask, elev, rows, 1, 30.0, index);
    EXPECT_NEAR(index[rows], std::log(2.0 * 30.0 / 0.01), 1e-9);
    EXPECT_NEAR(index[2], std::log(2.0 * 11 * 30.0 / 0.01), 1e-9);
    EXPECT_NEAR(index[1], std::log(rows * 900.0 / (2.0 * 30.0 * 0.01)), 1e-9);
}

using kesta_test::has;
using kesta_test::table_row;

// A valley of 5 x 3 cells of 30 m with its stream down the middle column.
struct valley {
    kesta_test::temp_dir dir;

    valley() {
        using kesta::format_text;
        std::string elev;
        for (int r = 1; r <= 5; ++r)
            elev += format_text("%.1f %.1f %.1f\n", 105.5 - r, 105.0 - r, 105.5 - r);
        for (const char* name : {"mask.asc", "soil.idx"})
            dir.write(name, kesta_test::grid_text(5, 3, 30.0, "1 1 1\n1 1 1\n1 1 1\n1 1 1\n1 1 1\n"));
        dir.write("elev.asc", kesta_test::grid_text(5, 3, 30.0, elev));
        std::string gst;
        dir.write("net.chan", kesta_test::middle_column_channel(gst));
        dir.write("net.gst", gst);
        write_tables();
        write_params(cards());
    }

    // The Green and Ampt tables of the one soil, then `more`.
    void write_tables(const std::string& more = "") const {
        dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
                           "NUM_IDS 1\nhdr\n" + table_row(1, "1.0 8.89 0.434 0.252 0.027 0.27 0.12") +
                           "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.15") + more);
    }

    // Two days of warm weather and two rains: 20 mm/h from 3:00 to 5:00
    // and for half an hour from 12:00 the next day, with the soil of
    // `infiltration`.
    kesta_test::program_result run_long_term(const char* infiltration = "INF_REDIST\nTOP_LAYER_DEPTH 0.1\n") const {
        write_tables("EVAPOTRANSPIRATION \"Soil\"\nNUM_IDS 1\nhdr\n" + table_row(1, "0.2 0.3 1.0 100"));
        dir.write("rain.dat", "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 45 75\n"
                              "RATES 2020 6 1 3 0 20.0\nRATES 2020 6 1 5 0 0.0\n"
                              "EVENT two\nNRGAG 1\nNRPDS 2\nCOORD 45 75\n"
                              "RATES 2020 6 2 12 0 20.0\nRATES 2020 6 2 12 30 0.0\n");
        dir.write("weather.kvl", kesta_test::kvl_hours(2020, 6, 1, 0, 48, "29.92 50 2 8 77 300.0 600.0"));
        std::filesystem::create_directory(dir.file("exchange"));
        return run_project("TOT_TIME 2820\nTIMESTEP 60\nPRECIP_FILE rain.dat\nRAIN_INV_DISTANCE\nLONG_TERM\n"
                           "STRICT_JULIAN_DATE\nHMET_KVL weather.kvl\nET_CALC_DEARDORFF\nLATITUDE 40\n"
                           "LONGITUDE 105\nGMT -7\nEVENT_MIN_Q 0.02\nHYD_FREQ 60\n" + std::string(infiltration));
    }

    static std::string cards() {
        return "uztwm 50\nuzfwm 20\nuzk 0.3\nzperc 2\nrexp 2\nlztwm 100\nlzfsm 50\nlzfpm 100\nlzsk 0.05\n"
               "lzpk 0.01\npfree 0.1\nnum_basins 1\nuztwc 0.5\nuzfwc 0.2\nlztwc 0.5\nlzfsc 0.5\nlzfpc 0.5\n"
               "saved 0\n";
    }
    void write_params(const std::string& body) const { dir.write("sac.txt", "KESTA_SACRAMENTO\n" + body); }

    // Three hours from an hour of 30 mm/h under Green and Ampt.
    kesta_test::program_result run(double timestep = 10.0) const {
        return run_project(kesta::format_text("TOT_TIME 180\nTIMESTEP %g\nRAIN_INTENSITY 30\nRAIN_DURATION 60\n"
                                              "START_DATE 2020 6 1\nSTART_TIME 12 0\nGREEN_AMPT\nTOPO_INDEX\n",
                                              timestep));
    }
    // The valley's project with the accounting, its stream and `cards`.
    kesta_test::program_result run_project(const std::string& cards) const {
        dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 5\nCOLS 3\n"
                           "OUTROW 5\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nMAPPING_TABLE t.cmt\nCHAN_EXPLIC\n"
                           "CHANNEL_INPUT net.chan\nSTREAM_CELL net.gst\nSACRAMENTO sac.txt\nSUMMARY run.sum\n"
                           "OUTLET_HYDRO out.hyd\nSUPER_QUIET\n" + cards);
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    std::string summary() const { return kesta_test::read_file(dir.file("run.sum")); }
};

// The infiltrated water enters the stores, the stores feed the channel,
// and the event balance holds the stores, the water on its way and their
// evapotranspiration: it closes.
TEST(Sacramento, AWholeRunClosesItsBalance) {
    valley v;
    const kesta_test::program_result r = v.run();
    const std::string s = v.summary();
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(has(s, "Base flow using the Sacramento Soil Moisture Accounting Model.")) << s;
    EXPECT_NEAR(kesta_test::value_after(s, "mass conservation error:"), 0.0, 5e-7) << s;
    const double received = kesta_test::value_after(s, "volume of infil water SAC recieves:");
    const double base_flow = kesta_test::value_after(s, "volume of base flow from Sacramento:");
    EXPECT_GT(received, 100.0) << s;
    EXPECT_GT(base_flow, 10.0) << s;
    // The stores start with 25 + 4 + 50 + 25 + 50 mm over 13500 m2.
    EXPECT_NEAR(kesta_test::value_after(s, "volume of subsurface at event start:"), 154.0 * 13.5, 0.1) << s;
    // The channel took more than the rain that did not soak in: the outflow
    // reached it (what the last hours gave is still on its way).
    const double runoff = kesta_test::value_after(s, "volume of rainfall to overland:") - received;
    EXPECT_GT(kesta_test::value_after(s, "volume of lateral inflow:"), runoff + 0.5 * base_flow) << s;
    // The accounting's own check at the end of the run (its run summary).
    EXPECT_NEAR(kesta_test::value_after(s, "Residual (neg. means mass created (mm):"), 0.0, 5e-4) << s;
    EXPECT_NEAR(kesta_test::value_after(s, "Initial subsurface storage(mm):"), 154.0, 1e-3) << s;
    // The run's global table with the stores as the soil and the aquifer,
    // and their outflow as the channels' input.
    for (const char* error : {"Mass balance error of surface components =", "Overall mass balance error ="})
        EXPECT_LE(std::fabs(kesta_test::value_after(s, error)), 1e-6) << error << s;
    EXPECT_FALSE(has(s, "nan")) << s;
}

// Between the events of a long-term run the channels wait: the hourly
// outflow of those hours leaves unrouted instead of reaching the next
// event's channels all at once, and each event balances.
TEST(Sacramento, ALongTermRunBalancesEachEvent) {
    valley v;
    const kesta_test::program_result r = v.run_long_term();
    const std::string s = v.summary();
    ASSERT_EQ(r.status, 0) << r.output;
    const std::size_t second = s.find("SIMULATION SUMMARY- EVENT 2");
    ASSERT_NE(second, std::string::npos) << s;
    // About an hour's outflow of the starting stores (m3).
    const double hour = 1.75 * 13.5;
    for (const std::string& event : {s.substr(0, second), s.substr(second)}) {
        EXPECT_NEAR(kesta_test::value_after(event, "mass conservation error:"), 0.0, 5e-7) << event;
        EXPECT_GT(kesta_test::value_after(event, "volume of base flow from Sacramento:"), 0.0) << event;
        // The rain that did not soak in, the event's own outflow and at most
        // the hour on its way at the event's start: not the three hours of
        // outflow before the first event, when the channels waited.
        EXPECT_LT(kesta_test::value_after(event, "volume of lateral inflow:"),
                  kesta_test::value_after(event, "volume of rainfall to overland:") -
                      kesta_test::value_after(event, "volume of infiltrated water:") +
                      kesta_test::value_after(event, "volume of base flow from Sacramento:") + 1.5 * hour)
            << event;
    }
    // The weather's evapotranspiration reached the stores.
    EXPECT_GT(kesta_test::value_after(s, "AET calculated by Sacramento (mm):"), 1.0) << s;
    for (const char* error : {"Mass balance error of surface components =", "Overall mass balance error ="})
        EXPECT_LE(std::fabs(kesta_test::value_after(s, error)), 1e-6) << error << s.substr(s.find("SIMULATION TOTALS"));
    EXPECT_FALSE(has(s, "nan")) << s;
}

// Under layered Green and Ampt the channels wait between the events: the
// outflow of those hours leaves unrouted, at the outlet, and the second
// event, whose books opened when the first closed, books it as its
// discharge.
TEST(Sacramento, OutflowTheWaitingChannelsMissLeavesAtTheOutletInTheNextEvent) {
    valley v;
    // Per layer: Ks, pore index, Hc, porosity, field capacity, wilting
    // point, residual, initial moisture, depth (none for layer 3).
    v.dir.write("layers.txt", "1 0\n1\n0.34 0.252 8.89 0.434 0.27 0.12 0.027 0.15 10\n"
                              "0.05 0.2 20 0.4 0.3 0.15 0.05 0.25 20\n1.0 0.3 5 0.45 0.2 0.08 0.04 0.2\n");
    const kesta_test::program_result r =
        v.run_long_term("INF_LAYERED_SOIL\nSOIL_TYPE_MAP soil.idx\nSOIL_LAYER_INPUT_FILE layers.txt\n");
    const std::string s = v.summary();
    ASSERT_EQ(r.status, 0) << r.output;
    const std::size_t second = s.find("SIMULATION SUMMARY- EVENT 2");
    ASSERT_NE(second, std::string::npos) << s;
    const std::string first_event = s.substr(0, second), second_event = s.substr(second);
    for (const std::string& event : {first_event, second_event})
        EXPECT_NEAR(kesta_test::value_after(event, "mass conservation error:"), 0.0, 5e-7) << event;
    // The stores lost water to evapotranspiration and outflow in between.
    EXPECT_NEAR(kesta_test::value_after(second_event, "volume of subsurface at event start:"),
                kesta_test::value_after(first_event, "volume of subsurface at event end:"), 0.05)
        << s;
    EXPECT_FALSE(has(s, "nan")) << s;
}

// What the set-up refuses, each with what the message names.
TEST(Sacramento, TheSetUpRefusesWhatTheAccountingCannotRun) {
    std::string zero_lzfsm = valley::cards();
    zero_lzfsm.replace(zero_lzfsm.find("lzfsm 50"), 8, "lzfsm 0");
    struct case_ {
        const char* what;
        double timestep;
        std::string params;
        const char* said;
    } cases[] = {
        {"a step that does not divide the hour", 7.0, valley::cards(), "TIMESTEP 7 s does not divide the hour"},
        {"a capacity of 0", 10.0, zero_lzfsm,
         "capacity lzfsm is 0 mm; every capacity must be greater than 0.\n"
         "(Sacramento parameter file sac.txt, line 8: \"lzfsm 0\")"},
        {"a duplicate card", 10.0, "uzk 0.2\n" + valley::cards(), "card uzk on lines 2 and 5"},
        {"a missing card", 10.0, valley::cards().substr(0, valley::cards().find("saved")), "lacks: saved"},
        {"a value that is no number", 10.0, "uzk fast\n" + valley::cards(), "\"fast\""},
        // A negative reserve would let the tension store draw the free stores below 0.
        {"a negative saved", 10.0, valley::cards().replace(valley::cards().find("saved 0"), 7, "saved -5"),
         "saved is -5; it must not be negative.\n(Sacramento parameter file sac.txt, line"},
    };
    for (const case_& c : cases) {
        valley v;
        v.write_params(c.params);
        const kesta_test::program_result r = v.run(c.timestep);
        EXPECT_TRUE(has(r.output, c.said)) << c.what << "\n" << r.output;
        EXPECT_FALSE(has(v.summary(), "EVENT RUNOFF SIMULATION SUMMARY")) << c.what;
    }
}

}  // namespace
