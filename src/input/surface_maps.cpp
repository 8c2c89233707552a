// Readers of the overland inputs: elevation and outlet, hotstart depths,
// roughness, retention, interception, overland boundary, dikes and lakes.
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/mapping_tables.hpp"
#include "input/model_inputs.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "overland/overland_lakes.hpp"

namespace kesta {

namespace {

constexpr double kWetDepth = 1e-16;  // m; a cell holding more than this has water

// Sets the outlet cell from the outlet row and column; false (reported) when
// they lie off the grid or outside the watershed: the overland outflow, the
// outlet's series and the channel network's end all belong to a cell of the
// watershed, with or without channels.
bool locate_outlet(model_state& m) {
    if (m.outrow < 1 || m.outrow > m.rows || m.outcol < 1 || m.outcol > m.cols) {
        return refuse(format_text("\nThe outlet row %d and column %d given by the OUTROW and OUTCOL cards of the "
                                  "project\nfile %s lie outside the grid of %d rows and %d columns.  KESTA "
                                  "terminating.\n\n",
                                  m.outrow, m.outcol, m.project_file.c_str(), m.rows, m.cols));
    }
    m.outlet_cell = m.mask[m.outrow][m.outcol];
    if (m.outlet_cell == 0) {
        return refuse(format_text("\nThe outlet cell in row %d, column %d, given by the OUTROW and OUTCOL cards "
                                  "of the project\nfile %s, lies outside the watershed mask %s.  The outlet "
                                  "must be a cell\ninside the watershed mask.  Check the outlet row and column "
                                  "again, and\nmake sure they are correctly specified in the project file using "
                                  "the\nOUTROW and OUTCOL project file cards.  KESTA terminating.\n\n",
                                  m.outrow, m.outcol, m.project_file.c_str(), m.watershed_mask.c_str()));
    }
    return true;
}

}  // namespace

void read_elevation_map(model_state& m) {
    // Grids from a PEXLO file would supply nothing: the elevation always
    // comes from the ELEVATION map.
    say(m, format_text("reading elevation map from file: %s\n", m.elevation.c_str()));
    file_ptr fp = open_required_input(m.elevation, "elevation data");
    if (!fp) return;
    if (!read_real_map(m, fp.get(), m.elevation, m.elev)) return;
    close_file(fp);
    if (!map_elevations_hold(m, m.elev, "ground elevation", m.elevation)) return;
    if (!locate_outlet(m)) return;
    say_console(m, format_text("outlet is in grid cell: %d\n", m.outlet_cell));
}

void read_overland_hotstart(model_state& m) {
    const project_options& po = m.project_options;
    if (po.ov_init_depth_given) {
        say(m, format_text("reading overland hotstart map from file: %s\n", po.ov_init_depth.c_str()));
        file_ptr fp = open_required_input(po.ov_init_depth, "overland hotstart");
        if (!fp) return;
        if (!read_real_map(m, fp.get(), po.ov_init_depth, m.h)) return;
        for (int k = 1; k <= m.ncells; ++k) m.h_old[k] = m.h[k];
    }
    if (po.init_elev_head_given) {
        const double head = po.init_elev_head;
        for (int k = 1; k <= m.ncells; ++k) {
            if (m.elev[k] < head) m.h[k] = head - m.elev[k];
            m.h_old[k] = m.h[k];
        }
    }
    // An overland lake holds its cells' water as its level above their
    // ground: a depth there would stand outside every balance.
    if (m.overland_lake_map_given) {
        for (int k = 1; k <= m.ncells; ++k) {
            if (m.oland_lake_mask[k] > 0) m.h[k] = m.h_old[k] = 0.0;
        }
    }
    for (int k = 1; k <= m.ncells; ++k) {
        if (m.h[k] > kWetDepth) {
            m.ov_water_at_start = 1;
            break;
        }
    }
}

void read_roughness(model_state& m) {
    if (!m.roughness_given) {
        if (m.manning_n > 0.0) {
            m.dist_rough.fill(m.manning_n);
            return;
        }
        refuse(format_text("\nInvalid spatially uniform overland flow Manning n value=%lf\n"
                           "KESTA exiting.\n",
                           m.manning_n));
        return;
    }
    bool from_file = false;
    if (!read_map_or_table(m, m.roughness, "Manning roughness", m.mapping_table_info.roughness != 0,
                           table_roughness, m.dist_rough, "reading roughness map from file: %s\n",
                           "reading roughness table and map from master table file\n", &from_file)) {
        return;
    }
    constexpr value_rule kRoughnessRule{"Manning's n", "", [](double n) { return n > 0.0; },
                                        "it must be greater than 0"};
    std::string detail;
    const int k = first_breach(m, m.dist_rough, kRoughnessRule,
                               value_source(m, from_file, m.roughness, table_roughness), detail);
    if (k != 0) refuse(format_text("Overland Manning n=0 at grid cell %d.  Program terminating.\n", k) + detail);
}

void read_retention(model_state& m) {
    if (m.reten_depth_given) {
        if (!read_map_or_table(m, m.reten_depth, "retention depth", m.mapping_table_info.retention != 0,
                               table_retention, m.retent_dep,
                               "reading retention storage map from file: %s\n",
                               "reading retention storage table and map from master table file\n")) {
            return;
        }
        // Millimetres to metres.
        for (int k = 1; k <= m.ncells; ++k) m.retent_dep[k] /= 1000.0;
        return;
    }
    const double depth = m.retention_given ? m.retention / 1000.0 : 0.0;
    for (int k = 1; k <= m.ncells; ++k) m.retent_dep[k] = depth;
}

void read_interception(model_state& m) {
    if (m.interception != 1) return;
    const bool table = m.mapping_table_info.interception != 0;
    if (table && !read_table_columns(m, table_interception, {&m.icep_stor, &m.icep_coef})) return;
    // The table, when present, has filled both already.
    if (!read_map_or_table(m, m.storage_capacity, "interception storage", table, table_none, m.icep_stor,
                           "reading interception storage from file: %s\n",
                           "reading interception storage table and map from master table file\n")) {
        return;
    }
    read_map_or_table(m, m.interception_coeff, "interception coeff.", table, table_none, m.icep_coef,
                      "reading interception coeff. from file: %s\n",
                      "reading interception coeff. table and map from the master table file\n");
}

void read_overland_boundary(model_state& m) {
    if (!m.ov_boundary) return;
    alloc_dvector(m.boundary_temp, m.ncells, "boundary_temp");
    alloc_dvector(m.boundary_val, m.ncells, "boundary_val");
    alloc_ivector(m.boundary_type, m.ncells, "boundary_type");
    if (!blocks_made(g_error_record, "the overland boundary of the cells", m.boundary_temp, m.boundary_val,
                     m.boundary_type))
        return;
    if (!m.mapping_table_info.overland_boundary) {
        g_error_record.fail(84);
        return;
    }
    if (!read_table_columns(m, table_overland_boundary, {&m.boundary_temp, &m.boundary_val})) return;
    for (int k = 1; k <= m.ncells; ++k) m.boundary_type[k] = static_cast<int>(m.boundary_temp[k]);
}

void read_dike_mask(model_state& m) {
    if (!m.dike_map_given) return;
    std::string name = m.dike_map;
    file_ptr fp = open_or_refuse(name, "Can't open input dike mask file named: %s\n");
    if (!fp) return;
    alloc_ivector(m.dike_mask, m.ncells, "dike_mask");
    if (!blocks_made(g_error_record, "the dike mask of the cells", m.dike_mask)) return;
    say(m, format_text("reading overland flow dike map from file: %s\n", name.c_str()));
    if (!read_id_map(m, fp.get(), name, m.dike_mask)) return;
    close_file(fp);

    if (!m.lowspot_file_given) return;
    std::string spots = m.lowspot_file;
    fp = open_or_refuse(spots, "Can't open input dike mask file named: %s\n");
    if (!fp) return;
    read_lowspot_file(fp.get(), spots, m.nlowspots, m.lowspots);
}

void read_lake_map(model_state& m) {
    if (!m.overland_lake_map_given) return;
    say(m, format_text("reading overland lake map from file: %s\n", m.overland_lake_map.c_str()));
    file_ptr fp = open_required_input(m.overland_lake_map, "overland lake map");
    if (!fp) return;
    if (!read_id_map(m, fp.get(), m.overland_lake_map, m.oland_lake_mask)) return;
    close_file(fp);
    int nlakes = 0;
    for (int k = 1; k <= m.ncells; ++k) {
        m.oland_lake_new[k] = m.oland_lake_mask[k];
        if (m.oland_lake_mask[k] > nlakes) nlakes = m.oland_lake_mask[k];
    }
    m.n_oland_lakes = nlakes;
    m.oland_lakes.assign(static_cast<std::size_t>(nlakes) + 1, lake_record());

    file_ptr lake_fp = open_required_input(m.overland_lake_file, "overland lake data");
    if (!lake_fp) return;
    if (!read_lake_file(lake_fp.get(), m.overland_lake_file, nlakes, m.oland_lakes)) return;
    for (lake_record& r : m.oland_lakes) {
        r.ncells = 0;
        r.volume = 0.0;
    }
    const double cell_area = m.gridsize * m.gridsize;
    for (int k = 1; k <= m.ncells; ++k) {
        const int lake = m.oland_lake_mask[k];
        if (lake <= 0) continue;
        lake_record& r = m.oland_lakes[static_cast<std::size_t>(lake)];
        ++r.ncells;
        if (r.initial_level < m.elev[k]) {
            refuse(format_text("There is a lake cell in lake %d that is above the initial lake water surface\n"
                               "elevation in that lake, which is specified as %f.  This situation is not\n"
                               "physically realistic.  Check your lake map.  Program terminated.\n",
                               lake, r.initial_level));
            return;
        }
        r.volume += (r.initial_level - m.elev[k]) * cell_area;
    }
}

}  // namespace kesta
