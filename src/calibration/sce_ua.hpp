// The shuffled complex evolution optimiser (SCE-UA): a population of points
// in a box of parameter bounds, partitioned into complexes that evolve by
// competitive complex evolution and are shuffled after every loop, until the
// trial budget is spent, the best criterion stops improving or the
// population has shrunk into a tiny part of the box.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "calibration/objective.hpp"
#include "core/file_opener.hpp"

namespace kesta {

// One step of the minimal standard generator, x' = 16807 x mod (2^31 - 1),
// computed without overflow (Schrage). `x` must lie in 1 .. 2^31 - 2.
std::int32_t minstd_step(std::int32_t x);

// The optimiser's deviates: the minimal standard generator behind a 32-entry
// shuffle table, and Gaussian deviates from pairs of them.
class sce_random {
public:
    explicit sce_random(int seed = 1) { reseed(seed); }
    // Seeds with |seed| (at least 1): runs the generator 40 times and fills
    // the table from the last 32 draws. Forgets a saved Gaussian deviate.
    void reseed(int seed);
    // In [0, 0.99999988].
    double uniform();
    // Standard normal (polar Box-Muller; the second value of a pair is kept
    // for the next call).
    double gaussian();

private:
    std::int32_t state_ = 1;
    std::int32_t last_ = 0;  // previous output; picks the next table slot
    std::array<std::int32_t, 32> table_{};
    bool have_saved_ = false;
    double saved_ = 0.0;
};

// The control values of a search, as the control file gives them and as
// check_params corrects them.
struct sce_settings {
    int maxn = 0;         // trial budget
    int kstop = 0;        // loops over which the best criterion must change
    double pcento = 0.0;  // relative change below which the search stops
    int ngs = 0;          // complexes
    int iseed = 0;        // generator seed (0 means 3737)
    int ideflt = 0;       // 1: npg .. iprint are taken from the file
    int nopt = 0;         // parameters
    int npg = 0;          // points per complex
    int nps = 0;          // points per sub-complex
    int nspl = 0;         // evolution steps per complex between shuffles
    int mings = 0;        // fewest complexes the population may shrink to
    int iniflg = 0;       // 1: the start point is a member of the first population
    int iprint = 0;       // 1: the whole population is logged after every loop
};

class sce_ua {
public:
    // Reads the control file and checks its values. With `log_flag`, the
    // search is reported in `output_file`. With `callback_flag`, the control
    // file first names the project, replacement parameter and observation
    // files, and the objective is a model run (make_objective). Returns
    // ready().
    bool setup(const std::string& control_file, const std::string& output_file, int log_flag, int callback_flag);
    // Reads the control stream; false (with a message) when it is short or a
    // value is malformed, or a lower bound is not below its upper bound.
    bool scein(std::FILE* control);
    // Applies the defaults and corrects invalid settings with a warning each.
    // Returns the number of warnings, or -1 when the number of complexes is
    // not valid (the search then refuses to run).
    int check_params();
    // Builds the calibration objective from the observation file the control
    // file names; false when it cannot be read.
    bool make_objective();
    // The function minimised: the absolute value of its result is the
    // criterion of a point.
    void set_objective(objective_fn fn) { objective_ = std::move(fn); }

    // Runs the search. Returns the trial counter (one more than the number of
    // criterion evaluations), or -1 when the search cannot run.
    int sceua();
    // Fills `best` (1-based) with the best point found, as the optimiser
    // holds it (see shown for the values its run received).
    void get_best(std::vector<double>& best) const { best = best_x_; }
    double best_criterion() const { return best_f_; }
    // Trials of the last search whose cost was scored (is_scored_cost): their
    // run ended normally and could be scored. A trial that was not scored
    // ranks below every scored one.
    int scored_trials() const { return scored_trials_; }
    // Point `x` (1-based) as the run's input lines received it: with the
    // calibration objective, integer parameters rounded; otherwise `x`.
    std::vector<double> shown(const std::vector<double>& x) const;

    bool ready() const { return ready_; }
    const sce_settings& settings() const { return s_; }
    const std::string& project_file() const { return project_file_; }
    const std::string& replace_file() const { return replace_file_; }
    const std::string& observation_file() const { return observation_file_; }
    calib_objective* calibration() { return calib_.get(); }

private:
    struct point {
        std::vector<double> x;  // 1-based
        double f = 0.0;         // criterion: |cost|, or kUnscoredCost when not scored
        bool scored = true;
    };
    // The ranking of the search: scored points first, by criterion.
    static bool ranks_before(const point& a, const point& b);

    void message(const std::string& text, bool to_log = true);
    bool inside(const std::vector<double>& x) const;
    void trial(point& p);
    void log_trial(const point& p);
    void random_point(bool gaussian, const std::vector<double>& centre, const std::vector<double>& spread,
                      std::vector<double>& x);
    void population_stats(const std::vector<point>& pop);
    void select_subcomplex(std::vector<int>& lcs);
    void evolve(std::vector<point>& s);
    void log_loop(int nloop, int ngs, const std::vector<point>& pop);

    std::string project_file_, replace_file_, observation_file_;
    std::string control_name_;
    int log_flag_ = 0;
    int callback_flag_ = 0;
    bool ready_ = false;
    file_ptr out_;       // sce_output.out
    file_ptr trial_log_;  // log_file.txt, opened at the first row
    bool trial_log_failed_ = false;

    sce_settings s_;
    std::vector<double> a_{0.0}, bl_{0.0}, bu_{0.0};  // 1-based

    objective_fn objective_;
    std::unique_ptr<calib_objective> calib_;
    sce_random rng_;

    // Search state.
    int counter_ = 1;
    int scored_trials_ = 0;
    point lowest_;  // criterion of the best trial so far (its x is not kept)
    std::vector<double> spread_;  // per-parameter std / range of the population
    double gnrng_ = 0.0;
    std::vector<double> best_x_;
    double best_f_ = 0.0;
};

}  // namespace kesta
