// Contaminants over land and in the soil: the transport kernel against
// conservation and the exact moments of advection and dispersion, the laws
// of sorption and leaching and first-order decay against known answers, the
// soil column's budget cell by cell, a whole run whose every balance
// closes, and the inputs the set-up refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace {

using kesta_test::has;
using kesta_test::table_row;
using kesta_test::value_after;

// The number after `label` (and the dots of its line) in `text`; NaN when
// there is none.
double number_after(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return std::nan("");
    const std::size_t number = text.find_first_of("-0123456789", at + label.size());
    return number == std::string::npos ? std::nan("") : std::stod(text.substr(number));
}

// A word of `text` that prints a value that is not a number.
bool has_non_number(const std::string& text) {
    std::istringstream in(text);
    for (std::string word; in >> word;)
        if (word == "nan" || word == "-nan" || word == "inf" || word == "-inf") return true;
    return false;
}

// The part of `text` from `from` up to the next `to` after it.
std::string section(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t a = text.find(from);
    if (a == std::string::npos) return std::string();
    return text.substr(a, text.find(to, a + from.size()) - a);
}

// A rows x cols grid of 1 m cells holding `depth` m of water, with its
// neighbours and face discharges, for the transport kernel.
struct plane {
    int rows, cols, n;
    std::vector<int> left, right, above, below;
    std::vector<double> qx, qy, vol0, vol1, disp, mass;
    std::vector<double> w[5];

    plane(int r, int c, double depth, double d)
        : rows(r), cols(c), n(r * c), left(n + 1), right(n + 1), above(n + 1), below(n + 1), qx(n + 1),
          qy(n + 1), vol0(n + 1, depth), vol1(n + 1, depth), disp(n + 1, d), mass(n + 1) {
        for (int i = 1; i <= n; ++i) {
            const int row = (i - 1) / cols, col = (i - 1) % cols;
            left[i] = col > 0 ? i - 1 : 0;
            right[i] = col < cols - 1 ? i + 1 : 0;
            above[i] = row > 0 ? i - cols : 0;
            below[i] = row < rows - 1 ? i + cols : 0;
        }
        for (auto& v : w) v.assign(n + 1, 0.0);
    }
    int move(double dt, int order, double& out, int* flow_substeps = nullptr) {
        kesta::transport_grid g;
        g.n = n;
        g.dx = 1.0;
        g.left = left.data();
        g.right = right.data();
        g.above = above.data();
        g.below = below.data();
        g.qx = qx.data();
        g.qy = qy.data();
        g.vol0 = vol0.data();
        g.vol1 = vol1.data();
        kesta::transport_work work{w[0].data(), w[1].data(), w[2].data(), w[3].data(), w[4].data()};
        return kesta::advect_disperse(g, disp.data(), mass.data(), dt, order, work, 100000, out, flow_substeps);
    }
    double total() const {
        double t = 0.0;
        for (int i = 1; i <= n; ++i) t += mass[i];
        return t;
    }
    // Mean and variance of the mass's column position (m).
    void moments(double& mean, double& variance) const {
        mean = 0.0;
        double square = 0.0;
        for (int i = 1; i <= n; ++i) {
            const double x = (i - 1) % cols;
            mean += x * mass[i];
            square += x * x * mass[i];
        }
        mean /= total();
        variance = square / total() - mean * mean;
    }
};

// A tracer that neither decays nor leaves keeps its mass to round-off over
// land, under a rough flow field on water that deepens and dries, whatever
// the interval; pure dispersion widens it by exactly 2 D t and a uniform
// flow moves its centre by exactly u t, as the scheme's moments do.
TEST(OverlandTransport, KeepsTheMassAndMovesItsMomentsByTheirLaws) {
    std::mt19937 draw(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    plane p(12, 12, 0.05, 0.02);
    for (int i = 1; i <= p.n; ++i) {
        p.qx[i] = p.right[i] ? 0.004 * u(draw) : 0.0;
        p.qy[i] = p.below[i] ? 0.004 * u(draw) : 0.0;
        p.vol1[i] = i % 17 == 0 ? 0.0 : 0.05 + 0.02 * u(draw);
        p.mass[i] = 1.0 + u(draw);
    }
    const double before = p.total();
    double out = 0.0;
    // The interval is over 20 times the longest stable step.
    EXPECT_GE(p.move(60.0, 1, out), 20);
    EXPECT_NEAR(p.total(), before, 1e-13 * before);
    for (int i = 1; i <= p.n; ++i) EXPECT_GE(p.mass[i], 0.0) << i;

    const double d = 0.5, t = 20.0;
    plane line(1, 201, 0.1, d);
    line.mass[101] = 1.0;
    line.move(t, 2, out);
    double mean = 0.0, variance = 0.0;
    line.moments(mean, variance);
    EXPECT_NEAR(mean, 100.0, 1e-9);
    EXPECT_NEAR(variance, 2.0 * d * t, 1e-9 * 2.0 * d * t);

    plane flow(1, 201, 0.1, 0.0);
    for (int i = 1; i < flow.n; ++i) flow.qx[i] = 0.5 * 0.1;  // 0.5 m/s through 0.1 m2
    flow.mass[51] = 1.0;
    flow.move(40.0, 1, out);
    flow.moments(mean, variance);
    EXPECT_NEAR(mean, 50.0 + 0.5 * 40.0, 1e-9);
    EXPECT_NEAR(flow.total(), 1.0, 1e-14);
}

// A sub-step moves at most half a cell's mass: on 1 m cells 0.1 m deep,
// dispersion of 0.5 m2/s takes 2 x 0.5 = 1 of it per second, a flow of 0.5
// m/s 0.5 per second, both 1.5. Over 40 s: 80, 40 and 120 sub-steps, of
// which the flow alone needs 1, 40 and 40.
TEST(OverlandTransport, SubstepsAreThoseTheFlowAndTheDispersionNeed) {
    const struct {
        double d, q;
        int steps, flow;
    } cases[] = {{0.5, 0.0, 80, 1}, {0.0, 0.05, 40, 40}, {0.5, 0.05, 120, 40}};
    for (const auto& c : cases) {
        plane p(1, 21, 0.1, c.d);
        for (int i = 1; i < p.n; ++i) p.qx[i] = c.q;
        p.mass[11] = 1.0;
        double out = 0.0;
        int flow = -1;
        EXPECT_EQ(p.move(40.0, 1, out, &flow), c.steps) << c.d << " " << c.q;
        EXPECT_EQ(flow, c.flow) << c.d << " " << c.q;
    }
}

// Land dry over the whole interval (a film far below the depth that
// carries anything) moves nothing in its one sub-step, whatever its face
// discharges and dispersion say; land that wets only at
// the interval's end, in one cell of the row, takes part: its mass moves
// on with the flow and all of it stays.
TEST(OverlandTransport, DryLandKeepsItsMassAndLandWettingLateMovesIt) {
    plane dry(1, 21, 4e-17, 0.5);
    for (int i = 1; i < dry.n; ++i) dry.qx[i] = 0.05;
    for (int i = 1; i <= dry.n; ++i) dry.mass[i] = 0.1 * i;
    const std::vector<double> held = dry.mass;
    double out = 0.0;
    int flow = -1;
    EXPECT_EQ(dry.move(40.0, 1, out, &flow), 1);
    EXPECT_EQ(flow, 1);
    EXPECT_EQ(dry.mass, held);
    EXPECT_EQ(out, 0.0);

    plane late(1, 21, 0.0, 0.0);
    for (int i = 1; i < late.n; ++i) late.qx[i] = 0.001;
    late.vol1[18] = late.vol1[19] = 0.1;
    late.mass[18] = 1.0;
    late.move(40.0, 1, out);
    EXPECT_LT(late.mass[18], 1.0);
    EXPECT_GT(late.mass[19], 0.0);
    EXPECT_NEAR(late.total(), 1.0, 1e-14);
}

// Kd 100 L/kg on 1000 g/m3 of fine sediment: 1 / (1 + 100e-6 x 1000).
// Leaching: 0.01 m of water through 0.1 m at water content 0.3 without
// sorption (f = 1 / 0.3) carries 0.01 x 3.333333 x 10 / 0.1 of 10 g.
TEST(ConstituentLaws, SorptionAndLeachingGiveTheKnownAnswers) {
    const double conc[2] = {0.0, 1000.0}, kd[2] = {0.0, 100.0};
    double attached[2] = {0.0, 0.0};
    EXPECT_NEAR(kesta::dissolved_share(1, conc, kd, attached), 0.909091, 1e-6);
    EXPECT_NEAR(attached[1], 0.090909, 1e-6);
    const double f = kesta::solids_factor(0.0, 0.3);
    EXPECT_NEAR(f, 3.333333, 1e-6);
    EXPECT_NEAR(kesta::leached_mass(0.01, f, 10.0, 0.1), 3.33333, 1e-5);
    EXPECT_EQ(kesta::leached_mass(0.4, f, 10.0, 0.1), 10.0);  // never more than the layer holds
    EXPECT_EQ(kesta::solids_factor(1.0, 0.0), 0.0);          // dry soil holds no pore water
}

// A model state of `cells` unconnected 10 m cells carrying one contaminant,
// `depth` m of water on each, its clocks at the start of a 60 s interval.
std::unique_ptr<kesta::model_state> cells_state(int cells, double depth) {
    kesta::g_error_record.clear_for_run();
    auto m = std::make_unique<kesta::model_state>();
    m->ncells = cells;
    m->gridsize = 10.0;
    m->ov_con_trans = 1;
    m->super_quiet = 1;
    m->time_tol = kesta::kTimeTolerance;
    for (kesta::vec1<double>* v : {&m->h, &m->theta_all, &m->phi_map, &m->qx, &m->qy}) *v = kesta::vec1<double>(cells);
    for (kesta::vec1<int>* v : {&m->leftcon, &m->rightcon, &m->abovecon, &m->belowcon, &m->yes_exfil})
        *v = kesta::vec1<int>(cells);
    m->h.fill(depth);
    m->time = 2451545.0;
    m->wq_last = m->soil_con_last = m->time - 60.0 / kesta::kSecondsPerDay;
    m->wq_next = m->soil_con_next = m->time;
    return m;
}

// `cells` of them over a 0.1 m mixing layer (single-layer Green and Ampt)
// of porosity 0.4 at water content 0.3, soil transport on.
std::unique_ptr<kesta::model_state> mixing_layer_cells(int cells) {
    auto m = cells_state(cells, 0.0);
    m->soil_con_trans = 1;
    m->green_ampt_on = 1;
    m->mixing_layer_depth = 10.0;  // cm
    m->theta_all.fill(0.3);
    m->phi_map.fill(0.4);
    return m;
}

void next_interval(kesta::model_state& m) {
    m.wq_last = m.soil_con_last = m.time;
    m.time += 60.0 / kesta::kSecondsPerDay;
    m.wq_next = m.soil_con_next = m.time;
}

// 2 per day on still water for a day in 60 s intervals: exp(-2) of it
// stays, and the books hold what went.
TEST(OverlandProcesses, FirstOrderDecayFollowsTheExponential) {
    auto m = cells_state(1, 0.1);
    kesta::alloc_overland_contam_arrays(*m, 1, 1, 0, 0);
    m->contam_conc[1][1] = 10.0;
    m->contam_decay_per_s[1][1] = 2.0 / kesta::kSecondsPerDay;
    kesta::init_contam_soil_state(*m);
    const double m0 = m->contam_mass[1][1];
    ASSERT_NEAR(m0, 100.0, 1e-12);  // 10 g/m3 x 0.1 m x 100 m2
    for (int i = 0; i < 1440; ++i) {
        kesta::step_contam_processes(*m);
        next_interval(*m);
    }
    EXPECT_NEAR(m->contam_mass[1][1], m0 * std::exp(-2.0), 1e-3 * m0 * std::exp(-2.0));
    EXPECT_NEAR(m->OV_MASS_DECAY.at(1) * 1000.0 + m->contam_mass[1][1], m0, 1e-9);
}

// Three cells of a 0.1 m mixing layer (single-layer Green and Ampt) at water
// content 0.3 without sorption, 10 g in each: 0.01 m of water goes down the
// first (3.33333 g leave), the water table pushes 0.01 m up the second
// (3.33333 g rise to the surface, 0.01 m x 100 m2 x 2 g/m3 enter from
// below), the third only decays at 1 per day. Each cell's storage changes by
// what entered less what left, and the books add up the cells.
TEST(SoilColumn, EachCellKeepsItsBudget) {
    auto m = mixing_layer_cells(3);
    m->water_table_given = 1;
    kesta::alloc_overland_contam_arrays(*m, 1, 3, 0, 0);
    m->contam_decay_per_s[1][3] = 1.0 / kesta::kSecondsPerDay;
    kesta::init_contam_soil_state(*m);
    ASSERT_EQ(m->soil_layer_count[1], 1);
    for (int k = 1; k <= 3; ++k) m->soil_mass[1][k][1] = 10.0;
    m->soil_infil_depth[1] = 0.01;
    m->yes_exfil[2] = 1;
    m->ov_exfil_vol[2] = 0.01 * 100.0;
    m->gw_conc[1][2] = 2.0;
    kesta::step_soil_nutrients(*m);

    const double f = 1.0 / 0.3;
    const double leached = 0.01 * f * 10.0 / 0.1, risen = 0.01 * 100.0 * 2.0;
    const double decayed = 10.0 * (1.0 - std::exp(-60.0 / 86400.0));
    EXPECT_NEAR(m->soil_mass[1][1][1], 10.0 - leached, 1e-12);
    EXPECT_NEAR(m->soil_mass[1][2][1], 10.0 + risen - leached, 1e-12);
    EXPECT_NEAR(m->contam_mass[1][2], leached, 1e-12);  // on the surface
    EXPECT_NEAR(m->soil_mass[1][3][1], 10.0 - decayed, 1e-6 * decayed);  // the clock's 60 s to 1e-6
    EXPECT_NEAR(m->SOIL_TO_WT_MASS.at(1) * 1000.0, leached, 1e-12);
    EXPECT_NEAR(m->SOIL_FROM_WT_MASS.at(1) * 1000.0, risen, 1e-12);
    EXPECT_NEAR(m->SOIL_EXFIL_MASS.at(1) * 1000.0, leached, 1e-12);
    EXPECT_NEAR(m->SOIL_DECAY_MASS.at(1) * 1000.0 + m->soil_mass[1][3][1], 10.0, 1e-12);
}

// The soil under a channel lake passes no water between its layers, even
// with water booked to cross them; its contaminant still decays.
TEST(SoilColumn, UnderAChannelLakeNothingMovesButTheMassDecays) {
    auto m = mixing_layer_cells(1);
    kesta::alloc_overland_contam_arrays(*m, 1, 1, 0, 0);
    m->contam_decay_per_s[1][1] = 1.0 / kesta::kSecondsPerDay;
    kesta::init_contam_soil_state(*m);
    m->chan_lakes_on = 1;
    m->lake_num = kesta::vec1<int>(1);
    m->lake_num[1] = 1;
    m->soil_mass[1][1][1] = 10.0;
    m->soil_infil_depth[1] = 0.01;
    kesta::step_soil_nutrients(*m);
    EXPECT_EQ(m->SOIL_TO_WT_MASS.at(1), 0.0);
    EXPECT_NEAR(m->soil_mass[1][1][1], 10.0 * std::exp(-60.0 / 86400.0), 1e-6);
    EXPECT_EQ(m->soil_infil_depth[1], 0.0);  // the interval's water books close
}

// A 0.1 m mixing layer of porosity 0.4 under 10 m cells holds 0.6 x 0.1 x
// 2650 x 100 = 15900 kg of solids. Where no water crosses it and nothing
// decays, its mass (changed since the last step, as the nutrient library
// changes its pools) stays, and its concentration and the cell's land mass
// follow the mass: 10 g / 15900 kg. The same for a slot held in the soil
// only (a nutrient pool).
TEST(SoilColumn, WhereNothingMovesTheConcentrationFollowsTheMass) {
    for (const kesta::constituent_kind type : {kesta::constituent_kind::contaminant, kesta::constituent_kind::soil_nutrient}) {
        auto m = mixing_layer_cells(1);
        kesta::alloc_overland_contam_arrays(*m, 1, 1, 0, 0);
        kesta::init_contam_soil_state(*m);
        m->constituent_type.at(1) = type;
        m->soil_mass[1][1][1] = 10.0;
        kesta::step_soil_nutrients(*m);
        const int kind = static_cast<int>(type);
        EXPECT_EQ(m->soil_mass[1][1][1], 10.0) << kind;
        EXPECT_NEAR(m->soil_conc[1][1][1], 10.0 / 15900.0 * 1000.0, 1e-12) << kind;  // mg/kg
        EXPECT_EQ(m->contam_land_mass[1][1], 10.0) << kind;
    }
}

// A cell with a column of three constituent layers of 0.02, 0.08 and 0.3 m
// (mixing layer 2 cm, upper store 10 cm, soil 40 cm) whose upper store
// holds water at 0.25 and whose lower store, where the water table leaves
// it room, at 0.3; porosity 0.45 (the layered soil's second class layer
// 0.40). Its third layer holds 10 g of a conservative contaminant sorbing
// at Kd 0.5 L/kg, and 1 cm of water leaves its bottom. `table` m is the
// depth of the water table.
std::unique_ptr<kesta::model_state> three_layer_column(bool layered, double table) {
    auto m = cells_state(1, 0.0);
    m->soil_con_trans = 1;
    m->soil_et_accounting = 1;
    m->water_table_given = 1;
    m->mixing_layer_depth = 2.0;  // cm
    m->phi_map.fill(0.45);
    m->elev = kesta::vec1<double>(1);
    m->elevgw = kesta::vec1<double>(1);
    m->elev[1] = 100.0;
    m->elevgw[1] = 100.0 - table;
    const double unsaturated = std::min(40.0, table * 100.0);  // cm of the stores above the table
    for (kesta::vec1<double>* v : {&m->soil_depth, &m->Ws1_L1, &m->Ws1_L2}) *v = kesta::vec1<double>(1);
    m->soil_depth[1] = unsaturated;
    m->Ws1_L1[1] = 0.25 * std::min(10.0, unsaturated);
    m->Ws1_L2[1] = 0.3 * std::max(0.0, unsaturated - 10.0);
    if (layered) {
        m->inf_layered_on = 1;
        m->soiltype = kesta::vec1<int>(1);
        m->soiltype[1] = 1;
        double* s = m->soil_class[1].v;
        s[7] = 0.45;
        s[8] = 0.40;
        s[22] = 10.0;
        s[23] = 30.0;
    } else {
        m->inf_redist_on = 1;
        m->top_layer_depth = 10.0;
        m->soil_moist_depth = 40.0;
    }
    kesta::alloc_overland_contam_arrays(*m, 1, 1, 0, 0);
    m->soil_partition_coef[1][1] = 0.5;
    kesta::init_contam_soil_state(*m);
    m->soil_mass[1][1][3] = 10.0;
    m->soil_drainage[1] = 1.0;  // cm
    return m;
}

// Whatever the method, a layer below the water table holds its porosity,
// a layer above it its store's moisture and a layer the table crosses each
// in proportion; the water leaving the bottom carries the pore water of
// the third layer, q f m / t with f = 1 / ((1 - theta) Kd 2.65 + theta).
TEST(SoilColumn, LayersBelowTheWaterTableAreSaturated) {
    const auto leached = [](double theta) { return 0.01 * 10.0 / 0.3 / ((1.0 - theta) * 0.5 * 2.65 + theta); };
    for (const bool layered : {false, true}) {
        const double saturated = layered ? 0.40 : 0.45;
        // Between layers 2 and 3; below the column; across layer 3 at 0.25 m.
        const double tables[3] = {0.1, 2.0, 0.25};
        const double third[3] = {saturated, 0.3, (0.3 * 0.15 + saturated * 0.15) / 0.3};
        for (int i = 0; i < 3; ++i) {
            auto m = three_layer_column(layered, tables[i]);
            ASSERT_EQ(m->soil_layer_count[1], 3);
            kesta::step_soil_nutrients(*m);
            const double* theta = m->nutrient_grid.table[1];
            const std::string where = std::string(layered ? "layered, " : "redistribution, ") + std::to_string(tables[i]);
            EXPECT_NEAR(theta[1], 0.25, 1e-12) << where;
            EXPECT_NEAR(theta[2], 0.25, 1e-12) << where;
            EXPECT_NEAR(theta[3], third[i], 1e-12) << where;
            EXPECT_NEAR(kesta::constituent_layer_theta(*m, 1, 3), third[i], 1e-12) << where;
            EXPECT_NEAR(m->SOIL_TO_WT_MASS.at(1) * 1000.0, leached(third[i]), 1e-12) << where;
            EXPECT_NEAR(m->soil_mass[1][1][3], 10.0 - leached(third[i]), 1e-12) << where;
        }
    }
}

// The water balance and each of the `count` constituent balances of the
// summary `s` close.
void expect_balances_close(const std::string& s, int count) {
    EXPECT_NEAR(value_after(s, "mass conservation error:"), 0.0, 1e-6) << s;
    int balances = 0;
    for (const std::string label : {"Soil mass balance error", "Dissolved mass balance error",
                                    "Contam mass balance error"}) {
        for (std::size_t at = s.find(label); at != std::string::npos; at = s.find(label, at + 1), ++balances)
            EXPECT_NEAR(number_after(s.substr(at), label), 0.0, 1e-6) << s.substr(at, 80);
    }
    EXPECT_EQ(balances, count);
}

// The plus-shaped plane of five 100 m cells with two soils: redistribution
// above a water table that stands above the ground of three cells, erosion
// of three classes, a point source of water and atrazine on the middle
// cell; two contaminants from the mapping table.
struct contam_plane {
    kesta_test::temp_dir dir;

    static std::string grid(const char* v) { return kesta_test::grid_text(3, 3, 100.0, v); }

    static std::string tables(const std::string& contaminant_rows = table_row(1, "0.01 0.5 0.1 2 1 1 0.3 0") +
                                                                     table_row(2, "0.02 0.1 0.2 1 0.5 10 0.1 0")) {
        const std::string pad(36, ' ');
        return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\nGREEN_AMPT_INFILTRATION \"Soil\"\n"
               "NUM_IDS 2\nhdr\n" + table_row(1, "0.34 8.89 0.434 0.252 0.027 0.27 0.12") +
               table_row(2, "1.09 11.01 0.453 0.322 0.041 0.2 0.08") +
               "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil\"\nNUM_IDS 2\nhdr\n" + table_row(1, "0.15") +
               table_row(2, "0.2") + "SEDIMENTS\nNUM_SED 3\nhdr\nclay" + pad + "2.65 0.002 0.1 a.out\nsilt" +
               pad + "2.65 0.02 0.1 b.out\nsand" + pad + "2.65 0.5 0 c.out\n" +
               "SOIL_EROSION_PROPS \"Soil\"\nNUM_IDS 2\nNUM_SED 3\nhdr\n" +
               table_row(1, "0.5 1.0 0.0 0 0 0 0 1.0 0.3 0.4 0.3") +
               table_row(2, "0.5 1.0 0.0 0 0 0 0 1.0 0.2 0.5 0.3") +
               "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n\"Atrazine\" \"Soil\" \"atr\"\nPRECIP_CONC 0.5\n"
               "PARTITION 300\nNUM_IDS 2\nhdr\n" + contaminant_rows +
               "\"Tracer\" \"Soil\" \"\"\nPRECIP_CONC 1.0\nNUM_IDS 2\nhdr\n" +
               table_row(1, "0 0 0 0 0 0 0 0") + table_row(2, "0 0 0 0 0 0 0 0");
    }

    static std::string points() {
        return "KESTA_TS\n2 2 0\nABSOLUTE\n2020 6 1 12 0 0.02\n2020 6 1 13 0 0.0\nEND_TS\n"
               "KESTA_TS\n2 2 1\nRELATIVE\n0 0 0 0 0 5\nEND_TS\n";
    }

    explicit contam_plane(const std::string& cmt = tables(), const std::string& point_file = points()) {
        dir.write("mask.asc", kesta_test::cross_mask(100.0));
        dir.write("elev.asc", kesta_test::cross_elevation(100.0));
        dir.write("soils.idx", grid("0 1 0\n1 1 2\n0 2 0\n"));
        dir.write("wt.asc", grid("8 9.5 8\n9.5 9 9.5\n8 6.9 8\n"));
        dir.write("bot.asc", grid("0 0 0\n0 0 0\n0 0 0\n"));
        dir.write("bound.asc", grid("1 1 1\n1 1 1\n1 2 1\n"));
        dir.write("t.cmt", cmt);
        dir.write("points.ts", point_file);
    }

    kesta_test::program_result run(const std::string& extra) const {
        dir.write("p.prj",
                  "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
                  "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"
                  "SUPER_QUIET\nHYD_FREQ 5\nTOT_TIME 120\nTIMESTEP 10\nRAIN_INTENSITY 40\nRAIN_DURATION 60\n"
                  "START_DATE 2020 6 1\nSTART_TIME 12 0\nINF_REDIST\nMAPPING_TABLE t.cmt\nTOP_LAYER_DEPTH 0.1\n"
                  "SOIL_MOIST_DEPTH 0.5\nWATER_TABLE wt.asc\nAQUIFER_BOTTOM bot.asc\nGW_SIMULATION\n"
                  "GW_BOUNDFILE bound.asc\nGW_UNIF_HYCOND 36\nGW_UNIF_POROSITY 0.3\nGW_TIMESTEP 60\n"
                  "SOIL_EROSION 2\nSAND_SIZE 0.1\nOUTLET_SED_FLUX sed.out\nOV_CON_TRANS\nSOIL_CON_TRANS\n"
                  "SEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\nOV_POINT_SOURCE points.ts\n" + extra);
        return kesta_test::run_kesta("p.prj", dir.path().string());
    }
    std::string read(const char* name) const { return kesta_test::read_file(dir.file(name)); }
};

// Every constituent balance of the event and of the run closes, the water
// balances with them, and the maps carry the contaminants. The water table
// falls from above the ground, where the aquifer stores its heads as open
// water, beyond its porosity.
TEST(ContaminantRun, EveryBalanceClosesWithEveryProcessAtWork) {
    const contam_plane plane;
    const auto r = plane.run("MAP_TYPE 1\nMAP_FREQ 30\nOV_CON_MAP conc.dat\n");
    const std::string s = plane.read("summ.out");
    ASSERT_EQ(r.status, 0) << r.output << s;
    EXPECT_FALSE(has_non_number(s)) << s;
    EXPECT_NEAR(value_after(s, "Overall mass balance error ="), 0.0, 1e-6) << s;
    const double beyond = value_after(s, "Held beyond the aquifer porosity=");
    EXPECT_LT(beyond, -100.0) << s;
    EXPECT_NEAR(value_after(s, "GW volume end =") + beyond - value_after(s, "GW volume start ="),
                value_after(s, "Total inputs to groundwater=") + value_after(s, "Flux across head boundaries="), 0.03)
        << s;
    // Event: soil and overland of both; run: soil of both, overland and basin of both.
    expect_balances_close(s, 10);
    // Every process moved atrazine in the event.
    const std::string soil = section(s, "Soil Contaminant Transport Summary for Atrazine", "for Tracer");
    const std::string land = section(s, "Overland Contaminant Transport Summary for Atrazine", "for Tracer");
    for (const char* label : {"Mass added by infiltration", "Exfiltration mass loss", "Mass seepage from water table",
                              "Soil decay mass"})
        EXPECT_GT(number_after(soil, label), 0.0) << label << "\n" << soil;
    for (const char* label : {"Point source mass gain", "Precipitation gain", "Decay loss", "Outlet flux"})
        EXPECT_GT(number_after(land, label), 0.0) << label << "\n" << land;
    EXPECT_LT(number_after(land, "Sediment source"), 0.0) << land;  // dissolved lost to the sediment
    EXPECT_GT(number_after(land, "Attached exiting outlet"), 0.0) << land;
    for (const char* map : {"conc.dat", "atr.conc", "atr.mass"}) {
        const std::string text = plane.read(map);
        EXPECT_EQ(text.rfind("DATASET\n", 0), 0u) << map;
        EXPECT_NE(text.find("TS 1 "), std::string::npos) << map;
        EXPECT_EQ(text.find("ENDDS\n"), text.size() - 6) << map;
    }
    EXPECT_NE(plane.read("atr.conc").find("OBJID 5000\n"), std::string::npos);
    EXPECT_NE(plane.read("atr.mass").find("OBJID 5001\n"), std::string::npos);
}

// The overland pumps move no water (no input fills their list), so a run
// that names them carries its contaminants and closes every balance as
// without them.
TEST(ContaminantRun, IdleOverlandPumpsLeaveTheBalancesClosed) {
    const contam_plane plane;
    plane.dir.write("pumps.dat", "no pumps are read from this file\n");
    const auto r = plane.run("OV_PUMP pumps.dat\n");
    const std::string s = plane.read("summ.out");
    ASSERT_EQ(r.status, 0) << r.output << s;
    expect_balances_close(s, 10);
    EXPECT_GT(number_after(section(s, "Overland Contaminant Transport Summary for Atrazine", "for Tracer"),
                           "Outlet flux"),
              0.0)
        << s;
}

// The uniform contaminant of the OV_* cards on the five-cell cross of
// `cell` m cells, in intervals of `step` s.
std::string uniform_cross(const kesta_test::temp_dir& dir, const std::string& cards, double cell = 10.0,
                          int step = 10) {
    dir.write("mask.asc", kesta_test::cross_mask(cell));
    dir.write("elev.asc", kesta_test::cross_elevation(cell));
    return dir.write("p.prj", kesta::format_text("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
                                                 "GRIDSIZE %g\nROWS 3\nCOLS 3\nTIMESTEP %d\n",
                                                 cell, step) +
                                  "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nSUMMARY summ.out\n"
                                  "OUTLET_HYDRO hyd.out\nSUPER_QUIET\nTOT_TIME 30\nRAIN_INTENSITY 40\n"
                                  "RAIN_DURATION 20\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nOV_CON_TRANS\n" +
                                  cards);
}

kesta::substep_stats g_substeps;

bool watch_substeps(kesta::model_state& m, const char*) {
    g_substeps = m.ov_route_stats;
    return true;
}

// Dispersion of 50 m2/s on 10 m cells moves 2 x 50 / 100 = 1 of a wet
// cell's mass per second: a 10 s interval takes at least 20 sub-steps of
// at most half of it. The summary says how many sub-steps the run took and
// how many of them the flow set: as many as the same run without
// dispersion takes. On 1 m cells in 60 s intervals 100 m2/s would need
// 200 x 60 / 0.5 = 24000 sub-steps, beyond the 10000 the transport takes:
// the summary says so. Beyond 100 m2/s the card is refused.
TEST(ContaminantRun, TheSummarySaysHowManySubstepsTheDispersionSet) {
    kesta_test::temp_dir dir(true);
    kesta::substep_stats still, dispersed;
    for (const char* d : {"0", "50"}) {
        uniform_cross(dir, std::string("OV_DISP_COEF ") + d + "\n");
        g_substeps = kesta::substep_stats();
        const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_substeps);
        ASSERT_EQ(r.rc, 0) << r.out;
        (d[0] == '0' ? still : dispersed) = g_substeps;
    }
    EXPECT_EQ(still.intervals, dispersed.intervals);
    EXPECT_GT(still.intervals, 0);
    EXPECT_EQ(dispersed.set_by_flow, still.substeps);
    EXPECT_GE(dispersed.most, 20);
    EXPECT_GT(dispersed.substeps, dispersed.set_by_flow);
    EXPECT_EQ(dispersed.at_most, 0);
    const std::string summary = kesta_test::read_file("summ.out");
    EXPECT_TRUE(has(summary, kesta::format_text("Overland constituent transport: %lld sub-steps in %lld constituent "
                                                "intervals (at most %d in one); the flow's stability limit set %lld "
                                                "of them and the dispersion's limit (CONTAMINANT_TRANSPORT column 1, "
                                                "OV_DISP_COEF or the DISPERSION table) the other %lld.\n",
                                                dispersed.substeps, dispersed.intervals, dispersed.most,
                                                dispersed.set_by_flow, dispersed.substeps - dispersed.set_by_flow)))
        << summary;

    uniform_cross(dir, "OV_DISP_COEF 100\n", 1.0, 60);
    g_substeps = kesta::substep_stats();
    const kesta_test::model_run fine = kesta_test::run_in_process("p.prj", watch_substeps);
    ASSERT_EQ(fine.rc, 0) << fine.out;
    EXPECT_EQ(g_substeps.most, 10000);
    EXPECT_GT(g_substeps.at_most, 0);
    const std::string capped = kesta_test::read_file("summ.out");
    EXPECT_TRUE(has(capped, kesta::format_text("Overland constituent transport: %lld sub-steps in %lld constituent "
                                               "intervals (at most 10000 in one)",
                                               g_substeps.substeps, g_substeps.intervals)))
        << capped;
    EXPECT_TRUE(has(capped, kesta::format_text(".\n%lld of the intervals took the most sub-steps it takes; where "
                                               "they needed more, it gave no cell more than it held",
                                               g_substeps.at_most)))
        << capped;

    uniform_cross(dir, "OV_DISP_COEF 1e6\n");
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj");
    EXPECT_NE(r.rc, 0);
    EXPECT_TRUE(has(r.out, "Error: OV_DISP_COEF 1e+06 in project file p.prj: water over land disperses no more than "
                           "100 m2/s."))
        << r.out;
}

std::vector<double> g_decay_seen;

bool watch_decay(kesta::model_state& m, const char* step) {
    const std::string name = step;
    if ((name == "open_all_map_outputs" || name == "advance_clock") && m.contam_decay_per_s.size() > 1)
        g_decay_seen.push_back(m.contam_decay_per_s[1][1]);
    return true;
}

// OV_DECAY_COEF gives the decay per day; the run holds it per second from
// the moment it is read: the same value once the grids are read and
// through every pass of the time loop.
TEST(ContaminantRun, TheDecayIsHeldPerSecondFromItsReading) {
    kesta_test::temp_dir dir(true);
    uniform_cross(dir, "OV_DECAY_COEF 0.864\n");
    g_decay_seen.clear();
    const kesta_test::model_run r = kesta_test::run_in_process("p.prj", watch_decay);
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_GT(g_decay_seen.size(), 2u);
    for (const double v : g_decay_seen) EXPECT_EQ(v, 0.864 / kesta::kSecondsPerDay);
}

// Each input the constituents cannot use stops the run naming the file,
// line or card and the value.
// The least land load of any cell and constituent, and how many cells the
// erosion stripped of their whole load, as the run goes.
struct land_watch {
    double least = 0.0;
    int stripped = 0;
};
land_watch g_land;

bool watch_land(kesta::model_state& m, const char* name) {
    if (std::string(name) != "step_contam_processes") return true;  // just after the erosion took its share
    int stripped = 0;
    for (int c = 1; c <= m.ncontam; ++c)
        for (int k = 1; k <= m.ncells; ++k) {
            g_land.least = std::min(g_land.least, m.contam_land_mass[static_cast<std::size_t>(c)][k]);
            if (m.contam_land_mass[static_cast<std::size_t>(c)][k] <= 0.0) ++stripped;
        }
    g_land.stripped = std::max(g_land.stripped, stripped);
    return true;
}

// Erosion through a mixing layer of 1e-5 m takes all the land's load of
// the cells it scours (13 g of a sorbed herbicide each): the land keeps
// none of it, not a rounding less (it kept -3.7e-68 g).
TEST(ContaminantRun, ErosionThatTakesAllTheLandsLoadLeavesItNoneBelowZero) {
    kesta_test::temp_dir dir(true);
    const auto grid = [](const char* v) { return kesta_test::grid_text(3, 3, 10.0, v); };
    dir.write("mask.asc", grid("1 1 1\n1 1 1\n1 1 1\n"));
    dir.write("elev.asc", grid("10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n"));
    dir.write("soils.idx", grid("1 2 1\n2 1 2\n1 2 1\n"));
    const std::string pad(36, ' ');
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soil\"\nSEDIMENTS\nNUM_SED 3\nhdr\nclay" + pad +
                           "2.65 0.002 0.1 a.out\nsilt" + pad + "2.65 0.02 0.1 b.out\nsand" + pad +
                           "2.65 0.5 0 c.out\nSOIL_EROSION_PROPS \"Soil\"\nNUM_IDS 2\nNUM_SED 3\nhdr\n" +
                           table_row(1, "0.5 1.0 0.0 0 3e-3 1 0 1.0 0.3 0.4 0.3") +
                           table_row(2, "0.5 1.0 0.0 0 3e-3 1 0 1.0 0.2 0.5 0.3") +
                           "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Atrazine\" \"Soil\" \"\"\nPRECIP_CONC 0\n"
                           "PARTITION 300\nNUM_IDS 2\nhdr\n" +
                           table_row(1, "0 0 0 0.013 0 0 0 0") + table_row(2, "0 0 0 0.013 0 0 0 0"));
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS 3\nCOLS 3\n"
                       "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"
                       "SUPER_QUIET\nHYD_FREQ 5\nTOT_TIME 30\nTIMESTEP 10\nRAIN_INTENSITY 80\nRAIN_DURATION 30\n"
                       "START_DATE 2020 6 1\nSTART_TIME 12 0\nMAPPING_TABLE t.cmt\nSOIL_EROSION 2\nSAND_SIZE 0.1\n"
                       "OUTLET_SED_FLUX sed.out\nOV_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 1e-5\n");
    g_land = land_watch();
    const kesta_test::model_run run = kesta_test::run_in_process("p.prj", watch_land);
    ASSERT_EQ(run.rc, 0) << run.out;
    EXPECT_GT(g_land.stripped, 0);
    EXPECT_GE(g_land.least, 0.0);
}

TEST(ContaminantRun, BadInputsAreRefusedNamingWhereAndWhat) {
    const std::string points = contam_plane::points();
    const struct {
        std::string tables, points, extra, message;
    } cases[] = {
        {contam_plane::tables(table_row(1, "0.01 0.5 0.1 2 1 1 0.3 0") + table_row(2, "0.02 -0.1 0.2 1 0.5 10 0.1 0")),
         points, "", "gives contaminant 1 (Atrazine) the decay coefficient (column 2) -0.1 at cell 4 (row 2, column 3)"},
        {contam_plane::tables(), "KESTA_TS\n1 1 0\nABSOLUTE\n2020 6 1 12 0 1\nEND_TS\n", "",
         "cell point source file points.ts, line 2 (\"1 1 0\"): row 1, column 1 is no cell of the watershed"},
        {contam_plane::tables(), "KESTA_TS\n2 2 3\nABSOLUTE\n2020 6 1 12 0 1\nEND_TS\n", "",
         "line 2 (\"2 2 3\"): quantity 3: give 0 for the discharge or a contaminant from 1 to 2"},
        {contam_plane::tables(), "KESTA_TS\n2 2 0\nABSOLUTE\n2020 6 1 12 0 -0.5\nEND_TS\n", "",
         "line 4 (\"2020 6 1 12 0 -0.5\"): the discharge -0.5 must be 0 or more"},
        {contam_plane::tables(), "KESTA_TS\n2 2 0\nABSOLUTE\n2020 6 1 12 0 1\n2020 6 1 11 0 1\nEND_TS\n", "",
         "line 5 (\"2020 6 1 11 0 1\"): its time is not later than the record's before it"},
        {contam_plane::tables(), "KESTA_TS\n2 2 1\nABSOLUTE\n2020 6 1 12 0 1\nEND_TS\n", "",
         "gives concentrations for row 2, column 2 but no discharge"},
        {contam_plane::tables(), points, "KINETICS_TIMESTEP_FACTOR 1.5\n", "KINETICS_TIMESTEP_FACTOR 1.5"},
        // A dispersion beyond what water over land has.
        {contam_plane::tables(table_row(1, "0.01 0.5 0.1 2 1 1 0.3 0") + table_row(2, "1e6 0.1 0.2 1 0.5 10 0.1 0")),
         points, "", "table CONTAMINANT_TRANSPORT, line 33: the row of ID 2 gives the dispersion coefficient (column 1) "
                     "1e+06 m2/s; water over land disperses no more than 100 m2/s"},
        {contam_plane::tables(), points, "MIXING_LAYER_DEPTH 0.2\n",
         "the mixing layer (MIXING_LAYER_DEPTH 0.2 m), the rest of the top layer (TOP_LAYER_DEPTH 0.1 m)"},
        {contam_plane::tables(), points, "CONTAM_MAP load.asc\n",
         "contaminant load -1 mg/kg at cell 3 (row 2, column 2), from map load.asc: it must be from 0 to 1e+06 mg/kg, "
         "the soil itself."},
        // A load or a concentration beyond what the soil or the water can hold.
        {contam_plane::tables(), points, "CONTAM_MAP huge.asc\n",
         "contaminant load 1e+308 mg/kg at cell 3 (row 2, column 2), from map huge.asc: it must be from 0 to 1e+06"},
        {contam_plane::tables(table_row(1, "0.01 0.5 0.1 2 1 1 0.3 0") + table_row(2, "0.02 0.1 0.2 1e308 0.5 10 0.1 0")),
         points, "", "the land load (column 4) 1e+308 at cell 4 (row 2, column 3); it must be from 0 to 1e+06 mg/kg"},
        {contam_plane::tables(table_row(1, "0.01 0.5 0.1 2 2e6 1 0.3 0") + table_row(2, "0.02 0.1 0.2 1 0.5 10 0.1 0")),
         points, "",
         "the initial concentration (column 5) 2e+06 at cell 1 (row 1, column 2); it must be from 0 to 1e+06 g/m3, "
         "what a cubic metre of water weighs."},
        // Water paths whose water would leave its constituents behind.
        {contam_plane::tables(), points, "OVERLAND_LAKE_MAP lakes.asc\nOVERLAND_LAKE_FILE lakes.txt\n",
         "(OV_CON_TRANS) together with overland lakes (OVERLAND_LAKE_MAP)"},
        {contam_plane::tables() + "OVERLAND_BOUNDARY \"Soil\"\nNUM_IDS 2\nID DESCRIPTION TYPE VALUE\n" +
             table_row(1, "0 0") + table_row(2, "1 0.01"),
         points, "OV_BOUNDARY\n", "(OV_CON_TRANS) together with an overland boundary (OV_BOUNDARY)"},
        {contam_plane::tables(), points, "STORM_SEWER drains.sew\nGRID_PIPE drains.gpi\n",
         "(OV_CON_TRANS) together with storm drains (STORM_SEWER)"},
    };
    for (const auto& c : cases) {
        const contam_plane plane(c.tables, c.points);
        plane.dir.write("load.asc", contam_plane::grid("0 1 0\n1 -1 1\n0 1 0\n"));
        plane.dir.write("huge.asc", contam_plane::grid("0 1 0\n1 1e308 1\n0 1 0\n"));
        plane.dir.write("lakes.asc", contam_plane::grid("0 0 0\n0 1 0\n0 0 0\n"));
        plane.dir.write("lakes.txt", "KESTA_OVERLAND_LAKE_FILE\nLAKE 1 9.5 0\n");
        plane.dir.write("drains.sew", "SJUNC 1 8.0 7.0 1.0 1 2 2 0.6 0.6\nSJUNC 2 7.0 6.5 0.0 888 2 3 0 0\n"
                                      "CONNECT 1 1 2\nSLINK 1 1\nNODE 1 8.0 7.0 0.5 0 2 2 0 0\n"
                                      "NODE 2 7.0 6.5 0.5 0 2 3 0 0\nPIPE 1 1 0.4 0 0.005 0.013 100 0 0\n");
        plane.dir.write("drains.gpi", "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 2 2\nNUMPIPES 1\nSPIPE 1 1 0.5\n");
        const auto r = plane.run(c.extra);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.message << "\n" << r.output;
        EXPECT_FALSE(has(plane.read("summ.out"), "Overland Contaminant Transport Summary")) << c.message;
    }
}

// Without SOIL_CON_TRANS the land load is kg over the cell, at most 1e4 kg
// per m2 of it (9e6 kg over a 30 m cell): a load beyond it, whose grams
// would not stay a finite number through the run's sums, is refused naming
// the map or card, the cell and the value; one within it runs.
TEST(ContaminantRun, LandLoadsBeyondWhatACellHoldsAreRefused) {
    const struct {
        const char *load, *cards;
        int status;
        const char* says;
    } cases[] = {
        {"0 5 0\n5 1e308 5\n0 5 0\n", "CONTAM_MAP load.asc\n", 1,
         "Error: contaminant load 1e+308 kg at cell 3 (row 2, column 2), from map load.asc: it must be from 0 to "
         "9e+06 kg, 10000 kg per m2 of the cell's 900 m2."},
        {"0 5 0\n5 5 5\n0 5 0\n", "OV_MASS_LOAD 1e10\n", 1,
         "Error: OV_MASS_LOAD 1e+10 kg in project file p.prj: the load of a cell's land must be from 0 to 9e+06 kg"},
        {"0 5 0\n5 9e6 5\n0 5 0\n", "CONTAM_MAP load.asc\n", 0, "Running...."},
    };
    for (const auto& c : cases) {
        kesta_test::temp_dir dir;
        dir.write("mask.asc", kesta_test::cross_mask(30.0));
        dir.write("elev.asc", kesta_test::cross_elevation(30.0));
        dir.write("load.asc", kesta_test::grid_text(3, 3, 30.0, c.load));
        dir.write("p.prj", std::string("KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\n"
                                       "ROWS 3\nCOLS 3\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\n"
                                       "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nTOT_TIME 30\nTIMESTEP 10\n"
                                       "RAIN_INTENSITY 20\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
                                       "START_TIME 12 0\nOV_CON_TRANS\nOV_DECAY_COEF 0.1\n") +
                               c.cards);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.says << "\n" << r.output;
        if (c.status == 0) {
            EXPECT_FALSE(has_non_number(kesta_test::read_file(dir.file("summ.out"))));
        }
    }
}

// A 2 x 3 grid whose one cell lies in row 2, column 3, with `n`
// contaminant slots.
std::unique_ptr<kesta::model_state> point_source_grid(int n) {
    auto m = std::make_unique<kesta::model_state>();
    m->rows = 2;
    m->cols = 3;
    m->mask = kesta::mat2<int>(m->rows + 1, m->cols + 1);
    m->mask[2][3] = 1;
    m->n_contaminants = n;
    m->super_quiet = 1;
    return m;
}

// What reading the cell point sources `text` printed.
std::string read_point_sources(kesta::model_state& m, kesta_test::temp_dir& dir, const std::string& text) {
    m.ov_point_source = dir.write("points.ts", text);
    kesta::g_error_record.clear_for_run();
    testing::internal::CaptureStdout();
    kesta::read_cell_point_sources(m);
    return testing::internal::GetCapturedStdout();
}

const std::string kPointDischarge = "KESTA_TS\n2 3 0\nABSOLUTE\n2021 7 14 14 0 2e7\nEND_TS\n";

// A cell point source's concentration lies from 0 to 1e6 g/m3, what a
// cubic metre of water weighs (the discharge has no such bound); the
// refusal names the file, the line, the cell and the value. 1e6 itself is
// taken.
TEST(CellPointSources, ConcentrationsLieWithinWhatWaterWeighs) {
    kesta_test::temp_dir dir;
    const std::string rule = "; it must be from 0 to 1e+06 g/m3, what a cubic metre of water weighs.\n";
    const struct {
        const char* value;
        const char* says;
    } cases[] = {
        {"1e9", "line 10 (\"2021 7 14 14 0 1e9\"): row 2, column 3 gives contaminant 2 the concentration 1e+09 g/m3"},
        {"-0.5", "line 10 (\"2021 7 14 14 0 -0.5\"): row 2, column 3 gives contaminant 2 the concentration -0.5 g/m3"},
        {"1000001",
         "line 10 (\"2021 7 14 14 0 1000001\"): row 2, column 3 gives contaminant 2 the concentration 1000001 g/m3"},
        {"1e6", ""},
    };
    for (const auto& c : cases) {
        auto m = point_source_grid(2);
        const std::string out =
            read_point_sources(*m, dir, kPointDischarge + "KESTA_TS\n2 3 2\nABSOLUTE\n2021 7 14 13 0 1\n" +
                                            "2021 7 14 14 0 " + c.value + "\nEND_TS\n");
        EXPECT_EQ(kesta::g_error_record.stop != 0, c.says[0] != '\0') << c.value << "\n" << out;
        if (c.says[0]) {
            EXPECT_TRUE(has(out, "Error: cell point source file " + m->ov_point_source + ", " + c.says + rule)) << out;
        } else {
            EXPECT_EQ(m->cell_points.at(0).conc.at(2).values.back(), 1e6);
        }
    }
    kesta::g_error_record.clear_for_run();
}

// With the sediment classes carried as constituents (after the
// contaminants), a refusal names a class as the class it is, with the
// quantity the file gave it, and a contaminant with its name.
TEST(CellPointSources, RefusalsNameWhatTheQuantityCarries) {
    kesta_test::temp_dir dir;
    auto m = point_source_grid(3);
    m->contam_names = {"", "Atrazine", "sediment class 1", "sediment class 2"};
    m->first_sed_constituent = 2;
    m->ov_sed = std::make_unique<kesta::sed_record>();
    m->ov_sed->num_sed = 2;
    const auto block = [](int k, const char* value) {
        return kesta::format_text("KESTA_TS\n2 3 %d\nRELATIVE\n0 0 0 0 0 %s\nEND_TS\n", k, value);
    };
    const std::pair<std::string, std::string> cases[] = {
        {block(1, "2e6"), "row 2, column 3 gives contaminant 1 (Atrazine) the concentration 2e+06 g/m3"},
        {block(3, "2e6"), "row 2, column 3 gives sediment class 2 (quantity 3) the concentration 2e+06 g/m3"},
        {block(2, "1") + block(2, "1"), "row 2, column 3 already has its concentration of sediment class 1 "
                                        "(quantity 2)"},
    };
    for (const auto& [blocks, says] : cases) {
        m->cell_points.clear();
        const std::string out = read_point_sources(*m, dir, kPointDischarge + blocks);
        EXPECT_NE(kesta::g_error_record.stop, 0) << says;
        EXPECT_TRUE(has(out, says)) << says << "\n" << out;
    }
    kesta::g_error_record.clear_for_run();
}

}  // namespace
