// The channel link/node datasets of the nutrient module. TOTAL_CHAN_N,
// TOTAL_CHAN_KN and TOTAL_CHAN_P show the total nitrogen (NO2 + NO3 + NH4
// + ON), total Kjeldahl nitrogen (NH4 + ON) and total phosphorus (OP + DP)
// of the water of every channel node and lake (g), each in the file its
// card names; an OUT_ST_<species> card shows that species' mass (g) and
// concentration (g/m3) of every node and lake in the files named by its
// value followed by ".mass" and ".conc". The values are written as held,
// in the units of the overland nutrient maps and of the contaminants'
// channel datasets. Each dataset takes a block at every map interval, the
// totals formed anew first.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_container.hpp"
#include "output/linknode_output.hpp"
#include "output/output_steps.hpp"

namespace kesta {

// The dataset types number each species' mass and concentration datasets
// in species order; a new species needs types of its own.
static_assert(linknode_no2_conc - linknode_no2_mass == kNutrientSpecies &&
                  linknode_mass - linknode_no2_conc == kNutrientSpecies,
              "one mass and one concentration dataset type per species");

namespace {

// The channel network of a flat source whose node j of link l stands at
// l * stride + j.
linknode_output::network channel_network(const model_state& m, int stride) {
    linknode_output::network net;
    net.nlinks = m.nlinks;
    net.nlakes = m.chan_lakes_on ? m.nlakes : 0;
    net.stride = stride;
    net.ltype = &m.ltype;
    net.nodes = &m.nx;
    net.dataset_nodes = m.chan_lakes_on ? &m.link_nodes : nullptr;
    net.lake_of_link = &m.ldex;
    return net;
}

// One dataset of `type` over the nodes' values `flat` and the lakes'
// values `lakes` (by lake; null without lakes), in `file`. False when the
// file is an input or another output of the run (refused, code 4000) or
// cannot be created (code 4 naming `item` and the file); either stops the
// run.
bool open_dataset(model_state& m, const linknode_output::network& net, const double* flat, const double* lakes,
                  int type, const std::string& file, const std::string& words, const std::string& item) {
    std::string name = file;
    strip_quotes(name);
    auto out = std::make_unique<linknode_output>();
    out->init_flat(net, flat, lakes);
    out->header_type = type;
    out->quiet_unopened = true;
    if (!out->open_mass_conc(m, words, "nutrient link/node dataset", "", name, "", 1.0)) {
        if (!g_error_record.stop) g_error_record.fail(4, item, output_path(name, "w", 1));
        return false;
    }
    m.nutrient_linknodes.push_back(std::move(out));
    return true;
}

}  // namespace

bool open_nutrient_linknodes(model_state& m) {
    zep_container& z = *m.zep;
    const project_options& p = m.project_options;
    zep_streams& st = z.streams;
    zep_lakes& lk = z.lakes;
    const struct {
        int given;
        const std::string& file;
        const char* card;
        const char* item;
        int type;
        const vec1<double>& nodes;
        const vec1<double>& lakes;
    } totals[] = {
        {p.total_chan_n_given, p.total_chan_n, "TOTAL_CHAN_N", "output total channel nitrogen",
         linknode_total_nitrogen, st.total_n, lk.total_n},
        {p.total_chan_kn_given, p.total_chan_kn, "TOTAL_CHAN_KN", "output total channel Kjeldahl nitrogen",
         linknode_total_kjeldahl_nitrogen, st.total_kn, lk.total_kn},
        {p.total_chan_p_given, p.total_chan_p, "TOTAL_CHAN_P", "output total channel phosphorus",
         linknode_total_phosphorus, st.total_p, lk.total_p},
    };
    const int first = m.first_nutrient_constituent;
    if (first < 1 || m.nlinks < 1 || m.chan_mass.empty() || st.total_n.empty()) {
        // Without a channel network the cards have nothing to show (the
        // totals' cards are said with the other output cards).
        for (int k = 0; k < kNutrientSpecies; ++k) {
            const zep_output_request& request = p.out_st[static_cast<std::size_t>(k)];
            if (request.flag)
                warn(format_text("OUT_ST_%s has no effect without channel routing: %s.mass and %s.conc are not "
                                 "written.\n",
                                 kNutrientSpeciesCards[k], request.file_name.c_str(), request.file_name.c_str()));
        }
        return true;
    }
    const linknode_output::network total_net = channel_network(m, st.stride);
    const bool lakes = total_net.nlakes > 0;
    for (const auto& t : totals) {
        if (!t.given) continue;
        if (!open_dataset(m, total_net, t.nodes.data(), lakes ? t.lakes.data() : nullptr, t.type, t.file,
                          std::string("card ") + t.card, t.item))
            return false;
    }
    const linknode_output::network species_net = channel_network(m, m.chan_stride);
    for (int k = 0; k < kNutrientSpecies; ++k) {
        const zep_output_request& request = p.out_st[static_cast<std::size_t>(k)];
        if (!request.flag) continue;
        const std::size_t slot = static_cast<std::size_t>(first + k);
        const struct {
            const mat2<double>& table;
            int type;
            const char* extension;
            const char* kind;
        } kinds[] = {{m.chan_mass, linknode_no2_mass + k, ".mass", "mass"},
                     {m.chan_conc, linknode_no2_conc + k, ".conc", "concentration"}};
        for (const auto& d : kinds) {
            const double* values = d.table[static_cast<int>(slot)];
            if (!open_dataset(m, species_net, values, lakes ? values + m.chan_lake_row0 : nullptr, d.type,
                              request.file_name + d.extension, std::string("card OUT_ST_") + kNutrientSpeciesCards[k],
                              format_text("output stream %s %s", kNutrientSpeciesCards[k], d.kind)))
                return false;
        }
    }
    return true;
}

void write_nutrient_linknodes(model_state& m) {
    if (m.nutrient_linknodes.empty()) return;
    zep_streams_totals(m);
    zep_lakes_totals(m);
    for (auto& out : m.nutrient_linknodes)
        if (!out->write_step(m)) return;
}

}  // namespace kesta
