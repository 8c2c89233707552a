#include "transport/constituent_books.hpp"

#include "model/model_state.hpp"

namespace kesta {

namespace {

constexpr double kGramsPerKilogram = 1000.0;
// Inputs at or below this give a balance error of 0: nothing came in (kg).
constexpr double kNoInput = 1e-16;

void add(array1d<double>& a, int c, double kg) { a.at(c) += kg; }

double percent_missing(double in, double out, double threshold) {
    return in > threshold ? 100.0 * (in - out) / in : 0.0;
}

// A sediment exchange S: a gain counts with the inputs, a loss with the
// outputs.
void add_exchange(double s, double& in, double& out) {
    if (s > 0.0) in += s;
    else out -= s;
}

// The channels' and the lakes' final masses and balances of slot c, over
// the event or the run.
void close_channel_books(model_state& m, int c, bool run, const held_mass& h) {
    // The run's total or the event's.
    const auto at = [c, run](const array1d<double>& total, const array1d<double>& event) {
        return (run ? total : event).value(c);
    };
    const double channels = h.channels / kGramsPerKilogram, lakes = h.lakes / kGramsPerKilogram;
    // The attached mass counts with the dissolved: the sorption split moves
    // mass between them, within the channels and within the lakes.
    const double chan_attached = h.chan_attached / kGramsPerKilogram;
    const double lake_attached = h.lake_attached / kGramsPerKilogram;
    m.CHAN_MASS_FINAL.at(c) = channels;
    const double lake_out = at(m.LAKE_CHAN_OUTFLOW_MASS, m.event_lake_chan_outflow_mass);
    const double lake_in = at(m.LAKE_CHAN_INFLOW_MASS, m.event_lake_chan_inflow_mass);
    const double exchange = at(m.LAKE_CHAN_EXCHANGE_MASS, m.event_lake_chan_exchange_mass);
    const double attached_to_lakes = at(m.CHAN_LAKE_SED_CONTAM_MASS, m.event_chan_lake_sed_contam_mass);
    // A run starts with no attached mass in the channels and lakes; an
    // event starts with what the one before left.
    const double chan_attached_init = run ? 0.0 : m.event_chan_attached_init.value(c);
    const double lake_attached_init = run ? 0.0 : m.event_lake_attached_init.value(c);
    double in = at(m.CHAN_MASS_INIT, m.event_chan_mass_init) + chan_attached_init +
                at(m.CHAN_POINT_MASS, m.event_chan_point_mass) +
                at(m.CHAN_GW_MASS, m.event_chan_gw_mass) + at(m.CHAN_LAT_MASS, m.event_chan_lat_mass) + lake_out +
                at(m.CHAN_QLAT_SED_MASS, m.event_chan_qlat_sed_mass) +
                at(m.CHAN_ZEP_MASS_IN, m.event_chan_zep_mass_in);
    double out = channels + chan_attached + at(m.CHAN_MASS_DECAY, m.event_chan_decay_mass) +
                 at(m.CHAN_ZEP_MASS_OUT, m.event_chan_zep_mass_out) +
                 at(m.CHAN_MASS_OUT, m.event_chan_mass_out) + exchange + lake_in +
                 at(m.CHAN_OUTLET_SED_MASS, m.event_chan_outlet_sed_mass) + attached_to_lakes;
    (run ? m.CHAN_RUN_MASS_ERROR : m.CHAN_MASS_BALANCE).at(c) = percent_missing(in, out, 0.0);
    if (!m.chan_lakes_on) return;
    (run ? m.LAKE_MASS_FINAL : m.event_lake_mass_final).at(c) = lakes;
    in = at(m.LAKE_MASS_INIT, m.event_lake_mass_init) + lake_attached_init +
         at(m.LAKE_PRECIP_MASS, m.event_lake_precip_mass) + lake_in +
         at(m.LAKE_OV_INFLOW_MASS, m.event_lake_ov_inflow_mass) + at(m.LAKE_GW_MASS, m.event_lake_gw_mass) +
         exchange + at(m.LAKE_POINT_MASS, m.event_lake_point_mass) + attached_to_lakes +
         at(m.OV_LAKE_SED_CONTAM_MASS, m.event_ov_lake_sed_contam_mass) +
         at(m.LAKE_ZEP_MASS_IN, m.event_lake_zep_mass_in);
    out = lakes + lake_attached + lake_out + at(m.LAKE_DECAY_MASS, m.event_lake_decay_mass) +
          at(m.LAKE_ZEP_MASS_OUT, m.event_lake_zep_mass_out) +
          at(m.LAKE_SETTLED_SED_MASS, m.event_lake_settled_sed_mass);
    (run ? m.LAKE_MASS_BALANCE : m.event_lake_mass_balance).at(c) = percent_missing(in, out, 0.0);
}

}  // namespace

void book_grams(array1d<double>& run, array1d<double>& event, int c, double grams) {
    run.at(c) += grams / kGramsPerKilogram;
    event.at(c) += grams / kGramsPerKilogram;
}

void book_ov_precip(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.OV_PRECIP_MASS, m.event_ov_precip_mass, c, grams);
    add(m.GLOBAL_PRECIP_MASS, c, kg);
}

void book_ov_point(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.OV_POINT_MASS, m.event_ov_point_mass, c, grams);
    add(m.GLOBAL_POINT_SOURCE, c, kg);
}

void book_ov_exfil(model_state& m, int c, double grams) {
    book_grams(m.OV_EXFIL_MASS, m.event_ov_exfil_mass, c, grams);
}

void book_ov_infil(model_state& m, int c, double grams) {
    book_grams(m.OV_INFIL_MASS, m.event_ov_infil_mass, c, grams);
    if (!m.soil_con_trans) return;
    book_grams(m.SOIL_INFIL_MASS, m.event_soil_infil_mass, c, grams);
}

void book_ov_infil_into(model_state& m, int c, int into, double grams) {
    if (into == c) return book_ov_infil(m, c, grams);
    book_grams(m.OV_INFIL_MASS, m.event_ov_infil_mass, c, grams);
    if (into < 1) {
        add(m.GLOBAL_MASS_OUT, c, grams / kGramsPerKilogram);
        return;
    }
    book_grams(m.SOIL_INFIL_MASS, m.event_soil_infil_mass, into, grams);
    book_species_crossing(m, c, into, grams);
}

void book_ov_decay(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.OV_MASS_DECAY, m.event_ov_decay_mass, c, grams);
    add(m.GLOBAL_MASS_DECAY, c, kg);
}

void book_ov_outlet(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.OV_MASS_OUT, m.event_ov_mass_out, c, grams);
    add(m.GLOBAL_MASS_OUT, c, kg);
}

void book_ov_exchange(model_state& m, int c, double grams) {
    book_grams(m.OV_UPTAKE_MASS, m.event_ov_uptake_mass, c, grams);
    if (!m.soil_con_trans) return;
    if (grams > 0.0) {
        book_grams(m.OV_FROM_SOIL_MASS, m.event_ov_from_soil_mass, c, grams);
    } else {
        book_grams(m.OV_TO_SOIL_MASS, m.event_ov_to_soil_mass, c, -grams);
    }
}

void book_ov_reaction(model_state& m, int c, double made, double used) {
    book_grams(m.OV_ZEP_MASS_IN, m.event_ov_zep_mass_in, c, made);
    book_grams(m.OV_ZEP_MASS_OUT, m.event_ov_zep_mass_out, c, used);
}

void book_soil_leached(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.SOIL_TO_WT_MASS, m.event_soil_to_wt_mass, c, grams);
    add(m.GLOBAL_MASS_OUT, c, kg);
}

void book_soil_from_wt(model_state& m, int c, double grams) {
    book_grams(m.SOIL_FROM_WT_MASS, m.event_soil_from_wt_mass, c, grams);
}

void book_soil_exfil(model_state& m, int c, int to, double grams) {
    book_grams(m.SOIL_EXFIL_MASS, m.event_soil_exfil_mass, c, grams);
    book_ov_exfil(m, to, grams);
    book_species_crossing(m, c, to, grams);
}

void book_soil_decay(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.SOIL_DECAY_MASS, m.event_soil_decay_mass, c, grams);
    add(m.GLOBAL_MASS_DECAY, c, kg);
}

void book_soil_sediment(model_state& m, int c, double grams) {
    book_grams(m.SOIL_SED_MASS, m.event_soil_sed_mass, c, grams);
}

void book_soil_reaction(model_state& m, int c, double made, double used) {
    book_grams(m.SOIL_ZEP_MASS_IN, m.event_soil_zep_mass_in, c, made);
    book_grams(m.SOIL_ZEP_MASS_OUT, m.event_soil_zep_mass_out, c, used);
}

void book_species_crossing(model_state& m, int from, int to, double grams) {
    if (from == to) return;
    add(m.ZEP_SPECIES_OUT, from, grams / kGramsPerKilogram);
    add(m.ZEP_SPECIES_IN, to, grams / kGramsPerKilogram);
}

void book_lake_ov_inflow(model_state& m, int c, double grams) {
    book_grams(m.LAKE_OV_INFLOW_MASS, m.event_lake_ov_inflow_mass, c, grams);
}

void book_lake_precip(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.LAKE_PRECIP_MASS, m.event_lake_precip_mass, c, grams);
    add(m.GLOBAL_PRECIP_MASS, c, kg);
}

void book_chan_reaction(model_state& m, int c, bool lake, double made, double used) {
    book_grams(lake ? m.LAKE_ZEP_MASS_IN : m.CHAN_ZEP_MASS_IN, lake ? m.event_lake_zep_mass_in : m.event_chan_zep_mass_in, c, made);
    book_grams(lake ? m.LAKE_ZEP_MASS_OUT : m.CHAN_ZEP_MASS_OUT, lake ? m.event_lake_zep_mass_out : m.event_chan_zep_mass_out, c, used);
}

void book_sed_exchange(model_state& m, int c, double grams) {
    book_grams(m.OV_SED_SOURCE_MASS, m.event_ov_sed_source_mass, c, grams);
}

void book_sed_outlet(model_state& m, int c, double grams) {
    const double kg = grams / kGramsPerKilogram;
    book_grams(m.OV_SED_OUTLET_MASS, m.event_ov_sed_outlet_mass, c, grams);
    add(m.GLOBAL_MASS_OUT, c, kg);
}

held_mass mass_held(const model_state& m, int c) {
    held_mass h;
    const std::size_t s = static_cast<std::size_t>(c);
    if (s >= m.contam_mass.size()) return h;
    const vec1<double>& mass = m.contam_mass[s];
    for (int k = 1; k <= m.ncells; ++k) h.overland += mass[k];
    if (m.soil_con_trans && s < m.soil_mass.size()) {
        const mat2<double>& soil = m.soil_mass[s];
        for (int k = 1; k <= m.ncells; ++k) {
            for (int l = 1; l <= m.soil_layer_count[k]; ++l) h.soil += soil[k][l];
        }
    } else {
        const vec1<double>& land = m.contam_land_mass[s];
        for (int k = 1; k <= m.ncells; ++k) h.land += land[k];
    }
    if (s < m.attached_mass.size()) {
        const mat2<double>& a = m.attached_mass[s];
        for (int k = 1; k <= m.ncells; ++k) h.attached += a[k][0];
    }
    if (!m.chan_mass.empty() && c <= m.chan_mass.nrows()) {
        const double* mass = m.chan_mass[c];
        const double* source = m.chan_source[c];
        for (int r = 1; r <= m.chan_lake_row0; ++r) h.channels += mass[r] + source[r];
        for (int r = m.chan_lake_row0 + 1; r <= m.chan_rows; ++r) h.lakes += mass[r];
    }
    if (s < m.chan_sed_contam.size() && !m.chan_sed_contam[s].empty()) {
        const mat2<double>& a = m.chan_sed_contam[s];
        for (int r = 1; r <= m.chan_lake_row0; ++r) h.chan_attached += a[r][0];
        for (int r = m.chan_lake_row0 + 1; r <= m.chan_rows; ++r) h.lake_attached += a[r][0];
    }
    return h;
}

void open_constituent_event_books(model_state& m) {
    for (array1d<double>* a :
         {&m.event_ov_mass_init, &m.event_ov_decay_mass, &m.event_ov_uptake_mass, &m.event_ov_infil_mass,
          &m.event_ov_exfil_mass, &m.event_ov_qlat_mass, &m.event_ov_mass_out, &m.event_ov_point_mass,
          &m.event_ov_precip_mass, &m.event_ov_land_mass, &m.event_ov_neg_mass, &m.event_ov_to_soil_mass,
          &m.event_ov_from_soil_mass, &m.event_soil_mass_init, &m.event_soil_mass_final, &m.event_soil_infil_mass,
          &m.event_soil_to_wt_mass, &m.event_soil_from_wt_mass, &m.event_soil_exfil_mass,
          &m.event_soil_decay_mass, &m.event_soil_sed_mass, &m.event_ov_sed_source_mass,
          &m.event_ov_sed_outlet_mass, &m.event_chan_mass_init, &m.event_chan_lat_mass, &m.event_chan_point_mass,
          &m.event_chan_gw_mass, &m.event_chan_decay_mass, &m.event_chan_mass_out, &m.event_lake_mass_init,
          &m.event_lake_mass_final, &m.event_lake_decay_mass, &m.event_lake_precip_mass, &m.event_lake_gw_mass,
          &m.event_lake_point_mass, &m.event_lake_chan_inflow_mass, &m.event_lake_chan_outflow_mass,
          &m.event_lake_ov_inflow_mass, &m.event_lake_chan_exchange_mass, &m.event_chan_qlat_sed_mass,
          &m.event_chan_outlet_sed_mass, &m.event_chan_lake_sed_contam_mass, &m.event_ov_lake_sed_contam_mass,
          &m.event_lake_settled_sed_mass, &m.event_chan_sed_source_mass, &m.event_lake_sed_contam_source_mass,
          &m.event_chan_attached_init, &m.event_lake_attached_init, &m.event_ov_zep_mass_in,
          &m.event_ov_zep_mass_out, &m.event_chan_zep_mass_in, &m.event_chan_zep_mass_out, &m.event_lake_zep_mass_in,
          &m.event_lake_zep_mass_out, &m.event_soil_zep_mass_in, &m.event_soil_zep_mass_out}) {
        for (int c = 1; c <= a->size(); ++c) a->at(c) = 0.0;
    }
    for (int c = 1; c <= m.ncontam; ++c) {
        const held_mass h = mass_held(m, c);
        m.event_ov_mass_init.at(c) = h.overland / kGramsPerKilogram;
        m.event_ov_land_mass.at(c) = h.land / kGramsPerKilogram;
        m.event_soil_mass_init.at(c) = h.soil / kGramsPerKilogram;
        m.event_chan_mass_init.at(c) = h.channels / kGramsPerKilogram;
        m.event_lake_mass_init.at(c) = h.lakes / kGramsPerKilogram;
        m.event_chan_attached_init.at(c) = h.chan_attached / kGramsPerKilogram;
        m.event_lake_attached_init.at(c) = h.lake_attached / kGramsPerKilogram;
    }
}

void close_constituent_books(model_state& m, bool run) {
    const bool soil = m.soil_con_trans != 0;
    const bool sediment = m.sediment_contam != 0;
    for (int c = 1; c <= m.ncontam; ++c) {
        const held_mass h = mass_held(m, c);
        const double overland = h.overland / kGramsPerKilogram;
        const double attached = h.attached / kGramsPerKilogram;
        m.OV_MASS_FINAL.at(c) = overland;
        m.OV_LAND_MASS_FINAL.at(c) = (soil ? h.soil : h.land) / kGramsPerKilogram;
        m.ov_sed_contam_final_mass.at(c) = attached;
        m.ov_total_contam_final_mass.at(c) = overland + attached;
        m.GLOBAL_MASS_FINAL.at(c) =
            (h.overland + h.land + h.soil + h.attached + h.channels + h.lakes + h.chan_attached + h.lake_attached) /
            kGramsPerKilogram;

        // The soil's balance.
        if (soil) {
            const double final_soil = h.soil / kGramsPerKilogram;
            double in = 0.0, out = 0.0;
            if (run) {
                m.SOIL_MASS_FINAL.at(c) = final_soil;
                in = m.SOIL_MASS_INIT.at(c) + m.SOIL_INFIL_MASS.at(c) + m.SOIL_FROM_WT_MASS.at(c) +
                     m.OV_TO_SOIL_MASS.at(c) + m.SOIL_ZEP_MASS_IN.at(c);
                out = final_soil + m.SOIL_TO_WT_MASS.at(c) + m.SOIL_EXFIL_MASS.at(c) + m.OV_FROM_SOIL_MASS.at(c) +
                      m.SOIL_DECAY_MASS.at(c) + m.SOIL_ZEP_MASS_OUT.at(c);
                if (sediment) add_exchange(m.SOIL_SED_MASS.at(c), in, out);
                m.SOIL_MASS_ERROR.at(c) = percent_missing(in, out, kNoInput);
            } else {
                m.event_soil_mass_final.at(c) = final_soil;
                in = m.event_soil_mass_init.at(c) + m.event_soil_infil_mass.at(c) +
                     m.event_soil_from_wt_mass.at(c) + m.event_ov_to_soil_mass.at(c) +
                     m.event_soil_zep_mass_in.at(c);
                out = final_soil + m.event_soil_to_wt_mass.at(c) + m.event_soil_exfil_mass.at(c) +
                      m.event_ov_from_soil_mass.at(c) + m.event_soil_decay_mass.at(c) +
                      m.event_soil_zep_mass_out.at(c);
                if (sediment) add_exchange(m.event_soil_sed_mass.at(c), in, out);
                m.soil_mass_balance_error.at(c) = percent_missing(in, out, kNoInput);
            }
        }

        // The dissolved mass over land.
        array1d<double>& init = run ? m.OV_MASS_INIT : m.event_ov_mass_init;
        array1d<double>& point = run ? m.OV_POINT_MASS : m.event_ov_point_mass;
        array1d<double>& precip = run ? m.OV_PRECIP_MASS : m.event_ov_precip_mass;
        array1d<double>& exfil = run ? m.OV_EXFIL_MASS : m.event_ov_exfil_mass;
        array1d<double>& infil = run ? m.OV_INFIL_MASS : m.event_ov_infil_mass;
        array1d<double>& decay = run ? m.OV_MASS_DECAY : m.event_ov_decay_mass;
        array1d<double>& outlet = run ? m.OV_MASS_OUT : m.event_ov_mass_out;
        array1d<double>& uptake = run ? m.OV_UPTAKE_MASS : m.event_ov_uptake_mass;
        array1d<double>& to_soil = run ? m.OV_TO_SOIL_MASS : m.event_ov_to_soil_mass;
        array1d<double>& from_soil = run ? m.OV_FROM_SOIL_MASS : m.event_ov_from_soil_mass;
        array1d<double>& sed_source = run ? m.OV_SED_SOURCE_MASS : m.event_ov_sed_source_mass;
        const auto at = [c](array1d<double>& a) { return a.at(c); };
        double in = at(init) + at(point) + at(precip) + at(exfil) +
                    at(run ? m.OV_ZEP_MASS_IN : m.event_ov_zep_mass_in);
        double out = overland + at(infil) + at(outlet) + at(decay) +
                     at(run ? m.OV_ZEP_MASS_OUT : m.event_ov_zep_mass_out);
        if (soil) {
            out += at(to_soil);
            in += at(from_soil);
        } else {
            add_exchange(at(uptake), in, out);
        }
        if (sediment) add_exchange(at(sed_source), in, out);
        const bool channels = !m.chan_mass.empty();
        if (channels) out += at(run ? m.OV_QLAT_MASS : m.event_ov_qlat_mass) +
                             at(run ? m.LAKE_OV_INFLOW_MASS : m.event_lake_ov_inflow_mass);
        (run ? m.OV_RUN_MASS_ERROR : m.OV_MASS_ERROR).at(c) = percent_missing(in, out, kNoInput);
        if (channels) close_channel_books(m, c, run, h);

        // The whole basin over the run.
        if (run) {
            if (sediment) m.OV_SED_CONTAM_FINAL.at(c) = attached;
            double gin = m.GLOBAL_MASS_INIT.at(c) + m.GLOBAL_POINT_SOURCE.at(c) + m.GLOBAL_PRECIP_MASS.at(c);
            double gout = m.GLOBAL_MASS_FINAL.at(c) + m.GLOBAL_MASS_OUT.at(c) + m.GLOBAL_MASS_DECAY.at(c);
            gin += m.GLOBAL_GW_MASS.at(c) + m.OV_ZEP_MASS_IN.at(c) + m.CHAN_ZEP_MASS_IN.at(c) +
                   m.LAKE_ZEP_MASS_IN.at(c);
            gout += m.OV_ZEP_MASS_OUT.at(c) + m.CHAN_ZEP_MASS_OUT.at(c) + m.LAKE_ZEP_MASS_OUT.at(c);
            if (soil) {
                gin += m.SOIL_FROM_WT_MASS.at(c) + m.SOIL_ZEP_MASS_IN.at(c) + m.ZEP_SPECIES_IN.at(c);
                gout += m.SOIL_ZEP_MASS_OUT.at(c) + m.ZEP_SPECIES_OUT.at(c);
            } else {
                gin += m.OV_EXFIL_MASS.at(c);
                gout += m.OV_INFIL_MASS.at(c);
            }
            m.GLOBAL_MASS_CON_ERROR.at(c) = percent_missing(gin, gout, 0.0);
        }
    }
}

}  // namespace kesta
