// The constituent sections of the summary file: in each event summary the
// event's soil, overland, channel and lake mass balance of every
// contaminant, and at the end of the run the run's soil, overland,
// channel, lake and whole-basin balances. Masses in kg; balance errors in
// percent of what came in (the books form them).
//
// Each section's lines are one table for both summaries: a line carries
// its label in the event summary (a dotted line) and its format in the run
// summary, the books it shows (the run's and the event's), and when it is
// shown; a line that one summary does not show has no label there. The
// tables keep each summary's order of lines.
#include <cstdio>
#include <string>

#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/zep_container.hpp"
#include "output/summary_file.hpp"
#include "transport/constituent_books.hpp"

namespace kesta {

namespace {

const std::string& name_of(const model_state& m, int c) { return m.contam_names[static_cast<std::size_t>(c)]; }

// A contaminant bound to the suspended sediment (SEDIMENT_CONTAM); the
// nutrient species and pools stay dissolved.
bool binds(const model_state& m, int c) { return m.sediment_contam && is_contaminant(m, c); }

// Lakes of the channel network whose constituents are books of their own.
bool lakes_on(const model_state& m) { return m.chan_lakes_on && m.nlakes > 0; }

bool channel_books(const model_state& m) { return m.chan_con_trans && !m.chan_mass.empty(); }

// The soil of a nutrient slot holds a soil pool of the nutrient module
// (SOIL_CON_TRANS), named as such.
std::string soil_name_of(const model_state& m, int c) {
    std::string name = name_of(m, c);
    if (!is_contaminant(m, c) && m.zep) nutrient_constituent_name(c - m.first_nutrient_constituent, true, name);
    return name;
}

// A nutrient slot's run totals count its water species and, with the soil
// coupling, the soil pool its soil table holds: both are named when they
// differ.
std::string global_name_of(const model_state& m, int c) {
    const std::string& water = name_of(m, c);
    if (!reacts_in_water(m, c) || !m.soil_con_trans) return water;
    const std::string soil = soil_name_of(m, c);
    return soil == water ? water : water + " and, in the soil, " + soil;
}

// The dissolved mass (g) and concentration (g/m3) of slot c in lake k.
double lake_mass(const model_state& m, int c, int k) { return m.chan_mass[c][m.chan_lake_row0 + k]; }
double lake_conc(const model_state& m, int c, int k) { return m.chan_conc[c][m.chan_lake_row0 + k]; }

// What a line needs to be shown: every bit it holds.
enum line_needs : unsigned {
    water_table = 1u << 0,
    soil = 1u << 1,     // SOIL_CON_TRANS
    no_soil = 1u << 2,
    contaminant = 1u << 3,
    nutrient = 1u << 4,  // not a contaminant
    reacts = 1u << 5,    // a nutrient species in water
    no_reactions = 1u << 6,
    attaches = 1u << 7,  // bound to suspended sediment
    routing = 1u << 8,   // channel routing
    no_routing = 1u << 9,
    lakes = 1u << 10,
    stream_loss = 1u << 11,
    static_soil = 1u << 12,  // SOIL_STATIC_CONC
    nutrient_module = 1u << 13,
    nonzero = 1u << 14,  // the value is not 0
};

bool shown(const model_state& m, int c, unsigned needs) {
    const bool soil_on = m.soil_con_trans != 0, routed = m.chan_routing != 0;
    const struct {
        unsigned bit;
        bool holds;
    } tests[] = {{water_table, m.water_table_given != 0},
                 {soil, soil_on},
                 {no_soil, !soil_on},
                 {contaminant, is_contaminant(m, c)},
                 {nutrient, !is_contaminant(m, c)},
                 {reacts, reacts_in_water(m, c)},
                 {no_reactions, !reacts_in_water(m, c)},
                 {attaches, binds(m, c)},
                 {routing, routed},
                 {no_routing, !routed},
                 {lakes, lakes_on(m)},
                 {stream_loss, m.stream_loss != 0},
                 {static_soil, m.soil_static_conc != 0},
                 {nutrient_module, m.zep != nullptr}};
    for (const auto& t : tests)
        if ((needs & t.bit) && !t.holds) return false;
    return true;
}

// A line of a section. `event` is the dotted label of the event summary (of
// `decimals` decimals, followed by `extra` empty lines), `run` the format of
// the run summary; null where that summary does not show the line. A line
// without a value is text, written as it stands. The value is the run's or
// the event's book, or what `held` computes (kg).
struct summary_line_row {
    unsigned needs;
    const char* event;
    const char* run;
    con_array run_book, event_book;
    double (*held)(const model_state& m, int c);
    int decimals, extra;
};

// The attached mass the channels and the lakes hold now (kg), and the
// channels' with their dissolved mass.
double chan_attached(const model_state& m, int c) { return mass_held(m, c).chan_attached / 1000.0; }
double lake_attached(const model_state& m, int c) { return mass_held(m, c).lake_attached / 1000.0; }
double chan_total(const model_state& m, int c) {
    const held_mass h = mass_held(m, c);
    return (h.channels + h.chan_attached) / 1000.0;
}
// What left the basin: with the soil layers infiltration stays in it.
double basin_out(const model_state& m, int c) {
    double out = m.GLOBAL_MASS_OUT.value(c);
    if (!m.soil_con_trans) out += m.OV_INFIL_MASS.value(c);
    return out;
}
// What the nutrient reactions made less what they used, everywhere.
double reactions_net(const model_state& m, int c) {
    return m.OV_ZEP_MASS_IN.value(c) + m.CHAN_ZEP_MASS_IN.value(c) + m.LAKE_ZEP_MASS_IN.value(c) +
           m.SOIL_ZEP_MASS_IN.value(c) - m.OV_ZEP_MASS_OUT.value(c) - m.CHAN_ZEP_MASS_OUT.value(c) -
           m.LAKE_ZEP_MASS_OUT.value(c) - m.SOIL_ZEP_MASS_OUT.value(c);
}

#define KESTA_BOOK(name) &transport_state::name
constexpr con_array kNo = nullptr;
constexpr const char* kStaticSoilNote =
    "When using static soil concentrations, mass balance errors represent implied additions to soil top layer \n";

// The soil of each slot (SOIL_CON_TRANS).
const summary_line_row kSoilLines[] = {
    {0, "Initial Mass in Soil Column", "Initial Mass in Soil Column   %14.2lf \n", KESTA_BOOK(SOIL_MASS_INIT),
     KESTA_BOOK(event_soil_mass_init), nullptr, 2, 0},
    {0, "Final Mass in Soil Column", "Final Mass in Soil Column     %14.2lf \n \n", KESTA_BOOK(SOIL_MASS_FINAL),
     KESTA_BOOK(event_soil_mass_final), nullptr, 2, 1},
    {0, "Mass added by infiltration", "Mass added by infiltration    %14.2lf \n", KESTA_BOOK(SOIL_INFIL_MASS),
     KESTA_BOOK(event_soil_infil_mass), nullptr, 2, 1},
    {0, nullptr, "Mass seepage up from GW       %14.2lf \n \n", KESTA_BOOK(SOIL_FROM_WT_MASS), kNo, nullptr, 2, 0},
    {water_table, "Exfiltration mass loss", nullptr, kNo, KESTA_BOOK(event_soil_exfil_mass), nullptr, 2, 0},
    {0, "Mass seepage to water table", nullptr, kNo, KESTA_BOOK(event_soil_to_wt_mass), nullptr, 2, 0},
    {water_table, "Mass seepage from water table", nullptr, kNo, KESTA_BOOK(event_soil_from_wt_mass), nullptr, 2, 0},
    {contaminant, nullptr, "Uptake from soil              %14.2lf \n", KESTA_BOOK(OV_UPTAKE_MASS), kNo, nullptr, 2,
     0},
    {contaminant, "Soil decay mass", "Soil decay mass               %14.2lf \n", KESTA_BOOK(SOIL_DECAY_MASS),
     KESTA_BOOK(event_soil_decay_mass), nullptr, 2, 0},
    {contaminant, "Surface water exchange from soil", nullptr, kNo, KESTA_BOOK(event_ov_from_soil_mass), nullptr, 2,
     0},
    {contaminant, "Surface water exchange to soil", nullptr, kNo, KESTA_BOOK(event_ov_to_soil_mass), nullptr, 2, 0},
    {nutrient, "ZEP surface water exchange from soil", nullptr, kNo, KESTA_BOOK(event_ov_from_soil_mass), nullptr, 2,
     0},
    {nutrient, "ZEP surface water exchange to soil", nullptr, kNo, KESTA_BOOK(event_ov_to_soil_mass), nullptr, 2, 0},
    {nutrient, nullptr, "Uptake from soil (ZEP)        %14.2lf \n", KESTA_BOOK(OV_UPTAKE_MASS), kNo, nullptr, 2, 0},
    {nutrient, nullptr, "ZEP decay mass               %14.2lf \n", KESTA_BOOK(SOIL_DECAY_MASS), kNo, nullptr, 2, 0},
    {nutrient, "Gained from ZEP kinetics", "Mass gained from ZEP kinetics   %14.4lf \n", KESTA_BOOK(SOIL_ZEP_MASS_IN),
     KESTA_BOOK(event_soil_zep_mass_in), nullptr, 4, 0},
    {nutrient, "Loss to ZEP kinetics", "Mass lost to ZEP kinetics       %14.4lf \n", KESTA_BOOK(SOIL_ZEP_MASS_OUT),
     KESTA_BOOK(event_soil_zep_mass_out), nullptr, 4, 0},
    {water_table, nullptr, "Exfiltration mass loss        %14.2lf \n", KESTA_BOOK(SOIL_EXFIL_MASS), kNo, nullptr, 2,
     0},
    {0, nullptr, "Mass seepage down to GW       %14.2lf \n \n", KESTA_BOOK(SOIL_TO_WT_MASS), kNo, nullptr, 2, 0},
    {attaches, "Sediment eroded(-)/deposited(+)", "Sediment eroded(-)/deposited  %14.2lf \n \n",
     KESTA_BOOK(SOIL_SED_MASS), KESTA_BOOK(event_soil_sed_mass), nullptr, 2, 0},
    {0, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, "Soil mass balance error", "Soil mass balance error       %14.4lf \n", KESTA_BOOK(SOIL_MASS_ERROR),
     KESTA_BOOK(soil_mass_balance_error), nullptr, 4, 0},
    {static_soil, kStaticSoilNote, kStaticSoilNote, kNo, kNo, nullptr, 2, 0},
    {0, nullptr, "\n", kNo, kNo, nullptr, 2, 0},
};

// The dissolved (and attached) mass over land.
const summary_line_row kOverlandLines[] = {
    {0, "Initial Dissolved Mass on Overland", "Initial Dissolved mass on ov  %14.2lf \n", KESTA_BOOK(OV_MASS_INIT),
     KESTA_BOOK(event_ov_mass_init), nullptr, 2, 0},
    {0, "Final Dissolved Mass on Overland", "Final Dissolved mass on ov    %14.2lf \n", KESTA_BOOK(OV_MASS_FINAL),
     KESTA_BOOK(OV_MASS_FINAL), nullptr, 2, 0},
    {attaches, "Final attached to susp seds", nullptr, kNo, KESTA_BOOK(ov_sed_contam_final_mass), nullptr, 2, 0},
    {attaches, "Final total (attached+dissolved)", nullptr, kNo, KESTA_BOOK(ov_total_contam_final_mass), nullptr, 2,
     0},
    {0, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {no_soil, "Initial undissolved mass", "Initial undissolved mass      %14.2lf \n", KESTA_BOOK(OV_LAND_MASS_INIT),
     KESTA_BOOK(event_ov_land_mass), nullptr, 2, 0},
    {no_soil, "Final undissolved mass", "Final undissolved mass        %14.2lf \n", KESTA_BOOK(OV_LAND_MASS_FINAL),
     KESTA_BOOK(OV_LAND_MASS_FINAL), nullptr, 2, 0},
    {no_soil, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {0, "Point source mass gain", "Point source mass gain        %14.2lf \n", KESTA_BOOK(OV_POINT_MASS),
     KESTA_BOOK(event_ov_point_mass), nullptr, 2, 0},
    {water_table, "Exfiltration gain", "Exfiltration mass gain        %14.2lf \n", KESTA_BOOK(OV_EXFIL_MASS),
     KESTA_BOOK(event_ov_exfil_mass), nullptr, 2, 0},
    {0, "Precipitation gain", "Precipitation mass gain       %14.2lf \n", KESTA_BOOK(OV_PRECIP_MASS),
     KESTA_BOOK(event_ov_precip_mass), nullptr, 2, 0},
    {no_reactions, "Uptake from soil", "Uptake from soil              %14.2lf \n", KESTA_BOOK(OV_UPTAKE_MASS),
     KESTA_BOOK(event_ov_uptake_mass), nullptr, 2, 0},
    {reacts, nullptr, "Uptake from soil              %14.2lf \n", KESTA_BOOK(OV_UPTAKE_MASS), kNo, nullptr, 2, 0},
    {reacts | soil, "Uptake from soil (ZEP)", nullptr, kNo, KESTA_BOOK(event_ov_uptake_mass), nullptr, 2, 0},
    {reacts, "Gained from ZEP kinetics", nullptr, kNo, KESTA_BOOK(event_ov_zep_mass_in), nullptr, 4, 0},
    {attaches, nullptr, "Sediment source               %14.2lf \n", KESTA_BOOK(OV_SED_SOURCE_MASS), kNo, nullptr, 2,
     0},
    {0, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {0, "Infiltration", "Mass loss to infiltration     %14.2lf \n", KESTA_BOOK(OV_INFIL_MASS),
     KESTA_BOOK(event_ov_infil_mass), nullptr, 2, 0},
    {routing, "Lateral flow to streams", "Mass loss to stream           %14.2lf \n", KESTA_BOOK(OV_QLAT_MASS),
     KESTA_BOOK(event_ov_qlat_mass), nullptr, 2, 0},
    {no_routing, "Outlet flux", "Outlet mass flux              %14.2lf \n", KESTA_BOOK(OV_MASS_OUT),
     KESTA_BOOK(event_ov_mass_out), nullptr, 2, 0},
    {routing, nullptr, "Outlet mass flux              %14.2lf \n", KESTA_BOOK(OV_MASS_OUT), kNo, nullptr, 2, 0},
    {no_reactions, "Decay loss", "Mass decay loss on overland   %14.2lf \n", KESTA_BOOK(OV_MASS_DECAY),
     KESTA_BOOK(event_ov_decay_mass), nullptr, 2, 0},
    {reacts, nullptr, "Mass gained from ZEP kinetics   %14.4lf \n", KESTA_BOOK(OV_ZEP_MASS_IN), kNo, nullptr, 2, 0},
    {reacts, "Loss to ZEP kinetics", "Mass lost to ZEP kinetics       %14.4lf \n", KESTA_BOOK(OV_ZEP_MASS_OUT),
     KESTA_BOOK(event_ov_zep_mass_out), nullptr, 4, 0},
    {lakes, "Flux to lake", "Lateral flow to lake          %14.2lf \n", KESTA_BOOK(LAKE_OV_INFLOW_MASS),
     KESTA_BOOK(event_lake_ov_inflow_mass), nullptr, 2, 0},
    {0, "Negative mass", nullptr, kNo, KESTA_BOOK(event_ov_neg_mass), nullptr, 2, 0},
    {attaches, "Sediment source", nullptr, kNo, KESTA_BOOK(event_ov_sed_source_mass), nullptr, 2, 0},
    {attaches, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, nullptr, "\n", kNo, kNo, nullptr, 2, 0},
    {attaches, nullptr, "Attached to susp sediments    %14.2lf \n", KESTA_BOOK(OV_SED_CONTAM_FINAL), kNo, nullptr,
     2, 0},
    {attaches | routing, "Attached entering channels", "Attached entering streams     %14.2lf \n",
     KESTA_BOOK(CHAN_QLAT_SED_MASS), KESTA_BOOK(event_chan_qlat_sed_mass), nullptr, 2, 0},
    {attaches | no_routing, "Attached exiting outlet", "Attached exiting watershed    %14.2lf \n",
     KESTA_BOOK(OV_SED_OUTLET_MASS), KESTA_BOOK(event_ov_sed_outlet_mass), nullptr, 2, 0},
    {attaches | lakes, "Attached entering lakes", nullptr, kNo, KESTA_BOOK(event_ov_lake_sed_contam_mass), nullptr,
     2, 0},
    {0, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {0, "Dissolved mass balance error", "Contam mass balance error       %14.4lf percent \n",
     KESTA_BOOK(OV_RUN_MASS_ERROR), KESTA_BOOK(OV_MASS_ERROR), nullptr, 4, 0},
};

// The channel nodes: the dissolved mass, then the attached.
const summary_line_row kChannelLines[] = {
    {0, "Initial Dissolved Mass in Channels", "Initial Mass in Channels      %14.2lf \n",
     KESTA_BOOK(CHAN_MASS_INIT), KESTA_BOOK(event_chan_mass_init), nullptr, 2, 0},
    {0, "Final Dissolved Mass in Channels", "Final Mass in Channels        %14.2lf \n \n",
     KESTA_BOOK(CHAN_MASS_FINAL), KESTA_BOOK(CHAN_MASS_FINAL), nullptr, 2, 1},
    {0, "Mass gain from overland", "Mass gain from overland       %14.2lf \n", KESTA_BOOK(CHAN_LAT_MASS),
     KESTA_BOOK(event_chan_lat_mass), nullptr, 2, 0},
    {0, "Point source mass gain", "Point source mass gain        %14.2lf \n", KESTA_BOOK(CHAN_POINT_MASS),
     KESTA_BOOK(event_chan_point_mass), nullptr, 2, 0},
    {reacts, "Mass gained in ZEP kinetics", nullptr, kNo, KESTA_BOOK(event_chan_zep_mass_in), nullptr, 4, 1},
    {lakes, "Flow from lake to channel", "Flux from lake                %14.2lf \n",
     KESTA_BOOK(LAKE_CHAN_OUTFLOW_MASS), KESTA_BOOK(event_lake_chan_outflow_mass), nullptr, 2, 0},
    {lakes, "Exchange with lakes (-)", nullptr, kNo, KESTA_BOOK(event_lake_chan_exchange_mass), nullptr, 2, 0},
    {stream_loss, "Groundwater net mass gain(+)/loss(-)", "Groundwater mass gain/loss    %14.2lf \n \n",
     KESTA_BOOK(CHAN_GW_MASS), KESTA_BOOK(event_chan_gw_mass), nullptr, 2, 0},
    {attaches, "Exhange with sediments", nullptr, kNo, KESTA_BOOK(event_chan_sed_source_mass), nullptr, 2, 0},
    {lakes, "Flows to lake", nullptr, kNo, KESTA_BOOK(event_lake_chan_inflow_mass), nullptr, 2, 0},
    {0, "Outlet mass flux", "Outlet mass flux              %14.2lf \n", KESTA_BOOK(CHAN_MASS_OUT),
     KESTA_BOOK(event_chan_mass_out), nullptr, 2, 0},
    {contaminant, "Mass decay loss", "Mass decay loss               %14.2lf \n", KESTA_BOOK(CHAN_MASS_DECAY),
     KESTA_BOOK(event_chan_decay_mass), nullptr, 2, 0},
    {reacts, nullptr, "Mass gained from ZEP kinetics   %14.6lf \n", KESTA_BOOK(CHAN_ZEP_MASS_IN), kNo, nullptr, 2,
     0},
    {reacts, "Mass lost in ZEP kinetics", "Mass lost to ZEP kinetics       %14.6lf \n", KESTA_BOOK(CHAN_ZEP_MASS_OUT),
     KESTA_BOOK(event_chan_zep_mass_out), nullptr, 4, 0},
    {lakes, nullptr, "Flux to lake                  %14.2lf \n", KESTA_BOOK(LAKE_CHAN_INFLOW_MASS), kNo, nullptr, 2,
     0},
    {lakes, nullptr, "Exchange with lake            %14.2lf \n", KESTA_BOOK(LAKE_CHAN_EXCHANGE_MASS), kNo, nullptr,
     2, 0},
    {attaches, nullptr, "Exchange with sediment        %14.2lf \n", KESTA_BOOK(CHAN_SED_SOURCE_MASS), kNo, nullptr,
     2, 0},
    {0, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {0, "Contam mass balance error", "Dissolved mass balance error       %14.4lf percent \n",
     KESTA_BOOK(CHAN_RUN_MASS_ERROR), KESTA_BOOK(CHAN_MASS_BALANCE), nullptr, 4, 0},
    {0, "\n", "\n", kNo, kNo, nullptr, 2, 0},
    {attaches, "Contaminants Attached to Sediment Mass Balance...\n \n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, nullptr, "Attached\n", kNo, kNo, nullptr, 2, 0},
    {attaches | nonzero, "Initial attached to suspended sed", nullptr, kNo, KESTA_BOOK(event_chan_attached_init),
     nullptr, 2, 0},
    {attaches, "Lateral flow into channels", "Lateral flow into channels    %14.2lf \n",
     KESTA_BOOK(CHAN_QLAT_SED_MASS), KESTA_BOOK(event_chan_qlat_sed_mass), nullptr, 2, 0},
    {attaches, "Exiting watershed", nullptr, kNo, KESTA_BOOK(event_chan_outlet_sed_mass), nullptr, 2, 0},
    {attaches, nullptr, "Final suspended               %14.2lf \n", kNo, kNo, chan_attached, 2, 0},
    {attaches, "Exchange with dissolved", "Exchange with dissolved       %14.2lf \n",
     KESTA_BOOK(CHAN_SED_SOURCE_MASS), KESTA_BOOK(event_chan_sed_source_mass), nullptr, 2, 0},
    {attaches, "Attached to suspended sed", nullptr, kNo, kNo, chan_attached, 2, 0},
    {attaches, nullptr, "Exiting outlet                %14.2lf \n", KESTA_BOOK(CHAN_OUTLET_SED_MASS), kNo, nullptr,
     2, 0},
    {attaches | lakes, "Attached entering lakes", nullptr, kNo, KESTA_BOOK(event_chan_lake_sed_contam_mass), nullptr,
     2, 0},
    {attaches, "Total (dissolved+attached)", nullptr, kNo, kNo, chan_total, 4, 0},
    {attaches, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, nullptr, "\n", kNo, kNo, nullptr, 2, 0},
};

// The channel-network lakes: the dissolved mass, then the attached.
const summary_line_row kLakeLines[] = {
    {0, "Initial Dissolved in Lakes", "Initial Mass in Lakes         %14.2lf \n", KESTA_BOOK(LAKE_MASS_INIT),
     KESTA_BOOK(event_lake_mass_init), nullptr, 2, 0},
    {0, "Final Dissolved in Lakes", "Final Mass in Lakes           %14.2lf \n \n", KESTA_BOOK(LAKE_MASS_FINAL),
     KESTA_BOOK(event_lake_mass_final), nullptr, 2, 0},
    {0, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, "Precip", nullptr, kNo, KESTA_BOOK(event_lake_precip_mass), nullptr, 2, 0},
    {0, nullptr, "Mass gain from overland       %14.2lf \n", KESTA_BOOK(LAKE_OV_INFLOW_MASS), kNo, nullptr, 2, 0},
    {0, "Inflow", "Mass channel trib inflow      %14.2lf \n", KESTA_BOOK(LAKE_CHAN_INFLOW_MASS),
     KESTA_BOOK(event_lake_chan_inflow_mass), nullptr, 2, 0},
    {0, nullptr, "Mass lake outlet flow         %14.2lf \n", KESTA_BOOK(LAKE_CHAN_OUTFLOW_MASS), kNo, nullptr, 2, 0},
    {0, "Lake/chan exchange", "Lake chan exchange mass       %14.2lf \n", KESTA_BOOK(LAKE_CHAN_EXCHANGE_MASS),
     KESTA_BOOK(event_lake_chan_exchange_mass), nullptr, 2, 0},
    {0, "Overland flux", nullptr, kNo, KESTA_BOOK(event_lake_ov_inflow_mass), nullptr, 2, 0},
    {0, "Point source", "Point source mass gain        %14.2lf \n", KESTA_BOOK(LAKE_POINT_MASS),
     KESTA_BOOK(event_lake_point_mass), nullptr, 2, 0},
    {0, "Groundwater flux", "Groundwater mass gain/loss    %14.2lf \n \n", KESTA_BOOK(LAKE_GW_MASS),
     KESTA_BOOK(event_lake_gw_mass), nullptr, 2, 1},
    {0, "Outflow", nullptr, kNo, KESTA_BOOK(event_lake_chan_outflow_mass), nullptr, 2, 0},
    {0, nullptr, "Precip mass flux              %14.2lf \n", KESTA_BOOK(LAKE_PRECIP_MASS), kNo, nullptr, 2, 0},
    {0, "Dissolved decay loss", "Mass decay loss               %14.2lf \n \n", KESTA_BOOK(LAKE_DECAY_MASS),
     KESTA_BOOK(event_lake_decay_mass), nullptr, 2, 0},
    {reacts, "Gained from ZEP kinetics", "Mass gained from ZEP kinetics   %14.6lf \n", KESTA_BOOK(LAKE_ZEP_MASS_IN),
     KESTA_BOOK(event_lake_zep_mass_in), nullptr, 4, 0},
    {reacts, "Loss to ZEP kinetics", "Mass lost to ZEP kinetics       %14.6lf \n \n", KESTA_BOOK(LAKE_ZEP_MASS_OUT),
     KESTA_BOOK(event_lake_zep_mass_out), nullptr, 4, 0},
    {attaches, "Exchange with attached", nullptr, kNo, KESTA_BOOK(event_lake_sed_contam_source_mass), nullptr, 2, 0},
    {0, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {0, "Dissolved mass balance error", nullptr, kNo, KESTA_BOOK(event_lake_mass_balance), nullptr, 4, 0},
    {attaches, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
    {attaches | nonzero, "Initial attached in lakes", nullptr, kNo, KESTA_BOOK(event_lake_attached_init), nullptr, 2,
     0},
    {attaches, "Overland inflow", "Attached from overland        %14.2lf \n", KESTA_BOOK(OV_LAKE_SED_CONTAM_MASS),
     KESTA_BOOK(event_ov_lake_sed_contam_mass), nullptr, 2, 0},
    {attaches, "Channel inflow", "Attached from channels        %14.2lf \n", KESTA_BOOK(CHAN_LAKE_SED_CONTAM_MASS),
     KESTA_BOOK(event_chan_lake_sed_contam_mass), nullptr, 2, 0},
    {attaches, "Exchange with dissolved", nullptr, kNo, KESTA_BOOK(event_lake_sed_contam_source_mass), nullptr, 2, 0},
    // The balance's own term: the attached mass the settling sediment laid
    // onto the lakes' cells.
    {attaches, "Settled onto the lake bed", "Attached settled on lake bed  %14.2lf \n",
     KESTA_BOOK(LAKE_SETTLED_SED_MASS), KESTA_BOOK(event_lake_settled_sed_mass), nullptr, 2, 0},
    {attaches, "Final attached in lakes", "Final attached in lakes       %14.2lf \n \n", kNo, kNo, lake_attached, 2, 0},
    {0, nullptr, "Contam mass balance error       %14.4lf percent \n \n", KESTA_BOOK(LAKE_MASS_BALANCE), kNo, nullptr,
     2, 0},
    {0, "\n", nullptr, kNo, kNo, nullptr, 2, 0},
};

// The whole basin over the run.
const summary_line_row kBasinLines[] = {
    {0, nullptr, "Total initial mass            %14.2lf \n", KESTA_BOOK(GLOBAL_MASS_INIT), kNo, nullptr, 2, 0},
    {0, nullptr, "Total final Mass              %14.2lf \n \n", KESTA_BOOK(GLOBAL_MASS_FINAL), kNo, nullptr, 2, 0},
    {0, nullptr, "Point source inputs           %14.2lf\n", KESTA_BOOK(GLOBAL_POINT_SOURCE), kNo, nullptr, 2, 0},
    {0, nullptr, "Precipitation inputs          %14.2lf \n", KESTA_BOOK(GLOBAL_PRECIP_MASS), kNo, nullptr, 2, 0},
    {0, nullptr, "Flux from GW to streams       %14.2lf \n", KESTA_BOOK(GLOBAL_GW_MASS), kNo, nullptr, 2, 0},
    {soil, nullptr, "Soil mass in from groundwater %14.2lf \n \n", KESTA_BOOK(SOIL_FROM_WT_MASS), kNo, nullptr, 2, 0},
    {soil | nutrient_module, nullptr, "Gained from other species     %14.4lf \n", KESTA_BOOK(ZEP_SPECIES_IN), kNo,
     nullptr, 2, 0},
    {soil | nutrient_module, nullptr, "Given to other species        %14.4lf \n \n", KESTA_BOOK(ZEP_SPECIES_OUT), kNo,
     nullptr, 2, 0},
    {0, nullptr, "Total mass out of system      %14.2lf \n \n", kNo, kNo, basin_out, 2, 0},
    {contaminant, nullptr, "Mass decay loss               %14.2lf \n", KESTA_BOOK(GLOBAL_MASS_DECAY), kNo, nullptr, 2,
     0},
    {nutrient, nullptr, "ZEP gain/loss                 %14.2lf \n", kNo, kNo, reactions_net, 2, 0},
    {0, nullptr, "\n", kNo, kNo, nullptr, 2, 0},
    {0, nullptr, "Contam mass balance error       %14.4lf percent \n", KESTA_BOOK(GLOBAL_MASS_CON_ERROR), kNo, nullptr,
     2, 0},
};
#undef KESTA_BOOK

// The lines of a section for slot c, in the run summary (`run`) or the
// event summary.
template <std::size_t N>
void write_lines(const model_state& m, std::FILE* fp, int c, bool run, const summary_line_row (&rows)[N]) {
    for (const summary_line_row& row : rows) {
        const char* text = run ? row.run : row.event;
        if (!text || !shown(m, c, row.needs)) continue;
        const con_array book = run ? row.run_book : row.event_book;
        if (!book && !row.held) {
            std::fputs(text, fp);
            continue;
        }
        const double value = book ? (m.*book).value(c) : row.held(m, c);
        if ((row.needs & nonzero) && value == 0.0) continue;
        if (run)
            summary_line(m, fp, text, value);
        else
            write_padded_value(m, fp, text, value, 50, row.decimals == 4 ? "%14.4lf" : "%14.2lf", '.', 14, row.extra);
    }
}

// The lakes' mass and concentration, lake by lake.
void write_each_lake(const model_state& m, std::FILE* fp, int c, bool run) {
    for (int k = 1; k <= m.nlakes; ++k) {
        const long lake = static_cast<long>(k);
        if (run) {
            summary_line(m, fp, "Final Mass in lake %ld = %14.2lf \n", lake, lake_mass(m, c, k) / 1000.0);
            summary_line(m, fp, "Final Conc in lake %ld = %14.2lf \n \n", lake, lake_conc(m, c, k));
        } else {
            summary_line(m, fp, "Final Mass in lake %ld =        %14.2lf \n", lake, lake_mass(m, c, k) / 1000.0);
            summary_line(m, fp, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", lake, lake_conc(m, c, k));
        }
    }
}

void event_soil(const model_state& m, std::FILE* fp, int c) {
    summary_line(m, fp, "\n\nSoil Contaminant Transport Summary for %s \n", soil_name_of(m, c).c_str());
    std::fputs("\n", fp);
    write_lines(m, fp, c, false, kSoilLines);
}

void event_overland(const model_state& m, std::FILE* fp, int c) {
    std::fputs("\n \n", fp);
    if (!carried_by_water(m, c)) return;
    summary_line(m, fp, "Overland Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total mass for event in (Kg) \n \n", fp);
    write_lines(m, fp, c, false, kOverlandLines);
}

void event_channel(const model_state& m, std::FILE* fp, int c) {
    if (!carried_by_water(m, c)) return;
    std::fputs("\n \n", fp);
    summary_line(m, fp, "Channel Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total for event in (Kg) \n \n", fp);
    std::fputs("Dissolved State Mass Balance... \n \n", fp);
    write_lines(m, fp, c, false, kChannelLines);
    if (!lakes_on(m)) return;
    summary_line(m, fp, "Lake Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total mass for event (Kg) \n \n", fp);
    std::fputs("Dissolved State Mass Balance...\n", fp);
    write_lines(m, fp, c, false, kLakeLines);
    write_each_lake(m, fp, c, false);
}

void run_soil(const model_state& m, std::FILE* fp) {
    std::fputs("Soil Contaminant Transport Summary \n \n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        summary_line(m, fp, "Soil Constituent Transport Summary for %s \n", soil_name_of(m, c).c_str());
        write_lines(m, fp, c, true, kSoilLines);
    }
}

void run_overland(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Overland Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (reacts_in_water(m, c))
            summary_line(m, fp, "Overland Constituent Transport Summary for %s \n", name_of(m, c).c_str());
        else
            summary_line(m, fp, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c,
                         name_of(m, c).c_str());
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        write_lines(m, fp, c, true, kOverlandLines);
    }
}

void run_channels(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Channel Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!carried_by_water(m, c)) continue;
        if (reacts_in_water(m, c))
            summary_line(m, fp, "Channel Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
        else
            summary_line(m, fp, "Channel Contaminant Transport Summary for Contaminant %5d \n", c);
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        std::fputs("Dissolved\n", fp);
        write_lines(m, fp, c, true, kChannelLines);
        if (!lakes_on(m)) continue;
        summary_line(m, fp, "Lake Contaminant Transport Summary for Constituent %5ld \n", static_cast<long>(c));
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        write_lines(m, fp, c, true, kLakeLines);
        write_each_lake(m, fp, c, true);
    }
}

void run_global(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Global Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!is_contaminant(m, c))
            summary_line(m, fp, "Contaminant Transport Global Summary for %s \n", global_name_of(m, c).c_str());
        else
            summary_line(m, fp, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        write_lines(m, fp, c, true, kBasinLines);
    }
}

// Where a stability limit cut the constituent intervals into more than one
// sub-step each: how many sub-steps, and how many the flow's limit set and
// the limit of `other`.
void run_substeps(std::FILE* fp, const char* routing, const substep_stats& st, const char* flow_limit,
                  const char* other) {
    if (st.substeps <= st.intervals) return;
    std::fprintf(fp,
                 "\n%s: %lld sub-steps in %lld constituent intervals (at most %d in one); %s set %lld of them and %s "
                 "the other %lld.\n",
                 routing, st.substeps, st.intervals, st.most, flow_limit, st.set_by_flow, other,
                 st.substeps - st.set_by_flow);
    if (st.at_most > 0)
        std::fprintf(fp,
                     "%lld of the intervals took the most sub-steps it takes; where they needed more, it gave no "
                     "cell more than it held, and their results are less accurate.\n",
                     st.at_most);
}

// What the nutrient reactions made and used over the whole run, in the
// water over land, in the channel nodes, in the lakes and in the soil (kg),
// as the nutrient container counted it.
void run_zep(const model_state& m, std::FILE* fp) {
    const zep_container& z = *m.zep;
    std::fputs("ZEP dm/dt Summary\n", fp);
    summary_line(m, fp, "  Total dm/dt in:  %14.4lf\n", (z.overland.gained + z.chan_gained + z.soils.gained) / 1000.0);
    summary_line(m, fp, "  Total dm/dt out: %14.4lf\n\n", (z.overland.lost + z.chan_lost + z.soils.lost) / 1000.0);
}

}  // namespace

void write_event_constituent_summary(const model_state& m, std::FILE* fp) {
    if (!fp || !m.ov_con_trans || m.ncontam <= 0) return;
    if (m.soil_con_trans)
        for (int c = 1; c <= m.ncontam; ++c) event_soil(m, fp, c);
    for (int c = 1; c <= m.ncontam; ++c) event_overland(m, fp, c);
    std::fputs("\n", fp);
    if (!channel_books(m)) return;
    for (int c = 1; c <= m.ncontam; ++c) event_channel(m, fp, c);
    std::fputs("\n", fp);
}

void write_constituent_run_summary(model_state& m) {
    if (!m.ov_con_trans || m.ncontam <= 0) return;
    close_constituent_books(m, true);
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    if (m.soil_con_trans) run_soil(m, fp);
    run_overland(m, fp);
    run_substeps(fp, "Overland constituent transport", m.ov_route_stats, "the flow's stability limit",
                 "the dispersion's limit (CONTAMINANT_TRANSPORT column 1, OV_DISP_COEF or the DISPERSION table)");
    if (channel_books(m)) {
        run_channels(m, fp);
        run_substeps(fp, "Channel constituent routing", m.chan_route_stats, "the flow's Courant limit",
                     "corrector passes that did not settle (steep fronts or strong dispersion, CHAN_DISP_COEF) or "
                     "masses that fell below zero");
    }
    run_global(m, fp);
    if (m.zep) run_zep(m, fp);
}

}  // namespace kesta
