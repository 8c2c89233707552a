#include "core/error_record.hpp"

#include "core/file_opener.hpp"
#include "core/text_format.hpp"
#include "core/warnings.hpp"

namespace kesta {

error_record g_error_record;

namespace {

// This code's message goes to the summary file only, never to the console.
constexpr int kSummaryOnlyCode = 131;

}  // namespace

void error_record::clear_for_run() {
    code = 0;
    stop = 0;
    exit_now = 0;
    summary_file = nullptr;
}

void error_record::fail(int c, const std::string& item_text, const std::string& file, int v1,
                        int v2) {
    code = c;
    item = item_text;
    file_name = file;
    value1 = v1;
    value2 = v2;
    detail.clear();
    stop = 1;
}

void print_both(std::FILE* fp, const std::string& text) {
    put_text(stdout, text);
    put_text(fp, text);
}

void print_both(const std::string& text) { print_both(g_error_record.summary_file, text); }

void fail_and_report(int code, const std::string& item, const std::string& file, int v1, int v2) {
    g_error_record.fail(code, item, file, v1, v2);
    report_error(g_error_record);
}

bool refuse(const std::string& text) {
    print_both(text);
    fail_and_report();
    return false;
}

void store_refusal(const std::string& text) {
    print_both(text);
    g_error_record.fail(4000);
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
        if (is_warning_code(code)) note_warning(message);
        if (code != kSummaryOnlyCode) {
            print_both(rec.summary_file, message);
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
