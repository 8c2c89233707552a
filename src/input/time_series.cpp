#include "input/time_series.hpp"

#include <cstdarg>
#include <cstring>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

// Julian date that julday gives for year 0, month 0, day 0 at 00:00: a
// relative record's fields minus this are the days from the run start.
constexpr double kRelativeOrigin = 1721028.5;

series_lists g_series;

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool is_blank_line(const std::string& text) {
    for (char c : text) {
        if (!is_separator(c) && c != '\r') return false;
    }
    return true;
}

void trim_blanks(std::string& text) {
    const std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) {
        text.clear();
        return;
    }
    const std::size_t e = text.find_last_not_of(" \t");
    text = text.substr(b, e - b + 1);
}

bool next_line(series_file& f, line_cursor& line) {
    if (!read_line(line, f.fp)) return false;
    ++f.line;
    return true;
}

bool name_matches(const std::string& series_name, const std::string& name) {
    return !name.empty() && series_name.compare(0, name.size(), name) == 0;
}

// Lower index k of the bracket times[k] <= t <= times[k+1], searched from
// `from`; -1 when there is none from there.
long find_bracket(const std::vector<double>& v, double t, std::size_t from) {
    for (std::size_t k = from; k + 1 < v.size(); ++k) {
        if (v[k] <= t && t <= v[k + 1]) return static_cast<long>(k);
    }
    return -1;
}

// Linear interpolation inside the bracket at k; the bracket has a positive
// width because the readers refuse equal abscissas.
double interpolate(const std::vector<double>& xs, const std::vector<double>& ys, std::size_t k,
                   double x) {
    const double w = (x - xs[k]) / (xs[k + 1] - xs[k]);
    return (1.0 - w) * ys[k] + w * ys[k + 1];
}

// The cases shared by the elevation-series lookups that need no bracket:
// true with the result in *out.
bool elev_trivial(double x, elev_series* s, double* out) {
    if (!s) {
        print_both("Error: attempting to extract a value from an elevation series that does not exist.\n");
        fail_and_report();
        *out = 0.0;
        return true;
    }
    if (s->x.empty()) {
        print_both(format_text("Error: attempting to extract a value from an elevation series [%s] with no entries.\n",
                          s->name.c_str()));
        fail_and_report();
        *out = 0.0;
        return true;
    }
    if (s->x.size() == 1 || x <= s->x.front()) {
        *out = s->y.front();
        return true;
    }
    if (x >= s->x.back()) {
        *out = s->y.back();
        return true;
    }
    return false;
}

}  // namespace

series_lists& series_store() { return g_series; }

// ------------------------------------------------------------ time series

int ts_read_one(series_file& f) {
    line_cursor line;
    do {
        if (!next_line(f, line)) return 0;
    } while (!starts_with(line.text(), "KESTA_TS"));

    g_series.series.push_back(std::make_unique<time_series>());
    time_series& s = *g_series.series.back();

    if (next_line(f, line)) {
        s.name = line.text();
        trim_blanks(s.name);
        strip_quotes(s.name);
    }
    if (next_line(f, line)) s.relative = starts_with(line.text(), "RELATIVE") ? 1 : 0;

    while (next_line(f, line)) {
        if (starts_with(line.text(), "END_TS")) break;
        if (is_blank_line(line.text())) continue;
        const std::string record = line.text();
        int year = 0, month = 0, day = 0, hour = 0, minute = 0;
        double value = 0.0;
        if (!(pop_int_strict(line, year) && pop_int_strict(line, month) &&
              pop_int_strict(line, day) && pop_int_strict(line, hour) &&
              pop_int_strict(line, minute) && pop_double_strict(line, value))) {
            print_both(format_text("Error: in time series file %s, line %d, the record \"%s\" of series [%s] "
                              "does not scan as year month day hour minute value.\n",
                              f.name.c_str(), f.line, echoed(record).c_str(), s.name.c_str()));
            g_series.series.pop_back();
            fail_and_report();
            return -1;
        }
        double t = julday(year, month, day, hour, minute, 0.0);
        if (s.relative) t -= kRelativeOrigin;
        if (!s.times.empty() && t <= s.times.back()) {
            print_both(format_text("Error: in time series file %s, line %d, the time %d %d %d %d %d of series "
                              "[%s] is not later than the time of the record before it.\n",
                              f.name.c_str(), f.line, year, month, day, hour, minute,
                              s.name.c_str()));
            g_series.series.pop_back();
            fail_and_report();
            return -1;
        }
        s.times.push_back(t);
        s.values.push_back(value);
    }
    std::printf("Read time series %s\n", s.name.c_str());
    return 1;
}

namespace {

// Reads every block of a series file with `read_one` (1 per block read, 0 at
// the end, -1 when a block was refused). A file that will not open stops the
// run (code 4): the series it was to hold would be missing from every input
// that names them.
void read_series_file(const std::string& name, const char* kind, int (*read_one)(series_file&)) {
    std::string path = name;
    file_ptr fp = open_file(path, "r", 0);
    if (!fp) {
        fail_and_report(4, kind, path);
        return;
    }
    series_file f{fp.get(), path, 0};
    int count = 0;
    int result = 0;
    while ((result = read_one(f)) == 1) ++count;
    if (result == 0) std::printf("%d %s read from file %s\n", count, kind, path.c_str());
}

}  // namespace

void ts_read_file(const std::string& name) { read_series_file(name, "time series", ts_read_one); }

time_series* ts_find_by_name(const std::string& name) {
    for (auto& s : g_series.series) {
        if (name_matches(s->name, name)) return s.get();
    }
    return nullptr;
}

double ts_value_at(double t, time_series* s) {
    if (!s) {
        print_both("Error: attempting to extract a value from a time series that does not exist.\n");
        fail_and_report();
        return 0.0;
    }
    if (s->times.empty()) {
        print_both(format_text("Error: attempting to extract a value from a time series [%s] with no entries.\n",
                          s->name.c_str()));
        fail_and_report();
        return 0.0;
    }
    if (s->times.size() == 1 || t <= s->times.front()) return s->values.front();
    if (t >= s->times.back()) return s->values.back();

    // Successive queries mostly move forward: start at the last bracket.
    const std::size_t from = s->cached < s->times.size() ? s->cached : 0;
    long k = find_bracket(s->times, t, from);
    if (k < 0 && from > 0) k = find_bracket(s->times, t, 0);
    if (k < 0) {
        print_both(format_text("Error: something is really messed up with your time series [%s].\n",
                          s->name.c_str()));
        return 0.0;
    }
    s->cached = static_cast<std::size_t>(k);
    return interpolate(s->times, s->values, s->cached, t);
}

void ts_add_index_entry(int id, const std::string& name) {
    std::printf("Adding table to list: %s... ", name.c_str());
    time_series* s = ts_find_by_name(name);
    std::printf(s ? "Success!\n" : "Failure, table not found.\n");
    g_series.index.push_back(ts_index_entry{id, s});
}

double ts_value_by_index(int id, double t) {
    for (auto it = g_series.index.rbegin(); it != g_series.index.rend(); ++it) {
        if (it->id == id) return ts_value_at(t, it->series);
    }
    print_both(format_text("Error: attempting to extract a value from an unknown time series in the time series "
                      "table.    Check the mapping table file (.cmt). The specified time series index is "
                      "%d, but the \nindex is not found in the time series index table.\n",
                      id));
    fail_and_report();
    return 0.0;
}

void ts_shift_relative(double t0) {
    for (auto& s : g_series.series) {
        if (!s->relative) continue;
        for (double& t : s->times) t += t0;
    }
}

void ts_free_all() {
    g_series.ov_pumps.clear();
    g_series.chan_pumps.clear();
    g_series.index.clear();
    g_series.elev.clear();
    g_series.series.clear();
}

// ------------------------------------------------------- elevation series

int es_read_one(series_file& f) {
    line_cursor line;
    do {
        if (!next_line(f, line)) return 0;
    } while (!starts_with(line.text(), "KESTA_ES"));

    g_series.elev.push_back(std::make_unique<elev_series>());
    elev_series& s = *g_series.elev.back();

    if (next_line(f, line)) {
        pop_string(line, s.name);
        strip_quotes(s.name);
    }

    while (next_line(f, line)) {
        if (starts_with(line.text(), "END_ES")) break;
        if (is_blank_line(line.text())) continue;
        const std::string record = line.text();
        double x = 0.0;
        double y = 0.0;
        if (!(pop_double_strict(line, x) && pop_double_strict(line, y))) {
            print_both(format_text("Error: in elevation series file %s, line %d, the pair \"%s\" of series [%s] "
                              "does not scan as two numbers.\n",
                              f.name.c_str(), f.line, echoed(record).c_str(), s.name.c_str()));
            g_series.elev.pop_back();
            fail_and_report();
            return -1;
        }
        if (!s.x.empty() && x <= s.x.back()) {
            print_both(format_text("Error: in elevation series file %s, line %d, the value %g of series [%s] "
                              "is not greater than the value before it.\n",
                              f.name.c_str(), f.line, x, s.name.c_str()));
            g_series.elev.pop_back();
            fail_and_report();
            return -1;
        }
        s.x.push_back(x);
        s.y.push_back(y);
    }
    return 1;
}

void read_elev_series_file(const std::string& name) {
    read_series_file(name, "elevation series", es_read_one);
}

elev_series* find_elev_series(const std::string& name) {
    for (auto& s : g_series.elev) {
        if (name_matches(s->name, name)) return s.get();
    }
    return nullptr;
}

namespace {

// The value of an elevation series at x: the step value of the bracket that
// holds x, or with `interpolated` the line through the bracket's ends.
double elev_series_at(double x, elev_series* s, bool interpolated) {
    double out = 0.0;
    if (elev_trivial(x, s, &out)) return out;
    const long k = find_bracket(s->x, x, 0);
    if (k < 0) {
        print_both(format_text("Error: something is really messed up with your elevation series [%s].\n",
                               s->name.c_str()));
        return 0.0;
    }
    const std::size_t b = static_cast<std::size_t>(k);
    return interpolated ? interpolate(s->x, s->y, b, x) : s->y[b];
}

}  // namespace

double elev_series_value(double x, elev_series* s) { return elev_series_at(x, s, false); }

double elev_series_interp(double x, elev_series* s) { return elev_series_at(x, s, true); }

double elev_series_lookup(double x, elev_series* s) { return elev_series_interp(x, s); }

}  // namespace kesta
