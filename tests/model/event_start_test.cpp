// The start of an event: its clocks, totals and per-cell state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/optim_record.hpp"
#include "core/interval_clock.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "support/stream_capture.hpp"

namespace {

using kesta::model_state;

struct StartEvent : ::testing::Test {
    void SetUp() override {
        m.ncells = 2;
        m.gridsize = 10.0;
        m.h = kesta::vec1<double>(2);
        m.dh = kesta::vec1<double>(2);
        m.elev = kesta::vec1<double>(2);
        m.time_tol = kesta::kTimeTolerance;
        kesta::set_clock_interval(m.ov_interval_sec, m.ov_interval, 60.0);
        m.event_start_times = kesta::vec1<double>(2);
        m.event_start_times[1] = 2451545.0;
        m.event_start_times[2] = 2451546.0;
        m.event_index = 1;
        m.start_time = 2451545.0;
        m.run_params.tot_time = 90;
    }
    std::string start() { return kesta_test::printed_by([&] { kesta::start_event(m); }); }
    model_state m;
};

TEST_F(StartEvent, ActsOnlyAtTheStartOfTheEventJustRead) {
    m.time = 2451545.5;
    m.peak_q = 3.0;
    EXPECT_EQ(start(), "");
    EXPECT_DOUBLE_EQ(m.peak_q, 3.0);

    m.time = 2451545.0;
    m.volume_rainfall_overland = 9.0;
    m.dh[1] = 0.2;
    m.total_vol_water_exfiltrated_this_run = 4.0;
    m.run_sums.lake_evaporation = 2.5;
    const std::string out = start();
    EXPECT_EQ(out, "Initialized Arrays\nsimulation duration 90 minutes\n");
    // Event totals start from zero; run totals are remembered as at the start.
    EXPECT_EQ((std::vector<double>{m.peak_q, m.volume_rainfall_overland, m.dh[1]}), std::vector<double>(3, 0.0));
    EXPECT_EQ((std::vector<double>{m.beginning_vol_water_exfiltrated_this_event,
                                   m.run_sums_at_event_start.lake_evaporation}),
              (std::vector<double>{4.0, 2.5}));
    EXPECT_DOUBLE_EQ(m.event_end_time, 2451545.0 + 90.0 / 1440.0);
    EXPECT_DOUBLE_EQ(m.ov_last_time, m.time);
    EXPECT_DOUBLE_EQ(m.ov_next_time, m.time + m.ov_interval);
    EXPECT_EQ(m.precip_period, 1);
}

TEST_F(StartEvent, WetlandGroundIsLoweredOnceInTheRun) {
    m.long_term = 1;
    m.wetlands_given = 1;
    m.wetland_mask = kesta::vec1<int>(2);
    m.wetland_mask[2] = 1;
    m.wetland_table.resize(2);
    m.wetland_table[1].field[0] = 0.3;  // depth (m)
    m.wetland_table[1].field[7] = 0.5;  // height (m)
    m.elev[2] = 100.0;
    m.h[1] = 0.1;
    m.time = 2451545.0;
    start();
    EXPECT_EQ((std::vector<double>{m.h[1], m.h[2], m.elev[2]}), (std::vector<double>{0.0, 0.3, 99.5}));
    EXPECT_DOUBLE_EQ(m.initial_volume_overland_flow, 30.0);
    m.event_index = 2;
    m.time = 2451546.0;
    m.h[2] = 0.0;
    start();
    EXPECT_EQ((std::vector<double>{m.h[2], m.elev[2]}), (std::vector<double>{0.3, 99.5}));
}

TEST_F(StartEvent, CalibrationLocationsStartWithoutAPeakAndWithNoVolume) {
    kesta::optim_record r;
    r.location_peak = {0.0, 5.0, 6.0};
    r.location_volume = {0.0, 50.0, 60.0};
    m.run_result = &r;
    m.optimize_given = 1;
    m.in_hyd_location_given = 1;
    m.time = 2451545.0;
    start();
    EXPECT_DOUBLE_EQ(r.location_peak[2], -999.99);
    EXPECT_DOUBLE_EQ(r.location_volume[2], 0.0);
}

TEST_F(StartEvent, RedistributionHoldsTheInitialMoistureWithinItsRangeInEventRunsToo) {
    m.inf_redist_on = 1;
    m.inf_redist_continuous = 1;
    m.thi = kesta::vec1<double>(2);
    m.thr_map = kesta::vec1<double>(2);
    m.phi_map = kesta::vec1<double>(2);
    for (int k = 1; k <= 2; ++k) {
        m.thr_map[k] = 0.05;
        m.phi_map[k] = 0.45;
    }
    m.thi[1] = 0.02;
    m.thi[2] = 0.2;
    m.time = 2451545.0;
    const std::string out = start();
    EXPECT_NE(out.find("thi<thr at grid cell 1, increasing it to 0.060000"), std::string::npos);
    EXPECT_DOUBLE_EQ(m.thi[1], 0.06);
    EXPECT_EQ(m.thi[2], 0.2);
    EXPECT_EQ(m.water_pending, 1);  // the wetted zone redistributes between events
}

// Two cells of one soil class with different stores, a column no deeper
// than layer 1 and one cut short by the water table.
TEST_F(StartEvent, LayeredSoilsTakeEachCellsOwnLayerMoisturesFromItsStores) {
    m.inf_layered_on = m.long_term = 1;
    m.ncells = 3;
    m.soiltype = kesta::vec1<int>(3);
    m.layer_theta = kesta::vec1<kesta::soil_layer_moisture>(3);
    m.soil_depth = kesta::vec1<double>(3);
    m.Ws1_L1 = kesta::vec1<double>(3);
    m.Ws1_L2 = kesta::vec1<double>(3);
    double* s = m.soil_class[1].v;
    for (int j = 0; j < 3; ++j) {
        s[7 + j] = 0.4;
        s[19 + j] = 0.05;
    }
    s[22] = 10.0;
    s[23] = 20.0;
    const double depth[] = {0.0, 30.0, 30.0, 25.0}, l1[] = {0.0, 2.0, 3.0, 2.0}, l2[] = {0.0, 6.0, 3.0, 3.0};
    for (int k = 1; k <= 3; ++k) {
        m.soiltype[k] = 1;
        m.soil_depth[k] = depth[k];
        m.Ws1_L1[k] = l1[k];
        m.Ws1_L2[k] = l2[k];
    }
    m.time = 2451545.0;
    start();
    const auto theta = [&](int k, int j) { return m.layer_theta[k].theta[j]; };
    EXPECT_EQ((std::vector<double>{theta(1, 0), theta(1, 1), theta(1, 2)}), (std::vector<double>{0.2, 0.3, 0.3}));
    EXPECT_EQ((std::vector<double>{theta(2, 0), theta(2, 1)}), (std::vector<double>{0.3, 0.15}));
    // Layer 2 of the stores spans 10 to 25 cm; the table fills layer 3.
    EXPECT_EQ((std::vector<double>{theta(3, 1), theta(3, 2)}), (std::vector<double>{0.2, 0.4}));
    EXPECT_EQ(s[10], 0.0);  // the shared class record is left alone
    EXPECT_DOUBLE_EQ(m.initial_basin_averaged_soil_water_content, (0.5 + 0.75 + 0.5) / 3.0);

    m.soil_depth[1] = 10.0;  // no deeper than layer 1: saturated below it
    m.event_index = 2;
    m.time = 2451546.0;
    start();
    EXPECT_EQ((std::vector<double>{theta(1, 0), theta(1, 1), theta(1, 2)}), (std::vector<double>{0.2, 0.4, 0.4}));
}

}  // namespace
