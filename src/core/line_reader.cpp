#include "core/line_reader.hpp"

#include <cctype>
#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <system_error>

#include <sys/types.h>

namespace kesta {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\0'; }

namespace {
struct malloc_free {
    void operator()(char* p) const noexcept { std::free(p); }
};
}  // namespace

bool read_text_line(std::FILE* fp, std::string& text) {
    // One block read per line: POSIX getline keeps lines of any length
    // (and any byte, NUL included) whole, at the speed of a buffered copy.
    char* raw = nullptr;
    std::size_t capacity = 0;
    const ssize_t n = ::getline(&raw, &capacity, fp);
    const std::unique_ptr<char, malloc_free> hold(raw);
    if (n <= 0 || std::ferror(fp)) {
        text.clear();
        return false;
    }
    std::size_t len = static_cast<std::size_t>(n);
    if (raw[len - 1] == '\n') --len;
    // A file written with CR LF line ends must not leave the CR in a token.
    if (len > 0 && raw[len - 1] == '\r') --len;
    text.assign(raw, len);
    return true;
}

namespace {
line_filter g_line_filter = nullptr;
}  // namespace

void set_line_filter(line_filter filter) { g_line_filter = filter; }

int read_line(line_cursor& line, std::FILE* fp) {
    std::string text;
    if (!read_text_line(fp, text)) {
        line.assign(std::string());
        return 0;
    }
    if (g_line_filter != nullptr) g_line_filter(text);
    line.assign(std::move(text));
    return 1;
}

namespace {

// The bounds of the next token: [begin, end) in the text.
struct token_span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Skips separators from the cursor; false when only separators remain.
bool next_token(const line_cursor& line, token_span& tok) {
    const std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && is_separator(s[p])) ++p;
    if (p >= s.size()) return false;
    std::size_t q = p;
    while (q < s.size() && !is_separator(s[q])) ++q;
    tok.begin = p;
    tok.end = q;
    return true;
}

// Moves the cursor past `end` and the separators after it.
void consume_to(line_cursor& line, std::size_t end) {
    const std::string& s = line.text();
    while (end < s.size() && is_separator(s[end])) ++end;
    line.set_position(end);
}

// Start of the number inside a token: past the white space a numeric scan
// would skip (CR, VT, FF: never separators). Equal to tok.end when the token
// holds nothing else.
std::size_t scan_start(const std::string& s, const token_span& tok) {
    std::size_t p = tok.begin;
    while (p < tok.end && std::isspace(static_cast<unsigned char>(s[p]))) ++p;
    return p;
}

// Decimal integer at s[p], clamped to the int range. The scan stops at the
// first character that cannot extend the number, so never past a separator.
// `used` is the number of characters scanned (0 when none).
int scan_int(const std::string& s, std::size_t p, std::size_t& used, bool& in_range) {
    const char* start = s.c_str() + p;
    char* stop = nullptr;
    errno = 0;
    long v = std::strtol(start, &stop, 10);
    used = static_cast<std::size_t>(stop - start);
    in_range = errno != ERANGE && v >= INT_MIN && v <= INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

double scan_double(const std::string& s, std::size_t p, std::size_t& used) {
    const char* start = s.c_str() + p;
    char* stop = nullptr;
    double v = std::strtod(start, &stop);
    used = static_cast<std::size_t>(stop - start);
    return v;
}

}  // namespace

int pop_int(line_cursor& line, int& value) {
    value = 0;
    token_span tok;
    if (!next_token(line, tok)) return 0;
    std::size_t p = scan_start(line.text(), tok);
    if (p == tok.end) return 0;
    std::size_t used = 0;
    bool in_range = true;
    value = scan_int(line.text(), p, used, in_range);  // 0 when no digits
    consume_to(line, tok.end);
    return 1;
}

int pop_double(line_cursor& line, double& value) {
    value = 0.0;
    token_span tok;
    if (!next_token(line, tok)) return 0;
    std::size_t p = scan_start(line.text(), tok);
    if (p == tok.end) return 0;
    std::size_t used = 0;
    value = scan_double(line.text(), p, used);  // 0 when no number
    consume_to(line, tok.end);
    return 1;
}

int pop_int2(line_cursor& line, int& value) { return pop_int(line, value); }

int pop_double2(line_cursor& line, double& value) { return pop_double(line, value); }

bool pop_int_strict(line_cursor& line, int& value) {
    token_span tok;
    if (!next_token(line, tok)) return false;
    const std::string& s = line.text();
    if (std::isspace(static_cast<unsigned char>(s[tok.begin]))) return false;
    std::size_t used = 0;
    bool in_range = true;
    int v = scan_int(s, tok.begin, used, in_range);
    if (tok.begin + used != tok.end || !in_range) return false;
    value = v;
    consume_to(line, tok.end);
    return true;
}

bool pop_double_strict(line_cursor& line, double& value) {
    token_span tok;
    if (!next_token(line, tok)) return false;
    const std::string& s = line.text();
    if (std::isspace(static_cast<unsigned char>(s[tok.begin]))) return false;
    // A plain decimal number takes the fast conversion, which rounds as
    // strtod does; anything else (a sign '+', hexadecimal, a value out of
    // range, text) is left to strtod, so that what is taken and what is
    // refused stay strtod's.
    double fast = 0.0;
    const char* first = s.data() + tok.begin;
    const char* last = s.data() + tok.end;
    const std::from_chars_result r = std::from_chars(first, last, fast);
    if (r.ec == std::errc() && r.ptr == last && std::isfinite(fast)) {
        value = fast;
        consume_to(line, tok.end);
        return true;
    }
    std::size_t used = 0;
    double v = scan_double(s, tok.begin, used);
    if (tok.begin + used != tok.end || !std::isfinite(v)) return false;
    value = v;
    consume_to(line, tok.end);
    return true;
}

std::string peek_token(const line_cursor& line) {
    token_span tok;
    if (!next_token(line, tok)) return std::string();
    return line.text().substr(tok.begin, tok.end - tok.begin);
}

int pop_string(line_cursor& line, std::string& value) {
    value.clear();
    std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && is_separator(s[p])) ++p;
    if (p >= s.size()) return 0;
    std::size_t end = 0;
    if (s[p] == '"') {
        // Quoted: everything up to the closing quote, separators included.
        // Both quotes become blanks, so a pop after an empty token "" starts
        // past them instead of meeting the same quotes again.
        s[p++] = ' ';
        end = p;
        while (end < s.size() && s[end] != '"') ++end;
        value.assign(s, p, end - p);
        if (end < s.size()) s[end] = ' ';
    } else {
        end = p;
        while (end < s.size() && !is_separator(s[end])) ++end;
        value.assign(s, p, end - p);
    }
    if (value.empty()) return 0;
    consume_to(line, end);
    return 1;
}

void strip_newline(std::string& text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
}

void strip_quotes(std::string& text) {
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
}

std::string to_lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string to_upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool same_first(const std::string& word, const char* keyword, std::size_t n) {
    return word.size() >= n && to_lower(word.substr(0, n)) == std::string(keyword, n);
}

int delete_chars(std::string& text, std::size_t pos, std::size_t count) {
    if (pos >= text.size()) return -1;
    text.erase(pos, count);  // a count past the end cuts the text at pos
    return 0;
}

namespace {

bool word_gap(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_decimal_comma(const std::string& s, std::size_t begin, std::size_t end) {
    std::size_t p = begin;
    if (p < end && (s[p] == '+' || s[p] == '-')) ++p;
    const std::size_t whole = p;
    while (p < end && std::isdigit(static_cast<unsigned char>(s[p]))) ++p;
    if (p == whole || p >= end || s[p] != ',') return false;
    const std::size_t fraction = ++p;
    while (p < end && std::isdigit(static_cast<unsigned char>(s[p]))) ++p;
    return p > fraction && p == end;
}

}  // namespace

std::string decimal_comma_word(const std::string& text, std::size_t from) {
    std::size_t p = from;
    while (p < text.size()) {
        while (p < text.size() && word_gap(text[p])) ++p;
        const std::size_t begin = p;
        while (p < text.size() && !word_gap(text[p])) ++p;
        if (p > begin && is_decimal_comma(text, begin, p)) return text.substr(begin, p - begin);
    }
    return std::string();
}

std::string decimal_comma_value(const line_cursor& line) {
    const std::string& s = line.text();
    std::size_t p = line.position();
    while (p < s.size() && word_gap(s[p])) ++p;
    std::size_t end = p;
    while (end < s.size() && !word_gap(s[end])) ++end;
    return end > p && is_decimal_comma(s, p, end) ? s.substr(p, end - p) : std::string();
}

std::string decimal_comma_advice(const std::string& word) {
    std::string point = word;
    for (char& c : point)
        if (c == ',') c = '.';
    return "\"" + word + "\", with a comma (a comma separates values): write a decimal with a point (" + point + ")";
}

std::size_t nth_word(int n, const std::string& text) {
    if (text.empty()) return 0;
    if ((n == 1 && !is_blank(text[0])) || (n == 0 && is_blank(text[0]))) return 0;
    int count = 0;
    bool in_word = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_blank(text[i])) {
            in_word = false;
        } else if (!in_word) {
            in_word = true;
            if (++count == n) return i;
        }
    }
    return text.size() - 1;  // fewer than n words
}

}  // namespace kesta
