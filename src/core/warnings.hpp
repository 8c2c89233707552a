// The warnings of a run. Every warning goes through `warn`, which shows it on
// the console and counts it, so that the summary file lists each distinct
// warning once with the number of times it was given. The log is
// process-wide, as the error record is: a run clears it when it starts.
#pragma once

#include <string>
#include <vector>

namespace kesta {

// Prints `text` (its own line ends included) on standard output and records
// it. Texts that differ only in leading or trailing line breaks and blanks
// count as one warning. Safe to call from several threads.
void warn(const std::string& text);
// Records a warning that its caller has shown already (the catalogue
// warnings of the error reporter), as warn does, without printing it.
void note_warning(const std::string& text);

// One distinct warning: its text without leading and trailing line breaks
// and blanks, and the number of times it was given.
struct given_warning {
    std::string text;
    long times = 0;
};

// The warnings given since the log was last taken, in the order each was
// first given. At most kMaxListedWarnings distinct texts are kept; the rest
// are only counted.
struct warning_list {
    std::vector<given_warning> listed;
    long unlisted_kinds = 0;  // distinct texts beyond the kept ones
    long unlisted_times = 0;  // times those were given
    bool empty() const { return listed.empty() && unlisted_kinds == 0; }
};

constexpr int kMaxListedWarnings = 100;

// Hands over the warnings given since the last call and empties the log.
warning_list take_warnings();
// Empties the log, as at the start of a run.
void forget_warnings();
// True when a warning was given since the log was last taken or emptied.
bool warnings_pending();

}  // namespace kesta
