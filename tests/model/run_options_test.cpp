// The run options: card values translated into working members, and the
// option combinations refused in their fixed order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "model/run_options.hpp"
#include "output/output_steps.hpp"
#include "output/vq_inflow.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;

const std::string kGrid = "KESTAPROJECT\nGRIDSIZE 30\nROWS 4\nCOLS 5\nTOT_TIME 60\nTIMESTEP 10\n";

class RunOptions : public ::testing::Test {
protected:
    void TearDown() override { g_error_record.clear_for_run(); }
    // A fresh state with `cards` read and translated; `roughness_table`
    // stands for a mapping table that holds roughness.
    model_state& read(const std::string& cards, bool roughness_table = false) {
        m = std::make_unique<model_state>();
        m->mapping_table_info.roughness = roughness_table ? 1 : 0;
        dir.write("p.prj", kGrid + cards);
        out = kesta_test::printed_by([&] { kesta::read_run_parameters(dir.file("p.prj"), *m); });
        return *m;
    }
    // The warnings of a run with uniform rain and `cards`, whose options
    // pass their checks.
    std::vector<std::string> warned(const std::string& cards) {
        kesta::forget_warnings();
        model_state& s = read("RAIN_INTENSITY 10\nRAIN_DURATION 10\n" + cards);
        kesta_test::printed_by([&] { kesta::check_run_options(s); });
        EXPECT_EQ(g_error_record.code, 0) << cards;
        std::vector<std::string> texts;
        for (const kesta::given_warning& g : kesta::take_warnings().listed) texts.push_back(g.text);
        return texts;
    }
    kesta_test::temp_dir dir;
    std::unique_ptr<model_state> m;
    std::string out;
};

TEST_F(RunOptions, SelectorsBecomeOneSwitchPerMethod) {
    // Green and Ampt, redistribution, layered, Richards, soil accounting;
    // explicit, alternative and implicit channel routing, drain start.
    const std::vector<std::pair<std::string, std::vector<int>>> method_rows = {
        {"", {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"GREEN_AMPT", {1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"INF_REDIST", {0, 1, 0, 0, 1, 0, 0, 0, 0}},
        {"INF_LAYERED_SOIL", {0, 0, 1, 0, 1, 0, 0, 0, 0}},
        {"INF_RICHARDS\nGREEN_AMPT\nINF_RICHARDS", {0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"CHAN_EXPLIC", {0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"DIFFUSIVE_WAVE", {0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"CHAN_MESH", {0, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"CHAN_PREISS", {0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"CHAN_BACKWATER", {0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"CHAN_DRAIN", {0, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"CHAN_DRAIN\nCHAN_EXPLIC", {0, 0, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const auto& r : method_rows) {
        const model_state& s = read(r.first + "\n");
        EXPECT_EQ((std::vector<int>{s.green_ampt_on, s.inf_redist_on, s.inf_layered_on, s.inf_richards_on,
                                    s.soil_et_accounting, s.chan_routing, s.chan_alt_routing, s.chan_implicit_routing,
                                    s.chan_drain_init}),
                  r.second)
            << r.first;
    }
    // GRASS, ASCII and binary maps; uniform, file, raining; inverse distance, Thiessen.
    const std::vector<std::pair<std::string, std::vector<int>>> source_rows = {
        {"MAP_TYPE 0", {1, 0, 0, 1, 0, 1, 0, 0}},
        {"MAP_TYPE 1\nPRECIP_FILE r.gag", {0, 1, 0, 0, 1, 0, 1, 0}},
        {"MAP_TYPE 2\nPRECIP_FILE r.gag\nRAIN_THIESSEN", {0, 1, 1, 0, 1, 0, 0, 1}},
        {"PRECIP_FILE r.gag\nPRECIP_UNIF", {1, 0, 0, 1, 0, 1, 0, 0}},
    };
    for (const auto& r : source_rows) {
        const model_state& s = read(r.first + "\n");
        EXPECT_EQ((std::vector<int>{s.map_grass, s.map_tvm_ascii, s.map_tvm_binary, s.uniform_rain, s.rain_from_file,
                                    s.raining, s.rain_inv_distance, s.rain_thiessen}),
                  r.second)
            << r.first;
    }
}

TEST_F(RunOptions, ValuesWithARuleOfTheirOwn) {
    EXPECT_EQ(read("").event_min_q, 0.1);
    EXPECT_EQ(read("EVENT_MIN_Q 0\n").event_min_q, 0.05);
    EXPECT_EQ(read("EVENT_MIN_Q 1e-5\n").event_min_q, 1e-5);

    const model_state& s = read("SOIL_MOIST_DEPTH 0.4\nRETENTION 0.003\nRATE_OF_INFIL r.out\n");
    EXPECT_DOUBLE_EQ(s.soil_moist_depth, 40.0);
    EXPECT_EQ(s.retention_depth, 0.003);
    EXPECT_EQ(s.rate_of_infil_given, 0);  // no infiltration method
    EXPECT_EQ(read("GREEN_AMPT\nRATE_OF_INFIL r.out\n").rate_of_infil_given, 1);

    // A roughness table counts only without a uniform Manning's n.
    EXPECT_EQ(read("", true).roughness_given, 1);
    EXPECT_EQ(read("MANNING_N 0.03\n", true).roughness_given, 0);
    EXPECT_EQ(read("MANNING_N 0.03\nROUGHNESS n.asc\n", true).roughness_given, 1);
}

TEST_F(RunOptions, ReservoirInflowFileIsCreatedWithItsHeader) {
    read("VQ_INPUT " + dir.file("qin.txt") + "\n");
    ASSERT_TRUE(m->vq_qin_fp);
    m->day_of_year = 32;
    m->hour = 6;
    m->q_out = 1.25;
    kesta::vq_qin_write(*m);
    kesta::close_output_files(*m);
    EXPECT_EQ(kesta_test::read_file(dir.file("qin.txt")), "  output from KESTA\n\n    JDAY     QIN\n32.2     1.2    \n");

    read("VQ_INPUT " + dir.file("no/such/folder/qin.txt") + "\n");
    EXPECT_EQ(g_error_record.stop, 1);
}

TEST_F(RunOptions, MappingTableFileIsCheckedForItsTables) {
    dir.write("a.idx", "north 1\nsouth 0\neast 1\nwest 0\nrows 1\ncols 1\n1\n");
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + dir.file("a.idx") +
                           " a\nROUGHNESS a\nNUM_IDS 1\nhdr\n1     grass  0.1\n");
    EXPECT_EQ(read("MAPPING_TABLE " + dir.file("t.cmt") + "\n").roughness_given, 1);
    EXPECT_EQ(m->mapping_table_info.roughness, 1);
    EXPECT_EQ(m->mapping_table_info.wetlands, 0);
}

TEST_F(RunOptions, GroundwaterOnlyUnderAWaterTableAndThenWithStreamLoss) {
    const model_state& without = read("GW_SIMULATION\nGW_UNIF_POROSITY 0.3\n");
    EXPECT_EQ(std::make_pair(without.gw_simulation, without.gw_unif_porosity_given), std::make_pair(0, 0));

    const model_state& with = read("WATER_TABLE wt.asc\nGW_SIMULATION\nGW_UNIF_POROSITY 0.3\n");
    EXPECT_EQ(std::make_pair(with.gw_simulation, with.stream_loss), std::make_pair(1, 1));
    EXPECT_EQ(with.gw_unif_porosity, 0.3);
    EXPECT_EQ(with.aquifer_delta_z, -999.9);

    // The Richards nodes below the soil take the spacing under a water
    // table without the groundwater solve too.
    const model_state& table = read("WATER_TABLE wt.asc\nAQUIFER_DELTA_Z 0.5\n");
    EXPECT_EQ(std::make_pair(table.gw_simulation, table.aquifer_delta_z), std::make_pair(0, 0.5));
}

TEST_F(RunOptions, UniformRainStartsAtTheStartDate) {
    const model_state& s = read("RAIN_INTENSITY 25.4\nRAIN_DURATION 90\nSTART_DATE 1999 6 15\nSTART_TIME 12 30\n");
    EXPECT_EQ(std::make_pair(s.start_hhmm, s.start_yyyymmdd), std::make_pair(1230, 19990615));
    EXPECT_NEAR(s.time, 2451345.0 + 30.0 / 1440.0, 1e-9);
    EXPECT_EQ(s.precip_next_time, s.time);
    EXPECT_EQ(std::make_pair(s.rain_duration, s.rain_intensity), std::make_pair(90.0, 25.4));
}

TEST_F(RunOptions, ExchangePathsAndEventNumber) {
    const model_state& absent = read("");
    EXPECT_EQ(std::make_pair(absent.htp_event_num, absent.htp_event_num_given), std::make_pair(-1, 0));
    EXPECT_EQ(absent.ksat_to_olma, "exchange/");

    // A number card without its number.
    const model_state& s = read("HTP\nHTP_EVENT_NUM\nOLMA events.txt\nKSAT_TO_OLMA ks.asc\n");
    EXPECT_EQ(std::make_pair(s.htp_event_num, s.htp_event_num_given), std::make_pair(-1, 1));
    EXPECT_EQ((std::vector<std::string>{s.olma, s.ksat_to_olma}),
              (std::vector<std::string>{"exchange/events.txt", "exchange/ks.asc"}));
    EXPECT_EQ(std::make_pair(s.ksat_to_olma_given, s.moist_from_olma_given), std::make_pair(1, 0));
}

TEST_F(RunOptions, EndTimeNutrientsAndTheClosingLine) {
    const model_state& s = read("END_TIME 2000 1 1 12 0\nNUTRIENTS\nWRITE_CHAN_HOTSTART hot\n");
    EXPECT_EQ(std::make_pair(s.end_time_given, s.nutrients), std::make_pair(1, 1));
    EXPECT_EQ(s.end_time_julian, 2451545.0);
    // The nutrient container is built by a start-up step of its own.
    EXPECT_EQ(s.zep, nullptr);
    EXPECT_EQ(std::make_pair(s.chan_hotstart_depth_out, s.chan_hotstart_discharge_out),
              std::make_pair(std::string("hot.dht"), std::string("hot.qht")));
    EXPECT_NE(out.find("\nfinished reading project file\n"), std::string::npos);

    read("SUPER_QUIET\n");
    EXPECT_EQ(m->super_quiet, 1);
    EXPECT_EQ(out.find("finished reading"), std::string::npos);
}

// A card that changes nothing in this program is said once among the
// warnings, whatever its case and however often it is given; cards that act
// are not.
TEST_F(RunOptions, ACardWithoutEffectIsSaidOnceAmongTheRunsWarnings) {
    kesta::forget_warnings();
    read("XWINDOWS\nDAILY_OUTPUT daily.txt\nxwindows\nTvm\nNUM_THREADS 4\nGW_OUTPUT gw\nFYSSI f.txt\n"
         "MANNING_N 0.03\nTVM\n");
    const kesta::warning_list w = kesta::take_warnings();
    std::vector<std::string> texts;
    for (const kesta::given_warning& g : w.listed) {
        texts.push_back(g.text);
        EXPECT_EQ(g.times, 1) << g.text;
    }
    const auto said = [](const char* card) {
        return "Warning: card " + std::string(card) + " is read but has no effect in this program.";
    };
    // NUM_THREADS says, as it is read, how the threads are chosen instead.
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].rfind("Warning: card NUM_THREADS on line ", 0), 0u) << texts[0];
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()),
              (std::vector<std::string>{said("XWINDOWS"), said("DAILY_OUTPUT"), said("TVM")}));
    EXPECT_NE(out.find(said("DAILY_OUTPUT")), std::string::npos);  // on the console too
}

// A process card that another card's absence (or presence) leaves idle is
// said once among the warnings; the cards below an idle GW_SIMULATION are
// covered by its own warning.
TEST_F(RunOptions, ProcessCardsLeftIdleByAnotherCardAreSaidOnce) {
    EXPECT_EQ(warned("CHANNEL_INPUT c.chan\nOVERBANK_FLOW\nCHAN_CON_TRANS\nGW_SIMULATION\nGW_TIMESTEP 60\n"
                     "AQUIFER_BOTTOM b.asc\nTOPO_INDEX\nNO_CONT_INF_REDIST\nINF_LAYERED_SOIL\nCONDUCTIVITY k.asc\n"
                     "OVERBANK_FLOW\n"),
              (std::vector<std::string>{
                  "CHANNEL_INPUT has no effect without CHAN_EXPLIC: no channel network is routed.",
                  "OVERBANK_FLOW has no effect without CHAN_EXPLIC: no channel water spills onto the cells.",
                  "CHAN_CON_TRANS has no effect without CHAN_EXPLIC: no constituent is carried in the channels.",
                  "GW_SIMULATION has no effect without WATER_TABLE: no groundwater flow is simulated.",
                  "AQUIFER_BOTTOM has no effect without WATER_TABLE: no aquifer lies below the soil.",
                  "TOPO_INDEX has no effect without SACRAMENTO: no Sacramento soil-moisture accounting runs.",
                  "NO_CONT_INF_REDIST has no effect without INF_REDIST: no soil water redistributes between rains.",
                  "CONDUCTIVITY has no effect with INF_LAYERED_SOIL: the soil classes of SOIL_LAYER_INPUT_FILE give "
                  "the soil's properties and initial water content."}));
    EXPECT_EQ(warned("CHAN_EXPLIC\nCHANNEL_INPUT c.chan\nOVERBANK_FLOW\nWATER_TABLE wt.asc\nAQUIFER_BOTTOM b.asc\n"
                     "GW_TIMESTEP 60\nINF_REDIST\nNO_CONT_INF_REDIST\nCONDUCTIVITY k.asc\n"),
              std::vector<std::string>{"GW_TIMESTEP has no effect without GW_SIMULATION: no groundwater flow is "
                                       "simulated."});
}

// The cards a process card leaves idle: the stream bed without STREAM_LOSS,
// the outlet depth without HEAD_BOUND, the channel constituent values
// without CHAN_CON_TRANS, the grid pipes without STORM_SEWER, the Richards
// settings without INF_RICHARDS, the evapotranspiration maps without
// LONG_TERM and the soil maps without an infiltration method. Each is said
// once: without channel routing only its warning without CHAN_EXPLIC; with
// the card it needs, nothing.
TEST_F(RunOptions, CardsIdleUnderAnIdleProcessAreSaidOnce) {
    const std::string idle = "K_RIVER 0.1\nM_RIVER 2\nBOUND_DEPTH 1\nBOUND_TS s\nCHAN_DECAY_COEF 0.1\n"
                             "CHAN_DISP_COEF 1\nINIT_CHAN_CONC 1\nGRID_PIPE g.gpi\nRICHARDS_K_OPTION ARITHMETIC\n"
                             "RICHARDS_C_OPTION HAVERCAMP\nRICHARDS_UPPER_OPTION AVERAGE\nRICHARDS_WEIGHT 0.5\n"
                             "RICHARDS_DTHETA_MAX 0.01\nRICHARDS_ITER_MAX 2\nALBEDO a.asc\nVHEIGHT v.asc\n"
                             "TCOEFF t.asc\nCANOPY c.asc\nWILTING_POINT w.asc\nMOISTURE m.asc\nCONDUCTIVITY k.asc\n"
                             "CAPILLARY h.asc\nPOROSITY p.asc\nPORE_INDEX l.asc\nRESIDUAL_SAT r.asc\n";
    const auto without = [](const std::string& card, const std::string& other, const std::string& lost) {
        return card + " has no effect without " + other + ": " + lost + ".";
    };
    const std::string richards = "no soil water moves by the Richards equation";
    const std::string et = "no evapotranspiration is simulated";
    const std::string method = "an infiltration method (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS)";
    const std::string soil = "no water infiltrates the soil";
    const std::vector<std::string> beyond_the_channels = {
        without("GRID_PIPE", "STORM_SEWER", "no cell exchanges water with the drains"),
        without("RICHARDS_K_OPTION", "INF_RICHARDS", richards),
        without("RICHARDS_C_OPTION", "INF_RICHARDS", richards),
        without("RICHARDS_UPPER_OPTION", "INF_RICHARDS", richards),
        without("RICHARDS_WEIGHT", "INF_RICHARDS", richards),
        without("RICHARDS_DTHETA_MAX", "INF_RICHARDS", richards),
        without("RICHARDS_ITER_MAX", "INF_RICHARDS", richards),
        without("ALBEDO", "LONG_TERM", et),
        without("VHEIGHT", "LONG_TERM", et),
        without("TCOEFF", "LONG_TERM", et),
        without("CANOPY", "LONG_TERM", et),
        without("WILTING_POINT", "LONG_TERM", et),
        without("MOISTURE", method, soil),
        without("CONDUCTIVITY", method, soil),
        without("CAPILLARY", method, soil),
        without("POROSITY", method, soil),
        without("PORE_INDEX", method, soil),
        without("RESIDUAL_SAT", method, soil)};
    std::vector<std::string> routed = {
        without("K_RIVER", "STREAM_LOSS", "no water seeps through the stream beds"),
        without("M_RIVER", "STREAM_LOSS", "no water seeps through the stream beds"),
        without("BOUND_DEPTH", "HEAD_BOUND", "no depth is held at the outlet node"),
        without("BOUND_TS", "HEAD_BOUND", "no depth is held at the outlet node"),
        without("CHAN_DECAY_COEF", "CHAN_CON_TRANS", "no constituent is carried in the channels"),
        without("CHAN_DISP_COEF", "CHAN_CON_TRANS", "no constituent is carried in the channels"),
        without("INIT_CHAN_CONC", "CHAN_CON_TRANS", "no constituent is carried in the channels")};
    routed.insert(routed.end(), beyond_the_channels.begin(), beyond_the_channels.end());
    EXPECT_EQ(warned("CHAN_EXPLIC\n" + idle), routed);

    const std::vector<std::string> unrouted = warned(idle);
    ASSERT_EQ(unrouted.size(), routed.size());
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_NE(unrouted[i].find("has no effect without CHAN_EXPLIC"), std::string::npos) << unrouted[i];
    EXPECT_EQ(std::vector<std::string>(unrouted.begin() + 7, unrouted.end()), beyond_the_channels);

    EXPECT_EQ(warned("CHAN_EXPLIC\nSTREAM_LOSS\nK_RIVER 0.1\nM_RIVER 2\nHEAD_BOUND\nBOUND_DEPTH 1\n"
                     "CHAN_CON_TRANS\nCHAN_DECAY_COEF 0.1\nSTORM_SEWER s.sew\nGRID_PIPE g.gpi\nINF_RICHARDS\n"
                     "RICHARDS_WEIGHT 0.5\nRICHARDS_C_OPTION BROOKS\nLONG_TERM\nET_CALC_PENMAN\nALBEDO a.asc\n"
                     "WILTING_POINT w.asc\n"),
              std::vector<std::string>{});
    EXPECT_EQ(warned("GREEN_AMPT\nCONDUCTIVITY k.asc\nMOISTURE m.asc\n"), std::vector<std::string>{});
    // A layered run that names no soil-type map takes the one of the
    // Richards table RICHARDS_C_OPTION chooses.
    const std::string tables = "MAPPING_TABLE " + dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\n") + "\n";
    EXPECT_EQ(warned(tables + "INF_LAYERED_SOIL\nRICHARDS_C_OPTION HAVERCAMP\n"), std::vector<std::string>{});
    EXPECT_EQ(warned(tables + "INF_LAYERED_SOIL\nSOIL_TYPE_MAP s.asc\nRICHARDS_C_OPTION HAVERCAMP\n"),
              std::vector<std::string>{without("RICHARDS_C_OPTION", "INF_RICHARDS", richards)});
}

// A channel routing card other than CHAN_EXPLIC stops the run naming the
// card and the routing this program has; the last routing card decides.
TEST_F(RunOptions, ChannelRoutingOtherThanExplicitIsRefusedNamingItsCard) {
    const std::string rain = "RAIN_INTENSITY 10\nRAIN_DURATION 10\n";
    const auto checked = [](model_state& s) {
        s.project_file = "p.prj";
        g_error_record.code = 0;
        kesta_test::printed_by([&] { kesta::check_run_options(s); });
        const int code = g_error_record.code;
        const std::string message = code > 0 ? kesta::error_message(g_error_record) : std::string();
        g_error_record.clear_for_run();
        return std::make_pair(code, message);
    };
    for (const char* card : {"CHAN_MESH", "CHAN_PREISS", "CHAN_DRAIN", "CHAN_BACKWATER"}) {
        SCOPED_TRACE(card);
        const auto [code, message] = checked(read(rain + "CHAN_EXPLIC\n" + card + "\n"));
        EXPECT_EQ(code, 35);
        EXPECT_NE(message.find(std::string("card ") + card + " of project file p.prj"), std::string::npos)
            << message;
        EXPECT_NE(message.find("CHAN_EXPLIC is the channel routing this program has"), std::string::npos)
            << message;
    }
    EXPECT_EQ(checked(read(rain + "CHAN_MESH\nCHAN_EXPLIC\n")).first, 0);
}

TEST_F(RunOptions, MissingFileAndPexloFormatStopTheRun) {
    m = std::make_unique<model_state>();
    testing::internal::CaptureStderr();
    kesta_test::printed_by([&] { kesta::read_run_parameters(dir.file("none.prj"), *m); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::make_pair(g_error_record.code, g_error_record.stop), std::make_pair(3, 1));
    g_error_record.clear_for_run();

    // The flood maps are taken over before the format is refused; the
    // translation after it is not made.
    const model_state& s = read("FLOOD_GRID flood.asc\nMAP_TYPE 4\n");
    EXPECT_EQ(std::make_pair(g_error_record.code, g_error_record.stop), std::make_pair(5, 1));
    EXPECT_EQ(s.flood_grid, "flood.asc");
    EXPECT_EQ(s.uniform_rain, 0);
}

// ---------------------------------------------------------------------------
// check_run_options

class OptionChecks : public ::testing::Test {
protected:
    void TearDown() override { g_error_record.clear_for_run(); }
    // Runs the checks; returns the code they left.
    int check() {
        g_error_record.code = 0;
        out = kesta_test::printed_by([&] { kesta::check_run_options(s); });
        return g_error_record.code;
    }
    model_state s;
    std::string out;
};

TEST_F(OptionChecks, ACleanRunPassesAndTheEarlierCheckWinsWhenTwoApply) {
    EXPECT_EQ(check(), 0);
    s.manning_n_given = s.roughness_given = 1;
    s.long_term = 1;  // and no evapotranspiration method: code 9
    EXPECT_EQ(check(), 6);

    s.manning_n_given = 0;
    s.et_calc_penman = s.et_calc_deardorff = 1;
    s.hmet_surfaways_given = s.hmet_kvl_given = 1;
    EXPECT_EQ(check(), 7);

    s.long_term = 0;
    EXPECT_EQ(check(), 8);
    s.hmet_surfaways_given = 0;
    s.hmet_samson_given = 1;
    EXPECT_EQ(check(), 8);

    s.hmet_kvl_given = s.hmet_samson_given = 0;
    s.long_term = 1;
    s.et_calc_penman = s.et_calc_deardorff = 0;
    s.uniform_rain = 1;  // with zero rate: code 11
    EXPECT_EQ(check(), 9);
    s.long_term = 0;
    EXPECT_EQ(check(), 11);
    s.rain_intensity = -1.0;  // a negative rate is refused as a zero one is
    s.rain_duration = 30.0;
    EXPECT_EQ(check(), 11);
    s.rain_intensity = 1.0;
    EXPECT_EQ(check(), 0);
}

TEST_F(OptionChecks, LongTermRunsNeedTheirSoilAndPlantInputs) {
    s.long_term = s.et_calc_penman = 1;
    EXPECT_EQ(check(), 20);
    s.inf_redist_on = 1;
    EXPECT_EQ(check(), 21);
    s.albedo_given = 1;
    EXPECT_EQ(check(), 22);
    s.vheight_given = 1;
    EXPECT_EQ(check(), 23);
    s.tcoeff_given = s.canopy_given = 1;
    EXPECT_EQ(check(), 25);
    s.mapping_table_info.evapotranspiration = 1;  // the table stands in for them
    s.vheight_given = s.albedo_given = 0;
    EXPECT_EQ(check(), 0);
}

TEST_F(OptionChecks, RichardsAndLayeredRunsDropTheSoilMapsUnlessRefused) {
    s.inf_layered_on = 1;
    s.moisture_given = s.conductivity_given = s.residual_sat_given = 1;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(s.moisture_given + s.conductivity_given + s.residual_sat_given, 0);

    s.inf_layered_on = 0;
    s.inf_richards_on = s.gw_simulation = 1;
    s.gw_unif_porosity_given = s.gw_unif_hycond_given = 1;
    s.conductivity_given = 1;
    s.aquifer_delta_z = -999.9;
    EXPECT_EQ(check(), 32);
    EXPECT_EQ(s.conductivity_given, 1);  // the correction after the refusal is not made
    s.aquifer_delta_z = 0.0;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(s.conductivity_given, 0);
}

TEST_F(OptionChecks, ImplicitChannelRoutingEndsTheChecks) {
    s.chan_implicit_routing = 1;
    s.htp = 1;  // without OLMA: code 43, never reached
    EXPECT_EQ(check(), 35);
    EXPECT_EQ(out, "");
}

TEST_F(OptionChecks, ChannelCorrections) {
    s.chan_routing = 1;
    s.soil_erosion_given = 1;
    s.chan_discharge_given_2 = 1;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(std::make_pair(s.chan_sed_on, s.chan_discharge_given_2), std::make_pair(1, 1));

    s.chan_routing = 0;
    s.chan_sed_on = 0;
    EXPECT_EQ(check(), 0);  // without channel routing neither is kept
    EXPECT_EQ(std::make_pair(s.chan_sed_on, s.chan_discharge_given_2), std::make_pair(0, 0));
}

TEST_F(OptionChecks, GroundwaterWarningsAreSaidAndTheChecksGoOn) {
    s.gw_simulation = 1;
    s.sacramento_given = 1;
    EXPECT_EQ(check(), 42);  // past both warnings
    EXPECT_NE(out.find("Warning: You have specified neither spatially-varied, uniform, or mapping table porosity"),
              std::string::npos);
    EXPECT_NE(out.find("Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic"),
              std::string::npos);
    EXPECT_EQ(g_error_record.stop, 0);

    s.sacramento_given = 0;
    s.gw_porosity_map_given = s.gw_unif_porosity_given = 1;
    EXPECT_EQ(check(), 38);
    s.gw_porosity_map_given = 0;
    s.gw_hycond_map_given = s.gw_unif_hycond_given = 1;
    EXPECT_EQ(check(), 40);
    s.gw_hycond_map_given = 0;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(out, "");
}

// Water colder than 0 counts as 0, and the warning names what of the run
// takes it so.
TEST_F(OptionChecks, ColdWaterIsTakenAtZeroNamingTheProcessesThatTakeIt) {
    s.project_file = "p.prj";
    s.project_options.water_temp = -5.0;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(out, "");  // neither the settling nor the nutrients read it
    const std::string cold =
        "Warning: WATER_TEMP -5 in project file p.prj is below 0: the water counts as 0 degrees C for ";
    const struct {
        int erosion, nutrients;
        const char* what;
    } cases[] = {{1, 0, "the settling.\n"}, {1, 1, "the settling and the nutrient reactions.\n"},
                 {0, 1, "the nutrient reactions.\n"}};
    for (const auto& c : cases) {
        s.soil_erosion_given = c.erosion;
        s.nutrients = c.nutrients;
        EXPECT_EQ(check(), 0);
        EXPECT_NE(out.find(cold + c.what), std::string::npos) << out;
    }
}

TEST_F(OptionChecks, LandManagementRuns) {
    s.htp = s.olma_given = s.htp_event_num_given = 1;
    s.olma = "exchange/ev.txt";
    s.htp_event_num = 3;
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(out,
              "Running KESTA in HTP environment\n"
              "KESTA will share data with OLMA through file: exchange/ev.txt\n"
              "This is an event call of KESTA by HTP, htp_event_num=3\n");

    s.htp_event_num = -1;
    EXPECT_EQ(check(), 44);
    s.htp_event_num_given = 0;
    s.gw_simulation = s.gw_unif_porosity_given = s.gw_unif_hycond_given = 1;
    EXPECT_EQ(check(), 45);
    s.olma_given = 0;
    EXPECT_EQ(check(), 43);
    s.htp = 0;
    s.olma_given = 1;
    s.gw_simulation = 0;
    EXPECT_EQ(check(), 46);
}

}  // namespace
