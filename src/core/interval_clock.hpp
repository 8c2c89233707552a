// Interval clocks of the sub-processes. A clock is a pair of Julian times
// (last run, next due) with an interval held both in seconds and in days.
// A sub-process is due when its next time lies within the time tolerance of
// the model time, which the loop recomputes each pass as start + step * dt.
//
// Next times are always taken from a current time plus one interval, never
// summed onto the previous next time: a sum would gather rounding error pass
// after pass until the clock fell out of the tolerance and stopped being due.
#pragma once

#include <cmath>

namespace kesta {

constexpr double kSecondsPerDay = 86400.0;
// Tolerance of every due test: 0.01 s in days.
constexpr double kTimeTolerance = 1.1574074074074074e-7;

inline bool clock_due(double next, double time, double tol) {
    return std::fabs(next - time) < tol;
}

// Sets an interval given in seconds, keeping its copy in days.
inline void set_clock_interval(double& interval_sec, double& interval_days, double seconds) {
    interval_sec = seconds;
    interval_days = seconds / kSecondsPerDay;
}

// Arms a clock that last ran at `start` and is next due one interval later.
inline void arm_clock(double& last, double& next, double start, double interval_days) {
    last = start;
    next = start + interval_days;
}

// Records a run at `time`: the next one is due one interval after it.
inline void advance_interval_clock(double& last, double& next, double time,
                                   double interval_days) {
    last = time;
    next = time + interval_days;
}

}  // namespace kesta
