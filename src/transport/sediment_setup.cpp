// The sediment set-up of a run with soil erosion: the cards checked, the
// particle classes and the soil's erosion properties read from the
// mapping-table file, every overland sediment array made, and each class's
// settling velocity and density derived.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <utility>

#include "core/alloc_check.hpp"
#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "input/ascii_grid.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "transport/erosion_vectors.hpp"
#include "transport/sediment.hpp"
#include "transport/sediment_tables.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {

namespace {

// Particles up to this diameter settle by Stokes' law (m).
constexpr double kStokesLimit = 0.0001;
// Exponent of the dimensionless diameter of Julien's law: 0.3333333, a
// shade below 1/3, as the model has always computed it.
constexpr double kJulienExponent = 0.3333333;
// Transport-capacity formulas of SOIL_EROSION (10 more when the classes
// are carried as constituents).
constexpr int kFirstFormula = 1;
constexpr int kLastFormula = 6;
constexpr int kClassesAsConstituents = 10;

// The classes carried as constituents ride with the overland water only:
// nothing erodes them, so no contaminant can bind to them, and the soil
// would move them as a dissolved substance.
bool constituent_classes_hold(const model_state& m) {
    const char* card = m.sediment_contam ? "SEDIMENT_CONTAM" : m.soil_contam ? "SOIL_CON_TRANS" : nullptr;
    if (!card) return true;
    return refuse(format_text(
        "Error: SOIL_EROSION %d in project file %s carries the sediment classes as constituents with the "
        "overland water, together with %s: %s; give SOIL_EROSION a value below %d for %s.\n",
        m.project_options.soil_erosion, m.project_file.c_str(), card,
        m.sediment_contam ? "no sediment routine runs then, so there is no eroded sediment for the contaminants "
                            "to bind to"
                          : "the soil layers would move the classes as if they were dissolved",
        kClassesAsConstituents, card));
}

bool cards_hold(const model_state& m) {
    const project_options& po = m.project_options;
    if (m.soil_erosion < kFirstFormula || m.soil_erosion > kLastFormula) {
        return refuse(format_text("Error: SOIL_EROSION %d in project file %s names no transport-capacity formula; "
                                  "give a value from %d to %d, or from %d to %d to carry the classes as "
                                  "constituents.\n",
                                  po.soil_erosion, m.project_file.c_str(), kFirstFormula, kLastFormula,
                                  kFirstFormula + kClassesAsConstituents, kLastFormula + kClassesAsConstituents));
    }
    if (m.sed_as_constituents == 2 && !constituent_classes_hold(m)) return false;
    // Yang's formula carries the channel sand at the SAND_SIZE diameter.
    if (m.chan_sed_on && !(po.sand_size > 0.0)) {
        return refuse(format_text("Error: SAND_SIZE %g in project file %s: channel sediment transport (SOIL_EROSION "
                                  "with channel routing) carries sand of this diameter; give it in mm, above 0.\n",
                                  po.sand_size, m.project_file.c_str()));
    }
    // The channel bed's solids take 1 - porosity of its volume.
    if (!(po.sed_porosity >= 0.0 && po.sed_porosity < 1.0)) {
        return refuse(format_text("Error: SED_POROSITY %g in project file %s: the porosity of the bed sediment must "
                                  "be 0 or more and below 1.\n",
                                  po.sed_porosity, m.project_file.c_str()));
    }
    return true;
}

// Code 92 reported at once, with what is missing.
void refuse_missing_classes(const std::string& detail) {
    g_error_record.fail(92);
    g_error_record.detail = detail;
    report_error(g_error_record);
}

bool alloc_cell_arrays(const model_state& m, sed_record& s) {
    const project_options& po = m.project_options;
    const int n = m.ncells, k = s.num_sed;
    for (vec1<double>* v : {&s.tc_C, &s.tc_I, &s.tc_R, &s.splash_K, &s.detach_K, &s.detach_I, &s.detach_C,
                            &s.sed_K, &s.qsx, &s.qsy, &s.ov_qsvol, &s.Sfx, &s.Sfy, &s.cap_x, &s.cap_y})
        alloc_dvector(*v, n, "ov_sed cell vector");
    alloc_ivector(s.channel_cells, n, "channel_cells");
    const int faces = kFaceBatch;
    for (vec1<double>* v :
         {&s.batch_q, &s.batch_slope, &s.batch_excess, &s.batch_rate, &s.batch_sed_k, &s.batch_state, &s.batch_h,
          &s.batch_threshold})
        alloc_dvector(*v, faces, "ov_sed face batch");
    for (vec1<double>* v : {&s.block_rate, &s.block_drop, &s.block_splash, &s.block_shear, &s.block_beyond,
                            &s.block_work})
        alloc_dvector(*v, kCellBlock, "ov_sed cell block");
    alloc_ivector(s.block_state, kCellBlock, "ov_sed cell block");
    alloc_dvector(s.block_share, 2 * kCellBlock * (k + 1), "ov_sed settling shares");
    const int blocks = (n + kCellBlock - 1) / kCellBlock;
    alloc_ivector(s.block_last, blocks, "ov_sed cell block reach");
    for (mat2<double>* t : {&s.sed_fract.parent, &s.sed_fract.deposit, &s.vol_sed.parent, &s.vol_sed.suspended,
                            &s.vol_sed.deposited, &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited})
        alloc_dmatrix(n, k, *t, "ov_sed cell by class");
    for (vec1<double>* v : {&s.sed_fall, &s.sed_density, &s.eh_coef, &s.moved, &s.outlet_vol})
        alloc_dvector(*v, k, "ov_sed class vector");
    alloc_ivector(s.sand, k, "sand");
    alloc_ivector(s.sed_class, k, "sed_class");
    if (!blocks_made(g_error_record, "the overland sediment arrays", s.tc_C, s.tc_I, s.tc_R, s.splash_K, s.detach_K,
                     s.detach_I, s.detach_C, s.sed_K, s.qsx, s.qsy, s.ov_qsvol, s.Sfx, s.Sfy, s.cap_x, s.cap_y,
                     s.channel_cells, s.batch_q, s.batch_slope, s.batch_excess, s.batch_rate, s.batch_sed_k,
                     s.batch_state, s.batch_h, s.batch_threshold, s.block_rate, s.block_drop, s.block_splash, s.block_shear, s.block_beyond,
                     s.block_work, s.block_state, s.block_share, s.block_last,
                     s.sed_fract.parent, s.sed_fract.deposit, s.vol_sed.parent, s.vol_sed.suspended,
                     s.vol_sed.deposited, s.ov_sed_vol_eroded, s.ov_sed_vol_deposited, s.sed_fall, s.sed_density,
                     s.eh_coef, s.moved, s.outlet_vol, s.sand, s.sed_class))
        return false;
    // The map values, for the maps asked for.
    if (po.max_sed_flux_given) {
        alloc_dvector(s.ov_qsmax, n, "ov_qsmax");
        alloc_dvector(s.flux_map, n, "max_sed_flux map");
        if (!blocks_made(g_error_record, "the sediment flux map", s.ov_qsmax, s.flux_map)) return false;
    }
    if (po.net_sed_volume_given) {
        alloc_dvector(s.ov_net_sed, n, "ov_net_sed");
        if (!blocks_made(g_error_record, "the net sediment volume map", s.ov_net_sed)) return false;
    }
    if (po.vol_sed_susp_given) {
        alloc_dvector(s.ov_conc, n, "ov_conc");
        if (!blocks_made(g_error_record, "the suspended sediment map", s.ov_conc)) return false;
    }
    // The work space of the step on a team of threads, made last, so that
    // the one thread's lies as it does without it.
    static_assert(kCellBlock + kBatchLanes <= kTeamScratchStride && kFaceBatch + kBatchLanes <= kTeamScratchStride,
                  "a slot's arrays hold a block or a batch, a cache line apart");
    const int share_blocks = 2 * std::min(kSegmentBlocksMost, (n + kCellBlock - 1) / kCellBlock);
    alloc_dvector(s.team_scratch, (kErosionSlots - 1) * kTeamScratchArrays * kTeamScratchStride,
                  "ov_sed team work space");
    alloc_ivector(s.team_state, (kErosionSlots - 1) * kTeamScratchStride, "ov_sed team work space");
    alloc_dvector(s.team_share, share_blocks * 2 * kCellBlock * (k + 1), "ov_sed team settling shares");
    alloc_ivector(s.row_first, m.rows + 1, "ov_sed team rows");
    alloc_ivector(s.row_detached, m.rows, "ov_sed team rows");
    alloc_ivector(s.row_need, n, "ov_sed team rows");
    alloc_ivector(s.band_first, m.rows + 1, "ov_sed team rows");
    alloc_ivector(s.band_done, (m.rows + 1) * kBandDoneStride, "ov_sed team rows");
    // (vec1 holds one element more than the highest index it is given.)
    alloc_dvector(s.band_share, kErosionSlots * kBandRowsMost * 2 * kCellBlock * (k + 1) - 1,
                  "ov_sed team settling shares");
    if (!blocks_made(g_error_record, "the overland sediment team work space", s.team_scratch, s.team_state,
                     s.team_share, s.row_first, s.row_detached, s.row_need, s.band_first, s.band_done, s.band_share))
        return false;
    s.tot_sed.assign(static_cast<std::size_t>(k) + 1, sed_class_totals());
    return true;
}

// Settling velocity, density and kind of every class, and the class
// numbers in position order: fine classes first, then sand.
void derive_classes(const model_state& m, sed_record& s) {
    const double sand_size = m.project_options.sand_size;
    s.n_fine_classes = 0;
    s.n_sand_classes = 0;
    for (int k = 1; k <= s.num_sed; ++k) {
        const double g = s.spec_grav[k];
        s.sed_density[k] = g * kWaterDensity * 1000.0;
        s.sed_fall[k] = settling_velocity(s.part_diam[k], g, s.water_viscosity);
        const double d = s.part_diam[k] / 1000.0;
        s.eh_coef[k] = 0.05 / (std::sqrt(kGravity) * (g - 1.0) * (g - 1.0) * d);
        s.sand[k] = s.part_diam[k] >= sand_size ? 1 : 0;
        if (s.sand[k])
            ++s.n_sand_classes;
        else
            ++s.n_fine_classes;
    }
    int position = 0;
    for (int kind = 0; kind <= 1; ++kind) {
        for (int k = 1; k <= s.num_sed; ++k) {
            if (s.sand[k] == kind) s.sed_class[++position] = k;
        }
    }
}

}  // namespace

bool sediment_routed(const model_state& m) { return m.soil_erosion_given && m.sed_as_constituents != 2; }

double water_viscosity(double celsius) {
    return (7.1179e-6 / 9990.0) * std::pow((celsius + 6005.52) / (celsius + 45.28), 1.6012);
}

double settling_velocity(double d_mm, double s, double nu) {
    const double d = d_mm / 1000.0;
    if (d > kStokesLimit) {
        const double dstar = std::pow((s - 1.0) * kGravity / (nu * nu), kJulienExponent) * d;
        return (8.0 * nu / d) * (std::sqrt(1.0 + 0.0139 * dstar * dstar * dstar) - 1.0);
    }
    return (s - 1.0) * kGravity * d * d / (18.0 * nu);
}

void read_sediment_tables(model_state& m) {
    if (!m.soil_erosion_given) return;
    if (!cards_hold(m)) return;
    auto record = std::make_unique<sed_record>();
    sed_record& s = *record;
    s.erosion_method = m.soil_erosion;
    // Water below freezing flows at the viscosity of 0 C.
    s.water_viscosity = water_viscosity(std::max(0.0, m.project_options.water_temp));
    s.grain = sand_grain_of(m.project_options.sand_size, s.water_viscosity);

    say(m, "Reading sediments table from mapping table file\n");
    if (!m.mapping_table_given) {
        refuse_missing_classes(format_text("(project file %s names no MAPPING_TABLE)", m.project_file.c_str()));
        return;
    }
    sediment_classes classes;
    if (!read_sediment_table(m.mapping_tables, m.mapping_table, classes)) return;
    if (classes.count == 0) {
        refuse_missing_classes(format_text("(mapping table file %s holds no SEDIMENTS table with classes)",
                                           m.mapping_table.c_str()));
        return;
    }
    s.num_sed = classes.count;
    s.spec_grav = std::move(classes.spec_grav);
    s.part_diam = std::move(classes.part_diam);
    s.f_bind = std::move(classes.f_bind);
    s.output_filename = std::move(classes.output_filename);
    if (!alloc_cell_arrays(m, s)) return;
    // Classes carried as constituents are never eroded: the soil's erosion
    // properties have no use, and the table is neither needed nor read.
    if (m.sed_as_constituents == 2) {
        m.ov_sed = std::move(record);
        derive_classes(m, s);
        return;
    }

    say(m, "Reading soil erosion properties table from mapping table file\n");
    if (m.mapping_tables.find_table(table_soil_erosion) == 0) {
        g_error_record.fail(93);
        g_error_record.detail =
            format_text("(mapping table file %s holds no SOIL_EROSION_PROPS table)", m.mapping_table.c_str());
        report_error(g_error_record);
        return;
    }
    // The table reader hands the parent-soil shares to the record.
    m.ov_sed = std::move(record);
    grid_header header;
    const std::array<vec1<double>*, 8> columns = {&s.tc_C,     &s.tc_I,     &s.tc_R,     &s.splash_K,
                                                  &s.detach_K, &s.detach_I, &s.detach_C, &s.sed_K};
    if (!read_erosion_table(m, m.mapping_tables, m.mapping_table, s.num_sed, columns, header, m.mask, m.rows, m.cols,
                            m.summary_fp.get()))
        return;
    derive_classes(m, s);
}

void set_sed_parent_fraction(model_state& m, int cell, int sed_class, double fraction) {
    if (!m.ov_sed) return;
    mat2<double>& parent = m.ov_sed->sed_fract.parent;
    if (cell < 1 || cell > parent.nrows() || sed_class < 1 || sed_class > parent.ncols()) return;
    parent[cell][sed_class] = fraction;
}

}  // namespace kesta
