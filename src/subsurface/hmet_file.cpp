// The hourly hydrometeorological file in its three layouts: KVL (eleven free
// numbers a line), SAMSON (fixed columns, two header lines) and NCDC Surface
// Airways (one element of one day a line). At start-up the whole file is
// scanned, every line checked, and the first and last dates taken; then one
// hour is read at each hydrometeorology step. A missing value takes the last
// good one of its quantity (of the same hour, where the layout keeps them by
// hour) and is counted as repaired. Every hour, month, day and count is
// checked before it indexes anything: a line that fails stops the run naming
// the file, the line and the value.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "model/model_state.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kStandardPressureMbar = 1013.25;
constexpr double kStandardPressureInches = 29.92;  // inches of mercury
constexpr double kMbarPerInchKvl = 1013.25 / 29.92;
constexpr double kMbarPerInchSurfaways = 33.86530748663101;
constexpr double kMetresPerSecondPerKnot = 0.514444;
constexpr double kCelsiusPerFahrenheit = 0.5555555555555556;

constexpr int kKvlFields = 11;
constexpr double kKvlMissingPressure = 999.0;
constexpr int kKvlMissing = 999;
constexpr double kKvlMissingRadiation = 9999.9;  // and above
constexpr std::size_t kSamsonHeaderLength = 53;  // end of the longitude minutes
constexpr std::size_t kSamsonLineLength = 85;    // end of the wind speed
constexpr int kSamsonMissingRadiation = 9999;
constexpr int kSamsonMissingSky = 99;
constexpr int kSamsonMissingTenths = 9999;
constexpr int kSamsonMissingHumidity = 999;
constexpr int kSamsonMissingPressure = 9999;
constexpr std::size_t kSurfawaysHead = 30;  // characters before the first value
constexpr std::size_t kSurfawaysValue = 12;  // characters per value
constexpr int kSurfawaysMissing = 99999;
constexpr int kSurfawaysSlotsPerDay = 24;   // hours 0 to 23, slots 1 to 24

enum class layout { kvl, samson, surfaways };

const char* layout_name(layout l) {
    switch (l) {
    case layout::kvl: return "KVL";
    case layout::samson: return "SAMSON";
    default: return "Surface Airways";
    }
}

// The values of one hour as the model takes them.
struct hmet_values {
    double direct = 0.0, global = 0.0, sky = 0.0, temperature = 0.0, humidity = 0.0, pressure = 0.0,
           wind = 0.0;
    date_record date;
};

// The open file with what the reader knows of it.
struct hmet_source {
    model_state& m;
    std::FILE* fp;
    hmet_reader& r;
    layout kind;

    // The next line that is not blank; false at the end of the file.
    bool next_line(std::string& text) {
        while (read_text_line(fp, text)) {
            ++r.line;
            if (text.find_first_not_of(" \t") != std::string::npos) return true;
        }
        return false;
    }
    void restart() {
        std::rewind(fp);
        r.line = 0;
    }
    // Stops the run on the line last read; `why` ends with a full stop.
    bool refuse_line(const std::string& why) const {
        return refuse(format_text("\nERROR:\nIn hydrometeorological file %s (%s layout), line %d: %s\n"
                                  "Correct the file before KESTA can continue.  Program exiting on error.\n\n",
                                  m.hmet_file.c_str(), layout_name(kind), r.line, why.c_str()));
    }
};

std::string trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A fixed-column field [begin, end) of a line that holds it.
std::string field_text(const std::string& line, std::size_t begin, std::size_t end) {
    return trimmed(line.substr(begin, end - begin));
}

bool int_field(const hmet_source& src, const std::string& line, std::size_t begin, std::size_t end,
               const char* what, int& value) {
    const std::string text = field_text(line, begin, end);
    if (parse_int(text, value)) return true;
    return src.refuse_line(format_text("the %s \"%s\" in columns %zu to %zu is not a whole number.", what,
                                       text.c_str(), begin + 1, end));
}

bool real_field(const hmet_source& src, const std::string& line, std::size_t begin, std::size_t end,
                const char* what, double& value) {
    const std::string text = field_text(line, begin, end);
    if (parse_double(text, value)) return true;
    return src.refuse_line(
        format_text("the %s \"%s\" in columns %zu to %zu is not a number.", what, text.c_str(), begin + 1, end));
}

std::string day_text(const date_record& d) { return format_text("%d/%d/%d", d.month, d.day, d.year); }
std::string hour_text(const date_record& d) { return day_text(d) + format_text(" %d:00", d.hour); }

// A year the calendar holds, month 1..12, a day of that month and an hour
// 0..max_hour.
bool valid_date(const hmet_source& src, const date_record& d, int max_hour) {
    if (d.year < kFirstCalendarYear || d.year > kLastCalendarYear)
        return src.refuse_line(format_text("the record dated %s has the year %d, outside %d to %d.",
                                           hour_text(d).c_str(), d.year, kFirstCalendarYear, kLastCalendarYear));
    if (d.month < 1 || d.month > 12)
        return src.refuse_line(format_text("the month %d lies outside 1 to 12.", d.month));
    if (d.day < 1 || d.day > month_days(d.year, d.month))
        return src.refuse_line(format_text("the day %d lies outside 1 to %d of month %d of %d.", d.day,
                                           month_days(d.year, d.month), d.month, d.year));
    if (d.hour < 0 || d.hour > max_hour)
        return src.refuse_line(format_text("the hour %d lies outside 0 to %d.", d.hour, max_hour));
    return true;
}

bool same_hour(const date_record& a, const date_record& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

// The model takes one record per hour in file order: a record that is not
// the hour after the one before it (`before`, of line `before_line`, hour 24
// rolled) would give an hour another hour's weather. `read` is the date as
// the line gives it, `rolled` with hour 24 rolled.
bool hour_follows(const hmet_source& src, const date_record& read, const date_record& rolled,
                  const date_record& before, int before_line) {
    const date_record expected = hour_after(before);
    if (same_hour(rolled, expected)) return true;
    return src.refuse_line(format_text("the record dated %s is not the hour after the record before it (%s, line %d);"
                                       " %s was expected: the records must follow one another hour by hour.",
                                       hour_text(read).c_str(), hour_text(before).c_str(), before_line,
                                       hour_text(expected).c_str()));
}

// A good value is remembered; a missing one takes the remembered value.
double repaired(bool missing, double value, double& memory, int& repairs) {
    if (missing) {
        ++repairs;
        return memory;
    }
    memory = value;
    return value;
}

// ---- KVL: year month day hour pressure humidity sky wind temperature direct global

struct kvl_line {
    int year = 0, month = 0, day = 0, hour = 0;
    double pressure = 0.0;  // inches of mercury
    int humidity = 0, sky = 0, wind = 0, temperature = 0;
    double direct = 0.0, global = 0.0;
};

// The fields of a line in order; the number read before the first that is
// missing or not of its kind.
int parse_kvl(const std::string& text, kvl_line& out) {
    std::vector<std::string> words;
    std::size_t p = 0;
    while (words.size() < kKvlFields) {
        p = text.find_first_not_of(" \t", p);
        if (p == std::string::npos) break;
        const std::size_t e = text.find_first_of(" \t", p);
        words.push_back(text.substr(p, e == std::string::npos ? std::string::npos : e - p));
        p = e;
    }
    int* const ints[] = {&out.year, &out.month, &out.day, &out.hour, nullptr,      &out.humidity,
                         &out.sky,  &out.wind,  &out.temperature,     nullptr, nullptr};
    double* const reals[] = {nullptr, nullptr, nullptr, nullptr, &out.pressure, nullptr,
                             nullptr, nullptr, nullptr, &out.direct,  &out.global};
    int read = 0;
    for (const std::string& w : words) {
        const bool ok = ints[read] ? parse_int(w, *ints[read]) : parse_double(w, *reals[read]);
        if (!ok) break;
        ++read;
    }
    return read;
}

// The next KVL line, parsed and checked; false at the end of the file or
// after a refusal (the error record says which).
bool next_kvl(hmet_source& src, kvl_line& k) {
    std::string text;
    if (!src.next_line(text)) return false;
    const int read = parse_kvl(text, k);
    if (read != kKvlFields) {
        print_both(format_text("Error: Problem encountered in hmet_KVL file, line %d, near parameter %d\n\n",
                               src.r.line, read + 1));
        print_both(" Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
                   "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
                   "int int int int float  int         int      int       int  float     float\n\n");
        return src.refuse_line(format_text("the line \"%s\" does not hold the eleven numbers of a record.",
                                           text.c_str()));
    }
    return valid_date(src, date_record{k.year, k.month, k.day, k.hour, 0, 0}, 24);
}

int scan_kvl(hmet_source& src) {
    model_state& m = src.m;
    kvl_line k;
    int records = 0, before_line = 0;
    date_record before;
    while (next_kvl(src, k)) {
        const date_record d{k.year, k.month, k.day, k.hour, 0, 0};
        date_record rolled = d;
        roll_hour_24(rolled);
        if (records > 0 && !hour_follows(src, d, rolled, before, before_line)) return -1;
        before = rolled;
        before_line = src.r.line;
        if (records == 0) m.hmet_first_record = d;
        m.hmet_last_record = d;
        ++records;
    }
    if (g_error_record.stop) return -1;
    if (records == 0) {
        src.refuse_line("the file holds no record.");
        return -1;
    }
    if (!m.super_quiet) std::printf("End of hmet_KVL file encountered after %d lines\n", records);
    m.hmet_record_count = records;
    src.restart();
    return 0;
}

int read_kvl(hmet_source& src, hmet_values& v) {
    kvl_line k;
    if (!next_kvl(src, k)) return g_error_record.stop ? 0 : -1;
    hmet_repair_memory& mem = src.r.memory;
    int& repairs = src.m.hmet_points_repaired;
    const int h = k.hour;
    // The pressure is remembered in thousandths of an inch.
    double pressure = k.pressure;
    if (pressure == kKvlMissingPressure) {
        ++repairs;
        pressure = mem.pressure / 1000.0;
    } else {
        mem.pressure = std::trunc(pressure * 1000.0);
    }
    v.pressure = pressure * kMbarPerInchKvl;
    v.humidity = repaired(k.humidity == kKvlMissing, k.humidity, mem.humidity[h], repairs);
    v.sky = repaired(k.sky == kKvlMissing, k.sky, mem.sky, repairs) / 10.0;
    v.wind = repaired(k.wind == kKvlMissing, k.wind, mem.wind, repairs) * kMetresPerSecondPerKnot;
    v.temperature =
        (repaired(k.temperature == kKvlMissing, k.temperature, mem.temperature[h], repairs) - 32.0) *
        kCelsiusPerFahrenheit;
    v.direct = repaired(k.direct > kKvlMissingRadiation, k.direct, mem.direct[h], repairs);
    v.global = repaired(k.global > kKvlMissingRadiation, k.global, mem.global[h], repairs);
    v.date = date_record{k.year, k.month, k.day, k.hour, 0, 0};
    roll_hour_24(v.date);
    return kKvlFields;
}

// ---- SAMSON: fixed columns, two header lines.

struct samson_line {
    date_record date;  // the hour as read, 1 to 24
    int direct = 0, global = 0, sky = 0, humidity = 0, pressure = 0;
    double temperature = 0.0, wind = 0.0;
};

bool samson_end(const hmet_source& src) {
    print_both("Unexpected end of hmet_SAMSON file encountered.\n");
    return src.refuse_line("the file ends before its two header lines and a data line.");
}

// The first header line: station name and position.
bool samson_header(hmet_source& src) {
    std::string text;
    if (!src.next_line(text)) return samson_end(src);
    if (text.size() < kSamsonHeaderLength)
        return src.refuse_line(format_text("the header line \"%s\" has %zu characters; the station's "
                                           "longitude ends in column %zu.",
                                           text.c_str(), text.size(), kSamsonHeaderLength));
    int lat_deg = 0, lat_min = 0, lon_deg = 0, lon_min = 0;
    if (!int_field(src, text, 39, 41, "latitude degrees", lat_deg) ||
        !int_field(src, text, 42, 44, "latitude minutes", lat_min) ||
        !int_field(src, text, 47, 50, "longitude degrees", lon_deg) ||
        !int_field(src, text, 51, 53, "longitude minutes", lon_min))
        return false;
    model_state& m = src.m;
    m.hmet_station_name = field_text(text, 7, 29);
    m.hmet_station_lat = lat_deg + lat_min / 60.0;
    m.hmet_station_lon = lon_deg + lon_min / 60.0;
    if (!src.next_line(text)) return samson_end(src);
    return true;
}

bool parse_samson(hmet_source& src, const std::string& text, samson_line& s) {
    if (text.size() < kSamsonLineLength)
        return src.refuse_line(format_text("the data line has %zu characters; its wind speed ends in column %zu.",
                                           text.size(), kSamsonLineLength));
    date_record& d = s.date;
    if (!int_field(src, text, 1, 3, "year", d.year) || !int_field(src, text, 4, 6, "month", d.month) ||
        !int_field(src, text, 7, 9, "day", d.day) || !int_field(src, text, 10, 12, "hour", d.hour) ||
        !int_field(src, text, 33, 37, "direct radiation", s.direct) ||
        !int_field(src, text, 41, 45, "global radiation", s.global) ||
        !int_field(src, text, 49, 51, "sky cover", s.sky) ||
        !real_field(src, text, 55, 60, "temperature", s.temperature) ||
        !int_field(src, text, 67, 70, "relative humidity", s.humidity) ||
        !int_field(src, text, 71, 75, "pressure", s.pressure) ||
        !real_field(src, text, 79, 85, "wind speed", s.wind))
        return false;
    if (d.year < 100) d.year += 1900;
    return valid_date(src, d, 24);
}

int scan_samson(hmet_source& src) {
    model_state& m = src.m;
    if (!samson_header(src)) return 1;
    std::string text;
    samson_line s;
    int lines = 0, before_line = 0;
    date_record before;
    while (src.next_line(text)) {
        if (!parse_samson(src, text, s)) return 1;
        date_record d = s.date;
        roll_hour_24(d);
        if (lines > 0 && !hour_follows(src, s.date, d, before, before_line)) return 1;
        before = d;
        before_line = src.r.line;
        if (lines == 0) m.hmet_first_record = d;
        m.hmet_last_record = d;
        ++lines;
    }
    if (lines == 0) {
        samson_end(src);
        return 1;
    }
    // One more than the data lines: the read that meets this count is the
    // end of the data.
    m.hmet_record_count = lines + 1;
    src.r.samson_header_pending = true;
    src.r.samson_records = 0;
    src.restart();
    return 0;
}

int read_samson(hmet_source& src, hmet_values& v) {
    hmet_reader& r = src.r;
    if (r.samson_header_pending) {
        if (!samson_header(src)) return 1;
        r.samson_header_pending = false;
    }
    if (++r.samson_records == src.m.hmet_record_count) return -1;
    std::string text;
    if (!src.next_line(text)) {
        samson_end(src);
        return 1;
    }
    samson_line s;
    if (!parse_samson(src, text, s)) return 1;
    hmet_repair_memory& mem = r.memory;
    int& repairs = src.m.hmet_points_repaired;
    const int h = s.date.hour;
    v.direct = repaired(s.direct == kSamsonMissingRadiation, s.direct, mem.direct[h], repairs);
    v.global = repaired(s.global == kSamsonMissingRadiation, s.global, mem.global[h], repairs);
    v.sky = repaired(s.sky == kSamsonMissingSky, s.sky, mem.sky, repairs);
    // Temperatures are remembered in tenths of a degree, wind speeds in
    // hundredths of a metre per second.
    const long tenths = std::lround(s.temperature * 10.0);
    if (tenths == kSamsonMissingTenths) {
        ++repairs;
        v.temperature = mem.temperature[h] / 10.0;
    } else {
        mem.temperature[h] = static_cast<double>(tenths);
        v.temperature = s.temperature;
    }
    v.humidity = repaired(s.humidity == kSamsonMissingHumidity, s.humidity, mem.humidity[h], repairs);
    v.pressure = repaired(s.pressure == kSamsonMissingPressure, s.pressure, mem.pressure, repairs);
    const long whole_wind = static_cast<long>(s.wind);
    if (whole_wind == 99 || whole_wind == 9999) {
        ++repairs;
        v.wind = mem.wind / 100.0;
    } else {
        mem.wind = static_cast<double>(std::lround(s.wind * 100.0));
        v.wind = s.wind;
    }
    v.date = s.date;
    roll_hour_24(v.date);
    return 1;
}

// ---- Surface Airways: one element of one day a line.

int element_of(const std::string& type) {
    static const char* const kCodes[sa_elements] = {"DR", "GR", "PR", "RH", "TM", "TS", "WI"};
    for (int e = 0; e < sa_elements; ++e)
        if (type.compare(0, 2, kCodes[e]) == 0) return e;
    return -1;
}

// Decodes a line into `out`; with `repair`, missing values take their
// remembered ones and good ones are remembered.
bool parse_surfaways(hmet_source& src, const std::string& text, surfaways_line& out, bool repair) {
    if (text.size() < kSurfawaysHead)
        return src.refuse_line(format_text("the line has %zu characters; its value count ends in column %zu.",
                                           text.size(), kSurfawaysHead));
    out.element = element_of(text.substr(11, 4));
    date_record& d = out.date;
    d = date_record{};
    if (!int_field(src, text, 17, 21, "year", d.year) || !int_field(src, text, 21, 23, "month", d.month) ||
        !int_field(src, text, 25, 27, "day", d.day) || !int_field(src, text, 27, 30, "value count", out.count))
        return false;
    if (!valid_date(src, d, 0)) return false;
    if (out.count < 0 || out.count > kSurfawaysSlotsPerDay)
        return src.refuse_line(format_text("the value count %d lies outside 0 to %d, the hours of a day.",
                                           out.count, kSurfawaysSlotsPerDay));
    // The last value needs its time, a blank and its five digits.
    const std::size_t needed = kSurfawaysHead + kSurfawaysValue * static_cast<std::size_t>(out.count) - 2;
    if (out.count > 0 && text.size() < needed)
        return src.refuse_line(format_text("the line has %zu characters; its %d values end in column %zu.",
                                           text.size(), out.count, needed));
    hmet_repair_memory& mem = src.r.memory;
    int& repairs = src.m.hmet_points_repaired;
    for (int k = 1; k <= out.count; ++k) {
        const std::size_t at = kSurfawaysHead + kSurfawaysValue * static_cast<std::size_t>(k - 1) + 5;
        int value = 0;
        if (!int_field(src, text, at, at + 5, "value", value)) return false;
        double& slot = out.values[k];
        slot = value;
        if (!repair) continue;
        switch (out.element) {
        case sa_direct: slot = repaired(value == kSurfawaysMissing, value, mem.direct[k], repairs); break;
        case sa_global: slot = repaired(value == kSurfawaysMissing, value, mem.global[k], repairs); break;
        case sa_humidity: slot = repaired(value == kSurfawaysMissing, value, mem.humidity[k], repairs); break;
        case sa_temperature:
            slot = repaired(value == kSurfawaysMissing, value, mem.temperature[k], repairs);
            break;
        case sa_pressure: slot = repaired(value == kSurfawaysMissing, value, mem.pressure, repairs); break;
        case sa_sky: slot = repaired(value / 100 == 999, value - 100 * (value / 100), mem.sky, repairs); break;
        case sa_wind:
            slot = repaired(value - 1000 * (value / 1000) == 999, value - 1000 * (value / 1000), mem.wind,
                            repairs);
            break;
        default: break;
        }
    }
    return true;
}

bool same_day(const date_record& a, const date_record& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool refuse_counts(const hmet_source& src, const char* what, const char* message) {
    print_both(message);
    return src.refuse_line(format_text("the file has a different number of days of %s than of temperature.", what));
}

int scan_surfaways(hmet_source& src) {
    model_state& m = src.m;
    std::string text, previous_type;
    surfaways_line line;
    date_record previous_day;
    int lines = 0, previous_line = 0;
    int counts[sa_elements] = {};
    m.hmet_record_count = 0;
    while (src.next_line(text)) {
        const std::string type = text.size() >= 15 ? text.substr(11, 4) : std::string();
        if (lines > 0 && type == previous_type) {
            if (!m.super_quiet) std::printf("End of hmet_NCDC file encountered after %ld lines\n", static_cast<long>(lines));
            break;
        }
        if (!parse_surfaways(src, text, line, false)) return 1;
        // The hours of a day are its value slots; the days must follow one
        // another as the hours of the other layouts do.
        if (lines > 0 && !same_day(line.date, previous_day)) {
            date_record last_hour = previous_day;
            last_hour.hour = kSurfawaysSlotsPerDay - 1;
            const date_record next_day = hour_after(last_hour);
            if (!same_day(line.date, next_day)) {
                src.refuse_line(format_text("the line of %s belongs neither to the day of the line before it (%s, "
                                            "line %d) nor to the day after, %s: the days must follow one another.",
                                            day_text(line.date).c_str(), day_text(previous_day).c_str(),
                                            previous_line, day_text(next_day).c_str()));
                return 1;
            }
        }
        previous_line = src.r.line;
        if (lines == 0) m.hmet_first_record = line.date;
        if (lines == 0 || !same_day(line.date, previous_day)) m.hmet_record_count += kSurfawaysSlotsPerDay;
        m.hmet_last_record = line.date;
        m.hmet_last_record.hour = kSurfawaysSlotsPerDay - 1;
        if (line.element >= 0) ++counts[line.element];
        previous_day = line.date;
        previous_type = type;
        ++lines;
    }
    std::printf("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
    std::printf(" %d  %d  %d  %d  %d  %d  %d\n", counts[sa_direct], counts[sa_global], counts[sa_pressure],
                counts[sa_humidity], counts[sa_temperature], counts[sa_sky], counts[sa_wind]);
    if (lines == 0) {
        src.refuse_line("the file holds no element line.");
        return 1;
    }
    const int days = counts[sa_temperature];
    if (counts[sa_humidity] != days) {
        refuse_counts(src, "relative humidity",
                      "There is an error in the Surface Airways hydrometeorology\n"
                      "data file.  There appears to be a different number of \n"
                      "days of rel. humidity data than temperature data.  Rel. hum.\n"
                      "data is required for each day.  Examine the file and supply\n"
                      "the missing data.  Program terminating\n\n");
        return 1;
    }
    if (counts[sa_sky] != days) {
        refuse_counts(src, "sky cover",
                      "There is an error in the Surface Airways hydrometeorology\n"
                      "data file.  There appear to be a different number of days\n"
                      "of cloud cover data than temperature data.  Clouds data is\n"
                      "required for each day.  Examine the file and supply the \n"
                      "missing data.  Program terminating\n\n");
        return 1;
    }
    if (counts[sa_wind] != days) {
        refuse_counts(src, "wind",
                      "There is an error in the Surface Airways hydrometeorology\n"
                      "data file.  There appear to be different number of days of "
                      "wind data than temperature data.  Wind speed data is\n"
                      "required for each day.  Examine the file and supply the \n"
                      "missing data.  Program terminating\n\n");
        return 1;
    }
    hmet_reader& r = src.r;
    r.surfaways_lines = lines;
    r.surfaways_read = 0;
    r.next_hour = kSurfawaysSlotsPerDay;
    r.pending_held = false;
    src.restart();
    return 0;
}

void hold_line(hmet_reader& r, const surfaways_line& line) {
    if (line.element < 0) return;
    for (int k = 1; k <= line.count; ++k) r.day_values[line.element][k] = line.values[k];
    if (line.element == sa_direct) r.day_has_direct = true;
    if (line.element == sa_global) r.day_has_global = true;
}

// The lines of the next day; false at the end of the data or after a
// refusal.
bool load_day(hmet_source& src) {
    hmet_reader& r = src.r;
    r.day_has_direct = r.day_has_global = false;
    std::string text;
    surfaways_line line;
    if (r.pending_held) {
        r.day = r.pending.date;
        hold_line(r, r.pending);
        r.pending_held = false;
    } else {
        if (r.surfaways_read >= r.surfaways_lines || !src.next_line(text)) return false;
        ++r.surfaways_read;
        if (!parse_surfaways(src, text, line, true)) return false;
        r.day = line.date;
        hold_line(r, line);
    }
    while (r.surfaways_read < r.surfaways_lines && src.next_line(text)) {
        ++r.surfaways_read;
        if (!parse_surfaways(src, text, line, true)) return false;
        if (!same_day(line.date, r.day)) {
            r.pending = line;
            r.pending_held = true;
            break;
        }
        hold_line(r, line);
    }
    r.next_hour = 0;
    return true;
}

int read_surfaways(hmet_source& src, hmet_values& v) {
    hmet_reader& r = src.r;
    if (r.next_hour >= kSurfawaysSlotsPerDay && !load_day(src)) return g_error_record.stop ? 0 : -1;
    const int slot = r.next_hour + 1;
    const double(&d)[sa_elements][kHmetSlots] = r.day_values;
    v.direct = r.day_has_direct ? d[sa_direct][slot] / 10.0 : 0.0;
    v.global = r.day_has_global ? d[sa_global][slot] / 10.0 : 0.0;
    v.pressure = d[sa_pressure][slot] * kMbarPerInchSurfaways / 1000.0;
    v.humidity = d[sa_humidity][slot];
    v.temperature = (d[sa_temperature][slot] - 32.0) * kCelsiusPerFahrenheit;
    v.sky = d[sa_sky][slot];
    v.wind = d[sa_wind][slot] * kMetresPerSecondPerKnot;
    v.date = r.day;
    v.date.hour = r.next_hour++;
    return 0;
}

void store(model_state& m, const hmet_values& v) {
    m.hmet_direct_rad = v.direct;
    m.hmet_global_rad = v.global;
    m.hmet_sky_cover = v.sky;
    m.hmet_air_temp = v.temperature;
    m.hmet_rel_humidity = v.humidity;
    m.hmet_pressure = v.pressure;
    m.hmet_wind_speed = v.wind;
    m.hmet_record_date = v.date;
}

}  // namespace

int read_hmet_record(model_state& m) {
    const layout kind = m.hmet_kvl_given        ? layout::kvl
                        : m.hmet_surfaways_given ? layout::surfaways
                                                 : layout::samson;
    std::FILE* fp = m.hmet_fp.get();
    if (!fp) {
        g_error_record.fail(4, "hydromet data", m.hmet_file);
        return 1;
    }
    hmet_source src{m, fp, m.hmet_reader_state, kind};
    if (m.hmet_call_count == 1) {
        src.r = hmet_reader{};
        src.r.memory.pressure = kind == layout::samson ? kStandardPressureMbar : kStandardPressureInches * 1000.0;
        switch (kind) {
        case layout::kvl: return scan_kvl(src);
        case layout::samson: return scan_samson(src);
        default: return scan_surfaways(src);
        }
    }
    hmet_values v;
    int result = 0;
    switch (kind) {
    case layout::kvl: result = read_kvl(src, v); break;
    case layout::samson: result = read_samson(src, v); break;
    default: result = read_surfaways(src, v); break;
    }
    if (result != -1 && !g_error_record.stop) store(m, v);
    return result;
}

}  // namespace kesta
