// The groundwater set-up checks, the solver's work vectors and the wells:
// the WELL_TABLE rows, the cells of the well index map and the rates the
// solver takes from them at each step.
#include <algorithm>
#include <cmath>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/time_series.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "subsurface/groundwater.hpp"
#include "subsurface/wells.hpp"

namespace kesta {

namespace {

// The clock fires the groundwater step on model steps only: its interval
// must be a whole number of them.
bool timestep_fits(const model_state& m) {
    const double ts = m.timestep;
    const double gw = m.gw_timestep;
    if (!(gw > 0.0)) {
        return refuse(format_text("Error: GW_TIMESTEP is missing or not above 0 (%g s) with GW_SIMULATION; it must "
                                  "be a whole multiple of TIMESTEP %g s.\n",
                                  gw, ts));
    }
    const double steps = gw / ts;
    if (steps < 1.0 - 1e-9 || std::fabs(steps - std::round(steps)) > 1e-9 * steps) {
        return refuse(format_text("Error: GW_TIMESTEP %g s is not a whole multiple of TIMESTEP %g s; the groundwater "
                                  "would never be due.\n",
                                  gw, ts));
    }
    return true;
}

// Older project files give cards that steered line sweeps the solver does
// not have: a run that gives them hears so once.
void note_sweep_cards(const model_state& m) {
    const project_options& po = m.project_options;
    std::string given;
    for (const auto& [card, on] : {std::pair<const char*, int>{"GW_LSOR_DIR", po.gw_lsor_dir_given},
                                   {"GW_RELAX_COEFF", po.gw_relax_coeff_given},
                                   {"GW_LSOR_CON", po.gw_lsor_con_given}}) {
        if (!on) continue;
        given += given.empty() ? card : std::string(", ") + card;
    }
    if (given.empty()) return;
    warn(format_text("Warning: %s no longer steer%s the groundwater solve: the heads of each step are solved by "
                     "the conjugate gradient until the water they leave unbalanced is negligible.\n",
                     given.c_str(), given.find(',') == std::string::npos ? "s" : ""));
}

// "cell k (row r, column c)", for the messages.
std::string cell_named(const model_state& m, int k) {
    int r = 0, c = 0;
    cell_row_col(m, k, r, c);
    return format_text("cell %d (row %d, column %d)", k, r, c);
}

// Every cell's porosity in [kGwLeastPorosity, 1], conductivity at least 0
// and head at or above the aquifer bottom.
bool cells_hold(const model_state& m, const std::string& porosity_source, const std::string& conductivity_source) {
    for (int k = 1; k <= m.ncells; ++k) {
        const double n = m.gw_array_porosity[k];
        if (!(n >= kGwLeastPorosity && n <= 1.0)) {
            return refuse(format_text("Error: the groundwater porosity %g of %s from %s lies outside [%g, 1].\n", n,
                                      cell_named(m, k).c_str(), porosity_source.c_str(), kGwLeastPorosity));
        }
        const double kx = m.gw_Kx_hycond[k];
        if (!(kx >= 0.0)) {
            return refuse(format_text("Error: the groundwater conductivity %g cm/h of %s from %s is negative.\n",
                                      kx * 360000.0, cell_named(m, k).c_str(), conductivity_source.c_str()));
        }
        const double head = value_at(m.elevgw, k), bottom = value_at(m.bottom_elev, k);
        if (!(head >= bottom)) {
            return refuse(format_text("Error: the water table %g m of %s lies below its aquifer bottom %g m.\n", head,
                                      cell_named(m, k).c_str(), bottom));
        }
    }
    return true;
}

bool series_exists(int id) {
    const auto& index = series_store().index;
    return std::any_of(index.begin(), index.end(), [id](const ts_index_entry& e) {
        return e.id == id && e.series != nullptr && e.series->count() > 0;
    });
}

}  // namespace

bool groundwater_options_hold(const model_state& m) {
    if (!timestep_fits(m)) return false;
    note_sweep_cards(m);
    return true;
}

bool setup_groundwater(model_state& m, const std::string& porosity_source, const std::string& conductivity_source) {
    const int n = m.ncells;
    alloc_dvector(m.elevgw_substep, n, "elevgw_old");
    alloc_dvector(m.elevgw_iter1, n, "elevgw_iter1");
    if (!blocks_made(g_error_record, "the arrays of the groundwater solver", m.elevgw_substep, m.elevgw_iter1))
        return false;
    if (!cells_hold(m, porosity_source, conductivity_source)) return false;
    m.gw_linear.reset();
    m.gw_counts = gw_solver_counts{};
    m.gw_totals = gw_run_totals{};
    return true;
}

void add_well_record(model_state& m, int id, int uses_series, double rate, int series_index) {
    m.well_table.push_back(well_record{id, uses_series, rate, series_index});
}

void assign_wells_to_cells(model_state& m, const mat2<int>& id_grid, const mat2<int>& mask, int rows, int cols) {
    m.cell_wells.clear();
    m.well_table_given = 1;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int id = id_grid[r][c];
            if (id == 0) continue;
            const int k = mask[r][c];
            if (k == 0) {
                refuse(format_text("Error: well %d of the well index map lies at row %d, column %d, outside the "
                                   "watershed mask.\n",
                                   id, r, c));
                return;
            }
            // The row added last wins.
            auto it = std::find_if(m.well_table.rbegin(), m.well_table.rend(),
                                   [id](const well_record& w) { return w.key == id; });
            if (it == m.well_table.rend()) {
                print_both(format_text("Error: A well was found in the index map (cell [%d,%d]) that \n  was not "
                                       "found in the well table.\n",
                                       r, c));
                fail_and_report();
                return;
            }
            if (it->uses_series && !series_exists(it->series)) {
                refuse(format_text("Error: well %d (row %d, column %d) follows time series %d, which the "
                                   "TIME_SERIES_INDEX table does not hold.\n",
                                   id, r, c, it->series));
                return;
            }
            well_record w = *it;
            w.key = k;
            m.cell_wells.push_back(w);
        }
    }
    m.well_table.clear();
}

void update_well_rates(model_state& m, double t) {
    const double area = m.gridsize * m.gridsize;
    for (const well_record& w : m.cell_wells) {
        if (w.key > m.qwell.n()) continue;
        const double rate = w.uses_series ? ts_value_by_index(w.series, t) : w.rate;
        m.qwell[w.key] = rate / area;
    }
}

}  // namespace kesta
