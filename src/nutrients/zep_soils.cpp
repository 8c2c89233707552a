#include "nutrients/zep_soils.hpp"

#include <algorithm>
#include <cstdio>

#include "core/thread_team.hpp"
#include "core/warnings.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"
#include "nutrients/nutrient_steps.hpp"
#include "nutrients/source/vegso_warnings.hpp"
#include "transport/constituent_books.hpp"
#include "transport/constituents.hpp"

namespace kesta {
namespace {

constexpr double kGramsPerKilogram = 1000.0;
constexpr double kCmPerMetre = 100.0;
constexpr double kSolidDensity = 2650.0;  // kg/m3 of the soil's solids
// Field capacity and wilting point (volumetric) of a soil whose
// infiltration keeps neither.
constexpr double kDefaultFieldCapacity = 0.1;
constexpr double kDefaultWiltingPoint = 0.05;
// A water table at most this deep (cm) stands at the ground.
constexpr double kAtGround = 1e-16;
// A soil cell's step (its plants, two graphs per layer, their integration)
// costs about as much as 30 to 60 updates of a cell's water: a soil cell
// counts as this many cells of a grid in the share each thread of a team is
// given (about 1,100 soil cells a thread), so that a thread takes about as
// much work from the soil step as from a loop over the water, and a grid of
// a few thousand cells, far too small to share its water out, shares out
// its soil. The upper end, because the parts go to whichever thread is
// free: a thread more than the work needs costs little more than its
// waking, one too few leaves its share of the work to the others.
constexpr long long kSoilCellCost = 60;

// The layer record position of each soil pool's mass, in soil pool order.
struct pool_positions {
    int at[kSoilPools];
};
constexpr pool_positions make_pool_positions() {
    pool_positions p{};
    for (const soil_pool_row& r : kSoilPoolRows) p.at[r.pool] = r.position;
    return p;
}
constexpr pool_positions kPositions = make_pool_positions();
constexpr const int (&kPoolPosition)[kSoilPools] = kPositions.at;

// The pool of a library binding (vegso_pool) that soil pool p is; -1 for
// the carbon pools, which the library keeps but does not step.
constexpr int bound_pool(int p) {
    return kPoolPosition[p] >= vegso_ammonium ? (kPoolPosition[p] - vegso_ammonium) / 4 : -1;
}
static_assert(bound_pool(kSoilPools - 1) == vegso_pool_stable_p && bound_pool(0) == -1, "pool positions");

zep_soils& soils(model_state& m) { return m.zep->soils; }

bool coupled(const model_state& m) {
    return m.zep && m.soil_con_trans && m.first_nutrient_constituent >= 1 && !m.zep->soils.cells.empty();
}

mat2<double>& pool_table(model_state& m, int pool) {
    return m.soil_mass[static_cast<std::size_t>(m.first_nutrient_constituent + pool)];
}

// The layer records of cell k's library cell, top layer first.
vegso_layer_record* const* cell_records(zep_soils& s, int k) {
    return s.cells[static_cast<std::size_t>(k - 1)]->schema->layers;
}

// Thickness (m) and bottom depth (m, the thicknesses down to it) of each
// layer of cell k into its records.
void set_depths(const model_state& m, int k, vegso_layer_record* const* records) {
    double bottom = 0.0;
    for (int l = 1; l <= m.soil_layer_count[k]; ++l) {
        const double t = m.soil_thickness[k][l];
        bottom += t;
        records[l - 1]->v[vegso_thickness] = t;
        records[l - 1]->v[vegso_bottom_depth] = bottom;
    }
}

// Binds cell k's library cell to the moisture table, its rows of the pool
// tables and of the dissolved shares, and the soil's step tallies: the
// library steps the pools where the model keeps them.
void bind_cell(model_state& m, zep_soils& s, int k) {
    vegso_cell_binding b{};
    b.water_content = m.nutrient_grid.table[k] + 1;
    for (int p = 0; p < kSoilPools; ++p) {
        const int i = bound_pool(p);
        if (i < 0) continue;
        b.pools[i] = pool_table(m, p)[k] + 1;
        b.dissolved[i] = s.dissolved[static_cast<std::size_t>(p)][k] + 1;
    }
    b.unit = kGramsPerKilogram;
    // The tallies of the cell's part, which steps on one thread at a time.
    zep_soil_part& part = s.parts[static_cast<std::size_t>((k - 1) / kSoilPartCells)];
    b.made = part.made.data();
    b.used = part.used.data();
    vegso_cell_bind(s.cells[static_cast<std::size_t>(k - 1)].get(), &b);
}

// The dissolved share of every pool of layer l of cell k from its record.
void take_dissolved(zep_soils& s, int k, int l, const double* v) {
    for (int p = 0; p < kSoilPools; ++p) s.dissolved[static_cast<std::size_t>(p)][k][l] = v[kPoolPosition[p] + 1];
}

// The pool tables, in soil pool order. The cells are walked one at a time
// over all their pools: a cell's records are one pointer chain away and are
// best read or written together.
void pool_tables(model_state& m, mat2<double>** tables) {
    for (int p = 0; p < kSoilPools; ++p) tables[p] = &pool_table(m, p);
}

void set_params(model_state& m, const double* const* values, int from) {
    zep_soils_params_record(m);
    zep_soils& s = soils(m);
    for (int k = 1; k <= s.ncells; ++k)
        for (int i = 0; i < 6; ++i) s.params[static_cast<std::size_t>(k - 1)]->v[from + i] = values[i][k];
}

// The moisture table and the pool tables of cell k into its records (g to
// kg).
void push_cell(const model_state& m, zep_soils& s, mat2<double>* const* tables, int k) {
    const double* theta = m.nutrient_grid.table[k];
    vegso_layer_record* const* records = cell_records(s, k);
    for (int l = 1; l <= m.soil_layer_count[k]; ++l) {
        double* v = records[l - 1]->v;
        v[vegso_water_content] = theta[l];
        for (int p = 0; p < kSoilPools; ++p) v[kPoolPosition[p]] = (*tables[p])[k][l] / kGramsPerKilogram;
    }
}

// The records of cell k back into the pool tables (kg to g), with the
// dissolved shares; what each pool gained or lost is added to made[p] or
// used[p] (g).
void pull_cell(const model_state& m, zep_soils& s, mat2<double>* const* tables, int k, double* made, double* used) {
    vegso_layer_record* const* records = cell_records(s, k);
    for (int l = 1; l <= m.soil_layer_count[k]; ++l) {
        const double* v = records[l - 1]->v;
        take_dissolved(s, k, l, v);
        for (int p = 0; p < kSoilPools; ++p) {
            double& pool = (*tables[p])[k][l];
            const double now = v[kPoolPosition[p]] * kGramsPerKilogram;
            const double change = now - pool;
            if (change > 0.0)
                made[p] += change;
            else
                used[p] -= change;
            pool = now;
        }
    }
}

// What the pools gained and lost in a pull, into the run's totals and the
// soil books of their slots.
void book_pulled(model_state& m, const double* made, const double* used) {
    zep_soils& s = soils(m);
    for (int p = 0; p < kSoilPools; ++p) {
        s.gained += made[p];
        s.lost += used[p];
        if (!(made[p] > 0.0 || used[p] > 0.0)) continue;
        book(m, con_flow::soil_made, m.first_nutrient_constituent + p, made[p]);
        book(m, con_flow::soil_used, m.first_nutrient_constituent + p, used[p]);
    }
}

}  // namespace

void zep_soils_allocate(model_state& m) {
    zep_soils& s = soils(m);
    say(m, "Allocating memory for ZEP Soils...");
    // The library's warnings join the run's.
    vegso_set_warning_sink([](const char* text, void*) { warn(text); }, nullptr);
    const int n = m.ncells;
    s.ncells = n;
    s.cells.clear();
    s.cells.reserve(static_cast<std::size_t>(n));
    // The parts, their tallies (where the cells are bound) and their rooms
    // (bound cells need no room for their layers).
    s.parts.clear();
    s.parts.resize(static_cast<std::size_t>((n + kSoilPartCells - 1) / kSoilPartCells));
    for (zep_soil_part& p : s.parts) p.room.reset(vegso_step_room_create(0));
    for (mat2<double>& d : s.dissolved) d = mat2<double>(n, kMaxContamLayers);
    const double area = m.gridsize * m.gridsize;
    // Infiltration that keeps the soil's field capacity and wilting point.
    const bool kept = (m.inf_redist_on || m.inf_richards_on) && m.field_capacity.n() >= n && m.Wp.n() >= n;
    for (int k = 1; k <= n; ++k) {
        const int layers = m.soil_layer_count[k];
        vegso_schema* schema = vegso_schema_create(0, layers);
        for (int j = 0; j < layers; ++j) {
            vegso_layer_record* r = vegso_layer_defaults();
            schema->layers[j] = r;
            r->v[vegso_layer_number] = j;
            r->v[vegso_mass_factor] = area;
            r->v[vegso_solid_density] = kSolidDensity;
            r->v[vegso_porosity] = m.soil_porosity[k][j + 1];
            r->v[vegso_water_content] = m.nutrient_grid.table[k][j + 1];
            r->v[vegso_field_capacity] = kept ? m.field_capacity[k] : kDefaultFieldCapacity;
            r->v[vegso_wilting_point] = kept ? m.Wp[k] : kDefaultWiltingPoint;
        }
        set_depths(m, k, schema->layers);
        for (int j = 0; j < layers; ++j) vegso_layer_init_pools(schema->layers[j]);
        s.cells.emplace_back(vegso_cell_create(schema, k));
        vegso_schema_destroy(schema);
        vegso_layer_record* const* records = cell_records(s, k);
        for (int l = 1; l <= layers; ++l) {
            const double* v = records[l - 1]->v;
            for (int p = 0; p < kSoilPools; ++p) pool_table(m, p)[k][l] = v[kPoolPosition[p]] * kGramsPerKilogram;
            take_dissolved(s, k, l, v);
        }
        bind_cell(m, s, k);
    }
    say(m, "Done\n");
}

void zep_soils_set_param(model_state& m) {
    if (!coupled(m)) return;
    zep_soils& s = soils(m);
    for (int k = 1; k <= s.ncells; ++k) {
        set_depths(m, k, s.cells[static_cast<std::size_t>(k - 1)]->schema->layers);
        bind_cell(m, s, k);  // the cell takes the new depths
    }
}

void zep_soils_params_record(model_state& m) {
    zep_soils& s = soils(m);
    if (!s.params.empty()) return;
    s.params.reserve(static_cast<std::size_t>(s.ncells));
    for (int k = 1; k <= s.ncells; ++k) s.params.emplace_back(vegso_cell_params_defaults());
}

void zep_soils_set_uniform_b(model_state& m, const double* const* values) {
    if (coupled(m)) set_params(m, values, 0);
}

void zep_soils_set_uniform_a(model_state& m, const double* const* values) {
    if (coupled(m)) set_params(m, values, 6);
}

void zep_soils_apply(model_state& m) {
    if (!coupled(m)) return;
    zep_soils& s = soils(m);
    for (std::size_t i = 0; i < s.params.size(); ++i) vegso_cell_set_params(s.cells[i].get(), s.params[i].get());
}

void zep_soils_push_state(model_state& m) {
    if (!coupled(m)) return;
    zep_soils& s = soils(m);
    mat2<double>* tables[kSoilPools];
    pool_tables(m, tables);
    for (int k = 1; k <= s.ncells; ++k) push_cell(m, s, tables, k);
}

void zep_soils_pull_state(model_state& m) {
    if (!coupled(m)) return;
    zep_soils& s = soils(m);
    mat2<double>* tables[kSoilPools];
    pool_tables(m, tables);
    double made[kSoilPools] = {}, used[kSoilPools] = {};
    for (int k = 1; k <= s.ncells; ++k) pull_cell(m, s, tables, k, made, used);
    book_pulled(m, made, used);
}

void zep_soils_step(model_state& m, double days) {
    // Static soil concentrations hold the pools as they are.
    if (!coupled(m) || !(days > 0.0) || m.soil_static_conc) return;
    zep_set_weather(m, days);
    zep_soils& s = soils(m);
    const vegso_env_record* environment = m.zep->environment;
    // Each cell reads its moisture and pools from the tables and leaves its
    // pools there, adding what each pool gained and lost to the tallies of
    // its part. The parts go to a team of threads, each part whole to one
    // thread, in its own room, where its warnings wait.
    for (zep_soil_part& p : s.parts) {
        p.made.fill(0.0);
        p.used.fill(0.0);
    }
    const int ncells = s.ncells;
    const int team = thread_team(ncells * kSoilCellCost);
    const int parts = static_cast<int>(s.parts.size());
    run_parts_on_team(team, parts, [&](int part, int) {
        const int first = part * kSoilPartCells, count = std::min(ncells - first, kSoilPartCells);
        vegso_cell_handle* handles[kSoilPartCells];
        for (int c = 0; c < count; ++c) handles[c] = s.cells[static_cast<std::size_t>(first + c)].get();
        vegso_cells_step_in(environment, handles, count, s.parts[static_cast<std::size_t>(part)].room.get());
    });
    // Part after part, in cell order, as one thread steps them: their
    // warnings, and their tallies summed.
    s.made.fill(0.0);
    s.used.fill(0.0);
    for (zep_soil_part& p : s.parts) {
        vegso_give_warnings(&p.room->warnings);
        for (std::size_t i = 0; i < s.made.size(); ++i) {
            s.made[i] += p.made[i];
            s.used[i] += p.used[i];
        }
    }
    double made[kSoilPools] = {}, used[kSoilPools] = {};
    for (int p = 0; p < kSoilPools; ++p) {
        const int i = bound_pool(p);
        if (i < 0) continue;
        made[p] = s.made[static_cast<std::size_t>(i)];
        used[p] = s.used[static_cast<std::size_t>(i)];
    }
    book_pulled(m, made, used);
}

const mat2<double>* zep_soil_dissolved(const model_state& m, int c) {
    const int p = c - m.first_nutrient_constituent;
    if (!m.zep || m.first_nutrient_constituent < 1 || p < 0 || p >= kSoilPools) return nullptr;
    return &m.zep->soils.dissolved[static_cast<std::size_t>(p)];
}

void zep_soil_layer_moisture(double upper, double lower, double wt_depth, const double* t, bool groundwater,
                             const double* soil, int n, double* result) {
    const double d = groundwater ? wt_depth : soil[22] + soil[23] + 1.0;
    // The layers of the class's first layer: the mixing layer and the rest
    // of the first layer (two), or the first layer whole (one); a last
    // layer below them is the class's second layer.
    const int first = soil[23] > kAtGround ? n - 1 : n;
    if (d <= kAtGround) {
        for (int l = 1; l <= n; ++l) result[l] = l <= first ? soil[7] : soil[8];
        return;
    }
    const double t1 = kCmPerMetre * t[1], t2 = n >= 2 ? kCmPerMetre * t[2] : 0.0;
    const double t12 = t1 + t2;
    // Layer 1: below the water table saturated, above it the upper store's
    // water (shared with layer 2 by thickness when both lie above it).
    if (first < 2) {
        result[1] = (t1 > d ? (t1 - d) * soil[7] + upper : upper) / t1;
        if (n == 2) result[2] = t1 > d ? soil[8] : t12 > d ? ((t12 - d) * soil[8] + lower) / t2 : lower / t2;
        return;
    }
    if (t12 < d)
        result[1] = upper * t1 / t12 / t1;
    else if (t1 <= d)
        result[1] = upper * t1 / d / t1;
    else
        result[1] = ((t1 - d) * soil[7] + upper) / t1;
    result[2] = t1 > d ? soil[7] : t12 > d ? ((d - t1) * upper / d + (t12 - d) * soil[7]) / t2 : upper * t2 / t12 / t2;
    if (n < 3) return;
    const double t3 = kCmPerMetre * t[3], t123 = t12 + t3;
    result[3] = t12 > d ? soil[8] : t123 > d ? ((t123 - d) * soil[8] + lower) / t3 : lower / t3;
}

}  // namespace kesta
