#include "calibration/replace_params.hpp"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/error_record.hpp"
#include "core/file_opener.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

enum replace_type { type_unset = -1, type_int = 0, type_double = 1, type_string = 2 };

struct replace_param {
    std::string name;    // with both brackets, e.g. "[KS]"
    std::string format;  // one printf conversion that fits `type`
    int type = type_unset;
    double dval = 0.0;
    int ival = 0;
    std::string sval;
    bool used = false;  // substituted since the values were last loaded
};

struct replace_settings {
    std::vector<replace_param> params;  // in declaration order
    bool on = false;
    int line_index = 0;        // 0-based line of the value file
    int substitutions = 0;     // since the values were last loaded
};

replace_settings g_replace;

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Skips up to three digits; false when more follow (a width or precision that
// large is a typing error, and would make the printed value absurdly long).
bool skip_number(const std::string& f, std::size_t& i) {
    int digits = 0;
    while (i < f.size() && is_digit(f[i])) {
        ++i;
        if (++digits > 3) return false;
    }
    return true;
}

// True when `f` holds exactly one conversion ("%%" aside) and that conversion
// prints a value of `type` with no further arguments: an int by d or i, a
// double by f, e, g or a (an "l" before it allowed), a string by s.
bool format_fits(const std::string& f, int type) {
    int conversions = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        if (++i < f.size() && f[i] == '%') continue;
        while (i < f.size() && (f[i] == '-' || f[i] == '+' || f[i] == ' ' || f[i] == '#' || f[i] == '0')) ++i;
        if (!skip_number(f, i)) return false;
        if (i < f.size() && f[i] == '.') {
            ++i;
            if (!skip_number(f, i)) return false;
        }
        bool long_size = false;
        if (i < f.size() && f[i] == 'l') {
            long_size = true;
            ++i;
        }
        if (i >= f.size()) return false;
        const char c = f[i];
        bool fits = false;
        switch (type) {
            case type_int: fits = !long_size && (c == 'd' || c == 'i'); break;
            case type_double: fits = std::strchr("fFeEgGaA", c) != nullptr && c != '\0'; break;
            case type_string: fits = !long_size && c == 's'; break;
            default: break;
        }
        if (!fits) return false;
        ++conversions;
    }
    return conversions == 1;
}

// The type a format asks for: the last of the letters d, f and s in it.
int format_type(const std::string& f) {
    int type = type_unset;
    for (char c : f) {
        if (c == 'd') type = type_int;
        else if (c == 'f') type = type_double;
        else if (c == 's') type = type_string;
    }
    return type;
}

// The value of `p` printed with its own format. The format was checked to
// hold exactly one conversion of the parameter's type.
std::string formatted_value(const replace_param& p) {
    const char* fmt = p.format.c_str();
    switch (p.type) {
        case type_int: return format_text(fmt, p.ival);
        case type_double: return format_text(fmt, p.dval);
        case type_string: return format_text(fmt, p.sval.c_str());
        default: return std::string();
    }
}

void print_bad_declaration(const std::string& line, bool bad_format) {
    std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%s\n",
                echoed(line).c_str());
    if (bad_format)
        std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
}

// Parses one declaration: the name from the last "[" to the last "]", then
// the quoted format after it. Appends the parameter; false when refused.
bool parse_declaration(const std::string& line) {
    const std::size_t open = line.rfind('[');
    const std::size_t close = line.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        print_bad_declaration(line, false);
        return false;
    }
    replace_param p;
    p.name = line.substr(open, close - open + 1);
    line_cursor rest(line.substr(close + 1));
    pop_string(rest, p.format);
    p.type = format_type(p.format);
    if (p.type == type_unset || !format_fits(p.format, p.type)) {
        print_bad_declaration(line, true);
        return false;
    }
    g_replace.params.push_back(std::move(p));
    return true;
}

// A value of the parameter's type taken from the front of `line`, kept in
// `p` only when the whole token is one.
bool pop_value(line_cursor& line, replace_param& p) {
    switch (p.type) {
        case type_int: return pop_int_strict(line, p.ival);
        case type_double: return pop_double_strict(line, p.dval);
        default: return pop_string(line, p.sval) == 1;
    }
}

// The next token, for messages.
std::string next_token_text(const line_cursor& line) {
    line_cursor copy(line.rest());
    std::string token;
    pop_string(copy, token);
    return token;
}

}  // namespace

bool replace_mode_on() { return g_replace.on; }

void set_replace_mode(bool on) {
    g_replace.on = on;
    set_line_filter(on ? replace_line_tokens : nullptr);
}

int read_replace_param_file(const std::string& file) {
    std::string name = file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) {
        std::printf("Error: unable to open the replace parameter file.\n  (File: %s)\n", name.c_str());
        return -1;
    }
    std::string line;
    int count = 0;
    line_cursor first;
    if (read_text_line(fp.get(), line)) first.assign(line);
    if (!pop_int_strict(first, count) || count < 0) {
        std::printf("Error: unable to read the number of parameters in the parameter list file\n");
        return -1;
    }
    int result = 0;
    for (int i = 0; i < count; ++i) {
        if (!read_text_line(fp.get(), line)) {
            std::printf("Error: unexpected end of parameter list file after %d parameters. Expecting %d\n", i,
                        count);
            return -1;
        }
        // A refused line is skipped and reading goes on, so every bad line is
        // reported at once; the file as a whole still fails, since the values
        // would no longer meet the parameters they were meant for.
        if (!parse_declaration(line)) result = -1;
    }
    return result;
}

int read_replace_value_file(const std::string& file) {
    std::string name = file;
    file_ptr fp = open_file(name, "r", 0);
    if (!fp) {
        std::printf("Error: unable to open the value file %s\n", name.c_str());
        return -1;
    }
    // The selected line, or the last one when the file is shorter.
    std::string line;
    std::string selected;
    int line_number = 0;
    // A negative index (a REPLACE_LINE of 0) takes the first line.
    while ((line_number == 0 || line_number <= g_replace.line_index) && read_text_line(fp.get(), line)) {
        selected = line;
        ++line_number;
    }
    if (line_number == 0) {
        std::printf("Error: the value file %s holds no line of values\n", name.c_str());
        return -1;
    }
    // Every value is checked before any is kept, so a bad line leaves the
    // values of the previous line in place.
    std::vector<replace_param> loaded = g_replace.params;
    line_cursor cursor(selected);
    for (replace_param& p : loaded) {
        if (cursor.at_end() || next_token_text(cursor).empty()) {
            std::printf("Error: line %d of the value file %s holds no value for %s\n", line_number, name.c_str(),
                        p.name.c_str());
            return -1;
        }
        if (!pop_value(cursor, p)) {
            std::printf("Error: line %d of the value file %s: the value %s for %s is not valid\n", line_number,
                        name.c_str(), echoed(next_token_text(cursor)).c_str(), p.name.c_str());
            return -1;
        }
        p.used = false;
    }
    g_replace.params = std::move(loaded);
    g_replace.substitutions = 0;
    set_replace_mode(true);
    return 0;
}

void set_replace_line(int index) { g_replace.line_index = index; }

int replace_line() { return g_replace.line_index; }

void set_replace_values(const std::vector<double>& values) {
    std::size_t k = 1;
    for (replace_param& p : g_replace.params) {
        if (k >= values.size()) break;
        p.dval = values[k++];
        if (p.type == type_int) p.ival = substituted_int(p.dval);
    }
    for (replace_param& p : g_replace.params) p.used = false;
    g_replace.substitutions = 0;
    set_replace_mode(true);
}

int substituted_int(double v) {
    // A trial point always lies between finite bounds; the ends of the range
    // only guard the conversion.
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    if (std::isnan(v)) return 0;
    if (v <= lo) return std::numeric_limits<int>::min();
    if (v >= hi) return std::numeric_limits<int>::max();
    return static_cast<int>(std::lround(v));
}

std::vector<bool> integer_replace_params() {
    std::vector<bool> flags{false};
    for (const replace_param& p : g_replace.params) flags.push_back(p.type == type_int);
    return flags;
}

void replace_line_tokens(std::string& line) {
    if (g_replace.params.empty()) return;
    std::size_t pos = 0;
    while ((pos = line.find('[', pos)) != std::string::npos) {
        replace_param* match = nullptr;
        for (replace_param& p : g_replace.params) {
            if (line.compare(pos, p.name.size(), p.name) == 0) {
                match = &p;
                break;
            }
        }
        if (!match) {
            std::printf("Error: unable to match replace pair: %s\n", echoed(line).c_str());
            ++pos;
            continue;
        }
        const std::string value = formatted_value(*match);
        line.replace(pos, match->name.size(), value);
        pos += value.size();  // the inserted value is never a placeholder
        match->used = true;
        ++g_replace.substitutions;
    }
}

void print_replace_values(std::FILE* fp) {
    std::string text = "\nUsing replacement values:\n";
    for (const replace_param& p : g_replace.params)
        text += format_text("  %-14s = ", p.name.c_str()) + formatted_value(p) + "\n";
    text += "\n";
    print_both(fp, text);
}

void print_replace_usage(std::FILE* fp) {
    std::string text = format_text("\nTotal times a value was replaced: %d\n\n", g_replace.substitutions);
    text += "\nWas replacement value used?:\n";
    for (const replace_param& p : g_replace.params)
        text += format_text("  %-14s = ", p.name.c_str()) + (p.used ? "Yes\n" : "No\n");
    text += "\n";
    print_both(fp, text);
}

void free_replace_list() { g_replace.params.clear(); }

}  // namespace kesta
