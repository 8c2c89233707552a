// The overland erosion step on a grid large enough for a team of threads
// leaves, from the same state, what it leaves on one thread, bit for bit,
// on teams of two to four: for the second capacity formula (whose faces
// move in bands of rows on every thread) and another (whose detachment
// runs beside the ordered moves), the water running against the cell order
// and with it, on a full grid, a ragged one with holes and one of rows
// longer than a block of cells, with and without every book and a lake;
// and it names the same, first, cell out of parent soil.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
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

constexpr int kThreads[] = {1, 2, 3, 4};

// The grids: 70 x 100 cells (55 blocks of 128); the same with ragged rows
// and holes; 12 rows of 400 cells.
enum class shape { full, ragged, wide };
int g_rows = 70, g_cols = 100;
shape g_shape = shape::full;

void set_shape(shape s) {
    g_shape = s;
    g_rows = s == shape::wide ? 12 : 70;
    g_cols = s == shape::wide ? 400 : 100;
}

// Whether the cell at row r, column c is in the grid (the first and last
// cells of the first and last rows always are).
bool inside(int r, int c) {
    if (g_shape != shape::ragged || (r == 1 && c == 1) || (r == g_rows && c == g_cols)) return true;
    const bool edge = c > 5 + (r * 7) % 11 && c < g_cols - (r * 5) % 13;
    const bool hole = (r / 9) % 2 == 1 && c % 23 >= 10 && c % 23 < 14;
    return edge && !hole;
}

// Bumpy ground falling to the north-west (south-east when `with_order`).
double ground(int r, int c, bool with_order) {
    const double y = with_order ? g_rows + 1 - r : r, x = with_order ? g_cols + 1 - c : c;
    return 100.0 + 0.05 * x + 0.04 * y + 0.3 * std::sin(0.7 * r) * std::cos(0.5 * c);
}

// Three classes; every seventh column a soil no flow shears.
void write_inputs(const kesta_test::temp_dir& dir, int formula, bool with_order) {
    using kesta_test::grid_of;
    dir.write("mask.asc", grid_of(g_rows, g_cols, 10.0, [](int r, int c) { return inside(r, c) ? 1 : 0; }, "%d "));
    dir.write("elev.asc", grid_of(g_rows, g_cols, 10.0, [&](int r, int c) { return ground(r, c, with_order); }, "%.3f "));
    dir.write("zones.asc", grid_of(g_rows, g_cols, 10.0, [](int, int c) { return c % 7 == 0 ? 2 : 1; }, "%d "));
    const std::string pad(36, ' ');
    dir.write("tables.cmt",
              "KESTA_INDEX_MAP_TABLES\nINDEX_MAP zones.asc \"Soils\"\nSEDIMENTS\nNUM_SED 3\n"
              "class specific_gravity diameter binding file\nclay" + pad + "2.65 0.002 0.1 a.out\nsilt" + pad +
                  "2.65 0.02 0.1 b.out\nsand" + pad + "2.65 0.5 0 c.out\nSOIL_EROSION_PROPS \"Soils\"\nNUM_IDS 2\n"
                  "NUM_SED 3\nID tc_C tc_I tc_R K Kd Id Cd sed_K f1 f2 f3\n" +
                  kesta_test::table_row(1, "0.05 1.2 0.0 0 0 0 0 1.0 0.3 0.4 0.3") +
                  kesta_test::table_row(2, "0.05 1.2 0.0 30 3e-5 1.0 1e6 0.5 0.2 0.5 0.3"));
    // North-west, the outlet lets its sediment out by a face of its own; south-east, by its right face.
    const std::string rows = std::to_string(g_rows), cols = std::to_string(g_cols);
    const std::string outlet = with_order ? "OUTROW " + rows + "\nOUTCOL " + cols + "\n" : "OUTROW 1\nOUTCOL 1\n";
    dir.write("p.prj", "KESTAPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE 10\nROWS " + rows +
                           "\nCOLS " + cols + "\n" + outlet + "OUTSLOPE 0.02\nMANNING_N 0.05\nTOT_TIME 16\nTIMESTEP 6\nPRECIP_UNIF\n"
                           "RAIN_INTENSITY 50\nRAIN_DURATION 30\nSTART_DATE 2020 6 1\nSTART_TIME 12 0\nSUMMARY s.out\n"
                           "OUTLET_HYDRO h.out\nHYD_FREQ 1\nOUTLET_SED_FLUX f.out\nMAPPING_TABLE tables.cmt\n"
                           "SOIL_EROSION " + std::to_string(formula) + "\nSAND_SIZE 0.1\nSUPER_QUIET\n");
}

// Every table the step writes (with the ground, which the books of
// ADJUST_ELEV move): restored before each way it is taken, read after.
std::vector<double*> tables(kesta::model_state& m, std::vector<std::size_t>& sizes) {
    kesta::sed_record& s = *m.ov_sed;
    std::vector<double*> t;
    sizes.clear();
    for (kesta::mat2<double>* x : {&s.vol_sed.parent, &s.vol_sed.suspended, &s.vol_sed.deposited, &s.ov_sed_vol_eroded,
                                   &s.ov_sed_vol_deposited, &s.sed_fract.deposit, &s.ov_sed_vol_qsx, &s.ov_sed_vol_qsy,
                                   &s.sed_vol_overland_to_lake, &s.SS_vol_lake_to_overland, &s.eroded_step,
                                   &s.deposited_step})
        if (!x->empty()) t.push_back(x->data()), sizes.push_back((x->nrows() + 1) * (x->ncols() + 1));
    for (kesta::vec1<double>* x :
         {&s.qsx, &s.qsy, &s.Sfx, &s.Sfy, &s.outlet_vol, &s.ov_qsmax, &s.outlet_vol_step, &s.ov_qsvol, &m.elev})
        if (!x->empty()) t.push_back(x->data()), sizes.push_back(x->n() + 1);
    return t;
}

// The ways the step is taken: without books, with every book kept, and
// with every book and a band across the grid's middle in a lake whose
// level lies above the ground there.
enum kept { bare, books, lake, ways };

void set_lake_and_books(kesta::model_state& m, int way) {
    kesta::sed_record& s = *m.ov_sed;
    const bool lake = way == kept::lake, kept = way != kept::bare;
    m.chan_lakes_on = lake;
    m.lake_num = lake ? kesta::vec1<int>(m.ncells) : kesta::vec1<int>();
    m.lake_elev = kesta::vec1<double>(1);
    m.lake_elev[1] = ground(g_rows / 2, g_cols / 2, false) + 0.2;
    for (int r = g_rows / 2 - 2; lake && r <= g_rows / 2 + 2; ++r)
        for (int c = g_cols / 3; c <= 2 * g_cols / 3; ++c)
            if (m.mask[r][c]) m.lake_num[m.mask[r][c]] = 1;
    const int k = kept ? s.num_sed : -1, fine = lake ? s.n_fine_classes : -1, n = kept ? m.ncells : -1;
    s.sed_vol_overland_to_lake = lake ? kesta::mat2<double>(1, k) : kesta::mat2<double>();
    s.SS_conc_vol_lake = fine < 0 ? kesta::mat2<double>() : kesta::mat2<double>(1, fine);
    s.SS_vol_lake_to_overland = fine < 0 ? kesta::mat2<double>() : kesta::mat2<double>(1, fine);
    for (int pos = 1; pos <= fine; ++pos) s.SS_conc_vol_lake[1][pos] = 1e-4 * pos;  // m3/m3
    s.ov_qsmax = n < 0 ? kesta::vec1<double>() : kesta::vec1<double>(n);
    s.ov_sed_vol_qsx = n < 0 ? kesta::mat2<double>() : kesta::mat2<double>(n, k);
    s.ov_sed_vol_qsy = n < 0 ? kesta::mat2<double>() : kesta::mat2<double>(n, k);
    s.outlet_vol_step = k < 0 ? kesta::vec1<double>() : kesta::vec1<double>(k);
    // The books of the sediment-bound constituents and of ADJUST_ELEV.
    s.eroded_step = n < 0 ? kesta::mat2<double>() : kesta::mat2<double>(n, k);
    s.deposited_step = n < 0 ? kesta::mat2<double>() : kesta::mat2<double>(n, k);
    m.project_options.adjust_elev_given = kept ? 1 : 0;
}

// [way][threads]: the tables after the step; and the cell each names when
// cells across the grid (`spent`) have almost no parent soil left.
std::vector<std::vector<double>> g_after[kept::ways];
std::vector<std::string> g_named;
std::vector<int> g_spent;
double g_lake_gave = 0.0;  // m3 the lake gave the land on one thread
int g_bands = 0;           // bands of rows the grid was cut into (0: none)
int g_band_steps = 0;      // steps whose first band moved its faces in bands
double g_patience = -1.0;  // us a band waits before it is long (below 0: the model's own)
int g_long_waits = 0;      // band steps with a long wait

bool step_on_teams(kesta::model_state& m, const char* name) {
    if (!g_after[0].empty() || std::string(name) != "step_storm_drain" || m.elapsed_min < 15.0) return true;
    kesta::sed_record& s = *m.ov_sed;
    for (int way = 0; way < kept::ways; ++way) {
        const bool lake = way == kept::lake;
        set_lake_and_books(m, way);
        std::vector<std::size_t> sizes;
        std::vector<double*> t = tables(m, sizes);
        std::vector<std::vector<double>> start;
        for (std::size_t k = 0; k < t.size(); ++k) start.emplace_back(t[k], t[k] + sizes[k]);
        for (const int threads : kThreads) {
            for (std::size_t k = 0; k < t.size(); ++k) std::copy(start[k].begin(), start[k].end(), t[k]);
            for (const int i : g_spent)
                for (int k = 1; k <= s.num_sed; ++k)
                    s.vol_sed.parent[i][k] = -m.gridsize * m.gridsize / s.num_sed, s.vol_sed.deposited[i][k] = 0.0;
            // No step before this one (on a busy machine) keeps the bands off the team.
            s.bands_refused_until = {};
            s.bands_refusals = 0;
            if (g_patience >= 0.0) s.bands_patience = g_patience;
            s.band_done.fill(0);
            omp_set_num_threads(threads);
            const int share = kesta::set_cells_per_thread(1);
            kesta::overland_sediment_transport(m, 6.0);
            kesta::set_cells_per_thread(share);
            omp_set_num_threads(omp_get_num_procs());
            // Only the bands count the cells of the first band done.
            if (s.row_count > 0 && s.band_count > 1 &&
                s.band_done[kesta::kBandDoneStride] == s.row_first[s.band_first[2]] - 1) {
                g_bands = s.band_count;
                ++g_band_steps;
                g_long_waits += s.bands_refusals > 0;
            }
            std::vector<double>& after = g_after[way].emplace_back();
            for (std::size_t k = 0; k < t.size(); ++k) after.insert(after.end(), t[k], t[k] + sizes[k]);
            if (lake && threads == 1) g_lake_gave = s.SS_vol_lake_to_overland[1][1];
            const std::string& said = kesta::g_error_record.stop_message;
            if (!g_spent.empty()) g_named.push_back(said.substr(std::min(said.find("from cell"), said.size()), 15));
            kesta::g_error_record.code = kesta::g_error_record.stop = 0;
        }
        for (std::size_t k = 0; k < t.size(); ++k) std::copy(start[k].begin(), start[k].end(), t[k]);
    }
    set_lake_and_books(m, kept::bare);
    return true;
}

void run_on_teams(int formula, bool with_order, std::vector<int> spent) {
    kesta_test::temp_dir dir(true);
    write_inputs(dir, formula, with_order);
    for (auto& after : g_after) after.clear();
    g_named.clear();
    g_lake_gave = 0.0;
    g_bands = g_band_steps = g_long_waits = 0;
    g_spent = std::move(spent);
    kesta_test::run_in_process("p.prj", step_on_teams);
    for (int way = 0; way < kept::ways; ++way) {
        ASSERT_EQ(g_after[way].size(), 4u);
        for (std::size_t t = 1; t < 4; ++t) {
            ASSERT_EQ(g_after[way][t].size(), g_after[way][0].size());
            // Bits, not values: a capacity left to its face's turn is a nan.
            EXPECT_EQ(std::memcmp(g_after[way][t].data(), g_after[way][0].data(), g_after[way][0].size() * 8), 0)
                << "way " << way << ", " << kThreads[t] << " threads";
        }
    }
    EXPECT_GT(g_lake_gave, 0.0);
    // The second formula's teams, and they alone, took the bands (several,
    // the wide grid's of two rows each) where the lake let them.
    EXPECT_EQ(g_band_steps, formula == 2 ? 6 : 0);
    if (formula == 2) {
        EXPECT_GE(g_bands, g_shape == shape::wide ? 6 : 9);
    }
}

TEST(ErosionOnATeam, EveryTeamLeavesWhatOneThreadLeavesBitForBit) {
    for (const shape grid : {shape::full, shape::ragged, shape::wide}) {
        set_shape(grid);
        for (const int formula : {2, 3})
            for (const bool with_order : {false, true}) {
                SCOPED_TRACE("grid " + std::to_string(static_cast<int>(grid)) + ", formula " +
                             std::to_string(formula) + (with_order ? ", with the order" : ", against it"));
                run_on_teams(formula, with_order, {});
            }
    }
    set_shape(shape::full);
}

// A band that waits long (here: any wait at all) leaves the rest of the
// step to one thread and keeps the bands off the next steps for a while,
// with the same results.
TEST(ErosionOnATeam, ALongWaitLeavesTheStepToOneThreadWithTheSameResults) {
    set_shape(shape::full);
    g_patience = 0.0;
    // A wait needs two of the team's threads running at once: on a busy
    // machine the calling thread may take every band before another wakes,
    // so the steps are taken again until one of them waited.
    int long_waits = 0;
    for (int attempt = 0; attempt < 64 && long_waits == 0; ++attempt)
        for (const bool with_order : {false, true}) {
            run_on_teams(2, with_order, {});
            long_waits += g_long_waits;
        }
    g_patience = -1.0;
    EXPECT_GT(long_waits, 0);
}

TEST(ErosionOnATeam, TheFirstCellOutOfSoilIsNamedWhateverTheTeam) {
    // Cells from the grid's end back to its start, so that on a team the last bands find theirs first.
    set_shape(shape::full);
    run_on_teams(2, false, {6990, 5000, 3000, 1500, 700});
    ASSERT_EQ(g_named.size(), 12u);
    for (const std::string& named : g_named) EXPECT_EQ(named, "from cell 700 (");
}

}  // namespace
