// Overland lakes: the lake and low-spot files, and the growth and shrinkage
// of the lakes over their neighbouring cells.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/line_reader.hpp"
#include "model/model_state_fwd.hpp"
#include "overland/overland_state.hpp"

namespace kesta {

// The first word of the line (after blanks, tabs and line ends), lower-cased
// and taken off the line: 0 when it is "lake" (respectively "spot"), else 1.
// A line without a word gives 1.
int get_lake_card(line_cursor& line);
int get_lowspot_card(line_cursor& line);

// Reads the overland lake file: a first line whose first word is a leading
// part of "kesta_overland_lake_file" (any case), then LAKE cards "LAKE number
// level volume"; other lines are skipped. Each card sets the level, initial
// level and volume of its lake in lakes[number], which must hold
// expected + 1 records. The file is refused (message, code 4000 reported)
// when its first word does not agree, a card does not read or names a lake
// outside 1..expected, or the number of cards differs from `expected`.
bool read_lake_file(std::FILE* fp, const std::string& file_name, int expected,
                    std::vector<lake_record>& lakes);

// Reads the low-spot file: a first line whose first word is a leading part
// of "lowspot" (any case), then SPOT cards "SPOT row col side fraction
// elevation"; other lines are skipped. `table` becomes count + 1 records,
// record 0 zero. Refused (message, code 4000 reported) when the first word
// does not agree, a card does not read, or there is no SPOT card.
bool read_lowspot_file(std::FILE* fp, const std::string& file_name, int& count,
                       std::vector<lowspot_record>& table);

// Sorts keys[1..n] ascending and carries carried[1..n] along: partition
// exchange around the median of the first, middle and last keys, straight
// insertion for stretches of fewer than 7. Equal keys keep the order this
// scheme gives them, which decides which of several equally high cells a
// lake takes first. Both vectors need n + 1 elements.
void sort2(int n, std::vector<double>& keys, std::vector<int>& carried);

// Water each overland lake holds above its initial level over the cells it
// covers now (m3), into above[k] for every lake record k (made on first use): what a
// lake may give before its next extent update, besides the volume it has
// gained since the last one (its step volume). A lake never falls below its
// initial level, so nothing may take more from it.
void olake_water_above_initial(const model_state& m, vec1<double>& above);

// Moves every overland lake to the level its step volume asks for, taking
// over the neighbouring cells the new level floods (lowest first) or giving
// back the cells it no longer covers, and books the volumes into the lake
// totals of the model. The water of the lake and of the cells it takes is
// kept to the rounding; a lake never falls below its initial level (a step
// volume that asks for more is met at that level, making water, which the
// routing and the low spots never ask for). A stop (code 4000, message
// printed) leaves the lakes with higher numbers as they were.
void olake_extent(model_state& m);

}  // namespace kesta
