// Channel pumps: read from the pump cards of the channel input, their rates
// taken from an elevation or time series.
#pragma once

#include "core/line_reader.hpp"
#include "input/time_series.hpp"

namespace kesta {

// Reads the rest of a channel pump card (two integers, the flow type ELEV or
// TS and the series name) into a new channel pump. Returns none, with code
// 4000 reported, for any other flow type.
pump* read_pump_card(line_cursor& line, int link, int link_type);

}  // namespace kesta
