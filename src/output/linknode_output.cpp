// Link/node datasets of the channel network: the header and block writers,
// the headers written at set-up, and the blocks of the time-series step.
#include "output/linknode_output.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "channel/link_types.hpp"
#include "channel/superlink/storm_drain_steps.hpp"
#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "model/model_state.hpp"
#include "core/text_format.hpp"
#include "output/finite_output.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

constexpr const char* kTypeNames[] = {
    "KESTA_LINKNODE_STREAM_DEPTH",       "KESTA_LINKNODE_STREAM_FLOW",
    "KESTA_LINKNODE_STREAM_STAGE",       "KESTA_LINKNODE_STREAM_VELOCITY",
    "KESTA_LINKNODE_FLOOD_STREAM_DEPTH", "KESTA_LINKNODE_SUPERLINK_FLOW",
    "KESTA_LINKNODE_SUPERLINK_HEAD",     "KESTA_LINKNODE_SUPERLINK_TILE_FLOW",
    "KESTA_LINKNODE_NO2_MASS",           "KESTA_LINKNODE_NO3_MASS",
    "KESTA_LINKNODE_NH4_MASS",           "KESTA_LINKNODE_ON_MASS",
    "KESTA_LINKNODE_OP_MASS",            "KESTA_LINKNODE_DP_MASS",
    "KESTA_LINKNODE_ALG_MASS",           "KESTA_LINKNODE_CBOD_MASS",
    "KESTA_LINKNODE_DO_MASS",            "KESTA_LINKNODE_NO2_CONC",
    "KESTA_LINKNODE_NO3_CONC",           "KESTA_LINKNODE_NH4_CONC",
    "KESTA_LINKNODE_ON_CONC",            "KESTA_LINKNODE_OP_CONC",
    "KESTA_LINKNODE_DP_CONC",            "KESTA_LINKNODE_ALG_CONC",
    "KESTA_LINKNODE_CBOD_CONC",          "KESTA_LINKNODE_DO_CONC",
    "KESTA_LINKNODE_MASS",               "KESTA_LINKNODE_CONCENTRATION",
    "KESTA_LINKNODE_TOTAL_NITROGEN",     "KESTA_LINKNODE_TOTAL_KJELDAHL_NITROGEN",
    "KESTA_LINKNODE_TOTAL_PHOSPHORUS",   "KESTA_LINKNODE_STREAM_SED_FLUX",
};
constexpr int kTypeCount = static_cast<int>(sizeof kTypeNames / sizeof kTypeNames[0]);
constexpr double kTinyDivisor = 1e-7;
constexpr const char* kNoValue = "0  -999.999   ";

double shown(const linknode_source& s, int j, int l, linknode_mode mode) {
    const double v = (*s.values)[j][l];
    switch (mode) {
        case linknode_difference: return v - (*s.second)[j][l];
        case linknode_ratio: {
            const double d = (*s.second)[j][l];
            return d > kTinyDivisor ? v / d : 0.0;
        }
        default: return v;
    }
}

// The node values of the channel datasets and their source of the lakes'
// values: every dataset shows a lake link by its water surface.
linknode_source channel_source(const model_state& m, const node_table<double>& values, const node_table<double>* second) {
    linknode_source s;
    s.nlinks = m.nlinks;
    s.ltype = &m.ltype;
    s.nodes = &m.nx;
    // With lakes the lines keep the nodes read, those a lake holds shown empty.
    s.dataset_nodes = m.chan_lakes_on ? &m.link_nodes : nullptr;
    s.lake_of_link = &m.ldex;
    s.lake_values = m.chan_lakes_on ? &m.lake_elev : nullptr;
    s.values = &values;
    s.second = second;
    return s;
}

// The channel datasets of the time series, in the order they are written
// (the depth first: the sediment flux dataset follows it): the file, the
// card's switch, what the nodes show and the step counter.
struct channel_dataset {
    output_slot output_state::*slot;
    int channel_state::*given;
    linknode_mode mode;
    const node_table<double> channel_state::*values;
    const node_table<double> channel_state::*second;
    int output_state::*steps;
    const char* quantity;
};

const channel_dataset kChannelDatasets[] = {
    {&output_state::chan_depth_fp, &channel_state::chan_depth_given, linknode_difference, &channel_state::yp,
     &channel_state::bel, &output_state::linknode_depth_steps, "the depth"},
    {&output_state::chan_discharge_fp, &channel_state::chan_discharge_given, linknode_plain, &channel_state::qp,
     nullptr, &output_state::linknode_discharge_steps, "the discharge"},
    {&output_state::chan_velocity_fp, &channel_state::chan_velocity_given, linknode_ratio, &channel_state::qp,
     &channel_state::area, &output_state::linknode_velocity_steps, "the velocity"},
    {&output_state::chan_stage_fp, &channel_state::chan_stage_given, linknode_plain, &channel_state::yp, nullptr,
     &output_state::linknode_stage_steps, "the stage"},
};

// The pipe-network datasets, in the order they are written: the file, its
// type, what the nodes show and the step counter. The tile dataset exists
// only with tile drains.
struct pipe_dataset_file {
    output_slot output_state::*slot;
    linknode_type type;
    pipe_dataset kind;
    int output_state::*steps;
};

const pipe_dataset_file kPipeDatasets[] = {
    {&output_state::pipe_flow_fp, linknode_superlink_flow, pipe_flow_values, &output_state::linknode_pipe_flow_steps},
    {&output_state::pipe_head_fp, linknode_superlink_head, pipe_head_values, &output_state::linknode_pipe_head_steps},
    {&output_state::pipe_tile_fp, linknode_superlink_tile_flow, pipe_tile_values,
     &output_state::linknode_pipe_tile_steps},
};

// False after the stop (output/finite_output.hpp) when a value that a
// block of `s` shows is not finite: nothing of the block is then written.
bool block_finite(const model_state& m, std::FILE* fp, const linknode_source& s, linknode_mode mode,
                  const char* quantity) {
    for (int l = 1; l <= s.nlinks; ++l) {
        const int t = (*s.ltype)[l];
        if (link_is_lake(t) && (mode != linknode_plain || s.lakes_when_plain) && s.lake_values) {
            const int lake = s.lake_of_link ? (*s.lake_of_link)[l] : 0;
            if (lake >= 1 && lake <= s.lake_values->n() && !std::isfinite((*s.lake_values)[lake]))
                return refuse_unwritten(m, (*s.lake_values)[lake], quantity, format_text("the lake of link %d", l),
                                        written_file_words(m, fp));
        }
        if (link_is_structure(t) && mode == linknode_plain && !std::isfinite((*s.values)[1][l]))
            return refuse_unwritten(m, (*s.values)[1][l], quantity, format_text("structure link %d", l),
                                    written_file_words(m, fp));
        if (!link_is_channel(t)) continue;
        const int nodes = (*s.nodes)[l];
        const int declared = s.dataset_nodes ? (*s.dataset_nodes)[l] : nodes;
        for (int j = 1; j <= declared && j <= nodes; ++j) {
            const double v = shown(s, j, l, mode);
            if (!std::isfinite(v))
                return refuse_unwritten(m, v, quantity, format_text("node %d of link %d", j, l),
                                        written_file_words(m, fp));
        }
    }
    return true;
}

// The pipe file of dataset d when the run writes it, else null.
std::FILE* pipe_file(const model_state& m, const pipe_dataset_file& d) {
    if (d.kind == pipe_tile_values && !m.tile_drains_present) return nullptr;
    return (m.*d.slot).get();
}

}  // namespace

void write_linknode_header(std::FILE* fp, int type, int nlinks, int time_step, int num_ts, int day, int month,
                           int year, int hour, int minute, int second) {
    if (type >= 0 && type < kTypeCount) std::fprintf(fp, "%s\n", kTypeNames[type]);
    std::fprintf(fp, "NUM_LINKS     %d\n", nlinks);
    std::fprintf(fp, "TIME_STEP     %d\n", time_step);
    std::fprintf(fp, "NUM_TS        %d\n", num_ts);
    std::fprintf(fp, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute, second);
}

void write_linknode_ts(std::FILE* fp, const linknode_source& s, int step, linknode_mode mode) {
    std::fprintf(fp, "TS    %d\n", step);
    for (int l = 1; l <= s.nlinks; ++l) {
        const int t = (*s.ltype)[l];
        if (link_is_lake(t)) {
            const int lake = s.lake_of_link ? (*s.lake_of_link)[l] : 0;
            const bool shown_here = mode != linknode_plain || s.lakes_when_plain;
            if (shown_here && s.lake_values && lake >= 1 && lake <= s.lake_values->n())
                std::fprintf(fp, "-1 %6.5lf   ", (*s.lake_values)[lake]);
            else
                std::fputs(kNoValue, fp);
        }
        if (link_is_structure(t)) {
            if (mode == linknode_plain) std::fprintf(fp, "-2  %6.5lf   ", (*s.values)[1][l]);
            else std::fputs(kNoValue, fp);
        }
        if (link_is_channel(t)) {
            const int nodes = (*s.nodes)[l];
            const int declared = s.dataset_nodes ? (*s.dataset_nodes)[l] : nodes;
            std::fprintf(fp, "%d   ", declared);
            for (int j = 1; j <= declared; ++j) {
                if (j > nodes) std::fputs(kNoValue, fp);
                else std::fprintf(fp, "1  %6.5lf   ", shown(s, j, l, mode));
            }
        }
        std::fputs("\n", fp);
    }
    std::fputs("\n", fp);
}

void write_linknode_simple_ts(std::FILE* fp, int nlinks, const vec1<int>& count, int step, const mat2<double>& values,
                              bool per_pipe) {
    std::fprintf(fp, "TS    %d\n", step);
    for (int l = 1; l <= nlinks; ++l) {
        const int n = count[l];
        std::fprintf(fp, "%d   ", n + 1);
        for (int k = 1; k <= n + 1; ++k) {
            if (per_pipe && k == n + 1) std::fputs(kNoValue, fp);
            else std::fprintf(fp, "1  %6.5lf   ", values[l][k] + 0.0);  // + 0.0: a negative zero shows as 0
        }
        std::fputs("\n", fp);
    }
    std::fputs("\n", fp);
}

void write_linknode_headers(model_state& m) {
    const int interval = static_cast<int>(m.hyd_freq * m.timestep / 60.0);  // whole minutes
    const int steps = interval > 0 ? m.run_params.tot_time / interval : 0;
    const run_params& rp = m.run_params;
    const struct {
        output_slot output_state::*slot;
        int type;
    } headers[] = {{&output_state::chan_depth_fp, linknode_stream_depth},
                   {&output_state::chan_sed_flux_fp, linknode_stream_sed_flux},
                   {&output_state::chan_discharge_fp, linknode_stream_flow},
                   {&output_state::chan_stage_fp, linknode_stream_stage},
                   {&output_state::chan_velocity_fp, linknode_stream_velocity},
                   {&output_state::flood_stream_fp, linknode_flood_stream_depth}};
    for (const auto& h : headers) {
        std::FILE* fp = (m.*h.slot).get();
        if (!fp || !m.chan_routing) continue;
        write_linknode_header(fp, h.type, m.nlinks, interval, steps, rp.start_day, rp.start_month, rp.start_year,
                              rp.start_hour, rp.start_minute, 0);
    }
    if (!m.storm_sewer_given || m.n_superlinks < 1) return;
    for (const pipe_dataset_file& d : kPipeDatasets) {
        std::FILE* fp = pipe_file(m, d);
        if (!fp) continue;
        write_linknode_header(fp, d.type, m.n_superlinks, interval, steps, rp.start_day, rp.start_month,
                              rp.start_year, rp.start_hour, rp.start_minute, 0);
    }
    int most = 0;
    for (int l = 1; l <= m.n_superlinks; ++l) most = std::max(most, m.nnodes[l]);
    alloc_dmatrix(m.n_superlinks, most + 1, m.pipe_dataset_block, "pipe_dataset_block");
    blocks_made(g_error_record, "the block of the pipe datasets", m.pipe_dataset_block);
}

void write_pipe_datasets(model_state& m) {
    if (!m.storm_sewer_given || m.pipe_dataset_block.empty()) return;
    for (const pipe_dataset_file& d : kPipeDatasets) {
        std::FILE* fp = pipe_file(m, d);
        if (!fp) continue;
        pipe_dataset_values(m, d.kind, m.pipe_dataset_block);
        const mat2<double>& v = m.pipe_dataset_block;
        const bool per_pipe = d.kind != pipe_head_values;
        for (int l = 1; l <= m.n_superlinks; ++l) {
            for (int k = 1; k <= m.nnodes[l] + (per_pipe ? 0 : 1); ++k) {
                if (std::isfinite(v[l][k])) continue;
                refuse_unwritten(m, v[l][k], per_pipe ? "the flow" : "the head",
                                 format_text("%s %d of superlink %d", per_pipe ? "pipe" : "node", k, l),
                                 written_file_words(m, fp));
                return;
            }
        }
        write_linknode_simple_ts(fp, m.n_superlinks, m.nnodes, m.*d.steps, m.pipe_dataset_block,
                                 d.kind != pipe_head_values);
        ++(m.*d.steps);
    }
}

namespace {

void write_channel_dataset(model_state& m, const channel_dataset& d) {
    std::FILE* fp = (m.*d.slot).get();
    if (!fp || !(m.*d.given)) return;
    const linknode_source s = channel_source(m, m.*d.values, d.second ? &(m.*d.second) : nullptr);
    if (!block_finite(m, fp, s, d.mode, d.quantity)) return;
    write_linknode_ts(fp, s, m.*d.steps, d.mode);
    ++(m.*d.steps);
}

// The sediment flux dataset (CHAN_SED_FLUX): every node's flux through its
// downstream face in the last channel step, all classes, x 1e6, added to
// its running total over the run, which the block shows. Its blocks take
// the depth dataset's counter, and advance it.
void write_sed_flux_dataset(model_state& m) {
    std::FILE* fp = m.chan_sed_flux_fp.get();
    if (!fp || !m.chan_sed_on || !m.ov_sed || m.ov_sed->qsmax_total.empty()) return;
    sed_record& s = *m.ov_sed;
    for (int l = 1; l <= m.nlinks; ++l) {
        for (int j = 1; j <= m.link_nodes[l]; ++j) {
            const double* q = s.qsmax[l * s.node_stride + j];
            double sum = 0.0;
            for (int c = 1; c <= s.num_sed; ++c) sum += q[c];
            s.qsmax_total[j][l] += sum * 1e6;
        }
    }
    const linknode_source source = channel_source(m, s.qsmax_total, nullptr);
    if (!block_finite(m, fp, source, linknode_plain, "the sediment flux")) return;
    write_linknode_ts(fp, source, m.linknode_depth_steps, linknode_plain);
    ++m.linknode_depth_steps;
    ++m.linknode_sed_flux_steps;
}

}  // namespace

void write_channel_datasets(model_state& m) {
    if (!m.chan_routing || m.nlinks < 1) return;
    // The depth, the sediment flux, then the rest of the table.
    write_channel_dataset(m, kChannelDatasets[0]);
    write_sed_flux_dataset(m);
    for (std::size_t k = 1; k < std::size(kChannelDatasets); ++k) write_channel_dataset(m, kChannelDatasets[k]);
}

void write_flood_stream(model_state& m) {
    std::FILE* fp = m.flood_stream_fp.get();
    if (!fp || !m.chan_routing || m.yp_max_flood.empty()) return;
    const linknode_source source = channel_source(m, m.yp_max_flood, &m.bel);
    if (!block_finite(m, fp, source, linknode_difference, "the highest depth")) return;
    write_linknode_ts(fp, source, 0, linknode_difference);
}

}  // namespace kesta
