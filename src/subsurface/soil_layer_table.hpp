// The Richards soil-layer table in its mapping-table form.
#pragma once

#include "input/mapping_tables.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

// Reads the Richards soil table (Brooks and Corey or Havercamp, as the run's
// retention model says) from the lines after its keyword line: two header
// cards of a keyword and a count (the first the number of classes), then per
// class three layer lines, the first holding the class ID and a description
// in characters 1-87 and its values from character 88. Returns the number of
// classes read; -1 after a refusal naming the file, line and value (code
// 4000, reported).
int read_soil_layer_table(model_state& m, table_cursor& table);

}  // namespace kesta
