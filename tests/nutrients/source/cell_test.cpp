// A library cell through its record interface: the initial pools of a layer
// record, and a cell of three layers with a corn plant stepped hour by hour,
// reading what the caller writes into its records between steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nutrients/source/cell.hpp"
#include "nutrients/source/vegso_interface.hpp"
#include "warning_capture.hpp"

using namespace VEGSO;

namespace {

const int kNitrogenPools[] = {vegso_ammonium, vegso_nitrate, vegso_fresh_n, vegso_active_n, vegso_stable_n};

// Nitrogen in the layer records, in the pools lost from the layers and in
// the plants.
double cell_nitrogen(const vegso_cell_handle& h) {
    double sum = 0.0;
    for (int j = 0; j < h.schema->layer_count; ++j) {
        for (int at : kNitrogenPools) sum += h.schema->layers[j]->v[at];
        const auto& n = h.cell->layer(j).nitrogenGraph.state();
        sum += n.mass(NITROGEN::kDenitrifiedPool) + n.mass(NITROGEN::kVolatilizedPool);
    }
    return sum + h.cell->plants().totalNutrientMass();
}

}  // namespace

TEST(VegsoCell, DefaultLayerRecordsGiveTheirInitialPools) {
    vegso_layer_record* r = vegso_layer_defaults();
    vegso_layer_init_pools(r);
    EXPECT_NEAR(r->v[vegso_carbon_part], 0.165179, 5e-7);
    EXPECT_NEAR(r->v[vegso_active_carbon], 82.5893, 5e-5);
    EXPECT_NEAR(r->v[vegso_stable_carbon], 82.5893, 5e-5);
    const double c = r->v[vegso_carbon_part];
    EXPECT_NEAR(r->v[vegso_active_n], 0.8 * 1000.0 * c / 14.0, 1e-12);
    EXPECT_EQ(r->v[vegso_stable_carbon - 1], 0.0);  // positions the pools leave are 0
    EXPECT_EQ(r->v[vegso_ammonium + 3], 0.0);

    // A layer of no thickness holds nothing.
    r->v[vegso_thickness] = 0.0;
    vegso_layer_init_pools(r);
    EXPECT_NEAR(r->v[vegso_carbon_part], 0.17 * std::exp(-0.5782 * 0.1), 1e-15);
    EXPECT_EQ(r->v[vegso_active_carbon], 0.0);
    EXPECT_EQ(r->v[vegso_solution_p], 0.0);
    vegso_free_record(r);
}

TEST(VegsoCell, ACornCellKeepsItsNitrogenAndReadsWhatIsWrittenBetweenSteps) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = vegso_schema_create(1, 3);
    schema->plants[0] = vegso_plant_desc_create();
    std::strcpy(schema->plants[0]->name, "CORN");
    schema->plants[0]->value = 1.0;
    const double bottom[] = {0.1, 0.3, 0.6};
    for (int j = 0; j < 3; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = bottom[j];
        r->v[vegso_thickness] = bottom[j] - (j > 0 ? bottom[j - 1] : 0.0);
        r->v[vegso_water_content] = 0.28;
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        vegso_layer_init_pools(r);
        r->v[vegso_ammonium] = 2.0;
        schema->layers[j] = r;
    }
    vegso_cell_handle* h = vegso_cell_create(schema, 9);
    vegso_cell_params* params = vegso_cell_params_defaults();
    params->v[7] = 0.0;  // nitrate not sorbed
    vegso_cell_set_params(h, params);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;

    double expected = cell_nitrogen(*h);
    double noon_uptake = 0.0;
    for (int day = 0; day < 40; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            env->day_of_year = 150.0 + day + hour / 24.0;
            env->air_temperature.value = hour >= 6 && hour < 19 ? 26.0 : 16.0;
            vegso_env_update(env);
            vegso_cell_step(env, h);
            if (day == 39 && hour == 12) noon_uptake = h->schema->layers[0]->v[vegso_result];
        }
        // The caller adds nitrate to the middle layer between two steps.
        h->schema->layers[1]->v[vegso_nitrate] += 0.5;
        expected += 0.5;
    }
    const Plant& corn = h->cell->plants().plants()[0];
    EXPECT_GT(corn.canopy.LAI, 0.1);
    EXPECT_GT(corn.nutrient.massTakenUp, 1.0);
    EXPECT_GT(noon_uptake, 0.0);
    EXPECT_NEAR(cell_nitrogen(*h), expected, 1e-12 * expected);
    EXPECT_EQ(h->schema->layers[2]->v[vegso_nitrate + 1], 1.0);  // dissolved fraction
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_free_record(params);
    EXPECT_EQ(vegso_cell_destroy(h), 0);
    vegso_schema_destroy(schema);
}

// Two cells of the same three layers, one on its records (kg), one bound to
// the caller's tables (g): stepped hour by hour, with water and nitrate
// changed between steps in both, the bound one leaves in the tables the
// pools the other leaves in its records, writes the dissolved shares, tallies
// what each pool gained and lost, and leaves its own records as they were.
TEST(VegsoCell, ABoundCellStepsThePoolsWhereTheCallerKeepsThem) {
    vegso_test::warning_capture warnings;
    constexpr int kLayers = 3;
    vegso_schema* schema = vegso_schema_create(0, kLayers);
    const double bottom[] = {0.02, 0.3, 0.8};
    for (int j = 0; j < kLayers; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = bottom[j];
        r->v[vegso_thickness] = bottom[j] - (j > 0 ? bottom[j - 1] : 0.0);
        r->v[vegso_mass_factor] = 900.0;
        r->v[vegso_solid_density] = 2650.0;
        r->v[vegso_water_content] = 0.3;
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        vegso_layer_init_pools(r);
        r->v[vegso_ammonium] = 1.5;
        schema->layers[j] = r;
    }
    vegso_cell_handle* records = vegso_cell_create(schema, 1);
    vegso_cell_handle* bound = vegso_cell_create(schema, 2);
    vegso_cell_params* params = vegso_cell_params_defaults();
    params->v[7] = 0.0;  // nitrate not sorbed
    vegso_cell_set_params(records, params);
    vegso_cell_set_params(bound, params);

    double water[kLayers], pools[vegso_pool_count][kLayers], dissolved[vegso_pool_count][kLayers] = {};
    double made[vegso_pool_count] = {}, used[vegso_pool_count] = {}, start[vegso_pool_count] = {};
    vegso_cell_binding b{};
    b.water_content = water;
    for (int i = 0; i < vegso_pool_count; ++i) {
        for (int j = 0; j < kLayers; ++j) {
            pools[i][j] = schema->layers[j]->v[vegso_ammonium + 4 * i] * 1000.0;
            start[i] += pools[i][j];
        }
        b.pools[i] = pools[i];
        b.dissolved[i] = dissolved[i];
    }
    for (int j = 0; j < kLayers; ++j) water[j] = schema->layers[j]->v[vegso_water_content];
    b.unit = 1000.0;
    b.made = made;
    b.used = used;
    vegso_cell_bind(bound, &b);
    std::vector<vegso_layer_record> untouched;
    for (int j = 0; j < kLayers; ++j) untouched.push_back(*bound->schema->layers[j]);

    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    double added = 0.0;  // g of nitrate
    for (int hour = 0; hour < 72; ++hour) {
        env->day_of_year = 150.0 + hour / 24.0;
        vegso_env_update(env);
        vegso_cell_step(env, records);
        vegso_cell_step(env, bound);
        if (hour % 12 == 11) {
            records->schema->layers[1]->v[vegso_nitrate] += 0.5;
            pools[vegso_pool_nitrate][1] += 500.0;
            added += 500.0;
            const double theta = hour % 24 == 11 ? 0.12 : 0.35;  // dry, then wet enough to denitrify
            for (int j = 0; j < kLayers; ++j) {
                records->schema->layers[j]->v[vegso_water_content] = theta;
                water[j] = theta;
            }
        }
    }
    for (int i = 0; i < vegso_pool_count; ++i) {
        double now = 0.0;
        for (int j = 0; j < kLayers; ++j) {
            const double* v = records->schema->layers[j]->v;
            const double expected = v[vegso_ammonium + 4 * i] * 1000.0;
            EXPECT_NEAR(pools[i][j], expected, 1e-12 * std::fabs(expected) + 1e-15) << i << " " << j;
            EXPECT_EQ(dissolved[i][j], v[vegso_ammonium + 4 * i + 1]) << i << " " << j;
            now += pools[i][j];
        }
        const double change = now - start[i] - (i == vegso_pool_nitrate ? added : 0.0);
        EXPECT_NEAR(made[i] - used[i], change, 1e-12 * (start[i] + added)) << i;
    }
    EXPECT_GT(used[vegso_pool_ammonium], 0.0);  // nitrified
    EXPECT_GT(dissolved[vegso_pool_nitrate][0], 0.99);
    for (int j = 0; j < kLayers; ++j)
        EXPECT_EQ(std::memcmp(&untouched[static_cast<std::size_t>(j)], bound->schema->layers[j],
                              sizeof(vegso_layer_record)),
                  0)
            << j;
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_free_record(params);
    vegso_cell_destroy(records);
    vegso_cell_destroy(bound);
    vegso_schema_destroy(schema);
}

namespace {

// A soil of n layers without plants, every layer wetter than the one above.
vegso_schema* bare_soil(int n, double ammonium) {
    vegso_schema* schema = vegso_schema_create(0, n);
    for (int j = 0; j < n; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = 0.1 * (j + 1);
        r->v[vegso_thickness] = 0.1;
        r->v[vegso_mass_factor] = 900.0;
        r->v[vegso_solid_density] = 2650.0;
        r->v[vegso_water_content] = 0.2 + 0.03 * j;
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        r->v[vegso_temperature] = 14.0 + j;
        vegso_layer_init_pools(r);
        r->v[vegso_ammonium] = ammonium * (1.0 + 0.1 * j);
        schema->layers[j] = r;
    }
    return schema;
}

// The caller's storage of a bound cell of n layers, filled from its records.
struct bound_storage {
    std::vector<double> water, pools[vegso_pool_count], dissolved[vegso_pool_count];
    double made[vegso_pool_count] = {}, used[vegso_pool_count] = {};
    vegso_cell_binding binding{};

    bound_storage(const vegso_schema& schema) {
        const int n = schema.layer_count;
        for (int j = 0; j < n; ++j) water.push_back(schema.layers[j]->v[vegso_water_content]);
        binding.water_content = water.data();
        for (int i = 0; i < vegso_pool_count; ++i) {
            for (int j = 0; j < n; ++j) pools[i].push_back(schema.layers[j]->v[vegso_ammonium + 4 * i] * 1000.0);
            dissolved[i].assign(static_cast<std::size_t>(n), 0.0);
            binding.pools[i] = pools[i].data();
            binding.dissolved[i] = dissolved[i].data();
        }
        binding.unit = 1000.0;
        binding.made = made;
        binding.used = used;
    }
    bound_storage(const bound_storage&) = delete;
    bound_storage& operator=(const bound_storage&) = delete;
};

}  // namespace

// A bound cell of six layers without plants and the same cell on its
// records, stepped together for two days with the water changed between
// steps: the bound one keeps what its layers lost (denitrified,
// volatilised) from step to step, through a look at its layers and a new
// binding, as the other does; a pool overdrawn between steps is repaired
// and told in both.
TEST(VegsoCell, ABoundCellOfManyLayersKeepsWhatItsLayersLostAsACellOnItsRecords) {
    vegso_test::warning_capture warnings;
    constexpr int kLayers = 6;
    vegso_schema* schema = bare_soil(kLayers, 1.5);
    vegso_cell_handle* records = vegso_cell_create(schema, 1);
    vegso_cell_handle* bound = vegso_cell_create(schema, 2);
    bound_storage s(*schema);
    vegso_cell_bind(bound, &s.binding);

    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    for (int hour = 0; hour < 48; ++hour) {
        env->day_of_year = 150.0 + hour / 24.0;
        vegso_env_update(env);
        vegso_cell_step(env, records);
        vegso_cell_step(env, bound);
        if (hour % 8 == 7) {
            for (int j = 0; j < kLayers; ++j) {
                const double theta = (hour / 8 + j) % 2 == 0 ? 0.12 : 0.33;  // dry, or wet enough to denitrify
                records->schema->layers[j]->v[vegso_water_content] = theta;
                s.water[static_cast<std::size_t>(j)] = theta;
            }
        }
        if (hour == 10) {
            EXPECT_EQ(bound->cell->layer(5).descriptor.waterContent, s.water[5]);
        }
        if (hour == 20) vegso_cell_bind(bound, &s.binding);
        if (hour == 30) {
            records->schema->layers[4]->v[vegso_ammonium] = -1e-3;
            s.pools[vegso_pool_ammonium][4] = -1.0;
        }
    }
    for (int j = 0; j < kLayers; ++j) {
        const NITROGEN::NitrogenDiGraph::State& r = records->cell->layer(j).nitrogenGraph.state();
        const NITROGEN::NitrogenDiGraph::State& b = bound->cell->layer(j).nitrogenGraph.state();
        for (int p : {NITROGEN::kDenitrifiedPool, NITROGEN::kVolatilizedPool})
            EXPECT_NEAR(b.mass(p), r.mass(p), 1e-12 * r.mass(p)) << j << " " << p;
        EXPECT_GT(r.mass(NITROGEN::kDenitrifiedPool), 0.0) << j;
        if (j == 0) {
            EXPECT_GT(r.mass(NITROGEN::kVolatilizedPool), 0.0);  // near the surface alone
        }
        for (int i = 0; i < vegso_pool_count; ++i) {
            const double expected = records->schema->layers[j]->v[vegso_ammonium + 4 * i] * 1000.0;
            EXPECT_NEAR(s.pools[i][static_cast<std::size_t>(j)], expected, 1e-12 * std::fabs(expected) + 1e-15)
                << j << " " << i;
        }
    }
    EXPECT_EQ(warnings.count("layer 4 of cell 1"), 1);
    EXPECT_EQ(warnings.count("layer 4 of cell 2"), 1);
    EXPECT_EQ(warnings.texts().size(), 2u);

    vegso_free_record(env);
    vegso_cell_destroy(records);
    vegso_cell_destroy(bound);
    vegso_schema_destroy(schema);
}

// Bound cells made in their hundreds, some destroyed among them, each step
// their own pools: as the same cell made, bound and stepped alone.
TEST(VegsoCell, BoundCellsMadeInTheirHundredsStepEachItsOwnPools) {
    constexpr int kCells = 1300;
    constexpr int kLayers = 3;
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    auto step_hours = [&](const std::vector<vegso_cell_handle*>& cells) {
        for (int hour = 0; hour < 4; ++hour) {
            env->day_of_year = 150.0 + hour / 24.0;
            vegso_env_update(env);
            for (vegso_cell_handle* h : cells)
                if (h != nullptr) vegso_cell_step(env, h);
        }
    };
    std::vector<std::unique_ptr<bound_storage>> storage;
    std::vector<vegso_cell_handle*> cells;
    for (int k = 0; k < kCells; ++k) {
        vegso_schema* schema = bare_soil(kLayers, 0.5 + 0.01 * k);
        cells.push_back(vegso_cell_create(schema, k + 1));
        storage.push_back(std::make_unique<bound_storage>(*schema));
        vegso_cell_bind(cells.back(), &storage.back()->binding);
        storage.back()->water[static_cast<std::size_t>(k % kLayers)] = 0.35;  // one wet layer a cell
        vegso_schema_destroy(schema);
        if (k % 5 == 4) {  // every fifth made is gone before the steps
            vegso_cell_destroy(cells.back());
            cells.back() = nullptr;
        }
    }
    step_hours(cells);
    for (int k = 0; k < kCells; k += 7) {
        if (cells[static_cast<std::size_t>(k)] == nullptr) continue;
        SCOPED_TRACE(k);
        vegso_schema* schema = bare_soil(kLayers, 0.5 + 0.01 * k);
        std::vector<vegso_cell_handle*> alone = {vegso_cell_create(schema, k + 1)};
        bound_storage s(*schema);
        vegso_cell_bind(alone[0], &s.binding);
        s.water[static_cast<std::size_t>(k % kLayers)] = 0.35;
        step_hours(alone);
        const bound_storage& t = *storage[static_cast<std::size_t>(k)];
        for (int i = 0; i < vegso_pool_count; ++i) ASSERT_EQ(t.pools[i], s.pools[i]) << i;
        vegso_cell_destroy(alone[0]);
        vegso_schema_destroy(schema);
    }
    for (vegso_cell_handle* h : cells)
        if (h != nullptr) vegso_cell_destroy(h);
    vegso_free_record(env);
}

// Bound cells of different soils and layer counts stepped together (the
// layers of consecutive cells side by side, one cell given twice) leave in
// each storage the very pools and tallies of the same cells stepped one at
// a time in the same order.
TEST(VegsoCell, BoundCellsSteppedTogetherLeaveThePoolsAndTalliesOfTheirStepsAlone) {
    vegso_test::warning_capture warnings;
    const int layers[] = {3, 1, 3, 2, 5, 3, 3};
    constexpr int kCells = 7;
    const int order[] = {0, 1, 2, 3, 2, 4, 5, 6};
    constexpr int kSteps = 8;
    struct side {
        std::vector<std::unique_ptr<bound_storage>> storage;
        std::vector<vegso_cell_handle*> cells;
    };
    side together, alone;
    for (side* s : {&together, &alone}) {
        for (int k = 0; k < kCells; ++k) {
            vegso_schema* schema = bare_soil(layers[k], 0.4 + 0.15 * k);
            s->cells.push_back(vegso_cell_create(schema, k + 1));
            s->storage.push_back(std::make_unique<bound_storage>(*schema));
            bound_storage& b = *s->storage.back();
            for (std::size_t j = 0; j < b.water.size(); ++j)
                b.water[j] = 0.12 + 0.04 * static_cast<double>((static_cast<std::size_t>(k) + j) % 5);
            vegso_cell_bind(s->cells.back(), &b.binding);
            vegso_schema_destroy(schema);
        }
    }
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    for (int step = 0; step < kSteps; ++step) {
        env->day_of_year = 160.0 + step / 24.0;
        vegso_env_update(env);
        vegso_cell_handle* batch[std::size(order)];
        for (std::size_t i = 0; i < std::size(order); ++i)
            batch[i] = together.cells[static_cast<std::size_t>(order[i])];
        vegso_cells_step(env, batch, static_cast<int>(std::size(order)));
        for (int k : order) vegso_cell_step(env, alone.cells[static_cast<std::size_t>(k)]);
    }
    for (int k = 0; k < kCells; ++k) {
        SCOPED_TRACE(k);
        const bound_storage& t = *together.storage[static_cast<std::size_t>(k)];
        const bound_storage& a = *alone.storage[static_cast<std::size_t>(k)];
        for (int i = 0; i < vegso_pool_count; ++i) {
            EXPECT_EQ(t.pools[i], a.pools[i]) << i;
            EXPECT_EQ(t.made[i], a.made[i]) << i;
            EXPECT_EQ(t.used[i], a.used[i]) << i;
        }
    }
    EXPECT_TRUE(warnings.texts().empty());

    for (side* s : {&together, &alone})
        for (vegso_cell_handle* h : s->cells) vegso_cell_destroy(h);
    vegso_free_record(env);
}

// A cell on its records writes each step the partition of its layer's
// values as they are then: what the caller left in the fraction positions
// does not count, and a new porosity, organic carbon, solid density or
// partition coefficient gives a new partition at the next step.
TEST(VegsoCell, ACellOnItsRecordsPartitionsTheLayerValuesOfEachStep) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = vegso_schema_create(0, 1);
    vegso_layer_record* r = vegso_layer_defaults();
    r->v[vegso_water_content] = 0.3;
    r->v[vegso_field_capacity] = 0.3;
    r->v[vegso_wilting_point] = 0.1;
    vegso_layer_init_pools(r);
    r->v[vegso_nitrate] = 1.0;
    schema->layers[0] = r;
    vegso_cell_handle* h = vegso_cell_create(schema, 4);
    vegso_cell_params* params = vegso_cell_params_defaults();
    params->v[7] = 0.5;  // nitrate sorbed by the layer's organic carbon
    vegso_cell_set_params(h, params);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    vegso_env_update(env);
    double* v = h->schema->layers[0]->v;
    const auto dissolved = [&](double coefficient) {
        const double k = (1.0 - v[vegso_porosity]) * (0.01 * v[vegso_organic_carbon_percent] * coefficient) *
                         v[vegso_solid_density];
        return 1.0 - k / (k + v[vegso_porosity]);
    };

    vegso_cell_step(env, h);
    const double first = dissolved(0.5);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], first);
    EXPECT_LT(first, 0.99);
    // The partition as the first step wrote it, which the next steps (by
    // the partition they keep) write again.
    const double written[3] = {v[vegso_nitrate + 1], v[vegso_nitrate + 2], v[vegso_nitrate + 3]};
    EXPECT_EQ(written[2], written[0] + written[1]);
    v[vegso_nitrate + 1] = 0.123;  // not read back
    v[vegso_nitrate + 2] = 0.5;
    v[vegso_nitrate + 3] = 7.0;
    vegso_cell_step(env, h);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], first);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v[vegso_nitrate + 1 + i], written[i]) << i;

    v[vegso_porosity] = 0.3;
    vegso_cell_step(env, h);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], dissolved(0.5));
    v[vegso_organic_carbon_percent] = 1.2;
    vegso_cell_step(env, h);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], dissolved(0.5));
    v[vegso_solid_density] = 2650.0;
    vegso_cell_step(env, h);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], dissolved(0.5));
    EXPECT_NE(v[vegso_nitrate + 1], first);
    params->v[7] = 2.0;
    vegso_cell_set_params(h, params);
    vegso_cell_step(env, h);
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 1], dissolved(2.0));
    EXPECT_DOUBLE_EQ(v[vegso_nitrate + 2], 1.0 - dissolved(2.0));  // sorbed
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_free_record(params);
    vegso_cell_destroy(h);
    vegso_schema_destroy(schema);
}

// A corn cell on its records, stepped for a day and a half: each layer it
// gives holds in its cycle descriptors the pools its record holds, and every
// pool's four record values are its mass and the partition the descriptors
// hold (dissolved, sorbed and their sum).
TEST(VegsoCell, ACellOnItsRecordsGivesItsLayersWithThePoolsOfItsRecords) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = vegso_schema_create(1, 2);
    schema->plants[0] = vegso_plant_desc_create();
    std::strcpy(schema->plants[0]->name, "CORN");
    schema->plants[0]->value = 1.0;
    const double bottom[] = {0.15, 0.5};
    for (int j = 0; j < 2; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = bottom[j];
        r->v[vegso_thickness] = bottom[j] - (j > 0 ? bottom[j - 1] : 0.0);
        r->v[vegso_organic_carbon_percent] = 1.5;
        r->v[vegso_water_content] = 0.25;
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        vegso_layer_init_pools(r);
        r->v[vegso_ammonium] = 0.3;
        schema->layers[j] = r;
    }
    vegso_cell_handle* h = vegso_cell_create(schema, 3);
    vegso_cell_params* params = vegso_cell_params_defaults();
    params->v[7] = 0.4;  // nitrate sorbed in part
    params->v[11] = 3.0;
    vegso_cell_set_params(h, params);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    const double nitrate0 = h->schema->layers[0]->v[vegso_nitrate];
    for (int hour = 0; hour < 36; ++hour) {
        env->day_of_year = 170.0 + hour / 24.0;
        env->air_temperature.value = 24.0;
        vegso_env_update(env);
        vegso_cell_step(env, h);
    }
    EXPECT_NE(h->schema->layers[0]->v[vegso_nitrate], nitrate0);
    for (int j = 0; j < 2; ++j) {
        const Cell::Layer& l = h->cell->layer(j);
        const PoolRecord* pools[vegso_pool_count] = {
            &l.nitrogenCycle.ammonium,      &l.nitrogenCycle.nitrate,       &l.nitrogenCycle.fresh,
            &l.nitrogenCycle.active,        &l.nitrogenCycle.stable,        &l.phosphorusCycle.fresh,
            &l.phosphorusCycle.active,      &l.phosphorusCycle.stable,      &l.phosphorusCycle.mineralActive,
            &l.phosphorusCycle.mineralStable, &l.phosphorusCycle.mineralSolution};
        const double* v = h->schema->layers[j]->v;
        for (int i = 0; i < vegso_pool_count; ++i) {
            SCOPED_TRACE("layer " + std::to_string(j) + " pool " + std::to_string(i));
            const double* at = v + vegso_ammonium + 4 * i;
            EXPECT_EQ(at[0], pools[i]->mass);
            EXPECT_EQ(at[1], pools[i]->dissolvedFraction);
            EXPECT_EQ(at[2], pools[i]->sorbedFraction);
            EXPECT_EQ(at[3], pools[i]->totalFraction);
            EXPECT_EQ(at[3], at[1] + at[2]);
        }
        EXPECT_LT(v[vegso_nitrate + 1], 1.0);
        EXPECT_GT(v[vegso_nitrate + 1], 0.0);
    }
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_free_record(params);
    vegso_cell_destroy(h);
    vegso_schema_destroy(schema);
}

namespace {

// A cell of `layers` layers of soil number `soil` (its porosity, organic
// carbon, solid density, water, temperature and depths all its own), with a
// corn plant when `corn`.
vegso_schema* soil_of_its_own(int layers, int soil, bool corn) {
    vegso_schema* schema = vegso_schema_create(corn ? 1 : 0, layers);
    if (corn) {
        schema->plants[0] = vegso_plant_desc_create();
        std::strcpy(schema->plants[0]->name, "CORN");
        schema->plants[0]->value = 0.5 + 0.1 * soil;
    }
    double top = 0.0;
    for (int j = 0; j < layers; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        const double thickness = 0.08 + 0.03 * ((soil + j) % 4);
        r->v[vegso_layer_number] = j;
        r->v[vegso_thickness] = thickness;
        r->v[vegso_bottom_depth] = top + thickness;
        top += thickness;
        r->v[vegso_mass_factor] = 200.0 + 100.0 * soil;
        r->v[vegso_solid_density] = 1300.0 + 150.0 * soil;
        r->v[vegso_porosity] = 0.35 + 0.02 * soil;
        r->v[vegso_organic_carbon_percent] = 0.4 + 0.3 * soil;
        r->v[vegso_water_content] = 0.15 + 0.03 * ((soil + 2 * j) % 6);
        r->v[vegso_field_capacity] = 0.3;
        r->v[vegso_wilting_point] = 0.1;
        r->v[vegso_temperature] = 8.0 + 2.5 * soil - 1.5 * j;
        vegso_layer_init_pools(r);
        schema->layers[j] = r;
    }
    return schema;
}

// Every pool of the cell's graphs, layer by layer.
std::vector<double> graph_pools(const vegso_cell_handle& h) {
    std::vector<double> out;
    for (int j = 0; j < h.schema->layer_count; ++j) {
        const Cell::Layer& l = h.cell->layer(j);
        for (int p = 0; p < NITROGEN::kPoolCount; ++p) out.push_back(l.nitrogenGraph.state().mass(p));
        for (int p = 0; p < PHOSPHORUS::kPoolCount; ++p) out.push_back(l.phosphorusGraph.state().mass(p));
    }
    return out;
}

}  // namespace

// Cells of different soils, numbers of layers and plants stepped together
// (their layers side by side in the graphs' steps, each step's layers worked
// in the same room) write each the records that the same cell writes when it
// is stepped alone, step after step, also when a layer's porosity or
// temperature changes between steps, and hold the same pools in their
// graphs.
TEST(VegsoCell, CellsOfDifferentSoilsSteppedTogetherGiveEachTheRecordsOfItsStepAlone) {
    vegso_test::warning_capture warnings;
    const int layers[] = {1, 3, 2, 5, 4, 3, 2};
    constexpr int kCells = 7;
    constexpr int kHours = 30;
    std::vector<vegso_cell_handle*> together;
    std::vector<vegso_cell_handle*> alone;
    for (int c = 0; c < kCells; ++c) {
        vegso_schema* schema = soil_of_its_own(layers[c], c, c % 3 != 1);
        together.push_back(vegso_cell_create(schema, c + 1));
        alone.push_back(vegso_cell_create(schema, c + 1));
        vegso_schema_destroy(schema);
    }
    // A null handle among them is passed over.
    std::vector<vegso_cell_handle*> batch = together;
    batch.insert(batch.begin() + 3, nullptr);
    auto change = [](vegso_cell_handle* h, int c, int hour) {
        if (hour == 11 && c == 3) h->schema->layers[2]->v[vegso_porosity] = 0.5;
        if (hour == 17 && c == 1) h->schema->layers[0]->v[vegso_temperature] = 21.0;
        if (hour == 23 && c == 5) h->schema->layers[1]->v[vegso_water_content] = 0.05;
    };

    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    env->rain_nitrate = {1, 0.5};  // the rain brings nitrate to the top layers
    std::vector<std::vector<vegso_layer_record>> records(kCells);
    for (int hour = 0; hour < kHours; ++hour) {
        env->day_of_year = 170.0 + hour / 24.0;
        env->air_temperature.value = 15.0 + hour % 12;
        env->rainfall = {1, hour % 5 == 0 ? 2.0 : 0.0};
        vegso_env_update(env);
        for (int c = 0; c < kCells; ++c) change(together[static_cast<std::size_t>(c)], c, hour);
        vegso_cells_step(env, batch.data(), static_cast<int>(batch.size()));
        for (int c = 0; c < kCells; ++c)
            for (int j = 0; j < layers[c]; ++j)
                records[static_cast<std::size_t>(c)].push_back(*together[static_cast<std::size_t>(c)]->schema->layers[j]);
    }
    // Each cell alone through all its steps, then the next.
    for (int c = 0; c < kCells; ++c) {
        SCOPED_TRACE("cell " + std::to_string(c));
        vegso_cell_handle* h = alone[static_cast<std::size_t>(c)];
        std::size_t at = 0;
        for (int hour = 0; hour < kHours; ++hour) {
            env->day_of_year = 170.0 + hour / 24.0;
            env->air_temperature.value = 15.0 + hour % 12;
            env->rainfall = {1, hour % 5 == 0 ? 2.0 : 0.0};
            vegso_env_update(env);
            change(h, c, hour);
            vegso_cell_step(env, h);
            for (int j = 0; j < layers[c]; ++j, ++at)
                ASSERT_EQ(std::memcmp(&records[static_cast<std::size_t>(c)][at], h->schema->layers[j],
                                      sizeof(vegso_layer_record)),
                          0)
                    << "hour " << hour << " layer " << j;
        }
        EXPECT_EQ(graph_pools(*h), graph_pools(*together[static_cast<std::size_t>(c)]));
    }
    EXPECT_GT(together[0]->schema->layers[0]->v[vegso_result], 0.0);  // the corn took water
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    for (vegso_cell_handle* h : together) vegso_cell_destroy(h);
    for (vegso_cell_handle* h : alone) vegso_cell_destroy(h);
}

// A cell on its records that is bound after some steps, or whose layers are
// looked at between steps, carries on with every pool of its graphs: those
// its records hold and those they do not (the plants' uptake, the losses).
TEST(VegsoCell, ACellBoundOrLookedAtAfterStepsOnItsRecordsKeepsEveryPoolOfItsGraphs) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = soil_of_its_own(3, 2, true);
    vegso_cell_handle* looked = vegso_cell_create(schema, 1);
    vegso_cell_handle* bound = vegso_cell_create(schema, 2);
    vegso_cell_handle* plain = vegso_cell_create(schema, 3);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    for (int hour = 0; hour < 20; ++hour) {
        env->day_of_year = 180.0 + hour / 24.0;
        env->air_temperature.value = 24.0;
        vegso_env_update(env);
        vegso_cell_step(env, looked);
        vegso_cell_step(env, bound);
        vegso_cell_step(env, plain);
        if (hour % 6 == 5) graph_pools(*looked);
    }
    const std::vector<double> pools = graph_pools(*plain);
    EXPECT_GT(pools[NITROGEN::kFloraNO3Pool], 0.0);
    const std::size_t second = NITROGEN::kPoolCount + PHOSPHORUS::kPoolCount;  // the second layer's first pool
    EXPECT_GT(pools[second + NITROGEN::kDenitrifiedPool], 0.0);
    EXPECT_EQ(graph_pools(*looked), pools);
    bound_storage s(*schema);
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < vegso_pool_count; ++i)
            s.pools[i][static_cast<std::size_t>(j)] = bound->schema->layers[j]->v[vegso_ammonium + 4 * i] * 1000.0;
        s.water[static_cast<std::size_t>(j)] = bound->schema->layers[j]->v[vegso_water_content];
    }
    vegso_cell_bind(bound, &s.binding);
    EXPECT_EQ(graph_pools(*bound), pools);
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_cell_destroy(looked);
    vegso_cell_destroy(bound);
    vegso_cell_destroy(plain);
    vegso_schema_destroy(schema);
}

// Corn cells of different soils on their records, stepped together, leave
// in their records the pools and partition that the same cells bound to the
// caller's tables leave there (the bound ones step over their own layers),
// in the rain and out of it; also cells of one soil with partition
// coefficients of their own.
TEST(VegsoCell, CellsOnTheirRecordsSteppedTogetherLeaveThePoolsOfTheSameCellsBound) {
    vegso_test::warning_capture warnings;
    const int layers[] = {1, 3, 2, 5, 4};
    const int soil[] = {0, 1, 1, 2, 1};
    constexpr int kCells = 5;
    std::vector<vegso_cell_handle*> records;
    std::vector<vegso_cell_handle*> bound;
    std::vector<std::unique_ptr<bound_storage>> storage;
    vegso_cell_params* params = vegso_cell_params_defaults();
    for (int c = 0; c < kCells; ++c) {
        vegso_schema* schema = soil_of_its_own(layers[c], soil[c], true);
        records.push_back(vegso_cell_create(schema, c + 1));
        bound.push_back(vegso_cell_create(schema, c + 1));
        if (c == 2) {  // the nitrate and ammonium of the soil of cells 1 and 4 sorbed otherwise
            params->v[7] = 0.3;
            params->v[8] = 2.0;
            vegso_cell_set_params(records.back(), params);
            vegso_cell_set_params(bound.back(), params);
        }
        storage.push_back(std::make_unique<bound_storage>(*schema));
        vegso_cell_bind(bound.back(), &storage.back()->binding);
        vegso_schema_destroy(schema);
    }
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    env->rain_nitrate = {1, 0.5};
    for (int hour = 0; hour < 30; ++hour) {
        env->day_of_year = 175.0 + hour / 24.0;
        env->air_temperature.value = 14.0 + hour % 10;
        env->rainfall = {1, hour % 4 == 1 ? 3.0 : 0.0};
        vegso_env_update(env);
        vegso_cells_step(env, records.data(), kCells);
        vegso_cells_step(env, bound.data(), kCells);
    }
    for (int c = 0; c < kCells; ++c)
        for (int j = 0; j < layers[c]; ++j)
            for (int i = 0; i < vegso_pool_count; ++i) {
                const double expected = records[static_cast<std::size_t>(c)]->schema->layers[j]->v[vegso_ammonium + 4 * i] * 1000.0;
                EXPECT_NEAR(storage[static_cast<std::size_t>(c)]->pools[i][static_cast<std::size_t>(j)], expected,
                            1e-12 * std::fabs(expected) + 1e-15)
                    << "cell " << c << " layer " << j << " pool " << i;
                EXPECT_EQ(storage[static_cast<std::size_t>(c)]->dissolved[i][static_cast<std::size_t>(j)],
                          records[static_cast<std::size_t>(c)]->schema->layers[j]->v[vegso_ammonium + 4 * i + 1])
                    << "cell " << c << " layer " << j << " pool " << i;
            }
    EXPECT_NE(records[2]->schema->layers[0]->v[vegso_nitrate + 1], records[1]->schema->layers[0]->v[vegso_nitrate + 1]);
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_free_record(params);
    for (vegso_cell_handle* h : records) vegso_cell_destroy(h);
    for (vegso_cell_handle* h : bound) vegso_cell_destroy(h);
}

// A cell given twice in one call steps twice, as two calls step it.
TEST(VegsoCell, ACellGivenTwiceInOneCallStepsTwice) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = soil_of_its_own(3, 1, true);
    vegso_cell_handle* a = vegso_cell_create(schema, 1);
    vegso_cell_handle* b = vegso_cell_create(schema, 2);
    vegso_cell_handle* c = vegso_cell_create(schema, 3);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    for (int hour = 0; hour < 6; ++hour) {
        env->day_of_year = 175.0 + hour / 24.0;
        vegso_env_update(env);
        vegso_cell_handle* batch[] = {a, c, a};
        vegso_cells_step(env, batch, 3);
        vegso_cell_step(env, b);
        vegso_cell_step(env, b);
    }
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(std::memcmp(a->schema->layers[j], b->schema->layers[j], sizeof(vegso_layer_record)), 0) << j;
    EXPECT_NE(std::memcmp(a->schema->layers[0], c->schema->layers[0], sizeof(vegso_layer_record)), 0);
    EXPECT_TRUE(warnings.texts().empty());

    vegso_free_record(env);
    vegso_cell_destroy(a);
    vegso_cell_destroy(b);
    vegso_cell_destroy(c);
    vegso_schema_destroy(schema);
}

// A corn cell whose second layer is inverted (its top below its bottom,
// within the young roots): the plant's water and nitrogen uptakes from it
// fail their checks, which are told once each, in that order, with the
// cell, and the layer gives no water while the top layer gives its share.
TEST(VegsoCell, APlantUptakeThatFailsItsCheckInACellStepIsToldOnceAndTakesNothing) {
    vegso_test::warning_capture warnings;
    vegso_schema* schema = vegso_schema_create(1, 2);
    schema->plants[0] = vegso_plant_desc_create();
    std::strcpy(schema->plants[0]->name, "CORN");
    schema->plants[0]->value = 1.0;
    const double bottom[2] = {0.004, 0.005};
    const double thickness[2] = {0.004, -0.001};
    for (int j = 0; j < 2; ++j) {
        vegso_layer_record* r = vegso_layer_defaults();
        r->v[vegso_layer_number] = j;
        r->v[vegso_bottom_depth] = bottom[j];
        r->v[vegso_thickness] = thickness[j];
        vegso_layer_init_pools(r);
        schema->layers[j] = r;
    }
    vegso_cell_handle* h = vegso_cell_create(schema, 23);
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    env->air_temperature = {1, 25.0};
    for (int hour = 12; hour < 15; ++hour) {
        env->day_of_year = 180.0 + hour / 24.0;
        vegso_env_update(env);
        vegso_cell_step(env, h);
        EXPECT_GT(h->schema->layers[0]->v[vegso_result], 0.0);
        EXPECT_EQ(h->schema->layers[1]->v[vegso_result], 0.0);
    }
    // The water's check first, then the nitrogen's, each once (the
    // layer's graphs have their own warnings).
    EXPECT_EQ(warnings.count("plant check"), 2);
    ASSERT_GE(warnings.texts().size(), 2u);
    EXPECT_NE(warnings.texts()[0].find("\"dwdt_thisSoilLayer >= 0.0\" failed in cell 23"), std::string::npos);
    EXPECT_NE(warnings.texts()[1].find("\"dndt_thisSoilLayer >= 0.0\" failed in cell 23"), std::string::npos);
    vegso_free_record(env);
    vegso_cell_destroy(h);
    vegso_schema_destroy(schema);
}

namespace {

// The cells of a team test: corn and bare cells of different soils and
// layers, every other one bound to storage of its own and to the tallies
// of its part (kPartCells cells in a row), and a corn cell whose second
// layer is inverted (its plant checks fail) in the last part.
constexpr int kTeamCells = 22;
constexpr int kPartCells = 4;
constexpr int kTeamParts = (kTeamCells + kPartCells - 1) / kPartCells;

struct team_cells {
    std::vector<vegso_cell_handle*> cells;
    std::vector<std::unique_ptr<bound_storage>> storage;  // null for a cell on its records
    double made[kTeamParts][vegso_pool_count] = {}, used[kTeamParts][vegso_pool_count] = {};

    team_cells() {
        for (int c = 0; c < kTeamCells; ++c) {
            vegso_schema* schema = soil_of_its_own(1 + c % 4, c % 3, c % 5 != 2);
            if (c == 19) {  // a thin top layer, and the second inverted (its top below its bottom)
                schema->layers[0]->v[vegso_thickness] = 0.004;
                schema->layers[0]->v[vegso_bottom_depth] = 0.004;
                schema->layers[1]->v[vegso_thickness] = -0.001;
                schema->layers[1]->v[vegso_bottom_depth] = 0.005;
            }
            cells.push_back(vegso_cell_create(schema, c + 1));
            storage.emplace_back(c % 2 == 0 ? std::make_unique<bound_storage>(*schema) : nullptr);
            if (storage.back()) {
                storage.back()->binding.made = made[c / kPartCells];
                storage.back()->binding.used = used[c / kPartCells];
                vegso_cell_bind(cells.back(), &storage.back()->binding);
            }
            vegso_schema_destroy(schema);
        }
    }
    ~team_cells() {
        for (vegso_cell_handle* h : cells) vegso_cell_destroy(h);
    }
    team_cells(const team_cells&) = delete;
    team_cells& operator=(const team_cells&) = delete;

    // Between steps: ammonium below nothing in a layer of cells of the
    // first and later parts, one of them twice (told once).
    void overdraw(int hour) {
        if (hour != 6 && hour != 9) return;
        for (int c : {17, 2, 8}) {
            if (storage[static_cast<std::size_t>(c)])
                storage[static_cast<std::size_t>(c)]->pools[vegso_pool_ammonium][0] = -1.0;
            else
                cells[static_cast<std::size_t>(c)]->schema->layers[0]->v[vegso_ammonium] = -1e-3;
        }
    }
};

}  // namespace

// Cells stepped in parts on four threads at once, each part in a room of its
// own and its bound cells with tallies of their own, leave the records,
// pools, tallies and graphs that one thread's step of all of them leaves,
// and, their rooms' warnings given part after part, its warnings in its
// order.
TEST(VegsoCell, CellsSteppedInPartsOnThreadsAtOnceLeaveWhatOneThreadLeaves) {
    constexpr int kHours = 14;
    vegso_env_record* env = vegso_env_create();
    env->period = 1.0 / 24.0;
    env->air_temperature = {1, 25.0};
    env->rain_nitrate = {1, 0.5};
    const auto weather = [&](int hour) {
        env->day_of_year = 180.0 + hour / 24.0;
        env->rainfall = {1, hour % 4 == 1 ? 3.0 : 0.0};
        vegso_env_update(env);
    };

    team_cells alone;
    std::vector<std::string> told;
    {
        vegso_test::warning_capture warnings;
        for (int hour = 0; hour < kHours; ++hour) {
            weather(hour);
            alone.overdraw(hour);
            vegso_cells_step(env, alone.cells.data(), kTeamCells);
        }
        told = warnings.texts();
    }

    team_cells team;
    std::vector<vegso_step_room*> rooms;
    for (int p = 0; p < kTeamParts; ++p) rooms.push_back(vegso_step_room_create(4));
    vegso_test::warning_capture warnings;
    for (int hour = 0; hour < kHours; ++hour) {
        weather(hour);
        team.overdraw(hour);
        // Each thread takes the next part not taken, the last part first.
        std::atomic<int> next{0};
        const auto take = [&] {
            for (int q; (q = next.fetch_add(1)) < kTeamParts;) {
                const int p = kTeamParts - 1 - q;
                const int first = p * kPartCells;
                vegso_cells_step_in(env, team.cells.data() + first, std::min(kPartCells, kTeamCells - first),
                                    rooms[static_cast<std::size_t>(p)]);
            }
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) threads.emplace_back(take);
        take();
        for (std::thread& t : threads) t.join();
        for (vegso_step_room* r : rooms) vegso_give_warnings(&r->warnings);
    }

    for (int c = 0; c < kTeamCells; ++c) {
        SCOPED_TRACE("cell " + std::to_string(c + 1));
        const vegso_cell_handle& a = *alone.cells[static_cast<std::size_t>(c)];
        const vegso_cell_handle& t = *team.cells[static_cast<std::size_t>(c)];
        const bound_storage* s = alone.storage[static_cast<std::size_t>(c)].get();
        if (s == nullptr) {
            for (int j = 0; j < a.schema->layer_count; ++j)
                EXPECT_EQ(std::memcmp(a.schema->layers[j], t.schema->layers[j], sizeof(vegso_layer_record)), 0) << j;
        } else {
            const bound_storage& u = *team.storage[static_cast<std::size_t>(c)];
            for (int i = 0; i < vegso_pool_count; ++i) {
                EXPECT_EQ(s->pools[i], u.pools[i]) << i;
                EXPECT_EQ(s->dissolved[i], u.dissolved[i]) << i;
            }
        }
        EXPECT_EQ(graph_pools(a), graph_pools(t));
        EXPECT_EQ(a.cell->plants().totalNutrientMass(), t.cell->plants().totalNutrientMass());
    }
    for (int p = 0; p < kTeamParts; ++p)
        for (int i = 0; i < vegso_pool_count; ++i) {
            EXPECT_EQ(alone.made[p][i], team.made[p][i]) << p << " " << i;
            EXPECT_EQ(alone.used[p][i], team.used[p][i]) << p << " " << i;
        }
    EXPECT_GT(alone.made[0][vegso_pool_nitrate], 0.0);
    // The plant checks of cell 20, and one repair of each overdrawn cell.
    EXPECT_EQ(std::count_if(told.begin(), told.end(),
                            [](const std::string& t) { return t.find("plant check") != std::string::npos; }),
              2);
    for (const char* cell : {"layer 0 of cell 3 ", "layer 0 of cell 9 ", "layer 0 of cell 18 "})
        EXPECT_EQ(std::count_if(told.begin(), told.end(),
                                [&](const std::string& t) { return t.find(cell) != std::string::npos; }),
                  1)
            << cell;
    EXPECT_EQ(warnings.texts(), told);

    for (vegso_step_room* r : rooms) vegso_step_room_destroy(r);
    vegso_free_record(env);
}
