// The overland erosion step on a grid large enough for a team of threads:
// from the same state, the step leaves the same volumes, books, capacities
// and outlet figures, bit for bit, on one thread and on teams of two to
// four (which cut the grid into different segments), for the second
// capacity formula and another, with the water running against the cell
// order and with it, with a band of cells in a lake and with every book
// kept; and a step in which several cells run out of parent soil names the
// same, first, cell.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/error_record.hpp"
#include "core/thread_team.hpp"
#include "model/model_state.hpp"
#include "support/grid_text.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"
#include "transport/sediment.hpp"
#include "transport/transport_steps.hpp"

namespace {

using kesta_test::grid_of;
using kesta_test::table_row;

// 7000 cells: 55 blocks of 128, so that every team cuts the grid into two
// or three segments, each of several blocks.
constexpr int kRows = 70, kCols = 100;
constexpr double kCell = 10.0;
constexpr int kTeams[] = {2, 3, 4};

// Bumpy ground falling to the north-west, against the order the faces are
// visited (to the south-east, with it, when `with_order`): faces carry
// both ways and some cells hold still water.
double ground(int r, int c, bool with_order) {
    const double rr = with_order ? kRows + 1 - r : r, cc = with_order ? kCols + 1 - c : c;
    return 100.0 + 0.05 * (cc - 1) + 0.04 * (rr - 1) + 0.3 * std::sin(0.7 * r) * std::cos(0.5 * c);
}

// Three classes; zone 2 (every seventh column) has a critical shear no
// flow reaches.
std::string mapping_tables() {
    const std::string pad(36, ' ');
    return "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Soils\"\n"
           "SEDIMENTS\nNUM_SED 3\nclass specific_gravity diameter binding file\n"
           "clay" + pad + "2.65 0.002 0.1 a.out\nsilt" + pad + "2.65 0.02 0.1 b.out\n"
           "sand" + pad + "2.65 0.5 0 c.out\n"
           "SOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 2\nNUM_SED 3\nID tc_C tc_I tc_R K Kd Id Cd sed_K f1 f2 f3\n" +
           table_row(1, "0.05 1.2 0.0 0 0 0 0 1.0 0.3 0.4 0.3") +
           table_row(2, "0.05 1.2 0.0 30 3e-5 1.0 1e6 0.5 0.2 0.5 0.3");
}

void write_inputs(const kesta_test::temp_dir& dir, int formula, bool with_order) {
    dir.write("mask.asc", grid_of(kRows, kCols, kCell, [](int, int) { return 1; }, "%d "));
    dir.write("elev.asc",
              grid_of(kRows, kCols, kCell, [with_order](int r, int c) { return ground(r, c, with_order); }, "%.3f "));
    dir.write("zones.asc", grid_of(kRows, kCols, kCell, [](int, int c) { return c % 7 == 0 ? 2 : 1; }, "%d "));
    dir.write("tables.cmt", mapping_tables());
    // The outlet in the north-west corner lets its sediment out by a face of
    // its own; in the south-east corner, by its right face.
    const std::string size = "ROWS " + std::to_string(kRows) + "\nCOLS " + std::to_string(kCols) + "\n";
    const std::string outlet =
        with_order ? "OUTROW " + std::to_string(kRows) + "\nOUTCOL " + std::to_string(kCols) + "\n" : "OUTROW 1\nOUTCOL 1\n";
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\n" + size + outlet +
                           "OUTSLOPE 0.02\nMANNING_N 0.05\nTOT_TIME 16\nTIMESTEP 6\nPRECIP_UNIF\n"
                           "RAIN_INTENSITY 50\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\n"
                           "SUMMARY summ.out\nOUTLET_HYDRO hyd.out\nHYD_FREQ 1\nMAPPING_TABLE tables.cmt\nSOIL_EROSION " +
                           std::to_string(formula) + "\nSAND_SIZE 0.1\nOUTLET_SED_FLUX sed.out\nSUPER_QUIET\n");
}

// Everything an erosion step writes that a later step or an output reads.
std::vector<double> step_results(const kesta::model_state& m) {
    const kesta::sed_record& s = *m.ov_sed;
    std::vector<double> v;
    const auto rows = [&](const kesta::mat2<double>& t, int last) {
        for (int i = 0; i <= last; ++i)
            for (int k = 0; k <= s.num_sed; ++k) v.push_back(t[i][k]);
    };
    for (const kesta::mat2<double>* t : {&s.vol_sed.parent, &s.vol_sed.suspended, &s.vol_sed.deposited,
                                          &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &s.sed_fract.deposit})
        rows(*t, m.ncells);
    for (const kesta::vec1<double>* c : {&s.qsx, &s.qsy, &s.Sfx, &s.Sfy})
        for (int i = 1; i <= m.ncells; ++i) v.push_back((*c)[i]);
    for (int k = 0; k <= s.num_sed; ++k) v.push_back(s.outlet_vol[k]);
    v.push_back(s.sed_out_vol);
    if (!s.ov_qsmax.empty()) {
        for (int i = 1; i <= m.ncells; ++i) v.push_back(s.ov_qsmax[i]);
        rows(s.ov_sed_vol_qsx, m.ncells);
        rows(s.ov_sed_vol_qsy, m.ncells);
        for (int k = 0; k <= s.num_sed; ++k) v.push_back(s.outlet_vol_step[k]);
    }
    if (!s.sed_vol_overland_to_lake.empty()) {
        rows(s.sed_vol_overland_to_lake, 1);
        for (int pos = 1; pos <= s.n_fine_classes; ++pos) v.push_back(s.SS_vol_lake_to_overland[1][pos]);
    }
    return v;
}

// The ways a step is taken: as a plain run; with the channel lakes on and
// a band of cells across the middle of the grid in a lake, whose level
// lies a little above the ground there (the other faces take the general
// path); keeping each cell's flux and each face's volumes.
enum class books { plain, lakes, kept };
constexpr books kBooks[] = {books::plain, books::lakes, books::kept};

void set_books(kesta::model_state& m, books b) {
    kesta::sed_record& s = *m.ov_sed;
    const bool lakes = b == books::lakes, kept = b == books::kept;
    m.chan_lakes_on = lakes ? 1 : 0;
    m.lake_num = lakes ? kesta::vec1<int>(m.ncells) : kesta::vec1<int>();
    m.lake_elev = lakes ? kesta::vec1<double>(1) : kesta::vec1<double>();
    // The lake's suspension of each fine class (m3/m3), which its outflow carries onto the land.
    s.SS_conc_vol_lake = lakes ? kesta::mat2<double>(1, s.n_fine_classes) : kesta::mat2<double>();
    s.SS_vol_lake_to_overland = lakes ? kesta::mat2<double>(1, s.n_fine_classes) : kesta::mat2<double>();
    if (lakes) {
        for (int r = kRows / 2 - 2; r <= kRows / 2 + 2; ++r)
            for (int c = kCols / 3; c <= 2 * kCols / 3; ++c) m.lake_num[m.mask[r][c]] = 1;
        m.lake_elev[1] = ground(kRows / 2, kCols / 2, false) + 0.2;
        for (int pos = 1; pos <= s.n_fine_classes; ++pos) s.SS_conc_vol_lake[1][pos] = 1e-4 * pos;
    }
    s.sed_vol_overland_to_lake = lakes ? kesta::mat2<double>(1, s.num_sed) : kesta::mat2<double>();
    s.ov_qsmax = kept ? kesta::vec1<double>(m.ncells) : kesta::vec1<double>();
    s.ov_sed_vol_qsx = kept ? kesta::mat2<double>(m.ncells, s.num_sed) : kesta::mat2<double>();
    s.ov_sed_vol_qsy = kept ? kesta::mat2<double>(m.ncells, s.num_sed) : kesta::mat2<double>();
    s.outlet_vol_step = kept ? kesta::vec1<double>(s.num_sed) : kesta::vec1<double>();
}

// What the step changes, kept to take it again from the same state.
struct step_state {
    std::vector<std::vector<double>> tables;
    std::vector<double> outlet;

    static std::vector<kesta::mat2<double>*> of(kesta::sed_record& s) {
        return {&s.vol_sed.parent,    &s.vol_sed.suspended,   &s.vol_sed.deposited,
                &s.ov_sed_vol_eroded, &s.ov_sed_vol_deposited, &s.sed_fract.deposit};
    }
    explicit step_state(kesta::model_state& m) {
        kesta::sed_record& s = *m.ov_sed;
        const std::size_t values = static_cast<std::size_t>(m.ncells + 1) * (s.num_sed + 1);
        for (kesta::mat2<double>* t : of(s)) tables.emplace_back(t->data(), t->data() + values);
        outlet.assign(s.outlet_vol.data(), s.outlet_vol.data() + s.num_sed + 1);
    }
    void restore(kesta::model_state& m) const {
        kesta::sed_record& s = *m.ov_sed;
        const std::vector<kesta::mat2<double>*> t = of(s);
        for (std::size_t k = 0; k < t.size(); ++k) std::copy(tables[k].begin(), tables[k].end(), t[k]->data());
        std::copy(outlet.begin(), outlet.end(), s.outlet_vol.data());
        for (kesta::vec1<double>* c : {&s.qsx, &s.qsy, &s.Sfx, &s.Sfy, &s.ov_qsmax, &s.outlet_vol_step}) c->fill(0.0);
        for (kesta::mat2<double>* c :
             {&s.ov_sed_vol_qsx, &s.ov_sed_vol_qsy, &s.sed_vol_overland_to_lake, &s.SS_vol_lake_to_overland})
            c->fill(0.0);
    }
};

// The step on `threads` threads (a share of one cell a thread, so that
// the team has as many as OpenMP may use).
void step_on(kesta::model_state& m, int threads) {
    omp_set_num_threads(threads);
    const int share = kesta::set_cells_per_thread(1);
    kesta::overland_sediment_transport(m, 6.0);
    kesta::set_cells_per_thread(share);
    omp_set_num_threads(omp_get_num_procs());
}

// One step in the rain, taken from the same state on one thread and on
// each team, each way of kBooks: what it left, [books][0 one thread, then
// the teams].
struct team_steps {
    std::vector<std::vector<double>> results[3];
    double moved = 0.0;  // |change| of the plain step on one thread
    double to_lake = 0.0, from_lake = 0.0;  // m3 the lake took and gave on one thread
};
team_steps* g_team = nullptr;

bool step_on_teams(kesta::model_state& m, const char* name) {
    if (!g_team->results[0].empty() || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    const step_state start(m);
    const std::vector<double> before = step_results(m);
    for (int b = 0; b < 3; ++b) {
        set_books(m, kBooks[b]);
        for (int t = 0; t <= 3; ++t) {
            start.restore(m);
            step_on(m, t == 0 ? 1 : kTeams[t - 1]);
            g_team->results[b].push_back(step_results(m));
            if (t > 0 || kBooks[b] != books::lakes) continue;
            const kesta::sed_record& s = *m.ov_sed;
            for (int k = 1; k <= s.num_sed; ++k) g_team->to_lake += s.sed_vol_overland_to_lake[1][k];
            for (int pos = 1; pos <= s.n_fine_classes; ++pos) g_team->from_lake += s.SS_vol_lake_to_overland[1][pos];
        }
    }
    for (std::size_t e = 0; e < before.size(); ++e) g_team->moved += std::fabs(g_team->results[0][0][e] - before[e]);
    set_books(m, books::plain);
    start.restore(m);
    return true;
}

TEST(ErosionOnATeam, EveryTeamLeavesWhatOneThreadLeavesBitForBit) {
    // The second formula, whose capacities the detachment works out, and
    // the third, whose capacities are worked out once every cell is
    // detached; the water against the cell order and with it.
    for (const int formula : {2, 3}) {
        for (const bool with_order : {false, true}) {
            SCOPED_TRACE("formula " + std::to_string(formula) + (with_order ? ", with the order" : ", against it"));
            kesta_test::temp_dir dir(true);
            write_inputs(dir, formula, with_order);
            team_steps w;
            g_team = &w;
            const kesta_test::model_run run = kesta_test::run_in_process("p.prj", step_on_teams);
            g_team = nullptr;
            ASSERT_EQ(run.rc, 0) << run.out;
            EXPECT_GT(w.moved, 1e-3);
            EXPECT_GT(w.from_lake, 0.0);
            EXPECT_NE(w.to_lake, -w.from_lake);  // the land gave the lake sediment too
            for (int b = 0; b < 3; ++b) {
                ASSERT_EQ(w.results[b].size(), 4u);
                const std::vector<double>& one = w.results[b][0];
                for (std::size_t t = 1; t < 4; ++t) {
                    ASSERT_EQ(w.results[b][t].size(), one.size());
                    int differ = 0;
                    for (std::size_t e = 0; e < one.size(); ++e) {
                        // Bits, not values: a nan (a capacity left to its face's turn) equals a nan.
                        if (std::memcmp(&w.results[b][t][e], &one[e], sizeof(double)) != 0 && ++differ <= 5)
                            ADD_FAILURE() << "books " << b << ", team of " << kTeams[t - 1] << ": value " << e
                                          << " is " << w.results[b][t][e] << ", on one thread " << one[e];
                    }
                    EXPECT_EQ(differ, 0) << "books " << b << ", team of " << kTeams[t - 1];
                }
            }
            // The plain step and the kept books agree on what they share.
            const std::vector<double>& plain = w.results[0][0];
            for (std::size_t e = 0; e < plain.size(); ++e) ASSERT_EQ(w.results[2][0][e], plain[e]) << e;
        }
    }
}

// The cell named by a step in which cells of every segment have almost no
// parent soil left to give, on one thread and on each team.
std::vector<std::string>* g_named = nullptr;
std::vector<int> g_spent;  // the cells brought to the end of their soil

std::string named_cell() {
    const std::string& message = kesta::g_error_record.stop_message;
    const std::size_t at = message.find("from cell ");
    return at == std::string::npos ? message : message.substr(at, message.find(' ', at + 10) - at);
}

bool exhaust_cells(kesta::model_state& m, const char* name) {
    if (!g_named->empty() || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    kesta::sed_record& s = *m.ov_sed;
    const step_state start(m);
    const double erodible = m.gridsize * m.gridsize;  // 1 m of ground
    for (const int i : g_spent) {
        for (int k = 1; k <= s.num_sed; ++k) {
            s.vol_sed.parent[i][k] = -erodible / s.num_sed;
            s.vol_sed.deposited[i][k] = 0.0;
        }
    }
    const step_state spent(m);
    for (int t = 0; t <= 3; ++t) {
        spent.restore(m);
        step_on(m, t == 0 ? 1 : kTeams[t - 1]);
        g_named->push_back(named_cell());
        kesta::g_error_record.code = 0;
        kesta::g_error_record.stop = 0;
        kesta::g_error_record.stop_message.clear();
    }
    start.restore(m);
    return true;
}

TEST(ErosionOnATeam, TheFirstCellOutOfSoilIsNamedWhateverTheTeam) {
    kesta_test::temp_dir dir(true);
    write_inputs(dir, 2, false);
    // Zone-1 cells in the rain, from the grid's end back to its start, so
    // that on a team the last segments find theirs first.
    g_spent = {6990, 5000, 3000, 1500, 700};
    std::vector<std::string> named;
    g_named = &named;
    const kesta_test::model_run run = kesta_test::run_in_process("p.prj", exhaust_cells);
    g_named = nullptr;
    ASSERT_EQ(named.size(), 4u) << run.out;
    EXPECT_EQ(named[0], "from cell 700") << run.out;
    for (std::size_t t = 1; t < 4; ++t) EXPECT_EQ(named[t], named[0]) << "team of " << kTeams[t - 1];
}

}  // namespace
