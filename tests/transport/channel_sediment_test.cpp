// Channel sediment: Yang's sand discharge, the trapezoid's bed change and
// the breakpoint table's lookup against independent values; a whole run on
// a valley with erodible channels, a lake and a weir, in which the wash
// load and the sand keep their volume to round-off after every step and the
// outputs agree with the books; and the inputs the set-up refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "channel/lake_valley.hpp"
#include "model/event_steps.hpp"
#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "transport/sediment.hpp"

namespace {

using kesta_test::table_row;
namespace valley = kesta_test::lake_valley;

// Sand of 0.5 mm at 20 C in a trapezoid of bottom width 5 m and side slope
// 2 flowing 1 m deep (A 7 m2, P 9.4721 m) at 7 m3/s down a slope of 0.001:
// Re* 42.62, Vcr/w 2.2527, Ct 579.0 ppm, qs = 7 Ct / (1e6 x 2.65). A
// trapezoid of b 5, z 2 gaining 1 m2 rises by the root of 2 d^2 + 5 d = 1
// and loses 0.2 m under a 1 m2 scour, at most its erodible depth. A table
// of four heights 0.5 m apart looked up at its top height takes its last
// row (interpolated within the table), above it the line of its last two
// rows, below its first height a 5/3 power.
TEST(ChannelSedimentLaws, YangBedShiftAndTableLookupGiveTheIndependentValues) {
    const kesta::sand_grain grain = kesta::sand_grain_of(0.5, kesta::water_viscosity(20.0));
    EXPECT_NEAR(kesta::yang_sand_discharge(7.0, 7.0, 5.0 + 2.0 * std::sqrt(5.0), 0.001, grain), 1.52947e-3, 2e-8);
    EXPECT_NEAR(kesta::yang_sand_discharge(-7.0, 7.0, 5.0 + 2.0 * std::sqrt(5.0), 0.001, grain), 1.52947e-3, 2e-8);
    EXPECT_EQ(kesta::yang_sand_discharge(0.5, 7.0, 5.0 + 2.0 * std::sqrt(5.0), 0.001, grain), 0.0);

    EXPECT_NEAR(kesta::trapezoid_bed_shift(1.0, 5.0, 2.0, 1.0), 0.186141, 1e-6);
    EXPECT_NEAR(kesta::trapezoid_bed_shift(-1.0, 5.0, 2.0, 1.0), -0.2, 1e-12);
    EXPECT_NEAR(kesta::trapezoid_bed_shift(-1.0, 5.0, 2.0, 0.1), -0.1, 1e-12);
    EXPECT_NEAR(kesta::trapezoid_bed_shift(1.0, 5.0, 0.0, 1.0), 0.2, 1e-12);
    EXPECT_NEAR(kesta::trapezoid_bed_shift(2.0, 0.0, 2.0, 1.0), 1.0, 1e-12);

    kesta::model_state m;
    m.ntables = 1;
    m.numhts = kesta::vec1<int>(1);
    m.ht_spc = kesta::vec1<double>(1);
    m.xarea = kesta::mat2<double>(4, 1);
    m.xp = kesta::mat2<double>(4, 1);
    m.numhts[1] = 4;
    m.ht_spc[1] = 0.5;
    const double areas[] = {1.0, 3.0, 6.0, 10.0}, perimeters[] = {3.0, 5.0, 7.0, 9.0};
    for (int i = 1; i <= 4; ++i) {
        m.xarea[i][1] = areas[i - 1];
        m.xp[i][1] = perimeters[i - 1];
    }
    const struct {
        double y, area, perimeter;
    } cases[] = {{2.0, 10.0, 9.0}, {1.25, 4.5, 6.0}, {2.5, 14.0, 11.0},
                 {0.25, std::pow(0.5, 5.0 / 3.0), 3.0 * std::pow(0.5, 5.0 / 3.0)}};
    for (const auto& c : cases) {
        double a = -1.0, p = -1.0;
        ASSERT_TRUE(kesta::xsec_table_lookup(m, 1, c.y, a, p)) << c.y;
        EXPECT_NEAR(a, c.area, 1e-12) << c.y;
        EXPECT_NEAR(p, c.perimeter, 1e-12) << c.y;
    }
}

// Clay, silt and sand of one soil over the whole valley.
std::string mapping_tables() {
    const std::string pad(36, ' ');
    return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Soils\"\n"
           "SEDIMENTS\nNUM_SED 3\nclass specific_gravity diameter binding file\n"
           "clay" + pad + "2.65 0.002 0.1 a.out\nsilt" + pad + "2.65 0.02 0.1 b.out\n"
           "sand" + pad + "2.65 0.3 0 c.out\n"
           "SOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 1\nNUM_SED 3\nID tc_C tc_I tc_R K Kd Id Cd sed_K f1 f2 f3\n" +
           table_row(1, "0 0 0 60 3e-5 1 0.5 0.1 0.3 0.4 0.3");
}

// The valley's links erodible, 0.2 m of sand under their beds.
std::string erodible_network() {
    std::string t = valley::channel_file();
    for (std::size_t at = t.find("TRAPEZOID\n"); at != std::string::npos; at = t.find("TRAPEZOID\n", at))
        t.replace(at, 10, "TRAP_ERODE\n");
    for (std::size_t at = t.find("BANKFULL_DEPTH 1\n"); at != std::string::npos; at = t.find("BANKFULL_DEPTH 1\n", at + 1))
        t.insert(at + 17, "MAX_EROSION 0.2\n");
    return t;
}

const char* const kSedimentCards =
    "MAPPING_TABLE tables.cmt\nSOIL_EROSION 2\nSAND_SIZE 0.2\nSED_POROSITY 0.4\nOUTLET_SED_FLUX sed.out\n";

void write_valley(const kesta_test::temp_dir& dir, const std::string& chan, const std::string& extra) {
    dir.write("mask.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("elev.asc", valley::grid(valley::ground, "%.3f "));
    dir.write("zones.asc", valley::grid([](int, int) { return 1.0; }, "%.0f "));
    dir.write("tables.cmt", mapping_tables());
    dir.write("net.chan", chan);
    dir.write("net.gst", valley::grid_stream_file());
    dir.write("run.prj", valley::project("EXPLICIT") + kSedimentCards + extra);
}

// The channels and the lake as a whole, after every step: the wash load
// the overland gave them is suspended, settled onto the lake's cells or
// gone through the outlet; the bed sand they started with and the sand the
// overland gave them is on the channel beds, on the lake's bed or gone.
struct sediment_watch {
    double wash_misfit = 0.0, sand_misfit = 0.0, lake_bed_misfit = 0.0;
    double wash_in = 0.0, sand_in = 0.0;
    bool all_real = true;
    double into_lake = 0.0, out_of_lake = 0.0, settled = 0.0, wash_out = 0.0, sand_out = 0.0, sand_to_lake = 0.0;
    double least_bed = 0.0;  // m3, the least sand of a node's bed or class on it
};
sediment_watch* g_watch = nullptr;

bool watch(kesta::model_state& m, const char* name) {
    if (std::string(name) != "report_progress" || !m.ov_sed || m.ov_sed->ch_wash_vol.empty()) return true;
    const kesta::sed_record& s = *m.ov_sed;
    const kesta::chan_sed_books& b = s.run_books;
    double lake_wash = 0.0, lake_sand = 0.0;
    for (int k = 1; k <= m.nlakes; ++k) {
        lake_wash += s.ch_wash_vol[s.lake_row0 + k][0];
        lake_sand += s.lake_depo_vol[k][0];
    }
    const double wash_in = b.to_chan[0] + b.overland_to_lake[0];
    const double wash_kept = kesta::channel_wash_volume(m) + lake_wash + b.settled[0] + b.wash_out;
    double sand_in = s.initial_sand_run;
    for (int pos = s.n_fine_classes + 1; pos <= s.num_sed; ++pos) sand_in += b.to_chan[s.sed_class[pos]];
    const double sand_kept = kesta::channel_sand_volume(m) + b.sand_to_lake[0] + b.sand_out;
    sediment_watch& w = *g_watch;
    w.wash_misfit = std::max(w.wash_misfit, std::fabs(wash_in - wash_kept));
    w.sand_misfit = std::max(w.sand_misfit, std::fabs(sand_in - sand_kept));
    w.lake_bed_misfit = std::max(w.lake_bed_misfit, std::fabs(lake_sand - b.sand_to_lake[0]));
    w.all_real = w.all_real && std::isfinite(wash_kept + sand_kept);
    const kesta::cube3<double>& bed = m.ch_sand_vol;
    for (int l = 1; l <= bed.n1(); ++l)
        for (int j = 1; j <= bed.n2(); ++j)
            for (int p = 0; p <= bed.n3(); ++p) w.least_bed = std::min(w.least_bed, bed[l][j][p]);
    w.wash_in = wash_in;
    w.sand_in = sand_in;
    w.into_lake = b.chan_to_lake[0];
    w.out_of_lake = b.lake_to_chan[0];
    w.settled = b.settled[0];
    w.wash_out = b.wash_out;
    w.sand_out = b.sand_out;
    w.sand_to_lake = b.sand_to_lake[0];
    return true;
}

using kesta_test::numbers;

// A word of `text` that printf makes of a value that is not a number.
bool prints_a_non_number(const std::string& text) {
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (word[0] == '-' || word[0] == '+') word.erase(0, 1);
        if (word == "nan" || word == "inf") return true;
    }
    return false;
}

TEST(ChannelSediment, WashLoadAndSandKeepTheirVolumeAndTheOutputsAgreeWithTheBooks) {
    kesta_test::temp_dir dir(true);
    // Node 3 of the head link and node 2 of the stream below the weir.
    dir.write("loc.txt", "2\n1 3\n4 2\n");
    write_valley(dir, erodible_network(),
                 "OUTLET_SED_TSS tss.out\nIN_SED_LOC loc.txt\nOUT_SED_LOC sedloc.out\nOUT_TSS_LOC tssloc.out\n"
                 "CHAN_DEPTH depth.lnd\nCHAN_SED_FLUX sed.lnd\n");
    sediment_watch w;
    g_watch = &w;
    const kesta_test::model_run run = kesta_test::run_in_process("run.prj", watch);
    g_watch = nullptr;
    ASSERT_EQ(run.rc, 0) << run.out;

    EXPECT_TRUE(w.all_real);
    EXPECT_GT(w.wash_in, 0.1);
    EXPECT_LT(w.wash_misfit, 1e-12 * w.wash_in);
    EXPECT_LT(w.sand_misfit, 1e-12 * w.sand_in);
    EXPECT_LT(w.lake_bed_misfit, 1e-12 * w.sand_in);
    // A node whose faces take all its sand keeps none, not a rounding less.
    EXPECT_GE(w.least_bed, 0.0);
    // Wash load ran into the lake, out over the weir and settled in it;
    // sand left the head link into the lake and the stream through the outlet.
    for (double v : {w.into_lake, w.out_of_lake, w.settled, w.wash_out, w.sand_to_lake, w.sand_out}) EXPECT_GT(v, 0.0);

    const std::string summary = kesta_test::read_file(dir.file("run.sum"));
    for (const char* line :
         {"Overland soil erosion.\n", "Sediment transport in channels using Yang's eqn. for sand.\n",
          "     sediment outflow at the catchment outlet (sed.out).\n",
          "     sediment hydrographs at selected locations (sedloc.out).\n",
          "     channel sediment flux, a link/node dataset (sed.lnd).\n", "Summary for lake 1 \n"})
        EXPECT_NE(summary.find(line), std::string::npos) << line;
    // The event's three errors and the run's.
    const std::string label = "Mass conservation error for ";
    int errors = 0;
    for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1), ++errors)
        EXPECT_LT(std::fabs(std::stod(summary.substr(at + 43))), 1e-6) << summary.substr(at, 70);
    EXPECT_EQ(errors, 4);

    // Every output pass writes the time and one rate per class.
    const std::string series = kesta_test::read_file(dir.file("sed.out"));
    EXPECT_EQ(numbers(series).size(), 25u * 4u);
    EXPECT_EQ(numbers(kesta_test::read_file(dir.file("tss.out"))).size(), 25u * 2u);
    const std::string located = kesta_test::read_file(dir.file("sedloc.out"));
    EXPECT_EQ(located.rfind("2\n   1    3\n   4    2\n", 0), 0u);
    EXPECT_EQ(numbers(located).size(), 5u + 25u * 7u);
    EXPECT_EQ(numbers(kesta_test::read_file(dir.file("tssloc.out"))).size(), 25u * 3u);
    // The flux dataset numbers its blocks after the depth dataset's.
    const std::string flux = kesta_test::read_file(dir.file("sed.lnd"));
    EXPECT_EQ(flux.rfind("KESTA_LINKNODE_STREAM_SED_FLUX\nNUM_LINKS     4\n", 0), 0u);
    EXPECT_NE(flux.find("\nTS    1\n"), std::string::npos);
    EXPECT_NE(kesta_test::read_file(dir.file("depth.lnd")).find("\nTS    2\n"), std::string::npos);
    for (const char* file : {"run.sum", "sed.out", "tss.out", "sedloc.out", "tssloc.out", "sed.lnd"})
        EXPECT_FALSE(prints_a_non_number(kesta_test::read_file(dir.file(file)))) << file;
}

// The books of the run as it ends, which the FYSSI table must carry: by
// class the sediment the overland gave the channels (m3) and what the table
// holds over all nodes, and the nodes of a line.
struct fyssi_books {
    std::vector<double> to_chan, table;
    int nodes = 0;
};
fyssi_books g_fyssi;

bool watch_fyssi(kesta::model_state& m, const char* name) {
    if (std::string(name) != "write_final_summaries" || !m.ov_sed) return true;
    const kesta::sed_record& s = *m.ov_sed;
    g_fyssi = fyssi_books();
    for (int l = 1; l <= m.nlinks; ++l) g_fyssi.nodes += m.link_nodes[l];
    for (int k = 1; k <= s.num_sed; ++k) {
        g_fyssi.to_chan.push_back(s.run_books.to_chan[k]);
        double held = 0.0;
        for (int r = 1; r <= s.qlat_tot_sed.nrows(); ++r) held += s.qlat_tot_sed[r][k];
        g_fyssi.table.push_back(held);
    }
    return true;
}

// The tables of a FYSSI file: each a list of lines of numbers, ended by the
// dashed line (a table not so ended is not returned).
std::vector<std::vector<std::vector<double>>> fyssi_tables(const std::string& text) {
    const std::string dashes(58, '-');
    std::vector<std::vector<std::vector<double>>> tables(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line == dashes) {
            tables.emplace_back();
            continue;
        }
        const std::vector<double> row = numbers(line);
        if (!row.empty()) tables.back().push_back(row);
    }
    tables.pop_back();
    return tables;
}

// Two runs of one project into one FYSSI file: each appends its table, a
// line per class of one value per node, whose values add up to what the
// run's books say the overland gave the channels of that class (to the
// rounding of the 2 printed decimals, 0.005 m3 a value).
TEST(ChannelSediment, EachRunAppendsItsFyssiTableWhoseLinesAddUpToTheSedimentToTheChannels) {
    kesta_test::temp_dir dir(true);
    write_valley(dir, erodible_network(), "FYSSI fyssi.out\n");
    for (int run = 1; run <= 2; ++run) {
        const kesta_test::model_run r = kesta_test::run_in_process("run.prj", watch_fyssi);
        ASSERT_EQ(r.rc, 0) << r.out;
    }
    ASSERT_EQ(g_fyssi.to_chan.size(), 3u);
    const std::string text = kesta_test::read_file(dir.file("fyssi.out"));
    const std::string end = "\n" + std::string(58, '-') + "\n";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    const auto tables = fyssi_tables(text);
    ASSERT_EQ(tables.size(), 2u) << text;
    EXPECT_EQ(tables[0], tables[1]);  // the same run twice
    ASSERT_EQ(tables[0].size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("class " + std::to_string(k + 1));
        const std::vector<double>& line = tables[0][k];
        ASSERT_EQ(line.size(), static_cast<std::size_t>(g_fyssi.nodes));
        double sum = 0.0;
        for (double v : line) sum += v;
        EXPECT_NEAR(sum, g_fyssi.to_chan[k], 0.005 * static_cast<double>(line.size()));
        EXPECT_NEAR(g_fyssi.table[k], g_fyssi.to_chan[k], 1e-9 * (1.0 + g_fyssi.to_chan[k]));
    }
    EXPECT_GT(g_fyssi.to_chan[0] + g_fyssi.to_chan[1], 0.1);  // the fine classes reached the channels

    // Without soil erosion the file is not touched, and the summary says why.
    std::filesystem::remove(dir.file("fyssi.out"));
    dir.write("run.prj", valley::project("EXPLICIT") + "FYSSI fyssi.out\n");
    const kesta_test::model_run r = kesta_test::run_in_process("run.prj");
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fyssi.out")));
    EXPECT_NE(kesta_test::read_file(dir.file("run.sum"))
                  .find("card FYSSI names fyssi.out, but the run has no channel sediment"),
              std::string::npos);
}

// Each input channel sediment cannot run with stops the run, naming where
// and what.
TEST(ChannelSediment, BadChannelSedimentInputsAreRefusedNamingWhereAndWhat) {
    const std::string erodible = erodible_network();
    std::string negative = erodible;
    negative.replace(negative.find("MAX_EROSION 0.2"), 15, "MAX_EROSION -0.1");
    const struct {
        std::string chan, extra, message;
    } cases[] = {
        {erodible, "SAND_SIZE 0\n", "SAND_SIZE 0 in project file run.prj"},
        {valley::channel_file(), "", "does not contain any erodable trapezoidal links"},
        {negative, "", "node 1 of erodible link 1 has the erodible bed depth (MAX_EROSION) -0.1 m"},
        {erodible, "IN_SED_LOC loc.txt\nOUT_SED_LOC o.out\n",
         "sediment location file loc.txt, line 2: location 1 is on link 2, a lake or structure"},
    };
    for (const auto& c : cases) {
        kesta_test::temp_dir dir;
        dir.write("loc.txt", "1\n2 1\n");
        write_valley(dir, c.chan, c.extra);
        const kesta_test::program_result r = kesta_test::run_kesta("run.prj", dir.path().string());
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.message << "\n" << r.output;
        EXPECT_EQ(kesta_test::read_file(dir.file("run.sum")).find("Channel sediment routing"), std::string::npos);
    }
}

}  // namespace
