// Analyzers: the letters of a definition line, the interval clock, the
// comparison over the channel nodes with its report, and a run whose
// definitions cannot all be used.
#include <gtest/gtest.h>

#include <string>

#include "core/allocators.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/analyzers.hpp"
#include "output/output_steps.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

TEST(Analyzers, LettersAndOperatorsReadAsTheirBits) {
    EXPECT_EQ(kesta::parse_output_letters("tv"), kesta::out_by_link);
    EXPECT_EQ(kesta::parse_output_letters("vtsf"), kesta::out_tests | kesta::out_screen | kesta::out_file);
    EXPECT_EQ(kesta::parse_trigger_letters("Eex"), kesta::notice_event_start | kesta::notice_event_end);
    EXPECT_EQ(kesta::parse_operator("<="), kesta::op_less_equal);
    EXPECT_EQ(kesta::parse_operator("<"), kesta::op_less);
    EXPECT_EQ(kesta::parse_operator("+"), 5);
}

// Due at once, then once an hour of model time has passed.
TEST(Analyzers, AnHourlyTimerIsDueAtOnceAndThenEveryHour) {
    double time = 100.0;
    kesta::analyzer a;
    a.trigger_flags = kesta::notice_step_done | kesta::notice_event_end;
    a.timer.clock = &time;
    a.timer.tolerance = 1e-7;
    a.timer.set_interval(3600.0 / 86400.0);
    EXPECT_TRUE(a.timer.is_due());
    time += 1800.0 / 86400.0;
    EXPECT_FALSE(a.timer.is_due());
    time += 1800.0 / 86400.0;
    EXPECT_TRUE(a.timer.is_due());
}

// Two links of three and two nodes, depth = water surface less bed.
TEST(Analyzers, ADepthTestListsTheShallowNodesOfEveryLink) {
    kesta::node_table<double> yp, bel;
    kesta::alloc_dmatrix(3, 2, yp, "yp");
    kesta::alloc_dmatrix(3, 2, bel, "bel");
    const double depths[3][2] = {{0.05, 0.3}, {0.2, 0.08}, {0.01, 0.0}};
    for (int n = 1; n <= 3; ++n)
        for (int l = 1; l <= 2; ++l) {
            bel[n][l] = 10.0;
            yp[n][l] = 10.0 + depths[n - 1][l - 1];
        }
    kesta::vec1<int> nodes(2);
    nodes[1] = 3;
    nodes[2] = 2;
    double time = 2459409.5;  // 14 July 2021, 0:00
    const kesta::watched_node_values bed = kesta::values_of(bel);
    kesta::stream_logical_OP op(kesta::values_of(yp), &bed, nodes, 2, &time, "depth");
    EXPECT_TRUE(op.compare(kesta::op_less, 0.1));
    EXPECT_EQ(op.report(kesta::out_tests | kesta::out_file, kesta::notice_step_done),
              "\n\nValues in the 2D stream array depth at 07-14-2021, 0:0: 0: \n"
              "Link   1, Node   1\nLink   1, Node   3\nLink   2, Node   2\n");
    EXPECT_EQ(op.report(kesta::out_by_link | kesta::out_counts, kesta::notice_event_end),
              "\n\nResults for logic test of the 2D stream array depth at the end of an event at 07-14-2021, "
              "0:0: 0.  Nodes with values < 0.100000:\n"
              "   1:[T, 0.0500][F, 0.2000][T, 0.0100]\n   2:[F, 0.3000][T, 0.0800]\n"
              "====> 0 out of 5 nodes passed the logic test.\n");
    EXPECT_FALSE(op.compare(kesta::op_greater, 1.0));
}

// A 1DS token binds its constituent's row of a channel node array (stride
// 3, two links of three and two nodes): the dissolved masses, the mass
// taken from the aquifer; a constituent out of range and arrays the run
// does not keep (the reactions' sources among them) are said and skipped.
TEST(Analyzers, A1dsTestReadsItsConstituentsNodeArray) {
    kesta::model_state m;
    m.ncontam = 2;
    m.nlinks = 2;
    m.chan_stride = 3;
    m.time = 2459409.5;
    m.super_quiet = 1;
    kesta::alloc_ivector(m.link_nodes, 2, "link_nodes");
    m.link_nodes[1] = 3;
    m.link_nodes[2] = 2;
    kesta::alloc_dmatrix(2, 9, m.chan_mass, "chan_mass");
    kesta::alloc_dmatrix(2, 9, m.chan_conc, "chan_conc");
    kesta::alloc_dmatrix(2, 9, m.chan_gw_mass, "chan_gw_mass");
    m.chan_gw_mass[1][2 * 3 + 2] = -4.0;  // constituent 1, link 2 node 2 lost 4 g to the aquifer
    m.chan_mass[1][1 * 3 + 1] = 100.0;  // constituent 1, link 1 node 1: not watched
    m.chan_mass[2][1 * 3 + 2] = 7.0;    // link 1 node 2
    m.chan_mass[2][2 * 3 + 1] = 9.0;    // link 2 node 1
    kesta_test::temp_dir dir;
    const std::string file =
        dir.write("a.ana", "1DS mass_2 S > 5 t\n1DS gwmass_1 S < -1 t\n1DS conc_3 S > 5 t\n"
                           "1DS pointconc_1 S > 5 t\n1DS zepsource_2 S > 5 t\n");
    const std::string said = kesta_test::printed_by([&] { kesta::setup_analyzers(m, file); });
    EXPECT_TRUE(has(said, "[zepsource_2] cannot be watched: the channel nutrient reactions")) << said;
    ASSERT_TRUE(m.analyzers);
    ASSERT_EQ(m.analyzers->list.size(), 2u);
    kesta::trigger_analyzers(m, kesta::notice_init_done);
    EXPECT_TRUE(has(m.analyzers->list[0]->condition->report(kesta::out_tests | kesta::out_values, 0),
                    "Link   1, Node   2:        7.000000\nLink   2, Node   1:        9.000000\n"));
    EXPECT_TRUE(has(m.analyzers->list[1]->condition->report(kesta::out_tests | kesta::out_values, 0),
                    ": \nLink   2, Node   2:       -4.000000\n"));
}

// Lines that cannot be used are said and skipped; a missing file is a
// warning in the summary; the run goes on.
TEST(Analyzers, DefinitionsThatCannotBeUsedAreSaidAndTheRunGoesOn) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    const std::string project =
        "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
        "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
        "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
        "MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";
    dir.write("p.prj", project + "ANALYZERS none.ana\n");
    auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(kesta_test::read_file(dir.file("summ.out")),
                    "the analyzer definition file none.ana (card ANALYZERS) cannot be opened"));

    dir.write("a.ana", "# comment\n1DS conc_1 t < 1 ts 60\n2DX depth t < 1 ts 60\n2DS depth t < 1 ts 60\n");
    dir.write("p.prj", project + "ANALYZERS a.ana\n");
    r = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r.output, "a.ana, line 2: Error: Setting up 1DS analyzer when no constituents are being modeled."));
    EXPECT_TRUE(has(r.output, "a.ana, line 3: Error: \"2DX\" is not an analyzer type"));
    EXPECT_TRUE(has(r.output, "a.ana, line 4: Error: the 2DS array [depth] cannot be watched: the run has no channel"));
    EXPECT_TRUE(has(r.output, "Set up 0 analyzers...\n"));
}

// The rain file's event is announced to the analyzers once, as it begins
// at its first rate line (12:00).
TEST(Analyzers, AnEventOfTheRainFileIsAnnouncedAsItBegins) {
    using kesta::format_text;
    kesta_test::temp_dir dir;
    std::string elev;
    for (int r = 1; r <= 5; ++r) elev += format_text("%.1f %.1f %.1f\n", 105.5 - r, 105.0 - r, 105.5 - r);
    dir.write("mask.asc", kesta_test::grid_text(5, 3, 30.0, "1 1 1\n1 1 1\n1 1 1\n1 1 1\n1 1 1\n"));
    dir.write("elev.asc", kesta_test::grid_text(5, 3, 30.0, elev));
    std::string gst;
    dir.write("net.chan", kesta_test::middle_column_channel(gst));
    dir.write("net.gst", gst);
    dir.write("rain.dat", "EVENT one\nNRGAG 1\nNRPDS 2\nCOORD 45 75\n"
                          "RATES 2020 6 1 12 0 20.0\nRATES 2020 6 1 12 30 0.0\n");
    dir.write("a.ana", "2DS depth E > 100 cf ev.txt\n");
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 5\nCOLS 3\n"
                       "OUTROW 5\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nCHAN_EXPLIC\nCHANNEL_INPUT net.chan\n"
                       "STREAM_CELL net.gst\nSUMMARY run.sum\nOUTLET_HYDRO out.hyd\nSUPER_QUIET\nTOT_TIME 60\n"
                       "TIMESTEP 10\nPRECIP_FILE rain.dat\nRAIN_INV_DISTANCE\nANALYZERS a.ana\n");
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string log = kesta_test::read_file(dir.file("ev.txt"));
    const auto count = [&log](const std::string& what) {
        int n = 0;
        for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("the beginning of an event at 06-01-2020, 12:0:"), 1) << log;
    EXPECT_EQ(count("the beginning of an event"), 1) << log;
}

}  // namespace
