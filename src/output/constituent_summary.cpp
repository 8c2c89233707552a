// The constituent sections of the summary file: in each event summary the
// event's soil, overland, channel and lake mass balance of every
// contaminant, and at the end of the run the run's soil, overland,
// channel, lake and whole-basin balances. Masses
// in kg; balance errors in percent of what came in (the books form them).
#include <cstdio>
#include <string>

#include "model/model_state.hpp"
#include "nutrients/nutrient_species.hpp"
#include "nutrients/zep_container.hpp"
#include "output/summary_file.hpp"
#include "transport/constituent_books.hpp"

namespace kesta {

namespace {

double at(const array1d<double>& a, int c) { return a.value(c); }

const std::string& name_of(const model_state& m, int c) { return m.contam_names[static_cast<std::size_t>(c)]; }

void dotted(const model_state& m, std::FILE* fp, const char* label, double value, int extra = 0,
            const char* format = "%14.2lf") {
    write_padded_value(m, fp, label, value, 50, format, '.', 14, extra);
}

// A nutrient species carried in water, which its reactions make and use.
bool reacts(const model_state& m, int c) { return m.constituent_type.value(c) == 2; }
// A contaminant (not a nutrient species or pool).
bool contaminant(const model_state& m, int c) { return m.constituent_type.value(c) == 1; }
// A contaminant bound to the suspended sediment (SEDIMENT_CONTAM); the
// nutrient species and pools stay dissolved.
bool binds(const model_state& m, int c) { return m.sediment_contam && contaminant(m, c); }

// The soil of a nutrient slot holds a soil pool of the nutrient module
// (SOIL_CON_TRANS), named as such.
std::string soil_name_of(const model_state& m, int c) {
    std::string name = name_of(m, c);
    if (!contaminant(m, c) && m.zep) nutrient_constituent_name(c - m.first_nutrient_constituent, true, name);
    return name;
}

// A nutrient slot's run totals count its water species and, with the soil
// coupling, the soil pool its soil table holds: both are named when they
// differ.
std::string global_name_of(const model_state& m, int c) {
    const std::string& water = name_of(m, c);
    if (!reacts(m, c) || !m.soil_con_trans) return water;
    const std::string soil = soil_name_of(m, c);
    return soil == water ? water : water + " and, in the soil, " + soil;
}

void event_soil(const model_state& m, std::FILE* fp, int c) {
    summary_line(m, fp, "\n\nSoil Contaminant Transport Summary for %s \n", soil_name_of(m, c).c_str());
    std::fputs("\n", fp);
    dotted(m, fp, "Initial Mass in Soil Column", at(m.event_soil_mass_init, c));
    dotted(m, fp, "Final Mass in Soil Column", at(m.event_soil_mass_final, c), 1);
    dotted(m, fp, "Mass added by infiltration", at(m.event_soil_infil_mass, c), 1);
    if (m.water_table_given) dotted(m, fp, "Exfiltration mass loss", at(m.event_soil_exfil_mass, c));
    dotted(m, fp, "Mass seepage to water table", at(m.event_soil_to_wt_mass, c));
    if (m.water_table_given) dotted(m, fp, "Mass seepage from water table", at(m.event_soil_from_wt_mass, c));
    if (contaminant(m, c)) {
        dotted(m, fp, "Soil decay mass", at(m.event_soil_decay_mass, c));
        dotted(m, fp, "Surface water exchange from soil", at(m.event_ov_from_soil_mass, c));
        dotted(m, fp, "Surface water exchange to soil", at(m.event_ov_to_soil_mass, c));
    } else {
        dotted(m, fp, "ZEP surface water exchange from soil", at(m.event_ov_from_soil_mass, c));
        dotted(m, fp, "ZEP surface water exchange to soil", at(m.event_ov_to_soil_mass, c));
        dotted(m, fp, "Gained from ZEP kinetics", at(m.event_soil_zep_mass_in, c), 0, "%14.4lf");
        dotted(m, fp, "Loss to ZEP kinetics", at(m.event_soil_zep_mass_out, c), 0, "%14.4lf");
    }
    if (binds(m, c)) dotted(m, fp, "Sediment eroded(-)/deposited(+)", at(m.event_soil_sed_mass, c));
    std::fputs("\n", fp);
    dotted(m, fp, "Soil mass balance error", at(m.soil_mass_balance_error, c), 0, "%14.4lf");
    if (m.soil_static_conc)
        std::fputs("When using static soil concentrations, mass balance errors represent implied additions to soil "
                   "top layer \n",
                   fp);
}

// Lakes of the channel network whose constituents are books of their own.
bool lakes_on(const model_state& m) { return m.chan_lakes_on && m.nlakes > 0; }

// The dissolved mass (g) and concentration (g/m3) of slot c in lake k.
double lake_mass(const model_state& m, int c, int k) { return m.chan_mass[c][m.chan_lake_row0 + k]; }
double lake_conc(const model_state& m, int c, int k) { return m.chan_conc[c][m.chan_lake_row0 + k]; }

bool channel_books(const model_state& m) { return m.chan_con_trans && !m.chan_mass.empty(); }

void event_overland(const model_state& m, std::FILE* fp, int c) {
    std::fputs("\n \n", fp);
    if (m.constituent_type.value(c) == 3) return;
    summary_line(m, fp, "Overland Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total mass for event in (Kg) \n \n", fp);
    dotted(m, fp, "Initial Dissolved Mass on Overland", at(m.event_ov_mass_init, c));
    dotted(m, fp, "Final Dissolved Mass on Overland", at(m.OV_MASS_FINAL, c));
    if (binds(m, c)) {
        dotted(m, fp, "Final attached to susp seds", at(m.ov_sed_contam_final_mass, c));
        dotted(m, fp, "Final total (attached+dissolved)", at(m.ov_total_contam_final_mass, c));
    }
    std::fputs("\n", fp);
    if (!m.soil_con_trans) {
        dotted(m, fp, "Initial undissolved mass", at(m.event_ov_land_mass, c));
        dotted(m, fp, "Final undissolved mass", at(m.OV_LAND_MASS_FINAL, c));
        std::fputs("\n", fp);
    }
    dotted(m, fp, "Point source mass gain", at(m.event_ov_point_mass, c));
    if (m.water_table_given) dotted(m, fp, "Exfiltration gain", at(m.event_ov_exfil_mass, c));
    dotted(m, fp, "Precipitation gain", at(m.event_ov_precip_mass, c));
    if (!reacts(m, c)) {
        dotted(m, fp, "Uptake from soil", at(m.event_ov_uptake_mass, c));
    } else {
        if (m.soil_con_trans) dotted(m, fp, "Uptake from soil (ZEP)", at(m.event_ov_uptake_mass, c));
        dotted(m, fp, "Gained from ZEP kinetics", at(m.event_ov_zep_mass_in, c), 0, "%14.4lf");
    }
    std::fputs("\n", fp);
    dotted(m, fp, "Infiltration", at(m.event_ov_infil_mass, c));
    if (m.chan_routing)
        dotted(m, fp, "Lateral flow to streams", at(m.event_ov_qlat_mass, c));
    else
        dotted(m, fp, "Outlet flux", at(m.event_ov_mass_out, c));
    if (!reacts(m, c))
        dotted(m, fp, "Decay loss", at(m.event_ov_decay_mass, c));
    else
        dotted(m, fp, "Loss to ZEP kinetics", at(m.event_ov_zep_mass_out, c), 0, "%14.4lf");
    if (lakes_on(m)) dotted(m, fp, "Flux to lake", at(m.event_lake_ov_inflow_mass, c));
    dotted(m, fp, "Negative mass", at(m.event_ov_neg_mass, c));
    if (binds(m, c)) {
        dotted(m, fp, "Sediment source", at(m.event_ov_sed_source_mass, c));
        std::fputs("\n", fp);
        if (m.chan_routing)
            dotted(m, fp, "Attached entering channels", at(m.event_chan_qlat_sed_mass, c));
        else
            dotted(m, fp, "Attached exiting outlet", at(m.event_ov_sed_outlet_mass, c));
        if (lakes_on(m)) dotted(m, fp, "Attached entering lakes", at(m.event_ov_lake_sed_contam_mass, c));
    }
    std::fputs("\n", fp);
    dotted(m, fp, "Dissolved mass balance error", at(m.OV_MASS_ERROR, c), 0, "%14.4lf");
}

void event_lakes(const model_state& m, std::FILE* fp, int c) {
    summary_line(m, fp, "Lake Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total mass for event (Kg) \n \n", fp);
    std::fputs("Dissolved State Mass Balance...\n", fp);
    dotted(m, fp, "Initial Dissolved in Lakes", at(m.event_lake_mass_init, c));
    dotted(m, fp, "Final Dissolved in Lakes", at(m.event_lake_mass_final, c));
    std::fputs("\n", fp);
    dotted(m, fp, "Precip", at(m.event_lake_precip_mass, c));
    dotted(m, fp, "Inflow", at(m.event_lake_chan_inflow_mass, c));
    dotted(m, fp, "Lake/chan exchange", at(m.event_lake_chan_exchange_mass, c));
    dotted(m, fp, "Overland flux", at(m.event_lake_ov_inflow_mass, c));
    dotted(m, fp, "Point source", at(m.event_lake_point_mass, c));
    dotted(m, fp, "Groundwater flux", at(m.event_lake_gw_mass, c), 1);
    dotted(m, fp, "Outflow", at(m.event_lake_chan_outflow_mass, c));
    dotted(m, fp, "Dissolved decay loss", at(m.event_lake_decay_mass, c));
    if (reacts(m, c)) {
        dotted(m, fp, "Gained from ZEP kinetics", at(m.event_lake_zep_mass_in, c), 0, "%14.4lf");
        dotted(m, fp, "Loss to ZEP kinetics", at(m.event_lake_zep_mass_out, c), 0, "%14.4lf");
    }
    if (binds(m, c)) dotted(m, fp, "Exchange with attached", at(m.event_lake_sed_contam_source_mass, c));
    std::fputs("\n", fp);
    dotted(m, fp, "Dissolved mass balance error", at(m.event_lake_mass_balance, c), 0, "%14.4lf");
    if (binds(m, c)) {
        std::fputs("\n", fp);
        if (at(m.event_lake_attached_init, c) != 0.0)
            dotted(m, fp, "Initial attached in lakes", at(m.event_lake_attached_init, c));
        dotted(m, fp, "Overland inflow", at(m.event_ov_lake_sed_contam_mass, c));
        dotted(m, fp, "Channel inflow", at(m.event_chan_lake_sed_contam_mass, c));
        dotted(m, fp, "Exchange with dissolved", at(m.event_lake_sed_contam_source_mass, c));
        // The balance's own term: the attached mass the settling sediment
        // laid onto the lakes' cells.
        dotted(m, fp, "Settled onto the lake bed", at(m.event_lake_settled_sed_mass, c));
        dotted(m, fp, "Final attached in lakes", mass_held(m, c).lake_attached / 1000.0);
    }
    std::fputs("\n", fp);
    for (int k = 1; k <= m.nlakes; ++k) {
        summary_line(m, fp, "Final Mass in lake %ld =        %14.2lf \n", static_cast<long>(k),
                     lake_mass(m, c, k) / 1000.0);
        summary_line(m, fp, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", static_cast<long>(k), lake_conc(m, c, k));
    }
}

void event_channel(const model_state& m, std::FILE* fp, int c) {
    if (m.constituent_type.value(c) == 3) return;
    std::fputs("\n \n", fp);
    summary_line(m, fp, "Channel Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total for event in (Kg) \n \n", fp);
    std::fputs("Dissolved State Mass Balance... \n \n", fp);
    dotted(m, fp, "Initial Dissolved Mass in Channels", at(m.event_chan_mass_init, c));
    dotted(m, fp, "Final Dissolved Mass in Channels", at(m.CHAN_MASS_FINAL, c), 1);
    dotted(m, fp, "Mass gain from overland", at(m.event_chan_lat_mass, c));
    dotted(m, fp, "Point source mass gain", at(m.event_chan_point_mass, c));
    if (reacts(m, c)) dotted(m, fp, "Mass gained in ZEP kinetics", at(m.event_chan_zep_mass_in, c), 1, "%14.4lf");
    if (lakes_on(m)) {
        dotted(m, fp, "Flow from lake to channel", at(m.event_lake_chan_outflow_mass, c));
        dotted(m, fp, "Exchange with lakes (-)", at(m.event_lake_chan_exchange_mass, c));
    }
    if (m.stream_loss) dotted(m, fp, "Groundwater net mass gain(+)/loss(-)", at(m.event_chan_gw_mass, c));
    if (binds(m, c)) dotted(m, fp, "Exhange with sediments", at(m.event_chan_sed_source_mass, c));
    if (lakes_on(m)) dotted(m, fp, "Flows to lake", at(m.event_lake_chan_inflow_mass, c));
    dotted(m, fp, "Outlet mass flux", at(m.event_chan_mass_out, c));
    if (m.constituent_type.value(c) == 1) dotted(m, fp, "Mass decay loss", at(m.event_chan_decay_mass, c));
    if (reacts(m, c)) dotted(m, fp, "Mass lost in ZEP kinetics", at(m.event_chan_zep_mass_out, c), 0, "%14.4lf");
    std::fputs("\n", fp);
    dotted(m, fp, "Contam mass balance error", at(m.CHAN_MASS_BALANCE, c), 0, "%14.4lf");
    std::fputs("\n", fp);
    if (binds(m, c)) {
        const held_mass h = mass_held(m, c);
        std::fputs("Contaminants Attached to Sediment Mass Balance...\n \n", fp);
        if (at(m.event_chan_attached_init, c) != 0.0)
            dotted(m, fp, "Initial attached to suspended sed", at(m.event_chan_attached_init, c));
        dotted(m, fp, "Lateral flow into channels", at(m.event_chan_qlat_sed_mass, c));
        dotted(m, fp, "Exiting watershed", at(m.event_chan_outlet_sed_mass, c));
        dotted(m, fp, "Exchange with dissolved", at(m.event_chan_sed_source_mass, c));
        dotted(m, fp, "Attached to suspended sed", h.chan_attached / 1000.0);
        if (lakes_on(m)) dotted(m, fp, "Attached entering lakes", at(m.event_chan_lake_sed_contam_mass, c));
        dotted(m, fp, "Total (dissolved+attached)", (h.channels + h.chan_attached) / 1000.0, 0, "%14.4lf");
        std::fputs("\n", fp);
    }
    if (lakes_on(m)) event_lakes(m, fp, c);
}

void line(const model_state& m, std::FILE* fp, const char* format, double value) {
    summary_line(m, fp, format, value);
}

void run_soil(const model_state& m, std::FILE* fp) {
    std::fputs("Soil Contaminant Transport Summary \n \n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        summary_line(m, fp, "Soil Constituent Transport Summary for %s \n", soil_name_of(m, c).c_str());
        line(m, fp, "Initial Mass in Soil Column   %14.2lf \n", at(m.SOIL_MASS_INIT, c));
        line(m, fp, "Final Mass in Soil Column     %14.2lf \n \n", at(m.SOIL_MASS_FINAL, c));
        line(m, fp, "Mass added by infiltration    %14.2lf \n", at(m.SOIL_INFIL_MASS, c));
        line(m, fp, "Mass seepage up from GW       %14.2lf \n \n", at(m.SOIL_FROM_WT_MASS, c));
        if (contaminant(m, c)) {
            line(m, fp, "Uptake from soil              %14.2lf \n", at(m.OV_UPTAKE_MASS, c));
            line(m, fp, "Soil decay mass               %14.2lf \n", at(m.SOIL_DECAY_MASS, c));
        } else {
            line(m, fp, "Uptake from soil (ZEP)        %14.2lf \n", at(m.OV_UPTAKE_MASS, c));
            line(m, fp, "ZEP decay mass               %14.2lf \n", at(m.SOIL_DECAY_MASS, c));
            line(m, fp, "Mass gained from ZEP kinetics   %14.4lf \n", at(m.SOIL_ZEP_MASS_IN, c));
            line(m, fp, "Mass lost to ZEP kinetics       %14.4lf \n", at(m.SOIL_ZEP_MASS_OUT, c));
        }
        if (m.water_table_given) line(m, fp, "Exfiltration mass loss        %14.2lf \n", at(m.SOIL_EXFIL_MASS, c));
        line(m, fp, "Mass seepage down to GW       %14.2lf \n \n", at(m.SOIL_TO_WT_MASS, c));
        if (binds(m, c)) line(m, fp, "Sediment eroded(-)/deposited  %14.2lf \n \n", at(m.SOIL_SED_MASS, c));
        line(m, fp, "Soil mass balance error       %14.4lf \n", at(m.SOIL_MASS_ERROR, c));
        if (m.soil_static_conc)
            std::fputs("When using static soil concentrations, mass balance errors represent implied additions to "
                       "soil top layer \n",
                       fp);
        std::fputs("\n", fp);
    }
}

void run_overland(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Overland Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (reacts(m, c))
            summary_line(m, fp, "Overland Constituent Transport Summary for %s \n", name_of(m, c).c_str());
        else
            summary_line(m, fp, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c,
                         name_of(m, c).c_str());
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        line(m, fp, "Initial Dissolved mass on ov  %14.2lf \n", at(m.OV_MASS_INIT, c));
        line(m, fp, "Final Dissolved mass on ov    %14.2lf \n", at(m.OV_MASS_FINAL, c));
        std::fputs("\n", fp);
        if (!m.soil_con_trans) {
            line(m, fp, "Initial undissolved mass      %14.2lf \n", at(m.OV_LAND_MASS_INIT, c));
            line(m, fp, "Final undissolved mass        %14.2lf \n", at(m.OV_LAND_MASS_FINAL, c));
            std::fputs("\n", fp);
        }
        line(m, fp, "Point source mass gain        %14.2lf \n", at(m.OV_POINT_MASS, c));
        if (m.water_table_given) line(m, fp, "Exfiltration mass gain        %14.2lf \n", at(m.OV_EXFIL_MASS, c));
        line(m, fp, "Precipitation mass gain       %14.2lf \n", at(m.OV_PRECIP_MASS, c));
        line(m, fp, "Uptake from soil              %14.2lf \n", at(m.OV_UPTAKE_MASS, c));
        if (binds(m, c)) line(m, fp, "Sediment source               %14.2lf \n", at(m.OV_SED_SOURCE_MASS, c));
        std::fputs("\n", fp);
        line(m, fp, "Mass loss to infiltration     %14.2lf \n", at(m.OV_INFIL_MASS, c));
        if (m.chan_routing) line(m, fp, "Mass loss to stream           %14.2lf \n", at(m.OV_QLAT_MASS, c));
        line(m, fp, "Outlet mass flux              %14.2lf \n", at(m.OV_MASS_OUT, c));
        if (!reacts(m, c)) {
            line(m, fp, "Mass decay loss on overland   %14.2lf \n", at(m.OV_MASS_DECAY, c));
        } else {
            line(m, fp, "Mass gained from ZEP kinetics   %14.4lf \n", at(m.OV_ZEP_MASS_IN, c));
            line(m, fp, "Mass lost to ZEP kinetics       %14.4lf \n", at(m.OV_ZEP_MASS_OUT, c));
        }
        if (lakes_on(m)) line(m, fp, "Lateral flow to lake          %14.2lf \n", at(m.LAKE_OV_INFLOW_MASS, c));
        std::fputs("\n", fp);
        if (binds(m, c)) {
            line(m, fp, "Attached to susp sediments    %14.2lf \n", at(m.OV_SED_CONTAM_FINAL, c));
            if (m.chan_routing)
                line(m, fp, "Attached entering streams     %14.2lf \n", at(m.CHAN_QLAT_SED_MASS, c));
            else
                line(m, fp, "Attached exiting watershed    %14.2lf \n", at(m.OV_SED_OUTLET_MASS, c));
        }
        std::fputs("\n", fp);
        line(m, fp, "Contam mass balance error       %14.4lf percent \n", at(m.OV_RUN_MASS_ERROR, c));
    }
}

void run_lakes(const model_state& m, std::FILE* fp, int c) {
    summary_line(m, fp, "Lake Contaminant Transport Summary for Constituent %5ld \n", static_cast<long>(c));
    std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
    line(m, fp, "Initial Mass in Lakes         %14.2lf \n", at(m.LAKE_MASS_INIT, c));
    line(m, fp, "Final Mass in Lakes           %14.2lf \n \n", at(m.LAKE_MASS_FINAL, c));
    line(m, fp, "Mass gain from overland       %14.2lf \n", at(m.LAKE_OV_INFLOW_MASS, c));
    line(m, fp, "Mass channel trib inflow      %14.2lf \n", at(m.LAKE_CHAN_INFLOW_MASS, c));
    line(m, fp, "Mass lake outlet flow         %14.2lf \n", at(m.LAKE_CHAN_OUTFLOW_MASS, c));
    line(m, fp, "Lake chan exchange mass       %14.2lf \n", at(m.LAKE_CHAN_EXCHANGE_MASS, c));
    line(m, fp, "Point source mass gain        %14.2lf \n", at(m.LAKE_POINT_MASS, c));
    line(m, fp, "Groundwater mass gain/loss    %14.2lf \n \n", at(m.LAKE_GW_MASS, c));
    line(m, fp, "Precip mass flux              %14.2lf \n", at(m.LAKE_PRECIP_MASS, c));
    line(m, fp, "Mass decay loss               %14.2lf \n \n", at(m.LAKE_DECAY_MASS, c));
    if (reacts(m, c)) {
        line(m, fp, "Mass gained from ZEP kinetics   %14.6lf \n", at(m.LAKE_ZEP_MASS_IN, c));
        line(m, fp, "Mass lost to ZEP kinetics       %14.6lf \n \n", at(m.LAKE_ZEP_MASS_OUT, c));
    }
    if (binds(m, c)) {
        // What the balance takes besides: the attached mass the lakes
        // gained and what settled with their sediment.
        line(m, fp, "Attached from overland        %14.2lf \n", at(m.OV_LAKE_SED_CONTAM_MASS, c));
        line(m, fp, "Attached from channels        %14.2lf \n", at(m.CHAN_LAKE_SED_CONTAM_MASS, c));
        line(m, fp, "Attached settled on lake bed  %14.2lf \n", at(m.LAKE_SETTLED_SED_MASS, c));
        line(m, fp, "Final attached in lakes       %14.2lf \n \n", mass_held(m, c).lake_attached / 1000.0);
    }
    line(m, fp, "Contam mass balance error       %14.4lf percent \n \n", at(m.LAKE_MASS_BALANCE, c));
    for (int k = 1; k <= m.nlakes; ++k) {
        summary_line(m, fp, "Final Mass in lake %ld = %14.2lf \n", static_cast<long>(k), lake_mass(m, c, k) / 1000.0);
        summary_line(m, fp, "Final Conc in lake %ld = %14.2lf \n \n", static_cast<long>(k), lake_conc(m, c, k));
    }
}

void run_channels(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Channel Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (m.constituent_type.value(c) == 3) continue;
        if (reacts(m, c))
            summary_line(m, fp, "Channel Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
        else
            summary_line(m, fp, "Channel Contaminant Transport Summary for Contaminant %5d \n", c);
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        std::fputs("Dissolved\n", fp);
        line(m, fp, "Initial Mass in Channels      %14.2lf \n", at(m.CHAN_MASS_INIT, c));
        line(m, fp, "Final Mass in Channels        %14.2lf \n \n", at(m.CHAN_MASS_FINAL, c));
        line(m, fp, "Mass gain from overland       %14.2lf \n", at(m.CHAN_LAT_MASS, c));
        line(m, fp, "Point source mass gain        %14.2lf \n", at(m.CHAN_POINT_MASS, c));
        if (lakes_on(m)) line(m, fp, "Flux from lake                %14.2lf \n", at(m.LAKE_CHAN_OUTFLOW_MASS, c));
        if (m.stream_loss) line(m, fp, "Groundwater mass gain/loss    %14.2lf \n \n", at(m.CHAN_GW_MASS, c));
        line(m, fp, "Outlet mass flux              %14.2lf \n", at(m.CHAN_MASS_OUT, c));
        if (m.constituent_type.value(c) == 1)
            line(m, fp, "Mass decay loss               %14.2lf \n", at(m.CHAN_MASS_DECAY, c));
        if (reacts(m, c)) {
            line(m, fp, "Mass gained from ZEP kinetics   %14.6lf \n", at(m.CHAN_ZEP_MASS_IN, c));
            line(m, fp, "Mass lost to ZEP kinetics       %14.6lf \n", at(m.CHAN_ZEP_MASS_OUT, c));
        }
        if (lakes_on(m)) {
            line(m, fp, "Flux to lake                  %14.2lf \n", at(m.LAKE_CHAN_INFLOW_MASS, c));
            line(m, fp, "Exchange with lake            %14.2lf \n", at(m.LAKE_CHAN_EXCHANGE_MASS, c));
        }
        if (binds(m, c)) line(m, fp, "Exchange with sediment        %14.2lf \n", at(m.CHAN_SED_SOURCE_MASS, c));
        std::fputs("\n", fp);
        line(m, fp, "Dissolved mass balance error       %14.4lf percent \n", at(m.CHAN_RUN_MASS_ERROR, c));
        std::fputs("\n", fp);
        std::fputs("Attached\n", fp);
        if (binds(m, c)) {
            line(m, fp, "Lateral flow into channels    %14.2lf \n", at(m.CHAN_QLAT_SED_MASS, c));
            line(m, fp, "Final suspended               %14.2lf \n", mass_held(m, c).chan_attached / 1000.0);
            line(m, fp, "Exchange with dissolved       %14.2lf \n", at(m.CHAN_SED_SOURCE_MASS, c));
            line(m, fp, "Exiting outlet                %14.2lf \n", at(m.CHAN_OUTLET_SED_MASS, c));
        }
        std::fputs("\n", fp);
        if (lakes_on(m)) run_lakes(m, fp, c);
    }
}

void run_global(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Global Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        if (!contaminant(m, c))
            summary_line(m, fp, "Contaminant Transport Global Summary for %s \n", global_name_of(m, c).c_str());
        else
            summary_line(m, fp, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        line(m, fp, "Total initial mass            %14.2lf \n", at(m.GLOBAL_MASS_INIT, c));
        line(m, fp, "Total final Mass              %14.2lf \n \n", at(m.GLOBAL_MASS_FINAL, c));
        line(m, fp, "Point source inputs           %14.2lf\n", at(m.GLOBAL_POINT_SOURCE, c));
        line(m, fp, "Precipitation inputs          %14.2lf \n", at(m.GLOBAL_PRECIP_MASS, c));
        line(m, fp, "Flux from GW to streams       %14.2lf \n", at(m.GLOBAL_GW_MASS, c));
        if (m.soil_con_trans) line(m, fp, "Soil mass in from groundwater %14.2lf \n \n", at(m.SOIL_FROM_WT_MASS, c));
        if (m.soil_con_trans && m.zep) {
            line(m, fp, "Gained from other species     %14.4lf \n", at(m.ZEP_SPECIES_IN, c));
            line(m, fp, "Given to other species        %14.4lf \n \n", at(m.ZEP_SPECIES_OUT, c));
        }
        double out = at(m.GLOBAL_MASS_OUT, c);
        if (!m.soil_con_trans) out += at(m.OV_INFIL_MASS, c);
        line(m, fp, "Total mass out of system      %14.2lf \n \n", out);
        if (contaminant(m, c))
            line(m, fp, "Mass decay loss               %14.2lf \n", at(m.GLOBAL_MASS_DECAY, c));
        else
            line(m, fp, "ZEP gain/loss                 %14.2lf \n",
                 at(m.OV_ZEP_MASS_IN, c) + at(m.CHAN_ZEP_MASS_IN, c) + at(m.LAKE_ZEP_MASS_IN, c) +
                     at(m.SOIL_ZEP_MASS_IN, c) - at(m.OV_ZEP_MASS_OUT, c) - at(m.CHAN_ZEP_MASS_OUT, c) -
                     at(m.LAKE_ZEP_MASS_OUT, c) - at(m.SOIL_ZEP_MASS_OUT, c));
        std::fputs("\n", fp);
        line(m, fp, "Contam mass balance error       %14.4lf percent \n", at(m.GLOBAL_MASS_CON_ERROR, c));
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
    line(m, fp, "  Total dm/dt in:  %14.4lf\n", (z.overland.gained + z.chan_gained + z.soils.gained) / 1000.0);
    line(m, fp, "  Total dm/dt out: %14.4lf\n\n", (z.overland.lost + z.chan_lost + z.soils.lost) / 1000.0);
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
