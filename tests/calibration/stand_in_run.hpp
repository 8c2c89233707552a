// A stand-in for the model's physics, installed through the run driver's
// step observer: the run reads the first line of its project file through
// the line reader (so placeholders are replaced), takes "PEAK <value>" from
// it as the outlet peak of its one event, and skips every real step. It lets
// the calibration drivers be tested on whole runs with a known answer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/optim_record.hpp"
#include "calibration/replace_params.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "model/model_state.hpp"
#include "model/run_driver.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

struct stand_in_script {
    bool read_replace_cards = false;  // act as the project cards REPLACE_PARAMS and REPLACE_VALS
    int fail_from_run = 0;            // runs numbered from 1 at or after this one stop on an error
    int runs = 0;
    std::vector<std::string> lines;         // first project line of each run, replaced
    std::vector<std::string> output_paths;  // where each run would write "out.txt"
};

inline stand_in_script*& current_stand_in() {
    static stand_in_script* script = nullptr;
    return script;
}

inline bool stand_in_step(kesta::model_state& m, const char* name) {
    stand_in_script& s = *current_stand_in();
    const std::string step = name;
    if (step == "read_run_parameters") {
        ++s.runs;
        if (s.read_replace_cards) {
            kesta::read_replace_param_file("params.txt");
            kesta::read_replace_value_file("values.txt");
        }
        std::string file = m.project_file;
        kesta::file_ptr fp = kesta::open_file(file, "r", 0);
        kesta::line_cursor line;
        if (fp) kesta::read_line(line, fp.get());
        s.lines.push_back(line.text());
        s.output_paths.push_back(kesta::output_path("out.txt", "w", 1));
    } else if (step == "check_run_options" && s.fail_from_run > 0 && s.runs >= s.fail_from_run) {
        kesta::g_error_record.code = 4000;
    } else if (step == "alloc_optim_record" && m.run_result) {
        kesta::line_cursor line(s.lines.back());
        std::string card;
        double peak = -1.0;
        kesta::pop_string(line, card);
        kesta::pop_double(line, peak);
        m.run_result->num_events = 1;
        m.run_result->num_columns = 1;
        m.run_result->peak = {0.0, peak};
        m.run_result->volume = {0.0, 100.0};
    }
    return false;
}

// Installs the stand-in for the life of a test, in a scratch working folder,
// and restores the process-wide settings the drivers change.
class StandInRun : public ::testing::Test {
protected:
    void SetUp() override {
        current_stand_in() = &script;
        kesta::set_step_observer(stand_in_step);
    }
    void TearDown() override {
        kesta::set_step_observer(nullptr);
        current_stand_in() = nullptr;
        kesta::free_replace_list();
        kesta::set_replace_mode(false);
        kesta::set_replace_line(0);
        kesta::reset_file_opener_settings();
    }
    temp_dir dir{true};
    stand_in_script script;
};

}  // namespace kesta_test
