#include "nutrients/source/vegso_interface.hpp"

#include <cstring>
#include <string>

#include "nutrients/source/cell.hpp"
#include "nutrients/source/environment.hpp"
#include "nutrients/source/soil_schema.hpp"
#include "nutrients/source/vegso_warnings.hpp"

namespace {

vegso_given_value given(double value) { return vegso_given_value{1, value}; }
vegso_given_value not_given(double value) { return vegso_given_value{0, value}; }

}  // namespace

vegso_env_record* vegso_env_create() {
    vegso_env_record* r = new vegso_env_record();
    r->year = 2006;
    r->month = 4;
    r->day = 4;
    r->day_of_year = 94.0;
    r->period = 24.0;
    r->latitude = 30.0;
    r->latitude_hemisphere = 'N';
    r->longitude = 90.0;
    r->longitude_hemisphere = 'W';
    r->elevation = 0.0;
    r->air_temperature = given(20.0);
    r->dew_point = given(18.0);
    r->unused_1 = not_given(0.0);
    r->humidity_height = given(2.0);
    r->pressure = given(101.32);
    r->wind_speed = not_given(0.0);
    r->wind_height = given(2.0);
    r->rainfall = not_given(0.0);
    r->rain_nitrate = given(0.01);
    r->solar_radiation = not_given(0.0);
    r->unused_2 = not_given(0.23);
    r->cloud_cover = not_given(0.0);
    r->unused_3 = not_given(0.0);
    r->environment = nullptr;
    return r;
}

void vegso_env_update(vegso_env_record* record) {
    if (record == nullptr) return;
    if (record->environment == nullptr) {
        record->environment = new VEGSO::Environment(*record);
    } else {
        record->environment->update(*record);
    }
}

vegso_layer_record* vegso_layer_defaults() {
    vegso_layer_record* r = new vegso_layer_record();  // every position 0
    double* v = r->v;
    v[vegso_thickness] = 0.1;
    v[vegso_bottom_depth] = 0.1;
    v[vegso_mass_factor] = 10.0;
    v[vegso_solid_density] = 1000.0;
    v[vegso_porosity] = 0.5;
    v[vegso_water_content] = 0.01;
    v[vegso_field_capacity] = 0.01;
    v[vegso_wilting_point] = 0.01;
    v[vegso_result] = 0.0;
    v[vegso_ph] = 6.5;
    v[vegso_temperature] = 20.0;
    v[vegso_organic_carbon_percent] = 0.3;
    v[vegso_auxiliary] = 0.05;
    v[vegso_residue] = 1.0;
    return r;
}

void vegso_layer_init_pools(vegso_layer_record* record) {
    if (record != nullptr) VEGSO::initialPools(*record);
}

vegso_plant_desc_record* vegso_plant_desc_create() { return new vegso_plant_desc_record(); }

vegso_cell_params* vegso_cell_params_defaults() {
    return new vegso_cell_params{{0.02, 0.02, 0.02, 0.05, 0.05, 0.05, 0.03, 0.03, 0.3, 3.0, 4.0, 4.0}};
}

vegso_env_record* vegso_free_record(vegso_env_record* record) {
    if (record != nullptr) {
        delete record->environment;
        delete record;
    }
    return nullptr;
}

vegso_layer_record* vegso_free_record(vegso_layer_record* record) {
    delete record;
    return nullptr;
}

vegso_plant_desc_record* vegso_free_record(vegso_plant_desc_record* record) {
    delete record;
    return nullptr;
}

vegso_cell_params* vegso_free_record(vegso_cell_params* record) {
    delete record;
    return nullptr;
}

vegso_schema* vegso_schema_create(int plant_count, int layer_count) {
    if (plant_count < 0 || layer_count < 0) {
        VEGSO::warn("Warning: a nutrient soil schema cannot have " + std::to_string(plant_count) + " plants and " +
                    std::to_string(layer_count) + " layers; none is made\n");
        return nullptr;
    }
    vegso_schema* s = new vegso_schema();
    s->plant_count = plant_count;
    s->plants = new vegso_plant_desc_record*[static_cast<std::size_t>(plant_count)]();
    s->layer_count = layer_count;
    s->layers = new vegso_layer_record*[static_cast<std::size_t>(layer_count)]();
    return s;
}

vegso_schema* vegso_schema_destroy(vegso_schema* schema) {
    if (schema == nullptr) return nullptr;
    for (int i = 0; i < schema->plant_count; ++i) delete schema->plants[i];
    for (int j = 0; j < schema->layer_count; ++j) delete schema->layers[j];
    delete[] schema->plants;
    delete[] schema->layers;
    delete schema;
    return nullptr;
}

vegso_schema* vegso_schema_copy(const vegso_schema* schema) {
    if (schema == nullptr) return nullptr;
    vegso_schema* copy = vegso_schema_create(schema->plant_count, schema->layer_count);
    if (copy == nullptr) return nullptr;
    for (int i = 0; i < schema->plant_count; ++i) {
        copy->plants[i] = vegso_plant_desc_create();
        if (schema->plants[i] != nullptr) *copy->plants[i] = *schema->plants[i];
    }
    for (int j = 0; j < schema->layer_count; ++j) {
        copy->layers[j] = vegso_layer_defaults();
        if (schema->layers[j] != nullptr) *copy->layers[j] = *schema->layers[j];
    }
    return copy;
}

vegso_cell_handle* vegso_cell_create(const vegso_schema* schema, int cell_number) {
    vegso_schema* copy = vegso_schema_copy(schema);
    if (copy == nullptr) {
        VEGSO::warn("Warning: nutrient cell " + std::to_string(cell_number) + " has no soil schema; it is not made\n");
        return nullptr;
    }
    vegso_cell_handle* handle = new vegso_cell_handle();
    handle->schema = copy;
    handle->cell = new VEGSO::Cell(*copy, cell_number);
    return handle;
}

int vegso_cell_destroy(vegso_cell_handle* handle) {
    if (handle == nullptr) return 0;
    delete handle->cell;
    vegso_schema_destroy(handle->schema);
    delete handle;
    return 0;
}

void vegso_cell_set_params(vegso_cell_handle* handle, const vegso_cell_params* params) {
    if (handle == nullptr || params == nullptr) return;
    handle->cell->setParams(*params);
}

void vegso_cell_bind(vegso_cell_handle* handle, const vegso_cell_binding* binding) {
    if (handle != nullptr) handle->cell->bind(binding);
}

namespace {

bool environment_made(const vegso_env_record* environment) {
    if (environment != nullptr && environment->environment != nullptr) return true;
    VEGSO::warnOnce("cell step without environment",
                    "Warning: a nutrient cell step was asked for before the environment was made "
                    "(vegso_env_update); the cells are not stepped\n");
    return false;
}

}  // namespace

void vegso_cell_step(const vegso_env_record* environment, vegso_cell_handle* handle) {
    if (handle == nullptr) return;
    if (!environment_made(environment)) return;
    handle->cell->step(*environment->environment);
}

vegso_step_room* vegso_step_room_create(int layers) {
    return new vegso_step_room{new VEGSO::LayerRoom(VEGSO::Cell::kCellsTogether * (layers > 0 ? layers : 0)), {}};
}

vegso_step_room* vegso_step_room_destroy(vegso_step_room* room) {
    if (room != nullptr) {
        delete room->layers;
        delete room;
    }
    return nullptr;
}

void vegso_cells_step(const vegso_env_record* environment, vegso_cell_handle* const* handles, int count) {
    vegso_cells_step_in(environment, handles, count, nullptr);
}

void vegso_cells_step_in(const vegso_env_record* environment, vegso_cell_handle* const* handles, int count,
                         vegso_step_room* room) {
    if (handles == nullptr || count <= 0) return;
    // The warnings of a room's steps wait there for the caller.
    vegso_warning_list* const given = room != nullptr ? vegso_keep_warnings(&room->warnings) : nullptr;
    struct restore {
        bool kept;
        vegso_warning_list* list;
        ~restore() {
            if (kept) vegso_keep_warnings(list);
        }
    } const back{room != nullptr, given};
    if (!environment_made(environment)) return;
    // The cells a batch at a time, without the null handles.
    constexpr int kBatch = 64;
    VEGSO::Cell* batch[kBatch];
    int taken = 0;
    for (int k = 0; k < count; ++k) {
        if (handles[k] != nullptr) batch[taken++] = handles[k]->cell;
        if (taken == kBatch || (k + 1 == count && taken > 0)) {
            VEGSO::Cell::stepCells(*environment->environment, batch, taken, room != nullptr ? room->layers : nullptr);
            taken = 0;
        }
    }
}
