// The built program loads a small project and steps it to its end, or stops
// before it runs on values the run cannot take.
#include <gtest/gtest.h>

#include <string>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

TEST(ProjectRun, SmallProjectRunsToItsEndAndValuesItCannotTakeStopItBeforeItRuns) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    const std::string project =
        "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
        "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
        "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
        "START_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";
    // Each case replaces one card line of the project.
    const struct {
        const char *card, *with;
        int status;
        const char* says;
    } cases[] = {
        {"", "", 0, "outlet is in grid cell: 5\n"},
        {"OUTROW 3\nOUTCOL 2\n", "OUTROW 1\nOUTCOL 1\n", 1, "inside the watershed mask."},
        {"START_TIME 12 0\n", "START_TIME 12 0\nEND_TIME 2019 1 1 0 0\n", 1,
         "Error: END_TIME 1/1/2019 0:00 of project file p.prj lies before the start of the run, 6/1/2020 12:00.\n"},
        {"START_TIME 12 0\n", "START_TIME 12 0\nEND_TIME 2020 6 1 12 10\n", 0, ""},
        {"START_DATE 2020 6 1\n", "START_DATE 2147483647 1 1\n", 1, "needs a year from 1 to 9999, not \"2147483647\"."},
        {"RAIN_INTENSITY 10\n", "RAIN_INTENSITY -10\n", 1,
         "uniform rain of -10 mm/h for 20 min: RAIN_INTENSITY and RAIN_DURATION must both be greater than zero.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("case ") + (c.with[0] ? c.with : "the project as given"));
        std::string text = project;
        text.replace(text.find(c.card), std::string(c.card).size(), c.with);
        dir.write("p.prj", text);
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;
        EXPECT_EQ(has(r.output, "Running....\n"), c.status == 0) << r.output;
    }
    EXPECT_EQ(kesta_test::read_file(dir.file("maskmap")).substr(0, 6), "north:");

    // A misspelled card is warned about before the summary file is open; the
    // summary lists it all the same, in the event's summary when the run
    // goes on and after the error when a later fault stops it.
    const std::string typo = "-Warning: unknown card found in the project file: chan_explict\n"
                             "   (line 22 of project file p.prj; the line is skipped) (given 1 time)\n";
    dir.write("p.prj", project + "CHAN_EXPLICT\nQUIET\n");
    ASSERT_EQ(kesta_test::run_kesta("p.prj", dir.path().string()).status, 0);
    std::string summary = kesta_test::read_file(dir.file("summ.out"));
    EXPECT_TRUE(has(summary, "THE FOLLOWING WARNINGS ARE GIVEN:\n" + typo + "\n THE FOLLOWING INPUTS")) << summary;
    // A quiet run says where its rain comes from: here no file.
    EXPECT_TRUE(has(summary, "\nusing uniform rain of 10 mm/h for 20 min\n")) << summary;
    EXPECT_FALSE(has(summary, "precipitation data from file")) << summary;
    std::string stopped = project + "CHAN_EXPLICT\n";
    stopped.replace(stopped.find("OUTCOL 2"), 8, "OUTCOL 1");
    stopped.replace(stopped.find("OUTROW 3"), 8, "OUTROW 1");
    dir.write("p.prj", stopped);
    ASSERT_EQ(kesta_test::run_kesta("p.prj", dir.path().string()).status, 1);
    summary = kesta_test::read_file(dir.file("summ.out"));
    EXPECT_TRUE(has(summary, "\nTHE FOLLOWING WARNINGS WERE GIVEN:\n" + typo)) << summary;
}

}  // namespace
