// The summary file's own writers beside the start-up block and the event
// summary (declared with the output steps).
#pragma once

#include <cstdio>
#include <string>

#include "model/model_state_fwd.hpp"
#include "output/finite_output.hpp"

namespace kesta {

// One line of the summary file: fprintf(fp, format, args...), unless one of
// its values is not finite: then the line is not written and the run stops
// naming the line's quantity (output/finite_output.hpp).
template <class... A>
void summary_line(const model_state& m, std::FILE* fp, const char* format, A... args) {
    print_finite(m, fp, "", format, args...);
}

// The Sacramento section of the end-of-run summaries: the accounting's own
// stores and run totals, with its mass check (nothing without SACRAMENTO).
void write_sacramento_run_summary(const model_state& m);

// The overland sediment section of an event summary (with SOIL_EROSION),
// from the totals by class that the event's close formed: per class what
// was eroded, deposited, left in suspension and passed to the outlet (or
// the channels and lakes), and its balance error in percent.
void write_event_sediment_summary(const model_state& m, std::FILE* fp);

// The constituent sections of an event summary (with OV_CON_TRANS): per
// contaminant the event's soil balance (SOIL_CON_TRANS) and its overland
// balance, from the books the event's close formed.
void write_event_constituent_summary(const model_state& m, std::FILE* fp);
// The constituent sections of the end-of-run summaries (with OV_CON_TRANS):
// the final masses and the run's balances formed, then per contaminant the
// soil (SOIL_CON_TRANS), overland and whole-basin sections.
void write_constituent_run_summary(model_state& m);

// Writes one dotted line: the label and a blank, the fill character up to
// `width` characters (none when the label is that long), then blanks so that
// the decimal point of the value falls `point_column` + 1 characters after
// that, then the value printed with `value_format`, then `extra_newlines` + 1
// line ends (a negative count counts as 0). With width 50 and point column
// 14 every point lands in column 66. `value_format` holds exactly one double
// conversion; a value printed without a point (nan, inf) is aligned as if
// its point followed its last character.
void write_padded_value(std::FILE* fp, const std::string& label, double value, int width,
                        const char* value_format, char fill, int point_column, int extra_newlines);
// As write_padded_value, unless the value is not finite: then the line is
// not written and the run stops naming the label.
void write_padded_value(const model_state& m, std::FILE* fp, const std::string& label, double value, int width,
                        const char* value_format, char fill, int point_column, int extra_newlines);

}  // namespace kesta
