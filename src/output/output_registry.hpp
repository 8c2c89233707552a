// The run's outputs, one registry in the output state. Every file a run
// writes opens through it: the file is first held against the run's inputs
// and against the outputs recorded so far (no output may destroy an input
// or garble another output), then opened and recorded with its group. The
// registry owns the streams; a writer reaches its stream through an
// output_slot. Shut-down closes every output by walking the registry in the
// order of the groups, each once, and a write that failed is reported once,
// naming the output and its path. A value check that finds a value it will
// not write (output/finite_output.hpp) names the file from the registry too.
//
// A new output is one request and one open_output call: the check, the record,
// the closing and its report come with it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/file_opener.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

struct output_registry;

// Where a writer finds an output the registry holds: its stream while it is
// open, none before it opens and once it closed. Owns nothing.
class output_slot {
public:
    std::FILE* get() const;
    explicit operator bool() const { return get() != nullptr; }

private:
    friend struct output_registry;
    const output_registry* registry_ = nullptr;
    int record_ = -1;  // index into the registry's records
};

// The groups in the order they close. The summary file closes last, so that
// it still receives the messages of the others' failures.
enum class output_group : int {
    maps,         // map datasets and link/node datasets of the map step
    coupling,     // files for other programs: reservoir model, optimisation, channel constituents
    analyzers,
    groundwater,
    evaporation,
    hotstart,
    location,
    channel_output,
    flood,
    pipe,
    nutrient,
    run_outputs,  // the outlet series
    summary,
    // Written whole and closed by its writer at once (final grids,
    // diagnostics, exchange files), or written by a writer outside the
    // registry (the run-time record): never open when the run closes.
    written_whole,
};

// What closing writes before it closes: a dataset's end mark.
enum class end_mark : int { none, ascii_dataset, binary_dataset };

// One output as its opener describes it.
struct output_request {
    // The output in a refusal: "card SUMMARY", "the run's mask map". An
    // output named by a card is named by "card <CARD>", which a value
    // check also gives after the file's name.
    std::string words;
    std::string name;  // the file name as given (surrounding quotes are stripped to open it)
    const char* mode = "w";
    output_group group = output_group::run_outputs;
    // The output in "Error writing <what> <path>: the output is incomplete."
    // ("Error writing <path>: ..." when empty).
    std::string what;
    bool fixed = false;  // the program names the file, not a card
    int add_run_number = 1;  // in numbered runs, the run number before the name (files written "w")
    end_mark end = end_mark::none;
};

// What makes two names one file: the device and inode of a file that
// exists, else the absolute path with "." and ".." resolved.
struct file_identity {
    bool exists = false;
    bool shared = false;  // a device, pipe or socket (/dev/null): outputs may share it
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;
};
file_identity identify(const std::string& path);
bool same_file(const file_identity& a, const file_identity& b);

struct output_record {
    output_request request;
    std::string path;  // where the file is written
    file_identity id;
    file_ptr stream;   // empty for an output claimed ahead of its writer, and once closed
};

struct output_registry {
    output_registry() = default;
    // What is still open is closed, datasets with their end marks, unchecked:
    // close_all_outputs is the checked way.
    ~output_registry();
    output_registry(const output_registry&) = delete;
    output_registry& operator=(const output_registry&) = delete;

    // Index of the record of stream `fp`; -1 for none.
    int find(const std::FILE* fp) const;
    // Points `slot` at record `index`.
    void bind(output_slot& slot, int index) const;

    // Every output claimed or opened, in that order; records stay where
    // they are for the run (slots hold their index).
    std::vector<output_record> records;
};

// A file the run reads, and the words that say where it comes from ("the
// project file", "named by card ELEVATION").
struct run_input {
    std::string what;
    std::string path;
};
// Every input file the project names, whether or not this run reads it:
// the project calls it an input (run_files.cpp, beside the table of files).
std::vector<run_input> run_inputs(model_state& m);

// The result of open_output.
struct opened_output {
    std::FILE* fp = nullptr;  // the open stream; null when refused or not opened
    bool refused = false;     // the file is an input or another output: refused, the run stops
};

// Opens the output of `request` and records it: first the file is held against
// the run's inputs and the outputs recorded so far, and one that is either
// is refused (the message says which, code 4000 with the stop flag) before
// anything is written; a file claimed ahead (claim_output, same words and
// path) or closed before (a file rewritten at every event) opens in its
// record without a new check. `slot`, when given, shows the stream. A file
// that cannot be opened is not recorded: fp is null with errno kept, and
// the caller reports it.
opened_output open_output(model_state& m, const output_request& request, output_slot* slot = nullptr);
// Holds the output of `request` against the inputs and the outputs as
// open_output does and records it unopened, for a writer that opens it
// later. False after the refusal.
bool claim_output(model_state& m, const output_request& request);
// Closes the output in `slot` now, after its end mark; a write that failed
// is reported at once and stops the run (code 4000). False then. Nothing
// for a slot that shows no stream.
bool close_output(model_state& m, output_slot& slot);
// As close_output for the stream `fp` of a record (a file written whole).
bool close_output(model_state& m, std::FILE* fp);
// Closes every open output, the groups in their order and each group's
// outputs in the order they opened, each after its end mark. Each whose
// writes or close failed is said in a message; false when any failed.
bool close_all_outputs(model_state& m);
// The words that name the output open in `fp` where a value check refuses
// a value: "<name> (card <CARD>)" for an output a card names, "<name>" for
// another, "its output file" for a stream the registry does not hold.
std::string written_file_words(const model_state& m, const std::FILE* fp);

}  // namespace kesta
