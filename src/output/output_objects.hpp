// Output objects held by the model state: one map output series and one
// link/node output, and the reservoir-model coupling record.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "model/model_state_fwd.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// The standard maps of a run, by type; the dataset object id of a type is
// 1010 + type.
enum standard_map_type : int {
    map_depth,
    map_discharge,
    map_rain,
    map_infiltrated_depth,
    map_infiltration_rate,
    map_surface_moisture,
    map_groundwater_head,
    map_sediment_flux,
    map_sediment_volume,
    map_suspended_sediment,
    map_contaminant_conc,
    map_flood_grid,
    kStandardMapCount
};

// One gridded output series: either numbered ESRI-style grid files, one per
// frame, or one gridded dataset (ASCII or binary) that takes one time step per
// frame and is ended with its end mark. The series writes the packed values of
// a vector it does not own, one per active cell.
class map_series {
public:
    map_series();
    map_series(const map_series&) = delete;
    map_series& operator=(const map_series&) = delete;

    // The grid of the frames and the vector they show. `values` and `mask`
    // must outlive the series. The no-data value, the scale and the header
    // kind are kept for the callers; the frame writers print the values as
    // they are and mark an inactive cell with their own no-data value.
    void set_grid(const vec1<double>& values, const mat2<int>& mask, double north, double east,
                  double south, double west, int rows, int cols, double no_data, double scale,
                  int header_kind, double cell_size);
    // Numbered grids (format 1): frames are named folder '/' base, the frame
    // number in four digits after a '.', then `extension`; a folder that ends
    // in '/' or '\' gives the same names. Nothing is opened here: the first
    // frame's name is claimed in the output registry for the series.
    // Datasets (2 ASCII, 3 binary): `dataset_file` is opened through the
    // output registry (closed with its end mark as the run ends) and
    // receives the header with `object_id` and `dataset_name`; a file that
    // cannot be created leaves code 59 with the stop flag (false). `words`
    // name the output in a refusal ("card DEPTH"), which is false too.
    // PEXLO datasets (4) are not part of this program: nothing is written.
    bool open(int format, const std::string& folder, const std::string& base, const std::string& extension,
              const std::string& dataset_file, int object_id, const std::string& dataset_name,
              const std::string& words, model_state& m);
    // One frame of the values at `time` (dataset time, minutes). A grid file
    // is written whole under a temporary name and then renamed, so no frame is
    // ever left half-written; one that cannot be created or written prints
    // "Can't open <what> for writing: <path>" (or a write error) and reports
    // code 4000 at once. False when the run must stop.
    bool write_frame(double time, const model_state& m);

    bool is_open() const { return format_ != 0; }  // set up, in any format
    bool dataset_open() const { return static_cast<bool>(out_); }
    // Something was written: a dataset's header, or at least one grid file.
    bool written() const { return dataset_written_ || frame_ > 1; }
    const std::string& dataset_path() const { return dataset_path_; }
    // Numbered grids: how many grid files were written, and the path of
    // frame `frame` (from 1) as it was written.
    int grids_written() const;
    std::string grid_path(int frame) const;

    std::string what = "map";  // names the output in its failure messages
    double no_data = -999.99;
    double scale = 1.0;
    int header_kind = 0;

private:
    std::string frame_name(int frame) const;

    const vec1<double>* values_ = nullptr;
    const mat2<int>* mask_ = nullptr;
    double north_ = 0.0, south_ = 0.0, east_ = 0.0, west_ = 0.0, cell_size_ = 0.0;
    int rows_ = 0, cols_ = 0;
    int format_ = 0;  // 0 until opened
    int frame_ = 1;   // number of the next grid frame
    std::string folder_, base_, extension_;
    std::string dataset_path_;  // where the dataset was created
    output_slot out_;           // the open dataset
    bool dataset_written_ = false;
};

// One link/node dataset of a quantity held per channel node (a
// constituent's mass or concentration, a nutrient species): each call of
// write_step writes one "TS" block of the quantity's current values. The
// values come from a flat source (node j of link l at l * stride + j) or
// from a per-node table [node][link], and a lake's from a vector by lake.
// Nothing pointed to is owned: sources and the network's vectors must
// outlive the output and stay where they are.
class linknode_output {
public:
    // The channel network the blocks cover.
    struct network {
        int nlinks = 0;
        int nlakes = 0;
        int stride = 0;                             // the largest node count of a link + 1
        const vec1<int>* ltype = nullptr;           // link-type words
        const vec1<int>* nodes = nullptr;           // nodes a link holds now
        const vec1<int>* dataset_nodes = nullptr;   // nodes each line declares, or none: `nodes`
        const vec1<int>* lake_of_link = nullptr;    // lake number of a lake link
    };

    linknode_output();
    linknode_output(const linknode_output&) = delete;
    linknode_output& operator=(const linknode_output&) = delete;

    // The source of the values: flat (divided by the factor when written;
    // its concentrations are the values over `volumes` at the same index)
    // or per node [node][link] (multiplied by the factor; the values are
    // their own concentrations). `lakes` (by lake, element 0 unused) may be
    // null. Both size the tables and zero them.
    void init_flat(const network& net, const double* flat, const double* lakes);
    void init_nodes(const network& net, const node_table<double>& per_node, const double* lakes);

    // Creates the file folder + prefix + name through the output registry
    // (in numbered multi-run and batch modes in the output folder, the run's
    // number before the file's own name; closed as the run ends), with a
    // header of `header_type`; with `mass_and_conc` two files, that name +
    // ".mass" and + ".conc" (header `conc_header_type`). `words` name the
    // output in a refusal, `what` in a failed write. A file that cannot be
    // created receives nothing and, unless `quiet_unopened`, is named in a
    // warning.
    // Returns false when a file was refused (the run stops) or could not be
    // created.
    bool open_mass_conc(model_state& m, const std::string& words, const std::string& what,
                        const std::string& folder, const std::string& prefix, const std::string& name,
                        double factor);
    // The concentrations (g/m3) of the channel nodes: 0 where the node's
    // volume is at most 1e-8 m3 and at nodes a link does not hold now.
    void compute_conc();
    // One block of the values at every node and lake (and, with a
    // concentration file, one of the nodes' concentrations), numbered by
    // the step counter, which grows by one. Without a file a warning says
    // so.
    void write_step();
    // As write_step, unless a value of the block is not finite: then
    // nothing of the step is written and the run stops naming the value's
    // node or lake (output/finite_output.hpp). False when not written.
    bool write_step(const model_state& m);

    int header_type = 26;       // dataset type of the values' (mass) file
    int conc_header_type = 27;  // and of the concentration file
    bool mass_and_conc = false;
    bool quiet_unopened = false;  // the caller reports a file that cannot be created
    const double* volumes = nullptr;  // flat, m3: for concentrations of a flat source

    int mode() const { return mode_; }  // -1 unset, 1 flat, 2 per node
    int steps() const { return steps_; }
    const std::string& path() const { return mass_path_; }  // of the values' file
    const node_table<double>& output() const { return out_table_; }   // [node][link], as last written
    const node_table<double>& conc() const { return conc_table_; }    // [node][link]
    const vec1<double>& lake_values() const { return lake_out_; }

private:
    void size_tables(const network& net, const double* lakes);
    void write_block(std::FILE* fp, const node_table<double>& values, const vec1<double>* lakes);
    // The step's values into the tables; then the blocks written from them.
    void fill_step();
    void write_filled();
    // False after the stop when a value of `values` (or of `lakes`) that a
    // block shows is not finite.
    bool finite_or_refuse(const model_state& m, const node_table<double>& values, const vec1<double>* lakes,
                          const std::string& file) const;

    network net_;
    int mode_ = -1;
    int steps_ = 0;
    double factor_ = 1.0;
    const double* flat_ = nullptr;
    const node_table<double>* per_node_ = nullptr;
    const double* lakes_ = nullptr;
    node_table<double> out_table_, conc_table_;
    vec1<double> lake_out_;
    output_slot mass_fp_, conc_fp_;
    std::string mass_path_;
};

// Coupling record of the reservoir water-quality model's segment fluxes:
// which segment each cell and each listed channel node feeds, the inflow
// gathered per segment since the last output, and the output file.
struct vq_data {
    int max_segment = -1;  // highest segment number of the map; -1 before it is read
    vec1<int> seg_map;     // per active cell: its segment, 0 for none
    vec1<int> active;      // per segment: 1 when some cell lies in it
    vec1<double> qin;      // per segment: inflow summed over the passes since the last output (m3/s)
    int count = 0;         // passes summed in qin
    // Channel nodes and the segment each feeds.
    std::vector<int> link, node, segment;
    output_slot out;  // the segment flux output (VQ_SEGMENT_FLUXES)
    bool first_output = true;
    double first_day = 0.0;
};

}  // namespace kesta
