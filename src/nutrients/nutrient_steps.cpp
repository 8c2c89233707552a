#include "nutrients/nutrient_steps.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/source/aquatic_kinetics.hpp"
#include "nutrients/zep_soils.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "transport/channel_constituents.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"
#include "transport/network_faces.hpp"
#include "transport/transport_steps.hpp"

namespace kesta {
namespace {

constexpr double kKelvinOffset = 273.15;
// Cells shallower than this (m) are not reacted.
constexpr double kReactDepth = 1e-5;
// Molar ammonium (mol/m3) below which a cell or lake, or a stream node,
// holds no un-ionised ammonia.
constexpr double kOverlandMinAmmonium = 1e-7;
constexpr double kStreamMinAmmonium = 1e-8;
// Flow area (m2) below which a channel node holds no water.
constexpr double kMinNodeArea = 1e-7;
// The hourly global radiation (W/m2) as the library's radiation over an
// hour (MJ/m2).
constexpr double kWattsToMegajoulesPerHour = 0.0036;

zep_container& container(model_state& m) { return *m.zep; }

// The water temperature of every wrapper (degrees C): WATER_TEMP, water
// below freezing taken at 0 as the sediment's settling takes it.
double water_temperature(const model_state& m) { return std::max(0.0, m.project_options.water_temp); }

bool has_weather(const model_state& m) { return m.hmet_kvl_given || m.hmet_samson_given || m.hmet_surfaways_given; }

// The nine species' masses (g) and concentrations (g/m3) at the places of
// a domain: the rows of their constituent slots (not owned).
struct species_rows {
    double* mass[kNutrientSpecies];
    double* conc[kNutrientSpecies];
};

species_rows overland_rows(model_state& m) {
    species_rows r{};
    for (int k = 0; k < kNutrientSpecies; ++k) {
        const std::size_t slot = static_cast<std::size_t>(m.first_nutrient_constituent + k);
        r.mass[k] = m.contam_mass[slot].data();
        r.conc[k] = m.contam_conc[slot].data();
    }
    return r;
}

// The rows of the channel nodes and lakes (chan_rows_of).
species_rows channel_rows(model_state& m) {
    species_rows r{};
    for (int k = 0; k < kNutrientSpecies; ++k) {
        r.mass[k] = m.chan_mass[m.first_nutrient_constituent + k];
        r.conc[k] = m.chan_conc[m.first_nutrient_constituent + k];
    }
    return r;
}

// The place i of a domain's species into the block: the concentrations of
// the masses in `volume` m3.
void copy_in(aq_species_block& b, const species_rows& s, int i, double volume) {
    b.volume = volume;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        aq_species_record& r = b.species[k];
        r.mass = s.mass[k][i];
        r.conc = s.mass[k][i] / volume;
    }
}

// Adds what a step made and used of each species to the running sums, and
// books each species that changed by `book`(species, made, used).
template <class Book>
void book_step(const double* made, const double* used, double& gained, double& lost, Book book) {
    for (int k = 0; k < kNutrientSpecies; ++k) {
        gained += made[k];
        lost += used[k];
        if (made[k] > 0.0 || used[k] > 0.0) book(k, made[k], used[k]);
    }
}

// The block's rates over `seconds` applied to place i: a loss takes at most
// the mass the place holds. What was made and used of each species adds
// to made[k] and used[k].
void copy_out(const aq_species_block& b, const species_rows& s, int i, double seconds, double* made, double* used) {
    for (int k = 0; k < kNutrientSpecies; ++k) {
        double& mass = s.mass[k][i];
        double dm = b.species[k].change * seconds;
        if (dm < -mass) dm = -mass;
        if (dm > 0.0)
            made[k] += dm;
        else
            used[k] -= dm;
        mass += dm;
        s.conc[k][i] = mass / b.volume;
    }
}

// `sum` plus the masses `mass(species)` of the species whose total
// `counts` holds, added in species order.
template <class Mass, class Counts>
double species_sum(double sum, const Mass& mass, Counts counts) {
    for (const water_species_row& r : kWaterSpecies)
        if (counts(r.total)) sum += mass(r.species);
    return sum;
}
bool in_nitrogen(nutrient_total t) { return t == nutrient_total::nitrogen || t == nutrient_total::kjeldahl; }
bool in_kjeldahl(nutrient_total t) { return t == nutrient_total::kjeldahl; }
bool in_other_nitrogen(nutrient_total t) { return t == nutrient_total::nitrogen; }
bool in_phosphorus(nutrient_total t) { return t == nutrient_total::phosphorus; }

// The diagnostics of a negative concentration at `where`, and the run's stop.
void stop_on_negative(const char* entry, const aq_species_block& b, int species, const std::string& where,
                      double time) {
    store_refusal(zep_negative_message(entry, species) +
                  format_text("  %s: %g g/m3 at time %.6f\n", where.c_str(), b.species[species].conc, time) +
                  "Execution terminated!\n");
}

}  // namespace

const char* zep_species_name(int species) {
    return species >= 0 && species < kNutrientSpecies ? nutrient_display_name(species) : "";
}

zep_container::~zep_container() { vegso_free_record(environment); }

void setup_nutrient_container(model_state& m) {
    static_assert(kNutrientCardSpecies == kNutrientSpecies, "one entry of each species card per species");
    if (m.nutrients) m.zep = std::make_shared<zep_container>();
}

bool zep_transport_holds(model_state& m) {
    // With SEDIMENT_CONTAM the contaminants bind to the eroded sediment and
    // the nutrient species stay dissolved.
    const char* refused = carried_water_refusal(m);
    if (!refused) return true;
    return refuse(format_text("Error: project file %s asks for NUTRIENTS, whose species the overland water "
                              "carries, together with %s.\n",
                              m.project_file.c_str(), refused));
}

void zep_overland_set_params(model_state& m) {
    zep_container& z = container(m);
    z.ncells = m.ncells;
    double sum = 0.0;
    for (int k = 1; k <= m.ncells; ++k) sum += m.elev[k];
    vegso_free_record(z.environment);
    z.environment = vegso_env_create();
    z.environment->elevation = m.ncells > 0 ? sum / m.ncells : 0.0;
    z.environment->latitude = std::fabs(m.latitude);
    z.environment->latitude_hemisphere = m.latitude < 0.0 ? 'S' : 'N';
    z.environment->longitude = std::fabs(m.longitude);
    vegso_env_update(z.environment);
}

void read_aquatic_env_file(model_state& m) {
    zep_container& z = container(m);
    z.aquatic.file_name = m.project_options.aq_env;
    read_aquatic_env(z.aquatic, m);
}

void zep_overland_allocate(model_state& m) {
    zep_container& z = container(m);
    zep_overland& o = z.overland;
    say(m, "Allocating memory for overland ZEP...");
    const int n = m.ncells;
    o.ncells = n;
    o.cell_area = m.gridsize * m.gridsize;
    const double temperature = water_temperature(m);
    o.water_temp = vec1<double>(n);
    o.water_temp.fill(temperature);
    const aq_species_block initial;
    o.doc = vec1<double>(n);
    o.doc.fill(initial.dissolved_organic_carbon);
    o.foc = vec1<double>(n);
    o.foc.fill(initial.organic_carbon_fraction);
    o.dispersion = vec1<double>(n);
    o.ka = zep_ammonia_dissociation(temperature);
    static_assert(kZepSorptionConstants == kSorptionConstants, "one value per sorption card");
    const std::vector<double>& sorption = m.project_options.sorption_constants;
    o.sorption.fill(0.0);
    std::copy(sorption.begin(), sorption.end(), o.sorption.begin());
    if (!sorption.empty())
        warn("The nutrient sorption constants (NO2_KM ... DP_KM, NO2_KOC ... DP_KOC) are kept but do not change "
             "the results: the species react and travel as wholly dissolved.\n");
    say(m, "Done\n");
}

void zep_overland_init(model_state& m) {
    zep_overland& o = container(m).overland;
    if (!m.soil_con_trans)
        warn("NUTRIENTS without SOIL_CON_TRANS: the nutrient species that the overland water carries into the "
             "ground leave the model there.\n");
    if (!has_weather(m))
        warn("NUTRIENTS without a hydrometeorological file (HMET_KVL, HMET_SAMSON or HMET_SURFAWAYS): the algae "
             "in the water get no light and do not grow.\n");
    o.h_ion = std::pow(10.0, -m.project_options.chan_ph);
    o.total_n = vec1<double>(o.ncells);
    o.total_p = vec1<double>(o.ncells);
    o.ammonia = vec1<double>(o.ncells);
}

void zep_set_weather(model_state& m, double dt) {
    vegso_env_record& r = *container(m).environment;
    auto give = [](vegso_given_value& v, double value) {
        v.given = 1;
        v.value = value;
    };
    r.day_of_year = m.day_of_year;
    r.period = dt;
    if (!has_weather(m)) {
        vegso_env_update(&r);
        return;
    }
    give(r.air_temperature, m.hmet_air_temp);
    give(r.pressure, m.hmet_pressure / 10.0);  // hPa to kPa
    give(r.solar_radiation, m.hmet_global_rad * kWattsToMegajoulesPerHour);
    give(r.cloud_cover, m.hmet_sky_cover / 10.0);
    give(r.wind_speed, m.hmet_wind_speed);
    // Dew point of the air's vapour pressure (hPa); none for dry air.
    const double vapour = m.hmet_rel_humidity / 100.0 * sat_vapor_pressure_kpa(m.hmet_air_temp + kKelvinOffset) * 10.0;
    r.dew_point.given = vapour > 0.0 ? 1 : 0;
    r.dew_point.value = vapour > 0.0 ? zep_dewpoint(vapour) : 0.0;
    vegso_env_update(&r);
}

void zep_overland_step(model_state& m, double dt) {
    zep_container& z = container(m);
    zep_overland& o = z.overland;
    const int first = m.first_nutrient_constituent;
    if (first < 1) return;
    const double seconds = dt * kSecondsPerDay;
    const double* h = m.h.data();
    const species_rows rows = overland_rows(m);
    double made[kNutrientSpecies] = {}, used[kNutrientSpecies] = {};
    aq_species_block b;
    aq_rate_cache cache;
    for (int c = 1; c <= o.ncells; ++c) {
        // The masses are dissolved in the water the transport left the cell
        // with, as the rain and the infiltration since have changed it.
        const double volume = m.contam_water[c] * o.cell_area;
        if (!(h[c] > kReactDepth) || !(volume > 0.0)) continue;
        b.depth = h[c];
        b.water_temperature = o.water_temp[c];
        b.dissolved_organic_carbon = o.doc[c];
        b.organic_carbon_fraction = o.foc[c];
        copy_in(b, rows, c, volume);
        const int bad = ZEPOverlandKinetics(b, *z.environment, z.aquatic.block(z.aquatic.overland_ids[c]), &cache);
        if (bad >= 0) {
            int row = 0, col = 0;
            cell_row_col(m, c, row, col);
            stop_on_negative("ZEPOverlandKinetics", b, bad,
                             format_text("overland cell %d (row %d, column %d)", c, row, col), m.time);
            return;
        }
        copy_out(b, rows, c, seconds, made, used);
        o.doc[c] = b.dissolved_organic_carbon;
        o.foc[c] = b.organic_carbon_fraction;
    }
    book_step(made, used, o.gained, o.lost,
              [&](int k, double in, double out) {
                  book(m, con_flow::ov_made, first + k, in);
                  book(m, con_flow::ov_used, first + k, out);
              });
}

void react_overland_nutrients(model_state& m) {
    if (!m.zep || !m.ov_con_trans || !clock_due(m.wq_next, m.time, m.time_tol)) return;
    const double dt = m.wq_next - m.wq_last;
    if (!(dt > 0.0)) return;
    zep_set_weather(m, dt);
    zep_overland_step(m, dt);
}

void react_soil_nutrients(model_state& m) {
    if (!m.zep || !m.soil_con_trans || m.ncontam <= 0 || m.soil_layer_count.empty() ||
        !clock_due(m.soil_con_next, m.time, m.time_tol))
        return;
    const double dt = (m.time - m.soil_con_last) * kSecondsPerDay;
    // The library's cells read the layers' moisture from this table.
    mat2<double>& theta = m.nutrient_grid.table;
    for (int k = 1; k <= m.ncells; ++k) constituent_layer_moistures(m, k, m.soil_layer_count[k], theta[k]);
    m.nutrient_grid.moisture_time = m.time;
    zep_soils_step(m, dt / kSecondsPerDay);
}

void zep_overland_totals(model_state& m) {
    zep_overland& o = container(m).overland;
    const int first = m.first_nutrient_constituent;
    if (first < 1) return;
    const auto mass = [&](int species, int c) { return m.contam_mass[static_cast<std::size_t>(first + species)][c]; };
    for (int c = 1; c <= o.ncells; ++c) {
        const auto of_cell = [&](int species) { return mass(species, c); };
        o.total_n[c] = species_sum(0.0, of_cell, in_nitrogen);
        o.total_p[c] = species_sum(0.0, of_cell, in_phosphorus);
        o.ammonia[c] = zep_unionised_ammonia(mass(aq_nh4, c), m.h[c] * o.cell_area, o.ka, o.h_ion,
                                             kOverlandMinAmmonium);
    }
}

void zep_streams_allocate(model_state& m) {
    zep_streams& st = container(m).streams;
    say(m, "Allocating memory for ZEP Streams...");
    st.nlinks = m.nlinks;
    st.stride = m.maxnodes + 1;
    const int n = st.index(m.nlinks, m.maxnodes);
    const double temperature = water_temperature(m);
    st.water_temp = vec1<double>(n);
    st.water_temp.fill(temperature);
    st.ka = zep_ammonia_dissociation(temperature);
    const aq_species_block initial;
    st.doc = vec1<double>(n);
    st.doc.fill(initial.dissolved_organic_carbon);
    st.foc = vec1<double>(n);
    st.foc.fill(initial.organic_carbon_fraction);
    st.dispersion = vec1<double>(n);
    st.dispersion.fill(m.chan_disp_coef);
    for (vec1<double>& c : st.init_conc) c = vec1<double>(n);
    say(m, "Done\n");
}

void zep_lakes_allocate(model_state& m) {
    zep_lakes& lk = container(m).lakes;
    say(m, "Allocating memory for ZEP Lakes...");
    lk.nlakes = m.nlakes;
    const double temperature = water_temperature(m);
    lk.water_temp = vec1<double>(m.nlakes);
    lk.water_temp.fill(temperature);
    lk.ka = zep_ammonia_dissociation(temperature);
    say(m, "Done\n");
}

void zep_streams_init(model_state& m) {
    zep_streams& st = container(m).streams;
    st.h_ion = std::pow(10.0, -m.project_options.chan_ph);
    const int n = st.water_temp.n();
    st.total_n = vec1<double>(n);
    st.total_kn = vec1<double>(n);
    st.total_p = vec1<double>(n);
    st.ammonia = vec1<double>(n);
}

void zep_lakes_init(model_state& m) {
    zep_lakes& lk = container(m).lakes;
    lk.h_ion = std::pow(10.0, -m.project_options.chan_ph);
    lk.total_n = vec1<double>(lk.nlakes);
    lk.total_kn = vec1<double>(lk.nlakes);
    lk.total_p = vec1<double>(lk.nlakes);
    lk.ammonia = vec1<double>(lk.nlakes);
}

void zep_streams_step(model_state& m, double dt) {
    zep_container& z = container(m);
    zep_streams& st = z.streams;
    const int first = m.first_nutrient_constituent;
    if (first < 1 || m.chan_mass.empty()) return;
    const double seconds = dt * kSecondsPerDay;
    const network_rows r = chan_rows_of(m);
    const species_rows rows = channel_rows(m);
    double made[kNutrientSpecies] = {}, used[kNutrientSpecies] = {};
    aq_species_block b;
    aq_rate_cache cache;
    for (int l = 1; l <= st.nlinks; ++l) {
        if (!link_is_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) {
            // The masses are dissolved in the water the channel constituents
            // last left the node with; a node without water keeps its masses
            // unreacted.
            const int row = r.node(j, l);
            const double volume = m.chan_water[row];
            if (!(volume >= kMinNodeArea * m.chan_dx[l])) continue;
            b.depth = m.yp[j][l] - m.bel[j][l];
            const int i = st.index(l, j);
            b.water_temperature = st.water_temp[i];
            b.dissolved_organic_carbon = st.doc[i];
            b.organic_carbon_fraction = st.foc[i];
            copy_in(b, rows, row, volume);
            const int bad = ZEPChannelKinetics(b, *z.environment, z.aquatic.block(z.aquatic.stream_ids[j][l]), &cache);
            if (bad >= 0) {
                stop_on_negative("ZEPChannelKinetics", b, bad, format_text("link %d, node %d", l, j), m.time);
                return;
            }
            copy_out(b, rows, row, seconds, made, used);
            st.doc[i] = b.dissolved_organic_carbon;
            st.foc[i] = b.organic_carbon_fraction;
        }
    }
    book_step(made, used, z.chan_gained, z.chan_lost,
              [&](int k, double in, double out) {
                  book(m, con_flow::chan_made, first + k, in);
                  book(m, con_flow::chan_used, first + k, out);
              });
}

void zep_lakes_step(model_state& m, double dt) {
    zep_container& z = container(m);
    zep_lakes& lk = z.lakes;
    const int first = m.first_nutrient_constituent;
    if (first < 1 || m.chan_mass.empty() || !m.chan_lakes_on) return;
    const double seconds = dt * kSecondsPerDay;
    const network_rows r = chan_rows_of(m);
    const species_rows rows = channel_rows(m);
    double made[kNutrientSpecies] = {}, used[kNutrientSpecies] = {};
    aq_species_block b;
    aq_rate_cache cache;
    for (int j = 1; j <= lk.nlakes; ++j) {
        const int link = m.lake2link[j];
        if (link < 1 || link > m.nlinks || !link_is_lake(m.ltype[link])) continue;
        const int row = r.lake(j);
        const double volume = m.chan_water[row];
        if (!(volume > 0.0)) continue;
        b.depth = m.lake_area[j] > 0.0 ? volume / m.lake_area[j] : 0.0;
        b.water_temperature = lk.water_temp[j];
        copy_in(b, rows, row, volume);
        const int bad = ZEPChannelKinetics(b, *z.environment, z.aquatic.block(z.aquatic.stream_ids[1][link]), &cache);
        if (bad >= 0) {
            stop_on_negative("ZEPChannelKinetics", b, bad, format_text("lake %d (link %d)", j, link), m.time);
            return;
        }
        copy_out(b, rows, row, seconds, made, used);
    }
    book_step(made, used, z.chan_gained, z.chan_lost,
              [&](int k, double in, double out) {
                  book(m, con_flow::lake_made, first + k, in);
                  book(m, con_flow::lake_used, first + k, out);
              });
}

void react_channel_nutrients(model_state& m) {
    if (!m.zep) return;
    zep_container& z = container(m);
    // The routing of this pass leaves its last time at the pass's time.
    if (z.streams.nlinks < 1 || !clock_due(m.chan_last, m.time, m.time_tol)) return;
    const double dt = z.chan_react_last >= 0.0 ? m.time - z.chan_react_last : m.chan_interval;
    z.chan_react_last = m.time;
    if (!(dt > 0.0)) return;
    zep_set_weather(m, dt);
    zep_streams_step(m, dt);
    if (run_stopped() || z.lakes.nlakes < 1) return;
    zep_lakes_step(m, dt);
}

void zep_streams_totals(model_state& m) {
    zep_streams& st = container(m).streams;
    if (m.first_nutrient_constituent < 1 || m.chan_mass.empty()) return;
    const network_rows r = chan_rows_of(m);
    const species_rows s = channel_rows(m);
    for (int l = 1; l <= st.nlinks; ++l) {
        for (int j = 1; j <= m.nx[l]; ++j) {
            const int i = st.index(l, j), row = r.node(j, l);
            const auto of_row = [&](int species) { return s.mass[species][row]; };
            st.total_kn[i] = species_sum(0.0, of_row, in_kjeldahl);
            st.total_n[i] = species_sum(st.total_kn[i], of_row, in_other_nitrogen);
            st.total_p[i] = species_sum(0.0, of_row, in_phosphorus);
            st.ammonia[i] = zep_unionised_ammonia(s.mass[aq_nh4][row], m.area[j][l] * m.chan_dx[l], st.ka, st.h_ion,
                                                  kStreamMinAmmonium);
        }
    }
}

void zep_outlet_values(model_state& m) {
    zep_container& z = container(m);
    z.outlet_conc.fill(0.0);
    z.outlet_mass.fill(0.0);
    const int first = m.first_nutrient_constituent;
    const int l = m.nlinks;
    if (first < 1 || m.chan_mass.empty() || l < 1) return;
    const network_rows r = chan_rows_of(m);
    const int lake = lake_holding_link(m, l);
    const int row = lake ? r.lake(lake) : m.nx[l] >= 1 ? r.node(m.nx[l], l) : 0;
    if (row < 1 || row > m.chan_rows) return;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        z.outlet_conc[static_cast<std::size_t>(k)] = m.chan_conc[first + k][row];
        z.outlet_mass[static_cast<std::size_t>(k)] = m.chan_mass[first + k][row];
    }
}

void zep_lakes_totals(model_state& m) {
    zep_lakes& lk = container(m).lakes;
    if (m.first_nutrient_constituent < 1 || m.chan_mass.empty() || !m.chan_lakes_on) return;
    const network_rows r = chan_rows_of(m);
    const species_rows s = channel_rows(m);
    for (int j = 1; j <= lk.nlakes; ++j) {
        const int row = r.lake(j);
        const auto of_row = [&](int species) { return s.mass[species][row]; };
        lk.total_kn[j] = species_sum(0.0, of_row, in_kjeldahl);
        lk.total_n[j] = species_sum(lk.total_kn[j], of_row, in_other_nitrogen);
        lk.total_p[j] = species_sum(0.0, of_row, in_phosphorus);
        lk.ammonia[j] = zep_unionised_ammonia(s.mass[aq_nh4][row], m.lake_volume[j], lk.ka, lk.h_ion,
                                              kOverlandMinAmmonium);
    }
}

void load_stream_index_map(model_state& m) { read_aquatic_stream_ids(container(m).aquatic, m); }

}  // namespace kesta
