#include "nutrients/source/aquatic_kinetics.hpp"

#include <algorithm>
#include <cmath>

// Algae and the nitrogen, phosphorus and oxygen cycles of a well-mixed water
// column, all rates first order per day and corrected to the water
// temperature by rate x theta^(T - 20). Algae grow at the maximum rate
// limited by light (the depth-averaged light over a column whose extinction
// grows with the chlorophyll the algae carry) and by the scarcer of
// nitrogen and phosphorus; they respire into organic nitrogen and
// phosphorus and may settle. Organic nitrogen hydrolyses to ammonium,
// ammonium oxidises to nitrite and nitrite to nitrate, both slowed when
// oxygen runs short; organic phosphorus decays to dissolved phosphorus.
// Oxygen follows reaeration towards saturation, algal growth and
// respiration, CBOD decay, the sediment's demand and nitrification.

namespace {

constexpr double kFeetPerMetre = 3.28;   // the light and depth terms take depth in feet
constexpr double kSecondsPerDay = 86400.0;
// Light: the radiation value of the environment (MJ/m2 over an hour) to the
// light units of the half-saturation, over a fixed photoperiod (h).
constexpr double kRadiationToLight = 2.0636 * 3.686676;
constexpr float kPhotoperiod = 12.0f;
// Fixed constants of growth and light (the rate block's entries 44 to 50
// are stored but not used): half-saturations of light, nitrogen and
// phosphorus, the algae's preference for ammonium, and the background,
// linear and non-linear algal parts of the light extinction.
constexpr double kLightHalfSaturation = 0.02;
constexpr double kNitrogenHalfSaturation = 0.01;
constexpr double kPhosphorusHalfSaturation = 0.01;
constexpr double kAmmoniumPreference = 0.0;
constexpr double kExtinctionBackground = 0.01;
constexpr double kExtinctionLinear = 0.002;
constexpr double kExtinctionNonLinear = 0.0165;
constexpr double kExtinctionExponent = 0.66667;
// Nitrate below this (g/m3) counts as absent: the algae take ammonium only.
constexpr double kNitrateAbsent = 1.105e-7;
// Oxygen inhibition of nitrification: 1 - exp(-k O).
constexpr double kNitrificationOxygen = 0.6;

// The species' names in the kinetics' messages.
struct species_row {
    aq_species_index species;
    const char* message;
};
constexpr species_row kSpeciesRows[] = {{aq_no2, "aquatic_NO2"}, {aq_no3, "aquatic_NO3"},   {aq_nh4, "aquatic_NH4"},
                                        {aq_on, "aquatic_ON"},   {aq_op, "aquatic_OP"},     {aq_dp, "aquatic_DP"},
                                        {aq_alg, "aquatic_Alg"}, {aq_cbod, "aquatic_CBOD"}, {aq_do, "aquatic_DO"}};
constexpr bool species_rows_in_order() {
    for (int i = 0; i < aq_species_count; ++i)
        if (kSpeciesRows[i].species != i) return false;
    return true;
}
static_assert(sizeof kSpeciesRows / sizeof kSpeciesRows[0] == aq_species_count && species_rows_in_order(),
              "one row per species, row i holding species i");
// Order in which negative concentrations are looked for.
constexpr int kCheckOrder[aq_species_count] = {aq_alg, aq_on, aq_nh4, aq_no2, aq_no3, aq_op, aq_dp, aq_cbod, aq_do};

// The first species whose concentration is negative beyond round-off, or -1;
// round-off negatives become 0.
int negative_species(aq_species_block& b) {
    for (int s : kCheckOrder) {
        double& c = b.species[s].conc;
        if (c >= 0.0) continue;
        if (c > -aq_roundoff_conc) {
            c = 0.0;
            continue;
        }
        return s;
    }
    return -1;
}

int kinetics(aq_species_block& b, const vegso_env_record& env, const aq_rate_block& r, aq_rate_cache* given) {
    const int bad = negative_species(b);
    if (bad >= 0) return bad;
    aq_species_record* sp = b.species;
    if (!(b.min_depth < b.depth)) {
        for (int s = 0; s < aq_species_count; ++s) sp[s].change = 0.0;
        return -1;
    }
    const double T = b.water_temperature;
    aq_rate_cache local;
    aq_rate_cache& c = given ? *given : local;
    if (c.rates != &r || c.temperature != T) zep_correct_rates(r, T, c);
    auto rate = [&c](aq_rate_pair p) { return c.corrected[p]; };
    const double A = sp[aq_alg].conc, L = sp[aq_cbod].conc, O = sp[aq_do].conc;
    const double N1 = sp[aq_nh4].conc, N2 = sp[aq_no2].conc, N3 = sp[aq_no3].conc, N4 = sp[aq_on].conc;
    const double P1 = sp[aq_op].conc, P2 = sp[aq_dp].conc;
    const double d = b.depth * kFeetPerMetre;

    // Light over the depth and a day.
    const double I0 = env.solar_radiation.value * kRadiationToLight;
    const double I = I0 / kPhotoperiod;
    const double chl = r.pair[aq_chlorophyll_ratio].rate * A;
    const double k = kExtinctionBackground + kExtinctionLinear * chl + kExtinctionNonLinear * std::pow(chl, kExtinctionExponent);
    double FL = (1.0 / (k * d)) *
                std::log((kLightHalfSaturation + I) / (kLightHalfSaturation + I * std::exp(-k * d)));
    FL = FL * (kPhotoperiod / 24.0) * 0.92;

    const double FN = (N1 + N3) / (N1 + N3 + kNitrogenHalfSaturation);
    const double FP = P2 / (P2 + kPhosphorusHalfSaturation);
    const double growth_max = r.pair[aq_algal_growth_max].rate;
    const double mu = std::min(growth_max * FL * std::min(FN, FP), growth_max);
    const double muT = mu * c.growth_factor;

    const double cordo = 1.0 - std::exp(-kNitrificationOxygen * O);
    const double PN = kAmmoniumPreference;
    const double F = (1.0 - PN) * N3 >= kNitrateAbsent ? PN * N1 / (PN * N1 + (1.0 - PN) * N3) : 1.0;

    const double Osat = c.oxygen_saturation;
    const double O_reaer = std::min(O, Osat);  // above saturation: no reaeration, never negative

    const double resp = rate(aq_algal_respiration), settle = rate(aq_algal_settling);
    const double deox = rate(aq_cbod_deoxygenation);
    const double nh4_ox = rate(aq_nh4_oxidation) * cordo, no2_ox = rate(aq_no2_oxidation) * cordo;
    const double hydrolysis = rate(aq_on_hydrolysis), op_decay = rate(aq_op_decay);
    const double n_fraction = rate(aq_algal_n_fraction), p_fraction = rate(aq_algal_p_fraction);

    double dc[aq_species_count];
    dc[aq_alg] = muT * A - resp * A - settle / d * A;
    dc[aq_cbod] = -deox * L - rate(aq_cbod_settling) * L;
    dc[aq_do] = rate(aq_reaeration) * (Osat - O_reaer) + rate(aq_o2_per_growth) * muT * A -
                rate(aq_o2_per_respiration) * resp * A - deox * L - rate(aq_sediment_o2_demand) / d -
                rate(aq_o2_per_nh4) * nh4_ox * N1 - rate(aq_o2_per_no2) * no2_ox * N2;
    dc[aq_on] = r.pair[aq_algal_n_fraction].rate * resp * A - hydrolysis * N4 - rate(aq_on_settling) * N4;
    // Algal nitrogen uptake: the share F from ammonium, the rest from nitrate.
    dc[aq_nh4] = hydrolysis * N4 - nh4_ox * N1 + rate(aq_benthic_nh4) / d - n_fraction * F * muT * A;
    dc[aq_no2] = nh4_ox * N1 - no2_ox * N2;
    dc[aq_no3] = no2_ox * N2 - n_fraction * (1.0 - F) * muT * A;
    dc[aq_op] = p_fraction * resp * A - op_decay * P1 - rate(aq_op_settling) * P1;
    dc[aq_dp] = op_decay * P1 + rate(aq_benthic_dp) / d - p_fraction * muT * A;

    for (int s = 0; s < aq_species_count; ++s) sp[s].change = dc[s] * b.volume / kSecondsPerDay;
    return -1;
}

}  // namespace

const char* aq_species_message_name(int species) {
    return species >= 0 && species < aq_species_count ? kSpeciesRows[species].message : "";
}

aq_rate_block::aq_rate_block() {
    for (const aq_rate_row& row : aq_rate_rows) pair[row.pair] = {row.rate, row.theta};
}

double zep_theta_correct(const aq_rate_block& rates, aq_rate_pair pair, double temperature) {
    return rates.pair[pair].rate * std::pow(rates.pair[pair].theta, temperature - 20.0);
}

double zep_oxygen_saturation(double temperature) {
    const double tk = temperature + 273.15;
    const double ln_osat = -139.3441 + 1.575701e5 / tk - 6.642308e7 / (tk * tk) + 1.2438e10 / (tk * tk * tk) -
                           8.621949e11 / (tk * tk * tk * tk);
    return std::exp(ln_osat);
}

double zep_ammonia_dissociation(double temperature) {
    return std::pow(10.0, -(0.09018 + 2729.92 / (temperature + 273.15)));
}

double zep_unionised_ammonia(double nh4_mass, double volume, double ka, double h_ion, double min_molar) {
    constexpr double kMinVolume = 0.0001;  // m3
    constexpr double kAmmoniumMolarMass = 18.039, kAmmoniaMolarMass = 17.031;  // g/mol
    if (!(volume >= kMinVolume)) return 0.0;
    const double molar = nh4_mass / kAmmoniumMolarMass / volume;
    if (!(molar >= min_molar)) return 0.0;
    return ka * molar / h_ion * kAmmoniaMolarMass * volume;
}

double zep_dewpoint(double vapour_pressure) {
    const double l = std::log(vapour_pressure);
    return (l - 1.81) / (0.0805 - 0.00421 * l);
}

void zep_correct_rates(const aq_rate_block& rates, double temperature, aq_rate_cache& cache) {
    for (const aq_rate_row& row : aq_rate_rows)
        cache.corrected[row.pair] = zep_theta_correct(rates, row.pair, temperature);
    cache.growth_factor = std::pow(rates.pair[aq_algal_growth_max].theta, temperature - 20.0);
    cache.oxygen_saturation = zep_oxygen_saturation(temperature);
    cache.rates = &rates;
    cache.temperature = temperature;
}

int ZEPOverlandKinetics(aq_species_block& block, const vegso_env_record& environment, const aq_rate_block& rates,
                        aq_rate_cache* cache) {
    return kinetics(block, environment, rates, cache);
}

int ZEPChannelKinetics(aq_species_block& block, const vegso_env_record& environment, const aq_rate_block& rates,
                       aq_rate_cache* cache) {
    return kinetics(block, environment, rates, cache);
}

std::string zep_negative_message(const char* entry, int species) {
    return std::string(entry) + " ERROR: aqSpecies." + aq_species_message_name(species) + ".conc is negative!\n";
}
