// The lakes of the channel network over the grid. Each lake covers the
// first `lake_cells` cells of its search list, in the order the list gives
// them; a volume change raises its level until it reaches the ground of
// the next listed cell, which the lake then takes (with any water standing
// on it and its suspended sediment), or lowers it to the ground of the last
// cell taken, which the lake then gives back.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "overland/overland_steps.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

constexpr double kTakeTolerance = 1e-7;  // m; a rise this short of the next ground does not take it
constexpr double kBeyondList = 999.9;    // m; the gap to a cell past the end of the list
constexpr int kLakeBoundary = 7;         // groundwater boundary kind of a lake cell
// Lake evaporation (a mass-transfer formula): depth per hour in cm from the
// lake area in km2, the wind run in km per day (wind in m/s), the humidity
// deficit and the saturation vapour pressure in mb.
constexpr double kEvapCoefficient = 0.000169;
constexpr double kEvapAreaExponent = -0.05;
constexpr double kMinLakeAreaKm2 = 1e-6;

int listed_cell(const model_state& m, int lake, int k) {
    return m.mask[m.lake_search_row[lake][k]][m.lake_search_col[lake][k]];
}

bool has_groundwater_kinds(const model_state& m) {
    return m.gw_simulation && m.gwbound.n() >= m.ncells && m.og_gwbound_type.n() >= m.ncells;
}

// The lake takes cell `cell`: false when another lake covers it (the run stops).
bool take_cell(model_state& m, int lake, int cell, double& dv) {
    if (m.lake_num[cell] != 0)
        return refuse(format_text("Your lake has potentially merged with another lake.....\n"
                                  "Current KESTA formulation is not up for this. Will be soon.\n"
                                  "KESTA Terminating.\n"
                                  "(lake %d reached cell %d of lake %d)\n",
                                  lake, cell, m.lake_num[cell]));
    m.lake_num[cell] = lake;
    if (has_groundwater_kinds(m)) m.gwbound[cell] = kLakeBoundary;
    const double water = m.h[cell] * m.gridsize * m.gridsize;
    if (m.h[cell] > 0.0) {
        m.lake_volume[lake] += water;
        m.lake_taken_from_cells += water;
        dv += water;
        if (!m.quiet) std::printf("Lake %d is taking cell %d with depth %lf\n", lake, cell, m.h[cell]);
    }
    lake_takes_cell(m, lake, cell, m.h[cell] > 0.0 ? water : 0.0);
    m.h[cell] = 0.0;
    give_cell_sediment_to_lake(m, lake, cell);
    return true;
}

void give_back_cell(model_state& m, int cell) {
    m.lake_num[cell] = 0;
    if (!m.quiet) std::printf("Removing cell %d from lake\n", cell);
    // The lake held this cell's water: its depth starts from nothing.
    m.h[cell] = 0.0;
    if (has_groundwater_kinds(m)) m.gwbound[cell] = m.og_gwbound_type[cell];
}

void warn_list_exhausted(model_state& m, int lake) {
    if (m.lake_list_exhausted_warned) return;
    m.lake_list_exhausted_warned = 1;
    const int last = m.numpts[lake];
    warn(format_text("Warning: Lake #%d has reached your specified maximum areal extent\n"
                     "This likely means you should increase the maximum water surface elevation\n"
                     "The last grid cell coordinates defined in your input file are: [%d][%d] \n",
                     lake, m.lake_search_row[lake][last], m.lake_search_col[lake][last]));
}

}  // namespace

double sat_vapor_pressure_mb(double celsius) { return 6.11 * std::exp(17.3 * celsius / (celsius + 237.3)); }

void update_lake_extent(model_state& m) {
    if (!m.chan_lakes_on) return;
    const double cell_area = m.gridsize * m.gridsize;
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        double level = m.lake_elev[lake];
        int n = m.lake_cells[lake];
        double area = n * cell_area;
        double dv = m.lake_volume[lake] - m.prevlake_volume[lake];
        while (dv > 0.0) {
            int cell;
            double gap;
            if (n < m.numpts[lake]) {
                cell = listed_cell(m, lake, n + 1);
                gap = m.elev[cell] - level;
            } else {
                cell = listed_cell(m, lake, m.numpts[lake]);
                gap = kBeyondList;
                warn_list_exhausted(m, lake);
            }
            if (gap + kTakeTolerance <= dv / area) {
                dv -= area * gap;
                level += gap;
                ++n;
                area = n * cell_area;
                if (!take_cell(m, lake, cell, dv)) return;
            } else {
                level += dv / area;
                dv = 0.0;
            }
        }
        while (dv < 0.0 && n >= 1) {
            const double drop = std::fabs(dv / area);
            const int cell = listed_cell(m, lake, n);
            const double gap = level - m.elev[cell];
            if (gap > drop) {
                level -= drop;
                dv = 0.0;
            } else {
                dv += area * gap;
                level -= gap;
                --n;
                area = n * cell_area;
                give_back_cell(m, cell);
            }
        }
        m.prevlake_volume[lake] = m.lake_volume[lake];
        m.lake_area[lake] = n * cell_area;
        m.lake_elev[lake] = level;
        m.lake_cells[lake] = n;
    }
    lake_conc_of_volume(m);
}

void lake_evaporation(model_state& m) {
    if (!m.chan_lakes_on) return;
    const double wind_run = m.hmet_wind_speed * 0.001 * kSecondsPerDay;
    const double deficit = 1.0 - m.hmet_rel_humidity / 100.0;
    const double es = sat_vapor_pressure_mb(m.hmet_air_temp);
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        const double km2 = std::max(m.lake_area[lake] / 1e6, kMinLakeAreaKm2);
        const double depth_cm =
            kEvapCoefficient * std::pow(km2, kEvapAreaExponent) * wind_run * deficit * es / 24.0;
        const double volume = std::max(0.0, m.lake_area[lake] * depth_cm / 100.0);
        const double held = std::max(0.0, m.lake_volume[lake]);
        const double taken = std::min(volume, held);
        m.lake_volume[lake] -= taken;
        book_water(m, water_flow::lake_evaporation, taken);
    }
    update_lake_extent(m);
}

void lake_depth_map(const model_state& m, vec1<double>& out) {
    for (int k = 1; k <= m.ncells; ++k) out[k] = m.h[k];
    if (!m.chan_lakes_on) return;
    for (int lake = 1; lake <= m.nlakes; ++lake) {
        for (int k = 1; k <= m.lake_cells[lake]; ++k) {
            const int cell = listed_cell(m, lake, k);
            out[cell] = m.lake_elev[lake] - m.elev[cell];
        }
    }
}

void channel_lakes_at_event_end(model_state& m) {
    update_lake_extent(m);
    for (int l = 1; l <= m.nlakes && l <= m.lake_precip_vol.n(); ++l) {
        if (l <= m.lake_precip_total.n()) m.lake_precip_total[l] += m.lake_precip_vol[l];
        m.lake_precip_vol[l] = 0.0;
    }
}

}  // namespace kesta
