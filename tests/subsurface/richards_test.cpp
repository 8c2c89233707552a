// Richards columns: the retention curves against hand-worked values, the two
// soil-table forms with their refusals, the columns with their water tables,
// and the solver against independent results (a hydrostatic column stays
// still, free drainage reaches unit gradient at the rain rate, the
// evaporation of a bare column is the water it lost, and every column's
// water is what entered less what left, to round-off).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/richards_retention.hpp"
#include "subsurface/soil_cells.hpp"
#include "subsurface/soil_layer_table.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::retention_model;
using kesta::richards_soil;
using kesta_test::plane;

// A Brooks and Corey soil for hand-made columns: conductivity 1 cm/h,
// porosity 0.45, residual moisture 0.05, bubbling head -20 cm, lambda 0.5;
// layers of 20 cm with nodes every 5 cm.
struct bc_soil {
    double ks = 1.0;  // cm/h
    double thetas = 0.45, thetar = 0.05, theta = 0.30;
    double wilting = 0.10, capacity = 0.25;
    double depth = 20.0, dz = 5.0;  // cm, per layer
    double lambda = 0.5, bubbling = -20.0;
};

// The record slots of layer j as the soil table fills them: slots 4, 7, ...,
// 31 for the first layer's values, each next layer one slot on.
void set_layer(kesta::model_state& m, int id, int j, const bc_soil& s) {
    const double values[] = {s.ks,     s.thetas, s.theta,  s.wilting,  s.capacity,
                             s.thetar, s.depth,  s.lambda, s.bubbling, s.dz};
    for (int i = 0; i < 10; ++i) m.soil_class[static_cast<std::size_t>(id)].v[4 + 3 * i + j] = values[i];
}

// Cells of plane p (see soil_cells.hpp) on soil class 1 of soil s in its
// three layers, set up as the soil table would leave them; the `flags` are
// set before the arrays are made (long_term, the water table), `after` sets
// what the run needs once they are (ground and table), then the columns are
// built.
bool make_richards_plane(kesta::model_state& m, const plane& p, double dt, const bc_soil& s = bc_soil(),
                         std::initializer_list<int kesta::model_state::*> flags = {},
                         const std::function<void(kesta::model_state&)>& after = nullptr) {
    for (auto flag : flags) m.*flag = 1;
    kesta_test::make_soil_plane(m, p, dt, 4);
    m.richards_c_option = 1, m.richards_k_option = 2, m.richards_upper_option = 1;
    m.richards_weight = 1.0, m.richards_iter_max = 1, m.richards_dtheta_max = 0.0025;
    m.timestep = dt, m.soil_moist_depth = 40.0;
    m.richards.model = kesta::retention_model::brooks_corey;
    m.richards.defined.assign(kesta::kSoilClasses, 0);
    m.richards.defined[1] = 1;
    for (int j = 0; j < 3; ++j) set_layer(m, 1, j, s);
    for (int k = 1; k <= m.ncells; ++k) {
        m.soiltype[k] = 1;
        if (k <= m.root_depth.n()) m.root_depth[k] = 0.4;
    }
    if (after) after(m);
    return kesta::init_richards_columns(m);
}

constexpr double kHour = 3600.0;
constexpr auto kTable = &kesta::model_state::water_table_given;
constexpr auto kLongTerm = &kesta::model_state::long_term;

// Ground at 100 m and the aquifer bottom 2 m below on every cell; the water
// table of cells 1, 2, ... at the heights `gw` (m), of the others 1 m below
// the ground.
auto tables_at(std::vector<double> gw = {}) {
    return [gw](kesta::model_state& m) {
        m.aquifer_delta_z = 0.1;
        for (int k = 1; k <= m.ncells; ++k) {
            m.elev[k] = 100.0;
            m.elevgw[k] = k <= static_cast<int>(gw.size()) ? gw[static_cast<std::size_t>(k - 1)] : 99.0;
            m.bottom_elev[k] = 98.0;
        }
    };
}

richards_soil brooks_corey() {
    richards_soil s;
    s.thetas = 0.45, s.thetar = 0.05, s.bubbling = -20.0, s.lambda = 0.5;
    kesta::set_brooks_corey_cap(s);
    return s;
}

richards_soil havercamp_sand() {
    richards_soil s;
    s.thetas = 0.287, s.thetar = 0.075, s.alpha = 36.936, s.beta = 3.96, s.a = 1.175e6, s.b = 4.74;
    return s;
}

TEST(RichardsRetention, BrooksCoreyMeetsItsCapSmoothlyAndInvertsExactly) {
    const richards_soil s = brooks_corey();
    const auto bc = retention_model::brooks_corey;
    EXPECT_NEAR(kesta::theta_from_head(s, bc, -80.0), 0.25, 1e-12);
    EXPECT_NEAR(kesta::hydraulic_properties(s, bc, -80.0, 0.25).kr, 0.0078125, 1e-12);
    EXPECT_NEAR(s.cap_head, -31.25, 1e-12);
    EXPECT_NEAR(s.cap_theta, 0.37, 1e-12);
    // The parabola and the curve agree in value and slope at the cap head.
    EXPECT_NEAR(kesta::theta_from_head(s, bc, s.cap_head - 1e-6), 0.37, 1e-8);
    EXPECT_NEAR(kesta::theta_from_head(s, bc, s.cap_head + 1e-6), 0.37, 1e-8);
    EXPECT_NEAR(kesta::hydraulic_properties(s, bc, s.cap_head - 1e-9, 0.37).capacity,
                kesta::hydraulic_properties(s, bc, s.cap_head + 1e-9, 0.37).capacity, 1e-9);
    double h = 0.0;
    for (double head = -100.0; head <= 0.0; head += 0.5) {  // -80 among them
        ASSERT_TRUE(kesta::head_from_theta(s, bc, kesta::theta_from_head(s, bc, head), h));
        EXPECT_NEAR(h, head, 1e-7) << head;
    }
    // At or below the residual moisture the head is undefined and kept.
    h = -5.0;
    EXPECT_FALSE(kesta::head_from_theta(s, bc, 0.05, h));
    EXPECT_EQ(h, -5.0);
}

TEST(RichardsRetention, HavercampSandAndSaturationAtZeroHead) {
    const richards_soil s = havercamp_sand();
    const auto hv = retention_model::havercamp;
    EXPECT_NEAR(kesta::theta_from_head(s, hv, -40.0), 0.16441, 5e-6);
    EXPECT_NEAR(34.0 * kesta::hydraulic_properties(s, hv, -40.0, 0.16441).kr, 0.98842, 5e-5);
    double h = 0.0;
    ASSERT_TRUE(kesta::head_from_theta(s, hv, 0.16441, h));
    EXPECT_NEAR(h, -40.0, 2e-3);
    EXPECT_EQ(kesta::theta_from_head(s, hv, 0.0), 0.287);
    EXPECT_EQ(kesta::theta_from_head(brooks_corey(), retention_model::brooks_corey, 0.0), 0.45);
}

// The solver's short road from moisture to head and properties agrees with
// the two functions it stands for, on both models and both sides of the cap.
TEST(RichardsRetention, UnsaturatedStateIsHeadAndPropertiesOfTheMoisture) {
    const std::pair<richards_soil, retention_model> soils[] = {{brooks_corey(), retention_model::brooks_corey},
                                                               {havercamp_sand(), retention_model::havercamp}};
    for (const auto& [s, model] : soils) {
        for (double se = 0.05; se < 1.0; se += 0.05) {
            const double theta = s.thetar + se * (s.thetas - s.thetar);
            double h = 0.0, expected_h = 0.0;
            kesta::hydraulic_props p;
            ASSERT_TRUE(kesta::unsaturated_state(s, model, theta, h, p));
            ASSERT_TRUE(kesta::head_from_theta(s, model, theta, expected_h));
            const kesta::hydraulic_props q = kesta::hydraulic_properties(s, model, expected_h, theta);
            EXPECT_NEAR(h, expected_h, 1e-9 * std::fabs(expected_h)) << se;
            EXPECT_NEAR(p.kr, q.kr, 1e-12 + 1e-9 * q.kr) << se;
            EXPECT_NEAR(p.capacity, q.capacity, 1e-9 * q.capacity) << se;
        }
    }
}

class RichardsTable : public ::testing::Test {
protected:
    void SetUp() override { kesta::g_error_record = kesta::error_record(); }
    void TearDown() override { kesta::g_error_record = kesta::error_record(); }

    int read_file(const std::string& text) {
        std::FILE* fp = std::fopen(dir.write("soils.txt", text).c_str(), "r");
        int n = 0;
        out = kesta_test::printed_by([&] { n = kesta::read_richards_soil_file(m, fp, "soils.txt"); });
        std::fclose(fp);
        return n;
    }
    // Reads the Havercamp table of the mapping-table file `text`.
    int read_table(const std::string& text) {
        kesta::mapping_table_file file;
        EXPECT_TRUE(file.open(dir.write("t.cmt", text)));
        kesta::table_cursor cur(file, file.find_table(kesta::table_richards_havercamp));
        int n = 0;
        out = kesta_test::printed_by([&] { n = kesta::read_soil_layer_table(m, cur); });
        return n;
    }

    kesta_test::temp_dir dir;
    kesta::model_state m;
    std::string out;
};

// Ks, porosity, residual, initial, wilting, capacity, depth, lambda, bubbling, spacing.
const std::string kLayer = "1.0 0.45 0.05 0.3 0.1 0.25 23 0.5 20 5\n";

TEST_F(RichardsTable, OwnFileFillsTheRecordsAndRefusesBadLayersByLine) {
    m.long_term = 1;
    ASSERT_EQ(read_file("1 0\n12\n0.2 0.5 0.3 90\n" + kLayer + kLayer + kLayer), 1) << out;
    const double* v = m.soil_class[12].v;
    EXPECT_EQ(v[47], 0.5);  // vegetation height
    EXPECT_EQ(v[28], -20.0);  // a bubbling head given positive is stored negative
    EXPECT_EQ(v[33], 5.0);
    EXPECT_TRUE(m.richards.defined[12]);
    EXPECT_EQ(read_file("1 0\n12\n1.2 0.5 0.3 90\n" + kLayer + kLayer + kLayer), -1);
    EXPECT_TRUE(kesta_test::has(out, "line 3: the albedo of class 12 is 1.2; it must lie from 0 to 1\n")) << out;

    m.long_term = 0;
    const struct {
        std::string layer2;
        const char* says;
    } bad[] = {
        {"0 0.45 0.05 0.3 0.1 0.25 20 0.5 20 5\n", "saturated conductivity 0 cm/h"},
        {"1 0.05 0.05 0.3 0.1 0.25 20 0.5 20 5\n", "porosity 0.05: it must exceed the residual moisture 0.05"},
        {"1 0.45 0.05 0.05 0.1 0.25 20 0.5 20 5\n", "initial moisture 0.05"},
        {"1 0.45 0.05 0.3 0.1 0.25 20 0 20 5\n", "pore distribution index 0"},
        {"1 0.45 0.05 0.3 0.1 0.25 20 0.5 20 0\n", "node spacing 0 cm"},
        {"1 0.45 0.05 0.3 0.1 0.25 20 0.5 2x 5\n", "value 9 of class 3, layer 2 \"2x\" is not a number"},
        // Values no soil has, which would stall the solver.
        {"1e6 0.45 0.05 0.3 0.1 0.25 20 0.5 20 5\n", "saturated conductivity 1000000 cm/h"},
        {"1 2147483647 0.05 0.3 0.1 0.25 20 0.5 20 5\n", "porosity 2147483647: it must lie between 0 and 1"},
        {"1 0.45 0.05 0.3 0.1 0.25 20 2147483648 20 5\n", "pore distribution index 2147483648"},
        {"1 0.45 0.05 0.3 0.1 0.25 20 0.5 4294967296 5\n", "bubbling pressure head 4294967296 cm"},
        // A column of more nodes than any soil needs, refused before its storage is made.
        {"1 0.45 0.05 0.3 0.1 0.25 2147483648 0.5 20 5\n",
         "layer depth 2147483648 cm at a node spacing of 5 cm brings the class's layers to 429496733 nodes; a "
         "column holds at most 10000"},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(read_file("1 0\n3\n" + kLayer + b.layer2 + kLayer), -1) << b.says;
        EXPECT_TRUE(kesta_test::has(out, "Error: Richards soil table soils.txt, line 4: ")) << out;
        EXPECT_TRUE(kesta_test::has(out, b.says)) << out;
    }
}

TEST_F(RichardsTable, MappingTableFormTakesItsValuesFromCharacter88) {
    m.richards.model = retention_model::havercamp;
    const std::string values = "34 0.287 0.075 0.2 0.1 0.2 30 36.936 3.96 1.175e6 4.74 10\n";
    const std::string first = "     7 sand" + std::string(76, ' ') + values;
    ASSERT_EQ(first.find("34"), 87u);
    ASSERT_EQ(read_table("KESTA_INDEX_MAP_TABLES\nINDEX_MAP s.idx \"soils\"\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP "
                         "\"soils\"\nNUM_IDS 1\nNUM_SOIL_LAYERS 3\n" +
                         first + values + values + "\n     8 clay\n"),
              1)
        << out;
    EXPECT_EQ(m.soil_class[7].v[40], 1.175e6);
    EXPECT_EQ(m.soil_class[7].v[33], 10.0);

    // A first layer line that ends before its values is refused.
    EXPECT_EQ(read_table("KESTA_INDEX_MAP_TABLES\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP x\nNUM_IDS 1\nN 3\n"
                         "     7 " + values),
              -1);
    EXPECT_TRUE(kesta_test::has(out, "line 5: the row ends before character 88")) << out;

    // The table's values keep the own file's ranges.
    const std::string wide = "34 1.5 0.075 0.2 0.1 0.2 30 36.936 3.96 1.175e6 4.74 10\n";
    EXPECT_EQ(read_table("KESTA_INDEX_MAP_TABLES\nRICHARDS_EQN_INFILTRAIION_HAVERCAMP x\nNUM_IDS 1\nN 3\n" + first +
                         wide + values),
              -1);
    EXPECT_TRUE(kesta_test::has(out, "Error: mapping table file " + dir.file("t.cmt") +
                                         ", table RICHARDS_EQN_INFILTRAIION_HAVERCAMP, line 6: class 7, layer 2: "
                                         "porosity 1.5: it must lie between 0 and 1"))
        << out;
}

// Layers of 23 cm at 5 cm spacing give four whole nodes each; the layer
// below a different one meets it at the spacing-weighted harmonic mean.
TEST(RichardsColumns, LayersGiveWholeNodesAndHarmonicFaces) {
    kesta::model_state m;
    bc_soil s;
    s.depth = 23.0;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 60.0, s, {}, [](kesta::model_state& mm) {
        mm.soil_class[1].v[5] = 4.0;    // layer 2 Ks
        mm.soil_class[1].v[32] = 10.0;  // layer 2 spacing
    }));
    EXPECT_EQ(m.numcells[1], 4 + 2 + 4 + 1);  // and the free-draining bottom node
    const kesta::richards_node* nd = m.richards.column(1);
    EXPECT_NEAR(nd[5].ks, (5.0 + 10.0) / (5.0 / 1.0 + 10.0 / 4.0), 1e-12);
    EXPECT_EQ(nd[6].ks, 4.0);
    EXPECT_NEAR(nd[7].ks, (10.0 + 5.0) / (10.0 / 4.0 + 5.0 / 1.0), 1e-12);
    EXPECT_NEAR(nd[3].theta, 0.30, 1e-15);
    EXPECT_NEAR(kesta::richards_column_water(m, 1), 0.30 * (20 + 20 + 20) / 100.0, 1e-12);

    // A cell of a class the soil table does not give has no column.
    m.soiltype[1] = 5;
    EXPECT_TRUE(kesta_test::has(kesta_test::printed_by([&m] { EXPECT_FALSE(kesta::init_richards_columns(m)); }),
                    "row 1, column 1: soil class 5 is not in the Richards"));
    EXPECT_EQ(kesta::richards_node_limit(m, 1), 0);
    kesta::g_error_record = kesta::error_record();
}

// A water table 30 cm deep ends the column at the node that reaches it; one
// above the ground leaves a single saturated node; one below the aquifer
// bottom the column stores is refused.
TEST(RichardsColumns, WaterTablesPlaceTheColumnBottom) {
    kesta::model_state m;
    const plane p = kesta_test::row(3);
    ASSERT_TRUE(make_richards_plane(m, p, 60.0, {}, {kTable}, tables_at({99.7, 100.2})));
    EXPECT_EQ(m.numcells[1], 6);
    const kesta::richards_node* nd = m.richards.column(1);
    EXPECT_NEAR(nd[1].head, 2.5 - 30.0, 1e-12);
    EXPECT_NEAR(nd[6].head, 27.5 - 30.0, 1e-12);
    EXPECT_EQ(std::make_tuple(m.numcells[2], m.yes_exfil[2], m.any_exfil), std::make_tuple(1, 1, 1));
    EXPECT_NEAR(m.richards.column(2)[1].head, 20.0 + 2.5, 1e-12);
    EXPECT_EQ(m.richards.column(2)[1].theta, 0.45);
    // 60 cm of layers and 140 cm at 10 cm reach the aquifer bottom; nine more.
    EXPECT_EQ(m.richards.last_node(3), 12 + 14 + 9);

    // With groundwater the deepest nodes below the layers damp the column's end.
    kesta::model_state gw;
    ASSERT_TRUE(make_richards_plane(gw, p, 60.0, {}, {kTable, &kesta::model_state::gw_simulation}, tables_at({99.7})));
    const kesta::richards_node* g = gw.richards.column(3);
    const int last = gw.richards.last_node(3);
    auto thetas = [&](int k) { return gw.richards.soils[static_cast<std::size_t>(g[k].soil)].thetas; };
    EXPECT_EQ(std::make_tuple(g[last].ks, thetas(last), g[last - 1].ks, thetas(last - 1)),
              std::make_tuple(1e-6, 1.0, 1e-5, 0.8));
    EXPECT_EQ(std::make_tuple(g[last - 11].ks, thetas(last - 11), g[last - 12].ks, thetas(last - 12)),
              std::make_tuple(0.01, 0.75, 1.0, 0.45));

    kesta::model_state deep;
    bool made = true;
    const std::string out = kesta_test::printed_by(
        [&] { made = make_richards_plane(deep, p, 60.0, {}, {kTable}, tables_at({99.0, 99.0, 97.0})); });
    EXPECT_FALSE(made);
    EXPECT_TRUE(kesta_test::has(out, "the water table of cell 3 (row 1, column 3) at 97 m lies below the 35 nodes"))
        << out;
    kesta::g_error_record = kesta::error_record();
}

// AQUIFER_DELTA_Z spaces the nodes below the soil layers: a spacing of no
// sensible size is refused, and so is one that would take a column past the
// nodes a column may hold on its way to the aquifer bottom, before any
// column is made.
TEST(RichardsColumns, AquiferSpacingIsRefusedOutsideItsRangeOrPastTheNodeBound) {
    kesta::model_state m;
    m.inf_richards_on = 1, m.water_table_given = 1, m.richards_c_option = 1;
    m.richards_dtheta_max = 0.0025, m.richards_iter_max = 1, m.richards_weight = 1.0;
    m.aquifer_delta_z = 1e-300;
    m.project_file = "p.prj";
    std::string out = kesta_test::printed_by([&m] { kesta::read_soil_table(m); });
    EXPECT_TRUE(kesta_test::has(out, "Error: AQUIFER_DELTA_Z 1e-300 in the project file p.prj: the spacing of the "
                                     "Richards nodes below the soil layers must lie from 0.001 to 100 m."))
        << out;
    EXPECT_FALSE(m.richards.built());
    kesta::g_error_record = kesta::error_record();

    // 60 cm of layers and 19.4 m at 1 mm to the bottom: 19412 nodes.
    kesta::model_state deep;
    bool made = true;
    out = kesta_test::printed_by([&] {
        made = make_richards_plane(deep, plane{}, 60.0, {}, {kTable}, [](kesta::model_state& mm) {
            tables_at()(mm);
            mm.aquifer_delta_z = 0.001;
            mm.bottom_elev[1] = 80.0;
        });
    });
    EXPECT_FALSE(made);
    EXPECT_TRUE(kesta_test::has(out, "AQUIFER_DELTA_Z 0.001 m in the project file : the Richards column of cell 1 "
                                     "(row 1, column 1) would reach its aquifer bottom, 20 m below the ground, only "
                                     "past the 10000 nodes a column may hold."))
        << out;
    EXPECT_EQ(kesta::richards_node_limit(deep, 1), 0);
    kesta::g_error_record = kesta::error_record();
}

// A column over its water table stays still for a day. Then the groundwater
// moves the table: down, the column grows with hydrostatic nodes and keeps
// the water above; up to the ground, one saturated node is left; below the
// storage it is refused.
TEST(RichardsSolver, HydrostaticColumnStaysStillAndFollowsTheTableTheGroundwaterMoves) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, kHour, {}, {kTable}, tables_at()));
    for (int i = 0; i < 24; ++i) kesta::richards_unsat_step(m, kHour);
    const kesta::richards_node* nd = m.richards.column(1);
    double top = 0.0;
    for (int k = 1; k <= m.numcells[1]; ++k) {
        EXPECT_NEAR(nd[k].head, top + 0.5 * nd[k].dz - 100.0, 1e-9) << k;
        top += nd[k].dz;
    }
    EXPECT_NEAR(m.bottomfav[1], 0.0, 1e-9);

    m.richards.column(1)[3].theta = 0.33;
    kesta::vec1<double> water(1);
    m.elevgw[1] = 98.5;
    ASSERT_EQ(kesta::unsat_update_in_gw(m, 1, water), 0);
    EXPECT_EQ(m.numcells[1], 12 + 9);
    nd = m.richards.column(1);
    EXPECT_EQ(nd[3].theta, 0.33);
    EXPECT_NEAR(nd[21].head, 145.0 - 150.0, 1e-12);
    EXPECT_NEAR(water[1], kesta::richards_column_water(m, 1) * 100.0, 1e-12);

    m.elevgw[1] = 100.0;
    ASSERT_EQ(kesta::unsat_update_in_gw(m, 1, water), 0);
    EXPECT_EQ(std::make_pair(m.numcells[1], m.yes_exfil[1]), std::make_pair(1, 1));
    EXPECT_EQ(water[1], 0.0);

    m.elevgw[1] = 90.0;
    EXPECT_TRUE(kesta_test::has(kesta_test::printed_by([&] { EXPECT_EQ(kesta::unsat_update_in_gw(m, 1, water), -1); }),
                    "water table of cell 1"));
    kesta::g_error_record = kesta::error_record();
}

// Rain of 0.1 cm/h on a soil of Ks 1 cm/h: the column wets to the moisture
// whose conductivity is the rain, K(h) = (h / -20)^-3.5 = 0.1 at h =
// -38.614 cm, uniform with depth, and drains at the rain rate.
TEST(RichardsSolver, FreeDrainageReachesUnitGradientAtTheRainRate) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 60.0));
    double last_hour = 0.0;
    for (int hour = 1; hour <= 200; ++hour) {
        m.h[1] += 0.001;
        const double before = m.bottomfav[1];
        kesta::richards_unsat_step(m, kHour);
        last_hour = m.bottomfav[1] - before;
    }
    EXPECT_NEAR(last_hour, 0.1, 1e-5);
    const kesta::richards_node* nd = m.richards.column(1);
    const double steady = -20.0 * std::pow(0.1, -1.0 / 3.5);
    for (int k = 1; k < m.numcells[1]; ++k) EXPECT_NEAR(nd[k].head, steady, 1e-3) << k;
    EXPECT_EQ(m.h[1], 0.0);
}

// A bare column under a constant demand of 0.02 cm/h: what it evaporates is
// the water it lost less what drained from its bottom.
TEST(RichardsSolver, BareColumnEvaporatesTheWaterItLost) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, plane{}, kHour, {}, {kLongTerm},
                                    [](kesta::model_state& mm) { mm.pot_et[1] = mm.pot_aet[1] = 0.02 / kHour; }));
    const double start = kesta::richards_column_water(m, 1);
    double evaporated = 0.0;
    for (int i = 0; i < 48; ++i) evaporated += kesta::richards_unsat_step(m, kHour);
    const double lost = start - kesta::richards_column_water(m, 1);
    EXPECT_NEAR(evaporated, lost - m.bottomfav[1] / 100.0, 1e-14);
    EXPECT_GT(evaporated, 0.5 * 0.02 * 48 / 100.0);
    EXPECT_LE(evaporated, 0.02 * 48 / 100.0 + 1e-15);
    EXPECT_EQ(m.DIRECT_EVAP[1], 0.0);
    EXPECT_NEAR(m.run_sums.soil_evaporation, evaporated * 100.0, 1e-10);  // 10 m cells
}

// 5 cm/h for two hours on a dry soil that takes less: the cell ponds, the
// surface never goes below 0 and every drop is on the surface, in the soil
// or below it, step by step to round-off.
TEST(RichardsSolver, PondedRainIsAccountedToRoundOff) {
    kesta::model_state m;
    bc_soil s;
    s.theta = 0.15;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 60.0, s));
    m.richards_k_option = 1;
    m.richards_upper_option = 3;
    m.richards_iter_max = 3;
    const double start = kesta::richards_column_water(m, 1);
    double rain = 0.0;
    bool ponded = false;
    for (int step = 1; step <= 360; ++step) {
        if (step <= 120) {
            m.h[1] += 0.05 / 60.0;
            rain += 0.05 / 60.0;
        }
        kesta::richards_unsat_step(m, 60.0);
        ponded = ponded || m.bound_type[1] == 2;
        ASSERT_GE(m.h[1], 0.0) << step;
        ASSERT_LT(std::fabs(m.MASSERROR[1]), 1e-15) << step;
    }
    EXPECT_TRUE(ponded);
    EXPECT_NEAR(rain, m.h[1] + m.infdep[1], 1e-14);
    EXPECT_NEAR(kesta::richards_column_water(m, 1) - start, m.infdep[1] - m.bottomfav[1] / 100.0, 1e-14);
    EXPECT_GT(m.infdep[1], 0.09);
    const kesta::richards_node* nd = m.richards.column(1);
    for (int k = 1; k < m.numcells[1]; ++k) EXPECT_LE(nd[k].theta, 0.45 + 1e-3) << k;
}

// A layer whose bubbling head no soil has (set past the soil table's
// check) holds every sub-step of rain on the column at the 0.01 s floor:
// after ten minutes of them in a row the column stops the run, naming its
// cell, with the water it moved until then booked.
TEST(RichardsSolver, ColumnThatCannotAdvanceStopsTheRun) {
    kesta::model_state m;
    bc_soil s;
    s.theta = 0.2, s.depth = 30.0;
    ASSERT_TRUE(make_richards_plane(m, plane{}, 10.0, s, {}, [](kesta::model_state& mm) {
        mm.soil_class[1].v[29] = -4294967296.0;  // layer 2
    }));
    m.richards_k_option = 1;
    const double start = kesta::richards_column_water(m, 1);
    int steps = 0;
    const std::string out = kesta_test::printed_by([&] {
        for (; steps < 100 && !kesta::g_error_record.stop; ++steps) {
            m.h[1] += 0.04 / 360.0;
            kesta::richards_unsat_step(m, 10.0);
        }
    });
    kesta::g_error_record = kesta::error_record();
    EXPECT_EQ(steps, 60);
    EXPECT_TRUE(kesta_test::has(out, "Error: the Richards column of cell 1 (row 1, column 1), soil class 1, cannot "
                                     "advance: 60000 sub-steps in a row at the shortest sub-step of 0.01 s."))
        << out;
    EXPECT_NEAR(kesta::richards_column_water(m, 1) - start, m.infdep[1] - m.bottomfav[1] / 100.0, 1e-12);
    EXPECT_GT(m.infdep[1], 0.0);
}

// A frozen cell keeps its column and its water; an exfiltrating one only
// loses surface water to evaporation.
TEST(RichardsSolver, FrozenAndExfiltratingCellsOnlyLoseSurfaceWater) {
    kesta::model_state m;
    ASSERT_TRUE(make_richards_plane(m, kesta_test::row(2), kHour, {}, {kLongTerm, kTable}, [](kesta::model_state& mm) {
        tables_at({99.0, 100.5})(mm);  // cell 2's above the ground
        mm.CFGI[1] = 90.0;
        for (int k = 1; k <= 2; ++k) {
            mm.h[k] = 0.01;
            mm.pot_et[k] = mm.pot_aet[k] = 0.3 / kHour;
        }
    }));
    const double before = kesta::richards_column_water(m, 1);
    const double evaporated = kesta::richards_unsat_step(m, kHour);
    EXPECT_EQ(m.h[1], 0.01);
    EXPECT_EQ(kesta::richards_column_water(m, 1), before);
    EXPECT_NEAR(m.h[2], 0.007, 1e-15);
    EXPECT_NEAR(evaporated, 0.003, 1e-15);
    EXPECT_NEAR(m.DIRECT_EVAP[2], 0.3, 1e-13);
}

}  // namespace
