// Loading the run's inputs: the watershed mask with its cell numbering, then
// every grid, map and table in a fixed order, stopping at the first reader
// that stops the run.
#include "input/model_inputs.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_steps.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/parallel_env.hpp"
#include "core/text_format.hpp"
#include "input/ascii_grid.hpp"
#include "input/input_steps.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "output/output_steps.hpp"
#include "overland/overland_arrays.hpp"
#include "subsurface/subsurface_steps.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

using reader = void (*)(model_state&);

// The readers after the mask and the storm-drain set-up, in their fixed order.
const reader kReaders[] = {
    read_elevation_map,     alloc_overland_arrays, read_dike_mask,       setup_wetlands,
    read_overland_boundary, read_infiltration_params, read_groundwater_inputs, open_sacramento_file,
    read_interception,      read_lake_map,         read_retention,       read_roughness,
    read_sediment_tables,   read_contam_tables,    read_cell_list,
};

// A cell size truncated to 0.1 m after 0.001 m is added, as the grid size
// and the mask header are compared.
double tenths(double size) { return std::trunc((size + 0.001) * 10.0); }

bool cell_size_agrees(model_state& m, double header_size, const char* direction) {
    if (tenths(m.gridsize) == tenths(header_size)) return true;
    return refuse(format_text("\nThe grid size specified in the project file: %7.4f m differs from\n"
                              "the %s dimension of the raster grid cells %7.4f m as calculated\n"
                              "from the WATERSHED_MASK header.  Check your data to make sure they agree.\n"
                              "KESTA terminating.\n\n",
                              m.gridsize, direction, header_size));
}

// The mask with its cell numbers, for the user to check. A mask map that
// could not be written whole stops the run: a partial one would mislead.
void write_mask_map(model_state& m) {
    const opened_output o = open_output(m, mask_map_output());
    if (o.refused) return;
    if (!o.fp) {
        std::printf("Error: unable to open mask map file for writing\n");
        return;
    }
    std::FILE* f = o.fp;
    std::fprintf(f, "north: %9.2lf\n", m.north);
    std::fprintf(f, "south: %9.2lf\n", m.south);
    std::fprintf(f, "east: %9.2lf\n", m.east);
    std::fprintf(f, "west: %9.2lf\n", m.west);
    std::fprintf(f, "rows: %5d\n", m.grid_rows);
    std::fprintf(f, "cols: %5d\n", m.grid_cols);
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) std::fprintf(f, "%d ", m.mask[r][c]);
        std::fprintf(f, "\n");
    }
    close_output(m, f);
}

// The previous heads of the Richards, groundwater and channel solutions: one
// value per cell or per node, whichever count is larger.
void alloc_previous_heads(model_state& m) {
    if (!m.inf_richards_on && !m.gw_simulation && !m.chan_routing) return;
    alloc_dvector(m.PHEADOLD, std::max({m.ncells, m.richards_max_nodes, m.maxnodes}), "PHEADOLD");
    blocks_made(g_error_record, "the previous heads of the solutions", m.PHEADOLD);
}

// The nutrient species take constituent slots, which the overland
// constituent transport carries, and with SOIL_CON_TRANS the soil's.
void setup_nutrient_overland(model_state& m) {
    if (!zep_transport_holds(m)) return;
    m.soil_con_trans = m.soil_contam;
    if (m.soil_con_trans && !soil_layers_hold(m, "the nutrient species")) return;
    zep_overland_set_params(m);
    read_aquatic_env_file(m);
    if (g_error_record.code != 0 || run_stopped()) return;
    zep_overland_allocate(m);
    // SEDIMENT_CONTAM binds contaminants only (its card said it has no
    // effect without OV_CON_TRANS).
    if (!m.ov_con_trans) m.sediment_contam = 0;
    alloc_overland_contam_arrays(m, 0, m.ncells, 1, 0);
    if (run_stopped()) return;
    assign_grid_constituents(m);
    if (run_stopped()) return;
    assign_zep_gw_tables(m);
    zep_overland_init(m);
    m.ov_con_trans = 1;
}

// The nutrient species' streams and lakes on the channel network, once the
// channel constituents have their arrays: their water temperature, pH and
// totals, the stream id map of the aquatic environment file, the stream
// initial values and the species' dispersion.
void setup_nutrient_streams(model_state& m) {
    zep_streams_allocate(m);
    if (m.chan_lakes_on) zep_lakes_allocate(m);
    zep_streams_init(m);
    if (m.chan_lakes_on) zep_lakes_init(m);
    load_stream_index_map(m);
    if (run_stopped()) return;
    assign_stream_constituents(m);
    if (run_stopped()) return;
    set_chan_nutrient_dispersion(m);
}

}  // namespace

void read_watershed_mask(model_state& m) {
    if (m.rows < 1 || m.cols < 1) {
        refuse(format_text("Error: the project file %s gives a grid of %d rows and %d columns; ROWS and COLS "
                           "must both be at least 1\n",
                           m.project_file.c_str(), m.rows, m.cols));
        return;
    }
    say(m, format_text("reading watershed mask from file: %s\n", m.watershed_mask.c_str()));
    file_ptr fp = open_required_input(m.watershed_mask, "watershed mask");
    if (!fp) return;
    // The grids are made from ROWS and COLS before the mask is read: the
    // file must have room for a value of at least one digit and a separator
    // per cell.
    const long long cells = static_cast<long long>(m.rows) * m.cols;
    const long bytes = file_size(fp.get());
    if (bytes >= 0 && cells > (bytes + 1) / 2) {
        refuse(format_text("Error: the project file %s gives a grid of %d rows and %d columns, %lld cells; the "
                           "watershed mask %s holds %ld bytes, too few for a value per cell\n",
                           m.project_file.c_str(), m.rows, m.cols, cells, m.watershed_mask.c_str(), bytes));
        return;
    }
    alloc_imatrix(m.mask, m.rows + 1, m.cols + 1, "mask");
    alloc_imatrix(m.data, m.rows + 1, m.cols + 1, "data");
    if (!blocks_made(g_error_record, "the grids of the watershed", m.mask, m.data)) return;
    grid_header h;
    vec1<double> no_a, no_b;
    vec1<int> no_cells;
    if (!read_ascii_map(fp.get(), m.watershed_mask, kMapIntGrid, h, m.mask, no_a, no_b, no_cells, m.rows,
                        m.cols)) {
        return;
    }
    close_file(fp);
    m.north = h.north;
    m.south = h.south;
    m.east = h.east;
    m.west = h.west;
    m.grid_rows = h.rows;
    m.grid_cols = h.cols;
    if (!cell_size_agrees(m, (m.north - m.south) / m.grid_rows, "north-south")) return;
    if (!cell_size_agrees(m, (m.east - m.west) / m.grid_cols, "east-west")) return;

    int n = 0;
    for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
            if (m.mask[r][c] != 0) m.mask[r][c] = ++n;
        }
    }
    m.ncells = n;
    write_mask_map(m);
    if (run_stopped()) return;

    say(m, format_text("number of grid cells in watershed: %d\n", m.ncells));
    m.watershed_area = m.gridsize * m.gridsize * m.ncells;
    g_parallel_env.decompose_domain(m.ncells, m.rows, m.cols, m.mask.rows());
}

void read_model_inputs(model_state& m) {
    read_watershed_mask(m);
    // Nothing can be placed on the grid without its cells.
    if (run_stopped()) return;
    alloc_dvector(m.elev, m.ncells, "elev");
    alloc_dvector(m.tmpv, m.ncells, "tmpv");
    if (!blocks_made(g_error_record, "the elevations of the cells", m.elev, m.tmpv)) return;

    setup_superlink_network(m);
    for (reader r : kReaders) {
        if (run_stopped()) return;
        r(m);
    }
    if (run_stopped()) return;
    alloc_previous_heads(m);
    if (run_stopped()) return;
    read_overland_hotstart(m);

    if (run_stopped()) return;
    if (m.nutrients) {
        setup_nutrient_overland(m);
        if (g_error_record.code != 0 || run_stopped()) return;
    }
    if (setup_channel_network(m)) {
        if (m.nutrients) setup_nutrient_streams(m);
        if (!run_stopped()) finish_channel_setup(m);
    }
    if (run_stopped()) return;
    if (m.nutrients && m.soil_con_trans) assign_zep_soil_tables(m);
    build_vq_data(m);
}

}  // namespace kesta
