// The run driver's order of steps and its guard, watched through the step
// observer, which also stands in for every step so the physics plays no part;
// then whole runs of the program and one real run stopped by a fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "model/run_model.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta::model_state;

struct driver_script {
    std::vector<std::string> trace;
    // What a step does in place of its real body, by step name.
    std::map<std::string, std::function<void(model_state&)>> actions;
    int passes_wanted = 1;  // passes of the time loop before `running` drops
    int passes = 0;
};

driver_script* g_script = nullptr;

bool scripted_step(model_state& m, const char* name) {
    driver_script& s = *g_script;
    s.trace.emplace_back(name);
    if (s.trace.back() == "init_run_times") m.running = 1;
    if (s.trace.back() == "advance_clock" && ++s.passes >= s.passes_wanted) m.running = 0;
    auto it = s.actions.find(name);
    if (it != s.actions.end()) it->second(m);
    return false;
}

class RunDriver : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = &script;
        kesta::set_step_observer(scripted_step);
    }
    void TearDown() override {
        kesta::set_step_observer(nullptr);
        g_script = nullptr;
        g_error_record.clear_for_run();
    }
    // Runs the model in a scratch folder; returns run_model's result.
    int run() {
        int rc = 0;
        output = kesta_test::printed_by([&] { rc = kesta::run_model("project.prj", nullptr); });
        return rc;
    }
    std::vector<std::string> after(const std::string& name) const {
        for (std::size_t i = 0; i < script.trace.size(); ++i)
            if (script.trace[i] == name)
                return std::vector<std::string>(script.trace.begin() + static_cast<long>(i) + 1, script.trace.end());
        return {};
    }
    kesta_test::temp_dir dir{true};
    driver_script script;
    std::string output;
};

const std::vector<std::string> kStartup = {
    "read_run_parameters", "setup_nutrient_container", "check_run_options", "open_run_files", "write_startup_info",
    "setup_run_control", "read_model_inputs", "open_all_map_outputs", "write_linknode_headers",
    "open_nutrient_outputs", "build_cell_connectivity", "init_overland_slopes",
    "setup_optim_and_precip_events", "init_cell_state", "setup_chan_point_sources",
    "alloc_optim_record", "read_exchange_files", "shift_relative_series", "init_surface_volume",
    "init_contam_soil_state", "init_run_times", "trigger_analyzers(init)"};

const std::vector<std::string> kPass = {
    "advance_clock", "step_event_precip", "start_event", "step_precip_period", "apply_precip",
    "add_cell_point_sources", "step_soil_et_accounting", "step_hydromet", "step_infiltration",
    "step_sacramento", "react_soil_nutrients", "step_soil_nutrients", "step_overland_flow", "step_storm_drain",
    "step_overland_contam_sediment", "react_overland_nutrients", "step_contam_processes",
    "step_overland_contam_transport", "step_groundwater", "step_overland_lake_extent", "step_channel_routing",
    "step_chan_point_input", "track_peak_flow", "step_channel_contam_transport", "react_channel_nutrients",
    "step_channel_wq_reactions",
    "step_channel_lake_contam_mass", "report_progress", "check_event_end", "update_at_event_end",
    "finish_event", "write_timeseries_output", "write_timeseries_maps", "trigger_analyzers(step)"};

TEST_F(RunDriver, NormalRunCallsEveryStepInItsFixedOrder) {
    script.passes_wanted = 3;
    EXPECT_EQ(run(), 0);
    std::vector<std::string> expected = kStartup;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), kPass.begin(), kPass.end());
    expected.insert(expected.end(), {"write_final_summaries", "trigger_analyzers(normal)", "close_output_files"});
    EXPECT_EQ(script.trace, expected);
    EXPECT_NE(output.find("total time to init(s): "), std::string::npos);
    EXPECT_NE(output.find("Running....\n"), std::string::npos);
    EXPECT_NE(output.find("Run time: "), std::string::npos);

    // Super quiet hides the init lines but not the run time.
    script = driver_script{};
    script.actions["read_run_parameters"] = [](model_state& m) { m.super_quiet = 1; };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(output.find("total time to init"), std::string::npos);
    EXPECT_EQ(output.find("Running...."), std::string::npos);
    EXPECT_NE(output.find("Run time: "), std::string::npos);
}

TEST_F(RunDriver, GuardedStepThatStoresAnErrorStopsAtOnceAndOnlyCloses) {
    script.actions["read_model_inputs"] = [](model_state&) {
        g_error_record.code = 4;
        g_error_record.item = "elevation";
        g_error_record.file_name = "elev.asc";
    };
    EXPECT_NE(run(), 0);
    EXPECT_EQ(after("read_model_inputs"), std::vector<std::string>{"close_output_files"});
    EXPECT_NE(output.find("\nError: Unable to open elevation file.\n  (File: elev.asc)\n"), std::string::npos);
    EXPECT_EQ(g_error_record.code, 0);
    EXPECT_EQ(output.find("Running...."), std::string::npos);
    // The error is said again after the run time, so that it ends the output.
    const auto after_run_time = [this] {
        const std::size_t at = output.find("Run time: ");
        return at == std::string::npos ? std::string("(no run time)") : output.substr(output.find('\n', at) + 1);
    };
    EXPECT_EQ(after_run_time(), "\nError: Unable to open elevation file.\n  (File: elev.asc)\n");

    // A caller's own message (code 4000) is said again when it was handed
    // over; when it was not, the last line points back to it.
    script = driver_script{};
    script.actions["read_model_inputs"] = [](model_state&) { kesta::store_refusal("Error: the map is bad.\n"); };
    EXPECT_NE(run(), 0);
    EXPECT_EQ(after_run_time(), "\nError: the map is bad.\n");
    script = driver_script{};
    script.actions["read_model_inputs"] = [](model_state&) {
        std::printf("Error: the table is bad.\n");
        g_error_record.fail(4000);
    };
    EXPECT_NE(run(), 0);
    EXPECT_EQ(after_run_time(), "\nError: the run failed on the error reported above.\n");
}

TEST_F(RunDriver, WarningCodePrintsAndTheRunGoesOn) {
    script.actions["setup_run_control"] = [](model_state&) { g_error_record.code = 55; };
    EXPECT_EQ(run(), 0);
    EXPECT_NE(output.find("\nWarning"), std::string::npos);
    EXPECT_EQ(script.trace.back(), "close_output_files");
    EXPECT_NE(std::find(script.trace.begin(), script.trace.end(), "write_final_summaries"), script.trace.end());
}

TEST_F(RunDriver, StoredCodeOrStopEndsTheRunAtTheNextCheckAndOnlyCloses) {
    const std::vector<std::string> close = {"close_output_files"};
    const struct {
        std::string step;  // the step that stores the code or the stop
        int code, stop;
        std::string last;  // the last step before the run ends
        std::vector<std::string> then;
        int passes;          // of the five wanted
        std::string absent;  // text the console must not show
    } cases[] = {
        {"step_overland_flow", 4000, 0, "step_overland_flow", close, 1, ""},  // within the pass
        {"open_all_map_outputs", 0, 1, "open_all_map_outputs", close, 0, "Error"},  // silently
        {"write_startup_info", 4000, 0, "setup_run_control", close, 0, ""},  // an unguarded step waits
        {"write_final_summaries", 4000, 0, "write_final_summaries", close, 5, ""},  // no normal end notice
        // A negative code ends the loop with the error notice and no message.
        {"trigger_analyzers(step)", -2, 0, "trigger_analyzers(step)",
         {"trigger_analyzers(error)", "close_output_files"}, 1, "Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        script = driver_script{};
        script.passes_wanted = 5;
        script.actions[c.step] = [&c](model_state&) {
            g_error_record.code = c.code;
            g_error_record.stop = c.stop;
        };
        EXPECT_NE(run(), 0);
        EXPECT_EQ(after(c.last), c.then);
        EXPECT_EQ(script.passes, c.passes);
        if (!c.absent.empty()) {
            EXPECT_EQ(output.find(c.absent), std::string::npos);
        }
    }
}

TEST_F(RunDriver, StepThatRunsOutOfMemoryStopsTheRunNamingItAndOnlyCloses) {
    const struct {
        std::string step;
        std::function<void(model_state&)> fault;
    } cases[] = {
        {"read_model_inputs", [](model_state&) { throw std::bad_alloc(); }},
        {"step_overland_flow", [](model_state&) { throw std::length_error("vector"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        script = driver_script{};
        script.passes_wanted = 3;
        script.actions[c.step] = c.fault;
        EXPECT_NE(run(), 0);
        EXPECT_EQ(after(c.step), std::vector<std::string>{"close_output_files"});
        EXPECT_NE(output.find("Error: KESTA ran out of memory in step " + c.step + "; the run stops.\n"),
                  std::string::npos);
    }
}

TEST_F(RunDriver, CodeLeftByAnalyzerSetupIsReportedBeforeTheErrorNotice) {
    script.actions["read_run_parameters"] = [](model_state& m) { m.project_options.analyzers_given = 1; };
    script.actions["setup_analyzers"] = [](model_state&) {
        g_error_record.code = 4;
        g_error_record.item = "analyzer";
        g_error_record.file_name = "an.txt";
    };
    EXPECT_NE(run(), 0);
    EXPECT_EQ(after("setup_analyzers"),
              (std::vector<std::string>{"trigger_analyzers(init)", "trigger_analyzers(error)", "close_output_files"}));
    EXPECT_NE(output.find("Unable to open analyzer file."), std::string::npos);
    EXPECT_EQ(output.find("Running...."), std::string::npos);
}

// Each run of a batch is reported and timed; a project file whose name
// begins with "-" is given with its folder, as "./-v".
TEST(RunProgram, ProjectFileThatCannotBeReadIsSaidToBeMissingAFolderOrUnreadableAndExitsOne) {
    const struct {
        std::string args, says;
        long runs;
    } cases[] = {
        {"none.prj", "\nError: The specified project file was not found.\n  (File: none.prj)\n", 1},
        {"./-v", "\nError: The specified project file was not found.\n  (File: ./-v)\n", 1},
        {"-b2 none.prj", "\nError: The specified project file was not found.\n  (File: none.prj)\n", 2},
        {"folder.prj", "\nError: The specified project file is a folder, not a file.\n  (Folder: folder.prj)\n", 1},
        // A link to itself exists but opens for nobody, the superuser included.
        {"loop.prj", "\nError: The specified project file could not be read: " + std::string(std::strerror(ELOOP)) +
                         ".\n  (File: loop.prj)\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        kesta_test::temp_dir dir;
        std::filesystem::create_directory(dir.file("folder.prj"));
        std::filesystem::create_symlink("loop.prj", dir.file("loop.prj"));
        const auto r = kesta_test::run_kesta(c.args, dir.path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(kesta_test::has(r.output, c.says)) << r.output;
        EXPECT_TRUE(kesta_test::has(r.output, "Run time: "));
        EXPECT_FALSE(kesta_test::has(r.output, "Running...."));
        EXPECT_FALSE(kesta_test::has(r.output, "KESTA version"));
        const std::string times = kesta_test::read_file(dir.file("out_time.out"));
        EXPECT_EQ(times.rfind("total time (s): ", 0), 0u);
        EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), c.runs);
    }
}

}  // namespace

// A real run of a small plane whose third step of rain leaves a depth that is
// not a number: the error, and when the run stopped, reach the summary as
// well as the console, and the hydrograph keeps the lines it was given.
int g_rain_steps = 0;

bool poison_third_rain(model_state& m, const char* name) {
    if (std::string(name) == "apply_precip" && ++g_rain_steps == 3) m.ri[1] = 1e308;
    return true;
}

TEST(RunStop, ErrorDuringTheSimulationIsInTheSummaryAndTheOutputsKeepWhatTheyHave) {
    kesta_test::temp_dir dir{true};
    dir.write("mask.asc", kesta_test::cross_mask(100.0));
    dir.write("elev.asc", kesta_test::cross_elevation(100.0));
    dir.write("p.prj",
              "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 100\nROWS 3\nCOLS 3\n"
              "TOT_TIME 10\nTIMESTEP 60\nMANNING_N 0.05\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nHYD_FREQ 1\n"
              "PRECIP_UNIF\nRAIN_INTENSITY 50\nRAIN_DURATION 10\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
              "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\n");
    g_rain_steps = 0;
    const auto [rc, console] = kesta_test::run_in_process("p.prj", poison_third_rain);
    EXPECT_NE(rc, 0);
    const std::string error = "A non-real number for water depth has been detected for overland cell 1 after "
                              "applying rainfall\n";
    EXPECT_NE(console.find(error), std::string::npos) << console;
    const std::string summary = kesta_test::read_file("summ.out");
    const std::size_t at = summary.find("Running.... \n\n" + error);
    ASSERT_NE(at, std::string::npos) << summary;
    EXPECT_NE(summary.find("\nThe run stopped on the error above at 2.00 minutes of simulated time (6/1/2020 12:02).\n",
                           at),
              std::string::npos)
        << summary;
    // The lines of steps 0 and 1.
    const std::string hyd = kesta_test::read_file("hyd.out");
    EXPECT_EQ(hyd.rfind("    0.00 ", 0), 0u) << hyd;
    EXPECT_EQ(std::count(hyd.begin(), hyd.end(), '\n'), 2) << hyd;
}
