// The nutrient species beside a contaminant bound to the eroded sediment
// (NUTRIENTS with SEDIMENT_CONTAM), on the bundled sediment example: the
// contaminant rides with the sediment over land and in the channels, the
// nutrient species stay dissolved, and every balance closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "model/model_state.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::read_file;

const fs::path kExamples = fs::path(KESTA_SOURCE_DIR) / "examples";

// What the run left of each slot's attached mass, seen after every step.
struct attached_watch {
    double contaminant_cells = 0.0;  // largest attached mass of the contaminant over land (g)
    double nutrient_attached = 0.0;  // largest |attached mass| of any nutrient slot, anywhere (g)
    int nutrient_slots = 0, steps = 0;
    bool rows_only_for_contaminants = true;
    std::vector<double> errors;  // every balance error of the run's close (percent)
};
attached_watch* g_watch = nullptr;

double largest(const kesta::mat2<double>& t) {
    double most = 0.0;
    for (int r = 1; r <= t.nrows(); ++r)
        for (int k = 0; k <= t.ncols(); ++k) most = std::max(most, std::fabs(t[r][k]));
    return most;
}

bool watch(kesta::model_state& m, const char* name) {
    attached_watch& w = *g_watch;
    const std::string step = name;
    if (step == "close_output_files") {
        for (int c = 1; c <= m.ncontam; ++c) {
            for (const kesta::array1d<double>* e : {&m.GLOBAL_MASS_CON_ERROR, &m.OV_RUN_MASS_ERROR,
                                                     &m.CHAN_RUN_MASS_ERROR, &m.OV_MASS_ERROR, &m.CHAN_MASS_BALANCE})
                w.errors.push_back(e->value(c));
        }
        return true;
    }
    if (step != "report_progress" || m.ncontam < 10) return true;
    ++w.steps;
    w.nutrient_slots = 0;
    for (int c = 1; c <= m.ncontam; ++c) {
        const std::size_t s = static_cast<std::size_t>(c);
        const bool contaminant = kesta::is_contaminant(m, c);
        if (contaminant) {
            if (s < m.attached_mass.size())
                w.contaminant_cells = std::max(w.contaminant_cells, largest(m.attached_mass[s]));
            continue;
        }
        ++w.nutrient_slots;
        if (s < m.attached_mass.size() && !m.attached_mass[s].empty()) w.rows_only_for_contaminants = false;
        if (s < m.chan_sed_contam.size())
            w.nutrient_attached = std::max(w.nutrient_attached, largest(m.chan_sed_contam[s]));
        for (int row = 0; c <= m.attached_chan_flux.nrows() && row <= m.attached_chan_flux.ncols(); ++row)
            w.nutrient_attached = std::max(w.nutrient_attached, std::fabs(m.attached_chan_flux[c][row]));
        for (const kesta::array1d<double>* book :
             {&m.OV_SED_SOURCE_MASS, &m.CHAN_QLAT_SED_MASS, &m.CHAN_OUTLET_SED_MASS, &m.CHAN_SED_SOURCE_MASS})
            w.nutrient_attached = std::max(w.nutrient_attached, std::fabs(book->value(c)));
    }
    return true;
}

// The sediment example for two hours, with a herbicide of Kd 300 L/kg held
// by the land (2 kg per cell) and the nine nutrient species in the rain
// and the water.
TEST(NutrientsWithSediment, OnlyTheContaminantBindsAndEveryBalanceCloses) {
    kesta_test::temp_dir dir(true);
    for (const char* name : {"valley.gst", "mask.asc", "elevation.asc", "landuse.asc"})
        fs::copy_file(kExamples / "valley" / name, dir.path() / name);
    for (const char* name : {"sediment.chan", "sed_loc.txt"})
        fs::copy_file(kExamples / "valley-sediment" / name, dir.path() / name);
    for (const char* name : {"aq.env", "st.map"})
        fs::copy_file(kExamples / "valley-nutrients" / name, dir.path() / name);
    // The rain's nitrogen species: the water-quality example's ZEP_N table.
    const std::string tables = read_file((kExamples / "valley-nutrients" / "nutrients.cmt").string());
    const std::size_t n_at = tables.find("ZEP_N "), p_at = tables.find("ZEP_P ");
    ASSERT_LT(n_at, p_at);
    const std::string zep_n = tables.substr(n_at, p_at - n_at);
    const std::string pad(80, ' ');
    const std::string rows = "     1 pasture" + pad + "0.1 0 0 2 0 0 0 0\n     2 grass" + pad +
                             "0.1 0 0 2 0 0 0 0\n     3 forest" + pad + "0.1 0 0 2 0 0 0 0\n";
    dir.write("sediment.cmt",
              read_file((kExamples / "valley-sediment" / "sediment.cmt").string()) +
                  "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"herbicide\" \"Land use\" \"\"\nPRECIP_CONC 0\n"
                  "PARTITION 300\nNUM_IDS 3\nID DESCRIPTION DISP DECAY EXCHANGE LOAD INIT_CONC PARTITION GW_CONC "
                  "UNUSED\n" +
                  rows + zep_n);
    std::string project = read_file((kExamples / "valley-sediment" / "sediment.prj").string());
    const std::size_t at = project.find("\nTOT_TIME ");
    ASSERT_NE(at, std::string::npos);
    project.replace(at + 1, project.find('\n', at + 1) - at - 1, "TOT_TIME 120");
    project += "OV_CON_TRANS\nCHAN_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 0.02\nNUTRIENTS\nAQ_ENV aq.env\n"
               "OV_INIT_NO3 0.5\nOV_INIT_DO 9\nST_INIT_NO3 0.5\nST_INIT_NH4 0.1\nST_INIT_DO 9\n";
    dir.write("sediment.prj", project);
    fs::create_directory(dir.path() / "maps");

    attached_watch w;
    g_watch = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("sediment.prj", watch);
    g_watch = nullptr;
    ASSERT_EQ(run.rc, 0) << run.out;
    EXPECT_GT(w.steps, 0);
    EXPECT_EQ(w.nutrient_slots, 9);
    EXPECT_GT(w.contaminant_cells, 1.0);
    EXPECT_TRUE(w.rows_only_for_contaminants);
    EXPECT_EQ(w.nutrient_attached, 0.0);
    ASSERT_EQ(w.errors.size(), 50u);
    for (double e : w.errors) EXPECT_LT(std::fabs(e), 1e-6);

    // Only the herbicide's sections of the summary speak of attached mass.
    const std::string summary = read_file(dir.file("sediment.sum"));
    const auto after = [&summary](std::size_t pos, const std::string& label) {
        return std::stod(summary.substr(summary.find_first_not_of(" .", pos + label.size())));
    };
    const std::string attached = "Attached entering channels";
    int sections = 0;
    for (std::size_t pos = summary.find(attached); pos != std::string::npos; pos = summary.find(attached, pos + 1)) {
        EXPECT_GT(after(pos, attached), 0.0) << summary.substr(pos, 80);
        ++sections;
    }
    EXPECT_EQ(sections, 1);
}

}  // namespace
