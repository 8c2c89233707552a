// Initial soil pools and soil parameters of the nutrient module from the
// nutrient soil tables of the mapping-table file (NUTRIENTS with
// SOIL_CON_TRANS). A soil pool table gives, per cell, the mass of each of
// its pools in the cell's top constituent soil layer in kg; the pools hold
// g. ZEP_SOIL_KM and ZEP_SOIL_KOC give the six entries each of the cells'
// library parameter records. A pool table is read only when its card
// (SOILS_ZEP_N, SOILS_ZEP_P, SOILS_ZEP_C) is given; the layers and pools it
// does not give keep the library's initial pools.
#include <array>
#include <string>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/input_steps.hpp"
#include "input/mapping_tables.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/zep_soils.hpp"

namespace kesta {

namespace {

constexpr double kGramsPerKilogram = 1000.0;
constexpr int kParamColumns = 6;

bool non_negative(double v) { return v >= 0.0; }

// Reads the `count` columns of mapping table `table` into cols[0..count-1]
// (sized to the cells), each checked to be 0 or more, and with `pools` (kg
// over a cell) at most what the land of a cell can hold.
bool read_columns(model_state& m, int table, int count, std::array<vec1<double>, 7>& cols, bool pools) {
    std::array<vec1<double>*, 7> out{};
    for (int j = 0; j < count; ++j) {
        cols[static_cast<std::size_t>(j)] = vec1<double>(m.ncells);
        out[static_cast<std::size_t>(j)] = &cols[static_cast<std::size_t>(j)];
    }
    if (!read_table_columns(m, table, out)) return false;
    for (int j = 0; j < count; ++j) {
        const std::string what = format_text("column %d", j + 1);
        const value_rule rule{what.c_str(), "", non_negative, "it must be 0 or more"};
        std::string detail;
        if (first_breach(m, cols[static_cast<std::size_t>(j)], rule, value_source(m, false, "", table), detail) != 0)
            return refuse("Error: nutrient soil table: " + detail + "\n");
        if (!pools) continue;
        const double area = m.gridsize * m.gridsize;
        const std::string why = format_text(", %g kg per m2 of the cell's %g m2", kMostLandMassPerArea, area);
        if (first_beyond(m, cols[static_cast<std::size_t>(j)], kMostLandMassPerArea * area,
                         format_text("pool of column %d", j + 1).c_str(), "kg", why, value_source(m, false, "", table),
                         detail) != 0)
            return refuse("Error: nutrient soil table: " + detail);
    }
    return true;
}

// The soil pools of a group: the columns of its pool table.
constexpr int pools_in(nutrient_table_group g) {
    int n = 0;
    for (const soil_pool_row& r : kSoilPoolRows) n += r.group == g ? 1 : 0;
    return n;
}

bool present(const model_state& m, int table) {
    return m.mapping_table_given && mapping_table_present(m.mapping_tables, table);
}

}  // namespace

void copy_vector_to_column(const vec1<double>& values, mat2<double>& rows, int j, int count) {
    for (int i = 1; i <= count; ++i) rows[i][j] = values[i];
}

void assign_zep_soil_tables(model_state& m) {
    const int first = m.first_nutrient_constituent;
    if (first < 1 || !m.zep || !m.soil_con_trans || m.zep->soils.cells.empty()) return;
    const project_options& o = m.project_options;
    // Each pool table, its card and the group of soil pools its columns
    // hold (their rows' columns).
    const struct {
        int table;
        int card;
        nutrient_table_group group;
        int columns;
        const char* card_name;
        const char* table_name;
    } kPoolTables[] = {{table_zep_soil_n, o.soils_zep_n, nutrient_table_group::nitrogen, pools_in(nutrient_table_group::nitrogen), "SOILS_ZEP_N", "ZEP_SOIL_N"},
                       {table_zep_soil_p, o.soils_zep_p, nutrient_table_group::phosphorus, pools_in(nutrient_table_group::phosphorus), "SOILS_ZEP_P",
                        "ZEP_SOIL_P"},
                       {table_zep_soil_c, o.soils_zep_c, nutrient_table_group::carbon, pools_in(nutrient_table_group::carbon), "SOILS_ZEP_C", "ZEP_SOIL_C"}};
    std::array<vec1<double>, 7> cols;
    for (const auto& t : kPoolTables) {
        if (t.card != 2) continue;
        if (!present(m, t.table)) {
            warn(format_text("%s: the mapping-table file %s has no %s table; the soil keeps its initial pools.\n",
                             t.card_name, m.mapping_table_given ? m.mapping_table.c_str() : "(none given)",
                             t.table_name));
            continue;
        }
        if (!read_columns(m, t.table, t.columns, cols, true)) return;
        for (const soil_pool_row& r : kSoilPoolRows) {
            if (r.group != t.group) continue;
            vec1<double>& kg = cols[static_cast<std::size_t>(r.column - 1)];
            for (int k = 1; k <= m.ncells; ++k) kg[k] *= kGramsPerKilogram;
            copy_vector_to_column(kg, m.soil_mass[static_cast<std::size_t>(first + r.pool)], 1, m.ncells);
        }
    }
    // The sorption parameters: ZEP_SOIL_KM into entries 0 to 5, ZEP_SOIL_KOC
    // into 6 to 11.
    array1d<double>* kept[] = {m.soil_km, m.soil_koc};
    const int tables[] = {table_zep_soil_km, table_zep_soil_koc};
    for (int i = 0; i < 2; ++i) {
        if (!present(m, tables[i])) continue;
        if (!read_columns(m, tables[i], kParamColumns, cols, false)) return;
        const double* values[kParamColumns];
        for (int j = 0; j < kParamColumns; ++j) {
            array1d<double>& v = kept[i][j];
            v = array1d<double>(m.ncells);
            for (int k = 1; k <= m.ncells; ++k) v.at(k) = cols[static_cast<std::size_t>(j)][k];
            values[j] = v.data();
        }
        if (i == 0)
            zep_soils_set_uniform_b(m, values);
        else
            zep_soils_set_uniform_a(m, values);
    }
    zep_soils_push_state(m);
    zep_soils_apply(m);
}

}  // namespace kesta
