// The outputs of a run: none may be written over an input or over another
// output, a write that fails makes the run fail, numbered outputs keep the
// folders of their names and a failure names the path tried, and a map no
// card names says why no mapping table could stand in.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::has;

const std::string kElevation = kesta_test::cross_elevation(30.0);
const std::string kOutputs = "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\n";

// A 3 x 3 project of uniform rain with the given output and roughness cards.
std::string project(const std::string& outputs = kOutputs, const std::string& roughness = "MANNING_N 0.05\n") {
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
           "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
           "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n" +
           roughness + outputs;
}

class OutputRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(30.0));
        dir.write("elev.asc", kElevation);
    }
    kesta_test::program_result run(const std::string& text, const std::string& options = std::string()) {
        dir.write("p.prj", text);
        return kesta_test::run_kesta(options + "p.prj", dir.path().string());
    }
    kesta_test::temp_dir dir;
};

// The outputs of fixed name take part: the mask map and the time record may
// neither replace an input nor be replaced by a card's output.
TEST_F(OutputRuns, AnOutputOverAnInputOrAnotherOutputIsRefusedBeforeItIsOpened) {
    const struct {
        const char* name;
        std::string input, outputs, says;  // the file ELEVATION names, the output cards, the refusal
    } cases[] = {
        {"summary over an input", "elev.asc", "SUMMARY elev.asc\nOUTLET_HYDRO hyd.out\n",
         "Error: card SUMMARY names elev.asc as its output file, but that file is an input of the run (elev.asc, "
         "named by card ELEVATION).\nWriting the output would destroy that input"},
        {"hydrograph over the project", "elev.asc", "SUMMARY summ.out\nOUTLET_HYDRO p.prj\n",
         "Error: card OUTLET_HYDRO names p.prj as its output file, but that file is an input of the run (p.prj, "
         "the project file)."},
        {"two outputs, one file", "elev.asc", "SUMMARY summ.out\nOUTLET_HYDRO summ.out\n",
         "Error: card SUMMARY and card OUTLET_HYDRO both name the output file summ.out.\n"},
        {"one file spelt two ways", "elev.asc", "SUMMARY summ.out\nOUTLET_HYDRO ./sub/../summ.out\n",
         "both name the output file ./sub/../summ.out (also written summ.out)."},
        {"mask map over an input", "maskmap", kOutputs,
         "Error: the run's mask map is always written to maskmap, but that file is an input of the run (maskmap, "
         "named by card ELEVATION)."},
        {"time record over an input", "out_time.out", kOutputs,
         "Error: the run's time record is always written to out_time.out"},
        {"summary over the mask map", "elev.asc", "SUMMARY maskmap\nOUTLET_HYDRO hyd.out\n",
         "Error: the run's mask map and card SUMMARY both name the output file maskmap.\n"},
        {"hydrograph over the time record", "elev.asc", "SUMMARY summ.out\nOUTLET_HYDRO out_time.out\n",
         "Error: the run's time record and card OUTLET_HYDRO both name the output file out_time.out.\n"},
        // Outputs opened outside the table of the run's files, and those
        // written only as the run ends, take part too.
        {"reservoir inflow over an input", "elev.asc", kOutputs + "VQ_INPUT elev.asc\n",
         "Error: card VQ_INPUT names elev.asc as its output file, but that file is an input of the run (elev.asc, "
         "named by card ELEVATION)."},
        {"optimisation output over the summary", "elev.asc", kOutputs + "OPTIMIZE summ.out\n",
         "Error: card SUMMARY and card OPTIMIZE both name the output file summ.out.\n"},
        {"graphical hydrograph over the outlet hydrograph", "elev.asc", kOutputs + "TVM_HYDRO hyd.out\n",
         "Error: card OUTLET_HYDRO and card TVM_HYDRO both name the output file hyd.out.\n"},
        {"hydrograph over the aquatic environment file", "elev.asc",
         "SUMMARY summ.out\nOUTLET_HYDRO aq.env\nNUTRIENTS\nAQ_ENV aq.env\n",
         "Error: card OUTLET_HYDRO names aq.env as its output file, but that file is an input of the run (aq.env, "
         "named by card AQ_ENV)."},
    };
    fs::create_directory(dir.path() / "sub");
    for (const auto& c : cases) {
        fs::remove(dir.path() / "maskmap");
        fs::remove(dir.path() / "out_time.out");
        dir.write(c.input, kElevation);
        std::string text = project(c.outputs);
        text.replace(text.find("elev.asc"), 8, c.input);
        const auto r = run(text);
        EXPECT_EQ(r.status, 1) << "case " << c.name << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << "case " << c.name << r.output;
        EXPECT_FALSE(has(r.output, "Running....")) << "case " << c.name << r.output;
        EXPECT_EQ(kesta_test::read_file(dir.file(c.input)), kElevation) << "case " << c.name;
        EXPECT_EQ(kesta_test::read_file(dir.file("p.prj")), text) << "case " << c.name;
    }

    // Outputs may share a device.
    if (fs::exists("/dev/null")) {
        EXPECT_EQ(run(project("SUMMARY /dev/null\nOUTLET_HYDRO /dev/null\n")).status, 0);
    }
}

TEST_F(OutputRuns, AFailedWriteMakesTheRunFail) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::pair<std::string, std::string> cases[] = {
        {"SUMMARY summ.out\nOUTLET_HYDRO /dev/full\n",
         "Error writing output hydrograph file /dev/full: the output is incomplete.\n"},
        {"SUMMARY /dev/full\nOUTLET_HYDRO hyd.out\n",
         "Error writing output summary file /dev/full: the output is incomplete.\n"},
        // The graphical product's hydrograph closes the outlet hydrograph to
        // read it back: its failed write is said there, and only there.
        {"SUMMARY summ.out\nOUTLET_HYDRO /dev/full\nTVM_HYDRO t.tvm\n",
         "Error writing output hydrograph file /dev/full: the output is incomplete.\n"},
    };
    for (const auto& [outputs, says] : cases) {
        const auto r = run(project(outputs));
        EXPECT_EQ(r.status, 1) << r.output;
        // Said once as the file closes (the run's last lines may say again
        // the error that stopped it).
        const std::string run_output = r.output.substr(0, r.output.find("Run time: "));
        const std::size_t at = run_output.find(says);
        EXPECT_NE(at, std::string::npos) << r.output;
        EXPECT_EQ(run_output.find(says, at + 1), std::string::npos) << "said more than once:\n" << r.output;
        EXPECT_TRUE(has(r.output, "Run time: ")) << r.output;  // the closing steps still run to their end
    }

    // The mask map is written and closed while the inputs load: its failure
    // stops the run there.
    fs::remove(dir.path() / "maskmap");
    ASSERT_EQ(symlink("/dev/full", dir.file("maskmap").c_str()), 0);
    const auto r = run(project());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error writing mask map file maskmap: the output is incomplete.\n")) << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;

    // The run-time record is appended once every other file is closed: its
    // failure is said on the console, and fails the run all the same.
    fs::remove(dir.path() / "maskmap");
    fs::remove(dir.path() / "out_time.out");
    ASSERT_EQ(symlink("/dev/full", dir.file("out_time.out").c_str()), 0);
    const auto timed = run(project());
    EXPECT_EQ(timed.status, 1) << timed.output;
    EXPECT_TRUE(has(timed.output, "Error writing run time record file out_time.out: the output is incomplete.\n"))
        << timed.output;
}

TEST_F(OutputRuns, NumberedOutputsKeepTheFoldersOfTheirNames) {
    fs::create_directory(dir.path() / "out");
    const auto r = run(project("SUMMARY summ.out\nOUTLET_HYDRO out/hyd.out\nSIG_OUTLET_HYDRO " +
                               dir.file("out/abs.out") + "\n"),
                       "-b1 ");
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* made : {"0000_summ.out", "out/0000_hyd.out", "out/0000_abs.out"})
        EXPECT_TRUE(fs::exists(dir.path() / made)) << made;

    // A numbered output that cannot be opened names the path that was tried.
    const auto lost = run(project("SUMMARY summ.out\nOUTLET_HYDRO nowhere/hyd.out\n"), "-b1 ");
    EXPECT_EQ(lost.status, 1) << lost.output;
    EXPECT_TRUE(has(lost.output, "Error: Unable to open output hydrograph file.\n  (File: nowhere/0000_hyd.out)\n"))
        << lost.output;
}

TEST_F(OutputRuns, AMapNoCardNamesSaysWhyTheMappingTableCannotSupplyIt) {
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS \"Land use\"\nNUM_IDS 1\n"
                       "hdr\n     1" + std::string(80, ' ') + "0.05\n");
    const auto r = run(project(kOutputs, "MAPPING_TABLE t.cmt\nROUGHNESS\n"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error: the run needs the Manning roughness map, but card ROUGHNESS of project file "
                              "p.prj names no file, and the ROUGHNESS table of mapping table file t.cmt cannot "
                              "supply it: the index map file lu.asc of its ROUGHNESS table (line 3) could not be "
                              "opened (No such file or directory).\n"))
        << r.output;
    EXPECT_FALSE(has(r.output, "(File: )")) << r.output;

    // A file the options need, which no card names, names the missing card.
    dir.write("wt.asc", kElevation);
    const auto gw = run(project(kOutputs, "MANNING_N 0.05\nWATER_TABLE wt.asc\nAQUIFER_BOTTOM wt.asc\nGW_SIMULATION\n"));
    EXPECT_EQ(gw.status, 1) << gw.output;
    EXPECT_TRUE(has(gw.output, "Error: the run needs the groundwater boundary file, but no card GW_BOUNDFILE in "
                               "project file p.prj names it.\n"))
        << gw.output;
    dir.write("loc.txt", "1\n2 2\n");
    const auto loc = run(project(kOutputs, "MANNING_N 0.05\nIN_HYD_LOCATION loc.txt\n"));
    EXPECT_EQ(loc.status, 1) << loc.output;
    EXPECT_TRUE(has(loc.output, "Error: the run needs the OUT_HYD_LOCATION file, but no card OUT_HYD_LOCATION in "
                                "project file p.prj names it.\n"))
        << loc.output;
}

}  // namespace
