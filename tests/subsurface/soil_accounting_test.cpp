// Soil-moisture accounting: Brooks-Corey drainage, the balance of one- and
// two-layer columns, the accounting step over a grid, the layer moistures of
// the soil-moisture series and the soil run totals; and the soil-column
// constituent kernels: the part of an amount, the cell budget that never
// leaves negative mass, and the first-order loss from a soil layer.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/event_steps.hpp"
#include "subsurface/soil_accounting.hpp"
#include "subsurface/soil_cells.hpp"
#include "subsurface/soil_constituent_kernels.hpp"

namespace {

using kesta::budget_kind;
using kesta::budget_term;
using kesta::column_flows;
using kesta::soil_column;
using kesta_test::plane;

// Depth (cm), porosity, residual, field capacity, wilting point, Ks (m/s:
// 3.6 cm/h) and pore index.
kesta::soil_layer_props layer(double depth) { return {depth, 0.45, 0.05, 0.2, 0.1, 1e-5, 0.5}; }

TEST(SoilAccounting, DrainageFollowsBrooksCoreyWithTheInfiltrationExponent) {
    // theta 0.25 above field capacity: Se = 0.5, Se^(2/0.5 + 3) = 1/128 of
    // 3.6 cm in an hour.
    soil_column c;
    c.layer[0] = layer(100.0);
    double ws1 = 25.0, ws2 = 0.0;
    const column_flows f = kesta::soil_column_step(c, ws1, ws2, 0.0, 0.0, 3600.0);
    EXPECT_NEAR(f.drainage, 0.028125, 1e-15);
    EXPECT_DOUBLE_EQ(ws1, 25.0 - 0.028125);
}

// Wet spells that saturate the column, then evapotranspiration that dries it
// to its residual water, for one and two layers, both evapotranspiration
// methods and both drainage rules: the stores change by what enters less
// what leaves, every step.
TEST(SoilAccounting, ColumnsKeepTheirBalanceThroughSaturationAndDrying) {
    for (int layers : {1, 2})
        for (bool deardorff : {true, false})
            for (bool as_below : {false, true}) {
                soil_column c;
                c.layers = layers;
                c.layer[0] = layer(layers == 1 ? 40.0 : 10.0);
                c.layer[1] = layer(30.0);
                c.layer[1].ks = 2e-6;
                c.deardorff = deardorff;
                c.drain_as_below = as_below;
                double ws1 = 0.15 * c.layer[0].depth, ws2 = layers == 2 ? 0.15 * 30.0 : 0.0;
                bool saturated = false, dry = false;
                for (int i = 0; i < 400; ++i) {
                    const double in = i < 100 && i % 10 < 5 ? 8.0 : 0.0, demand = i < 100 ? 0.02 : 0.5;
                    const double before = ws1 + ws2;
                    const column_flows f = kesta::soil_column_step(c, ws1, ws2, in, demand, 3600.0);
                    ASSERT_NEAR(ws1 + ws2 - before, in - f.et - f.drainage, 1e-12) << layers << deardorff << i;
                    ASSERT_GE(f.et, 0.0);
                    saturated = saturated || ws1 == 0.45 * c.layer[0].depth;
                    dry = dry || ws1 == 0.05 * c.layer[0].depth;
                }
                EXPECT_TRUE(saturated) << layers << deardorff << as_below;
                EXPECT_EQ(dry, deardorff) << layers << as_below;  // Penman stops at the wilting point
            }
}

// A long-term run: surface water meets the demand first, a column with no
// soil passes its water to the drainage less its evapotranspiration, lake
// cells are left alone; the series reads each layer's moisture.
TEST(SoilAccounting, StepEvaporatesSurfaceWaterFirstAndPassesBareColumnsThrough) {
    kesta::model_state m;
    m.long_term = m.soil_et_accounting = 1;
    kesta_test::make_redist_plane(m, kesta_test::row(3), 3600.0);
    kesta::arm_clock(m.soil_et_last, m.soil_et_next, m.time, m.inf_interval);
    m.soil_et_interval = m.inf_interval;
    m.top_layer_depth = 10.0;
    for (int k = 1; k <= 3; ++k) {
        m.soil_depth[k] = k == 2 ? 0.0 : 40.0;
        m.Ws1_L1[k] = 2.5;
        m.Ws1_L2[k] = 7.5;
        m.sm_inf_depth[k] = 0.01;
        m.pot_et[k] = m.pot_aet[k] = 0.1 / 3600.0;  // 1 mm/h
    }
    EXPECT_EQ(kesta::soil_layer_moistures(m, 1).top, 0.25);
    EXPECT_EQ(kesta::soil_layer_moistures(m, 1).lower, 0.25);
    EXPECT_EQ(kesta::soil_layer_moistures(m, 2).top, 0.434);  // saturated to the ground
    m.top_layer_depth = 40.0;  // one layer: no second moisture to divide out
    EXPECT_EQ(kesta::soil_layer_moistures(m, 1).lower, kesta::kNoSecondLayer);
    m.top_layer_depth = 10.0;

    m.h[1] = 0.0004;  // 0.4 mm: 0.6 mm of demand is left for the soil
    kesta_test::add_overland_lake(m, 3, 100.5);
    m.time += m.inf_interval;
    kesta::step_soil_et_accounting(m);
    EXPECT_EQ(m.h[1], 0.0);
    EXPECT_NEAR(m.DIRECT_EVAP[1], 0.04, 1e-15);
    EXPECT_EQ(m.yes_exfil[2], 1);
    // 1 cm in, 1 mm of evapotranspiration out (the Julian clock holds the
    // hour to about 1e-5 s).
    EXPECT_NEAR(m.bottomfav[2], 1.0 - 0.1, 1e-9);
    EXPECT_NEAR(m.gw_et_depth_sum, 0.001, 1e-11);
    EXPECT_EQ(m.sm_inf_depth[3], 0.01);  // the lake cell is not accounted
}

// Rain on a strip with redistribution and the accounting stepping together
// through wet and dry hours (the surface water soaks in or evaporates): the
// soil's water balance over the run closes.
TEST(SoilAccounting, RunTotalsCloseTheSimpleSoilBalance) {
    kesta::model_state m;
    m.soil_et_accounting = m.long_term = 1;
    kesta_test::make_redist_plane(m, kesta_test::row(3), 600.0);
    m.soil_et_interval = m.inf_interval;
    m.top_layer_depth = 10.0;
    m.soil_moist_depth = 40.0;
    m.event_active = 1;
    for (int k = 1; k <= 3; ++k) m.thi[k] = 0.26;  // just below field capacity
    kesta::init_cell_state(m);
    m.soil_et_last = m.inf_last;
    m.soil_et_next = m.inf_next;
    for (int k = 1; k <= 3; ++k) m.pot_et[k] = m.pot_aet[k] = 0.02 / 3600.0;
    for (int i = 0; i < 100; ++i) {  // ends while it rains
        ++m.step;
        m.time = kesta_test::kStartJulian + m.step * m.dt_days;
        const bool raining = i % 48 < 12;
        for (int k = 1; k <= 3; ++k) {
            m.ri[k] = raining ? 6.0 : 0.0;
            if (raining) m.h[k] += 0.001;
        }
        kesta::step_soil_et_accounting(m);
        kesta::step_infiltration(m);
    }
    kesta::finish_soil_run_totals(m);
    const kesta::soil_run_totals& t = m.soil_totals;
    EXPECT_GT(t.evaporation, 0.0);
    EXPECT_GT(t.downward_flux, 0.0);
    EXPECT_NEAR(t.balance_error, 0.0, 1e-10);
}

TEST(SoilConstituentKernels, ShareIsProportionalOnlyForASubStepShorterThanTheInterval) {
    EXPECT_DOUBLE_EQ(kesta::scale_by_ratio(10.0, 0.01, 40.0, 8.0), 2.0);
    EXPECT_EQ(kesta::scale_by_ratio(40.0, 0.01, 40.0, 8.0), 8.0);
    EXPECT_EQ(kesta::scale_by_ratio(39.995, 0.01, 40.0, 8.0), 8.0);  // within the tolerance
    EXPECT_EQ(kesta::scale_by_ratio(50.0, 0.01, 40.0, 8.0), 8.0);
}

TEST(SoilConstituentKernels, CellBudgetAppliesEachTermToWhatTheOnesBeforeItLeft) {
    // 5 g: a gain of 3, a first-order loss of a quarter (of 8, not of 5), a
    // loss of 10 cut to the 6 g left, a term that is off, a first-order loss
    // of an empty cell and a gain of 1.
    budget_term t[6];
    const budget_kind kinds[6] = {budget_kind::amount, budget_kind::first_order, budget_kind::amount,
                                  budget_kind::amount, budget_kind::first_order, budget_kind::amount};
    const double values[6] = {3.0, 0.25, -10.0, 7.0, 0.5, 1.0};
    for (int i = 0; i < 6; ++i) {
        t[i].on = i != 3;
        t[i].kind = kinds[i];
        t[i].value = values[i];
        t[i].moved = 99.0;
    }
    EXPECT_EQ(kesta::soil_contam_cell_budget(t, 6, 5.0), 1.0);
    std::vector<double> moved;
    for (const budget_term& x : t) moved.push_back(x.moved);
    EXPECT_EQ(moved, (std::vector<double>{3.0, -2.0, -6.0, 0.0, 0.0, 1.0}));
}

TEST(SoilConstituentKernels, LayerLossDecaysTheDissolvedShareAndNeverMoreThanTheLayerHolds) {
    // A quarter of 100 g dissolved, 2 per day for 6 hours.
    const double lost = -std::expm1(-2.0 * 0.25);
    double mass = 100.0;
    EXPECT_DOUBLE_EQ(kesta::soil_layer_constituent_loss(mass, 0.25, lost), 25.0 * (1.0 - std::exp(-0.5)));
    EXPECT_DOUBLE_EQ(mass, 100.0 - 25.0 * (1.0 - std::exp(-0.5)));
    // A share beyond the whole takes exactly what the layer holds; an empty
    // layer loses nothing.
    const double held = mass;
    EXPECT_EQ(kesta::soil_layer_constituent_loss(mass, 1.0, 1.5), held);
    EXPECT_EQ(mass, 0.0);
    EXPECT_EQ(kesta::soil_layer_constituent_loss(mass, 1.0, 0.5), 0.0);
    EXPECT_EQ(mass, 0.0);
}

}  // namespace
