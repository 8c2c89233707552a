#include "calibration/monte_carlo.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/line_reader.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"

namespace kesta {

montecarlo::montecarlo(int runs, const parallel_env& env, const std::string& control_file,
                       model_runner run)
    : process_(env.group_id()), env_(env) {
    const int size = env.world_size() > 0 ? env.world_size() : 1;
    runs_ = runs / size;
    input_ok_ = read_input(control_file);
    std::srand(static_cast<unsigned>(env.world_rank() + static_cast<long>(std::time(nullptr))));
    if (env.group_rank() == 0) {
        // Created directly: a log of the whole mode, never numbered per run.
        const std::string name = format_text("log_file_p%d.log", process_);
        log_.reset(std::fopen(name.c_str(), "w"));
        log_flag_ = true;
    }
    best_.assign(static_cast<std::size_t>(count_) + 1, 0.0);
    observations_ok_ = calib_.read_observation_file(observation_file_) == 1;
    objective_ = [this, run](const std::vector<double>& params) {
        return calib_objective_run(replace_file_, project_file_, params, calib_, count_, run);
    };
}

bool montecarlo::read_input(const std::string& control_file) {
    std::string name = control_file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) {
        mode_error(format_text("Can't open Monte Carlo input file %s\n", name.c_str()));
        return false;
    }
    line_cursor line;
    int line_no = 0;
    auto refuse = [&]() {
        mode_error(format_text("Error in the Monte Carlo input file %s, line %d: %s\n", name.c_str(), line_no,
                               echoed(line.text()).c_str()));
        return false;
    };
    std::string* names[3] = {&project_file_, &replace_file_, &observation_file_};
    for (std::string* target : names) {
        ++line_no;
        if (!read_line(line, fp.get()) || pop_string(line, *target) != 1) return refuse();
    }
    int count = 0;
    ++line_no;
    if (!read_line(line, fp.get()) || !pop_int_strict(line, count) || count < 1) return refuse();
    std::vector<double> lower{0.0}, upper{0.0};
    for (int k = 1; k <= count; ++k) {
        ++line_no;
        double lo = 0.0, hi = 0.0;
        if (!read_line(line, fp.get()) || !pop_double_strict(line, lo) || !pop_double_strict(line, hi))
            return refuse();
        if (lo > hi) {
            mode_error(format_text("Error in the Monte Carlo input file %s, line %d: the minimum %lf of parameter "
                                   "%d is above its maximum %lf\n",
                                   name.c_str(), line_no, lo, k, hi));
            return false;
        }
        lower.push_back(lo);
        upper.push_back(hi);
    }
    count_ = count;
    min_ = std::move(lower);
    max_ = std::move(upper);
    current_.assign(static_cast<std::size_t>(count_) + 1, 0.0);
    return true;
}

void montecarlo::draw_parameters() {
    current_.assign(static_cast<std::size_t>(count_) + 1, 0.0);
    if (log_flag_) {
        // RAND_MAX + 1 keeps every draw below its maximum whatever the
        // platform's generator range.
        for (std::size_t k = 1; k <= static_cast<std::size_t>(count_); ++k)
            current_[k] = min_[k] + (max_[k] - min_[k]) * (std::rand() / (RAND_MAX + 1.0));
    }
    env_.broadcast(count_, current_.data() + 1);
}

void montecarlo::log_run(double cost) {
    if (!log_flag_ || !log_) return;
    std::FILE* fp = log_.get();
    std::fprintf(fp, "%lf:  ", cost);
    const std::vector<double> x = calib_.as_substituted(current_);
    for (std::size_t k = 1; k <= static_cast<std::size_t>(count_); ++k) std::fprintf(fp, "%lf ", x[k]);
    std::fputs("\n", fp);
    std::fflush(fp);
}

int montecarlo::run() {
    if (!input_ok_) return 0;
    for (int i = 0; i < runs_; ++i) {
        draw_parameters();
        const double cost = objective_(current_);
        log_run(cost);
        const bool scored = is_scored_cost(cost);
        if (scored) ++scored_runs_;
        // A scored run beats one that stopped or could not be scored, whatever
        // its cost; otherwise ties keep the earlier run.
        if (i == 0 || (scored && !best_scored_) ||
            (scored == best_scored_ && std::fabs(cost) < std::fabs(best_cost_))) {
            best_cost_ = cost;
            best_ = current_;
            best_scored_ = scored;
        }
    }
    return 1;
}

void montecarlo::report_best() {
    std::fflush(stdout);
    if (scored_runs_ == 0) {
        // The best of costs that stand for failures would pass for a result.
        const std::string none = format_text("No best objective function value: none of the %d Monte Carlo runs "
                                             "ended normally with results to score against the observations.\n",
                                             runs_);
        std::printf("\n\n");
        mode_error(none);
        file_ptr fp = open_best_file();
        put_text(fp.get(), none);
        return;
    }
    // The values the best run received, not the draw.
    const std::vector<double> best = calib_.as_substituted(best_);
    std::string text = format_text("%lf:  ", best_cost_);
    std::printf("\n\nBest objective function value: %lf\nParameters:\n ", best_cost_);
    for (std::size_t k = 1; k <= static_cast<std::size_t>(count_); ++k) {
        std::printf("%lf ", best[k]);
        text += format_text("%lf ", best[k]);
    }
    std::printf("\n");
    text += "\n";
    file_ptr fp = open_best_file();
    put_text(fp.get(), text);
}

}  // namespace kesta
