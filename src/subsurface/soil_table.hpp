// The layered soil table of the multi-layer Green and Ampt infiltration: three
// soil layers per soil class, read into fixed slots of the class records.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "subsurface/subsurface_state.hpp"

namespace kesta {

// Reads, line by line (lines that hold nothing are passed over): a header
// of the number of classes and one unused integer (on one line or two), then
// per class a line holding its identifier alone (the index of its record in
// soil_class) and one line per layer of 9, 9 and 8 reals for layers 1, 2 and
// 3. Column k of a layer goes to one fixed slot per layer (see the slot map
// in the source); slots 3, 24 and 28..49 are not written. A class given
// twice keeps its later values.
//
// Every layer is checked before its class is stored: conductivity and
// capillary head 0 or more, pore index above 0, porosity between 0 and 1,
// residual <= wilting point < field capacity <= porosity, initial water
// content from the residual to the porosity, and the thickness of layers 1
// and 2 above 0 and at most 100000 cm.
//
// Returns the number of classes read; with `defined`, sets it to one flag
// per record, 1 for each class the table gives. Refuses the table (-1, with
// a message naming the file, line, class, layer and value, code 4000
// reported at once) when a number does not read, a line holds more or fewer
// values than its place takes, a value breaks its bound, the count is
// negative, an identifier lies outside the records or the file ends early.
// Reading stops after the counted classes; anything after them is not read,
// with a warning. Does not close the file.
int read_soil_class_table(std::FILE* fp, const std::string& file_name,
                          std::vector<soil_class_record>& soil_class, std::vector<char>* defined = nullptr);

}  // namespace kesta
