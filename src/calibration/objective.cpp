#include "calibration/objective.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calibration/optim_record.hpp"
#include "calibration/replace_params.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

// A simulated value below this was never written by the run.
constexpr double kMissingValue = -1e-16;

const char* const kRule79 =
    "-------------------------------------------------------------------------------\n";
const char* const kRule55 = "-------------------------------------------------------\n";

// "<rank><suffix>", opened for appending: never prefixed or redirected, so
// every run adds its blocks to the one file.
file_ptr open_log(int rank, const char* suffix) {
    std::string name = std::to_string(rank) + suffix;
    return open_file(name, "a", 0);
}

}  // namespace

bool is_scored_cost(double cost) { return cost != kUnscoredCost && !std::isnan(cost); }

std::vector<double> calib_objective::as_substituted(const std::vector<double>& params) const {
    std::vector<double> shown = params;
    for (std::size_t k = 1; k < shown.size() && k < integer_params_.size(); ++k)
        if (integer_params_[k]) shown[k] = substituted_int(shown[k]);
    return shown;
}

int calib_objective::read_observation_file(const std::string& file) {
    std::string name = file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) return -1;
    line_cursor line;
    int count = 0;
    if (!read_line(line, fp.get()) || !pop_int_strict(line, count) || count <= 0) return -1;

    std::vector<double> peak{0.0}, volume{0.0}, wpeak{0.0}, wvolume{0.0};
    for (int k = 1; k <= count; ++k) {
        if (!read_line(line, fp.get())) return -1;
        double values[4] = {0.0, 0.0, 0.0, 0.0};
        for (double& v : values) {
            if (!pop_double_strict(line, v)) {
                mode_error(format_text("Error: line %d of the observation file %s needs four numbers: %s\n", k + 1,
                                       name.c_str(), echoed(line.text()).c_str()));
                return -1;
            }
        }
        peak.push_back(values[0]);
        wpeak.push_back(values[1]);
        volume.push_back(values[2]);
        wvolume.push_back(values[3]);
    }
    observed_peak_ = std::move(peak);
    peak_weight_ = std::move(wpeak);
    observed_volume_ = std::move(volume);
    volume_weight_ = std::move(wvolume);
    count_ = count;
    return 1;
}

bool calib_objective::tables_cover(const std::vector<double>& peaks, const std::vector<double>& volumes) const {
    const std::size_t needed = static_cast<std::size_t>(count_) + 1;
    return !peaks.empty() && !volumes.empty() && peaks.size() >= needed && volumes.size() >= needed;
}

void calib_objective::update_ratio() {
    double max_peak = -1.0;
    double max_volume = -1.0;
    for (int k = 1; k <= count_; ++k) {
        max_peak = std::max(max_peak, observed_peak_[k]);
        max_volume = std::max(max_volume, observed_volume_[k]);
    }
    peak_volume_ratio_ = max_volume > 0.0 ? max_peak / max_volume : 0.0;
}

void calib_objective::evaluate(const std::vector<double>& peaks, const std::vector<double>& volumes, int rank) {
    write_hmle_file(peaks, volumes, rank);
    write_cost_file(peaks, volumes, rank);
    write_obs_log(peaks, volumes, rank);
}

double calib_objective::write_cost_file(const std::vector<double>& peaks, const std::vector<double>& volumes,
                                        int rank) {
    if (!tables_cover(peaks, volumes)) return kUnscoredCost;
    file_ptr fp = open_log(rank, "_cost.out");
    std::FILE* f = fp.get();
    double cost = 0.0;
    int points = 0;
    for (int k = 1; k <= count_; ++k) {
        if (peak_weight_[k] > kWeightPresent) {
            if (peaks[k] < kMissingValue) return kUnscoredCost;
            ++points;
            double d = peaks[k] - observed_peak_[k];
            put_text(f, format_text("p:%lf, %lf  ", peaks[k], d));
            if (observed_peak_[k] > 1e-16) d /= observed_peak_[k];
            cost += std::fabs(d * peak_weight_[k]);
        }
        if (volume_weight_[k] > kWeightPresent) {
            if (volumes[k] < kMissingValue) return kUnscoredCost;
            ++points;
            double d = volumes[k] - observed_volume_[k];
            put_text(f, format_text("v:%lf, %lf  ", volumes[k], d));
            put_text(f, "\n");
            if (observed_volume_[k] > 0.0) d /= observed_volume_[k];
            cost += std::fabs(d * volume_weight_[k]);
        }
    }
    if (points == 0) return -1.0;
    put_text(f, format_text("Total Points: %d\n", points));
    put_text(f, format_text("cost: %lf\n", cost));
    put_text(f, kRule79);
    return cost;
}

double calib_objective::write_hmle_file(const std::vector<double>& peaks, const std::vector<double>& volumes,
                                        int rank) {
    if (!tables_cover(peaks, volumes)) return kUnscoredCost;
    update_ratio();
    const double ratio = peak_volume_ratio_;
    file_ptr fp = open_log(rank, "_hmle.out");
    std::FILE* f = fp.get();
    // The bottom is the geometric mean of the weights, taken as the
    // exponential of the mean of their logarithms: a product of many squared
    // discharges would overflow.
    double top = 0.0;
    double log_sum = 0.0;
    int points = 0;
    for (int k = 1; k <= count_; ++k) {
        if (peak_weight_[k] > kWeightPresent) {
            if (peaks[k] < kMissingValue) return kUnscoredCost;
            const double w = observed_peak_[k] * observed_peak_[k];
            // An observation of 0 gives a weight of 0: it would make the
            // bottom 0, so the term is left out.
            if (w > 0.0 && std::isfinite(w)) {
                const double e = peaks[k] - observed_peak_[k];
                put_text(f, format_text("p:%lf, %lf  ", peaks[k], e));
                ++points;
                log_sum += std::log(w);
                top += w * e * e;
            }
        }
        if (volume_weight_[k] > kWeightPresent) {
            if (volumes[k] < kMissingValue) return kUnscoredCost;
            const double scaled = observed_volume_[k] * ratio;
            const double w = scaled * scaled;
            if (w > 0.0 && std::isfinite(w)) {
                const double e = volumes[k] - observed_volume_[k];
                put_text(f, format_text("v:%lf, %lf  ", volumes[k], e));
                ++points;
                log_sum += std::log(w);
                top += w * e * e * ratio * ratio;
                put_text(f, "\n");
            }
        }
    }
    if (points == 0) return -1.0;
    put_text(f, format_text("Total Points: %d\n", points));
    const double bottom = std::exp(log_sum / points);
    top /= points;
    put_text(f, format_text("top: %lf     bottom: %lf    hmle: %lf\n", top, bottom, top / bottom));
    put_text(f, kRule79);
    return top / bottom;
}

void calib_objective::write_obs_log(const std::vector<double>&, const std::vector<double>&, int rank) const {
    file_ptr fp = open_log(rank, "_obs.log");
    if (!fp) return;
    std::FILE* f = fp.get();
    put_text(f, kRule55);
    put_text(f, "Event    weight     peak       weight      volume\n");
    for (int k = 1; k <= count_; ++k)
        put_text(f, format_text("%-4d    %-4.2lf    %-8.2lf    %-4.2lf     %-10.2lf\n", k, peak_weight_[k],
                                observed_peak_[k], volume_weight_[k], observed_volume_[k]));
    put_text(f, "\n\n");
}

double calib_objective_run(const std::string& replace_file, const std::string& project_file,
                           const std::vector<double>& params, calib_objective& objective, int count,
                           model_runner run) {
    optim_record record;
    const int rank = g_parallel_env.world_rank();
    // The run's own outputs carry the rank as their prefix, so trials of
    // different processes never write the same file.
    set_output_prefixing(1);
    set_run_number(rank);

    // The list died with the previous run's model state; a failed read may
    // have left part of one.
    free_replace_list();
    if (read_replace_param_file(replace_file) != 0) {
        mode_error(format_text("Error: the replacement parameter file %s could not be read: the trial's model run "
                               "is not made.\n",
                               replace_file.c_str()));
        free_replace_list();
        objective.add_failed_run();
        return kUnscoredCost;
    }
    objective.set_integer_params(integer_replace_params());
    const std::size_t n = std::min(params.size(), static_cast<std::size_t>(std::max(count, 0)) + 1);
    set_replace_values(std::vector<double>(params.begin(), params.begin() + static_cast<long>(n)));

    if (run(project_file, &record) != 0) {
        objective.add_failed_run();
        return kUnscoredCost;
    }
    objective.evaluate(record.peak, record.volume, rank);
    return objective.write_cost_file(record.peak, record.volume, rank);
}

namespace {

std::vector<std::string> g_mode_errors;

}  // namespace

void mode_error(const std::string& text) {
    put_text(stdout, text);
    if (std::find(g_mode_errors.begin(), g_mode_errors.end(), text) == g_mode_errors.end())
        g_mode_errors.push_back(text);
}

void close_mode_errors() {
    std::string closing;
    for (const std::string& text : g_mode_errors) closing += text;
    g_mode_errors.clear();
    print_closing_error(closing);
}

file_ptr open_best_file() {
    file_ptr fp(std::fopen("best.out", "w"));
    if (!fp) std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
    return fp;
}

}  // namespace kesta
