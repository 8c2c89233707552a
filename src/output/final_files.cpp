// Files written once as a run ends normally: the optimisation total, the
// groundwater hotstart map, the graphical product's
// hydrograph file, the reservoir model's inflow file, the overland
// hotstart and the channel sediment table. A final file that cannot be opened is reported (code 4000) and
// the others are still written.
#include "output/final_files.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/warnings.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "output/grid_writers.hpp"
#include "output/output_registry.hpp"
#include "output/vq_fluxes.hpp"
#include "output/vq_inflow.hpp"
#include "transport/channel_sediment.hpp"

namespace kesta {

namespace {

constexpr double kCubicFeetPerCubicMetre = 35.32;  // as the calibration records use it

// Values of a hydrograph block: "%11.4lf", a line break after every tenth.
void write_block_value(std::FILE* out, double v, long i) {
    std::fprintf(out, "%11.4lf", v);
    std::fputs(i % 10 == 0 ? "\n" : " ", out);
}

// The tokens of one line after its leading time, read as numbers.
std::vector<double> values_after_time(const std::string& line) {
    std::vector<double> v;
    const char* p = line.c_str();
    char* end = nullptr;
    std::strtod(p, &end);  // the time
    if (end == p) return v;
    p = end;
    for (;;) {
        const double x = std::strtod(p, &end);
        if (end == p) break;
        v.push_back(x);
        p = end;
    }
    return v;
}

// Where the output of `request` is written.
std::string path_of(const output_request& request) {
    std::string name = request.name;
    strip_quotes(name);
    return output_path(name, request.mode, request.add_run_number);
}

output_request final_output(const char* words, const std::string& name, const char* what) {
    output_request s;
    s.words = words;
    s.name = name;
    s.group = output_group::written_whole;
    s.what = what;
    return s;
}

// Writes a grid of the run's mask to the output of `request`; false after
// `failure` (with the path tried) was reported, or after a failed write.
template <class Write>
bool write_final_grid(model_state& m, const output_request& request, const char* failure, Write write) {
    const opened_output o = open_output(m, request);
    if (o.refused) return false;
    if (!o.fp) {
        refuse(format_text(failure, path_of(request).c_str()));
        return false;
    }
    write(o.fp);
    return close_output(m, o.fp);
}

}  // namespace

void write_gui_hydrograph(std::FILE* outlet, std::FILE* out, std::FILE* locations,
                          const std::vector<std::pair<int, int>>& location_list, long start_date, long start_time,
                          long interval, long count) {
    const long n = locations ? static_cast<long>(location_list.size()) : 0;
    std::fputs("KESSTA_TVM_HYDROGRAPH_FILE\n", out);
    for (long v : {n, start_date, start_time, interval, count}) std::fprintf(out, "%ld\n", v);
    for (long k = 0; k < n; ++k)
        std::fprintf(out, "%d %d\n", location_list[static_cast<std::size_t>(k)].first,
                     location_list[static_cast<std::size_t>(k)].second);
    std::string line;
    for (long i = 1; i <= count; ++i) {
        if (!read_text_line(outlet, line)) break;
        const std::vector<double> v = values_after_time(line);
        if (v.empty()) break;
        write_block_value(out, v[0], i);
    }
    if (n == 0) return;
    // One row per output time, one column per location.
    std::vector<std::vector<double>> hydro_table;
    for (long i = 1; i <= count; ++i) {
        if (!read_text_line(locations, line)) break;
        std::vector<double> v = values_after_time(line);
        v.resize(static_cast<std::size_t>(n), 0.0);
        hydro_table.push_back(std::move(v));
    }
    for (long k = 0; k < n; ++k) {
        std::fputs("\n", out);
        long i = 0;
        for (const std::vector<double>& row : hydro_table) write_block_value(out, row[static_cast<std::size_t>(k)], ++i);
    }
}

void write_optimisation_total(model_state& m) {
    if (!m.optimize_given || !m.optim_fp) return;
    const double f = m.qout_cfs ? kCubicFeetPerCubicMetre : 1.0;
    std::fprintf(m.optim_fp.get(), "%d %13lf\n", m.event_index + 1, m.discharge_volume_run * f);
    std::fflush(m.optim_fp.get());
    close_output(m, m.optim_fp);
}

void write_groundwater_hotstart(model_state& m) {
    if (!m.gw_simulation || m.elevgw.empty()) return;
    if (!grid_finite(m, m.elevgw, "the groundwater head", kGroundwaterHotstartFile)) return;
    write_final_grid(m, groundwater_hotstart_output(m),
                     "Can't open water table map for writing out hotstart info: %s\n",
                     [&m](std::FILE* fp) {
                         write_grass_ascii_grid(fp, m.mask, m.north, m.south, m.east, m.west, m.grid_rows,
                                                m.grid_cols, m.elevgw);
                     });
}

void write_tvm_hydro_file(model_state& m) {
    if (!m.tvm_hydro_given) return;
    // Both series are read back from where the run wrote them; one whose
    // writes failed (said as it closes) gives no hydrograph file.
    const std::string outlet_path = output_path(m.outlet_hydro, "w", 1);
    if (!close_output(m, m.outlet_hydro_fp)) return;
    file_ptr outlet(std::fopen(outlet_path.c_str(), "r"));
    file_ptr locations;
    if (m.in_hyd_location_given) {
        if (!close_output(m, m.out_hyd_location_fp)) return;
        const std::string path = output_path(m.out_hyd_location, "w", 1);
        locations.reset(std::fopen(path.c_str(), "r"));
    }
    const opened_output out = open_output(m, tvm_hydro_output(m));
    if (out.refused) return;
    if (!outlet || !out.fp) {
        if (out.fp) close_output(m, out.fp);
        print_both("\n\nError: Unable to open files to write the TVM hydrograph file.\n Write aborted.\n");
        return;
    }
    std::vector<std::pair<int, int>> list;
    for (int k = 1; k <= m.hyd_loc_count && k <= m.hlink.n() && k <= m.hnode.n(); ++k)
        list.emplace_back(m.hlink[k], m.hnode[k]);
    write_gui_hydrograph(outlet.get(), out.fp, locations.get(), list, m.start_yyyymmdd, m.start_hhmm, m.hyd_freq,
                         m.outlet_hydro_lines);
    close_output(m, out.fp);
}

void close_vq_files(model_state& m) {
    vq_segment_fluxes_close(m);
    if (m.run_params.map_type == 4)
        vq_end(m);
    else
        vq_qin_close(m);
}

void write_overland_hotstart(model_state& m) {
    close_file(m.read_ov_hotstart_fp);
    if (!m.project_options.write_ov_hotstart_given) return;
    const output_request request = overland_hotstart_output(m);
    if (!grid_finite(m, m.h, "the overland depth", request.name + " (card WRITE_OV_HOTSTART)")) return;
    const opened_output o = open_output(m, request);
    if (o.refused) return;
    if (!o.fp) {
        // The run's results stand: only the hotstart is missing.
        warn(format_text("Can't open overland hotstart file for writing: %s\n", path_of(request).c_str()));
        return;
    }
    write_grass_ascii_grid(o.fp, m.mask, m.north, m.south, m.east, m.west, m.grid_rows, m.grid_cols, m.h);
    close_output(m, o.fp);
}

void write_channel_sediment_file(model_state& m) {
    const project_options& po = m.project_options;
    std::string name = po.fyssi;
    strip_quotes(name);
    if (!po.fyssi_given || name.empty()) return;  // the card names no file
    if (!m.chan_sed_on || !m.ov_sed || m.ov_sed->qlat_tot_sed.empty()) {
        warn(format_text("Warning: card FYSSI names %s, but the run has no channel sediment (SOIL_EROSION with "
                         "channel routing): nothing is written to it.\n",
                         name.c_str()));
        return;
    }
    const sed_record& s = *m.ov_sed;
    for (int k = 1; k <= s.num_sed; ++k)
        for (int l = 1; l <= m.nlinks; ++l)
            for (int j = 1; j <= m.link_nodes[l]; ++j) {
                const double v = s.qlat_tot_sed[node_row(s, j, l)][k];
                if (!std::isfinite(v)) {
                    refuse_unwritten(m, v, format_text("the lateral sediment of class %d", k),
                                     format_text("link %d, node %d", l, j), name + " (card FYSSI)");
                    return;
                }
            }
    // Appended, never numbered: the runs of a series add their tables to one file.
    const opened_output o = open_output(m, channel_sediment_file_output(m));
    if (o.refused) return;
    if (!o.fp) {
        refuse(format_text("Can't open the channel sediment file (FYSSI) for appending: %s\n", name.c_str()));
        return;
    }
    for (int k = 1; k <= s.num_sed; ++k) {
        for (int l = 1; l <= m.nlinks; ++l)
            for (int j = 1; j <= m.link_nodes[l]; ++j)
                std::fprintf(o.fp, "%6.2lf ", s.qlat_tot_sed[node_row(s, j, l)][k]);
        std::fputs("\n", o.fp);
    }
    std::fputs("\n----------------------------------------------------------\n", o.fp);
    close_output(m, o.fp);
}

output_request adjusted_elevation_output(const model_state& m) {
    return final_output("card ADJUST_ELEV", m.project_options.adjust_elev, "adjusted elevation map");
}

output_request channel_sediment_file_output(const model_state& m) {
    output_request s = final_output("card FYSSI", m.project_options.fyssi, "the channel sediment file");
    s.mode = "a";
    return s;
}

output_request tvm_hydro_output(const model_state& m) {
    return final_output("card TVM_HYDRO", m.tvm_hydro, "the TVM hydrograph file");
}

output_request overland_hotstart_output(const model_state& m) {
    return final_output("card WRITE_OV_HOTSTART", m.project_options.write_ov_hotstart, "the overland hotstart");
}

output_request groundwater_hotstart_output(const model_state&) {
    output_request s = final_output("the groundwater hotstart", kGroundwaterHotstartFile, "");
    s.fixed = true;
    return s;
}

}  // namespace kesta
