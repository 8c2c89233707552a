// The record interface of the plant and soil nutrient library: plain
// heap-allocated records and functions over them. This is the only part of
// the library that its users need; it includes nothing of the model.
//
// Ownership: every record and handle is made by a function here and freed by
// the matching one (vegso_free_record, vegso_schema_destroy,
// vegso_cell_destroy); the caller owns what it made.
//
// Units: lengths and depths m, temperatures °C, the environment's period in
// days, radiation MJ/m2 over an hour, pressure kPa, wind m/s, nutrient rates
// per day.
//
// A cell reads its layer records at the start of every step (layer values,
// nitrogen and phosphorus pool masses) and writes them back at its end (the
// plants' water uptake at index 9, the nitrogen and phosphorus pools with
// their partition): the records of the handle's schema are what the caller
// reads and writes between steps. A cell bound to the caller's storage
// (vegso_cell_bind) instead reads and leaves its water and pools there, where
// the caller keeps them, and takes its layer values from the records only
// when bound.
#pragma once

#include "nutrients/source/vegso_warnings.hpp"

namespace VEGSO {
class Environment;
class Cell;
class LayerRoom;
}  // namespace VEGSO

// A value that the caller may or may not give.
struct vegso_given_value {
    int given;
    double value;
};

struct vegso_env_record {
    int year;
    int month;
    int day;
    double day_of_year;
    double period;                     // days: the length of one step
    double latitude;                   // degrees, magnitude
    char latitude_hemisphere;          // 'N' or 'S'
    double longitude;                  // degrees, magnitude
    char longitude_hemisphere;         // 'E' or 'W'
    double elevation;                  // m
    vegso_given_value air_temperature; // °C
    vegso_given_value dew_point;       // °C
    vegso_given_value unused_1;
    vegso_given_value humidity_height; // m
    vegso_given_value pressure;        // kPa
    vegso_given_value wind_speed;      // m/s
    vegso_given_value wind_height;     // m
    vegso_given_value rainfall;
    vegso_given_value rain_nitrate;    // nitrate concentration of the rain
    vegso_given_value solar_radiation; // MJ/m2 over an hour
    vegso_given_value unused_2;
    vegso_given_value cloud_cover;     // kept for the caller, not read
    vegso_given_value unused_3;
    VEGSO::Environment* environment;   // owned; made by the first vegso_env_update
};

// Positions in a layer record.
enum vegso_layer_index : int {
    vegso_layer_number = 0,         // an integer value; 0 marks the top layer
    vegso_thickness = 1,            // m
    vegso_bottom_depth = 2,         // m
    vegso_mass_factor = 3,          // factor of the thickness in the initial pool masses
    vegso_solid_density = 4,
    vegso_porosity = 5,
    vegso_water_content = 6,        // volumetric
    vegso_field_capacity = 7,       // volumetric
    vegso_wilting_point = 8,        // volumetric
    vegso_result = 9,               // the plants' water uptake of the last step, m
    vegso_ph = 10,
    vegso_temperature = 11,         // °C
    vegso_organic_carbon_percent = 12,
    vegso_auxiliary = 13,
    vegso_residue = 14,
    vegso_carbon_part = 15,         // carbon concentration; 16..18 active C, 20..22 stable C
    vegso_active_carbon = 16,
    vegso_stable_carbon = 20,
    // Nitrogen and phosphorus pools: four values each (mass, dissolved,
    // sorbed and total fraction), starting at these positions.
    vegso_ammonium = 24,
    vegso_nitrate = 28,
    vegso_fresh_n = 32,
    vegso_active_n = 36,
    vegso_stable_n = 40,
    vegso_fresh_p = 44,
    vegso_active_p = 48,
    vegso_stable_p = 52,
    vegso_mineral_active_p = 56,
    vegso_mineral_stable_p = 60,
    vegso_solution_p = 64,
    vegso_p_availability = 68,
    vegso_layer_record_size = 69
};

struct vegso_layer_record {
    double v[vegso_layer_record_size];
};

// The nitrogen and phosphorus pools that a cell steps, in the order of
// their positions in a layer record (pool i at vegso_ammonium + 4 i).
enum vegso_pool : int {
    vegso_pool_ammonium,
    vegso_pool_nitrate,
    vegso_pool_fresh_n,
    vegso_pool_active_n,
    vegso_pool_stable_n,
    vegso_pool_fresh_p,
    vegso_pool_active_p,
    vegso_pool_stable_p,
    vegso_pool_mineral_active_p,
    vegso_pool_mineral_stable_p,
    vegso_pool_solution_p,
    vegso_pool_count
};

// The caller's storage of what changes in a cell between two steps. Each
// pointer addresses the value of the cell's top layer; the layers below it
// follow at the next positions. The storage must outlive the binding (until
// the cell is destroyed or bound anew). Does not own what it points to.
struct vegso_cell_binding {
    const double* water_content;           // volumetric; read at the start of each step
    double* pools[vegso_pool_count];       // masses in the caller's unit; read, then left there
    double* dissolved[vegso_pool_count];   // dissolved share of each pool; written when it changes (or null)
    double unit;                           // the caller's mass units per unit of the records (1000: g for kg)
    // Per pool: each step adds what the pool gained (made) or lost (used),
    // layer by layer, in the caller's unit (or null). Cells that step on
    // different threads at once must not share them.
    double* made;
    double* used;
};

struct vegso_plant_desc_record {
    char name[200];  // plant code of the plant database, NUL-terminated
    double value;    // the plant's share of the cell
};

struct vegso_schema {
    int plant_count;
    vegso_plant_desc_record** plants;
    int layer_count;
    vegso_layer_record** layers;  // top layer first
};

// Twelve cell parameters; entries 7 to 11 are partition coefficients read
// by vegso_cell_set_params, entries 0 to 6 are kept for the caller.
constexpr int vegso_cell_param_count = 12;
struct vegso_cell_params {
    double v[vegso_cell_param_count];
};

struct vegso_cell_handle {
    vegso_schema* schema;  // owned private copy; its layer records are the cell's exchange records
    VEGSO::Cell* cell;     // owned
};

// A new environment record with the defaults (2006-04-04, day 94, period
// 24, 30 N 90 W, 20 °C, dew point 18 °C, heights 2 m, 101.32 kPa, rain
// nitrate 0.01).
vegso_env_record* vegso_env_create();
// Makes the record's environment on the first call and refreshes it from
// the record on later calls.
void vegso_env_update(vegso_env_record* record);

// A new layer record: every position 0, then thickness 0.1, bottom depth
// 0.1, mass factor 10, solid density 1000, porosity 0.5, water content,
// field capacity and wilting point 0.01, pH 6.5, temperature 20, organic
// carbon 0.3 %, position 13 0.05 and residue 1.
vegso_layer_record* vegso_layer_defaults();
// Fills the carbon, nitrogen and phosphorus parts with the initial pools of
// a layer of the record's thickness, bottom depth, mass factor and solid
// density: set those before the call.
void vegso_layer_init_pools(vegso_layer_record* record);

vegso_plant_desc_record* vegso_plant_desc_create();

vegso_cell_params* vegso_cell_params_defaults();

// Free a non-null record (the environment record with its environment);
// each returns null.
vegso_env_record* vegso_free_record(vegso_env_record* record);
vegso_layer_record* vegso_free_record(vegso_layer_record* record);
vegso_plant_desc_record* vegso_free_record(vegso_plant_desc_record* record);
vegso_cell_params* vegso_free_record(vegso_cell_params* record);

// A schema with room for the given numbers of plant descriptors and layer
// records, every pointer null; the schema owns what the caller puts there.
vegso_schema* vegso_schema_create(int plant_count, int layer_count);
// Frees every plant descriptor and layer record and the schema; returns null.
vegso_schema* vegso_schema_destroy(vegso_schema* schema);
// A deep copy; a null entry of the source gives a default record.
vegso_schema* vegso_schema_copy(const vegso_schema* schema);

// A handle with a copy of the schema and a cell built from it. `cell_number`
// names the cell in the library's warnings.
vegso_cell_handle* vegso_cell_create(const vegso_schema* schema, int cell_number = 0);
// Destroys the cell, its schema copy and the handle; returns 0.
int vegso_cell_destroy(vegso_cell_handle* handle);
// Sets the layers' partition coefficients: nitrate, ammonium and fresh
// nitrogen from entries 7, 8 and 9; fresh and solution phosphorus from
// entries 10 and 11.
void vegso_cell_set_params(vegso_cell_handle* handle, const vegso_cell_params* params);
// Binds the cell to the caller's storage (the binding is copied) and takes
// its layer values (positions 0 to 14 of its layer records) once more, as
// they are now: its steps then read the water contents and pools from the
// binding, leave the pools there and the pools' dissolved shares when they
// change, and neither read nor write the layer records. A null binding
// returns the cell to its records.
void vegso_cell_bind(vegso_cell_handle* handle, const vegso_cell_binding* binding);
// One step of the cell over the environment's period: reads the layer
// records (or the bound storage), steps the plants and the nitrogen and
// phosphorus graphs of every layer and writes the layer records back (or
// the pools into the bound storage). The environment must have been made by
// vegso_env_update.
void vegso_cell_step(const vegso_env_record* environment, vegso_cell_handle* handle);
// vegso_cell_step of `count` cells in the order given (null handles are
// skipped), each with the results of its own step; the layers of
// consecutive cells share the graphs' steps. A handle given twice steps
// twice, in turn.
void vegso_cells_step(const vegso_env_record* environment, vegso_cell_handle* const* handles, int count);

// What one part of the cells of a step works in, so that parts of
// different cells can step on different threads at once: room for copies of
// the layers of cells on their records stepped together, and the warnings of
// the part's steps, kept back in their order until the caller gives them to
// the sink (vegso_give_warnings), part after part.
struct vegso_step_room {
    VEGSO::LayerRoom* layers;  // owned
    vegso_warning_list warnings;
};
// A room for the steps of cells on their records of at most `layers` layers
// each (a cell of more makes the room grow at its step). Bound cells need
// none: 0 makes a room for them.
vegso_step_room* vegso_step_room_create(int layers);
// Frees the room (its warnings not given); returns null.
vegso_step_room* vegso_step_room_destroy(vegso_step_room* room);
// vegso_cells_step in `room`: the step's warnings are kept in the room. The
// calls of different threads at once must step different cells, each in a
// room of its own, bound (if bound) to storage and tallies of their own,
// while nobody updates the environment.
void vegso_cells_step_in(const vegso_env_record* environment, vegso_cell_handle* const* handles, int count,
                         vegso_step_room* room);
