#include "core/error_record.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"

namespace kesta {

error_record g_error_record;

namespace {

// This code's message goes to the summary file only, never to the console.
constexpr int kSummaryOnlyCode = 131;

// Messages may come from the threads of a split loop.
std::mutex g_held_lock;

void hold_for_summary(const std::string& text) {
    std::lock_guard<std::mutex> guard(g_held_lock);
    std::string& held = g_error_record.held_for_summary;
    if (held.size() >= kMaxHeldText) return;
    if (held.size() + text.size() <= kMaxHeldText) {
        held += text;
    } else {
        held += "(further messages are on the console only)\n";
    }
}

// True when `text`, past its leading blanks and line ends, begins with
// "Error".
bool is_error_text(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && text.compare(first, 5, "Error") == 0;
}

std::string without_blank_ends(const std::string& text) {
    const char* const kSpace = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// `text` followed by the notes on the card files it names that would not
// open (card_file_notes), which explain each failure once.
std::string with_card_notes(const std::string& text) { return text + card_file_notes(text); }

// print_both of a text that already has its card notes.
void put_both(std::FILE* fp, const std::string& said) {
    put_text(stdout, said);
    if (is_error_text(said)) {
        std::lock_guard<std::mutex> guard(g_held_lock);
        g_error_record.error_said = said;
    }
    if (fp) {
        put_text(fp, said);
    } else {
        hold_for_summary(said);
    }
}

// True when both descriptors are open on the same file (a terminal, a pipe
// or a log both streams were sent to).
bool same_file(int fd1, int fd2) {
    struct stat a {}, b {};
    return fstat(fd1, &a) == 0 && fstat(fd2, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

void error_record::clear_for_run() {
    code = 0;
    stop = 0;
    exit_now = 0;
    summary_file = nullptr;
    stop_message.clear();
    std::lock_guard<std::mutex> guard(g_held_lock);
    held_for_summary.clear();
    error_said.clear();
}

void error_record::fail(int c, const std::string& item_text, const std::string& file, int v1,
                        int v2) {
    code = c;
    item = item_text;
    file_name = file;
    value1 = v1;
    value2 = v2;
    detail.clear();
    stop_message = c == 4000 ? kMessageReportedAbove : "";
    stop = 1;
}

void print_both(std::FILE* fp, const std::string& text) { put_both(fp, with_card_notes(text)); }

void print_both(const std::string& text) { print_both(g_error_record.summary_file, text); }

void fail_and_report(int code, const std::string& item, const std::string& file, int v1, int v2) {
    g_error_record.fail(code, item, file, v1, v2);
    report_error(g_error_record);
}

bool refuse(const std::string& text) {
    const std::string said = with_card_notes(text);
    put_both(g_error_record.summary_file, said);
    fail_and_report();
    g_error_record.stop_message = said;
    return false;
}

void store_refusal(const std::string& text) {
    const std::string said = with_card_notes(text);
    put_both(g_error_record.summary_file, said);
    g_error_record.fail(4000);
    g_error_record.stop_message = said;
}

std::string closing_error_text(const error_record& rec) {
    const std::string text = without_blank_ends(rec.stop_message);
    return text.empty() ? text : text + "\n";
}

void print_closing_error(const std::string& closing) {
    if (closing.empty()) return;
    put_text(stdout, "\n" + closing);
    std::fflush(stdout);
    if (same_file(STDOUT_FILENO, STDERR_FILENO)) return;
    const std::string& above = g_error_record.error_said;
    put_text(stderr, closing == kMessageReportedAbove && !above.empty() ? without_blank_ends(above) + "\n" : closing);
    std::fflush(stderr);
}

bool is_warning_code(int code) {
    switch (code) {
        case 14: case 16: case 17: case 39: case 41: case 55: case 95: case 96:
            return true;
        default:
            return false;
    }
}

void report_error(error_record& rec) {
    const int code = rec.code;
    if (code <= 0) {
        rec.code = 0;
        return;
    }

    print_both(rec.summary_file, "\n");
    rec.stop = 1;
    if (code <= kErrorCatalogueSize) {
        std::string message = error_message(rec);
        if (!message.empty() && !rec.detail.empty()) message += "  " + rec.detail + "\n";
        message = with_card_notes(message);
        if (is_warning_code(code)) {
            note_warning(message);
        } else if (!message.empty() && code != kSummaryOnlyCode) {
            rec.stop_message = message;
        }
        if (code != kSummaryOnlyCode) {
            put_both(rec.summary_file, message);
        } else {
            put_text(rec.summary_file, message);
        }
    }
    rec.detail.clear();
    if (is_warning_code(code)) rec.stop = 0;

    if (rec.stop > 0 && rec.exit_now != 0) {
        // The code stays pending for whoever inspects the record before the
        // process ends.
        put_text(stdout, "KESTA Terminated.\n");
        std::fflush(stdout);
        pause_before_exit();
        return;
    }
    rec.code = 0;
}

}  // namespace kesta
