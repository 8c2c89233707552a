// Warnings of the plant and soil nutrient library. The library stands alone
// and cannot reach the model's warning log: every warning goes to one
// process-wide sink, which the coupling code sets to forward the texts to the
// run's log. Without a sink, the texts are printed on standard output.
#pragma once

#include <string>

// Receives one warning text, its line end included. `user` is the pointer
// given with the sink. The sink is called from the thread that steps the
// library; a sink used from several threads must be safe for that.
using vegso_warning_sink = void (*)(const char* text, void* user);

// Sets the sink (null: print on standard output) and forgets which
// warnings were already given once, so that a new run gives them again.
void vegso_set_warning_sink(vegso_warning_sink sink, void* user);

namespace VEGSO {

// Hands `text` to the sink.
void warn(const std::string& text);
// Hands `text` to the sink the first time `key` is given since the sink was
// last set; later calls with the same key do nothing.
void warnOnce(const std::string& key, const std::string& text);

}  // namespace VEGSO
