// Monte Carlo sampling: parameter vectors drawn uniformly within their
// bounds, one model run each, scored by the calibration objective, the best
// (smallest absolute cost) kept and reported.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "calibration/objective.hpp"
#include "core/file_opener.hpp"

namespace kesta {

class parallel_env;

class montecarlo {
public:
    // Reads the control file, seeds the generator with the rank and the
    // calendar time, opens "log_file_p<group>.log" on the first process of a
    // group and reads the observation file. The objective is a model run
    // made by `run` through calib_objective_run.
    montecarlo(int runs, const parallel_env& env, const std::string& control_file, model_runner run);
    virtual ~montecarlo() = default;
    montecarlo(const montecarlo&) = delete;
    montecarlo& operator=(const montecarlo&) = delete;

    // Control file: project file, replacement parameter file, observation
    // file, parameter count, then one "minimum maximum" line per parameter.
    // False (with a message) when it cannot be opened or read.
    virtual bool read_input(const std::string& control_file);
    // Draws the current vector: parameter k uniform in [min_k, max_k)
    // (exactly min_k when the two are equal). All zero on a process that
    // does not log.
    virtual void draw_parameters();

    // Appends the cost and the current vector, as the run received it
    // (calib_objective::as_substituted), to the log.
    void log_run(double cost);
    // Makes every run; returns 1, or 0 at once when the input was not read.
    // The best run is the scored one (is_scored_cost) of smallest absolute
    // cost; only when no run was scored, the first run.
    int run();
    // Prints the best cost and vector (as its run received it) and writes
    // them to "best.out"; when no run was scored, says so in both places
    // instead.
    void report_best();

    // Stands in for the model run (for a plain cost function).
    void set_objective(objective_fn fn) { objective_ = std::move(fn); }

    bool input_ok() const { return input_ok_; }
    bool observations_ok() const { return observations_ok_; }
    const std::string& observation_file() const { return observation_file_; }
    int runs() const { return runs_; }
    double best_cost() const { return best_cost_; }
    int scored_runs() const { return scored_runs_; }
    const std::vector<double>& best() const { return best_; }          // 1-based
    const std::vector<double>& current() const { return current_; }    // 1-based
    const calib_objective& calibration() const { return calib_; }

private:
    bool log_flag_ = false;
    int process_ = 0;
    const parallel_env& env_;
    calib_objective calib_;
    file_ptr log_;
    std::string project_file_, replace_file_, observation_file_;
    int runs_ = 0;
    int count_ = 0;
    std::vector<double> min_{0.0}, max_{0.0}, current_{0.0}, best_{0.0};  // 1-based
    bool input_ok_ = false;
    bool observations_ok_ = false;
    double best_cost_ = 0.0;
    bool best_scored_ = false;
    int scored_runs_ = 0;
    objective_fn objective_;
};

}  // namespace kesta
