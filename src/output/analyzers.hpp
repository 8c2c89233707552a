// Analyzers: observers of one channel node array that, when told of a run
// event they listen to (or when their own interval is due), compare every
// node of the array with a threshold and report the nodes and values to the
// screen and/or a file. They are defined one a line in the file the
// ANALYZERS card names, built after start-up and destroyed with the run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/file_opener.hpp"
#include "model/model_state_fwd.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// Bits of the output letters (t v s f c d).
enum analyzer_output : int {
    out_tests = 1,    // t: list the nodes that passed (clears v)
    out_by_link = 2,  // v: every node's mark, a line per link (clears t)
    out_screen = 4,   // s
    out_file = 8,     // f
    out_counts = 16,  // c: results header and pass count
    out_values = 32,  // d: show the values
};

// Comparison codes of the operator tokens; codes above 4 compare nothing.
enum analyzer_operator : int {
    op_less = 0,
    op_greater = 1,
    op_equal = 2,
    op_less_equal = 3,
    op_greater_equal = 4,
    op_none = 9,
};

int parse_operator(const std::string& token);
// Trigger letters (t E e S s c) to notification bits; output letters to
// analyzer_output bits. Other letters are ignored.
int parse_trigger_letters(const std::string& letters);
int parse_output_letters(const std::string& letters);

// An interval clock on the model's time: due at once, then each time the
// interval (days) has passed since it was last due.
struct analyzer_timer {
    const double* clock = nullptr;
    double last = 0.0, next = 0.0, interval = 0.0;
    double tolerance = 0.0;  // days: a time this close to `next` is due
    void set_interval(double days);
    bool is_due();
};

// A channel node array seen as one flat vector: the value of node n of
// link l is first[l * stride + n]. A node_table [node][link] is such a
// vector (stride: its node count + 1), and so is a constituent's row of the
// channel stores (stride: the network's node slots per link). Not owned.
struct watched_node_values {
    const double* first = nullptr;
    int stride = 0;
    double at(int link, int node) const {
        const std::size_t at = static_cast<std::size_t>(link) * static_cast<std::size_t>(stride);
        return first[at + static_cast<std::size_t>(node)];
    }
};
watched_node_values values_of(const node_table<double>& t);

// The comparison over the nodes of a channel node array (value = watched,
// or watched less the second array, as for a flow depth), its pass flags
// and its report.
class stream_logical_OP {
public:
    stream_logical_OP(watched_node_values watched, const watched_node_values* second, const vec1<int>& node_counts, int links,
                      const double* clock, std::string array_name);
    double operand_value(int link, int node) const;
    // True when some node passed; the node's flags and the condition text
    // are kept for the report.
    bool compare(int op, double x);
    // The report of the last comparison under the output flags, for the
    // first notification bit of `mask`.
    std::string report(int flags, int mask);

private:
    watched_node_values watched_, second_;
    bool has_second_ = false;
    int links_;
    const double* clock_;
    double compared_at_ = 0.0;
    std::string name_, condition_;
    std::vector<std::vector<char>> passed_;   // [link][node]
    std::vector<std::vector<double>> value_;  // [link][node]
};

class analyzer {
public:
    int trigger_flags = 0;
    int output_flags = 0;
    int op = op_none;
    double operand = 0.0;
    analyzer_timer timer;
    std::unique_ptr<stream_logical_OP> condition;
    output_slot file;   // open when the output letters ask for it
    std::string file_name;

    // Tells the analyzer of the notification `mask`; it reports when it
    // listens to it (and, for a finished step, when its interval is due).
    void trigger(int mask);
    void output(int mask);
};

struct analyzer_set {
    std::vector<std::unique_ptr<analyzer>> list;
};

}  // namespace kesta
