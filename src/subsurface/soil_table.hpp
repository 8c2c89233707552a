// The layered soil table of the multi-layer Green and Ampt infiltration: three
// soil layers per soil class, read into fixed slots of the class records.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "subsurface/subsurface_state.hpp"

namespace kesta {

// Reads, as white-space separated numbers: the number of classes, one unused
// integer, then per class its identifier (the index of its record in
// soil_class) and 9 + 9 + 8 reals for layers 1, 2 and 3. Column k of a layer
// goes to one fixed slot per layer (see the slot map in the source); slots 3,
// 24 and 28..49 are not written. A class given twice keeps its later values.
//
// Returns the number of classes read. Refuses the table (-1, with a message
// naming the file, line and text, code 4000 reported at once) when a number
// does not read, the count is negative, an identifier lies outside the
// records or the file ends early. Reading stops after the counted classes;
// anything after them is not read, with a warning. Does not close the file.
int read_soil_class_table(std::FILE* fp, const std::string& file_name,
                          std::vector<soil_class_record>& soil_class);

}  // namespace kesta
