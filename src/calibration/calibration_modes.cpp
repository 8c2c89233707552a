// The -c and -m modes: a search or a sample of model runs scored against the
// observations, ending with the best parameters on the console and in
// "best.out".
#include <algorithm>
#include <cstdio>

#include "calibration/monte_carlo.hpp"
#include "calibration/multi_run.hpp"
#include "calibration/sce_ua.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

void observation_error(const std::string& file) {
    mode_error(format_text("Error: unable to open the observation file %s for reading or problem while reading "
                           "it.\n",
                           file.c_str()));
}

// The mode's result: its closing lines when it failed.
int mode_result(int failed) {
    if (failed != 0) close_mode_errors();
    return failed;
}

}  // namespace

int run_sce_calibration(parallel_env&, const std::string& control_file, model_runner run) {
    sce_ua sce;
    sce.setup(control_file, "sce_output.out", 1, 1);
    // A set-up that failed has said why; the search below refuses to run.
    if (sce.ready()) {
        if (!sce.make_objective()) {
            observation_error(sce.observation_file());
            return mode_result(1);
        }
        calib_objective* calib = sce.calibration();
        const std::string replace_file = sce.replace_file();
        const std::string project_file = sce.project_file();
        const int nopt = sce.settings().nopt;
        sce.set_objective([calib, replace_file, project_file, nopt, run](const std::vector<double>& params) {
            return calib_objective_run(replace_file, project_file, params, *calib, nopt, run);
        });
    }
    const int trials = sce.sceua();
    if (trials < 1) {
        mode_error("Error: unable to successfully run the SCE method\n");
        return mode_result(1);
    }

    if (sce.scored_trials() == 0) {
        // The best of costs that stand for failures would pass for a result.
        const std::string none = format_text("No best results: none of the %d runs of the SCE calibration ended "
                                             "normally with results to score against the observations.\n",
                                             trials - 1);
        mode_error(none);
        file_ptr fp = open_best_file();
        put_text(fp.get(), none);
        return mode_result(std::max(sce.calibration()->failed_runs(), 1));
    }
    // The values the best trial's run received, not the optimiser's point.
    std::vector<double> best;
    sce.get_best(best);
    best = sce.shown(best);
    std::printf("The best results of the SCE calibration after %d runs:\n", trials);
    file_ptr fp = open_best_file();
    if (fp) std::fprintf(fp.get(), "The best results of the SCE calibration %d runs:\n", trials);
    for (std::size_t j = 1; j < best.size(); ++j) {
        std::printf("%lf\n", best[j]);
        if (fp) std::fprintf(fp.get(), "%lf\n", best[j]);
    }
    return mode_result(sce.calibration()->failed_runs());
}

int run_monte_carlo(parallel_env& env, int num_runs, const std::string& control_file, model_runner run) {
    montecarlo mc(num_runs, env, control_file, run);
    // The control file's reader has said why it failed.
    if (!mc.input_ok()) return mode_result(1);
    if (!mc.observations_ok()) {
        observation_error(mc.observation_file());
        return mode_result(1);
    }
    mc.run();
    mc.report_best();
    if (mc.scored_runs() == 0) return mode_result(std::max(mc.calibration().failed_runs(), 1));
    return mode_result(mc.calibration().failed_runs());
}

}  // namespace kesta
