#include "transport/constituent_books.hpp"

#include "core/balance_sum.hpp"
#include "model/model_state.hpp"

namespace kesta {

namespace {

double percent_missing(double in, double out, double threshold) {
    return in > threshold ? 100.0 * (in - out) / in : 0.0;
}

bool counts(const model_state& m, con_when when) {
    switch (when) {
        case con_when::always: return true;
        case con_when::soil: return m.soil_con_trans != 0;
        case con_when::no_soil: return m.soil_con_trans == 0;
        case con_when::sediment: return m.sediment_contam != 0;
        case con_when::channels: return !m.chan_mass.empty();
        case con_when::lakes: return !m.chan_mass.empty() && m.chan_lakes_on;
        case con_when::never: return false;
    }
    return false;
}


// Mass that crossed between the overland water and the soil from slot
// `from` into slot `to`, two nutrient slots (a water species and the soil
// pool it feeds, or a pool and the species its rising pore water feeds).
void book_species_crossing(model_state& m, int from, int to, double grams) {
    if (from == to) return;
    book(m, con_flow::species_given, from, grams);
    book(m, con_flow::species_taken, to, grams);
}

// Closes compartment `k` of slot c, whose stores hold `h`: its final
// stores into their members, and its error.
void close_compartment(model_state& m, const con_compartment& k, int c, bool run, const held_mass& h) {
    balance_sum in, out;
    for (const con_row& row : constituent_ledger()) {
        if (row.part != k.part) continue;
        const con_array member = run ? row.run.array : row.event.array;
        double v = 0.0;
        if (row.role == con_role::final) {
            v = row.held(h);
            if (member) (m.*member).at(c) = v;
        } else {
            if (!member) continue;
            v = (m.*member).value(c);
        }
        if (!counts(m, row.when)) continue;
        switch (row.role) {
            case con_role::initial:
            case con_role::in: in.add(v, row.group); break;
            case con_role::final:
            case con_role::out: out.add(v, row.group); break;
            case con_role::net:
                if (v > 0.0) in.add(v, row.group);
                else out.add(-v, row.group);
                break;
        }
    }
    const con_array error = run ? k.run_error.array : k.event_error.array;
    (m.*error).at(c) = percent_missing(in.total(), out.total(), k.no_input);
}

}  // namespace

void book_ov_infil(model_state& m, int c, double grams) {
    book(m, con_flow::ov_infil, c, grams);
    if (m.soil_con_trans) book(m, con_flow::soil_infil, c, grams);
}

void book_ov_infil_into(model_state& m, int c, int into, double grams) {
    if (into == c) return book_ov_infil(m, c, grams);
    book(m, con_flow::ov_infil, c, grams);
    if (into < 1) {
        book(m, con_flow::leaves_basin, c, grams);
        return;
    }
    book(m, con_flow::soil_infil, into, grams);
    book_species_crossing(m, c, into, grams);
}

void book_ov_exchange(model_state& m, int c, double grams) {
    book(m, con_flow::ov_uptake, c, grams);
    if (!m.soil_con_trans) return;
    if (grams > 0.0) book(m, con_flow::water_from_soil, c, grams);
    else book(m, con_flow::water_to_soil, c, -grams);
}

void book_soil_exfil(model_state& m, int c, int to, double grams) {
    book(m, con_flow::soil_exfil, c, grams);
    book(m, con_flow::ov_exfil, to, grams);
    book_species_crossing(m, c, to, grams);
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
    for (const con_row& row : constituent_ledger()) {
        // A member that is the run's too (a final store) is no event total.
        if (!row.event.array || row.event.array == row.run.array) continue;
        array1d<double>& a = m.*row.event.array;
        for (int c = 1; c <= a.size(); ++c) a.at(c) = 0.0;
    }
    for (int c = 1; c <= m.ncontam; ++c) {
        const held_mass h = mass_held(m, c);
        for (const con_row& row : constituent_ledger())
            if (row.role == con_role::initial && row.held && row.event.array) (m.*row.event.array).at(c) = row.held(h);
    }
}

void close_constituent_books(model_state& m, bool run) {
    for (int c = 1; c <= m.ncontam; ++c) {
        const held_mass h = mass_held(m, c);
        for (int p = 0; p < static_cast<int>(con_part::count); ++p) {
            const con_compartment& k = *constituent_compartment(static_cast<con_part>(p));
            if (!counts(m, k.when) || (!run && !k.event_error.array)) continue;
            close_compartment(m, k, c, run, h);
        }
    }
}

}  // namespace kesta
