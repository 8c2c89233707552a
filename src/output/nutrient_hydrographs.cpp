// The outlet hydrographs of the nutrient species: one line per output time
// of the time and the outlet's concentration or mass of one species.
#include <cmath>
#include <cstdio>
#include <string>
#include <iterator>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_container.hpp"
#include "output/output_registry.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

struct hydrograph_kind {
    const char* extension;
    const char* words;  // in the message and as the error's item
    output_slot (output_state::*slots)[std::size(kNutrientSpeciesCards)];
    double (*value)(const zep_container&, int);
};

const hydrograph_kind kKinds[] = {
    {".conc", "nutrient concentration", &output_state::nutrient_hyd_conc_fp,
     [](const zep_container& z, int k) { return z.outlet_conc[static_cast<std::size_t>(k)]; }},
    {".mass", "nutrient mass", &output_state::nutrient_hyd_mass_fp,
     [](const zep_container& z, int k) { return z.outlet_mass[static_cast<std::size_t>(k)]; }},
};

static_assert(std::size(kNutrientSpeciesCards) == kNutrientSpecies, "one outlet hydrograph slot per species");

std::string hydrograph_name(const model_state& m, int k, const hydrograph_kind& kind) {
    return format_text("%s%s", m.project_options.out_hyd[static_cast<std::size_t>(k)].file_name.c_str(),
                       kind.extension);
}

}  // namespace

bool open_nutrient_hydrographs(model_state& m) {
    if (!m.zep) return true;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        if (!m.project_options.out_hyd[static_cast<std::size_t>(k)].flag) continue;
        if (m.chan_routing != 1) {
            // The outlet values are those of the channel network's outlet
            // node: without one the files would hold zeros that no water
            // carried.
            warn(format_text("OUT_HYD_%s has no effect without channel routing (CHAN_EXPLIC): %s and %s are not "
                             "written.\n",
                             kNutrientSpeciesCards[k], hydrograph_name(m, k, kKinds[0]).c_str(),
                             hydrograph_name(m, k, kKinds[1]).c_str()));
            continue;
        }
        for (const hydrograph_kind& kind : kKinds) {
            output_request request;
            request.words = std::string("card OUT_HYD_") + kNutrientSpeciesCards[k];
            request.name = hydrograph_name(m, k, kind);
            request.group = output_group::nutrient;
            request.what = std::string(kind.words) + " output file";
            const opened_output o = open_output(m, request, &(m.*kind.slots)[k]);
            if (o.refused) return false;
            if (!o.fp) {
                print_both(format_text("Error opening %s output file (hydrograph style )\nfor the %s hydrograph "
                                       "file. \nGiven filename: %s\n",
                                       kind.words, zep_species_name(k), request.name.c_str()));
                std::string name = request.name;
                strip_quotes(name);
                g_error_record.fail(4, kind.words, output_path(name, "w", 1));
                return false;
            }
        }
    }
    return true;
}

void write_nutrient_hydrographs(const model_state& m, double time) {
    if (!m.zep) return;
    const zep_container& z = *m.zep;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        for (const hydrograph_kind& kind : kKinds) {
            std::FILE* fp = (m.*kind.slots)[k].get();
            if (!fp) continue;
            const double v = kind.value(z, k);
            if (!std::isfinite(v)) {
                refuse_unwritten(m, v, format_text("the %s of %s", kind.words, zep_species_name(k)), "the outlet",
                                 written_file_words(m, fp));
                return;
            }
            std::fprintf(fp, "%16.8lf %11.4lf\n", time, v);
        }
    }
}

}  // namespace kesta
