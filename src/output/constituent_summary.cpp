// The constituent sections of the summary file: in each event summary the
// event's soil and overland mass balance of every contaminant, and at the
// end of the run the run's soil, overland and whole-basin balances. Masses
// in kg; balance errors in percent of what came in (the books form them).
#include <cstdio>
#include <string>

#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "transport/constituent_books.hpp"

namespace kesta {

namespace {

double at(const array1d<double>& a, int c) { return a.value(c); }

const std::string& name_of(const model_state& m, int c) { return m.contam_names[static_cast<std::size_t>(c)]; }

void dotted(std::FILE* fp, const char* label, double value, int extra = 0, const char* format = "%14.2lf") {
    write_padded_value(fp, label, value, 50, format, '.', 14, extra);
}

void event_soil(const model_state& m, std::FILE* fp, int c) {
    std::fprintf(fp, "\n\nSoil Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("\n", fp);
    dotted(fp, "Initial Mass in Soil Column", at(m.event_soil_mass_init, c));
    dotted(fp, "Final Mass in Soil Column", at(m.event_soil_mass_final, c), 1);
    dotted(fp, "Mass added by infiltration", at(m.event_soil_infil_mass, c), 1);
    if (m.water_table_given) dotted(fp, "Exfiltration mass loss", at(m.event_soil_exfil_mass, c));
    dotted(fp, "Mass seepage to water table", at(m.event_soil_to_wt_mass, c));
    if (m.water_table_given) dotted(fp, "Mass seepage from water table", at(m.event_soil_from_wt_mass, c));
    dotted(fp, "Soil decay mass", at(m.event_soil_decay_mass, c));
    dotted(fp, "Surface water exchange from soil", at(m.event_ov_from_soil_mass, c));
    dotted(fp, "Surface water exchange to soil", at(m.event_ov_to_soil_mass, c));
    if (m.sediment_contam) dotted(fp, "Sediment eroded(-)/deposited(+)", at(m.event_soil_sed_mass, c));
    std::fputs("\n", fp);
    dotted(fp, "Soil mass balance error", at(m.soil_mass_balance_error, c), 0, "%14.4lf");
    if (m.soil_static_conc)
        std::fputs("When using static soil concentrations, mass balance errors represent implied additions to soil "
                   "top layer \n",
                   fp);
}

void event_overland(const model_state& m, std::FILE* fp, int c) {
    std::fputs("\n \n", fp);
    if (m.constituent_type.value(c) == 3) return;
    std::fprintf(fp, "Overland Contaminant Transport Summary for %s \n", name_of(m, c).c_str());
    std::fputs("Amounts are total mass for event in (Kg) \n \n", fp);
    dotted(fp, "Initial Dissolved Mass on Overland", at(m.event_ov_mass_init, c));
    dotted(fp, "Final Dissolved Mass on Overland", at(m.OV_MASS_FINAL, c));
    if (m.sediment_contam) {
        dotted(fp, "Final attached to susp seds", at(m.ov_sed_contam_final_mass, c));
        dotted(fp, "Final total (attached+dissolved)", at(m.ov_total_contam_final_mass, c));
    }
    std::fputs("\n", fp);
    if (!m.soil_con_trans) {
        dotted(fp, "Initial undissolved mass", at(m.event_ov_land_mass, c));
        dotted(fp, "Final undissolved mass", at(m.OV_LAND_MASS_FINAL, c));
        std::fputs("\n", fp);
    }
    dotted(fp, "Point source mass gain", at(m.event_ov_point_mass, c));
    if (m.water_table_given) dotted(fp, "Exfiltration gain", at(m.event_ov_exfil_mass, c));
    dotted(fp, "Precipitation gain", at(m.event_ov_precip_mass, c));
    dotted(fp, "Uptake from soil", at(m.event_ov_uptake_mass, c));
    std::fputs("\n", fp);
    dotted(fp, "Infiltration", at(m.event_ov_infil_mass, c));
    dotted(fp, "Outlet flux", at(m.event_ov_mass_out, c));
    dotted(fp, "Decay loss", at(m.event_ov_decay_mass, c));
    dotted(fp, "Negative mass", at(m.event_ov_neg_mass, c));
    if (m.sediment_contam) {
        dotted(fp, "Sediment source", at(m.event_ov_sed_source_mass, c));
        std::fputs("\n", fp);
        dotted(fp, "Attached exiting outlet", at(m.event_ov_sed_outlet_mass, c));
    }
    std::fputs("\n", fp);
    dotted(fp, "Dissolved mass balance error", at(m.OV_MASS_ERROR, c), 0, "%14.4lf");
}

void line(std::FILE* fp, const char* format, double value) { std::fprintf(fp, format, value); }

void run_soil(const model_state& m, std::FILE* fp) {
    std::fputs("Soil Contaminant Transport Summary \n \n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        std::fprintf(fp, "Soil Constituent Transport Summary for %s \n", name_of(m, c).c_str());
        line(fp, "Initial Mass in Soil Column   %14.2lf \n", at(m.SOIL_MASS_INIT, c));
        line(fp, "Final Mass in Soil Column     %14.2lf \n \n", at(m.SOIL_MASS_FINAL, c));
        line(fp, "Mass added by infiltration    %14.2lf \n", at(m.SOIL_INFIL_MASS, c));
        line(fp, "Mass seepage up from GW       %14.2lf \n \n", at(m.SOIL_FROM_WT_MASS, c));
        line(fp, "Uptake from soil              %14.2lf \n", at(m.OV_UPTAKE_MASS, c));
        line(fp, "Soil decay mass               %14.2lf \n", at(m.SOIL_DECAY_MASS, c));
        if (m.water_table_given) line(fp, "Exfiltration mass loss        %14.2lf \n", at(m.SOIL_EXFIL_MASS, c));
        line(fp, "Mass seepage down to GW       %14.2lf \n \n", at(m.SOIL_TO_WT_MASS, c));
        if (m.sediment_contam) line(fp, "Sediment eroded(-)/deposited  %14.2lf \n \n", at(m.SOIL_SED_MASS, c));
        line(fp, "Soil mass balance error       %14.4lf \n", at(m.SOIL_MASS_ERROR, c));
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
        std::fprintf(fp, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c,
                     name_of(m, c).c_str());
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        line(fp, "Initial Dissolved mass on ov  %14.2lf \n", at(m.OV_MASS_INIT, c));
        line(fp, "Final Dissolved mass on ov    %14.2lf \n", at(m.OV_MASS_FINAL, c));
        std::fputs("\n", fp);
        if (!m.soil_con_trans) {
            line(fp, "Initial undissolved mass      %14.2lf \n", at(m.OV_LAND_MASS_INIT, c));
            line(fp, "Final undissolved mass        %14.2lf \n", at(m.OV_LAND_MASS_FINAL, c));
            std::fputs("\n", fp);
        }
        line(fp, "Point source mass gain        %14.2lf \n", at(m.OV_POINT_MASS, c));
        if (m.water_table_given) line(fp, "Exfiltration mass gain        %14.2lf \n", at(m.OV_EXFIL_MASS, c));
        line(fp, "Precipitation mass gain       %14.2lf \n", at(m.OV_PRECIP_MASS, c));
        line(fp, "Uptake from soil              %14.2lf \n", at(m.OV_UPTAKE_MASS, c));
        if (m.sediment_contam) line(fp, "Sediment source               %14.2lf \n", at(m.OV_SED_SOURCE_MASS, c));
        std::fputs("\n", fp);
        line(fp, "Mass loss to infiltration     %14.2lf \n", at(m.OV_INFIL_MASS, c));
        line(fp, "Outlet mass flux              %14.2lf \n", at(m.OV_MASS_OUT, c));
        line(fp, "Mass decay loss on overland   %14.2lf \n", at(m.OV_MASS_DECAY, c));
        std::fputs("\n", fp);
        if (m.sediment_contam) {
            line(fp, "Attached to susp sediments    %14.2lf \n", at(m.OV_SED_CONTAM_FINAL, c));
            line(fp, "Attached exiting watershed    %14.2lf \n", at(m.OV_SED_OUTLET_MASS, c));
        }
        std::fputs("\n", fp);
        line(fp, "Contam mass balance error       %14.4lf percent \n", at(m.OV_RUN_MASS_ERROR, c));
    }
}

void run_global(const model_state& m, std::FILE* fp) {
    std::fputs("\n\n *************   Global Transport Summaries   **************** \n\n", fp);
    for (int c = 1; c <= m.ncontam; ++c) {
        std::fprintf(fp, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
        std::fputs("Amounts are total for simulations in (Kg) \n \n", fp);
        line(fp, "Total initial mass            %14.2lf \n", at(m.GLOBAL_MASS_INIT, c));
        line(fp, "Total final Mass              %14.2lf \n \n", at(m.GLOBAL_MASS_FINAL, c));
        line(fp, "Point source inputs           %14.2lf\n", at(m.GLOBAL_POINT_SOURCE, c));
        line(fp, "Precipitation inputs          %14.2lf \n", at(m.GLOBAL_PRECIP_MASS, c));
        line(fp, "Flux from GW to streams       %14.2lf \n", at(m.GLOBAL_GW_MASS, c));
        if (m.soil_con_trans) line(fp, "Soil mass in from groundwater %14.2lf \n \n", at(m.SOIL_FROM_WT_MASS, c));
        double out = at(m.GLOBAL_MASS_OUT, c);
        if (!m.soil_con_trans) out += at(m.OV_INFIL_MASS, c);
        line(fp, "Total mass out of system      %14.2lf \n \n", out);
        line(fp, "Mass decay loss               %14.2lf \n", at(m.GLOBAL_MASS_DECAY, c));
        std::fputs("\n", fp);
        line(fp, "Contam mass balance error       %14.4lf percent \n", at(m.GLOBAL_MASS_CON_ERROR, c));
    }
}

}  // namespace

void write_event_constituent_summary(const model_state& m, std::FILE* fp) {
    if (!fp || !m.ov_con_trans || m.ncontam <= 0) return;
    if (m.soil_con_trans)
        for (int c = 1; c <= m.ncontam; ++c) event_soil(m, fp, c);
    for (int c = 1; c <= m.ncontam; ++c) event_overland(m, fp, c);
    std::fputs("\n", fp);
}

void write_constituent_run_summary(model_state& m) {
    if (!m.ov_con_trans || m.ncontam <= 0) return;
    close_constituent_books(m, true);
    std::FILE* fp = m.summary_fp.get();
    if (!fp) return;
    if (m.soil_con_trans) run_soil(m, fp);
    run_overland(m, fp);
    run_global(m, fp);
}

}  // namespace kesta
