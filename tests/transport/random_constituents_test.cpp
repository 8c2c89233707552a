// Random projects with sediment, contaminants and nutrients on random
// sites, run whole by the model: soil erosion by particle size classes,
// contaminants of the CONTAMINANT_TRANSPORT table (decay, exchange with
// the soil, sorption to the sediment, loads, maps and point sources) and
// the nutrient species with their aquatic environment and soil pools, over
// land, in the soil and in channel networks with sand beds. A share of the
// projects takes values at the edges of what the inputs allow. Each run
// ends as tests/support/random_runs.hpp says: every balance of its summary
// closed, no negative or not finite mass, concentration or volume, nothing
// written that is not a number; or a stop with a message. The projects come
// from a seed, so a failing one is reproduced by its seed.
//
// The projects of a second kind stand over a water table 0.15-3 m under
// the ground, often within the soil column, on soils of Green and Ampt,
// with redistribution or of layers, above an aquifer held at the table or
// simulated; many erode, carrying their sediment classes as constituents
// or routing them. Their runs also keep the soil water accounting's
// balance and the aquifer's.
//
// By hand, more seeds: KESTA_RANDOM_PROJECTS=<count> and
// KESTA_RANDOM_FIRST_SEED=<seed> (the CI run takes 250 from 1, 60 under
// the sanitizers, and 400 and 60 of the second kind);
// KESTA_RANDOM_KEEP=<folder> keeps the files of a failing project.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text_format.hpp"
#include "support/grid_text.hpp"
#include "support/random_channels.hpp"
#include "support/random_draws.hpp"
#include "support/random_runs.hpp"
#include "support/temp_dir.hpp"
#include "support/weather_text.hpp"

namespace {

using kesta::format_text;
using namespace kesta_test;

// What one project holds, drawn first so that its files agree.
struct mix {
    bool extreme = false;       // values at the edges of their ranges
    bool channels = false;      // a channel network, with sand beds when it carries sediment
    bool erosion = false;       // SOIL_EROSION
    bool carried = false;       // the classes carried as constituents (SOIL_EROSION 11 to 16)
    bool contaminants = false;  // the CONTAMINANT_TRANSPORT table
    bool uniform = false;       // one contaminant of the OV_* cards instead
    bool bound = false;         // SEDIMENT_CONTAM
    bool soil = false;          // SOIL_CON_TRANS
    bool exchange = false;      // the contaminants trade with the mixing layer's water
    bool water_table = false;   // WATER_TABLE, whose water brings constituents up
    bool long_term = false;     // a long-term run of several rain events under hourly weather
    bool nutrients = false;     // NUTRIENTS
    int classes = 0;            // land classes of the index map
    int sediments = 0;          // sediment classes
    int contams = 0;            // contaminants
};

mix random_mix(draws& d) {
    mix x;
    x.extreme = d.chance(0.25);
    x.channels = d.chance(0.6);
    x.erosion = d.chance(0.6);
    x.carried = x.erosion && d.chance(0.15);
    x.nutrients = d.chance(0.35);
    // With soil erosion the contaminants come from the table alone, and the
    // nutrient species need them.
    x.contaminants = d.chance(0.7) || (!x.erosion && !x.nutrients) || (x.erosion && !x.carried && x.nutrients);
    // Without the table and soil erosion the OV_* cards give one.
    x.uniform = !x.erosion && (!x.contaminants || d.chance(0.2));
    x.contaminants = x.contaminants || x.uniform;
    x.bound = x.erosion && !x.carried && x.contaminants && !x.uniform && d.chance(0.5);
    x.soil = (x.contaminants || x.nutrients) && !x.carried && d.chance(0.4);
    x.water_table = d.chance(0.25);
    x.long_term = d.chance(0.25);
    x.classes = d.whole(1, 3);
    x.sediments = x.erosion ? d.whole(1, 4) : 0;
    x.contams = x.uniform ? 1 : x.contaminants ? d.whole(1, 3) : 0;
    return x;
}

// A value of [lo, hi] on a log scale, or 0 with chance `none`.
double maybe(draws& d, double none, double lo, double hi) {
    return d.chance(none) ? 0.0 : round3(d.log_between(lo, hi));
}

// The land classes: an index map of 1..classes over the cells.
std::string add_land_classes(draws& d, const mix& x, site& s, const temp_dir& dir) {
    s.grid(dir, "landuse.asc", [&](int) { return d.whole(1, x.classes); }, "%.0f ");
    return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP landuse.asc \"Land use\"\n";
}

// The sediment classes and the soils' erosion properties; the cards of
// soil erosion and its outputs.
std::string add_erosion(draws& d, const mix& x, site& s) {
    std::string t = format_text("SEDIMENTS\nNUM_SED %d\nCLASS SPEC_GRAV DIAMETER BINDING OUTPUT\n", x.sediments);
    std::vector<double> diameters;  // mm
    for (int k = 1; k <= x.sediments; ++k) {
        const double gravity = !x.extreme             ? round3(d.between(2.0, 2.8))
                               : d.chance(0.5)        ? 22.6
                                                      : 1.0 + round3(d.log_between(1e-3, 0.5));
        diameters.push_back(x.extreme ? round3(d.log_between(1e-5, 20.0)) : round3(d.log_between(5e-4, 2.0)));
        t += format_text("%-40s%g %g %g sed_%d.out\n", ("class " + std::to_string(k)).c_str(), gravity,
                         diameters.back(), round3(d.unit()), k);
    }
    // The sand size splits the classes, or (at the edges) makes them all
    // sand or all fine.
    const double sand = !x.extreme ? round3(d.log_between(0.02, 0.5))
                        : d.chance(0.5) ? round3(*std::min_element(diameters.begin(), diameters.end()))
                                        : round3(2.0 * *std::max_element(diameters.begin(), diameters.end()));
    t += format_text("SOIL_EROSION_PROPS \"Land use\"\nNUM_IDS %d\nNUM_SED %d\n", x.classes, x.sediments);
    t += "ID TC_C TC_I TC_R SPLASH_K DETACH_K DETACH_I DETACH_C SED_K SHARES\n";
    const int method = d.whole(1, 6);
    for (int c = 1; c <= x.classes; ++c) {
        const double grow = x.extreme ? 100.0 : 1.0;  // how far the coefficients reach
        std::string v = format_text("%g %g %g %g %g %g %g %g", round3(d.log_between(1e-4, 0.1 * grow)),
                                    round3(d.between(0.5, 2.0)), maybe(d, 0.7, 1e-6, 1e-2),
                                    maybe(d, 0.2, 1.0, 100.0 * grow), maybe(d, 0.2, 1e-6, 1e-3 * grow),
                                    round3(d.between(0.5, 2.0)), maybe(d, 0.5, 0.01, 5.0),
                                    round3(d.log_between(1e-3, 1.0)));
        // The class shares of the soil add up to 1, or at the edges to
        // less (the rest is what no class describes).
        double left = x.extreme && d.chance(0.3) ? round3(d.unit()) : 1.0;
        for (int k = 1; k <= x.sediments; ++k) {
            const double share = k == x.sediments ? left : std::floor(d.unit() * left * 1000.0) / 1000.0;
            left = std::max(0.0, left - share);
            v += " " + text_of(share);
        }
        t += table_row(c, v);
    }
    s.card("SOIL_EROSION", method + (x.carried ? 10 : 0));
    s.card("SAND_SIZE", sand);
    s.card("SED_POROSITY", round3(d.between(0.0, 0.6)));
    if (!x.carried) {
        s.cards += "OUTLET_SED_FLUX sed_outlet.dat\n";
        if (x.channels) s.cards += "OUTLET_SED_TSS tss_outlet.dat\nCHAN_SED_FLUX chan_sed.lnd\n";
        if (d.chance(0.3)) s.cards += "ADJUST_ELEV adjusted.asc\n";
        if (d.chance(0.3)) s.cards += "NET_SED_VOLUME net_sed.dat\nMAX_SED_FLUX sed_flux.dat\nVOL_SED_SUSP susp.dat\n";
    }
    return t;
}

// The contaminants of the CONTAMINANT_TRANSPORT table (or the OV_* cards
// of one), with their load map, cell point sources and the cards of their
// transport over land and in the soil.
std::string add_contaminants(draws& d, const mix& x, site& s, const temp_dir& dir) {
    const double grow = x.extreme ? 1000.0 : 1.0;
    // kg per cell, or with the soil the mixing layer's concentration (mg/kg).
    const auto load = [&] { return x.soil ? maybe(d, 0.4, 0.01, 100.0 * grow) : maybe(d, 0.4, 1e-6, 1.0 * grow); };
    std::string t;
    if (x.uniform) {
        s.card("OV_DISP_COEF", x.extreme && d.chance(0.3) ? 100.0 : maybe(d, 0.3, 1e-4, 1.0));
        s.card("OV_DECAY_COEF", maybe(d, 0.4, 1e-3, 10.0 * grow));
        s.card("OV_UPTAKE_RATE", x.exchange ? maybe(d, 0.4, 1e-4, 1.0) : 0.0);
        s.card("OV_MASS_LOAD", load());
    } else if (x.contams > 0) {
        t = format_text("CONTAMINANT_TRANSPORT\nNUM_CONTAM %d\n", x.contams);
        for (int c = 1; c <= x.contams; ++c) {
            t += format_text("\"contam %d\" \"Land use\" \"%s\"\n", c,
                             d.chance(0.3) ? ("contam_" + std::to_string(c)).c_str() : "");
            t += "PRECIP_CONC " + text_of(maybe(d, 0.5, 0.01, 10.0 * grow)) + "\n";
            if (x.bound) t += "PARTITION " + text_of(round3(d.log_between(x.extreme ? 1e-3 : 1.0, 1e4 * grow))) + "\n";
            t += format_text("NUM_IDS %d\nID DISP DECAY EXCHANGE LOAD INIT_CONC PARTITION GW_CONC UNUSED\n", x.classes);
            for (int k = 1; k <= x.classes; ++k) {
                const double disp = x.extreme && d.chance(0.3) ? 100.0 : maybe(d, 0.3, 1e-4, 1.0);
                t += table_row(k, format_text("%g %g %g %g %g %g %g 0", disp, maybe(d, 0.4, 1e-3, 10.0 * grow),
                                              x.exchange ? maybe(d, 0.4, 1e-4, 1.0) : 0.0, load(),
                                              maybe(d, 0.5, 0.01, 100.0 * grow),
                                              round3(d.log_between(0.01, 100.0 * grow)),
                                              x.water_table ? maybe(d, 0.3, 0.01, 10.0 * grow) : 0.0));
            }
        }
        if (d.chance(0.3)) {
            s.grid(dir, "load.asc", [&](int) { return load(); });
            s.cards += "CONTAM_MAP load.asc\n";
        }
    }
    if (d.chance(0.3)) s.card("KINETICS_TIMESTEP_FACTOR", d.whole(1, 5));
    return t;
}

// Cell point sources on 1-3 cells: water (m3/s) for a while, and in it a
// concentration (g/m3) of some of the `carried` constituents that the
// point sources carry (the contaminants, then the sediment classes).
void add_cell_points(draws& d, const mix& x, site& s, const temp_dir& dir, int carried) {
    std::string f;
    const int points = d.whole(1, 3);
    const int minutes = std::max(1, static_cast<int>(std::lround(d.between(0.2, 1.0) * 60.0)));
    std::vector<int> cells;
    for (int p = 0; p < points; ++p) {
        const int k = d.whole(0, s.rows * s.cols - 1);
        if (std::find(cells.begin(), cells.end(), k) != cells.end()) continue;  // one discharge a cell
        cells.push_back(k);
        const double q = round3(d.log_between(1e-4, x.extreme ? 1.0 : 0.05));
        f += format_text("KESTA_TS\n%d %d 0\nRELATIVE\n0 0 0 0 0 %g\n0 0 0 0 %d 0\nEND_TS\n", s.row_of(k),
                         s.col_of(k), q, minutes);
        for (int c = 1; c <= carried; ++c)
            if (d.chance(0.7))
                f += format_text("KESTA_TS\n%d %d %d\nRELATIVE\n0 0 0 0 0 %g\nEND_TS\n", s.row_of(k), s.col_of(k), c,
                                 round3(d.log_between(0.1, x.extreme ? 1e5 : 100.0)));
    }
    dir.write("cell_points.ts", f);
    s.cards += "OV_POINT_SOURCE cell_points.ts\n";
}

// Green and Ampt soils of the land classes, from the mapping tables, with
// redistribution and soil water accounting or not.
std::string add_soil_tables(draws& d, const mix& x, site& s, bool redistribution) {
    std::string t = format_text("GREEN_AMPT_INFILTRATION \"Land use\"\nNUM_IDS %d\nID KS HC POROSITY PORE_INDEX "
                                "RESIDUAL FIELD_CAP WILT_POINT\n",
                                x.classes);
    std::vector<double> porosity;
    for (int k = 1; k <= x.classes; ++k) {
        porosity.push_back(round3(d.between(0.35, 0.5)));
        t += table_row(k, format_text("%g %g %g %g %g %g %g", round3(d.log_between(0.01, 10.0)),
                                      round3(d.between(2.0, 30.0)), porosity.back(), round3(d.between(0.15, 0.5)),
                                      round3(d.between(0.01, 0.05)), round3(d.between(0.2, 0.33)),
                                      round3(d.between(0.08, 0.15))));
    }
    t += format_text("GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Land use\"\nNUM_IDS %d\nID MOISTURE\n", x.classes);
    for (int k = 1; k <= x.classes; ++k)
        t += table_row(k, text_of(round3(d.between(0.1, porosity[static_cast<std::size_t>(k - 1)] - 0.05))));
    s.cards += redistribution ? "INF_REDIST\n" : "GREEN_AMPT\n";
    return t;
}

// Soils for the soil layers of the constituents: Green and Ampt from the
// mapping tables, with redistribution or not, unless the site has its own;
// the depths of the soil water accounting and of the mixing layer.
std::string add_soils(draws& d, const mix& x, site& s) {
    std::string t;
    if (s.cards.find("GREEN_AMPT\n") == std::string::npos && s.cards.find("INF_REDIST\n") == std::string::npos)
        t += add_soil_tables(d, x, s, d.chance(0.5));
    const double soil = x.extreme && d.chance(0.3) ? round3(d.log_between(2.0, 1000.0)) : round3(d.between(0.3, 1.5));
    const double top = round3(d.between(0.02, 1.0) * soil);
    const double mixing = x.extreme && d.chance(0.5) ? round3(d.log_between(1e-6, 1.0) * top)
                                                      : round3(d.between(0.05, 0.5) * top);
    s.card("SOIL_MOIST_DEPTH", soil);
    s.card("TOP_LAYER_DEPTH", top);
    s.card("MIXING_LAYER_DEPTH", mixing);
    s.cards += "SOIL_CON_TRANS\n";
    return t;
}

const char* const kSpecies[] = {"NO2", "NO3", "NH4", "ON", "OP", "DP", "ALG", "CBOD", "DO"};

// The nutrient module: its aquatic environment file with one or two sets of
// rate constants (the defaults or drawn ones), the species' initial
// concentrations over land and in the streams, their rain, the soil pools.
std::string add_nutrients(draws& d, const mix& x, site& s, const temp_dir& dir, int links) {
    const int envs = d.whole(1, 2);
    std::string env = "AQUATIC_ENV_ZEP10\nOV_MAP env.asc\n";
    if (links > 0) env += "ST_MAP st.map\n";
    env += format_text("NUM_IDS %d\nids\n", envs);
    const double grow = x.extreme ? 20.0 : 1.0;
    for (int e = 1; e <= envs; ++e) {
        env += std::to_string(e) + "\n";
        if (d.chance(0.4)) {
            env += "DEFAULT\n";
            continue;
        }
        const auto theta = [&d] { return round3(d.between(1.0, 1.1)); };
        const auto rate = [&](double lo, double hi) { return round3(d.log_between(lo, hi * grow)); };
        // Stoichiometric ratios and their thetas.
        env += format_text("%g %g %g %g %g %g %g\n", rate(5.0, 20.0), rate(0.05, 0.1), rate(0.005, 0.02),
                           rate(1.0, 2.0), rate(1.0, 2.0), rate(2.5, 3.5), rate(0.8, 1.2));
        env += format_text("%g %g %g %g %g %g %g\n", theta(), theta(), theta(), theta(), theta(), theta(), theta());
        // Ammonium and nitrite oxidation, organic N hydrolysis, organic P decay.
        env += format_text("%g %g %g %g\n", rate(0.01, 0.5), rate(0.05, 1.0), rate(0.05, 0.5), rate(0.005, 0.1));
        env += format_text("%g %g %g %g\n", theta(), theta(), theta(), theta());
        // CBOD decay, reaeration, CBOD settling, sediment oxygen demand.
        env += format_text("%g %g %g %g\n", rate(0.01, 0.5), rate(0.5, 20.0), maybe(d, 0.5, 0.01, 0.1),
                           maybe(d, 0.5, 0.01, 0.1));
        env += format_text("%g %g %g %g\n", theta(), theta(), theta(), theta());
        // Algal growth, respiration and settling, benthic sources, settling.
        env += format_text("%g %g %g %g %g %g %g\n", rate(0.5, 3.0), rate(0.02, 0.2), maybe(d, 0.5, 0.1, 2.0),
                           maybe(d, 0.5, 0.001, 0.01), maybe(d, 0.5, 0.001, 0.01), maybe(d, 0.5, 0.001, 0.01),
                           maybe(d, 0.5, 0.001, 0.01));
        env += format_text("%g %g %g %g %g %g %g\n", theta(), theta(), theta(), theta(), theta(), theta(), theta());
        env += "0.02 0.01 0.01 0\n0.01 0.002 0.0165 0.000001\n";
    }
    dir.write("aq.env", env);
    s.grid(dir, "env.asc", [&](int) { return d.whole(1, envs); }, "%.0f ");
    if (links > 0) {
        std::string st = format_text("STREAM_MAP\nLINKS %d\n", links);
        for (int l = 1; l <= links; ++l) st += std::to_string(d.whole(1, envs)) + "\n";
        dir.write("st.map", st);
    }
    s.cards += "NUTRIENTS\nAQ_ENV aq.env\n";
    for (const char* sp : kSpecies) {
        const std::string ov = std::string("OV_INIT_") + sp, st = std::string("ST_INIT_") + sp;
        if (d.chance(0.5)) s.card(ov.c_str(), maybe(d, 0.2, 0.01, 10.0 * grow));
        if (links > 0 && d.chance(0.5)) s.card(st.c_str(), maybe(d, 0.2, 0.01, 10.0 * grow));
    }
    if (d.chance(0.5)) s.card("CHAN_PH", x.extreme ? round3(d.between(0.0, 14.0)) : round3(d.between(6.0, 8.5)));
    if (links > 0 && d.chance(0.5)) s.cards += "OUT_HYD_NO3 outlet_no3\nOUT_ST_NH4 chan_nh4\nTOTAL_CHAN_N chan_n.lnd\n";
    if (d.chance(0.3)) s.cards += "OUT_OV_NO3 ov_no3\nTOTAL_OV_N ov_n.dat\nTOTAL_OV_P ov_p.dat\n";
    // The rain's species; per class the overland water's.
    std::string t;
    if (d.chance(0.5)) {
        t += format_text("ZEP_N \"Land use\"\nNUM_IDS %d\nPRECIP_CONC %g %g %g %g\nID NO2 NO3 NH4 ON\n", x.classes,
                         maybe(d, 0.5, 0.001, 0.1), maybe(d, 0.3, 0.01, 2.0), maybe(d, 0.3, 0.01, 1.0),
                         maybe(d, 0.5, 0.01, 1.0));
        for (int k = 1; k <= x.classes; ++k) t += table_row(k, "0 0 0 0");
        t += format_text("ZEP_P \"Land use\"\nNUM_IDS %d\nPRECIP_CONC %g %g %g\nID OP DP ALG\n", x.classes,
                         maybe(d, 0.5, 0.001, 0.1), maybe(d, 0.5, 0.001, 0.1), 0.0);
        for (int k = 1; k <= x.classes; ++k) t += table_row(k, "0 0 0");
    }
    if (x.water_table) {
        // The groundwater's species, per class.
        const auto gw = [&](int n) {
            std::string v;
            for (int j = 0; j < n; ++j) v += (j ? " " : "") + text_of(maybe(d, 0.4, 0.01, 5.0 * grow));
            return v;
        };
        const char* const heads[] = {"ZEP_GW_N", "ZEP_GW_P", "ZEP_GW_OTH"};
        const int columns[] = {4, 4, 2};
        for (int g = 0; g < 3; ++g) {
            if (d.chance(0.3)) continue;
            t += format_text("%s \"Land use\"\nNUM_IDS %d\nID VALUES\n", heads[g], x.classes);
            for (int k = 1; k <= x.classes; ++k) t += table_row(k, gw(columns[g]));
        }
    }
    if (!x.soil) return t;
    // Soil pools of the top layer, kg per cell: those of a 30 m cell of
    // farmland scaled to the cell.
    const double area = s.dx * s.dx / 900.0 * (x.extreme ? d.log_between(1e-3, 1e3) : 1.0);
    const auto pool = [&](double typical) { return round3(typical * area * d.between(0.5, 1.5)); };
    s.cards += "SOILS_ZEP_C\nSOILS_ZEP_N\nSOILS_ZEP_P\n";
    t += format_text("ZEP_SOIL_C \"Land use\"\nNUM_IDS %d\nID ORG_ACTIVE_C ORG_STABLE_C\n", x.classes);
    for (int k = 1; k <= x.classes; ++k) t += table_row(k, format_text("%g %g", pool(25.0), pool(480.0)));
    t += format_text("ZEP_SOIL_N \"Land use\"\nNUM_IDS %d\nID NH4 NO3 ORG_ACTIVE_N ORG_FRESH_N ORG_STABLE_N\n",
                     x.classes);
    for (int k = 1; k <= x.classes; ++k)
        t += table_row(k, format_text("%g %g %g %g %g", pool(0.1), pool(0.4), pool(2.0), pool(0.5), pool(35.0)));
    t += format_text("ZEP_SOIL_P \"Land use\"\nNUM_IDS %d\nID MIN_ACTIVE_P MIN_SOLUTION_P MIN_STABLE_P ORG_ACTIVE_P "
                     "ORG_FRESH_P ORG_STABLE_P\n",
                     x.classes);
    for (int k = 1; k <= x.classes; ++k)
        t += table_row(k, format_text("%g %g %g %g %g %g", pool(1.0), pool(0.2), pool(4.0), pool(0.5), pool(0.1),
                                      pool(5.0)));
    return t;
}

// The channels' cards of the constituents: decay, dispersion, initial
// concentration, point sources with a concentration of each of the
// `constituents`, and the series at some nodes.
void add_channel_constituents(draws& d, const mix& x, site& s, const temp_dir& dir, const stream_net& net,
                              int constituents) {
    s.cards += "CHAN_CON_TRANS\n";
    s.card("CHAN_DECAY_COEF", maybe(d, 0.4, 1e-3, x.extreme ? 1e3 : 10.0));
    // The most a river disperses, but not over the hours of a long-term run:
    // between nodes a few metres apart its routing takes sub-steps of a
    // tenth of a second, and such a run takes minutes.
    s.card("CHAN_DISP_COEF", x.extreme && !x.long_term && d.chance(0.3) ? 2000.0 : maybe(d, 0.2, 1e-3, 10.0));
    s.card("INIT_CHAN_CONC", maybe(d, 0.5, 0.01, x.extreme ? 1e4 : 10.0));
    if (d.chance(0.4)) {
        std::string f = "NUMPTS 1\nPOINT";
        const int k = net.cells[d.whole(0, static_cast<int>(net.cells.size()) - 1)];
        f += format_text(" %d %d %g", net.node[k], net.link[k], round3(d.log_between(1e-3, x.extreme ? 10.0 : 0.1)));
        for (int c = 1; c <= constituents; ++c) f += " " + text_of(maybe(d, 0.3, 0.01, x.extreme ? 1e4 : 50.0));
        dir.write("chan_points.txt", f + "\nNRPDS 0\n");
        s.cards += "CHAN_POINT_INPUT chan_points.txt\n";
    }
    if (d.chance(0.4)) {
        const int k = net.cells[d.whole(0, static_cast<int>(net.cells.size()) - 1)];
        dir.write("locations.txt", format_text("1\n%d %d\n", net.link[k], net.node[k]));
        s.cards += "IN_HYD_LOCATION locations.txt\nOUT_HYD_LOCATION loc_flow.dat\n"
                   "OUT_CON_LOCATION loc_conc.dat\nOUT_MASS_LOCATION loc_mass.dat\n";
        if (x.erosion && !x.carried)
            s.cards += "IN_SED_LOC locations.txt\nOUT_SED_LOC loc_sed.dat\nOUT_TSS_LOC loc_tss.dat\n";
    }
}

// The project file without the card `name` (and its value).
void drop_card(site& s, const std::string& name) {
    const std::size_t at = s.cards.find("\n" + name + " ");
    if (at == std::string::npos) return;
    s.cards.erase(at + 1, s.cards.find('\n', at + 1) - at);
}

// A long-term run in place of the site's uniform rain: two or three rain
// events of 10-60 minutes, an hour or more apart, under eight hours of warm
// hourly weather with the evapotranspiration of the land classes; each
// event ends when the outlet's discharge falls below EVENT_MIN_Q, the run
// after six hours at most.
std::string add_long_term(draws& d, const mix& x, site& s, const temp_dir& dir) {
    for (const char* card : {"START_DATE", "START_TIME", "RAIN_INTENSITY", "RAIN_DURATION", "TOT_TIME", "HYD_FREQ",
                             "TIMESTEP", "CONDUCTIVITY", "CAPILLARY", "POROSITY", "MOISTURE"})
        drop_card(s, card);
    for (const char* card : {"PRECIP_UNIF\n", "GREEN_AMPT\n"}) {
        const std::size_t at = s.cards.find(card);
        if (at != std::string::npos) s.cards.erase(at, std::string(card).size());
    }
    // The soil water accounting of redistribution, and a time step that
    // divides the hour of the weather, near the site's.
    std::string t = add_soil_tables(d, x, s, true);
    const double steps[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 12, 15, 16, 18, 20, 24, 25, 30, 36, 40, 45, 48, 50, 60};
    double dt = steps[0];
    for (double v : steps)
        if (std::fabs(std::log(v / s.dt)) < std::fabs(std::log(dt / s.dt))) dt = v;
    s.dt = dt;
    s.card("TIMESTEP", dt);
    std::string rain;
    const int events = d.whole(2, 3);
    const double x0 = s.cols * s.dx / 2.0, y0 = s.rows * s.dx / 2.0;  // one gauge amid the grid
    for (int e = 0; e < events; ++e) {
        const int hour = 1 + 2 * e, minutes = d.whole(10, 60);
        rain += format_text("EVENT e%d\nNRGAG 1\nNRPDS 2\nCOORD %g %g\nRATES 2020 6 1 %d 0 %g\n"
                            "RATES 2020 6 1 %d %d 0\n",
                            e + 1, x0, y0, hour, round3(d.log_between(1.0, x.extreme ? 300.0 : 60.0)),
                            hour + minutes / 60, minutes % 60);
    }
    dir.write("rain.dat", rain);
    dir.write("weather.kvl", kvl_hours(2020, 6, 1, 0, 8, "29.92 50 2 8 77 300.0 600.0"));
    s.cards += "PRECIP_FILE rain.dat\nRAIN_INV_DISTANCE\nLONG_TERM\nHMET_KVL weather.kvl\nET_CALC_DEARDORFF\n"
               "LATITUDE 40\nLONGITUDE 105\nGMT -7\nTOT_TIME 360\nHYD_FREQ 15\n";
    s.card("EVENT_MIN_Q", round3(d.log_between(1e-4, 0.01)));
    t += format_text("EVAPOTRANSPIRATION \"Land use\"\nNUM_IDS %d\nID ALBEDO VEG_HEIGHT KT RS\n", x.classes);
    for (int k = 1; k <= x.classes; ++k)
        t += table_row(k, format_text("%g %g 1 %g", round3(d.between(0.1, 0.3)), round3(d.log_between(0.05, 10.0)),
                                      round3(d.between(50.0, 150.0))));
    return t;
}

// The aquifer under the water table, simulated, 5-10 m deep; it trades
// with the streams through their beds, and its south edge is held at its
// head or not.
void add_aquifer(draws& d, site& s, const temp_dir& dir, const stream_net& net) {
    const double lowest = *std::min_element(s.z.begin(), s.z.end()) - d.between(5.0, 10.0);
    s.grid(dir, "bottom.asc", [&](int) { return lowest; });
    s.cards += "AQUIFER_BOTTOM bottom.asc\n";
    add_stream_aquifer(d, s, dir, net);
}

void make_project(std::uint64_t seed, const temp_dir& dir) {
    draws d(seed * 7 + 3);
    site s = random_site(d, dir);
    s.cards += "MAPPING_TABLE run.cmt\nMAP_TYPE 1\n";
    mix x = random_mix(d);
    stream_net net;
    if (x.channels) net = add_channels(d, s, dir, x.erosion && !x.carried);
    int links = 0;
    for (int l : net.link) links = std::max(links, l);
    std::string tables = add_land_classes(d, x, s, dir);
    if (x.long_term) tables += add_long_term(d, x, s, dir);
    if (x.erosion) tables += add_erosion(d, x, s);
    if (x.extreme || x.erosion || x.nutrients) s.card("WATER_TEMP", x.extreme ? round3(d.between(-5.0, 40.0))
                                                                             : round3(d.between(2.0, 30.0)));
    if (x.soil) tables += add_soils(d, x, s);
    if (x.water_table) {
        // Over some cells up to 0.3 m above the ground (springs, which
        // bring the groundwater up), under the others up to 2 m down.
        s.grid(dir, "table.asc",
               [&](int k) { return s.z[k] + (d.chance(0.3) ? d.between(0.0, 0.3) : -d.between(0.0, 2.0)); });
        s.cards += "WATER_TABLE table.asc\n";
        if (d.chance(0.5)) add_aquifer(d, s, dir, net);
    }
    // Without the soil's layers, a mixing layer in the soil water of Green
    // and Ampt, or one that holds the load the sediment takes.
    const bool soil_water =
        s.cards.find("GREEN_AMPT\n") != std::string::npos || s.cards.find("INF_REDIST\n") != std::string::npos;
    if (!x.soil && (x.bound || (soil_water && d.chance(0.5)))) {
        s.card("MIXING_LAYER_DEPTH", round3(d.log_between(x.extreme ? 1e-6 : 1e-3, 0.1)));
        x.exchange = soil_water;
    }
    if (x.soil) x.exchange = true;
    if (x.contaminants || x.nutrients || x.carried) s.cards += "OV_CON_TRANS\n";
    tables += add_contaminants(d, x, s, dir);
    if (x.bound) s.cards += "SEDIMENT_CONTAM\n";
    const int carried = x.contams + (x.carried ? x.sediments : 0);  // by the cell point sources
    if (carried > 0 && (x.carried || d.chance(0.4))) add_cell_points(d, x, s, dir, carried);
    if (x.nutrients) tables += add_nutrients(d, x, s, dir, links);
    if (x.channels) {
        const int constituents = carried + (x.nutrients ? (x.soil ? 13 : 9) : 0);
        add_channel_constituents(d, x, s, dir, net, constituents);
    }
    dir.write("run.cmt", tables);
    write_site(s, dir);
}

// The soil methods of the projects over a water table.
enum class soil_method { green_ampt, redistribution, layered };

// The project file without the line `line` (a card without a value).
void drop_line(site& s, const std::string& line) {
    const std::size_t at = s.cards.find(line);
    if (at != std::string::npos) s.cards.erase(at, line.size());
}

// The site's own Green and Ampt soils (of maps), when it has them, dropped.
void drop_site_soils(site& s) {
    for (const char* card : {"CONDUCTIVITY", "CAPILLARY", "POROSITY", "MOISTURE"}) drop_card(s, card);
    drop_line(s, "GREEN_AMPT\n");
}

// Layered soils: a map of 1-3 soil classes and their table of three layers
// each (per layer Ks cm/h, pore index, capillary head cm, porosity, field
// capacity, wilting point, residual and initial water content, and for the
// upper two the depth in cm), every value one that soils have: the water
// contents rise from the residual through the wilting point and the field
// capacity to the porosity, the initial one lies between the residual and
// the porosity. Returns the shallowest column of the upper two layers (m),
// where their soil water accounting ends.
double add_layered_soils(draws& d, site& s, const temp_dir& dir) {
    const int classes = d.whole(1, 3);
    s.grid(dir, "soils.asc", [&](int) { return d.whole(1, classes); }, "%.0f ");
    std::string t = format_text("%d 0\n", classes);
    double shallowest = 1e9;
    for (int c = 1; c <= classes; ++c) {
        t += std::to_string(c) + "\n";
        double column = 0.0;  // cm
        for (int layer = 1; layer <= 3; ++layer) {
            const double porosity = round3(d.between(0.35, 0.5));
            t += format_text("%g %g %g %g %g %g %g %g", round3(d.log_between(0.01, 10.0)), round3(d.between(0.1, 0.7)),
                             round3(d.between(2.0, 30.0)), porosity, round3(d.between(0.18, 0.33)),
                             round3(d.between(0.06, 0.15)), round3(d.between(0.01, 0.05)),
                             round3(d.between(0.06, porosity - 0.02)));
            if (layer < 3) {
                const double depth = round3(layer == 1 ? d.between(5.0, 50.0) : d.between(10.0, 150.0));
                column += depth;
                t += " " + text_of(depth);
            }
            t += "\n";
        }
        shallowest = std::min(shallowest, column / 100.0);
    }
    dir.write("layers.txt", t);
    s.cards += "INF_LAYERED_SOIL\nSOIL_TYPE_MAP soils.asc\nSOIL_LAYER_INPUT_FILE layers.txt\n";
    return shallowest;
}

// The water table 0.15-3 m under the ground, in about half the projects
// within the soil column of depth `soil` (m); under it, with `simulated`,
// an aquifer that flows (its conductivity and porosity uniform, of maps, of
// the land classes' GROUNDWATER table or, under layered soils, of their
// third layer; sometimes leaking through its bottom), else one held at the
// table. Returns the mapping tables it adds.
std::string add_water_table(draws& d, const mix& x, site& s, const temp_dir& dir, const stream_net& net,
                            double soil, bool simulated, bool layered) {
    const double top = d.chance(0.5) ? std::clamp(soil, 0.15, 3.0) : 3.0;  // m, the deepest table
    const double low = d.between(0.15, top), high = d.chance(0.3) ? low : d.between(low, top);
    std::vector<double> table;
    for (double z : s.z) table.push_back(z - d.between(low, high));
    s.grid(dir, "table.asc", [&](int k) { return table[k]; });
    s.cards += "WATER_TABLE table.asc\n";
    if (simulated || d.chance(0.5)) {
        // 0.5-10 m under the table, level or following it.
        const bool level = d.chance(0.5);
        const double lowest = *std::min_element(table.begin(), table.end()) - d.between(0.5, 10.0);
        s.grid(dir, "bottom.asc", [&](int k) { return level ? lowest : table[k] - d.between(0.5, 10.0); });
        s.cards += "AQUIFER_BOTTOM bottom.asc\n";
    }
    if (!simulated) return "";
    add_stream_aquifer(d, s, dir, net);
    if (d.chance(0.3)) s.card("GW_LEAKAGE_RATE", round3(d.log_between(1e-3, 0.1)));  // cm/h
    std::string t;
    switch (d.whole(0, layered ? 3 : 2)) {
        case 0:  // uniform, as given
            break;
        case 1:
            drop_card(s, "GW_UNIF_HYCOND");
            drop_card(s, "GW_UNIF_POROSITY");
            s.grid(dir, "gw_k.asc", [&](int) { return round3(d.log_between(0.1, 50.0)); });  // cm/h
            s.grid(dir, "gw_phi.asc", [&](int) { return round3(d.between(0.2, 0.45)); });
            s.cards += "GW_HYCOND_MAP gw_k.asc\nGW_POROSITY_MAP gw_phi.asc\n";
            break;
        case 2:
            drop_card(s, "GW_UNIF_HYCOND");
            drop_card(s, "GW_UNIF_POROSITY");
            t = format_text("GROUNDWATER \"Land use\"\nNUM_IDS %d\nID HYCOND POROSITY\n", x.classes);
            for (int k = 1; k <= x.classes; ++k)
                t += table_row(k, format_text("%g %g", round3(d.log_between(0.1, 50.0)), round3(d.between(0.2, 0.45))));
            break;
        default:  // the soil table's third layer
            drop_card(s, "GW_UNIF_HYCOND");
            drop_card(s, "GW_UNIF_POROSITY");
            break;
    }
    return t;
}

// Projects over a water table (add_water_table) with soils of Green and
// Ampt, of Green and Ampt with redistribution or of layers, the last two
// sometimes in long-term runs; some erode, their sediment classes carried
// as constituents or routed, some carry contaminants, over land, in the
// soil and in channels.
void make_subsurface_project(std::uint64_t seed, const temp_dir& dir) {
    draws d(seed * 11 + 5);
    site s = random_site(d, dir);
    s.cards += "MAPPING_TABLE run.cmt\nMAP_TYPE 1\n";
    mix x;
    x.water_table = true;
    x.extreme = d.chance(0.1);
    x.channels = d.chance(0.5);
    x.erosion = d.chance(0.6);
    x.carried = x.erosion && d.chance(0.6);
    x.contaminants = d.chance(0.4);
    x.bound = x.erosion && !x.carried && x.contaminants && d.chance(0.5);
    x.soil = x.contaminants && !x.carried && d.chance(0.3);
    x.classes = d.whole(1, 3);
    x.sediments = x.erosion ? d.whole(1, 4) : 0;
    x.contams = x.contaminants ? d.whole(1, 3) : 0;
    const soil_method method = static_cast<soil_method>(d.whole(0, 2));
    x.long_term = method != soil_method::green_ampt && d.chance(0.2);
    const bool simulated = d.chance(0.7);
    stream_net net;
    if (x.channels) net = add_channels(d, s, dir, x.erosion && !x.carried);
    std::string tables = add_land_classes(d, x, s, dir);
    if (x.long_term) {
        // Layered soils take the place of its soils with redistribution,
        // whose tables then stay unread.
        tables += add_long_term(d, x, s, dir);
        if (method == soil_method::layered) drop_line(s, "INF_REDIST\n");
    } else if (method == soil_method::green_ampt) {
        if (s.cards.find("GREEN_AMPT\n") == std::string::npos) tables += add_soil_tables(d, x, s, false);
    } else {
        drop_site_soils(s);
        if (method == soil_method::redistribution) tables += add_soil_tables(d, x, s, true);
    }
    // The soil column of the water accounting (and of the soil
    // constituents), its top layer and the constituents' mixing layer.
    double soil = 0.4;  // m, the default
    if (method == soil_method::layered)
        soil = add_layered_soils(d, s, dir);
    else if (d.chance(0.8))
        s.card("SOIL_MOIST_DEPTH", soil = round3(d.between(0.2, 1.5)));
    if (x.soil || d.chance(0.4)) {
        const double top = round3(d.between(0.1, 1.0) * soil);
        s.card("TOP_LAYER_DEPTH", top);
        if (x.soil) {
            s.card("MIXING_LAYER_DEPTH", round3(d.between(0.05, 0.5) * top));
            s.cards += "SOIL_CON_TRANS\n";
        }
    }
    if (x.erosion) {
        tables += add_erosion(d, x, s);
        s.card("WATER_TEMP", round3(d.between(2.0, 30.0)));
    }
    tables += add_water_table(d, x, s, dir, net, soil, simulated, method == soil_method::layered);
    if (!x.soil && (x.bound || d.chance(0.5))) {
        s.card("MIXING_LAYER_DEPTH", round3(d.log_between(x.extreme ? 1e-6 : 1e-3, 0.1)));
        x.exchange = true;
    }
    if (x.soil) x.exchange = true;
    if (x.contaminants || x.carried) s.cards += "OV_CON_TRANS\n";
    if (x.contaminants) tables += add_contaminants(d, x, s, dir);
    if (x.bound) s.cards += "SEDIMENT_CONTAM\n";
    const int carried = x.contams + (x.carried ? x.sediments : 0);
    if (carried > 0 && (x.carried || d.chance(0.4))) add_cell_points(d, x, s, dir, carried);
    if (x.channels && carried > 0) add_channel_constituents(d, x, s, dir, net, carried);
    dir.write("run.cmt", tables);
    write_site(s, dir);
}

constexpr int kBlocks = 4;  // tests, so that ctest spreads the runs over cores

class RandomConstituents : public ::testing::TestWithParam<int> {};

TEST_P(RandomConstituents, EveryRunKeepsItsMassOrStopsWithAMessage) {
    run_random_seeds("constituents", GetParam(), kBlocks, make_project, kSanitizedBuild ? 60 : 250);
}

INSTANTIATE_TEST_SUITE_P(Blocks, RandomConstituents, ::testing::Range(0, kBlocks),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "constituents_" + std::to_string(info.param + 1);
                         });

class RandomSubsurface : public ::testing::TestWithParam<int> {};

TEST_P(RandomSubsurface, EveryRunKeepsItsWaterAndMassOrStopsWithAMessage) {
    run_random_seeds("subsurface", GetParam(), kBlocks, make_subsurface_project, kSanitizedBuild ? 60 : 400);
}

INSTANTIATE_TEST_SUITE_P(Blocks, RandomSubsurface, ::testing::Range(0, kBlocks),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "subsurface_" + std::to_string(info.param + 1);
                         });

}  // namespace
