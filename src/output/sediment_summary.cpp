// The sediment sections of the summary file, in each event summary and at
// the end of the run: over land, per class the running totals eroded from
// the surface, deposited on it, still in suspension, and gone to the
// outlet, the channels or the lakes, with the class's balance; in the
// channels, the sand and the wash load of the event (or the run) with their
// balances, and the lakes' suspended sediment.
#include <cstdio>

#include "model/model_state.hpp"
#include "output/summary_file.hpp"
#include "transport/sediment.hpp"

namespace kesta {

namespace {

// The section from the totals by class as they were last formed; `event`
// chooses the event summary's wording.
void write_overland_sediment(const model_state& m, std::FILE* fp, bool event) {
    if (!fp || !sediment_routed(m) || !m.ov_sed) return;
    const sed_record& s = *m.ov_sed;
    const bool lakes = m.chan_lakes_on && !s.sed_vol_overland_to_lake.empty();
    std::fputs("Overland Sediment Summary\n", fp);
    if (event) std::fputs("Quantities are running totals for simulation - NOT EVENT \n", fp);
    for (int k = 1; k <= s.num_sed; ++k) {
        const sed_class_totals& t = s.tot_sed[static_cast<std::size_t>(k)];
        const long c = k;
        double out = t.deposited + t.suspended;
        summary_line(m, fp, "Total sediment %ld eroded from surface:        %10.2lf m3\n", c, t.eroded);
        summary_line(m, fp, "Total sediment %ld deposited on surface:       %10.2lf m3\n", c, t.deposited);
        summary_line(m, fp, "Total sediment %ld remaining in suspension:    %10.2lf m3\n", c, t.suspended);
        if (m.chan_sed_on) {
            const double to_channels = value_at(s.run_books.to_chan, k);
            summary_line(m, fp, "Total sediment %ld transported into channels:  %10.2lf m3\n", c, to_channels);
            out += to_channels;
            if (lakes) {
                const double to_lakes = s.sed_vol_overland_to_lake[0][k];
                summary_line(m, fp, "Net sediment %ld from overland to lakes:       %10.2lf m3\n", c, to_lakes);
                // Sand reaching a lake lies in the deposit of its edge cells.
                if (!s.sand[k]) out += to_lakes;
            }
        } else {
            summary_line(m, fp, "Total sediment %ld routed through outlet       %10.2lf m3\n", c, t.outlet);
            out += t.outlet;
        }
        const double error = sediment_balance_error(t.eroded, out);
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

// The channel section: what the overland gave the channels by class, the
// sand and the wash load with their balances (in: the initial volume, what
// the overland and the lakes gave; out: the outlet, the lakes and what is
// left), then the lakes.
void write_channel_sediment(const model_state& m, std::FILE* fp, bool event) {
    if (!fp || !m.chan_sed_on || !m.ov_sed || m.ov_sed->ch_wash_vol.empty()) return;
    const sed_record& s = *m.ov_sed;
    const chan_sed_books& b = event ? s.event_books : s.run_books;
    const bool lakes = m.chan_lakes_on && m.nlakes >= 1;
    double sand_in = 0.0;
    for (int pos = s.n_fine_classes + 1; pos <= s.num_sed; ++pos) sand_in += b.to_chan[s.sed_class[pos]];
    const double sand_initial = event ? s.initial_sand_event : s.initial_sand_run;
    const double wash_initial = event ? s.initial_wash_event : 0.0;
    const double sand_final = channel_sand_volume(m), wash_final = channel_wash_volume(m);
    const double sand_to_lakes = lakes ? b.sand_to_lake[0] : 0.0;
    const double wash_to_lakes = lakes ? b.chan_to_lake[0] : 0.0;
    const double wash_from_lakes = lakes ? b.lake_to_chan[0] : 0.0;

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
    summary_line(m, fp, "Initial volume of sand in channels:        %10.2lf m3\n", sand_initial);
    summary_line(m, fp, "%s sand to chan from overland:          %10.2lf m3\n", when, sand_in);
    if (lakes) summary_line(m, fp, "%s sand from chan to lakes:             %10.2lf m3\n", when, sand_to_lakes);
    summary_line(m, fp, "%s sand outlet discharge:               %10.2lf m3\n", when, b.sand_out);
    summary_line(m, fp, "Final sand in channels:                    %10.2lf m3\n", sand_final);
    std::fputs("\n", fp);
    if (event) summary_line(m, fp, "Initial wash load in suspension:           %10.2lf m3 \n", wash_initial);
    summary_line(m, fp, "%s wash-load to chan from overland:     %10.2lf m3\n", when, b.to_chan[0]);
    if (lakes) {
        summary_line(m, fp, "%s wash-load from chan to lakes :       %10.2lf m3\n", when, wash_to_lakes);
        summary_line(m, fp, "%s wash-load from lake to chan:         %10.2lf m3\n", when, wash_from_lakes);
    }
    summary_line(m, fp, "%s wash-load outlet discharge:          %10.2lf m3\n", when, b.wash_out);
    summary_line(m, fp, "Final wash-load remaining in suspension:   %10.2lf m3\n", wash_final);

    const double sand_i = sand_initial + sand_in, sand_o = b.sand_out + sand_final + sand_to_lakes;
    const double wash_i = b.to_chan[0] + wash_initial + wash_from_lakes;
    const double wash_o = b.wash_out + wash_final + wash_to_lakes;
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
