// Lines of the outlet hydrograph and the location series for each kind of
// run, and the passes that write them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "support/one_based.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta::model_state;
using kesta_test::one_based;

class TimeSeries : public ::testing::Test {
protected:
    void SetUp() override {
        m = std::make_unique<model_state>();
        open(m->outlet_hydro_fp, "outlet.txt");
        open(m->sig_outlet_hydro_fp, "sig.txt");
        m->hyd_freq = 1;
        m->q_out = 1.0;
    }
    void open(kesta::output_slot& slot, const char* name) { kesta_test::open_output(*m, slot, dir.file(name)); }
    // Writes one pass, closes every series file and returns what `name` holds.
    std::string pass(const std::string& name) {
        kesta::write_timeseries_output(*m);
        kesta::close_all_outputs(*m);
        return kesta_test::read_file(dir.file(name));
    }
    kesta_test::temp_dir dir;
    std::unique_ptr<model_state> m;
};

// The lines of each kind of run: the outlet, its significant-digit copy
// (always the event layout) and a location series (elapsed minutes unless the
// run is long-term). Long-term runs write the decimal year, over the minutes
// of a leap year in 2004, and no wider cubic-feet column.
TEST_F(TimeSeries, LinesFollowTheKindOfRun) {
    const struct {
        const char* name;
        void (*set)(model_state&);
        std::string outlet, sig, location;
    } cases[] = {
        {"event", [](model_state& m) { m.elapsed_min = 12.5; }, "   12.50     1.000\n", "   12.50     1.000000\n",
         "   12.50000000 \n"},
        {"event in cubic feet", [](model_state& m) { m.qout_cfs = 1; }, "    0.00     35.315\n",
         "    0.00    35.314667\n", "    0.00000000 \n"},
        {"strict Julian event",
         [](model_state& m) {
             m.strict_julian_date = 1;
             m.time = 2453005.25;
             m.elapsed_min = 30.0;
         },
         "2453005.25000000     1.000\n", "2453005.25     1.000000\n", "   30.00000000 \n"},
        {"long term in cubic feet",
         [](model_state& m) {
             m.long_term = m.qout_cfs = 1;
             m.year = 2004;
             m.day_of_year = 61;
             m.hour = 12;
         },
         "   2004.16803279     35.3147\n", " 2004.17    35.314667\n", "   2004.16803279 \n"},
    };
    for (const auto& c : cases) {
        SetUp();
        c.set(*m);
        m->in_hyd_location_given = 1;
        open(m->out_hyd_location_fp, "loc.txt");
        EXPECT_EQ(pass("outlet.txt"), c.outlet) << "case " << c.name;
        EXPECT_EQ(kesta_test::read_file(dir.file("sig.txt")), c.sig) << "case " << c.name;
        EXPECT_EQ(kesta_test::read_file(dir.file("loc.txt")), c.location) << "case " << c.name;
    }
}

TEST_F(TimeSeries, WritesOnMultiplesOfTheIntervalAndEveryPassForAZeroInterval) {
    m->hyd_freq = 3;
    for (int step = 0; step <= 7; ++step) {
        m->step = step;
        kesta::write_timeseries_output(*m);
    }
    EXPECT_EQ(m->outlet_hydro_lines, 3);  // steps 0, 3 and 6
    m->hyd_freq = 0;
    m->step = 5;
    kesta::write_timeseries_output(*m);
    EXPECT_EQ(m->outlet_hydro_lines, 4);
}

// Discharge in the run's unit, depth always in metres, and the cell moisture
// of single-layer Green and Ampt.
TEST_F(TimeSeries, LocationSeriesWriteTheirValuesInOrder) {
    m->qout_cfs = 1;
    m->in_hyd_location_given = m->out_dep_location_given = m->in_theta_location_given = 1;
    m->hyd_loc_count = 2;
    m->hlink = one_based({1, 9});  // link 9 is outside the channel tables
    m->hnode = one_based({2, 1});
    m->qp = kesta::node_table<double>(2, 1);
    m->chan_depth = kesta::node_table<double>(2, 1);
    m->qp[2][1] = 1.0;
    m->chan_depth[2][1] = 0.5;
    m->cell_loc_count = 2;
    m->cell_loc = one_based({3, 1});
    m->theta_all = one_based({0.25, 0.0, 0.4});
    open(m->out_hyd_location_fp, "q.txt");
    open(m->out_dep_location_fp, "d.txt");
    open(m->out_theta_location_fp, "theta.txt");
    EXPECT_EQ(pass("q.txt"), "    0.00000000    35.314667     0.000000 \n");
    EXPECT_EQ(kesta_test::read_file(dir.file("d.txt")), "    0.00000000     0.500000     0.000000 \n");
    EXPECT_EQ(kesta_test::read_file(dir.file("theta.txt")), "    0.00000000     0.400000     0.250000 \n");
}

TEST_F(TimeSeries, SoilMoistureLocationsOfSoilAccountingWriteBothLayers) {
    m->in_theta_location_given = 1;
    m->soil_et_accounting = m->long_term = m->inf_redist_on = 1;
    m->cell_loc_count = 2;
    m->cell_loc = one_based({1, 2});
    m->top_layer_depth = 0.2;
    m->soil_depth = one_based({1.0, 0.2});  // layers of 0.2 m and 0.8 m, then one layer only
    m->Ws1_L1 = one_based({0.06, 0.05});
    m->Ws1_L2 = one_based({0.2, 0.0});
    open(m->out_theta_location_fp, "theta.txt");
    pass("outlet.txt");
    const std::string line = kesta_test::read_file(dir.file("theta.txt"));
    EXPECT_NE(line.find("     0.300000     0.250000     0.250000   999.990000 \n"), std::string::npos) << line;
}

}  // namespace
