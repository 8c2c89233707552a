#include "core/token_stream.hpp"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace kesta {

std::string next_word(const std::string& s, std::size_t& pos) {
    while (pos < s.size() && is_space_char(static_cast<unsigned char>(s[pos]))) ++pos;
    const std::size_t start = pos;
    while (pos < s.size() && !is_space_char(static_cast<unsigned char>(s[pos]))) ++pos;
    return s.substr(start, pos - start);
}

bool is_space_char(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void token_stream::skip_space() {
    int c = 0;
    while ((c = getc_unlocked(fp_)) != EOF) {
        if (!is_space_char(c)) {
            std::ungetc(c, fp_);
            return;
        }
        if (c == '\n') ++line_;
    }
}

bool token_stream::next_limited(std::string& token, std::size_t max_len) {
    token.clear();
    skip_space();
    token_line_ = line_;
    int c = 0;
    while ((c = getc_unlocked(fp_)) != EOF) {
        if (is_space_char(c)) {
            if (c == '\n') ++line_;
            break;
        }
        if (token.size() >= max_len) {
            std::ungetc(c, fp_);
            break;
        }
        token.push_back(static_cast<char>(c));
    }
    if (std::ferror(fp_)) {
        token.clear();
        return false;
    }
    return !token.empty();
}

bool parse_int(const std::string& text, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool parse_double(const std::string& text, double& value) {
    if (text.empty() || is_space_char(static_cast<unsigned char>(text[0]))) return false;
    const char* start = text.c_str();
    char* stop = nullptr;
    const double v = std::strtod(start, &stop);
    if (stop != start + text.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace kesta
