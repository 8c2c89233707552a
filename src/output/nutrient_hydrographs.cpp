// The outlet hydrographs of the nutrient species: one line per output time
// of the time and the outlet's concentration or mass of one species.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/zep_container.hpp"
#include "output/output_steps.hpp"

namespace kesta {

namespace {

struct hydrograph_kind {
    const char* extension;
    const char* words;  // in the message and as the error's item
    file_ptr& (*slot)(zep_container&, int);
    double (*value)(const zep_container&, int);
};

const hydrograph_kind kKinds[] = {
    {".conc", "nutrient concentration",
     [](zep_container& z, int k) -> file_ptr& { return z.hyd_conc_fp[static_cast<std::size_t>(k)]; },
     [](const zep_container& z, int k) { return z.outlet_conc[static_cast<std::size_t>(k)]; }},
    {".mass", "nutrient mass",
     [](zep_container& z, int k) -> file_ptr& { return z.hyd_mass_fp[static_cast<std::size_t>(k)]; },
     [](const zep_container& z, int k) { return z.outlet_mass[static_cast<std::size_t>(k)]; }},
};

std::string hydrograph_name(const zep_container& z, int k, const hydrograph_kind& kind) {
    return format_text("%s%s", z.location_output[static_cast<std::size_t>(k)].file_name.c_str(), kind.extension);
}

std::string hydrograph_words(int k) { return std::string("card OUT_HYD_") + kNutrientSpeciesCards[k]; }

}  // namespace

std::vector<std::pair<std::string, std::string>> nutrient_hydrograph_files(const model_state& m) {
    std::vector<std::pair<std::string, std::string>> files;
    if (!m.zep) return files;
    zep_container& z = *m.zep;
    for (int k = 0; k < kNutrientSpecies; ++k)
        for (const hydrograph_kind& kind : kKinds)
            if (kind.slot(z, k))
                files.emplace_back(hydrograph_words(k), output_path(hydrograph_name(z, k, kind), "w", 1));
    return files;
}

bool open_nutrient_hydrographs(model_state& m) {
    if (!m.zep) return true;
    zep_container& z = *m.zep;
    std::vector<std::pair<std::string, std::string>> written;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        if (!z.location_output[static_cast<std::size_t>(k)].flag) continue;
        for (const hydrograph_kind& kind : kKinds) {
            std::string name = hydrograph_name(z, k, kind);
            const std::string path = output_path(name, "w", 1);
            const std::string words = hydrograph_words(k);
            if (!output_file_is_free(m, words, path, written)) return false;
            file_ptr fp = open_file(name, "w", 1);
            if (!fp) {
                print_both(format_text("Error opening %s output file (hydrograph style )\nfor the %s hydrograph "
                                       "file. \nGiven filename: %s\n",
                                       kind.words, zep_species_name(k), name.c_str()));
                g_error_record.fail(4, kind.words, path);
                return false;
            }
            written.emplace_back(words, path);
            kind.slot(z, k) = std::move(fp);
        }
    }
    return true;
}

void write_nutrient_hydrographs(const model_state& m, double time) {
    if (!m.zep) return;
    zep_container& z = *m.zep;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        for (const hydrograph_kind& kind : kKinds) {
            std::FILE* fp = kind.slot(z, k).get();
            if (!fp) continue;
            const double v = kind.value(z, k);
            if (!std::isfinite(v)) {
                refuse_unwritten(m, v, format_text("the %s of %s", kind.words, zep_species_name(k)), "the outlet",
                                 hydrograph_name(z, k, kind) + " (" + hydrograph_words(k) + ")");
                return;
            }
            std::fprintf(fp, "%16.8lf %11.4lf\n", time, v);
        }
    }
}

bool close_nutrient_hydrographs(model_state& m) {
    if (!m.zep) return true;
    zep_container& z = *m.zep;
    bool written = true;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        for (const hydrograph_kind& kind : kKinds) {
            file_ptr& fp = kind.slot(z, k);
            if (!fp || close_file_checked(fp) == 0) continue;
            std::string name = z.location_output[static_cast<std::size_t>(k)].file_name + kind.extension;
            print_both(format_text("Error writing %s output file %s: the output is incomplete.\n", kind.words,
                                   output_path(name, "w", 1).c_str()));
            written = false;
        }
    }
    return written;
}

}  // namespace kesta
