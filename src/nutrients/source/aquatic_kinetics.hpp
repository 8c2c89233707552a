// Water-column kinetics of the nine aquatic nutrient species in one water
// body (an overland cell, a channel node or a lake): from the body's
// concentrations, water temperature, depth and volume and one block of rate
// constants, the mass rate at which each species is made or used. The
// kinetics move no mass and change no concentration; the caller applies the
// rates. Part of the nutrient library: it includes nothing of the model.
//
// Units: concentrations g/m3 (mg/L), masses g, depths m, volumes m3,
// temperatures °C, rate constants per day (the light and the settling and
// bed terms take the depth in feet); the rates written are g/s.
#pragma once

#include <string>

#include "nutrients/source/vegso_interface.hpp"

// Species order of every block, table and output.
enum aq_species_index : int {
    aq_no2 = 0,
    aq_no3 = 1,
    aq_nh4 = 2,
    aq_on = 3,   // organic nitrogen
    aq_op = 4,   // organic phosphorus
    aq_dp = 5,   // dissolved phosphorus
    aq_alg = 6,  // algae
    aq_cbod = 7,
    aq_do = 8,   // dissolved oxygen
    aq_species_count = 9
};

// The name of a species in the kinetics' messages ("aquatic_NO2" ...).
const char* aq_species_message_name(int species);

struct aq_species_record {
    double conc = 0.0;    // g/m3
    double mass = 0.0;    // g, carried for the caller
    double change = 0.0;  // g/s: what the kinetics make (+) or use (-)
};

struct aq_species_block {
    double water_temperature = 0.0;  // °C
    double depth = 0.0;              // m
    double min_depth = 0.01;         // m: the kinetics run only while depth exceeds it
    double volume = 0.0;             // m3
    aq_species_record species[aq_species_count];
    // Carried for the caller, not used by the kinetics.
    double dissolved_organic_carbon = 0.1;
    double organic_carbon_fraction = 1.0;
};

// Rate constants of one aquatic environment id: named (rate, theta) pairs,
// a rate used with a temperature correction rate x theta^(T - 20), and
// eight values stored but not used (the kinetics keep their own fixed
// values for them).
enum aq_rate_pair : int {
    aq_chlorophyll_ratio = 0,  // chlorophyll per unit of algae
    aq_algal_n_fraction,       // nitrogen fraction of algal biomass
    aq_algal_p_fraction,       // phosphorus fraction of algal biomass
    aq_o2_per_growth,
    aq_o2_per_respiration,
    aq_o2_per_nh4,             // oxygen used per unit of ammonium oxidised
    aq_o2_per_no2,             // oxygen used per unit of nitrite oxidised
    aq_nh4_oxidation,          // per day
    aq_no2_oxidation,
    aq_on_hydrolysis,
    aq_op_decay,
    aq_cbod_deoxygenation,
    aq_reaeration,
    aq_cbod_settling,
    aq_sediment_o2_demand,     // g/ft2/day (over the depth in feet)
    aq_algal_growth_max,
    aq_algal_respiration,
    aq_algal_settling,         // ft/day
    aq_benthic_dp,             // g/ft2/day
    aq_benthic_nh4,            // g/ft2/day
    aq_on_settling,
    aq_op_settling,
    aq_rate_pair_count
};
constexpr int aq_unused_rate_count = 8;

// Which values a rate can take: the ratios, the rates of the losses, the
// growth and the reaeration are 0 or more; the benthic sources may be
// sinks. Every theta is above 0 (a theta of 0 or less has no power
// theta^(T - 20)).
enum class aq_rate_rule { any, not_negative };

struct aq_rate_row {
    aq_rate_pair pair;
    const char* name;  // in messages ("the theta of the <name>" for its theta)
    aq_rate_rule rule;
    double rate;   // the default
    double theta;  // the default
};

inline constexpr aq_rate_row aq_rate_rows[] = {
    {aq_chlorophyll_ratio, "algae to chlorophyll ratio", aq_rate_rule::not_negative, 10.0, 1.0},
    {aq_algal_n_fraction, "nitrogen fraction of algae", aq_rate_rule::not_negative, 0.07, 1.0},
    {aq_algal_p_fraction, "phosphorus fraction of algae", aq_rate_rule::not_negative, 0.01, 1.047},
    {aq_o2_per_growth, "oxygen per algal growth", aq_rate_rule::not_negative, 1.4, 1.0},
    {aq_o2_per_respiration, "oxygen per algal respiration", aq_rate_rule::not_negative, 1.6, 1.0},
    {aq_o2_per_nh4, "oxygen per ammonium oxidised", aq_rate_rule::not_negative, 3.0, 1.0},
    {aq_o2_per_no2, "oxygen per nitrite oxidised", aq_rate_rule::not_negative, 1.0, 1.0},
    {aq_nh4_oxidation, "ammonium oxidation rate", aq_rate_rule::not_negative, 0.1, 1.083},
    {aq_no2_oxidation, "nitrite oxidation rate", aq_rate_rule::not_negative, 0.2, 1.047},
    {aq_on_hydrolysis, "organic nitrogen hydrolysis rate", aq_rate_rule::not_negative, 0.2, 1.047},
    {aq_op_decay, "organic phosphorus decay rate", aq_rate_rule::not_negative, 0.01, 1.047},
    {aq_cbod_deoxygenation, "CBOD decay rate", aq_rate_rule::not_negative, 0.02, 1.047},
    {aq_reaeration, "reaeration rate", aq_rate_rule::not_negative, 10.0, 1.0159},
    {aq_cbod_settling, "CBOD settling rate", aq_rate_rule::not_negative, 0.0, 1.047},
    {aq_sediment_o2_demand, "sediment oxygen demand", aq_rate_rule::not_negative, 0.0, 1.06},
    {aq_algal_growth_max, "maximum algal growth rate", aq_rate_rule::not_negative, 1.0, 1.047},
    {aq_algal_respiration, "algal respiration rate", aq_rate_rule::not_negative, 0.05, 1.047},
    {aq_algal_settling, "algal settling rate", aq_rate_rule::not_negative, 0.0, 1.024},
    {aq_benthic_dp, "benthic dissolved phosphorus source", aq_rate_rule::any, 0.0, 1.074},
    {aq_benthic_nh4, "benthic ammonium source", aq_rate_rule::any, 0.0, 1.074},
    {aq_on_settling, "organic nitrogen settling rate", aq_rate_rule::not_negative, 0.001, 1.024},
    {aq_op_settling, "organic phosphorus settling rate", aq_rate_rule::not_negative, 0.001, 1.024},
};

constexpr bool aq_rate_rows_in_order() {
    for (int i = 0; i < aq_rate_pair_count; ++i)
        if (aq_rate_rows[i].pair != i) return false;
    return true;
}
static_assert(sizeof aq_rate_rows / sizeof aq_rate_rows[0] == aq_rate_pair_count && aq_rate_rows_in_order(),
              "one row per rate pair, row i holding pair i");

struct aq_rate_value {
    double rate;
    double theta;
};

struct aq_rate_block {
    aq_rate_block();
    aq_rate_value pair[aq_rate_pair_count];
    double unused[aq_unused_rate_count] = {0.02, 0.01, 0.01, 0.0, 0.01, 0.002, 0.0165, 0.000001};
};

// rate x theta^(T - 20) of pair `pair` of `rates`.
double zep_theta_correct(const aq_rate_block& rates, aq_rate_pair pair, double temperature);

// Dissolved oxygen at saturation in fresh water at `temperature` °C (g/m3).
double zep_oxygen_saturation(double temperature);

// Ammonia dissociation constant at `temperature` °C.
double zep_ammonia_dissociation(double temperature);

// Mass (g of NH3) of un-ionised ammonia in `volume` m3 that holds
// `nh4_mass` g of ammonium, with dissociation constant `ka` and hydrogen-ion
// concentration `h_ion` (mol/L). Nothing when the volume is below 1e-4 m3 or
// the molar ammonium below `min_molar`.
double zep_unionised_ammonia(double nh4_mass, double volume, double ka, double h_ion, double min_molar);

// Dew point (°C) of air with vapour pressure `vapour_pressure` hPa.
double zep_dewpoint(double vapour_pressure);

// The rate constants of one block at one water temperature: the corrected
// rate of each pair, the growth's temperature factor and the
// oxygen saturation. Made again when the block or the temperature differs
// from the last; the block must not change while the cache is kept.
struct aq_rate_cache {
    const aq_rate_block* rates = nullptr;
    double temperature = 0.0;
    double corrected[aq_rate_pair_count] = {};
    double growth_factor = 0.0;
    double oxygen_saturation = 0.0;
};
void zep_correct_rates(const aq_rate_block& rates, double temperature, aq_rate_cache& cache);

// Concentrations below 0 by less than this (g/m3) are round-off: the
// kinetics take them as 0 and set them so in the block.
constexpr double aq_roundoff_conc = 1e-9;

// Fills the change of the nine species of `block` from its state, the
// environment's solar radiation and `rates`. Returns -1, or, when a
// concentration is negative beyond round-off, the first such species in the
// order algae, ON, NH4, NO2, NO3, OP, DP, CBOD, DO; the changes are then
// left as they were and the caller decides what to do (nothing here ends
// the process). A block no deeper than its minimum depth gets changes of 0.
// The two entry points share one body; each caller names its own in the
// message of a negative concentration (zep_negative_message). A caller that
// reacts many bodies keeps a `cache` between calls, which spares the
// temperature corrections while the block and temperature stay the same.
int ZEPOverlandKinetics(aq_species_block& block, const vegso_env_record& environment, const aq_rate_block& rates,
                        aq_rate_cache* cache = nullptr);
int ZEPChannelKinetics(aq_species_block& block, const vegso_env_record& environment, const aq_rate_block& rates,
                       aq_rate_cache* cache = nullptr);

// "<entry> ERROR: aqSpecies.aquatic_Alg.conc is negative!\n" for `species`.
std::string zep_negative_message(const char* entry, int species);
