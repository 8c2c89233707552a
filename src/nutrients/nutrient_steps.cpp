#include "nutrients/nutrient_steps.hpp"

#include <cmath>

#include "channel/link_types.hpp"
#include "core/error_record.hpp"
#include "core/interval_clock.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/reader_support.hpp"
#include "model/model_state.hpp"
#include "nutrients/source/aquatic_kinetics.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "transport/constituent_books.hpp"

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

bool has_weather(const model_state& m) { return m.hmet_kvl_given || m.hmet_samson_given || m.hmet_surfaways_given; }

void size_species(zep_species_arrays& s, int n) {
    s.conc = vec1<double>(n);
    s.mass = vec1<double>(n);
}

// The place i of a domain's species into the block: the concentrations of
// the masses in `volume` m3.
void copy_in(aq_species_block& b, const zep_species_arrays* species, int i, double volume) {
    b.volume = volume;
    for (int k = 0; k < kNutrientSpecies; ++k) {
        const zep_species_arrays& s = species[k];
        aq_species_record& r = b.species[k];
        r.mass = s.mass[i];
        r.conc = s.mass[i] / volume;
    }
}

// The block's rates over `seconds` applied to place i: a loss takes at most
// the mass the place holds. What was made and used adds to `gained` and
// `lost`.
void copy_out(const aq_species_block& b, zep_species_arrays* species, int i, double seconds, double& gained,
              double& lost) {
    for (int k = 0; k < kNutrientSpecies; ++k) {
        zep_species_arrays& s = species[k];
        const aq_species_record& r = b.species[k];
        double dm = r.change * seconds;
        if (dm < -s.mass[i]) dm = -s.mass[i];
        if (dm > 0.0)
            gained += dm;
        else
            lost -= dm;
        s.mass[i] += dm;
        s.conc[i] = s.mass[i] / b.volume;
    }
}

// The diagnostics of a negative concentration at `where`, and the run's stop.
void stop_on_negative(const char* entry, const aq_species_block& b, int species, const std::string& where,
                      double time) {
    store_refusal(zep_negative_message(entry, species) +
                  format_text("  %s: %g g/m3 at time %.6f\n", where.c_str(), b.species[species].conc, time) +
                  "Execution terminated!\n");
}

}  // namespace

const char* zep_species_name(int species) {
    static const char* const kNames[kNutrientSpecies] = {
        "Nitrite (NO2-)", "Nitrate (NO3-)", "Ammonium (NH4+)", "Organic Nitrogen (Organic N)",
        "Organic Phosphorous (Organic P)", "Dissolved Phosphorous (Dissolved P)", "Algae",
        "Carbonaceous Biochemical Oxygen Demand", "Dissolved Oxygen (O2)"};
    return species >= 0 && species < kNutrientSpecies ? kNames[species] : "";
}

zep_container::~zep_container() { vegso_free_record(environment); }

bool zep_transport_holds(model_state& m) {
    const char* refused = nullptr;
    if (m.chan_routing)
        refused = "channel routing: the water of the stream cells carries their nutrient species into the channels, "
                  "where this version does not carry them";
    else if (m.overland_lake_map_given)
        refused = "OVERLAND_LAKE_MAP: an overland lake holds its water as a level that the constituent transport "
                  "does not follow";
    else if (m.ov_boundary)
        refused = "OV_BOUNDARY: the boundary cells gain and lose water without its nutrient species";
    else if (m.project_options.ov_pump_given)
        refused = "OV_PUMP: the pumps move water without its nutrient species";
    else if (m.storm_sewer_given)
        refused = "STORM_SEWER: the drains exchange water with the cells without its nutrient species";
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
    z.aquatic.file_name = z.aquatic_env_file;
    read_aquatic_env(z.aquatic, m);
}

void zep_overland_allocate(model_state& m) {
    zep_container& z = container(m);
    zep_overland& o = z.overland;
    say(m, "Allocating memory for overland ZEP...");
    const int n = m.ncells;
    o.ncells = n;
    o.cell_area = m.gridsize * m.gridsize;
    const double temperature = m.project_options.water_temp;
    o.water_temp = vec1<double>(n);
    o.water_temp.fill(temperature);
    const aq_species_block initial;
    o.doc = vec1<double>(n);
    o.doc.fill(initial.dissolved_organic_carbon);
    o.foc = vec1<double>(n);
    o.foc.fill(initial.organic_carbon_fraction);
    o.dispersion = vec1<double>(n);
    o.ka = zep_ammonia_dissociation(temperature);
    say(m, "Done\n");
}

void zep_overland_init(model_state& m) {
    zep_overland& o = container(m).overland;
    warn("NUTRIENTS: the nutrient species that the overland water carries into the ground leave the model there: "
         "this version does not carry them in the soil.\n");
    if (!has_weather(m))
        warn("NUTRIENTS without a hydrometeorological file (HMET_KVL, HMET_SAMSON or HMET_SURFAWAYS): the algae "
             "in the water get no light and do not grow.\n");
    o.h_ion = std::pow(10.0, -m.project_options.chan_ph);
    o.total_n = vec1<double>(o.ncells);
    o.total_p = vec1<double>(o.ncells);
    o.ammonia = vec1<double>(o.ncells);
}

// The soil side of the overland-soil exchange is not part of this version.
void zep_overland_bind(model_state&) {}

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
    double* mass[kNutrientSpecies];
    double* conc[kNutrientSpecies];
    double made[kNutrientSpecies] = {}, used[kNutrientSpecies] = {};
    for (int k = 0; k < kNutrientSpecies; ++k) {
        mass[k] = m.contam_mass[static_cast<std::size_t>(first + k)].data();
        conc[k] = m.contam_conc[static_cast<std::size_t>(first + k)].data();
    }
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
        b.volume = volume;
        for (int k = 0; k < kNutrientSpecies; ++k) {
            b.species[k].mass = mass[k][c];
            b.species[k].conc = mass[k][c] / volume;
        }
        const int bad = ZEPOverlandKinetics(b, *z.environment, z.aquatic.block(z.aquatic.overland_ids[c]), &cache);
        if (bad >= 0) {
            int row = 0, col = 0;
            cell_row_col(m, c, row, col);
            stop_on_negative("ZEPOverlandKinetics", b, bad,
                             format_text("overland cell %d (row %d, column %d)", c, row, col), m.time);
            return;
        }
        // A loss takes at most the mass the cell holds.
        for (int k = 0; k < kNutrientSpecies; ++k) {
            double dm = b.species[k].change * seconds;
            if (dm < -mass[k][c]) dm = -mass[k][c];
            if (dm > 0.0)
                made[k] += dm;
            else
                used[k] -= dm;
            mass[k][c] += dm;
            conc[k][c] = mass[k][c] / volume;
        }
        o.doc[c] = b.dissolved_organic_carbon;
        o.foc[c] = b.organic_carbon_fraction;
    }
    for (int k = 0; k < kNutrientSpecies; ++k) {
        o.gained += made[k];
        o.lost += used[k];
        if (made[k] > 0.0 || used[k] > 0.0) book_ov_reaction(m, first + k, made[k], used[k]);
    }
}

void react_overland_nutrients(model_state& m) {
    const double dt = m.wq_next - m.wq_last;
    if (!(dt > 0.0)) return;
    zep_set_weather(m, dt);
    zep_overland_step(m, dt);
}

void zep_overland_totals(model_state& m) {
    zep_overland& o = container(m).overland;
    const int first = m.first_nutrient_constituent;
    if (first < 1) return;
    const auto mass = [&](int species, int c) { return m.contam_mass[static_cast<std::size_t>(first + species)][c]; };
    for (int c = 1; c <= o.ncells; ++c) {
        o.total_n[c] = mass(aq_no2, c) + mass(aq_no3, c) + mass(aq_nh4, c) + mass(aq_on, c);
        o.total_p[c] = mass(aq_op, c) + mass(aq_dp, c);
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
    const double temperature = m.project_options.water_temp;
    st.water_temp = vec1<double>(n);
    st.water_temp.fill(temperature);
    st.ka = zep_ammonia_dissociation(temperature);
    for (zep_species_arrays& s : st.species) size_species(s, n);
    say(m, "Done\n");
}

void zep_lakes_allocate(model_state& m) {
    zep_lakes& lk = container(m).lakes;
    say(m, "Allocating memory for ZEP Lakes...");
    lk.nlakes = m.nlakes;
    const double temperature = m.project_options.water_temp;
    lk.water_temp = vec1<double>(m.nlakes);
    lk.water_temp.fill(temperature);
    lk.ka = zep_ammonia_dissociation(temperature);
    for (zep_species_arrays& s : lk.species) size_species(s, m.nlakes);
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
    const double seconds = dt * kSecondsPerDay;
    aq_species_block b;
    aq_rate_cache cache;
    for (int l = 1; l <= st.nlinks; ++l) {
        if (!link_is_channel(m.ltype[l])) continue;
        for (int j = 1; j <= m.nx[l]; ++j) {
            // A node without water keeps its masses unreacted.
            const double area = m.area[j][l];
            if (!(area >= kMinNodeArea)) continue;
            const int i = st.index(l, j);
            b.depth = m.yp[j][l] - m.bel[j][l];
            b.water_temperature = st.water_temp[i];
            copy_in(b, st.species, i, area * m.chan_dx[l]);
            const int bad = ZEPChannelKinetics(b, *z.environment, z.aquatic.block(z.aquatic.stream_ids[j][l]), &cache);
            if (bad >= 0) {
                stop_on_negative("ZEPChannelKinetics", b, bad, format_text("link %d, node %d", l, j), m.time);
                return;
            }
            copy_out(b, st.species, i, seconds, z.chan_gained, z.chan_lost);
        }
    }
}

void zep_lakes_step(model_state& m, double dt) {
    zep_container& z = container(m);
    zep_lakes& lk = z.lakes;
    const double seconds = dt * kSecondsPerDay;
    aq_species_block b;
    aq_rate_cache cache;
    for (int j = 1; j <= lk.nlakes; ++j) {
        const int link = m.lake2link[j];
        if (link < 1 || link > m.nlinks || !link_is_lake(m.ltype[link])) continue;
        const double volume = m.lake_volume[j];
        if (!(volume > 0.0)) continue;
        b.depth = m.lake_area[j] > 0.0 ? volume / m.lake_area[j] : 0.0;
        b.water_temperature = lk.water_temp[j];
        copy_in(b, lk.species, j, volume);
        const int bad = ZEPChannelKinetics(b, *z.environment, z.aquatic.block(z.aquatic.stream_ids[1][link]), &cache);
        if (bad >= 0) {
            stop_on_negative("ZEPChannelKinetics", b, bad, format_text("lake %d (link %d)", j, link), m.time);
            return;
        }
        copy_out(b, lk.species, j, seconds, z.chan_gained, z.chan_lost);
    }
}

void react_channel_nutrients(model_state& m) {
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
    const zep_species_arrays* s = st.species;
    for (int l = 1; l <= st.nlinks; ++l) {
        for (int j = 1; j <= m.nx[l]; ++j) {
            const int i = st.index(l, j);
            st.total_kn[i] = s[aq_nh4].mass[i] + s[aq_on].mass[i];
            st.total_n[i] = st.total_kn[i] + s[aq_no2].mass[i] + s[aq_no3].mass[i];
            st.total_p[i] = s[aq_op].mass[i] + s[aq_dp].mass[i];
            st.ammonia[i] = zep_unionised_ammonia(s[aq_nh4].mass[i], m.area[j][l] * m.chan_dx[l], st.ka, st.h_ion,
                                                  kStreamMinAmmonium);
        }
    }
}

void zep_lakes_totals(model_state& m) {
    zep_lakes& lk = container(m).lakes;
    const zep_species_arrays* s = lk.species;
    for (int j = 1; j <= lk.nlakes; ++j) {
        lk.total_kn[j] = s[aq_nh4].mass[j] + s[aq_on].mass[j];
        lk.total_n[j] = lk.total_kn[j] + s[aq_no2].mass[j] + s[aq_no3].mass[j];
        lk.total_p[j] = s[aq_op].mass[j] + s[aq_dp].mass[j];
        lk.ammonia[j] = zep_unionised_ammonia(s[aq_nh4].mass[j], m.lake_volume[j], lk.ka, lk.h_ion,
                                              kOverlandMinAmmonium);
    }
}

void load_stream_index_map(model_state& m) { read_aquatic_stream_ids(container(m).aquatic, m); }

void zep_soils_set_moisture(model_state&, int) {}
void zep_soils_step(model_state&) {}

}  // namespace kesta
