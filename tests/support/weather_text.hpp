// Hourly weather files for tests, in the KVL layout: year, month, day, hour,
// pressure (inches of mercury), relative humidity (%), sky cover (tenths),
// wind (knots), temperature (F), direct and global radiation.
#pragma once

#include <cstdio>
#include <string>

#include "core/calendar.hpp"
#include "core/file_opener.hpp"
#include "model/model_state.hpp"
#include "support/temp_dir.hpp"

namespace kesta_test {

// `hours` records from the date and hour given (hours 0 to 23), each line
// `values` after the date: by default still, clear, dry air at 68 F.
inline std::string kvl_hours(int year, int month, int day, int hour, int hours,
                             const char* values = "29.92 50 0 5 68 0.0 0.0") {
    std::string text;
    kesta::date_record d{year, month, day, hour, 0, 0};
    for (int k = 0; k < hours; ++k) {
        char line[160];
        std::snprintf(line, sizeof line, "%d %d %d %d %s\n", d.year, d.month, d.day, d.hour, values);
        text += line;
        d.hour += 1;
        if (d.hour == 24) kesta::roll_hour_24(d);
    }
    return text;
}

// Makes `text` the run's KVL weather file, written in `dir` and open for
// reading.
inline void use_kvl_weather(kesta::model_state& m, const temp_dir& dir, const std::string& text) {
    m.hmet_kvl_given = 1;
    m.hmet_file = dir.write("weather.kvl", text);
    std::string name = m.hmet_file;
    m.hmet_fp = kesta::open_file(name, "r", 0);
}

}  // namespace kesta_test
