// The calibration objective: observed peak discharges and volumes with their
// weights, the scores of one run against them, and the callback that makes
// one calibration trial out of one whole model run.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "calibration/optim_record.hpp"
#include "core/file_opener.hpp"

namespace kesta {

// A cost over a trial parameter vector; `params` is 1-based (element 0 is not
// used). The optimiser minimises the absolute value of the cost.
using objective_fn = std::function<double(const std::vector<double>& params)>;

// The cost of a run that cannot be scored: it stopped on an error, or its
// result tables lack a weighted value or a slot the observations name.
constexpr double kUnscoredCost = 999999.99;

// True when `cost` scores a run: it is neither kUnscoredCost nor a NaN. A
// trial whose cost is not scored ranks below every scored one, however large
// the scored cost.
bool is_scored_cost(double cost);

// A weight takes part when it is above this.
constexpr double kWeightPresent = 1e-6;

class calib_objective {
public:
    // Reads the count on the first line, then per slot: observed peak, peak
    // weight, observed volume, volume weight. Lines go through the line
    // reader, so replacement applies. Returns 1, or -1 when the file cannot be
    // opened, the count is not positive, a line is missing or a value is not a
    // number.
    int read_observation_file(const std::string& file);

    // Scores one run: appends the HMLE block, a cost block and the observation
    // block to the rank's log files. `peaks` and `volumes` are the run's
    // 1-based result tables (slot k compared with observation k).
    void evaluate(const std::vector<double>& peaks, const std::vector<double>& volumes, int rank);

    // Sum over slots of |relative difference x weight| (the difference alone
    // where the observation is 0), appended to "<rank>_cost.out". Returns
    // kUnscoredCost when a weighted value or a slot is missing and -1.0 when
    // no slot carries a weight.
    double write_cost_file(const std::vector<double>& peaks, const std::vector<double>& volumes, int rank);

    // Heteroscedastic maximum likelihood estimator (weights from the squared
    // observations, volumes scaled to peak units), appended to
    // "<rank>_hmle.out". Terms whose observation is 0 are skipped. Same
    // special values as write_cost_file.
    double write_hmle_file(const std::vector<double>& peaks, const std::vector<double>& volumes, int rank);

    // Appends the observations and weights to "<rank>_obs.log".
    void write_obs_log(const std::vector<double>& peaks, const std::vector<double>& volumes, int rank) const;

    int count() const { return count_; }

    // Trials whose model run stopped on an error, or could not be set up.
    int failed_runs() const { return failed_runs_; }
    void add_failed_run() { ++failed_runs_; }

    // The trial vector `params` (1-based) as the run's input lines received
    // it: an integer parameter ("%d") with its value rounded. Known from the
    // first trial that read the replacement parameter file; until then, and
    // for parameters past the declared ones, the values as given.
    std::vector<double> as_substituted(const std::vector<double>& params) const;
    // Flags from integer_replace_params(), in declaration order (1-based).
    void set_integer_params(std::vector<bool> flags) { integer_params_ = std::move(flags); }

private:
    // The largest observed peak over the largest observed volume; 0 when no
    // volume is positive, which leaves the volume terms out of the HMLE.
    void update_ratio();
    bool tables_cover(const std::vector<double>& peaks, const std::vector<double>& volumes) const;

    // 1-based, count_ + 1 entries each.
    std::vector<double> observed_peak_{0.0};
    std::vector<double> observed_volume_{0.0};
    std::vector<double> peak_weight_{0.0};
    std::vector<double> volume_weight_{0.0};
    int count_ = 0;
    double peak_volume_ratio_ = 0.0;
    int failed_runs_ = 0;
    std::vector<bool> integer_params_;  // 1-based; empty until a trial has read them
};

// One calibration trial: reads the replacement parameter file, loads params
// (1-based, `count` values) into it, runs the project through `run` with a
// result record
// and scores the record. Outputs of the run carry the process rank as their
// "%04d_" prefix. Returns the cost; a run that stopped on an error costs
// kUnscoredCost and is counted in objective.failed_runs().
double calib_objective_run(const std::string& replace_file, const std::string& project_file,
                           const std::vector<double>& params, calib_objective& objective, int count,
                           model_runner run);

// The errors of a calibration mode itself (its control and observation
// files, the set-up of the search, a trial that could not be made, a mode
// that ends without a result), as against those of its model runs, which
// each run says itself. Each is printed on standard output when given; the
// distinct texts are kept, in order, for the mode's closing lines.
void mode_error(const std::string& text);
// Says the kept errors of the mode as a stopped run says its error
// (print_closing_error): after a blank line on standard output and on
// standard error too. Empties the list; nothing when it is empty.
void close_mode_errors();

// "best.out", the result of a whole calibration mode: created directly,
// never numbered per run. When it cannot be opened, says that the results go
// to the console only, and gives none.
file_ptr open_best_file();

}  // namespace kesta
