// Free-format reading of white-space separated tokens from a C stream: what a
// "%d", "%lf" or "%s" scan would take, without one scan call per value, and
// with strict conversion so that a malformed value is seen as such.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace kesta {

// Reads through the stream's own buffer one character at a time, so the
// stream's position stays exact: after a token only the one white-space
// character that ended it has been consumed, and a caller may go on with
// line reads on the same stream. White space is blank, tab, line feed,
// carriage return, vertical tab and form feed. Does not own the stream.
class token_stream {
public:
    explicit token_stream(std::FILE* fp) : fp_(fp) {}

    // The next token; false at end of file or on a read error (token empty).
    bool next(std::string& token) { return next_limited(token, std::string::npos); }
    // As next, but takes at most `max_len` characters, as "%Ns" would: the
    // rest of a longer word is left for the next read.
    bool next_limited(std::string& token, std::size_t max_len);
    // Consumes white space up to the next token or the end of the file.
    void skip_space();
    // Line of the file (from 1) on which the last token began.
    int token_line() const { return token_line_; }
    // Line of the file (from 1) of the read position.
    int line() const { return line_; }

private:
    std::FILE* fp_;
    int line_ = 1;  // line of the read position
    int token_line_ = 0;
};

bool is_space_char(int c);
// The next word of `s` from `pos`, words being separated by white space
// only; `pos` moves past it. Empty when only white space remains.
std::string next_word(const std::string& s, std::size_t& pos);

// Strict conversions of a whole text: an optional sign and decimal digits
// within the int range; a finite number as strtod reads it, with nothing
// before or after it. On failure `value` is unchanged.
bool parse_int(const std::string& text, int& value);
bool parse_double(const std::string& text, double& value);

}  // namespace kesta
