#include "output/output_objects.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "output/grid_writers.hpp"
#include "output/linknode_output.hpp"

namespace kesta {

map_series::map_series() = default;

void map_series::set_grid(const vec1<double>& values, const mat2<int>& mask, double north, double east,
                          double south, double west, int rows, int cols, double no_data_value,
                          double value_scale, int kind, double cell_size) {
    values_ = &values;
    mask_ = &mask;
    north_ = north;
    east_ = east;
    south_ = south;
    west_ = west;
    rows_ = rows;
    cols_ = cols;
    no_data = no_data_value;
    scale = value_scale;
    header_kind = kind;
    cell_size_ = cell_size;
}

bool map_series::open(int format, const std::string& folder, const std::string& base,
                      const std::string& extension, const std::string& dataset_file, int object_id,
                      const std::string& dataset_name, const std::string& words, model_state& m) {
    folder_ = folder;
    strip_quotes(folder_);
    // The folder separator is '/'; a trailing '\' is taken for one.
    if (!folder_.empty() && folder_.back() == '\\') folder_.back() = '/';
    append_backslash(folder_);
    base_ = base;
    extension_ = extension;
    const bool binary = format == map_format_binary_dataset;
    output_request request;
    request.words = words;
    request.group = output_group::maps;
    request.what = what + (binary || format == map_format_ascii_dataset ? " dataset" : "");
    if (binary || format == map_format_ascii_dataset) {
        std::string name = dataset_file;
        strip_quotes(name);
        dataset_path_ = output_path(name, "w", 1);
        request.name = name;
        request.mode = binary ? "wb" : "w";
        request.end = binary ? end_mark::binary_dataset : end_mark::ascii_dataset;
        const opened_output o = open_output(m, request, &out_);
        if (o.refused) return false;
        if (!o.fp) {
            g_error_record.fail(59, std::string(), name);
            return false;
        }
        if (binary)
            write_binary_dataset_header(o.fp, object_id, dataset_name);
        else
            write_ascii_dataset_header(o.fp, object_id, dataset_name, m);
        dataset_written_ = true;
    } else if (format == map_format_grids) {
        request.name = frame_name(1);
        request.group = output_group::written_whole;
        if (!claim_output(m, request)) return false;
    }
    format_ = format;
    return true;
}

std::string map_series::frame_name(int frame) const {
    return folder_ + base_ + format_text(".%04d", frame) + extension_;
}

int map_series::grids_written() const { return format_ == map_format_grids ? frame_ - 1 : 0; }

std::string map_series::grid_path(int frame) const { return output_path(frame_name(frame), "w", 1); }

namespace {

// Why a file could not be created at `path`: a folder of it that does not
// exist, or the system's reason.
std::string why_not_created(const std::string& path, int error) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
        return ": the folder " + folder.string() + " does not exist (make it before the run)";
    return error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string();
}

}  // namespace

bool map_series::write_frame(double time, const model_state& m) {
    if (!values_ || !mask_) return true;
    // A frame with a value that is not finite is not written.
    if (format_ == map_format_ascii_dataset || format_ == map_format_binary_dataset || format_ == map_format_grids) {
        if (const int k = first_not_finite(*values_, m.ncells)) {
            const std::string file = format_ == map_format_grids ? output_path(frame_name(frame_), "w", 1)
                                                                 : dataset_path_;
            return refuse_unwritten(m, (*values_)[k], "the value of the " + what, cell_place(m, k), file);
        }
    }
    if (format_ == map_format_ascii_dataset || format_ == map_format_binary_dataset) {
        if (!out_) return true;
        write_grid_dataset_ts(out_.get(), time, rows_, cols_, *mask_, *values_,
                              format_ == map_format_binary_dataset);
        // Frame by frame on disk: a reader finds every whole frame written so far.
        std::fflush(out_.get());
        return true;
    }
    if (format_ != map_format_grids) return true;

    std::string name = frame_name(frame_);
    if (!m.quiet && !m.super_quiet) std::printf("opening file %s\n", name.c_str());
    const std::string path = output_path(name, "w", 1);
    // The frame is written under a name of its own and takes its real name
    // only once it is whole.
    std::string part = name + ".part";
    const std::string part_path = output_path(part, "w", 1);
    errno = 0;
    file_ptr fp = open_file(part, "w", 1);
    if (!fp) return refuse("Can't open " + what + " for writing: " + path + why_not_created(path, errno) + "\n");
    write_esri_ascii_grid(fp.get(), *mask_, north_, south_, east_, west_, rows_, cols_, *values_, cell_size_);
    if (close_file_checked(fp) != 0) {
        std::remove(part_path.c_str());
        return refuse("Error writing " + what + " " + path + ": the frame is incomplete and was not kept.\n");
    }
    if (std::rename(part_path.c_str(), path.c_str()) != 0) {
        std::remove(part_path.c_str());
        return refuse("Can't open " + what + " for writing: " + path + "\n");
    }
    ++frame_;
    return true;
}

linknode_output::linknode_output() = default;

namespace {

// A node holding no more water than this has no concentration (m3).
constexpr double kDryNodeVolume = 1e-8;

}  // namespace

void linknode_output::size_tables(const network& net, const double* lakes) {
    net_ = net;
    lakes_ = lakes;
    out_table_ = node_table<double>(net.stride, net.nlinks);
    conc_table_ = node_table<double>(net.stride, net.nlinks);
    lake_out_ = vec1<double>(net.nlakes);
}

void linknode_output::init_flat(const network& net, const double* flat, const double* lakes) {
    size_tables(net, lakes);
    flat_ = flat;
    per_node_ = nullptr;
    mode_ = 1;
}

void linknode_output::init_nodes(const network& net, const node_table<double>& per_node, const double* lakes) {
    size_tables(net, lakes);
    flat_ = nullptr;
    per_node_ = &per_node;
    mode_ = 2;
}

bool linknode_output::open_mass_conc(model_state& m, const std::string& words, const std::string& what,
                                     const std::string& folder, const std::string& prefix, const std::string& name,
                                     double factor) {
    factor_ = factor;
    const std::string base = folder + prefix + name;
    bool created = true, refused = false;
    const auto create = [&](const std::string& name, int type, output_slot& slot) {
        if (refused) return;
        output_request request;
        request.words = words;
        request.name = name;
        request.group = output_group::maps;
        request.what = what;
        const opened_output o = open_output(m, request, &slot);
        if (!o.fp) {
            refused = o.refused;
            if (!refused && !quiet_unopened)
                warn(format_text("Error: unable to open file %s\n", output_path(name, "w", 1).c_str()));
            created = false;
            return;
        }
        // The graphical product reads these headers as they are: the
        // interval, the step count and the start are not given.
        write_linknode_header(o.fp, type, net_.nlinks, 15, 15, 0, 0, 0, 0, 0, 0);
    };
    mass_path_ = output_path(mass_and_conc ? base + ".mass" : base, "w", 1);
    create(mass_and_conc ? base + ".mass" : base, header_type, mass_fp_);
    if (mass_and_conc) {
        compute_conc();
        create(base + ".conc", conc_header_type, conc_fp_);
    }
    return created;
}

void linknode_output::compute_conc() {
    if (mode_ < 1 || conc_table_.empty()) return;
    conc_table_.fill(0.0);
    for (int l = 1; l <= net_.nlinks; ++l) {
        if (!link_is_channel((*net_.ltype)[l])) continue;
        const int nodes = (*net_.nodes)[l];
        for (int j = 1; j <= nodes && j < net_.stride; ++j) {
            const int at = l * net_.stride + j;
            const double v = volumes ? volumes[at] : 0.0;
            if (mode_ == 1)
                conc_table_[j][l] = v > kDryNodeVolume ? flat_[at] / v : 0.0;
            else
                conc_table_[j][l] = volumes && v <= kDryNodeVolume ? 0.0 : (*per_node_)[j][l];
        }
    }
}

void linknode_output::write_block(std::FILE* fp, const node_table<double>& values, const vec1<double>* lakes) {
    linknode_source s;
    s.nlinks = net_.nlinks;
    s.ltype = net_.ltype;
    s.nodes = net_.nodes;
    s.dataset_nodes = net_.dataset_nodes;
    s.lake_of_link = net_.lake_of_link;
    s.lake_values = lakes;
    s.lakes_when_plain = true;
    s.values = &values;
    write_linknode_ts(fp, s, steps_, linknode_plain);
    std::fflush(fp);
}

void linknode_output::fill_step() {
    for (int l = 1; l <= net_.nlinks; ++l) {
        const int t = (*net_.ltype)[l];
        if (link_is_lake(t)) {
            const int lake = net_.lake_of_link ? (*net_.lake_of_link)[l] : 0;
            if (lakes_ && lake >= 1 && lake <= net_.nlakes) lake_out_[lake] = lakes_[lake] / factor_;
        }
        if (link_is_structure(t)) out_table_[1][l] = 0.0;
        if (!link_is_channel(t)) continue;
        const int nodes = (*net_.nodes)[l];
        const int declared = net_.dataset_nodes ? (*net_.dataset_nodes)[l] : nodes;
        for (int j = 1; j <= declared && j < net_.stride; ++j) {
            double v = 0.0;
            if (j <= nodes) v = mode_ == 1 ? flat_[l * net_.stride + j] / factor_ : (*per_node_)[j][l] * factor_;
            out_table_[j][l] = v;
        }
    }
    if (conc_fp_) compute_conc();
}

void linknode_output::write_filled() {
    if (mass_fp_) {
        write_block(mass_fp_.get(), out_table_, lakes_ ? &lake_out_ : nullptr);
    } else {
        warn("Error writing to link/node file...\n");
    }
    // The volumes are the nodes': a lake shows no concentration here.
    if (conc_fp_) write_block(conc_fp_.get(), conc_table_, nullptr);
    ++steps_;
}

void linknode_output::write_step() {
    if (mode_ < 1) return;
    fill_step();
    write_filled();
}

bool linknode_output::finite_or_refuse(const model_state& m, const node_table<double>& values,
                                       const vec1<double>* lakes, const std::string& file) const {
    for (int l = 1; l <= net_.nlinks; ++l) {
        if (!link_is_channel((*net_.ltype)[l])) continue;
        const int declared = net_.dataset_nodes ? (*net_.dataset_nodes)[l] : (*net_.nodes)[l];
        for (int j = 1; j <= declared && j < net_.stride; ++j) {
            if (std::isfinite(values[j][l])) continue;
            return refuse_unwritten(m, values[j][l], "the value", format_text("node %d of link %d", j, l), file);
        }
    }
    if (!lakes) return true;
    for (int k = 1; k <= net_.nlakes && k <= lakes->n(); ++k) {
        if (std::isfinite((*lakes)[k])) continue;
        return refuse_unwritten(m, (*lakes)[k], "the value", format_text("lake %d", k), file);
    }
    return true;
}

bool linknode_output::write_step(const model_state& m) {
    if (mode_ < 1) return true;
    fill_step();
    if (mass_fp_ && !finite_or_refuse(m, out_table_, lakes_ ? &lake_out_ : nullptr, mass_path_)) return false;
    const std::string conc_path =
        mass_and_conc && mass_path_.size() > 5 ? mass_path_.substr(0, mass_path_.size() - 5) + ".conc" : mass_path_;
    if (conc_fp_ && !finite_or_refuse(m, conc_table_, nullptr, conc_path)) return false;
    write_filled();
    return true;
}

}  // namespace kesta
