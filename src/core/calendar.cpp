#include "core/calendar.hpp"

#include "core/text_format.hpp"

namespace kesta {

namespace {

// Julian day number of the civil day 1 March of year 0 less one: the offset
// of the day-number formula below.
constexpr int kDayNumberOffset = 1721119;

// 0.01 s in days.
constexpr double kCaldatNudge = 1.1574074074074074e-7;

}  // namespace

double julday(int year, int month, int day, int hour, int minute, double seconds) {
    // Count the year from March so that the leap day falls at its end. In
    // 64-bit arithmetic no int date overflows.
    long long m = 0;
    long long y = 0;
    if (month < 3) {
        m = static_cast<long long>(month) + 9;
        y = static_cast<long long>(year) - 1;
    } else {
        m = static_cast<long long>(month) - 3;
        y = year;
    }
    const long long c = y / 100;  // integer divisions truncate toward zero
    const long long r = y - 100 * c;
    const long long n = (146097LL * c) / 4 + (1461LL * r) / 4 + (153LL * m + 2) / 5 + day;
    const double s = hour * 3600.0 + minute * 60.0 + seconds;
    // A Julian day begins at noon.
    double j = 0.0;
    double f = 0.0;
    if (s < 43200.0) {
        j = static_cast<double>(n + kDayNumberOffset - 1);
        f = s + 43200.0;
    } else {
        j = static_cast<double>(n + kDayNumberOffset);
        f = s - 43200.0;
    }
    return j + f / 3600.0 / 24.0;
}

calendar_time caldat(double julian) {
    const double d = julian + kCaldatNudge;
    long j = static_cast<long>(d);  // truncated
    double f = d - static_cast<double>(j);
    long n = 0;  // civil day number
    if (f >= 0.5) {
        f -= 0.5;
        n = j + 1;
    } else {
        f += 0.5;
        n = j;
    }

    calendar_time out;
    out.day_of_week = static_cast<int>((n + 1) % 7);

    const long a = 4 * (n - kDayNumberOffset) - 1;
    const long y1 = a / 146097;
    long d1 = (a - 146097 * y1) / 4;
    const long y2 = (4 * d1 + 3) / 1461;
    d1 = 4 * d1 + 3 - 1461 * y2;
    d1 = (d1 + 4) / 4;
    const long m = (5 * d1 - 3) / 153;
    d1 = 5 * d1 - 3 - 153 * m;
    out.day = static_cast<int>((d1 + 5) / 5);
    out.year = static_cast<int>(100 * y1 + y2);
    if (m < 10) {
        out.month = static_cast<int>(m + 3);
    } else {
        out.month = static_cast<int>(m - 9);
        out.year += 1;
    }

    double t = f * 24.0 * 3600.0;
    out.hour = static_cast<int>(t / 3600.0);
    t -= 3600.0 * out.hour;
    out.minute = static_cast<int>(t / 60.0);
    out.seconds = t - 60.0 * out.minute;
    return out;
}

std::string date_time_text(double julian) {
    const calendar_time c = caldat(julian);
    return format_text("%d/%d/%d %d:%2.2d", c.month, c.day, c.year, c.hour, c.minute);
}

// (year - 1900) % 4 == 0 without forming year - 1900, which no int year
// may overflow: 1900 is itself divisible by 4.
bool is_leap_year(int year) { return year % 4 == 0; }

int month_days(int year, int month) {
    static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && is_leap_year(year)) return 29;
    return kDays[month];
}

date_record hour_after(date_record d) {
    ++d.hour;
    roll_hour_24(d);
    return d;
}

void roll_hour_24(date_record& d) {
    if (d.hour != 24) return;
    d.hour = 0;
    ++d.day;
    if (d.day > month_days(d.year, d.month)) {
        d.day = 1;
        ++d.month;
        if (d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
}

int day_of_year(int year, int month, int day) {
    int total = day;
    for (int k = 1; k < month && k <= 12; ++k) total += month_days(year, k);
    return total;
}

}  // namespace kesta
