// Warnings of the plant and soil nutrient library. The library stands alone
// and cannot reach the model's warning log: every warning goes to one
// process-wide sink, which the coupling code sets to forward the texts to the
// run's log. Without a sink, the texts are printed on standard output.
// Cells stepped on several threads at once keep their warnings back in a
// list per part of the cells (vegso_warning_list), which the caller hands
// to the sink part after part: the run's log then tells them in the order
// of one thread's steps.
#pragma once

#include <string>
#include <vector>

// Receives one warning text, its line end included. `user` is the pointer
// given with the sink. The sink is called from the thread that steps the
// library (or gives the warnings kept back); a sink used from several
// threads must be safe for that.
using vegso_warning_sink = void (*)(const char* text, void* user);

// Sets the sink (null: print on standard output) and forgets which
// warnings were already given once, so that a new run gives them again.
void vegso_set_warning_sink(vegso_warning_sink sink, void* user);

// Warnings kept back, in the order they were given, with the key of each
// once-only one.
struct vegso_warning_list {
    struct entry {
        bool once;
        std::string key;  // of a once-only warning
        std::string text;
    };
    std::vector<entry> entries;
};

// From now on the warnings given on the calling thread go into `list`
// instead of to the sink (null: to the sink again, as before the first
// call). Returns the list it replaces. The list must outlive its use.
vegso_warning_list* vegso_keep_warnings(vegso_warning_list* list);
// Hands the warnings of `list` to the sink in their order (a once-only one
// only when its key was not given since the sink was set, as if it were
// given now) and empties the list.
void vegso_give_warnings(vegso_warning_list* list);

namespace VEGSO {

// Hands `text` to the sink.
void warn(const std::string& text);
// Hands `text` to the sink the first time `key` is given since the sink was
// last set; later calls with the same key do nothing.
void warnOnce(const std::string& key, const std::string& text);

}  // namespace VEGSO
