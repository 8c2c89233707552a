// The lakes of the channel network, from the lake cards that follow the
// LINK card of each lake link:
//   LAKE, MLAKE bed thickness (leakage through the bed), MINWSE, INITWSE,
//   MAXWSE (m),
//   NUMPTS n, then n (row, column) pairs ten to a line: the cells the lake
//   floods, in the order it floods them.
// The lake starts at INITWSE over every listed cell whose ground lies below
// that level; those cells are moved to the front of the list, because the
// lake's extent is always the first `lake_cells` entries of its list.
#include <algorithm>
#include <vector>

#include "channel/channel_input.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr int kPairsPerLine = 10;
constexpr double kFloodTolerance = 0.001;  // m: ground this close below the level stays dry
constexpr int kLakeBoundary = 7;           // groundwater boundary kind of a lake cell

struct lake_list {
    int card_line = 0;  // line of its LAKE card
    std::vector<int> row, col;
};

// The n pairs after a NUMPTS card, on the lines after it; `n_at` is moved
// to the last line read.
bool read_pairs(model_state& m, const card_file& f, int& n_at, int count, lake_list& list) {
    const int numpts_line = n_at;
    for (int k = 0; k < count;) {
        if (++n_at > f.count())
            return refuse_line(f, numpts_line, format_text("NUMPTS %d: the file ends after %d of its cells.", count, k));
        line_cursor line(f.line(n_at));
        for (const int end = std::min(count, k + kPairsPerLine); k < end; ++k) {
            int row = 0, col = 0;
            const std::string tok = peek_token(line);
            if (!pop_int_strict(line, row) || !pop_int_strict(line, col))
                return refuse_line(f, n_at,
                                   format_text("cell %d of the NUMPTS %d list (line %d) does not read as row and "
                                               "column at \"%s\".",
                                               k + 1, count, numpts_line, tok.c_str()));
            if (row < 1 || row > m.rows || col < 1 || col > m.cols || m.mask[row][col] == 0)
                return refuse_line(f, n_at,
                                   format_text("cell (%d, %d) of the NUMPTS list lies outside the watershed mask.",
                                               row, col));
            for (std::size_t i = 0; i < list.row.size(); ++i) {
                if (list.row[i] == row && list.col[i] == col)
                    return refuse_line(f, n_at,
                                       format_text("cell (%d, %d) stands twice in the NUMPTS list.", row, col));
            }
            list.row.push_back(row);
            list.col.push_back(col);
        }
    }
    return true;
}

// The leakage through a lake bed divides by its thickness and takes the
// soil's saturated conductivity of every cell the lake covers.
bool lake_bed_usable(const model_state& m, const card_line& c, double thickness) {
    if (!(thickness > 0.0))
        return refuse_card(c, format_text("gives the lake bed a thickness of %g m; it must be above 0.", thickness));
    if (m.ks_map.n() < m.ncells)
        return refuse_card(c, "asks for leakage through the lake bed, which needs the saturated conductivity of the "
                              "soil (CONDUCTIVITY, with GREEN_AMPT or INF_REDIST infiltration); the project "
                              "gives none.");
    return true;
}

bool read_lake_cards(model_state& m, const card_file& f, int first_line, std::vector<lake_list>& lists) {
    int link = 0, lake = 0, lakes = 0;
    for (int n = first_line; n <= f.count(); ++n) {
        card_line c = card_at(f, n);
        switch (c.card) {
            case card_link:
                take_int(c, link);
                lake = 0;
                continue;
            case card_lake:
                if (lakes == m.nlakes) return refuse_card(c, format_text("is lake %d of %d.", lakes + 1, m.nlakes));
                lake = ++lakes;
                m.lake2link[lake] = link;
                lists[static_cast<std::size_t>(lake)].card_line = n;
                continue;
            case card_mlake: case card_minwse: case card_initwse: case card_maxwse: case card_numpts:
                break;
            default:
                continue;
        }
        if (lake == 0) return refuse_card(c, "comes before the LAKE card of its link.");
        bool ok = true;
        int count = 0;
        switch (c.card) {
            case card_mlake:
                ok = take_double(c, m.Mlake[lake]) && lake_bed_usable(m, c, m.Mlake[lake]);
                m.calc_loss[lake] = 1;
                break;
            case card_minwse: ok = take_double(c, m.minwse[lake]); break;
            case card_initwse: ok = take_double(c, m.initwse[lake]); break;
            case card_maxwse: ok = take_double(c, m.maxwse[lake]); break;
            default:
                ok = take_int_in(c, count, 1, m.ncells, "a search-list length") &&
                     read_pairs(m, f, n, count, lists[static_cast<std::size_t>(lake)]);
                m.numpts[lake] = count;
                break;
        }
        if (!ok) return false;
    }
    return true;
}

// The lake over its flooded cells at INITWSE.
bool start_lake(model_state& m, const card_file& f, int lake, lake_list& list) {
    const double cell_area = m.gridsize * m.gridsize;
    const double level = m.initwse[lake];
    if (list.row.empty())
        return refuse_line(f, list.card_line, format_text("lake %d has no NUMPTS list of cells.", lake));
    std::vector<int> order(list.row.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    auto cell_of = [&](int i) { return m.mask[list.row[static_cast<std::size_t>(i)]][list.col[static_cast<std::size_t>(i)]]; };
    auto flooded = [&](int i) { return m.elev[cell_of(i)] + kFloodTolerance < level; };
    std::stable_partition(order.begin(), order.end(), flooded);
    int cells = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int i = order[k];
        m.lake_search_row[lake][static_cast<int>(k) + 1] = list.row[static_cast<std::size_t>(i)];
        m.lake_search_col[lake][static_cast<int>(k) + 1] = list.col[static_cast<std::size_t>(i)];
        if (!flooded(i)) continue;
        const int cell = cell_of(i);
        if (m.lake_num[cell] != 0)
            return refuse_line(f, list.card_line,
                               format_text("cell (%d, %d) lies under lake %d at its INITWSE %.3f, but lake %d "
                                           "already covers it.",
                                           list.row[static_cast<std::size_t>(i)], list.col[static_cast<std::size_t>(i)],
                                           lake, level, m.lake_num[cell]));
        ++cells;
        m.lake_volume[lake] += (level - m.elev[cell]) * cell_area;
        m.lake_num[cell] = lake;
        if (m.calc_loss[lake] && m.gw_simulation && cell <= m.gwbound.n()) m.gwbound[cell] = kLakeBoundary;
    }
    m.lake_cells[lake] = cells;
    m.lake_elev[lake] = level;
    m.prevlake_volume[lake] = m.lake_volume[lake];
    m.lake_volume_last_chan[lake] = m.lake_volume[lake];
    m.lake_area[lake] = cells * cell_area;
    m.lake_in_dv[lake] = 0.0;
    m.lake_out_dv[lake] = 0.0;
    return true;
}

bool alloc_lakes(model_state& m) {
    const int n = m.nlakes;
    alloc_dvector(m.lake_elev, n, "lake_elev");
    alloc_dvector(m.minwse, n, "minwse");
    alloc_dvector(m.initwse, n, "initwse");
    alloc_dvector(m.maxwse, n, "maxwse");
    alloc_dvector(m.lake_volume, n, "lake_volume");
    alloc_dvector(m.prevlake_volume, n, "prevlake_volume");
    alloc_dvector(m.lake_volume_last_chan, n, "lake_volume_last_chan");
    alloc_dvector(m.lake_area, n, "lake_area");
    alloc_dvector(m.lake_in_dv, n, "lake_in_dv");
    alloc_dvector(m.lake_out_dv, n, "lake_out_dv");
    alloc_dvector(m.lake_precip_vol, n, "lake_precip_vol");
    alloc_dvector(m.lake_precip_total, n, "lake_precip_total");
    alloc_dvector(m.Mlake, n, "Mlake");
    alloc_ivector(m.calc_loss, n, "calc_loss");
    alloc_ivector(m.lake2link, n, "lake2link");
    alloc_ivector(m.numpts, n, "numpts");
    alloc_ivector(m.lake_cells, n, "lake_cells");
    if (m.lake_num.n() < m.ncells) alloc_ivector(m.lake_num, m.ncells, "lake_num");
    return blocks_made(g_error_record, "the channel lake tables", m.lake_elev, m.minwse, m.initwse, m.maxwse,
                       m.lake_volume, m.prevlake_volume, m.lake_volume_last_chan, m.lake_area, m.lake_in_dv,
                       m.lake_out_dv, m.lake_precip_vol, m.lake_precip_total, m.Mlake, m.calc_loss, m.lake2link,
                       m.numpts, m.lake_cells, m.lake_num);
}

}  // namespace

bool read_chan_lakes(model_state& m, const card_file& f, int first_line) {
    if (!alloc_lakes(m)) return false;
    std::vector<lake_list> lists(static_cast<std::size_t>(m.nlakes) + 1);
    if (!read_lake_cards(m, f, first_line, lists)) return false;
    int widest = 1;
    for (const lake_list& l : lists) widest = std::max(widest, static_cast<int>(l.row.size()));
    alloc_imatrix(m.lake_search_row, m.nlakes, widest, "lake_search_row");
    alloc_imatrix(m.lake_search_col, m.nlakes, widest, "lake_search_col");
    if (!blocks_made(g_error_record, "the search lists of the channel lakes", m.lake_search_row, m.lake_search_col))
        return false;
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        if (!start_lake(m, f, lake, lists[static_cast<std::size_t>(lake)])) return false;
        say_console(m, format_text("Minimum Water Surface Elevation Lake #%d: %.2lf\n"
                                   "Initial Water Surface Elevation Lake #%d: %.2lf\n"
                                   "Maximum Water Surface Elevation Lake #%d: %.2lf\n"
                                   "number of coords for lake #%d's search order: %d\n",
                                   lake, m.minwse[lake], lake, m.initwse[lake], lake, m.maxwse[lake], lake,
                                   m.numpts[lake]));
        if (m.calc_loss[lake])
            say_console(m, format_text("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", lake,
                                       m.Mlake[lake]));
    }
    return true;
}

}  // namespace kesta
