// Set-up of the Sacramento accounting: the run's time step, the parameter
// file and the topographic index of the cells.
//
//   KESTA_SACRAMENTO
//   uztwm 50          one card a line: name, then value
//   ...
// Sixteen parameter and content cards and "saved" are read (num_basins and
// basin are integers that may stand among them); reading ends at the line
// that completes the seventeen.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "subsurface/sacramento.hpp"
#include "subsurface/subsurface_steps.hpp"

namespace kesta {

namespace {

constexpr double kHourSeconds = 3600.0;
constexpr double kClockTolerance = 0.01;  // s: the due tolerance of the interval clocks
constexpr int kCountedCards = 17;

enum class card_kind {
    capacity,    // mm, greater than 0: every ratio of the accounting divides by it
    rate,        // per interval, limited to [0, 1)
    content,     // fraction of its capacity, limited to [0, 1]
    fraction,    // pfree: a share, within [0, 1]
    nonnegative, // zperc, rexp, saved (mm)
};

struct sac_card {
    const char* name;
    double sacramento_params::*member;
    card_kind kind;
    double sacramento_params::*capacity;  // of a content
};

using P = sacramento_params;
const sac_card kCards[] = {
    {"uztwm", &P::uztwm, card_kind::capacity, nullptr},
    {"uzfwm", &P::uzfwm, card_kind::capacity, nullptr},
    {"uzk", &P::uzk, card_kind::rate, nullptr},
    {"zperc", &P::zperc, card_kind::nonnegative, nullptr},
    {"rexp", &P::rexp, card_kind::nonnegative, nullptr},
    {"lztwm", &P::lztwm, card_kind::capacity, nullptr},
    {"lzfsm", &P::lzfsm, card_kind::capacity, nullptr},
    {"lzfpm", &P::lzfpm, card_kind::capacity, nullptr},
    {"lzsk", &P::lzsk, card_kind::rate, nullptr},
    {"lzpk", &P::lzpk, card_kind::rate, nullptr},
    {"pfree", &P::pfree, card_kind::fraction, nullptr},
    {"uztwc", &P::uztwc, card_kind::content, &P::uztwm},
    {"uzfwc", &P::uzfwc, card_kind::content, &P::uzfwm},
    {"lztwc", &P::lztwc, card_kind::content, &P::lztwm},
    {"lzfsc", &P::lzfsc, card_kind::content, &P::lzfsm},
    {"lzfpc", &P::lzfpc, card_kind::content, &P::lzfpm},
    {"saved", &P::saved, card_kind::nonnegative, nullptr},
};
constexpr int kCardCount = static_cast<int>(sizeof kCards / sizeof kCards[0]);
static_assert(kCardCount == kCountedCards, "every counted card has its row");

// Where each card was read: its line and value as written, for messages.
struct card_seen {
    int line = 0;
    std::string text;
};

int card_index(const std::string& word) {
    for (int i = 0; i < kCardCount; ++i) {
        if (word == kCards[i].name) return i;
    }
    return -1;
}

std::string at_line(const std::string& file, int line, const std::string& text) {
    return format_text("(Sacramento parameter file %s, line %d: \"%s\")\n", file.c_str(), line, text.c_str());
}

bool timestep_divides_hour(const model_state& m) {
    if (m.timestep > 0.0) {
        const double steps = std::round(kHourSeconds / m.timestep);
        if (steps >= 1.0 && std::fabs(steps * m.timestep - kHourSeconds) < kClockTolerance) return true;
    }
    return refuse(format_text("Error: project file %s: TIMESTEP %g s does not divide the hour. The Sacramento\n"
                              "accounting runs every 3600 s and would never fall due; use a TIMESTEP that\n"
                              "divides 3600 s (such as 5, 10, 30 or 60 s).\n",
                              m.project_file.c_str(), m.timestep));
}

// The values that break a card's bounds are refused; those the accounting
// has always limited are limited with a warning.
bool settle_card(sacramento_params& p, const sac_card& c, const card_seen& seen, const std::string& file) {
    double& v = p.*(c.member);
    const std::string where = at_line(file, seen.line, seen.text);
    switch (c.kind) {
        case card_kind::capacity:
            if (!(v > 0.0))
                return refuse(format_text("Error: the Sacramento capacity %s is %g mm; every capacity must be "
                                          "greater than 0.\n",
                                          c.name, v) +
                              where);
            return true;
        case card_kind::fraction:
            if (!(v >= 0.0 && v <= 1.0))
                return refuse(format_text("Error: the Sacramento share %s is %g; it must lie within 0 and 1.\n",
                                          c.name, v) +
                              where);
            return true;
        case card_kind::nonnegative:
            if (!(v >= 0.0))
                return refuse(format_text("Error: the Sacramento parameter %s is %g; it must not be negative.\n",
                                          c.name, v) +
                              where);
            return true;
        case card_kind::rate:
        case card_kind::content: {
            // A rate or content fraction above 1 (lzsk and lztwc from 1: lzsk
            // of 1 would empty the supplementary store every interval) or
            // below 0 takes its stand-in; a content then becomes mm.
            const bool content = c.kind == card_kind::content;
            const bool high = c.member == &P::lzsk || c.member == &P::lztwc ? v >= 1.0 : v > 1.0;
            if (high || v < 0.0) {
                v = high ? (content ? 0.99 : 0.5) : (content ? 0.01 : 0.05);
                const std::string text = format_text("WARNING:%s changed!\n", c.name);
                std::fputs(text.c_str(), stderr);
                note_warning(text);
            }
            if (content) v *= p.*(c.capacity);
            return true;
        }
    }
    return true;
}

// Reads the cards into `m.sac`; false after a refusal.
bool read_sacramento_input(model_state& m, std::FILE* fp) {
    const std::string& file = m.sacramento;
    line_cursor line;
    if (!read_line(line, fp) || line.text().compare(0, 16, "KESTA_SACRAMENTO") != 0) {
        refuse_on_stderr("The specified Sacramento model input parameter file does not\n"
                         "have the proper header: KESTA_SACRAMENTO \n"
                         "Program terminated in read_sacramento\n" +
                         at_line(file, 1, line.text()));
        return false;
    }
    sacramento_params& p = m.sac.p;
    std::vector<card_seen> seen(kCardCount);
    int counted = 0, number = 1;
    while (counted < kCountedCards && read_line(line, fp)) {
        ++number;
        const std::string text = line.text();
        std::string word;
        if (!pop_string(line, word)) continue;
        word = to_lower(word);
        const int i = card_index(word);
        if (i < 0 && word != "num_basins" && word != "basin") continue;
        const std::string value = peek_token(line);
        bool read = false;
        if (i >= 0) {
            read = pop_double_strict(line, p.*(kCards[i].member));
        } else {
            int n = 0;
            read = pop_int_strict(line, n);
        }
        if (!read)
            return refuse(format_text("Error: the Sacramento card %s needs a %s value; it has \"%s\".\n",
                                      word.c_str(), i >= 0 ? "numeric" : "whole-number", value.c_str()) +
                          at_line(file, number, text));
        if (i < 0) continue;
        if (seen[static_cast<std::size_t>(i)].line != 0) {
            refuse_on_stderr("Duplicate cards read in Sacramento parameter file.\n"
                             "There should be only 21 different cards in the file\n"
                             "with no duplicates.\n"
                             "Program terminated in read_sacramento\n" +
                             format_text("(card %s on lines %d and %d of %s)\n", word.c_str(),
                                         seen[static_cast<std::size_t>(i)].line, number, file.c_str()));
            return false;
        }
        seen[static_cast<std::size_t>(i)] = {number, text};
        ++counted;
    }
    if (counted < kCountedCards) {
        std::string missing;
        for (int i = 0; i < kCardCount; ++i) {
            if (seen[static_cast<std::size_t>(i)].line == 0) missing += std::string(" ") + kCards[i].name;
        }
        std::printf("Premature end-of-file in the Sacramento parameter input file.\n"
                    "The channel input file does not contain all the required parameters.\n"
                    "The file should contain 21 parameters.  Only %d parameters read.\n"
                    "Program terminated in read_sacramento_input.\n",
                    counted);
        return refuse(format_text("(Sacramento parameter file %s lacks:%s)\n", file.c_str(), missing.c_str()));
    }
    // Capacities first: the contents are read as fractions of them.
    for (card_kind kind : {card_kind::capacity, card_kind::rate, card_kind::content, card_kind::fraction,
                           card_kind::nonnegative}) {
        for (int i = 0; i < kCardCount; ++i) {
            if (kCards[i].kind == kind && !settle_card(p, kCards[i], seen[static_cast<std::size_t>(i)], file))
                return false;
        }
    }
    if (p.saved > p.lzfpc) {
        p.saved = p.lzfpc;
        std::fputs("WARNING:saved changed!\n", stderr);
        note_warning("WARNING:saved changed!\n");
    }
    return true;
}

// The topographic index of the run's cells into topo_dex; refuses an index
// below 0, which a cell gets when its lower neighbours drain more than its
// upslope area.
bool set_topo_index(model_state& m) {
    vec1<double> index;
    topographic_index(m.mask, m.elev, m.rows, m.cols, m.gridsize, index);
    for (int k = 1; k <= m.ncells && k <= m.topo_dex.n(); ++k) {
        if (index[k] < 0.0) {
            int row = 0, col = 0;
            cell_row_col(m, k, row, col);
            refuse_on_stderr(format_text("Warning: topodex routine has computed a negative topodex value\n"
                                         "Check your input elevation file for large flat areas with\n"
                                         "either the exact same elevation or nearly so (~0.0000x)\n"
                                         "If you do not want to do this, you can remove the TOPO_INDEX card "
                                         "from your\n"
                                         "KESTA project file, and the KESTA Sacramento Routine will the\n"
                                         "simply put its output into the channels uniformly.\n"
                                         "Program terminated.\n"
                                         "(cell at row %d, column %d of elevation file %s: index %g)\n",
                                         row, col, m.elevation.c_str(), index[k]));
            return false;
        }
        m.topo_dex[k] = index[k];
    }
    return true;
}

struct ranked_cell {
    double elev;
    int row, col;
};

}  // namespace

void topographic_index(const mat2<int>& mask, const vec1<double>& elev, int rows, int cols, double dx,
                       vec1<double>& index) {
    int ncells = 0;
    std::vector<ranked_cell> order;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int k = mask[r][c];
            if (k <= 0) continue;
            ncells = std::max(ncells, k);
            order.push_back({elev[k], r, c});
        }
    }
    index = vec1<double>(ncells);
    vec1<double> area(ncells);
    area.fill(dx * dx);
    // Highest first; cells of one height pass nothing to each other, so
    // their order does not matter.
    std::stable_sort(order.begin(), order.end(),
                     [](const ranked_cell& a, const ranked_cell& b) { return a.elev > b.elev; });
    const double diagonal = std::sqrt(2.0);
    for (const ranked_cell& cell : order) {
        const int k = mask[cell.row][cell.col];
        const double z = elev[k];
        double weights[8] = {};
        int lower[8] = {};
        int n_lower = 0, n_higher = 0;
        double sum = 0.0, rise = 0.0;
        for (int dr = -1; dr <= 1; ++dr) {
            for (int dc = -1; dc <= 1; ++dc) {
                const int r = cell.row + dr, c = cell.col + dc;
                if ((dr == 0 && dc == 0) || r < 1 || r > rows || c < 1 || c > cols || mask[r][c] <= 0) continue;
                const int j = mask[r][c];
                const bool side = dr == 0 || dc == 0;
                const double distance = side ? dx : diagonal * dx;
                if (elev[j] < z) {
                    // Contour length times slope: half the cell side for a
                    // side neighbour, sqrt(2)/4 of it for a corner.
                    const double tan_b = (z - elev[j]) / distance;
                    const double w = side ? 0.5 * tan_b * dx : diagonal / 4.0 * tan_b * dx;
                    weights[n_lower] = w;
                    lower[n_lower++] = j;
                    sum += w;
                } else if (elev[j] > z) {
                    rise += (elev[j] - z) / distance;
                    ++n_higher;
                }
            }
        }
        if (n_lower > 0) {
            index[k] = std::log(area[k] / sum);
            for (int i = 0; i < n_lower; ++i) area[lower[i]] += area[k] / sum * weights[i];
            continue;
        }
        const double s = n_higher > 0 ? rise / n_higher : 0.0;
        if (s > 1e-8) {
            if (s < 1e-6) warn(format_text("sslope<1.0e-6 in read_sacramento : %.10lf\n", s));
            index[k] = std::log(area[k] / (2.0 * dx * s));
        } else {
            index[k] = 0.333;
        }
    }
}

void open_sacramento_file(model_state& m) {
    if (!m.sacramento_given) return;
    if (!timestep_divides_hour(m)) return;
    file_ptr fp = open_or_refuse(m.sacramento, "Cannot open Sacramento input parameter file: %s\n");
    if (!fp) return;
    if (!read_sacramento_input(m, fp.get())) return;
    close_file(fp);
    if (m.topo_index && !set_topo_index(m)) return;
    sacramento_state& s = m.sac;
    s.p.residual = 0.0;
    s.initial = {{s.p.uztwc, s.p.uzfwc, s.p.lztwc, s.p.lzfpc, s.p.lzfsc}};
    s.initial_storage = s.p.storage();
}

}  // namespace kesta
