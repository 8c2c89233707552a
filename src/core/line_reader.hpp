// Reading the line-oriented card files: one line at a time, then tokens taken
// off its front with a cursor, so a card is consumed left to right in time
// linear in its length.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace kesta {

// Separators between tokens: blank, tab, comma, line feed. A carriage return
// is not one.
bool is_separator(char c);
// Word boundaries for nth_word: blank, tab, line feed, or the end of the text.
bool is_blank(char c);

// One input line with a read position. Tokens are popped from the position
// onward; `rest()` is what a reader has not consumed yet.
class line_cursor {
public:
    line_cursor() = default;
    explicit line_cursor(std::string text) : text_(std::move(text)) {}

    void assign(std::string text) { text_ = std::move(text); pos_ = 0; }
    std::string rest() const { return text_.substr(clamped()); }
    bool at_end() const { return pos_ >= text_.size(); }
    const std::string& text() const { return text_; }
    std::string& text() { return text_; }
    std::size_t position() const { return pos_; }
    void set_position(std::size_t p) { pos_ = p; }

private:
    // The text may be shortened through text(); never read past its end.
    std::size_t clamped() const { return pos_ < text_.size() ? pos_ : text_.size(); }

    std::string text_;
    std::size_t pos_ = 0;
};

// A process-wide rewrite of every line that read_line returns, installed by
// whoever needs it (the calibration's parameter substitution); nullptr, the
// default, returns lines as they stand.
using line_filter = void (*)(std::string& line);
void set_line_filter(line_filter filter);

// Reads the next line whole, whatever its length. Removes the line feed and
// a carriage return before it, then applies the line filter when one is
// installed. Returns 1 when a line was read (a last line without a line feed
// counts), 0 at end of file or on a read error, leaving the line empty.
int read_line(line_cursor& line, std::FILE* fp);
// The same line as it stands in the file, with no replacement: for the files
// that declare and supply the replacements themselves.
bool read_text_line(std::FILE* fp, std::string& text);

// Each pop skips separators, takes one token and the separators after it, and
// returns 1; it returns 0 and leaves the line unconsumed when nothing but
// separators remains, or when the token does not begin to scan at all.
// A token that does not begin with a number still counts as read: the result
// holds what its leading characters scan to (0 when none). An integer beyond
// the int range is clamped to INT_MIN or INT_MAX. Tokens have no length limit.
int pop_int(line_cursor& line, int& value);
int pop_double(line_cursor& line, double& value);
// A token starting with a double quote runs to the next double quote (or the
// end of the line) and may hold separators. Both quotes are overwritten with
// blanks in the line; an empty quoted token returns 0 and consumes nothing
// else, so the next pop starts after the blanked quotes.
int pop_string(line_cursor& line, std::string& value);
int pop_int2(line_cursor& line, int& value);
int pop_double2(line_cursor& line, double& value);

// Strict forms for readers that must refuse a malformed value: the whole
// token must be the number (finite, and within the int range for
// pop_int_strict). On failure neither the line nor `value` changes.
bool pop_int_strict(line_cursor& line, int& value);
bool pop_double_strict(line_cursor& line, double& value);
// The next token as it stands in the line, for messages; "" when none. The
// line does not change.
std::string peek_token(const line_cursor& line);

// Numbers written with a decimal comma ("0,035", "259,001": an optional
// sign, digits, a comma, digits). A comma separates values, so such a
// number reads as two: a reader of a single number, or one that finds more
// values than it should, names it as written. The first word of the text
// from `from` (words separated by blanks and tabs) that is one, else "".
std::string decimal_comma_word(const std::string& text, std::size_t from = 0);
// The next value of the line when it is written with a decimal comma, as
// written; else "". The line does not change.
std::string decimal_comma_value(const line_cursor& line);
// What a message says of such a word: "\"0,035\", with a comma (a comma
// separates values): write a decimal with a point (0.035)".
std::string decimal_comma_advice(const std::string& word);

void strip_newline(std::string& text);
void strip_quotes(std::string& text);
std::string to_lower(std::string text);
std::string to_upper(std::string text);
// True when `word` has n characters or more and its first n, in any case,
// are the first n of the lower-case `keyword` (of n characters or more): how
// keywords of the card files are matched.
bool same_first(const std::string& word, const char* keyword, std::size_t n);
inline bool same_first4(const std::string& word, const char* keyword) { return same_first(word, keyword, 4); }
// Removes `count` characters from `pos`; -1 when pos is at or past the end.
int delete_chars(std::string& text, std::size_t pos, std::size_t count);
// Offset of the first character of the n-th word of `text` (words separated
// by is_blank characters); with fewer than n words, the offset of the last
// character; 0 for an empty text.
std::size_t nth_word(int n, const std::string& text);

}  // namespace kesta
