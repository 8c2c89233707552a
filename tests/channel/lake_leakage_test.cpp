// Leakage through the bed of the fixture's lake (level 9.0 m, bed 0.5 m
// thick, 10 m cells) over its cells 3, 8 and 12 (ground 8.5, 8.7 and 8.6 m),
// with a soil conductivity of 1e-5 m/s, against hand computations.
#include <gtest/gtest.h>

#include "channel/channel_fixture.hpp"
#include "channel/stream_aquifer.hpp"

namespace {

using kesta_test::ChannelNetwork;

class LakeLeakage : public ChannelNetwork {
protected:
    void SetUp() override {
        ChannelNetwork::SetUp();
        ASSERT_TRUE(set_up_ok());
        kesta::model_state& s = *m;
        for (auto* v : {&s.elevgw, &s.bottom_elev}) kesta::alloc_dvector(*v, s.ncells, "cells");
        kesta::alloc_ivector(s.gwbound, s.ncells, "gwbound");
        for (int k = 1; k <= s.ncells; ++k) {
            s.ks_map[k] = 1e-5;
            s.bottom_elev[k] = 5.0;
        }
    }
};

TEST_F(LakeLeakage, EachBranchGivesItsHandComputedRate) {
    ASSERT_TRUE(kesta::lake_leakage_on(*m));
    kesta::model_state& s = *m;
    ASSERT_EQ(s.lake_num[3], 1);
    const double K_over_t_w = 1e-5 / 0.5 * 10.0;  // m/s per m of head, over a 10 m cell
    struct row {
        const char* what;
        int table, gw, bound;
        double H;
        int cell;
        double expected;
    };
    const row rows[] = {
        {"no water table: the lake's depth over its ground", 0, 0, 0, 0.0, 3, -0.5 * K_over_t_w},
        {"a water table above the ground, 0.2 m above the lake", 1, 0, 0, 9.2, 3, 0.2 * K_over_t_w},
        {"the lake above the ground, the water table below it", 1, 0, 0, 7.0, 3, -0.5 * K_over_t_w},
        {"a water table above the ground but below the lake", 1, 0, 0, 8.8, 3, -0.2 * K_over_t_w},
        {"no lake over the cell (lake_num 0)", 0, 0, 0, 0.0, 1, 0.0},
        {"groundwater simulated at a lake-boundary cell", 1, 1, 7, 9.2, 3, 0.2 * K_over_t_w},
        {"groundwater simulated at a river-boundary cell", 1, 1, 4, 9.2, 3, 0.0},
        {"groundwater simulated at an ordinary cell", 1, 1, 0, 7.0, 3, 0.0},
    };
    for (const row& r : rows) {
        s.water_table_given = r.table;
        s.gw_simulation = r.gw;
        s.gwbound[r.cell] = r.bound;
        s.elevgw[r.cell] = r.H;
        EXPECT_NEAR(kesta::lake_cell_leakage(s, r.cell), r.expected, 1e-18) << r.what;
    }
}

// Losses of 1e-4, 6e-5 and 8e-5 m2/s (depths 0.5, 0.3 and 0.4 m) over 100 s
// take 0.1 + 0.06 + 0.08 = 0.24 m3; a lake holding 0.12 m3 gives half of each.
TEST_F(LakeLeakage, ALakeGivesNoMoreThanItHoldsAndBooksWhatItGave) {
    kesta::model_state& s = *m;
    const double before = s.lake_volume[1];
    kesta::book_lake_leakage(s, 100.0);
    EXPECT_NEAR(s.lake_volume[1], before - 0.24, 1e-12);
    EXPECT_NEAR(s.lake_source[3], 0.1, 1e-15);
    EXPECT_NEAR(s.run_sums.lakes_to_gw, 0.24, 1e-15);

    s.lake_volume[1] = 0.12;
    kesta::book_lake_leakage(s, 100.0);
    EXPECT_NEAR(s.lake_volume[1], 0.0, 1e-15);
    EXPECT_NEAR(s.lake_source[3], 0.15, 1e-15);
    EXPECT_NEAR(s.lake_source[8], 0.06 + 0.03, 1e-15);
    EXPECT_NEAR(s.lake_source[12], 0.08 + 0.04, 1e-15);
    EXPECT_NEAR(s.run_sums.lakes_to_gw, 0.36, 1e-15);
    EXPECT_EQ(s.run_sums.gw_to_lakes, 0.0);

    // A water table 0.2 m above the lake under cell 3 gives the empty lake
    // 4e-5 x 100 x 10 = 0.04 m3, which the other cells' losses may take.
    s.water_table_given = 1;
    for (int k = 1; k <= s.ncells; ++k) s.elevgw[k] = 7.0;
    s.elevgw[3] = 9.2;
    kesta::book_lake_leakage(s, 100.0);
    EXPECT_NEAR(s.run_sums.gw_to_lakes, 0.04, 1e-15);
    EXPECT_NEAR(s.run_sums.lakes_to_gw, 0.40, 1e-15);
    EXPECT_NEAR(s.lake_volume[1], 0.0, 1e-15);
    EXPECT_NEAR(s.lake_source[3], 0.15 - 0.04, 1e-15);
}

TEST_F(ChannelNetwork, MlakeNeedsABedAndTheSoilConductivity) {
    chan = kesta_test::replaced(chan, "MLAKE 0.5", "MLAKE 0");
    std::string out = set_up();
    EXPECT_TRUE(stopped());
    EXPECT_NE(out.find("card MLAKE on line 27 of"), std::string::npos) << out;
    EXPECT_NE(out.find("gives the lake bed a thickness of 0 m"), std::string::npos) << out;

    chan = kesta_test::kChannelFile;
    out = set_up([](kesta::model_state& s) { s.ks_map = kesta::vec1<double>(); });
    EXPECT_TRUE(stopped());
    EXPECT_NE(out.find("needs the saturated conductivity of the soil"), std::string::npos) << out;
}

}  // namespace
