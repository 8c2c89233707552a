// The outputs of a run: none may be written over an input or over another
// output, a write that fails makes the run fail, numbered outputs keep the
// folders of their names, and a map no card names says why no mapping table
// could stand in.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/model_state.hpp"
#include "output/output_steps.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::grid_text;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kElevation = grid_text(3, 3, 30.0, "10 9 10\n9 8 9\n10 7 10\n");

// A 3 x 3 project of uniform rain; `replace` swaps whole card lines.
std::string project(const std::string& extra = std::string()) {
    return "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 30\nROWS 3\nCOLS 3\n"
           "TOT_TIME 30\nTIMESTEP 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
           "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 20\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n" +
           extra;
}

class OutputRuns : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", grid_text(3, 3, 30.0, "0 1 0\n1 1 1\n0 1 0\n"));
        dir.write("elev.asc", kElevation);
    }
    kesta_test::program_result run(const std::string& text, const std::string& options = std::string()) {
        dir.write("p.prj", text);
        return kesta_test::run_kesta(options + "p.prj", dir.path().string());
    }
    kesta_test::temp_dir dir;
};

TEST_F(OutputRuns, AnOutputOverAnInputOrAnotherOutputIsRefusedBeforeItIsOpened) {
    const struct {
        std::string outputs;
        std::string says;
    } cases[] = {
        {"SUMMARY elev.asc\nOUTLET_HYDRO hyd.out\n",
         "Error: card SUMMARY names elev.asc as its output file, but that file is an input of the run (elev.asc, "
         "named by card ELEVATION).\nWriting the output would destroy that input"},
        {"SUMMARY summ.out\nOUTLET_HYDRO p.prj\n",
         "Error: card OUTLET_HYDRO names p.prj as its output file, but that file is an input of the run (p.prj, "
         "the project file)."},
        {"SUMMARY summ.out\nOUTLET_HYDRO summ.out\n",
         "Error: card SUMMARY and card OUTLET_HYDRO both name the output file summ.out.\n"},
        {"SUMMARY summ.out\nOUTLET_HYDRO ./sub/../summ.out\n",
         "both name the output file ./sub/../summ.out (also written summ.out)."},
    };
    fs::create_directory(dir.path() / "sub");
    for (const auto& c : cases) {
        const std::string text = project("MANNING_N 0.05\n" + c.outputs);
        const auto r = run(text);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(has(r.output, c.says)) << r.output;
        EXPECT_FALSE(has(r.output, "Running....")) << r.output;
        EXPECT_EQ(kesta_test::read_file(dir.file("elev.asc")), kElevation);
        EXPECT_EQ(kesta_test::read_file(dir.file("p.prj")), text);
    }
}

TEST_F(OutputRuns, OutputsMayShareADevice) {
    if (!fs::exists("/dev/null")) GTEST_SKIP() << "no /dev/null";
    const auto r = run(project("MANNING_N 0.05\nSUMMARY /dev/null\nOUTLET_HYDRO /dev/null\n"));
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST_F(OutputRuns, AFailedWriteMakesTheRunFail) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::pair<std::string, std::string> cases[] = {
        {"SUMMARY summ.out\nOUTLET_HYDRO /dev/full\n",
         "Error writing output hydrograph file /dev/full: the output is incomplete.\n"},
        {"SUMMARY /dev/full\nOUTLET_HYDRO hyd.out\n",
         "Error writing output summary file /dev/full: the output is incomplete.\n"},
    };
    for (const auto& [outputs, says] : cases) {
        const auto r = run(project("MANNING_N 0.05\n" + outputs));
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_TRUE(has(r.output, says)) << r.output;
        // The closing steps still run to their end.
        EXPECT_TRUE(has(r.output, "Run time: ")) << r.output;
    }

    // The mask map is written and closed while the inputs load: its failure
    // stops the run there.
    fs::remove(dir.path() / "maskmap");
    ASSERT_EQ(symlink("/dev/full", dir.file("maskmap").c_str()), 0);
    const auto r = run(project("MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error writing mask map file maskmap: the output is incomplete.\n")) << r.output;
    EXPECT_FALSE(has(r.output, "Running....")) << r.output;
}

TEST_F(OutputRuns, NumberedOutputsKeepTheFoldersOfTheirNames) {
    fs::create_directory(dir.path() / "out");
    const std::string absolute = dir.file("out/abs.out");
    const auto r = run(project("MANNING_N 0.05\nSUMMARY summ.out\nOUTLET_HYDRO out/hyd.out\nSIG_OUTLET_HYDRO " +
                               absolute + "\n"),
                       "-b1 ");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir.path() / "0000_summ.out"));
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "0000_hyd.out"));
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "0000_abs.out"));
}

TEST_F(OutputRuns, AMapNoCardNamesSaysWhyTheMappingTableCannotSupplyIt) {
    dir.write("t.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP lu.asc \"Land use\"\nROUGHNESS \"Land use\"\nNUM_IDS 1\n"
                       "hdr\n     1" + std::string(80, ' ') + "0.05\n");
    const auto r = run(project("MAPPING_TABLE t.cmt\nROUGHNESS\nSUMMARY summ.out\nOUTLET_HYDRO hyd.out\n"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Error: the run needs the Manning roughness map, but card ROUGHNESS of project file "
                              "p.prj names no file, and the ROUGHNESS table of mapping table file t.cmt cannot "
                              "supply it: the index map file lu.asc of its ROUGHNESS table (line 3) could not be "
                              "opened (No such file or directory).\n"))
        << r.output;
    EXPECT_FALSE(has(r.output, "(File: )")) << r.output;
}

// Opening in numbered mode: a failure names the path that was tried.
TEST(NumberedOutputs, AFailureNamesThePathTried) {
    kesta_test::temp_dir dir{true};
    dir.write("mask.asc", "mask\n");
    dir.write("elev.asc", "elev\n");
    auto m = std::make_unique<kesta::model_state>();
    m->watershed_mask = "mask.asc";
    m->elevation = "elev.asc";
    m->summary = "summary.txt";
    m->outlet_hydro = "out/hyd.out";
    kesta::g_error_record = kesta::error_record();
    kesta::set_output_prefixing(1);
    kesta::set_run_number(3);
    kesta::open_run_files(*m);
    EXPECT_EQ(std::make_tuple(kesta::g_error_record.code, kesta::g_error_record.file_name),
              std::make_tuple(4, std::string("out/0003_hyd.out")));
    EXPECT_TRUE(fs::exists("0003_summary.txt"));
    kesta::close_output_files(*m);
    kesta::reset_file_opener_settings();
    kesta::g_error_record = kesta::error_record();
}

}  // namespace
