#include "overland/overland_lakes.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"

namespace kesta {

namespace {

constexpr double kMinRise = 1e-10;           // m; smaller level changes leave the extent alone
constexpr double kGroupTolerance = 0.0001;   // m; levels this close form one group
constexpr int kInsertionLength = 7;          // stretches shorter than this are sorted by insertion

bool word_end(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

// The first word of the line, lower-cased; the cursor moves past it.
std::string take_first_word(line_cursor& line) {
    const std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n' || s[p] == '\r')) ++p;
    std::string word;
    while (p < s.size() && !word_end(s[p])) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(s[p])));
        ++p;
    }
    line.set_position(p);
    return word;
}

int card_is(line_cursor& line, const char* keyword) { return take_first_word(line) == keyword ? 0 : 1; }

// A non-empty word that is a leading part of the keyword.
bool leads_keyword(const std::string& word, const char* keyword) {
    return !word.empty() && word.size() <= std::strlen(keyword) &&
           std::strncmp(word.c_str(), keyword, word.size()) == 0;
}

// The first line of a card file: false when the file is empty or its first
// word does not lead the keyword.
bool header_agrees(std::FILE* fp, const char* keyword) {
    line_cursor line;
    if (!read_line(line, fp)) return false;
    return leads_keyword(take_first_word(line), keyword);
}

void refuse_card(const char* what, const std::string& file_name, int line_no, const std::string& text,
                 const char* value) {
    refuse(format_text("Error: %s %s, line %d: the %s does not read in \"%s\".  Program terminated.\n", what,
                       file_name.c_str(), line_no, value, echoed(text).c_str()));
}

// Water standing in lake `lake` at `level` over its cells (m3).
double lake_water(const model_state& m, int lake, double level, double cell_area) {
    double v = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.oland_lake_new[k] == lake) v += (level - m.elev[k]) * cell_area;
    }
    return v;
}

// Candidate cells with their levels, 1-based (element 0 unused), and the
// groups of nearly equal levels they form once sorted.
struct candidate_set {
    std::vector<int> cell{0};
    std::vector<double> level{0.0};
    std::vector<double> group_level{0.0};  // level of the first candidate of group j
    std::vector<int> group_end{0};         // candidates in groups 1..j

    int size() const { return static_cast<int>(cell.size()) - 1; }
    int groups() const { return static_cast<int>(group_level.size()) - 1; }
    void add(int c, double l) {
        cell.push_back(c);
        level.push_back(l);
    }
    // After sorting: a cell met again is dropped, so that no cell is counted
    // or taken twice.
    void drop_repeats(std::vector<char>& seen) {
        std::size_t out = 1;
        for (std::size_t i = 1; i < cell.size(); ++i) {
            const int c = cell[i];
            if (seen[static_cast<std::size_t>(c)]) continue;
            seen[static_cast<std::size_t>(c)] = 1;
            cell[out] = c;
            level[out] = level[i];
            ++out;
        }
        for (std::size_t i = 1; i < out; ++i) seen[static_cast<std::size_t>(cell[i])] = 0;
        cell.resize(out);
        level.resize(out);
    }
    // A candidate within the tolerance of its group's first level joins the
    // group; any other starts the next group. `key` gives the grouped level.
    template <class Key>
    void group(Key key) {
        group_level.assign(1, 0.0);
        group_end.assign(1, 0);
        for (int i = 1; i <= size(); ++i) {
            const double v = key(i);
            if (groups() == 0 || std::fabs(v - group_level.back()) >= kGroupTolerance) {
                group_level.push_back(v);
                group_end.push_back(group_end.back());
            }
            ++group_end.back();
        }
    }
};

void take_cell(model_state& m, lake_record& rec, int lake, int cell, double cell_area, double& taken) {
    m.oland_lake_new[cell] = lake;
    ++rec.ncells;
    taken += m.h[cell] * cell_area;
    m.h[cell] = 0.0;
}

// The level (m) at which the cells of lake `lake` hold `water` m3.
double level_holding(const model_state& m, int lake, double water, double cell_area) {
    double ground = 0.0;
    int cells = 0;
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.oland_lake_new[k] != lake) continue;
        ground += m.elev[k];
        ++cells;
    }
    return (water / cell_area + ground) / cells;
}

// The cells outside every lake beside lake `lake` (across no dike) whose
// water surface lies below `trial` and not below `lowest`, sorted by their
// surface, each once.
candidate_set growth_candidates(const model_state& m, int lake, double trial, double lowest,
                                std::vector<char>& seen) {
    const bool dikes = m.dike_map_given && !m.dike_mask.empty();
    const vec1<int>* sides[4] = {&m.abovecon, &m.rightcon, &m.belowcon, &m.leftcon};
    candidate_set cand;
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.oland_lake_new[k] != lake) continue;
        int code = 0;
        for (int b = 0; b < 4; ++b) {
            const int nb = (*sides[b])[k];
            if (nb && m.oland_lake_new[nb] == 0) code |= 1 << b;
        }
        if (dikes) code &= ~m.dike_mask[k];
        for (int b = 0; b < 4; ++b) {
            if (!(code & (1 << b))) continue;
            const int nb = (*sides[b])[k];
            const double surface = m.elev[nb] + m.h[nb];
            if (surface < trial && surface >= lowest) cand.add(nb, surface);
        }
    }
    if (cand.size() > 1) {
        sort2(cand.size(), cand.level, cand.cell);
        // Made on the first lake of the update that needs it.
        if (seen.empty()) seen.assign(static_cast<std::size_t>(m.ncells) + 1, 0);
        cand.drop_repeats(seen);
        cand.group([&](int i) { return cand.level[i]; });
    }
    return cand;
}

// The level (m) a lake of n cells at `level` reaches when it gains `gain`
// m3 and fills the candidates that lie below it, up from their surfaces.
double risen_level(const candidate_set& cand, double level, int n, double gain, double cell_area) {
    if (cand.size() == 0) return level + gain / (n * cell_area);
    if (cand.size() == 1) return (n * level + gain / cell_area + cand.level[1]) / (n + 1);
    const int g = cand.groups();
    // Volume that raises the lake to the level of group j, over the lake and
    // the candidates of the groups below j.
    int j = g;
    double v = (cand.group_level[1] - level) * n * cell_area;
    for (int jj = 1; jj < g; ++jj) {
        const double next =
            v + (cand.group_level[jj + 1] - cand.group_level[jj]) * (n + cand.group_end[jj]) * cell_area;
        if (next > gain) {
            j = jj;
            break;
        }
        v = next;
    }
    return cand.group_level[j] + (gain - v) / ((n + cand.group_end[j]) * cell_area);
}

// The lake rises to `trial` or beyond, over the neighbouring cells that the
// new level floods; `before` is the water it held (m3). A lake never falls
// below its initial level: when filling the candidates whose surface lies
// below that level would draw it under, they are left to fill through the
// lake's faces, and only the others are candidates.
void grow_lake(model_state& m, int lake, lake_record& rec, double trial, double before, double cell_area,
               std::vector<char>& seen, double& taken) {
    const double gain = rec.step_volume;
    const int n = rec.ncells;
    candidate_set cand = growth_candidates(m, lake, trial, -std::numeric_limits<double>::infinity(), seen);
    double level = risen_level(cand, rec.level, n, gain, cell_area);
    if (level < rec.initial_level) {
        cand = growth_candidates(m, lake, trial, rec.initial_level, seen);
        level = risen_level(cand, rec.level, n, gain, cell_area);
    }
    if (cand.size() == 1) {
        take_cell(m, rec, lake, cand.cell[1], cell_area, taken);
    } else if (cand.size() > 1) {
        for (int i = 1; i <= cand.size(); ++i) {
            const int c = cand.cell[i];
            if (m.elev[c] < level) take_cell(m, rec, lake, c, cell_area, taken);
        }
        // The groups count their candidates at the first one's surface, and
        // a deeper candidate may be taken with water above the level: the
        // level that holds the water exactly.
        level = level_holding(m, lake, before + gain + taken, cell_area);
    }
    rec.level = level;
    rec.volume += gain + taken;
    m.olake_added_volume += gain + taken;
}

void not_enough_volume(int lake) {
    refuse(format_text("Not enough volume in lake %d to satisfy drainage demand.\n"
                       "Program stopped in olake_extent\n",
                       lake));
}

// The lake falls to `trial`, giving back the cells it took over that the new
// level no longer covers; `before` is the water it held (m3). False when the
// lake cannot supply the loss.
bool shrink_lake(model_state& m, int lake, lake_record& rec, double trial, double before, double cell_area) {
    const double loss = -rec.step_volume;
    m.olake_drained_volume += loss;
    bool some_above = false;
    candidate_set cand;  // the cells taken over
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.oland_lake_new[k] != lake) continue;
        if (m.elev[k] > trial) some_above = true;
        if (m.oland_lake_mask[k] < 1) cand.add(k, trial - m.elev[k]);
    }
    // Only cells taken over can be given back; the lake's own cells stay.
    if (!some_above || cand.size() == 0) {
        rec.level = trial;
        rec.volume += rec.step_volume;
        return true;
    }

    // Highest ground first.
    sort2(cand.size(), cand.level, cand.cell);
    cand.group([&](int i) { return m.elev[cand.cell[i]]; });
    const int g = cand.groups();
    const int n = rec.ncells;
    // Volume released by lowering the lake to the ground of group j, the
    // cells of the groups above j having left.
    int j = g;
    double r = (rec.level - cand.group_level[1]) * n * cell_area;
    bool found = false;
    for (int jj = 1; jj < g; ++jj) {
        const double next =
            r + (cand.group_level[jj] - cand.group_level[jj + 1]) * (n - cand.group_end[jj]) * cell_area;
        if (next > loss) {
            j = jj;
            found = true;
            break;
        }
        r = next;
    }
    const int remaining = n - cand.group_end[j];
    if ((!found && r < 0.0) || remaining < 1) {
        not_enough_volume(lake);
        return false;
    }
    double level = cand.group_level[j] - (loss - r) / (remaining * cell_area);
    // The groups count their cells at the highest ground among them: the
    // level then follows from the water left over the cells that stay, and
    // a cell it no longer covers leaves too.
    for (bool left = true; left;) {
        left = false;
        for (int i = 1; i <= cand.size(); ++i) {
            const int c = cand.cell[i];
            if (m.oland_lake_new[c] == lake && m.elev[c] > level) {
                m.oland_lake_new[c] = 0;
                --rec.ncells;
                left = true;
            }
        }
        level = level_holding(m, lake, before - loss, cell_area);
    }
    rec.level = level;
    rec.volume += rec.step_volume;
    return true;
}

}  // namespace

int get_lake_card(line_cursor& line) { return card_is(line, "lake"); }
int get_lowspot_card(line_cursor& line) { return card_is(line, "spot"); }

bool read_lake_file(std::FILE* fp, const std::string& file_name, int expected,
                    std::vector<lake_record>& lakes) {
    if (!header_agrees(fp, "kesta_overland_lake_file")) {
        refuse_on_stderr("The overland lake input data file doesn't start with\n"
                         " KESTA_OVERLAND_LAKE_FILE card.\n"
                         "The file format is invalid.  Program terminated.\n");
        return false;
    }
    if (static_cast<int>(lakes.size()) < expected + 1) lakes.resize(static_cast<std::size_t>(expected) + 1);
    line_cursor line;
    int line_no = 1;
    int cards = 0;
    while (read_line(line, fp)) {
        ++line_no;
        if (get_lake_card(line) != 0) continue;
        int number = 0;
        double level = 0.0;
        double volume = 0.0;
        if (!pop_int_strict(line, number)) {
            refuse_card("overland lake file", file_name, line_no, line.text(), "lake number");
            return false;
        }
        if (number < 1 || number > expected) {
            return refuse(format_text("Error: overland lake file %s, line %d: lake number %d lies outside 1 to "
                                      "%d, the lakes of the lake map.  Program terminated.\n",
                                      file_name.c_str(), line_no, number, expected));
        }
        if (!pop_double_strict(line, level)) {
            refuse_card("overland lake file", file_name, line_no, line.text(), "lake level");
            return false;
        }
        if (!pop_double_strict(line, volume)) {
            refuse_card("overland lake file", file_name, line_no, line.text(), "lake volume");
            return false;
        }
        ++cards;
        lake_record& r = lakes[static_cast<std::size_t>(number)];
        r.level = level;
        r.initial_level = level;
        r.volume = volume;
        std::printf("%d   Elev: %.2lf   Volume: %.2lf\n", cards, r.level, r.volume);
    }
    if (cards == 0) {
        return refuse("Premature end-of-file in the overland lake input data file.\n"
                      "No LAKE cards encountered before end of file.\n"
                      "Program terminated.\n");
    }
    if (cards != expected) {
        return refuse(format_text("Incorrect number of LAKE cards in the overland lake input data file.\n"
                                  "Expected %d LAKE cards, read %d\n"
                                  "Program terminated.\n",
                                  expected, cards));
    }
    return true;
}

bool read_lowspot_file(std::FILE* fp, const std::string& file_name, int& count,
                       std::vector<lowspot_record>& table) {
    count = 0;
    table.assign(1, lowspot_record());
    if (!header_agrees(fp, "lowspot")) {
        refuse_on_stderr(format_text("The lowspot input file: %s does not start with the LOWSPOT card.\n"
                                     "The file format is invalid.  Program terminated.\n",
                                     file_name.c_str()));
        return false;
    }
    line_cursor line;
    int line_no = 1;
    while (read_line(line, fp)) {
        ++line_no;
        if (get_lowspot_card(line) != 0) continue;
        lowspot_record r;
        const char* bad = nullptr;
        if (!pop_int_strict(line, r.row)) bad = "row";
        else if (!pop_int_strict(line, r.col)) bad = "column";
        else if (!pop_int_strict(line, r.side)) bad = "side";
        else if (!pop_double_strict(line, r.fraction)) bad = "fraction";
        else if (!pop_double_strict(line, r.elevation)) bad = "elevation";
        if (bad) {
            refuse_card("low-spot file", file_name, line_no, line.text(), bad);
            table.assign(1, lowspot_record());
            return false;
        }
        table.push_back(r);
    }
    if (table.size() == 1) {
        return refuse("Premature end-of-file in the lowspot input file.\n"
                      "No SPOT cards encountered before end of file.\n"
                      "Program terminated.\n");
    }
    count = static_cast<int>(table.size()) - 1;
    return true;
}

void sort2(int n, std::vector<double>& keys, std::vector<int>& carried) {
    if (n < 2) return;
    double* arr = keys.data();
    int* brr = carried.data();
    std::vector<int> stack;  // pairs (low, high) of stretches still to sort
    int l = 1;
    int ir = n;
    for (;;) {
        if (ir - l < kInsertionLength) {
            for (int j = l + 1; j <= ir; ++j) {
                const double a = arr[j];
                const int b = brr[j];
                int i = j - 1;
                for (; i >= l; --i) {
                    if (arr[i] <= a) break;
                    arr[i + 1] = arr[i];
                    brr[i + 1] = brr[i];
                }
                arr[i + 1] = a;
                brr[i + 1] = b;
            }
            if (stack.empty()) return;
            ir = stack.back();
            stack.pop_back();
            l = stack.back();
            stack.pop_back();
        } else {
            const int k = (l + ir) >> 1;
            std::swap(arr[k], arr[l + 1]);
            std::swap(brr[k], brr[l + 1]);
            if (arr[l] > arr[ir]) {
                std::swap(arr[l], arr[ir]);
                std::swap(brr[l], brr[ir]);
            }
            if (arr[l + 1] > arr[ir]) {
                std::swap(arr[l + 1], arr[ir]);
                std::swap(brr[l + 1], brr[ir]);
            }
            if (arr[l] > arr[l + 1]) {
                std::swap(arr[l], arr[l + 1]);
                std::swap(brr[l], brr[l + 1]);
            }
            int i = l + 1;
            int j = ir;
            const double a = arr[l + 1];
            const int b = brr[l + 1];
            for (;;) {
                do ++i; while (arr[i] < a);
                do --j; while (arr[j] > a);
                if (j < i) break;
                std::swap(arr[i], arr[j]);
                std::swap(brr[i], brr[j]);
            }
            arr[l + 1] = arr[j];
            arr[j] = a;
            brr[l + 1] = brr[j];
            brr[j] = b;
            // The longer stretch waits; the shorter is sorted next.
            if (ir - i + 1 >= j - l) {
                stack.push_back(i);
                stack.push_back(ir);
                ir = j - 1;
            } else {
                stack.push_back(l);
                stack.push_back(j - 1);
                l = i;
            }
        }
    }
}

void olake_water_above_initial(const model_state& m, vec1<double>& above) {
    const int lakes = std::max(0, static_cast<int>(m.oland_lakes.size()) - 1);
    if (above.n() < lakes) above = vec1<double>(lakes);
    for (int lake = 1; lake <= lakes; ++lake) above[lake] = 0.0;
    const double cell_area = m.gridsize * m.gridsize;
    const int n = std::min(m.ncells, m.oland_lake_new.n());
    for (int k = 1; k <= n; ++k) {
        const int lake = m.oland_lake_new[k];
        if (lake < 1 || lake > lakes) continue;
        const lake_record& r = m.oland_lakes[static_cast<std::size_t>(lake)];
        // A cell whose ground lies above the initial level holds only the
        // water above its ground, which it takes away when it leaves. A
        // growth that spreads the lake over a low neighbour can leave such a
        // cell's ground above the level: it then holds less than nothing,
        // which the lake's water counts and so must this.
        const double floor = std::max(r.initial_level, m.elev[k]);
        above[lake] += (r.level - floor) * cell_area;
    }
    for (int lake = 1; lake <= lakes; ++lake) above[lake] = std::max(0.0, above[lake]);
}

void olake_extent(model_state& m) {
    const double cell_area = m.gridsize * m.gridsize;
    std::vector<char> seen;  // cells met while a lake grows, all 0 between lakes
    for (int lake = 1; lake <= m.n_oland_lakes; ++lake) {
        lake_record& rec = m.oland_lakes[static_cast<std::size_t>(lake)];
        const double before = lake_water(m, lake, rec.level, cell_area);
        double taken = 0.0;  // water of the cells taken over (m3)
        if (rec.ncells >= 1) {
            const double rise = rec.step_volume / (rec.ncells * cell_area);
            const double trial = rec.level + rise;
            if (trial < rec.initial_level) {
                // The routing and the low spots take no more from a lake
                // than it holds above this level: only their rounding
                // lands here.
                rec.level = rec.initial_level;
            } else if (std::fabs(rise) < kMinRise) {
                // Too small a change to take or give back a cell; the
                // water still counts.
                rec.level = trial;
                rec.volume += rec.step_volume;
                (rise > 0.0 ? m.olake_added_volume : m.olake_drained_volume) += std::fabs(rec.step_volume);
            } else if (rise > 0.0) {
                grow_lake(m, lake, rec, trial, before, cell_area, seen, taken);
            } else if (!shrink_lake(m, lake, rec, trial, before, cell_area)) {
                return;
            }
        }
        const double after = lake_water(m, lake, rec.level, cell_area);
        m.olake_balance_error += before + rec.step_volume + taken - after;
    }
}

void step_overland_lake_extent(model_state& m) {
    if (!m.overland_lake_map_given || m.n_oland_lakes < 1 || !m.olake_update_due) return;
    const double cell_area = m.gridsize * m.gridsize;
    double total = 0.0;
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = m.oland_lake_new[k];
        if (lake != 0) total += (m.oland_lakes[static_cast<std::size_t>(lake)].level - m.elev[k]) * cell_area;
    }
    m.olake_water_total = total;
    olake_extent(m);
    for (lake_record& r : m.oland_lakes) r.step_volume = 0.0;
    m.olake_update_due = 0;
}

}  // namespace kesta
