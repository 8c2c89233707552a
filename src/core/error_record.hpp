// The one process-wide record of the last error, and its reporter. Errors are
// values: a failing step stores a code (with the texts and numbers its message
// needs) and returns; the run driver reports it after the step.
#pragma once

#include <cstdio>
#include <string>

namespace kesta {

struct error_record {
    int code = 0;      // 0 none; 1..131 catalogue; 4000 the caller printed its own message
    int stop = 0;      // 1: the run is to stop
    int exit_now = 0;  // with stop: report_error terminates and keeps the code
    int value1 = 0;    // first number a message prints
    int value2 = 0;    // second number a message prints
    std::string item;       // kind of file or item a message names
    std::string file_name;  // file a message names
    // What exactly went wrong, said on a line of its own after the catalogue
    // text (indented, without its line break); empty for none. Cleared by
    // fail and once reported.
    std::string detail;
    std::FILE* summary_file = nullptr;  // not owned; messages are copied here
    // The message of the error that stopped the run, said again as the last
    // lines of the run's console output. Set by refuse, store_refusal and the
    // reporter of a catalogue code; fail clears it, or, for code 4000 (the
    // caller printed its own message and hands over no text), sets a line
    // that points to the message above.
    std::string stop_message;
    // What print_both meant for the summary file while none was open (the
    // first kMaxHeldText bytes): a run that stops before its summary file is
    // opened writes it there.
    std::string held_for_summary;
    // The last message print_both said that begins with "Error": where a
    // stop_message that points to "the error reported above" points. On its
    // own, standard error has nothing above it, and is given this instead.
    std::string error_said;

    // Clears code, stop, exit_now, summary_file and the kept texts, as at
    // the start of a run.
    void clear_for_run();
    // Stores a code with the fields its message needs, sets `stop` and
    // `stop_message` (see there).
    void fail(int c, const std::string& item_text = std::string(),
              const std::string& file = std::string(), int v1 = 0, int v2 = 0);
};

extern error_record g_error_record;

// The stop message of code 4000 when its caller printed its own message and
// handed over no text of it.
constexpr const char* kMessageReportedAbove = "Error: the run failed on the error reported above.\n";

// Number of codes in the message catalogue (1..kErrorCatalogueSize).
constexpr int kErrorCatalogueSize = 131;

// Bytes of summary text the error record holds while no summary file is open.
constexpr std::size_t kMaxHeldText = 1 << 20;

// Writes `text` unchanged to standard output and then, when `fp` is given, to
// `fp`; when it is not, the text is held in the error record for the summary
// file (see held_for_summary). The text is never used as a format. When it
// names a file of a project-file card that would not open, the lines of
// card_file_notes follow it; the refusals and the reporter below add them to
// their messages in the same way.
void print_both(std::FILE* fp, const std::string& text);
// The same to the summary file the record copies messages to.
void print_both(const std::string& text);

// Stores a code with the fields its message needs, as error_record::fail
// does, and reports it at once.
void fail_and_report(int code = 4000, const std::string& item = std::string(),
                     const std::string& file = std::string(), int v1 = 0, int v2 = 0);
// A caller's own message on the console and in the summary file, then code
// 4000 reported at once (the run stops). Always false, so that a reader can
// end with `return refuse(...)`.
bool refuse(const std::string& text);
// As refuse, but code 4000 is only stored with the stop flag: the run driver
// reports it after the step.
void store_refusal(const std::string& text);

// The last console lines of a run that stopped: the stop message without its
// surrounding blank lines and with one line end; empty when there is none.
std::string closing_error_text(const error_record& rec);

// Writes `closing` (closing_error_text) after a blank line on standard output
// and, unless standard error is the same file as standard output, on
// standard error too: a run whose output goes to a file still says on the
// terminal why it stopped. Where `closing` only points to the error reported
// above, standard error is given that error (error_said) itself. Nothing for
// an empty text.
void print_closing_error(const std::string& closing);

// The catalogue message of `code` built from the record's fields, without the
// leading line break; empty for codes with no message.
std::string error_message(const error_record& rec);

// True for the codes that only warn (the run goes on after the message).
bool is_warning_code(int code);

// Prints the message of the pending code, then its detail line, to the
// console and the summary file; sets or clears `stop` and clears the code
// and the detail.
void report_error(error_record& rec);

}  // namespace kesta
