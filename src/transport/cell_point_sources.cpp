// Cell point sources of water and contaminants (OV_POINT_SOURCE): a file of
// time series in the layout of the time-series files, one block per cell
// and quantity:
//
//   KESTA_TS
//   3 7 0               grid row, grid column, 0: the discharge (m3/s)
//   ABSOLUTE            or RELATIVE: times count from the run start
//   2021 7 14 15 0 0.002    year month day hour minute value
//   2021 7 14 16 0 0.0
//   END_TS
//   KESTA_TS
//   3 7 1               the concentration of contaminant 1 (g/m3)
//   ...
//
// With the sediment classes carried as constituents (SOIL_EROSION of 10
// or more) the classes follow the contaminants in the numbering.
// Between records a value is interpolated linearly; before the first and
// after the last it holds. A cell with a concentration needs its discharge;
// a contaminant without a block for the cell brings nothing.
#include <algorithm>
#include <string>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/interval_clock.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

// Julian date julday gives year 0, month 0, day 0 at 00:00: a relative
// record's fields less this are days from the run start.
constexpr double kRelativeOrigin = 1721028.5;

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool blank(const std::string& text) { return text.find_first_not_of(" \t\r,") == std::string::npos; }

class point_file {
public:
    point_file(model_state& m, std::FILE* fp, const std::string& name) : m_(m), fp_(fp), name_(name) {}

    bool read() {
        line_cursor line;
        while (next(line)) {
            if (blank(line.text())) continue;
            if (!starts_with(line.text(), "KESTA_TS"))
                return refuse_line(line.text(), "a block begins with KESTA_TS");
            if (!read_block()) return false;
        }
        return check_discharges();
    }

private:
    bool next(line_cursor& line) {
        if (!read_line(line, fp_)) return false;
        ++line_;
        return true;
    }

    bool refuse_line(const std::string& text, const std::string& why) {
        return refuse(format_text("Error: cell point source file %s, line %d (\"%s\"): %s.\n", name_.c_str(), line_,
                                  echoed(text).c_str(), why.c_str()));
    }

    bool read_block() {
        line_cursor line;
        if (!next(line)) return refuse_line("", "the file ends before the block's cell");
        const std::string head = line.text();
        int row = 0, col = 0, k = 0;
        if (!pop_int_strict(line, row) || !pop_int_strict(line, col) || !pop_int_strict(line, k))
            return refuse_line(head, "the block's second line gives its cell's grid row and column and 0 for the "
                                     "discharge or a contaminant's number");
        if (row < 1 || row > m_.rows || col < 1 || col > m_.cols || m_.mask[row][col] == 0)
            return refuse_line(head, format_text("row %d, column %d is no cell of the watershed", row, col));
        if (k < 0 || k > m_.n_contaminants)
            return refuse_line(head,
                               format_text("quantity %d: give 0 for the discharge or a contaminant from 1 to %d%s", k,
                                           m_.n_contaminants,
                                           m_.first_sed_constituent >= 1
                                               ? " (the contaminants, then the sediment classes)"
                                               : ""));
        const int cell = m_.mask[row][col];
        cell_point_source& p = point_of(cell);
        time_series& s = k == 0 ? p.discharge : p.conc[static_cast<std::size_t>(k)];
        if (!s.times.empty())
            return refuse_line(head, format_text("row %d, column %d already has its %s", row, col,
                                                 k == 0 ? "discharge"
                                                        : ("concentration of " + quantity_name(k)).c_str()));
        s.name = head;
        if (!next(line)) return refuse_line("", "the file ends before the block's ABSOLUTE or RELATIVE line");
        s.relative = starts_with(line.text(), "RELATIVE") ? 1 : 0;
        if (!s.relative && !starts_with(line.text(), "ABSOLUTE"))
            return refuse_line(line.text(), "the line after the cell says ABSOLUTE or RELATIVE");
        while (next(line)) {
            const std::string record = line.text();
            if (starts_with(record, "END_TS")) break;
            if (blank(record)) continue;
            int year = 0, month = 0, day = 0, hour = 0, minute = 0;
            double value = 0.0;
            if (!(pop_int_strict(line, year) && pop_int_strict(line, month) && pop_int_strict(line, day) &&
                  pop_int_strict(line, hour) && pop_int_strict(line, minute) && pop_double_strict(line, value)))
                return refuse_line(record, "a record reads year month day hour minute value");
            if (k == 0 && !(value >= 0.0))
                return refuse_line(record, format_text("the discharge %g must be 0 or more", value));
            if (k > 0 && !water_conc_holds(value))
                return refuse_line(record, format_text("row %d, column %d gives %s the concentration %s g/m3; it "
                                                       "must be %s",
                                                       row, col, quantity_name(k).c_str(),
                                                       exact_number(value).c_str(), water_conc_rule().c_str()));
            double t = julday(year, month, day, hour, minute, 0.0);
            if (s.relative) t -= kRelativeOrigin;
            if (!s.times.empty() && t <= s.times.back())
                return refuse_line(record, "its time is not later than the record's before it");
            s.times.push_back(t);
            s.values.push_back(value);
        }
        if (s.times.empty()) return refuse_line(head, "the block has no record");
        return true;
    }

    // What quantity k (from 1) of the file carries, for messages:
    // "contaminant 2 (atrazine)", or "sediment class 1 (quantity 3)" for a
    // class carried as a constituent.
    std::string quantity_name(int k) const {
        if (sediment_class_slot(m_, k))
            return format_text("sediment class %d (quantity %d)", k - m_.first_sed_constituent + 1, k);
        const std::size_t s = static_cast<std::size_t>(k);
        if (s < m_.contam_names.size() && !m_.contam_names[s].empty())
            return format_text("contaminant %d (%s)", k, m_.contam_names[s].c_str());
        return format_text("contaminant %d", k);
    }

    cell_point_source& point_of(int cell) {
        for (cell_point_source& p : m_.cell_points)
            if (p.cell == cell) return p;
        m_.cell_points.emplace_back();
        cell_point_source& p = m_.cell_points.back();
        p.cell = cell;
        p.conc.resize(static_cast<std::size_t>(m_.n_contaminants) + 1);
        return p;
    }

    bool check_discharges() {
        for (const cell_point_source& p : m_.cell_points) {
            if (!p.discharge.times.empty()) continue;
            int row = 0, col = 0;
            cell_row_col(m_, p.cell, row, col);
            return refuse(format_text("Error: cell point source file %s gives concentrations for row %d, column %d "
                                      "but no discharge (a block with quantity 0).\n",
                                      name_.c_str(), row, col));
        }
        return true;
    }

    model_state& m_;
    std::FILE* fp_;
    std::string name_;
    int line_ = 0;
};

}  // namespace

void read_cell_point_sources(model_state& m) {
    std::string name = m.ov_point_source;
    file_ptr fp = open_or_refuse(name, "Error: cannot open the cell point source file (OV_POINT_SOURCE) %s\n");
    if (!fp) return;
    point_file f(m, fp.get(), name);
    if (f.read()) say(m, format_text("read %d cell point sources from file %s\n",
                                     static_cast<int>(m.cell_points.size()), name.c_str()));
}

void shift_cell_point_sources(model_state& m) {
    if (m.cell_points.empty()) return;
    const double start = run_start_time(m);
    const auto shift = [start](time_series& s) {
        if (!s.relative) return;
        for (double& t : s.times) t += start;
        s.relative = 0;
    };
    for (cell_point_source& p : m.cell_points) {
        shift(p.discharge);
        for (time_series& s : p.conc) shift(s);
    }
}

void add_cell_point_sources(model_state& m) {
    if (!m.ov_con_trans || !m.ov_point_source_given || m.cell_points.empty() ||
        !clock_due(m.wq_next, m.time, m.time_tol))
        return;
    const double dt = (m.time - m.wq_last) * kSecondsPerDay;
    if (!(dt > 0.0)) return;
    // The sources' values over the interval are those of its middle.
    const double t = 0.5 * (m.time + m.wq_last);
    const double area = m.gridsize * m.gridsize;
    bool added = false;
    for (cell_point_source& p : m.cell_points) {
        const double volume = ts_value_at(t, &p.discharge) * dt;
        if (!(volume > 0.0)) continue;
        added = true;
        const int k = p.cell;
        m.h[k] += volume / area;
        m.contam_water[k] += volume / area;
        book_water(m, water_flow::overland_point_sources, volume);
        for (int c = 1; c <= m.n_contaminants && static_cast<std::size_t>(c) < p.conc.size(); ++c) {
            time_series& s = p.conc[static_cast<std::size_t>(c)];
            if (s.times.empty()) continue;
            const double g = volume * ts_value_at(t, &s);
            if (!(g > 0.0)) continue;
            m.contam_mass[static_cast<std::size_t>(c)][k] += g;
            book(m, con_flow::ov_point, c, g);
        }
    }
    if (!added) return;
    // Infiltration waiting for the next event takes up the sources' water
    // at its next step.
    if (m.time + m.inf_interval < m.inf_next) {
        m.inf_next = m.time + m.inf_interval;
        if (m.time < m.inf_last) m.inf_last = m.time;
        if (m.inf_redist_on) m.redist_event_init = 0;
    }
}

}  // namespace kesta
