// The safety net of the outputs: a value that is not a finite number is
// never written. Whatever computed it, the series, map, or summary line
// that would hold it stops the run, naming the quantity, the place, the
// model time and the file; what was written before stays, every file is
// closed, and the run fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

// True when `text` holds a word "inf" or "nan" (any case, any sign): what
// printf makes of a value that is not finite.
bool holds_non_number(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : {"inf", "nan"}) {
        for (std::size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
            const bool starts = at == 0 || !std::isalpha(static_cast<unsigned char>(lower[at - 1]));
            const std::size_t after = at + 3;
            const bool ends = after >= lower.size() || !std::isalpha(static_cast<unsigned char>(lower[after]));
            if (starts && ends) return true;
        }
    }
    return false;
}

// The 3 x 3 cross of uniform rain for 30 minutes in steps of 10 s, its
// outlet series every 5 minutes and its depth map every 5 minutes in an
// ASCII dataset.
void write_project(const kesta_test::temp_dir& dir) {
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
                       "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 5\n"
                       "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
                       "START_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\nMAP_TYPE 1\nDEPTH depth.dat\n"
                       "SUPER_QUIET\n");
}

// What the observer spoils, from 10 minutes of simulated time on, right
// before the step that writes it: the outlet discharge, the depth of the
// centre cell, the run's interception.
enum class spoiled { outlet_discharge, depth_of_centre, interception };
spoiled g_spoiled = spoiled::outlet_discharge;

bool spoil(kesta::model_state& m, const char* step) {
    if (m.elapsed_min < 9.99) return true;
    const double inf = std::numeric_limits<double>::infinity();
    if (g_spoiled == spoiled::outlet_discharge && std::strcmp(step, "write_timeseries_output") == 0) m.q_out = inf;
    // Only on a pass that writes maps: the next step's depth check would stop the run on its own.
    if (g_spoiled == spoiled::depth_of_centre && std::strcmp(step, "write_timeseries_maps") == 0 &&
        (m.step - 1) % m.map_freq == 0)
        m.h[3] = std::nan("");
    if (g_spoiled == spoiled::interception && std::strcmp(step, "write_final_summaries") == 0)
        m.run_sums.interception = -inf;
    return true;
}

struct spoiled_run {
    kesta_test::model_run run;
    std::string summary, hydrograph, depth;
};

spoiled_run run_spoiled(spoiled what) {
    kesta_test::temp_dir dir(true);
    write_project(dir);
    g_spoiled = what;
    spoiled_run r;
    r.run = kesta_test::run_in_process("p.prj", spoil);
    r.summary = kesta_test::read_file("summ.out");
    r.hydrograph = kesta_test::read_file("hyd.out");
    r.depth = kesta_test::read_file("depth.dat");
    return r;
}

TEST(FiniteOutputs, AnOutletDischargeThatIsNotFiniteStopsTheRunBeforeItIsWritten) {
    const spoiled_run r = run_spoiled(spoiled::outlet_discharge);
    EXPECT_NE(r.run.rc, 0);
    const std::string says = "Error: the discharge at the outlet is not a finite number (infinite) at 10.00 minutes of "
                             "simulated time (6/1/2020 12:10); the run stops rather than write it to hyd.out (card "
                             "OUTLET_HYDRO).";
    EXPECT_TRUE(has(r.run.out, says)) << r.run.out;
    EXPECT_TRUE(has(r.summary, says)) << r.summary;
    EXPECT_TRUE(has(r.summary, "the value it names was not written, and every output ends there.")) << r.summary;
    // The lines of 0 and 5 minutes stand; nothing after them.
    EXPECT_EQ(kesta_test::lines_of(r.hydrograph).size(), 2u) << r.hydrograph;
    EXPECT_FALSE(holds_non_number(r.hydrograph)) << r.hydrograph;
    // The map dataset was closed with its end mark.
    EXPECT_EQ(r.depth.find("ENDDS\n"), r.depth.size() - 6) << r.depth;
}

TEST(FiniteOutputs, AMapFrameWithAValueThatIsNotFiniteIsNotWritten) {
    const spoiled_run r = run_spoiled(spoiled::depth_of_centre);
    EXPECT_NE(r.run.rc, 0);
    EXPECT_TRUE(has(r.run.out, "Error: the value of the depth map at cell 3 (row 2, column 2) is not a finite number "
                               "(not a number) at 10.17 minutes of simulated time"))
        << r.run.out;
    EXPECT_TRUE(has(r.run.out, "rather than write it to depth.dat.")) << r.run.out;
    EXPECT_FALSE(holds_non_number(r.depth)) << r.depth;
    // The frames of 0 and 5 minutes, then the end mark.
    int frames = 0;
    for (std::size_t at = r.depth.find("TS 1 "); at != std::string::npos; at = r.depth.find("TS 1 ", at + 1)) ++frames;
    EXPECT_EQ(frames, 2) << r.depth;
    EXPECT_EQ(r.depth.find("ENDDS\n"), r.depth.size() - 6) << r.depth;
}

TEST(FiniteOutputs, ASummaryLineWhoseValueIsNotFiniteIsLeftOutAndStopsTheRun) {
    const spoiled_run r = run_spoiled(spoiled::interception);
    EXPECT_NE(r.run.rc, 0);
    EXPECT_TRUE(has(r.summary, "Error: \"Total amount of interception\" is not a finite number (infinite) at 30.00 "
                               "minutes of simulated time (6/1/2020 12:30); the run stops rather than write it to "
                               "summ.out (card SUMMARY)."))
        << r.summary;
    EXPECT_FALSE(has(r.summary, "Total amount of interception=")) << r.summary;
    // The lines around it stand.
    EXPECT_TRUE(has(r.summary, "Total amount of precip=")) << r.summary;
    EXPECT_TRUE(has(r.summary, "Total amount of infiltration=")) << r.summary;
    EXPECT_FALSE(holds_non_number(r.summary)) << r.summary;
}

// The quantity of a summary line is its label; a line of values is written
// only whole.
TEST(FiniteOutputs, QuantityOfALineAndALineOfValues) {
    EXPECT_EQ(kesta::quantity_of_format("Total amount of precip=                         %14.2lf\n"),
              "\"Total amount of precip\"");
    EXPECT_EQ(kesta::quantity_of_format("%8.2lf %9.3lf\n"), "a value");
    kesta::value_line line;
    line.put("%8.2lf", 5.0);
    line.at(1);
    line.put(" %10.6lf", 0.25);
    line.at(2);
    line.put(" %10.6lf", std::nan(""));
    line.at(3);
    line.put(" %10.6lf", -std::numeric_limits<double>::infinity());
    EXPECT_FALSE(line.finite());
    EXPECT_EQ(line.bad_place(), 2);
    EXPECT_EQ(line.str(), "    5.00   0.250000");
}

}  // namespace
