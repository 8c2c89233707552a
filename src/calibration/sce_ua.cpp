#include "calibration/sce_ua.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/line_reader.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1
constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kSchrageQ = 127773;    // kModulus / kMultiplier
constexpr std::int32_t kSchrageR = 2836;      // kModulus % kMultiplier
constexpr std::int32_t kTableDivisor = 67108864;  // 1 + (kModulus - 1) / 32
constexpr double kScale = 4.656612875245797e-10;   // 1 / kModulus
constexpr double kLargestUniform = 0.99999988;

// Largest population a search accepts without correcting its settings.
constexpr int kPopulationLimit = 1320;
// Loops of best criteria kept for the change test (kstop looks back at most
// kHistory - 1 of them).
constexpr int kHistory = 20;
// The population has converged when its normalised geometric range is this
// small (0.1 % of the box).
constexpr double kConverged = 0.001;
// Floor of a variance and offset of a logarithm, so neither is ever 0.
constexpr double kDelta = 1e-20;

}  // namespace

std::int32_t minstd_step(std::int32_t x) {
    const std::int32_t k = x / kSchrageQ;
    std::int32_t next = kMultiplier * (x - k * kSchrageQ) - kSchrageR * k;
    if (next < 0) next += kModulus;
    return next;
}

void sce_random::reseed(int seed) {
    // |INT_MIN| does not exist as an int; any seed below 1 after the sign is
    // dropped becomes 1.
    std::int64_t s = seed < 0 ? -static_cast<std::int64_t>(seed) : seed;
    if (s < 1) s = 1;
    if (s >= kModulus) s %= kModulus;
    if (s < 1) s = 1;
    state_ = static_cast<std::int32_t>(s);
    for (int j = 40; j >= 1; --j) {
        state_ = minstd_step(state_);
        if (j <= 32) table_[static_cast<std::size_t>(j - 1)] = state_;
    }
    last_ = table_[0];
    have_saved_ = false;
    saved_ = 0.0;
}

double sce_random::uniform() {
    state_ = minstd_step(state_);
    const std::size_t slot = static_cast<std::size_t>(last_ / kTableDivisor);
    last_ = table_[slot];
    table_[slot] = state_;
    return std::min(kScale * last_, kLargestUniform);
}

double sce_random::gaussian() {
    if (have_saved_) {
        have_saved_ = false;
        return saved_;
    }
    double v1 = 0.0, v2 = 0.0, rsq = 0.0;
    do {
        v1 = 2.0 * uniform() - 1.0;
        v2 = 2.0 * uniform() - 1.0;
        rsq = v1 * v1 + v2 * v2;
    } while (rsq >= 1.0 || rsq == 0.0);
    const double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
    saved_ = v1 * fac;
    have_saved_ = true;
    return v2 * fac;
}

// ---------------------------------------------------------------------------
// Set-up

void sce_ua::message(const std::string& text, bool to_log) {
    std::fputs(text.c_str(), stdout);
    if (to_log && log_flag_) put_text(out_.get(), text);
}

bool sce_ua::setup(const std::string& control_file, const std::string& output_file, int log_flag,
                   int callback_flag) {
    ready_ = false;
    log_flag_ = log_flag;
    callback_flag_ = callback_flag;
    control_name_ = control_file;
    file_ptr control = open_file(control_name_, "r", 0);
    if (!control) {
        mode_error(format_text("Can't open SCE input file %s\n", control_name_.c_str()));
        return false;
    }
    if (log_flag_) {
        std::string name = output_file;
        out_ = open_file(name, "w", 0);
        if (!out_) {
            mode_error(format_text("Can't open output file %s\n", name.c_str()));
            return false;
        }
    }
    if (!scein(control.get())) return false;
    // An invalid number of complexes leaves no population to size.
    if (check_params() < 0) return false;
    ready_ = true;
    return true;
}

bool sce_ua::scein(std::FILE* control) {
    std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
    line_cursor line;
    int line_no = 0;
    auto next_line = [&]() {
        ++line_no;
        return read_line(line, control) == 1;
    };

    if (callback_flag_) {
        std::string* names[3] = {&project_file_, &replace_file_, &observation_file_};
        const char* kinds[3] = {"project", "replacement parameter", "observation"};
        for (int i = 0; i < 3; ++i) {
            if (!next_line() || pop_string(line, *names[i]) != 1) {
                mode_error(format_text("Error in your input file. Line %d must name the %s file.\n", line_no,
                                       kinds[i]));
                return false;
            }
        }
    }

    sce_settings s;
    if (!next_line() || !pop_int_strict(line, s.maxn) || !pop_int_strict(line, s.kstop) ||
        !pop_double_strict(line, s.pcento) || !pop_int_strict(line, s.ngs) || !pop_int_strict(line, s.iseed) ||
        !pop_int_strict(line, s.ideflt) || !pop_int_strict(line, s.nopt)) {
        mode_error("Error in your input file. The first line must have 7 parameters.\n");
        return false;
    }
    if (s.iseed == 0) s.iseed = 3737;
    if (s.nopt < 1) {
        mode_error(format_text("Error in your input file. The number of parameters %d must be at least 1.\n",
                               s.nopt));
        return false;
    }

    // Present in every file; its values count only with ideflt 1.
    bool second_ok = next_line();
    if (second_ok && s.ideflt == 1) {
        second_ok = pop_int_strict(line, s.npg) && pop_int_strict(line, s.nps) && pop_int_strict(line, s.nspl) &&
                    pop_int_strict(line, s.mings) && pop_int_strict(line, s.iniflg) &&
                    pop_int_strict(line, s.iprint);
    }
    if (!second_ok) {
        mode_error("Error in your input file. The second line must have 6 parameters.\n");
        return false;
    }

    std::vector<double> a{0.0}, bl{0.0}, bu{0.0};
    for (int j = 1; j <= s.nopt; ++j) {
        double start = 0.0, lower = 0.0, upper = 0.0;
        if (!next_line() || !pop_double_strict(line, start) || !pop_double_strict(line, lower) ||
            !pop_double_strict(line, upper)) {
            mode_error(format_text("Error in your input file %s. Line %d must hold the start value, lower and upper "
                                   "bound of parameter %d: %s\n",
                                   control_name_.c_str(), line_no, j, echoed(line.text()).c_str()));
            return false;
        }
        // The search divides by the range of every parameter.
        if (!(lower < upper)) {
            mode_error(format_text("Error in your input file %s. The lower bound %lf of parameter %d is not below "
                                   "its upper bound %lf.\n",
                                   control_name_.c_str(), lower, j, upper));
            return false;
        }
        a.push_back(start);
        bl.push_back(lower);
        bu.push_back(upper);
    }
    s_ = s;
    a_ = std::move(a);
    bl_ = std::move(bl);
    bu_ = std::move(bu);
    return true;
}

int sce_ua::check_params() {
    sce_settings& s = s_;
    if (s.ideflt != 1) {
        s.npg = 2 * s.nopt + 1;
        s.nps = s.nopt + 1;
        s.nspl = s.npg;
        s.mings = s.ngs;
        s.iniflg = 0;
        s.iprint = 0;
    }
    if (s.ngs < 1 || s.ngs >= kPopulationLimit) {
        const std::string text =
            format_text(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n", s.ngs);
        mode_error(text);
        if (log_flag_) put_text(out_.get(), text);
        return -1;
    }
    int warnings = 0;
    // kstop 0 would compare the best criterion with itself and stop after the
    // first loop; at most 19 keeps the look-back inside the history.
    if (s.kstop < 1 || s.kstop >= kHistory) {
        message(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
        message(format_text(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n", s.kstop));
        message(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
        s.kstop = 5;
        ++warnings;
    }
    if (s.mings < 1 || s.mings > s.ngs) {
        message(format_text(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n", s.mings));
        message(" SET IT TO DEFAULT\n");
        s.mings = s.ngs;
        ++warnings;
    }
    if (s.npg < 2 || s.npg > kPopulationLimit / s.ngs) {
        message(format_text(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n", s.npg));
        message(" A VALID CHOICE, SET IT TO DEFAULT\n");
        s.npg = 2 * s.nopt + 1;
        ++warnings;
    }
    if (s.nps < 2 || s.nps > s.npg || s.nps > 50) {
        message(format_text(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n", s.nps));
        message(" A VALID CHOICE, SET IT TO DEFAULT\n");
        // A sub-complex larger than its complex could never be drawn.
        s.nps = std::min(s.nopt + 1, s.npg);
        ++warnings;
    }
    if (s.nspl < 1) {
        if (log_flag_) {
            std::fputs(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n", stdout);
            std::printf(" BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n", s.nspl);
        }
        s.nspl = s.npg;
        ++warnings;
    }
    if (static_cast<long long>(s.ngs) * s.npg > kPopulationLimit) {
        message(format_text(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %lld EXCEED\n",
                            static_cast<long long>(s.ngs) * s.npg));
        message(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
        s.ngs = 2;
        s.npg = 2 * s.nopt + 1;
        s.nps = s.nopt + 1;
        s.nspl = s.npg;
        ++warnings;
    }
    if (warnings > 0) message(format_text(" *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings));
    return warnings;
}

bool sce_ua::make_objective() {
    calib_ = std::make_unique<calib_objective>();
    return calib_->read_observation_file(observation_file_) == 1;
}

// ---------------------------------------------------------------------------
// Search

bool sce_ua::inside(const std::vector<double>& x) const {
    for (int j = 1; j <= s_.nopt; ++j)
        if (x[static_cast<std::size_t>(j)] < bl_[static_cast<std::size_t>(j)] ||
            x[static_cast<std::size_t>(j)] > bu_[static_cast<std::size_t>(j)])
            return false;
    return true;
}

bool sce_ua::ranks_before(const point& a, const point& b) {
    if (a.scored != b.scored) return a.scored;
    return a.f < b.f;
}

std::vector<double> sce_ua::shown(const std::vector<double>& x) const {
    return calib_ ? calib_->as_substituted(x) : x;
}

// A cost that scores nothing (a failed run, or not a number) is logged as
// the unscored value and ranks below every scored cost, so that no real
// cost, however large, loses to a failure.
void sce_ua::trial(point& p) {
    const double cost = objective_(p.x);
    p.scored = is_scored_cost(cost);
    p.f = p.scored ? std::fabs(cost) : kUnscoredCost;
    if (p.scored) ++scored_trials_;
}

void sce_ua::log_trial(const point& p) {
    if (counter_ == 1 || ranks_before(p, lowest_)) {
        lowest_.f = p.f;
        lowest_.scored = p.scored;
    }
    if (!trial_log_ && !trial_log_failed_) {
        std::string name = "log_file.txt";
        trial_log_ = open_file(name, "w", 0);
        if (trial_log_) {
            std::fputs("Sim No.   Cost     Minimum Cost:  Parameter Values\n", trial_log_.get());
        } else {
            std::printf("Error: unable to open the log file.\n");
            trial_log_failed_ = true;
        }
    }
    if (trial_log_) {
        std::FILE* fp = trial_log_.get();
        std::fprintf(fp, "%-5d  %8.3lf %8.3lf  : ", counter_, p.f, lowest_.f);
        const std::vector<double> x = shown(p.x);
        for (int j = 1; j <= s_.nopt; ++j) std::fprintf(fp, " %lf", x[static_cast<std::size_t>(j)]);
        std::fputs("\n", fp);
        std::fflush(fp);
    }
    ++counter_;
}

// Component j = centre_j + spread_j x deviate x range_j, each component drawn
// again until it lies within its bounds, so the point is always feasible.
void sce_ua::random_point(bool gaussian, const std::vector<double>& centre, const std::vector<double>& spread,
                          std::vector<double>& x) {
    x.assign(static_cast<std::size_t>(s_.nopt) + 1, 0.0);
    for (std::size_t j = 1; j <= static_cast<std::size_t>(s_.nopt); ++j) {
        do {
            const double r = gaussian ? rng_.gaussian() : rng_.uniform();
            x[j] = centre[j] + spread[j] * r * (bu_[j] - bl_[j]);
        } while (x[j] < bl_[j] || x[j] > bu_[j]);
    }
}

void sce_ua::population_stats(const std::vector<point>& pop) {
    const double n = static_cast<double>(pop.size());
    double gsum = 0.0;
    spread_.assign(static_cast<std::size_t>(s_.nopt) + 1, 0.0);
    for (std::size_t k = 1; k <= static_cast<std::size_t>(s_.nopt); ++k) {
        double xmax = -1e20, xmin = 1e20, sum1 = 0.0, sum2 = 0.0;
        for (const point& p : pop) {
            xmax = std::max(xmax, p.x[k]);
            xmin = std::min(xmin, p.x[k]);
            sum1 += p.x[k];
            sum2 += p.x[k] * p.x[k];
        }
        const double range = bu_[k] - bl_[k];
        const double mean = sum1 / n;
        double var = sum2 / n - mean * mean;
        if (var <= kDelta) var = kDelta;
        spread_[k] = std::sqrt(var) / range;
        gsum += std::log(kDelta + (xmax - xmin) / range);
    }
    gnrng_ = std::exp(gsum / s_.nopt);
}

// Positions (1-based, ascending) of a sub-complex drawn from a complex of npg
// points with a triangular probability that favours the better points.
void sce_ua::select_subcomplex(std::vector<int>& lcs) {
    const int npg = s_.npg;
    const int nps = s_.nps;
    lcs.clear();
    if (nps == npg) {
        for (int k = 1; k <= nps; ++k) lcs.push_back(k);
        return;
    }
    const double half = npg + 0.5;
    while (static_cast<int>(lcs.size()) < nps) {
        const double r = rng_.uniform();
        int pos = 1 + static_cast<int>(std::floor(half - std::sqrt(half * half - npg * (npg + 1.0) * r)));
        pos = std::min(std::max(pos, 1), npg);
        if (std::find(lcs.begin(), lcs.end(), pos) == lcs.end()) lcs.push_back(pos);
    }
    std::sort(lcs.begin(), lcs.end());
}

// Competitive complex evolution of one sub-complex (sorted, best first): the
// worst point is replaced by its reflection about the centroid of the others,
// else by the point halfway towards the centroid, else by a random point
// around the sub-complex's best point.
void sce_ua::evolve(std::vector<point>& s) {
    const std::size_t n = s.size();
    const std::size_t m = static_cast<std::size_t>(s_.nopt);
    const point& worst = s[n - 1];
    const std::vector<double>& wo = worst.x;
    std::vector<double> ce(m + 1, 0.0);
    for (std::size_t j = 1; j <= m; ++j) {
        for (std::size_t i = 0; i + 1 < n; ++i) ce[j] += s[i].x[j];
        ce[j] /= static_cast<double>(n - 1);
    }

    point p;
    p.x.assign(m + 1, 0.0);
    for (std::size_t j = 1; j <= m; ++j) p.x[j] = ce[j] + (ce[j] - wo[j]);
    if (!inside(p.x)) random_point(true, s[0].x, spread_, p.x);
    trial(p);
    log_trial(p);
    if (ranks_before(worst, p)) {
        if (counter_ >= s_.maxn) return;
        for (std::size_t j = 1; j <= m; ++j) p.x[j] = ce[j] - 0.5 * (ce[j] - wo[j]);
        trial(p);
        log_trial(p);
        if (ranks_before(worst, p)) {
            if (counter_ >= s_.maxn) return;
            random_point(true, s[0].x, spread_, p.x);
            trial(p);
            log_trial(p);
        }
    }
    s[n - 1] = std::move(p);
}

void sce_ua::log_loop(int nloop, int ngs, const std::vector<point>& pop) {
    std::FILE* fp = out_.get();
    if (!log_flag_ || !fp) return;
    const int nopt = s_.nopt;
    const int head = std::min(nopt, 8);
    std::fprintf(fp, "%5d %5d   %5d %10.3lf %10.3lf %10.3lf\n", nloop, counter_, ngs, pop.front().f, pop.back().f,
                 gnrng_);
    const std::vector<double> best = shown(pop.front().x);
    for (int j = 1; j <= head; ++j) std::fprintf(fp, "%10.3lf ", best[static_cast<std::size_t>(j)]);
    std::fputs("\n", fp);
    if (nopt >= 9) {
        for (int j = 9; j <= nopt; ++j) std::fprintf(fp, "%10.3lf ", best[static_cast<std::size_t>(j)]);
        std::fputs("\n", fp);
    }
    if (s_.iprint == 1) {
        std::fprintf(fp, " POPULATION AT LOOP %d\n", nloop);
        for (const point& p : pop) {
            std::fprintf(fp, "%10.5lf ", p.f);
            const std::vector<double> x = shown(p.x);
            for (int j = 1; j <= head; ++j) std::fprintf(fp, "%10.5lf ", x[static_cast<std::size_t>(j)]);
            std::fputs("\n", fp);
            if (nopt >= 9) {
                for (int j = 9; j <= nopt; ++j) std::fprintf(fp, "%10.3lf ", x[static_cast<std::size_t>(j)]);
                std::fputs("\n", fp);
            }
        }
    }
    std::fflush(fp);
}

int sce_ua::sceua() {
    std::printf(" ENTER THE SCEUA SUBROUTINE --- \n");
    if (!ready_ || !objective_) {
        std::printf("Error: unable to successufully setup SCE-UA. Unable to run.\n");
        return -1;
    }
    const std::size_t nopt = static_cast<std::size_t>(s_.nopt);
    const int npg = s_.npg;
    int ngs = s_.ngs;
    const int npt = ngs * npg;
    if (s_.maxn < npt) {
        mode_error("Error: maximum number of function calls less than the number of points\n");
        return -1;
    }
    if (s_.iniflg == 1 && !inside(a_)) {
        mode_error("Error: the start point lies outside the parameter bounds\n");
        return -1;
    }
    if (log_flag_) put_text(out_.get(), "ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n");
    std::printf(" ***  Evolution Loop Number %d\n", 0);

    rng_.reseed(s_.iseed);
    counter_ = 1;
    scored_trials_ = 0;
    lowest_ = point{};
    trial_log_.reset();
    trial_log_failed_ = false;
    const std::vector<double> unit(nopt + 1, 1.0);
    auto sort_points = [](std::vector<point>& pts) { std::stable_sort(pts.begin(), pts.end(), ranks_before); };

    // Initial population, uniform over the box (the start point first when
    // asked for), evaluated, then logged.
    std::vector<point> pop(static_cast<std::size_t>(npt));
    for (std::size_t i = 0; i < pop.size(); ++i) {
        if (i == 0 && s_.iniflg == 1)
            pop[i].x = a_;
        else
            random_point(false, bl_, unit, pop[i].x);
        trial(pop[i]);
    }
    for (const point& p : pop) log_trial(p);
    sort_points(pop);
    population_stats(pop);

    std::array<double, kHistory + 1> history{};  // 1-based; newest at kHistory
    std::vector<point> cx(static_cast<std::size_t>(npg));
    std::vector<point> sub;
    std::vector<int> lcs;
    // Position in the sorted population of point k (0-based) of complex g
    // (1-based): complex g holds every ngs-th point, starting with the g-th.
    auto member = [&ngs](int k, int g) { return static_cast<std::size_t>(k * ngs + g - 1); };
    int nloop = 0;
    const bool finished_early = counter_ >= s_.maxn || gnrng_ <= kConverged;
    while (!finished_early) {
        ++nloop;
        std::printf(" ***  Evolution Loop Number %d\n", nloop);
        int igs = 1;
        int loop = 1;
        for (igs = 1; igs <= ngs; ++igs) {
            for (int k = 0; k < npg; ++k) cx[static_cast<std::size_t>(k)] = pop[member(k, igs)];
            for (loop = 1; loop <= s_.nspl; ++loop) {
                select_subcomplex(lcs);
                sub.clear();
                for (int pos : lcs) sub.push_back(cx[static_cast<std::size_t>(pos - 1)]);
                evolve(sub);
                for (std::size_t k = 0; k < lcs.size(); ++k) cx[static_cast<std::size_t>(lcs[k] - 1)] = sub[k];
                sort_points(cx);
                if (counter_ >= s_.maxn) break;
            }
            for (int k = 0; k < npg; ++k) pop[member(k, igs)] = cx[static_cast<std::size_t>(k)];
            if (counter_ >= s_.maxn) break;
        }
        // Shuffle: the complexes merge back into one sorted population.
        sort_points(pop);
        population_stats(pop);
        log_loop(nloop, ngs, pop);

        if (counter_ >= s_.maxn) {
            std::printf(" *** OPTIMIZATION SEARCH TERMINATED BECAUSE THE LIMIT ON THE\n");
            std::printf(" MAXIMUM NUMBER OF TRIALS %d EXCEEDED.  SEARCH WAS STOPPED AT\n", s_.maxn);
            std::printf(" SUB-COMPLEX %d OF COMPLEX %d IN SHUFFLING LOOP %d ***\n", loop, igs, nloop);
            break;
        }
        history[kHistory] = pop.front().f;
        if (nloop >= s_.kstop + 1) {
            const double before = history[static_cast<std::size_t>(kHistory - s_.kstop)];
            const double now = history[kHistory];
            const double mean = std::fabs(before + now) / 2.0;
            // Two criteria of 0 have not changed at all.
            const double change = mean > 0.0 ? std::fabs(before - now) / mean : 0.0;
            if (change < s_.pcento) {
                if (log_flag_) {
                    put_text(out_.get(), " *** OPTIMIZATION TERMINATED BECAUSE THE CRITERION VALUE HAS NOT\n");
                    put_text(out_.get(), format_text(" CHANGED %5.2lf PERCENT IN %5d SHUFFLING LOOPS ***\n",
                                                     s_.pcento * 100.0, s_.kstop));
                }
                break;
            }
        }
        std::copy(history.begin() + 2, history.end(), history.begin() + 1);
        if (gnrng_ <= kConverged) {
            if (log_flag_) {
                put_text(out_.get(), " *** OPTIMIZATION TERMINATED BECAUSE THE POPULATION HAS CONVERGED INTO\n");
                put_text(out_.get(), format_text("    %5.2lf PERCENT OF THE FEASIBLE SPACE ***\n", gnrng_ * 100.0));
            }
            break;
        }
        if (ngs > s_.mings) {
            // Drop the last complex; the survivors keep their sorted order.
            const int fewer = ngs - 1;
            std::vector<point> kept(static_cast<std::size_t>(fewer * npg));
            for (int g = 1; g <= fewer; ++g)
                for (int k = 0; k < npg; ++k) kept[static_cast<std::size_t>(k * fewer + g - 1)] = pop[member(k, g)];
            pop = std::move(kept);
            ngs = fewer;
        }
    }

    best_x_ = pop.front().x;
    best_f_ = pop.front().f;
    if (log_flag_ && out_) {
        std::FILE* fp = out_.get();
        std::fputs(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n", fp);
        std::fprintf(fp, "%lf ", best_f_);
        const std::vector<double> best = shown(best_x_);
        for (std::size_t j = 1; j <= std::min<std::size_t>(nopt, 12); ++j) std::fprintf(fp, "%lf ", best[j]);
        std::fputs("\n", fp);
        std::fflush(fp);
    }
    return counter_;
}

}  // namespace kesta
