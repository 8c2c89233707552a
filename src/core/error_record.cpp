#include "core/error_record.hpp"

#include "core/file_opener.hpp"

namespace kesta {

error_record g_error_record;

namespace {

// This code's message goes to the summary file only, never to the console.
constexpr int kSummaryOnlyCode = 131;

void write_text(std::FILE* fp, const std::string& text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), fp);
}

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
    stop = 1;
}

void print_both(std::FILE* fp, const std::string& text) {
    write_text(stdout, text);
    if (fp) write_text(fp, text);
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
        const std::string message = error_message(rec);
        if (code != kSummaryOnlyCode) {
            print_both(rec.summary_file, message);
        } else if (rec.summary_file) {
            write_text(rec.summary_file, message);
        }
    }
    if (is_warning_code(code)) rec.stop = 0;

    if (rec.stop > 0 && rec.exit_now != 0) {
        // The code stays pending for whoever inspects the record before the
        // process ends.
        write_text(stdout, "KESTA Terminated.\n");
        std::fflush(stdout);
        pause_before_exit();
        return;
    }
    rec.code = 0;
}

}  // namespace kesta
