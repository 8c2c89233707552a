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

// Rate constants of one aquatic environment id. A rate used with a
// temperature correction is a (rate, theta) pair at entries (2i, 2i+1).
// Entries 44 to 51 are stored but the kinetics use their own fixed values
// (the defaults) for them.
constexpr int aq_rate_count = 52;
enum aq_rate_index : int {
    aq_chlorophyll_ratio = 0,   // chlorophyll per unit of algae
    aq_algal_n_fraction = 2,    // nitrogen fraction of algal biomass
    aq_algal_p_fraction = 4,    // phosphorus fraction of algal biomass
    aq_o2_per_growth = 6,
    aq_o2_per_respiration = 8,
    aq_o2_per_nh4 = 10,         // oxygen used per unit of ammonium oxidised
    aq_o2_per_no2 = 12,         // oxygen used per unit of nitrite oxidised
    aq_nh4_oxidation = 14,      // per day
    aq_no2_oxidation = 16,
    aq_on_hydrolysis = 18,
    aq_op_decay = 20,
    aq_cbod_deoxygenation = 22,
    aq_reaeration = 24,
    aq_cbod_settling = 26,
    aq_sediment_o2_demand = 28, // g/ft2/day (over the depth in feet)
    aq_algal_growth_max = 30,
    aq_algal_respiration = 32,
    aq_algal_settling = 34,     // ft/day
    aq_benthic_dp = 36,         // g/ft2/day
    aq_benthic_nh4 = 38,        // g/ft2/day
    aq_on_settling = 40,
    aq_op_settling = 42,
};
struct aq_rate_block {
    double v[aq_rate_count] = {
        10.0, 1.0, 0.07, 1.0, 0.01, 1.047, 1.4, 1.0, 1.6, 1.0, 3.0, 1.0, 1.0, 1.0,  // 0-13
        0.1, 1.083, 0.2, 1.047, 0.2, 1.047, 0.01, 1.047,                          // 14-21
        0.02, 1.047, 10.0, 1.0159, 0.0, 1.047, 0.0, 1.06,                         // 22-29
        1.0, 1.047, 0.05, 1.047, 0.0, 1.024, 0.0, 1.074, 0.0, 1.074,              // 30-39
        0.001, 1.024, 0.001, 1.024,                                               // 40-43
        0.02, 0.01, 0.01, 0.0, 0.01, 0.002, 0.0165, 0.000001};                    // 44-51
};

// rate x theta^(T - 20) of the pair at `entry` (its rate; theta at entry+1).
double zep_theta_correct(const aq_rate_block& rates, int entry, double temperature);

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
// rate of each pair (entry 2i at i), the growth's temperature factor and the
// oxygen saturation. Made again when the block or the temperature differs
// from the last; the block must not change while the cache is kept.
struct aq_rate_cache {
    const aq_rate_block* rates = nullptr;
    double temperature = 0.0;
    double corrected[aq_rate_count / 2] = {};
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
