// The sediment sections of the summary file, in each event summary and at
// the end of the run: over land, per class the running totals eroded from
// the surface, deposited on it, still in suspension, and gone to the
// outlet, the channels or the lakes, with the class's balance; in the
// channels, the sand and the wash load of the event (or the run) with their
// balances, and the lakes' suspended sediment.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/output_steps.hpp"
#include "output/summary_file.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

// The overland sediment of a run has channel-network lakes to reach.
bool overland_lakes(const sed_record& s, const model_state& m) {
    return m.chan_lakes_on && !s.sed_vol_overland_to_lake.empty();
}

// Where class k of the overland sediment is or went, as its balance counts
// it (m3): deposited, in suspension, and into the channels (and the lakes,
// for a fine class) or through the outlet.
double overland_class_out(const model_state& m, int k) {
    const sed_record& s = *m.ov_sed;
    const sed_class_totals& t = s.tot_sed[static_cast<std::size_t>(k)];
    double out = t.deposited + t.suspended;
    if (!m.chan_sed_on) return out + t.outlet;
    out += value_at(s.run_books.to_chan, k);
    // Sand reaching a lake lies in the deposit of its edge cells.
    if (overland_lakes(s, m) && !s.sand[k]) out += s.sed_vol_overland_to_lake[0][k];
    return out;
}

// The section from the totals by class as they were last formed; `event`
// chooses the event summary's wording.
void write_overland_sediment(const model_state& m, std::FILE* fp, bool event) {
    if (!fp || !sediment_routed(m) || !m.ov_sed) return;
    const sed_record& s = *m.ov_sed;
    const bool lakes = overland_lakes(s, m);
    std::fputs("Overland Sediment Summary\n", fp);
    if (event) std::fputs("Quantities are running totals for simulation - NOT EVENT \n", fp);
    for (int k = 1; k <= s.num_sed; ++k) {
        const sed_class_totals& t = s.tot_sed[static_cast<std::size_t>(k)];
        const long c = k;
        summary_line(m, fp, "Total sediment %ld eroded from surface:        %10.2lf m3\n", c, t.eroded);
        summary_line(m, fp, "Total sediment %ld deposited on surface:       %10.2lf m3\n", c, t.deposited);
        summary_line(m, fp, "Total sediment %ld remaining in suspension:    %10.2lf m3\n", c, t.suspended);
        if (m.chan_sed_on) {
            summary_line(m, fp, "Total sediment %ld transported into channels:  %10.2lf m3\n", c,
                         value_at(s.run_books.to_chan, k));
            if (lakes)
                summary_line(m, fp, "Net sediment %ld from overland to lakes:       %10.2lf m3\n", c,
                             s.sed_vol_overland_to_lake[0][k]);
        } else {
            summary_line(m, fp, "Total sediment %ld routed through outlet       %10.2lf m3\n", c, t.outlet);
        }
        const double error = sediment_balance_error(t.eroded, overland_class_out(m, k));
        if (event)
            summary_line(m, fp, "Mass balance error for sediment %ld %10.4lf percent \n", c, error);
        else
            summary_line(m, fp, "Mass balance error for sediment %ld %10.4lf \n", c, error);
        if (lakes && !s.sand[k]) {
            summary_line(m, fp,
                         "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent an exact "
                         "mass balance calculation \n",
                         c);
            std::fputs("       Reported errors are likely accounting errors only \n", fp);
        }
        std::fputs("\n", fp);
    }
    std::fputs("\n", fp);
}

// Suspended wash load of lake k (m3, all classes) and its concentrations:
// by volume (m3/m3) and by mass (g/m3, mg/L).
struct lake_wash {
    double volume = 0.0, by_volume = 0.0, by_mass = 0.0;
};

lake_wash lake_wash_of(const model_state& m, int k) {
    const sed_record& s = *m.ov_sed;
    lake_wash w;
    const double* held = s.ch_wash_vol[s.lake_row0 + k];
    const double water = m.lake_volume[k];
    for (int pos = 1; pos <= s.n_fine_classes; ++pos) {
        w.volume += held[pos];
        if (water > 1e-16) {
            w.by_volume += held[pos] / water;
            w.by_mass += held[pos] * s.sed_density[s.sed_class[pos]] / water;
        }
    }
    return w;
}

// The lakes' part of the channel section: their totals over the event or
// the run, then lake by lake.
void write_lake_sediment(const model_state& m, std::FILE* fp, bool event) {
    const sed_record& s = *m.ov_sed;
    const chan_sed_books& b = event ? s.event_books : s.run_books;
    const char* f = event ? "%10.2lf" : "%10.1lf";
    const auto line = [&](const char* label, double v) {
        std::fputs(label, fp);
        summary_line(m, fp, f, v);
        std::fputs(" m3\n", fp);
    };
    std::fputs("\n", fp);
    std::fputs("Lake Summary \n", fp);
    if (event) std::fputs("Quanties are for this event \n", fp);
    line("Net wash-load into lakes from overland:                     ", b.overland_to_lake[0]);
    line("Total wash-load settled in lakes:                           ", b.settled[0]);
    line("Total sand-load from upstream channel settled in lake bed:  ", b.sand_to_lake[0]);
    line("Total overland sand-load settled in lake boundaries:        ", b.edge_sand[0]);
    std::fputs("\n", fp);
    for (int k = 1; k <= m.nlakes; ++k) {
        const lake_wash w = lake_wash_of(m, k);
        summary_line(m, fp, "Summary for lake %d \n", k);
        if (event) {
            std::fputs("Quanties are for this event \n", fp);
            summary_line(m, fp, "Initial vol of SS in lake:                  %10.2lf m3 \n", s.initial_lake_wash[k]);
            summary_line(m, fp, "Event vol of SS from lake to chan           %10.2lf m3 \n", b.lake_to_chan[k]);
            summary_line(m, fp, "Event vol of SS from chan to lake           %10.2lf m3 \n", b.chan_to_lake[k]);
            summary_line(m, fp, "Event net vol of SS from overland to lake   %10.2lf m3 \n", b.overland_to_lake[k]);
            summary_line(m, fp, "Event vol of SS settled in lake             %10.2lf m3 \n", b.settled[k]);
        } else {
            std::fputs("\n", fp);
            summary_line(m, fp, "Total vol of SS from lake to chan           %10.2lf m3 \n", b.lake_to_chan[k]);
            summary_line(m, fp, "Total vol of SS from chan to lake           %10.2lf m3 \n", b.chan_to_lake[k]);
            summary_line(m, fp, "Total net vol of SS from overland to lake   %10.2lf m3 \n", b.overland_to_lake[k]);
            summary_line(m, fp, "Total vol of SS settled in lake             %10.2lf m3 \n", b.settled[k]);
        }
        summary_line(m, fp, "Total Suspended Sediment in lake            %10.2lf m3 \n", w.volume);
        std::fputs("\n", fp);
        summary_line(m, fp, "Suspended Sediment Concentration              %10.2lf cc/m3\n", w.by_volume * 1e6);
        summary_line(m, fp, "Suspended Sediment Concentration              %10.2lf mg/L\n", w.by_mass);
        std::fputs("\n", fp);
        if (event) {
            summary_line(m, fp, "Event sand settled into lake bottom:        %10.2lf m3 \n", b.sand_to_lake[k]);
            summary_line(m, fp, "Event sand settled in lake boundary:        %10.2lf m3 \n", b.edge_sand[k]);
        } else {
            summary_line(m, fp, "Total sand settled into lake bottom:        %10.2lf m3 \n", b.sand_to_lake[k]);
            summary_line(m, fp, "Total sand settled in lake boundary:        %10.2lf m3 \n", b.edge_sand[k]);
        }
    }
}

// The channels keep sediment books of their own.
bool channel_sediment_books(const model_state& m) {
    return m.chan_sed_on && m.ov_sed && !m.ov_sed->ch_wash_vol.empty();
}

// The channels' sediment of the event or of the run (m3): sand and wash
// load at the start, from the overland and the lakes, through the outlet,
// to the lakes, and at the end.
struct channel_sediment_volumes {
    double sand_initial = 0.0, sand_in = 0.0, sand_out = 0.0, sand_to_lakes = 0.0, sand_final = 0.0;
    double wash_initial = 0.0, wash_in = 0.0, wash_from_lakes = 0.0, wash_out = 0.0, wash_to_lakes = 0.0,
           wash_final = 0.0;
    // What came in, and what is or went out.
    double sand_i() const { return sand_initial + sand_in; }
    double sand_o() const { return sand_out + sand_final + sand_to_lakes; }
    double wash_i() const { return wash_in + wash_initial + wash_from_lakes; }
    double wash_o() const { return wash_out + wash_final + wash_to_lakes; }
};

channel_sediment_volumes channel_volumes(const model_state& m, bool event) {
    const sed_record& s = *m.ov_sed;
    const chan_sed_books& b = event ? s.event_books : s.run_books;
    const bool lakes = m.chan_lakes_on && m.nlakes >= 1;
    channel_sediment_volumes v;
    v.sand_initial = event ? s.initial_sand_event : s.initial_sand_run;
    for (int pos = s.n_fine_classes + 1; pos <= s.num_sed; ++pos) v.sand_in += b.to_chan[s.sed_class[pos]];
    v.sand_out = b.sand_out;
    v.sand_to_lakes = lakes ? b.sand_to_lake[0] : 0.0;
    v.sand_final = channel_sand_volume(m);
    v.wash_initial = event ? s.initial_wash_event : 0.0;
    v.wash_in = b.to_chan[0];
    v.wash_from_lakes = lakes ? b.lake_to_chan[0] : 0.0;
    v.wash_out = b.wash_out;
    v.wash_to_lakes = lakes ? b.chan_to_lake[0] : 0.0;
    v.wash_final = channel_wash_volume(m);
    return v;
}

// The channel section: what the overland gave the channels by class, the
// sand and the wash load with their balances (in: the initial volume, what
// the overland and the lakes gave; out: the outlet, the lakes and what is
// left), then the lakes.
void write_channel_sediment(const model_state& m, std::FILE* fp, bool event) {
    if (!fp || !channel_sediment_books(m)) return;
    const sed_record& s = *m.ov_sed;
    const chan_sed_books& b = event ? s.event_books : s.run_books;
    const bool lakes = m.chan_lakes_on && m.nlakes >= 1;
    const channel_sediment_volumes v = channel_volumes(m, event);

    std::fputs("Channel sediment routing mass quantities\n", fp);
    if (event) std::fputs("Quanties are this Event \n", fp);
    for (int c = 1; c <= s.num_sed; ++c) {
        summary_line(m, fp,
                     event ? "Total sediment %d transported into channels this event: %10.2lf m3\n"
                           : "Total sediment %d transported into channels: %10.2lf m3\n",
                     c, b.to_chan[c]);
    }
    std::fputs("\n", fp);
    const char* when = event ? "Event" : "Total";
    summary_line(m, fp, "Initial volume of sand in channels:        %10.2lf m3\n", v.sand_initial);
    summary_line(m, fp, "%s sand to chan from overland:          %10.2lf m3\n", when, v.sand_in);
    if (lakes) summary_line(m, fp, "%s sand from chan to lakes:             %10.2lf m3\n", when, v.sand_to_lakes);
    summary_line(m, fp, "%s sand outlet discharge:               %10.2lf m3\n", when, v.sand_out);
    summary_line(m, fp, "Final sand in channels:                    %10.2lf m3\n", v.sand_final);
    std::fputs("\n", fp);
    if (event) summary_line(m, fp, "Initial wash load in suspension:           %10.2lf m3 \n", v.wash_initial);
    summary_line(m, fp, "%s wash-load to chan from overland:     %10.2lf m3\n", when, v.wash_in);
    if (lakes) {
        summary_line(m, fp, "%s wash-load from chan to lakes :       %10.2lf m3\n", when, v.wash_to_lakes);
        summary_line(m, fp, "%s wash-load from lake to chan:         %10.2lf m3\n", when, v.wash_from_lakes);
    }
    summary_line(m, fp, "%s wash-load outlet discharge:          %10.2lf m3\n", when, v.wash_out);
    summary_line(m, fp, "Final wash-load remaining in suspension:   %10.2lf m3\n", v.wash_final);

    const double sand_i = v.sand_i(), sand_o = v.sand_o(), wash_i = v.wash_i(), wash_o = v.wash_o();
    std::fputs(event ? "\n Event channel sediment mass-balance:\n" : "\n Total channel sediment mass-balance:\n", fp);
    summary_line(m, fp, "Mass conservation error for wash load:     %10.6lf percent\n",
                 sediment_balance_error(wash_i, wash_o));
    summary_line(m, fp, "Mass conservation error for sand load:     %10.6lf percent\n",
                 sediment_balance_error(sand_i, sand_o));
    summary_line(m, fp, "Overall channel sediment mass cons. error: %10.6lf percent\n",
                 sediment_balance_error(wash_i + sand_i, wash_o + sand_o));
    if (lakes) write_lake_sediment(m, fp, event);
    std::fputs("\n", fp);
}

}  // namespace

sediment_balance_errors sediment_balances(const model_state& m, bool event) {
    sediment_balance_errors e;
    if (!sediment_routed(m) || !m.ov_sed) return e;
    const sed_record& s = *m.ov_sed;
    e.overland.assign(static_cast<std::size_t>(s.num_sed) + 1, 0.0);
    for (int k = 1; k <= s.num_sed; ++k)
        e.overland[static_cast<std::size_t>(k)] =
            sediment_balance_error(s.tot_sed[static_cast<std::size_t>(k)].eroded, overland_class_out(m, k));
    if (!channel_sediment_books(m)) return e;
    const channel_sediment_volumes v = channel_volumes(m, event);
    e.wash = sediment_balance_error(v.wash_i(), v.wash_o());
    e.sand = sediment_balance_error(v.sand_i(), v.sand_o());
    e.overall = sediment_balance_error(v.wash_i() + v.sand_i(), v.wash_o() + v.sand_o());
    return e;
}

void write_event_sediment_summary(const model_state& m, std::FILE* fp) {
    write_overland_sediment(m, fp, true);
    write_channel_sediment(m, fp, true);
}

void write_sediment_run_summary(model_state& m) {
    total_sediment_by_class(m);
    write_overland_sediment(m, m.summary_fp.get(), false);
    write_channel_sediment(m, m.summary_fp.get(), false);
}

}  // namespace kesta
