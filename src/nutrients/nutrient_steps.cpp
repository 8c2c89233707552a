#include "nutrients/nutrient_steps.hpp"

#include <cmath>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"
#include "input/reader_support.hpp"
#include "model/model_state.hpp"
#include "nutrients/source/aquatic_kinetics.hpp"
#include "subsurface/evapotranspiration.hpp"

namespace kesta {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kKelvinOffset = 273.15;
// Cells shallower than this (m) are not reacted.
constexpr double kReactDepth = 1e-5;
// Molar ammonium (mol/m3) below which a cell holds no un-ionised ammonia.
constexpr double kOverlandMinAmmonium = 1e-7;
// The hourly global radiation (W/m2) as the library's radiation over an
// hour (MJ/m2).
constexpr double kWattsToMegajoulesPerHour = 0.0036;

zep_container& container(model_state& m) { return *m.zep; }

bool has_weather(const model_state& m) { return m.hmet_kvl_given || m.hmet_samson_given || m.hmet_surfaways_given; }

void size_species(zep_species_arrays& s, int n) {
    const aq_species_record initial;
    s.conc = vec1<double>(n);
    s.mass = vec1<double>(n);
    s.change = vec1<double>(n);
    s.dissolved_fraction = vec1<double>(n);
    s.dissolved_fraction.fill(initial.dissolved_fraction);
    s.bound_fraction = vec1<double>(n);
    s.bound_fraction.fill(initial.bound_fraction);
    s.fraction_sum = vec1<double>(n);
    s.fraction_sum.fill(initial.fraction_sum);
}

}  // namespace

zep_container::~zep_container() { vegso_free_record(environment); }

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
    o.grid_size = m.gridsize;
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
    for (zep_species_arrays& s : o.species) size_species(s, n);
    o.ka = zep_ammonia_dissociation(temperature);
    say(m, "Done\n");
}

void zep_overland_init(model_state& m) {
    zep_overland& o = container(m).overland;
    warn("NUTRIENTS: the nutrient species react in the overland water where they stand; this version does not "
         "carry them with the flowing water, into the soil or the channels, and the rain brings none.\n");
    if (!has_weather(m))
        warn("NUTRIENTS without a hydrometeorological file (HMET_KVL, HMET_SAMSON or HMET_SURFAWAYS): the algae "
             "in the water get no light and do not grow.\n");
    o.h_ion = std::pow(10.0, -m.project_options.chan_ph);
    o.total_n = vec1<double>(o.ncells);
    o.total_p = vec1<double>(o.ncells);
    o.ammonia = vec1<double>(o.ncells);
}

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
    const double seconds = dt * kSecondsPerDay;
    const double* h = m.h.data();
    aq_species_block b;
    for (int c = 1; c <= o.ncells; ++c) {
        if (!(h[c] > kReactDepth)) continue;
        b.depth = h[c];
        b.volume = h[c] * o.cell_area;
        b.water_temperature = o.water_temp[c];
        b.dissolved_organic_carbon = o.doc[c];
        b.organic_carbon_fraction = o.foc[c];
        for (int k = 0; k < kNutrientSpecies; ++k) {
            const zep_species_arrays& s = o.species[k];
            aq_species_record& r = b.species[k];
            r.mass = s.mass[c];
            r.conc = s.mass[c] / b.volume;
            r.dissolved_fraction = s.dissolved_fraction[c];
            r.bound_fraction = s.bound_fraction[c];
            r.fraction_sum = s.fraction_sum[c];
        }
        const int bad = ZEPOverlandKinetics(b, *z.environment, z.aquatic.block(z.aquatic.overland_ids[c]));
        if (bad >= 0) {
            int row = 0, col = 0;
            cell_row_col(m, c, row, col);
            store_refusal(zep_negative_message("ZEPOverlandKinetics", bad) +
                          format_text("  overland cell %d (row %d, column %d): %g g/m3 at time %.6f\n", c, row, col,
                                      b.species[bad].conc, m.time) +
                          "Execution terminated!\n");
            return;
        }
        for (int k = 0; k < kNutrientSpecies; ++k) {
            zep_species_arrays& s = o.species[k];
            const double change = b.species[k].change;
            // A loss takes at most the mass the cell holds.
            double dm = change * seconds;
            if (dm < -s.mass[c]) dm = -s.mass[c];
            if (dm > 0.0)
                o.gained += dm;
            else
                o.lost -= dm;
            s.change[c] = change;
            s.mass[c] += dm;
            s.conc[c] = s.mass[c] / b.volume;
        }
        o.doc[c] = b.dissolved_organic_carbon;
        o.foc[c] = b.organic_carbon_fraction;
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
    const zep_species_arrays* s = o.species;
    for (int c = 1; c <= o.ncells; ++c) {
        o.total_n[c] = s[aq_no2].mass[c] + s[aq_no3].mass[c] + s[aq_nh4].mass[c] + s[aq_on].mass[c];
        o.total_p[c] = s[aq_op].mass[c] + s[aq_dp].mass[c];
        o.ammonia[c] = zep_unionised_ammonia(s[aq_nh4].mass[c], m.h[c] * o.cell_area, o.ka, o.h_ion,
                                             kOverlandMinAmmonium);
    }
}

void zep_streams_allocate(model_state&) {}
void zep_lakes_allocate(model_state&) {}
void zep_streams_init(model_state&) {}
void zep_lakes_init(model_state&) {}

void load_stream_index_map(model_state& m) { read_aquatic_stream_ids(container(m).aquatic, m); }

void zep_soils_set_moisture(model_state&, int) {}
void zep_soils_step(model_state&) {}

}  // namespace kesta
