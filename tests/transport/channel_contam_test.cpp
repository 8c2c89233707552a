// Contaminants in the channels and lakes: the routing kernel keeps a
// tracer's mass through links, a confluence and a lake and moves a pulse's
// centre at the water's speed; a lake of fixed volume decays its mass by
// the exponential; a lake's concentration follows its volume when its
// extent changes; a whole run on a valley with a lake and a weir, whose
// channel, lake and basin books close after every step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_fixture.hpp"
#include "channel/lake_valley.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "overland/overland_steps.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/constituent_books.hpp"
#include "transport/transport_steps.hpp"

namespace {

// The basin's printed contaminant balance error (percent) is below `limit`.
void expect_global_error_below(const std::string& summary, double limit) {
    const std::size_t global = summary.find("Contaminant Transport Global Summary");
    ASSERT_NE(global, std::string::npos) << summary;
    const std::string label = "Contam mass balance error";
    const std::size_t at = summary.find(label, global);
    ASSERT_NE(at, std::string::npos) << summary.substr(global);
    EXPECT_LT(std::fabs(std::stod(summary.substr(at + label.size()))), limit) << summary.substr(global);
}

using kesta::disp_face;
using kesta::wash_face;
using kesta_test::ChannelNetwork;
using kesta_test::table_row;
namespace valley = kesta_test::lake_valley;

// Stores 1..rows joined by faces, each store with its water, spacing and
// dispersion coefficient, and the kernel's work space.
struct network {
    int rows;
    std::vector<wash_face> faces;
    std::vector<disp_face> disp;
    std::vector<double> water, length, coef, mass, rate, total;
    std::vector<double> w[10];

    explicit network(int n) : rows(n), water(n + 1), length(n + 1, 10.0), coef(n + 1), mass(n + 1), rate(n + 1) {}
    // A chain of nodes from `first` to `last`, each holding `w` m3, that
    // passes q m3/s; dispersion d (m2/s) between neighbours.
    void chain(int first, int last, double q, double w, double d, double dt) {
        for (int r = first; r <= last; ++r) {
            water[r] = w;
            coef[r] = d;
            if (r < last) faces.push_back({r, r + 1, r, q * dt});
            if (r < last && d > 0.0) disp.push_back({r, r + 1, 10.0});
        }
    }
    kesta::chan_wq_result route(double dt) {
        total.assign(faces.size(), 0.0);
        for (auto& v : w) v.assign(std::max<std::size_t>(rows + 1, faces.size() + disp.size() + 1), 0.0);
        kesta::chan_wq_network n;
        n.rows = rows;
        n.faces = faces.data();
        n.nfaces = static_cast<int>(faces.size());
        n.disp = disp.data();
        n.ndisp = static_cast<int>(disp.size());
        n.water0 = n.water1 = water.data();
        n.length = length.data();
        n.disp_coef = coef.data();
        kesta::chan_wq_work k{w[0].data(), w[1].data(), w[2].data(), w[3].data(), w[4].data(),
                              w[5].data(), w[6].data(), w[7].data(), w[8].data(), w[9].data()};
        return kesta::chan_wq_route(n, mass.data(), rate.data(), dt, k, total.data());
    }
    double held() const {
        double t = 0.0;
        for (int r = 1; r <= rows; ++r) t += mass[r];
        return t;
    }
};

// Two links of 5 nodes (1 and 2 m3/s) join a third that fills a lake of
// 500 m3, which feeds a link of 4 nodes to the outlet; a source enters the
// head of each upper link. Over intervals 36 times the stable step, the
// mass that entered equals what left through the outlet plus the change of
// the nodes' and the lake's mass, to round-off.
TEST(ChannelRouting, TracerKeepsItsMassThroughALinkAConfluenceAndALake) {
    const double dt = 60.0;
    network n(20);
    n.chain(1, 5, 1.0, 10.0, 1.0, dt);
    n.chain(6, 10, 2.0, 10.0, 1.0, dt);
    n.chain(11, 15, 3.0, 10.0, 1.0, dt);
    n.chain(17, 20, 3.0, 10.0, 1.0, dt);
    n.water[16] = 500.0;
    n.length[16] = 0.0;
    n.faces.push_back({5, 11, 5, 1.0 * dt});
    n.faces.push_back({10, 11, 10, 2.0 * dt});
    n.disp.push_back({5, 11, 10.0});
    n.disp.push_back({10, 11, 10.0});
    n.faces.push_back({15, 16, 15, 3.0 * dt});
    n.faces.push_back({16, 17, 0, 3.0 * dt});
    n.faces.push_back({20, 0, 20, 3.0 * dt});
    const std::size_t outlet = n.faces.size() - 1;
    for (int r = 1; r <= n.rows; ++r) n.mass[r] = 3.0 + std::sin(r);
    n.rate[1] = 5.0;
    n.rate[6] = 2.0;
    const double start = n.held();
    double entered = 0.0, left = 0.0;
    int substeps = 0;
    for (int i = 0; i < 20; ++i) {
        const kesta::chan_wq_result res = n.route(dt);
        ASSERT_TRUE(res.ok);
        substeps += res.substeps;
        entered += 7.0 * dt;
        left += n.total[outlet];
        for (int r = 1; r <= n.rows; ++r) ASSERT_GE(n.mass[r], 0.0) << r;
    }
    EXPECT_GE(substeps, 20 * 36);
    EXPECT_GT(left, 0.3 * entered);
    EXPECT_NEAR(start + entered, n.held() + left, 1e-12 * (start + entered));
}

// A pulse on a link of 200 nodes of 10 m, 1 m2 of flow area and 0.5 m3/s,
// with no dispersion, moves its centre by V t = 300 m in ten minutes (to
// the corrector's tolerance).
TEST(ChannelRouting, PulseCentreMovesAtTheWaterSpeed) {
    network n(200);
    const double dt = 600.0;
    n.chain(1, 200, 0.5, 10.0, 0.0, dt);
    n.faces.push_back({200, 0, 200, 0.5 * dt});
    for (int r = 40; r <= 60; ++r) n.mass[r] = std::exp(-0.05 * (r - 50) * (r - 50));
    const auto centre = [&n]() {
        double first = 0.0;
        for (int r = 1; r <= n.rows; ++r) first += 10.0 * r * n.mass[r];
        return first / n.held();
    };
    const double before = centre(), mass = n.held();
    const auto res = n.route(dt);
    ASSERT_TRUE(res.ok);
    EXPECT_NEAR(n.held(), mass, 1e-12 * mass);
    EXPECT_NEAR(centre() - before, 0.5 * dt, 1e-6 * 0.5 * dt);
}

// What cut an interval into sub-steps: a link of 10 m3 nodes passing 0.5
// m3/s over 60 s is cut by the flow's Courant limit (at most half a node's
// water per sub-step: at least 6 of them); the same link dispersing at
// 2000 m2/s between nodes 10 m apart is cut further by its corrector
// passes, which do not settle in steps that long, and the flow no longer
// set them.
TEST(ChannelRouting, SubstepsSayWhetherTheFlowSetThem) {
    const double dt = 60.0;
    network flowing(50), dispersing(50);
    flowing.chain(1, 50, 0.5, 10.0, 0.0, dt);
    dispersing.chain(1, 50, 0.5, 10.0, 2000.0, dt);
    for (network* n : {&flowing, &dispersing}) {
        n->faces.push_back({50, 0, 50, 0.5 * dt});
        for (int r = 20; r <= 30; ++r) n->mass[r] = 1.0;
    }
    const kesta::chan_wq_result by_flow = flowing.route(dt), by_correctors = dispersing.route(dt);
    ASSERT_TRUE(by_flow.ok && by_correctors.ok);
    EXPECT_GE(by_flow.substeps, 6);
    EXPECT_TRUE(by_flow.set_by_flow);
    EXPECT_GT(by_correctors.substeps, by_flow.substeps);
    EXPECT_FALSE(by_correctors.set_by_flow);
}

// The fixture's lake, its volume held, decays with CHAN_DECAY_COEF 0.8 per
// day over 48 channel intervals of 30 minutes: M0 exp(-k t).
TEST_F(ChannelNetwork, LakeOfFixedVolumeDecaysByTheExponential) {
    ASSERT_TRUE(set_up_ok([](kesta::model_state& s) {
        s.ov_con_trans = s.chan_con_trans = 1;
        s.chan_decay_coef = 0.8;
        s.init_chan_conc = 2.0;
        s.chan_contam_output_name.clear();
        kesta::alloc_overland_contam_arrays(s, 1, s.ncells, 0, 0);
    }));
    kesta::model_state& s = *m;
    ASSERT_TRUE(s.chan_lakes_on);
    kesta::init_lake_contam_state(s);
    const int lake = s.chan_lake_row0 + 1;
    const double m0 = s.chan_mass[1][lake];
    EXPECT_NEAR(m0, 2.0 * s.lake_volume[1], 1e-12 * m0);
    ASSERT_GT(m0, 0.0);
    s.chan_con_started = 1;
    const double step = 30.0 / 1440.0;  // days
    s.time = 100.0;
    s.time_tol = 1e-8;
    for (int i = 0; i < 48; ++i) {
        s.chan_con_last = s.time;
        s.time += step;
        s.chan_con_next = s.time;
        kesta::step_channel_wq_reactions(s);
    }
    EXPECT_NEAR(s.chan_mass[1][lake], m0 * std::exp(-0.8), 1e-3 * m0 * std::exp(-0.8));
    EXPECT_NEAR(s.LAKE_DECAY_MASS.at(1) * 1000.0 + s.chan_mass[1][lake], m0, 1e-12 * m0);
}

// The fixture's lake at 2 g/m3 changes its extent: when its volume rises
// enough to take its next listed cell, which holds 0.1 m of water with
// 70 g dissolved, and when it then falls to half its volume, giving cells
// back, its concentration is its mass over its volume each time, before
// any channel constituent step recomputes it.
TEST_F(ChannelNetwork, LakeConcentrationIsItsMassOverItsVolumeAfterTheExtentChanges) {
    ASSERT_TRUE(set_up_ok([](kesta::model_state& s) {
        s.ov_con_trans = s.chan_con_trans = 1;
        s.init_chan_conc = 2.0;
        s.quiet = 1;
        s.chan_contam_output_name.clear();
        kesta::alloc_overland_contam_arrays(s, 1, s.ncells, 0, 0);
    }));
    kesta::model_state& s = *m;
    ASSERT_TRUE(s.chan_lakes_on);
    kesta::alloc_dvector(s.h, s.ncells, "h");
    kesta::init_lake_contam_state(s);
    const int row = s.chan_lake_row0 + 1;
    const int n = s.lake_cells[1];
    ASSERT_LT(n, s.numpts[1]);
    const int next = s.mask[s.lake_search_row[1][n + 1]][s.lake_search_col[1][n + 1]];
    s.h[next] = 0.1;
    s.contam_mass[1][next] = 70.0;
    const double mass0 = s.chan_mass[1][row];
    ASSERT_NEAR(s.chan_conc[1][row], 2.0, 1e-12);

    // Enough to fill the lake to the next cell's ground and 0.05 m over the larger lake.
    const double area = n * 100.0, gap = s.elev[next] - s.lake_elev[1];
    s.lake_volume[1] += area * gap + (n + 1) * 100.0 * 0.05;
    const double raised = s.lake_volume[1];
    kesta::update_lake_extent(s);
    ASSERT_FALSE(stopped());
    ASSERT_EQ(s.lake_cells[1], n + 1);
    EXPECT_NEAR(s.lake_volume[1], raised + 10.0, 1e-9);
    EXPECT_NEAR(s.chan_mass[1][row], mass0 + 70.0, 1e-9);
    EXPECT_NEAR(s.chan_conc[1][row], (mass0 + 70.0) / (raised + 10.0), 1e-12);
    EXPECT_LT(s.chan_conc[1][row], 1.99);  // the water the channel brought has none

    s.lake_volume[1] *= 0.5;
    kesta::update_lake_extent(s);
    EXPECT_LT(s.lake_cells[1], n + 1);
    EXPECT_NEAR(s.chan_conc[1][row], (mass0 + 70.0) / (0.5 * (raised + 10.0)), 1e-12);
}

// The channels and the lake after every step: what the books say came in
// and went out against what the nodes and the lake hold (g).
struct books_watch {
    double chan_misfit = 0.0, lake_misfit = 0.0, scale = 0.0;
    double initial_nodes = -1.0, initial_water = 0.0;
    double lat = 0.0, into_lake = 0.0, out_of_lake = 0.0, outlet = 0.0, decayed = 0.0, rain_on_lake = 0.0;
    double points = 0.0, lake_points = 0.0;
    double attached_in = 0.0, attached_out = 0.0, settled = 0.0, sorbed = 0.0;
    // The attached flux through the outlet's face (the last node of link 4) summed
    // over the channel constituent intervals, and the outlet's book over
    // the same intervals (g).
    double con_last = -1.0, outlet_flux_sum = 0.0, outlet_first = 0.0, outlet_at_step = 0.0;
    // What the nodes took from their stream cells, summed over the
    // intervals, and the book of it at the last (g).
    double lat_con_last = -1.0, lat_by_node = 0.0, lat_at_step = 0.0;
    std::vector<double> closed;
    bool all_real = true;
    kesta::substep_stats routing;  // the channel routing's sub-steps
};
books_watch* g_books = nullptr;

bool watch_books(kesta::model_state& m, const char* name) {
    if (m.chan_mass.empty()) return true;
    books_watch& w = *g_books;
    w.routing = m.chan_route_stats;
    if (std::string(name) == "close_output_files") {
        // The balances the event's and the run's ends closed (percent).
        for (const kesta::array1d<double>* e :
             {&m.CHAN_MASS_BALANCE, &m.CHAN_RUN_MASS_ERROR, &m.event_lake_mass_balance, &m.LAKE_MASS_BALANCE})
            w.closed.push_back(e->value(1));
        return true;
    }
    if (std::string(name) != "report_progress") return true;
    const kesta::held_mass h = kesta::mass_held(m, 1);
    const auto g = [](const kesta::array1d<double>& a) { return a.value(1) * 1000.0; };
    // Dissolved and attached together.
    const double chan_in = g(m.CHAN_MASS_INIT) + g(m.CHAN_POINT_MASS) + g(m.CHAN_GW_MASS) + g(m.CHAN_LAT_MASS) +
                           g(m.LAKE_CHAN_OUTFLOW_MASS) + g(m.CHAN_QLAT_SED_MASS);
    const double chan_out = h.channels + h.chan_attached + g(m.CHAN_MASS_DECAY) + g(m.CHAN_MASS_OUT) +
                            g(m.LAKE_CHAN_EXCHANGE_MASS) + g(m.LAKE_CHAN_INFLOW_MASS) + g(m.CHAN_OUTLET_SED_MASS) +
                            g(m.CHAN_LAKE_SED_CONTAM_MASS);
    const double lake_in = g(m.LAKE_MASS_INIT) + g(m.LAKE_PRECIP_MASS) + g(m.LAKE_CHAN_INFLOW_MASS) +
                           g(m.LAKE_OV_INFLOW_MASS) + g(m.LAKE_GW_MASS) + g(m.LAKE_CHAN_EXCHANGE_MASS) +
                           g(m.LAKE_POINT_MASS) + g(m.CHAN_LAKE_SED_CONTAM_MASS) + g(m.OV_LAKE_SED_CONTAM_MASS);
    const double lake_out = h.lakes + h.lake_attached + g(m.LAKE_CHAN_OUTFLOW_MASS) + g(m.LAKE_DECAY_MASS) +
                            g(m.LAKE_SETTLED_SED_MASS);
    w.chan_misfit = std::max(w.chan_misfit, std::fabs(chan_in - chan_out));
    w.lake_misfit = std::max(w.lake_misfit, std::fabs(lake_in - lake_out));
    w.scale = std::max({w.scale, chan_in, lake_in});
    w.all_real = w.all_real && std::isfinite(chan_in + chan_out + lake_in + lake_out);
    if (w.initial_nodes < 0.0 && m.chan_con_started) {
        w.initial_nodes = g(m.CHAN_MASS_INIT);
        for (int row = 1; row <= m.chan_lake_row0; ++row) w.initial_water += m.chan_water[row];
    }
    if (m.chan_con_last != w.lat_con_last) {
        w.lat_con_last = m.chan_con_last;
        for (int row = 1; row <= m.chan_lake_row0; ++row) w.lat_by_node += m.chan_qlat_mass[1][row];
        w.lat_at_step = g(m.CHAN_LAT_MASS);
    }
    if (!m.attached_chan_flux.empty() && m.chan_con_last != w.con_last) {
        if (w.con_last < 0.0) w.outlet_first = g(m.CHAN_OUTLET_SED_MASS);
        else
            w.outlet_flux_sum += m.attached_chan_flux[1][4 * m.chan_stride + m.nx[4]] *
                                 (m.chan_con_last - w.con_last) * 86400.0;
        w.con_last = m.chan_con_last;
        w.outlet_at_step = g(m.CHAN_OUTLET_SED_MASS);
    }
    w.lat = g(m.CHAN_LAT_MASS);
    w.into_lake = g(m.LAKE_CHAN_INFLOW_MASS);
    w.out_of_lake = g(m.LAKE_CHAN_OUTFLOW_MASS);
    w.outlet = g(m.CHAN_MASS_OUT);
    w.decayed = g(m.CHAN_MASS_DECAY) + g(m.LAKE_DECAY_MASS);
    w.rain_on_lake = g(m.LAKE_PRECIP_MASS);
    w.attached_in = g(m.CHAN_QLAT_SED_MASS);
    w.attached_out = g(m.CHAN_OUTLET_SED_MASS);
    w.settled = g(m.LAKE_SETTLED_SED_MASS);
    w.sorbed = -g(m.CHAN_SED_SOURCE_MASS);
    w.points = g(m.CHAN_POINT_MASS);
    w.lake_points = g(m.LAKE_POINT_MASS);
    return true;
}

// Runs run.prj in the process under watch_books, which must end well with
// the channel and lake books real and closed after every step.
void run_watched(books_watch& w) {
    g_books = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj", watch_books);
    g_books = nullptr;
    ASSERT_EQ(run.rc, 0) << run.out;
    EXPECT_TRUE(w.all_real);
    EXPECT_LT(w.chan_misfit, 1e-12 * w.scale);
    EXPECT_LT(w.lake_misfit, 1e-12 * w.scale);
}

// The lake valley with a tracer in the rain (5 g/m3) and `cards`; `tables`
// (after the tracer's) and `partition` (its PARTITION line) go into the
// mapping-table file.
void write_valley(const kesta_test::temp_dir& dir, const std::string& cards, const std::string& tables = "",
                  const std::string& partition = "", const std::string& row = "0.01 0 0 0 0 0 0.3 0") {
    dir.write("mask.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", valley::grid(valley::ground, "%.3f "));
    dir.write("zones.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Zones\"\nCONTAMINANT_TRANSPORT\n"
                            "NUM_CONTAM 1\n\"Tracer\" \"Zones\" \"\"\nPRECIP_CONC 5\n" + partition +
                                "NUM_IDS 1\nhdr\n" + table_row(1, row) + tables);
    dir.write("net.chan", valley::channel_file());
    dir.write("net.gst", valley::grid_stream_file());
    dir.write("run.prj", valley::project("EXPLICIT") + "MAPPING_TABLE tables.cmt\nOV_CON_TRANS\n" + cards);
}

// A tracer in the rain and 2 g/m3 in the channels at the start, decaying
// in them at 1 per day: it runs over the land into the stream, into the
// lake, over the weir and out of the outlet. The channels' and the lake's
// books close after every step to round-off, the nodes that hold water at
// the first channel step start with 2 g/m3 of it, two point sources bring
// their concentration times discharge times time, and the basin's balance
// of the run closes.
TEST(ChannelContaminantRun, ChannelLakeAndBasinBooksClose) {
    kesta_test::temp_dir dir(true);
    // 0.05 m3/s at 10 g/m3 into node 2 of the head link, 0.02 m3/s at 20
    // g/m3 into the lake, the whole two hours.
    dir.write("points.txt", "NUMPTS 2\nPOINT 2 1 0.05 10\nPOINT 1 2 0.02 20\nNRPDS 0\n");
    write_valley(dir, "CHAN_CON_TRANS\nINIT_CHAN_CONC 2\nCHAN_DECAY_COEF 1\nCHAN_DISP_COEF 0.5\n"
                      "CHAN_POINT_INPUT points.txt\n");
    books_watch w;
    ASSERT_NO_FATAL_FAILURE(run_watched(w));
    EXPECT_GT(w.initial_water, 0.0);
    EXPECT_NEAR(w.initial_nodes, 2.0 * w.initial_water, 1e-12 * w.initial_nodes);
    for (double v : {w.lat, w.into_lake, w.out_of_lake, w.outlet, w.decayed, w.rain_on_lake}) EXPECT_GT(v, 0.0);
    EXPECT_NEAR(w.points, 0.05 * 7200.0 * 10.0, 1e-8 * w.points);  // the clock in days
    EXPECT_NEAR(w.lat_by_node, w.lat_at_step, 1e-12 * w.lat_at_step);
    EXPECT_NEAR(w.lake_points, 0.02 * 7200.0 * 20.0, 1e-8 * w.lake_points);
    ASSERT_EQ(w.closed.size(), 4u);
    for (double e : w.closed) EXPECT_LT(std::fabs(e), 1e-6);

    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    expect_global_error_below(summary, 1e-3);
    // The summary speaks of the routing's sub-steps only where a limit
    // cut an interval into more than one.
    const kesta::substep_stats& st = w.routing;
    EXPECT_GT(st.intervals, 0);
    EXPECT_EQ(summary.find("Channel constituent routing:") != std::string::npos, st.substeps > st.intervals)
        << summary;
}

// A channel dispersion beyond what any river has is refused, naming the
// card and the value.
TEST(ChannelContaminantRun, ChannelDispersionBeyondAnyRiversIsRefused) {
    kesta_test::temp_dir dir(true);
    write_valley(dir, "CHAN_CON_TRANS\nCHAN_DISP_COEF 1e4\n");
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj");
    EXPECT_NE(run.rc, 0);
    EXPECT_NE(run.out.find("Error: CHAN_DISP_COEF 10000 in project file run.prj: the dispersion coefficient of the "
                           "channels must be from 0 to 2000 m2/s"),
              std::string::npos)
        << run.out;
}

// Channel routing without channel constituents stops the set-up naming
// the cards.
TEST(ChannelContaminantRun, ChannelRoutingWithoutChannelConstituentsIsRefused) {
    kesta_test::temp_dir dir(true);
    write_valley(dir, "");
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj");
    EXPECT_NE(run.rc, 0);
    EXPECT_NE(run.out.find("together with channel routing but without CHAN_CON_TRANS"), std::string::npos) << run.out;
}

// Two runs of a batch with their own channel decay: each writes its own
// channel datasets and location series, numbered as its other outputs.
TEST(ChannelContaminantRun, BatchRunsKeepTheirOwnChannelDatasets) {
    kesta_test::temp_dir dir;
    write_valley(dir, "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\nCHAN_CON_TRANS\nINIT_CHAN_CONC 2\n"
                      "CHAN_DECAY_COEF [K]\nIN_HYD_LOCATION loc.txt\nOUT_HYD_LOCATION q.out\n"
                      "OUT_CON_LOCATION con.out\n");
    std::string tables = kesta_test::read_file(dir.file("tables.cmt"));
    tables.replace(tables.find("\"Tracer\" \"Zones\" \"\""), 19, "\"Tracer\" \"Zones\" \"tr\"");
    dir.write("tables.cmt", tables);
    dir.write("loc.txt", "1\n4 7\n");
    dir.write("params.txt", "1\n[K] \"%.3f\"\n");
    dir.write("values.txt", "0.5\n20\n");
    const kesta_test::program_result r = kesta_test::run_kesta("-b2 run.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* name : {"tr.chan.conc", "tr.chan.mass", "con.out"}) {
        EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
        const std::string first = kesta_test::read_file(dir.file(std::string("0000_") + name));
        EXPECT_GT(first.size(), 0u) << name;
        EXPECT_NE(first, kesta_test::read_file(dir.file(std::string("0001_") + name))) << name;
    }
}

// Sorption in a lake: 10^4 m3 of water holding 1000 g/m3 of fine sediment
// (3.78039 m3 at 2.64523e6 g/m3) and 1000 g of a constituent with Kd 100
// L/kg: K c = 0.1, so 1000 x 0.1 / 1.1 = 90.9091 g attached, 24.0475 g per
// m3 of sediment.
TEST(ChannelSorption, LakeSharesOutByTheLinearLaw) {
    double dissolved = 1000.0;
    double attached[2] = {0.0, 0.0}, sediment[2] = {0.0, 3.78039}, density[2] = {0.0, 2.64523e6};
    double conc[2], kds[2], share[2];
    const double gained =
        kesta::share_out_store(dissolved, attached, 1, sediment, density, 1e4, 100.0, conc, kds, share);
    EXPECT_NEAR(attached[1], 90.9091, 1e-4);
    EXPECT_NEAR(attached[1] / sediment[1], 24.0475, 1e-4);
    EXPECT_NEAR(attached[0], attached[1], 1e-12);
    EXPECT_NEAR(dissolved + attached[1], 1000.0, 1e-10);
    EXPECT_NEAR(gained, dissolved - 1000.0, 1e-10);
}

// Clay, silt and sand of one soil over the whole valley.
std::string erosion_tables() {
    const std::string pad(36, ' ');
    return "SEDIMENTS\nNUM_SED 3\nclass specific_gravity diameter binding file\n"
           "clay" + pad + "2.65 0.002 0.1 a.out\nsilt" + pad + "2.65 0.02 0.1 b.out\n"
           "sand" + pad + "2.65 0.3 0 c.out\n"
           "SOIL_EROSION_PROPS \"Zones\"\nNUM_IDS 1\nNUM_SED 3\nID tc_C tc_I tc_R K Kd Id Cd sed_K f1 f2 f3\n" +
           table_row(1, "0 0 0 60 3e-5 1 0.5 0.1 0.3 0.4 0.3");
}

// The valley's channel file with erodible links, 0.2 m of sand under
// their beds.
std::string erodible_channel_file() {
    std::string chan = valley::channel_file();
    for (std::size_t at = chan.find("TRAPEZOID\n"); at != std::string::npos; at = chan.find("TRAPEZOID\n", at))
        chan.replace(at, 10, "TRAP_ERODE\n");
    for (std::size_t at = chan.find("BANKFULL_DEPTH 1\n"); at != std::string::npos;
         at = chan.find("BANKFULL_DEPTH 1\n", at + 1))
        chan.insert(at + 17, "MAX_EROSION 0.2\n");
    return chan;
}

// A load of 50 kg per cell on the valley, sorbed to the mixing layer (Kd
// 300 L/kg), leaves with the eroded fine sediment, rides with the wash load
// into the lake and out over the weir, settles in the lake and shares out
// with the dissolved mass at every node and in the lake: the channels' and
// the lake's books of dissolved and attached mass close after every step,
// and so does the basin's balance of the run. The attached flux through the
// outlet's face, over the channel constituent intervals, adds up to what
// the outlet's book took, and the location mass series carries it after
// the dissolved flux.
TEST(ChannelContaminantRun, AttachedMassRidesWithTheWashLoadAndTheBooksClose) {
    kesta_test::temp_dir dir(true);
    write_valley(dir,
                 "CHAN_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\nSOIL_EROSION 2\nSAND_SIZE 0.2\n"
                 "SED_POROSITY 0.4\nOUTLET_SED_FLUX sed.out\nIN_HYD_LOCATION loc.txt\nOUT_HYD_LOCATION q.out\n"
                 "OUT_MASS_LOCATION mass.out\n",
                 erosion_tables(), "PARTITION 300\n", "0.01 0 0 50 0 0 0.3 0");
    dir.write("net.chan", erodible_channel_file());
    dir.write("loc.txt", "1\n4 7\n");
    books_watch w;
    ASSERT_NO_FATAL_FAILURE(run_watched(w));
    for (double v : {w.attached_in, w.attached_out, w.settled, w.sorbed, w.outlet}) EXPECT_GT(v, 0.0);
    ASSERT_EQ(w.closed.size(), 4u);
    for (double e : w.closed) EXPECT_LT(std::fabs(e), 1e-6);
    EXPECT_GT(w.outlet_at_step - w.outlet_first, 0.0);
    EXPECT_NEAR(w.outlet_flux_sum, w.outlet_at_step - w.outlet_first, 1e-9 * w.outlet_at_step);
    // Time, dissolved and attached flux on every line.
    std::istringstream lines(kesta_test::read_file(dir.file("mass.out")));
    double attached = 0.0;
    int n = 0;
    for (std::string line; std::getline(lines, line); ++n) {
        std::istringstream words(line);
        std::vector<double> v;
        for (double x = 0.0; words >> x;) v.push_back(x);
        ASSERT_EQ(v.size(), 3u) << line;
        attached += v[2];
    }
    EXPECT_EQ(n, 25);  // every 5 minutes of two hours
    EXPECT_GT(attached, 0.0);
    expect_global_error_below(kesta_test::read_file(dir.file("run.sum")), 1e-6);
}

// What the lake's spill over land did to its attached mass in each
// sediment-bound step of the constituents (g).
struct spill_watch {
    int steps = 0;          // steps in which the lake spilled wash load holding attached mass
    double spilled = 0.0;   // attached mass the lake lost in them
    double expected = 0.0;  // their spilled volumes at the lake's attached mass per volume
    double booked = 0.0;    // what the lake's overland book lost in them
    double worst = 0.0;     // largest misfit of one step and fine class, relative to the lake's mass
    // By fine position, before the step: the lake's attached mass, the wash
    // load it held before this interval's spill, and the spill (m3).
    std::vector<double> before, wash_before, out;
    double book_before = 0.0;
    bool pending = false;
};
spill_watch* g_spill = nullptr;

// Around step_overland_contam_sediment: by fine class the lake's attached
// mass and the wash load it held before this interval's spill (its books
// still hold the spills since its budget last took them).
bool watch_spill(kesta::model_state& m, const char* name) {
    spill_watch& w = *g_spill;
    const std::string step = name;
    if (!m.ov_sed || m.chan_sed_contam.empty() || !m.chan_lakes_on) return watch_books(m, name);
    const kesta::sed_record& s = *m.ov_sed;
    const int row = s.lake_row0 + 1, nf = s.n_fine_classes;
    const double* attached = m.chan_sed_contam[1][row];
    if (step == "step_overland_contam_sediment") {
        w.before.assign(nf + 1, 0.0);
        w.wash_before.assign(nf + 1, 0.0);
        w.out.assign(nf + 1, 0.0);
        w.pending = false;
        for (int p = 1; p <= nf; ++p) {
            const int k = s.sed_class[p];
            double out = 0.0;
            for (int i = 1; i <= m.ncells; ++i) {
                if (m.lake_num[i] != 1) continue;
                const int r = m.rightcon[i], b = m.belowcon[i], l = m.leftcon[i], a = m.abovecon[i];
                if (r && m.lake_num[r] == 0) out += std::max(0.0, s.ov_sed_vol_qsx[i][k]);
                if (b && m.lake_num[b] == 0) out += std::max(0.0, s.ov_sed_vol_qsy[i][k]);
                if (l && m.lake_num[l] == 0) out += std::max(0.0, -s.ov_sed_vol_qsx[l][k]);
                if (a && m.lake_num[a] == 0) out += std::max(0.0, -s.ov_sed_vol_qsy[a][k]);
            }
            w.out[p] = out;
            w.before[p] = attached[p];
            w.wash_before[p] = s.ch_wash_vol[row][p] - s.SS_vol_lake_to_overland[1][p] + out;
            w.pending = w.pending || (out > 0.0 && attached[p] > 0.0);
        }
        w.book_before = m.OV_LAKE_SED_CONTAM_MASS.value(1);
    } else if (step == "step_contam_processes" && w.pending) {
        w.pending = false;
        ++w.steps;
        for (int p = 1; p <= nf; ++p) {
            if (!(w.out[p] > 0.0 && w.before[p] > 0.0)) continue;
            const double lost = w.before[p] - attached[p];
            const double law = w.out[p] * w.before[p] / w.wash_before[p];
            w.spilled += lost;
            w.expected += law;
            w.worst = std::max(w.worst, std::fabs(lost - law) / w.before[p]);
        }
        w.booked += (w.book_before - m.OV_LAKE_SED_CONTAM_MASS.value(1)) * 1000.0;
    }
    return watch_books(m, name);
}

// The lake of the valley spills over the stream's cell below it (its
// ground 106.95 m, below the lake) as well as over the weir, with the
// eroding valley's wash load in it holding attached mass: in every
// constituent step in which it spills, the wash load it spills over land
// carries the attached mass of its volume at the lake's attached mass per
// volume; the lake's books give it up as overland inflow taken back, and
// the channels', the lake's and the basin's books close.
TEST(ChannelContaminantRun, LakeSpillOverLandCarriesTheAttachedMassOfItsWashLoad) {
    kesta_test::temp_dir dir(true);
    write_valley(dir,
                 "CHAN_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\nSOIL_EROSION 2\nSAND_SIZE 0.2\n"
                 "SED_POROSITY 0.4\nOUTLET_SED_FLUX sed.out\n",
                 erosion_tables(), "PARTITION 300\n", "0.01 0 0 50 0 0 0.3 0");
    dir.write("net.chan", erodible_channel_file());
    dir.write("elev.asc", valley::grid([](int r, int c) { return r == 6 && c == 4 ? 106.95 : valley::ground(r, c); },
                                       "%.3f "));
    books_watch books;
    spill_watch w;
    g_books = &books;
    g_spill = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj", watch_spill);
    g_books = nullptr;
    g_spill = nullptr;
    ASSERT_EQ(run.rc, 0) << run.out;
    EXPECT_TRUE(books.all_real);
    EXPECT_LT(books.chan_misfit, 1e-12 * books.scale);
    EXPECT_LT(books.lake_misfit, 1e-12 * books.scale);
    for (double e : books.closed) EXPECT_LT(std::fabs(e), 1e-6);
    EXPECT_GT(w.steps, 10);
    EXPECT_GT(w.spilled, 0.0);
    EXPECT_LT(w.worst, 1e-9);
    EXPECT_NEAR(w.spilled, w.expected, 1e-9 * w.spilled);
    EXPECT_NEAR(w.booked, w.spilled, 1e-6 * w.spilled);
    expect_global_error_below(kesta_test::read_file(dir.file("run.sum")), 1e-6);
}

// Every class sand (SAND_SIZE below the clay): nothing binds the load to
// sediment, over land or in the channels. The run goes through with a
// warning that names the cards and the table, the channels' books close,
// no attached mass moves, and the mass series carries an attached flux of 0.
TEST(ChannelContaminantRun, SandOnlyClassesRunWithNothingAttachedAndSaySo) {
    kesta_test::temp_dir dir(true);
    write_valley(dir,
                 "CHAN_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\nSOIL_EROSION 2\nSAND_SIZE 0.001\n"
                 "SED_POROSITY 0.4\nOUTLET_SED_FLUX sed.out\nIN_HYD_LOCATION loc.txt\nOUT_HYD_LOCATION q.out\n"
                 "OUT_MASS_LOCATION mass.out\n",
                 erosion_tables(), "PARTITION 300\n", "0.01 0 0 50 0 0 0.3 0");
    dir.write("net.chan", erodible_channel_file());
    dir.write("loc.txt", "1\n4 7\n");
    books_watch w;
    ASSERT_NO_FATAL_FAILURE(run_watched(w));
    EXPECT_GT(w.lat, 0.0);
    for (double v : {w.attached_in, w.attached_out, w.settled, w.sorbed}) EXPECT_EQ(v, 0.0);
    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    EXPECT_NE(summary.find("SEDIMENT_CONTAM has nothing to bind the contaminants to: every class of the SEDIMENTS "
                           "table of tables.cmt is sand (its diameter at least SAND_SIZE 0.001 mm)"),
              std::string::npos)
        << summary;
    const std::vector<std::string> lines = kesta_test::lines_of(kesta_test::read_file(dir.file("mass.out")));
    ASSERT_EQ(lines.size(), 25u);
    for (const std::string& line : lines) {
        const std::vector<double> v = kesta_test::numbers(line);
        ASSERT_EQ(v.size(), 3u) << line;
        EXPECT_EQ(v[2], 0.0) << line;
    }
    expect_global_error_below(summary, 1e-6);
}

// The number on the dotted summary line of `label`.
double dotted_value(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    const std::size_t v = text.find_first_not_of(" .", at + label.size());
    return v == std::string::npos ? std::nan("") : std::stod(text.substr(v));
}

// An event that starts with 5 kg dissolved and 3 kg attached in the
// channels, 2 kg and 1 kg in the lake: the summary's initial dissolved
// masses are 5 and 2 kg, the attached ones stand on lines of their own, and
// with nothing moved both balances close.
TEST(ChannelContaminantBooks, AnEventsInitialAttachedMassIsNotCalledDissolved) {
    kesta::model_state m;
    m.ncontam = 1;
    m.ncells = 1;
    m.ov_con_trans = m.chan_con_trans = m.sediment_contam = 1;
    m.chan_lakes_on = 1;
    m.nlakes = 1;
    m.add_slot_totals(1);
    m.constituent_type.append_fill(1, kesta::constituent_kind::contaminant);
    m.contam_names = {"", "Tracer"};
    m.contam_mass.resize(2);
    m.contam_land_mass.resize(2);
    m.contam_mass[1] = kesta::vec1<double>(1);
    m.contam_land_mass[1] = kesta::vec1<double>(1);
    m.chan_lake_row0 = 2;  // two node rows, then the lake
    m.chan_rows = 3;
    m.chan_mass = kesta::mat2<double>(1, 3);
    m.chan_conc = kesta::mat2<double>(1, 3);
    m.chan_source = kesta::mat2<double>(1, 3);
    m.chan_sed_contam.resize(2);
    m.chan_sed_contam[1] = kesta::mat2<double>(3, 1);
    m.chan_mass[1][1] = 5000.0;
    m.chan_sed_contam[1][1][0] = m.chan_sed_contam[1][1][1] = 3000.0;
    m.chan_mass[1][3] = 2000.0;
    m.chan_sed_contam[1][3][0] = m.chan_sed_contam[1][3][1] = 1000.0;
    kesta::open_constituent_event_books(m);
    kesta::close_constituent_books(m, false);
    EXPECT_EQ(m.CHAN_MASS_BALANCE.value(1), 0.0);
    EXPECT_EQ(m.event_lake_mass_balance.value(1), 0.0);

    std::FILE* fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    kesta::write_event_constituent_summary(m, fp);
    std::string text(static_cast<std::size_t>(std::ftell(fp)), '\0');
    std::rewind(fp);
    ASSERT_EQ(std::fread(&text[0], 1, text.size(), fp), text.size());
    std::fclose(fp);
    EXPECT_EQ(dotted_value(text, "Initial Dissolved Mass in Channels"), 5.0) << text;
    EXPECT_EQ(dotted_value(text, "Initial attached to suspended sed"), 3.0) << text;
    EXPECT_EQ(dotted_value(text, "Initial Dissolved in Lakes"), 2.0) << text;
    EXPECT_EQ(dotted_value(text, "Initial attached in lakes"), 1.0) << text;
}

}  // namespace
