// Start-up: the optimisation output file and the scan of the precipitation
// file for the start of every event.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "input/input_steps.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "output/output_registry.hpp"
#include "overland/precipitation.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

const char* const kHtpSummaryFile = "exchange/HTP_PRECIP.SUM";

bool scan_hmet_file(model_state& m) {
    if (!m.long_term) {
        m.hmet_record_count = 1;
        return true;
    }
    m.hmet_points_repaired = 0;
    m.hmet_call_count = 1;
    if (read_hmet_record(m) != 0 || g_error_record.code != 0 || g_error_record.stop) return false;
    roll_hour_24(m.hmet_first_record);
    roll_hour_24(m.hmet_last_record);
    ++m.hmet_call_count;
    return true;
}

bool open_optim_output(model_state& m) {
    if (!m.optimize_given) return true;
    if (m.optimize.empty()) m.optimize = "kesta_optim.out";
    strip_quotes(m.optimize);
    output_request request;
    request.words = "card OPTIMIZE";
    request.name = m.optimize;
    request.group = output_group::coupling;
    request.what = "the optimisation output";
    const opened_output o = open_output(m, request, &m.optim_fp);
    if (o.refused) return false;
    if (!o.fp) {
        refuse_on_stderr(
            format_text("Problem opening optimization output file named:%s for writing\n", m.optimize.c_str()));
        return false;
    }
    const std::string text = format_text("writing output for optimization to file %s\n", m.optimize.c_str());
    if (!m.super_quiet) std::fputs(text.c_str(), stderr);
    if (m.summary_fp) std::fputs(text.c_str(), m.summary_fp.get());
    return true;
}

void no_events_in_file() {
    refuse("\n**********************************\n"
           "Data was not correctly read from the rainfall input file.\n"
           "Verify the file format.\n"
           "***********************************\n");
}

// Writes the event starts for the land-management framework; the run then ends.
void write_htp_summary(std::FILE* fp, const std::vector<double>& starts) {
    std::fprintf(fp, "%d\n", static_cast<int>(starts.size()));
    for (double t : starts) {
        const calendar_time c = caldat(t);
        std::fprintf(fp, "%4d %2d %2d %2d %2d\n", c.year, c.month, c.day, c.hour, c.minute);
    }
}

// Where an event lies in the precipitation file and in time.
struct event_span {
    double start = 0.0;  // Julian time of its first data line
    double end = 0.0;    // Julian time of its last data line
    int line = 0;        // line of the file that holds its first data line
};

void refuse_event(const model_state& m, int event, int line, const std::string& why) {
    print_both(m.summary_fp.get(),
               format_text("\nERROR:\nIn precipitation file %s, event %d (line %d): %s"
                           "This error in your precipitation input file must be corrected before "
                           "KESTA\ncan continue.  Program exiting on error.\n\n",
                           m.precip_file.c_str(), event, line, why.c_str()));
    fail_and_report();
}

// The clock meets an event only at the run start plus a whole number of time
// steps, and one event's rain is read only when the one before it has
// rained: an event the run is to simulate must begin on a step, and not
// before the last data line of the event before it. False after the refusal.
bool events_can_start(model_state& m, const std::vector<event_span>& spans) {
    // A run of one land-management event starts only that event, at its time.
    if (m.htp && m.htp_event_num_given) return true;
    const double start = run_start_time(m);
    const int count = std::min(m.nevents, static_cast<int>(spans.size()));
    for (int k = 1; k <= count; ++k) {
        const event_span& e = spans[static_cast<std::size_t>(k - 1)];
        const double steps = (e.start - start) * kSecondsPerDay / m.timestep;
        if (std::fabs(steps - std::round(steps)) * m.timestep >= kTimeTolerance * kSecondsPerDay) {
            refuse_event(m, k, e.line,
                         format_text("the event begins at %s, which is not a whole number of time "
                                     "steps (%.2lf s) after the start of the run at %s.\n",
                                     date_time_text(e.start).c_str(), m.timestep, date_time_text(start).c_str()));
            return false;
        }
        if (steps > static_cast<double>(INT_MAX - 1)) {
            refuse_event(m, k, e.line,
                         format_text("the event begins at %s, more time steps (%.2lf s) after the "
                                     "start of the run at %s than the clock can count.\n",
                                     date_time_text(e.start).c_str(), m.timestep, date_time_text(start).c_str()));
            return false;
        }
        if (k == 1) continue;
        const event_span& before = spans[static_cast<std::size_t>(k - 2)];
        if (e.start < before.end - kTimeTolerance) {
            refuse_event(m, k, e.line,
                         format_text("the event begins at %s, before the last data line of event %d "
                                     "at %s; events must follow each other in time.\n",
                                     date_time_text(e.start).c_str(), k - 1, date_time_text(before.end).c_str()));
            return false;
        }
    }
    return true;
}

}  // namespace

void setup_optim_and_precip_events(model_state& m) {
    if (!scan_hmet_file(m)) return;
    if (!open_optim_output(m)) return;

    const bool summary_requested = m.htp && m.htp_event_num_given && m.htp_event_num == 0;
    const bool event_requested = m.htp_event_num_given && m.htp_event_num != 0;
    if (m.quiet) {
        if (m.rain_from_file) {
            say(m, format_text("using precipitation data from file: %s\n", m.precip_file.c_str()));
        } else {
            say(m, format_text("using uniform rain of %g mm/h for %g min\n", m.rain_intensity, m.rain_duration));
        }
        if (summary_requested)
            std::printf("\n\nReading precip file to write HTP summary in file: HTP_PRECIP.SUM\n");
    }

    if (m.uniform_rain || !m.rain_from_file) {
        // Uniform rain is one event: the event steps and the result record
        // of a calibration run count it like the first event of a file.
        m.nevents = 1;
        if (m.htp) m.long_term = 0;
        return;
    }

    std::FILE* summary = nullptr;
    if (summary_requested) {
        output_request request;
        request.words = "the land-management precipitation summary";
        request.name = kHtpSummaryFile;
        request.group = output_group::written_whole;
        request.what = "the land-management precipitation summary";
        request.fixed = true;
        const opened_output o = open_output(m, request);
        if (o.refused) return;
        summary = o.fp;
        if (!summary) {
            refuse("Unable to open file HTP_PRECIP.SUM for writing. Program terminated\n");
            return;
        }
    }
    if (!m.precip_file_fp) {
        g_error_record.fail(4, "raingage data", m.precip_file);
        return;
    }

    m.precip_in.fp = m.precip_file_fp.get();
    m.precip_in.file_name = m.precip_file;
    rewind_precip(m.precip_in);
    std::vector<double> starts;
    std::vector<event_span> spans;
    precip_event ev;
    for (;;) {
        const int result = read_precip_event(m.precip_in, ev);
        if (result == 1) {
            starts.push_back(ev.line_time(1));
            spans.push_back(event_span{ev.line_time(1), ev.line_time(ev.nlines), ev.first_data_line});
            continue;
        }
        if (result == 0) {
            if (g_error_record.code != 0) return;  // a refusal, reported by the driver
            break;
        }
        date_record last;
        if (!starts.empty()) {
            const calendar_time c = caldat(starts.back());
            last.year = c.year;
            last.month = c.month;
            last.day = c.day;
        }
        refuse(std::string("Unexpected end of file in rain gage data file.\n"
                           "Check the format of the data file.\nProgram terminated.") +
               format_text("Check rain event %d, event after %d %d %d \n", m.precip_in.events, last.year,
                           last.month, last.day) +
               format_text("The precipitation file %s ends at line %d, inside event %d.\n",
                           m.precip_file.c_str(), m.precip_in.line, m.precip_in.events));
        return;
    }
    if (starts.empty()) {
        no_events_in_file();
        return;
    }

    const int count = static_cast<int>(starts.size());
    if (!m.quiet && chatty(m)) {
        std::printf("End of precipitation input file reached.\n");
        if (m.long_term) {
            std::printf("Precip. file contains %d events\n", count);
        } else if (!m.htp) {
            std::printf("Precip. file contains %d events, simulating first event only\n", count);
            std::printf("because LONG_TERM project file card not set in project file.\n");
        } else {
            std::printf("Precip. file contains %d events.\n", count);
        }
    }
    m.nevents = (m.long_term || m.htp) ? count : 1;
    alloc_dvector(m.event_start_times, count, "event_start_times");
    if (!blocks_made(g_error_record, "the start times of the events", m.event_start_times)) return;
    for (int k = 1; k <= count; ++k) m.event_start_times[k] = starts[static_cast<std::size_t>(k - 1)];
    m.last_rain_time = spans[static_cast<std::size_t>(m.nevents - 1)].end;
    rewind_precip(m.precip_in);

    if (summary_requested) {
        write_htp_summary(summary, starts);
        if (!close_output(m, summary)) return;
        refuse("KESTA wrote precipitation data event summary to file: exchange/HTP_PRECIP.SUM\n"
               "No simulations performed.  KESTA terminated.\n\n");
        return;
    }
    if (event_requested && m.htp_event_num > m.nevents) {
        refuse(format_text("\n\nHTP has requested that KESTA run event %d.\n", m.htp_event_num) +
               format_text("The precip file specified in the project file: %s\n", m.precip_file.c_str()) +
               format_text("contains only %d events.  PROGRAM TERMINATED.\n\n", m.nevents));
        return;
    }
    if (!events_can_start(m, spans)) return;
    if (m.htp) m.long_term = 0;
}

}  // namespace kesta
