// Lines of the outlet hydrograph and the location series for each kind of
// run, and the passes that write them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "support/temp_dir.hpp"

namespace {

class TimeSeries : public ::testing::Test {
protected:
    void SetUp() override {
        open(m->outlet_hydro_fp, "outlet.txt");
        open(m->sig_outlet_hydro_fp, "sig.txt");
        m->hyd_freq = 1;
        m->q_out = 1.0;
    }
    void open(kesta::file_ptr& slot, const char* name) { slot.reset(std::fopen(dir.file(name).c_str(), "w")); }
    // Writes one pass, closes every series file and returns what `name` holds.
    std::string pass(const std::string& name) {
        kesta::write_timeseries_output(*m);
        m->outlet_hydro_fp.reset();
        m->sig_outlet_hydro_fp.reset();
        m->out_hyd_location_fp.reset();
        m->out_dep_location_fp.reset();
        m->out_theta_location_fp.reset();
        return kesta_test::read_file(dir.file(name));
    }
    kesta_test::temp_dir dir;
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
};

TEST_F(TimeSeries, EventRunWritesElapsedMinutes) {
    m->elapsed_min = 12.5;
    m->q_out = 2.25;
    EXPECT_EQ(pass("outlet.txt"), "   12.50     2.250\n");
    EXPECT_EQ(kesta_test::read_file(dir.file("sig.txt")), "   12.50     2.250000\n");
}

TEST_F(TimeSeries, CubicFeetWidenTheEventDischargeColumn) {
    m->qout_cfs = 1;
    EXPECT_EQ(pass("outlet.txt"), "    0.00     35.315\n");
}

TEST_F(TimeSeries, StrictJulianEventRunPutsTheJulianTimeAtTheOutletOnly) {
    m->strict_julian_date = 1;
    m->time = 2453005.25;
    m->elapsed_min = 30.0;
    m->in_hyd_location_given = 1;
    open(m->out_hyd_location_fp, "loc.txt");
    EXPECT_EQ(pass("outlet.txt"), "2453005.25000000     1.000\n");
    EXPECT_EQ(kesta_test::read_file(dir.file("loc.txt")), "   30.00000000 \n");
}

TEST_F(TimeSeries, LongTermRunWritesTheDecimalYearWithTheLeapYearDivisor) {
    m->long_term = 1;
    m->qout_cfs = 1;  // no wider column in long-term runs
    m->year = 2004;   // 104 years after 1900
    m->day_of_year = 61;
    m->hour = 12;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%16.8lf %11.4lf\n", 2004 + (61 * 1440.0 + 720.0) / 527040.0,
                  35.314667);
    EXPECT_EQ(pass("outlet.txt"), expected);
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

TEST_F(TimeSeries, LocationSeriesConvertDischargeButNeverDepth) {
    m->qout_cfs = 1;
    m->in_hyd_location_given = 1;
    m->out_dep_location_given = 1;
    m->hyd_loc_count = 2;
    m->hlink = kesta::vec1<int>(2);
    m->hnode = kesta::vec1<int>(2);
    m->hlink[1] = 1;
    m->hnode[1] = 2;
    m->hlink[2] = 9;  // outside the channel tables
    m->hnode[2] = 1;
    m->qp = kesta::mat2<double>(2, 1);
    m->chan_depth = kesta::mat2<double>(2, 1);
    m->qp[2][1] = 1.0;
    m->chan_depth[2][1] = 0.5;
    open(m->out_hyd_location_fp, "q.txt");
    open(m->out_dep_location_fp, "d.txt");
    EXPECT_EQ(pass("q.txt"), "    0.00000000    35.314667     0.000000 \n");
    EXPECT_EQ(kesta_test::read_file(dir.file("d.txt")), "    0.00000000     0.500000     0.000000 \n");
}

TEST_F(TimeSeries, SoilMoistureLocationsWriteTheCellMoistureOfGreenAndAmpt) {
    m->in_theta_location_given = 1;
    m->elapsed_min = 5.0;
    m->cell_loc_count = 2;
    m->cell_loc = kesta::vec1<int>(2);
    m->cell_loc[1] = 3;
    m->cell_loc[2] = 1;
    m->theta_all = kesta::vec1<double>(3);
    m->theta_all[1] = 0.25;
    m->theta_all[3] = 0.4;
    open(m->out_theta_location_fp, "theta.txt");
    pass("outlet.txt");
    EXPECT_EQ(kesta_test::read_file(dir.file("theta.txt")), "    5.00000000     0.400000     0.250000 \n");
}

TEST_F(TimeSeries, SoilMoistureLocationsOfSoilAccountingWriteBothLayers) {
    m->in_theta_location_given = 1;
    m->soil_et_accounting = m->long_term = m->inf_redist_on = 1;
    m->cell_loc_count = 2;
    m->cell_loc = kesta::vec1<int>(2);
    m->cell_loc[1] = 1;
    m->cell_loc[2] = 2;
    m->soil_depth = kesta::vec1<double>(2);
    m->Ws1_L1 = kesta::vec1<double>(2);
    m->Ws1_L2 = kesta::vec1<double>(2);
    m->top_layer_depth = 0.2;
    m->soil_depth[1] = 1.0;  // layers of 0.2 m and 0.8 m
    m->Ws1_L1[1] = 0.06;
    m->Ws1_L2[1] = 0.2;
    m->soil_depth[2] = 0.2;  // one layer only
    m->Ws1_L1[2] = 0.05;
    open(m->out_theta_location_fp, "theta.txt");
    pass("outlet.txt");
    const std::string line = kesta_test::read_file(dir.file("theta.txt"));
    EXPECT_NE(line.find("     0.300000     0.250000     0.250000   999.990000 \n"), std::string::npos) << line;
}

}  // namespace
