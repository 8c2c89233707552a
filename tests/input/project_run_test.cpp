// The built program loads a small project and steps it to its end, or stops
// before it runs on values the run cannot take, saying every mistake of the
// project file at once, ending its output on the error and keeping it in the
// summary file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/text_format.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::has;

// A project of the 3 x 3 cross of cells of 30 m (mask.asc, elev.asc): 30
// minutes of rain.
const std::string kCrossProject =
    "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
    "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
    "MANNING_N 0.05\nPRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\n"
    "START_TIME 12 0\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";

TEST(ProjectRun, SmallProjectRunsToItsEndAndValuesItCannotTakeStopItBeforeItRuns) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    const std::string project = kCrossProject;
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
         "Error: card RAIN_INTENSITY on line 16 of project file p.prj needs a value of zero or more, not \"-10\".\n"},
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
    const std::string typo = "-Warning: unknown card found in the project file: CHAN_EXPLICT (did you mean CHAN_EXPLIC?)\n"
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

// The last line of what a run printed.
std::string last_line(const std::string& output) {
    const std::size_t end = output.find_last_not_of('\n');
    if (end == std::string::npos) return std::string();
    const std::size_t start = output.rfind('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// The valley example with a misspelt card and two bad values: one run says
// all three with their lines, reads nothing else, ends its output on the
// error and fails, and its summary file keeps them.
TEST(ProjectRun, EveryMistakeOfTheProjectFileIsSaidInOneRunThatEndsOnTheError) {
    namespace fs = std::filesystem;
    kesta_test::temp_dir dir;
    for (const auto& e : fs::directory_iterator(fs::path(KESTA_SOURCE_DIR) / "examples" / "valley"))
        fs::copy_file(e.path(), dir.path() / e.path().filename());
    std::string project = kesta_test::read_file(dir.file("valley.prj"));
    const auto change = [&project](const std::string& from, const std::string& to) {
        const std::size_t at = project.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        project.replace(at, from.size(), to);
    };
    change("\nWATERSHED_MASK ", "\nWATERSHED_MAKS ");
    change("\nTIMESTEP         5\n", "\nTIMESTEP         5s\n");
    change("\nRAIN_INTENSITY   25\n", "\nRAIN_INTENSITY   -25\n");
    dir.write("valley.prj", project);

    const auto r = kesta_test::run_kesta("valley.prj", dir.path().string());
    EXPECT_NE(r.status, 0) << r.output;
    const std::string typo = "Warning: unknown card found in the project file: WATERSHED_MAKS (did you mean "
                             "WATERSHED_MASK?)\n  (line 4 of project file valley.prj; the line is skipped)\n";
    const std::string timestep = "Error: card TIMESTEP on line 16 of project file valley.prj needs a number, not \"5s\".\n";
    const std::string rain = "Error: card RAIN_INTENSITY on line 32 of project file valley.prj needs a value of zero "
                             "or more, not \"-25\".\n";
    const std::string closing = "Error: project file valley.prj has 2 errors (lines 16 and 32); the run stops.\n";
    EXPECT_TRUE(has(r.output, typo + timestep + "\n" + rain + "\n" + closing)) << r.output;
    // Nothing after the file is read: no mapping-table list, no maps; the
    // errors are said again after the run time.
    EXPECT_FALSE(has(r.output, "Checking 2D grid mapping tables")) << r.output;
    EXPECT_FALSE(has(r.output, "finished reading project file")) << r.output;
    EXPECT_FALSE(has(r.output, "reading watershed mask")) << r.output;
    EXPECT_TRUE(has(r.output, "(s) \n\n" + timestep + rain + closing)) << r.output;
    EXPECT_EQ(last_line(r.output), closing.substr(0, closing.size() - 1));

    const std::string summary = kesta_test::read_file(dir.file("valley.sum"));
    EXPECT_TRUE(has(summary, "Run parameters read from TVM project file: valley.prj\n" + timestep + "\n" + rain +
                                 "\n" + closing + "\nThe run stopped on the error above while it was being set up; "
                                 "the simulation did not begin.\n"))
        << summary;
    EXPECT_TRUE(has(summary, "THE FOLLOWING WARNINGS WERE GIVEN:\n-Warning: unknown card found in the project file: "
                             "WATERSHED_MAKS (did you mean WATERSHED_MASK?)\n   (line 4 of project file valley.prj; "
                             "the line is skipped) (given 1 time)\n"))
        << summary;
}

// A misspelt card that leaves the run without an input it needs is named
// in the error about that input; a run that stops before its files are
// opened still writes the summary its card names, but never over an input.
TEST(ProjectRun, AnInputLostToAMisspeltCardIsTracedToItsLine) {
    kesta_test::temp_dir dir;
    dir.write("mask.asc", kesta_test::cross_mask(30.0));
    dir.write("elev.asc", kesta_test::cross_elevation(30.0));
    const std::string project = kCrossProject;
    const struct {
        const char *card, *with, *says;
    } cases[] = {
        {"WATERSHED_MASK mask.asc", "Watershed_Mak mask.asc",
         "Error: the run needs the watershed mask file, but no card WATERSHED_MASK in project file p.prj names it "
         "(line 2 has the unknown card Watershed_Mak: write WATERSHED_MASK there).\n"},
        {"RAIN_INTENSITY 10", "RAIN_INTENSTY 10",
         "Error: the run has uniform rain of 0 mm/h for 20 min, but no card RAIN_INTENSITY of project file p.prj "
         "gives the rate of the uniform rain (mm/h) (line 16 has the unknown card RAIN_INTENSTY: write "
         "RAIN_INTENSITY there).\n"},
        {"PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20", "PRECIP_FIEL rain.gag",
         "Error: the run has uniform rain of 0 mm/h for 0 min, but no card PRECIP_FILE of project file p.prj "
         "gives the precipitation file (line 15 has the unknown card PRECIP_FIEL: write PRECIP_FILE there).\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.with);
        std::string text = project;
        text.replace(text.find(c.card), std::string(c.card).size(), c.with);
        dir.write("p.prj", text);
        std::filesystem::remove(dir.file("summ.out"));
        const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;
        EXPECT_EQ(last_line(r.output) + "\n", c.says);
        const std::string summary = kesta_test::read_file(dir.file("summ.out"));
        EXPECT_TRUE(has(summary, c.says)) << summary;
        EXPECT_TRUE(has(summary, "THE FOLLOWING WARNINGS WERE GIVEN:\n-Warning: unknown card")) << summary;
    }

    // A summary named over an input is refused, not written, and the
    // project's own error still ends the output.
    std::string text = project;
    text.replace(text.find("SUMMARY summ.out"), 16, "SUMMARY elev.asc\nROWS x");
    dir.write("p.prj", text);
    const auto r = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error: card SUMMARY names elev.asc as its output file, but that file is an input")) << r.output;
    EXPECT_EQ(last_line(r.output), "Error: project file p.prj has 1 error (line 21); the run stops.");
    EXPECT_EQ(kesta_test::read_file(dir.file("elev.asc")), kesta_test::cross_elevation(30.0));

    // Refused when the run's files are opened, the summary is not tried
    // again: its refusal is said once, and once more last.
    text = project;
    text.replace(text.find("SUMMARY summ.out"), 16, "SUMMARY elev.asc");
    dir.write("p.prj", text);
    const auto again = kesta_test::run_kesta("p.prj", dir.path().string());
    EXPECT_EQ(again.status, 1) << again.output;
    const std::string refusal = "Error: card SUMMARY names elev.asc as its output file";
    std::size_t times = 0;
    for (std::size_t at = again.output.find(refusal); at != std::string::npos; at = again.output.find(refusal, at + 1))
        ++times;
    EXPECT_EQ(times, 2u) << again.output;
    EXPECT_EQ(last_line(again.output), "Writing the output would destroy that input; give the output a name of its own.");
    EXPECT_EQ(kesta_test::read_file(dir.file("elev.asc")), kesta_test::cross_elevation(30.0));
}

// An input file of the project that will not open is traced to the card and
// line that name it and to the folder its path was taken from; the error
// that stops the run is said on standard error as well as on standard
// output, and the summary keeps it.
TEST(ProjectRun, AnInputThatWillNotOpenNamesItsCardLineAndFolderOnBothStreams) {
    namespace fs = std::filesystem;
    const struct {
        const char *from, *to;  // a change to the project, or none
        const char* missing;    // an input file taken away, or none
        const char* card;
        int line;
        const char *path, *says;
    } cases[] = {
        {"", "", "valley.cmt", "MAPPING_TABLE", 7, "valley.cmt", "Unable to open Mapping Table file: valley.cmt\n"},
        {"", "", "elevation.asc", "ELEVATION", 5, "elevation.asc",
         "Error: Unable to open elevation data file.\n  (File: elevation.asc)\n"},
        {"", "", "valley.chan", "CHANNEL_INPUT", 25, "valley.chan",
         "Error: Unable to open channel input file.\n  (File: valley.chan)\n"},
        {"\nPRECIP_UNIF\n", "\nPRECIP_FILE      rain.gag\n", "", "PRECIP_FILE", 31, "rain.gag",
         "Error: Unable to open raingage data file.\n  (File: rain.gag)\n"},
        // Read where the card stands, before the rest of the project.
        {"\nTVM_HYDRO        valley.tvm\n", "\nTVM_HYDRO        valley.tvm\nREPLACE_PARAMS   inputs/params.txt\n", "",
         "REPLACE_PARAMS", 54, "inputs/params.txt", "which could not be read.\n"},
        {"\nELEVATION        elevation.asc\n", "\nELEVATION        /nowhere/elevation.asc\n", "", "ELEVATION",
         5, "/nowhere/elevation.asc", "(File: /nowhere/elevation.asc)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.card);
        kesta_test::temp_dir dir;
        for (const auto& e : fs::directory_iterator(fs::path(KESTA_SOURCE_DIR) / "examples" / "valley"))
            fs::copy_file(e.path(), dir.path() / e.path().filename());
        if (c.missing[0] != '\0') fs::remove(dir.file(c.missing));
        std::string project = kesta_test::read_file(dir.file("valley.prj"));
        if (c.from[0] != '\0') {
            ASSERT_NE(project.find(c.from), std::string::npos);
            project.replace(project.find(c.from), std::string(c.from).size(), c.to);
        }
        dir.write("valley.prj", project);
        std::string note = kesta::format_text("  Card %s (project file valley.prj, line %d) names %s, which cannot be "
                                              "opened (%s)",
                                              c.card, c.line, c.path, std::strerror(ENOENT));
        note += c.path[0] == '/' ? ".\n"
                                 : " from the folder the run started in (" + fs::canonical(dir.path()).string() +
                                       "): paths in the project file are taken from there.\n";

        const auto r = kesta_test::run_kesta_apart("valley.prj", dir.path().string());
        EXPECT_EQ(r.status, 1) << r.output << r.errors;
        EXPECT_TRUE(has(r.output, c.says + note)) << r.output;
        EXPECT_TRUE(has(r.errors, c.says + note)) << r.errors;
        EXPECT_TRUE(has(r.output, "(s) \n\n" + r.errors)) << r.output << r.errors;
        EXPECT_TRUE(has(kesta_test::read_file(dir.file("valley.sum")), c.says + note));
    }
}

// Where the closing line of a stopped run only points to the error reported
// above, standard error, kept apart from standard output, is given that
// error itself: a refusal of the mapping-table reader, and a failed write of
// the run-time record, which comes after the summary is closed.
TEST(ProjectRun, StandardErrorApartSaysTheErrorItselfWhereTheOutputPointsAbove) {
    namespace fs = std::filesystem;
    kesta_test::temp_dir dir;
    for (const auto& e : fs::directory_iterator(fs::path(KESTA_SOURCE_DIR) / "examples" / "valley"))
        fs::copy_file(e.path(), dir.path() / e.path().filename());
    std::string table = kesta_test::read_file(dir.file("valley.cmt"));
    const std::string row = "\n     2 hillslope grass";
    ASSERT_NE(table.find(row), std::string::npos);
    table.replace(table.find(row), row.size(), "\n    x2 hillslope grass");
    dir.write("valley.cmt", table);
    const std::string refusal = "Error: mapping table file valley.cmt, table ROUGHNESS, line 7: the ID in characters "
                                "1-6 (\"    x2\") is not an integer\n";
    const auto r = kesta_test::run_kesta_apart("valley.prj", dir.path().string());
    EXPECT_EQ(r.status, 1) << r.output << r.errors;
    EXPECT_TRUE(has(r.output, refusal)) << r.output;
    EXPECT_TRUE(has(r.output, "(s) \n\nError: the run failed on the error reported above.\n")) << r.output;
    EXPECT_EQ(r.errors, refusal);

    kesta_test::temp_dir small;
    small.write("mask.asc", kesta_test::cross_mask(30.0));
    small.write("elev.asc", kesta_test::cross_elevation(30.0));
    small.write("p.prj", kCrossProject);
    ASSERT_EQ(symlink("/dev/full", small.file("out_time.out").c_str()), 0);
    const auto t = kesta_test::run_kesta_apart("p.prj", small.path().string());
    EXPECT_EQ(t.status, 1) << t.output << t.errors;
    EXPECT_EQ(t.errors, "Error writing run time record file out_time.out: the output is incomplete.\n");
}

}  // namespace
