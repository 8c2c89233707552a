// The summary file: the dotted line and the water summary of an event.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "output/summary_file.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"
#include "support/test_outputs.hpp"

namespace {

using kesta_test::written_by;

std::string padded(const std::string& label, double value) {
    return written_by([&](std::FILE* fp) { kesta::write_padded_value(fp, label, value, 50, "%10.4lf", '.', 14, 0); });
}

TEST(PaddedValue, PointFallsInColumn66UnlessLabelOrValueIsTooWide) {
    for (double v : {0.5, -12.25, 1.0e9}) {
        const std::string line = padded("Total sediment", v);
        EXPECT_EQ(line.rfind('.'), 65u) << line;  // column 66 counting from 1
        EXPECT_EQ(line.substr(0, 16), "Total sediment .");
    }
    // No point at all: the text ends where the point would stand.
    const std::string nan_line = padded("x", std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan_line.substr(62), "nan\n");

    // A long label gets no dots, a wide value one blank.
    const std::string label(52, 'L');
    EXPECT_EQ(padded(label, 1.0), label + std::string(11, ' ') + "    1.0000\n");
    const std::string wide = written_by([](std::FILE* fp) {
        kesta::write_padded_value(fp, "a", 1.0e17, 4, "%.1lf", '.', 14, 2);
    });
    EXPECT_EQ(wide, "a .. 100000000000000000.0\n\n\n");
}

class EventSummary : public ::testing::Test {
protected:
    void SetUp() override {
        m->timestep = 60.0;
        m->volume_rainfall_overland = 1000.0;
        m->event_peak_discharge = 1.5;
        m->peak_date = kesta::date_record{2004, 6, 3, 7, 25, 0};
        m->mass_conservation_error = 0.001;
        kesta::forget_warnings();
    }
    std::string summary() {
        const std::string name = dir.file("summary.txt");
        kesta_test::open_output(*m, m->summary_fp, name);
        kesta::write_event_summary(*m);
        kesta::close_output(*m, m->summary_fp);
        return kesta_test::read_file(name);
    }
    kesta_test::temp_dir dir;
    static bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
};

TEST_F(EventSummary, SmallErrorGivesNoWarnings) {
    const std::string s = summary();
    EXPECT_TRUE(has(s, "date/time of peak discharge:              6/3/2004  7:25:00\n"));
    EXPECT_TRUE(has(s, "volume of rainfall to overland:         1000.0\n"));
    EXPECT_TRUE(has(s, "THE FOLLOWING WARNINGS ARE GIVEN:\nNo Warnings.\n"));

    // Water left on the surface above five percent only drops "No Warnings".
    m->volume_remaining_on_surface = 60.0;
    EXPECT_TRUE(has(summary(), "THE FOLLOWING WARNINGS ARE GIVEN:\n\n THE FOLLOWING INPUTS WERE READ:\n"));
}

TEST_F(EventSummary, EveryWarningGivenSinceTheLastSummaryIsListedOnceWithItsCount) {
    const std::string shown = kesta_test::printed_by([] {
        kesta::warn("Warning: first\n  its second line\n");
        for (const char* w : {"Warning: cloud\n", "\nWarning: cloud\n\n", "Warning: cloud\n"}) kesta::warn(w);
    });
    EXPECT_EQ(shown, "Warning: first\n  its second line\nWarning: cloud\n\nWarning: cloud\n\nWarning: cloud\n");
    EXPECT_TRUE(has(summary(), "THE FOLLOWING WARNINGS ARE GIVEN:\n-Warning: first\n   its second line (given 1 time)\n"
                               "-Warning: cloud (given 3 times)\n\n THE FOLLOWING INPUTS WERE READ:\n"));
    // The next summary lists only what was given after this one; past the
    // kept kinds a warning is counted, not listed.
    EXPECT_TRUE(has(summary(), "THE FOLLOWING WARNINGS ARE GIVEN:\nNo Warnings.\n"));
    kesta_test::printed_by([] {
        for (int i = 0; i < kesta::kMaxListedWarnings + 2; ++i) kesta::warn(kesta::format_text("Warning %d\n", i));
        kesta::warn("Warning 101\n");
    });
    const std::string s = summary();
    EXPECT_TRUE(has(s, "-Warning 99 (given 1 time)\n-3 more warning(s) of 2 other kind(s) were given; the console "
                       "shows each.\n"))
        << s;
    EXPECT_FALSE(has(s, "No Warnings."));
}

TEST_F(EventSummary, NoWaterInputPrintsMinusOneHundredPercentAndWarns) {
    m->mass_conservation_error = -1.0;
    const std::string s = summary();
    EXPECT_TRUE(has(s, "elapsed time when rain began:               0.00\n"));
    EXPECT_TRUE(has(s, "mass conservation error:             -100.000000 percent\n"
                       "Note: positive mass conservation error indicates mass was lost.\n"));
    EXPECT_TRUE(has(s, "\nNote: no rainfall was input.\n"));
    EXPECT_TRUE(has(s, "THE FOLLOWING WARNINGS ARE GIVEN:\n"
                       "-Mass conservation error (absolute) is larger than typical values (<2 percent).\n"));
    EXPECT_FALSE(has(s, "No Warnings."));
}

// The note under the error says which way the water went: a positive error
// is water lost, except under Sacramento accounting with channel routing,
// whose error is formed the other way round.
TEST_F(EventSummary, MassConservationNoteFollowsTheSignOfTheError) {
    const struct {
        double error;
        int sacramento;
        const char* note;
    } cases[] = {
        {0.004, 0, "mass conservation error:              0.400000 percent\n"
                   "Note: positive mass conservation error indicates mass was lost.\n"},
        {-0.004, 0, "mass conservation error:             -0.400000 percent\n"
                    "Note: negative mass conservation error indicates mass was gained.\n"},
        {0.004, 1, "Note: positive mass conservation error indicates mass was created.\n"},
        {-0.004, 1, "Note: negative mass conservation error indicates mass was lost.\n"},
    };
    for (const auto& c : cases) {
        m->mass_conservation_error = c.error;
        m->sacramento_given = c.sacramento;
        m->chan_routing = c.sacramento;
        const std::string s = summary();
        EXPECT_TRUE(has(s, c.note)) << c.error << " " << c.sacramento << "\n" << s;
    }
}

// The pipe solver's clean-up, storage residual and water drawn in at outlets
// above 1 percent of the pipes' inflow: a warning with the volumes.
TEST_F(EventSummary, StormDrainSolverMakingMoreThanOnePercentOfItsInflowWarnsWithTheVolumes) {
    m->storm_sewer_given = 1;
    m->total_inputs_to_superlink = 300.0;
    m->volume_drain_cleanup = 2.0;
    m->volume_drain_residual = -0.5;
    m->volume_superlink_drawn_in = 1.0;
    const std::string s = summary();
    EXPECT_TRUE(has(s, "volume of drain solver residual:          -0.5\n")) << s;
    EXPECT_TRUE(has(s, "-The storm-drain solver made 3.50 m3 of water in this event, more than 1 percent\n"
                       " of the 300.00 m3 that entered the pipes: 2.00 m3 of depth and head clean-up,\n"
                       " -0.50 m3 of storage residual and 1.00 m3 drawn in at outlets.")) << s;
    EXPECT_FALSE(has(s, "No Warnings.")) << s;
    m->volume_superlink_drawn_in = 0.0;  // 2.5 m3 made: under 1 percent
    EXPECT_TRUE(has(summary(), "THE FOLLOWING WARNINGS ARE GIVEN:\nNo Warnings.\n"));
}

TEST_F(EventSummary, RainStartAndPeakLinesFollowTheEvent) {
    // A one-minute step: the first step that rained began 12.5 minutes in.
    m->elapsed_min_rain_began = 12.5;
    EXPECT_TRUE(has(summary(), "elapsed time when rain began:              12.50\n \n"));

    // A zero peak keeps only the peak line.
    m->event_peak_discharge = 0.0;
    const std::string s = summary();
    EXPECT_FALSE(has(s, "date/time of peak"));
    EXPECT_TRUE(has(s, "Event peak discharge (cubic meters per second):        0.0000\n\n"));
}

TEST_F(EventSummary, OutputMapsAskedForButNotWrittenAreNotListed) {
    m->map_grass = m->depth_given = m->inf_redist_on = m->surf_moist_given = 1;
    m->project_options.max_sed_flux_given = 1;  // sediment maps are not written by this build
    EXPECT_TRUE(has(summary(), "WRITTEN EVERY 0 TIMESTEP(S):\n\n THE FOLLOWING ASCII OUTPUT FILES"));
}

TEST_F(EventSummary, RainFromAFileNamesGaugesOrRadarByTheEventsDataLines) {
    m->rain_from_file = 1;
    m->rain_inv_distance = 1;
    EXPECT_TRUE(has(summary(), "With raingage data using inverse-distance squared interpolation.\n\n"));
    for (int radar : {1, 2}) {  // values per gauge, or radar grid files
        m->precip_ev.radar = radar;
        const std::string s = summary();
        EXPECT_TRUE(has(s, "With radar-rainfall estimates using inverse-distance squared interpolation.\n\n"));
        EXPECT_FALSE(has(s, "raingage"));
    }
}

TEST_F(EventSummary, LongTermEventsAfterTheFirstBeginWithASeparator) {
    m->long_term = 1;
    EXPECT_EQ(summary().rfind("       KESTA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT 1\n", 0), 0u);
    m->event_index = 2;
    EXPECT_EQ(summary().rfind("\n\n" + std::string(78, '-') +
                                  "\n       KESTA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT 2\n",
                              0),
              0u);
}

TEST_F(EventSummary, LongTermSummariesNameTheWeatherStationAndItsRepairs) {
    m->long_term = m->hmet_samson_given = 1;
    m->hmet_station_name = "BOULDER";
    m->hmet_first_record = kesta::date_record{1996, 2, 28, 23, 0, 0};
    m->hmet_last_record = kesta::date_record{1997, 3, 1, 0, 0, 0};
    m->hmet_points_repaired = 7;
    EXPECT_TRUE(has(summary(), "KESTA used NCDC/SAMSON hydrometeorological data from the BOULDER station\n"
                               "Hydrometeorology data began on: 02/28/1996 at 23:00\n"
                               "and ended on:                   03/01/1997 at  0:00\n"
                               "The following number of hydromet. data points were repaired:7\n"));
}

TEST_F(EventSummary, GroundwaterRunsReportTheExchangesAfterTheMassBalance) {
    EXPECT_FALSE(has(summary(), "GROUNDWATER CALCULATION SUMMARIES"));
    m->gw_simulation = 1;
    m->chan_routing = 1;
    m->volume_of_water_exfiltrated = 12.5;
    m->beginning_vol_water_exfiltrated_this_event = 30.0;
    m->total_vol_water_exfiltrated_this_run = 42.5;
    m->volume_gw_chan = 7.0;
    m->gw_floor_added_this_event = 4.4;
    const std::string s = summary();
    const std::size_t block = s.find(
        "mass cleanup error from overland:      0.000000 m3\n\n"
        "\n \n GROUNDWATER CALCULATION SUMMARIES FOR EVENT \n \n"
        "volume of water directly to surface from groundwater (cu. m):      12.5\n"
        "beginning vol of water exfiltrated this event (cu. m):             30.0\n"
        "total vol of water exfiltrated this run (cu. m):                   42.5\n"
        "vol from gw to unsat this event, w/o recharge (cu. m):              0.0\n"
        "vol groundwater recharge (cu. m):                                   0.0\n"
        "volume added by the aquifer floor (cu. m):                          4.4\n"
        "vol from gw to chan  this event (cu. m):                            7.0\n"
        "vol from chan to gw  this event (cu. m):                            0.0\n"
        "\n");
    EXPECT_NE(block, std::string::npos) << s;
    EXPECT_FALSE(has(s, "lakes this event") || has(s, "tile dtrains"));
}

}  // namespace
