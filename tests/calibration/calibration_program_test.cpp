// The calibration, Monte Carlo and batch modes of the built program on a real
// (tiny) project: five cells of a sloping plane under ten minutes of uniform
// rain, whose Manning's n is the parameter. The observations come from a run
// with a known n, read through the same scores the calibration writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta_test::grid_text;
using kesta_test::lines_of;
using kesta_test::has;
using kesta_test::read_file;

constexpr double kKnownN = 0.05;

// Everything but the Manning card, which each test adds in its own way.
const char* const kProjectBody =
    "WATERSHED_MASK mask.asc\nELEVATION elev.asc\n"
    "GRIDSIZE 100\nROWS 3\nCOLS 3\nTOT_TIME 30\nTIMESTEP 10\n"
    "OUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 5\nMAP_FREQ 10\n"
    "PRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 10\n"
    "START_DATE 2020 6 1\nSTART_TIME 12 0\n"
    "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nSIG_OUTLET_HYDRO sig.out\nSUPER_QUIET\n";

class CalibrationProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("mask.asc", kesta_test::cross_mask(100.0));
        dir.write("elev.asc", kesta_test::cross_elevation(100.0));
        dir.write("calib.prj", std::string("KESTAPROJECT\nMANNING_N [N]\n") + kProjectBody);
        dir.write("params.txt", "1\n[N] \"%.6f\"\n");
    }

    kesta_test::program_result run(const std::string& args) { return kesta_test::run_kesta(args, dir.path().string()); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }

    // Runs the project three times in one process with the known n, and
    // writes "obs.txt" from the peak and volume its result record gave the
    // objective (first line of the cost log). Each run must score alike,
    // whatever ran before it in the process. The logs of those runs are
    // removed again.
    void observe_known_run() {
        dir.write("any_obs.txt", "1\n1 1 1 1\n");
        dir.write("known.in", "calib.prj\nparams.txt\nany_obs.txt\n1\n0.05 0.05\n");
        const auto r = run("-m3 known.in");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::vector<std::string> log = lines_of(read_file(dir.file("log_file_p0.log")));
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[1], log[0]);
        EXPECT_EQ(log[2], log[0]);
        double peak = 0.0, d_peak = 0.0, volume = 0.0;
        ASSERT_EQ(std::sscanf(read_file(dir.file("0_cost.out")).c_str(), "p:%lf, %lf  v:%lf", &peak, &d_peak, &volume),
                  3);
        ASSERT_GT(peak, 0.0);
        ASSERT_GT(volume, 0.0);
        char obs[128];
        std::snprintf(obs, sizeof obs, "1\n%.6f 1 %.6f 1\n", peak, volume);
        dir.write("obs.txt", obs);
        for (const char* name : {"0_cost.out", "0_hmle.out", "0_obs.log", "best.out", "log_file_p0.log"})
            std::filesystem::remove(dir.file(name));
    }

    kesta_test::temp_dir dir;
};

TEST_F(CalibrationProgram, SceCalibrationRecoversTheManningNOfTheObservedRun) {
    observe_known_run();
    // 100 trials at most, 2 complexes, default complex sizes, start 0.1.
    dir.write("sce.in", "calib.prj\nparams.txt\nobs.txt\n100 3 0.001 2 1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n");
    const auto r = run("-c sce.in");
    ASSERT_EQ(r.status, 0) << r.output;

    const std::vector<std::string> best = lines_of(read_file(dir.file("best.out")));
    ASSERT_EQ(best.size(), 2u);
    int trials = 0;
    ASSERT_EQ(std::sscanf(best[0].c_str(), "The best results of the SCE calibration %d runs:", &trials), 1);
    EXPECT_NEAR(std::stod(best[1]), kKnownN, 0.02 * kKnownN);
    EXPECT_TRUE(has(r.output, "The best results of the SCE calibration after " + std::to_string(trials) +
                                  " runs:\n" + best[1] + "\n"));

    // Every trial was scored: the cost log holds two blocks per trial.
    int blocks = 0;
    for (const std::string& line : lines_of(read_file(dir.file("0_cost.out")))) blocks += line.rfind("cost: ", 0) == 0;
    EXPECT_EQ(blocks, 2 * (trials - 1));

    // The trials' own outputs carry the rank's prefix.
    EXPECT_TRUE(exists("0000_hyd.out"));
    EXPECT_TRUE(exists("0000_summ.out"));
    EXPECT_FALSE(exists("hyd.out"));
    EXPECT_TRUE(has(read_file(dir.file("sce_output.out")), "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n"));
}

TEST_F(CalibrationProgram, StoppedRunsScoreAsUnscoredAndFailTheMode) {
    dir.write("obs.txt", "1\n0.1 1 100 1\n");
    // A Manning's n of zero or below stops every run during set-up.
    dir.write("mc.in", "calib.prj\nparams.txt\nobs.txt\n1\n-0.05 0\n");
    const auto r = run("-m3 mc.in");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(has(r.output, "Invalid spatially uniform overland flow Manning n value="));
    const std::vector<std::string> log = lines_of(read_file(dir.file("log_file_p0.log")));
    ASSERT_EQ(log.size(), 3u);
    for (const std::string& line : log) EXPECT_EQ(line.rfind("999999.990000:  -0.0", 0), 0u) << line;
    EXPECT_FALSE(exists("0_cost.out"));
}

TEST_F(CalibrationProgram, BatchRunsAreNumberedAndIndependent) {
    dir.write("batch.prj",
              std::string("KESTAPROJECT\nREPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\nMANNING_N [N]\n"
                          "MAP_TYPE 0\nDEPTH maps\nTVM_HYDRO tvm.out\n") +
                  kProjectBody);
    std::filesystem::create_directory(dir.file("maps"));
    // The first and the last run take the same value around a different one.
    dir.write("values.txt", "0.05\n0.1\n0.05\n");
    const auto r = run("-b3 batch.prj");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("KESTA is running in batch mode, and is running 3 runs...\n"), r.output.find('\n') + 1);

    for (const char* run_no : {"0000_", "0001_", "0002_"})
        for (const char* name : {"hyd.out", "sig.out", "summ.out", "tvm.out", "maps/depth.0001.asc"})
            EXPECT_TRUE(exists(name[0] == 'm' ? std::string("maps/") + run_no + (name + 5) : run_no + std::string(name)))
                << run_no << name;
    EXPECT_FALSE(exists("hyd.out"));
    EXPECT_FALSE(exists("0003_hyd.out"));
    EXPECT_EQ(lines_of(read_file(dir.file("out_time.out"))).size(), 3u);

    const std::string first = read_file(dir.file("0000_sig.out"));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(read_file(dir.file("0002_sig.out")), first);
    EXPECT_EQ(read_file(dir.file("0002_hyd.out")), read_file(dir.file("0000_hyd.out")));
    EXPECT_NE(read_file(dir.file("0001_sig.out")), first);
    // Each run's map frames are its own, and its hydrograph file for the
    // graphical product is read from its own outlet hydrograph.
    EXPECT_FALSE(exists("maps/depth.0001.asc"));
    EXPECT_NE(read_file(dir.file("maps/0001_depth.0002.asc")), read_file(dir.file("maps/0000_depth.0002.asc")));
    const std::vector<std::string> tvm = lines_of(read_file(dir.file("0001_tvm.out")));
    ASSERT_GE(tvm.size(), 7u);
    EXPECT_EQ(tvm[5], std::to_string(lines_of(read_file(dir.file("0001_hyd.out"))).size()));
    // Each summary names the value its run used.
    EXPECT_TRUE(has(read_file(dir.file("0001_summ.out")), "[N]            = 0.100000"));
    EXPECT_TRUE(has(read_file(dir.file("0002_summ.out")), "[N]            = 0.050000"));
}

// A mode that stops on its own error says it last, on standard error too, as
// a stopped run does; so does one that ends without a result.
TEST_F(CalibrationProgram, ModesThatStopOnAnErrorSayItOnStandardError) {
    dir.write("sce.in", "calib.prj\nparams.txt\nno_obs.txt\n6 3 0.001 1 1969 0 1\n0 0 0 0 0 0\n0.05 0.01 0.2\n");
    auto r = kesta_test::run_kesta_apart("-c sce.in", dir.path().string());
    EXPECT_EQ(r.status, 1);
    const std::string no_obs =
        "Error: unable to open the observation file no_obs.txt for reading or problem while reading it.\n";
    EXPECT_EQ(r.errors, no_obs);
    EXPECT_TRUE(has(r.output, "\n\n" + no_obs)) << r.output;

    r = kesta_test::run_kesta_apart("-m2 absent.in", dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Can't open Monte Carlo input file absent.in\n");

    dir.write("obs.txt", "1\n0.1 1 100 1\n");
    dir.write("mc.in", "calib.prj\nno_params.txt\nobs.txt\n1\n0.04 0.06\n");
    r = kesta_test::run_kesta_apart("-m2 mc.in", dir.path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "Error: the replacement parameter file no_params.txt could not be read: the trial's model run "
                        "is not made.\nNo best objective function value: none of the 2 Monte Carlo runs ended "
                        "normally with results to score against the observations.\n");
}

// The files docs/outputs.md lists under "Calibration and Monte Carlo
// files", by the modes it says write them: each mode writes its own and the
// shared ones, and no other; the batch mode writes none of them.
TEST_F(CalibrationProgram, EachModeWritesTheFilesTheOutputsDocumentListsForIt) {
    const std::string docs = read_file(KESTA_SOURCE_DIR "/docs/outputs.md");
    const std::size_t at = docs.find("\n## Calibration and Monte Carlo files\n");
    ASSERT_NE(at, std::string::npos);
    std::map<std::string, std::vector<std::string>> listed;  // by "both", "-c" or "-m"
    std::string group;
    for (const std::string& line : lines_of(docs.substr(at + 1, docs.find("\n## ", at + 1) - at))) {
        if (line == "Written by both modes:") group = "both";
        if (line.rfind("Written by `-c` only", 0) == 0) group = "-c";
        if (line.rfind("Written by `-m` only", 0) == 0) group = "-m";
        if (line.rfind("- `", 0) == 0 && !group.empty()) listed[group].push_back(line.substr(3, line.find('`', 3) - 3));
    }
    ASSERT_EQ(listed.size(), 3u);
    const auto expect_written = [&](const std::string& mode, const std::string& other) {
        for (const std::string& name : listed["both"]) EXPECT_TRUE(exists(name)) << mode << " " << name;
        for (const std::string& name : listed[mode]) EXPECT_TRUE(exists(name)) << mode << " " << name;
        for (const std::string& name : listed[other]) EXPECT_FALSE(exists(name)) << mode << " " << name;
        for (const auto& [group, names] : listed)
            for (const std::string& name : names) std::filesystem::remove(dir.file(name));
    };
    dir.write("obs.txt", "1\n0.1 1 100 1\n");
    dir.write("mc.in", "calib.prj\nparams.txt\nobs.txt\n1\n0.04 0.06\n");
    const auto m = run("-m2 mc.in");
    ASSERT_EQ(m.status, 0) << m.output;
    // Both runs are numbered 0000, the second over the first.
    EXPECT_TRUE(exists("0000_summ.out"));
    EXPECT_FALSE(exists("0001_summ.out"));
    // One uniform-rain event: its line, then the event count plus one and the run's volume.
    const std::vector<std::string> optim = lines_of(read_file(dir.file("0000_kesta_optim.out")));
    ASSERT_EQ(optim.size(), 2u);
    EXPECT_EQ(optim[1].rfind("2 ", 0), 0u) << optim[1];
    EXPECT_NEAR(kesta_test::numbers(optim[0]).at(2), kesta_test::numbers(optim[1]).at(1), 0.05);
    expect_written("-m", "-c");

    dir.write("sce.in", "calib.prj\nparams.txt\nobs.txt\n6 3 0.001 1 1969 0 1\n0 0 0 0 0 0\n0.05 0.01 0.2\n");
    const auto c = run("-c sce.in");
    ASSERT_EQ(c.status, 0) << c.output;
    expect_written("-c", "-m");

    dir.write("batch.prj", std::string("KESTAPROJECT\nREPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\n"
                                       "MANNING_N [N]\n") +
                               kProjectBody);
    dir.write("values.txt", "0.05\n0.1\n");
    const auto b = run("-b2 batch.prj");
    ASSERT_EQ(b.status, 0) << b.output;
    for (const auto& [mode, names] : listed)
        for (const std::string& name : names) EXPECT_FALSE(exists(name)) << "-b " << name;
}

}  // namespace
